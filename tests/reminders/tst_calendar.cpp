// The calendar's bold days: the adapter over QCalendarWidget (months shown, one mask per
// month), and the main window's month query and marks through the real program.

#include "ReminderHelpers.h"

#include "app/Ostiva_Unit.h"
#include "core/Clock.h"
#include "platform/Guard.h"
#include "platform/MonthCalendarAdapter.h"
#include "reminders/Reminder_Unit.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QSignalBlocker>
#include <QTest>
#include <QTextCharFormat>
#include <QToolButton>

#include <algorithm>

namespace {

bool isBold(QCalendarWidget* calendar, const QDate& date)
{
    return calendar->dateTextFormat(date).fontWeight() == QFont::Bold;
}

// Every bold date on the calendar's page, in order.
QList<QDate> boldDates(QCalendarWidget* calendar)
{
    QList<QDate> dates;
    const QMap<QDate, QTextCharFormat> formats = calendar->dateTextFormat();
    for (auto it = formats.cbegin(); it != formats.cend(); ++it)
        if (it.value().fontWeight() == QFont::Bold)
            dates.append(it.key());
    return dates;
}

// A reminder already read, so the start-up pass raises no alert for past days.
ReminderRow mark(const QString& fecha, const QString& hora, const QString& texto)
{
    ReminderRow r = row(fecha, hora, texto);
    r.leido = true;
    return r;
}

QCalendarWidget* calendar()
{
    return Ostiva_Form->MonthCalendar1();
}

// Selects a day and runs the click handler once, through the error guard, as a click does.
void clickDay(const QDate& date)
{
    {
        const QSignalBlocker quiet(calendar());
        calendar()->setSelectedDate(date);
    }
    guarded([] { Ostiva_Form->MonthCalendar1Click(); });
}

} // namespace

class TestCalendar : public QObject
{
    Q_OBJECT
private slots:
    // --- the adapter ------------------------------------------------------------------

    void adapterShowsThreeMonths_data()
    {
        QTest::addColumn<QDate>("month");
        QTest::addColumn<QDate>("first");
        QTest::addColumn<QDate>("last");
        // March 2027 begins on a Monday: a whole week of February comes before it.
        QTest::newRow("March 2027") << QDate(2027, 3, 1) << QDate(2027, 2, 22) << QDate(2027, 4, 4);
        QTest::newRow("March 2026") << QDate(2026, 3, 1) << QDate(2026, 2, 23) << QDate(2026, 4, 5);
        QTest::newRow("February 2027") << QDate(2027, 2, 1) << QDate(2027, 1, 25) << QDate(2027, 3, 7);
        QTest::newRow("December 2026") << QDate(2026, 12, 1) << QDate(2026, 11, 30) << QDate(2027, 1, 10);
    }
    void adapterShowsThreeMonths()
    {
        QFETCH(QDate, month);
        QFETCH(QDate, first);
        QFETCH(QDate, last);
        QCalendarWidget widget;
        widget.setFirstDayOfWeek(Qt::Monday);
        widget.setSelectedDate(month);
        MonthCalendarAdapter adapter(&widget, nullptr);
        QCOMPARE(adapter.firstShownDate(), first);
        QCOMPARE(adapter.lastShownDate(), last);
        QCOMPARE(adapter.monthRange(), 3);
    }

