// HTML escaping of text written into a page: the one place both the error report and the host's own
// pages take it from.
#pragma once

#include <string>
#include <string_view>

namespace orvan::com {

// text with &, <, >, " and ' replaced by their entities (&amp; &lt; &gt; &quot; &#39;); all other
// bytes, UTF-8 included, pass through.
std::string htmlEscape(std::string_view text);

}  // namespace orvan::com
