// The texts of the error catalogue: the classic runtime's, ADO's and the HRESULTs'.
#include "com_server/error_numbers.h"

namespace orvan::com {
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

// ADO's texts for its own errors and for the HRESULTs the ADO objects raise on their own account;
// nullptr for another number.
const char* adoOrProviderText(std::int32_t number) noexcept {
    switch (number) {
        case adoerr::InvalidArgument:
            return "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
                   "one "
                   "another.";
        case adoerr::NoCurrentRecord:
            return "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                   "requires a current record.";
        case adoerr::IllegalOperation:
            return "Operation is not allowed in this context.";
        case adoerr::InTransaction:
            return "Connection object cannot be explicitly closed while in a transaction.";
        case adoerr::FeatureNotAvailable:
            return "Current Recordset does not support updating. This may be a limitation of the provider, "
                   "or "
                   "of the selected locktype.";
        case adoerr::ItemNotFound:
            return "Item cannot be found in the collection corresponding to the requested name or ordinal.";
        case adoerr::ObjectNotSet:
            return "Object is no longer valid.";
        case adoerr::DataConversion:
            return "Application uses a value of the wrong type for the current operation.";
        case adoerr::ObjectClosed:
            return "Operation is not allowed when the object is closed.";
        case adoerr::ObjectOpen:
            return "Operation is not allowed when the object is open.";
        case adoerr::ProviderNotFound:
            return "Provider cannot be found. It may not be properly installed.";
        case adoerr::InvalidParamInfo:
            return "Parameter object is improperly defined. Inconsistent or incomplete information was "
                   "provided.";
        case adoerr::InvalidConnection:
            return "The connection cannot be used to perform this operation. It is either closed or invalid "
                   "in "
                   "this context.";
        case adoerr::OperationCancelled:
            return "Operation has been canceled by the user.";
        case adoerr::FieldsUpdateFailed:
            return "Fields update failed. For further information, examine the Status property of individual "
                   "field objects.";
        case hr::ConcurrencyViolation:
            return "Row cannot be located for updating. Some values may have been changed since it was last "
                   "read.";
        case hr::ErrorsOccurred:
            return "Multiple-step OLE DB operation generated errors. Check each OLE DB status value, if "
                   "available. No work was done.";
        case hr::ErrorsInCommand:
            return "One or more errors occurred during processing of command.";
        case hr::NoCommand:
            return "Command text was not set for the command object.";
        case hr::DeletedRow:
            return "A given HROW referred to a hard- or soft-deleted row.";
        case hr::NoTransaction:
            return "No transaction is active.";
        case hr::Fail:
            return "Unspecified error";
        default:
            return nullptr;
    }
}

}  // namespace

const char* runtimeErrorText(std::int32_t number) noexcept {
    for (const auto& e : kRuntimeTexts)
        if (e.number == number) return e.text;
    return "Application-defined or object-defined error";
}

const char* errorText(std::int32_t number) noexcept {
    if (const char* text = adoOrProviderText(number)) return text;
    return runtimeErrorText(number);
}

}  // namespace orvan::com
