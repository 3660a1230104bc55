// Scripting.Dictionary: items by key in insertion order, found through a hash of the key. A key keeps
// its kind: numbers compare by value whatever their subtype (1 and 1.0 are one key), texts are
// another kind (1 and "1" are two keys) compared exactly or, in text mode, without case; objects
// compare by identity. For Each walks the keys.
#include <list>
#include <typeinfo>
#include <unordered_map>

#include "com_server/enumeration.h"
#include "vbscript/internal/scripting_objects.h"
#include "vbscript/internal/text.h"

namespace orvan::vbs {
namespace {

using com::Variant;
using com::VarType;

// What identifies a key: its kind and its value in comparable form.
struct KeyId {
    enum Kind : std::uint8_t { Empty, Null, Number, Date, Text, Object } kind = Empty;
    double number = 0;
    std::string text;
    const void* object = nullptr;

    friend bool operator==(const KeyId&, const KeyId&) = default;
};

struct KeyHash {
    std::size_t operator()(const KeyId& k) const noexcept {
        std::size_t h = std::hash<int>()(k.kind);
        switch (k.kind) {
            case KeyId::Number:
            case KeyId::Date:
                return h ^ std::hash<double>()(k.number == 0 ? 0.0 : k.number);  // -0 and 0 are one key
            case KeyId::Text:
                return h ^ std::hash<std::string>()(k.text);
            case KeyId::Object:
                return h ^ std::hash<const void*>()(k.object);
            default:
                return h;
        }
    }
};

class Dictionary final : public com::Object {
public:
    static constexpr const char* kInterfaceName = "IDictionary";

    void Add(Variant key, Variant item) {
        KeyId id = idOf(key);
        if (index_.count(id)) throw com::ComError::basic(com::err::KeyAlreadyAssociated);
        entries_.push_back({std::move(key), std::move(item)});
        index_.emplace(std::move(id), std::prev(entries_.end()));
    }

    bool Exists(Variant key) { return index_.count(idOf(key)) != 0; }

    Variant Items() {
        std::vector<Variant> out;
        out.reserve(entries_.size());
        for (const auto& e : entries_) out.push_back(e.item);
        return Variant::array(std::move(out));
    }

    Variant Keys() { return Variant::array(keyList()); }

    void Remove(Variant key) {
        const auto it = index_.find(idOf(key));
        if (it == index_.end()) throw com::ComError::basic(com::err::ElementNotFound);
        entries_.erase(it->second);
        index_.erase(it);
    }

    void RemoveAll() {
        index_.clear();
        entries_.clear();
    }

    std::int32_t Count() { return static_cast<std::int32_t>(entries_.size()); }

    // Reading a key that is not there adds it, with an Empty item.
    Variant getItem(Variant key) {
        KeyId id = idOf(key);
        const auto it = index_.find(id);
        if (it != index_.end()) return it->second->item;
        entries_.push_back({std::move(key), Variant()});
        index_.emplace(std::move(id), std::prev(entries_.end()));
        return Variant();
    }

    void putItem(Variant key, Variant item) {
        KeyId id = idOf(key);
        const auto it = index_.find(id);
        if (it != index_.end()) {
            std::swap(it->second->item, item);  // the old item is released after the store
            return;
        }
        entries_.push_back({std::move(key), std::move(item)});
        index_.emplace(std::move(id), std::prev(entries_.end()));
    }

    // Renames a key, keeping the item and its place in the order.
    void putKey(Variant key, Variant newKey) {
        const auto it = index_.find(idOf(key));
        if (it == index_.end()) throw com::ComError::basic(com::err::ElementNotFound);
        KeyId newId = idOf(newKey);
        if (index_.count(newId)) throw com::ComError::basic(com::err::KeyAlreadyAssociated);
        const auto entry = it->second;
        index_.erase(it);
        entry->key = std::move(newKey);
        index_.emplace(std::move(newId), entry);
    }

    std::int32_t getCompareMode() { return compareMode_; }

    // The mode may change only while the dictionary is empty (its keys were hashed under the old one).
    void putCompareMode(std::int32_t mode) {
        if (mode < 0 || !entries_.empty()) throw com::ComError::basic(com::err::InvalidCall);
        compareMode_ = mode;
    }

