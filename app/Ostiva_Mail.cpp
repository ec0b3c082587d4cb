// The main window's mail side: the settings on the "e-mail" page (loaded at start,
// written by "Guardar"; the password in the desktop's keyring, else scrambled in the
// settings file, see MailPassword), and the commands that start a mailbox check (the
// check itself is MailCheck's).

#include "app/Ostiva_Unit.h"

#include "common/Rutines.h"
#include "mail/MailCheck.h"
#include "mail/MailPassword.h"
#include "mail/PasswordScramble.h"
#include "mail/TlsMemory.h"

#include <QCheckBox>
#include <QLineEdit>

#include <optional>

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

} // namespace

// --- settings -----------------------------------------------------------------

void TOstiva_Form::CargarCorreo()
{
    // Each read stops the loading with its error when the value is missing or of
    // another type; the values after it keep the page's initial contents.
    // The settings file is read once for all of them.
    SettingsBatch batch;
    EditMail1User()->setText(Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kUser));
    // A password still kept in the file is moved into the keyring; with none there, the
    // keyring's is read. Either answers later, from the event loop.
    const QString filePassword = DeEncrypt(Rutines1->LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, kPassword));
    EditMail1Pass()->setText(filePassword);
    if (MailPassword* password = ClaveCorreo())
        password->load(filePassword);
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
        // The file keeps the scrambled password until the keyring has it, read back equal.
        // A password that could not be read from the keyring is not the empty edit: then
        // neither copy is touched.
        MailPassword* password = ClaveCorreo();
        if (!password || password->known()) {
            Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPassword, kText, Encrypt(EditMail1Pass()->text()));
            if (password)
                password->save();
        } else if (!batch.store(HKEY_LOCAL_MACHINE).text(kKey, kPassword)) {
            // A value to load at the next start, which stops at a missing one.
            Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPassword, kText, QString());
        }
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kTiempo, kText, EditTiempo()->text());
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kError, kInteger, CheckBoxError()->isChecked() ? 1 : 0);
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kAbrir, kInteger, CheckBoxPrograma()->isChecked() ? 1 : 0);
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPop3, kText, EditPOP3()->text());
        // An empty server text forgets which servers must be spoken to encrypted.
        if (EditPOP3()->text().trimmed().isEmpty())
            TlsMemory::forgetAll();
        IntervaloCorreo = StrToInt(EditTiempo()->text());
        Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPrograma, kText, EditPrograma()->text());
    } catch (...) {
        // A failure to write the file replaces the step's error: then nothing was saved.
        batch.commit();
        throw;
    }
    batch.commit();
}

// The keyring holds the password, read back equal: the file's scrambled copy is emptied,
// unless "Guardar" has stored another password in the file since.
void TOstiva_Form::OlvidarClaveArchivo(const QString& password)
{
    const QString scrambled = Encrypt(password);
    if (scrambled.isEmpty())
        return;
    SettingsBatch batch;
    const std::optional<QString> stored = batch.store(HKEY_LOCAL_MACHINE).text(kKey, kPassword);
    if (!stored || *stored != scrambled)
        return;
    Rutines1->EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, kPassword, kText, QString());
    batch.commit();
}

MailPassword* TOstiva_Form::ClaveCorreo() const
{
    return findChild<MailPassword*>(QString(), Qt::FindDirectChildrenOnly);
}

// Each byte of the text's UTF-8 form moves up by 5 (mod 256) and becomes the character
// of that code. UTF-8 never holds the bytes 251 to 255, so the result never holds a zero
// character, which the settings store would cut the text at.
QString TOstiva_Form::Encrypt(const QString& text) const
{
    return PasswordScramble::scramble(text);
}

QString TOstiva_Form::DeEncrypt(const QString& text) const
{
    return PasswordScramble::unscramble(text);
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
    MailPassword* password = ClaveCorreo();
    if (!password || password->known()) {
        Cartero(EditMail1User()->text(), EditMail1Pass()->text(), EditPOP3()->text());
        return;
    }
    // The password is still being read from the keyring, or could not be: the check
    // waits for a read, and fails with its reason rather than log in without a password.
    MailChecker->runWhenPassword(EditMail1User()->text(), EditPOP3()->text(),
                                 [password](MailCheck::PasswordAnswer answer) { password->whenKnown(answer); });
}

// One mailbox check with these texts; never lets an error escape (see MailCheck).
void TOstiva_Form::Cartero(const QString& user, const QString& password, const QString& server)
{
    MailChecker->run(user, password, server);
}

bool TOstiva_Form::CorreoEnCurso() const
{
    return MailChecker->inProgress();
}
