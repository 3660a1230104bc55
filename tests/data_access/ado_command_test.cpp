// Command: statements with positional parameters, tables, stored procedures with output parameters,
// and the timeout a command runs with.
#include <chrono>
#include <limits>

#include "ado_fixture.h"
#include "com_server/conversions.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;

template <typename E>
using AdoCommandTest = AdoTest<E>;
TYPED_TEST_SUITE(AdoCommandTest, Engines, EngineNames);

Variant valueOf(const ComPtr<Recordset>& rs, const char* name) {
    return rs->get_Fields()->get_Item(Variant(name))->get_Value();
}

TYPED_TEST(AdoCommandTest, TextCommandsBindParametersInOrder) {
    const std::string t =
        this->createTable("pessoa", "oid INTEGER PRIMARY KEY, nome VARCHAR(80), idade INTEGER");
    auto cn = this->connect();
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandType(adCmdText);
    cmd->put_CommandText("INSERT INTO " + t + " (oid, nome, idade) VALUES (?, ?, ?)");
    auto params = cmd->get_Parameters();
    auto p = cmd->CreateParameter("oid", 3, adParamInput, 0, Variant(std::int32_t{1}));
    EXPECT_EQ(params->get_Count(), 0) << "CreateParameter does not append";
    params->Append(p);
    params->Append(
        cmd->CreateParameter("nome", 202, adParamInput, 80, Variant("D'Ávila'); DROP TABLE x; --")));
    params->Append(cmd->CreateParameter("idade", 3, adParamInput, 0, Variant(std::int32_t{40})));
    EXPECT_EQ(cmd->get_Parameters().get(), params.get());
    EXPECT_EQ(com::CStr(params->get_Item(Variant("NOME"))->get_Value()), "D'Ávila'); DROP TABLE x; --");

    Variant ra;
    auto closed = cmd->Execute(ra, Variant::missing(), -1);
    EXPECT_EQ(closed->get_State(), adStateClosed);
    EXPECT_TRUE(sameValue(ra, Variant(std::int32_t{1})));

    // Values given to Execute replace the parameters' values, in order.
    std::vector<Variant> values = {Variant(std::int32_t{2}), Variant("Bia")};
    cmd->Execute(ra, Variant::array(values), -1);
    EXPECT_EQ(com::CLng(params->get_Item(Variant(std::int16_t{0}))->get_Value()), 2);

    auto query = com::make<Command>();
    query->putref_ActiveConnection(cn);
    query->put_CommandText("SELECT nome, idade FROM " + t + " WHERE oid = ?");
    query->get_Parameters()->Append(query->CreateParameter("", 3, adParamInput, 0, Variant(std::int32_t{1})));
    auto rs = query->Execute(ra, Variant::missing(), -1);
    ASSERT_EQ(rs->get_State(), adStateOpen);
    EXPECT_EQ(com::CStr(valueOf(rs, "nome")), "D'Ávila'); DROP TABLE x; --");
    EXPECT_EQ(com::CLng(valueOf(rs, "idade")), 40);
    EXPECT_EQ(this->count(t), 2);

    EXPECT_EQ(errorOf([&] { params->get_Item(Variant("nosuch")); }).number(), 3265);
    EXPECT_EQ(errorOf([&] { params->get_Item(Variant(std::int32_t{3})); }).number(), 3265);
    EXPECT_EQ(errorOf([&] {
                  params->Append(cmd->CreateParameter("s", 200, adParamInput, 0, Variant("x")));
              }).number(),
              3708);
}

TYPED_TEST(AdoCommandTest, TableCommandsReadTheWholeTable) {
    const std::string t = this->createTable("cor", "oid INTEGER PRIMARY KEY, nome VARCHAR(20)");
    this->exec("INSERT INTO " + t + " VALUES (1, 'azul'), (2, 'verde')");
    auto cn = this->connect();
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandType(adCmdTable);
    cmd->put_CommandText(t);
    Variant ra;
    auto rs = cmd->Execute(ra, Variant::missing(), -1);
    int rows = 0;
    for (; !rs->get_EOF(); rs->MoveNext()) ++rows;
    EXPECT_EQ(rows, 2);
}

