// SQLite through its C API. Declared column types decide the ADO types; dates are stored as the text
// 'YYYY-MM-DD HH:MM:SS'; stored procedures are bodies kept in the table sys_procedures. A command
// timeout bounds both the engine's work (a progress handler interrupts it) and the wait for another
// connection's lock (the busy handler gives up).
#include "data_access/providers/sqlite/sqlite_provider.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com_server/conversions.h"
#include "com_server/error.h"
#include "data_access/providers/provider_common.h"

namespace orvan::data {

namespace {

using com::ComError;
using com::Variant;
using com::VarType;
namespace hr = detail::hr;
using Clock = std::chrono::steady_clock;

struct DbCloser {
    // close_v2 defers the close until the last statement is finalized, so the order in which a
    // session and its result sets go does not matter.
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// ---- errors -----------------------------------------------------------------------------------------

// SQLite's primary result codes to provider numbers.
std::int32_t numberFor(int rc, std::string_view message) {
    switch (rc & 0xff) {
        // "no such table: x" is a missing table; a syntax error, "no such column" and every other
        // statement the engine rejects is an error in the command.
        case SQLITE_ERROR:
            return message.starts_with("no such table") ? hr::NoTable : hr::ErrorsInCommand;
        // A parameter index out of range; the schema changed under a prepared statement.
        case SQLITE_RANGE:
        case SQLITE_SCHEMA:
            return hr::ErrorsInCommand;
        // PRIMARY KEY, UNIQUE, NOT NULL, CHECK.
        case SQLITE_CONSTRAINT:
            return hr::IntegrityViolation;
        // A string or blob longer than the engine's limit.
        case SQLITE_TOOBIG:
            return hr::DataOverflow;
        // "datatype mismatch": a value an INTEGER PRIMARY KEY cannot hold.
        case SQLITE_MISMATCH:
            return hr::CantConvertValue;
        // The progress handler stopped the statement at its timeout, or the busy handler gave up
        // waiting for another connection's lock.
        case SQLITE_INTERRUPT:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return hr::AbortLimitReached;
        // An authorizer refused the statement, or the file is read-only.
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_READONLY:
            return hr::PermissionDenied;
        // CANTOPEN, NOTADB, IOERR, CORRUPT, FULL, NOMEM: the file or the machine, not the statement.
        default:
            return hr::Fail;
    }
}

// SQLite's extended result codes to the SQLSTATE of the same kind of failure (PostgreSQL's codes), so
// that callers decide on one set of categories whichever engine raised the error.
const char* sqlStateFor(int extended, std::string_view message) {
    switch (extended) {
        case SQLITE_CONSTRAINT_PRIMARYKEY:
        case SQLITE_CONSTRAINT_UNIQUE:
            return "23505";  // unique_violation
        case SQLITE_CONSTRAINT_NOTNULL:
            return "23502";  // not_null_violation
        case SQLITE_CONSTRAINT_FOREIGNKEY:
            return "23503";  // foreign_key_violation
        case SQLITE_CONSTRAINT_CHECK:
            return "23514";  // check_violation
        default:
            break;
    }
    switch (extended & 0xff) {
        case SQLITE_CONSTRAINT:
            return "23000";  // integrity_constraint_violation
        // The engine's message is the only place that tells these apart; the probe for a missing table
        // and the report of a misspelt column depend on it.
        case SQLITE_ERROR:
            if (message.starts_with("no such table")) return "42P01";   // undefined_table
            if (message.starts_with("no such column")) return "42703";  // undefined_column
            if (message.starts_with("no such function")) return "42883";  // undefined_function
            if (message.find("syntax error") != std::string_view::npos) return "42601";  // syntax_error
            return "42000";  // syntax_error_or_access_rule_violation
        case SQLITE_RANGE:
        case SQLITE_SCHEMA:
            return "42000";
        case SQLITE_TOOBIG:
            return "22001";  // string_data_right_truncation
        // A value an INTEGER PRIMARY KEY cannot hold: PostgreSQL's invalid_text_representation.
        case SQLITE_MISMATCH:
            return "22P02";
        case SQLITE_INTERRUPT:
            return "57014";  // query_canceled
        // Another connection holds the lock: retrying the transaction may succeed.
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "40001";  // serialization_failure
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return "42501";  // insufficient_privilege
        case SQLITE_READONLY:
            return "25006";  // read_only_sql_transaction
        case SQLITE_CANTOPEN:
        case SQLITE_NOTADB:
            return "08001";  // sqlclient_unable_to_establish_sqlconnection
        case SQLITE_FULL:
            return "53100";  // disk_full
        case SQLITE_NOMEM:
            return "53200";  // out_of_memory
        case SQLITE_IOERR:
            return "58030";  // io_error
        case SQLITE_CORRUPT:
            return "XX001";  // data_corrupted
        default:
            return "HY000";  // general error
    }
}

// ---- the connection shared by a session and its result sets ------------------------------------

struct Connection {
    // Prepared statements kept for reuse, by their text. One a result set is reading stays listed
    // without its statement until the result set lets it go. Declared after db, so that they are
    // finalized before it closes.
    static constexpr std::size_t kMaxCached = 64;
    struct Cached {
        StmtPtr stmt;  // null while a result set reads it
        std::uint64_t lastUse = 0;
        // The columns as last described, kept when no column's type depends on the row read; valid
        // while the engine has not prepared the statement anew (a schema change) since.
        std::shared_ptr<const std::vector<ColumnInfo>> columns;
        int prepared = 0;  // SQLITE_STMTSTATUS_REPREPARE when columns was described
    };

