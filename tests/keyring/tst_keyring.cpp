// The mail password in the desktop's keyring, on a bus of the test's own
// (tests/support/keyring-session.sh): "keyring" runs with a gnome-keyring-daemon
// unlocked at start, "none" with no Secret Service on the bus at all.

#include "support/Pop3TestServer.h"
#include "support/ProgramFixture.h"

#include "app/Ostiva_Unit.h"
#include "common/Rutines.h"
#include "mail/PasswordScramble.h"
#include "platform/PasswordKeyring.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kKey = QStringLiteral("\\Software\\Quelmar\\Ostiva\\mail");
const QString kInKeyring = QStringLiteral("La contraseña se guarda en el depósito de claves del escritorio.");
const QString kKeyringPassword = QStringLiteral("prueba-llavero"); // keyring-session.sh unlocks with it

bool secretsOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"));
}

// What `secret-tool lookup server Pennaro user password1` prints; null when it finds nothing.
QString secretToolLookup()
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), {"lookup", "server", "Pennaro", "user", "password1"});
    if (!tool.waitForFinished(20000) || tool.exitCode() != 0)
        return QString();
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// The text stored as "password1", or "<none>".
QString storedPassword()
{
    const SettingsStore settings = SettingsStore::load(HKEY_LOCAL_MACHINE);
    const RegKey* key = settings.findKey(kKey);
    const RegValue* value = key ? key->value(QStringLiteral("password1")) : nullptr;
    return value ? SettingsStore::dataText(value->data) : QStringLiteral("<none>");
}

QByteArray settingsFileBytes()
{
    QFile file(SettingsStore::filePath(HKEY_LOCAL_MACHINE));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void storeSettings(const QString& user, const QString& scrambledPassword, const QString& server)
{
    TRutines rutines;
    rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("User1"), 1, user);
    rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("password1"), 1, scrambledPassword);
    rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Tiempo"), 1, QStringLiteral("05"));
    rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("error"), 3, 0);
    rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("abrir"), 3, 0);
    rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("pop3"), 1, server);
    rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Programa"), 1, QString());
}

QString note()
{
    const auto* label = Ostiva_Form->findChild<QLabel*>(QStringLiteral("Label7"));
    return label ? label->text() : QStringLiteral("<no Label7>");
}

// Presses "Guardar" with these settings on the page, the password typed.
void guardar(const QString& user, const QString& password, const QString& server)
{
    Ostiva_Form->EditMail1User()->setText(user);
    Ostiva_Form->EditMail1Pass()->clear();
    QTest::keyClicks(Ostiva_Form->EditMail1Pass(), password);
    Ostiva_Form->EditPOP3()->setText(server);
    Ostiva_Form->BitBtn5Click();
}

// Takes every call and never answers it: a keyring that hangs (a prompt nobody answers).
class SilentService : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        message.setDelayedReply(true);
        return true;
    }
};

#define WAIT_CHECK_DONE() QTRY_VERIFY_WITH_TIMEOUT(!Ostiva_Form->CorreoEnCurso(), 15000)

} // namespace

// --- with a keyring -------------------------------------------------------------------

class KeyringTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(secretsOnBus(), "keyring-session.sh --keyring started no keyring"); }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("ascii") << "s3cret";
        QTest::newRow("spanish") << QString::fromUtf8("contraseña-Ñandú");
        QTest::newRow("quotes and backslash") << QString::fromUtf8("a\"b\\c'd=[e]");
        QTest::newRow("30 two-byte letters") << QString(30, QChar(0x00F1));
        // 30 UTF-16 units: euro, CJK and emoji (surrogate pairs), as the edit counts them.
        QTest::newRow("30 wide characters") << QString::fromUtf8("€日本😀").repeated(6);
        QTest::newRow("empty") << QString();
    }
    // What goes in comes back, through qtkeychain and through secret-tool alike.
    void roundTrip()
    {
        QFETCH(QString, password);
        PasswordKeyring keyring(QStringLiteral("Pennaro"), QStringLiteral("password1"));
        QSignalSpy stored(&keyring, &PasswordKeyring::stored);
        keyring.store(password);
        QTRY_COMPARE_WITH_TIMEOUT(stored.count(), 1, 15000);
        const auto storeResult = stored.first().first().value<PasswordKeyring::Result>();
        QCOMPARE(PasswordKeyring::statusName(storeResult.status), QStringLiteral("Found"));

        QSignalSpy read(&keyring, &PasswordKeyring::readFinished);
        keyring.read();
        QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 15000);
        const auto readResult = read.first().first().value<PasswordKeyring::Result>();
        QCOMPARE(PasswordKeyring::statusName(readResult.status), QStringLiteral("Found"));
        QCOMPARE(readResult.password, password);
        QCOMPARE(secretToolLookup(), password);
    }

    // "Guardar" leaves no form of the password in the settings file; after a restart the
    // first check waits for the keyring's answer and logs in with it.
    void guardarThenRestart()
    {
        Pop3TestServer server({});
        QVERIFY(server.listening());
        ProgramFixture fixture;
        fixture.createProgram();
        guardar(QStringLiteral("ana"), QStringLiteral("s3cret"), server.serverText());
        QTRY_COMPARE_WITH_TIMEOUT(storedPassword(), QString(), 15000);
        QCOMPARE(note(), kInKeyring);
        QCOMPARE(secretToolLookup(), QStringLiteral("s3cret"));
        const QByteArray file = settingsFileBytes();
        QVERIFY(file.contains("ana")); // the file that was read is the settings file
        QVERIFY(!file.contains("s3cret"));
        QVERIFY(!file.contains(PasswordScramble::scramble(QStringLiteral("s3cret")).toUtf8()));

        fixture.destroyProgram();
        fixture.createProgram();
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), QString()); // still being read
        Ostiva_Form->BitBtn4Click();
        QVERIFY(Ostiva_Form->CorreoEnCurso());
        QTRY_VERIFY_WITH_TIMEOUT(server.texts().contains("PASS s3cret"), 15000);
        WAIT_CHECK_DONE();
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), QStringLiteral("s3cret"));
        QCOMPARE(fixture.messages.size(), 0);
    }

    // A settings file of before keeps its other values and loses the scrambled password
    // once the keyring holds it.
    void migratesScrambledPassword()
    {
        const QString old = QString::fromUtf8("viejo-ñ");
        ProgramFixture fixture;
        storeSettings(QStringLiteral("luis"), PasswordScramble::scramble(old), QStringLiteral("pop.example.org"));
        fixture.createProgram();
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), old);
        QTRY_COMPARE_WITH_TIMEOUT(storedPassword(), QString(), 15000);
        QCOMPARE(secretToolLookup(), old);
        QCOMPARE(note(), kInKeyring);
        QVERIFY(!settingsFileBytes().contains("viejo"));

        fixture.destroyProgram();
        fixture.createProgram();
        QTRY_COMPARE_WITH_TIMEOUT(Ostiva_Form->EditMail1Pass()->text(), old, 15000);
        QCOMPARE(Ostiva_Form->EditMail1User()->text(), QStringLiteral("luis"));
        QCOMPARE(Ostiva_Form->EditPOP3()->text(), QStringLiteral("pop.example.org"));
    }

    // A locked keyring whose unlock cannot be granted (no prompter on this bus) is not an
    // empty password: no login, and neither the keyring nor the file is overwritten.
    void lockedKeyring()
    {
        {
            PasswordKeyring keyring(QStringLiteral("Pennaro"), QStringLiteral("password1"));
            QSignalSpy stored(&keyring, &PasswordKeyring::stored);
            keyring.store(QStringLiteral("guardada"));
            QTRY_COMPARE_WITH_TIMEOUT(stored.count(), 1, 15000);
        }
        Pop3TestServer server({});
        QVERIFY(server.listening());
        ProgramFixture fixture;
        storeSettings(QStringLiteral("ana"), QString(), server.serverText());
        lock();

        fixture.createProgram();
        const QString unreadable = QStringLiteral(
            "No se pudo leer la contraseña del depósito de claves: el depósito de claves está bloqueado.");
        QTRY_COMPARE_WITH_TIMEOUT(note(), unreadable, 15000);
        Ostiva_Form->BitBtn4Click();
        WAIT_CHECK_DONE();
        QCOMPARE(fixture.messages.size(), 1);
        QCOMPARE(fixture.messages.first().text, QStringLiteral("Error en la cuenta de correo ana"));
        QCOMPARE(fixture.messages.first().detailedText, unreadable);
        QCOMPARE(server.connections, 0);

        Ostiva_Form->BitBtn5Click(); // the unknown password is left where it is
        QCOMPARE(storedPassword(), QString());

        // A password typed while the keyring is locked stays in the file, and the page says why.
        Ostiva_Form->EditMail1Pass()->clear();
        QTest::keyClicks(Ostiva_Form->EditMail1Pass(), QStringLiteral("nueva"));
        Ostiva_Form->BitBtn5Click();
        QTRY_COMPARE_WITH_TIMEOUT(note(),
                                  QStringLiteral("La contraseña se guarda en el archivo de configuración: "
                                                 "el depósito de claves está bloqueado."),
                                  15000);
        QCOMPARE(storedPassword(), PasswordScramble::scramble(QStringLiteral("nueva")));

        unlock();
        QCOMPARE(secretToolLookup(), QStringLiteral("guardada"));
    }

