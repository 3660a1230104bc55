// PostgreSQL through libpq. Every statement is a named prepared statement of the session (prepared on
// first use in the same round trip as its first execution, kept for reuse), in text format with
// untyped parameters, so the server infers their types as it would for literals; "?" markers become
// $1, $2...
// Column types come from the type OIDs, base tables and columns from the catalog (cached per session).
// Stored procedures are functions, called as SELECT * FROM name(...).
#include "data_access/providers/postgres/postgres_provider.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>
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

struct ConnCloser {
    void operator()(PGconn* c) const noexcept { PQfinish(c); }
};
struct ResultClearer {
    void operator()(PGresult* r) const noexcept { PQclear(r); }
};
struct FreeMem {
    void operator()(unsigned char* p) const noexcept { PQfreemem(p); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnCloser>;
using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

// Type OIDs of the built-in types (fixed in the catalog, pg_type.dat).
namespace oid {
inline constexpr Oid Bool = 16, Bytea = 17, Char = 18, Name = 19, Int8 = 20, Int2 = 21, Int4 = 23, Text = 25,
                     Oid_ = 26, Float4 = 700, Float8 = 701, Bpchar = 1042, Varchar = 1043, Date = 1082,
                     Time = 1083, Timestamp = 1114, TimestampTz = 1184, Numeric = 1700;
}

// ---- errors -----------------------------------------------------------------------------------------

// SQLSTATE to provider number. An error without a SQLSTATE was raised by libpq itself: the
// connection is gone or was never there.
std::int32_t numberForSqlState(std::string_view state) {
    if (state.size() != 5) return hr::Fail;
    const std::string_view cls = state.substr(0, 2);
    if (cls == "08") return hr::Fail;                // connection exceptions
    if (cls == "28") return hr::AuthFailed;          // invalid authorization / password
    if (cls == "23") return hr::IntegrityViolation;  // unique, foreign key, not null, check
    if (state == "22001") return hr::DataOverflow;   // string data, right truncation
    if (state == "22P02" || state == "22003" ||      // invalid text representation, out of range,
        state == "22007" || state == "22008")        // invalid datetime format, datetime overflow
        return hr::CantConvertValue;
    if (state == "57014") return hr::AbortLimitReached;  // query canceled (statement_timeout)
    if (state == "55P03") return hr::AbortLimitReached;  // lock not available (lock_timeout)
    if (cls == "57") return hr::Fail;                    // admin shutdown, crash shutdown, cannot connect now
    if (state == "42P01") return hr::NoTable;            // undefined table
    if (state == "42501") return hr::PermissionDenied;   // insufficient privilege
    return hr::ErrorsInCommand;                          // syntax (42601), undefined column (42703), the rest
}

const char* field(const PGresult* r, int code) {
    const char* v = r ? PQresultErrorField(r, code) : nullptr;
    return v ? v : "";
}

// ---- values -----------------------------------------------------------------------------------------

int adoTypeFor(Oid type) {
    switch (type) {
        case oid::Int2:
            return adtype::SmallInt;
        case oid::Int4:
            return adtype::Integer;
        case oid::Int8:
            return adtype::BigInt;
        case oid::Oid_:
            return adtype::Integer;
        case oid::Numeric:
            return adtype::Numeric;
        case oid::Float4:
        case oid::Float8:
            return adtype::Double;
        case oid::Bool:
            return adtype::Boolean;
        case oid::Date:
        case oid::Time:
        case oid::Timestamp:
        case oid::TimestampTz:
            return adtype::DBTimeStamp;
        case oid::Bytea:
            return adtype::LongVarBinary;
        default:
            return adtype::VarWChar;  // text, varchar, bpchar, name and every other type as text
    }
}

template <typename T>
std::optional<T> parseNumber(std::string_view text) {
    T v{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

// A value in the server's text format, read as its type says; a text the type's reader does not
// know (a date 'infinity', a year BC) comes back as the text.
Variant readValue(const PGresult* r, int row, int col, Oid type) {
    if (PQgetisnull(r, row, col)) return Variant::null();
    const std::string_view text(PQgetvalue(r, row, col), static_cast<std::size_t>(PQgetlength(r, row, col)));
    switch (type) {
        case oid::Int2:
            if (auto v = parseNumber<std::int16_t>(text)) return Variant(*v);
            break;
        case oid::Int4:
        case oid::Int8:
        case oid::Oid_:
            if (auto v = parseNumber<std::int64_t>(text)) {
                if (*v >= INT32_MIN && *v <= INT32_MAX) return Variant(static_cast<std::int32_t>(*v));
                return Variant(static_cast<double>(*v));
            }
            break;
        case oid::Numeric:
        case oid::Float4:
        case oid::Float8:
            if (auto v = parseNumber<double>(text)) return Variant(*v);
            break;
        case oid::Bool:
            return Variant(text == "t");
        case oid::Date:
        case oid::Time:
        case oid::Timestamp:
        case oid::TimestampTz:
            if (auto serial = detail::parseDateTime(text)) return Variant::date(*serial);
            break;
        case oid::Bytea: {
            std::size_t length = 0;
            std::unique_ptr<unsigned char, FreeMem> bytes(
                PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(r, row, col)), &length));
            if (bytes) return Variant(std::string(reinterpret_cast<const char*>(bytes.get()), length));
            break;
        }
        default:
            break;
    }
    return Variant(text);
}

// A parameter in the text the server reads for an untyped value; nullopt for NULL.
std::optional<std::string> parameterText(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
        case VarType::Missing:
            return std::nullopt;
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            return std::to_string(v.rawInt());
        case VarType::Boolean:
            return std::string(v.rawBool() ? "t" : "f");
        case VarType::Currency:
            return com::currencyText(v.rawCurrency(), '.');
        case VarType::Single:
        case VarType::Double: {
            const double d = v.rawDouble();
            if (std::isnan(d)) return std::string("NaN");
            if (std::isinf(d)) return std::string(d > 0 ? "Infinity" : "-Infinity");
            char buf[32];
            auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, end);
        }
        case VarType::Date: {
            std::string text = detail::formatDateTime(v.rawDate());
            if (text.empty()) throw ComError(hr::CantConvertValue, "date value out of range");
            return text;
        }
        case VarType::String:
            return v.rawString();
        case VarType::Object:
        case VarType::Array:
            break;
    }
    throw ComError::basic(com::err::TypeMismatch);
}

