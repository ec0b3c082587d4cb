// Times whole mailbox exchanges (connect, TLS handshake, greeting, USER, PASS, STAT, Quit)
// against a local scripted server on 127.0.0.1: POP3S, STLS, and clear for comparison.
// Usage: bench_pop3tls [rounds]   (default 50). Prints the median, the mean and the worst.

#include "mail/pop3/Pop3Client.h"
#include "support/Pop3TestServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

// One exchange; the time in milliseconds, or -1 when it failed.
double oneCheck(Pop3Client& client)
{
    QEventLoop loop;
    bool ok = false;
    QElapsedTimer clock;
    clock.start();
    client.connectAndLogin([&](bool loggedIn, const QString& error) {
        if (!loggedIn) {
            std::fprintf(stderr, "login: %s\n", qUtf8Printable(error));
            loop.quit();
            return;
        }
        client.messageCount([&](bool counted, int, const QString& error) {
            if (!counted)
                std::fprintf(stderr, "STAT: %s\n", qUtf8Printable(error));
            ok = counted && client.disconnectFromServer();
            loop.quit();
        });
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    return ok ? clock.nsecsElapsed() / 1e6 : -1;
}

void run(const char* name, Pop3TestServer::Tls serverTls, MailTarget::Tls clientTls, int rounds)
{
    Pop3TestServer::Script script;
    script.tls = serverTls;
    script.stat = "+OK 3 900";
    Pop3TestServer server(script);
    Pop3Client client;
    client.setHost(QStringLiteral("localhost"));
    client.setPort(server.port());
    client.setTls(clientTls);
    client.setUserId(QStringLiteral("ana"));
    client.setPassword(QStringLiteral("secreto"));

    oneCheck(client); // warms up the TLS library and the name lookup
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const double ms = oneCheck(client);
        if (ms < 0) {
            std::printf("%-8s failed\n", name);
            return;
        }
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const double mean = std::accumulate(times.begin(), times.end(), 0.0) / times.size();
    std::printf("%-8s %3d checks: median %6.2f ms, mean %6.2f ms, worst %6.2f ms\n", name, rounds,
                times[times.size() / 2], mean, times.back());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    if (!QSslSocket::supportsSsl()) {
        std::fprintf(stderr, "Qt has no TLS backend here\n");
        return 1;
    }
    Pop3Client::setExtraCaCertificates({testcerts::authority()});
    std::printf("TLS backend: %s (%s)\n", qUtf8Printable(QSslSocket::activeBackend()),
                qUtf8Printable(QSslSocket::sslLibraryVersionString()));
    run("POP3S", Pop3TestServer::Tls::Implicit, MailTarget::Tls::Implicit, rounds);
    run("STLS", Pop3TestServer::Tls::Stls, MailTarget::Tls::Stls, rounds);
    run("clear", Pop3TestServer::Tls::None, MailTarget::Tls::Stls, rounds);
    return 0;
}
