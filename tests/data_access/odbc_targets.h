// ODBC connection strings for the tests: psqlODBC (the Debian package's "PostgreSQL Unicode" driver)
// on the private PostgreSQL server, and the SQLite ODBC driver ("SQLite3") on a file. Both drivers are
// registered in odbcinst.ini by their packages (scripts/install-deps.sh --tests installs them).
#pragma once

#include <string>

#include "data_access/providers/provider.h"

namespace orvan::data::testing {

// The psqlODBC string for the server a native "Provider=PostgreSQL;..." string names, its unqualified
// names resolving in schema (none: the server's default search path).
inline std::string odbcPostgresString(const std::string& nativePg, const std::string& schema = {}) {
    const ConnectionString cs = ConnectionString::parse(nativePg);
    std::string out = "Driver={PostgreSQL Unicode};Server=" + cs.get("host", "127.0.0.1") +
                      ";Port=" + cs.get("port", "5432") + ";Database=" + cs.get("database") +
                      ";UID=" + cs.get("user id");
    if (!cs.get("password").empty()) out += ";PWD=" + cs.get("password");
    if (!schema.empty()) out += ";ConnSettings={SET search_path TO " + schema + "}";
    return out;
}

// The SQLite ODBC driver's string for a database file.
inline std::string odbcSqliteString(const std::string& file) {
    return "Driver={SQLite3};Database=" + file;
}

}  // namespace orvan::data::testing
