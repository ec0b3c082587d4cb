// Notifications and logind's wake-up through the real D-Bus calls, against python3-dbusmock
// services on the test's own buses: what the program sends (read back from the mock's call
// log) and what it does when the user picks an action (the mock emits ActionInvoked).

#include "reminders/ReminderHelpers.h"
#include "support/LogCapture.h"
#include "support/Pop3TestServer.h"

#include "app/Ostiva_Unit.h"
#include "app/ReminderCatchUp.h"
#include "core/Clock.h"
#include "mail/Correo_Unit.h"
#include "platform/SleepWatcher.h"

#include <QApplication>
#include <QLineEdit>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>

namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

struct Call
{
    QString method;
    QVariantList args;
};

QDBusMessage mockCall(const QString& service, const QString& path, const QString& method)
{
    return QDBusMessage::createMethodCall(service, path, kMock, method);
}

// The calls the notification mock received, in order.
QList<Call> notificationCalls(const QString& method)
{
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(mockCall(kNotifications, kNotificationsPath, QStringLiteral("GetCalls")));
    QList<Call> calls;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return calls;
    const QDBusArgument log = reply.arguments().at(0).value<QDBusArgument>();
    log.beginArray();
    while (!log.atEnd()) {
        Call call;
        quint64 when = 0;
        log.beginStructure();
        log >> when >> call.method >> call.args;
        log.endStructure();
        if (call.method == method)
            calls.append(call);
    }
    log.endArray();
    return calls;
}

void emitSignal(const QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                const QString& name, const QString& signature, const QVariantList& args)
{
    QDBusMessage message = mockCall(service, path, QStringLiteral("EmitSignal"));
    message << interface << name << signature << QVariant(args);
    const QDBusMessage reply = QDBusConnection(bus).call(message);
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
}

void notificationSignal(const QString& name, uint id, const QString& text)
{
    emitSignal(QDBusConnection::sessionBus(), kNotifications, kNotificationsPath, kNotifications, name, "us",
               {QVariant(id), QVariant(text)});
}

QProcess* startMock(const QStringList& arguments)
{
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral("/usr/bin/python3"), QStringList{"-m", "dbusmock"} + arguments);
    return process;
}

void stop(QProcess*& process)
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished(5000);
    delete process;
    process = nullptr;
}

QDateTime at(int day, int h, int m)
{
    return QDateTime(QDate(2027, 3, day), QTime(h, m));
}

} // namespace

class TestDesktopServices : public QObject
{
    Q_OBJECT

