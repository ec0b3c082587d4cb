#include "mail/pop3/MailTarget.h"

#include <QHostAddress>

namespace {

// A decimal port 1..65535 without sign or blanks.
bool parsePort(const QString& text, quint16* port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    *port = static_cast<quint16>(value);
    return true;
}

bool isIpv6(const QString& text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

// The server part of a target: the host and, when one is written, the port's text.
struct HostPort
{
    QString host;
    QString port;
    bool hasPort = false;
};

// Splits "host[:port]", "[IPv6][:port]" or a bare IPv6 address; returns why the text is
// refused, or an empty text.
QString splitHostPort(const QString& rest, HostPort& out)
{
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return QStringLiteral("falta el corchete de cierre");
        out.host = rest.mid(1, close - 1);
        if (!isIpv6(out.host))
            return QStringLiteral("entre corchetes va una dirección IPv6");
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':')))
                return QStringLiteral("tras el corchete solo cabe \u00ab:puerto\u00bb");
            out.port = after.mid(1);
            out.hasPort = true;
        }
    } else if (rest.count(QLatin1Char(':')) >= 2) {
        // Two colons or more: a bare IPv6 address, taken whole (a port needs brackets).
        if (!isIpv6(rest))
            return QStringLiteral("no es una dirección IPv6; escriba [dirección]:puerto");
        out.host = rest;
    } else {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        out.host = colon < 0 ? rest : rest.left(colon);
        if (colon >= 0) {
            out.port = rest.mid(colon + 1);
            out.hasPort = true;
        }
    }
    return {};
}

} // namespace

bool MailTarget::parse(const QString& text, MailTarget* target, QString* reason)
{
    const auto refuse = [&](const QString& why) {
        if (reason)
            *reason = QStringLiteral("El servidor de correo \u00ab%1\u00bb no es válido: %2").arg(text, why);
        return false;
    };

    MailTarget result;
    QString rest = text;
    const QString scheme = QStringLiteral("pop3s://");
    const bool pops = rest.startsWith(scheme, Qt::CaseInsensitive);
    if (pops) {
        rest = rest.mid(scheme.size());
        result.tls = Tls::Implicit;
        result.port = PopsPort;
        if (rest.endsWith(QLatin1Char('/')))
            rest.chop(1);
        if (rest.isEmpty())
            return refuse(QStringLiteral("falta el nombre del servidor"));
        if (rest.contains(QLatin1Char('/')) || rest.contains(QLatin1Char('@')))
            return refuse(QStringLiteral("escriba solo el servidor y, si hace falta, el puerto"));
    } else if (rest.contains(QStringLiteral("://"))) {
        return refuse(QStringLiteral("el único prefijo admitido es pop3s://"));
    }

    HostPort server;
    const QString why = splitHostPort(rest, server);
    if (!why.isEmpty())
        return refuse(why);
    if (pops && server.host.isEmpty())
        return refuse(QStringLiteral("falta el nombre del servidor"));
    result.host = server.host;
    if (server.hasPort) {
        if (!parsePort(server.port, &result.port))
            return refuse(QStringLiteral("el puerto ha de ser un número de 1 a 65535"));
        if (result.port == PopsPort)
            result.tls = Tls::Implicit;
    }
    if (target)
        *target = result;
    return true;
}

QString MailTarget::typedHost(const QString& host)
{
    return host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
}
