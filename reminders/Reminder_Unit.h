#pragma once
// The day list window. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class QDateEdit;
class TDataModuleReminder;

class TReminder_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TReminder_Form(QWidget* parent = nullptr);
    void attachDataSources(TDataModuleReminder* data);
    QDateEdit* DateTimePicker1 = nullptr;
};

extern TReminder_Form* Reminder_Form;
