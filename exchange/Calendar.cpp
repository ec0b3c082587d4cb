#include "exchange/Calendar.h"

#include "store/engine/Tables.h"

#include <QTimeZone>

#include <libical/ical.h>

#include <memory>

namespace exchange {

namespace {

const QString kDays = QStringLiteral("Día/s");
const QString kMonths = QStringLiteral("Mes/es");
const QString kYears = QStringLiteral("Año/s");
constexpr int kMaxRepeat = 31;          // the entry form's largest repeat count
constexpr int kMaxOccurrences = 100000; // a rule walked further than this is given up

struct ComponentFree
{
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentFree>;

bool isEmptyBy(const short* array)
{
    return array[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

int countBy(const short* array, int size)
{
    int n = 0;
    while (n < size && array[n] != ICAL_RECURRENCE_ARRAY_MAX)
        ++n;
    return n;
}

const engine::FieldDef& reminderField(const QString& name)
{
    static const engine::FieldDefs defs = engine::tables::reminderFields();
    for (const engine::FieldDef& def : defs)
        if (def.name == name)
            return def;
    Q_UNREACHABLE();
    return defs.first();
}

// A rule text as libical reads it; a rule it cannot read has FREQ none.
icalrecurrencetype readRule(const QString& rule)
{
    icalerror_clear_errno();
    const icalerrorstate previous = icalerror_get_error_state(ICAL_MALFORMEDDATA_ERROR);
    icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, ICAL_ERROR_NONFATAL);
    icalrecurrencetype r = icalrecurrencetype_from_string(rule.toUtf8().constData());
    icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, previous);
    return r;
}

icaltimetype toIcal(const QDateTime& local)
{
    icaltimetype t = icaltime_null_time();
    t.year = local.date().year();
    t.month = local.date().month();
    t.day = local.date().day();
    t.hour = local.time().hour();
    t.minute = local.time().minute();
    t.second = local.time().second();
    t.is_date = 0;
    return t;
}

QDateTime fromIcal(const icaltimetype& t)
{
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::LocalTime);
}

QTime parseHour(const QString& text)
{
    QTime time = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("H:mm:ss"));
    return time;
}

} // namespace

std::optional<Repeat> repeatFromRule(const QString& rule, const QDate& start, int lineNo)
{
    const icalrecurrencetype r = readRule(rule);
    if (r.freq == ICAL_NO_RECURRENCE)
        throw LineError(lineNo, QStringLiteral("la regla de repetición «%1» no es válida").arg(rule.left(80)));
    if (r.count != 0 || !icaltime_is_null_time(r.until) || r.interval < 1 || r.interval > kMaxRepeat)
        return std::nullopt;
    if (!isEmptyBy(r.by_second) || !isEmptyBy(r.by_minute) || !isEmptyBy(r.by_hour) || !isEmptyBy(r.by_year_day) ||
        !isEmptyBy(r.by_week_no) || !isEmptyBy(r.by_set_pos) || r.rscale != nullptr)
        return std::nullopt;
    // A BY part may only repeat what the start already says.
    const bool dayIsStart = isEmptyBy(r.by_month_day) ||
                            (countBy(r.by_month_day, ICAL_BY_MONTHDAY_SIZE) == 1 && r.by_month_day[0] == start.day());
    const bool monthIsStart =
        isEmptyBy(r.by_month) || (countBy(r.by_month, ICAL_BY_MONTH_SIZE) == 1 && r.by_month[0] == start.month());
    // libical numbers weekdays from Sunday = 1; Qt from Monday = 1.
    const bool weekdayIsStart =
        isEmptyBy(r.by_day) ||
        (countBy(r.by_day, ICAL_BY_DAY_SIZE) == 1 && icalrecurrencetype_day_position(r.by_day[0]) == 0 &&
         int(icalrecurrencetype_day_day_of_week(r.by_day[0])) == start.dayOfWeek() % 7 + 1);
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
        if (!isEmptyBy(r.by_month_day) || !isEmptyBy(r.by_month) || !isEmptyBy(r.by_day))
            return std::nullopt;
        return Repeat{r.interval, kDays};
    case ICAL_WEEKLY_RECURRENCE:
        if (r.interval * 7 > kMaxRepeat || !weekdayIsStart || !isEmptyBy(r.by_month_day) || !isEmptyBy(r.by_month))
            return std::nullopt;
        return Repeat{r.interval * 7, kDays};
    case ICAL_MONTHLY_RECURRENCE:
        if (!dayIsStart || !isEmptyBy(r.by_month) || !isEmptyBy(r.by_day))
            return std::nullopt;
        return Repeat{r.interval, kMonths};
    case ICAL_YEARLY_RECURRENCE:
        if (!dayIsStart || !monthIsStart || !isEmptyBy(r.by_day))
            return std::nullopt;
        return Repeat{r.interval, kYears};
    default:
        return std::nullopt;
    }
}

