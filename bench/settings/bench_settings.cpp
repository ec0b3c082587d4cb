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

#include <cstdio>

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
    std::printf("%10s %12s %12s %8s %8s\n", "MiB", "start ms", "Guardar ms", "reads", "writes");
    for (const double mib : sizes) {
        QTemporaryDir dir;
        SettingsStore::setFolder(dir.path());
        const QByteArray text = LargeSettings::text(qint64(mib * 1024 * 1024),
                                                    {R"("User1"="ana")", R"("password1"="hqf{j")", R"("Tiempo"="05")",
                                                     R"("error"=dword:00000001)", R"("abrir"=dword:00000000)",
                                                     R"("pop3"="pop.x.es")", R"("Programa"="")"});
        QFile file(SettingsStore::filePath(HKEY_LOCAL_MACHINE));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return 1;
        file.close();

        TRutines r;
        const int reads = SettingsStore::fileReads();
        const int writes = SettingsStore::fileWrites();
        QElapsedTimer timer;
        timer.start();
        {
            const SettingsBatch batch;
            for (const QString& name : texts)
                r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, key, name);
            r.LeeRegistroCadena(HKEY_LOCAL_MACHINE, key, "Tiempo");
            r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, key, "error");
            r.LeeRegistroEntero(HKEY_LOCAL_MACHINE, key, "abrir");
        }
        const qint64 startMs = timer.restart();
        {
            SettingsBatch batch;
            for (const QString& name : texts)
                r.EscribeRegistro(HKEY_LOCAL_MACHINE, key, name, 1, QStringLiteral("valor"));
            r.EscribeRegistro(HKEY_LOCAL_MACHINE, key, "error", 3, 0);
            r.EscribeRegistro(HKEY_LOCAL_MACHINE, key, "abrir", 3, 1);
            batch.commit();
        }
        const qint64 saveMs = timer.elapsed();
        std::printf("%10.1f %12lld %12lld %8d %8d\n", double(text.size()) / (1024 * 1024), startMs, saveMs,
                    SettingsStore::fileReads() - reads, SettingsStore::fileWrites() - writes);
        std::fflush(stdout);
    }
    return 0;
}
