// The settings store and the routines on it: values by type through the REGEDIT4 file,
// the registry's error codes, damaged and unwritable files, atomic writes.

#include "common/Rutines.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kKey = QStringLiteral("\\Software\\Quelmar\\Ostiva\\mail");

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<no se pudo leer>");
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Runs f and returns the SettingsError it raised; fails the test when it raised none.
template <typename F> std::optional<SettingsError> settingsError(F&& f)
{
    try {
        f();
    } catch (const SettingsError& e) {
        return e;
    }
    return std::nullopt;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void textRoundTrip_data();
    void textRoundTrip();
    void textEndsAtFirstZero();
    void integerRoundTrip_data();
    void integerRoundTrip();
    void integerConversionFails_data();
    void integerConversionFails();
    void binaryValue();
    void fileFormat();
    void readsHandWrittenFile();
    void missingFileReadsEmpty();
    void namesIgnoreCase();
    void missingKeyAndMissingValue();
    void wrongTypeCannotBeRead_data();
    void wrongTypeCannotBeRead();
    void typeCodeZero();
    void unknownTypeCode();
    void refusedNames();
    void damagedFile_data();
    void damagedFile();
    void unreadableFile();
    void unwritableFolder();
    void fileModeIsPrivate();
    void killedWriterLeavesWholeFile();
    void linkedFileIsReplacedThroughTheLink();
    void specialFileIsNeverOpened_data();
    void specialFileIsNeverOpened();
    void continuedBinaryValue();
    void batchReadsOnceAndWritesOnCommit();
    void batchDropsWhatIsNotCommitted();

private:
    QString file() const { return SettingsStore::filePath(HKEY_LOCAL_MACHINE); }

    std::unique_ptr<QTemporaryDir> m_dir;
    TRutines m_r;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    SettingsStore::setFolder(m_dir->path());
}

void TestSettings::cleanup()
{
    SettingsStore::setFolder(QString());
    m_dir.reset();
}

void TestSettings::textRoundTrip_data()
{
    QTest::addColumn<QString>("text");

    QString latin1;
    for (int c = 1; c < 256; ++c)
        latin1 += QChar(c);
    QTest::newRow("plain") << QStringLiteral("usuario@example.com");
    QTest::newRow("empty") << QString();
    QTest::newRow("quotes and backslashes") << QStringLiteral("\"C:\\Archivos\\correo.exe\" \\\"x\\");
    QTest::newRow("ends with backslash") << QStringLiteral("C:\\");
    QTest::newRow("line breaks") << QStringLiteral("uno\ndos\r\ntres\r");
    QTest::newRow("tab and low codes") << QStringLiteral("a\tb\x01\x02\x03\x04");
    QTest::newRow("U+00FF") << QStringLiteral("\u00ff");
    QTest::newRow("every code 1 to 255") << latin1;
    QTest::newRow("above U+00FF") << QStringLiteral("contraseña €ŁΩ漢字");
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"\U0001F600x\U00010000");
    QTest::newRow("lone surrogate") << (QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b"));
    QTest::newRow("noncharacters") << (QString(QChar(0xfffe)) + QChar(0xffff) + QChar(0xfdd0));
    QTest::newRow("looks like file syntax") << QStringLiteral("\"=hex:00,01\n[HKEY_LOCAL_MACHINE\\x]\n@=\"y\"");
    QTest::newRow("blanks around") << QStringLiteral("  con espacios  ");
    QTest::newRow("byte order mark") << QStringLiteral("\ufeffx");
}

void TestSettings::textRoundTrip()
{
    QFETCH(QString, text);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1"), 1, text);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Expandible"), 2, text);

    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1")), text);
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Expandible")), text);

    const SettingsStore store = SettingsStore::load(HKEY_LOCAL_MACHINE);
    QCOMPARE(store.findKey(kKey)->value(u"User1")->type, quint32(REG_SZ));
    QCOMPARE(store.findKey(kKey)->value(u"Expandible")->type, quint32(REG_EXPAND_SZ));
    // Each value is one line of the file, whatever its text holds.
    const QStringList lines = QString::fromUtf8(readBytes(file())).split(QLatin1Char('\n'));
    QCOMPARE(lines.filter(QStringLiteral("\"User1\"=")).size(), 1);
}

