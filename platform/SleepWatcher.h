#pragma once
// Tells when the computer wakes up from a suspend, from logind's PrepareForSleep(false) on
// the system bus. Where there is no system bus or no logind, it never signals (one log
// line says so) and the minute tick's clock comparison notices the suspend instead.

#include <QObject>

class SleepWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SleepWatcher(QObject* parent = nullptr);

    // Whether logind's signal is being listened to.
    bool listening() const { return m_listening; }

signals:
    void wokeUp();

private slots:
    void prepareForSleep(bool sleeping);

private:
    bool m_listening = false;
};
