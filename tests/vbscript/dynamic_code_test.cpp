// Code made at run time: Eval (an expression, in the caller's scope), Execute (statements in the
// caller's scope), ExecuteGlobal (statements in the global scope) and GetRef (a procedure as an object).
#include <gtest/gtest.h>

#include "com_server/dispatch.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

TEST(Eval, EvaluatesAnExpression) {
    EXPECT_EQ(run("Out.Write Eval(\"1 + 2 * 3\") & \" \" & TypeName(Eval(\"\"\"s\"\"\"))"), "7 String");
}

TEST(Eval, SeesGlobalsAndTheCallersLocals) {
    EXPECT_EQ(run("g = 10\nFunction F(p)\n  Dim l\n  l = 5\n  F = Eval(\"g + p + l\")\nEnd Function\nOut.Write F(100)"),
              "115");
}

TEST(Eval, AnEqualSignComparesInAnExpression) {
    EXPECT_EQ(run("x = 1\nOut.Write Eval(\"x = 1\")"), "True");
}

TEST(Eval, CallsTheScriptsFunctions) {
    EXPECT_EQ(run("Function Sq(n)\n  Sq = n * n\nEnd Function\nOut.Write Eval(\"Sq(7)\")"), "49");
}

TEST(Eval, InsideAClassSeesTheInstancesMembers) {
    EXPECT_EQ(run("Class C\n  Public V\n  Public Function Twice()\n    Twice = Eval(\"V * 2\")\n  End Function\n"
                  "  Public Sub Put(n)\n    Execute \"V = n\"\n  End Sub\nEnd Class\n"
                  "Set o = New C\no.Put 21\nOut.Write o.Twice()"),
              "42");
}

TEST(Execute, RunsStatementsInTheCallersScope) {
    EXPECT_EQ(run("Sub S()\n  Dim l\n  Execute \"l = 42\"\n  Out.Write l\nEnd Sub\nS\nOut.Write \"[\" & l & \"]\""),
              "42[]");
}

TEST(Execute, AProcedureItDeclaresIsGlobalAndSeesTheGlobalsNotTheCallersLocals) {
    EXPECT_EQ(run("Dim X\nX = \"Global\"\n"
                  "Sub Proc1\n  Dim X\n  X = \"Local\"\n  Execute \"Sub Proc2: Out.Write X: End Sub\"\n"
                  "  Out.Write Eval(\"X\") & \";\"\n  Proc2\nEnd Sub\n"
                  "Proc1\nOut.Write \";\"\nProc2\n"
                  "Execute \"Function Made(n) : Made = n * 3 : End Function\"\nOut.Write \";\" & Made(5)\n"
                  "Execute \"Class Made2 : Public V : End Class\"\nSet o = New Made2\no.V = 1\nOut.Write o.V"),
              "Local;Global;Global;151");
}

TEST(Execute, ManyPiecesOfCodeRunOneAfterAnother) {
    EXPECT_EQ(run("For i = 1 To 300\n  Execute \"v\" & (i Mod 7) & \" = \" & i & \": t = t + Eval(\"\"1\"\")\"\nNext\n"
                  "Out.Write v0 & \" \" & v6 & \" \" & t"),
              "294 300 300");
}

TEST(Execute, AtTopLevelSetsGlobals) {
    EXPECT_EQ(run("Execute \"x = 1: y = x + 1\"\nOut.Write x & y"), "12");
}

TEST(Execute, ASyntaxErrorIsARunTimeErrorOfTheCaller) {
    EXPECT_EQ(run("On Error Resume Next\nExecute \"x = (\"\nOut.Write Err.Number & \" \" & Err.Description"),
              "1023 Expected expression");
}

TEST(Execute, AnErrorInsideIsReportedAtTheLineOfTheExecute) {
    const RunError e = runError("x = 1\n\nExecute \"a = 1\" & vbCrLf & \"b = 1 / 0\"\n");
    EXPECT_EQ(e.number, 11);
    EXPECT_EQ(e.line, 3);
}

TEST(ExecuteGlobal, DefinesProceduresTheScriptCallsAfterwards) {
    EXPECT_EQ(run("ExecuteGlobal \"Function Twice(n): Twice = n * 2: End Function\"\nOut.Write Twice(21)"), "42");
}

TEST(ExecuteGlobal, FromAProcedureDefinesGlobals) {
    EXPECT_EQ(run("Sub S()\n  ExecuteGlobal \"gv = 7\"\nEnd Sub\nS\nOut.Write gv"), "7");
}

TEST(ExecuteGlobal, DefinesClasses) {
    EXPECT_EQ(run("ExecuteGlobal \"Class Z\" & vbCrLf & \"Public V\" & vbCrLf & \"End Class\"\n"
                  "Set z1 = New Z\nz1.V = 3\nOut.Write TypeName(z1) & z1.V"),
              "Z3");
}

TEST(GetRef, GivesAnObjectThatCallsTheProcedure) {
    EXPECT_EQ(run("Function Add(a, b)\n  Add = a + b\nEnd Function\nSet f = GetRef(\"Add\")\n"
                  "Out.Write f(2, 3) & \" \" & IsObject(f)"),
              "5 True");
}

TEST(GetRef, AnUnknownNameIsAnInvalidCall) { EXPECT_EQ(runError("Set f = GetRef(\"Nope\")").number, 5); }

TEST(GetRef, TheReferenceIsCallableThroughDispatch) {
    Engine engine;
    engine.run(*compile("Sub Bump(n)\n  n = n + 1\nEnd Sub\nSet handler = GetRef(\"Bump\")"));
    com::Variant args[] = {com::Variant(std::int32_t{1})};
    com::invoke(*engine.global("handler").rawObject(), com::kDispidValue, com::kMethod, args);
    EXPECT_EQ(com::CLng(args[0]), 2);
}

}  // namespace
}  // namespace orvan::vbs::test
