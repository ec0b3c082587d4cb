#include "exchange/ContentLines.h"

#include <QStringDecoder>

namespace exchange {

namespace {

bool isNameChar(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

bool isName(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!isNameChar(c))
            return false;
    return true;
}

// RFC 6868 caret escapes in parameter values: ^n newline, ^^ caret, ^' double quote.
QString decodeCaret(const QString& value)
{
    if (!value.contains(QLatin1Char('^')))
        return value;
    QString out;
    out.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('^') && i + 1 < value.size()) {
            const QChar n = value.at(i + 1);
            if (n == QLatin1Char('n') || n == QLatin1Char('N')) {
                out += QLatin1Char('\n');
                ++i;
                continue;
            }
            if (n == QLatin1Char('^')) {
                out += QLatin1Char('^');
                ++i;
                continue;
            }
            if (n == QLatin1Char('\'')) {
                out += QLatin1Char('"');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

const QString kMissingColon = QStringLiteral("falta «:» entre los parámetros y el valor");

// The values after a parameter's "=": comma-separated, each quoted or bare, up to ";" or ":".
// `i` stands on the first value and ends past the last.
QStringList parseParamValues(const QString& text, int& i, int lineNo)
{
    QStringList values;
    for (;;) {
        QString value;
        if (i < text.size() && text.at(i) == QLatin1Char('"')) {
            const int close = text.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                throw LineError(lineNo, QStringLiteral("falta la comilla de cierre de un parámetro"));
            value = text.mid(i + 1, close - i - 1);
            i = close + 1;
        } else {
            const int start = i;
            while (i < text.size() && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char(';') &&
                   text.at(i) != QLatin1Char(':'))
                ++i;
            value = text.mid(start, i - start);
        }
        values += decodeCaret(value);
        if (i >= text.size() || text.at(i) != QLatin1Char(','))
            return values;
        ++i;
    }
}

// One parameter: ";NAME=value,value", ";NAME="quoted",value" or a bare ";VALUE". `i` stands
// on its ";" and ends on what follows it.
Parameter parseParameter(const QString& text, int& i, int lineNo)
{
    ++i;
    const int start = i;
    while (i < text.size() && text.at(i) != QLatin1Char('=') && text.at(i) != QLatin1Char(';') &&
           text.at(i) != QLatin1Char(':'))
        ++i;
    if (i >= text.size())
        throw LineError(lineNo, kMissingColon);
    Parameter param;
    param.name = text.mid(start, i - start).toUpper();
    if (!isName(param.name))
        throw LineError(lineNo, QStringLiteral("«%1» no es un nombre de parámetro válido").arg(param.name.left(40)));
    if (text.at(i) == QLatin1Char('=')) {
        ++i;
        param.values = parseParamValues(text, i, lineNo);
        if (i >= text.size())
            throw LineError(lineNo, kMissingColon);
    }
    return param;
}

} // namespace

QStringList ContentLine::paramValues(const QString& paramName) const
{
    QStringList values;
    for (const Parameter& p : params)
        if (p.name == paramName)
            values += p.values;
    return values;
}

bool ContentLine::hasParam(const QString& paramName) const
{
    for (const Parameter& p : params)
        if (p.name == paramName)
            return true;
    return false;
}

QStringList ContentLine::types() const
{
    QStringList result;
    for (const Parameter& p : params) {
        if (p.name == QLatin1String("TYPE")) {
            // TYPE="work,voice" is a list as well, though quoted.
            for (const QString& v : p.values)
                for (const QString& t : v.split(QLatin1Char(','), Qt::SkipEmptyParts))
                    result += t.trimmed().toLower();
        } else if (p.values.isEmpty()) {
            result += p.name.toLower(); // vCard 3.0 / 2.1 bare type: "TEL;HOME:"
        }
    }
    return result;
}

ContentLine parseContentLine(const QString& text, int lineNo)
{
    ContentLine line;
    line.lineNo = lineNo;

    // The name runs to the first ";" or ":"; a group comes before a ".".
    int i = 0;
    while (i < text.size() && text.at(i) != QLatin1Char(';') && text.at(i) != QLatin1Char(':'))
        ++i;
    if (i >= text.size())
        throw LineError(lineNo, QStringLiteral("falta «:» entre el nombre y el valor"));
    QString name = text.left(i);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        line.group = name.left(dot);
        name = name.mid(dot + 1);
    }
    if (!isName(name))
        throw LineError(lineNo, QStringLiteral("«%1» no es un nombre de propiedad válido").arg(name.left(40)));
    line.name = name.toUpper();

    while (i < text.size() && text.at(i) == QLatin1Char(';'))
        line.params += parseParameter(text, i, lineNo);
    if (i >= text.size() || text.at(i) != QLatin1Char(':'))
        throw LineError(lineNo, kMissingColon);
    line.value = text.mid(i + 1);
    return line;
}

QString unescapeText(const QString& raw)
{
    if (!raw.contains(QLatin1Char('\\')) && !raw.contains(QLatin1Char('\r')))
        return raw;
    QString out;
    out.reserve(raw.size());
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\r')) {
            // A raw CR inside a line (only LF ends one) is a line break, as "\n" is.
            if (i + 1 < raw.size() && raw.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += QLatin1Char('\n');
        } else if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar n = raw.at(++i);
            if (n == QLatin1Char('\r') && i + 1 < raw.size() && raw.at(i + 1) == QLatin1Char('\n'))
                ++i;
            // "\n", "\N" and an escaped raw line break are all one line break.
            const bool lineBreak = n == QLatin1Char('n') || n == QLatin1Char('N') || n == QLatin1Char('\r');
            out += lineBreak ? QChar(QLatin1Char('\n')) : n;
        } else {
            out += c;
        }
    }
    return out;
}

