#pragma once
// The rows a dataset read last from its file, kept so that walking or painting a grid
// costs one file read per run of rows, not one per value. Holds no file: the dataset
// reads the rows and fills them in; the cache says what to read and answers from them.
//
// One run of rows is kept, from one position on. Texts and dates stay as the file's
// bytes and become values only when asked for: most walks read one or two fields. Only
// the key and the fields asked for since the cache was made for its fields are read.

#include "store/engine/FieldDef.h"

#include <QVariant>
#include <QVector>

#include <string>
#include <vector>

namespace engine {

class RowCache
{
public:
    // Rows read by one statement; a walk that keeps going forward doubles the rows of each
    // read, up to kMaxRun.
    static constexpr int kRun = 32;
    static constexpr int kMaxRun = 1024;

    struct Cell
    {
        qint64 number = 0;  // an integer or logical field's value
        qint32 offset = -1; // a text or date field's bytes: text.substr(offset, bytes)
        qint32 bytes = 0;
        bool isNull = true;
        bool fetched = false; // false: the field was not read (nobody had asked for it)
    };

    enum class Found {
        NotRead,   // the row is not among the rows kept
        Unfetched, // the row is, without this field
        Gone,      // the row was no longer in the file when read
        Value,
    };

    // Starts afresh for these fields: nothing kept, no field asked for.
    void reset(const FieldDefs& fields);
    // Forgets the rows kept (the fields asked for stay).
    void clear();
    // Forgets the rows kept when the file's change count is not the one they were read at.
    void checkVersion(qint64 version);

    // The field is read with the rows from now on.
    void want(int field);
    void wantAll();
    // The fields to read (in field order), and in `key` the position of the key among them.
    QVector<int> columnsToRead(int& key) const;

    // How many rows the next read from `pos` takes: more while a walk goes forward past
    // the rows kept, else kRun. Call once per read.
    int nextRunSize(int pos);
    // The rows the read after a newly asked-for field takes from `pos`.
    int refetchSize() const { return std::max(m_runSize, kRun); }

    // Starts a run of rows read from `start`, the rows' IDs in the dataset's order.
    void startRun(int start, const QVector<qint64>& ids);
    // The cells of the row with this ID in the run being read, marked as present; null
    // when the run has no such row.
    Cell* rowCells(qint64 id);
    // Keeps a text or date cell's bytes.
    void setBytes(Cell& cell, const char* data, int bytes);

    // The cell of a field of the row at `pos` (whose ID is `id`).
    Found find(int pos, qint64 id, int field, const Cell** cell) const;
    // A found cell's value as the field type holds it; null for an empty cell.
    QVariant value(const Cell& cell, int field) const;

private:
    FieldDefs m_fields;
    QVector<bool> m_wanted; // per field: read with the rows (asked for since reset)
    qint64 m_version = -1;  // the file's change count when the run was read
    int m_runSize = 0;
    bool m_hasRun = false;
    int m_start = 0;
    QVector<qint64> m_ids;     // the run's IDs as the dataset listed them
    QVector<bool> m_present;   // false: the row is gone from the file
    std::vector<Cell> m_cells; // one per field per row
    std::string m_text;
    QVector<std::pair<qint64, int>> m_places; // (ID, slot) sorted by ID
};

} // namespace engine
