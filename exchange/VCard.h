#pragma once
// vCard files: a reader of versions 3.0 and 4.0 that gives one card at a time, and
// the line writer used for version 4.0 output.

#include "exchange/ContentLines.h"

namespace exchange {

struct VCard
{
    int firstLine = 0;
    QString version;                 // "3.0", "4.0" or empty when the card has none
    QVector<ContentLine> properties; // every property but BEGIN, END and VERSION
};

class VCardReader
{
public:
    explicit VCardReader(QIODevice* device);
    // The next card; false at the end of the file. Raises LineError
    // for a file that is not vCard, a truncated card or a version other than 3.0 and 4.0.
    bool next(VCard& card);
    [[noreturn]] static void fail(int lineNo, const QString& text) { LineReader::fail(lineNo, text); }

private:
    LineReader m_lines;
    int m_cards = 0;
};

// One output line "NAME;PARAMS:value", folded and ended with CRLF. `value` is written as given
// (escape it first); `params` is the text between the name and the colon, with its leading ";".
QByteArray vcardLine(const char* name, const QString& value, const char* params = "");

} // namespace exchange
