#pragma once
// One password in the desktop's keyring (the Secret Service: GNOME Keyring, KWallet's
// Secret Service, KeePassXC), through qtkeychain, under a service and a key name; with
// libsecret it is found by `secret-tool lookup server SERVICE user KEY`.
//
// Every call is asynchronous and answers once through a signal. A keyring that cannot be
// trusted is never taken for an empty password: qtkeychain answers a read from a locked
// keyring with "entry not found", so that answer counts only when the default collection
// says, over D-Bus, that it is reachable and unlocked. Without a session bus, or without
// org.freedesktop.secrets on it, the answer is NoKeyring and the caller keeps the
// password elsewhere.

#include <QObject>
#include <QString>

#include <functional>

class PasswordKeyring : public QObject
{
    Q_OBJECT
public:
    enum class Status {
        Found,     // read: the password; store: written and read back equal
        NotFound,  // read only: the keyring is open and holds no such entry
        NoKeyring, // no Secret Service on the session bus, or no session bus
        Failed     // locked, unlock refused, no answer in time, any other error: see reason
    };
    struct Result
    {
        Status status = Status::Failed;
        QString password; // Found
        QString reason;   // Failed: in Spanish, a short clause without a full stop
        QString detail;   // Failed: the keyring's own text, when there is one
    };

    PasswordKeyring(const QString& service, const QString& key, QObject* parent = nullptr);
    ~PasswordKeyring() override;

    // Reads the password; `readFinished` answers. A read asked for while one is under way
    // joins it.
    void read();
    // Writes the password and reads it back; `stored` answers with Found only when what
    // came back is what went in.
    void store(const QString& password);

    // How long one read or store may take before it fails (a prompt left unanswered, a
    // keyring that does not answer). 60 seconds unless set.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    static QString statusName(Status status);

signals:
    void readFinished(const PasswordKeyring::Result& result);
    void stored(const PasswordKeyring::Result& result);

private:
    enum class Lock { Unlocked, Locked, NoService, Unknown };
    using Done = std::function<void(const Result&)>;

    void startRead(Done done);
    void startWrite(quint64 serial, const QString& password, std::function<void()> written);
    void askLocked(std::function<void(Lock, const QString&)> done);
    void explainFailure(const QString& what, Done done);
    void finishRead(quint64 serial, const Result& result);
    void finishStore(quint64 serial, const Result& result);
    bool busAvailable();
    void armTimeout(quint64 serial, bool isRead);

    QString m_service;
    QString m_key;
    int m_timeoutMs = 60000;
    quint64 m_readSerial = 0;  // the read under way; 0 when none
    quint64 m_storeSerial = 0; // the latest store; an earlier one's answer is dropped
    quint64 m_nextSerial = 1;
};

Q_DECLARE_METATYPE(PasswordKeyring::Result)
