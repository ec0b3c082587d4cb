// The cache of rows a dataset read: what it asks to read, how far ahead, and what it
// answers from the rows filled in, without any file.

#include "store/engine/RowCache.h"

#include <QDate>
#include <QTest>

#include <algorithm>
#include <numeric>

using engine::FieldDef;
using engine::FieldType;
using engine::RowCache;

namespace {

const engine::FieldDefs kFields{{"Nombre", FieldType::Text, 40, false},
                                {"ID", FieldType::AutoInc, 0, true},
                                {"Leido", FieldType::Logical, 0, false},
                                {"Cumpleanos", FieldType::Date, 0, false}};

// Fills a run as a read of the fields asked for would: rows with these IDs, in key order,
// each with a name "n<ID>", the flag set for odd IDs and a date for even ones.
void fill(RowCache& cache, int start, const QVector<qint64>& listed, QVector<qint64> inFile)
{
    cache.startRun(start, listed);
    int key = -1;
    const QVector<int> columns = cache.columnsToRead(key);
    std::sort(inFile.begin(), inFile.end());
    for (qint64 id : std::as_const(inFile)) {
        RowCache::Cell* cells = cache.rowCells(id);
        if (!cells)
            continue;
        for (int field : columns) {
            RowCache::Cell& cell = cells[field];
            cell.fetched = true;
            switch (kFields.at(field).type) {
            case FieldType::AutoInc:
            case FieldType::Logical:
                cell.isNull = false;
                cell.number = kFields.at(field).type == FieldType::AutoInc ? id : id % 2;
                break;
            case FieldType::Text: {
                const QByteArray name = "ñ" + QByteArray::number(id);
                cell.isNull = false;
                cache.setBytes(cell, name.constData(), int(name.size()));
                break;
            }
            case FieldType::Date:
                if (id % 2 == 0) {
                    cell.isNull = false;
                    cache.setBytes(cell, "2027-03-05", 10);
                }
                break;
            case FieldType::Memo:
                break;
            }
        }
    }
}

QVariant valueOf(const RowCache& cache, int pos, qint64 id, int field, RowCache::Found expected)
{
    const RowCache::Cell* cell = nullptr;
    const RowCache::Found found = cache.find(pos, id, field, &cell);
    if (found != expected) {
        qWarning("row %d (ID %lld), field %d: found %d, expected %d", pos, id, field, int(found), int(expected));
        return QStringLiteral("<not as expected>");
    }
    return found == RowCache::Found::Value ? cache.value(*cell, field) : QVariant();
}

} // namespace

class TestRowCache : public QObject
{
    Q_OBJECT

private slots:
    void answersFromTheRowsRead();
    void readsOnlyTheFieldsAskedFor();
    void runGrowsWhileWalkingForward();
    void changedFileDropsTheRows();
};

// Rows listed in another order than the file gives them find their places by ID; a row
// the file no longer has reads as gone, a row outside the run as not read.
void TestRowCache::answersFromTheRowsRead()
{
    RowCache cache;
    cache.reset(kFields);
    cache.wantAll();
    QCOMPARE(valueOf(cache, 0, 7, 0, RowCache::Found::NotRead), QVariant());
    fill(cache, 10, {7, 3, 9, 4}, {3, 4, 7});

    QCOMPARE(valueOf(cache, 10, 7, 0, RowCache::Found::Value), QVariant(QStringLiteral("ñ7")));
    QCOMPARE(valueOf(cache, 11, 3, 1, RowCache::Found::Value), QVariant(qint64(3)));
    QCOMPARE(valueOf(cache, 11, 3, 2, RowCache::Found::Value), QVariant(true));
    QCOMPARE(valueOf(cache, 13, 4, 2, RowCache::Found::Value), QVariant(false));
    QCOMPARE(valueOf(cache, 13, 4, 3, RowCache::Found::Value), QVariant(QDate(2027, 3, 5)));
    QCOMPARE(valueOf(cache, 11, 3, 3, RowCache::Found::Value), QVariant()); // empty
    QCOMPARE(valueOf(cache, 12, 9, 0, RowCache::Found::Gone), QVariant());
    QCOMPARE(valueOf(cache, 9, 7, 0, RowCache::Found::NotRead), QVariant());
    QCOMPARE(valueOf(cache, 14, 5, 0, RowCache::Found::NotRead), QVariant());
    // The same position now lists another row: the rows kept do not answer for it.
    QCOMPARE(valueOf(cache, 10, 3, 0, RowCache::Found::NotRead), QVariant());
}

void TestRowCache::readsOnlyTheFieldsAskedFor()
{
    RowCache cache;
    cache.reset(kFields);
    int key = -1;
    QCOMPARE(cache.columnsToRead(key), QVector<int>{1});
    QCOMPARE(key, 0);
    cache.want(3);
    QCOMPARE(cache.columnsToRead(key), (QVector<int>{1, 3}));
    QCOMPARE(key, 0);
    cache.want(0);
    QCOMPARE(cache.columnsToRead(key), (QVector<int>{0, 1, 3}));
    QCOMPARE(key, 1);

    fill(cache, 0, {2}, {2});
    QCOMPARE(valueOf(cache, 0, 2, 3, RowCache::Found::Value), QVariant(QDate(2027, 3, 5)));
    QCOMPARE(valueOf(cache, 0, 2, 2, RowCache::Found::Unfetched), QVariant());

    // A table opened again starts with only its key.
    cache.reset(kFields);
    QCOMPARE(cache.columnsToRead(key), QVector<int>{1});
}

// Each read just past the rows kept takes twice as many, up to the limit; a read
// anywhere else starts again from the smallest run.
void TestRowCache::runGrowsWhileWalkingForward()
{
    RowCache cache;
    cache.reset(kFields);
    QVector<int> sizes;
    int pos = 0;
    for (int i = 0; i < 8; ++i) {
        const int size = cache.nextRunSize(pos);
        sizes.append(size);
        QVector<qint64> ids(size);
        std::iota(ids.begin(), ids.end(), qint64(pos + 1));
        fill(cache, pos, ids, ids);
        pos += size;
    }
    QCOMPARE(sizes, (QVector<int>{32, 64, 128, 256, 512, 1024, 1024, 1024}));
    QCOMPARE(cache.refetchSize(), 1024);
    QCOMPARE(cache.nextRunSize(5), RowCache::kRun);
    cache.reset(kFields);
    QCOMPARE(cache.refetchSize(), RowCache::kRun);
}

void TestRowCache::changedFileDropsTheRows()
{
    RowCache cache;
    cache.reset(kFields);
    cache.checkVersion(4);
    fill(cache, 0, {1, 2}, {1, 2});
    cache.checkVersion(4);
    QCOMPARE(valueOf(cache, 1, 2, 1, RowCache::Found::Value), QVariant(qint64(2)));
    cache.checkVersion(5);
    QCOMPARE(valueOf(cache, 1, 2, 1, RowCache::Found::NotRead), QVariant());
    // After the change, a walk starts again from the smallest run.
    QCOMPARE(cache.nextRunSize(2), RowCache::kRun);

    fill(cache, 0, {1, 2}, {1, 2});
    cache.clear();
    QCOMPARE(valueOf(cache, 0, 1, 1, RowCache::Found::NotRead), QVariant());
}

QTEST_GUILESS_MAIN(TestRowCache)
#include "tst_rowcache.moc"
