#pragma once
// The about box. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class TDataModuleReminder;

class TAcerca_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TAcerca_Form(QWidget* parent = nullptr);
};

extern TAcerca_Form* Acerca_Form;
