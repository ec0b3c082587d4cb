// Figures of the reminder side on a large data folder: start-up, one minute tick, the
// month marks, the day list and a search pass. Run by hand; prints times and targets.
//
//   bench_reminders [reminders] [cards]      (defaults: 100000 and 10000)

#include "app/Globals.h"
#include "app/Ostiva_Unit.h"
#include "common/Clock.h"
#include "platform/Guard.h"
#include "platform/ProgramFolder.h"
#include "platform/Seams.h"
#include "platform/TrayIcon.h"
#include "reminders/Reminder_Unit.h"
#include "store/Data_Unit.h"
#include "store/engine/Connection.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QToolButton>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

const QDateTime kNow(QDate(2027, 3, 5), QTime(10, 7, 42));

// CPU time of this process in milliseconds: on a shared machine it varies less than
// the wall clock, so both are reported.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The CPU time of the last msOf() call.
double lastCpuMs = 0;

double msOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    const double cpuStart = cpuMs();
    timer.start();
    work();
    const double wall = double(timer.nsecsElapsed()) / 1e6;
    lastCpuMs = cpuMs() - cpuStart;
    return wall;
}

// A target of 0: no target, the figure only. `cpu` < 0: no CPU figure.
void report(const char* what, double ms, double target = 0, double cpu = -1)
{
    char cpuText[32] = "";
    if (cpu >= 0)
        std::snprintf(cpuText, sizeof cpuText, " (cpu %.1f)", cpu);
    if (target <= 0)
        std::printf("%-52s %9.3f ms%s\n", what, ms, cpuText);
    else
        std::printf("%-52s %9.3f ms%s   (target < %g ms)%s\n", what, ms, cpuText, target,
                    ms < target ? "" : "   OVER");
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Writes the two table files straight through SQLite, in one transaction each. The
// reminders are spread over five years around today and are all read, so neither the
// start-up pass nor the tick raises an alert; `busyDay` gets 300 more.
void generate(const QString& dataFolder, int reminders, int cards, const QDate& busyDay)
{
    QDir().mkpath(dataFolder);
    engine::Connection connection;
    connection.setPath(dataFolder);
    connection.connect();
    connection.createTable(QStringLiteral("Reminder.DB"), TDataModuleReminder::reminderFields(),
                           QStringLiteral("ID;Fecha;Hora"));
    connection.createTable(QStringLiteral("Direcciones.DB"), TDataModuleReminder::direccionesFields(),
                           QStringLiteral("ID;Nombre"));
    QRandomGenerator random(2027);

    sqlite3* db = connection.handle(QStringLiteral("Reminder.DB"));
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO Reminder (Fecha, Hora, Recordatorio, Playsound, Leido, RepetirN, RepetirS) "
                             "VALUES (?, ?, ?, 0, 1, '0', 'Día/s')",
                             -1, &insert, nullptr),
          db, "prepare");
    const QDate first(2025, 1, 1);
    const int span = int(first.daysTo(QDate(2029, 12, 31))) + 1;
    auto add = [&](const QDate& date, int i) {
        const QByteArray fecha = date.toString(QStringLiteral("dd/MM/yyyy")).toUtf8();
        const QByteArray hora =
            QTime(0, 0).addSecs(int(random.bounded(86400))).toString(QStringLiteral("HH:mm:ss")).toUtf8();
        const QByteArray texto = QStringLiteral("Recordatorio número %1 de la prueba").arg(i).toUtf8();
        sqlite3_bind_text(insert, 1, fecha.constData(), int(fecha.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, hora.constData(), int(hora.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, texto.constData(), int(texto.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    };
    for (int i = 0; i < reminders; ++i)
        add(first.addDays(qint64(i) * span / reminders), i);
    for (int i = 0; i < 300; ++i)
        add(busyDay, reminders + i);
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");

    db = connection.handle(QStringLiteral("Direcciones.DB"));
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    check(sqlite3_prepare_v2(db, "INSERT INTO Direcciones (Nombre, Email, Ciudad) VALUES (?, ?, ?)", -1, &insert,
                             nullptr),
          db, "prepare");
    for (int i = 0; i < cards; ++i) {
        const QByteArray nombre =
            QStringLiteral("Persona %1").arg(random.bounded(100000), 5, 10, QLatin1Char('0')).toUtf8();
        const QByteArray email = QStringLiteral("persona%1@ejemplo.es").arg(i).toUtf8();
        sqlite3_bind_text(insert, 1, nombre.constData(), int(nombre.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, email.constData(), int(email.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, "Madrid", -1, SQLITE_STATIC);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    connection.disconnect();
}

QString dataFolderOf(const QString& home)
{
    return home + QLatin1Char('/') + ProgramFolder::userName() + QStringLiteral("/Pennaro");
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reminders = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const int cards = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10000;

    // No desktop: boxes answer at once (questions with No), nothing sounds, nothing ends.
    int boxes = 0;
    seams::setMessageHandler([&](const seams::MessageRequest& request) {
        ++boxes;
        std::fprintf(stderr, "box: %s\n", qPrintable(request.text));
        return (request.buttons & QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
    });
    seams::setSoundHandler([](const QString&) {});
    TOstiva_Form::setQuitHandler([] {});
    TrayIcon::setAvailableOverride(1);
    Clock::setNow(kNow);

    // Start-up with an empty program folder.
    {
        QTemporaryDir home;
        qputenv("PENNARO_HOME", QFile::encodeName(home.path()));
        const double ms = msOf([] { CreateProgramObjects(); });
        report("start-up, empty tables (CreateProgramObjects)", ms, 150, lastCpuMs);
        DestroyProgramObjects();
    }

    QTemporaryDir home;
    qputenv("PENNARO_HOME", QFile::encodeName(home.path()));
    const QDate busyDay(2027, 3, 12);
    const double generating = msOf([&] { generate(dataFolderOf(home.path()), reminders, cards, busyDay); });
    std::printf("%d reminders (+300 on %s) and %d cards written in %.0f ms\n", reminders,
                qPrintable(busyDay.toString(Qt::ISODate)), cards, generating);

    const double startUp = msOf([] { CreateProgramObjects(); });
    report("start-up, large tables (CreateProgramObjects)", startUp, 400, lastCpuMs);

    // One tick with nothing due (today's reminders are all read); no mail check.
    Ostiva_Form->EditMail1User()->clear();
    IntervaloCorreo = 1 << 30;
    ContadorCorreo = 0;
    guarded([] { Ostiva_Form->Timer1Timer(); }); // first use of the scan's statements
    double tickWorst = 0;
    double tickTotal = 0;
    const int ticks = 50;
    for (int i = 0; i < ticks; ++i) {
        Clock::advance(60);
        const double ms = msOf([] { guarded([] { Ostiva_Form->Timer1Timer(); }); });
        tickTotal += ms;
        tickWorst = std::max(tickWorst, ms);
    }
    report("tick, nothing due (mean of 50)", tickTotal / ticks, 1);
    report("tick, nothing due (worst of 50)", tickWorst, 1);

    // The month marks for a month not queried yet.
    QCalendarWidget* calendar = Ostiva_Form->MonthCalendar1();
    double monthWorst = 0;
    double monthTotal = 0;
    const int months = 12;
    for (int i = 1; i <= months; ++i) {
        {
            const QSignalBlocker quiet(calendar);
            calendar->setSelectedDate(QDate(2027, 3, 15).addMonths(i));
        }
        const double ms = msOf([] { guarded([] { Ostiva_Form->MonthCalendar1Click(); }); });
        monthTotal += ms;
        monthWorst = std::max(monthWorst, ms);
    }
    report("MonthCalendar1Click, new month (mean of 12)", monthTotal / months, 10);
    report("MonthCalendar1Click, new month (worst of 12)", monthWorst, 10);

    // The day list for the busy day, as "&Ver" opens it (the grid reads when shown).
    {
        const QSignalBlocker quiet(calendar);
        calendar->setSelectedDate(busyDay);
    }
    QToolButton* ver = Ostiva_Form->findChild<QToolButton*>(QStringLiteral("ToolButton1"));
    const double dayList = msOf([&] {
        ver->click();
        QApplication::processEvents();
    });
    report(qPrintable(QStringLiteral("day list of a busy day (%1 rows)")
                          .arg(DataModuleReminder->QueryReminderDia->recordCount())),
           dayList);
    Reminder_Form->hide();

    // A whole search pass that finds nothing; the question is answered No.
    DataModuleReminder->TableReminder->first();
    const int boxesBefore = boxes;
    const double search =
        msOf([] { guarded([] { DataModuleReminder->BuscarRecordatorio(QStringLiteral("no está en ninguno")); }); });
    report("BuscarRecordatorio pass finding nothing", search, 200, lastCpuMs);
    if (boxes != boxesBefore + 1)
        std::printf("  (expected one question, saw %d boxes)\n", boxes - boxesBefore);

    DestroyProgramObjects();
    return 0;
}
