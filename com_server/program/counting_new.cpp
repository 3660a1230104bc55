// The program's operator new and delete, counting per thread the bytes each thread holds, so that a
// page's run can be given a ceiling on them (com_server/heap_ceiling.h). Linked into the programs (not
// the libraries): a program's own operator new is the one every library of the process uses.
#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "com_server/heap_ceiling.h"

namespace {

thread_local std::int64_t held = 0;
thread_local std::int64_t limit = 0;  // the value of held past which an allocation fails; 0: none
thread_local bool reached = false;

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    const auto taken = static_cast<std::int64_t>(malloc_usable_size(p));
    if (limit != 0 && held + taken > limit) {
        // Refused once; the limit goes with it, so that what unwinds the work can still allocate.
        std::free(p);
        limit = 0;
        reached = true;
        throw std::bad_alloc();
    }
    held += taken;
    return p;
}

void release(void* p) noexcept {
    if (!p) return;
    held -= static_cast<std::int64_t>(malloc_usable_size(p));
    std::free(p);
}

const bool registered = [] {
    orvan::com::HeapCounter c;
    c.held = []() noexcept { return held; };
    c.exchangeLimit = [](std::int64_t next) noexcept {
        const std::int64_t before = limit;
        limit = next;
        return before;
    };
    c.takeReached = []() noexcept {
        const bool was = reached;
        reached = false;
        return was;
    };
    orvan::com::registerHeapCounter(c);
    return true;
}();

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
// The forms that do not throw are replaced too: left to the runtime, their blocks would come from
// another allocator than the one that frees them.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
