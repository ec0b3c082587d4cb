#include "core/DateText.h"

#include "core/Clock.h"
#include "core/Error.h"
#include "core/Padding.h"

#include <QLocale>

#include <algorithm>

namespace {

QString padded(int n, int width)
{
    return Padding::zeros(n, width);
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads a run of ASCII digits at pos (at most maxDigits); -1 when there is none or it is longer.
int scanNumber(QStringView s, qsizetype& pos, int maxDigits, int* digits = nullptr)
{
    int n = 0;
    int count = 0;
    while (pos < s.size() && isAsciiDigit(s[pos])) {
        if (++count > maxDigits)
            return -1;
        n = n * 10 + (s[pos].unicode() - '0');
        ++pos;
    }
    if (digits)
        *digits = count;
    return count == 0 ? -1 : n;
}

void skipBlanks(QStringView s, qsizetype& pos)
{
    while (pos < s.size() && s[pos].isSpace())
        ++pos;
}

// A two-digit year is taken in the century that puts it no more than 50 years before now,
// as the system's date conversion does (27 -> 2027, 80 -> 1980 in 2026).
int fullYear(int year, int digits)
{
    if (digits > 2)
        return year;
    const int base = Clock::today().year() - 50;
    year += base / 100 * 100;
    if (year < base)
        year += 100;
    return year;
}

// Three numbers in the given order of day (0), month (1) and year (2), separated by any
// one of the separators with blanks around. An invalid QDate when the text is not that,
// or when `fourDigitYear` asks for four year digits and the year has fewer.
QDate readDate(QStringView text, const int order[3], QStringView separators, bool fourDigitYear = false)
{
    int parts[3] = {0, 0, 0};
    int yearDigits = 0;
    qsizetype pos = 0;
    for (int i = 0; i < 3; ++i) {
        skipBlanks(text, pos);
        if (i > 0) {
            if (pos >= text.size() || !separators.contains(text[pos]))
                return {};
            ++pos;
            skipBlanks(text, pos);
        }
        int digits = 0;
        const int n = scanNumber(text, pos, order[i] == 2 ? 4 : 2, &digits);
        if (n < 0)
            return {};
        parts[order[i]] = n;
        if (order[i] == 2)
            yearDigits = digits;
    }
    skipBlanks(text, pos);
    if (pos != text.size() || (fourDigitYear && yearDigits != 4))
        return {};
    return QDate(fullYear(parts[2], yearDigits), parts[1], parts[0]);
}

[[noreturn]] void badDate(const QString& text)
{
    throw ConversionError(QStringLiteral("'%1' no es una fecha válida").arg(text));
}

// An AM/PM marker at pos: "AM", "a.m.", "a. m." and the like (any case), or the system's
// own texts. 1 for AM, 2 for PM, 0 (pos unchanged) when there is none.
int scanMarker(QStringView s, qsizetype& pos)
{
    qsizetype p = pos;
    if (p < s.size()) {
        const QChar first = s[p].toLower();
        if (first == QLatin1Char('a') || first == QLatin1Char('p')) {
            ++p;
            if (p < s.size() && s[p] == QLatin1Char('.'))
                ++p;
            skipBlanks(s, p);
            if (p < s.size() && s[p].toLower() == QLatin1Char('m')) {
                ++p;
                if (p < s.size() && s[p] == QLatin1Char('.'))
                    ++p;
                pos = p;
                return first == QLatin1Char('a') ? 1 : 2;
            }
        }
    }
    const QLocale locale = QLocale::system();
    const QString texts[2] = {locale.amText(), locale.pmText()};
    for (int i = 0; i < 2; ++i) {
        if (!texts[i].isEmpty() && s.mid(pos).startsWith(texts[i], Qt::CaseInsensitive)) {
            pos += texts[i].size();
            return i + 1;
        }
    }
    return 0;
}

} // namespace

namespace DateText {

QString fecha(const QDate& date)
{
    if (!date.isValid())
        throw ConversionError(QStringLiteral("Fecha no válida"));
    // The year always has four digits: "27" would read back as 2027. Years outside 1 to
    // 9999 have no ten-character form that reads back.
    if (date.year() < 1 || date.year() > 9999)
        throw ConversionError(QStringLiteral("Fecha no válida"));
    return padded(date.day(), 2) + QLatin1Char('/') + padded(date.month(), 2) + QLatin1Char('/') +
           padded(date.year(), 4);
}

std::optional<QDate> tryParseFecha(const QString& text, Year year)
{
    // The form every stored date has, "dd/mm/yyyy", read straight off its fixed places;
    // anything else goes through the general reading below.
    if (text.size() == 10 && text[2] == QLatin1Char('/') && text[5] == QLatin1Char('/')) {
        const QChar* c = text.constData();
        bool digits = true;
        for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
            digits = digits && isAsciiDigit(c[i]);
        if (digits) {
            auto number = [c](int at, int count) {
                int n = 0;
                for (int i = at; i < at + count; ++i)
                    n = n * 10 + (c[i].unicode() - '0');
                return n;
            };
            const QDate date(number(6, 4), number(3, 2), number(0, 2));
            return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
        }
    }
    static const int dmy[3] = {0, 1, 2};
    const QDate date = readDate(text, dmy, u"/", year == Year::Full);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

QDate parseFecha(const QString& text)
{
    const std::optional<QDate> date = tryParseFecha(text);
    if (!date)
        badDate(text);
    return *date;
}

QString hora(const QTime& time)
{
    if (!time.isValid())
        throw ConversionError(QStringLiteral("Hora no válida"));
    return padded(time.hour(), 2) + QLatin1Char(':') + padded(time.minute(), 2) + QLatin1Char(':') +
           padded(time.second(), 2);
}

std::optional<QTime> tryParseHora(const QString& text)
{
    const QStringView s(text);
    qsizetype pos = 0;
    skipBlanks(s, pos);
    int marker = scanMarker(s, pos);
    skipBlanks(s, pos);

    int hour = scanNumber(s, pos, 4);
    int minute = 0;
    int second = 0;
    if (hour < 0)
        return std::nullopt;
    skipBlanks(s, pos);
    if (pos < s.size() && s[pos] == QLatin1Char(':')) {
        ++pos;
        skipBlanks(s, pos);
        minute = scanNumber(s, pos, 4);
        if (minute < 0)
            return std::nullopt;
        skipBlanks(s, pos);
        if (pos < s.size() && s[pos] == QLatin1Char(':')) {
            ++pos;
            skipBlanks(s, pos);
            second = scanNumber(s, pos, 4);
            if (second < 0)
                return std::nullopt;
            skipBlanks(s, pos);
            // A fraction of a second is read and dropped.
            if (pos + 1 < s.size() && (s[pos] == QLatin1Char('.') || s[pos] == QLatin1Char(',')) &&
                isAsciiDigit(s[pos + 1])) {
                ++pos;
                while (pos < s.size() && isAsciiDigit(s[pos]))
                    ++pos;
                skipBlanks(s, pos);
            }
        }
    }
    if (marker == 0) {
        marker = scanMarker(s, pos);
        skipBlanks(s, pos);
    }
    if (pos != s.size() || minute > 59 || second > 59)
        return std::nullopt;
    if (marker != 0) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour %= 12;
        if (marker == 2)
            hour += 12;
    } else if (hour > 23) {
        return std::nullopt;
    }
    return QTime(hour, minute, second);
}

QTime parseHora(const QString& text)
{
    const std::optional<QTime> time = tryParseHora(text);
    if (!time)
        throw ConversionError(QStringLiteral("'%1' no es una hora válida").arg(text));
    return *time;
}

QString longTime(const QTime& time)
{
    if (!time.isValid())
        throw ConversionError(QStringLiteral("Hora no válida"));
    return QString::number(time.hour()) + QLatin1Char(':') + padded(time.minute(), 2) + QLatin1Char(':') +
           padded(time.second(), 2);
}

QString longDate(const QDate& date)
{
    if (!date.isValid())
        throw ConversionError(QStringLiteral("Fecha no válida"));
    const int weekday = date.dayOfWeek() % 7 + 1; // Qt counts from Monday = 1; the table from Sunday = 1
    return QString::fromUtf8(NombreDia[weekday]) + QStringLiteral(", ") + QString::number(date.day()) +
           QStringLiteral(" de ") + QString::fromUtf8(NombreMes[date.month()]) + QStringLiteral(" de ") +
           padded(date.year(), 4);
}

QString shortDate(const QDate& date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QDate parseShortDate(const QString& text)
{
    const QLocale locale = QLocale::system();
    const QString format = locale.dateFormat(QLocale::ShortFormat);

    // The order of day, month and year in the system's form, and its separators. Only the
    // system's own separators take its order: a slash date is read day/month/year below
    // unless the system's form uses the slash itself.
    int order[3] = {-1, -1, -1};
    int found = 0;
    QString separators;
    bool named = false;
    bool inQuote = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            inQuote = !inQuote;
            continue;
        }
        if (inQuote)
            continue;
        const int field = c == QLatin1Char('d') ? 0 : c == QLatin1Char('M') ? 1 : c == QLatin1Char('y') ? 2 : -1;
        if (field < 0) {
            if (!c.isLetter() && !c.isSpace() && !separators.contains(c))
                separators += c;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if ((field == 0 && run > 2) || (field == 1 && run > 2))
            named = true; // day or month names
        if (found < 3 && std::find(order, order + found, field) == order + found)
            order[found++] = field;
        i += run - 1;
    }

    QDate date;
    if (found == 3 && !named)
        date = readDate(text, order, separators);
    if (!date.isValid()) {
        static const int dmy[3] = {0, 1, 2};
        date = readDate(text, dmy, u"/");
    }
    if (!date.isValid())
        date = locale.toDate(text.trimmed(), QLocale::ShortFormat);
    if (!date.isValid())
        badDate(text);
    return date;
}

} // namespace DateText
