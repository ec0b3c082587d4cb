// Import and export of cards (vCard) and reminders (iCalendar): the line reader, the field
// mappings, the repeat rules, the four jobs over real table files, bad input and the
// command line.

#include "core/Clock.h"
#include "exchange/Calendar.h"
#include "exchange/CardMapping.h"
#include "exchange/CommandLine.h"
#include "exchange/ContentLines.h"
#include "exchange/Jobs.h"
#include "exchange/VCard.h"
#include "support/ExchangeFixture.h"

#include <QBuffer>
#include <QDir>
#include <QScopeGuard>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using exchange::Record;
using exchange::textOf;
using namespace exchangetest;

namespace {

QList<QString> readLines(const QByteArray& bytes, QList<int>* numbers = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    exchange::LineReader reader(&buffer);
    QList<QString> lines;
    QString line;
    int no = 0;
    while (reader.next(line, no)) {
        lines += line;
        if (numbers)
            *numbers += no;
    }
    return lines;
}

QList<exchange::VCard> readCards(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    exchange::VCardReader reader(&buffer);
    QList<exchange::VCard> cards;
    exchange::VCard card;
    while (reader.next(card))
        cards += card;
    return cards;
}

// A card with every one of its 31 fields set (but ID).
Record fullCard()
{
    Record c;
    auto s = [&](const char* f, const QString& v) { c.insert(QString::fromLatin1(f), v); };
    s("Nombre", QStringLiteral("Ana María Ruiz; \"la de Cuenca\""));
    s("Nick", QStringLiteral("Anita, la jefa"));
    s("Email", QStringLiteral("ana@trabajo.example"));
    s("Emails", QStringLiteral("ana@casa.example\r\nana@trabajo.example\r\n"));
    s("Direccion", QStringLiteral("C/ Ancha 3, 2º B"));
    s("Ciudad", QStringLiteral("Cuenca"));
    s("Provincia", QStringLiteral("Cuenca"));
    s("CP", QStringLiteral("16001"));
    s("Pais", QStringLiteral("España"));
    s("Web", QStringLiteral("https://ana.example/~ana?x=1;y=2"));
    s("Tel", QStringLiteral("969123456"));
    s("FAX", QStringLiteral("969123457"));
    s("Movil", QStringLiteral("600111222"));
    s("Organizacion", QStringLiteral("Quesos Ruiz S.L."));
    s("EmpresaDireccion", QStringLiteral("Polígono Sur, nave 7"));
    s("EmpresaCiudad", QStringLiteral("Tarancón"));
    s("EmpresaProvincia", QStringLiteral("Cuenca"));
    s("EmpresaCP", QStringLiteral("16400"));
    s("EmpresaPais", QStringLiteral("España"));
    s("Puesto", QStringLiteral("Gerente"));
    s("Departamento", QStringLiteral("Dirección; ventas"));
    s("Oficina", QStringLiteral("Despacho 2"));
    s("EmpresaTel", QStringLiteral("969333444"));
    s("EmpresaFax", QStringLiteral("969333445"));
    s("Conyugue", QStringLiteral("Luis"));
    s("Hijos", QStringLiteral("Pablo\nLucía"));
    s("Sexo", QStringLiteral("M"));
    c.insert(QStringLiteral("Cumpleanos"), QDate(1980, 2, 29));
    c.insert(QStringLiteral("Aniversario"), QDate(2005, 9, 10));
    s("Notas", QStringLiteral("Primera línea\nSegunda, con \\ barra y ; punto y coma"));
    return c;
}

Record reminder(const char* fecha, const char* hora, const QString& text, QVariant sound, QVariant read, const char* n,
                const QString& unit)
{
    Record r;
    r.insert(QStringLiteral("Fecha"), QString::fromLatin1(fecha));
    r.insert(QStringLiteral("Hora"), QString::fromLatin1(hora));
    if (!text.isEmpty())
        r.insert(QStringLiteral("Recordatorio"), text);
    if (!sound.isNull())
        r.insert(QStringLiteral("Playsound"), sound);
    if (!read.isNull())
        r.insert(QStringLiteral("Leido"), read);
    if (n)
        r.insert(QStringLiteral("RepetirN"), QString::fromLatin1(n));
    if (!unit.isEmpty())
        r.insert(QStringLiteral("RepetirS"), unit);
    return r;
}

// Writes records into a table file through the same one-transaction path an import uses.
void insertRecords(Home& home, const QString& file, const engine::FieldDefs& fields, const QList<Record>& records)
{
    if (!QFileInfo::exists(home.connection.filePath(file)))
        home.connection.createTable(
            file, fields, fields.size() > 10 ? engine::tables::direccionesIndex() : engine::tables::reminderIndex());
    QStringList columns, marks;
    for (int i = 1; i < fields.size(); ++i) {
        columns += engine::sql::quoted(fields.at(i).name);
        marks += QStringLiteral("?");
    }
    engine::sql::Statement insert;
    insert.prepare(
        home.connection.handle(file),
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(engine::sql::quoted(engine::Connection::sqlTableName(file)), columns.join(','), marks.join(',')),
        file);
    for (const Record& r : records) {
        engine::sql::Statement::Use use(insert);
        for (int i = 1; i < fields.size(); ++i)
            insert.bind(i, r.value(fields.at(i).name));
        insert.step();
    }
}

QString errorOf(const std::function<void()>& job)
{
    try {
        job();
    } catch (const PennaroError& e) {
        return e.message();
    }
    return QString();
}

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useMadridTime(); }
    void cleanup() { Clock::setNow(QDateTime()); }

    void contentLine_data();
    void contentLine();
    void badContentLine_data();
    void badContentLine();
    void contentLineParameters_data();
    void contentLineParameters();
    void escapeRoundTrip_data();
    void escapeRoundTrip();
    void structuredValues();
    void foldingKeepsCharactersWhole();
    void unfoldingAndLineNumbers();
    void readerRejects_data();
    void readerRejects();
    void vcardDates_data();
    void vcardDates();

    void cardRoundTripInMemory();
    void mailProgramAddressBook();
    void cardCutsAndDrops();
    void defaultAddressOutsideTheList();
    void oddCardsReadBackTheSame_data();
    void oddCardsReadBackTheSame();

    void repeatRules_data();
    void repeatRules();
    void nextOccurrence_data();
    void nextOccurrence();
    void reminderEventText();
    void calendarFromAnotherProgram();
    void eventStartInLocalTime_data();
    void eventStartInLocalTime();
    void otherComponentsAreCounted();

    void roundTripThroughTheTables();
    void badFilesImportNothing_data();
    void badFilesImportNothing();
    void exportToUnwritableFolderLeavesNoFile();
    void hostileCalendars_data();
    void hostileCalendars();
    void exportOnlyToRegularFiles_data();
    void exportOnlyToRegularFiles();
    void controlCharactersNeverChangeOnTheWay();
    void importBesideTheRunningProgram();
    void commandLine();
};

void TestExchange::contentLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "FN:Ana"
                           << ""
                           << "FN" << QStringList() << "Ana";
    QTest::newRow("lower-case name") << "fn:Ana"
                                     << ""
                                     << "FN" << QStringList() << "Ana";
    QTest::newRow("group") << "item1.EMAIL;TYPE=work:a@b"
                           << "item1"
                           << "EMAIL" << QStringList{"work"} << "a@b";
    QTest::newRow("type list") << "TEL;TYPE=home,voice:1"
                               << ""
                               << "TEL" << QStringList{"home", "voice"} << "1";
    QTest::newRow("repeated type") << "TEL;type=HOME;type=FAX:1"
                                   << ""
                                   << "TEL" << QStringList{"home", "fax"} << "1";
    QTest::newRow("quoted with colon") << "TEL;TYPE=\"work,voice\";X-A=\"a:b\":tel:+1"
                                       << ""
                                       << "TEL" << QStringList{"work", "voice"} << "tel:+1";
    QTest::newRow("bare 3.0 type") << "TEL;HOME;FAX:1"
                                   << ""
                                   << "TEL" << QStringList{"home", "fax"} << "1";
    QTest::newRow("colon in value") << "URL:http://x.example:8080/a"
                                    << ""
                                    << "URL" << QStringList() << "http://x.example:8080/a";
    QTest::newRow("empty value") << "NOTE:"
                                 << ""
                                 << "NOTE" << QStringList() << "";
}

