// The engine layer: table files, datasets, the pending-edit rule, the master link and
// durability of a post.

#include "EngineFixture.h"
#include "support/TestFiles.h"

#include "store/engine/DataSource.h"
#include "store/engine/Query.h"
#include "store/engine/Table.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>

#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace engine;
using namespace enginetest;

namespace {

enum class Action {
    Open,
    First,
    Next,
    MoveTo,
    Locate,
    FindKey,
    GotoBookmark,
    Edit,
    Insert,
    Post,
    Cancel,
    Remove,
    Refresh
};

// The type SQLite stores a column's value as, read straight from the file.
QString storedType(const QString& path, const char* column, qint64 id)
{
    sqlite3* db = nullptr;
    QString type;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        const QByteArray sql = QByteArray("SELECT typeof(\"") + column + "\") FROM Reminder WHERE ID = ?";
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK) {
            sqlite3_bind_int64(st, 1, id);
            if (sqlite3_step(st) == SQLITE_ROW)
                type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return type;
}

void makeSqlite(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// The child of the durability test: makes one change, says so, and waits to be killed.
int childChange(const QString& folder, const QString& action)
{
    Connection connection;
    connection.setPath(folder);
    Table table("TableReminder");
    table.setConnection(&connection);
    table.setTableName("Reminder.DB");
    try {
        table.open();
        if (action == "insert") {
            addReminder(table, "05/03/2027", "10:00:00", "escrito antes de morir");
        } else if (action == "edit") {
            table.edit();
            table.setValue("Recordatorio", "cambiado antes de morir");
            table.post();
        } else {
            table.remove();
        }
        table.flushToDisk();
    } catch (const PennaroError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    std::fputs("hecho\n", stdout);
    std::fflush(stdout);
    for (;;)
        pause();
}

} // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(engine::FieldDef)

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void badFile_data();
    void badFile();
    void missingFile();
    void createRefusesExisting();
    void fieldsReadBack_data();
    void fieldsReadBack();
    void fieldNamesIgnoreCase_data();
    void fieldNamesIgnoreCase();
    void nullFields_data();
    void nullFields();
    void emptyTextStoredAsNull();
    void textCutAtSize_data();
    void textCutAtSize();
    void typedValues();
    void badValues_data();
    void badValues();
    void navigation();
    void insertPostRemove();
    void editOnEmptyInserts();
    void cancel();
    void refusedOperations_data();
    void refusedOperations();
    void pendingEdit_data();
    void pendingEdit();
    void locate_data();
    void locate();
    void findKey();
    void bookmarks();
    void masterLink_data();
    void masterLink();
    void masterLinkIsLazy();
    void masterLinkEndsDetailEdit_data();
    void masterLinkEndsDetailEdit();
    void dataSourceEvents();
    void postTakesControlValues();
    void changesThroughAnotherDataset();
    void reconnect();
    void durableAfterKill_data();
    void durableAfterKill();

private:
    // The value a second table of the same connection reads from the file.
    QVariant fileValue(qint64 id, const QString& field);
    std::unique_ptr<Query> newQuery(const QString& name, const QStringList& lines);

    std::unique_ptr<Folder> m_folder;
    std::unique_ptr<Table> m_table;
    std::unique_ptr<DataSource> m_master;
    qint64 m_ids[4] = {};
};

void TestEngine::init()
{
    m_folder = std::make_unique<Folder>();
    m_folder->createReminders();
    m_table = std::make_unique<Table>("TableReminder");
    m_table->setConnection(&m_folder->connection);
    m_table->setTableName("Reminder.DB");
    m_master = std::make_unique<DataSource>("DataSourceTableReminder");
    m_master->setDataSet(m_table.get());
}

void TestEngine::cleanup()
{
    m_master.reset();
    m_table.reset();
    m_folder.reset();
}

QVariant TestEngine::fileValue(qint64 id, const QString& field)
{
    Table other("Otra");
    other.setConnection(&m_folder->connection);
    other.setTableName("Reminder.DB");
    other.open();
    return other.findKey(id) ? other.value(field) : QVariant("<no existe>");
}

std::unique_ptr<Query> TestEngine::newQuery(const QString& name, const QStringList& lines)
{
    auto query = std::make_unique<Query>(name);
    query->setConnection(&m_folder->connection);
    query->setSql(lines);
    return query;
}

// --- table files -----------------------------------------------------------

void TestEngine::badFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("sql"); // made with SQLite when not empty

    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 251);
    // The start of a Paradox table: record size, header size 2048, indexed file, and
    // field names further on.
    QByteArray paradox(2048, '\0');
    paradox[0] = char(0x2c);
    paradox[2] = char(0x00);
    paradox[3] = char(0x08);
    paradox[4] = char(0x00);
    paradox[5] = char(0x02);
    paradox.replace(0x78, 22, QByteArray("ID\0Fecha\0Hora\0Leido\0\0", 22));

    QTest::newRow("garbage") << garbage << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("paradox") << paradox << QByteArray();
    QTest::newRow("text") << QByteArray("ID;Fecha;Hora\n1;05/03/2027;10:00:00\n") << QByteArray();
    QTest::newRow("sqlite without the table")
        << QByteArray() << QByteArray("CREATE TABLE Otra(a TEXT); INSERT INTO Otra VALUES('x');");
    QTest::newRow("sqlite with other columns")
        << QByteArray() << QByteArray("CREATE TABLE Reminder(ID INTEGER PRIMARY KEY, Fecha BLOB, Foto IMAGEN);");
    QTest::newRow("sqlite view") << QByteArray()
                                 << QByteArray("CREATE TABLE t(ID INTEGER PRIMARY KEY); "
                                               "CREATE VIEW Reminder AS SELECT * FROM t;");
}