QString ruleFromRepeat(const Repeat& repeat)
{
    if (repeat.count <= 0)
        return {};
    const char* freq = repeat.unit == kMonths ? "MONTHLY" : repeat.unit == kYears ? "YEARLY" : "DAILY";
    return QStringLiteral("FREQ=%1;INTERVAL=%2").arg(QLatin1String(freq)).arg(repeat.count);
}

namespace {

bool hasBy(const short* array)
{
    return !isEmptyBy(array);
}

// Periods of the frequency in a year, rounded up, and their length in seconds (months and
// years at their longest).
qint64 periodsPerYear(icalrecurrencetype_frequency freq)
{
    switch (freq) {
    case ICAL_SECONDLY_RECURRENCE:
        return 366LL * 86400;
    case ICAL_MINUTELY_RECURRENCE:
        return 366LL * 1440;
    case ICAL_HOURLY_RECURRENCE:
        return 366LL * 24;
    case ICAL_DAILY_RECURRENCE:
        return 366;
    case ICAL_WEEKLY_RECURRENCE:
        return 53;
    case ICAL_MONTHLY_RECURRENCE:
        return 12;
    default:
        return 1;
    }
}

qint64 periodSeconds(icalrecurrencetype_frequency freq)
{
    switch (freq) {
    case ICAL_SECONDLY_RECURRENCE:
        return 1;
    case ICAL_MINUTELY_RECURRENCE:
        return 60;
    case ICAL_HOURLY_RECURRENCE:
        return 3600;
    case ICAL_DAILY_RECURRENCE:
        return 86400;
    case ICAL_WEEKLY_RECURRENCE:
        return 7 * 86400;
    case ICAL_MONTHLY_RECURRENCE:
        return 28 * 86400; // the shortest: counts the most steps for a stretch of time
    default:
        return 365 * 86400;
    }
}

// The last year the iterator walks to before it gives up (64-bit time).
constexpr int kIteratorLastYear = 2582;

qint64 worstSteps(const icalrecurrencetype& r, int year)
{
    if (r.freq == ICAL_NO_RECURRENCE)
        return 0;
    const qint64 interval = qMax<qint64>(1, r.interval);
    const qint64 years = qMax(1, kIteratorLastYear + 1 - year);
    const bool subDaily =
        r.freq == ICAL_SECONDLY_RECURRENCE || r.freq == ICAL_MINUTELY_RECURRENCE || r.freq == ICAL_HOURLY_RECURRENCE;
    if (!subDaily && r.freq != ICAL_DAILY_RECURRENCE)
        return periodsPerYear(r.freq) * years / interval + 1; // periods may expand to nothing
    // Parts that filter the periods rather than expand them: a period that fails one is a
    // step that gives nothing.
    bool filters = hasBy(r.by_month) || hasBy(r.by_month_day) || hasBy(r.by_year_day) || hasBy(r.by_week_no) ||
                   hasBy(r.by_set_pos);
    bool weekdaysOnly = !filters && hasBy(r.by_day);
    for (int i = 0; weekdaysOnly && i < ICAL_BY_DAY_SIZE && r.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        weekdaysOnly = icalrecurrencetype_day_position(r.by_day[i]) == 0;
    filters = filters || hasBy(r.by_day);
    bool timeFilters = false;
    if (r.freq == ICAL_SECONDLY_RECURRENCE)
        timeFilters = hasBy(r.by_second) || hasBy(r.by_minute) || hasBy(r.by_hour);
    else if (r.freq == ICAL_MINUTELY_RECURRENCE)
        timeFilters = hasBy(r.by_minute) || hasBy(r.by_hour);
    else if (r.freq == ICAL_HOURLY_RECURRENCE)
        timeFilters = hasBy(r.by_hour);
    if (!filters && !timeFilters)
        return 1;
    // Weekdays and times of day alone come round within a week, unless the interval keeps
    // stepping over them.
    const qint64 perDay = periodsPerYear(r.freq) / 366;
    if ((weekdaysOnly || !filters) && interval == 1)
        return 7 * perDay;
    if (weekdaysOnly && !timeFilters && r.freq == ICAL_DAILY_RECURRENCE && interval % 7 != 0)
        return 7;
    return periodsPerYear(r.freq) * years / interval + 1;
}

// `start` moved on by whole periods of the rule to the last such point before `now`, so the
// occurrences from there on are those of the rule from `start`. Unchanged for a rule with a
// COUNT (which counts from the start) or when no such point exists.
QDateTime movedCloseTo(const icalrecurrencetype& r, const QDateTime& start, const QDateTime& now)
{
    if (r.count != 0 || start >= now)
        return start;
    const qint64 interval = qMax(1, r.interval);
    // Wall-clock arithmetic: the rule steps in local time without regard to DST.
    const QDateTime from(start.date(), start.time(), Qt::UTC);
    const QDateTime to(now.date(), now.time(), Qt::UTC);
    if (r.freq == ICAL_MONTHLY_RECURRENCE || r.freq == ICAL_YEARLY_RECURRENCE) {
        const qint64 perPeriod = r.freq == ICAL_YEARLY_RECURRENCE ? 12 * interval : interval;
        const qint64 months =
            (qint64(to.date().year()) - from.date().year()) * 12 + to.date().month() - from.date().month();
        // Two periods back, and further while the start's day is missing from that month.
        for (qint64 k = months / perPeriod - 2; k > 0 && k > months / perPeriod - 26; --k) {
            const QDate first = QDate(from.date().year(), from.date().month(), 1).addMonths(int(k * perPeriod));
            const QDate moved(first.year(), first.month(), from.date().day());
            if (moved.isValid())
                return QDateTime(moved, start.time(), Qt::LocalTime);
        }
        return start;
    }
    const qint64 period = periodSeconds(r.freq) * interval;
    const qint64 k = from.secsTo(to) / period - 1;
    if (k <= 0)
        return start;
    const QDateTime moved = from.addSecs(k * period);
    return QDateTime(moved.date(), moved.time(), Qt::LocalTime);
}

} // namespace

qint64 worstStepsPerOccurrence(const QString& rule, int year)
{
    return worstSteps(readRule(rule), year);
}

NextDate nextDate(const QString& rule, const QDateTime& start, const QDateTime& now)
{
    const icalrecurrencetype r = readRule(rule);
    if (r.freq == ICAL_NO_RECURRENCE)
        return {start, false};
    const QDateTime from = movedCloseTo(r, start, now);
    if (worstSteps(r, from.date().year()) > kMaxRuleSteps)
        return {start, true};
    icalrecur_iterator* it = icalrecur_iterator_new(r, toIcal(from));
    if (!it)
        return {start, false};
    const qint64 period = periodSeconds(r.freq) * qMax(1, r.interval);
    NextDate result{start, false};
    qint64 steps = 0;
    QDateTime previous(from.date(), from.time(), Qt::UTC);
    for (int i = 0;; ++i) {
        if (i >= kMaxOccurrences) {
            result = {start, true};
            break;
        }
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t)) {
            // The series ends by its COUNT or UNTIL; otherwise the iterator gave up early
            // (it stops at a fixed year, and at some rules from the first centuries).
            const bool ended = (r.count > 0 && i >= r.count) || !icaltime_is_null_time(r.until);
            if (!ended && result.when < now)
                result = {start, true};
            break;
        }
        const QDateTime occurrence = fromIcal(t);
        if (!occurrence.isValid()) {
            result = {start, true}; // a date that does not exist (29/02/0100): no trust in the rest
            break;
        }
        // The steps this call took: the periods between the two occurrences.
        const QDateTime wall(occurrence.date(), occurrence.time(), Qt::UTC);
        steps += 1 + qMax<qint64>(0, previous.secsTo(wall)) / period;
        previous = wall;
        result.when = occurrence;
        if (occurrence >= now)
            break;
        if (steps > kMaxRuleSteps) {
            result = {start, true};
            break;
        }
    }
    icalrecur_iterator_free(it);
    return result;
}

