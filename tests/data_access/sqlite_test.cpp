// What only the SQLite engine has: a file it creates and sets up, declared column types read by their
// words, and values that need not match the declared type.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::Variant;

class SqliteTest : public ::testing::Test {
protected:
    void SetUp() override { s_ = db_.open(); }
    Session& s() { return *s_; }

    TestDatabase db_{"sqlite"};
    std::unique_ptr<Session> s_;
};

TEST_F(SqliteTest, CreatesTheFileInWalModeWithForeignKeysOff) {
    TempFolder folder;
    const auto file = folder.path() / "novo.db";
    auto s = openSession(ConnectionString::parse("provider=sqlite;data source='" + file.string() + "'"), 5);
    EXPECT_EQ(s->engine(), "sqlite");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(sameValue(query(*s, "PRAGMA journal_mode")[0][0], Variant("wal")));
    EXPECT_TRUE(sameValue(query(*s, "PRAGMA foreign_keys")[0][0], Variant(std::int32_t{0})));
}

// A file not yet in write-ahead-log mode that another connection is about to write when a session
// opens it (as when several processes open a new file at once): the session waits for the writer to
// finish before it turns the file to that mode, instead of failing at once with "database is locked";
// within its timeout only.
TEST_F(SqliteTest, ASessionOpeningAFileAnotherConnectionWritesWaitsToTurnItToWal) {
    TempFolder folder;
    const std::string file = (folder.path() / "escrito.db").string();
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &writer), SQLITE_OK);
    // The write lock, taken and held until the transaction ends.
    ASSERT_EQ(sqlite3_exec(writer, "CREATE TABLE t (a); INSERT INTO t VALUES (1); BEGIN IMMEDIATE;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    const auto cs = ConnectionString::parse("provider=sqlite;data source='" + file + "'");

    const auto started = std::chrono::steady_clock::now();
    const com::ComError e = errorOf([&] { openSession(cs, 1); });
    EXPECT_NE(e.description().find("Timeout expired"), std::string::npos) << e.description();
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));

    std::thread finish([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
    });
    std::unique_ptr<Session> s;
    EXPECT_NO_THROW(s = openSession(cs, 10));
    finish.join();
    sqlite3_close(writer);
    ASSERT_TRUE(s);
    EXPECT_TRUE(sameValue(query(*s, "PRAGMA journal_mode")[0][0], Variant("wal")));
    EXPECT_EQ(query(*s, "SELECT a FROM t")[0][0].rawInt(), 1);
}

// Commits are synced to the disk unless the connection string gives that up by name.
TEST_F(SqliteTest, CommitsReachTheDiskUnlessTheConnectionStringSaysSynchronousNormal) {
    TempFolder folder;
    const std::string base = "provider=sqlite;data source='" + (folder.path() / "s.db").string() + "'";
    const struct {
        const char* extra;
        std::int32_t level;  // PRAGMA synchronous: 1 NORMAL, 2 FULL
    } cases[] = {{"", 2}, {";Synchronous=Full", 2}, {";synchronous=normal", 1}, {";Synchronous=NORMAL", 1}};
    for (const auto& c : cases) {
        auto s = openSession(ConnectionString::parse(base + c.extra), 5);
        EXPECT_TRUE(sameValue(query(*s, "PRAGMA synchronous")[0][0], Variant(c.level))) << c.extra;
    }
    for (const char* bad : {";Synchronous=Off", ";Synchronous=0", ";Synchronous=Normal DROP"}) {
        const com::ComError e = errorOf([&] { openSession(ConnectionString::parse(base + bad), 5); });
        EXPECT_NE(e.description().find("Synchronous must be Full or Normal"), std::string::npos) << bad;
    }
}

// A session keeps its statements prepared: each use still gets its own values and rows, whether the same
// text is read by two result sets at once, far more texts than it keeps are met in between, or a text
// is given other values each time.
TEST_F(SqliteTest, KeptStatementsGiveEachUseItsOwnRows) {
    run(s(), "CREATE TABLE n (v INTEGER)");
    for (std::int32_t i = 1; i <= 3; ++i) run(s(), "INSERT INTO n VALUES (?)", {Variant(i)});
    const std::string all = "SELECT v FROM n ORDER BY v";
    auto first = s().execute(all, {}, 5);
    std::vector<Variant> row;
    ASSERT_TRUE(first->next(row));
    EXPECT_EQ(row[0].rawInt(), 1);
    {
        // The same text while the first still reads it.
        auto second = s().execute(all, {}, 5);
        for (std::int32_t expected = 1; expected <= 3; ++expected) {
            ASSERT_TRUE(second->next(row));
            EXPECT_EQ(row[0].rawInt(), expected);
        }
        EXPECT_FALSE(second->next(row));
    }
    const std::string plus = "SELECT v + ? FROM n WHERE v = ?";
    for (std::int32_t i = 0; i < 300; ++i) {
        // Each text met once, and one met every time with other values.
        EXPECT_EQ(query(s(), "SELECT v + " + std::to_string(i) + " FROM n WHERE v = 2")[0][0].rawInt(), 2 + i);
        const auto rows = query(s(), plus, {Variant(i), Variant(std::int32_t{1 + i % 3})});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0].rawInt(), 1 + i % 3 + i);
    }
    // The first reader goes on where it was, and its statement serves the next use once it is done.
    ASSERT_TRUE(first->next(row));
    EXPECT_EQ(row[0].rawInt(), 2);
    first.reset();
    run(s(), "INSERT INTO n VALUES (4)");
    EXPECT_EQ(query(s(), all).size(), 4u);
}

