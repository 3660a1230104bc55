// Statements that direct the flow: If (block and single-line), Select Case, For..Next with Step,
// For Each over arrays and collections, the Do and While loops, Exit, With, and statement syntax
// (`:` separators, `_` continuations, comments).
#include <gtest/gtest.h>

#include "com_server/dispatch.h"
#include "com_server/enumeration.h"
#include "com_server/regional.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

struct Case {
    const char* source;
    const char* output;
};

class ControlFlowTest : public ::testing::TestWithParam<Case> {};

TEST_P(ControlFlowTest, PrintsWhatTheLanguageDoes) {
    com::RegionalScope us(com::Regional::enUS());
    EXPECT_EQ(run(GetParam().source), GetParam().output) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    If, ControlFlowTest,
    ::testing::Values(
        Case{"x = 5\nIf x > 3 Then\n  Out.Write \"big\"\nElseIf x > 1 Then\n  Out.Write \"mid\"\nElse\n  Out.Write \"small\"\nEnd If", "big"},
        Case{"x = 2\nIf x > 3 Then\n  Out.Write \"big\"\nElseIf x > 1 Then\n  Out.Write \"mid\"\nElse\n  Out.Write \"small\"\nEnd If", "mid"},
        Case{"x = 0\nIf x > 3 Then\n  Out.Write \"big\"\nElseIf x > 1 Then\n  Out.Write \"mid\"\nElse\n  Out.Write \"small\"\nEnd If", "small"},
        Case{"If 1 = 1 Then Out.Write \"a\": Out.Write \"b\" Else Out.Write \"c\"", "ab"},
        Case{"If 1 = 2 Then Out.Write \"a\": Out.Write \"b\" Else Out.Write \"c\": Out.Write \"d\"", "cd"},
        Case{"If Null Then Out.Write \"t\" Else Out.Write \"f\"", "f"},
        Case{"If \"True\" Then Out.Write \"t\"", "t"}, Case{"If 0 Then Out.Write \"t\"\nOut.Write \"x\"", "x"},
        Case{"If Empty Then\nOut.Write \"t\"\nEnd If\nOut.Write \"done\"", "done"}));

INSTANTIATE_TEST_SUITE_P(
    SelectCase, ControlFlowTest,
    ::testing::Values(
        Case{"x = 3\nSelect Case x\n  Case 1, 2\n    Out.Write \"low\"\n  Case 3, 4\n    Out.Write \"high\"\n  Case Else\n    Out.Write \"else\"\nEnd Select", "high"},
        Case{"x = 9\nSelect Case x\n  Case 1, 2\n    Out.Write \"low\"\n  Case Else\n    Out.Write \"else\"\nEnd Select", "else"},
        Case{"x = \"b\"\nSelect Case x\n  Case \"a\": Out.Write 1\n  Case \"b\": Out.Write 2\nEnd Select", "2"},
        Case{"x = \"7\"\nSelect Case x\n  Case 7\n    Out.Write \"seven\"\nEnd Select", "seven"},
        Case{"Select Case 5\n  Case 1\n    Out.Write 1\nEnd Select\nOut.Write \"none\"", "none"},
        Case{"Select Case Null\n  Case Null\n    Out.Write \"n\"\n  Case Else\n    Out.Write \"e\"\nEnd Select", "e"}));

INSTANTIATE_TEST_SUITE_P(
    ForNext, ControlFlowTest,
    ::testing::Values(
        Case{"For i = 1 To 5\n  Out.Write i\nNext", "12345"},
        Case{"For i = 10 To 1 Step -3\n  Out.Write i & \",\"\nNext\nOut.Write i", "10,7,4,1,-2"},
        Case{"For i = 0 To 1 Step 0.25\n  Out.Write i & \";\"\nNext", "0;0.25;0.5;0.75;1;"},
        Case{"For i = 5 To 1\n  Out.Write i\nNext\nOut.Write \"i=\" & i", "i=5"},
        Case{"For i = 1 To 10\n  If i = 3 Then Exit For\nNext\nOut.Write i", "3"},
        Case{"n = 3\nFor i = 1 To n\n  n = 10\n  Out.Write i\nNext", "123"},
        Case{"For i = 1 To 3\n  For j = 1 To 2\n    Out.Write i & j & \" \"\n  Next\nNext", "11 12 21 22 31 32 "},
        Case{"For i = 32766 To 32767\nNext\nOut.Write TypeName(i) & \" \" & i", "Long 32768"},
        Case{"For i = 1 To 3\n  i = i + 1\n  Out.Write i\nNext", "24"}));

