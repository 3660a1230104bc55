// A thread's JScript heap serves one page run after another: what a page declares, replaces or holds
// is gone before the next run, a compiled page is run again from the heap, and a heap that a run
// changed beyond repair (or stopped) is not used again.
#include <algorithm>
#include <thread>

#include "page_host/internal/script_engine.h"
#include "page_test_support.h"

namespace orvan::host::test {
namespace {

using detail::scriptHeapsMade;

class WarmHeap : public PageTest {
protected:
    // A run of the site's page at path, compiled once by the caller, as a request for it.
    PageRun runOf(const std::string& path) const {
        PageRun r;
        r.siteRoot = siteRoot;
        r.request.path = path;
        r.application = application;
        r.session = session;
        return r;
    }
};

TEST_F(WarmHeap, WhatAPageDeclaresReplacesOrHoldsIsGoneForTheNextRun) {
    const long probes = liveProbes();
    const PageResult left = run("warm/leave.asp");
    ASSERT_EQ(left.outcome, PageOutcome::Completed) << describe(left);
    EXPECT_EQ(left.response.body, "left");
    // The probe sat in a cycle of globals: released at the end of the page all the same.
    EXPECT_EQ(liveProbes(), probes);

    const std::uint64_t heaps = scriptHeapsMade();
    const PageResult look = run("warm/look.asp");
    ASSERT_EQ(look.outcome, PageOutcome::Completed) << describe(look);
    EXPECT_EQ(look.response.body, "undefined,undefined,undefined,undefined,undefined,5\n");
    EXPECT_EQ(scriptHeapsMade(), heaps) << "the heap of the first page served the second";
}

TEST_F(WarmHeap, APageThatChangesBuiltInObjectsLeavesThemUnchangedForTheNext) {
    struct Case {
        const char* page;
        const char* wrote;
    } cases[] = {
        {"warm/add_method.asp", "X!\n"},          // a method added to a prototype
        {"warm/replace_method.asp", "-1\n"},      // a built-in method replaced
        {"warm/math_member.asp", "6.28\n"},       // a member added to Math
        {"warm/delete_global.asp", "undefined\n"},  // a global of the heap deleted
        {"warm/freeze.asp", "true\n"},            // a built-in object frozen
    };
    for (const Case& c : cases) {
        const PageResult changed = run(c.page);
        ASSERT_EQ(changed.outcome, PageOutcome::Completed) << c.page << ": " << describe(changed);
        EXPECT_EQ(changed.response.body, c.wrote) << c.page;

        const std::uint64_t heaps = scriptHeapsMade();
        const PageResult look = run("warm/builtins_look.asp");
        ASSERT_EQ(look.outcome, PageOutcome::Completed) << c.page << ": " << describe(look);
        EXPECT_EQ(look.response.body, "undefined,1,undefined,3,false\n") << "after " << c.page;
        EXPECT_EQ(scriptHeapsMade(), heaps + 1) << "the heap " << c.page << " changed was given up";
    }
}

// Response, Request and Server keep their script objects from run to run; what a page defined on
// them or a freeze is not there for the next page, which finds them working as ever, in the same heap.
TEST_F(WarmHeap, WhatAPageDefinesOnTheHostObjectsIsGoneForTheNextRun) {
    for (int round = 0; round < 2; ++round) {
        const PageResult plain = run("warm/host_look.asp");
        ASSERT_EQ(plain.outcome, PageOutcome::Completed) << describe(plain);
        EXPECT_EQ(plain.response.body, "true,false,undefined,undefined,&lt;i&gt;,/warm/host_look.asp\n");

        const std::uint64_t heaps = scriptHeapsMade();
        const long probes = liveProbes();
        const PageResult changed = run("warm/host_change.asp");
        ASSERT_EQ(changed.outcome, PageOutcome::Completed) << describe(changed);
        EXPECT_EQ(changed.response.body, "true,7\n");
        EXPECT_EQ(liveProbes(), probes);

        const PageResult look = run("warm/host_look.asp");
        ASSERT_EQ(look.outcome, PageOutcome::Completed) << describe(look);
        EXPECT_EQ(look.response.body, "true,false,undefined,undefined,&lt;i&gt;,/warm/host_look.asp\n")
            << "round " << round;
        EXPECT_EQ(scriptHeapsMade(), heaps) << "the same heap served every page";
    }
}

TEST_F(WarmHeap, AGlobalThatCannotBeDeletedMakesTheNextRunUseAFreshHeap) {
    ASSERT_EQ(run("warm/frozen_global.asp").outcome, PageOutcome::Completed);
    const PageResult look = run("warm/stuck_look.asp");
    ASSERT_EQ(look.outcome, PageOutcome::Completed) << describe(look);
    EXPECT_EQ(look.response.body, "undefined\n");
}

TEST_F(WarmHeap, AStoppedRunIsFollowedByARunInAFreshHeap) {
    timeout = std::chrono::seconds(1);
    ASSERT_EQ(run("warm/spin.asp").outcome, PageOutcome::TimedOut);
    const std::uint64_t heaps = scriptHeapsMade();
    const PageResult look = run("warm/leftover_look.asp");
    ASSERT_EQ(look.outcome, PageOutcome::Completed) << describe(look);
    EXPECT_EQ(look.response.body, "undefined\n");
    EXPECT_EQ(scriptHeapsMade(), heaps + 1);
}

TEST_F(WarmHeap, ACompiledPageRunsAgainFromTheHeapWithFreshGlobalsEachTime) {
    const CompiledPage page = compilePage(siteRoot, siteRoot / "warm/counter.asp", ScriptLanguage::VBScript);
    const PageRun r = runOf("/warm/counter.asp");
    for (int i = 0; i < 3; ++i) {
        const PageResult result = runPage(r, page);
        ASSERT_EQ(result.outcome, PageOutcome::Completed) << describe(result);
        EXPECT_EQ(result.response.body, "run 1\n") << "run " << i + 1;
    }
}

TEST_F(WarmHeap, APageUsingHostObjectsLeavesItsHeapTheSameSizeRunAfterRun) {
    // The page's proxies of Response, Request, Server and a component object, and the member
    // functions it called through them, go with the run: the heap does not grow from one run to the
    // next, without waiting for a collection.
    const CompiledPage page = compilePage(siteRoot, siteRoot / "warm/objects.asp", ScriptLanguage::VBScript);
    const PageRun r = runOf("/warm/objects.asp");
    const long probes = liveProbes();
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 20; ++i) {
        const PageResult result = runPage(r, page);
        ASSERT_EQ(result.outcome, PageOutcome::Completed) << describe(result);
        EXPECT_EQ(result.response.body, "&lt;b&gt; /warm/objects.asp 3") << "run " << i + 1;
        EXPECT_EQ(liveProbes(), probes) << "run " << i + 1;
        sizes.push_back(detail::spareHeapBytes());
    }
    // The first runs leave what is made once (the compiled page, its strings, the engine's own
    // caches, which come and go by a few bytes); from there on the heap does not grow.
    const std::size_t settled = *std::max_element(sizes.begin() + 1, sizes.begin() + 10);
    for (std::size_t i = 10; i < sizes.size(); ++i) EXPECT_LE(sizes[i], settled) << "run " << i + 1;
}

TEST_F(WarmHeap, EachThreadKeepsAHeapOfItsOwn) {
    // A heap is used by the thread that made it: a run on another thread makes its own.
    ASSERT_EQ(run("warm/look.asp").outcome, PageOutcome::Completed);
    const std::uint64_t heaps = scriptHeapsMade();
    PageResult other;
    std::thread([&] { other = run("warm/look.asp"); }).join();
    ASSERT_EQ(other.outcome, PageOutcome::Completed) << describe(other);
    EXPECT_EQ(scriptHeapsMade(), heaps + 1);
}

}  // namespace
}  // namespace orvan::host::test
