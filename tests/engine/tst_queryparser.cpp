// The query language: the program's own texts on real tables, text order, LIKE, and
// every text outside the language refused with a Spanish error.

#include "EngineFixture.h"

#include "store/engine/Query.h"
#include "store/engine/QueryParser.h"
#include "store/engine/Table.h"

#include <QDir>

using namespace engine;
using namespace enginetest;

class TestQueryParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void programTexts_data();
    void programTexts();
    void textOrder_data();
    void textOrder();
    void like_data();
    void like();
    void refused_data();
    void refused();
    void constantsNeverBecomeSql_data();
    void constantsNeverBecomeSql();

private:
    QList<qint64> run(const QStringList& lines);

    QTemporaryDir m_template; // the tables below, filled once and copied for each test
    Folder* m_folder = nullptr;
    Table* m_reminders = nullptr;
    Table* m_cards = nullptr;
};

void TestQueryParser::initTestCase()
{
    Connection connection;
    connection.setPath(m_template.path());
    connection.createTable("Reminder.DB", reminderFields(), "ID;Fecha;Hora");
    connection.createTable("Direcciones.DB", cardFields(), "ID;Nombre");
    Table reminders("TableReminder");
    reminders.setConnection(&connection);
    reminders.setTableName("Reminder.DB");
    reminders.open();
    addReminder(reminders, "05/03/2027", "10:00:00", "uno");    // 1
    addReminder(reminders, "05/03/2027", "09:00:00", "dos");    // 2
    addReminder(reminders, "04/12/2026", "08:00:00", "tres");   // 3
    addReminder(reminders, "15/12/2026", "07:00:00", "cuatro"); // 4
    addReminder(reminders, "05/12/2026", "12:00:00", "cinco");  // 5
    addReminder(reminders, "05/03/2027", "09:00:00", "seis");   // 6: same date and hour as 2
    addReminder(reminders, "1/12/20266", "06:00:00", "siete");  // 7: holds "/12/2026", not at its end

    Table cards("TableLibreta");
    cards.setConnection(&connection);
    cards.setTableName("Direcciones.DB");
    cards.open();
    add(cards, {{"Nombre", "Ana"}, {"Email", "a@x"}, {"Ciudad", "Vigo"}});
    add(cards, {{"Nombre", "Ana"}, {"Email", "b@x"}, {"Ciudad", "Ávila"}});
    add(cards, {{"Nombre", "Luis"}, {"Ciudad", "León"}});
    add(cards, {{"Email", "z@x"}});
}

void TestQueryParser::init()
{
    m_folder = new Folder;
    for (const char* file : {"Reminder.DB", "Direcciones.DB"})
        QVERIFY(QFile::copy(QDir(m_template.path()).filePath(file), m_folder->path(file)));
    m_reminders = new Table("TableReminder");
    m_reminders->setConnection(&m_folder->connection);
    m_reminders->setTableName("Reminder.DB");
    m_reminders->open();
    m_cards = new Table("TableLibreta");
    m_cards->setConnection(&m_folder->connection);
    m_cards->setTableName("Direcciones.DB");
    m_cards->open();
}

void TestQueryParser::cleanup()
{
    delete m_reminders;
    delete m_cards;
    delete m_folder;
}

QList<qint64> TestQueryParser::run(const QStringList& lines)
{
    Query query("Query");
    query.setConnection(&m_folder->connection);
    query.setSql(lines);
    query.execSql();
    query.open();
    return ids(query);
}

void TestQueryParser::programTexts_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<qint64>>("expected");

    // Dates compare as text, day first; equal dates and hours keep their ID order.
    QTest::newRow("all reminders") << QStringList{"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"}
                                   << QList<qint64>{3, 2, 6, 1, 5, 7, 4};
    QTest::newRow("one day") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Fecha = \"05/03/2027\" ",
                                            "ORDER BY Hora"}
                             << QList<qint64>{2, 6, 1};
    QTest::newRow("one month") << QStringList{"SELECT *", "FROM Reminder.DB",
                                              "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/12/2026\" ", "ORDER BY Hora"}
                               << QList<qint64>{4, 3, 5};
    QTest::newRow("a month without reminders")
        << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/01/2026\" ",
                       "ORDER BY Hora"}
        << QList<qint64>{};
    // Empty names first; equal names by default address, descending.
    QTest::newRow("address list") << QStringList{"SELECT *", "FROM Direcciones.DB", "ORDER BY Nombre, Email DESC"}
                                  << QList<qint64>{4, 2, 1, 3};
    QTest::newRow("by city descending") << QStringList{"SELECT *", "FROM Direcciones.DB", "ORDER BY Ciudad DESC"}
                                        << QList<qint64>{2, 1, 3, 4};
    QTest::newRow("by city ascending") << QStringList{"SELECT *", "FROM Direcciones.DB", "ORDER BY Ciudad ASC"}
                                       << QList<qint64>{4, 3, 1, 2};
    QTest::newRow("keywords in any case, two conditions")
        << QStringList{"select *", "from Reminder.DB", "where Fecha = \"05/03/2027\" and Hora = \"09:00:00\"",
                       "order by hora desc"}
        << QList<qint64>{2, 6};
    QTest::newRow("no order: key order") << QStringList{"SELECT *", "FROM Direcciones.DB"} << QList<qint64>{1, 2, 3, 4};
    QTest::newRow("empty constant finds empty fields")
        << QStringList{"SELECT *", "FROM Direcciones.DB", "WHERE Nombre = \"\""} << QList<qint64>{4};
    // A logical constant reads as a stored value does, in the same words.
    QTest::newRow("logical as a Spanish word")
        << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Leido = \" Falso\""}
        << QList<qint64>{1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("logical as a digit") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE leido = \"1\""}
                                        << QList<qint64>{};
}

