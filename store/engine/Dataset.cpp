#include "store/engine/Dataset.h"

#include "core/Error.h"
#include "store/engine/Connection.h"
#include "store/engine/DataSource.h"
#include "store/engine/FieldText.h"
#include "store/engine/RowCache.h"
#include "store/engine/Sqlite.h"

#include <QDateTime>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// Prepared statements of one dataset, all on the handle they were prepared for.
struct Dataset::Statements
{
    sqlite3* db = nullptr;
    const Connection* connection = nullptr;
    quint64 generation = 0; // the connection's, when db was given out
    QString file;
    sql::Statement ids;
    QString idsText;                         // the statement's text before any change of plan
    std::map<QString, sql::Statement> reads; // runs of rows; key: the statement's text
    sql::Statement exists;
    sql::Statement insert;
    sql::Statement remove;
    std::map<int, sql::Statement> locate;   // key: field index * 2 + 1 when looking for null
    std::map<QString, sql::Statement> rows; // rows read without moving; key: the statement's text
    std::map<QString, bool> stepping;       // key: the step's text; true when an index gives the steps
    std::map<QString, bool> narrowFirst;    // key: the first key's query; true when it finds the first row faster
};

namespace {

bool isIntegerType(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isEmptyValue(const QVariant& value)
{
    return !value.isValid() || value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

// Cuts a text at `size` characters without splitting a surrogate pair.
QString cutToSize(const QString& text, int size)
{
    if (size <= 0 || text.size() <= size)
        return text;
    int n = size;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

// A value as the field holds it: QString, bool, QDate or qint64, or null for empty.
// Texts are cut at the field's size when `cut` (writes), kept whole otherwise (searches).
QVariant toFieldValue(const FieldDef& field, const QVariant& value, bool cut)
{
    if (isEmptyValue(value))
        return {};
    const int type = value.typeId();
    switch (field.type) {
    case FieldType::Text:
    case FieldType::Memo: {
        QString text = type == QMetaType::QDate ? dateText(value.toDate()) : value.toString();
        if (text.isEmpty())
            return {};
        return cut && field.type == FieldType::Text ? cutToSize(text, field.size) : text;
    }
    case FieldType::Logical: {
        if (type == QMetaType::Bool)
            return value.toBool();
        if (isIntegerType(type))
            return value.toLongLong() != 0;
        if (type == QMetaType::QString) {
            if (const std::optional<bool> b = parseLogical(value.toString()))
                return *b;
        }
        throw ConversionError(
            QStringLiteral("«%1» no es un valor lógico válido para el campo «%2»").arg(value.toString(), field.name));
    }
    case FieldType::Date: {
        if (type == QMetaType::QDate)
            return value.toDate().isValid() ? value : QVariant();
        if (type == QMetaType::QDateTime)
            return value.toDateTime().date();
        const QDate date = parseDateText(value.toString());
        if (!date.isValid())
            throw ConversionError(
                QStringLiteral("«%1» no es una fecha válida para el campo «%2»").arg(value.toString(), field.name));
        return date;
    }
    case FieldType::AutoInc: {
        if (isIntegerType(type))
            return qint64(value.toLongLong());
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            throw ConversionError(QStringLiteral("«%1» no es un número entero válido").arg(value.toString()));
        return n;
    }
    }
    return {};
}

ConversionError emptyField(const FieldDef& field, const QString& as)
{
    return ConversionError(QStringLiteral("El campo «%1» está vacío y no puede leerse como %2").arg(field.name, as));
}

} // namespace

Dataset::Dataset(const QString& name, QObject* parent) : QObject(parent), m_name(name)
{
    setObjectName(name);
}

Dataset::~Dataset()
{
    const QList<DataSource*> sources = m_sources;
    for (DataSource* source : sources)
        source->m_dataset = nullptr;
}

// --- life ------------------------------------------------------------------

void Dataset::close()
{
    markClosed();
}

void Dataset::releaseStatements()
{
    m_stmts.reset();
    forgetRows();
}

bool Dataset::isActive() const
{
    return m_state != DataState::Inactive;
}

DataState Dataset::state() const
{
    return m_state;
}

void Dataset::setOpened(const FieldDefs& fields)
{
    m_nameCache.clear();
    m_fields = fields;
    m_cache.reset(fields);
    // The IDs are read when a position is first needed: a table that is opened and then
    // only searched through the file never holds them.
    dropIds();
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    m_state = DataState::Browse;
    notify(DataEvent::Opened);
}

void Dataset::markClosed()
{
    if (m_state == DataState::Inactive)
        return;
    // A pending edit or insert is dropped, as the engine did on close.
    m_state = DataState::Inactive;
    m_ids = QVector<qint64>();
    m_idsLoaded = true;
    m_keeping = false;
    m_pos = -1;
    m_eof = true;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    forgetRows();
    notify(DataEvent::Closed);
}

void Dataset::requireConnection() const
{
    if (!m_connection)
        throw EngineError(QStringLiteral("«%1» no tiene conexión con la base de datos.").arg(m_name));
}

void Dataset::requireActive() const
{
    if (m_state == DataState::Inactive)
        throw EngineError(QStringLiteral("No se puede realizar la operación: «%1» está cerrada.").arg(m_name));
}

void Dataset::requireEditing() const
{
    requireActive();
    if (!isEditing())
        throw EngineError(QStringLiteral("«%1» no está en edición ni en inserción.").arg(m_name));
}

// --- the file ----------------------------------------------------------------

sqlite3* Dataset::database()
{
    requireConnection();
    const QString file = tableFile();
    // Every read of a row asks for the handle: the one the statements were prepared on
    // serves while the connection keeps its handles open and the file is the same.
    if (m_stmts && m_stmts->connection == m_connection && m_stmts->generation == m_connection->generation() &&
        m_stmts->file == file)
        return m_stmts->db;
    // A new handle (the connection was closed or moved) or another file: the old
    // statements belong to the old one.
    sqlite3* db = m_connection->handle(file);
    m_stmts = std::make_unique<Statements>();
    m_stmts->db = db;
    m_stmts->connection = m_connection;
    m_stmts->generation = m_connection->generation();
    m_stmts->file = file;
    forgetRows();
    return db;
}

qint64 Dataset::dataVersion()
{
    return sqlite3_total_changes64(database());
}

QString Dataset::keyName() const
{
    for (const FieldDef& field : m_fields)
        if (field.type == FieldType::AutoInc)
            return field.name;
    throw EngineError(QStringLiteral("«%1» no tiene campo clave.").arg(tableFile()));
}

QString Dataset::selectFrom(const QVector<int>& fields) const
{
    QStringList columns;
    for (int i : fields)
        columns.append(sql::quoted(m_fields.at(i).name));
    return QStringLiteral("SELECT %1 FROM %2")
        .arg(columns.join(QStringLiteral(", ")), sql::quoted(Connection::sqlTableName(tableFile())));
}

namespace {

// True when SQLite would walk an index for the first keys of the statement's order and
// sort the rest of it.
bool planSays(sqlite3* db, const QString& statement, const char* words)
{
    sqlite3_stmt* plan = nullptr;
    const QByteArray text = (QStringLiteral("EXPLAIN QUERY PLAN ") + statement).toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &plan, nullptr) != SQLITE_OK) {
        sqlite3_finalize(plan);
        return false;
    }
    bool found = false;
    while (!found && sqlite3_step(plan) == SQLITE_ROW) {
        const auto* detail = reinterpret_cast<const char*>(sqlite3_column_text(plan, 3));
        found = detail && std::strstr(detail, words);
    }
    sqlite3_finalize(plan);
    return found;
}

bool sortsRightPartOnly(sqlite3* db, const QString& statement)
{
    return planSays(db, statement, "RIGHT PART OF ORDER BY");
}

// The first key of an order of quoted fields ("\"Nombre\" ASC, \"Email\" DESC"), with
// its direction, when other keys follow it; else "".
QString firstOfSeveralKeys(const QString& order)
{
    static const QRegularExpression first(QStringLiteral("^(\"(?:[^\"]|\"\")+\"(?: ASC| DESC)?), "));
    const QRegularExpressionMatch match = first.match(order);
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

QVector<qint64> Dataset::selectIds()
{
    sqlite3* db = database();
    const Selection sel = selection();
    const QString key = sql::quoted(keyName());
    QString text = QStringLiteral("SELECT %1 FROM %2").arg(key, sql::quoted(Connection::sqlTableName(tableFile())));
    if (!sel.where.isEmpty())
        text += QStringLiteral(" WHERE ") + sel.where;
    const QString order = sel.order.isEmpty() ? key : sel.order + QStringLiteral(", ") + key;

    sql::Statement& st = m_stmts->ids;
    if (!st.isPrepared() || m_stmts->idsText != text + order) {
        QString full = text + QStringLiteral(" ORDER BY ") + order;
        // Every row of the file, in an order whose first key only an index gives: SQLite
        // would read the rows in that index's order, one scattered page read each, to sort
        // by the other keys, which with a small page cache costs several times a scan in
        // file order and one sort. The first key is then kept from using the index.
        if (sel.where.isEmpty() && !sel.order.isEmpty() && sortsRightPartOnly(db, full))
            full = text + QStringLiteral(" ORDER BY +") + order;
        st.prepare(db, full, QStringLiteral("Error al leer «%1»").arg(tableFile()));
        m_stmts->idsText = text + order;
    }
    const sql::Statement::Use use(st);
    st.bindAll(sel.params);
    QVector<qint64> ids;
    while (st.step())
        ids.append(st.int64(0));
    return ids;
}

// One row of a run read: its columns taken as the bytes they are, so texts become QStrings
// only when asked for.
void Dataset::takeRow(sqlite3_stmt* stmt, int key, const QVector<int>& columns)
{
    RowCache::Cell* cells = m_cache.rowCells(sqlite3_column_int64(stmt, key));
    if (!cells)
        return; // added through another dataset since the IDs were read
    for (int c = 0; c < columns.size(); ++c) {
        const int i = columns.at(c);
        RowCache::Cell& cell = cells[i];
        cell.fetched = true;
        if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
            continue;
        cell.isNull = false;
        switch (m_fields.at(i).type) {
        case FieldType::AutoInc:
        case FieldType::Logical:
            cell.number = sqlite3_column_int64(stmt, c);
            break;
        case FieldType::Text:
        case FieldType::Memo:
        case FieldType::Date:
            m_cache.setBytes(cell, reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                             sqlite3_column_bytes(stmt, c));
            break;
        }
    }
}

void Dataset::readRun(int pos, int size)
{
    sqlite3* db = database();
    const int end = std::min(pos + size, int(m_ids.size()));
    const int count = end - pos;
    int key = -1; // the key's column in the rows read
    const QVector<int> columns = m_cache.columnsToRead(key);
    if (key < 0)
        keyName(); // raises: no key field

    // Rows in key order are one range of the file; others are looked up by key.
    const bool range = rowsInKeyOrder();
    const QString keyColumn = sql::quoted(keyName());
    const QString text = selectFrom(columns) +
                         (range ? QStringLiteral(" WHERE %1 BETWEEN ? AND ?").arg(keyColumn)
                                : QStringLiteral(" WHERE %1 IN (%2)")
                                      .arg(keyColumn, QStringLiteral("?, ").repeated(size - 1) + QStringLiteral("?")));
    sql::Statement& st = m_stmts->reads[text];
    if (!st.isPrepared())
        st.prepare(db, text, QStringLiteral("Error al leer «%1»").arg(tableFile()));

    m_cache.startRun(pos, m_ids.mid(pos, count));
    sqlite3_stmt* stmt = st.handle();
    const sql::Statement::Use use(st); // no statement keeps a read lock between calls
    if (range) {
        st.bindInt64(1, m_ids.at(pos));
        st.bindInt64(2, m_ids.at(end - 1));
    } else {
        for (int i = 0; i < count; ++i)
            st.bindInt64(i + 1, m_ids.at(pos + i));
    }
    while (st.step())
        takeRow(stmt, key, columns);
}

bool Dataset::cellAt(int pos, int index, QVariant& value)
{
    // Another dataset on the same file may have written since: the handle's change
    // count tells, and the rows are read again.
    m_cache.checkVersion(dataVersion());
    const qint64 id = m_ids.at(pos);
    const RowCache::Cell* cell = nullptr;
    RowCache::Found found = m_cache.find(pos, id, index, &cell);
    if (found == RowCache::Found::NotRead) {
        readRun(pos, m_cache.nextRunSize(pos));
        found = m_cache.find(pos, id, index, &cell);
    }
    if (found == RowCache::Found::Unfetched) {
        // The first use of this field: from now on it is read with the others.
        m_cache.want(index);
        readRun(pos, m_cache.refetchSize());
        found = m_cache.find(pos, id, index, &cell);
    }
    // A row deleted through another dataset is gone from the file: it reads as empty.
    if (found != RowCache::Found::Value) {
        value = QVariant();
        return false;
    }
    value = m_cache.value(*cell, index);
    return true;
}

bool Dataset::rowValues(int pos, QVector<QVariant>& values)
{
    // Every field is wanted: the rows are read again with all of them at once, not
    // once per field.
    m_cache.wantAll();
    values.resize(m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i)
        if (!cellAt(pos, i, values[i]))
            return false;
    return true;
}

bool Dataset::rowExists(qint64 id)
{
    sqlite3* db = database();
    sql::Statement& st = m_stmts->exists;
    if (!st.isPrepared())
        st.prepare(db,
                   QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?")
                       .arg(sql::quoted(Connection::sqlTableName(tableFile())), sql::quoted(keyName())),
                   QStringLiteral("Error al leer «%1»").arg(tableFile()));
    const sql::Statement::Use use(st);
    st.bind(1, id);
    return st.step();
}

void Dataset::ensureIds()
{
    if (m_idsLoaded || m_state == DataState::Inactive)
        return;
    m_ids = loadIds(); // on failure the IDs stay unread and the next use tries again
    m_idsLoaded = true;
    int pos = 0;
    if (m_keeping) {
        // A refresh left the record to keep: it stays current when it is still there.
        pos = m_keepId >= 0 ? positionOf(m_keepId) : -1;
        if (pos < 0)
            pos = std::min(std::max(m_keepPos, 0), int(m_ids.size()) - 1);
        m_keeping = false;
    }
    m_pos = m_ids.isEmpty() ? -1 : pos;
    m_eof = m_ids.isEmpty();
}

qint64 Dataset::firstId()
{
    // An order of several keys whose first one only an index gives: SQLite would sort
    // every row to find the first. The rows are narrowed first to those sharing the
    // first key's first value, which the index finds at once; the first of them is the
    // first of all.
    const Selection sel = selection();
    const QString lead = firstOfSeveralKeys(sel.order);
    if (!lead.isEmpty()) {
        sqlite3* db = database();
        const QString column = lead.left(lead.lastIndexOf(QLatin1Char('"')) + 1);
        QString inner =
            QStringLiteral("SELECT %1 FROM %2").arg(column, sql::quoted(Connection::sqlTableName(tableFile())));
        if (!sel.where.isEmpty())
            inner += QStringLiteral(" WHERE ") + sel.where;
        inner += QStringLiteral(" ORDER BY ") + lead + QStringLiteral(" LIMIT 1");
        auto known = m_stmts->narrowFirst.find(inner);
        if (known == m_stmts->narrowFirst.end()) {
            QString whole = QStringLiteral("SELECT 1 FROM %1").arg(sql::quoted(Connection::sqlTableName(tableFile())));
            if (!sel.where.isEmpty())
                whole += QStringLiteral(" WHERE ") + sel.where;
            whole += QStringLiteral(" ORDER BY ") + sel.order + QStringLiteral(" LIMIT 1");
            const bool narrow =
                planSays(db, whole, "USE TEMP B-TREE FOR ORDER BY") && !planSays(db, inner, "TEMP B-TREE");
            known = m_stmts->narrowFirst.emplace(inner, narrow).first;
        }
        if (known->second) {
            const QVector<RowValues> rows =
                selectRows(column + QStringLiteral(" IS (") + inner + QLatin1Char(')'), sel.params, {}, 1);
            return rows.isEmpty() ? -1 : rows.at(0).id;
        }
    }
    const QVector<RowValues> rows = selectRows(QString(), {}, {}, 1);
    return rows.isEmpty() ? -1 : rows.at(0).id;
}

void Dataset::dropIds()
{
    m_ids = QVector<qint64>();
    m_idsLoaded = false;
    m_keeping = false;
    m_pos = 0;
    m_eof = false;
    forgetRows();
}

void Dataset::forgetRows()
{
    m_cache.clear();
}

int Dataset::positionOf(qint64 id) const
{
    if (rowsInKeyOrder()) {
        const auto it = std::lower_bound(m_ids.cbegin(), m_ids.cend(), id);
        return it != m_ids.cend() && *it == id ? int(it - m_ids.cbegin()) : -1;
    }
    const auto it = std::find(m_ids.cbegin(), m_ids.cend(), id);
    return it != m_ids.cend() ? int(it - m_ids.cbegin()) : -1;
}

void Dataset::reloadKeeping()
{
    ensureIds(); // the current record is known only once the old rows are
    const qint64 current = (m_pos >= 0 && m_pos < m_ids.size()) ? m_ids.at(m_pos) : -1;
    const int oldPos = m_pos;
    m_ids = loadIds();
    forgetRows();
    int pos = current >= 0 ? positionOf(current) : -1;
    if (pos < 0)
        pos = std::min(std::max(oldPos, 0), int(m_ids.size()) - 1);
    m_pos = m_ids.isEmpty() ? -1 : pos;
    m_eof = m_ids.isEmpty();
}

// --- navigation ------------------------------------------------------------

void Dataset::first()
{
    requireActive();
    ensureFresh();
    checkBrowseMode();
    // IDs not read yet: the dataset stands on its first row once they are.
    m_keeping = false;
    if (m_idsLoaded) {
        m_pos = m_ids.isEmpty() ? -1 : 0;
        m_eof = m_ids.isEmpty();
    }
    notify(DataEvent::Moved);
}

void Dataset::next()
{
    requireActive();
    ensureFresh();
    ensureIds();
    checkBrowseMode();
    if (m_pos + 1 < m_ids.size()) {
        ++m_pos;
        m_eof = false;
        notify(DataEvent::Moved);
    } else {
        m_eof = true;
    }
}

bool Dataset::eof()
{
    if (m_state == DataState::Inactive)
        return true;
    ensureFresh();
    ensureIds();
    return m_eof;
}

bool Dataset::isEmpty()
{
    if (m_state == DataState::Inactive)
        return true;
    ensureFresh();
    ensureIds();
    return m_ids.isEmpty();
}

int Dataset::recordCount()
{
    if (m_state == DataState::Inactive)
        return 0;
    ensureFresh();
    ensureIds();
    return int(m_ids.size());
}

int Dataset::recNo()
{
    if (m_state == DataState::Inactive)
        return -1;
    ensureFresh();
    ensureIds();
    return m_ids.isEmpty() ? -1 : m_pos;
}

void Dataset::moveTo(int row)
{
    requireActive();
    ensureFresh();
    ensureIds();
    checkBrowseMode();
    if (row < 0 || row >= m_ids.size())
        throw EngineError(QStringLiteral("«%1» no tiene la fila %2.").arg(m_name).arg(row + 1));
    const bool moved = row != m_pos;
    m_pos = row;
    m_eof = false;
    if (moved)
        notify(DataEvent::Moved);
}

bool Dataset::locate(const QString& fieldName, const QVariant& value)
{
    requireActive();
    ensureFresh();
    ensureIds();
    checkBrowseMode();
    const int index = requireField(fieldName);
    const QVariant wanted = toFieldValue(m_fields.at(index), value, false);
    if (m_ids.isEmpty())
        return false;

    // The search runs in the file, in the dataset's own order; the first match that is
    // one of the dataset's rows wins.
    sqlite3* db = database();
    const bool null = !wanted.isValid();
    const Selection sel = selection();
    const QString key = sql::quoted(keyName());
    const QString column = sql::quoted(m_fields.at(index).name);
    QString where = null ? column + QStringLiteral(" IS NULL") : column + QStringLiteral(" = ?");
    if (!sel.where.isEmpty())
        where = QStringLiteral("(%1) AND %2").arg(sel.where, where);
    const QString text = QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4")
                             .arg(key, sql::quoted(Connection::sqlTableName(tableFile())), where,
                                  sel.order.isEmpty() ? key : sel.order + QStringLiteral(", ") + key);
    sql::Statement& st = m_stmts->locate[index * 2 + (null ? 1 : 0)];
    if (!st.isPrepared() || st.sqlText() != text)
        st.prepare(db, text, QStringLiteral("Error al buscar en «%1»").arg(tableFile()));
    int found = -1;
    {
        const sql::Statement::Use use(st);
        st.bindAll(sel.params);
        if (!null)
            st.bind(int(sel.params.size()) + 1, wanted);
        while (found < 0 && st.step())
            found = positionOf(st.int64(0));
    }
    if (found < 0)
        return false;
    m_pos = found;
    m_eof = false;
    notify(DataEvent::Moved);
    return true;
}

Dataset::Bookmark Dataset::bookmark()
{
    if (m_state == DataState::Inactive)
        return -1;
    ensureFresh();
    // Not read yet: the first row is current, found without listing the others.
    if (!m_idsLoaded && !m_keeping)
        return firstId();
    ensureIds();
    if (m_state == DataState::Insert || m_pos < 0 || m_pos >= m_ids.size())
        return -1;
    return m_ids.at(m_pos);
}

void Dataset::gotoBookmark(Bookmark bookmark)
{
    requireActive();
    ensureFresh();
    // Back to the first row of rows not read yet: nothing to list.
    if (!m_idsLoaded && !m_keeping && bookmark >= 0 && bookmark == firstId()) {
        m_eof = false;
        notify(DataEvent::Moved);
        return;
    }
    ensureIds();
    checkBrowseMode();
    const int pos = bookmark >= 0 ? positionOf(bookmark) : -1;
    if (pos < 0 || !rowExists(bookmark))
        throw EngineError(QStringLiteral("El registro marcado ya no existe en «%1».").arg(m_name));
    m_pos = pos;
    m_eof = false;
    notify(DataEvent::Moved);
}

// --- fields ----------------------------------------------------------------

const FieldDefs& Dataset::fields() const
{
    return m_fields;
}

int Dataset::fieldIndex(const QString& name)
{
    // Callers name the same few fields again and again, spelled the same way.
    for (const NameIndex& known : std::as_const(m_nameCache))
        if (known.name == name)
            return known.index;
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0) {
            if (m_nameCache.size() < 64)
                m_nameCache.append({name, i});
            return i;
        }
    }
    return -1;
}

int Dataset::requireField(const QString& name)
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw EngineError(QStringLiteral("Campo «%1» desconocido").arg(name));
    return index;
}

