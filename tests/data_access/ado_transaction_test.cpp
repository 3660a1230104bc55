// Connection transactions (BeginTrans / CommitTrans / RollbackTrans and their nesting levels, a pooled
// session handed back rolled back), Execute's RecordsAffected, the Errors collection, State and Close.
#include "ado_fixture.h"
#include "com_server/conversions.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;

template <typename E>
class AdoTransactionTest : public AdoTest<E> {
protected:
    void SetUp() override {
        AdoTest<E>::SetUp();
        if (this->HasFatalFailure()) return;
        t = this->createTable("lanc", "oid INTEGER PRIMARY KEY, nome VARCHAR(40)");
    }
    void insert(const ComPtr<Connection>& cn, int oid) {
        Variant ra;
        cn->Execute("INSERT INTO " + t + " (oid, nome) VALUES (" + std::to_string(oid) + ", 'x')", ra, -1);
    }
    std::vector<std::int32_t> oids() {
        std::vector<std::int32_t> out;
        auto rs = this->admin().execute("SELECT oid FROM " + t + " ORDER BY oid", {}, 30);
        std::vector<Variant> row;
        while (rs->next(row)) out.push_back(com::CLng(row[0]));
        return out;
    }
    std::string t;
};
TYPED_TEST_SUITE(AdoTransactionTest, Engines, EngineNames);

TYPED_TEST(AdoTransactionTest, NestedTransactionsReturnTheirLevelAndEndInnermostFirst) {
    auto cn = this->connect();
    EXPECT_EQ(cn->BeginTrans(), 1);
    this->insert(cn, 1);
    EXPECT_EQ(cn->BeginTrans(), 2);
    this->insert(cn, 2);
    EXPECT_EQ(cn->BeginTrans(), 3);
    this->insert(cn, 3);
    cn->RollbackTrans();  // level 3: row 3 goes
    cn->CommitTrans();    // level 2 joins the outer transaction
    EXPECT_TRUE(this->oids().empty()) << "nothing is visible to others before the outer commit";
    cn->CommitTrans();
    EXPECT_EQ(this->oids(), (std::vector<std::int32_t>{1, 2}));

    EXPECT_EQ(cn->BeginTrans(), 1) << "levels count from 1 again";
    this->insert(cn, 4);
    EXPECT_EQ(cn->BeginTrans(), 2);
    this->insert(cn, 5);
    cn->CommitTrans();
    cn->RollbackTrans();  // the outer rollback takes the committed inner level with it
    EXPECT_EQ(this->oids(), (std::vector<std::int32_t>{1, 2}));

    for (auto end : {&Connection::CommitTrans, &Connection::RollbackTrans}) {
        const ComError e = errorOf([&] { ((*cn).*end)(); });
        EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x8004D00Eu));
        EXPECT_EQ(e.description(), "No transaction is active.");
    }
}

TYPED_TEST(AdoTransactionTest, CloseInsideATransactionIsRefusedAndAPooledSessionGoesBackRolledBack) {
    {
        auto cn = this->connect();
        cn->BeginTrans();
        this->insert(cn, 7);
        const ComError e = errorOf([&] { cn->Close(); });
        EXPECT_EQ(e.number(), 3246);
        EXPECT_EQ(e.description(), "Connection object cannot be explicitly closed while in a transaction.");
        EXPECT_EQ(cn->get_State(), adStateOpen);
        // Released with the transaction open: the session returns to the pool.
    }
    EXPECT_EQ(SessionPool::instance().idleCount(this->cs()), 1u);
    EXPECT_TRUE(this->oids().empty());
    auto again = this->connect();  // the same pooled session
    EXPECT_EQ(SessionPool::instance().idleCount(this->cs()), 0u);
    EXPECT_EQ(again->BeginTrans(), 1) << "no transaction is left open on the reused session";
    this->insert(again, 8);
    again->CommitTrans();
    EXPECT_EQ(this->oids(), (std::vector<std::int32_t>{8}));
    again->Close();
    EXPECT_EQ(again->get_State(), adStateClosed);
    EXPECT_EQ(errorOf([&] { again->Close(); }).number(), 3704);
    EXPECT_EQ(errorOf([&] { again->BeginTrans(); }).number(), 3704);
}

TYPED_TEST(AdoTransactionTest, ExecuteWritesTheAffectedCountBackThroughDispatch) {
    auto cn = this->connect();
    for (int i = 1; i <= 3; ++i) this->insert(cn, i);
    // Late-bound, as a page calls it: the second argument is written back by reference.
    Variant args[] = {Variant("UPDATE " + this->t + " SET nome = 'y' WHERE oid >= 2"), Variant(),
                      Variant(std::int32_t{adCmdText | adExecuteNoRecords})};
    Variant result = com::invoke(*cn, "Execute", com::kMethod, args);
    EXPECT_TRUE(sameValue(args[1], Variant(std::int32_t{2})));
    EXPECT_TRUE(result.isObject() && !result.rawObject()) << "adExecuteNoRecords returns Nothing";

    Variant ra;
    auto rs = cn->Execute("DELETE FROM " + this->t + " WHERE oid = 1", ra, -1);
    EXPECT_TRUE(sameValue(ra, Variant(std::int32_t{1})));
    EXPECT_EQ(rs->get_State(), adStateClosed);
    rs = cn->Execute("SELECT oid FROM " + this->t + " ORDER BY oid", ra, -1);
    EXPECT_EQ(rs->get_State(), adStateOpen);
    EXPECT_EQ(rs->get_CursorType(), adOpenForwardOnly);
    EXPECT_EQ(rs->get_RecordCount(), -1);
}

