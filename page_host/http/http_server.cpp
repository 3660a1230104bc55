// The HTTP server on libmicrohttpd: one daemon in thread-pool mode (each pool thread polls its own
// connections and runs the handler for them), request state from the request line to the answer,
// the request limits, the watch over slow clients, the page pool that answers long requests on
// suspended connections (or on the connection's own thread when it has that thread to itself), and
// the graceful stop.
#include "page_host/http/internal/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

#include "com_server/ascii.h"

namespace orvan::host::http {

namespace {

using com::ascii::equalsNoCase;
using com::ascii::startsWithNoCase;

// What a request's body is read as.
enum class BodyKind { None, UrlEncoded, Multipart, Raw };

using SteadyClock = std::chrono::steady_clock;

// The connections the calling connection thread polls (the library hands each connection to one
// thread of its pool for its whole life, and tells of its start and end on that thread).
thread_local int connectionsOfThisThread = 0;

// One open connection, as the watch over slow clients sees it. Guarded by Impl::watchMutex.
struct ConnectionWatch {
    enum class Phase { Head, Body, Answering };
    MHD_socket fd = MHD_INVALID_SOCKET;
    std::string address;
    Phase phase = Phase::Head;
    SteadyClock::time_point since = SteadyClock::now();  // the phase's start
    std::uint64_t bodyBytes = 0;
    bool closing = false;  // shut down by the watch; the library closes it next
};

// Everything known about one request between its request line and its answer. Made when the request
// line arrives (the URI callback) and freed when the request is complete.
struct RequestState {
    HttpRequest request;
    bool started = false;   // the headers have been read
    bool answered = false;  // a response is queued
    bool tooLarge = false;  // the body went over the limit; the rest is read and dropped
    BodyKind kind = BodyKind::None;
    MHD_PostProcessor* post = nullptr;
    bool postFailed = false;
    std::size_t fields = 0;  // multipart fields begun
    bool tooManyFields = false;

    // What the request line already condemns (checked when the headers have come): 0 when nothing.
    int refusal = 0;
    std::string refusalText;
    // Where the library keeps the request target, and its length as a C string: a NUL byte inside
    // the target shows as a gap between the target's end and the protocol version.
    const char* rawTarget = nullptr;
    std::size_t rawTargetLength = 0;

    // The page pool's answer, handed back to the connection's thread when it resumes the connection.
    bool queued = false;
    std::optional<HttpResponse> pending;

    ~RequestState() {
        if (post) MHD_destroy_post_processor(post);
    }
};

std::string addressText(const sockaddr* addr, std::uint16_t* port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (addr && addr->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        *port = ntohs(in->sin_port);
    } else if (addr && addr->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(addr);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        *port = ntohs(in6->sin6_port);
    }
    return text;
}

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<NameValues*>(cls)->emplace_back(key ? key : "", value ? value : "");
    return MHD_YES;
}

// One part of a multipart body, possibly in several pieces: off == 0 starts a field.
MHD_Result collectField(void* cls, MHD_ValueKind, const char* key, const char*, const char*, const char*,
                        const char* data, std::uint64_t off, std::size_t size) {
    auto& state = *static_cast<RequestState*>(cls);
    auto& form = state.request.form;
    if (off == 0 || form.empty() || form.back().first != (key ? key : "")) {
        if (state.tooManyFields) return MHD_NO;
        form.emplace_back(key ? key : "", std::string());
        ++state.fields;
    }
    form.back().second.append(data ? data : "", size);
    return MHD_YES;
}

// The number of '&'-separated pieces of an url-encoded text (empty pieces included).
std::size_t argumentCount(std::string_view text) {
    return text.empty() ? 0 : 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '&'));
}

}  // namespace

std::string HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (equalsNoCase(key, name)) return value;
    return {};
}

struct HttpServer::Impl {
    HttpServerConfig config;
    MHD_Daemon* daemon = nullptr;
    MHD_socket listenSocket = MHD_INVALID_SOCKET;  // kept open until the daemon stops
    std::uint16_t port = 0;
    std::atomic<std::size_t> inFlight{0};
    std::atomic<bool> stopping{false};

    // The watch over slow clients: every open connection, and the thread that closes the laggards.
    std::mutex watchMutex;
    std::condition_variable watchWake;
    std::unordered_set<ConnectionWatch*> watched;
    bool watchStop = false;
    std::thread watcher;

