// Variant: the one value type of the automation runtime, as the classic Basic runtime's VARIANT.
// It owns what it holds: copying copies a text or an array deeply and adds a reference to an object.
#pragma once

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
    Double = 5,
    Date = 7,      // days since 1899-12-30, time of day as the fraction
    String = 8,    // UTF-8 text
    Object = 9,    // counted reference to an automation object (may be null: Nothing)
    Missing = 10,  // an optional argument the caller left out
    Boolean = 11,
    Array = 0x200C,  // one dimension, lower bound 0, elements are Variants
};

const char* typeName(VarType t) noexcept;

class Variant {
public:
    Variant() noexcept = default;  // Empty
    Variant(std::int16_t v) noexcept : type_(VarType::Integer), i_(v) {}
    Variant(std::int32_t v) noexcept : type_(VarType::Long), i_(v) {}
    Variant(double v) noexcept : type_(VarType::Double), d_(v) {}
    Variant(bool v) noexcept : type_(VarType::Boolean), i_(v ? 1 : 0) {}
    Variant(std::string v) noexcept : type_(VarType::String), s_(std::move(v)) {}
    Variant(std::string_view v) : type_(VarType::String), s_(v) {}
    Variant(const char* v) : type_(VarType::String), s_(v) {}
    template <typename T>
    Variant(const ComPtr<T>& o) noexcept : type_(VarType::Object), o_(o) {}
    Variant(std::nullptr_t) noexcept : type_(VarType::Object) {}  // Nothing

    Variant(const Variant& o);
    Variant(Variant&& o) noexcept = default;
    Variant& operator=(const Variant& o);
    Variant& operator=(Variant&& o) noexcept = default;
    ~Variant() = default;

    static Variant null() noexcept;
    static Variant missing() noexcept;
    static Variant date(double serial) noexcept;
    static Variant array(std::vector<Variant> items);

    VarType type() const noexcept { return type_; }
    bool isEmpty() const noexcept { return type_ == VarType::Empty; }
    bool isNull() const noexcept { return type_ == VarType::Null; }
    bool isMissing() const noexcept { return type_ == VarType::Missing; }
    bool isObject() const noexcept { return type_ == VarType::Object; }
    bool isString() const noexcept { return type_ == VarType::String; }
    bool isArray() const noexcept { return type_ == VarType::Array; }
    bool isNumeric() const noexcept;  // Integer, Long, Double, Boolean, Date

    // Raw access; the caller has checked the type. Conversions live in conversions.h.
    std::int32_t rawInt() const noexcept { return i_; }
    double rawDouble() const noexcept { return d_; }
    bool rawBool() const noexcept { return i_ != 0; }
    double rawDate() const noexcept { return d_; }
    const std::string& rawString() const noexcept { return s_; }
    const ComPtr<Object>& rawObject() const noexcept { return o_; }
    const std::vector<Variant>& rawArray() const noexcept;
    std::vector<Variant>& rawArray() noexcept;

    // Identity for tests and the bridge: same subtype and same value (objects by identity).
    friend bool sameValue(const Variant& a, const Variant& b) noexcept;

private:
    VarType type_ = VarType::Empty;
    std::int32_t i_ = 0;
    double d_ = 0;
    std::string s_;
    ComPtr<Object> o_;
    std::unique_ptr<std::vector<Variant>> a_;
};

}  // namespace orvan::com
