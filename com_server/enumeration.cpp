// Enumeration for For Each: arrays element by element, objects through their "_NewEnum".
#include "com_server/enumeration.h"

#include "com_server/dispatch.h"
#include "com_server/error.h"

namespace orvan::com {

const TypeInfo& Enumerator::typeInfo() const {
    static const TypeInfo info{"Enumerator", "IEnumVARIANT", {}};
    return info;
}

bool ListEnumerator::next(Variant& out) {
    if (pos_ >= items_.size()) return false;
    out = items_[pos_++];
    return true;
}

ComPtr<Enumerator> enumerate(const Variant& v) {
    if (v.isArray()) return make<ListEnumerator>(v.rawArray());
    if (!v.isObject()) throw ComError::basic(err::NotACollection);
    if (!v.rawObject()) throw ComError::basic(err::ObjectRequired);
    Object& obj = *v.rawObject();
    if (!obj.typeInfo().find(kDispidNewEnum, kGet | kMethod)) throw ComError::basic(err::NotACollection);
    const Variant e = invoke(obj, kDispidNewEnum, kGet | kMethod);
    if (e.isObject() && e.rawObject())
        if (auto en = e.rawObject().as<Enumerator>()) return en;
    throw ComError::basic(err::NotACollection);
}

}  // namespace orvan::com
