// Shared by the HTTP server tests: a site in a fresh temporary folder, a server on a free loopback
// port, and a small HTTP/1.1 client on raw sockets (keep-alive, cookies kept like a browser's).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "com_server/event_log.h"
#include "page_host/http/site_server.h"
#include "page_host/page_run.h"

namespace orvan::host::http::test {

struct Reply {
    int status = 0;
    NameValues headers;
    std::string body;

    // The first header of that name (case-insensitive); empty when there is none.
    std::string header(std::string_view name) const;
    std::vector<std::string> all(std::string_view name) const;
};

// One connection to the server on 127.0.0.1; requests are sent on it in turn (keep-alive).
class Connection {
public:
    // from: the local address to connect from (any 127.x.y.z is loopback).
    explicit Connection(std::uint16_t port, const char* from = "127.0.0.1");
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Sends bytes as they are.
    void send(const std::string& bytes);
    // Reads one response (no body for HEAD, 1xx, 204, 304). Fails the test when the connection closes
    // before a whole response arrived.
    Reply read(bool head = false);
    // A request: method, target, extra header lines ("Name: value"), body (Content-Length is added).
    Reply request(const std::string& method, const std::string& target,
                  const std::vector<std::string>& headers = {}, const std::string& body = {});
    // Whether the server has closed the connection (waits up to timeout for it).
    bool closedByServer(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

private:
    int fd_ = -1;
    std::string buffer_;  // received, not yet read
};

// A client that keeps the cookies the server sets (name=value only) and sends them back, on one
// connection it reopens when the server closed it.
class Browser {
public:
    explicit Browser(std::uint16_t port) : port_(port) {}

    Reply get(const std::string& target, const std::vector<std::string>& headers = {});
    Reply post(const std::string& target, const std::string& contentType, const std::string& body);
    Reply request(const std::string& method, const std::string& target, std::vector<std::string> headers,
                  const std::string& body);
    std::string cookie(const std::string& name) const;
    void setCookie(const std::string& name, const std::string& value);

private:
    std::uint16_t port_;
    std::unique_ptr<Connection> connection_;
    NameValues cookies_;
};

// A site in a fresh temporary folder (removed at the end); `root` is the site, inside `base`, so that
// files outside the site can be placed next to it.
class SiteTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file of the site (folders made as needed).
    void write(const std::string& path, const std::string& content);
    // Starts the server with `options` (root, port 0, access log file already set).
    void start();
    // A GET on a fresh connection.
    Reply get(const std::string& target, const std::vector<std::string>& headers = {});
    std::string accessLog() const;
    std::uint16_t port() const { return server->port(); }

    std::filesystem::path base;
    std::filesystem::path root;
    SiteOptions options;
    std::unique_ptr<SiteServer> server;
    std::shared_ptr<com::MemoryEventLog> events;

private:
    std::unique_ptr<std::ofstream> accessLog_;
};

// A fresh temporary folder.
std::filesystem::path makeTempFolder();

}  // namespace orvan::host::http::test
