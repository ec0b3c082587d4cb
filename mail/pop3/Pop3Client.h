#pragma once
// The client side of POP3, reduced to what the mailbox check needs: connect, read the
// greeting, log in with USER and PASS, ask STAT for the number of waiting messages and
// end with Quit. TLS from the first byte (POP3S) or after STLS, with the server's
// certificate verified against the system's trust store and the host name; a server that
// offers STLS is never given the user name or password in clear. Fully asynchronous on
// QSslSocket's signals: no call ever blocks the event loop, and every result comes back
// through a callback run later by the loop. A failure's text is the reason in Spanish.

#include "mail/pop3/MailTarget.h"

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QTimer>

#include <functional>

class QSslSocket;

Q_DECLARE_LOGGING_CATEGORY(lcMail)

class Pop3Client : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(bool ok, const QString& error)>;
    using CountDone = std::function<void(bool ok, int count, const QString& error)>;
    using UnhandledErrorHandler = std::function<void(const QString& text)>;

    static constexpr quint16 DefaultPort = 110;
    static constexpr int DefaultConnectTimeoutMs = 20000;
    static constexpr int DefaultLineTimeoutMs = 30000;
    // Longest reply line accepted (bytes before the LF, a CR included).
    static constexpr int MaxLineBytes = 64 * 1024;

    explicit Pop3Client(QObject* parent = nullptr);
    // A pending operation is dropped without its callback; an open connection is aborted.
    ~Pop3Client() override;

    void setHost(const QString& host) { m_host = host; }
    void setPort(quint16 port) { m_port = port; }
    void setUserId(const QString& userId) { m_userId = userId; }
    void setPassword(const QString& password) { m_password = password; }
    void setTls(MailTarget::Tls tls) { m_tls = tls; }
    void setTarget(const MailTarget& target);
    // A server known to have offered STLS or taken TLS before: when it now offers no STLS,
    // the login stops before the user name goes out in clear.
    void setRequireTls(bool require) { m_requireTls = require; }
    bool requiresTls() const { return m_requireTls; }
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    MailTarget::Tls tls() const { return m_tls; }
    QString userId() const { return m_userId; }

    // connectMs bounds name resolution, every address tried and the TLS handshake (also
    // the one after STLS); lineMs bounds each awaited reply, a multi-line one as a whole.
    // Values below 1 are taken as 1.
    void setTimeouts(int connectMs, int lineMs);
    int connectTimeout() const { return m_connectMs; }
    int lineTimeout() const { return m_lineMs; }

    // Greeting, CAPA and STLS (unless TLS is implicit), USER, PASS. On any failure the connection is closed (Quit sent
    // when it was open, aborted after a time-out or an over-long line) before done(false, ...). An open connection from
    // an earlier login is closed first, as disconnectFromServer().
    void connectAndLogin(Done done);
    // STAT. A negative or malformed reply leaves the connection open; a dropped
    // connection, a time-out or an over-long line closes it.
    void messageCount(CountDone done);
    // Sends "Quit" (no reply is read) and closes. False when the command could not be
    // sent (no connection); the connection is closed all the same. A pending operation
    // is cancelled: its callback reports failure.
    bool disconnectFromServer();

    bool isConnected() const;
    bool isEncrypted() const;
    // The last connection's server offered STLS or the connection was encrypted, whether
    // or not the login then went through.
    bool tlsSeen() const { return m_tlsSeen; }
    bool isBusy() const { return m_step != Step::Idle; }
    // The last non-blank reply line read from the server.
    QString lastReply() const { return QString::fromUtf8(m_lastReply); }

    // The reason for a certificate that did not verify, in Spanish: expired, for another
    // name, self-signed, from an unknown issuer...
    static QString certificateReason(const QList<QSslError>& errors, const QString& host);
    // A server's reply made fit to show: control and format characters removed, the
    // password (when it was echoed) masked, at most 200 characters.
    static QString serverText(const QByteArray& reply, const QString& password);
    // True for a refusal that says the server wants an encrypted connection first.
    static bool refusesClearText(const QByteArray& reply);

    // Test seam: certificates trusted besides the system's store. Only tests set it.
    static void setExtraCaCertificates(const QList<QSslCertificate>& certificates);

    // Reading the server's replies, apart from the connection. takeReplyLine takes the next
    // line (up to its LF; the CR and blanks around removed, so it may be empty) off the
    // front of the received bytes; NeedMore when no LF has come yet, TooLong when the
    // bytes without one are more than MaxLineBytes.
    enum class LineResult { Line, NeedMore, TooLong };
    static LineResult takeReplyLine(QByteArray& buffer, QByteArray* line);
    // "+OK" in any case at the start.
    static bool isPositiveReply(const QByteArray& reply);
    // The message count of a STAT reply ("+OK 3 1200"): the decimal number (an optional
    // sign, fits 32 bits) from the fifth character up to the first blank after it.
    static bool parseStatReply(const QByteArray& reply, int* count);

    // Receives the text of an error raised by a callback, so that none escapes into Qt's
    // event loop. The program points it at its standard error box; the default writes a
    // warning. An empty handler restores the default.
    static void setUnhandledErrorHandler(UnhandledErrorHandler handler);

private:
    enum class Step { Idle, Connecting, Greeting, Capa, Stls, Handshake, User, Pass, Stat };
    enum class Close { Keep, Quit, Abort };

    void startConnect();
    void onConnected();
    void onEncrypted();
    void onReadyRead();
    void onSocketError(int error);
    void onTimeout();

    bool awaitingLine() const;
    void readLines();
    void handleReply(const QByteArray& line);
    void handleLoginReply(bool negative, const QByteArray& line); // to USER or PASS
    void handleStatReply(bool negative, const QByteArray& line);
    void handleCapability(const QByteArray& line);
    void startTls();
    void sendUser();
    void noStls(); // the greeting's capabilities name no STLS
    QString refusal(const QByteArray& line) const;
    QString notPop3(const QByteArray& line) const;
    QString connectFailure(int error) const;
    bool writeCommand(const QByteArray& command);
    bool send(const QByteArray& command);
    void expectReply(Step step);

    void fail(const QString& error, Close close);
    void finish(bool ok, int count, const QString& error);
    void post(std::function<void()> call);
    void releaseSocket(bool graceful);

    template <typename F> void failOnError(F&& f) noexcept;

    QString m_host;
    quint16 m_port = DefaultPort;
    MailTarget::Tls m_tls = MailTarget::Tls::Stls;
    QString m_userId;
    QString m_password;
    int m_connectMs = DefaultConnectTimeoutMs;
    int m_lineMs = DefaultLineTimeoutMs;

    Step m_step = Step::Idle;
    Done m_done;
    CountDone m_countDone;
    bool m_capaStatusRead = false; // the CAPA reply's status line has come
    bool m_stlsOffered = false;
    bool m_requireTls = false;
    bool m_tlsSeen = false;
    QList<QSslError> m_sslErrors; // why the last handshake's certificate did not verify

    QSslSocket* m_socket = nullptr; // child of this client; replaced for every connection
    QByteArray m_buffer;            // bytes received and not yet consumed, at most MaxLineBytes + 1
    QByteArray m_lastReply;
    QTimer m_timer;
};
