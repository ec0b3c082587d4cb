#include "mail/MailPassword.h"

#include <QLabel>
#include <QLineEdit>

namespace {

const QString kInKeyring = QStringLiteral("La contraseña se guarda en el depósito de claves del escritorio.");
const QString kInFile = QStringLiteral("La contraseña se guarda en el archivo de configuración: %1.");
const QString kNoKeyring = QStringLiteral("no hay un depósito de claves disponible");
const QString kUnreadable = QStringLiteral("No se pudo leer la contraseña del depósito de claves: %1.");

} // namespace

MailPassword::MailPassword(QLineEdit* edit, QLabel* note, QObject* parent)
    : QObject(parent), m_edit(edit), m_note(note),
      m_keyring(new PasswordKeyring(QStringLiteral("Pennaro"), QStringLiteral("password1"), this))
{
    m_keyring->setObjectName(QStringLiteral("MailKeyring"));
    connect(m_keyring, &PasswordKeyring::readFinished, this, &MailPassword::onRead);
    connect(m_keyring, &PasswordKeyring::stored, this, &MailPassword::onStored);
    // What is put into the edit (typed, pasted, set) is the password from then on, whatever
    // a read brings later.
    connect(m_edit, &QLineEdit::textChanged, this, [this] {
        if (m_filling)
            return;
        m_state = State::Known;
        answerWaiting();
    });
}

void MailPassword::load(const QString& filePassword)
{
    if (!filePassword.isEmpty()) {
        fill(filePassword);
        m_state = State::Known;
        m_storing = filePassword;
        m_keyring->store(filePassword);
        return;
    }
    m_state = State::Reading;
    m_keyring->read();
}

bool MailPassword::save()
{
    if (m_state != State::Known)
        return false;
    m_storing = m_edit->text();
    m_keyring->store(m_storing);
    return true;
}

void MailPassword::whenKnown(Answer answer)
{
    if (m_state == State::Known) {
        answer(true, m_edit->text());
        return;
    }
    m_waiting.push_back(std::move(answer));
    if (m_state == State::Unreadable) {
        // The keyring may have been unlocked since: a check asks again.
        m_state = State::Reading;
        m_keyring->read();
    }
}

void MailPassword::onRead(const PasswordKeyring::Result& result)
{
    if (m_state != State::Reading)
        return; // the user typed a password meanwhile
    switch (result.status) {
    case PasswordKeyring::Status::Found:
        fill(result.password);
        m_state = State::Known;
        setNote(kInKeyring);
        break;
    case PasswordKeyring::Status::NotFound:
        // An open keyring without the entry: no password was ever saved there.
        fill(QString());
        m_state = State::Known;
        setNote(kInKeyring);
        break;
    case PasswordKeyring::Status::NoKeyring:
        // The settings file held none either: the password is empty, as before.
        m_state = State::Known;
        setNote(kInFile.arg(kNoKeyring));
        break;
    case PasswordKeyring::Status::Failed:
        m_state = State::Unreadable;
        setNote(kUnreadable.arg(result.reason));
        m_reason = kUnreadable.arg(result.detail.isEmpty()
                                       ? result.reason
                                       : result.reason + QStringLiteral(" (") + result.detail + QStringLiteral(")"));
        break;
    }
    answerWaiting();
}

void MailPassword::onStored(const PasswordKeyring::Result& result)
{
    switch (result.status) {
    case PasswordKeyring::Status::Found:
        setNote(kInKeyring);
        emit keptInKeyring(m_storing);
        return;
    case PasswordKeyring::Status::NoKeyring:
        setNote(kInFile.arg(kNoKeyring));
        return;
    case PasswordKeyring::Status::NotFound:
    case PasswordKeyring::Status::Failed:
        break;
    }
    setNote(kInFile.arg(result.reason));
}

void MailPassword::answerWaiting()
{
    if (m_state == State::Reading)
        return;
    std::vector<Answer> waiting;
    waiting.swap(m_waiting);
    for (const Answer& answer : waiting) {
        if (m_state == State::Known)
            answer(true, m_edit->text());
        else
            answer(false, m_reason);
    }
}

void MailPassword::fill(const QString& password)
{
    m_filling = true;
    m_edit->setText(password);
    m_filling = false;
}

void MailPassword::setNote(const QString& text)
{
    if (m_note)
        m_note->setText(text);
}
