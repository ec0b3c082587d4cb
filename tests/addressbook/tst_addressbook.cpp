// The address book through its real windows: the card editor (e-mail list, accept and
// cancel, field sizes, dates, mail and web links) and the address list (order, delete).

#include "AddressHelpers.h"
#include "support/ProgramFixture.h"

#include "addressbook/Direccion_Unit.h"
#include "addressbook/Direcciones_Unit.h"
#include "app/Ostiva_Unit.h"
#include "core/DateText.h"
#include "core/Error.h"
#include "store/Data_Unit.h"
#include "ui_Direccion_Unit.h"
#include "ui_Direcciones_Unit.h"
#include "ui_Ostiva_Unit.h"

#include <QClipboard>
#include <QTest>

#include <memory>

using namespace addresstest;

namespace {

engine::Table* libreta()
{
    return DataModuleReminder->TableLibreta;
}
Ui::TDireccion_Form* card()
{
    return Direccion_Form->ui.get();
}
Ui::TDirecciones_Form* list()
{
    return Direcciones_Form->ui.get();
}

QString text(const QString& field)
{
    return libreta()->value(field).toString();
}

const QString kCrLf = QStringLiteral("\r\n");

} // namespace

class TestAddressBook : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listaCorreos_data();
    void listaCorreos();
    void emailListOnNewCard();
    void quitarOnCardJustShown();
    void predeterminar();
    void acceptAddsTypedAddress_data();
    void acceptAddsTypedAddress();
    void missingNameThenAccept();
    void cancelDropsCard_data();
    void cancelDropsCard();
    void addOrEditWhileOpen();
    void startOrder();
    void consulta_data();
    void consulta();
    void consultaRefusesFields_data();
    void consultaRefusesFields();
    void borrar_data();
    void borrar();
    void emptyListDoesNothing();
    void borrarStaleRow();
    void borrarWhileCardOpen();
    void fieldLengths_data();
    void fieldLengths();
    void dateFields_data();
    void dateFields();
    void dateFieldsFollowHiddenChanges();
    void mailtoUrl_data();
    void mailtoUrl();
    void mailFromCard();
    void webUrl_data();
    void webUrl();
    void web_data();
    void web();

private:
    void openNewCard();
    void editCard(qint64 id);
    void accept();

    std::unique_ptr<ProgramFixture> m_fx;
};

void TestAddressBook::init()
{
    m_fx = std::make_unique<ProgramFixture>();
    m_fx->createProgram();
    Direcciones_Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(Direcciones_Form));
    QVERIFY(timerRunning());
}

void TestAddressBook::cleanup()
{
    m_fx.reset();
}

void TestAddressBook::openNewCard()
{
    QTest::mouseClick(list()->BitBtn1, Qt::LeftButton);
    QVERIFY(Direccion_Form->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(Direccion_Form));
    QCOMPARE(libreta()->state(), engine::DataState::Insert);
    QVERIFY(!timerRunning());
}

void TestAddressBook::editCard(qint64 id)
{
    QVERIFY(DataModuleReminder->QueryLibreta->locate(QStringLiteral("ID"), id));
    QTest::mouseClick(list()->BitBtn2, Qt::LeftButton);
    QVERIFY(Direccion_Form->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(Direccion_Form));
    QCOMPARE(libreta()->asInteger(QStringLiteral("ID")), id);
    QCOMPARE(libreta()->state(), engine::DataState::Edit);
}

void TestAddressBook::accept()
{
    QTest::mouseClick(card()->BitBtn1, Qt::LeftButton);
}

// ---- the e-mail list as text -------------------------------------------------------

void TestAddressBook::listaCorreos_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("arg"); // the address, or the line number
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("newText");
    QTest::addColumn<QString>("newEmail");

    // clang-format off
    QTest::newRow("agregar primera")           << "agregar" << "" << "" << "a@x.es" << true << "a@x.es\r\n" << "a@x.es";
    QTest::newRow("agregar segunda")           << "agregar" << "a@x.es\r\n" << "a@x.es" << "b@x.es" << true << "a@x.es\r\nb@x.es\r\n" << "a@x.es";
    QTest::newRow("agregar sin arroba")        << "agregar" << "a@x.es\r\n" << "a@x.es" << "bx.es" << false << "a@x.es\r\n" << "a@x.es";
    QTest::newRow("agregar repetida")          << "agregar" << "a@x.es\r\n" << "a@x.es" << "a@x.es" << true << "a@x.es\r\na@x.es\r\n" << "a@x.es";
    QTest::newRow("agregar sin salto final")   << "agregar" << "a@x.es" << "a@x.es" << "b@x.es" << true << "a@x.es\r\nb@x.es\r\n" << "a@x.es";
    QTest::newRow("agregar sin predeterminada") << "agregar" << "a@x.es\r\n" << "" << "b@x.es" << true << "a@x.es\r\nb@x.es\r\n" << "b@x.es";
    QTest::newRow("quitar predeterminada")     << "quitar" << "a\r\nb\r\n" << "a" << "0" << true << "b\r\n" << "b";
    QTest::newRow("quitar otra")               << "quitar" << "a\r\nb\r\n" << "a" << "1" << true << "a\r\n" << "a";
    QTest::newRow("quitar la última")          << "quitar" << "b\r\n" << "b" << "0" << true << "" << "";
    QTest::newRow("quitar línea vacía final")  << "quitar" << "a\r\nb\r\n" << "a" << "2" << false << "a\r\nb\r\n" << "a";
    QTest::newRow("quitar en lista vacía")     << "quitar" << "" << "" << "0" << false << "" << "";
    QTest::newRow("quitar con saltos LF")      << "quitar" << "a\nb\nc" << "b" << "1" << true << "a\r\nc\r\n" << "a";
    QTest::newRow("predeterminar")             << "predeterminar" << "a\r\nb\r\n" << "a" << "1" << true << "a\r\nb\r\n" << "b";
    QTest::newRow("predeterminar línea vacía final")    << "predeterminar" << "a\r\nb\r\n" << "a" << "2" << false << "a\r\nb\r\n" << "a";
    QTest::newRow("predeterminar línea vacía interior") << "predeterminar" << "a\r\n\r\nb\r\n" << "a" << "1" << false << "a\r\n\r\nb\r\n" << "a";
    // clang-format on
}

