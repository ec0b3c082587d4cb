#include "platform/PasswordKeyring.h"

#include "platform/DesktopBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QTimer>

#include <qt6keychain/keychain.h>

Q_LOGGING_CATEGORY(lcKeyring, "pennaro.keyring", QtInfoMsg)

namespace {

const QString kSecrets = QStringLiteral("org.freedesktop.secrets");
const QString kDefaultCollection = QStringLiteral("/org/freedesktop/secrets/aliases/default");

PasswordKeyring::Result answer(PasswordKeyring::Status status, const QString& password = QString())
{
    PasswordKeyring::Result result;
    result.status = status;
    result.password = password;
    return result;
}

PasswordKeyring::Result failed(const QString& reason, const QString& detail = QString())
{
    PasswordKeyring::Result result;
    result.reason = reason;
    result.detail = detail;
    return result;
}

// Said once per run: the program then goes on as without a keyring.
void logNoKeyring(const QString& why)
{
    static bool logged = false;
    if (logged)
        return;
    logged = true;
    qCInfo(lcKeyring, "Sin depósito de claves, la contraseña del correo queda en el archivo de configuración: %s",
           qUtf8Printable(why));
}

} // namespace

PasswordKeyring::PasswordKeyring(const QString& service, const QString& key, QObject* parent)
    : QObject(parent), m_service(service), m_key(key)
{
    qRegisterMetaType<PasswordKeyring::Result>();
}

PasswordKeyring::~PasswordKeyring() = default;

QString PasswordKeyring::statusName(Status status)
{
    switch (status) {
    case Status::Found:
        return QStringLiteral("Found");
    case Status::NotFound:
        return QStringLiteral("NotFound");
    case Status::NoKeyring:
        return QStringLiteral("NoKeyring");
    case Status::Failed:
        break;
    }
    return QStringLiteral("Failed");
}

// Only a session bus that the desktop announced is used: without one, D-Bus would start a
// bus of its own for the X display (autolaunch), and the keyring would be activated on it.
bool PasswordKeyring::busAvailable()
{
    const bool available = DesktopBus::session().has_value();
    if (!available)
        logNoKeyring(QStringLiteral("no hay bus de sesión de D-Bus"));
    return available;
}

void PasswordKeyring::read()
{
    if (m_readSerial != 0)
        return; // the read under way answers this one too
    const quint64 serial = m_nextSerial++;
    m_readSerial = serial;
    armTimeout(serial, true);
    if (!busAvailable()) {
        // Answered from the event loop all the same, as a keyring's answer would be.
        QTimer::singleShot(0, this, [this, serial] { finishRead(serial, answer(Status::NoKeyring)); });
        return;
    }
    startRead([this, serial](const Result& result) { finishRead(serial, result); });
}

void PasswordKeyring::store(const QString& password)
{
    const quint64 serial = m_nextSerial++;
    m_storeSerial = serial;
    armTimeout(serial, false);
    if (!busAvailable()) {
        QTimer::singleShot(0, this, [this, serial] { finishStore(serial, answer(Status::NoKeyring)); });
        return;
    }
    startWrite(serial, password, [this, serial, password] {
        startRead([this, serial, password](const Result& back) {
            if (back.status == Status::Found && back.password != password) {
                finishStore(serial, failed(QStringLiteral("el depósito de claves devolvió otra contraseña")));
                return;
            }
            if (back.status == Status::NotFound) {
                finishStore(serial, failed(QStringLiteral("el depósito de claves no devolvió la contraseña")));
                return;
            }
            finishStore(serial, back);
        });
    });
}

void PasswordKeyring::armTimeout(quint64 serial, bool isRead)
{
    QTimer::singleShot(m_timeoutMs, this, [this, serial, isRead] {
        const Result late = failed(QStringLiteral("el depósito de claves no respondió a tiempo"));
        if (isRead)
            finishRead(serial, late);
        else
            finishStore(serial, late);
    });
}

