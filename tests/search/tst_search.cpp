// The search dialog: its heading chooses reminders or address cards, a second press goes
// on after the last match, and a pass without a match asks once whether to start over.

#include "addressbook/AddressHelpers.h"
#include "support/ProgramFixture.h"

#include "addressbook/Direccion_Unit.h"
#include "addressbook/Direcciones_Unit.h"
#include "app/Ostiva_Unit.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Buscar_Unit.h"
#include "store/Data_Unit.h"
#include "ui_AddReminder_Unit.h"
#include "ui_Buscar_Unit.h"
#include "ui_Direccion_Unit.h"
#include "ui_Direcciones_Unit.h"
#include "ui_Ostiva_Unit.h"

#include <QTest>

#include <memory>

using namespace addresstest;

namespace {

const QString kRecordatorio = QStringLiteral("Buscar Recordatorio");
const QString kDireccion = QStringLiteral("Buscar Dirección");

// A reminder on one fixed day for the searches to find; the day list is refreshed.
qint64 addFindable(const QString& text)
{
    addReminder("20/03/2027", "09:00:00", text);
    DataModuleReminder->Actualizar();
    return DataModuleReminder->TableReminder->asInteger("ID");
}

} // namespace

class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addressSearchContinues();
    void reminderSearchContinues();
    void noMatchAsksOncePerPass_data();
    void noMatchAsksOncePerPass();
    void headingDecidesKind_data();
    void headingDecidesKind();
    void emptyTableDoesNothing_data();
    void emptyTableDoesNothing();
    void modalCardKeepsOpenOnMissingName();
    void searchWhileCardOpen();
    void cardOnAnotherPageShowsItsOwnRecord();

private:
    // Presses "&Buscar" once; whatever window the search opens modally is recorded as
    // "card:<name>" or "reminder:<text>" with the timer's state, and closed by `button`.
    void press(const char* button = "BitBtn2");

    std::unique_ptr<ProgramFixture> m_fx;
    QStringList m_opened;
};

void TestSearch::init()
{
    m_fx = std::make_unique<ProgramFixture>();
    m_fx->createProgram();
    m_opened.clear();
}

void TestSearch::cleanup()
{
    m_fx.reset();
}

void TestSearch::press(const char* button)
{
    const QString closeWith = QString::fromLatin1(button);
    auto record = [this, closeWith](QDialog* window, const QString& what) {
        m_opened.append(what + (timerRunning() ? QStringLiteral(" (reloj en marcha)") : QString()));
        window->findChild<QAbstractButton*>(closeWith)->click();
    };
    ModalWatch card(Direccion_Form, [record] {
        record(Direccion_Form, QStringLiteral("card:") + Direccion_Form->ui->DBEditNombre->text());
    });
    ModalWatch reminder(AddReminder_Form, [record] {
        record(AddReminder_Form,
               QStringLiteral("reminder:") + DataModuleReminder->TableReminder->asString("Recordatorio"));
    });
    QTest::mouseClick(Buscar_Form->ui->BitBtn1, Qt::LeftButton);
    // Neither window is left open or modal.
    QVERIFY(!Direccion_Form->isVisible());
    QVERIFY(!AddReminder_Form->isVisible());
    QVERIFY(timerRunning());
}

void TestSearch::addressSearchContinues()
{
    addCard(QStringLiteral("Ana García"));
    addCard(QStringLiteral("Pedro"));
    addCard(QStringLiteral("Anabel"));
    addCard(QStringLiteral("Luis"));
    DataModuleReminder->TableLibreta->first();
    Direcciones_Form->show();
    QTest::mouseClick(Direcciones_Form->ui->BitBtn4, Qt::LeftButton);
    QVERIFY(Buscar_Form->isVisible());
    QCOMPARE(Buscar_Form->Label1->text(), kDireccion);
    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("Ana"));

    press("BitBtn1"); // accepted unchanged
    press();
    QCOMPARE(m_opened, (QStringList{"card:Ana García", "card:Anabel"}));
    QVERIFY(m_fx->messages.isEmpty());

    // From Luis to the end nothing matches: asked once, and Yes starts from the top.
    m_fx->answers << QMessageBox::Yes;
    press();
    QCOMPARE(m_opened, (QStringList{"card:Ana García", "card:Anabel", "card:Ana García"}));
    QCOMPARE(m_fx->messages.size(), 1);
    QCOMPARE(m_fx->messages[0].text, "Nombre no encontrado, ¿volver a buscar desde el principio?");
    QCOMPARE(m_fx->messages[0].caption, kDireccion);
    QCOMPARE(m_fx->messages[0].icon, QMessageBox::Question);
    QCOMPARE(m_fx->messages[0].buttons, QMessageBox::Yes | QMessageBox::No);

    // The dialog stays, with its text.
    QVERIFY(Buscar_Form->isVisible());
    QCOMPARE(Buscar_Form->Edit1->text(), "Ana");
    QCOMPARE(StoredCards(m_fx->dataFolder()).count(), 4);
}

