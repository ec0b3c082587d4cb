#include "app/ReminderCatchUp.h"

#include "core/Clock.h"
#include "platform/Guard.h"
#include "platform/SleepWatcher.h"
#include "store/EditSession.h"

ReminderCatchUp::ReminderCatchUp(QObject* parent, std::function<void()> runScan)
    : QObject(parent), m_sleep(new SleepWatcher(this)), m_runScan(std::move(runScan))
{
    setObjectName(QStringLiteral("ReminderCatchUp"));
    // The start-up pass has just looked at every past day.
    m_watch.reset(Clock::now(), Clock::monotonicMs());
    connectGuarded(m_sleep, &SleepWatcher::wokeUp, this, &ReminderCatchUp::wokeUp);
}

ReminderCatchUp* ReminderCatchUp::of(const QObject* owner)
{
    return owner ? owner->findChild<ReminderCatchUp*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void ReminderCatchUp::tick()
{
    const ClockWatch::Change change = m_watch.read(Clock::now(), Clock::monotonicMs());
    if (change.catchUp())
        m_pending = true;
    if (change.ranAhead)
        emit wakeUp();
}

bool ReminderCatchUp::takePass()
{
    const bool pending = m_pending;
    m_pending = false;
    return pending;
}

void ReminderCatchUp::wokeUp()
{
    m_pending = true;
    // The next tick compares with this moment, so the same suspend does not count twice.
    m_watch.reset(Clock::now(), Clock::monotonicMs());
    emit wakeUp();
    // The timer is off while an alert or an editor holds the reminder table: the next tick
    // after it closes runs the pass.
    if (MinuteTimer::running() && m_runScan)
        m_runScan();
}
