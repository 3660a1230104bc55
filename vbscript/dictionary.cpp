// Scripting.Dictionary: items by key in insertion order, found through a hash of the key. A key keeps
// its kind: numbers compare by value whatever their subtype (1 and 1.0 are one key), texts are
// another kind (1 and "1" are two keys) compared exactly or, in text mode, without case; objects
// compare by identity. For Each walks the keys.
#include <list>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include "com_server/enumeration.h"
#include "vbscript/internal/scripting_objects.h"
#include "vbscript/internal/text.h"

namespace orvan::vbs {
namespace {

using com::Variant;
using com::VarType;

// What identifies a key: its kind, its value in comparable form, and the hash of both (computed
// once). A text is viewed, never copied: in a stored key it views the entry's own text (an entry
// never moves: it lives in a list node), in a look-up the text the caller passed.
struct KeyId {
    enum Kind : std::uint8_t { Empty, Null, Number, Date, Text, Object } kind = Empty;
    double number = 0;
    std::string_view text;
    const void* object = nullptr;
    std::size_t hash = 0;

    friend bool operator==(const KeyId& a, const KeyId& b) noexcept {
        if (a.hash != b.hash || a.kind != b.kind) return false;
        switch (a.kind) {
            case Number:
            case Date: return a.number == b.number;
            case Text: return a.text == b.text;
            case Object: return a.object == b.object;
            default: return true;
        }
    }
};

std::size_t hashOf(const KeyId& k) noexcept {
    std::size_t h = std::hash<int>()(k.kind);
    switch (k.kind) {
        case KeyId::Number:
        case KeyId::Date: return h ^ std::hash<double>()(k.number == 0 ? 0.0 : k.number);  // -0 and 0: one key
        case KeyId::Text: return h ^ std::hash<std::string_view>()(k.text);
        case KeyId::Object: return h ^ std::hash<const void*>()(k.object);
        default: return h;
    }
}

struct KeyHash {
    std::size_t operator()(const KeyId& k) const noexcept { return k.hash; }
};

class Dictionary final : public com::Object {
public:
    static constexpr const char* kInterfaceName = "IDictionary";

    // Short bucket chains: a look-up mostly reads one index node.
    Dictionary() { index_.max_load_factor(0.5f); }

    void Add(Variant key, Variant item) {
        std::string folded;
        const KeyId id = idOf(key, folded);
        if (index_.count(id)) throw com::ComError::basic(com::err::KeyAlreadyAssociated);
        append(std::move(key), std::move(item), id, std::move(folded));
    }

    bool Exists(Variant key) {
        std::string folded;
        return index_.count(idOf(key, folded)) != 0;
    }

    Variant Items() {
        std::vector<Variant> out;
        out.reserve(entries_.size());
        for (const auto& e : entries_) out.push_back(e.item);
        return Variant::array(std::move(out));
    }

    Variant Keys() { return Variant::array(keyList()); }

    void Remove(Variant key) {
        std::string folded;
        const auto it = index_.find(idOf(key, folded));
        if (it == index_.end()) throw com::ComError::basic(com::err::ElementNotFound);
        // The entry is released once the dictionary is consistent again (its index entry views its
        // text; an object's Class_Terminate may use the dictionary).
        std::list<Entry> gone;
        gone.splice(gone.end(), entries_, it->second);
        index_.erase(it);
    }

    void RemoveAll() {
        index_.clear();
        std::list<Entry> gone;
        gone.swap(entries_);  // released after the dictionary is empty, as in Remove
    }

    std::int32_t Count() { return static_cast<std::int32_t>(entries_.size()); }

    // The item stored under key; reading a key that is not there adds it, with an Empty item.
    Variant& itemFor(const Variant& key) {
        std::string folded;
        const KeyId id = idOf(key, folded);
        const auto it = index_.find(id);
        if (it != index_.end()) return it->second->item;
        return append(Variant(key), Variant(), id, std::move(folded)).item;
    }

    Variant getItem(Variant key) { return itemFor(key); }

    void putItem(Variant key, Variant item) { store(std::move(key), std::move(item)); }

    // d(key) = item: the old item comes back in item, to be released after the store.
    void store(Variant&& key, Variant&& item) {
        std::string folded;
        const KeyId id = idOf(key, folded);
        const auto it = index_.find(id);
        if (it != index_.end()) {
            std::swap(it->second->item, item);
            return;
        }
        append(std::move(key), std::move(item), id, std::move(folded));
    }

    // Renames a key, keeping the item and its place in the order.
    void putKey(Variant key, Variant newKey) {
        std::string folded, newFolded;
        const auto it = index_.find(idOf(key, folded));
        if (it == index_.end()) throw com::ComError::basic(com::err::ElementNotFound);
        if (index_.count(idOf(newKey, newFolded))) throw com::ComError::basic(com::err::KeyAlreadyAssociated);
        const auto entry = it->second;
        index_.erase(it);
        Variant old = std::exchange(entry->key, std::move(newKey));  // released after the re-index
        index_.emplace(ownId(*entry), entry);
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
        Entry(Variant&& k, Variant&& i, std::string&& f) : key(std::move(k)), item(std::move(i)), folded(std::move(f)) {}
        Variant key;
        Variant item;
        std::string folded;  // a text key lower-cased, in text mode
    };

    // Stores a key known to be absent, and indexes it. id and folded are what idOf gave for the key;
    // the stored identity views the entry's own text instead.
    Entry& append(Variant&& key, Variant&& item, KeyId id, std::string&& folded) {
        entries_.emplace_back(std::move(key), std::move(item), std::move(folded));
        Entry& e = entries_.back();
        if (id.kind == KeyId::Text) id.text = compareMode_ == 0 ? std::string_view(e.key.rawString()) : e.folded;
        try {
            index_.emplace(id, std::prev(entries_.end()));
        } catch (...) {
            entries_.pop_back();
            throw;
        }
        return e;
    }

    // The identity of a stored entry, viewing its own text.
    KeyId ownId(Entry& e) const {
        e.folded.clear();
        KeyId id = idOf(e.key, e.folded);
        return id;
    }

    // The identity of key; a text in text mode is lower-cased into folded, which the identity views.
    KeyId idOf(const Variant& key, std::string& folded) const {
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
                if (compareMode_ == 0) {
                    id.text = key.rawString();
                } else {
                    folded = text::toUtf8(text::toLower(text::toUtf16(key.rawString())));
                    id.text = folded;
                }
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
        id.hash = hashOf(id);
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
    out = d->itemFor(key);
    return true;
}

bool writeDictionaryItem(com::Object& obj, com::Variant&& key, com::Variant&& item) {
    Dictionary* d = dictionaryOf(obj);
    if (!d) return false;
    d->store(std::move(key), std::move(item));
    return true;
}

com::ComPtr<com::Object> makeDictionary() { return com::make<Dictionary>(); }
const com::TypeInfo& dictionaryTypeInfo() { return Dictionary::members(); }

}  // namespace orvan::vbs
