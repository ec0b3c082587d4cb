#include "addressbook/Direccion_Unit.h"

#include <QTabWidget>
#include <QLineEdit>

TDireccion_Form* Direccion_Form = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TDireccion_Form::TDireccion_Form(QWidget* parent) : QDialog(parent)
{
    PageControl1 = new QTabWidget(this);
    Edit1 = new QLineEdit(this);
}
