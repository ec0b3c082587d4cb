#include "store/engine/Table.h"

#include "core/Error.h"
#include "store/engine/Connection.h"

namespace engine {

Table::Table(const QString& name, QObject* parent) : Dataset(name, parent) {}

void Table::setTableName(const QString& tableFile)
{
    if (tableFile == m_tableName)
        return;
    if (isActive())
        throw EngineError(QStringLiteral("No se puede cambiar la tabla de «%1» mientras está abierta.").arg(name()));
    m_tableName = tableFile;
}

void Table::createTable()
{
    if (isActive())
        throw EngineError(QStringLiteral("No se puede crear la tabla de «%1» mientras está abierta.").arg(name()));
    requireConnection();
    if (m_tableName.isEmpty())
        throw EngineError(QStringLiteral("«%1» no tiene nombre de tabla.").arg(name()));
    m_connection->createTable(m_tableName, m_defs, m_indexFields);
}

void Table::open()
{
    if (isActive())
        return;
    requireConnection();
    if (m_tableName.isEmpty())
        throw EngineError(QStringLiteral("«%1» no tiene nombre de tabla.").arg(name()));
    setOpened(m_connection->fieldsOf(m_tableName));
}

bool Table::findKey(qint64 id)
{
    requireActive();
    checkBrowseMode();
    ensureIds();
    if (!rowExists(id))
        return false;
    int pos = positionOf(id);
    if (pos < 0) {
        // Added through another dataset since the table was read.
        reloadKeeping();
        pos = positionOf(id);
        if (pos < 0)
            return false;
    }
    m_pos = pos;
    m_eof = false;
    notify(DataEvent::Moved);
    return true;
}

void Table::flushToDisk()
{
    requireActive();
}

QVector<qint64> Table::loadIds()
{
    return selectIds();
}

} // namespace engine
