#include "store/controls/DBMemo.h"

#include "platform/Guard.h"
#include "store/engine/FieldDef.h"

#include <QFocusEvent>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

DBMemo::DBMemo(QWidget* parent)
    : DataAware(
          parent, [this] { showRecord(); }, [this] { m_link.writeValue(toPlainText()); })
{
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::textChangedByAnyone);
}

int DBMemo::effectiveMaxLength() const
{
    if (m_maxLength > 0 && m_fieldLength > 0)
        return qMin(m_maxLength, m_fieldLength);
    return qMax(m_maxLength, m_fieldLength);
}

void DBMemo::showRecord()
{
    const engine::FieldDef* def = m_link.fieldDef();
    m_fieldLength = def && def->type == engine::FieldType::Text && def->size > 0 ? def->size : 0;
    setPlainText(m_link.shownText());
}

bool DBMemo::isUserChange() const
{
    // The context menu's actions run after its handler returned; the memo keeps the focus.
    return m_userInput > 0 || hasFocus();
}

void DBMemo::textChangedByAnyone()
{
    const int before = m_length;
    // The document counts a final paragraph separator that the text does not have.
    m_length = document()->characterCount() - 1;
    if (m_link.isLoading() || m_cutting)
        return;
    cutToLimit(m_length - before);
    m_link.setModified(true);
    if (!isUserChange())
        return;
    bool editing = false;
    const bool ok = guardedOk([&] { editing = m_link.userEdit(isReadOnly()); });
    if (!ok || !editing) {
        // Replacing the document from within its own change signal is not safe: show
        // the record again once the input event is done.
        QMetaObject::invokeMethod(
            this, [this] { m_link.reload(); }, Qt::QueuedConnection);
    }
}

void DBMemo::cutToLimit(int grown)
{
    const int limit = effectiveMaxLength();
    const int excess = qMin(m_length - limit, grown);
    if (limit <= 0 || excess <= 0)
        return;
    // Typing and pasting leave the caret right after what they inserted: drop the tail
    // of that, so the caret stays right after the kept part.
    int end = textCursor().position();
    if (end < excess)
        end = m_length;
    int from = end - excess;
    if (from > end - grown && document()->characterAt(from).isLowSurrogate())
        --from; // never split a surrogate pair
    QTextCursor cursor(document());
    cursor.setPosition(from);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    m_cutting = true;
    const auto done = qScopeGuard([this] { m_cutting = false; });
    cursor.joinPreviousEditBlock();
    cursor.removeSelectedText();
    cursor.endEditBlock();
    m_length = document()->characterCount() - 1;
}

void DBMemo::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    // A button that checks the record before posting finds the typed text there.
    if (event->reason() != Qt::PopupFocusReason)
        guarded([this] { m_link.updateRecord(); });
}

void DBMemo::keyPressEvent(QKeyEvent* event)
{
    ++m_userInput;
    const auto done = qScopeGuard([this] { --m_userInput; });
    QPlainTextEdit::keyPressEvent(event);
}

void DBMemo::inputMethodEvent(QInputMethodEvent* event)
{
    ++m_userInput;
    const auto done = qScopeGuard([this] { --m_userInput; });
    QPlainTextEdit::inputMethodEvent(event);
}

void DBMemo::insertFromMimeData(const QMimeData* source)
{
    ++m_userInput;
    const auto done = qScopeGuard([this] { --m_userInput; });
    QPlainTextEdit::insertFromMimeData(source);
}

void DBMemo::dropEvent(QDropEvent* event)
{
    ++m_userInput;
    const auto done = qScopeGuard([this] { --m_userInput; });
    QPlainTextEdit::dropEvent(event);
}
