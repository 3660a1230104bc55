// The conversions of the classic Basic runtime, in one place: CStr, CLng, CInt, CDbl, CBool, CDate,
// the general date text, text to number and text to date under the regional settings, comparison with
// the empty text, upper-casing and the ANSI code page. Failures throw ComError with the runtime's
// numbers (6 Overflow, 13 Type mismatch, 94 Invalid use of Null); the parse* functions report an
// unreadable text as an empty optional instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "com_server/regional.h"
#include "com_server/variant.h"

namespace orvan::com {

// A calendar date and time of day; fields as written (month 1-12, hour 0-23).
struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    friend bool operator==(const DateParts&, const DateParts&) = default;
};

// Date serial <-> calendar, with the runtime's rounding of fractions of a second to the nearest second.
DateParts splitDate(double serial) noexcept;
// The serial of a valid date and time; nullopt when a field is out of range.
std::optional<double> makeDate(const DateParts& parts) noexcept;
// The current local date and time, to the second: the environment's clock (com_server/environment.h).
double now();

// Reads a date and/or time text the way the runtime's CDate does under r: the locale's order of day
// and month first, then the others; year-first texts read year first; 2-digit years through the
// window; a time alone lands on 1899-12-30. nullopt when the text is not a date.
std::optional<double> parseDate(std::string_view text, const Regional& r);
// Reads a number the way the runtime does under r (blanks around, signs, parentheses, the regional
// decimal and thousands separators, exponent, &H and &O). nullopt when the text is not a number.
std::optional<double> parseNumber(std::string_view text, const Regional& r);

// The general date text: short date, a blank, long time; the date alone at midnight; the time alone
// on the zero date (1899-12-30).
std::string formatGeneralDate(double serial, const Regional& r);
std::string formatShortDate(double serial, const Regional& r);
std::string formatLongTime(double serial, const Regional& r);
// Appends value in decimal, with zeros in front up to width digits (a minus sign comes first).
void appendPadded(std::string& out, int value, int width);
// The year-first date of parts, "2008-12-25": the year with at least yearDigits digits (as it is by
// default), month and day with two digits.
std::string formatYearFirstDate(const DateParts& parts, int yearDigits = 1);
// The same date followed by a blank and the time with two-digit fields, "2008-12-25 14:05:09".
std::string formatYearFirstDateTime(const DateParts& parts, int yearDigits = 1);
// A number as CStr writes it (shortest round-trip form, regional decimal separator, no grouping).
std::string formatNumber(double value, const Regional& r);
// value with at most `digits` significant digits (7 is how a Single is written).
std::string formatDigits(double value, int digits, const Regional& r);
// A Currency's exact decimal text: "-12.5", "922337203685477.5807" (no trailing zeros, no exponent).
std::string currencyText(std::int64_t scaled, char decimal);
// A Currency's value as a double.
inline double currencyValue(const Variant& v) noexcept { return static_cast<double>(v.rawCurrency()) / 10000.0; }

// Round half to even (banker's rounding), as CInt and CLng round.
double roundHalfEven(double v) noexcept;

// The CXxx functions; they use currentRegional(). An object converts through its default member.
std::string CStr(const Variant& v);
std::int32_t CLng(const Variant& v);
std::int16_t CInt(const Variant& v);
double CDbl(const Variant& v);
bool CBool(const Variant& v);
double CDate(const Variant& v);  // the serial

// `v <> ""` as a condition: the value compared as text (numbers and dates through CStr); Empty equals
// ""; Null compares neither equal nor unequal, so it counts as "not given" (false).
bool unequalToEmptyText(const Variant& v);

// UCase: the simple one-to-one case mapping of each character (é -> É; ß stays ß). Null stays Null.
std::string UCase(std::string_view text);
Variant UCase(const Variant& v);
// A std::string or a literal converts to both of the above; these pick the text form.
inline std::string UCase(const std::string& text) {
    return UCase(std::string_view(text));
}
inline std::string UCase(const char* text) {
    return UCase(std::string_view(text));
}
// The Windows-1252 code of each character of a UTF-8 text; characters outside the page become '?'.
std::string toAnsi(std::string_view utf8);
// Asc: the ANSI code of the first character (error 5 on an empty text, 94 on Null).
int Asc(const Variant& v);

}  // namespace orvan::com
