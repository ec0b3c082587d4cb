#pragma once
// Watches for a notification area of either kind, without polling:
// - a StatusNotifierItem host, through the org.kde.StatusNotifierWatcher service on the
//   session bus (its coming and going, its host signals, and its IsStatusNotifierHostRegistered
//   property asked directly);
// - on X11, an XEmbed tray: the owner of the _NET_SYSTEM_TRAY_S<screen> selection, asked
//   once and then followed through the MANAGER message a new tray sends to the root window.
// changed() is emitted whenever one of the two answers changes. An X11 tray is only
// followed until it is first seen: from then on the tray icon itself follows its restarts.
// Without a session bus the watch says so once in the log (pennaro.tray) and goes on.

#include <QAbstractNativeEventFilter>
#include <QLoggingCategory>
#include <QObject>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

class TrayHostWatch : public QObject, private QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit TrayHostWatch(QObject* parent = nullptr);
    ~TrayHostWatch() override;

    bool statusNotifierHost() const { return m_host; }
    bool xembedTray() const { return m_xembed; }
    bool present() const { return m_host || m_xembed; }

    // The name of the X11 tray selection for a DISPLAY value (":0", ":1.2"): the screen
    // number follows the dot, 0 when there is none.
    static QByteArray traySelectionName(const QByteArray& display);

signals:
    void changed();

private slots:
    void askHost();
    void hostAnswered(bool registered);
    void watcherGone();

private:
    void watchStatusNotifier();
    void watchXembed();
    void setXembed(bool present);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    bool m_host = false;
    bool m_xembed = false;
    bool m_filtering = false;
    quint32 m_managerAtom = 0;
    quint32 m_selectionAtom = 0;
};