void TestEngine::badFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, sql);
    Folder folder;
    const QString path = folder.path("Reminder.DB");
    if (sql.isEmpty())
        QVERIFY(testsupport::writeFile(path, bytes));
    else
        makeSqlite(path, sql.constData());
    const QByteArray before = bytesOf(path);
    const QString message =
        QStringLiteral("El archivo «%1» no es una tabla de Pennaro válida.").arg(QDir::toNativeSeparators(path));

    Table table("TableReminder");
    table.setConnection(&folder.connection);
    table.setTableName("Reminder.DB");
    EXPECT_ERROR(EngineError, table.open(), message);
    QVERIFY(!table.isActive());
    Query query("QueryReminder");
    query.setConnection(&folder.connection);
    query.setSql({"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"});
    EXPECT_ERROR(EngineError, query.execSql(), message);
    EXPECT_ERROR(EngineError, query.open(), message);
    EXPECT_ERROR(EngineError, table.createTable(), "ya existe");

    // Nothing written, truncated or added beside it.
    QCOMPARE(bytesOf(path), before);
    QCOMPARE(QDir(folder.dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"Reminder.DB"});
}

void TestEngine::missingFile()
{
    Table table("TableLibreta");
    table.setConnection(&m_folder->connection);
    table.setTableName("Direcciones.DB");
    EXPECT_ERROR(
        EngineError, table.open(),
        QStringLiteral("No existe la tabla «%1».").arg(QDir::toNativeSeparators(m_folder->path("Direcciones.DB"))));
    QVERIFY(!QFile::exists(m_folder->path("Direcciones.DB")));
}

void TestEngine::createRefusesExisting()
{
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "guardado");
    const QByteArray before = bytesOf(m_folder->path("Reminder.DB"));
    EXPECT_ERROR(EngineError, m_folder->createReminders(), "ya existe");
    QCOMPARE(bytesOf(m_folder->path("Reminder.DB")), before);
    QCOMPARE(fileValue(1, "Recordatorio").toString(), QStringLiteral("guardado"));
}

void TestEngine::fieldsReadBack_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<FieldDefs>("fields");
    QTest::newRow("reminders") << "Reminder.DB" << reminderFields();
    QTest::newRow("cards") << "Direcciones.DB" << cardFields();
}

void TestEngine::fieldsReadBack()
{
    QFETCH(QString, file);
    QFETCH(FieldDefs, fields);
    if (file == "Direcciones.DB")
        m_folder->createCards();
    // A fresh connection reads the kinds and sizes back from the file alone.
    Connection other;
    other.setPath(m_folder->dir.path());
    const FieldDefs read = other.fieldsOf(file);
    QCOMPARE(read.size(), fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        QCOMPARE(read.at(i).name, fields.at(i).name);
        QCOMPARE(int(read.at(i).type), int(fields.at(i).type));
        QCOMPARE(read.at(i).size, fields.at(i).size);
        QCOMPARE(read.at(i).required, fields.at(i).required);
    }
}

// --- fields and values -----------------------------------------------------

void TestEngine::fieldNamesIgnoreCase_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("name");
    QTest::newRow("Id") << "Id"
                        << "ID";
    QTest::newRow("PlaySound") << "PlaySound"
                               << "Playsound";
    QTest::newRow("FECHA") << "FECHA"
                           << "Fecha";
    QTest::newRow("recordatorio") << "recordatorio"
                                  << "Recordatorio";
}

void TestEngine::fieldNamesIgnoreCase()
{
    QFETCH(QString, asked);
    QFETCH(QString, name);
    m_table->open();
    add(*m_table, {{"Fecha", "05/03/2027"}, {"PLAYSOUND", true}, {"Recordatorio", "x"}});
    QCOMPARE(m_table->field(asked).name, name);
    QCOMPARE(m_table->value(asked), m_table->value(name));
    QVERIFY(!m_table->isNull(asked));

    QCOMPARE(m_table->fieldIndex("Nada"), -1);
    EXPECT_ERROR(EngineError, m_table->value("Nada"), "Campo «Nada» desconocido");
    m_table->edit();
    EXPECT_ERROR(EngineError, m_table->setValue("Nada", 1), "Campo «Nada» desconocido");
}

