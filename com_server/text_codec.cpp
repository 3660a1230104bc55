// UTF-8 decoding and encoding and the Windows-1252 code page.
#include "com_server/text_codec.h"

namespace orvan::com::text {
namespace {

// Windows-1252 bytes 0x80-0x9F: the characters they stand for, by byte. 0xA0-0xFF are Latin-1.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

CodePoint decodeUtf8At(std::string_view s, std::size_t i) noexcept {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return {b0, 1, true};
    unsigned length;
    char32_t value;
    char32_t smallest;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, value = b0 & 0x1Fu, smallest = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, value = b0 & 0x0Fu, smallest = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, value = b0 & 0x07u, smallest = 0x10000;
    } else {
        return {b0, 1, false};
    }
    if (s.size() - i < length) return {b0, 1, false};
    for (unsigned k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return {b0, 1, false};
        value = (value << 6) | (b & 0x3Fu);
    }
    // Overlong forms, surrogates and values past the last plane are not characters.
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {b0, 1, false};
    return {value, length, true};
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isUtf8(std::string_view text) noexcept {
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint c = decodeUtf8At(text, i);
        if (!c.valid) return false;
        i += c.length;
    }
    return true;
}

char32_t windows1252Char(unsigned char b) noexcept {
    return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b;
}

int windows1252Byte(char32_t c) noexcept {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (unsigned k = 0; k < 32; ++k)
        if (kHigh[k] == c) return static_cast<int>(0x80 + k);
    return -1;
}

std::string windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char b : text) appendUtf8(out, windows1252Char(static_cast<unsigned char>(b)));
    return out;
}

std::string utf8ToWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint c = decodeUtf8At(text, i);
        const int b = c.valid ? windows1252Byte(c.value) : -1;
        out += b < 0 ? '?' : static_cast<char>(b);
        i += c.length;
    }
    return out;
}

std::string utf8OrWindows1252(std::string_view text) {
    return isUtf8(text) ? std::string(text) : windows1252ToUtf8(text);
}

}  // namespace orvan::com::text
