#include "exchange/Jobs.h"

#include "core/ErrorTexts.h"
#include "exchange/Calendar.h"
#include "exchange/CardMapping.h"
#include "exchange/VCard.h"
#include "platform/ProgramFolder.h"
#include "store/engine/Connection.h"
#include "store/engine/Sqlite.h"
#include "store/engine/Tables.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThread>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <type_traits>

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

std::function<void()>& importBuiltHook()
{
    static std::function<void()> hook;
    return hook;
}

// One import at a time per table: an flock on a file beside the table, which the kernel
// lets go when the process ends, however it ends.
class ImportLock
{
public:
    explicit ImportLock(const QString& tablePath)
    {
        const QString path =
            QFileInfo(tablePath).dir().filePath(QStringLiteral(".%1.importacion").arg(QFileInfo(tablePath).fileName()));
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
            throw ExchangeError(QStringLiteral("No se puede crear el archivo «%1»: %2")
                                    .arg(shown(path), ErrorTexts::systemError(errno)));
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            throw ExchangeError(QStringLiteral("Otra importación en la tabla «%1» está en curso; vuelva a probar "
                                               "cuando termine.")
                                    .arg(shown(tablePath)));
        }
    }
    ~ImportLock() { ::close(m_fd); }
    ImportLock(const ImportLock&) = delete;
    ImportLock& operator=(const ImportLock&) = delete;

private:
    int m_fd = -1;
};

