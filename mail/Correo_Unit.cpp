#include "mail/Correo_Unit.h"

#include <QLabel>
#include <QLabel>
#include <QLabel>

TCorreo_Form* Correo_Form = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TCorreo_Form::TCorreo_Form(QWidget* parent) : QDialog(parent)
{
    Label1 = new QLabel(this);
    Label2 = new QLabel(this);
    Label3 = new QLabel(this);
}
