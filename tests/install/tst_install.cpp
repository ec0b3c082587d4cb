// Installation: `cmake --install` into a temporary prefix lays out the program, its data,
// icons and desktop entry; the installed program starts from there with its data in the
// XDG data folder; the install manifest removes exactly what was installed.

#include "platform/ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The keys of a desktop entry's [Desktop Entry] group.
QMap<QString, QString> desktopEntryKeys(const QString& path)
{
    QMap<QString, QString> keys;
    bool inGroup = false;
    for (const QByteArray& raw : readAll(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.contains(QLatin1Char('=')) && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.section(QLatin1Char('='), 0, 0).trimmed(), line.section(QLatin1Char('='), 1).trimmed());
    }
    return keys;
}

QStringList filesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// Our install rules all belong to the default component. Installing it by name writes its
// own manifest and leaves build/install_manifest.txt, the user's uninstall list, alone.
const QString kComponent = QStringLiteral("Unspecified");
const QString kBuildDir = QStringLiteral(CMAKE_BINARY_DIR);
const QString kManifest = kBuildDir + QStringLiteral("/install_manifest_") + kComponent + QStringLiteral(".txt");

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installedTree();
    void iconsInTheme_data();
    void iconsInTheme();
    void desktopEntry();
    void installedProgramStarts();
    void manifestRemovesWhatWasInstalled();

private:
    QTemporaryDir m_prefix;
    QString m_installLog;
    QByteArray m_userManifestBefore;
    bool m_userManifestExisted = false;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    const QString userManifest = kBuildDir + QStringLiteral("/install_manifest.txt");
    m_userManifestExisted = QFile::exists(userManifest);
    m_userManifestBefore = readAll(userManifest);

    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_COMMAND),
                  {"--install", kBuildDir, "--prefix", m_prefix.path(), "--component", kComponent});
    QVERIFY(install.waitForFinished(120000));
    m_installLog = QString::fromLocal8Bit(install.readAll());
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, qPrintable(m_installLog));

    QCOMPARE(QFile::exists(userManifest), m_userManifestExisted);
    QCOMPARE(readAll(userManifest), m_userManifestBefore);
}

void TestInstall::installedTree()
{
    const QDir prefix(m_prefix.path());
    const QFileInfo program(prefix.filePath("bin/pennaro"));
    QVERIFY2(program.isFile(), qPrintable(m_installLog));
    QVERIFY(program.isExecutable());

    // The data the program looks up beside <prefix>/bin, byte for byte as shipped.
    for (const char* name : {"NOTIFY.WAV", "logo.jpg"}) {
        const QString installed = prefix.filePath(QStringLiteral("share/pennaro/") + name);
        QVERIFY2(QFileInfo(installed).isFile(), name);
        QCOMPARE(readAll(installed), readAll(QStringLiteral(PENNARO_RESOURCES_DIR "/") + name));
    }
    QVERIFY(QFileInfo(prefix.filePath("share/applications/io.github.pennaro.Pennaro.desktop")).isFile());
}

void TestInstall::iconsInTheme_data()
{
    QTest::addColumn<int>("size");
    for (int size : {32, 48, 64, 128, 256})
        QTest::newRow(qPrintable(QString::number(size))) << size;
}

void TestInstall::iconsInTheme()
{
    QFETCH(int, size);
    const QString path = m_prefix.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/pennaro.png").arg(size));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), QSize(size, size));
}

void TestInstall::desktopEntry()
{
    const QString path = m_prefix.filePath(QStringLiteral("share/applications/io.github.pennaro.Pennaro.desktop"));
    const QMap<QString, QString> entry = desktopEntryKeys(path);
    QCOMPARE(entry.value("Type"), QStringLiteral("Application"));
    QCOMPARE(entry.value("Name"), QStringLiteral("Pennaro"));
    // The command and the icon name what the install put in bin/ and in the icon theme.
    const QString exec = entry.value("Exec");
    QVERIFY(!exec.isEmpty());
    QVERIFY(QFileInfo(m_prefix.filePath(QStringLiteral("bin/") + exec.section(' ', 0, 0))).isExecutable());
    const QString icon = entry.value("Icon");
    QVERIFY(QFileInfo(m_prefix.filePath(QStringLiteral("share/icons/hicolor/48x48/apps/%1.png").arg(icon))).isFile());
}

void TestInstall::installedProgramStarts()
{
    QTemporaryDir home;
    QTemporaryDir runtime;
    QVERIFY(home.isValid() && runtime.isValid());
    const QString dataHome = home.filePath(QStringLiteral(".local/share"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("PENNARO_HOME"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("PENNARO_UNATTENDED"), QStringLiteral("1"));
    env.insert(QStringLiteral("PENNARO_QUIT_AT_LOOP"), QStringLiteral("1"));
    // Without a session bus the desktop services each say so in one informational line;
    // warnings still show.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("pennaro.*.info=false"));

    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home.path());
    program.start(m_prefix.filePath(QStringLiteral("bin/pennaro")), {});
    QVERIFY(program.waitForStarted(10000));
    QVERIFY(program.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, qPrintable(errors));
    // Nothing but the headless platform's own notices (it cannot raise a window) and the
    // line saying which desktop services are missing may appear; unattended, the program's
    // message boxes would print "caption: text" here.
    for (const QString& line : errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        QVERIFY2(line.startsWith(QLatin1String("This plugin does not support")) ||
                     line.startsWith(QLatin1String("pennaro.desktop: ")),
                 qPrintable(errors));

    const QString dataFolder =
        dataHome + QStringLiteral("/Pennaro/") + ProgramFolder::userName() + QStringLiteral("/Pennaro/");
    QVERIFY2(QFileInfo(dataFolder + QStringLiteral("Reminder.DB")).isFile(),
             qPrintable(filesUnder(home.path()).join(' ')));
    QVERIFY(QFileInfo(dataFolder + QStringLiteral("Direcciones.DB")).isFile());
}

void TestInstall::manifestRemovesWhatWasInstalled()
{
    const QStringList listed = QString::fromLocal8Bit(readAll(kManifest)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!listed.isEmpty());
    const QStringList installed = filesUnder(m_prefix.path());
    QStringList relative;
    for (const QString& path : listed) {
        QVERIFY2(path.startsWith(m_prefix.path() + QLatin1Char('/')), qPrintable(path));
        relative << QDir(m_prefix.path()).relativeFilePath(path);
    }
    relative.sort();
    QCOMPARE(relative, installed);

    for (const QString& path : listed)
        QVERIFY(QFile::remove(path));
    QCOMPARE(filesUnder(m_prefix.path()), QStringList());
    QFile::remove(kManifest);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
