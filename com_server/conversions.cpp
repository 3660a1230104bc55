// The conversions of the classic Basic runtime over the regional settings: date serials and the
// calendar, text to date (the runtime's reading of day, month and year), text to number, the
// general date and number texts, the CXxx functions over Variants, upper-casing and the ANSI code
// page. Only now() and the current-year default of a two-number date read the clock; the CXxx
// functions read the thread's regional settings.
#include "com_server/conversions.h"
#include "com_server/ascii.h"

#include <cstdio>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <type_traits>

#include "com_server/calendar.h"
#include "com_server/dispatch.h"
#include "com_server/environment.h"
#include "com_server/error.h"
#include "com_server/text_codec.h"

namespace orvan::com {
namespace {

[[noreturn]] void fail(std::int32_t number) {
    throw ComError::basic(number);
}

// ---------------------------------------------------------------------------------------------
// UTF-8 and the simple upper-case mapping.

using text::appendUtf8;
using text::CodePoint;
constexpr auto decodeAt = text::decodeUtf8At;

// The lower-case letters that have a one-character capital, as runs: every `step`-th code point
// from `first` to `last` becomes itself plus `delta` (step 2 covers the alternating lower/upper
// pairs of the Latin Extended and Cyrillic blocks). Letters whose capital takes several characters
// (ß, ŉ, ǰ) are absent and stay as they are. Sorted by `last` for the binary search.
struct CaseRun {
    char32_t first, last;
    std::int32_t delta;
    std::uint8_t step;
};

constexpr CaseRun kUpperRuns[] = {
    {0x0061, 0x007A, -32, 1},    {0x00B5, 0x00B5, 743, 1},   {0x00E0, 0x00F6, -32, 1},
    {0x00F8, 0x00FE, -32, 1},    {0x00FF, 0x00FF, 121, 1},   {0x0101, 0x012F, -1, 2},
    {0x0131, 0x0131, -232, 1},   {0x0133, 0x0137, -1, 2},    {0x013A, 0x0148, -1, 2},
    {0x014B, 0x0177, -1, 2},     {0x017A, 0x017E, -1, 2},    {0x017F, 0x017F, -300, 1},
    {0x0180, 0x0180, 195, 1},    {0x0183, 0x0185, -1, 2},    {0x0188, 0x0188, -1, 1},
    {0x018C, 0x018C, -1, 1},     {0x0192, 0x0192, -1, 1},    {0x0195, 0x0195, 97, 1},
    {0x0199, 0x0199, -1, 1},     {0x019A, 0x019A, 163, 1},   {0x019E, 0x019E, 130, 1},
    {0x01A1, 0x01A5, -1, 2},     {0x01A8, 0x01A8, -1, 1},    {0x01AD, 0x01AD, -1, 1},
    {0x01B0, 0x01B0, -1, 1},     {0x01B4, 0x01B6, -1, 2},    {0x01B9, 0x01B9, -1, 1},
    {0x01BD, 0x01BD, -1, 1},     {0x01BF, 0x01BF, 56, 1},    {0x01C5, 0x01C5, -1, 1},
    {0x01C6, 0x01C6, -2, 1},     {0x01C8, 0x01C8, -1, 1},    {0x01C9, 0x01C9, -2, 1},
    {0x01CB, 0x01CB, -1, 1},     {0x01CC, 0x01CC, -2, 1},    {0x01CE, 0x01DC, -1, 2},
    {0x01DD, 0x01DD, -79, 1},    {0x01DF, 0x01EF, -1, 2},    {0x01F2, 0x01F2, -1, 1},
    {0x01F3, 0x01F3, -2, 1},     {0x01F5, 0x01F5, -1, 1},    {0x01F9, 0x021F, -1, 2},
    {0x0223, 0x0233, -1, 2},     {0x023C, 0x023C, -1, 1},    {0x023F, 0x0240, 10815, 1},
    {0x0242, 0x0242, -1, 1},     {0x0247, 0x024F, -1, 2},    {0x0250, 0x0250, 10783, 1},
    {0x0251, 0x0251, 10780, 1},  {0x0252, 0x0252, 10782, 1}, {0x0253, 0x0253, -210, 1},
    {0x0254, 0x0254, -206, 1},   {0x0256, 0x0257, -205, 1},  {0x0259, 0x0259, -202, 1},
    {0x025B, 0x025B, -203, 1},   {0x025C, 0x025C, 42319, 1}, {0x0260, 0x0260, -205, 1},
    {0x0261, 0x0261, 42315, 1},  {0x0263, 0x0263, -207, 1},  {0x0265, 0x0265, 42280, 1},
    {0x0266, 0x0266, 42308, 1},  {0x0268, 0x0268, -209, 1},  {0x0269, 0x0269, -211, 1},
    {0x026A, 0x026A, 42308, 1},  {0x026B, 0x026B, 10743, 1}, {0x026C, 0x026C, 42305, 1},
    {0x026F, 0x026F, -211, 1},   {0x0271, 0x0271, 10749, 1}, {0x0272, 0x0272, -213, 1},
    {0x0275, 0x0275, -214, 1},   {0x027D, 0x027D, 10727, 1}, {0x0280, 0x0280, -218, 1},
    {0x0282, 0x0282, 42307, 1},  {0x0283, 0x0283, -218, 1},  {0x0287, 0x0287, 42282, 1},
    {0x0288, 0x0288, -218, 1},   {0x0289, 0x0289, -69, 1},   {0x028A, 0x028B, -217, 1},
    {0x028C, 0x028C, -71, 1},    {0x0292, 0x0292, -219, 1},  {0x029D, 0x029D, 42261, 1},
    {0x029E, 0x029E, 42258, 1},  {0x0345, 0x0345, 84, 1},    {0x0371, 0x0373, -1, 2},
    {0x0377, 0x0377, -1, 1},     {0x037B, 0x037D, 130, 1},   {0x03AC, 0x03AC, -38, 1},
    {0x03AD, 0x03AF, -37, 1},    {0x03B1, 0x03C1, -32, 1},   {0x03C2, 0x03C2, -31, 1},
    {0x03C3, 0x03CB, -32, 1},    {0x03CC, 0x03CC, -64, 1},   {0x03CD, 0x03CE, -63, 1},
    {0x03D0, 0x03D0, -62, 1},    {0x03D1, 0x03D1, -57, 1},   {0x03D5, 0x03D5, -47, 1},
    {0x03D6, 0x03D6, -54, 1},    {0x03D7, 0x03D7, -8, 1},    {0x03D9, 0x03EF, -1, 2},
    {0x03F0, 0x03F0, -86, 1},    {0x03F1, 0x03F1, -80, 1},   {0x03F2, 0x03F2, 7, 1},
    {0x03F3, 0x03F3, -116, 1},   {0x03F5, 0x03F5, -96, 1},   {0x03F8, 0x03F8, -1, 1},
    {0x03FB, 0x03FB, -1, 1},     {0x0430, 0x044F, -32, 1},   {0x0450, 0x045F, -80, 1},
    {0x0461, 0x0481, -1, 2},     {0x048B, 0x04BF, -1, 2},    {0x04C2, 0x04CE, -1, 2},
    {0x04CF, 0x04CF, -15, 1},    {0x04D1, 0x052F, -1, 2},    {0x0561, 0x0586, -48, 1},
    {0x10D0, 0x10FA, 3008, 1},   {0x10FD, 0x10FF, 3008, 1},  {0x13F8, 0x13FD, -8, 1},
    {0x1C80, 0x1C80, -6254, 1},  {0x1C81, 0x1C81, -6253, 1}, {0x1C82, 0x1C82, -6244, 1},
    {0x1C83, 0x1C84, -6242, 1},  {0x1C85, 0x1C85, -6243, 1}, {0x1C86, 0x1C86, -6236, 1},
    {0x1C87, 0x1C87, -6181, 1},  {0x1C88, 0x1C88, 35266, 1}, {0x1D79, 0x1D79, 35332, 1},
    {0x1D7D, 0x1D7D, 3814, 1},   {0x1D8E, 0x1D8E, 35384, 1}, {0x1E01, 0x1E95, -1, 2},
    {0x1E9B, 0x1E9B, -59, 1},    {0x1EA1, 0x1EFF, -1, 2},    {0x1F00, 0x1F07, 8, 1},
    {0x1F10, 0x1F15, 8, 1},      {0x1F20, 0x1F27, 8, 1},     {0x1F30, 0x1F37, 8, 1},
    {0x1F40, 0x1F45, 8, 1},      {0x1F51, 0x1F57, 8, 2},     {0x1F60, 0x1F67, 8, 1},
    {0x1F70, 0x1F71, 74, 1},     {0x1F72, 0x1F75, 86, 1},    {0x1F76, 0x1F77, 100, 1},
    {0x1F78, 0x1F79, 128, 1},    {0x1F7A, 0x1F7B, 112, 1},   {0x1F7C, 0x1F7D, 126, 1},
    {0x1F80, 0x1F87, 8, 1},      {0x1F90, 0x1F97, 8, 1},     {0x1FA0, 0x1FA7, 8, 1},
    {0x1FB0, 0x1FB1, 8, 1},      {0x1FB3, 0x1FB3, 9, 1},     {0x1FBE, 0x1FBE, -7205, 1},
    {0x1FC3, 0x1FC3, 9, 1},      {0x1FD0, 0x1FD1, 8, 1},     {0x1FE0, 0x1FE1, 8, 1},
    {0x1FE5, 0x1FE5, 7, 1},      {0x1FF3, 0x1FF3, 9, 1},     {0x214E, 0x214E, -28, 1},
    {0x2170, 0x217F, -16, 1},    {0x2184, 0x2184, -1, 1},    {0x24D0, 0x24E9, -26, 1},
    {0x2C30, 0x2C5F, -48, 1},    {0x2C61, 0x2C61, -1, 1},    {0x2C65, 0x2C65, -10795, 1},
    {0x2C66, 0x2C66, -10792, 1}, {0x2C68, 0x2C6C, -1, 2},    {0x2C73, 0x2C73, -1, 1},
    {0x2C76, 0x2C76, -1, 1},     {0x2C81, 0x2CE3, -1, 2},    {0x2CEC, 0x2CEE, -1, 2},
    {0x2CF3, 0x2CF3, -1, 1},     {0x2D00, 0x2D25, -7264, 1}, {0x2D27, 0x2D27, -7264, 1},
    {0x2D2D, 0x2D2D, -7264, 1},  {0xA641, 0xA66D, -1, 2},    {0xA681, 0xA69B, -1, 2},
    {0xA723, 0xA72F, -1, 2},     {0xA733, 0xA76F, -1, 2},    {0xA77A, 0xA77C, -1, 2},
    {0xA77F, 0xA787, -1, 2},     {0xA78C, 0xA78C, -1, 1},    {0xA791, 0xA793, -1, 2},
    {0xA794, 0xA794, 48, 1},     {0xA797, 0xA7A9, -1, 2},    {0xA7B5, 0xA7C3, -1, 2},
    {0xA7C8, 0xA7CA, -1, 2},     {0xA7D1, 0xA7D1, -1, 1},    {0xA7D7, 0xA7D9, -1, 2},
    {0xA7F6, 0xA7F6, -1, 1},     {0xAB53, 0xAB53, -928, 1},  {0xAB70, 0xABBF, -38864, 1},
    {0xFF41, 0xFF5A, -32, 1},    {0x10428, 0x1044F, -40, 1}, {0x104D8, 0x104FB, -40, 1},
    {0x10597, 0x105A1, -39, 1},  {0x105A3, 0x105B1, -39, 1}, {0x105B3, 0x105B9, -39, 1},
    {0x105BB, 0x105BC, -39, 1},  {0x10CC0, 0x10CF2, -64, 1}, {0x118C0, 0x118DF, -32, 1},
    {0x16E60, 0x16E7F, -32, 1},  {0x1E922, 0x1E943, -34, 1},
};

char32_t toUpper(char32_t c) noexcept {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
    const auto* end = std::end(kUpperRuns);
    const auto* run = std::lower_bound(std::begin(kUpperRuns), end, c,
                                       [](const CaseRun& r, char32_t v) { return r.last < v; });
    if (run == end || c < run->first || (c - run->first) % run->step != 0) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + run->delta);
}

// Blanks as the runtime's parsers skip them: the ASCII ones and the Unicode spaces (no-break
// space, ideographic space, ...). The length in bytes of the blank at i, or 0.
std::size_t blankAt(std::string_view s, std::size_t i) noexcept {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == ' ' || (b >= 0x09 && b <= 0x0D)) return 1;
    if (b < 0x80) return 0;
    const CodePoint c = decodeAt(s, i);
    if (!c.valid) return 0;
    const char32_t v = c.value;
    const bool blank = v == 0x85 || v == 0xA0 || v == 0x1680 || (v >= 0x2000 && v <= 0x200A) || v == 0x2028 ||
                       v == 0x2029 || v == 0x202F || v == 0x205F || v == 0x3000;
    return blank ? c.length : 0;
}

