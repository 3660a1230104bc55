// The ODBC provider on real drivers: psqlODBC on the private PostgreSQL server and the SQLite ODBC
// driver on a file. Values and their types, long and non-Latin text, rows affected, primary keys,
// base columns, the engines' errors as SQLSTATEs, the identifier procedure, the statement trace; and
// FreeTDS reporting a closed port as a connection failure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>

#include "com_server/conversions.h"
#include "data_access/odbc_targets.h"
#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::ComError;
using com::ErrorCategory;
using com::Variant;
using com::VarType;

constexpr std::int32_t kFail = -2147467259;
constexpr std::int32_t kErrorsInCommand = -2147217900;
constexpr std::int32_t kNoTable = -2147217865;
constexpr std::int32_t kIntegrity = -2147217873;
constexpr std::int32_t kParamMissing = -2147217904;

// One database reached through an ODBC driver: a schema of its own on the test server, or a file.
class OdbcProviderTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "odbc-postgresql") {
            native_ = pgConnectionString();
            ASSERT_FALSE(native_.empty()) << pgMissingMessage();
            static std::atomic<int> counter{0};
            schema_ = "o_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
            auto admin = openSession(ConnectionString::parse(native_), 10);
            run(*admin, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
            run(*admin, "CREATE SCHEMA " + schema_);
            connection_ = odbcPostgresString(native_, schema_);
        } else {
            folder_ = std::make_unique<TempFolder>();
            connection_ = odbcSqliteString((folder_->path() / "odbc.db").string());
        }
        session_ = openSession(ConnectionString::parse(connection_), 10);
    }
    void TearDown() override {
        session_.reset();
        if (schema_.empty()) return;
        try {
            auto admin = openSession(ConnectionString::parse(native_), 10);
            run(*admin, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
        } catch (const ComError& e) {
            ADD_FAILURE() << "could not drop the test schema " << schema_ << ": " << e.description();
        }
    }
    bool postgres() const { return GetParam() == "odbc-postgresql"; }
    Session& s() { return *session_; }

    std::string native_, schema_, connection_;
    std::unique_ptr<TempFolder> folder_;
    std::unique_ptr<Session> session_;
};

TEST_P(OdbcProviderTest, EngineIsTheOneTheDriverReports) {
    EXPECT_EQ(s().engine(), postgres() ? "postgresql" : "sqlite");
}

TEST_P(OdbcProviderTest, BoundValuesComeBackWithTheirAdoTypes) {
    const std::string stamp = postgres() ? "TIMESTAMP(0)" : "DATETIME";
    run(s(), "CREATE TABLE valores (id INTEGER PRIMARY KEY, pequeno SMALLINT, real_ DOUBLE PRECISION, "
             "texto VARCHAR(200), quando " + stamp + ")");
    const double when = serial(2026, 3, 6, 18, 0, 5);
    EXPECT_EQ(run(s(), "INSERT INTO valores (id, pequeno, real_, texto, quando) VALUES (?, ?, ?, ?, ?)",
                  {Variant(std::int32_t{7}), Variant(std::int16_t{-3}), Variant(2.5), Variant("Redação"),
                   Variant::date(when)}),
              1);
    EXPECT_EQ(run(s(), "INSERT INTO valores (id, pequeno, real_, texto, quando) VALUES (?, ?, ?, ?, ?)",
                  {Variant(std::int32_t{8}), Variant::null(), Variant::null(), Variant::null(), Variant::null()}),
              1);
    auto rs = s().execute("SELECT id, pequeno, real_, texto, quando FROM valores ORDER BY id", {}, 30);
    const std::vector<int> types = {adtype::Integer, adtype::SmallInt, adtype::Double, adtype::VarWChar,
                                    adtype::DBTimeStamp};
    ASSERT_EQ(rs->columns().size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(rs->columns()[i].adoType, types[i]) << i;
    EXPECT_EQ(rs->rowsAffected(), -1);
    const auto rows = readAll(*rs);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0].type(), VarType::Long);
    EXPECT_EQ(rows[0][0].rawInt(), 7);
    EXPECT_EQ(rows[0][1].type(), VarType::Integer);
    EXPECT_EQ(rows[0][1].rawInt(), -3);
    EXPECT_EQ(rows[0][2].type(), VarType::Double);
    EXPECT_EQ(rows[0][2].rawDouble(), 2.5);
    EXPECT_EQ(rows[0][3].type(), VarType::String);
    EXPECT_EQ(rows[0][3].rawString(), "Redação");
    EXPECT_EQ(rows[0][4].type(), VarType::Date);
    EXPECT_EQ(rows[0][4].rawDate(), when);
    for (std::size_t i = 1; i < rows[1].size(); ++i) EXPECT_TRUE(rows[1][i].isNull()) << i;
}

