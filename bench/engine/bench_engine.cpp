// Times the engine's operations on a data folder as large as a long-used Pennaro:
// 100 000 reminders spread over five years and 10 000 address cards.
//   bench_engine [folder]   (a temporary folder when none is given)

#include "core/Clock.h"
#include "core/Error.h"
#include "store/engine/Connection.h"
#include "store/engine/DataSource.h"
#include "store/engine/Query.h"
#include "store/engine/Table.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <functional>

using namespace engine;

namespace {

constexpr int kReminders = 100000;
constexpr int kCards = 10000;

FieldDef def(const char* name, FieldType type, int size = 0)
{
    return FieldDef{QString::fromLatin1(name), type, size, type == FieldType::AutoInc};
}

FieldDefs reminderFields()
{
    return {def("ID", FieldType::AutoInc),        def("Fecha", FieldType::Text, 10),
            def("Hora", FieldType::Text, 8),      def("Recordatorio", FieldType::Text, 255),
            def("Playsound", FieldType::Logical), def("Leido", FieldType::Logical),
            def("RepetirN", FieldType::Text, 2),  def("RepetirS", FieldType::Text, 6)};
}

FieldDefs cardFields()
{
    FieldDefs f{def("ID", FieldType::AutoInc),     def("Nombre", FieldType::Text, 40),
                def("Nick", FieldType::Text, 40),  def("Email", FieldType::Text, 50),
                def("Emails", FieldType::Memo),    def("Direccion", FieldType::Text, 40),
                def("Ciudad", FieldType::Text, 30)};
    for (const char* name :
         {"Provincia", "Pais", "Organizacion", "EmpresaCiudad", "EmpresaProvincia", "EmpresaPais", "Oficina"})
        f.append(def(name, FieldType::Text, 30));
    for (const char* name : {"Tel", "FAX", "Movil", "EmpresaTel", "EmpresaFax"})
        f.append(def(name, FieldType::Text, 9));
    f.append(def("Cumpleanos", FieldType::Date));
    f.append(def("Notas", FieldType::Memo));
    return f;
}

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error);
        std::exit(1);
    }
}

