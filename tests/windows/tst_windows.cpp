// What a user meets in the windows themselves: message boxes over the window that raised
// them and showing text as written, typing limits of the e-mail page, keyboard walks and
// accessible names, default buttons, captions and borders, the password's "*", the store
// switch releasing its files, and the close box when the tray went away.

#include "support/ProgramFixture.h"

#include "addressbook/Direccion_Unit.h"
#include "addressbook/Direcciones_Unit.h"
#include "app/Globals.h"
#include "app/Ostiva_Unit.h"
#include "common/Acerca_Unit.h"
#include "core/Error.h"
#include "mail/Correo_Unit.h"
#include "platform/EditLimits.h"
#include "platform/TrayIcon.h"
#include "platform/WindowPlacement.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Buscar_Unit.h"
#include "reminders/Mensaje_Uni.h"
#include "reminders/Reminder_Unit.h"
#include "store/Data_Unit.h"
#include "store/engine/Sqlite.h"
#include "ui_Direccion_Unit.h"
#include "ui_Ostiva_Unit.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

namespace {

QList<QWidget*> programWindows()
{
    return {Ostiva_Form, OKBottomDlg, Reminder_Form,    AddReminder_Form, Correo_Form,
            Acerca_Form, Buscar_Form, Direcciones_Form, Direccion_Form};
}

// The edits a user types into, leaving out the parts of compound controls (the line edit
// inside a combo box or a date edit), which take the name of their owner.
QList<QWidget*> userEdits(QWidget* window)
{
    QList<QWidget*> edits;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool edit = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                          qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w);
        QWidget* owner = w->parentWidget();
        bool part = owner && (qobject_cast<QComboBox*>(owner) || qobject_cast<QAbstractSpinBox*>(owner));
        // The calendar's own year box belongs to Qt's calendar, which names its parts.
        for (QWidget* up = owner; up && !part; up = up->parentWidget())
            part = qobject_cast<QCalendarWidget*>(up) != nullptr;
        if (edit && !part && w->focusPolicy() != Qt::NoFocus)
            edits.append(w);
    }
    return edits;
}

