#pragma once
// A stand-in for a StatusNotifierItem panel on the session bus: it starts the watcher
// (status-notifier-watcher), registers itself as the host when told, and drives items
// the way a panel does: the list of registered items, Activate, the exported menu read
// with com.canonical.dbusmenu GetLayout, and its "clicked" events.
// Every call waits for its answer while the event loop runs, so that an item served by
// the test's own process can answer it.

#include <QDBusMessage>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

class StatusNotifierPanel
{
public:
    StatusNotifierPanel() = default;
    ~StatusNotifierPanel();
    StatusNotifierPanel(const StatusNotifierPanel&) = delete;
    StatusNotifierPanel& operator=(const StatusNotifierPanel&) = delete;

    bool startWatcher(); // true once the watcher owns its name
    bool stopWatcher();  // true once its name is gone
    bool registerHost(); // true once the watcher says a host is registered
    bool hostRegistered();

    // "service/path" entries, as the watcher lists them.
    QStringList items();
    bool activate(const QString& item);

    struct Entry
    {
        int id = 0;
        QString label; // mnemonics back in the "&" form
        bool separator = false;
    };
    QList<Entry> menu(const QString& item); // the top level of the item's menu
    bool click(const QString& item, int id);

    QString lastError;

private:
    QDBusMessage call(const QDBusMessage& message);
    QDBusMessage watcherQuestion(const QString& property);
    QDBusMessage itemCall(const QString& item, const QString& interface, const QString& method,
                          const QList<QVariant>& arguments);
    QVariant itemProperty(const QString& item, const QString& interface, const QString& name);

    QProcess m_watcher;
    QString m_hostName;
};
