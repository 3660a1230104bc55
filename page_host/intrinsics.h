// The intrinsic objects that outlive one page run: Application (one per site, shared by every request)
// and Session (one per user). Both hold values by key, case-insensitively, and refuse objects: an
// automation object belongs to the page run (and thread) that created it. The per-request objects
// (Request, Response, Server) live in page_host/internal/request_objects.h.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "com_server/dispatch.h"
#include "com_server/host.h"

namespace orvan::host {

// Values by key, case-insensitive, in the order the keys were first set; thread-safe.
class KeyedValues {
public:
    // The value under key; Empty when there is none.
    com::Variant get(std::string_view key) const;
    // Stores value under key. ComError 0x80004005 naming the owner and the key when the value is an
    // object or an array holding one.
    void set(std::string_view key, const com::Variant& value, std::string_view owner);
    void remove(std::string_view key);
    void clear();
    std::int32_t count() const;
    // The key at 1-based position index as first written; Empty when out of range.
    com::Variant keyAt(std::int32_t index) const;
    com::Variant valueAt(std::int32_t index) const;

private:
    struct Entry {
        std::string key;  // as first written
        std::string folded;
        com::Variant value;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

// The error number of a refused store (ASP's "Disallowed object use").
inline constexpr std::int32_t kDisallowedObject = com::hosterr::DisallowedObject;

class ApplicationObject : public com::IApplicationObject {
public:
    com::Variant Value(const std::string& key) override;
    void SetValue(const std::string& key, const com::Variant& value) override;
    // Lock: only the calling page run may change values until Unlock (or until its run ends); the
    // others wait in SetValue. Nested locks count.
    void Lock();
    void Unlock();
    // The Contents collection (Item, Count, Key, Remove, RemoveAll).
    com::ComPtr<com::Object> Contents();

    // Releases what the calling thread still holds of the lock; the page run calls it when it ends.
    void releaseLocks();
    KeyedValues& values() { return values_; }

    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    KeyedValues values_;
    std::recursive_mutex lock_;
    std::mutex ownerMutex_;
    std::thread::id owner_;
    int depth_ = 0;
};

class SessionObject : public com::ISessionObject {
public:
    explicit SessionObject(std::string sessionId);

    com::Variant Value(const std::string& key);
    void SetValue(const std::string& key, const com::Variant& value);
    std::string get_SessionID() { return id_; }
    // Minutes of inactivity after which the session ends; 20 unless the page changes it.
    std::int32_t get_Timeout() { return timeout_; }
    void put_Timeout(std::int32_t minutes);
    // Ends the session once the current page has run (its values stay readable until then).
    void Abandon() { abandoned_ = true; }
    com::ComPtr<com::Object> Contents();

    bool abandoned() const { return abandoned_; }
    KeyedValues& values() { return values_; }

    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    std::string id_;
    std::int32_t timeout_ = 20;
    bool abandoned_ = false;
    KeyedValues values_;
};

// A new session identifier: nine decimal digits, random, as the classic server hands them out.
std::string newSessionId();

}  // namespace orvan::host
