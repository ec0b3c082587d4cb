#pragma once
// Left-padding with "0", the way dates, hours and month keys are written ("05", "0027").

#include <QString>

namespace Padding {

// The text with "0" in front until it is width characters long; a longer text is kept whole.
QString zeros(const QString& text, int width);
// The decimal digits of n, padded the same way.
QString zeros(qint64 n, int width);

} // namespace Padding
