// Pages over HTTP: the request as the page sees it (query, both kinds of form post, cookies, server
// variables), the response as the client gets it (status, type, headers, cookies, redirect, end),
// and a failing page: a 500 with the report, an event-log entry, and the server still serving.
#include <regex>

#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

using Pages = SiteTest;

TEST_F(Pages, FormPostsUrlEncodedAndMultipartReachRequestForm) {
    write("form.asp",
          "<% var out = [];\n"
          "for (var i = 1; i <= Request.Form.Count; i++) out.push(Request.Form.Key(i) + '=' + "
          "Request.Form(i));\n"
          "Response.Write(Request.ServerVariables(\"REQUEST_METHOD\") + ';' + out.join('|') + ';q=' + "
          "Request.QueryString(\"q\")); %>");
    start();
    Browser b(port());

    const Reply encoded = b.post("/form.asp?q=1", "application/x-www-form-urlencoded",
                                 "nome=Jo%C3%A3o+Silva&obs=a%26b%3Dc&vazio=");
    EXPECT_EQ(encoded.status, 200);
    EXPECT_EQ(encoded.body, "POST;nome=João Silva|obs=a&b=c|vazio=;q=1");

    const std::string boundary = "----orvan7MA4YWxkTrZu0gW";
    const std::string body =
        "--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"nome\"\r\n\r\nJoão\r\n"
        "--" +
        boundary +
        "\r\nContent-Disposition: form-data; name=\"texto\"\r\n\r\nlinha 1\r\nlinha 2\r\n"
        "--" +
        boundary +
        "\r\nContent-Disposition: form-data; name=\"arquivo\"; filename=\"a.txt\"\r\n"
        "Content-Type: text/plain\r\n\r\nconteúdo\r\n"
        "--" +
        boundary + "--\r\n";
    const Reply multipart = b.post("/form.asp", "multipart/form-data; boundary=" + boundary, body);
    EXPECT_EQ(multipart.status, 200);
    EXPECT_EQ(multipart.body, "POST;nome=João|texto=linha 1\r\nlinha 2|arquivo=conteúdo;q=undefined");
}

TEST_F(Pages, ServerVariablesAndCookiesDescribeTheRequest) {
    write("vars.asp",
          "<% var names = ['REQUEST_METHOD','QUERY_STRING','SCRIPT_NAME','PATH_INFO','URL','SERVER_NAME',"
          "'SERVER_PORT','SERVER_PROTOCOL','HTTPS','CONTENT_TYPE','CONTENT_LENGTH','HTTP_X_CUSTOM_THING',"
          "'HTTP_USER_AGENT'];\n"
          "for (var i = 0; i < names.length; i++) Response.Write(names[i] + '=' + "
          "Request.ServerVariables(names[i]) + '\\n');\n"
          "Response.Write('REMOTE_ADDR=' + Request.ServerVariables('REMOTE_ADDR') + '\\n');\n"
          "Response.Write('port=' + (Request.ServerVariables('REMOTE_PORT') > 0) + '\\n');\n"
          "Response.Write('c=' + Request.Cookies('c') + ';d=' + Request.Cookies('d') + '\\n'); %>");
    start();

    Connection c(port());
    const Reply r = c.request("POST", "/vars.asp?a=1+2&b=%41",
                              {"X-Custom-Thing: yes", "User-Agent: tester/1.0", "Cookie: c=a+b%3B; d=2",
                               "Content-Type: application/x-www-form-urlencoded"},
                              "x=1");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body,
              "REQUEST_METHOD=POST\nQUERY_STRING=a=1+2&b=%41\nSCRIPT_NAME=/vars.asp\nPATH_INFO=/vars.asp\n"
              "URL=/vars.asp\nSERVER_NAME=127.0.0.1\nSERVER_PORT=" +
                  std::to_string(port()) +
                  "\nSERVER_PROTOCOL=HTTP/1.1\nHTTPS=off\nCONTENT_TYPE=application/x-www-form-urlencoded\n"
                  "CONTENT_LENGTH=3\nHTTP_X_CUSTOM_THING=yes\nHTTP_USER_AGENT=tester/1.0\n"
                  "REMOTE_ADDR=127.0.0.1\nport=true\nc=a b;;d=2\n");
}