// A statement run for its side effect only, whatever comes of it: the error is handed back (and kept in
// Errors) as Execute would raise it, the first time and when the session answers a known refusal.
TYPED_TEST(AdoTransactionTest, ExecuteIgnoringFailureHandsBackWhatExecuteWouldRaise) {
    auto cn = this->connect();
    Variant ra;
    const ComError raised = errorOf([&] { cn->Execute("SELEC nonsense", ra, -1); });
    cn->get_Errors()->Clear();
    for (int i = 0; i < 3; ++i) {
        const std::optional<ComError> given = cn->ExecuteIgnoringFailure("SELEC nonsense");
        ASSERT_TRUE(given.has_value()) << i;
        EXPECT_EQ(given->number(), raised.number());
        EXPECT_EQ(given->description(), raised.description());
        EXPECT_EQ(given->statement(), "SELEC nonsense");
        ASSERT_EQ(cn->get_Errors()->get_Count(), 1);
        EXPECT_EQ(cn->get_Errors()->get_Item(Variant(std::int32_t{0}))->get_Number(), raised.number());
        cn->get_Errors()->Clear();
    }
    // One that succeeds does its work; ADO's own refusals come back too.
    EXPECT_FALSE(cn->ExecuteIgnoringFailure("INSERT INTO " + this->t + " (oid) VALUES (7)").has_value());
    auto rs = cn->Execute("SELECT COUNT(*) FROM " + this->t + " WHERE oid = 7", ra, -1);
    EXPECT_EQ(com::CLng(rs->get_Fields()->get_Item(Variant(std::int16_t{0}))->get_Value()), 1);
    EXPECT_TRUE(cn->ExecuteIgnoringFailure("").has_value());
    cn->Close();
    EXPECT_EQ(cn->ExecuteIgnoringFailure("SELECT 1")->number(), 3704);
}

TYPED_TEST(AdoTransactionTest, ProviderErrorsFillTheErrorsCollectionAndAdoErrorsDoNot) {
    auto cn = this->connect();
    auto errors = cn->get_Errors();
    EXPECT_EQ(errors->get_Count(), 0);
    EXPECT_EQ(cn->get_Errors().get(), errors.get()) << "the same collection every time";
    Variant ra;
    const ComError bad = errorOf([&] { cn->Execute("SELEC nonsense", ra, -1); });
    ASSERT_EQ(errors->get_Count(), 1);
    auto first = errors->get_Item(Variant(std::int32_t{0}));
    EXPECT_EQ(first->get_Number(), bad.number());
    EXPECT_EQ(first->get_Number(), -2147217900);
    EXPECT_EQ(first->get_Description(), bad.description());
    EXPECT_FALSE(first->get_SQLState().empty());
    EXPECT_EQ(errorOf([&] { errors->get_Item(Variant(std::int32_t{1})); }).number(), 3265);

    // A duplicate key replaces it; ADO's own errors leave the collection alone.
    this->insert(cn, 1);
    errorOf([&] { this->insert(cn, 1); });
    ASSERT_EQ(errors->get_Count(), 1);
    EXPECT_EQ(errors->get_Item(Variant(std::int16_t{0}))->get_Number(), static_cast<std::int32_t>(0x80040E2Fu));
    auto rs = this->openRs(cn, "SELECT * FROM " + this->t + " WHERE oid < 0", adOpenStatic, adLockReadOnly);
    EXPECT_EQ(errorOf([&] { rs->MoveFirst(); }).number(), 3021);
    EXPECT_EQ(errors->get_Count(), 1);
    EXPECT_EQ(errors->get_Item(Variant(std::int16_t{0}))->get_Number(), static_cast<std::int32_t>(0x80040E2Fu));
    errors->Clear();
    EXPECT_EQ(errors->get_Count(), 0);

    // Errors of recordsets and commands on the connection land there too.
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandText("SELECT * FROM nosuch_" + this->t);
    errorOf([&] { cmd->Execute(ra, Variant::missing(), -1); });
    ASSERT_EQ(errors->get_Count(), 1);
    EXPECT_EQ(errors->get_Item(Variant(std::int16_t{0}))->get_Number(), static_cast<std::int32_t>(0x80040E37u));
}

}  // namespace
}  // namespace orvan::data::adotest
