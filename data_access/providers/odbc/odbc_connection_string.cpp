// The translation of connection strings to ODBC ones (see odbc_connection_string.h). The list of
// installed drivers comes from odbc_provider.cpp, the one file that calls the driver manager.
#include "data_access/providers/odbc/odbc_connection_string.h"

#include <algorithm>
#include <utility>

#include "com_server/error.h"
#include "data_access/providers/provider_common.h"

namespace orvan::data {

namespace {

using com::ComError;

// ADO's adErrProviderNotFound, with the driver manager's "data source name not found" state.
constexpr std::int32_t kProviderNotFound = 3706;
constexpr const char* kDriverNotFoundState = "IM002";

bool isTdsProvider(const std::string& p) {
    return p == "sqloledb" || p.starts_with("sqloledb.") || p.starts_with("sqlncli") || p.starts_with("msoledbsql");
}

bool isOracleProvider(const std::string& p) {
    return p == "msdaora" || p.starts_with("msdaora.") || p == "oraoledb.oracle" || p.starts_with("oraoledb.oracle.");
}

bool isMsdasql(const std::string& p) {
    return p == "msdasql" || p.starts_with("msdasql.");
}

bool hasOdbcTarget(const ConnectionString& cs) {
    return cs.keys.contains("dsn") || cs.keys.contains("driver") || cs.keys.contains("filedsn");
}

// One ODBC key and its value, in the order they are written.
using Pairs = std::vector<std::pair<std::string, std::string>>;

void put(Pairs& out, std::string key, std::string value) {
    for (auto& [k, v] : out)
        if (detail::equalsNoCase(k, key)) {
            v = std::move(value);
            return;
        }
    out.emplace_back(std::move(key), std::move(value));
}

// A value as ODBC reads it: in braces (a closing brace doubled) when it holds ';', a brace, or
// blanks at its edges; a driver name always in braces.
std::string quoted(const std::string& key, const std::string& value) {
    const bool braces = detail::equalsNoCase(key, "DRIVER") || value.find_first_of(";{}") != std::string::npos ||
                        (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (!braces) return value;
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "}";
}

OdbcConnectionText render(const Pairs& pairs, std::string route) {
    OdbcConnectionText out;
    out.route = std::move(route);
    for (const auto& [k, v] : pairs) {
        const bool secret = detail::equalsNoCase(k, "PWD");
        out.text += k + "=" + quoted(k, v) + ";";
        out.masked += k + "=" + (secret ? std::string("****") : quoted(k, v)) + ";";
    }
    if (!out.text.empty()) out.text.pop_back();
    if (!out.masked.empty()) out.masked.pop_back();
    return out;
}

bool installed(const OdbcDriverSettings& drivers, const std::string& name) {
    return std::any_of(drivers.installed.begin(), drivers.installed.end(),
                       [&](const std::string& d) { return detail::equalsNoCase(d, name); });
}

[[noreturn]] void missingDriver(const std::string& what) {
    throw ComError(kProviderNotFound, what + " (odbcinst -q -d lists the installed ODBC drivers)")
        .withSqlState(kDriverNotFoundState);
}

bool truthy(const std::string& v) {
    const std::string s = detail::lowerAscii(v);
    return s == "sspi" || s == "true" || s == "yes";
}

// MSDASQL and plain ODBC strings: the keys as they stand, with the OLE DB names of the common
// ones read as the ODBC names. The keys only an OLE DB provider reads are left out.
OdbcConnectionText passThrough(const ConnectionString& cs, bool msdasql) {
    static const char* const kOleDbOnly[] = {"provider",       "persist security info", "connect timeout",
                                              "general timeout", "mode",                  "prompt",
                                              "ole db services", "locale identifier",     "extended properties"};
    static const std::pair<const char*, const char*> kOdbcNames[] = {
        {"data source", "DSN"}, {"user id", "UID"},  {"password", "PWD"}, {"initial catalog", "DATABASE"},
        {"dsn", "DSN"},         {"filedsn", "FILEDSN"}, {"driver", "DRIVER"}, {"uid", "UID"},
        {"pwd", "PWD"},         {"database", "DATABASE"}, {"server", "SERVER"}, {"port", "PORT"}};
    auto odbcName = [&](const std::string& key) {
        for (const auto& [ole, odbc] : kOdbcNames)
            if (key == ole) return std::string(odbc);
        return key;
    };
    ConnectionString merged = cs;
    // Extended Properties carries an ODBC string of its own; its keys count as written here.
    if (msdasql) {
        const ConnectionString extended = ConnectionString::parse(cs.get("extended properties"));
        for (const auto& [k, v] : extended.keys) merged.keys[k] = v;
    }
    Pairs pairs;
    // The data source first, as the driver manager reads it; then the rest in a fixed order.
    for (const char* first : {"filedsn", "dsn", "data source", "driver"})
        if (auto it = merged.keys.find(first); it != merged.keys.end() && (msdasql || std::string(first) != "data source"))
            put(pairs, odbcName(it->first), it->second);
    for (const auto& [k, v] : merged.keys) {
        if (std::find(std::begin(kOleDbOnly), std::end(kOleDbOnly), k) != std::end(kOleDbOnly)) continue;
        if (k == "data source" && !msdasql) continue;
        put(pairs, odbcName(k), v);
    }
    return render(pairs, msdasql ? "MSDASQL" : "ODBC");
}

OdbcConnectionText toFreeTds(const ConnectionString& cs, const OdbcDriverSettings& drivers) {
    const std::string driver = drivers.tdsDriver.empty() ? "FreeTDS" : drivers.tdsDriver;
    if (!installed(drivers, driver))
        missingDriver("the FreeTDS ODBC driver \"" + driver + "\" for " + cs.get("provider") +
                      " is not installed (Debian package tdsodbc, or set ORVAN_ODBC_TDS_DRIVER)");
    auto first = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (auto it = cs.keys.find(n); it != cs.keys.end() && !it->second.empty()) return it->second;
        return std::string();
    };
    Pairs pairs;
    put(pairs, "DRIVER", driver);
    std::string server = first({"data source", "server", "address", "addr", "network address"});
    std::string port = first({"port"});
    if (detail::lowerAscii(server).starts_with("tcp:")) server.erase(0, 4);
    if (const auto comma = server.rfind(','); comma != std::string::npos) {
        port = server.substr(comma + 1);
        server.erase(comma);
    }
    const std::string lower = detail::lowerAscii(server);
    if (lower == "(local)" || lower == "." || lower.empty()) server = "localhost";
    else if (lower.starts_with("(local)\\") || lower.starts_with(".\\")) server = "localhost" + server.substr(server.find('\\'));
    put(pairs, "SERVER", server);
    if (!port.empty()) put(pairs, "PORT", port);
    if (std::string db = first({"initial catalog", "database"}); !db.empty()) put(pairs, "DATABASE", db);
    if (truthy(first({"integrated security", "trusted_connection"}))) {
        put(pairs, "Trusted_Connection", "Yes");
    } else {
        if (std::string uid = first({"user id", "uid"}); !uid.empty()) put(pairs, "UID", uid);
        if (auto it = cs.keys.find("password"); it != cs.keys.end()) put(pairs, "PWD", it->second);
        else if (auto pwd = cs.keys.find("pwd"); pwd != cs.keys.end()) put(pairs, "PWD", pwd->second);
    }
    if (std::string app = first({"application name", "app"}); !app.empty()) put(pairs, "APP", app);
    if (std::string wsid = first({"workstation id", "wsid"}); !wsid.empty()) put(pairs, "WSID", wsid);
    const std::string tds = first({"tds_version", "tds version"});
    put(pairs, "TDS_Version", tds.empty() ? "7.4" : tds);
    return render(pairs, "FreeTDS");
}

OdbcConnectionText toOracle(const ConnectionString& cs, const OdbcDriverSettings& drivers) {
    std::string driver = drivers.oracleDriver;
    if (driver.empty()) {
        for (const std::string& d : drivers.installed)
            if (detail::lowerAscii(d).find("oracle") != std::string::npos) {
                driver = d;
                break;
            }
        if (driver.empty())
            missingDriver("no Oracle ODBC driver is installed for " + cs.get("provider") +
                          " (install the vendor's ODBC driver and name it in ORVAN_ODBC_ORACLE_DRIVER)");
    } else if (!installed(drivers, driver)) {
        missingDriver("the Oracle ODBC driver \"" + driver + "\" named by ORVAN_ODBC_ORACLE_DRIVER is not installed");
    }
    Pairs pairs;
    put(pairs, "DRIVER", driver);
    if (std::string dbq = cs.get("data source"); !dbq.empty()) put(pairs, "DBQ", dbq);
    if (std::string uid = cs.get("user id", cs.get("uid")); !uid.empty()) put(pairs, "UID", uid);
    if (auto it = cs.keys.find("password"); it != cs.keys.end()) put(pairs, "PWD", it->second);
    else if (auto pwd = cs.keys.find("pwd"); pwd != cs.keys.end()) put(pairs, "PWD", pwd->second);
    return render(pairs, "Oracle");
}

}  // namespace

bool isOdbcConnection(const ConnectionString& cs) {
    const std::string p = cs.provider();
    if (p.empty()) return hasOdbcTarget(cs);
    return isMsdasql(p) || isTdsProvider(p) || isOracleProvider(p);
}

OdbcConnectionText translateToOdbc(const ConnectionString& original, const OdbcDriverSettings& drivers) {
    // A value written in ODBC's braces ("Driver={SQLite3}") stands for what is inside them.
    ConnectionString cs = original;
    for (auto& [key, value] : cs.keys) {
        if (value.size() < 2 || value.front() != '{' || value.back() != '}') continue;
        std::string inner;
        for (std::size_t i = 1; i + 1 < value.size(); ++i) {
            inner += value[i];
            if (value[i] == '}' && value[i + 1] == '}') ++i;
        }
        value = std::move(inner);
    }
    const std::string p = cs.provider();
    if (isTdsProvider(p)) return toFreeTds(cs, drivers);
    if (isOracleProvider(p)) return toOracle(cs, drivers);
    OdbcConnectionText out = passThrough(cs, isMsdasql(p));
    if (out.text.find("DSN=") == std::string::npos && out.text.find("DRIVER=") == std::string::npos &&
        out.text.find("FILEDSN=") == std::string::npos)
        throw ComError(kProviderNotFound, "the ODBC connection string names no DSN and no Driver")
            .withSqlState(kDriverNotFoundState);
    return out;
}

}  // namespace orvan::data
