// The data-aware controls over a real table and query in a temporary folder.

#include "core/Error.h"
#include "platform/Seams.h"
#include "store/controls/DBCheckBox.h"
#include "store/controls/DBComboBox.h"
#include "store/controls/DBDateEdit.h"
#include "store/controls/DBEdit.h"
#include "store/controls/DBGrid.h"
#include "store/controls/DBMemo.h"
#include "store/controls/DBText.h"
#include "store/controls/GridModel.h"
#include "store/engine/Connection.h"
#include "store/engine/DataSource.h"
#include "store/engine/Query.h"
#include "store/engine/Table.h"
#include "support/Records.h"

#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using engine::DataState;

namespace {

const QString TableFile = QStringLiteral("Personas.DB");

engine::FieldDefs personFields()
{
    using engine::FieldType;
    return {
        {QStringLiteral("ID"), FieldType::AutoInc, 0, true},
        {QStringLiteral("Nombre"), FieldType::Text, 10, false},
        {QStringLiteral("Ciudad"), FieldType::Text, 20, false},
        {QStringLiteral("Activo"), FieldType::Logical, 0, false},
        {QStringLiteral("Notas"), FieldType::Memo, 0, false},
    };
}

// A top-level window holding the control under test, shown and exposed.
struct Window
{
    QWidget top;
    QVBoxLayout* layout = new QVBoxLayout(&top);
    template <typename W> W* add()
    {
        auto* widget = new W(&top);
        layout->addWidget(widget);
        return widget;
    }
    bool show()
    {
        top.show();
        return QTest::qWaitForWindowExposed(&top);
    }
};

void sendFocusOut(QWidget* widget)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(widget, &out);
}

} // namespace

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void textControlsShowCurrentRecord_data();
    void textControlsShowCurrentRecord();
    void typingStartsEditAndPostWritesText();
    void typingIntoEmptyTableInserts();
    void programmaticTextDoesNotStartEdit();
    void programmaticTextIsWrittenWhileEditing();
    void programChangingFieldOverridesPendingText();
    void cancelDropsPendingText();
    void focusOutWritesText();
    void controlsThatCannotEditKeepRecord_data();
    void controlsThatCannotEditKeepRecord();
    void unknownFieldIsReportedNotThrown();
    void editCutsAtFieldSize_data();
    void editCutsAtFieldSize();
    void memoCutsAtLimit_data();
    void memoCutsAtLimit();
    void memoTakesSizeOfTextField_data();
    void memoTakesSizeOfTextField();
    void checkBoxClickWritesAtOnce();
    void comboBoxPickWritesEntry();
    void editableComboBoxTypesWithinLimit();
    void hiddenControlReadsWhenShown();

    void dateText_data();
    void dateText();
    void dateEditLeavesUntypedDateAlone();
    void dateEditWrongTextWaitsForCommit();
    void dateEditWrongTextAtPostIsReported();

    void gridColumns();
    void gridCellFailureIsLogged();
    void gridDefaultColumnsAreAllFields();
    void gridFollowsDataset();
    void gridMovesDataset();
    void gridDoubleClickSignal();
    void gridReloadsWhenRowsChange();
    void hiddenGridLeavesStaleQueryAlone();
    void gridWorksWithManyRows();

private:
    // A table with a date field ("Alta"), standing on its one record, dated 1 January
    // 2000, and a date edit bound to that field in `window`.
    std::unique_ptr<engine::Table> makeDatedTable();
    DBDateEdit* addDateEdit(Window& window, engine::DataSource& source);
    void addPerson(const QString& name, const QString& city, bool active, const QString& notes);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<engine::Connection> m_connection;
    std::unique_ptr<engine::Table> m_table;
    std::unique_ptr<engine::DataSource> m_source;
    QStringList m_errors;
};

void TestControls::init()
{
    m_errors.clear();
    seams::setMessageHandler([this](const seams::MessageRequest& request) {
        m_errors.append(request.text);
        return QMessageBox::Ok;
    });
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_connection = std::make_unique<engine::Connection>();
    m_connection->setPath(m_dir->path());
    m_connection->connect();
    m_table = std::make_unique<engine::Table>(QStringLiteral("TablePersonas"));
    m_table->setConnection(m_connection.get());
    m_table->setTableName(TableFile);
    m_table->setFieldDefs(personFields());
    m_table->setIndexFields(QStringLiteral("ID"));
    m_table->createTable();
    m_table->open();
    m_source = std::make_unique<engine::DataSource>(QStringLiteral("DataSourcePersonas"));
    m_source->setDataSet(m_table.get());
    addPerson(QStringLiteral("Ana"), QStringLiteral("Madrid"), true, QStringLiteral("primera"));
    addPerson(QStringLiteral("Berta"), QStringLiteral("Lima"), false, QString());
    addPerson(QStringLiteral("Carmen"), QStringLiteral("Quito"), true, QStringLiteral("tercera"));
    m_table->first();
}

