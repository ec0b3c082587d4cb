#include "store/engine/DataSource.h"

#include "store/engine/Query.h"

namespace engine {

DataSource::DataSource(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

DataSource::~DataSource()
{
    if (m_dataset)
        m_dataset->detachSource(this);
    for (Query* query : std::as_const(m_details))
        query->m_master = nullptr;
}

void DataSource::setDataSet(Dataset* dataset)
{
    if (dataset == m_dataset)
        return;
    if (m_dataset)
        m_dataset->detachSource(this);
    m_dataset = dataset;
    if (dataset)
        dataset->attachSource(this);
    // Detail queries follow their master's record, which is now another dataset's.
    datasetEvent(DataEvent::Opened);
}

void DataSource::datasetEvent(DataEvent event)
{
    // Detail queries first, so that controls reading them below see them stale.
    const QList<Query*> details = m_details;
    for (Query* query : details)
        if (m_details.contains(query))
            query->masterChanged(event);

    const DataState state = m_dataset ? m_dataset->state() : DataState::Inactive;
    if (state != m_lastState) {
        m_lastState = state;
        emit stateChanged();
    }
    emit dataChanged();
    emit datasetChanged(event);
}

void DataSource::requestUpdateRecord()
{
    emit updateRecord();
}

} // namespace engine
