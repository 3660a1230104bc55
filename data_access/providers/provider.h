// The one interface between the ADO-style objects and a database engine. Each engine lives in its own
// folder under providers/ and is the only code that includes its C API. A connection string picks the
// engine: "Provider=SQLite;Data Source=FILE" or
// "Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=..." (keys case-insensitive),
// or ODBC: "Provider=MSDASQL;DSN=..." / "Driver={...};..." and the classic OLE DB strings
// (odbc/odbc_connection_string.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
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
//
// The engine-neutral part kept here serves every engine alike: the table descriptions and primary keys
// read once per session (dropped when the engine reports that a table changed), the time of the last
// statement that succeeded (the pool skips its probe for a session used moments ago), the one
// transparent replacement of a connection found dead by the first statement after a pool take, and the
// statement texts the engine refused as unreadable (a syntax error), answered again without a round
// trip while nothing could make the engine read them otherwise.
class Session {
public:
    virtual ~Session() = default;

    // Runs one statement. params are positional, written "?" in sql (the provider rewrites them to its
    // own placeholder syntax outside quoted literals). timeoutSeconds 0 = no limit. A failure's
    // ComError carries sql as its statement. A statement that fails with undefined table or column
    // (42P01, 42703), or one that creates, alters or drops, drops the cached table descriptions.
    std::unique_ptr<ResultSet> execute(std::string_view sql, std::span<const com::Variant> params,
                                       int timeoutSeconds);
    // The error execute would raise for sql without reaching the engine, because the engine refused
    // that very text earlier in a way that does not depend on anything else (traced as if sent);
    // nothing when execute would send it.
    std::optional<com::ComError> answeredRefusal(std::string_view sql);

    // Calls a stored procedure and fills its output parameters.
    void callProcedure(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds);

    // Primary-key column names of a base table, in key order (empty when the table has none), as the
    // engine reports them now (one catalogue look-up each call).
    std::vector<std::string> primaryKey(std::string_view table);

    // primaryKey(table), read once per session and kept until the table descriptions are dropped.
    const std::vector<std::string>& cachedPrimaryKey(std::string_view table);
    // The columns of table (a name as a statement writes it) as "SELECT * FROM table WHERE 1=0"
    // describes them, read once per session and kept until the table descriptions are dropped. The
    // probe goes through execute, traced and failing as any statement.
    const std::vector<ColumnInfo>& tableColumns(const std::string& table, int timeoutSeconds);
    // Drops the cached table descriptions and keys.
    void forgetTables() noexcept;

    // Whether the session still answers (a cheap round trip); used before a pooled session is reused.
    // An answer counts as a statement that succeeded (lastSuccess).
    bool alive();
    // Rolls back an open transaction, if any (before the session goes back to a pool).
    virtual void reset() = 0;
    // The engine behind the session, whichever provider reaches it: "sqlite", "postgresql", and
    // through ODBC also "sqlserver", "oracle" or the name the driver reports.
    virtual std::string_view engine() const = 0;

    // When the last statement on this session succeeded (the epoch when none has, or when the last
    // failure lost the connection).
    std::chrono::steady_clock::time_point lastSuccess() const noexcept { return lastSuccess_; }
    // Whether the connection shows, without a round trip, that it is gone (what the engine already
    // sent is read, nothing is waited for).
    virtual bool showsLoss() { return false; }
    // Set by a pool that hands the session out without probing it: if the next statement, procedure
    // call or key look-up that reaches the engine finds the connection lost, the connection is opened
    // anew (onReopen is called) and that work sent once more. Nothing was written on the session since
    // it was taken, so nothing is lost by it.
    void armReopen(std::function<void()> onReopen) {
        reopenArmed_ = true;
        onReopen_ = std::move(onReopen);
    }

protected:
    // The engine's execute, callProcedure, primaryKey and alive.
    virtual std::unique_ptr<ResultSet> executeStatement(std::string_view sql,
                                                        std::span<const com::Variant> params,
                                                        int timeoutSeconds) = 0;
    virtual void callProcedureStatement(std::string_view name, std::span<ProcedureParam> params,
                                        int timeoutSeconds) = 0;
    virtual std::vector<std::string> readPrimaryKey(std::string_view table) = 0;
    virtual bool probe() = 0;
    // Called by executeStatement when the engine refused sql (run as ran) with error before anything
    // ran, because it cannot read the text at all: whatever the data, the schema and the session's
    // state, it would refuse it the same way. execute then answers sql with that error (traced as if
    // sent) without reaching the engine, while refusalsReplayable() holds.
    void rememberRefusal(std::string_view sql, std::string_view ran, const com::ComError& error);
    // Whether a remembered refusal may be answered now without sending the statement: false where
    // sending it would change the session (on PostgreSQL, a failure inside a transaction ends it).
    virtual bool refusalsReplayable() { return true; }
    // Drops the remembered refusals (a reopened connection may reach another server).
    void forgetRefusals() noexcept;
    // Whether the connection to the engine is known to be gone (after a failure).
    virtual bool connectionLost() const { return false; }
    // Opens the connection anew with the same settings, dropping everything kept for the old one;
    // false when the engine cannot.
    virtual bool reopen() { return false; }
    // A number that changes whenever the database's schema changes (0 when the engine tells only by
    // failing statements); the cached descriptions are dropped when it moves.
    virtual std::int64_t schemaVersion() { return 0; }

private:
    void checkSchemaVersion();
    // Runs op (work that reaches the engine), opening the connection anew and running op once more
    // when the session was armed and op finds the connection lost.
    template <typename Op>
    auto reachingEngine(Op&& op) -> decltype(op());

    struct Refusal {
        std::string ran;
        com::ComError error;
    };
    static constexpr std::size_t kMaxRefusals = 32;
    std::map<std::string, Refusal, std::less<>> refusals_;  // by the text as sent

    struct CachedTable {
        bool columnsKnown = false, keyKnown = false;
        std::vector<ColumnInfo> columns;
        std::vector<std::string> key;
    };
    std::map<std::string, CachedTable, std::less<>> tables_;  // by the name as written, lower-cased
    std::int64_t schemaVersion_ = 0;
    std::chrono::steady_clock::time_point lastSuccess_{};
    bool reopenArmed_ = false;
    std::function<void()> onReopen_;
};

// Marks the statements reported on this thread while it lives as the data layer's own (key and column
// look-ups, probes, procedure bodies, savepoints, transaction and session statements): the trace shows
// them with a leading "-- internal " tag. Scopes nest.
class InternalStatements {
public:
    InternalStatements() noexcept;
    ~InternalStatements();
    InternalStatements(const InternalStatements&) = delete;
    InternalStatements& operator=(const InternalStatements&) = delete;
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
// Inside an InternalStatements scope both texts reach the observers as "-- internal " + ran.
void notifyStatement(std::string_view sent, std::string_view ran);
// One of the data layer's own statements, reported as "-- internal " + text.
void notifyInternalStatement(std::string_view text);
// Whether a traced text is one of the data layer's own statements.
bool isInternalStatement(std::string_view traced) noexcept;
// Whether any observer listens (lets a provider skip building a text nobody reads).
bool statementsObserved() noexcept;

}  // namespace orvan::data
