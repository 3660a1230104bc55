// Session pooling per connection string, as OLE DB resource pooling did for the original component:
// a released Connection hands its session back, and the next Connection opened with the same string
// takes it instead of logging in again. Pages open and drop two connections per object, so this is
// what keeps a page from paying two logins.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "data_access/providers/provider.h"

namespace orvan::data {

class SessionPool {
public:
    static constexpr std::size_t kMaxIdlePerString = 16;
    // Idle sessions kept in all: a process that meets many connection strings (a site with several
    // databases, or tests with one schema each) must not hold a server's every connection slot.
    static constexpr std::size_t kMaxIdleTotal = 32;
    static constexpr std::chrono::seconds kDefaultIdleLimit{60};
    // A session whose last statement succeeded less than the trust window ago goes back to work
    // unprobed (setTrustWindow; 0 probes every take), saving the probe's round trip. A session the
    // server ended within the window is still never used for work: its first statement finds the
    // connection lost before anything was written, and the session opens its connection anew and
    // sends that statement again. (Counted in sessionsOpened only then, after the take.)
    static constexpr std::chrono::seconds kDefaultTrustWindow{2};
    static constexpr std::chrono::seconds kSuggestedTrustWindow = kDefaultTrustWindow;

    // The process's pool (one per process, shared by every thread).
    static SessionPool& instance();

    SessionPool() = default;
    SessionPool(const SessionPool&) = delete;
    SessionPool& operator=(const SessionPool&) = delete;
    ~SessionPool();

    // A session for cs: the most recently returned idle session of the same connection-string text that
    // still answers, else a new one opened with connectTimeoutSeconds. Idle sessions past the idle limit
    // are closed first; one that no longer answers is closed and never handed out. A session used
    // successfully within the trust window, whose connection shows no sign of loss without a round
    // trip, is handed out unprobed; should the first work it sends to the engine (a statement, a
    // procedure call, a key look-up) find the connection lost after all, the session opens its
    // connection anew and sends that work again (counted in sessionsOpened). Throws the provider's
    // error when a new session cannot be opened (3706 for an unknown provider). The caller owns the
    // result until it gives it back with release() (or drops it, which closes it).
    std::unique_ptr<Session> acquire(const ConnectionString& cs, int connectTimeoutSeconds);

    // Takes a session back under its connection-string text. Its open transaction is rolled back first;
    // a session that fails that is closed instead. Beyond kMaxIdlePerString idle sessions for one text,
    // or kMaxIdleTotal in all, the one idle longest is closed. Never throws.
    void release(const std::string& connectionString, std::unique_ptr<Session> session) noexcept;

    // Idle sessions held for that text (for diagnostics and tests).
    std::size_t idleCount(const std::string& connectionString) const;
    // Sessions this pool has opened since the process started.
    std::uint64_t sessionsOpened() const noexcept;
    // How long a session may sit idle before it is closed instead of reused (default 60 s).
    void setIdleLimit(std::chrono::steady_clock::duration limit);
    // How recently a session must have been used to be handed out without a probe (0: always probe).
    void setTrustWindow(std::chrono::steady_clock::duration window);
    // Closes every idle session.
    void clear() noexcept;

private:
    struct Idle {
        std::unique_ptr<Session> session;
        std::chrono::steady_clock::time_point since;
    };

    mutable std::mutex mutex_;
    std::map<std::string, std::deque<Idle>> idle_;  // per text, oldest first
    std::size_t idleTotal_ = 0;
    std::chrono::steady_clock::duration idleLimit_ = kDefaultIdleLimit;
    std::chrono::steady_clock::duration trustWindow_ = kDefaultTrustWindow;
    std::uint64_t opened_ = 0;
};

}  // namespace orvan::data
