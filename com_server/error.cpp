// The error type and the texts of the classic runtime's errors.
#include "com_server/error.h"

namespace orvan::com {

ComError::ComError(std::int32_t number, std::string description, std::string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {}

ComError ComError::basic(std::int32_t number, std::string source) {
    return ComError(number, runtimeErrorText(number), std::move(source));
}

}  // namespace orvan::com
