// `orvan serve`: the site server from the command line, until SIGTERM or SIGINT.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "page_host/http/site_server.h"

namespace orvan::host::http {

// args are the words after "serve":
//   [--config FILE] [--root DIR] [--listen ADDRESS:PORT] [--eventlog FILE] [--locale pt-BR|en-US]
//   [--registry FILE] [--access-log FILE|-]
// Options override the configuration file's settings; the site root is --root, else "server.root",
// else the current folder; the address 127.0.0.1:8080 unless given. Prints "orvan serve: listening on
// http://ADDRESS:PORT/ (site ROOT)" on out once listening, the access log on out unless --access-log
// names a file, and serves until the process gets SIGTERM or SIGINT, then stops gracefully (requests
// in flight finish, remaining sessions end with Session_OnEnd); SIGHUP reopens the access log file.
// Result: 0 after a stop; 2 for a usage
// error, a bad configuration or a server that cannot start.
int orvanServe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Reads the "server" object of a configuration file into options:
//   {"server": {"root": "site", "listen": "0.0.0.0:8080", "threads": 8, "connections": 1024,
//               "connectionsPerClient": 32, "requestHeaderSize": 8192, "requestTargetSize": 4096,
//               "requestHeaders": 100, "requestArguments": 1000, "requestBodySize": 1048576,
//               "requestTimeout": 30, "headTimeout": 10000, "bodyGrace": 5000, "bodyRate": 1024,
//               "pageThreads": 8, "pageQueue": 256, "pageWait": 10000, "pageSpin": 0,
//               "pageMemory": 268435456,
//               "scriptTimeout": 90, "sessionTimeout": 20, "securityHeaders": true,
//               "frameAncestors": "'self'", "sessionCacheControl": "no-store", "secureCookie": false,
//               "accessLog": "PATH"|"-", "accessLogFormat": "common"|"combined"}}
// every member optional (requestTimeout and scriptTimeout in seconds, headTimeout, bodyGrace and
// pageWait in milliseconds, pageSpin in microseconds (at most 10000), sessionTimeout in minutes, sizes in bytes, bodyRate in bytes a second;
// relative paths from the file's folder). See SiteOptions for what each one bounds. accessLog, when present,
// is stored in accessLogPath. Throws ConfigError (page_host/config.h) for an unknown member, a wrong type or
// a value out of range.
void loadServerSettings(const std::filesystem::path& file, SiteOptions& options, std::string& accessLogPath);

// "ADDRESS:PORT", "[IPv6]:PORT" or ":PORT" (127.0.0.1); false for anything else.
bool parseListenAddress(const std::string& text, std::string& address, std::uint16_t& port);

}  // namespace orvan::host::http
