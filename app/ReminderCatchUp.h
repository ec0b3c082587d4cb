#pragma once
// Catching up after a suspend, a day change or a clock set forward. The minute tick reads
// both clocks here before its scan: a new day, or a wall clock that ran ahead of the time
// the program measured, leaves a pass over the past days' unread reminders waiting for the
// scan. logind's wake-up signal asks for that pass at once, where the reminder table is
// free; otherwise the next tick runs it. Either kind of wake-up is announced to the mail
// check through wakeUp().

#include "core/ClockWatch.h"

#include <QObject>

#include <functional>

class SleepWatcher;

class ReminderCatchUp : public QObject
{
    Q_OBJECT
public:
    // `runScan` runs the reminder part of a tick (the waiting pass first, then today's due
    // reminders); it is called at a logind wake-up while the minute timer runs.
    ReminderCatchUp(QObject* parent, std::function<void()> runScan);

    // The one attached to `owner`, or null.
    static ReminderCatchUp* of(const QObject* owner);

    // At each tick, before the scan: compares the clocks with the previous tick.
    void tick();
    // Whether a pass over the past days is waiting; taking it clears it.
    bool takePass();
    // The computer woke up (logind): the pass runs now when the reminder table is free.
    void wokeUp();

    SleepWatcher* sleepWatcher() const { return m_sleep; }

signals:
    // The computer woke up, or the clock ran ahead of the monotonic clock.
    void wakeUp();

private:
    ClockWatch m_watch;
    bool m_pending = false;
    SleepWatcher* m_sleep;
    std::function<void()> m_runScan;
};
