// Reminders end to end through the real windows with a fixed clock: the minute tick's
// scan and mail count, the alert dialog's three actions, the entry form and the day list.

#include "ReminderHelpers.h"

#include "app/Ostiva_Unit.h"
#include "core/Clock.h"
#include "mail/Correo_Unit.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Reminder_Unit.h"
#include "store/controls/DBGrid.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

namespace {

const QString kHoy = QStringLiteral("05/03/2027"); // the fixture's default today

QDateTime at(int h, int m, int s)
{
    return QDateTime(QDate(2027, 3, 5), QTime(h, m, s));
}

ReminderRow due(const QString& hora, const QString& texto)
{
    return row(kHoy, hora, texto);
}

void tick()
{
    Ostiva_Form->Timer1Timer();
}

// One tick delivered by the timer itself, through the connection the program made.
void tickThroughTimer()
{
    QTimer* timer = Ostiva_Form->Timer1;
    int fired = 0;
    const auto connection = QObject::connect(timer, &QTimer::timeout, [&] {
        ++fired;
        timer->setInterval(60000);
    });
    timer->start(1);
    QTRY_VERIFY(fired > 0);
    QObject::disconnect(connection);
}

template <typename T> T* child(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    Q_ASSERT_X(widget, "child", name);
    return widget;
}

// Replaces the whole text of an edit the way a user does: select all, delete, type.
void typeInto(QWidget* edit, const QString& text)
{
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    if (!text.isEmpty())
        QTest::keyClicks(edit, text);
}

QLineEdit* hourEdit()
{
    return child<QComboBox>(AddReminder_Form, "DBComboBox1")->lineEdit();
}

QPlainTextEdit* entryText()
{
    return child<QPlainTextEdit>(AddReminder_Form, "DBMemo1");
}

QAbstractButton* entryButton(const char* name)
{
    return child<QAbstractButton>(AddReminder_Form, name);
}

QAbstractButton* dayListButton(const char* name)
{
    return child<QAbstractButton>(Reminder_Form, name);
}

DBGrid* dayGrid()
{
    return child<DBGrid>(Reminder_Form, "DBGrid1");
}

// Chooses a day in a picker's drop-down calendar with the keyboard, as a user does.
void pickInPopup(QDateEdit* picker, const QDate& date)
{
    QCalendarWidget* popup = picker->calendarWidget();
    popup->setSelectedDate(date);
    QWidget* days = popup->findChild<QWidget*>(QStringLiteral("qt_calendar_calendarview"));
    QTest::keyClick(days, Qt::Key_Return);
}

void openNewReminder()
{
    child<QToolButton>(Ostiva_Form, "ToolButton2")->click();
}

QString gridCell(int row, const QString& title)
{
    QAbstractItemModel* model = dayGrid()->model();
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == title)
            return model->index(row, c).data().toString();
    return QStringLiteral("<no column %1>").arg(title);
}

} // namespace

class TestReminderFlows : public QObject
{
    Q_OBJECT
private slots:
    // --- the tick's scan ----------------------------------------------------------

    void dueAtTheFirstTickAfterItsSecond()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        const qint64 id = seedReminders(f.dataFolder(), {due("10:30:00", "Llamar a Ana")}).first();
        f.createProgram();
        QVERIFY(alerts.seen.isEmpty()); // today's reminders are the timer's

        Clock::setNow(at(10, 30, 0));
        tick();
        QVERIFY(alerts.seen.isEmpty()); // equal is not due

        Clock::setNow(at(10, 30, 1));
        tick();
        QCOMPARE(alerts.textsSeen(), QStringList{"Llamar a Ana"});
        QCOMPARE(alerts.seen[0].fecha, kHoy);
        QCOMPARE(alerts.seen[0].hora, QStringLiteral("10:30:00"));
        QVERIFY(!Ostiva_Form->isVisible()); // alerts come while the window is in the tray
        QCOMPARE(reminderOnDisk(f.dataFolder(), id).leido, QVariant(true));
        QVERIFY(Ostiva_Form->Timer1->isActive());

