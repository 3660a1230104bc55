// Case-insensitive ASCII: folding, comparison, ordering and hashing of names (member names, ProgIDs,
// header names, file extensions, keys). Only A-Z and a-z fold; every other byte, UTF-8 included,
// compares as itself, whatever the process locale says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvan::com::ascii {

constexpr char toLower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr char toUpper(char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

// text with A-Z folded to a-z (lower) or a-z to A-Z (upper).
inline std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = toLower(c);
    return out;
}
inline std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = toUpper(c);
    return out;
}

// True when a and b are the same text but for the case of ASCII letters.
constexpr bool equalsNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (toLower(a[i]) != toLower(b[i])) return false;
    return true;
}

constexpr bool startsWithNoCase(std::string_view text, std::string_view prefix) noexcept {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// <0, 0, >0 as a orders before, with or after b when both are folded to lower case (byte order).
constexpr int compareNoCase(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(toLower(a[i]));
        const auto y = static_cast<unsigned char>(toLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Ordering, equality and hashing for std::map / std::unordered_map keyed without regard to case
// (transparent: string_view look-ups need no copy).
struct LessNoCase {
    using is_transparent = void;
    constexpr bool operator()(std::string_view a, std::string_view b) const noexcept {
        return compareNoCase(a, b) < 0;
    }
};
struct EqualNoCase {
    using is_transparent = void;
    constexpr bool operator()(std::string_view a, std::string_view b) const noexcept {
        return equalsNoCase(a, b);
    }
};
// FNV-1a over the lower-cased bytes: texts equal under EqualNoCase hash alike.
struct HashNoCase {
    using is_transparent = void;
    constexpr std::size_t operator()(std::string_view text) const noexcept {
        std::uint64_t h = 14695981039346656037ull;
        for (char c : text) {
            h ^= static_cast<unsigned char>(toLower(c));
            h *= 1099511628211ull;
        }
        return static_cast<std::size_t>(h);
    }
};

}  // namespace orvan::com::ascii
