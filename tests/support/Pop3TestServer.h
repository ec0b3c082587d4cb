#pragma once
// A scripted POP3 server on the loopback for the mail tests and the TLS benchmark: clear,
// TLS from the first byte, or clear with STLS, with one of the test certificates. It
// answers each command by its verb and records every line with whether it came encrypted.

#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

class QSslSocket;

namespace testcerts {
enum class Cert { Good, WrongName, Expired, SelfSigned };
// The test CA that signed Good, WrongName and Expired (SelfSigned signs itself).
QSslCertificate authority();
QSslCertificate certificate(Cert cert);
QSslKey key();
} // namespace testcerts

class Pop3TestServer : public QTcpServer
{
public:
    enum class Tls {
        None,     // clear; CAPA does not list STLS
        Implicit, // TLS from the first byte
        Stls      // clear; CAPA lists STLS and the server honours it
    };

    struct Script
    {
        Tls tls = Tls::None;
        testcerts::Cert cert = testcerts::Cert::Good;
        QByteArray greeting = "+OK listo";
        // The CAPA reply: its lines (STLS is added in Stls mode), then "." unless capaEnds
        // is false. A status line of "-ERR" sends that line alone.
        QList<QByteArray> capa = {"+OK capacidades", "TOP", "USER", "UIDL"};
        bool capaEnds = true;
        QByteArray stls = "+OK empiece la negociación";
        QByteArray afterStls;        // sent in clear right behind the STLS reply
        bool closeAfterStls = false; // closes instead of negotiating
        QByteArray user = "+OK";
        QByteArray pass = "+OK";
        QByteArray stat = "+OK 0 0";
    };

    struct Line
    {
        QByteArray text;
        bool encrypted = false;
    };

    explicit Pop3TestServer(Script script, const QHostAddress& address = QHostAddress::LocalHost);
    ~Pop3TestServer() override;

    bool listening() const { return isListening(); }
    quint16 port() const { return serverPort(); }
    // "host:port" for the server text of the "e-mail" page (IPv6 in brackets).
    QString serverText(const QString& host = QStringLiteral("127.0.0.1")) const;

    // Lines received, every connection, without CR LF.
    QList<Line> lines;
    QList<QByteArray> texts() const;
    // True when some line began with `verb` (any case); `clearOnly` counts only clear lines.
    bool received(const QByteArray& verb, bool clearOnly = false) const;
    int connections = 0;
    int closed = 0;
    int handshakes = 0; // finished on the server's side

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onRead(QSslSocket* socket);
    void answer(QSslSocket* socket, const QByteArray& line);
    void startEncryption(QSslSocket* socket);

    Script m_script;
    QHash<QSslSocket*, QByteArray> m_pending;
};