void TestControls::cleanup()
{
    m_source.reset();
    m_table.reset();
    m_connection.reset();
    m_dir.reset();
    seams::setMessageHandler(nullptr);
}

void TestControls::addPerson(const QString& name, const QString& city, bool active, const QString& notes)
{
    testsupport::add(*m_table, {{"Nombre", name}, {"Ciudad", city}, {"Activo", active}, {"Notas", notes}});
}

// ---- showing the record ---------------------------------------------------------

enum class Kind { Text, Edit, Memo, EditableCombo };
Q_DECLARE_METATYPE(Kind)

namespace {
QWidget* makeBound(Window& window, Kind kind, engine::DataSource* source, const QString& field)
{
    switch (kind) {
    case Kind::Text: {
        auto* w = window.add<DBText>();
        w->setDataSource(source);
        w->setDataField(field);
        return w;
    }
    case Kind::Edit: {
        auto* w = window.add<DBEdit>();
        w->setDataSource(source);
        w->setDataField(field);
        return w;
    }
    case Kind::Memo: {
        auto* w = window.add<DBMemo>();
        w->setDataSource(source);
        w->setDataField(field);
        return w;
    }
    case Kind::EditableCombo: {
        auto* w = window.add<DBComboBox>();
        w->setEditable(true);
        w->addItems({QStringLiteral("Lima"), QStringLiteral("Madrid")});
        w->setDataSource(source);
        w->setDataField(field);
        return w;
    }
    }
    return nullptr;
}

QString shownText(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
        return memo->toPlainText();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText();
    return QStringLiteral("<?>");
}
} // namespace

void TestControls::textControlsShowCurrentRecord_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("DBText") << Kind::Text;
    QTest::newRow("DBEdit") << Kind::Edit;
    QTest::newRow("DBMemo") << Kind::Memo;
    QTest::newRow("DBComboBox") << Kind::EditableCombo;
}

void TestControls::textControlsShowCurrentRecord()
{
    QFETCH(Kind, kind);
    Window window;
    QWidget* control = makeBound(window, kind, m_source.get(), QStringLiteral("ciudad")); // any case
    QVERIFY(window.show());
    QCOMPARE(shownText(control), QStringLiteral("Madrid"));
    m_table->next();
    QCOMPARE(shownText(control), QStringLiteral("Lima"));
    m_table->moveTo(2);
    QCOMPARE(shownText(control), QStringLiteral("Quito"));
    m_table->edit();
    m_table->setValue(QStringLiteral("Ciudad"), QString()); // null shows empty
    QCOMPARE(shownText(control), QString());
    m_table->cancel();
    QCOMPARE(shownText(control), QStringLiteral("Quito"));
    m_table->close();
    QCOMPARE(shownText(control), QString());
    QVERIFY(m_errors.isEmpty());
}

// ---- editing ---------------------------------------------------------------------

void TestControls::typingStartsEditAndPostWritesText()
{
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Ciudad"));
    QVERIFY(window.show());

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("Cuzco"));
    QCOMPARE(m_table->state(), DataState::Edit);
    QCOMPARE(edit->text(), QStringLiteral("Cuzco")); // the edit's own notice kept the typing
    QVERIFY(edit->isModified());
    QCOMPARE(m_table->asString(QStringLiteral("Ciudad")), QStringLiteral("Madrid"));

    m_table->post();
    QCOMPARE(m_table->state(), DataState::Browse);
    QVERIFY(!edit->isModified());
    QCOMPARE(m_table->asString(QStringLiteral("Ciudad")), QStringLiteral("Cuzco"));
    m_table->next();
    m_table->first();
    QCOMPARE(m_table->asString(QStringLiteral("Ciudad")), QStringLiteral("Cuzco"));

    // Emptying the text stores null.
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    m_table->post();
    QVERIFY(m_table->isNull(QStringLiteral("Ciudad")));
    QVERIFY(m_errors.isEmpty());
}

void TestControls::typingIntoEmptyTableInserts()
{
    while (!m_table->isEmpty())
        m_table->remove();
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());
    QCOMPARE(edit->text(), QString());

    QTest::keyClicks(edit, QStringLiteral("Dora"));
    QCOMPARE(m_table->state(), DataState::Insert);
    QCOMPARE(edit->text(), QStringLiteral("Dora"));
    m_table->post();
    QCOMPARE(m_table->recordCount(), 1);
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("Dora"));
}

void TestControls::programmaticTextDoesNotStartEdit()
{
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());

    edit->setText(QStringLiteral("Otro"));
    QCOMPARE(m_table->state(), DataState::Browse);
    // Moving shows the next record; nothing was written into the first.
    m_table->next();
    QCOMPARE(edit->text(), QStringLiteral("Berta"));
    m_table->first();
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("Ana"));
}

