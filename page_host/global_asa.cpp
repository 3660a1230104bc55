// global.asa: reading the server script out of the file, and running one event handler with the
// intrinsic objects of the event.
#include "page_host/global_asa.h"
#include "com_server/ascii.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "page_host/internal/request_objects.h"
#include "page_host/internal/script_engine.h"

namespace orvan::host {

namespace fs = std::filesystem;
using com::ComPtr;

namespace {

using com::ascii::lower;

// The line breaks of text, and nothing else: what replaces the text outside the script blocks so
// that every line of the script is the same line of the file.
std::string lineBreaksOf(std::string_view text) {
    return std::string(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), '\n');
}

int lineAt(std::string_view text, std::size_t pos) {
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
}

// The script of the file: the contents of its <script runat="server"> blocks in place, or the whole
// file when it has no <script> block at all. language: the blocks' language attribute, which must be
// the same on every block that has one; left as it is when none has.
std::string serverScript(const std::string& text, const std::string& display, ScriptLanguage& language) {
    const std::string folded = lower(text);
    if (folded.find("<script") == std::string::npos) {
        if (folded.find("<object") != std::string::npos)
            throw PageCompileError(SourceLocation{display, lineAt(text, folded.find("<object"))},
                                   "<object> declarations in global.asa are not supported");
        return text;
    }
    static const std::regex runatServer(R"re(\brunat\s*=\s*["']?server\b)re", std::regex::icase);
    static const std::regex languageAttribute(R"re(\blanguage\s*=\s*["']?([A-Za-z]+))re", std::regex::icase);
    bool named = false;
    std::string script;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = folded.find("<script", pos);
        const std::size_t object = folded.find("<object", pos);
        if (object < open)
            throw PageCompileError(SourceLocation{display, lineAt(text, object)},
                                   "<object> declarations in global.asa are not supported");
        if (open == std::string::npos) {
            script += lineBreaksOf(std::string_view(text).substr(pos));
            break;
        }
        script += lineBreaksOf(std::string_view(text).substr(pos, open - pos));
        const std::size_t tagEnd = text.find('>', open);
        if (tagEnd == std::string::npos)
            throw PageCompileError(SourceLocation{display, lineAt(text, open)},
                                   "the <script> tag is not closed");
        const std::string tag = text.substr(open, tagEnd + 1 - open);
        const std::size_t close = folded.find("</script>", tagEnd + 1);
        if (close == std::string::npos)
            throw PageCompileError(SourceLocation{display, lineAt(text, open)},
                                   "the <script> block is not closed with </script>");
        std::smatch m;
        if (std::regex_search(tag, m, languageAttribute)) {
            const auto lang = scriptLanguageNamed(m[1].str());
            if (!lang)
                throw PageCompileError(SourceLocation{display, lineAt(text, open)},
                                       "the language " + m[1].str() +
                                           " is not supported: global.asa is written in VBScript or JScript");
            if (named && *lang != language)
                throw PageCompileError(SourceLocation{display, lineAt(text, open)},
                                       "global.asa mixes VBScript and JScript blocks: it is run by one engine");
            language = *lang;
            named = true;
        }
        script += lineBreaksOf(tag);
        const std::string_view body = std::string_view(text).substr(tagEnd + 1, close - tagEnd - 1);
        // A block without runat="server" is the client's; global.asa has no client, so it is skipped.
        script += std::regex_search(tag, runatServer) ? std::string(body) : lineBreaksOf(body);
        pos = close + 9;
    }
    return script;
}

}  // namespace

const char* globalEventName(GlobalEvent event) noexcept {
    switch (event) {
        case GlobalEvent::ApplicationOnStart:
            return "Application_OnStart";
        case GlobalEvent::SessionOnStart:
            return "Session_OnStart";
        case GlobalEvent::SessionOnEnd:
            return "Session_OnEnd";
    }
    return "";
}

std::optional<CompiledPage> loadGlobalAsa(const fs::path& siteRoot, ScriptLanguage defaultLanguage) {
    // The name is matched without regard to case, as on the server the sites were written for.
    std::error_code ec;
    fs::path file;
    for (const auto& entry : fs::directory_iterator(siteRoot, ec)) {
        if (lower(entry.path().filename().string()) == "global.asa" && entry.is_regular_file(ec)) {
            file = entry.path();
            break;
        }
    }
    if (file.empty()) return std::nullopt;

    CompiledPage out;
    out.file = file.lexically_normal().string();
    std::ifstream in(file, std::ios::binary);
    if (!in) throw PageCompileError(SourceLocation{out.file, 0}, "cannot read " + out.file);
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // UTF-8 byte order mark

    out.language = defaultLanguage;
    out.script = serverScript(text, out.file, out.language);
    out.files = {out.file};
    const int lines = 1 + static_cast<int>(std::count(out.script.begin(), out.script.end(), '\n'));
    for (int line = 1; line <= lines; ++line) out.lineOrigins.emplace_back(0, line);
    prepareScript(out);
    return out;
}

PageResult runGlobalEvent(const GlobalEventRun& run, const CompiledPage& globalAsa, GlobalEvent event) {
    const std::string name = globalEventName(event);

    detail::ScriptClock clock;
    clock.timeout = run.scriptTimeout;
    const bool withSession = event != GlobalEvent::ApplicationOnStart;
    const bool withRequest = event == GlobalEvent::SessionOnStart && run.request != nullptr;

    ComPtr<ApplicationObject> application = run.application;
    auto server = com::make<detail::ServerObject>(run.siteRoot, "/global.asa", clock);
    ComPtr<detail::ResponseObject> response;
    ComPtr<detail::RequestObject> request;
    std::vector<detail::HostObject> objects = {{"Application", application}, {"Server", server}};
    if (withSession) objects.push_back({"Session", run.session});
    if (withRequest) {
        response = com::make<detail::ResponseObject>();
        request = com::make<detail::RequestObject>(*run.request);
        objects.push_back({"Response", response});
        objects.push_back({"Request", request});
    }

    PageResult result = detail::runScript(globalAsa, clock, objects, *application, name, name);
    if (response) result.response = std::move(response->response());
    return result;
}

}  // namespace orvan::host
