// Engines reached through unixODBC. Text crosses the driver manager as UTF-16 (the W functions), so
// no code page stands between the system's UTF-8 and the engine; long values are read in chunks and
// never cut short. Statements are sent as written (after the lexical repair) with "?" parameters bound
// by SQLBindParameter; columns take their ADO types from SQLDescribeCol; stored procedures are called
// as the engine behind the driver (SQL_DBMS_NAME) needs: a function in PostgreSQL, a body kept in
// sys_procedures in SQLite (as the native SQLite provider runs it), the ODBC call escape elsewhere.
#include "data_access/providers/odbc/odbc_provider.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "com_server/conversions.h"
#include "com_server/error.h"
#include "com_server/text_codec.h"
#include "data_access/providers/odbc/odbc_connection_string.h"
#include "data_access/providers/provider_common.h"

namespace orvan::data {

namespace {

using com::ComError;
using com::Variant;
using com::VarType;
namespace hr = detail::hr;

static_assert(sizeof(SQLWCHAR) == 2, "unixODBC's SQLWCHAR is a UTF-16 unit");
using WText = std::basic_string<SQLWCHAR>;

// ---- text -----------------------------------------------------------------------------------------

// UTF-8 as UTF-16; a byte that is not UTF-8 is read as the Windows-1252 character it stands for.
WText wide(std::string_view utf8) {
    WText out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const com::text::CodePoint cp = com::text::decodeUtf8At(utf8, i);
        char32_t c = cp.valid ? cp.value : com::text::windows1252Char(static_cast<unsigned char>(utf8[i]));
        i += cp.length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<SQLWCHAR>(0xD800 + (c >> 10));
            out += static_cast<SQLWCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<SQLWCHAR>(c);
        }
    }
    return out;
}

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string narrow(const SQLWCHAR* text, std::size_t units) {
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        com::text::appendUtf8(out, c);
    }
    return out;
}

// ---- handles --------------------------------------------------------------------------------------

struct StmtFree {
    void operator()(void* h) const noexcept { SQLFreeHandle(SQL_HANDLE_STMT, h); }
};
using StmtPtr = std::unique_ptr<void, StmtFree>;

enum class Dbms { PostgreSQL, SQLite, SqlServer, Oracle, Other };

struct Diagnostic {
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
};

// The first diagnostic record of a handle; the "[vendor][driver]" prefixes go, the engine's own
// words stay.
Diagnostic firstDiagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    Diagnostic d;
    SQLWCHAR state[6] = {};
    std::vector<SQLWCHAR> text(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, handle, 1, state, &d.native, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
        text.resize(static_cast<std::size_t>(length) + 1);
        rc = SQLGetDiagRecW(type, handle, 1, state, &d.native, text.data(), static_cast<SQLSMALLINT>(text.size()),
                            &length);
    }
    if (!SQL_SUCCEEDED(rc)) return {"HY000", 0, "the ODBC driver reported a failure without a diagnostic"};
    d.state = narrow(state, 5);
    std::string message =
        narrow(text.data(), std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), text.size()));
    while (message.starts_with("[")) {
        const std::size_t close = message.find(']');
        if (close == std::string::npos) break;
        message.erase(0, close + 1);
    }
    while (!message.empty() && message.front() == ' ') message.erase(0, 1);
    d.message = detail::messageText(message);
    return d;
}

// The SQLite ODBC driver reports most failures as the general HY000; the engine's message tells
// them apart, as the native SQLite provider reads it.
std::string sqliteState(std::string_view message) {
    if (message.find("no such table") != std::string_view::npos) return "42S02";
    if (message.find("no such column") != std::string_view::npos) return "42S22";
    if (message.find("UNIQUE constraint failed") != std::string_view::npos) return "23505";
    if (message.find("NOT NULL constraint failed") != std::string_view::npos) return "23502";
    if (message.find("constraint failed") != std::string_view::npos) return "23000";
    if (message.find("syntax error") != std::string_view::npos) return "42000";
    if (message.find("database is locked") != std::string_view::npos) return "40001";
    return {};
}

// ODBC's SQLSTATEs (and the engines' own, which psqlODBC passes through) to provider numbers.
std::int32_t numberForState(std::string_view state) {
    if (state.size() != 5) return hr::Fail;
    const std::string_view cls = state.substr(0, 2);
    if (cls == "08" || cls == "IM" || state == "HYT01") return hr::Fail;  // connection, driver manager
    if (cls == "28") return hr::AuthFailed;                                 // invalid authorization
    if (cls == "23") return hr::IntegrityViolation;                         // constraints
    if (state == "22001") return hr::DataOverflow;                          // right truncation
    if (cls == "22") return hr::CantConvertValue;                           // the other data exceptions
    if (state == "HYT00" || state == "57014") return hr::AbortLimitReached; // query timeout / canceled
    if (state == "42S02" || state == "42P01") return hr::NoTable;           // table not found
    if (state == "42501") return hr::PermissionDenied;                      // insufficient privilege
    if (cls == "HY" && state != "HY000") return hr::Fail;                   // the driver's own failures
    return hr::ErrorsInCommand;                                             // 42000, 42S22, HY000...
}

// What a session and its result sets share: the handles and what the driver said of itself.
struct Connection {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    bool connected = false;
    Dbms dbms = Dbms::Other;
    std::string engine;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        // The session is going; a failure to say goodbye leaves nothing to undo.
        if (connected) SQLDisconnect(dbc);
        if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    [[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc) const {
        if (rc == SQL_INVALID_HANDLE) throw ComError(hr::Fail, "invalid ODBC handle").withSqlState("HY000");
        Diagnostic d = firstDiagnostic(type, handle);
        if (dbms == Dbms::SQLite && (d.state == "HY000" || d.state == "S1000"))
            if (std::string refined = sqliteState(d.message); !refined.empty()) d.state = refined;
        if (d.state == "HYT00") d.message = detail::kTimeoutText;
        // The native numbers of psqlODBC and the SQLite driver are the drivers' own codes; the
        // Transact-SQL and Oracle servers' numbers are the ones their manuals list.
        if (d.native != 0 && (dbms == Dbms::SqlServer || dbms == Dbms::Other))
            d.message += " (native error " + std::to_string(d.native) + ")";
        throw ComError(numberForState(d.state), d.message).withSqlState(d.state);
    }

    void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) const {
        if (!SQL_SUCCEEDED(rc)) fail(type, handle, rc);
    }