    void adapterSetsAndReplacesBoldDays()
    {
        QCalendarWidget widget;
        widget.setFirstDayOfWeek(Qt::Monday);
        widget.setSelectedDate(QDate(2027, 2, 10));
        MonthCalendarAdapter adapter(&widget, nullptr);

        // Day 31 (bit 30) in February is no day; January's 1st is not on the page.
        const quint32 mask = (1u << 0) | (1u << 27) | (1u << 29) | (1u << 30);
        QVERIFY(adapter.setDayState({mask, mask, mask}));
        QCOMPARE(boldDates(&widget), (QList<QDate>{QDate(2027, 1, 28), QDate(2027, 1, 30), QDate(2027, 1, 31),
                                                   QDate(2027, 2, 1), QDate(2027, 2, 28), QDate(2027, 3, 1)}));

        // A wrong number of masks changes nothing; the next call replaces the bold days.
        QVERIFY(!adapter.setDayState({mask}));
        QCOMPARE(boldDates(&widget).size(), 6);
        QVERIFY(adapter.setDayState({0, 1u << 9, 0}));
        QCOMPARE(boldDates(&widget), QList<QDate>{QDate(2027, 2, 10)});
        QVERIFY(adapter.setDayState({0, 0, 0}));
        QVERIFY(boldDates(&widget).isEmpty());
    }

    // Another format on a day survives the bold day coming and going.
    void adapterKeepsOtherFormats()
    {
        QCalendarWidget widget;
        widget.setSelectedDate(QDate(2027, 3, 10));
        QTextCharFormat red;
        red.setForeground(Qt::red);
        widget.setDateTextFormat(QDate(2027, 3, 5), red);
        MonthCalendarAdapter adapter(&widget, nullptr);
        QVERIFY(adapter.setDayState({0, 1u << 4, 0}));
        QVERIFY(isBold(&widget, QDate(2027, 3, 5)));
        QVERIFY(adapter.setDayState({0, 0, 0}));
        QVERIFY(!isBold(&widget, QDate(2027, 3, 5)));
        QCOMPARE(widget.dateTextFormat(QDate(2027, 3, 5)).foreground().color(), QColor(Qt::red));
    }

    void pagingMovesTheSelection()
    {
        QCalendarWidget widget;
        widget.setSelectedDate(QDate(2027, 1, 31));
        MonthCalendarAdapter adapter(&widget, nullptr);
        widget.showNextMonth();
        QCOMPARE(widget.selectedDate(), QDate(2027, 2, 28));
        widget.showNextMonth();
        QCOMPARE(widget.selectedDate(), QDate(2027, 3, 28));
    }

    // --- the month marks ----------------------------------------------------------------

