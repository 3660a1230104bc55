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
    // (runtimeErrorText).
    static ComError basic(std::int32_t number, std::string source = {});

private:
    std::int32_t number_;
    std::string description_;
    std::string source_;
    std::string sqlState_;
};

// The classic runtime's error numbers used across the system. Their texts: runtimeErrorText().
namespace err {
inline constexpr std::int32_t InvalidCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t ArrayFixed = 10;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t OutOfStringSpace = 14;
inline constexpr std::int32_t CantPerformOperation = 17;
inline constexpr std::int32_t OutOfStackSpace = 28;
inline constexpr std::int32_t SubOrFunctionNotDefined = 35;
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t PermissionDenied = 70;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t ObjectNotSet = 91;
inline constexpr std::int32_t ForLoopNotInitialized = 92;
inline constexpr std::int32_t InvalidPatternString = 93;
inline constexpr std::int32_t InvalidUseOfNull = 94;
inline constexpr std::int32_t ObjectRequired = 424;
inline constexpr std::int32_t CantCreateObject = 429;
inline constexpr std::int32_t NoAutomation = 430;
inline constexpr std::int32_t NotSupported = 438;
inline constexpr std::int32_t AutomationError = 440;
inline constexpr std::int32_t ActionNotSupported = 445;
inline constexpr std::int32_t NamedArgumentsNotSupported = 446;
inline constexpr std::int32_t ArgumentNotOptional = 449;
inline constexpr std::int32_t WrongArgumentCount = 450;
inline constexpr std::int32_t NotACollection = 451;
inline constexpr std::int32_t KeyAlreadyAssociated = 457;
inline constexpr std::int32_t UnsupportedAutomationType = 458;
inline constexpr std::int32_t VariableUndefined = 500;
inline constexpr std::int32_t IllegalAssignment = 501;
inline constexpr std::int32_t InvalidReference = 505;
inline constexpr std::int32_t ClassNotDefined = 506;
inline constexpr std::int32_t ExceptionOccurred = 507;
inline constexpr std::int32_t RegExpObjectExpected = 5016;
inline constexpr std::int32_t RegExpSyntax = 5017;
inline constexpr std::int32_t RegExpUnexpectedQuantifier = 5018;
inline constexpr std::int32_t RegExpExpectedBracket = 5019;
inline constexpr std::int32_t RegExpExpectedParen = 5020;
inline constexpr std::int32_t RegExpInvalidRange = 5021;
inline constexpr std::int32_t ElementNotFound = 32811;
// CO_E_CLASSSTRING: no class is registered under the ProgID.
inline constexpr std::int32_t InvalidClassString = static_cast<std::int32_t>(0x800401F3u);
// CO_E_NOTINITIALIZED-like: no object context on this thread.
inline constexpr std::int32_t NoObjectContext = static_cast<std::int32_t>(0x8004E004u);
}  // namespace err

// The classic runtime's English text for one of its error numbers; "Application-defined or
// object-defined error" for a number it does not know.
const char* runtimeErrorText(std::int32_t number) noexcept;

// Thrown by Response.End: stops the page. It is deliberately not a ComError, so that no trapping
// method and no script try/catch can swallow it.
struct ResponseEnded {};

}  // namespace orvan::com
