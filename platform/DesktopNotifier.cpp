#include "platform/DesktopNotifier.h"

#include "platform/DesktopBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAppName = QStringLiteral("Pennaro");
const QString kIcon = QStringLiteral("pennaro"); // the installed theme icon and desktop entry

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}
} // namespace

DesktopNotifier* DesktopNotifier::instance()
{
    static QPointer<DesktopNotifier> shared;
    if (!shared)
        shared = new DesktopNotifier(QCoreApplication::instance());
    return shared;
}

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

QString DesktopNotifier::escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// Connects to the service's signals and asks what it can do, once a session bus is there.
bool DesktopNotifier::connectBus()
{
    if (m_connected)
        return true;
    std::optional<QDBusConnection> bus = DesktopBus::session();
    if (!bus) {
        failed(QStringLiteral("no hay bus de sesión"));
        return false;
    }
    // Qt D-Bus takes signal receivers by their slot signature only.
    bus->connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(uint, QString)));
    bus->connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
                 SLOT(onActivationToken(uint, QString)));
    bus->connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
    auto* caps = new QDBusPendingCallWatcher(bus->asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(caps, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isValid())
            m_markup = reply.value().contains(QStringLiteral("body-markup"));
    });
    m_connected = true;
    return true;
}

void DesktopNotifier::show(const QString& name, const Notice& notice)
{
    if (!connectBus())
        return;
    Entry& entry = m_entries[name];
    entry.withdrawn = false;
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), kIcon);
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << kAppName << entry.id << kIcon << notice.summary << (m_markup ? escaped(notice.body) : notice.body)
            << notice.actions << hints << qint32(notice.timeoutMs);
    ++entry.pending;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, name](QDBusPendingCallWatcher* w) { answered(name, w); });
}

void DesktopNotifier::answered(const QString& name, QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    Entry& entry = m_entries[name];
    --entry.pending;
    const QDBusPendingReply<uint> reply = *call;
    if (!reply.isValid()) {
        failed(reply.error().message());
        return;
    }
    entry.id = reply.value();
    if (entry.withdrawn && entry.pending == 0) {
        close(entry.id);
        m_entries.remove(name);
    }
}

void DesktopNotifier::withdraw(const QString& name)
{
    const auto it = m_entries.find(name);
    if (it == m_entries.end())
        return;
    if (it->pending > 0) {
        it->withdrawn = true; // closed once the service has said which one it is
        return;
    }
    close(it->id);
    m_entries.erase(it);
}

void DesktopNotifier::close(uint id)
{
    if (id == 0)
        return;
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError())
            failed(w->error().message());
    });
}

QString DesktopNotifier::nameOf(uint id) const
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->id == id && id != 0)
            return it.key();
    return QString();
}

void DesktopNotifier::onActivationToken(uint id, const QString& token)
{
    if (!nameOf(id).isEmpty())
        m_tokens.insert(id, token);
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    const QString name = nameOf(id);
    if (name.isEmpty())
        return; // another program's notification
    // On Wayland the compositor lets a window come to the front only with the token the
    // service handed over for this click; Qt's Wayland shell reads it from the environment.
    const QString token = m_tokens.take(id);
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    emit activated(name, action);
}

void DesktopNotifier::onClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    m_tokens.remove(id);
    const QString name = nameOf(id);
    // A closed notification cannot be replaced any more: the next showing is a new one.
    if (!name.isEmpty() && m_entries.value(name).pending == 0)
        m_entries.remove(name);
}

void DesktopNotifier::failed(const QString& what)
{
    if (m_reported)
        return;
    m_reported = true;
    qCInfo(lcDesktop, "Sin avisos de escritorio (%s): solo se muestran las ventanas", qUtf8Printable(what));
}
