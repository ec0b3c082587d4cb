#include "app/Ostiva_Unit.h"

#include "ui_Ostiva_Unit.h"

#include "addressbook/Direcciones_Unit.h"
#include "app/ReminderCatchUp.h"
#include "common/Acerca_Unit.h"
#include "common/Rutines.h"
#include "core/Clock.h"
#include "core/DateText.h"
#include "core/Error.h"
#include "mail/Correo_Unit.h"
#include "mail/MailPassword.h"
#include "mail/pop3/Pop3Client.h"
#include "platform/BringToFront.h"
#include "platform/EditLimits.h"
#include "platform/Guard.h"
#include "platform/MonthCalendarAdapter.h"
#include "platform/Seams.h"
#include "platform/TrayIcon.h"
#include "platform/WindowPlacement.h"
#include "reminders/Buscar_Unit.h"
#include "reminders/Reminder_Unit.h"
#include "store/Data_Unit.h"
#include "store/EditSession.h"
#include "store/controls/DBGrid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTimer>

TOstiva_Form* Ostiva_Form = nullptr;
MesAno MesConsultado;
TrayIcon* IconData = nullptr;

namespace {

std::function<void()> g_quitHandler;

const QString kWebDomain = QStringLiteral("www.pennaro.example");
constexpr int kTypedLimit = 30;

} // namespace

TOstiva_Form::TOstiva_Form(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TOstiva_Form>())
{
    Ostiva_Form = this;
    ui->setupUi(this);

    // A single fixed border with only a close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/icons/pennaro.png")));

    // Status bar: the maker's domain and the long date, both centred.
    auto* panel1 = new QLabel(kWebDomain, ui->StatusBar1);
    auto* panel2 = new QLabel(ui->StatusBar1);
    panel1->setObjectName(QStringLiteral("StatusPanel1"));
    panel2->setObjectName(QStringLiteral("StatusPanel2"));
    for (QLabel* panel : {panel1, panel2}) {
        panel->setAlignment(Qt::AlignCenter);
        panel->setFrameShape(QFrame::StyledPanel);
    }
    ui->StatusBar1->addWidget(panel1, 2);
    ui->StatusBar1->addWidget(panel2, 3);

    // Tool bar pictures: like commands share one picture.
    const QIcon ver(QStringLiteral(":/icons/ver.png"));
    const QIcon anadir(QStringLiteral(":/icons/anadir.png"));
    const QIcon buscar(QStringLiteral(":/icons/buscar.png"));
    ui->ToolButton1->setIcon(ver);
    ui->ToolButton4->setIcon(ver);
    ui->ToolButton2->setIcon(anadir);
    ui->ToolButton6->setIcon(anadir);
    ui->ToolButton3->setIcon(buscar);
    ui->ToolButton7->setIcon(buscar);
    ui->ToolButton5->setIcon(QIcon(QStringLiteral(":/icons/onoff.png")));
    ui->ToolButton8->setIcon(QIcon(QStringLiteral(":/icons/listado.png")));

    // The address grid: one column, "Nombre"; read-only, whole rows.
    ui->DBGrid1->addColumn(QStringLiteral("Nombre"));
    ui->DBGrid1->horizontalHeader()->setStretchLastSection(true);
    // Month and day names of the calendar in Spanish, whatever the desktop's language.
    ui->MonthCalendar1->setLocale(QLocale(QLocale::Spanish, QLocale::Spain));

    // The e-mail page's edits take at most 30 typed characters, but a stored value or a
    // path picked with "..." goes in whole: a cut user, server or program would be used
    // and saved back cut.
    for (QLineEdit* edit : {ui->EditMail1User, ui->EditMail1Pass, ui->EditPOP3, ui->EditPrograma})
        new TypedLengthValidator(edit, kTypedLimit);
    showPasswordAsAsterisks(ui->EditMail1Pass);
    // Room for three lines, what the longest text on where the password is kept takes: the
    // window's size is fixed below, before that text is known.
    ui->Label7->setMinimumHeight(3 * ui->Label7->fontMetrics().lineSpacing());

    Placement = new CornerPlacement(this, ScreenCorner::BottomRight, 30);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(60000);
    MinuteTimer::attach(Timer1);
    POP = new Pop3Client(this);
    POP->setObjectName(QStringLiteral("POP"));
    MailChecker = std::make_unique<MailCheck>(POP, ui->CheckBoxError, ui->CheckBoxPrograma);
    MailChecker->onErrorAcknowledged = [] { ContadorCorreo = 1; };
    auto* password = new MailPassword(ui->EditMail1Pass, ui->Label7, this);
    connectGuarded(password, &MailPassword::keptInKeyring, this, &TOstiva_Form::OlvidarClaveArchivo);
    TCorreo_Form::setProgramSource([this] { return ui->EditPrograma->text(); });
    // Reminders missed while the computer slept or the day changed; a quiet wake-up for the mail.
    auto* catchUp = new ReminderCatchUp(this, [this] { RemindersPass(); });
    connect(catchUp, &ReminderCatchUp::wakeUp, this, [this] { MailChecker->wokeUp(); });
    Rutines1 = new TRutines(this);
    Rutines1->setObjectName(QStringLiteral("Rutines1"));
    CalendarMarks = new MonthCalendarAdapter(ui->MonthCalendar1, this);

    // The icon's menu.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto addItem = [this](const QString& name, const QString& caption) {
        QAction* action = PopupMenu1->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    auto addSeparator = [this](const QString& name) { PopupMenu1->addSeparator()->setObjectName(name); };
    Acerca1 = addItem(QStringLiteral("Acerca1"), QStringLiteral("Acerca ..."));
    addSeparator(QStringLiteral("N4"));
    Anadirdirecciones1 = addItem(QStringLiteral("Anadirdirecciones1"), QStringLiteral("Añadir direcciones"));
    Direcciones1 = addItem(QStringLiteral("Direcciones1"), QStringLiteral("Ver direcciones"));
    addSeparator(QStringLiteral("N1"));
    Aadirrecordatorio1 = addItem(QStringLiteral("Aadirrecordatorio1"), QStringLiteral("Añadir &recordatorio"));
    Verrecordarorio1 = addItem(QStringLiteral("Verrecordarorio1"), QStringLiteral("&Ver recordatorio"));
    addSeparator(QStringLiteral("N3"));
    Comprobaremail1 = addItem(QStringLiteral("Comprobaremail1"), QStringLiteral("Comprobar &e-mail"));
    addSeparator(QStringLiteral("N5"));
    mnuShow = addItem(QStringLiteral("mnuShow"), QStringLiteral("&Abrir"));
    mnuExit = addItem(QStringLiteral("mnuExit"), QStringLiteral("&Terminar"));

    connectHandlers();

    adjustSize();
    setFixedSize(sizeHint().expandedTo(QSize(430, 350)));

    // The timer runs from the window's creation on.
    Timer1->start();

    guarded([this] { FormCreate(); });
}

