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

class TRutines;

class TDataModuleReminder : public QObject
{
    Q_OBJECT
public:
    explicit TDataModuleReminder(QObject* parent = nullptr);
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

    // --- address cards (Data_Direcciones.cpp) ---------------------------------
    void AnadirDireccion();
    void EditarDireccion();
    void CancelarDirecciones();
    void BuscarDireccion(const QString& text);
    void Consulta(const QString& tableFile, engine::Query* query, const QString& field, bool ascending);

private:
    QString m_dataFolder;
};

extern TDataModuleReminder* DataModuleReminder;
