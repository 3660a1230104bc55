// The error type and the texts of the classic runtime's errors.
#include "com_server/error.h"

#include <new>

namespace orvan::com {

ComError::ComError(std::int32_t number, std::string description, std::string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {}

ErrorCategory errorCategory(std::string_view s) noexcept {
    if (s.size() != 5) return ErrorCategory::Other;
    const std::string_view cls = s.substr(0, 2);
    if (cls == "23") return ErrorCategory::Constraint;
    if (cls == "40") return ErrorCategory::Conflict;
    // ODBC adds HYT01 (connection timeout) and IM002 / IM003 (the driver cannot be found or loaded).
    if (cls == "08" || s == "57P01" || s == "57P02" || s == "57P03" || s == "HYT01" || s == "IM002" ||
        s == "IM003")
        return ErrorCategory::ConnectionFailed;
    if (cls == "28" || s == "42501" || s == "25006") return ErrorCategory::NotAllowed;
    // ODBC's base table (42S02) and column (42S22) not found beside PostgreSQL's.
    if (s == "42P01" || s == "42703" || s == "42883" || s == "42704" || s == "42S02" || s == "42S22")
        return ErrorCategory::UndefinedObject;
    if (cls == "22") return ErrorCategory::InvalidData;
    if (s == "57014" || s == "HYT00") return ErrorCategory::Cancelled;  // HYT00: ODBC's query timeout
    return ErrorCategory::Other;
}

ComError failureOfCurrentException() {
    try {
        throw;
    } catch (const ComError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return ComError::basic(err::OutOfMemory);
    } catch (const std::exception& e) {
        return ComError(hr::Fail, e.what());  // an unexpected library failure
    }
}

ComError ComError::basic(std::int32_t number, std::string source) {
    return ComError(number, runtimeErrorText(number), std::move(source));
}

}  // namespace orvan::com