void TestExchange::contentLine()
{
    QFETCH(QString, text);
    QFETCH(QString, group);
    QFETCH(QString, name);
    QFETCH(QStringList, types);
    QFETCH(QString, value);
    const exchange::ContentLine line = exchange::parseContentLine(text, 7);
    QCOMPARE(line.group, group);
    QCOMPARE(line.name, name);
    QCOMPARE(line.types(), types);
    QCOMPARE(line.value, value);
    QCOMPARE(line.lineNo, 7);
}

void TestExchange::badContentLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no colon") << "FN Ana";
    QTest::newRow("empty name") << ":Ana";
    QTest::newRow("bad name") << "F N:Ana";
    QTest::newRow("open quote") << "TEL;TYPE=\"work:1";
    QTest::newRow("parameter without colon") << "TEL;TYPE=work";
    QTest::newRow("bad parameter name") << "TEL;TY PE=work:1";
    QTest::newRow("empty parameter name") << "TEL;=work:1";
    QTest::newRow("quoted value, then nothing") << "TEL;TYPE=\"work\"";
    QTest::newRow("bare parameter without colon") << "TEL;HOME";
}

void TestExchange::badContentLine()
{
    QFETCH(QString, text);
    try {
        exchange::parseContentLine(text, 12);
        QFAIL("no error");
    } catch (const exchange::LineError& e) {
        QCOMPARE(e.lineNo(), 12);
        QVERIFY(e.message().startsWith(QStringLiteral("línea 12: ")));
    }
}

void TestExchange::contentLineParameters_data()
{
    // Each parameter as "NAME=value|value", in the order written.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<QString>("value");
    QTest::newRow("none") << "FN:Ana" << QStringList() << "Ana";
    QTest::newRow("bare") << "TEL;HOME;FAX:1" << QStringList{"HOME=", "FAX="} << "1";
    QTest::newRow("names upper-cased") << "TEL;type=home:1" << QStringList{"TYPE=home"} << "1";
    QTest::newRow("value list") << "TEL;TYPE=home,voice:1" << QStringList{"TYPE=home|voice"} << "1";
    QTest::newRow("quoted keeps , ; :") << "X;A=\"a,b;c:d\";B=e:v" << QStringList{"A=a,b;c:d", "B=e"} << "v";
    QTest::newRow("quoted then bare") << "X;A=\"q\",r:v" << QStringList{"A=q|r"} << "v";
    QTest::newRow("empty value") << "X;A=:v" << QStringList{"A="} << "v";
    QTest::newRow("empty values in a list") << "X;A=,:v" << QStringList{"A=|"} << "v";
    QTest::newRow("caret escapes") << "X;A=\"1^n2^^3^'4'\":v" << QStringList{"A=1\n2^3\"4'"} << "v";
    QTest::newRow("caret not an escape") << "X;A=a^b^:v" << QStringList{"A=a^b^"} << "v";
}

void TestExchange::contentLineParameters()
{
    QFETCH(QString, text);
    QFETCH(QStringList, params);
    QFETCH(QString, value);
    const exchange::ContentLine line = exchange::parseContentLine(text, 1);
    QStringList got;
    for (const exchange::Parameter& p : line.params)
        got += p.name + QLatin1Char('=') + p.values.join(QLatin1Char('|'));
    QCOMPARE(got, params);
    QCOMPARE(line.value, value);
}

void TestExchange::escapeRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << "Ana"
                           << "Ana";
    QTest::newRow("specials") << "a,b;c\\d"
                              << "a\\,b\\;c\\\\d";
    QTest::newRow("line breaks") << "uno\ndos"
                                 << "uno\\ndos";
    QTest::newRow("accents") << "Año, niño"
                             << "Año\\, niño";
}

void TestExchange::escapeRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(exchange::escapeText(text), escaped);
    QCOMPARE(exchange::unescapeText(escaped), text);
    // CR LF and a capital N escape both read as one line break.
    QCOMPARE(exchange::escapeText(QStringLiteral("a\r\nb")), QStringLiteral("a\\nb"));
    QCOMPARE(exchange::unescapeText(QStringLiteral("a\\Nb")), QStringLiteral("a\nb"));
}

void TestExchange::structuredValues()
{
    QCOMPARE(exchange::splitStructured(QStringLiteral(";;Calle Mayor\\, 5;Madrid;;28013;España")),
             (QStringList{"", "", "Calle Mayor, 5", "Madrid", "", "28013", "España"}));
    QCOMPARE(exchange::splitStructured(QStringLiteral("A\\;B;C")), (QStringList{"A;B", "C"}));
    QCOMPARE(exchange::splitStructured(QString()), QStringList{QString()});
}

void TestExchange::foldingKeepsCharactersWhole()
{
    // 200 two-byte characters: a fold must never fall inside one.
    const QByteArray line = "NOTE:" + QString(200, QChar(0xF1)).toUtf8();
    const QByteArray folded = exchange::foldLine(line);
    QVERIFY(folded.endsWith("\r\n"));
    const QList<QByteArray> physical = folded.chopped(2).split('\n');
    QVERIFY(physical.size() > 1);
    for (QByteArray p : physical) {
        if (p.endsWith('\r'))
            p.chop(1);
        QVERIFY2(p.size() <= 75, p.constData());
        QVERIFY(!QString::fromUtf8(p).contains(QChar::ReplacementCharacter));
    }
    QCOMPARE(readLines(folded), QList<QString>{QString::fromUtf8(line)});
    QCOMPARE(exchange::foldLine("FN:Ana"), QByteArray("FN:Ana\r\n"));
}

void TestExchange::unfoldingAndLineNumbers()
{
    QList<int> numbers;
    const QList<QString> lines = readLines("\xEF\xBB\xBF"
                                           "BEGIN:VCARD\r\nNOTE:uno\r\n  dos\r\n\ttres\r\n\r\nFN:Ana\nEND:VCARD",
                                           &numbers);
    QCOMPARE(lines, (QList<QString>{"BEGIN:VCARD", "NOTE:uno dostres", "FN:Ana", "END:VCARD"}));
    QCOMPARE(numbers, (QList<int>{1, 2, 6, 7}));
}

void TestExchange::readerRejects_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("words");
    QTest::newRow("not vcard") << QByteArray("Nombre;Email\nAna;a@b\n") << 1 << "no es un vCard";
    QTest::newRow("empty") << QByteArray() << 1 << "no es un vCard";
    QTest::newRow("truncated") << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ana\r\n") << 3 << "cortado";
    QTest::newRow("nested") << QByteArray("BEGIN:VCARD\r\nFN:A\r\nBEGIN:VCARD\r\n") << 3 << "END:VCARD";
    QTest::newRow("version 2.1") << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\r\nEND:VCARD\r\n") << 2 << "2.1";
    QTest::newRow("invalid utf-8") << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ana \xC3\x28\r\nEND:VCARD\r\n") << 3
                                   << "UTF-8";
    QTest::newRow("10 MB line") << (QByteArray("BEGIN:VCARD\r\nNOTE:") + QByteArray(10 * 1024 * 1024, 'x') +
                                    "\r\nEND:VCARD\r\n")
                                << 2 << "demasiado larga";
    QTest::newRow("10 MB folded line") << (QByteArray("BEGIN:VCARD\r\nFN:A\r\nNOTE:x") +
                                           QByteArray("\r\n ").append(QByteArray(70, 'y')).repeated(150000) +
                                           "\r\nEND:VCARD\r\n")
                                       << 3 << "demasiado larga";
    QTest::newRow("text between cards") << QByteArray("BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\nFN:B\r\n") << 4
                                        << "entre dos";
}

