// The POP3 client against a scripted server on 127.0.0.1.

#include "mail/pop3/Pop3Client.h"
#include "support/Pop3Outcome.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using Lines = QList<QByteArray>;

// Answers each line it receives with the next entry of its script; the first entry is
// the greeting, and every new connection starts the script again. A null entry closes
// the connection; when the script runs out the server stays silent. A '\x01' inside an
// entry splits it into pieces sent 30 ms apart. CAPA is answered "-ERR" outside the
// script, as a server from before capabilities does.
class ScriptedServer : public QObject
{
public:
    explicit ScriptedServer(Lines script, int delayMs = 0) : m_script(std::move(script)), m_delayMs(delayMs)
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            ++connections;
            m_next = 0;
            m_socket = socket;
            connect(socket, &QIODevice::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QAbstractSocket::disconnected, this, [this] { closed = true; });
            sendNext();
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    Lines lines;    // received lines of every connection, CR LF removed
    QByteArray raw; // every received byte
    int connections = 0;
    bool closed = false; // some connection was closed

private:
    void onReadyRead(QTcpSocket* socket)
    {
        const QByteArray data = socket->readAll();
        raw += data;
        QByteArray& pending = m_pending[socket];
        pending += data;
        qsizetype lf;
        while ((lf = pending.indexOf('\n')) >= 0) {
            QByteArray line = pending.left(lf);
            pending.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            lines << line;
            if (line == "CAPA")
                socket->write("-ERR no conozco CAPA\r\n");
            else if (socket == m_socket)
                sendNext();
        }
    }
    void sendNext()
    {
        if (m_next >= m_script.size())
            return;
        const QByteArray reply = m_script.at(m_next++);
        QPointer<QTcpSocket> socket = m_socket.data();
        QTimer::singleShot(m_delayMs, this,
                           [socket, reply] { sendPieces(socket, reply.split('\x01'), reply.isNull()); });
    }
    static void sendPieces(QPointer<QTcpSocket> socket, Lines pieces, bool close)
    {
        if (!socket)
            return;
        if (close) {
            socket->disconnectFromHost();
            return;
        }
        socket->write(pieces.takeFirst());
        if (!pieces.isEmpty())
            QTimer::singleShot(30, socket, [socket, pieces] { sendPieces(socket, pieces, false); });
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket; // the latest connection; only it is answered
    Lines m_script;
    int m_delayMs;
    qsizetype m_next = 0;
    QHash<QTcpSocket*, QByteArray> m_pending; // partial lines per connection
};

using Outcome = Pop3Outcome;

static const Lines kLogin = {"+OK ready\r\n", "+OK\r\n", "+OK\r\n"};

class TestPop3 : public QObject
{
    Q_OBJECT

private:
    void setUp(Pop3Client& client, const ScriptedServer& server)
    {
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(server.port());
        client.setUserId(QStringLiteral("ana"));
        client.setPassword(QStringLiteral("secreto"));
        client.setTimeouts(5000, 5000);
    }

private slots:
    void countExchange_data()
    {
        QTest::addColumn<Lines>("script");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("error");
        const QString odd = QStringLiteral("El servidor de correo dio un número de mensajes que no se entiende: ");
        QTest::newRow("normal") << (kLogin + Lines{"+OK 3 512\r\n"}) << true << 3 << "";
        QTest::newRow("empty mailbox") << (kLogin + Lines{"+OK 0 0\r\n"}) << true << 0 << "";
        QTest::newRow("lower case") << (kLogin + Lines{"+ok 12 960\r\n"}) << true << 12 << "";
        QTest::newRow("count alone") << (kLogin + Lines{"+OK 3\r\n"}) << false << 0 << odd + "+OK 3";
        QTest::newRow("two blanks") << (kLogin + Lines{"+OK  3 100\r\n"}) << false << 0 << odd + "+OK  3 100";
        QTest::newRow("not a number") << (kLogin + Lines{"+OK tres 100\r\n"}) << false << 0 << odd + "+OK tres 100";
        QTest::newRow("too big") << (kLogin + Lines{"+OK 2147483648 1\r\n"}) << false << 0 << odd + "+OK 2147483648 1";
        QTest::newRow("refused") << (kLogin + Lines{"-ERR locked\r\n"}) << false << 0
                                 << "El servidor de correo no dio el número de mensajes: -ERR locked";
        QTest::newRow("not POP3") << (kLogin + Lines{"* OK IMAP4rev1\r\n"}) << false << 0
                                  << "El servidor de correo respondió algo que no es POP3: * OK IMAP4rev1";
        QTest::newRow("LF only") << Lines{"+OK ready\n", "+OK\n", "+OK\n", "+OK 5 100\n"} << true << 5 << "";
        QTest::newRow("blank lines first")
            << Lines{"\r\n \r\n\t\r\n+OK ready\r\n", "\n\r\n+OK\r\n", "+OK\r\n", "\r\n+OK 2 9\r\n"} << true << 2 << "";
        QTest::newRow("leading blanks") << Lines{"   +OK ready\r\n", "\t+OK\r\n", "+OK  \r\n", "  +OK 7 1 \r\n"} << true
                                        << 7 << "";
        QTest::newRow("split lines") << Lines{"+OK re\x01"
                                              "ady\r\n",
                                              "+O\x01K\r\n", "+OK\r\x01\n", "+OK 4\x01 10\r\n"}
                                     << true << 4 << "";
    }
    void countExchange()
    {
        QFETCH(Lines, script);
        QFETCH(bool, ok);
        QFETCH(int, count);
        QFETCH(QString, error);
        ScriptedServer server(script);
        Pop3Client client;
        setUp(client, server);

        Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        QVERIFY2(login.ok, qPrintable(login.error));

        Outcome stat;
        client.messageCount(stat.countDone());
        QTRY_COMPARE_WITH_TIMEOUT(stat.calls, 1, 10000);
        QCOMPARE(stat.ok, ok);
        if (ok)
            QCOMPARE(stat.count, count);
        else
            QCOMPARE(stat.error, error);
        // Even a failed count leaves the connection open: closing it is the caller's business.
        QVERIFY(client.isConnected());
        QVERIFY(!server.closed);

        QVERIFY(client.disconnectFromServer());
        QVERIFY(!client.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(server.closed, 10000);
        QCOMPARE(server.lines, (Lines{"CAPA", "USER ana", "PASS secreto", "STAT", "Quit"}));
        QCOMPARE(login.calls, 1);
        QCOMPARE(stat.calls, 1);
    }

    void loginFailure_data()
    {
        QTest::addColumn<Lines>("script");
        QTest::addColumn<Lines>("received");
        QTest::addColumn<QString>("error");
        QTest::newRow("busy greeting") << Lines{"-ERR busy\r\n"} << Lines{"Quit"}
                                       << "El servidor de correo no atiende: -ERR busy";
        QTest::newRow("odd greeting") << Lines{"hola\r\n"} << Lines{"Quit"}
                                      << "El servidor de correo respondió algo que no es POP3: hola";
        QTest::newRow("user refused") << Lines{"+OK\r\n", "-ERR who?\r\n"} << Lines{"CAPA", "USER ana", "Quit"}
                                      << "El servidor de correo rechazó el usuario: -ERR who?";
        QTest::newRow("wrong password") << Lines{"+OK\r\n", "+OK\r\n", "-ERR\r\n"}
                                        << Lines{"CAPA", "USER ana", "PASS secreto", "Quit"}
                                        << "El servidor de correo rechazó la contraseña: -ERR";
        // Control characters of the reply are dropped; an echoed password is masked.
        QTest::newRow("password echoed") << Lines{"+OK\r\n", "+OK\r\n", "-ERR \x1b[31msecreto\x07 no vale\r\n"}
                                         << Lines{"CAPA", "USER ana", "PASS secreto", "Quit"}
                                         << "El servidor de correo rechazó la contraseña: -ERR [31m**** no vale";
        QTest::newRow("clear text refused")
            << Lines{"+OK\r\n",
                     "-ERR [AUTH] Plaintext authentication disallowed on non-secure (SSL/TLS) connections.\r\n"}
            << Lines{"CAPA", "USER ana", "Quit"}
            << "El servidor de correo no acepta la contraseña sin cifrar y no ofrece STLS. Su respuesta fue: «-ERR "
               "[AUTH] Plaintext authentication disallowed on non-secure (SSL/TLS) connections.». Para usar TLS "
               "desde el principio, escriba pop3s://127.0.0.1 como servidor POP3.";
        // The server closes the connection while a reply is awaited.
        QTest::newRow("closed at greeting")
            << Lines{QByteArray()} << Lines{} << "El servidor de correo cerró la conexión";
        QTest::newRow("closed after user")
            << Lines{"+OK\r\n", QByteArray()} << Lines{"CAPA", "USER ana"} << "El servidor de correo cerró la conexión";
    }
    void loginFailure()
    {
        QFETCH(Lines, script);
        QFETCH(Lines, received);
        QFETCH(QString, error);
        ScriptedServer server(script);
        Pop3Client client;
        setUp(client, server);

        Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        QVERIFY(!login.ok);
        QCOMPARE(login.error, error);
        QVERIFY(!client.isConnected());
        QVERIFY(!client.isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(server.closed, 10000);
        QCOMPARE(server.lines, received);
        QCOMPARE(login.calls, 1);
    }

    void closedDuringCount()
    {
        ScriptedServer server(kLogin + Lines{QByteArray()});
        Pop3Client client;
        setUp(client, server);
        Outcome login, stat;
        client.connectAndLogin(login.done());
        QTRY_VERIFY_WITH_TIMEOUT(login.ok, 10000);
        client.messageCount(stat.countDone());
        QTRY_COMPARE_WITH_TIMEOUT(stat.calls, 1, 10000);
        QVERIFY(!stat.ok);
        QVERIFY(!client.isConnected());
        QVERIFY(!client.disconnectFromServer()); // nothing left to send "Quit" on
    }

    void silentServer_data()
    {
        QTest::addColumn<Lines>("script");
        QTest::addColumn<bool>("atCount");
        QTest::addColumn<QString>("reason");
        const QString late = QStringLiteral("El servidor de correo no respondió a tiempo");
        // A silent greeting may be a TLS port: the reason says how to write one.
        const QString noGreeting = QStringLiteral("El servidor de correo no envió su saludo a tiempo (si el puerto "
                                                  "%1 espera TLS, escriba pop3s://127.0.0.1:%1)");
        QTest::newRow("no greeting") << Lines{} << false << noGreeting;
        QTest::newRow("no answer to password") << Lines{"+OK\r\n", "+OK\r\n"} << false << late;
        QTest::newRow("no answer to STAT") << kLogin << true << late;
        QTest::newRow("only blank lines") << Lines{"\r\n\r\n"} << false << noGreeting;
    }
    void silentServer()
    {
        QFETCH(Lines, script);
        QFETCH(bool, atCount);
        QFETCH(QString, reason);
        ScriptedServer server(script);
        Pop3Client client;
        setUp(client, server);
        client.setTimeouts(5000, 300);

        Outcome login, stat;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        Outcome& failed = atCount ? stat : login;
        if (atCount) {
            QVERIFY(login.ok);
            client.messageCount(stat.countDone());
            QTRY_COMPARE_WITH_TIMEOUT(stat.calls, 1, 10000);
        }
        QVERIFY(!failed.ok);
        QCOMPARE(failed.error, reason.arg(server.port()));
        // The socket is aborted: no "Quit", but the server sees the close.
        QVERIFY(!client.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(server.closed, 10000);
        QVERIFY(!server.lines.contains("Quit"));
    }

    void longLine_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("ok");
        const int max = Pop3Client::MaxLineBytes;
        QTest::newRow("longest accepted") << "+OK" + QByteArray(max - 4, 'x') + "\r\n" << true;
        QTest::newRow("one byte more") << "+OK" + QByteArray(max - 2, 'x') + "\n" << false;
        QTest::newRow("70 KiB without LF") << "+OK" + QByteArray(70 * 1024, 'x') << false;
    }
    void longLine()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(bool, ok);
        ScriptedServer server(Lines{greeting, "+OK\r\n", "+OK\r\n"});
        Pop3Client client;
        setUp(client, server);
        client.setTimeouts(5000, 60000); // the failure must not wait for a time limit

        Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        QCOMPARE(login.ok, ok);
        if (!ok) {
            QCOMPARE(login.error, QStringLiteral("Línea de respuesta del servidor de correo demasiado larga"));
            QTRY_VERIFY_WITH_TIMEOUT(server.closed, 10000);
            QVERIFY(server.lines.isEmpty());
        }
    }

    void unreachable_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("closedPort");
        QTest::newRow("unknown host") << "nadie.invalid" << false;
        QTest::newRow("empty host") << "" << false;
        QTest::newRow("connection refused") << "127.0.0.1" << true;
        QTest::newRow("connection refused, IPv6") << "::1" << true;
    }
    void unreachable()
    {
        QFETCH(QString, host);
        QFETCH(bool, closedPort);
        quint16 port = 110;
        if (closedPort) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress(host), 0))
                QSKIP("Esta máquina no escucha en esa dirección de bucle local");
            port = probe.serverPort();
        } // closed here: nobody listens on the port any more
        Pop3Client client;
        client.setHost(host);
        client.setPort(port);
        client.setUserId(QStringLiteral("ana"));
        // A refusal comes at once: with a one-second connect limit the reason must still be
        // the refusal, not the limit. A name lookup gets longer.
        client.setTimeouts(closedPort ? 1000 : 10000, 1000);
        Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 15000);
        QVERIFY(!login.ok);
        QCOMPARE(
            login.error,
            closedPort
                ? QStringLiteral("El servidor de correo %1 rechazó la conexión en el puerto %2").arg(host).arg(port)
                : QStringLiteral("No se encontró el servidor de correo ") + host);
        QVERIFY(!client.isConnected());
        QVERIFY(!client.isBusy());
    }

    void controlCharacters_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::newRow("CR LF in user") << "user"
                                       << "ana\r\nDELE 1";
        QTest::newRow("DEL in user") << "user"
                                     << "ana\x7f";
        QTest::newRow("LF in password") << "password"
                                        << "a\nb";
        QTest::newRow("tab password") << "password"
                                      << "\t";
        QTest::newRow("NUL in password") << "password" << QString(QChar(0));
        QTest::newRow("LF in host") << "host"
                                    << "127.0.0.1\n";
    }
    void controlCharacters()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        ScriptedServer server(kLogin);
        Pop3Client client;
        setUp(client, server);
        if (field == "user")
            client.setUserId(value);
        else if (field == "password")
            client.setPassword(value);
        else
            client.setHost(value);

        Outcome login;
        client.connectAndLogin(login.done());
        QCOMPARE(login.calls, 0); // never inside the call
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        QVERIFY(!login.ok);
        QVERIFY2(login.error.contains("caracteres de control"), qPrintable(login.error));
        QCoreApplication::processEvents();
        QCOMPARE(server.connections, 0);
        QVERIFY(server.raw.isEmpty());
    }

    void wireBytes_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("UTF-8") << QStringLiteral("josé") << QStringLiteral("año€")
                               << QByteArray("CAPA\r\nUSER jos\xc3\xa9\r\nPASS a\xc3\xb1o\xe2\x82\xac\r\n");
        QTest::newRow("empty password") << "ana"
                                        << "" << QByteArray("CAPA\r\nUSER ana\r\nPASS \r\n");
        QTest::newRow("blanks kept") << " ana "
                                     << "a b " << QByteArray("CAPA\r\nUSER  ana \r\nPASS a b \r\n");
    }
    void wireBytes()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, wire);
        ScriptedServer server(kLogin);
        Pop3Client client;
        setUp(client, server);
        client.setUserId(user);
        client.setPassword(password);
        Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        QVERIFY(login.ok);
        QCOMPARE(server.raw, wire);
    }

    // Every reply comes late; the event loop must go on meanwhile.
    void eventLoopKeepsRunning()
    {
        ScriptedServer server(kLogin + Lines{"+OK 1 10\r\n"}, 200);
        Pop3Client client;
        setUp(client, server);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);

        Outcome login, stat;
        client.connectAndLogin(login.done());
        QCOMPARE(login.calls, 0);
        QVERIFY(client.isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        QVERIFY(login.ok);
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
        const int before = ticks;
        client.messageCount(stat.countDone());
        QCOMPARE(stat.calls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(stat.calls, 1, 10000);
        QCOMPARE(stat.count, 1);
        QVERIFY(ticks - before >= 5);
    }

    void oneOperationAtATime()
    {
        ScriptedServer server(kLogin, 100);
        Pop3Client client;
        setUp(client, server);
        Outcome login, second, stat;
        client.connectAndLogin(login.done());
        client.connectAndLogin(second.done());
        client.messageCount(stat.countDone());
        QCOMPARE(second.calls + stat.calls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 10000);
        QVERIFY(login.ok);
        QCOMPARE(second.calls, 1);
        QVERIFY(!second.ok);
        QCOMPARE(second.error, QStringLiteral("El cliente de correo ya está ocupado con otra operación"));
        QCOMPARE(stat.calls, 1);
        QVERIFY(!stat.ok);
        QCOMPARE(server.connections, 1);
        QCOMPARE(server.lines, (Lines{"CAPA", "USER ana", "PASS secreto"}));
    }

    void withoutConnection()
    {
        Pop3Client client;
        QVERIFY(!client.disconnectFromServer());
        Outcome stat;
        client.messageCount(stat.countDone());
        QCOMPARE(stat.calls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(stat.calls, 1, 10000);
        QVERIFY(!stat.ok);
        QCOMPARE(stat.error, QStringLiteral("No hay conexión con el servidor de correo"));
    }

    // Disconnecting while a reply is awaited cancels the operation: one failed callback.
    void disconnectCancels()
    {
        ScriptedServer server(Lines{});
        Pop3Client client;
        setUp(client, server);
        Outcome login;
        client.connectAndLogin(login.done());
        QTRY_VERIFY_WITH_TIMEOUT(server.connections == 1 && client.isConnected(), 10000);
        QVERIFY(client.disconnectFromServer());
        QVERIFY(!client.isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(server.closed, 10000);
        QCOMPARE(server.lines, Lines{"Quit"});
        QCOMPARE(login.calls, 1);
        QVERIFY(!login.ok);
        QCOMPARE(login.error, QStringLiteral("Operación cancelada"));
    }

    // A second login on the same client closes the first connection properly.
    void reconnect()
    {
        ScriptedServer server(kLogin);
        Pop3Client client;
        setUp(client, server);
        Outcome first, second;
        client.connectAndLogin(first.done());
        QTRY_VERIFY_WITH_TIMEOUT(first.ok, 10000);
        client.connectAndLogin(second.done());
        QTRY_VERIFY_WITH_TIMEOUT(second.calls == 1, 10000);
        QVERIFY(second.ok);
        QCOMPARE(server.connections, 2);
        QTRY_VERIFY_WITH_TIMEOUT(server.closed, 10000);
        // The two connections' lines may interleave; each login and one "Quit" are there.
        Lines lines = server.lines;
        std::sort(lines.begin(), lines.end());
        QCOMPARE(lines, (Lines{"CAPA", "CAPA", "PASS secreto", "PASS secreto", "Quit", "USER ana", "USER ana"}));
    }

    // The reply reader on its own: received bytes to lines, and the STAT count.
    void takeReplyLine_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("result"); // Pop3Client::LineResult
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("left");
        using R = Pop3Client::LineResult;
        QTest::newRow("CR LF") << QByteArray("+OK hola\r\n+OK") << int(R::Line) << QByteArray("+OK hola")
                               << QByteArray("+OK");
        QTest::newRow("bare LF") << QByteArray("-ERR no\nx") << int(R::Line) << QByteArray("-ERR no")
                                 << QByteArray("x");
        QTest::newRow("blanks around") << QByteArray(" \t+OK 1 2 \r\n") << int(R::Line) << QByteArray("+OK 1 2")
                                       << QByteArray();
        QTest::newRow("blank line") << QByteArray("\r\n") << int(R::Line) << QByteArray() << QByteArray();
        QTest::newRow("no LF yet") << QByteArray("+OK") << int(R::NeedMore) << QByteArray() << QByteArray("+OK");
        QTest::newRow("longest without LF") << QByteArray(Pop3Client::MaxLineBytes, 'a') << int(R::NeedMore)
                                            << QByteArray() << QByteArray(Pop3Client::MaxLineBytes, 'a');
        QTest::newRow("too long") << QByteArray(Pop3Client::MaxLineBytes + 1, 'a') << int(R::TooLong) << QByteArray()
                                  << QByteArray(Pop3Client::MaxLineBytes + 1, 'a');
    }
    void takeReplyLine()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, result);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, left);
        QByteArray taken;
        QCOMPARE(int(Pop3Client::takeReplyLine(received, &taken)), result);
        QCOMPARE(taken, line);
        QCOMPARE(received, left);
    }

    void statReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("count");
        QTest::newRow("plain") << QByteArray("+OK 3 1200") << true << 3;
        QTest::newRow("lower case") << QByteArray("+ok 0 0") << true << 0;
        QTest::newRow("largest") << QByteArray("+OK 2147483647 1") << true << 2147483647;
        QTest::newRow("too large") << QByteArray("+OK 2147483648 1") << false << 0;
        QTest::newRow("no size") << QByteArray("+OK 3") << false << 0;
        QTest::newRow("letters") << QByteArray("+OK tres 1") << false << 0;
        QTest::newRow("empty count") << QByteArray("+OK  1") << false << 0;
    }
    void statReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QFETCH(int, count);
        QVERIFY(Pop3Client::isPositiveReply(reply));
        int got = -1;
        QCOMPARE(Pop3Client::parseStatReply(reply, &got), ok);
        if (ok)
            QCOMPARE(got, count);
        QVERIFY(!Pop3Client::isPositiveReply("-ERR 3 1200"));
        QVERIFY(!Pop3Client::isPositiveReply("+O"));
    }
};

QTEST_GUILESS_MAIN(TestPop3)
#include "tst_pop3.moc"
