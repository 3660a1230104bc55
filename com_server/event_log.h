// The application event log: one interface, with sinks for syslog (the host's default), a file of
// JSON lines and memory (tests). The process has one current log; writes are thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orvan::com {

enum class EventType { Error, Warning, Information };
const char* eventTypeName(EventType t) noexcept;  // "error", "warning", "information"

class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void write(EventType type, std::string_view source, std::string_view text) = 0;
};

// The current log (syslog until the host installs another) and its replacement.
EventLog& eventLog();
void setEventLog(std::shared_ptr<EventLog> log);

// Writes through the current log with the component's source name "Orvan_Geral".
void logEvent(EventType type, std::string_view text);

std::shared_ptr<EventLog> makeSyslogEventLog(std::string ident = "Orvan_Geral");
// Appends {"time": ISO-8601 local time with offset, "source": ..., "type": ..., "text": ...} lines.
// Every line is valid JSON whatever the bytes of source and text: they are written by jsonEscape
// (com_server/escaping.h), which replaces bytes that are not UTF-8 by U+FFFD.
std::shared_ptr<EventLog> makeFileEventLog(std::string path);

class MemoryEventLog : public EventLog {
public:
    struct Entry {
        EventType type;
        std::string source;
        std::string text;
    };
    void write(EventType type, std::string_view source, std::string_view text) override;
    std::vector<Entry> entries() const;

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace orvan::com
