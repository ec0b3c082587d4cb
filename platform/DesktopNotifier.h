#pragma once
// Desktop notifications through org.freedesktop.Notifications on the session bus. Each
// notification has a name of the caller's choosing ("alert", "mail"); showing a name again
// replaces its notification instead of adding another, and the actions the user picks come
// back under that name. Calls never wait for the service: without one, or when it fails,
// nothing shows and one line goes to the log.

#include <QHash>
#include <QObject>
#include <QStringList>

class QDBusPendingCallWatcher;

class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    struct Notice
    {
        QString summary;
        QString body;        // plain text; escaped where the service reads markup
        QStringList actions; // pairs of key and label; "default" is a click on the notification
        int timeoutMs = -1;  // -1: the service's default; 0: until withdrawn
    };

    // The one notifier of the program, made on first use.
    static DesktopNotifier* instance();

    explicit DesktopNotifier(QObject* parent = nullptr);

    // Shows notification `name`, replacing the one shown under that name before.
    void show(const QString& name, const Notice& notice);
    // Withdraws notification `name`, also when the service has not answered its showing yet.
    void withdraw(const QString& name);

    // The service's texts are read as markup: <, > and & are escaped.
    static QString escaped(const QString& text);

signals:
    // The user picked `action` ("default" for the notification itself) of notification `name`.
    void activated(const QString& name, const QString& action);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onActivationToken(uint id, const QString& token);
    void onClosed(uint id, uint reason);

private:
    struct Entry
    {
        uint id = 0;            // the service's number; 0 while none is known
        int pending = 0;        // showings not answered yet
        bool withdrawn = false; // withdrawn while a showing was unanswered
    };

    bool connectBus();
    void answered(const QString& name, QDBusPendingCallWatcher* call);
    void close(uint id);
    void failed(const QString& what);
    QString nameOf(uint id) const;

    bool m_connected = false;
    bool m_markup = true; // until the service says otherwise
    bool m_reported = false;
    QHash<QString, Entry> m_entries;
    QHash<uint, QString> m_tokens; // activation tokens that came with an action
};
