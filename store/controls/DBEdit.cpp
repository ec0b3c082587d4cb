#include "store/controls/DBEdit.h"

#include "platform/Guard.h"
#include "store/engine/FieldDef.h"

#include <QFocusEvent>

namespace {
constexpr int UnlimitedLength = 32767; // QLineEdit's own default
}

DBEdit::DBEdit(QWidget* parent)
    : DataAware(
          parent, [this] { showRecord(); }, [this] { m_link.writeValue(text()); })
{
    // Any change other than showing the record is written at the next post (a program
    // may set the text of a read-only edit); only typing starts an edit.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!m_link.isLoading())
            m_link.setModified(true);
    });
    connect(this, &QLineEdit::textEdited, this, &DBEdit::userEdited);
}

void DBEdit::showRecord()
{
    const engine::FieldDef* def = m_link.fieldDef();
    const bool sized = def && def->type == engine::FieldType::Text && def->size > 0;
    setMaxLength(sized ? def->size : UnlimitedLength);
    setText(m_link.shownText());
}

void DBEdit::userEdited()
{
    bool editing = false;
    const bool ok = guardedOk([&] { editing = m_link.userEdit(isReadOnly()); });
    if (!ok || !editing)
        m_link.reload(); // the record cannot take the text: show it unchanged
}

void DBEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        guarded([this] { m_link.updateRecord(); });
}
