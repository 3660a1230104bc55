// What a session keeps between statements, on both engines: table descriptions and primary keys read
// once and dropped when a table changes, prepared statements reused, procedure bodies read once, the
// data layer's own statements in the trace, and a lost PostgreSQL connection opened anew once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <thread>

#include "com_server/conversions.h"
#include "data_access/pool.h"
#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::Variant;

// Every traced text, the data layer's own included.
class FullTrace {
public:
    FullTrace() { addStatementObserver(&FullTrace::record, this); }
    ~FullTrace() { removeStatementObserver(&FullTrace::record, this); }
    FullTrace(const FullTrace&) = delete;
    FullTrace& operator=(const FullTrace&) = delete;
    // How many traced texts equal text.
    std::size_t count(std::string_view text) const { return std::count(sent.begin(), sent.end(), text); }
    // How many probes a pool sent: a round trip on PostgreSQL, a read of the schema version on SQLite.
    std::size_t probes() const { return count("-- internal SELECT 1") + count("-- internal PRAGMA schema_version"); }
    std::vector<std::string> sent;

private:
    static void record(void* self, std::string_view text, std::string_view) {
        static_cast<FullTrace*>(self)->sent.emplace_back(text);
    }
};

// Calls the procedure name on s and gives its output parameter output as a whole number.
std::int32_t callForNumber(Session& s, const char* name, const char* output) {
    ProcedureParam p{output, 2, adtype::Integer, Variant()};
    s.callProcedure(name, std::span<ProcedureParam>(&p, 1), 30);
    return com::CLng(p.value);
}

// The column names, lower-cased (PostgreSQL folds unquoted names, SQLite keeps them as written).
std::vector<std::string> names(const std::vector<ColumnInfo>& columns) {
    std::vector<std::string> out;
    for (const auto& c : columns) {
        std::string n = c.name;
        for (char& ch : n) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        out.push_back(std::move(n));
    }
    return out;
}

class SessionUpkeepTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
        db_ = std::make_unique<TestDatabase>(GetParam());
        s_ = db_->open();
        run(*s_, "CREATE TABLE pedido (id INTEGER PRIMARY KEY, nome VARCHAR(20))");
    }
    Session& s() { return *s_; }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<Session> s_;
};

std::string engineName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}
INSTANTIATE_TEST_SUITE_P(Engines, SessionUpkeepTest, ::testing::Values("sqlite", "postgresql"), engineName);