// Rewrites the "?" markers outside literals, quoted identifiers and comments to $1, $2, ...; count
// receives their number. A blank follows a marker written against a word ("?AND"), which the server
// would otherwise read as junk after the parameter.
std::string numberMarkers(std::string_view sql, int& count) {
    std::string out;
    out.reserve(sql.size() + 16);
    count = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        const std::size_t skipped = detail::skipNonCode(sql, i, false);
        if (skipped != i) {
            out.append(sql.substr(i, skipped - i));
            i = skipped;
            continue;
        }
        if (sql[i] == '?') {
            out += '$';
            out += std::to_string(++count);
            if (i + 1 < sql.size() && detail::isIdentChar(static_cast<unsigned char>(sql[i + 1]))) out += ' ';
        } else {
            out += sql[i];
        }
        ++i;
    }
    return out;
}

// ---- result sets --------------------------------------------------------------------------------

class PgResultSet final : public ResultSet {
public:
    PgResultSet(ResultPtr result, std::vector<ColumnInfo> columns, std::int64_t rowsAffected)
        : result_(std::move(result)), columns_(std::move(columns)), rowsAffected_(rowsAffected) {
        rows_ = result_ && !columns_.empty() ? PQntuples(result_.get()) : 0;
    }

    const std::vector<ColumnInfo>& columns() const override { return columns_; }

