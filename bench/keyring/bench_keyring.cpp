// Times password stores (write and read back) and reads through the keyring, and measures
// the longest gap between the ticks of a 10 ms timer meanwhile: how long the event loop,
// and so the windows, stood still. Run it on a private bus with a keyring:
//   tests/support/private-session.sh tests/support/keyring-session.sh --keyring
//     build/bench/keyring/bench_keyring [rounds]     (default 50)
// Without the keyring (no --keyring) it times the answer "no keyring" instead.

#include "platform/PasswordKeyring.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Times
{
    std::vector<double> ms;
    void print(const char* what)
    {
        if (ms.empty())
            return;
        std::sort(ms.begin(), ms.end());
        std::printf("%-6s median %.1f ms, worst %.1f ms (%zu)\n", what, ms[ms.size() / 2], ms.back(), ms.size());
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 50;

    // The watchdog: the longest time between two ticks of a 10 ms timer.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    sinceTick.start();
    tick.start();

    PasswordKeyring keyring(QStringLiteral("Pennaro"), QStringLiteral("bench"));
    Times stores, reads;
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const QString password = QStringLiteral("contraseña-%1").arg(i);
        QEventLoop loop;
        QElapsedTimer clock;
        auto wait = [&](auto signal, Times& times) {
            const auto connection = QObject::connect(&keyring, signal, [&](const PasswordKeyring::Result& r) {
                if (r.status != PasswordKeyring::Status::Found)
                    ++failures;
                times.ms.push_back(clock.nsecsElapsed() / 1e6);
                loop.quit();
            });
            loop.exec();
            QObject::disconnect(connection);
        };
        clock.start();
        keyring.store(password);
        wait(&PasswordKeyring::stored, stores);
        clock.restart();
        keyring.read();
        wait(&PasswordKeyring::readFinished, reads);
    }
    stores.print("store");
    reads.print("read");
    std::printf("longest event-loop stall: %lld ms; answers other than Found: %d\n", static_cast<long long>(longestGap),
                failures);
    return 0;
}