void TestExchange::readerRejects()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(QString, words);
    try {
        readCards(bytes);
        QFAIL("no error");
    } catch (const exchange::LineError& e) {
        QCOMPARE(e.lineNo(), line);
        QVERIFY2(e.detail().contains(words), qPrintable(e.detail()));
    }
}

void TestExchange::vcardDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<bool>("raises");
    QTest::newRow("4.0 basic") << "19700315" << QDate(1970, 3, 15) << false;
    QTest::newRow("3.0 extended") << "1970-03-15" << QDate(1970, 3, 15) << false;
    QTest::newRow("with a time") << "1970-03-15T10:00:00Z" << QDate(1970, 3, 15) << false;
    QTest::newRow("leap day") << "20000229" << QDate(2000, 2, 29) << false;
    QTest::newRow("no year") << "--0315" << QDate() << false;
    QTest::newRow("year only") << "1970" << QDate() << false;
    QTest::newRow("does not exist") << "20270230" << QDate() << true;
    QTest::newRow("month 13") << "1970-13-01" << QDate() << true;
    QTest::newRow("not a date") << "mañana" << QDate() << true;
}

void TestExchange::vcardDates()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QFETCH(bool, raises);
    QString why;
    try {
        QCOMPARE(exchange::parseVCardDate(text, 4, why), date);
        QVERIFY(!raises);
        QCOMPARE(why.isEmpty(), date.isValid());
    } catch (const exchange::LineError& e) {
        QVERIFY(raises);
        QCOMPARE(e.lineNo(), 4);
    }
}

void TestExchange::cardRoundTripInMemory()
{
    const Record card = fullCard();
    QCOMPARE(card.size(), 30); // every field but ID
    const QByteArray text = exchange::cardToVCard(card);
    QVERIFY(text.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:"));
    QVERIFY(text.contains("EMAIL;PREF=1:ana@trabajo.example\r\n"));
    QVERIFY(text.contains("RELATED;TYPE=spouse;VALUE=text:Luis\r\n"));
    QVERIFY(text.contains("GENDER:F\r\n"));
    QVERIFY(text.contains("BDAY:19800229\r\n"));
    const QList<exchange::VCard> cards = readCards(text);
    QCOMPARE(cards.size(), 1);
    exchange::ImportNotes notes;
    const Record back = exchange::cardFromVCard(cards.first(), notes);
    QVERIFY(notes.skipReason.isEmpty());
    QCOMPARE(notes.cutFields, QStringList());
    QCOMPARE(notes.droppedProperties, QStringList());
    for (auto it = card.cbegin(); it != card.cend(); ++it)
        QVERIFY2(back.value(it.key()) == it.value(), qPrintable(it.key() + ": " + back.value(it.key()).toString()));
    QCOMPARE(back, card);

    // A card without a name is not written.
    Record nameless = card;
    nameless.remove(QStringLiteral("Nombre"));
    QVERIFY(exchange::cardToVCard(nameless).isEmpty());
}

void TestExchange::mailProgramAddressBook()
{
    const QList<exchange::VCard> cards = readCards(readFile(fixture("addressbook.vcf")));
    QCOMPARE(cards.size(), 4);
    QList<exchange::ImportNotes> notes(4);
    QList<Record> records;
    for (int i = 0; i < 4; ++i)
        records += exchange::cardFromVCard(cards[i], notes[i]);

    const Record& maria = records[0];
    QCOMPARE(textOf(maria, "Nombre"), QStringLiteral("María José García López"));
    QCOMPARE(textOf(maria, "Nick"), QStringLiteral("Majo"));
    QCOMPARE(textOf(maria, "Email"), QStringLiteral("mjgarcia@example.com")); // TYPE=pref
    QCOMPARE(textOf(maria, "Emails"), QStringLiteral("majo@example.org\r\nmjgarcia@example.com\r\n"));
    QCOMPARE(textOf(maria, "Movil"), QStringLiteral("600123456"));
    QCOMPARE(textOf(maria, "Tel"), QStringLiteral("912345678"));
    QCOMPARE(textOf(maria, "EmpresaFax"), QStringLiteral("913456789"));
    QCOMPARE(textOf(maria, "Direccion"), QStringLiteral("Calle Mayor, 5"));
    QCOMPARE(textOf(maria, "CP"), QStringLiteral("28013"));
    QCOMPARE(textOf(maria, "Pais"), QStringLiteral("España"));
    QCOMPARE(textOf(maria, "EmpresaDireccion"), QStringLiteral("Planta 3, Paseo de la Castellana 100"));
    QCOMPARE(textOf(maria, "Organizacion"), QStringLiteral("Ejemplo S.A."));
    QCOMPARE(textOf(maria, "Departamento"), QStringLiteral("Ventas"));
    QCOMPARE(textOf(maria, "Puesto"), QStringLiteral("Directora comercial"));
    QCOMPARE(maria.value("Cumpleanos").toDate(), QDate(1975, 6, 15));
    QCOMPARE(textOf(maria, "Notas"), QStringLiteral("Conocida en la feria, 2019.\nLlamar por la tarde."));
    QCOMPARE(textOf(maria, "Web"), QStringLiteral("https://example.org/majo"));
    std::sort(notes[0].droppedProperties.begin(), notes[0].droppedProperties.end());
    QCOMPARE(notes[0].droppedProperties, (QStringList{"PHOTO", "X-ABLABEL"}));

    QCOMPARE(notes[1].skipReason, QStringLiteral("sin nombre"));

    // No FN: the name is made from N.
    QCOMPARE(textOf(records[2], "Nombre"), QStringLiteral("Mr. John Quincy Smith"));
    QCOMPARE(textOf(records[2], "Email"), QStringLiteral("john@example.com"));
    QCOMPARE(textOf(records[2], "EmpresaTel"), QStringLiteral("+1 555 01")); // cut at 9
    QCOMPARE(notes[2].cutFields, QStringList{"EmpresaTel"});

    // The RFC 6350 example card.
    const Record& simon = records[3];
    QCOMPARE(textOf(simon, "Nombre"), QStringLiteral("Simon Perreault"));
    QCOMPARE(textOf(simon, "Sexo"), QStringLiteral("H"));
    QCOMPARE(simon.value("Aniversario").toDate(), QDate(2009, 8, 8));
    QVERIFY(!simon.contains("Cumpleanos")); // --0203 has no year
    QCOMPARE(textOf(simon, "EmpresaDireccion"), QStringLiteral("Suite D2-630, 2875 Laurier"));
    QCOMPARE(textOf(simon, "EmpresaCiudad"), QStringLiteral("Quebec"));
    QCOMPARE(textOf(simon, "EmpresaCP"), QStringLiteral("G1V 2"));
    QCOMPARE(textOf(simon, "EmpresaTel"), QStringLiteral("+1-418-65"));
    QCOMPARE(textOf(simon, "Movil"), QStringLiteral("+1-418-26"));
    QCOMPARE(textOf(simon, "Web"), QStringLiteral("http://nomis80.org"));
    QCOMPARE(textOf(simon, "Email"), QStringLiteral("simon.perreault@viagenie.ca"));
    std::sort(notes[3].droppedProperties.begin(), notes[3].droppedProperties.end());
    QCOMPARE(notes[3].droppedProperties, (QStringList{"BDAY", "GEO", "KEY", "LANG", "LANG", "TZ"}));
}

void TestExchange::cardCutsAndDrops()
{
    const QByteArray text = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" + QByteArray(45, 'n') +
                            "\r\nTEL:1\r\nTEL;TYPE=home:2\r\nURL:a\r\nURL:b\r\nX-FOO:1\r\nEND:VCARD\r\n";
    exchange::ImportNotes notes;
    const Record card = exchange::cardFromVCard(readCards(text).first(), notes);
    QCOMPARE(textOf(card, "Nombre"), QString(40, QLatin1Char('n')));
    QCOMPARE(textOf(card, "Tel"), QStringLiteral("1"));
    QCOMPARE(textOf(card, "Web"), QStringLiteral("a"));
    QCOMPARE(notes.cutFields, QStringList{"Nombre"});
    QCOMPARE(notes.droppedProperties, (QStringList{"TEL", "URL", "X-FOO"}));
}

void TestExchange::defaultAddressOutsideTheList()
{
    Record card;
    card.insert("Nombre", QStringLiteral("Eva"));
    card.insert("Email", QStringLiteral("otra@x.example"));
    card.insert("Emails", QStringLiteral("eva@x.example\r\n"));
    exchange::ImportNotes notes;
    QCOMPARE(exchange::cardFromVCard(readCards(exchange::cardToVCard(card)).first(), notes), card);
}

void TestExchange::oddCardsReadBackTheSame_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    const QByteArray head = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ana\r\n";
    // A CR alone ends a line, as CR LF does; here the next line continues it.
    QTest::newRow("raw CR inside a phone") << head + "TEL;TYPE=HOME,FAX:1\r VCARD\r\nEND:VCARD\r\n"
                                           << "FAX"
                                           << "1VCARD";
    QTest::newRow("escaped raw CR in an address") << head + "ADR;TYPE=work:;;a\\\r ,x\r\nEND:VCARD\r\n"
                                                  << "EmpresaDireccion"
                                                  << "a,x";
    QTest::newRow("street of blanks") << head + "ADR;TYPE=work:;;\f\f;Madrid\r\nEND:VCARD\r\n"
                                      << "EmpresaDireccion"
                                      << "\f\f";
    QTest::newRow("two notes") << head + "NOTE:uno\r\nNOTE:dos\\\r\nEND:VCARD\r\n"
                               << "Notas"
                               << "uno\ndos\\";
    QTest::newRow("cut ends in a space")
        << head + "ADR;TYPE=WORK:;Planta 3;Paseo de la Castellana número 100;Madrid;;1;E\r\nEND:VCARD\r\n"
        << "EmpresaDireccion"
        << "Planta 3, Paseo de la Castellana número ";
    QTest::newRow("default cut ends in a space")
        << head + "EMAIL;TYPE=pref:" + QByteArray(44, 'a') + " @b.example\r\nEND:VCARD\r\n"
        << "Email" << QString(44, QLatin1Char('a')) + QStringLiteral(" @b.ex");
    QTest::newRow("blank FN falls back to N")
        << QByteArray("BEGIN:VCARD\r\nFN: \r\nN:Ruiz;Ana;;;\r\nEND:VCARD\r\n") << "Nombre"
        << "Ana Ruiz";
}

