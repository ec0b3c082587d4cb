#include "store/engine/Tables.h"

#include "store/engine/Sqlite.h"

namespace engine::tables {

QString reminderFile()
{
    return QStringLiteral("Reminder.DB");
}

QString direccionesFile()
{
    return QStringLiteral("Direcciones.DB");
}

FieldDefs reminderFields()
{
    return {
        {QStringLiteral("ID"), FieldType::AutoInc, 0, true},
        {QStringLiteral("Fecha"), FieldType::Text, 10, false},
        {QStringLiteral("Hora"), FieldType::Text, 8, false},
        {QStringLiteral("Recordatorio"), FieldType::Text, 255, false},
        {QStringLiteral("Playsound"), FieldType::Logical, 0, false},
        {QStringLiteral("Leido"), FieldType::Logical, 0, false},
        {QStringLiteral("RepetirN"), FieldType::Text, 2, false},
        {QStringLiteral("RepetirS"), FieldType::Text, 6, false},
    };
}

FieldDefs direccionesFields()
{
    auto text = [](const char* name, int size) {
        return FieldDef{QString::fromLatin1(name), FieldType::Text, size, false};
    };
    auto memo = [](const char* name) { return FieldDef{QString::fromLatin1(name), FieldType::Memo, 0, false}; };
    auto date = [](const char* name) { return FieldDef{QString::fromLatin1(name), FieldType::Date, 0, false}; };
    return {
        {QStringLiteral("ID"), FieldType::AutoInc, 0, true},
        text("Nombre", 40),
        text("Nick", 40),
        text("Email", 50),
        memo("Emails"),
        text("Direccion", 40),
        text("Ciudad", 30),
        text("Provincia", 30),
        text("CP", 5),
        text("Pais", 30),
        text("Web", 50),
        text("Tel", 9),
        text("FAX", 9),
        text("Movil", 9),
        text("Organizacion", 30),
        text("EmpresaDireccion", 40),
        text("EmpresaCiudad", 30),
        text("EmpresaProvincia", 30),
        text("EmpresaCP", 5),
        text("EmpresaPais", 30),
        text("Puesto", 40),
        text("Departamento", 40),
        text("Oficina", 30),
        text("EmpresaTel", 9),
        text("EmpresaFax", 9),
        text("Conyugue", 40),
        memo("Hijos"),
        text("Sexo", 1),
        date("Cumpleanos"),
        date("Aniversario"),
        memo("Notas"),
    };
}

QString reminderIndex()
{
    return QStringLiteral("ID;Fecha;Hora");
}

QString direccionesIndex()
{
    return QStringLiteral("ID;Nombre");
}

// The names are those the files have always had, so that an older file keeps its indexes
// and gets only the ones it lacks.
IndexDefs extraIndexes(const QString& tableFile)
{
    if (tableFile.compare(reminderFile(), Qt::CaseInsensitive) != 0)
        return {};
    const QString fecha = sql::quoted(QStringLiteral("Fecha"));
    const QString month = QStringLiteral("substr(%1, -8)").arg(fecha); // "mm/yyyy" of a date text
    return {
        // A month's reminders by hour: the month queries (LIKE "%/mm/yyyy", ORDER BY Hora).
        {QStringLiteral("idx_Reminder_Fecha_Hora_mes"), {month, sql::quoted(QStringLiteral("Hora"))}},
        // The days of a month that have reminders, one index entry each: the month marks.
        {QStringLiteral("idx_Reminder_Fecha_Hora_dias"), {month, fecha}},
        // Unread reminders of past days: the overdue scan at start.
        {QStringLiteral("Reminder_vencidos"), {sql::isFalse(sql::quoted(QStringLiteral("Leido"))), sql::isoDay(fecha)}},
    };
}

} // namespace engine::tables
