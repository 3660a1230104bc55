// The one error type of the system, shaped like a COM error: a signed 32-bit number, a description
// and a source, plus the SQLSTATE and native code when a database raised it. Infrastructure throws it;
// business methods trap it in their failure helper.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

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
    // (5, 6, 9, 11, 13, 91, 94, 424, 438, 449, 450; others get "Application-defined or object-defined error").
    static ComError basic(std::int32_t number, std::string source = {});

private:
    std::int32_t number_;
    std::string description_;
    std::string source_;
    std::string sqlState_;
};

// The classic runtime's error numbers used across the system.
namespace err {
inline constexpr std::int32_t InvalidCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t ObjectNotSet = 91;
inline constexpr std::int32_t InvalidUseOfNull = 94;
inline constexpr std::int32_t ObjectRequired = 424;
inline constexpr std::int32_t NotSupported = 438;
inline constexpr std::int32_t ArgumentNotOptional = 449;
inline constexpr std::int32_t WrongArgumentCount = 450;
// CO_E_CLASSSTRING: no class is registered under the ProgID.
inline constexpr std::int32_t InvalidClassString = static_cast<std::int32_t>(0x800401F3u);
// CO_E_NOTINITIALIZED-like: no object context on this thread.
inline constexpr std::int32_t NoObjectContext = static_cast<std::int32_t>(0x8004E004u);
}  // namespace err

// Thrown by Response.End: stops the page. It is deliberately not a ComError, so that no trapping
// method and no script try/catch can swallow it.
struct ResponseEnded {};

}  // namespace orvan::com
