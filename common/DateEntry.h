#pragma once
// The form in which the program shows dates a user types (a card's birthday and
// anniversary): dd/mm/yyyy with the year in full, whatever the desktop's locale. A
// two-digit year is refused rather than guessed into a century.

#include <QDate>
#include <QString>

namespace DateEntry {

// "15/03/1950"; "" for an invalid date.
QString text(const QDate& date);
// Day "/" month "/" four-digit year, day and month with one or two digits, blanks around
// the whole allowed. Raises ConversionError for anything else or a day that does not exist.
QDate parse(const QString& text);

} // namespace DateEntry