QDateTime nextOccurrence(const QString& rule, const QDateTime& start, const QDateTime& now)
{
    return nextDate(rule, start, now).when;
}

QByteArray calendarBegin()
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Pennaro//Pennaro 2.0//ES\r\n";
}

QByteArray calendarEnd()
{
    return "END:VCALENDAR\r\n";
}

QByteArray reminderToEvent(const Record& reminder, const QDateTime& stampUtc, QString& why)
{
    const QDate date = QDate::fromString(textOf(reminder, QStringLiteral("Fecha")), QStringLiteral("dd/MM/yyyy"));
    const QTime time = parseHour(textOf(reminder, QStringLiteral("Hora")));
    if (!date.isValid() || !time.isValid()) {
        why = QStringLiteral("fecha u hora no válida");
        return {};
    }
    ComponentPtr event(icalcomponent_new(ICAL_VEVENT_COMPONENT));
    const QByteArray uid = "pennaro-recordatorio-" + reminder.value(QStringLiteral("ID")).toByteArray();
    icalcomponent_add_property(event.get(), icalproperty_new_uid(uid.constData()));
    icalcomponent_add_property(
        event.get(), icalproperty_new_dtstamp(icaltime_from_timet_with_zone(time_t(stampUtc.toSecsSinceEpoch()), 0,
                                                                            icaltimezone_get_utc_timezone())));
    // A floating time is the local time wherever the file is read, as Pennaro keeps it.
    icalcomponent_add_property(event.get(), icalproperty_new_dtstart(toIcal(QDateTime(date, time))));
    const QString text = textOf(reminder, QStringLiteral("Recordatorio"));
    if (!text.isEmpty())
        icalcomponent_add_property(event.get(), icalproperty_new_summary(text.toUtf8().constData()));

    bool countOk = false;
    const QString countText = textOf(reminder, QStringLiteral("RepetirN"));
    const QString unit = textOf(reminder, QStringLiteral("RepetirS"));
    const int count = countText.trimmed().toInt(&countOk);
    const bool knownUnit = unit == kDays || unit == kMonths || unit == kYears;
    if (countOk && count > 0 && knownUnit) {
        const icalrecurrencetype r = readRule(ruleFromRepeat({count, unit}));
        icalcomponent_add_property(event.get(), icalproperty_new_rrule(r));
    }
    // What the rule does not carry is kept in Pennaro's own properties, so a copy read back
    // is the same record. Empty ones read back as no repeat ("0", "Día/s"), as the entry
    // form fills them in.
    if (!(countOk && count > 0 && knownUnit && countText == QString::number(count)) &&
        !(countText == QLatin1String("0") && unit == kDays) && !(countText.isEmpty() && unit.isEmpty())) {
        auto x = [&](const char* name, const QString& value) {
            icalproperty* p = icalproperty_new_x(value.toUtf8().constData());
            icalproperty_set_x_name(p, name);
            icalcomponent_add_property(event.get(), p);
        };
        x("X-PENNARO-REPETIRN", countText);
        x("X-PENNARO-REPETIRS", unit);
    }
    const QVariant read = reminder.value(QStringLiteral("Leido"));
    if (!read.isNull()) {
        icalproperty* p = icalproperty_new_x(read.toBool() ? "TRUE" : "FALSE");
        icalproperty_set_x_name(p, "X-PENNARO-LEIDO");
        icalcomponent_add_property(event.get(), p);
    }
    if (reminder.value(QStringLiteral("Playsound")).toBool()) {
        icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_AUDIO));
        icalcomponent_add_property(alarm, icalproperty_new_trigger(icaltriggertype_from_int(0)));
        icalcomponent_add_component(event.get(), alarm);
    }
    char* out = icalcomponent_as_ical_string_r(event.get());
    QByteArray bytes(out);
    icalmemory_free_buffer(out);
    return bytes;
}

