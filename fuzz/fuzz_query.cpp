// The query-language parser: any text either compiles or raises an EngineError, and a
// compiled query is well formed. There is no way back to text, so the same text parsed
// again must give the same result.

#include "FuzzCheck.h"

#include "core/Error.h"
#include "store/engine/QueryParser.h"

namespace {

engine::FieldDefs fieldsOf(const QString& tableFile)
{
    using engine::FieldType;
    if (tableFile.compare(QLatin1String("Reminder.DB"), Qt::CaseInsensitive) == 0)
        return {{QStringLiteral("ID"), FieldType::AutoInc, 0, true},
                {QStringLiteral("Fecha"), FieldType::Text, 10, false},
                {QStringLiteral("Hora"), FieldType::Text, 8, false},
                {QStringLiteral("Recordatorio"), FieldType::Text, 255, false},
                {QStringLiteral("Leido"), FieldType::Logical, 0, false}};
    if (tableFile.compare(QLatin1String("Direcciones.DB"), Qt::CaseInsensitive) == 0)
        return {{QStringLiteral("ID"), FieldType::AutoInc, 0, true},
                {QStringLiteral("Nombre"), FieldType::Text, 40, false},
                {QStringLiteral("Email"), FieldType::Text, 50, false},
                {QStringLiteral("Notas"), FieldType::Memo, 0, false}};
    throw EngineError(QStringLiteral("No existe la tabla «%1»").arg(tableFile));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const QString text = fuzzText(data, size);
    engine::CompiledQuery first;
    try {
        first = engine::parseQuery(text, fieldsOf);
    } catch (const EngineError&) {
        return 0;
    }
    FUZZ_CHECK(!first.tableFile.isEmpty());
    FUZZ_CHECK(first.whereSql.count(QLatin1Char('?')) == first.params.size());
    // Text constants are bound, never part of the SQL: no quote of the input reaches it.
    FUZZ_CHECK(!first.whereSql.contains(QLatin1Char('\'')));
    const engine::CompiledQuery again = engine::parseQuery(text, fieldsOf);
    FUZZ_CHECK(again.tableFile == first.tableFile && again.whereSql == first.whereSql && again.params == first.params &&
               again.orderSql == first.orderSql);
    return 0;
}