    // The page pool.
    struct PageJob {
        MHD_Connection* connection;
        RequestState* state;
        SteadyClock::time_point queuedAt;
    };
    // A page thread waits on a signal of its own. The thread that went idle last takes the next job:
    // under a light load one or two threads run every page, with their script heaps, allocator
    // arenas and caches warm, instead of each request going to the thread that has waited longest.
    struct PageWorker {
        std::condition_variable wake;
        std::atomic<bool> called{false};  // taken off the idle list for a job (or the pool is stopping)
    };
    std::mutex poolMutex;
    std::deque<PageJob> jobs;
    std::vector<PageWorker*> idleWorkers;  // the most recently idle last
    std::size_t jobsRunning = 0;               // pages running, on page threads or connection threads
    unsigned pagesOnConnectionThreads = 0;
    bool poolStop = false;
    std::vector<std::unique_ptr<PageWorker>> pageWorkers;  // outlive their threads
    std::atomic<bool> spinning{false};                      // a page thread spins (at most one)
    std::vector<std::thread> pageThreads;

    static void* uriLogged(void* cls, const char* uri, MHD_Connection*);
    static void completed(void* cls, MHD_Connection*, void** state, MHD_RequestTerminationCode);
    static MHD_Result access(void* cls, MHD_Connection* connection, const char* url, const char* method,
                             const char* version, const char* uploadData, std::size_t* uploadSize,
                             void** state);
    static void log(void* cls, const char* format, va_list ap);
    static void connectionEvent(void* cls, MHD_Connection* connection, void** socketContext,
                                MHD_ConnectionNotificationCode code);

    void watch();
    void pageWorker(PageWorker& self);
    // Keeps the processor of a page thread that has just gone idle busy for up to pageSpin, or until
    // a page is handed to it.
    void spinFor(const PageWorker& self) const;
    // Sets the phase of the connection's watch entry (none when the connection has none).
    void setPhase(MHD_Connection* connection, ConnectionWatch::Phase phase, std::uint64_t bodyBytes = 0);
    HttpResponse busy(const char* why);
    // The handler's answer; a request it fails on gets 500 (and the failure goes to the log).
    HttpResponse runPage(const HttpRequest& request);
    // Takes the most recently idle page thread off the idle list (none when every one is busy); the
    // caller wakes it once poolMutex is free. Called with poolMutex held.
    PageWorker* callIdleWorker();

    MHD_Result answer(MHD_Connection* connection, RequestState& state, HttpResponse response);
    MHD_Result answerError(MHD_Connection* connection, RequestState& state, int status,
                           const std::string& text);
    MHD_Result begin(MHD_Connection* connection, RequestState& state, const char* method,
                     const char* version);
};