    DbPtr db;
    detail::TextMap<Cached> cache;
    // Hashes of texts given back lately while the cache was full, one per slot (a later text may take
    // a slot over): a text found here a second time is kept.
    std::array<std::size_t, 256> metBefore{};
    std::uint64_t useClock = 0;
    // Whether this connection changed sys_procedures since the procedure bodies were read.
    bool proceduresChanged = false;
    // Transactions this connection committed (its commit hook counts them).
    std::uint32_t commits = 0;
    bool limited = false;
    bool timedOut = false;
    Clock::time_point deadline;
    // When this connection last had to wait for another connection's lock (the epoch: never).
    Clock::time_point lastWait{};

    // Starts the clock of one operation; 0 seconds = no limit.
    void arm(int timeoutSeconds) {
        limited = timeoutSeconds > 0;
        timedOut = false;
        if (limited) deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
        if (limited)
            sqlite3_progress_handler(db.get(), 1000, &Connection::onProgress, this);
        else
            sqlite3_progress_handler(db.get(), 0, nullptr, nullptr);
    }

    bool expired() {
        if (limited && Clock::now() >= deadline) timedOut = true;
        return timedOut;
    }

    static int onProgress(void* self) noexcept { return static_cast<Connection*>(self)->expired() ? 1 : 0; }

    static int onBusy(void* self, int attempt) noexcept {
        auto* c = static_cast<Connection*>(self);
        c->lastWait = Clock::now();
        if (c->expired()) return 0;
        // Short pauses first: another connection's write usually ends within a fraction of a
        // millisecond, and a writer that sleeps a whole millisecond each time leaves the lock idle.
        Clock::duration pause = std::min<Clock::duration>(std::chrono::microseconds(50 << std::min(attempt, 9)),
                                                          std::chrono::milliseconds(25));
        if (c->limited) pause = std::min(pause, c->deadline - Clock::now());
        std::this_thread::sleep_for(pause);
        return 1;
    }

    [[noreturn]] void fail(int rc) const {
        std::string message = sqlite3_errmsg(db.get());
        if (timedOut && (rc & 0xff) == SQLITE_INTERRUPT) message = detail::kTimeoutText;
        if (timedOut && ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED))
            message = std::string(detail::kTimeoutText) + " (" + message + ")";
        // rc may be the primary code of the extended one the connection records.
        const int extended = (sqlite3_extended_errcode(db.get()) & 0xff) == (rc & 0xff)
                                 ? sqlite3_extended_errcode(db.get())
                                 : rc;
        throw ComError(numberFor(rc, message), message).withSqlState(sqlStateFor(extended, message));
    }

    // Runs one of the session's own statements; the engine's result code.
    int run(const char* sql) {
        notifyInternalStatement(sql);
        return sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr);
    }

    void exec(const char* sql) {
        if (const int rc = run(sql); rc != SQLITE_OK) fail(rc);
    }

    // Puts the file in write-ahead-log mode (a file already in it stays so). Turning a file to it takes
    // an exclusive lock that the engine does not wait for through the busy handler: while another
    // connection reads the file (one opening the same new file at the same moment, say), the switch
    // is tried again after the busy handler's pauses, until the operation's time runs out.
    void useWriteAheadLog() {
        for (int attempt = 0;; ++attempt) {
            const int rc = run("PRAGMA journal_mode=WAL");
            if (rc == SQLITE_OK) return;
            if ((rc & 0xff) != SQLITE_BUSY || !onBusy(this, attempt)) fail(rc);
        }
    }

    // A prepared statement for the whole of text (one statement), from the cache when it holds one,
    // ready to bind (reset, no values bound). Give it back with giveBack once done with it.
    StmtPtr take(const detail::HashedText& text) {
        if (auto it = cache.find(text); it != cache.end() && it->second.stmt) return std::move(it->second.stmt);
        return prepare(text.text);
    }

    // Returns a statement taken with take (or prepared for the whole of text) to the cache, reset and
    // cleared. Once the cache is full, a text enters it only when it was met before (lately): texts
    // that hold a literal which changes each time are finalized at once instead of pushing out the
    // statements used again and again.
    void giveBack(const detail::HashedText& text, StmtPtr stmt,
                  std::shared_ptr<const std::vector<ColumnInfo>> columns = {}, int prepared = 0) noexcept {
        if (!stmt) return;
        sqlite3_reset(stmt.get());
        sqlite3_clear_bindings(stmt.get());
        try {
            auto it = cache.find(text);
            if (it == cache.end()) {
                if (cache.size() >= kMaxCached) {
                    std::size_t& seen = metBefore[text.hash % metBefore.size()];
                    if (seen != text.hash) {
                        seen = text.hash;
                        return;  // finalized
                    }
                    makeRoom();
                }
                it = cache.try_emplace(std::string(text.text)).first;
            } else if (it->second.stmt) {
                return;  // another copy is there already; this one is finalized
            }
            it->second = Cached{std::move(stmt), ++useClock, std::move(columns), prepared};
        } catch (...) {
            // Out of memory while keeping it: the statement is finalized, and prepared again next time.
        }
    }

