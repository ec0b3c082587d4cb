#include "reminders/Reminder_Unit.h"

#include "ui_Reminder_Unit.h"

#include "platform/Guard.h"
#include "platform/Seams.h"
#include "store/Data_Unit.h"
#include "store/EditSession.h"

#include <QCloseEvent>
#include <QScopeGuard>
#include <QTimer>

TReminder_Form* Reminder_Form = nullptr;

TReminder_Form::TReminder_Form(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TReminder_Form>())
{
    ui->setupUi(this);
    DateTimePicker1 = ui->DateTimePicker1;

    // No buttons in the title bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    // Visible: the hour and the text; the key, the date and the sound flag are kept hidden.
    ui->DBGrid1->addColumn(QStringLiteral("ID"), QStringLiteral("ID"), -1, false);
    ui->DBGrid1->addColumn(QStringLiteral("Fecha"), QStringLiteral("Fecha"), -1, false);
    ui->DBGrid1->addColumn(QStringLiteral("Hora"), QStringLiteral("Hora"));
    ui->DBGrid1->addColumn(QStringLiteral("Recordatorio"), QStringLiteral("Recordatorio"), 255);
    ui->DBGrid1->addColumn(QStringLiteral("PlaySound"), QStringLiteral("PlaySound"), -1, false);

    connect(DateTimePicker1, &DatePicker::userDateChanged, this,
            [this] { guarded([this] { DateTimePicker1Change(); }); });
    connect(ui->DBGrid1, &DBGrid::doubleClicked, this, [this] { guarded([this] { DBGrid1DblClick(); }); });
    connect(ui->BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    connect(ui->BitBtn3, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn3Click(); }); });
    connect(ui->BitBtn4, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn4Click(); }); });
}

TReminder_Form::~TReminder_Form() = default;

void TReminder_Form::attachDataSources(TDataModuleReminder* data)
{
    ui->DBGrid1->setDataSource(data ? data->DataSourceQueryReminder : nullptr);
}

QDate TReminder_Form::day() const
{
    return DateTimePicker1->date();
}

void TReminder_Form::setDay(const QDate& day)
{
    DateTimePicker1->setDate(day);
}

void TReminder_Form::DateTimePicker1Change()
{
    DataModuleReminder->ReminderDia();
}

void TReminder_Form::DBGrid1DblClick()
{
    DataModuleReminder->EditarReminder();
}

void TReminder_Form::BitBtn2Click()
{
    DataModuleReminder->EditarReminder();
}

void TReminder_Form::BitBtn3Click()
{
    TDataModuleReminder* data = DataModuleReminder;
    engine::Query* day = data->QueryReminderDia;
    const QVariant id = (day->isActive() && !day->isEmpty()) ? day->value(QStringLiteral("ID")) : QVariant();
    if (id.isNull())
        return;
    if (!seams::askYesNo(QStringLiteral("¿eliminar Recordatorio?"), QStringLiteral("Atención"), this))
        return;

    engine::Table* table = data->TableReminder;
    // A reminder gone since the list was read is not looked for further: deleting the
    // table's current record instead would delete another reminder.
    if (table->findKey(id.toLongLong())) {
        table->remove();
        table->flushToDisk();
    }
    data->Actualizar();
    data->remindersChanged();
}

void TReminder_Form::BitBtn4Click()
{
    MinuteTimer::resume();
    finish();
}

void TReminder_Form::finish()
{
    m_finishing = true;
    auto reset = qScopeGuard([this] { m_finishing = false; });
    done(QDialog::Accepted);
}

void TReminder_Form::reject()
{
    if (m_finishing) {
        QDialog::reject();
        return;
    }
    ui->BitBtn4->click();
}

void TReminder_Form::closeEvent(QCloseEvent* event)
{
    if (m_finishing || !isVisible()) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    ui->BitBtn4->click();
}
