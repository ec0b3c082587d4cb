#pragma once
// The data store: owns the connection, the two tables, the four queries and the five
// data sources through which every window reads and writes records, and the record
// operations on reminders and address cards.
//
// Start-up and switching (Cargar, AbrirDataBase, CerrarDataBase) and the reminder
// operations are in store/Data_Unit.cpp; the address operations in
// store/Data_Direcciones.cpp.

#include "store/engine/Connection.h"
#include "store/engine/DataSource.h"
#include "store/engine/Query.h"
#include "store/engine/Table.h"

#include <QObject>
#include <QString>

#include <functional>

class StoreWindows;
class TRutines;

class TDataModuleReminder : public QObject
{
    Q_OBJECT
public:
    // `windows` answers the store's requests to the windows for the store's whole life.
    explicit TDataModuleReminder(StoreWindows* windows, QObject* parent = nullptr);
    ~TDataModuleReminder() override;

    // Components, in the order the store holds them.
    engine::Table* TableReminder = nullptr;
    engine::DataSource* DataSourceTableReminder = nullptr;
    engine::Connection* DatabaseReminder = nullptr;
    engine::Query* QueryReminder = nullptr;
    engine::DataSource* DataSourceQueryReminder = nullptr; // shows QueryReminderDia
    TRutines* Rutines1 = nullptr;
    engine::Query* QueryReminderMes = nullptr;
    engine::Query* QueryReminderDia = nullptr;
    engine::Table* TableLibreta = nullptr;
    engine::DataSource* DataSourceTableLibreta = nullptr;
    engine::Query* QueryLibreta = nullptr;
    engine::DataSource* DataSourceQueryLibreta = nullptr;

    // The two table files, named as the queries name them.
    static const QString kReminderFile;    // "Reminder.DB"
    static const QString kDireccionesFile; // "Direcciones.DB"

    // Field definitions of the two tables, in order.
    static engine::FieldDefs reminderFields();
    static engine::FieldDefs direccionesFields();

    // --- life (Data_Unit.cpp) ------------------------------------------------
    void DataModuleCreate();  // runs Cargar
    void DataModuleDestroy(); // runs CerrarDataBase
    void Cargar();
    void CreateAlias(const QString& aliasName, const QString& dataFolder);
    void AbrirDataBase();
    void CerrarDataBase();
    QString dataFolder() const { return m_dataFolder; }
    // This user's data folder: program folder + user name + "/Pennaro".
    static QString dataFolderPath();
    // A temporary file that creating one of the two tables makes (see Connection).
    static bool isTableLeftover(const QString& fileName);

    // --- reminders (Data_Unit.cpp) -------------------------------------------
    void AnadirReminder();
    void EditarReminder();
    void CancelarReminder();
    void BuscarRecordatorio(const QString& text);
    void ReminderDia();
    bool Localizar(const QString& field, const QString& value);
    void Actualizar();
    void ActualizarQuery(engine::Query* query);
    // Reads the tables again when another process (an import run from the command line)
    // has written to them since the last call; a dataset being edited is left alone.
    void refreshIfChangedElsewhere();
    // A window changed reminders: the calendar marks are drawn again.
    void remindersChanged();

    // Raises the alert for reminder `id`: TableReminder is placed on it, its sound plays,
    // and the alert is shown, modal. `pauseTimer` keeps the minute timer off while it is
    // open. A reminder no longer in the table is not alerted (Missing).
    enum class Alert {
        Shown,     // the alert was shown and acted upon
        Missing,   // the record is gone since it was read
        Abandoned, // the alert closed without an action (the program is ending)
    };
    Alert raiseAlert(qint64 id, bool pauseTimer);
    // Alerts every unread reminder of a day before today, one by one in the order of the
    // reminder query: at start-up, and again when the minute tick finds a new day or a
    // wake-up. `pauseTimer` as for raiseAlert.
    void alertOverdue(bool pauseTimer);

    // Walks `table` from its current record for one whose `field` contains `text` (case
    // matters; an empty text matches nothing) and hands it to `open`, after which the
    // table moves on one record. At the end the table goes back to its first record;
    // when nothing was found, `again` is asked whether to walk it once more.
    static void wrapSearch(engine::Table* table, const QString& field, const QString& text,
                           const std::function<bool()>& again, const std::function<void()>& open);

    // --- address cards (Data_Direcciones.cpp) ---------------------------------
    void AnadirDireccion();
    void EditarDireccion();
    void CancelarDirecciones();
    void BuscarDireccion(const QString& text);
    void Consulta(const QString& tableFile, engine::Query* query, const QString& field, bool ascending);

private:
    void openTables(const QString& reminderPath, const QString& direccionesPath);
    void openLists();

    StoreWindows* m_windows;
    QString m_dataFolder;
};

extern TDataModuleReminder* DataModuleReminder;
