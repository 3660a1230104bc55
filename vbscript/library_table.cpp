// The library's table: every function by name with its argument counts, the language's named
// constants, and the registration of the scripting classes (Scripting.Dictionary, VBScript.RegExp).
// Names are looked up without regard to case through maps built once.
#include <mutex>
#include <unordered_map>

#include "com_server/class_registry.h"
#include "vbscript/internal/library_impl.h"
#include "vbscript/internal/scripting_objects.h"
#include "vbscript/library.h"

namespace orvan::vbs {
namespace {

using com::Variant;

std::string upper(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>((c >= 'a' && c <= 'z') ? c - 32 : c);
    return out;
}

constexpr LibraryFunction kFunctions[] = {
    // Strings
    {"Len", 1, 1, lib::Len},
    {"Left", 2, 2, lib::Left},
    {"Right", 2, 2, lib::Right},
    {"Mid", 2, 3, lib::Mid},
    {"InStr", 2, 4, lib::InStr},
    {"InStrRev", 2, 4, lib::InStrRev},
    {"LCase", 1, 1, lib::LCase},
    {"UCase", 1, 1, lib::UCase},
    {"LTrim", 1, 1, lib::LTrim},
    {"RTrim", 1, 1, lib::RTrim},
    {"Trim", 1, 1, lib::Trim},
    {"Replace", 3, 6, lib::Replace},
    {"Split", 1, 4, lib::Split},
    {"Join", 1, 2, lib::Join},
    {"Filter", 2, 4, lib::Filter},
    {"StrComp", 2, 3, lib::StrComp},
    {"StrReverse", 1, 1, lib::StrReverse},
    {"String", 2, 2, lib::String},
    {"Space", 1, 1, lib::Space},
    {"Chr", 1, 1, lib::Chr},
    {"ChrW", 1, 1, lib::ChrW},
    {"Asc", 1, 1, lib::Asc},
    {"AscW", 1, 1, lib::AscW},
    {"Hex", 1, 1, lib::Hex},
    {"Oct", 1, 1, lib::Oct},
    {"Escape", 1, 1, lib::Escape},
    {"Unescape", 1, 1, lib::Unescape},
    // Formatting
    {"FormatNumber", 1, 5, lib::FormatNumber},
    {"FormatCurrency", 1, 5, lib::FormatCurrency},
    {"FormatPercent", 1, 5, lib::FormatPercent},
    {"FormatDateTime", 1, 2, lib::FormatDateTime},
    {"GetLocale", 0, 0, lib::GetLocale},
    {"SetLocale", 1, 1, lib::SetLocale},
    // Conversions
    {"CBool", 1, 1, lib::CBool},
    {"CByte", 1, 1, lib::CByte},
    {"CCur", 1, 1, lib::CCur},
    {"CDate", 1, 1, lib::CDate},
    {"CDbl", 1, 1, lib::CDbl},
    {"CInt", 1, 1, lib::CInt},
    {"CLng", 1, 1, lib::CLng},
    {"CSng", 1, 1, lib::CSng},
    {"CStr", 1, 1, lib::CStr},
    {"Int", 1, 1, lib::Int},
    {"Fix", 1, 1, lib::Fix},
    {"Round", 1, 2, lib::Round},
    {"Abs", 1, 1, lib::Abs},
    {"Sgn", 1, 1, lib::Sgn},
    // Math
    {"Sqr", 1, 1, lib::Sqr},
    {"Exp", 1, 1, lib::Exp},
    {"Log", 1, 1, lib::Log},
    {"Sin", 1, 1, lib::Sin},
    {"Cos", 1, 1, lib::Cos},
    {"Tan", 1, 1, lib::Tan},
    {"Atn", 1, 1, lib::Atn},
    {"Rnd", 0, 1, lib::Rnd},
    {"Randomize", 0, 1, lib::Randomize},
    {"RGB", 3, 3, lib::RGB},
    // Dates
    {"Now", 0, 0, lib::Now},
    {"Date", 0, 0, lib::Date},
    {"Time", 0, 0, lib::Time},
    {"Timer", 0, 0, lib::Timer},
    {"Year", 1, 1, lib::Year},
    {"Month", 1, 1, lib::Month},
    {"Day", 1, 1, lib::Day},
    {"Hour", 1, 1, lib::Hour},
    {"Minute", 1, 1, lib::Minute},
    {"Second", 1, 1, lib::Second},
    {"Weekday", 1, 2, lib::Weekday},
    {"WeekdayName", 1, 3, lib::WeekdayName},
    {"MonthName", 1, 2, lib::MonthName},
    {"DateAdd", 3, 3, lib::DateAdd},
    {"DateDiff", 3, 5, lib::DateDiff},
    {"DatePart", 2, 4, lib::DatePart},
    {"DateSerial", 3, 3, lib::DateSerial},
    {"DateValue", 1, 1, lib::DateValue},
    {"TimeSerial", 3, 3, lib::TimeSerial},
    {"TimeValue", 1, 1, lib::TimeValue},
    // Inspection
    {"IsArray", 1, 1, lib::IsArray},
    {"IsDate", 1, 1, lib::IsDate},
    {"IsEmpty", 1, 1, lib::IsEmpty},
    {"IsNull", 1, 1, lib::IsNull},
    {"IsNumeric", 1, 1, lib::IsNumeric},
    {"IsObject", 1, 1, lib::IsObject},
    {"TypeName", 1, 1, lib::TypeName},
    {"VarType", 1, 1, lib::VarType},
    {"LBound", 1, 2, lib::LBound},
    {"UBound", 1, 2, lib::UBound},
    {"Array", 0, 0x7FFF, lib::Array},
    {"ScriptEngine", 0, 0, lib::ScriptEngine},
    {"ScriptEngineMajorVersion", 0, 0, lib::ScriptEngineMajorVersion},
    {"ScriptEngineMinorVersion", 0, 0, lib::ScriptEngineMinorVersion},
    {"ScriptEngineBuildVersion", 0, 0, lib::ScriptEngineBuildVersion},
};

const std::unordered_map<std::string, const LibraryFunction*>& functionMap() {
    static const auto map = [] {
        std::unordered_map<std::string, const LibraryFunction*> m;
        for (const auto& f : kFunctions) m.emplace(upper(f.name), &f);
        return m;
    }();
    return map;
}

const std::unordered_map<std::string, Variant>& constantMap() {
    static const auto map = [] {
        std::unordered_map<std::string, Variant> m;
        auto text = [&](const char* name, std::string value) { m.emplace(upper(name), Variant(std::move(value))); };
        auto number = [&](const char* name, std::int32_t value) { m.emplace(upper(name), Variant(value)); };
        // Strings
        text("vbCr", "\r");
        text("vbLf", "\n");
        text("vbCrLf", "\r\n");
        text("vbNewLine", "\r\n");
        text("vbNullChar", std::string(1, '\0'));
        text("vbNullString", "");
        text("vbTab", "\t");
        text("vbVerticalTab", "\v");
        text("vbFormFeed", "\f");
        text("vbBack", "\b");
        // Comparison
        number("vbBinaryCompare", 0);
        number("vbTextCompare", 1);
        number("vbDatabaseCompare", 2);
        // Days of the week and first week of the year
        number("vbUseSystemDayOfWeek", 0);
        number("vbSunday", 1);
        number("vbMonday", 2);
        number("vbTuesday", 3);
        number("vbWednesday", 4);
        number("vbThursday", 5);
        number("vbFriday", 6);
        number("vbSaturday", 7);
        number("vbUseSystem", 0);
        number("vbFirstJan1", 1);
        number("vbFirstFourDays", 2);
        number("vbFirstFullWeek", 3);
        // Date formats
        number("vbGeneralDate", 0);
        number("vbLongDate", 1);
        number("vbShortDate", 2);
        number("vbLongTime", 3);
        number("vbShortTime", 4);
        // Errors
        number("vbObjectError", -2147221504);
        // VarType results
        number("vbEmpty", 0);
        number("vbNull", 1);
        number("vbInteger", 2);
        number("vbLong", 3);
        number("vbSingle", 4);
        number("vbDouble", 5);
        number("vbCurrency", 6);
        number("vbDate", 7);
        number("vbString", 8);
        number("vbObject", 9);
        number("vbError", 10);
        number("vbBoolean", 11);
        number("vbVariant", 12);
        number("vbDataObject", 13);
        number("vbDecimal", 14);
        number("vbByte", 17);
        number("vbArray", 8192);
        // Tristate
        number("vbTrue", -1);
        number("vbFalse", 0);
        number("vbUseDefault", -2);
        // MsgBox buttons, icons and results
        number("vbOKOnly", 0);
        number("vbOKCancel", 1);
        number("vbAbortRetryIgnore", 2);
        number("vbYesNoCancel", 3);
        number("vbYesNo", 4);
        number("vbRetryCancel", 5);
        number("vbCritical", 16);
        number("vbQuestion", 32);
        number("vbExclamation", 48);
        number("vbInformation", 64);
        number("vbDefaultButton1", 0);
        number("vbDefaultButton2", 256);
        number("vbDefaultButton3", 512);
        number("vbDefaultButton4", 768);
        number("vbApplicationModal", 0);
        number("vbSystemModal", 4096);
        number("vbOK", 1);
        number("vbCancel", 2);
        number("vbAbort", 3);
        number("vbRetry", 4);
        number("vbIgnore", 5);
        number("vbYes", 6);
        number("vbNo", 7);
        // Colours
        number("vbBlack", 0x000000);
        number("vbRed", 0x0000FF);
        number("vbGreen", 0x00FF00);
        number("vbYellow", 0x00FFFF);
        number("vbBlue", 0xFF0000);
        number("vbMagenta", 0xFF00FF);
        number("vbCyan", 0xFFFF00);
        number("vbWhite", 0xFFFFFF);
        return m;
    }();
    return map;
}

}  // namespace

const LibraryFunction* findLibraryFunction(std::string_view name) {
    const auto& m = functionMap();
    const auto it = m.find(upper(name));
    return it == m.end() ? nullptr : it->second;
}

std::span<const LibraryFunction> libraryFunctions() { return kFunctions; }

const com::Variant* findLibraryConstant(std::string_view name) {
    const auto& m = constantMap();
    const auto it = m.find(upper(name));
    return it == m.end() ? nullptr : &it->second;
}

void registerScriptingClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto& registry = com::ClassRegistry::instance();
        registry.addBuiltin(com::ClassDescriptor{"Dictionary", "Scripting.Dictionary",
                                                 "{EE09B103-97E0-11CF-978F-00A02463E06F}", &makeDictionary,
                                                 &dictionaryTypeInfo});
        registry.addBuiltin(com::ClassDescriptor{"RegExp", "VBScript.RegExp", "{3F4DACA4-160D-11D2-A8E9-00104B365C9F}",
                                                 &makeRegExp, &regExpTypeInfo});
    });
}

}  // namespace orvan::vbs