void TestQueryParser::programTexts()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<qint64>, expected);
    QCOMPARE(run(lines), expected);
}

void TestQueryParser::textOrder_data()
{
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QStringList>("expected");
    // Character by character: capitals before small letters, accented letters after ASCII.
    QTest::newRow("ascending") << "ASC" << QStringList{"A", "B", "Z", "a", "a", "b", "Ñ", "á", "ñ"};
    QTest::newRow("descending") << "DESC" << QStringList{"ñ", "á", "Ñ", "b", "a", "a", "Z", "B", "A"};
}

void TestQueryParser::textOrder()
{
    QFETCH(QString, direction);
    QFETCH(QStringList, expected);
    QList<qint64> firstA;
    for (const char* name : {"b", "a", "Z", "á", "A", "ñ", "Ñ", "B", "a"}) {
        const qint64 id = add(*m_cards, {{"Nombre", QString::fromUtf8(name)}, {"Ciudad", "orden"}});
        if (qstrcmp(name, "a") == 0)
            firstA.append(id);
    }
    Query query("Query");
    query.setConnection(&m_folder->connection);
    query.setSql({"SELECT *", "FROM Direcciones.DB", "WHERE Ciudad = \"orden\"", "ORDER BY Nombre " + direction});
    query.open();
    QStringList names;
    QList<qint64> idsOfA;
    for (query.first(); !query.eof(); query.next()) {
        names.append(query.asString("Nombre"));
        if (names.last() == "a")
            idsOfA.append(query.asInteger("ID"));
    }
    QCOMPARE(names, expected);
    QCOMPARE(idsOfA, firstA); // equal names keep their ID order in both directions
}

void TestQueryParser::like_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("prefix, case-sensitive") << "ab%" << QStringList{"ab*d", "abc", "abcd"};
    QTest::newRow("suffix") << "%cd" << QStringList{"Abcd", "abcd", "xbcd"};
    QTest::newRow("one character") << "%b_d" << QStringList{"Abcd", "ab*d", "abcd", "xbcd"};
    QTest::newRow("star is a letter") << "ab*d" << QStringList{"ab*d"};
    QTest::newRow("question mark is a letter") << "a?c" << QStringList{"a?c"};
    QTest::newRow("brackets are letters") << "[ab]%" << QStringList{"[ab]x"};
    QTest::newRow("whole text, case-sensitive") << "abcd" << QStringList{"abcd"};
    QTest::newRow("any text") << "%" << QStringList{"Abcd", "[ab]x", "a?c", "ab*d", "abc", "abcd", "xbcd"};
    QTest::newRow("nothing matches") << "%zz" << QStringList{};
}

void TestQueryParser::like()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);
    for (const char* text : {"abcd", "Abcd", "xbcd", "ab*d", "abc", "a?c", "[ab]x"})
        add(*m_cards, {{"Nombre", QString::fromUtf8(text)}, {"Ciudad", "like"}});
    add(*m_cards, {{"Ciudad", "like"}}); // an empty name matches no pattern

    Query query("Query");
    query.setConnection(&m_folder->connection);
    query.setSql({"SELECT *", "FROM Direcciones.DB",
                  QStringLiteral("WHERE Ciudad = \"like\" AND Nombre LIKE \"%1\"").arg(pattern), "ORDER BY Nombre"});
    query.open();
    QStringList names;
    for (query.first(); !query.eof(); query.next())
        names.append(query.asString("Nombre"));
    QCOMPARE(names, expected);
}

