// Requests the server refuses before it stores them: targets too long or with too many arguments,
// too many header lines, NUL and control bytes in the request line, a body whose length is stated
// twice; each with its status, and the server serving the next client as before.
#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

std::string arguments(std::size_t n) {
    std::string query;
    for (std::size_t i = 0; i < n; ++i) query += i == 0 ? "a" : "&a";
    return query;
}

class RequestLimits : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        write("hello.txt", "hello\n");
        write("args.asp", "<%= Request.QueryString.Count + ':' + Request.Form.Count %>");
        options.requestTargetSize = 2048;
        options.requestArguments = 300;
        options.requestHeaders = 40;
    }

    // One raw request on a fresh connection; the answer's status.
    int rawStatus(const std::string& bytes) {
        Connection c(port());
        c.send(bytes);
        return c.read().status;
    }
};

TEST_F(RequestLimits, EachLimitHasItsAnswerBeforeAnythingIsStored) {
    start();
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    const std::string longName(2100, 'x');
    std::string headers;
    for (int i = 0; i < 41; ++i) headers += "X-H" + std::to_string(i) + ": v\r\n";
    std::string form = arguments(301);
    const Case cases[] = {
        {"480 empty arguments, under the library's memory before", "GET /hello.txt?" + arguments(480) +
             " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
        {"300 arguments: at the limit", "GET /args.asp?" + arguments(300) + " HTTP/1.1\r\nHost: x\r\n\r\n", 200},
        {"a target longer than the limit", "GET /" + longName + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
        {"more header lines than the limit", "GET /hello.txt HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n", 431},
        {"a NUL byte in the target", std::string("GET /hello.txt\0.asp HTTP/1.1\r\nHost: x\r\n\r\n", 41), 400},
        {"a NUL byte before a second version",
         std::string("GET /hello.txt\0HTTP/1.1 HTTP/1.1\r\nHost: x\r\n\r\n", 45), 400},
        {"a control byte in the target", "GET /hello.txt\x01 HTTP/1.1\r\nHost: x\r\n\r\n", 400},
        {"two different Content-Length headers",
         "POST /args.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 5\r\n\r\nabcde", 400},
        {"Content-Length beside Transfer-Encoding",
         "POST /args.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         400},
        {"more form fields than the limit",
         "POST /args.asp HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
         "Content-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form, 413},
    };
    for (const Case& c : cases) EXPECT_EQ(rawStatus(c.request), c.status) << c.what;

    EXPECT_EQ(get("/args.asp?a=1&b=2").body, "2:0") << "the server still answers";
    EXPECT_EQ(get("/hello.txt?x=1").status, 200);
}

TEST_F(RequestLimits, TheSameLengthStatedTwiceIsAccepted) {
    start();
    EXPECT_EQ(rawStatus("POST /args.asp HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                        "Content-Length: 3\r\nContent-Length: 3\r\n\r\na=1"),
              200);
}

TEST_F(RequestLimits, ARefusedRequestClosesItsConnection) {
    start();
    Connection c(port());
    c.send(std::string("GET /hello.txt\0.asp HTTP/1.1\r\nHost: x\r\n\r\n", 41));
    const Reply reply = c.read();
    EXPECT_EQ(reply.status, 400);
    EXPECT_EQ(reply.header("Connection"), "close");
    EXPECT_TRUE(c.closedByServer());
}

}  // namespace
}  // namespace orvan::host::http::test