void TestEngine::nullFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("reader"); // 0 text, 1 integer, 2 logical, 3 date
    QTest::addColumn<QString>("message");
    QTest::newRow("text") << "Fecha" << 0 << "El campo «Fecha» está vacío y no puede leerse como texto";
    QTest::newRow("number") << "RepetirN" << 1 << "El campo «RepetirN» está vacío y no puede leerse como número";
    QTest::newRow("logical") << "Leido" << 2 << "El campo «Leido» está vacío y no puede leerse como valor lógico";
    QTest::newRow("date") << "Fecha" << 3 << "El campo «Fecha» está vacío y no puede leerse como fecha";
}

void TestEngine::nullFields()
{
    QFETCH(QString, field);
    QFETCH(int, reader);
    QFETCH(QString, message);
    m_table->open();
    add(*m_table, {}); // nothing set: every field but ID is empty
    QVERIFY(!m_table->value(field).isValid());
    QVERIFY(m_table->isNull(field));
    QCOMPARE(m_table->displayText(field), QString());
    switch (reader) {
    case 0:
        EXPECT_ERROR(ConversionError, m_table->asString(field), message);
        break;
    case 1:
        EXPECT_ERROR(ConversionError, m_table->asInteger(field), message);
        break;
    case 2:
        EXPECT_ERROR(ConversionError, m_table->asBoolean(field), message);
        break;
    default:
        EXPECT_ERROR(ConversionError, m_table->asDate(field), message);
        break;
    }
    QCOMPARE(m_table->asInteger("ID"), 1);
}

void TestEngine::emptyTextStoredAsNull()
{
    m_table->open();
    const qint64 id = add(*m_table, {{"Recordatorio", "algo"}, {"Hora", "10:00:00"}});
    m_table->edit();
    m_table->setValue("Recordatorio", "");
    m_table->setValue("Hora", QVariant());
    m_table->post();
    QCOMPARE(storedType(m_folder->path("Reminder.DB"), "Recordatorio", id), QStringLiteral("null"));
    QCOMPARE(storedType(m_folder->path("Reminder.DB"), "Hora", id), QStringLiteral("null"));
    QVERIFY(m_table->isNull("Recordatorio"));
}

void TestEngine::textCutAtSize_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::newRow("longer") << "Fecha"
                            << "05/03/2027 y más"
                            << "05/03/2027";
    QTest::newRow("exact size") << "Hora"
                                << "08:05:00"
                                << "08:05:00";
    QTest::newRow("255 of 300") << "Recordatorio" << QString(300, 'x') << QString(255, 'x');
    QTest::newRow("count") << "RepetirN"
                           << "123"
                           << "12";
    QTest::newRow("characters, not bytes") << "RepetirS"
                                           << "ÁÉÍÓÚÑáé"
                                           << "ÁÉÍÓÚÑ";
    QTest::newRow("shorter") << "RepetirS"
                             << "Día/s"
                             << "Día/s";
}

void TestEngine::textCutAtSize()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, stored);
    m_table->open();
    const qint64 id = add(*m_table, {{field, text}});
    QCOMPARE(m_table->asString(field), stored);
    QCOMPARE(fileValue(id, field).toString(), stored);
}

void TestEngine::typedValues()
{
    m_folder->createCards();
    Table cards("TableLibreta");
    cards.setConnection(&m_folder->connection);
    cards.setTableName("Direcciones.DB");
    cards.open();
    const QString memo = QString(2000, 'm') + "\n1.50\n";
    add(cards, {{"Nombre", "12"}, {"Emails", memo}, {"Cumpleanos", QDate(2027, 3, 5)}, {"Email", "5/3/2027"}});
    add(cards, {{"Cumpleanos", "31/12/1999"}});
    cards.close();
    cards.open(); // read back from the file

    QCOMPARE(cards.value("ID").typeId(), int(QMetaType::LongLong));
    QCOMPARE(cards.asString("Emails"), memo); // a memo is not cut, nor read as a number
    QCOMPARE(cards.value("Cumpleanos"), QVariant(QDate(2027, 3, 5)));
    QCOMPARE(cards.asDate("Cumpleanos"), QDate(2027, 3, 5));
    QCOMPARE(cards.displayText("Cumpleanos"), QStringLiteral("05/03/2027"));
    QCOMPARE(cards.asString("Cumpleanos"), QStringLiteral("05/03/2027"));
    QCOMPARE(cards.asInteger("Nombre"), 12);
    QCOMPARE(cards.asDate("Email"), QDate(2027, 3, 5));
    cards.next();
    QCOMPARE(cards.asDate("Cumpleanos"), QDate(1999, 12, 31));

    m_table->open();
    add(*m_table, {{"Playsound", true}, {"Leido", false}});
    m_table->close();
    m_table->open();
    QCOMPARE(m_table->value("PlaySound"), QVariant(true));
    QCOMPARE(m_table->asBoolean("Leido"), false);
    QCOMPARE(m_table->displayText("Leido"), QStringLiteral("Falso"));
}

