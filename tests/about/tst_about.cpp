// The about box: its key buffer and the two words, the dialog keys that never reach it,
// the logo and its failures, placement, and the data lookup of an installed tree.

#include "support/ProgramFixture.h"

#include "app/Ostiva_Unit.h"
#include "common/Acerca_Unit.h"
#include "platform/JpegImage.h"
#include "platform/SoundPlayer.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {

const QUrl kWeb(QStringLiteral("http://www.pennaro.example"));

const QMap<QString, Qt::Key>& namedKeys()
{
    static const QMap<QString, Qt::Key> keys{
        {"Shift", Qt::Key_Shift}, {"Ctrl", Qt::Key_Control}, {"Alt", Qt::Key_Alt},        {"Esc", Qt::Key_Escape},
        {"Tab", Qt::Key_Tab},     {"Enter", Qt::Key_Return}, {"Left", Qt::Key_Left},      {"Right", Qt::Key_Right},
        {"Up", Qt::Key_Up},       {"Down", Qt::Key_Down},    {"Back", Qt::Key_Backspace}, {"F5", Qt::Key_F5}};
    return keys;
}

// Types on the widget: plain characters as they come, <Name> for a named key, <S-x> for the
// letter x arriving with Shift already held (no Shift press of its own).
void type(QWidget* w, const QString& keys)
{
    for (int i = 0; i < keys.size(); ++i) {
        if (keys[i] != QLatin1Char('<')) {
            QTest::keyClick(w, keys[i].toLatin1());
            continue;
        }
        const int end = keys.indexOf(QLatin1Char('>'), i);
        const QString name = keys.mid(i + 1, end - i - 1);
        i = end;
        if (name.startsWith(QLatin1String("S-"))) {
            const QChar letter = name.at(2).toUpper();
            const auto key = Qt::Key(Qt::Key_A + (letter.unicode() - 'A'));
            QKeyEvent press(QEvent::KeyPress, key, Qt::ShiftModifier, QString(letter));
            QKeyEvent release(QEvent::KeyRelease, key, Qt::ShiftModifier, QString(letter));
            QApplication::sendEvent(w, &press);
            QApplication::sendEvent(w, &release);
        } else {
            QVERIFY2(namedKeys().contains(name), qPrintable(name));
            QTest::keyClick(w, namedKeys().value(name));
        }
    }
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowLook();
    void words_data();
    void words();
    void bufferOutlivesWindow_data();
    void bufferOutlivesWindow();
    void tabLeavesBufferAlone();
    void escapeOnlyCounts();
    void keyCodes_data();
    void keyCodes();
    void logoAtItsOwnSize();
    void badLogoInProgramFolder_data();
    void badLogoInProgramFolder();
    void centredFirstThenWhereLeft();
    void dataBesideInstalledProgram_data();
    void dataBesideInstalledProgram();

private:
    void start();
    void open() { Ostiva_Form->Acerca1->trigger(); }
    QPushButton* button() const { return Acerca_Form->OKButton(); }
    // Six digits push any earlier keys out of the run-wide buffer.
    void flush() { type(button(), QStringLiteral("000000")); }

    std::unique_ptr<ProgramFixture> m_fx;
};

void TestAbout::init()
{
    m_fx = std::make_unique<ProgramFixture>();
}

void TestAbout::cleanup()
{
    m_fx.reset();
}

void TestAbout::start()
{
    m_fx->createProgram();
    QVERIFY(Acerca_Form);
    QVERIFY(!Acerca_Form->isVisible());
    open();
    QVERIFY(Acerca_Form->isVisible());
    flush();
    QCOMPARE(TAcerca_Form::keyBuffer(), QByteArray("000000"));
    m_fx->openedUrls.clear();
}

