// The date arithmetic of the alert dialog's "&Repetir": postponement by the list's
// entries, the next date of a repeating reminder, and the reading of the repeat count.

#include "reminders/Mensaje_Uni.h"
#include "store/ReminderRepeat.h"

#include <QTest>
#include <QTimeZone>

namespace {
QDateTime at(int y, int m, int d, int h, int min, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s));
}
} // namespace

class TestAlertDates : public QObject
{
    Q_OBJECT
private slots:
    void postpone_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QDate>("fecha");
        QTest::addColumn<QTime>("hora"); // null: the stored hour stays

        QTest::newRow("23:55 + 10 minutos") << at(2027, 3, 5, 23, 55, 31) << 1 << QDate(2027, 3, 6) << QTime(0, 5);
        QTest::newRow("23:59:40 + 5 minutos") << at(2027, 3, 5, 23, 59, 40) << 0 << QDate(2027, 3, 6) << QTime(0, 4);
        QTest::newRow("10:17:45 + 5 minutos") << at(2027, 3, 5, 10, 17, 45) << 0 << QDate(2027, 3, 5) << QTime(10, 22);
        QTest::newRow("10:07:42 + 15 minutos") << at(2027, 3, 5, 10, 7, 42) << 2 << QDate(2027, 3, 5) << QTime(10, 22);
        QTest::newRow("10:45 + 30 minutos") << at(2027, 3, 5, 10, 45, 59) << 3 << QDate(2027, 3, 5) << QTime(11, 15);
        QTest::newRow("23:30 + 1 hora") << at(2027, 3, 5, 23, 30) << 4 << QDate(2027, 3, 6) << QTime(0, 30);
        QTest::newRow("22:30 + 2 horas") << at(2027, 3, 5, 22, 30) << 5 << QDate(2027, 3, 6) << QTime(0, 30);
        QTest::newRow("year end + 15 minutos") << at(2026, 12, 31, 23, 50) << 2 << QDate(2027, 1, 1) << QTime(0, 5);
        QTest::newRow("1 día on 31/12/2026") << at(2026, 12, 31, 9, 0) << 6 << QDate(2027, 1, 1) << QTime();
        QTest::newRow("1 semana on 28/12/2026") << at(2026, 12, 28, 9, 0) << 7 << QDate(2027, 1, 4) << QTime();
        QTest::newRow("1 mes on 31/01/2027") << at(2027, 1, 31, 9, 0) << 8 << QDate(2027, 2, 28) << QTime();
        QTest::newRow("1 mes on 31/01/2028") << at(2028, 1, 31, 9, 0) << 8 << QDate(2028, 2, 29) << QTime();
        QTest::newRow("1 mes on 31/03/2027") << at(2027, 3, 31, 9, 0) << 8 << QDate(2027, 4, 30) << QTime();
        QTest::newRow("1 mes on 31/12/2026") << at(2026, 12, 31, 9, 0) << 8 << QDate(2027, 1, 31) << QTime();
        QTest::newRow("1 mes on 15/02/2027") << at(2027, 2, 15, 9, 0) << 8 << QDate(2027, 3, 15) << QTime();
    }
    void postpone()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, entry);
        QFETCH(QDate, fecha);
        QFETCH(QTime, hora);
        const AlertDates::Postponement p = AlertDates::postpone(entry, now);
        QCOMPARE(p.fecha, fecha);
        QCOMPARE(p.hora, hora);
        if (hora.isValid())
            QCOMPARE(p.hora.second(), 0);
    }

    // Calendar arithmetic: the night the clocks go forward changes nothing.
    void postponeIgnoresDaylightSaving()
    {
        const QDateTime now(QDate(2027, 3, 28), QTime(1, 55), QTimeZone("Europe/Madrid"));
        const AlertDates::Postponement p = AlertDates::postpone(1, now);
        QCOMPARE(p.fecha, QDate(2027, 3, 28));
        QCOMPARE(p.hora, QTime(2, 5));
    }

    void postponeOutsideTheList()
    {
        QVERIFY(!AlertDates::postpone(-1, at(2027, 3, 5, 10, 0)).fecha.isValid());
        QVERIFY(!AlertDates::postpone(9, at(2027, 3, 5, 10, 0)).fecha.isValid());
        QCOMPARE(AlertDates::postponeChoices().size(), 9);
    }

    void nextOccurrence_data()
    {
        QTest::addColumn<QDate>("stored");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDate>("expected");

        const QString dias = QStringLiteral("Día/s");
        const QString meses = QStringLiteral("Mes/es");
        const QString anos = QStringLiteral("Año/s");

        QTest::newRow("daily, five days missed")
            << QDate(2027, 3, 5) << 1 << dias << at(2027, 3, 10, 10, 0) << QDate(2027, 3, 11);
        QTest::newRow("every 2 days, early")
            << QDate(2027, 3, 1) << 2 << dias << at(2027, 3, 4, 0, 0, 1) << QDate(2027, 3, 5);
        QTest::newRow("every 2 days, late")
            << QDate(2027, 3, 1) << 2 << dias << at(2027, 3, 4, 23, 59, 59) << QDate(2027, 3, 5);
        QTest::newRow("daily, years missed")
            << QDate(2000, 1, 1) << 1 << dias << at(2027, 3, 5, 10, 0) << QDate(2027, 3, 6);
        QTest::newRow("at midnight itself")
            << QDate(2027, 3, 5) << 1 << dias << at(2027, 3, 5, 0, 0) << QDate(2027, 3, 5);
        QTest::newRow("future date stays")
            << QDate(2027, 4, 10) << 1 << dias << at(2027, 3, 5, 10, 0) << QDate(2027, 4, 10);
        QTest::newRow("monthly from 31 January")
            << QDate(2027, 1, 31) << 1 << meses << at(2027, 1, 31, 10, 0) << QDate(2027, 2, 28);
        QTest::newRow("monthly from 28 February")
            << QDate(2027, 2, 28) << 1 << meses << at(2027, 2, 28, 10, 0) << QDate(2027, 3, 28);
        QTest::newRow("monthly, lowered day stays lowered")
            << QDate(2027, 1, 31) << 1 << meses << at(2027, 4, 15, 10, 0) << QDate(2027, 4, 28);
        QTest::newRow("every 3 months") << QDate(2027, 1, 15) << 3 << meses << at(2027, 6, 20, 8, 0)
                                        << QDate(2027, 7, 15);
        QTest::newRow("yearly from 29 February")
            << QDate(2028, 2, 29) << 1 << anos << at(2028, 2, 29, 9, 0) << QDate(2029, 2, 28);
        QTest::newRow("yearly, stays on the 28th in a leap year")
            << QDate(2029, 2, 28) << 1 << anos << at(2032, 3, 1, 9, 0) << QDate(2033, 2, 28);
        QTest::newRow("every 2 years") << QDate(2025, 6, 1) << 2 << anos << at(2027, 6, 2, 9, 0) << QDate(2029, 6, 1);
        QTest::newRow("unit compared exactly")
            << QDate(2027, 3, 1) << 1 << QStringLiteral("día/s") << at(2027, 3, 5, 10, 0) << QDate(2027, 3, 1);
        QTest::newRow("unknown unit") << QDate(2027, 3, 1) << 2 << QStringLiteral("Semana") << at(2027, 3, 5, 10, 0)
                                      << QDate(2027, 3, 1);
        QTest::newRow("blank unit") << QDate(2027, 3, 1) << 2 << QString() << at(2027, 3, 5, 10, 0)
                                    << QDate(2027, 3, 1);
        QTest::newRow("count 0") << QDate(2027, 3, 1) << 0 << dias << at(2027, 3, 5, 10, 0) << QDate(2027, 3, 1);
    }
    void nextOccurrence()
    {
        QFETCH(QDate, stored);
        QFETCH(int, count);
        QFETCH(QString, unit);
        QFETCH(QDateTime, now);
        QFETCH(QDate, expected);
        QCOMPARE(AlertDates::nextOccurrence(stored, count, unit, now), expected);
    }

    void repeatCount_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("repeats");
        QTest::addColumn<bool>("line"); // the alert shows "Se repite cada"
        QTest::newRow("zero") << QVariant(QStringLiteral("0")) << 0 << false << false;
        QTest::newRow("three") << QVariant(QStringLiteral("3")) << 3 << true << true;
        QTest::newRow("thirty-one") << QVariant(QStringLiteral("31")) << 31 << true << true;
        QTest::newRow("null") << QVariant() << 0 << false << true;
        QTest::newRow("empty") << QVariant(QString()) << 0 << false << true;
        QTest::newRow("blanks only") << QVariant(QStringLiteral("  ")) << 0 << false << true;
        QTest::newRow("letters") << QVariant(QStringLiteral("ab")) << 0 << false << false;
        QTest::newRow("digit and letter") << QVariant(QStringLiteral("1a")) << 0 << false << false;
        QTest::newRow("blank around") << QVariant(QStringLiteral(" 2")) << 2 << true << true;
        QTest::newRow("negative") << QVariant(QStringLiteral("-1")) << -1 << false << true;
        QTest::newRow("stored as a number") << QVariant(4) << 4 << true << true;
    }
    void repeatCount()
    {
        QFETCH(QVariant, value);
        QFETCH(int, count);
        QFETCH(bool, repeats);
        QFETCH(bool, line);
        QCOMPARE(ReminderRepeat::count(value), count);
        QCOMPARE(ReminderRepeat::repeats(value), repeats);
        QCOMPARE(ReminderRepeat::showsRepeatLine(value), line);
    }
};

QTEST_MAIN(TestAlertDates)
#include "tst_alertdates.moc"
