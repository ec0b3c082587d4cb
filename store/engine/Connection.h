#pragma once
// The connection to the data folder: one SQLite file per table, named as the program
// names the table ("Reminder.DB"), each holding one table of the same base name.
// Tables and queries of one connection share the handle of each file.

#include "store/engine/FieldDef.h"

#include <QHash>
#include <QString>

struct sqlite3;

namespace engine {

class Connection
{
public:
    explicit Connection(QString name = QStringLiteral("Ostiva"));
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& name() const { return m_name; }

    // The data folder that holds the table files. Changing it closes every open file.
    void setPath(const QString& folder);
    const QString& path() const { return m_path; }
    QString filePath(const QString& tableFile) const;

    void connect();    // requires a path; the folder must exist
    void disconnect(); // closes every file handle
    bool isConnected() const { return m_connected; }

    // Creates the table file with its one table; fails if the file already exists.
    // `indexFields` are the fields of the primary index joined by ";" (the first is the key).
    // The file gets the indexes tables::extraIndexes() declares for it too.
    void createTable(const QString& tableFile, const FieldDefs& fields, const QString& indexFields);

    // The names createTable builds a table file under before moving it into place: ".",
    // the table file's name, ".", six letters or digits (".Reminder.DB.aB3xYz"), and the
    // SQLite journal beside it (the same and "-journal"). What a killed creation left.
    static bool isTemporaryName(const QString& fileName, const QString& tableFile);

    // The open handle of an existing table file, opening it on first use. Raises a Spanish
    // EngineError naming the file when it is missing, is no SQLite file or lacks its table.
    // Opening writes to the file only to add the declared indexes an older file lacks.
    sqlite3* handle(const QString& tableFile);
    // True when another process has committed to the table file since the last call (an
    // import beside the running program); false on the first call, and for a file not open.
    bool changedElsewhere(const QString& tableFile);

    // Changes whenever the open handles are closed: a handle kept from handle() is valid
    // as long as this stays the same.
    quint64 generation() const { return m_generation; }

    // The SQL name of the one table inside a table file ("Reminder.DB" -> "Reminder").
    static QString sqlTableName(const QString& tableFile);

    // Field definitions read from the file's table (declared types carry kind and size).
    FieldDefs fieldsOf(const QString& tableFile);

private:
    void ensureConnected();

    QString m_name;
    QString m_path;
    bool m_connected = false;
    QHash<QString, sqlite3*> m_handles;     // key: table file name, case-insensitive (lower case)
    QHash<sqlite3*, qint64> m_dataVersions; // PRAGMA data_version last seen, per open handle
    QHash<QString, FieldDefs> m_fields;
    quint64 m_generation = 0;
};

} // namespace engine