    // A statement handle with the command timeout set (0 = none).
    StmtPtr statement(int timeoutSeconds) const {
        SQLHANDLE raw = nullptr;
        check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &raw), SQL_HANDLE_DBC, dbc);
        StmtPtr stmt(raw);
        if (timeoutSeconds > 0)
            check(SQLSetStmtAttr(raw, SQL_ATTR_QUERY_TIMEOUT,
                                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0),
                  SQL_HANDLE_STMT, raw);
        return stmt;
    }
};

// Runs a statement's text. The SQLite ODBC driver has no wide entry points: the driver manager would
// turn wide text into the process's narrow character set (Latin-1 in the C locale) on the way, and
// SQLite would store those bytes as they came. That driver gets the text as UTF-8, SQLite's own.
SQLRETURN execDirect(const Connection& conn, SQLHSTMT stmt, std::string_view sql) {
    if (conn.dbms == Dbms::SQLite) {
        std::string narrow(sql);
        return SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(narrow.data()), static_cast<SQLINTEGER>(narrow.size()));
    }
    WText text = wide(sql);
    return SQLExecDirectW(stmt, text.data(), static_cast<SQLINTEGER>(text.size()));
}

// ---- parameters -----------------------------------------------------------------------------------

// The storage of one bound parameter; it must stay where it is until the statement has run (and, for
// an output parameter, until its value has been read).
struct ParamBuffer {
    SQLLEN indicator = 0;
    SQLINTEGER integer = 0;
    SQLBIGINT bigint = 0;
    double real = 0;
    unsigned char bit = 0;
    SQL_TIMESTAMP_STRUCT stamp{};
    WText text;
};

SQL_TIMESTAMP_STRUCT stampOf(double serial) {
    const com::DateParts p = com::splitDate(serial);
    SQL_TIMESTAMP_STRUCT t{};
    t.year = static_cast<SQLSMALLINT>(p.year);
    t.month = static_cast<SQLUSMALLINT>(p.month);
    t.day = static_cast<SQLUSMALLINT>(p.day);
    t.hour = static_cast<SQLUSMALLINT>(p.hour);
    t.minute = static_cast<SQLUSMALLINT>(p.minute);
    t.second = static_cast<SQLUSMALLINT>(p.second);
    return t;
}

// Text longer than this goes as a long text type (SQL Server's varchar limit).
constexpr std::size_t kLongText = 4000;
// Room for a text output parameter, in UTF-16 units.
constexpr std::size_t kOutputText = 8000;

// Binds b.text (the value, for input) as a text parameter; room: the units an output value may take.
void bindText(const Connection& c, SQLHSTMT s, SQLUSMALLINT index, SQLSMALLINT io, ParamBuffer& b,
              std::size_t room) {
    const std::size_t units = std::max<std::size_t>({b.text.size(), room, 1});
    b.text.resize(units + 1, 0);  // and a terminator
    const SQLSMALLINT sqlType = units > kLongText ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
    c.check(SQLBindParameter(s, index, io, SQL_C_WCHAR, sqlType, units, 0, b.text.data(),
                             static_cast<SQLLEN>(b.text.size() * sizeof(SQLWCHAR)), &b.indicator),
            SQL_HANDLE_STMT, s);
}

// Binds v as parameter index. Dates go to SQLite as the text the native provider stores
// ('YYYY-MM-DD HH:MM:SS'), so that both providers store and compare the same text.
void bindValue(const Connection& c, SQLHSTMT s, SQLUSMALLINT index, const Variant& v, ParamBuffer& b,
               SQLSMALLINT io = SQL_PARAM_INPUT) {
    auto bind = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, void* value,
                    SQLLEN length) {
        c.check(SQLBindParameter(s, index, io, cType, sqlType, size, digits, value, length, &b.indicator),
                SQL_HANDLE_STMT, s);
    };
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
        case VarType::Missing:
            b.indicator = SQL_NULL_DATA;
            bind(SQL_C_WCHAR, SQL_WVARCHAR, 1, 0, nullptr, 0);
            return;
        case VarType::Integer:
        case VarType::Long:
        case VarType::Byte:
            b.integer = v.rawInt();
            bind(SQL_C_SLONG, SQL_INTEGER, 10, 0, &b.integer, 0);
            return;
        case VarType::Boolean:
            if (c.dbms == Dbms::SQLite) {
                b.integer = v.rawBool() ? 1 : 0;
                bind(SQL_C_SLONG, SQL_INTEGER, 10, 0, &b.integer, 0);
            } else {
                b.bit = v.rawBool() ? 1 : 0;
                bind(SQL_C_BIT, SQL_BIT, 1, 0, &b.bit, 0);
            }
            return;
        case VarType::Single:
        case VarType::Double:
        case VarType::Currency:
            b.real = v.type() == VarType::Currency ? com::currencyValue(v) : v.rawDouble();
            bind(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &b.real, 0);
            return;
        case VarType::Date: {
            const std::string text = detail::formatDateTime(v.rawDate());
            if (text.empty()) throw ComError(hr::CantConvertValue, "date value out of range");
            if (c.dbms == Dbms::SQLite) {
                b.text = wide(text);
                b.indicator = static_cast<SQLLEN>(b.text.size() * sizeof(SQLWCHAR));
                bindText(c, s, index, io, b, 0);
            } else {
                b.stamp = stampOf(v.rawDate());
                bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, &b.stamp, sizeof b.stamp);
            }
            return;
        }
        case VarType::String:
            b.text = wide(v.rawString());
            b.indicator = static_cast<SQLLEN>(b.text.size() * sizeof(SQLWCHAR));
            bindText(c, s, index, io, b, 0);
            return;
        case VarType::Object:
        case VarType::Array:
            break;
    }
    throw ComError::basic(com::err::TypeMismatch);
}

