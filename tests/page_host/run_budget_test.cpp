// The run budget both script engines consult: memory charged and released against the ceiling, the
// refusal that makes the run out of memory for good, no ceiling at 0, and the deadline.
#include <gtest/gtest.h>

#include "page_host/run_budget.h"

namespace orvan::host {
namespace {

TEST(RunBudget, MemoryIsChargedUpToTheCeilingAndARefusalIsFinal) {
    RunBudget budget;
    budget.memoryLimit = 1000;
    struct Step {
        bool charge;  // else release
        std::size_t bytes;
        bool accepted;
        std::size_t used;
    };
    const Step steps[] = {
        {true, 600, true, 600},   {true, 400, true, 1000},  // exactly the ceiling
        {true, 1, false, 1000},                             // one byte over: refused, nothing recorded
        {false, 500, true, 500},  {true, 400, true, 900},   // room again after a release
        {false, 5000, true, 0},                             // a release never goes below nothing
    };
    for (const Step& s : steps) {
        if (s.charge) {
            EXPECT_EQ(budget.charge(s.bytes), s.accepted) << s.bytes;
        } else {
            budget.release(s.bytes);
        }
        EXPECT_EQ(budget.used(), s.used) << s.bytes;
    }
    EXPECT_EQ(budget.exhausted(), BudgetStop::OutOfMemory) << "the refusal ends the run";
}

TEST(RunBudget, AChargeLargerThanTheWholeCeilingIsRefusedWithoutOverflow) {
    RunBudget budget;
    budget.memoryLimit = 1000;
    EXPECT_TRUE(budget.charge(10));
    EXPECT_FALSE(budget.charge(static_cast<std::size_t>(-1)));
    EXPECT_EQ(budget.used(), 10u);
}

TEST(RunBudget, NoCeilingAtZeroAndTheDeadlineAfterTheTimeout) {
    RunBudget budget;
    budget.memoryLimit = 0;
    EXPECT_TRUE(budget.charge(std::size_t{1} << 40));
    EXPECT_EQ(budget.exhausted(), BudgetStop::None);
    budget.start = std::chrono::steady_clock::now() - std::chrono::seconds(5);
    budget.timeout = std::chrono::seconds(4);
    EXPECT_EQ(budget.exhausted(), BudgetStop::TimeUp);
    budget.timeout = std::chrono::seconds(60);
    EXPECT_EQ(budget.exhausted(), BudgetStop::None);
}

}  // namespace
}  // namespace orvan::host
