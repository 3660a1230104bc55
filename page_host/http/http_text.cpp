// HTTP texts: dates, cookies, the access log line, HTML escaping. Month and day names are written
// out here rather than taken from the C library, whose names follow the process locale.
#include "page_host/http/internal/http_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "com_server/calendar.h"

namespace orvan::host::http {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Cookie names and values come back as the bytes they encode, UTF-8 or not.
std::string cookieDecode(std::string_view text) {
    return com::urlDecode(text, com::NonUtf8::Bytes);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// text inside a quoted field of an access-log line: the client wrote it, and a quote, a backslash or a
// control character would break the line, so those are written as \xHH.
void appendLogQuoted(std::string& line, std::string_view text) {
    for (char c : text) {
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            line.append(escaped);
        } else {
            line += c;
        }
    }
}

// The common log format's line without its newline.
std::string logLineWithoutEnd(std::string_view remoteAddress, std::chrono::system_clock::time_point received,
                              std::string_view method, std::string_view target, std::string_view version,
                              int status, std::uint64_t bytes) {
    const std::time_t when = std::chrono::system_clock::to_time_t(received);
    std::tm t{};
    ::localtime_r(&when, &t);
    const long offset = t.tm_gmtoff / 60;
    char date[64];
    std::snprintf(date, sizeof date, "%02d/%s/%04d:%02d:%02d:%02d %c%02ld%02ld", t.tm_mday, kMonths[t.tm_mon],
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, offset < 0 ? '-' : '+',
                  std::labs(offset) / 60, std::labs(offset) % 60);
    std::string line;
    line.reserve(96 + target.size());
    line.append(remoteAddress.empty() ? "-" : remoteAddress);
    line.append(" - - [").append(date).append("] \"");
    for (std::string_view part : {method, std::string_view(" "), target, std::string_view(" "), version})
        appendLogQuoted(line, part);
    line.append("\" ").append(std::to_string(status)).append(" ");
    line.append(bytes == 0 ? std::string("-") : std::to_string(bytes));
    return line;
}

}  // namespace

std::string httpDate(std::time_t when) {
    std::tm t{};
    ::gmtime_r(&when, &t);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[t.tm_wday], t.tm_mday,
                  kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::time_t parseHttpDate(std::string_view text) {
    // The preferred form only ("Sun, 06 Nov 1994 08:49:37 GMT"); clients send nothing else today,
    // and a date that is not understood only means the file is sent again.
    char day[4] = "", month[4] = "", zone[4] = "";
    int mday = 0, year = 0, hour = 0, minute = 0, second = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%3s, %d %3s %d %d:%d:%d %3s", day, &mday, month, &year, &hour, &minute,
                    &second, zone) != 8 ||
        std::strcmp(zone, "GMT") != 0)
        return -1;
    unsigned m = 0;
    while (m < 12 && std::strcmp(kMonths[m], month) != 0) ++m;
    if (m == 12 || mday < 1 || mday > 31 || hour > 23 || minute > 59 || second > 60) return -1;
    const std::int64_t days = com::calendar::daysFromCivil(year, m + 1, static_cast<unsigned>(mday));
    return static_cast<std::time_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

std::time_t timeFromDateSerial(double serial) {
    const double whole = std::floor(serial);
    const std::int64_t seconds = std::llround((serial - whole) * 86400.0);
    const com::calendar::CivilDate c =
        com::calendar::civilFromDays(static_cast<std::int64_t>(whole) + com::calendar::kSerialEpochDays);
    std::tm t{};
    t.tm_year = static_cast<int>(c.year - 1900);
    t.tm_mon = static_cast<int>(c.month) - 1;
    t.tm_mday = static_cast<int>(c.day);
    t.tm_sec = static_cast<int>(seconds);  // mktime carries seconds over into minutes and hours
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string setCookieValue(const ResponseCookie& cookie) {
    std::string out = com::urlEncode(cookie.name) + "=" + com::urlEncode(cookie.value);
    if (cookie.expires) out += "; expires=" + httpDate(timeFromDateSerial(*cookie.expires));
    if (!cookie.domain.empty()) out += "; domain=" + cookie.domain;
    out += "; path=" + (cookie.path.empty() ? std::string("/") : cookie.path);
    if (cookie.secure) out += "; secure";
    return out;
}

NameValues parseCookieHeader(std::string_view header) {
    NameValues out;
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        const std::string_view piece = trim(header.substr(0, end));
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        if (piece.empty()) continue;
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            out.emplace_back(cookieDecode(piece), std::string());
        else
            out.emplace_back(cookieDecode(trim(piece.substr(0, eq))),
                             cookieDecode(trim(piece.substr(eq + 1))));
    }
    return out;
}

std::string commonLogLine(std::string_view remoteAddress, std::chrono::system_clock::time_point received,
                          std::string_view method, std::string_view target, std::string_view version,
                          int status, std::uint64_t bytes) {
    return logLineWithoutEnd(remoteAddress, received, method, target, version, status, bytes) + '\n';
}

std::string combinedLogLine(std::string_view remoteAddress, std::chrono::system_clock::time_point received,
                            std::string_view method, std::string_view target, std::string_view version,
                            int status, std::uint64_t bytes, std::string_view referer,
                            std::string_view userAgent) {
    std::string line = logLineWithoutEnd(remoteAddress, received, method, target, version, status, bytes);
    for (std::string_view header : {referer, userAgent}) {
        line.append(" \"");
        if (header.empty())
            line += '-';
        else
            appendLogQuoted(line, header);
        line += '"';
    }
    line += '\n';
    return line;
}

}  // namespace orvan::host::http