void TestSearch::reminderSearchContinues()
{
    addFindable(QStringLiteral("Llamar a Ana"));
    addFindable(QStringLiteral("Comprar pan"));
    addFindable(QStringLiteral("Ana: cumpleaños"));
    addFindable(QStringLiteral("Comprar leche"));
    DataModuleReminder->TableReminder->first();
    Ostiva_Form->ui->ToolButton3->click();
    QCOMPARE(Buscar_Form->Label1->text(), kRecordatorio);
    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("Ana"));

    press();
    press();
    QCOMPARE(m_opened, (QStringList{"reminder:Llamar a Ana", "reminder:Ana: cumpleaños"}));
    QVERIFY(m_fx->messages.isEmpty());

    // From the last reminder to the end nothing matches: one question; No ends it.
    press();
    QCOMPARE(m_opened.size(), 2);
    QCOMPARE(m_fx->messageTexts(), QStringList{"Recordatorio no encontrado, ¿volver a buscar desde el principio?"});
    QCOMPARE(m_fx->messages[0].caption, kRecordatorio);
}

void TestSearch::noMatchAsksOncePerPass_data()
{
    QTest::addColumn<QString>("heading");
    QTest::addColumn<int>("yesAnswers");

    for (const QString& heading : {kRecordatorio, kDireccion}) {
        QTest::addRow("%s, No", qPrintable(heading)) << heading << 0;
        QTest::addRow("%s, Sí y No", qPrintable(heading)) << heading << 2;
    }
}

void TestSearch::noMatchAsksOncePerPass()
{
    QFETCH(QString, heading);
    QFETCH(int, yesAnswers);

    // Matching is case-sensitive: "ana" is in none of them.
    addCard(QStringLiteral("Ana"));
    addCard(QStringLiteral("ANA"));
    addFindable(QStringLiteral("Llamar a Ana"));
    addFindable(QStringLiteral("Comprar pan"));
    Buscar_Form->Label1->setText(heading);
    Buscar_Form->show();
    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("ana"));
    for (int i = 0; i < yesAnswers; ++i)
        m_fx->answers << QMessageBox::Yes;
    m_fx->answers << QMessageBox::No;

    press();
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(m_fx->messages.size(), yesAnswers + 1);
    for (const auto& message : m_fx->messages)
        QCOMPARE(message.caption, heading);
}

void TestSearch::headingDecidesKind_data()
{
    QTest::addColumn<QString>("opener");
    QTest::addColumn<QString>("before"); // the heading left by the last use
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("opened");

    QTest::newRow("recordatorios") << "ToolButton3" << kDireccion << kRecordatorio << "reminder:Ana llama";
    QTest::newRow("direcciones") << "ToolButton7" << kRecordatorio << kDireccion << "card:Ana";
    QTest::newRow("listado") << "BitBtn4" << kRecordatorio << kDireccion << "card:Ana";
}

void TestSearch::headingDecidesKind()
{
    QFETCH(QString, opener);
    QFETCH(QString, before);
    QFETCH(QString, heading);
    QFETCH(QString, opened);

    addCard(QStringLiteral("Ana"));
    addFindable(QStringLiteral("Ana llama"));
    Buscar_Form->Label1->setText(before);
    if (opener == QLatin1String("BitBtn4"))
        Direcciones_Form->ui->BitBtn4->click();
    else
        Ostiva_Form->findChild<QAbstractButton*>(opener)->click();
    QVERIFY(Buscar_Form->isVisible());
    QCOMPARE(Buscar_Form->windowTitle(), "Buscar");
    QCOMPARE(Buscar_Form->Label1->text(), heading);

    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("Ana"));
    press();
    QCOMPARE(m_opened, QStringList{opened});
}

void TestSearch::emptyTableDoesNothing_data()
{
    QTest::addColumn<QString>("heading");
    QTest::newRow("recordatorios") << kRecordatorio;
    QTest::newRow("direcciones") << kDireccion;
}

void TestSearch::emptyTableDoesNothing()
{
    QFETCH(QString, heading);

    // The other table has a record, which must not matter.
    if (heading == kRecordatorio)
        addCard(QStringLiteral("Ana"));
    else
        addFindable(QStringLiteral("Ana"));
    Buscar_Form->Label1->setText(heading);
    Buscar_Form->show();
    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("Ana"));
    press();
    QVERIFY(m_opened.isEmpty());
    QVERIFY(m_fx->messages.isEmpty());
    QVERIFY(Buscar_Form->isVisible());
}

