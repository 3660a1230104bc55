// The library's date functions: the clock (Now, Date, Time, Timer), the parts of a date, names of
// days and months from the regional settings, and date arithmetic (DateAdd, DateDiff, DatePart,
// DateSerial, TimeSerial). Arithmetic runs on whole seconds along a linear time line, since a date
// serial below zero keeps its time of day as a positive fraction.
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

#include "com_server/regional.h"
#include "vbscript/internal/library_impl.h"
#include "vbscript/internal/text.h"

namespace orvan::vbs::lib {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kFirstDay = -657434;  // 100-01-01
constexpr std::int64_t kLastDay = 2958465;   // 9999-12-31

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Seconds along the time line from 1899-12-30 00:00 of a date serial.
std::int64_t secondsOf(double serial) {
    const com::DateParts p = com::splitDate(serial);
    return text::serialDay(p.year, p.month, p.day) * kSecondsPerDay + p.hour * 3600 + p.minute * 60 + p.second;
}

// The date serial of a point on that line; error 5 outside the years 100-9999.
double serialOf(std::int64_t seconds) {
    const std::int64_t day = floorDiv(seconds, kSecondsPerDay);
    if (day < kFirstDay || day > kLastDay) fail(com::err::InvalidCall);
    const double time = static_cast<double>(seconds - day * kSecondsPerDay) / kSecondsPerDay;
    return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

std::int64_t dayOf(const com::DateParts& p) { return text::serialDay(p.year, p.month, p.day); }

// Sunday 0 .. Saturday 6 of a serial day number (day 0, 1899-12-30, was a Saturday).
int weekdayIndex(std::int64_t day) { return static_cast<int>(((day + 6) % 7 + 7) % 7); }

// The first day of the week argument at i: 1 (Sunday) .. 7; 0 means the system's, Sunday. Else 5.
int firstDayArg(Args a, std::size_t i) {
    if (!given(a, i)) return 1;
    const std::int32_t f = longArg(a[i]);
    if (f < 0 || f > 7) fail(com::err::InvalidCall);
    return f == 0 ? 1 : f;
}

int firstWeekArg(Args a, std::size_t i) {
    if (!given(a, i)) return 1;
    const std::int32_t f = longArg(a[i]);
    if (f < 0 || f > 3) fail(com::err::InvalidCall);
    return f == 0 ? 1 : f;
}

// The weekday of day counted from the first day of the week: 1 .. 7.
int weekdayFrom(std::int64_t day, int firstDay) { return (weekdayIndex(day) - (firstDay - 1) + 7) % 7 + 1; }

std::int64_t weekStart(std::int64_t day, int firstDay) { return day - (weekdayFrom(day, firstDay) - 1); }

// The first day of week 1 of a year under the first-week rule (1 week of Jan 1, 2 first week with
// four days of the year, 3 first full week).
std::int64_t firstWeekStart(std::int64_t year, int firstDay, int rule) {
    const std::int64_t jan1 = text::serialDay(year, 1, 1);
    const std::int64_t start = weekStart(jan1, firstDay);
    const std::int64_t daysInYear = 7 - (jan1 - start);
    if (rule == 2) return daysInYear >= 4 ? start : start + 7;
    if (rule == 3) return start == jan1 ? start : start + 7;
    return start;
}

int weekOfYear(std::int64_t day, int year, int firstDay, int rule) {
    std::int64_t w1 = firstWeekStart(year, firstDay, rule);
    if (day < w1) w1 = firstWeekStart(year - 1, firstDay, rule);
    else if (rule != 1 && day >= firstWeekStart(year + 1, firstDay, rule)) return 1;
    return static_cast<int>((day - w1) / 7 + 1);
}

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

Interval intervalArg(const Variant& v) {
    if (v.isNull()) fail(com::err::InvalidUseOfNull);
    std::string s = com::CStr(v);
    for (auto& c : s) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
    if (s == "yyyy") return Interval::Year;
    if (s == "q") return Interval::Quarter;
    if (s == "m") return Interval::Month;
    if (s == "y") return Interval::DayOfYear;
    if (s == "d") return Interval::Day;
    if (s == "w") return Interval::Weekday;
    if (s == "ww") return Interval::Week;
    if (s == "h") return Interval::Hour;
    if (s == "n") return Interval::Minute;
    if (s == "s") return Interval::Second;
    fail(com::err::InvalidCall);
}

// Year, Month, ... : Null gives Null, anything else is read as a date.
template <typename F>
Variant partOf(Args a, F f) {
    if (a[0].isNull()) return Variant::null();
    return Variant(static_cast<std::int16_t>(f(com::splitDate(com::CDate(a[0])))));
}

std::int32_t toLong(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        fail(com::err::Overflow);
    return static_cast<std::int32_t>(v);
}

}  // namespace

Variant Now(Args) { return Variant::date(com::now()); }

Variant Date(Args) { return Variant::date(std::trunc(com::now())); }

Variant Time(Args) {
    const double n = com::now();
    return Variant::date(n - std::trunc(n));
}

Variant Timer(Args) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm lt{};
    localtime_r(&t, &lt);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const double seconds = lt.tm_hour * 3600 + lt.tm_min * 60 + std::min(lt.tm_sec, 59) + static_cast<double>(ms) / 1000.0;
    return Variant::single(static_cast<float>(seconds));
}