void TestAddressBook::listaCorreos()
{
    QFETCH(QString, op);
    QFETCH(QString, text);
    QFETCH(QString, email);
    QFETCH(QString, arg);
    QFETCH(bool, changed);
    QFETCH(QString, newText);
    QFETCH(QString, newEmail);

    bool result = false;
    if (op == QLatin1String("agregar"))
        result = ListaCorreos::agregar(text, email, arg);
    else if (op == QLatin1String("quitar"))
        result = ListaCorreos::quitar(text, email, arg.toInt());
    else
        result = ListaCorreos::predeterminar(text, email, arg.toInt());
    QCOMPARE(result, changed);
    QCOMPARE(text, newText);
    QCOMPARE(email, newEmail);
}

// ---- the e-mail list in the card ------------------------------------------------------

void TestAddressBook::emailListOnNewCard()
{
    openNewCard();
    QTest::keyClicks(card()->DBEditNombre, QStringLiteral("Ana"));
    for (const QString& address : {QStringLiteral("a@x.es"), QStringLiteral("b@x.es")}) {
        QTest::keyClicks(card()->Edit1, address);
        QTest::mouseClick(card()->Button1, Qt::LeftButton);
        QVERIFY(card()->Edit1->text().isEmpty());
    }
    QCOMPARE(text("Emails"), "a@x.es\r\nb@x.es\r\n");
    QCOMPARE(card()->DBMemoEmails->toPlainText(), "a@x.es\nb@x.es\n");
    QCOMPARE(card()->DBTextEmail->text(), "a@x.es");

    // Right after "Agregar" the caret stands on the empty line: nothing is removed.
    QTest::mouseClick(card()->Button2, Qt::LeftButton);
    QCOMPARE(text("Emails"), "a@x.es\r\nb@x.es\r\n");

    clickLine(card()->DBMemoEmails, 0);
    QCOMPARE(Direccion_Form->lineaActual(), 0);
    QTest::mouseClick(card()->Button2, Qt::LeftButton);
    QCOMPARE(text("Emails"), "b@x.es\r\n");
    QCOMPARE(text("Email"), "b@x.es");
    QCOMPARE(card()->DBTextEmail->text(), "b@x.es");
    QCOMPARE(card()->DBMemoEmails->toPlainText(), "b@x.es\n");

    // b took a's place as the current line.
    QTest::mouseClick(card()->Button2, Qt::LeftButton);
    QVERIFY(libreta()->isNull(QStringLiteral("Emails")));
    QVERIFY(libreta()->isNull(QStringLiteral("Email")));
    QCOMPARE(card()->DBTextEmail->text(), "");

    accept();
    QVERIFY(!Direccion_Form->isVisible());
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.names(), QStringList{"Ana"});
    const qint64 id = libreta()->asInteger(QStringLiteral("ID"));
    QVERIFY(stored.value(id, QStringLiteral("Emails")).isNull());
    QVERIFY(stored.value(id, QStringLiteral("Email")).isNull());
}

void TestAddressBook::quitarOnCardJustShown()
{
    const qint64 id = addCard({{"Nombre", "Ana"}, {"Emails", "a@x.es\r\nb@x.es\r\n"}, {"Email", "b@x.es"}});
    editCard(id);
    QTest::mouseClick(card()->Button2, Qt::LeftButton);
    accept();

    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.value(id, "Emails").toString(), "b@x.es\r\n");
    QCOMPARE(stored.value(id, "Email").toString(), "b@x.es");
}