const FieldDef& Dataset::field(const QString& name)
{
    return m_fields.at(requireField(name));
}

QVariant Dataset::currentValue(int index)
{
    if (isEditing())
        return m_buffer.value(index);
    if (m_pos < 0 || m_pos >= m_ids.size())
        return {};
    QVariant value;
    cellAt(m_pos, index, value);
    return value;
}

int Dataset::activeField(const QString& fieldName)
{
    requireActive();
    ensureFresh();
    ensureIds();
    return requireField(fieldName);
}

QVariant Dataset::value(const QString& fieldName)
{
    return currentValue(activeField(fieldName));
}

bool Dataset::isNull(const QString& fieldName)
{
    return !value(fieldName).isValid();
}

QString Dataset::asString(const QString& fieldName)
{
    const int index = activeField(fieldName);
    const QVariant v = currentValue(index);
    const FieldDef& def = m_fields.at(index);
    if (!v.isValid())
        throw emptyField(def, QStringLiteral("texto"));
    return valueText(def.type, v);
}

qint64 Dataset::asInteger(const QString& fieldName)
{
    const int index = activeField(fieldName);
    const QVariant v = currentValue(index);
    const FieldDef& def = m_fields.at(index);
    if (!v.isValid())
        throw emptyField(def, QStringLiteral("número"));
    if (def.type == FieldType::AutoInc)
        return v.toLongLong();
    if (def.type == FieldType::Text || def.type == FieldType::Memo) {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        if (ok)
            return n;
    }
    throw ConversionError(
        QStringLiteral("El campo «%1» no puede leerse como número: «%2»").arg(def.name, valueText(def.type, v)));
}

