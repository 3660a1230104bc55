// VBScript's operators on Variant values.
#include "vbscript/internal/operators.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "com_server/conversions.h"
#include "com_server/dispatch.h"
#include "vbscript/internal/errors.h"

namespace orvan::vbs::detail {

using com::Variant;
using com::VarType;

namespace {

[[noreturn]] void fail(std::int32_t number) { throw runtimeError(number); }

// An object stands for its default member's value; Nothing cannot stand for anything.
Variant plainOf(const Variant& v) {
    if (!v.isObject()) return v;
    if (!v.rawObject()) fail(com::err::ObjectNotSet);
    return com::defaultValue(v);
}

// Arithmetic kinds, narrowest first. Arithmetic picks the widest of its operands' kinds.
enum class Num { Byte, Integer, Long, Single, Double, Currency, Date };

struct Operand {
    Num kind;
    std::int64_t i = 0;  // Byte, Integer, Long; Currency scaled
    double d = 0;        // Single, Double, Date
};

Operand operand(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty: return {Num::Integer, 0, 0};
        case VarType::Boolean: return {Num::Integer, v.rawBool() ? -1 : 0, 0};
        case VarType::Byte: return {Num::Byte, v.rawInt(), 0};
        case VarType::Integer: return {Num::Integer, v.rawInt(), 0};
        case VarType::Long: return {Num::Long, v.rawInt(), 0};
        case VarType::Single: return {Num::Single, 0, v.rawDouble()};
        case VarType::Double: return {Num::Double, 0, v.rawDouble()};
        case VarType::Currency: return {Num::Currency, v.rawCurrency(), 0};
        case VarType::Date: return {Num::Date, 0, v.rawDate()};
        case VarType::String: return {Num::Double, 0, com::CDbl(v)};
        default: fail(com::err::TypeMismatch);
    }
}

double asDouble(const Operand& o) {
    switch (o.kind) {
        case Num::Byte:
        case Num::Integer:
        case Num::Long: return static_cast<double>(o.i);
        case Num::Currency: return static_cast<double>(o.i) / 10000.0;
        default: return o.d;
    }
}

bool isInteger(Num k) { return k == Num::Byte || k == Num::Integer || k == Num::Long; }

// An integer result in the narrowest kind at least `kind` that holds it; Double past Long.
Variant integerResult(std::int64_t r, Num kind) {
    if (kind == Num::Byte && r >= 0 && r <= 255) return Variant::byte(static_cast<std::uint8_t>(r));
    if (kind <= Num::Integer && r >= -32768 && r <= 32767) return Variant(static_cast<std::int16_t>(r));
    if (r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max())
        return Variant(static_cast<std::int32_t>(r));
    return Variant(static_cast<double>(r));
}

Variant floatResult(double r, Num kind) {
    if (!std::isfinite(r)) fail(com::err::Overflow);
    if (kind == Num::Single) {
        if (std::fabs(r) > std::numeric_limits<float>::max()) return Variant(r);
        return Variant::single(static_cast<float>(r));
    }
    return Variant(r);
}

std::int64_t currencyScaled(const Operand& o) {
    if (o.kind == Num::Currency) return o.i;
    const long double v = static_cast<long double>(asDouble(o)) * 10000.0L;
    if (!(v > -9.3e18L && v < 9.3e18L)) fail(com::err::Overflow);
    return static_cast<std::int64_t>(std::llroundl(v));
}

Variant currencyResult(long double scaled) {
    if (!(scaled >= -9223372036854775807.0L && scaled <= 9223372036854775807.0L)) fail(com::err::Overflow);
    return Variant::currency(static_cast<std::int64_t>(std::llroundl(scaled)));
}

Variant dateResult(double serial) {
    if (!std::isfinite(serial) || serial < -657434.0 || serial >= 2958466.0) fail(com::err::Overflow);
    return Variant::date(serial);
}

Variant arithmetic(BinOp op, const Variant& av, const Variant& bv) {
    const Operand a = operand(av);
    const Operand b = operand(bv);
    const Num wide = a.kind > b.kind ? a.kind : b.kind;
    if (wide == Num::Date) {
        const double x = asDouble(a), y = asDouble(b);
        if (op == BinOp::Add) return dateResult(x + y);
        if (op == BinOp::Sub) {
            if (a.kind == Num::Date && b.kind == Num::Date) return Variant(x - y);
            return dateResult(x - y);
        }
        return floatResult(x * y, Num::Double);
    }
    if (wide == Num::Currency) {
        const Num other = a.kind == Num::Currency ? b.kind : a.kind;
        if (other == Num::Single || other == Num::Double) {
            const double x = asDouble(a), y = asDouble(b);
            return floatResult(op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y, Num::Double);
        }
        const long double x = static_cast<long double>(currencyScaled(a));
        const long double y = static_cast<long double>(currencyScaled(b));
        if (op == BinOp::Add) return currencyResult(x + y);
        if (op == BinOp::Sub) return currencyResult(x - y);
        return currencyResult(x * y / 10000.0L);
    }
    if (isInteger(wide)) {
        std::int64_t r = 0;
        if (op == BinOp::Add) r = a.i + b.i;
        else if (op == BinOp::Sub) r = a.i - b.i;
        else r = a.i * b.i;
        return integerResult(r, wide);
    }
    // Single with Long goes to Double, as the runtime widens it.
    Num kind = wide;
    if (kind == Num::Single && (a.kind == Num::Long || b.kind == Num::Long)) kind = Num::Double;
    const double x = asDouble(a), y = asDouble(b);
    return floatResult(op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y, kind);
}

// The operands of \ and Mod: rounded to whole numbers, Integer when both fit Integer's kinds.
std::int64_t wholeOperand(const Variant& v, Num& kind) {
    const Operand o = operand(v);
    if (isInteger(o.kind)) {
        if (o.kind > kind) kind = o.kind;
        return o.i;
    }
    kind = Num::Long;
    return com::CLng(v);
}

Variant integerDivision(BinOp op, const Variant& av, const Variant& bv) {
    Num kind = Num::Byte;
    const std::int64_t x = wholeOperand(av, kind);
    const std::int64_t y = wholeOperand(bv, kind);
    if (y == 0) fail(com::err::DivisionByZero);
    return integerResult(op == BinOp::IntDiv ? x / y : x % y, kind);
}

Variant division(const Variant& av, const Variant& bv) {
    const double x = asDouble(operand(av));
    const double y = asDouble(operand(bv));
    if (y == 0) fail(x == 0 ? com::err::Overflow : com::err::DivisionByZero);
    return floatResult(x / y, Num::Double);
}

Variant power(const Variant& av, const Variant& bv) {
    const double x = asDouble(operand(av));
    const double y = asDouble(operand(bv));
    if (x == 0 && y < 0) fail(com::err::InvalidCall);
    if (x < 0 && y != std::floor(y)) fail(com::err::InvalidCall);
    return floatResult(std::pow(x, y), Num::Double);
}

// -1, 0, 1 for a < b, a == b, a > b; the caller has ruled out Null.
int compareValues(const Variant& a, const Variant& b, bool numericLiteral) {
    const bool aText = a.isString(), bText = b.isString();
    const bool aEmpty = a.isEmpty(), bEmpty = b.isEmpty();
    if (aEmpty && bEmpty) return 0;
    if (aText || bText) {
        if ((aText || aEmpty) && (bText || bEmpty)) {
            const int c = (aText ? a.rawString() : std::string()).compare(bText ? b.rawString() : std::string());
            return c < 0 ? -1 : c > 0 ? 1 : 0;
        }
        // A text against a number: the number is the smaller, unless the number is written in the
        // source and the text reads as a number.
        if (numericLiteral) {
            auto n = com::parseNumber(aText ? a.rawString() : b.rawString(), com::currentRegional());
            if (n) {
                const double x = aText ? *n : com::CDbl(a);
                const double y = bText ? *n : com::CDbl(b);
                return x < y ? -1 : x > y ? 1 : 0;
            }
        }
        return aText ? 1 : -1;
    }
    if (!a.isNumeric() && !aEmpty) fail(com::err::TypeMismatch);
    if (!b.isNumeric() && !bEmpty) fail(com::err::TypeMismatch);
    const Operand x = operand(a), y = operand(b);
    if (isInteger(x.kind) && isInteger(y.kind)) return x.i < y.i ? -1 : x.i > y.i ? 1 : 0;
    if (x.kind == Num::Currency && y.kind == Num::Currency) return x.i < y.i ? -1 : x.i > y.i ? 1 : 0;
    const double p = asDouble(x), q = asDouble(y);
    return p < q ? -1 : p > q ? 1 : 0;
}

// The operand of a bitwise operator: its kind (Boolean stays Boolean) and its bits.
struct Bits {
    bool null = false;
    bool boolean = false;
    bool wide = false;  // Long rather than Integer
    std::int32_t v = 0;
};

Bits bitsOf(const Variant& v) {
    Bits b;
    switch (v.type()) {
        case VarType::Null: b.null = true; return b;
        case VarType::Boolean: b.boolean = true; b.v = v.rawBool() ? -1 : 0; return b;
        case VarType::Empty: return b;
        case VarType::Byte:
        case VarType::Integer: b.v = v.rawInt(); return b;
        default: b.wide = true; b.v = com::CLng(v); return b;
    }
}

Variant logical(BinOp op, const Variant& av, const Variant& bv) {
    const Bits a = bitsOf(av), b = bitsOf(bv);
    auto make = [&](std::int32_t r) {
        if (a.boolean && b.boolean) return Variant(r != 0);
        if (a.wide || b.wide) return Variant(r);
        return Variant(static_cast<std::int16_t>(r));
    };
    if (a.null || b.null) {
        // Three-valued logic: a known operand may decide the result on its own.
        const Bits& known = a.null ? b : a;
        const bool bothNull = a.null && b.null;
        auto withKnownKind = [&](std::int32_t r) {
            if (known.boolean) return Variant(r != 0);
            if (known.wide) return Variant(r);
            return Variant(static_cast<std::int16_t>(r));
        };
        switch (op) {
            case BinOp::And:
                if (!bothNull && known.v == 0) return withKnownKind(0);
                return Variant::null();
            case BinOp::Or:
                if (!bothNull && known.v == -1) return withKnownKind(-1);
                return Variant::null();
            case BinOp::Imp:
                if (a.null && !b.null && b.v == -1) return withKnownKind(-1);
                if (b.null && !a.null && a.v == 0) return withKnownKind(-1);
                return Variant::null();
            default: return Variant::null();
        }
    }
    switch (op) {
        case BinOp::And: return make(a.v & b.v);
        case BinOp::Or: return make(a.v | b.v);
        case BinOp::Xor: return make(a.v ^ b.v);
        case BinOp::Eqv: return make(~(a.v ^ b.v));
        default: return make(~a.v | b.v);
    }
}

}  // namespace