// Imports records into a table file without shutting out the running program, and so that
// a failed or killed import leaves the table as it was:
//  1. the records go into a staging table in the same file, in batches of short
//     transactions (the table itself is not touched);
//  2. a new table is built beside the table in short transactions: a copy of its rows (with
//     their IDs) followed by the staged ones, with the same indexes under alternate names;
//  3. one short transaction checks that no other connection has written to the file since
//     step 2 began (PRAGMA data_version) and swaps the new table in (DROP, RENAME). When
//     something was written meanwhile (the running program posted an edit), step 2 runs
//     again; after a few such rounds the last one copies inside the swap transaction.
// A kill before the swap commits leaves only the two side tables, which the next import
// drops; the swap itself is one SQLite transaction.
class StagedImport
{
public:
    StagedImport(engine::Connection& connection, const QString& file, const engine::FieldDefs& fields)
        : m_fields(fields.mid(1)), // ID is assigned by the engine
          m_lock(connection.filePath(file)),
          m_what(QStringLiteral("No se puede escribir en la tabla «%1»").arg(shown(connection.filePath(file))))
    {
        if (!QFileInfo::exists(connection.filePath(file)))
            connection.createTable(file, fields,
                                   file == engine::tables::reminderFile() ? engine::tables::reminderIndex()
                                                                          : engine::tables::direccionesIndex());
        checkFields(connection, file, fields);
        m_db = connection.handle(file);
        m_table = engine::Connection::sqlTableName(file);
        m_staging = m_table + QStringLiteral("_importacion");
        m_fresh = m_table + QStringLiteral("_nueva");
        m_old = m_table + QStringLiteral("_anterior");
        for (const engine::FieldDef& def : std::as_const(m_fields))
            m_columns += engine::sql::quoted(def.name);
        {
            engine::sql::WriteTransaction t(m_db, m_what);
            dropSideTables();
            run(QStringLiteral("CREATE TABLE %1 AS SELECT %2 FROM %3 WHERE 0")
                    .arg(q(m_staging), m_columns.join(QLatin1Char(',')), q(m_table)));
            t.commit();
        }
        QStringList marks;
        for (int i = 0; i < m_fields.size(); ++i)
            marks += QStringLiteral("?");
        m_insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(q(m_staging), m_columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    }

    ~StagedImport()
    {
        // A failed import: the staged records go; the table was never touched.
        if (m_published)
            return;
        try {
            engine::sql::WriteTransaction t(m_db, m_what);
            dropSideTables();
            t.commit();
        } catch (const std::exception&) {
            // Left for the next import to drop.
        }
    }
    StagedImport(const StagedImport&) = delete;
    StagedImport& operator=(const StagedImport&) = delete;

    // Records are gathered outside any transaction (reading the file is the slow part) and
    // written to the staging table in one short transaction per batch.
    void insert(const Record& record)
    {
        if (m_pending.isEmpty())
            m_batchTimer.start();
        m_pending += record;
        if (m_pending.size() >= kBatchRows || m_batchTimer.elapsed() >= kBatchMs)
            commitBatch();
    }

    // Puts the staged records into the table (see above).
    void publish()
    {
        commitBatch();
        for (int round = 0;; ++round) {
            const bool last = round >= kRounds;
            const qint64 before = dataVersion();
            if (!last)
                buildFresh(false);
            if (importBuiltHook())
                importBuiltHook()();
            engine::sql::WriteTransaction swap(m_db, m_what);
            if (!last && dataVersion() != before) {
                // Written meanwhile: the copy may miss it. Built again from the start.
                run(QStringLiteral("DROP TABLE %1").arg(q(m_fresh)));
                swap.commit();
                continue;
            }
            if (last)
                buildFresh(true);
            // Renames only: dropping a large table takes as long as freeing its pages.
            run(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(q(m_table), q(m_old)));
            run(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(q(m_fresh), q(m_table)));
            swap.commit();
            m_published = true;
            emptyAndDrop(m_staging);
            emptyAndDrop(m_old);
            return;
        }
    }

private:
    static constexpr int kBatchRows = 5000;
    static constexpr qint64 kBatchMs = 200;
    static constexpr int kRounds = 3;
    static constexpr int kCopyRows = 2000;
    static constexpr unsigned long kPauseMs = 120;

    static QString q(const QString& name) { return engine::sql::quoted(name); }

    void run(const QString& sql) { engine::sql::exec(m_db, sql.toUtf8().constData(), m_what); }

    qint64 scalar(const QString& sql, qint64 none = 0)
    {
        engine::sql::Statement st;
        st.prepare(m_db, sql, m_what);
        engine::sql::Statement::Use use(st);
        return st.step() && !st.isNull(0) ? st.int64(0) : none;
    }

    qint64 dataVersion()
    {
        // Read inside a transaction too: the pragma looks at the file as the read sees it.
        scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        return scalar(QStringLiteral("PRAGMA data_version"));
    }

    void commitBatch()
    {
        if (m_pending.isEmpty())
            return;
        engine::sql::WriteTransaction t(m_db, m_what);
        engine::sql::Statement insert;
        insert.prepare(m_db, m_insertSql, m_what);
        for (const Record& record : std::as_const(m_pending)) {
            engine::sql::Statement::Use use(insert);
            for (int i = 0; i < m_fields.size(); ++i)
                insert.bind(i + 1, record.value(m_fields.at(i).name));
            insert.step();
        }
        insert.finalize();
        t.commit();
        m_pending.clear();
    }

    // Drops a side table after emptying it in short transactions.
    void emptyAndDrop(const QString& table)
    {
        try {
            for (;;) {
                engine::sql::WriteTransaction t(m_db, m_what);
                run(QStringLiteral("DELETE FROM %1 WHERE rowid IN (SELECT rowid FROM %1 LIMIT %2)")
                        .arg(q(table))
                        .arg(kCopyRows));
                const bool empty = sqlite3_changes(m_db) == 0;
                if (empty)
                    run(QStringLiteral("DROP TABLE %1").arg(q(table)));
                t.commit();
                if (empty)
                    return;
                QThread::msleep(kPauseMs);
            }
        } catch (const std::exception&) {
            // The import is in; the next one drops what is left.
        }
    }

    void dropSideTables()
    {
        run(QStringLiteral("DROP TABLE IF EXISTS %1").arg(q(m_old)));
        run(QStringLiteral("DROP TABLE IF EXISTS %1").arg(q(m_staging)));
        run(QStringLiteral("DROP TABLE IF EXISTS %1").arg(q(m_fresh)));
    }

    // The CREATE statements of the table and its indexes for the new table: the indexes
    // alternate between their names and the names with "_b", since both exist at once.
    QStringList freshSchema()
    {
        QStringList statements;
        engine::sql::Statement st;
        st.prepare(m_db,
                   QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE tbl_name = ? AND sql IS NOT NULL "
                                  "ORDER BY type = 'index'"),
                   m_what);
        engine::sql::Statement::Use use(st);
        st.bind(1, m_table);
        static const QRegularExpression table(QStringLiteral(R"(^\s*CREATE\s+TABLE\s+("[^"]*"|\S+))"),
                                              QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression index(
            QStringLiteral(R"(^\s*CREATE\s+(UNIQUE\s+)?INDEX\s+("[^"]*"|\S+)\s+ON\s+("[^"]*"|\S+))"),
            QRegularExpression::CaseInsensitiveOption);
        while (st.step()) {
            const QString type = st.text(0);
            const QString name = st.text(1);
            QString sql = st.text(2);
            if (type == QLatin1String("table")) {
                const QRegularExpressionMatch m = table.match(sql);
                if (!m.hasMatch())
                    throw ExchangeError(QStringLiteral("%1: no se reconoce su definición").arg(m_what));
                sql.replace(m.capturedStart(1), m.capturedLength(1), q(m_fresh));
            } else if (type == QLatin1String("index")) {
                const QRegularExpressionMatch m = index.match(sql);
                if (!m.hasMatch())
                    continue;
                const QString other =
                    name.endsWith(QLatin1String("_b")) ? name.left(name.size() - 2) : name + QStringLiteral("_b");
                sql.replace(m.capturedStart(3), m.capturedLength(3), q(m_fresh));
                sql.replace(m.capturedStart(2), m.capturedLength(2), q(other));
            } else {
                continue;
            }
            statements += sql;
        }
        return statements;
    }

    // The new table: the table's rows with their IDs, then the staged ones after them. In
    // batches of short transactions, or all inside the caller's transaction (`inOne`).
    void buildFresh(bool inOne)
    {
        auto step = [&](const std::function<void()>& work) {
            if (inOne) {
                work();
                return;
            }
            engine::sql::WriteTransaction t(m_db, m_what);
            work();
            t.commit();
            // A pause as long as SQLite's longest wait between two tries at a busy lock, so
            // a writer that waits gets in before the next batch.
            QThread::msleep(kPauseMs);
        };
        step([&] {
            run(QStringLiteral("DROP TABLE IF EXISTS %1").arg(q(m_fresh)));
            for (const QString& sql : freshSchema())
                run(sql);
            // IDs are never given twice: the new table counts on from the table's sequence.
            run(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT %1, seq FROM sqlite_sequence "
                               "WHERE name = %2")
                    .arg(sqlText(m_fresh), sqlText(m_table)));
        });
        const QString id = q(QStringLiteral("ID"));
        qint64 lastId = -1;
        for (;;) {
            qint64 copied = 0;
            step([&] {
                run(QStringLiteral("INSERT INTO %1 SELECT * FROM %2 WHERE %3 > %4 ORDER BY %3 LIMIT %5")
                        .arg(q(m_fresh), q(m_table), id)
                        .arg(lastId)
                        .arg(kCopyRows));
                copied = sqlite3_changes(m_db);
            });
            if (copied == 0)
                break;
            lastId = scalar(QStringLiteral("SELECT max(%1) FROM %2").arg(id, q(m_fresh)), lastId);
        }
        // Staged rows are numbered 1, 2, 3... in the order read.
        const qint64 staged = scalar(QStringLiteral("SELECT max(rowid) FROM %1").arg(q(m_staging)));
        for (qint64 from = 0; from < staged; from += kCopyRows) {
            step([&] {
                run(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3 WHERE rowid > %4 AND rowid <= %5 "
                                   "ORDER BY rowid")
                        .arg(q(m_fresh), m_columns.join(QLatin1Char(',')), q(m_staging))
                        .arg(from)
                        .arg(from + kCopyRows));
            });
        }
    }

    static QString sqlText(const QString& text)
    {
        return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    }

    engine::FieldDefs m_fields;
    ImportLock m_lock;
    QString m_what;
    sqlite3* m_db = nullptr;
    QString m_table, m_staging, m_fresh, m_old;
    QStringList m_columns;
    QString m_insertSql;
    QVector<Record> m_pending;
    QElapsedTimer m_batchTimer;
    bool m_published = false;
};