// Fills the tables in one transaction each, straight through SQLite: posting 100 000
// records one durable transaction at a time would take hours of disk syncs.
void fill(Connection& connection)
{
    auto* rng = QRandomGenerator::global();
    const QDate start = Clock::today().addYears(-2).addDays(-180);
    sqlite3* db = connection.handle(QStringLiteral("Reminder.DB"));
    exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Reminder (Fecha, Hora, Recordatorio, Playsound, Leido, RepetirN, RepetirS) "
                       "VALUES (?, ?, ?, ?, ?, '0', 'Día/s')",
                       -1, &st, nullptr);
    for (int i = 0; i < kReminders; ++i) {
        const QByteArray fecha = start.addDays(rng->bounded(5 * 365)).toString("dd/MM/yyyy").toUtf8();
        const QByteArray hora = QStringLiteral("%1:%2:00")
                                    .arg(rng->bounded(24), 2, 10, QLatin1Char('0'))
                                    .arg(rng->bounded(60), 2, 10, QLatin1Char('0'))
                                    .toUtf8();
        const QByteArray text = QStringLiteral("Recordatorio número %1 con algo de texto").arg(i).toUtf8();
        sqlite3_bind_text(st, 1, fecha.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, hora.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, text.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 4, 1);
        sqlite3_bind_int(st, 5, rng->bounded(2));
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(db, "COMMIT");

    db = connection.handle(QStringLiteral("Direcciones.DB"));
    exec(db, "BEGIN");
    sqlite3_prepare_v2(db, "INSERT INTO Direcciones (Nombre, Email, Ciudad) VALUES (?, ?, ?)", -1, &st, nullptr);
    for (int i = 0; i < kCards; ++i) {
        const QByteArray name = QStringLiteral("Persona %1").arg(rng->bounded(kCards)).toUtf8();
        const QByteArray mail = QStringLiteral("p%1@example.org").arg(i).toUtf8();
        const QByteArray city = QStringLiteral("Ciudad %1").arg(rng->bounded(200)).toUtf8();
        sqlite3_bind_text(st, 1, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, mail.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, city.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(db, "COMMIT");
}

double g_cpuMs = 0; // processor time of the last measure: the machine may be shared

double ms(const std::function<void()>& f)
{
    QElapsedTimer timer;
    const std::clock_t cpu = std::clock();
    timer.start();
    f();
    g_cpuMs = double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const char* what, double millis, const char* target = "")
{
    std::printf("%-56s %9.3f ms (cpu %8.3f ms)  %s\n", what, millis, g_cpuMs, target);
}

QString dateText(const QDate& d)
{
    return d.toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    try {
        {
            Connection setup;
            setup.setPath(folder);
            setup.connect();
            const double created = ms([&] {
                setup.createTable(QStringLiteral("Reminder.DB"), reminderFields(), QStringLiteral("ID;Fecha;Hora"));
                setup.createTable(QStringLiteral("Direcciones.DB"), cardFields(), QStringLiteral("ID;Nombre"));
            });
            report("crear las dos tablas", created);
            report("llenar 100 000 recordatorios y 10 000 fichas", ms([&] { fill(setup); }));
        }

        Connection connection;
        connection.setPath(folder);
        connection.connect();
        Table reminders(QStringLiteral("TableReminder"));
        Table cards(QStringLiteral("TableLibreta"));
        DataSource master(QStringLiteral("DataSourceTableReminder"));
        Query all(QStringLiteral("QueryReminder")), month(QStringLiteral("QueryReminderMes")),
            day(QStringLiteral("QueryReminderDia")), list(QStringLiteral("QueryLibreta"));
        for (Dataset* d : std::initializer_list<Dataset*>{&reminders, &cards, &all, &month, &day, &list})
            d->setConnection(&connection);
        reminders.setTableName(QStringLiteral("Reminder.DB"));
        cards.setTableName(QStringLiteral("Direcciones.DB"));
        master.setDataSet(&reminders);
        for (Query* q : {&all, &month, &day})
            q->setMasterSource(&master);

        const QDate today = Clock::today();
        const QString todayText = dateText(today);
        all.setSql({"SELECT *", "FROM Reminder.DB", "ORDER BY Fecha, Hora"});
        day.setSql(
            {"SELECT *", "FROM Reminder.DB", QStringLiteral("WHERE Fecha = \"%1\" ").arg(todayText), "ORDER BY Hora"});
        month.setSql({"SELECT *", "FROM Reminder.DB",
                      QStringLiteral("WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/%1\" ").arg(today.toString("MM/yyyy")),
                      "ORDER BY Hora"});
        list.setSql({"SELECT *", "FROM Direcciones.DB", "ORDER BY Nombre, Email DESC"});

        report("abrir las dos tablas", ms([&] {
                   reminders.open();
                   cards.open();
               }));
        report("abrir las cuatro consultas", ms([&] {
                   for (Query* q : {&list, &all, &day, &month}) {
                       q->execSql();
                       q->open();
                   }
               }));

        int rows = 0;
        report("recorrer la tabla con next() (3 consultas enlazadas)", ms([&] {
                   reminders.first();
                   for (; !reminders.eof(); reminders.next())
                       ++rows;
               }),
               "(objetivo: muy por debajo de 200 ms)");
        int length = 0;
        report("recorrer la tabla leyendo «Recordatorio»", ms([&] {
                   for (reminders.first(); !reminders.eof(); reminders.next())
                       length += int(reminders.asString(QStringLiteral("Recordatorio")).size());
               }));
        report("volver a ejecutar la consulta de todos (100 000)", ms([&] { all.recordCount(); }));
        bool found = false;
        report("localizar la fecha de hoy en «ORDER BY Fecha, Hora»",
               ms([&] { found = all.locate(QStringLiteral("Fecha"), todayText); }), "(objetivo: < 1 ms)");
        report("localizar la fecha de hoy, 100 veces", ms([&] {
                   for (int i = 0; i < 100; ++i)
                       all.locate(QStringLiteral("Fecha"), todayText);
               }));
        int monthRows = 0;
        report("consulta del mes (LIKE): ejecutar y recorrer", ms([&] {
                   month.setSql({"SELECT *", "FROM Reminder.DB",
                                 QStringLiteral("WHERE CAST(Fecha AS CHAR(10)) LIKE \"%/%1\" ")
                                     .arg(today.addMonths(1).toString("MM/yyyy")),
                                 "ORDER BY Hora"});
                   month.execSql();
                   month.open();
                   for (month.first(); !month.eof(); month.next()) {
                       month.asString(QStringLiteral("Fecha"));
                       ++monthRows;
                   }
               }),
               "(objetivo: < 10 ms)");
        int dayRows = 0;
        report("consulta del día: ejecutar y recorrer", ms([&] {
                   day.setSql({"SELECT *", "FROM Reminder.DB",
                               QStringLiteral("WHERE Fecha = \"%1\" ").arg(dateText(today.addDays(1))),
                               "ORDER BY Hora"});
                   day.execSql();
                   day.open();
                   for (day.first(); !day.eof(); day.next()) {
                       day.asString(QStringLiteral("Hora"));
                       ++dayRows;
                   }
               }));
        report("refrescar la tabla de recordatorios", ms([&] { reminders.refresh(); }));
        report("refrescar la lista de direcciones", ms([&] { list.refresh(); }));
        report("ordenar direcciones por Ciudad DESC", ms([&] {
                   list.setSql({"SELECT *", "FROM Direcciones.DB", "ORDER BY Ciudad DESC"});
                   list.execSql();
                   list.open();
               }));
        report("mover la tabla y releer las tres consultas", ms([&] {
                   reminders.next();
                   all.recordCount();
                   month.recordCount();
                   day.recordCount();
               }));
        std::printf("\nfilas: %d recorridas, hoy %s, %d del mes, %d del día, %d caracteres leídos\n", rows,
                    found ? "encontrado" : "sin recordatorios", monthRows, dayRows, length);
    } catch (const PennaroError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
