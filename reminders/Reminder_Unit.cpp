#include "reminders/Reminder_Unit.h"

#include <QDateEdit>

TReminder_Form* Reminder_Form = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TReminder_Form::TReminder_Form(QWidget* parent) : QDialog(parent)
{
    DateTimePicker1 = new QDateEdit(this);
}

void TReminder_Form::attachDataSources(TDataModuleReminder*) {}
