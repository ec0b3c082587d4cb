#include "support/Pop3TestServer.h"

#include <QFile>
#include <QPointer>
#include <QSslSocket>

#ifndef PENNARO_TEST_CERTS_DIR
#error "PENNARO_TEST_CERTS_DIR must name the folder of the test certificates"
#endif

namespace {

QByteArray readCertFile(const char* name)
{
    QFile file(QStringLiteral(PENNARO_TEST_CERTS_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Falta el certificado de prueba %s", name);
    return file.readAll();
}

} // namespace

namespace testcerts {

QSslCertificate authority()
{
    return QSslCertificate(readCertFile("ca.pem"));
}

QSslCertificate certificate(Cert cert)
{
    switch (cert) {
    case Cert::Good:
        return QSslCertificate(readCertFile("good.pem"));
    case Cert::WrongName:
        return QSslCertificate(readCertFile("wrongname.pem"));
    case Cert::Expired:
        return QSslCertificate(readCertFile("expired.pem"));
    case Cert::SelfSigned:
        return QSslCertificate(readCertFile("selfsigned.pem"));
    }
    return QSslCertificate();
}

QSslKey key()
{
    return QSslKey(readCertFile("server.key"), QSsl::Ec);
}

} // namespace testcerts

Pop3TestServer::Pop3TestServer(Script script, const QHostAddress& address) : m_script(std::move(script))
{
    if (m_script.tls == Tls::Stls)
        m_script.capa.append("STLS");
    listen(address, 0);
}

Pop3TestServer::~Pop3TestServer()
{
    // The connections go with the server; none may report back to a half-destroyed one.
    for (QSslSocket* socket : findChildren<QSslSocket*>())
        socket->disconnect(this);
}

QString Pop3TestServer::serverText(const QString& host) const
{
    const QString shown = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shown).arg(port());
}

QList<QByteArray> Pop3TestServer::texts() const
{
    QList<QByteArray> result;
    for (const Line& line : lines)
        result << line.text;
    return result;
}

bool Pop3TestServer::received(const QByteArray& verb, bool clearOnly) const
{
    for (const Line& line : lines) {
        if (clearOnly && line.encrypted)
            continue;
        if (line.text.split(' ').first().compare(verb, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void Pop3TestServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    ++connections;
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->setLocalCertificate(testcerts::certificate(m_script.cert));
    socket->setPrivateKey(testcerts::key());
    connect(socket, &QIODevice::readyRead, this, [this, socket] { onRead(socket); });
    connect(socket, &QSslSocket::encrypted, this, [this, socket] {
        ++handshakes;
        if (m_script.tls == Tls::Implicit)
            socket->write(m_script.greeting + "\r\n");
    });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
        ++closed;
        m_pending.remove(socket);
        socket->deleteLater();
    });
    if (m_script.tls == Tls::Implicit)
        startEncryption(socket);
    else
        socket->write(m_script.greeting + "\r\n");
}

void Pop3TestServer::startEncryption(QSslSocket* socket)
{
    // A handshake that fails (the client refuses the certificate) just ends the connection.
    connect(socket, &QSslSocket::sslErrors, socket, [socket] { socket->ignoreSslErrors(); });
    socket->startServerEncryption();
}

void Pop3TestServer::onRead(QSslSocket* socket)
{
    QByteArray& pending = m_pending[socket];
    pending += socket->readAll();
    for (qsizetype lf; (lf = pending.indexOf('\n')) >= 0;) {
        QByteArray line = pending.left(lf);
        pending.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << Line{line, socket->isEncrypted()};
        answer(socket, line);
        if (!m_pending.contains(socket))
            return; // closed meanwhile
    }
}

void Pop3TestServer::answer(QSslSocket* socket, const QByteArray& line)
{
    const QByteArray verb = line.split(' ').first().toUpper();
    if (verb == "CAPA") {
        if (m_script.capa.isEmpty())
            return;
        if (m_script.capa.first().startsWith("-ERR")) {
            socket->write(m_script.capa.first() + "\r\n");
            return;
        }
        socket->write(m_script.capa.join("\r\n") + "\r\n");
        if (m_script.capaEnds)
            socket->write(".\r\n");
    } else if (verb == "STLS" && m_script.tls == Tls::Stls && !socket->isEncrypted()) {
        socket->write(m_script.stls + "\r\n" + m_script.afterStls);
        socket->flush();
        m_pending.remove(socket);
        if (m_script.closeAfterStls)
            socket->disconnectFromHost();
        else if (m_script.stls.startsWith("+OK"))
            startEncryption(socket);
    } else if (verb == "USER") {
        socket->write(m_script.user + "\r\n");
    } else if (verb == "PASS") {
        socket->write(m_script.pass + "\r\n");
    } else if (verb == "STAT") {
        socket->write(m_script.stat + "\r\n");
    } else if (verb == "QUIT") {
        socket->write("+OK adiós\r\n");
        socket->disconnectFromHost();
    } else {
        socket->write("-ERR orden desconocida\r\n");
    }
}