// Text longer than any chunk the provider reads at once, with characters outside Latin-1 and outside
// the Basic Multilingual Plane, comes back whole, byte for byte.
TEST_P(OdbcProviderTest, LongAndWideTextIsNeverCut) {
    run(s(), "CREATE TABLE textos (id INTEGER PRIMARY KEY, corpo TEXT)");
    std::string body;
    for (int i = 0; body.size() < 100000; ++i) body += "linha " + std::to_string(i) + " ação 日本語 😀;\n";
    run(s(), "INSERT INTO textos (id, corpo) VALUES (1, ?)", {Variant(body)});
    const auto rows = query(s(), "SELECT corpo, LENGTH(corpo) FROM textos WHERE id = ?", {Variant(std::int32_t{1})});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].rawString().size(), body.size());
    EXPECT_TRUE(rows[0][0].rawString() == body);
    // The engine counts characters, so it saw the text as it was sent (not a code page's reading).
    std::size_t characters = 0;
    for (unsigned char c : body) characters += (c & 0xC0) != 0x80;
    EXPECT_EQ(com::CLng(rows[0][1]), static_cast<std::int32_t>(characters));
}

TEST_P(OdbcProviderTest, RowsAffectedByWritesAndNoneForQueries) {
    run(s(), "CREATE TABLE t (id INTEGER PRIMARY KEY, v INTEGER)");
    EXPECT_EQ(run(s(), "INSERT INTO t (id, v) VALUES (1, 10), (2, 20), (3, 30)"), 3);
    EXPECT_EQ(run(s(), "UPDATE t SET v = v + 1 WHERE id >= ?", {Variant(std::int32_t{2})}), 2);
    EXPECT_EQ(run(s(), "UPDATE t SET v = 0 WHERE id = 99"), 0);
    EXPECT_EQ(run(s(), "DELETE FROM t WHERE v = ?", {Variant(std::int32_t{31})}), 1);
    EXPECT_EQ(s().execute("SELECT * FROM t WHERE id = 99", {}, 30)->rowsAffected(), -1);
    EXPECT_EQ(query(s(), "SELECT v FROM t ORDER BY id")[1][0].rawInt(), 21);
}

TEST_P(OdbcProviderTest, PrimaryKeysInKeyOrderWhateverTheCaseOfTheName) {
    run(s(), "CREATE TABLE itens (pedido INTEGER, linha INTEGER, x INTEGER, PRIMARY KEY (linha, pedido))");
    run(s(), "CREATE TABLE sem_chave (x INTEGER)");
    EXPECT_EQ(s().primaryKey("itens"), (std::vector<std::string>{"linha", "pedido"}));
    EXPECT_EQ(s().primaryKey("ITENS"), (std::vector<std::string>{"linha", "pedido"}));
    EXPECT_TRUE(s().primaryKey("sem_chave").empty());
    EXPECT_TRUE(s().primaryKey("nao_existe").empty());
}

