#pragma once
// Where the mail password is kept: in the desktop's keyring when there is one, else
// scrambled in the settings file as before. It fills the password edit from the keyring
// at start, moves a password still kept in the file into the keyring, stores the edit's
// password on "Guardar", and tells a mailbox check when the password is known. The note
// label of the "e-mail" page says in one line where the password is kept, or why it could
// not be read.
//
// The password edit stays the live setting: whatever is put into it wins over a read
// still under way. A read that failed (locked keyring, refused unlock, no answer) leaves the
// password unknown, never empty: a check fails with the reason instead of logging in, and
// "Guardar" leaves the stored password alone until the user types one.

#include "platform/PasswordKeyring.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;

class MailPassword : public QObject
{
    Q_OBJECT
public:
    // The keyring entry: service "Pennaro", key "password1".
    MailPassword(QLineEdit* edit, QLabel* note, QObject* parent = nullptr);

    // At start, with the password loaded from the settings file ("" when none): a password
    // from the file is moved into the keyring; else the keyring's is read into the edit.
    void load(const QString& filePassword);
    // "Guardar": stores the edit's password in the keyring when the user's password is
    // known. Returns false when it is not (the stored copies must stay as they are).
    bool save();
    // Whether the edit holds the password (known, or typed by the user).
    bool known() const { return m_state == State::Known; }

    // Answers once: ready(password) when known, else failed(reason) once a new read has
    // failed too. Answers at once when the password is known.
    using Answer = std::function<void(bool ok, const QString& passwordOrReason)>;
    void whenKnown(Answer answer);

    PasswordKeyring* keyring() const { return m_keyring; }

signals:
    // The keyring holds this password, read back equal: a copy in the settings file can go.
    void keptInKeyring(const QString& password);

private:
    enum class State { Known, Reading, Unreadable };

    void onRead(const PasswordKeyring::Result& result);
    void onStored(const PasswordKeyring::Result& result);
    void answerWaiting();
    void setNote(const QString& text);
    void fill(const QString& password); // the keyring's answer into the edit

    QLineEdit* m_edit;
    QLabel* m_note;
    PasswordKeyring* m_keyring;
    State m_state = State::Known;
    QString m_reason;  // why the last read failed
    QString m_storing; // the password of the store under way
    bool m_filling = false;
    std::vector<Answer> m_waiting;
};