Variant Year(Args a) {
    return partOf(a, [](const com::DateParts& p) { return p.year; });
}
Variant Month(Args a) {
    return partOf(a, [](const com::DateParts& p) { return p.month; });
}
Variant Day(Args a) {
    return partOf(a, [](const com::DateParts& p) { return p.day; });
}
Variant Hour(Args a) {
    return partOf(a, [](const com::DateParts& p) { return p.hour; });
}
Variant Minute(Args a) {
    return partOf(a, [](const com::DateParts& p) { return p.minute; });
}
Variant Second(Args a) {
    return partOf(a, [](const com::DateParts& p) { return p.second; });
}

Variant Weekday(Args a) {
    const int firstDay = firstDayArg(a, 1);
    if (a[0].isNull()) return Variant::null();
    const com::DateParts p = com::splitDate(com::CDate(a[0]));
    return Variant(static_cast<std::int16_t>(weekdayFrom(dayOf(p), firstDay)));
}

Variant WeekdayName(Args a) {
    const std::int32_t n = longArg(a[0]);
    const bool abbreviate = given(a, 1) && com::CBool(a[1]);
    const int firstDay = firstDayArg(a, 2);
    if (n < 1 || n > 7) fail(com::err::InvalidCall);
    const auto index = static_cast<std::size_t>((n - 1 + firstDay - 1) % 7);
    const com::Regional& r = com::currentRegional();
    return Variant(abbreviate ? r.dayAbbrevs[index] : r.dayNames[index]);
}

Variant MonthName(Args a) {
    const std::int32_t n = longArg(a[0]);
    const bool abbreviate = given(a, 1) && com::CBool(a[1]);
    if (n < 1 || n > 12) fail(com::err::InvalidCall);
    const com::Regional& r = com::currentRegional();
    const auto index = static_cast<std::size_t>(n - 1);
    return Variant(abbreviate ? r.monthAbbrevs[index] : r.monthNames[index]);
}

Variant DateAdd(Args a) {
    const Interval iv = intervalArg(a[0]);
    if (a[1].isNull()) fail(com::err::InvalidUseOfNull);
    const double number = std::trunc(com::CDbl(a[1]));
    if (a[2].isNull()) return Variant::null();
    const double serial = com::CDate(a[2]);
    if (std::fabs(number) > 1e10) fail(com::err::InvalidCall);
    const auto n = static_cast<std::int64_t>(number);
    const std::int64_t secs = secondsOf(serial);
    switch (iv) {
        case Interval::Year:
        case Interval::Quarter:
        case Interval::Month: {
            const std::int64_t months = iv == Interval::Year ? n * 12 : iv == Interval::Quarter ? n * 3 : n;
            com::DateParts p = com::splitDate(serial);
            const std::int64_t total = p.year * 12 + (p.month - 1) + months;
            const std::int64_t year = floorDiv(total, 12);
            const int month = static_cast<int>(total - year * 12 + 1);
            if (year < 100 || year > 9999) fail(com::err::InvalidCall);
            // The day is clamped to the new month's length: Jan 31 + 1 month is Feb 28 (or 29).
            const int day = std::min(p.day, text::daysInMonth(year, month));
            const std::int64_t timeOfDay = secs - dayOf(p) * kSecondsPerDay;
            return Variant::date(serialOf(text::serialDay(year, month, day) * kSecondsPerDay + timeOfDay));
        }
        case Interval::DayOfYear:
        case Interval::Day:
        case Interval::Weekday:
            return Variant::date(serialOf(secs + n * kSecondsPerDay));
        case Interval::Week:
            return Variant::date(serialOf(secs + n * 7 * kSecondsPerDay));
        case Interval::Hour:
            return Variant::date(serialOf(secs + n * 3600));
        case Interval::Minute:
            return Variant::date(serialOf(secs + n * 60));
        case Interval::Second:
            return Variant::date(serialOf(secs + n));
    }
    fail(com::err::InvalidCall);
}

