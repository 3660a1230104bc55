// What a request path reaches: files with their types, folders and their default pages, and every
// way of naming something outside the site (or inside it but private) refused. Also the connection:
// keep-alive, and the header and body limits.
#include <unistd.h>

#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

namespace fs = std::filesystem;

using SiteFiles = SiteTest;

TEST_F(SiteFiles, FilesAreSentWithTheirTypeAndPagesRunOnOneKeptAliveConnection) {
    write("hello.asp", "Hello <%= Request.QueryString(\"name\") %>!");
    write("css/site.css", "body { color: red }");
    write("img/logo.png", std::string("\x89PNG\r\n\x1a\n\0\x01", 10));
    write("docs/Notes.TXT", "notes");
    start();

    Connection c(port());
    const Reply page = c.request("GET", "/hello.asp?name=Ana%20Maria");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "Hello Ana Maria!");
    EXPECT_EQ(page.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(page.header("Cache-Control"), "private");

    struct Case {
        const char* target;
        const char* type;
        std::string body;
    } cases[] = {
        {"/css/site.css", "text/css; charset=utf-8", "body { color: red }"},
        {"/img/logo.png", "image/png", std::string("\x89PNG\r\n\x1a\n\0\x01", 10)},
        {"/docs/Notes.TXT", "text/plain; charset=utf-8", "notes"},
        {"/DOCS/notes.txt", "text/plain; charset=utf-8",
         "notes"},  // names ignore case, as the old server did
    };
    for (const Case& k : cases) {
        const Reply r = c.request("GET", k.target);  // the same connection throughout
        EXPECT_EQ(r.status, 200) << k.target;
        EXPECT_EQ(r.header("Content-Type"), k.type) << k.target;
        EXPECT_EQ(r.body, k.body) << k.target;
        EXPECT_FALSE(r.header("Last-Modified").empty()) << k.target;
    }
    const Reply head = c.request("HEAD", "/css/site.css");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), "19");

    const Reply again =
        c.request("GET", "/css/site.css", {"If-Modified-Since: " + head.header("Last-Modified")});
    EXPECT_EQ(again.status, 304);
    EXPECT_EQ(c.request("POST", "/css/site.css").status, 405);
    EXPECT_EQ(c.request("GET", "/hello.asp?name=B").body, "Hello B!");  // still the same connection
}

TEST_F(SiteFiles, FoldersServeTheirDefaultPageAfterTheSlashAndNeverAListing) {
    write("agenda/default.asp", "agenda default");
    write("agenda/index.asp", "agenda index");
    write("loja/INDEX.ASP", "loja index");
    write("vazia/x.txt", "x");
    write("default.asp", "home");
    start();

    const Reply redirect = get("/agenda?x=1");
    EXPECT_EQ(redirect.status, 301);
    EXPECT_EQ(redirect.header("Location"), "/agenda/?x=1");
    EXPECT_EQ(get("/agenda/").body, "agenda default");
    EXPECT_EQ(get("/loja/").body, "loja index");
    EXPECT_EQ(get("/").body, "home");
    const Reply empty = get("/vazia/");
    EXPECT_EQ(empty.status, 403);
    EXPECT_EQ(empty.body.find("x.txt"), std::string::npos);
}

TEST_F(SiteFiles, NothingOutsideTheSiteOrPrivateInsideItIsServed) {
    std::ofstream(base / "secret.txt") << "TOP SECRET";
    fs::create_directories(base / "outside");
    std::ofstream(base / "outside" / "page.asp") << "OUTSIDE PAGE";
    write("global.asa", "<script language=\"JScript\" runat=\"server\">var secretAsa = 1;</script>");
    write(".env", "SECRET_ENV");
    write(".git/config", "SECRET_GIT");
    write("inc/lib.inc", "SECRET_INCLUDE");
    write("data/agenda.db", "SECRET_DB");
    write("ok.txt", "fine");
    fs::create_symlink(base / "secret.txt", root / "link.txt");
    fs::create_symlink(base / "outside", root / "linkdir");
    fs::create_symlink(root / ".env", root / "env.txt");
    start();

    struct Case {
        const char* target;
        int status;
    } cases[] = {
        {"/../secret.txt", 404},
        {"/%2e%2e/secret.txt", 404},
        {"/%2E%2E/%2E%2E/secret.txt", 404},
        {"/ok.txt/../../secret.txt", 404},
        {"/..%2fsecret.txt", 404},
        {"/..%5csecret.txt", 404},
        {"/inc/..\\..\\secret.txt", 404},
        {"/link.txt", 404},          // a link leading out of the site
        {"/linkdir/page.asp", 404},  // a folder link leading out
        {"/env.txt", 404},           // a link to a hidden file inside
        {"/global.asa", 404},
        {"/GLOBAL.ASA", 404},
        {"/inc/../global.asa", 404},
        {"/.env", 404},
        {"/.git/config", 404},
        {"/%2egit/config", 404},
        {"/inc/lib.inc", 404},     // include files: not a type that is served
        {"/data/agenda.db", 404},  // nor databases
        {"/%00.txt", 400},
        {"/ok%zz.txt", 400},
        {"/missing.txt", 404},
    };
    for (const Case& k : cases) {
        const Reply r = get(k.target);
        EXPECT_EQ(r.status, k.status) << k.target;
        for (const char* secret : {"TOP SECRET", "OUTSIDE PAGE", "secretAsa", "SECRET_"})
            EXPECT_EQ(r.body.find(secret), std::string::npos) << k.target << " leaked " << secret;
    }
    EXPECT_EQ(get("/ok.txt").body, "fine");
}

