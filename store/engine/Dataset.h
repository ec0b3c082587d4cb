#pragma once
// A dataset: an ordered set of records with one current record and a state
// (inactive, browse, edit, insert), the base of tables and queries.
//
// Rows are identified by their ID; the dataset keeps the ordered list of IDs, read
// from the file the first time a position is needed (opening or re-running costs
// nothing until then), and reads the current record's values from its file on
// demand, so walking a large table is cheap. Fields are found by name regardless of case. An empty field is
// null: value() gives a null QVariant, asString()/asInteger()/... raise.
//
// The pending-edit rule: moving, a key search, insert or refresh while a record is
// being edited first ends that edit, posted if changed, else cancelled.

#include "store/engine/FieldDef.h"
#include "store/engine/RowCache.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QObject>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace engine {

class Connection;
class DataSource;

enum class DataState { Inactive, Browse, Edit, Insert };

// What happened to a dataset; data sources pass it on to their controls and detail queries.
enum class DataEvent {
    Opened, // opened or re-run: stands on its first row
    Closed,
    Moved,        // another record is current
    Edited,       // put into edit state
    Inserted,     // a new blank record is current
    FieldChanged, // a field of the edit buffer changed
    Posted,
    Cancelled,
    Deleted,
    Refreshed,
};

class Dataset : public QObject
{
    Q_OBJECT
public:
    using Bookmark = qint64; // the ID of a row; -1 for none

    explicit Dataset(const QString& name, QObject* parent = nullptr);
    ~Dataset() override;

    const QString& name() const { return m_name; }
    void setConnection(Connection* connection) { m_connection = connection; }
    Connection* connection() const { return m_connection; }

    // --- life -------------------------------------------------------------
    virtual void open() = 0;
    virtual void close();
    // Finalizes the statements prepared on the file's handle (a closed dataset keeps them
    // for its next opening). While one is left, the connection's disconnect() only defers
    // closing the handle, and the file stays open.
    void releaseStatements();
    bool isActive() const;
    DataState state() const;

    // --- navigation -------------------------------------------------------
    void first();
    void next();
    bool eof(); // true when next() passed the last row, or the dataset is empty
    bool isEmpty();
    int recordCount();
    int recNo();          // 0-based position of the current row, -1 when empty
    void moveTo(int row); // makes row (0-based) current; a grid's selection uses it

    // Exact, case-sensitive search for the first row, in the dataset's order, whose field
    // equals `value`. Moves there and returns true, or leaves the position and returns false.
    bool locate(const QString& field, const QVariant& value);

    Bookmark bookmark();
    // Returns to a bookmarked row; raises EngineError when the row is gone.
    void gotoBookmark(Bookmark bookmark);

    // --- fields -----------------------------------------------------------
    const FieldDefs& fields() const;
    int fieldIndex(const QString& name);        // -1 when unknown
    const FieldDef& field(const QString& name); // raises EngineError when unknown

    QVariant value(const QString& field); // null QVariant for an empty field
    bool isNull(const QString& field);
    QString asString(const QString& field);    // raises ConversionError on null
    qint64 asInteger(const QString& field);    // raises ConversionError on null / not a number
    bool asBoolean(const QString& field);      // raises ConversionError on null
    QDate asDate(const QString& field);        // raises ConversionError on null
    QString displayText(const QString& field); // "" for null; dates in the short-date form

    // Value of a field in another row without moving (grids); null QVariant outside the rows.
    QVariant valueAt(int row, const QString& field);

    // A row read without moving: its key and the values of the fields asked for.
    struct RowValues
    {
        qint64 id = -1;
        QVector<QVariant> values;
    };
    // The text of one of those values as asString() gives it; raises the same errors.
    static QString asStringOf(const FieldDef& field, const QVariant& value);

    // The rows, in the dataset's order, that can be overdue on `today` by a day-first text
    // date (dd/mm/yyyy) and a logical read flag: those whose flag is false and whose date
    // lies before `today`, and every row whose date is empty or not a valid date of that
    // form, whatever its flag. An expression index over the two, when the table file declares
    // one (sql::isFalse of the flag, then sql::isoDay of the date), finds them without
    // reading the other rows.
    QVector<RowValues> overdueCandidates(const QString& dateField, const QString& flagField, const QDate& today,
                                         const QStringList& fields);

    // The rows, in the dataset's order, whose field equals `value` exactly (all rows when
    // `field` is empty), at most `limit` of them (-1: no limit).
    QVector<RowValues> rowsWhere(const QString& field, const QVariant& value, const QStringList& fields,
                                 int limit = -1);

    // The different texts of a text field over the dataset's rows, in the field's order,
    // found one index entry each by stepping from one text to the next. Nothing (and no
    // rows read) when no index of the file gives them that way, when the field is not a
    // text or when some row leaves it empty: the caller then reads the rows.
    std::optional<QStringList> distinctTexts(const QString& field);