int CalendarItem::lineOf(const char* property) const
{
    const QLatin1String name(property);
    for (int i = 0; i < lines.size(); ++i) {
        const QString& l = lines.at(i);
        if (l.startsWith(name, Qt::CaseInsensitive) && l.size() > name.size() &&
            (l.at(name.size()) == QLatin1Char(':') || l.at(name.size()) == QLatin1Char(';')))
            return lineNos.at(i);
    }
    return firstLine;
}

CalendarReader::CalendarReader(QIODevice* device) : m_device(device), m_lines(std::make_unique<LineReader>(device)) {}

void CalendarReader::readZones()
{
    CalendarItem item;
    while (next(item)) {
    }
    m_zonesRead = true;
    if (!m_device->seek(0))
        LineReader::fail(1, QStringLiteral("el archivo no se puede volver a leer desde el principio"));
    m_lines = std::make_unique<LineReader>(m_device);
    m_calendars = 0;
    m_others = 0;
    m_inCalendar = false;
}

CalendarReader::~CalendarReader()
{
    for (icaltimezone* zone : std::as_const(m_zones))
        icaltimezone_free(zone, 1);
}

bool CalendarReader::next(CalendarItem& item)
{
    QString text;
    int lineNo = 0;
    while (m_lines->next(text, lineNo)) {
        if (!m_inCalendar && m_calendars == 0 &&
            !text.startsWith(QLatin1String("BEGIN:VCALENDAR"), Qt::CaseInsensitive))
            LineReader::fail(lineNo, QStringLiteral("el archivo no es iCalendar (se esperaba «BEGIN:VCALENDAR»)"));
        const ContentLine line = parseContentLine(text, lineNo);
        const QString value = line.value.trimmed().toUpper();
        if (!m_inCalendar) {
            if (line.name != QLatin1String("BEGIN") || value != QLatin1String("VCALENDAR"))
                LineReader::fail(lineNo,
                                 m_calendars == 0
                                     ? QStringLiteral("el archivo no es iCalendar (se esperaba «BEGIN:VCALENDAR»)")
                                     : QStringLiteral("se esperaba «BEGIN:VCALENDAR»"));
            m_inCalendar = true;
            continue;
        }
        if (line.name == QLatin1String("END") && value == QLatin1String("VCALENDAR")) {
            m_inCalendar = false;
            ++m_calendars;
            continue;
        }
        if (line.name != QLatin1String("BEGIN"))
            continue; // calendar properties (VERSION, PRODID, METHOD)

        CalendarItem block = readComponent(value, text, lineNo);
        if (block.kind == QLatin1String("VTIMEZONE")) {
            if (!m_zonesRead)
                keepTimeZone(block);
        } else if (block.kind == QLatin1String("VEVENT") || block.kind == QLatin1String("VTODO")) {
            item = std::move(block);
            return true;
        } else {
            ++m_others;
        }
    }
    if (m_inCalendar)
        LineReader::fail(m_lines->lastLineNo(), QStringLiteral("el archivo está cortado: falta «END:VCALENDAR»"));
    if (m_calendars == 0)
        LineReader::fail(qMax(1, m_lines->lastLineNo()), QStringLiteral("el archivo no es iCalendar (está vacío)"));
    return false;
}