QString accessibleName(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

void typeInto(QLineEdit* edit, const QString& text)
{
    for (const QChar c : text)
        QTest::keyClick(edit, c.toLatin1());
}

QString distinct(int count)
{
    const QString pool = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    return pool.left(count);
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT
private slots:
    // ---- pure rules ------------------------------------------------------------------

    void cornerPosition_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<int>("corner");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("abajo a la derecha")
            << QRect(0, 0, 1024, 768) << QSize(432, 371) << int(ScreenCorner::BottomRight) << 30 << QPoint(592, 367);
        QTest::newRow("arriba a la derecha")
            << QRect(0, 0, 1024, 768) << QSize(340, 120) << int(ScreenCorner::TopRight) << 0 << QPoint(684, 0);
        QTest::newRow("segunda pantalla") << QRect(1024, 100, 800, 600) << QSize(200, 100)
                                          << int(ScreenCorner::BottomRight) << 30 << QPoint(1624, 570);
    }
    void cornerPosition()
    {
        QFETCH(QRect, screen);
        QFETCH(QSize, frame);
        QFETCH(int, corner);
        QFETCH(int, gap);
        QFETCH(QPoint, expected);
        const QPoint p = cornerFramePosition(screen, frame, ScreenCorner(corner), gap);
        QCOMPARE(p, expected);
        // The frame's right edge is the screen's right edge.
        QCOMPARE(p.x() + frame.width(), screen.x() + screen.width());
    }

    void typedLimit_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::addColumn<bool>("refused");
        QTest::newRow("hasta el límite") << 29 << 30 << false;
        QTest::newRow("pasa el límite") << 30 << 31 << true;
        QTest::newRow("pegado largo") << 10 << 45 << true;
        QTest::newRow("borrar en texto largo") << 45 << 44 << false;
        QTest::newRow("crecer texto largo") << 45 << 46 << true;
        QTest::newRow("sustituir sin crecer") << 40 << 40 << false;
    }
    void typedLimit()
    {
        QFETCH(int, before);
        QFETCH(int, after);
        QFETCH(bool, refused);
        QCOMPARE(TypedLengthValidator::refuses(30, before, after), refused);
    }

    void movedFileHasItsOwnMessage()
    {
        const QString moved = engine::sql::resultText(SQLITE_READONLY_DBMOVED);
        QVERIFY(moved != engine::sql::resultText(SQLITE_READONLY));
        QVERIFY2(moved.contains(QStringLiteral("movido")), qPrintable(moved));
    }

    // A box shows user, file and server text as written, never as markup.
    void boxesShowPlainText()
    {
        const auto box = seams::makeBox(
            {QStringLiteral("<b>x</b>"), QStringLiteral("Pennaro 2.0"), QMessageBox::Critical, QMessageBox::Ok});
        QCOMPARE(box->textFormat(), Qt::PlainText);
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), QString("<b>x</b>"));
        QCOMPARE(label->text().size(), 8);
    }

    void boxParentIsTheRaisingWindow()
    {
        QWidget window;
        auto* child = new QLineEdit(&window);
        QCOMPARE(seams::boxParent(child), &window);
        const auto box =
            seams::makeBox({QStringLiteral("t"), QStringLiteral("c"), QMessageBox::NoIcon, QMessageBox::Ok, child});
        QCOMPARE(box->parentWidget(), &window);
        // With no window given the active one is taken.
        window.show();
        QApplication::setActiveWindow(&window);
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(seams::boxParent(nullptr), &window);
    }

    // ---- the program's windows -----------------------------------------------------------

    void messagesHaveTheirWindowAsParent()
    {
        ProgramFixture f;
        f.createProgram();
        // The entry form's own validation.
        DataModuleReminder->AnadirReminder();
        QVERIFY(AddReminder_Form->isVisible());
        AddReminder_Form->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        QCOMPARE(f.messageTexts(), QStringList{"Falta introducir Recordatorio"});
        QCOMPARE(f.messages.last().parent, AddReminder_Form);

        // A search while the form is open warns over the form, which stays on top.
        f.messages.clear();
        DataModuleReminder->BuscarRecordatorio(QStringLiteral("x"));
        QCOMPARE(f.messageTexts(), QStringList{QString::fromUtf8("Termine antes el recordatorio que está editando.")});
        QCOMPARE(f.messages.last().parent, AddReminder_Form);
        AddReminder_Form->findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click();

        // The day list's delete question.
        f.messages.clear();
        addReminder(QStringLiteral("05/03/2027"), QStringLiteral("11:00:00"), QStringLiteral("uno"));
        Reminder_Form->DateTimePicker1->setDate(QDate(2027, 3, 5));
        DataModuleReminder->ReminderDia();
        Reminder_Form->findChild<QPushButton*>(QStringLiteral("BitBtn3"))->click();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.last().caption, QString::fromUtf8("Atención"));
        QCOMPARE(f.messages.last().parent, Reminder_Form);
    }

    void programTypingLimit_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::newRow("Usuario") << "EditMail1User";
        QTest::newRow("Contraseña") << "EditMail1Pass";
        QTest::newRow("Serv. POP3") << "EditPOP3";
        QTest::newRow("Prog. correo") << "EditPrograma";
    }
    void programTypingLimit()
    {
        QFETCH(QString, edit);
        ProgramFixture f;
        f.createProgram();
        auto* line = Ostiva_Form->findChild<QLineEdit*>(edit);
        QVERIFY(line);

        // 31 and 33 distinct characters: the first 30 stay, untouched.
        typeInto(line, distinct(31));
        QCOMPARE(line->text(), distinct(30));
        typeInto(line, distinct(33).right(3));
        QCOMPARE(line->text(), distinct(30));

        // A paste that would pass the limit is refused whole; one that fits goes in.
        line->clear();
        typeInto(line, distinct(25));
        QGuiApplication::clipboard()->setText(QStringLiteral("0123456789"));
        QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(line->text(), distinct(25));
        QGuiApplication::clipboard()->setText(QStringLiteral("!?@#$"));
        QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(line->text(), distinct(25) + "!?@#$");

        // A longer text set by the program goes in whole; typing cannot grow it but can
        // shorten it.
        const QString longText = distinct(45);
        line->setText(longText);
        QCOMPARE(line->text(), longText);
        line->end(false);
        QTest::keyClick(line, 'z');
        QCOMPARE(line->text(), longText);
        QTest::keyClick(line, Qt::Key_Backspace);
        QCOMPARE(line->text(), longText.left(44));
    }

    void longStoredSettingsAreKeptWhole()
    {
        ProgramFixture f;
        const QString settingsFile = f.home() + "HKEY_LOCAL_MACHINE.reg";
        const QString user = QStringLiteral("una.cuenta.de.correo.muy.larga@example.org");
        const QString server = QStringLiteral("pop3.servidor-de-correo-muy-largo.example.org");
        const QString program = QStringLiteral("/opt/programas/cliente-de-correo/bin/correo");
        for (const QString& text : {user, server, program})
            QVERIFY(text.size() > 30);
        {
            ProgramFixture writer;
            writer.createProgram();
            Ostiva_Form->EditMail1User()->setText(user);
            Ostiva_Form->EditMail1Pass()->setText(server); // a long password as well
            Ostiva_Form->EditPOP3()->setText(server);
            Ostiva_Form->EditPrograma()->setText(program);
            Ostiva_Form->ui->BitBtn5->click();
            QVERIFY2(writer.messages.isEmpty(), qPrintable(writer.messageTexts().join('|')));
            QVERIFY(QFile::copy(writer.home() + "HKEY_LOCAL_MACHINE.reg", settingsFile));
        }
        f.createProgram();
        QCOMPARE(Ostiva_Form->EditMail1User()->text(), user);
        QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), server);
        QCOMPARE(Ostiva_Form->EditPOP3()->text(), server);
        QCOMPARE(Ostiva_Form->EditPrograma()->text(), program);
    }

    void passwordShowsAsterisks()
    {
        ProgramFixture f;
        f.createProgram();
        QLineEdit* pass = Ostiva_Form->EditMail1Pass();
        QTest::keyClicks(pass, QStringLiteral("clave"));
        QCOMPARE(pass->text(), QString("clave"));
        QCOMPARE(pass->displayText(), QString("*****"));
    }

    void cardKeyboardWalk()
    {
        ProgramFixture f;
        f.createProgram();
        DataModuleReminder->AnadirDireccion();
        QVERIFY(Direccion_Form->isVisible());
        QApplication::setActiveWindow(Direccion_Form);
        QVERIFY(QTest::qWaitForWindowActive(Direccion_Form));
        Ui::TDireccion_Form* ui = Direccion_Form->ui.get();

        // From the last edit of a page, Tab reaches the buttons and then the page tabs.
        ui->PageControl1->setCurrentWidget(ui->TabSheet2);
        ui->DBEditFAX->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), ui->DBEditFAX);
        QList<QWidget*> walk;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walk.append(QApplication::focusWidget());
        }
        QVERIFY(walk.contains(ui->BitBtn1));
        QVERIFY(walk.contains(ui->BitBtn2));
        QVERIFY(walk.indexOf(ui->BitBtn1) < walk.indexOf(ui->BitBtn2));
        QVERIFY(std::any_of(walk.cbegin(), walk.cend(), [](QWidget* w) { return qobject_cast<QTabBar*>(w); }));

        // Tab in a memo moves on instead of typing a tab.
        for (QPlainTextEdit* memo :
             {static_cast<QPlainTextEdit*>(ui->DBMemoHijos), static_cast<QPlainTextEdit*>(ui->DBMemoNotas)}) {
            ui->PageControl1->setCurrentWidget(memo == ui->DBMemoHijos ? ui->TabSheet4 : ui->TabSheet5);
            memo->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), memo);
            QTest::keyClick(memo, Qt::Key_Tab);
            QVERIFY(!memo->toPlainText().contains(QLatin1Char('\t')));
            QVERIFY(QApplication::focusWidget() != memo);
        }
        ui->BitBtn2->click();
    }

    // Every edit of every window is named by its label, so a screen reader can say it.
    void everyEditHasAName()
    {
        ProgramFixture f;
        f.createProgram();
        QCOMPARE(accessibleName(Direccion_Form->ui->DBEditNombre), QString("Nombre"));
        QStringList unnamed;
        for (QWidget* window : programWindows()) {
            for (QWidget* edit : userEdits(window)) {
                if (accessibleName(edit).trimmed().isEmpty())
                    unnamed.append(window->objectName() + "." + edit->objectName());
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    }

    void dayListHasNoDefaultButton()
    {
        ProgramFixture f;
        f.createProgram();
        addReminder(QStringLiteral("05/03/2027"), QStringLiteral("11:00:00"), QStringLiteral("uno"));
        Ostiva_Form->ToolButton1()->click();
        QVERIFY(Reminder_Form->isVisible());
        QApplication::setActiveWindow(Reminder_Form);
        QVERIFY(QTest::qWaitForWindowActive(Reminder_Form));
        for (QPushButton* button : Reminder_Form->findChildren<QPushButton*>()) {
            QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
            QVERIFY2(!button->autoDefault(), qPrintable(button->objectName()));
        }
        // Enter in the picker and in the grid opens nothing and leaves the timer running.
        QVERIFY(Ostiva_Form->Timer1->isActive());
        for (QWidget* target : {static_cast<QWidget*>(Reminder_Form->DateTimePicker1),
                                Reminder_Form->findChild<QWidget*>(QStringLiteral("DBGrid1"))}) {
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
            QVERIFY(!AddReminder_Form->isVisible());
            QVERIFY(Ostiva_Form->Timer1->isActive());
        }
    }

    void captionsAndBorders()
    {
        SetApplicationIdentity();
        QCOMPARE(QGuiApplication::desktopFileName(), QString("io.github.pennaro.Pennaro"));
        ProgramFixture f;
        f.createProgram();
        QCOMPARE(Ostiva_Form->windowTitle(), QString("Pennaro 2.0"));
        QCOMPARE(Reminder_Form->windowTitle(), QString("Recordatorios"));
        QCOMPARE(Correo_Form->windowTitle(), QString("Aviso Correo"));
        QCOMPARE(Acerca_Form->windowTitle(), QString("Acerca"));
        // Fixed borders with only a close box.
        for (QWidget* w : QList<QWidget*>{Ostiva_Form, Correo_Form, Acerca_Form}) {
            const Qt::WindowFlags flags = w->windowFlags();
            QVERIFY2(!(flags & Qt::WindowMinimizeButtonHint), qPrintable(w->objectName()));
            QVERIFY2(!(flags & Qt::WindowMaximizeButtonHint), qPrintable(w->objectName()));
            QVERIFY2(flags & Qt::WindowCloseButtonHint, qPrintable(w->objectName()));
            QCOMPARE(w->minimumSize(), w->maximumSize());
        }
    }

    void storeSwitchReleasesTheFiles()
    {
        ProgramFixture f;
        f.createProgram();
        const QString file = f.dataFolder() + "/Reminder.DB";
        const QString saved = f.home() + "saved.DB";
        QVERIFY(QFile::copy(file, saved)); // an empty reminder table
        engine::Table* table = DataModuleReminder->TableReminder;
        addReminder("05/03/2027", "11:00:00", "nuevo");
        QCOMPARE(table->recordCount(), 1);

        // Off, the saved copy is put back (a restored backup); on shows it as it is.
        Ostiva_Form->ui->ToolButton5->click();
        QVERIFY(QFile::remove(file));
        QVERIFY(QFile::copy(saved, file));
        Ostiva_Form->ui->ToolButton5->click();
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
        QCOMPARE(table->recordCount(), 0);
        // And it takes changes again.
        addReminder("06/03/2027", "12:00:00", "otro");
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));

        // A foreign file put there while off is refused on "ON" and left as it was.
        Ostiva_Form->ui->ToolButton5->click();
        QVERIFY(QFile::remove(file));
        {
            QFile foreign(file);
            QVERIFY(foreign.open(QIODevice::WriteOnly));
            foreign.write("no es una tabla\n");
        }
        Ostiva_Form->ui->ToolButton5->click();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages[0].icon, QMessageBox::Critical);
        QFile foreign(file);
        QVERIFY(foreign.open(QIODevice::ReadOnly));
        QCOMPARE(foreign.readAll(), QByteArray("no es una tabla\n"));
    }

    void trayGoneForAMomentOnlyHides()
    {
        ProgramFixture f;
        f.createProgram();
        IconData->deliver(TrayIcon::kLeftDoubleClick);
        QVERIFY(Ostiva_Form->isVisible());
        TrayIcon::setAvailableOverride(0); // the panel restarts
        QVERIFY(!Ostiva_Form->close());
        QVERIFY(!Ostiva_Form->isVisible());
        QCOMPARE(f.quitRequests, 0);
        QVERIFY(IconData->isShown());
        QVERIFY(Ostiva_Form->Timer1->isActive());
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
