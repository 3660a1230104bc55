// The inspection functions (IsXxx, TypeName, VarType, LBound/UBound, Array), ScriptEngine*, and the
// library's table itself: names found without regard to case, argument counts, named constants.
#include "com_server/class_registry.h"
#include "tests/vbscript/library_test_support.h"

namespace orvan::vbs::testing {
namespace {

Variant dictionary() {
    registerScriptingClasses();
    return Variant(com::ClassRegistry::instance().create("Scripting.Dictionary"));
}

TEST(InspectionFunctions, ClassifyValues) {
    com::RegionalScope scope(com::Regional::enUS());
    const Variant arr = Variant::array({L(1), L(2)});
    runCases({
        {"IsArray", {arr}, "Boolean:True"},
        {"IsArray", {S("a")}, "Boolean:False"},
        {"IsDate", {S("1/5/2009")}, "Boolean:True"},
        {"IsDate", {Dt(2009, 1, 5)}, "Boolean:True"},
        {"IsDate", {S("abc")}, "Boolean:False"},
        {"IsDate", {S("13/13/2009")}, "Boolean:False"},
        {"IsEmpty", {Variant()}, "Boolean:True"},
        {"IsEmpty", {S("")}, "Boolean:False"},
        {"IsNull", {Null()}, "Boolean:True"},
        {"IsNull", {Variant()}, "Boolean:False"},
        {"IsNumeric", {S("53")}, "Boolean:True"},
        {"IsNumeric", {S("459.95")}, "Boolean:True"},
        {"IsNumeric", {S("45 Help")}, "Boolean:False"},
        {"IsNumeric", {S("&HFF")}, "Boolean:True"},
        {"IsNumeric", {Variant()}, "Boolean:True"},
        {"IsNumeric", {Null()}, "Boolean:False"},
        {"IsNumeric", {B(true)}, "Boolean:True"},
        {"IsNumeric", {Dt(2009, 1, 5)}, "Boolean:False"},
        {"IsObject", {Variant(nullptr)}, "Boolean:True"},
        {"IsObject", {dictionary()}, "Boolean:True"},
        {"IsObject", {L(1)}, "Boolean:False"},
    });
    com::RegionalScope pt(com::Regional::ptBR());
    EXPECT_TRUE(call("IsNumeric", {S("1.234,5")}).rawBool()) << "pt-BR separators";
    EXPECT_TRUE(call("IsDate", {S("31/12/2009")}).rawBool());
}

TEST(InspectionFunctions, TypeNameAndVarTypeNameEverySubtype) {
    com::RegionalScope scope(com::Regional::enUS());
    const std::vector<std::tuple<Variant, const char*, int>> cases = {
        {Variant(), "Empty", 0},
        {Null(), "Null", 1},
        {I(1), "Integer", 2},
        {L(1), "Long", 3},
        {Variant::single(1.5f), "Single", 4},
        {D(1.5), "Double", 5},
        {Variant::currency(10000), "Currency", 6},
        {Dt(2009, 1, 5), "Date", 7},
        {S("a"), "String", 8},
        {Variant(nullptr), "Nothing", 9},
        {B(true), "Boolean", 11},
        {Variant::byte(1), "Byte", 17},
        {Variant::array({L(1)}), "Variant()", 8204},
        {dictionary(), "Dictionary", 9},
    };
    for (const auto& [v, name, type] : cases) {
        EXPECT_EQ(call("TypeName", {v}).rawString(), name);
        const Variant t = call("VarType", {v});
        EXPECT_EQ(t.type(), VarType::Integer);
        EXPECT_EQ(t.rawInt(), type) << name;
    }
}

TEST(InspectionFunctions, BoundsOfEachDimension) {
    const Variant grid = Variant::array(std::vector<Variant>(6), {2, 3});  // Dim grid(1, 2)
    runCases({
        {"LBound", {grid}, "Long:0"},
        {"UBound", {grid}, "Long:1"},
        {"UBound", {grid, L(2)}, "Long:2"},
        {"LBound", {grid, L(2)}, "Long:0"},
        {"UBound", {grid, L(3)}, "error 9"},
        {"UBound", {grid, L(0)}, "error 9"},
        {"LBound", {grid, L(3)}, "error 9"},
        {"UBound", {S("a")}, "error 13"},
        {"UBound", {Variant::array({})}, "Long:-1"},
        {"Array", {L(1), S("b")}, "Array(Long:1,String:b)"},
        {"Array", {}, "Array()"},
        {"UBound", {call("Array", {L(1), L(2), L(3)})}, "Long:2"},
        {"ScriptEngine", {}, "String:VBScript"},
        {"ScriptEngineMajorVersion", {}, "Long:5"},
        {"ScriptEngineMinorVersion", {}, "Long:8"},
    });
    EXPECT_GT(call("ScriptEngineBuildVersion").rawInt(), 0);
}

TEST(LibraryTable, FindsNamesWithoutRegardToCase) {
    ASSERT_NE(findLibraryFunction("InStrRev"), nullptr);
    EXPECT_EQ(findLibraryFunction("instrrev"), findLibraryFunction("INSTRREV"));
    EXPECT_EQ(findLibraryFunction("instrrev")->name, "InStrRev");
    EXPECT_EQ(findLibraryFunction("NoSuchFunction"), nullptr);
    EXPECT_EQ(findLibraryFunction("Eval"), nullptr) << "Eval is the engine's";
    EXPECT_EQ(findLibraryFunction("CreateObject"), nullptr) << "CreateObject is the engine's";
    for (const auto& f : libraryFunctions()) {
        EXPECT_EQ(findLibraryFunction(f.name), &f) << f.name;
        EXPECT_LE(f.minArgs, f.maxArgs) << f.name;
    }
}

TEST(LibraryTable, PublishesTheDocumentedArgumentCounts) {
    const std::vector<std::tuple<const char*, int, int>> counts = {
        {"Len", 1, 1},          {"Mid", 2, 3},         {"InStr", 2, 4},        {"InStrRev", 2, 4},
        {"Replace", 3, 6},      {"Split", 1, 4},       {"Join", 1, 2},         {"Filter", 2, 4},
        {"StrComp", 2, 3},      {"FormatNumber", 1, 5}, {"FormatDateTime", 1, 2}, {"Round", 1, 2},
        {"Rnd", 0, 1},          {"Randomize", 0, 1},   {"Now", 0, 0},          {"Weekday", 1, 2},
        {"WeekdayName", 1, 3},  {"MonthName", 1, 2},   {"DateAdd", 3, 3},      {"DateDiff", 3, 5},
        {"DatePart", 2, 4},     {"DateSerial", 3, 3},  {"UBound", 1, 2},       {"Array", 0, 0x7FFF},
        {"RGB", 3, 3},          {"GetLocale", 0, 0},   {"SetLocale", 1, 1},
    };
    for (const auto& [name, lo, hi] : counts) {
        const LibraryFunction* f = findLibraryFunction(name);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_EQ(f->minArgs, lo) << name;
        EXPECT_EQ(f->maxArgs, hi) << name;
    }
}

TEST(LibraryTable, NamedConstantsHaveTheirDocumentedValues) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"vbCrLf", "String:\r\n"},       {"VBCR", "String:\r"},          {"vbLf", "String:\n"},
        {"vbNewLine", "String:\r\n"},    {"vbTab", "String:\t"},         {"vbNullString", "String:"},
        {"vbNullChar", std::string("String:") + '\0'}, {"vbVerticalTab", "String:\v"}, {"vbFormFeed", "String:\f"},
        {"vbBack", "String:\b"},         {"vbBinaryCompare", "Long:0"},  {"vbTextCompare", "Long:1"},
        {"vbSunday", "Long:1"},          {"vbSaturday", "Long:7"},       {"vbUseSystemDayOfWeek", "Long:0"},
        {"vbFirstJan1", "Long:1"},       {"vbFirstFourDays", "Long:2"},  {"vbFirstFullWeek", "Long:3"},
        {"vbGeneralDate", "Long:0"},     {"vbLongDate", "Long:1"},       {"vbShortTime", "Long:4"},
        {"vbObjectError", "Long:-2147221504"}, {"vbEmpty", "Long:0"},   {"vbString", "Long:8"},
        {"vbBoolean", "Long:11"},        {"vbByte", "Long:17"},          {"vbArray", "Long:8192"},
        {"vbVariant", "Long:12"},        {"vbDecimal", "Long:14"},       {"vbTrue", "Long:-1"},
        {"vbFalse", "Long:0"},           {"vbUseDefault", "Long:-2"},    {"vbOKOnly", "Long:0"},
        {"vbYesNo", "Long:4"},           {"vbNo", "Long:7"},             {"vbCritical", "Long:16"},
        {"vbRed", "Long:255"},           {"vbBlue", "Long:16711680"},    {"vbWhite", "Long:16777215"},
    };
    for (const auto& [name, expected] : cases) {
        const Variant* v = findLibraryConstant(name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_EQ(show(*v), expected) << name;
    }
    EXPECT_EQ(findLibraryConstant("vbNoSuchThing"), nullptr);
}

}  // namespace
}  // namespace orvan::vbs::testing
