// The minute tick: first today's due reminders, then the count towards the next
// mailbox check.

#include "app/Ostiva_Unit.h"

#include "common/Clock.h"
#include "common/DateText.h"
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

// Raises the reminder on which the reminder query stands: the alert dialog, modal, with
// the timer off while it is open.
Alert raiseReminder(TOstiva_Form* form, TDataModuleReminder* data)
{
    engine::Query* query = data->QueryReminder;
    if (AlertDates::repeatCount(query->value(QStringLiteral("RepetirN"))) > 0)
        OKBottomDlg->ComboBox1->setEnabled(false);

    engine::Table* table = data->TableReminder;
    if (!table->findKey(query->asInteger(QStringLiteral("Id"))))
        return Alert::Missing;

    if (table->value(QStringLiteral("PlaySound")).toBool())
        seams::playSound(QStringLiteral("NOTIFY.WAV"));

    form->Timer1->stop();
    const int result = OKBottomDlg->exec();
    form->Timer1->start();
    return result == QDialog::Accepted ? Alert::Shown : Alert::Abandoned;
}

// Today's reminders whose hour has passed and that are not read, one alert each.
void scanDueReminders(TOstiva_Form* form, TDataModuleReminder* data)
{
    // The start-up pass may have its alert open already: that reminder is being dealt
    // with, and a second alert would move the record under it.
    if (OKBottomDlg->isVisible())
        return;

    const QString today = DateText::fecha(Clock::today());
    if (!data->Localizar(QStringLiteral("Fecha"), today))
        return;

    engine::Query* query = data->QueryReminder;
    for (;;) {
        if (query->value(QStringLiteral("Fecha")).toString() != today)
            return;

        // Both hours in whole seconds, now written as the long time text and read back.
        const QTime hour = DateText::parseHora(query->asString(QStringLiteral("Hora")));
        const QTime now = DateText::parseHora(DateText::longTime(Clock::now().time()));
        const QVariant read = query->value(QStringLiteral("Leido"));
        const bool due = hour < now && !read.isNull() && !read.toBool();

        const Alert alert = due ? raiseReminder(form, data) : Alert::Missing;
        if (alert == Alert::Abandoned)
            return;
        if (alert == Alert::Missing) { // not due, or gone: the next row
            query->next();
            if (query->eof())
                return;
            continue;
        }
        // The alert changed the table, so the query ran again and stands on its first row:
        // the scan goes on only while that row is today's.
        if (query->isEmpty())
            return;
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
