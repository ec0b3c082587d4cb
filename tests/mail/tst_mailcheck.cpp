// The mailbox check against a scripted POP3 server on 127.0.0.1: its outcomes, the error
// box and its guard, the check cadence of the minute timer, and the new-mail notice.

#include "support/LogCapture.h"
#include "support/Pop3TestServer.h"
#include "support/ProgramFixture.h"

#include "app/Ostiva_Unit.h"
#include "core/Clock.h"
#include "mail/Correo_Unit.h"
#include "mail/pop3/Pop3Client.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {

// What the server answers on one connection.
struct Script
{
    QByteArray greeting = "+OK listo";
    QByteArray user = "+OK";
    QByteArray pass = "+OK";
    QByteArray stat = "+OK 0 0";
    int greetingDelayMs = 0;
};

Script statReply(const QByteArray& stat)
{
    Script s;
    s.stat = stat;
    return s;
}

// A POP3 server that answers each connection with the next script (the last one repeats)
// and records every line it receives.
class FakePop3 : public QObject
{
public:
    explicit FakePop3(QList<Script> scripts = {Script()}) : m_scripts(std::move(scripts))
    {
        listening = m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                accept(socket);
        });
    }
    ~FakePop3() override
    {
        // The connections go with the server; none may report back to a half-destroyed one.
        for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
            socket->disconnect(this);
    }
    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    int received(const QByteArray& verb) const
    {
        int n = 0;
        for (const QByteArray& line : lines)
            n += line.split(' ').first().compare(verb, Qt::CaseInsensitive) == 0 ? 1 : 0;
        return n;
    }

    bool listening = false;
    int connections = 0;
    int closed = 0;
    QList<QByteArray> lines; // every line of every connection, without CR LF
    QByteArray raw;          // every byte received

private:
    void accept(QTcpSocket* socket)
    {
        const Script script = m_scripts.at(qMin(connections, int(m_scripts.size()) - 1));
        ++connections;
        connect(socket, &QIODevice::readyRead, this, [this, socket, script] { onRead(socket, script); });
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
            ++closed;
            m_pending.remove(socket);
            socket->deleteLater();
        });
        QPointer<QTcpSocket> guard(socket);
        const auto greet = [guard, script] {
            if (guard)
                guard->write(script.greeting + "\r\n");
        };
        if (script.greetingDelayMs > 0)
            QTimer::singleShot(script.greetingDelayMs, socket, greet);
        else
            greet();
    }
    void onRead(QTcpSocket* socket, const Script& script)
    {
        const QByteArray data = socket->readAll();
        raw += data;
        QByteArray& pending = m_pending[socket];
        pending += data;
        for (qsizetype lf; (lf = pending.indexOf('\n')) >= 0;) {
            QByteArray line = pending.left(lf);
            pending.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            lines << line;
            const QByteArray verb = line.split(' ').first().toUpper();
            if (verb == "USER")
                socket->write(script.user + "\r\n");
            else if (verb == "PASS")
                socket->write(script.pass + "\r\n");
            else if (verb == "STAT")
                socket->write(script.stat + "\r\n");
            else if (verb == "QUIT")
                socket->write("+OK adios\r\n");
            else
                socket->write("-ERR orden desconocida\r\n");
        }
    }

    QTcpServer m_server;
    QList<Script> m_scripts;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

// A check ends when no exchange is under way any more.
#define WAIT_CHECK_DONE() QTRY_VERIFY_WITH_TIMEOUT(!Ostiva_Form->CorreoEnCurso(), 15000)

const QString kUser = QStringLiteral("ana.perez");
const QString kPassword = QStringLiteral("secreto");
const QString kProgram = QStringLiteral("/usr/bin/correo");
const QString kErrorText = QStringLiteral("Error en la cuenta de correo ana.perez");

void startProgram(ProgramFixture& f)
{
    f.createProgram();
    Ostiva_Form->Timer1->stop(); // the tests tick by hand
    QVERIFY(Correo_Form);
}

void setAccount(const QString& server, const QString& user = kUser)
{
    Ostiva_Form->EditMail1User()->setText(user);
    Ostiva_Form->EditMail1Pass()->setText(kPassword);
    Ostiva_Form->EditPOP3()->setText(server);
    Ostiva_Form->EditPrograma()->setText(kProgram);
}

void comprobar()
{
    Ostiva_Form->findChild<QPushButton*>(QStringLiteral("BitBtn4"))->click();
}

// A port on which nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// Records what stood on screen when the sound played.
struct SoundWitness
{
    bool noticeShown = false;
    int programsStarted = -1;
    explicit SoundWitness(ProgramFixture& f)
    {
        seams::setSoundHandler([this, &f](const QString& name) {
            f.sounds.append(name);
            noticeShown = Correo_Form->isVisible();
            programsStarted = int(f.startedPrograms.size());
        });
    }
};

} // namespace

Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(Pop3TestServer::Script)