void TestControls::programmaticTextIsWrittenWhileEditing()
{
    // A read-only edit whose text the program sets (a counter beside it) still hands
    // that text to the record when it posts.
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setReadOnly(true);
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());

    m_table->edit();
    edit->setText(QStringLiteral("Contado"));
    QCOMPARE(edit->text(), QStringLiteral("Contado"));
    m_table->post();
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("Contado"));
}

void TestControls::programChangingFieldOverridesPendingText()
{
    // The user typed an hour; the program rewrites the field before posting: the
    // program's value is what is stored.
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre"));
    auto* other = window.add<DBEdit>();
    other->setDataSource(m_source.get());
    other->setDataField(QStringLiteral("Ciudad"));
    QVERIFY(window.show());

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("9"));
    other->selectAll();
    QTest::keyClicks(other, QStringLiteral("Cuzco"));
    m_table->setValue(QStringLiteral("Nombre"), QStringLiteral("09:00:00"));
    QCOMPARE(edit->text(), QStringLiteral("09:00:00"));
    QCOMPARE(other->text(), QStringLiteral("Cuzco")); // another field's change keeps this typing
    m_table->post();
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("09:00:00"));
    QCOMPARE(m_table->asString(QStringLiteral("Ciudad")), QStringLiteral("Cuzco"));
}

void TestControls::cancelDropsPendingText()
{
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());

    QTest::keyClicks(edit, QStringLiteral("xyz"));
    QVERIFY(edit->isModified());
    m_table->cancel();
    QCOMPARE(edit->text(), QStringLiteral("Ana"));
    QVERIFY(!edit->isModified());
    m_table->edit();
    m_table->post();
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("Ana"));
}

void TestControls::focusOutWritesText()
{
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("Eva"));
    sendFocusOut(edit);
    QCOMPARE(m_table->state(), DataState::Edit);
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("Eva"));
    QVERIFY(!edit->isModified());
}

void TestControls::controlsThatCannotEditKeepRecord_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("read-only edit") << Kind::Edit << true << false << QStringLiteral("Ana");
    QTest::newRow("read-only memo") << Kind::Memo << true << false << QStringLiteral("Ana");
    QTest::newRow("edit, closed table") << Kind::Edit << false << true << QString();
    QTest::newRow("memo, closed table") << Kind::Memo << false << true << QString();
    QTest::newRow("combo, closed table") << Kind::EditableCombo << false << true << QString();
}

void TestControls::controlsThatCannotEditKeepRecord()
{
    QFETCH(Kind, kind);
    QFETCH(bool, readOnly);
    QFETCH(bool, closed);
    QFETCH(QString, expected);
    Window window;
    QWidget* control = makeBound(window, kind, m_source.get(), QStringLiteral("Nombre"));
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setReadOnly(readOnly);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
        memo->setReadOnly(readOnly);
    QVERIFY(window.show());
    if (closed)
        m_table->close();

    QWidget* target = control;
    if (auto* combo = qobject_cast<QComboBox*>(control))
        target = combo->lineEdit();
    QTest::keyClicks(target, QStringLiteral("zz"));
    QTRY_COMPARE(shownText(control), expected);
    QVERIFY(m_errors.isEmpty());
    if (!closed) {
        QCOMPARE(m_table->state(), DataState::Browse);
        QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("Ana"));
    }
}

void TestControls::unknownFieldIsReportedNotThrown()
{
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("NoExiste"));
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"));
    grid->addColumn(QStringLiteral("Tampoco"));
    grid->addColumn(QStringLiteral("ID"), {}, -1, false);
    grid->setDataSource(m_source.get());
    QVERIFY(window.show()); // the errors are caught at the show handlers' edge
    QCOMPARE(m_errors.size(), 2);
    QVERIFY(m_errors.at(0).contains(QStringLiteral("NoExiste")));
    QVERIFY(m_errors.at(1).contains(QStringLiteral("Tampoco")));
    QCOMPARE(edit->text(), QString());
    // The grid still shows the columns that exist.
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(grid->model()->data(grid->model()->index(0, 0)).toString(), QStringLiteral("Ana"));
    QCOMPARE(grid->model()->data(grid->model()->index(0, 1)).toString(), QString());
    QCOMPARE(grid->currentIndex().row(), 0);
    QVERIFY(grid->isColumnHidden(2));
}

// ---- length limits ------------------------------------------------------------

void TestControls::editCutsAtFieldSize_data()
{
    QTest::addColumn<bool>("paste");
    QTest::newRow("typed") << false;
    QTest::newRow("pasted") << true;
}

