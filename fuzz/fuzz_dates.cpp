// The date and hour parsers: any text reads as a date or hour, or raises ConversionError.
// What reads must write back in the fixed forms and read again as the same value.

#include "FuzzCheck.h"

#include "core/Clock.h"
#include "core/DateText.h"
#include "core/Error.h"

#include <QDateTime>

namespace {

void checkDate(const QDate& date)
{
    FUZZ_CHECK(date.isValid());
    QString text;
    try {
        text = DateText::fecha(date);
    } catch (const ConversionError&) {
        FUZZ_CHECK(date.year() < 1 || date.year() > 9999); // no ten-character form
        return;
    }
    FUZZ_CHECK(text.size() == 10);
    FUZZ_CHECK(DateText::parseFecha(text) == date);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    // Two-digit years are read relative to today: a fixed day keeps runs repeatable.
    static const bool clockSet = (Clock::setNow(QDateTime(QDate(2026, 12, 9), QTime(12, 0))), true);
    (void)clockSet;
    const QString text = fuzzText(data, size);

    try {
        checkDate(DateText::parseFecha(text));
    } catch (const ConversionError&) {
    }
    try {
        checkDate(DateText::parseShortDate(text));
    } catch (const ConversionError&) {
    }
    if (const std::optional<QTime> time = DateText::tryParseHora(text)) {
        FUZZ_CHECK(time->isValid());
        const QString written = DateText::hora(*time);
        FUZZ_CHECK(written.size() == 8);
        const QTime back = DateText::parseHora(written);
        FUZZ_CHECK(back == QTime(time->hour(), time->minute(), time->second()));
        FUZZ_CHECK(DateText::parseHora(DateText::longTime(*time)) == back);
    }
    return 0;
}
