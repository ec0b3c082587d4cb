#pragma once
// Binds one control to one field of the current record behind a data source. The
// control shows the record through `show` and hands its own value back through `write`;
// the link follows the source's signals, reads lazily while the control is hidden,
// starts an edit when the user changes the control and writes the pending value when the
// record is about to post.

#include "store/controls/RefreshGate.h"
#include "store/engine/DataSource.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>

class QWidget;

class FieldLink : public QObject
{
    Q_OBJECT
public:
    // `show` puts the record's value into the control (it reads displayText() / value());
    // `write` passes the control's value to writeValue().
    FieldLink(QWidget* control, std::function<void()> show, std::function<void()> write);

    void setDataSource(engine::DataSource* source);
    engine::DataSource* dataSource() const { return m_source; }
    void setDataField(const QString& field);
    const QString& dataField() const { return m_field; }

    engine::Dataset* dataset() const;         // nullptr without a source or dataset
    bool isActive() const;                    // a field is named and its dataset is open
    bool isEditing() const;                   // ... and in edit or insert state
    const engine::FieldDef* fieldDef() const; // nullptr when not active or the field is unknown
    QString displayText() const;              // "" when not active
    QVariant value() const;                   // null when not active

    // What the control is to show, read by load() just before `show` runs.
    const QString& shownText() const { return m_shownText; }
    const QVariant& shownValue() const { return m_shownValue; }

    // True while `show` runs: the control's change signals are not the user's.
    bool isLoading() const { return m_loading > 0; }

    // The control's value differs from the record and is to be written at the next post.
    bool isModified() const { return m_modified; }
    void setModified(bool modified);

    // The user changed the control: marks it modified and puts a browsing dataset into
    // edit state (inserting on an empty one). Returns false when the control cannot edit
    // (read-only, no open dataset): the caller then shows the record again. Engine errors
    // propagate.
    bool userEdit(bool readOnly = false);

    // Writes `value` into the field when the control is modified and the record is being
    // edited; clears the modified flag. On an engine error the flag stays set and the
    // error propagates.
    void writeValue(const QVariant& value);
    // Writes the control's pending value now (focus leaving the control).
    void updateRecord();

    // Shows the record now, dropping the control's own pending value. Errors are reported.
    void reload();
    // Shows the record again if the control is visible, else when it is next shown.
    void invalidate();
    // From the control's showEvent: reads the record when it changed while hidden.
    void controlShown();

private:
    void sourceChanged();
    void sourceUpdateRecord();
    void refresh();
    void load();

    QWidget* m_control;
    std::function<void()> m_show;
    std::function<void()> m_write;
    QPointer<engine::DataSource> m_source;
    QString m_field;
    QString m_shownText; // the record's text as last shown
    QVariant m_shownValue;
    bool m_modified = false;
    bool m_dirty = true; // the record changed while the control was hidden
    int m_loading = 0;
    RefreshGate m_refreshGate;
};
