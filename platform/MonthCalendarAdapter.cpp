#include "platform/MonthCalendarAdapter.h"

#include <QCalendarWidget>
#include <QFont>
#include <QLocale>
#include <QTextCharFormat>
#include <QTimer>

namespace {
// QCalendarWidget shows six weeks and always at least one day of the previous month.
constexpr int kShownDays = 42;
constexpr int kMinimumLeadingDays = 1;
} // namespace

MonthCalendarAdapter::MonthCalendarAdapter(QCalendarWidget* calendar, QObject* parent)
    : QObject(parent), m_calendar(calendar)
{
    if (!m_calendar)
        return;
    connect(m_calendar, &QCalendarWidget::currentPageChanged, this, [this] {
        followShownMonth();
        calendarChanged();
    });
    connect(m_calendar, &QCalendarWidget::selectionChanged, this, &MonthCalendarAdapter::calendarChanged);
    connect(m_calendar, &QCalendarWidget::clicked, this, &MonthCalendarAdapter::calendarChanged);
}

// One click or key press can emit up to three of the calendar's signals (a page arrow
// changes the page, which moves the selection; a day click selects and clicks). They all
// leave the calendar in the same state, so within one pass of the event loop a signal
// that finds the state already reported is the same action, and is dropped.
void MonthCalendarAdapter::calendarChanged()
{
    const CalendarState state{m_calendar->selectedDate(), m_calendar->yearShown(), m_calendar->monthShown()};
    if (m_reported && *m_reported == state)
        return;
    if (!m_reported)
        QTimer::singleShot(0, this, [this] { m_reported.reset(); });
    m_reported = state;
    emit activated();
}

QDate MonthCalendarAdapter::firstShownDate() const
{
    if (!m_calendar)
        return {};
    const QDate first(m_calendar->yearShown(), m_calendar->monthShown(), 1);
    int leading = (first.dayOfWeek() - int(m_calendar->firstDayOfWeek()) + 7) % 7;
    if (leading < kMinimumLeadingDays)
        leading += 7;
    return first.addDays(-leading);
}

QDate MonthCalendarAdapter::lastShownDate() const
{
    const QDate first = firstShownDate();
    return first.isValid() ? first.addDays(kShownDays - 1) : QDate();
}

int MonthCalendarAdapter::monthRange() const
{
    const QDate first = firstShownDate();
    if (!first.isValid())
        return 0;
    const QDate last = lastShownDate();
    return (last.year() - first.year()) * 12 + last.month() - first.month() + 1;
}

bool MonthCalendarAdapter::setDayState(const QVector<quint32>& masks)
{
    const int months = monthRange();
    if (months == 0 || masks.size() != months)
        return false;

    clearBold();
    const QDate first = firstShownDate();
    const QDate last = lastShownDate();
    QDate month(first.year(), first.month(), 1);
    for (int i = 0; i < months; ++i, month = month.addMonths(1)) {
        const quint32 mask = masks.at(i);
        for (int day = 1; day <= month.daysInMonth(); ++day) {
            if (!(mask & (quint32(1) << (day - 1))))
                continue;
            const QDate date(month.year(), month.month(), day);
            if (date < first || date > last)
                continue;
            QTextCharFormat format = m_calendar->dateTextFormat(date);
            format.setFontWeight(QFont::Bold);
            m_calendar->setDateTextFormat(date, format);
            m_bold.append(date);
        }
    }
    return true;
}

void MonthCalendarAdapter::clearBold()
{
    for (const QDate& date : qAsConst(m_bold)) {
        QTextCharFormat format = m_calendar->dateTextFormat(date);
        format.clearProperty(QTextFormat::FontWeight);
        m_calendar->setDateTextFormat(date, format.properties().isEmpty() ? QTextCharFormat() : format);
    }
    m_bold.clear();
}

void MonthCalendarAdapter::followShownMonth()
{
    if (!m_calendar)
        return;
    const QDate selected = m_calendar->selectedDate();
    const int year = m_calendar->yearShown();
    const int month = m_calendar->monthShown();
    if (selected.year() == year && selected.month() == month)
        return;
    const QDate first(year, month, 1);
    m_calendar->setSelectedDate(QDate(year, month, qMin(selected.day(), first.daysInMonth())));
}

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(QLocale::system().dateFormat(QLocale::LongFormat));
    if (QCalendarWidget* popup = calendarWidget())
        popup->setFirstDayOfWeek(Qt::Monday);
    connect(this, &QDateEdit::dateChanged, this, [this](QDate date) {
        if (m_settingDate == 0)
            emit userDateChanged(date);
    });
}

void DatePicker::setDate(QDate date)
{
    ++m_settingDate;
    QDateEdit::setDate(date);
    --m_settingDate;
}
