// The bridge between page scripts and automation objects, through real pages and test-only classes:
// late binding, by-reference write-back, defaults, errors both ways, the end of the response and the
// timeout, values in both directions, object identity and release.
#include <chrono>
#include <cstdlib>
#include <ctime>

#include "page_test_support.h"

namespace orvan::host::test {
namespace {

using Bridge = PageTest;

TEST_F(Bridge, ByReferenceArgumentsAreWrittenBackAlsoWhenTheMemberFails) {
    const PageResult r = run("bridge/byref.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "\nbump=42;fill=filled;failed=1234,written=99;plain=41;\n");
}

TEST_F(Bridge, OptionalArgumentsLeftOutTakeTheirDefaultsAndCountsAreChecked) {
    const PageResult r = run("bridge/optional.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "a|Missing|7;a|String|7;a|Null|3;missing=449;extra=450;\n");
}

TEST_F(Bridge, ErrorsAreCatchableWithNumberDescriptionAndSource) {
    const PageResult r = run("bridge/caught_errors.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(
        r.response.body,
        "-2147217900|Sintaxe incorreta perto de 'WHERE'|Sintaxe incorreta perto de 'WHERE'|true|Test.Probe;"
        "438;438;-2147221005;13;13;-2146823281|true;\n");
}

TEST_F(Bridge, AnUncaughtComponentErrorStopsThePageAndNamesItsLine) {
    const PageResult r = run("bridge/uncaught.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Failed) << describe(r);
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->where.line, 6);
    EXPECT_TRUE(r.error->where.file.ends_with("bridge/uncaught.asp")) << r.error->where.file;
    EXPECT_EQ(r.error->number, 3021);
    EXPECT_EQ(r.error->description, "Nenhum registro atual");
    EXPECT_EQ(r.error->source, "Test.Probe");
    EXPECT_EQ(r.response.body, "\n<p>before</p>\nwritten;");
}

TEST_F(Bridge, ScriptErrorsAndThrownValuesAreLocatedToo) {
    struct Case {
        const char* page;
        int line;
        std::int32_t number;
        const char* description;
    } cases[] = {
        {"bridge/script_error.asp", 3, static_cast<std::int32_t>(0x800A1391u), "ReferenceError: "},
        {"bridge/throw_value.asp", 3, static_cast<std::int32_t>(0x800A139Eu), "plain text"},
    };
    for (const Case& c : cases) {
        const PageResult r = run(c.page);
        ASSERT_EQ(r.outcome, PageOutcome::Failed) << c.page << ": " << describe(r);
        EXPECT_EQ(r.error->where.line, c.line) << c.page;
        EXPECT_EQ(r.error->number, c.number) << c.page;
        EXPECT_TRUE(r.error->description.starts_with(c.description))
            << c.page << ": " << r.error->description;
    }
}

TEST_F(Bridge, ResponseEndInsideAComponentCallStopsThePageAndNoTryCatchResumesIt) {
    const PageResult r = run("bridge/end_in_component.asp");
    EXPECT_EQ(r.outcome, PageOutcome::Ended) << describe(r);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.response.body, "start;from component;");
}

TEST_F(Bridge, ACatchThatSwallowsTheEndCannotKeepThePageRunning) {
    timeout = std::chrono::seconds(30);
    const auto started = std::chrono::steady_clock::now();
    const PageResult r = run("bridge/end_swallowed.asp");
    EXPECT_EQ(r.outcome, PageOutcome::Ended) << describe(r);
    EXPECT_EQ(r.response.body, "one;");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(Bridge, ThePageStopsAtItsScriptTimeoutWhereverItLoops) {
    const auto started = std::chrono::steady_clock::now();
    const PageResult r = run("bridge/timeout.asp");
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(r.outcome, PageOutcome::TimedOut) << describe(r);
    EXPECT_EQ(r.error->number, kScriptTimedOut);
    EXPECT_EQ(r.error->where.line, 5);
    EXPECT_EQ(r.response.body, "looping;");
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(8));
}

// Dates cross as local date and time; run in a zone away from UTC so that a mix-up shows.
TEST_F(Bridge, ValuesCrossInBothDirectionsWithTheirTypes) {
    const char* savedTz = std::getenv("TZ");
    const std::string saved = savedTz ? savedTz : "";
    ::setenv("TZ", "America/Sao_Paulo", 1);
    ::tzset();
    const PageResult r = run("bridge/values.asp");
    if (savedTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();

    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(
        r.response.body,
        "long=Long;minLong=Long;big=Double;fraction=Double;text=String;bool=Boolean;null=Null;"
        "undefined=Empty;date=Date;array=Variant();object=Object;bigEcho=true;nullEcho=true;"
        "emptyEcho=true;arrayEcho=true,4,dois,3.5,true,true;dateText=2024-01-31 13:45:10;dateEcho=true;"
        "oldDate=1899-12-29 06:00:00,true;madeDate=true,1999-12-31 23:59:58;unicode=true;surrogates=2;\n");
}

TEST_F(Bridge, TheSameObjectIsAlwaysTheSameScriptObject) {
    const PageResult r = run("bridge/identity.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "true;true;true;true;true;true;object;function;\n");
}

TEST_F(Bridge, AssigningAnObjectOrNullPutsByReferenceAndAnythingElseByValue) {
    const PageResult r = run("bridge/put_ref.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "set;true;let;5;set;true;let;\n");
}

TEST_F(Bridge, TheDefaultMemberAnswersCallsAssignmentsAndPlainValues) {
    const PageResult r = run("bridge/default_member.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "v1;7;3;via Item;cell=5;true;10;5;5;texto;true;length=438;name=438;\n");
}

TEST_F(Bridge, ObjectsAreReleasedWhenDroppedAndAtTheEndOfThePage) {
    const long before = liveProbes();
    const PageResult r = run("bridge/release.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "1;1;\n");
    EXPECT_EQ(liveProbes(), before);
}

TEST_F(Bridge, ObjectsAreReleasedAfterAFailedOrEndedPageToo) {
    const long before = liveProbes();
    EXPECT_EQ(run("bridge/uncaught.asp").outcome, PageOutcome::Failed);
    EXPECT_EQ(run("bridge/end_in_component.asp").outcome, PageOutcome::Ended);
    EXPECT_EQ(liveProbes(), before);
}

}  // namespace
}  // namespace orvan::host::test