void TestAddressBook::predeterminar()
{
    const qint64 id = addCard({{"Nombre", "Ana"}, {"Emails", "a@x.es\r\nb@x.es\r\n"}, {"Email", "a@x.es"}});
    editCard(id);
    QTest::keyClicks(card()->Edit1, QStringLiteral("c@x.es"));
    QTest::mouseClick(card()->Button1, Qt::LeftButton);

    // The caret is on the empty line after the last address.
    QTest::mouseClick(card()->Button3, Qt::LeftButton);
    QCOMPARE(text("Email"), "a@x.es");

    clickLine(card()->DBMemoEmails, 1);
    QTest::mouseClick(card()->Button3, Qt::LeftButton);
    QCOMPARE(text("Email"), "b@x.es");
    QCOMPARE(card()->DBTextEmail->text(), "b@x.es");
    // The current line stays where the user put it.
    QCOMPARE(Direccion_Form->lineaActual(), 1);
    accept();

    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.value(id, "Emails").toString(), "a@x.es\r\nb@x.es\r\nc@x.es\r\n");
    QCOMPARE(stored.value(id, "Email").toString(), "b@x.es");
}

void TestAddressBook::acceptAddsTypedAddress_data()
{
    QTest::addColumn<QString>("emails");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("storedEmails");
    QTest::addColumn<QString>("storedEmail");

    // The default address keeps at most its field's 50 characters; the list keeps it whole.
    const QString longAddress = QString(60, QLatin1Char('n')) + QStringLiteral("@x.es");
    // clang-format off
    QTest::newRow("sin predeterminada")   << "" << "" << "c@x.es" << "c@x.es\r\n" << "c@x.es";
    QTest::newRow("con predeterminada")   << "a@x.es\r\n" << "a@x.es" << "c@x.es" << "a@x.es\r\nc@x.es\r\n" << "a@x.es";
    QTest::newRow("sin arroba")           << "a@x.es\r\n" << "a@x.es" << "c.x.es" << "a@x.es\r\n" << "a@x.es";
    QTest::newRow("predeterminada larga") << "" << "" << longAddress << longAddress + kCrLf << longAddress.left(50);
    // clang-format on
}

void TestAddressBook::acceptAddsTypedAddress()
{
    QFETCH(QString, emails);
    QFETCH(QString, email);
    QFETCH(QString, typed);
    QFETCH(QString, storedEmails);
    QFETCH(QString, storedEmail);

    const qint64 id = addCard({{"Nombre", "Ana"}, {"Emails", emails}, {"Email", email}});
    editCard(id);
    QTest::keyClicks(card()->Edit1, typed);
    accept();
    QVERIFY(!Direccion_Form->isVisible());
    QVERIFY(m_fx->messages.isEmpty());

    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.value(id, "Emails").toString(), storedEmails);
    QCOMPARE(stored.value(id, "Email").toString(), storedEmail);
}

// ---- accept and cancel ----------------------------------------------------------------

void TestAddressBook::missingNameThenAccept()
{
    openNewCard();
    card()->PageControl1->setCurrentWidget(card()->TabSheet5);
    QTest::keyClicks(card()->DBMemoNotas, QStringLiteral("sin nombre"));
    accept();

    QCOMPARE(m_fx->messages.size(), 1);
    QCOMPARE(m_fx->messages[0].text, "FaltanDatos: Nombre");
    QCOMPARE(m_fx->messages[0].caption, "Pennaro 2.0");
    QCOMPARE(m_fx->messages[0].icon, QMessageBox::NoIcon);
    QCOMPARE(m_fx->messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(Direccion_Form->isVisible());
    QCOMPARE(card()->PageControl1->currentWidget(), card()->TabSheet1);
    QTRY_COMPARE(QApplication::focusWidget(), card()->DBEditNombre);
    QCOMPARE(StoredCards(m_fx->dataFolder()).count(), 0);
    QVERIFY(!timerRunning());

    QTest::keyClicks(card()->DBEditNombre, QStringLiteral("Luis"));
    accept();
    QCOMPARE(m_fx->messages.size(), 1);
    QVERIFY(!Direccion_Form->isVisible());
    QVERIFY(timerRunning());
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.names(), QStringList{"Luis"});
    // The lists show the new card.
    QCOMPARE(column(DataModuleReminder->QueryLibreta, "Nombre"), QStringList{"Luis"});
    QCOMPARE(list()->DBGrid1->model()->rowCount(), 1);
}

void TestAddressBook::cancelDropsCard_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("existing");

    for (const char* how : {"Cancelar", "Escape", "cierre"}) {
        QTest::addRow("%s, ficha nueva", how) << how << false;
        QTest::addRow("%s, ficha guardada", how) << how << true;
    }
}