TYPED_TEST(AdoCommandTest, StoredProceduresFillOutputParameters) {
    const std::string counter = this->createTable("contador", "id INTEGER PRIMARY KEY, v INTEGER");
    this->exec("INSERT INTO " + counter + " VALUES (1, 100)");
    const std::string atualoid = this->createProcedure(
        "atualoid", "(OUT novooid integer)", "UPDATE " + counter + " SET v = v + 1 RETURNING v",
        "UPDATE " + counter + " SET v = v + 1; SELECT v AS novooid FROM " + counter);
    const std::string somar = this->createProcedure("somar", "(a integer, b integer, OUT total integer)",
                                                    "SELECT a + b", "SELECT :a + :b AS total");
    auto cn = this->connect();

    // As Comum.Gerar_Oid calls it: one output parameter, read after Execute.
    for (int expected : {101, 102}) {
        auto cmd = com::make<Command>();
        cmd->putref_ActiveConnection(cn);
        cmd->put_CommandType(adCmdStoredProc);
        cmd->put_CommandText(atualoid);
        cmd->get_Parameters()->Append(
            cmd->CreateParameter("novooid", 3, adParamOutput, 0, Variant::missing()));
        Variant ra = Variant::missing();
        auto rs = cmd->Execute(ra, Variant::missing(), -1);
        EXPECT_EQ(rs->get_State(), adStateClosed);
        EXPECT_EQ(com::CLng(cmd->get_Parameters()->get_Item(Variant("novooid"))->get_Value()), expected);
    }

    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandType(adCmdStoredProc);
    cmd->put_CommandText(somar);
    auto params = cmd->get_Parameters();
    params->Append(cmd->CreateParameter("a", 3, adParamInput, 0, Variant(std::int32_t{20})));
    params->Append(cmd->CreateParameter("b", 3, adParamInput, 0, Variant(std::int32_t{22})));
    params->Append(cmd->CreateParameter("total", 3, adParamOutput, 0, Variant::missing()));
    Variant ra;
    cmd->Execute(ra, Variant::missing(), -1);
    EXPECT_EQ(com::CLng(params->get_Item(Variant("total"))->get_Value()), 42);
    EXPECT_EQ(com::CLng(params->get_Item(Variant("a"))->get_Value()), 20) << "inputs are left as they were";

    // Recordset.Open on a procedure command runs it too; the outputs land in the command.
    params->get_Item(Variant("a"))->put_Value(Variant(std::int32_t{1}));
    auto rs = com::make<Recordset>();
    rs->Open(Variant(cmd), Variant::missing(), -1, -1, -1);
    EXPECT_EQ(com::CLng(params->get_Item(Variant("total"))->get_Value()), 23);

    auto missing = com::make<Command>();
    missing->putref_ActiveConnection(cn);
    missing->put_CommandType(adCmdStoredProc);
    missing->put_CommandText(this->T("nosuch"));
    const ComError e = errorOf([&] { missing->Execute(ra, Variant::missing(), -1); });
    EXPECT_LT(e.number(), 0) << "a provider error";
    EXPECT_NE(e.description().find("nosuch"), std::string::npos) << e.description();
    EXPECT_EQ(cn->get_State(), adStateOpen);
}

TYPED_TEST(AdoCommandTest, CommandsRunWithTheirConnectionsTimeoutUnlessGivenTheirOwn) {
    auto cn = this->connect();
    const std::string slow =
        TypeParam::kPostgres
            ? "SELECT pg_sleep(30)"
            : "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000000000) "
              "SELECT COUNT(*) FROM c";
    const std::int32_t timeout = static_cast<std::int32_t>(0x80040E31u);
    Variant ra;

    cn->put_CommandTimeout(1);
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandText(slow);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { cmd->Execute(ra, Variant::missing(), -1); }).number(), timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    // The command's own timeout wins over its connection's.
    cn->put_CommandTimeout(0);
    cmd->put_CommandTimeout(1);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { cmd->Execute(ra, Variant::missing(), -1); }).number(), timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(cn->get_State(), adStateOpen);
}

