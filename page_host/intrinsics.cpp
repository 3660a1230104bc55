// Application and Session: keyed values, the lock, the Contents collection and the member tables.
#include "page_host/intrinsics.h"

#include "com_server/enumeration.h"

#include <random>

#include "com_server/conversions.h"
#include "com_server/environment.h"

namespace orvan::host {

using com::ComError;
using com::ComPtr;
using com::Variant;

namespace {

bool holdsObject(const Variant& v) {
    if (v.isObject()) return static_cast<bool>(v.rawObject());
    if (v.isArray())
        for (const Variant& item : v.rawArray())
            if (holdsObject(item)) return true;
    return false;
}

// The Contents collection of Application or Session: the same values, reached by key or position.
class ContentsCollection : public com::Object {
public:
    // lock, when given, is taken around every change (the Application's lock).
    ContentsCollection(ComPtr<com::Object> owner, KeyedValues& values, std::string ownerName,
                       std::recursive_mutex* lock)
        : owner_(std::move(owner)), values_(values), ownerName_(std::move(ownerName)), lock_(lock) {}

    // By key, or by 1-based position when the index is a number.
    Variant get_Item(Variant Index) {
        if (Index.isNumeric()) return values_.valueAt(com::CLng(Index));
        return values_.get(com::CStr(Index));
    }
    void put_Item(Variant Index, Variant value) {
        auto guard = changing();
        values_.set(com::CStr(Index), value, ownerName_);
    }
    std::int32_t get_Count() { return values_.count(); }
    Variant get_Key(Variant Index) { return values_.keyAt(com::CLng(Index)); }
    // For Each gives the keys, as they are when the walk starts.
    ComPtr<com::Enumerator> NewEnum() {
        std::vector<Variant> keys;
        for (std::int32_t i = 1, n = values_.count(); i <= n; ++i) keys.push_back(values_.keyAt(i));
        return com::make<com::ListEnumerator>(std::move(keys));
    }
    void Remove(Variant Index) {
        auto guard = changing();
        if (Index.isNumeric()) {
            Variant key = values_.keyAt(com::CLng(Index));
            if (!key.isEmpty()) values_.remove(com::CStr(key));
            return;
        }
        values_.remove(com::CStr(Index));
    }
    void RemoveAll() {
        auto guard = changing();
        values_.clear();
    }

    const com::TypeInfo& typeInfo() const override {
        static const com::TypeInfo info{
            "Contents",
            "IVariantDictionary",
            {com::propertyGet<&ContentsCollection::get_Item>("Item", com::kDispidValue, {"Index"}),
             com::bind<&ContentsCollection::put_Item>("Item", com::kDispidValue, com::MemberKind::PropertyPut,
                                                      {"Index", "value"}),
             com::propertyGet<&ContentsCollection::get_Count>("Count", 1),
             com::propertyGet<&ContentsCollection::get_Key>("Key", 2, {"Index"}),
             com::method<&ContentsCollection::Remove>("Remove", 3, {"Index"}),
             com::method<&ContentsCollection::RemoveAll>("RemoveAll", 4),
             com::propertyGet<&ContentsCollection::NewEnum>("_NewEnum", com::kDispidNewEnum)}};
        return info;
    }

private:
    std::unique_lock<std::recursive_mutex> changing() {
        return lock_ ? std::unique_lock<std::recursive_mutex>(*lock_)
                     : std::unique_lock<std::recursive_mutex>();
    }

    ComPtr<com::Object> owner_;  // keeps the values alive
    KeyedValues& values_;
    std::string ownerName_;
    std::recursive_mutex* lock_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// KeyedValues

Variant KeyedValues::get(std::string_view key) const {
    const std::string folded = com::UCase(key);
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_)
        if (e.folded == folded) return e.value;
    return Variant();
}

void KeyedValues::set(std::string_view key, const Variant& value, std::string_view owner) {
    if (holdsObject(value))
        throw ComError(kDisallowedObject,
                       "Disallowed object use: " + std::string(owner) + " cannot hold an object (key '" +
                           std::string(key) + "'); an object belongs to the page run that created it",
                       std::string(owner));
    const std::string folded = com::UCase(key);
    std::lock_guard lock(mutex_);
    for (Entry& e : entries_) {
        if (e.folded == folded) {
            e.value = value;
            return;
        }
    }
    entries_.push_back(Entry{std::string(key), folded, value});
}

void KeyedValues::remove(std::string_view key) {
    const std::string folded = com::UCase(key);
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.folded == folded; });
}

