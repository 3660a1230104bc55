// The application server of one site: HTTP in front of the page run. .asp files run as pages (each
// request on a pool thread, with its own script heap and object context), other files of known types
// are sent as they are, sessions are kept by cookie with their global.asa events, and Application is
// shared by every request. `orvan serve` (serve_command.h) is this class behind a command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
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
    unsigned threads = 8;                       // pool threads: requests answered at the same time
    unsigned connections = 256;                 // open connections, in all
    unsigned connectionsPerClient = 32;         // open connections from one client address
    std::size_t requestHeaderSize = 8 * 1024;   // request line and headers; larger: 431
    std::size_t requestBodySize = 1024 * 1024;  // larger: 413
    std::chrono::seconds requestTimeout{30};    // an idle or stalled connection is closed after it
    std::chrono::seconds scriptTimeout{90};     // a page's Server.ScriptTimeout to begin with
    // The language of pages and global.asa that do not name theirs.
    ScriptLanguage defaultLanguage = ScriptLanguage::VBScript;
    std::int32_t sessionTimeout = 20;           // a new session's Session.Timeout, in minutes
    // The Application values the site starts with, in order.
    std::vector<std::pair<std::string, com::Variant>> application;
    // One line per request in common log format; none: no access log. The stream must outlive the server.
    std::ostream* accessLog = nullptr;

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

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvan::host::http