void TestControls::editCutsAtFieldSize()
{
    QFETCH(bool, paste);
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre")); // Text, size 10
    QVERIFY(window.show());
    QCOMPARE(edit->maxLength(), 10);

    const QString longText = QStringLiteral("Maximiliana Eugenia");
    edit->selectAll();
    if (paste) {
        QGuiApplication::clipboard()->setText(longText);
        if (QGuiApplication::clipboard()->text() != longText)
            QSKIP("no clipboard on this platform");
        edit->paste();
    } else {
        QTest::keyClicks(edit, longText);
    }
    QCOMPARE(edit->text(), longText.left(10));
    QCOMPARE(m_table->state(), DataState::Edit);
    m_table->post();
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), longText.left(10));

    // A memo field has no size: the edit takes its default limit again.
    edit->setDataField(QStringLiteral("Notas"));
    QCOMPARE(edit->maxLength(), 32767);
}

void TestControls::memoCutsAtLimit_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("caret");
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("expectedCaret");
    QTest::newRow("typed past the end") << 5 << QString() << 0 << false << "abcdefgh"
                                        << "abcde" << 5;
    QTest::newRow("pasted in the middle") << 8 << "abcde" << 2 << true << "XYZWV"
                                          << "abXYZcde" << 5;
    QTest::newRow("pasted at the start") << 6 << "abcde" << 0 << true << "XYZ"
                                         << "Xabcde" << 1;
    QTest::newRow("full: typing does nothing") << 3 << "abc" << 1 << false << "Q"
                                               << "abc" << 1;
    QTest::newRow("line breaks count") << 4 << "ab" << 2 << true << "\n\nxyz"
                                       << "ab\n\n"
                                       << 4;
    QTest::newRow("no limit") << 0 << "ab" << 2 << true << "cdefghijklmnopqrstuvwxyz"
                              << "abcdefghijklmnopqrstuvwxyz" << 26;
}

void TestControls::memoCutsAtLimit()
{
    QFETCH(int, limit);
    QFETCH(QString, start);
    QFETCH(int, caret);
    QFETCH(bool, paste);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QFETCH(int, expectedCaret);

    m_table->edit();
    m_table->setValue(QStringLiteral("Notas"), start);
    Window window;
    auto* memo = window.add<DBMemo>();
    memo->setMaxLength(limit);
    memo->setDataSource(m_source.get());
    memo->setDataField(QStringLiteral("Notas")); // a Memo field: only the memo's own limit
    QVERIFY(window.show());
    QCOMPARE(memo->effectiveMaxLength(), limit);
    QCOMPARE(memo->toPlainText(), start);

    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(caret);
    memo->setTextCursor(cursor);
    if (paste) {
        auto* data = new QMimeData;
        data->setText(input);
        QGuiApplication::clipboard()->setMimeData(data);
        if (QGuiApplication::clipboard()->text() != input)
            QSKIP("no clipboard on this platform");
        memo->paste();
    } else {
        QTest::keyClicks(memo, input);
    }
    QCOMPARE(memo->toPlainText(), expected);
    QCOMPARE(memo->textCursor().position(), expectedCaret);
    m_table->post();
    QCOMPARE(m_table->displayText(QStringLiteral("Notas")), expected);
}

void TestControls::memoTakesSizeOfTextField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("ownLimit");
    QTest::addColumn<int>("expected");
    QTest::newRow("sized text") << "Ciudad" << 0 << 20;
    QTest::newRow("smaller own limit wins") << "Ciudad" << 12 << 12;
    QTest::newRow("field size wins over larger limit") << "Nombre" << 50 << 10;
    QTest::newRow("memo field") << "Notas" << 0 << 0;
}

void TestControls::memoTakesSizeOfTextField()
{
    QFETCH(QString, field);
    QFETCH(int, ownLimit);
    QFETCH(int, expected);
    Window window;
    auto* memo = window.add<DBMemo>();
    memo->setMaxLength(ownLimit);
    memo->setDataSource(m_source.get());
    memo->setDataField(field);
    QVERIFY(window.show());
    QCOMPARE(memo->effectiveMaxLength(), expected);
    if (expected > 0) {
        memo->selectAll();
        QTest::keyClicks(memo, QString(expected + 5, QLatin1Char('x')));
        QCOMPARE(memo->toPlainText().size(), expected);
    }
}

// ---- check box and combo box -------------------------------------------------------

void TestControls::checkBoxClickWritesAtOnce()
{
    Window window;
    auto* check = window.add<DBCheckBox>();
    check->setDataSource(m_source.get());
    check->setDataField(QStringLiteral("Activo"));
    QVERIFY(window.show());
    QVERIFY(check->isChecked()); // Ana: true
    m_table->next();
    QVERIFY(!check->isChecked()); // Berta: false

    QTest::mouseClick(check, Qt::LeftButton);
    QCOMPARE(m_table->state(), DataState::Edit);
    QVERIFY(m_table->asBoolean(QStringLiteral("Activo")));
    QVERIFY(check->isChecked());
    m_table->post();
    QVERIFY(m_table->asBoolean(QStringLiteral("Activo")));

    // A programmatic tick is not the user's: the record is left alone.
    check->setChecked(false);
    QCOMPARE(m_table->state(), DataState::Browse);
    QVERIFY(m_table->asBoolean(QStringLiteral("Activo")));

    // On a closed table a click cannot tick the box.
    m_table->close();
    QVERIFY(!check->isChecked());
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(!check->isChecked());
    QVERIFY(m_errors.isEmpty());
}

