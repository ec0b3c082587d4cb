#pragma once
// Seams between the program and the desktop: message boxes, sound, the shell and the
// file dialog. The program calls these functions only; tests replace the handlers to
// answer message boxes, record sounds and shell requests, and pick files.

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace seams {

// ---- message boxes ----------------------------------------------------------
struct MessageRequest
{
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QString detailedText = QString(); // shown under the box's "details" button when not empty
};
using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;

// Shows a modal message box (Spanish buttons) and returns the button pressed;
// QMessageBox::NoButton when it was closed with the title bar's close box.
QMessageBox::StandardButton message(const MessageRequest& request);
// Replaces the real boxes (tests). An empty handler restores them.
void setMessageHandler(MessageHandler handler);

// The standard error box: the text (a full stop added when its last character sorts
// after "."), caption "Pennaro 2.0", stop icon, one OK button.
void showError(const QString& text);
QString errorBoxText(const QString& text);

// A plain box captioned "Pennaro 2.0", no icon, one OK button (validation messages).
void showPlain(const QString& text);

// A Yes/No question with the question icon; true for Yes.
bool askYesNo(const QString& text, const QString& caption);

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
// handed to openUrl as a file or address. The result is not looked at.
void startProgram(const QString& text, bool maximised);
void setStartProgramHandler(StartProgramHandler handler);

// ---- file dialog ------------------------------------------------------------
using FileDialogHandler = std::function<QString(QWidget* parent)>;
// The desktop's open-file dialog (no filter, no title); "" when cancelled.
QString openFileName(QWidget* parent);
void setFileDialogHandler(FileDialogHandler handler);

} // namespace seams
