// Event log sinks: syslog, JSON lines in a file, memory.
#include "com_server/event_log.h"

#include <syslog.h>

#include <cstdio>
#include <ctime>
#include <fstream>

#include "com_server/escaping.h"

namespace orvan::com {
namespace {

class SyslogEventLog : public EventLog {
public:
    explicit SyslogEventLog(std::string ident) : ident_(std::move(ident)) {
        openlog(ident_.c_str(), LOG_PID, LOG_USER);
    }
    void write(EventType type, std::string_view, std::string_view text) override {
        int prio = type == EventType::Error ? LOG_ERR : type == EventType::Warning ? LOG_WARNING : LOG_INFO;
        syslog(prio, "%.*s", static_cast<int>(text.size()), text.data());
    }

private:
    std::string ident_;  // openlog keeps the pointer, so the text lives as long as the sink
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
    if (!g_log) g_log = makeSyslogEventLog();
    return *g_log;
}

void setEventLog(std::shared_ptr<EventLog> log) {
    std::lock_guard lock(g_mutex);
    g_log = std::move(log);
}

void logEvent(EventType type, std::string_view text) {
    std::shared_ptr<EventLog> log;
    {
        std::lock_guard lock(g_mutex);
        if (!g_log) g_log = makeSyslogEventLog();
        log = g_log;
    }
    log->write(type, "Orvan_Geral", text);
}

std::shared_ptr<EventLog> makeSyslogEventLog(std::string ident) {
    return std::make_shared<SyslogEventLog>(std::move(ident));
}

std::shared_ptr<EventLog> makeFileEventLog(std::string path) {
    return std::make_shared<FileEventLog>(std::move(path));
}

void MemoryEventLog::write(EventType type, std::string_view source, std::string_view text) {
    std::lock_guard lock(mutex_);
    entries_.push_back({type, std::string(source), std::string(text)});
}

std::vector<MemoryEventLog::Entry> MemoryEventLog::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

}  // namespace orvan::com
