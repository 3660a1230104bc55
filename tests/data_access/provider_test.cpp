// The behaviour every engine must show through the provider interface, run on SQLite and on
// PostgreSQL alike: values in and out, column metadata, errors, timeouts, the lexical repair,
// procedures, primary keys and session upkeep.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::ComError;
using com::Variant;
using std::chrono::steady_clock;

constexpr std::int32_t kErrorsInCommand = -2147217900;
constexpr std::int32_t kNoTable = -2147217865;
constexpr std::int32_t kIntegrity = -2147217873;
constexpr std::int32_t kCantConvert = -2147217913;
constexpr std::int32_t kTimeout = -2147217871;
constexpr std::int32_t kParamMissing = -2147217904;

// One DDL for both engines: SQLite reads the declared types by their words, PostgreSQL by name.
constexpr const char* kValuesTable =
    "CREATE TABLE valores (id INTEGER PRIMARY KEY, i SMALLINT, l INTEGER, g BIGINT, d DOUBLE PRECISION, "
    "n NUMERIC(12,2), b BOOLEAN, dt TIMESTAMP, s VARCHAR(200))";

// A statement that runs until stopped (about a billion rows).
constexpr const char* kEndless =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000) SELECT count(*) "
    "FROM c";

class ProviderTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
        db_ = std::make_unique<TestDatabase>(GetParam());
        s_ = db_->open();
        run(*s_, kValuesTable);
    }

    bool pg() const { return db_->postgres(); }
    Session& s() { return *s_; }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<Session> s_;
};

std::string engineName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}
INSTANTIATE_TEST_SUITE_P(Engines, ProviderTest, ::testing::Values("sqlite", "postgresql"), engineName);

// ---- values -----------------------------------------------------------------------------------------

TEST_P(ProviderTest, ValuesRoundTripThroughParametersWithTheirColumnTypes) {
    struct Case {
        const char* column;
        Variant in;
        Variant out;
    };
    const std::string text = "O'Brien d'Ávila \"aspas\" -- não é comentário; ? 日本語 ✓";
    const Case cases[] = {
        {"i", Variant(std::int16_t{-32768}), Variant(std::int16_t{-32768})},
        {"i", Variant(std::int16_t{12}), Variant(std::int16_t{12})},
        {"l", Variant(std::int32_t{2147483647}), Variant(std::int32_t{2147483647})},
        {"l", Variant(std::int16_t{-5}), Variant(std::int32_t{-5})},
        {"g", Variant(std::int32_t{7}), Variant(std::int32_t{7})},
        {"g", Variant(1099511627776.0), Variant(1099511627776.0)},  // beyond Long: read as Double
        {"d", Variant(1.0 / 3.0), Variant(1.0 / 3.0)},
        {"d", Variant(-1.5e-300), Variant(-1.5e-300)},
        {"n", Variant(12.34), Variant(12.34)},
        {"b", Variant(true), Variant(true)},
        {"b", Variant(false), Variant(false)},
        {"dt", Variant::date(serial(2024, 2, 29, 23, 59, 59)),
         Variant::date(serial(2024, 2, 29, 23, 59, 59))},
        {"dt", Variant::date(serial(1850, 7, 14, 6, 30, 1)), Variant::date(serial(1850, 7, 14, 6, 30, 1))},
        {"dt", Variant::date(serial(1899, 12, 30, 0, 0, 1)), Variant::date(serial(1899, 12, 30, 0, 0, 1))},
        {"s", Variant(text), Variant(text)},
        {"s", Variant(""), Variant("")},
        {"s", Variant(std::int32_t{42}), Variant("42")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " <- " + ::testing::PrintToString(c.in));
        run(s(), "DELETE FROM valores");
        EXPECT_EQ(run(s(), std::string("INSERT INTO valores (id, ") + c.column + ") VALUES (?, ?)",
                      {Variant(std::int32_t{1}), c.in}),
                  1);
        auto rows = query(s(), std::string("SELECT ") + c.column + " FROM valores WHERE id = ?",
                          {Variant(std::int32_t{1})});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_TRUE(sameValue(rows[0][0], c.out)) << ::testing::PrintToString(rows[0][0]);
    }

    // NULL, and Empty sent as NULL, in every column.
    run(s(), "DELETE FROM valores");
    run(s(), "INSERT INTO valores VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?)",
        {Variant::null(), Variant(), Variant::null(), Variant(), Variant::null(), Variant(), Variant::null(),
         Variant()});
    auto rs = s().execute("SELECT i, l, g, d, n, b, dt, s FROM valores", {}, 30);
    const int expectedTypes[] = {adtype::SmallInt, adtype::Integer, adtype::BigInt,      adtype::Double,
                                 adtype::Numeric,  adtype::Boolean, adtype::DBTimeStamp, adtype::VarWChar};
    ASSERT_EQ(rs->columns().size(), 8u);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(rs->columns()[i].adoType, expectedTypes[i]) << rs->columns()[i].name;
    auto rows = readAll(*rs);
    ASSERT_EQ(rows.size(), 1u);
    for (const Variant& v : rows[0]) EXPECT_TRUE(v.isNull()) << ::testing::PrintToString(v);
}

