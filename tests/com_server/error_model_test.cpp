// The error model: the category of a SQLSTATE, and the one mapping from an exception in flight to the
// failure a method or a page reports.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "com_server/error.h"

namespace orvan::com {
namespace {

TEST(ErrorModel, CategoriesComeFromTheSqlStateClass) {
    struct Case {
        const char* state;
        ErrorCategory category;
    } cases[] = {
        {"23505", ErrorCategory::Constraint},      {"23000", ErrorCategory::Constraint},
        {"40001", ErrorCategory::Conflict},        {"40P01", ErrorCategory::Conflict},
        {"08001", ErrorCategory::ConnectionFailed}, {"08006", ErrorCategory::ConnectionFailed},
        {"57P01", ErrorCategory::ConnectionFailed}, {"28P01", ErrorCategory::NotAllowed},
        {"28000", ErrorCategory::NotAllowed},      {"42501", ErrorCategory::NotAllowed},
        {"25006", ErrorCategory::NotAllowed},      {"42P01", ErrorCategory::UndefinedObject},
        {"42703", ErrorCategory::UndefinedObject}, {"22001", ErrorCategory::InvalidData},
        {"57014", ErrorCategory::Cancelled},       {"42601", ErrorCategory::Other},
        {"", ErrorCategory::Other},                {"23", ErrorCategory::Other},
        // The states ODBC drivers and the driver manager report.
        {"42S02", ErrorCategory::UndefinedObject}, {"42S22", ErrorCategory::UndefinedObject},
        {"HYT00", ErrorCategory::Cancelled},       {"HYT01", ErrorCategory::ConnectionFailed},
        {"IM002", ErrorCategory::ConnectionFailed}, {"IM003", ErrorCategory::ConnectionFailed},
        {"08S01", ErrorCategory::ConnectionFailed}, {"42000", ErrorCategory::Other},
        {"HY000", ErrorCategory::Other},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errorCategory(c.state), c.category) << c.state;
        EXPECT_EQ(ComError(hr::Fail, "x").withSqlState(c.state).category(), c.category) << c.state;
    }
}

TEST(ErrorModel, AnyExceptionBecomesOneFailure) {
    auto failureOf = [](auto&& thrower) {
        try {
            thrower();
        } catch (...) {
            return failureOfCurrentException();
        }
        return ComError(0, "nothing thrown");
    };
    const ComError com = failureOf([] {
        throw ComError(3021, "sem registro", "ADODB.Recordset").withSqlState("02000").withStatement("SELECT 1");
    });
    EXPECT_EQ(com.number(), 3021);
    EXPECT_EQ(com.description(), "sem registro");
    EXPECT_EQ(com.source(), "ADODB.Recordset");
    EXPECT_EQ(com.sqlState(), "02000");
    EXPECT_EQ(com.statement(), "SELECT 1");

    const ComError memory = failureOf([] { throw std::bad_alloc(); });
    EXPECT_EQ(memory.number(), err::OutOfMemory);
    EXPECT_EQ(memory.description(), "Out of memory");

    const ComError library = failureOf([] { throw std::runtime_error("falha da biblioteca"); });
    EXPECT_EQ(library.number(), hr::Fail);
    EXPECT_EQ(library.description(), "falha da biblioteca");

    // The end of the response is no failure: it goes on up.
    EXPECT_THROW(failureOf([] { throw ResponseEnded{}; }), ResponseEnded);
}

}  // namespace
}  // namespace orvan::com
