// Run-time errors: the numbers and English texts the language gives, the line they are reported at,
// and the Err object with On Error Resume Next, scoped per procedure.
#include <gtest/gtest.h>

#include "com_server/dispatch.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

struct ErrorCase {
    const char* source;
    std::int32_t number;
    const char* description;
};

class RuntimeErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RuntimeErrorTest, RaisesTheLanguagesNumberAndText) {
    const RunError e = runError(GetParam().source);
    EXPECT_EQ(e.number, GetParam().number) << GetParam().source;
    EXPECT_EQ(e.description, GetParam().description) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, RuntimeErrorTest,
    ::testing::Values(
        ErrorCase{"x = 1 / 0", 11, "Division by zero"}, ErrorCase{"x = 5 \\ 0", 11, "Division by zero"},
        ErrorCase{"x = \"a\" * 2", 13, "Type mismatch"}, ErrorCase{"x = 0 / 0", 6, "Overflow"},
        ErrorCase{"x = CInt(40000)", 6, "Overflow"}, ErrorCase{"Dim a(2)\na(3) = 1", 9, "Subscript out of range"},
        ErrorCase{"Dim a(2)\nx = a(1, 1)", 9, "Subscript out of range"},
        ErrorCase{"Dim a(2)\nReDim a(5)", 10, "This array is fixed or temporarily locked"},
        ErrorCase{"Set x = Nothing\nx.Foo", 91, "Object variable not set"},
        ErrorCase{"x = Nothing", 91, "Object variable not set"}, ErrorCase{"x = 5\nx.Foo", 424, "Object required"},
        ErrorCase{"Set x = 5", 424, "Object required"},
        ErrorCase{"Option Explicit\ny = 1", 500, "Variable is undefined"},
        ErrorCase{"Option Explicit\nSub S()\n z = 2\nEnd Sub\nS", 500, "Variable is undefined"},
        ErrorCase{"Sub S(a)\nEnd Sub\nS 1, 2", 450, "Wrong number of arguments or invalid property assignment"},
        ErrorCase{"Class C\nEnd Class\nSet o = New C\no.Foo", 438, "Object doesn't support this property or method"},
        ErrorCase{"Class C\nPrivate p\nEnd Class\nSet o = New C\nx = o.p", 438,
                  "Object doesn't support this property or method"},
        ErrorCase{"Set o = New Nowhere", 506, "Class not defined"},
        ErrorCase{"For Each x In 5\nNext", 451, "Object not a collection"},
        ErrorCase{"x = CLng(Null)", 94, "Invalid use of Null"},
        ErrorCase{"For i = 1 To Null\nNext", 94, "Invalid use of Null"},
        ErrorCase{"Err.Raise 5", 5, "Invalid procedure call or argument"},
        ErrorCase{"Err.Raise 1000", 1000, "Unknown runtime error"},
        ErrorCase{"Err.Raise vbObjectError + 1, \"src\", \"custom text\"", -2147221503, "custom text"},
        ErrorCase{"Sub R()\n R\nEnd Sub\nR", 28, "Out of stack space"},
        ErrorCase{"Function F(n)\n F = F(n + 1) + 1\nEnd Function\nx = F(0)", 28, "Out of stack space"},
        ErrorCase{"x = Eval(\"1 +\")", 1023, "Expected expression"},
        ErrorCase{"Const K = 1\nK = 2", 501, "Illegal assignment"},
        ErrorCase{"x = Array2(1)", 13, "Type mismatch"}));

TEST(RuntimeError, ReportsTheLineOfTheFailingStatement) {
    EXPECT_EQ(runError("x = 1\n\ny = 1 / 0\n").line, 3);
    EXPECT_EQ(runError("Sub S()\n  x = 1\n  x = x / 0\nEnd Sub\n\nS\n").line, 3);
}

TEST(RuntimeError, NothingAfterAnUnhandledErrorRuns) {
    auto out = com::make<Output>();
    Engine engine;
    engine.addGlobal("Out", com::Variant(out));
    EXPECT_THROW(engine.run(*compile("Out.Write \"a\"\nx = 1 / 0\nOut.Write \"b\"")), ScriptError);
    EXPECT_EQ(out->text, "a");
}

TEST(OnErrorResumeNext, ContinuesWithTheNextStatementAndFillsErr) {
    EXPECT_EQ(run("On Error Resume Next\nx = 1 / 0\nOut.Write Err.Number & \"|\" & Err.Description & \"|\" & "
                  "Err.Source\nErr.Clear\nOut.Write \"|\" & Err.Number & \"|\" & Err.Description"),
              "11|Division by zero|Microsoft VBScript runtime error|0|");
}

