// Connection: the errors of closed and unopened objects, Open and its failures, Execute with and
// without rows, and the session pool behind Open and release.
#include <chrono>
#include <thread>

#include "ado_fixture.h"
#include "com_server/conversions.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;

const std::string kClosed = "Operation is not allowed when the object is closed.";
const std::string kInvalidConnection =
    "The connection cannot be used to perform this operation. It is either closed or invalid in this "
    "context.";

struct ExpectedError {
    const char* what;
    std::function<void()> action;
    std::int32_t number;
    std::string description;
    std::string source;
};

TEST(AdoObjectsTest, ClosedAndUnboundObjectsRaiseAdoErrors) {
    auto cn = com::make<Connection>();
    auto rs = com::make<Recordset>();
    auto cmd = com::make<Command>();
    Variant ra = Variant::missing();
    const std::vector<ExpectedError> cases = {
        {"Connection.Close when closed", [&] { cn->Close(); }, 3704, kClosed, "ADODB.Connection"},
        {"Connection.Execute when never opened", [&] { cn->Execute("SELECT 1", ra, -1); }, 3704, kClosed,
         "ADODB.Connection"},
        {"Recordset.Close when closed", [&] { rs->Close(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.EOF when closed", [&] { rs->get_EOF(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.BOF when closed", [&] { rs->get_BOF(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.MoveNext when closed", [&] { rs->MoveNext(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.MoveFirst when closed", [&] { rs->MoveFirst(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.AddNew when closed", [&] { rs->AddNew(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.Update when closed", [&] { rs->Update(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.EditMode when closed", [&] { rs->get_EditMode(); }, 3704, kClosed, "ADODB.Recordset"},
        {"Recordset.RecordCount when closed", [&] { rs->get_RecordCount(); }, 3704, kClosed,
         "ADODB.Recordset"},
        {"Fields(name) of a closed recordset", [&] { rs->get_Fields()->get_Item(Variant("x")); }, 3265,
         "Item cannot be found in the collection corresponding to the requested name or ordinal.",
         "ADODB.Fields"},
        {"Recordset.Open without a connection",
         [&] { rs->Open(Variant("SELECT 1"), Variant::missing(), -1, -1, -1); }, 3709, kInvalidConnection,
         "ADODB.Recordset"},
        {"Recordset.Open on a never-opened connection",
         [&] { rs->Open(Variant("SELECT 1"), Variant(cn), -1, -1, -1); }, 3709, kInvalidConnection,
         "ADODB.Recordset"},
        {"Command.Execute without a connection", [&] { cmd->Execute(ra, Variant::missing(), -1); }, 3709,
         kInvalidConnection, "ADODB.Command"},
        {"Command.CommandType out of range", [&] { cmd->put_CommandType(3); }, 3001,
         "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.",
         "ADODB.Command"},
        {"Connection.Open with an unknown provider",
         [&] { cn->Open("Provider=Nonesuch;Data Source=x", "", "", -1); }, 3706,
         "Provider cannot be found. It may not be properly installed.", "ADODB.Connection"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ComError e = errorOf(c.action);
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description(), c.description);
        EXPECT_EQ(e.source(), c.source);
    }
    EXPECT_EQ(cn->get_State(), adStateClosed);
    EXPECT_EQ(rs->get_Fields()->get_Count(), 0);
}

TEST(AdoObjectsTest, NewObjectsHaveAdoDefaults) {
    auto cn = com::make<Connection>();
    EXPECT_EQ(cn->get_ConnectionTimeout(), 15);
    EXPECT_EQ(cn->get_CommandTimeout(), 30);
    EXPECT_EQ(cn->get_State(), adStateClosed);
    EXPECT_EQ(cn->get_ConnectionString(), "");

    auto rs = com::make<Recordset>();
    EXPECT_EQ(rs->get_State(), adStateClosed);
    EXPECT_EQ(rs->get_CursorLocation(), adUseServer);
    EXPECT_EQ(rs->get_CursorType(), adOpenForwardOnly);
    EXPECT_EQ(rs->get_LockType(), adLockReadOnly);
    EXPECT_EQ(rs->get_MaxRecords(), 0);
    const Variant active = rs->get_ActiveConnection();
    EXPECT_TRUE(active.isObject() && !active.rawObject());
    EXPECT_EQ(rs->get_Fields().get(), rs->get_Fields().get());

    auto cmd = com::make<Command>();
    EXPECT_EQ(cmd->get_CommandType(), adCmdUnknown);
    EXPECT_EQ(cmd->get_CommandText(), "");
    EXPECT_EQ(cmd->get_CommandTimeout(), 30);
    EXPECT_FALSE(cmd->get_ActiveConnection());
    EXPECT_EQ(cmd->get_Parameters().get(), cmd->get_Parameters().get());
    cmd->putref_ActiveConnection(nullptr);
}

TEST(AdoObjectsTest, ErrorTextsFollowTheRuntime) {
    const std::vector<std::pair<std::int32_t, std::string>> table = {
        {3021,
         "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
         "current record."},
        {3219, "Operation is not allowed in this context."},
        {3251,
         "Current Recordset does not support updating. This may be a limitation of the provider, or of the "
         "selected locktype."},
        {3420, "Object is no longer valid."},
        {3705, "Operation is not allowed when the object is open."},
        {3708,
         "Parameter object is improperly defined. Inconsistent or incomplete information was provided."},
        {-2147217864,
         "Row cannot be located for updating. Some values may have been changed since it was last read."},
        {-2147217887,
         "Multiple-step OLE DB operation generated errors. Check each OLE DB status value, if available. No "
         "work "
         "was done."},
    };
    for (const auto& [number, text] : table) {
        const ComError e = aderr::error(number, "Recordset");
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.description(), text) << number;
        EXPECT_EQ(e.source(), "ADODB.Recordset");
    }
}

TEST(AdoObjectsTest, FailedOpenLeavesTheConnectionClosedAndReusable) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("orvan-ado-open-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    auto cn = com::make<Connection>();
    const ComError e = errorOf(
        [&] { cn->Open("Provider=SQLite;Data Source=" + (dir / "missing" / "x.db").string(), "", "", -1); });
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x80004005u));
    EXPECT_EQ(cn->get_State(), adStateClosed);
    Variant ra;
    EXPECT_EQ(errorOf([&] { cn->Execute("SELECT 1", ra, -1); }).number(), 3704);
    // Nothing half-open was kept: the same object opens with a good string.
    cn->Open("Provider=SQLite;Data Source=" + (dir / "x.db").string(), "", "", -1);
    EXPECT_EQ(cn->get_State(), adStateOpen);
    EXPECT_EQ(errorOf([&] { cn->Open("", "", "", -1); }).number(), 3705);
    cn->Close();
    SessionPool::instance().clear();
    std::filesystem::remove_all(dir);
}

template <typename E>
using AdoConnectionTest = AdoTest<E>;
TYPED_TEST_SUITE(AdoConnectionTest, Engines, EngineNames);

TYPED_TEST(AdoConnectionTest, ExecuteReturnsRowsOrAClosedRecordset) {
    const std::string t = this->createTable("pessoa", "oid INTEGER PRIMARY KEY, nome VARCHAR(60)");
    auto cn = this->connect();
    Variant ra = Variant::missing();

    auto none =
        cn->Execute("INSERT INTO " + t + " (oid, nome) VALUES (1, 'Ana'), (2, 'Bia'), (3, 'Caio')", ra, -1);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->get_State(), adStateClosed);
    EXPECT_TRUE(sameValue(ra, Variant(std::int32_t{3})));

    cn->Execute("UPDATE " + t + " SET nome = nome WHERE oid >= 2", ra, -1);
    EXPECT_TRUE(sameValue(ra, Variant(std::int32_t{2})));

    auto rs = cn->Execute("SELECT oid, nome FROM " + t + " ORDER BY oid", ra, -1);
    ASSERT_EQ(rs->get_State(), adStateOpen);
    // Execute gives a read-only, forward-only recordset.
    EXPECT_EQ(rs->get_CursorType(), adOpenForwardOnly);
    EXPECT_EQ(rs->get_LockType(), adLockReadOnly);
    EXPECT_EQ(rs->get_RecordCount(), -1);
    std::vector<std::string> names;
    for (; !rs->get_EOF(); rs->MoveNext())
        names.push_back(com::CStr(rs->get_Fields()->get_Item(Variant("NOME"))->get_Value()));
    EXPECT_EQ(names, (std::vector<std::string>{"Ana", "Bia", "Caio"}));
    EXPECT_EQ(errorOf([&] { rs->get_Fields()->get_Item(Variant("nome"))->put_Value(Variant("x")); }).number(),
              3251);

    EXPECT_FALSE(cn->Execute("DELETE FROM " + t + " WHERE oid = 3", ra, adCmdText | adExecuteNoRecords));
    EXPECT_EQ(this->count(t), 2);
}

TYPED_TEST(AdoConnectionTest, ProviderErrorsPassThroughAndTheConnectionStaysOpen) {
    auto cn = this->connect();
    Variant ra;
    const ComError e = errorOf([&] { cn->Execute("SELEC oops", ra, -1); });
    EXPECT_EQ(e.number(), aderr::ErrorsInCommand);
    EXPECT_FALSE(e.description().empty());
    EXPECT_NE(e.description(), "One or more errors occurred during processing of command.")
        << "the server's own message is expected";
    EXPECT_EQ(cn->get_State(), adStateOpen);
    auto rs = cn->Execute("SELECT 7 AS n", ra, -1);
    EXPECT_EQ(com::CLng(rs->get_Fields()->get_Item(Variant("n"))->get_Value()), 7);
}

TYPED_TEST(AdoConnectionTest, ClosingAConnectionClosesItsRecordsetsAndRefusesFurtherUse) {
    const std::string t = this->createTable("item", "oid INTEGER PRIMARY KEY");
    this->exec("INSERT INTO " + t + " VALUES (1)");
    auto cn = this->connect();
    auto rs = this->openRs(cn, "SELECT oid FROM " + t, adOpenStatic, adLockReadOnly);
    auto field = rs->get_Fields()->get_Item(Variant(std::int16_t{0}));
    cn->Close();
    EXPECT_EQ(rs->get_State(), adStateClosed);
    EXPECT_EQ(errorOf([&] { field->get_Value(); }).number(), 3420);

    Variant ra;
    EXPECT_EQ(errorOf([&] { cn->Execute("SELECT 1", ra, -1); }).number(), 3704);
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandText("SELECT 1");
    EXPECT_EQ(errorOf([&] { cmd->Execute(ra, Variant::missing(), -1); }).number(), 3709);
    auto rs2 = com::make<Recordset>();
    EXPECT_EQ(errorOf([&] { rs2->Open(Variant(cmd), Variant::missing(), -1, -1, -1); }).number(), 3709);
    EXPECT_EQ(errorOf([&] { rs2->Open(Variant("SELECT 1"), Variant(cn), -1, -1, -1); }).number(), 3709);
}

// ---- pool ------------------------------------------------------------------------------------------------

TYPED_TEST(AdoConnectionTest, AReleasedConnectionsSessionIsReusedRolledBack) {
    const std::string t = this->createTable("nota", "oid INTEGER PRIMARY KEY");
    auto& pool = SessionPool::instance();
    pool.clear();
    const auto opened = pool.sessionsOpened();
    {
        auto cn = this->connect();
        Variant ra;
        // A transaction left open by its user is rolled back when the session goes back to the pool.
        cn->Execute("BEGIN", ra, -1);
        cn->Execute("INSERT INTO " + t + " VALUES (1)", ra, -1);
    }
    EXPECT_EQ(pool.idleCount(this->cs()), 1u);
    auto again = this->connect();
    EXPECT_EQ(pool.sessionsOpened(), opened + 1) << "the second Open must reuse the pooled session";
    EXPECT_EQ(pool.idleCount(this->cs()), 0u);
    Variant ra;
    auto rs = again->Execute("SELECT COUNT(*) FROM " + t, ra, -1);
    EXPECT_EQ(com::CLng(rs->get_Fields()->get_Item(Variant(std::int16_t{0}))->get_Value()), 0);
}

TYPED_TEST(AdoConnectionTest, RecordsetsKeepTheirConnectionsSessionOutOfThePool) {
    this->createTable("x", "oid INTEGER PRIMARY KEY");
    auto& pool = SessionPool::instance();
    pool.clear();
    auto cn = this->connect();
    auto rs = this->openRs(cn, "SELECT * FROM " + this->T("x"), adOpenStatic, adLockOptimistic);
    cn = nullptr;
    EXPECT_EQ(pool.idleCount(this->cs()), 0u);
    rs = nullptr;
    EXPECT_EQ(pool.idleCount(this->cs()), 1u);
}

TYPED_TEST(AdoConnectionTest, IdleSessionsAreCappedAndExpire) {
    auto& pool = SessionPool::instance();
    pool.clear();
    {
        std::vector<ComPtr<Connection>> many;
        for (int i = 0; i < 20; ++i) many.push_back(this->connect());
    }
    EXPECT_EQ(pool.idleCount(this->cs()), SessionPool::kMaxIdlePerString);

    pool.setIdleLimit(std::chrono::seconds(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto opened = pool.sessionsOpened();
    auto cn = this->connect();
    pool.setIdleLimit(SessionPool::kDefaultIdleLimit);
    EXPECT_EQ(pool.sessionsOpened(), opened + 1) << "an expired session must not be handed out";
    EXPECT_EQ(pool.idleCount(this->cs()), 0u) << "expired sessions are closed on the next take";
}

TYPED_TEST(AdoConnectionTest, ThreadsShareThePoolSafely) {
    const std::string t = this->createTable("conta", "oid INTEGER PRIMARY KEY, n INTEGER");
    auto& pool = SessionPool::instance();
    pool.clear();
    const auto opened = pool.sessionsOpened();
    constexpr int kThreads = 4, kRounds = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            for (int i = 0; i < kRounds; ++i) {
                try {
                    auto cn = this->connect();
                    Variant ra;
                    cn->Execute("INSERT INTO " + t + " VALUES (" + std::to_string(k * 1000 + i) + ", " +
                                    std::to_string(i) + ")",
                                ra, -1);
                } catch (const ComError&) {
                    ++failures;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(this->count(t), kThreads * kRounds);
    EXPECT_LE(pool.sessionsOpened() - opened, static_cast<std::uint64_t>(kThreads));
}

// ---- PostgreSQL: sessions killed by the server -------------------------------------------------------

using AdoPostgresPoolTest = AdoTest<PostgresEngine>;

std::int32_t backendPid(Connection& cn) {
    Variant ra;
    auto rs = cn.Execute("SELECT pg_backend_pid()", ra, -1);
    return com::CLng(rs->get_Fields()->get_Item(Variant(std::int16_t{0}))->get_Value());
}

TEST_F(AdoPostgresPoolTest, ADeadPooledSessionIsDroppedAndNeverHandedOut) {
    auto& pool = SessionPool::instance();
    pool.clear();
    std::int32_t pid = 0;
    {
        auto cn = connect();
        pid = backendPid(*cn);
    }
    ASSERT_EQ(pool.idleCount(cs()), 1u);
    const Variant args[] = {Variant(pid)};
    exec("SELECT pg_terminate_backend(?)", args);
    const auto opened = pool.sessionsOpened();
    auto cn = connect();
    // The first work done through the connection reaches a live server process: the take found the
    // session dead, or (recently used, so handed out unprobed) its first statement did before anything
    // ran and the session was opened anew. One new session either way.
    EXPECT_NE(backendPid(*cn), pid);
    EXPECT_EQ(pool.sessionsOpened(), opened + 1);
}

TEST_F(AdoPostgresPoolTest, AStatementOnAKilledSessionFailsCleanly) {
    auto& pool = SessionPool::instance();
    pool.clear();
    {
        auto cn = connect();
        const std::int32_t pid = backendPid(*cn);
        std::thread killer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const Variant args[] = {Variant(pid)};
            exec("SELECT pg_terminate_backend(?)", args);
        });
        Variant ra;
        const ComError e = errorOf([&] { cn->Execute("SELECT pg_sleep(20)", ra, -1); });
        killer.join();
        EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x80004005u));
        EXPECT_NE(e.description().find("connection"), std::string::npos) << e.description();
        EXPECT_EQ(errorOf([&] { cn->Execute("SELECT 1", ra, -1); }).number(),
                  static_cast<std::int32_t>(0x80004005u));
    }
    // The dead session went back to the pool; the next Open must not get it.
    auto cn = connect();
    Variant ra;
    auto rs = cn->Execute("SELECT 5", ra, -1);
    EXPECT_EQ(com::CLng(rs->get_Fields()->get_Item(Variant(std::int16_t{0}))->get_Value()), 5);
}

}  // namespace
}  // namespace orvan::data::adotest