TOstiva_Form::~TOstiva_Form()
{
    if (Ostiva_Form == this)
        Ostiva_Form = nullptr;
    TCorreo_Form::setProgramSource(nullptr);
    if (IconData && IconData->parent() == this)
        IconData = nullptr;
}

void TOstiva_Form::connectHandlers()
{
    connectGuarded(ui->ToolButton1, &QToolButton::clicked, this, &TOstiva_Form::ToolButton1Click);
    connectGuarded(ui->ToolButton2, &QToolButton::clicked, this, &TOstiva_Form::ToolButton2Click);
    connectGuarded(ui->ToolButton3, &QToolButton::clicked, this, &TOstiva_Form::ToolButton3Click);
    connectGuarded(ui->ToolButton5, &QToolButton::clicked, this, &TOstiva_Form::ToolButton5Click);
    connectGuarded(ui->ToolButton4, &QToolButton::clicked, this, &TOstiva_Form::ToolButton4Click);
    connectGuarded(ui->ToolButton6, &QToolButton::clicked, this, &TOstiva_Form::ToolButton6Click);
    connectGuarded(ui->ToolButton8, &QToolButton::clicked, this, &TOstiva_Form::ToolButton8Click);
    connectGuarded(ui->ToolButton7, &QToolButton::clicked, this, &TOstiva_Form::ToolButton7Click);
    connectGuarded(ui->DBGrid1, &DBGrid::doubleClicked, this, &TOstiva_Form::DBGrid1DblClick);
    connectGuarded(ui->SpeedButton1, &QToolButton::clicked, this, &TOstiva_Form::SpeedButton1Click);
    connectGuarded(ui->BitBtn5, &QPushButton::clicked, this, &TOstiva_Form::BitBtn5Click);
    connectGuarded(ui->BitBtn4, &QPushButton::clicked, this, &TOstiva_Form::BitBtn4Click);
    // A click, a page arrow and a change of selection, each run once per user action.
    connectGuarded(CalendarMarks, &MonthCalendarAdapter::activated, this, &TOstiva_Form::MonthCalendar1Click);
    connectGuarded(Acerca1, &QAction::triggered, this, &TOstiva_Form::Acerca1Click);
    connectGuarded(Anadirdirecciones1, &QAction::triggered, this, &TOstiva_Form::Anadirdirecciones1Click);
    connectGuarded(Direcciones1, &QAction::triggered, this, &TOstiva_Form::Direcciones1Click);
    connectGuarded(Aadirrecordatorio1, &QAction::triggered, this, &TOstiva_Form::Aadirrecordatorio1Click);
    connectGuarded(Verrecordarorio1, &QAction::triggered, this, &TOstiva_Form::Verrecordarorio1Click);
    connectGuarded(Comprobaremail1, &QAction::triggered, this, &TOstiva_Form::Comprobaremail1Click);
    connectGuarded(mnuShow, &QAction::triggered, this, &TOstiva_Form::mnuShowClick);
    connectGuarded(mnuExit, &QAction::triggered, this, &TOstiva_Form::mnuExitClick);
    connectGuarded(Timer1, &QTimer::timeout, this, &TOstiva_Form::Timer1Timer);
}

