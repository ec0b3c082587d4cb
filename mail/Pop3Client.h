#pragma once
// The client side of POP3, reduced to what the mailbox check needs: connect, read the
// greeting, log in with USER and PASS, ask STAT for the number of waiting messages and
// end with Quit. Fully asynchronous on QTcpSocket's signals: no call ever blocks the
// event loop, and every result comes back through a callback run later by the loop.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QHostAddress;
class QHostInfo;
class QTcpSocket;

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
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    QString userId() const { return m_userId; }

    // connectMs bounds name resolution plus opening the connection; lineMs bounds each
    // awaited reply. Values below 1 are taken as 1.
    void setTimeouts(int connectMs, int lineMs);
    int connectTimeout() const { return m_connectMs; }
    int lineTimeout() const { return m_lineMs; }

    // Greeting, USER, PASS. On any failure the connection is closed (Quit sent when it
    // was open, aborted after a time-out or an over-long line) before done(false, ...).
    // An open connection from an earlier login is closed first, as disconnectFromServer().
    void connectAndLogin(Done done);
    // STAT. A negative or malformed reply leaves the connection open; a dropped
    // connection, a time-out or an over-long line closes it.
    void messageCount(CountDone done);
    // Sends "Quit" (no reply is read) and closes. False when the command could not be
    // sent (no connection); the connection is closed all the same. A pending operation
    // is cancelled: its callback reports failure.
    bool disconnectFromServer();

    bool isConnected() const;
    bool isBusy() const { return m_step != Step::Idle; }
    // The last non-blank reply line read from the server.
    QString lastReply() const { return QString::fromUtf8(m_lastReply); }

    // "pop.example.org:1110" gives the host and 1110; without ":port" the port is 110.
    // False, outputs untouched, when the part after the last ':' is not 1..65535.
    static bool splitServer(const QString& text, QString* host, quint16* port);

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
    enum class Step { Idle, Resolving, Connecting, Greeting, User, Pass, Stat };
    enum class Close { Keep, Quit, Abort };

    void startConnect(const QHostAddress& address);
    void onLookedUp(const QHostInfo& info);
    void onConnected();
    void onReadyRead();
    void onSocketError(int error);
    void onTimeout();

    bool awaitingLine() const;
    void readLines();
    void handleReply(const QByteArray& line);
    bool writeCommand(const QByteArray& command);
    bool send(const QByteArray& command);
    void expectReply(Step step);

    void fail(const QString& error, Close close);
    void finish(bool ok, int count, const QString& error);
    void post(std::function<void()> call);
    void releaseSocket(bool graceful);

    template <typename F> void shielded(F&& f) noexcept;

    QString m_host;
    quint16 m_port = DefaultPort;
    QString m_userId;
    QString m_password;
    int m_connectMs = DefaultConnectTimeoutMs;
    int m_lineMs = DefaultLineTimeoutMs;

    Step m_step = Step::Idle;
    Done m_done;
    CountDone m_countDone;
    quint64 m_generation = 0; // tells a stale host lookup result from the current one
    int m_lookupId = -1;

    QTcpSocket* m_socket = nullptr; // child of this client; replaced for every connection
    QByteArray m_buffer;            // bytes received and not yet consumed, at most MaxLineBytes + 1
    QByteArray m_lastReply;
    QTimer m_timer;
};
