// Reading the configuration file.
#include "page_host/config.h"

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "com_server/class_registry.h"
#include "data_access/ado/ado.h"

namespace orvan::host {

namespace fs = std::filesystem;
// ordered: Application values keep the order the file gives them.
using json = nlohmann::ordered_json;

namespace {

com::Variant toVariant(const json& value, const std::string& where) {
    switch (value.type()) {
        case json::value_t::null:
            return com::Variant::null();
        case json::value_t::boolean:
            return com::Variant(value.get<bool>());
        case json::value_t::string:
            return com::Variant(value.get<std::string>());
        case json::value_t::number_integer:
        case json::value_t::number_unsigned: {
            const double d = value.get<double>();
            if (value.is_number_integer() &&
                value.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
                value.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max())
                return com::Variant(static_cast<std::int32_t>(value.get<std::int64_t>()));
            return com::Variant(d);
        }
        case json::value_t::number_float:
            return com::Variant(value.get<double>());
        case json::value_t::array: {
            std::vector<com::Variant> items;
            for (const json& item : value) items.push_back(toVariant(item, where));
            return com::Variant::array(std::move(items));
        }
        default:
            throw ConfigError(where + " must be a text, a number, a boolean, null or an array of those");
    }
}

std::string absoluteFrom(const fs::path& base, const std::string& path) {
    return fs::path(path).is_absolute() ? path : (base / path).lexically_normal().string();
}

}  // namespace

std::shared_ptr<com::EventLog> makeEventLog(const std::string& setting) {
    if (setting == "syslog") return com::makeSyslogEventLog();
    if (setting == "journal") return com::makeJournalEventLog();
    if (setting.rfind("file:", 0) == 0 && setting.size() > 5) return com::makeFileEventLog(setting.substr(5));
    throw ConfigError("the event log must be \"syslog\", \"journal\" or \"file:PATH\", not \"" + setting +
                      "\"");
}

const com::Regional* chooseRegional(const ProcessOptions& options, const HostConfig& config,
                                    std::string_view command, std::ostream& err) {
    if (options.locale) {
        const com::Regional* regional = com::Regional::byName(*options.locale);
        if (!regional) err << command << ": unknown locale \"" << *options.locale << "\" (pt-BR or en-US)\n";
        return regional;
    }
    return config.locale ? config.locale : &com::Regional::fromEnvironment();
}

bool applyProcessSettings(const com::Regional& regional, const ProcessOptions& options,
                          const HostConfig& config, std::string_view command, std::ostream& err) {
    com::setProcessRegional(regional);
    try {
        if (options.eventlog)
            com::setEventLog(com::makeFileEventLog(*options.eventlog));
        else if (config.eventlog)
            com::setEventLog(makeEventLog(*config.eventlog));
    } catch (const std::exception& e) {
        err << command << ": the event log cannot be opened: " << e.what() << "\n";
        return false;
    }
    if (options.registry)
        com::ClassRegistry::instance().setRegistryFile(*options.registry);
    else if (config.registry)
        com::ClassRegistry::instance().setRegistryFile(*config.registry);
    data::ado::registerAdoClasses();
    return true;
}

HostConfig loadHostConfig(const fs::path& file) {
    const std::string name = file.string();
    std::ifstream in(file);
    if (!in) throw ConfigError("configuration file " + name + ": cannot be read (missing or not permitted)");
    json doc;
    try {
        doc = json::parse(in, nullptr, true, /*ignore_comments=*/false);
    } catch (const json::parse_error& e) {
        throw ConfigError("configuration file " + name + ": malformed JSON: " + e.what());
    }
    if (!doc.is_object())
        throw ConfigError("configuration file " + name + ": the top level must be an object");
    const fs::path base = fs::absolute(file).parent_path();

    HostConfig config;
    for (const auto& [key, value] : doc.items()) {
        const std::string where = "configuration file " + name + ": \"" + key + "\"";
        if (key == "application") {
            if (!value.is_object()) throw ConfigError(where + " must be an object of names and values");
            for (const auto& [appKey, appValue] : value.items())
                config.application.emplace_back(appKey, toVariant(appValue, where + "." + appKey));
        } else if (key == "locale") {
            if (!value.is_string()) throw ConfigError(where + " must be a text such as \"pt-BR\"");
            config.locale = com::Regional::byName(value.get<std::string>());
            if (!config.locale)
                throw ConfigError(where + ": unknown locale \"" + value.get<std::string>() +
                                  "\" (pt-BR or en-US)");
        } else if (key == "eventlog") {
            if (!value.is_string())
                throw ConfigError(where + " must be \"syslog\", \"journal\" or \"file:PATH\"");
            std::string setting = value.get<std::string>();
            const bool toFile = setting.rfind("file:", 0) == 0 && setting.size() > 5;
            if (setting != "syslog" && setting != "journal" && !toFile)
                throw ConfigError(where + " must be \"syslog\", \"journal\" or \"file:PATH\", not \"" +
                                  setting + "\"");
            if (toFile) setting = "file:" + absoluteFrom(base, setting.substr(5));
            config.eventlog = setting;
        } else if (key == "registry") {
            if (!value.is_string() || value.get<std::string>().empty())
                throw ConfigError(where + " must be the path of the registry file");
            config.registry = absoluteFrom(base, value.get<std::string>());
        } else if (key == "scriptLanguage") {
            if (!value.is_string()) throw ConfigError(where + " must be \"VBScript\" or \"JScript\"");
            config.scriptLanguage = scriptLanguageNamed(value.get<std::string>());
            if (!config.scriptLanguage)
                throw ConfigError(where + " must be \"VBScript\" or \"JScript\", not \"" +
                                  value.get<std::string>() + "\"");
        } else if (key == "server") {
            // The HTTP server's settings, read by `orvan serve` (page_host/http/serve_command.h).
            if (!value.is_object()) throw ConfigError(where + " must be an object of server settings");
        } else {
            throw ConfigError(where + ": unknown setting (application, locale, eventlog, registry, scriptLanguage, server)");
        }
    }
    return config;
}

}  // namespace orvan::host
