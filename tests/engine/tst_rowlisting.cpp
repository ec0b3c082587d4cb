// Datasets list their rows only when a position is needed, and read rows without moving.
// Positions must come out as if the rows had been listed at once: a refresh keeps the
// current record, a bookmark returns to its own row, and reads follow the dataset's order.

#include "EngineFixture.h"

#include "store/engine/Query.h"
#include "store/engine/Table.h"

#include <QRandomGenerator>

#include <sqlite3.h>

using namespace enginetest;

namespace {

struct Reminders
{
    Folder folder;
    engine::Table table{QStringLiteral("TableReminder")};
    engine::Table other{QStringLiteral("Other")}; // writes behind the first one's back

    Reminders()
    {
        folder.createReminders();
        sqlite3_exec(folder.connection.handle("Reminder.DB"), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        for (engine::Table* t : {&table, &other}) {
            t->setConnection(&folder.connection);
            t->setTableName(QStringLiteral("Reminder.DB"));
            t->open();
        }
    }

    void query(engine::Query& q, const QStringList& sql)
    {
        q.setConnection(&folder.connection);
        q.setSql(sql);
        q.open();
    }
};

} // namespace

class TestRowListing : public QObject
{
    Q_OBJECT

private slots:
    void refreshKeepsCurrentRecord_data();
    void refreshKeepsCurrentRecord();
    void bookmarkOfQueryNotListed();
    void rowsWhereFollowsOrder();
    void firstRowOfSeveralKeys_data();
    void firstRowOfSeveralKeys();
    void distinctTextsOfAMonth();
    void olderFileGetsTheDayIndex();
    void declaredIndexesOnNewAndOlderFiles();
};

void TestRowListing::refreshKeepsCurrentRecord_data()
{
    QTest::addColumn<int>("current");      // position before the refresh, -1: never moved
    QTest::addColumn<int>("deleted");      // position deleted through another dataset, -1: none
    QTest::addColumn<QString>("expected"); // "Recordatorio" of the record current afterwards

    QTest::newRow("kept") << 2 << -1 << "c";
    QTest::newRow("an earlier row deleted") << 2 << 0 << "c";
    QTest::newRow("current deleted: same place") << 2 << 2 << "d";
    QTest::newRow("last deleted: the one before") << 4 << 4 << "d";
    QTest::newRow("never moved") << -1 << -1 << "a";
    QTest::newRow("never moved, first deleted") << -1 << 0 << "b";
}

void TestRowListing::refreshKeepsCurrentRecord()
{
    QFETCH(int, current);
    QFETCH(int, deleted);
    QFETCH(QString, expected);

    Reminders r;
    for (const char* text : {"a", "b", "c", "d", "e"})
        addReminder(r.other, "01/01/2027", "10:00:00", text);
    r.table.close();
    r.table.open();
    if (current >= 0)
        r.table.moveTo(current);
    if (deleted >= 0) {
        r.other.moveTo(deleted);
        r.other.remove();
    }
    r.table.refresh();
    // A second refresh before any listing changes nothing.
    r.table.refresh();
    QCOMPARE(r.table.asString("Recordatorio"), expected);
    QCOMPARE(r.table.recordCount(), deleted >= 0 ? 4 : 5);
    QVERIFY(!r.table.eof());
}

void TestRowListing::bookmarkOfQueryNotListed()
{
    Reminders r;
    addReminder(r.table, "02/01/2027", "10:00:00", "b");
    addReminder(r.table, "03/01/2027", "10:00:00", "c");
    engine::Query q(QStringLiteral("q"));
    r.query(q, {"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha"});

    // Never moved: the bookmark is the first row's.
    const engine::Dataset::Bookmark mark = q.bookmark();
    QCOMPARE(mark, r.table.rowsWhere("Recordatorio", "b", {}).value(0).id);

    // A row that sorts first appears: the bookmark returns to its own row, not the first.
    addReminder(r.other, "01/01/2027", "10:00:00", "a");
    q.close();
    q.open();
    q.gotoBookmark(mark);
    QCOMPARE(q.asString("Recordatorio"), QStringLiteral("b"));
    QCOMPARE(q.recNo(), 1);

    // Back to the first row of a query not listed yet.
    q.close();
    q.open();
    const engine::Dataset::Bookmark first = q.bookmark();
    q.close();
    q.open();
    q.gotoBookmark(first);
    QCOMPARE(q.asString("Recordatorio"), QStringLiteral("a"));
    QCOMPARE(q.recNo(), 0);

    // A row gone is an error, listed or not.
    QVERIFY(r.other.findKey(first));
    r.other.remove();
    q.close();
    q.open();
    EXPECT_ERROR(EngineError, q.gotoBookmark(first), "ya no existe");
}

void TestRowListing::rowsWhereFollowsOrder()
{
    Reminders r;
    addReminder(r.table, "05/01/2027", "11:00:00", "x");
    addReminder(r.table, "05/01/2027", "09:00:00", "y");
    addReminder(r.table, "06/01/2027", "08:00:00", "x");
    add(r.table, {{"Hora", "07:00:00"}, {"Recordatorio", "sin fecha"}});
    engine::Query q(QStringLiteral("q"));
    r.query(q, {"SELECT *", "FROM Reminder.DB", "WHERE Recordatorio = \"x\"", "ORDER BY Hora DESC"});

    auto texts = [](const QVector<engine::Dataset::RowValues>& rows) {
        QStringList result;
        for (const auto& row : rows)
            result.append(row.values.value(0).toString() + QLatin1Char('@') + row.values.value(1).toString());
        return result;
    };
    // The query's own condition and order hold.
    QCOMPARE(texts(q.rowsWhere(QString(), QVariant(), {"Fecha", "Hora"})),
             (QStringList{"05/01/2027@11:00:00", "06/01/2027@08:00:00"}));
    QCOMPARE(texts(q.rowsWhere("Fecha", "06/01/2027", {"Fecha", "Hora"})), (QStringList{"06/01/2027@08:00:00"}));
    QCOMPARE(texts(q.rowsWhere(QString(), QVariant(), {"Fecha", "Hora"}, 1)), (QStringList{"05/01/2027@11:00:00"}));
    // An empty value finds the empty fields; nothing is moved.
    engine::Query all(QStringLiteral("all"));
    r.query(all, {"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"});
    QCOMPARE(texts(all.rowsWhere("Fecha", QString(), {"Recordatorio", "Hora"})), (QStringList{"sin fecha@07:00:00"}));
    QCOMPARE(all.recNo(), 0);
    EXPECT_ERROR(EngineError, all.rowsWhere("NoExiste", "1", {}), "NoExiste");
}

void TestRowListing::firstRowOfSeveralKeys_data()
{
    QTest::addColumn<QStringList>("sql");
    const QString from = QStringLiteral("FROM Direcciones.DB");
    QTest::newRow("indexed key, then descending") << QStringList{"SELECT *", from, "ORDER BY Nombre, Email DESC"};
    QTest::newRow("indexed key descending") << QStringList{"SELECT *", from, "ORDER BY Nombre DESC, Email"};
    QTest::newRow("with a condition") << QStringList{"SELECT *", from, "WHERE Ciudad = \"Lugo\"",
                                                     "ORDER BY Nombre, Email DESC"};
    QTest::newRow("key without index") << QStringList{"SELECT *", from, "ORDER BY Email, Nombre"};
    QTest::newRow("one key") << QStringList{"SELECT *", from, "ORDER BY Nombre"};
}

// The first row of a query not listed yet (its bookmark) is the first row once listed,
// on random cards with empty, equal and differently cased names.
void TestRowListing::firstRowOfSeveralKeys()
{
    QFETCH(QStringList, sql);
    Folder folder;
    folder.createCards();
    engine::Table cards(QStringLiteral("cards"));
    cards.setConnection(&folder.connection);
    cards.setTableName(QStringLiteral("Direcciones.DB"));
    cards.open();
    const QStringList names{QString(), "Ana", "ana", "Berta", "Zoe", "zoe"};
    const QStringList emails{QString(), "a@x.es", "b@x.es", "c@x.es"};
    QRandomGenerator random(7);
    engine::Query q(QStringLiteral("q"));
    q.setConnection(&folder.connection);
    q.setSql(sql);
    for (int round = 0; round < 40; ++round) {
        add(cards, {{"Nombre", names.at(int(random.bounded(names.size())))},
                    {"Email", emails.at(int(random.bounded(emails.size())))},
                    {"Ciudad", random.bounded(2) ? "Lugo" : "Vigo"}});
        q.close();
        q.open();
        const engine::Dataset::Bookmark unlisted = q.bookmark();
        const QList<qint64> listed = ids(q);
        QCOMPARE(unlisted, listed.isEmpty() ? engine::Dataset::Bookmark(-1) : listed.first());
    }
}

// The different dates of a month query, stepped through an index, are those its rows
// hold; without an index to step through, or with an empty field, nothing is given.
void TestRowListing::distinctTextsOfAMonth()
{
    Reminders r;
    QRandomGenerator random(11);
    QMap<QString, QSet<QString>> byMonth; // "/mm/yyyy" -> dates
    const QStringList odd{"5/03/2027", "xx/03/2027", "31/02/2027", "00/03/2027"};
    for (int i = 0; i < 300; ++i) {
        QString fecha = QDate(2027, 1, 1).addDays(random.bounded(120)).toString(QStringLiteral("dd/MM/yyyy"));
        if (i % 50 == 0)
            fecha = odd.at((i / 50) % odd.size());
        addReminder(r.table, fecha, QStringLiteral("%1:00:00").arg(random.bounded(24), 2, 10, QLatin1Char('0')));
        byMonth[fecha.right(8)].insert(fecha);
    }
    for (auto it = byMonth.cbegin(); it != byMonth.cend(); ++it) {
        engine::Query q(QStringLiteral("q"));
        r.query(q, {"SELECT *", "FROM Reminder.DB", "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%" + it.key() + "\"",
                    "ORDER BY Hora"});
        QStringList expected = it.value().values();
        std::sort(expected.begin(), expected.end());
        const std::optional<QStringList> texts = q.distinctTexts("Fecha");
        QVERIFY2(texts.has_value(), qPrintable(it.key()));
        QCOMPARE(*texts, expected);
    }
    engine::Query none(QStringLiteral("none"));
    r.query(none,
            {"SELECT *", "FROM Reminder.DB", "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/01/1999\"", "ORDER BY Hora"});
    QCOMPARE(none.distinctTexts("Fecha"), std::optional<QStringList>(QStringList()));

    engine::Query all(QStringLiteral("all"));
    r.query(all, {"SELECT *", "FROM Reminder.DB", "ORDER BY Hora"});
    QVERIFY(!all.distinctTexts("Recordatorio").has_value()); // no index gives them
    QVERIFY(all.distinctTexts("Fecha").has_value());
    add(r.table, {{"Hora", "07:00:00"}, {"Recordatorio", "sin fecha"}});
    QVERIFY(!all.distinctTexts("Fecha").has_value());
}

// A reminder file made before the index of a month's days gets it when opened, and its
// month queries then step through it.
void TestRowListing::olderFileGetsTheDayIndex()
{
    Folder folder;
    folder.createReminders();
    auto dayIndexes = [&folder] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(
            folder.connection.handle("Reminder.DB"),
            "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name LIKE '%\\_dias' ESCAPE '\\'", -1, &st,
            nullptr);
        const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        return n;
    };
    QCOMPARE(dayIndexes(), 1);
    QCOMPARE(sqlite3_exec(folder.connection.handle("Reminder.DB"), "DROP INDEX \"idx_Reminder_Fecha_Hora_dias\"",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    QCOMPARE(dayIndexes(), 0);
    folder.connection.disconnect();
    folder.connection.connect();
    QCOMPARE(dayIndexes(), 1);

    engine::Table table(QStringLiteral("t"));
    table.setConnection(&folder.connection);
    table.setTableName(QStringLiteral("Reminder.DB"));
    table.open();
    addReminder(table, "05/03/2027", "10:00:00");
    engine::Query q(QStringLiteral("q"));
    q.setConnection(&folder.connection);
    q.setSql({"SELECT *", "FROM Reminder.DB", "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/03/2027\"", "ORDER BY Hora"});
    q.open();
    QCOMPARE(q.distinctTexts("Fecha"), std::optional<QStringList>(QStringList{"05/03/2027"}));
}

namespace {

// The indexes a table file holds by name, with their SQL (SQLite's own key indexes left out).
QMap<QString, QString> indexesOf(sqlite3* db)
{
    QMap<QString, QString> indexes;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL", -1, &st,
                       nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        indexes.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))),
                       QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))));
    sqlite3_finalize(st);
    return indexes;
}

} // namespace

