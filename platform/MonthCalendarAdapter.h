#pragma once
// Stand-ins for the two calendar controls of the windows.
//
// MonthCalendarAdapter: day states for QCalendarWidget: how many months the widget shows (the shown month
// and the partly shown ones around it) and one day mask per shown month, bit k set
// meaning day k + 1 of that month is drawn bold. Each call replaces the bold days
// set by the previous one.

#include <QDate>
#include <QDateEdit>
#include <QObject>
#include <QPointer>
#include <QVector>

#include <optional>

class QCalendarWidget;

class MonthCalendarAdapter : public QObject
{
    Q_OBJECT
public:
    MonthCalendarAdapter(QCalendarWidget* calendar, QObject* parent);

    // Number of months with at least one day on the shown page, partly shown ones included.
    int monthRange() const;

    // One mask per shown month, first the leading partly shown month. Returns false (and
    // changes nothing) when the number of masks is not monthRange().
    bool setDayState(const QVector<quint32>& masks);

    // First and last date on the shown page (six weeks).
    QDate firstShownDate() const;
    QDate lastShownDate() const;

    // Dates currently drawn bold by this adapter.
    const QVector<QDate>& boldDates() const { return m_bold; }

    // Moves the selected date into the shown month when paging left it elsewhere (same
    // day number, or the month's last day), so the selection names the month on screen.
    void followShownMonth();

signals:
    // The user clicked the calendar (a day, an arrow, the title) or moved it with the
    // keys, or the program selected another date: once per such action, after the
    // selection has followed a change of page.
    void activated();

private:
    struct CalendarState
    {
        QDate selected;
        int year = 0;
        int month = 0;
        bool operator==(const CalendarState& o) const
        {
            return selected == o.selected && year == o.year && month == o.month;
        }
    };

    void clearBold();
    void calendarChanged();

    QPointer<QCalendarWidget> m_calendar;
    QVector<QDate> m_bold;
    std::optional<CalendarState> m_reported; // the state last reported in this pass of the loop
};

// The date picker: a QDateEdit with a calendar pop-up showing the system's long date
// form. userDateChanged() reports only the user's changes; a date set by the program
// with setDate() does not report, as the picker's change handlers expect.
class DatePicker : public QDateEdit
{
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

    // Sets the date without reporting it as the user's change.
    void setDate(QDate date);

signals:
    void userDateChanged(QDate date);

private:
    int m_settingDate = 0;
};
