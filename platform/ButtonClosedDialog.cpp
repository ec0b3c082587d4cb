#include "platform/ButtonClosedDialog.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QScopeGuard>

ButtonClosedDialog::ButtonClosedDialog(QWidget* parent) : QDialog(parent) {}

void ButtonClosedDialog::setCancelButton(QAbstractButton* button, CloseBox closeBox)
{
    m_cancel = button;
    m_closeBox = closeBox;
}

void ButtonClosedDialog::finish()
{
    m_finishing = true;
    const auto reset = qScopeGuard([this] { m_finishing = false; });
    done(QDialog::Accepted);
}

void ButtonClosedDialog::reject()
{
    if (m_finishing || !m_cancel) {
        QDialog::reject();
        return;
    }
    m_cancel->click();
}

void ButtonClosedDialog::closeEvent(QCloseEvent* event)
{
    if (m_finishing) {
        QDialog::closeEvent(event);
        return;
    }
    if (m_closeBox == CloseBox::Ignored) {
        event->ignore();
        return;
    }
    // A hidden dialog has nothing to cancel.
    if (!isVisible()) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    if (m_cancel)
        m_cancel->click();
}
