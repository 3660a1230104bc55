// The application event log: one interface, with sinks for the systemd journal (the default under
// systemd), syslog (the default elsewhere), a file of JSON lines and memory (tests). The process has one
// current log; writes are thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvan::com {

enum class EventType { Error, Warning, Information };
const char* eventTypeName(EventType t) noexcept;  // "error", "warning", "information"

// What an entry says beyond its text, for a sink that keeps fields (the journal): for a failure report,
// the routine that failed and the error's number.
struct EventDetails {
    std::string_view routine;
    std::optional<std::int32_t> errorNumber;
};

class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void write(EventType type, std::string_view source, std::string_view text) = 0;
    // The same entry with its details; a sink that keeps no fields writes the text alone.
    virtual void writeDetailed(EventType type, std::string_view source, std::string_view text,
                               const EventDetails&) {
        write(type, source, text);
    }
};

// The current log and its replacement. Until the host installs one: the journal when the process runs
// under systemd (JOURNAL_STREAM is set), else syslog.
EventLog& eventLog();
void setEventLog(std::shared_ptr<EventLog> log);

// Writes through the current log with the component's source name "Orvan_Geral".
void logEvent(EventType type, std::string_view text, const EventDetails& details = {});

// One syslog message per entry, "SOURCE: TEXT", the text's line breaks written as " / " (a syslog
// line is one line).
std::shared_ptr<EventLog> makeSyslogEventLog(std::string ident = "Orvan_Geral");
// Sends each entry to the systemd journal in its native protocol, one datagram to socketPath, with the
// fields SYSLOG_IDENTIFIER (identifier), PRIORITY (3 error, 4 warning, 6 information), ORVAN_SOURCE,
// ORVAN_TYPE (eventTypeName), ORVAN_ROUTINE and ORVAN_ERROR_NUMBER (when the details give them) and
// MESSAGE (the text, its CR LF line breaks as LF). An entry the journal does not take (no journal
// running, a full queue) goes to standard error instead; writing never throws.
std::shared_ptr<EventLog> makeJournalEventLog(std::string identifier = "orvan",
                                              std::string socketPath = "/run/systemd/journal/socket");
// True when the process's output goes to the journal (JOURNAL_STREAM is set, as systemd sets it).
bool underSystemdJournal();
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
        std::string routine{};                      // the details' routine; empty when none
        std::optional<std::int32_t> errorNumber{};  // the details' error number
    };
    void write(EventType type, std::string_view source, std::string_view text) override;
    void writeDetailed(EventType type, std::string_view source, std::string_view text,
                       const EventDetails& details) override;
    std::vector<Entry> entries() const;

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace orvan::com