void TestSearch::modalCardKeepsOpenOnMissingName()
{
    const qint64 id = addCard(QStringLiteral("Ana"));
    DataModuleReminder->TableLibreta->first();
    Buscar_Form->Label1->setText(kDireccion);
    Buscar_Form->show();
    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("Ana"));

    bool stillOpen = false;
    ModalWatch watch(Direccion_Form, [&stillOpen] {
        Ui::TDireccion_Form* card = Direccion_Form->ui.get();
        card->DBEditNombre->selectAll();
        QTest::keyClick(card->DBEditNombre, Qt::Key_Delete);
        card->BitBtn1->click();
        stillOpen = Direccion_Form->isVisible() && Direccion_Form->isModal();
        QTest::keyClicks(card->DBEditNombre, QStringLiteral("Eva"));
        card->BitBtn1->click();
    });
    QTest::mouseClick(Buscar_Form->ui->BitBtn1, Qt::LeftButton);

    QVERIFY(watch.ran());
    QVERIFY(stillOpen);
    QCOMPARE(m_fx->messageTexts(), QStringList{"FaltanDatos: Nombre"});
    QVERIFY(!Direccion_Form->isVisible());
    QVERIFY(timerRunning());
    QCOMPARE(StoredCards(m_fx->dataFolder()).value(id, "Nombre").toString(), "Eva");
}

void TestSearch::searchWhileCardOpen()
{
    addCard(QStringLiteral("Ana"));
    const qint64 luis = addCard(QStringLiteral("Luis"));
    QVERIFY(DataModuleReminder->QueryLibreta->locate("ID", luis));
    DataModuleReminder->EditarDireccion();
    QVERIFY(Direccion_Form->isVisible());

    Buscar_Form->Label1->setText(kDireccion);
    Buscar_Form->show();
    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("Ana"));
    QTest::mouseClick(Buscar_Form->ui->BitBtn1, Qt::LeftButton);

    // The open card keeps its record; nothing else is opened.
    QCOMPARE(m_fx->messageTexts(), QStringList{"Cierre primero la ficha de dirección abierta."});
    QCOMPARE(DataModuleReminder->TableLibreta->state(), engine::DataState::Edit);
    QCOMPARE(DataModuleReminder->TableLibreta->asInteger("ID"), luis);
    QVERIFY(!Direccion_Form->isModal());
    Direccion_Form->ui->BitBtn2->click();
}

// A search opens the editor on whatever page it was left on. Controls of a page not shown
// yet read the record only when their page shows; nothing that decides or saves may go by
// a control that still shows an earlier card.
void TestSearch::cardOnAnotherPageShowsItsOwnRecord()
{
    const qint64 ana = addCard(QStringLiteral("Ana"));
    const qint64 anabel = addCard(QStringLiteral("Anabel"));
    DataModuleReminder->TableLibreta->first();
    Ui::TDireccion_Form* card = Direccion_Form->ui.get();
    // A new card left on the "Notas" page and cancelled: the name edit last showed "".
    DataModuleReminder->AnadirDireccion();
    card->PageControl1->setCurrentWidget(card->TabSheet5);
    card->BitBtn2->click();
    QCOMPARE(card->DBEditNombre->text(), QString());

    Buscar_Form->Label1->setText(kDireccion);
    Buscar_Form->show();
    QTest::keyClicks(Buscar_Form->Edit1, QStringLiteral("Ana"));

    // The first match, on "Notas", cancelled without visiting "Nombre".
    QString page;
    ModalWatch first(Direccion_Form, [&] {
        page = card->PageControl1->currentWidget()->objectName();
        card->BitBtn2->click();
    });
    QTest::mouseClick(Buscar_Form->ui->BitBtn1, Qt::LeftButton);
    QVERIFY(first.ran());
    QCOMPARE(page, QStringLiteral("TabSheet5"));

    // The second match, accepted straight from "Notas": its stored name counts, not what
    // the hidden name edit showed last.
    ModalWatch second(Direccion_Form, [&] {
        page = card->PageControl1->currentWidget()->objectName();
        card->BitBtn1->click();
        if (Direccion_Form->isVisible())
            card->BitBtn2->click();
    });
    QTest::mouseClick(Buscar_Form->ui->BitBtn1, Qt::LeftButton);
    QVERIFY(second.ran());
    QCOMPARE(page, QStringLiteral("TabSheet5"));
    QCOMPARE(m_fx->messageTexts(), QStringList());

    // The search starts over at the first card: "Nombre" shows it, and a Nick typed there
    // goes to it.
    ModalWatch third(Direccion_Form, [&] {
        card->PageControl1->setCurrentWidget(card->TabSheet1);
        QTest::keyClicks(card->DBEditNick, card->DBEditNombre->text());
        card->BitBtn1->click();
    });
    QTest::mouseClick(Buscar_Form->ui->BitBtn1, Qt::LeftButton);
    QVERIFY(third.ran());
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.value(ana, "Nick").toString(), QStringLiteral("Ana"));
    QCOMPARE(stored.value(anabel, "Nick").toString(), QString());
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
