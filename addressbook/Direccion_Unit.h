#pragma once
// The address card editor. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class QTabWidget;
class QLineEdit;
class TDataModuleReminder;

class TDireccion_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TDireccion_Form(QWidget* parent = nullptr);
    QTabWidget* PageControl1 = nullptr;
    QLineEdit* Edit1 = nullptr;
};

extern TDireccion_Form* Direccion_Form;
