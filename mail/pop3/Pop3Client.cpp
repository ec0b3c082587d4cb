#include "mail/pop3/Pop3Client.h"

#include "core/Error.h"
#include "core/ErrorTexts.h"

#include <QDateTime>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>

#include <climits>
#include <exception>
#include <utility>

// Warnings by default; the steps of an exchange with QT_LOGGING_RULES="pennaro.mail.debug=true".
Q_LOGGING_CATEGORY(lcMail, "pennaro.mail", QtInfoMsg)

namespace {

Pop3Client::UnhandledErrorHandler& unhandledErrorHandler()
{
    static Pop3Client::UnhandledErrorHandler handler;
    return handler;
}

void reportUnhandled(const QString& text) noexcept
{
    try {
        if (const auto& handler = unhandledErrorHandler()) {
            handler(text);
            return;
        }
        qCWarning(lcMail, "%s", qUtf8Printable(text));
    } catch (...) {
        // Nothing sensible is left to do with an error raised while reporting one.
    }
}

// Runs a caller's callback; whatever it raises stops here instead of unwinding into Qt.
template <typename F> void runCallbackReportingErrors(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (const PennaroError& e) {
        reportUnhandled(e.message());
    } catch (const std::exception& e) {
        reportUnhandled(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportUnhandled(QStringLiteral("Error inesperado"));
    }
}

// Codes below 32 and DEL: a CR or LF in a user id or password would let it carry a
// second command to the server.
bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return true;
    }
    return false;
}

QByteArray trimmedLine(const QByteArray& line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && static_cast<uchar>(line.at(begin)) <= 32)
        ++begin;
    while (end > begin && static_cast<uchar>(line.at(end - 1)) <= 32)
        --end;
    return line.mid(begin, end - begin);
}

bool isNegative(const QByteArray& reply)
{
    return reply.size() >= 4 && reply.left(4).toUpper() == "-ERR";
}

// The first word of a CAPA line, in capitals.
QByteArray capabilityName(const QByteArray& line)
{
    const qsizetype blank = line.indexOf(' ');
    return (blank < 0 ? line : line.left(blank)).toUpper();
}

QList<QSslCertificate>& extraCaCertificates()
{
    static QList<QSslCertificate> certificates;
    return certificates;
}

QString dayText(const QDateTime& when)
{
    return when.toUTC().toString(QStringLiteral("dd/MM/yyyy"));
}

// A decimal whole number with an optional sign that fits a signed 32-bit integer.
bool parseDecimal(const QByteArray& text, int* value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == '-' || text.at(i) == '+')) {
        negative = text.at(i) == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 result = 0;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
        if (result > qint64(INT_MAX) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    *value = static_cast<int>(result);
    return true;
}

// The Spanish texts live with the other error tables, which cannot see Qt Network.
static_assert(int(ErrorTexts::SocketCode::RemoteHostClosed) == int(QAbstractSocket::RemoteHostClosedError) &&
                  int(ErrorTexts::SocketCode::SocketAccess) == int(QAbstractSocket::SocketAccessError) &&
                  int(ErrorTexts::SocketCode::SocketTimeout) == int(QAbstractSocket::SocketTimeoutError) &&
                  int(ErrorTexts::SocketCode::Network) == int(QAbstractSocket::NetworkError),
              "the error table's socket codes differ from QAbstractSocket");

const QString kBusy = QStringLiteral("El cliente de correo ya está ocupado con otra operación");
const QString kNotConnected = QStringLiteral("No hay conexión con el servidor de correo");
const QString kNoTls = QStringLiteral("Este sistema no puede cifrar la conexión: falta la biblioteca TLS");

} // namespace

// Runs code entered from Qt (socket signals, the timer, the host lookup). An error raised
// inside ends the pending operation as a failure rather than escaping into Qt.
template <typename F> void Pop3Client::failOnError(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        try {
            if (m_step != Step::Idle)
                fail(QStringLiteral("Error inesperado en el cliente de correo"), Close::Abort);
            else
                releaseSocket(false);
        } catch (...) {
        }
    }
}

Pop3Client::Pop3Client(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { failOnError([this] { onTimeout(); }); });
}