class TestMailCheck : public QObject
{
    Q_OBJECT
private slots:
    void announcesNewMail_data()
    {
        QTest::addColumn<QByteArray>("stat");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("words");
        QTest::newRow("one") << QByteArray("+OK 1 320") << "1"
                             << " e-mail nuevo para ";
        QTest::newRow("three") << QByteArray("+OK 3 960") << "3"
                               << " e-mails nuevos para ";
        QTest::newRow("twelve, lower case") << QByteArray("+ok 12 4000") << "12"
                                            << " e-mails nuevos para ";
    }
    void announcesNewMail()
    {
        QFETCH(QByteArray, stat);
        QFETCH(QString, count);
        QFETCH(QString, words);
        FakePop3 server({statReply(stat), statReply("+OK 5 2000")});
        QVERIFY(server.listening);
        ProgramFixture f;
        startProgram(f);
        SoundWitness witness(f);
        setAccount(server.server());
        ContadorCorreo = 4;

        comprobar();
        QCOMPARE(ContadorCorreo, 1);
        QVERIFY(Ostiva_Form->CorreoEnCurso()); // the answer comes later, through the event loop
        WAIT_CHECK_DONE();

        QCOMPARE(f.sounds, QStringList{"NOTIFY.WAV"});
        QVERIFY(!witness.noticeShown); // the sound comes first
        QVERIFY(Correo_Form->isVisible());
        QVERIFY(!Correo_Form->isModal());
        QCOMPARE(Correo_Form->Label1->text(), count);
        QCOMPARE(Correo_Form->Label2->text(), words);
        QCOMPARE(Correo_Form->Label3->text(), kUser);
        QVERIFY(f.messages.isEmpty());
        QVERIFY(f.startedPrograms.isEmpty());
        QCOMPARE(ContadorCorreo, 1);
        // CAPA finds no STLS here (this server knows no CAPA): the session stays clear.
        QTRY_COMPARE(server.lines, (QList<QByteArray>{"CAPA", "USER ana.perez", "PASS secreto", "STAT", "Quit"}));
        QTRY_COMPARE(server.closed, 1);

        // A check by hand while the notice is up replaces its texts.
        comprobar();
        WAIT_CHECK_DONE();
        QVERIFY(Correo_Form->isVisible());
        QCOMPARE(Correo_Form->Label1->text(), QString("5"));
        QCOMPARE(Correo_Form->Label2->text(), QString(" e-mails nuevos para "));
        QCOMPARE(f.sounds.size(), 2);
    }