bool Dataset::asBoolean(const QString& fieldName)
{
    const int index = activeField(fieldName);
    const QVariant v = currentValue(index);
    const FieldDef& def = m_fields.at(index);
    if (!v.isValid())
        throw emptyField(def, QStringLiteral("valor lógico"));
    if (def.type == FieldType::Logical)
        return v.toBool();
    if (def.type == FieldType::Text || def.type == FieldType::Memo) {
        if (const std::optional<bool> b = parseLogical(v.toString()))
            return *b;
    }
    throw ConversionError(
        QStringLiteral("El campo «%1» no puede leerse como valor lógico: «%2»").arg(def.name, valueText(def.type, v)));
}

QDate Dataset::asDate(const QString& fieldName)
{
    const int index = activeField(fieldName);
    const QVariant v = currentValue(index);
    const FieldDef& def = m_fields.at(index);
    if (!v.isValid())
        throw emptyField(def, QStringLiteral("fecha"));
    if (def.type == FieldType::Date)
        return v.toDate();
    if (def.type == FieldType::Text || def.type == FieldType::Memo) {
        const QDate date = parseDateText(v.toString());
        if (date.isValid())
            return date;
    }
    throw ConversionError(
        QStringLiteral("El campo «%1» no puede leerse como fecha: «%2»").arg(def.name, valueText(def.type, v)));
}

