// Program entry: one copy per user session, the ten long-lived objects, the event loop.

#include "app/Globals.h"
#include "exchange/CommandLine.h"
#include "mail/pop3/Pop3Client.h"
#include "platform/Guard.h"
#include "platform/InstanceLock.h"
#include "platform/Seams.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace {

// Last resort: anything a handler let through is shown, and the program goes on.
class PennaroApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        bool handled = false;
        guarded([&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    // Import and export jobs from the command line: run before anything else is created,
    // without windows and without the single-instance lock, so they work beside a running copy.
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments += QString::fromLocal8Bit(argv[i]);
        if (const std::optional<int> rc = exchange::runCommandLine(arguments, stdout, stderr))
            return *rc;
    }

    PennaroApplication app(argc, argv);
    SetApplicationIdentity();
    // The program lives in the notification area: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Dates and names shown by Qt's widgets in Spanish (the tray tip keeps the system's form).
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::system().territory()));

    // Qt's own buttons and dialogs in Spanish.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    // Unattended runs (scripts, tests of whole processes): message boxes go to standard
    // error and count as answered with OK, so nothing waits for a person.
    if (qEnvironmentVariableIsSet("PENNARO_UNATTENDED")) {
        seams::setMessageHandler([](const seams::MessageRequest& request) {
            fprintf(stderr, "%s: %s\n", qPrintable(request.caption), qPrintable(request.text));
            return QMessageBox::Ok;
        });
    }

    InstanceLock lock(QStringLiteral("Pennaro 2.0"));
    if (lock.acquire() == InstanceLock::Result::AlreadyRunning) {
        seams::message({QStringLiteral("Pennaro20 ya está en ejecución."), QStringLiteral("Atención"),
                        QMessageBox::Critical, QMessageBox::Ok});
        return 0;
    }

    // Errors raised inside the mail check's callbacks reach the standard error box.
    Pop3Client::setUnhandledErrorHandler([](const QString& text) { seams::showError(text); });

    CreateProgramObjects();
    // Measuring start-up: end as soon as the event loop runs.
    if (qEnvironmentVariableIsSet("PENNARO_QUIT_AT_LOOP"))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    const int rc = QApplication::exec();
    DestroyProgramObjects();
    lock.release();
    return rc;
}
