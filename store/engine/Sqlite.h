#pragma once
// Small helpers over the SQLite C API for the engine's own classes: quoting, Spanish
// texts for result codes, a prepared statement, and a write transaction that rolls
// back unless committed.

#include "store/engine/FieldDef.h"

#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace engine::sql {

// An SQL identifier in double quotes, inner quotes doubled.
QString quoted(const QString& identifier);

// A day-first date text column ("05/03/2027") as year-month-day ("2027-03-05") when it
// holds a valid date of exactly that form, else "" (which sorts before every date).
QString isoDay(const QString& column);

// 1 when a logical column reads as false, 0 when it is true or empty.
QString isFalse(const QString& column);

// Spanish text for an SQLite result code ("el disco está lleno").
QString resultText(int code);

// Raises an EngineError "<what>: <text of code>".
[[noreturn]] void fail(int code, const QString& what);

// Runs SQL without results (pragmas, transaction control); raises on failure.
void exec(sqlite3* db, const char* sql, const QString& what);

// A prepared statement. Every use ends with reset() (see Use), so no statement keeps
// a read lock on its file between calls.
class Statement
{
public:
    Statement() = default;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;

    // `what` names the file in error messages.
    void prepare(sqlite3* db, const QString& sql, const QString& what);
    bool isPrepared() const { return m_stmt != nullptr; }
    // The prepared statement itself, for readers that take columns' bytes as they are.
    sqlite3_stmt* handle() const { return m_stmt; }
    const QString& sqlText() const { return m_sql; }
    void finalize();

    // 1-based. Null -> NULL, bool -> 0/1, integers -> INTEGER, QDate -> ISO text, else text.
    void bind(int index, const QVariant& value);
    void bindAll(const QVariantList& values, int first = 1);
    void bindInt64(int index, qint64 value);
    // True with a row, false when done; raises on error.
    bool step();
    void reset();

    bool isNull(int column) const;
    qint64 int64(int column) const;
    QString text(int column) const;
    // A column read as the kind of field it stores (null -> null QVariant).
    QVariant value(int column, FieldType type) const;

    // Resets the statement when the scope ends, also on errors.
    class Use
    {
    public:
        explicit Use(Statement& statement) : m_statement(statement) {}
        ~Use() { m_statement.reset(); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        Statement& m_statement;
    };

private:
    sqlite3_stmt* m_stmt = nullptr;
    sqlite3* m_db = nullptr;
    QString m_sql;
    QString m_what;
};

// BEGIN IMMEDIATE ... COMMIT; rolled back when destroyed without commit().
class WriteTransaction
{
public:
    WriteTransaction(sqlite3* db, const QString& what);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit();

private:
    sqlite3* m_db;
    QString m_what;
    bool m_open = false;
};

} // namespace engine::sql
