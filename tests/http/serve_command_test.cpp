// `orvan serve` as a process: the configuration's settings, the start banner, the access log on
// standard output, and the stop on SIGTERM; and the reading of the "server" settings.
#include "page_host/http/serve_command.h"

#include <iterator>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "http_test_support.h"
#include "page_host/config.h"

extern char** environ;

namespace orvan::host::http::test {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

TEST(ServerSettings, TheServerObjectOfTheConfigurationSetsTheLimits) {
    const fs::path dir = makeTempFolder();
    const fs::path file = dir / "orvan.json";
    writeFile(file,
              R"({"application": {"x": 1}, "server": {"root": "site", "listen": "0.0.0.0:9090", "threads": 3,
        "connections": 10, "connectionsPerClient": 2, "requestHeaderSize": 4096, "requestBodySize": 100,
        "requestTimeout": 7, "scriptTimeout": 9, "sessionTimeout": 5, "accessLog": "logs/access.log"}})");
    SiteOptions o;
    std::string accessLog;
    loadServerSettings(file, o, accessLog);
    EXPECT_EQ(o.root, dir / "site");
    EXPECT_EQ(o.address, "0.0.0.0");
    EXPECT_EQ(o.port, 9090);
    EXPECT_EQ(o.threads, 3u);
    EXPECT_EQ(o.connections, 10u);
    EXPECT_EQ(o.connectionsPerClient, 2u);
    EXPECT_EQ(o.requestHeaderSize, 4096u);
    EXPECT_EQ(o.requestBodySize, 100u);
    EXPECT_EQ(o.requestTimeout, std::chrono::seconds(7));
    EXPECT_EQ(o.scriptTimeout, std::chrono::seconds(9));
    EXPECT_EQ(o.sessionTimeout, 5);
    EXPECT_EQ(accessLog, (dir / "logs/access.log").string());
    EXPECT_NO_THROW(loadHostConfig(file)) << "the page host's reader accepts the server's settings";

    writeFile(file, R"({"server": {"requestTargetSize": 2048, "requestHeaders": 50, "requestArguments": 99,
        "headTimeout": 3000, "bodyGrace": 2000, "bodyRate": 512, "pageThreads": 4, "pageQueue": 16,
        "pageWait": 1500, "pageSpin": 300, "pageMemory": 1048576, "securityHeaders": false, "frameAncestors": "'self'",
        "sessionCacheControl": "private", "secureCookie": true, "accessLogFormat": "combined"}})");
    loadServerSettings(file, o, accessLog);
    EXPECT_EQ(o.requestTargetSize, 2048u);
    EXPECT_EQ(o.requestHeaders, 50u);
    EXPECT_EQ(o.requestArguments, 99u);
    EXPECT_EQ(o.headTimeout, std::chrono::milliseconds(3000));
    EXPECT_EQ(o.bodyGrace, std::chrono::milliseconds(2000));
    EXPECT_EQ(o.bodyRate, 512u);
    EXPECT_EQ(o.pageThreads, 4u);
    EXPECT_EQ(o.pageQueue, 16u);
    EXPECT_EQ(o.pageWait, std::chrono::milliseconds(1500));
    EXPECT_EQ(o.pageSpin, std::chrono::microseconds(300));
    EXPECT_EQ(o.pageMemory, 1048576u);
    EXPECT_FALSE(o.securityHeaders);
    EXPECT_EQ(o.frameAncestors, "'self'");
    EXPECT_EQ(o.sessionCacheControl, "private");
    EXPECT_TRUE(o.secureCookie);
    EXPECT_TRUE(o.combinedLog);
    writeFile(file, R"({"server": {"accessLogFormat": "common"}})");
    loadServerSettings(file, o, accessLog);
    EXPECT_FALSE(o.combinedLog);

    for (const char* bad :
         {R"({"server": {"threads": 0}})", R"({"server": {"threads": "4"}})",
          R"({"server": {"listen": "8080"}})", R"({"server": {"listen": "::1:80"}})",
          R"({"server": {"requestBodySize": -1}})", R"({"server": {"sessionTimeout": 0}})",
          R"({"server": {"maxThreads": 4}})", R"({"server": {"secureCookie": "yes"}})",
          R"({"server": {"headTimeout": 10}})", R"({"server": {"accessLogFormat": "json"}})",
          R"({"server": {"frameAncestors": "'self'\r\nX-Evil: 1"}})", R"({"server": {"pageSpin": 20000}})"}) {
        writeFile(file, bad);
        EXPECT_THROW(loadServerSettings(file, o, accessLog), ConfigError) << bad;
    }

    struct Listen {
        const char* text;
        bool ok;
        const char* address;
        std::uint16_t port;
    } listens[] = {{"127.0.0.1:8080", true, "127.0.0.1", 8080},
                   {":81", true, "127.0.0.1", 81},
                   {"[::1]:0", true, "::1", 0},
                   {"host", false, "", 0},
                   {"1.2.3.4:65536", false, "", 0},
                   {"1.2.3.4:", false, "", 0}};
    for (const Listen& l : listens) {
        std::string address;
        std::uint16_t port = 0;
        EXPECT_EQ(parseListenAddress(l.text, address, port), l.ok) << l.text;
        if (l.ok) {
            EXPECT_EQ(address, l.address) << l.text;
            EXPECT_EQ(port, l.port) << l.text;
        }
    }
    fs::remove_all(dir);
}

