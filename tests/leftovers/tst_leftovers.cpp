// What a run killed in the middle of a save or of a table's creation leaves behind: the
// names the program's temporary files have, and their removal at the next start.

#include "support/ProgramFixture.h"

#include "app/Ostiva_Unit.h"
#include "common/Rutines.h"
#include "platform/Leftovers.h"
#include "platform/SettingsStore.h"
#include "store/engine/Connection.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kKey = QStringLiteral("\\Software\\Quelmar\\Ostiva\\mail");

// Makes a file (or keeps it) and sets when it was last changed.
void touch(const QString& path, const QDateTime& changed)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::ReadWrite), qPrintable(path));
    f.write("x");
    QVERIFY(f.flush()); // a write at close would set the time again
    QVERIFY(f.setFileTime(changed, QFileDevice::FileModificationTime));
}

QStringList entries(const QString& folder)
{
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    return names;
}

} // namespace

class TestLeftovers : public QObject
{
    Q_OBJECT

private slots:
    void settingsTemporaryName_data();
    void settingsTemporaryName();
    void namesOfTheSaveEngineAreKnown();
    void tableTemporaryName_data();
    void tableTemporaryName();
    void removesOnlyOldRegularFilesOfItsOwn();
    void killedSaveIsCleanedAtNextStart();
};

void TestLeftovers::settingsTemporaryName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("temporary");
    // clang-format off
    QTest::newRow("machine")           << "HKEY_LOCAL_MACHINE.reg.aBZkxQ" << true;
    QTest::newRow("earlier save")      << "HKEY_LOCAL_MACHINE.reg.a8Zk3Q" << true;
    QTest::newRow("earlier, digits")   << "HKEY_LOCAL_MACHINE.reg.123456" << true;
    QTest::newRow("current user")      << "HKEY_CURRENT_USER.reg.ABCDEF" << true;
    QTest::newRow("the file itself")   << "HKEY_LOCAL_MACHINE.reg" << false;
    QTest::newRow("five characters")   << "HKEY_LOCAL_MACHINE.reg.ABCDE" << false;
    QTest::newRow("seven characters")  << "HKEY_LOCAL_MACHINE.reg.ABCDEFG" << false;
    QTest::newRow("a hyphen")          << "HKEY_LOCAL_MACHINE.reg.AB-DEF" << false;
    QTest::newRow("a backup")          << "HKEY_LOCAL_MACHINE.reg.backup" << true; // six letters: same form
    QTest::newRow("backup with dot")   << "HKEY_LOCAL_MACHINE.reg.bak.1" << false;
    QTest::newRow("prefixed")          << "xHKEY_LOCAL_MACHINE.reg.ABCDEF" << false;
    QTest::newRow("other root name")   << "HKEY_OTHER.reg.ABCDEF" << false;
    QTest::newRow("lower case root")   << "hkey_local_machine.reg.ABCDEF" << false;
    QTest::newRow("non-ASCII letter")  << QString::fromUtf8("HKEY_LOCAL_MACHINE.reg.ABCDEñ") << false;
    // clang-format on
}

void TestLeftovers::settingsTemporaryName()
{
    QFETCH(QString, name);
    QFETCH(bool, temporary);
    QCOMPARE(SettingsStore::isTemporaryName(name), temporary);
}

void TestLeftovers::namesOfTheSaveEngineAreKnown()
{
    // The save's temporary file gets its name from Qt's temporary file engine, which names a
    // QTemporaryFile made from the same file name the same way; the store must know them all.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (RootKey root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
        for (int i = 0; i < 20; ++i) {
            QTemporaryFile temp(QDir(dir.path()).filePath(SettingsStore::rootName(root) + QStringLiteral(".reg")));
            QVERIFY(temp.open());
            const QString name = QFileInfo(temp.fileName()).fileName();
            QVERIFY2(SettingsStore::isTemporaryName(name), qPrintable(name));
        }
    }
}

void TestLeftovers::tableTemporaryName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("temporary");
    // clang-format off
    QTest::newRow("table")               << ".Reminder.DB.aBcDeF" << true;
    QTest::newRow("its journal")         << ".Reminder.DB.aBc123-journal" << true;
    QTest::newRow("the table itself")    << "Reminder.DB" << false;
    QTest::newRow("no leading dot")      << "Reminder.DB.aBcDeF" << false;
    QTest::newRow("another table")       << ".Direcciones.DB.aBcDeF" << false;
    QTest::newRow("five characters")     << ".Reminder.DB.aBcDe" << false;
    QTest::newRow("other suffix")        << ".Reminder.DB.aBcDeF-wal" << false;
    QTest::newRow("journal only")        << ".Reminder.DB.-journal" << false;
    QTest::newRow("a dot inside")        << ".Reminder.DB.aB.DeF" << false;
    QTest::newRow("case of the table")   << ".reminder.db.aBcDeF" << false;
    // clang-format on
}

void TestLeftovers::tableTemporaryName()
{
    QFETCH(QString, name);
    QFETCH(bool, temporary);
    QCOMPARE(engine::Connection::isTemporaryName(name, QStringLiteral("Reminder.DB")), temporary);
}

