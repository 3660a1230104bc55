// Which connection strings reach an engine through ODBC, and the ODBC connection string each becomes:
// MSDASQL and plain ODBC strings pass through, the classic OLE DB strings of the Transact-SQL and
// Oracle servers are rewritten for the FreeTDS and Oracle ODBC drivers. Pure text work; the driver
// manager is only asked (installedOdbcDrivers) which drivers exist.
#pragma once

#include <string>
#include <vector>

#include "data_access/providers/provider.h"

namespace orvan::data {

// The drivers a translation may name: what the driver manager has installed, and the names the
// configuration gives (the environment: ORVAN_ODBC_TDS_DRIVER, ORVAN_ODBC_ORACLE_DRIVER).
struct OdbcDriverSettings {
    std::vector<std::string> installed;  // driver names as odbcinst lists them
    std::string tdsDriver;               // empty: "FreeTDS"
    std::string oracleDriver;            // empty: the first installed driver with "Oracle" in its name
};

// An ODBC connection string ready for SQLDriverConnect.
struct OdbcConnectionText {
    std::string text;    // what the driver manager receives
    std::string masked;  // the same with the password written as ****, for display
    std::string route;   // "MSDASQL", "ODBC", "FreeTDS" or "Oracle": which rule produced it
};

// Whether the connection string goes through ODBC: Provider=MSDASQL, SQLOLEDB, SQLNCLI (any
// version), MSOLEDBSQL, MSDAORA or OraOLEDB.Oracle, or no Provider key and a DSN, FILEDSN or Driver
// key.
bool isOdbcConnection(const ConnectionString& cs);

// The ODBC connection string for cs (isOdbcConnection(cs) must hold):
// - MSDASQL and plain ODBC: every key as it stands (Data Source, User ID, Password and Initial
//   Catalog read as DSN, UID, PWD and DATABASE; Extended Properties merged in), Provider and the
//   OLE DB-only keys left out.
// - SQLOLEDB, SQLNCLI*, MSOLEDBSQL: DRIVER={tdsDriver};SERVER=host;PORT=port (from Data Source
//   "host,port"; "tcp:" dropped; "(local)" and "." are localhost); DATABASE from Initial Catalog;
//   UID and PWD from User ID and Password; Integrated Security=SSPI/true as Trusted_Connection=Yes;
//   TDS_Version as given, else 7.4.
// - MSDAORA, OraOLEDB.Oracle: DRIVER={oracleDriver};DBQ=Data Source;UID;PWD.
// Values holding ';', braces or edge blanks are written in braces. Failure: ComError 3706 with
// SQLSTATE IM002 naming the driver when the FreeTDS or Oracle driver is not installed, or when no
// Oracle driver is configured or installed.
OdbcConnectionText translateToOdbc(const ConnectionString& cs, const OdbcDriverSettings& drivers);

// The drivers the driver manager lists now and the configured names (see OdbcDriverSettings).
OdbcDriverSettings installedOdbcDrivers();

}  // namespace orvan::data
