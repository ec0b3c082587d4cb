#include "reminders/Reminder_Unit.h"

#include "ui_Reminder_Unit.h"

#include "platform/Guard.h"
#include "platform/Seams.h"
#include "store/Data_Unit.h"
#include "store/EditSession.h"

#include <QTimer>

TReminder_Form* Reminder_Form = nullptr;

TReminder_Form::TReminder_Form(QWidget* parent) : ButtonClosedDialog(parent), ui(std::make_unique<Ui::TReminder_Form>())
{
    ui->setupUi(this);
    DateTimePicker1 = ui->DateTimePicker1;

    // No buttons in the title bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setCancelButton(ui->BitBtn4, CloseBox::PressesCancel);

    // Visible: the hour and the text; the key, the date and the sound flag are kept hidden.
    ui->DBGrid1->addColumn(QStringLiteral("ID"), QStringLiteral("ID"), -1, false);
    ui->DBGrid1->addColumn(QStringLiteral("Fecha"), QStringLiteral("Fecha"), -1, false);
    ui->DBGrid1->addColumn(QStringLiteral("Hora"), QStringLiteral("Hora"));
    ui->DBGrid1->addColumn(QStringLiteral("Recordatorio"), QStringLiteral("Recordatorio"), 255);
    ui->DBGrid1->addColumn(QStringLiteral("PlaySound"), QStringLiteral("PlaySound"), -1, false);

    connectGuarded(DateTimePicker1, &DatePicker::userDateChanged, this, &TReminder_Form::DateTimePicker1Change);
    connectGuarded(ui->DBGrid1, &DBGrid::doubleClicked, this, &TReminder_Form::DBGrid1DblClick);
    connectGuarded(ui->BitBtn2, &QPushButton::clicked, this, &TReminder_Form::BitBtn2Click);
    connectGuarded(ui->BitBtn3, &QPushButton::clicked, this, &TReminder_Form::BitBtn3Click);
    connectGuarded(ui->BitBtn4, &QPushButton::clicked, this, &TReminder_Form::BitBtn4Click);
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
