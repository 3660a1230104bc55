// The test client and the site fixture.
#include "http_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "data_access/ado/ado.h"

namespace orvan::host::http::test {

namespace fs = std::filesystem;

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string Reply::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (equalsNoCase(key, name)) return value;
    return {};
}

std::vector<std::string> Reply::all(std::string_view name) const {
    std::vector<std::string> out;
    for (const auto& [key, value] : headers)
        if (equalsNoCase(key, name)) out.push_back(value);
    return out;
}

Connection::Connection(std::uint16_t port, const char* from) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd_);
        throw std::runtime_error(std::string("cannot bind to ") + from);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd_);
        throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
    timeval timeout{30, 0};  // a hung server fails the test instead of hanging it
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

Connection::~Connection() {
    if (fd_ >= 0) ::close(fd_);
}

void Connection::send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("send failed");
        sent += static_cast<std::size_t>(n);
    }
}

Reply Connection::read(bool head) {
    auto fill = [&]() {
        char chunk[16384];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    };
    Reply reply;
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill()) {
            ADD_FAILURE() << "the connection closed before the response headers; got: " << buffer_;
            return reply;
        }
    }
    std::istringstream lines(buffer_.substr(0, end));
    buffer_.erase(0, end + 4);
    std::string line;
    std::getline(lines, line);
    reply.status = std::atoi(line.substr(line.find(' ') + 1).c_str());
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        reply.headers.emplace_back(line.substr(0, colon), value);
    }
    if (head || reply.status < 200 || reply.status == 204 || reply.status == 304) return reply;

    if (equalsNoCase(reply.header("Transfer-Encoding"), "chunked")) {
        for (;;) {
            std::size_t eol;
            while ((eol = buffer_.find("\r\n")) == std::string::npos)
                if (!fill()) return reply;
            const std::size_t size = std::strtoul(buffer_.substr(0, eol).c_str(), nullptr, 16);
            while (buffer_.size() < eol + 2 + size + 2)
                if (!fill()) return reply;
            reply.body += buffer_.substr(eol + 2, size);
            buffer_.erase(0, eol + 2 + size + 2);
            if (size == 0) return reply;
        }
    }
    const std::string length = reply.header("Content-Length");
    if (length.empty()) {
        while (fill()) {
        }
        reply.body = std::move(buffer_);
        buffer_.clear();
        return reply;
    }
    const std::size_t size = std::strtoul(length.c_str(), nullptr, 10);
    while (buffer_.size() < size)
        if (!fill()) {
            ADD_FAILURE() << "the connection closed in the middle of the body";
            break;
        }
    reply.body = buffer_.substr(0, size);
    buffer_.erase(0, std::min(size, buffer_.size()));
    return reply;
}

Reply Connection::request(const std::string& method, const std::string& target,
                          const std::vector<std::string>& headers, const std::string& body) {
    std::string text = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const std::string& h : headers) text += h + "\r\n";
    if (!body.empty() || method == "POST") text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n" + body;
    send(text);
    return read(method == "HEAD");
}

bool Connection::closedByServer(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char c;
    return ::recv(fd_, &c, 1, MSG_PEEK) == 0;
}

Reply Browser::request(const std::string& method, const std::string& target, std::vector<std::string> headers,
                       const std::string& body) {
    if (!cookies_.empty()) {
        std::string line = "Cookie: ";
        for (std::size_t i = 0; i < cookies_.size(); ++i)
            line += (i ? "; " : "") + cookies_[i].first + "=" + cookies_[i].second;
        headers.push_back(line);
    }
    if (!connection_ || connection_->closedByServer(std::chrono::milliseconds(0)))
        connection_ = std::make_unique<Connection>(port_);
    Reply reply = connection_->request(method, target, headers, body);
    for (const std::string& set : reply.all("Set-Cookie")) {
        const std::size_t eq = set.find('=');
        const std::size_t end = set.find(';');
        if (eq != std::string::npos) setCookie(set.substr(0, eq), set.substr(eq + 1, end - eq - 1));
    }
    if (equalsNoCase(reply.header("Connection"), "close")) connection_.reset();
    return reply;
}

Reply Browser::get(const std::string& target, const std::vector<std::string>& headers) {
    return request("GET", target, headers, {});
}

Reply Browser::post(const std::string& target, const std::string& contentType, const std::string& body) {
    return request("POST", target, {"Content-Type: " + contentType}, body);
}

std::string Browser::cookie(const std::string& name) const {
    for (const auto& [key, value] : cookies_)
        if (key == name) return value;
    return {};
}

void Browser::setCookie(const std::string& name, const std::string& value) {
    for (auto& [key, stored] : cookies_)
        if (key == name) {
            stored = value;
            return;
        }
    cookies_.emplace_back(name, value);
}

fs::path makeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvan-http-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void SiteTest::SetUp() {
    data::ado::registerAdoClasses();
    events = std::make_shared<com::MemoryEventLog>();
    com::setEventLog(events);
    base = makeTempFolder();
    root = base / "site";
    fs::create_directories(root);
    options.root = root;
    options.port = 0;
    options.threads = 4;
    // The server's own tests write their pages in JScript, as a site configured for it.
    options.defaultLanguage = ScriptLanguage::JScript;
    accessLog_ = std::make_unique<std::ofstream>(base / "access.log");
    options.accessLog = accessLog_.get();
}

void SiteTest::TearDown() {
    if (server) server->stop();
    server.reset();
    std::error_code ec;
    fs::remove_all(base, ec);
}

void SiteTest::write(const std::string& path, const std::string& content) {
    const fs::path file = root / path;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

void SiteTest::start() {
    server = std::make_unique<SiteServer>(options);
    server->start();
}

Reply SiteTest::get(const std::string& target, const std::vector<std::string>& headers) {
    Connection c(port());
    return c.request("GET", target, headers);
}

std::string SiteTest::accessLog() const {
    std::ifstream in(base / "access.log");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace orvan::host::http::test
