// Arrays: fixed and dynamic, several dimensions, ReDim with and without Preserve, Erase, bounds,
// dynamic arrays without dimensions, and arrays copied by assignment.
#include <gtest/gtest.h>

#include "script_support.h"

namespace orvan::vbs::test {
namespace {

TEST(Arrays, FixedArrayHasUpperBoundPlusOneEmptyElements) {
    EXPECT_EQ(run("Dim a(3)\nOut.Write UBound(a) & \" \" & LBound(a) & \" \" & IsEmpty(a(3)) & \" \" & IsArray(a)"),
              "3 0 True True");
}

TEST(Arrays, SeveralDimensionsHaveTheirOwnBounds) {
    EXPECT_EQ(run("Dim m(2, 4)\nm(2, 4) = \"corner\"\nOut.Write UBound(m, 1) & UBound(m, 2) & \" \" & m(2, 4)"),
              "24 corner");
}

TEST(Arrays, ReDimMakesANewArrayOfEmpties) {
    EXPECT_EQ(run("Dim a()\nReDim a(2)\na(0) = 1\nReDim a(4)\nOut.Write UBound(a) & \"[\" & a(0) & \"]\""), "4[]");
}

TEST(Arrays, ReDimPreserveKeepsTheElements) {
    EXPECT_EQ(run("ReDim a(1)\na(0) = \"x\": a(1) = \"y\"\nReDim Preserve a(3)\na(3) = \"w\"\n"
                  "Out.Write a(0) & a(1) & a(3) & UBound(a)\nReDim Preserve a(0)\nOut.Write \" \" & a(0) & UBound(a)"),
              "xyw3 x0");
}

TEST(Arrays, ReDimPreserveMayChangeOnlyTheLastDimension) {
    EXPECT_EQ(run("ReDim m(1, 1)\nm(1, 1) = \"k\"\nReDim Preserve m(1, 3)\nOut.Write m(1, 1) & UBound(m, 2)"), "k3");
    EXPECT_EQ(runError("ReDim m(1, 1)\nReDim Preserve m(2, 1)").number, 9);
}

TEST(Arrays, ReDimOfAFixedArrayIsRefused) {
    EXPECT_EQ(runError("Dim a(5)\nReDim a(6)").number, 10);
    EXPECT_EQ(runError("Sub S()\n  Dim b(1)\n  ReDim Preserve b(2)\nEnd Sub\nS").number, 10);
}

TEST(Arrays, EraseEmptiesAFixedArrayAndKeepsItsSize) {
    EXPECT_EQ(run("Dim a(2)\na(1) = 5\nErase a\nOut.Write UBound(a) & \"[\" & a(1) & \"]\""), "2[]");
}

TEST(Arrays, AssignmentCopiesTheArray) {
    EXPECT_EQ(run("Dim a(1)\na(0) = 1\nb = a\nb(0) = 2\nOut.Write a(0) & b(0)"), "12");
}

TEST(Arrays, AnArrayIsHandedBackFromAFunction) {
    EXPECT_EQ(run("Function Make()\n  Dim r(2)\n  r(2) = \"last\"\n  Make = r\nEnd Function\n"
                  "x = Make()\nOut.Write UBound(x) & x(2)"),
              "2last");
}

TEST(Arrays, AnElementCanHoldAnArray) {
    EXPECT_EQ(run("Dim outer(1), inner(1)\ninner(1) = \"deep\"\nouter(0) = inner\nOut.Write outer(0)(1)"), "deep");
}

TEST(Arrays, SubscriptsOutsideTheBoundsAreRefused) {
    EXPECT_EQ(runError("Dim a(2)\nx = a(-1)").number, 9);
    EXPECT_EQ(runError("ReDim a(2)\nx = a(3)").number, 9);
    EXPECT_EQ(runError("Dim m(1, 1)\nm(0) = 1").number, 9);
}

TEST(Arrays, AnArrayTooLargeIsOutOfMemoryNotACrash) {
    EXPECT_EQ(runError("ReDim a(2000000000)").number, 7);
    EXPECT_EQ(runError("ReDim a(100000, 100000)").number, 7);
}

TEST(Arrays, ReDimDeclaresTheArrayUnderOptionExplicit) {
    EXPECT_EQ(run("Option Explicit\nReDim list(1)\nlist(1) = \"ok\"\nOut.Write list(1)\n"
                  "Sub S()\n  ReDim inner(0)\n  inner(0) = \"in\"\n  Out.Write inner(0)\nEnd Sub\nS"),
              "okin");
}

TEST(Arrays, ASubscriptThatShrinksTheArrayIsCheckedAgainstTheArrayAfterwards) {
    EXPECT_EQ(runError("Function Shrink()\n  ReDim a(0)\n  Shrink = 5\nEnd Function\nReDim a(10)\nx = a(Shrink())").number, 9);
    EXPECT_EQ(runError("Function Shrink()\n  ReDim a(0)\n  Shrink = 5\nEnd Function\nReDim a(10)\na(Shrink()) = 1").number, 9);
    EXPECT_EQ(runError("Function Gone()\n  a = \"text\"\n  Gone = 1\nEnd Function\nReDim a(10)\nx = a(Gone())").number, 13);
}

// A dynamic array declared with empty parentheses has no dimensions until ReDim gives it some: every
// bound and subscript is out of range, though it is an array all along. Erase takes it back there.
TEST(DynamicArrays, DeclaredWithoutDimensionsHasNoBoundsUntilReDim) {
    struct Place {
        const char* before;  // declares the array
        const char* name;    // how the code reaches it
        const char* after;
    };
    const Place kPlaces[] = {
        {"Dim a()\n", "a", ""},                                             // a global
        {"Sub Use()\n  Dim a()\n", "a", "\nEnd Sub\nUse"},                 // a procedure's local
        {"Class Holder\n  Public a()\nEnd Class\nSet h = New Holder\n", "h.a", ""},  // a field of an instance
    };
    for (const Place& p : kPlaces) {
        SCOPED_TRACE(p.before);
        const std::string n = p.name;
        auto script = [&](const std::string& body) { return p.before + body + p.after; };
        EXPECT_EQ(runError(script("x = UBound(" + n + ")")).number, 9);
        EXPECT_EQ(runError(script("x = UBound(" + n + ", 1)")).number, 9);
        EXPECT_EQ(runError(script("x = LBound(" + n + ")")).number, 9);
        EXPECT_EQ(runError(script("x = " + n + "(0)")).number, 9);
        EXPECT_EQ(run(script("Out.Write IsArray(" + n + ") & \" \" & VarType(" + n + ") & \" \" & TypeName(" + n + ")")),
                  "True 8204 Variant()");
    }
    EXPECT_EQ(run("Dim a()\nReDim a(2)\na(2) = \"z\"\nOut.Write UBound(a) & LBound(a) & a(2)"), "20z");
    EXPECT_EQ(run("Class Holder\n  Public a()\n  Sub Grow()\n    ReDim a(1)\n    a(1) = \"in\"\n  End Sub\nEnd Class\n"
                  "Set h = New Holder\nh.Grow\nOut.Write UBound(h.a) & h.a(1)"),
              "1in");
}

TEST(DynamicArrays, ReDimPreserveOfAnArrayWithoutDimensionsGivesItItsFirst) {
    EXPECT_EQ(run("Dim a()\nReDim Preserve a(1, 2)\nOut.Write UBound(a, 1) & UBound(a, 2) & IsEmpty(a(1, 2))"),
              "12True");
}

TEST(DynamicArrays, EraseGivesBackTheStateWithoutDimensions) {
    EXPECT_EQ(runError("Dim a()\nReDim a(3)\nErase a\nx = UBound(a)").number, 9);
    EXPECT_EQ(runError("ReDim a(3)\nErase a\nx = a(0)").number, 9);
    EXPECT_EQ(run("Dim a()\nReDim a(3)\nErase a\nOut.Write IsArray(a)\nReDim a(1)\na(1) = \"back\"\n"
                  "Out.Write \" \" & UBound(a) & a(1)"),
              "True 1back");
    EXPECT_EQ(run("On Error Resume Next\nReDim a(1)\nErase a\nx = UBound(a)\n"
                  "Out.Write Err.Number & \" \" & Err.Description"),
              "9 Subscript out of range");
}

TEST(DynamicArrays, ACopyOfAnArrayWithoutDimensionsHasNoneEither) {
    EXPECT_EQ(runError("Dim a()\nb = a\nx = UBound(b)").number, 9);
    EXPECT_EQ(run("Dim a()\nb = a\nReDim b(0)\nOut.Write UBound(b) & \" \" & IsArray(a)"), "0 True");
}

TEST(Arrays, SubscriptsAreRoundedToWholeNumbers) {
    EXPECT_EQ(run("Dim a(3)\na(2) = \"two\"\nOut.Write a(1.6) & a(\"2\")"), "twotwo");
}

}  // namespace
}  // namespace orvan::vbs::test
