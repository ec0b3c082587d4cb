// The mail settings on the main window's "e-mail" page: loading at start, "Guardar",
// and the scrambling of the stored password.

#include "support/LargeSettings.h"
#include "support/ProgramFixture.h"

#include "addressbook/Direccion_Unit.h"
#include "app/Ostiva_Unit.h"
#include "common/Rutines.h"
#include "mail/PasswordScramble.h"
#include "platform/SettingsStore.h"
#include "store/Data_Unit.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <optional>
#include <sys/stat.h>

namespace {

const QString kKey = QStringLiteral("\\Software\\Quelmar\\Ostiva\\mail");

// A stored value: its type code for the settings routines (1 text, 3 integer) and content.
struct Stored
{
    int type;
    QVariant value;
};
using StoredValues = QList<QPair<QString, std::optional<Stored>>>;

// A complete, valid set of stored settings, in loading order.
StoredValues completeSettings()
{
    return {
        {"User1", Stored{1, "ana.perez"}},
        {"password1", Stored{1, "hqf{j"}}, // "clave" scrambled
        {"Tiempo", Stored{1, "10"}},
        {"error", Stored{3, 1}},
        {"abrir", Stored{3, 1}},
        {"pop3", Stored{1, "pop.example.org"}},
        {"Programa", Stored{1, "/usr/bin/correo"}},
    };
}

void store(const StoredValues& values)
{
    TRutines rutines;
    for (const auto& [name, stored] : values) {
        if (stored)
            rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, name, stored->type, stored->value);
    }
}

const RegValue* storedValue(const SettingsStore& settings, const QString& name)
{
    const RegKey* key = settings.findKey(kKey);
    return key ? key->value(name) : nullptr;
}

QString storedText(const SettingsStore& settings, const QString& name)
{
    const RegValue* v = storedValue(settings, name);
    return v && v->type == REG_SZ ? SettingsStore::dataText(v->data) : QStringLiteral("<none>");
}

qint64 storedInteger(const SettingsStore& settings, const QString& name)
{
    const RegValue* v = storedValue(settings, name);
    if (!v || v->type != REG_DWORD || v->data.size() != 4)
        return -1000;
    return qFromLittleEndian<qint32>(v->data.constData());
}

QPushButton* guardar()
{
    return Ostiva_Form->findChild<QPushButton*>(QStringLiteral("BitBtn5"));
}

// The text of the settings store's error for a value that cannot be read.
QString cantReadText()
{
    try {
        TRutines().LeeRegistroEntero(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("no-such-value"));
    } catch (const SettingsError& e) {
        return seams::errorBoxText(e.message());
    }
    return QString();
}

} // namespace