        tick();
        QCOMPARE(alerts.seen.size(), 1);
    }

    void readAndOtherDaysAreNeverRaised()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        ReminderRow read = due("09:00:00", "Leido");
        read.leido = true;
        ReminderRow blankRead = due("09:30:00", "Sin marca");
        blankRead.leido = QVariant();
        seedReminders(f.dataFolder(), {read, blankRead, row("06/03/2027", "09:00:00", "Mañana"),
                                       row("05/04/2027", "09:00:00", "Abril"), due("11:00:00", "Luego")});
        f.createProgram();
        const QList<ReminderRow> before = remindersOnDisk(f.dataFolder());

        tick();
        Clock::setNow(at(10, 59, 59));
        tick();
        QVERIFY(alerts.seen.isEmpty());
        QCOMPARE(remindersOnDisk(f.dataFolder()), before);
    }

    void twoDueRemindersSameTickOrNext_data()
    {
        QTest::addColumn<QString>("otherFecha");
        QTest::addColumn<int>("alertsAtFirstTick");
        // "01/04/2027" sorts before today's text, so after an alert the list's first row is
        // not today's and the scan ends; "20/03/2027" sorts after it.
        QTest::newRow("an earlier date text") << QStringLiteral("01/04/2027") << 1;
        QTest::newRow("no earlier date text") << QStringLiteral("20/03/2027") << 2;
    }
    void twoDueRemindersSameTickOrNext()
    {
        QFETCH(QString, otherFecha);
        QFETCH(int, alertsAtFirstTick);
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(), {row(otherFecha, "08:00:00", "Otro día"), due("09:30:00", "Segundo"),
                                       due("09:00:00", "Primero")});
        f.createProgram();

        tick();
        QCOMPARE(alerts.seen.size(), alertsAtFirstTick);
        QCOMPARE(alerts.seen[0].texto, QStringLiteral("Primero"));
        QVERIFY(Ostiva_Form->Timer1->isActive());
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Primero", "Segundo"}));
    }

    void soundPlaysBeforeTheDialogOnlyWithPlaySound_data()
    {
        QTest::addColumn<QVariant>("playSound");
        QTest::addColumn<QStringList>("sounds");
        QTest::newRow("on") << QVariant(true) << QStringList{"NOTIFY.WAV"};
        QTest::newRow("off") << QVariant(false) << QStringList();
        QTest::newRow("blank") << QVariant() << QStringList();
    }
    void soundPlaysBeforeTheDialogOnlyWithPlaySound()
    {
        QFETCH(QVariant, playSound);
        QFETCH(QStringList, sounds);
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        ReminderRow r = due("09:00:00", "Sonar");
        r.playSound = playSound;
        seedReminders(f.dataFolder(), {r});
        f.createProgram();

        tick();
        QCOMPARE(alerts.seen.size(), 1);
        QCOMPARE(alerts.seen[0].soundsBefore, int(sounds.size()));
        QCOMPARE(f.sounds, sounds);
    }

    void startupAlertsPastUnreadRemindersInOrder()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        ReminderRow dos = row("02/03/2027", "07:00:00", "Dos");
        dos.playSound = true;
        ReminderRow repite = row("02/03/2027", "07:30:00", "Repite");
        repite.repetirN = QStringLiteral("2");
        ReminderRow read = row("04/03/2027", "08:00:00", "Ya leido");
        read.leido = true;
        ReminderRow blank = row("04/03/2027", "08:00:00", "Sin marca");
        blank.leido = QVariant();
        const QList<qint64> ids = seedReminders(
            f.dataFolder(), {row("03/01/2027", "08:00:00", "Enero"), dos, repite, row("01/03/2027", "09:00:00", "Uno"),
                             row("01/03/2027", "08:00:00", "Uno temprano"), read, blank, due("09:00:00", "Hoy")});
        f.createProgram();

        QCOMPARE(alerts.textsSeen(), (QStringList{"Uno temprano", "Uno", "Dos", "Repite", "Enero"}));
        QCOMPARE(alerts.seen[2].soundsBefore, 1);
        QCOMPARE(f.sounds.size(), 1);
        QVERIFY(!alerts.seen[3].listEnabled); // a repeat count of 2
        QVERIFY(alerts.seen[3].repeatLineVisible);
        QVERIFY(alerts.seen[4].listEnabled);
        // "&Leido" keeps a repeating reminder's date.
        QCOMPARE(reminderOnDisk(f.dataFolder(), ids[2]).fecha, QVariant("02/03/2027"));
        QCOMPARE(reminderOnDisk(f.dataFolder(), ids[2]).leido, QVariant(true));
    }

    // A tick while the start-up alert is open raises nothing more and goes on to the mail count.
    void tickDuringTheStartupAlert()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        int counted = -1;
        int seenDuringTick = -1;
        alerts.steps.append([&](TOKBottomDlg* dialog) {
            IntervaloCorreo = 100;
            const int before = ContadorCorreo;
            tick();
            counted = ContadorCorreo - before;
            seenDuringTick = int(alerts.seen.size());
            QVERIFY(dialog->isVisible());
            AlertDriver::button("BitBtn1")->click();
        });
        seedReminders(f.dataFolder(), {row("04/03/2027", "09:00:00", "Ayer"), due("09:00:00", "Hoy")});
        f.createProgram();

        QCOMPARE(alerts.textsSeen(), QStringList{"Ayer"});
        QCOMPARE(seenDuringTick, 1);
        QCOMPARE(counted, 1);
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Ayer", "Hoy"}));
    }

    void unreadableHourEndsTheTickWithTheErrorBox()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(), {due("2x:00", "Mala hora"), row("06/03/2027", "09:00:00", "Mañana")});
        f.createProgram();
        const QList<ReminderRow> before = remindersOnDisk(f.dataFolder());
        IntervaloCorreo = 100;
        ContadorCorreo = 3;

        tickThroughTimer();
        QCOMPARE(f.messages.size(), 1);
        QVERIFY2(f.messages[0].text.contains(QStringLiteral("no es una hora válida")), qPrintable(f.messages[0].text));
        QCOMPARE(f.messages[0].caption, QStringLiteral("Pennaro 2.0"));
        QCOMPARE(f.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(ContadorCorreo, 3); // the rest of the tick, the mail count too, was not done
        QVERIFY(Ostiva_Form->Timer1->isActive());
        QVERIFY(alerts.seen.isEmpty());
        QCOMPARE(remindersOnDisk(f.dataFolder()), before);

        tickThroughTimer(); // and it comes back at the next tick
        QCOMPARE(f.messages.size(), 2);
    }

    // --- the mail count -------------------------------------------------------------

    void mailChecksAtTheirTicks_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<QList<int>>("counterAfterEachTick");
        // A check sets the counter to 1 (its first act) right after the tick reset it to 0.
        QTest::newRow("every 5 minutes") << 5 << QList<int>{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1};
        QTest::newRow("interval 1") << 1 << QList<int>{1, 1, 1, 1};
        QTest::newRow("interval 0") << 0 << QList<int>{1, 1, 1, 1};
    }
    void mailChecksAtTheirTicks()
    {
        QFETCH(int, interval);
        QFETCH(QList<int>, counterAfterEachTick);
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->EditMail1User()->clear(); // a check without a user ends after its first act
        IntervaloCorreo = interval;
        ContadorCorreo = 0;
        QList<int> counts;
        for (int i = 0; i < counterAfterEachTick.size(); ++i) {
            tick();
            counts.append(ContadorCorreo);
        }
        QCOMPARE(counts, counterAfterEachTick);
    }

    void noMailCheckWhileTheNoticeShows()
    {
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->EditMail1User()->clear();
        IntervaloCorreo = 2;
        ContadorCorreo = 1;
        Correo_Form->show();
        tick();
        QCOMPARE(ContadorCorreo, 0); // due, skipped, counting starts again
        Correo_Form->hide();
        tick();
        tick();
        QCOMPARE(ContadorCorreo, 1);
    }

    void storeSwitchedOffRaisesNothingButMailGoesOn()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(), {due("09:00:00", "Pendiente")});
        f.createProgram();
        Ostiva_Form->EditMail1User()->clear();
        child<QToolButton>(Ostiva_Form, "ToolButton5")->click();
        QVERIFY(!Ostiva_Form->ToolButton1()->isEnabled());
        IntervaloCorreo = 2;
        ContadorCorreo = 0;

        tick();
        tick();
        QVERIFY(alerts.seen.isEmpty());
        QCOMPARE(ContadorCorreo, 1);

        child<QToolButton>(Ostiva_Form, "ToolButton5")->click();
        tick();
        QCOMPARE(alerts.textsSeen(), QStringList{"Pendiente"});
    }

    void terminatingSwitchesTheTimerOff()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        seedReminders(f.dataFolder(), {due("09:00:00", "Pendiente")});
        f.createProgram();
        ContadorCorreo = 0;
        Ostiva_Form->mnuExitClick();
        QCOMPARE(f.quitRequests, 1);
        tick();
        QVERIFY(!Ostiva_Form->Timer1->isActive());
        QVERIFY(alerts.seen.isEmpty());
        QCOMPARE(ContadorCorreo, 0);
    }

    // --- the alert dialog -----------------------------------------------------------

    void alertDialogLook()
    {
        ProgramFixture f;
        f.createProgram();
        QCOMPARE(OKBottomDlg->windowTitle(), QStringLiteral("Recordatorio"));
        QVERIFY(!(OKBottomDlg->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(OKBottomDlg->windowFlags() & Qt::WindowSystemMenuHint));
        QStringList items;
        for (int i = 0; i < OKBottomDlg->ComboBox1->count(); ++i)
            items.append(OKBottomDlg->ComboBox1->itemText(i));
        QCOMPARE(items, AlertDates::postponeChoices());
        QCOMPARE(OKBottomDlg->ComboBox1->currentIndex(), 0);
        QVERIFY(!OKBottomDlg->ComboBox1->isEditable());
        QCOMPARE(AlertDriver::button("OKBtn")->text(), QStringLiteral("&Eliminar"));
        QCOMPARE(AlertDriver::button("CancelBtn")->text(), QStringLiteral("&Repetir"));
        QCOMPARE(AlertDriver::button("BitBtn1")->text(), QStringLiteral("&Leido"));
    }

    void eliminarDeletesWithoutAQuestion_data()
    {
        QTest::addColumn<bool>("byEnterKey");
        QTest::newRow("button") << false;
        QTest::newRow("default button") << true;
    }
    void eliminarDeletesWithoutAQuestion()
    {
        QFETCH(bool, byEnterKey);
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        if (byEnterKey)
            alerts.steps.append([](TOKBottomDlg* dialog) {
                QTest::keyClick(dialog->findChild<QPlainTextEdit*>(QStringLiteral("DBMemo1")), Qt::Key_Return);
            });
        else
            alerts.steps.append(AlertDriver::click("OKBtn"));
        const QList<qint64> ids =
            seedReminders(f.dataFolder(), {due("09:00:00", "Borrar"), row("06/03/2027", "09:00:00", "Queda")});
        f.createProgram();

        tick();
        QCOMPARE(alerts.seen.size(), 1);
        QVERIFY(f.messages.isEmpty());
        const QList<ReminderRow> left = remindersOnDisk(f.dataFolder());
        QCOMPARE(left.size(), 1);
        QCOMPARE(left[0].id, ids[1]);
        QVERIFY(OKBottomDlg->ComboBox1->isEnabled());
    }

    // "&Repetir" on a reminder that does not repeat postpones it from now; the list keeps
    // the choice for the next alert.
    void repetirPostponesFromNow()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        alerts.steps.append(AlertDriver::postponeBy(2)); // "15 minutos"
        const QList<qint64> ids =
            seedReminders(f.dataFolder(), {due("09:00:00", "Aplazar"), due("09:10:00", "Siguiente")});
        f.createProgram();

        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Aplazar", "Siguiente"}));
        QCOMPARE(alerts.seen[1].listIndex, 2);
        const ReminderRow moved = reminderOnDisk(f.dataFolder(), ids[0]);
        QCOMPARE(moved.fecha, QVariant(kHoy));
        QCOMPARE(moved.hora, QVariant("10:22:00"));
        QCOMPARE(moved.leido, QVariant(false));
        QCOMPARE(moved.texto, QVariant("Aplazar"));
        QCOMPARE(moved.repetirN, QVariant("0"));

        Clock::setNow(at(10, 22, 1)); // due again a quarter of an hour later
        tick();
        QCOMPARE(alerts.textsSeen(), (QStringList{"Aplazar", "Siguiente", "Aplazar"}));
        QCOMPARE(alerts.seen[2].listIndex, 2);
    }

    void repetirMovesAPastDueReminderFromToday()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        alerts.steps.append(AlertDriver::postponeBy(6)); // "1   día"
        const qint64 id = seedReminders(f.dataFolder(), {row("25/02/2027", "18:00:00", "Semana pasada")}).first();
        f.createProgram();
        QCOMPARE(alerts.seen.size(), 1);
        const ReminderRow moved = reminderOnDisk(f.dataFolder(), id);
        QCOMPARE(moved.fecha, QVariant("06/03/2027"));
        QCOMPARE(moved.hora, QVariant("18:00:00"));
    }

    void repeatLineOrPostponementList_data()
    {
        QTest::addColumn<QVariant>("repetirN");
        QTest::addColumn<bool>("repeatLine");
        QTest::addColumn<bool>("listEnabled");
        QTest::addColumn<QString>("fechaAfter");
        QTest::addColumn<QString>("horaAfter");
        // Without repetition, "&Repetir" postpones by the selected entry (5 minutes).
        QTest::newRow("0") << QVariant("0") << false << true << kHoy << QStringLiteral("10:12:00");
        QTest::newRow("3 days") << QVariant("3") << true << false << QStringLiteral("07/03/2027")
                                << QStringLiteral("09:00:00");
        // A blank count (older records) shows the repetition line, yet does not repeat:
        // "&Repetir" postpones by the hidden list. So does a negative count.
        QTest::newRow("null") << QVariant() << true << true << kHoy << QStringLiteral("10:12:00");
        QTest::newRow("empty text") << QVariant("") << true << true << kHoy << QStringLiteral("10:12:00");
        QTest::newRow("negative") << QVariant("-1") << true << true << kHoy << QStringLiteral("10:12:00");
        QTest::newRow("not a number") << QVariant("ab") << false << true << kHoy << QStringLiteral("10:12:00");
    }
    void repeatLineOrPostponementList()
    {
        QFETCH(QVariant, repetirN);
        QFETCH(bool, repeatLine);
        QFETCH(bool, listEnabled);
        QFETCH(QString, fechaAfter);
        QFETCH(QString, horaAfter);
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        alerts.steps.append(AlertDriver::click("CancelBtn"));
        ReminderRow r = row("04/03/2027", "09:00:00", "Cada tres");
        r.repetirN = repetirN;
        const qint64 id = seedReminders(f.dataFolder(), {r}).first();
        f.createProgram();

        QCOMPARE(alerts.seen.size(), 1);
        QCOMPARE(alerts.seen[0].repeatLineVisible, repeatLine);
        QCOMPARE(alerts.seen[0].listVisible, !repeatLine);
        QCOMPARE(alerts.seen[0].listEnabled, listEnabled);
        const ReminderRow after = reminderOnDisk(f.dataFolder(), id);
        QCOMPARE(after.fecha, QVariant(fechaAfter));
        QCOMPARE(after.hora, QVariant(horaAfter));
        QCOMPARE(after.repetirN.toString(), repetirN.toString());
        QVERIFY(OKBottomDlg->ComboBox1->isEnabled());
    }

    // "&Repetir" on a repeating reminder moves it to its next date, unread. An unknown
    // unit writes the date back as it was: the reminder is still due, so the same scan
    // raises it again, and the second alert's "&Leido" marks it read.
    void repetirOnARepeatingReminder_data()
    {
        QTest::addColumn<QString>("repetirN");
        QTest::addColumn<QString>("repetirS");
        QTest::addColumn<int>("alertsSeen");
        QTest::addColumn<QString>("fechaAfter");
        QTest::addColumn<bool>("leidoAfter");
        QTest::newRow("known unit: next date") << "1"
                                               << "Mes/es" << 1 << "05/04/2027" << false;
        QTest::newRow("unknown unit: date kept") << "2"
                                                 << "Semana" << 2 << kHoy << true;
    }
    void repetirOnARepeatingReminder()
    {
        QFETCH(QString, repetirN);
        QFETCH(QString, repetirS);
        QFETCH(int, alertsSeen);
        QFETCH(QString, fechaAfter);
        QFETCH(bool, leidoAfter);
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        alerts.steps.append(AlertDriver::click("CancelBtn"));
        ReminderRow r = due("09:00:00", "Repite");
        r.repetirN = repetirN;
        r.repetirS = repetirS;
        const qint64 id = seedReminders(f.dataFolder(), {r}).first();
        f.createProgram();

        tick();
        QCOMPARE(alerts.seen.size(), alertsSeen);
        QVERIFY(!alerts.seen[0].listEnabled);
        const ReminderRow after = reminderOnDisk(f.dataFolder(), id);
        QCOMPARE(after.fecha, QVariant(fechaAfter));
        QCOMPARE(after.hora, QVariant("09:00:00"));
        QCOMPARE(after.leido, QVariant(leidoAfter));
        QVERIFY(OKBottomDlg->ComboBox1->isEnabled());
    }

    void escapeIsRepetir()
    {
        ProgramFixture f(at(10, 7, 42));
        AlertDriver alerts(&f);
        alerts.steps.append([](TOKBottomDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
        const qint64 id = seedReminders(f.dataFolder(), {due("09:00:00", "Escape")}).first();
        f.createProgram();
        tick();
        QCOMPARE(alerts.seen.size(), 1);
        QCOMPARE(reminderOnDisk(f.dataFolder(), id).hora, QVariant("10:12:00"));
    }

    // --- the entry form -------------------------------------------------------------

    void entryFormMessagesInOrder()
    {
        ProgramFixture f(at(10, 7, 42));
        f.createProgram();
        openNewReminder();
        QVERIFY(AddReminder_Form->isVisible());
        QVERIFY(!Ostiva_Form->Timer1->isActive());
        QCOMPARE(hourEdit()->text(), QStringLiteral("10:37:00"));

        // A blank hour and a blank text: the hour comes first.
        typeInto(hourEdit(), QString());
        entryButton("BitBtn1")->click();
        QCOMPARE(f.messageTexts(), QStringList{"Hora incorrecta"});
        QVERIFY(AddReminder_Form->isVisible());

        typeInto(hourEdit(), QStringLiteral("9:5"));
        entryButton("BitBtn1")->click();
        QCOMPARE(f.messageTexts().last(), QStringLiteral("Falta introducir Recordatorio"));
        QCOMPARE(hourEdit()->text(), QStringLiteral("09:05:00")); // rewritten although a check failed

        // A count without a unit.
        DataModuleReminder->TableReminder->setValue(QStringLiteral("RepetirS"), QVariant());
        typeInto(entryText(), QStringLiteral("Comprar pan"));
        entryButton("BitBtn1")->click();
        QCOMPARE(f.messageTexts().last(), QStringLiteral("Falta introducir repetir recordatorio"));
        QVERIFY(AddReminder_Form->isVisible());
        for (const seams::MessageRequest& m : f.messages) {
            QCOMPARE(m.caption, QStringLiteral("Pennaro 2.0"));
            QCOMPARE(m.icon, QMessageBox::NoIcon);
            QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }

        QComboBox* unit = child<QComboBox>(AddReminder_Form, "DBComboBox2");
        unit->setFocus();
        QTest::keyClick(unit, Qt::Key_Down);
        QVERIFY(!unit->currentText().isEmpty());
        entryButton("BitBtn1")->click();
        QCOMPARE(f.messages.size(), 3);
        QVERIFY(!AddReminder_Form->isVisible());
        QVERIFY(Ostiva_Form->Timer1->isActive());

        const QList<ReminderRow> rows = remindersOnDisk(f.dataFolder());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].fecha, QVariant(kHoy));
        QCOMPARE(rows[0].hora, QVariant("09:05:00"));
        QCOMPARE(rows[0].texto, QVariant("Comprar pan"));
        QCOMPARE(rows[0].playSound, QVariant(true));
        QCOMPARE(rows[0].leido, QVariant(false));
        QCOMPARE(rows[0].repetirN, QVariant("0"));
        QCOMPARE(rows[0].repetirS, QVariant(unit->currentText()));
    }

    void hourIsRewrittenOrRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: "Hora incorrecta"
        QTest::newRow("9") << "9"
                           << "09:00:00";
        QTest::newRow("9:5") << "9:5"
                             << "09:05:00";
        QTest::newRow("14:30:15") << "14:30:15"
                                  << "14:30:15";
        QTest::newRow("7:30 PM") << "7:30 PM"
                                 << "19:30:00";
        QTest::newRow("24:00") << "24:00"
                               << "";
        QTest::newRow("12:60") << "12:60"
                               << "";
        QTest::newRow("abc") << "abc"
                             << "";
        QTest::newRow("blank") << ""
                               << "";
    }
    void hourIsRewrittenOrRefused()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        ProgramFixture f(at(10, 7, 42));
        f.createProgram();
        openNewReminder();
        typeInto(hourEdit(), typed);
        typeInto(entryText(), QStringLiteral("Texto"));
        entryButton("BitBtn1")->click();
        if (stored.isEmpty()) {
            QCOMPARE(f.messageTexts(), QStringList{"Hora incorrecta"});
            QVERIFY(AddReminder_Form->isVisible());
            QVERIFY(remindersOnDisk(f.dataFolder()).isEmpty());
        } else {
            QVERIFY(f.messages.isEmpty());
            QCOMPARE(remindersOnDisk(f.dataFolder()).value(0).hora, QVariant(stored));
        }
    }

    // The check asks whether the count is blank, not whether it is zero.
    void countWithoutUnit_data()
    {
        QTest::addColumn<QVariant>("repetirN");
        QTest::addColumn<bool>("refused");
        QTest::newRow("3") << QVariant("3") << true;
        QTest::newRow("0") << QVariant("0") << true;
        QTest::newRow("blank") << QVariant() << false;
    }
    void countWithoutUnit()
    {
        QFETCH(QVariant, repetirN);
        QFETCH(bool, refused);
        ProgramFixture f(at(10, 7, 42));
        f.createProgram();
        openNewReminder();
        DataModuleReminder->TableReminder->setValue(QStringLiteral("RepetirN"), repetirN);
        DataModuleReminder->TableReminder->setValue(QStringLiteral("RepetirS"), QVariant());
        typeInto(entryText(), QStringLiteral("Texto"));
        entryButton("BitBtn1")->click();
        QCOMPARE(f.messageTexts(), refused ? QStringList{"Falta introducir repetir recordatorio"} : QStringList());
        QCOMPARE(AddReminder_Form->isVisible(), refused);
    }

    void counterBounds_data()
    {
        QTest::addColumn<QVariant>("start");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("shown");
        QTest::newRow("up at 31") << QVariant("31") << true << "31";
        QTest::newRow("down at 0") << QVariant("0") << false << "0";
        QTest::newRow("up on empty") << QVariant() << true << "1";
        QTest::newRow("up at 0") << QVariant("0") << true << "1";
        QTest::newRow("down at 5") << QVariant("5") << false << "4";
        QTest::newRow("up above 31") << QVariant("40") << true << "40";
        QTest::newRow("down above 31") << QVariant("40") << false << "39";
        QTest::newRow("up on letters") << QVariant("x") << true << "1";
    }
    void counterBounds()
    {
        QFETCH(QVariant, start);
        QFETCH(bool, up);
        QFETCH(QString, shown);
        ProgramFixture f(at(10, 7, 42));
        f.createProgram();
        openNewReminder();
        DataModuleReminder->TableReminder->setValue(QStringLiteral("RepetirN"), start);
        if (up)
            AddReminder_Form->UpDown1->stepUp();
        else
            AddReminder_Form->UpDown1->stepDown();
        QCOMPARE(child<QLineEdit>(AddReminder_Form, "DBEdit2")->text(), shown);

        typeInto(entryText(), QStringLiteral("Texto"));
        entryButton("BitBtn1")->click();
        QCOMPARE(remindersOnDisk(f.dataFolder()).value(0).repetirN, QVariant(shown));
    }

    void pickingADateWritesFecha()
    {
        ProgramFixture f(QDateTime(QDate(2027, 3, 1), QTime(10, 0)));
        f.createProgram();
        // A date set by the program is not the user's pick: nothing is edited.
        AddReminder_Form->DateTimePicker1->setDate(QDate(2027, 6, 1));
        QCOMPARE(DataModuleReminder->TableReminder->state(), engine::DataState::Browse);

        openNewReminder();
        QCOMPARE(AddReminder_Form->DateTimePicker1->date(), QDate(2027, 3, 1));
        QCOMPARE(DataModuleReminder->TableReminder->value(QStringLiteral("Fecha")), QVariant("01/03/2027"));

        pickInPopup(AddReminder_Form->DateTimePicker1, QDate(2027, 3, 5));
        QCOMPARE(AddReminder_Form->DateTimePicker1->date(), QDate(2027, 3, 5));
        QCOMPARE(DataModuleReminder->TableReminder->value(QStringLiteral("Fecha")), QVariant("05/03/2027"));

        typeInto(entryText(), QStringLiteral("Texto"));
        entryButton("BitBtn1")->click();
        QCOMPARE(remindersOnDisk(f.dataFolder()).value(0).fecha, QVariant("05/03/2027"));
    }

    void cancelLeavesNoTrace()
    {
        ProgramFixture f(at(10, 7, 42));
        const qint64 id = seedReminders(f.dataFolder(), {row("06/03/2027", "09:00:00", "Existente")}).first();
        f.createProgram();
        const QList<ReminderRow> before = remindersOnDisk(f.dataFolder());

        openNewReminder();
        typeInto(entryText(), QStringLiteral("Nuevo"));
        entryButton("BitBtn2")->click();
        QVERIFY(!AddReminder_Form->isVisible());
        QVERIFY(Ostiva_Form->Timer1->isActive());
        QCOMPARE(remindersOnDisk(f.dataFolder()), before);

        // An existing one, opened from the day list, changed and cancelled.
        Ostiva_Form->MonthCalendar1()->setSelectedDate(QDate(2027, 3, 6));
        child<QToolButton>(Ostiva_Form, "ToolButton1")->click();
        dayListButton("BitBtn2")->click();
        QVERIFY(AddReminder_Form->isVisible());
        QCOMPARE(DataModuleReminder->TableReminder->asInteger(QStringLiteral("ID")), id);
        typeInto(entryText(), QStringLiteral("Cambiado"));
        typeInto(hourEdit(), QStringLiteral("11"));
        QTest::keyClick(AddReminder_Form, Qt::Key_Escape); // Escape is "&Cancelar"
        QVERIFY(!AddReminder_Form->isVisible());
        QVERIFY(Ostiva_Form->Timer1->isActive());
        QCOMPARE(remindersOnDisk(f.dataFolder()), before);
    }

    // Opened modally by the search: a refused entry keeps the modal form open.
    void modalEntryFromTheSearch()
    {
        ProgramFixture f(at(10, 7, 42));
        const qint64 id = seedReminders(f.dataFolder(), {row("06/03/2027", "09:00:00", "Comprar pan")}).first();
        f.createProgram();
        bool wasModal = false;
        QStringList messagesWhileOpen;
        QTimer::singleShot(0, [&] {
            wasModal = QApplication::activeModalWidget() == AddReminder_Form;
            typeInto(hourEdit(), QStringLiteral("abc"));
            entryButton("BitBtn1")->click();
            messagesWhileOpen = f.messageTexts();
            if (!AddReminder_Form->isVisible())
                return;
            typeInto(hourEdit(), QStringLiteral("8"));
            entryButton("BitBtn1")->click();
        });
        DataModuleReminder->BuscarRecordatorio(QStringLiteral("pan"));
        QVERIFY(wasModal);
        QCOMPARE(messagesWhileOpen, QStringList{"Hora incorrecta"});
        QVERIFY(!AddReminder_Form->isVisible());
        QCOMPARE(reminderOnDisk(f.dataFolder(), id).hora, QVariant("08:00:00"));
        QVERIFY(Ostiva_Form->Timer1->isActive());
    }

    // --- the day list ---------------------------------------------------------------

    void dayListShowsTheDateInHourOrder()
    {
        ProgramFixture f(at(10, 7, 42));
        seedReminders(f.dataFolder(), {due("11:00:00", "Segunda"), due("09:00:00", "Primera"),
                                       row("06/03/2027", "08:00:00", "Mañana")});
        f.createProgram();
        child<QToolButton>(Ostiva_Form, "ToolButton1")->click();
        QVERIFY(Reminder_Form->isVisible());
        QCOMPARE(Reminder_Form->windowTitle(), QStringLiteral("Recordatorios"));
        QCOMPARE(Reminder_Form->DateTimePicker1->date(), QDate(2027, 3, 5));
        QCOMPARE(dayGrid()->model()->rowCount(), 2);
        QCOMPARE(gridCell(0, "Hora"), QStringLiteral("09:00:00"));
        QCOMPARE(gridCell(0, "Recordatorio"), QStringLiteral("Primera"));
        QCOMPARE(gridCell(1, "Recordatorio"), QStringLiteral("Segunda"));
        QStringList visible;
        for (int c = 0; c < dayGrid()->model()->columnCount(); ++c)
            if (!dayGrid()->isColumnHidden(c))
                visible.append(dayGrid()->model()->headerData(c, Qt::Horizontal).toString());
        QCOMPARE(visible, (QStringList{"Hora", "Recordatorio"}));

        // Another date, picked by the user: no reminders, and the buttons do nothing.
        pickInPopup(Reminder_Form->DateTimePicker1, QDate(2027, 3, 7));
        QCOMPARE(dayGrid()->model()->rowCount(), 0);
        dayListButton("BitBtn3")->click();
        dayListButton("BitBtn2")->click();
        QVERIFY(f.messages.isEmpty());
        QVERIFY(!AddReminder_Form->isVisible());
        QVERIFY(Ostiva_Form->Timer1->isActive());
        QCOMPARE(remindersOnDisk(f.dataFolder()).size(), 3);
    }

    void dayListDeleteAsksFirst()
    {
        ProgramFixture f(at(10, 7, 42));
        const QList<qint64> ids =
            seedReminders(f.dataFolder(), {due("09:00:00", "Primera"), due("11:00:00", "Segunda")});
        f.createProgram();
        child<QToolButton>(Ostiva_Form, "ToolButton1")->click();
        dayGrid()->selectRow(1);
        QCOMPARE(DataModuleReminder->QueryReminderDia->value(QStringLiteral("Recordatorio")), QVariant("Segunda"));

        f.answers = {QMessageBox::No};
        dayListButton("BitBtn3")->click();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages[0].text, QStringLiteral("¿eliminar Recordatorio?"));
        QCOMPARE(f.messages[0].caption, QStringLiteral("Atención"));
        QCOMPARE(f.messages[0].icon, QMessageBox::Question);
        QCOMPARE(remindersOnDisk(f.dataFolder()).size(), 2);

        dayGrid()->selectRow(1);
        f.answers = {QMessageBox::Yes};
        dayListButton("BitBtn3")->click();
        const QList<ReminderRow> left = remindersOnDisk(f.dataFolder());
        QCOMPARE(left.size(), 1);
        QCOMPARE(left[0].id, ids[0]);
        QCOMPARE(dayGrid()->model()->rowCount(), 1);
        QCOMPARE(gridCell(0, "Recordatorio"), QStringLiteral("Primera"));

        f.answers = {QMessageBox::Yes};
        dayListButton("BitBtn3")->click();
        QVERIFY(remindersOnDisk(f.dataFolder()).isEmpty());
        QCOMPARE(dayGrid()->model()->rowCount(), 0);
    }

    void dayListLeavesTheTimerRunning()
    {
        ProgramFixture f(at(10, 7, 42));
        seedReminders(f.dataFolder(), {due("09:00:00", "Primera")});
        f.createProgram();
        child<QToolButton>(Ostiva_Form, "ToolButton1")->click();

        // Edit, then cancel in the entry form, then close the list.
        dayListButton("BitBtn2")->click();
        QVERIFY(AddReminder_Form->isVisible());
        QVERIFY(!Ostiva_Form->Timer1->isActive());
        entryButton("BitBtn2")->click();
        QVERIFY(Ostiva_Form->Timer1->isActive());
        dayListButton("BitBtn4")->click();
        QVERIFY(!Reminder_Form->isVisible());
        QVERIFY(Ostiva_Form->Timer1->isActive());

        // Closed while an edit it started is still open: the timer runs again anyway.
        child<QToolButton>(Ostiva_Form, "ToolButton1")->click();
        QVERIFY(QTest::qWaitForWindowExposed(Reminder_Form));
        const QRect cell = dayGrid()->visualRect(dayGrid()->model()->index(0, 2));
        // A real double click: press and release, then the second press comes as a double click.
        QTest::mouseClick(dayGrid()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(dayGrid()->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(AddReminder_Form->isVisible());
        QVERIFY(!Ostiva_Form->Timer1->isActive());
        QTest::keyClick(Reminder_Form, Qt::Key_Escape);
        QVERIFY(!Reminder_Form->isVisible());
        QVERIFY(Ostiva_Form->Timer1->isActive());
        entryButton("BitBtn2")->click();
    }
};

QTEST_MAIN(TestReminderFlows)
#include "tst_reminderflows.moc"
