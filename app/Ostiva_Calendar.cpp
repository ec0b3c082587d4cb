// The calendar's bold days: the shown month's reminders, queried once per month and
// handed to the calendar as one day mask per shown month.

#include "app/Ostiva_Unit.h"

#include "common/Rutines.h"
#include "core/DateText.h"
#include "core/Error.h"
#include "platform/MonthCalendarAdapter.h"
#include "store/Data_Unit.h"

#include <QCalendarWidget>
#include <QToolButton>

#include <optional>

namespace {
// Entry 0 of the day list is never written; entries 1 to 123 take the days in row order.
constexpr int kDayListSize = 124;
} // namespace

void TOstiva_Form::MonthCalendar1Click()
{
    // Nothing to mark while the store is switched off, or not created yet (start-up
    // selects today before the store exists).
    if (!ToolButton1()->isEnabled() || !DataModuleReminder)
        return;

    // Paging leaves Qt's selection where it was; the selection names the shown month.
    if (CalendarMarks)
        CalendarMarks->followShownMonth();
    const QDate selected = MonthCalendar1()->selectedDate();
    const MesAno month{selected.month(), selected.year()};

    if (month != MesConsultado) {
        MesConsultado = month;
        QString mes = QString::number(month.month);
        TRutines::RellenaCeros(mes, 2);
        const QString pattern = QStringLiteral("%/") + mes + QLatin1Char('/') + QString::number(month.year);
        engine::Query* query = DataModuleReminder->QueryReminderMes;
        query->setSql({QStringLiteral("SELECT *"), QStringLiteral("FROM Reminder.DB"),
                       QStringLiteral("WHERE CAST(Fecha AS CHAR(10)) LIKE \"") + pattern + QStringLiteral("\" "),
                       QStringLiteral("ORDER BY Hora")});
        query->execSql();
        query->open();
    }

    QVector<quint32> days(kDayListSize, 0);
    ConsultarBold(days);
    CalcularBold(days);
}

void TOstiva_Form::ConsultarBold(QVector<quint32>& days)
{
    if (!ToolButton1()->isEnabled() || !DataModuleReminder)
        return;
    if (days.size() < kDayListSize)
        days.resize(kDayListSize);

    static const QString fecha = QStringLiteral("Fecha");
    engine::Query* query = DataModuleReminder->QueryReminderMes;
    query->first();

    // Only the days matter: the month's different dates, one index entry each, when an
    // index gives them and all of them read. Otherwise every row is read below, which
    // reports the first date that does not read, in the query's order.
    if (const std::optional<QStringList> texts = query->distinctTexts(fecha)) {
        QVector<quint32> found;
        try {
            for (const QString& text : *texts)
                found.append(quint32(DateText::parseFecha(text).day()));
        } catch (const ConversionError&) {
            found.clear();
        }
        if (found.size() == texts->size()) {
            for (int i = 0; i < found.size(); ++i) {
                if (i + 1 < days.size())
                    days[i + 1] = found.at(i);
                else
                    days.append(found.at(i));
            }
            return;
        }
    }

    // The month's dates in the query's order, read in one go: a busy month has thousands
    // of rows, and walking them one by one would list them all first.
    const engine::FieldDef field = query->field(fecha);
    int i = 0;
    for (const engine::Dataset::RowValues& row : query->rowsWhere(QString(), QVariant(), {fecha})) {
        const QDate date = DateText::parseFecha(engine::Dataset::asStringOf(field, row.values.at(0)));
        ++i;
        // Rows beyond the list's 123 places are kept too, so a busy month loses no day.
        if (i < days.size())
            days[i] = quint32(date.day());
        else
            days.append(quint32(date.day()));
    }
}

void TOstiva_Form::CalcularBold(QVector<quint32> days)
{
    if (!CalendarMarks)
        return;
    const int months = CalendarMarks->monthRange();

    quint32 mask = 0;
    for (int i = 1; i < days.size(); ++i) {
        const quint32 day = days.at(i);
        if (day >= 1 && day <= 31)
            mask |= quint32(1) << (day - 1);
    }
    // Every shown month gets the same mask, the partly shown ones around the month too.
    const QVector<quint32> masks(months, mask);
    if (!CalendarMarks->setDayState(masks))
        throw PennaroError(QStringLiteral("El calendario no ha aceptado los días marcados"));
}