void TestAddressBook::cancelDropsCard()
{
    QFETCH(QString, how);
    QFETCH(bool, existing);

    qint64 id = -1;
    if (existing) {
        id = addCard({{"Nombre", "Ana"}, {"Nick", "anita"}});
        editCard(id);
    } else {
        openNewCard();
    }
    QTest::keyClicks(card()->DBEditNombre, QStringLiteral("Cambiado"));
    QTest::keyClicks(card()->DBEditNick, QStringLiteral("nuevo"));
    QTest::keyClicks(card()->Edit1, QStringLiteral("c@x.es"));

    if (how == QLatin1String("Cancelar"))
        QTest::mouseClick(card()->BitBtn2, Qt::LeftButton);
    else if (how == QLatin1String("Escape"))
        QTest::keyClick(card()->DBEditNick, Qt::Key_Escape);
    else
        QVERIFY(Direccion_Form->close()); // the title bar's close box

    QVERIFY(!Direccion_Form->isVisible());
    QVERIFY(timerRunning());
    QCOMPARE(libreta()->state(), engine::DataState::Browse);
    QVERIFY(card()->Edit1->text().isEmpty());
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.count(), existing ? 1 : 0);
    if (existing) {
        QCOMPARE(stored.value(id, "Nombre").toString(), "Ana");
        QCOMPARE(stored.value(id, "Nick").toString(), "anita");
        QVERIFY(stored.value(id, "Emails").isNull());
    }
}

void TestAddressBook::addOrEditWhileOpen()
{
    const qint64 ana = addCard(QStringLiteral("Ana"));
    const qint64 luis = addCard(QStringLiteral("Luis"));

    // Adding while the editor is open does nothing.
    editCard(ana);
    QTest::keyClicks(card()->DBEditNick, QStringLiteral("anita"));
    QTest::mouseClick(list()->BitBtn1, Qt::LeftButton);
    QCOMPARE(libreta()->state(), engine::DataState::Edit);
    QCOMPARE(libreta()->asInteger("ID"), ana);
    QCOMPARE(card()->DBEditNick->text(), "anita");

    // Editing another card posts the changed one and shows the other in the same window.
    editCard(luis);
    QCOMPARE(card()->DBEditNombre->text(), "Luis");
    QCOMPARE(StoredCards(m_fx->dataFolder()).value(ana, "Nick").toString(), "anita");
    QTest::mouseClick(card()->BitBtn2, Qt::LeftButton);
    QVERIFY(timerRunning());
}

// ---- the list's order ------------------------------------------------------------------

void TestAddressBook::startOrder()
{
    addCard(QStringLiteral("Luis"));
    addCard(QStringLiteral("Ana"));
    addCard(QStringLiteral("Pedro"));
    // By name ascending, although "DESCENDENTE" is checked.
    QVERIFY(list()->RadioButton2->isChecked());
    QCOMPARE(list()->ComboBox2->currentText(), "Nombre");
    QCOMPARE(column(DataModuleReminder->QueryLibreta, "Nombre"), (QStringList{"Ana", "Luis", "Pedro"}));
    QCOMPARE(DataModuleReminder->QueryLibreta->sql(),
             (QStringList{"SELECT *", "FROM Direcciones.DB", "ORDER BY Nombre, Email DESC"}));
}

void TestAddressBook::consulta_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("radios"); // clicked in this order after choosing the field
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("orderLine");

    // clang-format off
    QTest::newRow("Ciudad descendente") << "Ciudad" << QStringList{} << QStringList{"Luis", "Ana", "Pedro"} << "ORDER BY Ciudad DESC";
    QTest::newRow("Tel ascendente")     << "Tel" << QStringList{"1"} << QStringList{"Luis", "Pedro", "Ana"} << "ORDER BY Tel ASC";
    QTest::newRow("Tel ascendente, luego descendente") << "Tel" << QStringList{"1", "2"} << QStringList{"Ana", "Pedro", "Luis"} << "ORDER BY Tel DESC";
    // clang-format on
}

void TestAddressBook::consulta()
{
    QFETCH(QString, field);
    QFETCH(QStringList, radios);
    QFETCH(QStringList, names);
    QFETCH(QString, orderLine);

    addCard({{"Nombre", "Ana"}, {"Ciudad", "Bilbao"}, {"Tel", "944000003"}});
    addCard({{"Nombre", "Luis"}, {"Ciudad", "Zamora"}, {"Tel", "911000001"}});
    addCard({{"Nombre", "Pedro"}, {"Ciudad", "Avila"}, {"Tel", "922000002"}});
    Ostiva_Form->show();
    Ostiva_Form->ui->PageControl1->setCurrentWidget(Ostiva_Form->ui->TabSheet2);

    list()->ComboBox2->setCurrentIndex(list()->ComboBox2->findText(field));
    for (const QString& radio : radios)
        QTest::mouseClick(radio == QLatin1String("1") ? list()->RadioButton1 : list()->RadioButton2, Qt::LeftButton);

    QCOMPARE(DataModuleReminder->QueryLibreta->sql(), (QStringList{"SELECT *", "FROM Direcciones.DB", orderLine}));
    QCOMPARE(column(DataModuleReminder->QueryLibreta, "Nombre"), names);
    QCOMPARE(DataModuleReminder->QueryLibreta->recNo(), 0);
    // Both grids show the shared query in its new order.
    QCOMPARE(list()->DBGrid1->model()->index(0, 0).data().toString(), names.first());
    QCOMPARE(Ostiva_Form->ui->DBGrid1->model()->index(0, 0).data().toString(), names.first());
    QVERIFY(m_fx->messages.isEmpty());
}

