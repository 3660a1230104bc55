// Arguments by reference and by value: through the script's own procedures (ByRef by default, ByVal,
// an argument in its own parentheses or an expression goes by value), through a component's methods
// with by-reference parameters (written back into the script's variable), and from C++ callers.
#include <gtest/gtest.h>

#include "com_server/dispatch.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

// A component with by-reference parameters, shaped like the business classes' methods.
class Doubler final : public com::Object {
public:
    const com::TypeInfo& typeInfo() const override {
        static const com::TypeInfo info = [] {
            com::TypeInfo t;
            t.className = "Doubler";
            t.members = {
                com::method<&Doubler::Twice>("Twice", 1, {"value"}),
                com::method<&Doubler::Shout>("Shout", 2, {"text"}),
                com::method<&Doubler::TwiceAndTell>("TwiceAndTell", 3, {"value"}),
                com::method<&Doubler::Plain>("Plain", 4, {"value"}),
            };
            return t;
        }();
        return info;
    }
    void Twice(com::Variant& v) { v = com::Variant(com::CLng(v) * 2); }
    void Shout(std::string& s) { s += "!"; }
    std::int32_t TwiceAndTell(std::int32_t& v) {
        v *= 2;
        return v + 1;
    }
    std::int32_t Plain(std::int32_t v) { return v; }
};

std::string runWithDoubler(const std::string& source) {
    auto out = com::make<Output>();
    Engine engine;
    engine.addGlobal("Out", com::Variant(out));
    engine.addGlobal("d", com::Variant(com::make<Doubler>()));
    engine.run(*compile(source));
    return out->text;
}

struct Case {
    const char* call;
    const char* expected;  // x after the call, x being 5 before
};

class ScriptProcedureArgumentTest : public ::testing::TestWithParam<Case> {};

TEST_P(ScriptProcedureArgumentTest, WritesBackOnlyWhatGoesByReference) {
    const std::string source = std::string("Sub Inc(n)\n n = n + 1\nEnd Sub\nSub IncVal(ByVal n)\n n = n + 1\nEnd Sub\n"
                                           "Sub IncRef(ByRef n)\n n = n + 1\nEnd Sub\n"
                                           "Function IncF(n)\n n = n + 1\n IncF = n\nEnd Function\n"
                                           "x = 5\n") +
                               GetParam().call + "\nOut.Write x";
    EXPECT_EQ(run(source), GetParam().expected) << GetParam().call;
}

INSTANTIATE_TEST_SUITE_P(ByRefAndByVal, ScriptProcedureArgumentTest,
                         ::testing::Values(Case{"Inc x", "6"}, Case{"Inc (x)", "5"}, Case{"Call Inc(x)", "6"},
                                           Case{"Call Inc((x))", "5"}, Case{"Inc x + 0", "5"},
                                           Case{"IncVal x", "5"}, Case{"IncRef x", "6"}, Case{"y = IncF(x)", "6"},
                                           Case{"y = IncF((x))", "5"}, Case{"Inc x: Inc x", "7"}));

class ComponentArgumentTest : public ::testing::TestWithParam<Case> {};

TEST_P(ComponentArgumentTest, WritesBackByReferenceParametersIntoTheVariable) {
    EXPECT_EQ(runWithDoubler(std::string("x = 5\n") + GetParam().call + "\nOut.Write x"), GetParam().expected)
        << GetParam().call;
}

INSTANTIATE_TEST_SUITE_P(ThroughDispatch, ComponentArgumentTest,
                         ::testing::Values(Case{"d.Twice x", "10"}, Case{"d.Twice (x)", "5"},
                                           Case{"Call d.Twice(x)", "10"}, Case{"Call d.Twice((x))", "5"},
                                           Case{"y = d.TwiceAndTell(x)", "10"}, Case{"y = d.TwiceAndTell((x))", "5"},
                                           Case{"y = d.Plain(x)", "5"}, Case{"d.Twice x * 1", "5"}));

TEST(ComponentArguments, ATextParameterByReferenceChangesTheStringVariable) {
    EXPECT_EQ(runWithDoubler("s = \"hey\"\nd.Shout s\nOut.Write s\nd.Shout (s)\nOut.Write \" \" & s"), "hey! hey!");
}

TEST(ComponentArguments, TheResultAndTheWrittenBackValueAreBothSeen) {
    EXPECT_EQ(runWithDoubler("x = 4\ny = d.TwiceAndTell(x)\nOut.Write x & \" \" & y"), "8 9");
}

TEST(ScriptArguments, AnArrayElementGoesByReference) {
    EXPECT_EQ(run("Sub Inc(n)\n n = n + 1\nEnd Sub\nDim a(2)\na(1) = 5\nInc a(1)\nOut.Write a(1)"), "6");
}

TEST(ScriptArguments, AnArrayElementGoesByReferenceToAComponent) {
    EXPECT_EQ(runWithDoubler("Dim a(1)\na(0) = 3\nd.Twice a(0)\nOut.Write a(0)"), "6");
}

TEST(ScriptArguments, ALocalPassedOnByReferenceReachesTheOuterVariable) {
    EXPECT_EQ(run("Sub Inner(n)\n n = n * 10\nEnd Sub\nSub Outer(m)\n Inner m\nEnd Sub\nx = 2\nOuter x\nOut.Write x"),
              "20");
}

TEST(ScriptArguments, AClassFieldGoesByReference) {
    EXPECT_EQ(run("Class C\n Public v\nEnd Class\nSub Inc(n)\n n = n + 1\nEnd Sub\n"
                  "Set o = New C\no.v = 1\nInc o.v\nOut.Write o.v"),
              "1");  // a property goes by value: only variables and array elements are references
}

TEST(ScriptArguments, AMethodOfAClassWritesBackToo) {
    EXPECT_EQ(run("Class C\n Sub Bump(ByRef n)\n  n = n + 100\n End Sub\nEnd Class\n"
                  "Set o = New C\nx = 1\no.Bump x\nOut.Write x"),
              "101");
}

TEST(CallerFromCpp, CallProcedureWritesByReferenceParametersIntoTheArguments) {
    Engine engine;
    engine.run(*compile("Sub Fill(a, ByVal b)\n a = \"filled\"\n b = \"lost\"\nEnd Sub"));
    com::Variant args[] = {com::Variant("x"), com::Variant("y")};
    ASSERT_TRUE(engine.callProcedure("fill", args));
    EXPECT_EQ(args[0].rawString(), "filled");
    EXPECT_EQ(args[1].rawString(), "y");
}

TEST(CallerFromCpp, InvokeOnAScriptObjectWritesByReferenceParametersBack) {
    Engine engine;
    engine.run(*compile("Class Acc\n Public Function Take(n)\n  n = n - 1\n  Take = \"took\"\n End Function\n"
                        "End Class\nSet counter = New Acc"));
    com::Variant acc = engine.global("counter");
    com::Variant args[] = {com::Variant(std::int32_t{10})};
    const com::Variant r = com::invoke(acc, "Take", com::kMethod, args);
    EXPECT_EQ(r.rawString(), "took");
    EXPECT_EQ(com::CLng(args[0]), 9);
}

}  // namespace
}  // namespace orvan::vbs::test