private:
    static void lock()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
            QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
        call << QVariant::fromValue(
            QList<QDBusObjectPath>{QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/aliases/default"))});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }

    // gnome-keyring's own interface takes the keyring's password without a prompt.
    static void unlock()
    {
        const QString script =
            QStringLiteral("import dbus\n"
                           "bus = dbus.SessionBus()\n"
                           "service = bus.get_object('org.freedesktop.secrets', '/org/freedesktop/secrets')\n"
                           "_, session = service.OpenSession('plain', dbus.String('', variant_level=1),\n"
                           "    dbus_interface='org.freedesktop.Secret.Service')\n"
                           "dbus.Interface(service, 'org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface')"
                           ".UnlockWithMasterPassword(\n"
                           "    '/org/freedesktop/secrets/collection/login',\n"
                           "    (session, dbus.ByteArray(b''), dbus.ByteArray(b'%1'), 'text/plain'))\n")
                .arg(kKeyringPassword);
        QProcess python;
        // Debian's own Python, which has python3-dbus.
        python.start(QStringLiteral("/usr/bin/python3"), {"-c", script});
        QVERIFY(python.waitForFinished(20000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    }
};

// --- without a keyring ------------------------------------------------------------------

class NoKeyringTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!secretsOnBus(), "a keyring answers on a bus meant to have none"); }

    // The password stays scrambled in the settings file, the page says so, and a check
    // after a restart logs in with it at once.
    void passwordStaysInSettingsFile()
    {
        Pop3TestServer server({});
        QVERIFY(server.listening());
        ProgramFixture fixture;
        fixture.createProgram();
        guardar(QStringLiteral("ana"), QStringLiteral("s3cret"), server.serverText());
        QTRY_COMPARE_WITH_TIMEOUT(note(),
                                  QStringLiteral("La contraseña se guarda en el archivo de configuración: "
                                                 "no hay un depósito de claves disponible."),
                                  15000);
        QCOMPARE(storedPassword(), QStringLiteral("x8hwjy"));
        QVERIFY(settingsFileBytes().contains("x8hwjy"));

        fixture.destroyProgram();
        fixture.createProgram();
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), QStringLiteral("s3cret"));
        Ostiva_Form->BitBtn4Click();
        QTRY_VERIFY_WITH_TIMEOUT(server.texts().contains("PASS s3cret"), 15000);
        WAIT_CHECK_DONE();
        QCOMPARE(storedPassword(), QStringLiteral("x8hwjy"));
        QCOMPARE(fixture.messages.size(), 0);
    }

    // A keyring that never answers is a failure once the time is up, for reads and stores.
    void silentKeyringTimesOut()
    {
        QDBusConnection service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "silent");
        SilentService silent;
        QVERIFY(service.registerVirtualObject(QStringLiteral("/"), &silent, QDBusConnection::SubPath));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.secrets")));

        PasswordKeyring keyring(QStringLiteral("Pennaro"), QStringLiteral("password1"));
        keyring.setTimeout(500);
        QSignalSpy read(&keyring, &PasswordKeyring::readFinished);
        QSignalSpy stored(&keyring, &PasswordKeyring::stored);
        keyring.read();
        keyring.store(QStringLiteral("s3cret"));
        QTRY_COMPARE_WITH_TIMEOUT(read.count() + stored.count(), 2, 15000);
        for (const QSignalSpy* spy : {&read, &stored}) {
            const auto result = spy->first().first().value<PasswordKeyring::Result>();
            QCOMPARE(PasswordKeyring::statusName(result.status), QStringLiteral("Failed"));
            QCOMPARE(result.reason, QStringLiteral("el depósito de claves no respondió a tiempo"));
        }
        service.unregisterService(QStringLiteral("org.freedesktop.secrets"));
        QDBusConnection::disconnectFromBus("silent");
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    const QString mode = args.size() > 1 ? args.takeAt(1) : QString();
    if (mode == QLatin1String("keyring")) {
        KeyringTest test;
        return QTest::qExec(&test, args);
    }
    if (mode == QLatin1String("none")) {
        NoKeyringTest test;
        return QTest::qExec(&test, args);
    }
    qCritical("usage: tst_keyring keyring|none [QTest arguments]");
    return 2;
}

#include "tst_keyring.moc"