void TestQueryParser::refused_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");
    const QString bad = QStringLiteral("Consulta no válida: ");
    QTest::newRow("empty") << QStringList{} << bad + "la consulta está vacía";
    QTest::newRow("columns") << QStringList{"SELECT Fecha", "FROM Reminder.DB"} << bad + "se esperaba «*»";
    QTest::newRow("no FROM") << QStringList{"SELECT *", "Reminder.DB"} << bad + "se esperaba «FROM»";
    QTest::newRow("unknown field") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Nada = \"x\""}
                                   << "Campo «Nada» desconocido";
    QTest::newRow("unknown order field") << QStringList{"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Nada"}
                                         << "Campo «Nada» desconocido";
    QTest::newRow("unknown table") << QStringList{"SELECT *", "FROM Otra.DB"} << "No existe la tabla";
    QTest::newRow("path as table") << QStringList{"SELECT *", "FROM ../Reminder.DB"} << bad + "carácter inesperado «/»";
    QTest::newRow("second statement") << QStringList{"SELECT *", "FROM Reminder.DB; DROP TABLE Reminder"}
                                      << bad + "carácter inesperado «;»";
    QTest::newRow("OR after a constant") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Fecha = \"x\" OR 1=1"}
                                         << bad + "sobra «OR» al final";
    QTest::newRow("UNION") << QStringList{"SELECT *", "FROM Reminder.DB UNION SELECT * FROM Reminder.DB"}
                           << bad + "sobra «UNION» al final";
    QTest::newRow("unquoted constant") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Fecha = hoy"}
                                       << bad + "se esperaba un texto entre comillas";
    QTest::newRow("unclosed constant") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Fecha = \"05/03"}
                                       << bad + "falta la comilla";
    QTest::newRow("other operator") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Fecha > \"x\""}
                                    << bad + "carácter inesperado «>»";
    QTest::newRow("LIKE on a logical") << QStringList{"SELECT *", "FROM Reminder.DB", "WHERE Leido LIKE \"T%\""}
                                       << bad + "LIKE sólo puede usarse";
    QTest::newRow("CAST of a logical") << QStringList{"SELECT *", "FROM Reminder.DB",
                                                      "WHERE CAST(Leido AS CHAR(5)) = \"T\""}
                                       << bad + "el campo «Leido» no puede convertirse en texto";
    QTest::newRow("CAST without length") << QStringList{"SELECT *", "FROM Reminder.DB",
                                                        "WHERE CAST(Fecha AS CHAR(0)) LIKE \"%\""}
                                         << bad + "se esperaba una longitud";
    QTest::newRow("ORDER without BY") << QStringList{"SELECT *", "FROM Reminder.DB", "ORDER Fecha"}
                                      << bad + "se esperaba «BY»";
    QTest::newRow("ORDER BY nothing") << QStringList{"SELECT *", "FROM Reminder.DB", "ORDER BY"}
                                      << bad + "se esperaba un campo";
    QTest::newRow("SQL comment") << QStringList{"SELECT *", "FROM Reminder.DB -- x"} << bad + "carácter inesperado «-»";
}

void TestQueryParser::refused()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    Query query("Query");
    query.setConnection(&m_folder->connection);
    query.setSql(lines);
    EXPECT_ERROR(EngineError, query.execSql(), message);
    EXPECT_ERROR(EngineError, query.open(), message);
    QVERIFY(!query.isActive());
    QCOMPARE(m_reminders->recordCount(), 7); // nothing ran against the table
    m_reminders->refresh();
    QCOMPARE(m_reminders->recordCount(), 7);
}

void TestQueryParser::constantsNeverBecomeSql_data()
{
    QTest::addColumn<QString>("constant"); // as written in the query, quotes doubled
    QTest::addColumn<QString>("value");    // the text it stands for
    QTest::newRow("OR 1=1") << "x\"\" OR 1=1 --"
                            << "x\" OR 1=1 --";
    QTest::newRow("DROP") << "'); DROP TABLE Reminder; --"
                          << "'); DROP TABLE Reminder; --";
    QTest::newRow("LIKE wildcards of SQL") << "%' OR '1'='1"
                                           << "%' OR '1'='1";
}

void TestQueryParser::constantsNeverBecomeSql()
{
    QFETCH(QString, constant);
    QFETCH(QString, value);
    const QString text = QStringLiteral("SELECT *\nFROM Reminder.DB\nWHERE Recordatorio = \"%1\"").arg(constant);

    // The compiled condition holds a placeholder, never the constant.
    const CompiledQuery compiled = parseQuery(text, [](const QString&) { return reminderFields(); });
    QCOMPARE(compiled.whereSql, QStringLiteral("\"Recordatorio\" = ?"));
    QCOMPARE(compiled.params, QVariantList{value});

    // Run: no row but the one holding exactly that text, and the table is intact.
    QCOMPARE(run(text.split('\n')), QList<qint64>{});
    const qint64 id = addReminder(*m_reminders, "01/01/2027", "00:00:00", value);
    QCOMPARE(run(text.split('\n')), QList<qint64>{id});
    m_reminders->refresh();
    QCOMPARE(m_reminders->recordCount(), 8);
}

QTEST_GUILESS_MAIN(TestQueryParser)
#include "tst_queryparser.moc"