    // Finalizes the statement used longest ago.
    void makeRoom() noexcept {
        auto oldest = cache.begin();
        for (auto i = cache.begin(); i != cache.end(); ++i)
            if (i->second.lastUse < oldest->second.lastUse) oldest = i;
        if (oldest != cache.end()) cache.erase(oldest);
    }

    // The single integer a cached one-row statement (a PRAGMA) returns, traced as the data layer's own.
    std::int64_t pragmaValue(std::string_view text) {
        notifyInternalStatement(text);
        const detail::HashedText key(text);
        StmtPtr stmt = take(key);
        const int rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_ROW) fail(rc);
        const std::int64_t value = sqlite3_column_int64(stmt.get(), 0);
        giveBack(key, std::move(stmt));
        return value;
    }

    static int onCommit(void* self) noexcept {
        ++static_cast<Connection*>(self)->commits;
        return 0;
    }

    // A number that moves each time a transaction of this connection, at its start, finds the
    // database changed by another connection, and only then. The pager's data version moves on
    // those and on each commit of this connection's own; the own commits are taken off. What it
    // tells is as of this connection's last transaction: a change committed elsewhere after that is
    // seen by the next one.
    std::uint32_t othersEpoch() const noexcept {
        unsigned int version = 0;
        sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_DATA_VERSION, &version);
        return static_cast<std::uint32_t>(version) - commits;
    }

    static void onUpdate(void* self, int, const char*, const char* table, sqlite3_int64) noexcept {
        if (detail::equalsNoCase(table, "sys_procedures")) static_cast<Connection*>(self)->proceduresChanged = true;
    }

    // Prepares the first statement of text; rest receives what follows it.
    StmtPtr prepare(std::string_view text, std::string_view* rest = nullptr) {
        if (text.size() > static_cast<std::size_t>(INT_MAX))
            throw ComError(hr::ErrorsInCommand, "statement too long");
        // The engine reads a statement only up to a NUL character; what follows would be dropped
        // unseen. (A NUL inside a text parameter is kept: parameters are bound with their length.)
        if (text.find('\0') != std::string_view::npos)
            throw ComError(hr::ErrorsInCommand, "the statement text contains a NUL character");
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db.get(), text.data(), static_cast<int>(text.size()), &raw, &tail);
        StmtPtr stmt(raw);
        if (rc != SQLITE_OK) fail(rc);
        if (rest) *rest = text.substr(static_cast<std::size_t>(tail - text.data()));
        return stmt;
    }
};

// ---- values -----------------------------------------------------------------------------------------

// The ADO type of a declared column type, by the words SQLite's own affinity rules look for.
int adoTypeForDecl(std::string_view decl) {
    const std::string d = detail::lowerAscii(decl);
    auto has = [&](std::string_view word) { return d.find(word) != std::string::npos; };
    if (has("bool") || d == "bit") return adtype::Boolean;
    if (has("smallint") || has("tinyint")) return adtype::SmallInt;
    if (has("bigint")) return adtype::BigInt;
    if (has("int")) return adtype::Integer;
    if (has("char") || has("text") || has("clob")) return adtype::VarWChar;
    if (has("blob")) return adtype::LongVarBinary;
    if (has("real") || has("floa") || has("doub")) return adtype::Double;
    if (has("numeric") || has("decimal") || has("money")) return adtype::Numeric;
    if (has("date") || has("time")) return adtype::DBTimeStamp;
    return adtype::VarWChar;
}

// The ADO type of a computed column, from the storage class of its first value.
int adoTypeForStorage(int storage) {
    switch (storage) {
        case SQLITE_INTEGER:
            return adtype::Integer;
        case SQLITE_FLOAT:
            return adtype::Double;
        case SQLITE_BLOB:
            return adtype::LongVarBinary;
        default:
            return adtype::VarWChar;
    }
}

Variant wholeNumber(sqlite3_int64 v) {
    if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<std::int32_t>(v));
    return Variant(static_cast<double>(v));
}

std::string columnText(sqlite3_stmt* s, int i) {
    const auto* p = sqlite3_column_text(s, i);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
             : std::string();
}

// A value as its storage class holds it; blobs come back as their bytes in a String.
Variant byStorage(sqlite3_stmt* s, int i) {
    switch (sqlite3_column_type(s, i)) {
        case SQLITE_NULL:
            return Variant::null();
        case SQLITE_INTEGER:
            return wholeNumber(sqlite3_column_int64(s, i));
        case SQLITE_FLOAT:
            return Variant(sqlite3_column_double(s, i));
        case SQLITE_BLOB: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
            return Variant(std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s, i))));
        }
        default:
            return Variant(columnText(s, i));
    }
}

