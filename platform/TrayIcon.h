#pragma once
// The notification-area icon. Mouse activity over it is translated to the classic mouse
// message numbers and handed on through message(): 515 for a left double-click, 516 for
// the right button. Single clicks and other activity give other numbers, which the main
// window ignores. A StatusNotifierItem panel sends a single primary click where an X11
// tray sends a double click: there the primary click is handed on as 515, and the menu
// given with setMenu() is exported for the panel to draw.
//
// When the desktop has no notification area at start the icon keeps watching for one
// (TrayHostWatch) and emits appeared() the first time one shows up; an icon shown
// meanwhile docks then.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QMenu;
class QSystemTrayIcon;
class TrayHostWatch;

class TrayIcon : public QObject
{
    Q_OBJECT
public:
    static constexpr int kLeftButtonDown = 513;
    static constexpr int kLeftButtonUp = 514;
    static constexpr int kLeftDoubleClick = 515;
    static constexpr int kRightButtonDown = 516;
    static constexpr int kMiddleButtonDown = 519;

    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    void setIcon(const QIcon& icon);
    void setToolTip(const QString& tip);
    QString toolTip() const { return m_tip; }
    // The menu a StatusNotifierItem panel draws. An X11 tray gets no menu of Qt's own:
    // the right button reaches the listeners as 516 instead.
    void setMenu(QMenu* menu);

    void add();    // shows the icon in the notification area
    void remove(); // takes it away
    bool isShown() const { return m_shown; }
    // Whether the icon is served over D-Bus (StatusNotifierItem) rather than by an X11 tray.
    bool overDBus() const { return m_overDBus; }

    // Whether the desktop has a notification area now. Tests may force the answer; a forced
    // answer also keeps the icon from watching the desktop.
    bool isAvailable() const;
    static void setAvailableOverride(int available); // -1: ask the desktop; 0: no; 1: yes

    // Hands a mouse message to the listeners (used for real activations and by tests).
    void deliver(int mouseMessage);

signals:
    void message(int mouseMessage);
    void appeared(); // a notification area exists, where there was none at start

private slots:
    void watchTray();
    void hostsChanged();

private:
    bool createIcon();
    void followTrayRestarts();

    QSystemTrayIcon* m_icon = nullptr;
    TrayHostWatch* m_hosts = nullptr;
    QPointer<QMenu> m_menu;
    bool m_overDBus = false;
    bool m_followsTrayEvents = false; // the X11 platform reports the tray's changes
    bool m_trayPresent = false;
    bool m_appeared = false;
    QIcon m_iconImage;
    QString m_tip;
    bool m_shown = false;
};
