// The site server: what a request names, the session it belongs to, the page run or the file, and the
// page's response as HTTP. Also the global.asa events, the compiled-page cache, the session reaper
// and the access log.
#include "page_host/http/site_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "com_server/ascii.h"
#include "com_server/event_log.h"
#include "page_host/global_asa.h"
#include "page_host/http/internal/http_server.h"
#include "page_host/http/internal/http_text.h"
#include "page_host/http/internal/session_store.h"
#include "page_host/http/internal/site_paths.h"
#include "page_host/page_run.h"

namespace orvan::host::http {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSessionCookie = "ORVANSESSIONID";
constexpr const char* kEventSource = "orvan serve";

std::string upperUnderscored(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = c == '-' ? '_' : com::ascii::toUpper(c);
    return out;
}

std::string errorNumberText(std::int32_t number) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(number));
    return std::to_string(number) + " (" + hex + ")";
}

bool startsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

bool hasHeader(const NameValues& headers, std::string_view name) {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) {
        return h.first.size() == name.size() && startsWithText(h.first, name);
    });
}

HttpResponse simplePage(int status, const std::string& title, const std::string& text = {}) {
    HttpResponse r;
    r.status = status;
    r.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    r.body = "<!DOCTYPE html>\n<html><head><title>" + htmlEscape(title) + "</title></head><body><h1>" +
             htmlEscape(title) + "</h1>" + (text.empty() ? "" : "<p>" + htmlEscape(text) + "</p>") +
             "</body></html>\n";
    return r;
}

// A compiled page and the modification times of the files it was compiled from.
struct CachedPage {
    std::shared_ptr<const CompiledPage> page;
    std::vector<std::pair<fs::path, fs::file_time_type>> stamps;
};

}  // namespace

struct SiteServer::Impl {
    SiteOptions options;
    fs::path root;  // canonical
    std::unique_ptr<HttpServer> server;
    SessionStore sessions;
    std::optional<CompiledPage> globalAsa;
    com::ComPtr<ApplicationObject> application = com::make<ApplicationObject>();

    std::mutex applicationStartMutex;
    bool applicationStarted = false;

    std::mutex cacheMutex;
    std::unordered_map<std::string, std::shared_ptr<const CachedPage>> cache;

    std::mutex logMutex;

    std::mutex reaperMutex;
    std::condition_variable reaperWake;
    bool reaperStop = false;
    std::thread reaper;
    bool running = false;

    explicit Impl(SiteOptions o)
        : options(std::move(o)), sessions(options.sessionMinute, options.sessionTimeout) {}

    HttpResponse handle(const HttpRequest& request);
    HttpResponse answer(const HttpRequest& request);
    // The headers every answer carries (security options), added where the answer has none of them.
    void addSiteHeaders(HttpResponse& response) const;
    HttpResponse servePage(const HttpRequest& request, const SiteTarget& target);
    HttpResponse serveFile(const HttpRequest& request, const SiteTarget& target);

    std::shared_ptr<const CompiledPage> compiled(const fs::path& file);
    PageRequest pageRequest(const HttpRequest& request, const std::string& pagePath,
                            const NameValues& cookies);
    std::optional<HttpResponse> startApplication();
    void endSession(const std::shared_ptr<Session>& session);
    void reap();

    std::string displayPath(const std::string& file) const;
    HttpResponse errorResponse(const ScriptError& error, const std::string& what, const HttpRequest& request);
    HttpResponse toHttp(const PageResponse& page);
};

std::string SiteServer::Impl::displayPath(const std::string& file) const {
    // The page as the site names it, never the folder the site lives in.
    const fs::path inside = fs::path(file).lexically_relative(root);
    if (inside.empty() || *inside.begin() == "..") return fs::path(file).filename().string();
    return "/" + inside.generic_string();
}

HttpResponse SiteServer::Impl::errorResponse(const ScriptError& error, const std::string& what,
                                             const HttpRequest& request) {
    const std::string where = displayPath(error.where.file);
    std::string report = what + " " + where + ", line " + std::to_string(error.where.line) + ": error " +
                         errorNumberText(error.number) + ": " + error.description;
    if (!error.source.empty()) report += " [" + error.source + "]";
    com::eventLog().write(com::EventType::Error, kEventSource,
                          request.method + " " + request.target + ": " + report);

    HttpResponse r;
    r.status = 500;
    r.headers = {{"Content-Type", "text/html; charset=utf-8"}, {"Cache-Control", "private"}};
    r.body = "<!DOCTYPE html>\n<html><head><title>Page error</title></head><body>\n<h1>Page error</h1>\n<p>" +
             htmlEscape(where) + ", line " + std::to_string(error.where.line) + "</p>\n<p>Error " +
             htmlEscape(errorNumberText(error.number)) + ": " + htmlEscape(error.description) + "</p>\n" +
             (error.source.empty() ? "" : "<p>Source: " + htmlEscape(error.source) + "</p>\n") +
             "</body></html>\n";
    return r;
}