INSTANTIATE_TEST_SUITE_P(
    Loops, ControlFlowTest,
    ::testing::Values(
        Case{"i = 0\nDo While i < 3\n  i = i + 1\n  Out.Write i\nLoop", "123"},
        Case{"i = 0\nDo Until i = 3\n  i = i + 1\n  Out.Write i\nLoop", "123"},
        Case{"i = 5\nDo\n  Out.Write i\nLoop While i < 3", "5"},
        Case{"i = 5\nDo\n  Out.Write i\n  i = i + 1\nLoop Until i > 6", "56"},
        Case{"i = 0\nDo\n  i = i + 1\n  If i = 4 Then Exit Do\nLoop\nOut.Write i", "4"},
        Case{"i = 0\nWhile i < 3\n  i = i + 1\n  Out.Write i\nWend", "123"},
        Case{"For i = 1 To 3\n  Do\n    Exit For\n  Loop\nNext\nOut.Write i", "1"},
        Case{"Sub S()\n  For i = 1 To 3\n    If i = 2 Then Exit Sub\n    Out.Write i\n  Next\n  Out.Write \"no\"\nEnd Sub\nS", "1"},
        Case{"Function F()\n  F = 1\n  Exit Function\n  F = 2\nEnd Function\nOut.Write F()", "1"}));

INSTANTIATE_TEST_SUITE_P(
    ForEachAndWith, ControlFlowTest,
    ::testing::Values(
        Case{"Dim a(2)\na(0) = \"x\": a(1) = \"y\": a(2) = \"z\"\nFor Each v In a\n  Out.Write v\nNext", "xyz"},
        Case{"Dim a(1, 1)\na(0, 0) = 1: a(1, 0) = 2: a(0, 1) = 3: a(1, 1) = 4\nFor Each v In a\n  Out.Write v\nNext", "1234"},
        Case{"Dim a(2)\nFor Each v In a\n  v = 9\nNext\nOut.Write \"[\" & a(0) & \"]\"", "[]"},
        Case{"Class C\n  Public N\nEnd Class\nSet o = New C\nWith o\n  .N = 4\n  Out.Write .N * 2\nEnd With", "8"},
        Case{"Class C\n  Public N, Inner\nEnd Class\nSet o = New C\nSet o.Inner = New C\nWith o\n  .N = 1\n  With .Inner\n"
             "    .N = 2\n  End With\n  Out.Write .N & o.Inner.N\nEnd With", "12"}));

INSTANTIATE_TEST_SUITE_P(
    StatementSyntax, ControlFlowTest,
    ::testing::Values(
        Case{"x = 1: y = 2: Out.Write x + y", "3"},
        Case{"x = 1 + _\n    2\nOut.Write x", "3"},
        Case{"' a comment\nx = 1 ' another\nRem a remark\nOut.Write x: Rem the end", "1"},
        Case{"DIM X: x = \"case\": OUT.WRITE X", "case"},
        Case{"Out.Write \"a\" & _\n  \"b\" & _\n  \"c\"", "abc"},
        Case{"Sub Greet(who)\n  Out.Write \"hi \" & who\nEnd Sub\nGreet \"ana\"\nCall Greet(\"bia\")", "hi anahi bia"}));

// A collection whose enumerator hands out its items, as Request.Form or a recordset's Fields do.
class Collection final : public com::Object {
public:
    const com::TypeInfo& typeInfo() const override {
        static const com::TypeInfo info = [] {
            com::TypeInfo t;
            t.className = "Collection";
            t.members = {com::propertyGet<&Collection::NewEnum>("_NewEnum", com::kDispidNewEnum),
                         com::propertyGet<&Collection::Count>("Count", 1)};
            return t;
        }();
        return info;
    }
    com::ComPtr<com::Enumerator> NewEnum() {
        return com::make<com::ListEnumerator>(std::vector<com::Variant>{com::Variant("um"), com::Variant("dois"),
                                                                         com::Variant(std::int32_t{3})});
    }
    std::int32_t Count() { return 3; }
};

TEST(ForEach, WalksACollectionObjectThroughItsEnumerator) {
    auto out = com::make<Output>();
    Engine engine;
    engine.addGlobal("Out", com::Variant(out));
    engine.addGlobal("Items", com::Variant(com::make<Collection>()));
    engine.run(*compile("For Each item In Items\n  Out.Write item & \";\"\nNext\nOut.Write Items.Count"));
    EXPECT_EQ(out->text, "um;dois;3;3");
}

TEST(ForEach, AnObjectWithoutEnumeratorIsNoCollection) {
    EXPECT_EQ(runError("Class C\nEnd Class\nSet o = New C\nFor Each x In o\nNext").number != 0, true);
}

}  // namespace
}  // namespace orvan::vbs::test
