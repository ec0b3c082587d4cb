#pragma once
// The one reading of a reminder's repetition count ("RepetirN", decimal text of at most
// two characters; "0" when the reminder does not repeat).

#include <QVariant>

namespace ReminderRepeat {

// The count: the text, blanks trimmed, read as a decimal integer; 0 for a null field, a
// blank one or a text that is not a number.
int count(const QVariant& repetirN);

// Whether the reminder repeats: a count above 0. A blank, "0", a text that is not a
// number and a negative count all mean a reminder that does not repeat, one that the
// alert postpones by its list.
bool repeats(const QVariant& repetirN);

// Whether the alert shows the "Se repite cada" line instead of the postponement list: for
// every count but zero, a blank field and a negative count included. A text that is not
// a number shows the list. Only the display follows this rule: "&Repetir" still reads a
// blank count as 0 and postpones by the (hidden) list.
bool showsRepeatLine(const QVariant& repetirN);

} // namespace ReminderRepeat
