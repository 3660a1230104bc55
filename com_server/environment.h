// The process's environment: the clock and the random source every module reads, behind one object
// that defaults to the real ones and that tests replace to pin the time. (The event-log sink is
// replaced the same way through setEventLog in com_server/event_log.h.)
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace orvan::com {

class Environment {
public:
    virtual ~Environment() = default;
    // The current local date and time as a date serial, to the second (what com::now() returns).
    virtual double now() = 0;
    // A uniformly distributed 64-bit number. Thread-safe.
    virtual std::uint64_t random() = 0;
};

// The current environment: the one installed by setEnvironment, else the real one (the machine's
// local clock, a random engine seeded from the system). Never null.
Environment& environment();
// Installs env for the whole process; nullptr restores the real one. The caller keeps no other rule:
// the environment stays alive while installed.
void setEnvironment(std::shared_ptr<Environment> env);

// A fixed clock and a reproducible random sequence (a 64-bit linear congruential generator from
// seed), for tests.
class PinnedEnvironment : public Environment {
public:
    explicit PinnedEnvironment(double serial, std::uint64_t seed = 1) : now_(serial), state_(seed) {}
    double now() override;
    std::uint64_t random() override;
    void setNow(double serial);

private:
    std::mutex mutex_;
    double now_;
    std::uint64_t state_;
};

}  // namespace orvan::com
