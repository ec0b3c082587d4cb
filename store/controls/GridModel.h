#pragma once
// The table model behind a DBGrid: one row per record of a dataset, one column per
// grid column. The row count and columns are taken when the grid reloads the model;
// cells are read from the dataset only when the view asks for them, so a large
// dataset costs nothing beyond its visible rows.

#include "store/engine/FieldDef.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>
#include <QVector>

namespace engine {
class Dataset;
}

struct GridColumn
{
    QString field;
    QString title;  // the field name when empty
    int width = -1; // the view's default when negative
    bool visible = true;
};

class GridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);

    // Takes a new row count and columns from `dataset` (nullptr or closed: no rows).
    // `columns` empty: one column per field of the dataset. Returns the first column's
    // field that the dataset lacks ("" when all exist); that column stays empty.
    QString reload(engine::Dataset* dataset, const QVector<GridColumn>& columns);
    // Same rows and columns, values may differ: the view reads the visible cells again.
    void refreshCells();
    // The row the indicator marks (-1 for none).
    void setCurrentRow(int row);
    int currentRow() const { return m_current; }

    engine::Dataset* dataset() const { return m_dataset; }
    const QVector<GridColumn>& columns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QPointer<engine::Dataset> m_dataset;
    QVector<GridColumn> m_columns;
    QVector<engine::FieldType> m_types; // per column
    int m_rows = 0;
    int m_current = -1;
    // The last failure a cell read logged: a view paints many cells, and one broken file
    // would otherwise log the same failure for each of them on every paint.
    mutable QString m_lastFailure;
};