void TestControls::comboBoxPickWritesEntry()
{
    Window window;
    auto* combo = window.add<DBComboBox>();
    combo->addItems({QStringLiteral("Lima"), QStringLiteral("Madrid"), QStringLiteral("Quito")});
    combo->setDataSource(m_source.get());
    combo->setDataField(QStringLiteral("Ciudad"));
    QVERIFY(window.show());
    QCOMPARE(combo->currentText(), QStringLiteral("Madrid"));
    m_table->next();
    QCOMPARE(combo->currentIndex(), 0); // Lima

    QTest::keyClick(combo, Qt::Key_Down); // the user picks the next entry
    QCOMPARE(combo->currentText(), QStringLiteral("Madrid"));
    QCOMPARE(m_table->state(), DataState::Edit);
    m_table->post();
    QCOMPARE(m_table->asString(QStringLiteral("Ciudad")), QStringLiteral("Madrid"));

    // A value that is no entry shows no entry.
    m_table->edit();
    m_table->setValue(QStringLiteral("Ciudad"), QStringLiteral("Bogotá"));
    QCOMPARE(combo->currentIndex(), -1);
    m_table->cancel();
    QCOMPARE(combo->currentText(), QStringLiteral("Madrid"));
}

void TestControls::editableComboBoxTypesWithinLimit()
{
    Window window;
    auto* combo = window.add<DBComboBox>();
    combo->setEditable(true);
    combo->addItems({QStringLiteral("00:00:00"), QStringLiteral("01:00:00")});
    combo->setDataSource(m_source.get());
    combo->setDataField(QStringLiteral("Nombre")); // size 10
    QVERIFY(window.show());
    QCOMPARE(combo->currentText(), QStringLiteral("Ana"));
    QCOMPARE(combo->lineEdit()->maxLength(), 10);

    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("12:30:00 horas"));
    QCOMPARE(combo->currentText(), QStringLiteral("12:30:00 h"));
    QCOMPARE(m_table->state(), DataState::Edit);
    sendFocusOut(combo);
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("12:30:00 h"));

    // Picking from the list writes the entry at the post.
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    m_table->post();
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("01:00:00"));
}

void TestControls::hiddenControlReadsWhenShown()
{
    Window window;
    auto* edit = window.add<DBEdit>();
    edit->setDataSource(m_source.get());
    edit->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());
    window.top.hide();
    m_table->moveTo(2);
    QCOMPARE(edit->text(), QStringLiteral("Ana")); // nothing read while hidden
    QVERIFY(window.show());
    QCOMPARE(edit->text(), QStringLiteral("Carmen"));
}

// ---- date edit --------------------------------------------------------------------

std::unique_ptr<engine::Table> TestControls::makeDatedTable()
{
    using engine::FieldType;
    auto table = std::make_unique<engine::Table>(QStringLiteral("TableFechas"));
    table->setConnection(m_connection.get());
    table->setTableName(QStringLiteral("Fechas.DB"));
    table->setFieldDefs({{QStringLiteral("ID"), FieldType::AutoInc, 0, true},
                         {QStringLiteral("Nombre"), FieldType::Text, 10, false},
                         {QStringLiteral("Alta"), FieldType::Date, 0, false}});
    table->setIndexFields(QStringLiteral("ID"));
    table->createTable();
    table->open();
    table->insert();
    table->setValue(QStringLiteral("Nombre"), QStringLiteral("Ana"));
    table->setValue(QStringLiteral("Alta"), QDate(2000, 1, 1));
    table->post();
    table->first();
    return table;
}

DBDateEdit* TestControls::addDateEdit(Window& window, engine::DataSource& source)
{
    auto* edit = window.add<DBDateEdit>();
    edit->setDataSource(&source);
    edit->setDataField(QStringLiteral("Alta"));
    return edit;
}

