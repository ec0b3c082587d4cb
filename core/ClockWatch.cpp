#include "core/ClockWatch.h"

ClockWatch::Change ClockWatch::read(const QDateTime& wall, qint64 monotonicMs)
{
    Change change;
    if (m_wall.isValid() && wall.isValid()) {
        const qint64 drift = m_wall.msecsTo(wall) - (monotonicMs - m_monotonic);
        change.newDay = wall.date() != m_wall.date();
        change.ranAhead = drift > kJumpMs;
    }
    reset(wall, monotonicMs);
    return change;
}

void ClockWatch::reset(const QDateTime& wall, qint64 monotonicMs)
{
    m_wall = wall;
    m_monotonic = monotonicMs;
}
