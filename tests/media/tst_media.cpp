// The sound player, the JPEG decoder and the program's own pictures and chime.

#include "platform/JpegImage.h"
#include "platform/SoundPlayer.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLocalServer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <csignal>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using testsupport::writeFile;

namespace {

const QString kResources = QStringLiteral(MEDIA_RESOURCES_DIR);

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Encodes rows of raw samples (1, 3 or 4 per pixel) with libjpeg's compressor.
QByteArray encodeJpeg(int width, int height, J_COLOR_SPACE space, int components, const std::vector<uchar>& pixels)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uchar*>(&pixels[size_t(cinfo.next_scanline) * size_t(width * components)]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray out(reinterpret_cast<const char*>(buffer), int(size));
    free(buffer);
    return out;
}

// A flat picture of one value per component, wide enough for the colour to survive compression.
QByteArray flatJpeg(J_COLOR_SPACE space, const std::vector<uchar>& value)
{
    const int w = 24, h = 16, n = int(value.size());
    std::vector<uchar> pixels;
    for (int i = 0; i < w * h; ++i)
        pixels.insert(pixels.end(), value.begin(), value.end());
    return encodeJpeg(w, h, space, n, pixels);
}

// Writes a sine tone with libsndfile in the given container.
bool writeTone(const QString& path, int format, double seconds, int rate = 22050)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<short> samples(size_t(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short(8000 * std::sin(2 * M_PI * 440 * double(i) / rate));
    const bool ok = sf_write_short(f, samples.data(), sf_count_t(samples.size())) == sf_count_t(samples.size());
    sf_close(f);
    return ok;
}

// A private PulseAudio with a null sink in a folder of its own; skipped by the caller when the
// binary is not installed.
class PrivateSoundServer
{
public:
    explicit PrivateSoundServer(const QString& folder) : m_folder(folder) {}
    ~PrivateSoundServer() { stop(); }

    static QString binary() { return QStandardPaths::findExecutable(QStringLiteral("pulseaudio")); }

    QString socket() const { return m_folder + QStringLiteral("/native"); }
    qint64 pid() const { return m_process.processId(); }

    // Starts the server and points PULSE_SERVER at it; false when it does not come up.
    bool start()
    {
        if (!QDir().mkpath(m_folder))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            env.insert(QLatin1String(var), m_folder);
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("PULSE_SERVER"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(binary(),
                        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                         QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
                         QStringLiteral("--log-level=error"), QStringLiteral("-L"),
                         QStringLiteral("module-null-sink sink_name=nul"), QStringLiteral("-L"),
                         QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket())});
        if (!m_process.waitForStarted(5000))
            return false;
        const bool settled = QTest::qWaitFor(
            [this] { return QFile::exists(socket()) || m_process.state() != QProcess::Running; }, 10000);
        if (!settled || !QFile::exists(socket()))
            return false;
        qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + socket()));
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QString m_folder;
    QProcess m_process;
};

} // namespace

class TestMedia : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void logoDecodes();
    void logoMatchesQtReader();
    void colourSpaces_data();
    void colourSpaces();
    void damagedJpeg_data();
    void damagedJpeg();
    void specialFilesAreNeverOpened_data();
    void specialFilesAreNeverOpened();

    void searchFolders();
    void locateOrder_data();
    void locateOrder();
    void playMissingFile();
    void playBadFile_data();
    void playBadFile();
    void noServerIsReported();
    void silentServerDoesNotHang();
    void playsToTheEnd();
    void serverKilledWhilePlaying();

    void chimeIsShortAndSoft();
    void iconsCompiledIn_data();
    void iconsCompiledIn();
    void dataBesideBuiltProgram();