// Typed and shown as dd/mm/yyyy with the year in full, whatever the locale.
void TestControls::dateText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");    // invalid: refused
    QTest::addColumn<QString>("shown"); // how the date shows again
    QTest::newRow("1899") << "31/12/1899" << QDate(1899, 12, 31) << "31/12/1899";
    QTest::newRow("1950") << "15/03/1950" << QDate(1950, 3, 15) << "15/03/1950";
    QTest::newRow("1975") << "1/1/1975" << QDate(1975, 1, 1) << "01/01/1975";
    QTest::newRow("2030") << " 15/3/2030 " << QDate(2030, 3, 15) << "15/03/2030";
    QTest::newRow("año de dos cifras") << "16/3/50" << QDate() << "";
    QTest::newRow("año de tres cifras") << "16/3/950" << QDate() << "";
    QTest::newRow("mes en inglés") << "15 Mar 1950" << QDate() << "";
    QTest::newRow("mes/día/año") << "12/31/1990" << QDate() << "";
    QTest::newRow("día que no existe") << "29/02/1900" << QDate() << "";
    QTest::newRow("vacío") << "" << QDate() << "";
}

void TestControls::dateText()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QFETCH(QString, shown);
    const QLocale saved;
    const auto restore = qScopeGuard([saved] { QLocale::setDefault(saved); });
    for (const QLocale& locale :
         {QLocale::c(), QLocale(QLocale::Spanish, QLocale::Spain), QLocale(QLocale::Swedish, QLocale::Sweden),
          QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        if (!date.isValid()) {
            QVERIFY_THROWS_EXCEPTION(ConversionError, DBDateEdit::parseDate(text));
            continue;
        }
        QCOMPARE(DBDateEdit::parseDate(text), date);
        QCOMPARE(DBDateEdit::dateText(date), shown);
        QCOMPARE(DBDateEdit::parseDate(shown), date);
    }
    QCOMPARE(DBDateEdit::dateText(QDate()), QString());
}

// Only typing makes a text the user's: a text the program puts in the edit is not
// written when the record posts.
void TestControls::dateEditLeavesUntypedDateAlone()
{
    const auto table = makeDatedTable();
    engine::DataSource source(QStringLiteral("DataSourceFechas"));
    source.setDataSet(table.get());
    Window window;
    auto* edit = addDateEdit(window, source);
    auto* name = window.add<DBEdit>();
    name->setDataSource(&source);
    name->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());

    edit->setText(QStringLiteral("02/02/2002"));
    QVERIFY(!edit->isModified());
    QTest::keyClicks(name, QStringLiteral("s"));
    sendFocusOut(edit);
    table->post();
    QCOMPARE(table->asString(QStringLiteral("Nombre")), QStringLiteral("Anas"));
    QCOMPARE(table->value(QStringLiteral("Alta")).toDate(), QDate(2000, 1, 1));
    QCOMPARE(edit->text(), QStringLiteral("01/01/2000"));
}

// Leaving the edit with a text that is no date (a two-digit year) writes nothing and shows
// no box: the text waits for commit(), which names it; the trace says it was left.
void TestControls::dateEditWrongTextWaitsForCommit()
{
    const auto table = makeDatedTable();
    engine::DataSource source(QStringLiteral("DataSourceFechas"));
    source.setDataSet(table.get());
    Window window;
    auto* edit = addDateEdit(window, source);
    edit->setCaption(QStringLiteral("Fecha de alta"));
    QVERIFY(window.show());

    QLoggingCategory::setFilterRules(QStringLiteral("pennaro.controls.date.debug=true"));
    const auto quiet = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("16/3/50"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("16/3/50")));
    sendFocusOut(edit);
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(edit->text(), QStringLiteral("16/3/50"));
    QVERIFY(edit->isModified());
    QCOMPARE(table->value(QStringLiteral("Alta")).toDate(), QDate(2000, 1, 1));

    try {
        edit->commit();
        QFAIL("a two-digit year was accepted");
    } catch (const ConversionError& e) {
        QVERIFY2(e.message().contains(QStringLiteral("«16/3/50»")), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QStringLiteral("«Fecha de alta»")), qPrintable(e.message()));
    }
    QVERIFY(edit->isModified());

    // Corrected, leaving the edit writes the date into the record being edited.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("16/3/1950"));
    sendFocusOut(edit);
    QVERIFY(!edit->isModified());
    QCOMPARE(table->state(), DataState::Edit);
    QCOMPARE(table->value(QStringLiteral("Alta")).toDate(), QDate(1950, 3, 16));
    QVERIFY(m_errors.isEmpty());
}

// A record posted by other means while the edit holds a text that is no date: the
// standard error box names the text instead of dropping it unseen.
void TestControls::dateEditWrongTextAtPostIsReported()
{
    const auto table = makeDatedTable();
    engine::DataSource source(QStringLiteral("DataSourceFechas"));
    source.setDataSet(table.get());
    Window window;
    auto* edit = addDateEdit(window, source);
    QVERIFY(window.show());

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("ayer"));
    table->post();
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.at(0).contains(QStringLiteral("«ayer»")), qPrintable(m_errors.at(0)));
    QVERIFY2(m_errors.at(0).contains(QStringLiteral("«Alta»")), qPrintable(m_errors.at(0)));
    QCOMPARE(table->state(), DataState::Browse);
    QCOMPARE(table->value(QStringLiteral("Alta")).toDate(), QDate(2000, 1, 1));
}

