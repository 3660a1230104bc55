// The library's conversions (CBool ... CStr), whole-number and rounding functions that keep their
// argument's subtype (Int, Fix, Round, Abs), and the math functions with the language's own random
// number generator (a 24-bit linear congruential sequence, reseeded by Rnd(negative) and Randomize).
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "com_server/dispatch.h"
#include "vbscript/internal/library_impl.h"

namespace orvan::vbs::lib {
namespace {

using com::VarType;

// The plain value of an object argument (its default member), anything else as it is.
Variant plain(const Variant& v) { return v.isObject() ? com::defaultValue(v) : v; }

// Applies a whole-number operation to v keeping its subtype where the language keeps it: integers
// stay as they are, Single/Double/Date/Currency go through op, a text becomes a Double.
template <typename Op>
Variant wholeNumber(const Variant& in, Op op) {
    const Variant v = plain(in);
    switch (v.type()) {
        case VarType::Null:
            return Variant::null();
        case VarType::Empty:
            return Variant(std::int16_t{0});
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            return v;
        case VarType::Boolean:
            return Variant(static_cast<std::int16_t>(v.rawInt()));
        case VarType::Single:
            return Variant::single(static_cast<float>(op(v.rawDouble())));
        case VarType::Double:
            return Variant(op(v.rawDouble()));
        case VarType::Date:
            return Variant::date(op(v.rawDate()));
        case VarType::Currency:
            return Variant::currency(static_cast<std::int64_t>(op(static_cast<double>(v.rawCurrency()) / 10000.0)) * 10000);
        default:
            return Variant(op(com::CDbl(v)));
    }
}

double checkedNumber(double v) {
    if (!std::isfinite(v)) fail(com::err::Overflow);
    return v;
}

// x rounded to `digits` decimals, half to even. A value that lies within a few ulps of a half is
// taken as that half (0.125 written in a script means exactly one eighth, 2.675 means 2.675).
double roundDecimal(double x, int digits) {
    if (digits == 0) return com::roundHalfEven(x);
    const double scale = std::pow(10.0, digits);
    const double scaled = x * scale;
    if (!std::isfinite(scaled)) return x;
    const double fl = std::floor(scaled);
    const double diff = scaled - fl;
    if (std::fabs(diff - 0.5) < 1e-9 * std::max(1.0, std::fabs(scaled)))
        return (std::fmod(fl, 2.0) == 0.0 ? fl : fl + 1.0) / scale;
    return std::round(scaled) / scale;
}

template <typename F>
Variant mathOf(Args a, F f) {
    if (a[0].isNull()) return Variant::null();
    return Variant(checkedNumber(f(com::CDbl(a[0]))));
}

struct RandomState {
    std::uint32_t seed = 0x50000;
};
thread_local RandomState t_random;

constexpr std::uint32_t kMultiplier = 0x43FD43FD;
constexpr std::uint32_t kIncrement = 0xC39EC3;

void step(std::uint32_t& x) { x = (x * kMultiplier + kIncrement) & 0xFFFFFF; }

std::uint32_t floatBits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

}  // namespace

Variant CBool(Args a) { return Variant(com::CBool(a[0])); }

Variant CByte(Args a) {
    const double v = com::roundHalfEven(com::CDbl(a[0]));
    if (!(v >= 0 && v <= 255)) fail(com::err::Overflow);
    return Variant::byte(static_cast<std::uint8_t>(v));
}

Variant CCur(Args a) {
    const Variant v = plain(a[0]);
    if (v.type() == VarType::Currency) return v;
    const double scaled = com::roundHalfEven(com::CDbl(v) * 10000.0);
    if (!(std::fabs(scaled) < 9.223372036854775807e18)) fail(com::err::Overflow);
    return Variant::currency(static_cast<std::int64_t>(scaled));
}

Variant CDate(Args a) { return Variant::date(com::CDate(a[0])); }
Variant CDbl(Args a) { return Variant(com::CDbl(a[0])); }
Variant CInt(Args a) { return Variant(com::CInt(a[0])); }
Variant CLng(Args a) { return Variant(com::CLng(a[0])); }

Variant CSng(Args a) {
    const double v = com::CDbl(a[0]);
    if (std::fabs(v) > FLT_MAX) fail(com::err::Overflow);
    return Variant::single(static_cast<float>(v));
}

Variant CStr(Args a) { return Variant(com::CStr(a[0])); }

Variant Int(Args a) {
    return wholeNumber(a[0], [](double x) { return std::floor(x); });
}

Variant Fix(Args a) {
    return wholeNumber(a[0], [](double x) { return std::trunc(x); });
}

Variant Round(Args a) {
    const std::int32_t digits = given(a, 1) ? longArg(a[1]) : 0;
    if (digits < 0) fail(com::err::InvalidCall);
    const Variant v = plain(a[0]);
    if (v.type() == VarType::Currency) {
        if (digits >= 4) return v;
        return Variant::currency(std::llround(roundDecimal(com::currencyValue(v), digits) * 10000.0));
    }
    return wholeNumber(v, [digits](double x) { return roundDecimal(x, digits); });
}

Variant Abs(Args a) {
    const Variant v = plain(a[0]);
    switch (v.type()) {
        case VarType::Null:
            return Variant::null();
        case VarType::Empty:
            return Variant(std::int16_t{0});
        case VarType::Integer:
        case VarType::Boolean: {
            const std::int32_t n = std::abs(v.rawInt());
            if (n > 32767) return Variant(n);  // -32768 overflows an Integer: the result is a Long
            return Variant(static_cast<std::int16_t>(n));
        }
        case VarType::Long: {
            const std::int64_t n = std::abs(static_cast<std::int64_t>(v.rawInt()));
            if (n > std::numeric_limits<std::int32_t>::max()) return Variant(static_cast<double>(n));
            return Variant(static_cast<std::int32_t>(n));
        }
        case VarType::Byte:
            return v;
        case VarType::Single:
            return Variant::single(static_cast<float>(std::fabs(v.rawDouble())));
        case VarType::Double:
            return Variant(std::fabs(v.rawDouble()));
        case VarType::Currency:
            if (v.rawCurrency() == std::numeric_limits<std::int64_t>::min()) fail(com::err::Overflow);
            return Variant::currency(v.rawCurrency() < 0 ? -v.rawCurrency() : v.rawCurrency());
        case VarType::Date:
            return Variant::date(std::fabs(v.rawDate()));
        default:
            return Variant(std::fabs(com::CDbl(v)));
    }
}

Variant Sgn(Args a) {
    if (a[0].isNull()) return Variant::null();
    const double v = com::CDbl(a[0]);
    return Variant(static_cast<std::int16_t>(v > 0 ? 1 : v < 0 ? -1 : 0));
}

Variant Sqr(Args a) {
    if (a[0].isNull()) return Variant::null();
    const double v = com::CDbl(a[0]);
    if (v < 0) fail(com::err::InvalidCall);
    return Variant(std::sqrt(v));
}

Variant Exp(Args a) {
    return mathOf(a, [](double x) { return std::exp(x); });
}

Variant Log(Args a) {
    if (a[0].isNull()) return Variant::null();
    const double v = com::CDbl(a[0]);
    if (v <= 0) fail(com::err::InvalidCall);
    return Variant(std::log(v));
}

Variant Sin(Args a) {
    return mathOf(a, [](double x) { return std::sin(x); });
}
Variant Cos(Args a) {
    return mathOf(a, [](double x) { return std::cos(x); });
}
Variant Tan(Args a) {
    return mathOf(a, [](double x) { return std::tan(x); });
}
Variant Atn(Args a) {
    return mathOf(a, [](double x) { return std::atan(x); });
}

Variant Rnd(Args a) {
    std::uint32_t& x = t_random.seed;
    const double n = given(a, 0) ? com::CDbl(a[0]) : 1.0;
    if (n < 0) {
        // The same negative number always gives the same value: it becomes the seed.
        const std::uint32_t b = floatBits(static_cast<float>(n));
        x = (b + (b >> 24)) & 0xFFFFFF;
        step(x);
    } else if (n > 0) {
        step(x);
    }
    return Variant::single(static_cast<float>(x) / 16777216.0f);
}

// A color value: red + 256 * green + 65536 * blue; a part over 255 counts as 255, a negative one is
// error 5.
Variant RGB(Args a) {
    std::int32_t color = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::int32_t part = longArg(a[i]);
        if (part < 0) fail(com::err::InvalidCall);
        color += std::min(part, std::int32_t{255}) << (8 * i);
    }
    return Variant(color);
}

Variant Randomize(Args a) {
    double n;
    if (given(a, 0)) {
        n = com::CDbl(a[0]);
    } else {
        // Without a number the seed comes from the system timer (seconds since midnight).
        const double t = com::now();
        n = (t - std::floor(t)) * 86400.0;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &n, sizeof bits);
    auto high = static_cast<std::uint32_t>(bits >> 32);
    high = ((high & 0xFFFF) ^ (high >> 16)) << 8;
    t_random.seed = (t_random.seed & 0xFF) | (high & 0xFFFF00);
    return Variant();
}

}  // namespace orvan::vbs::lib
