// The session books: keys, claims, inactivity and removal.
#include "page_host/http/internal/session_store.h"

#include <sys/random.h>

#include <cerrno>
#include <system_error>

namespace orvan::host::http {

using Clock = std::chrono::steady_clock;

std::string newSessionKey() {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        got += static_cast<std::size_t>(n);
    }
    static const char digits[] = "0123456789abcdef";
    std::string key;
    for (unsigned char b : bytes) {
        key += digits[b >> 4];
        key += digits[b & 15];
    }
    return key;
}

SessionStore::SessionStore(std::chrono::milliseconds minute, std::int32_t defaultTimeout)
    : minute_(minute), defaultTimeout_(defaultTimeout) {}

bool SessionStore::expired(const Session& session, Clock::time_point now) const {
    // Timeout is only read while no request holds the session; the page that last wrote it released
    // the session under this store's mutex.
    return session.users_ == 0 && now - session.lastUsed_ > minute_ * session.object->get_Timeout();
}

SessionStore::Claim SessionStore::claim(std::string_view key) {
    Claim claim;
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(mutex_);
    if (!key.empty()) {
        auto it = sessions_.find(std::string(key));
        if (it != sessions_.end()) {
            if (!expired(*it->second, now)) {
                claim.session = it->second;
                ++claim.session->users_;
                return claim;
            }
            claim.expired = it->second;
            claim.expired->ended_ = true;
            sessions_.erase(it);
        }
    }
    std::string newKey;
    do {
        newKey = newSessionKey();
    } while (sessions_.count(newKey) != 0);
    auto object = com::make<SessionObject>(newSessionId());
    object->put_Timeout(defaultTimeout_);
    claim.session = std::make_shared<Session>(newKey, std::move(object));
    claim.session->users_ = 1;
    claim.session->lastUsed_ = now;
    claim.created = true;
    sessions_.emplace(newKey, claim.session);
    return claim;
}

void SessionStore::release(const std::shared_ptr<Session>& session) {
    std::lock_guard lock(mutex_);
    --session->users_;
    session->lastUsed_ = Clock::now();
}

void SessionStore::end(const std::shared_ptr<Session>& session) {
    std::lock_guard lock(mutex_);
    session->ended_ = true;
    --session->users_;
    auto it = sessions_.find(session->key);
    if (it != sessions_.end() && it->second == session) sessions_.erase(it);
}

bool SessionStore::ended(const std::shared_ptr<Session>& session) const {
    std::lock_guard lock(mutex_);
    return session->ended_;
}

std::string SessionStore::renewKey(const std::shared_ptr<Session>& session) {
    std::lock_guard lock(mutex_);
    std::string newKey;
    do {
        newKey = newSessionKey();
    } while (sessions_.count(newKey) != 0);
    auto it = sessions_.find(session->key);
    if (it != sessions_.end() && it->second == session) sessions_.erase(it);
    session->key = newKey;
    if (!session->ended_) sessions_.emplace(newKey, session);
    return newKey;
}

bool SessionStore::named(const std::shared_ptr<Session>& session, std::string_view key) const {
    std::lock_guard lock(mutex_);
    return !session->ended_ && session->key == key;
}

template <typename Take>
std::vector<std::shared_ptr<Session>> SessionStore::takeWhere(Take take) {
    std::vector<std::shared_ptr<Session>> out;
    std::lock_guard lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (take(*it->second)) {
            it->second->ended_ = true;
            out.push_back(it->second);
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}

std::vector<std::shared_ptr<Session>> SessionStore::takeExpired() {
    const Clock::time_point now = Clock::now();
    return takeWhere([&](const Session& session) { return expired(session, now); });
}

std::vector<std::shared_ptr<Session>> SessionStore::takeAll() {
    return takeWhere([](const Session& session) { return session.users_ == 0; });
}

std::size_t SessionStore::size() const {
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

}  // namespace orvan::host::http
