// The page pool as a handler sees it: pages asked for one after another run on the thread that
// became free last (so that one thread's script heaps and caches stay warm), and pages asked for at
// once run side by side, also when a freed thread waits for the next page without sleeping. A page
// whose connection has its connection thread to itself runs on that thread, as long as that leaves
// another connection thread free and a page slot is free.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "http_test_support.h"
#include "page_host/http/internal/http_server.h"

namespace orvan::host::http::test {
namespace {

using namespace std::chrono_literals;

// A server whose every request but /file is a page; the handler notes the thread that ran each page
// and, while `hold` is set, waits until it is released. With one connection thread, every page goes
// through the page threads.
class PagePool : public ::testing::Test {
protected:
    void SetUp() override {
        config.port = 0;
        config.threads = 1;
        config.pageThreads = 4;
        config.runsLong = [](const HttpRequest& request) { return request.path != "/file"; };
        config.handler = [this](const HttpRequest& request) {
            std::unique_lock lock(mutex);
            if (request.path == "/file") {
                fileThread = std::this_thread::get_id();
                HttpResponse response;
                response.body = "file";
                return response;
            }
            threads.push_back(std::this_thread::get_id());
            ++running;
            changed.notify_all();
            changed.wait(lock, [&] { return !hold; });
            --running;
            HttpResponse response;
            response.headers = {{"Content-Type", "text/plain"}};
            response.body = "ran";
            return response;
        };
    }
    void start() {
        server = std::make_unique<HttpServer>(config);
        server->start();
    }
    void waitForRunning(int n) {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return running == n; })) << running << " running";
    }
    // n pages asked for at once, each on a connection of its own.
    std::vector<std::future<Reply>> askAtOnce(int n) {
        std::vector<std::future<Reply>> replies;
        for (int i = 0; i < n; ++i)
            replies.push_back(std::async(std::launch::async, [this] {
                Connection c(server->port());
                return c.request("GET", "/held");
            }));
        return replies;
    }
    void release() {
        std::lock_guard lock(mutex);
        hold = false;
        changed.notify_all();
    }

    // How many of the pages noted so far the thread that ran most of them ran.
    std::size_t busiestThreadsPages() {
        std::lock_guard lock(mutex);
        std::size_t most = 0;
        for (const auto& id : threads)
            most = std::max<std::size_t>(most, static_cast<std::size_t>(std::count(threads.begin(), threads.end(), id)));
        return most;
    }

    HttpServerConfig config;
    std::unique_ptr<HttpServer> server;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::thread::id> threads;
    std::thread::id fileThread;  // the connection thread that answered /file last
    int running = 0;
    bool hold = false;
};

TEST_F(PagePool, PagesOneAfterAnotherRunOnTheThreadFreedLast) {
    start();
    Connection a(server->port());
    Connection b(server->port());
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ((i % 2 ? a : b).request("GET", "/p" + std::to_string(i)).body, "ran");
        std::this_thread::sleep_for(5ms);  // every other thread has long been waiting
    }
    // The thread that answered may still be on its way back to the pool when the next request comes
    // (a busy machine); most pages still run on one thread, where taking turns would give each of
    // the four three pages.
    EXPECT_GE(busiestThreadsPages(), 9u) << "a one-at-a-time load went round the pool";
}

TEST_F(PagePool, PagesAskedForAtOnceRunSideBySideAndTheLastFreedTakesTheNext) {
    hold = true;
    start();
    std::vector<std::future<Reply>> replies = askAtOnce(3);
    waitForRunning(3);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(std::set(threads.begin(), threads.end()).size(), 3u);
    }
    release();
    for (auto& r : replies) EXPECT_EQ(r.get().body, "ran");

    // One of the three ran last; whichever it was, the pages that follow stay on one thread of the
    // three, not on the thread that never ran a page.
    std::set<std::thread::id> busy;
    {
        std::lock_guard lock(mutex);
        busy = {threads.begin(), threads.end()};
        threads.clear();
    }
    std::this_thread::sleep_for(100ms);  // the three are back in the pool
    Connection c(server->port());
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(c.request("GET", "/next").body, "ran");
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_GE(busiestThreadsPages(), 6u);
    std::lock_guard lock(mutex);
    EXPECT_TRUE(busy.count(threads.front())) << "a thread idle since the start took the page";
}

TEST_F(PagePool, AThreadWaitingForTheNextPageWithoutSleepingTakesItAndStopsWithTheServer) {
    config.pageSpin = std::chrono::microseconds(5000);
    start();
    Connection c(server->port());
    for (int i = 0; i < 12; ++i) EXPECT_EQ(c.request("GET", "/p" + std::to_string(i)).body, "ran");

    // Held pages still run side by side while another thread waits.
    {
        std::lock_guard lock(mutex);
        hold = true;
    }
    std::vector<std::future<Reply>> replies = askAtOnce(2);
    waitForRunning(2);
    release();
    for (auto& r : replies) EXPECT_EQ(r.get().body, "ran");

    // Stopping right after a page, while its thread waits for the next one, does not wait for it.
    EXPECT_EQ(c.request("GET", "/last").body, "ran");
    const auto before = std::chrono::steady_clock::now();
    server->stop(0ms);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
}

TEST_F(PagePool, APageWhoseConnectionHasItsThreadToItselfRunsThereWhileOtherThreadsServeTheRest) {
    config.threads = 2;
    start();
    Connection c(server->port());
    ASSERT_EQ(c.request("GET", "/file").body, "file");
    ASSERT_EQ(c.request("GET", "/page").body, "ran");
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(threads.back(), fileThread) << "the page was handed to a page thread";
        hold = true;
    }
    // Held on its connection's thread, the page leaves the other connection thread to accept and
    // serve new connections.
    auto held = std::async(std::launch::async, [&] { return c.request("GET", "/held").body; });
    waitForRunning(1);
    Connection other(server->port());
    EXPECT_EQ(other.request("GET", "/file").body, "file");
    auto second = std::async(std::launch::async, [&] { return other.request("GET", "/held").body; });
    waitForRunning(2);
    {
        std::lock_guard lock(mutex);
        EXPECT_NE(threads[threads.size() - 1], threads[threads.size() - 2]);
    }
    // The second page went to a page thread: its connection thread, the only one not running a page,
    // still serves new connections.
    Connection third(server->port());
    EXPECT_EQ(third.request("GET", "/file").body, "file");
    release();
    EXPECT_EQ(held.get(), "ran");
    EXPECT_EQ(second.get(), "ran");
}

TEST_F(PagePool, PagesOnConnectionThreadsHoldPageSlotsAndAPageQueuedMeanwhileRunsWhenOneEnds) {
    config.threads = 8;
    config.pageThreads = 2;
    hold = true;
    start();
    std::vector<std::future<Reply>> replies = askAtOnce(3);
    waitForRunning(2);
    std::this_thread::sleep_for(200ms);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(running, 2) << "more pages ran at once than there are page slots";
    }
    release();
    for (auto& r : replies) EXPECT_EQ(r.get().body, "ran");
    std::lock_guard lock(mutex);
    EXPECT_EQ(threads.size(), 3u);
}

}  // namespace
}  // namespace orvan::host::http::test
