#include "store/controls/FieldLink.h"

#include "platform/Guard.h"
#include "store/engine/DataSource.h"

#include <QScopeGuard>
#include <QWidget>

using engine::DataState;

FieldLink::FieldLink(QWidget* control, std::function<void()> show, std::function<void()> write)
    : m_control(control), m_show(std::move(show)), m_write(std::move(write))
{
}

void FieldLink::setDataSource(engine::DataSource* source)
{
    if (m_source == source)
        return;
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    m_modified = false;
    if (source) {
        connect(source, &engine::DataSource::dataChanged, this, &FieldLink::sourceChanged);
        connect(source, &engine::DataSource::stateChanged, this, &FieldLink::sourceChanged);
        connect(source, &engine::DataSource::updateRecord, this, &FieldLink::sourceUpdateRecord);
        connect(source, &QObject::destroyed, this, &FieldLink::invalidate);
    }
    invalidate();
}

void FieldLink::setDataField(const QString& field)
{
    if (m_field == field)
        return;
    m_field = field;
    m_modified = false;
    invalidate();
}

engine::Dataset* FieldLink::dataset() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

bool FieldLink::isActive() const
{
    const engine::Dataset* ds = dataset();
    return ds && !m_field.isEmpty() && ds->isActive();
}

bool FieldLink::isEditing() const
{
    if (!isActive())
        return false;
    const DataState state = dataset()->state();
    return state == DataState::Edit || state == DataState::Insert;
}

const engine::FieldDef* FieldLink::fieldDef() const
{
    if (!isActive())
        return nullptr;
    engine::Dataset* ds = dataset();
    const int index = ds->fieldIndex(m_field);
    return index >= 0 ? &ds->fields().at(index) : nullptr;
}

QString FieldLink::displayText() const
{
    return isActive() ? dataset()->displayText(m_field) : QString();
}

QVariant FieldLink::value() const
{
    return isActive() ? dataset()->value(m_field) : QVariant();
}

void FieldLink::setModified(bool modified)
{
    m_modified = modified;
}

bool FieldLink::userEdit(bool readOnly)
{
    if (readOnly || !isActive())
        return false;
    // Marked first: the edit's own notification must not replace what the user typed.
    m_modified = true;
    engine::Dataset* ds = dataset();
    if (ds->state() == DataState::Browse)
        ds->edit();
    return isEditing();
}

void FieldLink::writeValue(const QVariant& value)
{
    if (!m_modified)
        return;
    m_modified = false;
    if (!isEditing())
        return; // the edit was posted or cancelled meanwhile: nothing to write into
    try {
        dataset()->setValue(m_field, value);
    } catch (...) {
        m_modified = true;
        throw;
    }
}

void FieldLink::updateRecord()
{
    if (m_modified)
        m_write();
}

void FieldLink::reload()
{
    guarded([this] {
        m_dirty = false;
        load();
    });
}

void FieldLink::invalidate()
{
    m_dirty = true;
    if (m_control->isVisible())
        guarded([this] { refresh(); });
}

void FieldLink::controlShown()
{
    if (m_dirty)
        guarded([this] { refresh(); });
}

void FieldLink::sourceChanged()
{
    // A post or cancel ends the pending value even while the control is hidden; the
    // state is known without reading the record.
    if (m_modified && !isEditing())
        m_modified = false;
    // A hidden control reads nothing: a stale query is not re-run for it.
    invalidate();
}

void FieldLink::sourceUpdateRecord()
{
    guarded([this] { updateRecord(); });
}

void FieldLink::refresh()
{
    m_refreshGate.run([this] {
        m_dirty = false;
        // The user's pending value stays while the same record is being edited, unless
        // the program changed this field meanwhile.
        if (m_modified && isEditing() && displayText() == m_shownText)
            return;
        load();
    });
}

void FieldLink::load()
{
    m_modified = false;
    ++m_loading;
    const auto done = qScopeGuard([this] { --m_loading; });
    try {
        m_shownText = displayText();
        m_shownValue = value();
    } catch (...) {
        m_shownText.clear();
        m_shownValue = QVariant();
        m_show();
        throw;
    }
    m_show();
}
