#include "store/engine/Query.h"

#include "core/Error.h"
#include "store/engine/Connection.h"
#include "store/engine/DataSource.h"

namespace engine {

Query::Query(const QString& name, QObject* parent) : Dataset(name, parent) {}

Query::~Query()
{
    setMasterSource(nullptr);
}

void Query::setSql(const QStringList& lines)
{
    close();
    m_sql = lines;
    m_compiled = CompiledQuery();
    m_compiledValid = false;
}

void Query::compile()
{
    requireConnection();
    m_compiledValid = false;
    m_compiled = parseQuery(m_sql.join(QLatin1Char('\n')),
                            [this](const QString& tableFile) { return m_connection->fieldsOf(tableFile); });
    m_compiledValid = true;
}

void Query::execSql()
{
    compile();
}

void Query::open()
{
    if (isActive())
        return;
    requireConnection();
    if (!m_compiledValid)
        compile();
    const FieldDefs fields = m_connection->fieldsOf(m_compiled.tableFile);
    m_stale = false;
    setOpened(fields);
}

void Query::close()
{
    m_stale = false;
    Dataset::close();
}

QVector<qint64> Query::loadIds()
{
    return selectIds();
}

Dataset::Selection Query::selection() const
{
    return Selection{m_compiled.whereSql, m_compiled.params, m_compiled.orderSql};
}

void Query::ensureFresh()
{
    if (m_stale && m_state != DataState::Inactive)
        rerun();
}

void Query::rerun()
{
    // The rows are read again when a position is next needed (a failure then leaves them
    // unread, and the use after tries again).
    dropIds();
    m_stale = false;
}

void Query::setMasterSource(DataSource* master)
{
    if (master == m_master)
        return;
    if (m_master)
        m_master->m_details.removeAll(this);
    m_master = master;
    if (master)
        master->m_details.append(this);
}

void Query::masterChanged(DataEvent event)
{
    if (event == DataEvent::FieldChanged || event == DataEvent::Closed || !isActive())
        return;
    if (isEditing()) {
        // The re-run would end a pending edit at once: do it now, then re-run.
        checkBrowseMode();
        rerun();
        notify(DataEvent::Opened);
        return;
    }
    // The re-run waits for the next use; shown controls hear of it now and read again.
    if (m_stale)
        return;
    m_stale = true;
    notify(DataEvent::Opened);
}

} // namespace engine