void* HttpServer::Impl::uriLogged(void* cls, const char* uri, MHD_Connection*) {
    auto* self = static_cast<Impl*>(cls);
    // The raw target, before the library decodes it: the path is decoded (and checked) by the site,
    // and the page sees the query string as the client sent it.
    auto* state = new RequestState;
    state->request.target = uri ? uri : "";
    state->rawTarget = uri;
    state->rawTargetLength = state->request.target.size();
    const std::size_t q = state->request.target.find('?');
    state->request.path = state->request.target.substr(0, q);
    if (q != std::string::npos) state->request.query = state->request.target.substr(q + 1);
    state->request.received = std::chrono::system_clock::now();

    const std::string& target = state->request.target;
    if (std::any_of(target.begin(), target.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        state->refusal = 400;
        state->refusalText = "Bad Request";
    } else if (target.size() > self->config.requestTargetSize) {
        state->refusal = 414;
        state->refusalText = "URI Too Long";
    } else if (argumentCount(state->request.query) > self->config.requestArguments) {
        state->refusal = 414;
        state->refusalText = "URI Too Long: too many arguments";
    }
    // The library would next store every query argument in the connection's memory, where a few
    // hundred of them exhaust it before any limit of ours is checked; the query is read from the raw
    // target above instead. Ending the text after the '?' (the library replaces the '?' itself with
    // the end of the path) leaves the library no arguments to store. The buffer is the library's
    // writable read buffer; only the const of the callback's signature is cast away.
    if (uri && q != std::string::npos) const_cast<char*>(uri)[q + 1] = '\0';
    return state;
}

void HttpServer::Impl::completed(void* cls, MHD_Connection* connection, void** state,
                                 MHD_RequestTerminationCode) {
    auto* self = static_cast<Impl*>(cls);
    auto* request = static_cast<RequestState*>(*state);
    if (request && request->started) self->inFlight.fetch_sub(1);
    delete request;
    *state = nullptr;
    // A kept-alive connection now waits for its next request head, on the head deadline again.
    self->setPhase(connection, ConnectionWatch::Phase::Head);
}

void HttpServer::Impl::connectionEvent(void* cls, MHD_Connection* connection, void** socketContext,
                                       MHD_ConnectionNotificationCode code) {
    auto* self = static_cast<Impl*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        auto* entry = new ConnectionWatch;
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
            entry->fd = info->connect_fd;
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
            std::uint16_t unused = 0;
            entry->address = addressText(info->client_addr, &unused);
        }
        ++connectionsOfThisThread;
        std::lock_guard lock(self->watchMutex);
        self->watched.insert(entry);
        *socketContext = entry;
    } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        // Called before the library closes the socket: once the entry is gone under the mutex, the
        // watch can no longer shut down a descriptor that is reused.
        auto* entry = static_cast<ConnectionWatch*>(*socketContext);
        if (!entry) return;
        --connectionsOfThisThread;
        {
            std::lock_guard lock(self->watchMutex);
            self->watched.erase(entry);
        }
        delete entry;
        *socketContext = nullptr;
    }
}

void HttpServer::Impl::setPhase(MHD_Connection* connection, ConnectionWatch::Phase phase,
                                std::uint64_t bodyBytes) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (!info || !info->socket_context) return;
    auto* entry = static_cast<ConnectionWatch*>(info->socket_context);
    std::lock_guard lock(watchMutex);
    if (entry->phase != phase) {
        entry->phase = phase;
        entry->since = SteadyClock::now();
    }
    entry->bodyBytes = bodyBytes;
}

void HttpServer::Impl::watch() {
    using Phase = ConnectionWatch::Phase;
    const auto tick = std::chrono::milliseconds(
        std::clamp<std::int64_t>(std::min(config.headTimeout, config.bodyGrace).count() / 4, 50, 1000));
    std::unique_lock lock(watchMutex);
    while (!watchStop) {
        watchWake.wait_for(lock, tick, [&] { return watchStop; });
        if (watchStop) break;
        const SteadyClock::time_point now = SteadyClock::now();
        auto close = [](ConnectionWatch& entry) {
            // The library sees the end of the stream on its next poll and closes the connection.
            entry.closing = true;
            ::shutdown(entry.fd, SHUT_RDWR);
        };
        std::vector<ConnectionWatch*> waiting;  // for their request head
        for (ConnectionWatch* entry : watched) {
            if (entry->closing || entry->fd == MHD_INVALID_SOCKET) continue;
            const auto age = now - entry->since;
            if (entry->phase == Phase::Head) {
                if (age > config.headTimeout) {
                    close(*entry);
                } else {
                    waiting.push_back(entry);
                }
            } else if (entry->phase == Phase::Body && age > config.bodyGrace) {
                const double seconds = std::chrono::duration<double>(age).count();
                if (static_cast<double>(entry->bodyBytes) < seconds * static_cast<double>(config.bodyRate))
                    close(*entry);
            }
        }
        // Too many connections waiting for their heads: close the longest waiting of the addresses
        // that hold most of them, down to the bound.
        const std::size_t bound = std::max<std::size_t>(config.connections / 4, 1);
        if (waiting.size() > bound) {
            std::map<std::string, std::size_t> perAddress;
            for (const ConnectionWatch* entry : waiting) ++perAddress[entry->address];
            std::sort(waiting.begin(), waiting.end(), [&](const ConnectionWatch* a, const ConnectionWatch* b) {
                const std::size_t na = perAddress[a->address], nb = perAddress[b->address];
                return na != nb ? na > nb : a->since < b->since;
            });
            for (std::size_t i = 0; i < waiting.size() - bound; ++i) close(*waiting[i]);
        }
    }
}