void PasswordKeyring::finishRead(quint64 serial, const Result& result)
{
    if (serial != m_readSerial)
        return; // timed out, or answered already
    m_readSerial = 0;
    emit readFinished(result);
}

void PasswordKeyring::finishStore(quint64 serial, const Result& result)
{
    if (serial != m_storeSerial)
        return; // a later store replaced it, or it timed out
    m_storeSerial = 0;
    emit stored(result);
}

// The job is not parented to this object: qtkeychain's backends still hold it while their
// own call is under way, so it deletes itself when it finishes; the answer reaches this
// object only while it lives.
void PasswordKeyring::startRead(Done done)
{
    auto* job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(m_key);
    job->setAutoDelete(true);
    connect(job, &QKeychain::Job::finished, this, [this, done](QKeychain::Job* finished) {
        auto* readJob = static_cast<QKeychain::ReadPasswordJob*>(finished);
        switch (readJob->error()) {
        case QKeychain::NoError:
            done(answer(Status::Found, readJob->textData()));
            return;
        case QKeychain::EntryNotFound:
            // Also the answer of a locked keyring whose unlock was refused or failed:
            // only an open keyring's "not found" is believed.
            askLocked([done](Lock lock, const QString& why) {
                switch (lock) {
                case Lock::Unlocked:
                    done(answer(Status::NotFound));
                    return;
                case Lock::Locked:
                    done(failed(QStringLiteral("el depósito de claves está bloqueado")));
                    return;
                case Lock::NoService:
                    done(answer(Status::NoKeyring));
                    return;
                case Lock::Unknown:
                    break;
                }
                done(failed(QStringLiteral("no se pudo saber si el depósito de claves está abierto"), why));
            });
            return;
        default:
            explainFailure(readJob->errorString(), done);
            return;
        }
    });
    job->start();
}

// A failed write is answered here; `written` runs only after a write that succeeded.
void PasswordKeyring::startWrite(quint64 serial, const QString& password, std::function<void()> written)
{
    auto* job = new QKeychain::WritePasswordJob(m_service);
    job->setKey(m_key);
    job->setAutoDelete(true);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [this, serial, written](QKeychain::Job* finished) {
        if (finished->error() == QKeychain::NoError) {
            written();
            return;
        }
        explainFailure(finished->errorString(), [this, serial](const Result& result) { finishStore(serial, result); });
    });
    job->start();
}

// A job failed: no service on the bus is NoKeyring (the password stays where it was kept
// before); a locked keyring says so; anything else carries qtkeychain's own text.
void PasswordKeyring::explainFailure(const QString& what, Done done)
{
    askLocked([what, done](Lock lock, const QString&) {
        switch (lock) {
        case Lock::NoService:
            logNoKeyring(QStringLiteral("%1 no está en el bus de sesión: %2").arg(kSecrets, what));
            done(answer(Status::NoKeyring));
            return;
        case Lock::Locked:
            done(failed(QStringLiteral("el depósito de claves está bloqueado")));
            return;
        case Lock::Unlocked:
        case Lock::Unknown:
            break;
        }
        done(failed(QStringLiteral("el depósito de claves dio un error"), what));
    });
}

// The default collection's Locked property, asked without waiting. A bus on which nobody
// owns or can start org.freedesktop.secrets answers ServiceUnknown or NameHasNoOwner.
void PasswordKeyring::askLocked(std::function<void(Lock, const QString&)> done)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        kSecrets, kDefaultCollection, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *w;
        if (reply.isError()) {
            const QDBusError::ErrorType type = reply.error().type();
            if (type == QDBusError::ServiceUnknown || type == QDBusError::Disconnected ||
                reply.error().name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
                done(Lock::NoService, reply.error().message());
                return;
            }
            done(Lock::Unknown, reply.error().message());
            return;
        }
        done(reply.value().variant().toBool() ? Lock::Locked : Lock::Unlocked, {});
    });
}
