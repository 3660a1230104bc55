// The HTTP/1.1 server under `orvan serve`: connections, keep-alive, limits and request bodies, with
// one handler that turns a whole request into a whole response. libmicrohttpd sits behind this
// interface (http_server.cpp is the only file that includes it); the handler runs on one of the
// server's connection threads, or for pages on a pool of its own where it may block while a page runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "page_host/page_run.h"

namespace orvan::host::http {

struct HttpRequest {
    std::string method;
    std::string version;  // "HTTP/1.1"
    std::string target;   // as the request line gives it: "/a%20b/x.asp?q=1"
    std::string path;     // the target up to '?', still percent-encoded
    std::string query;    // the target after '?', raw
    NameValues headers;   // in the order they came
    std::string contentType;
    std::uint64_t contentLength = 0;  // bytes of body received
    NameValues form;                  // the fields of an url-encoded or multipart/form-data body, decoded
    std::string body;                 // the body when it is not a form
    std::string remoteAddress;
    std::uint16_t remotePort = 0;
    std::chrono::system_clock::time_point received;

    // The first header of that name (case-insensitive); empty when there is none.
    std::string header(std::string_view name) const;
};

// The answer: a body in memory, or a file the server sends from its descriptor.
struct HttpResponse {
    int status = 200;
    NameValues headers;  // Content-Length is the server's; everything else is sent as given
    std::string body;
    int fileDescriptor =
        -1;  // when >= 0: the body is fileSize bytes of this open file (the server closes it)
    std::uint64_t fileSize = 0;

    std::uint64_t bodySize() const { return fileDescriptor >= 0 ? fileSize : body.size(); }
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;
// Whether a request's answer may take long (a page): such requests are answered on the page pool.
using HttpRunsLong = std::function<bool(const HttpRequest&)>;
// Called once per answered request, from the thread that answered it, before the answer is sent.
using HttpLogger = std::function<void(const HttpRequest&, int status, std::uint64_t bytes)>;

struct HttpServerConfig {
    std::string address = "127.0.0.1";  // IPv4 or IPv6 literal
    std::uint16_t port = 8080;          // 0: a free port, which port() then tells
    unsigned threads = 8;               // connection threads: read requests, answer files
    unsigned connections = 1024;
    unsigned connectionsPerClient = 32;          // per client address
    std::size_t requestHeaderSize = 8 * 1024;    // request line and headers; larger: 431
    std::size_t requestTargetSize = 4 * 1024;    // the request target (path and query); longer: 414
    std::size_t requestHeaders = 100;            // header lines; more: 431
    std::size_t requestArguments = 1000;         // query arguments, and form fields; more: 414 / 413
    std::size_t requestBodySize = 1024 * 1024;   // larger: 413
    std::chrono::seconds connectionTimeout{30};  // an idle or stalled connection is closed after it
    // Slow clients: the whole request head must arrive within headTimeout of the connection's start
    // (or of the previous answer on a kept-alive connection), and a body at bodyRate bytes a second at
    // least once bodyGrace has passed; a connection that lags is closed. When more than a quarter of
    // the connections wait for their heads, the ones waiting longest from the addresses holding most of
    // them are closed first, so that many slow connections cannot keep new clients out.
    std::chrono::milliseconds headTimeout{10 * 1000};
    std::chrono::milliseconds bodyGrace{5 * 1000};
    std::size_t bodyRate = 1024;
    // The page pool: requests that runsLong() marks run on pageThreads threads of their own, so that
    // files and new connections are served while pages are busy. A page whose connection is the only
    // one its connection thread serves runs on that thread instead, without the two hand-overs between
    // threads, while that leaves another connection thread free; at most pageThreads pages run at
    // once wherever they run. At most pageQueue wait for a thread;
    // a request that cannot get one within pageWait (or finds the queue full) gets 503 with Retry-After.
    // The thread that became free last takes the next page. With pageSpin, one thread that has just
    // become free waits that long on its processor, without sleeping, for the next page: on a machine
    // with processors to spare, a page that arrives meanwhile starts without the wake-up of a sleeping
    // thread (tens of microseconds on a virtual machine whose processor has gone idle), at the cost of
    // that much processor time after a page that no other follows.
    unsigned pageThreads = 8;
    std::size_t pageQueue = 256;
    std::chrono::milliseconds pageWait{10 * 1000};
    std::chrono::microseconds pageSpin{0};
    HttpHandler handler;
    HttpRunsLong runsLong;  // none: every request is answered on the connection threads
    HttpLogger logger;
};

// Thrown by start() when the server cannot listen (address in use, bad address, no permission).
class HttpServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class HttpServer {
public:
    explicit HttpServer(HttpServerConfig config);
    // Stops the server if it still runs.
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens and starts the pool threads. Throws HttpServerError.
    void start();
    // The port listened on (the one chosen when the configuration asked for 0).
    std::uint16_t port() const;

    // Stops accepting connections, lets the requests in flight finish (waiting at most grace), then
    // closes every connection and stops the threads. Requests arriving on open connections meanwhile
    // are still answered, with "Connection: close". Safe to call more than once.
    void stop(std::chrono::milliseconds grace);

    // Requests received and not yet answered.
    std::size_t requestsInFlight() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvan::host::http
