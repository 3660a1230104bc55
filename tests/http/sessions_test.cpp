// Sessions over HTTP: the cookie, values kept between requests, Abandon, expiry by Session.Timeout,
// the global.asa events (once for the application, once per session, at every end including the
// server's stop), requests of many sessions at once and of one session one at a time.
#include <future>
#include <regex>
#include <set>
#include <thread>

#include "data_access/providers/provider.h"
#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

using namespace std::chrono_literals;

// Keeps, in Application, the names of the sessions started and ended; a session's name is the "who"
// of the request that started it.
const char* kRecordingGlobalAsa = R"js(<!-- the site's events -->
<script language="JScript" runat="server">
function Application_OnStart() {
    Application("starts") = (Application("starts") || 0) + 1;
}
function Session_OnStart() {
    Session("name") = String(Request.QueryString("who"));
    Application.Lock();
    Application("started") = (Application("started") || "") + Session("name") + ";";
    Application.Unlock();
}
function Session_OnEnd() {
    Application.Lock();
    Application("ended") = (Application("ended") || "") + Session("name") + ";";
    Application.Unlock();
}
</script>
)js";

class Sessions : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        write("global.asa", kRecordingGlobalAsa);
        write("counter.asp",
              "<% Session(\"n\") = (Session(\"n\") || 0) + 1; Response.Write(Session(\"n\")); %>");
        write("state.asp",
              "<%= 'starts=' + Application('starts') + ' started=' + (Application('started') || '') + "
              "' ended=' + (Application('ended') || '') %>");
        write("style.css", "p {}");
    }

    // The Application record, read by a page from a session of its own ("probe").
    std::string state() { return get("/state.asp?who=probe").body; }
};

TEST_F(Sessions, TheCookieIsIssuedOnceAndTheSessionKeepsItsValues) {
    start();
    Browser ana(port()), bia(port());
    const Reply first = ana.get("/counter.asp?who=ana");
    EXPECT_EQ(first.body, "1");
    const std::vector<std::string> cookies = first.all("Set-Cookie");
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_TRUE(std::regex_match(cookies[0],
                                 std::regex("ORVANSESSIONID=[0-9a-f]{32}; Path=/; HttpOnly; SameSite=Lax")))
        << cookies[0];

    const Reply second = ana.get("/counter.asp");
    EXPECT_EQ(second.body, "2");
    EXPECT_TRUE(second.all("Set-Cookie").empty());
    EXPECT_EQ(ana.get("/counter.asp").body, "3");
    EXPECT_EQ(bia.get("/counter.asp?who=bia").body, "1");
    EXPECT_NE(ana.cookie("ORVANSESSIONID"), bia.cookie("ORVANSESSIONID"));
    EXPECT_TRUE(ana.get("/style.css").all("Set-Cookie").empty()) << "files do not start sessions";

    Browser forger(port());
    forger.setCookie("ORVANSESSIONID", "00000000000000000000000000000000");
    EXPECT_EQ(forger.get("/counter.asp?who=forger").body, "1");
    EXPECT_NE(forger.cookie("ORVANSESSIONID"), "00000000000000000000000000000000");

    EXPECT_EQ(server->sessionCount(), 3u);
    EXPECT_EQ(state(), "starts=1 started=ana;bia;forger;probe; ended=");
}

TEST_F(Sessions, AbandonEndsTheSessionAfterItsPageAndRunsSessionOnEnd) {
    write("abandon.asp",
          "<% Session.Abandon(); Response.Write('bye ' + Session('name') + ' ' + Session('n')); %>");
    start();
    Browser ana(port());
    ana.get("/counter.asp?who=ana");
    ana.get("/counter.asp");
    const std::string oldCookie = ana.cookie("ORVANSESSIONID");

    const Reply bye = ana.get("/abandon.asp");
    EXPECT_EQ(bye.body, "bye ana 2") << "the values stay readable until the page ends";
    EXPECT_TRUE(bye.all("Set-Cookie").empty());
    EXPECT_EQ(state(), "starts=1 started=ana;probe; ended=ana;");

    EXPECT_EQ(ana.get("/counter.asp?who=ana2").body, "1");
    EXPECT_NE(ana.cookie("ORVANSESSIONID"), oldCookie);
}

