#pragma once
// The program's two table files: their names, fields in order, primary and extra indexes.
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

// The indexes a table file has besides the one on its primary index's fields: what the
// program's queries need to find their rows without reading the others. The connection
// makes them with a new file and adds the missing ones to an older file when it opens it.
// None for a file that is not one of the program's tables.
IndexDefs extraIndexes(const QString& tableFile);

} // namespace engine::tables
