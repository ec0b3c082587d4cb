#include "store/Data_Unit.h"

#include "app/Ostiva_Unit.h"
#include "core/Clock.h"
#include "core/DateText.h"
#include "core/Error.h"
#include "common/Rutines.h"
#include "platform/Guard.h"
#include "platform/ProgramFolder.h"
#include "platform/Seams.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Mensaje_Uni.h"
#include "reminders/Reminder_Unit.h"
#include "store/engine/OverdueScan.h"
#include "store/engine/Tables.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QSpinBox>
#include <QTimer>

using engine::FieldDef;
using engine::FieldDefs;
using engine::FieldType;

TDataModuleReminder* DataModuleReminder = nullptr;

namespace {

// A repetition count as the program reads it: not a whole number counts as 0.
int repeatCount(const QVariant& repetirN)
{
    bool ok = false;
    const int n = repetirN.toString().trimmed().toInt(&ok);
    return ok ? n : 0;
}

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

TDataModuleReminder::TDataModuleReminder(QObject* parent) : QObject(parent)
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
    if (Ostiva_Form)
        Ostiva_Form->attachDataSources(this);
    if (OKBottomDlg)
        OKBottomDlg->attachDataSources(this);
    if (Reminder_Form)
        Reminder_Form->attachDataSources(this);

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
    // 1-3. Program folder, user name, per-user folder and data folder.
    const QString programFolder = ProgramFolder::path();
    const QString user = ProgramFolder::userName();
    QDir().mkpath(programFolder + user); // a failure shows at the next step
    m_dataFolder = dataFolderPath();
    const QString aliasName = QStringLiteral("Ostiva20") + user;

    // 4-5. Folder and connection.
    CreateAlias(aliasName, m_dataFolder);
    DatabaseReminder->setPath(m_dataFolder);
    DatabaseReminder->connect();

    const QString direccionesPath = DatabaseReminder->filePath(kDireccionesFile);
    const QString reminderPath = DatabaseReminder->filePath(kReminderFile);

    // 6. The address table is made when missing.
    if (!QFileInfo::exists(direccionesPath)) {
        TableLibreta->close();
        TableLibreta->setTableName(kDireccionesFile);
        TableLibreta->setFieldDefs(direccionesFields());
        TableLibreta->setIndexFields(engine::tables::direccionesIndex());
        TableLibreta->createTable();
        TableLibreta->open();
        checkFields(TableLibreta, direccionesFields(), direccionesPath);
    }

    // 7. Both tables open; the reminder table is made when missing.
    if (QFileInfo::exists(reminderPath)) {
        TableLibreta->close();
        TableLibreta->setTableName(kDireccionesFile);
        TableLibreta->open();
        checkFields(TableLibreta, direccionesFields(), direccionesPath);
        TableReminder->close();
        TableReminder->setTableName(kReminderFile);
        TableReminder->open();
        checkFields(TableReminder, reminderFields(), reminderPath);
    } else {
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

    // 8. The address list.
    QueryLibreta->setSql({QStringLiteral("SELECT *"), QStringLiteral("FROM Direcciones.DB"),
                          QStringLiteral("ORDER BY Nombre, Email DESC")});
    QueryLibreta->execSql();
    QueryLibreta->open();

    // 9. All reminders by date text and hour text.
    QueryReminder->setSql(
        {QStringLiteral("SELECT *"), QStringLiteral("FROM Reminder.DB"), QStringLiteral("ORDER BY Fecha, Hora")});
    QueryReminder->execSql();
    QueryReminder->open();
    QueryReminder->first();

    // 10. Overdue scan: every unread reminder of a past day is alerted. Only the rows that
    // can qualify are read; each alert may change the table, so they are read again after
    // it. Today is read once for the whole pass.
    OverdueScan::run(QueryReminder, Clock::today(), [this](const OverdueScan::Row& row) {
        if (repeatCount(row.repetirN) > 0)
            OKBottomDlg->ComboBox1->setEnabled(false);
        TableReminder->findKey(row.id);
        if (TableReminder->value(QStringLiteral("PlaySound")).toBool())
            seams::playSound(QStringLiteral("NOTIFY.WAV"));
        OKBottomDlg->exec();
    });

    // 11-12. Calendar marks and today's day list.
    Ostiva_Form->MonthCalendar1Click();
    Reminder_Form->DateTimePicker1->setDate(Clock::today());
    ReminderDia();
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
             TableReminder, QueryReminder, QueryReminderMes, QueryReminderDia, TableLibreta, QueryLibreta})
        dataset->close();
    // The files are released too, so they can be replaced or restored while the store is off.
    DatabaseReminder->disconnect();
}