void SiteServer::Impl::addSiteHeaders(HttpResponse& response) const {
    if (!options.securityHeaders) return;
    if (!hasHeader(response.headers, "X-Content-Type-Options"))
        response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    if (options.frameAncestors.empty()) {
        if (!hasHeader(response.headers, "X-Frame-Options")) response.headers.emplace_back("X-Frame-Options", "DENY");
    } else if (!hasHeader(response.headers, "Content-Security-Policy")) {
        response.headers.emplace_back("Content-Security-Policy", "frame-ancestors " + options.frameAncestors);
    }
}

HttpResponse SiteServer::Impl::toHttp(const PageResponse& page) {
    HttpResponse r;
    r.status = page.statusCode();
    if (r.status < 100 || r.status > 999) r.status = 500;
    std::string type = page.contentType.empty() ? std::string("text/html") : page.contentType;
    // The page's text goes out as UTF-8 unless the page named another charset; a text type without
    // one would leave the browser to guess.
    if (!page.charset.empty()) {
        type += "; charset=" + page.charset;
    } else if (startsWithText(type, "text/") && type.find(';') == std::string::npos) {
        type += "; charset=utf-8";
    }
    r.headers.emplace_back("Content-Type", type);
    // Pages are personal unless the page says otherwise: no shared cache keeps them.
    r.headers.emplace_back("Cache-Control",
                           page.cacheControl.empty() ? std::string("private") : page.cacheControl);
    if (page.expiresMinutes)
        r.headers.emplace_back("Expires",
                               httpDate(std::time(nullptr) + std::time_t{*page.expiresMinutes} * 60));
    for (const auto& header : page.headers) r.headers.push_back(header);
    for (const ResponseCookie& cookie : page.cookies)
        r.headers.emplace_back("Set-Cookie", setCookieValue(cookie));
    r.body = page.body;
    return r;
}

std::shared_ptr<const CompiledPage> SiteServer::Impl::compiled(const fs::path& file) {
    const std::string key = file.string();
    std::shared_ptr<const CachedPage> known;
    {
        std::lock_guard lock(cacheMutex);
        auto it = cache.find(key);
        if (it != cache.end()) known = it->second;
    }
    if (known) {
        // Checked outside the lock: the other page threads need not wait on this one's disk.
        bool fresh = true;
        for (const auto& [path, stamp] : known->stamps) {
            std::error_code ec;
            if (fs::last_write_time(path, ec) != stamp || ec) {
                fresh = false;
                break;
            }
        }
        if (fresh) return known->page;
    }
    // Compiled outside the lock: two threads may compile the same page once each, which is harmless.
    auto entry = std::make_shared<CachedPage>();
    auto page = std::make_shared<CompiledPage>(compilePage(root, file, options.defaultLanguage));
    for (const std::string& source : page->files) {
        std::error_code ec;
        entry->stamps.emplace_back(source, fs::last_write_time(source, ec));
    }
    entry->page = page;
    std::lock_guard lock(cacheMutex);
    cache[key] = std::move(entry);
    return page;
}

