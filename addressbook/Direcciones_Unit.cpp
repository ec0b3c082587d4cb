#include "addressbook/Direcciones_Unit.h"

#include "ui_Direcciones_Unit.h"

#include "addressbook/Direccion_Unit.h"
#include "platform/BringToFront.h"
#include "platform/Guard.h"
#include "platform/Seams.h"
#include "reminders/Buscar_Unit.h"
#include "store/Data_Unit.h"

#include <QLabel>
#include <QLineEdit>

TDirecciones_Form* Direcciones_Form = nullptr;

TDirecciones_Form::TDirecciones_Form(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TDirecciones_Form>())
{
    ui->setupUi(this);

    DBGrid* grid = ui->DBGrid1;
    grid->addColumn(QStringLiteral("Nombre"));
    grid->addColumn(QStringLiteral("Email"), QString(), 200);
    grid->addColumn(QStringLiteral("Nick"));
    grid->addColumn(QStringLiteral("Direccion"), QStringLiteral("Dirección"));
    grid->addColumn(QStringLiteral("Ciudad"));
    grid->addColumn(QStringLiteral("Provincia"));
    grid->addColumn(QStringLiteral("CP"));
    grid->addColumn(QStringLiteral("Tel"), QStringLiteral("Teléfono"));
    grid->addColumn(QStringLiteral("Movil"));
    // Created after the data store: bind to it now.
    if (DataModuleReminder)
        grid->setDataSource(DataModuleReminder->DataSourceQueryLibreta);

    connectGuarded(ui->ComboBox2, qOverload<int>(&QComboBox::currentIndexChanged), this,
                   &TDirecciones_Form::ComboBox2Change);
    connectGuarded(ui->RadioButton1, &QRadioButton::clicked, this, &TDirecciones_Form::RadioButton1Click);
    connectGuarded(ui->RadioButton2, &QRadioButton::clicked, this, &TDirecciones_Form::RadioButton2Click);
    connectGuarded(grid, &DBGrid::doubleClicked, this, &TDirecciones_Form::DBGrid1DblClick);
    connectGuarded(ui->BitBtn1, &QPushButton::clicked, this, &TDirecciones_Form::BitBtn1Click);
    connectGuarded(ui->BitBtn2, &QPushButton::clicked, this, &TDirecciones_Form::BitBtn2Click);
    connectGuarded(ui->BitBtn3, &QPushButton::clicked, this, &TDirecciones_Form::BitBtn3Click);
    connectGuarded(ui->BitBtn4, &QPushButton::clicked, this, &TDirecciones_Form::BitBtn4Click);
    connectGuarded(ui->BitBtn5, &QPushButton::clicked, this, &TDirecciones_Form::BitBtn5Click);
}

TDirecciones_Form::~TDirecciones_Form() = default;

void TDirecciones_Form::EnviarConsulta()
{
    // Ascending also when neither button is checked.
    const bool ascending = ui->RadioButton1->isChecked() || !ui->RadioButton2->isChecked();
    DataModuleReminder->Consulta(TDataModuleReminder::kDireccionesFile, DataModuleReminder->QueryLibreta,
                                 ui->ComboBox2->currentText(), ascending);
}

void TDirecciones_Form::ComboBox2Change()
{
    EnviarConsulta();
}

void TDirecciones_Form::RadioButton1Click()
{
    EnviarConsulta();
}

void TDirecciones_Form::RadioButton2Click()
{
    EnviarConsulta();
}

void TDirecciones_Form::DBGrid1DblClick()
{
    DataModuleReminder->EditarDireccion();
}

void TDirecciones_Form::BitBtn1Click()
{
    DataModuleReminder->AnadirDireccion();
}

void TDirecciones_Form::BitBtn2Click()
{
    DataModuleReminder->EditarDireccion();
}

void TDirecciones_Form::BitBtn3Click()
{
    TDataModuleReminder* data = DataModuleReminder;
    // No card to delete: the table is empty, or a new card is being entered.
    if (data->TableLibreta->value(QStringLiteral("ID")).isNull())
        return;
    // Deleting would move the table under the card open in the editor, which would then
    // go on editing whatever record became current.
    if (Direccion_Form && Direccion_Form->isVisible()) {
        seams::showPlain(QStringLiteral("Cierre primero la ficha de dirección abierta."), this);
        return;
    }
    if (!seams::askYesNo(QStringLiteral("¿eliminar Dirección?"), QStringLiteral("Atención"), this))
        return;

    const QVariant id = data->QueryLibreta->value(QStringLiteral("ID"));
    if (id.isNull() || !data->TableLibreta->findKey(id.toLongLong())) {
        seams::showError(QStringLiteral("La dirección seleccionada ya no existe en la libreta; no se ha borrado nada"),
                         this);
        data->Actualizar();
        return;
    }
    data->TableLibreta->edit();
    data->TableLibreta->remove();
    data->TableLibreta->flushToDisk();
    data->Actualizar();
}

void TDirecciones_Form::BitBtn4Click()
{
    Buscar_Form->Label1->setText(QStringLiteral("Buscar Dirección"));
    bringToFront(Buscar_Form);
}

void TDirecciones_Form::BitBtn5Click()
{
    close();
}
