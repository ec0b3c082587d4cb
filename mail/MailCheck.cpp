#include "mail/MailCheck.h"

#include "core/Clock.h"
#include "core/Error.h"
#include "mail/Correo_Unit.h"
#include "mail/TlsMemory.h"
#include "mail/pop3/MailTarget.h"
#include "mail/pop3/Pop3Client.h"
#include "platform/BringToFront.h"
#include "platform/Guard.h"
#include "platform/Seams.h"

#include <QCheckBox>
#include <QLabel>
#include <QScopeGuard>
#include <QTimer>

qint32 ContadorCorreo = 0;
qint32 IntervaloCorreo = 0;

MailCheck::MailCheck(Pop3Client* pop, QCheckBox* ignoreErrors, QCheckBox* openProgram)
    : m_pop(pop), m_ignoreErrors(ignoreErrors), m_openProgram(openProgram), m_retry(std::make_unique<QTimer>())
{
    m_retry->setObjectName(QStringLiteral("MailRetry"));
    m_retry->setSingleShot(true);
    m_retry->setInterval(kRetryDelayMs);
    QObject::connect(m_retry.get(), &QTimer::timeout, [this] {
        // A check under way meanwhile reports for itself.
        if (m_inProgress)
            return;
        m_nextIsRetry = true;
        // A copy: the check it starts replaces m_again, whose captures it reads meanwhile.
        const std::function<void()> again = m_again;
        if (again)
            again();
    });
}

MailCheck::~MailCheck() = default;

void MailCheck::wokeUp()
{
    m_wokeAt = Clock::monotonicMs();
}

// Runs one step of a check; anything it raises ends the check as a failure, its own text
// kept as the reason.
template <typename F> void MailCheck::step(const QString& user, F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (const PennaroError& e) {
        guarded([&] { fail(user, e.message()); });
    } catch (const std::exception& e) {
        guarded([&] { fail(user, QString::fromLocal8Bit(e.what())); });
    } catch (...) {
        guarded([&] { fail(user, QStringLiteral("Error inesperado en la comprobación del correo")); });
    }
}

// Ends a failed check: the connection is closed, the reason is logged, then the error is
// reported unless the user ignores errors, with the reason as the box's detailed text.
// "Ignorar errores." stays checked while the box is up, so a check that fails meanwhile
// (the minute timer goes on under a modal box) shows no second box.
void MailCheck::fail(const QString& user, const QString& reason)
{
    m_inProgress = false;
    if (m_pop->isConnected())
        m_pop->disconnectFromServer(); // a failure of the closing itself is of no interest
    qCWarning(lcMail, "Error en la cuenta de correo %s: %s", qUtf8Printable(user), qUtf8Printable(reason));

    // After a wake-up: a check that started no later than the window's end and failed
    // since the wake-up (one under way while the computer slept too).
    const qint64 now = Clock::monotonicMs();
    if (!m_isRetry && m_wokeAt && now >= *m_wokeAt && m_startedAt - *m_wokeAt <= kWakeWindowMs) {
        qCInfo(lcMail, "Recién reanudado el equipo: se reintenta en %d s", kRetryDelayMs / 1000);
        m_retry->start();
        return;
    }
    if (m_ignoreErrors->isChecked())
        return;
    m_ignoreErrors->setChecked(true);
    const auto uncheck = qScopeGuard([this] { m_ignoreErrors->setChecked(false); });
    const QMessageBox::StandardButton answer =
        seams::message({QStringLiteral("Error en la cuenta de correo ") + user, QStringLiteral("Error"),
                        QMessageBox::Critical, QMessageBox::Ok, nullptr, reason});
    if (answer == QMessageBox::Ok && onErrorAcknowledged)
        onErrorAcknowledged();
}

void MailCheck::run(const QString& user, const QString& password, const QString& server)
{
    if (m_inProgress)
        return;
    starting([this, user, password, server] { run(user, password, server); });
    step(user, [&] {
        // "host", "host:port", "[ipv6]:port", a bare IPv6 address or "pop3s://host[:port]".
        MailTarget target;
        QString invalid;
        if (!MailTarget::parse(server, &target, &invalid)) {
            fail(user, invalid);
            return;
        }
        m_pop->setTarget(target);
        m_pop->setRequireTls(TlsMemory::remembered(target.host));
        m_pop->setUserId(user);
        m_pop->setPassword(password);
        m_inProgress = true;

        m_pop->connectAndLogin([this, user, host = target.host](bool loggedIn, const QString& reason) {
            step(user, [&] {
                // Remembered even when the login then failed: the server has shown it can encrypt.
                if (m_pop->tlsSeen() && !m_pop->requiresTls())
                    TlsMemory::remember(host);
                if (!loggedIn) {
                    fail(user, reason);
                    return;
                }
                m_pop->messageCount([this, user](bool ok, int count, const QString& reason) {
                    step(user, [&] {
                        if (!ok) {
                            fail(user, reason);
                            return;
                        }
                        counted(user, count);
                    });
                });
            });
        });
    });
}

void MailCheck::runWhenPassword(const QString& user, const QString& server,
                                const std::function<void(PasswordAnswer)>& fetch)
{
    if (m_inProgress)
        return;
    starting([this, user, server, fetch] { runWhenPassword(user, server, fetch); });
    const bool isRetry = m_isRetry;
    m_inProgress = true;
    step(user, [&] {
        fetch([this, user, server, isRetry](bool ok, const QString& passwordOrReason) {
            m_inProgress = false;
            if (ok) {
                // The same check goes on with the password: still a retry when it was one,
                // and started when the keyring was asked.
                const qint64 startedAt = m_startedAt;
                m_nextIsRetry = isRetry;
                run(user, passwordOrReason, server);
                m_startedAt = startedAt;
            } else {
                step(user, [&] { fail(user, passwordOrReason); });
            }
        });
    });
}

void MailCheck::starting(std::function<void()> again)
{
    // A newer check takes the place of a retry still waiting.
    m_isRetry = m_nextIsRetry;
    m_nextIsRetry = false;
    if (!m_isRetry)
        m_retry->stop();
    m_startedAt = Clock::monotonicMs();
    m_again = std::move(again);
}

// The count is in: new mail is announced, then the client says goodbye.
void MailCheck::counted(const QString& user, int count)
{
    if (count > 0)
        announce(user, count);
    if (!m_pop->disconnectFromServer()) {
        fail(user, QStringLiteral("No se pudo despedir del servidor de correo (Quit)"));
        return;
    }
    m_inProgress = false;
}

// Messages are waiting: the sound first, then the mail program or the notice.
void MailCheck::announce(const QString& user, int count)
{
    seams::playSound(QStringLiteral("NOTIFY.WAV"));
    if (!Correo_Form)
        return;
    if (m_openProgram->isChecked()) {
        Correo_Form->BitBtn1Click();
        return;
    }
    bringToFront(Correo_Form);
    Correo_Form->Label1->setText(QString::number(count));
    Correo_Form->Label2->setText(count == 1 ? QStringLiteral(" e-mail nuevo para ")
                                            : QStringLiteral(" e-mails nuevos para "));
    Correo_Form->Label3->setText(user);
    Correo_Form->announceOnDesktop();
}
