#pragma once
// Helpers of the engine tests: the program's two table layouts, a data folder in a
// temporary directory, and a check that an expression raises a given error.

#include "core/Error.h"
#include "store/engine/Connection.h"
#include "store/engine/Dataset.h"
#include "support/Records.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

namespace enginetest {

inline engine::FieldDef field(const char* name, engine::FieldType type, int size = 0)
{
    return engine::FieldDef{QString::fromUtf8(name), type, size, type == engine::FieldType::AutoInc};
}

inline engine::FieldDefs reminderFields()
{
    using engine::FieldType;
    return {field("ID", FieldType::AutoInc),        field("Fecha", FieldType::Text, 10),
            field("Hora", FieldType::Text, 8),      field("Recordatorio", FieldType::Text, 255),
            field("Playsound", FieldType::Logical), field("Leido", FieldType::Logical),
            field("RepetirN", FieldType::Text, 2),  field("RepetirS", FieldType::Text, 6)};
}

// A shorter address card: one field of each kind.
inline engine::FieldDefs cardFields()
{
    using engine::FieldType;
    return {field("ID", FieldType::AutoInc),      field("Nombre", FieldType::Text, 40),
            field("Email", FieldType::Text, 50),  field("Emails", FieldType::Memo),
            field("Ciudad", FieldType::Text, 30), field("Cumpleanos", FieldType::Date)};
}

// A data folder with its connection.
struct Folder
{
    QTemporaryDir dir;
    engine::Connection connection;

    Folder()
    {
        connection.setPath(dir.path());
        connection.connect();
    }
    QString path(const QString& file) const { return connection.filePath(file); }
    void createReminders() { connection.createTable("Reminder.DB", reminderFields(), "ID;Fecha;Hora"); }
    void createCards() { connection.createTable("Direcciones.DB", cardFields(), "ID;Nombre"); }
};

using testsupport::add;
using testsupport::addReminder;

// The IDs of a dataset's rows in its order (moves it).
inline QList<qint64> ids(engine::Dataset& dataset)
{
    QList<qint64> result;
    for (dataset.first(); !dataset.eof(); dataset.next())
        result.append(dataset.asInteger("ID"));
    return result;
}

inline QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no se puede leer>");
}

} // namespace enginetest

// Checks that `expr` raises `Type` whose message contains `part`.
#define EXPECT_ERROR(Type, expr, part)                                                                                 \
    do {                                                                                                               \
        bool raised_ = false;                                                                                          \
        try {                                                                                                          \
            expr;                                                                                                      \
        } catch (const Type& e_) {                                                                                     \
            raised_ = true;                                                                                            \
            QVERIFY2(e_.message().contains(part),                                                                      \
                     qPrintable(QStringLiteral("«%1» no contiene «%2»").arg(e_.message(), QString(part))));            \
        }                                                                                                              \
        QVERIFY2(raised_, #expr " no ha lanzado " #Type);                                                              \
    } while (false)