// --- accessors ----------------------------------------------------------------

QCalendarWidget* TOstiva_Form::MonthCalendar1() const
{
    return ui->MonthCalendar1;
}
QToolButton* TOstiva_Form::ToolButton1() const
{
    return ui->ToolButton1;
}
QLineEdit* TOstiva_Form::EditMail1User() const
{
    return ui->EditMail1User;
}
QLineEdit* TOstiva_Form::EditMail1Pass() const
{
    return ui->EditMail1Pass;
}
QLineEdit* TOstiva_Form::EditPOP3() const
{
    return ui->EditPOP3;
}
QLineEdit* TOstiva_Form::EditPrograma() const
{
    return ui->EditPrograma;
}
QLineEdit* TOstiva_Form::EditTiempo() const
{
    return ui->EditTiempo;
}
QCheckBox* TOstiva_Form::CheckBoxPrograma() const
{
    return ui->CheckBoxPrograma;
}
QCheckBox* TOstiva_Form::CheckBoxError() const
{
    return ui->CheckBoxError;
}

void TOstiva_Form::attachDataSources(TDataModuleReminder* data)
{
    ui->DBGrid1->setDataSource(data->DataSourceQueryLibreta);
}

qint32 TOstiva_Form::StrToInt(const QString& text)
{
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' no es un número entero válido").arg(text));
    return value;
}

void TOstiva_Form::setQuitHandler(std::function<void()> handler)
{
    g_quitHandler = std::move(handler);
}

// --- start-up -------------------------------------------------------------------

