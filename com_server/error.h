// The one error type of the system, shaped like a COM error: a signed 32-bit number, a description
// and a source, plus the SQLSTATE and the statement when a database raised it; the category callers
// decide on (from the SQLSTATE only); and the one mapping from any exception to such an error.
// Infrastructure throws it; business methods and the page host trap it through failureOfCurrentException.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "com_server/error_numbers.h"

namespace orvan::com {

// What kind of failure a database error is, for callers that react to it (retry, "no schema yet",
// "cannot connect"). Decided from the SQLSTATE class, never from the message.
enum class ErrorCategory {
    Other,             // no SQLSTATE, or one of no class below (syntax errors included)
    Constraint,        // 23xxx: unique, foreign key, not null, check
    Conflict,          // 40xxx: serialization failure, deadlock; a locked SQLite database
    ConnectionFailed,  // 08xxx: cannot connect, connection lost; 57P0x: the server is going away
    NotAllowed,        // 28xxx: login refused; 42501: insufficient privilege; 25006: read-only
    UndefinedObject,   // 42P01 undefined table, 42703 undefined column, 42883 undefined function
    InvalidData,       // 22xxx: value too long, out of range, not convertible
    Cancelled,         // 57014: the statement's time ran out
};

// The category of a SQLSTATE (five characters; anything else is Other).
ErrorCategory errorCategory(std::string_view sqlState) noexcept;

class ComError : public std::exception {
public:
    ComError(std::int32_t number, std::string description, std::string source = {});

    std::int32_t number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& sqlState() const noexcept { return sqlState_; }
    ComError& withSqlState(std::string state) {
        sqlState_ = std::move(state);
        return *this;
    }
    // The statement that failed, where the database layer knew it; empty otherwise.
    const std::string& statement() const noexcept { return statement_; }
    ComError& withStatement(std::string sql) {
        statement_ = std::move(sql);
        return *this;
    }
    ErrorCategory category() const noexcept { return errorCategory(sqlState_); }
    const char* what() const noexcept override { return description_.c_str(); }

    // A run-time error of the classic Basic runtime by its number, with its standard text
    // (runtimeErrorText).
    static ComError basic(std::int32_t number, std::string source = {});

private:
    std::int32_t number_;
    std::string description_;
    std::string source_;
    std::string sqlState_;
    std::string statement_;
};

// The error the exception in flight stands for; call only inside a catch block. A ComError comes back
// as it is, std::bad_alloc as error 7 "Out of memory", any other std::exception as E_FAIL with its
// text. ResponseEnded and exceptions that are not std::exception are rethrown: they are no failure.
ComError failureOfCurrentException();

// Thrown by Response.End: stops the page. It is deliberately not a ComError, so that no trapping
// method and no script try/catch can swallow it.
struct ResponseEnded {};

}  // namespace orvan::com
