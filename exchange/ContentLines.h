#pragma once
// Content lines as vCard (RFC 6350) and iCalendar (RFC 5545) write them: the reader
// unfolds continuation lines, checks UTF-8 and a length limit, and numbers lines so
// errors can name them; the helpers split a line into name, parameters and value,
// unescape and escape text values, and fold long lines on output.

#include "core/Error.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QVector>

namespace exchange {

// An error in a file being read or written; the text is Spanish and names the line.
class ExchangeError : public PennaroError
{
public:
    using PennaroError::PennaroError;
};

// An error at one line of the file being read: "línea N: detail". The job that reads the
// file puts the file's name in front.
class LineError : public ExchangeError
{
public:
    LineError(int lineNo, const QString& detail)
        : ExchangeError(QStringLiteral("línea %1: %2").arg(lineNo).arg(detail)), m_lineNo(lineNo), m_detail(detail)
    {
    }
    int lineNo() const { return m_lineNo; }
    const QString& detail() const { return m_detail; }

private:
    int m_lineNo;
    QString m_detail;
};

// The longest unfolded line accepted (a photo of a few megabytes fits; a runaway line does not).
constexpr qint64 kMaxLineBytes = 4 * 1024 * 1024;

struct Parameter
{
    QString name;       // upper case
    QStringList values; // unquoted; comma lists split
};

struct ContentLine
{
    int lineNo = 0; // 1-based number of the first physical line
    QString group;  // "item1" in "item1.EMAIL", else empty
    QString name;   // upper case
    QVector<Parameter> params;
    QString value; // raw, still escaped

    // All values of a parameter (upper-case name), lower-cased for TYPE-like tests.
    QStringList paramValues(const QString& paramName) const;
    bool hasParam(const QString& paramName) const;
    // TYPE values, lower case, including bare parameters ("HOME" as vCard 3.0 allows).
    QStringList types() const;
};

// Splits an unfolded line. Raises LineError when it is no content line.
ContentLine parseContentLine(const QString& text, int lineNo);

// Text value escapes: "\\" "\," "\;" "\n"/"\N". Unknown escapes keep the character.
QString unescapeText(const QString& raw);
QString escapeText(const QString& text);
// The components of a structured value (N, ADR, ORG), split at unescaped ";" and unescaped.
QStringList splitStructured(const QString& raw);

// Folds one line to at most 75 octets per physical line, never inside a UTF-8 sequence,
// and ends it with CRLF.
QByteArray foldLine(const QByteArray& line);

// Where a text holds a character a file cannot carry back unchanged, else -1: a CR that
// is not part of a CR LF (a CR alone ends a line, and CR, LF and CR LF are all written as
// one line break), and unless `onlyBareCr`, any control character other than the tab and
// the line break (libical drops them from iCalendar texts).
qsizetype firstUncarriedCharacter(const QString& text, bool onlyBareCr);

// Reads unfolded lines one at a time from a device, so memory does not grow with the file.
class LineReader
{
public:
    explicit LineReader(QIODevice* device);

    // The next non-empty unfolded line, decoded; false at the end of the file.
    bool next(QString& line, int& lineNo);
    // Raises LineError.
    [[noreturn]] static void fail(int lineNo, const QString& text) { throw LineError(lineNo, text); }
    int lastLineNo() const { return m_physical; }

private:
    bool readPhysical(QByteArray& line);
    bool readMore(bool& atEnd); // false, with atEnd, when the device has no more bytes

    QIODevice* m_device;
    QByteArray m_buffer;     // bytes read from the device and not yet cut into lines
    qsizetype m_start = 0;   // where the next line begins in m_buffer
    qsizetype m_scanned = 0; // m_buffer holds no line break between m_start and here
    int m_physical = 0;      // physical lines read so far
    QByteArray m_pending;    // a physical line read ahead
    bool m_hasPending = false;
    int m_pendingNo = 0;
};

} // namespace exchange
