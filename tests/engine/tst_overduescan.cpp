// The start-up pass over overdue reminders reads only the rows that can qualify. It must
// raise the same alerts in the same order, and the same error for a date that does not
// read, as the walk over every row of the reminder query that it replaces.

#include "EngineFixture.h"

#include "core/DateText.h"
#include "store/engine/DataSource.h"
#include "store/engine/OverdueScan.h"
#include "store/engine/Query.h"
#include "store/engine/Table.h"

#include <QRandomGenerator>
#include <QSet>
#include <sqlite3.h>

#include <functional>

using namespace enginetest;

namespace {

const QDate kToday(2027, 3, 5);

// The reminder table and the reminder query with its master link, as the data store
// wires them: every change of the table re-runs the query.
struct Store
{
    Folder folder;
    engine::Table table{QStringLiteral("TableReminder")};
    engine::DataSource source{QStringLiteral("DataSourceTableReminder")};
    engine::Query query{QStringLiteral("QueryReminder")};

    Store()
    {
        folder.createReminders();
        // Thousands of commits: durability is not what is compared here.
        sqlite3_exec(folder.connection.handle("Reminder.DB"), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        table.setConnection(&folder.connection);
        table.setTableName(QStringLiteral("Reminder.DB"));
        table.open();
        source.setDataSet(&table);
        query.setConnection(&folder.connection);
        query.setSql({"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"});
        query.setMasterSource(&source);
        query.execSql();
        query.open();
    }
};

// The walk the candidate scan replaced: every row of the query, in its order.
void fullWalk(engine::Query& query, const QDate& today, const std::function<void(const OverdueScan::Row&)>& alert)
{
    QSet<qint64> alerted;
    query.first();
    while (!query.eof()) {
        const QDate date = DateText::parseFecha(query.asString(QStringLiteral("Fecha")));
        const QVariant leido = query.value(QStringLiteral("Leido"));
        const qint64 id = query.asInteger(QStringLiteral("ID"));
        if (!(date < today) || leido.isNull() || leido.toBool() || alerted.contains(id)) {
            query.next();
            continue;
        }
        alerted.insert(id);
        alert(OverdueScan::Row{id});
    }
}

// Date texts of every kind the table may hold: past, today, future, readable but not in
// the stored form, and texts that are no date at all.
QVariant randomFecha(QRandomGenerator& random, bool odd)
{
    static const QStringList texts{"31/02/2026", "29/02/2027", "29/02/2024", "00/01/2026", "15/13/2026", "01/01/0000",
                                   "5/3/2026",   "5/3/2027",   "05/03/2027", "04/03/2027", "06/03/2027", "abc",
                                   "12/12/99",   "1/1/2030",   "31/12/9999", "01/01/0001"};
    switch (random.bounded(odd ? 10 : 9) + (odd ? 0 : 1)) {
    case 0:
        return random.bounded(3) == 0 ? QVariant() : QVariant(texts.at(int(random.bounded(int(texts.size())))));
    case 1:
        return DateText::fecha(kToday);
    case 2:
    case 3:
        return DateText::fecha(kToday.addDays(qint64(random.bounded(1, 800))));
    default:
        return DateText::fecha(kToday.addDays(-qint64(random.bounded(1, 800))));
    }
}

QVariant randomLeido(QRandomGenerator& random)
{
    const quint32 n = random.bounded(6);
    return n == 0 ? QVariant() : QVariant(n == 1);
}

void fill(engine::Table& table, quint32 seed, int rows, bool odd)
{
    QRandomGenerator random(seed);
    static const QStringList repeats{"0", "2", "x", "", "12"};
    for (int i = 0; i < rows; ++i) {
        add(table, {{"Fecha", randomFecha(random, odd)},
                    {"Hora", QTime(0, 0).addSecs(int(random.bounded(24)) * 3600).toString("HH:mm:ss")},
                    {"Recordatorio", QStringLiteral("r%1").arg(i)},
                    {"Leido", randomLeido(random)},
                    {"RepetirN", repeats.at(int(random.bounded(int(repeats.size()))))}});
    }
}

// What an alert does to the table, chosen by its own random sequence: mark read, delete,
// move to another day (past, today, future or a date that does not read), change another
// row, add a row, or nothing at all.
void act(engine::Table& table, QRandomGenerator& random, int alertNo, bool odd)
{
    switch (random.bounded(7)) {
    case 0:
        table.edit();
        table.setValue("Leido", true);
        table.post();
        break;
    case 1:
        table.remove();
        break;
    case 2:
        table.edit();
        table.setValue("Fecha", randomFecha(random, odd));
        table.post();
        break;
    case 3: {
        const qint64 other = qint64(random.bounded(1, 60));
        if (table.findKey(other)) {
            table.edit();
            table.setValue("Leido", randomLeido(random));
            table.setValue("Fecha", randomFecha(random, odd));
            table.post();
        }
        break;
    }
    case 4:
        if (alertNo < 40)
            add(table, {{"Fecha", DateText::fecha(kToday.addDays(-qint64(random.bounded(1, 30))))},
                        {"Hora", "09:00:00"},
                        {"Leido", false}});
        break;
    default:
        break;
    }
}

struct Outcome
{
    QList<qint64> alerts;
    QStringList repeats;
    QString error;
    QList<qint64> rowsAfter;
};

Outcome runOn(quint32 seed, int rows, bool odd,
              const std::function<void(Store&, const std::function<void(const OverdueScan::Row&)>&)>& scan)
{
    Store store;
    fill(store.table, seed, rows, odd);
    store.query.close();
    store.query.open();
    Outcome outcome;
    QRandomGenerator actions(seed * 7919u + 1u);
    try {
        scan(store, [&](const OverdueScan::Row& row) {
            outcome.alerts.append(row.id);
            QVERIFY(store.table.findKey(row.id));
            outcome.repeats.append(store.table.value(QStringLiteral("RepetirN")).toString());
            act(store.table, actions, int(outcome.alerts.size()), odd);
        });
    } catch (const PennaroError& e) {
        outcome.error = e.message();
    }
    outcome.rowsAfter = ids(store.query);
    return outcome;
}

} // namespace

class TestOverdueScan : public QObject
{
    Q_OBJECT

private slots:
    void candidates_data();
    void candidates();
    void sameAlertsAsFullWalk();
    void errorOfFirstUnreadableDate();
};

void TestOverdueScan::candidates_data()
{
    QTest::addColumn<QVariant>("fecha");
    QTest::addColumn<QVariant>("leido");
    QTest::addColumn<bool>("candidate");

    QTest::newRow("yesterday unread") << QVariant("04/03/2027") << QVariant(false) << true;
    QTest::newRow("yesterday read") << QVariant("04/03/2027") << QVariant(true) << false;
    QTest::newRow("yesterday no mark") << QVariant("04/03/2027") << QVariant() << false;
    QTest::newRow("today unread") << QVariant("05/03/2027") << QVariant(false) << false;
    QTest::newRow("tomorrow unread") << QVariant("06/03/2027") << QVariant(false) << false;
    // Day-first text order is not date order: an earlier day of a later month.
    QTest::newRow("01/04/2026 unread") << QVariant("01/04/2026") << QVariant(false) << true;
    QTest::newRow("31/01/2028 unread") << QVariant("31/01/2028") << QVariant(false) << false;
    QTest::newRow("leap day") << QVariant("29/02/2024") << QVariant(false) << true;
    // Dates that do not read, or not in the stored form, are always looked at.
    QTest::newRow("no leap day, read") << QVariant("29/02/2027") << QVariant(true) << true;
    QTest::newRow("31 February, future") << QVariant("31/02/2030") << QVariant(false) << true;
    QTest::newRow("day 0") << QVariant("00/01/2030") << QVariant(true) << true;
    QTest::newRow("month 13") << QVariant("10/13/2030") << QVariant(true) << true;
    QTest::newRow("year 0") << QVariant("01/01/0000") << QVariant(true) << true;
    QTest::newRow("short form") << QVariant("5/3/2030") << QVariant(true) << true;
    QTest::newRow("words") << QVariant("mañana") << QVariant() << true;
    QTest::newRow("empty") << QVariant() << QVariant(true) << true;
}

void TestOverdueScan::candidates()
{
    QFETCH(QVariant, fecha);
    QFETCH(QVariant, leido);
    QFETCH(bool, candidate);

    Store store;
    add(store.table, {{"Fecha", "10/10/2040"}, {"Hora", "10:00:00"}, {"Leido", false}});
    const qint64 id = add(store.table, {{"Fecha", fecha}, {"Hora", "10:00:00"}, {"Leido", leido}});
    const auto rows = store.query.overdueCandidates("Fecha", "Leido", kToday, {"Fecha"});
    QCOMPARE(rows.size(), candidate ? 1 : 0);
    if (candidate) {
        QCOMPARE(rows.at(0).id, id);
        QCOMPARE(rows.at(0).values.value(0), fecha.toString().isEmpty() ? QVariant() : fecha);
    }
}

void TestOverdueScan::sameAlertsAsFullWalk()
{
    int withAlerts = 0;
    int withErrors = 0;
    for (quint32 seed = 1; seed <= 60; ++seed) {
        // Two tables in three hold no unreadable date, so that long runs of alerts are
        // compared too.
        const int rows = 20 + int(seed % 5) * 10;
        const bool odd = seed % 3 == 0;
        const Outcome walked =
            runOn(seed, rows, odd, [](Store& s, const auto& alert) { fullWalk(s.query, kToday, alert); });
        const Outcome scanned =
            runOn(seed, rows, odd, [](Store& s, const auto& alert) { OverdueScan::run(&s.query, kToday, alert); });
        const QByteArray where = QByteArray("seed ") + QByteArray::number(seed);
        QVERIFY2(scanned.alerts == walked.alerts, where.constData());
        QVERIFY2(scanned.repeats == walked.repeats, where.constData());
        QVERIFY2(scanned.error == walked.error, where.constData());
        QVERIFY2(scanned.rowsAfter == walked.rowsAfter, where.constData());
        withAlerts += walked.alerts.isEmpty() ? 0 : 1;
        withErrors += walked.error.isEmpty() ? 0 : 1;
    }
    // The random tables must exercise both outcomes, else the comparison proves little.
    QVERIFY(withAlerts > 10);
    QVERIFY(withErrors > 5);
    QVERIFY(withErrors < 40);
}

void TestOverdueScan::errorOfFirstUnreadableDate()
{
    // A read reminder with a date that does not read stops the pass after the alerts of
    // the rows before it, in the query's order, with the reading's error.
    Store store;
    const qint64 first = add(store.table, {{"Fecha", "01/03/2027"}, {"Hora", "08:00:00"}, {"Leido", false}});
    add(store.table, {{"Fecha", "02/13/2027"}, {"Hora", "08:00:00"}, {"Leido", true}});
    add(store.table, {{"Fecha", "03/03/2027"}, {"Hora", "08:00:00"}, {"Leido", false}});
    QList<qint64> alerts;
    EXPECT_ERROR(PennaroError,
                 OverdueScan::run(&store.query, kToday, [&](const OverdueScan::Row& row) { alerts.append(row.id); }),
                 "02/13/2027");
    QCOMPARE(alerts, QList<qint64>{first});
}

QTEST_GUILESS_MAIN(TestOverdueScan)
#include "tst_overduescan.moc"