void TOstiva_Form::FormCreate()
{
    IntervaloCorreo = StrToInt(ui->EditTiempo->text());

    const QDate today = Clock::today();
    ui->MonthCalendar1->setSelectedDate(today);
    MesConsultado = MesAno();
    if (auto* panel = ui->StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel2")))
        panel->setText(QStringLiteral("  ") + DateText::longDate(today));

    IconData = new TrayIcon(this);
    IconData->setIcon(windowIcon());
    IconData->setToolTip(DateText::shortDate(today));
    IconData->setMenu(PopupMenu1);
    connectGuarded(IconData, &TrayIcon::message, this, &TOstiva_Form::TrayMessage);
    connectGuarded(IconData, &TrayIcon::appeared, this, &TOstiva_Form::TrayAppeared);
    TraySeen = IconData->isAvailable();
    if (TraySeen) {
        IconData->add();
    } else {
        // No notification area: the window itself must stay reachable, so it is shown
        // once the event loop runs, and closing it ends the program until a tray appears.
        QTimer::singleShot(0, this, [this] { guarded([this] { mnuShowClick(); }); });
    }

    CargarCorreo();
    IntervaloCorreo = StrToInt(ui->EditTiempo->text());
}

// --- icon and show/hide cycle ---------------------------------------------------

void TOstiva_Form::showFromTray()
{
    // The frame's right edge on the screen's right edge, its bottom 30 px above the
    // screen's bottom; set again once the window manager has drawn the frame.
    Placement->place();
    show();
    Placement->place();
    bringToFront(this);
    if (IconData)
        IconData->remove();
}

void TOstiva_Form::TrayMessage(int mouseMessage)
{
    switch (mouseMessage) {
    case TrayIcon::kLeftDoubleClick:
        showFromTray();
        if (isMinimized())
            showNormal();
        break;
    case TrayIcon::kRightButtonDown:
        PopupMenu1->popup(QCursor::pos());
        break;
    default:
        break; // moves, single clicks and releases do nothing
    }
}

void TOstiva_Form::TrayAppeared()
{
    // A panel that started after the program: the icon docks at once, and from now on
    // the window and the icon alternate as if the tray had been there from the start.
    if (TraySeen || Terminating)
        return;
    TraySeen = true;
    IconData->add();
}

void TOstiva_Form::mnuShowClick()
{
    showFromTray();
}

void TOstiva_Form::closeEvent(QCloseEvent* event)
{
    if (!TraySeen || Terminating) {
        // Without a notification area the window is the program: closing it ends it.
        event->accept();
        guarded([this] { mnuExitClick(); });
        return;
    }
    event->ignore();
    hide();
    if (IconData)
        IconData->add();
}

void TOstiva_Form::mnuExitClick()
{
    if (IconData)
        IconData->remove();
    Terminating = true;
    QCoreApplication::processEvents();
    if (g_quitHandler)
        g_quitHandler();
    else
        QCoreApplication::quit();
}

// --- commands -------------------------------------------------------------------

void TOstiva_Form::ToolButton1Click()
{
    DataModuleReminder->Actualizar();
    Reminder_Form->DateTimePicker1->setDate(ui->MonthCalendar1->selectedDate());
    DataModuleReminder->ReminderDia();
    bringToFront(Reminder_Form);
}

void TOstiva_Form::ToolButton2Click()
{
    DataModuleReminder->AnadirReminder();
}

void TOstiva_Form::ToolButton3Click()
{
    Buscar_Form->Label1->setText(QStringLiteral("Buscar Recordatorio"));
    bringToFront(Buscar_Form);
}

void TOstiva_Form::setStoreCommandsEnabled(bool enabled)
{
    ui->ToolButton1->setEnabled(enabled);
    ui->ToolButton2->setEnabled(enabled);
    ui->ToolButton3->setEnabled(enabled);
    Aadirrecordatorio1->setEnabled(enabled);
    Verrecordarorio1->setEnabled(enabled);
}

void TOstiva_Form::ToolButton5Click()
{
    if (ui->ToolButton5->text() == QLatin1String("OFF")) {
        ui->ToolButton5->setText(QStringLiteral("ON"));
        setStoreCommandsEnabled(false);
        DataModuleReminder->CerrarDataBase();
    } else {
        ui->ToolButton5->setText(QStringLiteral("OFF"));
        setStoreCommandsEnabled(true);
        DataModuleReminder->AbrirDataBase();
        MonthCalendar1Click();
    }
}

void TOstiva_Form::ToolButton4Click()
{
    DataModuleReminder->EditarDireccion();
}

void TOstiva_Form::ToolButton6Click()
{
    DataModuleReminder->AnadirDireccion();
}

void TOstiva_Form::ToolButton8Click()
{
    bringToFront(Direcciones_Form);
}

void TOstiva_Form::ToolButton7Click()
{
    Buscar_Form->Label1->setText(QStringLiteral("Buscar Dirección"));
    bringToFront(Buscar_Form);
}

void TOstiva_Form::DBGrid1DblClick()
{
    DataModuleReminder->EditarDireccion();
}

void TOstiva_Form::SpeedButton1Click()
{
    const QString path = seams::openFileName(this);
    if (!path.isEmpty())
        ui->EditPrograma->setText(path);
}

void TOstiva_Form::Acerca1Click()
{
    bringToFront(Acerca_Form);
}

void TOstiva_Form::Anadirdirecciones1Click()
{
    DataModuleReminder->AnadirDireccion();
}

void TOstiva_Form::Direcciones1Click()
{
    ToolButton8Click();
}

void TOstiva_Form::Aadirrecordatorio1Click()
{
    DataModuleReminder->AnadirReminder();
}

void TOstiva_Form::Verrecordarorio1Click()
{
    DataModuleReminder->Actualizar();
    bringToFront(Reminder_Form);
}