    Variant NewEnum() { return Variant(com::make<com::ListEnumerator>(keyList())); }

    static const com::TypeInfo& members() {
        static const com::TypeInfo t = [] {
            com::TypeInfo info{"Dictionary", kInterfaceName, {}};
            auto& m = info.members;
            m.push_back(com::propertyGet<&Dictionary::getItem>("Item", com::kDispidValue, {"Key"}));
            m.push_back(com::propertyPut<&Dictionary::putItem>("Item", com::kDispidValue, {"Key", "pRetItem"}));
            m.push_back(com::propertyPutRef<&Dictionary::putItem>("Item", com::kDispidValue, {"Key", "pRetItem"}));
            m.push_back(com::method<&Dictionary::Add>("Add", 1, {"Key", "Item"}));
            m.push_back(com::propertyGet<&Dictionary::Count>("Count", 2));
            m.push_back(com::method<&Dictionary::Exists>("Exists", 3, {"Key"}));
            m.push_back(com::method<&Dictionary::Items>("Items", 4));
            m.push_back(com::propertyPut<&Dictionary::putKey>("Key", 5, {"Key", "rhs"}));
            m.push_back(com::method<&Dictionary::Keys>("Keys", 6));
            m.push_back(com::method<&Dictionary::Remove>("Remove", 7, {"Key"}));
            m.push_back(com::method<&Dictionary::RemoveAll>("RemoveAll", 8));
            m.push_back(com::propertyGet<&Dictionary::getCompareMode>("CompareMode", 9));
            m.push_back(com::propertyPut<&Dictionary::putCompareMode>("CompareMode", 9, {"pcomp"}));
            m.push_back(com::propertyGet<&Dictionary::NewEnum>("_NewEnum", com::kDispidNewEnum));
            return info;
        }();
        return t;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    struct Entry {
        Variant key;
        Variant item;
    };

    KeyId idOf(const Variant& key) const {
        KeyId id;
        switch (key.type()) {
            case VarType::Empty:
            case VarType::Missing:
                id.kind = KeyId::Empty;
                break;
            case VarType::Null:
                id.kind = KeyId::Null;
                break;
            case VarType::Date:
                id.kind = KeyId::Date;
                id.number = key.rawDate();
                break;
            case VarType::String:
                id.kind = KeyId::Text;
                id.text = compareMode_ == 0 ? key.rawString() : text::toUtf8(text::toLower(text::toUtf16(key.rawString())));
                break;
            case VarType::Object:
                id.kind = KeyId::Object;
                id.object = key.rawObject().get();
                break;
            case VarType::Array:
                throw com::ComError::basic(com::err::TypeMismatch);
            default:
                id.kind = KeyId::Number;
                id.number = com::CDbl(key);
                break;
        }
        return id;
    }

    std::vector<Variant> keyList() const {
        std::vector<Variant> out;
        out.reserve(entries_.size());
        for (const auto& e : entries_) out.push_back(e.key);
        return out;
    }

    std::list<Entry> entries_;
    std::unordered_map<KeyId, std::list<Entry>::iterator, KeyHash> index_;
    std::int32_t compareMode_ = 0;
};

// The dictionary behind obj, or null (Dictionary is final: its type is enough).
Dictionary* dictionaryOf(com::Object& obj) {
    return typeid(obj) == typeid(Dictionary) ? static_cast<Dictionary*>(&obj) : nullptr;
}

}  // namespace

bool readDictionaryItem(com::Object& obj, const com::Variant& key, com::Variant& out) {
    Dictionary* d = dictionaryOf(obj);
    if (!d) return false;
    out = d->getItem(key);
    return true;
}

bool writeDictionaryItem(com::Object& obj, com::Variant&& key, com::Variant&& item) {
    Dictionary* d = dictionaryOf(obj);
    if (!d) return false;
    d->putItem(std::move(key), std::move(item));
    return true;
}

com::ComPtr<com::Object> makeDictionary() { return com::make<Dictionary>(); }
const com::TypeInfo& dictionaryTypeInfo() { return Dictionary::members(); }

}  // namespace orvan::vbs