void TestSettings::textEndsAtFirstZero()
{
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("password1"), 1,
                        QString(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")));
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("password1")), QStringLiteral("ab"));
    // The store itself keeps the whole text.
    const SettingsStore store = SettingsStore::load(HKEY_LOCAL_MACHINE);
    QCOMPARE(store.findKey(kKey)->value(u"password1")->data.size(), 12);
}

void TestSettings::integerRoundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("zero") << QVariant(0) << 0;
    QTest::newRow("one") << QVariant(1) << 1;
    QTest::newRow("minus one") << QVariant(-1) << -1;
    QTest::newRow("largest") << QVariant(2147483647) << 2147483647;
    QTest::newRow("smallest") << QVariant(qint64(-2147483647 - 1)) << (-2147483647 - 1);
    QTest::newRow("text") << QVariant(QStringLiteral("10")) << 10;
    QTest::newRow("text with blanks and sign") << QVariant(QStringLiteral(" -42 ")) << -42;
    QTest::newRow("true") << QVariant(true) << 1;
    QTest::newRow("false") << QVariant(false) << 0;
    QTest::newRow("double rounds half to even") << QVariant(2.5) << 2;
    QTest::newRow("double rounds") << QVariant(-3.7) << -4;
}

void TestSettings::integerRoundTrip()
{
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error"), 3, value);
    QCOMPARE(m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error")), expected);
}

void TestSettings::integerConversionFails_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("letters") << QVariant(QStringLiteral("abc"));
    QTest::newRow("empty text") << QVariant(QString());
    QTest::newRow("fraction text") << QVariant(QStringLiteral("1.5"));
    QTest::newRow("above 32 bits") << QVariant(QStringLiteral("2147483648"));
    QTest::newRow("large number") << QVariant(qint64(1) << 40);
    QTest::newRow("large double") << QVariant(1e12);
    QTest::newRow("not a number") << QVariant(std::nan(""));
    QTest::newRow("no value") << QVariant();
}

void TestSettings::integerConversionFails()
{
    QFETCH(QVariant, value);
    QVERIFY_THROWS_EXCEPTION(ConversionError,
                             m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("abrir"), 3, value));
    // Nothing was written in place of the number, but the key was made.
    const auto e = settingsError([&] { m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("abrir")); });
    QVERIFY(e);
    QCOMPARE(e->code(), int(ERROR_CANTREAD));
}

void TestSettings::binaryValue()
{
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("datos"), 4, QStringLiteral("abc"));
    const SettingsStore store = SettingsStore::load(HKEY_LOCAL_MACHINE);
    const RegValue* v = store.findKey(kKey)->value(u"datos");
    QCOMPARE(v->type, quint32(REG_BINARY));
    QCOMPARE(v->data, QByteArray("abc")); // no terminating zero
    QVERIFY(readBytes(file()).contains("\"datos\"=hex:61,62,63\n"));

    // Long binary values wrap over lines as regedit writes them, and read back whole.
    const QByteArray big(100, 'z');
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("grande"), 4, big);
    for (const QByteArray& line : readBytes(file()).split('\n'))
        QVERIFY2(line.size() <= 80, line.constData());
    QCOMPARE(SettingsStore::load(HKEY_LOCAL_MACHINE).findKey(kKey)->value(u"grande")->data, big);
}

