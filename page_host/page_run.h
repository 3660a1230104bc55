// One page run: a request in, a response out. The page is compiled, then run once in a fresh script
// heap on the calling thread, with the five intrinsic objects installed as the thread's object context
// for the component objects it creates. Whatever the page wrote is the response, also when it ended
// with Response.End or failed half-way. Nothing here knows where the request came from: the command
// line and the HTTP server both fill a PageRun.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com_server/object.h"
#include "page_host/intrinsics.h"
#include "page_host/page_compiler.h"

namespace orvan::host {

// Names and values in the order they came; a name may repeat.
using NameValues = std::vector<std::pair<std::string, std::string>>;

struct PageRequest {
    std::string method = "GET";
    std::string path;         // the page from the site root, as the client names it: "/agenda/lista.asp"
    std::string queryString;  // the raw query (no '?'); built from `query` when empty
    NameValues query;         // decoded; read from queryString when empty
    NameValues form;          // decoded body fields of a form post
    NameValues cookies;
    NameValues serverVariables;  // the run adds the standard ones it can derive and that are not given
    // More server variables, after those above, worked out from this request only if the page reads
    // ServerVariables: a host gives here what costs it work to put in text.
    std::function<NameValues(const PageRequest&)> moreServerVariables;
};

struct ResponseCookie {
    std::string name;
    std::string value;
    std::optional<double> expires;  // a date serial in local time; none for a cookie of the session
    std::string domain;
    std::string path;
    bool secure = false;
};

struct PageResponse {
    std::string status = "200 OK";
    std::string contentType = "text/html";
    std::string charset;
    std::string cacheControl;
    std::optional<std::int32_t> expiresMinutes;  // Response.Expires, when the page set it
    NameValues headers;  // added by the page (AddHeader, Redirect's Location), in order
    std::vector<ResponseCookie> cookies;
    std::string body;

    // The number at the start of status (200 when it has none).
    int statusCode() const;
};

// An error the page did not handle, located in its own file and line.
struct ScriptError {
    SourceLocation where;
    std::int32_t number = 0;  // the component's error number, or the script engine's
    std::string description;
    std::string source;  // who raised it ("ADODB.Connection", ...); empty for the script itself
};

enum class PageOutcome {
    Completed,  // ran to its end
    Ended,      // stopped by Response.End (or Redirect), in the page or inside a component call
    Failed,     // an error the page did not catch, or a page that does not compile
    TimedOut,   // ran longer than Server.ScriptTimeout
};

struct PageResult {
    PageOutcome outcome = PageOutcome::Completed;
    PageResponse response;
    std::optional<ScriptError> error;  // for Failed and TimedOut
};

struct PageRun {
    std::filesystem::path siteRoot;  // request.path is found under it; includes cannot leave it
    PageRequest request;
    com::ComPtr<ApplicationObject> application;  // the site's; a fresh empty one when null
    com::ComPtr<SessionObject> session;          // the user's; a fresh one when null. A server runs
                                                 // one request of a session at a time.
    std::chrono::seconds scriptTimeout{90};      // the page may change it (Server.ScriptTimeout)
    // The language of a page that does not name its own with <%@ Language=... %>.
    ScriptLanguage defaultLanguage = ScriptLanguage::VBScript;
    std::size_t memoryLimit = 256 * 1024 * 1024;  // bytes the page's script may hold; 0: no ceiling
};

// Error numbers of the host itself.
inline constexpr std::int32_t kScriptTimedOut = com::hosterr::ScriptTimedOut;
inline constexpr std::int32_t kPageNotCompiled = com::hr::ScriptSyntaxError;
inline constexpr std::int32_t kScriptOutOfMemory = static_cast<std::int32_t>(0x800A0007u);  // out of memory

// Compiles and runs the page named by run.request.path. Never throws for what the page does: a page
// that does not compile is a Failed result with the file and line.
PageResult runPage(const PageRun& run);
// Runs an already compiled page (a server caches compilations).
PageResult runPage(const PageRun& run, const CompiledPage& page);

// The file of the page that request path names under siteRoot.
std::filesystem::path pageFile(const std::filesystem::path& siteRoot, std::string_view requestPath);

// "a=1&b=x+y%21" as name/value pairs, decoded ('+' is a blank). Bytes that do not form UTF-8 after
// decoding are read as Windows-1252, as older clients send them.
NameValues parseUrlEncoded(std::string_view text);

}  // namespace orvan::host
