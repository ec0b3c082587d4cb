#pragma once
// The address list window. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class TDataModuleReminder;

class TDirecciones_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TDirecciones_Form(QWidget* parent = nullptr);
};

extern TDirecciones_Form* Direcciones_Form;
