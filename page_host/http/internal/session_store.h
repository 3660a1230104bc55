// The sessions of a site: each found by the random key its cookie carries, serving one request at a
// time, and ended by Session.Abandon, by inactivity longer than its Timeout, or by the server's stop.
// The store only keeps the books; whoever takes a session out of it runs Session_OnEnd.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "page_host/intrinsics.h"

namespace orvan::host::http {

struct Session {
    Session(std::string sessionKey, com::ComPtr<SessionObject> sessionObject)
        : key(std::move(sessionKey)), object(std::move(sessionObject)) {}

    // The cookie's value: 128 random bits as 32 hex digits. Changed by SessionStore::renewKey, under
    // the store's mutex, while the renewing request holds the session.
    std::string key;
    const com::ComPtr<SessionObject> object;
    // Held while one of the session's requests runs (its Session_OnStart, page and Session_OnEnd).
    std::mutex run;
    bool started = false;  // Session_OnStart has run; guarded by run

private:
    friend class SessionStore;
    int users_ = 0;  // requests holding the session, waiting or running
    std::chrono::steady_clock::time_point lastUsed_;
    bool ended_ = false;
};

class SessionStore {
public:
    // minute: how long one minute of Session.Timeout lasts (shorter in tests); defaultTimeout: the
    // Timeout of a new session, in minutes.
    SessionStore(std::chrono::milliseconds minute, std::int32_t defaultTimeout);

    struct Claim {
        std::shared_ptr<Session> session;  // claimed for the caller: release() it when done
        bool created = false;              // a new session: the cookie must be sent
        std::shared_ptr<Session> expired;  // the key's session, found expired and taken out
    };
    // The live session of key, or a new one when key names none (empty, unknown, ended or expired).
    Claim claim(std::string_view key);
    // The caller is done with a claimed session; its inactivity starts now.
    void release(const std::shared_ptr<Session>& session);
    // Takes a claimed session out of the store (Abandon). A request still waiting for it finds it
    // ended() and claims again.
    void end(const std::shared_ptr<Session>& session);
    bool ended(const std::shared_ptr<Session>& session) const;
    // Files a claimed session under a fresh key and forgets the old one at once (a request that
    // presents it gets a new session). Returns the new key.
    std::string renewKey(const std::shared_ptr<Session>& session);
    // Whether key still names session (false once the key was renewed or the session ended).
    bool named(const std::shared_ptr<Session>& session, std::string_view key) const;

    // Takes out the sessions inactive longer than their Timeout that no request holds.
    std::vector<std::shared_ptr<Session>> takeExpired();
    // Takes out every session no request holds (the server is stopping).
    std::vector<std::shared_ptr<Session>> takeAll();

    std::size_t size() const;

private:
    bool expired(const Session& session, std::chrono::steady_clock::time_point now) const;
    // Takes out, ended, the sessions for which take(session) is true.
    template <typename Take>
    std::vector<std::shared_ptr<Session>> takeWhere(Take take);

    const std::chrono::milliseconds minute_;
    const std::int32_t defaultTimeout_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<Session>> sessions_;
};

// 128 bits from the kernel's random source, as 32 lower-case hex digits. Throws std::system_error
// when the source cannot be read.
std::string newSessionKey();

}  // namespace orvan::host::http