    // Sets a field of the record being edited or inserted. An empty text is stored as null,
    // a text longer than its field's size is cut at the size. Raises when not editing.
    void setValue(const QString& field, const QVariant& value);

    // --- records ----------------------------------------------------------
    void edit();    // browse -> edit; on an empty dataset it inserts
    void insert();  // a blank record becomes current (ends a pending edit first)
    void post();    // writes the record (one committed, durable transaction)
    void cancel();  // drops the pending edit or insert
    void remove();  // deletes the current record (durably)
    void refresh(); // re-reads the rows, keeping the current record when it still exists
    bool isModified() const;

    // Ends a pending edit: posted if changed, else cancelled. Nothing when browsing.
    void checkBrowseMode();

    // --- data sources (used by DataSource) ---------------------------------
    void attachSource(DataSource* source);
    void detachSource(DataSource* source);

protected:
    // Loads the ordered IDs of the rows; sets m_fields on first use.
    virtual QVector<qint64> loadIds() = 0;
    // The table file whose rows this dataset shows.
    virtual QString tableFile() const = 0;
    // Called before every read or move; a stale query re-runs here.
    virtual void ensureFresh() {}

    // Which rows, in which order: a condition over quoted columns with ? placeholders
    // ("" for all rows), its parameters, and an order list ("" for key order). The key
    // is always added as the last order key, so ties keep a fixed order.
    struct Selection
    {
        QString where;
        QVariantList params;
        QString order;
    };
    virtual Selection selection() const { return {}; }
    // True when the rows stand in ascending key order (positions found by halving).
    virtual bool rowsInKeyOrder() const { return false; }

    // Runs selection() against the file: the ordered IDs.
    QVector<qint64> selectIds();
    // Loads the IDs again, keeping the current record when it still exists (no event).
    void reloadKeeping();
    // Reads the ordered IDs when they are not read yet (the dataset then stands on its
    // first row, where opening or re-running left it).
    void ensureIds();
    // Forgets the IDs: the next use that needs a position reads them again, standing on
    // the first row.
    void dropIds();
    // The key of the first row, -1 when there is none (read without listing the rows).
    qint64 firstId();
    void requireConnection() const;
    void requireActive() const;
    void requireEditing() const;
    bool isEditing() const { return m_state == DataState::Edit || m_state == DataState::Insert; }
    // Position of a row in m_ids, -1 when it is not there.
    int positionOf(qint64 id) const;
    // True when the row is still in the file.
    bool rowExists(qint64 id);

    void notify(DataEvent event);
    void setOpened(const FieldDefs& fields); // state browse, IDs loaded, first row
    void markClosed();

    Connection* m_connection = nullptr;
    FieldDefs m_fields;
    QVector<qint64> m_ids; // valid only while m_idsLoaded
    bool m_idsLoaded = true;
    // While the IDs are not read after a refresh: the record to make current once they are
    // (its ID, else the position it had).
    bool m_keeping = false;
    qint64 m_keepId = -1;
    int m_keepPos = -1;
    int m_pos = -1;
    bool m_eof = true;
    DataState m_state = DataState::Inactive;

private:
    friend class Query;
    struct Statements;

    // One field of the row at a position; false (and a null value) when the row is gone
    // from the file.
    bool cellAt(int pos, int index, QVariant& value);
    // All fields of the row at a position; false when it is gone from the file.
    bool rowValues(int pos, QVector<QVariant>& values);
    // The current record's value of a field (the edit buffer while editing).
    QVariant currentValue(int index);
    // What value() checks before reading: open, fresh, the field known. Its position.
    int activeField(const QString& fieldName);
    // Rows of the dataset that also meet `condition` (SQL over quoted columns, "" for
    // none), in the dataset's order, with the values of the fields named.
    QVector<RowValues> selectRows(const QString& condition, const QVariantList& params, const QStringList& fields,
                                  int limit);
    // Reads `size` rows from `pos` on into the cache.
    void readRun(int pos, int size);
    void takeRow(sqlite3_stmt* stmt, int key, const QVector<int>& columns);
    void insertRecord(const QString& what);
    void updateRecord(const QString& what);
    void forgetRows();
    int requireField(const QString& name);
    QString keyName() const;
    QString selectFrom(const QVector<int>& fields) const;
    sqlite3* database();
    qint64 dataVersion();

    QString m_name;
    QList<DataSource*> m_sources;
    std::unique_ptr<Statements> m_stmts; // prepared per dataset, on the file's handle
    // Values of the current row and of the rows after it, read on demand in one go.
    RowCache m_cache;
    // Field positions by the exact spelling callers use (names are found regardless of case,
    // which costs more than a row read when done for every value).
    struct NameIndex
    {
        QString name;
        int index;
    };
    QVector<NameIndex> m_nameCache;
    QVector<QVariant> m_buffer;   // the record being edited or inserted
    QVector<QVariant> m_original; // its values when the edit began
    bool m_modified = false;
    int m_posBeforeInsert = -1;
};

} // namespace engine
