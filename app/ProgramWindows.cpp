#include "app/ProgramWindows.h"

#include "addressbook/Direccion_Unit.h"
#include "app/Ostiva_Unit.h"
#include "platform/BringToFront.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Mensaje_Uni.h"
#include "reminders/Reminder_Unit.h"

#include <QCalendarWidget>

void ProgramWindows::attachDataSources(TDataModuleReminder* data)
{
    if (Ostiva_Form)
        Ostiva_Form->attachDataSources(data);
    if (OKBottomDlg)
        OKBottomDlg->attachDataSources(data);
    if (Reminder_Form)
        Reminder_Form->attachDataSources(data);
}

QDate ProgramWindows::selectedDay() const
{
    return Ostiva_Form ? Ostiva_Form->MonthCalendar1()->selectedDate() : QDate();
}

void ProgramWindows::remindersChanged()
{
    if (Ostiva_Form)
        Ostiva_Form->MonthCalendar1Click();
}

QDate ProgramWindows::listedDay() const
{
    return Reminder_Form ? Reminder_Form->day() : QDate();
}

void ProgramWindows::showDay(const QDate& day)
{
    if (Reminder_Form)
        Reminder_Form->setDay(day);
}

bool ProgramWindows::alertOpen() const
{
    return OKBottomDlg && OKBottomDlg->isVisible();
}

bool ProgramWindows::showAlert(bool repeats)
{
    return OKBottomDlg && OKBottomDlg->alert(repeats);
}

QWidget* ProgramWindows::reminderEditorShowing() const
{
    return AddReminder_Form && AddReminder_Form->isVisible() ? AddReminder_Form : nullptr;
}

void ProgramWindows::openReminderEditor(const QDate& day, bool newReminder)
{
    if (AddReminder_Form)
        AddReminder_Form->openFor(day, newReminder);
}

void ProgramWindows::runReminderEditor(const QDate& day)
{
    if (AddReminder_Form)
        AddReminder_Form->runFor(day);
}

bool ProgramWindows::cardEditorOpen() const
{
    return Direccion_Form && Direccion_Form->isVisible();
}

void ProgramWindows::prepareCardEditor()
{
    if (Direccion_Form)
        Direccion_Form->prepareForCard();
}

void ProgramWindows::openCardEditor()
{
    if (Direccion_Form) {
        bringToFront(Direccion_Form);
    }
}

void ProgramWindows::runCardEditor()
{
    if (Direccion_Form)
        Direccion_Form->exec();
}