// What a path that is not a regular file is, for the reason an export or import gives.
QString specialKind(const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("es una carpeta");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("es una tubería con nombre (FIFO)");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("es un dispositivo");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("es un socket");
    return QStringLiteral("no es un archivo normal");
}

// Opens the file to read, or raises a Spanish error naming it and why.
void openForReading(QFile& file)
{
    const QByteArray name = QFile::encodeName(file.fileName());
    struct stat st;
    QString why;
    if (::stat(name.constData(), &st) != 0)
        why = ErrorTexts::systemError(errno);
    else if (S_ISDIR(st.st_mode))
        why = specialKind(st);
    else if (!file.open(QIODevice::ReadOnly))
        why = ErrorTexts::systemError(::access(name.constData(), R_OK) != 0 ? errno : EIO);
    if (!why.isEmpty())
        throw ExchangeError(QStringLiteral("No se puede leer el archivo «%1»: %2").arg(shown(file.fileName()), why));
}

// Checks that an export may go to `path`: a regular file (replaced whole) or a new name in a
// folder we may write. A FIFO, device, socket or folder is refused: replacing it would put a
// plain file in its place.
void checkExportTarget(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);
    auto refuse = [&](const QString& why) {
        throw ExchangeError(QStringLiteral("No se puede crear el archivo «%1»: %2").arg(shown(path), why));
    };
    struct stat st;
    const bool exists = ::stat(name.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        refuse(QStringLiteral("«%1» %2; solo se escribe en un archivo normal o con un nombre nuevo")
                   .arg(QFileInfo(path).fileName(), specialKind(st)));
    struct stat dir;
    if (::stat(folderName.constData(), &dir) != 0)
        refuse(QStringLiteral("la carpeta «%1»: %2").arg(shown(folder), ErrorTexts::systemError(errno)));
    if (!S_ISDIR(dir.st_mode))
        refuse(QStringLiteral("«%1» no es una carpeta").arg(shown(folder)));
    if (exists && ::access(name.constData(), W_OK) != 0)
        refuse(QStringLiteral("el archivo es de solo lectura (%1)").arg(ErrorTexts::systemError(errno)));
    if (::access(folderName.constData(), W_OK | X_OK) != 0)
        refuse(QStringLiteral("no se puede escribir en la carpeta «%1» (%2)")
                   .arg(shown(folder), ErrorTexts::systemError(errno)));
    // In a folder with the sticky bit (/tmp) only the owner of a file may replace it.
    const uid_t me = ::geteuid();
    if (exists && (dir.st_mode & S_ISVTX) && me != 0 && st.st_uid != me && dir.st_uid != me)
        refuse(QStringLiteral("la carpeta «%1» solo deja reemplazar un archivo a su dueño, y es de otro usuario")
                   .arg(shown(folder)));
}

