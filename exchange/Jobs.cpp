#include "exchange/Jobs.h"

#include "exchange/Calendar.h"
#include "exchange/CardMapping.h"
#include "exchange/VCard.h"
#include "platform/ProgramFolder.h"
#include "store/engine/Connection.h"
#include "store/engine/Sqlite.h"
#include "store/engine/Tables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sqlite3.h>

namespace exchange {

namespace {

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Field names of the table file must all be there, else the file is not one of ours.
void checkFields(engine::Connection& connection, const QString& file, const engine::FieldDefs& expected)
{
    const engine::FieldDefs present = connection.fieldsOf(file);
    for (const engine::FieldDef& def : expected) {
        bool found = false;
        for (const engine::FieldDef& p : present)
            found = found || p.name.compare(def.name, Qt::CaseInsensitive) == 0;
        if (!found)
            throw ExchangeError(QStringLiteral("El archivo «%1» no es una tabla de Pennaro válida: falta el campo «%2»")
                                    .arg(shown(connection.filePath(file)), def.name));
    }
}

// Every record of a table file, in key order, handed to `each` one at a time.
template <typename Each>
void forEachRecord(engine::Connection& connection, const QString& file, const engine::FieldDefs& fields, Each each)
{
    if (!QFileInfo::exists(connection.filePath(file)))
        return; // no table yet: nothing to export
    checkFields(connection, file, fields);
    QStringList columns;
    for (const engine::FieldDef& def : fields)
        columns += engine::sql::quoted(def.name);
    const QString what = QStringLiteral("No se puede leer la tabla «%1»").arg(shown(connection.filePath(file)));
    engine::sql::Statement select;
    select.prepare(connection.handle(file),
                   QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                       .arg(columns.join(QLatin1Char(',')), engine::sql::quoted(engine::Connection::sqlTableName(file)),
                            engine::sql::quoted(fields.first().name)),
                   what);
    engine::sql::Statement::Use use(select);
    Record record;
    while (select.step()) {
        record.clear();
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant value = select.value(i, fields.at(i).type);
            if (!value.isNull())
                record.insert(fields.at(i).name, value);
        }
        each(record);
    }
}

// Inserts records into a table file inside one transaction that commit() ends.
class Inserter
{
public:
    Inserter(engine::Connection& connection, const QString& file, const engine::FieldDefs& fields)
        : m_fields(fields.mid(1)) // ID is assigned by the engine
    {
        if (!QFileInfo::exists(connection.filePath(file)))
            connection.createTable(file, fields,
                                   file == engine::tables::reminderFile() ? engine::tables::reminderIndex()
                                                                          : engine::tables::direccionesIndex());
        checkFields(connection, file, fields);
        const QString what =
            QStringLiteral("No se puede escribir en la tabla «%1»").arg(shown(connection.filePath(file)));
        sqlite3* db = connection.handle(file);
        QStringList columns, marks;
        for (const engine::FieldDef& def : std::as_const(m_fields)) {
            columns += engine::sql::quoted(def.name);
            marks += QStringLiteral("?");
        }
        m_transaction = std::make_unique<engine::sql::WriteTransaction>(db, what);
        m_insert.prepare(db,
                         QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(engine::sql::quoted(engine::Connection::sqlTableName(file)),
                                  columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                         what);
    }

    void insert(const Record& record)
    {
        engine::sql::Statement::Use use(m_insert);
        for (int i = 0; i < m_fields.size(); ++i)
            m_insert.bind(i + 1, record.value(m_fields.at(i).name));
        m_insert.step();
    }

    void commit()
    {
        m_insert.finalize();
        m_transaction->commit();
    }

private:
    engine::FieldDefs m_fields;
    engine::sql::Statement m_insert;
    std::unique_ptr<engine::sql::WriteTransaction> m_transaction;
};

// Opens the file to read, or raises a Spanish error naming it.
void openForReading(QFile& file)
{
    if (QFileInfo(file.fileName()).isDir() || !file.open(QIODevice::ReadOnly))
        throw ExchangeError(QStringLiteral("No se puede leer el archivo «%1»").arg(shown(file.fileName())));
}

void openForWriting(QSaveFile& file)
{
    if (!file.open(QIODevice::WriteOnly))
        throw ExchangeError(
            QStringLiteral("No se puede crear el archivo «%1»: la carpeta no existe o no se puede escribir en ella")
                .arg(shown(file.fileName())));
}

void write(QSaveFile& file, const QByteArray& bytes)
{
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw ExchangeError(
            QStringLiteral("No se puede escribir el archivo «%1» (¿disco lleno?)").arg(shown(file.fileName())));
    }
}

void commit(QSaveFile& file)
{
    if (!file.commit())
        throw ExchangeError(
            QStringLiteral("No se puede escribir el archivo «%1» (¿disco lleno?)").arg(shown(file.fileName())));
}

// Runs a reading job, putting the file's name in front of a line's error.
template <typename Job> void naming(const QString& path, Job job)
{
    try {
        job();
    } catch (const LineError& e) {
        throw ExchangeError(
            QStringLiteral("«%1», línea %2: %3").arg(QFileInfo(path).fileName()).arg(e.lineNo()).arg(e.detail()));
    }
}

// Writes every record of a table to `out` as `toBytes(record, why)` gives it, counting each;
// a record it gives nothing for is skipped for the reason it sets.
template <typename ToBytes>
void exportRecords(engine::Connection& connection, const QString& table, const engine::FieldDefs& fields,
                   QSaveFile& out, Summary& summary, ToBytes toBytes)
{
    forEachRecord(connection, table, fields, [&](const Record& record) {
        ++summary.read;
        QString why;
        const QByteArray bytes = toBytes(record, why);
        if (bytes.isEmpty()) {
            summary.skipped[why] += 1;
            return;
        }
        write(out, bytes);
        ++summary.written;
    });
}

// What a reader counted besides the items it gave.
void addReaderNotes(const VCardReader&, Summary&) {}

void addReaderNotes(const CalendarReader& reader, Summary& summary)
{
    if (reader.otherComponents() > 0)
        summary.notes[QStringLiteral("componentes que no son eventos ni tareas, pasados por alto")] +=
            reader.otherComponents();
}

// Imports the file at `path` into a table in one transaction: every item the reader gives is
// counted, made a record by `toRecord(reader, item, notes)`, and inserted unless skipped.
template <typename Reader, typename Item, typename ToRecord>
Summary importFile(engine::Connection& connection, const QString& path, const QString& table,
                   const engine::FieldDefs& fields, ToRecord toRecord)
{
    Summary summary;
    QFile in(path);
    openForReading(in);
    naming(path, [&] {
        Inserter inserter(connection, table, fields);
        Reader reader(&in);
        Item item;
        while (reader.next(item)) {
            ++summary.read;
            ImportNotes notes;
            const Record record = toRecord(std::as_const(reader), std::as_const(item), notes);
            summary.add(notes);
            if (!notes.skipReason.isEmpty())
                continue;
            inserter.insert(record);
            ++summary.written;
        }
        addReaderNotes(reader, summary);
        inserter.commit();
    });
    return summary;
}

QString counted(const QMap<QString, int>& map)
{
    QStringList parts;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        parts += QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
    return parts.join(QStringLiteral(", "));
}

int total(const QMap<QString, int>& map)
{
    int n = 0;
    for (int v : map)
        n += v;
    return n;
}

} // namespace

