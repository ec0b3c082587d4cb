#pragma once
// The address list window: every card in a grid over the address query, a choice of
// order field and direction, and the commands to add, edit, delete and search cards.
// It keeps no data of its own; every action goes through the data store.

#include <QDialog>

#include <memory>

class TDataModuleReminder;

namespace Ui {
class TDirecciones_Form;
}

class TDirecciones_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TDirecciones_Form(QWidget* parent = nullptr);
    ~TDirecciones_Form() override;

    std::unique_ptr<Ui::TDirecciones_Form> ui;

    // Re-sorts the list by the chosen field and direction.
    void EnviarConsulta();

    void ComboBox2Change();
    void RadioButton1Click();
    void RadioButton2Click();
    void DBGrid1DblClick();
    void BitBtn1Click(); // "Añadir"
    void BitBtn2Click(); // "&Editar"
    void BitBtn3Click(); // "&Borrar"
    void BitBtn4Click(); // "&Buscar"
    void BitBtn5Click(); // "&Cerrar"
};

extern TDirecciones_Form* Direcciones_Form;