private:
    QTemporaryDir* m_dir = nullptr;
    QString m_home;
    QByteArray m_savedHome, m_savedPulse;
    QStringList m_exeFiles; // files placed beside the test executable, removed afterwards

    void placeBesideExecutable(const QString& name, const QByteArray& bytes)
    {
        const QString path = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
        QVERIFY(writeFile(path, bytes));
        m_exeFiles << path;
    }
    QString uniqueName(const char* stem) const
    {
        return QStringLiteral("%1_%2.wav").arg(QLatin1String(stem)).arg(QCoreApplication::applicationPid());
    }
};

void TestMedia::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_home = m_dir->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(m_home));
    m_savedHome = qgetenv("PENNARO_HOME");
    m_savedPulse = qgetenv("PULSE_SERVER");
    qputenv("PENNARO_HOME", QFile::encodeName(m_home));
    // No test may reach a real sound server.
    qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + m_dir->filePath(QStringLiteral("none"))));
}

void TestMedia::cleanup()
{
    for (const QString& f : std::as_const(m_exeFiles))
        QFile::remove(f);
    m_exeFiles.clear();
    auto restore = [](const char* var, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(var);
        else
            qputenv(var, value);
    };
    restore("PENNARO_HOME", m_savedHome);
    restore("PULSE_SERVER", m_savedPulse);
    delete m_dir;
    m_dir = nullptr;
}

// ---- JPEG ---------------------------------------------------------------------

void TestMedia::logoDecodes()
{
    const QImage logo = JpegImage::decode(kResources + QStringLiteral("/logo.jpg"));
    QVERIFY(!logo.isNull());
    QCOMPARE(logo.size(), QSize(145, 62));
    QCOMPARE(logo.format(), QImage::Format_RGB888);

    // A light background with dark lettering and some red: many colours, not one.
    QSet<QRgb> colours;
    int dark = 0, light = 0, reddish = 0;
    for (int y = 0; y < logo.height(); ++y) {
        for (int x = 0; x < logo.width(); ++x) {
            const QColor c = logo.pixelColor(x, y);
            colours.insert(c.rgb());
            dark += c.lightness() < 80;
            light += c.lightness() > 220;
            reddish += c.red() > 150 && c.green() < 110 && c.blue() < 110;
        }
    }
    QVERIFY2(colours.size() > 100, qPrintable(QString::number(colours.size())));
    QVERIFY(dark > 200);
    QVERIFY(light > logo.width() * logo.height() / 2);
    QVERIFY(reddish > 20);
}

void TestMedia::logoMatchesQtReader()
{
    // Qt's own reader serves as a second opinion on channel order and row order.
    const QString path = kResources + QStringLiteral("/logo.jpg");
    if (!QImageReader::supportedImageFormats().contains("jpeg"))
        QSKIP("Qt's JPEG reader is not installed");
    const QImage reference = QImage(path).convertToFormat(QImage::Format_RGB888);
    const QImage ours = JpegImage::decode(path);
    QCOMPARE(ours.size(), reference.size());
    int worst = 0;
    for (int y = 0; y < ours.height(); ++y) {
        for (int x = 0; x < ours.width(); ++x) {
            const QColor a = ours.pixelColor(x, y), b = reference.pixelColor(x, y);
            worst = std::max(
                {worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
        }
    }
    QVERIFY2(worst <= 3, qPrintable(QString::number(worst)));
}

void TestMedia::colourSpaces_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<int>("format");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("gris") << flatJpeg(JCS_GRAYSCALE, {90}) << int(QImage::Format_Grayscale8) << QColor(90, 90, 90);
    QTest::newRow("rgb") << flatJpeg(JCS_RGB, {200, 40, 120}) << int(QImage::Format_RGB888) << QColor(200, 40, 120);
    // libjpeg marks CMYK with Adobe's marker, whose values are inverted (255 = no ink):
    // no cyan, full magenta and yellow, no black is red.
    QTest::newRow("cmyk rojo") << flatJpeg(JCS_CMYK, {255, 0, 0, 255}) << int(QImage::Format_RGB32)
                               << QColor(255, 0, 0);
    QTest::newRow("cmyk negro") << flatJpeg(JCS_CMYK, {255, 255, 255, 0}) << int(QImage::Format_RGB32)
                                << QColor(0, 0, 0);
}

void TestMedia::colourSpaces()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(int, format);
    QFETCH(QColor, expected);

    const QImage image = JpegImage::fromData(jpeg);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(24, 16));
    QCOMPARE(int(image.format()), format);
    const QColor c = image.pixelColor(12, 8);
    QVERIFY2(std::abs(c.red() - expected.red()) <= 4 && std::abs(c.green() - expected.green()) <= 4 &&
                 std::abs(c.blue() - expected.blue()) <= 4,
             qPrintable(c.name()));
}