void TestSettings::fileFormat()
{
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1"), 1, QStringLiteral("juan \"j\" C:\\x"));
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error"), 3, 10);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("exp"), 2, QStringLiteral("%A"));
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("lineas"), 1, QStringLiteral("a\nb"));
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QString(), 1, QStringLiteral("por omisión"));

    const QByteArray expected = "REGEDIT4\n"
                                "\n"
                                "[HKEY_LOCAL_MACHINE\\Software]\n"
                                "\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Quelmar]\n"
                                "\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Quelmar\\Ostiva]\n"
                                "\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Quelmar\\Ostiva\\mail]\n"
                                "\"User1\"=\"juan \\\"j\\\" C:\\\\x\"\n"
                                "\"error\"=dword:0000000a\n"
                                "\"exp\"=hex(2):25,00,41,00,00,00\n"
                                "\"lineas\"=hex(1):61,00,0a,00,62,00,00,00\n"
                                "@=\"por omisi\xc3\xb3n\"\n"
                                "\n";
    QCOMPARE(readBytes(file()), expected);
}

void TestSettings::readsHandWrittenFile()
{
    // CRLF line ends, a byte order mark, comments, a wrapped binary value, short dword digits.
    writeBytes(file(), "\xef\xbb\xbfREGEDIT4\r\n"
                       "\r\n"
                       "; ajustes de correo\r\n"
                       "[hkey_local_machine\\SOFTWARE\\quelmar\\OSTIVA\\Mail]\r\n"
                       "\"Tiempo\" = \"10\"\r\n"
                       "\"abrir\"=dword:1\r\n"
                       "\"bin\"=hex:01,02,\\\r\n"
                       "  03\r\n"
                       "@=\"def\"\r\n"
                       "\r\n");
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("tiempo")), QStringLiteral("10"));
    QCOMPARE(m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("abrir")), 1);
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QString()), QStringLiteral("def"));
    const SettingsStore store = SettingsStore::load(HKEY_LOCAL_MACHINE);
    QCOMPARE(store.findKey(kKey)->value(u"bin")->data, QByteArray("\x01\x02\x03"));
}

void TestSettings::missingFileReadsEmpty()
{
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1")), QString());
    QCOMPARE(m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error")), 0);
    QVERIFY(!QFile::exists(file()));

    // Each root key has its own file.
    m_r.EscribeRegistro(HKEY_CURRENT_USER, kKey, QStringLiteral("User1"), 1, QStringLiteral("x"));
    QVERIFY(QFile::exists(QDir(m_dir->path()).filePath(QStringLiteral("HKEY_CURRENT_USER.reg"))));
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1")), QString());
}

void TestSettings::namesIgnoreCase()
{
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, QStringLiteral("Software\\Quelmar\\Ostiva\\mail"), QStringLiteral("User1"),
                        1, QStringLiteral("a"));
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, QStringLiteral("\\SOFTWARE\\quelmar\\ostiva\\MAIL\\"),
                        QStringLiteral("USER1"), 1, QStringLiteral("b"));
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, QStringLiteral("software\\QUELMAR\\Ostiva\\mail"),
                                   QStringLiteral("user1")),
             QStringLiteral("b"));
    // One key and one value, under their first spelling.
    const QByteArray text = readBytes(file());
    QCOMPARE(text.count("\"User1\"="), 1);
    QCOMPARE(text.count("Ostiva\\mail]"), 1);
    QVERIFY(!text.contains("USER1"));
}

