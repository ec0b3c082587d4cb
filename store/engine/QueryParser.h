#pragma once
// Parser of the small query language the program writes:
//
//   SELECT *
//   FROM <table file>                       e.g. Reminder.DB
//   [WHERE <operand> (= | LIKE) "<text>"     operand: a field, or CAST(<field> AS CHAR(<n>))
//          [AND <operand> (= | LIKE) "<text>"] ...]
//   [ORDER BY <field> [ASC|DESC] [, <field> [ASC|DESC]] ...]
//
// Keywords are case-insensitive; text constants are in double quotes; in LIKE, "%"
// matches any run of characters and "_" one character; comparisons are case-sensitive.
// The result is compiled to SQLite with bound parameters: no text of the query ever
// becomes SQL itself. Anything else raises an EngineError with a Spanish message.

#include "store/engine/FieldDef.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace engine {

struct CompiledQuery
{
    QString tableFile;   // as written after FROM
    QString whereSql;    // "" or a condition over quoted column names with ? placeholders
    QVariantList params; // values bound to the placeholders, in order
    QString orderSql;    // "" or an ORDER BY list over quoted column names
};

// Parses `text` (the query's lines joined by newlines). `fieldsOf` gives the fields of a
// table file, so unknown fields are refused; it raises for an unknown table file.
CompiledQuery parseQuery(const QString& text, const std::function<FieldDefs(const QString&)>& fieldsOf);

} // namespace engine
