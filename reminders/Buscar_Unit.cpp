#include "reminders/Buscar_Unit.h"

#include "ui_Buscar_Unit.h"

#include "platform/Guard.h"
#include "store/Data_Unit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TBuscar_Form* Buscar_Form = nullptr;

namespace {
const QString kBuscarRecordatorio = QStringLiteral("Buscar Recordatorio");
} // namespace

TBuscar_Form::TBuscar_Form(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TBuscar_Form>())
{
    ui->setupUi(this);
    // A fixed dialog border: no resizing, no help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Label1 = ui->Label1;
    Edit1 = ui->Edit1;

    connectGuarded(ui->BitBtn1, &QPushButton::clicked, this, &TBuscar_Form::BitBtn1Click);
    connectGuarded(ui->BitBtn2, &QPushButton::clicked, this, &TBuscar_Form::BitBtn2Click);
}

TBuscar_Form::~TBuscar_Form() = default;

void TBuscar_Form::BitBtn1Click()
{
    // The heading is the dialog's only mode.
    const QString text = Edit1->text();
    if (Label1->text() == kBuscarRecordatorio) {
        if (DataModuleReminder->TableReminder->value(QStringLiteral("ID")).isNull())
            return;
        DataModuleReminder->BuscarRecordatorio(text);
    } else {
        if (DataModuleReminder->TableLibreta->value(QStringLiteral("ID")).isNull())
            return;
        DataModuleReminder->BuscarDireccion(text);
    }
}

void TBuscar_Form::BitBtn2Click()
{
    close();
}
