#include "store/ReminderRepeat.h"

namespace ReminderRepeat {

int count(const QVariant& repetirN)
{
    if (repetirN.isNull())
        return 0;
    bool ok = false;
    const int n = repetirN.toString().trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

bool repeats(const QVariant& repetirN)
{
    return count(repetirN) > 0;
}

bool showsRepeatLine(const QVariant& repetirN)
{
    if (repetirN.isNull())
        return true;
    const QString text = repetirN.toString().trimmed();
    if (text.isEmpty())
        return true;
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    return ok && n != 0;
}

} // namespace ReminderRepeat
