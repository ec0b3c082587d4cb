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
int specialKeyCode(int key)
{
    switch (key) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Clear:
        return 0x0C;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return 0x12;
    case Qt::Key_Pause:
        return 0x13;
    case Qt::Key_CapsLock:
        return 0x14;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Print:
        return 0x2C;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    case Qt::Key_Help:
        return 0x2F;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
        return 0x5B;
    case Qt::Key_Super_R:
        return 0x5C;
    case Qt::Key_Menu:
        return 0x5D;
    case Qt::Key_NumLock:
        return 0x90;
    case Qt::Key_ScrollLock:
        return 0x91;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return 0xBB;
    case Qt::Key_Comma:
        return 0xBC;
    case Qt::Key_Minus:
        return 0xBD;
    case Qt::Key_Period:
        return 0xBE;
    case Qt::Key_Ntilde:
        return 0xC0; // the Ñ key of a Spanish keyboard
    default:
        break;
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
