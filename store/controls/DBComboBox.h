#pragma once
// A combo box bound to one field of the current record behind a data source: either
// editable (pick an entry or type any text) or a drop-down list of its entries, as the
// form sets it. Picking or typing starts an edit; the text is written into the record
// when the focus leaves the combo box or the record is about to post.

#include "store/controls/DataAware.h"

#include <QComboBox>
#include <QPointer>

class QLineEdit;
class DBComboBox : public DataAware<QComboBox>
{
    Q_OBJECT
public:
    explicit DBComboBox(QWidget* parent = nullptr);

    // As QComboBox's, and the new line edit follows the record and its size limit.
    void setEditable(bool editable);
    void setLineEdit(QLineEdit* edit);

    bool isModified() const { return m_link.isModified(); }

protected:
    void showEvent(QShowEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showRecord();
    void hookLineEdit();
    void userChanged();

    QPointer<QLineEdit> m_hooked;
    int m_textLength = 0; // size of the bound text field, 0 for none
};