void KeyedValues::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::int32_t KeyedValues::count() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int32_t>(entries_.size());
}

Variant KeyedValues::keyAt(std::int32_t index) const {
    std::lock_guard lock(mutex_);
    if (index < 1 || static_cast<std::size_t>(index) > entries_.size()) return Variant();
    return Variant(entries_[static_cast<std::size_t>(index - 1)].key);
}

Variant KeyedValues::valueAt(std::int32_t index) const {
    std::lock_guard lock(mutex_);
    if (index < 1 || static_cast<std::size_t>(index) > entries_.size()) return Variant();
    return entries_[static_cast<std::size_t>(index - 1)].value;
}

// ---------------------------------------------------------------------------------------------
// Application

Variant ApplicationObject::Value(const std::string& key) {
    return values_.get(key);
}

void ApplicationObject::SetValue(const std::string& key, const Variant& value) {
    // A page run that holds the lock may change values; the others wait until it unlocks.
    std::lock_guard guard(lock_);
    values_.set(key, value, "Application");
}

void ApplicationObject::Lock() {
    lock_.lock();
    std::lock_guard guard(ownerMutex_);
    owner_ = std::this_thread::get_id();
    ++depth_;
}

void ApplicationObject::Unlock() {
    {
        std::lock_guard guard(ownerMutex_);
        // Unlock without a Lock of this page run is ignored, as the classic server does.
        if (owner_ != std::this_thread::get_id() || depth_ == 0) return;
        if (--depth_ == 0) owner_ = std::thread::id();
    }
    lock_.unlock();
}

void ApplicationObject::releaseLocks() {
    for (;;) {
        {
            std::lock_guard guard(ownerMutex_);
            if (owner_ != std::this_thread::get_id() || depth_ == 0) return;
        }
        Unlock();
    }
}

ComPtr<com::Object> ApplicationObject::Contents() {
    return com::make<ContentsCollection>(ComPtr<com::Object>(this), values_, "Application", &lock_);
}

const com::TypeInfo& ApplicationObject::members() {
    static const com::TypeInfo info{
        "Application",
        "IApplicationObject",
        {com::propertyGet<&ApplicationObject::Value>("Value", com::kDispidValue, {"key"}),
         com::bind<&ApplicationObject::SetValue>("Value", com::kDispidValue, com::MemberKind::PropertyPut,
                                                 {"key", "value"}),
         com::method<&ApplicationObject::Lock>("Lock", 1),
         com::method<&ApplicationObject::Unlock>("Unlock", 2),
         com::propertyGet<&ApplicationObject::Contents>("Contents", 3)}};
    return info;
}

// ---------------------------------------------------------------------------------------------
// Session

SessionObject::SessionObject(std::string sessionId) : id_(std::move(sessionId)) {}

Variant SessionObject::Value(const std::string& key) {
    return values_.get(key);
}

void SessionObject::SetValue(const std::string& key, const Variant& value) {
    values_.set(key, value, "Session");
}

void SessionObject::put_Timeout(std::int32_t minutes) {
    if (minutes < 1) throw ComError::basic(com::err::InvalidCall, "Session");
    timeout_ = minutes;
}

ComPtr<com::Object> SessionObject::Contents() {
    return com::make<ContentsCollection>(ComPtr<com::Object>(this), values_, "Session", nullptr);
}

const com::TypeInfo& SessionObject::members() {
    static const com::TypeInfo info{
        "Session",
        "ISessionObject",
        {com::propertyGet<&SessionObject::Value>("Value", com::kDispidValue, {"key"}),
         com::bind<&SessionObject::SetValue>("Value", com::kDispidValue, com::MemberKind::PropertyPut,
                                             {"key", "value"}),
         com::propertyGet<&SessionObject::get_SessionID>("SessionID", 1),
         com::propertyGet<&SessionObject::get_Timeout>("Timeout", 2),
         com::propertyPut<&SessionObject::put_Timeout>("Timeout", 2),
         com::method<&SessionObject::Abandon>("Abandon", 3),
         com::propertyGet<&SessionObject::Contents>("Contents", 4)}};
    return info;
}

std::string newSessionId() {
    // Nine digits, 100000000 to 999999999 (the modulo's bias over 2^64 is negligible).
    return std::to_string(100000000L + static_cast<long>(com::environment().random() % 900000000u));
}

}  // namespace orvan::host
