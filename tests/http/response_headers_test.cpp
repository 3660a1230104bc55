// The headers every answer carries: nosniff, framing refused (or limited by frame-ancestors), the
// charset of a text type, and pages of a logged-in session kept out of caches unless the page says
// otherwise; all of it configurable.
#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

class ResponseHeaders : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        write("hello.txt", "hello\n");
        write("page.asp", "<p>page</p>");
        write("login.asp", "<% Session('user') = 'ana'; %>");
        write("cached.asp", "<% Session('user') = 'ana'; Response.CacheControl = 'public'; %>");
        write("latin.asp", "<% Response.Charset = 'windows-1252'; %>");
        write("data.asp", "<% Response.ContentType = 'application/json'; %>{}");
    }
};

TEST_F(ResponseHeaders, EveryAnswerCarriesTheSecurityHeaders) {
    start();
    for (const char* target : {"/hello.txt", "/page.asp", "/missing.txt", "/missing.asp"}) {
        const Reply reply = get(target);
        EXPECT_EQ(reply.header("X-Content-Type-Options"), "nosniff") << target;
        EXPECT_EQ(reply.header("X-Frame-Options"), "DENY") << target;
    }
}

TEST_F(ResponseHeaders, ContentTypesAndCaching) {
    start();
    struct Case {
        const char* target;
        const char* contentType;
        const char* cacheControl;
    };
    const Case cases[] = {
        {"/page.asp", "text/html; charset=utf-8", "private"},
        {"/latin.asp", "text/html; charset=windows-1252", "private"},
        {"/data.asp", "application/json", "private"},
        {"/cached.asp", "text/html; charset=utf-8", "public"},
    };
    for (const Case& c : cases) {
        const Reply reply = get(c.target);
        EXPECT_EQ(reply.header("Content-Type"), c.contentType) << c.target;
        EXPECT_EQ(reply.header("Cache-Control"), c.cacheControl) << c.target;
    }
    Browser user(port());
    EXPECT_EQ(user.get("/login.asp").header("Cache-Control"), "no-store");
    EXPECT_EQ(user.get("/page.asp").header("Cache-Control"), "no-store") << "the session holds a user";
}

TEST_F(ResponseHeaders, FramingAndTheHeadersThemselvesAreConfigurable) {
    options.frameAncestors = "'self'";
    options.sessionCacheControl = "private, max-age=0";
    start();
    Browser user(port());
    const Reply reply = user.get("/login.asp");
    EXPECT_EQ(reply.header("Content-Security-Policy"), "frame-ancestors 'self'");
    EXPECT_EQ(reply.header("X-Frame-Options"), "");
    EXPECT_EQ(reply.header("Cache-Control"), "private, max-age=0");
}

TEST_F(ResponseHeaders, SecurityHeadersCanBeTurnedOff) {
    options.securityHeaders = false;
    start();
    const Reply reply = get("/hello.txt");
    EXPECT_EQ(reply.header("X-Content-Type-Options"), "");
    EXPECT_EQ(reply.header("X-Frame-Options"), "");
}

}  // namespace
}  // namespace orvan::host::http::test
