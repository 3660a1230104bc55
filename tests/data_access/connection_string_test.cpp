// Connection strings, the choice of engine, and what opening a session reports when it cannot.
#include <gtest/gtest.h>

#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::ComError;

constexpr std::int32_t kFail = -2147467259;
constexpr std::int32_t kAuthFailed = -2147217843;

TEST(ConnectionString, KeysWithoutCaseValuesTrimmedOrQuoted) {
    struct Case {
        const char* text;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"Provider=SQLite;Data Source=/tmp/a.db", "DATA SOURCE", "/tmp/a.db"},
        {"  provider = PostgreSQL ; HOST = db1 ;Port=5432;", "host", "db1"},
        {"Data Source= /x y/f.db ;", "data source", "/x y/f.db"},
        {"Password='a;b=c';User ID=\"x\"\"y\"", "password", "a;b=c"},
        {"Password='a;b=c';User ID=\"x\"\"y\"", "user id", "x\"y"},
        {"Password = 'it''s' ; Port=1", "password", "it's"},
        {"Password = ' keep blanks ' ; Port=1", "password", " keep blanks "},
        {";;Provider=SQLite;;Port=7;", "port", "7"},
        {"Port=1;PORT=2", "port", "2"},
        {"Port=", "port", ""},
    };
    for (const Case& c : cases) {
        const ConnectionString cs = ConnectionString::parse(c.text);
        EXPECT_EQ(cs.get(c.key, "<none>"), c.value) << c.text;
        EXPECT_EQ(cs.text, c.text);
    }
    const ConnectionString cs = ConnectionString::parse("  provider = PostgreSQL ; User ID=u");
    EXPECT_EQ(cs.provider(), "postgresql");
    EXPECT_EQ(cs.keys.count("user id"), 1u);
    EXPECT_EQ(cs.get("Database", "fallback"), "fallback");
}

TEST(OpenSession, UnknownProviderIsError3706) {
    for (const char* text : {"Provider=Oracle;Data Source=x", "Data Source=x.db", ""}) {
        ComError e = errorOf([&] { openSession(ConnectionString::parse(text), 5); });
        EXPECT_EQ(e.number(), 3706) << text;
        EXPECT_EQ(e.description(), "Provider cannot be found. It may not be properly installed.");
    }
}

TEST(OpenSession, SqliteFileThatCannotBeOpenedIsFailWithTheFileName) {
    TempFolder folder;
    const std::string missingFolder = (folder.path() / "nao" / "existe.db").string();
    ComError e = errorOf(
        [&] { openSession(ConnectionString::parse("Provider=SQLite;Data Source=" + missingFolder), 5); });
    EXPECT_EQ(e.number(), kFail);
    EXPECT_EQ(e.description(), "unable to open database file: " + missingFolder);

    EXPECT_EQ(errorOf([&] { openSession(ConnectionString::parse("Provider=SQLite"), 5); }).number(), kFail);
}

TEST(OpenSession, PostgresAliasesReachTheServerAndAnUnreachableOneIsFail) {
    // Port 1 on the loopback answers nothing: each alias must get as far as trying to connect.
    for (const char* provider : {"PostgreSQL", "postgres", "PGSQL"}) {
        ComError e = errorOf([&] {
            openSession(
                ConnectionString::parse(std::string("Provider=") + provider + ";Server=127.0.0.1;Port=1"), 5);
        });
        EXPECT_EQ(e.number(), kFail) << provider;
        EXPECT_EQ(e.sqlState(), "08001");
        EXPECT_NE(e.description().find("127.0.0.1"), std::string::npos) << e.description();
        EXPECT_EQ(e.description().find('\n'), std::string::npos) << e.description();
    }
}

TEST(OpenSession, PostgresLoginRefusedIsAuthFailure) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    ConnectionString cs = ConnectionString::parse(pgConnectionString());
    cs.keys["user id"] = "papel_inexistente";
    ComError e = errorOf([&] { openSession(cs, 5); });
    EXPECT_EQ(e.number(), kAuthFailed);
    EXPECT_EQ(e.sqlState(), "28000");
    EXPECT_NE(e.description().find("papel_inexistente"), std::string::npos) << e.description();
}

TEST(OpenSession, PostgresValuesAreTakenWhole) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    // A value that would add keys if it were pasted into a conninfo text unquoted.
    ConnectionString cs = ConnectionString::parse(pgConnectionString());
    cs.keys["database"] = "nao existe' dbname='postgres";
    ComError e = errorOf([&] { openSession(cs, 5); });
    EXPECT_EQ(e.number(), kFail);
    EXPECT_NE(e.description().find("database \"nao existe' dbname='postgres\" does not exist"),
              std::string::npos)
        << e.description();
}

}  // namespace
}  // namespace orvan::data::testing
