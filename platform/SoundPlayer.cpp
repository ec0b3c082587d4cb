#include "platform/SoundPlayer.h"

#include "platform/RegularFile.h"

#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pulse/sample.h>
#include <pulse/simple.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Playbacks that play() stopped waiting for and that still run in their threads.
std::atomic<int> g_abandoned{0};

// How much longer than the sound itself play() waits for the server.
constexpr auto kServerGrace = std::chrono::seconds(5);
// play() waits for at most this much sound; past it, it returns and the sound plays on unwaited.
constexpr double kLongestWaitSeconds = 3600.0;

bool isPlayableWav(const SF_INFO& info)
{
    const int type = info.format & SF_FORMAT_TYPEMASK;
    if (type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX && type != SF_FORMAT_RF64)
        return false;
    if (info.frames < 0 || info.channels < 1 || static_cast<unsigned>(info.channels) > PA_CHANNELS_MAX)
        return false;
    return info.samplerate > 0 && static_cast<quint32>(info.samplerate) <= PA_RATE_MAX;
}

// Hands the decoded samples to the sound server and waits until they have been played.
SoundResult stream(SNDFILE* file, const SF_INFO& info)
{
    pa_sample_spec sampleFormat;
    sampleFormat.format = PA_SAMPLE_S16NE;
    sampleFormat.rate = static_cast<uint32_t>(info.samplerate);
    sampleFormat.channels = static_cast<uint8_t>(info.channels);

    int error = 0;
    pa_simple* server = pa_simple_new(nullptr, "Pennaro", PA_STREAM_PLAYBACK, nullptr, "Aviso", &sampleFormat, nullptr,
                                      nullptr, &error);
    if (!server)
        return SoundResult::NoServer;

    constexpr sf_count_t kChunkFrames = 4096;
    std::vector<short> samples(static_cast<size_t>(kChunkFrames * info.channels));
    SoundResult result = SoundResult::Played;
    sf_count_t frames = 0;
    while ((frames = sf_readf_short(file, samples.data(), kChunkFrames)) > 0) {
        const size_t bytes = static_cast<size_t>(frames * info.channels) * sizeof(short);
        if (pa_simple_write(server, samples.data(), bytes, &error) < 0) {
            result = SoundResult::NoServer;
            break;
        }
    }
    // Drain returns once the server has played everything written, or fails when it has gone.
    if (result == SoundResult::Played && pa_simple_drain(server, &error) < 0)
        result = SoundResult::NoServer;
    pa_simple_free(server);
    return result;
}

// One playback, shared by play() and the thread that talks to the server: play() may stop
// waiting for it, and the thread then finishes and cleans up on its own.
struct Playback
{
    SNDFILE* file = nullptr;
    SF_INFO info{};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    SoundResult result = SoundResult::NoServer;
};

void run(const std::shared_ptr<Playback>& playback)
{
    const SoundResult result = stream(playback->file, playback->info);
    sf_close(playback->file);
    playback->file = nullptr;
    {
        std::lock_guard<std::mutex> lock(playback->mutex);
        playback->done = true;
        playback->result = result;
        if (playback->abandoned)
            --g_abandoned;
    }
    playback->finished.notify_all();
}

} // namespace

QStringList SoundPlayer::searchFolders()
{
    QStringList folders{ProgramFolder::path()};
    if (QCoreApplication::instance()) {
        const QString exeDir = QCoreApplication::applicationDirPath();
        folders << exeDir;
        // An installed tree moved or installed under another prefix: <prefix>/bin/pennaro
        // finds <prefix>/share/pennaro.
        folders << QDir::cleanPath(exeDir + QStringLiteral("/../share/pennaro"));
    }
    folders << QStringLiteral(PENNARO_DATA_DIR);
    return folders;
}

QString SoundPlayer::locate(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (QDir::isAbsolutePath(name))
        return QFileInfo(name).isFile() ? name : QString();

    const bool bareName = !name.contains(QLatin1Char('/'));
    for (const QString& folder : searchFolders()) {
        if (folder.isEmpty())
            continue;
        const QDir dir(folder);
        const QString exact = dir.filePath(name);
        if (QFileInfo(exact).isFile())
            return exact;
        if (!bareName)
            continue;
        // The name comes from a case-blind file system: "notify.wav" serves for "NOTIFY.WAV".
        const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString& entry : entries) {
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
        }
    }
    return {};
}

SoundResult SoundPlayer::play(const QString& name)
{
    const QString path = locate(name);
    if (path.isEmpty())
        return SoundResult::FileMissing;

    auto playback = std::make_shared<Playback>();
    // A FIFO or a device under the sound's name is never opened: it could block for ever.
    const int fd = RegularFile::openForReading(path);
    if (fd < 0)
        return SoundResult::BadFile;
    // The descriptor now belongs to libsndfile, which closes it on failure too.
    playback->file = sf_open_fd(fd, SFM_READ, &playback->info, SF_TRUE);
    if (!playback->file)
        return SoundResult::BadFile;
    if (!isPlayableWav(playback->info)) {
        sf_close(playback->file);
        return SoundResult::BadFile;
    }
    if (busy()) {
        sf_close(playback->file);
        return SoundResult::NoServer;
    }

    // pa_simple has no time-outs of its own: a server that accepts the connection and then
    // stops answering would block its calls for ever. The calls run in a thread of their
    // own, and this one waits no longer than the sound's length and a grace period.
    const double seconds = std::min(kLongestWaitSeconds, double(playback->info.frames) / playback->info.samplerate);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<qint64>(seconds * 1000.0)) + kServerGrace;

    try {
        std::thread(run, playback).detach();
    } catch (const std::system_error&) {
        sf_close(playback->file);
        return SoundResult::NoServer;
    }

    std::unique_lock<std::mutex> lock(playback->mutex);
    if (!playback->finished.wait_until(lock, deadline, [&] { return playback->done; })) {
        playback->abandoned = true;
        ++g_abandoned;
        return SoundResult::NoServer;
    }
    return playback->result;
}

bool SoundPlayer::busy()
{
    return g_abandoned.load() > 0;
}
