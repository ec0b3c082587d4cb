#include "core/Padding.h"

namespace Padding {

QString zeros(const QString& text, int width)
{
    return text.rightJustified(width, QLatin1Char('0'));
}

QString zeros(qint64 n, int width)
{
    return zeros(QString::number(n), width);
}

} // namespace Padding
