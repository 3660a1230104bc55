// The library's functions, one declaration per entry of the table (library_table.cpp), and the
// argument helpers they share. Each function follows LibraryFn: arguments evaluated, by value, exactly
// those the caller wrote; errors are ComError with the runtime's numbers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "com_server/conversions.h"
#include "com_server/error.h"
#include "com_server/variant.h"

namespace orvan::vbs::lib {

using com::Variant;
using Args = std::span<Variant>;

// True when argument i was written (not absent from the end, not an explicit Missing).
inline bool given(Args a, std::size_t i) noexcept { return i < a.size() && !a[i].isMissing(); }
[[noreturn]] inline void fail(std::int32_t number) { throw com::ComError::basic(number); }
// A whole-number argument: Null is 94, the rest converts as CLng does (13, 6).
std::int32_t longArg(const Variant& v);
// A compare argument at i (0 binary when absent; 1 text; 2 database compares as text); else 5.
int compareArg(Args a, std::size_t i);
// A Boolean-or-tristate argument at i: -2 (or absent) gives dflt; otherwise CBool.
bool tristateArg(Args a, std::size_t i, bool dflt);
// The text of a value as UTF-16 (CStr: 94 on Null).
std::u16string u16(const Variant& v);
Variant str(std::u16string_view s);
// 13 for a value that is not an array.
const Variant& arrayArg(const Variant& v);

// Strings
Variant Len(Args);
Variant Left(Args);
Variant Right(Args);
Variant Mid(Args);
Variant InStr(Args);
Variant InStrRev(Args);
Variant LCase(Args);
Variant UCase(Args);
Variant LTrim(Args);
Variant RTrim(Args);
Variant Trim(Args);
Variant Replace(Args);
Variant Split(Args);
Variant Join(Args);
Variant Filter(Args);
Variant StrComp(Args);
Variant StrReverse(Args);
Variant String(Args);
Variant Space(Args);
Variant Chr(Args);
Variant ChrW(Args);
Variant Asc(Args);
Variant AscW(Args);
Variant Hex(Args);
Variant Oct(Args);
Variant Escape(Args);
Variant Unescape(Args);

// Formatting
Variant FormatNumber(Args);
Variant FormatCurrency(Args);
Variant FormatPercent(Args);
Variant FormatDateTime(Args);
Variant GetLocale(Args);
Variant SetLocale(Args);

// Conversions and math
Variant CBool(Args);
Variant CByte(Args);
Variant CCur(Args);
Variant CDate(Args);
Variant CDbl(Args);
Variant CInt(Args);
Variant CLng(Args);
Variant CSng(Args);
Variant CStr(Args);
Variant Int(Args);
Variant Fix(Args);
Variant Round(Args);
Variant Abs(Args);
Variant Sgn(Args);
Variant Sqr(Args);
Variant Exp(Args);
Variant Log(Args);
Variant Sin(Args);
Variant Cos(Args);
Variant Tan(Args);
Variant Atn(Args);
Variant Rnd(Args);
Variant RGB(Args);
Variant Randomize(Args);

// Dates
Variant Now(Args);
Variant Date(Args);
Variant Time(Args);
Variant Timer(Args);
Variant Year(Args);
Variant Month(Args);
Variant Day(Args);
Variant Hour(Args);
Variant Minute(Args);
Variant Second(Args);
Variant Weekday(Args);
Variant WeekdayName(Args);
Variant MonthName(Args);
Variant DateAdd(Args);
Variant DateDiff(Args);
Variant DatePart(Args);
Variant DateSerial(Args);
Variant DateValue(Args);
Variant TimeSerial(Args);
Variant TimeValue(Args);

// Inspection
Variant IsArray(Args);
Variant IsDate(Args);
Variant IsEmpty(Args);
Variant IsNull(Args);
Variant IsNumeric(Args);
Variant IsObject(Args);
Variant TypeName(Args);
Variant VarType(Args);
Variant LBound(Args);
Variant UBound(Args);
Variant Array(Args);
Variant ScriptEngine(Args);
Variant ScriptEngineMajorVersion(Args);
Variant ScriptEngineMinorVersion(Args);
Variant ScriptEngineBuildVersion(Args);

}  // namespace orvan::vbs::lib
