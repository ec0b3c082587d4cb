#include "store/engine/Connection.h"

#include "core/Error.h"
#include "store/engine/Sqlite.h"
#include "store/engine/Tables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace engine {

namespace {

constexpr int kBusyTimeoutMs = 5000;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

EngineError invalidTable(const QString& path)
{
    return EngineError(QStringLiteral("El archivo «%1» no es una tabla de Pennaro válida.").arg(shown(path)));
}

// A table file is a plain name inside the data folder, never a path.
void checkFileName(const QString& tableFile)
{
    if (tableFile.isEmpty() || tableFile.startsWith(QLatin1Char('.')) || tableFile.contains(QLatin1Char('/')) ||
        tableFile.contains(QLatin1Char('\\')) || tableFile.contains(QChar(0)))
        throw EngineError(QStringLiteral("Nombre de tabla no válido: «%1».").arg(tableFile));
}

// The first bytes of the file must be those of an SQLite file in rollback-journal mode.
// Checked before SQLite sees the file: SQLite would take an empty file for a new
// database, and a WAL-mode file would make it create side files.
bool hasTableHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EngineError(QStringLiteral("No se puede leer la tabla «%1»: permiso denegado.").arg(shown(path)));
    const QByteArray head = file.read(100);
    static const QByteArray magic("SQLite format 3\0", 16);
    return head.size() == 100 && head.startsWith(magic) && head.at(18) == 1 && head.at(19) == 1;
}

QString declaredType(const FieldDef& field)
{
    switch (field.type) {
    case FieldType::AutoInc:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case FieldType::Text:
        return QStringLiteral("VARCHAR(%1)").arg(field.size);
    case FieldType::Logical:
        return QStringLiteral("LOGICAL");
    case FieldType::Memo:
        // TEXT, not a name of our own: any other name would give the column numeric
        // affinity, and SQLite would turn a memo such as "1.50" into the number 1.5.
        return QStringLiteral("TEXT");
    case FieldType::Date:
        return QStringLiteral("DATE"); // ISO text, which numeric affinity leaves alone
    }
    return {};
}

// Reads a declared type back; false for anything this engine does not write.
bool parseDeclaredType(const QString& declared, bool primaryKey, FieldDef& field)
{
    static const QRegularExpression varchar(QStringLiteral("^VARCHAR\\((\\d{1,5})\\)$"));
    const QString type = declared.trimmed().toUpper();
    if (primaryKey) {
        field.type = FieldType::AutoInc;
        return type == QLatin1String("INTEGER");
    }
    if (const QRegularExpressionMatch m = varchar.match(type); m.hasMatch()) {
        field.type = FieldType::Text;
        field.size = m.captured(1).toInt();
        return field.size > 0;
    }
    if (type == QLatin1String("LOGICAL"))
        field.type = FieldType::Logical;
    else if (type == QLatin1String("TEXT"))
        field.type = FieldType::Memo;
    else if (type == QLatin1String("DATE"))
        field.type = FieldType::Date;
    else
        return false;
    return true;
}

bool isFormatError(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT || primary == SQLITE_FORMAT || primary == SQLITE_EMPTY;
}

