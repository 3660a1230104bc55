// Comum against real databases: page statements in their three slots, identifiers from the database's
// procedure (also under concurrency, across threads and processes), and their failure paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "agenda_database.h"
#include "com_server/dispatch.h"
#include "data_access/comum.h"

namespace orvan::testing {
namespace {

using com::Variant;

class ComumTest : public AgendaTest {
protected:
    void SetUp() override {
        AgendaTest::SetUp();
        for (int i = 1; i <= 25; ++i)
            exec("INSERT INTO DICADODIA (oid, Texto, ordem) VALUES (?, ?, ?)",
                 {Variant(std::int32_t{i}), Variant("dica " + std::to_string(i)), Variant(std::int16_t(i % 3))});
        comum = com::make<data::Comum>();
        ASSERT_EQ(response->body(), "");
    }
    Variant executar(const char* method, Variant sql, std::vector<Variant> more = {}) {
        std::vector<Variant> args{std::move(sql)};
        for (auto& v : more) args.push_back(std::move(v));
        return com::invoke(*comum, method, com::kMethod, args);
    }
    int rowsOf(const com::ComPtr<data::ado::Recordset>& rs) {
        int n = 0;
        for (rs->MoveFirst(); !rs->get_EOF(); rs->MoveNext()) ++n;
        return n;
    }
    com::ComPtr<data::Comum> comum;
};

TEST_P(ComumTest, ExecutarOpensAStaticReadOnlyRecordsetAndReturnsTheTextZero) {
    Variant r = executar("Executar", Variant("SELECT * FROM DICADODIA ORDER BY oid"));
    EXPECT_EQ(r.type(), com::VarType::String);
    EXPECT_EQ(r.rawString(), "0");
    ASSERT_TRUE(comum->rs && comum->cmd);
    EXPECT_EQ(comum->rs->get_CursorType(), data::ado::adOpenStatic);
    EXPECT_EQ(comum->rs->get_LockType(), data::ado::adLockReadOnly);
    EXPECT_EQ(comum->rs->get_CursorLocation(), data::ado::adUseServer);
    EXPECT_EQ(comum->rs->get_RecordCount(), 25);
    EXPECT_EQ(comum->cmd->get_CommandType(), data::ado::adCmdText);
    EXPECT_TRUE(statements.contains("SELECT * FROM DICADODIA ORDER BY oid")) << "sent unchanged";
    // The page reads rows through the property, the default member giving the value.
    Variant rs = com::getProperty(*comum, "rs");
    Variant nome[] = {Variant("TEXTO")};
    EXPECT_EQ(com::CStr(com::defaultValue(com::invoke(rs, "", com::kMethod | com::kGet, nome))), "dica 1");
}

TEST_P(ComumTest, MaxRecordsAndTheThreeSlots) {
    EXPECT_EQ(com::CStr(executar("Executar", Variant("SELECT * FROM DICADODIA"),
                                 {Variant::missing(), Variant::missing(), Variant::missing(), Variant(std::int32_t{10})})),
              "0");
    EXPECT_EQ(rowsOf(comum->rs), 10);
    auto rs1 = comum->rs;
    auto cmd1 = comum->cmd;
    EXPECT_EQ(com::CStr(executar("Executar2", Variant("SELECT * FROM DICADODIA WHERE ordem = 1"))), "0");
    EXPECT_EQ(com::CStr(executar("Executar3", Variant("SELECT * FROM DICADODIA WHERE ordem = 2"), {Variant(std::int32_t{3}),
                                 Variant(std::int32_t{1}), Variant(std::int32_t{3})})),
              "0");
    EXPECT_EQ(comum->rs, rs1) << "Executar2 and 3 leave the first slot alone";
    EXPECT_EQ(comum->cmd, cmd1);
    EXPECT_EQ(rowsOf(comum->rs), 10);
    EXPECT_EQ(rowsOf(comum->rs2), 9);
    EXPECT_EQ(rowsOf(comum->rs3), 8);
    EXPECT_EQ(comum->rs3->get_CursorLocation(), data::ado::adUseClient);
}

TEST_P(ComumTest, RejectedStatementReturnsTheErrorTextAndReportsTheStatement) {
    const std::size_t before = logged();
    const std::string sql = "SELEC * FRM DICADODIA WHERE a < 'b'";
    const std::string r = com::CStr(executar("Executar2", Variant(sql)));
    EXPECT_EQ(r.rfind("-2147217900 - ", 0), 0u) << r;
    const std::string page = response->body();
    EXPECT_NE(page.find("Rotina: <b>Orvan_Geral.Comum.Executar2</b>"), std::string::npos);
    EXPECT_NE(page.find("Código do erro: <b>-2147217900</b>"), std::string::npos);
    EXPECT_NE(page.find("SQL executado: <b>SELEC * FRM DICADODIA WHERE a &lt; &#39;b&#39;</b>"), std::string::npos);
    EXPECT_EQ(logged(), before + 1);
    EXPECT_NE(log->entries().back().text.find("SQL executado: " + sql + "\r\n"), std::string::npos);
    ASSERT_TRUE(comum->rs2);
    EXPECT_EQ(comum->rs2->get_State(), data::ado::adStateClosed) << "a new recordset that was never opened";

    const std::string empty = com::CStr(executar("Executar", Variant("")));
    EXPECT_NE(empty.find(" - "), std::string::npos) << empty;
    EXPECT_NE(response->body().find("SQL executado: <b>Não informado.</b>"), std::string::npos);
}

TEST_P(ComumTest, ExecutarAfterAFailedOpeningReportsInsteadOfRaising) {
    application->SetValue("dataconn_CommandTimeout", Variant("abc"));
    auto broken = com::make<data::Comum>();
    const std::string r = com::CStr(com::call(*broken, "Executar", Variant("SELECT 1")));
    EXPECT_EQ(r.rfind("3709 - ", 0), 0u) << r;
    EXPECT_NE(response->body().find("Rotina: <b>Orvan_Geral.Comum.Executar</b>"), std::string::npos);
    EXPECT_EQ(broken->Gerar_Oid(), -1);
}

TEST_P(ComumTest, IdentifiersComeFromTheProcedureAndLeaveTheSlotsAlone) {
    executar("Executar", Variant("SELECT * FROM DICADODIA"));
    auto rs = comum->rs;
    auto cmd = comum->cmd;
    const std::int32_t a = comum->Gerar_Oid();
    const std::int32_t b = comum->Gerar_Oid();
    EXPECT_GE(a, 100000) << "a new database's counter starts at 100000";
    EXPECT_NE(a, b);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(comum->rs, rs);
    EXPECT_EQ(comum->cmd, cmd);
    EXPECT_FALSE(comum->rs2 || comum->rs3 || comum->cmd2 || comum->cmd3);
    EXPECT_EQ(response->body(), "");
}

TEST_P(ComumTest, MissingProcedureGivesMinusOneAndOneReport) {
    if (onPostgres()) exec("DROP FUNCTION atualoid()");
    else exec("DELETE FROM sys_procedures");
    const std::size_t before = logged();
    EXPECT_EQ(comum->Gerar_Oid(), -1);
    EXPECT_EQ(logged(), before + 1);
    const std::string page = response->body();
    EXPECT_NE(page.find("Rotina: <b>Orvan_Geral.Comum.Gerar_Oid</b>"), std::string::npos);
    EXPECT_NE(page.find("SQL executado: <b>Não informado.</b>"), std::string::npos);
}

// Identifiers stay unique when four threads and two other processes draw them at once.
TEST_P(ComumTest, IdentifiersAreUniqueAcrossThreadsAndProcesses) {
    constexpr int kPerWorker = 150;
    const std::string page = (folder / "oids.asp").string();
    {
        std::ofstream out(page);
        out << "<%@ Language=JScript %><% var c = Server.CreateObject(\"Orvan_Geral.Comum\");\n"
               "for (var i = 0; i < " << kPerWorker << "; i++) Response.Write(c.Gerar_Oid() + \"\\n\"); %>";
    }
    const std::string registry = (folder / "registry").string();
    ASSERT_EQ(std::system((std::string(ORVAN_BINARY) + " regsvr --registry " + registry + " > /dev/null").c_str()), 0);
    auto spawn = [&](int n) {
        const std::string cmd = std::string(ORVAN_BINARY) + " run " + page + " --registry " + registry +
                                " --app \"dataconn_ConnectionString=" + connection +
                                "\" --app dataconn_CommandTimeout=30 --eventlog " + (folder / "events").string() +
                                " > " + (folder / ("out" + std::to_string(n))).string();
        return ::popen(cmd.c_str(), "r");
    };
    FILE* processes[] = {spawn(1), spawn(2)};
    std::vector<std::vector<std::int32_t>> drawn(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            com::ObjectContextScope inThread(context);
            auto own = com::make<data::Comum>();
            for (int i = 0; i < kPerWorker; ++i) drawn[t].push_back(own->Gerar_Oid());
        });
    for (auto& th : threads) th.join();
    for (FILE* p : processes) EXPECT_EQ(::pclose(p), 0);

    std::set<std::int32_t> all;
    std::size_t total = 0;
    for (const auto& d : drawn)
        for (std::int32_t id : d) {
            EXPECT_NE(id, -1);
            all.insert(id);
            ++total;
        }
    for (int n : {1, 2}) {
        std::ifstream in(folder / ("out" + std::to_string(n)));
        std::string line;
        int lines = 0;
        while (std::getline(in, line)) {
            if (line.empty()) continue;
            const std::int32_t id = std::stoi(line);
            EXPECT_NE(id, -1);
            all.insert(id);
            ++total;
            ++lines;
        }
        EXPECT_EQ(lines, kPerWorker) << "process " << n;
    }
    EXPECT_EQ(total, 6u * kPerWorker);
    EXPECT_EQ(all.size(), total) << "no identifier was handed out twice";
}

ORVAN_ON_ALL_ENGINES(ComumTest);

}  // namespace
}  // namespace orvan::testing
