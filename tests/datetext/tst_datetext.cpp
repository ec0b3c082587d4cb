// Text forms of dates and hours, and the zero padding they are built with.

#include "common/Rutines.h"
#include "core/Clock.h"
#include "core/DateText.h"
#include "core/Error.h"

#include <QLocale>
#include <QtTest>

class TestDateText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void rellenaCeros_data();
    void rellenaCeros();
    void parseHora_data();
    void parseHora();
    void hourTexts();
    void longDate_data();
    void longDate();
    void fecha_data();
    void fecha();
    void fechaOutOfRange_data();
    void fechaOutOfRange();
    void badFecha_data();
    void badFecha();
    void shortDate_data();
    void shortDate();
    void parseShortDate_data();
    void parseShortDate();
};

// CTest runs these tests under several locales and names the one it meant; a locale that
// did not take effect would leave the locale-dependent checks testing C again.
void TestDateText::initTestCase()
{
    const QString meant = qEnvironmentVariable("PENNARO_TEST_LOCALE");
    if (!meant.isEmpty())
        QCOMPARE(QLocale::system().name(), meant);
}

void TestDateText::cleanup()
{
    Clock::setNow(QDateTime());
}

void TestDateText::rellenaCeros_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("7") << QStringLiteral("7") << 2 << QStringLiteral("07");
    QTest::newRow("12") << QStringLiteral("12") << 2 << QStringLiteral("12");
    QTest::newRow("empty") << QStringLiteral("") << 2 << QStringLiteral("00");
    QTest::newRow("longer than width") << QStringLiteral("123") << 2 << QStringLiteral("123");
    QTest::newRow("width 4") << QStringLiteral("5") << 4 << QStringLiteral("0005");
    QTest::newRow("width 0") << QStringLiteral("") << 0 << QStringLiteral("");
    QTest::newRow("not digits") << QStringLiteral("ab") << 3 << QStringLiteral("0ab");
}

void TestDateText::rellenaCeros()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    TRutines::RellenaCeros(text, quint8(width));
    QCOMPARE(text, expected);
}

void TestDateText::parseHora_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // hh:mm:ss, or "" when the text is no hour

    QTest::newRow("hour only") << QStringLiteral("9") << QStringLiteral("09:00:00");
    QTest::newRow("short minutes") << QStringLiteral("9:5") << QStringLiteral("09:05:00");
    QTest::newRow("full") << QStringLiteral("14:30:15") << QStringLiteral("14:30:15");
    QTest::newRow("PM") << QStringLiteral("7:30 PM") << QStringLiteral("19:30:00");
    QTest::newRow("pm joined") << QStringLiteral("7:30pm") << QStringLiteral("19:30:00");
    QTest::newRow("AM before") << QStringLiteral("AM 7:15") << QStringLiteral("07:15:00");
    QTest::newRow("12 AM is midnight") << QStringLiteral("12:00 AM") << QStringLiteral("00:00:00");
    QTest::newRow("12 PM is noon") << QStringLiteral("12:00 PM") << QStringLiteral("12:00:00");
    QTest::newRow("Spanish a. m.") << QStringLiteral("12 a. m.") << QStringLiteral("00:00:00");
    QTest::newRow("Spanish p. m.") << QStringLiteral("11:59:59 p. m.") << QStringLiteral("23:59:59");
    QTest::newRow("Spanish before, capitals") << QStringLiteral("P.M. 3") << QStringLiteral("15:00:00");
    QTest::newRow("no-break space in marker") << QStringLiteral("8:10 p.\u00a0m.") << QStringLiteral("20:10:00");
    QTest::newRow("blanks around parts") << QStringLiteral("  08 : 05 : 00  ") << QStringLiteral("08:05:00");
    QTest::newRow("fraction dropped") << QStringLiteral("08:05:00.75") << QStringLiteral("08:05:00");
    QTest::newRow("fraction with comma") << QStringLiteral("08:05:59,999 pm") << QStringLiteral("20:05:59");
    QTest::newRow("midnight") << QStringLiteral("0:0:0") << QStringLiteral("00:00:00");
    QTest::newRow("last second") << QStringLiteral("23:59:59") << QStringLiteral("23:59:59");
    QTest::newRow("leading zeros") << QStringLiteral("007:05") << QStringLiteral("07:05:00");

    QTest::newRow("24:00") << QStringLiteral("24:00") << QStringLiteral("");
    QTest::newRow("12:60") << QStringLiteral("12:60") << QStringLiteral("");
    QTest::newRow("seconds 60") << QStringLiteral("9:00:60") << QStringLiteral("");
    QTest::newRow("abc") << QStringLiteral("abc") << QStringLiteral("");
    QTest::newRow("empty") << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("blank") << QStringLiteral("   ") << QStringLiteral("");
    QTest::newRow("13 PM") << QStringLiteral("13:00 PM") << QStringLiteral("");
    QTest::newRow("0 AM") << QStringLiteral("0:30 AM") << QStringLiteral("");
    QTest::newRow("colon without minutes") << QStringLiteral("9:") << QStringLiteral("");
    QTest::newRow("empty minutes") << QStringLiteral("9::5") << QStringLiteral("");
    QTest::newRow("colon without seconds") << QStringLiteral("9:5:") << QStringLiteral("");
    QTest::newRow("four parts") << QStringLiteral("1:2:3:4") << QStringLiteral("");
    QTest::newRow("fraction without seconds") << QStringLiteral("9.5") << QStringLiteral("");
    QTest::newRow("separator without fraction") << QStringLiteral("9:00:00.") << QStringLiteral("");
    QTest::newRow("junk after marker") << QStringLiteral("7:30 PMx") << QStringLiteral("");
    QTest::newRow("two markers") << QStringLiteral("AM 7 PM") << QStringLiteral("");
    QTest::newRow("marker alone") << QStringLiteral("AM") << QStringLiteral("");
    QTest::newRow("negative") << QStringLiteral("-1") << QStringLiteral("");
    QTest::newRow("non-ASCII digits") << QStringLiteral("\u0663:00") << QStringLiteral("");
    QTest::newRow("too many digits") << QStringLiteral("00009:00") << QStringLiteral("");
}