QString escapeText(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case ',':
            out += QLatin1String("\\,");
            break;
        case ';':
            out += QLatin1String("\\;");
            break;
        case '\r':
            // CR LF, a lone CR and a lone LF are each one line break.
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\\n");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QStringList splitStructured(const QString& raw)
{
    QStringList parts;
    QString current;
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            current += c;
            current += raw.at(++i);
        } else if (c == QLatin1Char(';')) {
            parts += unescapeText(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts += unescapeText(current);
    return parts;
}

QByteArray foldLine(const QByteArray& line)
{
    QByteArray out;
    out.reserve(line.size() + line.size() / 70 * 3 + 2);
    int pos = 0;
    int room = 75;
    while (line.size() - pos > room) {
        int cut = pos + room;
        // Never cut before a continuation byte of a UTF-8 sequence.
        while (cut > pos && (static_cast<unsigned char>(line.at(cut)) & 0xC0) == 0x80)
            --cut;
        if (cut == pos) // cannot happen with valid UTF-8; cut anyway rather than loop
            cut = pos + room;
        out += line.mid(pos, cut - pos);
        out += "\r\n ";
        pos = cut;
        room = 74; // the leading space counts
    }
    out += line.mid(pos);
    out += "\r\n";
    return out;
}

LineReader::LineReader(QIODevice* device) : m_device(device) {}

qsizetype firstUncarriedCharacter(const QString& text, bool onlyBareCr)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i; // a line break, written as "\n"
            else
                return i;
        } else if (!onlyBareCr && ((c < 0x20 && c != u'\t' && c != u'\n') || c == 0x7F)) {
            return i;
        }
    }
    return -1;
}

bool LineReader::readPhysical(QByteArray& line)
{
    // Lines are cut from a block buffer: asking the device for a line of up to the limit
    // would set aside the whole limit for every line. A line ends at CR LF, LF or a CR
    // alone (as old Mac programs write them).
    bool atEnd = false;
    for (;;) {
        qsizetype end = m_scanned < m_start ? m_start : m_scanned;
        while (end < m_buffer.size() && m_buffer.at(end) != '\n' && m_buffer.at(end) != '\r')
            ++end;
        if (end < m_buffer.size()) {
            qsizetype next = end + 1;
            if (m_buffer.at(end) == '\r') {
                if (next == m_buffer.size() && !atEnd) {
                    m_scanned = end; // a LF may follow in the next block
                    readMore(atEnd);
                    continue;
                }
                if (next < m_buffer.size() && m_buffer.at(next) == '\n')
                    ++next;
            }
            line = m_buffer.mid(m_start, end - m_start);
            m_start = next;
            m_scanned = m_start;
            break;
        }
        m_scanned = end;
        if (atEnd || !readMore(atEnd)) {
            if (m_start >= m_buffer.size())
                return false;
            line = m_buffer.mid(m_start); // the last line has no line break
            m_buffer.clear();
            m_start = m_scanned = 0;
            break;
        }
    }
    ++m_physical;
    if (m_physical == 1 && line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    return true;
}

bool LineReader::readMore(bool& atEnd)
{
    // Drop the lines already given out before the buffer grows.
    m_buffer.remove(0, m_start);
    m_scanned -= m_start;
    m_start = 0;
    if (m_buffer.size() > kMaxLineBytes)
        fail(m_physical + 1,
             QStringLiteral("la línea es demasiado larga (más de %1 MB)").arg(kMaxLineBytes / (1024 * 1024)));
    const QByteArray block = m_device->read(64 * 1024);
    if (block.isEmpty()) {
        atEnd = true;
        return false;
    }
    m_buffer += block;
    return true;
}

bool LineReader::next(QString& text, int& lineNo)
{
    QByteArray logical;
    for (;;) {
        if (!m_hasPending) {
            if (!readPhysical(m_pending))
                return false;
            m_pendingNo = m_physical;
        }
        m_hasPending = false;
        if (m_pending.isEmpty())
            continue; // blank lines between components are tolerated
        logical = m_pending;
        lineNo = m_pendingNo;
        break;
    }
    // Continuation lines begin with a space or a tab.
    QByteArray following;
    while (readPhysical(following)) {
        if (!following.isEmpty() && (following.at(0) == ' ' || following.at(0) == '\t')) {
            logical.append(following.constData() + 1, following.size() - 1);
            if (logical.size() > kMaxLineBytes)
                fail(lineNo,
                     QStringLiteral("la línea es demasiado larga (más de %1 MB)").arg(kMaxLineBytes / (1024 * 1024)));
            continue;
        }
        m_pending = following;
        m_pendingNo = m_physical;
        m_hasPending = true;
        break;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(logical);
    if (decoder.hasError())
        fail(lineNo, QStringLiteral("el texto no está en UTF-8 válido"));
    if (text.contains(QChar(0)))
        fail(lineNo, QStringLiteral("la línea contiene un carácter nulo"));
    return true;
}

} // namespace exchange
