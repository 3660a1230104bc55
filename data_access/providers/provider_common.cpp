// The SQL scanner, the date texts and the text helpers that both engine folders use.
#include "data_access/providers/provider_common.h"

#include <cmath>

#include "com_server/conversions.h"

namespace orvan::data::detail {

// ---- SQL scanning -------------------------------------------------------------------------------

bool isIdentStart(unsigned char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool isIdentChar(unsigned char c) noexcept {
    return isIdentStart(c) || (c >= '0' && c <= '9') || c == '$';
}

namespace {

// Index just past the quote that closes a literal opened at sql[open]; a doubled quote stands for
// itself, and with backslashEscapes a backslash takes the next character literally.
std::size_t closeQuote(std::string_view sql, std::size_t open, char quote, bool backslashEscapes) noexcept {
    std::size_t j = open + 1;
    while (j < sql.size()) {
        if (backslashEscapes && sql[j] == '\\') {
            j += 2;
            continue;
        }
        if (sql[j] == quote) {
            if (j + 1 < sql.size() && sql[j + 1] == quote) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return sql.size();
}

std::size_t endAfter(std::string_view sql, std::size_t from, std::string_view closing) noexcept {
    std::size_t at = sql.find(closing, from);
    return at == std::string_view::npos ? sql.size() : at + closing.size();
}

}  // namespace

std::size_t skipNonCode(std::string_view sql, std::size_t i, bool bracketsQuote) noexcept {
    if (i >= sql.size()) return i;
    const char c = sql[i];
    const bool next = i + 1 < sql.size();
    const bool afterIdent = i > 0 && isIdentChar(static_cast<unsigned char>(sql[i - 1]));
    switch (c) {
        case '\'':
            return closeQuote(sql, i, '\'', false);
        case '"':
            return closeQuote(sql, i, '"', false);
        case '`':
            return closeQuote(sql, i, '`', false);
        case '[':
            return bracketsQuote ? endAfter(sql, i + 1, "]") : i;
        case '-':
            if (next && sql[i + 1] == '-') {
                std::size_t eol = sql.find('\n', i + 2);
                return eol == std::string_view::npos ? sql.size() : eol;
            }
            return i;
        case '/':
            return next && sql[i + 1] == '*' ? endAfter(sql, i + 2, "*/") : i;
        case 'E':
        case 'e':
            // E'...' is PostgreSQL's escape string; inside a word ("TYPE'") the E is just a letter.
            return next && sql[i + 1] == '\'' && !afterIdent ? closeQuote(sql, i + 1, '\'', true) : i;
        case '$': {
            // $tag$ ... $tag$ (tag empty or an identifier that does not start with a digit); "$1" is a
            // positional parameter and "$name" a SQLite variable, neither of which opens a literal.
            if (afterIdent) return i;
            std::size_t j = i + 1;
            if (j < sql.size() && sql[j] != '$') {
                if (!isIdentStart(static_cast<unsigned char>(sql[j]))) return i;
                while (j < sql.size() && isIdentChar(static_cast<unsigned char>(sql[j])) && sql[j] != '$')
                    ++j;
            }
            if (j >= sql.size() || sql[j] != '$') return i;
            std::string_view tag = sql.substr(i, j - i + 1);
            return endAfter(sql, j + 1, tag);
        }
        default:
            return i;
    }
}

bool changesSchema(std::string_view sql) noexcept {
    std::size_t i = 0;
    while (i < sql.size()) {
        if (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n' || sql[i] == '(') {
            ++i;
            continue;
        }
        const std::size_t after = skipNonCode(sql, i, true);
        if (after == i) break;
        i = after;
    }
    std::size_t end = i;
    while (end < sql.size() && isIdentChar(static_cast<unsigned char>(sql[end]))) ++end;
    const std::string_view word = sql.substr(i, end - i);
    return equalsNoCase(word, "create") || equalsNoCase(word, "alter") ||
           equalsNoCase(word, "drop");
}

// ---- dates ----------------------------------------------------------------------------------------

namespace {

// The range a date serial may take: 100-01-01 to 9999-12-31 23:59:59.
constexpr double kMinSerial = -657434.0 - 86399.0 / 86400.0;
constexpr double kMaxSerial = 2958465.0 + 86399.0 / 86400.0;

// Reads exactly n digits at text[pos]; advances pos.
bool digits(std::string_view text, std::size_t& pos, std::size_t n, int& out) noexcept {
    if (pos + n > text.size()) return false;
    int v = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const char c = text[pos + k];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    pos += n;
    return true;
}

// H[H]:MM[:SS[.fff]] at text[pos]; fraction receives the fraction of a second.
bool readTime(std::string_view text, std::size_t& pos, com::DateParts& parts, double& fraction) noexcept {
    const std::size_t hourDigits = pos + 1 < text.size() && text[pos + 1] == ':' ? 1 : 2;
    if (!digits(text, pos, hourDigits, parts.hour)) return false;
    if (pos >= text.size() || text[pos] != ':') return false;
    ++pos;
    if (!digits(text, pos, 2, parts.minute)) return false;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!digits(text, pos, 2, parts.second)) return false;
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
            for (double scale = 0.1; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; scale /= 10)
                fraction += (text[pos++] - '0') * scale;
        }
    }
    return true;
}

// A trailing time zone: Z, +HH, +HHMM, +HH:MM[:SS] (blanks before it allowed).
bool zoneOnly(std::string_view rest) noexcept {
    std::size_t pos = 0;
    while (pos < rest.size() && rest[pos] == ' ') ++pos;
    if (pos == rest.size()) return true;
    if (rest[pos] == 'Z' && pos + 1 == rest.size()) return true;
    if (rest[pos] != '+' && rest[pos] != '-') return false;
    ++pos;
    int part = 0;
    if (!digits(rest, pos, 2, part)) return false;
    while (pos < rest.size()) {
        if (rest[pos] == ':') ++pos;
        if (!digits(rest, pos, 2, part)) return false;
    }
    return true;
}

}  // namespace

std::string formatDateTime(double serial) {
    if (!std::isfinite(serial) || serial < kMinSerial || serial > kMaxSerial) return {};
    return com::formatYearFirstDateTime(com::splitDate(serial), 4);
}

std::optional<double> parseDateTime(std::string_view text) {
    std::size_t pos = 0;
    com::DateParts parts;  // 1899-12-30 00:00:00
    double fraction = 0;
    if (text.size() >= 3 && (text[1] == ':' || text[2] == ':')) {
        if (!readTime(text, pos, parts, fraction)) return std::nullopt;
    } else {
        if (!digits(text, pos, 4, parts.year) || pos >= text.size() || text[pos++] != '-')
            return std::nullopt;
        if (!digits(text, pos, 2, parts.month) || pos >= text.size() || text[pos++] != '-')
            return std::nullopt;
        if (!digits(text, pos, 2, parts.day)) return std::nullopt;
        if (pos + 1 < text.size() && (text[pos] == ' ' || text[pos] == 'T') && text[pos + 1] >= '0' &&
            text[pos + 1] <= '9') {
            ++pos;
            if (!readTime(text, pos, parts, fraction)) return std::nullopt;
        }
    }
    if (!zoneOnly(text.substr(pos))) return std::nullopt;
    std::optional<double> serial = com::makeDate(parts);
    if (!serial || fraction == 0) return serial;
    // A fraction of a second moves the time forward, which before day 0 means further from zero;
    // the round trip through the calendar rounds it to the nearest second.
    const double moved = *serial + (*serial < 0 ? -fraction : fraction) / 86400.0;
    return com::makeDate(com::splitDate(moved));
}

// ---- text -----------------------------------------------------------------------------------------

bool equalsNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string messageText(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n' || raw[i] == '\r') {
            while (i + 1 < raw.size() &&
                   (raw[i + 1] == '\t' || raw[i + 1] == ' ' || raw[i + 1] == '\n' || raw[i + 1] == '\r'))
                ++i;
            out += ' ';
        } else {
            out += raw[i];
        }
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    return out;
}

}  // namespace orvan::data::detail
