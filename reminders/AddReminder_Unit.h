#pragma once
// The reminder entry form. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class QDateEdit;
class QSpinBox;
class TDataModuleReminder;

class TAddReminder_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TAddReminder_Form(QWidget* parent = nullptr);
    QDateEdit* DateTimePicker1 = nullptr;
    QSpinBox* UpDown1 = nullptr;
};

extern TAddReminder_Form* AddReminder_Form;
