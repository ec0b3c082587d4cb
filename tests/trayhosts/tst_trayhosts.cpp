// The program with a StatusNotifierItem panel that comes after it, driven as a panel
// drives an item; and the windows, the alert dialog, the new-mail notice and the
// single-copy refusal on whichever display the test runs on (X11, or Wayland through
// on-weston.sh). Runs on its own session bus (private-session.sh).

#include "StatusNotifierPanel.h"

#include "support/Pop3TestServer.h"
#include "support/ProgramFixture.h"

#include "addressbook/Direcciones_Unit.h"
#include "app/Globals.h"
#include "app/Ostiva_Unit.h"
#include "mail/Correo_Unit.h"
#include "platform/TrayHostWatch.h"
#include "platform/TrayIcon.h"
#include "reminders/Mensaje_Uni.h"
#include "store/Data_Unit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kWait = 60000; // generous: the machine may be loaded

// The main window's menu as a panel should show it: captions, and separators as "-".
QStringList captions(const QList<QAction*>& actions)
{
    QStringList list;
    for (QAction* a : actions)
        list.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
}

QStringList captions(const QList<StatusNotifierPanel::Entry>& entries)
{
    QStringList list;
    for (const auto& e : entries)
        list.append(e.separator ? QStringLiteral("-") : e.label);
    return list;
}

int idOf(const QList<StatusNotifierPanel::Entry>& entries, const QString& label)
{
    for (const auto& e : entries)
        if (e.label == label)
            return e.id;
    return -1;
}

// The process has ended (it may have ended while the event loop ran for another wait).
bool ended(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(kWait);
}

} // namespace

class TestTrayHosts : public QObject
{
    Q_OBJECT
    StatusNotifierPanel panel;

private slots:
    void initTestCase()
    {
        SetApplicationIdentity();
        QVERIFY2(panel.startWatcher(), "status-notifier-watcher did not start");
        QVERIFY(!panel.hostRegistered());
    }

