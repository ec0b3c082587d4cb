// The minute tick: first today's due reminders, then the count towards the next
// mailbox check.

#include "app/Ostiva_Unit.h"

#include "core/Clock.h"
#include "core/DateText.h"
#include "mail/Correo_Unit.h"
#include "platform/Seams.h"
#include "reminders/Mensaje_Uni.h"
#include "store/Data_Unit.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QTimer>
#include <QToolButton>

namespace {

enum class Alert {
    Shown,     // the dialog was shown and acted upon
    Missing,   // the record is gone since the query ran
    Abandoned, // the dialog closed without an action (the program is ending)
};

// Raises one of today's reminders: the alert dialog, modal, with the timer off while it
// is open.
Alert raiseReminder(TOstiva_Form* form, TDataModuleReminder* data, const engine::Dataset::RowValues& row)
{
    if (AlertDates::repeatCount(row.values.at(2)) > 0)
        OKBottomDlg->ComboBox1->setEnabled(false);

    engine::Table* table = data->TableReminder;
    if (!table->findKey(row.id))
        return Alert::Missing;

    if (table->value(QStringLiteral("PlaySound")).toBool())
        seams::playSound(QStringLiteral("NOTIFY.WAV"));

    form->Timer1->stop();
    const int result = OKBottomDlg->exec();
    form->Timer1->start();
    return result == QDialog::Accepted ? Alert::Shown : Alert::Abandoned;
}

// Today's reminders whose hour has passed and that are not read, one alert each, in the
// order of the reminder query. Today's rows stand together in that order (it begins with
// the date text), so they are read straight from the file, not found by walking the
// query's rows.
void scanDueReminders(TOstiva_Form* form, TDataModuleReminder* data)
{
    // The start-up pass may have its alert open already: that reminder is being dealt
    // with, and a second alert would move the record under it.
    if (OKBottomDlg->isVisible())
        return;

    static const QString fecha = QStringLiteral("Fecha");
    static const QStringList fields{QStringLiteral("Hora"), QStringLiteral("Leido"), QStringLiteral("RepetirN")};
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

        const Alert alert = due ? raiseReminder(form, data, row) : Alert::Missing;
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

    if (ToolButton1()->isEnabled() && DataModuleReminder && OKBottomDlg)
        scanDueReminders(this, DataModuleReminder);

    ++ContadorCorreo;
    if (ContadorCorreo >= IntervaloCorreo) {
        ContadorCorreo = 0;
        if (!(Correo_Form && Correo_Form->isVisible()))
            BitBtn4Click();
    }
}