// --- reminders -------------------------------------------------------------------

void TDataModuleReminder::AnadirReminder()
{
    if (AddReminder_Form->isVisible())
        return;
    Ostiva_Form->Timer1->stop();

    const QTime now = Clock::now().time();
    const QTime hour = QTime(now.hour(), now.minute()).addSecs(30 * 60);
    const QDate date = Ostiva_Form->MonthCalendar1()->selectedDate();

    try {
        TableReminder->edit();
        TableReminder->insert();
        TableReminder->setValue(QStringLiteral("Fecha"), DateText::fecha(date));
        TableReminder->setValue(QStringLiteral("Hora"), DateText::longTime(hour));
        TableReminder->setValue(QStringLiteral("PlaySound"), true);
        TableReminder->setValue(QStringLiteral("Leido"), false);
        TableReminder->setValue(QStringLiteral("RepetirN"), QStringLiteral("0"));
        TableReminder->setValue(QStringLiteral("RepetirS"), QStringLiteral("Día/s"));
    } catch (...) {
        // The form will not open: nothing may stay half-inserted or the timer stopped.
        guarded([this] { TableReminder->cancel(); });
        Ostiva_Form->Timer1->start();
        throw;
    }
    AddReminder_Form->UpDown1->setValue(0);
    AddReminder_Form->DateTimePicker1->setDate(date);
    AddReminder_Form->show();
    AddReminder_Form->raise();
    AddReminder_Form->activateWindow();
}

void TDataModuleReminder::EditarReminder()
{
    if (!QueryReminderDia->isActive() || QueryReminderDia->isNull(QStringLiteral("ID")))
        return;
    const qint64 id = QueryReminderDia->asInteger(QStringLiteral("ID"));
    Ostiva_Form->Timer1->stop();
    try {
        if (!TableReminder->findKey(id))
            throw EngineError(QStringLiteral("El recordatorio ya no existe"));
        TableReminder->edit();
        AddReminder_Form->DateTimePicker1->setDate(
            DateText::parseFecha(TableReminder->asString(QStringLiteral("Fecha"))));
        if (TableReminder->isNull(QStringLiteral("RepetirN")))
            TableReminder->setValue(QStringLiteral("RepetirN"), QStringLiteral("0"));
        if (TableReminder->isNull(QStringLiteral("RepetirS")))
            TableReminder->setValue(QStringLiteral("RepetirS"), QStringLiteral("Día/s"));
    } catch (...) {
        // The form will not open: leave the record as it was and the timer running.
        guarded([this] { TableReminder->cancel(); });
        Ostiva_Form->Timer1->start();
        throw;
    }
    AddReminder_Form->show();
    AddReminder_Form->raise();
    AddReminder_Form->activateWindow();
}

void TDataModuleReminder::CancelarReminder()
{
    TableReminder->cancel();
    QueryReminder->cancel();
}

void TDataModuleReminder::BuscarRecordatorio(const QString& text)
{
    if (AddReminder_Form->isVisible()) {
        // A reminder is being entered in the form: searching would take it over.
        seams::showPlain(QStringLiteral("Termine antes el recordatorio que está editando."), AddReminder_Form);
        return;
    }
    if (!TableReminder->isActive() || TableReminder->isEmpty())
        return;
    bool found = false;
    for (;;) {
        const QString reminder = TableReminder->asString(QStringLiteral("Recordatorio"));
        if (!text.isEmpty() && reminder.contains(text, Qt::CaseSensitive)) {
            Ostiva_Form->Timer1->stop();
            try {
                TableReminder->edit();
                AddReminder_Form->DateTimePicker1->setDate(
                    DateText::parseFecha(TableReminder->asString(QStringLiteral("Fecha"))));
            } catch (...) {
                guarded([this] { TableReminder->cancel(); });
                Ostiva_Form->Timer1->start();
                throw;
            }
            AddReminder_Form->exec();
            TableReminder->next();
            found = true;
        } else {
            TableReminder->next();
        }
        if (TableReminder->eof()) {
            TableReminder->first();
            if (found)
                return;
            if (!seams::askYesNo(QStringLiteral("Recordatorio no encontrado, ¿volver a buscar desde el principio?"),
                                 QStringLiteral("Buscar Recordatorio")))
                return;
        } else if (found) {
            return;
        }
    }
}

void TDataModuleReminder::ReminderDia()
{
    const QString date = DateText::fecha(Reminder_Form->DateTimePicker1->date());
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
