#include "mail/Correo_Unit.h"

#include "ui_Correo_Unit.h"

#include "mail/MailCheck.h"
#include "platform/BringToFront.h"
#include "platform/DesktopNotifier.h"
#include "platform/Guard.h"
#include "platform/Seams.h"
#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

TCorreo_Form* Correo_Form = nullptr;

namespace {
// The new-mail desktop notification, by its name for the notifier: one at a time, a later
// check replaces it.
const QString kMailNotice = QStringLiteral("mail");
const QString kMailAction = QStringLiteral("correo");
} // namespace

TCorreo_Form::TCorreo_Form(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TCorreo_Form>())
{
    ui->setupUi(this);
    Label1 = ui->Label1;
    Label2 = ui->Label2;
    Label3 = ui->Label3;

    // Dialog border: fixed size, a close box, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(silver);

    // The three labels in a sans-serif face a size larger than the other windows'.
    QFont text = font();
    text.setStyleHint(QFont::SansSerif);
    if (text.pointSizeF() > 0)
        text.setPointSizeF(text.pointSizeF() + 2);
    else
        text.setPixelSize(text.pixelSize() + 2);
    for (QLabel* label : {Label1, Label2, Label3})
        label->setFont(text);
    QFont bold = text;
    bold.setBold(true);
    Label3->setFont(bold);

    connectGuarded(ui->BitBtn1, &QPushButton::clicked, this, &TCorreo_Form::BitBtn1Click);
    connectGuarded(ui->BitBtn2, &QPushButton::clicked, this, &TCorreo_Form::BitBtn2Click);
    // The notification shows the notice, or does what "&Correo" does.
    connectGuarded(DesktopNotifier::instance(), &DesktopNotifier::activated, this,
                   [this](const QString& name, const QString& action) {
                       if (name != kMailNotice)
                           return;
                       if (action == kMailAction)
                           BitBtn1Click();
                       else
                           bringToFront(this);
                   });

    // Room for a user name as long as the e-mail page takes (30 characters); the window
    // keeps one size, so its placement at the corner holds whatever the texts.
    Label3->setMinimumWidth(QFontMetrics(bold).averageCharWidth() * 32);
    setFixedSize(sizeHint().expandedTo(QSize(330, 84)));

    // The frame's top-right corner at the screen's top-right corner.
    m_placement = new CornerPlacement(this, ScreenCorner::TopRight, 0);
}

TCorreo_Form::~TCorreo_Form()
{
    if (Correo_Form == this)
        Correo_Form = nullptr;
}

QPushButton* TCorreo_Form::BitBtn1() const
{
    return ui->BitBtn1;
}
QPushButton* TCorreo_Form::BitBtn2() const
{
    return ui->BitBtn2;
}

namespace {
std::function<QString()>& programSource()
{
    static std::function<QString()> source;
    return source;
}
} // namespace

void TCorreo_Form::setProgramSource(std::function<QString()> source)
{
    programSource() = std::move(source);
}

void TCorreo_Form::BitBtn1Click()
{
    ContadorCorreo = 0;
    const QString program = programSource() ? programSource()() : QString();
    // Handed over unchanged; what the desktop makes of it is not looked at.
    seams::startProgram(program, true);
    hide();
}

void TCorreo_Form::announceOnDesktop()
{
    DesktopNotifier::Notice notice;
    notice.summary = QStringLiteral("Correo nuevo");
    notice.body = Label1->text() + Label2->text() + Label3->text();
    notice.actions =
        QStringList{QStringLiteral("default"), QStringLiteral("Mostrar"), kMailAction, QStringLiteral("Correo")};
    DesktopNotifier::instance()->show(kMailNotice, notice);
    QApplication::alert(this);
}

void TCorreo_Form::BitBtn2Click()
{
    ContadorCorreo = 0;
    hide();
}

void TCorreo_Form::FormShow()
{
    m_placement->place();
}

void TCorreo_Form::FormActivate()
{
    m_placement->place();
}

void TCorreo_Form::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TCorreo_Form::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        guarded([this] { FormActivate(); });
}

void TCorreo_Form::closeEvent(QCloseEvent* event)
{
    // The close box only hides the notice; the mail count is left as it stands.
    event->accept();
    hide();
}
