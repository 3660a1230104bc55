// Conversions, whole-number and rounding functions with the subtypes they give, the math functions
// and their domain errors, RGB, and the random number sequence.
#include <cmath>
#include <thread>

#include "tests/vbscript/library_test_support.h"

namespace orvan::vbs::testing {
namespace {

TEST(ConversionFunctions, GiveTheirSubtypeAndRaiseOverflowOutsideIt) {
    com::RegionalScope scope(com::Regional::ptBR());
    runCases({
        {"CBool", {L(5)}, "Boolean:True"},
        {"CBool", {D(0)}, "Boolean:False"},
        {"CBool", {S("true")}, "Boolean:True"},
        {"CBool", {Null()}, "error 94"},
        {"CBool", {S("abc")}, "error 13"},
        {"CByte", {D(100.4)}, "Byte:100"},
        {"CByte", {D(254.5)}, "Byte:254"},
        {"CByte", {D(255.5)}, "error 6"},
        {"CByte", {L(-1)}, "error 6"},
        {"CByte", {S("12")}, "Byte:12"},
        {"CCur", {D(1234.56789)}, "Currency:1234.5679"},
        {"CCur", {S("1,5")}, "Currency:1.5"},
        {"CCur", {D(1e16)}, "error 6"},
        {"CCur", {Null()}, "error 94"},
        {"CDate", {S("5/1/2009")}, "Date:1/5/2009"},
        {"CDate", {S("xyz")}, "error 13"},
        {"CDbl", {S("1,5")}, "Double:1.5"},
        {"CInt", {D(2.5)}, "Integer:2"},
        {"CInt", {D(3.5)}, "Integer:4"},
        {"CInt", {L(32768)}, "error 6"},
        {"CLng", {D(-2.5)}, "Long:-2"},
        {"CLng", {D(3e9)}, "error 6"},
        {"CSng", {D(1.5)}, "Single:1.5"},
        {"CSng", {D(1e39)}, "error 6"},
        {"CStr", {B(true)}, "String:True"},
        {"CStr", {Null()}, "error 94"},
    });
}

TEST(ConversionFunctions, WholeNumbersAndRoundingKeepTheArgumentsSubtype) {
    com::RegionalScope scope(com::Regional::enUS());
    runCases({
        {"Int", {D(99.8)}, "Double:99"},
        {"Int", {D(-99.8)}, "Double:-100"},
        {"Int", {D(-99.2)}, "Double:-100"},
        {"Fix", {D(99.8)}, "Double:99"},
        {"Fix", {D(-99.8)}, "Double:-99"},
        {"Fix", {D(-99.2)}, "Double:-99"},
        {"Int", {I(5)}, "Integer:5"},
        {"Int", {L(70000)}, "Long:70000"},
        {"Int", {Variant::single(-1.5f)}, "Single:-2"},
        {"Int", {Variant::currency(-15000)}, "Currency:-2"},
        {"Fix", {Variant::currency(-15000)}, "Currency:-1"},
        {"Int", {Dt(2009, 1, 5, 12)}, "Date:1/5/2009"},
        {"Int", {S("2.7")}, "Double:2"},
        {"Int", {Null()}, "Null"},
        {"Int", {Variant()}, "Integer:0"},
        {"Round", {D(2.5)}, "Double:2"},
        {"Round", {D(3.5)}, "Double:4"},
        {"Round", {D(-2.5)}, "Double:-2"},
        {"Round", {D(2.6)}, "Double:3"},
        {"Round", {D(0.125), L(2)}, "Double:0.12"},
        {"Round", {D(0.375), L(2)}, "Double:0.38"},
        {"Round", {D(3.14159), L(3)}, "Double:3.142"},
        {"Round", {D(1.2345), L(2)}, "Double:1.23"},
        {"Round", {I(7)}, "Integer:7"},
        {"Round", {Variant::currency(25000)}, "Currency:2"},
        {"Round", {Variant::currency(12345), L(2)}, "Currency:1.23"},
        {"Round", {Null()}, "Null"},
        {"Round", {D(1.5), L(-1)}, "error 5"},
        {"Abs", {I(-1)}, "Integer:1"},
        {"Abs", {I(-32768)}, "Long:32768"},
        {"Abs", {L(-5)}, "Long:5"},
        {"Abs", {D(-1.5)}, "Double:1.5"},
        {"Abs", {Variant::currency(-50000)}, "Currency:5"},
        {"Abs", {S("-3")}, "Double:3"},
        {"Abs", {Null()}, "Null"},
        {"Abs", {Variant()}, "Integer:0"},
        {"Sgn", {D(-3.2)}, "Integer:-1"},
        {"Sgn", {L(0)}, "Integer:0"},
        {"Sgn", {D(7)}, "Integer:1"},
    });
}

TEST(MathFunctions, ComputeAndRejectArgumentsOutsideTheirDomain) {
    com::RegionalScope scope(com::Regional::enUS());
    runCases({
        {"Sqr", {L(4)}, "Double:2"},
        {"Sqr", {L(0)}, "Double:0"},
        {"Sqr", {L(-1)}, "error 5"},
        {"Sqr", {Null()}, "Null"},
        {"Exp", {L(0)}, "Double:1"},
        {"Exp", {L(1000)}, "error 6"},
        {"Log", {L(1)}, "Double:0"},
        {"Log", {L(0)}, "error 5"},
        {"Log", {L(-1)}, "error 5"},
        {"Sin", {L(0)}, "Double:0"},
        {"Cos", {L(0)}, "Double:1"},
        {"Tan", {L(0)}, "Double:0"},
        {"Sqr", {S("x")}, "error 13"},
    });
    EXPECT_NEAR(call("Atn", {L(1)}).rawDouble() * 4, M_PI, 1e-15);
    EXPECT_NEAR(call("Log", {D(M_E)}).rawDouble(), 1.0, 1e-15);
    EXPECT_NEAR(call("Exp", {L(1)}).rawDouble(), M_E, 1e-15);
}

// Rnd's sequence is the language's own: a fresh engine's first value is 0.7055475, and Rnd(-1)
// always gives 0.224007. Each check runs on a new thread, whose generator starts fresh.
// RGB(red, green, blue) is red + 256 * green + 65536 * blue; a part over 255 counts as 255 and a
// negative one is an invalid argument.
TEST(MathFunctions, RgbCombinesThePartsOfAColor) {
    runCases({
        {"RGB", {I(0), I(0), I(0)}, "Long:0"},
        {"RGB", {I(255), I(0), I(0)}, "Long:255"},
        {"RGB", {I(0), I(255), I(0)}, "Long:65280"},
        {"RGB", {I(0), I(0), I(255)}, "Long:16711680"},
        {"RGB", {I(255), I(255), I(255)}, "Long:16777215"},
        {"RGB", {I(1), I(2), I(3)}, "Long:197121"},
        {"RGB", {I(300), I(0), I(0)}, "Long:255"},
        {"RGB", {I(0), L(70000), I(0)}, "Long:65280"},
        {"RGB", {I(0), I(0), I(256)}, "Long:16711680"},
        {"RGB", {S("16"), D(1.0), B(false)}, "Long:272"},
        {"RGB", {I(-1), I(0), I(0)}, "error 5"},
        {"RGB", {I(0), I(-1), I(0)}, "error 5"},
        {"RGB", {I(0), I(0), L(-70000)}, "error 5"},
        {"RGB", {Null(), I(0), I(0)}, "error 94"},
        {"RGB", {S("red"), I(0), I(0)}, "error 13"},
    });
}

TEST(MathFunctions, RndFollowsTheLanguagesSequence) {
    std::thread([] {
        const Variant first = call("Rnd");
        EXPECT_EQ(first.type(), VarType::Single);
        EXPECT_NEAR(first.rawDouble(), 0.7055475, 5e-8);
        EXPECT_EQ(call("Rnd", {L(0)}).rawDouble(), first.rawDouble()) << "Rnd(0) repeats the last number";
        const Variant second = call("Rnd", {L(1)});
        EXPECT_NE(second.rawDouble(), first.rawDouble());
        EXPECT_NEAR(call("Rnd", {L(-1)}).rawDouble(), 0.224007, 5e-7);
        EXPECT_NEAR(call("Rnd", {L(-1)}).rawDouble(), 0.224007, 5e-7);
    }).join();
    std::thread([] {
        // Rnd(negative) then Randomize n repeats the same sequence.
        auto sequence = [] {
            call("Rnd", {L(-1)});
            call("Randomize", {L(10)});
            std::vector<double> v;
            for (int i = 0; i < 5; ++i) v.push_back(call("Rnd").rawDouble());
            return v;
        };
        const auto a = sequence();
        EXPECT_EQ(a, sequence());
        for (double x : a) {
            EXPECT_GE(x, 0.0);
            EXPECT_LT(x, 1.0);
        }
    }).join();
}

}  // namespace
}  // namespace orvan::vbs::testing