void TestMedia::damagedJpeg_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("onDisk");

    const QByteArray logo = readAll(kResources + QStringLiteral("/logo.jpg"));
    QVERIFY(logo.size() > 1000);

    QByteArray random(4096, Qt::Uninitialized);
    QRandomGenerator rng(20041028);
    for (char& c : random)
        c = char(rng.bounded(256));

    // The size in the frame header (SOF) raised to 60000 × 60000: refused before any allocation.
    QByteArray huge = logo;
    for (int i = 0; i + 8 < huge.size(); ++i) {
        const uchar m = uchar(huge[i + 1]);
        if (uchar(huge[i]) == 0xFF && (m == 0xC0 || m == 0xC1 || m == 0xC2)) {
            qToBigEndian<quint16>(60000, huge.data() + i + 5);
            qToBigEndian<quint16>(60000, huge.data() + i + 7);
            break;
        }
    }
    QVERIFY(huge != logo);

    QTest::newRow("vacío") << QByteArray() << true;
    QTest::newRow("bytes al azar") << random << true;
    QTest::newRow("texto") << QByteArray("esto no es una imagen\n") << true;
    QTest::newRow("sólo la cabecera") << logo.left(200) << true;
    QTest::newRow("mitad") << logo.left(logo.size() / 2) << true;
    QTest::newRow("sin el final") << logo.left(logo.size() - 2) << true;
    QTest::newRow("60000 × 60000") << huge << true;
    QTest::newRow("datos en memoria: mitad") << logo.left(logo.size() / 2) << false;
    QTest::newRow("datos en memoria: azar") << random << false;
}

void TestMedia::damagedJpeg()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, onDisk);

    QImage image;
    if (onDisk) {
        const QString path = m_dir->filePath(QStringLiteral("roto.jpg"));
        QVERIFY(writeFile(path, bytes));
        image = JpegImage::decode(path);
    } else {
        image = JpegImage::fromData(bytes);
    }
    QVERIFY(image.isNull());

    // Missing files are the same; and the decoder still works afterwards.
    QVERIFY(JpegImage::decode(m_dir->filePath(QStringLiteral("no-existe.jpg"))).isNull());
    QCOMPARE(JpegImage::decode(kResources + QStringLiteral("/logo.jpg")).size(), QSize(145, 62));
}

// ---- locating sounds ------------------------------------------------------------