HttpResponse HttpServer::Impl::busy(const char* why) {
    HttpResponse response;
    response.status = 503;
    response.headers = {{"Content-Type", "text/html; charset=utf-8"},
                        {"Retry-After", "5"},
                        {"Cache-Control", "no-store"},
                        {"X-Content-Type-Options", "nosniff"}};
    response.body = std::string("<html><head><title>Service Unavailable</title></head><body><h1>Service "
                                "Unavailable</h1><p>") +
                    why + "</p></body></html>\n";
    return response;
}

namespace {

// Tells the processor that the thread is in a busy wait (it eases off the pipeline and the other
// hardware thread of its core).
inline void busyWaitPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
    __asm__ __volatile__("yield");
#endif
}

// The server's own answer for a request it refuses or fails on.
HttpResponse errorPage(int status, const std::string& text) {
    HttpResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "text/html; charset=utf-8"}, {"X-Content-Type-Options", "nosniff"}};
    response.body =
        "<html><head><title>" + text + "</title></head><body><h1>" + text + "</h1></body></html>\n";
    return response;
}

}  // namespace

void HttpServer::Impl::spinFor(const PageWorker& self) const {
    const auto until = SteadyClock::now() + config.pageSpin;
    for (unsigned n = 1; !self.called.load(std::memory_order_acquire); ++n) {
        busyWaitPause();
        // Now and then: the clock, and the processor handed to whatever else waits for it.
        if (n % 64 == 0) {
            if (SteadyClock::now() >= until) return;
            sched_yield();
        }
    }
}

HttpResponse HttpServer::Impl::runPage(const HttpRequest& request) {
    try {
        return config.handler(request);
    } catch (const std::exception& e) {
        std::cerr << "orvan serve: " << request.method << " " << request.target
                  << ": the request could not be answered: " << e.what() << "\n";
        return errorPage(500, "Internal Server Error");
    }
}

HttpServer::Impl::PageWorker* HttpServer::Impl::callIdleWorker() {
    if (idleWorkers.empty()) return nullptr;
    PageWorker* worker = idleWorkers.back();
    idleWorkers.pop_back();
    worker->called = true;
    return worker;
}

void HttpServer::Impl::pageWorker(PageWorker& self) {
    std::unique_lock lock(poolMutex);
    for (;;) {
        // Pages running on connection threads hold slots too: the thread waits for one to end.
        if (jobs.empty() || (jobsRunning >= config.pageThreads && !poolStop)) {
            if (poolStop) return;  // nothing left to answer
            self.called = false;
            idleWorkers.push_back(&self);
            if (config.pageSpin.count() > 0 && !spinning.exchange(true)) {
                lock.unlock();
                spinFor(self);
                spinning = false;
                lock.lock();
            }
            self.wake.wait(lock, [&] { return self.called.load() || poolStop; });
            if (!self.called) std::erase(idleWorkers, &self);
            // A busy thread may have taken the job this one was called for: it looks again.
            continue;
        }
        PageJob job = jobs.front();
        jobs.pop_front();
        ++jobsRunning;
        lock.unlock();
        HttpResponse response;
        if (poolStop) {
            response = busy("The server is stopping.");
        } else if (SteadyClock::now() - job.queuedAt > config.pageWait) {
            response = busy("The server is busy; try again in a few seconds.");
        } else {
            response = runPage(job.state->request);
        }
        job.state->pending = std::move(response);
        // The connection's thread picks the answer up once the connection is resumed.
        MHD_resume_connection(job.connection);
        lock.lock();
        --jobsRunning;
    }
}

void HttpServer::Impl::log(void*, const char* format, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, ap);
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    // Clients that go away, and connections the watch over slow clients closed, are routine; a flood
    // of slow connections must not become a flood of lines.
    if (line.find("closed by remote side") != std::string::npos ||
        line.find("detected connection closure") != std::string::npos)
        return;
    std::cerr << "orvan serve: http: " << line << "\n";
}

