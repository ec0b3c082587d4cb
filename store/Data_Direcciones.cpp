// The address operations of the data store: start, edit, search and cancel cards in
// TableLibreta, and re-sort the address list query.

#include "store/Data_Unit.h"

#include "core/Error.h"
#include "platform/Seams.h"
#include "store/EditSession.h"
#include "store/StoreWindows.h"

namespace {

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
    if (m_windows->cardEditorOpen())
        return;
    EditSession session(TableLibreta);
    m_windows->prepareCardEditor();
    // On an empty table edit() already inserts; insert() then drops that unchanged
    // record and starts a fresh one.
    TableLibreta->edit();
    TableLibreta->insert();
    session.commit();
    m_windows->openCardEditor();
}

void TDataModuleReminder::EditarDireccion()
{
    if (!QueryLibreta->isActive() || QueryLibreta->isNull(QStringLiteral("ID")))
        return;
    const qint64 id = QueryLibreta->asInteger(QStringLiteral("ID"));
    // A card already open in the editor stays that editor's to end, whatever happens here.
    EditSession session(TableLibreta,
                        m_windows->cardEditorOpen() ? EditSession::OnFailure::Keep : EditSession::OnFailure::Cancel);
    m_windows->prepareCardEditor();
    // The key search ends the pending edit of a card already open in the editor.
    if (!TableLibreta->findKey(id)) {
        // The list is older than the table: opening the current record instead would
        // show (and let the user change) another card.
        throw EngineError(QStringLiteral("La dirección seleccionada ya no existe en la libreta"));
    }
    TableLibreta->edit();
    session.commit();
    m_windows->openCardEditor();
}

void TDataModuleReminder::CancelarDirecciones()
{
    TableLibreta->cancel();
}

void TDataModuleReminder::BuscarDireccion(const QString& text)
{
    // Moving the table would end the edit of the card open in the editor and leave the
    // editor on another record.
    if (m_windows->cardEditorOpen()) {
        seams::showPlain(QStringLiteral("Cierre primero la ficha de dirección abierta."));
        return;
    }
    const auto again = [] {
        return seams::askYesNo(QStringLiteral("Nombre no encontrado, ¿volver a buscar desde el principio?"),
                               QStringLiteral("Buscar Dirección"));
    };
    wrapSearch(TableLibreta, QStringLiteral("Nombre"), text, again, [this] {
        EditSession session(TableLibreta);
        TableLibreta->edit();
        session.commit();
        m_windows->runCardEditor();
    });
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
