// The ceiling a thread's stretch of work gets on what it takes through operator new: an allocation
// past it fails once, the limit is then lifted for the unwinding, and the thread is as before once the
// ceiling goes.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "com_server/heap_ceiling.h"

namespace orvan::com {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// A block taken through the operator new function itself (a new expression whose result goes unused
// may be left out by the compiler).
struct Give {
    void operator()(void* p) const { ::operator delete(p); }
};
std::unique_ptr<void, Give> take(std::size_t bytes) {
    return std::unique_ptr<void, Give>(::operator new(bytes));
}

TEST(HeapCeiling, AnAllocationPastTheCeilingFailsOnceAndTheWorkCanUnwind) {
    ASSERT_TRUE(heapCounted()) << "the test program links the counting operator new";
    HeapCeiling ceiling(4 * kMiB);
    auto first = take(3 * kMiB);
    EXPECT_FALSE(ceiling.reached());
    EXPECT_THROW(take(2 * kMiB), std::bad_alloc);
    EXPECT_TRUE(ceiling.reached());
    // The limit went with the refusal: what handles the failure may allocate again.
    auto after = take(2 * kMiB);
    EXPECT_TRUE(ceiling.reached()) << "it stays reached for the rest of the work";
}

TEST(HeapCeiling, WhatIsGivenBackMakesRoomAndWhatWasHeldBeforeIsNotCharged) {
    auto before = take(8 * kMiB);  // held before the ceiling: not the work's
    HeapCeiling ceiling(4 * kMiB);
    for (int i = 0; i < 16; ++i) {
        auto block = take(3 * kMiB);  // 48 MiB taken in all, never more than 3 held at once
        ASSERT_FALSE(ceiling.reached()) << "round " << i;
    }
    before.reset();  // given back: room beyond the ceiling's 4 MiB
    auto large = take(10 * kMiB);
    EXPECT_FALSE(ceiling.reached());
}

TEST(HeapCeiling, AnInnerCeilingGivesTheOuterOneBackAndOtherThreadsAreNotBound) {
    HeapCeiling outer(16 * kMiB);
    {
        HeapCeiling inner(1 * kMiB);
        EXPECT_THROW(take(2 * kMiB), std::bad_alloc);
        EXPECT_TRUE(inner.reached());
    }
    auto fits = take(8 * kMiB);  // the outer ceiling again, not the inner one's
    EXPECT_FALSE(outer.reached());
    {
        HeapCeiling looser(64 * kMiB);  // inside the outer one, bound by what is left of it
        EXPECT_THROW(take(12 * kMiB), std::bad_alloc);
    }
    EXPECT_FALSE(outer.reached()) << "the refusal was the inner work's";

    bool otherFailed = false;
    std::thread([&] {
        try {
            auto elsewhere = take(64 * kMiB);
        } catch (const std::bad_alloc&) {
            otherFailed = true;
        }
    }).join();
    EXPECT_FALSE(otherFailed) << "a ceiling binds the thread that made it";
    EXPECT_THROW(take(32 * kMiB), std::bad_alloc);
}

TEST(HeapCeiling, NoCeilingForZeroBytesAndNoneLeftBehind) {
    {
        HeapCeiling none(0);
        auto big = take(64 * kMiB);
        EXPECT_FALSE(none.reached());
    }
    {
        HeapCeiling small(1 * kMiB);
    }
    EXPECT_NO_THROW(take(64 * kMiB)) << "the thread has no limit once the ceiling is gone";
}

}  // namespace
}  // namespace orvan::com
