#include "store/Data_Unit.h"

#include "common/Rutines.h"
#include "core/Clock.h"
#include "core/DateText.h"
#include "core/Error.h"
#include "platform/Guard.h"
#include "platform/ProgramFolder.h"
#include "platform/Seams.h"
#include "store/EditSession.h"
#include "store/ReminderRepeat.h"
#include "store/StoreWindows.h"
#include "store/engine/OverdueScan.h"
#include "store/engine/Tables.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

using engine::FieldDef;
using engine::FieldDefs;
using engine::FieldType;

TDataModuleReminder* DataModuleReminder = nullptr;

namespace {

// Every field the program uses must be in an opened table, else the file is not ours.
void checkFields(engine::Table* table, const FieldDefs& expected, const QString& filePath)
{
    for (const FieldDef& def : expected) {
        if (table->fieldIndex(def.name) < 0) {
            table->close();
            throw EngineError(QStringLiteral("El archivo «%1» no es una tabla de Pennaro válida: falta el campo «%2»")
                                  .arg(QDir::toNativeSeparators(filePath), def.name));
        }
    }
}

} // namespace

const QString TDataModuleReminder::kReminderFile = engine::tables::reminderFile();
const QString TDataModuleReminder::kDireccionesFile = engine::tables::direccionesFile();

FieldDefs TDataModuleReminder::reminderFields()
{
    return engine::tables::reminderFields();
}

FieldDefs TDataModuleReminder::direccionesFields()
{
    return engine::tables::direccionesFields();
}

TDataModuleReminder::TDataModuleReminder(StoreWindows* windows, QObject* parent) : QObject(parent), m_windows(windows)
{
    DataModuleReminder = this;
    setObjectName(QStringLiteral("DataModuleReminder"));

    TableReminder = new engine::Table(QStringLiteral("TableReminder"), this);
    DataSourceTableReminder = new engine::DataSource(QStringLiteral("DataSourceTableReminder"), this);
    DatabaseReminder = new engine::Connection(QStringLiteral("Ostiva"));
    QueryReminder = new engine::Query(QStringLiteral("QueryReminder"), this);
    DataSourceQueryReminder = new engine::DataSource(QStringLiteral("DataSourceQueryReminder"), this);
    Rutines1 = new TRutines(this);
    QueryReminderMes = new engine::Query(QStringLiteral("QueryReminderMes"), this);
    QueryReminderDia = new engine::Query(QStringLiteral("QueryReminderDia"), this);
    TableLibreta = new engine::Table(QStringLiteral("TableLibreta"), this);
    DataSourceTableLibreta = new engine::DataSource(QStringLiteral("DataSourceTableLibreta"), this);
    QueryLibreta = new engine::Query(QStringLiteral("QueryLibreta"), this);
    DataSourceQueryLibreta = new engine::DataSource(QStringLiteral("DataSourceQueryLibreta"), this);

    for (engine::Dataset* dataset : std::initializer_list<engine::Dataset*>{
             TableReminder, QueryReminder, QueryReminderMes, QueryReminderDia, TableLibreta, QueryLibreta})
        dataset->setConnection(DatabaseReminder);
    TableReminder->setTableName(kReminderFile);
    TableLibreta->setTableName(kDireccionesFile);
    DataSourceTableReminder->setDataSet(TableReminder);
    DataSourceQueryReminder->setDataSet(QueryReminderDia);
    DataSourceTableLibreta->setDataSet(TableLibreta);
    DataSourceQueryLibreta->setDataSet(QueryLibreta);
    for (engine::Query* query : {QueryReminder, QueryReminderMes, QueryReminderDia})
        query->setMasterSource(DataSourceTableReminder);

    // The windows created before the store get their data-bound controls now.
    m_windows->attachDataSources(this);

    guarded([this] { DataModuleCreate(); });
}

TDataModuleReminder::~TDataModuleReminder()
{
    guarded([this] { DataModuleDestroy(); });
    // Datasets go before the connection whose files they read.
    for (engine::Dataset* dataset : std::initializer_list<engine::Dataset*>{
             QueryLibreta, TableLibreta, QueryReminderDia, QueryReminderMes, QueryReminder, TableReminder})
        delete dataset;
    delete DatabaseReminder;
    if (DataModuleReminder == this)
        DataModuleReminder = nullptr;
}