void TestLeftovers::removesOnlyOldRegularFilesOfItsOwn()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString d = dir.path() + QLatin1Char('/');
    const QDateTime start = QDateTime::currentDateTime();
    const QDateTime old = start.addSecs(-3600);
    const auto isOwn = [](const QString& name) { return name.startsWith(QLatin1String("tmp.")); };

    touch(d + "tmp.old", old);
    touch(d + "tmp.new", start.addSecs(60)); // written after this run began: kept
    touch(d + "other.old", old);
    QVERIFY(QDir().mkdir(d + "tmp.folder"));
    touch(d + "tmp.folder/tmp.inside", old); // only the folder itself is searched
    touch(d + "target", old);
    QCOMPARE(::symlink("target", QFile::encodeName(d + "tmp.link").constData()), 0);
    QCOMPARE(::mkfifo(QFile::encodeName(d + "tmp.fifo").constData(), 0600), 0);

    QCOMPARE(Leftovers::remove(dir.path(), isOwn, start), QStringList{"tmp.old"});
    QCOMPARE(entries(dir.path()),
             (QStringList{"other.old", "target", "tmp.fifo", "tmp.folder", "tmp.link", "tmp.new"}));
    QVERIFY(QFile::exists(d + "tmp.folder/tmp.inside"));
    // A missing folder is nothing to clean.
    QVERIFY(Leftovers::remove(d + "missing", isOwn, start).isEmpty());
}

void TestLeftovers::killedSaveIsCleanedAtNextStart()
{
    ProgramFixture f;
    TRutines rutines;
    for (const auto& [name, value] : {std::pair<const char*, QVariant>{"User1", "ana"},
                                      {"password1", "hqf{j"},
                                      {"Tiempo", "05"},
                                      {"error", 0},
                                      {"abrir", 0},
                                      {"pop3", "pop.x.es"},
                                      {"Programa", ""}})
        rutines.EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, name, value.typeId() == QMetaType::Int ? 3 : 1, value);

    // A child process saves the password and is killed once its temporary file is whole
    // on disk, before that file takes the settings file's place.
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t pid = ::fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        ::close(ready[0]);
        SettingsStore::setBeforeReplaceHook([&] {
            (void)!::write(ready[1], "r", 1);
            for (;;)
                ::pause();
        });
        try {
            TRutines().EscribeRegistro(HKEY_LOCAL_MACHINE, kKey, "password1", 1, "secreta");
        } catch (...) {
        }
        ::_exit(1);
    }
    ::close(ready[1]);
    char byte = 0;
    const ssize_t got = ::read(ready[0], &byte, 1);
    ::close(ready[0]);
    QVERIFY(::kill(pid, SIGKILL) == 0);
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    QCOMPARE(got, ssize_t(1)); // the child stood inside the save
    QVERIFY(WIFSIGNALED(status));

    // Where the system can make a file without a name, the unfinished text has none and
    // nothing is left; else it is one private file with a name the store knows.
    QStringList temporary;
    for (const QString& name : entries(f.home()))
        if (SettingsStore::isTemporaryName(name))
            temporary.append(name);
    QVERIFY(temporary.size() <= 1);
    for (const QString& name : std::as_const(temporary))
        QCOMPARE(QFileInfo(f.home() + name).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFileDevice::Permissions());
    // What a save killed while its file had a name leaves, from an earlier run.
    const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
    if (temporary.isEmpty()) {
        temporary.append(QStringLiteral("HKEY_LOCAL_MACHINE.reg.QxAbZd"));
        touch(f.home() + temporary[0], old);
    }

    // A killed creation of a table, and files that only look like leftovers.
    const QString data = f.dataFolder() + QLatin1Char('/');
    QVERIFY(QDir().mkpath(data));
    const QStringList tableLeftovers{".Reminder.DB.Qx81aZ", ".Reminder.DB.Qx81aZ-journal", ".Direcciones.DB.k0K0k0"};
    for (const QString& name : tableLeftovers)
        touch(data + name, old);
    const QStringList lookalikes{"HKEY_LOCAL_MACHINE.reg.bak.1", "HKEY_LOCAL_MACHINE.reg.ABCDEFG",
                                 "xHKEY_LOCAL_MACHINE.reg.ABCDEF", ".Reminder.DB.Qx81aZ"};
    for (const QString& name : lookalikes)
        touch(f.home() + name, old);                    // a table's name in the program folder is not ours there
    touch(data + "HKEY_LOCAL_MACHINE.reg.ABCDEF", old); // nor a settings name in the data folder
    touch(data + ".Reminder.DB.abc", old);
    // One more leftover written after this run began is left to whoever writes it.
    touch(f.home() + "HKEY_LOCAL_MACHINE.reg.NEWONE", QDateTime::currentDateTime().addSecs(3600));

    f.createProgram();
    QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
    QVERIFY(!QFile::exists(f.home() + temporary[0]));
    for (const QString& name : tableLeftovers)
        QVERIFY2(!QFile::exists(data + name), qPrintable(name));
    for (const QString& name : lookalikes)
        QVERIFY2(QFile::exists(f.home() + name), qPrintable(name));
    QVERIFY(QFile::exists(data + "HKEY_LOCAL_MACHINE.reg.ABCDEF"));
    QVERIFY(QFile::exists(data + ".Reminder.DB.abc"));
    QVERIFY(QFile::exists(f.home() + "HKEY_LOCAL_MACHINE.reg.NEWONE"));
    // The settings file itself was never touched by the killed save.
    QCOMPARE(Ostiva_Form->EditMail1User()->text(), QStringLiteral("ana"));
    QCOMPARE(Ostiva_Form->EditMail1Pass()->text(), QStringLiteral("clave"));
}

QTEST_MAIN(TestLeftovers)
#include "tst_leftovers.moc"