// A value read as its column's ADO type says. SQLite stores what it was given whatever the declared
// type, so a value that does not fit the type (text in a numeric column) comes back as stored.
Variant readValue(sqlite3_stmt* s, int i, int adoType) {
    const int storage = sqlite3_column_type(s, i);
    if (storage == SQLITE_NULL) return Variant::null();
    switch (adoType) {
        case adtype::SmallInt:
            if (storage == SQLITE_INTEGER) {
                const sqlite3_int64 v = sqlite3_column_int64(s, i);
                if (v >= INT16_MIN && v <= INT16_MAX) return Variant(static_cast<std::int16_t>(v));
            }
            break;
        case adtype::Double:
        case adtype::Numeric:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return Variant(sqlite3_column_double(s, i));
            break;
        case adtype::Boolean:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return Variant(sqlite3_column_double(s, i) != 0);
            break;
        case adtype::DBTimeStamp:
            if (storage == SQLITE_TEXT) {
                std::string text = columnText(s, i);
                if (auto serial = detail::parseDateTime(text)) return Variant::date(*serial);
                return Variant(std::move(text));
            }
            break;
        default:
            break;
    }
    return byStorage(s, i);
}

void bindValue(sqlite3_stmt* s, int index, const Variant& v, Connection& c) {
    int rc = SQLITE_OK;
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
        case VarType::Missing:
            rc = sqlite3_bind_null(s, index);
            break;
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            rc = sqlite3_bind_int64(s, index, v.rawInt());
            break;
        case VarType::Boolean:
            rc = sqlite3_bind_int(s, index, v.rawBool() ? 1 : 0);
            break;
        case VarType::Double:
        case VarType::Single:
            rc = sqlite3_bind_double(s, index, v.rawDouble());
            break;
        case VarType::Currency:
            rc = sqlite3_bind_double(s, index, com::currencyValue(v));
            break;
        case VarType::Date: {
            std::string text = detail::formatDateTime(v.rawDate());
            if (text.empty()) throw ComError(hr::CantConvertValue, "date value out of range");
            rc = sqlite3_bind_text(s, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
            break;
        }
        case VarType::String: {
            const std::string& text = v.rawString();
            if (text.size() > static_cast<std::size_t>(INT_MAX))
                throw ComError(hr::DataOverflow, "parameter value too long");
            rc = sqlite3_bind_text(s, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
            break;
        }
        case VarType::Object:
        case VarType::Array:
            throw ComError::basic(com::err::TypeMismatch);
    }
    if (rc != SQLITE_OK) c.fail(rc);
}

// Whether what follows a statement is only blanks, semicolons and comments.
bool nothingMore(std::string_view rest) {
    std::size_t i = 0;
    while (i < rest.size()) {
        const char ch = rest[i];
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == ';') {
            ++i;
        } else if (rest.substr(i, 2) == "--" || rest.substr(i, 2) == "/*") {
            i = detail::skipNonCode(rest, i, true);
        } else {
            return false;
        }
    }
    return true;
}

// The columns of s; typed, when declared is given, receives whether every column has a declared type
// (else the type of one without follows the value of the row read).
std::vector<ColumnInfo> describeColumns(sqlite3_stmt* s, bool haveRow, bool* declared = nullptr) {
    const int count = sqlite3_column_count(s);
    std::vector<ColumnInfo> columns(static_cast<std::size_t>(count));
    if (declared) *declared = true;
    for (int i = 0; i < count; ++i) {
        ColumnInfo& col = columns[static_cast<std::size_t>(i)];
        col.name = sqlite3_column_name(s, i);
        const char* decl = sqlite3_column_decltype(s, i);
        if (decl)
            col.adoType = adoTypeForDecl(decl);
        else if (declared)
            *declared = false;
        if (!decl && haveRow)
            col.adoType = adoTypeForStorage(sqlite3_column_type(s, i));
        if (const char* table = sqlite3_column_table_name(s, i)) col.baseTable = table;
        if (const char* origin = sqlite3_column_origin_name(s, i)) col.baseColumn = origin;
    }
    return columns;
}

void readRow(sqlite3_stmt* s, const std::vector<ColumnInfo>& columns, std::vector<Variant>& row) {
    row.resize(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i)
        row[i] = readValue(s, static_cast<int>(i), columns[i].adoType);
}

// ---- result sets --------------------------------------------------------------------------------

