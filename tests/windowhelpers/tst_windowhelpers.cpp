// The small window helpers every form shares: the dialog that closes only through its
// buttons, and the guarded connection whose errors reach the standard error box.

#include "core/Error.h"
#include "platform/ButtonClosedDialog.h"
#include "platform/Guard.h"
#include "platform/Seams.h"

#include <QPushButton>
#include <QtTest>

#include <stdexcept>

class Emitter : public QObject
{
    Q_OBJECT
signals:
    void fired(int number, const QString& text);
};

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

// A form's handlers: one takes the signal's arguments, one none; both raise when told.
class Form : public QObject
{
public:
    void withArguments(int number, const QString& text)
    {
        calls << QStringLiteral("%1 %2").arg(number).arg(text);
        if (number < 0)
            throw PennaroError(QStringLiteral("Número negativo: %1").arg(number));
    }
    void withoutArguments()
    {
        calls << QStringLiteral("sin argumentos");
        if (raise)
            throw std::runtime_error("fallo");
    }
    QStringList calls;
    bool raise = false;
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
    void guardedConnections();

private:
    QStringList m_boxes;
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

void TestWindowHelpers::guardedConnections()
{
    seams::setMessageHandler([this](const seams::MessageRequest& request) {
        m_boxes << request.caption + QLatin1Char('|') + request.text;
        return QMessageBox::Ok;
    });
    const auto restore = qScopeGuard([] { seams::setMessageHandler({}); });

    Emitter emitter;
    Form form;
    QStringList lambdaCalls;
    connectGuarded(&emitter, &Emitter::fired, &form, &Form::withArguments);
    connectGuarded(&emitter, &Emitter::fired, &form, &Form::withoutArguments);
    connectGuarded(&emitter, &Emitter::fired, &form, [&](int number) {
        lambdaCalls << QString::number(number);
        if (number == 0)
            throw ConversionError(QStringLiteral("cero"));
    });

    emit emitter.fired(3, QStringLiteral("tres"));
    QCOMPARE(form.calls, QStringList({"3 tres", "sin argumentos"}));
    QCOMPARE(lambdaCalls, QStringList({"3"}));
    QVERIFY(m_boxes.isEmpty());

    // Each handler's error is its own box; the handlers after it still run, and so does
    // the next emission.
    form.raise = true;
    emit emitter.fired(-1, QStringLiteral("menos uno"));
    emit emitter.fired(0, QStringLiteral("cero"));
    QCOMPARE(form.calls,
             QStringList({"3 tres", "sin argumentos", "-1 menos uno", "sin argumentos", "0 cero", "sin argumentos"}));
    QCOMPARE(lambdaCalls, QStringList({"3", "-1", "0"}));
    QCOMPARE(m_boxes, QStringList({"Pennaro 2.0|Número negativo: -1.", "Pennaro 2.0|fallo.", "Pennaro 2.0|fallo.",
                                   "Pennaro 2.0|cero."}));
}

QTEST_MAIN(TestWindowHelpers)
#include "tst_windowhelpers.moc"
