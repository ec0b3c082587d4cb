#pragma once
// A check box bound to a Boolean field of the current record behind a data source:
// ticked means true, a null field shows unticked. A click starts an edit and writes
// the new value into the record at once.

#include "store/controls/FieldLink.h"

#include <QCheckBox>

class DBCheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit DBCheckBox(QWidget* parent = nullptr);

    void setDataSource(engine::DataSource* source) { m_link.setDataSource(source); }
    engine::DataSource* dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString& field) { m_link.setDataField(field); }
    QString dataField() const { return m_link.dataField(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void userClicked(bool checked);

    FieldLink m_link;
};
