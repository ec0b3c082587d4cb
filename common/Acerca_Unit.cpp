#include "common/Acerca_Unit.h"

#include "ui_Acerca_Unit.h"

#include "platform/Guard.h"
#include "platform/JpegImage.h"
#include "platform/Seams.h"
#include "platform/SoundPlayer.h"

#include <QGuiApplication>
#include <QHideEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>

TAcerca_Form* Acerca_Form = nullptr;

namespace {

// The last keys pressed on the button, oldest first; lives as long as the program run,
// not the window.
QByteArray g_keyBuffer;
constexpr int kBufferLength = 6;

// Typed on the button, either opens the maker's web address.
const QByteArray kWords[] = {QByteArrayLiteral("PENNAR"), QByteArrayLiteral("AGENDA")};

constexpr int kNoCode = 0xFF;

// Windows virtual-key codes of the keys Qt names without an obvious character.
struct KeyCode
{
    int key;
    int code;
};
const KeyCode kSpecialKeys[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Clear, 0x0C},  {Qt::Key_Shift, 0x10},   {Qt::Key_Control, 0x11},
    {Qt::Key_Alt, 0x12},       {Qt::Key_AltGr, 0x12},  {Qt::Key_Pause, 0x13},   {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Escape, 0x1B},    {Qt::Key_Space, 0x20},  {Qt::Key_PageUp, 0x21},  {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},       {Qt::Key_Home, 0x24},   {Qt::Key_Print, 0x2C},   {Qt::Key_Insert, 0x2D},
    {Qt::Key_Delete, 0x2E},    {Qt::Key_Help, 0x2F},   {Qt::Key_Meta, 0x5B},    {Qt::Key_Super_L, 0x5B},
    {Qt::Key_Super_R, 0x5C},   {Qt::Key_Menu, 0x5D},   {Qt::Key_NumLock, 0x90}, {Qt::Key_ScrollLock, 0x91},
    {Qt::Key_Plus, 0xBB},      {Qt::Key_Equal, 0xBB},  {Qt::Key_Comma, 0xBC},   {Qt::Key_Minus, 0xBD},
    {Qt::Key_Period, 0xBE},    {Qt::Key_Ntilde, 0xC0}, // the Ñ key of a Spanish keyboard
};

int specialKeyCode(int key)
{
    for (const KeyCode& entry : kSpecialKeys) {
        if (entry.key == key)
            return entry.code;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + (key - Qt::Key_F1);
    return kNoCode;
}

// The numeric keypad has codes of its own for its digits and operators.
int keypadKeyCode(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return 0x60 + (key - Qt::Key_0);
    switch (key) {
    case Qt::Key_Asterisk:
        return 0x6A;
    case Qt::Key_Plus:
        return 0x6B;
    case Qt::Key_Minus:
        return 0x6D;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return 0x6E;
    case Qt::Key_Slash:
        return 0x6F;
    default:
        return specialKeyCode(key);
    }
}

} // namespace

TAcerca_Form::TAcerca_Form(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAcerca_Form>())
{
    ui->setupUi(this);

    // Dialog border: a close box, no minimise or maximise box, fixed size.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    loadLogo();

    // The button is the window's one focus stop; its keys are seen here before it acts on them.
    ui->OKButton->setFocus();
    ui->OKButton->installEventFilter(this);
    connectGuarded(ui->OKButton, &QPushButton::clicked, this, &TAcerca_Form::OKButtonClick);

    setFixedSize(sizeHint());
}

TAcerca_Form::~TAcerca_Form()
{
    if (Acerca_Form == this)
        Acerca_Form = nullptr;
}

QLabel* TAcerca_Form::ProgramIcon() const
{
    return ui->ProgramIcon;
}
QPushButton* TAcerca_Form::OKButton() const
{
    return ui->OKButton;
}

const QUrl& TAcerca_Form::webAddress()
{
    static const QUrl address(QStringLiteral("http://www.pennaro.example"));
    return address;
}

QByteArray TAcerca_Form::keyBuffer()
{
    return g_keyBuffer;
}

void TAcerca_Form::loadLogo()
{
    // Found like the chime: the program folder, beside the executable, the installed data.
    // A missing or undecodable picture leaves the place empty.
    const QString path = SoundPlayer::locate(QStringLiteral("logo.jpg"));
    const QImage logo = path.isEmpty() ? QImage() : JpegImage::decode(path);
    if (logo.isNull())
        return;
    ui->ProgramIcon->setFixedSize(logo.size());
    ui->ProgramIcon->setPixmap(QPixmap::fromImage(logo));
}

void TAcerca_Form::OKButtonClick()
{
    hide();
}

void TAcerca_Form::OKButtonKeyDown(quint16 key)
{
    if (g_keyBuffer.size() >= kBufferLength)
        g_keyBuffer.remove(0, g_keyBuffer.size() - kBufferLength + 1);
    g_keyBuffer.append(char(key & 0xFF));
    for (const QByteArray& word : kWords) {
        if (g_keyBuffer == word) {
            seams::openUrl(webAddress());
            break;
        }
    }
}

int TAcerca_Form::virtualKeyCode(const QKeyEvent& event)
{
    const int key = event.key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return -1;
    default:
        break;
    }
    if (event.modifiers() & Qt::KeypadModifier)
        return keypadKeyCode(key);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key;
    if (key >= 'a' && key <= 'z')
        return key - 'a' + 'A';
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key;
    return specialKeyCode(key);
}

bool TAcerca_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->OKButton && event->type() == QEvent::KeyPress) {
        const auto& keyEvent = *static_cast<QKeyEvent*>(event);
        const int code = virtualKeyCode(keyEvent);
        if (code >= 0)
            guarded([&] { OKButtonKeyDown(quint16(code)); });
        // The window has no cancel button: Esc only counts as a key and closes nothing.
        if (keyEvent.key() == Qt::Key_Escape)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAcerca_Form::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    const bool byProgram = !event->spontaneous();
    guarded([&] {
        if (byProgram) {
            if (!m_placed) {
                // The first time in the middle of the screen, afterwards where it was left.
                const QScreen* screen = QGuiApplication::primaryScreen();
                const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
                QRect frame = frameGeometry();
                frame.moveCenter(area.center());
                move(frame.topLeft());
                m_placed = true;
            } else {
                move(m_lastPos);
            }
        }
        ui->OKButton->setFocus();
    });
}

void TAcerca_Form::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        m_lastPos = pos();
    QDialog::hideEvent(event);
}
