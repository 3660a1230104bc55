// The one interface between the ADO-style objects and a database engine. Each engine lives in its own
// folder under providers/ and is the only code that includes its C API. A connection string picks the
// engine: "Provider=SQLite;Data Source=FILE" or
// "Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=..." (keys case-insensitive),
// or ODBC: "Provider=MSDASQL;DSN=..." / "Driver={...};..." and the classic OLE DB strings
// (odbc/odbc_connection_string.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "com_server/error.h"
#include "com_server/variant.h"

namespace orvan::data {

// ADO DataTypeEnum values a column may report.
namespace adtype {
inline constexpr int SmallInt = 2, Integer = 3, Double = 5, Date = 7, Boolean = 11, BigInt = 20,
                     Numeric = 131, DBTimeStamp = 135, VarWChar = 202, LongVarWChar = 203,
                     LongVarBinary = 205;
}

// A parsed connection string: keys lower-cased, values as written.
struct ConnectionString {
    std::string text;
    std::map<std::string, std::string> keys;
    std::string provider() const;  // the value of "provider", lower-cased
    std::string get(std::string_view key, std::string_view fallback = {}) const;
    // Error 3706 is not raised here; an unknown provider is the factory's to report.
    static ConnectionString parse(std::string_view text);
};

struct ColumnInfo {
    std::string name;
    int adoType = adtype::VarWChar;
    std::string baseTable;   // empty when the column is computed
    std::string baseColumn;
};

// The rows of one statement, read forward. Values: NULL -> Null; integers -> Integer (2-byte
// columns) or Long (wider, when they fit; else Double); floating and numeric -> Double; text ->
// String; date-time -> Date; boolean -> Boolean.
class ResultSet {
public:
    virtual ~ResultSet() = default;
    virtual const std::vector<ColumnInfo>& columns() const = 0;
    // Reads the next row into row (resized to the column count); false at the end.
    virtual bool next(std::vector<com::Variant>& row) = 0;
    // Rows touched by an INSERT, UPDATE or DELETE; -1 for a query.
    virtual std::int64_t rowsAffected() const = 0;
};

struct ProcedureParam {
    std::string name;
    int direction = 1;  // ADO: 1 input, 2 output, 3 input-output, 4 return value
    int adoType = adtype::Integer;
    com::Variant value;  // in: the value sent; out: filled by callProcedure
};

// Observer of every statement: the text the caller sent and the text the engine ran (they differ only
// by the lexical repair).
using StatementObserver = void (*)(void* context, std::string_view sent, std::string_view ran);

// One open session with an engine. Used by one thread at a time. Every failure throws com::ComError
// with the number of the engine's error table (provider errors are signed 32-bit HRESULT-style
// numbers), the server's own message as the description, and the SQLSTATE where there is one (both
// engines fill it; SQLite's result codes are mapped to the SQLSTATE of the same kind of failure).
class Session {
public:
    virtual ~Session() = default;

    // Runs one statement. params are positional, written "?" in sql (the provider rewrites them to its
    // own placeholder syntax outside quoted literals). timeoutSeconds 0 = no limit. A failure's
    // ComError carries sql as its statement.
    std::unique_ptr<ResultSet> execute(std::string_view sql, std::span<const com::Variant> params,
                                       int timeoutSeconds) {
        try {
            return executeStatement(sql, params, timeoutSeconds);
        } catch (com::ComError& e) {
            if (e.statement().empty()) e.withStatement(std::string(sql));
            throw;
        }
    }

    // Calls a stored procedure and fills its output parameters.
    virtual void callProcedure(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) = 0;

    // Primary-key column names of a base table, in key order (empty when the table has none).
    virtual std::vector<std::string> primaryKey(std::string_view table) = 0;

    // Whether the session still answers (a cheap round trip); used before a pooled session is reused.
    virtual bool alive() = 0;
    // Rolls back an open transaction, if any (before the session goes back to a pool).
    virtual void reset() = 0;
    // The engine behind the session, whichever provider reaches it: "sqlite", "postgresql", and
    // through ODBC also "sqlserver", "oracle" or the name the driver reports.
    virtual std::string_view engine() const = 0;

protected:
    // The engine's execute.
    virtual std::unique_ptr<ResultSet> executeStatement(std::string_view sql,
                                                        std::span<const com::Variant> params,
                                                        int timeoutSeconds) = 0;
};

// Opens a session for the connection string; connectTimeoutSeconds 0 = no limit.
// Unknown provider: error 3706 "Provider cannot be found. It may not be properly installed."
// (An ODBC string whose driver is not installed is also 3706, with a text naming the driver.)
std::unique_ptr<Session> openSession(const ConnectionString& cs, int connectTimeoutSeconds);

// The least lexical repair an engine needs to read statements the original servers accepted: a blank
// between a number and a keyword written directly against it ("123WHERE" -> "123 WHERE"), outside
// quoted literals and quoted identifiers. Nothing else changes.
std::string repairNumberKeywordJoins(std::string_view sql);

// Statement trace: every statement sent to any engine passes through notifyStatement.
void addStatementObserver(StatementObserver fn, void* context);
void removeStatementObserver(StatementObserver fn, void* context);
void notifyStatement(std::string_view sent, std::string_view ran);

}  // namespace orvan::data