Pop3Client::~Pop3Client()
{
    m_step = Step::Idle;
    m_done = nullptr;
    m_countDone = nullptr;
    // Cut the socket loose first: destroying it later would signal a half-destroyed client.
    releaseSocket(false);
}

void Pop3Client::setTarget(const MailTarget& target)
{
    m_host = target.host;
    m_port = target.port;
    m_tls = target.tls;
}

void Pop3Client::setTimeouts(int connectMs, int lineMs)
{
    m_connectMs = qMax(1, connectMs);
    m_lineMs = qMax(1, lineMs);
}

bool Pop3Client::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool Pop3Client::isEncrypted() const
{
    return isConnected() && m_socket->isEncrypted();
}

void Pop3Client::setUnhandledErrorHandler(UnhandledErrorHandler handler)
{
    unhandledErrorHandler() = std::move(handler);
}

void Pop3Client::setExtraCaCertificates(const QList<QSslCertificate>& certificates)
{
    extraCaCertificates() = certificates;
}

// ---- reasons ------------------------------------------------------------------------

QString Pop3Client::certificateReason(const QList<QSslError>& errors, const QString& host)
{
    QStringList why;
    const auto add = [&why](const QString& text) {
        if (!why.contains(text))
            why << text;
    };
    for (const QSslError& error : errors) {
        const QSslCertificate cert = error.certificate();
        switch (error.error()) {
        case QSslError::CertificateExpired:
            add(cert.isNull() ? QStringLiteral("ha caducado")
                              : QStringLiteral("caducó el %1").arg(dayText(cert.expiryDate())));
            break;
        case QSslError::CertificateNotYetValid:
            add(cert.isNull() ? QStringLiteral("aún no es válido")
                              : QStringLiteral("no es válido hasta el %1").arg(dayText(cert.effectiveDate())));
            break;
        case QSslError::HostNameMismatch: {
            QStringList names = cert.subjectAlternativeNames().values(QSsl::DnsEntry);
            if (names.isEmpty())
                names = cert.subjectInfo(QSslCertificate::CommonName);
            add(names.isEmpty() ? QStringLiteral("es para otro nombre, no para %1").arg(host)
                                : QStringLiteral("es para %1, no para %2").arg(names.join(QStringLiteral(", ")), host));
            break;
        }
        case QSslError::SelfSignedCertificate:
            add(QStringLiteral("está firmado por el propio servidor (autofirmado)"));
            break;
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
            add(QStringLiteral("lo emitió una autoridad desconocida"));
            break;
        case QSslError::CertificateRevoked:
            add(QStringLiteral("ha sido revocado"));
            break;
        case QSslError::NoPeerCertificate:
            add(QStringLiteral("el servidor no presentó ningún certificado"));
            break;
        default:
            add(QStringLiteral("no se pudo verificar"));
            break;
        }
    }
    if (why.isEmpty())
        why << QStringLiteral("no se pudo verificar");
    return QStringLiteral("El certificado del servidor de correo no es válido: %1").arg(why.join(QStringLiteral("; ")));
}

QString Pop3Client::serverText(const QByteArray& reply, const QString& password)
{
    constexpr int maxChars = 200;
    QString text;
    for (const QChar c : QString::fromUtf8(reply)) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format)
            continue;
        text += c;
    }
    if (!password.isEmpty())
        text.replace(password, QStringLiteral("****"));
    if (text.size() > maxChars) {
        text.truncate(maxChars);
        text += QChar(0x2026);
    }
    return text;
}

bool Pop3Client::refusesClearText(const QByteArray& reply)
{
    static const char* const words[] = {"plaintext", "plain text", "cleartext", "clear text", "tls",
                                        "ssl",       "secure",     "encrypt",   "starttls",   "stls"};
    const QByteArray lower = reply.toLower();
    for (const char* word : words) {
        if (lower.contains(word))
            return true;
    }
    return false;
}

QString Pop3Client::refusal(const QByteArray& line) const
{
    return serverText(line, m_password);
}

QString Pop3Client::notPop3(const QByteArray& line) const
{
    return QStringLiteral("El servidor de correo respondió algo que no es POP3: %1").arg(refusal(line));
}

