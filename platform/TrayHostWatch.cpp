#include "platform/TrayHostWatch.h"

#include "platform/DesktopBus.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <memory>

Q_LOGGING_CATEGORY(lcTray, "pennaro.tray", QtInfoMsg)

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int kStartAnswerMs = 2000; // the first answer is waited for; a hung watcher must not hang start-up

QDBusMessage hostQuestion()
{
    QDBusMessage m = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m << kWatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    // Asking must not start a watcher that the desktop does not run.
    m.setAutoStartService(false);
    return m;
}

bool registeredIn(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

xcb_connection_t* xcbConnection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* c, const QByteArray& name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, false, uint16_t(name.size()), name.constData()), nullptr), &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

TrayHostWatch::TrayHostWatch(QObject* parent) : QObject(parent)
{
    watchStatusNotifier();
    watchXembed();
}

TrayHostWatch::~TrayHostWatch()
{
    if (m_filtering && QAbstractEventDispatcher::instance())
        QAbstractEventDispatcher::instance()->removeNativeEventFilter(this);
}

QByteArray TrayHostWatch::traySelectionName(const QByteArray& display)
{
    int screen = 0;
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot >= 0) {
        bool ok = false;
        const int n = display.mid(dot + 1).toInt(&ok);
        if (ok && n >= 0)
            screen = n;
    }
    return "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
}

// --- StatusNotifierItem host ----------------------------------------------------

void TrayHostWatch::watchStatusNotifier()
{
    const std::optional<QDBusConnection> session = DesktopBus::session();
    if (!session) {
        qCInfo(lcTray, "Sin bus de sesión: no se buscan paneles StatusNotifierItem");
        return;
    }
    QDBusConnection bus = *session;
    auto* services = new QDBusServiceWatcher(kWatcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(services, &QDBusServiceWatcher::serviceRegistered, this, &TrayHostWatch::askHost);
    connect(services, &QDBusServiceWatcher::serviceUnregistered, this, &TrayHostWatch::watcherGone);
    // Subscribed by service name, the signals follow whichever process owns the watcher.
    bus.connect(kWatcherService, kWatcherPath, kWatcherInterface, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(askHost()));
    bus.connect(kWatcherService, kWatcherPath, kWatcherInterface, QStringLiteral("StatusNotifierHostUnregistered"),
                this, SLOT(askHost()));
    // The answer at start is needed before the main window decides how to show itself.
    const QDBusMessage reply = bus.call(hostQuestion(), QDBus::Block, kStartAnswerMs);
    m_host = registeredIn(reply);
    // No watcher at all is the ordinary case of a desktop without such a panel.
    const QString error = reply.errorName();
    if (reply.type() == QDBusMessage::ErrorMessage &&
        error != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") &&
        error != QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        qCInfo(lcTray, "El vigilante de StatusNotifierItem no respondió: %s", qUtf8Printable(reply.errorMessage()));
}

void TrayHostWatch::askHost()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(hostQuestion()), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        hostAnswered(registeredIn(call->reply()));
    });
}

void TrayHostWatch::hostAnswered(bool registered)
{
    if (registered == m_host)
        return;
    m_host = registered;
    emit changed();
}

void TrayHostWatch::watcherGone()
{
    hostAnswered(false);
}

// --- X11 tray -------------------------------------------------------------------

void TrayHostWatch::watchXembed()
{
    xcb_connection_t* c = xcbConnection();
    if (!c)
        return;
    m_selectionAtom = internAtom(c, traySelectionName(qgetenv("DISPLAY")));
    m_managerAtom = internAtom(c, "MANAGER");
    if (m_selectionAtom == XCB_ATOM_NONE || m_managerAtom == XCB_ATOM_NONE)
        return;
    // A tray that takes the selection tells every client that listens to the root
    // window's structure changes (the MANAGER message). This client's mask on the root is
    // widened to include them, keeping what the toolkit already asked for; the owner is
    // asked afterwards, so that a tray arriving in between is not missed.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr), &free);
    if (attributes && !(attributes->your_event_mask & XCB_EVENT_MASK_STRUCTURE_NOTIFY)) {
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    }
    QAbstractEventDispatcher::instance()->installNativeEventFilter(this);
    m_filtering = true;
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selectionAtom), nullptr), &free);
    if (owner && owner->owner != XCB_WINDOW_NONE) {
        m_xembed = true;
        QAbstractEventDispatcher::instance()->removeNativeEventFilter(this);
        m_filtering = false;
    }
}

void TrayHostWatch::setXembed(bool present)
{
    if (present == m_xembed)
        return;
    m_xembed = present;
    if (m_filtering) {
        QAbstractEventDispatcher::instance()->removeNativeEventFilter(this);
        m_filtering = false;
    }
    emit changed();
}

bool TrayHostWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->type == m_managerAtom && client->format == 32 && client->data.data32[1] == m_selectionAtom) {
        // Handled once the toolkit has seen the message too; the event stays with it.
        QMetaObject::invokeMethod(
            this, [this] { setXembed(true); }, Qt::QueuedConnection);
    }
    return false;
}
