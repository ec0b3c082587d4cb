#include "platform/TrayIcon.h"

#include "platform/TrayHostWatch.h"

#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {
int g_availableOverride = -1;
}

TrayIcon::TrayIcon(QObject* parent) : QObject(parent)
{
    if (g_availableOverride >= 0)
        return;
    m_hosts = new TrayHostWatch(this);
    m_appeared = m_hosts->present();
    connect(m_hosts, &TrayHostWatch::changed, this, &TrayIcon::hostsChanged);
}

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

void TrayIcon::setMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_icon && m_overDBus)
        m_icon->setContextMenu(menu);
}

bool TrayIcon::isAvailable() const
{
    if (g_availableOverride >= 0)
        return g_availableOverride == 1;
    return m_hosts && m_hosts->present();
}

void TrayIcon::setAvailableOverride(int available)
{
    g_availableOverride = available;
}

// QSystemTrayIcon decides between its D-Bus (StatusNotifierItem) and its X11 form when
// it is constructed, from the first answer the StatusNotifierWatcher gave this process,
// and keeps that answer for the whole run; QSystemTrayIcon::isSystemTrayAvailable() asks
// the same question. So nothing of Qt's tray is touched before TrayHostWatch has seen a
// host or an X11 tray: made after the host's registration, the icon is a
// StatusNotifierItem; made on an X11 tray's arrival, it docks there.
bool TrayIcon::createIcon()
{
    if (m_icon)
        return true;
    if (g_availableOverride >= 0) {
        // Forced answers (tests): a real icon only where Qt finds a tray.
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            return false;
    } else if (!m_hosts->present()) {
        return false;
    }
    m_overDBus = m_hosts && m_hosts->statusNotifierHost();
    m_icon = new QSystemTrayIcon(m_iconImage, this);
    m_icon->setToolTip(m_tip);
    // Over D-Bus the panel draws the menu itself; an X11 tray would pop Qt's copy of it
    // beside the one the listeners open for the right button.
    if (m_overDBus && m_menu)
        m_icon->setContextMenu(m_menu);
    // Queued: over D-Bus the activation arrives inside the panel's call, which must get its
    // answer before the icon (and its bus connection) may go away.
    connect(
        m_icon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
            case QSystemTrayIcon::DoubleClick:
                deliver(kLeftDoubleClick);
                break;
            case QSystemTrayIcon::Context:
                deliver(kRightButtonDown);
                break;
            case QSystemTrayIcon::Trigger:
                // A panel's primary click ("Activate") is what the double click is on X11.
                deliver(m_overDBus ? kLeftDoubleClick : kLeftButtonUp);
                break;
            case QSystemTrayIcon::MiddleClick:
                deliver(kMiddleButtonDown);
                break;
            default:
                break;
            }
        },
        Qt::QueuedConnection);
    return true;
}

void TrayIcon::add()
{
    if (m_shown)
        return;
    m_shown = true;
    if (!createIcon())
        return; // nothing to show it in; the state is still kept for the window's cycle
    m_icon->show();
    m_trayPresent = QSystemTrayIcon::isSystemTrayAvailable();
    followTrayRestarts();
}

void TrayIcon::followTrayRestarts()
{
    if (m_followsTrayEvents || QGuiApplication::platformName() != QLatin1String("xcb"))
        return; // a D-Bus icon registers again by itself when the watcher restarts
    // On X11 the platform plugin announces each change of the notification area's owner
    // (the tray looked up by the icon makes it watch), so the icon follows a restarted
    // panel without waking the program while idle. The native interface is a QObject whose
    // class is private to Qt, so only QObject's side of it is used, through the signal's name.
    auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
    if (native && connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this, SLOT(watchTray())))
        m_followsTrayEvents = true;
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

void TrayIcon::hostsChanged()
{
    if (!isAvailable())
        return;
    if (m_shown && !m_icon && createIcon()) {
        m_icon->show();
        m_trayPresent = true;
        followTrayRestarts();
    }
    if (!m_appeared) {
        m_appeared = true;
        emit appeared();
    }
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
