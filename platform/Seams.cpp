#include "platform/Seams.h"

#include "platform/SoundPlayer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

namespace seams {

namespace {
MessageHandler g_messageHandler;
SoundHandler g_soundHandler;
OpenUrlHandler g_openUrlHandler;
StartProgramHandler g_startProgramHandler;
FileDialogHandler g_fileDialogHandler;

const QString kTitle = QStringLiteral("Pennaro 2.0");
} // namespace

QWidget* boxParent(QWidget* requested)
{
    if (requested)
        return requested->window();
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

std::unique_ptr<QMessageBox> makeBox(const MessageRequest& request)
{
    auto box = std::make_unique<QMessageBox>(request.icon, request.caption, request.text, request.buttons,
                                             boxParent(request.parent));
    box->setTextFormat(Qt::PlainText);
    if (!request.detailedText.isEmpty())
        box->setDetailedText(request.detailedText);
    // The close box answers "no button", which callers tell apart from OK.
    box->setEscapeButton(static_cast<QAbstractButton*>(nullptr));
    if (request.buttons == QMessageBox::Ok)
        box->setEscapeButton(QMessageBox::Ok);
    return box;
}

QMessageBox::StandardButton message(const MessageRequest& request)
{
    if (g_messageHandler)
        return g_messageHandler(request);
    const std::unique_ptr<QMessageBox> box = makeBox(request);
    const int result = box->exec();
    if (box->clickedButton() == nullptr)
        return QMessageBox::NoButton;
    return static_cast<QMessageBox::StandardButton>(result);
}

void setMessageHandler(MessageHandler handler)
{
    g_messageHandler = std::move(handler);
}

QString errorBoxText(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void showError(const QString& text, QWidget* parent)
{
    message({errorBoxText(text), kTitle, QMessageBox::Critical, QMessageBox::Ok, parent});
}

void showPlain(const QString& text, QWidget* parent)
{
    message({text, kTitle, QMessageBox::NoIcon, QMessageBox::Ok, parent});
}

bool askYesNo(const QString& text, const QString& caption, QWidget* parent)
{
    return message({text, caption, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, parent}) ==
           QMessageBox::Yes;
}

void playSound(const QString& fileName)
{
    if (g_soundHandler) {
        g_soundHandler(fileName);
        return;
    }
    // Without the file the bell sounds instead; other failures stay silent.
    if (SoundPlayer::play(fileName) == SoundResult::FileMissing)
        QApplication::beep();
}

void setSoundHandler(SoundHandler handler)
{
    g_soundHandler = std::move(handler);
}

void openUrl(const QUrl& url)
{
    if (g_openUrlHandler) {
        g_openUrlHandler(url);
        return;
    }
    QDesktopServices::openUrl(url);
}

void setOpenUrlHandler(OpenUrlHandler handler)
{
    g_openUrlHandler = std::move(handler);
}

void startProgram(const QString& text, bool maximised)
{
    if (g_startProgramHandler) {
        g_startProgramHandler(text, maximised);
        return;
    }
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return;
    // A path to an executable file, or a bare program name found on PATH, is started;
    // anything else (a document, an address) goes to the desktop's opener.
    QString program;
    const QFileInfo info(trimmed);
    if (info.isAbsolute() && info.isFile() && info.isExecutable())
        program = info.absoluteFilePath();
    else if (!trimmed.contains(QLatin1Char('/')))
        program = QStandardPaths::findExecutable(trimmed);
    if (!program.isEmpty()) {
        // `maximised` cannot be honoured here: an X11 or Wayland desktop has no request by
        // which a starter asks another program to open its first window maximised (the
        // Windows show state has no counterpart), so the program opens as it chooses.
        QProcess::startDetached(program, {});
        return;
    }
    const QUrl url = info.exists() ? QUrl::fromLocalFile(info.absoluteFilePath()) : QUrl::fromUserInput(trimmed);
    openUrl(url);
}

void setStartProgramHandler(StartProgramHandler handler)
{
    g_startProgramHandler = std::move(handler);
}

QString openFileName(QWidget* parent)
{
    if (g_fileDialogHandler)
        return g_fileDialogHandler(parent);
    return QFileDialog::getOpenFileName(parent);
}

void setFileDialogHandler(FileDialogHandler handler)
{
    g_fileDialogHandler = std::move(handler);
}

} // namespace seams
