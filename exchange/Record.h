#pragma once
// One record of a table as the exchange code handles it: field name -> value, with a
// missing or null value for an empty field (as the engine stores it).

#include "store/engine/FieldDef.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace exchange {

using Record = QHash<QString, QVariant>;

// What converting one record or component gave besides the record itself.
struct ImportNotes
{
    QString skipReason;            // non-empty: the record is not imported, and why
    QStringList cutFields;         // fields whose value was longer than the field and was cut
    QStringList droppedProperties; // properties with no field, dropped
    QString unsupportedRule;       // a repeat rule replaced by its next occurrence
    QString costlyRule;            // a repeat rule too costly to walk: its first date is kept
    QStringList notes;             // anything else worth counting ("zona horaria desconocida")
};

// Sets a text field as the record editor would: an empty text is null, a longer one is
// cut at the field's size and noted.
void setText(Record& record, const engine::FieldDef& field, const QString& text, ImportNotes& notes);

// The text of a field ("" for null).
inline QString textOf(const Record& record, const QString& field)
{
    return record.value(field).toString();
}

} // namespace exchange