    void traySelectionFollowsTheScreen_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("selection");
        QTest::newRow("no screen") << QByteArray(":0") << QByteArray("_NET_SYSTEM_TRAY_S0");
        QTest::newRow("screen 1") << QByteArray(":3.1") << QByteArray("_NET_SYSTEM_TRAY_S1");
        QTest::newRow("host and screen") << QByteArray("box.example:10.2") << QByteArray("_NET_SYSTEM_TRAY_S2");
        QTest::newRow("dotted host") << QByteArray("10.0.0.5:1") << QByteArray("_NET_SYSTEM_TRAY_S0");
        QTest::newRow("unset") << QByteArray() << QByteArray("_NET_SYSTEM_TRAY_S0");
    }
    void traySelectionFollowsTheScreen()
    {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, selection);
        QCOMPARE(TrayHostWatch::traySelectionName(display), selection);
    }

    // A panel whose host registers after the program is up: the item appears, closing the
    // window then only hides it, a primary click opens it and takes the item away, and the
    // exported menu is the icon's menu, item for item, each doing its work.
    void aLateHostGetsTheItem()
    {
        ProgramFixture f;
        TrayIcon::setAvailableOverride(-1); // the real desktop
        f.createProgram();
        QTRY_VERIFY_WITH_TIMEOUT(Ostiva_Form->isVisible(), kWait);
        QVERIFY(!Ostiva_Form->TraySeen);
        QVERIFY(panel.items().isEmpty());
        TrayHostWatch watch;
        QSignalSpy changes(&watch, &TrayHostWatch::changed);
        QVERIFY(!watch.statusNotifierHost());

        QVERIFY2(panel.registerHost(), qPrintable(panel.lastError));
        QTRY_VERIFY_WITH_TIMEOUT(watch.statusNotifierHost(), kWait);
        QCOMPARE(changes.size(), 1);
        QElapsedTimer docking;
        docking.start();
        QTRY_COMPARE_WITH_TIMEOUT(panel.items().size(), 1, kWait);
        qInfo("item registered %lld ms after the host", docking.elapsed());
        QVERIFY(Ostiva_Form->TraySeen);
        QVERIFY(IconData->overDBus());

        QVERIFY(!Ostiva_Form->close());
        QVERIFY(!Ostiva_Form->isVisible());
        QCOMPARE(f.quitRequests, 0);
        const QString item = panel.items().value(0);
        QCOMPARE(panel.items(), QStringList{item});

        const QList<StatusNotifierPanel::Entry> entries = panel.menu(item);
        QVERIFY2(!entries.isEmpty(), qPrintable(panel.lastError));
        QCOMPARE(captions(entries), captions(Ostiva_Form->PopupMenu1->actions()));

        // A primary click opens the window and takes the item away; closing brings it back.
        QVERIFY2(panel.activate(item), qPrintable(panel.lastError));
        QTRY_VERIFY_WITH_TIMEOUT(Ostiva_Form->isVisible(), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(panel.items().isEmpty(), kWait);
        QVERIFY(!Ostiva_Form->close());
        QTRY_COMPARE_WITH_TIMEOUT(panel.items().size(), 1, kWait);

        // Items of the exported menu do what the icon's menu does.
        const QString again = panel.items().value(0);
        QList<StatusNotifierPanel::Entry> menu = panel.menu(again);
        QVERIFY(panel.click(again, idOf(menu, QStringLiteral("Ver direcciones"))));
        QTRY_VERIFY_WITH_TIMEOUT(Direcciones_Form->isVisible(), kWait);
        Direcciones_Form->hide();
        // "&Abrir" and "&Terminar" take the item away: what they do is checked, not the reply.
        panel.click(again, idOf(menu, QStringLiteral("&Abrir")));
        QTRY_VERIFY_WITH_TIMEOUT(Ostiva_Form->isVisible(), kWait);
        QVERIFY(!Ostiva_Form->close());
        QTRY_COMPARE_WITH_TIMEOUT(panel.items().size(), 1, kWait);
        const QString last = panel.items().value(0);
        menu = panel.menu(last);
        QVERIFY(idOf(menu, QStringLiteral("&Terminar")) >= 0);
        panel.click(last, idOf(menu, QStringLiteral("&Terminar")));
        QTRY_COMPARE_WITH_TIMEOUT(f.quitRequests, 1, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(panel.items().isEmpty(), kWait);
    }

    // The windows a user meets reach the screen: the main window, the alert dialog of a
    // due reminder, and the notice of new mail.
    void windowsReachTheScreen()
    {
        Pop3TestServer::Script script;
        script.stat = "+OK 2 640";
        Pop3TestServer server(script);
        QVERIFY(server.listening());
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->Timer1->stop(); // ticked by hand below
        Ostiva_Form->mnuShowClick();
        QVERIFY(QTest::qWaitForWindowExposed(Ostiva_Form, kWait));

        addReminder(QStringLiteral("05/03/2027"), QStringLiteral("10:00:00"), QStringLiteral("Llamar a Marta"));
        bool alertExposed = false;
        QTimer answer;
        answer.setInterval(20);
        connect(&answer, &QTimer::timeout, [&] {
            if (!OKBottomDlg->isVisible())
                return;
            answer.stop();
            alertExposed = QTest::qWaitForWindowExposed(OKBottomDlg, kWait);
            OKBottomDlg->findChild<QAbstractButton*>(QStringLiteral("BitBtn1"))->click();
        });
        answer.start();
        Ostiva_Form->Timer1Timer();
        QVERIFY(alertExposed);

        Ostiva_Form->EditMail1User()->setText(QStringLiteral("ana"));
        Ostiva_Form->EditMail1Pass()->setText(QStringLiteral("clave"));
        Ostiva_Form->EditPOP3()->setText(server.serverText());
        Ostiva_Form->CheckBoxPrograma()->setChecked(false);
        Ostiva_Form->findChild<QPushButton*>(QStringLiteral("BitBtn4"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(Correo_Form->isVisible(), kWait);
        QVERIFY(QTest::qWaitForWindowExposed(Correo_Form, kWait));
        QCOMPARE(Correo_Form->Label1->text(), QStringLiteral("2"));
        Correo_Form->hide();
        Ostiva_Form->hide();
    }

    // The program itself: with a host there at start its item registers; a second copy is
    // refused with the usual box; "&Terminar" from the panel's menu ends the first.
    void theProgramRunsOnceAndEndsFromThePanel()
    {
        if (!panel.hostRegistered())
            QVERIFY(panel.registerHost());
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PENNARO_HOME"), home.path());
        env.insert(QStringLiteral("PENNARO_UNATTENDED"), QStringLiteral("1"));
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QStringLiteral(PENNARO_EXECUTABLE), {});
        QVERIFY(first.waitForStarted(kWait));
        QTRY_COMPARE_WITH_TIMEOUT(panel.items().size(), 1, kWait);
        const QString item = panel.items().value(0);

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(PENNARO_EXECUTABLE), {});
        QVERIFY(ended(second));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(second.readAllStandardError().contains("Atención: Pennaro20 ya está en ejecución."),
                 "the second copy did not show the refusal");
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(panel.items(), QStringList{item});

        const int terminar = idOf(panel.menu(item), QStringLiteral("&Terminar"));
        QVERIFY2(terminar >= 0, qPrintable(panel.lastError));
        panel.click(item, terminar);
        QVERIFY(ended(first));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(panel.items().isEmpty(), kWait);
    }

    // The watch follows a watcher that goes away and comes back, once a host registers again.
    void theWatchFollowsTheWatcher()
    {
        if (!panel.hostRegistered())
            QVERIFY(panel.registerHost());
        TrayHostWatch watch;
        QVERIFY(watch.statusNotifierHost());
        QVERIFY(panel.stopWatcher());
        QTRY_VERIFY_WITH_TIMEOUT(!watch.statusNotifierHost(), kWait);
        QVERIFY(panel.startWatcher());
        QVERIFY(!watch.statusNotifierHost());
        QVERIFY2(panel.registerHost(), qPrintable(panel.lastError));
        QTRY_VERIFY_WITH_TIMEOUT(watch.statusNotifierHost(), kWait);
    }
};

QTEST_MAIN(TestTrayHosts)
#include "tst_trayhosts.moc"
