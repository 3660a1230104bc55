// The conversions between UTF-8 and the script engine's internal form of strings (CESU-8, where a
// character beyond U+FFFF is a pair of surrogates). Other text primitives: com_server/text_codec.h
// and com_server/escaping.h.
#pragma once

#include <string>
#include <string_view>

namespace orvan::host::detail {

// UTF-8 <-> CESU-8. Texts without characters beyond U+FFFF come back unchanged.
std::string utf8ToCesu8(std::string_view text);
std::string cesu8ToUtf8(std::string_view text);

}  // namespace orvan::host::detail