TEST_P(ProviderTest, DateTextsWithoutTimeOrWithFractionsReadAsDates) {
    run(s(), "INSERT INTO valores (id, dt) VALUES (1, '2024-03-01')");
    run(s(), "INSERT INTO valores (id, dt) VALUES (2, '2024-03-01 10:20:30.6')");
    auto rows = query(s(), "SELECT dt FROM valores ORDER BY id");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(sameValue(rows[0][0], Variant::date(serial(2024, 3, 1))))
        << ::testing::PrintToString(rows[0][0]);
    EXPECT_TRUE(sameValue(rows[1][0], Variant::date(serial(2024, 3, 1, 10, 20, 31))))
        << ::testing::PrintToString(rows[1][0]);
}

TEST_P(ProviderTest, BinaryValuesReadAsTheirBytes) {
    auto rs = s().execute(pg() ? "SELECT '\\x00414243'::bytea AS bin" : "SELECT X'00414243' AS bin", {}, 30);
    auto rows = readAll(*rs);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rs->columns()[0].adoType, adtype::LongVarBinary);
    EXPECT_TRUE(sameValue(rows[0][0], Variant(std::string("\0ABC", 4))));
}

TEST_P(ProviderTest, MarkersInsideLiteralsAndCommentsAreNotParameters) {
    auto rows = query(s(), "SELECT '?' AS q, ? AS p, 'it''s ?' AS r -- a comment?\n", {Variant("x")});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(sameValue(rows[0][0], Variant("?")));
    EXPECT_TRUE(sameValue(rows[0][1], Variant("x")));
    EXPECT_TRUE(sameValue(rows[0][2], Variant("it's ?")));

    // A marker written against a keyword.
    run(s(), "INSERT INTO valores (id, l) VALUES (1, 5)");
    EXPECT_EQ(query(s(), "SELECT id FROM valores WHERE id = ?AND l = ?",
                    {Variant(std::int32_t{1}), Variant(std::int32_t{5})})
                  .size(),
              1u);
}

TEST_P(ProviderTest, ParameterCountMustMatchTheMarkers) {
    EXPECT_EQ(errorOf([&] { query(s(), "SELECT ?, ?", {Variant("a")}); }).number(), kParamMissing);
    EXPECT_EQ(errorOf([&] {
                  query(s(), "SELECT ?", {Variant("a"), Variant("b")});
              }).number(),
              kErrorsInCommand);
}

TEST_P(ProviderTest, RowsAffectedCountsOnlyChangedRows) {
    run(s(), "INSERT INTO valores (id, l) VALUES (1, 1)");
    run(s(), "INSERT INTO valores (id, l) VALUES (2, 1)");
    EXPECT_EQ(run(s(), "UPDATE valores SET l = 2"), 2);
    EXPECT_EQ(run(s(), "DELETE FROM valores WHERE id = 99"), 0);
    EXPECT_EQ(run(s(), "CREATE TABLE outra (a INTEGER)"), 0);
    EXPECT_EQ(run(s(), "SELECT * FROM valores"), -1);
    EXPECT_EQ(run(s(), "SELECT * FROM valores WHERE id = 99"), -1);
}

TEST_P(ProviderTest, OneStatementPerCommand) {
    run(s(), "INSERT INTO valores (id, l) VALUES (1, 1)");
    auto e = errorOf([&] { run(s(), "UPDATE valores SET l = 2; UPDATE valores SET l = 3"); });
    EXPECT_EQ(e.number(), kErrorsInCommand);
    EXPECT_TRUE(sameValue(query(s(), "SELECT l FROM valores")[0][0], Variant(std::int32_t{1})));
    // A closing semicolon and a comment after it are not a second statement.
    EXPECT_EQ(query(s(), "SELECT l FROM valores; -- done").size(), 1u);
}

