#pragma once
// The notification-area icon. Mouse activity over it is translated to the classic mouse
// message numbers and handed on through message(): 515 for a left double-click, 516 for
// the right button. Single clicks and other activity give other numbers, which the main
// window ignores.

#include <QIcon>
#include <QObject>
#include <QString>

class QSystemTrayIcon;
class QTimer;

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

    void add();    // shows the icon in the notification area
    void remove(); // takes it away
    bool isShown() const { return m_shown; }

    // Whether the desktop has a notification area. Tests may force the answer.
    static bool isAvailable();
    static void setAvailableOverride(int available); // -1: ask the desktop; 0: no; 1: yes

    // Hands a mouse message to the listeners (used for real activations and by tests).
    void deliver(int mouseMessage);

signals:
    void message(int mouseMessage);

private slots:
    void watchTray();

private:
    QSystemTrayIcon* m_icon = nullptr;
    // While the icon is shown, notices a notification area that went away (a panel
    // restart) and docks the icon again when one is back.
    QTimer* m_watch = nullptr;
    bool m_followsTrayEvents = false; // the platform reports the tray's changes
    bool m_trayPresent = false;
    QIcon m_iconImage;
    QString m_tip;
    bool m_shown = false;
};
