#include "store/engine/Sqlite.h"

#include "core/Error.h"
#include "core/ErrorTexts.h"

#include <QDate>

#include <sqlite3.h>

namespace engine::sql {

QString quoted(const QString& identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Built from SQLite's own functions only, so that any program may still write the file:
// date() with a modifier turns a day that does not exist into another ("31/02" -> "03/03")
// or into null, and the year 0 is no date of the calendar the program reads dates with.
QString isoDay(const QString& column)
{
    const QString iso =
        QStringLiteral("substr(%1, 7, 4) || '-' || substr(%1, 4, 2) || '-' || substr(%1, 1, 2)").arg(column);
    return QStringLiteral("(CASE WHEN %1 GLOB '[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9]' AND substr(%1, 7, 4) <> "
                          "'0000' AND date(%2, '+0 days') IS %2 THEN %2 ELSE '' END)")
        .arg(column, iso);
}

// As the rows read it: an integer of the stored value, 0 meaning false.
QString isFalse(const QString& column)
{
    return QStringLiteral("(%1 IS NOT NULL AND CAST(%1 AS INTEGER) = 0)").arg(column);
}

// The Spanish texts live with the other error tables, which cannot see sqlite3.h.
static_assert(ErrorTexts::SqliteCode::Error == SQLITE_ERROR && ErrorTexts::SqliteCode::Perm == SQLITE_PERM &&
                  ErrorTexts::SqliteCode::Busy == SQLITE_BUSY && ErrorTexts::SqliteCode::Locked == SQLITE_LOCKED &&
                  ErrorTexts::SqliteCode::NoMem == SQLITE_NOMEM &&
                  ErrorTexts::SqliteCode::ReadOnly == SQLITE_READONLY &&
                  ErrorTexts::SqliteCode::IoErr == SQLITE_IOERR && ErrorTexts::SqliteCode::Corrupt == SQLITE_CORRUPT &&
                  ErrorTexts::SqliteCode::Full == SQLITE_FULL && ErrorTexts::SqliteCode::CantOpen == SQLITE_CANTOPEN &&
                  ErrorTexts::SqliteCode::TooBig == SQLITE_TOOBIG &&
                  ErrorTexts::SqliteCode::Constraint == SQLITE_CONSTRAINT &&
                  ErrorTexts::SqliteCode::Auth == SQLITE_AUTH && ErrorTexts::SqliteCode::NotADb == SQLITE_NOTADB &&
                  ErrorTexts::SqliteCode::ReadOnlyDbMoved == SQLITE_READONLY_DBMOVED,
              "the error table's SQLite codes differ from sqlite3.h");

QString resultText(int code)
{
    return ErrorTexts::sqliteError(code);
}

void fail(int code, const QString& what)
{
    throw EngineError(what + QStringLiteral(": ") + resultText(code));
}

void exec(sqlite3* db, const char* sql, const QString& what)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, what);
}

Statement::~Statement()
{
    finalize();
}

Statement::Statement(Statement&& other) noexcept
    : m_stmt(other.m_stmt), m_db(other.m_db), m_sql(std::move(other.m_sql)), m_what(std::move(other.m_what))
{
    other.m_stmt = nullptr;
    other.m_db = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        finalize();
        m_stmt = other.m_stmt;
        m_db = other.m_db;
        m_sql = std::move(other.m_sql);
        m_what = std::move(other.m_what);
        other.m_stmt = nullptr;
        other.m_db = nullptr;
    }
    return *this;
}

void Statement::prepare(sqlite3* db, const QString& sql, const QString& what)
{
    finalize();
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const int rc =
        sqlite3_prepare_v3(db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        fail(rc, what);
    }
    m_stmt = stmt;
    m_db = db;
    m_sql = sql;
    m_what = what;
}

void Statement::finalize()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    m_db = nullptr;
    m_sql.clear();
}

void Statement::bind(int index, const QVariant& value)
{
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int(m_stmt, index, value.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        case QMetaType::QDate: {
            const QByteArray iso = value.toDate().toString(Qt::ISODate).toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, iso.constData(), int(iso.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray utf8 = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        fail(rc, m_what);
}

void Statement::bindAll(const QVariantList& values, int first)
{
    for (int i = 0; i < values.size(); ++i)
        bind(first + i, values.at(i));
}

void Statement::bindInt64(int index, qint64 value)
{
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        fail(rc, m_what);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_stmt);
    fail(rc, m_what);
}

void Statement::reset()
{
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    const int bytes = sqlite3_column_bytes(m_stmt, column);
    return QString::fromUtf8(data, bytes);
}

QVariant Statement::value(int column, FieldType type) const
{
    if (isNull(column))
        return {};
    switch (type) {
    case FieldType::AutoInc:
        return QVariant(qint64(int64(column)));
    case FieldType::Logical:
        return QVariant(int64(column) != 0);
    case FieldType::Date: {
        const QDate date = QDate::fromString(text(column), Qt::ISODate);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case FieldType::Text:
    case FieldType::Memo:
        break;
    }
    return QVariant(text(column));
}

WriteTransaction::WriteTransaction(sqlite3* db, const QString& what) : m_db(db), m_what(what)
{
    exec(db, "BEGIN IMMEDIATE", what);
    m_open = true;
}

WriteTransaction::~WriteTransaction()
{
    if (m_open && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteTransaction::commit()
{
    const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, m_what); // the destructor rolls back what is left
    m_open = false;
}

} // namespace engine::sql
