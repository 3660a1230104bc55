// Text encodings the host needs: HTML and URL encoding as the classic server writes them, URL
// decoding, and the conversions between UTF-8 and the engine's internal form of strings (CESU-8, where
// a character beyond U+FFFF is a pair of surrogates).
#pragma once

#include <string>
#include <string_view>

namespace orvan::host::detail {

// Server.HTMLEncode: < > & " as entities, and the characters U+00A0 to U+00FF as &#nnn;.
std::string htmlEncode(std::string_view text);
// Server.URLEncode: letters and digits stay, a blank becomes '+', every other byte of the UTF-8 text
// becomes %XX (upper-case hex).
std::string urlEncode(std::string_view text);
// What urlDecode makes of a result that is not UTF-8: text in Windows-1252, or bytes kept as decoded.
enum class NonUtf8 { Windows1252, Bytes };
// %XX and '+' decoded; a result that is not UTF-8 is read as nonUtf8 says.
std::string urlDecode(std::string_view text, NonUtf8 nonUtf8 = NonUtf8::Windows1252);

bool isUtf8(std::string_view text);
std::string cp1252ToUtf8(std::string_view text);

// UTF-8 <-> CESU-8. Texts without characters beyond U+FFFF come back unchanged.
std::string utf8ToCesu8(std::string_view text);
std::string cesu8ToUtf8(std::string_view text);

}  // namespace orvan::host::detail
