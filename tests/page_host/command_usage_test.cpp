// The orvan command's usage: every subcommand answers --help with its usage from the one table, and
// README.md shows the same overview.
#include "page_host/command_usage.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace orvan::host {
namespace {

struct Output {
    int status = -1;
    std::string out;
};

// Runs the built orvan command with arguments (shell words) and returns its exit status and stdout.
Output runOrvan(const std::string& arguments) {
    Output o;
    FILE* p = ::popen((std::string(ORVAN_BINARY) + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (!p) return o;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) o.out.append(buf, n);
    const int rc = ::pclose(p);
    o.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return o;
}

TEST(CommandUsage, EverySubcommandAnswersHelpWithItsOwnUsage) {
    struct Case {
        const char* arguments;
        const char* command;
        const char* starts;
    } cases[] = {
        {"init-db --help", "init-db", "usage: orvan init-db CONNECTION-STRING [--demo]\n"},
        {"init-db \"Provider=SQLite;Data Source=/nonexistent/x.db\" -h", "init-db", "usage: orvan init-db "},
        {"passwd --help", "passwd", "usage: orvan passwd LOGIN [PASSWORD]\n"},
        {"explain-connection --help", "explain-connection", "usage: orvan explain-connection CONNECTION-STRING\n"},
        {"run --help", "run", "usage: orvan run PAGE [--root DIR]"},
        {"serve --help", "serve", "usage: orvan serve [--config FILE]"},
        {"typelib --help", "typelib", "usage: orvan typelib [--component FILE]\n"},
        {"regsvr --help", "regsvr", "usage: orvan regsvr [--unregister]"},
    };
    for (const Case& c : cases) {
        const Output o = runOrvan(c.arguments);
        EXPECT_EQ(o.status, 0) << c.arguments;
        EXPECT_EQ(o.out, commandUsage(c.command)) << c.arguments;
        EXPECT_EQ(o.out.rfind(c.starts, 0), 0u) << o.out;
    }
}

TEST(CommandUsage, OverviewListsEveryCommandAndWrapsAtAHundredColumns) {
    const Output o = runOrvan("--help");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, orvanUsage());
    for (const char* command : {"serve", "run", "init-db", "explain-connection", "passwd", "typelib", "regsvr"})
        EXPECT_NE(o.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    std::istringstream lines(o.out + commandUsage("run") + commandUsage("serve"));
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 100u) << line;
    EXPECT_EQ(commandUsage("no-such-command"), orvanUsage());
}

TEST(CommandUsage, VersionIsTheOneInTheProjectLineOfCMakeLists) {
    std::ifstream in(std::string(ORVAN_SOURCE_DIR) + "/CMakeLists.txt");
    std::stringstream text;
    text << in.rdbuf();
    std::smatch m;
    const std::string cmake = text.str();
    ASSERT_TRUE(std::regex_search(cmake, m, std::regex(R"(project\(\w+ VERSION ([0-9]+\.[0-9]+\.[0-9]+))")));
    const Output o = runOrvan("--version");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("orvan " + m[1].str() + " ", 0), 0u) << o.out;
}

// The password read from standard input gives the same stored form as the one given on the command
// line (which other users can see in the process list); no password at all is a failure.
TEST(PasswdCommand, ReadsThePasswordFromStandardInputWhenNotGiven) {
    const std::string file = ::testing::TempDir() + "orvan-passwd-" + std::to_string(::getpid());
    const Output given = runOrvan("passwd ana ana123");
    ASSERT_EQ(given.status, 0);
    ASSERT_FALSE(given.out.empty());
    struct Case {
        const char* input;
        int status;
        bool same;
    } cases[] = {
        {"ana123\n", 0, true},  {"ana123\r\n", 0, true}, {"ana123", 0, true},
        {"ana124\n", 0, false}, {"", 1, false},
    };
    for (const Case& c : cases) {
        std::ofstream(file, std::ios::binary) << c.input;
        const Output read = runOrvan("passwd ana < " + file);
        EXPECT_EQ(read.status, c.status) << c.input;
        if (c.status == 0) {
            EXPECT_EQ(read.out == given.out, c.same) << c.input;
        }
    }
    EXPECT_EQ(runOrvan("passwd < " + file).status, 2) << "the login is needed";
    std::remove(file.c_str());
}

TEST(CommandUsage, ReadmeShowsTheSameOverview) {
    std::ifstream in(std::string(ORVAN_SOURCE_DIR) + "/README.md");
    std::stringstream readme;
    readme << in.rdbuf();
    std::string indented;
    std::istringstream lines(orvanUsage());
    for (std::string line; std::getline(lines, line);) indented += "    " + line + "\n";
    EXPECT_NE(readme.str().find(indented), std::string::npos) << "README.md should show, indented:\n" << indented;
}

}  // namespace
}  // namespace orvan::host
