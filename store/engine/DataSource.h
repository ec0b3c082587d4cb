#pragma once
// A data source links a dataset to the controls that show it and to the queries that
// have it as master. It passes the dataset's events on as signals.

#include "store/engine/Dataset.h"

#include <QObject>

namespace engine {

class Query;

class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(const QString& name, QObject* parent = nullptr);
    ~DataSource() override;

    void setDataSet(Dataset* dataset);
    Dataset* dataSet() const { return m_dataset; }

    // Called by the dataset.
    void datasetEvent(DataEvent event);
    // Called by the dataset before it posts: bound controls write their pending values.
    void requestUpdateRecord();

signals:
    // The current record, its values or the rows changed: bound controls show them again.
    void dataChanged();
    // Edit / insert / browse / inactive changed.
    void stateChanged();
    // Before a post: controls holding typed text write it into the record now.
    void updateRecord();
    // Any event of the dataset; detail queries listen to it.
    void datasetChanged(engine::DataEvent event);

private:
    friend class Dataset;
    friend class Query;

    Dataset* m_dataset = nullptr;
    DataState m_lastState = DataState::Inactive;
    QList<Query*> m_details; // queries that have this source as master
};

} // namespace engine
