// The date functions: parts, weekday and names under both regional presets, DateAdd with month-end
// clamping, DateDiff's counting of boundaries, DatePart's week rules, DateSerial/TimeSerial roll-over.
#include <cmath>

#include "tests/vbscript/library_test_support.h"

namespace orvan::vbs::testing {
namespace {

const Variant kMonday = Dt(2009, 1, 5, 7, 3, 9);  // a Monday

TEST(DateFunctions, ReadThePartsOfADate) {
    com::RegionalScope scope(com::Regional::enUS());
    runCases({
        {"Year", {kMonday}, "Integer:2009"},
        {"Month", {kMonday}, "Integer:1"},
        {"Day", {kMonday}, "Integer:5"},
        {"Hour", {kMonday}, "Integer:7"},
        {"Minute", {kMonday}, "Integer:3"},
        {"Second", {kMonday}, "Integer:9"},
        {"Year", {Null()}, "Null"},
        {"Month", {S("5/1/2009")}, "Integer:5"},
        {"Day", {S("abc")}, "error 13"},
        {"Hour", {Dt(1899, 12, 29, 6, 0, 0)}, "Integer:6"},
        {"Weekday", {kMonday}, "Integer:2"},
        {"Weekday", {kMonday, L(2)}, "Integer:1"},
        {"Weekday", {kMonday, L(7)}, "Integer:3"},
        {"Weekday", {kMonday, L(0)}, "Integer:2"},
        {"Weekday", {Dt(1899, 12, 30)}, "Integer:7"},
        {"Weekday", {kMonday, L(8)}, "error 5"},
    });
    com::RegionalScope pt(com::Regional::ptBR());
    EXPECT_EQ(show(call("Month", {S("5/1/2009")})), "Integer:1") << "pt-BR reads day first";
}

TEST(DateFunctions, NameDaysAndMonthsFromTheRegionalSettings) {
    struct NameCase {
        const char* fn;
        std::vector<Variant> args;
        const char* ptBR;
        const char* enUS;
    };
    const std::vector<NameCase> cases = {
        {"WeekdayName", {L(1)}, "domingo", "Sunday"},
        {"WeekdayName", {L(1), B(true)}, "dom", "Sun"},
        {"WeekdayName", {L(1), B(false), L(2)}, "segunda-feira", "Monday"},
        {"WeekdayName", {L(7), B(true), L(2)}, "dom", "Sun"},
        {"WeekdayName", {L(7)}, "sábado", "Saturday"},
        {"MonthName", {L(1)}, "janeiro", "January"},
        {"MonthName", {L(3)}, "março", "March"},
        {"MonthName", {L(12), B(true)}, "dez", "Dec"},
    };
    for (const auto& c : cases) {
        for (const com::Regional* r : {&com::Regional::ptBR(), &com::Regional::enUS()}) {
            com::RegionalScope scope(*r);
            EXPECT_EQ(call(c.fn, c.args).rawString(), r == &com::Regional::ptBR() ? c.ptBR : c.enUS)
                << c.fn << " case " << (&c - cases.data());
        }
    }
    EXPECT_EQ(errorOf([] { call("WeekdayName", {L(0)}); }), com::err::InvalidCall);
    EXPECT_EQ(errorOf([] { call("WeekdayName", {L(8)}); }), com::err::InvalidCall);
    EXPECT_EQ(errorOf([] { call("MonthName", {L(13)}); }), com::err::InvalidCall);
    EXPECT_EQ(errorOf([] { call("MonthName", {L(0)}); }), com::err::InvalidCall);
}

TEST(DateFunctions, DateAddMovesByEachIntervalAndClampsToTheMonthsEnd) {
    com::RegionalScope scope(com::Regional::enUS());
    runCases({
        {"DateAdd", {S("m"), L(1), Dt(1995, 1, 31)}, "Date:2/28/1995"},
        {"DateAdd", {S("m"), L(1), Dt(1996, 1, 31)}, "Date:2/29/1996"},
        {"DateAdd", {S("M"), L(-1), Dt(1900, 3, 31)}, "Date:2/28/1900"},
        {"DateAdd", {S("yyyy"), L(1), Dt(2000, 2, 29)}, "Date:2/28/2001"},
        {"DateAdd", {S("q"), L(1), Dt(2009, 11, 30, 8, 0, 0)}, "Date:2/28/2010 8:00:00 AM"},
        {"DateAdd", {S("d"), L(-1), Dt(2009, 1, 1)}, "Date:12/31/2008"},
        {"DateAdd", {S("y"), L(1), Dt(2009, 12, 31)}, "Date:1/1/2010"},
        {"DateAdd", {S("w"), L(3), kMonday}, "Date:1/8/2009 7:03:09 AM"},
        {"DateAdd", {S("ww"), L(2), Dt(2009, 1, 5)}, "Date:1/19/2009"},
        {"DateAdd", {S("h"), L(25), Dt(2009, 1, 5, 7, 3, 0)}, "Date:1/6/2009 8:03:00 AM"},
        {"DateAdd", {S("n"), L(-4), Dt(2009, 1, 5, 0, 2, 0)}, "Date:1/4/2009 11:58:00 PM"},
        {"DateAdd", {S("s"), L(61), Dt(2009, 1, 5)}, "Date:1/5/2009 12:01:01 AM"},
        {"DateAdd", {S("h"), L(1), Dt(1899, 12, 29, 6, 0, 0)}, "Date:12/29/1899 7:00:00 AM"},
        {"DateAdd", {S("h"), L(-7), Dt(1899, 12, 30, 6, 0, 0)}, "Date:12/29/1899 11:00:00 PM"},
        {"DateAdd", {S("d"), L(1), Null()}, "Null"},
        {"DateAdd", {S("x"), L(1), kMonday}, "error 5"},
        {"DateAdd", {S("yyyy"), L(10000), kMonday}, "error 5"},
        {"DateAdd", {S("d"), L(1), S("abc")}, "error 13"},
    });
}

TEST(DateFunctions, DateDiffCountsTheBoundariesCrossed) {
    com::RegionalScope scope(com::Regional::enUS());
    runCases({
        {"DateDiff", {S("yyyy"), Dt(2008, 12, 31), Dt(2009, 1, 1)}, "Long:1"},
        {"DateDiff", {S("q"), Dt(2008, 12, 31), Dt(2009, 1, 1)}, "Long:1"},
        {"DateDiff", {S("m"), Dt(2009, 1, 31), Dt(2009, 2, 1)}, "Long:1"},
        {"DateDiff", {S("m"), Dt(2009, 3, 1), Dt(2009, 1, 31)}, "Long:-2"},
        {"DateDiff", {S("d"), Dt(2009, 1, 5, 23, 0, 0), Dt(2009, 1, 6, 1, 0, 0)}, "Long:1"},
        {"DateDiff", {S("y"), Dt(2009, 1, 6), Dt(2009, 1, 5)}, "Long:-1"},
        {"DateDiff", {S("h"), Dt(2009, 1, 5, 7, 59, 59), Dt(2009, 1, 5, 8, 0, 0)}, "Long:1"},
        {"DateDiff", {S("n"), Dt(2009, 1, 5, 7, 59, 59), Dt(2009, 1, 5, 8, 0, 0)}, "Long:1"},
        {"DateDiff", {S("s"), Dt(2009, 1, 5), Dt(2009, 1, 5, 0, 1, 1)}, "Long:61"},
        {"DateDiff", {S("w"), Dt(2009, 1, 5), Dt(2009, 1, 18)}, "Long:1"},
        {"DateDiff", {S("w"), Dt(2009, 1, 5), Dt(2009, 1, 19)}, "Long:2"},
        {"DateDiff", {S("ww"), Dt(2009, 1, 5), Dt(2009, 1, 18)}, "Long:2"},
        {"DateDiff", {S("ww"), Dt(2009, 1, 5), Dt(2009, 1, 18), L(2)}, "Long:1"},
        {"DateDiff", {S("ww"), Dt(2009, 1, 4), Dt(2009, 1, 10)}, "Long:0"},
        {"DateDiff", {S("d"), Null(), kMonday}, "Null"},
        {"DateDiff", {S("z"), kMonday, kMonday}, "error 5"},
        {"DateDiff", {S("s"), Dt(100, 1, 1), Dt(9999, 1, 1)}, "error 6"},
    });
}

TEST(DateFunctions, DatePartGivesEachPartAndWeekNumbersByTheWeekRules) {
    com::RegionalScope scope(com::Regional::enUS());
    runCases({
        {"DatePart", {S("yyyy"), kMonday}, "Integer:2009"},
        {"DatePart", {S("q"), Dt(2009, 5, 1)}, "Integer:2"},
        {"DatePart", {S("m"), Dt(2009, 5, 1)}, "Integer:5"},
        {"DatePart", {S("y"), Dt(2009, 2, 1)}, "Integer:32"},
        {"DatePart", {S("d"), Dt(2009, 2, 1)}, "Integer:1"},
        {"DatePart", {S("w"), kMonday}, "Integer:2"},
        {"DatePart", {S("w"), kMonday, L(2)}, "Integer:1"},
        {"DatePart", {S("ww"), Dt(2009, 1, 1)}, "Integer:1"},
        {"DatePart", {S("ww"), Dt(2009, 1, 4)}, "Integer:2"},
        {"DatePart", {S("ww"), Dt(2009, 12, 31)}, "Integer:53"},
        {"DatePart", {S("ww"), Dt(2009, 12, 31), L(2), L(2)}, "Integer:53"},
        {"DatePart", {S("ww"), Dt(2010, 1, 3), L(2), L(2)}, "Integer:53"},
        {"DatePart", {S("ww"), Dt(2010, 1, 4), L(2), L(2)}, "Integer:1"},
        {"DatePart", {S("ww"), Dt(2008, 12, 29), L(2), L(2)}, "Integer:1"},
        {"DatePart", {S("ww"), Dt(2009, 1, 1), L(1), L(3)}, "Integer:52"},
        {"DatePart", {S("ww"), Dt(2009, 1, 4), L(1), L(3)}, "Integer:1"},
        {"DatePart", {S("h"), kMonday}, "Integer:7"},
        {"DatePart", {S("n"), kMonday}, "Integer:3"},
        {"DatePart", {S("s"), kMonday}, "Integer:9"},
        {"DatePart", {S("d"), Null()}, "Null"},
        {"DatePart", {S("ww"), kMonday, L(1), L(4)}, "error 5"},
    });
}

TEST(DateFunctions, SerialFunctionsRollOverOutOfRangeParts) {
    com::RegionalScope scope(com::Regional::enUS());
    runCases({
        {"DateSerial", {L(2020), L(13), L(1)}, "Date:1/1/2021"},
        {"DateSerial", {L(1969), L(2), L(12)}, "Date:2/12/1969"},
        {"DateSerial", {L(1990 - 10), L(8 - 2), L(1 - 1)}, "Date:5/31/1980"},
        {"DateSerial", {L(2009), L(0), L(0)}, "Date:11/30/2008"},
        {"DateSerial", {L(2009), L(-13), L(1)}, "Date:11/1/2007"},
        {"DateSerial", {L(2009), L(2), L(29)}, "Date:3/1/2009"},
        {"DateSerial", {L(99), L(1), L(1)}, "Date:1/1/1999"},
        {"DateSerial", {L(10000), L(1), L(1)}, "error 5"},
        {"DateSerial", {Null(), L(1), L(1)}, "error 94"},
        {"TimeSerial", {L(12 - 6), L(-15), L(0)}, "Date:5:45:00 AM"},
        {"TimeSerial", {L(17), L(30), L(0)}, "Date:5:30:00 PM"},
        {"TimeSerial", {L(0), L(0), L(90)}, "Date:12:01:30 AM"},
        {"TimeSerial", {L(25), L(0), L(0)}, "Date:12/31/1899 1:00:00 AM"},
        {"TimeValue", {S("4:35:17 PM")}, "Date:4:35:17 PM"},
        {"TimeValue", {Dt(2009, 1, 5, 7, 3, 9)}, "Date:7:03:09 AM"},
        {"DateValue", {S("September 11, 1963")}, "Date:9/11/1963"},
        {"DateValue", {Dt(2009, 1, 5, 7, 3, 9)}, "Date:1/5/2009"},
        {"DateValue", {Null()}, "Null"},
        {"TimeValue", {Null()}, "Null"},
    });
    com::RegionalScope pt(com::Regional::ptBR());
    EXPECT_EQ(show(call("DateValue", {S("5/1/2009 7:03")})), "Date:1/5/2009");
}

TEST(DateFunctions, TheClockFunctionsGiveTheirSubtypes) {
    const Variant now = call("Now"), date = call("Date"), time = call("Time"), timer = call("Timer");
    EXPECT_EQ(now.type(), VarType::Date);
    EXPECT_EQ(date.type(), VarType::Date);
    EXPECT_EQ(time.type(), VarType::Date);
    EXPECT_EQ(timer.type(), VarType::Single);
    EXPECT_EQ(date.rawDate(), std::floor(date.rawDate())) << "Date has no time of day";
    EXPECT_LE(std::fabs(date.rawDate() - std::floor(now.rawDate())), 1.0);
    EXPECT_GE(time.rawDate(), 0.0);
    EXPECT_LT(time.rawDate(), 1.0);
    EXPECT_GE(timer.rawDouble(), 0.0);
    EXPECT_LT(timer.rawDouble(), 86400.0);
}

}  // namespace
}  // namespace orvan::vbs::testing