namespace {

bool isWholeKind(VarType t) { return t == VarType::Integer || t == VarType::Long; }

// Integer and Long operands, the common case of loops and counters, without the general conversions.
bool wholeFastPath(BinOp op, std::int64_t x, std::int64_t y, Num kind, Variant& out) {
    switch (op) {
        case BinOp::Add: out = integerResult(x + y, kind); return true;
        case BinOp::Sub: out = integerResult(x - y, kind); return true;
        case BinOp::Mul: out = integerResult(x * y, kind); return true;
        case BinOp::Mod:
        case BinOp::IntDiv:
            if (y == 0) fail(com::err::DivisionByZero);
            out = integerResult(op == BinOp::Mod ? x % y : x / y, kind);
            return true;
        case BinOp::Eq: out = Variant(x == y); return true;
        case BinOp::Ne: out = Variant(x != y); return true;
        case BinOp::Lt: out = Variant(x < y); return true;
        case BinOp::Le: out = Variant(x <= y); return true;
        case BinOp::Gt: out = Variant(x > y); return true;
        case BinOp::Ge: out = Variant(x >= y); return true;
        default: return false;
    }
}

// Appends one operand of & to the text: Null and Empty add nothing, a text and a whole number are
// written straight in (a whole number's text does not depend on the regional settings), anything
// else as CStr gives it.
void appendPart(std::string& s, const Variant& v) {
    switch (v.type()) {
        case VarType::Null:
        case VarType::Empty: return;
        case VarType::String: s += v.rawString(); return;
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte: {
            char buf[16];
            s.append(buf, std::to_chars(buf, buf + sizeof buf, v.rawInt()).ptr);
            return;
        }
        default: s += com::CStr(v);
    }
}

}  // namespace

