// Classes: Class_Initialize and Class_Terminate (run when the last reference goes, in that order),
// fields, Property Get/Let/Set, the default member, Me, Private members, and instances seen by
// late-bound callers through their member table.
#include <gtest/gtest.h>

#include "com_server/dispatch.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

constexpr const char* kTracer =
    "Class T\n"
    "  Public Name\n"
    "  Private Sub Class_Initialize()\n    Out.Write \"init;\"\n  End Sub\n"
    "  Private Sub Class_Terminate()\n    Out.Write \"term \" & Name & \";\"\n  End Sub\n"
    "End Class\n";

TEST(ClassTermination, RunsWhenTheLastReferenceGoes) {
    EXPECT_EQ(run(std::string(kTracer) +
                  "Set a = New T\na.Name = \"a\"\nSet b = a\nSet a = Nothing\nOut.Write \"a released;\"\n"
                  "Set b = Nothing\nOut.Write \"b released;\""),
              "init;a released;term a;b released;");
}

TEST(ClassTermination, ALocalInstanceEndsWithItsProcedure) {
    EXPECT_EQ(run(std::string(kTracer) + "Sub P()\n  Dim t\n  Set t = New T\n  t.Name = \"p\"\nEnd Sub\nP\n"
                                         "Out.Write \"back;\""),
              "init;term p;back;");
}

TEST(ClassTermination, ReplacingTheVariableEndsTheOldInstanceAfterTheNewIsMade) {
    EXPECT_EQ(run(std::string(kTracer) + "Set a = New T\na.Name = \"first\"\nSet a = New T\na.Name = \"second\"\n"
                                         "Out.Write \"end;\""),
              "init;init;term first;end;term second;");
}

TEST(ClassTermination, GlobalsEndWithTheEngineInTheOrderTheyWereMade) {
    EXPECT_EQ(run(std::string(kTracer) + "Dim x, y\nSet y = New T\ny.Name = \"y\"\nSet x = New T\nx.Name = \"x\"\n"),
              "init;init;term x;term y;");
}

TEST(ClassTermination, MeKeptByClassTerminateStaysUsable) {
    EXPECT_EQ(run("Class R\n  Public V\n  Private Sub Class_Terminate()\n    Set Keeper = Me\n  End Sub\nEnd Class\n"
                  "Dim Keeper\nSet x = New R\nx.V = \"kept\"\nSet x = Nothing\nOut.Write Keeper.V & TypeName(Keeper)\n"
                  "Set Keeper = Nothing"),
              "keptR");
}

// An error inside Class_Terminate ends the terminate code only: whatever released the instance (a Set,
// the end of a procedure, the end of the engine) goes on as if the terminate had finished, and the
// instance's fields are still released.
TEST(ClassTermination, AnErrorInsideClassTerminateEndsOnlyTheTerminate) {
    const std::string kFailing =
        "Class F\n  Public Name, Inner\n"
        "  Private Sub Class_Terminate()\n    Out.Write \"term \" & Name & \";\"\n    x = 1 / 0\n"
        "    Out.Write \"never;\"\n  End Sub\nEnd Class\n";
    EXPECT_EQ(run(kFailing + "Set a = New F\na.Name = \"a\"\nSet a = Nothing\nOut.Write \"after;\""),
              "term a;after;");
    EXPECT_EQ(run(kFailing + "Sub P()\n  Dim t\n  Set t = New F\n  t.Name = \"p\"\nEnd Sub\nP\nOut.Write \"back;\""),
              "term p;back;");
    EXPECT_EQ(run(kFailing + "Set g = New F\ng.Name = \"g\"\nOut.Write \"end;\""), "end;term g;");
    // Err.Raise with the script's own number, and a field holding another instance that also fails:
    // both terminates run, inner after outer, and the script goes on.
    EXPECT_EQ(run(kFailing + "Class Raiser\n  Private Sub Class_Terminate()\n    Err.Raise vbObjectError + 7\n"
                             "  End Sub\nEnd Class\n"
                             "Set o = New F\no.Name = \"outer\"\nSet o.Inner = New F\no.Inner.Name = \"inner\"\n"
                             "Set r = New Raiser\nSet r = Nothing\nSet o = Nothing\nOut.Write \"done;\""),
              "term outer;term inner;done;");
    // Under On Error Resume Next in the caller the Set goes on as well; the error is not the caller's.
    EXPECT_EQ(run(kFailing + "On Error Resume Next\nSet a = New F\na.Name = \"a\"\nSet a = Nothing\n"
                             "Out.Write \"next;\""),
              "term a;next;");
}

