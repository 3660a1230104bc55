// Values and operators: the numeric promotions, & against +, integer division, Mod and ^, the bitwise
// and three-valued logical operators, comparisons between strings, numbers, Empty and Null, Currency
// and Date arithmetic.
#include <gtest/gtest.h>

#include "com_server/regional.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

struct Case {
    const char* expression;
    const char* expected;  // "Subtype value"
};

class OperatorTest : public ::testing::TestWithParam<Case> {};

TEST_P(OperatorTest, GivesTheDocumentedSubtypeAndValue) {
    com::RegionalScope us(com::Regional::enUS());
    EXPECT_EQ(described(value(GetParam().expression)), GetParam().expected) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(NumericPromotion, OperatorTest,
                         ::testing::Values(Case{"1 + 1", "Integer 2"}, Case{"32767 + 1", "Long 32768"},
                                           Case{"-32768 - 1", "Long -32769"}, Case{"32767 * 2", "Long 65534"},
                                           Case{"2147483647 + 1", "Double 2147483648"},
                                           Case{"1.5 + 1", "Double 2.5"}, Case{"True + True", "Integer -2"},
                                           Case{"Empty + Empty", "Integer 0"}, Case{"\"1\" + 1", "Double 2"},
                                           Case{"10 / 4", "Double 2.5"}, Case{"4 / 2", "Double 2"},
                                           Case{"2 ^ 10", "Double 1024"}, Case{"-2 ^ 2", "Double -4"},
                                           Case{"2 ^ -1", "Double 0.5"}, Case{"2 + 3 * 4", "Integer 14"},
                                           Case{"-(-32768)", "Long 32768"}));

INSTANTIATE_TEST_SUITE_P(IntegerDivisionAndMod, OperatorTest,
                         ::testing::Values(Case{"7 \\ 2", "Integer 3"}, Case{"-7 \\ 2", "Integer -3"},
                                           Case{"7 Mod 3", "Integer 1"}, Case{"-7 Mod 3", "Integer -1"},
                                           Case{"7.5 Mod 2", "Long 0"}, Case{"100000 \\ 3", "Long 33333"},
                                           Case{"10 \\ 2.5", "Long 5"}, Case{"1 + 7 \\ 2 Mod 2", "Integer 2"}));

INSTANTIATE_TEST_SUITE_P(Concatenation, OperatorTest,
                         ::testing::Values(Case{"\"a\" + \"b\"", "String ab"}, Case{"\"a\" & 1", "String a1"},
                                           Case{"1 & 2", "String 12"}, Case{"Null & \"a\"", "String a"},
                                           Case{"Null & Null", "Null"}, Case{"Empty & \"x\"", "String x"},
                                           Case{"1.5 & \"\"", "String 1.5"}, Case{"True & \"\"", "String True"},
                                           Case{"\"a\" + Empty", "String a"}, Case{"1 + 2 & 3", "String 33"},
                                           Case{"\"k\" & -32768", "String k-32768"},
                                           Case{"-2147483647 - 1 & \"|\"", "String -2147483648|"},
                                           Case{"CByte(200) & \"!\"", "String 200!"}, Case{"Empty & 7", "String 7"},
                                           Case{"\"x\" & Empty", "String x"}, Case{"0 & Null", "String 0"},
                                           Case{"\"a longer text than sixteen\" & 1234567890",
                                                "String a longer text than sixteen1234567890"}));

INSTANTIATE_TEST_SUITE_P(NullPropagation, OperatorTest,
                         ::testing::Values(Case{"Null + 1", "Null"}, Case{"1 - Null", "Null"},
                                           Case{"Null * 2", "Null"}, Case{"Null / 2", "Null"},
                                           Case{"Null \\ 2", "Null"}, Case{"Null Mod 2", "Null"},
                                           Case{"-Null", "Null"}, Case{"Null = Null", "Null"},
                                           Case{"Null <> 1", "Null"}));

INSTANTIATE_TEST_SUITE_P(Logic, OperatorTest,
                         ::testing::Values(Case{"5 And 3", "Integer 1"}, Case{"5 Or 3", "Integer 7"},
                                           Case{"5 Xor 3", "Integer 6"}, Case{"Not 0", "Integer -1"},
                                           Case{"Not True", "Boolean False"}, Case{"True And False", "Boolean False"},
                                           Case{"True Eqv True", "Boolean True"}, Case{"True Imp False", "Boolean False"},
                                           Case{"False Imp False", "Boolean True"}, Case{"65536 And 65535", "Long 0"},
                                           Case{"True And Null", "Null"}, Case{"False And Null", "Boolean False"},
                                           Case{"True Or Null", "Boolean True"}, Case{"False Or Null", "Null"},
                                           Case{"Null Xor True", "Null"}, Case{"Not Null", "Null"},
                                           Case{"Null Imp True", "Boolean True"}, Case{"False Imp Null", "Boolean True"},
                                           Case{"True Imp Null", "Null"}, Case{"Not 1 = 2", "Boolean True"}));

INSTANTIATE_TEST_SUITE_P(Comparison, OperatorTest,
                         ::testing::Values(Case{"1 < 2", "Boolean True"}, Case{"\"a\" < \"b\"", "Boolean True"},
                                           Case{"\"B\" < \"a\"", "Boolean True"}, Case{"\"abc\" = \"ABC\"", "Boolean False"},
                                           Case{"Empty = 0", "Boolean True"}, Case{"Empty = \"\"", "Boolean True"},
                                           Case{"1 = 1.0", "Boolean True"}, Case{"\"10\" = 10", "Boolean True"},
                                           Case{"\"abc\" > 5", "Boolean True"}, Case{"True = -1", "Boolean True"},
                                           Case{"2 >= 2", "Boolean True"}, Case{"2 <> 2", "Boolean False"},
                                           Case{"\"a\" <= \"a\"", "Boolean True"}));

INSTANTIATE_TEST_SUITE_P(DatesAndLiterals, OperatorTest,
                         ::testing::Values(Case{"#1/31/2009# + 1", "Date 2/1/2009"},
                                           Case{"#2/1/2009# - #1/31/2009#", "Double 1"},
                                           Case{"#2/1/2009# - 1", "Date 1/31/2009"},
                                           Case{"#1/1/2009 12:00:00 PM# + 0.25", "Date 1/1/2009 6:00:00 PM"},
                                           Case{"&HFF", "Integer 255"}, Case{"&HFFFF", "Integer -1"},
                                           Case{"&H10000", "Long 65536"}, Case{"&O17", "Integer 15"},
                                           Case{"\"say \"\"hi\"\"\"", "String say \"hi\""},
                                           Case{"1E3", "Double 1000"}, Case{".5 + 0", "Double 0.5"}));

TEST(CurrencyArithmetic, StaysExactAndWidensToDoubleWithDoubles) {
    com::RegionalScope us(com::Regional::enUS());
    auto program = compile("a = c + 1\nb = c * c\nd = c + 0.5\ne = c - c\n");
    Engine engine;
    engine.addGlobal("c", com::Variant::currency(125000));  // 12.5
    engine.run(*program);
    EXPECT_EQ(described(engine.global("a")), "Currency 13.5");
    EXPECT_EQ(described(engine.global("b")), "Currency 156.25");
    EXPECT_EQ(described(engine.global("d")), "Double 13");
    EXPECT_EQ(described(engine.global("e")), "Currency 0");
}

// Variables of Double, Long and Integer mixed in + - *: a Double whenever one is a Double; past
// Double's range the result is an overflow, not an infinity.
TEST(DoubleArithmetic, VariablesMixedWithWholeNumbersGiveDoublesAndOverflowPastTheRange) {
    com::RegionalScope us(com::Regional::enUS());
    auto program = compile("d = 2.5\nl = CLng(100000)\ni = CInt(3)\n"
                           "r1 = d + l\nr2 = l - d\nr3 = i * d\nr4 = d * d\nr5 = i + l\nr6 = l * l\n");
    Engine engine;
    engine.run(*program);
    EXPECT_EQ(described(engine.global("r1")), "Double 100002.5");
    EXPECT_EQ(described(engine.global("r2")), "Double 99997.5");
    EXPECT_EQ(described(engine.global("r3")), "Double 7.5");
    EXPECT_EQ(described(engine.global("r4")), "Double 6.25");
    EXPECT_EQ(described(engine.global("r5")), "Long 100003");
    EXPECT_EQ(described(engine.global("r6")), "Double 10000000000");  // past Long: widened
    EXPECT_EQ(runError("big = 1E+308\nx = big * 10").number, 6);
    EXPECT_EQ(runError("big = 1E+308\nx = big + big").number, 6);
    EXPECT_EQ(runError("big = -1E+308\nm = CLng(2)\nx = big * m").number, 6);
}

TEST(Concatenation, AppendingToTheSameVariableGivesWhatAssigningTheConcatenationGives) {
    com::RegionalScope us(com::Regional::enUS());
    EXPECT_EQ(run("s = \"ab\"\ns = s & s\nOut.Write s"), "abab");
    EXPECT_EQ(run("s = Null\ns = s & \"x\" & 1\nOut.Write TypeName(s) & \" \" & s"), "String x1");
    EXPECT_EQ(run("n = 5\nn = n & 1.5 & True\nOut.Write TypeName(n) & \" \" & n"), "String 51.5True");
    EXPECT_EQ(run("s = \"a\"\ns = s & Null & \"b\"\nOut.Write s"), "ab");
    EXPECT_EQ(run("Dim s\nFor i = 1 To 3\n  s = s & i & \",\"\nNext\nOut.Write s"), "1,2,3,");
}

TEST(Operators, BothOperandsOfAndAreEvaluated) {
    EXPECT_EQ(run("Function T(s)\n Out.Write s\n T = False\nEnd Function\nx = T(\"a\") And T(\"b\")"), "ab");
}

TEST(Operators, IsComparesObjectIdentity) {
    EXPECT_EQ(run("Class K\nEnd Class\nSet a = New K\nSet b = a\nSet c = New K\n"
                  "Out.Write (a Is b) & \" \" & (a Is c) & \" \" & (Nothing Is Nothing) & \" \" & (a Is Nothing)"),
              "True False True False");
}

}  // namespace
}  // namespace orvan::vbs::test
