// The calendar's day counts: civil dates to days since 1970-01-01 and back, the date serial's epoch,
// leap years, month lengths and weekdays, checked against known dates and std::chrono.
#include "com_server/calendar.h"

#include <gtest/gtest.h>

#include <chrono>

namespace orvan::com::calendar {
namespace {

TEST(Calendar, KnownDatesHaveTheirDayCounts) {
    struct Case {
        std::int64_t y;
        unsigned m, d;
        std::int64_t days;
    } cases[] = {
        {1970, 1, 1, 0},         {1969, 12, 31, -1},        {2000, 1, 1, 10957},
        {2024, 1, 1, 19723},     {2024, 2, 29, 19782},      {2024, 3, 1, 19783},
        {1899, 12, 30, -25569},  {1900, 3, 1, -25508},      {1600, 2, 29, -135081},
        {1, 1, 1, -719162},      {0, 3, 1, -719468},        {-1, 12, 31, -719529},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(daysFromCivil(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
        const CivilDate back = civilFromDays(c.days);
        EXPECT_EQ(back.year, c.y) << c.days;
        EXPECT_EQ(back.month, c.m) << c.days;
        EXPECT_EQ(back.day, c.d) << c.days;
    }
}

TEST(Calendar, SerialEpochAndRangeMatchTheRuntimeCalendar) {
    EXPECT_EQ(kSerialEpochDays, -25569);
    EXPECT_EQ(daysFromCivil(100, 1, 1) - kSerialEpochDays, static_cast<std::int64_t>(kFirstSerialDay));
    EXPECT_EQ(daysFromCivil(9999, 12, 31) - kSerialEpochDays, static_cast<std::int64_t>(kLastSerialDay));
    // Serial 45658 is 2025-01-01 (the well-known spreadsheet serial of that day).
    const CivilDate d = civilFromDays(45658 + kSerialEpochDays);
    EXPECT_EQ(d.year, 2025);
    EXPECT_EQ(d.month, 1u);
    EXPECT_EQ(d.day, 1u);
}

TEST(Calendar, AgreesWithChronoOverFourCenturiesAndBeyond) {
    using namespace std::chrono;
    for (int y = 1599; y <= 2401; ++y)
        for (unsigned m = 1; m <= 12; ++m) {
            const year_month_day last = year(y) / month(m) / std::chrono::last;
            const auto expected = sys_days(last).time_since_epoch().count();
            ASSERT_EQ(daysFromCivil(y, m, static_cast<unsigned>(last.day())), expected) << y << "-" << m;
            ASSERT_EQ(daysInMonth(y, m), static_cast<unsigned>(last.day())) << y << "-" << m;
        }
    // A script date can reach years a std::chrono::year cannot hold.
    const std::int64_t far = daysFromCivil(275760, 9, 13);
    EXPECT_EQ(far, 100000000);
    const CivilDate back = civilFromDays(far);
    EXPECT_EQ(back.year, 275760);
    EXPECT_EQ(back.month, 9u);
    EXPECT_EQ(back.day, 13u);
}

TEST(Calendar, LeapYearsAndWeekdays) {
    struct Leap {
        std::int64_t y;
        bool leap;
    } leaps[] = {{1900, false}, {2000, true}, {2023, false}, {2024, true}, {2100, false}, {1600, true}};
    for (const Leap& l : leaps) EXPECT_EQ(isLeapYear(l.y), l.leap) << l.y;

    struct Day {
        std::int64_t y;
        unsigned m, d, weekday;  // 0 = Sunday
    } days[] = {{1970, 1, 1, 4}, {1899, 12, 30, 6}, {2024, 1, 1, 1}, {2000, 2, 29, 2}, {1600, 1, 1, 6}};
    for (const Day& d : days) EXPECT_EQ(weekdayFromDays(daysFromCivil(d.y, d.m, d.d)), d.weekday) << d.y;
}

}  // namespace
}  // namespace orvan::com::calendar