CalendarItem CalendarReader::readComponent(const QString& kind, const QString& beginText, int beginLineNo)
{
    CalendarItem block;
    block.kind = kind;
    block.firstLine = beginLineNo;
    block.lines += beginText;
    block.lineNos += beginLineNo;
    QStringList open{kind};
    QString text;
    int lineNo = 0;
    while (!open.isEmpty()) {
        if (!m_lines->next(text, lineNo))
            LineReader::fail(m_lines->lastLineNo(),
                             QStringLiteral("el archivo está cortado: falta «END:%1» del componente de la línea %2")
                                 .arg(open.last().left(40))
                                 .arg(block.firstLine));
        const ContentLine inner = parseContentLine(text, lineNo);
        const QString innerValue = inner.value.trimmed().toUpper();
        if (inner.name == QLatin1String("BEGIN")) {
            // Refused before libical builds (and later frees, recursively) a tree this deep.
            if (open.size() + 1 >= kMaxNesting)
                LineReader::fail(lineNo,
                                 QStringLiteral("los componentes están anidados a más de %1 niveles").arg(kMaxNesting));
            open += innerValue;
        } else if (inner.name == QLatin1String("END")) {
            if (innerValue != open.last())
                LineReader::fail(lineNo, QStringLiteral("se esperaba «END:%1»").arg(open.last().left(40)));
            open.removeLast();
        }
        block.lines += text;
        block.lineNos += lineNo;
    }
    return block;
}