TEST(OnErrorResumeNext, AnErrorInACalleeWithoutHandlerLeavesTheCalleeAndIsTrappedByTheCaller) {
    EXPECT_EQ(run("Sub Inner()\n  x = 1 / 0\n  Out.Write \"not reached;\"\nEnd Sub\n"
                  "Sub Outer()\n  On Error Resume Next\n  Inner\n  Out.Write \"trapped \" & Err.Number & \";\"\n"
                  "End Sub\nOuter\nOut.Write \"end\""),
              "trapped 11;end");
}

TEST(OnErrorResumeNext, ANestedProceduresHandlerDoesNotReachItsCaller) {
    const RunError e = runError("Sub Quiet()\n  On Error Resume Next\n  x = 1 / 0\nEnd Sub\nQuiet\ny = CLng(\"z\")\n");
    EXPECT_EQ(e.number, 13);
    EXPECT_EQ(e.line, 6);
}

TEST(OnErrorResumeNext, TheCalleesOwnHandlerKeepsItRunning) {
    EXPECT_EQ(run("Sub Inner()\n  On Error Resume Next\n  x = 1 / 0\n  Out.Write \"inner goes on \" & Err.Number & \";\"\n"
                  "End Sub\nInner\nOut.Write \"after\""),
              "inner goes on 11;after");
}

TEST(OnErrorResumeNext, GoToZeroClearsErrAndStopsTrapping) {
    const RunError e = runError("On Error Resume Next\nx = 1 / 0\nOn Error GoTo 0\nOut.Write Err.Number\ny = 1 / 0\n");
    EXPECT_EQ(e.number, 11);
    EXPECT_EQ(e.line, 5);
    EXPECT_EQ(run("On Error Resume Next\nx = 1 / 0\nOn Error GoTo 0\nOut.Write Err.Number"), "0");
}

TEST(OnErrorResumeNext, ErrRaiseFillsNumberDescriptionAndSource) {
    EXPECT_EQ(run("On Error Resume Next\nErr.Raise 1234, \"MySource\", \"My text\"\n"
                  "Out.Write Err.Number & \"|\" & Err.Source & \"|\" & Err.Description\n"
                  "Err.Raise 13\nOut.Write \"|\" & Err.Number & \"|\" & Err.Description & \"|\" & Err.Source"),
              "1234|MySource|My text|13|Type mismatch|Microsoft VBScript runtime error");
}

TEST(OnErrorResumeNext, ErrIsItsNumberAndCanBeAssigned) {
    EXPECT_EQ(run("On Error Resume Next\nx = 1 / 0\nOut.Write Err\nErr.Number = 0\nOut.Write \" \" & Err.Number"),
              "11 0");
}

TEST(OnErrorResumeNext, AFailingIfConditionGoesOnIntoItsBlock) {
    EXPECT_EQ(run("On Error Resume Next\nIf 1 / 0 = 1 Then\n  Out.Write \"then \" & Err.Number\nElse\n"
                  "  Out.Write \"else\"\nEnd If"),
              "then 11");
}

TEST(OnErrorResumeNext, ADeeperErrorInsideALoopSkipsOnlyThatStatement) {
    EXPECT_EQ(run("On Error Resume Next\nFor i = 0 To 2\n  Out.Write 6 / i & \";\"\nNext"), "6;3;");
}

// A component method that stops the page as Response.End does.
class Stopper final : public com::Object {
public:
    const com::TypeInfo& typeInfo() const override {
        static const com::TypeInfo info = [] {
            com::TypeInfo t;
            t.className = "Stopper";
            t.members = {com::method<&Stopper::End>("End", 1)};
            return t;
        }();
        return info;
    }
    void End() { throw com::ResponseEnded{}; }
};

TEST(OnErrorResumeNext, DoesNotCatchTheEndOfTheResponse) {
    auto out = com::make<Output>();
    Engine engine;
    engine.addGlobal("Out", com::Variant(out));
    engine.addGlobal("Response", com::Variant(com::make<Stopper>()));
    EXPECT_THROW(engine.run(*compile("On Error Resume Next\nSub S()\n Response.End\nEnd Sub\nS\nOut.Write \"after\"")),
                 com::ResponseEnded);
    EXPECT_EQ(out->text, "");
}

}  // namespace
}  // namespace orvan::vbs::test
