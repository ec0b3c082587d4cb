#include "reminders/AddReminder_Unit.h"

#include <QDateEdit>
#include <QSpinBox>

TAddReminder_Form* AddReminder_Form = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TAddReminder_Form::TAddReminder_Form(QWidget* parent) : QDialog(parent)
{
    DateTimePicker1 = new QDateEdit(this);
    UpDown1 = new QSpinBox(this);
}
