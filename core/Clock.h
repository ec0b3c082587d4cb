#pragma once
// The one place "now" comes from. Tests fix it; nothing else calls QDateTime::currentDateTime().
//
// Beside the wall clock there is a monotonic reading: milliseconds that only go forward
// with time the program is running, standing still while the computer sleeps and never
// moved by setting the clock. The two together tell a suspend or a clock set by hand from
// time that simply went by.

#include <QDateTime>

namespace Clock {
QDateTime now();
QDate today();
// Milliseconds from an arbitrary start; stands still during a suspend.
qint64 monotonicMs();

// Fixes "now" (tests): time went by up to `fixed`, so the monotonic reading moves on by
// as much when `fixed` is later. An invalid value returns to the system clocks.
void setNow(const QDateTime& fixed);
// Moves a fixed "now" and the monotonic reading forward (tests); does nothing with the
// system clock.
void advance(qint64 seconds);
// Sets the wall clock alone (tests): what a suspend (forward) or a clock set by hand
// (either way) looks like to the program. Fixes the clocks when they are not yet.
void setWallClock(const QDateTime& wall);
} // namespace Clock
