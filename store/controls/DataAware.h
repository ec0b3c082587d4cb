#pragma once
// What every data-aware control shares: the data source and the field of its current
// record that the control shows, and the showing of the record when the control itself is
// shown. Mixed into the Qt widget class W; each control gives its FieldLink what showing
// and writing the field mean for it.

#include "store/controls/FieldLink.h"

#include <QShowEvent>

#include <functional>
#include <utility>

template <class W> class DataAware : public W
{
public:
    void setDataSource(engine::DataSource* source) { m_link.setDataSource(source); }
    engine::DataSource* dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString& field) { m_link.setDataField(field); }
    QString dataField() const { return m_link.dataField(); }

protected:
    DataAware(QWidget* parent, std::function<void()> show, std::function<void()> write)
        : W(parent), m_link(this, std::move(show), std::move(write))
    {
    }

    void showEvent(QShowEvent* event) override
    {
        W::showEvent(event);
        m_link.controlShown();
    }

    FieldLink m_link;
};