class TestMailSettings : public QObject
{
    Q_OBJECT
private slots:
    void scrambling_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("scrambled"); // null: only the round trip is checked
        QTest::newRow("abc") << "abc"
                             << "fgh";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("wraps past 255") << QString::fromUtf8("ÿ") // UTF-8 C3 BF
                                        << QString(QChar(0xC8)) + QChar(0xC4);
        QTest::newRow("tilde and DEL") << QString("~") + QChar(0x7F) << QString(QChar(0x83)) + QChar(0x84);
        QTest::newRow("zero character") << QString(QChar(0)) << QString(QChar(5));
        QTest::newRow("spanish") << QString::fromUtf8("contraseña Ñandú") << QString();
        QTest::newRow("euro and symbols") << QString::fromUtf8("€ 100 % ¿sí?") << QString();
        QTest::newRow("beyond the BMP") << QString::fromUtf8("clave \U0001F511") << QString();
        QTest::newRow("blanks") << "  a b  " << QString();
    }
    void scrambling()
    {
        QFETCH(QString, plain);
        QFETCH(QString, scrambled);

        const QString out = PasswordScramble::scramble(plain);
        if (!scrambled.isNull())
            QCOMPARE(out, scrambled);
        // Byte codes only, and never a zero character: the store would cut the text there.
        for (const QChar c : out) {
            QVERIFY(c.unicode() <= 0xFF);
            QVERIFY(c.unicode() != 0);
        }
        QCOMPARE(PasswordScramble::unscramble(out), plain);
        if (!scrambled.isNull())
            QCOMPARE(PasswordScramble::unscramble(scrambled), plain);
    }

    // A stored text that scrambling cannot have made (edited by hand) still unscrambles to
    // some text, never an error.
    void unscramblingForeignText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("plain");
        QTest::newRow("above U+00FF kept") << QString::fromUtf8("fg中h") << QString::fromUtf8("ab中c");
        QTest::newRow("bytes that are no UTF-8") << QString(QChar(0x01)) << QString(QChar(0xFFFD));
        QTest::newRow("cut sequence") << QString(QChar(0xC8)) + "f" << QString(QChar(0xFFFD)) + "a";
    }
    void unscramblingForeignText()
    {
        QFETCH(QString, stored);
        QFETCH(QString, plain);
        QCOMPARE(PasswordScramble::unscramble(stored), plain);
    }

    void firstStartWithoutSettings()
    {
        ProgramFixture f;
        f.createProgram();
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(Ostiva_Form->EditMail1User()->text(), QString());
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), QString());
        QCOMPARE(Ostiva_Form->EditPOP3()->text(), QString());
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), QString());
        QCOMPARE(Ostiva_Form->EditTiempo()->text(), QString("05"));
        QVERIFY(!Ostiva_Form->CheckBoxError()->isChecked());
        QVERIFY(!Ostiva_Form->CheckBoxPrograma()->isChecked());
        QCOMPARE(IntervaloCorreo, 5);
    }

    void loadsStoredSettings_data()
    {
        QTest::addColumn<QVariant>("tiempo");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("abrir");
        QTest::addColumn<QString>("editTiempo");
        QTest::addColumn<int>("intervalo");
        QTest::addColumn<bool>("errorChecked");
        QTest::addColumn<bool>("abrirChecked");
        QTest::newRow("10, both on") << QVariant("10") << 1 << 1 << "10" << 10 << true << true;
        QTest::newRow("empty interval keeps 05") << QVariant("") << 0 << 1 << "05" << 5 << false << true;
        QTest::newRow("07") << QVariant("07") << 1 << 0 << "07" << 7 << true << false;
        QTest::newRow("2 is not checked") << QVariant("30") << 2 << 2 << "30" << 30 << false << false;
        QTest::newRow("-1 is not checked") << QVariant("01") << -1 << 0 << "01" << 1 << false << false;
    }
    void loadsStoredSettings()
    {
        QFETCH(QVariant, tiempo);
        QFETCH(int, error);
        QFETCH(int, abrir);
        QFETCH(QString, editTiempo);
        QFETCH(int, intervalo);
        QFETCH(bool, errorChecked);
        QFETCH(bool, abrirChecked);

        ProgramFixture f;
        StoredValues values = completeSettings();
        values[2].second = Stored{1, tiempo};
        values[3].second = Stored{3, error};
        values[4].second = Stored{3, abrir};
        store(values);
        f.createProgram();

        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
        QCOMPARE(Ostiva_Form->EditMail1User()->text(), QString("ana.perez"));
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), QString("clave"));
        QCOMPARE(Ostiva_Form->EditTiempo()->text(), editTiempo);
        QCOMPARE(IntervaloCorreo, intervalo);
        QCOMPARE(Ostiva_Form->CheckBoxError()->isChecked(), errorChecked);
        QCOMPARE(Ostiva_Form->CheckBoxPrograma()->isChecked(), abrirChecked);
        QCOMPARE(Ostiva_Form->EditPOP3()->text(), QString("pop.example.org"));
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), QString("/usr/bin/correo"));
    }

    // A value that is missing or of the wrong type stops the loading there, with the
    // error box; the values before it are loaded, those after it keep their initial state.
    void loadingStopsAtBadValue_data()
    {
        QTest::addColumn<int>("bad");           // index of the bad value in loading order
        QTest::addColumn<QVariant>("badValue"); // invalid: the value is missing
        QTest::addColumn<int>("badType");
        QTest::newRow("password1 missing") << 1 << QVariant() << 0;
        QTest::newRow("Tiempo as an integer") << 2 << QVariant(10) << 3;
        QTest::newRow("error as a text") << 3 << QVariant("1") << 1;
        QTest::newRow("abrir missing") << 4 << QVariant() << 0;
        QTest::newRow("pop3 as an integer") << 5 << QVariant(7) << 3;
        QTest::newRow("Programa missing") << 6 << QVariant() << 0;
    }
    void loadingStopsAtBadValue()
    {
        QFETCH(int, bad);
        QFETCH(QVariant, badValue);
        QFETCH(int, badType);

        ProgramFixture f;
        StoredValues values = completeSettings();
        values[bad].second = badValue.isValid() ? std::optional<Stored>(Stored{badType, badValue}) : std::nullopt;
        store(values);
        f.createProgram();

        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).text, cantReadText());
        QCOMPARE(f.messages.at(0).caption, QString("Pennaro 2.0"));
        QCOMPARE(f.messages.at(0).icon, QMessageBox::Critical);

        QCOMPARE(Ostiva_Form->EditMail1User()->text(), QString("ana.perez")); // always before any bad one
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), bad > 1 ? QString("clave") : QString());
        QCOMPARE(Ostiva_Form->EditTiempo()->text(), bad > 2 ? QString("10") : QString("05"));
        QCOMPARE(Ostiva_Form->CheckBoxError()->isChecked(), bad > 3);
        QCOMPARE(Ostiva_Form->CheckBoxPrograma()->isChecked(), bad > 4);
        QCOMPARE(Ostiva_Form->EditPOP3()->text(), bad > 5 ? QString("pop.example.org") : QString());
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), QString());
        // The interval taken before the loading stays, even when "Tiempo" reached the edit.
        QCOMPARE(IntervaloCorreo, 5);
    }

    // "Guardar" writes every setting with its type; a second program lifetime loads them back.
    void roundTripThroughRestart()
    {
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->Timer1->stop();
        const QString password = QString::fromUtf8("Señal ÿ €9");

        QTest::keyClicks(Ostiva_Form->EditMail1User(), "ana.perez@example.org");
        Ostiva_Form->EditMail1Pass()->setText(password);
        QTest::keyClicks(Ostiva_Form->EditPOP3(), "pop.example.org:1110");
        Ostiva_Form->EditPrograma()->setText("/usr/lib/thunderbird/thunderbird-bin --arg");
        Ostiva_Form->EditTiempo()->setText("10");
        Ostiva_Form->CheckBoxError()->setChecked(true);
        Ostiva_Form->CheckBoxPrograma()->setChecked(false);
        ContadorCorreo = 3;

        guardar()->click();
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
        QCOMPARE(IntervaloCorreo, 10);
        QCOMPARE(ContadorCorreo, 3); // "Guardar" leaves the count alone

        const QString file = SettingsStore::filePath(HKEY_LOCAL_MACHINE);
        QVERIFY(file.startsWith(f.home()));
        QCOMPARE(QFile::permissions(file), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        const SettingsStore saved = SettingsStore::load(HKEY_LOCAL_MACHINE);
        QCOMPARE(storedText(saved, "User1"), QString("ana.perez@example.org"));
        // Stored scrambled, by the same scrambling the tests above check on its own.
        QCOMPARE(storedText(saved, "password1"), PasswordScramble::scramble(password));
        QVERIFY(storedText(saved, "password1") != password);
        QCOMPARE(storedText(saved, "Tiempo"), QString("10"));
        QCOMPARE(storedInteger(saved, "error"), 1);
        QCOMPARE(storedInteger(saved, "abrir"), 0);
        QCOMPARE(storedText(saved, "pop3"), QString("pop.example.org:1110"));
        QCOMPARE(storedText(saved, "Programa"), QString("/usr/lib/thunderbird/thunderbird-bin --arg"));

        // Changes without "Guardar" are lost at exit.
        Ostiva_Form->EditPOP3()->setText("otro.example.org");
        f.destroyProgram();
        IntervaloCorreo = 0;
        f.createProgram();

        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
        QCOMPARE(Ostiva_Form->EditMail1User()->text(), QString("ana.perez@example.org"));
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), password);
        QCOMPARE(Ostiva_Form->EditPOP3()->text(), QString("pop.example.org:1110"));
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), QString("/usr/lib/thunderbird/thunderbird-bin --arg"));
        QCOMPARE(Ostiva_Form->EditTiempo()->text(), QString("10"));
        QVERIFY(Ostiva_Form->CheckBoxError()->isChecked());
        QVERIFY(!Ostiva_Form->CheckBoxPrograma()->isChecked());
        QCOMPARE(IntervaloCorreo, 10);
    }

    void emptyPasswordIsAnEmptyText()
    {
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->EditMail1User()->setText("ana");
        guardar()->click();
        QVERIFY(f.messages.isEmpty());
        const SettingsStore saved = SettingsStore::load(HKEY_LOCAL_MACHINE);
        const RegValue* v = storedValue(saved, "password1");
        QVERIFY(v);
        QCOMPARE(v->type, quint32(REG_SZ));
        QCOMPARE(SettingsStore::dataText(v->data), QString());
    }

    // The file holds the password: it is private to the user after every "Guardar", even
    // when someone widened it in between.
    void settingsFileStaysPrivate()
    {
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->EditMail1Pass()->setText("secreto");
        guardar()->click();
        const QString file = SettingsStore::filePath(HKEY_LOCAL_MACHINE);
        QVERIFY(
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        guardar()->click();
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(QFile::permissions(file) & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther |
                                             QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther),
                 QFile::Permissions());
    }

    // An interval that is no number fails after the first six values, with the conversion
    // error: the interval keeps its value and "Programa" keeps the stored one.
    void guardarWithoutIntervalStopsBeforePrograma()
    {
        ProgramFixture f;
        store(completeSettings());
        f.createProgram();
        QCOMPARE(IntervaloCorreo, 10);

        Ostiva_Form->EditMail1User()->setText("luis");
        Ostiva_Form->EditMail1Pass()->setText("nueva");
        Ostiva_Form->EditTiempo()->clear();
        Ostiva_Form->CheckBoxError()->setChecked(false);
        Ostiva_Form->CheckBoxPrograma()->setChecked(false);
        Ostiva_Form->EditPOP3()->setText("pop.otro.org");
        Ostiva_Form->EditPrograma()->setText("/usr/bin/otro");
        guardar()->click();

        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).caption, QString("Pennaro 2.0"));
        bool converts = true;
        try {
            TOstiva_Form::StrToInt(QString());
        } catch (const ConversionError& e) {
            converts = false;
            QCOMPARE(f.messages.at(0).text, seams::errorBoxText(e.message()));
        }
        QVERIFY(!converts);
        QCOMPARE(IntervaloCorreo, 10);

        const SettingsStore saved = SettingsStore::load(HKEY_LOCAL_MACHINE);
        QCOMPARE(storedText(saved, "User1"), QString("luis"));
        QCOMPARE(storedText(saved, "password1"), QString("szj{f")); // "nueva" scrambled
        QCOMPARE(storedText(saved, "Tiempo"), QString());
        QCOMPARE(storedInteger(saved, "error"), 0);
        QCOMPARE(storedInteger(saved, "abrir"), 0);
        QCOMPARE(storedText(saved, "pop3"), QString("pop.otro.org"));
        QCOMPARE(storedText(saved, "Programa"), QString("/usr/bin/correo"));
    }

    // A settings file that cannot be read or written: "Guardar" reports the store's
    // error and changes nothing.
    void guardarReportsAStoreItCannotWrite()
    {
        ProgramFixture f;
        f.createProgram();
        QVERIFY(f.messages.isEmpty());
        // A folder where the settings file should be: no file can be read or put there.
        QVERIFY(QDir().mkpath(SettingsStore::filePath(HKEY_LOCAL_MACHINE)));
        Ostiva_Form->EditMail1User()->setText("ana");
        Ostiva_Form->EditTiempo()->setText("20");
        guardar()->click();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).caption, QString("Pennaro 2.0"));
        QCOMPARE(f.messages.at(0).icon, QMessageBox::Critical);
        QCOMPARE(IntervaloCorreo, 5);
        QVERIFY(QFileInfo(SettingsStore::filePath(HKEY_LOCAL_MACHINE)).isDir());
    }

    // A 10 MiB settings file is read once at start and once per "Guardar", and written
    // once per "Guardar", keeping everything else it holds.
    void largeFileIsReadOncePerOperation()
    {
        ProgramFixture f;
        const QByteArray text = LargeSettings::text(
            10 * 1024 * 1024,
            {"\"User1\"=\"ana.perez\"", "\"password1\"=\"hqf{j\"", "\"Tiempo\"=\"10\"", "\"error\"=dword:00000001",
             "\"abrir\"=dword:00000000", "\"pop3\"=\"pop.example.org\"", "\"Programa\"=\"/usr/bin/correo\""});
        QVERIFY(text.size() >= 10 * 1024 * 1024);
        {
            QFile file(SettingsStore::filePath(HKEY_LOCAL_MACHINE));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(text), text.size());
        }

        const int readsBefore = SettingsStore::fileReads();
        f.createProgram();
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
        QCOMPARE(SettingsStore::fileReads() - readsBefore, 1);
        QCOMPARE(Ostiva_Form->EditMail1User()->text(), QString("ana.perez"));
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), QString("clave"));
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), QString("/usr/bin/correo"));
        QVERIFY(Ostiva_Form->CheckBoxError()->isChecked());
        QCOMPARE(IntervaloCorreo, 10);

        const int reads = SettingsStore::fileReads();
        const int writes = SettingsStore::fileWrites();
        Ostiva_Form->EditMail1User()->setText("luis");
        guardar()->click();
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
        QCOMPARE(SettingsStore::fileReads() - reads, 1);
        QCOMPARE(SettingsStore::fileWrites() - writes, 1);

        const SettingsStore saved = SettingsStore::load(HKEY_LOCAL_MACHINE);
        QCOMPARE(storedText(saved, "User1"), QString("luis"));
        QCOMPARE(storedText(saved, "Programa"), QString("/usr/bin/correo"));
        QCOMPARE(storedText(saved, "relleno19999"), QString(200, 'f'));
        const RegKey* mail = saved.findKey(kKey);
        QVERIFY(mail);
        QCOMPARE(int(mail->values.size()), LargeSettings::kFillerValues + 7);
        const RegKey* other = saved.findKey("\\Software\\Relleno");
        QVERIFY(other);
        QCOMPARE(int(other->subkeys.size()), LargeSettings::kSiblingKeys + 1);
        const RegKey* big = saved.findKey("Software\\Relleno\\GRANDE");
        QVERIFY(big && big->value(u"BLOB"));
        QVERIFY(big->value(u"blob")->data.size() > 1024 * 1024);
        QCOMPARE(quint8(big->value(u"blob")->data.at(257)), quint8(1));
    }

    // A FIFO where the settings file should be would wait for a writer for ever: it is
    // refused with the settings error and the start goes on; "Guardar" leaves it alone.
    void fifoAsSettingsFile()
    {
        ProgramFixture f;
        const QString path = SettingsStore::filePath(HKEY_LOCAL_MACHINE);
        QVERIFY(QDir().mkpath(f.home()));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        f.createProgram();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).icon, QMessageBox::Critical);
        QVERIFY2(f.messages.at(0).text.contains("no es un archivo normal"), qPrintable(f.messages.at(0).text));
        // Start-up went on past the settings: every object exists, the page has its defaults.
        QVERIFY(DataModuleReminder && Direccion_Form);
        QCOMPARE(Ostiva_Form->EditTiempo()->text(), QString("05"));

        Ostiva_Form->EditMail1User()->setText("ana");
        guardar()->click();
        QCOMPARE(f.messages.size(), 2);
        QVERIFY(f.messages.at(1).text.contains("no es un archivo normal"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }
};

QTEST_MAIN(TestMailSettings)
#include "tst_mailsettings.moc"
