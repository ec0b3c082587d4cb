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

} // namespace ReminderRepeat