void TestSettings::missingKeyAndMissingValue()
{
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1"), 1, QStringLiteral("a"));

    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey + QStringLiteral("\\otra"), QStringLiteral("User1")),
             QString());
    QCOMPARE(m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, QStringLiteral("\\Nada"), QStringLiteral("error")), 0);

    const auto e1 = settingsError([&] { m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("pop3")); });
    QVERIFY(e1);
    QCOMPARE(e1->code(), int(ERROR_CANTREAD));
    QCOMPARE(e1->message(), QStringLiteral("No se pudo leer la clave del registro."));
    const auto e2 = settingsError([&] { m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error")); });
    QVERIFY(e2);
    QCOMPARE(e2->code(), int(ERROR_CANTREAD));
}

void TestSettings::wrongTypeCannotBeRead_data()
{
    QTest::addColumn<int>("typeCode");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("readAsInteger");

    QTest::newRow("text read as integer") << 1 << QVariant(QStringLiteral("5")) << true;
    QTest::newRow("expandable read as integer") << 2 << QVariant(QStringLiteral("5")) << true;
    QTest::newRow("binary read as integer") << 4 << QVariant(QStringLiteral("abcd")) << true;
    QTest::newRow("integer read as text") << 3 << QVariant(5) << false;
    QTest::newRow("binary read as text") << 4 << QVariant(QStringLiteral("abc")) << false;
}

void TestSettings::wrongTypeCannotBeRead()
{
    QFETCH(int, typeCode);
    QFETCH(QVariant, value);
    QFETCH(bool, readAsInteger);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"), typeCode, value);
    const auto e = settingsError([&] {
        if (readAsInteger)
            m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"));
        else
            m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"));
    });
    QVERIFY(e);
    QCOMPARE(e->code(), int(ERROR_CANTREAD));
}

void TestSettings::typeCodeZero()
{
    // Code 0 keeps the type the value has.
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error"), 3, 1);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error"), 0, QStringLiteral("12"));
    QCOMPARE(m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error")), 12);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Tiempo"), 1, QStringLiteral("05"));
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Tiempo"), 0, 7);
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Tiempo")), QStringLiteral("7"));
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("bin"), 4, QStringLiteral("ab"));
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("bin"), 0, QStringLiteral("cd"));
    QCOMPARE(SettingsStore::load(HKEY_LOCAL_MACHINE).findKey(kKey)->value(u"bin")->data, QByteArray("cd"));

    // Code 0 on a value that does not exist: error 1013, the key made all the same.
    const QString newKey = QStringLiteral("\\Software\\Nueva");
    const auto e = settingsError([&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, newKey, QStringLiteral("x"), 0, 1); });
    QVERIFY(e);
    QCOMPARE(e->code(), int(ERROR_CANTWRITE));
    QCOMPARE(e->message(), QStringLiteral("No se pudo escribir la clave del registro."));
    QVERIFY(SettingsStore::load(HKEY_LOCAL_MACHINE).findKey(newKey));
    QVERIFY(!SettingsStore::load(HKEY_LOCAL_MACHINE).findKey(newKey)->value(u"x"));
}

void TestSettings::unknownTypeCode()
{
    for (int code : {5, -1, 7}) {
        const auto e =
            settingsError([&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"), code, 1); });
        QVERIFY(e);
        QCOMPARE(e->code(), int(ERROR_CANTWRITE));
    }
    // A stored type the routines have no code for counts as none.
    writeBytes(file(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Quelmar\\Ostiva\\mail]\n\"v\"=hex(7):00,00\n\n");
    const auto e = settingsError([&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"), 0, 1); });
    QVERIFY(e);
    QCOMPARE(e->code(), int(ERROR_CANTWRITE));
}

void TestSettings::refusedNames()
{
    const auto e1 = settingsError(
        [&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("a\nb"), 1, QStringLiteral("x")); });
    QVERIFY(e1);
    QCOMPARE(e1->message(), QStringLiteral("No se pudieron guardar los datos de 'a\nb'"));
    QVERIFY(SettingsStore::load(HKEY_LOCAL_MACHINE).findKey(kKey)); // the key was made before

    const QByteArray before = readBytes(file());
    const auto e2 = settingsError([&] {
        m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, QStringLiteral("\\Software\\a\nb"), QStringLiteral("v"), 1, 1);
    });
    QVERIFY(e2);
    QCOMPARE(e2->code(), int(ERROR_BAD_PATHNAME));
    QCOMPARE(readBytes(file()), before);
}

void TestSettings::damagedFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("why");

    const QByteArray good = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Quelmar\\Ostiva\\mail]\n"
                            "\"User1\"=\"juan\"\n\"error\"=dword:00000001\n\n";
    QTest::newRow("not REGEDIT4") << QByteArray("hola\n") << QStringLiteral("no es un archivo REGEDIT4");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("está dañado");
    QTest::newRow("REGEDIT5 header") << QByteArray("Windows Registry Editor Version 5.00\n\n")
                                     << QStringLiteral("no es un archivo REGEDIT4");
    QTest::newRow("cut inside a text") << good.left(good.indexOf("juan") + 2) << QStringLiteral("está dañado");
    QTest::newRow("cut inside a number") << good.left(good.size() - 5) << QStringLiteral("está dañado");
    QTest::newRow("cut after the header") << QByteArray("REGEDIT") << QStringLiteral("está dañado");
    QTest::newRow("invalid UTF-8") << QByteArray("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\a]\n\"x\"=\"\xff\xfe\"\n\n")
                                   << QStringLiteral("UTF-8");
    QTest::newRow("other root") << QByteArray("REGEDIT4\n\n[HKEY_USERS\\a]\n\n") << QStringLiteral("línea 3");
    QTest::newRow("unknown escape") << QByteArray("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\a]\n\"x\"=\"\\n\"\n\n")
                                    << QStringLiteral("línea 4");
    QTest::newRow("value outside a key") << QByteArray("REGEDIT4\n\n\"x\"=\"y\"\n\n") << QStringLiteral("línea 3");
    QTest::newRow("bad hex") << QByteArray("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\a]\n\"x\"=hex:1,zz\n\n")
                             << QStringLiteral("línea 4");
    QTest::newRow("unknown type") << QByteArray("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\a]\n\"x\"=qword:1\n\n")
                                  << QStringLiteral("línea 4");
}