void TestMedia::searchFolders()
{
    const QStringList folders = SoundPlayer::searchFolders();
    QCOMPARE(folders.size(), 4);
    QCOMPARE(QDir(folders[0]).absolutePath(), QDir(m_home).absolutePath());
    QCOMPARE(folders[1], QCoreApplication::applicationDirPath());
    QCOMPARE(folders[2], QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/pennaro"));
    QCOMPARE(folders[3], QStringLiteral(PENNARO_DATA_DIR));
}

void TestMedia::locateOrder_data()
{
    QTest::addColumn<QString>("inHome");        // name of the file in the program folder, "" for none
    QTest::addColumn<QString>("besideExe");     // name of the file beside the executable, "" for none
    QTest::addColumn<QString>("asked");         // name asked for
    QTest::addColumn<QString>("expectedWhere"); // "home", "exe" or "" (not found)

    QTest::newRow("carpeta del programa primero") << "SONIDO"
                                                  << "SONIDO"
                                                  << "SONIDO"
                                                  << "home";
    QTest::newRow("junto al ejecutable") << ""
                                         << "SONIDO"
                                         << "SONIDO"
                                         << "exe";
    QTest::newRow("sin mayúsculas en la carpeta") << "sonido"
                                                  << ""
                                                  << "SONIDO"
                                                  << "home";
    QTest::newRow("mayúsculas distintas ganan por carpeta") << "Sonido"
                                                            << "SONIDO"
                                                            << "SONIDO"
                                                            << "home";
    QTest::newRow("en ninguna parte") << ""
                                      << ""
                                      << "SONIDO"
                                      << "";
    QTest::newRow("otro nombre") << "OTRO"
                                 << "OTRO"
                                 << "SONIDO"
                                 << "";
}

void TestMedia::locateOrder()
{
    QFETCH(QString, inHome);
    QFETCH(QString, besideExe);
    QFETCH(QString, asked);
    QFETCH(QString, expectedWhere);

    // Names are made unique to this run, since the executable's folder is shared.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    auto unique = [&](const QString& stem) { return stem.isEmpty() ? stem : stem + QLatin1Char('_') + pid + ".wav"; };
    if (!inHome.isEmpty())
        QVERIFY(writeFile(m_home + QLatin1Char('/') + unique(inHome), "casa"));
    if (!besideExe.isEmpty())
        placeBesideExecutable(unique(besideExe), "ejecutable");

    const QString found = SoundPlayer::locate(unique(asked));
    if (expectedWhere.isEmpty()) {
        QCOMPARE(found, QString());
        return;
    }
    const QString folder = expectedWhere == QLatin1String("home") ? m_home : QCoreApplication::applicationDirPath();
    const QString name = expectedWhere == QLatin1String("home") ? unique(inHome) : unique(besideExe);
    QCOMPARE(QFileInfo(found).canonicalFilePath(), QFileInfo(folder + QLatin1Char('/') + name).canonicalFilePath());
    QCOMPARE(readAll(found), expectedWhere == QLatin1String("home") ? QByteArray("casa") : QByteArray("ejecutable"));
}

void TestMedia::playMissingFile()
{
    // A folder of the sound's name is no sound file.
    QVERIFY(QDir(m_home).mkdir(uniqueName("CARPETA")));
    QCOMPARE(SoundPlayer::play(uniqueName("CARPETA")), SoundResult::FileMissing);
    QCOMPARE(SoundPlayer::play(uniqueName("NO_EXISTE")), SoundResult::FileMissing);
    QCOMPARE(SoundPlayer::play(QString()), SoundResult::FileMissing);
}

void TestMedia::playBadFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("toneFormat"); // when non-zero the file is a tone written in this format

    const QByteArray wav = readAll(kResources + QStringLiteral("/NOTIFY.WAV"));
    QByteArray random(2048, Qt::Uninitialized);
    QRandomGenerator rng(7);
    for (char& c : random)
        c = char(rng.bounded(256));

    QTest::newRow("vacío") << QByteArray() << 0;
    QTest::newRow("texto") << QByteArray("RIFF? no, un texto cualquiera\n") << 0;
    QTest::newRow("bytes al azar") << random << 0;
    QTest::newRow("una imagen") << readAll(kResources + QStringLiteral("/logo.jpg")) << 0;
    QTest::newRow("cabecera WAV cortada") << wav.left(20) << 0;
    QTest::newRow("AIFF, no WAV") << QByteArray() << int(SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
}

void TestMedia::playBadFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, toneFormat);

    const QString name = uniqueName("MALO");
    const QString path = m_home + QLatin1Char('/') + name;
    if (toneFormat)
        QVERIFY(writeTone(path, toneFormat, 0.2));
    else
        QVERIFY(writeFile(path, bytes));
    // The file is judged before any server is looked for: no server here, yet BadFile.
    QCOMPARE(SoundPlayer::play(name), SoundResult::BadFile);
}