TEST_P(OdbcProviderTest, ColumnsNameTheirBaseTableAndColumn) {
    run(s(), "CREATE TABLE pessoa (oid INTEGER PRIMARY KEY, nome VARCHAR(60))");
    run(s(), "INSERT INTO pessoa (oid, nome) VALUES (1, 'Ana')");
    auto rs = s().execute("SELECT p.nome AS apelido, p.oid, 1 + 1 AS dois FROM pessoa p", {}, 30);
    const auto& c = rs->columns();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].name, "apelido");
    EXPECT_EQ(c[0].baseTable, "pessoa");
    // The SQLite ODBC driver reports a column's label as its base column name, so only psqlODBC
    // can tell an aliased column's base column.
    if (postgres()) {
        EXPECT_EQ(c[0].baseColumn, "nome");
    }
    EXPECT_EQ(c[1].baseTable, "pessoa");
    EXPECT_EQ(c[1].baseColumn, "oid");
    EXPECT_EQ(c[2].name, "dois");
    EXPECT_TRUE(c[2].baseTable.empty());
}

TEST_P(OdbcProviderTest, EngineErrorsKeepTheirKindAndMessage) {
    run(s(), "CREATE TABLE u (id INTEGER PRIMARY KEY)");
    run(s(), "INSERT INTO u (id) VALUES (1)");
    struct Case {
        const char* sql;
        std::int32_t number;
        ErrorCategory category;
        const char* words;  // in the engine's message
    };
    const Case cases[] = {
        {"SELECT * FROM nao_existe", kNoTable, ErrorCategory::UndefinedObject, "nao_existe"},
        {"INSERT INTO u (id) VALUES (1)", kIntegrity, ErrorCategory::Constraint, ""},
        {"SELEC 1", kErrorsInCommand, ErrorCategory::Other, "syntax error"},
    };
    for (const Case& c : cases) {
        const ComError e = errorOf([&] { s().execute(c.sql, {}, 30); });
        EXPECT_EQ(e.number(), c.number) << c.sql << ": " << e.description() << " " << e.sqlState();
        EXPECT_EQ(e.category(), c.category) << c.sql << ": " << e.sqlState();
        EXPECT_NE(e.description().find(c.words), std::string::npos) << e.description();
        EXPECT_EQ(e.description().find("[unixODBC]"), std::string::npos) << e.description();
        EXPECT_EQ(e.statement(), c.sql);
    }
    EXPECT_EQ(errorOf([&] { s().execute("SELECT * FROM u WHERE id = ?", {}, 30); }).number(), kParamMissing);
    EXPECT_EQ(errorOf([&] {
                  run(s(), "SELECT * FROM u WHERE id = 1", {Variant(std::int32_t{1})});
              }).number(),
              kErrorsInCommand);
    // After the errors the session still works.
    EXPECT_EQ(query(s(), "SELECT COUNT(*) FROM u").size(), 1u);
}

// The identifier procedure as the reference schema defines it on each engine, called as Gerar_Oid
// calls it: one output parameter.
TEST_P(OdbcProviderTest, IdentifierProcedureHandsOutIncreasingNumbers) {
    if (postgres()) {
        run(s(), "CREATE SEQUENCE oid_seq START WITH 100000");
        run(s(), "CREATE FUNCTION atualoid(OUT novooid integer) AS $$ SELECT nextval('oid_seq')::integer $$ "
                 "LANGUAGE sql");
    } else {
        run(s(), "CREATE TABLE oidcounter (id INTEGER PRIMARY KEY, valor INTEGER NOT NULL)");
        run(s(), "INSERT INTO oidcounter (id, valor) VALUES (1, 99999)");
        run(s(), "CREATE TABLE sys_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)");
        run(s(), "INSERT INTO sys_procedures (name, body) VALUES ('atualoid', "
                 "'UPDATE oidcounter SET valor = valor + 1 WHERE id = 1 RETURNING valor AS novooid')");
    }
    for (std::int32_t expected : {100000, 100001}) {
        ProcedureParam out{"novooid", 2, adtype::Integer, Variant::null()};
        s().callProcedure("AtualOid", std::span(&out, 1), 30);
        EXPECT_EQ(out.value.type(), VarType::Long);
        EXPECT_EQ(out.value.rawInt(), expected);
    }
    const ComError e = errorOf([&] { s().callProcedure("nao_existe", {}, 30); });
    EXPECT_NE(e.description().find("nao_existe"), std::string::npos) << e.description();
    EXPECT_EQ(errorOf([&] { s().callProcedure("x(1); DROP TABLE y; --", {}, 30); }).number(), kErrorsInCommand);
}

