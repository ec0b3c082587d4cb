#pragma once
// A dialog that ends only through its own buttons, so that the work a button does on
// the way out (saving, cancelling an edit, restarting the timer) is never skipped.
// Escape presses the cancel button; the title bar's close box presses it too, or does
// nothing where the dialog offers no way out but its buttons. The buttons' handlers end
// the dialog with finish().

#include <QDialog>

class QAbstractButton;

class ButtonClosedDialog : public QDialog
{
    Q_OBJECT
public:
    // What the title bar's close box does while the dialog shows.
    enum class CloseBox { PressesCancel, Ignored };

    explicit ButtonClosedDialog(QWidget* parent = nullptr);

    // Escape: presses the cancel button.
    void reject() override;

protected:
    // The button Escape presses, and what the close box does.
    void setCancelButton(QAbstractButton* button, CloseBox closeBox);
    // Ends the dialog as accepted; the only way it closes.
    void finish();

    void closeEvent(QCloseEvent* event) override;

private:
    QAbstractButton* m_cancel = nullptr;
    CloseBox m_closeBox = CloseBox::PressesCancel;
    bool m_finishing = false;
};