// ---- grid -------------------------------------------------------------------------

// A cell that cannot be read stays empty while painting, and the failure reaches the log
// once, not once per cell.
void TestControls::gridCellFailureIsLogged()
{
    GridModel model;
    model.reload(m_table.get(), {GridColumn{QStringLiteral("Nombre"), QString(), -1, true}});
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("Ana"));
    m_connection->setPath(m_dir->path() + QStringLiteral("/ida"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("TablePersonas: cannot read field Nombre of row 1: .*ida")));
    QVERIFY(!model.data(model.index(1, 0)).isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral("cannot read")));
    QVERIFY(!model.data(model.index(2, 0)).isValid());
}

void TestControls::gridColumns()
{
    Window window;
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"), QStringLiteral("Nombre de pila"), 140);
    grid->addColumn(QStringLiteral("Ciudad"));
    grid->addColumn(QStringLiteral("ID"), {}, -1, false);
    grid->setDataSource(m_source.get());
    QVERIFY(window.show());

    QAbstractItemModel* model = grid->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->columnCount(), 3);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Nombre de pila"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Ciudad"));
    QCOMPARE(model->data(model->index(1, 0)).toString(), QStringLiteral("Berta"));
    QCOMPARE(model->data(model->index(2, 1)).toString(), QStringLiteral("Quito"));
    QVERIFY(!grid->isColumnHidden(0));
    QVERIFY(grid->isColumnHidden(2));
    QCOMPARE(grid->columnWidth(0), 140);
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);

    // A width the user gives survives a reload; hidden columns stay hidden.
    grid->horizontalHeader()->resizeSection(1, 77);
    addPerson(QStringLiteral("Dora"), QStringLiteral("Cali"), false, QString());
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(grid->columnWidth(1), 77);
    QCOMPARE(grid->columnWidth(0), 140);
    QVERIFY(grid->isColumnHidden(2));

    grid->clearColumns();
    QCOMPARE(model->columnCount(), 5); // every field
}

void TestControls::gridDefaultColumnsAreAllFields()
{
    Window window;
    auto* grid = window.add<DBGrid>();
    grid->setDataSource(m_source.get());
    QVERIFY(window.show());
    QAbstractItemModel* model = grid->model();
    QCOMPARE(model->columnCount(), 5);
    QCOMPARE(model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Notas"));
    QCOMPARE(model->data(model->index(0, 4)).toString(), QStringLiteral("primera"));
    QCOMPARE(model->data(model->index(1, 4)).toString(), QString()); // null
    m_table->close();
    QCOMPARE(model->rowCount(), 0);
}

void TestControls::gridFollowsDataset()
{
    Window window;
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"));
    grid->setDataSource(m_source.get());
    QVERIFY(window.show());
    QAbstractItemModel* model = grid->model();
    QCOMPARE(grid->currentIndex().row(), 0);
    QVERIFY(!model->headerData(0, Qt::Vertical).toString().isEmpty()); // the row indicator

    m_table->moveTo(2);
    QCOMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(grid->selectionModel()->selectedRows().first().row(), 2);
    QVERIFY(model->headerData(0, Qt::Vertical).toString().isEmpty());
    QVERIFY(!model->headerData(2, Qt::Vertical).toString().isEmpty());

    // Values changed in place show without a reload.
    m_table->edit();
    m_table->setValue(QStringLiteral("Nombre"), QStringLiteral("Carla"));
    m_table->post();
    QCOMPARE(model->data(model->index(2, 0)).toString(), QStringLiteral("Carla"));
    QCOMPARE(grid->currentIndex().row(), 2);
}

void TestControls::gridMovesDataset()
{
    Window window;
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"));
    grid->setDataSource(m_source.get());
    QVERIFY(window.show());

    QSignalSpy moves(m_source.get(), &engine::DataSource::datasetChanged);
    const QRect row1 = grid->visualRect(grid->model()->index(1, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row1.center());
    QCOMPARE(m_table->recNo(), 1);
    QCOMPARE(m_table->asString(QStringLiteral("Nombre")), QStringLiteral("Berta"));
    QCOMPARE(grid->currentIndex().row(), 1);
    const int afterClick = int(moves.size());
    QVERIFY(afterClick >= 1);

    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(m_table->recNo(), 2);
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(m_table->recNo(), 0);

    // Clicking the current row again moves nothing.
    const int before = int(moves.size());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 0)).center());
    QCOMPARE(int(moves.size()), before);

    // Moving ends a pending edit: posted.
    m_table->edit();
    m_table->setValue(QStringLiteral("Ciudad"), QStringLiteral("Toledo"));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(m_table->state(), DataState::Browse);
    QCOMPARE(m_table->recNo(), 1);
    m_table->first();
    QCOMPARE(m_table->asString(QStringLiteral("Ciudad")), QStringLiteral("Toledo"));
    QVERIFY(m_errors.isEmpty());
}