TEST_P(OdbcProviderTest, TraceShowsTheStatementSentAndTheRepairedOneRun) {
    run(s(), "CREATE TABLE t (id INTEGER)");
    StatementLog log;
    query(s(), "SELECT id FROM t WHERE id = 123AND id = ?", {Variant(std::int32_t{1})});
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].sent, "SELECT id FROM t WHERE id = 123AND id = ?");
    EXPECT_EQ(log.entries[0].ran, "SELECT id FROM t WHERE id = 123 AND id = ?");
}

TEST_P(OdbcProviderTest, SessionAnswersAndResets) {
    EXPECT_TRUE(s().alive());
    s().reset();
    EXPECT_EQ(query(s(), "SELECT 1").size(), 1u);
}

std::string driverName(const ::testing::TestParamInfo<std::string>& p) {
    return p.param == "odbc-postgresql" ? "psqlODBC" : "SQLite";
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcProviderTest, ::testing::Values("odbc-postgresql", "odbc-sqlite"), driverName);

// A command timeout on psqlODBC stops the statement with the timeout error, and the next statement
// without a limit runs to its end.
TEST(OdbcTimeout, PsqlOdbcStatementPastItsTimeoutIsCancelled) {
    const std::string native = pgConnectionString();
    ASSERT_FALSE(native.empty()) << pgMissingMessage();
    auto s = openSession(ConnectionString::parse(odbcPostgresString(native)), 10);
    const ComError e = errorOf([&] { query(*s, "SELECT pg_sleep(30)", {}, 1); });
    EXPECT_EQ(e.number(), -2147217871) << e.description();
    EXPECT_EQ(e.category(), ErrorCategory::Cancelled) << e.sqlState();
    EXPECT_EQ(query(*s, "SELECT pg_sleep(1.5), 7", {}, 0).at(0).at(1).rawInt(), 7);
    EXPECT_EQ(query(*s, "SELECT current_setting('statement_timeout')", {}, 5).at(0).at(0).rawString(), "5s");
}

// FreeTDS against a port nothing listens on: a connection failure naming the target, not a hang.
TEST(OdbcConnect, ClosedPortIsAConnectionFailure) {
    const ComError e = errorOf([] {
        openSession(ConnectionString::parse("Provider=SQLOLEDB;Data Source=127.0.0.1,1;Initial Catalog=agenda;"
                                            "User ID=web;Password=segredo"),
                    3);
    });
    EXPECT_EQ(e.number(), kFail) << e.description();
    EXPECT_EQ(e.category(), ErrorCategory::ConnectionFailed) << e.sqlState() << " " << e.description();
    EXPECT_NE(e.description().find("SERVER=127.0.0.1;PORT=1"), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find("segredo"), std::string::npos) << e.description();
}

TEST(OdbcConnect, UnknownDriverIsAConnectionFailureNamingIt) {
    const ComError e = errorOf([] { openSession(ConnectionString::parse("Driver={Nao Existe};Database=x"), 3); });
    EXPECT_EQ(e.number(), kFail);
    EXPECT_EQ(e.category(), ErrorCategory::ConnectionFailed) << e.sqlState();
    EXPECT_NE(e.description().find("Nao Existe"), std::string::npos) << e.description();
}

}  // namespace
}  // namespace orvan::data::testing
