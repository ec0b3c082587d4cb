#include "mail/Pop3Client.h"

#include "common/Error.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>

#include <climits>
#include <exception>
#include <utility>

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
        qWarning("Pop3Client: %s", qUtf8Printable(text));
    } catch (...) {
        // Nothing sensible is left to do with an error raised while reporting one.
    }
}

// Runs a caller's callback; whatever it raises stops here instead of unwinding into Qt.
template <typename F> void runCallback(F&& f) noexcept
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

QString socketErrorText(int error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("El servidor de correo rechazó la conexión");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("El servidor de correo cerró la conexión");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("No se encontró el servidor de correo");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("Se agotó el tiempo de espera de la red");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("Error de red");
    default:
        return QStringLiteral("Error en la conexión con el servidor de correo");
    }
}

const QString kBusy = QStringLiteral("El cliente de correo ya está ocupado con otra operación");
const QString kNotConnected = QStringLiteral("No hay conexión con el servidor de correo");

} // namespace

// Runs code entered from Qt (socket signals, the timer, the host lookup). An error raised
// inside ends the pending operation as a failure rather than escaping into Qt.
template <typename F> void Pop3Client::shielded(F&& f) noexcept
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
    connect(&m_timer, &QTimer::timeout, this, [this] { shielded([this] { onTimeout(); }); });
}

Pop3Client::~Pop3Client()
{
    m_step = Step::Idle;
    m_done = nullptr;
    m_countDone = nullptr;
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    // Cut the socket loose first: destroying it later would signal a half-destroyed client.
    releaseSocket(false);
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

void Pop3Client::setUnhandledErrorHandler(UnhandledErrorHandler handler)
{
    unhandledErrorHandler() = std::move(handler);
}

bool Pop3Client::splitServer(const QString& text, QString* host, quint16* port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        if (host)
            *host = text;
        if (port)
            *port = DefaultPort;
        return true;
    }
    const QString portText = text.mid(colon + 1);
    if (portText.isEmpty() || portText.size() > 5)
        return false;
    int value = 0;
    for (const QChar c : portText) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    if (host)
        *host = text.left(colon);
    if (port)
        *port = static_cast<quint16>(value);
    return true;
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
    const quint64 generation = ++m_generation;
    m_step = Step::Resolving;
    m_timer.start(m_connectMs);

    QHostAddress address;
    if (address.setAddress(m_host) && address.protocol() == QAbstractSocket::IPv4Protocol) {
        startConnect(address);
        return;
    }
    const int id = QHostInfo::lookupHost(m_host, this, [this, generation](const QHostInfo& info) {
        shielded([&] {
            if (generation == m_generation && m_step == Step::Resolving)
                onLookedUp(info);
        });
    });
    if (generation == m_generation && m_step == Step::Resolving)
        m_lookupId = id;
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
    ++m_generation;
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

void Pop3Client::onLookedUp(const QHostInfo& info)
{
    m_lookupId = -1;
    const auto addresses = info.addresses();
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            startConnect(address);
            return;
        }
    }
    fail(QStringLiteral("No se encontró el servidor de correo %1").arg(m_host), Close::Abort);
}

void Pop3Client::startConnect(const QHostAddress& address)
{
    m_step = Step::Connecting;
    m_buffer.clear();
    m_socket = new QTcpSocket(this);
    // Bounds what Qt buffers while no reply is awaited; the rest waits in the kernel.
    m_socket->setReadBufferSize(MaxLineBytes);
    connect(m_socket, &QAbstractSocket::connected, this, [this] { shielded([this] { onConnected(); }); });
    connect(m_socket, &QIODevice::readyRead, this, [this] { shielded([this] { onReadyRead(); }); });
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { shielded([&] { onSocketError(error); }); });
    connect(m_socket, &QAbstractSocket::disconnected, this,
            [this] { shielded([this] { onSocketError(QAbstractSocket::RemoteHostClosedError); }); });
    m_socket->connectToHost(address, m_port);
}

void Pop3Client::onConnected()
{
    if (m_step != Step::Connecting)
        return;
    expectReply(Step::Greeting);
    readLines();
}

void Pop3Client::onReadyRead()
{
    // While idle, unread bytes stay with the socket; they are the next reply's.
    if (awaitingLine())
        readLines();
}

void Pop3Client::onSocketError(int error)
{
    if (m_step == Step::Connecting) {
        fail(socketErrorText(error), Close::Abort);
        return;
    }
    if (!awaitingLine())
        return; // an idle connection that drops is noticed by the next command
    // A reply that arrived just before the close still counts.
    readLines();
    if (awaitingLine())
        fail(socketErrorText(error), Close::Abort);
}

void Pop3Client::onTimeout()
{
    if (m_step == Step::Resolving || m_step == Step::Connecting)
        fail(QStringLiteral("Se agotó el tiempo de espera al conectar con el servidor de correo"), Close::Abort);
    else if (awaitingLine())
        fail(QStringLiteral("El servidor de correo no respondió a tiempo"), Close::Abort);
}

// ---- replies ------------------------------------------------------------------------

bool Pop3Client::awaitingLine() const
{
    return m_step == Step::Greeting || m_step == Step::User || m_step == Step::Pass || m_step == Step::Stat;
}

void Pop3Client::expectReply(Step step)
{
    m_step = step;
    // One limit for the whole reply: blank lines do not extend it.
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
            if (!line.isEmpty())
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
    m_timer.stop();
    if (!isPositiveReply(line)) {
        fail(QString::fromUtf8(line), Close::Keep);
        return;
    }
    switch (m_step) {
    case Step::Greeting:
        expectReply(Step::User);
        send("USER " + m_userId.toUtf8());
        break;
    case Step::User:
        expectReply(Step::Pass);
        send("PASS " + m_password.toUtf8());
        break;
    case Step::Pass:
        finish(true, 0, QString());
        break;
    case Step::Stat: {
        int count = 0;
        if (parseStatReply(line, &count))
            finish(true, count, QString());
        else
            fail(QString::fromUtf8(line), Close::Keep);
        break;
    }
    default:
        break;
    }
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
    case Step::Resolving:
    case Step::Connecting:
        close = Close::Abort; // nothing may be sent before the greeting
        break;
    case Step::Greeting:
    case Step::User:
    case Step::Pass:
        if (close == Close::Keep)
            close = Close::Quit; // a failed login always ends closed
        break;
    default:
        break;
    }
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
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
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
        this, [call = std::move(call)] { runCallback(call); }, Qt::QueuedConnection);
}

void Pop3Client::releaseSocket(bool graceful)
{
    m_buffer.clear();
    if (!m_socket)
        return;
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
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