namespace {

// Drops the repeat rules of a zone's observances that would cost more than the bound to
// expand (libical expands every change of offset from the observance's start on); each
// keeps its first onset. True when one was dropped.
bool dropCostlyZoneRules(icalcomponent* zone)
{
    // A real zone changes offset a few times a year; this many changes is no real zone.
    constexpr qint64 kMaxChanges = 20000;
    bool dropped = false;
    for (icalcomponent* part = icalcomponent_get_first_component(zone, ICAL_ANY_COMPONENT); part;
         part = icalcomponent_get_next_component(zone, ICAL_ANY_COMPONENT)) {
        icalproperty* dtstart = icalcomponent_get_first_property(part, ICAL_DTSTART_PROPERTY);
        const int year = dtstart ? icalproperty_get_dtstart(dtstart).year : 1;
        QVector<icalproperty*> costly;
        for (icalproperty* p = icalcomponent_get_first_property(part, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(part, ICAL_RRULE_PROPERTY)) {
            const icalrecurrencetype r = icalproperty_get_rrule(p);
            // Every change up to the iterator's last year: the days and times a year expands to.
            qint64 days = 1;
            if (hasBy(r.by_year_day)) {
                days = countBy(r.by_year_day, ICAL_BY_YEARDAY_SIZE);
            } else if (hasBy(r.by_week_no)) {
                days = 7LL * countBy(r.by_week_no, ICAL_BY_WEEKNO_SIZE);
            } else {
                qint64 perMonth = 1;
                if (hasBy(r.by_month_day)) {
                    perMonth = countBy(r.by_month_day, ICAL_BY_MONTHDAY_SIZE);
                } else if (hasBy(r.by_day)) {
                    perMonth = 0;
                    for (int i = 0; i < countBy(r.by_day, ICAL_BY_DAY_SIZE); ++i)
                        perMonth += icalrecurrencetype_day_position(r.by_day[i]) == 0 ? 5 : 1;
                }
                const qint64 months = hasBy(r.by_month)                 ? countBy(r.by_month, ICAL_BY_MONTH_SIZE)
                                      : perMonth > 1 || hasBy(r.by_day) ? 12
                                                                        : 1;
                days = months * perMonth;
            }
            const qint64 times = qint64(qMax(1, countBy(r.by_hour, ICAL_BY_HOUR_SIZE))) *
                                 qMax(1, countBy(r.by_minute, ICAL_BY_MINUTE_SIZE)) *
                                 qMax(1, countBy(r.by_second, ICAL_BY_SECOND_SIZE));
            const qint64 changes = worstSteps(r, year) * days * times;
            if (r.freq != ICAL_YEARLY_RECURRENCE || changes > kMaxChanges || worstSteps(r, year) > kMaxRuleSteps)
                costly += p;
        }
        for (icalproperty* p : std::as_const(costly)) {
            icalcomponent_remove_property(part, p);
            icalproperty_free(p);
            dropped = true;
        }
    }
    return dropped;
}

} // namespace

void CalendarReader::keepTimeZone(const CalendarItem& block)
{
    ComponentPtr component(icalparser_parse_string(block.lines.join(QStringLiteral("\r\n")).toUtf8().constData()));
    if (!component)
        return;
    icalproperty* tzidProp = icalcomponent_get_first_property(component.get(), ICAL_TZID_PROPERTY);
    if (!tzidProp)
        return;
    const QString tzid = QString::fromUtf8(icalproperty_get_tzid(tzidProp));
    if (dropCostlyZoneRules(component.get()))
        m_costlyZones += tzid;
    icaltimezone* zone = icaltimezone_new();
    // The zone takes the component over when it accepts it.
    if (icaltimezone_set_component(zone, component.get())) {
        component.release();
        if (icaltimezone* old = m_zones.take(tzid))
            icaltimezone_free(old, 1);
        m_zones.insert(tzid, zone);
    } else {
        icaltimezone_free(zone, 1);
    }
}

namespace {

// The start of an event or to-do in local time. Raises LineError for a start that does not exist.
QDateTime localStartUnchecked(icalproperty* start, int startLine, const CalendarReader& reader, ImportNotes& notes);

// Pennaro keeps dates as "dd/mm/yyyy": a start whose local date falls outside years 1-9999
// cannot be kept and is refused rather than cut.
QDateTime localStart(icalproperty* start, int startLine, const CalendarReader& reader, ImportNotes& notes)
{
    const QDateTime local = localStartUnchecked(start, startLine, reader, notes);
    if (!local.isValid() || local.date().year() < 1 || local.date().year() > 9999)
        throw LineError(startLine,
                        QStringLiteral("la fecha de inicio «%1» queda fuera de los años 1 a 9999 en hora local")
                            .arg(QString::fromUtf8(icalproperty_get_value_as_string(start)).left(40)));
    return local;
}

QDateTime localStartUnchecked(icalproperty* start, int startLine, const CalendarReader& reader, ImportNotes& notes)
{
    const icaltimetype t = icalproperty_get_dtstart(start);
    const QDate date(t.year, t.month, t.day);
    if (icaltime_is_null_time(t) || !date.isValid() || (!t.is_date && !QTime::isValid(t.hour, t.minute, t.second)))
        throw LineError(startLine, QStringLiteral("la fecha de inicio «%1» no existe")
                                       .arg(QString::fromUtf8(icalproperty_get_value_as_string(start)).left(40)));
    if (t.is_date)
        return QDateTime(date, QTime(0, 0), Qt::LocalTime);
    const QTime time(t.hour, t.minute, t.second);
    if (icaltime_is_utc(t))
        return QDateTime(date, time, Qt::UTC).toLocalTime();
    icalparameter* tzParam = icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER);
    const QString tzid = tzParam ? QString::fromUtf8(icalparameter_get_tzid(tzParam)) : QString();
    if (tzid.isEmpty())
        return QDateTime(date, time, Qt::LocalTime);
    // A zone the file defines, else one the system knows by its IANA or Windows name.
    if (icaltimezone* zone = reader.zone(tzid))
        return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(t, zone)), Qt::LocalTime);
    // Only a name of the system's zone database: QTimeZone also reads a POSIX TZ text, which
    // takes any word ("Custom") for a zone at UTC.
    QTimeZone qzone;
    if (QTimeZone::isTimeZoneIdAvailable(tzid.toUtf8()))
        qzone = QTimeZone(tzid.toUtf8());
    if (!qzone.isValid()) {
        // No Windows name gives an empty id, and QTimeZone takes an empty id for the system's
        // own zone: that would pass an unknown zone off as a known one.
        const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(tzid.toUtf8());
        if (!iana.isEmpty())
            qzone = QTimeZone(iana);
    }
    if (qzone.isValid())
        return QDateTime(date, time, qzone).toLocalTime();
    notes.notes += QStringLiteral("zona horaria desconocida, tomada como hora local");
    return QDateTime(date, time, Qt::LocalTime);
}

