// The main window's mail side: the settings on the "e-mail" page (loaded at start,
// written by "Guardar", the password scrambled), and the mailbox check with its error box.

#include "app/Ostiva_Unit.h"

#include "core/Error.h"
#include "common/Rutines.h"
#include "mail/Correo_Unit.h"
#include "mail/pop3/Pop3Client.h"
#include "platform/Guard.h"
#include "platform/Seams.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>

namespace {

const QString kKey = QStringLiteral("\\Software\\Quelmar\\Ostiva\\mail");
const QString kUser = QStringLiteral("User1");
const QString kPassword = QStringLiteral("password1");
const QString kTiempo = QStringLiteral("Tiempo");
const QString kError = QStringLiteral("error");
const QString kAbrir = QStringLiteral("abrir");
const QString kPop3 = QStringLiteral("pop3");
const QString kPrograma = QStringLiteral("Programa");

// Type codes of the settings routines.
constexpr int kText = 1;
constexpr int kInteger = 3;

constexpr int kShift = 5;

// Ends a failed check: the connection is closed, the reason is logged, then the error is
// reported unless the user ignores errors, with the reason as the box's detailed text.
// "Ignorar errores." stays checked while the box is up, so a check that fails meanwhile
// (the minute timer goes on under a modal box) shows no second box.
void checkFailed(TOstiva_Form* form, const QString& user, const QString& reason)
{
    form->CorreoEnCurso = false;
    if (form->POP->isConnected())
        form->POP->disconnectFromServer(); // a failure of the closing itself is of no interest
    qCWarning(lcMail, "Error en la cuenta de correo %s: %s", qUtf8Printable(user), qUtf8Printable(reason));

    QCheckBox* ignore = form->CheckBoxError();
    if (ignore->isChecked())
        return;
    ignore->setChecked(true);
    const auto uncheck = qScopeGuard([ignore] { ignore->setChecked(false); });
    const QMessageBox::StandardButton answer =
        seams::message({QStringLiteral("Error en la cuenta de correo ") + user, QStringLiteral("Error"),
                        QMessageBox::Critical, QMessageBox::Ok, nullptr, reason});
    if (answer == QMessageBox::Ok)
        ContadorCorreo = 1;
}

// Runs one step of a check; anything it raises ends the check as a failure.
template <typename F>
void checkStep(TOstiva_Form* form, const QString& user, F&& step) noexcept
{
    try {
        std::forward<F>(step)();
    } catch (const PennaroError& e) {
        guarded([&] { checkFailed(form, user, e.message()); });
    } catch (...) {
        guarded([&] { checkFailed(form, user, QStringLiteral("Error inesperado en la comprobación del correo")); });
    }
}

// Messages are waiting: the sound first, then the mail program or the notice.
void announce(TOstiva_Form* form, const QString& user, int count)
{
    seams::playSound(QStringLiteral("NOTIFY.WAV"));
    if (!Correo_Form)
        return;
    if (form->CheckBoxPrograma()->isChecked()) {
        Correo_Form->BitBtn1Click();
        return;
    }
    Correo_Form->show();
    Correo_Form->raise();
    Correo_Form->activateWindow();
    Correo_Form->Label1->setText(QString::number(count));
    Correo_Form->Label2->setText(count == 1 ? QStringLiteral(" e-mail nuevo para ")
                                            : QStringLiteral(" e-mails nuevos para "));
    Correo_Form->Label3->setText(user);
}

} // namespace

// --- settings -----------------------------------------------------------------

void TOstiva_Form::CargarCorreo()
{
    // Each read stops the loading with its error when the value is missing or of
    // another type; the values after it keep the page's initial contents.
    // The settings file is read once for all of them.
    SettingsBatch batch;
    EditMail1User()->setText(Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kUser));
    EditMail1Pass()->setText(DeEncrypt(Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kPassword)));
    if (!Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kTiempo).isEmpty())
        EditTiempo()->setText(Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kTiempo));
    CheckBoxError()->setChecked(Rutines1->LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, kError) == 1);
    CheckBoxPrograma()->setChecked(Rutines1->LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, kAbrir) == 1);
    EditPOP3()->setText(Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kPop3));
    EditPrograma()->setText(Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kPrograma));
}

