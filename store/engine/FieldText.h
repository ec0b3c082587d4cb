#pragma once
// Field values as text and texts as field values, the same for records, queries and grids:
// dates as dd/mm/yyyy, logicals in Spanish words.

#include "store/engine/FieldDef.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <optional>

namespace engine {

// A logical value written as a word, in any case and with blanks around: "true", "t",
// "verdadero", "v", "sí", "si", "s", "yes", "y", "1" are true; "false", "f", "falso", "no",
// "n", "0" are false. Nothing for any other text.
std::optional<bool> parseLogical(const QString& text);

// "Verdadero" or "Falso".
QString logicalText(bool value);

// A date as a stored date text (dd/mm/yyyy); "" for no date. Raises ConversionError for a
// year that has no four-digit form.
QString dateText(const QDate& date);

// A day/month/year text with the year in full ("05/03/2027", also "5/3/2027"); an invalid
// date when the text is none.
QDate parseDateText(const QString& text);

// The text of a field's value: dates as dd/mm/yyyy, logicals in words, the rest as it is;
// "" for null.
QString valueText(FieldType type, const QVariant& value);

} // namespace engine