void TestExchange::oddCardsReadBackTheSame()
{
    QFETCH(QByteArray, card);
    QFETCH(QString, field);
    QFETCH(QString, value);
    exchange::ImportNotes notes;
    const Record first = exchange::cardFromVCard(readCards(card).first(), notes);
    QCOMPARE(textOf(first, field), value);
    exchange::ImportNotes again;
    QCOMPARE(exchange::cardFromVCard(readCards(exchange::cardToVCard(first)).first(), again), first);
    QVERIFY(again.cutFields.isEmpty());
}

void TestExchange::repeatRules_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<int>("count"); // -1: Pennaro cannot express it
    QTest::addColumn<QString>("unit");
    const QDate monday(2027, 1, 4);
    QTest::newRow("daily") << "FREQ=DAILY" << monday << 1 << "Día/s";
    QTest::newRow("every 3 days") << "FREQ=DAILY;INTERVAL=3" << monday << 3 << "Día/s";
    QTest::newRow("weekly") << "FREQ=WEEKLY" << monday << 7 << "Día/s";
    QTest::newRow("weekly on its own day") << "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO" << monday << 14 << "Día/s";
    QTest::newRow("weekly on two days") << "FREQ=WEEKLY;BYDAY=MO,WE" << monday << -1 << "";
    QTest::newRow("weekly on another day") << "FREQ=WEEKLY;BYDAY=TU" << monday << -1 << "";
    QTest::newRow("every 5 weeks") << "FREQ=WEEKLY;INTERVAL=5" << monday << -1 << "";
    QTest::newRow("monthly") << "FREQ=MONTHLY;INTERVAL=2" << monday << 2 << "Mes/es";
    QTest::newRow("monthly on its day") << "FREQ=MONTHLY;BYMONTHDAY=4" << monday << 1 << "Mes/es";
    QTest::newRow("monthly on another day") << "FREQ=MONTHLY;BYMONTHDAY=15" << monday << -1 << "";
    QTest::newRow("first monday") << "FREQ=MONTHLY;BYDAY=1MO" << monday << -1 << "";
    QTest::newRow("yearly") << "FREQ=YEARLY" << monday << 1 << "Año/s";
    QTest::newRow("yearly spelled out") << "FREQ=YEARLY;BYMONTH=1;BYMONTHDAY=4" << monday << 1 << "Año/s";
    QTest::newRow("with count") << "FREQ=DAILY;COUNT=3" << monday << -1 << "";
    QTest::newRow("with until") << "FREQ=YEARLY;UNTIL=20300101T000000Z" << monday << -1 << "";
    QTest::newRow("interval 31") << "FREQ=DAILY;INTERVAL=31" << monday << 31 << "Día/s";
    QTest::newRow("interval 32") << "FREQ=DAILY;INTERVAL=32" << monday << -1 << "";
    QTest::newRow("hourly") << "FREQ=HOURLY" << monday << -1 << "";
}

void TestExchange::repeatRules()
{
    QFETCH(QString, rule);
    QFETCH(QDate, start);
    QFETCH(int, count);
    QFETCH(QString, unit);
    const std::optional<exchange::Repeat> repeat = exchange::repeatFromRule(rule, start, 1);
    QCOMPARE(repeat.has_value(), count >= 0);
    if (repeat) {
        QCOMPARE(repeat->count, count);
        QCOMPARE(repeat->unit, unit);
        // What Pennaro writes reads back as the same repeat.
        QCOMPARE(exchange::repeatFromRule(exchange::ruleFromRepeat(*repeat), start, 1), repeat);
    }
    QVERIFY_THROWS_EXCEPTION(exchange::LineError, exchange::repeatFromRule(QStringLiteral("FREQ=NUNCA"), start, 1));
}

void TestExchange::nextOccurrence_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("next");
    const QDateTime monday(QDate(2027, 1, 4), QTime(8, 30));
    QTest::newRow("mon and wed, on wednesday noon")
        << "FREQ=WEEKLY;BYDAY=MO,WE" << monday << QDateTime(QDate(2027, 1, 6), QTime(12, 0))
        << QDateTime(QDate(2027, 1, 11), QTime(8, 30));
    QTest::newRow("exactly now") << "FREQ=WEEKLY;BYDAY=MO,WE" << monday << QDateTime(QDate(2027, 1, 6), QTime(8, 30))
                                 << QDateTime(QDate(2027, 1, 6), QTime(8, 30));
    QTest::newRow("start in the future") << "FREQ=DAILY;COUNT=5" << monday << QDateTime(QDate(2026, 1, 1), QTime(0, 0))
                                         << monday;
    QTest::newRow("series ended: its last")
        << "FREQ=DAILY;COUNT=3" << monday << QDateTime(QDate(2027, 6, 1), QTime(0, 0))
        << QDateTime(QDate(2027, 1, 6), QTime(8, 30));
    // Fine rules from long ago start near `now`, in step with the start.
    QTest::newRow("secondly from two years back")
        << "FREQ=SECONDLY" << QDateTime(QDate(2025, 1, 1), QTime(0, 0)) << QDateTime(QDate(2027, 1, 1), QTime(12, 0))
        << QDateTime(QDate(2027, 1, 1), QTime(12, 0));
    QTest::newRow("every seven minutes keeps its phase")
        << "FREQ=MINUTELY;INTERVAL=7" << QDateTime(QDate(2025, 1, 1), QTime(0, 0))
        << QDateTime(QDate(2025, 1, 2), QTime(0, 0)) << QDateTime(QDate(2025, 1, 2), QTime(0, 2));
    QTest::newRow("monthly on the 31st from years back")
        << "FREQ=MONTHLY" << QDateTime(QDate(2020, 1, 31), QTime(8, 0)) << QDateTime(QDate(2027, 3, 1), QTime(0, 0))
        << QDateTime(QDate(2027, 3, 31), QTime(8, 0));
    QTest::newRow("yearly on 29 February")
        << "FREQ=YEARLY" << QDateTime(QDate(1904, 2, 29), QTime(8, 0)) << QDateTime(QDate(2027, 3, 1), QTime(0, 0))
        << QDateTime(QDate(2028, 2, 29), QTime(8, 0));
    QTest::newRow("last friday of the month")
        << "FREQ=MONTHLY;BYDAY=-1FR" << monday << QDateTime(QDate(2027, 2, 1), QTime(0, 0))
        << QDateTime(QDate(2027, 2, 26), QTime(8, 30));
}