void TestDateText::parseHora()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    const std::optional<QTime> time = DateText::tryParseHora(text);
    if (expected.isEmpty()) {
        QVERIFY2(!time, qPrintable(time ? time->toString() : QString()));
        try {
            DateText::parseHora(text);
            QFAIL("no error raised");
        } catch (const ConversionError& e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' no es una hora válida").arg(text));
        }
    } else {
        QVERIFY(time);
        QCOMPARE(DateText::hora(*time), expected);
        QCOMPARE(DateText::parseHora(text), *time);
    }
}

void TestDateText::hourTexts()
{
    QCOMPARE(DateText::hora(QTime(8, 5)), QStringLiteral("08:05:00"));
    QCOMPARE(DateText::hora(QTime(23, 59, 59, 999)), QStringLiteral("23:59:59"));
    QCOMPARE(DateText::longTime(QTime(10, 37)), QStringLiteral("10:37:00"));
    QCOMPARE(DateText::longTime(QTime(0, 15)), QStringLiteral("0:15:00"));
    // Both forms read back as the same hour.
    QCOMPARE(DateText::parseHora(DateText::longTime(QTime(7, 3, 9))), QTime(7, 3, 9));
    QVERIFY_THROWS_EXCEPTION(ConversionError, DateText::hora(QTime()));
    // The system's own AM/PM texts are read too, in whatever locale the test runs under.
    const QLocale system = QLocale::system();
    QCOMPARE(DateText::parseHora(QStringLiteral("7:30 ") + system.pmText()), QTime(19, 30));
    QCOMPARE(DateText::parseHora(system.amText() + QStringLiteral(" 12:05")), QTime(0, 5));
}

void TestDateText::longDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Sunday") << QDate(2027, 1, 3) << QStringLiteral("Domingo, 3 de enero de 2027");
    QTest::newRow("Tuesday") << QDate(2026, 12, 8) << QStringLiteral("Martes, 8 de diciembre de 2026");
    QTest::newRow("Wednesday") << QDate(2027, 1, 6) << QStringLiteral("Miércoles, 6 de enero de 2027");
    QTest::newRow("Saturday") << QDate(2027, 9, 25) << QStringLiteral("Sábado, 25 de septiembre de 2027");
    QTest::newRow("Monday") << QDate(2024, 2, 26) << QStringLiteral("Lunes, 26 de febrero de 2024");
}

void TestDateText::longDate()
{
    QFETCH(QDate, date);
    QFETCH(QString, expected);
    QCOMPARE(DateText::longDate(date), expected);
}

void TestDateText::fecha_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");

    QTest::newRow("padded") << QDate(2027, 3, 5) << QStringLiteral("05/03/2027");
    QTest::newRow("two digits") << QDate(2026, 12, 31) << QStringLiteral("31/12/2026");
    QTest::newRow("leap day") << QDate(2000, 2, 29) << QStringLiteral("29/02/2000");
    // Years below 1000 keep their leading zeros, or they would read back in this century.
    QTest::newRow("year 1") << QDate(1, 1, 1) << QStringLiteral("01/01/0001");
    QTest::newRow("year 27") << QDate(27, 3, 31) << QStringLiteral("31/03/0027");
    QTest::newRow("year 999") << QDate(999, 12, 31) << QStringLiteral("31/12/0999");
    QTest::newRow("year 1000") << QDate(1000, 1, 1) << QStringLiteral("01/01/1000");
    QTest::newRow("year 9999") << QDate(9999, 12, 31) << QStringLiteral("31/12/9999");
}

