#pragma once
// What the data store asks of the windows, in the store's own words. The application
// implements it over its windows; the store never sees a window or its controls.
//
// Calls are made on the user-interface thread and may raise (a window's handler runs
// inside some of them), so this is a plain interface and not signals.

#include <QDate>

class QWidget;
class TDataModuleReminder;

class StoreWindows
{
public:
    virtual ~StoreWindows() = default;

    // The store is made: windows made before it bind their data-aware controls to it.
    virtual void attachDataSources(TDataModuleReminder* data) = 0;

    // --- reminders ---------------------------------------------------------------
    // The day selected on the main calendar: where a new reminder goes.
    virtual QDate selectedDay() const = 0;
    // Reminders were loaded or changed: the calendar marks are drawn again.
    virtual void remindersChanged() = 0;
    // The day the day list shows, and moving it there (its list follows).
    virtual QDate listedDay() const = 0;
    virtual void showDay(const QDate& day) = 0;

    // Whether the alert is open.
    virtual bool alertOpen() const = 0;
    // Shows the alert, modal, for the reminder TableReminder stands on. A repeating
    // reminder is not postponed by the list, so `repeats` locks it. True when one of the
    // alert's actions closed it (false: closed without one, as when the program ends).
    virtual bool showAlert(bool repeats) = 0;

    // The reminder entry form while it shows (a parent for messages), else null.
    virtual QWidget* reminderEditorShowing() const = 0;
    // Opens the entry form modeless on TableReminder's pending record, its date on
    // `day`. A new reminder's repeat arrows start from 0.
    virtual void openReminderEditor(const QDate& day, bool newReminder) = 0;
    // The same, modal: returns when the form is closed.
    virtual void runReminderEditor(const QDate& day) = 0;

    // --- address cards -------------------------------------------------------------
    virtual bool cardEditorOpen() const = 0;
    // The card editor opens on its first page with an empty e-mail input box.
    virtual void prepareCardEditor() = 0;
    // Opens the card editor on TableLibreta's pending record: modeless, or modal
    // returning when it is closed.
    virtual void openCardEditor() = 0;
    virtual void runCardEditor() = 0;
};