QString Dataset::displayText(const QString& fieldName)
{
    if (m_state == DataState::Inactive)
        return {};
    const int index = activeField(fieldName);
    const QVariant v = currentValue(index);
    return v.isValid() ? valueText(m_fields.at(index).type, v) : QString();
}

QVariant Dataset::valueAt(int row, const QString& fieldName)
{
    if (m_state == DataState::Inactive)
        return {};
    ensureFresh();
    ensureIds();
    const int index = requireField(fieldName);
    if (row < 0 || row >= m_ids.size())
        return {};
    if (row == m_pos && m_state == DataState::Edit)
        return m_buffer.value(index);
    QVariant value;
    cellAt(row, index, value);
    return value;
}

QString Dataset::asStringOf(const FieldDef& field, const QVariant& value)
{
    if (!value.isValid())
        throw emptyField(field, QStringLiteral("texto"));
    return valueText(field.type, value);
}

QVector<Dataset::RowValues> Dataset::overdueCandidates(const QString& dateField, const QString& flagField,
                                                       const QDate& today, const QStringList& fieldNames)
{
    requireActive();
    ensureFresh();
    const int dateIndex = requireField(dateField);
    const int flagIndex = requireField(flagField);
    if (m_fields.at(dateIndex).type != FieldType::Text || m_fields.at(flagIndex).type != FieldType::Logical)
        throw EngineError(
            QStringLiteral("«%1» no puede buscar fechas vencidas por «%2» y «%3».").arg(m_name, dateField, flagField));
    const QString day = sql::isoDay(sql::quoted(m_fields.at(dateIndex).name));
    const QString unread = sql::isFalse(sql::quoted(m_fields.at(flagIndex).name));

    return selectRows(QStringLiteral("((%1 = 1 AND %2 < ?) OR (%1 = 0 AND %2 = ''))").arg(unread, day),
                      {today.toString(Qt::ISODate)}, fieldNames, -1);
}

