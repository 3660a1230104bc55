// Reference counting of automation objects.
#include "com_server/object.h"

namespace orvan::com {
namespace {
std::atomic<std::int64_t> g_live{0};
}

// Counting lives in the constructor/destructor pair of the base so that every object is counted.
Object::Object() noexcept { g_live.fetch_add(1, std::memory_order_relaxed); }
Object::~Object() { g_live.fetch_sub(1, std::memory_order_relaxed); }

void Object::Release() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

std::int64_t Object::liveObjects() noexcept { return g_live.load(std::memory_order_relaxed); }

}  // namespace orvan::com