// A child process with its standard output and error on pipes.
struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;
    std::string outText, errText;
    std::string matched;

    // Reads standard output until it holds a line matching pattern (at most timeout).
    bool waitForLine(const std::regex& pattern, std::smatch& m, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::istringstream lines(outText);
            for (std::string line; std::getline(lines, line);) {
                matched = line;  // m points into it
                if (std::regex_search(matched, m, pattern)) return true;
            }
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(out, buffer, sizeof buffer);
                if (n <= 0) return false;
                outText.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return false;
    }

    static void drain(int fd, std::string& into) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) into.append(buffer, static_cast<std::size_t>(n));
    }
};

Child spawn(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    child.out = out[0];
    child.err = err[0];
    return child;
}

TEST(ServeCommand, ServesTheConfiguredSiteLogsEachRequestAndStopsOnSigterm) {
    const fs::path dir = makeTempFolder();
    writeFile(dir / "site" / "index.asp", "<%= Application('greeting') + ' ' + Request.QueryString('n') %>");
    writeFile(dir / "orvan.json",
              R"({"application": {"greeting": "olá"}, "locale": "pt-BR", "scriptLanguage": "JScript",
                  "eventlog": "file:events.log", "server": {"root": "site", "requestBodySize": 10}})");

    Child child =
        spawn({ORVAN_BINARY, "serve", "--config", (dir / "orvan.json").string(), "--listen", "127.0.0.1:0"});
    std::smatch m;
    const std::regex banner(R"(^orvan serve: listening on http://127\.0\.0\.1:(\d+)/ \(site (.*)\)$)");
    ASSERT_TRUE(child.waitForLine(banner, m, std::chrono::seconds(20))) << child.outText;
    EXPECT_EQ(fs::path(m[2].str()), fs::canonical(dir / "site"));
    const auto port = static_cast<std::uint16_t>(std::stoi(m[1].str()));

    Connection c(port);
    const Reply page = c.request("GET", "/?n=1");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "olá 1");
    EXPECT_EQ(c.request("POST", "/", {"Content-Type: text/plain"}, std::string(11, 'x')).status, 413);

    const std::regex logLine(R"(^127\.0\.0\.1 - - \[[^\]]+\] "POST / HTTP/1\.1" 413 \d+$)");
    EXPECT_TRUE(child.waitForLine(logLine, m, std::chrono::seconds(10))) << child.outText;

    ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    Child::drain(child.err, child.errText);
    EXPECT_NE(child.errText.find("SIGTERM"), std::string::npos) << child.errText;
    ::close(child.out);
    ::close(child.err);

    Child bad =
        spawn({ORVAN_BINARY, "serve", "--root", (dir / "missing").string(), "--listen", "127.0.0.1:0"});
    ASSERT_EQ(::waitpid(bad.pid, &status, 0), bad.pid);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    Child::drain(bad.err, bad.errText);
    EXPECT_NE(bad.errText.find("does not exist"), std::string::npos) << bad.errText;
    ::close(bad.out);
    ::close(bad.err);
    fs::remove_all(dir);
}

TEST(ServeCommand, SighupReopensTheAccessLogAndTheServerGoesOn) {
    const fs::path dir = makeTempFolder();
    writeFile(dir / "site" / "hello.txt", "hello");
    const fs::path log = dir / "access.log";
    Child child = spawn({ORVAN_BINARY, "serve", "--root", (dir / "site").string(), "--listen", "127.0.0.1:0",
                         "--access-log", log.string()});
    std::smatch m;
    const std::regex banner(R"(^orvan serve: listening on http://127\.0\.0\.1:(\d+)/)");
    ASSERT_TRUE(child.waitForLine(banner, m, std::chrono::seconds(20))) << child.outText;
    const auto port = static_cast<std::uint16_t>(std::stoi(m[1].str()));
    // The log line of a request is written before its answer is sent.
    auto served = [&](const char* target) {
        Connection c(port);
        return c.request("GET", target).status;
    };

    EXPECT_EQ(served("/hello.txt?before"), 200);
    fs::rename(log, dir / "access.log.1");  // what a log rotation does
    ASSERT_EQ(::kill(child.pid, SIGHUP), 0);
    // The reopened file appears under the old name; requests go on being answered meanwhile.
    for (int i = 0; i < 200 && !fs::exists(log); ++i) {
        EXPECT_EQ(served("/hello.txt?during"), 200);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fs::exists(log)) << "the access log was not reopened";
    EXPECT_EQ(served("/hello.txt?after"), 200);
    std::ifstream in(log);
    const std::string reopened((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(reopened.find("GET /hello.txt?after"), std::string::npos) << reopened;
    std::ifstream rotatedIn(dir / "access.log.1");
    const std::string rotated((std::istreambuf_iterator<char>(rotatedIn)), std::istreambuf_iterator<char>());
    EXPECT_NE(rotated.find("GET /hello.txt?before"), std::string::npos) << rotated;
    EXPECT_EQ(rotated.find("?after"), std::string::npos) << rotated;

    ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    EXPECT_TRUE(WIFEXITED(status)) << "SIGHUP did not end the server";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    Child::drain(child.err, child.errText);
    EXPECT_NE(child.errText.find("SIGHUP: reopened the access log"), std::string::npos) << child.errText;
    ::close(child.out);
    ::close(child.err);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace orvan::host::http::test