void TOstiva_Form::BitBtn5Click()
{
    // In this order: an interval that is no number fails after the first six values
    // are written, leaving IntervaloCorreo as it was and "Programa" unwritten.
    // The file is read once and written once, with whatever was written before a failure.
    SettingsBatch batch;
    try {
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kUser, kText, EditMail1User()->text());
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPassword, kText, Encrypt(EditMail1Pass()->text()));
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kTiempo, kText, EditTiempo()->text());
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kError, kInteger, CheckBoxError()->isChecked() ? 1 : 0);
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kAbrir, kInteger,
                                  CheckBoxPrograma()->isChecked() ? 1 : 0);
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPop3, kText, EditPOP3()->text());
        IntervaloCorreo = StrToInt(EditTiempo()->text());
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPrograma, kText, EditPrograma()->text());
    } catch (...) {
        // A failure to write the file replaces the step's error: then nothing was saved.
        batch.commit();
        throw;
    }
    batch.commit();
}

// Each byte of the text's UTF-8 form moves up by 5 (mod 256) and becomes the character
// of that code. UTF-8 never holds the bytes 251 to 255, so the result never holds a zero
// character, which the settings store would cut the text at.
QString TOstiva_Form::Encrypt(const QString& text) const
{
    const QByteArray bytes = text.toUtf8();
    QString scrambled;
    scrambled.reserve(bytes.size());
    for (const char byte : bytes)
        scrambled.append(QChar(char16_t((quint8(byte) + kShift) & 0xFF)));
    return scrambled;
}

// The inverse of Encrypt. A character above U+00FF cannot come from Encrypt (a stored
// text edited by hand): it is kept as it stands, and bytes that do not decode as UTF-8
// become U+FFFD, so any stored text gives some password and never an error.
QString TOstiva_Form::DeEncrypt(const QString& text) const
{
    QString plain;
    QByteArray bytes;
    const auto flush = [&] {
        plain += QString::fromUtf8(bytes);
        bytes.clear();
    };
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            flush();
            plain += c;
            continue;
        }
        bytes.append(char((c.unicode() - kShift) & 0xFF));
    }
    flush();
    return plain;
}

// --- mailbox check ----------------------------------------------------------------

void TOstiva_Form::Comprobaremail1Click()
{
    BitBtn4Click();
}

void TOstiva_Form::BitBtn4Click()
{
    ContadorCorreo = 1;
    if (EditMail1User()->text().isEmpty())
        return;
    Cartero(EditMail1User()->text(), EditMail1Pass()->text(), EditPOP3()->text());
}

// Logs in, asks for the message count, announces new mail, and says goodbye, each step
// through the client's asynchronous calls so the window keeps answering meanwhile.
// Never lets an error escape: a failure ends the check as checkFailed() describes.
void TOstiva_Form::Cartero(const QString& user, const QString& password, const QString& server)
{
    if (CorreoEnCurso)
        return;
    checkStep(this, user, [&] {
        // "host", "host:port", "[ipv6]:port", a bare IPv6 address or "pop3s://host[:port]".
        MailTarget target;
        QString invalid;
        if (!MailTarget::parse(server, &target, &invalid)) {
            checkFailed(this, user, invalid);
            return;
        }
        POP->setTarget(target);
        POP->setUserId(user);
        POP->setPassword(password);
        CorreoEnCurso = true;

        POP->connectAndLogin([this, user](bool loggedIn, const QString& reason) {
            checkStep(this, user, [&] {
                if (!loggedIn) {
                    checkFailed(this, user, reason);
                    return;
                }
                POP->messageCount([this, user](bool counted, int count, const QString& reason) {
                    checkStep(this, user, [&] {
                        if (!counted) {
                            checkFailed(this, user, reason);
                            return;
                        }
                        if (count > 0)
                            announce(this, user, count);
                        if (!POP->disconnectFromServer()) {
                            checkFailed(this, user, QStringLiteral("No se pudo despedir del servidor de correo (Quit)"));
                            return;
                        }
                        CorreoEnCurso = false;
                    });
                });
            });
        });
    });
}
