#pragma once
// The search dialog, shared by reminders and address cards. Its heading says which
// table "&Buscar" searches; it stays open after a search so that the next press goes
// on from the record after the last match.

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class TDataModuleReminder;

namespace Ui {
class TBuscar_Form;
}

class TBuscar_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TBuscar_Form(QWidget* parent = nullptr);
    ~TBuscar_Form() override;

    std::unique_ptr<Ui::TBuscar_Form> ui;
    QLabel* Label1 = nullptr;   // the heading: "Buscar Recordatorio" or "Buscar Dirección"
    QLineEdit* Edit1 = nullptr; // the text searched for; kept between uses

    void BitBtn1Click(); // "&Buscar"
    void BitBtn2Click(); // "&Cancelar"
};

extern TBuscar_Form* Buscar_Form;