void TestEngine::badValues_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("reader"); // -1: setValue must refuse; 1 integer, 3 date
    QTest::addColumn<QString>("message");
    QTest::newRow("logical from a word") << "Leido" << QVariant("quizá") << -1 << "no es un valor lógico válido";
    QTest::newRow("impossible date") << "Fecha" << QVariant("31/02/2027") << 3 << "no puede leerse como fecha";
    // A stored date has its year in full: a two-digit year would read differently as time goes by.
    QTest::newRow("two-digit year") << "Fecha" << QVariant("05/03/27") << 3 << "no puede leerse como fecha";
    // A date whose year has no four-digit text would be cut to another date in the field.
    QTest::newRow("year past 9999") << "Fecha" << QVariant(QDate(10000, 1, 1)) << -1 << "Fecha no válida";
    QTest::newRow("text as number") << "RepetirN" << QVariant("x1") << 1 << "no puede leerse como número";
    QTest::newRow("identity") << "ID" << QVariant(7) << -1 << "no puede modificarse";
}

void TestEngine::badValues()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(int, reader);
    QFETCH(QString, message);
    m_table->open();
    m_table->insert();
    if (reader < 0) {
        if (field == "ID")
            EXPECT_ERROR(EngineError, m_table->setValue(field, value), message);
        else
            EXPECT_ERROR(ConversionError, m_table->setValue(field, value), message);
        QVERIFY(m_table->isNull(field));
        return;
    }
    m_table->setValue(field, value);
    m_table->post();
    if (reader == 1)
        EXPECT_ERROR(ConversionError, m_table->asInteger(field), message);
    else
        EXPECT_ERROR(ConversionError, m_table->asDate(field), message);
}

// --- moving and records ----------------------------------------------------

void TestEngine::navigation()
{
    m_table->open();
    QVERIFY(m_table->eof());
    QVERIFY(m_table->isEmpty());
    QCOMPARE(m_table->recNo(), -1);
    QCOMPARE(m_table->recordCount(), 0);
    QVERIFY(!m_table->value("ID").isValid());
    m_table->first();
    m_table->next();
    QVERIFY(m_table->eof());

    for (int i = 0; i < 3; ++i)
        addReminder(*m_table, "05/03/2027", QStringLiteral("1%1:00:00").arg(i));
    m_table->first();
    QCOMPARE(m_table->recNo(), 0);
    QVERIFY(!m_table->eof());
    m_table->next();
    m_table->next();
    QCOMPARE(m_table->recNo(), 2);
    QVERIFY(!m_table->eof());
    m_table->next(); // past the last row: end of data, still on the last row
    QVERIFY(m_table->eof());
    QCOMPARE(m_table->asInteger("ID"), 3);
    m_table->moveTo(1);
    QVERIFY(!m_table->eof());
    QCOMPARE(m_table->asInteger("ID"), 2);
    QCOMPARE(m_table->valueAt(2, "Hora").toString(), QStringLiteral("12:00:00"));
    QVERIFY(!m_table->valueAt(3, "Hora").isValid());
    EXPECT_ERROR(EngineError, m_table->moveTo(3), "no tiene la fila 4");
    QCOMPARE(m_table->recNo(), 1);
}

void TestEngine::insertPostRemove()
{
    m_table->open();
    m_table->first();
    for (int i = 1; i <= 3; ++i) {
        const qint64 id = addReminder(*m_table, "05/03/2027", "10:00:00", QString::number(i));
        QCOMPARE(id, i); // the new record is current, with the next identity
        QCOMPARE(m_table->recNo(), i - 1);
        QCOMPARE(m_table->state(), DataState::Browse);
    }
    m_table->moveTo(1);
    m_table->remove(); // the next record becomes current
    QCOMPARE(m_table->asInteger("ID"), 3);
    QCOMPARE(m_table->recordCount(), 2);
    m_table->remove(); // the last: the previous one becomes current
    QCOMPARE(m_table->asInteger("ID"), 1);
    QVERIFY(!m_table->eof());
    m_table->remove();
    QVERIFY(m_table->isEmpty());
    QVERIFY(m_table->eof());
    QCOMPARE(m_table->recNo(), -1);
    EXPECT_ERROR(EngineError, m_table->remove(), "no tiene registros que borrar");
    QCOMPARE(fileValue(1, "ID").toString(), QStringLiteral("<no existe>"));
    QCOMPARE(addReminder(*m_table, "05/03/2027", "10:00:00"), 4); // identities are not used again
}

void TestEngine::editOnEmptyInserts()
{
    m_table->open();
    m_table->edit();
    QCOMPARE(m_table->state(), DataState::Insert);
    m_table->insert(); // the unchanged record is dropped and a fresh one begins
    QCOMPARE(m_table->state(), DataState::Insert);
    m_table->setValue("Recordatorio", "nuevo");
    m_table->post();
    QCOMPARE(m_table->recordCount(), 1);
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("nuevo"));
}

void TestEngine::cancel()
{
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "uno");
    addReminder(*m_table, "06/03/2027", "10:00:00", "dos");
    m_table->first();
    m_table->edit();
    m_table->setValue("Recordatorio", "cambiado");
    QVERIFY(m_table->isModified());
    m_table->cancel();
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("uno"));
    QCOMPARE(fileValue(1, "Recordatorio").toString(), QStringLiteral("uno"));

    m_table->insert();
    m_table->setValue("Recordatorio", "nunca");
    m_table->cancel(); // back on the record current before the insert
    QCOMPARE(m_table->recordCount(), 2);
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("uno"));
    m_table->cancel(); // nothing pending: nothing happens
    QCOMPARE(m_table->state(), DataState::Browse);
}