MHD_Result HttpServer::Impl::answer(MHD_Connection* connection, RequestState& state, HttpResponse response) {
    MHD_Response* r = nullptr;
    if (response.fileDescriptor >= 0) {
        r = MHD_create_response_from_fd64(response.fileSize, response.fileDescriptor);
        if (!r) ::close(response.fileDescriptor);
    } else {
        r = MHD_create_response_from_buffer(response.body.size(), response.body.data(),
                                            MHD_RESPMEM_MUST_COPY);
    }
    if (!r) return MHD_NO;
    for (const auto& [name, value] : response.headers) {
        // The library refuses names and values it cannot send (line breaks); such a header is dropped
        // rather than letting a page split the response.
        MHD_add_response_header(r, name.c_str(), value.c_str());
    }
    if (stopping.load() || response.status == 400 || response.status == 413 || response.status == 414 ||
        response.status == 431)
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    if (config.logger) config.logger(state.request, response.status, response.bodySize());
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(response.status), r);
    MHD_destroy_response(r);
    state.answered = queued == MHD_YES;
    return queued;
}

MHD_Result HttpServer::Impl::answerError(MHD_Connection* connection, RequestState& state, int status,
                                         const std::string& text) {
    return answer(connection, state, errorPage(status, text));
}

MHD_Result HttpServer::Impl::begin(MHD_Connection* connection, RequestState& state, const char* method,
                                   const char* version) {
    HttpRequest& request = state.request;
    request.method = method ? method : "";
    request.version = version ? version : "";
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &request.headers);
    if (const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
        request.remoteAddress = addressText(info->client_addr, &request.remotePort);
    request.contentType = request.header("Content-Type");
    state.started = true;
    inFlight.fetch_add(1);
    setPhase(connection, ConnectionWatch::Phase::Body);

    // The library cuts the target at a NUL byte; the protocol version then does not follow the end of
    // what it gave as the target (one separator later), and "/a.txt\0.asp" would be read as "/a.txt".
    if (state.rawTarget && (version == nullptr || *version == '\0' ||
                            version != state.rawTarget + state.rawTargetLength + 1))
        return answerError(connection, state, 400, "Bad Request");
    if (state.refusal != 0) return answerError(connection, state, state.refusal, state.refusalText);

    // The library is given more room than the limit so that it can read the headers; the limit itself
    // is checked here, on what it read.
    std::size_t headerBytes = request.method.size() + request.target.size() + request.version.size() + 4;
    for (const auto& [name, value] : request.headers) headerBytes += name.size() + value.size() + 4;
    if (headerBytes > config.requestHeaderSize || request.headers.size() > config.requestHeaders)
        return answerError(connection, state, 431, "Request Header Fields Too Large");

    // A body's length must be stated once: two different lengths, or a length beside a transfer
    // coding, let two readers of the same bytes disagree on where the request ends.
    std::string length;
    bool chunked = false;
    for (const auto& [name, value] : request.headers) {
        if (equalsNoCase(name, "Transfer-Encoding")) chunked = true;
        if (!equalsNoCase(name, "Content-Length")) continue;
        if (!length.empty() && value != length) return answerError(connection, state, 400, "Bad Request");
        length = value;
    }
    if (chunked && !length.empty()) return answerError(connection, state, 400, "Bad Request");
    if (!length.empty()) {
        // The library has already refused a length that is not a number.
        if (std::strtoull(length.c_str(), nullptr, 10) > config.requestBodySize)
            return answerError(connection, state, 413, "Payload Too Large");
    }
    if (startsWithNoCase(request.contentType, "application/x-www-form-urlencoded")) {
        state.kind = BodyKind::UrlEncoded;
    } else if (startsWithNoCase(request.contentType, "multipart/form-data")) {
        state.kind = BodyKind::Multipart;
        state.post = MHD_create_post_processor(connection, 16 * 1024, collectField, &state);
        if (!state.post) return answerError(connection, state, 400, "Bad Request");
    } else {
        state.kind = BodyKind::Raw;
    }
    return MHD_YES;
}