std::size_t skipBlanks(std::string_view s, std::size_t i) noexcept {
    for (std::size_t w; i < s.size() && (w = blankAt(s, i)) != 0;) i += w;
    return i;
}

bool isDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// The length in bytes of the start of s (from i) that spells token, without regard to case; 0 when
// it does not (or the token is empty).
std::size_t matchToken(std::string_view s, std::size_t i, std::string_view token) noexcept {
    if (token.empty()) return 0;
    std::size_t j = i;
    for (std::size_t t = 0; t < token.size();) {
        if (j >= s.size()) return 0;
        const CodePoint a = decodeAt(s, j);
        const CodePoint b = decodeAt(token, t);
        if (a.value != b.value && (!a.valid || !b.valid || toUpper(a.value) != toUpper(b.value))) return 0;
        j += a.length;
        t += b.length;
    }
    return j - i;
}

// ---------------------------------------------------------------------------------------------
// The calendar. Serial 0 is 1899-12-30; the runtime covers 0100-01-01 to 9999-12-31.

using calendar::civilFromDays;
using calendar::daysFromCivil;
using calendar::daysInMonth;
using Civil = calendar::CivilDate;

constexpr std::int64_t kEpoch = calendar::kSerialEpochDays;
constexpr double kFirstDay = calendar::kFirstSerialDay;  // 0100-01-01
constexpr double kLastDay = calendar::kLastSerialDay;    // 9999-12-31
constexpr double kLastSecond = 86399.0 / 86400.0;