// The instance refers to itself for a while: the script breaks the cycle, as reference counting needs.
TEST(Classes, PropertiesGetLetAndSet) {
    EXPECT_EQ(run("Class P\n  Private mName, mObj\n"
                  "  Public Property Get Name()\n    Name = \"<\" & mName & \">\"\n  End Property\n"
                  "  Public Property Let Name(v)\n    mName = UCaseish(v)\n  End Property\n"
                  "  Public Property Set Obj(o)\n    Set mObj = o\n  End Property\n"
                  "  Public Property Get Obj()\n    Set Obj = mObj\n  End Property\n"
                  "  Private Function UCaseish(v)\n    UCaseish = v & v\n  End Function\n"
                  "End Class\n"
                  "Set x = New P\nx.Name = \"ab\"\nOut.Write x.Name\nSet x.Obj = x\nOut.Write \" \" & (x.Obj Is x)\n"
                  "Set x.Obj = Nothing"),
              "<abab> True");
}

TEST(Classes, PropertyWithArguments) {
    EXPECT_EQ(run("Class Bag\n  Private items(3)\n"
                  "  Public Property Get Item(i)\n    Item = items(i)\n  End Property\n"
                  "  Public Property Let Item(i, v)\n    items(i) = v\n  End Property\n"
                  "End Class\nSet b = New Bag\nb.Item(2) = \"two\"\nOut.Write b.Item(2)"),
              "two");
}

TEST(Classes, DefaultPropertyAnswersTheObjectCalledWithArguments) {
    EXPECT_EQ(run("Class Bag\n  Private items(3)\n"
                  "  Public Default Property Get Item(i)\n    Item = items(i)\n  End Property\n"
                  "  Public Property Let Item(i, v)\n    items(i) = v\n  End Property\n"
                  "End Class\nSet b = New Bag\nb(1) = \"one\"\nOut.Write b(1) & \" \" & b.Item(1)"),
              "one one");
}

TEST(Classes, DefaultMemberGivesTheValueOfAPlainAssignment) {
    EXPECT_EQ(run("Class V\n  Public Default Function Value()\n    Value = 42\n  End Function\nEnd Class\n"
                  "Set o = New V\nx = o\nOut.Write TypeName(x) & \" \" & x & \" \" & (o + 1)"),
              "Integer 42 43");
}

TEST(Classes, MeIsTheInstance) {
    EXPECT_EQ(run("Class M\n  Public n\n  Public Function Self()\n    Set Self = Me\n  End Function\n"
                  "  Public Sub Bump()\n    Me.n = Me.n + 1\n    n = n + 1\n  End Sub\nEnd Class\n"
                  "Set x = New M\nx.n = 0\nx.Bump\nOut.Write x.n & \" \" & (x.Self() Is x) & \" \" & TypeName(x)"),
              "2 True M");
}

TEST(Classes, MembersSeeEachOtherWithoutMe) {
    EXPECT_EQ(run("Class Counter\n  Private count\n  Public Sub Add(n)\n    count = count + n\n    Log\n  End Sub\n"
                  "  Private Sub Log()\n    Out.Write count & \";\"\n  End Sub\n"
                  "  Public Property Get Total()\n    Total = count\n  End Property\nEnd Class\n"
                  "Set c = New Counter\nc.Add 2\nc.Add 3\nOut.Write c.Total"),
              "2;5;5");
}

TEST(Classes, EachInstanceHasItsOwnFields) {
    EXPECT_EQ(run("Class F\n  Public v\nEnd Class\nSet a = New F\nSet b = New F\na.v = 1\nb.v = 2\nOut.Write a.v & b.v"),
              "12");
}

TEST(Classes, AnInstanceIsAnAutomationObjectWithItsClassName) {
    Engine engine;
    engine.run(*compile("Class Pessoa\n  Public Nome\n  Public Function Saudacao(p)\n    Saudacao = p & Nome\n"
                        "  End Function\nEnd Class\nSet x = New Pessoa\nx.Nome = \"Ana\""));
    com::Variant x = engine.global("x");
    ASSERT_TRUE(x.isObject());
    EXPECT_EQ(x.rawObject()->typeInfo().className, "Pessoa");
    EXPECT_EQ(com::invoke(x, "nome", com::kGet).rawString(), "Ana");
    com::Variant args[] = {com::Variant("Oi, ")};
    EXPECT_EQ(com::invoke(x, "Saudacao", com::kMethod, args).rawString(), "Oi, Ana");
    com::Variant value[] = {com::Variant("Bia")};
    com::invoke(x, "Nome", com::kPut, value);
    EXPECT_EQ(com::getProperty(*x.rawObject(), "Nome").rawString(), "Bia");
    EXPECT_THROW(com::invoke(x, "Missing", com::kGet), com::ComError);
}

TEST(Classes, AnInstanceOutlivesItsEngineAndStaysCallable) {
    com::Variant kept;
    {
        Engine engine;
        engine.run(*compile("Class K\n  Public Function Hello()\n    Hello = \"hello\"\n  End Function\nEnd Class\n"
                            "Set kk = New K"));
        kept = engine.global("kk");
    }
    EXPECT_EQ(com::invoke(kept, "Hello", com::kMethod).rawString(), "hello");
}

}  // namespace
}  // namespace orvan::vbs::test
