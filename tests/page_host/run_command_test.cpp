// `orvan run`: the response on out, the error report and exit codes, the configuration file (values,
// locale, refusals before any page runs), options.
#include "page_host/run_command.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "page_host/config.h"
#include "page_test_support.h"

namespace orvan::host::test {
namespace {

namespace fs = std::filesystem;

class RunCommand : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        dir_ = fs::temp_directory_path() / ("orvan_run_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
        com::setProcessRegional(com::Regional::ptBR());
    }

    std::string writeConfig(const std::string& text) {
        const fs::path file = dir_ / ("orvan" + std::to_string(++configs_) + ".json");
        std::ofstream(file) << text;
        return file.string();
    }

    int runCli(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return orvanRun(args, out_, err_);
    }

    static std::string page(const std::string& name) { return (pagesDir() / "cli" / name).string(); }

    fs::path dir_;
    int configs_ = 0;
    std::ostringstream out_, err_;
};

TEST_F(RunCommand, RunsThePageWithConfigurationApplicationValuesAndQuery) {
    const std::string config = writeConfig(R"({
        "application": {"dataconn_ConnectionString": "Provider=SQLite;Data Source=x.db",
                        "dataconn_ConnectionTimeout": 15, "extra": "from config"},
        "locale": "pt-BR", "eventlog": "file:events.log"})");
    const int rc =
        runCli({page("hello.asp"), "--config", config, "--app", "extra=7", "--query=nome=Ana Maria"});
    EXPECT_EQ(rc, 0) << err_.str();
    EXPECT_EQ(out_.str(), "\nOlá Ana Maria, 15/number/7/Provider=SQLite;Data Source=x.db\n");
    EXPECT_EQ(err_.str(), "");
}

TEST_F(RunCommand, AnUncaughtErrorExitsOneWithThePageLineAndTheOutputSoFar) {
    const int rc = runCli({page("fails.asp")});
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out_.str(), "<p>partial</p>\n");
    EXPECT_NE(err_.str().find("fails.asp:4: error -2147217900 (0x80040E14): Erro de sintaxe"),
              std::string::npos)
        << err_.str();
}

TEST_F(RunCommand, ResponseEndIsANormalEnd) {
    EXPECT_EQ(runCli({page("ends.asp")}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "done");
}

TEST_F(RunCommand, TheLocaleComesFromTheOptionElseTheConfiguration) {
    EXPECT_EQ(runCli({page("locale.asp"), "--locale", "en-US", "--form", "campo=valor"}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "1.5 valor POST\n");
    const std::string config = writeConfig(R"({"locale": "pt-BR"})");
    EXPECT_EQ(runCli({page("locale.asp"), "--config", config}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "1,5  GET\n");
}

// Nothing runs when the command line or the configuration cannot be used.
TEST_F(RunCommand, BadConfigurationsAndUsageExitTwoBeforeAnyPageRuns) {
    const std::string missing = (dir_ / "none.json").string();
    struct Case {
        std::vector<std::string> args;
        std::string expected;  // part of the error text
    } cases[] = {
        {{page("hello.asp"), "--config", missing}, missing},
        {{page("hello.asp"), "--config", writeConfig("{\"application\": {\"a\": 1,}")}, "malformed JSON"},
        {{page("hello.asp"), "--config", writeConfig("[1, 2]")}, "top level must be an object"},
        {{page("hello.asp"), "--config", writeConfig(R"({"locale": "fr-FR"})")}, "unknown locale"},
        {{page("hello.asp"), "--config", writeConfig(R"({"eventlog": "console"})")}, "syslog"},
        {{page("hello.asp"), "--config", writeConfig(R"({"application": {"x": {"nested": 1}}})")},
         "\"application\".x"},
        {{page("hello.asp"), "--locale", "xx"}, "unknown locale"},
        {{page("hello.asp"), "--app", "novalue"}, "NAME=VALUE"},
        {{page("hello.asp"), "--bogus"}, "unknown option"},
        {{page("hello.asp"), "--config"}, "needs a value"},
        {{}, "no page"},
        {{page("nonexistent.asp")}, "does not exist"},
        {{page("hello.asp"), "--root", (pagesDir() / "bridge").string()}, "outside the site root"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runCli(c.args), 2) << c.expected;
        EXPECT_NE(err_.str().find(c.expected), std::string::npos) << err_.str();
        EXPECT_EQ(out_.str(), "") << c.expected;
    }
    // The malformed file is named in its report.
    const std::string bad = writeConfig("{oops");
    EXPECT_EQ(runCli({page("hello.asp"), "--config", bad}), 2);
    EXPECT_NE(err_.str().find(bad), std::string::npos) << err_.str();
}

TEST(HostConfig, ValuesKeepTheirTypesAndPathsAreReadFromTheFilesFolder) {
    const fs::path dir = fs::temp_directory_path() / ("orvan_config_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "c.json")
        << R"({"application": {"n": 15, "big": 3000000000, "f": 1.5, "t": "x", "b": true,
        "z": null, "a": [1, "y"]}, "registry": "reg/registry", "eventlog": "file:log/events.jsonl"})";
    const HostConfig c = loadHostConfig(dir / "c.json");
    ASSERT_EQ(c.application.size(), 7u);
    const com::VarType types[] = {com::VarType::Long,   com::VarType::Double,  com::VarType::Double,
                                  com::VarType::String, com::VarType::Boolean, com::VarType::Null,
                                  com::VarType::Array};
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(c.application[i].second.type(), types[i]) << c.application[i].first;
    EXPECT_EQ(*c.registry, (fs::absolute(dir) / "reg/registry").string());
    EXPECT_EQ(*c.eventlog, "file:" + (fs::absolute(dir) / "log/events.jsonl").string());
    for (const char* kept : {"journal", "syslog"}) {
        std::ofstream(dir / "c.json") << R"({"eventlog": ")" << kept << "\"}";
        EXPECT_EQ(*loadHostConfig(dir / "c.json").eventlog, kept);
        EXPECT_NE(makeEventLog(kept), nullptr);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace orvan::host::test
