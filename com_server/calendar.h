// The proleptic Gregorian calendar as day counts: the one place that turns a civil date into days
// since 1970-01-01 and back, the date serial's epoch (day 0 = 1899-12-30) and the weekday. Counts
// agree with std::chrono::sys_days where a std::chrono::year can hold the year; these work for any
// 64-bit year, which script dates and out-of-range serials need.
#pragma once

#include <chrono>
#include <cstdint>

namespace orvan::com::calendar {

struct CivilDate {
    std::int64_t year = 1970;
    unsigned month = 1;  // 1-12
    unsigned day = 1;    // 1-31
};

// Days since 1970-01-01 of year-month-day (month 1-12, day 1-31; a day past the month's end counts
// on into the next month).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The civil date of a count of days since 1970-01-01 (any count, also negative).
constexpr CivilDate civilFromDays(std::int64_t z) noexcept {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

constexpr bool isLeapYear(std::int64_t y) noexcept {
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

// 28-31 for month 1-12 of year y.
constexpr unsigned daysInMonth(std::int64_t y, unsigned m) noexcept {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// 0 = Sunday ... 6 = Saturday, for a count of days since 1970-01-01 (a Thursday).
constexpr unsigned weekdayFromDays(std::int64_t days) noexcept {
    return static_cast<unsigned>(((days + 4) % 7 + 7) % 7);
}

// Day 0 of a date serial (1899-12-30) in days since 1970-01-01.
inline constexpr std::int64_t kSerialEpochDays = daysFromCivil(1899, 12, 30);
// The calendar the classic runtime covers: serial days of 0100-01-01 and 9999-12-31.
inline constexpr double kFirstSerialDay = -657434.0;
inline constexpr double kLastSerialDay = 2958465.0;

static_assert(daysFromCivil(100, 1, 1) - kSerialEpochDays == -657434);
static_assert(daysFromCivil(9999, 12, 31) - kSerialEpochDays == 2958465);
static_assert(daysFromCivil(2024, 2, 29) ==
              std::chrono::sys_days(std::chrono::year(2024) / 2 / 29).time_since_epoch().count());

}  // namespace orvan::com::calendar