Variant binary(BinOp op, const Variant& a0, const Variant& b0, bool numericLiteral) {
    if (isWholeKind(a0.type()) && isWholeKind(b0.type())) {
        Variant out;
        const Num kind = a0.type() == VarType::Long || b0.type() == VarType::Long ? Num::Long : Num::Integer;
        if (wholeFastPath(op, a0.rawInt(), b0.rawInt(), kind, out)) return out;
    }
    if (a0.isObject() || b0.isObject()) return binary(op, plainOf(a0), plainOf(b0), numericLiteral);
    if (a0.isArray() || b0.isArray() || a0.isMissing() || b0.isMissing()) fail(com::err::TypeMismatch);
    const Variant& a = a0;
    const Variant& b = b0;
    switch (op) {
        case BinOp::Concat: {
            if (a.isNull() && b.isNull()) return Variant::null();
            std::string s;
            appendPart(s, a);
            appendPart(s, b);
            return Variant(std::move(s));
        }
        case BinOp::Add:
            if (a.isNull() || b.isNull()) return Variant::null();
            if ((a.isString() || a.isEmpty()) && (b.isString() || b.isEmpty()) && !(a.isEmpty() && b.isEmpty()))
                return Variant((a.isString() ? a.rawString() : std::string()) +
                               (b.isString() ? b.rawString() : std::string()));
            return arithmetic(op, a, b);
        case BinOp::Sub:
        case BinOp::Mul:
            if (a.isNull() || b.isNull()) return Variant::null();
            return arithmetic(op, a, b);
        case BinOp::Div:
            if (a.isNull() || b.isNull()) return Variant::null();
            return division(a, b);
        case BinOp::IntDiv:
        case BinOp::Mod:
            if (a.isNull() || b.isNull()) return Variant::null();
            return integerDivision(op, a, b);
        case BinOp::Pow:
            if (a.isNull() || b.isNull()) return Variant::null();
            return power(a, b);
        case BinOp::Eq:
        case BinOp::Ne:
        case BinOp::Lt:
        case BinOp::Le:
        case BinOp::Gt:
        case BinOp::Ge: {
            if (a.isNull() || b.isNull()) return Variant::null();
            const int c = compareValues(a, b, numericLiteral);
            switch (op) {
                case BinOp::Eq: return Variant(c == 0);
                case BinOp::Ne: return Variant(c != 0);
                case BinOp::Lt: return Variant(c < 0);
                case BinOp::Le: return Variant(c <= 0);
                case BinOp::Gt: return Variant(c > 0);
                default: return Variant(c >= 0);
            }
        }
        default: return logical(op, a, b);
    }
}