void TestAddressBook::consultaRefusesFields_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("field");

    // clang-format off
    QTest::newRow("dos campos")          << "Direcciones.DB" << "Nombre DESC, ID";
    QTest::newRow("orden inyectado")     << "Direcciones.DB" << "Nombre; DELETE FROM Direcciones";
    QTest::newRow("campo de otra tabla") << "Direcciones.DB" << "Recordatorio";
    QTest::newRow("vacío")               << "Direcciones.DB" << "";
    QTest::newRow("otra tabla")          << "Otra.DB" << "Nombre";
    QTest::newRow("tabla inyectada")     << "Direcciones.DB WHERE Nombre = \"x\"" << "Nombre";
    // clang-format on
}

void TestAddressBook::consultaRefusesFields()
{
    QFETCH(QString, table);
    QFETCH(QString, field);

    addCard(QStringLiteral("Ana"));
    engine::Query* query = DataModuleReminder->QueryLibreta;
    const QStringList before = query->sql();
    QVERIFY_THROWS_EXCEPTION(EngineError, DataModuleReminder->Consulta(table, query, field, true));
    QCOMPARE(query->sql(), before);
    QVERIFY(query->isActive());
    QCOMPARE(StoredCards(m_fx->dataFolder()).count(), 1);

    // A field of the table in another spelling goes in as the table declares it.
    DataModuleReminder->Consulta(QStringLiteral("Direcciones.DB"), query, QStringLiteral("ciudad"), true);
    QCOMPARE(query->sql().last(), "ORDER BY Ciudad ASC");
}

// ---- delete -----------------------------------------------------------------------------

void TestAddressBook::borrar_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Sí") << true;
    QTest::newRow("No") << false;
}

void TestAddressBook::borrar()
{
    QFETCH(bool, yes);

    addCard(QStringLiteral("Ana"));
    const qint64 luis = addCard(QStringLiteral("Luis"));
    addCard(QStringLiteral("Pedro"));
    Ostiva_Form->show();
    Ostiva_Form->ui->PageControl1->setCurrentWidget(Ostiva_Form->ui->TabSheet2);
    QVERIFY(QTest::qWaitForWindowExposed(Ostiva_Form));

    // Pick Luis's row in the list's grid.
    DBGrid* grid = list()->DBGrid1;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 0)).center());
    QCOMPARE(DataModuleReminder->QueryLibreta->asInteger("ID"), luis);

    m_fx->answers << (yes ? QMessageBox::Yes : QMessageBox::No);
    QTest::mouseClick(list()->BitBtn3, Qt::LeftButton);

    QCOMPARE(m_fx->messages.size(), 1);
    QCOMPARE(m_fx->messages[0].text, "¿eliminar Dirección?");
    QCOMPARE(m_fx->messages[0].caption, "Atención");
    QCOMPARE(m_fx->messages[0].icon, QMessageBox::Question);
    QCOMPARE(m_fx->messages[0].buttons, QMessageBox::Yes | QMessageBox::No);

    const QStringList names = yes ? QStringList{"Ana", "Pedro"} : QStringList{"Ana", "Luis", "Pedro"};
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.names(), names);
    QCOMPARE(column(DataModuleReminder->QueryLibreta, "Nombre"), names);
    QCOMPARE(grid->model()->rowCount(), names.size());
    QCOMPARE(Ostiva_Form->ui->DBGrid1->model()->rowCount(), names.size());
}

void TestAddressBook::emptyListDoesNothing()
{
    QTest::mouseClick(list()->BitBtn3, Qt::LeftButton);
    QTest::mouseClick(list()->BitBtn2, Qt::LeftButton);
    QVERIFY(m_fx->messages.isEmpty());
    QVERIFY(!Direccion_Form->isVisible());
    QVERIFY(timerRunning());
}

void TestAddressBook::borrarStaleRow()
{
    const qint64 ana = addCard(QStringLiteral("Ana"));
    const qint64 luis = addCard(QStringLiteral("Luis"));
    engine::Query* query = DataModuleReminder->QueryLibreta;
    QVERIFY(query->locate("ID", luis));
    // The card goes from the table while the list still shows its row.
    QVERIFY(libreta()->findKey(luis));
    libreta()->remove();
    QCOMPARE(query->recNo(), 1);

    m_fx->answers << QMessageBox::Yes;
    QTest::mouseClick(list()->BitBtn3, Qt::LeftButton);

    QCOMPARE(m_fx->messages.size(), 2);
    QCOMPARE(m_fx->messages[1].icon, QMessageBox::Critical);
    QVERIFY2(m_fx->messages[1].text.contains("no se ha borrado nada"), qPrintable(m_fx->messages[1].text));
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.count(), 1);
    QVERIFY(stored.exists(ana));
    QCOMPARE(column(query, "Nombre"), QStringList{"Ana"});
}