QString Pop3Client::connectFailure(int error) const
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("No se encontró el servidor de correo %1").arg(m_host);
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("El servidor de correo %1 rechazó la conexión en el puerto %2").arg(m_host).arg(m_port);
    case QAbstractSocket::SslHandshakeFailedError:
        if (!m_sslErrors.isEmpty())
            return certificateReason(m_sslErrors, m_host);
        if (m_step == Step::Connecting)
            return QStringLiteral("No se pudo cifrar la conexión con el servidor de correo en el puerto %1: quizá "
                                  "ese puerto no usa TLS desde el principio (pruebe %2:110, con STLS)")
                .arg(m_port)
                .arg(MailTarget::typedHost(m_host));
        return QStringLiteral("No se pudo cifrar la conexión con el servidor de correo tras STLS");
    case QAbstractSocket::RemoteHostClosedError:
        if (m_step == Step::Handshake || (m_step == Step::Connecting && m_tls == MailTarget::Tls::Implicit))
            return QStringLiteral("El servidor de correo cerró la conexión durante la negociación TLS");
        return ErrorTexts::socketError(error);
    default:
        return ErrorTexts::socketError(error);
    }
}

// ---- operations -------------------------------------------------------------------

void Pop3Client::connectAndLogin(Done done)
{
    if (isBusy()) {
        post([done, error = kBusy] {
            if (done)
                done(false, error);
        });
        return;
    }
    QString refused;
    if (hasControlCharacter(m_host))
        refused = QStringLiteral("El nombre del servidor de correo contiene caracteres de control");
    else if (hasControlCharacter(m_userId))
        refused = QStringLiteral("El nombre de usuario contiene caracteres de control");
    else if (hasControlCharacter(m_password))
        refused = QStringLiteral("La contraseña contiene caracteres de control");
    else if (m_tls == MailTarget::Tls::Implicit && !QSslSocket::supportsSsl())
        refused = kNoTls;
    if (!refused.isEmpty()) {
        post([done, refused] {
            if (done)
                done(false, refused);
        });
        return;
    }
    if (m_socket)
        disconnectFromServer();

    m_done = std::move(done);
    m_lastReply.clear();
    startConnect();
}

void Pop3Client::messageCount(CountDone done)
{
    if (isBusy() || !isConnected()) {
        post([done, error = isBusy() ? kBusy : kNotConnected] {
            if (done)
                done(false, 0, error);
        });
        return;
    }
    m_countDone = std::move(done);
    expectReply(Step::Stat);
    if (send("STAT"))
        readLines();
}

bool Pop3Client::disconnectFromServer()
{
    if (isBusy())
        finish(false, 0, QStringLiteral("Operación cancelada"));
    const bool sent = isConnected() && writeCommand("Quit");
    releaseSocket(true);
    return sent;
}

// ---- connection ---------------------------------------------------------------------

void Pop3Client::startConnect()
{
    m_step = Step::Connecting;
    m_timer.start(m_connectMs); // the name lookup, every address tried and an implicit handshake
    m_buffer.clear();
    m_sslErrors.clear();
    m_capaStatusRead = false;
    m_stlsOffered = false;
    m_tlsSeen = false;
    m_socket = new QSslSocket(this);
    // Bounds what Qt buffers while no reply is awaited; the rest waits in the kernel.
    m_socket->setReadBufferSize(MaxLineBytes);
    m_socket->setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!extraCaCertificates().isEmpty()) {
        QSslConfiguration configuration = m_socket->sslConfiguration();
        configuration.addCaCertificates(extraCaCertificates());
        m_socket->setSslConfiguration(configuration);
    }
    connect(m_socket, &QAbstractSocket::connected, this, [this] { failOnError([this] { onConnected(); }); });
    connect(m_socket, &QSslSocket::encrypted, this, [this] { failOnError([this] { onEncrypted(); }); });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) { m_sslErrors = errors; });
    connect(m_socket, &QIODevice::readyRead, this, [this] { failOnError([this] { onReadyRead(); }); });
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { failOnError([&] { onSocketError(error); }); });
    connect(m_socket, &QAbstractSocket::disconnected, this,
            [this] { failOnError([this] { onSocketError(QAbstractSocket::RemoteHostClosedError); }); });
    qCDebug(lcMail, "Conectando con %s, puerto %u, %s", qUtf8Printable(m_host), unsigned(m_port),
            m_tls == MailTarget::Tls::Implicit ? "TLS desde el principio" : "STLS si el servidor lo ofrece");
    // By name, so that every address the name has (IPv6 and IPv4) is tried in turn and the
    // certificate is checked against the name as typed.
    if (m_tls == MailTarget::Tls::Implicit)
        m_socket->connectToHostEncrypted(m_host, m_port);
    else
        m_socket->connectToHost(m_host, m_port);
}

