// UTF-8 decoding and encoding, the well-formedness check and the Windows-1252 code page both ways.
#include "com_server/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace orvan::com::text {
namespace {

TEST(Utf8, DecodesWellFormedSequencesAndRejectsTheRestByteByByte) {
    struct Case {
        const char* bytes;
        char32_t value;
        unsigned length;
        bool valid;
    } cases[] = {
        {"A", U'A', 1, true},
        {"\xC3\xA9", 0xE9, 2, true},              // é
        {"\xE2\x82\xAC", 0x20AC, 3, true},        // €
        {"\xF0\x9F\x98\x80", 0x1F600, 4, true},   // beyond the first plane
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},  // the last code point
        {"\xC0\x80", 0xC0, 1, false},             // overlong NUL
        {"\xE0\x80\xAF", 0xE0, 1, false},         // overlong '/'
        {"\xED\xA0\x80", 0xED, 1, false},         // a surrogate
        {"\xF4\x90\x80\x80", 0xF4, 1, false},     // past U+10FFFF
        {"\xE2\x82", 0xE2, 1, false},             // cut short
        {"\x80", 0x80, 1, false},                 // a lone continuation byte
        {"\xFF", 0xFF, 1, false},
        {"\xC3(", 0xC3, 1, false},                // second byte not a continuation
    };
    for (const Case& c : cases) {
        const CodePoint p = decodeUtf8At(c.bytes, 0);
        EXPECT_EQ(p.value, c.value) << c.bytes;
        EXPECT_EQ(p.length, c.length) << c.bytes;
        EXPECT_EQ(p.valid, c.valid) << c.bytes;
        EXPECT_EQ(isUtf8(c.bytes), c.valid) << c.bytes;
        if (c.valid) {
            std::string out;
            appendUtf8(out, c.value);
            EXPECT_EQ(out, c.bytes);
        }
    }
    EXPECT_TRUE(isUtf8(""));
    EXPECT_TRUE(isUtf8("ação € 😀"));
    EXPECT_FALSE(isUtf8("a\xE7\xE3o"));  // Windows-1252 bytes
}

TEST(Windows1252, EveryByteHasACharacterAndBackWhereThePageHasOne) {
    struct Case {
        unsigned char byte;
        char32_t ch;
    } cases[] = {
        {0x41, U'A'},    {0x80, 0x20AC}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x92, 0x2019},
        {0x9C, 0x0153},  {0x9F, 0x0178}, {0x81, 0x0081}, {0x9D, 0x009D}, {0xA0, 0x00A0},
        {0xE7, 0x00E7},  {0xFF, 0x00FF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(windows1252Char(c.byte), c.ch) << int(c.byte);
        EXPECT_EQ(windows1252Byte(c.ch), c.byte) << int(c.byte);
    }
    EXPECT_EQ(windows1252Byte(0x4E2D), -1);  // 中
    EXPECT_EQ(windows1252Byte(0x0100), -1);  // Ā
}

TEST(Windows1252, TextConvertsBothWays) {
    struct Case {
        const char* utf8;
        const char* ansi;
    } cases[] = {
        {"ação", "a\xE7\xE3o"},
        {"“citação” – 5 €", "\x93" "cita\xE7\xE3o\x94 \x96 5 \x80"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8ToWindows1252(c.utf8), c.ansi) << c.utf8;
        EXPECT_EQ(windows1252ToUtf8(c.ansi), c.utf8) << c.utf8;
        EXPECT_EQ(utf8OrWindows1252(c.ansi), c.utf8) << c.utf8;
        EXPECT_EQ(utf8OrWindows1252(c.utf8), c.utf8) << c.utf8;
    }
    // Characters outside the page and bytes that are not UTF-8 become '?'.
    EXPECT_EQ(utf8ToWindows1252("中 x \xFF"), "? x ?");
}

}  // namespace
}  // namespace orvan::com::text
