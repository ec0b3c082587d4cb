#pragma once
// A label showing one field of the current record behind a data source.

#include "store/controls/FieldLink.h"

#include <QLabel>

class DBText : public QLabel
{
    Q_OBJECT
public:
    explicit DBText(QWidget* parent = nullptr);

    void setDataSource(engine::DataSource* source) { m_link.setDataSource(source); }
    engine::DataSource* dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString& field) { m_link.setDataField(field); }
    QString dataField() const { return m_link.dataField(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    FieldLink m_link;
};
