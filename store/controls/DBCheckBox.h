#pragma once
// A check box bound to a Boolean field of the current record behind a data source:
// ticked means true, a null field shows unticked. A click starts an edit and writes
// the new value into the record at once.

#include "store/controls/DataAware.h"

#include <QCheckBox>

class DBCheckBox : public DataAware<QCheckBox>
{
    Q_OBJECT
public:
    explicit DBCheckBox(QWidget* parent = nullptr);

private:
    void userClicked(bool checked);
};
