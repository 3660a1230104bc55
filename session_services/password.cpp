// The password digest.
#include "session_services/password.h"

#include <limits>

#include "com_server/conversions.h"
#include "com_server/error.h"

namespace orvan::session {
namespace {

// Arithmetic in the widths the digest is defined with: a result outside the range is an overflow.
std::int32_t checked32(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        throw com::ComError::basic(com::err::Overflow);
    return static_cast<std::int32_t>(v);
}

std::int16_t checked16(std::int64_t v) {
    if (v < std::numeric_limits<std::int16_t>::min() || v > std::numeric_limits<std::int16_t>::max())
        throw com::ComError::basic(com::err::Overflow);
    return static_cast<std::int16_t>(v);
}

char letter(std::int32_t x) { return static_cast<char>(65 + x % 26); }

}  // namespace

std::string Codificar_Texto(std::string_view texto, std::int16_t multiplicador) {
    const std::string codes = com::toAnsi(texto);
    const std::int64_t n = static_cast<std::int64_t>(codes.size());
    std::int32_t sum = 0;
    for (unsigned char c : codes) sum = checked32(std::int64_t{sum} + c);
    std::string out;
    out.reserve(codes.size() + 1);
    std::int32_t total = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        const unsigned char c = static_cast<unsigned char>(codes[static_cast<std::size_t>(i - 1)]);
        const std::int16_t weighted = checked16(19 * std::int64_t{c});
        const std::int32_t base = checked32(std::int64_t{weighted} + sum + (n - i) - 7);
        const std::int32_t v = checked32(std::int64_t{base} * multiplicador);
        total = checked32(std::int64_t{total} + v);
        out += letter(v);
    }
    out += letter(total);
    return out;
}

std::string storedPassword(std::string_view login, std::string_view password) {
    return Codificar_Texto(com::UCase(login) + std::string(password), 17);
}

}  // namespace orvan::session