void TestAddressBook::borrarWhileCardOpen()
{
    const qint64 ana = addCard(QStringLiteral("Ana"));
    const qint64 luis = addCard(QStringLiteral("Luis"));
    editCard(ana);
    QVERIFY(DataModuleReminder->QueryLibreta->locate("ID", luis));
    QTest::mouseClick(list()->BitBtn3, Qt::LeftButton);

    QCOMPARE(m_fx->messageTexts(), QStringList{"Cierre primero la ficha de dirección abierta."});
    QCOMPARE(StoredCards(m_fx->dataFolder()).count(), 2);
    QCOMPARE(libreta()->state(), engine::DataState::Edit);
    QCOMPARE(libreta()->asInteger("ID"), ana);
}

// ---- field sizes -------------------------------------------------------------------------

void TestAddressBook::fieldLengths_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("size");

    for (const engine::FieldDef& def : TDataModuleReminder::direccionesFields()) {
        if (def.type != engine::FieldType::Text || def.name == QLatin1String("Email") ||
            def.name == QLatin1String("Sexo"))
            continue;
        QTest::newRow(qPrintable(def.name)) << QStringLiteral("DBEdit") + def.name << def.name << def.size;
    }
}

void TestAddressBook::fieldLengths()
{
    QFETCH(QString, control);
    QFETCH(QString, field);
    QFETCH(int, size);

    openNewCard();
    if (field != QLatin1String("Nombre"))
        QTest::keyClicks(card()->DBEditNombre, QStringLiteral("Ana"));
    auto* edit = Direccion_Form->findChild<QLineEdit*>(control);
    QVERIFY(edit);
    // The limit comes with the field, once the edit is on screen.
    card()->PageControl1->setCurrentWidget(edit->parentWidget());
    QCOMPARE(edit->maxLength(), size);

    const QString longText = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz").repeated(2);
    QGuiApplication::clipboard()->setText(longText);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("mas"));
    QCOMPARE(edit->text(), longText.left(size));

    accept();
    QVERIFY2(m_fx->messages.isEmpty(), qPrintable(m_fx->messageTexts().join('|')));
    QVERIFY(!Direccion_Form->isVisible());
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.count(), 1);
    QCOMPARE(stored.value(libreta()->asInteger("ID"), field).toString(), longText.left(size));
}

// ---- dates -------------------------------------------------------------------------------

void TestAddressBook::dateFields_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("date"); // invalid: the text is refused

    const QDate christmas(1990, 12, 25);
    // clang-format off
    QTest::newRow("forma mostrada") << "DBEditCumpleanos" << "Cumpleanos" << DBDateEdit::dateText(christmas) << christmas;
    QTest::newRow("1899")          << "DBEditCumpleanos" << "Cumpleanos" << "31/12/1899" << QDate(1899, 12, 31);
    QTest::newRow("1950")          << "DBEditCumpleanos" << "Cumpleanos" << "16/3/1950" << QDate(1950, 3, 16);
    QTest::newRow("1975")          << "DBEditAniversario" << "Aniversario" << "01/01/1975" << QDate(1975, 1, 1);
    QTest::newRow("2030")          << "DBEditAniversario" << "Aniversario" << "15/03/2030" << QDate(2030, 3, 15);
    QTest::newRow("año de dos cifras") << "DBEditCumpleanos" << "Cumpleanos" << "16/3/50" << QDate();
    QTest::newRow("forma inglesa") << "DBEditCumpleanos" << "Cumpleanos" << "15 Mar 1950" << QDate();
    QTest::newRow("día/mes/año")   << "DBEditAniversario" << "Aniversario" << "25/12/1990" << christmas;
    QTest::newRow("29 de febrero bisiesto") << "DBEditCumpleanos" << "Cumpleanos" << "29/02/2028" << QDate(2028, 2, 29);
    QTest::newRow("vacía")         << "DBEditCumpleanos" << "Cumpleanos" << "" << QDate();
    QTest::newRow("31 de febrero") << "DBEditCumpleanos" << "Cumpleanos" << "31/02/1990" << QDate();
    QTest::newRow("texto")         << "DBEditAniversario" << "Aniversario" << "ayer" << QDate();
    QTest::newRow("solo el año")   << "DBEditCumpleanos" << "Cumpleanos" << "1990" << QDate();
    // clang-format on
}

