// The engine's row reads over tables larger than one read: long walks in key order and
// in another order, writes through another dataset in the middle of a walk, rows that
// reappear in the file, and field names after a query is reopened on another table.

#include "engine/EngineFixture.h"

#include "store/engine/Query.h"
#include "store/engine/Table.h"

#include <QTime>

#include <sqlite3.h>

#include <memory>

using namespace engine;
using namespace enginetest;

namespace {

constexpr int kRows = 3000; // several reads, the largest ones included

QString textOf(qint64 id)
{
    return QStringLiteral("fila %1 ñ").arg(id);
}

QString horaOf(qint64 id)
{
    return QTime(0, 0).addSecs(int(id) * 20).toString(QStringLiteral("HH:mm:ss"));
}

void execOn(sqlite3* db, const QByteArray& sql)
{
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error);
    const QByteArray message = error ? QByteArray(error) : QByteArray();
    sqlite3_free(error);
    QVERIFY2(rc == SQLITE_OK, message.constData());
}

} // namespace

class TestEngineWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void longWalk_data();
    void longWalk();
    void writesDuringWalk_data();
    void writesDuringWalk();
    void rowBackInsideRead();
    void fieldNamesAfterReopen();

private:
    // A walking dataset over the reminders: "table" in key order, "query" by hour, last first.
    std::unique_ptr<Dataset> walker(const QString& kind);
    // The IDs in the walker's order.
    static QList<qint64> expectedIds(const QString& kind);

    std::unique_ptr<Folder> m_folder;
};

void TestEngineWindow::init()
{
    m_folder = std::make_unique<Folder>();
    m_folder->createReminders();
    // Written straight through SQLite in one transaction: posting each would sync each.
    sqlite3* db = m_folder->connection.handle("Reminder.DB");
    execOn(db, "BEGIN");
    for (int id = 1; id <= kRows; ++id) {
        const QString hora = horaOf(id);
        execOn(db, QStringLiteral("INSERT INTO Reminder (Fecha, Hora, Recordatorio, Leido) "
                                  "VALUES ('05/03/2027', '%1', '%2', %3)")
                       .arg(hora, textOf(id))
                       .arg(id % 2)
                       .toUtf8());
    }
    execOn(db, "COMMIT");
}

void TestEngineWindow::cleanup()
{
    m_folder.reset();
}

std::unique_ptr<Dataset> TestEngineWindow::walker(const QString& kind)
{
    if (kind == QLatin1String("table")) {
        auto table = std::make_unique<Table>("TableReminder");
        table->setConnection(&m_folder->connection);
        table->setTableName("Reminder.DB");
        table->open();
        return table;
    }
    auto query = std::make_unique<Query>("QueryReminder");
    query->setConnection(&m_folder->connection);
    query->setSql({"SELECT *", "FROM Reminder.DB", "ORDER BY Hora DESC"});
    query->open();
    return query;
}

QList<qint64> TestEngineWindow::expectedIds(const QString& kind)
{
    QList<qint64> result;
    for (int i = 1; i <= kRows; ++i)
        result.append(kind == QLatin1String("table") ? i : kRows + 1 - i);
    return result;
}

void TestEngineWindow::longWalk_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("table, key order") << "table";
    QTest::newRow("query, other order") << "query";
}

void TestEngineWindow::longWalk()
{
    QFETCH(QString, kind);
    const std::unique_ptr<Dataset> data = walker(kind);
    const QList<qint64> expected = expectedIds(kind);
    int pos = 0;
    for (data->first(); !data->eof(); data->next(), ++pos) {
        QVERIFY(pos < kRows);
        const qint64 id = expected.at(pos);
        QCOMPARE(data->asInteger("ID"), id);
        QCOMPARE(data->asString("Recordatorio"), textOf(id));
        QCOMPARE(data->value("Leido").toBool(), id % 2 == 1);
        QVERIFY(data->isNull("RepetirN"));
    }
    QCOMPARE(pos, kRows);
    // Rows far behind and at the edges of reads, as a grid asks for them.
    for (int row : {0, 31, 32, 95, 1500, kRows - 1, 7})
        QCOMPARE(data->valueAt(row, "Recordatorio").toString(), textOf(expected.at(row)));
    // A field nobody asked for during the walk.
    for (int row : {1234, 1235, 40})
        QCOMPARE(data->valueAt(row, "hora").toString(), horaOf(expected.at(row)));
}