void TestMedia::specialFilesAreNeverOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("device behind a link") << "device";
}

void TestMedia::specialFilesAreNeverOpened()
{
    // Opening a FIFO for reading waits for a writer for ever, and a device may never end:
    // neither the logo nor the sound is ever opened from one. No test would end otherwise.
    QFETCH(QString, kind);
    const QString logo = m_home + QStringLiteral("/logo.jpg");
    const QString sound = m_home + QLatin1Char('/') + uniqueName("ESPECIAL");
    for (const QString& path : {logo, sound}) {
        const QByteArray native = QFile::encodeName(path);
        if (kind == "fifo")
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        else
            QCOMPARE(::symlink("/dev/zero", native.constData()), 0);
    }
    QVERIFY(JpegImage::decode(logo).isNull());
    const SoundResult played = SoundPlayer::play(sound);
    QVERIFY(played == SoundResult::FileMissing || played == SoundResult::BadFile);
    QVERIFY(SoundPlayer::play(uniqueName("ESPECIAL")) != SoundResult::Played);
}

// ---- playing ----------------------------------------------------------------------

void TestMedia::noServerIsReported()
{
    // Nothing left behind either: the failed connection holds nothing.
    QVERIFY(QFile::copy(kResources + QStringLiteral("/NOTIFY.WAV"), m_home + QStringLiteral("/NOTIFY.WAV")));
    QCOMPARE(SoundPlayer::play(QStringLiteral("NOTIFY.WAV")), SoundResult::NoServer);
    QVERIFY(!SoundPlayer::busy());
}

void TestMedia::silentServerDoesNotHang()
{
    // A socket that takes connections and never answers, like a stopped server.
    QLocalServer silent;
    const QString socket = m_dir->filePath(QStringLiteral("mudo"));
    QVERIFY(silent.listen(socket));
    QSignalSpy connected(&silent, &QLocalServer::newConnection);
    qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + socket));
    QVERIFY(QFile::copy(kResources + QStringLiteral("/NOTIFY.WAV"), m_home + QStringLiteral("/NOTIFY.WAV")));

    // The player reached the socket and gave up on it, rather than failing to connect.
    QCOMPARE(SoundPlayer::play(QStringLiteral("NOTIFY.WAV")), SoundResult::NoServer);
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);

    // The abandoned playback still holds its connection: a second sound does not queue up
    // behind it, since it returns while the first still waits.
    QVERIFY(SoundPlayer::busy());
    QCOMPARE(SoundPlayer::play(QStringLiteral("NOTIFY.WAV")), SoundResult::NoServer);
    QVERIFY(SoundPlayer::busy());

    // Once the socket goes away the abandoned playback ends on its own.
    silent.close();
    QTRY_VERIFY_WITH_TIMEOUT(!SoundPlayer::busy(), 60000);
}

