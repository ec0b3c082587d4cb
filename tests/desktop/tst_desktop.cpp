// The program's windows on a real X server with a window manager: where the frames land,
// how boxes stack over the window that raised them, what the title bars say and offer,
// the close box while the tray is briefly gone, and a tray that comes after the program.
// Every wait is for a condition.

#include "support/ProgramFixture.h"
#include "support/XWindows.h"

#include "app/Globals.h"
#include "app/Ostiva_Unit.h"
#include "mail/Correo_Unit.h"
#include "platform/TrayIcon.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Reminder_Unit.h"
#include "store/Data_Unit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>

namespace {

constexpr int kWait = 60000; // generous: the machine may be loaded

quint32 xid(QWidget* w)
{
    return quint32(w->winId());
}

bool atBottomRight(QWidget* w)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = xwindows::frame(xid(w));
    return frame.isValid() && frame != w->geometry() && frame.right() == screen.right() &&
           frame.bottom() == screen.bottom() - 30;
}

bool atTopRight(QWidget* w)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = xwindows::frame(xid(w));
    return frame.isValid() && frame != w->geometry() && frame.right() == screen.right() && frame.top() == screen.top();
}

// Presses `button`, which opens a message box; once the box is on screen, `check` runs
// on it until it holds or the wait ends; then the box is answered with `answer`. Gives
// whether the check held.
bool checkBoxOf(QAbstractButton* button, const std::function<bool(QMessageBox*)>& check,
                QMessageBox::StandardButton answer)
{
    bool held = false;
    QDeadlineTimer deadline(kWait);
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box->isVisible() && check(box))
            held = true;
        if (held || deadline.hasExpired()) {
            poll.stop();
            box->button(answer)->click();
        }
    });
    poll.start();
    QTimer::singleShot(0, button, &QAbstractButton::click);
    if (!QTest::qWaitFor([&] { return !poll.isActive(); }, kWait + 5000))
        return false;
    return held;
}

// Whether the tray icon's window sits inside a notification area (reparented away from the root).
bool iconDocked()
{
    const quint32 rootWindow = xwindows::root();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qstrcmp(w->metaObject()->className(), "QSystemTrayIconSys") == 0 && w->isVisible()) {
            const quint32 p = xwindows::parent(xid(w));
            if (p != 0 && p != rootWindow)
                return true;
        }
    }
    return false;
}

