// The engine-neutral part of the provider layer: connection strings, the factory that picks an engine
// (SQLite, PostgreSQL, or ODBC for MSDASQL, plain ODBC strings and the classic OLE DB ones),
// the lexical repair every engine applies to the statements it runs, and the statement trace.
#include "data_access/providers/provider.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>

#include "com_server/error.h"
#include "data_access/providers/odbc/odbc_connection_string.h"
#include "data_access/providers/odbc/odbc_provider.h"
#include "data_access/providers/postgres/postgres_provider.h"
#include "data_access/providers/provider_common.h"
#include "data_access/providers/sqlite/sqlite_provider.h"

namespace orvan::data {

namespace {

bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view s) noexcept {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

// ---- connection strings ---------------------------------------------------------------------------

std::string ConnectionString::provider() const {
    return detail::lowerAscii(get("provider"));
}

std::string ConnectionString::get(std::string_view key, std::string_view fallback) const {
    auto it = keys.find(detail::lowerAscii(key));
    return it == keys.end() ? std::string(fallback) : it->second;
}

ConnectionString ConnectionString::parse(std::string_view text) {
    ConnectionString cs;
    cs.text = std::string(text);
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t keyStart = i;
        while (i < n && text[i] != '=' && text[i] != ';') ++i;
        std::string key = detail::lowerAscii(trimmed(text.substr(keyStart, i - keyStart)));
        std::string value;
        if (i < n && text[i] == '=') {
            ++i;
            while (i < n && isBlank(text[i]) && text[i] != ';') ++i;
            if (i < n && (text[i] == '"' || text[i] == '\'')) {
                // A quoted value may hold ';' and '='; the quote doubled stands for itself.
                const char quote = text[i++];
                while (i < n) {
                    if (text[i] == quote) {
                        if (i + 1 < n && text[i + 1] == quote) {
                            value += quote;
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    value += text[i++];
                }
                while (i < n && text[i] != ';') ++i;
            } else {
                const std::size_t valueStart = i;
                while (i < n && text[i] != ';') ++i;
                value = std::string(trimmed(text.substr(valueStart, i - valueStart)));
            }
        }
        if (i < n && text[i] == ';') ++i;
        // The last of a repeated key wins, as OLE DB reads it.
        if (!key.empty()) cs.keys[std::move(key)] = std::move(value);
    }
    return cs;
}

// ---- factory ----------------------------------------------------------------------------------------

std::unique_ptr<Session> openSession(const ConnectionString& cs, int connectTimeoutSeconds) {
    const std::string provider = cs.provider();
    if (provider == "sqlite") return openSqliteSession(cs, connectTimeoutSeconds);
    if (provider == "postgresql" || provider == "postgres" || provider == "pgsql")
        return openPostgresSession(cs, connectTimeoutSeconds);
    if (isOdbcConnection(cs)) return openOdbcSession(cs, connectTimeoutSeconds);
    // ADO's adErrProviderNotFound.
    throw com::ComError(3706, "Provider cannot be found. It may not be properly installed.");
}

// ---- lexical repair -------------------------------------------------------------------------------

namespace {

bool isDigit(unsigned char c) noexcept {
    return c >= '0' && c <= '9';
}
bool isHexDigit(unsigned char c) noexcept {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// A letter that may begin a keyword or name (bytes of multi-byte characters included).
bool isLetter(unsigned char c) noexcept {
    return detail::isIdentStart(c) && c != '_';
}

// End of the numeric literal starting at sql[i]: 0x hex digits, or digits with an optional fraction
// and an optional exponent (the e only when a digit, or a sign and a digit, follows it).
std::size_t numberEnd(std::string_view sql, std::size_t i) noexcept {
    const std::size_t n = sql.size();
    auto at = [&](std::size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(sql[k]) : 0; };
    if (at(i) == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X') && isHexDigit(at(i + 2))) {
        std::size_t k = i + 2;
        while (isHexDigit(at(k))) ++k;
        return k;
    }
    std::size_t k = i;
    while (isDigit(at(k))) ++k;
    if (at(k) == '.') {
        ++k;
        while (isDigit(at(k))) ++k;
    }
    if (at(k) == 'e' || at(k) == 'E') {
        std::size_t m = k + 1;
        if (at(m) == '+' || at(m) == '-') ++m;
        if (isDigit(at(m))) {
            k = m;
            while (isDigit(at(k))) ++k;
        }
    }
    return k;
}

}  // namespace

std::string repairNumberKeywordJoins(std::string_view sql) {
    std::string out;
    out.reserve(sql.size() + 8);
    const std::size_t n = sql.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t skipped = detail::skipNonCode(sql, i, true);
        if (skipped != i) {
            out.append(sql.substr(i, skipped - i));
            i = skipped;
            continue;
        }
        const auto c = static_cast<unsigned char>(sql[i]);
        const auto next = i + 1 < n ? static_cast<unsigned char>(sql[i + 1]) : 0;
        std::size_t end = i + 1;
        bool number = false;
        if (detail::isIdentStart(c) || c == '$' || c == '?' || c == ':' || c == '@') {
            // A name, or a parameter marker such as $1, ?2, :p1, @p1: its digits are no number.
            while (end < n && detail::isIdentChar(static_cast<unsigned char>(sql[end]))) ++end;
        } else if (isDigit(c) || (c == '.' && isDigit(next))) {
            end = numberEnd(sql, i);
            number = true;
        }
        out.append(sql.substr(i, end - i));
        if (number && end < n && isLetter(static_cast<unsigned char>(sql[end]))) out += ' ';
        i = end;
    }
    return out;
}

// ---- statement trace ------------------------------------------------------------------------------

namespace {

struct ObserverRegistry {
    // Shared while statements are reported (they may come from several threads at once), exclusive
    // while the list changes: once removeStatementObserver returns, the observer is not called again
    // and its context may go. An observer therefore must not add or remove observers itself.
    std::shared_mutex mutex;
    std::vector<std::pair<StatementObserver, void*>> observers;
    std::atomic<bool> any{false};  // whether observers is non-empty, read without the lock
};

constexpr std::string_view kInternalTag = "-- internal ";
thread_local int internalDepth = 0;

// The opt-in debug log: with ORVAN_TRACE_SQL=FILE every statement is appended to FILE, one line each
// (line ends inside a statement written as \n), followed by what the engine ran when that differs. The
// data layer's own statements are written once, behind their "-- internal " tag.
class TraceFile {
public:
    explicit TraceFile(const char* path) : file_(std::fopen(path, "a")) {}
    ~TraceFile() {
        if (file_) std::fclose(file_);
    }
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;
    static void write(void* self, std::string_view sent, std::string_view ran) {
        auto* t = static_cast<TraceFile*>(self);
        if (!t->file_) return;
        std::string line = oneLine(sent);
        if (ran != sent && !isInternalStatement(sent)) line += "\t-- ran: " + oneLine(ran);
        line += '\n';
        std::lock_guard lock(t->mutex_);
        std::fwrite(line.data(), 1, line.size(), t->file_);
        std::fflush(t->file_);
    }

private:
    static std::string oneLine(std::string_view text) {
        std::string out;
        for (char c : text) {
            if (c == '\n') out += "\\n";
            else if (c == '\r') out += "\\r";
            else out += c;
        }
        return out;
    }
    std::FILE* file_;
    std::mutex mutex_;
};

ObserverRegistry& registry() {
    static ObserverRegistry r;
    static const bool traced = [] {
        const char* path = std::getenv("ORVAN_TRACE_SQL");
        if (!path || !*path) return false;
        static TraceFile trace(path);  // lives as long as the registry that calls it
        r.observers.emplace_back(&TraceFile::write, &trace);
        r.any = true;
        return true;
    }();
    (void)traced;
    return r;
}

}  // namespace

void addStatementObserver(StatementObserver fn, void* context) {
    if (!fn) return;
    auto& r = registry();
    std::unique_lock lock(r.mutex);
    const auto entry = std::make_pair(fn, context);
    if (std::find(r.observers.begin(), r.observers.end(), entry) == r.observers.end())
        r.observers.push_back(entry);
    r.any = true;
}

void removeStatementObserver(StatementObserver fn, void* context) {
    auto& r = registry();
    std::unique_lock lock(r.mutex);
    std::erase(r.observers, std::make_pair(fn, context));
    r.any = !r.observers.empty();
}

bool statementsObserved() noexcept {
    return registry().any.load(std::memory_order_relaxed);
}

void notifyStatement(std::string_view sent, std::string_view ran) {
    if (internalDepth > 0) return notifyInternalStatement(ran);
    auto& r = registry();
    if (!r.any.load(std::memory_order_relaxed)) return;
    std::shared_lock lock(r.mutex);
    for (const auto& [fn, context] : r.observers) fn(context, sent, ran);
}

void notifyInternalStatement(std::string_view text) {
    auto& r = registry();
    if (!r.any.load(std::memory_order_relaxed)) return;
    std::string tagged(kInternalTag);
    tagged += text;
    std::shared_lock lock(r.mutex);
    for (const auto& [fn, context] : r.observers) fn(context, tagged, tagged);
}

bool isInternalStatement(std::string_view traced) noexcept {
    return traced.starts_with(kInternalTag);
}

InternalStatements::InternalStatements() noexcept {
    ++internalDepth;
}
InternalStatements::~InternalStatements() {
    --internalDepth;
}

// ---- the engine-neutral part of a session ---------------------------------------------------------

template <typename Op>
auto Session::reachingEngine(Op&& op) -> decltype(op()) {
    const bool mayReopen = std::exchange(reopenArmed_, false);
    for (bool retried = false;; retried = true) {
        try {
            return op();
        } catch (const com::ComError&) {
            if (!connectionLost()) throw;
            lastSuccess_ = {};
            if (!mayReopen || retried || !reopen()) throw;
            forgetTables();
            forgetRefusals();
            if (onReopen_) onReopen_();
        }
    }
}

std::unique_ptr<ResultSet> Session::execute(std::string_view sql, std::span<const com::Variant> params,
                                            int timeoutSeconds) {
    if (auto refused = answeredRefusal(sql)) throw std::move(*refused);
    try {
        auto result = reachingEngine([&] { return executeStatement(sql, params, timeoutSeconds); });
        lastSuccess_ = std::chrono::steady_clock::now();
        if (detail::changesSchema(sql)) forgetTables();
        return result;
    } catch (com::ComError& e) {
        // The engine says a table or column is not what the descriptions kept here say.
        if (e.sqlState() == "42P01" || e.sqlState() == "42703") forgetTables();
        if (e.statement().empty()) e.withStatement(std::string(sql));
        throw;
    }
}

std::optional<com::ComError> Session::answeredRefusal(std::string_view sql) {
    if (refusals_.empty()) return std::nullopt;
    auto it = refusals_.find(sql);
    if (it == refusals_.end() || !refusalsReplayable()) return std::nullopt;
    // The engine would read the text no better now than it did: the same error, no round trip, and the
    // session (its pool arming included) left as it was.
    notifyStatement(sql, it->second.ran);
    com::ComError e = it->second.error;
    if (e.statement().empty()) e.withStatement(std::string(sql));
    return e;
}

void Session::callProcedure(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) {
    reachingEngine([&] { callProcedureStatement(name, params, timeoutSeconds); });
    lastSuccess_ = std::chrono::steady_clock::now();
}

std::vector<std::string> Session::primaryKey(std::string_view table) {
    auto key = reachingEngine([&] { return readPrimaryKey(table); });
    lastSuccess_ = std::chrono::steady_clock::now();
    return key;
}

bool Session::alive() {
    const bool answers = probe();
    if (answers) lastSuccess_ = std::chrono::steady_clock::now();
    return answers;
}

void Session::rememberRefusal(std::string_view sql, std::string_view ran, const com::ComError& error) {
    try {
        // A session that meets many unreadable texts keeps the first few; the rest are sent each time.
        if (refusals_.size() >= kMaxRefusals) return;
        refusals_.insert_or_assign(std::string(sql), Refusal{std::string(ran), error});
    } catch (...) {
        // Out of memory while keeping it: the text is simply sent again next time.
    }
}

void Session::forgetRefusals() noexcept {
    refusals_.clear();
}

void Session::checkSchemaVersion() {
    const std::int64_t now = schemaVersion();
    if (now != schemaVersion_) {
        tables_.clear();
        schemaVersion_ = now;
    }
}

void Session::forgetTables() noexcept {
    tables_.clear();
}

const std::vector<ColumnInfo>& Session::tableColumns(const std::string& table, int timeoutSeconds) {
    checkSchemaVersion();
    if (auto it = tables_.find(table); it != tables_.end() && it->second.columnsKnown) return it->second.columns;
    std::vector<ColumnInfo> columns = execute("SELECT * FROM " + table + " WHERE 1=0", {}, timeoutSeconds)->columns();
    CachedTable& entry = tables_[table];
    entry.columns = std::move(columns);
    entry.columnsKnown = true;
    return entry.columns;
}

const std::vector<std::string>& Session::cachedPrimaryKey(std::string_view table) {
    checkSchemaVersion();
    if (auto it = tables_.find(table); it != tables_.end() && it->second.keyKnown) return it->second.key;
    std::vector<std::string> key = primaryKey(table);
    auto it = tables_.find(table);
    if (it == tables_.end()) it = tables_.emplace(std::string(table), CachedTable{}).first;
    it->second.key = std::move(key);
    it->second.keyKnown = true;
    return it->second.key;
}

}  // namespace orvan::data
