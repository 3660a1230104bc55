// The session pool. Sessions are opened, probed, reset and closed outside the pool's lock: each of
// those may wait on the network, and other threads must not wait behind them.
#include "data_access/pool.h"

#include <exception>
#include <utility>
#include <vector>

namespace orvan::data {

SessionPool& SessionPool::instance() {
    // The pool itself is never destroyed: objects released during process exit may still hand sessions
    // back. Its idle sessions are closed at exit all the same, so that the engines see clean goodbyes.
    static SessionPool* pool = new SessionPool;
    static struct CloseAtExit {
        ~CloseAtExit() { pool->clear(); }
    } closeAtExit;
    return *pool;
}

SessionPool::~SessionPool() {
    clear();
}

std::unique_ptr<Session> SessionPool::acquire(const ConnectionString& cs, int connectTimeoutSeconds) {
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<Session>> expired;
    std::chrono::steady_clock::duration trustWindow{};
    {
        std::lock_guard lock(mutex_);
        trustWindow = trustWindow_;
    }
    for (;;) {
        std::unique_ptr<Session> candidate;
        {
            std::lock_guard lock(mutex_);
            // Sessions idle past the limit are closed on the next take, whatever their string.
            for (auto it = idle_.begin(); it != idle_.end();) {
                auto& list = it->second;
                while (!list.empty() && now - list.front().since > idleLimit_) {
                    expired.push_back(std::move(list.front().session));
                    list.pop_front();
                    --idleTotal_;
                }
                it = list.empty() ? idle_.erase(it) : std::next(it);
            }
            if (auto it = idle_.find(cs.text); it != idle_.end()) {
                // The session that did work last goes back to work first: its caches (the engine's
                // pages, prepared statements) are the warmest.
                auto& list = it->second;
                auto pick = std::prev(list.end());
                for (auto i = list.begin(); i != list.end(); ++i)
                    if (i->session->lastSuccess() > pick->session->lastSuccess()) pick = i;
                candidate = std::move(pick->session);
                list.erase(pick);
                --idleTotal_;
                if (it->second.empty()) idle_.erase(it);
            }
        }
        expired.clear();
        if (!candidate) break;
        if (now - candidate->lastSuccess() < trustWindow && !candidate->showsLoss()) {
            candidate->armReopen([this] {
                std::lock_guard lock(mutex_);
                ++opened_;
            });
            return candidate;
        }
        bool answers = false;
        try {
            answers = candidate->alive();
        } catch (const std::exception&) {
            // A probe that fails is a dead session like one that says so.
        }
        if (answers) return candidate;
        // candidate is closed here; the next idle one (or a new session) is tried.
    }
    std::unique_ptr<Session> fresh = openSession(cs, connectTimeoutSeconds);
    {
        std::lock_guard lock(mutex_);
        ++opened_;
    }
    return fresh;
}

void SessionPool::release(const std::string& connectionString, std::unique_ptr<Session> session) noexcept {
    if (!session) return;
    try {
        session->reset();
    } catch (...) {
        // A session that cannot even roll back is unusable; dropping it closes it.
        return;
    }
    std::vector<std::unique_ptr<Session>> surplus;  // closed after the lock is let go
    try {
        std::lock_guard lock(mutex_);
        auto& list = idle_[connectionString];
        list.push_back(Idle{std::move(session), std::chrono::steady_clock::now()});
        ++idleTotal_;
        if (list.size() > kMaxIdlePerString) {
            surplus.push_back(std::move(list.front().session));
            list.pop_front();
            --idleTotal_;
        }
        while (idleTotal_ > kMaxIdleTotal) {
            auto oldest = idle_.end();
            for (auto it = idle_.begin(); it != idle_.end(); ++it)
                if (!it->second.empty() && (oldest == idle_.end() || it->second.front().since < oldest->second.front().since))
                    oldest = it;
            surplus.push_back(std::move(oldest->second.front().session));
            oldest->second.pop_front();
            --idleTotal_;
            if (oldest->second.empty()) idle_.erase(oldest);
        }
    } catch (...) {
        // Out of memory while keeping it: the session (still owned here, or in surplus) is just closed.
    }
}

std::size_t SessionPool::idleCount(const std::string& connectionString) const {
    std::lock_guard lock(mutex_);
    auto it = idle_.find(connectionString);
    return it == idle_.end() ? 0 : it->second.size();
}

std::uint64_t SessionPool::sessionsOpened() const noexcept {
    std::lock_guard lock(mutex_);
    return opened_;
}

void SessionPool::setIdleLimit(std::chrono::steady_clock::duration limit) {
    std::lock_guard lock(mutex_);
    idleLimit_ = limit;
}

void SessionPool::setTrustWindow(std::chrono::steady_clock::duration window) {
    std::lock_guard lock(mutex_);
    trustWindow_ = window;
}

void SessionPool::clear() noexcept {
    std::map<std::string, std::deque<Idle>> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(idle_);
        idleTotal_ = 0;
    }
}

}  // namespace orvan::data
