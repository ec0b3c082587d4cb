#pragma once
// The address card editor: edits the record of TableLibreta that the data store has put
// into inserting or editing, with the card's list of e-mail addresses (one per line in
// "Emails") and its default address ("Email"). It hands an address to the mail program
// ("mailto:") and the card's web address to the browser.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QTabWidget;
class QLineEdit;
class TDataModuleReminder;

namespace Ui {
class TDireccion_Form;
}

// The e-mail list of a card as text: one address per line, each address added here
// followed by CR LF. Lines are counted as a memo's lines: a final line break opens no
// line of its own.
namespace ListaCorreos {

QStringList lines(const QString& text);
// Each line followed by CR LF.
QString join(const QStringList& lines);
// "Agregar": appends `address` as a new last line and makes it the default when there is
// none. An address without an at sign changes nothing and gives false.
bool agregar(QString& text, QString& email, const QString& address);
// "Quitar": removes line `line` (nothing when there is no such line); when it was the
// default, the new first line becomes the default. Gives false when nothing changed.
bool quitar(QString& text, QString& email, int line);
// "Predeterminar": line `line` becomes the default unless it is empty or missing.
bool predeterminar(const QString& text, QString& email, int line);

} // namespace ListaCorreos

class TDireccion_Form : public QDialog
{
    Q_OBJECT
public:
    explicit TDireccion_Form(QWidget* parent = nullptr);
    ~TDireccion_Form() override;

    std::unique_ptr<Ui::TDireccion_Form> ui;
    QTabWidget* PageControl1 = nullptr; // the five pages
    QLineEdit* Edit1 = nullptr;         // the e-mail input box

    // Before a card is opened: the first page ("Nombre") and an empty e-mail input box.
    void prepareForCard();

    void BitBtn1Click();         // "&Aceptar"
    void BitBtn2Click();         // "&Cancelar" (also Escape and the title bar's close box)
    void Button1Click();         // "Agregar"
    void Button2Click();         // "Quitar"
    void Button3Click();         // "Predeterminar"
    void DBTextEmailClick();     // write to the default address
    void DBMemoEmailsDblClick(); // write to the double-clicked address
    void SpeedButton1Click();    // "ir": open the web address

    // The line of the e-mail list that holds the caret.
    int lineaActual() const;

    // "mailto:" + the address, every character that could end the address or start a
    // header percent-encoded.
    static QUrl mailtoUrl(const QString& address);
    // The web address as the browser gets it (no scheme: http). An empty QUrl when the
    // text names no http, https or ftp address (a local file or program, a script), holds
    // a blank or a line break, or leaves no valid host once parsed.
    static QUrl webUrl(const QString& text);

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cancelCard();
    void writeList(const QString& text, const QString& email);
    void setLineaActual(int line);
    bool checkDates();
};

extern TDireccion_Form* Direccion_Form;
