#pragma once
// A one-line edit bound to one field of the current record behind a data source.
// Typing starts an edit; the text is written into the record when the focus leaves
// the edit or the record is about to post. A text field's size limits the length.

#include "store/controls/DataAware.h"

#include <QLineEdit>

class DBEdit : public DataAware<QLineEdit>
{
    Q_OBJECT
public:
    explicit DBEdit(QWidget* parent = nullptr);

    // True when the text differs from the record and is still to be written.
    bool isModified() const { return m_link.isModified(); }

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showRecord();
    void userEdited();
};
