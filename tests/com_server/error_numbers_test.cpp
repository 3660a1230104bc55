// The error catalogue: the numbers scripts see, and the text each one carries.
#include "com_server/error_numbers.h"

#include <gtest/gtest.h>

#include <string>

#include "com_server/error.h"

namespace orvan::com {
namespace {

TEST(ErrorNumbers, NumbersAreTheOnesScriptsSee) {
    struct Case {
        std::int32_t number;
        std::int32_t expected;
    } cases[] = {
        {hr::Fail, -2147467259},
        {hr::ErrorsInCommand, -2147217900},
        {hr::ErrorsOccurred, -2147217887},
        {hr::ConcurrencyViolation, -2147217864},
        {hr::IntegrityViolation, -2147217873},
        {hr::AuthFailed, -2147217843},
        {hr::NoTable, -2147217865},
        {hr::ScriptSyntaxError, -2146827286},
        {err::InvalidClassString, -2147221005},
        {adoerr::NoCurrentRecord, 3021},
        {adoerr::ObjectClosed, 3704},
        {hosterr::ScriptTimedOut, -2147467259},
    };
    for (const Case& c : cases) EXPECT_EQ(c.number, c.expected);
}

TEST(ErrorNumbers, EachNumberHasItsText) {
    struct Case {
        std::int32_t number;
        const char* text;
    } cases[] = {
        {err::TypeMismatch, "Type mismatch"},
        {err::DivisionByZero, "Division by zero"},
        {err::NotSupported, "Object doesn't support this property or method"},
        {adoerr::NoCurrentRecord,
         "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
         "current record."},
        {adoerr::ObjectClosed, "Operation is not allowed when the object is closed."},
        {hr::ConcurrencyViolation,
         "Row cannot be located for updating. Some values may have been changed since it was last read."},
        {hr::Fail, "Unspecified error"},
        {123456, "Application-defined or object-defined error"},
    };
    for (const Case& c : cases) EXPECT_STREQ(errorText(c.number), c.text) << c.number;
    // The runtime's own texts do not include ADO's.
    EXPECT_STREQ(runtimeErrorText(adoerr::ObjectClosed), "Application-defined or object-defined error");
    EXPECT_EQ(ComError::basic(err::TypeMismatch).description(), "Type mismatch");
}

}  // namespace
}  // namespace orvan::com