void TDataModuleReminder::DataModuleCreate()
{
    Cargar();
}

void TDataModuleReminder::DataModuleDestroy()
{
    CerrarDataBase();
}

QString TDataModuleReminder::dataFolderPath()
{
    return ProgramFolder::path() + ProgramFolder::userName() + QStringLiteral("/Pennaro");
}

bool TDataModuleReminder::isTableLeftover(const QString& fileName)
{
    return engine::Connection::isTemporaryName(fileName, kReminderFile) ||
           engine::Connection::isTemporaryName(fileName, kDireccionesFile);
}

void TDataModuleReminder::Cargar()
{
    // This user's data folder under the program folder, and the connection to it.
    const QString user = ProgramFolder::userName();
    QDir().mkpath(ProgramFolder::path() + user); // a failure shows when the alias makes the data folder
    m_dataFolder = dataFolderPath();
    CreateAlias(QStringLiteral("Ostiva20") + user, m_dataFolder);
    DatabaseReminder->setPath(m_dataFolder);
    DatabaseReminder->connect();

    openTables(DatabaseReminder->filePath(kReminderFile), DatabaseReminder->filePath(kDireccionesFile));
    openLists();
    alertOverdue(false);

    // The calendar marks, and the day list on today.
    m_windows->remindersChanged();
    m_windows->showDay(Clock::today());
    ReminderDia();
}

// Opens both tables, making each one that is missing; a file that is not one of our
// tables is refused before anything reads it.
void TDataModuleReminder::openTables(const QString& reminderPath, const QString& direccionesPath)
{
    if (!QFileInfo::exists(direccionesPath)) {
        TableLibreta->close();
        TableLibreta->setTableName(kDireccionesFile);
        TableLibreta->setFieldDefs(direccionesFields());
        TableLibreta->setIndexFields(engine::tables::direccionesIndex());
        TableLibreta->createTable();
        TableLibreta->open();
        checkFields(TableLibreta, direccionesFields(), direccionesPath);
    }

    if (QFileInfo::exists(reminderPath)) {
        TableLibreta->close();
        TableLibreta->setTableName(kDireccionesFile);
        TableLibreta->open();
        checkFields(TableLibreta, direccionesFields(), direccionesPath);
        TableReminder->close();
        TableReminder->setTableName(kReminderFile);
        TableReminder->open();
        checkFields(TableReminder, reminderFields(), reminderPath);
        return;
    }
    TableReminder->close();
    TableReminder->setTableName(kReminderFile);
    TableReminder->setFieldDefs(reminderFields());
    TableReminder->setIndexFields(engine::tables::reminderIndex());
    TableReminder->createTable();
    TableReminder->open();
    if (!TableLibreta->isActive()) {
        TableLibreta->setTableName(kDireccionesFile);
        TableLibreta->open();
        checkFields(TableLibreta, direccionesFields(), direccionesPath);
    }
}

// The address list by name, and every reminder by date text and hour text.
void TDataModuleReminder::openLists()
{
    QueryLibreta->setSql({QStringLiteral("SELECT *"), QStringLiteral("FROM Direcciones.DB"),
                          QStringLiteral("ORDER BY Nombre, Email DESC")});
    QueryLibreta->execSql();
    QueryLibreta->open();

    QueryReminder->setSql(
        {QStringLiteral("SELECT *"), QStringLiteral("FROM Reminder.DB"), QStringLiteral("ORDER BY Fecha, Hora")});
    QueryReminder->execSql();
    QueryReminder->open();
    QueryReminder->first();
}

// At start-up every unread reminder of a past day is alerted before the program shows. The
// timer stays on meanwhile: a tick that comes while such an alert is open leaves it alone.
void TDataModuleReminder::alertOverdue(bool pauseTimer)
{
    OverdueScan::run(QueryReminder, Clock::today(),
                     [this, pauseTimer](const OverdueScan::Row& row) { raiseAlert(row.id, pauseTimer); });
}