// Reads the fields of the file's one table, raising "not a valid table" when the file
// is damaged, lacks the table or holds columns this engine does not write. Only reads.
FieldDefs readFields(sqlite3* db, const QString& table, const QString& path)
{
    const QString what = QStringLiteral("No se puede leer la tabla «%1»").arg(shown(path));
    auto check = [&](int rc) {
        if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
            return;
        if (isFormatError(rc))
            throw invalidTable(path);
        sql::fail(rc, what);
    };

    sqlite3_stmt* stmt = nullptr;
    auto finalize = [&] {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    };
    const QByteArray name = table.toUtf8();
    try {
        check(sqlite3_prepare_v2(db, "SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE", -1, &stmt,
                                 nullptr));
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        int rc = sqlite3_step(stmt);
        check(rc);
        if (rc != SQLITE_ROW || qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "table") != 0)
            throw invalidTable(path);
        finalize();

        check(sqlite3_prepare_v2(db, "SELECT name, type, \"notnull\", pk FROM pragma_table_info(?1)", -1, &stmt,
                                 nullptr));
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        FieldDefs fields;
        int keys = 0;
        bool otherKey = false;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            FieldDef field;
            field.name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
            const QString type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
            field.required = sqlite3_column_int(stmt, 2) != 0;
            const int pk = sqlite3_column_int(stmt, 3);
            otherKey = otherKey || pk > 1;
            if (!parseDeclaredType(type, pk == 1, field))
                throw invalidTable(path);
            if (field.type == FieldType::AutoInc) {
                field.required = true;
                ++keys;
            }
            fields.append(field);
        }
        check(rc);
        finalize();
        if (keys != 1 || otherKey)
            throw invalidTable(path);
        return fields;
    } catch (...) {
        finalize();
        throw;
    }
}

QString createIndexSql(const QString& table, const IndexDef& index)
{
    return QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
        .arg(sql::quoted(index.name), sql::quoted(table), index.keys.join(QStringLiteral(", ")));
}

// Makes the declared indexes an older table file lacks; one already there under its name
// (or under its name with "_b", which an import that rebuilt the table gives it) is left
// as it is. A file we may only read goes without them, more slowly.
void addMissingIndexes(sqlite3* db, const QString& table, const IndexDefs& declared)
{
    if (declared.isEmpty())
        return;
    try {
        sql::Statement indexes;
        indexes.prepare(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'"),
                        QStringLiteral("Error al leer los índices"));
        QSet<QString> names;
        {
            const sql::Statement::Use use(indexes);
            while (indexes.step())
                names.insert(indexes.value(0, FieldType::Text).toString().toLower());
        }
        QStringList statements;
        for (const IndexDef& index : declared)
            if (!names.contains(index.name.toLower()) && !names.contains(index.name.toLower() + QStringLiteral("_b")))
                statements.append(createIndexSql(table, index));
        if (statements.isEmpty())
            return;
        const QString what = QStringLiteral("Error al indexar la tabla");
        sql::WriteTransaction transaction(db, what);
        for (const QString& statement : std::as_const(statements))
            sql::exec(db, statement.toUtf8().constData(), what);
        transaction.commit();
    } catch (const std::exception&) {
    }
}

