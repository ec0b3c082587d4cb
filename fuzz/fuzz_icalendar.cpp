// Fuzz target of the iCalendar import: any bytes are read as an iCalendar file (zones first,
// then each event or to-do through libical and the reminder mapping); every reminder read is
// written back as a VEVENT and read again, which must give the same reminder. Errors in the
// input are the reader's Spanish errors, never a crash or a hang.

#include "RoundTrip.h"
#include "exchange/Calendar.h"
#include "exchange/Jobs.h"

#include <QBuffer>

#include <cstdio>
#include <cstdlib>

namespace {

const QDateTime kNow(QDate(2027, 1, 1), QTime(12, 0));

exchange::Record readBack(const QByteArray& event)
{
    QByteArray file = exchange::calendarBegin() + event + exchange::calendarEnd();
    QBuffer again(&file);
    again.open(QIODevice::ReadOnly);
    exchange::CalendarReader second(&again);
    second.readZones();
    exchange::CalendarItem item;
    if (!second.next(item))
        abort();
    exchange::ImportNotes notes;
    return exchange::reminderFromItem(item, second, kNow, notes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    try {
        exchange::CalendarReader reader(&buffer);
        reader.readZones();
        exchange::CalendarItem item;
        while (reader.next(item)) {
            exchange::ImportNotes notes;
            exchange::Record record;
            try {
                record = exchange::reminderFromItem(item, reader, kNow, notes);
            } catch (const exchange::LineError&) {
                continue; // a start or rule that cannot be read: the import stops there
            }
            if (!notes.skipReason.isEmpty())
                continue;
            // The export skips a text it cannot carry; everything else must come back the same.
            if (exchange::firstUncarriedCharacter(exchange::textOf(record, QStringLiteral("Recordatorio")), false) >= 0)
                continue;
            QString why;
            const QByteArray written = exchange::reminderToEvent(record, kNow.toUTC(), why);
            if (written.isEmpty())
                abort(); // an imported date or hour the export cannot read
            const exchange::Record reread = readBack(written);
            requireSameRecord(record, reread, written);
        }
    } catch (const exchange::ExchangeError&) {
        // A file that is not a valid calendar: reported to the user, nothing imported.
    }
    return 0;
}