void TestSettings::damagedFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, why);
    writeBytes(file(), content);

    const auto e = settingsError([&] { m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1")); });
    QVERIFY(e);
    QCOMPARE(e->code(), int(ERROR_BADDB));
    QVERIFY2(e->message().contains(why), qPrintable(e->message()));
    QVERIFY2(e->message().contains(file()), qPrintable(e->message()));

    // A write must not replace a file it could not read: its content may still be wanted.
    const auto w = settingsError(
        [&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1"), 1, QStringLiteral("otro")); });
    QVERIFY(w);
    QCOMPARE(w->code(), int(ERROR_BADDB));
    QCOMPARE(readBytes(file()), content);
}

void TestSettings::unreadableFile()
{
    // Tests run as root, which chmod cannot stop: a folder where the file should be cannot be read.
    QVERIFY(QDir().mkdir(file()));
    const auto e = settingsError([&] { m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error")); });
    QVERIFY(e);
    QCOMPARE(e->code(), int(ERROR_REGISTRY_IO_FAILED));
    QVERIFY2(e->message().contains(QStringLiteral("Es un directorio")), qPrintable(e->message()));

    const auto w = settingsError([&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error"), 3, 1); });
    QVERIFY(w);
    QVERIFY(QFileInfo(file()).isDir());
}

void TestSettings::unwritableFolder()
{
    // A folder below a regular file can neither exist nor be made.
    const QString plain = QDir(m_dir->path()).filePath(QStringLiteral("file.txt"));
    writeBytes(plain, "x");
    SettingsStore::setFolder(plain + QStringLiteral("/sub"));

    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1")), QString());
    const auto e = settingsError(
        [&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1"), 1, QStringLiteral("a")); });
    QVERIFY(e);
    QCOMPARE(e->code(), int(ERROR_REGISTRY_IO_FAILED));
    QVERIFY2(e->message().contains(QStringLiteral("No es un directorio")), qPrintable(e->message()));
    QCOMPARE(readBytes(plain), QByteArray("x"));
}

void TestSettings::fileModeIsPrivate()
{
    const auto mode = [&] {
        struct stat st;
        return ::stat(QFile::encodeName(file()).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("password1"), 1, QStringLiteral("fgh"));
    QCOMPARE(mode(), 0600);

    QVERIFY(::chmod(QFile::encodeName(file()).constData(), 0644) == 0);
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("password1"), 1, QStringLiteral("ijk"));
    QCOMPARE(mode(), 0600);
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("password1")), QStringLiteral("ijk"));
    // No temporary file is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("HKEY_LOCAL_MACHINE.reg")});
}

void TestSettings::killedWriterLeavesWholeFile()
{
    // A child writes version after version (a large text and its number, in one save each)
    // and is killed at some moment; the file must then hold one whole version.
    const QString padding(200000, QLatin1Char('x'));
    for (int round = 0; round < 4; ++round) {
        QFile::remove(file());
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            for (int i = 1;; ++i) {
                try {
                    SettingsStore store = SettingsStore::load(HKEY_LOCAL_MACHINE);
                    RegKey& key = store.createKey(kKey);
                    SettingsStore::setValue(key, QStringLiteral("texto"), REG_SZ,
                                            SettingsStore::textData(QString::number(i) + padding + QString::number(i)));
                    SettingsStore::setValue(key, QStringLiteral("numero"), REG_DWORD, QByteArray(4, '\0'));
                    qToLittleEndian<qint32>(i, key.value(u"numero")->data.data());
                    store.save();
                } catch (...) {
                    ::_exit(1);
                }
            }
        }
        auto cleanupChild = qScopeGuard([pid] {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        });
        // Reading while the child writes must never see a partial file either.
        int seen = 0;
        QTRY_VERIFY_WITH_TIMEOUT((seen = QFile::exists(file())
                                             ? m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("numero"))
                                             : 0) >= 3,
                                 20000);
        QThread::msleep(round * 3);
        QVERIFY(::kill(pid, SIGKILL) == 0);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        cleanupChild.dismiss();
        QVERIFY(WIFSIGNALED(status)); // killed while still writing, not ended by an error

        const qint32 n = m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("numero"));
        QVERIFY(n >= seen);
        QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("texto")),
                 QString::number(n) + padding + QString::number(n));
    }
}

void TestSettings::linkedFileIsReplacedThroughTheLink()
{
    // A settings file kept elsewhere behind a link: the save replaces the file the link
    // names, privately, and leaves the link (and nothing else) where it was.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString target = QDir(elsewhere.path()).filePath(QStringLiteral("ajustes.reg"));
    writeBytes(target, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"Viejo\"=\"1\"\n\n");
    QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(file()).constData()), 0);

    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1"), 1, QStringLiteral("ana"));

    QVERIFY(QFileInfo(file()).isSymLink());
    QCOMPARE(QFileInfo(file()).symLinkTarget(), target);
    const QByteArray text = readBytes(target);
    QVERIFY2(text.contains("\"Viejo\"=\"1\"") && text.contains("\"User1\"=\"ana\""), text.constData());
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0600);
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("ajustes.reg")});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("HKEY_LOCAL_MACHINE.reg")});
}