void TestAddressBook::dateFields()
{
    QFETCH(QString, control);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QDate, date);

    const QDate before(2000, 1, 1);
    const qint64 id = addCard({{"Nombre", "Ana"}, {"Nick", "anita"}, {field, before}});
    editCard(id);
    auto* edit = Direccion_Form->findChild<DBDateEdit*>(control);
    QVERIFY(edit);

    QTest::keyClicks(card()->DBEditNick, QStringLiteral("2"));
    card()->PageControl1->setCurrentWidget(card()->TabSheet4);
    QCOMPARE(edit->text(), QStringLiteral("01/01/2000"));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, typed);
    accept();

    const bool refused = !date.isValid() && !typed.isEmpty();
    if (!refused) {
        QVERIFY2(m_fx->messages.isEmpty(), qPrintable(m_fx->messageTexts().join('|')));
        QVERIFY(!Direccion_Form->isVisible());
        StoredCards stored(m_fx->dataFolder());
        QCOMPARE(stored.value(id, field).toDate(), date);
        QCOMPARE(stored.value(id, "Nick").toString(), "anita2");
        return;
    }

    // Refused: the standard error box names the text, the card stays open, nothing is saved.
    QCOMPARE(m_fx->messages.size(), 1);
    QCOMPARE(m_fx->messages[0].icon, QMessageBox::Critical);
    QCOMPARE(m_fx->messages[0].caption, "Pennaro 2.0");
    QVERIFY2(m_fx->messages[0].text.contains(typed), qPrintable(m_fx->messages[0].text));
    QVERIFY(Direccion_Form->isVisible());
    QCOMPARE(card()->PageControl1->currentWidget(), card()->TabSheet4);
    QVERIFY(!timerRunning());
    {
        StoredCards stored(m_fx->dataFolder());
        QCOMPARE(stored.value(id, field).toDate(), before);
        QCOMPARE(stored.value(id, "Nick").toString(), "anita");
    }

    // Corrected, the card is saved.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("24/06/1991"));
    accept();
    QVERIFY(!Direccion_Form->isVisible());
    StoredCards stored(m_fx->dataFolder());
    QCOMPARE(stored.value(id, field).toDate(), QDate(1991, 6, 24));
    QCOMPARE(stored.value(id, "Nick").toString(), "anita2");
}

// ---- mail and web --------------------------------------------------------------------------

// The date edits read their field once the card shows: a card opened after the table
// moved and changed while the window was hidden shows the new record's dates.
void TestAddressBook::dateFieldsFollowHiddenChanges()
{
    const qint64 first = addCard({{"Nombre", "Ana"}, {"Cumpleanos", QDate(1990, 12, 25)}});
    const qint64 second = addCard({{"Nombre", "Berta"}, {"Aniversario", QDate(2001, 6, 24)}});
    editCard(first);
    card()->PageControl1->setCurrentWidget(card()->TabSheet4);
    QCOMPARE(card()->DBEditCumpleanos->text(), QStringLiteral("25/12/1990"));
    QVERIFY(card()->DBEditAniversario->text().isEmpty());
    QTest::mouseClick(card()->BitBtn2, Qt::LeftButton);
    QVERIFY(!Direccion_Form->isVisible());

    // Changed and refreshed behind the hidden window.
    {
        StoredCards stored(m_fx->dataFolder());
        stored.set(second, "Cumpleanos", QDate(1985, 3, 5));
    }
    DataModuleReminder->Actualizar();
    editCard(second);
    card()->PageControl1->setCurrentWidget(card()->TabSheet4);
    QCOMPARE(card()->DBEditCumpleanos->text(), QStringLiteral("05/03/1985"));
    QCOMPARE(card()->DBEditAniversario->text(), QStringLiteral("24/06/2001"));
}

void TestAddressBook::mailtoUrl_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("encoded");

    // clang-format off
    QTest::newRow("simple")                  << "ana@x.es" << QByteArray("mailto:ana@x.es");
    QTest::newRow("espacios")                << "ana maria@x.es" << QByteArray("mailto:ana%20maria@x.es");
    QTest::newRow("cabecera añadida")        << "ana@x.es?bcc=espia@y.es" << QByteArray("mailto:ana@x.es%3Fbcc%3Despia@y.es");
    QTest::newRow("ampersand y almohadilla") << "a&b#c@x.es" << QByteArray("mailto:a%26b%23c@x.es");
    QTest::newRow("acentos")                 << "josé@x.es" << QByteArray("mailto:jos%C3%A9@x.es");
    // clang-format on
}

void TestAddressBook::mailtoUrl()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, encoded);

    const QUrl url = TDireccion_Form::mailtoUrl(address);
    QCOMPARE(url.toEncoded(), encoded);
    QCOMPARE(url.scheme(), "mailto");
    QCOMPARE(url.path(), address);
    QVERIFY(!url.hasQuery());
    QVERIFY(!url.hasFragment());
}

void TestAddressBook::mailFromCard()
{
    const qint64 id = addCard({{"Nombre", "Ana"}, {"Emails", "a@x.es\r\nb c@x.es\r\n"}, {"Email", "a@x.es"}});
    editCard(id);

    QTest::mouseClick(card()->DBTextEmail, Qt::LeftButton);
    clickLine(card()->DBMemoEmails, 1, true);
    clickLine(card()->DBMemoEmails, 2, true); // the empty line: nothing
    QCOMPARE(m_fx->openedUrls, (QList<QUrl>{QUrl("mailto:a@x.es"), QUrl::fromEncoded("mailto:b%20c@x.es")}));

    // Without a default address the label opens nothing.
    clickLine(card()->DBMemoEmails, 0);
    QTest::mouseClick(card()->Button2, Qt::LeftButton);
    QTest::mouseClick(card()->Button2, Qt::LeftButton);
    QCOMPARE(card()->DBTextEmail->text(), "");
    QTest::mouseClick(card()->DBTextEmail, Qt::LeftButton);
    QCOMPARE(m_fx->openedUrls.size(), 2);
    QVERIFY(m_fx->messages.isEmpty());
}