void TestExchange::nextOccurrence()
{
    QFETCH(QString, rule);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, next);
    QCOMPARE(exchange::nextOccurrence(rule, start, now), next);
}

void TestExchange::reminderEventText()
{
    const Record r = reminder("05/03/2027", "10:30:00", QStringLiteral("Dentista, a las 10:30; no faltar"), true, false,
                              "2", QStringLiteral("Mes/es"));
    QString why;
    const QString text =
        QString::fromUtf8(exchange::reminderToEvent(r, QDateTime(QDate(2027, 1, 1), QTime(12, 0), Qt::UTC), why));
    QVERIFY(text.contains(QStringLiteral("DTSTART:20270305T103000\r\n")));
    QVERIFY(text.contains(QStringLiteral("SUMMARY:Dentista\\, a las 10:30\\; no faltar\r\n")));
    QVERIFY(text.contains(QStringLiteral("RRULE:FREQ=MONTHLY;INTERVAL=2\r\n")));
    QVERIFY(text.contains(QStringLiteral("BEGIN:VALARM\r\nACTION:AUDIO\r\n")));
    QVERIFY(text.contains(QStringLiteral("X-PENNARO-LEIDO:FALSE\r\n")));
    QVERIFY(text.contains(QStringLiteral("DTSTAMP:20270101T120000Z\r\n")));
    QVERIFY(!text.contains(QStringLiteral("X-PENNARO-REPETIR")));

    why.clear();
    QVERIFY(exchange::reminderToEvent(reminder("31/02/2027", "10:30:00", "x", true, false, "0", "Día/s"), {}, why)
                .isEmpty());
    QCOMPARE(why, QStringLiteral("fecha u hora no válida"));
}

void TestExchange::calendarFromAnotherProgram()
{
    Home home;
    Clock::setNow(QDateTime(QDate(2027, 1, 6), QTime(12, 0)));
    const exchange::Summary summary = exchange::importICalendar(home.connection, fixture("calendar.ics"), Clock::now());
    QCOMPARE(summary.read, 6);
    QCOMPARE(summary.written, 5);
    QCOMPARE(summary.skipped.value(QStringLiteral("sin fecha de inicio")), 1);
    QCOMPARE(summary.rules.value(QStringLiteral("FREQ=WEEKLY;BYDAY=MO,WE")), 1);
    const QString line = summary.text(QStringLiteral("Importación iCalendar de"), QStringLiteral("calendar.ics"));
    QVERIFY2(line.contains(QStringLiteral("FREQ=WEEKLY;BYDAY=MO,WE")), qPrintable(line));
    QVERIFY2(line.contains(QStringLiteral("6 leídos, 5 escritos, 1 omitidos (sin fecha de inicio: 1)")),
             qPrintable(line));

    const QList<Record> got = home.reminders();
    const QList<Record> expected{
        // 10:30 in New York (its own VTIMEZONE, EST) is 16:30 in Madrid.
        reminder("05/03/2027", "16:30:00", QStringLiteral("Reunión de equipo"), false, false, "0", "Día/s"),
        reminder("15/06/2027", "00:00:00", QStringLiteral("Cumpleaños de Ana"), true, false, "1", "Año/s"),
        reminder("10/03/2027", "10:00:00", QStringLiteral("Llamada con Londres"), false, false, "2", "Mes/es"),
        reminder("11/01/2027", "08:30:00", QStringLiteral("Clase de inglés"), false, false, "0", "Día/s"),
        reminder("01/04/2027", "12:00:00", QStringLiteral("Renovar el pasaporte"), false, true, "0", "Día/s"),
    };
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i], expected[i]);
}

void TestExchange::eventStartInLocalTime_data()
{
    // Local time is Madrid's (CET in January); the note is what the import says of the zone.
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("fecha");
    QTest::addColumn<QString>("hora");
    QTest::addColumn<QStringList>("notes");
    const QStringList none;
    const QStringList unknown{QStringLiteral("zona horaria desconocida, tomada como hora local")};
    QTest::newRow("floating") << "DTSTART:20270115T090000"
                              << "15/01/2027"
                              << "09:00:00" << none;
    QTest::newRow("UTC") << "DTSTART:20270115T090000Z"
                         << "15/01/2027"
                         << "10:00:00" << none;
    QTest::newRow("a day") << "DTSTART;VALUE=DATE:20270115"
                           << "15/01/2027"
                           << "00:00:00" << none;
    QTest::newRow("zone the file defines") << "DTSTART;TZID=Tres horas:20270115T090000"
                                           << "15/01/2027"
                                           << "07:00:00" << none;
    QTest::newRow("system zone") << "DTSTART;TZID=America/New_York:20270115T090000"
                                 << "15/01/2027"
                                 << "15:00:00" << none;
    QTest::newRow("Windows zone name") << "DTSTART;TZID=Tokyo Standard Time:20270115T090000"
                                       << "15/01/2027"
                                       << "01:00:00" << none;
    QTest::newRow("across midnight") << "DTSTART:20270115T233000Z"
                                     << "16/01/2027"
                                     << "00:30:00" << none;
    QTest::newRow("unknown zone") << "DTSTART;TZID=Ninguna/Parte:20270115T090000"
                                  << "15/01/2027"
                                  << "09:00:00" << unknown;
}

void TestExchange::eventStartInLocalTime()
{
    QFETCH(QString, start);
    QFETCH(QString, fecha);
    QFETCH(QString, hora);
    QFETCH(QStringList, notes);
    QByteArray ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                     "BEGIN:VTIMEZONE\r\nTZID:Tres horas\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                     "TZOFFSETFROM:+0300\r\nTZOFFSETTO:+0300\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
                     "BEGIN:VEVENT\r\nUID:1\r\nSUMMARY:x\r\n";
    ics += start.toUtf8() + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    QBuffer buffer(&ics);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    exchange::CalendarReader reader(&buffer);
    exchange::CalendarItem item;
    QVERIFY(reader.next(item));
    exchange::ImportNotes got;
    const Record r = exchange::reminderFromItem(item, reader, QDateTime(QDate(2027, 1, 1), QTime(0, 0)), got);
    QCOMPARE(r.value("Fecha").toString(), fecha);
    QCOMPARE(r.value("Hora").toString(), hora);
    QCOMPARE(got.notes, notes);
    QVERIFY(got.skipReason.isEmpty());
}