// ---- values -----------------------------------------------------------------------------------------

int adoTypeFor(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_SMALLINT:
        case SQL_TINYINT:
            return adtype::SmallInt;
        case SQL_INTEGER:
            return adtype::Integer;
        case SQL_BIGINT:
            return adtype::BigInt;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return adtype::Numeric;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return adtype::Double;
        case SQL_BIT:
            return adtype::Boolean;
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIME:
        case SQL_TIMESTAMP:
            return adtype::DBTimeStamp;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return adtype::LongVarBinary;
        default:
            return adtype::VarWChar;  // every text type, and whatever else, as text
    }
}

// One column's value, whole: text and bytes are read in chunks until the driver has no more.
class ValueReader {
public:
    ValueReader(const Connection& c, SQLHSTMT s) : c_(c), s_(s) {}

    // false: the value is NULL.
    bool text(SQLUSMALLINT col, std::string& out) {
        WText all;
        SQLWCHAR chunk[1024];
        for (;;) {
            SQLLEN length = 0;
            const SQLRETURN rc = SQLGetData(s_, col, SQL_C_WCHAR, chunk, sizeof chunk, &length);
            if (rc == SQL_NO_DATA) break;
            c_.check(rc, SQL_HANDLE_STMT, s_);
            if (length == SQL_NULL_DATA) return false;
            const std::size_t room = sizeof chunk / sizeof(SQLWCHAR) - 1;  // one unit for the terminator
            const bool more = rc == SQL_SUCCESS_WITH_INFO && (length == SQL_NO_TOTAL ||
                                                               static_cast<std::size_t>(length) / sizeof(SQLWCHAR) > room);
            const std::size_t units = more ? room : static_cast<std::size_t>(length) / sizeof(SQLWCHAR);
            all.append(chunk, units);
            if (!more) break;
        }
        out = narrow(all.data(), all.size());
        return true;
    }

    bool bytes(SQLUSMALLINT col, std::string& out) {
        out.clear();
        char chunk[4096];
        for (;;) {
            SQLLEN length = 0;
            const SQLRETURN rc = SQLGetData(s_, col, SQL_C_BINARY, chunk, sizeof chunk, &length);
            if (rc == SQL_NO_DATA) break;
            c_.check(rc, SQL_HANDLE_STMT, s_);
            if (length == SQL_NULL_DATA) return false;
            const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                              (length == SQL_NO_TOTAL || static_cast<std::size_t>(length) > sizeof chunk);
            out.append(chunk, more ? sizeof chunk : static_cast<std::size_t>(length));
            if (!more) break;
        }
        return true;
    }

    // A fixed-size value; false when NULL.
    template <typename T>
    bool fixed(SQLUSMALLINT col, SQLSMALLINT cType, T& out) {
        SQLLEN length = 0;
        c_.check(SQLGetData(s_, col, cType, &out, sizeof out, &length), SQL_HANDLE_STMT, s_);
        return length != SQL_NULL_DATA;
    }

    Variant read(SQLUSMALLINT col, SQLSMALLINT sqlType, int adoType) {
        switch (adoType) {
            case adtype::SmallInt: {
                SQLSMALLINT v = 0;
                return fixed(col, SQL_C_SSHORT, v) ? Variant(static_cast<std::int16_t>(v)) : Variant::null();
            }
            case adtype::Integer:
            case adtype::BigInt: {
                SQLBIGINT v = 0;
                if (!fixed(col, SQL_C_SBIGINT, v)) return Variant::null();
                if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<std::int32_t>(v));
                return Variant(static_cast<double>(v));
            }
            case adtype::Double:
            case adtype::Numeric: {
                double v = 0;
                return fixed(col, SQL_C_DOUBLE, v) ? Variant(v) : Variant::null();
            }
            case adtype::Boolean: {
                unsigned char v = 0;
                return fixed(col, SQL_C_BIT, v) ? Variant(v != 0) : Variant::null();
            }
            case adtype::DBTimeStamp:
                return date(col, sqlType);
            case adtype::LongVarBinary: {
                std::string v;
                return bytes(col, v) ? Variant(std::move(v)) : Variant::null();
            }
            default: {
                std::string v;
                return text(col, v) ? Variant(std::move(v)) : Variant::null();
            }
        }
    }

private:
    // SQLite keeps dates as text, and a text that is no date comes back as the text (as the native
    // provider reads it); the other engines hand the driver a real date, read as its parts.
    Variant date(SQLUSMALLINT col, SQLSMALLINT sqlType) {
        if (c_.dbms == Dbms::SQLite) {
            std::string v;
            if (!text(col, v)) return Variant::null();
            if (auto serial = detail::parseDateTime(v)) return Variant::date(*serial);
            return Variant(std::move(v));
        }
        com::DateParts parts;
        if (sqlType == SQL_TYPE_TIME || sqlType == SQL_TIME) {
            SQL_TIME_STRUCT t{};
            if (!fixed(col, SQL_C_TYPE_TIME, t)) return Variant::null();
            parts.hour = t.hour;
            parts.minute = t.minute;
            parts.second = t.second;
        } else {
            SQL_TIMESTAMP_STRUCT t{};
            if (!fixed(col, SQL_C_TYPE_TIMESTAMP, t)) return Variant::null();
            parts = {t.year, t.month, t.day, t.hour, t.minute, static_cast<int>(t.second)};
        }
        if (auto serial = com::makeDate(parts)) return Variant::date(*serial);
        throw ComError(hr::CantConvertValue, "date value out of range").withSqlState("22008");
    }

    const Connection& c_;
    SQLHSTMT s_;
};