// ---- metadata ---------------------------------------------------------------------------------------

TEST_P(ProviderTest, ColumnsReportTheirBaseTableAndColumn) {
    run(s(), "CREATE TABLE pessoas (id INTEGER PRIMARY KEY, nome VARCHAR(50))");
    run(s(), "CREATE TABLE pedidos (num INTEGER PRIMARY KEY, pessoa INTEGER, total NUMERIC(10,2))");
    run(s(), "INSERT INTO pessoas VALUES (1, 'Ana')");
    run(s(), "INSERT INTO pedidos VALUES (10, 1, 10.5)");
    auto rs = s().execute(
        "SELECT p.nome AS cliente, o.num, o.total * 2 AS dobro FROM pedidos o JOIN pessoas p ON p.id = "
        "o.pessoa",
        {}, 30);
    const auto& cols = rs->columns();
    ASSERT_EQ(cols.size(), 3u);
    EXPECT_EQ(cols[0].name, "cliente");
    EXPECT_EQ(cols[0].baseTable, "pessoas");
    EXPECT_EQ(cols[0].baseColumn, "nome");
    EXPECT_EQ(cols[0].adoType, adtype::VarWChar);
    EXPECT_EQ(cols[1].name, "num");
    EXPECT_EQ(cols[1].baseTable, "pedidos");
    EXPECT_EQ(cols[1].baseColumn, "num");
    EXPECT_EQ(cols[1].adoType, adtype::Integer);
    EXPECT_EQ(cols[2].name, "dobro");
    EXPECT_EQ(cols[2].baseTable, "");
    EXPECT_EQ(cols[2].baseColumn, "");
    auto rows = readAll(*rs);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(sameValue(rows[0][2], Variant(21.0)));
}

TEST_P(ProviderTest, PrimaryKeyInKeyOrderAndTableNameWithoutCase) {
    run(s(),
        "CREATE TABLE itens (pedido INTEGER, linha INTEGER, descr VARCHAR(20), PRIMARY KEY (linha, pedido))");
    run(s(), "CREATE TABLE sem_chave (a INTEGER)");
    EXPECT_EQ(s().primaryKey("ITENS"), (std::vector<std::string>{"linha", "pedido"}));
    EXPECT_EQ(s().primaryKey("valores"), (std::vector<std::string>{"id"}));
    EXPECT_TRUE(s().primaryKey("sem_chave").empty());
    EXPECT_TRUE(s().primaryKey("nao_existe").empty());
}

// ---- errors -----------------------------------------------------------------------------------------

TEST_P(ProviderTest, ErrorsCarryTheirNumberTheServerMessageAndSqlState) {
    run(s(), "CREATE TABLE obrig (id INTEGER PRIMARY KEY, nome VARCHAR(10) NOT NULL)");
    run(s(), "INSERT INTO valores (id) VALUES (1)");
    struct Case {
        const char* sql;
        std::vector<Variant> params;
        std::int32_t number;
        const char* sqliteText;
        const char* pgText;
        const char* sqlState;  // the same on both engines
    };
    const Case cases[] = {
        {"SELECT * FROMX valores",
         {},
         kErrorsInCommand,
         "near \"FROMX\": syntax error",
         "syntax error at or near \"FROMX\"",
         "42601"},
        {"SELECT * FROM nao_existe",
         {},
         kNoTable,
         "no such table: nao_existe",
         "relation \"nao_existe\" does not exist",
         "42P01"},
        {"SELECT coluna_inexistente FROM valores",
         {},
         kErrorsInCommand,
         "no such column: coluna_inexistente",
         "column \"coluna_inexistente\" does not exist",
         "42703"},
        {"INSERT INTO valores (id) VALUES (1)",
         {},
         kIntegrity,
         "UNIQUE constraint failed: valores.id",
         "duplicate key value violates unique constraint \"valores_pkey\"",
         "23505"},
        {"INSERT INTO obrig (id, nome) VALUES (1, ?)",
         {Variant::null()},
         kIntegrity,
         "NOT NULL constraint failed: obrig.nome",
         "null value in column \"nome\" of relation \"obrig\" violates not-null constraint",
         "23502"},
        {"INSERT INTO valores (id) VALUES (?)",
         {Variant("abc")},
         kCantConvert,
         "datatype mismatch",
         "invalid input syntax for type integer: \"abc\"",
         "22P02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        ComError e = errorOf([&] { run(s(), c.sql, c.params); });
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description(), pg() ? c.pgText : c.sqliteText);
        EXPECT_EQ(e.sqlState(), c.sqlState);
    }
    // A failed statement outside a transaction leaves the session usable.
    EXPECT_EQ(query(s(), "SELECT id FROM valores").size(), 1u);
}

