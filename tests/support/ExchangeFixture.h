#pragma once
// Helpers of the import and export tests: a program folder of its own (PENNARO_HOME in a
// temporary directory) with its connection, the records of a table file, the fixture files,
// and a fixed local time zone.

#include "exchange/Jobs.h"
#include "exchange/Record.h"
#include "store/engine/Connection.h"
#include "store/engine/Sqlite.h"
#include "store/engine/Tables.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace exchangetest {

// Local time for every test: Madrid (CET/CEST), so conversions have known results.
inline void useMadridTime()
{
    qputenv("TZ", "Europe/Madrid");
    tzset();
}

inline QString fixture(const char* name)
{
    return qEnvironmentVariable("PENNARO_SOURCE_DIR") + QStringLiteral("/tests/exchange/fixtures/") +
           QLatin1String(name);
}

using testsupport::writeFile;

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A program folder of its own, with the data folder's connection open.
struct Home
{
    QTemporaryDir dir;
    engine::Connection connection;
    QByteArray previousHome = qgetenv("PENNARO_HOME");

    Home()
    {
        qputenv("PENNARO_HOME", (dir.path() + QStringLiteral("/")).toUtf8());
        exchange::openDataFolder(connection);
    }
    ~Home()
    {
        connection.disconnect();
        qputenv("PENNARO_HOME", previousHome);
    }
    QString file(const char* name) const { return dir.filePath(QLatin1String(name)); }

    // Every record of a table file in key order, without its ID.
    QList<exchange::Record> records(const QString& tableFile, const engine::FieldDefs& fields)
    {
        QList<exchange::Record> result;
        if (!QFileInfo::exists(connection.filePath(tableFile)))
            return result;
        engine::sql::Statement select;
        select.prepare(connection.handle(tableFile),
                       QStringLiteral("SELECT * FROM %1 ORDER BY ID")
                           .arg(engine::sql::quoted(engine::Connection::sqlTableName(tableFile))),
                       tableFile);
        engine::sql::Statement::Use use(select);
        while (select.step()) {
            exchange::Record record;
            for (int i = 1; i < fields.size(); ++i) {
                const QVariant value = select.value(i, fields.at(i).type);
                if (!value.isNull())
                    record.insert(fields.at(i).name, value);
            }
            result += record;
        }
        return result;
    }
    QList<exchange::Record> cards()
    {
        return records(engine::tables::direccionesFile(), engine::tables::direccionesFields());
    }
    QList<exchange::Record> reminders()
    {
        return records(engine::tables::reminderFile(), engine::tables::reminderFields());
    }
};

} // namespace exchangetest
