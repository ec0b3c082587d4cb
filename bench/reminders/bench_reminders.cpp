// Figures of the reminder side and of the whole program at three table sizes: start-up
// of the real program to its event loop and its peak memory, one minute tick, the month
// marks, the day list, a search pass and the address list. Run by hand; prints a table
// with the targets.
//
//   bench_reminders [--cache DIR] [--program PATH] [reminders ...]
//
// Defaults: 0, 100000 and 1000000 reminders, a tenth as many cards, tables kept in
// /tmp/pennaro-bench (made once per day and size, then reused), the program built beside.

#include "addressbook/Direcciones_Unit.h"
#include "app/Globals.h"
#include "app/Ostiva_Unit.h"
#include "core/Clock.h"
#include "platform/Guard.h"
#include "platform/ProgramFolder.h"
#include "platform/Seams.h"
#include "platform/TrayIcon.h"
#include "reminders/Reminder_Unit.h"
#include "store/Data_Unit.h"
#include "store/engine/Connection.h"
#include "store/engine/Query.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QToolButton>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <vector>

namespace {

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

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Writes the two table files straight through SQLite, in one transaction each. The
// reminders are unread and spread over the five years from tomorrow, so nothing is due
// or overdue; `busyDay` gets 300 more. The overdue index is made first, as the program's
// first start makes it, so that the rows written keep it.
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
    {
        engine::Query query(QStringLiteral("q"));
        query.setConnection(&connection);
        query.setSql(
            {QStringLiteral("SELECT *"), QStringLiteral("FROM Reminder.DB"), QStringLiteral("ORDER BY Fecha, Hora")});
        query.open();
        query.overdueCandidates(QStringLiteral("Fecha"), QStringLiteral("Leido"), QDate::currentDate(), {});
    }
    QRandomGenerator random(2027);

    sqlite3* db = connection.handle(QStringLiteral("Reminder.DB"));
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO Reminder (Fecha, Hora, Recordatorio, Playsound, Leido, RepetirN, RepetirS) "
                             "VALUES (?, ?, ?, 0, 0, '0', 'Día/s')",
                             -1, &insert, nullptr),
          db, "prepare");
    const QDate first = QDate::currentDate().addDays(1);
    const int span = int(first.daysTo(first.addYears(5)));
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
    for (int i = 0; i < (reminders > 0 ? 300 : 0); ++i)
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

QDate busyDayOf()
{
    return QDate::currentDate().addDays(10);
}

// The program folder of one size, made once a day (the rows are dated from tomorrow).
QString homeFor(const QString& cache, int reminders, int cards)
{
    const QString home = QStringLiteral("%1/%2-%3-%4")
                             .arg(cache, QDate::currentDate().toString(QStringLiteral("yyyyMMdd")))
                             .arg(reminders)
                             .arg(cards);
    const QString done = home + QStringLiteral("/.complete");
    if (!QFile::exists(done)) {
        QDir(home).removeRecursively();
        const double ms = msOf([&] { generate(dataFolderOf(home), reminders, cards, busyDayOf()); });
        std::fprintf(stderr, "%d reminders and %d cards written in %.0f ms\n", reminders, cards, ms);
        QFile(done).open(QIODevice::WriteOnly);
    }
    return home;
}

struct Run
{
    double ms = 0;
    long maxRssKiB = 0;
};