// ---- timeouts ---------------------------------------------------------------------------------------

TEST_P(ProviderTest, TimeoutStopsALongStatementAndTheSessionGoesOn) {
    const auto start = steady_clock::now();
    ComError e = errorOf([&] { query(s(), kEndless, {}, 1); });
    const auto elapsed = steady_clock::now() - start;
    EXPECT_EQ(e.number(), kTimeout);
    EXPECT_EQ(e.description(), pg() ? "canceling statement due to statement timeout" : "Timeout expired");
    EXPECT_GE(elapsed, std::chrono::milliseconds(900));
    EXPECT_LT(elapsed, std::chrono::seconds(5));

    // The limit belongs to that statement: the next one, without limit, runs to its end.
    auto rows = query(s(),
                      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300000) "
                      "SELECT count(*) FROM c",
                      {}, 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].rawInt(), 300000);
}

TEST_P(ProviderTest, WaitForAnotherSessionsLockEndsAtTheTimeoutOrLastsWithout) {
    run(s(), "INSERT INTO valores (id, l) VALUES (1, 0)");
    auto other = db_->open();
    run(s(), "BEGIN");
    run(s(), "UPDATE valores SET l = 1 WHERE id = 1");

    const auto start = steady_clock::now();
    ComError e = errorOf([&] { run(*other, "UPDATE valores SET l = 2 WHERE id = 1", {}, 1); });
    EXPECT_EQ(e.number(), kTimeout);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(5));

    // Without a limit the other session waits until the lock goes.
    std::int64_t affected = -5;
    steady_clock::time_point finished;
    std::thread waiter([&] {
        try {
            affected = run(*other, "UPDATE valores SET l = 2 WHERE id = 1", {}, 0);
        } catch (const ComError& err) {
            ADD_FAILURE() << err.description();
        }
        finished = steady_clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto released = steady_clock::now();
    run(s(), "COMMIT");
    waiter.join();
    EXPECT_EQ(affected, 1);
    EXPECT_GE(finished, released);
    EXPECT_TRUE(sameValue(query(s(), "SELECT l FROM valores")[0][0], Variant(std::int32_t{2})));
}

// ---- the lexical repair -------------------------------------------------------------------------

TEST_P(ProviderTest, NumberWrittenAgainstAKeywordRunsAndTheTraceShowsBothTexts) {
    run(s(), "INSERT INTO valores (id, l) VALUES (1, 0)");
    StatementLog log;
    EXPECT_EQ(run(s(), "UPDATE valores SET l = 5WHERE id = 1"), 1);
    EXPECT_EQ(query(s(), "SELECT id FROM valores WHERE l=5AND id=1").size(), 1u);
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[0].sent, "UPDATE valores SET l = 5WHERE id = 1");
    EXPECT_EQ(log.entries[0].ran, "UPDATE valores SET l = 5 WHERE id = 1");
    EXPECT_EQ(log.entries[1].sent, "SELECT id FROM valores WHERE l=5AND id=1");
    EXPECT_EQ(log.entries[1].ran, "SELECT id FROM valores WHERE l=5 AND id=1");
}

// ---- procedures -------------------------------------------------------------------------------------

class ProcedureTest : public ProviderTest {
protected:
    void SetUp() override {
        ProviderTest::SetUp();
        if (HasFatalFailure()) return;
        run(s(), "CREATE TABLE contador (valor INTEGER NOT NULL)");
        run(s(), "INSERT INTO contador VALUES (0)");
        if (pg()) {
            run(s(),
                "CREATE FUNCTION atualoid(OUT novooid integer) AS $$ "
                "UPDATE contador SET valor = valor + 1 RETURNING valor $$ LANGUAGE sql");
            run(s(),
                "CREATE FUNCTION somar(a integer, b integer, OUT soma integer, OUT texto varchar) AS $$ "
                "SELECT a + b, 'a=' || a $$ LANGUAGE sql");
            run(s(),
                "CREATE FUNCTION falhar(OUT x integer) AS $$ UPDATE contador SET valor = valor + 100; "
                "INSERT INTO contador (valor) VALUES (NULL); SELECT 1 $$ LANGUAGE sql");
        } else {
            run(s(), "CREATE TABLE sys_procedures (name TEXT PRIMARY KEY, body TEXT)");
            const char* bodies[][2] = {
                {"atualoid",
                 "UPDATE contador SET valor = valor + 1;\nSELECT valor AS novooid FROM contador;"},
                {"somar", "SELECT :a + @b AS soma, 'a=' || $a AS texto"},
                {"falhar",
                 "UPDATE contador SET valor = valor + 100; INSERT INTO contador (valor) VALUES (NULL);"},
            };
            for (const auto& b : bodies)
                run(s(), "INSERT INTO sys_procedures VALUES (?, ?)", {Variant(b[0]), Variant(b[1])});
        }
    }

