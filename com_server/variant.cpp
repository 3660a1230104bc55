// Variant storage: deep copies of arrays, identity comparison.
#include "com_server/variant.h"

namespace orvan::com {

const char* typeName(VarType t) noexcept {
    switch (t) {
        case VarType::Empty: return "Empty";
        case VarType::Null: return "Null";
        case VarType::Integer: return "Integer";
        case VarType::Long: return "Long";
        case VarType::Double: return "Double";
        case VarType::Date: return "Date";
        case VarType::String: return "String";
        case VarType::Object: return "Object";
        case VarType::Missing: return "Missing";
        case VarType::Boolean: return "Boolean";
        case VarType::Array: return "Variant()";
    }
    return "Unknown";
}

Variant::Variant(const Variant& o)
    : type_(o.type_), i_(o.i_), d_(o.d_), s_(o.s_), o_(o.o_),
      a_(o.a_ ? std::make_unique<std::vector<Variant>>(*o.a_) : nullptr) {}

Variant& Variant::operator=(const Variant& o) {
    if (this != &o) {
        Variant copy(o);
        *this = std::move(copy);
    }
    return *this;
}

Variant Variant::null() noexcept {
    Variant v;
    v.type_ = VarType::Null;
    return v;
}

Variant Variant::missing() noexcept {
    Variant v;
    v.type_ = VarType::Missing;
    return v;
}

Variant Variant::date(double serial) noexcept {
    Variant v;
    v.type_ = VarType::Date;
    v.d_ = serial;
    return v;
}

Variant Variant::array(std::vector<Variant> items) {
    Variant v;
    v.type_ = VarType::Array;
    v.a_ = std::make_unique<std::vector<Variant>>(std::move(items));
    return v;
}

bool Variant::isNumeric() const noexcept {
    switch (type_) {
        case VarType::Integer:
        case VarType::Long:
        case VarType::Double:
        case VarType::Boolean:
        case VarType::Date: return true;
        default: return false;
    }
}

const std::vector<Variant>& Variant::rawArray() const noexcept {
    static const std::vector<Variant> empty;
    return a_ ? *a_ : empty;
}

std::vector<Variant>& Variant::rawArray() noexcept {
    if (!a_) a_ = std::make_unique<std::vector<Variant>>();
    return *a_;
}

bool sameValue(const Variant& a, const Variant& b) noexcept {
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
        case VarType::Integer:
        case VarType::Long:
        case VarType::Boolean: return a.i_ == b.i_;
        case VarType::Double:
        case VarType::Date: return a.d_ == b.d_;
        case VarType::String: return a.s_ == b.s_;
        case VarType::Object: return a.o_ == b.o_;
        case VarType::Array: {
            const auto& x = a.rawArray();
            const auto& y = b.rawArray();
            if (x.size() != y.size()) return false;
            for (std::size_t i = 0; i < x.size(); ++i)
                if (!sameValue(x[i], y[i])) return false;
            return true;
        }
        default: return true;
    }
}

}  // namespace orvan::com