// Serials outside the calendar have no date text.
void requireDateRange(double serial) {
    if (!(serial > kFirstDay - 1.0 && serial < kLastDay + 1.0)) fail(err::InvalidCall);
}

// 0 = Sunday, as the day-name tables count.
unsigned weekday(const DateParts& p) noexcept {
    return calendar::weekdayFromDays(
        daysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)));
}

// ---------------------------------------------------------------------------------------------
// Writing dates and numbers.

void appendNumber(std::string& out, std::int64_t v, int minDigits) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    for (auto len = static_cast<int>(res.ptr - buf); len < minDigits; ++len) out += '0';
    out.append(buf, res.ptr);
}

// Writes p through a date/time picture: d dd (day), ddd dddd (day name), M MM (month), MMM MMMM
// (month name), y yy (year in the century), yyy and longer (the whole year), h hh (12-hour clock),
// H HH (24-hour clock), m mm, s ss, t tt (the morning/afternoon marker, or its first character),
// '...' for literal text; any other character stands for itself. Where the locale has no markers,
// the marker is left out together with the blanks written just before it.
void appendPicture(std::string& out, std::string_view picture, const DateParts& p, const Regional& r) {
    for (std::size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        if (c == '\'') {
            const std::size_t close = picture.find('\'', i + 1);
            const std::size_t stop = close == std::string_view::npos ? picture.size() : close;
            out.append(picture.substr(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        std::size_t n = 1;
        while (i + n < picture.size() && picture[i + n] == c) ++n;
        const int pad = n >= 2 ? 2 : 1;
        switch (c) {
            case 'd':
                if (n <= 2)
                    appendNumber(out, p.day, pad);
                else
                    out += (n == 3 ? r.dayAbbrevs : r.dayNames)[weekday(p)];
                break;
            case 'M':
                if (n <= 2)
                    appendNumber(out, p.month, pad);
                else
                    out += (n == 3 ? r.monthAbbrevs : r.monthNames)[static_cast<std::size_t>(p.month - 1)];
                break;
            case 'y':
                if (n <= 2)
                    appendNumber(out, p.year % 100, pad);
                else
                    appendNumber(out, p.year, 1);
                break;
            case 'h':
                appendNumber(out, p.hour % 12 == 0 ? 12 : p.hour % 12, pad);
                break;
            case 'H':
                appendNumber(out, p.hour, pad);
                break;
            case 'm':
                appendNumber(out, p.minute, pad);
                break;
            case 's':
                appendNumber(out, p.second, pad);
                break;
            case 't': {
                const std::string& marker = p.hour < 12 ? r.am : r.pm;
                if (marker.empty()) {
                    while (!out.empty() && out.back() == ' ') out.pop_back();
                } else {
                    out.append(marker, 0, n == 1 ? decodeAt(marker, 0).length : marker.size());
                }
                break;
            }
            default:
                out.append(n, c);
                break;
        }
        i += n;
    }
}

// ---------------------------------------------------------------------------------------------
// Reading numbers, as the runtime's number parser does under the standard flags: blanks around,
// one leading and one trailing sign, parentheses for a negative, the currency symbol before or
// after, the regional decimal separator, the thousands separator anywhere after the first digit
// (grouping is not checked), an exponent, and &H / &O radix prefixes. Every character must be used.

enum class Scan { Ok, Mismatch, Overflow };

struct ScannedNumber {
    Scan status = Scan::Mismatch;
    double value = 0;        // the number; for a radix number, its bits read as a 32-bit Long
    bool radix = false;      // written with &H or &O
    std::uint64_t bits = 0;  // the radix number's digits as written
    bool negative = false;
};

// The settings do not carry a currency symbol: Brazil writes R$, the other preset $.
std::string_view currencySymbol(const Regional& r) noexcept {
    return r.name == "pt-BR" ? "R$" : "$";
}

ScannedNumber scanNumber(std::string_view s, const Regional& r) noexcept {
    ScannedNumber out;
    const char decimal = r.decimal;
    // A thousands separator equal to the decimal one is masked by it.
    const char thousands = r.thousands == r.decimal ? '\0' : r.thousands;
    const std::string_view currency = currencySymbol(r);
    const std::size_t n = s.size();
    std::size_t i = 0;
    bool leadingPlus = false, leadingMinus = false, parens = false, hasCurrency = false;
    bool hasDecimal = false, hasExponent = false, leadingZero = false;
    auto at = [&](std::size_t k) { return k < n ? s[k] : '\0'; };

    // Significant digits (leading zeros dropped) and the power of ten that scales them. Digits past
    // the buffer cannot change the nearest double and only move the decimal point.
    constexpr std::size_t kMaxDigits = 800;
    char digits[kMaxDigits + 24];
    std::size_t digitCount = 0;
    long power = 0;
    auto skipZerosAfterDecimal = [&] {
        while (at(i) == '0') {
            leadingZero = true;
            ++i;
            --power;
        }
    };

    for (;;) {
        if (i < n && s[i] == decimal) {
            hasDecimal = true;
            ++i;
            skipZerosAfterDecimal();
            break;
        }
        if (i < n && blankAt(s, i)) {
            i = skipBlanks(s, i);
        } else if (thousands && at(i) == thousands) {
            return out;  // not before the first digit
        } else if (at(i) == '+' && !leadingPlus) {
            leadingPlus = true;
            ++i;
        } else if (at(i) == '-' && !leadingMinus) {
            leadingMinus = out.negative = true;
            ++i;
        } else if (!hasCurrency && s.substr(i).starts_with(currency)) {
            hasCurrency = true;
            i += currency.size();
        } else if (at(i) == '(' && !parens) {
            parens = true;
            ++i;
        } else {
            break;
        }
    }

    bool hex = false, oct = false;
    if (!hasCurrency && !hasDecimal && at(i) == '&') {
        const char kind = at(i + 1);
        hex = kind == 'H' || kind == 'h';
        oct = kind == 'O' || kind == 'o';
        if (hex || oct) i += 2;
    }
    out.radix = hex || oct;
    while (at(i) == '0') {
        leadingZero = true;
        ++i;
    }

    bool inExponent = false, exponentNegative = false, radixOverflow = false;
    std::size_t radixDigits = 0;
    auto addRadixDigit = [&](unsigned d) {
        const unsigned shift = hex ? 4 : 3;
        if (out.bits > (std::numeric_limits<std::uint64_t>::max() >> shift)) radixOverflow = true;
        out.bits = (out.bits << shift) | d;
        ++radixDigits;
    };
    while (i < n) {
        const char c = s[i];
        if (isDigit(c)) {
            if (inExponent) {
                long e = 0;
                for (; i < n && isDigit(s[i]); ++i)
                    if (e < 1000000) e = e * 10 + (s[i] - '0');
                power += exponentNegative ? -e : e;
                inExponent = false;
                continue;
            }
            if (oct && c > '7') break;
            if (out.radix) {
                addRadixDigit(static_cast<unsigned>(c - '0'));
            } else {
                if (digitCount < kMaxDigits) {
                    digits[digitCount++] = c;
                    if (hasDecimal) --power;
                } else if (!hasDecimal) {
                    ++power;
                }
            }
            ++i;
        } else if (thousands && c == thousands && !out.radix) {
            ++i;
        } else if (c == decimal && !out.radix && !hasDecimal && !hasExponent) {
            hasDecimal = true;
            ++i;
            if (digitCount == 0) skipZerosAfterDecimal();
        } else if (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            addRadixDigit(static_cast<unsigned>((c | 0x20) - 'a' + 10));
            ++i;
        } else if ((c == 'e' || c == 'E') && !out.radix && !hasCurrency && !hasExponent) {
            hasExponent = inExponent = true;
            ++i;
        } else if (inExponent && c == '+') {
            ++i;
        } else if (inExponent && c == '-') {
            exponentNegative = true;
            ++i;
        } else {
            break;
        }
    }
    if (inExponent) return out;  // an exponent without digits

    bool trailingPlus = false, trailingMinus = false, closed = false;
    for (;;) {
        if (thousands && at(i) == thousands && !out.radix) {
            ++i;
        } else if (i < n && blankAt(s, i)) {
            i = skipBlanks(s, i);
        } else if (at(i) == '+' && !leadingPlus && !trailingPlus) {
            trailingPlus = true;
            ++i;
        } else if (at(i) == '-' && !leadingMinus && !trailingMinus) {
            trailingMinus = out.negative = true;
            ++i;
        } else if (at(i) == ')' && parens && !closed) {
            closed = out.negative = true;
            ++i;
        } else if (i < n && !out.radix && s.substr(i).starts_with(currency)) {
            i += currency.size();
        } else {
            break;
        }
    }
    if (parens != closed || i != n) return out;

    if (out.radix) {
        if (radixDigits == 0 && !leadingZero) return out;
        if (radixOverflow || out.bits > 0xFFFFFFFFu) {
            out.status = Scan::Overflow;
            return out;
        }
        // &HFFFF is 65535 but &HFFFFFFFF is -1: radix texts are Long bit patterns.
        const auto asLong = static_cast<std::int32_t>(static_cast<std::uint32_t>(out.bits));
        out.value = out.negative ? -static_cast<double>(asLong) : asLong;
        out.status = Scan::Ok;
        return out;
    }
    if (digitCount == 0) {
        if (!leadingZero) return out;  // no digits at all
        out.value = out.negative ? -0.0 : 0.0;
        out.status = Scan::Ok;
        return out;
    }
    char* end = digits + digitCount;
    *end++ = 'e';
    end = std::to_chars(end, digits + sizeof digits, power).ptr;
    double v = 0;
    const auto res = std::from_chars(digits, end, v);
    if (res.ec == std::errc::result_out_of_range) {
        // Too small is zero; too large does not fit a Double.
        if (power + static_cast<long>(digitCount) > 0) {
            out.status = Scan::Overflow;
            return out;
        }
        v = 0;
    }
    out.value = out.negative ? -v : v;
    out.status = Scan::Ok;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Reading dates: the runtime's text-to-date algorithm. The text is cut into at most six numbers
// (a month name counts as one), each remembering the separator that followed it; numbers joined
// by a time separator are the time, the rest the date, in a few allowed layouts. The date numbers
// are then tried as day, month and year in three rounds of orders: the locale's own, the orders
// compatible with it, then any other; the first that makes a valid date wins.

constexpr std::uint8_t kTimeSep = 0x01;
constexpr std::uint8_t kDateSep = 0x02;
constexpr std::uint8_t kMonthName = 0x04;
constexpr std::uint8_t kAm = 0x08;
constexpr std::uint8_t kPm = 0x10;

constexpr unsigned kOrderMDY = 0x01;
constexpr unsigned kOrderYMD = 0x02;
constexpr unsigned kOrderYDM = 0x04;
constexpr unsigned kOrderDMY = 0x08;
constexpr unsigned kOrderMYD = 0x10;  // only for two numbers read as month and year

struct DateFields {
    std::array<std::uint32_t, 6> values{};
    std::array<std::uint8_t, 6> flags{};
    unsigned count = 0;
    std::uint8_t markers = 0;  // kAm / kPm seen anywhere
};

// Two-digit years land in the window that ends at twoDigitYearMax; longer ones are as written.
std::int64_t windowYear(std::uint32_t y, int twoDigitYearMax) noexcept {
    if (y > 99) return y;
    const int base = twoDigitYearMax - twoDigitYearMax % 100;
    const int full = base + static_cast<int>(y);
    return full > twoDigitYearMax ? full - 100 : full;
}

bool validDay(std::uint32_t day, std::uint32_t month, std::uint32_t year, const Regional& r) noexcept {
    return day >= 1 && month >= 1 && month <= 12 &&
           day <= daysInMonth(windowYear(year, r.twoDigitYearMax), month);
}

bool tokenize(std::string_view s, const Regional& r, DateFields& f) noexcept {
    const std::size_t n = s.size();
    unsigned dateSeps = 0;
    for (std::size_t i = 0; i < n;) {
        const char c = s[i];
        const bool last = i + 1 == n;
        if (isDigit(c)) {
            if (f.count >= 6) return false;
            std::uint64_t v = 0;
            for (; i < n && isDigit(s[i]); ++i)
                v = std::min<std::uint64_t>(v * 10 + (s[i] - '0'), 0xFFFFFFFFu);
            f.values[f.count++] = static_cast<std::uint32_t>(v);
            continue;
        }
        if (c == ':' || c == '.') {
            if (f.count == 0 || last) return false;
            if (c == r.dateSeparator) {
                if (++dateSeps > 2) return false;
                f.flags[f.count - 1] |= kDateSep;
            } else {
                f.flags[f.count - 1] |= kTimeSep;
            }
            ++i;
            continue;
        }
        if (c == '-' || c == '/') {
            if (++dateSeps > 2 || f.count == 0 || last) return false;
            f.flags[f.count - 1] |= kDateSep;
            ++i;
            continue;
        }
        if (c == ',') {
            if (last) return false;
            ++i;
            continue;
        }
        if (const std::size_t w = blankAt(s, i)) {
            i += w;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x80 && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;

        // A word: month names (full, then abbreviated) act as numbers, day names are skipped,
        // the morning/afternoon markers mark the number before them.
        std::size_t len = 0;
        std::size_t month = 0;
        for (std::size_t m = 0; m < 24 && !len; ++m) {
            if ((len = matchToken(s, i, m < 12 ? r.monthNames[m] : r.monthAbbrevs[m - 12])))
                month = m % 12 + 1;
        }
        if (month) {
            if (f.count >= 6) return false;
            f.values[f.count] = static_cast<std::uint32_t>(month);
            f.flags[f.count++] |= kMonthName | kDateSep;
        }
        for (std::size_t d = 0; d < 14 && !len; ++d)
            len = matchToken(s, i, d < 7 ? r.dayNames[d] : r.dayAbbrevs[d - 7]);
        std::uint8_t marker = 0;
        if (!len && (len = matchToken(s, i, r.am))) marker = kAm;
        if (!len && (len = matchToken(s, i, r.pm))) marker = kPm;
        if (!len && (c == 'a' || c == 'A' || c == 'p' || c == 'P') && f.count && !(f.markers & (kAm | kPm))) {
            // A lone a or p after a number abbreviates the markers, also where the locale has none.
            len = 1;
            marker = (c == 'a' || c == 'A') ? kAm : kPm;
        }
        if (!len) return false;
        if (marker) {
            if (f.count == 0 || (f.markers & (kAm | kPm))) return false;
            f.flags[f.count - 1] |= marker;
            f.markers |= marker;
        }
        i += len;
    }
    return f.count != 0 && (f.count != 1 || (f.markers & (kAm | kPm)));
}

std::optional<double> readDate(std::string_view s, const Regional& r) {
    DateFields f;
    if (!tokenize(s, r, f)) return std::nullopt;

    auto marked = [&f](unsigned k) { return (f.flags[k] & (kAm | kPm)) != 0; };
    const bool anyMarker = (f.markers & (kAm | kPm)) != 0;
    std::uint32_t hour = 0, minute = 0, second = 0;
    unsigned offset = 0;  // index of the first date number
    unsigned count = f.count;
    unsigned layout = 0;  // bit k: number k is followed by a time separator
    for (unsigned k = 0; k < 5; ++k) layout |= static_cast<unsigned>(f.flags[k] & kTimeSep) << k;

    // T = time number, D = date number, in the order written.
    switch (layout) {
        case 0x1:  // TT, TTDD, TTDDD
            if ((count > 3 && (marked(2) || marked(3) || marked(4))) ||
                (count != 2 && count != 4 && count != 5))
                return std::nullopt;
            hour = f.values[0], minute = f.values[1];
            count -= 2, offset = 2;
            break;
        case 0x3:  // TTT, TTTDD, TTTDDD
            if ((count > 4 && (marked(3) || marked(4) || marked(5))) ||
                (count != 3 && count != 5 && count != 6))
                return std::nullopt;
            hour = f.values[0], minute = f.values[1], second = f.values[2];
            count -= 3, offset = 3;
            break;
        case 0x4:  // DDTT
            if (count != 4 || marked(0) || marked(1)) return std::nullopt;
            hour = f.values[2], minute = f.values[3];
            count -= 2;
            break;
        case 0x8:  // DDDTT
            if (count != 5 || marked(0) || marked(1) || marked(2)) return std::nullopt;
            hour = f.values[3], minute = f.values[4];
            count -= 2;
            break;
        case 0xC:  // DDTTT
            if (count != 5 || marked(0) || marked(1)) return std::nullopt;
            hour = f.values[2], minute = f.values[3], second = f.values[4];
            count -= 3;
            break;
        case 0x18:  // DDDTTT
            if (count != 6 || marked(0) || marked(1) || marked(2)) return std::nullopt;
            hour = f.values[3], minute = f.values[4], second = f.values[5];
            count -= 3;
            break;
        case 0x0:  // a lone hour with a marker (T), or DD, DDD, TDD, DDT, TDDD, DDDT
            if (count == 1) {
                hour = f.values[0], count = 0;
            } else if (count > 4 || (count < 3 && anyMarker)) {
                return std::nullopt;
            } else if (count == 3 && anyMarker) {
                if (marked(0))
                    hour = f.values[0], offset = 1;
                else if (marked(2))
                    hour = f.values[2];
                else
                    return std::nullopt;
                count = 2;
            } else if (count == 4) {
                if (marked(0))
                    hour = f.values[0], offset = 1;
                else if (marked(3))
                    hour = f.values[3];
                else
                    return std::nullopt;
                count = 3;
            }
            break;
        default:
            return std::nullopt;
    }

    std::uint32_t day = 30, month = 12, year = 1899;  // a time alone lands on the zero date
    if (count > 0) {
        std::uint32_t v1 = f.values[offset], v2 = f.values[offset + 1];
        std::uint32_t v3 =
            count == 2 ? static_cast<std::uint32_t>(splitDate(environment().now()).year) : f.values[offset + 2];
        const std::uint8_t* fl = &f.flags[offset];
        unsigned orders;
        if (fl[0] & kMonthName)
            orders = kOrderMDY;
        else if (fl[1] & kMonthName)
            orders = kOrderDMY | (count > 2 ? kOrderYMD : 0);
        else if (count > 2 && (fl[2] & kMonthName))
            orders = kOrderYDM;
        else
            orders = kOrderMDY | kOrderDMY | (count > 2 ? kOrderYMD | kOrderYDM : 0);

        unsigned own, compatible;
        switch (r.order) {
            case DateOrder::MDY:
                own = kOrderMDY, compatible = ~(kOrderDMY | kOrderYDM);
                break;
            case DateOrder::DMY:
                own = kOrderDMY, compatible = ~(kOrderMDY | kOrderYDM | kOrderMYD);
                break;
            default:
                own = kOrderYMD, compatible = ~(kOrderDMY | kOrderYDM);
                break;
        }
        bool found = false;
        for (int pass = 0; pass < 2 && !found; ++pass) {
            for (int round = 0; orders && !found; ++round) {
                const unsigned tryNow = round == 0 ? orders & own : round == 1 ? orders & compatible : orders;
                auto attempt = [&](unsigned order, std::uint32_t d, std::uint32_t m, std::uint32_t y) {
                    if (found || !(tryNow & order)) return;
                    if (validDay(d, m, y, r))
                        day = d, month = m, year = y, found = true;
                    else
                        orders &= ~order;
                };
                attempt(kOrderMDY, v2, v1, v3);
                attempt(kOrderYMD, v3, v2, v1);
                attempt(kOrderYDM, v2, v3, v1);
                attempt(kOrderDMY, v1, v2, v3);
                attempt(kOrderMYD, v3, v1, v2);
            }
            // Two numbers that are neither day/month nor month/day: a year and a month, day 1.
            if (found || count != 2) break;
            v3 = 1;
            orders = kOrderYMD | kOrderMYD;
        }
        if (!found) return std::nullopt;
    }

    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    if (hour < 12 && (f.markers & kPm))
        hour += 12;
    else if (hour == 12 && (f.markers & kAm))
        hour = 0;
    DateParts p;
    const std::int64_t fullYear = windowYear(year, r.twoDigitYearMax);
    if (fullYear > 9999) return std::nullopt;
    p.year = static_cast<int>(fullYear);
    p.month = static_cast<int>(month);
    p.day = static_cast<int>(day);
    p.hour = static_cast<int>(hour);
    p.minute = static_cast<int>(minute);
    p.second = static_cast<int>(second);
    return makeDate(p);
}

// ---------------------------------------------------------------------------------------------
// The CXxx functions.

std::string formatInteger(std::int32_t v) {
    char buf[16];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The number a text stands for under the thread's settings; 13 when it is not one, 6 when it does
// not fit.
ScannedNumber numberFromText(std::string_view s) {
    ScannedNumber n = scanNumber(s, currentRegional());
    if (n.status == Scan::Mismatch) fail(err::TypeMismatch);
    if (n.status == Scan::Overflow) fail(err::Overflow);
    return n;
}

template <typename T>
T roundToInteger(double v) {
    const double r = roundHalfEven(v);
    if (!(r >= std::numeric_limits<T>::min() && r <= std::numeric_limits<T>::max())) fail(err::Overflow);
    return static_cast<T>(r);
}

template <typename T>
T toInteger(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
            return 0;
        case VarType::Null:
            fail(err::InvalidUseOfNull);
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            return roundToInteger<T>(v.rawInt());
        case VarType::Boolean:
            return v.rawBool() ? -1 : 0;
        case VarType::Double:
        case VarType::Single:
            return roundToInteger<T>(v.rawDouble());
        case VarType::Currency:
            return roundToInteger<T>(currencyValue(v));
        case VarType::Date:
            return roundToInteger<T>(v.rawDate());
        case VarType::String: {
            const ScannedNumber n = numberFromText(v.rawString());
            if (n.radix && sizeof(T) < sizeof(std::int32_t)) {
                // An Integer reads its own width of bits: &HFFFF is -1, &H10000 does not fit.
                using U = std::make_unsigned_t<T>;
                if (n.bits > std::numeric_limits<U>::max()) fail(err::Overflow);
                const auto asT = static_cast<T>(static_cast<U>(n.bits));
                return roundToInteger<T>(n.negative ? -static_cast<double>(asT) : asT);
            }
            return roundToInteger<T>(n.value);
        }
        case VarType::Object:
            return toInteger<T>(defaultValue(v));
        case VarType::Missing:
        case VarType::Array:
            break;
    }
    fail(err::TypeMismatch);
}

// A number used as a date must fall within the calendar.
double checkedSerial(double v) {
    if (!(v > kFirstDay - 1.0 && v < kLastDay + 1.0)) fail(err::Overflow);
    return v;
}

using ascii::equalsNoCase;

// The Windows-1252 code of a character; '?' for one outside the page or a byte that is not UTF-8.
unsigned char ansiOf(const CodePoint& c) noexcept {
    const int b = c.valid ? text::windows1252Byte(c.value) : -1;
    return b < 0 ? '?' : static_cast<unsigned char>(b);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

DateParts splitDate(double serial) noexcept {
    DateParts p;
    if (std::isnan(serial)) return p;
    serial = std::clamp(serial, kFirstDay - kLastSecond, kLastDay + kLastSecond);
    // The integer part is the day (also below zero); the fraction's size is the time of day.
    const double whole = std::trunc(serial);
    auto day = static_cast<std::int64_t>(whole);
    // To the millisecond first: a serial that means hh:mm:ss.5 is often a hair below it in binary,
    // and half a second rounds up.
    const auto ms = static_cast<std::int64_t>(std::floor(std::fabs(serial - whole) * 86400000.0 + 0.5));
    auto seconds = (ms + 500) / 1000;
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    const Civil c = civilFromDays(day + kEpoch);
    p.year = static_cast<int>(c.year);
    p.month = static_cast<int>(c.month);
    p.day = static_cast<int>(c.day);
    p.hour = static_cast<int>(seconds / 3600);
    p.minute = static_cast<int>(seconds / 60 % 60);
    p.second = static_cast<int>(seconds % 60);
    return p;
}

std::optional<double> makeDate(const DateParts& p) noexcept {
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > static_cast<int>(daysInMonth(p.year, static_cast<unsigned>(p.month))) || p.hour < 0 ||
        p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 || p.second > 59)
        return std::nullopt;
    const auto day = static_cast<double>(
        daysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) - kEpoch);
    const double time = (p.hour * 3600 + p.minute * 60 + p.second) / 86400.0;
    return day < 0 ? day - time : day + time;
}

double now() {
    return environment().now();
}

std::optional<double> parseDate(std::string_view text, const Regional& r) {
    return readDate(text, r);
}

std::optional<double> parseNumber(std::string_view text, const Regional& r) {
    const ScannedNumber n = scanNumber(text, r);
    if (n.status != Scan::Ok) return std::nullopt;
    return n.value;
}

std::string formatShortDate(double serial, const Regional& r) {
    requireDateRange(serial);
    std::string out;
    appendPicture(out, r.shortDate, splitDate(serial), r);
    return out;
}

std::string formatLongTime(double serial, const Regional& r) {
    requireDateRange(serial);
    std::string out;
    appendPicture(out, r.longTime, splitDate(serial), r);
    return out;
}

std::string formatGeneralDate(double serial, const Regional& r) {
    requireDateRange(serial);
    const DateParts p = splitDate(serial);
    const bool timeOnly = std::trunc(serial) == 0.0;
    const bool dateOnly = !timeOnly && p.hour == 0 && p.minute == 0 && p.second == 0;
    std::string out;
    out.reserve(24);
    if (!timeOnly) appendPicture(out, r.shortDate, p, r);
    if (!dateOnly) {
        if (!out.empty()) out += ' ';
        appendPicture(out, r.longTime, p, r);
    }
    return out;
}

std::string formatNumber(double value, const Regional& r) {
    // Fifteen significant digits, as the runtime writes a Double; the shortest form that reads
    // back is among them.
    return formatDigits(value, 15, r);
}

std::string formatDigits(double value, int digits, const Regional& r) {
    if (value == 0) return "0";  // also -0
    // Exponents are written E+20 / E-07.
    char buf[48];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    std::string out(buf, res.ptr);
    for (char& c : out) {
        if (c == '.')
            c = r.decimal;
        else if (c == 'e')
            c = 'E';
    }
    return out;
}

std::string currencyText(std::int64_t scaled, char decimal) {
    const bool negative = scaled < 0;
    // The magnitude as unsigned, so that the most negative count has one too.
    const std::uint64_t m = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string out = (negative ? "-" : "") + std::to_string(m / 10000);
    std::uint64_t fraction = m % 10000;
    if (fraction != 0) {
        char digits[5] = {};
        for (int k = 3; k >= 0; --k, fraction /= 10) digits[k] = static_cast<char>('0' + fraction % 10);
        std::string_view f(digits, 4);
        out += decimal;
        out += f.substr(0, f.find_last_not_of('0') + 1);
    }
    return out;
}

double roundHalfEven(double v) noexcept {
    const double down = std::floor(v);
    const double diff = v - down;
    if (diff < 0.5) return down;
    if (diff > 0.5) return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

std::string CStr(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
            return {};
        case VarType::Null:
            fail(err::InvalidUseOfNull);
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            return formatInteger(v.rawInt());
        case VarType::Double:
            return formatNumber(v.rawDouble(), currentRegional());
        case VarType::Single:
            return formatDigits(v.rawDouble(), 7, currentRegional());
        case VarType::Currency:
            return currencyText(v.rawCurrency(), currentRegional().decimal);
        case VarType::Date:
            return formatGeneralDate(v.rawDate(), currentRegional());
        case VarType::String:
            return v.rawString();
        case VarType::Boolean:
            return v.rawBool() ? "True" : "False";
        case VarType::Object:
            return CStr(defaultValue(v));
        case VarType::Missing:
        case VarType::Array:
            break;
    }
    fail(err::TypeMismatch);
}

std::int32_t CLng(const Variant& v) {
    return toInteger<std::int32_t>(v);
}

std::int16_t CInt(const Variant& v) {
    return toInteger<std::int16_t>(v);
}

double CDbl(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
            return 0;
        case VarType::Null:
            fail(err::InvalidUseOfNull);
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            return v.rawInt();
        case VarType::Boolean:
            return v.rawBool() ? -1 : 0;
        case VarType::Double:
        case VarType::Single:
            return v.rawDouble();
        case VarType::Currency:
            return currencyValue(v);
        case VarType::Date:
            return v.rawDate();
        case VarType::String:
            return numberFromText(v.rawString()).value;
        case VarType::Object:
            return CDbl(defaultValue(v));
        case VarType::Missing:
        case VarType::Array:
            break;
    }
    fail(err::TypeMismatch);
}

bool CBool(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
            return false;
        case VarType::Null:
            fail(err::InvalidUseOfNull);
        case VarType::Integer:
        case VarType::Long:
        case VarType::Boolean:
        case VarType::Byte:
            return v.rawInt() != 0;
        case VarType::Double:
        case VarType::Single:
            return v.rawDouble() != 0;
        case VarType::Currency:
            return v.rawCurrency() != 0;
        case VarType::Date:
            return v.rawDate() != 0;
        case VarType::String: {
            const std::string& s = v.rawString();
            if (equalsNoCase(s, "True")) return true;
            if (equalsNoCase(s, "False")) return false;
            return numberFromText(s).value != 0;
        }
        case VarType::Object:
            return CBool(defaultValue(v));
        case VarType::Missing:
        case VarType::Array:
            break;
    }
    fail(err::TypeMismatch);
}

double CDate(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
            return 0;
        case VarType::Null:
            fail(err::InvalidUseOfNull);
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            return checkedSerial(v.rawInt());
        case VarType::Boolean:
            return v.rawBool() ? -1 : 0;
        case VarType::Double:
        case VarType::Single:
            return checkedSerial(v.rawDouble());
        case VarType::Currency:
            return checkedSerial(currencyValue(v));
        case VarType::Date:
            return v.rawDate();
        case VarType::String:
            if (const auto d = parseDate(v.rawString(), currentRegional())) return *d;
            fail(err::TypeMismatch);
        case VarType::Object:
            return CDate(defaultValue(v));
        case VarType::Missing:
        case VarType::Array:
            break;
    }
    fail(err::TypeMismatch);
}

bool unequalToEmptyText(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
            return false;
        case VarType::String:
            return !v.rawString().empty();
        // A number or a date against a text: the number is always the lesser, so never equal.
        case VarType::Integer:
        case VarType::Long:
        case VarType::Single:
        case VarType::Double:
        case VarType::Currency:
        case VarType::Date:
        case VarType::Boolean:
        case VarType::Byte:
            return true;
        case VarType::Object:
            return unequalToEmptyText(defaultValue(v));
        case VarType::Missing:
        case VarType::Array:
            break;
    }
    fail(err::TypeMismatch);
}

