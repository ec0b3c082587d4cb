#pragma once
// One mailbox check at a time: logs in through the POP3 client, asks for the message
// count, announces new mail (the sound, then the mail program or the new-mail notice)
// and says goodbye, each step through the client's asynchronous calls so the windows
// keep answering meanwhile. A failure ends the check: the connection is closed, the
// reason goes to the log, and the error box shows it unless errors are ignored.
//
// Just after a wake-up the network is often not back yet: a check that fails after a
// wake-up, having started no later than kWakeWindowMs after it, is tried again once,
// kRetryDelayMs later, and only the retry's failure is reported.

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Pop3Client;
class QCheckBox;
class QTimer;

extern qint32 ContadorCorreo;  // minutes counted towards the next mailbox check
extern qint32 IntervaloCorreo; // minutes between mailbox checks

class MailCheck
{
public:
    // `ignoreErrors` ("Ignorar errores.") and `openProgram` (start the mail program
    // instead of the notice) are read at each check; `pop` is the client every check
    // reuses. All three outlive the check.
    MailCheck(Pop3Client* pop, QCheckBox* ignoreErrors, QCheckBox* openProgram);
    ~MailCheck();

    static constexpr qint64 kWakeWindowMs = 60 * 1000;
    static constexpr int kRetryDelayMs = 30 * 1000;

    // Runs when the user acknowledges a failed check's error box with its OK.
    std::function<void()> onErrorAcknowledged;

    // Starts a check unless one is under way. Never raises: a failure ends the check.
    void run(const QString& user, const QString& password, const QString& server);
    // Starts a check whose password is still to come (being read from the keyring); the
    // check is under way meanwhile. `fetch` is handed the answer to give once: the password,
    // or why it could not be had, which ends the check as a failure without connecting.
    using PasswordAnswer = std::function<void(bool ok, const QString& passwordOrReason)>;
    void runWhenPassword(const QString& user, const QString& server, const std::function<void(PasswordAnswer)>& fetch);
    bool inProgress() const { return m_inProgress; }

    // The computer woke up (or its clock jumped ahead) now, by the monotonic clock.
    void wokeUp();
    // Runs the retry of a check that failed just after a wake-up; active while one waits.
    QTimer* retryTimer() const { return m_retry.get(); }

private:
    template <typename F> void step(const QString& user, F&& f) noexcept;
    // Marks the start of a check, retry or not; `again` starts the same check once more.
    void starting(std::function<void()> again);
    void fail(const QString& user, const QString& reason);
    void counted(const QString& user, int count);
    void announce(const QString& user, int count);

    Pop3Client* m_pop;
    QCheckBox* m_ignoreErrors;
    QCheckBox* m_openProgram;
    bool m_inProgress = false;

    std::optional<qint64> m_wokeAt; // monotonic time of the last wake-up
    qint64 m_startedAt = 0;         // monotonic time the current check started
    bool m_isRetry = false;         // the current check is a retry
    bool m_nextIsRetry = false;
    // Starts the current check again: with the same password, or, for a check whose
    // password comes from the keyring, asking the keyring again (never an old password).
    std::function<void()> m_again;
    std::unique_ptr<QTimer> m_retry;
};