// ---- result sets --------------------------------------------------------------------------------

struct Described {
    std::vector<ColumnInfo> columns;
    std::vector<SQLSMALLINT> sqlTypes;
};

std::string columnText(const Connection& c, SQLHSTMT s, SQLUSMALLINT col, SQLUSMALLINT field) {
    SQLWCHAR buf[256];
    SQLSMALLINT bytes = 0;
    const SQLRETURN rc = SQLColAttributeW(s, col, field, buf, sizeof buf, &bytes, nullptr);
    // A driver that does not know the base table of a column says so by failing; the column is
    // then taken as computed.
    if (!SQL_SUCCEEDED(rc)) return {};
    (void)c;
    const std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(bytes, 0)) /
                                                        sizeof(SQLWCHAR),
                                                    sizeof buf / sizeof(SQLWCHAR) - 1);
    return narrow(buf, units);
}

Described describe(const Connection& c, SQLHSTMT s, SQLSMALLINT count) {
    Described d;
    d.columns.resize(static_cast<std::size_t>(count));
    d.sqlTypes.resize(static_cast<std::size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
        const auto col = static_cast<SQLUSMALLINT>(i + 1);
        std::vector<SQLWCHAR> name(128);
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        c.check(SQLDescribeColW(s, col, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength, &type,
                                &size, &digits, &nullable),
                SQL_HANDLE_STMT, s);
        if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
            name.resize(static_cast<std::size_t>(nameLength) + 1);
            c.check(SQLDescribeColW(s, col, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                    &type, &size, &digits, &nullable),
                    SQL_HANDLE_STMT, s);
        }
        ColumnInfo& info = d.columns[static_cast<std::size_t>(i)];
        info.name = narrow(name.data(), static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)));
        info.adoType = adoTypeFor(type);
        info.baseTable = columnText(c, s, col, SQL_DESC_BASE_TABLE_NAME);
        if (!info.baseTable.empty()) info.baseColumn = columnText(c, s, col, SQL_DESC_BASE_COLUMN_NAME);
        if (info.baseColumn.empty()) info.baseTable.clear();
        d.sqlTypes[static_cast<std::size_t>(i)] = type;
    }
    return d;
}

class OdbcResultSet final : public ResultSet {
public:
    OdbcResultSet(std::shared_ptr<Connection> conn, StmtPtr stmt, Described described, std::int64_t rowsAffected)
        : conn_(std::move(conn)),
          stmt_(std::move(stmt)),
          columns_(std::move(described.columns)),
          sqlTypes_(std::move(described.sqlTypes)),
          rowsAffected_(rowsAffected) {}

    const std::vector<ColumnInfo>& columns() const override { return columns_; }

    bool next(std::vector<Variant>& row) override {
        if (!stmt_) return false;
        const SQLRETURN rc = SQLFetch(stmt_.get());
        if (rc == SQL_NO_DATA) {
            stmt_.reset();
            return false;
        }
        conn_->check(rc, SQL_HANDLE_STMT, stmt_.get());
        row.resize(columns_.size());
        ValueReader reader(*conn_, stmt_.get());
        for (std::size_t i = 0; i < columns_.size(); ++i)
            row[i] = reader.read(static_cast<SQLUSMALLINT>(i + 1), sqlTypes_[i], columns_[i].adoType);
        return true;
    }

    std::int64_t rowsAffected() const override { return rowsAffected_; }

private:
    std::shared_ptr<Connection> conn_;  // declared first, so that the statement is freed before
    StmtPtr stmt_;
    std::vector<ColumnInfo> columns_;
    std::vector<SQLSMALLINT> sqlTypes_;
    std::int64_t rowsAffected_;
};

// ---- the session ------------------------------------------------------------------------------------

// The "?" markers outside literals, quoted identifiers and comments.
int countMarkers(std::string_view sql, bool bracketsQuote) {
    int count = 0;
    for (std::size_t i = 0; i < sql.size();) {
        const std::size_t skipped = detail::skipNonCode(sql, i, bracketsQuote);
        if (skipped != i) {
            i = skipped;
            continue;
        }
        if (sql[i] == '?') ++count;
        ++i;
    }
    return count;
}

bool validProcedureName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return detail::isIdentChar(static_cast<unsigned char>(c)) || c == '.';
    });
}

// A statement that has run: its handle while it has rows to give, and its outcome.
struct Ran {
    StmtPtr stmt;
    SQLSMALLINT columns = 0;
    std::int64_t affected = 0;
};

class OdbcSession final : public Session {
public:
    explicit OdbcSession(std::shared_ptr<Connection> conn) : conn_(std::move(conn)) {}

    std::unique_ptr<ResultSet> executeStatement(std::string_view sql, std::span<const Variant> params,
                                                int timeoutSeconds) override {
        const std::string ran = repairNumberKeywordJoins(sql);
        notifyStatement(sql, ran);
        const int markers = countMarkers(ran, conn_->dbms != Dbms::PostgreSQL);
        if (params.size() < static_cast<std::size_t>(markers))
            throw ComError(hr::ParamNotOptional, detail::kMissingParamsText);
        if (params.size() > static_cast<std::size_t>(markers))
            throw ComError(hr::ErrorsInCommand, std::to_string(params.size()) + " parameter values for " +
                                                    std::to_string(markers) + " parameter markers");
        Ran r = run(ran, params, timeoutSeconds);
        if (r.columns == 0) return std::make_unique<OdbcResultSet>(conn_, nullptr, Described{}, r.affected);
        Described d = describe(*conn_, r.stmt.get(), r.columns);
        return std::make_unique<OdbcResultSet>(conn_, std::move(r.stmt), std::move(d), -1);
    }

    void callProcedureStatement(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) override {
        switch (conn_->dbms) {
            case Dbms::PostgreSQL:
                return callFunction(name, params, timeoutSeconds);
            case Dbms::SQLite:
                return callStoredBody(name, params, timeoutSeconds);
            default:
                return callEscape(name, params, timeoutSeconds);
        }
    }

