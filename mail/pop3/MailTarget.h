#pragma once
// Where a mailbox check connects: the host, the port and whether TLS starts at once
// (POP3S) or is asked for with STLS after the greeting. Read from the server text of
// the "e-mail" page, which is stored as the user typed it.

#include <QString>

struct MailTarget
{
    enum class Tls {
        Stls,    // clear connection; STLS is taken whenever the server offers it
        Implicit // TLS from the first byte (POP3S)
    };

    static constexpr quint16 PopPort = 110;
    static constexpr quint16 PopsPort = 995;

    QString host; // a name or an address, IPv6 without brackets
    quint16 port = PopPort;
    Tls tls = Tls::Stls;

    // Accepted forms: "host" (port 110), "host:port", "[ipv6]:port", "[ipv6]", a bare
    // IPv6 address, and "pop3s://host[:port]" (implicit TLS, port 995 when none is given;
    // the host may be a bracketed IPv6 address). Port 995 means implicit TLS in any form.
    // False, with `reason` in Spanish and `target` untouched, for anything else.
    static bool parse(const QString& text, MailTarget* target, QString* reason = nullptr);

    // The host as a server text writes it: an IPv6 address in brackets, anything else as it is.
    static QString typedHost(const QString& host);

    bool operator==(const MailTarget& other) const
    {
        return host == other.host && port == other.port && tls == other.tls;
    }
};
