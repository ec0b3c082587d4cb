#include "reminders/AddReminder_Unit.h"

#include "ui_AddReminder_Unit.h"

#include "core/DateText.h"
#include "platform/BringToFront.h"
#include "platform/Guard.h"
#include "platform/Seams.h"
#include "store/Data_Unit.h"
#include "store/EditSession.h"

#include <QLineEdit>
#include <QTimer>

TAddReminder_Form* AddReminder_Form = nullptr;

namespace {

constexpr int kMaxRepeatCount = 31;

// A field that is null or holds only blanks.
bool isBlank(const QVariant& value)
{
    return value.isNull() || value.toString().trimmed().isEmpty();
}

// Puts a browsing table into edit state; one already editing or inserting stays so.
void ensureEditing(engine::Table* table)
{
    if (table->state() == engine::DataState::Browse)
        table->edit();
}

} // namespace

// --- up/down arrows ---------------------------------------------------------------

UpDownArrows::UpDownArrows(QWidget* parent) : QSpinBox(parent)
{
    setRange(0, 1000);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Only the arrows show; the count is shown by the edit beside them.
    lineEdit()->hide();
}

void UpDownArrows::stepBy(int steps)
{
    if (steps == 0)
        return;
    emit arrowClicked(steps > 0);
    QSpinBox::stepBy(steps);
}

QAbstractSpinBox::StepEnabled UpDownArrows::stepEnabled() const
{
    // Every press is reported, whatever the arrows' own position.
    return StepUpEnabled | StepDownEnabled;
}

QSize UpDownArrows::sizeHint() const
{
    return {18, QSpinBox::sizeHint().height()};
}

QSize UpDownArrows::minimumSizeHint() const
{
    return sizeHint();
}

// --- the form ---------------------------------------------------------------------

TAddReminder_Form::TAddReminder_Form(QWidget* parent)
    : ButtonClosedDialog(parent), ui(std::make_unique<Ui::TAddReminder_Form>())
{
    ui->setupUi(this);
    DateTimePicker1 = ui->DateTimePicker1;
    UpDown1 = ui->UpDown1;

    // No buttons in the title bar, on top of the other windows.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setCancelButton(ui->BitBtn2, CloseBox::PressesCancel);
    ui->DBMemo1->setMaxLength(255);

    connectGuarded(DateTimePicker1, &DatePicker::userDateChanged, this, &TAddReminder_Form::DateTimePicker1Change);
    connectGuarded(UpDown1, &UpDownArrows::arrowClicked, this, &TAddReminder_Form::UpDown1Click);
    connectGuarded(ui->BitBtn1, &QPushButton::clicked, this, &TAddReminder_Form::BitBtn1Click);
    connectGuarded(ui->BitBtn2, &QPushButton::clicked, this, &TAddReminder_Form::BitBtn2Click);

    // Created after the data store: bind to it now.
    bind(DataModuleReminder);
}

TAddReminder_Form::~TAddReminder_Form() = default;

void TAddReminder_Form::bind(TDataModuleReminder* data)
{
    engine::DataSource* source = data ? data->DataSourceTableReminder : nullptr;
    ui->DBComboBox1->setDataSource(source);
    ui->DBComboBox1->setDataField(QStringLiteral("Hora"));
    ui->DBCheckBox1->setDataSource(source);
    ui->DBCheckBox1->setDataField(QStringLiteral("PlaySound"));
    ui->DBEdit2->setDataSource(source);
    ui->DBEdit2->setDataField(QStringLiteral("RepetirN"));
    ui->DBComboBox2->setDataSource(source);
    ui->DBComboBox2->setDataField(QStringLiteral("RepetirS"));
    ui->DBMemo1->setDataSource(source);
    ui->DBMemo1->setDataField(QStringLiteral("Recordatorio"));
    ui->DBCheckBox2->setDataSource(source);
    ui->DBCheckBox2->setDataField(QStringLiteral("Leido"));
}

void TAddReminder_Form::openFor(const QDate& day, bool newReminder)
{
    if (newReminder)
        UpDown1->setValue(0);
    DateTimePicker1->setDate(day);
    bringToFront(this);
}

void TAddReminder_Form::runFor(const QDate& day)
{
    DateTimePicker1->setDate(day);
    exec();
}

void TAddReminder_Form::DateTimePicker1Change()
{
    engine::Table* table = DataModuleReminder->TableReminder;
    const QString text = DateText::fecha(DateTimePicker1->date());
    ensureEditing(table);
    table->setValue(QStringLiteral("Fecha"), text);
}

void TAddReminder_Form::UpDown1Click(bool up)
{
    bool ok = false;
    int count = ui->DBEdit2->text().trimmed().toInt(&ok, 10);
    if (!ok)
        count = 0;
    if (up && count < kMaxRepeatCount)
        ++count;
    else if (!up && count > 0)
        --count;

    // The count goes into the record (and so into the edit bound to it) until the post.
    engine::Table* table = DataModuleReminder->TableReminder;
    ensureEditing(table);
    table->setValue(QStringLiteral("RepetirN"), QString::number(count));
}

void TAddReminder_Form::BitBtn1Click()
{
    TDataModuleReminder* data = DataModuleReminder;
    engine::Table* table = data->TableReminder;
    // What is typed but not yet written (the focus may still be in the hour) counts.
    data->DataSourceTableReminder->requestUpdateRecord();

    const std::optional<QTime> hour = DateText::tryParseHora(table->value(QStringLiteral("Hora")).toString());
    if (!hour) {
        seams::showPlain(QStringLiteral("Hora incorrecta"), this);
        return;
    }
    ensureEditing(table);
    table->setValue(QStringLiteral("Hora"), DateText::hora(*hour));

    if (!isBlank(table->value(QStringLiteral("RepetirN"))) && isBlank(table->value(QStringLiteral("RepetirS")))) {
        seams::showPlain(QStringLiteral("Falta introducir repetir recordatorio"), this);
        return;
    }
    if (isBlank(table->value(QStringLiteral("Recordatorio")))) {
        seams::showPlain(QStringLiteral("Falta introducir Recordatorio"), this);
        return;
    }

    table->post();
    table->flushToDisk();
    data->Actualizar();
    data->remindersChanged();
    MinuteTimer::resume();
    finish();
}

void TAddReminder_Form::BitBtn2Click()
{
    DataModuleReminder->CancelarReminder();
    MinuteTimer::resume();
    finish();
}
