// A ceiling on the memory one thread takes through operator new during a stretch of work (a page's
// run), for the work whose allocations no engine allocator sees: the VBScript engine's values, the
// response a page builds, the objects it makes. The counting is done by the program's own operator new
// (com_server/program/counting_new.cpp, linked into orvan and the tests), which registers itself here;
// in a program without it nothing is counted and a ceiling is never reached.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvan::com {

// What the counting operator new of a program gives this module.
struct HeapCounter {
    std::int64_t (*held)() noexcept = nullptr;               // bytes this thread holds (may go below 0
                                                             // when it frees what others took)
    std::int64_t (*exchangeLimit)(std::int64_t) noexcept = nullptr;  // sets the thread's limit (0: none),
                                                                     // gives the one before
    bool (*takeReached)() noexcept = nullptr;                // whether an allocation failed on the limit
                                                             // since last asked, and forgets it
};

// Called once, by the counting operator new as the program starts.
void registerHeapCounter(const HeapCounter& counter) noexcept;

// Whether this program counts what its threads hold.
bool heapCounted() noexcept;

// While it lives, an operator new on this thread that would take the thread past `bytes` more than it
// held when the ceiling was made throws std::bad_alloc instead; the limit is lifted at that moment (so
// that unwinding can allocate) and reached() says so from then on. 0 bytes: no ceiling.
class HeapCeiling {
public:
    explicit HeapCeiling(std::size_t bytes) noexcept;
    ~HeapCeiling();
    HeapCeiling(const HeapCeiling&) = delete;
    HeapCeiling& operator=(const HeapCeiling&) = delete;

    // An allocation failed on this ceiling.
    bool reached() noexcept;

private:
    bool active_ = false;
    bool reached_ = false;
    std::int64_t previous_ = 0;         // the thread's limit before this ceiling
    HeapCeiling* enclosing_ = nullptr;  // the ceiling this one was made inside, if any
};

}  // namespace orvan::com