// The repeat of the component's rule when Pennaro can express it. A rule it cannot express
// moves `start` to the rule's next occurrence after `now`, is noted, and gives no repeat.
Repeat repeatOf(icalcomponent* component, const CalendarItem& item, const QDateTime& now, QDateTime& start,
                ImportNotes& notes)
{
    icalproperty* rrule = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY);
    if (!rrule) {
        if (item.lineOf("RRULE") != item.firstLine)
            throw LineError(item.lineOf("RRULE"), QStringLiteral("la regla de repetición no es válida"));
        return Repeat{0, kDays};
    }
    const QString rule = QString::fromUtf8(icalproperty_get_value_as_string(rrule));
    if (const std::optional<Repeat> kept = repeatFromRule(rule, start.date(), item.lineOf("RRULE")))
        return *kept;
    const NextDate next = nextDate(rule, start, now);
    if (next.gaveUp) {
        notes.costlyRule = rule; // the start stays
    } else {
        start = next.when;
        notes.unsupportedRule = rule;
    }
    return Repeat{0, kDays};
}

// The reminder's text: the summary or, without one, the description.
QString reminderText(icalcomponent* component)
{
    QString text;
    if (icalproperty* p = icalcomponent_get_first_property(component, ICAL_SUMMARY_PROPERTY))
        text = QString::fromUtf8(icalproperty_get_summary(p));
    if (text.isEmpty())
        if (icalproperty* p = icalcomponent_get_first_property(component, ICAL_DESCRIPTION_PROPERTY))
            text = QString::fromUtf8(icalproperty_get_description(p));
    return text;
}

