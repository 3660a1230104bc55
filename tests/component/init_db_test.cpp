// `orvan init-db` tells a refused login and an unreachable database from "no schema yet".
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs `orvan init-db CONNECTION` and returns its exit status and standard error.
Outcome initDb(const std::string& connection) {
    const std::string errFile =
        (std::filesystem::temp_directory_path() / ("orvan-init-db-" + std::to_string(::getpid()) + ".err")).string();
    const std::string cmd = std::string(ORVAN_BINARY) + " init-db '" + connection + "' > /dev/null 2> " + errFile;
    const int rc = std::system(cmd.c_str());
    Outcome o;
    o.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    if (FILE* f = std::fopen(errFile.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) o.err.append(buf, n);
        std::fclose(f);
    }
    std::filesystem::remove(errFile);
    return o;
}

TEST(InitDb, ALoginTheServerRefusesIsReportedAsNotAllowed) {
    const char* base = std::getenv("ORVAN_TEST_PG");
    ASSERT_TRUE(base && *base) << "ORVAN_TEST_PG is not set: start the test server with scripts/pg-test-server.sh";
    const Outcome o = initDb(std::string(base) + ";User ID=papel_que_nao_existe");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("orvan init-db: not allowed: the database refused the login"), std::string::npos)
        << o.err;
    EXPECT_EQ(o.err.find("created"), std::string::npos) << o.err;
}

TEST(InitDb, ADatabaseThatCannotBeReachedIsReportedAsSuch) {
    const Outcome sqlite = initDb("Provider=SQLite;Data Source=/nonexistent-folder/agenda.db");
    EXPECT_EQ(sqlite.status, 1);
    EXPECT_NE(sqlite.err.find("orvan init-db: cannot connect to the database: "), std::string::npos) << sqlite.err;

    // A port nothing listens on (port 1 is reserved and never served here).
    const Outcome pg = initDb("Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=x");
    EXPECT_EQ(pg.status, 1);
    EXPECT_NE(pg.err.find("orvan init-db: cannot connect to the database: "), std::string::npos) << pg.err;
}

}  // namespace