PageRequest SiteServer::Impl::pageRequest(const HttpRequest& request, const std::string& pagePath,
                                          const NameValues& cookies) {
    PageRequest p;
    p.method = request.method;
    p.path = pagePath;
    p.queryString = request.query;
    p.form = request.form;
    p.cookies = cookies;

    // What the variables are made of, kept with the request; the texts are made only for a page that
    // reads ServerVariables.
    struct Source {
        std::string version, remoteAddress, contentType, localAddress, host;
        std::uint16_t remotePort;
        std::uint64_t contentLength;
        std::uint16_t serverPort;
        NameValues headers;
    };
    Source source{request.version,    request.remoteAddress,  request.contentType,
                  options.address,    request.header("Host"), request.remotePort,
                  request.contentLength, server ? server->port() : options.port, request.headers};
    if (std::string& host = source.host; !host.empty() && host.front() == '[') {
        host = host.substr(1, host.find(']') - 1);
    } else if (const std::size_t colon = host.find(':'); colon != std::string::npos) {
        host.erase(colon);
    }
    p.moreServerVariables = [source = std::move(source)](const PageRequest& page) {
        const std::string& host = source.host;
        NameValues v = {{"REQUEST_METHOD", page.method},
                        {"QUERY_STRING", page.queryString},
                        {"SCRIPT_NAME", page.path},
                        {"PATH_INFO", page.path},
                        {"URL", page.path},
                        {"REMOTE_ADDR", source.remoteAddress},
                        {"REMOTE_HOST", source.remoteAddress},
                        {"REMOTE_PORT", std::to_string(source.remotePort)},
                        {"SERVER_NAME", host.empty() ? source.localAddress : host},
                        {"SERVER_PORT", std::to_string(source.serverPort)},
                        {"SERVER_PROTOCOL", source.version},
                        {"SERVER_SOFTWARE", "Orvan"},
                        {"LOCAL_ADDR", source.localAddress},
                        {"HTTPS", "off"},
                        {"CONTENT_TYPE", source.contentType},
                        {"CONTENT_LENGTH", std::to_string(source.contentLength)}};
        std::string allHttp, allRaw;
        for (const auto& [name, value] : source.headers) {
            const std::string variable = "HTTP_" + upperUnderscored(name);
            v.emplace_back(variable, value);
            allHttp += variable + ":" + value + "\n";
            allRaw += name + ": " + value + "\r\n";
        }
        v.emplace_back("ALL_HTTP", allHttp);
        v.emplace_back("ALL_RAW", allRaw);
        return v;
    };
    return p;
}

std::optional<HttpResponse> SiteServer::Impl::startApplication() {
    std::lock_guard lock(applicationStartMutex);
    if (applicationStarted) return std::nullopt;
    // Started once, also when the handler fails: the failure is reported to the request that met it
    // and logged, and the site goes on serving.
    applicationStarted = true;
    if (!globalAsa) return std::nullopt;
    GlobalEventRun run;
    run.siteRoot = root;
    run.application = application;
    run.scriptTimeout = options.scriptTimeout;
    const PageResult result = runGlobalEvent(run, *globalAsa, GlobalEvent::ApplicationOnStart);
    if (result.error) {
        HttpRequest none;
        none.method = "-";
        none.target = "global.asa";
        return errorResponse(*result.error, "Application_OnStart failed in", none);
    }
    return std::nullopt;
}

void SiteServer::Impl::endSession(const std::shared_ptr<Session>& session) {
    if (!globalAsa) return;
    GlobalEventRun run;
    run.siteRoot = root;
    run.application = application;
    run.session = session->object;
    run.scriptTimeout = options.scriptTimeout;
    const PageResult result = runGlobalEvent(run, *globalAsa, GlobalEvent::SessionOnEnd);
    if (result.error) {
        const ScriptError& e = *result.error;
        com::eventLog().write(com::EventType::Error, kEventSource,
                              "Session_OnEnd failed in " + displayPath(e.where.file) + ", line " +
                                  std::to_string(e.where.line) + ": error " + errorNumberText(e.number) +
                                  ": " + e.description);
    }
}

