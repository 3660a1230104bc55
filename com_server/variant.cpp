// Variant storage: deep copies of arrays, identity comparison.
#include "com_server/variant.h"

namespace orvan::com {

const char* typeName(VarType t) noexcept {
    switch (t) {
        case VarType::Empty: return "Empty";
        case VarType::Null: return "Null";
        case VarType::Integer: return "Integer";
        case VarType::Long: return "Long";
        case VarType::Single: return "Single";
        case VarType::Double: return "Double";
        case VarType::Currency: return "Currency";
        case VarType::Byte: return "Byte";
        case VarType::Date: return "Date";
        case VarType::String: return "String";
        case VarType::Object: return "Object";
        case VarType::Missing: return "Missing";
        case VarType::Boolean: return "Boolean";
        case VarType::Array: return "Variant()";
    }
    return "Unknown";
}

void Variant::copyOwned(const Variant& o) {
    s_ = o.s_;
    o_ = o.o_;
    if (o.a_) a_ = std::make_unique<ArrayData>(*o.a_);
}

Variant& Variant::assignOwned(const Variant& o) {
    if (this != &o) {
        Variant copy(o);
        *this = std::move(copy);
    }
    return *this;
}

Variant& Variant::moveOwned(Variant&& o) noexcept {
    // Member by member in declaration order: what this held is released after the new value is in.
    type_ = o.type_;
    bits_ = o.bits_;
    s_ = std::move(o.s_);
    o_ = std::move(o.o_);
    a_ = std::move(o.a_);
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
    v.bits_ = std::bit_cast<std::uint64_t>(serial);
    return v;
}

Variant Variant::single(float f) noexcept {
    Variant v;
    v.type_ = VarType::Single;
    v.bits_ = std::bit_cast<std::uint64_t>(static_cast<double>(f));
    return v;
}

Variant Variant::currency(std::int64_t scaled) noexcept {
    Variant v;
    v.type_ = VarType::Currency;
    v.bits_ = fromInt(scaled);
    return v;
}

Variant Variant::byte(std::uint8_t b) noexcept {
    Variant v;
    v.type_ = VarType::Byte;
    v.bits_ = b;
    return v;
}

Variant Variant::array(std::vector<Variant> items) {
    Variant v;
    v.type_ = VarType::Array;
    v.a_ = std::make_unique<ArrayData>();
    v.a_->items = std::move(items);
    return v;
}

Variant Variant::array(std::vector<Variant> items, std::vector<std::int32_t> sizes) {
    Variant v = array(std::move(items));
    if (sizes.size() > 1) v.a_->sizes = std::move(sizes);
    return v;
}

Variant Variant::unallocatedArray() {
    Variant v = array({});
    v.a_->unallocated = true;
    return v;
}

bool Variant::isNumeric() const noexcept {
    switch (type_) {
        case VarType::Integer:
        case VarType::Long:
        case VarType::Single:
        case VarType::Double:
        case VarType::Currency:
        case VarType::Boolean:
        case VarType::Date:
        case VarType::Byte: return true;
        default: return false;
    }
}

const std::vector<Variant>& Variant::rawArray() const noexcept {
    static const std::vector<Variant> empty;
    return a_ ? a_->items : empty;
}

std::vector<Variant>& Variant::rawArray() noexcept {
    if (!a_) a_ = std::make_unique<ArrayData>();
    return a_->items;
}

std::vector<std::int32_t> Variant::arraySizes() const {
    if (a_ && a_->unallocated) return {};
    if (a_ && !a_->sizes.empty()) return a_->sizes;
    return {static_cast<std::int32_t>(rawArray().size())};
}

void Variant::setArraySizes(std::vector<std::int32_t> sizes) {
    if (!a_) a_ = std::make_unique<ArrayData>();
    a_->unallocated = false;
    if (sizes.size() > 1)
        a_->sizes = std::move(sizes);
    else
        a_->sizes.clear();
}

bool sameValue(const Variant& a, const Variant& b) noexcept {
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
        case VarType::Integer:
        case VarType::Long:
        case VarType::Boolean:
        case VarType::Byte:
        case VarType::Currency: return a.bits_ == b.bits_;
        case VarType::Single:
        case VarType::Double:
        case VarType::Date: return a.rawDouble() == b.rawDouble();
        case VarType::String: return a.s_ == b.s_;
        case VarType::Object: return a.o_ == b.o_;
        case VarType::Array: {
            const auto& x = a.rawArray();
            const auto& y = b.rawArray();
            if (x.size() != y.size() || a.arraySizes() != b.arraySizes()) return false;
            for (std::size_t i = 0; i < x.size(); ++i)
                if (!sameValue(x[i], y[i])) return false;
            return true;
        }
        default: return true;
    }
}

}  // namespace orvan::com
