#pragma once
// A read-only grid over the records behind a data source: one row per record, whole-row
// single selection, a row indicator on the current record, titled, resizable and
// optionally hidden columns. The selected row follows the dataset's current record and
// moving the selection moves the dataset. Cells are read on demand, so large datasets
// stay fast; a hidden grid reads nothing until it is shown.

#include "store/controls/GridModel.h"
#include "store/controls/RefreshGate.h"
#include "store/engine/DataSource.h"

#include <QHash>
#include <QPointer>
#include <QTableView>

class DBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);

    void setDataSource(engine::DataSource* source);
    engine::DataSource* dataSource() const { return m_source; }

    // Columns in order; without any, the grid shows every field of the dataset.
    // `title` empty: the field name; `width` negative: the default width.
    void addColumn(const QString& field, const QString& title = {}, int width = -1, bool visible = true);
    void clearColumns();

signals:
    // A row was double-clicked (after it became the current record).
    void doubleClicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    engine::Dataset* dataset() const;
    void sourceChanged();
    void refresh();
    QString reloadModel(engine::Dataset* ds);
    void applyColumns();
    void followDataset();
    void userMovedTo(const QModelIndex& current);
    void columnResized(int column, int oldWidth, int newWidth);

    GridModel* m_model;
    QPointer<engine::DataSource> m_source;
    QVector<GridColumn> m_columns;
    QHash<QString, int> m_widths; // widths the user gave columns, by field
    bool m_dirty = true;
    bool m_columnsChanged = true;
    bool m_following = false; // moving the selection to the dataset's row
    bool m_applying = false;  // setting column widths ourselves
    RefreshGate m_refreshGate;
};