TDataModuleReminder::Alert TDataModuleReminder::raiseAlert(qint64 id, bool pauseTimer)
{
    // Placed by its key, or not at all: the table's current record is another reminder.
    if (!TableReminder->findKey(id))
        return Alert::Missing;
    const bool repeats = ReminderRepeat::repeats(TableReminder->value(QStringLiteral("RepetirN")));
    if (TableReminder->value(QStringLiteral("PlaySound")).toBool())
        seams::playSound(QStringLiteral("NOTIFY.WAV"));

    if (pauseTimer)
        MinuteTimer::pause();
    const auto resume = qScopeGuard([pauseTimer] {
        if (pauseTimer)
            MinuteTimer::resume();
    });
    return m_windows->showAlert(repeats) ? Alert::Shown : Alert::Abandoned;
}

void TDataModuleReminder::CreateAlias(const QString& aliasName, const QString& dataFolder)
{
    // Only the data folder is needed: the old engine's control folders, alias and lock
    // files have no counterpart here. The alias name stays the connection's identity.
    Q_UNUSED(aliasName);
    QDir().mkpath(dataFolder);
    if (!QFileInfo(dataFolder).isDir())
        throw EngineError(
            QStringLiteral("No se pudo crear la carpeta de datos «%1»").arg(QDir::toNativeSeparators(dataFolder)));
}

void TDataModuleReminder::AbrirDataBase()
{
    // The files are opened afresh, as they are on disk now (one may have been replaced
    // while the store was off), and checked as at start-up: a file that is not one of our
    // tables is refused and left untouched.
    if (!DatabaseReminder->isConnected())
        DatabaseReminder->connect();
    TableReminder->open();
    checkFields(TableReminder, reminderFields(), DatabaseReminder->filePath(kReminderFile));
    TableLibreta->open();
    checkFields(TableLibreta, direccionesFields(), DatabaseReminder->filePath(kDireccionesFile));
    QueryLibreta->open();
    QueryReminder->open();
    if (!QueryReminderDia->sql().isEmpty())
        QueryReminderDia->open();
    if (!QueryReminderMes->sql().isEmpty())
        QueryReminderMes->open();
}

void TDataModuleReminder::CerrarDataBase()
{
    for (engine::Dataset* dataset : std::initializer_list<engine::Dataset*>{
             TableReminder, QueryReminder, QueryReminderMes, QueryReminderDia, TableLibreta, QueryLibreta}) {
        dataset->close();
        dataset->releaseStatements();
    }
    // The files are released too, so they can be replaced or restored while the store is off.
    DatabaseReminder->disconnect();
}

// --- reminders -------------------------------------------------------------------

void TDataModuleReminder::AnadirReminder()
{
    if (m_windows->reminderEditorShowing())
        return;
    EditSession session(TableReminder);
    const QTime now = Clock::now().time();
    const QTime hour = QTime(now.hour(), now.minute()).addSecs(30 * 60);
    const QDate date = m_windows->selectedDay();

    TableReminder->edit();
    TableReminder->insert();
    TableReminder->setValue(QStringLiteral("Fecha"), DateText::fecha(date));
    TableReminder->setValue(QStringLiteral("Hora"), DateText::longTime(hour));
    TableReminder->setValue(QStringLiteral("PlaySound"), true);
    TableReminder->setValue(QStringLiteral("Leido"), false);
    TableReminder->setValue(QStringLiteral("RepetirN"), QStringLiteral("0"));
    TableReminder->setValue(QStringLiteral("RepetirS"), QStringLiteral("Día/s"));
    session.commit();
    m_windows->openReminderEditor(date, true);
}

void TDataModuleReminder::EditarReminder()
{
    if (!QueryReminderDia->isActive() || QueryReminderDia->isNull(QStringLiteral("ID")))
        return;
    const qint64 id = QueryReminderDia->asInteger(QStringLiteral("ID"));
    EditSession session(TableReminder);
    if (!TableReminder->findKey(id))
        throw EngineError(QStringLiteral("El recordatorio ya no existe"));
    TableReminder->edit();
    const QDate date = DateText::parseFecha(TableReminder->asString(QStringLiteral("Fecha")));
    if (TableReminder->isNull(QStringLiteral("RepetirN")))
        TableReminder->setValue(QStringLiteral("RepetirN"), QStringLiteral("0"));
    if (TableReminder->isNull(QStringLiteral("RepetirS")))
        TableReminder->setValue(QStringLiteral("RepetirS"), QStringLiteral("Día/s"));
    session.commit();
    m_windows->openReminderEditor(date, false);
}