TYPED_TEST(AdoCommandTest, NonFiniteParameterValuesAreRefusedBeforeAnyStatement) {
    const std::string t = this->createTable("medida", "oid INTEGER PRIMARY KEY, valor DOUBLE PRECISION");
    auto cn = this->connect();
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandText("INSERT INTO " + t + " (oid, valor) VALUES (?, ?)");
    StatementLog log;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Variant& v : {Variant(nan), Variant(inf), Variant(-inf), Variant::date(inf)}) {
        SCOPED_TRACE(com::typeName(v.type()));
        const ComError created = errorOf([&] { cmd->CreateParameter("valor", 5, adParamInput, 0, v); });
        EXPECT_EQ(created.number(), 6);
        EXPECT_EQ(created.source(), "ADODB.Parameter");
    }
    auto oid = cmd->CreateParameter("oid", 3, adParamInput, 0, Variant(std::int32_t{1}));
    auto valor = cmd->CreateParameter("valor", 5, adParamInput, 0, Variant(2.5));
    cmd->get_Parameters()->Append(oid);
    cmd->get_Parameters()->Append(valor);
    EXPECT_EQ(errorOf([&] { valor->put_Value(Variant(nan)); }).number(), 6);
    EXPECT_EQ(com::CDbl(valor->get_Value()), 2.5) << "a refused value leaves the old one";
    Variant ra;
    const std::vector<Variant> given = {Variant(std::int32_t{2}), Variant(-inf)};
    EXPECT_EQ(errorOf([&] { cmd->Execute(ra, Variant::array(given), -1); }).number(), 6);
    EXPECT_TRUE(log.all().empty());
    EXPECT_EQ(this->count(t), 0);
}

TYPED_TEST(AdoCommandTest, RefreshDescribesTheMarksOfATextAndPreparedIsKept) {
    const std::string t = this->createTable("par", "oid INTEGER PRIMARY KEY, nome VARCHAR(20)");
    auto cn = this->connect();
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    EXPECT_FALSE(cmd->get_Prepared());
    cmd->put_Prepared(true);
    EXPECT_TRUE(cmd->get_Prepared());
    EXPECT_EQ(cmd->get_State(), adStateClosed);
    // A mark inside quoted text is not a parameter.
    cmd->put_CommandText("INSERT INTO " + t + " (oid, nome) VALUES (?, COALESCE(?, 'x?'))");
    auto params = cmd->get_Parameters();
    params->Refresh();
    ASSERT_EQ(params->get_Count(), 2);
    EXPECT_EQ(params->get_Item(Variant(std::int16_t{0}))->get_Name(), "Param1");
    EXPECT_EQ(params->get_Item(Variant(std::int16_t{1}))->get_Direction(), adParamInput);
    params->get_Item(Variant("param1"))->put_Value(Variant(std::int32_t{7}));
    params->get_Item(Variant("Param2"))->put_Value(Variant("Sete"));
    Variant ra;
    cmd->Execute(ra, Variant::missing(), -1);
    EXPECT_TRUE(sameValue(ra, Variant(std::int32_t{1})));
    EXPECT_EQ(com::CStr(this->scalar("SELECT nome FROM " + t + " WHERE oid = 7")), "Sete");

    params->Delete(Variant("Param2"));
    EXPECT_EQ(params->get_Count(), 1);
    EXPECT_EQ(errorOf([&] { params->Delete(Variant("Param2")); }).number(), 3265);
    cmd->put_CommandType(adCmdStoredProc);
    EXPECT_EQ(errorOf([&] { params->Refresh(); }).number(), 3251);
}

}  // namespace
}  // namespace orvan::data::adotest
