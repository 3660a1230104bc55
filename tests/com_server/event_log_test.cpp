// Event log sinks: the JSON-lines file format and the memory sink.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "com_server/event_log.h"
#include "com_server/text_codec.h"

namespace orvan::com {
namespace {

TEST(EventLogTest, FileSinkWritesOneJsonLinePerEntry) {
    const auto path = std::filesystem::temp_directory_path() / ("orvan-log-" + std::to_string(::getpid()) + ".jsonl");
    std::filesystem::remove(path);
    auto sink = makeFileEventLog(path.string());
    sink->write(EventType::Error, "Orvan_Geral", "\r\nlinha \"um\"\t\\ ção\x01");
    sink->write(EventType::Information, "Orvan_Geral", "dois");
    std::ifstream in(path);
    std::string first, second, third;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_FALSE(std::getline(in, third));
    const std::regex shape(
        R"re(\{"time": "\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}[+-]\d{2}:\d{2}", "source": "Orvan_Geral", "type": "(error|information)", "text": ".*"\})re");
    EXPECT_TRUE(std::regex_match(first, shape)) << first;
    EXPECT_NE(first.find(R"("type": "error", "text": "\r\nlinha \"um\"\t\\ ção\u0001"})"), std::string::npos) << first;
    EXPECT_NE(second.find(R"("type": "information", "text": "dois"})"), std::string::npos) << second;
    std::filesystem::remove(path);
}

TEST(EventLogTest, FileSinkLinesStayValidUtf8WhateverTheTextBytes) {
    const auto path =
        std::filesystem::temp_directory_path() / ("orvan-log-bytes-" + std::to_string(::getpid()) + ".jsonl");
    std::filesystem::remove(path);
    auto sink = makeFileEventLog(path.string());
    sink->write(EventType::Error, "Orvan\xFF", "Jo\xE3o \xC3( ok");
    std::ifstream in(path);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_TRUE(text::isUtf8(line)) << line;
    EXPECT_NE(line.find("\"source\": \"Orvan\uFFFD\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"text\": \"Jo\uFFFDo \uFFFD( ok\"}"), std::string::npos) << line;
    std::filesystem::remove(path);
}

TEST(EventLogTest, CurrentLogReceivesComponentEntries) {
    auto memory = std::make_shared<MemoryEventLog>();
    setEventLog(memory);
    logEvent(EventType::Warning, "aviso");
    setEventLog(nullptr);
    auto entries = memory->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, EventType::Warning);
    EXPECT_EQ(entries[0].source, "Orvan_Geral");
    EXPECT_EQ(entries[0].text, "aviso");
}

}  // namespace
}  // namespace orvan::com