TEST_F(Sessions, AnInactiveSessionExpiresAfterItsTimeoutAndAnActiveOneDoesNot) {
    options.sessionMinute = 100ms;  // Session.Timeout = 3 lasts 300 ms
    options.sessionSweep = 20ms;
    options.sessionTimeout = 3;
    write("long.asp", "<% Session.Timeout = 30; Response.Write(Session.Timeout); %>");
    start();

    Browser idle(port()), patient(port()), busy(port());
    EXPECT_EQ(idle.get("/counter.asp?who=idle").body, "1");
    EXPECT_EQ(patient.get("/long.asp?who=patient").body, "30");
    const std::string idleCookie = idle.cookie("ORVANSESSIONID");
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(busy.get(i == 1 ? "/counter.asp?who=busy" : "/counter.asp").body, std::to_string(i));
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(server->sessionCount(), 2u) << "the idle session is gone, the patient and busy ones are not";
    EXPECT_EQ(state(), "starts=1 started=idle;patient;busy;probe; ended=idle;");

    EXPECT_EQ(idle.get("/counter.asp?who=idle2").body, "1") << "the old cookie names no session";
    EXPECT_NE(idle.cookie("ORVANSESSIONID"), idleCookie);
}

TEST_F(Sessions, SessionOnStartWritesBeforeTheFirstPageOrRedirectsInsteadOfIt) {
    write("global.asa", R"js(<SCRIPT LANGUAGE="JScript" RUNAT="Server">
function Session_OnStart() {
    if (Request.QueryString("go") == "away") Response.Redirect("/login.asp");
    Response.Write("[new]");
}
</SCRIPT>)js");
    write("page.asp", "<% Application('ran') = (Application('ran') || 0) + 1; %>page");
    start();

    Browser a(port());
    EXPECT_EQ(a.get("/page.asp").body, "[new]page");
    EXPECT_EQ(a.get("/page.asp").body, "page");

    Browser b(port());
    const Reply away = b.get("/page.asp?go=away");
    EXPECT_EQ(away.status, 302);
    EXPECT_EQ(away.header("Location"), "/login.asp");
    EXPECT_EQ(away.body.find("page"), std::string::npos);
    EXPECT_FALSE(b.cookie("ORVANSESSIONID").empty()) << "the session was started";
    EXPECT_EQ(b.get("/page.asp").body, "page");
}

TEST_F(Sessions, GlobalAsaIsPlainJScriptOrRefusedAtStartAndItsErrorsAreLogged) {
    write("global.asa",
          "function Session_OnStart() {\n    Session('x') = 5;\n}\n"
          "function Session_OnEnd() {\n    throw new Error('cleanup failed');\n}\n");
    write("x.asp", "<% Response.Write(Session('x')); Session.Abandon(); %>");
    start();
    EXPECT_EQ(get("/x.asp").body, "5");
    EXPECT_EQ(get("/x.asp").body, "5");
    const auto entries = events->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(entries[0].text.find("Session_OnEnd failed in /global.asa, line 5"), std::string::npos)
        << entries[0].text;
    EXPECT_NE(entries[0].text.find("cleanup failed"), std::string::npos) << entries[0].text;
    server->stop();

    for (const char* refused :
         {"<script language=\"PerlScript\" runat=\"server\">sub Session_OnStart {}</script>",
          "<script language=\"VBScript\" runat=\"server\">Sub Session_OnStart\nEnd Sub</script>"
          "<script language=\"JScript\" runat=\"server\">function Session_OnEnd() {}</script>",
          "<script language=\"VBScript\" runat=\"server\">Sub Session_OnStart(\nEnd Sub</script>",
          "<object runat=\"server\" scope=\"Session\" id=\"c\" progid=\"ADODB.Connection\">"
          "</object>",
          "<script runat=\"server\">function Session_OnStart() {}"}) {
        write("global.asa", refused);
        SiteServer s(options);
        EXPECT_THROW(s.start(), SiteServerError) << refused;
    }
}

TEST_F(Sessions, ManySessionsAtOnceKeepTheirOwnValuesAndTheApplicationStartsOnce) {
    options.threads = 4;
    start();
    constexpr int kSessions = 8, kRequests = 10;
    std::vector<std::future<std::vector<std::string>>> runs;
    for (int s = 0; s < kSessions; ++s) {
        runs.push_back(std::async(std::launch::async, [this, s] {
            Browser b(port());
            std::vector<std::string> bodies;
            for (int i = 0; i < kRequests; ++i)
                bodies.push_back(
                    b.get(i == 0 ? "/counter.asp?who=t" + std::to_string(s) : "/counter.asp").body);
            bodies.push_back(b.cookie("ORVANSESSIONID"));
            return bodies;
        }));
    }
    std::set<std::string> cookies;
    for (auto& run : runs) {
        const std::vector<std::string> bodies = run.get();
        for (int i = 0; i < kRequests; ++i) EXPECT_EQ(bodies[i], std::to_string(i + 1));
        cookies.insert(bodies.back());
    }
    EXPECT_EQ(cookies.size(), static_cast<std::size_t>(kSessions));
    EXPECT_EQ(server->sessionCount(), static_cast<std::size_t>(kSessions));
    EXPECT_EQ(state().substr(0, 9), "starts=1 ");
}

