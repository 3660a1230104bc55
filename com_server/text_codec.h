// UTF-8 and Windows-1252 text: decoding one character of UTF-8, writing a code point as UTF-8,
// telling well-formed UTF-8 from other bytes, and the Windows-1252 code page both ways. Every module
// that reads or writes characters takes them from here; strings inside the system are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvan::com::text {

// One character read from a UTF-8 text.
struct CodePoint {
    char32_t value;   // the code point; for an invalid sequence, the lone byte
    unsigned length;  // bytes taken from the text (1 for an invalid sequence)
    bool valid;       // false: the byte at the position does not start a well-formed sequence
};

// The character at byte offset i of s (i < s.size()). Overlong forms, surrogates, values past
// U+10FFFF and truncated sequences are invalid and take one byte.
CodePoint decodeUtf8At(std::string_view s, std::size_t i) noexcept;

// Appends code point c as UTF-8 (1 to 4 bytes). Surrogate values are written as their three-byte
// form, which is what CESU-8 needs; callers writing UTF-8 pass characters only.
void appendUtf8(std::string& out, char32_t c);

// True when every byte of text belongs to a well-formed UTF-8 sequence (the empty text included).
bool isUtf8(std::string_view text) noexcept;

// The character byte b stands for in Windows-1252. The five bytes the code page leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control character of the same number.
char32_t windows1252Char(unsigned char b) noexcept;
// The Windows-1252 byte of character c; -1 when the code page has no byte for it.
int windows1252Byte(char32_t c) noexcept;

// Windows-1252 text as UTF-8 (every byte is a character, so this never fails).
std::string windows1252ToUtf8(std::string_view text);
// UTF-8 text as Windows-1252: characters outside the code page, and bytes that are not UTF-8,
// become '?'.
std::string utf8ToWindows1252(std::string_view text);

// Text that is valid UTF-8 as it is, else read as Windows-1252 (for bytes of unknown origin).
std::string utf8OrWindows1252(std::string_view text);

}  // namespace orvan::com::text