// What Pennaro's own properties keep of a reminder that the standard ones do not carry.
struct OwnProperties
{
    bool read = false;
    QString countText;
    QString unit;
};

void readOwnProperties(icalcomponent* component, OwnProperties& own)
{
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
        const QByteArray name = QByteArray(icalproperty_get_x_name(p)).toUpper();
        const QString value = QString::fromUtf8(icalproperty_get_x(p));
        if (name == "X-PENNARO-LEIDO")
            own.read = value.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
        else if (name == "X-PENNARO-REPETIRN")
            own.countText = value;
        else if (name == "X-PENNARO-REPETIRS")
            own.unit = value;
    }
}

bool hasSoundAlarm(icalcomponent* component)
{
    for (icalcomponent* alarm = icalcomponent_get_first_component(component, ICAL_VALARM_COMPONENT); alarm;
         alarm = icalcomponent_get_next_component(component, ICAL_VALARM_COMPONENT)) {
        icalproperty* action = icalcomponent_get_first_property(alarm, ICAL_ACTION_PROPERTY);
        if (action && icalproperty_get_action(action) == ICAL_ACTION_AUDIO)
            return true;
    }
    return false;
}

} // namespace

Record reminderFromItem(const CalendarItem& item, const CalendarReader& reader, const QDateTime& now,
                        ImportNotes& notes)
{
    ComponentPtr component(icalparser_parse_string(item.lines.join(QStringLiteral("\r\n")).toUtf8().constData()));
    if (!component)
        throw LineError(item.firstLine, QStringLiteral("el componente %1 no se puede leer").arg(item.kind));
    Record reminder;
    icalproperty* start = icalcomponent_get_first_property(component.get(), ICAL_DTSTART_PROPERTY);
    if (!start) {
        if (item.lineOf("DTSTART") != item.firstLine)
            throw LineError(item.lineOf("DTSTART"), QStringLiteral("la fecha de inicio no se puede leer"));
        notes.skipReason = QStringLiteral("sin fecha de inicio");
        return reminder;
    }
    QDateTime local = localStart(start, item.lineOf("DTSTART"), reader, notes);
    const Repeat repeat = repeatOf(component.get(), item, now, local, notes);
    const QString text = reminderText(component.get());
    OwnProperties own{false, QString::number(repeat.count), repeat.unit};
    readOwnProperties(component.get(), own);
    if (item.kind == QLatin1String("VTODO") && icalcomponent_get_status(component.get()) == ICAL_STATUS_COMPLETED)
        own.read = true;

    setText(reminder, reminderField(QStringLiteral("Fecha")), local.date().toString(QStringLiteral("dd/MM/yyyy")),
            notes);
    setText(reminder, reminderField(QStringLiteral("Hora")), local.time().toString(QStringLiteral("HH:mm:ss")), notes);
    setText(reminder, reminderField(QStringLiteral("Recordatorio")), text, notes);
    reminder.insert(QStringLiteral("Playsound"), hasSoundAlarm(component.get()));
    reminder.insert(QStringLiteral("Leido"), own.read);
    setText(reminder, reminderField(QStringLiteral("RepetirN")), own.countText, notes);
    setText(reminder, reminderField(QStringLiteral("RepetirS")), own.unit, notes);
    return reminder;
}

} // namespace exchange
