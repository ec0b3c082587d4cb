#pragma once
// The day list: one date's reminders ordered by hour (the store's day query), with
// edit, delete after a question, and close. Modeless; hidden between uses.

#include "platform/ButtonClosedDialog.h"
#include "platform/MonthCalendarAdapter.h"

#include <memory>

class TDataModuleReminder;

namespace Ui {
class TReminder_Form;
}

// Escape and the window manager's close are "&Cerrar", which leaves the timer running.
class TReminder_Form : public ButtonClosedDialog
{
    Q_OBJECT
public:
    explicit TReminder_Form(QWidget* parent = nullptr);
    ~TReminder_Form() override;

    // Binds the grid to the day query (called when the store is created).
    void attachDataSources(TDataModuleReminder* data);

    std::unique_ptr<Ui::TReminder_Form> ui;
    DatePicker* DateTimePicker1 = nullptr; // the listed date

    // The listed day, and listing another one.
    QDate day() const;
    void setDay(const QDate& day);

    // --- handlers ----------------------------------------------------------
    void DateTimePicker1Change();
    void DBGrid1DblClick();
    void BitBtn2Click(); // "&Editar"
    void BitBtn3Click(); // "&Borrar"
    void BitBtn4Click(); // "&Cerrar"
};

extern TReminder_Form* Reminder_Form;
