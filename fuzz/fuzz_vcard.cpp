// Fuzz target of the vCard reader: any bytes are read as a vCard file; every card read is
// turned into a record, written back as vCard 4.0 and read again, which must give the same
// record. Errors in the input are the reader's Spanish errors, never a crash.

#include "RoundTrip.h"
#include "exchange/CardMapping.h"
#include "exchange/VCard.h"

#include <QBuffer>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    try {
        exchange::VCardReader reader(&buffer);
        exchange::VCard card;
        while (reader.next(card)) {
            exchange::ImportNotes notes;
            const exchange::Record record = exchange::cardFromVCard(card, notes);
            if (!notes.skipReason.isEmpty())
                continue;
            // Round trip: what we write reads back as the same record, with nothing cut or dropped.
            const QByteArray written = exchange::cardToVCard(record);
            QBuffer again;
            again.setData(written);
            again.open(QIODevice::ReadOnly);
            exchange::VCardReader second(&again);
            exchange::VCard back;
            if (!second.next(back))
                abort();
            exchange::ImportNotes backNotes;
            const exchange::Record reread = exchange::cardFromVCard(back, backNotes);
            if (!backNotes.cutFields.isEmpty() || !backNotes.droppedProperties.isEmpty()) {
                fprintf(stderr, "cut or dropped on the way back:\n%s\n", written.constData());
                abort();
            }
            requireSameRecord(record, reread, written);
        }
    } catch (const exchange::ExchangeError&) {
        // A file that is not a valid vCard: reported to the user, nothing imported.
    }
    return 0;
}