class SqliteResultSet final : public ResultSet {
public:
    // stmt has been stepped once: firstRow says whether that step produced a row.
    // cacheKey: the text under which the statement goes back to the connection's cache once read
    // (empty: finalized instead). described: its columns as kept with it in the cache, if any, and the
    // engine's count of its automatic re-preparations then.
    SqliteResultSet(std::shared_ptr<Connection> conn, StmtPtr stmt, std::string cacheKey, std::size_t cacheHash,
                    bool firstRow, int timeoutSeconds, std::int64_t rowsAffected,
                    std::shared_ptr<const std::vector<ColumnInfo>> described = {}, int prepared = 0)
        : conn_(std::move(conn)),
          stmt_(std::move(stmt)),
          cacheKey_(std::move(cacheKey)),
          cacheHash_(cacheHash),
          pending_(firstRow),
          timeoutSeconds_(timeoutSeconds),
          rowsAffected_(rowsAffected) {
        prepared_ = stmt_ ? sqlite3_stmt_status(stmt_.get(), SQLITE_STMTSTATUS_REPREPARE, 0) : 0;
        if (described && prepared == prepared_) {
            columns_ = std::move(described);
            keep_ = columns_;
        } else {
            bool declared = false;
            auto columns = std::make_shared<const std::vector<ColumnInfo>>(
                describeColumns(stmt_.get(), firstRow, &declared));
            columns_ = columns;
            if (declared) keep_ = std::move(columns);
        }
        // A statement with nothing more to give lets its read transaction go at once.
        if (!firstRow) done();
    }
    ~SqliteResultSet() override { done(); }
    SqliteResultSet(const SqliteResultSet&) = delete;
    SqliteResultSet& operator=(const SqliteResultSet&) = delete;

    const std::vector<ColumnInfo>& columns() const override { return *columns_; }

    bool next(std::vector<Variant>& row) override {
        if (!stmt_) return false;
        if (!pending_) {
            // Each step gets the whole timeout: it bounds the engine's work, not the caller's pace.
            conn_->arm(timeoutSeconds_);
            const int rc = sqlite3_step(stmt_.get());
            if (rc == SQLITE_DONE) {
                done();
                return false;
            }
            if (rc != SQLITE_ROW) conn_->fail(rc);
        }
        pending_ = false;
        readRow(stmt_.get(), *columns_, row);
        return true;
    }

    std::int64_t rowsAffected() const override { return rowsAffected_; }

private:
    // Lets the statement go: back to the cache (reset, which ends its read), or finalized.
    void done() noexcept {
        if (!stmt_) return;
        if (cacheKey_.empty()) stmt_.reset();
        else conn_->giveBack({cacheKey_, cacheHash_}, std::move(stmt_), keep_, prepared_);
    }

    std::shared_ptr<Connection> conn_;  // declared first, so that the statement is finalized before
    StmtPtr stmt_;
    std::string cacheKey_;
    std::size_t cacheHash_;
    std::shared_ptr<const std::vector<ColumnInfo>> columns_;
    std::shared_ptr<const std::vector<ColumnInfo>> keep_;  // what goes back to the cache with the statement
    int prepared_ = 0;
    bool pending_;
    int timeoutSeconds_;
    std::int64_t rowsAffected_;
};

// ---- the session ------------------------------------------------------------------------------------

// Strips the :, @ or $ that marks a named parameter.
std::string_view parameterName(const char* marker) {
    std::string_view name(marker);
    if (!name.empty() && (name[0] == ':' || name[0] == '@' || name[0] == '$')) name.remove_prefix(1);
    return name;
}

class SqliteSession final : public Session {
public:
    explicit SqliteSession(std::shared_ptr<Connection> conn) : conn_(std::move(conn)) {}

