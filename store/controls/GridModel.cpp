#include "store/controls/GridModel.h"

#include "store/engine/Dataset.h"
#include "store/engine/FieldText.h"

#include <QLoggingCategory>

#include <exception>

Q_LOGGING_CATEGORY(lcGrid, "pennaro.grid")

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

QString GridModel::reload(engine::Dataset* dataset, const QVector<GridColumn>& columns)
{
    QVector<GridColumn> shown = columns;
    QVector<engine::FieldType> types;
    QString unknown;
    int rows = 0;
    if (dataset && dataset->isActive()) {
        rows = dataset->recordCount();
        if (shown.isEmpty()) {
            for (const engine::FieldDef& def : dataset->fields())
                shown.append(GridColumn{def.name, QString(), -1, true});
        }
        for (const GridColumn& column : std::as_const(shown)) {
            const int index = dataset->fieldIndex(column.field);
            types.append(index >= 0 ? dataset->fields().at(index).type : engine::FieldType::Text);
            if (index < 0 && unknown.isEmpty())
                unknown = column.field;
        }
    } else {
        types.fill(engine::FieldType::Text, shown.size());
    }
    beginResetModel();
    m_dataset = dataset;
    m_columns = shown;
    m_types = types;
    m_rows = rows;
    m_current = -1;
    m_lastFailure.clear();
    endResetModel();
    return unknown;
}

void GridModel::refreshCells()
{
    if (m_rows > 0 && !m_columns.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows - 1, int(m_columns.size()) - 1), {Qt::DisplayRole});
}

void GridModel::setCurrentRow(int row)
{
    if (row < 0 || row >= m_rows)
        row = -1;
    if (row == m_current)
        return;
    const int previous = m_current;
    m_current = row;
    if (previous >= 0)
        emit headerDataChanged(Qt::Vertical, previous, previous);
    if (row >= 0)
        emit headerDataChanged(Qt::Vertical, row, row);
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !m_dataset || index.column() >= m_columns.size())
        return QVariant();
    // Called while painting: an error cannot be shown from here (a message box would
    // paint the grid again). The grid's own reload reports it; the cell stays empty and
    // the failure goes to the log.
    const QString& field = m_columns.at(index.column()).field;
    QString failure;
    try {
        return engine::valueText(m_types.at(index.column()), m_dataset->valueAt(index.row(), field));
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("error desconocido");
    }
    if (failure != m_lastFailure) {
        m_lastFailure = failure;
        qCWarning(lcGrid, "%s: cannot read field %s of row %d: %s", qUtf8Printable(m_dataset->name()),
                  qUtf8Printable(field), index.row(), qUtf8Printable(failure));
    }
    return QVariant();
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Vertical)
        return section == m_current ? QStringLiteral("\u25B6") : QString();
    if (section < 0 || section >= m_columns.size())
        return QVariant();
    const GridColumn& column = m_columns.at(section);
    return column.title.isEmpty() ? column.field : column.title;
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
