// The small window helpers every form shares: the dialog that closes only through its
// buttons.

#include "platform/ButtonClosedDialog.h"

#include <QPushButton>
#include <QtTest>

namespace {

using CloseBox = ButtonClosedDialog::CloseBox;

// A dialog with an accept and a cancel button; the cancel handler finishes the dialog
// unless told to refuse, as a cancel that cannot drop its record does.
class TwoButtonDialog : public ButtonClosedDialog
{
public:
    TwoButtonDialog(CloseBox closeBox, bool cancelFinishes)
    {
        accept = new QPushButton(QStringLiteral("Aceptar"), this);
        cancel = new QPushButton(QStringLiteral("Cancelar"), this);
        setCancelButton(cancel, closeBox);
        connect(accept, &QPushButton::clicked, this, [this] { finish(); });
        connect(cancel, &QPushButton::clicked, this, [this, cancelFinishes] {
            ++cancelPresses;
            if (cancelFinishes)
                finish();
        });
    }

    QPushButton* accept = nullptr;
    QPushButton* cancel = nullptr;
    int cancelPresses = 0;
};

} // namespace

class TestWindowHelpers : public QObject
{
    Q_OBJECT

private slots:
    void escapeAndCloseBox_data();
    void escapeAndCloseBox();
    void hiddenDialogClose_data();
    void hiddenDialogClose();
    void buttonsEndTheModalLoop();
};

void TestWindowHelpers::escapeAndCloseBox_data()
{
    QTest::addColumn<CloseBox>("closeBox");
    QTest::addColumn<bool>("cancelFinishes");
    QTest::addColumn<bool>("useCloseBox"); // else Escape
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("staysOpen");

    QTest::newRow("Escape pulsa cancelar") << CloseBox::PressesCancel << true << false << 1 << false;
    QTest::newRow("Escape, cancelar rehúsa") << CloseBox::PressesCancel << false << false << 1 << true;
    QTest::newRow("Escape con cierre ignorado") << CloseBox::Ignored << true << false << 1 << false;
    QTest::newRow("cierre pulsa cancelar") << CloseBox::PressesCancel << true << true << 1 << false;
    QTest::newRow("cierre, cancelar rehúsa") << CloseBox::PressesCancel << false << true << 1 << true;
    QTest::newRow("cierre ignorado") << CloseBox::Ignored << true << true << 0 << true;
}

void TestWindowHelpers::escapeAndCloseBox()
{
    QFETCH(CloseBox, closeBox);
    QFETCH(bool, cancelFinishes);
    QFETCH(bool, useCloseBox);
    QFETCH(int, presses);
    QFETCH(bool, staysOpen);

    TwoButtonDialog dialog(closeBox, cancelFinishes);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (useCloseBox)
        dialog.close();
    else
        QTest::keyClick(&dialog, Qt::Key_Escape);

    QCOMPARE(dialog.cancelPresses, presses);
    QCOMPARE(dialog.isVisible(), staysOpen);
    if (!staysOpen)
        QCOMPARE(dialog.result(), int(QDialog::Accepted)); // ended by the button, not rejected
}

// A close that reaches a hidden dialog (the application closing its windows) presses
// nothing; only the alert, whose close box does nothing, refuses it.
void TestWindowHelpers::hiddenDialogClose_data()
{
    QTest::addColumn<CloseBox>("closeBox");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("cierre pulsa cancelar") << CloseBox::PressesCancel << true;
    QTest::newRow("cierre ignorado") << CloseBox::Ignored << false;
}

void TestWindowHelpers::hiddenDialogClose()
{
    QFETCH(CloseBox, closeBox);
    QFETCH(bool, accepted);
    TwoButtonDialog dialog(closeBox, true);
    QCOMPARE(dialog.close(), accepted);
    QCOMPARE(dialog.cancelPresses, 0);
}

void TestWindowHelpers::buttonsEndTheModalLoop()
{
    TwoButtonDialog dialog(CloseBox::PressesCancel, false);
    int closeBoxAnswer = -1;
    QTimer::singleShot(0, &dialog, [&] {
        // Refused by the cancel handler: the modal loop goes on until a button ends it.
        closeBoxAnswer = dialog.close() ? 1 : 0;
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.accept->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(closeBoxAnswer, 0);
    QCOMPARE(dialog.cancelPresses, 2);
}

QTEST_MAIN(TestWindowHelpers)
#include "tst_windowhelpers.moc"