Variant DateDiff(Args a) {
    const Interval iv = intervalArg(a[0]);
    const int firstDay = firstDayArg(a, 3);
    firstWeekArg(a, 4);
    if (a[1].isNull() || a[2].isNull()) return Variant::null();
    const double d1 = com::CDate(a[1]), d2 = com::CDate(a[2]);
    const com::DateParts p1 = com::splitDate(d1), p2 = com::splitDate(d2);
    const std::int64_t s1 = secondsOf(d1), s2 = secondsOf(d2);
    const std::int64_t day1 = dayOf(p1), day2 = dayOf(p2);
    switch (iv) {
        case Interval::Year:
            return Variant(toLong(p2.year - p1.year));
        case Interval::Quarter:
            return Variant(toLong((p2.year * 4 + (p2.month - 1) / 3) - (p1.year * 4 + (p1.month - 1) / 3)));
        case Interval::Month:
            return Variant(toLong((p2.year * 12 + p2.month) - (p1.year * 12 + p1.month)));
        case Interval::DayOfYear:
        case Interval::Day:
            return Variant(toLong(day2 - day1));
        case Interval::Weekday:
            return Variant(toLong((day2 - day1) / 7));
        case Interval::Week:
            return Variant(toLong((weekStart(day2, firstDay) - weekStart(day1, firstDay)) / 7));
        case Interval::Hour:
            return Variant(toLong(floorDiv(s2, 3600) - floorDiv(s1, 3600)));
        case Interval::Minute:
            return Variant(toLong(floorDiv(s2, 60) - floorDiv(s1, 60)));
        case Interval::Second:
            return Variant(toLong(s2 - s1));
    }
    fail(com::err::InvalidCall);
}

Variant DatePart(Args a) {
    const Interval iv = intervalArg(a[0]);
    const int firstDay = firstDayArg(a, 2);
    const int rule = firstWeekArg(a, 3);
    if (a[1].isNull()) return Variant::null();
    const com::DateParts p = com::splitDate(com::CDate(a[1]));
    const std::int64_t day = dayOf(p);
    int v = 0;
    switch (iv) {
        case Interval::Year: v = p.year; break;
        case Interval::Quarter: v = (p.month - 1) / 3 + 1; break;
        case Interval::Month: v = p.month; break;
        case Interval::DayOfYear: v = static_cast<int>(day - text::serialDay(p.year, 1, 1) + 1); break;
        case Interval::Day: v = p.day; break;
        case Interval::Weekday: v = weekdayFrom(day, firstDay); break;
        case Interval::Week: v = weekOfYear(day, p.year, firstDay, rule); break;
        case Interval::Hour: v = p.hour; break;
        case Interval::Minute: v = p.minute; break;
        case Interval::Second: v = p.second; break;
    }
    return Variant(static_cast<std::int16_t>(v));
}

Variant DateSerial(Args a) {
    std::int64_t year = longArg(a[0]);
    const std::int64_t month = longArg(a[1]), day = longArg(a[2]);
    if (year >= 0 && year <= 99) year += 1900;
    // Months and days out of range roll over into the next or previous year and month.
    const std::int64_t total = year * 12 + (month - 1);
    const std::int64_t y = floorDiv(total, 12);
    const int m = static_cast<int>(total - y * 12 + 1);
    if (y < 0 || y > 20000) fail(com::err::InvalidCall);
    return Variant::date(serialOf((text::serialDay(y, m, 1) + day - 1) * kSecondsPerDay));
}

Variant TimeSerial(Args a) {
    const std::int64_t seconds = static_cast<std::int64_t>(longArg(a[0])) * 3600 +
                                 static_cast<std::int64_t>(longArg(a[1])) * 60 + longArg(a[2]);
    return Variant::date(serialOf(seconds));
}

Variant DateValue(Args a) {
    if (a[0].isNull()) return Variant::null();
    const com::DateParts p = com::splitDate(com::CDate(a[0]));
    return Variant::date(static_cast<double>(dayOf(p)));
}

Variant TimeValue(Args a) {
    if (a[0].isNull()) return Variant::null();
    const com::DateParts p = com::splitDate(com::CDate(a[0]));
    return Variant::date(static_cast<double>(p.hour * 3600 + p.minute * 60 + p.second) / kSecondsPerDay);
}

}  // namespace orvan::vbs::lib