std::string UCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += (b >= 'a' && b <= 'z') ? static_cast<char>(b - ('a' - 'A')) : static_cast<char>(b);
            ++i;
            continue;
        }
        const CodePoint c = decodeAt(text, i);
        if (c.valid)
            appendUtf8(out, toUpper(c.value));
        else
            out += static_cast<char>(b);  // not UTF-8: passed through untouched
        i += c.length;
    }
    return out;
}

Variant UCase(const Variant& v) {
    switch (v.type()) {
        case VarType::Null:
            return Variant::null();
        case VarType::String:
            return Variant(UCase(v.rawString()));
        case VarType::Object:
            return UCase(defaultValue(v));
        default:
            return Variant(UCase(CStr(v)));
    }
}

std::string toAnsi(std::string_view utf8) {
    return text::utf8ToWindows1252(utf8);
}

int Asc(const Variant& v) {
    switch (v.type()) {
        case VarType::Null:
            fail(err::InvalidUseOfNull);
        case VarType::Empty:
            fail(err::InvalidCall);
        case VarType::Object:
            return Asc(defaultValue(v));
        case VarType::String: {
            const std::string& s = v.rawString();
            if (s.empty()) fail(err::InvalidCall);
            return ansiOf(decodeAt(s, 0));
        }
        default: {
            const std::string s = CStr(v);
            if (s.empty()) fail(err::InvalidCall);
            return ansiOf(decodeAt(s, 0));
        }
    }
}


void appendPadded(std::string& out, int value, int width) {
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    std::string_view text(digits, static_cast<std::size_t>(end - digits));
    if (!text.empty() && text.front() == '-') {
        out += '-';
        text.remove_prefix(1);
    }
    if (static_cast<int>(text.size()) < width) out.append(static_cast<std::size_t>(width) - text.size(), '0');
    out += text;
}

std::string formatYearFirstDate(const DateParts& parts, int yearDigits) {
    std::string out;
    out.reserve(20);
    appendPadded(out, parts.year, yearDigits);
    out += '-';
    appendPadded(out, parts.month, 2);
    out += '-';
    appendPadded(out, parts.day, 2);
    return out;
}

std::string formatYearFirstDateTime(const DateParts& parts, int yearDigits) {
    std::string out = formatYearFirstDate(parts, yearDigits);
    out += ' ';
    appendPadded(out, parts.hour, 2);
    out += ':';
    appendPadded(out, parts.minute, 2);
    out += ':';
    appendPadded(out, parts.second, 2);
    return out;
}

}  // namespace orvan::com