bool stackedAbove(QWidget* upper, QWidget* lower)
{
    const QList<quint32> order = xwindows::stacking();
    const int u = order.indexOf(xid(upper));
    const int l = order.indexOf(xid(lower));
    return u >= 0 && l >= 0 && u > l;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (scripts/test.sh starts one)");
        SetApplicationIdentity();
    }

    void windowsLandAtTheirCorners()
    {
        ProgramFixture f;
        f.createProgram();
        // Opened as soon as the program is up, before anything else was shown.
        IconData->deliver(TrayIcon::kLeftDoubleClick);
        QTRY_VERIFY_WITH_TIMEOUT(atBottomRight(Ostiva_Form), kWait);
        // Every later opening lands there again.
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!Ostiva_Form->close());
            QTRY_VERIFY_WITH_TIMEOUT(!Ostiva_Form->isVisible(), kWait);
            Ostiva_Form->move(100, 100);
            Ostiva_Form->mnuShowClick();
            QTRY_VERIFY_WITH_TIMEOUT(atBottomRight(Ostiva_Form), kWait);
        }
        Correo_Form->show();
        QTRY_VERIFY_WITH_TIMEOUT(atTopRight(Correo_Form), kWait);
        Correo_Form->hide();
    }

    void boxesStackAboveTheWindowThatRaisedThem()
    {
        ProgramFixture f;
        f.createProgram();
        seams::setMessageHandler(nullptr); // real boxes

        // The entry form, kept on top, and its validation box.
        DataModuleReminder->AnadirReminder();
        QVERIFY(QTest::qWaitForWindowExposed(AddReminder_Form, kWait));
        auto* aceptar = AddReminder_Form->findChild<QPushButton*>(QStringLiteral("BitBtn1"));
        QVERIFY(checkBoxOf(
            aceptar,
            [](QMessageBox* box) {
                return box->parentWidget() == AddReminder_Form && stackedAbove(box, AddReminder_Form) &&
                       xwindows::title(xid(box)) == QLatin1String("Pennaro 2.0");
            },
            QMessageBox::Ok));
        AddReminder_Form->findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click();

        // The day list's delete question, captioned exactly "Atención".
        addReminder(QStringLiteral("05/03/2027"), QStringLiteral("11:00:00"), QStringLiteral("uno"));
        Ostiva_Form->ToolButton1()->click();
        QVERIFY(QTest::qWaitForWindowExposed(Reminder_Form, kWait));
        auto* borrar = Reminder_Form->findChild<QPushButton*>(QStringLiteral("BitBtn3"));
        QVERIFY(checkBoxOf(
            borrar,
            [](QMessageBox* box) {
                return box->parentWidget() == Reminder_Form && stackedAbove(box, Reminder_Form) &&
                       xwindows::title(xid(box)) == QString::fromUtf8("Atención");
            },
            QMessageBox::No));
        QCOMPARE(DataModuleReminder->TableReminder->recordCount(), 1);
        Reminder_Form->hide();
    }

    void titleBarsReadTheCaptionsAndOfferOnlyClose()
    {
        ProgramFixture f;
        f.createProgram();
        IconData->deliver(TrayIcon::kLeftDoubleClick);
        Ostiva_Form->ToolButton1()->click();
        Correo_Form->show();
        const QList<QPair<QWidget*, QString>> windows = {
            {Ostiva_Form, "Pennaro 2.0"}, {Reminder_Form, "Recordatorios"}, {Correo_Form, "Aviso Correo"}};
        for (const auto& [window, caption] : windows) {
            QVERIFY(QTest::qWaitForWindowExposed(window, kWait));
            QTRY_COMPARE_WITH_TIMEOUT(xwindows::title(xid(window)), caption, kWait);
            QVERIFY(xwindows::windowClass(xid(window)).contains(QStringLiteral("Pennaro")));
        }
        // A fixed border with only a close box. The window manager allows no maximising and
        // no resizing; minimise and maximise boxes are not asked for (Motif hints). openbox
        // keeps its minimise box whatever a window asks, so that box is not checked here.
        for (QWidget* window : {static_cast<QWidget*>(Ostiva_Form), static_cast<QWidget*>(Correo_Form)}) {
            QTRY_VERIFY_WITH_TIMEOUT(xwindows::allowedActions(xid(window)).contains("_NET_WM_ACTION_CLOSE"), kWait);
            const QStringList actions = xwindows::allowedActions(xid(window));
            for (const char* refused :
                 {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"}) {
                QVERIFY2(!actions.contains(QLatin1String(refused)),
                         qPrintable(window->objectName() + ": " + actions.join(' ')));
            }
            const QList<quint32> motif = xwindows::motifHints(xid(window)); // flags, functions, decorations
            QCOMPARE(motif.size(), 5);
            constexpr quint32 kMinimise = 0x8, kMaximise = 0x10, kClose = 0x20;
            constexpr quint32 kMinimiseBox = 0x20, kMaximiseBox = 0x40;
            QCOMPARE(motif[1] & (kMinimise | kMaximise | kClose), kClose);
            QCOMPARE(motif[2] & (kMinimiseBox | kMaximiseBox), 0u);
        }
        Correo_Form->hide();
        Reminder_Form->hide();
    }

    void closingWhileTheTrayIsGoneOnlyHides()
    {
        QProcess tray;
        tray.start(QStringLiteral("trayer"), {});
        QVERIFY(tray.waitForStarted(kWait));
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), kWait);

        ProgramFixture f;
        TrayIcon::setAvailableOverride(-1); // the real notification area
        f.createProgram();
        QVERIFY(Ostiva_Form->TraySeen);
        IconData->deliver(TrayIcon::kLeftDoubleClick);
        QVERIFY(QTest::qWaitForWindowExposed(Ostiva_Form, kWait));

        // The panel goes away (ended by its process id) and the window is closed.
        ::kill(pid_t(tray.processId()), SIGTERM);
        QVERIFY(tray.waitForFinished(kWait));
        QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), kWait);
        QVERIFY(!Ostiva_Form->close());
        QVERIFY(!Ostiva_Form->isVisible());
        QCOMPARE(f.quitRequests, 0);
        QVERIFY(Ostiva_Form->Timer1->isActive());

        // The panel comes back and the icon docks in it again.
        QProcess again;
        again.start(QStringLiteral("trayer"), {});
        QVERIFY(again.waitForStarted(kWait));
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(iconDocked(), kWait);
        ::kill(pid_t(again.processId()), SIGTERM);
        again.waitForFinished(kWait);
    }

    // A panel started after the program (an autostart race): until it comes, the window is
    // the program; once it is there the icon docks at once and closing only hides.
    void aTrayStartedLaterTakesTheIcon()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), kWait);
        ProgramFixture f;
        TrayIcon::setAvailableOverride(-1); // the real desktop
        f.createProgram();
        QVERIFY(!Ostiva_Form->TraySeen);
        QTRY_VERIFY_WITH_TIMEOUT(Ostiva_Form->isVisible(), kWait);
        QVERIFY(QTest::qWaitForWindowExposed(Ostiva_Form, kWait));
        QTest::qWait(2000); // the panel comes a while after the program

        QProcess tray;
        QElapsedTimer docking;
        tray.start(QStringLiteral("trayer"), {});
        QVERIFY(tray.waitForStarted(kWait));
        docking.start();
        QTRY_VERIFY_WITH_TIMEOUT(iconDocked(), kWait);
        qInfo("icon docked %lld ms after the panel started", docking.elapsed());
        QVERIFY(Ostiva_Form->TraySeen);
        QVERIFY(Ostiva_Form->isVisible());

        QVERIFY(!Ostiva_Form->close());
        QVERIFY(!Ostiva_Form->isVisible());
        QCOMPARE(f.quitRequests, 0);
        QVERIFY(IconData->isShown());
        // A double click on the docked icon opens the window again, as with a tray at start.
        IconData->deliver(TrayIcon::kLeftDoubleClick);
        QTRY_VERIFY_WITH_TIMEOUT(atBottomRight(Ostiva_Form), kWait);
        QVERIFY(!IconData->isShown());
        QCOMPARE(tray.state(), QProcess::Running);
        ::kill(pid_t(tray.processId()), SIGTERM);
        tray.waitForFinished(kWait);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
