#pragma once
// The new-mail notice. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class QLabel;
class QLabel;
class QLabel;
class TDataModuleReminder;

class TCorreo_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TCorreo_Form(QWidget* parent = nullptr);
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
};

extern TCorreo_Form* Correo_Form;
