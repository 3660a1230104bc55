// Engines reached through ODBC (unixODBC's driver manager) behind the provider interface: psqlODBC,
// the SQLite ODBC driver, FreeTDS for the Transact-SQL server, the vendor's Oracle driver. sql.h and
// sqlext.h stay inside this folder.
#pragma once

#include <memory>

#include "data_access/providers/provider.h"

namespace orvan::data {

// Connects with the ODBC string translateToOdbc makes of cs, the login limited to
// connectTimeoutSeconds (0 = the driver's default). The session's engine() is the engine the driver
// reports (SQL_DBMS_NAME): "postgresql", "sqlite", "sqlserver", "oracle", else the name lower-cased.
// Failure: ComError with the driver's SQLSTATE and message (the first diagnostic record): -2147217843
// for a refused login (28xxx), E_FAIL for every other connection failure; 3706 when the driver the
// string needs is not installed.
std::unique_ptr<Session> openOdbcSession(const ConnectionString& cs, int connectTimeoutSeconds);

}  // namespace orvan::data
