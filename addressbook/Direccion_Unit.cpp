#include "addressbook/Direccion_Unit.h"

#include "ui_Direccion_Unit.h"

#include "core/Error.h"
#include "platform/Guard.h"
#include "platform/Seams.h"
#include "store/Data_Unit.h"
#include "store/EditSession.h"

#include <QEvent>
#include <QHostAddress>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTabBar>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>

TDireccion_Form* Direccion_Form = nullptr;

// ---- the e-mail list ----------------------------------------------------------

namespace ListaCorreos {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

QStringList lines(const QString& text)
{
    if (text.isEmpty())
        return {};
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList parts = text.split(lineBreak);
    if (parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

QString join(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + kCrLf;
    return text;
}

bool agregar(QString& text, QString& email, const QString& address)
{
    if (!address.contains(QLatin1Char('@')))
        return false;
    if (email.isEmpty())
        email = address;
    // A stored text without a final line break still gets the address on a line of its own.
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')) && !text.endsWith(QLatin1Char('\r')))
        text += kCrLf;
    text += address + kCrLf;
    return true;
}

bool quitar(QString& text, QString& email, int line)
{
    QStringList list = lines(text);
    if (line < 0 || line >= list.size())
        return false;
    const QString removed = list.takeAt(line);
    text = join(list);
    if (email == removed)
        email = list.isEmpty() ? QString() : list.first();
    return true;
}

bool predeterminar(const QString& text, QString& email, int line)
{
    const QStringList list = lines(text);
    if (line < 0 || line >= list.size() || list.at(line).isEmpty())
        return false;
    email = list.at(line);
    return true;
}

} // namespace ListaCorreos

// ---- the window -----------------------------------------------------------------

namespace {

QString fieldText(engine::Dataset* dataset, const QString& field)
{
    const QVariant value = dataset->value(field);
    return value.isNull() ? QString() : value.toString();
}

} // namespace

TDireccion_Form::TDireccion_Form(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TDireccion_Form>())
{
    ui->setupUi(this);

    // The keyboard walk: the page tabs, each page's controls in their listed order, then
    // the buttons. Set here again because the form's own order loses the page tabs and the
    // buttons once the pages are placed in the page control, leaving Tab going round the
    // shown page only.
    const QList<QWidget*> tabOrder = {ui->PageControl1->tabBar(),
                                      ui->DBEditNombre,
                                      ui->DBEditNick,
                                      ui->Edit1,
                                      ui->Button1,
                                      ui->Button2,
                                      ui->Button3,
                                      ui->DBMemoEmails,
                                      ui->DBEditDireccion,
                                      ui->DBEditCP,
                                      ui->DBEditCiudad,
                                      ui->DBEditProvincia,
                                      ui->DBEditPais,
                                      ui->DBEditWeb,
                                      ui->SpeedButton1,
                                      ui->DBEditTel,
                                      ui->DBEditMovil,
                                      ui->DBEditFAX,
                                      ui->DBEditOrganizacion,
                                      ui->DBEditEmpresaDireccion,
                                      ui->DBEditEmpresaCP,
                                      ui->DBEditEmpresaCiudad,
                                      ui->DBEditEmpresaProvincia,
                                      ui->DBEditEmpresaPais,
                                      ui->DBEditPuesto,
                                      ui->DBEditDepartamento,
                                      ui->DBEditOficina,
                                      ui->DBEditEmpresaTel,
                                      ui->DBEditEmpresaFax,
                                      ui->DBEditConyugue,
                                      ui->DBMemoHijos,
                                      ui->DBComboBoxSexo,
                                      ui->DBEditCumpleanos,
                                      ui->DBEditAniversario,
                                      ui->DBMemoNotas,
                                      ui->BitBtn1,
                                      ui->BitBtn2};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
    PageControl1 = ui->PageControl1;
    Edit1 = ui->Edit1;

    // The list can only be changed by its buttons; the caret still marks the current line.
    ui->DBMemoEmails->setReadOnly(true);
    ui->DBMemoEmails->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    ui->DBMemoEmails->viewport()->setCursor(Qt::PointingHandCursor);
    ui->DBMemoEmails->viewport()->installEventFilter(this);
    ui->DBTextEmail->installEventFilter(this);

    ui->DBEditCumpleanos->setCaption(QStringLiteral("Cumpleaños"));
    ui->DBEditAniversario->setCaption(QStringLiteral("Aniversario"));

    // Created after the data store: bind every control to the card being edited.
    if (DataModuleReminder) {
        engine::DataSource* source = DataModuleReminder->DataSourceTableLibreta;
        const std::pair<DBEdit*, const char*> edits[] = {
            {ui->DBEditNombre, "Nombre"},
            {ui->DBEditNick, "Nick"},
            {ui->DBEditDireccion, "Direccion"},
            {ui->DBEditCP, "CP"},
            {ui->DBEditCiudad, "Ciudad"},
            {ui->DBEditProvincia, "Provincia"},
            {ui->DBEditPais, "Pais"},
            {ui->DBEditWeb, "Web"},
            {ui->DBEditTel, "Tel"},
            {ui->DBEditMovil, "Movil"},
            {ui->DBEditFAX, "FAX"},
            {ui->DBEditOrganizacion, "Organizacion"},
            {ui->DBEditEmpresaDireccion, "EmpresaDireccion"},
            {ui->DBEditEmpresaCP, "EmpresaCP"},
            {ui->DBEditEmpresaCiudad, "EmpresaCiudad"},
            {ui->DBEditEmpresaProvincia, "EmpresaProvincia"},
            {ui->DBEditEmpresaPais, "EmpresaPais"},
            {ui->DBEditPuesto, "Puesto"},
            {ui->DBEditDepartamento, "Departamento"},
            {ui->DBEditOficina, "Oficina"},
            {ui->DBEditEmpresaTel, "EmpresaTel"},
            {ui->DBEditEmpresaFax, "EmpresaFax"},
            {ui->DBEditConyugue, "Conyugue"},
        };
        for (const auto& [edit, field] : edits) {
            edit->setDataSource(source);
            edit->setDataField(QString::fromLatin1(field));
        }
        const std::pair<DBMemo*, const char*> memos[] = {
            {ui->DBMemoEmails, "Emails"},
            {ui->DBMemoHijos, "Hijos"},
            {ui->DBMemoNotas, "Notas"},
        };
        for (const auto& [memo, field] : memos) {
            memo->setDataSource(source);
            memo->setDataField(QString::fromLatin1(field));
        }
        ui->DBTextEmail->setDataSource(source);
        ui->DBTextEmail->setDataField(QStringLiteral("Email"));
        ui->DBComboBoxSexo->setDataSource(source);
        ui->DBComboBoxSexo->setDataField(QStringLiteral("Sexo"));
        ui->DBEditCumpleanos->setDataSource(source);
        ui->DBEditCumpleanos->setDataField(QStringLiteral("Cumpleanos"));
        ui->DBEditAniversario->setDataSource(source);
        ui->DBEditAniversario->setDataField(QStringLiteral("Aniversario"));
    }

    connectGuarded(ui->BitBtn1, &QAbstractButton::clicked, this, &TDireccion_Form::BitBtn1Click);
    connect(ui->BitBtn2, &QAbstractButton::clicked, this, &TDireccion_Form::reject);
    connectGuarded(ui->Button1, &QAbstractButton::clicked, this, &TDireccion_Form::Button1Click);
    connectGuarded(ui->Button2, &QAbstractButton::clicked, this, &TDireccion_Form::Button2Click);
    connectGuarded(ui->Button3, &QAbstractButton::clicked, this, &TDireccion_Form::Button3Click);
    connectGuarded(ui->SpeedButton1, &QAbstractButton::clicked, this, &TDireccion_Form::SpeedButton1Click);
}

TDireccion_Form::~TDireccion_Form() = default;

// ---- accept and cancel ------------------------------------------------------------

void TDireccion_Form::prepareForCard()
{
    PageControl1->setCurrentIndex(0);
    Edit1->clear();
}

void TDireccion_Form::BitBtn1Click()
{
    engine::Table* table = DataModuleReminder->TableLibreta;
    // The name edit's text counts only while it holds a typed value not yet written: on a
    // page not shown since the card was opened, the edit still shows an earlier card.
    const QString nombre =
        ui->DBEditNombre->isModified() ? ui->DBEditNombre->text() : fieldText(table, QStringLiteral("Nombre"));
    if (nombre.isEmpty()) {
        seams::showPlain(QStringLiteral("FaltanDatos: Nombre"), this);
        PageControl1->setCurrentWidget(ui->TabSheet1);
        ui->DBEditNombre->setFocus();
        return;
    }
    if (!checkDates())
        return;
    table->edit();
    if (!Edit1->text().isEmpty())
        Button1Click();
    table->post();
    table->flushToDisk();
    DataModuleReminder->Actualizar();
    MinuteTimer::resume();
    done(QDialog::Accepted);
}

// A typed date that does not read is refused before anything is saved.
bool TDireccion_Form::checkDates()
{
    for (DBDateEdit* edit : {ui->DBEditCumpleanos, ui->DBEditAniversario}) {
        try {
            edit->commit();
        } catch (const PennaroError& e) {
            seams::showError(e.message(), this);
            PageControl1->setCurrentWidget(ui->TabSheet4);
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    return true;
}

void TDireccion_Form::BitBtn2Click()
{
    reject();
}

void TDireccion_Form::reject()
{
    // Escape, "&Cancelar" and the title bar's close box all drop the card; the window
    // closes and the timer runs again even when the engine refuses the cancel.
    guarded([] { DataModuleReminder->CancelarDirecciones(); });
    cancelCard();
    QDialog::reject();
}

void TDireccion_Form::cancelCard()
{
    // An address typed for the dropped card must not end up in the next one.
    Edit1->clear();
    MinuteTimer::resume();
}

// ---- the e-mail list ----------------------------------------------------------------

int TDireccion_Form::lineaActual() const
{
    return ui->DBMemoEmails->textCursor().blockNumber();
}

void TDireccion_Form::setLineaActual(int line)
{
    QTextDocument* document = ui->DBMemoEmails->document();
    const QTextBlock block = document->findBlockByNumber(qBound(0, line, document->blockCount() - 1));
    QTextCursor cursor(block);
    ui->DBMemoEmails->setTextCursor(cursor);
}

void TDireccion_Form::writeList(const QString& text, const QString& email)
{
    engine::Table* table = DataModuleReminder->TableLibreta;
    // Typed values of the other controls go into the record first, so that showing the
    // changed list again does not drop them.
    DataModuleReminder->DataSourceTableLibreta->requestUpdateRecord();
    table->edit();
    table->setValue(QStringLiteral("Emails"), text);
    table->setValue(QStringLiteral("Email"), email);
}

void TDireccion_Form::Button1Click()
{
    engine::Table* table = DataModuleReminder->TableLibreta;
    QString text = fieldText(table, QStringLiteral("Emails"));
    QString email = fieldText(table, QStringLiteral("Email"));
    if (!ListaCorreos::agregar(text, email, Edit1->text()))
        return;
    writeList(text, email);
    Edit1->clear();
    // The caret stands on the empty line after the last address.
    setLineaActual(ListaCorreos::lines(text).size());
}

void TDireccion_Form::Button2Click()
{
    engine::Table* table = DataModuleReminder->TableLibreta;
    const int line = lineaActual();
    QString text = fieldText(table, QStringLiteral("Emails"));
    QString email = fieldText(table, QStringLiteral("Email"));
    if (!ListaCorreos::quitar(text, email, line))
        return;
    writeList(text, email);
    // The line that took the removed one's place becomes current.
    setLineaActual(line);
}

void TDireccion_Form::Button3Click()
{
    engine::Table* table = DataModuleReminder->TableLibreta;
    const int line = lineaActual();
    const QString text = fieldText(table, QStringLiteral("Emails"));
    QString email = fieldText(table, QStringLiteral("Email"));
    if (!ListaCorreos::predeterminar(text, email, line))
        return;
    writeList(text, email);
    setLineaActual(line);
}

// ---- mail and web ---------------------------------------------------------------------

QUrl TDireccion_Form::mailtoUrl(const QString& address)
{
    // Everything but unreserved characters and the at sign is percent-encoded, so an
    // address can never add headers ("?", "&") or a fragment ("#") to the request.
    return QUrl(QStringLiteral("mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(address, "@")),
                QUrl::StrictMode);
}

namespace {

bool isWebScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp");
}

// A host a browser can reach: an IP address, "localhost", or dot-separated labels of
// letters, digits and inner hyphens (a name in another script in its ASCII form). A name of
// one label only counts when the scheme was written, and never when it is a scheme's name,
// which is what a text such as "http//x.es" leaves as its host.
bool isWebHost(const QUrl& url, bool schemeWritten)
{
    const QString host = url.host(QUrl::FullyEncoded).toLower();
    if (host.isEmpty())
        return false;
    if (!QHostAddress(host).isNull() || host == QLatin1String("localhost"))
        return true;
    static const QRegularExpression label(QStringLiteral("^[a-z0-9]([a-z0-9-]{0,61}[a-z0-9])?$"));
    QStringList labels = host.split(QLatin1Char('.'));
    if (labels.size() > 1 && labels.last().isEmpty())
        labels.removeLast(); // a fully qualified name's final dot
    for (const QString& part : std::as_const(labels))
        if (!label.match(part).hasMatch())
            return false;
    if (labels.size() == 1)
        return schemeWritten && !isWebScheme(host);
    return true;
}

} // namespace

QUrl TDireccion_Form::webUrl(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QUrl();
    // A line break, a tab or a blank inside is no part of an address; taken as it stands, the
    // parser would only escape them and open something else.
    for (const QChar c : trimmed)
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return QUrl();

    // "name:" at the start is a scheme, unless only a port number follows the colon
    // ("localhost:8080/"). Only web schemes are opened, and only as "scheme://host...".
    static const QRegularExpression schemePrefix(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):([^/]*)"));
    QString full = trimmed;
    bool schemeWritten = false;
    const QRegularExpressionMatch m = schemePrefix.match(trimmed);
    if (m.hasMatch()) {
        static const QRegularExpression port(QStringLiteral("^[0-9]+$"));
        const QString scheme = m.captured(1).toLower();
        const bool isPort = !isWebScheme(scheme) && port.match(m.captured(2)).hasMatch();
        if (!isPort) {
            if (!isWebScheme(scheme) || !QStringView(trimmed).mid(m.capturedLength(1) + 1).startsWith(u"//"))
                return QUrl();
            schemeWritten = true;
        }
    }
    if (!schemeWritten)
        full = QStringLiteral("http://") + trimmed;

    const QUrl url(full, QUrl::TolerantMode);
    if (!url.isValid() || !isWebScheme(url.scheme().toLower()) || !isWebHost(url, schemeWritten))
        return QUrl();
    return url;
}

void TDireccion_Form::DBTextEmailClick()
{
    const QString address = ui->DBTextEmail->text();
    if (!address.isEmpty())
        seams::openUrl(mailtoUrl(address));
}

void TDireccion_Form::DBMemoEmailsDblClick()
{
    const QString address = ui->DBMemoEmails->textCursor().block().text();
    if (!address.isEmpty())
        seams::openUrl(mailtoUrl(address));
}

void TDireccion_Form::SpeedButton1Click()
{
    const QString text = ui->DBEditWeb->text();
    if (text.isEmpty())
        return;
    const QUrl url = webUrl(text);
    if (url.isEmpty()) {
        seams::showError(
            QStringLiteral("«%1» no es una dirección web; sólo se abren direcciones http, https y ftp").arg(text));
        return;
    }
    seams::openUrl(url);
}

bool TDireccion_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->DBTextEmail && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        guarded([this] { DBTextEmailClick(); });
    } else if (watched == ui->DBMemoEmails->viewport() && event->type() == QEvent::MouseButtonDblClick &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The double-clicked line becomes the current one, whatever the press before did.
        auto* mouse = static_cast<QMouseEvent*>(event);
        ui->DBMemoEmails->setTextCursor(ui->DBMemoEmails->cursorForPosition(mouse->position().toPoint()));
        guarded([this] { DBMemoEmailsDblClick(); });
    }
    return QDialog::eventFilter(watched, event);
}
