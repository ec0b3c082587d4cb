#include "addressbook/Direcciones_Unit.h"


TDirecciones_Form* Direcciones_Form = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TDirecciones_Form::TDirecciones_Form(QWidget* parent) : QDialog(parent)
{
}
