// Session keys at login: Session.NewKey moves the session, values and all, to a fresh key sent in a
// new cookie, and the key the client held before stops naming it at once; Session.Abandon makes the
// key worthless too; the cookie is Secure when the site says it is reached over TLS.
#include <regex>

#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

class SessionKeys : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        write("login.asp", "<% Session('user') = 'ana'; Session.NewKey(); Response.Write('in'); %>");
        write("who.asp", "<%= Session('user') || 'nobody' %>");
        write("bye.asp", "<% Session.Abandon(); %>");
    }
};

TEST_F(SessionKeys, NewKeyKeepsTheValuesAndTheOldKeyStopsWorkingAtOnce) {
    start();
    Browser victim(port());
    EXPECT_EQ(victim.get("/who.asp").body, "nobody");
    const std::string before = victim.cookie("ORVANSESSIONID");
    ASSERT_FALSE(before.empty());

    const Reply login = victim.get("/login.asp");
    EXPECT_EQ(login.body, "in");
    const std::vector<std::string> cookies = login.all("Set-Cookie");
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_TRUE(std::regex_match(cookies[0],
                                 std::regex("ORVANSESSIONID=[0-9a-f]{32}; Path=/; HttpOnly; SameSite=Lax")))
        << cookies[0];
    const std::string after = victim.cookie("ORVANSESSIONID");
    EXPECT_NE(after, before);
    EXPECT_EQ(victim.get("/who.asp").body, "ana") << "the session went on under its new key";

    Browser attacker(port());
    attacker.setCookie("ORVANSESSIONID", before);  // the key fixed before the login
    EXPECT_EQ(attacker.get("/who.asp").body, "nobody");
    EXPECT_NE(attacker.cookie("ORVANSESSIONID"), before) << "a new session, under a key of the server's";
    EXPECT_EQ(victim.get("/who.asp").body, "ana") << "the attacker's request did not touch it";
}

TEST_F(SessionKeys, AbandonMakesTheKeyWorthless) {
    start();
    Browser user(port());
    user.get("/login.asp");
    const std::string key = user.cookie("ORVANSESSIONID");
    user.get("/bye.asp");
    Browser replay(port());
    replay.setCookie("ORVANSESSIONID", key);
    EXPECT_EQ(replay.get("/who.asp").body, "nobody");
    EXPECT_NE(replay.cookie("ORVANSESSIONID"), key);
}

TEST_F(SessionKeys, TheCookieIsSecureWhenTheSiteSaysSo) {
    options.secureCookie = true;
    start();
    const Reply reply = get("/who.asp");
    EXPECT_EQ(reply.header("Set-Cookie").substr(reply.header("Set-Cookie").size() - 8), "; Secure");
}

}  // namespace
}  // namespace orvan::host::http::test