void TestAbout::windowLook()
{
    start();
    QCOMPARE(Acerca_Form->windowTitle(), QStringLiteral("Acerca"));
    const Qt::WindowFlags flags = Acerca_Form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(Acerca_Form->minimumSize(), Acerca_Form->maximumSize());

    auto* name = Acerca_Form->findChild<QLabel*>("ProductName");
    auto* version = Acerca_Form->findChild<QLabel*>("Version");
    QVERIFY(name && version);
    QCOMPARE(name->text(), QStringLiteral("Pennaro"));
    QVERIFY(name->font().bold());
    QCOMPARE(version->text(), QString::fromUtf8("Versión 2.0 28/10/2004"));
    QStringList texts;
    for (auto* label : Acerca_Form->findChildren<QLabel*>())
        texts << label->text();
    QVERIFY(texts.contains("info@pennaro.example"));
    QVERIFY(texts.contains("http://www.pennaro.example"));

    QCOMPARE(button()->text(), QStringLiteral("&Aceptar"));
    QVERIFY(button()->isDefault());
    QVERIFY(QTest::qWaitForWindowActive(Acerca_Form));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button()));

    button()->click();
    QVERIFY(!Acerca_Form->isVisible());
    QVERIFY(m_fx->openedUrls.isEmpty());
}

void TestAbout::words_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("opened");

    QTest::newRow("PENNAR entera") << "pennar" << 1;
    QTest::newRow("AGENDA entera") << "agenda" << 1;
    QTest::newRow("escrita en mayúsculas") << "AGENDA" << 1;
    QTest::newRow("con Mayús sostenida") << "<S-p><S-e>nn<S-a>r" << 1;
    QTest::newRow("Mayús pulsada entre dos letras") << "pen<Shift>nar" << 0;
    QTest::newRow("Ctrl pulsada entre dos letras") << "age<Ctrl>nda" << 0;
    QTest::newRow("Alt pulsada entre dos letras") << "agen<Alt>da" << 0;
    QTest::newRow("Retroceso no borra, cuenta") << "pennx<Back>ar" << 0;
    QTest::newRow("F5 entre dos letras") << "pen<F5>nar" << 0;
    QTest::newRow("siete letras, las seis últimas una palabra") << "xpennar" << 1;
    QTest::newRow("dos veces seguidas") << "pennarpennar" << 2;
    QTest::newRow("una letra más tras la palabra") << "agendaa" << 1;
    QTest::newRow("la palabra y otra vez su final") << "pennarnar" << 1;
    QTest::newRow("cinco letras") << "penna" << 0;
    QTest::newRow("otra palabra de seis") << "agendo" << 0;
    QTest::newRow("flechas entre letras") << "pe<Left>n<Up>n<Right>a<Down>r" << 1;
}

void TestAbout::words()
{
    QFETCH(QString, keys);
    QFETCH(int, opened);
    start();

    type(button(), keys);
    QCOMPARE(m_fx->openedUrls.size(), opened);
    for (const QUrl& url : m_fx->openedUrls)
        QCOMPARE(url, kWeb);
    QVERIFY(Acerca_Form->isVisible());
}

void TestAbout::bufferOutlivesWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("con el ratón") << "raton";
    QTest::newRow("con Intro") << "intro";
    QTest::newRow("con el cierre de la ventana") << "cierre";
}

void TestAbout::bufferOutlivesWindow()
{
    QFETCH(QString, how);
    start();

    type(button(), "pen");
    if (how == "raton")
        QTest::mouseClick(button(), Qt::LeftButton);
    else if (how == "intro")
        QTest::keyClick(button(), Qt::Key_Return);
    else
        Acerca_Form->close();
    QVERIFY(!Acerca_Form->isVisible());
    QCOMPARE(TAcerca_Form::keyBuffer(), QByteArray("000PEN"));

    open();
    QVERIFY(Acerca_Form->isVisible());
    type(button(), "nar");
    QCOMPARE(m_fx->openedUrls, QList<QUrl>{kWeb});

    // The buffer belongs to the run, not to the window: a new about box carries on from it.
    m_fx->destroyProgram();
    m_fx->createProgram();
    open();
    type(button(), "p");
    QCOMPARE(TAcerca_Form::keyBuffer(), QByteArray("ENNARP"));
}

