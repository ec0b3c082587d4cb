// Start-up: data folder and tables, bad table files, the single-instance lock and the
// state the main window starts in.

#include "support/ProgramFixture.h"
#include "support/Records.h"
#include "support/TestFiles.h"

#include "app/Ostiva_Unit.h"
#include "core/DateText.h"
#include "platform/InstanceLock.h"
#include "platform/TrayIcon.h"
#include "store/Data_Unit.h"

#include <QCalendarWidget>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

namespace {

QStringList columnsOf(const QString& path, const QString& table)
{
    sqlite3* db = nullptr;
    QStringList names;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        const QByteArray sql = "PRAGMA table_info(\"" + table.toUtf8() + "\")";
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW)
                names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return names;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

const QString kErrorCaption = QStringLiteral("Pennaro 2.0");

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void firstStartMakesFolderAndTables()
    {
        ProgramFixture f;
        QVERIFY(!QDir(f.dataFolder()).exists());
        f.createProgram();
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join(" | ")));
        QCOMPARE(columnsOf(f.dataFolder() + "/Reminder.DB", "Reminder"),
                 QStringList({"ID", "Fecha", "Hora", "Recordatorio", "Playsound", "Leido", "RepetirN", "RepetirS"}));
        const QStringList cardFields = columnsOf(f.dataFolder() + "/Direcciones.DB", "Direcciones");
        QCOMPARE(cardFields.size(), 31);
        QCOMPARE(cardFields.first(), QString("ID"));
        QCOMPARE(cardFields.at(1), QString("Nombre"));
        QCOMPARE(cardFields.at(28), QString("Cumpleanos"));
        QCOMPARE(cardFields.last(), QString("Notas"));
        QVERIFY(DataModuleReminder->TableReminder->isActive());
        QVERIFY(DataModuleReminder->TableLibreta->isActive());
        QVERIFY(DataModuleReminder->QueryReminder->isActive());
        QVERIFY(DataModuleReminder->QueryLibreta->isActive());
        QVERIFY(DataModuleReminder->QueryReminderDia->isActive());
        QVERIFY(DataModuleReminder->QueryReminderDia->isEmpty());

        // Nothing on screen but the icon, with today's short date as its tip.
        QVERIFY(!Ostiva_Form->isVisible());
        QVERIFY(IconData && IconData->isShown());
        QCOMPARE(IconData->toolTip(), DateText::shortDate(QDate(2027, 3, 5)));
        QVERIFY(Ostiva_Form->Timer1->isActive());
        QCOMPARE(Ostiva_Form->Timer1->interval(), 60000);
        QCOMPARE(IntervaloCorreo, 5);
        QCOMPARE(Ostiva_Form->MonthCalendar1()->selectedDate(), QDate(2027, 3, 5));
    }

    void laterStartsReuseTheFiles()
    {
        ProgramFixture f;
        f.createProgram();
        addReminder("05/03/2027", "18:00:00", "Llamar a Ana", false);
        f.destroyProgram();
        f.createProgram();
        QVERIFY(f.messages.isEmpty());
        engine::Table* t = DataModuleReminder->TableReminder;
        QCOMPARE(t->recordCount(), 1);
        QCOMPARE(t->asString("Recordatorio"), QString("Llamar a Ana"));
    }

    void addressFileWithoutReminderFile()
    {
        ProgramFixture f;
        f.createProgram();
        engine::Table* cards = DataModuleReminder->TableLibreta;
        testsupport::add(*cards, {{"Nombre", "Ana"}});
        f.destroyProgram();
        QVERIFY(QFile::remove(f.dataFolder() + "/Reminder.DB"));
        f.createProgram();
        QVERIFY(f.messages.isEmpty());
        QVERIFY(QFileInfo::exists(f.dataFolder() + "/Reminder.DB"));
        QVERIFY(DataModuleReminder->TableReminder->isActive());
        QVERIFY(DataModuleReminder->TableLibreta->isActive());
        QCOMPARE(DataModuleReminder->TableLibreta->asString("Nombre"), QString("Ana"));
    }

    void badTableFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("sqliteWithoutTable");
        QByteArray garbage(4096, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) % 251);
        // The head of a Paradox table file: record size, header size, file type, block size...
        const QByteArray paradox = QByteArray::fromHex("2a000008000303000000000000000000") + QByteArray(2032, '\0');
        for (const QString& file : {QStringLiteral("Reminder.DB"), QStringLiteral("Direcciones.DB")}) {
            QTest::newRow(qPrintable(file + " garbage")) << file << garbage << false;
            QTest::newRow(qPrintable(file + " empty")) << file << QByteArray() << false;
            QTest::newRow(qPrintable(file + " paradox")) << file << paradox << false;
            QTest::newRow(qPrintable(file + " other sqlite")) << file << QByteArray() << true;
        }
    }

    void badTableFiles()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, sqliteWithoutTable);
        ProgramFixture f;
        const QString path = f.dataFolder() + "/" + file;
        if (sqliteWithoutTable) {
            QDir().mkpath(f.dataFolder());
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            QCOMPARE(
                sqlite3_exec(db, "CREATE TABLE Otra(a TEXT); INSERT INTO Otra VALUES('x');", nullptr, nullptr, nullptr),
                SQLITE_OK);
            sqlite3_close(db);
            bytes = readAll(path);
        } else {
            QVERIFY(testsupport::writeFile(path, bytes));
        }
        f.createProgram();
        // One clear error naming the file, in the standard error box; start-up went on.
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.first().caption, kErrorCaption);
        QCOMPARE(f.messages.first().icon, QMessageBox::Critical);
        QVERIFY2(f.messages.first().text.contains(file), qPrintable(f.messages.first().text));
        QVERIFY(Ostiva_Form && DataModuleReminder);
        f.destroyProgram();
        // Never overwritten, truncated or repaired.
        QCOMPARE(readAll(path), bytes);
    }

    void dataFolderThatCannotBeMade()
    {
        ProgramFixture f;
        // A plain file where the per-user folder should be.
        const QString userFolder = QDir(f.dataFolder() + "/..").absolutePath();
        QVERIFY(testsupport::writeFile(userFolder, "not a folder"));
        f.createProgram();
        QCOMPARE(f.messages.size(), 1);
        QVERIFY2(f.messages.first().text.contains("carpeta"), qPrintable(f.messages.first().text));
        QVERIFY(!DataModuleReminder->TableReminder->isActive());
        QCOMPARE(readAll(userFolder), QByteArray("not a folder"));
    }

    void unreadableDateInTheOverdueScan()
    {
        ProgramFixture f;
        f.createProgram();
        addReminder("31/02/2027", "10:00:00", "Fecha imposible", false);
        addReminder("05/03/2027", "23:00:00", "Hoy", false);
        f.destroyProgram();
        f.createProgram();
        QCOMPARE(f.messages.size(), 1);
        QVERIFY2(f.messages.first().text.contains("31/02/2027"), qPrintable(f.messages.first().text));
        // The records are untouched and the program runs.
        QCOMPARE(DataModuleReminder->TableReminder->recordCount(), 2);
        QVERIFY(Ostiva_Form->Timer1->isActive());
    }

    void longDateInTheStatusBar()
    {
        ProgramFixture f(QDateTime(QDate(2027, 1, 3), QTime(9, 0)));
        f.createProgram();
        auto* panel = Ostiva_Form->findChild<QLabel*>("StatusPanel2");
        QVERIFY(panel);
        QCOMPARE(panel->text(), QString::fromUtf8("  Domingo, 3 de enero de 2027"));
        auto* domain = Ostiva_Form->findChild<QLabel*>("StatusPanel1");
        QVERIFY(domain && domain->text().contains("pennaro.example"));
    }

    void objectsAreCreatedAndDestroyedInOrder()
    {
        ProgramFixture f;
        f.createProgram();
        QVERIFY(Ostiva_Form && DataModuleReminder);
        f.destroyProgram();
        QVERIFY(!Ostiva_Form);
        QVERIFY(!DataModuleReminder);
        QVERIFY(!IconData);
    }

    // Two real processes: the second is refused with its message, the first goes on;
    // once the first has been killed a new start succeeds.
    void secondCopyIsRefused()
    {
        QTemporaryDir home;
        QTemporaryDir runtime;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PENNARO_HOME", home.path());
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("PENNARO_UNATTENDED", "1");

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(PENNARO_BINARY, {});
        QVERIFY(first.waitForStarted(10000));
        auto heldByOther = [&] {
            InstanceLock probe("Pennaro 2.0");
            return probe.acquire() == InstanceLock::Result::AlreadyRunning;
        };
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QTRY_VERIFY_WITH_TIMEOUT(heldByOther(), 20000);

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(PENNARO_BINARY, {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(QString::fromUtf8(second.readAllStandardError())
                     .contains(QString::fromUtf8("Atención: Pennaro20 ya está en ejecución.")),
                 "the refusal message was not shown");
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(!heldByOther());

        QProcess third;
        env.insert("PENNARO_QUIT_AT_LOOP", "1");
        third.setProcessEnvironment(env);
        third.start(PENNARO_BINARY, {});
        QVERIFY(third.waitForFinished(20000));
        QCOMPARE(third.exitCode(), 0);
        QVERIFY(!QString::fromUtf8(third.readAllStandardError()).contains("ya está en ejecución"));
        qunsetenv("XDG_RUNTIME_DIR");
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
