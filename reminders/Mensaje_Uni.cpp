#include "reminders/Mensaje_Uni.h"

#include <QComboBox>

TOKBottomDlg* OKBottomDlg = nullptr;

// Not built yet: the window's controls and behaviour come with its own work.
TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent)
{
    ComboBox1 = new QComboBox(this);
}

void TOKBottomDlg::attachDataSources(TDataModuleReminder*) {}