void TestAbout::tabLeavesBufferAlone()
{
    start();
    QVERIFY(QTest::qWaitForWindowActive(Acerca_Form));

    type(button(), "age");
    QTest::keyClick(button(), Qt::Key_Tab);
    QTest::keyClick(button(), Qt::Key_Backtab);
    QCOMPARE(TAcerca_Form::keyBuffer(), QByteArray("000AGE"));
    button()->setFocus();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button()));
    type(button(), "nda");
    QCOMPARE(m_fx->openedUrls, QList<QUrl>{kWeb});
}

void TestAbout::escapeOnlyCounts()
{
    // No cancel button: Esc adds its code and leaves the window open.
    start();
    type(button(), "<Esc>");
    QVERIFY(Acerca_Form->isVisible());
    QCOMPARE(TAcerca_Form::keyBuffer(), QByteArray("00000\x1b"));
}

void TestAbout::keyCodes_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("code");

    const int none = Qt::NoModifier;
    QTest::newRow("letra") << int(Qt::Key_Q) << none << 0x51;
    QTest::newRow("letra con Mayús") << int(Qt::Key_Q) << int(Qt::ShiftModifier) << 0x51;
    QTest::newRow("letra con Ctrl") << int(Qt::Key_Z) << int(Qt::ControlModifier) << 0x5A;
    QTest::newRow("cifra") << int(Qt::Key_7) << none << 0x37;
    QTest::newRow("cifra del teclado numérico") << int(Qt::Key_7) << int(Qt::KeypadModifier) << 0x67;
    QTest::newRow("Mayús") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << 0x10;
    QTest::newRow("Ctrl") << int(Qt::Key_Control) << int(Qt::ControlModifier) << 0x11;
    QTest::newRow("Alt") << int(Qt::Key_Alt) << int(Qt::AltModifier) << 0x12;
    QTest::newRow("Esc") << int(Qt::Key_Escape) << none << 0x1B;
    QTest::newRow("espacio") << int(Qt::Key_Space) << none << 0x20;
    QTest::newRow("Retroceso") << int(Qt::Key_Backspace) << none << 0x08;
    QTest::newRow("Supr") << int(Qt::Key_Delete) << none << 0x2E;
    QTest::newRow("F1") << int(Qt::Key_F1) << none << 0x70;
    QTest::newRow("F12") << int(Qt::Key_F12) << none << 0x7B;
    QTest::newRow("Ñ") << int(Qt::Key_Ntilde) << none << 0xC0;
    QTest::newRow("sin código") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 0xFF;
    QTest::newRow("Intro") << int(Qt::Key_Return) << none << -1;
    QTest::newRow("Intro del teclado numérico") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << -1;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << none << -1;
    QTest::newRow("Mayús+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << -1;
    QTest::newRow("flecha izquierda") << int(Qt::Key_Left) << none << -1;
    QTest::newRow("flecha abajo del teclado numérico") << int(Qt::Key_Down) << int(Qt::KeypadModifier) << -1;
}

void TestAbout::keyCodes()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, code);
    const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(TAcerca_Form::virtualKeyCode(event), code);
}

void TestAbout::logoAtItsOwnSize()
{
    start();
    QLabel* icon = Acerca_Form->ProgramIcon();
    const QPixmap shown = icon->pixmap();
    QCOMPARE(shown.size(), QSize(145, 62));
    QCOMPARE(icon->size(), QSize(145, 62));
    const QImage expected = JpegImage::decode(QStringLiteral(ABOUT_LOGO_SOURCE));
    QVERIFY(!expected.isNull());
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_RGB888), expected.convertToFormat(QImage::Format_RGB888));
}