void TestEngine::refusedOperations_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("message");
    const QString closed = QStringLiteral("«TableReminder» está cerrada");
    const QString browsing = QStringLiteral("«TableReminder» no está en edición");
    const char* names[] = {"first",  "next",    "value",  "edit",     "insert",       "post",   "remove",
                           "locate", "refresh", "moveTo", "setValue", "gotoBookmark", "findKey"};
    for (int op = 0; op < 13; ++op)
        QTest::newRow(qPrintable(QStringLiteral("closed: %1").arg(names[op]))) << false << op << closed;
    QTest::newRow("browsing: post") << true << 5 << browsing;
    QTest::newRow("browsing: setValue") << true << 10 << browsing;
}

void TestEngine::refusedOperations()
{
    QFETCH(bool, open);
    QFETCH(int, operation);
    QFETCH(QString, message);
    if (open) {
        m_table->open();
        addReminder(*m_table, "05/03/2027", "10:00:00");
    }
    Table& t = *m_table;
    switch (operation) {
    case 0:
        EXPECT_ERROR(EngineError, t.first(), message);
        break;
    case 1:
        EXPECT_ERROR(EngineError, t.next(), message);
        break;
    case 2:
        EXPECT_ERROR(EngineError, t.value("Fecha"), message);
        break;
    case 3:
        EXPECT_ERROR(EngineError, t.edit(), message);
        break;
    case 4:
        EXPECT_ERROR(EngineError, t.insert(), message);
        break;
    case 5:
        EXPECT_ERROR(EngineError, t.post(), message);
        break;
    case 6:
        EXPECT_ERROR(EngineError, t.remove(), message);
        break;
    case 7:
        EXPECT_ERROR(EngineError, t.locate("Fecha", "x"), message);
        break;
    case 8:
        EXPECT_ERROR(EngineError, t.refresh(), message);
        break;
    case 9:
        EXPECT_ERROR(EngineError, t.moveTo(0), message);
        break;
    case 10:
        EXPECT_ERROR(EngineError, t.setValue("Fecha", "x"), message);
        break;
    case 11:
        EXPECT_ERROR(EngineError, t.gotoBookmark(1), message);
        break;
    default:
        EXPECT_ERROR(EngineError, t.findKey(1), message);
        break;
    }
}

void TestEngine::pendingEdit_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("modified");
    const std::pair<const char*, Action> actions[] = {
        {"next", Action::Next},     {"first", Action::First},     {"moveTo", Action::MoveTo},
        {"locate", Action::Locate}, {"findKey", Action::FindKey}, {"gotoBookmark", Action::GotoBookmark},
        {"insert", Action::Insert}, {"refresh", Action::Refresh}};
    for (const auto& [name, action] : actions) {
        QTest::newRow(qPrintable(QStringLiteral("%1, changed").arg(name))) << action << true;
        QTest::newRow(qPrintable(QStringLiteral("%1, unchanged").arg(name))) << action << false;
    }
}

void TestEngine::pendingEdit()
{
    QFETCH(Action, action);
    QFETCH(bool, modified);
    m_table->open();
    for (const char* text : {"uno", "dos", "tres"})
        addReminder(*m_table, "05/03/2027", "10:00:00", text);
    m_table->moveTo(1);
    const Dataset::Bookmark second = m_table->bookmark();
    m_table->edit();
    m_table->setValue("Recordatorio", modified ? "cambiado" : "dos");
    QCOMPARE(m_table->isModified(), modified);

    switch (action) {
    case Action::Next:
        m_table->next();
        break;
    case Action::First:
        m_table->first();
        break;
    case Action::MoveTo:
        m_table->moveTo(2);
        break;
    case Action::Locate:
        QVERIFY(m_table->locate("Recordatorio", "tres"));
        break;
    case Action::FindKey:
        QVERIFY(m_table->findKey(1));
        break;
    case Action::GotoBookmark:
        m_table->gotoBookmark(second);
        break;
    case Action::Insert:
        m_table->insert();
        break;
    default:
        m_table->refresh();
        break;
    }
    QCOMPARE(m_table->state(), action == Action::Insert ? DataState::Insert : DataState::Browse);
    QCOMPARE(fileValue(2, "Recordatorio").toString(), modified ? QStringLiteral("cambiado") : QStringLiteral("dos"));
    QCOMPARE(m_table->recordCount(), 3);
}

