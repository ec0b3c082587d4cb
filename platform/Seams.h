#pragma once
// Seams between the program and the desktop: message boxes, sound, the shell and the
// file dialog. The program calls these functions only; tests replace the handlers to
// answer message boxes, record sounds and shell requests, and pick files.

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace seams {

// ---- message boxes ----------------------------------------------------------
struct MessageRequest
{
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    // The window that raised the box; none means the active window. The box is that
    // window's child, so the window manager stacks it above the window (even one kept
    // on top) and centres it there.
    QWidget* parent = nullptr;
    QString detailedText = QString(); // shown under the box's "details" button when not empty
};
using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;

// Shows a modal message box (Spanish buttons) and returns the button pressed;
// QMessageBox::NoButton when it was closed with the title bar's close box.
QMessageBox::StandardButton message(const MessageRequest& request);
// Replaces the real boxes (tests). An empty handler restores them.
void setMessageHandler(MessageHandler handler);

// The window a box opens over: the requested one's window, else the active modal
// window, else the active window; null when there is none.
QWidget* boxParent(QWidget* requested);
// The real box for a request, not yet shown. Texts are plain: what a user typed, a file
// held or a server answered is shown as written, never read as markup.
std::unique_ptr<QMessageBox> makeBox(const MessageRequest& request);

// The standard error box: the text (a full stop added when its last character sorts
// after "."), caption "Pennaro 2.0", stop icon, one OK button.
void showError(const QString& text, QWidget* parent = nullptr);
QString errorBoxText(const QString& text);

// A plain box captioned "Pennaro 2.0", no icon, one OK button (validation messages).
void showPlain(const QString& text, QWidget* parent = nullptr);

// A Yes/No question with the question icon; true for Yes.
bool askYesNo(const QString& text, const QString& caption, QWidget* parent = nullptr);

// ---- sound ------------------------------------------------------------------
using SoundHandler = std::function<void(const QString& fileName)>;
// Plays a sound file by its bare name ("NOTIFY.WAV") to its end (synchronous).
void playSound(const QString& fileName);
void setSoundHandler(SoundHandler handler);

// ---- shell ------------------------------------------------------------------
using OpenUrlHandler = std::function<void(const QUrl& url)>;
// Hands a "mailto:" or web address to the desktop's opener; never executes a file.
void openUrl(const QUrl& url);
void setOpenUrlHandler(OpenUrlHandler handler);

using StartProgramHandler = std::function<void(const QString& text, bool maximised)>;
// Starts the program a text names, detached; a text that names no executable is
// handed to openUrl as a file or address. The result is not looked at. `maximised` is
// passed on to replacement handlers only: Linux desktops give a starter no way to ask for
// a maximised first window, so the real start cannot honour it.
void startProgram(const QString& text, bool maximised);
void setStartProgramHandler(StartProgramHandler handler);

// ---- file dialog ------------------------------------------------------------
using FileDialogHandler = std::function<QString(QWidget* parent)>;
// The desktop's open-file dialog (no filter, no title); "" when cancelled.
QString openFileName(QWidget* parent);
void setFileDialogHandler(FileDialogHandler handler);

} // namespace seams