    QProcess* m_systemBus = nullptr;
    QProcess* m_notifications = nullptr;
    QProcess* m_logind = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"), "run through private-session.sh");
        // A bus of our own in the system bus's place, before anything of Qt connects to it.
        m_systemBus = new QProcess;
        m_systemBus->start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_systemBus->waitForReadyRead(10000));
        const QByteArray address = m_systemBus->readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);

        m_notifications = startMock({"--session", "--template", "notification_daemon"});
        m_logind = startMock({"--system", "--template", "logind"});
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(kNotifications), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::systemBus().interface()->isServiceRegistered(kLogin), 15000);
    }
    void cleanupTestCase()
    {
        stop(m_notifications);
        stop(m_logind);
        stop(m_systemBus);
    }
    void init()
    {
        if (m_notifications)
            QDBusConnection::sessionBus().call(mockCall(kNotifications, kNotificationsPath, "ClearCalls"));
    }

    // The alert's notification while it is open: its texts, a click that brings the dialog
    // to the front with the service's activation token, and its withdrawal on the answer.
    void alertNotification()
    {
        ProgramFixture f(at(5, 10, 31));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(), {row("05/03/2027", "10:30:00", "Ana <y> Luis & co")});
        QList<Call> sent;
        QByteArray tokenAfterClick;
        bool frontAfterClick = false;
        alerts.steps.append([&](TOKBottomDlg* dialog) {
            QVERIFY(QTest::qWaitFor([] { return !notificationCalls("Notify").isEmpty(); }, 10000));
            sent = notificationCalls("Notify");
            QVERIFY(notificationCalls("CloseNotification").isEmpty());
            const uint id = 1; // the mock's first number
            qunsetenv("XDG_ACTIVATION_TOKEN");
            notificationSignal("ActivationToken", id, QStringLiteral("token-7"));
            notificationSignal("ActionInvoked", id, QStringLiteral("default"));
            // Checked below through the token's value.
            static_cast<void>(QTest::qWaitFor([] { return qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"); }, 10000));
            tokenAfterClick = qgetenv("XDG_ACTIVATION_TOKEN");
            frontAfterClick = dialog->isVisible() && QApplication::activeWindow() == dialog;
            AlertDriver::button("BitBtn1")->click();
        });
        f.createProgram();
        Ostiva_Form->Timer1Timer();

        QCOMPARE(alerts.textsSeen(), QStringList{"Ana <y> Luis & co"});
        QCOMPARE(sent.size(), 1);
        const QVariantList& notify = sent.at(0).args;
        QCOMPARE(notify.at(0).toString(), QStringLiteral("Pennaro"));
        QCOMPARE(notify.at(1).toUInt(), 0u);
        QCOMPARE(notify.at(2).toString(), QStringLiteral("pennaro"));
        QCOMPARE(notify.at(3).toString(), QStringLiteral("Recordatorio"));
        QCOMPARE(notify.at(4).toString(), QStringLiteral("10:30:00\nAna &lt;y&gt; Luis &amp; co")); // body-markup
        QCOMPARE(notify.at(5).toStringList(), (QStringList{"default", "Mostrar"}));
        QCOMPARE(notify.at(7).toInt(), 0); // stays until withdrawn
        QCOMPARE(tokenAfterClick, QByteArray("token-7"));
        QVERIFY(frontAfterClick);

        QTRY_COMPARE_WITH_TIMEOUT(notificationCalls("CloseNotification").size(), 1, 10000);
        QCOMPARE(notificationCalls("CloseNotification").at(0).args.at(0).toUInt(), 1u);
    }

    // One mail notification at a time, and its two actions.
    void mailNotification()
    {
        Pop3TestServer::Script script;
        script.stat = "+OK 2 300";
        Pop3TestServer server(script);
        QVERIFY(server.listening());
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->Timer1->stop();
        Ostiva_Form->EditPrograma()->setText(QStringLiteral("/usr/bin/correo"));
        const auto check = [&] {
            Ostiva_Form->Cartero(QStringLiteral("ana.perez"), QStringLiteral("secreto"), server.serverText());
            QTRY_VERIFY_WITH_TIMEOUT(!Ostiva_Form->CorreoEnCurso(), 15000);
        };

        check();
        QTRY_COMPARE_WITH_TIMEOUT(notificationCalls("Notify").size(), 1, 10000);
        const QVariantList first = notificationCalls("Notify").at(0).args;
        QCOMPARE(first.at(3).toString(), QStringLiteral("Correo nuevo"));
        QCOMPARE(first.at(4).toString(), QStringLiteral("2 e-mails nuevos para ana.perez"));
        QCOMPARE(first.at(5).toStringList(), (QStringList{"default", "Mostrar", "correo", "Correo"}));
        QCOMPARE(first.at(1).toUInt(), 0u);

        check();
        QTRY_COMPARE_WITH_TIMEOUT(notificationCalls("Notify").size(), 2, 10000);
        const uint id = notificationCalls("Notify").at(1).args.at(1).toUInt();
        QVERIFY(id != 0); // replaces the first, whose number the service gave

        Correo_Form->hide();
        notificationSignal("ActionInvoked", id, QStringLiteral("default"));
        QTRY_VERIFY_WITH_TIMEOUT(Correo_Form->isVisible(), 10000);

        ContadorCorreo = 5;
        notificationSignal("ActionInvoked", id, QStringLiteral("correo"));
        QTRY_COMPARE_WITH_TIMEOUT(f.startedPrograms.size(), 1, 10000);
        QCOMPARE(f.startedPrograms.at(0).first, QStringLiteral("/usr/bin/correo"));
        QVERIFY(!Correo_Form->isVisible());
        QCOMPARE(ContadorCorreo, 0);
        QVERIFY(f.messages.isEmpty());
    }

    // logind's PrepareForSleep(false) alerts the reminder whose day passed during the
    // suspend at once, without waiting for the tick; PrepareForSleep(true) does nothing.
    void wakeUpFromLogind()
    {
        ProgramFixture f(at(5, 23, 50));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(), {row("05/03/2027", "23:55:00", "Tonight")});
        f.createProgram();
        QVERIFY(ReminderCatchUp::of(Ostiva_Form)->sleepWatcher()->listening());
        const auto prepare = [](bool sleeping) {
            emitSignal(QDBusConnection::systemBus(), kLogin, kLoginPath,
                       QStringLiteral("org.freedesktop.login1.Manager"), "PrepareForSleep", "b", {QVariant(sleeping)});
        };
        prepare(true);
        Clock::setWallClock(at(6, 7, 0));
        prepare(false);
        QTRY_COMPARE_WITH_TIMEOUT(alerts.textsSeen(), QStringList{"Tonight"}, 10000);
    }

    // Without the service the alert works as before: no box, one line in the log for the run.
    void withoutAService()
    {
        stop(m_notifications);
        QTRY_VERIFY_WITH_TIMEOUT(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kNotifications),
                                 10000);
        LogCapture log;
        ProgramFixture f(at(5, 12, 0));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(),
                      {row("05/03/2027", "10:30:00", "Primero"), row("05/03/2027", "11:30:00", "Segundo")});
        f.createProgram();
        Ostiva_Form->Timer1Timer();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Primero", "Segundo"}));
        QTRY_COMPARE_WITH_TIMEOUT(log.texts("pennaro.desktop", QtInfoMsg).size(), 1, 10000);
        QVERIFY(f.messages.isEmpty());
        Ostiva_Form->Timer1Timer();
        QCOMPARE(log.texts("pennaro.desktop", QtInfoMsg).size(), 1);
    }
};

QTEST_MAIN(TestDesktopServices)
#include "tst_desktopservices.moc"