std::optional<QStringList> Dataset::distinctTexts(const QString& fieldName)
{
    requireActive();
    ensureFresh();
    const FieldDef& field = m_fields.at(requireField(fieldName));
    if (field.type != FieldType::Text)
        return std::nullopt;
    sqlite3* db = database();
    const Selection sel = selection();
    const QString column = sql::quoted(field.name);
    const QString from =
        QStringLiteral("SELECT %1 FROM %2").arg(column, sql::quoted(Connection::sqlTableName(tableFile())));
    const QString order = QStringLiteral(" ORDER BY ") + column + QStringLiteral(" LIMIT 1");
    const QString where = sel.where.isEmpty() ? QString() : QLatin1Char('(') + sel.where + QStringLiteral(") AND ");
    const QString firstText = from + (sel.where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + sel.where) + order;
    const QString nextText = from + QStringLiteral(" WHERE ") + where + column + QStringLiteral(" > ?") + order;

    auto known = m_stmts->stepping.find(nextText);
    if (known == m_stmts->stepping.end())
        known =
            m_stmts->stepping
                .emplace(nextText, !planSays(db, nextText, "TEMP B-TREE") && !planSays(db, firstText, "TEMP B-TREE"))
                .first;
    if (!known->second)
        return std::nullopt;

    const QString what = QStringLiteral("Error al leer «%1»").arg(tableFile());
    sql::Statement& first = m_stmts->rows[firstText];
    if (!first.isPrepared())
        first.prepare(db, firstText, what);
    sql::Statement& next = m_stmts->rows[nextText];
    if (!next.isPrepared())
        next.prepare(db, nextText, what);

    QStringList texts;
    QVariant text;
    {
        const sql::Statement::Use use(first);
        first.bindAll(sel.params);
        if (!first.step())
            return texts;
        text = first.value(0, FieldType::Text);
    }
    // Empty fields sort first: one is there when the first text is.
    if (text.isNull())
        return std::nullopt;
    for (;;) {
        texts.append(text.toString());
        const sql::Statement::Use use(next);
        next.bindAll(sel.params);
        next.bindAll({text}, int(sel.params.size()) + 1);
        if (!next.step())
            return texts;
        text = next.value(0, FieldType::Text);
    }
}