void TestEngine::locate_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<qint64>("found"); // -1: not found
    QTest::newRow("earliest hour of the day") << "Fecha" << QVariant("05/03/2027") << qint64(2);
    QTest::newRow("ties in ID order") << "Hora" << QVariant("09:00:00") << qint64(2);
    QTest::newRow("field name in any case") << "fecha" << QVariant("06/03/2027") << qint64(4);
    QTest::newRow("capitals differ") << "Recordatorio" << QVariant("UNO") << qint64(-1);
    QTest::newRow("part of the text") << "Recordatorio" << QVariant("un") << qint64(-1);
    QTest::newRow("no such day") << "Fecha" << QVariant("07/03/2027") << qint64(-1);
    QTest::newRow("logical") << "Leido" << QVariant(true) << qint64(3);
    QTest::newRow("empty") << "RepetirN" << QVariant("") << qint64(2);
}

void TestEngine::locate()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(qint64, found);
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "uno");                                             // 1
    addReminder(*m_table, "05/03/2027", "09:00:00", "dos");                                             // 2
    add(*m_table, {{"Fecha", "05/03/2027"}, {"Hora", "09:00:00"}, {"Leido", true}, {"RepetirN", "0"}}); // 3
    add(*m_table, {{"Fecha", "06/03/2027"}, {"Hora", "08:00:00"}, {"Leido", true}, {"RepetirN", "1"}}); // 4
    auto query = newQuery("QueryReminder", {"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"});
    query->open();
    query->moveTo(3);
    const qint64 before = query->asInteger("ID");
    QCOMPARE(query->locate(field, value), found >= 0);
    QCOMPARE(query->asInteger("ID"), found >= 0 ? found : before);
}

void TestEngine::findKey()
{
    m_table->open();
    for (int i = 0; i < 3; ++i)
        addReminder(*m_table, "05/03/2027", "10:00:00", QString::number(i));
    m_table->first();
    QVERIFY(m_table->findKey(3));
    QCOMPARE(m_table->recNo(), 2);
    QVERIFY(!m_table->findKey(99));
    QCOMPARE(m_table->recNo(), 2);
    m_table->findKey(2);
    m_table->remove();
    QVERIFY(!m_table->findKey(2));

    // A record added through another table of the connection is found too.
    Table other("Otra");
    other.setConnection(&m_folder->connection);
    other.setTableName("Reminder.DB");
    other.open();
    const qint64 id = addReminder(other, "09/09/2029", "10:00:00", "de la otra");
    QVERIFY(m_table->findKey(id));
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("de la otra"));
    QCOMPARE(m_table->recordCount(), 3);
}

void TestEngine::bookmarks()
{
    m_table->open();
    for (int i = 0; i < 3; ++i)
        addReminder(*m_table, "05/03/2027", "10:00:00", QString::number(i));
    m_table->moveTo(1);
    const Dataset::Bookmark mark = m_table->bookmark();
    m_table->first();
    m_table->gotoBookmark(mark);
    QCOMPARE(m_table->recNo(), 1);
    m_table->insert();
    QCOMPARE(m_table->bookmark(), Dataset::Bookmark(-1));
    m_table->cancel();

    // A query keeps its bookmark across a close and open (the program's re-run).
    auto query = newQuery("QueryReminder", {"SELECT *", "FROM Reminder.DB", "ORDER BY Recordatorio DESC"});
    query->open();
    query->moveTo(2);
    const Dataset::Bookmark queryMark = query->bookmark();
    query->close();
    query->open();
    QCOMPARE(query->recNo(), 0);
    query->gotoBookmark(queryMark);
    QCOMPARE(query->recNo(), 2);

    m_table->gotoBookmark(mark);
    m_table->remove();
    EXPECT_ERROR(EngineError, m_table->gotoBookmark(mark), "El registro marcado ya no existe");
    EXPECT_ERROR(EngineError, query->gotoBookmark(mark), "El registro marcado ya no existe");
}

// --- the master link -------------------------------------------------------

void TestEngine::masterLink_data()
{
    QTest::addColumn<Action>("action");
    QTest::newRow("open") << Action::Open;
    QTest::newRow("first") << Action::First;
    QTest::newRow("next") << Action::Next;
    QTest::newRow("moveTo") << Action::MoveTo;
    QTest::newRow("locate") << Action::Locate;
    QTest::newRow("findKey") << Action::FindKey;
    QTest::newRow("gotoBookmark") << Action::GotoBookmark;
    QTest::newRow("edit") << Action::Edit;
    QTest::newRow("insert") << Action::Insert;
    QTest::newRow("post") << Action::Post;
    QTest::newRow("cancel") << Action::Cancel;
    QTest::newRow("delete") << Action::Remove;
    QTest::newRow("refresh") << Action::Refresh;
}

