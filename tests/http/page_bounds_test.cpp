// Pages that run away: native work inside the script engine (joining arrays, building strings,
// backtracking regular expressions) stops at Server.ScriptTimeout, a page that holds more memory
// than its budget (in the engine's heap, in its VBScript values or in its response) fails with a clear
// error, and pages run on a pool of their own, so that files are
// served while every page thread is busy and a page that cannot get a thread gets 503.
#include <future>
#include <thread>

#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

using namespace std::chrono_literals;

class PageBounds : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        write("hello.txt", "hello\n");
        write("counter.asp", "<% Session('n') = (Session('n') || 0) + 1; Response.Write(Session('n')); %>");
    }
};

TEST_F(PageBounds, NativeWorkStopsAtTheScriptTimeout) {
    write("join.asp", "<% Server.ScriptTimeout = 1; while (true) { var s = new Array(200001).join('x'); } %>");
    write("regex.asp",
          "<% Server.ScriptTimeout = 1; var s = ''; for (var i = 0; i < 40; i++) s += 'a';"
          " Response.Write(/^(a+)+$/.test(s + '!')); %>");
    write("build.asp",
          "<% Server.ScriptTimeout = 1; var s = 'x';"
          " while (true) { s += s.substring(0, 100000) + 'y'; if (s.length > 20000000) s = s.substring(0, 10); } %>");
    start();
    for (const char* page : {"/join.asp", "/regex.asp", "/build.asp"}) {
        const Reply reply = get(page);
        EXPECT_EQ(reply.status, 500) << page;
        EXPECT_NE(reply.body.find("Script timed out"), std::string::npos) << page << ": " << reply.body;
    }
    EXPECT_EQ(get("/hello.txt").status, 200);
}

TEST_F(PageBounds, APageOverItsMemoryBudgetFailsAndOtherSessionsKeepTheirs) {
    options.pageMemory = 32 * 1024 * 1024;
    write("hog.asp",
          "<% var keep = []; var base = 'm'; while (base.length < 1024 * 1024) base += base;"
          " while (true) keep.push(base + keep.length); %>");
    write("buffers.asp", "<% var keep = []; while (true) keep.push(new Uint8Array(4 * 1024 * 1024)); %>");
    write("caught.asp",
          "<% var keep = []; try { while (true) keep.push(new Uint8Array(4 * 1024 * 1024)); } catch (e) {}"
          " keep = null; Response.Write('went on'); %>");
    // What a page builds outside the script engine's own heap: the response, a VBScript page's values.
    write("writes.asp", "<% var s = new Array(1024 * 1024 + 1).join('w'); while (true) Response.Write(s); %>");
    write("vbs_writes.asp", "<%@ Language=VBScript %><% Do : Response.Write String(1048576, \"w\") : Loop %>");
    write("vbs_hog.asp",
          "<%@ Language=VBScript %><% Dim keep(), n, base : base = String(1048576, \"m\") : n = 0\n"
          "Do : ReDim Preserve keep(n) : keep(n) = base & n : n = n + 1 : Loop %>");
    write("vbs_caught.asp",
          "<%@ Language=VBScript %><% On Error Resume Next\nDim keep(), n, base : base = String(1048576, \"m\")\n"
          "For n = 0 To 63 : ReDim Preserve keep(n) : keep(n) = base & n : Next\n"
          "Erase keep : Response.Write \"went on\" %>");
    start();
    Browser other(port());
    EXPECT_EQ(other.get("/counter.asp").body, "1");
    for (const char* page : {"/hog.asp", "/buffers.asp", "/caught.asp", "/writes.asp", "/vbs_writes.asp",
                             "/vbs_hog.asp", "/vbs_caught.asp"}) {
        const Reply reply = get(page);
        EXPECT_EQ(reply.status, 500) << page;
        EXPECT_NE(reply.body.find("Out of memory"), std::string::npos) << page << ": " << reply.body;
        EXPECT_EQ(reply.body.find("went on"), std::string::npos) << page << ": the page cannot go on";
    }
    EXPECT_EQ(other.get("/counter.asp").body, "2") << "the other session is intact";

    // Under the budget, the same pages' work is done, on the same page threads.
    write("vbs_fits.asp",
          "<%@ Language=VBScript %><% Dim keep(3), n : For n = 0 To 3 : keep(n) = String(1048576, \"f\") & n : Next\n"
          "Response.Write Len(Join(keep, \"\")) %>");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(get("/vbs_fits.asp").body, "4194308") << "run " << i + 1;
}

TEST_F(PageBounds, FilesAreServedWhileEveryPageThreadIsBusy) {
    options.pageThreads = 2;
    options.pageQueue = 1;
    write("busy.asp", "<% Server.ScriptTimeout = 2; while (true) {} %>");
    start();
    std::vector<std::future<int>> busy;
    for (int i = 0; i < 2; ++i) {
        busy.push_back(std::async(std::launch::async, [this] { return get("/busy.asp").status; }));
        std::this_thread::sleep_for(150ms);  // taken by a page thread, the queue empty again
    }
    EXPECT_EQ(get("/hello.txt").body, "hello\n");

    auto queued = std::async(std::launch::async, [this] { return get("/busy.asp").status; });
    std::this_thread::sleep_for(200ms);  // the queue's one place is taken
    const Reply refused = get("/counter.asp");
    EXPECT_EQ(refused.status, 503);
    EXPECT_FALSE(refused.header("Retry-After").empty());
    for (auto& f : busy) EXPECT_EQ(f.get(), 500);
    EXPECT_EQ(queued.get(), 500) << "the queued page ran once a thread was free";
    EXPECT_EQ(get("/counter.asp").status, 200);
}

TEST_F(PageBounds, APageThatWaitsTooLongForAThreadGets503) {
    options.pageThreads = 1;
    options.pageWait = 200ms;
    write("busy.asp", "<% Server.ScriptTimeout = 1; while (true) {} %>");
    start();
    auto running = std::async(std::launch::async, [this] { return get("/busy.asp").status; });
    std::this_thread::sleep_for(200ms);
    const Reply late = get("/counter.asp");
    EXPECT_EQ(late.status, 503);
    EXPECT_EQ(running.get(), 500);
}

}  // namespace
}  // namespace orvan::host::http::test
