// Scripting.Dictionary: items by key in insertion order, found through a hash of the key. A key keeps
// its kind: numbers compare by value whatever their subtype (1 and 1.0 are one key), texts are
// another kind (1 and "1" are two keys) compared exactly or, in text mode, without case; objects
// compare by identity. For Each walks the keys.
#include <list>
#include <string_view>
#include <typeinfo>
#include <unordered_set>
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

class Dictionary final : public com::Object {
public:
    static constexpr const char* kInterfaceName = "IDictionary";

    // Short bucket chains: a look-up mostly reads one index node.
    Dictionary() { index_.max_load_factor(0.5f); }

    void Add(Variant key, Variant item) {
        std::string folded;
        const KeyId id = idOf(key, folded);
        if (index_.find(id) != index_.end()) throw com::ComError::basic(com::err::KeyAlreadyAssociated);
        append(std::move(key), std::move(item), id, std::move(folded));
    }

    bool Exists(Variant key) {
        std::string folded;
        return index_.find(idOf(key, folded)) != index_.end();
    }

    Variant Items() {
        std::vector<Variant> out;
        out.reserve(order_.size());
        for (const Entry* e : order_) out.push_back(e->item);
        return Variant::array(std::move(out));
    }

    Variant Keys() { return Variant::array(keyList()); }

    void Remove(Variant key) {
        std::string folded;
        const auto it = index_.find(idOf(key, folded));
        if (it == index_.end()) throw com::ComError::basic(com::err::ElementNotFound);
        // The entry is released once the dictionary is consistent again (an object's Class_Terminate
        // may use the dictionary).
        order_.erase(it->place);
        const auto gone = index_.extract(it);
    }

    void RemoveAll() {
        order_.clear();
        Index gone;
        gone.swap(index_);  // released after the dictionary is empty, as in Remove
        index_.max_load_factor(0.5f);
    }

    std::int32_t Count() { return static_cast<std::int32_t>(order_.size()); }

    // The item stored under key; reading a key that is not there adds it, with an Empty item.
    Variant& itemFor(const Variant& key) {
        std::string folded;
        const KeyId id = idOf(key, folded);
        const auto it = index_.find(id);
        if (it != index_.end()) return it->item;
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
            std::swap(it->item, item);
            return;
        }
        append(std::move(key), std::move(item), id, std::move(folded));
    }

    // Renames a key, keeping the item and its place in the order.
    void putKey(Variant key, Variant newKey) {
        std::string folded, newFolded;
        const auto it = index_.find(idOf(key, folded));
        if (it == index_.end()) throw com::ComError::basic(com::err::ElementNotFound);
        const KeyId newId = idOf(newKey, newFolded);
        if (index_.find(newId) != index_.end()) throw com::ComError::basic(com::err::KeyAlreadyAssociated);
        // The entry leaves the index, takes its new key and goes back in: the same node, so its
        // place in the order still points at it.
        auto node = index_.extract(it);
        Entry& e = node.value();
        Variant old = std::exchange(e.key, std::move(newKey));  // released after the re-index
        e.folded = std::move(newFolded);
        e.id = ownView(newId, e);
        index_.insert(std::move(node));
    }

    std::int32_t getCompareMode() { return compareMode_; }

    // The mode may change only while the dictionary is empty (its keys were hashed under the old one).
    void putCompareMode(std::int32_t mode) {
        if (mode < 0 || !order_.empty()) throw com::ComError::basic(com::err::InvalidCall);
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
    // An entry lives in its index node (nodes never move), which holds the key, the item and the key's
    // identity together: a look-up reads one node. The order is a list of the entries.
    struct Entry {
        Entry(Variant&& k, Variant&& i, std::string&& f, const KeyId& looked)
            : key(std::move(k)), item(std::move(i)), folded(std::move(f)), id(ownView(looked, *this)) {}
        Variant key;
        mutable Variant item;
        std::string folded;  // a text key lower-cased, in text mode
        KeyId id;            // views key's text or folded
        mutable std::list<const Entry*>::iterator place;  // in order_
    };

    // An identity found for a key, re-pointed at the entry's own text (the hash stays).
    static KeyId ownView(KeyId id, const Entry& e) {
        if (id.kind == KeyId::Text) id.text = e.folded.empty() ? std::string_view(e.key.rawString()) : e.folded;
        return id;
    }

    // Hash and equality by identity, for entries and for the identity of a key being looked up.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(const KeyId& k) const noexcept { return k.hash; }
        std::size_t operator()(const Entry& e) const noexcept { return e.id.hash; }
    };
    struct Same {
        using is_transparent = void;
        static const KeyId& idOf(const KeyId& k) noexcept { return k; }
        static const KeyId& idOf(const Entry& e) noexcept { return e.id; }
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const noexcept {
            return idOf(a) == idOf(b);
        }
    };
    using Index = std::unordered_set<Entry, Hash, Same>;

    // Stores a key known to be absent, indexes it and puts it last in the order. id and folded are
    // what idOf gave for the key.
    const Entry& append(Variant&& key, Variant&& item, const KeyId& id, std::string&& folded) {
        order_.push_back(nullptr);
        try {
            const auto [it, added] = index_.emplace(std::move(key), std::move(item), std::move(folded), id);
            order_.back() = &*it;
            it->place = std::prev(order_.end());
            return *it;
        } catch (...) {
            order_.pop_back();
            throw;
        }
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
        out.reserve(order_.size());
        for (const Entry* e : order_) out.push_back(e->key);
        return out;
    }

    std::list<const Entry*> order_;
    Index index_;
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
