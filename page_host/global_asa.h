// global.asa: the site's application and session event handlers, written in VBScript or JScript, either
// inside <script language="VBScript" runat="server"> blocks or as the whole file. The HTTP server loads it once
// and runs Application_OnStart, Session_OnStart and Session_OnEnd with the intrinsic objects the event
// has (see GlobalEventRun), each in a fresh script heap on the calling thread, as a page runs.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "com_server/object.h"
#include "page_host/intrinsics.h"
#include "page_host/page_compiler.h"
#include "page_host/page_run.h"

namespace orvan::host {

enum class GlobalEvent { ApplicationOnStart, SessionOnStart, SessionOnEnd };

// "Application_OnStart", "Session_OnStart", "Session_OnEnd": the function global.asa defines.
const char* globalEventName(GlobalEvent event) noexcept;

// The global.asa of siteRoot, compiled to one script whose lines are the file's lines (the text
// outside the server script blocks becomes blank lines); nothing when the site has none. Its language is
// the one its blocks' language attributes name, else defaultLanguage. Throws PageCompileError for a
// file that cannot be read, a script block that is not closed, an unknown language or blocks in two
// languages, a VBScript syntax error, and <object> declarations (application and session objects are
// not supported: Application and Session refuse objects).
std::optional<CompiledPage> loadGlobalAsa(const std::filesystem::path& siteRoot,
                                          ScriptLanguage defaultLanguage = ScriptLanguage::VBScript);

struct GlobalEventRun {
    std::filesystem::path siteRoot;
    com::ComPtr<ApplicationObject> application;  // required
    com::ComPtr<SessionObject> session;          // required for the session events; unused otherwise
    // Session_OnStart only: the request that started the session. With it the handler has Request and
    // Response (a Redirect or End stops the request's page from running); without it, neither.
    const PageRequest* request = nullptr;
    std::chrono::seconds scriptTimeout{90};
};

// Runs the handler of event from globalAsa (as loadGlobalAsa made it) with Application, Server and,
// for the session events, Session. A script that does not define the handler is Completed with an
// empty response. Failed or TimedOut when the handler throws or runs too long, with the error located
// in global.asa. response is what the handler wrote (Session_OnStart with a request only).
PageResult runGlobalEvent(const GlobalEventRun& run, const CompiledPage& globalAsa, GlobalEvent event);

}  // namespace orvan::host
