#pragma once
// Adding records to a table in tests.

#include "store/engine/Dataset.h"

#include <QString>
#include <QVariantMap>

namespace testsupport {

// Inserts and posts one record with the given field values; returns its ID.
inline qint64 add(engine::Dataset& dataset, const QVariantMap& values)
{
    dataset.insert();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        dataset.setValue(it.key(), it.value());
    dataset.post();
    return dataset.asInteger("ID");
}

// Inserts and posts one unread reminder; `more` sets further fields or replaces these.
// Returns its ID.
inline qint64 addReminder(engine::Dataset& table, const QString& fecha, const QString& hora,
                          const QString& text = QString(), const QVariantMap& more = {})
{
    QVariantMap values{{"Fecha", fecha}, {"Hora", hora}, {"Recordatorio", text}, {"Leido", false}};
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        values.insert(it.key(), it.value());
    return add(table, values);
}

} // namespace testsupport