    bool next(std::vector<Variant>& row) override {
        if (next_ >= rows_) return false;
        row.resize(columns_.size());
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            const int col = static_cast<int>(c);
            row[c] = readValue(result_.get(), next_, col, PQftype(result_.get(), col));
        }
        ++next_;
        return true;
    }

    std::int64_t rowsAffected() const override { return rowsAffected_; }

private:
    ResultPtr result_;
    std::vector<ColumnInfo> columns_;
    std::int64_t rowsAffected_;
    int rows_ = 0;
    int next_ = 0;
};

// ---- the session ------------------------------------------------------------------------------------

// libpq prints the server's notices ("table does not exist, skipping") on stderr unless told
// otherwise; the host has no use for them.
void ignoreNotice(void*, const char*) {}

bool validProcedureName(std::string_view name) {
    if (name.empty()) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return detail::isIdentChar(static_cast<unsigned char>(c)) || c == '.'; });
}

class PgSession final : public Session {
public:
    explicit PgSession(ConnPtr conn) : conn_(std::move(conn)) {}

    std::unique_ptr<ResultSet> executeStatement(std::string_view sql, std::span<const Variant> params,
                                                int timeoutSeconds) override {
        const Translated& translated = texts_.get(sql, [](std::string_view text) {
            Translated t;
            t.ran = numberMarkers(repairNumberKeywordJoins(text), t.markers);
            return t;
        });
        const std::string& ran = translated.ran;
        const int markers = translated.markers;
        notifyStatement(sql, ran);
        if (params.size() < static_cast<std::size_t>(markers))
            throw ComError(hr::ParamNotOptional, detail::kMissingParamsText);
        if (params.size() > static_cast<std::size_t>(markers))
            throw ComError(hr::ErrorsInCommand, std::to_string(params.size()) + " parameter values for " +
                                                    std::to_string(markers) + " parameter markers");
        ResultPtr result;
        try {
            result = run(ran, params, timeoutSeconds);
        } catch (const ComError& e) {
            if (parseRefused_ && e.sqlState() == "42601" && e.description().starts_with("syntax error at") &&
                refusalsReplayable())
                rememberRefusal(sql, ran, e);
            throw;
        }

        const std::string_view status = PQcmdStatus(result.get());
        // A table altered or dropped may change the names cached for its OID, and the shape of the rows
        // a prepared statement returns.
        if (status.starts_with("ALTER") || status.starts_with("DROP")) {
            tables_.clear();
            forgetPrepared();
        }
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
            const auto affected = parseNumber<std::int64_t>(PQcmdTuples(result.get()));
            return std::make_unique<PgResultSet>(nullptr, std::vector<ColumnInfo>{}, affected.value_or(0));
        }
        std::vector<ColumnInfo> columns = describe(result.get());
        return std::make_unique<PgResultSet>(std::move(result), std::move(columns), -1);
    }

    void callProcedureStatement(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) override {
        std::string ran = "SELECT * FROM " + std::string(name) + "(";
        std::vector<Variant> inputs;
        for (const ProcedureParam& p : params) {
            if (p.direction != 1 && p.direction != 3) continue;
            inputs.push_back(p.value);
            ran += (inputs.size() > 1 ? ", $" : "$") + std::to_string(inputs.size());
        }
        ran += ")";
        notifyStatement(name, ran);
        // The name goes into the statement text, so it must be a name and nothing more.
        if (!validProcedureName(name))
            throw ComError(hr::ErrorsInCommand, "invalid procedure name: " + std::string(name));
        ResultPtr result = run(ran, inputs, timeoutSeconds);

        const PGresult* r = result.get();
        const int fields = PQresultStatus(r) == PGRES_TUPLES_OK ? PQnfields(r) : 0;
        const bool haveRow = fields > 0 && PQntuples(r) > 0;
        for (ProcedureParam& p : params) {
            if (p.direction == 1) continue;
            int col = -1;
            for (int c = 0; c < fields && col < 0; ++c)
                if (detail::equalsNoCase(PQfname(r, c), p.name)) col = c;
            if (col < 0 && p.direction == 4 && fields > 0) col = 0;  // RETURNS x: the function's own column
            if (col < 0)
                throw ComError(hr::ErrorsInCommand,
                               "procedure " + std::string(name) + " returned no column named " + p.name);
            p.value = haveRow ? readValue(r, 0, col, PQftype(r, col)) : Variant::null();
        }
    }

    std::vector<std::string> readPrimaryKey(std::string_view table) override {
        // "schema.table" or "table"; a name written in double quotes keeps them off.
        auto unquote = [](std::string_view s) {
            if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
            return std::string(s);
        };
        std::string schema, relation;
        const std::size_t dot = table.rfind('.');
        if (dot == std::string_view::npos) {
            relation = unquote(table);
        } else {
            schema = unquote(table.substr(0, dot));
            relation = unquote(table.substr(dot + 1));
        }
        // The table is found through the catalogue's index on its name: first by its exact spelling,
        // then as the name reads unquoted (folded to lower case), each on the search path when it
        // names no schema. Only a name found neither way (other case mixes) is looked for by
        // comparing names without case, the exact spelling first, then the first schema on the path.
        static const std::string kQuery =
            "SELECT a.attname FROM pg_index i "
            "JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY (i.indkey) "
            "WHERE i.indisprimary AND i.indrelid = COALESCE("
            " to_regclass(CASE WHEN $2 = '' THEN quote_ident($1) ELSE quote_ident($2) || '.' || quote_ident($1) END),"
            " to_regclass(CASE WHEN $2 = '' THEN lower(quote_ident($1)) ELSE lower(quote_ident($2) || '.' || quote_ident($1)) END),"
            " (SELECT c.oid FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
            " WHERE c.relkind IN ('r', 'p') AND lower(c.relname) = lower($1)"
            " AND CASE WHEN $2 = '' THEN n.nspname = ANY (current_schemas(true))"
            "          ELSE lower(n.nspname) = lower($2) END"
            " ORDER BY c.relname = $1 DESC, array_position(current_schemas(true), n.nspname) LIMIT 1)) "
            "ORDER BY array_position(i.indkey::int2[], a.attnum)";
        const Variant args[] = {Variant(relation), Variant(schema)};
        notifyInternalStatement(kQuery);
        ResultPtr result = run(kQuery, args, kKeepTimeout);
        std::vector<std::string> key;
        for (int row = 0; row < PQntuples(result.get()); ++row)
            key.emplace_back(PQgetvalue(result.get(), row, 0));
        return key;
    }

    bool probe() override {
        if (PQstatus(conn_.get()) != CONNECTION_OK) return false;
        // Any answer will do, an error included (a failed transaction refuses the query but the
        // connection is there); a lost connection shows in the status afterwards.
        notifyInternalStatement("SELECT 1");
        ResultPtr result(PQexec(conn_.get(), "SELECT 1"));
        return result && PQstatus(conn_.get()) == CONNECTION_OK;
    }

    void reset() override {
        // A lost connection has no transaction left to roll back.
        if (PQstatus(conn_.get()) != CONNECTION_OK) return;
        const PGTransactionStatusType ts = PQtransactionStatus(conn_.get());
        if (ts != PQTRANS_INTRANS && ts != PQTRANS_INERROR) return;
        notifyInternalStatement("ROLLBACK");
        ResultPtr result(PQexec(conn_.get(), "ROLLBACK"));
        check(result.get());
        forgetTimeoutAfterTransaction();
    }

    std::string_view engine() const override { return "postgresql"; }

    // The grammar's refusals are answered from memory only where sending the text would change
    // nothing: outside a transaction (inside one, the failure ends it), with backslashes read as
    // ordinary characters in '...' (the setting under which the text was refused), and on a
    // connection that shows no sign of loss (a lost one reports that instead).
    bool refusalsReplayable() override {
        const char* scs = PQparameterStatus(conn_.get(), "standard_conforming_strings");
        return PQstatus(conn_.get()) == CONNECTION_OK && PQtransactionStatus(conn_.get()) == PQTRANS_IDLE &&
               scs && std::string_view(scs) == "on" && !pendingInput();
    }

    bool showsLoss() override {
        // A server that ended the session has sent its last words and closed the socket. Anything else
        // an idle session receives unasked (a notice) is a reason to probe as well.
        return PQstatus(conn_.get()) != CONNECTION_OK || pendingInput();
    }