int Summary::skippedCount() const
{
    return total(skipped);
}

void Summary::add(const ImportNotes& n)
{
    if (!n.skipReason.isEmpty())
        skipped[n.skipReason] += 1;
    for (const QString& f : n.cutFields)
        cut[f] += 1;
    for (const QString& p : n.droppedProperties)
        dropped[p] += 1;
    if (!n.unsupportedRule.isEmpty())
        rules[n.unsupportedRule] += 1;
    for (const QString& note : n.notes)
        notes[note] += 1;
}

QString Summary::text(const QString& job, const QString& fileName) const
{
    QString line = QStringLiteral("%1 «%2»: %3 leídos, %4 escritos, %5 omitidos")
                       .arg(job, fileName)
                       .arg(read)
                       .arg(written)
                       .arg(skippedCount());
    if (!skipped.isEmpty())
        line += QStringLiteral(" (%1)").arg(counted(skipped));
    if (!cut.isEmpty())
        line += QStringLiteral("; %1 valores recortados al tamaño del campo (%2)").arg(total(cut)).arg(counted(cut));
    if (!dropped.isEmpty())
        line += QStringLiteral("; %1 propiedades sin campo descartadas (%2)").arg(total(dropped)).arg(counted(dropped));
    if (!rules.isEmpty())
        line += QStringLiteral("; %1 repeticiones que Pennaro no admite, importada su próxima fecha (%2)")
                    .arg(total(rules))
                    .arg(counted(rules));
    if (!notes.isEmpty())
        line += QStringLiteral("; %1").arg(counted(notes));
    return line + QLatin1Char('.');
}

void openDataFolder(engine::Connection& connection)
{
    const QString folder = ProgramFolder::path() + ProgramFolder::userName() + QStringLiteral("/Pennaro");
    if (!QDir().mkpath(folder))
        throw ExchangeError(QStringLiteral("No se puede crear la carpeta de datos «%1»").arg(shown(folder)));
    connection.setPath(folder);
    connection.connect();
}

Summary exportVCard(engine::Connection& connection, const QString& path)
{
    Summary summary;
    QSaveFile out(path);
    openForWriting(out);
    exportRecords(connection, engine::tables::direccionesFile(), engine::tables::direccionesFields(), out, summary,
                  [](const Record& card, QString& why) {
                      why = QStringLiteral("sin nombre");
                      return cardToVCard(card);
                  });
    commit(out);
    return summary;
}

Summary importVCard(engine::Connection& connection, const QString& path)
{
    return importFile<VCardReader, VCard>(
        connection, path, engine::tables::direccionesFile(), engine::tables::direccionesFields(),
        [](const VCardReader&, const VCard& vcard, ImportNotes& notes) { return cardFromVCard(vcard, notes); });
}

Summary exportICalendar(engine::Connection& connection, const QString& path, const QDateTime& now)
{
    Summary summary;
    QSaveFile out(path);
    openForWriting(out);
    write(out, calendarBegin());
    const QDateTime stamp = now.toUTC();
    exportRecords(connection, engine::tables::reminderFile(), engine::tables::reminderFields(), out, summary,
                  [&stamp](const Record& reminder, QString& why) { return reminderToEvent(reminder, stamp, why); });
    write(out, calendarEnd());
    commit(out);
    return summary;
}

Summary importICalendar(engine::Connection& connection, const QString& path, const QDateTime& now)
{
    return importFile<CalendarReader, CalendarItem>(
        connection, path, engine::tables::reminderFile(), engine::tables::reminderFields(),
        [&now](const CalendarReader& reader, const CalendarItem& item, ImportNotes& notes) {
            return reminderFromItem(item, reader, now, notes);
        });
}

} // namespace exchange
