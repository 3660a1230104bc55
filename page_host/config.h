// The host's configuration file: one JSON object,
//   {"application": {"dataconn_ConnectionString": "...", "dataconn_ConnectionTimeout": 15, ...},
//    "locale": "pt-BR", "eventlog": "syslog" | "file:PATH", "registry": "PATH", "server": {...}}
// every member optional; "server" is the HTTP server's (page_host/http/serve_command.h). Relative paths are read from the configuration file's folder.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "com_server/event_log.h"
#include "com_server/regional.h"
#include "com_server/variant.h"

namespace orvan::host {

struct HostConfig {
    // Initial Application values in file order: texts, numbers (Long when integral and in range,
    // else Double), booleans, null, arrays of those.
    std::vector<std::pair<std::string, com::Variant>> application;
    const com::Regional* locale = nullptr;  // none: the caller decides
    std::optional<std::string> eventlog;    // "syslog" or "file:PATH" (PATH made absolute)
    std::optional<std::string> registry;    // absolute
};

// A configuration that cannot be used; the message names the file and what is wrong.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads and checks the file. Throws ConfigError for a missing or unreadable file, malformed JSON, a
// member of the wrong type, an unknown locale or an event log that is neither syslog nor file:PATH.
HostConfig loadHostConfig(const std::filesystem::path& file);

// The event log an "eventlog" setting names. Throws ConfigError for anything else.
std::shared_ptr<com::EventLog> makeEventLog(const std::string& setting);

}  // namespace orvan::host
