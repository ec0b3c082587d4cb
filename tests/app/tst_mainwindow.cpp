// The main window: the icon and the window's show/hide cycle, the icon menu, the store
// switch, and the reminder operations the window's commands start.

#include "support/ProgramFixture.h"
#include "support/Records.h"

#include "app/Ostiva_Unit.h"
#include "platform/TrayIcon.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Buscar_Unit.h"
#include "reminders/Reminder_Unit.h"
#include "store/Data_Unit.h"
#include "ui_Ostiva_Unit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

engine::Table* reminders()
{
    return DataModuleReminder->TableReminder;
}

// Closes the modal window our code opens, through its cancel button when it has one,
// after recording what stands in the reminder table.
void cancelModalSoon(QList<qint64>* opened)
{
    QTimer::singleShot(0, [opened] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        opened->append(reminders()->asInteger("ID"));
        if (auto* cancel = modal->findChild<QAbstractButton*>("BitBtn2"))
            cancel->click();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
}

// The table files (and their journals) of `folder` that this process holds open, read
// from /proc/self/fd; a file deleted or replaced since it was opened is still listed.
QStringList tableFilesHeld(const QString& folder)
{
    QStringList held;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QString prefix = QDir(folder).canonicalPath() + QLatin1Char('/');
    for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (!target.startsWith(prefix))
            continue;
        const QString name = target.mid(prefix.size()).section(QLatin1Char(' '), 0, 0);
        if (name.startsWith(QLatin1String("Reminder.DB"), Qt::CaseInsensitive) ||
            name.startsWith(QLatin1String("Direcciones.DB"), Qt::CaseInsensitive))
            held.append(target.mid(prefix.size()));
    }
    return held;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void doubleClickOpensAtBottomRightAndCloseHides()
    {
        ProgramFixture f;
        f.createProgram();
        QVERIFY(IconData->isShown());
        IconData->deliver(TrayIcon::kLeftDoubleClick);
        QVERIFY(Ostiva_Form->isVisible());
        QVERIFY(!IconData->isShown());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QRect frame = Ostiva_Form->frameGeometry();
        QCOMPARE(frame.right(), screen.right());
        QCOMPARE(frame.bottom(), screen.bottom() - 30);

        // Closing hides the window and brings the icon back; the timer goes on.
        QVERIFY(!Ostiva_Form->close());
        QVERIFY(!Ostiva_Form->isVisible());
        QVERIFY(IconData->isShown());
        QVERIFY(Ostiva_Form->Timer1->isActive());
        QCOMPARE(f.quitRequests, 0);

        // "&Abrir" opens it again at the same corner, after a move.
        Ostiva_Form->move(0, 0);
        Ostiva_Form->mnuShow->trigger();
        QVERIFY(Ostiva_Form->isVisible());
        QVERIFY(!IconData->isShown());
        QCOMPARE(Ostiva_Form->frameGeometry().right(), screen.right());
        Ostiva_Form->close();
    }

    void otherMouseActivityDoesNothingAndRightButtonOpensTheMenu()
    {
        ProgramFixture f;
        f.createProgram();
        for (int message : {512, TrayIcon::kLeftButtonDown, TrayIcon::kLeftButtonUp, 517})
            IconData->deliver(message);
        QVERIFY(!Ostiva_Form->isVisible());
        QVERIFY(!Ostiva_Form->PopupMenu1->isVisible());
        QVERIFY(IconData->isShown());
        IconData->deliver(TrayIcon::kRightButtonDown);
        QVERIFY(Ostiva_Form->PopupMenu1->isVisible());
        Ostiva_Form->PopupMenu1->hide();
    }

    void menuItemsInOrder()
    {
        ProgramFixture f;
        f.createProgram();
        QStringList seen;
        for (QAction* a : Ostiva_Form->PopupMenu1->actions())
            seen << a->objectName() + "=" + (a->isSeparator() ? QString("-") : a->text());
        QCOMPARE(seen, QStringList({QString::fromUtf8("Acerca1=Acerca ..."), "N4=-",
                                    QString::fromUtf8("Anadirdirecciones1=Añadir direcciones"),
                                    "Direcciones1=Ver direcciones", "N1=-",
                                    QString::fromUtf8("Aadirrecordatorio1=Añadir &recordatorio"),
                                    "Verrecordarorio1=&Ver recordatorio", "N3=-", "Comprobaremail1=Comprobar &e-mail",
                                    "N5=-", "mnuShow=&Abrir", "mnuExit=&Terminar"}));
    }

    void terminarEndsWithoutAsking()
    {
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->mnuExit->trigger();
        QCOMPARE(f.quitRequests, 1);
        QVERIFY(!IconData->isShown());
        QVERIFY(f.messages.isEmpty());
        // The first tick after that switches the timer off for good.
        Ostiva_Form->Timer1Timer();
        QVERIFY(!Ostiva_Form->Timer1->isActive());
    }

    void storeSwitchOffAndOn()
    {
        ProgramFixture f;
        f.createProgram();
        auto* ui = Ostiva_Form->ui.get();
        QCOMPARE(ui->ToolButton5->text(), QString("OFF"));
        ui->ToolButton5->click();
        QCOMPARE(ui->ToolButton5->text(), QString("ON"));
        for (QWidget* w : std::initializer_list<QWidget*>{ui->ToolButton1, ui->ToolButton2, ui->ToolButton3})
            QVERIFY(!w->isEnabled());
        QVERIFY(!Ostiva_Form->Aadirrecordatorio1->isEnabled());
        QVERIFY(!Ostiva_Form->Verrecordarorio1->isEnabled());
        QVERIFY(ui->ToolButton4->isEnabled());
        QVERIFY(Ostiva_Form->Comprobaremail1->isEnabled());
        QVERIFY(!reminders()->isActive());
        QVERIFY(!DataModuleReminder->QueryReminder->isActive());
        QVERIFY(!DataModuleReminder->TableLibreta->isActive());

        ui->ToolButton5->click();
        QCOMPARE(ui->ToolButton5->text(), QString("OFF"));
        for (QWidget* w : std::initializer_list<QWidget*>{ui->ToolButton1, ui->ToolButton2, ui->ToolButton3})
            QVERIFY(w->isEnabled());
        QVERIFY(Ostiva_Form->Aadirrecordatorio1->isEnabled());
        QVERIFY(reminders()->isActive());
        QVERIFY(DataModuleReminder->QueryReminder->isActive());
        QVERIFY(DataModuleReminder->QueryLibreta->isActive());
        QVERIFY(DataModuleReminder->QueryReminderDia->isActive());
        QVERIFY(f.messages.isEmpty());
    }

    // While the store is off no table file is held open, also after a table file was
    // replaced while off and the store went on and off again; a tick changes nothing.
    void storeOffHoldsNoFile()
    {
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->ui->ToolButton1->click(); // the day list reads the reminders
        Reminder_Form->hide();
        QVERIFY(!tableFilesHeld(f.dataFolder()).isEmpty());

        Ostiva_Form->ui->ToolButton5->click(); // "OFF"
        Ostiva_Form->Timer1Timer();
        QCOMPARE(tableFilesHeld(f.dataFolder()), QStringList());

        const QString reminderFile = QDir(f.dataFolder()).filePath(QStringLiteral("Reminder.DB"));
        QVERIFY(QFile::copy(reminderFile, reminderFile + QStringLiteral(".copia")));
        QVERIFY(QFile::remove(reminderFile));
        QVERIFY(QFile::rename(reminderFile + QStringLiteral(".copia"), reminderFile));
        Ostiva_Form->ui->ToolButton5->click(); // "ON"
        QVERIFY(f.messages.isEmpty());
        QVERIFY(!tableFilesHeld(f.dataFolder()).isEmpty());
        Ostiva_Form->ui->ToolButton5->click(); // "OFF"
        QCOMPARE(tableFilesHeld(f.dataFolder()), QStringList());
    }

    void failingCommandShowsTheErrorBox()
    {
        ProgramFixture f;
        f.createProgram();
        DataModuleReminder->CerrarDataBase();
        Ostiva_Form->ui->ToolButton1->click(); // the refresh needs the closed tables
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.first().caption, QString("Pennaro 2.0"));
        QCOMPARE(f.messages.first().icon, QMessageBox::Critical);
        QVERIFY(!Reminder_Form->isVisible());
    }

    void anadirPresets_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("fecha");
        QTest::addColumn<QString>("hora");
        QTest::newRow("morning") << QDateTime(QDate(2004, 3, 5), QTime(10, 7, 42)) << "05/03/2004"
                                 << "10:37:00";
        QTest::newRow("before midnight") << QDateTime(QDate(2004, 3, 5), QTime(23, 45, 10)) << "05/03/2004"
                                         << "0:15:00";
    }

    void anadirPresets()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, fecha);
        QFETCH(QString, hora);
        ProgramFixture f(now);
        f.createProgram();
        Ostiva_Form->ui->ToolButton2->click();
        engine::Table* t = reminders();
        QCOMPARE(t->state(), engine::DataState::Insert);
        QCOMPARE(t->asString("Fecha"), fecha);
        QCOMPARE(t->asString("Hora"), hora);
        QCOMPARE(t->asBoolean("PlaySound"), true);
        QCOMPARE(t->asBoolean("Leido"), false);
        QCOMPARE(t->asString("RepetirN"), QString("0"));
        QCOMPARE(t->asString("RepetirS"), QString::fromUtf8("Día/s"));
        QVERIFY(AddReminder_Form->isVisible());
        QCOMPARE(AddReminder_Form->DateTimePicker1->date(), now.date());
        QVERIFY(!Ostiva_Form->Timer1->isActive());

        // A second add while the form is open does nothing.
        Ostiva_Form->Aadirrecordatorio1->trigger();
        QCOMPARE(t->state(), engine::DataState::Insert);

        DataModuleReminder->CancelarReminder();
        QCOMPARE(t->state(), engine::DataState::Browse);
        QCOMPARE(t->recordCount(), 0);
    }

    void editarFillsBlankRepetition()
    {
        ProgramFixture f;
        f.createProgram();
        addReminder("05/03/2027", "09:00:00", "Antiguo", false, QVariant(), QVariant());
        DataModuleReminder->ReminderDia();
        QCOMPARE(DataModuleReminder->QueryReminderDia->recordCount(), 1);
        DataModuleReminder->EditarReminder();
        engine::Table* t = reminders();
        QCOMPARE(t->state(), engine::DataState::Edit);
        QCOMPARE(t->asString("RepetirN"), QString("0"));
        QCOMPARE(t->asString("RepetirS"), QString::fromUtf8("Día/s"));
        QVERIFY(!Ostiva_Form->Timer1->isActive());
        QVERIFY(AddReminder_Form->isVisible());
        DataModuleReminder->CancelarReminder();
    }

    void emptyTableOperationsDoNothing()
    {
        ProgramFixture f;
        f.createProgram();
        DataModuleReminder->EditarReminder();
        QVERIFY(Ostiva_Form->Timer1->isActive());
        QVERIFY(!AddReminder_Form->isVisible());
        QVERIFY(!DataModuleReminder->Localizar("Fecha", "05/03/2027"));
        DataModuleReminder->BuscarRecordatorio("algo");
        QVERIFY(f.messages.isEmpty());
        QVERIFY(Ostiva_Form->Timer1->isActive());
    }

    void localizarFindsTheEarliestHourOfTheDay()
    {
        ProgramFixture f;
        f.createProgram();
        addReminder("05/03/2027", "18:00:00", "tarde");
        addReminder("04/03/2027", "08:00:00", "ayer");
        addReminder("05/03/2027", "07:30:00", "temprano");
        QVERIFY(DataModuleReminder->Localizar("Fecha", "05/03/2027"));
        QCOMPARE(DataModuleReminder->QueryReminder->asString("Recordatorio"), QString("temprano"));
        QVERIFY(!DataModuleReminder->Localizar("Fecha", "5/03/2027"));
    }

    void searchIsCaseSensitiveAndContinues()
    {
        ProgramFixture f;
        f.createProgram();
        const qint64 first = addReminder("01/03/2027", "10:00:00", "Comprar pan");
        addReminder("02/03/2027", "10:00:00", "comprar leche");
        const qint64 third = addReminder("03/03/2027", "10:00:00", "Pan y Comprar fruta");
        reminders()->first();

        QList<qint64> opened;
        cancelModalSoon(&opened);
        DataModuleReminder->BuscarRecordatorio("Comprar");
        cancelModalSoon(&opened);
        DataModuleReminder->BuscarRecordatorio("Comprar");
        cancelModalSoon(&opened);
        DataModuleReminder->BuscarRecordatorio("Comprar");
        QCOMPARE(opened, QList<qint64>({first, third, first}));
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(reminders()->state(), engine::DataState::Browse);

        // No match anywhere: the question comes once per pass; No ends the search.
        f.answers = {QMessageBox::Yes, QMessageBox::No};
        DataModuleReminder->BuscarRecordatorio("COMPRAR");
        QCOMPARE(f.messages.size(), 2);
        QCOMPARE(f.messages.first().caption, QString("Buscar Recordatorio"));
        QCOMPARE(f.messages.first().text,
                 QString::fromUtf8("Recordatorio no encontrado, ¿volver a buscar desde el principio?"));
        QCOMPARE(f.messages.first().icon, QMessageBox::Question);

        // An empty text matches nothing.
        f.messages.clear();
        DataModuleReminder->BuscarRecordatorio("");
        QCOMPARE(f.messages.size(), 1);
    }

    void actualizarQueryKeepsItsRow()
    {
        ProgramFixture f;
        f.createProgram();
        engine::Table* cards = DataModuleReminder->TableLibreta;
        for (const char* name : {"Ana", "Bea", "Carlos"})
            testsupport::add(*cards, {{"Nombre", name}});
        engine::Query* q = DataModuleReminder->QueryLibreta;
        q->close();
        q->open();
        q->moveTo(2);
        QCOMPARE(q->asString("Nombre"), QString("Carlos"));
        DataModuleReminder->ActualizarQuery(q);
        QCOMPARE(q->asString("Nombre"), QString("Carlos"));
        QCOMPARE(q->recNo(), 2);
        // A query whose text no longer runs is left without a message.
        q->setSql({"SELECT *", "FROM Nada.DB"});
        DataModuleReminder->ActualizarQuery(q);
        QVERIFY(f.messages.isEmpty());
    }

    void verCommandsShowTheDayList()
    {
        ProgramFixture f;
        f.createProgram();
        addReminder("07/03/2027", "10:00:00", "Domingo");
        Reminder_Form->DateTimePicker1->setDate(QDate(2027, 3, 1));
        Ostiva_Form->MonthCalendar1()->setSelectedDate(QDate(2027, 3, 7));
        Ostiva_Form->ui->ToolButton1->click();
        QVERIFY(Reminder_Form->isVisible());
        QCOMPARE(Reminder_Form->DateTimePicker1->date(), QDate(2027, 3, 7));
        QCOMPARE(DataModuleReminder->QueryReminderDia->recordCount(), 1);
        Reminder_Form->hide();

        // The menu's "&Ver recordatorio" keeps the date the list had.
        Reminder_Form->DateTimePicker1->setDate(QDate(2027, 3, 2));
        Ostiva_Form->Verrecordarorio1->trigger();
        QVERIFY(Reminder_Form->isVisible());
        QCOMPARE(Reminder_Form->DateTimePicker1->date(), QDate(2027, 3, 2));
        Reminder_Form->hide();
    }

    void searchButtonsSetTheHeading()
    {
        ProgramFixture f;
        f.createProgram();
        Ostiva_Form->ui->ToolButton3->click();
        QCOMPARE(Buscar_Form->Label1->text(), QString("Buscar Recordatorio"));
        QVERIFY(Buscar_Form->isVisible());
        Ostiva_Form->ui->ToolButton7->click();
        QCOMPARE(Buscar_Form->Label1->text(), QString::fromUtf8("Buscar Dirección"));
        Buscar_Form->hide();
    }

    void mailProgramPickedWhole()
    {
        ProgramFixture f;
        f.createProgram();
        const QString path = "/opt/programas/correo/cliente-de-correo-muy-largo/bin/correo";
        QVERIFY(path.size() > 30);
        f.nextFileName = path;
        Ostiva_Form->ui->SpeedButton1->click();
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), path);
        f.nextFileName.clear();
        Ostiva_Form->ui->SpeedButton1->click();
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), path);

        // Typed text stops at 30 characters.
        Ostiva_Form->EditPrograma()->clear();
        Ostiva_Form->show();
        Ostiva_Form->ui->PageControl1->setCurrentIndex(2);
        QTest::keyClicks(Ostiva_Form->EditPrograma(), QString(40, 'x'));
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), QString(30, 'x'));
        Ostiva_Form->hide();
    }

    void withoutNotificationAreaTheWindowIsTheProgram()
    {
        ProgramFixture f;
        TrayIcon::setAvailableOverride(0);
        f.createProgram();
        QTRY_VERIFY(Ostiva_Form->isVisible());
        QVERIFY(!IconData->isShown());
        Ostiva_Form->close();
        QCOMPARE(f.quitRequests, 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