    void marksTheMonthsDaysInEveryShownMonth()
    {
        // March 2026 shows 23 February to 5 April.
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(),
                      {mark("05/03/2026", "09:00:00", "a"), mark("25/03/2026", "18:00:00", "b"),
                       mark("25/03/2026", "07:00:00", "c"), mark("25/03/2026", "12:00:00", "d"),
                       mark("06/04/2026", "09:00:00", "April"), mark("05/03/2027", "09:00:00", "2027")});
        f.createProgram();
        QCOMPARE(MesConsultado.month, 3);
        QCOMPARE(MesConsultado.year, 2026);
        QCOMPARE(boldDates(calendar()),
                 (QList<QDate>{QDate(2026, 2, 25), QDate(2026, 3, 5), QDate(2026, 3, 25), QDate(2026, 4, 5)}));
        QCOMPARE(DataModuleReminder->QueryReminderMes->sql(),
                 (QStringList{"SELECT *", "FROM Reminder.DB", "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/03/2026\" ",
                              "ORDER BY Hora"}));
    }

    void monthWithoutRemindersHasNoBoldDay()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(), {mark("05/04/2026", "09:00:00", "April")});
        f.createProgram();
        QVERIFY(boldDates(calendar()).isEmpty());
        clickDay(QDate(2026, 4, 20));
        // April 2026 shows 30 March to 10 May: 5 April, and 5 May after it.
        QCOMPARE(boldDates(calendar()), (QList<QDate>{QDate(2026, 4, 5), QDate(2026, 5, 5)}));
    }

    // The same month is not queried again: a click on another of its days marks the
    // query's current rows; another month or year builds a new query.
    void queryIsRebuiltOnlyForAnotherMonthOrYear()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(), {mark("05/03/2026", "09:00:00", "a"), mark("12/04/2026", "09:00:00", "b"),
                                       mark("20/03/2027", "09:00:00", "c")});
        f.createProgram();
        QVERIFY(isBold(calendar(), QDate(2026, 3, 5)));

        engine::Query* month = DataModuleReminder->QueryReminderMes;
        month->setSql(
            {"SELECT *", "FROM Reminder.DB", "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/04/2026\" ", "ORDER BY Hora"});
        month->execSql();
        month->open();
        clickDay(QDate(2026, 3, 20));
        QVERIFY(isBold(calendar(), QDate(2026, 3, 12))); // marked from the query as it stood
        QVERIFY(!isBold(calendar(), QDate(2026, 3, 5)));

        clickDay(QDate(2027, 3, 1));
        QCOMPARE(MesConsultado.year, 2027);
        QCOMPARE(boldDates(calendar()), (QList<QDate>{QDate(2027, 3, 20)}));
        QVERIFY(month->sql().join(' ').contains("%/03/2027"));
    }

    void pagingTheCalendarMarksTheNewMonth()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(), {mark("05/03/2026", "09:00:00", "a"), mark("12/04/2026", "09:00:00", "b")});
        f.createProgram();
        calendar()->showNextMonth();
        QCOMPARE(calendar()->selectedDate(), QDate(2026, 4, 10));
        QCOMPARE(MesConsultado.month, 4);
        QVERIFY(isBold(calendar(), QDate(2026, 4, 12)));
        QVERIFY(!isBold(calendar(), QDate(2026, 4, 5)));
    }

    void storeSwitchedOffChangesNothing()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(), {mark("05/03/2026", "09:00:00", "a"), mark("12/04/2026", "09:00:00", "b")});
        f.createProgram();
        const QList<QDate> before = boldDates(calendar());
        QVERIFY(!before.isEmpty());

        Ostiva_Form->findChild<QToolButton*>("ToolButton5")->click(); // "OFF"
        clickDay(QDate(2026, 4, 20));
        QCOMPARE(boldDates(calendar()), before);
        QCOMPARE(MesConsultado.month, 3);
        QVERIFY(f.messages.isEmpty());

        Ostiva_Form->findChild<QToolButton*>("ToolButton5")->click(); // "ON" marks the shown month
        QCOMPARE(MesConsultado.month, 4);
        QVERIFY(isBold(calendar(), QDate(2026, 4, 12)));
    }

    // More rows than the day list's 123 places: the days of the later rows are marked too.
    void busyMonthMarksEveryDay()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        QList<ReminderRow> rows;
        for (int i = 0; i < 123; ++i) // ordered by hour, these come first
            rows.append(mark("02/03/2026", QStringLiteral("00:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
                             QStringLiteral("r%1").arg(i)));
        for (int day = 10; day <= 16; ++day)
            rows.append(mark(QStringLiteral("%1/03/2026").arg(day), "23:00:00", "tarde"));
        seedReminders(f.dataFolder(), rows);
        f.createProgram();

        QList<QDate> march;
        for (const QDate& d : boldDates(calendar()))
            if (d.month() == 3)
                march.append(d);
        QList<QDate> expected{QDate(2026, 3, 2)};
        for (int day = 10; day <= 16; ++day)
            expected.append(QDate(2026, 3, day));
        QCOMPARE(march, expected);
    }

    void deletedAndAddedRemindersFollow()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(), {mark("10/03/2026", "11:00:00", "hoy")});
        f.createProgram();
        QVERIFY(isBold(calendar(), QDate(2026, 3, 10)));

        Ostiva_Form->findChild<QToolButton*>("ToolButton1")->click(); // the day list
        f.answers = {QMessageBox::Yes};
        Reminder_Form->findChild<QAbstractButton*>("BitBtn3")->click();
        QVERIFY(!isBold(calendar(), QDate(2026, 3, 10)));
        Reminder_Form->findChild<QAbstractButton*>("BitBtn4")->click();
    }

    void unreadableDateKeepsTheMarks()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(), {mark("05/03/2026", "09:00:00", "a")});
        f.createProgram();
        // Written while the program runs (the start-up pass would stop at it).
        engine::Table* table = DataModuleReminder->TableReminder;
        testsupport::add(*table, {{"Fecha", "xx/04/2026"}, {"Hora", "09:00:00"}});
        const QList<QDate> before = boldDates(calendar());
        QVERIFY(!before.isEmpty());
        QVERIFY(f.messages.isEmpty());

        clickDay(QDate(2026, 4, 1));
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(boldDates(calendar()), before);
        QCOMPARE(MesConsultado.month, 4); // the month and its query are the new ones already
    }

    // One click runs the month routine once, whichever of the calendar's signals it
    // raises: the error of a date that does not read shows once per click.
    void oneErrorBoxPerClick()
    {
        ProgramFixture f(QDateTime(QDate(2027, 1, 10), QTime(9, 0)));
        f.createProgram();
        testsupport::add(*DataModuleReminder->TableReminder, {{"Fecha", "32/02/2027"}, {"Hora", "09:00:00"}});
        Ostiva_Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(Ostiva_Form));
        const auto boxes = [&f] {
            QCoreApplication::processEvents();
            return f.messages.size();
        };
        QCOMPARE(boxes(), 0);

        // The page arrow changes the page and with it the selection.
        QTest::mouseClick(calendar()->findChild<QToolButton*>(QStringLiteral("qt_calendar_nextmonth")), Qt::LeftButton);
        QCOMPARE(calendar()->selectedDate(), QDate(2027, 2, 10));
        QCOMPARE(boxes(), 1);
        QVERIFY2(f.messages[0].text.contains("32/02/2027"), qPrintable(f.messages[0].text));

        // A day of the shown month selects it and clicks it; the same day again only clicks.
        auto* view = calendar()->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
        QModelIndex day20;
        for (int r = 0; r < view->model()->rowCount() && !day20.isValid(); ++r)
            for (int c = 0; c < view->model()->columnCount(); ++c)
                if (view->model()->index(r, c).data().toString() == QLatin1String("20"))
                    day20 = view->model()->index(r, c);
        QVERIFY(day20.isValid());
        const QPoint centre = view->visualRect(day20).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(calendar()->selectedDate(), QDate(2027, 2, 20));
        QCOMPARE(boxes(), 2);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(boxes(), 3);
    }

    // Dates that read in another form mark their day; of several that do not read, the
    // error names the first in the query's order (by hour), not in the text's order.
    void marksReadEveryFormAndReportTheFirstUnreadable()
    {
        ProgramFixture f(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
        seedReminders(f.dataFolder(), {mark("5/04/2026", "09:00:00", "corta"), mark("20/04/2026", "10:00:00", "b"),
                                       mark("20/04/2026", "11:00:00", "c"), mark("31/05/2026", "09:00:00", "mayo")});
        f.createProgram();
        clickDay(QDate(2026, 4, 1));
        QVERIFY(f.messages.isEmpty());
        QList<QDate> april;
        for (const QDate& d : boldDates(calendar()))
            if (d.month() == 4)
                april.append(d);
        QCOMPARE(april, (QList<QDate>{QDate(2026, 4, 5), QDate(2026, 4, 20)}));

        engine::Table* table = DataModuleReminder->TableReminder;
        for (const auto& [fecha, hora] : {std::pair{"aa/06/2026", "10:00:00"}, std::pair{"zz/06/2026", "08:00:00"}}) {
            testsupport::add(*table, {{"Fecha", QString::fromLatin1(fecha)}, {"Hora", QString::fromLatin1(hora)}});
        }
        clickDay(QDate(2026, 6, 1));
        QCOMPARE(f.messages.size(), 1);
        QVERIFY2(f.messages[0].text.contains("zz/06/2026"), qPrintable(f.messages[0].text));
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"