QVector<Dataset::RowValues> Dataset::rowsWhere(const QString& fieldName, const QVariant& value,
                                               const QStringList& fieldNames, int limit)
{
    requireActive();
    ensureFresh();
    if (fieldName.isEmpty())
        return selectRows(QString(), {}, fieldNames, limit);
    const int index = requireField(fieldName);
    const QVariant wanted = toFieldValue(m_fields.at(index), value, false);
    const QString column = sql::quoted(m_fields.at(index).name);
    if (!wanted.isValid())
        return selectRows(column + QStringLiteral(" IS NULL"), {}, fieldNames, limit);
    return selectRows(column + QStringLiteral(" = ?"), {wanted}, fieldNames, limit);
}

QVector<Dataset::RowValues> Dataset::selectRows(const QString& condition, const QVariantList& params,
                                                const QStringList& fieldNames, int limit)
{
    QVector<int> columns;
    for (const QString& name : fieldNames)
        columns.append(requireField(name));
    sqlite3* db = database();
    const Selection sel = selection();
    const QString key = sql::quoted(keyName());
    QStringList wheres;
    if (!sel.where.isEmpty())
        wheres.append(QLatin1Char('(') + sel.where + QLatin1Char(')'));
    if (!condition.isEmpty())
        wheres.append(condition);
    QStringList names{key};
    for (int i : std::as_const(columns))
        names.append(sql::quoted(m_fields.at(i).name));
    QString text = QStringLiteral("SELECT %1 FROM %2")
                       .arg(names.join(QStringLiteral(", ")), sql::quoted(Connection::sqlTableName(tableFile())));
    if (!wheres.isEmpty())
        text += QStringLiteral(" WHERE ") + wheres.join(QStringLiteral(" AND "));
    text += QStringLiteral(" ORDER BY ") + (sel.order.isEmpty() ? key : sel.order + QStringLiteral(", ") + key);
    if (limit >= 0)
        text += QStringLiteral(" LIMIT %1").arg(limit);

    sql::Statement& st = m_stmts->rows[text];
    if (!st.isPrepared())
        st.prepare(db, text, QStringLiteral("Error al leer «%1»").arg(tableFile()));
    const sql::Statement::Use use(st);
    st.bindAll(sel.params);
    st.bindAll(params, int(sel.params.size()) + 1);
    QVector<RowValues> rows;
    while (st.step()) {
        RowValues row;
        row.id = st.int64(0);
        for (int c = 0; c < columns.size(); ++c)
            row.values.append(st.value(c + 1, m_fields.at(columns.at(c)).type));
        rows.append(row);
    }
    return rows;
}

