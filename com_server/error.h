// The one error type of the system, shaped like a COM error: a signed 32-bit number, a description
// and a source, plus the SQLSTATE and native code when a database raised it. Infrastructure throws it;
// business methods trap it in their failure helper.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "com_server/error_numbers.h"

namespace orvan::com {

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
    const char* what() const noexcept override { return description_.c_str(); }

    // A run-time error of the classic Basic runtime by its number, with its standard text
    // (runtimeErrorText).
    static ComError basic(std::int32_t number, std::string source = {});

private:
    std::int32_t number_;
    std::string description_;
    std::string source_;
    std::string sqlState_;
};

// Thrown by Response.End: stops the page. It is deliberately not a ComError, so that no trapping
// method and no script try/catch can swallow it.
struct ResponseEnded {};

}  // namespace orvan::com
