// The minute tick: first the reminders (a catch-up pass over past days when a new day or
// a wake-up asks for one, then today's due reminders), then the count towards the next
// mailbox check.

#include "app/Ostiva_Unit.h"

#include "app/ReminderCatchUp.h"
#include "core/Clock.h"
#include "core/DateText.h"
#include "mail/Correo_Unit.h"
#include "reminders/Mensaje_Uni.h"
#include "store/Data_Unit.h"

#include <QCoreApplication>
#include <QTimer>
#include <QToolButton>

namespace {

using Alert = TDataModuleReminder::Alert;

// Today's reminders whose hour has passed and that are not read, one alert each, in the
// order of the reminder query. Today's rows stand together in that order (it begins with
// the date text), so they are read straight from the file, not found by walking the
// query's rows.
void scanDueReminders(TDataModuleReminder* data)
{
    static const QString fecha = QStringLiteral("Fecha");
    static const QStringList fields{QStringLiteral("Hora"), QStringLiteral("Leido")};
    const QString today = DateText::fecha(Clock::today());
    engine::Query* query = data->QueryReminder;
    QVector<engine::Dataset::RowValues> rows = query->rowsWhere(fecha, today, fields);
    if (rows.isEmpty())
        return;
    const engine::FieldDef horaField = query->field(fields.at(0));

    // Now in whole seconds, written as the long time text and read back. Read once per
    // pass and again after each alert, the only step during which time goes by: the
    // system clock costs more than a row.
    auto wholeSecondsNow = [] { return DateText::parseHora(DateText::longTime(Clock::now().time())); };
    QTime now = wholeSecondsNow();
    for (int i = 0; i < rows.size();) {
        const engine::Dataset::RowValues& row = rows.at(i);
        const QTime hour = DateText::parseHora(engine::Dataset::asStringOf(horaField, row.values.at(0)));
        const QVariant read = row.values.at(1);
        const bool due = hour < now && !read.isNull() && !read.toBool();

        // The timer is off while the alert is open, so that ticks do not nest there.
        const Alert alert = due ? data->raiseAlert(row.id, true) : Alert::Missing;
        if (alert == Alert::Abandoned)
            return;
        if (alert == Alert::Missing) { // not due, or gone: the next row
            ++i;
            continue;
        }
        // The alert changed the table, so the query ran again and stands on its first row:
        // the scan goes on from there only while that row is today's.
        const QVector<engine::Dataset::RowValues> first = query->rowsWhere(QString(), QVariant(), {fecha}, 1);
        if (first.isEmpty() || first.at(0).values.at(0).toString() != today)
            return;
        rows = query->rowsWhere(fecha, today, fields);
        i = 0;
        now = wholeSecondsNow();
    }
}

} // namespace

void TOstiva_Form::Timer1Timer()
{
    if (Terminating || QCoreApplication::closingDown()) {
        Timer1->stop();
        return;
    }

    // What an import beside the running program wrote shows at the next tick.
    if (DataModuleReminder)
        DataModuleReminder->refreshIfChangedElsewhere();
    if (ReminderCatchUp* catchUp = ReminderCatchUp::of(this))
        catchUp->tick();
    RemindersPass();

    ++ContadorCorreo;
    if (ContadorCorreo >= IntervaloCorreo) {
        ContadorCorreo = 0;
        if (!(Correo_Form && Correo_Form->isVisible()))
            BitBtn4Click();
    }
}

void TOstiva_Form::RemindersPass()
{
    if (!(ToolButton1()->isEnabled() && DataModuleReminder && OKBottomDlg))
        return;
    // The start-up pass may have its alert open already: that reminder is being dealt
    // with, and a second alert would move the record under it. A waiting catch-up pass
    // keeps waiting.
    if (OKBottomDlg->isVisible())
        return;
    // Past days first, in the start-up order, then today's. The pass is taken before it
    // runs: one that fails on a record is not repeated at every tick.
    ReminderCatchUp* catchUp = ReminderCatchUp::of(this);
    if (catchUp && catchUp->takePass())
        DataModuleReminder->alertOverdue(true);
    scanDueReminders(DataModuleReminder);
}
