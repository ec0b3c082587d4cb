#pragma once
// The alert dialog: shows the reminder on which TableReminder stands and offers its
// three actions, delete ("&Eliminar"), postpone or repeat ("&Repetir") and mark read
// ("&Leido"). Each action changes and saves that one record, then closes the dialog.

#include "platform/ButtonClosedDialog.h"
#include "platform/DesktopNotifier.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>
#include <QTime>
#include <QVariant>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class DBMemo;
class DBText;
class TDataModuleReminder;

namespace Ui {
class TOKBottomDlg;
}

// The date arithmetic of "&Repetir", free of windows and records.
namespace AlertDates {

// The postponement list, in order; the position (0 to 8) is what counts.
QStringList postponeChoices();

// New date and hour of a postponed reminder. `hora` is null when the hour stays.
struct Postponement
{
    QDate fecha;
    QTime hora;
};

// Postpones by the list entry `entry` (0 to 8) from `now`: entries 0 to 5 add 5, 10,
// 15, 30, 60 or 120 minutes to now cut to the minute (the date follows past midnight);
// 6 and 7 add one day or one week to now's date; 8 takes now's day in the next month
// (its last day when shorter). Calendar arithmetic only: no daylight-saving shifts.
// An entry outside 0 to 8 gives an invalid date.
Postponement postpone(int entry, const QDateTime& now);

// The next date of a repeating reminder stored for `stored`: steps of `count` days
// ("Día/s"), months ("Mes/es") or years ("Año/s") while `now` is later than the date at
// midnight. A day lowered to a shorter month's end stays lowered. Any other unit gives
// `stored` back; so does a count below 1.
QDate nextOccurrence(const QDate& stored, int count, const QString& unit, const QDateTime& now);

} // namespace AlertDates

// Left only through its three actions: Escape presses "&Repetir", the close box does nothing.
class TOKBottomDlg : public ButtonClosedDialog
{
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget* parent = nullptr);
    ~TOKBottomDlg() override;

    // Binds the data-aware controls to TableReminder (called when the store is created).
    void attachDataSources(TDataModuleReminder* data);

    std::unique_ptr<Ui::TOKBottomDlg> ui;
    QComboBox* ComboBox1 = nullptr; // postponement list; keeps its choice between alerts

    // Shows the alert, modal, for the reminder TableReminder stands on; `repeats` locks
    // the postponement list until one of the actions. True when an action closed it.
    bool alert(bool repeats);

    // --- handlers ----------------------------------------------------------
    void FormShow();
    void OKBtnClick();     // "&Eliminar"
    void CancelBtnClick(); // "&Repetir"
    void BitBtn1Click();   // "&Leido"

protected:
    void showEvent(QShowEvent* event) override;

private:
    DesktopNotifier::Notice desktopNotice() const;
};

extern TOKBottomDlg* OKBottomDlg;
