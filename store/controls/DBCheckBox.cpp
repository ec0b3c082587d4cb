#include "store/controls/DBCheckBox.h"

#include "platform/Guard.h"

DBCheckBox::DBCheckBox(QWidget* parent)
    : DataAware(
          parent, [this] { setChecked(m_link.shownValue().toBool()); }, [this] { m_link.writeValue(isChecked()); })
{
    connect(this, &QCheckBox::clicked, this, &DBCheckBox::userClicked);
}

void DBCheckBox::userClicked(bool checked)
{
    const bool ok = guardedOk([&] {
        if (m_link.userEdit())
            m_link.writeValue(checked);
    });
    if (!ok || m_link.isModified() || !m_link.isEditing())
        m_link.reload(); // not written: show the record's value again
}