// One start of the real program to its event loop, in a process of its own: wall time
// and peak resident memory.
Run runProgram(const QString& program, const QString& home, const QString& runtimeDir)
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("PENNARO_HOME", QFile::encodeName(home).constData(), 1);
        setenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir).constData(), 1);
        setenv("PENNARO_QUIT_AT_LOOP", "1", 1);
        setenv("PENNARO_UNATTENDED", "1", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const QByteArray path = QFile::encodeName(program);
        execl(path.constData(), path.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.ms = double(timer.nsecsElapsed()) / 1e6;
    run.maxRssKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s ended with status %d\n", qPrintable(program), status);
    return run;
}

// Results by measure, one column per size.
using Table = std::map<int, std::map<QString, QString>>;
std::vector<std::pair<QString, QString>> g_rows; // measure, target (in print order)

void put(Table& table, int size, const QString& measure, const QString& value, const QString& target = QString())
{
    if (std::find_if(g_rows.cbegin(), g_rows.cend(), [&](const auto& r) { return r.first == measure; }) ==
        g_rows.cend())
        g_rows.emplace_back(measure, target);
    table[size][measure] = value;
}

QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 3 : 1) + QStringLiteral(" ms");
}

// The program's own figures, in this process, on one program folder.
void measureInProcess(Table& table, int size, const QString& home)
{
    qputenv("PENNARO_HOME", QFile::encodeName(home));
    const double startUp = msOf([] { CreateProgramObjects(); });
    put(table, size, "start-up in process (CreateProgramObjects)",
        ms(startUp) + QStringLiteral(" (cpu %1)").arg(lastCpuMs, 0, 'f', 1));

    // One tick with nothing due; no mail check.
    Ostiva_Form->EditMail1User()->clear();
    IntervaloCorreo = 1 << 30;
    ContadorCorreo = 0;
    guarded([] { Ostiva_Form->Timer1Timer(); }); // first use of the scan's statements
    double tickWorst = 0, tickTotal = 0, tickCpu = 0;
    const int ticks = 50;
    for (int i = 0; i < ticks; ++i) {
        const double t = msOf([] { guarded([] { Ostiva_Form->Timer1Timer(); }); });
        tickTotal += t;
        tickCpu += lastCpuMs;
        tickWorst = std::max(tickWorst, t);
    }
    put(table, size, "tick, nothing due: mean / worst of 50", ms(tickTotal / ticks) + " / " + ms(tickWorst), "< 1 ms");
    put(table, size, "tick CPU (mean)", ms(tickCpu / ticks), "(part of < 5 ms a minute)");

    // The month marks for months not queried yet.
    QCalendarWidget* calendar = Ostiva_Form->MonthCalendar1();
    double monthWorst = 0, monthTotal = 0;
    const int months = 12;
    for (int i = 1; i <= months; ++i) {
        {
            const QSignalBlocker quiet(calendar);
            calendar->setSelectedDate(QDate::currentDate().addMonths(i));
        }
        const double t = msOf([] { guarded([] { Ostiva_Form->MonthCalendar1Click(); }); });
        monthTotal += t;
        monthWorst = std::max(monthWorst, t);
    }
    put(table, size, "month marks, new month: mean / worst of 12", ms(monthTotal / months) + " / " + ms(monthWorst),
        "< 10 ms");

    // The day list of the busy day, as "&Ver" opens it (the grid reads when shown).
    {
        const QSignalBlocker quiet(calendar);
        calendar->setSelectedDate(busyDayOf());
    }
    QToolButton* ver = Ostiva_Form->findChild<QToolButton*>(QStringLiteral("ToolButton1"));
    const double dayList = msOf([&] {
        ver->click();
        QApplication::processEvents();
    });
    put(table, size, "day list of the busy day",
        ms(dayList) + QStringLiteral(" (%1 rows)").arg(DataModuleReminder->QueryReminderDia->recordCount()), "< 20 ms");
    Reminder_Form->hide();

    // The address list shown, and a change of its order.
    const double shown = msOf([] {
        guarded([] { Ostiva_Form->Direcciones1->trigger(); });
        QApplication::processEvents();
    });
    put(table, size, "\"Ver direcciones\" shown", ms(shown), "< 100 ms");
    QComboBox* order = Direcciones_Form->findChild<QComboBox*>(QStringLiteral("ComboBox2"));
    const double reordered = msOf([&] {
        order->setCurrentIndex(order->currentIndex() == 1 ? 2 : 1);
        QApplication::processEvents();
    });
    put(table, size, "address list, change of order", ms(reordered), "< 100 ms");
    Direcciones_Form->hide();

    // A whole search pass that finds nothing; the question is answered No.
    DataModuleReminder->TableReminder->first();
    const double search =
        msOf([] { guarded([] { DataModuleReminder->BuscarRecordatorio(QStringLiteral("no está en ninguno")); }); });
    put(table, size, "BuscarRecordatorio pass finding nothing", ms(search), "< 1500 ms");

    DestroyProgramObjects();
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString cache = QStringLiteral("/tmp/pennaro-bench");
    QString program = QStringLiteral(PENNARO_PROGRAM);
    QList<int> sizes;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--cache") && i + 1 < args.size())
            cache = args.at(++i);
        else if (args.at(i) == QLatin1String("--program") && i + 1 < args.size())
            program = args.at(++i);
        else
            sizes.append(args.at(i).toInt());
    }
    if (sizes.isEmpty())
        sizes = {0, 100000, 1000000};

    // No desktop: boxes answer at once (questions with No), nothing sounds, nothing ends.
    seams::setMessageHandler([](const seams::MessageRequest& request) {
        if (!(request.buttons & QMessageBox::No))
            std::fprintf(stderr, "box: %s\n", qPrintable(request.text));
        return (request.buttons & QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
    });
    seams::setSoundHandler([](const QString&) {});
    TOstiva_Form::setQuitHandler([] {});
    TrayIcon::setAvailableOverride(1);
    // The system clock, at a fixed hour of today: the tables are dated from tomorrow.
    Clock::setNow(QDateTime(QDate::currentDate(), QTime(10, 7, 42)));

    QDir().mkpath(cache);
    QTemporaryDir runtime;
    QMap<int, QString> homes;
    for (int size : std::as_const(sizes))
        homes[size] = homeFor(cache, size, size / 10);

    // Whole process: the sizes take turns, so that all see the same machine load.
    Table table;
    const int runs = 5;
    QMap<int, std::vector<double>> times;
    QMap<int, long> rss;
    runProgram(program, homes.first(), runtime.path()); // warm the program's own files
    for (int r = 0; r < runs; ++r) {
        for (int size : std::as_const(sizes)) {
            const Run run = runProgram(program, homes[size], runtime.path());
            times[size].push_back(run.ms);
            rss[size] = std::max(rss.value(size), run.maxRssKiB);
        }
    }
    const int base = sizes.first();
    std::sort(times[base].begin(), times[base].end());
    const double baseMs = times[base][runs / 2];
    for (int size : std::as_const(sizes)) {
        std::sort(times[size].begin(), times[size].end());
        const double median = times[size][runs / 2];
        put(table, size, "start to event loop, whole process (median of 5)",
            ms(median) + QStringLiteral(" (x%1)").arg(median / baseMs, 0, 'f', 2), "within 1.5x of the first column");
        put(table, size, "peak RSS, whole process",
            QStringLiteral("%1 MiB (+%2)")
                .arg(double(rss[size]) / 1024, 0, 'f', 1)
                .arg(double(rss[size] - rss[base]) / 1024, 0, 'f', 1),
            "within 8 MiB of the first column");
    }

    for (int size : std::as_const(sizes))
        measureInProcess(table, size, homes[size]);

    // The table.
    std::printf("| measure | target |");
    for (int size : std::as_const(sizes))
        std::printf(" %d / %d |", size, size / 10);
    std::printf("\n|---|---|");
    for (int i = 0; i < sizes.size(); ++i)
        std::printf("---|");
    std::printf("\n");
    for (const auto& [measure, target] : g_rows) {
        std::printf("| %s | %s |", qPrintable(measure), qPrintable(target));
        for (int size : std::as_const(sizes))
            std::printf(" %s |", qPrintable(table[size][measure]));
        std::printf("\n");
    }
    return 0;
}
