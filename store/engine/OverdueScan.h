#pragma once
// The start-up pass over overdue reminders: every unread reminder of a day before today
// is alerted, one after another, in the order of the reminder query (date text, then
// hour text). Only the rows that can qualify are read, through the reminder query.

#include "store/engine/Query.h"

#include <QDate>

#include <functional>

namespace OverdueScan {

// What an alert needs of its row: the reminder's key (the alert reads the record itself).
struct Row
{
    qint64 id = -1;
};

// Calls `alert` for each reminder to raise. An alert may change the table in any way, so
// the rows are read again from the top after each one; a reminder already alerted in this
// pass is passed over (its change failed to save), so that one failing record is not
// shown for ever. Raises the error of the first "Fecha", in the query's order, that does
// not read as a date, whatever that row's read mark, as a walk over every row would.
void run(engine::Query* query, const QDate& today, const std::function<void(const Row&)>& alert);

} // namespace OverdueScan
