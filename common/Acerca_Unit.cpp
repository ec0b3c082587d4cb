#include "common/Acerca_Unit.h"


TAcerca_Form* Acerca_Form = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TAcerca_Form::TAcerca_Form(QWidget* parent) : QDialog(parent)
{
}
