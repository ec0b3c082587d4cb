#include "platform/SleepWatcher.h"

#include "platform/DesktopBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace

SleepWatcher::SleepWatcher(QObject* parent) : QObject(parent)
{
    std::optional<QDBusConnection> bus = DesktopBus::system();
    if (!bus) {
        qCInfo(lcDesktop, "Sin bus del sistema: la reanudación se nota por el reloj en el siguiente minuto");
        return;
    }
    // The match holds even while logind is not running yet; a restart of logind keeps it.
    m_listening =
        bus->connect(kService, kPath, kInterface, QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    if (!m_listening)
        qCInfo(lcDesktop, "No se puede escuchar a logind: la reanudación se nota por el reloj en el siguiente minuto");
    else if (!bus->interface()->isServiceRegistered(kService))
        qCInfo(lcDesktop, "logind no está en el bus del sistema: la reanudación se nota por el reloj");
}

void SleepWatcher::prepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit wokeUp();
}