    std::vector<std::string> readPrimaryKey(std::string_view table) override {
        // The SQLite ODBC driver lists key columns in the table's column order, not the key's; the
        // engine's own table_info knows the key order (as the native SQLite provider reads it).
        if (conn_->dbms == Dbms::SQLite) {
            const Variant name[] = {Variant(table)};
            Ran r = run("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk", name, 0);
            Described d = describe(*conn_, r.stmt.get(), r.columns);
            OdbcResultSet rows(conn_, std::move(r.stmt), std::move(d), -1);
            std::vector<std::string> key;
            std::vector<Variant> row;
            while (rows.next(row)) key.push_back(com::CStr(row[0]));
            return key;
        }
        std::string schema, relation(table);
        if (const std::size_t dot = table.rfind('.'); dot != std::string_view::npos) {
            schema = std::string(table.substr(0, dot));
            relation = std::string(table.substr(dot + 1));
        }
        auto unquote = [](std::string& s) {
            if (s.size() >= 2 && (s.front() == '"' || s.front() == '[')) s = s.substr(1, s.size() - 2);
        };
        unquote(schema);
        unquote(relation);
        // Catalog functions compare names as the engine stores them: PostgreSQL folds unquoted names
        // to lower case, Oracle to upper case. The spelling given is tried first.
        std::vector<std::string> spellings{relation};
        for (std::string s : {detail::lowerAscii(relation), upperAscii(relation)})
            if (std::find(spellings.begin(), spellings.end(), s) == spellings.end()) spellings.push_back(s);
        for (const std::string& spelling : spellings) {
            std::vector<std::string> key = keyColumns(schema, spelling);
            if (!key.empty()) return key;
        }
        return {};
    }

