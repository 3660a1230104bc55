// The HTTP server on libmicrohttpd: one daemon in thread-pool mode (each pool thread polls its own
// connections and runs the handler for them), request state from the request line to the answer,
// the body limits, and the graceful stop.
#include "page_host/http/internal/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <iostream>
#include <thread>

#include "com_server/ascii.h"

namespace orvan::host::http {

namespace {

using com::ascii::equalsNoCase;
using com::ascii::startsWithNoCase;

// What a request's body is read as.
enum class BodyKind { None, UrlEncoded, Multipart, Raw };

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
    auto& form = static_cast<RequestState*>(cls)->request.form;
    if (off == 0 || form.empty() || form.back().first != (key ? key : ""))
        form.emplace_back(key ? key : "", std::string());
    form.back().second.append(data ? data : "", size);
    return MHD_YES;
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

    static void* uriLogged(void* cls, const char* uri, MHD_Connection*);
    static void completed(void* cls, MHD_Connection*, void** state, MHD_RequestTerminationCode);
    static MHD_Result access(void* cls, MHD_Connection* connection, const char* url, const char* method,
                             const char* version, const char* uploadData, std::size_t* uploadSize,
                             void** state);
    static void log(void* cls, const char* format, va_list ap);

    MHD_Result answer(MHD_Connection* connection, RequestState& state, HttpResponse response);
    MHD_Result answerError(MHD_Connection* connection, RequestState& state, int status,
                           const std::string& text);
    MHD_Result begin(MHD_Connection* connection, RequestState& state, const char* method,
                     const char* version);
};

void* HttpServer::Impl::uriLogged(void*, const char* uri, MHD_Connection*) {
    // The raw target, before the library decodes it: the path is decoded (and checked) by the site,
    // and the page sees the query string as the client sent it.
    auto* state = new RequestState;
    state->request.target = uri ? uri : "";
    const std::size_t q = state->request.target.find('?');
    state->request.path = state->request.target.substr(0, q);
    if (q != std::string::npos) state->request.query = state->request.target.substr(q + 1);
    state->request.received = std::chrono::system_clock::now();
    return state;
}

void HttpServer::Impl::completed(void* cls, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    auto* self = static_cast<Impl*>(cls);
    auto* request = static_cast<RequestState*>(*state);
    if (request && request->started) self->inFlight.fetch_sub(1);
    delete request;
    *state = nullptr;
}

void HttpServer::Impl::log(void*, const char* format, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, ap);
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
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
    if (stopping.load()) MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    if (config.logger) config.logger(state.request, response.status, response.bodySize());
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(response.status), r);
    MHD_destroy_response(r);
    state.answered = queued == MHD_YES;
    return queued;
}

MHD_Result HttpServer::Impl::answerError(MHD_Connection* connection, RequestState& state, int status,
                                         const std::string& text) {
    HttpResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    response.body =
        "<html><head><title>" + text + "</title></head><body><h1>" + text + "</h1></body></html>\n";
    return answer(connection, state, std::move(response));
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

    // The library is given more room than the limit so that it can read the headers; the limit itself
    // is checked here, on what it read.
    std::size_t headerBytes = request.method.size() + request.target.size() + request.version.size() + 4;
    for (const auto& [name, value] : request.headers) headerBytes += name.size() + value.size() + 4;
    if (headerBytes > config.requestHeaderSize)
        return answerError(connection, state, 431, "Request Header Fields Too Large");

    const std::string length = request.header("Content-Length");
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

    if (*uploadSize > 0) {
        const std::size_t size = *uploadSize;
        *uploadSize = 0;
        state->request.contentLength += size;
        if (state->request.contentLength > self->config.requestBodySize) {
            // A body without a declared length that grew too large: the answer can only be queued
            // once it has been read, so it is read and dropped, up to once more the limit; a client
            // sending beyond that loses the connection.
            state->tooLarge = true;
            return state->request.contentLength > 2 * self->config.requestBodySize ? MHD_NO : MHD_YES;
        }
        switch (state->kind) {
            case BodyKind::Multipart:
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

    if (state->tooLarge) return self->answerError(connection, *state, 413, "Payload Too Large");
    if (state->postFailed) return self->answerError(connection, *state, 400, "Bad Request");
    if (state->kind == BodyKind::UrlEncoded) {
        state->request.form = parseUrlEncoded(state->request.body);
        state->request.body.clear();
    }
    HttpResponse response;
    try {
        response = self->config.handler(state->request);
    } catch (const std::exception& e) {
        std::cerr << "orvan serve: " << state->request.method << " " << state->request.target
                  << ": the request could not be answered: " << e.what() << "\n";
        return self->answerError(connection, *state, 500, "Internal Server Error");
    }
    return self->answer(connection, *state, std::move(response));
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
    const HttpServerConfig& c = d.config;

    sockaddr_in in4{};
    sockaddr_in6 in6{};
    const sockaddr* address = nullptr;
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_USE_ITC | MHD_USE_ERROR_LOG;
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

    // The library's per-connection memory holds the request line and headers and the response
    // headers; it gets twice the header limit and room to spare, and the limit is checked on arrival.
    const std::size_t memory = std::max<std::size_t>(32 * 1024, 2 * c.requestHeaderSize + 16 * 1024);
    // clang-format off
    d.daemon = MHD_start_daemon(flags, c.port, nullptr, nullptr, &Impl::access, &d,
        MHD_OPTION_EXTERNAL_LOGGER, &Impl::log, &d,
        MHD_OPTION_SOCK_ADDR, address,
        MHD_OPTION_THREAD_POOL_SIZE, std::max(1u, c.threads),
        MHD_OPTION_CONNECTION_LIMIT, c.connections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, c.connectionsPerClient,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, memory,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(c.connectionTimeout.count()),
        MHD_OPTION_URI_LOG_CALLBACK, &Impl::uriLogged, &d,
        MHD_OPTION_NOTIFY_COMPLETED, &Impl::completed, &d,
        MHD_OPTION_END);
    // clang-format on
    if (!d.daemon)
        throw HttpServerError("cannot listen on " + c.address + ":" + std::to_string(c.port) + ": " +
                              std::strerror(errno));
    const MHD_DaemonInfo* info = MHD_get_daemon_info(d.daemon, MHD_DAEMON_INFO_BIND_PORT);
    d.port = info ? info->port : c.port;
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
    MHD_stop_daemon(d.daemon);
    d.daemon = nullptr;
    if (d.listenSocket != MHD_INVALID_SOCKET) ::close(d.listenSocket);
    d.listenSocket = MHD_INVALID_SOCKET;
}

}  // namespace orvan::host::http
