// The POP3 client over TLS against a scripted server on the loopback: POP3S, STLS taken,
// STLS not offered, the certificate checks, the failures of an upgrade, IPv6, and the
// reasons the client gives. The test CA is trusted through the client's test seam only.

#include "mail/pop3/Pop3Client.h"
#include "support/Pop3Outcome.h"
#include "support/Pop3TestServer.h"

#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

using Tls = Pop3TestServer::Tls;
using Cert = testcerts::Cert;
using Script = Pop3TestServer::Script;

Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(MailTarget::Tls)

namespace {

Script script(Tls tls, Cert cert = Cert::Good)
{
    Script s;
    s.tls = tls;
    s.cert = cert;
    s.stat = "+OK 2 640";
    return s;
}

void setUp(Pop3Client& client, const Pop3TestServer& server, const QString& host, MailTarget::Tls tls)
{
    client.setHost(host);
    client.setPort(server.port());
    client.setTls(tls);
    client.setUserId(QStringLiteral("ana"));
    client.setPassword(QStringLiteral("secreto"));
    client.setTimeouts(10000, 10000);
}

// Logs in and asks STAT, as every whole check does; the scripted server holds 2 messages.
// A failed check ends this helper only: callers test QTest::currentTestFailed().
void loginAndCount(Pop3Client& client, bool encrypted)
{
    Pop3Outcome login, stat;
    client.connectAndLogin(login.done());
    QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 15000);
    QVERIFY2(login.ok, qPrintable(login.error));
    QCOMPARE(client.isEncrypted(), encrypted);
    client.messageCount(stat.countDone());
    QTRY_COMPARE_WITH_TIMEOUT(stat.calls, 1, 15000);
    QVERIFY2(stat.ok, qPrintable(stat.error));
    QCOMPARE(stat.count, 2);
}

} // namespace

