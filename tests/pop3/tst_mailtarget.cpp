// The server text of the "e-mail" page read into host, port and TLS mode.

#include "mail/pop3/MailTarget.h"

#include <QtTest>

Q_DECLARE_METATYPE(MailTarget::Tls)

class TestMailTarget : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        using Tls = MailTarget::Tls;
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<Tls>("tls");
        // Names and IPv4 addresses, with and without a port.
        QTest::newRow("with port") << "pop.example.org:1110" << true << "pop.example.org" << 1110 << Tls::Stls;
        QTest::newRow("no port") << "pop.example.org" << true << "pop.example.org" << 110 << Tls::Stls;
        QTest::newRow("address") << "10.0.0.1:110" << true << "10.0.0.1" << 110 << Tls::Stls;
        QTest::newRow("995 is POP3S") << "10.0.0.1:995" << true << "10.0.0.1" << 995 << Tls::Implicit;
        QTest::newRow("highest") << "pop:65535" << true << "pop" << 65535 << Tls::Stls;
        QTest::newRow("leading zero") << "pop:0110" << true << "pop" << 110 << Tls::Stls;
        QTest::newRow("leading zero 995") << "pop:0995" << true << "pop" << 995 << Tls::Implicit;
        QTest::newRow("empty") << "" << true << "" << 110 << Tls::Stls;
        QTest::newRow("zero") << "pop:0" << false << "" << 0 << Tls::Stls;
        QTest::newRow("too high") << "pop:65536" << false << "" << 0 << Tls::Stls;
        QTest::newRow("huge") << "pop:99999999999" << false << "" << 0 << Tls::Stls;
        QTest::newRow("empty port") << "pop:" << false << "" << 0 << Tls::Stls;
        QTest::newRow("blank") << "pop: 110" << false << "" << 0 << Tls::Stls;
        QTest::newRow("sign") << "pop:+110" << false << "" << 0 << Tls::Stls;
        QTest::newRow("letters") << "pop:pop3" << false << "" << 0 << Tls::Stls;
        // IPv6.
        QTest::newRow("bare ::1") << "::1" << true << "::1" << 110 << Tls::Stls;
        QTest::newRow("bare global") << "2001:db8::25" << true << "2001:db8::25" << 110 << Tls::Stls;
        QTest::newRow("bare with scope") << "fe80::1%lo" << true << "fe80::1%lo" << 110 << Tls::Stls;
        QTest::newRow("brackets and port") << "[::1]:1110" << true << "::1" << 1110 << Tls::Stls;
        QTest::newRow("brackets, 995") << "[2001:db8::25]:995" << true << "2001:db8::25" << 995 << Tls::Implicit;
        QTest::newRow("brackets alone") << "[::1]" << true << "::1" << 110 << Tls::Stls;
        QTest::newRow("not IPv6") << "a:b:c" << false << "" << 0 << Tls::Stls;
        QTest::newRow("IPv4 in brackets") << "[10.0.0.1]:110" << false << "" << 0 << Tls::Stls;
        QTest::newRow("unclosed bracket") << "[::1:110" << false << "" << 0 << Tls::Stls;
        QTest::newRow("junk after bracket") << "[::1]110" << false << "" << 0 << Tls::Stls;
        QTest::newRow("bracket, bad port") << "[::1]:0" << false << "" << 0 << Tls::Stls;
        // pop3s://
        QTest::newRow("pop3s") << "pop3s://pop.gmail.com" << true << "pop.gmail.com" << 995 << Tls::Implicit;
        QTest::newRow("pop3s with port") << "pop3s://pop.example.org:1995" << true << "pop.example.org" << 1995
                                         << Tls::Implicit;
        QTest::newRow("pop3s capitals") << "POP3S://Pop.Example.org" << true << "Pop.Example.org" << 995
                                        << Tls::Implicit;
        QTest::newRow("pop3s slash") << "pop3s://pop.example.org/" << true << "pop.example.org" << 995 << Tls::Implicit;
        QTest::newRow("pop3s IPv6") << "pop3s://[::1]:2995" << true << "::1" << 2995 << Tls::Implicit;
        QTest::newRow("pop3s bare IPv6") << "pop3s://::1" << true << "::1" << 995 << Tls::Implicit;
        QTest::newRow("pop3s empty") << "pop3s://" << false << "" << 0 << Tls::Stls;
        QTest::newRow("pop3s port only") << "pop3s://:995" << false << "" << 0 << Tls::Stls;
        QTest::newRow("pop3s path") << "pop3s://pop.example.org/inbox" << false << "" << 0 << Tls::Stls;
        QTest::newRow("pop3s user") << "pop3s://ana@pop.example.org" << false << "" << 0 << Tls::Stls;
        QTest::newRow("pop3s bad port") << "pop3s://pop:99999" << false << "" << 0 << Tls::Stls;
        QTest::newRow("other scheme") << "imaps://mail.example.org" << false << "" << 0 << Tls::Stls;
        QTest::newRow("other scheme, address") << "imap://127.0.0.1" << false << "" << 0 << Tls::Stls;
        QTest::newRow("995 by name") << "pop.example.invalid:995" << true << "pop.example.invalid" << 995
                                     << Tls::Implicit;
        QTest::newRow("far too high") << "127.0.0.1:70000" << false << "" << 0 << Tls::Stls;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(MailTarget::Tls, tls);
        MailTarget untouched;
        untouched.host = QStringLiteral("untouched");
        untouched.port = 7;
        MailTarget got = untouched;
        QString reason;
        QCOMPARE(MailTarget::parse(text, &got, &reason), ok);
        if (ok) {
            QCOMPARE(got.host, host);
            QCOMPARE(int(got.port), port);
            QCOMPARE(got.tls, tls);
            QVERIFY(reason.isEmpty());
        } else {
            QVERIFY(got == untouched);
            QVERIFY2(reason.startsWith(QStringLiteral("El servidor de correo \u00ab") + text +
                                       QStringLiteral("\u00bb no es válido: ")),
                     qPrintable(reason));
        }
    }

    // The host as the error texts suggest typing it reads back as the same host.
    void typedHostReadsBack_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("name") << "pop.example.org";
        QTest::newRow("IPv6") << "::1";
        QTest::newRow("IPv6 with scope") << "fe80::1%lo";
    }
    void typedHostReadsBack()
    {
        QFETCH(QString, host);
        MailTarget target;
        QVERIFY(MailTarget::parse(QStringLiteral("pop3s://") + MailTarget::typedHost(host), &target));
        QCOMPARE(target.host, host);
    }
};

QTEST_GUILESS_MAIN(TestMailTarget)
#include "tst_mailtarget.moc"