void TestControls::gridDoubleClickSignal()
{
    Window window;
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"));
    grid->setDataSource(m_source.get());
    QVERIFY(window.show());

    QSignalSpy doubleClicks(grid, qOverload<>(&DBGrid::doubleClicked));
    const QPoint row2 = grid->visualRect(grid->model()->index(2, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row2);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row2);
    QCOMPARE(doubleClicks.size(), 1);
    QCOMPARE(m_table->recNo(), 2);

    // Below the last row there is no row to open.
    const QPoint empty(5, grid->viewport()->height() - 3);
    QVERIFY(!grid->indexAt(empty).isValid());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, empty);
    QCOMPARE(doubleClicks.size(), 1);
}

void TestControls::gridReloadsWhenRowsChange()
{
    Window window;
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"));
    grid->setDataSource(m_source.get());
    QVERIFY(window.show());

    m_table->moveTo(1);
    m_table->remove();
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->currentIndex().row(), m_table->recNo());
    QCOMPARE(grid->model()->data(grid->model()->index(1, 0)).toString(), QStringLiteral("Carmen"));
    m_table->close();
    QCOMPARE(grid->model()->rowCount(), 0);
    QVERIFY(!grid->currentIndex().isValid());
    m_table->open();
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->currentIndex().row(), 0);
}

void TestControls::hiddenGridLeavesStaleQueryAlone()
{
    engine::Query query(QStringLiteral("QueryPersonas"));
    query.setConnection(m_connection.get());
    query.setSql(
        {QStringLiteral("SELECT *"), QStringLiteral("FROM Personas.DB"), QStringLiteral("ORDER BY Nombre DESC")});
    query.setMasterSource(m_source.get());
    query.open();
    engine::DataSource querySource(QStringLiteral("DataSourceQuery"));
    querySource.setDataSet(&query);

    Window window;
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"));
    grid->setDataSource(&querySource);
    auto* label = window.add<DBText>();
    label->setDataSource(&querySource);
    label->setDataField(QStringLiteral("Nombre"));
    QVERIFY(window.show());
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(label->text(), QStringLiteral("Carmen"));

    window.top.hide();
    addPerson(QStringLiteral("Zoe"), QStringLiteral("Cali"), false, QString());
    QCoreApplication::processEvents();
    QVERIFY(query.isStale());
    m_table->first();
    QCoreApplication::processEvents();
    QVERIFY(query.isStale());

    QVERIFY(window.show());
    QVERIFY(!query.isStale());
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(grid->model()->data(grid->model()->index(0, 0)).toString(), QStringLiteral("Zoe"));
    QCOMPARE(label->text(), QStringLiteral("Zoe"));
    QCOMPARE(grid->currentIndex().row(), 0);

    // Shown, the grid follows the master link at once.
    m_table->edit();
    m_table->setValue(QStringLiteral("Nombre"), QStringLiteral("Abel"));
    m_table->post();
    QCOMPARE(grid->model()->data(grid->model()->index(3, 0)).toString(), QStringLiteral("Abel"));
    grid->setDataSource(nullptr);
    label->setDataSource(nullptr);
}

void TestControls::gridWorksWithManyRows()
{
    // Rows written straight into the table file in one transaction: posting 100 000
    // records one by one would take far longer than the grid is meant to.
    const int rows = 100000;
    m_table->close();
    sqlite3* db = m_connection->handle(TableFile);
    QCOMPARE(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO \"Personas\" (\"Nombre\") VALUES (?)", -1, &insert, nullptr),
             SQLITE_OK);
    for (int i = 0; i < rows; ++i) {
        const QByteArray name = QByteArray::number(i);
        sqlite3_bind_text(insert, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    QCOMPARE(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    m_table->open();
    const int total = m_table->recordCount();
    QCOMPARE(total, rows + 3);

    Window window;
    auto* grid = window.add<DBGrid>();
    grid->addColumn(QStringLiteral("Nombre"));
    grid->addColumn(QStringLiteral("Ciudad"));
    grid->setDataSource(m_source.get());
    QVERIFY(window.show());
    QCOMPARE(grid->model()->rowCount(), total);
    m_table->moveTo(total - 1);
    QCOMPARE(grid->currentIndex().row(), total - 1);
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(m_table->recNo(), total - 2);
    m_table->edit();
    m_table->setValue(QStringLiteral("Ciudad"), QStringLiteral("Cali"));
    m_table->post();
    QCOMPARE(grid->model()->data(grid->model()->index(total - 2, 1)).toString(), QStringLiteral("Cali"));
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
