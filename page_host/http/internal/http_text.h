// The texts of HTTP the site server writes and reads: dates, cookies both ways, the access log line
// and HTML escaping for its own pages.
#pragma once

#include "com_server/escaping.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "page_host/page_run.h"

namespace orvan::host::http {

// "Sun, 06 Nov 1994 08:49:37 GMT".
std::string httpDate(std::time_t when);
// The time an HTTP date in the preferred form names; -1 for anything else.
std::time_t parseHttpDate(std::string_view text);

// The time_t of a date serial (days since 30 December 1899, the fraction the time of day) in the
// machine's local time, as Response.Cookies(...).Expires holds it.
std::time_t timeFromDateSerial(double serial);

// The Set-Cookie value for a cookie of the page: the value URL-encoded as Server.URLEncode does,
// expires, domain, path (default "/") and secure as the page set them.
std::string setCookieValue(const ResponseCookie& cookie);

// The cookies of a Cookie header in order, values URL-decoded ('+' is a blank).
NameValues parseCookieHeader(std::string_view header);

// One line (with its newline) in common log format:
//   127.0.0.1 - - [10/Oct/2024:13:55:36 -0300] "GET /a.asp?x=1 HTTP/1.1" 200 2326
// The time is the request's arrival in local time; bytes "-" when the body is empty.
std::string commonLogLine(std::string_view remoteAddress, std::chrono::system_clock::time_point received,
                          std::string_view method, std::string_view target, std::string_view version,
                          int status, std::uint64_t bytes);

// The same line in combined log format: the common one followed by the quoted Referer and User-Agent
// ("-" for one the request lacks), escaped as the request line is:
//   127.0.0.1 - - [10/Oct/2024:13:55:36 -0300] "GET / HTTP/1.1" 200 2326 "http://a/b" "Mozilla/5.0"
std::string combinedLogLine(std::string_view remoteAddress, std::chrono::system_clock::time_point received,
                            std::string_view method, std::string_view target, std::string_view version,
                            int status, std::uint64_t bytes, std::string_view referer,
                            std::string_view userAgent);

// < > & " ' as entities (the runtime's escaping).
using com::htmlEscape;

}  // namespace orvan::host::http
