#pragma once
// The program's windows as the data store sees them: each request goes to the window
// that answers it, through that window's own methods. Windows not made yet (or gone)
// are passed over, as the store may run before all of them exist.

#include "store/StoreWindows.h"

class ProgramWindows : public StoreWindows
{
public:
    void attachDataSources(TDataModuleReminder* data) override;
    QDate selectedDay() const override;
    void remindersChanged() override;
    QDate listedDay() const override;
    void showDay(const QDate& day) override;
    bool alertOpen() const override;
    bool showAlert(bool repeats) override;
    QWidget* reminderEditorShowing() const override;
    void openReminderEditor(const QDate& day, bool newReminder) override;
    void runReminderEditor(const QDate& day) override;
    bool cardEditorOpen() const override;
    void prepareCardEditor() override;
    void openCardEditor() override;
    void runCardEditor() override;
};
