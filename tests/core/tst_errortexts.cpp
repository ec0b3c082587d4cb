// The Spanish error table: extended SQLite codes read as their primary code except the one
// the table names on its own, unknown codes still say which code it was, and errno values
// outside the table fall back to the C library's text.

#include "core/ErrorTexts.h"

#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace ErrorTexts;

class TestErrorTexts : public QObject
{
    Q_OBJECT

private slots:
    void sqliteExtendedCodes_data();
    void sqliteExtendedCodes();
    void unknownCodes();
};

void TestErrorTexts::sqliteExtendedCodes_data()
{
    QTest::addColumn<int>("extended");
    QTest::addColumn<int>("primary");

    // Values of sqlite3.h: the primary code in the low byte, the detail above it.
    QTest::newRow("IOERR_READ") << (SqliteCode::IoErr | (1 << 8)) << int(SqliteCode::IoErr);
    QTest::newRow("IOERR_FSYNC") << (SqliteCode::IoErr | (4 << 8)) << int(SqliteCode::IoErr);
    QTest::newRow("BUSY_SNAPSHOT") << (SqliteCode::Busy | (2 << 8)) << int(SqliteCode::Busy);
    QTest::newRow("CORRUPT_VTAB") << (SqliteCode::Corrupt | (1 << 8)) << int(SqliteCode::Corrupt);
    QTest::newRow("READONLY_ROLLBACK") << (SqliteCode::ReadOnly | (3 << 8)) << int(SqliteCode::ReadOnly);
    QTest::newRow("CONSTRAINT_UNIQUE") << (SqliteCode::Constraint | (8 << 8)) << int(SqliteCode::Constraint);
}

void TestErrorTexts::sqliteExtendedCodes()
{
    QFETCH(int, extended);
    QFETCH(int, primary);
    QCOMPARE(sqliteError(extended), sqliteError(primary));
    QVERIFY(!sqliteError(primary).contains(QString::number(primary)));
}

void TestErrorTexts::unknownCodes()
{
    // A moved table file has its own text, not the read-only one its low byte names.
    QVERIFY(sqliteError(SqliteCode::ReadOnlyDbMoved) != sqliteError(SqliteCode::ReadOnly));
    QVERIFY(sqliteError(SqliteCode::ReadOnlyDbMoved).contains(QStringLiteral("movido")));

    // SQLITE_SCHEMA (17) is not in the table: the text names the code it got.
    QVERIFY(sqliteError(17).contains(QStringLiteral("17")));
    QVERIFY(sqliteError(17) != sqliteError(SqliteCode::Error));

    QCOMPARE(systemError(EACCES), QStringLiteral("Permiso denegado"));
    QCOMPARE(systemError(EMFILE), systemError(ENFILE));
    // ESRCH is not one a file operation meets: the C library's own text.
    QCOMPARE(systemError(ESRCH), QString::fromLocal8Bit(std::strerror(ESRCH)));

    // Socket errors outside the table all read as a failed connection.
    const QString generic = socketError(-1);
    QVERIFY(!generic.isEmpty());
    QCOMPARE(socketError(0), generic); // ConnectionRefusedError is reported with the host
    QVERIFY(socketError(SocketCode::Network) != generic);
    QVERIFY(socketError(SocketCode::RemoteHostClosed) != socketError(SocketCode::SocketTimeout));
}

QTEST_GUILESS_MAIN(TestErrorTexts)
#include "tst_errortexts.moc"
