// UTF-8 <-> CESU-8, the script engine's internal form of strings.
#include "page_host/internal/text_codec.h"

#include <cstdint>

#include "com_server/text_codec.h"

namespace orvan::host::detail {

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
            com::text::appendUtf8(out, 0xD800 + (cp >> 10));
            com::text::appendUtf8(out, 0xDC00 + (cp & 0x3FF));
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
            com::text::appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
            i += 6;
        } else {
            out += text[i];
            ++i;
        }
    }
    return out;
}

}  // namespace orvan::host::detail
