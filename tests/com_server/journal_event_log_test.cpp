// The journal sink: the datagram it sends, read back from a socket of the test's own and decoded by the
// journal's native protocol (fields "NAME=value\n", or "NAME\n", a 64-bit little-endian length, the
// value and "\n" for a value with a line break); what it does when no journal listens.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "com_server/event_log.h"

namespace orvan::com {
namespace {

// A datagram socket bound in a fresh folder, standing in for the journal's.
class JournalSocket {
public:
    JournalSocket() {
        folder_ = std::filesystem::temp_directory_path() / ("orvan-journal-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / "socket").string();
        std::filesystem::remove(path_);
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval wait{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~JournalSocket() {
        ::close(fd_);
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    bool bound() const { return bound_; }
    const std::string& path() const { return path_; }
    // The next datagram; empty after five seconds without one.
    std::string receive() const {
        std::string buffer(65536, '\0');
        const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        return n > 0 ? buffer.substr(0, static_cast<std::size_t>(n)) : std::string();
    }

private:
    std::filesystem::path folder_;
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

// The fields of a native-protocol datagram; a malformed datagram gives a field "<malformed>".
std::map<std::string, std::string> decode(const std::string& datagram) {
    std::map<std::string, std::string> fields;
    std::size_t at = 0;
    while (at < datagram.size()) {
        const std::size_t end = datagram.find('\n', at);
        if (end == std::string::npos) return {{"<malformed>", datagram.substr(at)}};
        const std::string line = datagram.substr(at, end - at);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            fields[line.substr(0, eq)] = line.substr(eq + 1);
            at = end + 1;
            continue;
        }
        if (end + 9 > datagram.size()) return {{"<malformed>", line}};
        std::uint64_t size = 0;
        for (int i = 7; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(datagram[end + 1 + i]);
        const std::size_t value = end + 9;
        if (value + size + 1 > datagram.size() || datagram[value + size] != '\n')
            return {{"<malformed>", line}};
        fields[line] = datagram.substr(value, size);
        at = value + size + 1;
    }
    return fields;
}

TEST(JournalEventLog, FailureReportCarriesRoutineAndNumberAsFields) {
    JournalSocket journal;
    ASSERT_TRUE(journal.bound());
    auto sink = makeJournalEventLog("orvan", journal.path());
    sink->writeDetailed(EventType::Error, "Orvan_Geral",
                        "\r\nRotina: Orvan_Geral.Geral.Login\r\nCódigo do erro: -2147217900\r\n",
                        EventDetails{"Orvan_Geral.Geral.Login", -2147217900});
    const auto fields = decode(journal.receive());
    const std::map<std::string, std::string> expected = {
        {"MESSAGE", "\nRotina: Orvan_Geral.Geral.Login\nCódigo do erro: -2147217900\n"},
        {"PRIORITY", "3"},
        {"SYSLOG_IDENTIFIER", "orvan"},
        {"ORVAN_SOURCE", "Orvan_Geral"},
        {"ORVAN_TYPE", "error"},
        {"ORVAN_ROUTINE", "Orvan_Geral.Geral.Login"},
        {"ORVAN_ERROR_NUMBER", "-2147217900"},
    };
    EXPECT_EQ(fields, expected);
}

TEST(JournalEventLog, EachTypeHasItsSyslogPriorityAndPlainEntriesNoFailureFields) {
    JournalSocket journal;
    ASSERT_TRUE(journal.bound());
    auto sink = makeJournalEventLog("agenda", journal.path());
    struct Case {
        EventType type;
        const char* priority;
        const char* name;
    } cases[] = {{EventType::Error, "3", "error"},
                 {EventType::Warning, "4", "warning"},
                 {EventType::Information, "6", "information"}};
    for (const Case& c : cases) {
        sink->write(c.type, "HTTP", "uma linha");
        const std::string datagram = journal.receive();
        EXPECT_NE(datagram.find("MESSAGE=uma linha\n"), std::string::npos)
            << "one line is written NAME=value";
        const auto fields = decode(datagram);
        const std::map<std::string, std::string> expected = {{"MESSAGE", "uma linha"},
                                                             {"PRIORITY", c.priority},
                                                             {"SYSLOG_IDENTIFIER", "agenda"},
                                                             {"ORVAN_SOURCE", "HTTP"},
                                                             {"ORVAN_TYPE", c.name}};
        EXPECT_EQ(fields, expected) << c.name;
    }
}

TEST(JournalEventLog, CurrentLogPassesTheDetailsOfAComponentEntry) {
    JournalSocket journal;
    ASSERT_TRUE(journal.bound());
    setEventLog(makeJournalEventLog("orvan", journal.path()));
    logEvent(EventType::Error, "falhou", EventDetails{"Orvan_Geral.Pauta.Gravar", 3021});
    setEventLog(nullptr);
    const auto fields = decode(journal.receive());
    EXPECT_EQ(fields.at("ORVAN_SOURCE"), "Orvan_Geral");
    EXPECT_EQ(fields.at("ORVAN_ROUTINE"), "Orvan_Geral.Pauta.Gravar");
    EXPECT_EQ(fields.at("ORVAN_ERROR_NUMBER"), "3021");
    EXPECT_EQ(fields.at("MESSAGE"), "falhou");
}

TEST(JournalEventLog, WithoutAJournalTheEntryGoesToStandardErrorAndNothingThrows) {
    const std::string missing =
        (std::filesystem::temp_directory_path() / ("orvan-no-journal-" + std::to_string(::getpid())))
            .string();
    auto sink = makeJournalEventLog("orvan", missing);
    ::testing::internal::CaptureStderr();
    EXPECT_NO_THROW(sink->writeDetailed(EventType::Error, "Orvan_Geral", "sem diário", EventDetails{"R", 5}));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "orvan: Orvan_Geral: sem diário\n");
    auto tooLong = makeJournalEventLog("orvan", std::string(200, 'x'));
    ::testing::internal::CaptureStderr();
    EXPECT_NO_THROW(tooLong->write(EventType::Warning, "S", "t"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "orvan: S: t\n");
}

TEST(JournalEventLog, UnderSystemdMeansJournalStreamIsSet) {
    const char* before = std::getenv("JOURNAL_STREAM");
    const std::string saved = before ? before : "";
    ::setenv("JOURNAL_STREAM", "8:12345", 1);
    EXPECT_TRUE(underSystemdJournal());
    ::setenv("JOURNAL_STREAM", "", 1);
    EXPECT_FALSE(underSystemdJournal());
    ::unsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(underSystemdJournal());
    if (before) ::setenv("JOURNAL_STREAM", saved.c_str(), 1);
}

}  // namespace
}  // namespace orvan::com
