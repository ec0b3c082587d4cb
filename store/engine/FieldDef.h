#pragma once
// Field definitions of a table: name, kind and size, as the program declares its tables.

#include <QString>
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

} // namespace engine
