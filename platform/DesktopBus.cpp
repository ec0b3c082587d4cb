#include "platform/DesktopBus.h"

#include <QDBusConnection>
#include <QFileInfo>

Q_LOGGING_CATEGORY(lcDesktop, "pennaro.desktop", QtInfoMsg)

namespace DesktopBus {

std::optional<QDBusConnection> session()
{
    // Qt would otherwise try to launch a bus of its own on an X display.
    const bool known = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
                       (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") &&
                        QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus")).exists());
    if (!known)
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    return bus;
}

std::optional<QDBusConnection> system()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return std::nullopt;
    return bus;
}

} // namespace DesktopBus