void TestSettings::specialFileIsNeverOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("device behind a link") << "device";
    QTest::newRow("folder") << "folder";
}

void TestSettings::specialFileIsNeverOpened()
{
    // Opening a FIFO for reading would wait for a writer for ever; a device may read
    // without end. Each is refused before it is opened, for reading and for writing.
    QFETCH(QString, kind);
    const QByteArray path = QFile::encodeName(file());
    if (kind == "fifo")
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    else if (kind == "device")
        QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    else
        QVERIFY(QDir().mkdir(file()));

    const auto readError = settingsError([&] { m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, "User1"); });
    QVERIFY(readError);
    QCOMPARE(readError->code(), int(ERROR_REGISTRY_IO_FAILED));
    QVERIFY2(readError->message().contains(kind == "folder" ? "Es un directorio" : "no es un archivo normal"),
             qPrintable(readError->message()));

    const auto writeError = settingsError([&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, "User1", 1, "ana"); });
    QVERIFY(writeError);
    QCOMPARE(writeError->code(), int(ERROR_REGISTRY_IO_FAILED));
    // Whatever stood there is still there, and no temporary file is left.
    struct stat st;
    QCOMPARE(::lstat(path.constData(), &st), 0);
    QVERIFY(kind == "fifo" ? S_ISFIFO(st.st_mode) : kind == "device" ? S_ISLNK(st.st_mode) : S_ISDIR(st.st_mode));
    QCOMPARE(
        QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System).size(), 1);

    // A store saved directly refuses to replace it too.
    SettingsStore store = SettingsStore::fromText(HKEY_LOCAL_MACHINE, "REGEDIT4\n\n", file());
    const auto saveError = settingsError([&] { store.save(); });
    QVERIFY(saveError);
    QCOMPARE(::lstat(path.constData(), &st), 0);
    QVERIFY(!S_ISREG(st.st_mode));
}

