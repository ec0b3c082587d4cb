#pragma once
// The reminder entry form: edits the record on which TableReminder stands, already put
// into insert or edit state by the store's operation that opened the form. "&Aceptar"
// normalises the hour, checks and saves the record; "&Cancelar" drops it. Shown either
// modeless (add, edit) or modal (search).

#include "platform/ButtonClosedDialog.h"
#include "platform/MonthCalendarAdapter.h"

#include <QSpinBox>

#include <memory>

class TDataModuleReminder;

namespace Ui {
class TAddReminder_Form;
}

// A pair of up/down arrows beside an edit. Each press reports its direction through
// arrowClicked(); the arrows' own position is kept in 0..1000 but means nothing to the form.
class UpDownArrows : public QSpinBox
{
    Q_OBJECT
public:
    explicit UpDownArrows(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void arrowClicked(bool up);

protected:
    StepEnabled stepEnabled() const override;
};

// Escape and the window manager's close are "&Cancelar", so the record and the timer are
// not left behind.
class TAddReminder_Form : public ButtonClosedDialog
{
    Q_OBJECT
public:
    explicit TAddReminder_Form(QWidget* parent = nullptr);
    ~TAddReminder_Form() override;

    std::unique_ptr<Ui::TAddReminder_Form> ui;
    DatePicker* DateTimePicker1 = nullptr;
    UpDownArrows* UpDown1 = nullptr;

    // Opens the form on the pending record of TableReminder with its date on `day`:
    // modeless, or modal returning when the form is closed. A new reminder's repeat
    // arrows start from 0.
    void openFor(const QDate& day, bool newReminder);
    void runFor(const QDate& day);

    // --- handlers ----------------------------------------------------------
    void DateTimePicker1Change();
    void UpDown1Click(bool up);
    void BitBtn1Click(); // "&Aceptar"
    void BitBtn2Click(); // "&Cancelar"

private:
    void bind(TDataModuleReminder* data);
};

extern TAddReminder_Form* AddReminder_Form;
