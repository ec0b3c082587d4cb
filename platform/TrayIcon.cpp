#include "platform/TrayIcon.h"

#include <QSystemTrayIcon>

namespace {
int g_availableOverride = -1;
}

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {}

TrayIcon::~TrayIcon()
{
    remove();
}

void TrayIcon::setIcon(const QIcon& icon)
{
    m_iconImage = icon;
    if (m_icon)
        m_icon->setIcon(icon);
}

void TrayIcon::setToolTip(const QString& tip)
{
    m_tip = tip;
    if (m_icon)
        m_icon->setToolTip(tip);
}

bool TrayIcon::isAvailable()
{
    if (g_availableOverride >= 0)
        return g_availableOverride == 1;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setAvailableOverride(int available)
{
    g_availableOverride = available;
}

void TrayIcon::add()
{
    if (m_shown)
        return;
    m_shown = true;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return; // nothing to show it in; the state is still kept for the window's cycle
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(m_iconImage, this);
        m_icon->setToolTip(m_tip);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
            case QSystemTrayIcon::DoubleClick:
                deliver(kLeftDoubleClick);
                break;
            case QSystemTrayIcon::Context:
                deliver(kRightButtonDown);
                break;
            case QSystemTrayIcon::Trigger:
                deliver(kLeftButtonUp);
                break;
            case QSystemTrayIcon::MiddleClick:
                deliver(kMiddleButtonDown);
                break;
            default:
                break;
            }
        });
    }
    m_icon->show();
}

void TrayIcon::remove()
{
    m_shown = false;
    if (m_icon)
        m_icon->hide();
}

void TrayIcon::deliver(int mouseMessage)
{
    emit message(mouseMessage);
}
