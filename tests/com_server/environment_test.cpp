// The environment: the real clock by default, a pinned clock and random sequence once installed, and
// the runtime's clock readers (now, the current-year default of a date without a year) going through it.
#include "com_server/environment.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "com_server/conversions.h"
#include "com_server/regional.h"

namespace orvan::com {
namespace {

class ProcessEnvironment : public ::testing::Test {
protected:
    void TearDown() override { setEnvironment(nullptr); }
};

TEST_F(ProcessEnvironment, APinnedClockIsWhatNowAndDefaultYearsRead) {
    DateParts at;
    at.year = 2031, at.month = 7, at.day = 4, at.hour = 9, at.minute = 8, at.second = 7;
    const double serial = *makeDate(at);
    auto pinned = std::make_shared<PinnedEnvironment>(serial);
    setEnvironment(pinned);
    EXPECT_EQ(now(), serial);
    EXPECT_EQ(formatGeneralDate(now(), Regional::ptBR()), "04/07/2031 09:08:07");
    // A day and month without a year take the clock's year.
    EXPECT_EQ(splitDate(*parseDate("25/12", Regional::ptBR())).year, 2031);

    pinned->setNow(serial + 1.5);
    EXPECT_EQ(formatGeneralDate(now(), Regional::ptBR()), "05/07/2031 21:08:07");
}

TEST_F(ProcessEnvironment, PinnedRandomNumbersRepeatForTheSameSeed) {
    PinnedEnvironment a(0, 42), b(0, 42), c(0, 43);
    std::set<std::uint64_t> seen;
    for (int i = 0; i < 100; ++i) {
        const std::uint64_t x = a.random();
        EXPECT_EQ(x, b.random());
        EXPECT_NE(x, c.random());
        seen.insert(x);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST_F(ProcessEnvironment, WithoutAPinnedOneTheRealClockAndRandomSourceServe) {
    auto pinned = std::make_shared<PinnedEnvironment>(0.0);
    setEnvironment(pinned);
    EXPECT_EQ(now(), 0.0);
    setEnvironment(nullptr);
    EXPECT_GT(now(), *makeDate(DateParts{2024, 1, 1, 0, 0, 0}));  // the machine's clock is past 2024
    EXPECT_NE(environment().random(), environment().random());
}

}  // namespace
}  // namespace orvan::com
