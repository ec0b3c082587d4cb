#pragma once
// The about box: product, version, the maker's logo, e-mail and web address. Its one
// button also keeps the last six keys pressed on it; typing one of two fixed words
// there opens the maker's web address.

#include <QByteArray>
#include <QDialog>
#include <QPoint>
#include <QUrl>

#include <memory>

class QKeyEvent;
class QLabel;
class QPushButton;

namespace Ui {
class TAcerca_Form;
}

class TAcerca_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TAcerca_Form(QWidget* parent = nullptr);
    ~TAcerca_Form() override;

    std::unique_ptr<Ui::TAcerca_Form> ui;
    QLabel* ProgramIcon() const;
    QPushButton* OKButton() const;

    // "&Aceptar" (and Enter, through the default button): hides the window.
    void OKButtonClick();
    // One key pressed while OKButton has the focus, as a Windows virtual-key code: its low
    // byte is appended to the key buffer, which opens the maker's web address when it then
    // equals one of the two words.
    void OKButtonKeyDown(quint16 key);

    // The virtual-key code a key press stands for: letters are their upper-case letter
    // whether Shift is held or not, digits their digit, keys without an obvious code 0xFF.
    // -1 for the dialog keys (Enter, Tab, Backtab, the arrows), which never reach the buffer.
    static int virtualKeyCode(const QKeyEvent& event);

    // The key buffer (at most six characters), shared by the whole run.
    static QByteArray keyBuffer();

    static const QUrl& webAddress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void loadLogo();

    bool m_placed = false; // shown before: show again where it was left
    QPoint m_lastPos;
};

extern TAcerca_Form* Acerca_Form;