void TestDateText::fecha()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);
    QCOMPARE(DateText::fecha(date), text);
    QCOMPARE(DateText::parseFecha(text), date);
    // Leading zeros of day and month are not needed to read a date back (a year of fewer
    // than three digits is a two-digit year, so only full years are tried this way).
    if (date.year() >= 1000)
        QCOMPARE(DateText::parseFecha(QStringLiteral("%1/%2/%3").arg(date.day()).arg(date.month()).arg(date.year())),
                 date);
}

void TestDateText::fechaOutOfRange_data()
{
    QTest::addColumn<QDate>("date");
    QTest::newRow("invalid") << QDate();
    QTest::newRow("year before 1") << QDate(-1, 6, 1);
    QTest::newRow("five-digit year") << QDate(10000, 1, 1);
}

void TestDateText::fechaOutOfRange()
{
    QFETCH(QDate, date);
    QVERIFY_THROWS_EXCEPTION(ConversionError, DateText::fecha(date));
}

void TestDateText::badFecha_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no such day") << QStringLiteral("31/02/2027");
    QTest::newRow("day 0") << QStringLiteral("00/01/2027");
    QTest::newRow("month 13") << QStringLiteral("05/13/2027");
    QTest::newRow("dashes") << QStringLiteral("05-03-2027");
    QTest::newRow("no year") << QStringLiteral("05/03");
    QTest::newRow("trailing text") << QStringLiteral("5/3/2027x");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("empty") << QStringLiteral("");
    QTest::newRow("five-digit year") << QStringLiteral("05/03/20270");
}

void TestDateText::badFecha()
{
    QFETCH(QString, text);
    try {
        DateText::parseFecha(text);
        QFAIL("no error raised");
    } catch (const ConversionError& e) {
        QCOMPARE(e.message(), QStringLiteral("'%1' no es una fecha válida").arg(text));
    }
}

// The short form is the system locale's, so its text is known per locale; in every locale
// it reads back as the same date.
void TestDateText::shortDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("inC");
    QTest::addColumn<QString>("inSpanish");
    QTest::addColumn<QString>("inSwedish");

    QTest::newRow("day and month both below 13") << QDate(2027, 3, 5) << QStringLiteral("5 Mar 2027")
                                                 << QStringLiteral("5/3/27") << QStringLiteral("2027-03-05");
    QTest::newRow("last day of the year") << QDate(2026, 12, 31) << QStringLiteral("31 Dec 2026")
                                          << QStringLiteral("31/12/26") << QStringLiteral("2026-12-31");
    QTest::newRow("last century") << QDate(1999, 1, 9) << QStringLiteral("9 Jan 1999") << QStringLiteral("9/1/99")
                                  << QStringLiteral("1999-01-09");
}

void TestDateText::shortDate()
{
    QFETCH(QDate, date);
    QFETCH(QString, inC);
    QFETCH(QString, inSpanish);
    QFETCH(QString, inSwedish);
    Clock::setNow(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));

    const QString text = DateText::shortDate(date);
    const QString locale = QLocale::system().name();
    if (locale == QLatin1String("C"))
        QCOMPARE(text, inC);
    else if (locale == QLatin1String("es_ES"))
        QCOMPARE(text, inSpanish);
    else if (locale == QLatin1String("sv_SE"))
        QCOMPARE(text, inSwedish);
    QCOMPARE(DateText::parseShortDate(text), date);
}

void TestDateText::parseShortDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid: the text is no date

    QTest::newRow("stored form") << QStringLiteral("25/12/2027") << QDate(2027, 12, 25);
    QTest::newRow("two-digit year, this century") << QStringLiteral("15/6/27") << QDate(2027, 6, 15);
    QTest::newRow("two-digit year, last century") << QStringLiteral("15/6/80") << QDate(1980, 6, 15);
    QTest::newRow("letters") << QStringLiteral("abc") << QDate();
    QTest::newRow("no such day") << QStringLiteral("31/02/2027") << QDate();
    QTest::newRow("empty") << QStringLiteral("") << QDate();
}

void TestDateText::parseShortDate()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    Clock::setNow(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
    if (expected.isValid()) {
        QCOMPARE(DateText::parseShortDate(text), expected);
    } else {
        try {
            DateText::parseShortDate(text);
            QFAIL("no error raised");
        } catch (const ConversionError& e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' no es una fecha válida").arg(text));
        }
    }
}

QTEST_GUILESS_MAIN(TestDateText)
#include "tst_datetext.moc"