MHD_Result HttpServer::Impl::access(void* cls, MHD_Connection* connection, const char*, const char* method,
                                    const char* version, const char* uploadData, std::size_t* uploadSize,
                                    void** statePtr) {
    auto* self = static_cast<Impl*>(cls);
    auto* state = static_cast<RequestState*>(*statePtr);
    if (!state) return MHD_NO;  // every request has passed through uriLogged
    if (!state->started) return self->begin(connection, *state, method, version);
    if (state->answered) {
        *uploadSize = 0;
        return MHD_YES;
    }

    if (state->queued) {
        // Resumed by the page pool with the answer.
        if (!state->pending) return MHD_YES;
        HttpResponse response = std::move(*state->pending);
        state->pending.reset();
        return self->answer(connection, *state, std::move(response));
    }

    if (*uploadSize > 0) {
        const std::size_t size = *uploadSize;
        *uploadSize = 0;
        state->request.contentLength += size;
        self->setPhase(connection, ConnectionWatch::Phase::Body, state->request.contentLength);
        if (state->request.contentLength > self->config.requestBodySize) {
            // A body without a declared length that grew too large: the answer can only be queued
            // once it has been read, so it is read and dropped, up to once more the limit; a client
            // sending beyond that loses the connection.
            state->tooLarge = true;
            return state->request.contentLength > 2 * self->config.requestBodySize ? MHD_NO : MHD_YES;
        }
        switch (state->kind) {
            case BodyKind::Multipart:
                if (state->fields >= self->config.requestArguments) state->tooManyFields = true;
                if (!state->postFailed && MHD_post_process(state->post, uploadData, size) != MHD_YES)
                    state->postFailed = true;
                break;
            case BodyKind::UrlEncoded:
            case BodyKind::Raw:
                state->request.body.append(uploadData, size);
                break;
            case BodyKind::None:
                break;
        }
        return MHD_YES;
    }

    self->setPhase(connection, ConnectionWatch::Phase::Answering);
    if (state->tooLarge) return self->answerError(connection, *state, 413, "Payload Too Large");
    if (state->tooManyFields || state->fields > self->config.requestArguments)
        return self->answerError(connection, *state, 413, "Payload Too Large: too many form fields");
    if (state->postFailed) return self->answerError(connection, *state, 400, "Bad Request");
    if (state->kind == BodyKind::UrlEncoded) {
        if (argumentCount(state->request.body) > self->config.requestArguments)
            return self->answerError(connection, *state, 413, "Payload Too Large: too many form fields");
        state->request.form = parseUrlEncoded(state->request.body);
        state->request.body.clear();
    }
    if (self->config.runsLong && self->config.runsLong(state->request)) {
        std::unique_lock lock(self->poolMutex);
        if (self->jobs.size() >= self->config.pageQueue || self->poolStop) {
            lock.unlock();
            return self->answer(connection, *state, self->busy("The server is busy; try again in a few seconds."));
        }
        // A connection alone on its thread, with a page slot free and another connection thread left
        // to accept and serve the rest: the page runs here, without handing the request to a page
        // thread and the answer back (two wake-ups of a sleeping thread).
        if (connectionsOfThisThread == 1 && self->jobs.empty() && self->jobsRunning < self->config.pageThreads &&
            self->pagesOnConnectionThreads + 1 < self->config.threads) {
            ++self->jobsRunning;
            ++self->pagesOnConnectionThreads;
            lock.unlock();
            HttpResponse response = self->runPage(state->request);
            lock.lock();
            --self->jobsRunning;
            --self->pagesOnConnectionThreads;
            // A page queued meanwhile may have found every slot taken.
            PageWorker* worker = self->jobs.empty() ? nullptr : self->callIdleWorker();
            lock.unlock();
            if (worker) worker->wake.notify_one();
            return self->answer(connection, *state, std::move(response));
        }
        state->queued = true;
        MHD_suspend_connection(connection);
        self->jobs.push_back({connection, state, SteadyClock::now()});
        PageWorker* worker = self->callIdleWorker();
        // Woken once the lock is free, so that the page thread does not wake only to wait for it.
        lock.unlock();
        if (worker) worker->wake.notify_one();
        return MHD_YES;
    }
    return self->answer(connection, *state, self->runPage(state->request));
}

HttpServer::HttpServer(HttpServerConfig config) : impl_(std::make_unique<Impl>()) {
    impl_->config = std::move(config);
}

HttpServer::~HttpServer() {
    stop(std::chrono::milliseconds(0));
}