// --- records ---------------------------------------------------------------

void Dataset::setValue(const QString& fieldName, const QVariant& value)
{
    requireEditing();
    const int index = requireField(fieldName);
    const FieldDef& def = m_fields.at(index);
    if (def.type == FieldType::AutoInc)
        throw EngineError(QStringLiteral("El campo «%1» lo asigna el motor y no puede modificarse.").arg(def.name));
    const QVariant stored = toFieldValue(def, value, true);
    if (stored == m_buffer.at(index) && stored.isValid() == m_buffer.at(index).isValid())
        return;
    m_buffer[index] = stored;
    m_modified = true;
    notify(DataEvent::FieldChanged);
}

// --- records ---------------------------------------------------------------

void Dataset::edit()
{
    requireActive();
    ensureFresh();
    ensureIds();
    if (isEditing())
        return;
    if (m_ids.isEmpty()) {
        insert();
        return;
    }
    // The edit starts from what the file holds now.
    forgetRows();
    QVector<QVariant> row;
    if (!rowValues(m_pos, row))
        throw EngineError(QStringLiteral("El registro ya no existe en «%1».").arg(m_name));
    m_buffer = row;
    m_original = row;
    m_modified = false;
    m_state = DataState::Edit;
    notify(DataEvent::Edited);
}

void Dataset::insert()
{
    requireActive();
    ensureFresh();
    ensureIds();
    checkBrowseMode();
    m_posBeforeInsert = m_pos;
    m_buffer = QVector<QVariant>(m_fields.size());
    m_original = m_buffer;
    m_modified = false;
    m_state = DataState::Insert;
    notify(DataEvent::Inserted);
}

void Dataset::post()
{
    requireEditing();
    // Bound controls write what the user typed first.
    const QList<DataSource*> sources = m_sources;
    for (DataSource* source : sources)
        source->requestUpdateRecord();
    requireEditing();

    for (int i = 0; i < m_fields.size(); ++i) {
        const FieldDef& def = m_fields.at(i);
        if (def.required && def.type != FieldType::AutoInc && !m_buffer.at(i).isValid())
            throw EngineError(QStringLiteral("El campo «%1» debe tener un valor.").arg(def.name));
    }

    const QString what = QStringLiteral("No se puede guardar el registro en «%1»").arg(tableFile());
    if (m_state == DataState::Insert)
        insertRecord(what);
    else
        updateRecord(what);
    m_state = DataState::Browse;
    m_eof = false;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    forgetRows();
    notify(DataEvent::Posted);
}

