// The library's string functions. Positions and lengths count UTF-16 code units, as the language's
// strings do, so each function works on the UTF-16 form of its text. Null propagates where the
// language reference says so; bad lengths and positions are error 5.
#include <algorithm>

#include "vbscript/internal/library_impl.h"
#include "vbscript/internal/text.h"

namespace orvan::vbs::lib {
namespace {

// The position and length of needle in hay from `from` (0-based), or npos; compare 1 folds case.
std::size_t findIn(const std::u16string& hay, const std::u16string& needle, std::size_t from, int compare) {
    if (compare == 0) return hay.find(needle, from);
    return text::toLower(hay).find(text::toLower(needle), from);
}

std::size_t findLastIn(const std::u16string& hay, const std::u16string& needle, std::size_t from, int compare) {
    if (compare == 0) return hay.rfind(needle, from);
    return text::toLower(hay).rfind(text::toLower(needle), from);
}

// A non-negative count argument (5 when negative).
std::size_t countArg(const Variant& v) {
    const std::int32_t n = longArg(v);
    if (n < 0) fail(com::err::InvalidCall);
    return static_cast<std::size_t>(n);
}

Variant trimmed(Args a, bool left, bool right) {
    if (a[0].isNull()) return Variant::null();
    std::string s = com::CStr(a[0]);
    std::size_t b = 0, e = s.size();
    if (left)
        while (b < e && s[b] == ' ') ++b;
    if (right)
        while (e > b && s[e - 1] == ' ') --e;
    return Variant(s.substr(b, e - b));
}

std::string hexOrOct(Args a, int bits) {
    const Variant& v = a[0];
    std::uint32_t n = 0;
    switch (v.type()) {
        case com::VarType::Empty:
            return "0";
        case com::VarType::Integer:
        case com::VarType::Boolean:
        case com::VarType::Byte:
            n = static_cast<std::uint16_t>(v.rawInt());
            break;
        default:
            n = static_cast<std::uint32_t>(com::CLng(v));
            break;
    }
    std::string out;
    const std::uint32_t mask = (1u << bits) - 1;
    do {
        out += "0123456789ABCDEF"[n & mask];
        n >>= bits;
    } while (n != 0);
    std::reverse(out.begin(), out.end());
    return out;
}

bool isEscapeSafe(char16_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@' || c == '*' ||
           c == '_' || c == '+' || c == '-' || c == '.' || c == '/';
}

int hexDigit(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The Unicode character of a Windows-1252 code (0-255).
char16_t fromAnsi(int code) {
    static constexpr char16_t k80[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    if (code >= 0x80 && code < 0xA0) return k80[code - 0x80];
    return static_cast<char16_t>(code);
}

}  // namespace

Variant Len(Args a) {
    if (a[0].isNull()) return Variant::null();
    return Variant(static_cast<std::int32_t>(text::utf16Length(com::CStr(a[0]))));
}

Variant Left(Args a) {
    if (a[0].isNull()) return Variant::null();
    const std::size_t n = countArg(a[1]);
    const std::u16string s = u16(a[0]);
    return str(std::u16string_view(s).substr(0, n));
}

Variant Right(Args a) {
    if (a[0].isNull()) return Variant::null();
    const std::size_t n = countArg(a[1]);
    const std::u16string s = u16(a[0]);
    return str(std::u16string_view(s).substr(s.size() - std::min(n, s.size())));
}

Variant Mid(Args a) {
    if (a[0].isNull()) return Variant::null();
    const std::int32_t start = longArg(a[1]);
    if (start < 1) fail(com::err::InvalidCall);
    const std::size_t n = given(a, 2) ? countArg(a[2]) : std::u16string::npos;
    const std::u16string s = u16(a[0]);
    const auto from = static_cast<std::size_t>(start - 1);
    if (from >= s.size()) return Variant("");
    return str(std::u16string_view(s).substr(from, n));
}

Variant InStr(Args a) {
    // InStr(string1, string2) or InStr(start, string1, string2[, compare]).
    std::size_t i = 0;
    std::int32_t start = 1;
    if (a.size() >= 3) {
        start = longArg(a[0]);
        if (start < 1) fail(com::err::InvalidCall);
        i = 1;
    }
    const int compare = compareArg(a, i + 2);
    if (a[i].isNull() || a[i + 1].isNull()) return Variant::null();
    const std::u16string hay = u16(a[i]), needle = u16(a[i + 1]);
    const auto from = static_cast<std::size_t>(start - 1);
    if (from > hay.size() || (hay.empty() && !needle.empty())) return Variant(std::int32_t{0});
    if (needle.empty()) return Variant(start);
    const std::size_t p = findIn(hay, needle, from, compare);
    return Variant(p == std::u16string::npos ? std::int32_t{0} : static_cast<std::int32_t>(p + 1));
}

Variant InStrRev(Args a) {
    std::int32_t start = -1;
    if (given(a, 2)) {
        start = longArg(a[2]);
        if (start == 0 || start < -1) fail(com::err::InvalidCall);
    }
    const int compare = compareArg(a, 3);
    if (a[0].isNull() || a[1].isNull()) return Variant::null();
    const std::u16string hay = u16(a[0]), needle = u16(a[1]);
    if (hay.empty()) return Variant(std::int32_t{0});
    if (start == -1) start = static_cast<std::int32_t>(hay.size());
    if (static_cast<std::size_t>(start) > hay.size()) return Variant(std::int32_t{0});
    if (needle.empty()) return Variant(start);
    // The match must end at or before position start.
    if (needle.size() > static_cast<std::size_t>(start)) return Variant(std::int32_t{0});
    const std::size_t p = findLastIn(hay, needle, static_cast<std::size_t>(start) - needle.size(), compare);
    return Variant(p == std::u16string::npos ? std::int32_t{0} : static_cast<std::int32_t>(p + 1));
}

Variant LCase(Args a) {
    if (a[0].isNull()) return Variant::null();
    return str(text::toLower(u16(a[0])));
}

Variant UCase(Args a) { return com::UCase(a[0]); }

Variant LTrim(Args a) { return trimmed(a, true, false); }
Variant RTrim(Args a) { return trimmed(a, false, true); }
Variant Trim(Args a) { return trimmed(a, true, true); }

Variant Replace(Args a) {
    const std::u16string expr = u16(a[0]), find = u16(a[1]), with = u16(a[2]);
    std::int32_t start = 1;
    if (given(a, 3)) {
        start = longArg(a[3]);
        if (start < 1) fail(com::err::InvalidCall);
    }
    std::int32_t count = -1;
    if (given(a, 4)) {
        count = longArg(a[4]);
        if (count < -1) fail(com::err::InvalidCall);
    }
    const int compare = compareArg(a, 5);
    const auto from = static_cast<std::size_t>(start - 1);
    // The result starts at `start`: what lies before it is dropped.
    if (from >= expr.size()) return Variant("");
    const std::u16string tail = expr.substr(from);
    if (find.empty() || count == 0) return str(tail);
    const std::u16string hay = compare ? text::toLower(tail) : tail;
    const std::u16string pat = compare ? text::toLower(find) : find;
    std::u16string out;
    std::size_t pos = 0;
    for (std::int32_t done = 0; count < 0 || done < count; ++done) {
        const std::size_t p = hay.find(pat, pos);
        if (p == std::u16string::npos) break;
        out.append(tail, pos, p - pos);
        out += with;
        pos = p + pat.size();
    }
    out.append(tail, pos);
    return str(out);
}

Variant Split(Args a) {
    if (a[0].isNull()) return Variant::null();
    const std::u16string expr = u16(a[0]);
    const std::u16string delim = given(a, 1) ? u16(a[1]) : u"";
    const bool defaultDelim = !given(a, 1);
    std::int32_t count = -1;
    if (given(a, 2)) {
        count = longArg(a[2]);
        if (count < -1) fail(com::err::InvalidCall);
    }
    const int compare = compareArg(a, 3);
    std::vector<Variant> parts;
    if (expr.empty() || count == 0) return Variant::array(std::move(parts));
    const std::u16string d = defaultDelim ? std::u16string(u" ") : delim;
    if (d.empty()) {
        parts.push_back(str(expr));
        return Variant::array(std::move(parts));
    }
    const std::u16string hay = compare ? text::toLower(expr) : expr;
    const std::u16string pat = compare ? text::toLower(d) : d;
    std::size_t pos = 0;
    while (count < 0 || static_cast<std::int32_t>(parts.size()) < count - 1) {
        const std::size_t p = hay.find(pat, pos);
        if (p == std::u16string::npos) break;
        parts.push_back(str(std::u16string_view(expr).substr(pos, p - pos)));
        pos = p + pat.size();
    }
    parts.push_back(str(std::u16string_view(expr).substr(pos)));
    return Variant::array(std::move(parts));
}

Variant Join(Args a) {
    const Variant& list = arrayArg(a[0]);
    if (list.arraySizes().size() != 1) fail(com::err::TypeMismatch);
    const std::string delim = given(a, 1) ? com::CStr(a[1]) : " ";
    std::string out;
    bool first = true;
    for (const Variant& item : list.rawArray()) {
        if (!first) out += delim;
        first = false;
        if (!item.isNull()) out += com::CStr(item);
    }
    return Variant(std::move(out));
}

Variant Filter(Args a) {
    if (a[0].isNull()) fail(com::err::InvalidUseOfNull);
    const Variant& list = arrayArg(a[0]);
    if (list.arraySizes().size() != 1) fail(com::err::TypeMismatch);
    const std::u16string value = u16(a[1]);
    const bool include = given(a, 2) ? com::CBool(a[2]) : true;
    const int compare = compareArg(a, 3);
    std::vector<Variant> out;
    for (const Variant& item : list.rawArray()) {
        const std::u16string s = item.isNull() ? std::u16string() : u16(item);
        const bool found = findIn(s, value, 0, compare) != std::u16string::npos;
        if (found == include) out.push_back(str(s));
    }
    return Variant::array(std::move(out));
}

Variant StrComp(Args a) {
    const int compare = compareArg(a, 2);
    if (a[0].isNull() || a[1].isNull()) return Variant::null();
    std::u16string x = u16(a[0]), y = u16(a[1]);
    if (compare) {
        x = text::toLower(x);
        y = text::toLower(y);
    }
    const int c = x.compare(y);
    return Variant(static_cast<std::int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
}

Variant StrReverse(Args a) {
    const std::u16string s = u16(a[0]);
    std::u16string out(s.rbegin(), s.rend());
    // A surrogate pair stays in its order: it is one character.
    for (std::size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] >= 0xDC00 && out[i] < 0xE000 && out[i + 1] >= 0xD800 && out[i + 1] < 0xDC00) {
            std::swap(out[i], out[i + 1]);
            ++i;
        }
    return str(out);
}

Variant String(Args a) {
    if (a[0].isNull() || a[1].isNull()) return Variant::null();
    const std::size_t n = countArg(a[0]);
    char16_t c = 0;
    if (a[1].isString()) {
        const std::u16string s = u16(a[1]);
        if (s.empty()) fail(com::err::InvalidCall);
        c = s[0];
    } else {
        const std::int32_t code = longArg(a[1]);
        c = fromAnsi(((code % 256) + 256) % 256);
    }
    return str(std::u16string(n, c));
}

Variant Space(Args a) { return Variant(std::string(countArg(a[0]), ' ')); }

Variant Chr(Args a) {
    const std::int32_t code = longArg(a[0]);
    if (code < 0 || code > 255) fail(com::err::InvalidCall);
    return str(std::u16string(1, fromAnsi(code)));
}

Variant ChrW(Args a) {
    std::int32_t code = longArg(a[0]);
    if (code < -32768 || code > 65535) fail(com::err::InvalidCall);
    if (code < 0) code += 65536;
    return str(std::u16string(1, static_cast<char16_t>(code)));
}

Variant Asc(Args a) { return Variant(static_cast<std::int16_t>(com::Asc(a[0]))); }

Variant AscW(Args a) {
    if (a[0].isNull()) fail(com::err::InvalidUseOfNull);
    const std::u16string s = u16(a[0]);
    if (s.empty()) fail(com::err::InvalidCall);
    return Variant(static_cast<std::int16_t>(s[0]));
}

Variant Hex(Args a) {
    if (a[0].isNull()) return Variant::null();
    return Variant(hexOrOct(a, 4));
}

Variant Oct(Args a) {
    if (a[0].isNull()) return Variant::null();
    return Variant(hexOrOct(a, 3));
}

Variant Escape(Args a) {
    if (a[0].isNull()) return Variant::null();
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char16_t c : u16(a[0])) {
        if (isEscapeSafe(c)) {
            out += static_cast<char>(c);
        } else if (c < 0x100) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += "%u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
        }
    }
    return Variant(std::move(out));
}

Variant Unescape(Args a) {
    if (a[0].isNull()) return Variant::null();
    const std::u16string s = u16(a[0]);
    std::u16string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        // %uXXXX, then %XX; anything else (a malformed escape included) is kept as written.
        if (s[i] == '%' && i + 5 < s.size() && (s[i + 1] == 'u' || s[i + 1] == 'U')) {
            int v = 0;
            bool ok = true;
            for (std::size_t k = 2; k < 6 && ok; ++k) {
                const int d = hexDigit(s[i + k]);
                ok = d >= 0;
                v = v * 16 + d;
            }
            if (ok) {
                out += static_cast<char16_t>(v);
                i += 5;
                continue;
            }
        }
        if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
            out += static_cast<char16_t>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
            i += 2;
            continue;
        }
        out += s[i];
    }
    return str(out);
}

}  // namespace orvan::vbs::lib
