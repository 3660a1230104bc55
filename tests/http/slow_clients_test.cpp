// Slow clients: a request head that does not arrive whole within its deadline and a body below the
// minimum rate lose their connections, and many such connections from a few addresses do not keep
// other clients out. The deadlines are shortened here; the server's defaults are seconds longer.
#include <thread>

#include "http_test_support.h"

namespace orvan::host::http::test {
namespace {

using namespace std::chrono_literals;

class SlowClients : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        write("hello.txt", "hello\n");
        write("echo.asp", "<%= Request.Form('a') %>");
        options.headTimeout = 400ms;
        options.bodyGrace = 400ms;
        options.bodyRate = 1000;
    }
};

TEST_F(SlowClients, AHeadThatTricklesLosesItsConnection) {
    start();
    Connection slow(port());
    slow.send("GET /hello.txt HTTP/1.1\r\n");
    slow.send("Host: x\r\n");  // a line now and then, never the end of the head
    EXPECT_TRUE(slow.closedByServer(3000ms));
}

TEST_F(SlowClients, AnIdleKeptAliveConnectionLosesItsConnection) {
    start();
    Connection c(port());
    EXPECT_EQ(c.request("GET", "/hello.txt").status, 200);
    EXPECT_TRUE(c.closedByServer(3000ms));
}

TEST_F(SlowClients, ABodyBelowTheMinimumRateLosesItsConnection) {
    start();
    Connection slow(port());
    slow.send("POST /echo.asp HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 100000\r\n\r\na=");
    EXPECT_TRUE(slow.closedByServer(3000ms));
}

TEST_F(SlowClients, AHeadSentInPiecesInTimeIsAnswered) {
    start();
    Connection c(port());
    c.send("GET /hello.txt HTTP/1.1\r\n");
    std::this_thread::sleep_for(100ms);
    c.send("Host: x\r\n\r\n");
    EXPECT_EQ(c.read().status, 200);
}

TEST_F(SlowClients, ManySlowConnectionsFromFewAddressesDoNotKeepOthersOut) {
    options.connections = 64;  // a quarter (16) may wait for their heads at once
    options.connectionsPerClient = 16;
    options.headTimeout = 60s;  // only the bound on waiting connections acts here
    start();
    std::vector<std::unique_ptr<Connection>> slow;
    for (int i = 0; i < 64; ++i) {
        const std::string from = "127.0.0." + std::to_string(10 + i % 4);
        try {
            slow.push_back(std::make_unique<Connection>(port(), from.c_str()));
            slow.back()->send("GET /hello.txt HTTP/1.1\r\n");
        } catch (const std::runtime_error&) {
            // refused at the connection limit: that is part of the attack's effect
        }
    }
    std::this_thread::sleep_for(1500ms);
    for (int i = 0; i < 8; ++i) {
        const std::string from = "127.0.1." + std::to_string(i + 1);
        Connection c(port(), from.c_str());
        c.send("GET /hello.txt HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(c.read().status, 200) << "legitimate client " << i;
    }
    std::size_t closed = 0;
    for (auto& c : slow) closed += c->closedByServer(10ms) ? 1 : 0;
    EXPECT_GE(closed, 64u - 16u) << "the waiting connections are bounded by a quarter of the limit";
}

}  // namespace
}  // namespace orvan::host::http::test