void TestEngineWindow::writesDuringWalk_data()
{
    longWalk_data();
}

void TestEngineWindow::writesDuringWalk()
{
    QFETCH(QString, kind);
    const std::unique_ptr<Dataset> data = walker(kind);
    const QList<qint64> expected = expectedIds(kind);
    const qint64 changed = expected.at(1700);
    const qint64 deleted = expected.at(1600);

    data->first();
    for (int pos = 0; pos < 1500; ++pos) {
        QCOMPARE(data->asString("Recordatorio"), textOf(expected.at(pos)));
        data->next();
    }

    // Rows well ahead of the walk, already read, change through another dataset.
    Table other("Other");
    other.setConnection(&m_folder->connection);
    other.setTableName("Reminder.DB");
    other.open();
    QVERIFY(other.findKey(changed));
    other.edit();
    other.setValue("Recordatorio", "cambiado");
    other.post();
    QVERIFY(other.findKey(deleted));
    other.remove();

    for (int pos = 1500; pos < kRows; ++pos) {
        QVERIFY(!data->eof());
        const qint64 id = expected.at(pos);
        if (id == deleted)
            QVERIFY(data->isNull("Recordatorio")); // gone from the file: reads as empty
        else
            QCOMPARE(data->asString("Recordatorio"), id == changed ? QStringLiteral("cambiado") : textOf(id));
        data->next();
    }
    QVERIFY(data->eof());
}

void TestEngineWindow::rowBackInsideRead()
{
    sqlite3* db = m_folder->connection.handle("Reminder.DB");
    execOn(db, "DELETE FROM Reminder WHERE ID BETWEEN 500 AND 510");
    const std::unique_ptr<Dataset> data = walker("table");
    data->first();
    for (int i = 0; i < 100; ++i)
        data->next();
    // A row the table does not list comes back into the file amid the rows it walks,
    // and the row after it goes: neither may take the other's place.
    execOn(db, "INSERT INTO Reminder (ID, Fecha, Hora, Recordatorio) VALUES (505, '05/03/2027', '23:00:00', 'vuelta')");
    execOn(db, "DELETE FROM Reminder WHERE ID = 511");

    qint64 id = 101;
    for (; !data->eof(); data->next(), ++id) {
        if (id == 500)
            id = 511;
        if (id == 511) {
            QVERIFY(data->isNull("Recordatorio"));
            continue;
        }
        QCOMPARE(data->asInteger("ID"), id);
        QCOMPARE(data->asString("Recordatorio"), textOf(id));
    }
    QCOMPARE(id, qint64(kRows + 1));
}

void TestEngineWindow::fieldNamesAfterReopen()
{
    m_folder->createCards();
    Query query("Query");
    query.setConnection(&m_folder->connection);
    query.setSql({"SELECT *", "FROM Reminder.DB", "ORDER BY Hora"});
    query.open();
    QCOMPARE(query.fieldIndex("recordatorio"), 3);
    QCOMPARE(query.asString("RECORDATORIO"), textOf(1));

    query.setSql({"SELECT *", "FROM Direcciones.DB"});
    query.open();
    QCOMPARE(query.fieldIndex("recordatorio"), -1);
    QCOMPARE(query.fieldIndex("Recordatorio"), -1);
    QCOMPARE(query.fieldIndex("ciudad"), 4);
    EXPECT_ERROR(EngineError, query.value("RECORDATORIO"), "Campo «RECORDATORIO» desconocido");
}

QTEST_GUILESS_MAIN(TestEngineWindow)
#include "tst_enginewindow.moc"