    std::unique_ptr<ResultSet> executeStatement(std::string_view sql, std::span<const Variant> params,
                                                int timeoutSeconds) override {
        const Ran& repaired = texts_.get(sql, [](std::string_view text) {
            std::string ran = repairNumberKeywordJoins(text);
            const std::size_t hash = detail::TextHash{}(ran);
            return Ran{std::move(ran), hash};
        });
        const std::string& ran = repaired.text;
        const detail::HashedText key(ran, repaired.hash);
        notifyStatement(sql, ran);
        conn_->arm(timeoutSeconds);
        StmtPtr stmt;
        std::shared_ptr<const std::vector<ColumnInfo>> described;
        int prepared = 0;
        if (auto it = conn_->cache.find(key); it != conn_->cache.end() && it->second.stmt) {
            stmt = std::move(it->second.stmt);
            described = std::move(it->second.columns);
            prepared = it->second.prepared;
        } else {
            std::string_view rest;
            try {
                stmt = conn_->prepare(ran, &rest);
            } catch (const ComError& e) {
                // The parser needs nothing but the text to find a syntax error: the same text is
                // refused the same way whatever the schema or the data.
                if (e.sqlState() == "42601") rememberRefusal(sql, ran, e);
                throw;
            }
            if (!stmt) return std::make_unique<SqliteResultSet>(conn_, nullptr, std::string(), 0, false, timeoutSeconds, 0);
            if (!nothingMore(rest))
                throw ComError(hr::ErrorsInCommand, "cannot run more than one statement in one command");
        }

        const int markers = sqlite3_bind_parameter_count(stmt.get());
        if (params.size() < static_cast<std::size_t>(markers))
            throw ComError(hr::ParamNotOptional, detail::kMissingParamsText);
        if (params.size() > static_cast<std::size_t>(markers))
            throw ComError(hr::ErrorsInCommand, std::to_string(params.size()) + " parameter values for " +
                                                    std::to_string(markers) + " parameter markers");
        for (int i = 0; i < markers; ++i)
            bindValue(stmt.get(), i + 1, params[static_cast<std::size_t>(i)], *conn_);

        sqlite3* db = conn_->db.get();
        const sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
        const int rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) conn_->fail(rc);
        std::int64_t affected = -1;
        if (sqlite3_column_count(stmt.get()) == 0) {
            // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE; a statement of
            // another kind (CREATE, BEGIN) leaves the total alone and touched no rows.
            affected = sqlite3_total_changes64(db) != changesBefore ? sqlite3_changes64(db) : 0;
        }
        return std::make_unique<SqliteResultSet>(conn_, std::move(stmt), ran, key.hash, rc == SQLITE_ROW,
                                                 timeoutSeconds, affected, std::move(described), prepared);
    }

    void callProcedureStatement(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) override {
        conn_->arm(timeoutSeconds);
        sqlite3* db = conn_->db.get();
        // Outside a transaction, a body of several statements that writes runs, together with the
        // look-up that checks it, in one transaction that takes the write lock at its start: a read
        // followed by a write would otherwise hold a read lock to upgrade while other connections
        // write, and fail at once where the busy handler can wait at the start instead. A writing body
        // of one statement takes its locks itself; it joins the look-up in such a transaction only
        // while other connections keep this one waiting (one transaction instead of two then pays;
        // alone, the statement journal the explicit transaction adds costs more than it saves).
        const bool immediate = sqlite3_get_autocommit(db) && knownToWrite(name, Clock::now() - conn_->lastWait < kContended);
        if (immediate) conn_->exec("BEGIN IMMEDIATE");
        Outcome outcome;
        try {
            outcome = runProcedure(name, params);
            if (immediate) conn_->exec("COMMIT");
        } catch (const ComError&) {
            if (immediate && !sqlite3_get_autocommit(db)) {
                conn_->arm(0);
                notifyInternalStatement("ROLLBACK");
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            }
            throw;
        }

        for (ProcedureParam& p : params) {
            if (p.direction == 1) continue;
            auto it = std::find_if(outcome.names.begin(), outcome.names.end(),
                                   [&](const std::string& n) { return detail::equalsNoCase(n, p.name); });
            std::size_t index = static_cast<std::size_t>(it - outcome.names.begin());
            if (it == outcome.names.end()) {
                if (p.direction != 4 || outcome.names.empty())
                    throw ComError(hr::ErrorsInCommand,
                                   "procedure " + std::string(name) + " returned no column named " + p.name);
                index = 0;  // a return value without a column of its name: the first column
            }
            p.value = outcome.row.empty() ? Variant::null() : outcome.row[index];
        }
    }

    std::vector<std::string> readPrimaryKey(std::string_view table) override {
        conn_->arm(0);
        static constexpr std::string_view kQuery = "SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk";
        notifyInternalStatement(kQuery);
        StmtPtr stmt = conn_->take(detail::HashedText(kQuery));
        bindValue(stmt.get(), 1, Variant(table), *conn_);
        std::vector<std::string> key;
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) key.push_back(columnText(stmt.get(), 0));
        if (rc != SQLITE_DONE) conn_->fail(rc);
        conn_->giveBack(detail::HashedText(kQuery), std::move(stmt));
        return key;
    }

    // Reads the schema version: a read of the database file, so that a session taken back from a pool
    // after a while also learns what other connections changed meanwhile.
    bool probe() override {
        conn_->arm(0);
        noteSchemaVersion();
        return true;
    }

    void reset() override {
        conn_->arm(0);
        if (!sqlite3_get_autocommit(conn_->db.get())) conn_->exec("ROLLBACK");
    }

    std::string_view engine() const override { return "sqlite"; }

protected:
    // The schema version as last read; read again only once this connection has seen another one
    // change the database (its own schema changes drop the descriptions by themselves).
    std::int64_t schemaVersion() override {
        if (!schemaRead_ || conn_->othersEpoch() != schemaEpoch_) {
            conn_->arm(0);
            noteSchemaVersion();
        }
        return schemaVersion_;
    }

