#include "core/Clock.h"

#include <QElapsedTimer>

namespace {
QDateTime g_fixed;
qint64 g_fixedMonotonic = 0;

qint64 systemMonotonic()
{
    // CLOCK_MONOTONIC on Linux: it does not count the time the computer sleeps.
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}
} // namespace

namespace Clock {

QDateTime now()
{
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTime();
}

QDate today()
{
    return now().date();
}

qint64 monotonicMs()
{
    return g_fixed.isValid() ? g_fixedMonotonic : systemMonotonic();
}

void setNow(const QDateTime& fixed)
{
    if (!fixed.isValid()) {
        g_fixed = QDateTime();
        return;
    }
    if (!g_fixed.isValid())
        g_fixedMonotonic = systemMonotonic();
    else
        g_fixedMonotonic += qMax<qint64>(0, g_fixed.msecsTo(fixed));
    g_fixed = fixed;
}

void advance(qint64 seconds)
{
    if (!g_fixed.isValid())
        return;
    g_fixed = g_fixed.addSecs(seconds);
    g_fixedMonotonic += qMax<qint64>(0, seconds * 1000);
}

void setWallClock(const QDateTime& wall)
{
    if (!wall.isValid())
        return;
    if (!g_fixed.isValid())
        g_fixedMonotonic = systemMonotonic();
    g_fixed = wall;
}

} // namespace Clock
