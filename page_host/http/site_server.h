// The application server of one site: HTTP in front of the page run. .asp files run as pages (each
// request on a pool thread, with its own script heap and object context), other files of known types
// are sent as they are, sessions are kept by cookie with their global.asa events, and Application is
// shared by every request. `orvan serve` (serve_command.h) is this class behind a command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "com_server/variant.h"
#include "page_host/page_compiler.h"

namespace orvan::host::http {

struct SiteOptions {
    std::filesystem::path root;                 // the site's folder; must exist
    std::string address = "127.0.0.1";          // IPv4 or IPv6 literal to listen on
    std::uint16_t port = 8080;                  // 0: any free port (see SiteServer::port)
    unsigned threads = 8;                       // connection threads: read requests, send files
    unsigned pageThreads = 8;                   // pages run at the same time (on page threads)
    std::size_t pageQueue = 256;                // pages waiting for a page thread; more: 503
    std::chrono::milliseconds pageWait{10 * 1000};  // a page that waits longer for a thread: 503
    std::chrono::microseconds pageSpin{0};      // a freed page thread's busy wait for the next page
    unsigned connections = 1024;                // open connections, in all
    unsigned connectionsPerClient = 32;         // open connections from one client address
    std::size_t requestHeaderSize = 8 * 1024;   // request line and headers; larger: 431
    std::size_t requestTargetSize = 4 * 1024;   // path and query; longer: 414
    std::size_t requestHeaders = 100;           // header lines; more: 431
    std::size_t requestArguments = 1000;        // query arguments (more: 414) and form fields (413)
    std::size_t requestBodySize = 1024 * 1024;  // larger: 413
    std::chrono::seconds requestTimeout{30};    // an idle or stalled connection is closed after it
    std::chrono::milliseconds headTimeout{10 * 1000};  // the whole request head must arrive within it
    std::chrono::milliseconds bodyGrace{5 * 1000};     // after it, a body slower than bodyRate: closed
    std::size_t bodyRate = 1024;                // bytes a second
    std::chrono::seconds scriptTimeout{90};     // a page's Server.ScriptTimeout to begin with
    // The language of pages and global.asa that do not name theirs.
    ScriptLanguage defaultLanguage = ScriptLanguage::VBScript;
    std::size_t pageMemory = 256 * 1024 * 1024;  // bytes a page's script may hold; more: the page fails
    std::int32_t sessionTimeout = 20;           // a new session's Session.Timeout, in minutes

    // Response headers. Every answer carries X-Content-Type-Options: nosniff and, unless the site
    // may be framed, X-Frame-Options: DENY; with frameAncestors ("'self'", "https://a.example")
    // Content-Security-Policy: frame-ancestors VALUE instead. A page of a session that holds values
    // (a logged-in user's) gets Cache-Control: sessionCacheControl unless it set its own.
    bool securityHeaders = true;
    std::string frameAncestors;
    std::string sessionCacheControl = "no-store";
    bool secureCookie = false;  // the session cookie is Secure (the site is reached over TLS)
    // The Application values the site starts with, in order.
    std::vector<std::pair<std::string, com::Variant>> application;
    // One line per request in common log format (combined log format, with the Referer and User-Agent,
    // when combinedLog is set); none: no access log. The stream must outlive the server.
    std::ostream* accessLog = nullptr;
    bool combinedLog = false;

    // How long one minute of Session.Timeout lasts, and how often sessions are checked for expiry.
    // Tests shorten both to see sessions end within a second.
    std::chrono::milliseconds sessionMinute{60 * 1000};
    std::chrono::milliseconds sessionSweep{5 * 1000};
};

// A server that cannot start: no site folder, an address it cannot listen on, a global.asa that
// cannot be compiled. The message says which.
class SiteServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SiteServer {
public:
    explicit SiteServer(SiteOptions options);
    // Stops the server if it still runs.
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    // Loads global.asa and listens. Application_OnStart runs before the first page. Throws
    // SiteServerError.
    void start();
    // The port listened on.
    std::uint16_t port() const;
    // The canonical site folder.
    const std::filesystem::path& root() const;

    // Stops accepting connections, lets the requests in flight finish (at most the script timeout
    // and a few seconds more), closes the connections, then ends every session still alive, each
    // with its Session_OnEnd. Safe to call more than once.
    void stop();

    // Sessions alive.
    std::size_t sessionCount() const;

    // Runs reopen while no access-log line is being written (SIGHUP: the log file was rotated).
    void reopenAccessLog(const std::function<void()>& reopen);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvan::host::http