void TestEngine::masterLink()
{
    QFETCH(Action, action);
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "uno");
    addReminder(*m_table, "05/03/2027", "09:00:00", "dos");
    addReminder(*m_table, "12/03/2027", "08:00:00", "tres");
    addReminder(*m_table, "05/04/2027", "07:00:00", "cuatro");
    const QList<QStringList> texts{
        {"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"},
        {"SELECT *", "FROM Reminder.DB", "WHERE Fecha = \"05/03/2027\" ", "ORDER BY Hora"},
        {"SELECT *", "FROM Reminder.DB", "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/03/2027\" ", "ORDER BY Hora"}};
    std::vector<std::unique_ptr<Query>> queries;
    for (const QStringList& text : texts) {
        queries.push_back(newQuery("Query", text));
        queries.back()->setMasterSource(m_master.get());
        queries.back()->open();
    }

    // The table gets ready; then every query stands on its last row.
    m_table->first();
    Dataset::Bookmark third = -1;
    switch (action) {
    case Action::Open:
        m_table->close();
        break;
    case Action::GotoBookmark:
        m_table->moveTo(2);
        third = m_table->bookmark();
        m_table->first();
        break;
    case Action::Post:
    case Action::Cancel:
        m_table->findKey(4);
        m_table->edit();
        m_table->setValue("Fecha", "05/03/2027"); // joins the day, first of the month
        break;
    case Action::Remove:
        m_table->findKey(2);
        break;
    default:
        break;
    }
    for (auto& query : queries) {
        query->moveTo(query->recordCount() - 1);
        QVERIFY(!query->isStale());
    }

    switch (action) {
    case Action::Open:
        m_table->open();
        break;
    case Action::First:
        m_table->first();
        break;
    case Action::Next:
        m_table->next();
        break;
    case Action::MoveTo:
        m_table->moveTo(3);
        break;
    case Action::Locate:
        QVERIFY(m_table->locate("Recordatorio", "tres"));
        break;
    case Action::FindKey:
        QVERIFY(m_table->findKey(3));
        break;
    case Action::GotoBookmark:
        m_table->gotoBookmark(third);
        break;
    case Action::Edit:
        m_table->edit();
        break;
    case Action::Insert:
        m_table->insert();
        break;
    case Action::Post:
        m_table->post();
        break;
    case Action::Cancel:
        m_table->cancel();
        break;
    case Action::Remove:
        m_table->remove();
        break;
    case Action::Refresh:
        m_table->refresh();
        break;
    }

    // Each query is as if run again now: on its first row, with the file's rows.
    for (size_t i = 0; i < queries.size(); ++i) {
        Query& query = *queries.at(i);
        QVERIFY(query.isStale());
        QCOMPARE(query.recNo(), 0);
        QVERIFY(!query.eof());
        QVERIFY(!query.isStale());
        auto fresh = newQuery("Fresh", texts.at(int(i)));
        fresh->open();
        QCOMPARE(query.asInteger("ID"), fresh->asInteger("ID"));
        QCOMPARE(ids(query), ids(*fresh));
    }
}

void TestEngine::masterLinkIsLazy()
{
    m_table->open();
    for (int i = 0; i < 20; ++i)
        addReminder(*m_table, "05/03/2027", QStringLiteral("%1:00:00").arg(i, 2, 10, QLatin1Char('0')));
    auto query = newQuery("QueryReminderDia",
                          {"SELECT *", "FROM Reminder.DB", "WHERE Fecha = \"05/03/2027\" ", "ORDER BY Hora DESC"});
    query->setMasterSource(m_master.get());
    query->open();
    DataSource shown("DataSourceQueryReminder");
    shown.setDataSet(query.get());
    QSignalSpy notices(&shown, &DataSource::dataChanged);

    // Walking the table only marks the query: one notice, no re-run.
    for (m_table->first(); !m_table->eof(); m_table->next()) {
    }
    QVERIFY(query->isStale());
    QCOMPARE(notices.count(), 1);

    // A shown control reads at each notice and so always finds it freshly run.
    QList<int> seen;
    connect(&shown, &DataSource::dataChanged, this, [&] {
        seen.append(query->recNo());
        QVERIFY(!query->isStale());
    });
    query->moveTo(5);
    m_table->first();
    query->moveTo(5);
    m_table->next();
    QCOMPARE(seen, (QList<int>{5, 0, 5, 0}));
    QCOMPARE(query->asString("Hora"), QStringLiteral("19:00:00"));

    // A query without master, or closed, is left alone.
    auto alone = newQuery("QueryLibre", {"SELECT *", "FROM Reminder.DB"});
    alone->open();
    alone->moveTo(3);
    query->close();
    m_table->next();
    QCOMPARE(alone->recNo(), 3);
    QVERIFY(!query->isStale());
}

void TestEngine::masterLinkEndsDetailEdit_data()
{
    QTest::addColumn<bool>("modified");
    QTest::newRow("changed: posted") << true;
    QTest::newRow("unchanged: cancelled") << false;
}

void TestEngine::masterLinkEndsDetailEdit()
{
    QFETCH(bool, modified);
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "uno");
    addReminder(*m_table, "05/03/2027", "09:00:00", "dos");
    auto query = newQuery("QueryReminder", {"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"});
    query->setMasterSource(m_master.get());
    query->open();
    query->moveTo(1);
    query->edit();
    if (modified)
        query->setValue("Recordatorio", "desde la consulta");
    m_table->first();
    QCOMPARE(query->state(), DataState::Browse);
    QCOMPARE(query->recNo(), 0);
    QCOMPARE(fileValue(1, "Recordatorio").toString(),
             modified ? QStringLiteral("desde la consulta") : QStringLiteral("uno"));
}

// --- data sources ----------------------------------------------------------

