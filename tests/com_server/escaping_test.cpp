// HTML escaping and Server.HTMLEncode, Server.URLEncode and URL decoding, with the reading of decoded
// bytes that are not UTF-8.
#include "com_server/escaping.h"

#include <gtest/gtest.h>

namespace orvan::com {
namespace {

TEST(Escaping, HtmlEscapeReplacesTheFiveMarkupCharactersOnly) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"<a href=\"x\">Tom & 'Jerry'</a>", "&lt;a href=&quot;x&quot;&gt;Tom &amp; &#39;Jerry&#39;&lt;/a&gt;"},
        {"ação €", "ação €"},
        {"&amp;", "&amp;amp;"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(htmlEscape(c.in), c.out) << c.in;
}

TEST(Escaping, EncodingsAndDecodingsAsTheClassicServerWritesThem) {
    struct Case {
        const char* in;
        const char* html;
        const char* url;
    } cases[] = {
        {"<b>&\"'", "&lt;b&gt;&amp;&quot;'", "%3Cb%3E%26%22%27"},
        {"a b+c", "a b+c", "a+b%2Bc"},
        {"ção ÿ €", "&#231;&#227;o &#255; €", "%C3%A7%C3%A3o+%C3%BF+%E2%82%AC"},
        {"\xC2\xA0", "&#160;", "%C2%A0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(htmlEncode(c.in), c.html) << c.in;
        EXPECT_EQ(urlEncode(c.in), c.url) << c.in;
        EXPECT_EQ(urlDecode(c.url), c.in) << c.url;
    }
}

TEST(Escaping, UrlDecodeKeepsWhatIsNotAnEscapeAndReadsOtherBytesAsAsked) {
    struct Case {
        const char* in;
        NonUtf8 nonUtf8;
        const char* out;
    } cases[] = {
        {"%zz%", NonUtf8::Windows1252, "%zz%"},
        {"%4", NonUtf8::Windows1252, "%4"},
        {"%4a%4A", NonUtf8::Windows1252, "JJ"},
        {"Jo%E3o", NonUtf8::Windows1252, "João"},
        {"Jo%E3o", NonUtf8::Bytes, "Jo\xE3o"},
        {"%93x%94", NonUtf8::Windows1252, "“x”"},
        {"a+b", NonUtf8::Bytes, "a b"},
    };
    for (const Case& c : cases) EXPECT_EQ(urlDecode(c.in, c.nonUtf8), c.out) << c.in;

    EXPECT_EQ(hexDigitValue('0'), 0);
    EXPECT_EQ(hexDigitValue('f'), 15);
    EXPECT_EQ(hexDigitValue('F'), 15);
    EXPECT_EQ(hexDigitValue('g'), -1);
}

TEST(Escaping, JsonEscapeAlwaysGivesValidJsonText) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"linha \"um\"\t\\ ção", "linha \\\"um\\\"\\t\\\\ ção"},
        {"\r\n\x01\x1f", "\\r\\n\\u0001\\u001f"},
        {"€ 😀", "€ 😀"},
        {"a\xFF" "b", "a\uFFFDb"},             // a byte that starts nothing
        {"Jo\xE3o", "Jo\uFFFDo"},             // Windows-1252 text
        {"\xC3(", "\uFFFD("},                 // a sequence cut by an ASCII byte
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate, byte by byte
        {"\xE2\x82", "\uFFFD\uFFFD"},          // cut short at the end
    };
    for (const Case& c : cases) EXPECT_EQ(jsonEscape(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace orvan::com