    std::int32_t counter() { return query(s(), "SELECT valor FROM contador")[0][0].rawInt(); }
};

INSTANTIATE_TEST_SUITE_P(Engines, ProcedureTest, ::testing::Values("sqlite", "postgresql"), engineName);

TEST_P(ProcedureTest, OutputParametersComeFromTheColumnsOfTheirName) {
    StatementLog log;
    for (std::int32_t expected : {1, 2}) {
        ProcedureParam out{"NovoOid", 2, adtype::Integer, Variant()};
        s().callProcedure("AtualOid", std::span(&out, 1), 30);
        EXPECT_TRUE(sameValue(out.value, Variant(expected))) << ::testing::PrintToString(out.value);
    }
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[0].sent, "AtualOid");
    EXPECT_NE(log.entries[0].ran.find(pg() ? "AtualOid" : "UPDATE contador"), std::string::npos)
        << log.entries[0].ran;

    std::vector<ProcedureParam> params = {
        {"a", 1, adtype::Integer, Variant(std::int32_t{2})},
        {"texto", 2, adtype::VarWChar, Variant()},
        {"b", 1, adtype::Integer, Variant(std::int32_t{3})},
        {"soma", 2, adtype::Integer, Variant()},
    };
    s().callProcedure("somar", params, 30);
    EXPECT_TRUE(sameValue(params[3].value, Variant(std::int32_t{5})))
        << ::testing::PrintToString(params[3].value);
    EXPECT_TRUE(sameValue(params[1].value, Variant("a=2"))) << ::testing::PrintToString(params[1].value);
}

TEST_P(ProcedureTest, AFailingProcedureLeavesNothingWrittenAndAMissingOneIsAnError) {
    ProcedureParam out{"x", 2, adtype::Integer, Variant()};
    EXPECT_EQ(errorOf([&] { s().callProcedure("falhar", std::span(&out, 1), 30); }).number(), kIntegrity);
    EXPECT_EQ(counter(), 0);

    ComError e = errorOf([&] { s().callProcedure("nao_existe", {}, 30); });
    EXPECT_EQ(e.number(), kErrorsInCommand);
    EXPECT_NE(e.description().find("nao_existe"), std::string::npos) << e.description();

    // An output parameter the procedure does not produce is reported, not left empty.
    ProcedureParam wrong{"outro", 2, adtype::Integer, Variant()};
    e = errorOf([&] { s().callProcedure("atualoid", std::span(&wrong, 1), 30); });
    EXPECT_EQ(e.number(), kErrorsInCommand);
    EXPECT_NE(e.description().find("outro"), std::string::npos) << e.description();
}

// ---- session upkeep ---------------------------------------------------------------------------------

TEST_P(ProviderTest, ResetRollsBackAnOpenTransactionAndTheSessionStaysAlive) {
    EXPECT_TRUE(s().alive());
    s().reset();  // nothing open: nothing to do

    run(s(), "BEGIN");
    run(s(), "INSERT INTO valores (id) VALUES (1)");
    s().reset();
    EXPECT_TRUE(query(s(), "SELECT id FROM valores").empty());

    // A transaction spoilt by an error (PostgreSQL refuses everything after it) is rolled back too.
    run(s(), "BEGIN");
    run(s(), "INSERT INTO valores (id) VALUES (2)");
    errorOf([&] { run(s(), "SELECT * FROM nao_existe"); });
    EXPECT_TRUE(s().alive());
    s().reset();
    EXPECT_TRUE(query(s(), "SELECT id FROM valores").empty());
    EXPECT_TRUE(s().alive());
    EXPECT_EQ(s().engine(), GetParam());
}

}  // namespace
}  // namespace orvan::data::testing
