// The data store on its own, its windows replaced by a recorder: alerts raised by key,
// the edit session around an editor's record, and the wrap-around search.

#include "support/ProgramFixture.h"
#include "support/Records.h"

#include "store/Data_Unit.h"
#include "store/EditSession.h"
#include "store/StoreWindows.h"
#include "store/engine/Table.h"

#include <QTest>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {

// Records what the store asks of the windows.
struct FakeWindows : StoreWindows
{
    struct AlertSeen
    {
        qint64 id;         // the record TableReminder stood on
        bool repeats;      // the postponement list was locked
        bool timerRunning; // the minute timer while the alert was open
    };

    TDataModuleReminder* data = nullptr;
    QDate selected;
    QDate listed;
    QList<AlertSeen> alerts;
    bool alertActed = true;
    QList<QPair<QDate, bool>> reminderEditors; // day, new reminder
    int cardEditors = 0;

    void attachDataSources(TDataModuleReminder* store) override { data = store; }
    QDate selectedDay() const override { return selected; }
    void remindersChanged() override {}
    QDate listedDay() const override { return listed; }
    void showDay(const QDate& day) override { listed = day; }
    bool alertOpen() const override { return false; }
    bool showAlert(bool repeats) override
    {
        alerts.append({data->TableReminder->asInteger(QStringLiteral("ID")), repeats, MinuteTimer::running()});
        return alertActed;
    }
    QWidget* reminderEditorShowing() const override { return nullptr; }
    void openReminderEditor(const QDate& day, bool newReminder) override { reminderEditors.append({day, newReminder}); }
    void runReminderEditor(const QDate& day) override { reminderEditors.append({day, false}); }
    bool cardEditorOpen() const override { return false; }
    void prepareCardEditor() override {}
    void openCardEditor() override { ++cardEditors; }
    void runCardEditor() override { ++cardEditors; }
};

// A program folder, a running minute timer and a store over it.
struct StoreFixture
{
    ProgramFixture program;
    QTimer timer;
    FakeWindows windows;
    std::unique_ptr<TDataModuleReminder> store;

    StoreFixture()
    {
        timer.setInterval(60000);
        timer.start();
        MinuteTimer::attach(&timer);
        store = std::make_unique<TDataModuleReminder>(&windows);
    }
    ~StoreFixture()
    {
        store.reset();
        MinuteTimer::attach(nullptr);
    }
};

} // namespace

class TestDataStore : public QObject
{
    Q_OBJECT
private slots:
    void raiseAlert_data()
    {
        QTest::addColumn<QString>("repetirN");
        QTest::addColumn<bool>("playSound");
        QTest::addColumn<bool>("pauseTimer");
        QTest::addColumn<bool>("repeats");
        QTest::newRow("does not repeat, silent, from a tick") << "0" << false << true << false;
        QTest::newRow("repeats, with sound, from a tick") << "2" << true << true << true;
        QTest::newRow("blank count, at start-up") << "" << false << false << false;
    }
    void raiseAlert()
    {
        QFETCH(QString, repetirN);
        QFETCH(bool, playSound);
        QFETCH(bool, pauseTimer);
        QFETCH(bool, repeats);
        StoreFixture f;
        engine::Table* table = f.store->TableReminder;
        const qint64 id = testsupport::addReminder(*table, "05/03/2027", "12:00:00", "Alerta",
                                                   {{"RepetirN", repetirN}, {"PlaySound", playSound}});
        testsupport::addReminder(*table, "06/03/2027", "12:00:00", "Otro");

        QCOMPARE(f.store->raiseAlert(id, pauseTimer), TDataModuleReminder::Alert::Shown);
        QCOMPARE(f.windows.alerts.size(), 1);
        QCOMPARE(f.windows.alerts[0].id, id);
        QCOMPARE(f.windows.alerts[0].repeats, repeats);
        QCOMPARE(f.windows.alerts[0].timerRunning, !pauseTimer);
        QVERIFY(f.timer.isActive());
        QCOMPARE(f.program.sounds, playSound ? QStringList{"NOTIFY.WAV"} : QStringList());
    }

    // A reminder deleted after the scan read it is not alerted: the table would stand on
    // another reminder, which the alert would then delete, postpone or mark read.
    void raiseAlertPassesOverAReminderGoneSinceRead()
    {
        StoreFixture f;
        engine::Table* table = f.store->TableReminder;
        testsupport::addReminder(*table, "01/03/2027", "09:00:00", "Queda", {{"PlaySound", true}});
        const qint64 gone = testsupport::addReminder(*table, "02/03/2027", "09:00:00", "Borrado",
                                                     {{"PlaySound", true}, {"RepetirN", "3"}});
        QVERIFY(table->findKey(gone));
        table->remove();

        QCOMPARE(f.store->raiseAlert(gone, true), TDataModuleReminder::Alert::Missing);
        QVERIFY(f.windows.alerts.isEmpty());
        QVERIFY(f.program.sounds.isEmpty());
        QVERIFY(f.timer.isActive());
    }

    void raiseAlertAbandonedWhenClosedWithoutAnAction()
    {
        StoreFixture f;
        const qint64 id = testsupport::addReminder(*f.store->TableReminder, "05/03/2027", "09:00:00", "Sin acción");
        f.windows.alertActed = false;
        QCOMPARE(f.store->raiseAlert(id, true), TDataModuleReminder::Alert::Abandoned);
        QVERIFY(f.timer.isActive());
    }