void HttpServer::start() {
    Impl& d = *impl_;
    if (d.daemon) return;
    // At least one thread of each kind.
    d.config.threads = std::max(1u, d.config.threads);
    d.config.pageThreads = std::max(1u, d.config.pageThreads);
    const HttpServerConfig& c = d.config;

    sockaddr_in in4{};
    sockaddr_in6 in6{};
    const sockaddr* address = nullptr;
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_USE_ITC | MHD_USE_ERROR_LOG |
                     MHD_ALLOW_SUSPEND_RESUME;
    if (::inet_pton(AF_INET, c.address.c_str(), &in4.sin_addr) == 1) {
        in4.sin_family = AF_INET;
        in4.sin_port = htons(c.port);
        address = reinterpret_cast<const sockaddr*>(&in4);
    } else if (::inet_pton(AF_INET6, c.address.c_str(), &in6.sin6_addr) == 1) {
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(c.port);
        address = reinterpret_cast<const sockaddr*>(&in6);
        flags |= MHD_USE_IPv6;
    } else {
        throw HttpServerError("\"" + c.address + "\" is not an IPv4 or IPv6 address");
    }

    // The library's per-connection memory holds the request line and headers, a record for each
    // header line, and the response headers: the header limit filled with the shortest header lines
    // ("a:" and a line end) needs about sixteen times the limit. The limits are checked on arrival.
    // The memory is only touched as far as a request uses it.
    const std::size_t memory = std::max<std::size_t>(32 * 1024, 16 * c.requestHeaderSize + 16 * 1024);
    // clang-format off
    d.daemon = MHD_start_daemon(flags, c.port, nullptr, nullptr, &Impl::access, &d,
        MHD_OPTION_EXTERNAL_LOGGER, &Impl::log, &d,
        MHD_OPTION_SOCK_ADDR, address,
        MHD_OPTION_THREAD_POOL_SIZE, c.threads,
        MHD_OPTION_CONNECTION_LIMIT, c.connections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, c.connectionsPerClient,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, memory,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(c.connectionTimeout.count()),
        MHD_OPTION_URI_LOG_CALLBACK, &Impl::uriLogged, &d,
        MHD_OPTION_NOTIFY_COMPLETED, &Impl::completed, &d,
        MHD_OPTION_NOTIFY_CONNECTION, &Impl::connectionEvent, &d,
        MHD_OPTION_END);
    // clang-format on
    if (!d.daemon)
        throw HttpServerError("cannot listen on " + c.address + ":" + std::to_string(c.port) + ": " +
                              std::strerror(errno));
    const MHD_DaemonInfo* info = MHD_get_daemon_info(d.daemon, MHD_DAEMON_INFO_BIND_PORT);
    d.port = info ? info->port : c.port;
    d.watchStop = false;
    d.watcher = std::thread([&d] { d.watch(); });
    d.poolStop = false;
    if (c.runsLong) {
        for (unsigned i = 0; i < c.pageThreads; ++i)
            d.pageWorkers.push_back(std::make_unique<Impl::PageWorker>());
        for (const auto& worker : d.pageWorkers)
            d.pageThreads.emplace_back([&d, &w = *worker] { d.pageWorker(w); });
    }
}

std::uint16_t HttpServer::port() const {
    return impl_->port;
}

std::size_t HttpServer::requestsInFlight() const {
    return impl_->inFlight.load();
}

void HttpServer::stop(std::chrono::milliseconds grace) {
    Impl& d = *impl_;
    if (!d.daemon) return;
    d.stopping = true;
    d.listenSocket = MHD_quiesce_daemon(d.daemon);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (d.inFlight.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The page pool answers what is still queued with 503 and ends; every suspended connection is
    // resumed before the library stops.
    {
        std::lock_guard lock(d.poolMutex);
        d.poolStop = true;
        for (const auto& worker : d.pageWorkers) worker->wake.notify_one();
    }
    for (std::thread& t : d.pageThreads) t.join();
    d.pageThreads.clear();
    d.pageWorkers.clear();
    d.idleWorkers.clear();
    {
        std::lock_guard lock(d.watchMutex);
        d.watchStop = true;
    }
    d.watchWake.notify_all();
    if (d.watcher.joinable()) d.watcher.join();
    MHD_stop_daemon(d.daemon);
    d.daemon = nullptr;
    if (d.listenSocket != MHD_INVALID_SOCKET) ::close(d.listenSocket);
    d.listenSocket = MHD_INVALID_SOCKET;
}

}  // namespace orvan::host::http
