// Syntax errors: found before any of the script runs, with the language's number and text and the
// line and column where the compiler stopped.
#include <gtest/gtest.h>

#include "script_support.h"

namespace orvan::vbs::test {
namespace {

struct Case {
    const char* source;
    std::int32_t number;
    const char* description;
    int line;
    int column;
};

class CompileErrorTest : public ::testing::TestWithParam<Case> {};

TEST_P(CompileErrorTest, NamesTheErrorAndWhereItIs) {
    const Case& c = GetParam();
    try {
        compile(c.source);
        FAIL() << "compiled: " << c.source;
    } catch (const CompileError& e) {
        EXPECT_EQ(e.number(), c.number) << c.source;
        EXPECT_EQ(e.description(), c.description) << c.source;
        EXPECT_EQ(e.line(), c.line) << c.source;
        EXPECT_EQ(e.column(), c.column) << c.source;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CompileErrorTest,
    ::testing::Values(
        Case{"x = (1 + 2", 1006, "Expected ')'", 1, 11}, Case{"x = \"abc", 1033, "Unterminated string constant", 1, 5},
        Case{"x = 1 +", 1023, "Expected expression", 1, 8}, Case{"x = 1 y", 1025, "Expected end of statement", 1, 7},
        Case{"Dim 1x", 1010, "Expected identifier", 1, 5}, Case{"For i = 1 2\nNext", 1013, "Expected 'To'", 1, 11},
        Case{"Do\n  x = 1\n", 1019, "Expected 'Loop'", 3, 1}, Case{"If x Then\n  y = 1\n", 1014, "Expected 'End'", 3, 1},
        Case{"If x Then\n  y = 1\nEnd Sub", 1012, "Expected 'If'", 3, 5}, Case{"Next", 1055, "Unexpected 'Next'", 1, 1},
        Case{"Loop", 1038, "'loop' without 'do'", 1, 1}, Case{"Exit Do", 1039, "Invalid 'exit' statement", 1, 6},
        Case{"Sub S()\n  Exit Function\nEnd Sub", 1039, "Invalid 'exit' statement", 2, 8},
        Case{"x = 1 @ 2", 1032, "Invalid character", 1, 7},
        Case{"Sub S(a, b)\nEnd Sub\nS(1, 2)", 1044, "Cannot use parentheses when calling a Sub", 3, 8},
        Case{"Sub S()\n\n  x = (\nEnd Sub", 1023, "Expected expression", 3, 8},
        Case{"While x\n  y = 1\n", 1018, "Expected 'Wend'", 3, 1},
        Case{"Select Case x\n  Case 1\n", 1014, "Expected 'End'", 3, 1},
        Case{"Function F(\nEnd Function", 1010, "Expected identifier", 1, 12},
        Case{"Dim a\nDim a(2)\nSub a()\nEnd Sub", 1041, "Name redefined", 3, 5},
        Case{"Const C = x", 1045, "Expected literal constant", 1, 11},
        Case{"x = Me", 1037, "Invalid use of 'Me' keyword", 1, 5}));

TEST(CompileErrors, NothingOfAScriptWithASyntaxErrorRuns) {
    auto out = com::make<Output>();
    EXPECT_THROW(
        {
            auto program = compile("Out.Write \"ran\"\nx = (\n");
            Engine engine;
            engine.addGlobal("Out", com::Variant(out));
            engine.run(*program);
        },
        CompileError);
    EXPECT_EQ(out->text, "");
}

TEST(CompileErrors, DeepNestingIsAnErrorNotACrash) {
    EXPECT_THROW(compile("x = " + std::string(100000, '(') + "1" + std::string(100000, ')')), CompileError);
    std::string ifs;
    for (int i = 0; i < 5000; ++i) ifs += "If x Then\n";
    EXPECT_THROW(compile(ifs), CompileError);
}

TEST(CompileErrors, AStatementInASingleLineIfElseMayBeEmpty) {
    EXPECT_EQ(run("If 1 = 2 Then Out.Write \"a\" Else\nOut.Write \"b\""), "b");
}

}  // namespace
}  // namespace orvan::vbs::test
