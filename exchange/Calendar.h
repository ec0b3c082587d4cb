#pragma once
// Reminders to and from iCalendar (RFC 5545), parsed and written by libical:
// one VEVENT per reminder with DTSTART in local time, SUMMARY, a VALARM with a sound
// for "PlaySound", an RRULE for a repeat and X-PENNARO-LEIDO for the read mark.
// Reading streams: one VEVENT or VTODO at a time goes through libical.

#include "exchange/ContentLines.h"
#include "exchange/Record.h"

#include <QDateTime>
#include <QHash>

#include <memory>
#include <optional>

struct _icaltimezone;

namespace exchange {

// Pennaro's repeat: every `count` days, months or years ("Día/s", "Mes/es", "Año/s").
struct Repeat
{
    int count = 0;
    QString unit;
    bool operator==(const Repeat& o) const { return count == o.count && unit == o.unit; }
};

// The repeat an RRULE stands for, when Pennaro's repeat can express it: FREQ DAILY, WEEKLY
// (as 7, 14, 21 or 28 days), MONTHLY or YEARLY, an interval up to 31, no end, and no BY
// part other than one naming the start's own day, weekday or month. Raises LineError for
// a rule libical cannot read.
std::optional<Repeat> repeatFromRule(const QString& rule, const QDate& start, int lineNo);
// "FREQ=MONTHLY;INTERVAL=2" for a repeat; empty for none.
QString ruleFromRepeat(const Repeat& repeat);

// The most work one event's or one zone's rule may cost, in steps of the recurrence
// iterator (one step is one period of the rule's frequency: a second for SECONDLY).
constexpr qint64 kMaxRuleSteps = 300000;
// The deepest nesting of components accepted (real calendars nest three or four).
constexpr int kMaxNesting = 40;

// The upper bound of the iterator steps one call for the next occurrence may take, for a
// rule walked from `year` on; the iterator gives up only at a fixed year far ahead, so a rule
// whose filters never match walks until then.
qint64 worstStepsPerOccurrence(const QString& rule, int year);

struct NextDate
{
    QDateTime when;
    bool gaveUp = false; // the walk would have cost more than kMaxRuleSteps: `when` is the start
};

// The first occurrence of the rule starting at `start` (local time) that is not before
// `now`; the last one when the series ends before; `start` when nothing can be computed.
// A rule without COUNT is walked from the last whole period before `now`, so a fine rule
// from long ago costs no more than one from yesterday; one whose walk would pass
// kMaxRuleSteps (or COUNT occurrences past the cap) gives up and says so.
NextDate nextDate(const QString& rule, const QDateTime& start, const QDateTime& now);
QDateTime nextOccurrence(const QString& rule, const QDateTime& start, const QDateTime& now);

// The VEVENT of a reminder; empty, with `why`, when its date or hour cannot be read.
QByteArray reminderToEvent(const Record& reminder, const QDateTime& stampUtc, QString& why);
QByteArray calendarBegin();
QByteArray calendarEnd();

// One VEVENT or VTODO of a file, as its unfolded lines.
struct CalendarItem
{
    QString kind; // "VEVENT" or "VTODO"
    int firstLine = 0;
    QStringList lines;
    QVector<int> lineNos;
    int lineOf(const char* property) const; // first line of a property, else firstLine
};

class CalendarReader
{
public:
    explicit CalendarReader(QIODevice* device);
    ~CalendarReader();
    CalendarReader(const CalendarReader&) = delete;
    CalendarReader& operator=(const CalendarReader&) = delete;

    // Reads the whole file once for its VTIMEZONEs, so an event finds a zone the file
    // defines after it, and goes back to the start. The device must not be sequential.
    // Raises LineError as next() does.
    void readZones();

    // The next event or to-do; false at the end. Time zones defined in the file are kept;
    // other components are passed over and counted. Raises LineError for a file that is
    // not iCalendar, is cut short or nests components deeper than kMaxNesting.
    bool next(CalendarItem& item);
    int otherComponents() const { return m_others; }
    // Zones whose repeat rules were too costly to expand, kept with their first onsets only.
    const QStringList& costlyZones() const { return m_costlyZones; }

    // A time zone defined by a VTIMEZONE read so far, or null.
    _icaltimezone* zone(const QString& tzid) const { return m_zones.value(tzid); }

private:
    // One component, with everything nested in it, up to its matching END: its BEGIN line
    // has been read. Raises LineError when the file ends first or an END does not match.
    CalendarItem readComponent(const QString& kind, const QString& beginText, int beginLineNo);
    // Keeps the time zone a VTIMEZONE defines; one that cannot be read is passed over.
    void keepTimeZone(const CalendarItem& block);

    QIODevice* m_device;
    std::unique_ptr<LineReader> m_lines;
    QHash<QString, _icaltimezone*> m_zones;
    QStringList m_costlyZones;
    bool m_zonesRead = false;
    int m_calendars = 0;
    int m_others = 0;
    bool m_inCalendar = false;
};

// The reminder an event or to-do describes, its start converted to local time. A rule
// Pennaro cannot express gives the next occurrence after `now` and notes.unsupportedRule.
// Raises LineError for a start that does not exist or cannot be read.
Record reminderFromItem(const CalendarItem& item, const CalendarReader& reader, const QDateTime& now,
                        ImportNotes& notes);

} // namespace exchange
