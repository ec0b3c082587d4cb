#include "store/engine/RowCache.h"

#include <QDate>

#include <algorithm>

namespace engine {

void RowCache::reset(const FieldDefs& fields)
{
    m_fields = fields;
    m_wanted.fill(false, fields.size());
    m_runSize = 0;
    clear();
}

void RowCache::clear()
{
    m_hasRun = false;
    m_version = -1;
    m_ids.clear();
    m_present.clear();
    m_cells.clear();
    m_text.clear();
    m_places.clear();
}

void RowCache::checkVersion(qint64 version)
{
    if (version != m_version) {
        clear();
        m_version = version;
    }
}

void RowCache::want(int field)
{
    m_wanted[field] = true;
}

void RowCache::wantAll()
{
    m_wanted.fill(true);
}

QVector<int> RowCache::columnsToRead(int& key) const
{
    QVector<int> columns;
    key = -1;
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).type == FieldType::AutoInc && key < 0)
            key = int(columns.size());
        else if (!m_wanted.at(i))
            continue;
        columns.append(i);
    }
    return columns;
}

int RowCache::nextRunSize(int pos)
{
    const bool forward = m_hasRun && pos == m_start + m_ids.size();
    m_runSize = forward ? std::min(m_runSize * 2, kMaxRun) : kRun;
    return m_runSize;
}

void RowCache::startRun(int start, const QVector<qint64>& ids)
{
    const qint64 version = m_version;
    clear();
    m_hasRun = true;
    m_version = version;
    m_start = start;
    m_ids = ids;
    m_present.fill(false, ids.size());
    m_cells.resize(size_t(ids.size()) * size_t(m_fields.size()));
    // The rows come in key order, not the dataset's: each finds its place by its ID.
    m_places.resize(ids.size());
    for (int i = 0; i < ids.size(); ++i)
        m_places[i] = {ids.at(i), i};
    std::sort(m_places.begin(), m_places.end());
}

RowCache::Cell* RowCache::rowCells(qint64 id)
{
    const auto it = std::lower_bound(m_places.cbegin(), m_places.cend(), std::make_pair(id, 0));
    if (it == m_places.cend() || it->first != id)
        return nullptr;
    m_present[it->second] = true;
    return m_cells.data() + size_t(it->second) * size_t(m_fields.size());
}

void RowCache::setBytes(Cell& cell, const char* data, int bytes)
{
    cell.offset = qint32(m_text.size());
    cell.bytes = bytes;
    if (data)
        m_text.append(data, size_t(bytes));
}

RowCache::Found RowCache::find(int pos, qint64 id, int field, const Cell** cell) const
{
    const int slot = pos - m_start;
    if (!m_hasRun || slot < 0 || slot >= m_ids.size() || m_ids.at(slot) != id)
        return Found::NotRead;
    if (!m_present.at(slot))
        return Found::Gone;
    *cell = &m_cells[size_t(slot) * size_t(m_fields.size()) + size_t(field)];
    return (*cell)->fetched ? Found::Value : Found::Unfetched;
}

QVariant RowCache::value(const Cell& cell, int field) const
{
    if (cell.isNull)
        return QVariant();
    switch (m_fields.at(field).type) {
    case FieldType::AutoInc:
        return QVariant(cell.number);
    case FieldType::Logical:
        return QVariant(cell.number != 0);
    case FieldType::Text:
    case FieldType::Memo:
        return QVariant(QString::fromUtf8(m_text.data() + cell.offset, cell.bytes));
    case FieldType::Date: {
        const QDate date = QDate::fromString(QString::fromUtf8(m_text.data() + cell.offset, cell.bytes), Qt::ISODate);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    }
    return QVariant();
}

} // namespace engine
