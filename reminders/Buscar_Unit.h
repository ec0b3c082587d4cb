#pragma once
// The search dialog. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class QLabel;
class QLineEdit;
class TDataModuleReminder;

class TBuscar_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TBuscar_Form(QWidget* parent = nullptr);
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
};

extern TBuscar_Form* Buscar_Form;