    bool probe() override {
        SQLUINTEGER dead = SQL_CD_FALSE;
        if (SQL_SUCCEEDED(SQLGetConnectAttr(conn_->dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
            dead == SQL_CD_TRUE)
            return false;
        try {
            Ran r = run(conn_->dbms == Dbms::Oracle ? "SELECT 1 FROM DUAL" : "SELECT 1", {}, 0);
            return true;
        } catch (const ComError&) {
            return false;  // the answer is "not alive"; the pool drops the session
        }
    }

    void reset() override {
        // Sessions run in autocommit mode; a transaction opened by a statement of the caller's is
        // rolled back as the engine spells it, and a failure means there was none to roll back.
        SQLEndTran(SQL_HANDLE_DBC, conn_->dbc, SQL_ROLLBACK);
        if (conn_->dbms == Dbms::SQLite || conn_->dbms == Dbms::PostgreSQL) {
            try {
                run("ROLLBACK", {}, 0);
            } catch (const ComError&) {
                // No transaction was open: nothing to undo.
            }
        }
        // A SET statement_timeout made inside the transaction is undone with it.
        postgresTimeoutMs_ = -1;
    }

    std::string_view engine() const override { return conn_->engine; }

private:
    static std::string upperAscii(std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return out;
    }

    // Runs sql (already repaired) with its parameters bound in order.
    Ran run(const std::string& sql, std::span<const Variant> params, int timeoutSeconds) {
        if (sql.find('\0') != std::string::npos)
            throw ComError(hr::ErrorsInCommand, "the statement text contains a NUL character");
        Ran r;
        // psqlODBC carries out a statement's query timeout as a SET before it and another after it;
        // the session's limit is set once instead, and again only when it changes (as the native
        // PostgreSQL provider does).
        if (conn_->dbms == Dbms::PostgreSQL) applyPostgresTimeout(timeoutSeconds);
        r.stmt = conn_->statement(conn_->dbms == Dbms::PostgreSQL ? 0 : timeoutSeconds);
        SQLHSTMT s = r.stmt.get();
        std::deque<ParamBuffer> buffers;
        for (std::size_t i = 0; i < params.size(); ++i)
            bindValue(*conn_, s, static_cast<SQLUSMALLINT>(i + 1), params[i], buffers.emplace_back());
        const SQLRETURN rc = execDirect(*conn_, s, sql);
        if (rc == SQL_NO_DATA) return r;  // a searched UPDATE or DELETE that touched no row
        conn_->check(rc, SQL_HANDLE_STMT, s);
        conn_->check(SQLNumResultCols(s, &r.columns), SQL_HANDLE_STMT, s);
        if (r.columns == 0) {
            SQLLEN count = 0;
            conn_->check(SQLRowCount(s, &count), SQL_HANDLE_STMT, s);
            r.affected = std::max<SQLLEN>(count, 0);
            r.stmt.reset();
        } else {
            r.affected = -1;
        }
        return r;
    }

    void applyPostgresTimeout(int timeoutSeconds) {
        const long long ms = timeoutSeconds > 0 ? timeoutSeconds * 1000LL : 0;
        if (ms == postgresTimeoutMs_) return;
        StmtPtr stmt = conn_->statement(0);
        conn_->check(execDirect(*conn_, stmt.get(), "SET statement_timeout = " + std::to_string(ms)),
                     SQL_HANDLE_STMT, stmt.get());
        postgresTimeoutMs_ = ms;
    }

    // The first row of a statement's result, by column name; empty row when it returned none.
    struct FirstRow {
        std::vector<std::string> names;
        std::vector<Variant> row;
    };
    FirstRow firstRow(Ran& r) {
        FirstRow out;
        if (r.columns == 0) return out;
        Described d = describe(*conn_, r.stmt.get(), r.columns);
        for (auto& c : d.columns) out.names.push_back(c.name);
        OdbcResultSet rows(conn_, std::move(r.stmt), std::move(d), -1);
        std::vector<Variant> row;
        if (rows.next(row)) out.row = std::move(row);
        return out;
    }

    void fillOutputs(std::string_view name, std::span<ProcedureParam> params, const FirstRow& result) {
        for (ProcedureParam& p : params) {
            if (p.direction == 1) continue;
            auto it = std::find_if(result.names.begin(), result.names.end(),
                                   [&](const std::string& n) { return detail::equalsNoCase(n, p.name); });
            std::size_t index = static_cast<std::size_t>(it - result.names.begin());
            if (it == result.names.end()) {
                if (p.direction != 4 || result.names.empty())
                    throw ComError(hr::ErrorsInCommand,
                                   "procedure " + std::string(name) + " returned no column named " + p.name);
                index = 0;  // a return value without a column of its name: the first column
            }
            p.value = result.row.empty() ? Variant::null() : result.row[index];
        }
    }

    // PostgreSQL: a function, whose output parameters are the columns of its one row.
    void callFunction(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) {
        std::string ran = "SELECT * FROM " + std::string(name) + "(";
        std::vector<Variant> inputs;
        for (const ProcedureParam& p : params) {
            if (p.direction != 1 && p.direction != 3) continue;
            inputs.push_back(p.value);
            ran += inputs.size() > 1 ? ", ?" : "?";
        }
        ran += ")";
        notifyStatement(name, ran);
        // The name goes into the statement text, so it must be a name and nothing more.
        if (!validProcedureName(name))
            throw ComError(hr::ErrorsInCommand, "invalid procedure name: " + std::string(name));
        Ran r = run(ran, inputs, timeoutSeconds);
        fillOutputs(name, params, firstRow(r));
    }

    // SQLite: the body kept in sys_procedures, run statement by statement as one unit; named
    // markers (:name, @name, $name) take the values of the parameters of those names.
    void callStoredBody(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) {
        const std::string missing = "no such procedure: " + std::string(name);
        std::string body;
        try {
            const Variant key[] = {Variant(name)};
            Ran r = run("SELECT body FROM sys_procedures WHERE name = ? COLLATE NOCASE", key, timeoutSeconds);
            FirstRow found = firstRow(r);
            if (found.row.empty() || found.row[0].type() != VarType::String)
                throw ComError(hr::ErrorsInCommand, missing);
            body = found.row[0].rawString();
        } catch (const ComError& e) {
            // A database without sys_procedures simply has no procedures.
            if (e.sqlState() == "42S02") throw ComError(hr::ErrorsInCommand, missing);
            throw;
        }
        const std::string ran = repairNumberKeywordJoins(body);
        notifyStatement(name, ran);
        run("SAVEPOINT orvan_procedure", {}, timeoutSeconds);
        FirstRow outcome;
        try {
            for (const std::string& statement : splitBody(ran)) {
                std::vector<std::string> names;
                const std::string positional = positionalMarkers(statement, names);
                std::vector<Variant> values;
                for (const std::string& wanted : names) {
                    auto it = std::find_if(params.begin(), params.end(), [&](const ProcedureParam& p) {
                        return detail::equalsNoCase(p.name, wanted);
                    });
                    if (it == params.end())
                        throw ComError(hr::ParamNotOptional, std::string(detail::kMissingParamsText) + " (" + wanted +
                                                                 " in procedure " + std::string(name) + ")");
                    // Output-only parameters have no value to give yet.
                    values.push_back(it->direction == 1 || it->direction == 3 ? it->value : Variant::null());
                }
                Ran r = run(rowsFromReturning(positional), values, timeoutSeconds);
                if (r.columns > 0) outcome = firstRow(r);
            }
        } catch (const ComError&) {
            try {
                run("ROLLBACK TO orvan_procedure", {}, 0);
                run("RELEASE orvan_procedure", {}, 0);
            } catch (const ComError&) {
                // The failure may already have ended the transaction, savepoint included; the
                // original error is the one to report.
            }
            throw;
        }
        run("RELEASE orvan_procedure", {}, timeoutSeconds);
        fillOutputs(name, params, outcome);
    }

    // The SQLite ODBC driver gives rows only for statements that begin with SELECT or WITH; an
    // INSERT, UPDATE or DELETE with RETURNING runs, but its rows are dropped. Behind an empty WITH
    // clause the same statement hands them over.
    static std::string rowsFromReturning(const std::string& statement) {
        const std::string lower = detail::lowerAscii(statement);
        const std::size_t start = lower.find_first_not_of(" \t\r\n");
        if (start == std::string::npos || lower.compare(start, 4, "with") == 0 || lower.compare(start, 6, "select") == 0)
            return statement;
        for (std::size_t i = 0; i < lower.size();) {
            const std::size_t skipped = detail::skipNonCode(lower, i, true);
            if (skipped != i) {
                i = skipped;
                continue;
            }
            const bool wordStart = i == 0 || !detail::isIdentChar(static_cast<unsigned char>(lower[i - 1]));
            if (wordStart && lower.compare(i, 9, "returning") == 0 &&
                (i + 9 == lower.size() || !detail::isIdentChar(static_cast<unsigned char>(lower[i + 9]))))
                return "WITH orvan_returning AS (SELECT 1) " + statement.substr(start);
            ++i;
        }
        return statement;
    }

    // The statements of a body, split at the ';' that end them outside literals and comments.
    static std::vector<std::string> splitBody(std::string_view body) {
        std::vector<std::string> out;
        std::size_t start = 0;
        auto flush = [&](std::size_t end) {
            std::string_view part = body.substr(start, end - start);
            if (part.find_first_not_of(" \t\r\n") != std::string_view::npos) out.emplace_back(part);
        };
        for (std::size_t i = 0; i < body.size();) {
            const std::size_t skipped = detail::skipNonCode(body, i, true);
            if (skipped != i) {
                i = skipped;
                continue;
            }
            if (body[i] == ';') {
                flush(i);
                start = i + 1;
            }
            ++i;
        }
        flush(body.size());
        return out;
    }

    // The statement with its named markers written "?"; names receives them in order.
    static std::string positionalMarkers(std::string_view sql, std::vector<std::string>& names) {
        std::string out;
        for (std::size_t i = 0; i < sql.size();) {
            const std::size_t skipped = detail::skipNonCode(sql, i, true);
            if (skipped != i) {
                out.append(sql.substr(i, skipped - i));
                i = skipped;
                continue;
            }
            const char c = sql[i];
            const bool marker = (c == ':' || c == '@' || c == '$') && i + 1 < sql.size() &&
                                detail::isIdentStart(static_cast<unsigned char>(sql[i + 1]));
            if (!marker) {
                out += c;
                ++i;
                continue;
            }
            std::size_t end = i + 1;
            while (end < sql.size() && detail::isIdentChar(static_cast<unsigned char>(sql[end])) && sql[end] != '$')
                ++end;
            names.emplace_back(sql.substr(i + 1, end - i - 1));
            out += '?';
            i = end;
        }
        return out;
    }

    // The ODBC call escape, {? = call name(?, ...)}, with output parameters bound to buffers.
    void callEscape(std::string_view name, std::span<ProcedureParam> params, int timeoutSeconds) {
        const auto returned = std::find_if(params.begin(), params.end(), [](const ProcedureParam& p) {
            return p.direction == 4;
        });
        std::string ran = returned != params.end() ? "{? = call " : "{call ";
        ran += std::string(name) + "(";
        int listed = 0;
        for (const ProcedureParam& p : params)
            if (p.direction != 4) ran += listed++ ? ", ?" : "?";
        ran += ")}";
        notifyStatement(name, ran);
        if (!validProcedureName(name))
            throw ComError(hr::ErrorsInCommand, "invalid procedure name: " + std::string(name));
        StmtPtr stmt = conn_->statement(timeoutSeconds);
        SQLHSTMT s = stmt.get();
        std::deque<ParamBuffer> buffers;
        std::vector<std::pair<ProcedureParam*, ParamBuffer*>> outputs;
        SQLUSMALLINT index = 0;
        auto bindOne = [&](ProcedureParam& p) {
            ParamBuffer& b = buffers.emplace_back();
            ++index;
            if (p.direction == 1) return bindValue(*conn_, s, index, p.value, b);
            const SQLSMALLINT io = p.direction == 3 ? SQL_PARAM_INPUT_OUTPUT : SQL_PARAM_OUTPUT;
            outputs.emplace_back(&p, &b);
            bindOutput(s, index, io, p, b);
        };
        if (returned != params.end()) bindOne(*returned);
        for (ProcedureParam& p : params)
            if (p.direction != 4) bindOne(p);
        SQLRETURN rc = execDirect(*conn_, s, ran);
        if (rc != SQL_NO_DATA) conn_->check(rc, SQL_HANDLE_STMT, s);
        // Output parameters arrive once every result of the call has been consumed.
        while (SQL_SUCCEEDED(rc = SQLMoreResults(s))) {
        }
        if (rc != SQL_NO_DATA) conn_->check(rc, SQL_HANDLE_STMT, s);
        for (auto [p, b] : outputs) p->value = outputValue(*p, *b);
    }

    void bindOutput(SQLHSTMT s, SQLUSMALLINT index, SQLSMALLINT io, const ProcedureParam& p, ParamBuffer& b) {
        const bool input = io == SQL_PARAM_INPUT_OUTPUT && !p.value.isNull() && !p.value.isEmpty();
        auto bind = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, void* value, SQLLEN length) {
            if (!input) b.indicator = SQL_NULL_DATA;
            conn_->check(SQLBindParameter(s, index, io, cType, sqlType, size, 0, value, length, &b.indicator),
                         SQL_HANDLE_STMT, s);
        };
        switch (p.adoType) {
            case adtype::SmallInt:
            case adtype::Integer:
            case adtype::BigInt:
                if (input) b.bigint = com::CLng(p.value);
                return bind(SQL_C_SBIGINT, p.adoType == adtype::BigInt ? SQL_BIGINT : SQL_INTEGER, 19, &b.bigint,
                            0);
            case adtype::Double:
            case adtype::Numeric:
                if (input) b.real = com::CDbl(p.value);
                return bind(SQL_C_DOUBLE, SQL_DOUBLE, 15, &b.real, 0);
            case adtype::Boolean:
                if (input) b.bit = com::CBool(p.value) ? 1 : 0;
                return bind(SQL_C_BIT, SQL_BIT, 1, &b.bit, 0);
            case adtype::Date:
            case adtype::DBTimeStamp:
                if (input) b.stamp = stampOf(com::CDate(p.value));
                return bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, &b.stamp, sizeof b.stamp);
            default:
                if (input) {
                    b.text = wide(com::CStr(p.value));
                    b.indicator = static_cast<SQLLEN>(b.text.size() * sizeof(SQLWCHAR));
                } else {
                    b.indicator = SQL_NULL_DATA;
                }
                return bindText(*conn_, s, index, io, b, kOutputText);
        }
    }

