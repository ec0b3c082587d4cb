// Times what start-up and "Guardar" do with settings files of growing size: the eight
// reads of the mail settings in one batch, and the seven writes of "Guardar".
//   bench_settings [MiB...]   (default 0.1 1 10 57)

#include "common/Rutines.h"
#include "platform/SettingsStore.h"
#include "support/LargeSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// Processor time of this process in ms: on a busy machine the wall-clock time says more
// about the other processes than about this one.
qint64 cpuMs()
{
    return qint64(std::clock()) * 1000 / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QList<double> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.append(QString::fromLocal8Bit(argv[i]).toDouble());
    if (sizes.isEmpty())
        sizes = {0.1, 1, 10, 57};

    const QString key = QStringLiteral("\\Software\\Quelmar\\Ostiva\\mail");
    const QStringList texts{"User1", "password1", "Tiempo", "pop3", "Programa"};
    std::printf("%8s %16s %16s %14s %14s\n", "MiB", "start ms (cpu)", "Guardar ms (cpu)", "start r/w", "Guardar r/w");
    for (const double mib : sizes) {
        QTemporaryDir dir;
        SettingsStore::setFolder(dir.path());
        // The filler values and keys grow with the size, as far as the test file's counts.
        const int count = int(std::min<double>(LargeSettings::kFillerValues, mib * 2000));
        const QByteArray text = LargeSettings::text(qint64(mib * 1024 * 1024), count, count,
                                                    {R"("User1"="ana")", R"("password1"="hqf{j")", R"("Tiempo"="05")",
                                                     R"("error"=dword:00000001)", R"("abrir"=dword:00000000)",
                                                     R"("pop3"="pop.x.es")", R"("Programa"="")"});
        QFile file(SettingsStore::filePath(HKEY_LOCAL_MACHINE));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return 1;
        file.close();

        TRutines r;
        int reads = SettingsStore::fileReads();
        int writes = SettingsStore::fileWrites();
        QElapsedTimer timer;
        timer.start();
        qint64 cpu = cpuMs();
        {
            SettingsBatch batch;
            for (const QString& name : texts)
                r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, key, name);
            r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, key, "Tiempo");
            r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, key, "error");
            r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, key, "abrir");
        }
        const qint64 startMs = timer.restart();
        const qint64 startCpu = cpuMs() - cpu;
        cpu = cpuMs();
        const int startReads = SettingsStore::fileReads() - reads;
        const int startWrites = SettingsStore::fileWrites() - writes;
        reads = SettingsStore::fileReads();
        writes = SettingsStore::fileWrites();
        {
            SettingsBatch batch;
            for (const QString& name : texts)
                r.EscribeRegistro(HKEY_LOCAL_MACHINE, key, name, 1, QStringLiteral("valor"));
            r.EscribeRegistro(HKEY_LOCAL_MACHINE, key, "error", 3, 0);
            r.EscribeRegistro(HKEY_LOCAL_MACHINE, key, "abrir", 3, 1);
            batch.commit();
        }
        const qint64 saveMs = timer.elapsed();
        const qint64 saveCpu = cpuMs() - cpu;
        std::printf("%8.1f %9lld (%4lld) %9lld (%4lld) %10d/%d %10d/%d\n", double(text.size()) / (1024 * 1024), startMs,
                    startCpu, saveMs, saveCpu, startReads, startWrites, SettingsStore::fileReads() - reads,
                    SettingsStore::fileWrites() - writes);
        std::fflush(stdout);
    }
    return 0;
}