TEST_P(SessionUpkeepTest, TableColumnsAndKeysAreReadOnceAndKeyLookUpsTracedAsInternal) {
    FullTrace trace;
    EXPECT_EQ(names(s().tableColumns("pedido", 30)), (std::vector<std::string>{"id", "nome"}));
    EXPECT_EQ(names(s().tableColumns("pedido", 30)), (std::vector<std::string>{"id", "nome"}));
    EXPECT_EQ(s().cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    EXPECT_EQ(s().cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    EXPECT_EQ(trace.count("SELECT * FROM pedido WHERE 1=0"), 1u);
    const auto keyLookups = std::count_if(trace.sent.begin(), trace.sent.end(), [](const std::string& t) {
        return t.find("pragma_table_info") != std::string::npos || t.find("pg_index") != std::string::npos;
    });
    EXPECT_EQ(keyLookups, 1);
    // Beside the probe, nothing the data layer sent on its own reaches the trace untagged.
    for (const auto& t : trace.sent)
        if (t != "SELECT * FROM pedido WHERE 1=0") {
            EXPECT_TRUE(isInternalStatement(t)) << t;
        }
}

TEST_P(SessionUpkeepTest, ASchemaChangeDropsTheKeptDescriptions) {
    EXPECT_EQ(names(s().tableColumns("pedido", 30)).size(), 2u);
    EXPECT_EQ(s().cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    // Through the same session.
    run(s(), "ALTER TABLE pedido ADD COLUMN valor INTEGER");
    EXPECT_EQ(names(s().tableColumns("pedido", 30)), (std::vector<std::string>{"id", "nome", "valor"}));
    // A table dropped and made again with another key, through the same session.
    run(s(), "DROP TABLE pedido");
    run(s(), "CREATE TABLE pedido (codigo INTEGER PRIMARY KEY, nome VARCHAR(20))");
    EXPECT_EQ(s().cachedPrimaryKey("pedido"), (std::vector<std::string>{"codigo"}));
    EXPECT_EQ(names(s().tableColumns("pedido", 30)), (std::vector<std::string>{"codigo", "nome"}));
}

TEST_P(SessionUpkeepTest, AStatementThatFindsNoSuchColumnDropsTheKeptDescriptions) {
    EXPECT_EQ(names(s().tableColumns("pedido", 30)).size(), 2u);
    // Another session changes the table; this one learns of it when a statement names what is gone
    // (SQLite already by its schema version).
    auto other = db_->open();
    run(*other, "ALTER TABLE pedido RENAME COLUMN nome TO titulo");
    EXPECT_THROW(run(s(), "INSERT INTO pedido (id, nome) VALUES (1, 'a')"), com::ComError);
    EXPECT_EQ(names(s().tableColumns("pedido", 30)), (std::vector<std::string>{"id", "titulo"}));
}

TEST_P(SessionUpkeepTest, AStatementRunAgainKeepsItsParametersBoundAndItsRowsApart) {
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(run(s(), "INSERT INTO pedido (id, nome) VALUES (?, ?)", {Variant(i), Variant("n" + std::to_string(i))}), 1);
    // The same text read twice at once: each result set keeps its own rows.
    auto first = s().execute("SELECT nome FROM pedido WHERE id >= ? ORDER BY id", std::vector<Variant>{Variant(2)}, 30);
    auto second = s().execute("SELECT nome FROM pedido WHERE id >= ? ORDER BY id", std::vector<Variant>{Variant(1)}, 30);
    std::vector<Variant> row;
    ASSERT_TRUE(second->next(row));
    EXPECT_EQ(row[0].rawString(), "n1");
    ASSERT_TRUE(first->next(row));
    EXPECT_EQ(row[0].rawString(), "n2");
    first.reset();
    second.reset();
    // An apostrophe in a value stays a value.
    EXPECT_EQ(query(s(), "SELECT count(*) FROM pedido WHERE nome = ?", {Variant("x' OR '1'='1")})[0][0].rawInt(), 0);
    EXPECT_EQ(query(s(), "SELECT count(*) FROM pedido WHERE nome = ?", {Variant("n3")})[0][0].rawInt(), 1);
}

TEST_P(SessionUpkeepTest, APreparedSelectOfEveryColumnFollowsTheTableItReads) {
    run(s(), "INSERT INTO pedido (id, nome) VALUES (1, 'a')");
    EXPECT_EQ(query(s(), "SELECT * FROM pedido").at(0).size(), 2u);
    run(s(), "ALTER TABLE pedido ADD COLUMN valor INTEGER");
    EXPECT_EQ(query(s(), "SELECT * FROM pedido").at(0).size(), 3u);
}

// A page's objects hold two sessions and do their work on one: whichever goes back to the pool last,
// the one that worked is the one handed out first, so that its caches stay warm.
TEST_P(SessionUpkeepTest, ThePoolHandsOutTheSessionThatWorkedLastFirst) {
    auto& pool = SessionPool::instance();
    pool.clear();
    const auto cs = ConnectionString::parse(db_->connectionString());
    for (bool workerFirst : {true, false}) {
        auto worker = pool.acquire(cs, 15);
        auto idle = pool.acquire(cs, 15);
        query(*worker, "SELECT 1");
        const Session* const worked = worker.get();
        const Session* const rested = idle.get();
        if (workerFirst) {
            pool.release(cs.text, std::move(worker));
            pool.release(cs.text, std::move(idle));
        } else {
            pool.release(cs.text, std::move(idle));
            pool.release(cs.text, std::move(worker));
        }
        auto first = pool.acquire(cs, 15);
        auto second = pool.acquire(cs, 15);
        EXPECT_EQ(first.get(), worked) << "worker released first: " << workerFirst;
        EXPECT_EQ(second.get(), rested);
        pool.release(cs.text, std::move(second));
        pool.release(cs.text, std::move(first));
        pool.clear();
    }
}

TEST_P(SessionUpkeepTest, AnAnsweredProbeCountsAsUseForTheTrustWindow) {
    auto& pool = SessionPool::instance();
    pool.clear();
    const auto cs = ConnectionString::parse(db_->connectionString());
    pool.release(cs.text, pool.acquire(cs, 15));  // new: nothing has run on it
    FullTrace trace;
    pool.setTrustWindow(std::chrono::seconds(0));
    pool.release(cs.text, pool.acquire(cs, 15));
    EXPECT_EQ(trace.probes(), 1u);
    // Only a refused text ran on it since the probe answered.
    pool.setTrustWindow(std::chrono::seconds(3600));
    auto s = pool.acquire(cs, 15);
    EXPECT_THROW(run(*s, "SET LANGUAGE PORTUGUESE"), com::ComError);
    pool.release(cs.text, std::move(s));
    pool.release(cs.text, pool.acquire(cs, 15));
    EXPECT_EQ(trace.probes(), 1u);
    pool.setTrustWindow(SessionPool::kDefaultTrustWindow);
    pool.clear();
}

// ---- texts the engine cannot read -------------------------------------------------------------------

TEST_P(SessionUpkeepTest, ATextTheEngineCannotReadIsRefusedAlikeEachTimeAndTraced) {
    FullTrace trace;
    const std::string text = "SET LANGUAGE PORTUGUESE";
    const com::ComError first = errorOf([&] { run(s(), text); });
    const com::ComError second = errorOf([&] { run(s(), text); });
    EXPECT_EQ(first.sqlState(), "42601");
    EXPECT_EQ(second.number(), first.number());
    EXPECT_EQ(second.description(), first.description());
    EXPECT_EQ(second.sqlState(), first.sqlState());
    EXPECT_EQ(second.statement(), text);
    EXPECT_EQ(trace.count(text), 2u);
    // The session goes on as before.
    EXPECT_EQ(query(s(), "SELECT count(*) FROM pedido")[0][0].rawInt(), 0);
}

TEST_P(SessionUpkeepTest, AStatementRefusedForWhatTheDatabaseHoldsIsSentAgain) {
    EXPECT_THROW(run(s(), "INSERT INTO tarde (id) VALUES (1)"), com::ComError);
    auto other = db_->open();
    run(*other, "CREATE TABLE tarde (id INTEGER PRIMARY KEY)");
    EXPECT_EQ(run(s(), "INSERT INTO tarde (id) VALUES (1)"), 1);
}

TEST(PostgresRefusals, InsideATransactionARefusedTextIsSentAndEndsTheTransactionAsBefore) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    TestDatabase db("postgresql");
    auto s = db.open();
    const std::string text = "ALTER SESSION SET NLS_DATE_FORMAT = 'YYYY MM DD HH24:MI:SS'";
    EXPECT_EQ(errorOf([&] { run(*s, text); }).sqlState(), "42601");
    run(*s, "BEGIN");
    EXPECT_EQ(errorOf([&] { run(*s, text); }).sqlState(), "42601");
    // current_transaction_is_aborted: the server saw the refusal.
    EXPECT_EQ(errorOf([&] { query(*s, "SELECT 1"); }).sqlState(), "25P02");
    run(*s, "ROLLBACK");
    EXPECT_EQ(query(*s, "SELECT 7")[0][0].rawInt(), 7);
}

TEST(PostgresPrepared, ATextMetOnceIsNotKeptAndOneMetAgainIs) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    TestDatabase db("postgresql");
    auto s = db.open();
    auto kept = [&](const std::string& text) {
        return query(*s, "SELECT count(*) FROM pg_prepared_statements WHERE statement = ?", {Variant(text)})[0][0]
            .rawInt();
    };
    FullTrace trace;
    // Texts that hold a literal that changes each time, far more than a session keeps prepared.
    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(query(*s, "SELECT " + std::to_string(i) + " + 1")[0][0].rawInt(), i + 1);
    EXPECT_EQ(kept("SELECT 299 + 1"), 0);
    for (const auto& t : trace.sent) EXPECT_FALSE(t.starts_with("-- internal DEALLOCATE")) << t;
    // Met again soon after: prepared and kept, once.
    EXPECT_EQ(query(*s, "SELECT 299 + 1")[0][0].rawInt(), 300);
    EXPECT_EQ(kept("SELECT 299 + 1"), 1);
    EXPECT_EQ(query(*s, "SELECT 299 + 1")[0][0].rawInt(), 300);
    EXPECT_EQ(kept("SELECT 299 + 1"), 1);
}

// ---- SQLite: another connection on the same file -----------------------------------------------------

// Two sessions on one SQLite file: s keeps what it learns, other changes the database behind its back.
class SqliteOtherConnection : public ::testing::Test {
protected:
    TestDatabase db{"sqlite"};
    std::unique_ptr<Session> s = db.open();
    std::unique_ptr<Session> other = db.open();
};

// What the session knows of the others' changes is as of its last read of the database: the first
// statement it runs after a change, whatever it reads, makes it describe the tables afresh.
TEST_F(SqliteOtherConnection, ATableChangedByAnotherConnectionIsDescribedAfreshOnceTheSessionReadsAgain) {
    run(*s, "CREATE TABLE pedido (id INTEGER PRIMARY KEY, nome VARCHAR(20))");
    run(*s, "CREATE TABLE outra (n INTEGER)");
    EXPECT_EQ(names(s->tableColumns("pedido", 30)), (std::vector<std::string>{"id", "nome"}));
    EXPECT_EQ(s->cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    run(*other, "ALTER TABLE pedido ADD COLUMN valor INTEGER");
    query(*s, "SELECT count(*) FROM outra");
    EXPECT_EQ(names(s->tableColumns("pedido", 30)), (std::vector<std::string>{"id", "nome", "valor"}));
    run(*other, "DROP TABLE pedido");
    run(*other, "CREATE TABLE pedido (codigo INTEGER, linha INTEGER, PRIMARY KEY (linha, codigo))");
    run(*s, "INSERT INTO outra VALUES (1)");
    EXPECT_EQ(s->cachedPrimaryKey("pedido"), (std::vector<std::string>{"linha", "codigo"}));
}

TEST_F(SqliteOtherConnection, DescriptionsAreUsedWithoutAnyLookUpWhileNoOtherConnectionChangesTheDatabase) {
    run(*s, "CREATE TABLE pedido (id INTEGER PRIMARY KEY, nome VARCHAR(20))");
    EXPECT_EQ(s->cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    FullTrace trace;
    for (int i = 1; i <= 3; ++i) {
        run(*s, "INSERT INTO pedido VALUES (?, 'x')", {Variant(i)});
        EXPECT_EQ(names(s->tableColumns("pedido", 30)), (std::vector<std::string>{"id", "nome"}));
        EXPECT_EQ(s->cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    }
    EXPECT_EQ(trace.sent.size(), 4u);  // the three inserts and the column probe, read once
    // A write by another connection, to any table, is a change this session checks the schema for once.
    run(*other, "INSERT INTO pedido VALUES (10, 'y')");
    query(*s, "SELECT count(*) FROM pedido");
    EXPECT_EQ(s->cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    EXPECT_EQ(s->cachedPrimaryKey("pedido"), (std::vector<std::string>{"id"}));
    EXPECT_EQ(trace.count("-- internal PRAGMA schema_version"), 1u);
}

TEST_F(SqliteOtherConnection, AStatementKeptPreparedDescribesTheColumnsTheTableHasNow) {
    run(*s, "CREATE TABLE pedido (id INTEGER PRIMARY KEY, nome VARCHAR(20))");
    run(*s, "INSERT INTO pedido VALUES (1, 'a')");
    auto describe = [&] {
        auto rs = s->execute("SELECT * FROM pedido", {}, 30);
        std::vector<std::pair<std::string, int>> out;
        for (const auto& c : rs->columns()) out.emplace_back(c.name, c.adoType);
        return out;
    };
    using Described = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(describe(), (Described{{"id", adtype::Integer}, {"nome", adtype::VarWChar}}));
    EXPECT_EQ(describe(), (Described{{"id", adtype::Integer}, {"nome", adtype::VarWChar}}));
    run(*other, "ALTER TABLE pedido ADD COLUMN quando DATETIME");
    EXPECT_EQ(describe(),
              (Described{{"id", adtype::Integer}, {"nome", adtype::VarWChar}, {"quando", adtype::DBTimeStamp}}));
    // A computed column takes its type from the value of the row read, each time.
    auto text = s->execute("SELECT ? AS v", std::vector<Variant>{Variant("x")}, 30);
    EXPECT_EQ(text->columns().at(0).adoType, adtype::VarWChar);
    text.reset();
    auto number = s->execute("SELECT ? AS v", std::vector<Variant>{Variant(std::int32_t{5})}, 30);
    EXPECT_EQ(number->columns().at(0).adoType, adtype::Integer);
}

TEST_F(SqliteOtherConnection, WritesElsewhereKeepAProcedureBodyAndAChangeToItIsSeen) {
    run(*s, "CREATE TABLE sys_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)");
    run(*s, "CREATE TABLE registro (n INTEGER)");
    run(*s, "INSERT INTO sys_procedures VALUES ('numero', 'SELECT 1 AS n')");
    auto call = [&] { return callForNumber(*s, "NUMERO", "n"); };
    const std::string read = "-- internal SELECT body FROM sys_procedures WHERE name = ?1 COLLATE NOCASE";
    const std::string check = "-- internal SELECT body = ?2 COLLATE BINARY FROM sys_procedures WHERE name = ?1 COLLATE NOCASE";
    // The session reads the database (as the statements of a call before its procedure do), so
    // that it sees what the other connection did.
    auto look = [&] { query(*s, "SELECT count(*) FROM registro"); };
    FullTrace trace;
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(trace.count(check), 0u);  // nobody else wrote: the body kept is used as it is
    for (int i = 0; i < 3; ++i) {
        run(*other, "INSERT INTO registro VALUES (?)", {Variant(i)});
        look();
        EXPECT_EQ(call(), 1);
    }
    EXPECT_EQ(trace.count(read), 1u);
    EXPECT_EQ(trace.count(check), 3u);
    // A change of letter case only is a change.
    run(*other, "UPDATE sys_procedures SET body = 'select 1 AS n'");
    look();
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(trace.count(read), 2u);
    run(*other, "UPDATE sys_procedures SET body = 'SELECT 2 AS n'");
    look();
    EXPECT_EQ(call(), 2);
    run(*other, "DELETE FROM sys_procedures");
    look();
    EXPECT_NE(errorOf([&] { call(); }).description().find("no such procedure"), std::string::npos);
    run(*other, "DROP TABLE sys_procedures");
    look();
    EXPECT_NE(errorOf([&] { call(); }).description().find("no such procedure"), std::string::npos);
}

// A session taken back from the pool after its trust window has read the database, and so knows what
// others changed while it was idle.
TEST(SqlitePool, ASessionProbedOnItsWayOutOfThePoolSeesAProcedureChangedWhileItWasIdle) {
    TestDatabase db("sqlite");
    auto& pool = SessionPool::instance();
    pool.clear();
    const auto cs = ConnectionString::parse(db.connectionString());
    auto s = pool.acquire(cs, 15);
    run(*s, "CREATE TABLE sys_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)");
    run(*s, "INSERT INTO sys_procedures VALUES ('numero', 'SELECT 1 AS n')");
    auto call = [](Session& on) { return callForNumber(on, "numero", "n"); };
    EXPECT_EQ(call(*s), 1);
    pool.release(cs.text, std::move(s));
    auto other = db.open();
    run(*other, "UPDATE sys_procedures SET body = 'SELECT 2 AS n'");
    pool.setTrustWindow(std::chrono::seconds(0));
    s = pool.acquire(cs, 15);
    EXPECT_EQ(call(*s), 2);
    pool.release(cs.text, std::move(s));
    pool.setTrustWindow(SessionPool::kDefaultTrustWindow);
    pool.clear();
}

TEST(SqliteProcedureBodies, ABodyThatReadsThenWritesTakesTheWriteLockFirstAndKeepsItsOutcomeAsBefore) {
    TestDatabase db("sqlite");
    auto s = db.open();
    run(*s, "CREATE TABLE sys_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)");
    run(*s, "CREATE TABLE contador (n INTEGER NOT NULL)");
    run(*s, "INSERT INTO contador VALUES (0)");
    run(*s, "CREATE TABLE unico (id INTEGER PRIMARY KEY)");
    run(*s, "INSERT INTO sys_procedures VALUES ('proximo', "
            "'SELECT n FROM contador; UPDATE contador SET n = n + 1 RETURNING n AS novo')");
    run(*s, "INSERT INTO sys_procedures VALUES ('marcar', "
            "'SELECT count(*) FROM unico; INSERT INTO unico VALUES (1) RETURNING id AS novo')");
    run(*s, "INSERT INTO sys_procedures VALUES ('sozinho', 'UPDATE contador SET n = n + 0 RETURNING n AS novo')");
    auto call = [&](const char* name, const char* output = "novo") { return callForNumber(*s, name, output); };
    FullTrace trace;
    EXPECT_EQ(call("proximo"), 1);
    EXPECT_EQ(call("proximo"), 2);
    EXPECT_EQ(trace.count("-- internal BEGIN IMMEDIATE"), 1u);
    EXPECT_EQ(trace.count("-- internal COMMIT"), 1u);
    // An output the body does not return is an error, but what the body wrote stays written.
    EXPECT_THROW(call("proximo", "outro"), com::ComError);
    EXPECT_EQ(query(*s, "SELECT n FROM contador")[0][0].rawInt(), 3);
    // A body that fails writes nothing and leaves no transaction open.
    EXPECT_EQ(call("marcar"), 1);
    EXPECT_EQ(errorOf([&] { call("marcar"); }).sqlState(), "23505");
    EXPECT_EQ(query(*s, "SELECT count(*) FROM unico")[0][0].rawInt(), 1);
    run(*s, "BEGIN");
    // Inside the caller's transaction the body is one more statement of it.
    EXPECT_EQ(call("proximo"), 4);
    run(*s, "ROLLBACK");
    EXPECT_EQ(trace.count("-- internal BEGIN IMMEDIATE"), 3u);
    EXPECT_EQ(query(*s, "SELECT n FROM contador")[0][0].rawInt(), 3);
    // A body of one statement takes its locks itself.
    EXPECT_EQ(call("sozinho"), 3);
    EXPECT_EQ(call("sozinho"), 3);
    EXPECT_EQ(trace.count("-- internal BEGIN IMMEDIATE"), 3u);
}

TEST(SqliteProcedureBodies, AWritingBodyOfOneStatementTakesTheWriteLockFirstWhileOthersKeepTheSessionWaiting) {
    TestDatabase db("sqlite");
    auto s = db.open();
    auto other = db.open();
    run(*s, "CREATE TABLE sys_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)");
    run(*s, "CREATE TABLE contador (n INTEGER NOT NULL)");
    run(*s, "INSERT INTO contador VALUES (0)");
    run(*s, "INSERT INTO sys_procedures VALUES ('proximo', 'UPDATE contador SET n = n + 1 RETURNING n AS novo')");
    auto call = [&] { return callForNumber(*s, "proximo", "novo"); };
    FullTrace trace;
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(call(), 2);
    EXPECT_EQ(trace.count("-- internal BEGIN IMMEDIATE"), 0u);
    // Another connection holds the write lock; the call waits for it, and the calls right after take
    // the lock first.
    run(*other, "BEGIN IMMEDIATE");
    run(*other, "UPDATE contador SET n = n + 10");
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        run(*other, "COMMIT");
    });
    EXPECT_EQ(call(), 13);
    releaser.join();
    EXPECT_EQ(call(), 14);
    EXPECT_EQ(trace.count("-- internal BEGIN IMMEDIATE"), 1u);
    EXPECT_EQ(query(*other, "SELECT n FROM contador")[0][0].rawInt(), 14);
}

// ---- SQLite: procedure bodies ----------------------------------------------------------------------

TEST(SqliteProcedureBodies, AChangedBodyIsSeenWhoeverChangedIt) {
    TestDatabase db("sqlite");
    auto s = db.open();
    run(*s, "CREATE TABLE sys_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)");
    run(*s, "INSERT INTO sys_procedures VALUES ('numero', 'SELECT 1 AS n')");
    auto call = [&] { return callForNumber(*s, "numero", "n"); };
    FullTrace trace;
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(trace.count("-- internal SELECT body FROM sys_procedures WHERE name = ?1 COLLATE NOCASE"), 1u);
    // Changed through this session.
    run(*s, "UPDATE sys_procedures SET body = 'SELECT 2 AS n'");
    EXPECT_EQ(call(), 2);
    // Changed through another session, and seen from this one's next read of the database.
    auto other = db.open();
    run(*other, "UPDATE sys_procedures SET body = 'SELECT 3 AS n'");
    query(*s, "SELECT count(*) FROM sys_procedures");
    EXPECT_EQ(call(), 3);
    // A single-statement body runs without a savepoint; one of several statements keeps it.
    EXPECT_EQ(trace.count("-- internal SAVEPOINT orvan_procedure"), 0u);
    run(*s, "UPDATE sys_procedures SET body = 'SELECT 4 AS x; SELECT 5 AS n'");
    EXPECT_EQ(call(), 5);
    EXPECT_EQ(trace.count("-- internal SAVEPOINT orvan_procedure"), 1u);
}

// ---- PostgreSQL: a connection lost while the session was idle ------------------------------------

bool backendGone(Session& watcher, std::int32_t pid) {
    for (int i = 0; i < 200; ++i) {
        if (query(watcher, "SELECT count(*) FROM pg_stat_activity WHERE pid = ?", {Variant(pid)})[0][0].rawInt() == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(PostgresReopen, AnArmedSessionOpensItsConnectionAnewOnceAndSendsTheStatementAgain) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    TestDatabase db("postgresql");
    auto s = db.open();
    auto watcher = db.open();
    const Variant pid = query(*s, "SELECT pg_backend_pid()")[0][0];
    run(*watcher, "SELECT pg_terminate_backend(?)", {pid});
    ASSERT_TRUE(backendGone(*watcher, com::CLng(pid)));
    int reopened = 0;
    s->armReopen([&] { ++reopened; });
    const Variant after = query(*s, "SELECT pg_backend_pid()")[0][0];
    EXPECT_EQ(reopened, 1);
    EXPECT_NE(after.rawInt(), pid.rawInt());
    // Unarmed (not fresh from a pool), a lost connection is reported, never hidden.
    run(*watcher, "SELECT pg_terminate_backend(?)", {after});
    ASSERT_TRUE(backendGone(*watcher, com::CLng(after)));
    EXPECT_EQ(errorOf([&] { query(*s, "SELECT 1"); }).number(), static_cast<std::int32_t>(0x80004005u));
    EXPECT_EQ(reopened, 1);
}

TEST(PostgresReopen, APooledSessionKilledWhileIdleStillServesTheNextCall) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    TestDatabase db("postgresql");
    auto& pool = SessionPool::instance();
    pool.clear();
    pool.setTrustWindow(SessionPool::kSuggestedTrustWindow);
    const auto cs = ConnectionString::parse(db.connectionString());
    auto watcher = db.open();
    auto s = pool.acquire(cs, 15);
    const Variant pid = query(*s, "SELECT pg_backend_pid()")[0][0];
    pool.release(cs.text, std::move(s));
    run(*watcher, "SELECT pg_terminate_backend(?)", {pid});
    ASSERT_TRUE(backendGone(*watcher, com::CLng(pid)));
    const auto opened = pool.sessionsOpened();
    auto again = pool.acquire(cs, 15);
    EXPECT_NE(query(*again, "SELECT pg_backend_pid()")[0][0].rawInt(), pid.rawInt());
    EXPECT_EQ(pool.sessionsOpened(), opened + 1);
    pool.release(cs.text, std::move(again));
    pool.setTrustWindow(SessionPool::kDefaultTrustWindow);
    pool.clear();
}

// A session handed out unprobed (used moments ago) whose server process was ended meanwhile is opened
// anew by the first work that reaches the server, whichever kind that is, and never reports the loss.
TEST(PostgresReopen, AnArmedSessionIsReplacedByItsFirstWorkOfAnyKind) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    TestDatabase db("postgresql");
    auto watcher = db.open();
    run(*watcher, "CREATE TABLE pedido (id INTEGER PRIMARY KEY)");
    run(*watcher, "CREATE FUNCTION dobro(x integer, OUT resultado integer) AS 'SELECT x * 2' LANGUAGE sql");
    const std::vector<std::function<void(Session&)>> firstWork = {
        [](Session& s) {
            std::vector<ProcedureParam> params{{"x", 1, adtype::Integer, Variant(std::int32_t{21})},
                                               {"resultado", 2, adtype::Integer, Variant()}};
            s.callProcedure("dobro", params, 30);
            EXPECT_EQ(com::CLng(params[1].value), 42);
        },
        [](Session& s) { EXPECT_EQ(s.primaryKey("pedido"), (std::vector<std::string>{"id"})); },
        [](Session& s) { EXPECT_EQ(names(s.tableColumns("pedido", 30)), (std::vector<std::string>{"id"})); },
        // A text the server refused before is refused the same way, and the statement after it works.
        [](Session& s) {
            EXPECT_EQ(errorOf([&] { run(s, "SET LANGUAGE PORTUGUESE"); }).sqlState(), "42601");
            EXPECT_EQ(query(s, "SELECT 3")[0][0].rawInt(), 3);
        },
    };
    // The schema named in the connection string, so that the connection opened anew finds it too.
    const std::string schema = query(*watcher, "SELECT current_schema()")[0][0].rawString();
    const auto cs = ConnectionString::parse(db.connectionString() + ";Search Path=" + schema);
    for (std::size_t k = 0; k < firstWork.size(); ++k) {
        SCOPED_TRACE(k);
        auto s = openSession(cs, 15);
        EXPECT_THROW(run(*s, "SET LANGUAGE PORTUGUESE"), com::ComError);
        const Variant pid = query(*s, "SELECT pg_backend_pid()")[0][0];
        run(*watcher, "SELECT pg_terminate_backend(?)", {pid});
        ASSERT_TRUE(backendGone(*watcher, com::CLng(pid)));
        int reopened = 0;
        s->armReopen([&] { ++reopened; });
        firstWork[k](*s);
        EXPECT_EQ(reopened, 1);
        EXPECT_NE(query(*s, "SELECT pg_backend_pid()")[0][0].rawInt(), pid.rawInt());
    }
}

TEST(PostgresReopen, WithinTheTrustWindowARecentlyUsedSessionIsHandedOutWithoutAProbe) {
    if (pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
    TestDatabase db("postgresql");
    auto& pool = SessionPool::instance();
    pool.clear();
    const auto cs = ConnectionString::parse(db.connectionString());
    auto s = pool.acquire(cs, 15);
    query(*s, "SELECT 1");
    pool.release(cs.text, std::move(s));
    FullTrace trace;
    pool.setTrustWindow(std::chrono::seconds(0));
    s = pool.acquire(cs, 15);  // no window: probed
    EXPECT_EQ(trace.count("-- internal SELECT 1"), 1u);
    pool.release(cs.text, std::move(s));
    pool.setTrustWindow(SessionPool::kSuggestedTrustWindow);
    s = pool.acquire(cs, 15);
    EXPECT_EQ(trace.count("-- internal SELECT 1"), 1u);
    pool.release(cs.text, std::move(s));
    pool.setTrustWindow(SessionPool::kDefaultTrustWindow);
    pool.clear();
}

}  // namespace
}  // namespace orvan::data::testing
