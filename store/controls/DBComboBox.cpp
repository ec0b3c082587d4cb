#include "store/controls/DBComboBox.h"

#include "platform/Guard.h"
#include "store/engine/FieldDef.h"

#include <QAbstractItemModel>
#include <QFocusEvent>
#include <QLineEdit>

namespace {
constexpr int UnlimitedLength = 32767; // QLineEdit's own default
}

DBComboBox::DBComboBox(QWidget* parent)
    : DataAware(
          parent, [this] { showRecord(); }, [this] { m_link.writeValue(currentText()); })
{
    connect(this, &QComboBox::activated, this, &DBComboBox::userChanged);
    // Adding the first entry selects it: show the record's entry again.
    QAbstractItemModel* entries = model();
    connect(entries, &QAbstractItemModel::rowsInserted, &m_link, &FieldLink::invalidate);
    connect(entries, &QAbstractItemModel::rowsRemoved, &m_link, &FieldLink::invalidate);
    connect(entries, &QAbstractItemModel::modelReset, &m_link, &FieldLink::invalidate);
    hookLineEdit();
}

void DBComboBox::setEditable(bool editable)
{
    QComboBox::setEditable(editable);
    hookLineEdit();
    m_link.invalidate();
}

void DBComboBox::setLineEdit(QLineEdit* edit)
{
    QComboBox::setLineEdit(edit);
    hookLineEdit();
    m_link.invalidate();
}

void DBComboBox::hookLineEdit()
{
    QLineEdit* edit = lineEdit();
    if (edit != m_hooked) {
        if (m_hooked)
            disconnect(m_hooked, nullptr, this, nullptr);
        m_hooked = edit;
        if (edit)
            connect(edit, &QLineEdit::textEdited, this, &DBComboBox::userChanged);
    }
    if (edit)
        edit->setMaxLength(m_textLength > 0 ? m_textLength : UnlimitedLength);
}

void DBComboBox::showRecord()
{
    const engine::FieldDef* def = m_link.fieldDef();
    m_textLength = def && def->type == engine::FieldType::Text && def->size > 0 ? def->size : 0;
    hookLineEdit();
    const QString& text = m_link.shownText();
    setCurrentIndex(findText(text)); // -1 (blank) when the text is no entry
    if (isEditable())
        setEditText(text);
}

void DBComboBox::userChanged()
{
    bool editing = false;
    const bool ok = guardedOk([&] { editing = m_link.userEdit(); });
    // The record cannot take the change: show it unchanged, once the line edit's completer
    // is done with the key (it would complete the record's text otherwise).
    if (!ok || !editing)
        QMetaObject::invokeMethod(
            this, [this] { m_link.reload(); }, Qt::QueuedConnection);
}

void DBComboBox::showEvent(QShowEvent* event)
{
    hookLineEdit(); // the form may have switched the mode through the property
    DataAware::showEvent(event);
}

void DBComboBox::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        guarded([this] { m_link.updateRecord(); });
}
