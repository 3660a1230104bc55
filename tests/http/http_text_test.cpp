// The HTTP texts the server writes and reads, at their edges: dates both ways, cookie dates in local
// time, cookie values both ways, and request lines the access log must not let break a line.
#include "page_host/http/internal/http_text.h"

#include <cstdlib>

#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

TEST(HttpText, DatesAreWrittenAndReadInThePreferredFormOnly) {
    struct Case {
        std::time_t when;
        const char* text;
    } cases[] = {
        {0, "Thu, 01 Jan 1970 00:00:00 GMT"},
        {784111777, "Sun, 06 Nov 1994 08:49:37 GMT"},
        {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},
        {4102444799, "Thu, 31 Dec 2099 23:59:59 GMT"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(httpDate(c.when), c.text);
        EXPECT_EQ(parseHttpDate(c.text), c.when) << c.text;
    }
    for (const char* other : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                              "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 06 Foo 1994 08:49:37 GMT", ""})
        EXPECT_EQ(parseHttpDate(other), -1) << other;
}

TEST(HttpText, CookieDatesAreLocalTimeAndValuesRoundTrip) {
    // A date serial is local time: 2 January 2030 03:04:05 here, whatever the zone.
    ::setenv("TZ", "America/Sao_Paulo", 1);
    ::tzset();
    const std::time_t when = timeFromDateSerial(47485.0 + (3 * 3600 + 4 * 60 + 5) / 86400.0);
    EXPECT_EQ(httpDate(when), "Wed, 02 Jan 2030 06:04:05 GMT");
    ::unsetenv("TZ");
    ::tzset();

    ResponseCookie cookie;
    cookie.name = "nome do usuário";
    cookie.value = "a+b c;d=é%";
    const std::string set = setCookieValue(cookie);
    EXPECT_EQ(set, "nome+do+usu%C3%A1rio=a%2Bb+c%3Bd%3D%C3%A9%25; path=/");
    const std::string pair = set.substr(0, set.find(';'));
    const NameValues back = parseCookieHeader(" " + pair + " ; x=1;;flag ; y = 2 ");
    const NameValues expected = {{"nome do usuário", "a+b c;d=é%"}, {"x", "1"}, {"flag", ""}, {"y", "2"}};
    EXPECT_EQ(back, expected);
}

TEST(HttpText, TheAccessLogLineEscapesWhatCouldBreakIt) {
    const auto when = std::chrono::system_clock::from_time_t(784111777);
    const std::string line = commonLogLine("10.0.0.1", when, "GET", "/a\"b\\c\x01", "HTTP/1.1", 200, 0);
    const std::string request = line.substr(line.find('"'));
    EXPECT_EQ(request, "\"GET /a\\x22b\\x5Cc\\x01 HTTP/1.1\" 200 -\n");
    EXPECT_EQ(line.rfind("10.0.0.1 - - [", 0), 0u);
}

TEST(HttpText, TheCombinedLineAddsTheQuotedRefererAndUserAgent) {
    const auto when = std::chrono::system_clock::from_time_t(784111777);
    const std::string common = commonLogLine("10.0.0.1", when, "GET", "/a.asp", "HTTP/1.1", 200, 12);
    struct Case {
        const char* referer;
        const char* userAgent;
        const char* tail;
    } cases[] = {
        {"http://h/x.asp?a=1", "Mozilla/5.0 (X11)", " \"http://h/x.asp?a=1\" \"Mozilla/5.0 (X11)\"\n"},
        {"", "", " \"-\" \"-\"\n"},
        {"x\"y", "a\\b\nc", " \"x\\x22y\" \"a\\x5Cb\\x0Ac\"\n"},
    };
    for (const Case& c : cases) {
        const std::string line =
            combinedLogLine("10.0.0.1", when, "GET", "/a.asp", "HTTP/1.1", 200, 12, c.referer, c.userAgent);
        EXPECT_EQ(line, common.substr(0, common.size() - 1) + c.tail) << c.referer;
    }
}

}  // namespace
}  // namespace orvan::host::http::test