void openForWriting(QSaveFile& file)
{
    checkExportTarget(file.fileName());
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throw ExchangeError(QStringLiteral("No se puede crear el archivo «%1»: %2")
                                .arg(shown(file.fileName()), ErrorTexts::systemError(errno)));
}

void write(QSaveFile& file, const QByteArray& bytes)
{
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const QString why = ErrorTexts::systemError(errno);
        file.cancelWriting();
        throw ExchangeError(QStringLiteral("No se puede escribir el archivo «%1» (¿disco lleno?): %2")
                                .arg(shown(file.fileName()), why));
    }
}

void commit(QSaveFile& file)
{
    errno = 0;
    if (file.commit())
        return;
    const QString why = ErrorTexts::systemError(errno);
    if (file.error() == QFileDevice::RenameError)
        throw ExchangeError(QStringLiteral("No se puede poner la copia nueva en el lugar de «%1»: %2")
                                .arg(shown(file.fileName()), why));
    throw ExchangeError(
        QStringLiteral("No se puede escribir el archivo «%1» (¿disco lleno?): %2").arg(shown(file.fileName()), why));
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
                   QSaveFile& out, Summary& summary, bool onlyBareCr, ToBytes toBytes)
{
    forEachRecord(connection, table, fields, [&](const Record& record) {
        ++summary.read;
        // A text the format cannot carry back unchanged is skipped and counted rather than
        // written changed.
        for (auto it = record.cbegin(); it != record.cend(); ++it) {
            if (it.value().typeId() == QMetaType::QString &&
                firstUncarriedCharacter(it.value().toString(), onlyBareCr) >= 0) {
                summary.skipped[QStringLiteral("texto con caracteres de control")] += 1;
                return;
            }
        }
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

// What a reader does before it gives its first item.
void prepare(VCardReader&) {}

void prepare(CalendarReader& reader)
{
    reader.readZones();
}

// What a reader counted besides the items it gave.
void addReaderNotes(const VCardReader&, Summary&) {}

void addReaderNotes(const CalendarReader& reader, Summary& summary)
{
    for (const QString& zone : reader.costlyZones())
        summary.notes[QStringLiteral("zona horaria «%1» con reglas demasiado costosas, tomada con su primer cambio")
                          .arg(zone.left(60))] += 1;
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
        StagedImport inserter(connection, table, fields);
        // A calendar is read twice (its zones first), so one from a pipe is kept in memory.
        QBuffer buffer;
        QIODevice* device = &in;
        if (std::is_same_v<Reader, CalendarReader> && in.isSequential()) {
            buffer.setData(in.readAll());
            buffer.open(QIODevice::ReadOnly);
            device = &buffer;
        }
        Reader reader(device);
        prepare(reader);
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
        inserter.publish();
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
    if (!n.costlyRule.isEmpty())
        costly[n.costlyRule] += 1;
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
    if (!costly.isEmpty())
        line += QStringLiteral("; %1 repeticiones demasiado costosas de calcular, importada su primera fecha (%2)")
                    .arg(total(costly))
                    .arg(counted(costly));
    if (!notes.isEmpty())
        line += QStringLiteral("; %1").arg(counted(notes));
    return line + QLatin1Char('.');
}

void setImportBuiltHook(std::function<void()> hook)
{
    importBuiltHook() = std::move(hook);
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
                  true, [](const Record& card, QString& why) {
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
    exportRecords(connection, engine::tables::reminderFile(), engine::tables::reminderFields(), out, summary, false,
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