protected:
    bool connectionLost() const override { return PQstatus(conn_.get()) != CONNECTION_OK; }

    bool reopen() override {
        PQreset(conn_.get());
        if (PQstatus(conn_.get()) != CONNECTION_OK) return false;
        // The new server process knows none of what the old one was told.
        prepared_.clear();
        seen_.clear();
        tables_.clear();
        forgetRefusals();
        timeoutMs_ = 0;
        timeoutSetInTransaction_ = false;
        return true;
    }

private:
    struct Translated {
        std::string ran;  // after the lexical repair, with $n markers
        int markers = 0;
    };
    static constexpr std::size_t kMaxPrepared = 128;
    static constexpr std::size_t kMaxSeen = 256;
    struct Prepared {
        std::string name;
        std::uint64_t lastUse = 0;
    };

    struct Table {
        std::string name;
        std::map<int, std::string> columns;  // attnum -> name
    };

    [[noreturn]] void fail(const PGresult* r) {
        const std::string state = field(r, PG_DIAG_SQLSTATE);
        std::string message = field(r, PG_DIAG_MESSAGE_PRIMARY);
        if (message.empty()) message = r ? PQresultErrorMessage(r) : "";
        if (message.empty()) message = PQerrorMessage(conn_.get());
        message = detail::messageText(message);
        const bool lost = PQstatus(conn_.get()) != CONNECTION_OK;
        if (lost && message.find("connection") == std::string::npos)
            message += " (the connection to the database server was lost)";
        ComError error(lost ? hr::Fail : numberForSqlState(state), message);
        // libpq's own report of a dropped connection carries no SQLSTATE; 08006 is connection_failure.
        if (!state.empty() || lost) error.withSqlState(state.empty() ? "08006" : state);
        throw error;
    }

    void check(const PGresult* r) {
        switch (r ? PQresultStatus(r) : PGRES_FATAL_ERROR) {
            case PGRES_COMMAND_OK:
            case PGRES_TUPLES_OK:
            case PGRES_EMPTY_QUERY:
                return;
            case PGRES_COPY_IN:
            case PGRES_COPY_OUT:
            case PGRES_COPY_BOTH:
                throw ComError(hr::ErrorsInCommand, "COPY to or from the client is not supported");
            default:
                fail(r);
        }
    }

    // Runs one statement with its parameters under the command timeout (kKeepTimeout: whatever limit
    // the session has, for the catalog look-ups made on a caller's behalf) and checks the outcome.
    ResultPtr run(const std::string& sql, std::span<const Variant> params, int timeoutSeconds) {
        if (PQstatus(conn_.get()) != CONNECTION_OK)
            throw ComError(hr::Fail, "the connection to the database server was lost").withSqlState("08003");
        if (timeoutSeconds != kKeepTimeout) applyTimeout(timeoutSeconds);
        // libpq takes statements and parameter values as C strings, and the server's text types
        // cannot hold a NUL character at all: a value with one is refused, never stored cut short.
        if (sql.find('\0') != std::string::npos)
            throw ComError(hr::ErrorsInCommand, "the statement text contains a NUL character");
        std::vector<std::optional<std::string>> texts;
        texts.reserve(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            texts.push_back(parameterText(params[i]));
            if (texts.back() && texts.back()->find('\0') != std::string::npos)
                throw ComError(hr::CantConvertValue, "parameter " + std::to_string(i + 1) +
                                                         " contains a NUL character, which PostgreSQL "
                                                         "text cannot store");
        }
        std::vector<const char*> values;
        values.reserve(texts.size());
        for (const auto& t : texts) values.push_back(t ? t->c_str() : nullptr);
        ResultPtr result = runPrepared(sql, values);
        forgetTimeoutAfterTransaction();
        check(result.get());
        return result;
    }

    // Runs sql as the session's named statement for that text. A text not met lately runs as the
    // unnamed statement (one that holds a literal that changes each call would otherwise fill the
    // session with statements, each let go later by a round trip of its own); met again, it is
    // prepared under a name and kept. Either way the statement is prepared and run in one round trip
    // (a pipeline of Parse, then Bind/Execute, then Sync); a statement the server refused to prepare
    // is not kept.
    ResultPtr runPrepared(const std::string& sql, const std::vector<const char*>& values) {
        PGconn* c = conn_.get();
        parseRefused_ = false;
        const int count = static_cast<int>(values.size());
        if (auto it = prepared_.find(sql); it != prepared_.end()) {
            it->second.lastUse = ++useClock_;
            ResultPtr result(PQexecPrepared(c, it->second.name.c_str(), count, values.data(), nullptr, nullptr, 0));
            // A plan the server can no longer use as it was prepared (another session changed the
            // table's shape, 0A000), or a statement the server no longer knows (26000): it is prepared
            // afresh. Outside a transaction nothing ran, so the statement is sent again at once; inside
            // one the failure has ended the transaction and is reported.
            const std::string_view state = field(result.get(), PG_DIAG_SQLSTATE);
            if (state != "0A000" && state != "26000") return result;
            const std::string stale = "DEALLOCATE " + it->second.name;
            prepared_.erase(it);
            if (PQtransactionStatus(c) != PQTRANS_IDLE) return result;
            if (state == "0A000") {
                notifyInternalStatement(stale);
                ResultPtr dropped(PQexec(c, stale.c_str()));
            }
        }
        // Something the server sent unasked (its last words before it ended the session) is read the
        // way a plain statement reads it; the statement is prepared the next time.
        if (pendingInput() || !PQenterPipelineMode(c))
            return ResultPtr(PQexecParams(c, sql.c_str(), count, nullptr, values.data(), nullptr, nullptr, 0));
        const bool keep = seen_.erase(sql) > 0;
        const std::string name = keep ? "orvan_" + std::to_string(++nameClock_) : std::string();
        const bool sent = PQsendPrepare(c, name.c_str(), sql.c_str(), 0, nullptr) &&
                          PQsendQueryPrepared(c, name.c_str(), count, values.data(), nullptr, nullptr, 0) &&
                          PQpipelineSync(c);
        std::vector<ResultPtr> results;
        if (sent) {
            for (int ends = 0; ends < 3;) {
                PGresult* r = PQgetResult(c);
                if (!r) {
                    if (PQstatus(c) != CONNECTION_OK) break;
                    ++ends;
                    continue;
                }
                if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                    PQclear(r);
                    break;
                }
                results.emplace_back(r);
            }
        }
        PQexitPipelineMode(c);
        if (results.empty()) return nullptr;  // the connection is gone: check reports it
        if (PQresultStatus(results.front().get()) != PGRES_COMMAND_OK) {
            // The server could not prepare the text: nothing of it ran.
            parseRefused_ = true;
            return std::move(results.front());
        }
        if (keep) {
            prepared_[sql] = Prepared{name, ++useClock_};
            if (prepared_.size() > kMaxPrepared) dropOldestPrepared();
        } else {
            if (seen_.size() >= kMaxSeen) seen_.clear();
            seen_.insert(sql);
        }
        if (results.size() < 2) return nullptr;
        return std::move(results[1]);
    }

    // Whether the server sent something that has not been read yet (without waiting for it).
    bool pendingInput() const {
        pollfd watch{PQsocket(conn_.get()), POLLIN, 0};
        return ::poll(&watch, 1, 0) > 0;
    }

    void dropOldestPrepared() {
        auto oldest = prepared_.begin();
        for (auto it = prepared_.begin(); it != prepared_.end(); ++it)
            if (it->second.lastUse < oldest->second.lastUse) oldest = it;
        const std::string deallocate = "DEALLOCATE " + oldest->second.name;
        prepared_.erase(oldest);
        notifyInternalStatement(deallocate);
        ResultPtr result(PQexec(conn_.get(), deallocate.c_str()));
        // A statement that could not be let go only takes up room on the server until the session ends.
    }

    // Lets every prepared statement go (after the session changed a table's shape).
    void forgetPrepared() {
        if (prepared_.empty()) return;
        prepared_.clear();
        notifyInternalStatement("DEALLOCATE ALL");
        ResultPtr result(PQexec(conn_.get(), "DEALLOCATE ALL"));
        check(result.get());
    }

    // statement_timeout is sent only when it changes. A SET made inside a transaction is undone by
    // ROLLBACK, so once such a transaction ends the session's value counts as unknown again. (A
    // ROLLBACK TO SAVEPOINT that undoes the SET inside the same transaction goes unnoticed until
    // the transaction ends; the cost is one statement run with the previous limit.)
    void applyTimeout(int timeoutSeconds) {
        const long long ms = timeoutSeconds > 0 ? timeoutSeconds * 1000LL : 0;
        if (ms == timeoutMs_) return;
        const std::string set = "SET statement_timeout = " + std::to_string(ms);
        notifyInternalStatement(set);
        ResultPtr result(PQexec(conn_.get(), set.c_str()));
        check(result.get());
        timeoutMs_ = ms;
        if (PQtransactionStatus(conn_.get()) != PQTRANS_IDLE) timeoutSetInTransaction_ = true;
    }

    void forgetTimeoutAfterTransaction() {
        if (timeoutSetInTransaction_ && PQtransactionStatus(conn_.get()) == PQTRANS_IDLE) {
            timeoutSetInTransaction_ = false;
            timeoutMs_ = -1;
        }
    }

    std::vector<ColumnInfo> describe(const PGresult* r) {
        const int count = PQnfields(r);
        std::vector<ColumnInfo> columns(static_cast<std::size_t>(count));
        std::vector<Oid> unknown;
        for (int i = 0; i < count; ++i) {
            const Oid table = PQftable(r, i);
            if (table != InvalidOid && !tables_.contains(table) &&
                std::find(unknown.begin(), unknown.end(), table) == unknown.end())
                unknown.push_back(table);
        }
        if (!unknown.empty()) loadTables(unknown);
        for (int i = 0; i < count; ++i) {
            ColumnInfo& col = columns[static_cast<std::size_t>(i)];
            col.name = PQfname(r, i);
            col.adoType = adoTypeFor(PQftype(r, i));
            auto table = tables_.find(PQftable(r, i));
            if (table == tables_.end()) continue;
            auto column = table->second.columns.find(PQftablecol(r, i));
            if (column == table->second.columns.end()) continue;
            col.baseTable = table->second.name;
            col.baseColumn = column->second;
        }
        return columns;
    }

    void loadTables(const std::vector<Oid>& oids) {
        std::string list = "{";
        for (Oid o : oids) list += (list.size() > 1 ? "," : "") + std::to_string(o);
        list += "}";
        const Variant args[] = {Variant(list)};
        static const std::string kQuery =
            "SELECT c.oid, c.relname, a.attnum, a.attname FROM pg_class c "
            "JOIN pg_attribute a ON a.attrelid = c.oid "
            "WHERE c.oid = ANY ($1::oid[]) AND a.attnum > 0 AND NOT a.attisdropped";
        notifyInternalStatement(kQuery);
        ResultPtr result = run(kQuery, args, kKeepTimeout);
        const PGresult* r = result.get();
        for (Oid o : oids) tables_[o];  // remembered even when the catalog has nothing for it
        for (int row = 0; row < PQntuples(r); ++row) {
            const auto o = parseNumber<Oid>(PQgetvalue(r, row, 0));
            const auto attnum = parseNumber<int>(PQgetvalue(r, row, 2));
            if (!o || !attnum) continue;
            Table& t = tables_[*o];
            t.name = PQgetvalue(r, row, 1);
            t.columns[*attnum] = PQgetvalue(r, row, 3);
        }
    }

    static constexpr int kKeepTimeout = INT_MIN;

    ConnPtr conn_;
    long long timeoutMs_ = 0;  // the connection starts with statement_timeout=0 (see the options)
    bool timeoutSetInTransaction_ = false;
    std::map<Oid, Table> tables_;
    std::map<std::string, Prepared, std::less<>> prepared_;  // by the text the server was sent
    std::set<std::string, std::less<>> seen_;  // texts run once as the unnamed statement since
    detail::TranslationCache<Translated> texts_;
    std::uint64_t useClock_ = 0, nameClock_ = 0;
    bool parseRefused_ = false;  // whether the last runPrepared failed at preparing its text
};

