// The real environment (local clock, system-seeded random engine), the pinned one, and the process's
// current environment.
#include "com_server/environment.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <random>

#include "com_server/conversions.h"

namespace orvan::com {
namespace {

class RealEnvironment : public Environment {
public:
    double now() override {
        const std::time_t t = std::time(nullptr);
        std::tm lt{};
        localtime_r(&t, &lt);
        DateParts p;
        p.year = lt.tm_year + 1900;
        p.month = lt.tm_mon + 1;
        p.day = lt.tm_mday;
        p.hour = lt.tm_hour;
        p.minute = lt.tm_min;
        p.second = std::min(lt.tm_sec, 59);  // a leap second reads as the one before it
        return makeDate(p).value_or(0.0);
    }
    std::uint64_t random() override {
        std::lock_guard lock(mutex_);
        return engine_();
    }

private:
    std::mutex mutex_;
    std::mt19937_64 engine_{std::random_device{}()};
};

RealEnvironment& realEnvironment() {
    static RealEnvironment real;
    return real;
}

std::mutex g_mutex;
std::shared_ptr<Environment> g_installed;  // keeps the installed environment alive
std::atomic<Environment*> g_current{nullptr};

}  // namespace

Environment& environment() {
    Environment* e = g_current.load(std::memory_order_acquire);
    return e ? *e : realEnvironment();
}

void setEnvironment(std::shared_ptr<Environment> env) {
    std::lock_guard lock(g_mutex);
    g_current.store(env.get(), std::memory_order_release);
    g_installed = std::move(env);
}

double PinnedEnvironment::now() {
    std::lock_guard lock(mutex_);
    return now_;
}

void PinnedEnvironment::setNow(double serial) {
    std::lock_guard lock(mutex_);
    now_ = serial;
}

std::uint64_t PinnedEnvironment::random() {
    std::lock_guard lock(mutex_);
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return state_;
}

}  // namespace orvan::com
