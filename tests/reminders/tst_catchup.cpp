// Catching up after a day change, a suspend or a clock set by hand: the reminders a running
// program alerts afterwards, with a fixed wall clock and monotonic clock that the tests move
// apart.

#include "ReminderHelpers.h"

#include "app/Ostiva_Unit.h"
#include "app/ReminderCatchUp.h"
#include "core/Clock.h"
#include "store/EditSession.h"

#include <QTest>

namespace {

QDateTime at(int day, int h, int m, int s = 0)
{
    return QDateTime(QDate(2027, 3, day), QTime(h, m, s));
}

void tick()
{
    Ostiva_Form->Timer1Timer();
}

ReminderCatchUp* catchUp()
{
    return ReminderCatchUp::of(Ostiva_Form);
}

} // namespace

class TestCatchUp : public QObject
{
    Q_OBJECT
private slots:
    // Reminders late today and early tomorrow, the computer asleep from 23:57 to 00:40: the
    // first tick alerts the past day's in order, then tomorrow's first; the scan of today
    // stops there as the list starts with another day, so the next tick brings the last.
    void suspendOverMidnight()
    {
        ProgramFixture f(at(5, 23, 57));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(),
                      {row("06/03/2027", "00:30:00", "Tomorrow"), row("05/03/2027", "23:59:00", "Tonight"),
                       row("05/03/2027", "23:58:00", "Earlier tonight"),
                       row("06/03/2027", "00:10:00", "Tomorrow early")});
        f.createProgram();
        QVERIFY(alerts.seen.isEmpty());

        Clock::setWallClock(at(6, 0, 40));
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Earlier tonight", "Tonight", "Tomorrow early"}));
        QCOMPARE(alerts.seen[1].fecha, QStringLiteral("05/03/2027"));
        QVERIFY(Ostiva_Form->Timer1->isActive());

        Clock::setNow(at(6, 0, 41));
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Earlier tonight", "Tonight", "Tomorrow early", "Tomorrow"}));
        Clock::setNow(at(7, 0, 1));
        tick();
        QCOMPARE(alerts.seen.size(), 4);
    }

    // A past day's unread reminder the start did not see (added while running, as an
    // import does): alerted at the next tick only when the clocks say a pass is due.
    void passOnlyAfterADayChangeOrAJump_data()
    {
        QTest::addColumn<QDateTime>("moveTo");
        QTest::addColumn<bool>("wallAlone"); // the monotonic clock stands still
        QTest::addColumn<bool>("alerted");
        QTest::newRow("a minute goes by") << at(5, 10, 8, 42) << false << false;
        QTest::newRow("an hour goes by") << at(5, 11, 7, 42) << false << false;
        QTest::newRow("clock set two minutes ahead") << at(5, 10, 9, 42) << true << false;
        QTest::newRow("clock set three minutes ahead") << at(5, 10, 10, 42) << true << true;
        QTest::newRow("two hours asleep") << at(5, 12, 7, 42) << true << true;
        QTest::newRow("the next day comes") << at(6, 0, 0, 30) << false << true;
        QTest::newRow("clock set back") << at(5, 9, 7, 42) << true << false;
        QTest::newRow("clock set back to the day before") << at(4, 10, 7, 42) << true << true;
    }
    void passOnlyAfterADayChangeOrAJump()
    {
        QFETCH(QDateTime, moveTo);
        QFETCH(bool, wallAlone);
        QFETCH(bool, alerted);
        ProgramFixture f(at(5, 10, 7, 42));
        AlertDriver alerts(&f);
        f.createProgram();
        tick();
        addReminder("03/03/2027", "09:00:00", "Imported");
        if (wallAlone)
            Clock::setWallClock(moveTo);
        else
            Clock::setNow(moveTo);
        tick();
        QCOMPARE(alerts.textsSeen(), alerted ? QStringList{"Imported"} : QStringList());
    }

    // logind's wake-up runs the pass at once, unless an editor or an alert holds the
    // reminder table (the timer is off then): the first tick after it is back does.
    void wakeUpRunsThePassAtOnceWhenTheTableIsFree_data()
    {
        QTest::addColumn<bool>("tableHeld");
        QTest::newRow("free") << false;
        QTest::newRow("held") << true;
    }
    void wakeUpRunsThePassAtOnceWhenTheTableIsFree()
    {
        QFETCH(bool, tableHeld);
        ProgramFixture f(at(5, 23, 50));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(), {row("05/03/2027", "23:55:00", "Tonight")});
        f.createProgram();
        QVERIFY(catchUp());
        if (tableHeld)
            MinuteTimer::pause();

        Clock::setWallClock(at(6, 7, 0));
        catchUp()->wokeUp();
        QCOMPARE(alerts.textsSeen(), tableHeld ? QStringList() : QStringList{"Tonight"});

        MinuteTimer::resume();
        Clock::setNow(at(6, 7, 1));
        tick();
        QCOMPARE(alerts.textsSeen(), QStringList{"Tonight"});
    }

    // The clock set back to yesterday and forward again: each reminder is alerted once,
    // the postponed one once more at its new time.
    void clockSetBackRaisesNothingTwice()
    {
        ProgramFixture f(at(6, 10, 0));
        AlertDriver alerts(&f);
        const QList<qint64> ids = seedReminders(f.dataFolder(), {row("05/03/2027", "09:00:00", "Yesterday"),
                                                                 row("06/03/2027", "09:30:00", "Today"),
                                                                 row("06/03/2027", "11:00:00", "Later")});
        f.createProgram();
        QCOMPARE(alerts.textsSeen(), QStringList{"Yesterday"});

        alerts.steps.append(AlertDriver::postponeBy(6)); // "1   día": tomorrow at 09:30
        Clock::setNow(at(6, 10, 1));
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Yesterday", "Today"}));

        Clock::setWallClock(at(5, 23, 0)); // set back to yesterday
        tick();
        Clock::setNow(at(5, 23, 1));
        tick();
        Clock::setWallClock(at(6, 11, 30)); // and right again
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Yesterday", "Today", "Later"}));
        Clock::setWallClock(at(5, 12, 0));
        tick();
        Clock::setWallClock(at(7, 9, 31));
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Yesterday", "Today", "Later", "Today"}));
        QCOMPARE(reminderOnDisk(f.dataFolder(), ids[1]).leido, QVariant(true));
    }
};

QTEST_MAIN(TestCatchUp)
#include "tst_catchup.moc"
