// UTF-16 views of the runtime's UTF-8 text and simple lower-casing for the VBScript library; the
// UTF-8 and calendar arithmetic underneath are the runtime's own (text_codec.h, calendar.h).
#include "vbscript/internal/text.h"

#include "com_server/calendar.h"
#include "com_server/text_codec.h"

namespace orvan::vbs::text {

std::u16string toUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const com::text::CodePoint c = com::text::decodeUtf8At(s, i);
        if (c.valid) {
            if (c.value >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((c.value - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((c.value - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(c.value);
            }
            i += c.length;
            continue;
        }
        // A lone surrogate in its three-byte form (what toUtf8 writes for one) is that code unit again.
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
        if (i + 2 < s.size() && b(0) == 0xED && b(1) >= 0xA0 && b(1) <= 0xBF && (b(2) & 0xC0) == 0x80) {
            out += static_cast<char16_t>(0xD000 | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F));
            i += 3;
            continue;
        }
        out += u'\uFFFD';
        ++i;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    com::text::appendUtf8(out, c);
}

std::string toUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

std::size_t utf16Length(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) n += b >= 0xF0 ? 2 : 1;
    }
    return n;
}

char16_t toLower(char16_t c) noexcept {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x137) return static_cast<char16_t>(c | 1);
    if (c >= 0x139 && c <= 0x148) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c >= 0x14A && c <= 0x177) return static_cast<char16_t>(c | 1);
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    return c;
}

std::u16string toLower(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = toLower(c);
    return out;
}

std::int64_t daysFromCivil(std::int64_t y, int m, int d) noexcept {
    return com::calendar::daysFromCivil(y, static_cast<unsigned>(m), 1) + (d - 1);
}

Civil civilFromDays(std::int64_t z) noexcept {
    const com::calendar::CivilDate c = com::calendar::civilFromDays(z);
    return {c.year, static_cast<int>(c.month), static_cast<int>(c.day)};
}

int daysInMonth(std::int64_t y, int m) noexcept {
    return static_cast<int>(com::calendar::daysInMonth(y, static_cast<unsigned>(m)));
}

std::int64_t serialDay(std::int64_t y, int m, int d) noexcept {
    return daysFromCivil(y, m, d) - com::calendar::kSerialEpochDays;
}

}  // namespace orvan::vbs::text