void Pop3Client::onConnected()
{
    // With implicit TLS the greeting is awaited once the handshake is done.
    if (m_step != Step::Connecting || m_tls == MailTarget::Tls::Implicit)
        return;
    expectReply(Step::Greeting);
    readLines();
}

void Pop3Client::onEncrypted()
{
    m_tlsSeen = true;
    qCDebug(lcMail, "Conexión cifrada con %s (%s)", qUtf8Printable(m_host),
            qUtf8Printable(m_socket->sessionCipher().name()));
    if (m_step == Step::Connecting) {
        expectReply(Step::Greeting);
        readLines();
    } else if (m_step == Step::Handshake) {
        sendUser();
    }
}

void Pop3Client::onReadyRead()
{
    // While idle, unread bytes stay with the socket; they are the next reply's.
    if (awaitingLine())
        readLines();
}

void Pop3Client::onSocketError(int error)
{
    if (m_step == Step::Connecting || m_step == Step::Handshake) {
        fail(connectFailure(error), Close::Abort);
        return;
    }
    if (!awaitingLine())
        return; // an idle connection that drops is noticed by the next command
    // A reply that arrived just before the close still counts.
    readLines();
    if (awaitingLine())
        fail(connectFailure(error), Close::Abort);
}

void Pop3Client::onTimeout()
{
    const int seconds = (m_connectMs + 999) / 1000;
    if (m_step == Step::Connecting) {
        const bool connected = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
        if (connected)
            fail(QStringLiteral("El servidor de correo %1 no completó la negociación TLS en %2 s")
                     .arg(m_host)
                     .arg(seconds),
                 Close::Abort);
        else
            fail(QStringLiteral("El servidor de correo %1 no respondió en %2 s").arg(m_host).arg(seconds),
                 Close::Abort);
    } else if (m_step == Step::Handshake) {
        fail(QStringLiteral("El servidor de correo %1 no completó la negociación TLS en %2 s").arg(m_host).arg(seconds),
             Close::Abort);
    } else if (m_step == Step::Greeting && !m_socket->isEncrypted()) {
        fail(QStringLiteral("El servidor de correo no envió su saludo a tiempo (si el puerto %1 espera TLS, "
                            "escriba pop3s://%2:%1)")
                 .arg(m_port)
                 .arg(MailTarget::typedHost(m_host)),
             Close::Abort);
    } else if (awaitingLine()) {
        fail(QStringLiteral("El servidor de correo no respondió a tiempo"), Close::Abort);
    }
}

// ---- replies ------------------------------------------------------------------------

bool Pop3Client::awaitingLine() const
{
    switch (m_step) {
    case Step::Greeting:
    case Step::Capa:
    case Step::Stls:
    case Step::User:
    case Step::Pass:
    case Step::Stat:
        return true;
    default:
        return false;
    }
}

void Pop3Client::expectReply(Step step)
{
    m_step = step;
    // One limit for the whole reply: blank lines and the lines of a CAPA list do not extend it.
    m_timer.start(m_lineMs);
}

bool Pop3Client::isPositiveReply(const QByteArray& reply)
{
    return reply.size() >= 3 && reply.left(3).toUpper() == "+OK";
}

// The STAT reply from its fifth character on: the count is the part before the first blank.
bool Pop3Client::parseStatReply(const QByteArray& reply, int* count)
{
    const QByteArray rest = reply.mid(4);
    const qsizetype blank = rest.indexOf(' ');
    if (blank < 0)
        return false;
    return parseDecimal(rest.left(blank), count);
}