TEST_F(SiteFiles, LinksThatStayInsideTheSiteAreServedAsWhatTheyLeadTo) {
    write("loja/default.asp", "<%@ Language=JScript %><%= \"loja \" + (1 + 1) %>");
    write("loja/nota.txt", "nota");
    fs::create_directory_symlink(root / "loja", root / "atalho");
    fs::create_symlink(root / "loja" / "default.asp", root / "pagina.txt");
    fs::create_symlink(root / "loja" / "nota.txt", root / "loja" / "outra.txt");
    start();

    EXPECT_EQ(get("/atalho/").body, "loja 2");               // a folder link, its default page
    EXPECT_EQ(get("/ATALHO/NOTA.TXT").body, "nota");         // through the link, any case
    EXPECT_EQ(get("/loja/outra.txt").body, "nota");          // a file link in a folder
    EXPECT_EQ(get("/pagina.txt").body, "loja 2");            // the real file's type: run, not shown
    EXPECT_EQ(get("/atalho").status, 301);                   // a folder still needs its slash
    EXPECT_EQ(get("/atalho/nota.txt/").body, "nota");
}

TEST_F(SiteFiles, HeadersAndBodiesOverTheLimitsAreRefused) {
    options.requestBodySize = 1024;
    options.requestHeaderSize = 2048;
    write("echo.asp", "<%= String(Request.Form(\"a\") || \"\").length %>");
    start();

    Browser ok(port());
    EXPECT_EQ(ok.post("/echo.asp", "application/x-www-form-urlencoded", "a=" + std::string(1000, 'x')).body,
              "1000");

    // Declared too large: answered before the body is sent, and the connection is closed.
    Connection declared(port());
    declared.send(
        "POST /echo.asp HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
        "Content-Length: 5000\r\n\r\n");
    EXPECT_EQ(declared.read().status, 413);
    EXPECT_TRUE(declared.closedByServer());

    // Too large without a declared length: the chunks are read, then refused.
    Connection chunked(port());
    std::string request =
        "POST /echo.asp HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
        "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 3; ++i) request += "200\r\n" + std::string(512, 'y') + "\r\n";
    request += "0\r\n\r\n";
    chunked.send(request);
    EXPECT_EQ(chunked.read().status, 413);

    Connection headers(port());
    const Reply big = headers.request("GET", "/echo.asp", {"X-Big: " + std::string(3000, 'h')});
    EXPECT_EQ(big.status, 431);
    Connection huge(port());  // beyond what the server reads at all
    EXPECT_EQ(huge.request("GET", "/echo.asp", {"X-Huge: " + std::string(64 * 1024, 'h')}).status, 431);

    // The server goes on serving.
    EXPECT_EQ(get("/echo.asp").status, 200);
}

TEST_F(SiteFiles, ConnectionsAreLimitedPerClientAndClosedWhenIdle) {
    options.connectionsPerClient = 2;
    options.requestTimeout = std::chrono::seconds(1);
    write("a.txt", "a");
    start();

    Connection first(port()), second(port());
    EXPECT_EQ(first.request("GET", "/a.txt").status, 200);
    Connection third(port());
    EXPECT_TRUE(third.closedByServer()) << "a third connection from the same address";
    Connection elsewhere(port(), "127.0.0.2");
    EXPECT_EQ(elsewhere.request("GET", "/a.txt").status, 200) << "another client address has its own count";
    EXPECT_EQ(second.request("GET", "/a.txt").status, 200);

    EXPECT_TRUE(first.closedByServer(std::chrono::milliseconds(4000))) << "idle past the request timeout";
}

}  // namespace
}  // namespace orvan::host::http::test
