// `orvan serve`: options and the configuration's "server" settings, process settings as `orvan run`
// makes them, the server, and the wait for a stop signal.
#include "page_host/http/serve_command.h"

#include <pthread.h>
#include <signal.h>

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "com_server/regional.h"
#include "page_host/command_usage.h"
#include "page_host/config.h"

namespace orvan::host::http {

namespace fs = std::filesystem;

namespace {


struct UsageError {
    std::string message;
};

struct Options {
    std::optional<std::string> config, root, listen, accessLog;
    ProcessOptions process;
};

Options parse(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) != 0) throw UsageError{"unexpected argument \"" + arg + "\""};
        if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.erase(eq);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        std::optional<std::string>* target = arg == "--config"       ? &o.config
                                             : arg == "--root"       ? &o.root
                                             : arg == "--listen"     ? &o.listen
                                             : arg == "--eventlog"   ? &o.process.eventlog
                                             : arg == "--locale"     ? &o.process.locale
                                             : arg == "--registry"   ? &o.process.registry
                                             : arg == "--access-log" ? &o.accessLog
                                                                     : nullptr;
        if (!target) throw UsageError{"unknown option " + arg};
        *target = value();
    }
    return o;
}

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread (and so in every thread started after it)
// for the scope; the thread then takes them with sigwait.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    }
    ~StopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int wait() {
        int signal = 0;
        while (sigwait(&set_, &signal) != 0) {
        }
        return signal;
    }

private:
    sigset_t set_{};
    sigset_t previous_{};
};

}  // namespace

bool parseListenAddress(const std::string& text, std::string& address, std::uint16_t& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size()) return false;
    std::string host = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 5) return false;
    const unsigned long number = std::stoul(digits);
    if (number > 65535) return false;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false;  // an IPv6 address needs its brackets
    }
    address = host.empty() ? "127.0.0.1" : host;
    port = static_cast<std::uint16_t>(number);
    return true;
}

void loadServerSettings(const fs::path& file, SiteOptions& options, std::string& accessLogPath) {
    using json = nlohmann::json;
    const std::string name = file.string();
    std::ifstream in(file);
    if (!in) throw ConfigError("configuration file " + name + ": cannot be read (missing or not permitted)");
    json doc;
    try {
        doc = json::parse(in);
    } catch (const json::parse_error& e) {
        throw ConfigError("configuration file " + name + ": malformed JSON: " + e.what());
    }
    if (!doc.is_object() || !doc.contains("server")) return;
    const json& server = doc["server"];
    const fs::path base = fs::absolute(file).parent_path();
    auto fromBase = [&](const std::string& path) {
        return fs::path(path).is_absolute() ? fs::path(path) : (base / path).lexically_normal();
    };

    for (const auto& [key, value] : server.items()) {
        const std::string where = "configuration file " + name + ": \"server\"." + key;
        auto count = [&](std::uint64_t least, std::uint64_t most) -> std::uint64_t {
            if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<std::int64_t>() >= 0))
                throw ConfigError(where + " must be a whole number");
            const std::uint64_t n = value.get<std::uint64_t>();
            if (n < least || n > most)
                throw ConfigError(where + " must be between " + std::to_string(least) + " and " +
                                  std::to_string(most));
            return n;
        };
        auto text = [&]() -> std::string {
            if (!value.is_string() || value.get<std::string>().empty())
                throw ConfigError(where + " must be a text");
            return value.get<std::string>();
        };
        constexpr std::uint64_t kBig = std::numeric_limits<std::uint32_t>::max();
        if (key == "root") {
            options.root = fromBase(text());
        } else if (key == "listen") {
            if (!parseListenAddress(text(), options.address, options.port))
                throw ConfigError(where + " must be ADDRESS:PORT, such as 127.0.0.1:8080");
        } else if (key == "threads") {
            options.threads = static_cast<unsigned>(count(1, 1024));
        } else if (key == "connections") {
            options.connections = static_cast<unsigned>(count(1, 1000000));
        } else if (key == "connectionsPerClient") {
            options.connectionsPerClient = static_cast<unsigned>(count(1, 1000000));
        } else if (key == "requestHeaderSize") {
            options.requestHeaderSize = count(1024, 1024 * 1024);
        } else if (key == "requestBodySize") {
            options.requestBodySize = count(0, kBig);
        } else if (key == "requestTimeout") {
            options.requestTimeout = std::chrono::seconds(count(1, 24 * 3600));
        } else if (key == "requestTargetSize") {
            options.requestTargetSize = count(256, 1024 * 1024);
        } else if (key == "requestHeaders") {
            options.requestHeaders = count(8, 10000);
        } else if (key == "requestArguments") {
            options.requestArguments = count(1, 1000000);
        } else if (key == "headTimeout") {
            options.headTimeout = std::chrono::milliseconds(count(100, 3600 * 1000));
        } else if (key == "bodyGrace") {
            options.bodyGrace = std::chrono::milliseconds(count(100, 3600 * 1000));
        } else if (key == "bodyRate") {
            options.bodyRate = count(0, kBig);
        } else if (key == "pageThreads") {
            options.pageThreads = static_cast<unsigned>(count(1, 1024));
        } else if (key == "pageQueue") {
            options.pageQueue = count(1, 1000000);
        } else if (key == "pageWait") {
            options.pageWait = std::chrono::milliseconds(count(1, 3600 * 1000));
        } else if (key == "pageSpin") {
            options.pageSpin = std::chrono::microseconds(count(0, 10 * 1000));
        } else if (key == "pageMemory") {
            options.pageMemory = count(0, std::numeric_limits<std::uint64_t>::max() / 2);
        } else if (key == "securityHeaders") {
            if (!value.is_boolean()) throw ConfigError(where + " must be true or false");
            options.securityHeaders = value.get<bool>();
        } else if (key == "secureCookie") {
            if (!value.is_boolean()) throw ConfigError(where + " must be true or false");
            options.secureCookie = value.get<bool>();
        } else if (key == "frameAncestors") {
            options.frameAncestors = text();
            if (options.frameAncestors.find_first_of("\r\n;,") != std::string::npos)
                throw ConfigError(where + " must be one list of sources, such as \"'self'\"");
        } else if (key == "sessionCacheControl") {
            if (!value.is_string()) throw ConfigError(where + " must be a text");
            options.sessionCacheControl = value.get<std::string>();
        } else if (key == "scriptTimeout") {
            options.scriptTimeout = std::chrono::seconds(count(1, 24 * 3600));
        } else if (key == "sessionTimeout") {
            options.sessionTimeout = static_cast<std::int32_t>(count(1, 24 * 60 * 365));
        } else if (key == "accessLog") {
            const std::string path = text();
            accessLogPath = path == "-" ? path : fromBase(path).string();
        } else if (key == "accessLogFormat") {
            const std::string format = text();
            if (format != "common" && format != "combined")
                throw ConfigError(where + " must be \"common\" or \"combined\", not \"" + format + "\"");
            options.combinedLog = format == "combined";
        } else {
            throw ConfigError(
                where +
                ": unknown setting (root, listen, threads, connections, connectionsPerClient, "
                "requestHeaderSize, requestTargetSize, requestHeaders, requestArguments, "
                "requestBodySize, requestTimeout, headTimeout, bodyGrace, bodyRate, pageThreads, "
                "pageQueue, pageWait, pageSpin, pageMemory, scriptTimeout, sessionTimeout, securityHeaders, "
                "frameAncestors, sessionCacheControl, secureCookie, accessLog, accessLogFormat)");
        }
    }
}