    static Variant outputValue(const ProcedureParam& p, const ParamBuffer& b) {
        if (b.indicator == SQL_NULL_DATA) return Variant::null();
        switch (p.adoType) {
            case adtype::SmallInt:
                return Variant(static_cast<std::int16_t>(b.bigint));
            case adtype::Integer:
            case adtype::BigInt:
                if (b.bigint >= INT32_MIN && b.bigint <= INT32_MAX) return Variant(static_cast<std::int32_t>(b.bigint));
                return Variant(static_cast<double>(b.bigint));
            case adtype::Double:
            case adtype::Numeric:
                return Variant(b.real);
            case adtype::Boolean:
                return Variant(b.bit != 0);
            case adtype::Date:
            case adtype::DBTimeStamp: {
                const com::DateParts parts{b.stamp.year, b.stamp.month, b.stamp.day,
                                           b.stamp.hour, b.stamp.minute, static_cast<int>(b.stamp.second)};
                if (auto serial = com::makeDate(parts)) return Variant::date(*serial);
                return Variant::null();
            }
            default: {
                const std::size_t units = std::min(static_cast<std::size_t>(b.indicator) / sizeof(SQLWCHAR),
                                                   b.text.size());
                return Variant(narrow(b.text.data(), units));
            }
        }
    }

