#include "store/engine/OverdueScan.h"

#include "core/DateText.h"

#include <QSet>

namespace OverdueScan {

void run(engine::Query* query, const QDate& today, const std::function<void(const Row&)>& alert)
{
    static const QString fecha = QStringLiteral("Fecha");
    static const QString leido = QStringLiteral("Leido");
    const engine::FieldDef fechaField = query->field(fecha);

    QSet<qint64> alerted;
    for (;;) {
        // Unread rows of past days and rows whose date does not read, in the query's order.
        const QVector<engine::Dataset::RowValues> rows = query->overdueCandidates(fecha, leido, today, {fecha, leido});
        const engine::Dataset::RowValues* due = nullptr;
        for (const engine::Dataset::RowValues& row : rows) {
            const QDate date = DateText::parseFecha(engine::Dataset::asStringOf(fechaField, row.values.at(0)));
            const QVariant read = row.values.at(1);
            if (date < today && !read.isNull() && !read.toBool() && !alerted.contains(row.id)) {
                due = &row;
                break;
            }
        }
        if (!due)
            return;
        alerted.insert(due->id);
        alert(Row{due->id});
    }
}

} // namespace OverdueScan