void TestExchange::otherComponentsAreCounted()
{
    // Journal entries and free/busy times are no reminders: passed over and counted once each.
    Home home;
    const QString path = home.file("otros.ics");
    QVERIFY(writeFile(path, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                            "BEGIN:VJOURNAL\r\nUID:1\r\nSUMMARY:diario\r\nEND:VJOURNAL\r\n"
                            "BEGIN:VEVENT\r\nUID:2\r\nDTSTART:20270115T090000\r\nSUMMARY:cita\r\nEND:VEVENT\r\n"
                            "BEGIN:VFREEBUSY\r\nUID:3\r\nEND:VFREEBUSY\r\nEND:VCALENDAR\r\n"));
    const exchange::Summary summary =
        exchange::importICalendar(home.connection, path, QDateTime(QDate(2027, 1, 1), QTime(0, 0)));
    QCOMPARE(summary.read, 1);
    QCOMPARE(summary.written, 1);
    QCOMPARE(summary.notes.value(QStringLiteral("componentes que no son eventos ni tareas, pasados por alto")), 2);
    QCOMPARE(home.reminders().size(), 1);
}

void TestExchange::roundTripThroughTheTables()
{
    Home source;
    QList<Record> cards{fullCard()};
    Record small;
    small.insert("Nombre", QStringLiteral("Solo nombre"));
    cards += small;
    Record twoLines = fullCard();
    twoLines.insert("Nombre", QStringLiteral("Otra"));
    twoLines.insert("Sexo", QStringLiteral("H"));
    twoLines.remove("Cumpleanos");
    cards += twoLines;
    insertRecords(source, engine::tables::direccionesFile(), engine::tables::direccionesFields(), cards);
    const QList<Record> reminders{
        reminder("05/03/2027", "10:30:00", QStringLiteral("Uno"), true, false, "0", "Día/s"),
        reminder("29/02/2028", "23:59:59", QStringLiteral("Dos, con ; y \\"), false, true, "12", "Mes/es"),
        reminder("01/01/2027", "00:00:00", QString(255, QChar(0xE9)), true, false, "1", "Año/s"),
        reminder("02/01/2027", "08:00:00", QStringLiteral("Sin repetir con unidad"), false, false, "0", "Año/s"),
        reminder("03/01/2027", "08:00:00", QString(), false, false, "12", QStringLiteral("x")),
    };
    insertRecords(source, engine::tables::reminderFile(), engine::tables::reminderFields(), reminders);
    const QString vcf = source.file("copia.vcf");
    const QString ics = source.file("copia.ics");
    QCOMPARE(exchange::exportVCard(source.connection, vcf).written, 3);
    QCOMPARE(exchange::exportICalendar(source.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(9, 0))).written, 5);

    Home target;
    const exchange::Summary cardSummary = exchange::importVCard(target.connection, vcf);
    QCOMPARE(cardSummary.written, 3);
    QVERIFY(cardSummary.cut.isEmpty());
    QVERIFY(cardSummary.dropped.isEmpty());
    QCOMPARE(target.cards(), cards);
    const exchange::Summary reminderSummary =
        exchange::importICalendar(target.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(9, 0)));
    QCOMPARE(reminderSummary.written, 5);
    QVERIFY(reminderSummary.rules.isEmpty());
    QCOMPARE(target.reminders(), reminders);

    // Empty read and sound marks and an empty repeat, which only other writers leave, read back
    // as the entry form would fill them in.
    Home other;
    insertRecords(other, engine::tables::reminderFile(), engine::tables::reminderFields(),
                  {reminder("03/01/2027", "8:00:00", QString(), QVariant(), QVariant(), nullptr, QString())});
    exchange::exportICalendar(other.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(9, 0)));
    Home last;
    exchange::importICalendar(last.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(9, 0)));
    QCOMPARE(last.reminders(),
             QList<Record>{reminder("03/01/2027", "08:00:00", QString(), false, false, "0", QStringLiteral("Día/s"))});
}