private:
    void noteSchemaVersion() {
        schemaVersion_ = conn_->pragmaValue("PRAGMA schema_version");
        // Taken after the read: its transaction may be the one that saw others' changes.
        schemaEpoch_ = conn_->othersEpoch();
        schemaRead_ = true;
    }

    // A procedure's body as read from sys_procedures, split into its statements.
    struct Procedure {
        std::string body;                     // as read
        std::string ran;                      // the body after the lexical repair
        std::vector<std::string> statements;  // its statements, each the text its cache entry is kept under
        bool writes = false;                  // whether one of them may write
        bool changesSchema = false;           // whether one of them creates, alters or drops
        std::uint32_t checked = 0;            // othersEpoch when the body was last read or checked
    };
    struct Outcome {
        std::vector<std::string> names;  // columns of the last statement that returns rows
        std::vector<Variant> row;        // its first row; empty when it returned none
    };

    // The named procedure, read and prepared once per session. The bodies read are dropped when this
    // connection changed sys_procedures. One kept is used again as it is while this connection has
    // seen no change made by another; after one, a look-up by name tells whether sys_procedures still
    // holds it (another connection, in this process or another, may have changed it).
    const Procedure& procedureFor(std::string_view name) {
        if (conn_->proceduresChanged) {
            procedures_.clear();
            conn_->proceduresChanged = false;
        }
        const std::string key = detail::lowerAscii(name);
        if (auto it = procedures_.find(key); it != procedures_.end()) {
            if (it->second.checked == conn_->othersEpoch()) return it->second;
            if (stillHolds(name, it->second.body)) {
                it->second.checked = conn_->othersEpoch();
                return it->second;
            }
            procedures_.erase(it);
        }
        Procedure procedure;
        procedure.body = procedureBody(name);
        procedure.checked = conn_->othersEpoch();
        procedure.ran = repairNumberKeywordJoins(procedure.body);
        std::string_view rest = procedure.ran;
        while (!rest.empty()) {
            const std::size_t before = rest.size();
            const std::string_view start = rest;
            StmtPtr stmt = conn_->prepare(rest, &rest);
            if (!stmt) {
                if (rest.size() == before) break;
                continue;  // blanks or a comment, which prepare consumed
            }
            std::string text(start.substr(0, before - rest.size()));
            if (!sqlite3_stmt_readonly(stmt.get())) procedure.writes = true;
            if (detail::changesSchema(start)) procedure.changesSchema = true;
            conn_->giveBack(detail::HashedText(text), std::move(stmt));
            procedure.statements.push_back(std::move(text));
        }
        return procedures_.emplace(key, std::move(procedure)).first->second;
    }

    // Reads (or checks) the named procedure and runs its body.
    Outcome runProcedure(std::string_view name, std::span<ProcedureParam> params) {
        const Procedure& procedure = procedureFor(name);
        notifyStatement(name, procedure.ran);

        Outcome outcome;
        if (procedure.statements.size() <= 1) {
            // One statement is atomic by itself: no savepoint is needed around it.
            outcome = runBody(name, procedure, params);
        } else {
            // A body of several statements runs as one unit, as a PostgreSQL function does: a failing
            // statement undoes the ones before it.
            conn_->exec("SAVEPOINT orvan_procedure");
            try {
                outcome = runBody(name, procedure, params);
            } catch (const ComError&) {
                conn_->arm(0);
                // An interrupt inside an explicit transaction may already have rolled everything back,
                // savepoint included; then there is nothing left to undo and the original error is the
                // one to report.
                notifyInternalStatement("ROLLBACK TO orvan_procedure; RELEASE orvan_procedure");
                sqlite3_exec(conn_->db.get(), "ROLLBACK TO orvan_procedure; RELEASE orvan_procedure", nullptr,
                             nullptr, nullptr);
                throw;
            }
            conn_->exec("RELEASE orvan_procedure");
        }
        // A body that creates, alters or drops changes tables this session may have described.
        if (procedure.changesSchema) forgetTables();
        return outcome;
    }

    // Whether the named procedure, as last read, has a statement that writes and, unless evenAlone,
    // others beside it.
    bool knownToWrite(std::string_view name, bool evenAlone) const {
        auto it = procedures_.find(detail::lowerAscii(name));
        return it != procedures_.end() && it->second.writes && (evenAlone || it->second.statements.size() > 1);
    }

    // How long after a wait for another connection's lock this one counts as contended.
    static constexpr std::chrono::seconds kContended{1};

    // Whether the row procedureBody would read for name holds body still (false also when the look-up
    // fails: procedureBody then reads afresh and reports what is wrong).
    bool stillHolds(std::string_view name, const std::string& body) {
        static constexpr std::string_view kQuery =
            "SELECT body = ?2 COLLATE BINARY FROM sys_procedures WHERE name = ?1 COLLATE NOCASE";
        notifyInternalStatement(kQuery);
        try {
            StmtPtr stmt = conn_->take(detail::HashedText(kQuery));
            bindValue(stmt.get(), 1, Variant(name), *conn_);
            const int bound =
                sqlite3_bind_text(stmt.get(), 2, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
            if (bound != SQLITE_OK) return false;
            const int rc = sqlite3_step(stmt.get());
            const bool same = rc == SQLITE_ROW && sqlite3_column_int(stmt.get(), 0) == 1;
            conn_->giveBack(detail::HashedText(kQuery), std::move(stmt));
            return same;
        } catch (const ComError&) {
            return false;
        }
    }

    std::string procedureBody(std::string_view name) {
        const std::string missing = "no such procedure: " + std::string(name);
        static constexpr std::string_view kQuery = "SELECT body FROM sys_procedures WHERE name = ?1 COLLATE NOCASE";
        notifyInternalStatement(kQuery);
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(conn_->db.get(), kQuery.data(), static_cast<int>(kQuery.size()), &raw, nullptr);
        StmtPtr stmt(raw);
        // A database without sys_procedures simply has no procedures.
        if (rc != SQLITE_OK) {
            if (std::string_view(sqlite3_errmsg(conn_->db.get())).starts_with("no such table"))
                throw ComError(hr::ErrorsInCommand, missing);
            conn_->fail(rc);
        }
        bindValue(stmt.get(), 1, Variant(name), *conn_);
        rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_DONE) throw ComError(hr::ErrorsInCommand, missing);
        // Dropped by another connection since this one last read the schema: found at the step.
        if (rc != SQLITE_ROW && std::string_view(sqlite3_errmsg(conn_->db.get())).starts_with("no such table"))
            throw ComError(hr::ErrorsInCommand, missing);
        if (rc != SQLITE_ROW) conn_->fail(rc);
        return columnText(stmt.get(), 0);
    }

    Outcome runBody(std::string_view name, const Procedure& procedure, std::span<ProcedureParam> params) {
        Outcome outcome;
        for (const std::string& text : procedure.statements) {
            const detail::HashedText key(text);
            StmtPtr stmt = conn_->take(key);
            sqlite3_stmt* s = stmt.get();
            for (int k = 1; k <= sqlite3_bind_parameter_count(s); ++k) {
                const char* marker = sqlite3_bind_parameter_name(s, k);
                const std::string_view wanted = marker ? parameterName(marker) : std::string_view();
                auto it = std::find_if(params.begin(), params.end(), [&](const ProcedureParam& p) {
                    return !wanted.empty() && detail::equalsNoCase(p.name, wanted);
                });
                if (it == params.end())
                    throw ComError(hr::ParamNotOptional, std::string(detail::kMissingParamsText) + " (" +
                                                             (marker ? marker : "?") + " in procedure " +
                                                             std::string(name) + ")");
                // Output-only parameters have no value to give yet.
                const bool input = it->direction == 1 || it->direction == 3;
                bindValue(s, k, input ? it->value : Variant::null(), *conn_);
            }
            const int rc = sqlite3_step(s);
            if (rc != SQLITE_ROW && rc != SQLITE_DONE) conn_->fail(rc);
            if (sqlite3_column_count(s) > 0) {
                // Only the first row is wanted; with RETURNING the changes are all made by the first
                // step, so stopping here leaves nothing undone.
                std::vector<ColumnInfo> columns = describeColumns(s, rc == SQLITE_ROW);
                outcome.names.clear();
                for (auto& c : columns) outcome.names.push_back(std::move(c.name));
                outcome.row.clear();
                if (rc == SQLITE_ROW) readRow(s, columns, outcome.row);
            } else {
                int more = rc;
                while (more == SQLITE_ROW) more = sqlite3_step(s);
                if (more != SQLITE_DONE) conn_->fail(more);
            }
            conn_->giveBack(key, std::move(stmt));
        }
        return outcome;
    }

    std::map<std::string, Procedure> procedures_;  // by lower-cased name
    std::int64_t schemaVersion_ = 0;
    std::uint32_t schemaEpoch_ = 0;  // othersEpoch when schemaVersion_ was read
    bool schemaRead_ = false;
    struct Ran {
        std::string text;  // the text run
        std::size_t hash;  // its hash, under which its prepared statement is kept
    };
    detail::TranslationCache<Ran> texts_;  // for each text sent
    std::shared_ptr<Connection> conn_;
};

}  // namespace