void TestAbout::badLogoInProgramFolder_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QFile logo(QStringLiteral(ABOUT_LOGO_SOURCE));
    QVERIFY(logo.open(QIODevice::ReadOnly));
    const QByteArray good = logo.readAll();

    QTest::newRow("vacío") << QByteArray();
    QTest::newRow("no es una imagen") << QByteArray("esto no es un JPEG");
    QTest::newRow("cortado por la mitad") << good.left(good.size() / 2);
    QByteArray damaged = good;
    for (int i = good.size() / 3; i < good.size() / 3 + 64; ++i)
        damaged[i] = char(0xFF);
    QTest::newRow("dañado por dentro") << damaged;
}

void TestAbout::badLogoInProgramFolder()
{
    QFETCH(QByteArray, bytes);
    // The program folder wins the lookup over the good logo beside the executable.
    QFile bad(m_fx->home() + QStringLiteral("logo.jpg"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(bytes);
    bad.close();

    start();
    QVERIFY(Acerca_Form->ProgramIcon()->pixmap().isNull());
    QVERIFY(m_fx->messages.isEmpty());
    // The rest of the box works as ever.
    type(button(), "pennar");
    QCOMPARE(m_fx->openedUrls, QList<QUrl>{kWeb});
    button()->click();
    QVERIFY(!Acerca_Form->isVisible());
}

void TestAbout::centredFirstThenWhereLeft()
{
    start();
    const QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QPoint offCentre = Acerca_Form->frameGeometry().center() - screen->geometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));

    const QPoint left(37, 41);
    Acerca_Form->move(left);
    button()->click();
    QVERIFY(!Acerca_Form->isVisible());
    open();
    QCOMPARE(Acerca_Form->pos(), left);
    Acerca_Form->close();
    open();
    QCOMPARE(Acerca_Form->pos(), left);
}

void TestAbout::dataBesideInstalledProgram_data()
{
    QTest::addColumn<bool>("besideExe");
    QTest::addColumn<bool>("inShare");
    QTest::addColumn<QString>("expected");
    QTest::newRow("sólo en ../share/pennaro") << false << true << "share";
    QTest::newRow("junto al ejecutable gana") << true << true << "exe";
    QTest::newRow("en ninguna parte") << false << false << "";
}

void TestAbout::dataBesideInstalledProgram()
{
    QFETCH(bool, besideExe);
    QFETCH(bool, inShare);
    QFETCH(QString, expected);

    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString shareDir = QDir::cleanPath(exeDir + QStringLiteral("/../share/pennaro"));
    const QStringList folders = SoundPlayer::searchFolders();
    const int exeAt = folders.indexOf(exeDir);
    const int shareAt = folders.indexOf(shareDir);
    QVERIFY(exeAt >= 0 && shareAt == exeAt + 1);
    QCOMPARE(folders.indexOf(QStringLiteral(PENNARO_DATA_DIR)), shareAt + 1);

    // A name of this run only; the folders are in the build tree and are tidied afterwards.
    const QString name = QStringLiteral("dato-%1.wav").arg(QCoreApplication::applicationPid());
    const bool madeShare = !QDir(shareDir).exists();
    QVERIFY(QDir().mkpath(shareDir));
    auto tidy = qScopeGuard([&] {
        QFile::remove(exeDir + QLatin1Char('/') + name);
        QFile::remove(shareDir + QLatin1Char('/') + name);
        if (madeShare) {
            QDir().rmdir(shareDir);
            QDir().rmdir(QFileInfo(shareDir).path());
        }
    });
    auto place = [&](const QString& dir) {
        QFile f(dir + QLatin1Char('/') + name);
        return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
    };
    if (besideExe)
        QVERIFY(place(exeDir));
    if (inShare)
        QVERIFY(place(shareDir));

    const QString found = SoundPlayer::locate(name);
    if (expected.isEmpty())
        QCOMPARE(found, QString());
    else
        QCOMPARE(QFileInfo(found).path(), expected == "exe" ? exeDir : shareDir);
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