void TestExchange::badFilesImportNothing_data()
{
    QTest::addColumn<bool>("calendar");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray good = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ana\r\nEND:VCARD\r\n";
    QTest::newRow("vcard: not vcard") << false << QByteArray("hola\r\n") << "línea 1: el archivo no es un vCard";
    QTest::newRow("vcard: truncated after a good card") << false << (good + "BEGIN:VCARD\r\nFN:Eva\r\n") << "línea 6";
    QTest::newRow("vcard: date that does not exist")
        << false << (good + "BEGIN:VCARD\r\nFN:Eva\r\nBDAY:20270230\r\nEND:VCARD\r\n")
        << "línea 7: la fecha «20270230» no existe";
    QTest::newRow("vcard: invalid utf-8")
        << false << (good + "BEGIN:VCARD\r\nFN:Eva \xFF\r\nEND:VCARD\r\n") << "línea 6: el texto no está en UTF-8";
    QTest::newRow("vcard: 10 MB line") << false
                                       << (good + "BEGIN:VCARD\r\nNOTE:" + QByteArray(10 << 20, 'a') +
                                           "\r\nEND:VCARD\r\n")
                                       << "línea 6: la línea es demasiado larga";
    const QByteArray event =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nDTSTART:20270101T100000\r\nSUMMARY:a\r\nEND:VEVENT\r\n";
    QTest::newRow("ics: not ics") << true << good << "línea 1: el archivo no es iCalendar";
    QTest::newRow("ics: truncated") << true << (event + "BEGIN:VEVENT\r\nDTSTART:20270101T100000\r\n")
                                    << "línea 8: el archivo está cortado";
    QTest::newRow("ics: no end of calendar") << true << event << "línea 6: el archivo está cortado";
    QTest::newRow("ics: date that does not exist")
        << true << (event + "BEGIN:VEVENT\r\nDTSTART:20270230T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        << "línea 8: la fecha de inicio «20270230T100000» no existe";
    QTest::newRow("ics: invalid utf-8") << true
                                        << (event + "BEGIN:VEVENT\r\nSUMMARY:\xC0\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                                        << "línea 8: el texto no está en UTF-8";
    QTest::newRow("ics: bad rule")
        << true
        << (event + "BEGIN:VEVENT\r\nDTSTART:20270101T100000\r\nRRULE:FREQ=A\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        << "línea 9";
}

void TestExchange::badFilesImportNothing()
{
    QFETCH(bool, calendar);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    Home home;
    // One record already there must stay the only one.
    const Record kept = reminder("01/01/2027", "09:00:00", "ya estaba", true, false, "0", "Día/s");
    Record keptCard;
    keptCard.insert("Nombre", QStringLiteral("Ya estaba"));
    insertRecords(home, engine::tables::reminderFile(), engine::tables::reminderFields(), {kept});
    insertRecords(home, engine::tables::direccionesFile(), engine::tables::direccionesFields(), {keptCard});
    const QString path = home.file(calendar ? "malo.ics" : "malo.vcf");
    QVERIFY(writeFile(path, bytes));
    const QString message = errorOf([&] {
        if (calendar)
            exchange::importICalendar(home.connection, path, QDateTime(QDate(2027, 1, 1), QTime(0, 0)));
        else
            exchange::importVCard(home.connection, path);
    });
    QVERIFY2(message.startsWith(QStringLiteral("«%1», ").arg(QFileInfo(path).fileName())), qPrintable(message));
    QVERIFY2(message.contains(error), qPrintable(message));
    QCOMPARE(home.reminders(), QList<Record>{kept});
    QCOMPARE(home.cards(), QList<Record>{keptCard});
}

void TestExchange::exportToUnwritableFolderLeavesNoFile()
{
    Home home;
    insertRecords(home, engine::tables::direccionesFile(), engine::tables::direccionesFields(), {fullCard()});
    // A plain file where the folder should be: no one, not even root, can write below it.
    const QString notAFolder = home.file("archivo");
    QVERIFY(writeFile(notAFolder, "x"));
    const QString message = errorOf([&] { exchange::exportVCard(home.connection, notAFolder + "/copia.vcf"); });
    QVERIFY2(message.contains(QStringLiteral("No se puede crear el archivo")), qPrintable(message));
    QCOMPARE(readFile(notAFolder), QByteArray("x"));

    // A missing folder fails the same way.
    const QString missing = home.file("no-existe/copia.ics");
    QVERIFY(errorOf([&] {
                exchange::exportICalendar(home.connection, missing, QDateTime::currentDateTime());
            }).contains(QStringLiteral("No se puede crear el archivo")));
    QVERIFY(!QFileInfo::exists(missing));

    // A failed export never replaces an earlier good copy; a good one leaves no temporary file.
    const QString copy = home.file("copia.vcf");
    QCOMPARE(exchange::exportVCard(home.connection, copy).written, 1);
    QCOMPARE(QDir(home.dir.path()).entryList(QStringList{"copia.vcf*"}, QDir::Files), QStringList{"copia.vcf"});
}

void TestExchange::hostileCalendars_data()
{
    // Each file imports (`fecha` is the stored date, `said` part of the summary) or is refused
    // (`said` part of the error); none may take long. Now is 01/01/2027 12:00 in Madrid.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fecha");
    QTest::addColumn<QString>("said");
    auto calendar = [](const QByteArray& body) {
        return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + body + "END:VCALENDAR\r\n";
    };
    auto event = [](const QByteArray& lines) {
        return "BEGIN:VEVENT\r\nUID:1\r\nSUMMARY:x\r\n" + lines + "END:VEVENT\r\n";
    };
    auto zone = [](const QByteArray& rule, const QByteArray& start) {
        return "BEGIN:VTIMEZONE\r\nTZID:Costosa\r\nBEGIN:STANDARD\r\nDTSTART:" + start +
               "\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n" + rule + "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
    };
    QByteArray nested = "BEGIN:VEVENT\r\nDTSTART:20270101T100000\r\n";
    for (int i = 0; i < 1000; ++i)
        nested += "BEGIN:X-A\r\n";
    for (int i = 0; i < 1000; ++i)
        nested += "END:X-A\r\n";
    QTest::newRow("nested 1000 deep") << calendar(nested + "END:VEVENT\r\n") << QString()
                                      << "línea 43: los componentes están anidados a más de 40 niveles";
    const QString costly = QStringLiteral("demasiado costosas de calcular, importada su primera fecha");
    for (const char* freq : {"SECONDLY", "MINUTELY", "HOURLY"})
        QTest::newRow(freq) << calendar(event("DTSTART:20250101T000000\r\nRRULE:FREQ=" + QByteArray(freq) +
                                              ";INTERVAL=1;BYMONTH=2;BYMONTHDAY=30\r\n"))
                            << "01/01/2025" << costly;
    QTest::newRow("cap reached: next date from now")
        << calendar(event("DTSTART:20250101T000000\r\nRRULE:FREQ=SECONDLY\r\n")) << "01/01/2027"
        << "importada su próxima fecha (FREQ=SECONDLY: 1)";
    QTest::newRow("cap reached with a count: first date")
        << calendar(event("DTSTART:00010101T000000\r\nRRULE:FREQ=DAILY;COUNT=2147483647\r\n")) << "01/01/0001"
        << costly;
    const QByteArray usesZone = event("DTSTART;TZID=Costosa:20270115T090000\r\n");
    QTest::newRow("zone rule every minute")
        << calendar(zone("RRULE:FREQ=MINUTELY", "20000101T000000") + usesZone) << "15/01/2027"
        << "zona horaria «Costosa» con reglas demasiado costosas";
    QTest::newRow("zone rule every day from year 1")
        << calendar(zone("RRULE:FREQ=DAILY", "00010101T000000") + usesZone) << "15/01/2027"
        << "zona horaria «Costosa» con reglas demasiado costosas";
    QTest::newRow("last second of year 9999 in UTC")
        << calendar(event("DTSTART:99991231T235959Z\r\n")) << QString()
        << "línea 6: la fecha de inicio «99991231T235959Z» queda fuera de los años 1 a 9999";
    QTest::newRow("first second of year 1 in UTC")
        << calendar(event("DTSTART:00010101T000000Z\r\n")) << QString() << "queda fuera de los años 1 a 9999";
    // +05:00 at 09:00 is 05:00 in Madrid; the zone comes after its event.
    QTest::newRow("zone defined after its event")
        << calendar(event("DTSTART;TZID=Custom:20270115T090000\r\n") +
                    "BEGIN:VTIMEZONE\r\nTZID:Custom\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                    "TZOFFSETFROM:+0500\r\nTZOFFSETTO:+0500\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n")
        << "15/01/2027"
        << "1 escritos";
    QTest::newRow("zone nowhere defined") << calendar(event("DTSTART;TZID=Custom:20270115T090000\r\n")) << "15/01/2027"
                                          << "zona horaria desconocida, tomada como hora local: 1";
    QTest::newRow("line ends CR only") << calendar(event("DTSTART:20270115T090000\r\n")).replace("\r\n", "\r")
                                       << "15/01/2027"
                                       << "1 escritos";
}

void TestExchange::hostileCalendars()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fecha);
    QFETCH(QString, said);
    Home home;
    const QString path = home.file("hostil.ics");
    QVERIFY(writeFile(path, bytes));
    QString summary;
    const QString error = errorOf([&] {
        summary = exchange::importICalendar(home.connection, path, QDateTime(QDate(2027, 1, 1), QTime(12, 0)))
                      .text(QStringLiteral("Importación"), QStringLiteral("hostil.ics"));
    });
    if (fecha.isEmpty()) {
        QVERIFY2(error.contains(said), qPrintable(error));
        QVERIFY(home.reminders().isEmpty());
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(summary.contains(said), qPrintable(summary));
    const QList<Record> stored = home.reminders();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().value("Fecha").toString(), fecha);
    if (QTest::currentDataTag() == QLatin1String("zone defined after its event"))
        QCOMPARE(stored.first().value("Hora").toString(), QStringLiteral("05:00:00"));
}

void TestExchange::exportOnlyToRegularFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("why");
    QTest::newRow("fifo") << "fifo"
                          << "es una tubería con nombre (FIFO)";
    QTest::newRow("socket") << "socket"
                            << "es un socket";
    QTest::newRow("folder") << "folder"
                            << "es una carpeta";
    QTest::newRow("read-only file") << "read-only"
                                    << "el archivo es de solo lectura";
}

void TestExchange::exportOnlyToRegularFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, why);
    Home home;
    const QString target = home.file("destino");
    const QByteArray name = QFile::encodeName(target);
    int fd = -1;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    } else if (kind == QLatin1String("socket")) {
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        QVERIFY(size_t(name.size()) < sizeof addr.sun_path);
        memcpy(addr.sun_path, name.constData(), size_t(name.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(target));
    } else {
        if (::geteuid() == 0)
            QSKIP("root may write to a read-only file");
        QVERIFY(writeFile(target, "antes"));
        QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner));
    }
    auto closeSocket = qScopeGuard([fd] {
        if (fd >= 0)
            ::close(fd);
    });
    struct stat before;
    QCOMPARE(::lstat(name.constData(), &before), 0);
    const QString message =
        errorOf([&] { exchange::exportICalendar(home.connection, target, QDateTime::currentDateTime()); });
    QVERIFY2(message.contains(why), qPrintable(message));
    struct stat after;
    QCOMPARE(::lstat(name.constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(QDir(home.dir.path()).entryList(QStringList{"destino?*"}, QDir::AllEntries | QDir::System), QStringList());
}

void TestExchange::controlCharactersNeverChangeOnTheWay()
{
    // A text the format cannot carry back unchanged is not written changed: the export
    // skips it and says why.
    Home home;
    insertRecords(
        home, engine::tables::reminderFile(), engine::tables::reminderFields(),
        {reminder("05/03/2027", "10:30:00", QStringLiteral("con\rretorno"), true, false, "0", "Día/s"),
         reminder("05/03/2027", "10:30:00", QStringLiteral("con\bretroceso"), true, false, "0", "Día/s"),
         reminder("05/03/2027", "10:30:00", QStringLiteral("limpio\ttab\ny línea"), true, false, "0", "Día/s")});
    const QString ics = home.file("c.ics");
    const exchange::Summary out = exchange::exportICalendar(home.connection, ics, QDateTime::currentDateTime());
    QCOMPARE(out.written, 1);
    QCOMPARE(out.skipped.value(QStringLiteral("texto con caracteres de control")), 2);
    Home back;
    exchange::importICalendar(back.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(0, 0)));
    QCOMPARE(back.reminders().size(), 1);
    QCOMPARE(back.reminders().first().value("Recordatorio").toString(), QStringLiteral("limpio\ttab\ny línea"));

    // A card keeps a form feed (written as it is) but not a CR alone.
    insertRecords(home, engine::tables::direccionesFile(), engine::tables::direccionesFields(),
                  {Record{{"Nombre", QStringLiteral("Ana\fRuiz")}}, Record{{"Nombre", QStringLiteral("Eva\rRuiz")}}});
    const exchange::Summary cards = exchange::exportVCard(home.connection, home.file("c.vcf"));
    QCOMPARE(cards.written, 1);
    QCOMPARE(cards.skipped.value(QStringLiteral("texto con caracteres de control")), 1);
    exchange::importVCard(back.connection, home.file("c.vcf"));
    QCOMPARE(back.cards().size(), 1);
    QCOMPARE(back.cards().first().value("Nombre").toString(), QStringLiteral("Ana\fRuiz"));
}

