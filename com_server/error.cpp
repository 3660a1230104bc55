// The error type and the texts of the classic runtime's errors.
#include "com_server/error.h"

namespace orvan::com {

ComError::ComError(std::int32_t number, std::string description, std::string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {}

namespace {

struct NumberedText {
    std::int32_t number;
    const char* text;
};

// The runtime's own texts, as its language reference lists them.
constexpr NumberedText kRuntimeTexts[] = {
    {err::InvalidCall, "Invalid procedure call or argument"},
    {err::Overflow, "Overflow"},
    {err::OutOfMemory, "Out of memory"},
    {err::SubscriptOutOfRange, "Subscript out of range"},
    {err::ArrayFixed, "This array is fixed or temporarily locked"},
    {err::DivisionByZero, "Division by zero"},
    {err::TypeMismatch, "Type mismatch"},
    {err::OutOfStringSpace, "Out of string space"},
    {err::CantPerformOperation, "Can't perform requested operation"},
    {err::OutOfStackSpace, "Out of stack space"},
    {err::SubOrFunctionNotDefined, "Sub or Function not defined"},
    {err::InternalError, "Internal error"},
    {err::FileNotFound, "File not found"},
    {err::PermissionDenied, "Permission denied"},
    {err::PathNotFound, "Path not found"},
    {err::ObjectNotSet, "Object variable or With block variable not set"},
    {err::ForLoopNotInitialized, "For loop not initialized"},
    {err::InvalidPatternString, "Invalid pattern string"},
    {err::InvalidUseOfNull, "Invalid use of Null"},
    {err::ObjectRequired, "Object required"},
    {err::CantCreateObject, "ActiveX component can't create object"},
    {err::NoAutomation, "Class doesn't support Automation"},
    {err::NotSupported, "Object doesn't support this property or method"},
    {err::AutomationError, "Automation error"},
    {err::ActionNotSupported, "Object doesn't support this action"},
    {err::NamedArgumentsNotSupported, "Object doesn't support named arguments"},
    {err::ArgumentNotOptional, "Argument not optional"},
    {err::WrongArgumentCount, "Wrong number of arguments or invalid property assignment"},
    {err::NotACollection, "Object not a collection"},
    {err::KeyAlreadyAssociated, "This key is already associated with an element of this collection"},
    {err::UnsupportedAutomationType, "Variable uses an Automation type not supported in VBScript"},
    {err::VariableUndefined, "Variable is undefined"},
    {err::IllegalAssignment, "Illegal assignment"},
    {err::InvalidReference, "Invalid or unqualified reference"},
    {err::ClassNotDefined, "Class not defined"},
    {err::ExceptionOccurred, "An exception occurred"},
    {err::RegExpObjectExpected, "Regular Expression object expected"},
    {err::RegExpSyntax, "Syntax error in regular expression"},
    {err::RegExpUnexpectedQuantifier, "Unexpected quantifier"},
    {err::RegExpExpectedBracket, "Expected ']' in regular expression"},
    {err::RegExpExpectedParen, "Expected ')' in regular expression"},
    {err::RegExpInvalidRange, "Invalid range in character set"},
    {err::ElementNotFound, "Element not found"},
};

}  // namespace

const char* runtimeErrorText(std::int32_t number) noexcept {
    for (const auto& e : kRuntimeTexts)
        if (e.number == number) return e.text;
    return "Application-defined or object-defined error";
}

ComError ComError::basic(std::int32_t number, std::string source) {
    return ComError(number, runtimeErrorText(number), std::move(source));
}

}  // namespace orvan::com
