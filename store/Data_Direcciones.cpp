// The address operations of the data store: start, edit, search and cancel cards in
// TableLibreta, and re-sort the address list query.

#include "store/Data_Unit.h"

#include "addressbook/Direccion_Unit.h"
#include "app/Ostiva_Unit.h"
#include "core/Error.h"
#include "platform/Guard.h"
#include "platform/Seams.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

namespace {

void stopTimer()
{
    if (Ostiva_Form && Ostiva_Form->Timer1)
        Ostiva_Form->Timer1->stop();
}

// The card editor opens on its first page with an empty e-mail input box.
void prepareCardEditor()
{
    if (!Direccion_Form)
        return;
    Direccion_Form->PageControl1->setCurrentIndex(0);
    Direccion_Form->Edit1->clear();
}

// Undoes the start of an edit whose editor does not open: the card is dropped and the
// timer runs again.
void dropCard()
{
    guarded([] { DataModuleReminder->TableLibreta->cancel(); });
    if (Ostiva_Form && Ostiva_Form->Timer1)
        Ostiva_Form->Timer1->start();
}

bool cardEditorOpen()
{
    return Direccion_Form && Direccion_Form->isVisible();
}

// The name of `field` as the table declares it, or "" when the table has no such field.
QString declaredField(const engine::FieldDefs& fields, const QString& field)
{
    for (const engine::FieldDef& def : fields) {
        if (def.name.compare(field, Qt::CaseInsensitive) == 0)
            return def.name;
    }
    return QString();
}

} // namespace

void TDataModuleReminder::AnadirDireccion()
{
    if (cardEditorOpen())
        return;
    stopTimer();
    prepareCardEditor();
    try {
        // On an empty table edit() already inserts; insert() then drops that unchanged
        // record and starts a fresh one.
        TableLibreta->edit();
        TableLibreta->insert();
    } catch (...) {
        // The editor will not open: nothing may stay half-inserted or the timer stopped.
        dropCard();
        throw;
    }
    Direccion_Form->show();
    Direccion_Form->raise();
    Direccion_Form->activateWindow();
}

void TDataModuleReminder::EditarDireccion()
{
    if (!QueryLibreta->isActive() || QueryLibreta->isNull(QStringLiteral("ID")))
        return;
    const qint64 id = QueryLibreta->asInteger(QStringLiteral("ID"));
    const bool wasOpen = cardEditorOpen();
    stopTimer();
    prepareCardEditor();
    try {
        // The key search ends the pending edit of a card already open in the editor.
        if (!TableLibreta->findKey(id)) {
            // The list is older than the table: opening the current record instead would
            // show (and let the user change) another card.
            throw EngineError(QStringLiteral("La dirección seleccionada ya no existe en la libreta"));
        }
        TableLibreta->edit();
    } catch (...) {
        if (!wasOpen)
            dropCard();
        throw;
    }
    Direccion_Form->show();
    Direccion_Form->raise();
    Direccion_Form->activateWindow();
}

void TDataModuleReminder::CancelarDirecciones()
{
    TableLibreta->cancel();
}

void TDataModuleReminder::BuscarDireccion(const QString& text)
{
    // Moving the table would end the edit of the card open in the editor and leave the
    // editor on another record.
    if (cardEditorOpen()) {
        seams::showPlain(QStringLiteral("Cierre primero la ficha de dirección abierta."));
        return;
    }
    if (!TableLibreta->isActive() || TableLibreta->isEmpty())
        return;
    bool found = false;
    for (;;) {
        // An empty text matches nothing, as a text search for "" finds no position.
        const QString nombre = TableLibreta->asString(QStringLiteral("Nombre"));
        if (!text.isEmpty() && nombre.contains(text, Qt::CaseSensitive)) {
            stopTimer();
            try {
                TableLibreta->edit();
            } catch (...) {
                dropCard();
                throw;
            }
            Direccion_Form->exec();
            TableLibreta->next();
            found = true;
        } else {
            TableLibreta->next();
        }

        if (TableLibreta->eof()) {
            TableLibreta->first();
            if (found)
                return;
            if (!seams::askYesNo(QStringLiteral("Nombre no encontrado, ¿volver a buscar desde el principio?"),
                                 QStringLiteral("Buscar Dirección")))
                return;
        } else if (found) {
            return;
        }
    }
}

void TDataModuleReminder::Consulta(const QString& tableFile, engine::Query* query, const QString& field, bool ascending)
{
    // Only a field of the named table goes into the query text, in its declared spelling.
    engine::FieldDefs fields;
    QString file;
    if (tableFile.compare(kDireccionesFile, Qt::CaseInsensitive) == 0) {
        fields = direccionesFields();
        file = kDireccionesFile;
    } else if (tableFile.compare(kReminderFile, Qt::CaseInsensitive) == 0) {
        fields = reminderFields();
        file = kReminderFile;
    } else {
        throw EngineError(QStringLiteral("Tabla «%1» desconocida").arg(tableFile));
    }
    const QString orderField = declaredField(fields, field);
    if (orderField.isEmpty())
        throw EngineError(
            QStringLiteral("No se puede ordenar por «%1»: la tabla %2 no tiene ese campo").arg(field, file));

    query->setSql(
        {QStringLiteral("SELECT *"), QStringLiteral("FROM ") + file,
         QStringLiteral("ORDER BY ") + orderField + (ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC"))});
    query->execSql();
    query->open();
}