// Checks the definitions of a new table (unique names, exactly one identity field, the
// primary index on known fields and led by the identity field) and gives the index's
// field names as the definitions spell them.
QStringList checkedIndexFields(const QString& what, const FieldDefs& fields, const QString& indexFields)
{
    auto indexOf = [&](const QString& name) {
        for (int i = 0; i < fields.size(); ++i)
            if (fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    int keys = 0;
    QSet<QString> names;
    for (const FieldDef& field : fields) {
        const QString lower = field.name.toLower();
        if (field.name.trimmed().isEmpty() || names.contains(lower))
            throw EngineError(QStringLiteral("%1: el campo «%2» no es válido o está repetido.").arg(what, field.name));
        if (field.type == FieldType::Text && field.size <= 0)
            throw EngineError(QStringLiteral("%1: el campo «%2» no tiene tamaño.").arg(what, field.name));
        names.insert(lower);
        keys += field.type == FieldType::AutoInc ? 1 : 0;
    }
    if (keys != 1)
        throw EngineError(QStringLiteral("%1: la tabla necesita un campo autoincremental.").arg(what));
    QStringList index;
    for (const QString& part : indexFields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int i = indexOf(part.trimmed());
        if (i < 0)
            throw EngineError(QStringLiteral("Campo «%1» desconocido").arg(part.trimmed()));
        index.append(fields.at(i).name);
    }
    if (!index.isEmpty() && fields.at(indexOf(index.first())).type != FieldType::AutoInc)
        throw EngineError(QStringLiteral("%1: la clave primaria debe ser el campo autoincremental.").arg(what));
    return index;
}

// The statements that make a new table: the table, a plain index on the primary index's
// fields after the key (which the program's queries use to find and order their rows),
// and the declared extra indexes.
QStringList tableStatements(const QString& table, const FieldDefs& fields, const QStringList& index,
                            const IndexDefs& extra)
{
    QStringList columns;
    for (const FieldDef& field : fields) {
        QString column = sql::quoted(field.name) + QLatin1Char(' ') + declaredType(field);
        if (field.required && field.type != FieldType::AutoInc)
            column += QLatin1String(" NOT NULL");
        columns.append(column);
    }
    QStringList statements{QStringLiteral("CREATE TABLE %1 (%2)").arg(sql::quoted(table), columns.join(", "))};
    if (index.size() > 1) {
        IndexDef plain{QStringLiteral("idx_%1_%2").arg(table, index.mid(1).join(QLatin1Char('_'))), {}};
        for (int i = 1; i < index.size(); ++i)
            plain.keys.append(sql::quoted(index.at(i)));
        statements.append(createIndexSql(table, plain));
    }
    for (const IndexDef& declared : extra)
        statements.append(createIndexSql(table, declared));
    return statements;
}

// Runs the statements in one transaction on a new SQLite file at `path`.
void buildFile(const QString& path, const QStringList& statements, const QString& what)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    try {
        if (rc != SQLITE_OK)
            sql::fail(rc, what);
        sql::exec(db, "PRAGMA journal_mode=DELETE", what);
        sql::exec(db, "PRAGMA synchronous=EXTRA", what);
        sql::WriteTransaction transaction(db, what);
        for (const QString& statement : statements)
            sql::exec(db, statement.toUtf8().constData(), what);
        transaction.commit();
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    rc = sqlite3_close(db);
    if (rc != SQLITE_OK)
        sql::fail(rc, what);
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

Connection::Connection(QString name) : m_name(std::move(name)) {}

Connection::~Connection()
{
    disconnect();
}

void Connection::setPath(const QString& folder)
{
    if (folder == m_path)
        return;
    const bool wasConnected = m_connected;
    disconnect();
    m_path = folder;
    m_connected = wasConnected && QFileInfo(folder).isDir();
}

QString Connection::filePath(const QString& tableFile) const
{
    return QDir(m_path).filePath(tableFile);
}

void Connection::connect()
{
    if (m_path.isEmpty())
        throw EngineError(QStringLiteral("La conexión «%1» no tiene carpeta de datos.").arg(m_name));
    if (!QFileInfo(m_path).isDir())
        throw EngineError(QStringLiteral("No existe la carpeta de datos «%1».").arg(shown(m_path)));
    m_connected = true;
}

void Connection::disconnect()
{
    // close_v2: a dataset that still holds prepared statements keeps the handle alive
    // until it finalizes them (it notices the handle changed on its next use).
    for (sqlite3* db : std::as_const(m_handles))
        sqlite3_close_v2(db);
    m_handles.clear();
    m_dataVersions.clear();
    m_fields.clear();
    ++m_generation;
    m_connected = false;
}

void Connection::ensureConnected()
{
    // Like the engine it stands in for, using a table connects implicitly.
    if (!m_connected)
        connect();
}

QString Connection::sqlTableName(const QString& tableFile)
{
    return QFileInfo(tableFile).completeBaseName();
}

sqlite3* Connection::handle(const QString& tableFile)
{
    const QString key = tableFile.toLower();
    if (const auto it = m_handles.constFind(key); it != m_handles.constEnd())
        return *it;

    checkFileName(tableFile);
    ensureConnected();
    const QString path = filePath(tableFile);
    const QFileInfo info(path);
    if (!info.exists())
        throw EngineError(QStringLiteral("No existe la tabla «%1».").arg(shown(path)));
    if (!info.isFile() || !hasTableHeader(path))
        throw invalidTable(path);

    // Never SQLITE_OPEN_CREATE: the file exists. All use is on one thread, so no
    // per-call locking.
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        sql::fail(rc, QStringLiteral("No se puede abrir la tabla «%1»").arg(shown(path)));
    }
    try {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // Detailed results, so that a file moved away under an open handle is told apart
        // from a read-only one.
        sqlite3_extended_result_codes(db, 1);
        FieldDefs fields = readFields(db, sqlTableName(tableFile), path);
        // A commit returns only when the file is on disk. EXTRA is FULL plus a sync of the
        // folder once the journal is deleted, so that a power cut right after a commit
        // cannot bring the journal back and roll the commit back.
        sql::exec(db, "PRAGMA synchronous=EXTRA", QStringLiteral("No se puede abrir la tabla «%1»").arg(shown(path)));
        // A small page cache (2 MiB a file): the program reads few rows at a time, and a
        // walk over a large table must not make the process grow with it.
        sql::exec(db, "PRAGMA cache_size=-2048", QStringLiteral("No se puede abrir la tabla «%1»").arg(shown(path)));
        addMissingIndexes(db, sqlTableName(tableFile), tables::extraIndexes(tableFile));
        m_fields.insert(key, fields);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    m_handles.insert(key, db);
    return db;
}

bool Connection::changedElsewhere(const QString& tableFile)
{
    sqlite3* db = m_handles.value(tableFile.toLower());
    if (!db)
        return false;
    sql::Statement version;
    version.prepare(db, QStringLiteral("PRAGMA data_version"),
                    QStringLiteral("No se puede leer la tabla «%1»").arg(shown(filePath(tableFile))));
    const sql::Statement::Use use(version);
    if (!version.step())
        return false;
    const qint64 now = version.int64(0);
    const auto it = m_dataVersions.find(db);
    const bool changed = it != m_dataVersions.end() && *it != now;
    m_dataVersions.insert(db, now);
    return changed;
}

FieldDefs Connection::fieldsOf(const QString& tableFile)
{
    handle(tableFile);
    return m_fields.value(tableFile.toLower());
}

void Connection::createTable(const QString& tableFile, const FieldDefs& fields, const QString& indexFields)
{
    checkFileName(tableFile);
    ensureConnected();
    const QString path = filePath(tableFile);
    const QString what = QStringLiteral("No se puede crear la tabla «%1»").arg(shown(path));
    if (QFileInfo::exists(path))
        throw EngineError(QStringLiteral("La tabla «%1» ya existe.").arg(shown(path)));
    const QStringList statements =
        tableStatements(sqlTableName(tableFile), fields, checkedIndexFields(what, fields, indexFields),
                        tables::extraIndexes(tableFile));

    // Built under a temporary name and then moved into place, so that a failure or a
    // crash never leaves a half-made table file under the real name.
    QTemporaryFile temp(QDir(m_path).filePath(QStringLiteral(".%1.XXXXXX").arg(tableFile))); // isTemporaryName
    if (!temp.open())
        throw EngineError(what + QStringLiteral(": no se puede escribir en la carpeta de datos."));
    temp.close();
    buildFile(temp.fileName(), statements, what);
    // QFile::rename never replaces an existing file.
    if (!QFile::rename(temp.fileName(), path)) {
        if (QFileInfo::exists(path))
            throw EngineError(QStringLiteral("La tabla «%1» ya existe.").arg(shown(path)));
        throw EngineError(what + QStringLiteral(": no se puede escribir en la carpeta de datos."));
    }
    syncFolder(m_path);
}

bool Connection::isTemporaryName(const QString& fileName, const QString& tableFile)
{
    const QString prefix = QLatin1Char('.') + tableFile + QLatin1Char('.');
    if (!fileName.startsWith(prefix))
        return false;
    QStringView rest = QStringView(fileName).mid(prefix.size());
    if (rest.endsWith(u"-journal"))
        rest.chop(8);
    if (rest.size() != 6)
        return false;
    for (const QChar c : rest)
        if (!(c.unicode() < 128 && c.isLetterOrNumber()))
            return false;
    return true;
}

} // namespace engine
