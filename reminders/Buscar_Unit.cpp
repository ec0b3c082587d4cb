#include "reminders/Buscar_Unit.h"

#include <QLabel>
#include <QLineEdit>

TBuscar_Form* Buscar_Form = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TBuscar_Form::TBuscar_Form(QWidget* parent) : QDialog(parent)
{
    Label1 = new QLabel(this);
    Edit1 = new QLineEdit(this);
}
