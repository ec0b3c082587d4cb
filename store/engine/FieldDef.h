#pragma once
// Field and index definitions of a table, as the program declares its tables.

#include <QString>
#include <QStringList>
#include <QVector>

namespace engine {

enum class FieldType {
    AutoInc, // 32-bit identity assigned by the engine (the key "ID")
    Text,    // text of at most `size` characters; longer values are cut at the size
    Logical, // true / false
    Memo,    // text without a size limit
    Date,    // calendar date
};

struct FieldDef
{
    QString name;
    FieldType type = FieldType::Text;
    int size = 0; // characters, for Text
    bool required = false;
};

using FieldDefs = QVector<FieldDef>;

// An index a table file has besides the one on its primary index's fields: its name and
// its keys, each an SQL expression over quoted column names.
struct IndexDef
{
    QString name;
    QStringList keys;
};

using IndexDefs = QVector<IndexDef>;

} // namespace engine