class TestPop3Tls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt no tiene TLS en esta máquina");
        Pop3Client::setExtraCaCertificates({testcerts::authority()});
    }
    void cleanupTestCase() { Pop3Client::setExtraCaCertificates({}); }

    // A whole check over an encrypted session; only what the mode allows goes in clear.
    void verifiedSession_data()
    {
        QTest::addColumn<Script>("server");
        QTest::addColumn<QString>("host");
        QTest::addColumn<MailTarget::Tls>("tls");
        QTest::addColumn<QList<QByteArray>>("clearLines");
        using Lines = QList<QByteArray>;
        QTest::newRow("POP3S by name") << script(Tls::Implicit) << "localhost" << MailTarget::Tls::Implicit << Lines{};
        QTest::newRow("POP3S by IPv4 address")
            << script(Tls::Implicit) << "127.0.0.1" << MailTarget::Tls::Implicit << Lines{};
        QTest::newRow("STLS offered and taken")
            << script(Tls::Stls) << "localhost" << MailTarget::Tls::Stls << Lines{"CAPA", "STLS"};
        Script lower = script(Tls::Stls);
        lower.capa = {"+OK", "user", "stls", "SASL PLAIN"};
        QTest::newRow("STLS in lower case") << lower << "localhost" << MailTarget::Tls::Stls << Lines{"CAPA", "STLS"};
    }
    void verifiedSession()
    {
        QFETCH(Script, server);
        QFETCH(QString, host);
        QFETCH(MailTarget::Tls, tls);
        QFETCH(QList<QByteArray>, clearLines);
        Pop3TestServer pop(server);
        QVERIFY(pop.listening());
        Pop3Client client;
        setUp(client, pop, host, tls);

        loginAndCount(client, true);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(client.disconnectFromServer());
        QTRY_COMPARE_WITH_TIMEOUT(pop.closed, 1, 15000);

        QList<QByteArray> clear, encrypted;
        for (const auto& line : pop.lines)
            (line.encrypted ? encrypted : clear) << line.text;
        QCOMPARE(clear, clearLines);
        QCOMPARE(encrypted, (QList<QByteArray>{"USER ana", "PASS secreto", "STAT", "Quit"}));
        QCOMPARE(pop.handshakes, 1);
    }

    // Without STLS in the list, or without CAPA at all, the session stays clear as before.
    void stlsNotOffered_data()
    {
        QTest::addColumn<QList<QByteArray>>("capa");
        QTest::newRow("list without STLS") << QList<QByteArray>{"+OK", "TOP", "USER", "UIDL"};
        QTest::newRow("empty list") << QList<QByteArray>{"+OK"};
        QTest::newRow("CAPA refused") << QList<QByteArray>{"-ERR no conozco esa orden"};
        // A capability that only contains the letters does not count.
        QTest::newRow("STLSX is not STLS") << QList<QByteArray>{"+OK", "STLSX", "X-STLS", "SASL STLS"};
    }
    void stlsNotOffered()
    {
        QFETCH(QList<QByteArray>, capa);
        Script s = script(Tls::None);
        s.capa = capa;
        Pop3TestServer pop(s);
        Pop3Client client;
        setUp(client, pop, QStringLiteral("127.0.0.1"), MailTarget::Tls::Stls);
        loginAndCount(client, false);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(client.disconnectFromServer());
        QTRY_COMPARE_WITH_TIMEOUT(pop.closed, 1, 15000);
        QCOMPARE(pop.texts(), (QList<QByteArray>{"CAPA", "USER ana", "PASS secreto", "STAT", "Quit"}));
        QCOMPARE(pop.handshakes, 0);
    }

    // Every failure before the login: the reason says why, and neither the user name nor
    // the password ever left the client.
    void failsBeforeLogin_data()
    {
        QTest::addColumn<Script>("server");
        QTest::addColumn<MailTarget::Tls>("tls");
        QTest::addColumn<int>("lineMs");
        QTest::addColumn<QString>("reason"); // the start of it
        const auto implicit = MailTarget::Tls::Implicit;
        const auto stls = MailTarget::Tls::Stls;
        const QString certificate = QStringLiteral("El certificado del servidor de correo no es válido: ");

        QTest::newRow("POP3S, wrong name") << script(Tls::Implicit, Cert::WrongName) << implicit << 10000
                                           << certificate + "es para mail.example.org, no para localhost";
        QTest::newRow("POP3S, expired") << script(Tls::Implicit, Cert::Expired) << implicit << 10000
                                        << certificate + "caducó el 01/01/2001";
        QTest::newRow("POP3S, self-signed") << script(Tls::Implicit, Cert::SelfSigned) << implicit << 10000
                                            << certificate + "está firmado por el propio servidor (autofirmado)";
        QTest::newRow("STLS, wrong name") << script(Tls::Stls, Cert::WrongName) << stls << 10000
                                          << certificate + "es para mail.example.org, no para localhost";
        QTest::newRow("STLS, expired") << script(Tls::Stls, Cert::Expired) << stls << 10000
                                       << certificate + "caducó el 01/01/2001";

        Script refused = script(Tls::Stls);
        refused.stls = "-ERR TLS no disponible";
        QTest::newRow("STLS offered, then refused")
            << refused << stls << 10000
            << "El servidor de correo ofreció STLS pero lo rechazó (no se envió la contraseña): -ERR TLS no disponible";
        Script closes = script(Tls::Stls);
        closes.closeAfterStls = true;
        QTest::newRow("closed during the handshake")
            << closes << stls << 10000 << "El servidor de correo cerró la conexión durante la negociación TLS";
        Script injected = script(Tls::Stls);
        injected.afterStls = "+OK\r\n";
        QTest::newRow("clear bytes behind the STLS answer")
            << injected << stls << 10000 << "El servidor de correo envió datos sin cifrar tras aceptar STLS";
        Script odd = script(Tls::Stls);
        odd.stls = "vale";
        QTest::newRow("STLS answered oddly")
            << odd << stls << 10000 << "El servidor de correo respondió algo que no es POP3: vale";

        QTest::newRow("POP3S port that speaks clear text")
            << script(Tls::None) << implicit << 10000
            << "No se pudo cifrar la conexión con el servidor de correo en el puerto";
        QTest::newRow("clear port that speaks TLS")
            << script(Tls::Implicit) << stls << 500 << "El servidor de correo no envió su saludo a tiempo";

        Script endless = script(Tls::Stls);
        endless.capaEnds = false;
        QTest::newRow("CAPA without its end")
            << endless << stls << 1500 << "El servidor de correo no respondió a tiempo";
        Script huge = script(Tls::Stls);
        huge.capa = {"+OK", "STLS", QByteArray(70 * 1024, 'x')};
        huge.capaEnds = false;
        QTest::newRow("CAPA line too long")
            << huge << stls << 60000 << "Línea de respuesta del servidor de correo demasiado larga";
    }
    void failsBeforeLogin()
    {
        QFETCH(Script, server);
        QFETCH(MailTarget::Tls, tls);
        QFETCH(int, lineMs);
        QFETCH(QString, reason);
        Pop3TestServer pop(server);
        QVERIFY(pop.listening());
        Pop3Client client;
        setUp(client, pop, QStringLiteral("localhost"), tls);
        client.setTimeouts(10000, lineMs);

        Pop3Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 30000);
        QVERIFY(!login.ok);
        QVERIFY2(login.error.startsWith(reason), qPrintable(login.error));
        QVERIFY(!client.isConnected());
        QVERIFY(!client.isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(pop.closed, pop.connections, 15000);
        QVERIFY(!pop.received("USER"));
        QVERIFY(!pop.received("PASS"));
        QVERIFY(!login.error.contains(QStringLiteral("secreto")));
    }

    // Whether the server showed it can encrypt, and a server known to have done so that
    // now offers no STLS: the login stops before the user name, with the way back named.
    void tlsSeenAndRequired_data()
    {
        QTest::addColumn<Script>("server");
        QTest::addColumn<MailTarget::Tls>("tls");
        QTest::addColumn<bool>("require");
        QTest::addColumn<bool>("loggedIn");
        QTest::addColumn<bool>("seen");
        const auto implicit = MailTarget::Tls::Implicit;
        const auto stls = MailTarget::Tls::Stls;
        Script refusedCapa = script(Tls::None);
        refusedCapa.capa = {"-ERR no conozco esa orden"};
        Script refusedStls = script(Tls::Stls);
        refusedStls.stls = "-ERR TLS no disponible";
        QTest::newRow("STLS taken") << script(Tls::Stls) << stls << false << true << true;
        QTest::newRow("POP3S, required") << script(Tls::Implicit) << implicit << true << true << true;
        QTest::newRow("STLS offered, then refused") << refusedStls << stls << false << false << true;
        QTest::newRow("no STLS") << script(Tls::None) << stls << false << true << false;
        QTest::newRow("no STLS, required") << script(Tls::None) << stls << true << false << false;
        QTest::newRow("CAPA refused, required") << refusedCapa << stls << true << false << false;
    }
    void tlsSeenAndRequired()
    {
        QFETCH(Script, server);
        QFETCH(MailTarget::Tls, tls);
        QFETCH(bool, require);
        QFETCH(bool, loggedIn);
        QFETCH(bool, seen);
        Pop3TestServer pop(server);
        QVERIFY(pop.listening());
        Pop3Client client;
        setUp(client, pop, QStringLiteral("localhost"), tls);
        client.setRequireTls(require);
        Pop3Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 15000);
        QCOMPARE(login.ok, loggedIn);
        QCOMPARE(client.tlsSeen(), seen);
        // The password went in clear only to a server that never showed it can encrypt.
        QCOMPARE(pop.received("PASS", true), loggedIn && !seen);
        if (require && !loggedIn) {
            QVERIFY(!pop.received("USER"));
            QVERIFY2(login.error.startsWith(QStringLiteral("El servidor de correo localhost ofreció cifrado en "
                                                           "comprobaciones anteriores y ahora no ofrece STLS")),
                     qPrintable(login.error));
        }
        client.disconnectFromServer();
    }

    // Without the seam the test CA is unknown: the system's store alone decides.
    void unknownIssuer()
    {
        Pop3Client::setExtraCaCertificates({});
        const auto restore = qScopeGuard([] { Pop3Client::setExtraCaCertificates({testcerts::authority()}); });
        Pop3TestServer pop(script(Tls::Implicit));
        Pop3Client client;
        setUp(client, pop, QStringLiteral("localhost"), MailTarget::Tls::Implicit);
        Pop3Outcome login;
        client.connectAndLogin(login.done());
        QTRY_COMPARE_WITH_TIMEOUT(login.calls, 1, 15000);
        QVERIFY(!login.ok);
        QCOMPARE(
            login.error,
            QStringLiteral("El certificado del servidor de correo no es válido: lo emitió una autoridad desconocida"));
        QVERIFY(!pop.received("USER"));
    }

    void ipv6Loopback_data()
    {
        QTest::addColumn<MailTarget::Tls>("tls");
        QTest::newRow("POP3S") << MailTarget::Tls::Implicit;
        QTest::newRow("STLS") << MailTarget::Tls::Stls;
    }
    void ipv6Loopback()
    {
        QFETCH(MailTarget::Tls, tls);
        Pop3TestServer pop(script(tls == MailTarget::Tls::Implicit ? Tls::Implicit : Tls::Stls),
                           QHostAddress::LocalHostIPv6);
        if (!pop.listening())
            QSKIP("Esta máquina no tiene bucle local IPv6 (::1)");
        Pop3Client client;
        setUp(client, pop, QStringLiteral("::1"), tls);
        loginAndCount(client, true);
        if (QTest::currentTestFailed())
            return;
        client.disconnectFromServer();
        QVERIFY(!pop.received("USER", true));
    }

    void certificateReason_data()
    {
        QTest::addColumn<QList<int>>("errors");
        QTest::addColumn<int>("cert");
        QTest::addColumn<QString>("why");
        const int good = int(Cert::Good), expired = int(Cert::Expired), wrong = int(Cert::WrongName);
        QTest::newRow("expired") << QList<int>{QSslError::CertificateExpired} << expired << "caducó el 01/01/2001";
        QTest::newRow("not yet valid") << QList<int>{QSslError::CertificateNotYetValid} << good
                                       << "no es válido hasta el 01/01/2020";
        QTest::newRow("wrong name") << QList<int>{QSslError::HostNameMismatch} << wrong
                                    << "es para mail.example.org, no para pop.example.org";
        QTest::newRow("unknown issuer") << QList<int>{QSslError::UnableToGetLocalIssuerCertificate,
                                                      QSslError::UnableToVerifyFirstCertificate}
                                        << good << "lo emitió una autoridad desconocida";
        QTest::newRow("expired and wrong name")
            << QList<int>{QSslError::CertificateExpired, QSslError::HostNameMismatch} << expired
            << "caducó el 01/01/2001; es para localhost, no para pop.example.org";
        QTest::newRow("revoked") << QList<int>{QSslError::CertificateRevoked} << good << "ha sido revocado";
        QTest::newRow("other") << QList<int>{QSslError::InvalidPurpose} << good << "no se pudo verificar";
        QTest::newRow("none") << QList<int>{} << good << "no se pudo verificar";
    }
    void certificateReason()
    {
        QFETCH(QList<int>, errors);
        QFETCH(int, cert);
        QFETCH(QString, why);
        QList<QSslError> list;
        for (int error : errors)
            list << QSslError(QSslError::SslError(error), testcerts::certificate(Cert(cert)));
        QCOMPARE(Pop3Client::certificateReason(list, QStringLiteral("pop.example.org")),
                 QStringLiteral("El certificado del servidor de correo no es válido: ") + why);
    }

    void serverText_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QByteArray("-ERR clave incorrecta") << "x1"
                               << "-ERR clave incorrecta";
        QTest::newRow("controls") << QByteArray("-ERR a\x01\x1b\x7f"
                                                "b\tc")
                                  << ""
                                  << "-ERR abc";
        QTest::newRow("C1 and bidi") << QByteArray("-ERR \xc2\x9b"
                                                   "a\xe2\x80\xae"
                                                   "b")
                                     << ""
                                     << "-ERR ab";
        QTest::newRow("echoed password") << QByteArray("-ERR secreto no es secreto") << "secreto"
                                         << "-ERR **** no es ****";
        QTest::newRow("long") << QByteArray("-ERR " + QByteArray(300, 'x')) << ""
                              << "-ERR " + QString(195, 'x') + QChar(0x2026);
    }
    void serverText()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, password);
        QFETCH(QString, shown);
        QCOMPARE(Pop3Client::serverText(reply, password), shown);
    }

    void refusesClearText_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("refuses");
        QTest::newRow("dovecot")
            << QByteArray("-ERR [AUTH] Plaintext authentication disallowed on non-secure (SSL/TLS) connections.")
            << true;
        QTest::newRow("cleartext") << QByteArray("-ERR Cleartext logins not permitted") << true;
        QTest::newRow("encryption") << QByteArray("-ERR Encryption required") << true;
        QTest::newRow("wrong password") << QByteArray("-ERR [AUTH] Authentication failed.") << false;
        QTest::newRow("unknown user") << QByteArray("-ERR no such user") << false;
    }
    void refusesClearText()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, refuses);
        QCOMPARE(Pop3Client::refusesClearText(reply), refuses);
    }
};

QTEST_GUILESS_MAIN(TestPop3Tls)
#include "tst_pop3tls.moc"
