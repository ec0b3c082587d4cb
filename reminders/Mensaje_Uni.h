#pragma once
// The alert dialog. NOT BUILT YET: only the members that start-up touches exist.

#include <QDialog>

class QComboBox;
class TDataModuleReminder;

class TOKBottomDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget* parent = nullptr);
    void attachDataSources(TDataModuleReminder* data);
    QComboBox* ComboBox1 = nullptr;
};

extern TOKBottomDlg* OKBottomDlg;
