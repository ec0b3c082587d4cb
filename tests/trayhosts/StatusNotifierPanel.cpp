#include "StatusNotifierPanel.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTest>

#include <csignal>

namespace {

constexpr int kWait = 60000;
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

QPair<QString, QString> serviceAndPath(const QString& item)
{
    const int slash = item.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {item, QStringLiteral("/StatusNotifierItem")};
    return {item.left(slash), item.mid(slash)};
}

QVariant unwrap(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

} // namespace

StatusNotifierPanel::~StatusNotifierPanel()
{
    if (!m_hostName.isEmpty())
        QDBusConnection::sessionBus().unregisterService(m_hostName);
    if (m_watcher.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_watcher.processId()), SIGTERM);
        m_watcher.waitForFinished(kWait);
    }
}

QDBusMessage StatusNotifierPanel::call(const QDBusMessage& message)
{
    QDBusPendingCallWatcher pending(QDBusConnection::sessionBus().asyncCall(message, kWait));
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, kWait + 1000)) {
        lastError = QStringLiteral("no answer to ") + message.member();
        return QDBusMessage();
    }
    const QDBusMessage reply = pending.reply();
    if (reply.type() == QDBusMessage::ErrorMessage)
        lastError = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return reply;
}

bool StatusNotifierPanel::startWatcher()
{
    m_watcher.start(QStringLiteral("status-notifier-watcher"), {});
    if (!m_watcher.waitForStarted(kWait))
        return false;
    // The watcher takes its name before it serves its object: ready once a question is answered.
    return QTest::qWaitFor(
        [this] {
            return watcherQuestion(QStringLiteral("IsStatusNotifierHostRegistered")).type() ==
                   QDBusMessage::ReplyMessage;
        },
        kWait);
}

QDBusMessage StatusNotifierPanel::watcherQuestion(const QString& property)
{
    QDBusMessage m = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m << kWatcher << property;
    return call(m);
}

bool StatusNotifierPanel::stopWatcher()
{
    if (m_watcher.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_watcher.processId()), SIGTERM);
        if (!m_watcher.waitForFinished(kWait))
            return false;
    }
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return QTest::qWaitFor([&] { return !bus->isServiceRegistered(kWatcher).value(); }, kWait);
}

bool StatusNotifierPanel::registerHost()
{
    if (m_hostName.isEmpty()) {
        m_hostName = QStringLiteral("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid());
        if (!QDBusConnection::sessionBus().registerService(m_hostName))
            return false;
    }
    QDBusMessage m =
        QDBusMessage::createMethodCall(kWatcher, kWatcherPath, kWatcher, QStringLiteral("RegisterStatusNotifierHost"));
    m << m_hostName;
    if (call(m).type() != QDBusMessage::ReplyMessage)
        return false;
    return QTest::qWaitFor([this] { return hostRegistered(); }, kWait);
}

bool StatusNotifierPanel::hostRegistered()
{
    return unwrap(watcherQuestion(QStringLiteral("IsStatusNotifierHostRegistered"))).toBool();
}

QStringList StatusNotifierPanel::items()
{
    return unwrap(watcherQuestion(QStringLiteral("RegisteredStatusNotifierItems"))).toStringList();
}

QDBusMessage StatusNotifierPanel::itemCall(const QString& item, const QString& interface, const QString& method,
                                           const QList<QVariant>& arguments)
{
    const auto [service, path] = serviceAndPath(item);
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(arguments);
    return call(m);
}

QVariant StatusNotifierPanel::itemProperty(const QString& item, const QString& interface, const QString& name)
{
    const auto [service, path] = serviceAndPath(item);
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
    m << interface << name;
    return unwrap(call(m));
}

bool StatusNotifierPanel::activate(const QString& item)
{
    return itemCall(item, kItemInterface, QStringLiteral("Activate"), {0, 0}).type() == QDBusMessage::ReplyMessage;
}

QList<StatusNotifierPanel::Entry> StatusNotifierPanel::menu(const QString& item)
{
    QList<Entry> entries;
    const QString menuPath = itemProperty(item, kItemInterface, QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    if (menuPath.isEmpty() || menuPath == QLatin1String("/NO_DBUSMENU")) {
        lastError = QStringLiteral("no menu exported: ") + menuPath;
        return entries;
    }
    const QString service = serviceAndPath(item).first;
    const QDBusMessage reply =
        itemCall(service + menuPath, kMenuInterface, QStringLiteral("GetLayout"), {0, 1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return entries;
    // (revision, (id, properties, [children as variants of (id, properties, children)]))
    const QDBusArgument root = reply.arguments().at(1).value<QDBusArgument>();
    int rootId = 0;
    QVariantMap rootProperties;
    root.beginStructure();
    root >> rootId >> rootProperties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const QDBusArgument node = child.variant().value<QDBusArgument>();
        Entry e;
        QVariantMap properties;
        node.beginStructure();
        node >> e.id >> properties;
        node.endStructure();
        e.separator = properties.value(QStringLiteral("type")).toString() == QLatin1String("separator");
        // dbusmenu writes the mnemonic mark as "_" (and a real underscore as "__").
        QString label = properties.value(QStringLiteral("label")).toString();
        label.replace(QLatin1String("__"), QStringLiteral("\x01"));
        label.replace(QLatin1Char('_'), QLatin1Char('&'));
        label.replace(QStringLiteral("\x01"), QStringLiteral("_"));
        e.label = label;
        if (properties.value(QStringLiteral("visible"), true).toBool())
            entries.append(e);
    }
    root.endArray();
    root.endStructure();
    return entries;
}

bool StatusNotifierPanel::click(const QString& item, int id)
{
    const QString menuPath = itemProperty(item, kItemInterface, QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    const QString service = serviceAndPath(item).first;
    const QDBusMessage reply =
        itemCall(service + menuPath, kMenuInterface, QStringLiteral("Event"),
                 {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))), 0u});
    return reply.type() == QDBusMessage::ReplyMessage;
}
