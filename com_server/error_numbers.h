// The one catalogue of the error numbers the system raises or reports, with their texts: the classic
// runtime's numbers, the HRESULTs of COM and of the database providers (OLE DB's names), ADO's own
// short numbers and the host's. A number is defined here once; modules use it by name.
#pragma once

#include <cstdint>

namespace orvan::com {

// The classic runtime's error numbers (the number a script's Err.Number shows).
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

// HRESULTs: the exported entry points' results, the generic failure, and the providers' numbers as
// OLE DB providers report them (signed).
namespace hr {
constexpr std::int32_t of(std::uint32_t code) noexcept {
    return static_cast<std::int32_t>(code);
}
inline constexpr std::int32_t Ok = 0;
inline constexpr std::int32_t False = 1;
inline constexpr std::int32_t Fail = of(0x80004005u);                  // E_FAIL, "Unspecified error"
inline constexpr std::int32_t InvalidArg = of(0x80070057u);            // E_INVALIDARG
inline constexpr std::int32_t ClassNotAvailable = of(0x80040111u);     // CLASS_E_CLASSNOTAVAILABLE
inline constexpr std::int32_t SelfRegClass = of(0x80040201u);          // SELFREG_E_CLASS
inline constexpr std::int32_t CantConvertValue = of(0x80040E07u);      // DB_E_CANTCONVERTVALUE
inline constexpr std::int32_t PermissionDenied = of(0x80040E09u);      // DB_SEC_E_PERMISSIONDENIED
inline constexpr std::int32_t NoCommand = of(0x80040E0Cu);             // DB_E_NOCOMMAND
inline constexpr std::int32_t ParamNotOptional = of(0x80040E10u);      // DB_E_PARAMNOTOPTIONAL
inline constexpr std::int32_t ErrorsInCommand = of(0x80040E14u);       // DB_E_ERRORSINCOMMAND
inline constexpr std::int32_t ErrorsOccurred = of(0x80040E21u);        // DB_E_ERRORSOCCURRED
inline constexpr std::int32_t IntegrityViolation = of(0x80040E2Fu);    // DB_E_INTEGRITYVIOLATION
inline constexpr std::int32_t AbortLimitReached = of(0x80040E31u);     // DB_E_ABORTLIMITREACHED
inline constexpr std::int32_t NoTable = of(0x80040E37u);               // DB_E_NOTABLE
inline constexpr std::int32_t ConcurrencyViolation = of(0x80040E38u);  // DB_E_CONCURRENCYVIOLATION
inline constexpr std::int32_t TableExists = of(0x80040E3Fu);           // DB_E_DUPLICATETABLEID
inline constexpr std::int32_t AuthFailed = of(0x80040E4Du);            // DB_SEC_E_AUTH_FAILED
inline constexpr std::int32_t DataOverflow = of(0x80040E57u);          // DB_E_DATAOVERFLOW
inline constexpr std::int32_t DeletedRow = of(0x80040E23u);            // DB_E_DELETEDROW
inline constexpr std::int32_t NoTransaction = of(0x8004D00Eu);         // XACT_E_NOTRANSACTION
// A script that does not compile (the JScript engine's syntax error, 0x800A0000 | 1002).
inline constexpr std::int32_t ScriptSyntaxError = of(0x800A03EAu);
}  // namespace hr

// ADO's own errors: short numbers, source "ADODB.<Class>".
namespace adoerr {
inline constexpr std::int32_t InvalidArgument = 3001;
inline constexpr std::int32_t NoCurrentRecord = 3021;
inline constexpr std::int32_t IllegalOperation = 3219;
inline constexpr std::int32_t InTransaction = 3246;
inline constexpr std::int32_t FeatureNotAvailable = 3251;
inline constexpr std::int32_t ItemNotFound = 3265;
inline constexpr std::int32_t ObjectNotSet = 3420;
inline constexpr std::int32_t DataConversion = 3421;
inline constexpr std::int32_t ObjectClosed = 3704;
inline constexpr std::int32_t ObjectOpen = 3705;
inline constexpr std::int32_t ProviderNotFound = 3706;
inline constexpr std::int32_t InvalidParamInfo = 3708;
inline constexpr std::int32_t InvalidConnection = 3709;
inline constexpr std::int32_t OperationCancelled = 3712;
inline constexpr std::int32_t FieldsUpdateFailed = 3749;
}  // namespace adoerr

// The host's own numbers (ASP's): both are the generic failure with the host's text.
namespace hosterr {
inline constexpr std::int32_t ScriptTimedOut = hr::Fail;
inline constexpr std::int32_t DisallowedObject = hr::Fail;
}  // namespace hosterr

// The classic runtime's English text for one of its error numbers; "Application-defined or
// object-defined error" for a number it does not know.
const char* runtimeErrorText(std::int32_t number) noexcept;

// The standard text of any number above: the runtime's, ADO's, or the HRESULT's ("Unspecified error"
// for E_FAIL); "Application-defined or object-defined error" for a number the catalogue lacks.
const char* errorText(std::int32_t number) noexcept;

}  // namespace orvan::com
