#include "platform/TrayIcon.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>

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
    const bool present = QSystemTrayIcon::isSystemTrayAvailable();
    if (!present && !m_icon)
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
    // Without a notification area at this moment the icon waits, shown, for one to come.
    m_icon->show();
    m_trayPresent = present;
    if (m_followsTrayEvents)
        return;
    // On X11 the platform plugin announces each change of the notification area's owner
    // (the tray looked up above makes it watch), so the icon follows a restarted panel
    // without waking the program while idle. Elsewhere it looks once a second.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // The native interface is a QObject; its class is private to Qt, so only QObject's
        // side of it is used, through the signal's name.
        auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
        if (native && connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this, SLOT(watchTray()))) {
            m_followsTrayEvents = true;
            return;
        }
    }
    if (!m_watch) {
        m_watch = new QTimer(this);
        m_watch->setInterval(1000);
        connect(m_watch, &QTimer::timeout, this, &TrayIcon::watchTray);
    }
    m_watch->start();
}

void TrayIcon::watchTray()
{
    const bool present = QSystemTrayIcon::isSystemTrayAvailable();
    if (present && !m_trayPresent && m_icon && m_shown) {
        // Shown again, the icon docks into the new notification area.
        m_icon->hide();
        m_icon->show();
    }
    m_trayPresent = present;
}

void TrayIcon::remove()
{
    m_shown = false;
    if (m_watch)
        m_watch->stop();
    if (m_icon)
        m_icon->hide();
}

void TrayIcon::deliver(int mouseMessage)
{
    emit message(mouseMessage);
}
