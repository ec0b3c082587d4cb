#pragma once
// Builds a whole program in-process for a test: a temporary program folder
// (PENNARO_HOME), a fixed clock, a notification area, and recorders for message boxes,
// sounds, shell requests and program starts. Message boxes are answered from a queue.

#include "platform/Seams.h"

#include <QDateTime>
#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <functional>

class ProgramFixture
{
public:
    // `now` fixes the clock (invalid: 2027-03-05 10:07:42).
    explicit ProgramFixture(const QDateTime& now = QDateTime());
    ~ProgramFixture();
    ProgramFixture(const ProgramFixture&) = delete;
    ProgramFixture& operator=(const ProgramFixture&) = delete;

    QString home() const;       // the program folder, ending with "/"
    QString dataFolder() const; // program folder + user name + "/Pennaro"

    void createProgram();  // the ten objects, as the program entry makes them
    void destroyProgram(); // in reverse order
    bool programCreated() const { return m_created; }

    // Message boxes: every request is recorded; the answer is taken from the queue,
    // else OK for one-button boxes and No for questions. `onMessage` runs first when set.
    QList<seams::MessageRequest> messages;
    QList<QMessageBox::StandardButton> answers;
    std::function<void(const seams::MessageRequest&)> onMessage;
    QStringList messageTexts() const;

    QStringList sounds;                          // file names played
    QList<QUrl> openedUrls;                      // seams::openUrl
    QList<QPair<QString, bool>> startedPrograms; // seams::startProgram (text, maximised)
    QString nextFileName;                        // what the file dialog answers
    int quitRequests = 0;                        // "&Terminar" asked the program to end

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    bool m_hadHome = false;
    bool m_created = false;
};

// Adds one silent reminder to the running program's reminder table, unread and not
// repeating unless told; returns its ID.
qint64 addReminder(const QString& fecha, const QString& hora, const QString& text, const QVariant& leido = false,
                   const QVariant& repetirN = "0", const QVariant& repetirS = QString::fromUtf8("Día/s"));

// Whether the main window's minute timer is running.
bool timerRunning();