// The login failures libpq reports only as text: the server's messages for a wrong password, a
// pg_hba.conf rule that rejects the client, an unknown role. They are matched in the server's
// English texts; with another lc_messages they read as a plain connection failure.
const char* loginFailureState(std::string_view message) {
    if (message.find("password authentication failed") != std::string_view::npos ||
        message.find("authentication failed for user") != std::string_view::npos)
        return "28P01";
    if (message.find("no pg_hba.conf entry") != std::string_view::npos ||
        (message.find("role \"") != std::string_view::npos &&
         message.find("does not exist") != std::string_view::npos))
        return "28000";
    return nullptr;
}

}  // namespace

namespace {

// "Search Path=a,b" in the connection string: the schemas the session's unqualified names resolve in
// (a site may keep its tables in a schema of their own). Only plain schema names are accepted, so the
// value can never carry another server option.
std::string searchPathOption(const std::string& value) {
    if (value.empty()) return {};
    for (char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ',';
        if (!plain)
            throw ComError(hr::Fail, "invalid Search Path \"" + value + "\": only schema names separated by commas")
                .withSqlState("08001");
    }
    return " -c search_path=" + value;
}

}  // namespace

std::unique_ptr<Session> openPostgresSession(const ConnectionString& cs, int connectTimeoutSeconds) {
    auto pick = [&](std::initializer_list<std::string_view> names) {
        for (std::string_view n : names) {
            std::string v = cs.get(n);
            if (!v.empty()) return v;
        }
        return std::string();
    };
    // libpq takes the values one by one, so no value needs quoting and none can add a key.
    std::vector<std::pair<const char*, std::string>> settings = {
        {"host", pick({"host", "server"})},
        {"port", pick({"port"})},
        {"dbname", pick({"database", "initial catalog"})},
        {"user", pick({"user id", "uid", "user"})},
        {"password", pick({"password", "pwd"})},
        {"connect_timeout", std::to_string(std::max(connectTimeoutSeconds, 0))},
        {"client_encoding", "UTF8"},
        // ISO dates are what the value reader reads; the shortest exact text for floats; backslash
        // as an ordinary character in '...' (what the statement scanner assumes); no statement
        // limit until a command sets one.
        {"options",
         "-c datestyle=ISO,YMD -c extra_float_digits=1 -c standard_conforming_strings=on "
         "-c statement_timeout=0" + searchPathOption(pick({"search path", "searchpath"}))},
    };
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : settings) {
        if (v.empty()) continue;
        keys.push_back(k);
        values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    ConnPtr conn(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!conn) throw ComError(hr::Fail, "out of memory");
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string message = detail::messageText(PQerrorMessage(conn.get()));
        const char* state = loginFailureState(message);
        throw ComError(state ? hr::AuthFailed : hr::Fail, message).withSqlState(state ? state : "08001");
    }
    PQsetNoticeProcessor(conn.get(), &ignoreNotice, nullptr);
    return std::make_unique<PgSession>(std::move(conn));
}

}  // namespace orvan::data