// slow.asp records in Application how many of its runs overlapped (the peak for key k).
const char* kSlowPage = R"js(<%
var k = Request.QueryString("k");
Application.Lock();
var now = (Application(k + "active") || 0) + 1;
Application(k + "active") = now;
if (now > (Application(k + "peak") || 0)) Application(k + "peak") = now;
Application.Unlock();
var until = new Date().getTime() + 400;
while (new Date().getTime() < until) {}
Application.Lock();
Application(k + "active") = Application(k + "active") - 1;
Application.Unlock();
Response.Write("done");
%>)js";

TEST_F(Sessions, RequestsOfOneSessionRunOneAtATimeWhileOtherSessionsOverlap) {
    options.threads = 4;
    write("slow.asp", kSlowPage);
    write("peak.asp", "<%= Application(Request.QueryString('k') + 'peak') %>");
    start();

    auto slow = [this](const std::string& key, const std::string& cookie) {
        Connection c(port());
        std::vector<std::string> headers;
        if (!cookie.empty()) headers.push_back("Cookie: ORVANSESSIONID=" + cookie);
        return c.request("GET", "/slow.asp?k=" + key, headers).body;
    };

    Browser one(port());
    one.get("/counter.asp?who=one");
    const std::string cookie = one.cookie("ORVANSESSIONID");
    auto a = std::async(std::launch::async, slow, "same", cookie);
    std::this_thread::sleep_for(100ms);
    auto b = std::async(std::launch::async, slow, "same", cookie);
    EXPECT_EQ(a.get(), "done");
    EXPECT_EQ(b.get(), "done");
    EXPECT_EQ(get("/peak.asp?k=same").body, "1");

    // The same two requests from two sessions do overlap: the check above can see an overlap.
    auto c = std::async(std::launch::async, slow, "two", "");
    std::this_thread::sleep_for(100ms);
    auto d = std::async(std::launch::async, slow, "two", "");
    EXPECT_EQ(c.get(), "done");
    EXPECT_EQ(d.get(), "done");
    EXPECT_EQ(get("/peak.asp?k=two").body, "2");
}

TEST_F(Sessions, StoppingFinishesTheRequestsInFlightAndEndsEverySession) {
    const std::string db = (base / "ended.db").string();
    const std::string connection = "Provider=SQLite;Data Source=" + db;
    data::openSession(data::ConnectionString::parse(connection), 5)
        ->execute("create table ended (name text)", {}, 0);
    options.application = {{"db", com::Variant(connection)}};
    write("global.asa", R"js(<script language="JScript" runat="server">
function Session_OnStart() { Session("name") = String(Request.QueryString("who")); }
function Session_OnEnd() {
    var cn = Server.CreateObject("ADODB.Connection");
    cn.Open(Application("db"));
    cn.Execute("insert into ended (name) values ('" + Session("name") + "')");
    cn.Close();
}
</script>)js");
    write("slow.asp", kSlowPage);
    start();

    Browser ana(port()), bia(port());
    ana.get("/counter.asp?who=ana");
    bia.get("/counter.asp?who=bia");
    auto inFlight = std::async(std::launch::async, [&] { return ana.get("/slow.asp?k=x"); });
    std::this_thread::sleep_for(100ms);
    server->stop();
    const Reply finished = inFlight.get();
    EXPECT_EQ(finished.status, 200);
    EXPECT_EQ(finished.body, "done");
    EXPECT_EQ(server->sessionCount(), 0u);

    auto session = data::openSession(data::ConnectionString::parse(connection), 5);
    auto rows = session->execute("select name from ended order by name", {}, 0);
    std::vector<com::Variant> row;
    std::vector<std::string> names;
    while (rows->next(row)) names.push_back(row[0].rawString());
    EXPECT_EQ(names, (std::vector<std::string>{"ana", "bia"}));
    EXPECT_THROW(Connection{port()}, std::runtime_error) << "the server no longer listens";
}

}  // namespace
}  // namespace orvan::host::http::test
