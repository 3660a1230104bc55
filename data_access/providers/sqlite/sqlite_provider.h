// The SQLite engine behind the provider interface: one database file per connection string
// ("Provider=SQLite;Data Source=FILE"). sqlite3.h stays inside this folder.
#pragma once

#include <memory>

#include "data_access/providers/provider.h"

namespace orvan::data {

// Opens (creating it when missing) the file named by "Data Source", in WAL mode with foreign keys off.
// connectTimeoutSeconds bounds the wait for a lock held by another connection while opening (0 = no
// limit). Failure: ComError E_FAIL (-2147467259) with SQLite's message and the file name.
std::unique_ptr<Session> openSqliteSession(const ConnectionString& cs, int connectTimeoutSeconds);

}  // namespace orvan::data