void TestSettings::continuedBinaryValue()
{
    // A long binary value over thousands of continued lines, as regedit writes it, reads
    // back whole; its key's many values are found regardless of case.
    QByteArray data;
    for (int i = 0; i < 300000; ++i)
        data += char(i * 7);
    SettingsStore store = SettingsStore::load(HKEY_LOCAL_MACHINE);
    RegKey& key = store.createKey(kKey);
    for (int i = 0; i < 3000; ++i)
        QVERIFY(SettingsStore::setValue(key, QStringLiteral("Valor%1").arg(i), REG_SZ, SettingsStore::textData("x")));
    QVERIFY(SettingsStore::setValue(key, QStringLiteral("Datos"), REG_BINARY, data));
    store.save();
    QVERIFY(readBytes(file()).count('\n') > 10000);

    const SettingsStore back = SettingsStore::load(HKEY_LOCAL_MACHINE);
    const RegKey* k = back.findKey(kKey.toUpper());
    QVERIFY(k);
    QCOMPARE(int(k->values.size()), 3001);
    QCOMPARE(k->value(u"DATOS")->data, data);
    QCOMPARE(k->value(u"valor2999")->name, QStringLiteral("Valor2999"));
    QVERIFY(!k->value(u"Valor3000"));
    QCOMPARE(back.toText(), store.toText());
}

void TestSettings::batchReadsOnceAndWritesOnCommit()
{
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, "User1", 1, "ana");
    const QByteArray before = readBytes(file());
    const int reads = SettingsStore::fileReads();
    const int writes = SettingsStore::fileWrites();
    {
        SettingsBatch batch;
        QCOMPARE(SettingsBatch::current(), &batch);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, "User1"), QStringLiteral("ana"));
        m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, "User1", 1, "luis");
        m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, "\\Software\\Nueva", "n", 3, 7);
        // Later reads of the batch see its own changes; the file does not yet.
        QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, "User1"), QStringLiteral("luis"));
        QCOMPARE(readBytes(file()), before);
        // A value that cannot be written fails as without a batch.
        QCOMPARE(settingsError([&] { m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, "nuevo", 0, "x"); })->code(),
                 int(ERROR_CANTWRITE));
        batch.commit();
        batch.commit(); // nothing is left to write
    }
    QCOMPARE(SettingsBatch::current(), nullptr);
    QCOMPARE(SettingsStore::fileReads() - reads, 1);
    QCOMPARE(SettingsStore::fileWrites() - writes, 1);
    QCOMPARE(m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, "User1"), QStringLiteral("luis"));
    QCOMPARE(m_r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, "Software\\Nueva", "n"), 7);
}

void TestSettings::batchDropsWhatIsNotCommitted()
{
    m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, "User1", 1, "ana");
    const QByteArray before = readBytes(file());
    {
        SettingsBatch batch;
        m_r.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, "User1", 1, "luis");
    }
    QCOMPARE(readBytes(file()), before);
    // Without a batch each routine reads the file itself.
    const int reads = SettingsStore::fileReads();
    m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, "User1");
    m_r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, kKey, "User1");
    QCOMPARE(SettingsStore::fileReads() - reads, 2);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
