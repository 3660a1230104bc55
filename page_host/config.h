// The host's configuration file: one JSON object,
//   {"application": {"dataconn_ConnectionString": "...", "dataconn_ConnectionTimeout": 15, ...},
//    "locale": "pt-BR", "eventlog": "syslog" | "journal" | "file:PATH", "registry": "PATH",
//    "scriptLanguage": "VBScript" | "JScript", "server": {...}}
// every member optional; "server" is the HTTP server's (page_host/http/serve_command.h). Relative paths are
// read from the configuration file's folder.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com_server/event_log.h"
#include "com_server/regional.h"
#include "com_server/variant.h"
#include "page_host/page_compiler.h"

namespace orvan::host {

struct HostConfig {
    // Initial Application values in file order: texts, numbers (Long when integral and in range,
    // else Double), booleans, null, arrays of those.
    std::vector<std::pair<std::string, com::Variant>> application;
    const com::Regional* locale = nullptr;  // none: the caller decides
    std::optional<std::string> eventlog;    // "syslog", "journal" or "file:PATH" (PATH made absolute)
    std::optional<std::string> registry;    // absolute
    // "scriptLanguage": the language of pages and global.asa that do not name theirs; VBScript when absent.
    std::optional<ScriptLanguage> scriptLanguage;
};

// A configuration that cannot be used; the message names the file and what is wrong.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads and checks the file. Throws ConfigError for a missing or unreadable file, malformed JSON, a
// member of the wrong type, an unknown locale or an event log that is not syslog, journal or file:PATH.
HostConfig loadHostConfig(const std::filesystem::path& file);

// The event log an "eventlog" setting names. Throws ConfigError for anything else.
std::shared_ptr<com::EventLog> makeEventLog(const std::string& setting);

// The options of `orvan run` and `orvan serve` that set process-wide settings; each one overrides the
// configuration's setting of the same name.
struct ProcessOptions {
    std::optional<std::string> locale;    // --locale pt-BR|en-US
    std::optional<std::string> eventlog;  // --eventlog FILE
    std::optional<std::string> registry;  // --registry FILE
};

// The regional settings: --locale, else the configuration's locale, else the environment's. nullptr
// when --locale names no locale, with "COMMAND: unknown locale ..." on err (command: "orvan run").
const com::Regional* chooseRegional(const ProcessOptions& options, const HostConfig& config,
                                    std::string_view command, std::ostream& err);

// Sets up the process: regional as the process's regional settings, the event log, the registry file,
// and the ADO classes registered. false when the event log cannot be opened, with "COMMAND: the event
// log cannot be opened: ..." on err.
bool applyProcessSettings(const com::Regional& regional, const ProcessOptions& options,
                          const HostConfig& config, std::string_view command, std::ostream& err);

}  // namespace orvan::host
