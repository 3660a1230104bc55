// Helpers the library needs beside the runtime's conversions: UTF-8 <-> UTF-16 (the language counts
// string positions in UTF-16 code units), simple case folding for text comparison, and the runtime's
// calendar arithmetic in the signed form date functions use (a day past or before the month's range
// counts on into the neighbouring months).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvan::vbs::text {

// UTF-8 to UTF-16. A byte that is not part of a valid sequence becomes U+FFFD; an encoded lone
// surrogate (ED A0..BF xx) comes back as that code unit.
std::u16string toUtf16(std::string_view utf8);
// UTF-16 to UTF-8; a surrogate pair becomes one 4-byte sequence, a lone surrogate its 3-byte form.
std::string toUtf8(std::u16string_view utf16);
// Appends one UTF-16 code unit or code point (< 0x110000) as UTF-8.
void appendUtf8(std::string& out, char32_t c);
// The number of UTF-16 code units of a UTF-8 text.
std::size_t utf16Length(std::string_view utf8);

// The simple lower-case mapping of one code unit (Latin-1, Latin Extended-A, Greek, Cyrillic).
char16_t toLower(char16_t c) noexcept;
std::u16string toLower(std::u16string_view s);

// Days since 1970-01-01 of a civil date (month 1-12; day may exceed the month's length).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) noexcept;
struct Civil {
    std::int64_t year;
    int month, day;
};
Civil civilFromDays(std::int64_t days) noexcept;
int daysInMonth(std::int64_t year, int month) noexcept;
// The serial day number (days since 1899-12-30) of a civil date.
std::int64_t serialDay(std::int64_t year, int month, int day) noexcept;

}  // namespace orvan::vbs::text
