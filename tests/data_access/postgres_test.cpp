// What only the PostgreSQL engine has: a server that can drop the connection, type checks SQLite does
// not make, a statement_timeout kept on the server, and catalog names cached per session.
#include <gtest/gtest.h>

#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::ComError;
using com::Variant;

constexpr std::int32_t kFail = -2147467259;

class PostgresTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
        db_ = std::make_unique<TestDatabase>("postgresql");
        s_ = db_->open();
    }
    Session& s() { return *s_; }
    std::string show(std::string_view setting, int timeoutSeconds) {
        return query(s(), std::string("SHOW ") + std::string(setting), {}, timeoutSeconds)[0][0].rawString();
    }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<Session> s_;
};

TEST_F(PostgresTest, ConnectionDroppedByTheServerGivesAClearErrorAndNotAlive) {
    const std::int32_t pid = query(s(), "SELECT pg_backend_pid()")[0][0].rawInt();
    auto admin = db_->open();
    // The second argument makes the server wait until the backend has gone.
    auto done = query(*admin, "SELECT pg_terminate_backend(CAST(? AS integer), 5000)", {Variant(pid)});
    ASSERT_TRUE(sameValue(done[0][0], Variant(true)));

    ComError e = errorOf([&] { query(s(), "SELECT 1"); });
    EXPECT_EQ(e.number(), kFail);
    EXPECT_FALSE(e.description().empty());
    EXPECT_NE(e.description().find("connection"), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find('\n'), std::string::npos) << e.description();
    EXPECT_EQ(e.sqlState().substr(0, 2), "08");
    EXPECT_FALSE(s().alive());

    // Every later use says the same plainly, without touching the dead connection.
    e = errorOf([&] { query(s(), "SELECT 1"); });
    EXPECT_EQ(e.number(), kFail);
    EXPECT_EQ(e.description(), "the connection to the database server was lost");
    EXPECT_EQ(errorOf([&] { s().primaryKey("x"); }).number(), kFail);
    s().reset();  // nothing to roll back on a lost connection
    EXPECT_TRUE(admin->alive());
}

TEST_F(PostgresTest, ValuesTheColumnTypeRejects) {
    run(s(), "CREATE TABLE curta (s VARCHAR(5))");
    struct Case {
        const char* sql;
        std::vector<Variant> params;
        std::int32_t number;
        const char* text;
        const char* state;
    };
    const Case cases[] = {
        {"INSERT INTO curta VALUES (?)",
         {Variant("123456")},
         -2147217833,
         "value too long for type character varying(5)",
         "22001"},
        {"SELECT CAST(? AS integer)",
         {Variant("abc")},
         -2147217913,
         "invalid input syntax for type integer: \"abc\"",
         "22P02"},
        {"SELECT CAST(? AS smallint)",
         {Variant(std::int32_t{40000})},
         -2147217913,
         "value \"40000\" is out of range for type smallint",
         "22003"},
        {"SELECT CAST(? AS date)",
         {Variant("2024-13-45")},
         -2147217913,
         "date/time field value out of range: \"2024-13-45\"",
         "22008"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        ComError e = errorOf([&] { query(s(), c.sql, c.params); });
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description(), c.text);
        EXPECT_EQ(e.sqlState(), c.state);
    }
}

TEST_F(PostgresTest, DateTypesReadAsDatesAndTextsBeyondTheCalendarAsText) {
    run(s(), "SET TIME ZONE 'UTC'");
    struct Case {
        const char* sql;
        Variant out;
    };
    const Case cases[] = {
        {"SELECT CAST('2024-03-01 10:20:30+00' AS timestamptz)",
         Variant::date(serial(2024, 3, 1, 10, 20, 30))},
        {"SELECT CAST('1850-07-14' AS date)", Variant::date(serial(1850, 7, 14))},
        {"SELECT CAST('10:20:30' AS time)", Variant::date(serial(1899, 12, 30, 10, 20, 30))},
        {"SELECT CAST('2024-03-01 23:59:59.7' AS timestamp)", Variant::date(serial(2024, 3, 2))},
        {"SELECT CAST('infinity' AS timestamp)", Variant("infinity")},
        {"SELECT CAST('0044-03-15 BC' AS date)", Variant("0044-03-15 BC")},
    };
    for (const Case& c : cases) {
        auto rs = s().execute(c.sql, {}, 30);
        EXPECT_EQ(rs->columns()[0].adoType, adtype::DBTimeStamp) << c.sql;
        auto rows = readAll(*rs);
        EXPECT_TRUE(sameValue(rows[0][0], c.out)) << c.sql << ": " << ::testing::PrintToString(rows[0][0]);
    }
}

TEST_F(PostgresTest, StatementTimeoutFollowsEachCommandEvenAfterARollbackUndoesIt) {
    EXPECT_EQ(show("statement_timeout", 7), "7s");
    EXPECT_EQ(show("statement_timeout", 0), "0");
    // A SET made inside a transaction that is rolled back is undone on the server.
    run(s(), "BEGIN", {}, 0);
    run(s(), "SELECT 1", {}, 5);
    run(s(), "ROLLBACK", {}, 5);
    EXPECT_EQ(show("statement_timeout", 5), "5s");
    s().reset();
    run(s(), "BEGIN", {}, 0);
    run(s(), "SELECT 1", {}, 3);
    s().reset();
    EXPECT_EQ(show("statement_timeout", 3), "3s");
}

TEST_F(PostgresTest, BaseColumnNamesFollowARename) {
    run(s(), "CREATE TABLE renomear (antes INTEGER)");
    EXPECT_EQ(s().execute("SELECT antes FROM renomear", {}, 30)->columns()[0].baseColumn, "antes");
    run(s(), "ALTER TABLE renomear RENAME COLUMN antes TO depois");
    auto rs = s().execute("SELECT depois AS d FROM renomear", {}, 30);
    EXPECT_EQ(rs->columns()[0].baseTable, "renomear");
    EXPECT_EQ(rs->columns()[0].baseColumn, "depois");
}

TEST_F(PostgresTest, ProcedureCallIsTracedWithTheStatementRun) {
    run(s(), "CREATE FUNCTION dobro(x integer) RETURNS integer AS $$ SELECT x * 2 $$ LANGUAGE sql");
    StatementLog log;
    std::vector<ProcedureParam> params = {{"RETURN_VALUE", 4, adtype::Integer, Variant()},
                                          {"x", 1, adtype::Integer, Variant(std::int32_t{21})}};
    s().callProcedure("dobro", params, 30);
    EXPECT_TRUE(sameValue(params[0].value, Variant(std::int32_t{42})));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].sent, "dobro");
    EXPECT_EQ(log.entries[0].ran, "SELECT * FROM dobro($1)");

    EXPECT_EQ(errorOf([&] { s().callProcedure("dobro(1); DROP TABLE x; --", {}, 30); }).number(),
              -2147217900);
}

}  // namespace
}  // namespace orvan::data::testing
