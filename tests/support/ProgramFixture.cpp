#include "ProgramFixture.h"

#include "app/Globals.h"
#include "app/Ostiva_Unit.h"
#include "core/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/TrayIcon.h"
#include "store/Data_Unit.h"
#include "store/engine/Table.h"
#include "support/Records.h"

#include <QDir>
#include <QTimer>

ProgramFixture::ProgramFixture(const QDateTime& now)
{
    m_hadHome = qEnvironmentVariableIsSet("PENNARO_HOME");
    m_oldHome = qgetenv("PENNARO_HOME");
    qputenv("PENNARO_HOME", QFile::encodeName(m_dir.path()));
    Clock::setNow(now.isValid() ? now : QDateTime(QDate(2027, 3, 5), QTime(10, 7, 42)));
    TrayIcon::setAvailableOverride(1);

    seams::setMessageHandler([this](const seams::MessageRequest& request) {
        messages.append(request);
        if (onMessage)
            onMessage(request);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (request.buttons & QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
    });
    seams::setSoundHandler([this](const QString& name) { sounds.append(name); });
    seams::setOpenUrlHandler([this](const QUrl& url) { openedUrls.append(url); });
    seams::setStartProgramHandler([this](const QString& text, bool maximised) {
        startedPrograms.append({text, maximised});
    });
    seams::setFileDialogHandler([this](QWidget*) { return nextFileName; });
    TOstiva_Form::setQuitHandler([this] { ++quitRequests; });
}

ProgramFixture::~ProgramFixture()
{
    destroyProgram();
    TOstiva_Form::setQuitHandler(nullptr);
    seams::setMessageHandler(nullptr);
    seams::setSoundHandler(nullptr);
    seams::setOpenUrlHandler(nullptr);
    seams::setStartProgramHandler(nullptr);
    seams::setFileDialogHandler(nullptr);
    TrayIcon::setAvailableOverride(-1);
    Clock::setNow(QDateTime());
    if (m_hadHome)
        qputenv("PENNARO_HOME", m_oldHome);
    else
        qunsetenv("PENNARO_HOME");
}

QString ProgramFixture::home() const
{
    return ProgramFolder::path();
}

QString ProgramFixture::dataFolder() const
{
    return home() + ProgramFolder::userName() + QStringLiteral("/Pennaro");
}

void ProgramFixture::createProgram()
{
    if (m_created)
        return;
    CreateProgramObjects();
    m_created = true;
}

void ProgramFixture::destroyProgram()
{
    if (!m_created)
        return;
    DestroyProgramObjects();
    m_created = false;
}

QStringList ProgramFixture::messageTexts() const
{
    QStringList texts;
    for (const auto& m : messages)
        texts.append(m.text);
    return texts;
}

qint64 addReminder(const QString& fecha, const QString& hora, const QString& text, const QVariant& leido,
                   const QVariant& repetirN, const QVariant& repetirS)
{
    return testsupport::addReminder(
        *DataModuleReminder->TableReminder, fecha, hora, text,
        {{"PlaySound", false}, {"Leido", leido}, {"RepetirN", repetirN}, {"RepetirS", repetirS}});
}

bool timerRunning()
{
    return Ostiva_Form->Timer1->isActive();
}