    void startUpAlertsEachOverdueReminderOnItsOwnRecord()
    {
        // Reminders written while the store runs; the start-up pass runs again over them.
        QList<qint64> overdue;
        StoreFixture f;
        engine::Table* table = f.store->TableReminder;
        overdue.append(testsupport::addReminder(*table, "01/03/2027", "09:00:00", "Uno", {{"RepetirN", "1"}}));
        testsupport::addReminder(*table, "02/03/2027", "09:00:00", "Leído", {{"Leido", true}});
        overdue.append(testsupport::addReminder(*table, "03/03/2027", "09:00:00", "Dos"));
        testsupport::addReminder(*table, "05/03/2027", "09:00:00", "Hoy");
        table->flushToDisk();
        f.windows.alerts.clear();
        f.store->CerrarDataBase();
        f.store->Cargar();

        QCOMPARE(f.windows.alerts.size(), 2);
        QCOMPARE(f.windows.alerts[0].id, overdue[0]);
        QVERIFY(f.windows.alerts[0].repeats);
        QCOMPARE(f.windows.alerts[1].id, overdue[1]);
        QVERIFY(!f.windows.alerts[1].repeats);
        // The start-up alerts leave the timer running: a tick that comes meanwhile passes.
        QVERIFY(f.windows.alerts[0].timerRunning);
        QCOMPARE(f.windows.listed, QDate(2027, 3, 5));
        QVERIFY(f.program.messages.isEmpty());
    }

    void editSession_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("editing");      // the record is still pending afterwards
        QTest::addColumn<bool>("timerRunning"); // afterwards
        QTest::newRow("committed: the editor owns the edit") << false << false << true << false;
        QTest::newRow("failed: the insert is dropped") << true << false << false << true;
        QTest::newRow("failed, kept for an open editor") << true << true << true << false;
    }
    void editSession()
    {
        QFETCH(bool, fails);
        QFETCH(bool, keep);
        QFETCH(bool, editing);
        QFETCH(bool, timerRunning);
        StoreFixture f;
        engine::Table* table = f.store->TableLibreta;
        const int before = table->recordCount();
        try {
            EditSession session(table, keep ? EditSession::OnFailure::Keep : EditSession::OnFailure::Cancel);
            QVERIFY(!f.timer.isActive());
            table->insert();
            table->setValue(QStringLiteral("Nombre"), QStringLiteral("Nueva"));
            if (fails)
                throw std::runtime_error("no abre");
            session.commit();
        } catch (const std::runtime_error&) {
        }
        QCOMPARE(table->state() != engine::DataState::Browse, editing);
        QCOMPARE(f.timer.isActive(), timerRunning);
        if (!editing)
            QCOMPARE(table->recordCount(), before);
    }

    void anadirReminderOpensTheEditorOnTheSelectedDay()
    {
        StoreFixture f;
        f.windows.selected = QDate(2027, 4, 1);
        f.store->AnadirReminder();
        QCOMPARE(f.windows.reminderEditors.size(), 1);
        QCOMPARE(f.windows.reminderEditors[0], qMakePair(QDate(2027, 4, 1), true));
        QVERIFY(!f.timer.isActive());
        QCOMPARE(f.store->TableReminder->asString(QStringLiteral("Fecha")), QStringLiteral("01/04/2027"));
        QCOMPARE(f.store->TableReminder->asString(QStringLiteral("RepetirN")), QStringLiteral("0"));
    }

    void wrapSearch_data()
    {
        QTest::addColumn<int>("start"); // row the table stands on
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<bool>>("answers"); // to "search again from the top?"
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("endsOn");
        const QList<bool> none;
        QTest::newRow("current record matches") << 1 << "Bea" << none << QStringList{"Bea"} << 0 << "Carla";
        QTest::newRow("a later record matches") << 0 << "Carla" << none << QStringList{"Carla"} << 0 << "Dora";
        QTest::newRow("last record: back to the first") << 0 << "Dora" << none << QStringList{"Dora"} << 0 << "Ana";
        QTest::newRow("only before the start, searched again")
            << 2 << "Ana" << QList<bool>{true} << QStringList{"Ana"} << 1 << "Bea";
        QTest::newRow("only before the start, not again")
            << 2 << "Ana" << QList<bool>{false} << QStringList() << 1 << "Ana";
        QTest::newRow("nowhere, twice") << 0 << "Eva" << QList<bool>{true, false} << QStringList() << 2 << "Ana";
        QTest::newRow("case matters") << 0 << "bea" << QList<bool>{false} << QStringList() << 1 << "Ana";
        QTest::newRow("empty text matches nothing") << 0 << "" << QList<bool>{false} << QStringList() << 1 << "Ana";
    }
    void wrapSearch()
    {
        QFETCH(int, start);
        QFETCH(QString, text);
        QFETCH(QList<bool>, answers);
        QFETCH(QStringList, opened);
        QFETCH(int, asked);
        QFETCH(QString, endsOn);
        StoreFixture f;
        engine::Table* table = f.store->TableLibreta;
        for (const char* name : {"Ana", "Bea", "Carla", "Dora"})
            testsupport::add(*table, {{"Nombre", name}});
        table->first();
        for (int i = 0; i < start; ++i)
            table->next();

        QStringList seen;
        int questions = 0;
        TDataModuleReminder::wrapSearch(
            table, QStringLiteral("Nombre"), text,
            [&] { return questions < answers.size() ? answers.at(questions++) : (++questions, false); },
            [&] { seen.append(table->asString(QStringLiteral("Nombre"))); });
        QCOMPARE(seen, opened);
        QCOMPARE(questions, asked);
        QCOMPARE(table->asString(QStringLiteral("Nombre")), endsOn);
    }
};

QTEST_MAIN(TestDataStore)
#include "tst_datastore.moc"