void TestEngine::dataSourceEvents()
{
    QList<DataEvent> events;
    int stateChanges = 0;
    connect(m_master.get(), &DataSource::datasetChanged, this, [&](DataEvent e) { events.append(e); });
    connect(m_master.get(), &DataSource::stateChanged, this, [&] { ++stateChanges; });
    m_table->open();                                 // Opened: inactive -> browse
    addReminder(*m_table, "05/03/2027", "10:00:00"); // Inserted, FieldChanged x3, Posted
    m_table->edit();                                 // Edited
    m_table->setValue("Hora", "10:00:00");           // same value: nothing
    m_table->setValue("Hora", "11:00:00");           // FieldChanged
    m_table->post();                                 // Posted
    m_table->next();                                 // at the end: no move
    m_table->first();                                // Moved
    m_table->refresh();                              // Refreshed
    m_table->remove();                               // Deleted
    m_table->close();                                // Closed
    using E = DataEvent;
    QCOMPARE(events,
             (QList<DataEvent>{E::Opened, E::Inserted, E::FieldChanged, E::FieldChanged, E::FieldChanged, E::Posted,
                               E::Edited, E::FieldChanged, E::Posted, E::Moved, E::Refreshed, E::Deleted, E::Closed}));
    QCOMPARE(stateChanges, 6); // browse, insert, browse, edit, browse, inactive
}

void TestEngine::postTakesControlValues()
{
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "uno");
    addReminder(*m_table, "05/03/2027", "11:00:00", "dos");
    // A bound control holding typed text writes it when asked.
    QString typed;
    connect(m_master.get(), &DataSource::updateRecord, this, [&] {
        if (!typed.isEmpty())
            m_table->setValue("Recordatorio", typed);
    });
    m_table->first();
    m_table->edit();
    typed = "tecleado";
    m_table->next(); // the unchanged edit is changed by the control, so it is posted
    QCOMPARE(fileValue(1, "Recordatorio").toString(), QStringLiteral("tecleado"));

    typed = "nuevo";
    m_table->insert();
    m_table->post();
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("nuevo"));
    QCOMPARE(m_table->recordCount(), 3);
}

void TestEngine::changesThroughAnotherDataset()
{
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "uno");
    addReminder(*m_table, "05/03/2027", "11:00:00", "dos");
    m_table->first();
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("uno"));

    auto query = newQuery("QueryReminder", {"SELECT *", "FROM Reminder.DB", "ORDER BY Hora"});
    query->open();
    query->edit();
    query->setValue("Recordatorio", "cambiado en la consulta");
    query->post();
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("cambiado en la consulta"));
    QCOMPARE(m_table->valueAt(1, "Recordatorio").toString(), QStringLiteral("dos"));

    query->next();
    query->remove(); // gone from the file: the table reads it as empty
    QVERIFY(!m_table->valueAt(1, "Recordatorio").isValid());
    m_table->refresh();
    QCOMPARE(m_table->recordCount(), 1);
}

void TestEngine::reconnect()
{
    m_table->open();
    addReminder(*m_table, "05/03/2027", "10:00:00", "uno");
    m_folder->connection.disconnect();
    m_folder->connection.connect();
    QCOMPARE(m_table->asString("Recordatorio"), QStringLiteral("uno"));
    addReminder(*m_table, "05/03/2027", "10:00:00", "dos");
    QCOMPARE(fileValue(2, "Recordatorio").toString(), QStringLiteral("dos"));
}

// --- durability ------------------------------------------------------------

void TestEngine::durableAfterKill_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expected"); // the first record's text after the kill
    QTest::addColumn<int>("count");
    QTest::newRow("insert") << "insert"
                            << "antes" << 2;
    QTest::newRow("edit") << "edit"
                          << "cambiado antes de morir" << 1;
    QTest::newRow("delete") << "delete" << QString() << 0;
}

void TestEngine::durableAfterKill()
{
    QFETCH(QString, action);
    QFETCH(QString, expected);
    QFETCH(int, count);
    m_table->open();
    addReminder(*m_table, "05/03/2027", "09:00:00", "antes");
    m_table->close();
    m_folder->connection.disconnect();

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--child", m_folder->dir.path(), action});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    while (!said.contains("hecho\n") && child.waitForReadyRead(30000))
        said += child.readAllStandardOutput();
    QVERIFY2(said.contains("hecho\n"), child.readAllStandardError().constData());
    child.kill(); // SIGKILL, right after the call returned
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // No journal left to undo the change, and a new connection finds it.
    QVERIFY(!QFile::exists(m_folder->path("Reminder.DB-journal")));
    Connection fresh;
    fresh.setPath(m_folder->dir.path());
    Table table("TableReminder");
    table.setConnection(&fresh);
    table.setTableName("Reminder.DB");
    table.open();
    QCOMPARE(table.recordCount(), count);
    if (count > 0)
        QCOMPARE(table.asString("Recordatorio"), expected);
    if (action == "insert") {
        table.next();
        QCOMPARE(table.asString("Recordatorio"), QStringLiteral("escrito antes de morir"));
    }
}

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0)
        return childChange(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    TestEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine.moc"