Pop3Client::LineResult Pop3Client::takeReplyLine(QByteArray& buffer, QByteArray* line)
{
    const qsizetype lf = buffer.indexOf('\n');
    if (lf < 0)
        return buffer.size() > MaxLineBytes ? LineResult::TooLong : LineResult::NeedMore;
    QByteArray taken = buffer.left(lf);
    buffer.remove(0, lf + 1);
    if (taken.endsWith('\r'))
        taken.chop(1);
    *line = trimmedLine(taken);
    return LineResult::Line;
}

void Pop3Client::readLines()
{
    while (awaitingLine()) {
        QByteArray line;
        const LineResult result = takeReplyLine(m_buffer, &line);
        if (result == LineResult::Line) {
            if (line.isEmpty())
                continue;
            if (m_step == Step::Capa && m_capaStatusRead)
                handleCapability(line);
            else
                handleReply(line);
            continue;
        }
        if (result == LineResult::TooLong) {
            fail(QStringLiteral("Línea de respuesta del servidor de correo demasiado larga"), Close::Abort);
            return;
        }
        if (!m_socket)
            return;
        // Never more than one line's worth: an endless line cannot grow the buffer.
        const QByteArray chunk = m_socket->read(MaxLineBytes + 1 - m_buffer.size());
        if (chunk.isEmpty())
            return;
        m_buffer += chunk;
    }
}

void Pop3Client::handleReply(const QByteArray& line)
{
    m_lastReply = line;
    const bool positive = isPositiveReply(line);
    const bool negative = isNegative(line);
    if (!positive && !negative) {
        fail(notPop3(line), Close::Keep);
        return;
    }
    switch (m_step) {
    case Step::Greeting:
        if (negative) {
            fail(QStringLiteral("El servidor de correo no atiende: %1").arg(refusal(line)), Close::Keep);
        } else if (m_tls == MailTarget::Tls::Implicit) {
            sendUser();
        } else {
            expectReply(Step::Capa);
            send("CAPA");
        }
        break;
    case Step::Capa:
        if (negative)
            noStls(); // no capability list: clear text, as servers without STLS have always had it
        else
            m_capaStatusRead = true;
        break;
    case Step::Stls:
        if (negative)
            fail(QStringLiteral("El servidor de correo ofreció STLS pero lo rechazó (no se envió la contraseña): %1")
                     .arg(refusal(line)),
                 Close::Keep);
        else
            startTls();
        break;
    case Step::User:
    case Step::Pass:
        handleLoginReply(negative, line);
        break;
    case Step::Stat:
        handleStatReply(negative, line);
        break;
    default:
        break;
    }
}

void Pop3Client::handleLoginReply(bool negative, const QByteArray& line)
{
    if (!negative) {
        if (m_step == Step::User) {
            expectReply(Step::Pass);
            send("PASS " + m_password.toUtf8());
        } else {
            finish(true, 0, QString());
        }
        return;
    }
    // The server's words go in a sentence of their own, and the suggested server text
    // ends at a blank, so that it can be typed as it stands.
    if (!m_socket->isEncrypted() && refusesClearText(line))
        fail(QStringLiteral("El servidor de correo no acepta la contraseña sin cifrar y no ofrece STLS. "
                            "Su respuesta fue: «%2». Para usar TLS desde el principio, escriba "
                            "pop3s://%1 como servidor POP3.")
                 .arg(MailTarget::typedHost(m_host), refusal(line)),
             Close::Keep);
    else if (m_step == Step::User)
        fail(QStringLiteral("El servidor de correo rechazó el usuario: %1").arg(refusal(line)), Close::Keep);
    else
        fail(QStringLiteral("El servidor de correo rechazó la contraseña: %1").arg(refusal(line)), Close::Keep);
}

void Pop3Client::handleStatReply(bool negative, const QByteArray& line)
{
    int count = 0;
    if (negative)
        fail(QStringLiteral("El servidor de correo no dio el número de mensajes: %1").arg(refusal(line)), Close::Keep);
    else if (parseStatReply(line, &count))
        finish(true, count, QString());
    else
        fail(
            QStringLiteral("El servidor de correo dio un número de mensajes que no se entiende: %1").arg(refusal(line)),
            Close::Keep);
}

