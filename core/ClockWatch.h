#pragma once
// Compares successive readings of the wall clock with the monotonic clock, to notice what
// happened between two minute ticks: a new day, or a wall clock that ran ahead of the time
// the program measured (the computer slept, or the clock was set forward). A clock set
// back is neither, unless it changes the date.

#include <QDateTime>

class ClockWatch
{
public:
    // More than this between the two clocks is a jump, not the drift of a busy tick.
    static constexpr qint64 kJumpMs = 2 * 60 * 1000;

    struct Change
    {
        bool newDay = false;   // the date is not the date of the previous reading
        bool ranAhead = false; // the wall clock moved more than kJumpMs beyond the monotonic one
        // Reminders of days that are now past may not have been alerted yet.
        bool catchUp() const { return newDay || ranAhead; }
    };

    // Takes a reading and compares it with the previous one. The first reading only sets
    // the starting point.
    Change read(const QDateTime& wall, qint64 monotonicMs);
    // Starts afresh from this reading (a pass has just looked at everything up to it).
    void reset(const QDateTime& wall, qint64 monotonicMs);

private:
    QDateTime m_wall;
    qint64 m_monotonic = 0;
};
