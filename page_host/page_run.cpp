// The page run: the request's intrinsic objects, the object context, one script engine, the result.
#include "page_host/page_run.h"

#include <algorithm>

#include "com_server/escaping.h"
#include "page_host/internal/request_objects.h"
#include "page_host/internal/script_engine.h"
#include "page_host/internal/text_codec.h"

namespace orvan::host {

namespace fs = std::filesystem;
using com::ComPtr;

int PageResponse::statusCode() const {
    int code = 0;
    std::size_t i = 0;
    for (; i < status.size() && i < 3 && status[i] >= '0' && status[i] <= '9'; ++i)
        code = code * 10 + (status[i] - '0');
    return i == 3 ? code : 200;
}

fs::path pageFile(const fs::path& siteRoot, std::string_view requestPath) {
    std::string inside(requestPath);
    std::replace(inside.begin(), inside.end(), '\\', '/');
    inside.erase(0, std::min(inside.find_first_not_of('/'), inside.size()));
    return siteRoot / inside;
}

NameValues parseUrlEncoded(std::string_view text) {
    NameValues out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('&', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view piece = text.substr(pos, end - pos);
        if (!piece.empty()) {
            const std::size_t eq = piece.find('=');
            if (eq == std::string_view::npos) {
                out.emplace_back(com::urlDecode(piece), std::string());
            } else {
                out.emplace_back(com::urlDecode(piece.substr(0, eq)),
                                 com::urlDecode(piece.substr(eq + 1)));
            }
        }
        pos = end + 1;
    }
    return out;
}

namespace {

// The server variables the run can derive from the request and the site, where the request does not
// give them.
NameValues derivedServerVariables(const PageRequest& r, const fs::path& siteRoot) {
    std::string form;
    for (const auto& [name, value] : r.form) {
        if (!form.empty()) form += '&';
        form += com::urlEncode(name) + "=" + com::urlEncode(value);
    }
    std::string cookies;
    for (const auto& [name, value] : r.cookies) cookies += (cookies.empty() ? "" : "; ") + name + "=" + value;
    const fs::path root = fs::absolute(siteRoot).lexically_normal();
    const std::pair<const char*, std::string> derived[] = {
        {"REQUEST_METHOD", r.method},
        {"QUERY_STRING", r.queryString},
        {"SCRIPT_NAME", r.path},
        {"PATH_INFO", r.path},
        {"URL", r.path},
        {"PATH_TRANSLATED", pageFile(root, r.path).lexically_normal().string()},
        {"APPL_PHYSICAL_PATH", root.string() + "/"},
        {"APPL_MD_PATH", "/"},
        {"CONTENT_LENGTH", std::to_string(form.size())},
        {"CONTENT_TYPE", r.form.empty() ? std::string() : std::string("application/x-www-form-urlencoded")},
        {"HTTP_COOKIE", cookies},
        {"SERVER_SOFTWARE", "Orvan"},
        {"SERVER_PROTOCOL", "HTTP/1.1"},
        {"GATEWAY_INTERFACE", "CGI/1.1"},
    };
    NameValues out;
    for (const auto& [name, value] : derived) out.emplace_back(name, value);
    return out;
}

// The request as the run gives it to the page: the path from the root, the query text, and the server
// variables it can derive (worked out when the page first reads them).
PageRequest withServerVariables(const PageRun& run) {
    PageRequest r = run.request;
    if (r.path.empty() || r.path.front() != '/') r.path.insert(r.path.begin(), '/');
    if (r.queryString.empty() && !r.query.empty()) {
        for (const auto& [name, value] : r.query) {
            if (!r.queryString.empty()) r.queryString += '&';
            r.queryString += com::urlEncode(name) + "=" + com::urlEncode(value);
        }
    }
    r.moreServerVariables = [given = std::move(r.moreServerVariables), root = run.siteRoot](const PageRequest& request) {
        NameValues out = given ? given(request) : NameValues{};
        for (auto& item : derivedServerVariables(request, root)) out.push_back(std::move(item));
        return out;
    };
    return r;
}

}  // namespace

PageResult runPage(const PageRun& run) {
    const PageRequest request = withServerVariables(run);
    CompiledPage page;
    try {
        page = compilePage(run.siteRoot, pageFile(run.siteRoot, request.path), run.defaultLanguage);
    } catch (const PageCompileError& e) {
        PageResult result;
        result.outcome = PageOutcome::Failed;
        result.error = ScriptError{e.where(), e.number(), e.reason(), {}};
        return result;
    }
    return runPage(run, page);
}

PageResult runPage(const PageRun& run, const CompiledPage& page) {
    PageRequest request = withServerVariables(run);
    detail::ScriptClock clock;
    clock.timeout = run.scriptTimeout;
    clock.memoryLimit = run.memoryLimit;

    ComPtr<ApplicationObject> application =
        run.application ? run.application : com::make<ApplicationObject>();
    ComPtr<SessionObject> session = run.session ? run.session : com::make<SessionObject>(newSessionId());
    auto response = com::make<detail::ResponseObject>();
    auto server = com::make<detail::ServerObject>(run.siteRoot, request.path, clock);
    auto requestObject = com::make<detail::RequestObject>(std::move(request));

    PageResult result = detail::runScript(page, clock,
                                          {{"Application", application},
                                           {"Response", response},
                                           {"Session", session},
                                           {"Server", server},
                                           {"Request", requestObject}},
                                          *application, "the page");
    result.response = std::move(response->response());
    return result;
}

}  // namespace orvan::host