// One line of the CAPA list, or the "." that ends it.
void Pop3Client::handleCapability(const QByteArray& line)
{
    if (line != ".") {
        if (capabilityName(line) == "STLS")
            m_stlsOffered = m_tlsSeen = true;
        return;
    }
    if (!m_stlsOffered) {
        noStls();
        return;
    }
    if (!QSslSocket::supportsSsl()) {
        fail(kNoTls, Close::Quit);
        return;
    }
    expectReply(Step::Stls);
    send("STLS");
}

void Pop3Client::startTls()
{
    // Whatever came in clear after the "+OK" would be taken as the first encrypted reply:
    // a server (or someone in between) that sends it is not trusted.
    if (!m_buffer.isEmpty() || m_socket->bytesAvailable() > 0) {
        fail(QStringLiteral("El servidor de correo envió datos sin cifrar tras aceptar STLS"), Close::Abort);
        return;
    }
    m_step = Step::Handshake;
    m_timer.start(m_connectMs);
    m_socket->startClientEncryption();
}

// A server that offered encryption before and now does not may have had STLS stripped
// from its reply on the way: it gets no user name or password in clear.
void Pop3Client::noStls()
{
    if (m_requireTls) {
        fail(QStringLiteral("El servidor de correo %1 ofreció cifrado en comprobaciones anteriores y ahora no ofrece "
                            "STLS: no se le envían el usuario ni la contraseña sin cifrar, porque alguien en la red "
                            "podría estar quitando el cifrado. Si el servidor ha dejado de cifrar de verdad, borre "
                            "el texto de «Serv. POP3:», pulse «Guardar», escriba de nuevo el servidor y pulse "
                            "«Guardar» otra vez.")
                 .arg(MailTarget::typedHost(m_host)),
             Close::Quit);
        return;
    }
    qCDebug(lcMail, "%s no ofrece STLS: la sesión sigue sin cifrar", qUtf8Printable(m_host));
    sendUser();
}

// The reply is read by the caller's loop or, after a handshake, when it arrives.
void Pop3Client::sendUser()
{
    expectReply(Step::User);
    send("USER " + m_userId.toUtf8());
}

bool Pop3Client::writeCommand(const QByteArray& command)
{
    if (!isConnected())
        return false;
    const QByteArray data = command + "\r\n";
    return m_socket->write(data) == data.size();
}

bool Pop3Client::send(const QByteArray& command)
{
    if (writeCommand(command))
        return true;
    fail(isConnected() ? QStringLiteral("No se pudo enviar la orden al servidor de correo") : kNotConnected,
         Close::Abort);
    return false;
}

// ---- ending an operation ------------------------------------------------------------

void Pop3Client::fail(const QString& error, Close close)
{
    switch (m_step) {
    case Step::Connecting:
    case Step::Handshake:
        close = Close::Abort; // nothing may be sent before the greeting, nor during a handshake
        break;
    case Step::Greeting:
    case Step::Capa:
    case Step::Stls:
    case Step::User:
    case Step::Pass:
        if (close == Close::Keep)
            close = Close::Quit; // a failed login always ends closed
        break;
    default:
        break;
    }
    qCDebug(lcMail, "Falló la operación: %s", qUtf8Printable(error));
    if (close == Close::Quit)
        writeCommand("Quit");
    if (close != Close::Keep)
        releaseSocket(close == Close::Quit);
    finish(false, 0, error);
}

void Pop3Client::finish(bool ok, int count, const QString& error)
{
    m_timer.stop();
    m_step = Step::Idle;
    Done done = std::exchange(m_done, nullptr);
    CountDone countDone = std::exchange(m_countDone, nullptr);
    post([done, countDone, ok, count, error] {
        if (done)
            done(ok, error);
        if (countDone)
            countDone(ok, count, error);
    });
}

void Pop3Client::post(std::function<void()> call)
{
    // Always through the event loop, never inside the caller's own call.
    QMetaObject::invokeMethod(
        this, [call = std::move(call)] { runCallbackReportingErrors(call); }, Qt::QueuedConnection);
}

void Pop3Client::releaseSocket(bool graceful)
{
    m_buffer.clear();
    if (!m_socket)
        return;
    QSslSocket* socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    if (graceful && socket->state() == QAbstractSocket::ConnectedState) {
        // Let "Quit" reach the server before the close; a peer that stops reading
        // cannot keep the socket for good.
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(m_lineMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}