HttpResponse SiteServer::Impl::servePage(const HttpRequest& request, const SiteTarget& target) {
    if (auto failed = startApplication()) return *failed;

    std::shared_ptr<const CompiledPage> page;
    try {
        page = compiled(target.file);
    } catch (const PageCompileError& e) {
        return errorResponse(ScriptError{e.where(), e.number(), e.reason(), {}}, "Page error in",
                             request);
    }

    NameValues cookies = parseCookieHeader(request.header("Cookie"));
    std::string key;
    for (const auto& [name, value] : cookies)
        if (name == kSessionCookie) key = value;

    // The session, held for this request alone. A request that waited while another of its session
    // abandoned it starts a new one.
    SessionStore::Claim claim;
    std::unique_lock<std::mutex> held;
    for (;;) {
        claim = sessions.claim(key);
        if (claim.expired) {
            std::lock_guard endLock(claim.expired->run);
            endSession(claim.expired);
        }
        held = std::unique_lock(claim.session->run);
        // The key must still name the session once it is ours: a request that waited while another
        // renewed the key (Session.NewKey) or abandoned the session starts a new one.
        if (claim.created ? !sessions.ended(claim.session) : sessions.named(claim.session, key)) break;
        held.unlock();
        sessions.release(claim.session);
        key.clear();
    }
    const std::shared_ptr<Session>& session = claim.session;

    PageRun run;
    run.siteRoot = root;
    run.request = pageRequest(request, target.pagePath, cookies);
    run.application = application;
    run.session = session->object;
    run.scriptTimeout = options.scriptTimeout;
    run.memoryLimit = options.pageMemory;

    PageResult onStart;
    if (!session->started) {
        session->started = true;
        if (globalAsa) {
            GlobalEventRun event;
            event.siteRoot = root;
            event.application = application;
            event.session = session->object;
            event.request = &run.request;
            event.scriptTimeout = options.scriptTimeout;
            onStart = runGlobalEvent(event, *globalAsa, GlobalEvent::SessionOnStart);
        }
    }

    PageResult result;
    if (onStart.outcome == PageOutcome::Completed) {
        result = runPage(run, *page);
        // What Session_OnStart wrote comes first, as if it were the start of the page.
        result.response.body.insert(0, onStart.response.body);
        result.response.headers.insert(result.response.headers.begin(), onStart.response.headers.begin(),
                                       onStart.response.headers.end());
        result.response.cookies.insert(result.response.cookies.begin(), onStart.response.cookies.begin(),
                                       onStart.response.cookies.end());
    } else {
        result = std::move(onStart);
    }

    const bool abandoned = session->object->abandoned();
    const bool renewed = session->object->takeNewKey() && !abandoned;
    std::string cookieKey = session->key;
    if (renewed) cookieKey = sessions.renewKey(session);
    const bool holdsValues = session->object->values().count() > 0;
    if (abandoned) {
        sessions.end(session);
        endSession(session);
    } else {
        sessions.release(session);
    }
    held.unlock();

    HttpResponse response;
    if (result.outcome == PageOutcome::Failed || result.outcome == PageOutcome::TimedOut) {
        const bool inOnStart = onStart.outcome != PageOutcome::Completed;
        response = errorResponse(*result.error,
                                 inOnStart                                 ? "Session_OnStart failed in"
                                 : result.outcome == PageOutcome::TimedOut ? "Page timed out:"
                                                                           : "Page error in",
                                 request);
    } else {
        response = toHttp(result.response);
        // A logged-in user's pages stay out of every cache, the browser's included.
        if ((holdsValues || renewed) && result.response.cacheControl.empty() &&
            !options.sessionCacheControl.empty()) {
            for (auto& [name, value] : response.headers)
                if (name == "Cache-Control") value = options.sessionCacheControl;
        }
    }
    if ((claim.created || renewed) && !abandoned)
        response.headers.emplace_back("Set-Cookie", std::string(kSessionCookie) + "=" + cookieKey +
                                                        "; Path=/; HttpOnly; SameSite=Lax" +
                                                        (options.secureCookie ? "; Secure" : ""));
    return response;
}

HttpResponse SiteServer::Impl::serveFile(const HttpRequest& request, const SiteTarget& target) {
    if (request.method != "GET" && request.method != "HEAD") {
        HttpResponse r = simplePage(405, "Method Not Allowed");
        r.headers.emplace_back("Allow", "GET, HEAD");
        return r;
    }
    const int fd = ::open(target.file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) return simplePage(404, "Not Found");
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return simplePage(404, "Not Found");
    }
    HttpResponse r;
    r.headers = {{"Content-Type", target.contentType}, {"Last-Modified", httpDate(st.st_mtime)}};
    const std::time_t since = parseHttpDate(request.header("If-Modified-Since"));
    if (since != -1 && st.st_mtime <= since) {
        ::close(fd);
        r.status = 304;
        return r;
    }
    r.fileDescriptor = fd;
    r.fileSize = static_cast<std::uint64_t>(st.st_size);
    return r;
}

HttpResponse SiteServer::Impl::handle(const HttpRequest& request) {
    HttpResponse response = answer(request);
    addSiteHeaders(response);
    return response;
}

HttpResponse SiteServer::Impl::answer(const HttpRequest& request) {
    const SiteTarget target = resolveTarget(root, request.path);
    switch (target.kind) {
        case SiteTarget::Kind::Page:
            return servePage(request, target);
        case SiteTarget::Kind::File:
            return serveFile(request, target);
        case SiteTarget::Kind::AddSlash: {
            HttpResponse r = simplePage(301, "Moved Permanently");
            r.headers.emplace_back("Location",
                                   target.location + (request.query.empty() ? "" : "?" + request.query));
            return r;
        }
        case SiteTarget::Kind::Forbidden:
            return simplePage(403, "Forbidden", "This folder has no default page.");
        case SiteTarget::Kind::BadRequest:
            return simplePage(400, "Bad Request");
        case SiteTarget::Kind::NotFound:
            break;
    }
    return simplePage(404, "Not Found");
}

