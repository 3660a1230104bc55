// What the engine folders share and nothing above them sees: the error numbers they report, the SQL
// scanner that tells code from literals and comments, the date text both engines store and read, and
// small text helpers. Include only from data_access/providers/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "com_server/error_numbers.h"

namespace orvan::data::detail {

// The numbers a provider reports (signed HRESULTs, OLE DB's names): the catalogue's.
namespace hr = com::hr;

inline constexpr const char* kTimeoutText = "Timeout expired";
inline constexpr const char* kMissingParamsText = "No value given for one or more required parameters.";

// ---- SQL scanning -------------------------------------------------------------------------------

// Letters, '_' and the bytes of multi-byte UTF-8 characters: what may start an unquoted identifier.
bool isIdentStart(unsigned char c) noexcept;
// isIdentStart, digits and '$' (PostgreSQL allows '$' inside identifiers).
bool isIdentChar(unsigned char c) noexcept;

// When a literal, quoted identifier or comment starts at sql[i], the index just past its end (the
// text's end when it is not closed); otherwise i. Recognised: '...' with '' escapes, E'...' with
// backslash escapes, "..." with "" escapes, `...`, $tag$...$tag$, -- to the end of the line, /* */.
// [...] counts as a quoted identifier only when bracketsQuote is set (SQLite reads it so; in
// PostgreSQL it is an array subscript that may hold a placeholder).
std::size_t skipNonCode(std::string_view sql, std::size_t i, bool bracketsQuote) noexcept;

// Whether a statement may change what a table looks like: it begins (after blanks, opening
// parentheses and comments) with CREATE, ALTER or DROP.
bool changesSchema(std::string_view sql) noexcept;

// Hashes a text and a view of one alike: an unordered container keyed by std::string is then searched
// with a string_view, without a copy. One hash and, mostly, one comparison find a statement text,
// where an ordered one compares long common beginnings ("SELECT * FROM ...") at every level.
// A text with its hash, worked out once for a text looked up more than once (a statement is looked up
// when it is taken and again when it is given back).
struct HashedText {
    explicit HashedText(std::string_view t) : text(t), hash(std::hash<std::string_view>{}(t)) {}
    HashedText(std::string_view t, std::size_t h) : text(t), hash(h) {}
    std::string_view text;
    std::size_t hash;
};
inline bool operator==(const std::string& a, const HashedText& b) noexcept { return a == b.text; }

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
    std::size_t operator()(const HashedText& text) const noexcept { return text.hash; }
};

template <typename Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// What an engine runs for each statement text sent, worked out once per session for the texts met
// lately: the same texts are sent again and again, and finding one costs less than scanning it.
template <typename Value>
class TranslationCache {
public:
    // The value for sent, from translate(sent) the first time. The reference stays valid until the
    // next call.
    template <typename Translate>
    const Value& get(std::string_view sent, Translate&& translate) {
        if (auto it = entries_.find(sent); it != entries_.end()) return it->second;
        // Texts that hold a literal that changes each time would fill it: it starts over instead.
        if (entries_.size() >= kMaxEntries) entries_.clear();
        return entries_.emplace(std::string(sent), translate(sent)).first->second;
    }

private:
    static constexpr std::size_t kMaxEntries = 256;
    TextMap<Value> entries_;
};

// ---- dates ----------------------------------------------------------------------------------------

// 'YYYY-MM-DD HH:MM:SS' for a date serial (day 0 = 1899-12-30, the fraction is the time of day; a
// negative serial keeps its time of day as the absolute fraction), rounded to the nearest second.
// Empty when the serial is not a date between the years 100 and 9999.
std::string formatDateTime(double serial);
// Reads 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]' (a 'T' may stand for the blank), a trailing time
// zone ('Z', '+03', '-03:00') being ignored, or a time alone 'HH:MM[:SS]' (day 0). nullopt when the
// text is anything else or a field is out of range.
std::optional<double> parseDateTime(std::string_view text);

// ---- text -----------------------------------------------------------------------------------------

bool equalsNoCase(std::string_view a, std::string_view b) noexcept;
std::string lowerAscii(std::string_view s);
// An engine message as a description: line breaks and the tabs after them become one blank, and
// trailing blanks go.
std::string messageText(std::string_view raw);

}  // namespace orvan::data::detail
