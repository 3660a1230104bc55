// Variant: the one value type of the automation runtime, as the classic Basic runtime's VARIANT.
// It owns what it holds: copying copies a text or an array deeply and adds a reference to an object.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com_server/object.h"

namespace orvan::com {

// The subtypes, numbered as VARTYPE so that a type library printout reads familiarly.
enum class VarType : std::uint16_t {
    Empty = 0,
    Null = 1,
    Integer = 2,   // 16-bit signed
    Long = 3,      // 32-bit signed
    Single = 4,    // 32-bit floating point (held as the double of the same value)
    Double = 5,
    Currency = 6,  // 64-bit signed count of ten-thousandths
    Date = 7,      // days since 1899-12-30, time of day as the fraction
    String = 8,    // UTF-8 text
    Object = 9,    // counted reference to an automation object (may be null: Nothing)
    Missing = 10,  // an optional argument the caller left out
    Boolean = 11,
    Byte = 17,     // 8-bit unsigned
    Array = 0x200C,  // elements are Variants; one or more dimensions, each with lower bound 0
};

const char* typeName(VarType t) noexcept;

class Variant {
public:
    Variant() noexcept = default;  // Empty
    Variant(std::int16_t v) noexcept : type_(VarType::Integer), bits_(fromInt(v)) {}
    Variant(std::int32_t v) noexcept : type_(VarType::Long), bits_(fromInt(v)) {}
    Variant(double v) noexcept : type_(VarType::Double), bits_(std::bit_cast<std::uint64_t>(v)) {}
    Variant(bool v) noexcept : type_(VarType::Boolean), bits_(v ? fromInt(-1) : 0) {}
    Variant(std::string v) noexcept : type_(VarType::String), s_(std::move(v)) {}
    Variant(std::string_view v) : type_(VarType::String), s_(v) {}
    Variant(const char* v) : type_(VarType::String), s_(v) {}
    template <typename T>
    Variant(const ComPtr<T>& o) noexcept : type_(VarType::Object), o_(o) {}
    Variant(std::nullptr_t) noexcept : type_(VarType::Object) {}  // Nothing

    Variant(const Variant& o);
    Variant(Variant&& o) noexcept;
    Variant& operator=(const Variant& o);
    Variant& operator=(Variant&& o) noexcept;
    ~Variant();

    static Variant null() noexcept;
    static Variant missing() noexcept;
    static Variant date(double serial) noexcept;
    static Variant single(float v) noexcept;
    // A Currency from its count of ten-thousandths (12.5 is 125000).
    static Variant currency(std::int64_t scaled) noexcept;
    static Variant byte(std::uint8_t v) noexcept;
    // A one-dimensional array of items.
    static Variant array(std::vector<Variant> items);
    // An array of the given dimension sizes (upper bound + 1 each), items in storage order: the
    // first subscript varies fastest. items.size() must be the product of the sizes.
    static Variant array(std::vector<Variant> items, std::vector<std::int32_t> sizes);
    // A dynamic array that has no dimensions yet (declared with empty parentheses, or erased): an
    // array without elements whose arrayDimensions() is 0, so that every subscript and every
    // dimension number is out of range until the array is given dimensions again.
    static Variant unallocatedArray();

    VarType type() const noexcept { return type_; }
    bool isEmpty() const noexcept { return type_ == VarType::Empty; }
    bool isNull() const noexcept { return type_ == VarType::Null; }
    bool isMissing() const noexcept { return type_ == VarType::Missing; }
    bool isObject() const noexcept { return type_ == VarType::Object; }
    bool isString() const noexcept { return type_ == VarType::String; }
    bool isArray() const noexcept { return type_ == VarType::Array; }
    bool isNumeric() const noexcept;  // Integer, Long, Single, Double, Currency, Boolean, Date, Byte

