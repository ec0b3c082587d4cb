#include "store/controls/DBGrid.h"

#include "platform/Guard.h"
#include "store/engine/DataSource.h"

#include <QHeaderView>
#include <QScopeGuard>

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), m_model(new GridModel(this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);

    // The selected row stays marked while another control has the focus.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);

    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultAlignment(Qt::AlignCenter);
    rows->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("\u25B6")) + 12);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);

    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { userMovedTo(current); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &DBGrid::columnResized);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit doubleClicked();
    });
}

void DBGrid::setDataSource(engine::DataSource* source)
{
    if (m_source == source)
        return;
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &engine::DataSource::dataChanged, this, &DBGrid::sourceChanged);
        connect(source, &engine::DataSource::stateChanged, this, &DBGrid::sourceChanged);
        connect(source, &QObject::destroyed, this, &DBGrid::sourceChanged);
    }
    sourceChanged();
}

void DBGrid::addColumn(const QString& field, const QString& title, int width, bool visible)
{
    m_columns.append(GridColumn{field, title, width, visible});
    m_columnsChanged = true;
    sourceChanged();
}

void DBGrid::clearColumns()
{
    m_columns.clear();
    m_columnsChanged = true;
    sourceChanged();
}

engine::Dataset* DBGrid::dataset() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

void DBGrid::showEvent(QShowEvent* event)
{
    // Read before the first paint asks the model for cells.
    if (m_dirty)
        guarded([this] { refresh(); });
    QTableView::showEvent(event);
}

void DBGrid::sourceChanged()
{
    m_dirty = true;
    // A hidden grid reads nothing: a stale query is not re-run for it.
    if (isVisible())
        guarded([this] { refresh(); });
}

void DBGrid::refresh()
{
    QString unknown;
    m_refreshGate.run([&] {
        m_dirty = false;
        engine::Dataset* ds = dataset();
        const bool active = ds && ds->isActive();
        const int rows = active ? ds->recordCount() : 0;
        // Same rows and columns: only the visible cells are read again, keeping the
        // scroll position and the user's column widths.
        if (m_columnsChanged || ds != m_model->dataset() || rows != m_model->rowCount() ||
            (active && m_columns.isEmpty() && ds->fields().size() != m_model->columnCount()))
            unknown = reloadModel(ds);
        else
            m_model->refreshCells();
        followDataset();
    });
    // The other columns work; a column naming no field is reported with the dataset's error.
    if (!unknown.isEmpty() && dataset())
        dataset()->field(unknown);
}

QString DBGrid::reloadModel(engine::Dataset* ds)
{
    m_columnsChanged = false;
    // The reset moves the selection and may resize sections: neither is the user's.
    m_following = true;
    m_applying = true;
    const auto done = qScopeGuard([this] { m_following = m_applying = false; });
    const QString unknown = m_model->reload(ds, m_columns);
    applyColumns();
    return unknown;
}

void DBGrid::applyColumns()
{
    const QVector<GridColumn>& columns = m_model->columns();
    for (int i = 0; i < columns.size(); ++i) {
        const GridColumn& column = columns.at(i);
        setColumnHidden(i, !column.visible);
        const int width = m_widths.value(column.field.toLower(), column.width);
        if (width >= 0)
            setColumnWidth(i, width);
    }
}

void DBGrid::followDataset()
{
    engine::Dataset* ds = dataset();
    const int row = ds && ds->isActive() && m_model->rowCount() > 0 ? ds->recNo() : -1;
    m_model->setCurrentRow(row);
    m_following = true;
    const auto done = qScopeGuard([this] { m_following = false; });
    if (m_model->currentRow() < 0) {
        selectionModel()->clear();
        return;
    }
    int column = currentIndex().isValid() ? currentIndex().column() : 0;
    while (column < m_model->columnCount() - 1 && isColumnHidden(column))
        ++column;
    const QModelIndex index = m_model->index(m_model->currentRow(), column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void DBGrid::userMovedTo(const QModelIndex& current)
{
    if (m_following || !current.isValid())
        return;
    engine::Dataset* ds = dataset();
    if (!ds || !ds->isActive())
        return;
    guarded([&] {
        if (ds->recNo() != current.row())
            ds->moveTo(current.row());
    });
    // The dataset refused or stands elsewhere: show where it is.
    if (isVisible())
        guarded([this] { followDataset(); });
}

void DBGrid::columnResized(int column, int oldWidth, int newWidth)
{
    Q_UNUSED(oldWidth);
    if (m_applying || newWidth <= 0 || column < 0 || column >= m_model->columns().size())
        return;
    m_widths.insert(m_model->columns().at(column).field.toLower(), newWidth);
}