void TestAddressBook::webUrl_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url"); // empty: refused

    // clang-format off
    QTest::newRow("bare host")           << "x.es" << "http://x.es";
    QTest::newRow("blanks around")       << "  x.es/a  " << "http://x.es/a";
    QTest::newRow("host and port")       << "localhost:8080/a" << "http://localhost:8080/a";
    QTest::newRow("ip address")          << "http://192.168.1.2/" << "http://192.168.1.2/";
    QTest::newRow("one label, scheme")   << "http://intranet/" << "http://intranet/";
    QTest::newRow("unicode host")        << "https://pingüino.es" << "https://xn--pingino-q2a.es";
    QTest::newRow("final dot")           << "http://x.es./" << "http://x.es./";
    QTest::newRow("CR LF header")        << "http://x.es\r\nHost: y" << "";
    QTest::newRow("LF")                  << "x.es\nother.es" << "";
    QTest::newRow("blank inside")        << "http://x.es/a b" << "";
    QTest::newRow("tab inside")          << "x.es\tb" << "";
    QTest::newRow("no colon after http") << "http//x.es" << "";
    QTest::newRow("one slash")           << "http:/x.es" << "";
    QTest::newRow("no host")             << "http://" << "";
    QTest::newRow("host only a port")    << "http://:80/" << "";
    QTest::newRow("bad host characters") << "http://x_y!.es/" << "";
    QTest::newRow("hyphen at the edge")  << "http://-x.es/" << "";
    QTest::newRow("empty label")         << "http://x..es/" << "";
    QTest::newRow("one label, no scheme")<< "intranet" << "";
    QTest::newRow("other scheme")        << "gopher://x.es" << "";
    QTest::newRow("control character")   << QString("x.es/a") + QChar(0x80) + "b" << "";
    QTest::newRow("next line inside")    << QString("x.es/a") + QChar(0x85) + "b" << "";
    // clang-format on
}

void TestAddressBook::webUrl()
{
    QFETCH(QString, text);
    QFETCH(QString, url);
    const QUrl result = TDireccion_Form::webUrl(text);
    if (url.isEmpty()) {
        QVERIFY2(result.isEmpty(), qPrintable(result.toString()));
    } else {
        QCOMPARE(result.toString(QUrl::FullyEncoded), url);
    }
}

void TestAddressBook::web_data()
{
    QTest::addColumn<QString>("web");
    QTest::addColumn<QString>("opened"); // empty: nothing is opened

    // clang-format off
    QTest::newRow("sin esquema")       << "www.pennaro.example" << "http://www.pennaro.example";
    QTest::newRow("https")             << "https://pennaro.example/a?b=1" << "https://pennaro.example/a?b=1";
    QTest::newRow("ftp")               << "ftp://ftp.pennaro.example" << "ftp://ftp.pennaro.example";
    QTest::newRow("vacía")             << "" << "";
    QTest::newRow("archivo local")     << "file:///usr/bin/xterm" << "";
    QTest::newRow("ruta de programa")  << "/usr/bin/xterm" << "";
    QTest::newRow("javascript")        << "javascript:alert(1)" << "";
    QTest::newRow("mailto")            << "mailto:ana@x.es" << "";
    QTest::newRow("http sin servidor") << "http:/usr/bin/xterm" << "";
    QTest::newRow("data")              << "data:text/html,hola" << "";
    QTest::newRow("salto de línea")    << "http://x.es\r\nHost: y" << "";
    // clang-format on
}

void TestAddressBook::web()
{
    QFETCH(QString, web);
    QFETCH(QString, opened);

    const qint64 id = addCard({{"Nombre", "Ana"}, {"Web", web}});
    editCard(id);
    card()->PageControl1->setCurrentWidget(card()->TabSheet2);
    QCOMPARE(card()->DBEditWeb->text(), web);
    QTest::mouseClick(card()->SpeedButton1, Qt::LeftButton);

    if (!opened.isEmpty()) {
        QCOMPARE(m_fx->openedUrls, QList<QUrl>{QUrl(opened)});
        QVERIFY(m_fx->messages.isEmpty());
    } else {
        QVERIFY(m_fx->openedUrls.isEmpty());
        // An empty address is no error; a refused one says why.
        QCOMPARE(m_fx->messages.size(), web.isEmpty() ? 0 : 1);
        if (!web.isEmpty())
            QVERIFY(m_fx->messages[0].text.contains(web));
    }
}

QTEST_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