    // Raw access; the caller has checked the type. Conversions live in conversions.h.
    // rawInt: Integer, Long, Boolean (-1 / 0), Byte. rawDouble: Double, Single. rawCurrency: Currency.
    std::int32_t rawInt() const noexcept { return static_cast<std::int32_t>(static_cast<std::int64_t>(bits_)); }
    double rawDouble() const noexcept { return std::bit_cast<double>(bits_); }
    bool rawBool() const noexcept { return bits_ != 0; }
    double rawDate() const noexcept { return std::bit_cast<double>(bits_); }
    std::int64_t rawCurrency() const noexcept { return static_cast<std::int64_t>(bits_); }
    const std::string& rawString() const noexcept { return s_; }
    const ComPtr<Object>& rawObject() const noexcept { return o_; }
    const std::vector<Variant>& rawArray() const noexcept;
    std::vector<Variant>& rawArray() noexcept;
    // The size of each dimension of an array (one entry for a one-dimensional array, none for an
    // array without dimensions).
    std::vector<std::int32_t> arraySizes() const;
    // Replaces the dimension sizes (at least one); the caller has already given the items their new
    // storage.
    void setArraySizes(std::vector<std::int32_t> sizes);
    // The number of dimensions of an array and the size of one of them, without copying the sizes
    // (for indexing in loops).
    std::size_t arrayDimensions() const noexcept;
    std::int32_t arraySize(std::size_t dimension) const noexcept;

    // Identity for tests and the bridge: same subtype and same value (objects by identity).
    friend bool sameValue(const Variant& a, const Variant& b) noexcept;

private:
    struct ArrayData;
    static std::uint64_t fromInt(std::int64_t v) noexcept { return static_cast<std::uint64_t>(v); }
    // Texts, objects and arrays own storage beside the subtype; every other subtype is its type and
    // bits alone (its text, object and array members are empty), so copies and moves between two
    // such values touch nothing else. The owning cases take the out-of-line paths below.
    static constexpr bool owns(VarType t) noexcept {
        return t == VarType::String || t == VarType::Object || t == VarType::Array;
    }
    void copyOwned(const Variant& o);
    Variant& assignOwned(const Variant& o);
    Variant& moveOwned(Variant&& o) noexcept;

    VarType type_ = VarType::Empty;
    // The scalar: an integer's value (sign-extended), a floating value's or date's bits, a Currency's
    // scaled count.
    std::uint64_t bits_ = 0;
    std::string s_;
    ComPtr<Object> o_;
    std::unique_ptr<ArrayData> a_;
};

struct Variant::ArrayData {
    std::vector<Variant> items;
    std::vector<std::int32_t> sizes;  // empty: one dimension of items.size() (none when unallocated)
    bool unallocated = false;         // no dimensions at all (and no items)
};

inline std::size_t Variant::arrayDimensions() const noexcept {
    if (!a_) return 1;
    if (a_->unallocated) return 0;
    return a_->sizes.empty() ? 1 : a_->sizes.size();
}
inline std::int32_t Variant::arraySize(std::size_t dimension) const noexcept {
    if (a_ && !a_->sizes.empty()) return a_->sizes[dimension];
    return static_cast<std::int32_t>(rawArray().size());
}

inline Variant::Variant(const Variant& o) : type_(o.type_), bits_(o.bits_) {
    if (owns(o.type_)) copyOwned(o);
}
inline Variant& Variant::operator=(const Variant& o) {
    if (owns(type_) || owns(o.type_)) return assignOwned(o);
    type_ = o.type_;
    bits_ = o.bits_;
    return *this;
}
inline Variant::Variant(Variant&& o) noexcept : type_(o.type_), bits_(o.bits_) {
    if (owns(type_)) {
        s_ = std::move(o.s_);
        o_ = std::move(o.o_);
        a_ = std::move(o.a_);
    }
}
inline Variant& Variant::operator=(Variant&& o) noexcept {
    if (owns(type_) || owns(o.type_)) return moveOwned(std::move(o));
    type_ = o.type_;
    bits_ = o.bits_;
    return *this;
}
inline Variant::~Variant() = default;

}  // namespace orvan::com
