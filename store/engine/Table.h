#pragma once
// A table: all records of one table file, in the order of its primary key (ID).

#include "store/engine/Dataset.h"

namespace engine {

class Table : public Dataset
{
    Q_OBJECT
public:
    explicit Table(const QString& name, QObject* parent = nullptr);

    void setTableName(const QString& tableFile); // e.g. "Reminder.DB"; only while closed
    const QString& tableName() const { return m_tableName; }

    // Field and index definitions used by createTable().
    void setFieldDefs(const FieldDefs& fields) { m_defs = fields; }
    void setIndexFields(const QString& indexFields) { m_indexFields = indexFields; }
    // Creates the table file from the definitions (the dataset stays closed).
    void createTable();

    void open() override;

    // Searches the primary index for the ID and makes that record current. Returns false
    // (position unchanged) when there is none. Ends a pending edit first.
    bool findKey(qint64 id);

    // Writes the table's changes to disk at once. Every post and delete is already one
    // committed transaction synced to disk, so this only checks the table is open.
    void flushToDisk();

protected:
    QVector<qint64> loadIds() override;
    QString tableFile() const override { return m_tableName; }
    bool rowsInKeyOrder() const override { return true; }

private:
    QString m_tableName;
    FieldDefs m_defs;
    QString m_indexFields;
};

} // namespace engine