    void emptyMailboxShowsNothing()
    {
        FakePop3 server({statReply("+OK 0 0")});
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());
        comprobar();
        WAIT_CHECK_DONE();
        QVERIFY(f.sounds.isEmpty());
        QVERIFY(!Correo_Form->isVisible());
        QVERIFY(f.messages.isEmpty());
        QVERIFY(f.startedPrograms.isEmpty());
        QTRY_VERIFY(!server.lines.isEmpty() && server.lines.last() == "Quit");
        QTRY_COMPARE(server.closed, 1);
        QCOMPARE(ContadorCorreo, 1);
    }

    // "Abrir  correo." is read when the count arrives, not when the check starts.
    void opensMailProgramInsteadOfNotice_data()
    {
        QTest::addColumn<bool>("checkedDuringCheck");
        QTest::newRow("checked before") << false;
        QTest::newRow("checked while waiting") << true;
    }
    void opensMailProgramInsteadOfNotice()
    {
        QFETCH(bool, checkedDuringCheck);
        Script script = statReply("+OK 2 100");
        script.greetingDelayMs = 200;
        FakePop3 server({script});
        ProgramFixture f;
        startProgram(f);
        SoundWitness witness(f);
        setAccount(server.server());
        Ostiva_Form->CheckBoxPrograma()->setChecked(!checkedDuringCheck);

        comprobar();
        if (checkedDuringCheck)
            Ostiva_Form->CheckBoxPrograma()->setChecked(true);
        WAIT_CHECK_DONE();

        QCOMPARE(f.sounds, QStringList{"NOTIFY.WAV"});
        QCOMPARE(witness.programsStarted, 0); // the sound comes first
        QCOMPARE(f.startedPrograms.size(), 1);
        QCOMPARE(f.startedPrograms.at(0).first, kProgram);
        QVERIFY(f.startedPrograms.at(0).second); // maximised
        QVERIFY(!Correo_Form->isVisible());
        QCOMPARE(ContadorCorreo, 0);
        QVERIFY(f.messages.isEmpty());
        QTRY_VERIFY(!server.lines.isEmpty() && server.lines.last() == "Quit");
    }

    // A step that fails with an error of another library's kind ends the check with that
    // error's own text, in the box's details and in the log.
    void foreignErrorKeepsItsText()
    {
        FakePop3 server({statReply("+OK 2 100")});
        ProgramFixture f;
        startProgram(f);
        LogCapture log;
        setAccount(server.server());
        Ostiva_Form->CheckBoxPrograma()->setChecked(true);
        seams::setStartProgramHandler([](const QString&, bool) { throw std::runtime_error("sin lanzador"); });

        comprobar();
        WAIT_CHECK_DONE();

        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).detailedText, QStringLiteral("sin lanzador"));
        QCOMPARE(log.texts("pennaro.mail"), QStringList{"Error en la cuenta de correo ana.perez: sin lanzador"});
        QVERIFY(!Ostiva_Form->POP->isConnected());
    }

    void failureShowsErrorBox_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("reason"); // "%1" stands for the port
        Script s;
        s.pass = "-ERR clave incorrecta";
        QTest::newRow("wrong password") << s << true
                                        << "El servidor de correo rechazó la contraseña: -ERR clave incorrecta";
        s = Script();
        s.greeting = "-ERR ocupado";
        QTest::newRow("greeting refused") << s << true << "El servidor de correo no atiende: -ERR ocupado";
        QTest::newRow("STAT refused") << statReply("-ERR buzón bloqueado") << true
                                      << "El servidor de correo no dio el número de mensajes: -ERR buzón bloqueado";
        QTest::newRow("count alone") << statReply("+OK 3") << true
                                     << "El servidor de correo dio un número de mensajes que no se entiende: +OK 3";
        QTest::newRow("count not a number")
            << statReply("+OK tres 100") << true
            << "El servidor de correo dio un número de mensajes que no se entiende: +OK tres 100";
        QTest::newRow("nobody listening")
            << Script() << false << "El servidor de correo 127.0.0.1 rechazó la conexión en el puerto %1";
    }
    void failureShowsErrorBox()
    {
        QFETCH(Script, script);
        QFETCH(bool, reachable);
        QFETCH(QString, reason);
        FakePop3 server({script});
        ProgramFixture f;
        startProgram(f);
        LogCapture log;
        const quint16 port = reachable ? QUrl("pop://" + server.server()).port() : closedPort();
        const QString target = QStringLiteral("127.0.0.1:%1").arg(port);
        if (reason.contains(QLatin1String("%1")))
            reason = reason.arg(port);
        setAccount(target);
        bool checkedWhileUp = false;
        f.onMessage = [&](const seams::MessageRequest&) { checkedWhileUp = Ostiva_Form->CheckBoxError()->isChecked(); };
        ContadorCorreo = 4;

        Ostiva_Form->Cartero(kUser, kPassword, target);
        WAIT_CHECK_DONE();

        QCOMPARE(f.messages.size(), 1);
        const seams::MessageRequest& box = f.messages.at(0);
        QCOMPARE(box.text, kErrorText);
        QCOMPARE(box.caption, QString("Error"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.detailedText, reason);
        QCOMPARE(log.texts("pennaro.mail"), QStringList{"Error en la cuenta de correo ana.perez: " + reason});
        QVERIFY(checkedWhileUp);
        QVERIFY(!Ostiva_Form->CheckBoxError()->isChecked());
        QCOMPARE(ContadorCorreo, 1); // answered with OK
        QVERIFY(f.sounds.isEmpty());
        QVERIFY(!Correo_Form->isVisible());
        QVERIFY(!Ostiva_Form->POP->isConnected());
        QTRY_COMPARE(server.closed, server.connections);

        // The next check connects anew.
        Ostiva_Form->Cartero(kUser, kPassword, target);
        WAIT_CHECK_DONE();
        QCOMPARE(f.messages.size(), 2);
        if (reachable)
            QCOMPARE(server.connections, 2);
    }

    void errorBoxAnswerMovesCounter_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("counter");
        QTest::newRow("OK") << int(QMessageBox::Ok) << 1;
        QTest::newRow("close box") << int(QMessageBox::NoButton) << 4;
    }
    void errorBoxAnswerMovesCounter()
    {
        QFETCH(int, answer);
        QFETCH(int, counter);
        Script s;
        s.pass = "-ERR";
        FakePop3 server({s});
        ProgramFixture f;
        startProgram(f);
        f.answers << QMessageBox::StandardButton(answer);
        ContadorCorreo = 4;
        Ostiva_Form->Cartero(kUser, kPassword, server.server());
        WAIT_CHECK_DONE();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(ContadorCorreo, counter);
        QVERIFY(!Ostiva_Form->CheckBoxError()->isChecked());
    }

    void ignoredErrorsShowNothing()
    {
        Script s;
        s.pass = "-ERR clave incorrecta";
        FakePop3 server({s});
        ProgramFixture f;
        startProgram(f);
        Ostiva_Form->CheckBoxError()->setChecked(true);
        ContadorCorreo = 4;
        LogCapture log;
        Ostiva_Form->Cartero(kUser, kPassword, server.server());
        WAIT_CHECK_DONE();
        QVERIFY(f.messages.isEmpty());
        // No box, but the reason still reaches the log.
        QCOMPARE(log.texts("pennaro.mail"),
                 QStringList{"Error en la cuenta de correo ana.perez: El servidor de correo rechazó la contraseña: "
                             "-ERR clave incorrecta"});
        QCOMPARE(ContadorCorreo, 4);
        QVERIFY(Ostiva_Form->CheckBoxError()->isChecked());
        QTRY_COMPARE(server.closed, 1);

        Ostiva_Form->Cartero(kUser, kPassword, server.server());
        WAIT_CHECK_DONE();
        QCOMPARE(server.connections, 2);
        QVERIFY(f.messages.isEmpty());
    }

    // While the error box is up (a modal loop: the minute timer may start checks), a
    // second failure shows no second box; a second check that finds mail shows the notice.
    void secondCheckUnderErrorBox_data()
    {
        QTest::addColumn<Script>("second");
        QTest::addColumn<bool>("noticeShown");
        Script fails;
        fails.pass = "-ERR";
        QTest::newRow("second fails") << fails << false;
        QTest::newRow("second finds mail") << statReply("+OK 2 300") << true;
    }
    void secondCheckUnderErrorBox()
    {
        QFETCH(Script, second);
        QFETCH(bool, noticeShown);
        Script first;
        first.pass = "-ERR";
        FakePop3 server({first, second});
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());
        bool secondDone = false;
        f.onMessage = [&](const seams::MessageRequest&) {
            if (f.messages.size() != 1)
                return;
            QVERIFY(Ostiva_Form->CheckBoxError()->isChecked());
            Ostiva_Form->BitBtn4Click();
            QTRY_VERIFY_WITH_TIMEOUT(server.connections == 2 && !Ostiva_Form->CorreoEnCurso(), 15000);
            secondDone = true;
        };

        comprobar();
        WAIT_CHECK_DONE();
        QVERIFY(secondDone);
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).text, kErrorText);
        QCOMPARE(Correo_Form->isVisible(), noticeShown);
        QVERIFY(!Ostiva_Form->CheckBoxError()->isChecked());
        QCOMPARE(ContadorCorreo, 1);
    }

    void userNameDecidesWhetherToConnect_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<int>("connections");
        QTest::newRow("empty, button") << "" << false << 0;
        QTest::newRow("empty, menu") << "" << true << 0;
        QTest::newRow("a blank is a name") << " " << false << 1;
        QTest::newRow("menu checks too") << "ana" << true << 1;
    }
    void userNameDecidesWhetherToConnect()
    {
        QFETCH(QString, user);
        QFETCH(bool, fromMenu);
        QFETCH(int, connections);
        FakePop3 server;
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server(), user);
        ContadorCorreo = 4;
        if (fromMenu)
            Ostiva_Form->Comprobaremail1->trigger();
        else
            comprobar();
        QCOMPARE(ContadorCorreo, 1);
        WAIT_CHECK_DONE();
        QTRY_COMPARE(server.closed, connections);
        QCOMPARE(server.connections, connections);
        QVERIFY(f.messages.isEmpty());
    }

    void checkDuringCheckStartsNone()
    {
        Script slow;
        slow.greetingDelayMs = 400;
        FakePop3 server({slow});
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());

        comprobar();
        QVERIFY(Ostiva_Form->CorreoEnCurso());
        ContadorCorreo = 4;
        comprobar();
        QCOMPARE(ContadorCorreo, 1); // still the entry's first act
        Ostiva_Form->Comprobaremail1->trigger();
        WAIT_CHECK_DONE();
        QCOMPARE(server.connections, 1);
        QCOMPARE(server.received("USER"), 1);
        QVERIFY(f.messages.isEmpty());

        // Once it has ended, the next check runs.
        comprobar();
        WAIT_CHECK_DONE();
        QCOMPARE(server.connections, 2);
    }

    void windowAnswersDuringSlowServer()
    {
        Script slow;
        slow.greetingDelayMs = 1500;
        slow.stat = "+OK 1 10";
        FakePop3 server({slow});
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());

        int ticksWhileWaiting = 0;
        QTimer ticker;
        ticker.setInterval(20);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (Ostiva_Form->CorreoEnCurso())
                ++ticksWhileWaiting;
        });
        ticker.start();

        // The button returns with the check still under way, before the server has greeted.
        comprobar();
        QVERIFY2(Ostiva_Form->CorreoEnCurso(), "the button waited for the server");
        QVERIFY(!Correo_Form->isVisible());
        WAIT_CHECK_DONE();
        QVERIFY2(ticksWhileWaiting >= 10, qPrintable(QString::number(ticksWhileWaiting)));
        QVERIFY(Correo_Form->isVisible());
    }

    // A line break in a text would carry a second command: the client refuses such texts
    // before connecting, and the check reports the failure.
    void controlCharactersSendNothing_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("host"); // "%1" stands for the server's port
        QTest::newRow("user with CR LF") << "ana\r\nDELE 1" << kPassword << "127.0.0.1:%1";
        QTest::newRow("password with LF") << kUser << "x\nDELE 1"
                                          << "127.0.0.1:%1";
        QTest::newRow("user with tab") << "ana\tb" << kPassword << "127.0.0.1:%1";
        QTest::newRow("server with CR LF") << kUser << kPassword << "127.0.0.1\r\nSTAT:%1";
        QTest::newRow("port with LF") << kUser << kPassword << "127.0.0.1:%1\n";
    }
    void controlCharactersSendNothing()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, host);
        FakePop3 server;
        ProgramFixture f;
        startProgram(f);
        const quint16 port = QUrl("pop://" + server.server()).port();
        Ostiva_Form->Cartero(user, password, host.arg(port));
        WAIT_CHECK_DONE();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).text, QStringLiteral("Error en la cuenta de correo ") + user);

        // A good check on the same server afterwards: a connection the refused check had
        // made would have reached the server before this one.
        Ostiva_Form->Cartero(kUser, kPassword, QStringLiteral("127.0.0.1:%1").arg(port));
        WAIT_CHECK_DONE();
        QCOMPARE(server.connections, 1);
        QCOMPARE(server.received("USER"), 1);
        QCOMPARE(server.received("DELE"), 0);
        QCOMPARE(f.messages.size(), 1);
    }

    void serverTextGivesHostAndPort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        // The reading itself is checked row by row in tst_mailtarget; these show that the
        // check connects to what it reads, with its TLS mode, and not at all when it fails.
        QTest::newRow("no port") << "127.0.0.1" << true << "127.0.0.1" << 110;
        QTest::newRow("port given") << "127.0.0.1:1110" << true << "127.0.0.1" << 1110;
        QTest::newRow("IPv6 and port") << "[::1]:1110" << true << "::1" << 1110;
        QTest::newRow("pop3s://") << "pop3s://127.0.0.1" << true << "127.0.0.1" << 995;
        QTest::newRow("unknown scheme") << "imap://127.0.0.1" << false << "" << 0;
        QTest::newRow("port 0") << "127.0.0.1:0" << false << "" << 0;
    }
    void serverTextGivesHostAndPort()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, host);
        QFETCH(int, port);
        ProgramFixture f;
        startProgram(f);
        Ostiva_Form->POP->setTimeouts(2000, 2000);
        Ostiva_Form->POP->setHost("previo");
        Ostiva_Form->Cartero(kUser, kPassword, text);
        if (valid) {
            QCOMPARE(Ostiva_Form->POP->host(), host);
            QCOMPARE(int(Ostiva_Form->POP->port()), port);
            // 995 is POP3S whether it is written with pop3s:// or as a port.
            QCOMPARE(Ostiva_Form->POP->tls() == MailTarget::Tls::Implicit, port == 995);
            QVERIFY(Ostiva_Form->CorreoEnCurso());
        } else {
            QCOMPARE(Ostiva_Form->POP->host(), QString("previo"));
            QVERIFY(!Ostiva_Form->CorreoEnCurso());
        }
        WAIT_CHECK_DONE();
        // Nothing answers POP3 at any of them: each ends in the error box.
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.at(0).text, kErrorText);
    }

    // The minute timer counts towards the interval; the check's entry sets the count to 1.
    void checkCadence_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QList<int>>("checks");
        QTest::newRow("5") << 5 << 17 << QList<int>{5, 9, 13, 17};
        QTest::newRow("3") << 3 << 8 << QList<int>{3, 5, 7};
        QTest::newRow("2") << 2 << 5 << QList<int>{2, 3, 4, 5};
        QTest::newRow("1") << 1 << 4 << QList<int>{1, 2, 3, 4};
        QTest::newRow("0") << 0 << 3 << QList<int>{1, 2, 3};
    }
    void checkCadence()
    {
        QFETCH(int, interval);
        QFETCH(int, ticks);
        QFETCH(QList<int>, checks);
        FakePop3 server;
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());
        IntervaloCorreo = interval;
        ContadorCorreo = 0;

        QList<int> checked;
        for (int tick = 1; tick <= ticks; ++tick) {
            const int before = server.connections;
            Ostiva_Form->Timer1Timer();
            WAIT_CHECK_DONE();
            if (server.connections > before)
                checked << tick;
        }
        QCOMPARE(checked, checks);
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
    }

    // Just after a wake-up a failed check is tried again once, 30 s later, and only the
    // retry's failure shows the box; outside that window a failure shows it at once.
    void failureJustAfterAWakeUpIsRetriedOnce_data()
    {
        QTest::addColumn<QString>("wake");     // "logind", "clock" or "none"
        QTest::addColumn<int>("secondsLater"); // from the wake-up to the check
        QTest::addColumn<bool>("retryWorks");
        QTest::addColumn<bool>("retried");
        QTest::newRow("logind, the retry finds mail") << "logind" << 0 << true << true;
        QTest::newRow("logind, the retry fails too") << "logind" << 0 << false << true;
        QTest::newRow("the clock ran ahead") << "clock" << 0 << true << true;
        QTest::newRow("60 s after the wake-up") << "logind" << 60 << true << true;
        QTest::newRow("61 s after the wake-up") << "logind" << 61 << true << false;
        QTest::newRow("no wake-up") << "none" << 0 << true << false;
    }
    void failureJustAfterAWakeUpIsRetriedOnce()
    {
        QFETCH(QString, wake);
        QFETCH(int, secondsLater);
        QFETCH(bool, retryWorks);
        QFETCH(bool, retried);
        Script down;
        down.pass = "-ERR sin red";
        FakePop3 server({down, retryWorks ? statReply("+OK 2 300") : down});
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());
        IntervaloCorreo = 1000; // no check from the tick itself
        LogCapture log;
        if (wake == QLatin1String("logind"))
            Ostiva_Form->MailChecker->wokeUp();
        else if (wake == QLatin1String("clock")) {
            Clock::setWallClock(Clock::now().addSecs(3600));
            Ostiva_Form->Timer1Timer();
        }
        Clock::advance(secondsLater);
        QTimer* retry = Ostiva_Form->MailChecker->retryTimer();

        comprobar();
        WAIT_CHECK_DONE();
        QCOMPARE(server.connections, 1);
        QCOMPARE(retry->isActive(), retried);
        QCOMPARE(f.messages.size(), retried ? 0 : 1);
        if (!retried)
            return;
        QCOMPARE(retry->interval(), 30000);
        QCOMPARE(log.texts("pennaro.mail", QtInfoMsg), QStringList{"Recién reanudado el equipo: se reintenta en 30 s"});

        Clock::advance(30);
        retry->start(0);
        QTRY_COMPARE(server.connections, 2);
        WAIT_CHECK_DONE();
        QVERIFY(!retry->isActive()); // once only
        QCOMPARE(f.messageTexts(), retryWorks ? QStringList() : QStringList{kErrorText});
        QCOMPARE(Correo_Form->isVisible(), retryWorks);
        if (retryWorks)
            QCOMPARE(Correo_Form->Label1->text(), QStringLiteral("2"));
    }

    // A check whose password comes from the keyring and could not be read just after a
    // wake-up asks the keyring again for its retry: it never logs in with an older or an
    // empty password.
    void keyringCheckRetriedAfterAWakeUpAsksAgain()
    {
        FakePop3 server({statReply("+OK 1 100")});
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());
        Ostiva_Form->EditMail1Pass()->setText(QString());
        IntervaloCorreo = 1000;
        Ostiva_Form->MailChecker->wokeUp();
        int asked = 0;
        auto fetch = [&asked](MailCheck::PasswordAnswer answer) {
            ++asked;
            if (asked == 1)
                answer(false, QStringLiteral("el depósito de claves está bloqueado"));
            else
                answer(true, QStringLiteral("s3cret"));
        };
        Ostiva_Form->MailChecker->runWhenPassword(kUser, server.server(), fetch);
        QTimer* retry = Ostiva_Form->MailChecker->retryTimer();
        QVERIFY(retry->isActive());
        QCOMPARE(server.connections, 0);
        QVERIFY(f.messages.isEmpty());

        retry->start(0);
        QTRY_COMPARE(server.connections, 1);
        WAIT_CHECK_DONE();
        QCOMPARE(asked, 2);
        QVERIFY(server.lines.contains("PASS s3cret"));
        QVERIFY(!retry->isActive());
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messageTexts().join('|')));
    }

    // A check falling due while the notice shows is skipped and counting starts again.
    void noticeShowingSkipsCheck()
    {
        FakePop3 server;
        ProgramFixture f;
        startProgram(f);
        setAccount(server.server());
        IntervaloCorreo = 3;
        ContadorCorreo = 2;
        Correo_Form->show();

        Ostiva_Form->Timer1Timer();
        QCOMPARE(ContadorCorreo, 0);
        QVERIFY(!Ostiva_Form->CorreoEnCurso());
        Correo_Form->hide();
        for (int tick = 1; tick <= 2; ++tick) {
            Ostiva_Form->Timer1Timer();
            QCOMPARE(ContadorCorreo, tick);
        }
        QVERIFY(!Ostiva_Form->CorreoEnCurso());
        Ostiva_Form->Timer1Timer();
        QVERIFY(Ostiva_Form->CorreoEnCurso());
        WAIT_CHECK_DONE();
        QCOMPARE(server.connections, 1);
    }

    void noticeButtons_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("counter");
        QTest::addColumn<bool>("started");
        QTest::newRow("&Correo") << "correo" << kProgram << 0 << true;
        QTest::newRow("&Correo without a program") << "correo"
                                                   << "" << 0 << true;
        QTest::newRow("C&ancelar") << "cancelar" << kProgram << 0 << false;
        QTest::newRow("close box") << "close" << kProgram << 4 << false;
        QTest::newRow("Esc") << "escape" << kProgram << 4 << false;
    }
    void noticeButtons()
    {
        QFETCH(QString, action);
        QFETCH(QString, program);
        QFETCH(int, counter);
        QFETCH(bool, started);
        ProgramFixture f;
        startProgram(f);
        Ostiva_Form->EditPrograma()->setText(program);
        Correo_Form->show();
        ContadorCorreo = 4;

        if (action == "correo")
            Correo_Form->BitBtn1()->click();
        else if (action == "cancelar")
            Correo_Form->BitBtn2()->click();
        else if (action == "close")
            QVERIFY(Correo_Form->close());
        else
            QTest::keyClick(Correo_Form, Qt::Key_Escape);

        QVERIFY(!Correo_Form->isVisible());
        QCOMPARE(ContadorCorreo, counter);
        if (started) {
            QCOMPARE(f.startedPrograms.size(), 1);
            QCOMPARE(f.startedPrograms.at(0).first, program);
            QVERIFY(f.startedPrograms.at(0).second);
        } else {
            QVERIFY(f.startedPrograms.isEmpty());
        }
        QVERIFY(f.messages.isEmpty());

        // The window is only hidden: it can be shown again.
        Correo_Form->show();
        QVERIFY(Correo_Form->isVisible());
    }

    // Whole checks over TLS, trusting the test CA through the client's seam; and the
    // reason of each failure as the box's detailed text and in the log, once.
    void tlsCheck_data()
    {
        using Tls = Pop3TestServer::Tls;
        QTest::addColumn<Pop3TestServer::Script>("script");
        QTest::addColumn<QString>("server"); // "%1" stands for the port
        QTest::addColumn<QString>("reason"); // empty: the check finds mail
        Pop3TestServer::Script s;
        s.stat = "+OK 3 900";
        s.tls = Tls::Implicit;
        QTest::newRow("pop3s://") << s << "pop3s://localhost:%1"
                                  << "";
        s.tls = Tls::Stls;
        QTest::newRow("STLS") << s << "localhost:%1"
                              << "";
        s.tls = Tls::Implicit;
        s.cert = testcerts::Cert::Expired;
        QTest::newRow("expired certificate")
            << s << "pop3s://localhost:%1"
            << "El certificado del servidor de correo no es válido: caducó el 01/01/2001";
        s.tls = Tls::Stls;
        s.cert = testcerts::Cert::WrongName;
        QTest::newRow("certificate for another name")
            << s << "localhost:%1"
            << "El certificado del servidor de correo no es válido: es para mail.example.org, no para localhost";
        s.cert = testcerts::Cert::Good;
        s.stls = "-ERR no";
        QTest::newRow("STLS refused") << s << "localhost:%1"
                                      << "El servidor de correo ofreció STLS pero lo rechazó (no se envió la "
                                         "contraseña): -ERR no";
        QTest::newRow("server text not valid")
            << Pop3TestServer::Script() << "pop3s://:%1"
            << QStringLiteral("El servidor de correo «pop3s://:%1» no es válido: falta el nombre del servidor");
    }
    void tlsCheck()
    {
        QFETCH(Pop3TestServer::Script, script);
        QFETCH(QString, server);
        QFETCH(QString, reason);
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt no tiene TLS en esta máquina");
        Pop3Client::setExtraCaCertificates({testcerts::authority()});
        const auto untrust = qScopeGuard([] { Pop3Client::setExtraCaCertificates({}); });
        Pop3TestServer pop(script);
        QVERIFY(pop.listening());
        ProgramFixture f;
        startProgram(f);
        LogCapture log;
        setAccount(server.arg(pop.port()));

        comprobar();
        WAIT_CHECK_DONE();
        if (reason.isEmpty()) {
            QVERIFY2(f.messages.isEmpty(), qPrintable(f.messages.value(0).detailedText));
            QVERIFY(Correo_Form->isVisible());
            QCOMPARE(Correo_Form->Label1->text(), QString("3"));
            QVERIFY(log.texts("pennaro.mail").isEmpty());
            QVERIFY(pop.received("PASS"));
        } else {
            QCOMPARE(f.messages.size(), 1);
            QCOMPARE(f.messages.at(0).text, kErrorText);
            QCOMPARE(f.messages.at(0).detailedText, reason.arg(pop.port()));
            const QStringList logged = log.texts("pennaro.mail");
            QCOMPARE(logged, QStringList{"Error en la cuenta de correo ana.perez: " + reason.arg(pop.port())});
            QVERIFY(!pop.received("USER"));
            QVERIFY(!Correo_Form->isVisible());
        }
        // The password goes nowhere but an encrypted session.
        QVERIFY(!pop.received("PASS", true));
        for (const LogCapture::Entry& entry : log.entries)
            QVERIFY2(!entry.text.contains(kPassword), qPrintable(entry.text));
        for (const seams::MessageRequest& box : f.messages)
            QVERIFY(!box.detailedText.contains(kPassword));
    }

    // A server that once offered STLS is never again given the user name in clear, even
    // on another port; another server that never offered it keeps working in clear.
    // Emptying the server text and saving forgets it.
    void serverThatOfferedTlsStaysEncrypted()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt no tiene TLS en esta máquina");
        Pop3Client::setExtraCaCertificates({testcerts::authority()});
        const auto untrust = qScopeGuard([] { Pop3Client::setExtraCaCertificates({}); });
        Pop3TestServer::Script encrypted;
        encrypted.tls = Pop3TestServer::Tls::Stls;
        Pop3TestServer stls(encrypted);
        Pop3TestServer clear{Pop3TestServer::Script()};
        QVERIFY(stls.listening() && clear.listening());
        ProgramFixture f;
        startProgram(f);
        const auto check = [](const QString& server) {
            setAccount(server);
            comprobar();
            WAIT_CHECK_DONE();
        };

        check(clear.serverText()); // 127.0.0.1, never encrypted
        check(QStringLiteral("localhost:%1").arg(stls.port()));
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messages.value(0).detailedText));
        QCOMPARE(clear.received("PASS"), true);

        // The same host without STLS, as when someone strips it from the reply.
        const int userLines = clear.texts().count("USER " + kUser.toUtf8());
        check(QStringLiteral("localhost:%1").arg(clear.port()));
        QCOMPARE(f.messages.size(), 1);
        QVERIFY2(f.messages[0].detailedText.startsWith("El servidor de correo localhost ofreció cifrado"),
                 qPrintable(f.messages[0].detailedText));
        QCOMPARE(clear.texts().count("USER " + kUser.toUtf8()), userLines);

        // The way back: an empty server text saved, then the server again.
        Ostiva_Form->EditTiempo()->setText(QStringLiteral("5"));
        setAccount(QString());
        Ostiva_Form->BitBtn5Click();
        check(QStringLiteral("localhost:%1").arg(clear.port()));
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(clear.texts().count("USER " + kUser.toUtf8()), userLines + 1);
    }

    void noticeStandsTopRight()
    {
        ProgramFixture f;
        startProgram(f);
        QCOMPARE(Correo_Form->windowTitle(), QString("Aviso Correo"));
        QCOMPARE(Correo_Form->BitBtn1()->text(), QString("&Correo"));
        QCOMPARE(Correo_Form->BitBtn2()->text(), QString("C&ancelar"));
        QVERIFY(!Correo_Form->isModal());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const auto atTopRight = [&] {
            const QRect frame = Correo_Form->frameGeometry();
            return frame.right() == screen.right() && frame.top() == screen.top();
        };

        Correo_Form->show(); // also the first time
        QVERIFY(QTest::qWaitForWindowExposed(Correo_Form));
        QVERIFY(atTopRight());

        Correo_Form->move(10, 200);
        Correo_Form->hide();
        Correo_Form->show();
        QVERIFY(atTopRight());

        // Activation puts it back as well.
        Ostiva_Form->show();
        Ostiva_Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Ostiva_Form));
        Correo_Form->move(10, 200);
        QVERIFY(!atTopRight());
        Correo_Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Correo_Form));
        QTRY_VERIFY(atTopRight());
    }
};

QTEST_MAIN(TestMailCheck)
#include "tst_mailcheck.moc"
