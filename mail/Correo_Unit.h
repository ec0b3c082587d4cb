#pragma once
// The new-mail notice: how many messages wait for which account, with "&Correo" to
// start the mail program and "C&ancelar" to dismiss it. Not modal; shown by the mailbox
// check, always at the top-right corner of the screen.

#include <QDialog>

#include <functional>
#include <memory>

class CornerPlacement;
class QLabel;
class QPushButton;

namespace Ui {
class TCorreo_Form;
}

class TCorreo_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TCorreo_Form(QWidget* parent = nullptr);
    ~TCorreo_Form() override;

    std::unique_ptr<Ui::TCorreo_Form> ui;
    QLabel* Label1 = nullptr;     // the number of new messages
    QLabel* Label2 = nullptr;     // " e-mail nuevo para " / " e-mails nuevos para "
    QLabel* Label3 = nullptr;     // the account's user name
    QPushButton* BitBtn1() const; // "&Correo"
    QPushButton* BitBtn2() const; // "C&ancelar"

    // "&Correo": starts the mail program named on the main window's e-mail page,
    // maximised, and hides the notice. Also run directly by the mailbox check.
    void BitBtn1Click();
    // Where "&Correo" reads the mail program's text (the e-mail page sets it); none: "".
    static void setProgramSource(std::function<QString()> source);
    // The notice's texts are set: a desktop notification says the same (replacing the one
    // of an earlier check), and the task bar marks the notice.
    void announceOnDesktop();
    // "C&ancelar": hides the notice.
    void BitBtn2Click();
    // Placement at the top-right corner of the screen, on showing and on activation.
    void FormShow();
    void FormActivate();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    CornerPlacement* m_placement;
};

extern TCorreo_Form* Correo_Form;
