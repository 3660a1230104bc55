// Event log sinks: the systemd journal (its native datagram protocol), syslog, JSON lines in a file,
// memory.
#include "com_server/event_log.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "com_server/escaping.h"

namespace orvan::com {
namespace {

// The syslog priority of an entry type, which the journal's PRIORITY field shares.
int priority(EventType type) {
    return type == EventType::Error ? LOG_ERR : type == EventType::Warning ? LOG_WARNING : LOG_INFO;
}

class SyslogEventLog : public EventLog {
public:
    explicit SyslogEventLog(std::string ident) : ident_(std::move(ident)) {
        openlog(ident_.c_str(), LOG_PID, LOG_USER);
    }
    void write(EventType type, std::string_view source, std::string_view text) override {
        std::string line(source);
        line += ": ";
        // A run of line breaks is one separator: a report's CR LF pairs and blank lines alike.
        bool inBreak = false;
        for (char c : text) {
            if (c == '\r' || c == '\n') {
                if (!inBreak) line += " / ";
                inBreak = true;
            } else {
                line += c;
                inBreak = false;
            }
        }
        syslog(priority(type), "%s", line.c_str());
    }

private:
    std::string ident_;  // openlog keeps the pointer, so the text lives as long as the sink
};

// The journal's native protocol: one datagram of fields, each "NAME=value\n", or, for a value that
// holds a line break, "NAME\n", the value's length as 64-bit little-endian, the value and "\n".
void appendJournalField(std::string& datagram, std::string_view name, std::string_view value) {
    datagram.append(name);
    if (value.find('\n') == std::string_view::npos) {
        datagram += '=';
        datagram.append(value);
    } else {
        datagram += '\n';
        std::uint64_t size = value.size();
        for (int i = 0; i < 8; ++i) datagram += static_cast<char>((size >> (8 * i)) & 0xFF);
        datagram.append(value);
    }
    datagram += '\n';
}

class JournalEventLog : public EventLog {
public:
    JournalEventLog(std::string identifier, std::string socketPath)
        : identifier_(std::move(identifier)), socketPath_(std::move(socketPath)) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    }
    ~JournalEventLog() override {
        if (fd_ >= 0) ::close(fd_);
    }
    JournalEventLog(const JournalEventLog&) = delete;
    JournalEventLog& operator=(const JournalEventLog&) = delete;

    void write(EventType type, std::string_view source, std::string_view text) override {
        writeDetailed(type, source, text, EventDetails{});
    }
    void writeDetailed(EventType type, std::string_view source, std::string_view text,
                       const EventDetails& details) override {
        std::string message;
        message.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) message += text[i];
        std::string datagram;
        appendJournalField(datagram, "MESSAGE", message);
        appendJournalField(datagram, "PRIORITY", std::to_string(priority(type)));
        appendJournalField(datagram, "SYSLOG_IDENTIFIER", identifier_);
        appendJournalField(datagram, "ORVAN_SOURCE", source);
        appendJournalField(datagram, "ORVAN_TYPE", eventTypeName(type));
        if (!details.routine.empty()) appendJournalField(datagram, "ORVAN_ROUTINE", details.routine);
        if (details.errorNumber)
            appendJournalField(datagram, "ORVAN_ERROR_NUMBER", std::to_string(*details.errorNumber));
        if (!send(datagram)) {
            const std::string line = identifier_ + ": " + std::string(source) + ": " + message + "\n";
            // Nothing is left to report a failed write of standard error to.
            [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        }
    }

private:
    bool send(const std::string& datagram) const {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd_ < 0 || socketPath_.size() >= sizeof address.sun_path) return false;
        std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
        return ::sendto(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                        reinterpret_cast<sockaddr*>(&address),
                        sizeof address) == static_cast<ssize_t>(datagram.size());
    }

    std::string identifier_;
    std::string socketPath_;
    int fd_ = -1;
};

class FileEventLog : public EventLog {
public:
    explicit FileEventLog(std::string path) : path_(std::move(path)) {}
    void write(EventType type, std::string_view source, std::string_view text) override {
        std::string line = "{\"time\": \"" + isoNow() + "\", \"source\": \"" + jsonEscape(source) +
                           "\", \"type\": \"" + eventTypeName(type) + "\", \"text\": \"" + jsonEscape(text) +
                           "\"}\n";
        std::lock_guard lock(mutex_);
        std::ofstream out(path_, std::ios::app | std::ios::binary);
        out << line;
    }

private:
    static std::string isoNow() {
        std::time_t t = std::time(nullptr);
        std::tm tm{};
        localtime_r(&t, &tm);
        char buf[40];
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm);
        std::string s(buf);
        if (s.size() > 5) s.insert(s.size() - 2, ":");  // +0000 -> +00:00
        return s;
    }
    std::mutex mutex_;
    std::string path_;
};

std::mutex g_mutex;
std::shared_ptr<EventLog> g_log;

std::shared_ptr<EventLog> makeDefaultEventLog() {
    return underSystemdJournal() ? makeJournalEventLog() : makeSyslogEventLog();
}

}  // namespace

const char* eventTypeName(EventType t) noexcept {
    switch (t) {
        case EventType::Error: return "error";
        case EventType::Warning: return "warning";
        case EventType::Information: return "information";
    }
    return "error";
}

EventLog& eventLog() {
    std::lock_guard lock(g_mutex);
    if (!g_log) g_log = makeDefaultEventLog();
    return *g_log;
}

void setEventLog(std::shared_ptr<EventLog> log) {
    std::lock_guard lock(g_mutex);
    g_log = std::move(log);
}

void logEvent(EventType type, std::string_view text, const EventDetails& details) {
    std::shared_ptr<EventLog> log;
    {
        std::lock_guard lock(g_mutex);
        if (!g_log) g_log = makeDefaultEventLog();
        log = g_log;
    }
    log->writeDetailed(type, "Orvan_Geral", text, details);
}

std::shared_ptr<EventLog> makeSyslogEventLog(std::string ident) {
    return std::make_shared<SyslogEventLog>(std::move(ident));
}

std::shared_ptr<EventLog> makeJournalEventLog(std::string identifier, std::string socketPath) {
    return std::make_shared<JournalEventLog>(std::move(identifier), std::move(socketPath));
}

bool underSystemdJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    return stream && *stream;
}

std::shared_ptr<EventLog> makeFileEventLog(std::string path) {
    return std::make_shared<FileEventLog>(std::move(path));
}

void MemoryEventLog::write(EventType type, std::string_view source, std::string_view text) {
    std::lock_guard lock(mutex_);
    entries_.push_back({type, std::string(source), std::string(text), {}, {}});
}

void MemoryEventLog::writeDetailed(EventType type, std::string_view source, std::string_view text,
                                   const EventDetails& details) {
    std::lock_guard lock(mutex_);
    entries_.push_back(
        {type, std::string(source), std::string(text), std::string(details.routine), details.errorNumber});
}

std::vector<MemoryEventLog::Entry> MemoryEventLog::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

}  // namespace orvan::com