    // The key columns SQLPrimaryKeys lists for one spelling of the table name, in key order.
    std::vector<std::string> keyColumns(const std::string& schema, const std::string& table) {
        StmtPtr stmt = conn_->statement(0);
        SQLHSTMT s = stmt.get();
        WText wSchema = wide(schema), wTable = wide(table);
        conn_->check(SQLPrimaryKeysW(s, nullptr, 0, schema.empty() ? nullptr : wSchema.data(),
                                     schema.empty() ? 0 : static_cast<SQLSMALLINT>(wSchema.size()), wTable.data(),
                                     static_cast<SQLSMALLINT>(wTable.size())),
                     SQL_HANDLE_STMT, s);
        std::vector<std::pair<SQLSMALLINT, std::string>> columns;
        ValueReader reader(*conn_, s);
        SQLRETURN rc;
        while ((rc = SQLFetch(s)) != SQL_NO_DATA) {
            conn_->check(rc, SQL_HANDLE_STMT, s);
            std::string column;
            SQLSMALLINT sequence = 0;
            reader.text(4, column);  // COLUMN_NAME
            reader.fixed(5, SQL_C_SSHORT, sequence);  // KEY_SEQ
            columns.emplace_back(sequence, std::move(column));
        }
        std::stable_sort(columns.begin(), columns.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> key;
        for (auto& [sequence, column] : columns) key.push_back(std::move(column));
        return key;
    }

    std::shared_ptr<Connection> conn_;
    long long postgresTimeoutMs_ = -1;  // PostgreSQL's statement_timeout as last set; -1 unknown
};

// SQL_DBMS_NAME as the system names engines.
std::pair<Dbms, std::string> engineOf(std::string_view dbmsName) {
    const std::string lower = detail::lowerAscii(dbmsName);
    if (lower.find("postgres") != std::string::npos) return {Dbms::PostgreSQL, "postgresql"};
    if (lower.find("sqlite") != std::string::npos) return {Dbms::SQLite, "sqlite"};
    if (lower.find("sql server") != std::string::npos) return {Dbms::SqlServer, "sqlserver"};
    if (lower.find("oracle") != std::string::npos) return {Dbms::Oracle, "oracle"};
    return {Dbms::Other, lower};
}

// The process's ODBC environment for listing drivers (a session has its own).
struct Environment {
    SQLHENV env = nullptr;
    Environment() {
        if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
            SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~Environment() {
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;
};

}  // namespace

OdbcDriverSettings installedOdbcDrivers() {
    OdbcDriverSettings settings;
    if (const char* tds = std::getenv("ORVAN_ODBC_TDS_DRIVER")) settings.tdsDriver = tds;
    if (const char* oracle = std::getenv("ORVAN_ODBC_ORACLE_DRIVER")) settings.oracleDriver = oracle;
    Environment e;
    if (!e.env) return settings;
    SQLWCHAR name[256], attributes[1024];
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversW(e.env, direction, name, 256, &nameLength, attributes, 1024, &attributesLength))) {
        settings.installed.push_back(narrow(name, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(nameLength, 0, 255))));
        direction = SQL_FETCH_NEXT;
    }
    return settings;
}

std::unique_ptr<Session> openOdbcSession(const ConnectionString& cs, int connectTimeoutSeconds) {
    const OdbcConnectionText target = translateToOdbc(cs, installedOdbcDrivers());
    auto conn = std::make_shared<Connection>();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &conn->env)))
        throw ComError(hr::Fail, "the ODBC driver manager could not be initialised").withSqlState("HY001");
    conn->check(SQLSetEnvAttr(conn->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                SQL_HANDLE_ENV, conn->env);
    conn->check(SQLAllocHandle(SQL_HANDLE_DBC, conn->env, &conn->dbc), SQL_HANDLE_ENV, conn->env);
    if (connectTimeoutSeconds > 0) {
        const auto seconds = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connectTimeoutSeconds));
        conn->check(SQLSetConnectAttr(conn->dbc, SQL_ATTR_LOGIN_TIMEOUT, seconds, 0), SQL_HANDLE_DBC, conn->dbc);
        // Also bounds the other requests on the connection that are no statement (FreeTDS reads it).
        SQLSetConnectAttr(conn->dbc, SQL_ATTR_CONNECTION_TIMEOUT, seconds, 0);
    }
    WText text = wide(target.text);
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(conn->dbc, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()),
                                           nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        Diagnostic d = firstDiagnostic(SQL_HANDLE_DBC, conn->dbc);
        const bool login = d.state.starts_with("28");
        // Every failure to connect is a connection failure to the caller, whatever state the driver
        // chose (psqlODBC reports a refused connection as 08001, FreeTDS as 08001 or HYT00).
        const bool kept = login || d.state.starts_with("08") || d.state == "IM002" || d.state == "IM003" ||
                          d.state == "HYT01";
        const std::string state = kept ? d.state : "08001";
        throw ComError(login ? hr::AuthFailed : hr::Fail, d.message + " (" + target.masked + ")").withSqlState(state);
    }
    conn->connected = true;
    SQLWCHAR dbms[128] = {};
    SQLSMALLINT dbmsBytes = 0;
    conn->check(SQLGetInfoW(conn->dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &dbmsBytes), SQL_HANDLE_DBC, conn->dbc);
    std::tie(conn->dbms, conn->engine) =
        engineOf(narrow(dbms, std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(dbmsBytes, 0)) /
                                                        sizeof(SQLWCHAR),
                                                    127)));
    return std::make_unique<OdbcSession>(std::move(conn));
}

}  // namespace orvan::data