void TestExchange::importBesideTheRunningProgram()
{
    Home home;
    const QString file = engine::tables::reminderFile();
    insertRecords(home, file, engine::tables::reminderFields(),
                  {reminder("01/01/2027", "09:00:00", "uno", true, false, "0", "Día/s"),
                   reminder("02/01/2027", "09:00:00", "dos", true, false, "0", "Día/s"),
                   reminder("03/01/2027", "09:00:00", "tres", true, false, "0", "Día/s")});
    sqlite3* db = home.connection.handle(file);
    engine::sql::exec(db, "DELETE FROM Reminder WHERE ID = 3", "x"); // the sequence stays at 3
    auto query = [&](const QString& sql) {
        QStringList rows;
        engine::sql::Statement st;
        st.prepare(home.connection.handle(file), sql, "x");
        engine::sql::Statement::Use use(st);
        while (st.step())
            rows += st.text(0);
        return rows;
    };
    const QStringList indexesBefore =
        query("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name");
    QVERIFY(!indexesBefore.isEmpty());

    // The running program: its own connection to the same file.
    engine::Connection running;
    running.setPath(QFileInfo(home.connection.filePath(file)).absolutePath());
    running.connect();
    running.handle(file);
    QVERIFY(!running.changedElsewhere(file));

    // It posts an edit while the import builds its new table; the import builds it again and
    // keeps the edit.
    int built = 0;
    exchange::setImportBuiltHook([&] {
        if (built++ == 0)
            engine::sql::exec(running.handle(file), "UPDATE Reminder SET Recordatorio = 'editado' WHERE ID = 1", "x");
    });
    auto noHook = qScopeGuard([] { exchange::setImportBuiltHook({}); });
    const QString ics = home.file("nuevos.ics");
    QVERIFY(writeFile(ics,
                      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                      "BEGIN:VEVENT\r\nDTSTART:20270201T100000\r\nSUMMARY:cuatro\r\nEND:VEVENT\r\n"
                      "BEGIN:VEVENT\r\nDTSTART:20270202T100000\r\nSUMMARY:cinco\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
    QCOMPARE(exchange::importICalendar(home.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(0, 0))).written, 2);
    QCOMPARE(built, 2);
    QCOMPARE(query("SELECT ID || ' ' || Recordatorio FROM Reminder ORDER BY ID"),
             (QStringList{"1 editado", "2 dos", "4 cuatro", "5 cinco"}));
    QCOMPARE(query("PRAGMA integrity_check"), QStringList{"ok"});
    QCOMPARE(query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
             (QStringList{"Reminder", "sqlite_sequence"}));
    QStringList alternate;
    for (const QString& name : indexesBefore)
        alternate += name + "_b";
    QCOMPARE(query("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"), alternate);
    // The running program sees that the file changed, once.
    QVERIFY(running.changedElsewhere(file));
    QVERIFY(!running.changedElsewhere(file));

    // A killed import leaves its side tables; the next import drops them, and one that fails
    // leaves the table as it was.
    engine::sql::exec(home.connection.handle(file),
                      "CREATE TABLE Reminder_importacion (x); "
                      "CREATE TABLE Reminder_nueva (y)",
                      "x");
    const QString bad = home.file("malo.ics");
    QVERIFY(writeFile(bad, "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:20270230T100000\r\nEND:VEVENT\r\n"
                           "END:VCALENDAR\r\n"));
    QVERIFY(!errorOf([&] { exchange::importICalendar(home.connection, bad, QDateTime::currentDateTime()); }).isEmpty());
    QCOMPARE(query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
             (QStringList{"Reminder", "sqlite_sequence"}));
    QCOMPARE(query("SELECT count(*) FROM Reminder"), QStringList{"4"});

    // A second import gives the indexes their first names back.
    exchange::setImportBuiltHook({});
    exchange::importICalendar(home.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(0, 0)));
    QCOMPARE(query("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"),
             indexesBefore);

    // One import at a time.
    const QString lockPath = QFileInfo(home.connection.filePath(file)).dir().filePath(".Reminder.DB.importacion");
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX), 0);
    const QString busy =
        errorOf([&] { exchange::importICalendar(home.connection, ics, QDateTime(QDate(2027, 1, 1), QTime(0, 0))); });
    ::close(fd);
    QVERIFY2(busy.contains(QStringLiteral("Otra importación")), qPrintable(busy));
    QCOMPARE(query("SELECT count(*) FROM Reminder"), QStringList{"6"});
}

void TestExchange::commandLine()
{
    Home home;
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    auto closeFiles = qScopeGuard([&] {
        fclose(out);
        fclose(err);
    });
    auto text = [](FILE* f) {
        fflush(f);
        rewind(f);
        QByteArray bytes;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            bytes.append(buf, qsizetype(n));
        rewind(f);
        return QString::fromUtf8(bytes);
    };
    // Without our options the program starts as usual, Qt's own options included.
    QCOMPARE(exchange::runCommandLine({"pennaro"}, out, err), std::nullopt);
    QCOMPARE(exchange::runCommandLine({"pennaro", "-platform", "offscreen"}, out, err), std::nullopt);

    QCOMPARE(exchange::runCommandLine({"pennaro", "--help"}, out, err), std::optional<int>(0));
    QVERIFY(text(out).contains(QStringLiteral("--import-vcard ARCHIVO")));
    QCOMPARE(exchange::runCommandLine({"pennaro", "--export-vcard", "a", "--export-ics", "b"}, out, err),
             std::optional<int>(2));
    QCOMPARE(exchange::runCommandLine({"pennaro", "--import-vcard"}, out, err), std::optional<int>(2));
    QVERIFY(text(err).contains(QStringLiteral("Pennaro 2.0:")));

    QCOMPARE(exchange::runCommandLine({"pennaro", "--import-vcard", fixture("addressbook.vcf")}, out, err),
             std::optional<int>(0));
    const QString summary = text(out);
    QVERIFY2(summary.contains(QStringLiteral(
                 "Importación vCard de «addressbook.vcf»: 4 leídos, 3 escritos, 1 omitidos (sin nombre: 1)")),
             qPrintable(summary));
    QCOMPARE(home.cards().size(), 3);
    QCOMPARE(exchange::runCommandLine({"pennaro", "--import-ics", home.file("no-existe.ics")}, out, err),
             std::optional<int>(1));
    QVERIFY(text(err).contains(QStringLiteral("No se puede leer el archivo")));
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