std::unique_ptr<Session> openSqliteSession(const ConnectionString& cs, int connectTimeoutSeconds) {
    const std::string file = cs.get("data source");
    if (file.empty()) throw ComError(hr::Fail, "the connection string names no Data Source");
    // Full (the default): every commit reaches the disk before it is reported done. Normal: the
    // write-ahead log is synced only at checkpoints, so a commit survives the process's crash but
    // the last ones before a power loss or a crash of the machine may be lost (the file stays sound).
    const std::string synchronous = detail::lowerAscii(cs.get("synchronous"));
    if (!synchronous.empty() && synchronous != "full" && synchronous != "normal")
        throw ComError(hr::Fail, "Synchronous must be Full or Normal, not \"" + cs.get("synchronous") + "\"");
    auto conn = std::make_shared<Connection>();
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    conn->db.reset(raw);
    if (rc != SQLITE_OK) {
        const std::string message = raw ? sqlite3_errmsg(raw) : "out of memory";
        throw ComError(numberFor(rc, message), message + ": " + file).withSqlState(sqlStateFor(rc, message));
    }
    sqlite3_busy_handler(raw, &Connection::onBusy, conn.get());
    sqlite3_update_hook(raw, &Connection::onUpdate, conn.get());
    sqlite3_commit_hook(raw, &Connection::onCommit, conn.get());
    conn->arm(connectTimeoutSeconds);
    try {
        // The first statements are where a file that is not a database shows it.
        conn->useWriteAheadLog();
        conn->exec(synchronous == "normal" ? "PRAGMA synchronous=NORMAL" : "PRAGMA synchronous=FULL");
        conn->exec("PRAGMA foreign_keys=OFF");
    } catch (const ComError& e) {
        // NOTADB shows here, on the first statement: to the caller it is a database it cannot open.
        throw ComError(e.number(), e.description() + ": " + file).withSqlState(e.sqlState());
    }
    return std::make_unique<SqliteSession>(std::move(conn));
}

}  // namespace orvan::data
