// HTML and URL encoding, URL decoding, UTF-8 / CESU-8 / Windows-1252.
#include "page_host/internal/text_codec.h"

#include <cstdint>

namespace orvan::host::detail {
namespace {

const char* kHex = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252's 0x80-0x9F; the rest of the page is Latin-1. Undefined codes map to themselves.
constexpr std::uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::string htmlEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // U+00A0..U+00FF are the two-byte sequences C2 A0..C3 BF.
                if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
                    const unsigned char d = static_cast<unsigned char>(text[i + 1]);
                    const unsigned cp = ((c & 0x1Fu) << 6) | (d & 0x3Fu);
                    if ((d & 0xC0) == 0x80 && cp >= 0xA0) {
                        out += "&#" + std::to_string(cp) + ";";
                        ++i;
                        break;
                    }
                }
                out += static_cast<char>(c);
        }
    }
    return out;
}

std::string urlEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string urlDecode(std::string_view text, NonUtf8 nonUtf8) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return nonUtf8 == NonUtf8::Bytes || isUtf8(out) ? out : cp1252ToUtf8(out);
}

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= text.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

std::string cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c < 0xA0) {
            appendUtf8(out, kCp1252High[c - 0x80]);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::string utf8ToCesu8(std::string_view text) {
    std::size_t first = 0;
    while (first < text.size() && (static_cast<unsigned char>(text[first]) & 0xF8) != 0xF0) ++first;
    if (first == text.size()) return std::string(text);
    std::string out(text.substr(0, first));
    for (std::size_t i = first; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            std::uint32_t cp = ((c & 0x07u) << 18) |
                               ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                               ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                               (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            cp -= 0x10000;
            appendUtf8(out, 0xD800 + (cp >> 10));
            appendUtf8(out, 0xDC00 + (cp & 0x3FF));
            i += 4;
        } else {
            out += static_cast<char>(c);
            ++i;
        }
    }
    return out;
}

std::string cesu8ToUtf8(std::string_view text) {
    // A surrogate is the three bytes ED A0..BF xx.
    std::size_t first = text.find('\xED');
    if (first == std::string_view::npos) return std::string(text);
    std::string out(text.substr(0, first));
    auto surrogate = [&](std::size_t i, unsigned lowBit) -> std::uint32_t {
        if (i + 2 >= text.size()) return 0;
        const unsigned char b1 = static_cast<unsigned char>(text[i + 1]);
        if (static_cast<unsigned char>(text[i]) != 0xED || (b1 & 0xF0) != (0xA0 | lowBit)) return 0;
        return 0xD000u | ((b1 & 0x3Fu) << 6) | (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
    };
    for (std::size_t i = first; i < text.size();) {
        const std::uint32_t high = surrogate(i, 0x00);
        const std::uint32_t low = high ? surrogate(i + 3, 0x10) : 0;
        if (high && low) {
            appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
            i += 6;
        } else {
            out += text[i];
            ++i;
        }
    }
    return out;
}

}  // namespace orvan::host::detail
