// `orvan init-db` tells a refused login and an unreachable database from "no schema yet", and creates
// the schema through ODBC in the dialect of the engine the driver reports.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data_access/odbc_targets.h"
#include "data_access/providers/provider.h"
#include "schema/schema.h"

namespace {

using orvan::com::Variant;
using orvan::data::ConnectionString;
using orvan::data::ProcedureParam;

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

// The identifier the schema's procedure hands out first, called as Gerar_Oid calls it.
std::int32_t firstOid(orvan::data::Session& session) {
    ProcedureParam out{"novooid", 2, orvan::data::adtype::Integer, Variant::null()};
    session.callProcedure("atualoid", std::span(&out, 1), 30);
    return out.value.rawInt();
}

TEST(InitDb, ThroughTheSqliteOdbcDriverCreatesTheSqliteSchema) {
    const auto folder = std::filesystem::temp_directory_path() / ("orvan-init-odbc-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "agenda.db").string();
    const Outcome o = initDb(orvan::data::testing::odbcSqliteString(file));
    EXPECT_EQ(o.status, 0) << o.err;
    {
        auto native = orvan::data::openSession(ConnectionString::parse("Provider=SQLite;Data Source=" + file), 5);
        EXPECT_TRUE(orvan::schema::hasSchema(*native));
        EXPECT_EQ(firstOid(*native), 100000) << "the counter and its body in sys_procedures";
    }
    std::error_code ignored;  // a folder left in the temporary folder harms no later test
    std::filesystem::remove_all(folder, ignored);
}

TEST(InitDb, ThroughPsqlOdbcCreatesThePostgresqlSchema) {
    const char* base = std::getenv("ORVAN_TEST_PG");
    ASSERT_TRUE(base && *base) << "ORVAN_TEST_PG is not set: start the test server with scripts/pg-test-server.sh";
    const std::string schema = "i_" + std::to_string(::getpid());
    auto admin = orvan::data::openSession(ConnectionString::parse(base), 5);
    admin->execute("DROP SCHEMA IF EXISTS " + schema + " CASCADE", {}, 0);
    admin->execute("CREATE SCHEMA " + schema, {}, 0);
    const Outcome o = initDb(orvan::data::testing::odbcPostgresString(base, schema));
    EXPECT_EQ(o.status, 0) << o.err;
    {
        auto native = orvan::data::openSession(ConnectionString::parse(std::string(base) + ";Search Path=" + schema), 5);
        EXPECT_TRUE(orvan::schema::hasSchema(*native));
        EXPECT_EQ(firstOid(*native), 100000) << "the sequence and the function atualoid";
        // The date-time columns are PostgreSQL's own type, not text.
        auto rs = native->execute("SELECT INICIO FROM PRAZO", {}, 0);
        EXPECT_EQ(rs->columns().at(0).adoType, orvan::data::adtype::DBTimeStamp);
    }
    admin->execute("DROP SCHEMA IF EXISTS " + schema + " CASCADE", {}, 0);
}

}  // namespace