void TestMedia::playsToTheEnd()
{
    if (PrivateSoundServer::binary().isEmpty())
        QSKIP("pulseaudio is not installed");
    PrivateSoundServer server(m_dir->filePath(QStringLiteral("pulse")));
    QVERIFY(server.start());

    // Found by its bare name in whatever case, and played to its end. The null sink plays in
    // real time, so a call that returns before the sound's length has passed cannot have
    // waited for the end; no upper limit, which would only measure how busy the machine is.
    QVERIFY(QFile::copy(kResources + QStringLiteral("/NOTIFY.WAV"), m_home + QStringLiteral("/notify.wav")));
    QElapsedTimer t;
    t.start();
    QCOMPARE(SoundPlayer::play(QStringLiteral("NOTIFY.WAV")), SoundResult::Played);
    QVERIFY2(t.elapsed() >= 450, qPrintable(QString::number(t.elapsed())));

    // A longer tone holds the call longer: it follows the sound's length.
    QVERIFY(writeTone(m_home + QStringLiteral("/LARGO.WAV"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.5));
    t.restart();
    QCOMPARE(SoundPlayer::play(QStringLiteral("LARGO.WAV")), SoundResult::Played);
    QVERIFY2(t.elapsed() >= 1300, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!SoundPlayer::busy());
}

void TestMedia::serverKilledWhilePlaying()
{
    if (PrivateSoundServer::binary().isEmpty())
        QSKIP("pulseaudio is not installed");
    PrivateSoundServer server(m_dir->filePath(QStringLiteral("pulse")));
    QVERIFY(server.start());
    QVERIFY(writeTone(m_home + QStringLiteral("/LARGO.WAV"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4.0));

    // play() blocks this thread, so another one pulls the server away under it.
    const pid_t pid = pid_t(server.pid());
    std::thread killer([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        ::kill(pid, SIGKILL);
    });
    const SoundResult result = SoundPlayer::play(QStringLiteral("LARGO.WAV"));
    killer.join();
    QCOMPARE(result, SoundResult::NoServer);
    // The playback noticed the server go and ended: play() did not give up waiting on it.
    QVERIFY(!SoundPlayer::busy());
}

// ---- the program's own files ------------------------------------------------------------

void TestMedia::chimeIsShortAndSoft()
{
    const QString path = kResources + QStringLiteral("/NOTIFY.WAV");
    QVERIFY(QFileInfo(path).size() < 100 * 1024);
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    QVERIFY(f);
    auto closer = qScopeGuard([f] { sf_close(f); });
    QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const double seconds = double(info.frames) / info.samplerate;
    QVERIFY2(seconds > 0.3 && seconds < 1.5, qPrintable(QString::number(seconds)));

    std::vector<short> samples(size_t(info.frames * info.channels));
    QCOMPARE(sf_read_short(f, samples.data(), sf_count_t(samples.size())), sf_count_t(samples.size()));
    int peak = 0;
    for (short s : samples)
        peak = std::max(peak, std::abs(int(s)));
    // Audible, never clipped, and ending in silence (no click at the end).
    QVERIFY2(peak > 8000 && peak < 30000, qPrintable(QString::number(peak)));
    QVERIFY(std::abs(int(samples.front())) < 200);
    QVERIFY(std::abs(int(samples.back())) < 200);
}

void TestMedia::iconsCompiledIn_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<int>("size");

    for (const char* name : {"pennaro", "ver", "anadir", "buscar", "onoff", "listado", "correo", "cancelar"})
        QTest::newRow(name) << QStringLiteral(":/icons/%1.png").arg(QLatin1String(name)) << 32;
    QTest::newRow("sobres") << QStringLiteral(":/icons/sobres.png") << 20;
    QTest::newRow("pennaro 64") << QStringLiteral(":/hicolor/pennaro-64.png") << 64;
}

void TestMedia::iconsCompiledIn()
{
    QFETCH(QString, resource);
    QFETCH(int, size);

    const QImage icon(resource);
    QVERIFY2(!icon.isNull(), qPrintable(resource));
    QCOMPARE(icon.size(), QSize(size, size));
    // Drawn on a transparent ground: a see-through corner, and a picture covering a good part.
    QVERIFY(icon.hasAlphaChannel());
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            opaque += qAlpha(icon.pixel(x, y)) > 200;
    QVERIFY(opaque > size * size / 5);
}

void TestMedia::dataBesideBuiltProgram()
{
    // A build tree runs as it is: the chime and the logo sit beside the executable.
    for (const char* name : {"NOTIFY.WAV", "logo.jpg"}) {
        const QString built = QStringLiteral(MEDIA_APP_BUILD_DIR "/") + QLatin1String(name);
        QCOMPARE(readAll(built), readAll(kResources + QLatin1Char('/') + QLatin1String(name)));
    }
}

QTEST_MAIN(TestMedia)
#include "tst_media.moc"