// A new file has the index of its primary fields and exactly the declared ones; an older
// file that lacks some gets them when opened, and keeps the ones it has as they are.
void TestRowListing::declaredIndexesOnNewAndOlderFiles()
{
    Folder folder;
    folder.createReminders();
    folder.createCards();
    const QStringList reminderIndexes{"Reminder_vencidos", "idx_Reminder_Fecha_Hora", "idx_Reminder_Fecha_Hora_dias",
                                      "idx_Reminder_Fecha_Hora_mes"};
    QCOMPARE(indexesOf(folder.connection.handle("Reminder.DB")).keys(), reminderIndexes);
    QCOMPARE(indexesOf(folder.connection.handle("Direcciones.DB")).keys(), QStringList{"idx_Direcciones_Nombre"});

    // An older file: no overdue or day index, and a month index of another shape.
    sqlite3* db = folder.connection.handle("Reminder.DB");
    for (const char* statement : {"DROP INDEX Reminder_vencidos", "DROP INDEX idx_Reminder_Fecha_Hora_dias",
                                  "DROP INDEX idx_Reminder_Fecha_Hora_mes",
                                  "CREATE INDEX idx_Reminder_Fecha_Hora_mes ON Reminder (substr(Fecha, -7))"})
        QCOMPARE(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK);
    const QString olderMonth = indexesOf(db).value("idx_Reminder_Fecha_Hora_mes");
    folder.connection.disconnect();
    folder.connection.connect();
    const QMap<QString, QString> reopened = indexesOf(folder.connection.handle("Reminder.DB"));
    QCOMPARE(reopened.keys(), reminderIndexes);
    QCOMPARE(reopened.value("idx_Reminder_Fecha_Hora_mes"), olderMonth);
}

QTEST_GUILESS_MAIN(TestRowListing)
#include "tst_rowlisting.moc"
