#pragma once
// The fixed text forms of dates and hours (stored "Fecha" dd/mm/yyyy, "Hora" hh:mm:ss),
// the Spanish long forms, and the system's short date form. Parsers raise ConversionError.

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

namespace DateText {

// Weekday names, index 1 = Sunday to 7 = Saturday; month names, index 1 to 12 (UTF-8).
inline constexpr const char* NombreDia[8] = {"",          "Domingo", "Lunes",   "Martes",
                                             "Miércoles", "Jueves",  "Viernes", "Sábado"};
inline constexpr const char* NombreMes[13] = {"",        "enero",     "febrero",  "marzo",  "abril",
                                              "mayo",    "junio",     "julio",    "agosto", "septiembre",
                                              "octubre", "noviembre", "diciembre"};

// "05/03/2027", the year always in four digits ("31/03/0027"). Raises ConversionError for
// an invalid date or a year outside 1 to 9999.
QString fecha(const QDate& date);
// How the year of a day/month/year text may be written.
enum class Year {
    Short, // one to four digits; one or two are taken within 50 years before today (27 -> 2027)
    Full,  // exactly four digits, as a stored date has it
};
// Day/month/year, leading zeros of day and month optional ("5/3/2027"), blanks around the
// parts; nothing when the text is no valid date of that form.
std::optional<QDate> tryParseFecha(const QString& text, Year year = Year::Short);
// The same with a short year allowed; raises ConversionError.
QDate parseFecha(const QString& text);

// "08:05:00". Raises ConversionError for an invalid time.
QString hora(const QTime& time);
// An hour, optional ":minutes" and ":seconds", an optional fraction after the seconds, an
// optional AM/PM marker (also "a. m."/"p. m.") before or after; blanks around the parts.
std::optional<QTime> tryParseHora(const QString& text);
QTime parseHora(const QString& text);

// Spanish long time "H:mm:ss" ("0:15:00").
QString longTime(const QTime& time);
// "Domingo, 3 de enero de 2027".
QString longDate(const QDate& date);

// The system locale's short date form, and its reading (day/month/year is read too).
QString shortDate(const QDate& date);
QDate parseShortDate(const QString& text);

} // namespace DateText
