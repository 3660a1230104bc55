// The registry of the program's counting operator new, and the per-thread ceiling on top of it.
#include "com_server/heap_ceiling.h"

#include <limits>

namespace orvan::com {
namespace {

HeapCounter counter;

}  // namespace

void registerHeapCounter(const HeapCounter& c) noexcept {
    counter = c;
}

bool heapCounted() noexcept {
    return counter.held != nullptr;
}

namespace {

// The innermost ceiling of this thread.
thread_local HeapCeiling* innermost = nullptr;

}  // namespace

HeapCeiling::HeapCeiling(std::size_t bytes) noexcept {
    if (!heapCounted() || bytes == 0) return;
    // A refusal not yet asked about is the enclosing ceiling's.
    enclosing_ = innermost;
    if (counter.takeReached() && enclosing_) enclosing_->reached_ = true;
    const std::int64_t held = counter.held();
    const std::int64_t room = bytes > static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max() / 2)
                                  ? std::numeric_limits<std::int64_t>::max() / 2
                                  : static_cast<std::int64_t>(bytes);
    // A limit of 0 means none: a thread that gave back more than it took still gets a real one.
    std::int64_t limit = held + room;
    if (limit == 0) limit = 1;
    previous_ = counter.exchangeLimit(limit);
    // Inside another ceiling, never looser than it.
    if (previous_ != 0 && previous_ < limit) counter.exchangeLimit(previous_);
    active_ = true;
    innermost = this;
}

HeapCeiling::~HeapCeiling() {
    if (!active_) return;
    counter.takeReached();  // this ceiling's, asked about or not
    counter.exchangeLimit(previous_);
    innermost = enclosing_;
}

bool HeapCeiling::reached() noexcept {
    if (active_ && !reached_) reached_ = counter.takeReached();
    return reached_;
}

}  // namespace orvan::com