void SiteServer::Impl::reap() {
    std::unique_lock lock(reaperMutex);
    while (!reaperStop) {
        reaperWake.wait_for(lock, options.sessionSweep, [&] { return reaperStop; });
        if (reaperStop) break;
        lock.unlock();
        for (const auto& session : sessions.takeExpired()) {
            std::lock_guard endLock(session->run);
            endSession(session);
        }
        lock.lock();
    }
}

SiteServer::SiteServer(SiteOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SiteServer::~SiteServer() {
    stop();
}

void SiteServer::start() {
    Impl& d = *impl_;
    if (d.running) return;
    std::error_code ec;
    d.root = fs::canonical(d.options.root, ec);
    if (ec || !fs::is_directory(d.root, ec))
        throw SiteServerError("the site folder " + d.options.root.string() + " does not exist");
    try {
        d.globalAsa = loadGlobalAsa(d.root, d.options.defaultLanguage);
    } catch (const PageCompileError& e) {
        throw SiteServerError(e.where().file + ":" + std::to_string(e.where().line) + ": " + e.reason());
    }
    try {
        for (const auto& [name, value] : d.options.application) d.application->SetValue(name, value);
    } catch (const com::ComError& e) {
        throw SiteServerError("Application value: " + e.description());
    }

    HttpServerConfig config;
    config.address = d.options.address;
    config.port = d.options.port;
    config.threads = d.options.threads;
    config.connections = d.options.connections;
    config.connectionsPerClient = d.options.connectionsPerClient;
    config.requestHeaderSize = d.options.requestHeaderSize;
    config.requestBodySize = d.options.requestBodySize;
    config.connectionTimeout = d.options.requestTimeout;
    config.requestTargetSize = d.options.requestTargetSize;
    config.requestHeaders = d.options.requestHeaders;
    config.requestArguments = d.options.requestArguments;
    config.headTimeout = d.options.headTimeout;
    config.bodyGrace = d.options.bodyGrace;
    config.bodyRate = d.options.bodyRate;
    config.pageThreads = d.options.pageThreads;
    config.pageQueue = d.options.pageQueue;
    config.pageWait = d.options.pageWait;
    config.pageSpin = d.options.pageSpin;
    config.handler = [&d](const HttpRequest& request) { return d.handle(request); };
    // Decided from the path alone: resolving it on the disk is done once, by the page worker.
    config.runsLong = [](const HttpRequest& request) { return !namesStaticFile(request.path); };
    if (d.options.accessLog) {
        config.logger = [&d](const HttpRequest& request, int status, std::uint64_t bytes) {
            const std::string line =
                d.options.combinedLog
                    ? combinedLogLine(request.remoteAddress, request.received, request.method, request.target,
                                      request.version, status, bytes, request.header("Referer"),
                                      request.header("User-Agent"))
                    : commonLogLine(request.remoteAddress, request.received, request.method, request.target,
                                    request.version, status, bytes);
            std::lock_guard lock(d.logMutex);
            *d.options.accessLog << line << std::flush;
        };
    }
    d.server = std::make_unique<HttpServer>(std::move(config));
    try {
        d.server->start();
    } catch (const HttpServerError& e) {
        d.server.reset();
        throw SiteServerError(e.what());
    }
    d.reaperStop = false;
    d.reaper = std::thread([&d] { d.reap(); });
    d.running = true;
}

std::uint16_t SiteServer::port() const {
    return impl_->server ? impl_->server->port() : impl_->options.port;
}

const fs::path& SiteServer::root() const {
    return impl_->root;
}

std::size_t SiteServer::sessionCount() const {
    return impl_->sessions.size();
}

void SiteServer::reopenAccessLog(const std::function<void()>& reopen) {
    std::lock_guard lock(impl_->logMutex);
    reopen();
}

void SiteServer::stop() {
    Impl& d = *impl_;
    if (!d.running) return;
    d.running = false;
    d.server->stop(std::chrono::duration_cast<std::chrono::milliseconds>(d.options.scriptTimeout) +
                   std::chrono::seconds(5));
    {
        std::lock_guard lock(d.reaperMutex);
        d.reaperStop = true;
    }
    d.reaperWake.notify_all();
    d.reaper.join();
    for (const auto& session : d.sessions.takeAll()) {
        std::lock_guard endLock(session->run);
        d.endSession(session);
    }
}

}  // namespace orvan::host::http
