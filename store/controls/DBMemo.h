#pragma once
// A multi-line text bound to one field of the current record behind a data source.
// Typing starts an edit; the text is written into the record when the focus leaves the
// memo or the record is about to post.
// A length limit (setMaxLength, or the size of a sized text field) cuts typed or pasted
// text; a Memo field has none.

#include "store/controls/DataAware.h"

#include <QPlainTextEdit>

class DBMemo : public DataAware<QPlainTextEdit>
{
    Q_OBJECT
public:
    explicit DBMemo(QWidget* parent = nullptr);

    // At most this many characters (0: no limit of its own). The bound field's size,
    // when smaller, limits too. Text already there is not cut.
    void setMaxLength(int length) { m_maxLength = qMax(0, length); }
    int maxLength() const { return m_maxLength; }
    // The limit in force: the smaller of maxLength() and a sized text field's size; 0 for none.
    int effectiveMaxLength() const;

    bool isModified() const { return m_link.isModified(); }

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showRecord();
    void textChangedByAnyone();
    bool isUserChange() const;
    void cutToLimit(int grown);

    int m_maxLength = 0;
    int m_fieldLength = 0; // size of the bound text field, 0 for none
    int m_userInput = 0;   // depth of user input handlers running
    bool m_cutting = false;
    int m_length = 0; // characters after the latest change
};
