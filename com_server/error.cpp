// The error type and the texts of the classic runtime's errors.
#include "com_server/error.h"

namespace orvan::com {

ComError::ComError(std::int32_t number, std::string description, std::string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {}

ComError ComError::basic(std::int32_t number, std::string source) {
    const char* text = "Application-defined or object-defined error";
    switch (number) {
        case err::InvalidCall: text = "Invalid procedure call or argument"; break;
        case err::Overflow: text = "Overflow"; break;
        case err::SubscriptOutOfRange: text = "Subscript out of range"; break;
        case err::DivisionByZero: text = "Division by zero"; break;
        case err::TypeMismatch: text = "Type mismatch"; break;
        case err::ObjectNotSet: text = "Object variable or With block variable not set"; break;
        case err::InvalidUseOfNull: text = "Invalid use of Null"; break;
        case err::ObjectRequired: text = "Object required"; break;
        case err::NotSupported: text = "Object doesn't support this property or method"; break;
        case err::ArgumentNotOptional: text = "Argument not optional"; break;
        case err::WrongArgumentCount: text = "Wrong number of arguments or invalid property assignment"; break;
        default: break;
    }
    return ComError(number, text, std::move(source));
}

}  // namespace orvan::com
