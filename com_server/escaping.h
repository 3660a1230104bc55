// Escaping text for HTML and URLs: the error report's and the host's own pages' HTML escaping, the
// page's Server.HTMLEncode and Server.URLEncode, URL decoding of query strings, forms and cookies, and
// JSON string escaping for the event log.
#pragma once

#include <string>
#include <string_view>

namespace orvan::com {

// text with &, <, >, " and ' replaced by their entities (&amp; &lt; &gt; &quot; &#39;); all other
// bytes, UTF-8 included, pass through.
std::string htmlEscape(std::string_view text);

// Server.HTMLEncode: < > & " as entities, and the characters U+00A0 to U+00FF as &#nnn; (the
// apostrophe stays as it is).
std::string htmlEncode(std::string_view text);

// Server.URLEncode: ASCII letters and digits stay, a blank becomes '+', every other byte of the UTF-8
// text becomes %XX (upper-case hex).
std::string urlEncode(std::string_view text);

// What urlDecode makes of a result that is not UTF-8: text in Windows-1252, or bytes kept as decoded.
enum class NonUtf8 { Windows1252, Bytes };
// %XX (either case of hex) and '+' decoded; a '%' not followed by two hex digits stays. A result
// that is not UTF-8 is read as nonUtf8 says.
std::string urlDecode(std::string_view text, NonUtf8 nonUtf8 = NonUtf8::Windows1252);

// The inside of a JSON string for text: quote and backslash escaped, \n \r \t, other control
// characters as \u00XX; well-formed UTF-8 passes through, and every byte that is not part of a
// well-formed UTF-8 sequence is replaced by U+FFFD, so the result is always valid JSON text.
std::string jsonEscape(std::string_view text);

// The value of one hex digit (either case); -1 for any other character.
int hexDigitValue(char c) noexcept;

}  // namespace orvan::com