void TDataModuleReminder::CancelarReminder()
{
    TableReminder->cancel();
    QueryReminder->cancel();
}

void TDataModuleReminder::BuscarRecordatorio(const QString& text)
{
    if (QWidget* editor = m_windows->reminderEditorShowing()) {
        // A reminder is being entered in the form: searching would take it over.
        seams::showPlain(QStringLiteral("Termine antes el recordatorio que está editando."), editor);
        return;
    }
    const auto again = [] {
        return seams::askYesNo(QStringLiteral("Recordatorio no encontrado, ¿volver a buscar desde el principio?"),
                               QStringLiteral("Buscar Recordatorio"));
    };
    wrapSearch(TableReminder, QStringLiteral("Recordatorio"), text, again, [this] {
        EditSession session(TableReminder);
        TableReminder->edit();
        const QDate date = DateText::parseFecha(TableReminder->asString(QStringLiteral("Fecha")));
        session.commit();
        m_windows->runReminderEditor(date);
    });
}

void TDataModuleReminder::wrapSearch(engine::Table* table, const QString& field, const QString& text,
                                     const std::function<bool()>& again, const std::function<void()>& open)
{
    if (!table->isActive() || table->isEmpty())
        return;
    bool found = false;
    for (;;) {
        // An empty text matches nothing, as a text search for "" finds no position.
        if (!text.isEmpty() && table->asString(field).contains(text, Qt::CaseSensitive)) {
            open();
            found = true;
        }
        table->next();
        if (table->eof()) {
            table->first();
            if (found || !again())
                return;
        } else if (found) {
            return;
        }
    }
}

void TDataModuleReminder::ReminderDia()
{
    const QString date = DateText::fecha(m_windows->listedDay());
    QueryReminderDia->setSql({QStringLiteral("SELECT *"), QStringLiteral("FROM Reminder.DB"),
                              QStringLiteral("WHERE Fecha = \"") + date + QStringLiteral("\" "),
                              QStringLiteral("ORDER BY Hora")});
    QueryReminderDia->execSql();
    QueryReminderDia->open();
}

bool TDataModuleReminder::Localizar(const QString& field, const QString& value)
{
    return QueryReminder->locate(field, value);
}

void TDataModuleReminder::Actualizar()
{
    TableReminder->refresh();
    TableLibreta->refresh();
    ActualizarQuery(QueryLibreta);
    ActualizarQuery(QueryReminder);
    ActualizarQuery(QueryReminderDia);
    ActualizarQuery(QueryReminderMes);
}

void TDataModuleReminder::refreshIfChangedElsewhere()
{
    const bool reminders = DatabaseReminder->changedElsewhere(kReminderFile);
    const bool cards = DatabaseReminder->changedElsewhere(kDireccionesFile);
    auto editing = [](engine::Dataset* d) {
        return d->state() == engine::DataState::Edit || d->state() == engine::DataState::Insert;
    };
    auto refresh = [&](engine::Table* table, std::initializer_list<engine::Query*> queries) {
        if (table->isActive() && !editing(table))
            table->refresh();
        for (engine::Query* query : queries)
            if (!editing(query))
                ActualizarQuery(query);
    };
    if (reminders) {
        refresh(TableReminder, {QueryReminder, QueryReminderDia, QueryReminderMes});
        remindersChanged();
    }
    if (cards)
        refresh(TableLibreta, {QueryLibreta});
}

void TDataModuleReminder::remindersChanged()
{
    m_windows->remindersChanged();
}

void TDataModuleReminder::ActualizarQuery(engine::Query* query)
{
    engine::Dataset::Bookmark mark = -1;
    try {
        if (query->isActive())
            mark = query->bookmark();
        query->close();
        query->open();
        query->gotoBookmark(mark);
    } catch (const std::exception&) {
        // Keeping the position is a convenience: the query stays where reopening left it.
    }
}
