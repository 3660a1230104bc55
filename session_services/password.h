// The password digest: how a user's password is stored in usuario_v.senha and compared at login.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvan::session {

// The digest of texto with multiplier k: one capital letter per character of the text (over its
// Windows-1252 codes) and a final check letter; "A" for the empty text. Error 6 (Overflow) when a sum
// leaves the 32-bit range (texts several hundred characters long).
std::string Codificar_Texto(std::string_view texto, std::int16_t multiplicador);

// The stored form of a user's password: the digest of the upper-cased login followed by the password,
// with the login multiplier 17.
std::string storedPassword(std::string_view login, std::string_view password);

}  // namespace orvan::session
