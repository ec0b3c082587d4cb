#pragma once
// The program's two table files: their names, fields in order and primary indexes.
// The data store and the command-line import and export both build on these.

#include "store/engine/FieldDef.h"

#include <QString>

namespace engine::tables {

QString reminderFile();    // "Reminder.DB"
QString direccionesFile(); // "Direcciones.DB"

FieldDefs reminderFields();
FieldDefs direccionesFields();

QString reminderIndex();    // "ID;Fecha;Hora"
QString direccionesIndex(); // "ID;Nombre"

} // namespace engine::tables