// A date is stored as the text the engine's date functions read, the year with four digits.
TEST_F(SqliteTest, DatesAreStoredAsYearFirstTextWithAFourDigitYear) {
    run(s(), "CREATE TABLE d (v DATETIME)");
    const struct {
        double serial;
        const char* text;
    } cases[] = {{serial(2024, 2, 29, 23, 5, 9), "2024-02-29 23:05:09"},
                 {serial(100, 1, 1), "0100-01-01 00:00:00"},
                 {serial(999, 12, 31, 1, 2, 3), "0999-12-31 01:02:03"},
                 {serial(1899, 12, 30), "1899-12-30 00:00:00"}};
    for (const auto& c : cases) {
        run(s(), "DELETE FROM d");
        run(s(), "INSERT INTO d VALUES (?)", {Variant::date(c.serial)});
        EXPECT_TRUE(sameValue(query(s(), "SELECT CAST(v AS TEXT) FROM d")[0][0], Variant(c.text))) << c.text;
        EXPECT_TRUE(sameValue(query(s(), "SELECT v FROM d")[0][0], Variant::date(c.serial))) << c.text;
    }
}

TEST_F(SqliteTest, DeclaredTypesDecideTheColumnType) {
    struct Case {
        const char* decl;
        int adoType;
    };
    const Case cases[] = {
        {"TINYINT", adtype::SmallInt},     {"SMALLINT", adtype::SmallInt},
        {"INT", adtype::Integer},          {"INTEGER", adtype::Integer},
        {"BIGINT", adtype::BigInt},        {"VARCHAR(10)", adtype::VarWChar},
        {"NCHAR(2)", adtype::VarWChar},    {"TEXT", adtype::VarWChar},
        {"CLOB", adtype::VarWChar},        {"BLOB", adtype::LongVarBinary},
        {"REAL", adtype::Double},          {"FLOAT", adtype::Double},
        {"DOUBLE", adtype::Double},        {"NUMERIC(10,2)", adtype::Numeric},
        {"DECIMAL", adtype::Numeric},      {"DATE", adtype::DBTimeStamp},
        {"DATETIME", adtype::DBTimeStamp}, {"TIMESTAMP", adtype::DBTimeStamp},
        {"BOOLEAN", adtype::Boolean},      {"BIT", adtype::Boolean},
    };
    std::string ddl = "CREATE TABLE tipos (";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        ddl += (i ? ", c" : "c") + std::to_string(i) + " " + cases[i].decl;
    run(s(), ddl + ")");
    auto rs = s().execute("SELECT * FROM tipos", {}, 30);
    ASSERT_EQ(rs->columns().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(rs->columns()[i].adoType, cases[i].adoType) << cases[i].decl;

    // Without a declared type, the first value's storage class decides.
    rs = s().execute("SELECT 1 + 1, 1.5 * 2, 'a' || 'b', X'01'", {}, 30);
    const int computed[] = {adtype::Integer, adtype::Double, adtype::VarWChar, adtype::LongVarBinary};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(rs->columns()[i].adoType, computed[i]) << i;
}

TEST_F(SqliteTest, ValuesThatDoNotFitTheDeclaredTypeComeBackAsStored) {
    run(s(), "CREATE TABLE solta (i SMALLINT, dt DATETIME, n NUMERIC, b BOOLEAN)");
    run(s(), "INSERT INTO solta VALUES (100000, 'amanhã', 'x', 2)");
    auto rows = query(s(), "SELECT i, dt, n, b FROM solta");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(sameValue(rows[0][0], Variant(std::int32_t{100000})));  // too wide for Integer: Long
    EXPECT_TRUE(sameValue(rows[0][1], Variant("amanhã")));
    EXPECT_TRUE(sameValue(rows[0][2], Variant("x")));
    EXPECT_TRUE(sameValue(rows[0][3], Variant(true)));
}

TEST_F(SqliteTest, ProcedureWithoutTheProceduresTableIsMissing) {
    auto e = errorOf([&] { s().callProcedure("atualoid", {}, 30); });
    EXPECT_EQ(e.number(), -2147217900);
    EXPECT_EQ(e.description(), "no such procedure: atualoid");
}

}  // namespace
}  // namespace orvan::data::testing