void Dataset::insertRecord(const QString& what)
{
    sqlite3* db = database();
    sql::Statement& st = m_stmts->insert;
    QVariantList values;
    if (!st.isPrepared()) {
        QStringList columns, marks;
        for (const FieldDef& def : std::as_const(m_fields)) {
            if (def.type == FieldType::AutoInc)
                continue;
            columns.append(sql::quoted(def.name));
            marks.append(QStringLiteral("?"));
        }
        st.prepare(db,
                   QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(sql::quoted(Connection::sqlTableName(tableFile())), columns.join(", "), marks.join(", ")),
                   what);
    }
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields.at(i).type != FieldType::AutoInc)
            values.append(m_buffer.at(i));

    sql::WriteTransaction transaction(db, what);
    {
        const sql::Statement::Use use(st);
        st.bindAll(values);
        st.step();
    }
    const qint64 id = sqlite3_last_insert_rowid(db);
    if (id > std::numeric_limits<qint32>::max())
        throw EngineError(what + QStringLiteral(": no quedan identificadores libres."));
    transaction.commit();

    // The new record becomes current: in key order for a table, where the insert
    // began for a query.
    int pos;
    if (rowsInKeyOrder())
        pos = int(std::lower_bound(m_ids.cbegin(), m_ids.cend(), id) - m_ids.cbegin());
    else
        pos = std::clamp(m_posBeforeInsert, 0, int(m_ids.size()));
    m_ids.insert(pos, id);
    m_pos = pos;
}

void Dataset::updateRecord(const QString& what)
{
    QStringList assignments;
    QVariantList values;
    for (int i = 0; i < m_fields.size(); ++i) {
        const QVariant& now = m_buffer.at(i);
        const QVariant& before = m_original.at(i);
        // Only the fields that changed: another dataset may have written the rest.
        if (m_fields.at(i).type == FieldType::AutoInc || (now == before && now.isValid() == before.isValid()))
            continue;
        assignments.append(sql::quoted(m_fields.at(i).name) + QStringLiteral(" = ?"));
        values.append(now);
    }
    if (assignments.isEmpty())
        return;
    sqlite3* db = database();
    values.append(m_ids.at(m_pos));
    sql::Statement st;
    st.prepare(
        db,
        QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
            .arg(sql::quoted(Connection::sqlTableName(tableFile())), assignments.join(", "), sql::quoted(keyName())),
        what);
    sql::WriteTransaction transaction(db, what);
    {
        const sql::Statement::Use use(st);
        st.bindAll(values);
        st.step();
    }
    if (sqlite3_changes(db) == 0)
        throw EngineError(QStringLiteral("El registro ya no existe en «%1».").arg(m_name));
    transaction.commit();
}

void Dataset::cancel()
{
    if (!isEditing())
        return;
    if (m_state == DataState::Insert)
        m_pos = m_ids.isEmpty() ? -1 : std::clamp(m_posBeforeInsert, 0, int(m_ids.size()) - 1);
    m_state = DataState::Browse;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    notify(DataEvent::Cancelled);
}

void Dataset::remove()
{
    requireActive();
    ensureFresh();
    ensureIds();
    if (m_state == DataState::Insert) {
        cancel();
        return;
    }
    if (m_ids.isEmpty())
        throw EngineError(QStringLiteral("«%1» no tiene registros que borrar.").arg(m_name));

    sqlite3* db = database();
    const QString file = tableFile();
    const QString what = QStringLiteral("No se puede borrar el registro de «%1»").arg(file);
    sql::Statement& st = m_stmts->remove;
    if (!st.isPrepared())
        st.prepare(db,
                   QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                       .arg(sql::quoted(Connection::sqlTableName(file)), sql::quoted(keyName())),
                   what);
    {
        sql::WriteTransaction transaction(db, what);
        {
            const sql::Statement::Use use(st);
            st.bind(1, m_ids.at(m_pos));
            st.step();
        }
        transaction.commit();
    }
    // The next record becomes current, or the previous one when the last was deleted.
    m_ids.removeAt(m_pos);
    if (m_pos >= m_ids.size())
        m_pos = int(m_ids.size()) - 1;
    m_eof = m_ids.isEmpty();
    m_state = DataState::Browse;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    forgetRows();
    notify(DataEvent::Deleted);
}

void Dataset::refresh()
{
    requireActive();
    ensureFresh();
    checkBrowseMode();
    // The rows are read again when a position is next needed; the current record is
    // kept then, when it is still there.
    if (m_idsLoaded) {
        m_keepId = (m_pos >= 0 && m_pos < m_ids.size()) ? m_ids.at(m_pos) : -1;
        m_keepPos = m_pos;
        dropIds();
        m_keeping = true;
    }
    forgetRows();
    notify(DataEvent::Refreshed);
}

bool Dataset::isModified() const
{
    return m_modified;
}

void Dataset::checkBrowseMode()
{
    if (!isEditing())
        return;
    const QList<DataSource*> sources = m_sources;
    for (DataSource* source : sources)
        source->requestUpdateRecord();
    if (!isEditing())
        return;
    if (m_modified)
        post();
    else
        cancel();
}

// --- data sources ----------------------------------------------------------

void Dataset::attachSource(DataSource* source)
{
    if (source && !m_sources.contains(source))
        m_sources.append(source);
}

void Dataset::detachSource(DataSource* source)
{
    m_sources.removeAll(source);
}

void Dataset::notify(DataEvent event)
{
    const QList<DataSource*> sources = m_sources;
    for (DataSource* source : sources)
        if (m_sources.contains(source))
            source->datasetEvent(event);
}

} // namespace engine
