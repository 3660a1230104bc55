// The string functions: positions in UTF-16 units, Null handling, errors 5 and 94, compare modes,
// Split/Join/Filter, Hex/Oct of negatives, Escape/Unescape.
#include "tests/vbscript/library_test_support.h"

namespace orvan::vbs::testing {
namespace {

class StringFunctions : public ::testing::Test {
protected:
    com::RegionalScope regional{com::Regional::ptBR()};
};

const Variant kSearch = S("XXpXXpXXPXXP");

TEST_F(StringFunctions, ReturnWhatTheReferenceDocuments) {
    const std::vector<Case> cases = {
        {"Len", {S("VBSCRIPT")}, "Long:8"},
        {"Len", {Null()}, "Null"},
        {"Len", {L(123)}, "Long:3"},
        {"Len", {S("ação")}, "Long:4"},
        {"Len", {S("😀")}, "Long:2"},
        {"Left", {S("VBScript"), L(3)}, "String:VBS"},
        {"Left", {S("abc"), L(10)}, "String:abc"},
        {"Left", {Null(), L(1)}, "Null"},
        {"Left", {S("😀x"), L(2)}, "String:😀"},
        {"Right", {S("VBScript"), L(6)}, "String:Script"},
        {"Right", {S("abc"), L(5)}, "String:abc"},
        {"Right", {Null(), L(1)}, "Null"},
        {"Mid", {S("VB Script is fun!"), L(4), L(6)}, "String:Script"},
        {"Mid", {S("abc"), L(2)}, "String:bc"},
        {"Mid", {S("abc"), L(5)}, "String:"},
        {"Mid", {S("ação"), L(2), L(1)}, "String:ç"},
        {"Mid", {Null(), L(1)}, "Null"},
        {"InStr", {L(4), kSearch, S("P"), L(1)}, "Long:6"},
        {"InStr", {L(1), kSearch, S("P"), L(0)}, "Long:9"},
        {"InStr", {kSearch, S("P")}, "Long:9"},
        {"InStr", {L(1), kSearch, S("W")}, "Long:0"},
        {"InStr", {S("abc"), S("")}, "Long:1"},
        {"InStr", {L(2), S("abc"), S("")}, "Long:2"},
        {"InStr", {L(5), S("abc"), S("a")}, "Long:0"},
        {"InStr", {S(""), S("a")}, "Long:0"},
        {"InStr", {Null(), S("a")}, "Null"},
        {"InStr", {S("a"), Null()}, "Null"},
        {"InStr", {S("😀a"), S("a")}, "Long:3"},
        {"InStrRev", {kSearch, S("P"), L(-1), L(1)}, "Long:12"},
        {"InStrRev", {kSearch, S("P"), L(-1), L(0)}, "Long:12"},
        {"InStrRev", {kSearch, S("P"), L(10), L(0)}, "Long:9"},
        {"InStrRev", {kSearch, S("W"), L(8)}, "Long:0"},
        {"InStrRev", {kSearch, S("p"), L(8)}, "Long:6"},
        {"InStrRev", {S("abc"), S("")}, "Long:3"},
        {"InStrRev", {S(""), S("a")}, "Long:0"},
        {"InStrRev", {S("abc"), S("a"), L(4)}, "Long:0"},
        {"InStrRev", {Null(), S("a")}, "Null"},
        {"LCase", {S("ÁÉ Ção")}, "String:áé ção"},
        {"LCase", {Null()}, "Null"},
        {"UCase", {S("ação")}, "String:AÇÃO"},
        {"UCase", {Null()}, "Null"},
        {"LTrim", {S("  a  ")}, "String:a  "},
        {"RTrim", {S("  a  ")}, "String:  a"},
        {"Trim", {S("  a  ")}, "String:a"},
        {"Trim", {S("\ta ")}, "String:\ta"},
        {"Trim", {Null()}, "Null"},
        {"Replace", {S("XXpXXPXXp"), S("p"), S("Y")}, "String:XXYXXPXXY"},
        {"Replace", {S("XXpXXPXXp"), S("p"), S("Y"), L(3), L(-1), L(1)}, "String:YXXYXXY"},
        {"Replace", {S("XXpXXPXXp"), S("p"), S("Y"), L(3), L(2)}, "String:YXXPXXY"},
        {"Replace", {S("XXpXXPXXp"), S("p"), S("Y"), L(1), L(1)}, "String:XXYXXPXXp"},
        {"Replace", {S("abc"), S(""), S("x")}, "String:abc"},
        {"Replace", {S("abc"), S("b"), S("")}, "String:ac"},
        {"Replace", {S("abc"), S("a"), S("x"), L(5)}, "String:"},
        {"Replace", {S("abc"), S("a"), S("x"), L(1), L(0)}, "String:abc"},
        {"Replace", {S("aaa"), S("aa"), S("b")}, "String:ba"},
        {"StrComp", {S("ABCD"), S("abcd"), L(1)}, "Integer:0"},
        {"StrComp", {S("ABCD"), S("abcd"), L(0)}, "Integer:-1"},
        {"StrComp", {S("abcd"), S("ABCD")}, "Integer:1"},
        {"StrComp", {S("a"), S("a")}, "Integer:0"},
        {"StrComp", {Null(), S("a")}, "Null"},
        {"StrReverse", {S("VBScript")}, "String:tpircSBV"},
        {"StrReverse", {S("a😀ç")}, "String:ç😀a"},
        {"String", {L(5), S("*")}, "String:*****"},
        {"String", {L(5), L(42)}, "String:*****"},
        {"String", {L(10), S("ABC")}, "String:AAAAAAAAAA"},
        {"String", {L(2), L(298)}, "String:**"},
        {"String", {L(0), S("x")}, "String:"},
        {"String", {Null(), S("x")}, "Null"},
        {"Space", {L(3)}, "String:   "},
        {"Chr", {L(65)}, "String:A"},
        {"Chr", {L(128)}, "String:€"},
        {"Chr", {L(233)}, "String:é"},
        {"ChrW", {L(8364)}, "String:€"},
        {"ChrW", {L(233)}, "String:é"},
        {"Asc", {S("A")}, "Integer:65"},
        {"Asc", {S("Apple")}, "Integer:65"},
        {"Asc", {S("€")}, "Integer:128"},
        {"AscW", {S("€")}, "Integer:8364"},
        {"AscW", {S("😀")}, "Integer:-10179"},
        {"Hex", {L(5)}, "String:5"},
        {"Hex", {L(10)}, "String:A"},
        {"Hex", {L(459)}, "String:1CB"},
        {"Hex", {I(-1)}, "String:FFFF"},
        {"Hex", {L(-1)}, "String:FFFFFFFF"},
        {"Hex", {I(-32768)}, "String:8000"},
        {"Hex", {D(2.5)}, "String:2"},
        {"Hex", {D(3.5)}, "String:4"},
        {"Hex", {Variant()}, "String:0"},
        {"Hex", {Null()}, "Null"},
        {"Oct", {L(4)}, "String:4"},
        {"Oct", {L(8)}, "String:10"},
        {"Oct", {L(459)}, "String:713"},
        {"Oct", {I(-1)}, "String:177777"},
        {"Oct", {L(-1)}, "String:37777777777"},
        {"Escape", {S("a b&c")}, "String:a%20b%26c"},
        {"Escape", {S("@*_+-./")}, "String:@*_+-./"},
        {"Escape", {S("é€")}, "String:%E9%u20AC"},
        {"Escape", {Null()}, "Null"},
        {"Unescape", {S("%u20AC%E9%20x")}, "String:€é x"},
        {"Unescape", {S("%zz%4")}, "String:%zz%4"},
        {"Unescape", {S("%u20ac")}, "String:€"},
    };
    runCases(cases);
}

TEST_F(StringFunctions, BadLengthsPositionsAndNullsRaiseTheDocumentedErrors) {
    const std::vector<std::pair<std::function<void()>, std::int32_t>> cases = {
        {[] { call("Left", {S("abc"), L(-1)}); }, com::err::InvalidCall},
        {[] { call("Right", {S("abc"), L(-1)}); }, com::err::InvalidCall},
        {[] { call("Left", {S("abc"), Null()}); }, com::err::InvalidUseOfNull},
        {[] { call("Mid", {S("abc"), L(0)}); }, com::err::InvalidCall},
        {[] { call("Mid", {S("abc"), L(1), L(-1)}); }, com::err::InvalidCall},
        {[] { call("InStr", {L(0), S("abc"), S("a")}); }, com::err::InvalidCall},
        {[] { call("InStr", {Null(), S("abc"), S("a")}); }, com::err::InvalidUseOfNull},
        {[] { call("InStr", {L(1), S("abc"), S("a"), L(7)}); }, com::err::InvalidCall},
        {[] { call("InStrRev", {S("abc"), S("a"), L(0)}); }, com::err::InvalidCall},
        {[] { call("Left", {S("abc"), S("x")}); }, com::err::TypeMismatch},
        {[] { call("Chr", {L(256)}); }, com::err::InvalidCall},
        {[] { call("Chr", {L(-1)}); }, com::err::InvalidCall},
        {[] { call("ChrW", {L(65536)}); }, com::err::InvalidCall},
        {[] { call("Asc", {S("")}); }, com::err::InvalidCall},
        {[] { call("Asc", {Null()}); }, com::err::InvalidUseOfNull},
        {[] { call("AscW", {S("")}); }, com::err::InvalidCall},
        {[] { call("String", {L(-1), S("a")}); }, com::err::InvalidCall},
        {[] { call("String", {L(2), S("")}); }, com::err::InvalidCall},
        {[] { call("Space", {L(-1)}); }, com::err::InvalidCall},
        {[] { call("StrReverse", {Null()}); }, com::err::InvalidUseOfNull},
        {[] { call("Replace", {Null(), S("a"), S("b")}); }, com::err::InvalidUseOfNull},
        {[] { call("Replace", {S("abc"), S("a"), S("b"), L(0)}); }, com::err::InvalidCall},
        {[] { call("Hex", {D(3e10)}); }, com::err::Overflow},
        {[] { call("Join", {S("a")}); }, com::err::TypeMismatch},
        {[] { call("Filter", {Null(), S("a")}); }, com::err::InvalidUseOfNull},
        {[] { call("Filter", {S("abc"), S("a")}); }, com::err::TypeMismatch},
        // Both take a one-dimensional array: neither a dynamic array that has no dimensions yet nor
        // an array of two.
        {[] { call("Join", {Variant::unallocatedArray()}); }, com::err::TypeMismatch},
        {[] { call("Join", {Variant::array({S("a"), S("b")}, {1, 2})}); }, com::err::TypeMismatch},
        {[] { call("Filter", {Variant::unallocatedArray(), S("a")}); }, com::err::TypeMismatch},
        {[] { call("Filter", {Variant::array({S("a"), S("b")}, {1, 2}), S("a")}); }, com::err::TypeMismatch},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(errorOf(cases[i].first), cases[i].second) << "case " << i;
}

TEST_F(StringFunctions, SplitCutsAtEachDelimiterUpToTheLimit) {
    const std::vector<Case> cases = {
        {"Split", {S("a,b,,c"), S(",")}, "Array(String:a,String:b,String:,String:c)"},
        {"Split", {S("one two three")}, "Array(String:one,String:two,String:three)"},
        {"Split", {S("a,b,c"), S(","), L(2)}, "Array(String:a,String:b,c)"},
        {"Split", {S("a,b,c"), S(","), L(1)}, "Array(String:a,b,c)"},
        {"Split", {S("aXbxc"), S("x"), L(-1), L(1)}, "Array(String:a,String:b,String:c)"},
        {"Split", {S("aXbxc"), S("x")}, "Array(String:aXb,String:c)"},
        {"Split", {S("abc"), S("")}, "Array(String:abc)"},
        {"Split", {S(""), S(",")}, "Array()"},
        {"Split", {S("a::b"), S("::")}, "Array(String:a,String:b)"},
    };
    for (const auto& c : cases) {
        std::string got = show(call(c.fn, c.args));
        // With a limit the last element keeps the rest of the text, delimiters included.
        EXPECT_EQ(got, c.expected) << "case " << (&c - cases.data());
    }
    const Variant empty = call("Split", {S(""), S(",")});
    EXPECT_EQ(show(call("UBound", {empty})), "Long:-1");
}

TEST_F(StringFunctions, JoinAndFilterWorkOnOneDimensionalArrays) {
    const Variant days = Variant::array({S("Monday"), S("Tuesday"), S("Wednesday")});
    EXPECT_EQ(show(call("Join", {Variant::array({S("a"), S("b"), S("c")}), S("-")})), "String:a-b-c");
    EXPECT_EQ(show(call("Join", {Variant::array({S("a"), L(2)})})), "String:a 2");
    EXPECT_EQ(show(call("Join", {Variant::array({})})), "String:");
    EXPECT_EQ(show(call("Filter", {days, S("Mon")})), "Array(String:Monday)");
    EXPECT_EQ(show(call("Filter", {days, S("day"), B(false)})), "Array()");
    EXPECT_EQ(show(call("Filter", {days, S("n"), B(false)})), "Array(String:Tuesday)");
    EXPECT_EQ(show(call("Filter", {days, S("MON"), B(true), L(1)})), "Array(String:Monday)");
    EXPECT_EQ(show(call("Filter", {days, S("MON"), B(true), L(0)})), "Array()");
}

}  // namespace
}  // namespace orvan::vbs::testing