Variant negate(const Variant& v) {
    switch (v.type()) {
        case VarType::Null: return Variant::null();
        case VarType::Empty: return Variant(std::int16_t{0});
        case VarType::Object: return negate(plainOf(v));
        case VarType::Boolean:
        case VarType::Byte:
        case VarType::Integer: return integerResult(-static_cast<std::int64_t>(v.rawInt()), Num::Integer);
        case VarType::Long: return integerResult(-static_cast<std::int64_t>(v.rawInt()), Num::Long);
        case VarType::Single: return Variant::single(static_cast<float>(-v.rawDouble()));
        case VarType::Double: return Variant(-v.rawDouble());
        case VarType::Currency:
            if (v.rawCurrency() == std::numeric_limits<std::int64_t>::min()) fail(com::err::Overflow);
            return Variant::currency(-v.rawCurrency());
        case VarType::Date: return dateResult(-v.rawDate());
        case VarType::String: return Variant(-com::CDbl(v));
        default: fail(com::err::TypeMismatch);
    }
}

Variant logicalNot(const Variant& v) {
    switch (v.type()) {
        case VarType::Null: return Variant::null();
        case VarType::Object: return logicalNot(plainOf(v));
        case VarType::Boolean: return Variant(!v.rawBool());
        case VarType::Empty: return Variant(std::int16_t{-1});
        case VarType::Byte: return Variant::byte(static_cast<std::uint8_t>(~v.rawInt() & 0xFF));
        case VarType::Integer: return Variant(static_cast<std::int16_t>(~v.rawInt()));
        case VarType::String: {
            const std::string& s = v.rawString();
            if (s.size() == 4 || s.size() == 5) {
                const std::string u = com::UCase(s);
                if (u == "TRUE" || u == "FALSE") return Variant(u != "TRUE");
            }
            return Variant(static_cast<std::int32_t>(~com::CLng(v)));
        }
        case VarType::Array:
        case VarType::Missing: fail(com::err::TypeMismatch);
        default: return Variant(static_cast<std::int32_t>(~com::CLng(v)));
    }
}

bool truthy(const Variant& v) {
    if (v.isNull()) return false;
    if (v.type() == VarType::Boolean) return v.rawBool();
    return com::CBool(v.isObject() ? plainOf(v) : v);
}

bool caseMatches(const Variant& selector, const Variant& candidate, bool numericLiteral) {
    const Variant r = binary(BinOp::Eq, selector, candidate, numericLiteral);
    return r.type() == VarType::Boolean && r.rawBool();
}

}  // namespace orvan::vbs::detail