int orvanServe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    HostConfig config;
    SiteOptions site;
    site.root = ".";
    std::string accessLogPath = "-";
    try {
        options = parse(args);
        if (options.config) {
            config = loadHostConfig(*options.config);
            loadServerSettings(*options.config, site, accessLogPath);
        }
        if (options.root) site.root = *options.root;
        if (options.listen && !parseListenAddress(*options.listen, site.address, site.port))
            throw UsageError{"--listen takes ADDRESS:PORT, such as 127.0.0.1:8080, not \"" + *options.listen +
                             "\""};
        if (options.accessLog) accessLogPath = *options.accessLog;
    } catch (const UsageError& e) {
        err << "orvan serve: " << e.message << "\n" << commandUsage("serve");
        return 2;
    } catch (const ConfigError& e) {
        err << "orvan serve: " << e.what() << "\n";
        return 2;
    }

    const com::Regional* regional = chooseRegional(options.process, config, "orvan serve", err);
    if (!regional || !applyProcessSettings(*regional, options.process, config, "orvan serve", err)) return 2;

    std::ofstream accessFile;
    if (accessLogPath != "-") {
        accessFile.open(accessLogPath, std::ios::app);
        if (!accessFile) {
            err << "orvan serve: the access log " << accessLogPath << " cannot be opened\n";
            return 2;
        }
        site.accessLog = &accessFile;
    } else {
        site.accessLog = &out;
    }
    site.application = config.application;
    site.defaultLanguage = config.scriptLanguage.value_or(ScriptLanguage::VBScript);

    StopSignals signals;  // before the server's threads start, so that none of them takes the signal
    SiteServer server(site);
    try {
        server.start();
    } catch (const SiteServerError& e) {
        err << "orvan serve: " << e.what() << "\n";
        return 2;
    }
    const bool v6 = site.address.find(':') != std::string::npos;
    out << "orvan serve: listening on http://" << (v6 ? "[" : "") << site.address << (v6 ? "]" : "") << ":"
        << server.port() << "/ (site " << server.root().string() << ")" << std::endl;

    int signal = signals.wait();
    while (signal == SIGHUP) {
        // Log rotation: the access log is reopened under its name (the event-log file is opened for
        // every entry, so it follows a rotation by itself).
        if (accessFile.is_open()) {
            bool reopened = false;
            server.reopenAccessLog([&] {
                accessFile.close();
                accessFile.clear();
                accessFile.open(accessLogPath, std::ios::app);
                reopened = static_cast<bool>(accessFile);
            });
            err << "orvan serve: SIGHUP: " << (reopened ? "reopened the access log " : "cannot reopen the access log ")
                << accessLogPath << "\n";
        } else {
            err << "orvan serve: SIGHUP: nothing to reopen\n";
        }
        signal = signals.wait();
    }
    err << "orvan serve: " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
        << ": stopping after the requests in flight\n";
    server.stop();
    err << "orvan serve: stopped\n";
    return 0;
}

}  // namespace orvan::host::http
