#pragma once
// The one place "now" comes from. Tests fix it; nothing else calls QDateTime::currentDateTime().

#include <QDateTime>

namespace Clock {
QDateTime now();
QDate today();
// Fixes "now" (tests). An invalid value returns to the system clock.
void setNow(const QDateTime& fixed);
// Moves a fixed "now" forward (tests); does nothing with the system clock.
void advance(qint64 seconds);
} // namespace Clock