TEST_F(Pages, TheResponseThePageBuiltBecomesHttpHeaders) {
    write("headers.asp",
          "<% Response.Status = \"201 Created\";\n"
          "Response.ContentType = \"text/plain\";\n"
          "Response.Charset = \"utf-8\";\n"
          "Response.CacheControl = \"no-cache\";\n"
          "Response.Expires = 10;\n"
          "Response.AddHeader(\"X-Orvan\", \"1\");\n"
          "Response.Cookies(\"prefs\") = \"a b&c\";\n"
          "Response.Cookies(\"prefs\").Path = \"/agenda\";\n"
          "Response.Cookies(\"prefs\").Domain = \"example.com\";\n"
          "Response.Cookies(\"prefs\").Secure = true;\n"
          "Response.Cookies(\"prefs\").Expires = new Date(2030, 0, 2, 3, 4, 5);\n"
          "Response.Cookies(\"plain\") = \"v\";\n"
          "Response.Write(\"created\"); %>");
    write("redirect.asp",
          "<% Response.Write(\"lost\"); Response.Redirect(\"/target.asp?x=1\"); "
          "Response.Write(\"after\"); %>");
    write("end.asp", "<% Response.Write(\"a\"); Response.End(); Response.Write(\"b\"); %>c");
    write("clear.asp", "<% Response.Write(\"x\"); Response.Clear(); Response.Write(\"y\"); %>");
    start();

    const Reply r = get("/headers.asp");
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(r.body, "created");
    EXPECT_EQ(r.header("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(r.header("Cache-Control"), "no-cache");
    EXPECT_FALSE(r.header("Expires").empty());
    EXPECT_EQ(r.header("X-Orvan"), "1");
    const std::vector<std::string> cookies = r.all("Set-Cookie");
    ASSERT_EQ(cookies.size(), 3u);  // the page's two and the session's
    EXPECT_TRUE(std::regex_match(cookies[0],
                                 std::regex("prefs=a\\+b%26c; expires=\\w{3}, 0[12] Jan 2030 "
                                            "\\d\\d:04:05 GMT; domain=example.com; path=/agenda; secure")))
        << cookies[0];
    EXPECT_EQ(cookies[1], "plain=v; path=/");

    const Reply redirect = get("/redirect.asp");
    EXPECT_EQ(redirect.status, 302);
    EXPECT_EQ(redirect.header("Location"), "/target.asp?x=1");
    EXPECT_EQ(redirect.body.find("after"), std::string::npos);
    EXPECT_EQ(redirect.body.find("lost"), std::string::npos);

    EXPECT_EQ(get("/end.asp").body, "a");
    EXPECT_EQ(get("/clear.asp").body, "y");
}

TEST_F(Pages, AFailingPageAnswers500WithItsReportAndTheServerGoesOn) {
    options.scriptTimeout = std::chrono::seconds(1);
    write("ok.asp", "fine");
    write("error.asp", "<%\nvar a = 1;\nthrow new Error(\"<b>broken</b> & gone\");\n%>");
    write("syntax.asp", "<%\n\nvar = ;\n%>");
    write("loop.asp", "<% while (true) {} %>");
    write("store.asp", "<% Session(\"conn\") = Server.CreateObject(\"ADODB.Connection\"); %>");
    write("store_app.asp", "<% Application(\"cmd\") = Server.CreateObject(\"ADODB.Command\"); %>");
    start();

    const Reply error = get("/error.asp");
    EXPECT_EQ(error.status, 500);
    EXPECT_NE(error.body.find("/error.asp, line 3"), std::string::npos) << error.body;
    EXPECT_NE(error.body.find("&lt;b&gt;broken&lt;/b&gt; &amp; gone"), std::string::npos) << error.body;
    EXPECT_EQ(error.body.find("<b>broken"), std::string::npos);
    EXPECT_EQ(error.body.find(root.string()), std::string::npos) << "the report shows the site's folder";
    EXPECT_EQ(get("/ok.asp").body, "fine");

    const Reply syntax = get("/syntax.asp");
    EXPECT_EQ(syntax.status, 500);
    EXPECT_NE(syntax.body.find("/syntax.asp, line 3"), std::string::npos) << syntax.body;

    const Reply loop = get("/loop.asp");
    EXPECT_EQ(loop.status, 500);
    EXPECT_NE(loop.body.find("timed out"), std::string::npos) << loop.body;

    // An automation object belongs to the page that made it; Session refuses to keep it.
    const Reply store = get("/store.asp");
    EXPECT_EQ(store.status, 500);
    EXPECT_NE(store.body.find("Session"), std::string::npos) << store.body;
    const Reply storeApp = get("/store_app.asp");
    EXPECT_EQ(storeApp.status, 500);
    EXPECT_NE(storeApp.body.find("Application"), std::string::npos) << storeApp.body;

    EXPECT_EQ(get("/ok.asp").body, "fine");
    const auto entries = events->entries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].type, com::EventType::Error);
    EXPECT_NE(entries[0].text.find("GET /error.asp"), std::string::npos) << entries[0].text;
    EXPECT_NE(entries[0].text.find("line 3"), std::string::npos) << entries[0].text;
}

TEST_F(Pages, EveryRequestGetsOneAccessLogLineInCommonLogFormat) {
    write("a.asp", "abc");
    start();
    get("/a.asp?x=1&y=%22");
    get("/missing.txt");
    Connection c(port());
    c.request("HEAD", "/a.asp");

    const std::string log = accessLog();
    const std::regex line(
        R"re(127\.0\.0\.1 - - \[\d\d/(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)/\d{4}:\d\d:\d\d:\d\d [+-]\d{4}\] "([^"]*)" (\d{3}) (\d+|-))re");
    std::vector<std::string> requests, statuses, sizes;
    std::istringstream lines(log);
    for (std::string text; std::getline(lines, text);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        requests.push_back(m[2]);
        statuses.push_back(m[3]);
        sizes.push_back(m[4]);
    }
    ASSERT_EQ(requests.size(), 3u) << log;
    EXPECT_EQ(requests[0], "GET /a.asp?x=1&y=%22 HTTP/1.1");
    EXPECT_EQ(statuses[0], "200");
    EXPECT_EQ(sizes[0], "3");
    EXPECT_EQ(requests[1], "GET /missing.txt HTTP/1.1");
    EXPECT_EQ(statuses[1], "404");
    EXPECT_EQ(requests[2], "HEAD /a.asp HTTP/1.1");
}

}  // namespace
}  // namespace orvan::host::http::test
