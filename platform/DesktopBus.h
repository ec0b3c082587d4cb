#pragma once
// The D-Bus connections the desktop services use, and their log category. Without a
// session bus the program does not start one: a bus launched for it alone would carry no
// desktop service.

#include <QLoggingCategory>
#include <optional>

class QDBusConnection;

Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

namespace DesktopBus {

// The user's session bus, when it has one (an address in the environment, or the socket
// of the session in the runtime folder); none otherwise, without launching one.
std::optional<QDBusConnection> session();
// The system bus, when it can be reached.
std::optional<QDBusConnection> system();

} // namespace DesktopBus
