// The component as pages use it: a JScript page run by `orvan run` against the demo database logs in,
// works on a task with every Pauta method and logs out, on both engines; the rows are checked after.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "agenda_database.h"
#include "com_server/conversions.h"

namespace orvan::testing {
namespace {

class PagesTest : public AgendaTest {
protected:
    // Runs the page text with `orvan run` on this test's database; returns its standard output.
    std::string runPage(const std::string& text, int* status, const std::string& environment = "") {
        const std::string page = (folder / "pagina.asp").string();
        // A page that does not name its language is one of the JScript pages these tests were written in.
        std::ofstream(page) << (text.rfind("<%@", 0) == 0 ? "" : "<%@ Language=JScript %>") << text;
        const std::string registry = (folder / "registry").string();
        const std::string cmd = std::string(ORVAN_BINARY) + " regsvr --registry " + registry + " > /dev/null && " +
                                environment + " " + ORVAN_BINARY + " run " + page + " --registry " + registry +
                                " --app \"dataconn_ConnectionString=" + connection +
                                "\" --app dataconn_CommandTimeout=30 --eventlog " + (folder / "events").string() + " 2>&1";
        FILE* p = ::popen(cmd.c_str(), "r");
        std::string out;
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        *status = ::pclose(p);
        return out;
    }
};

TEST_P(PagesTest, ADayOfWorkThroughEveryMethod) {
    schema::addDemoData(*session);
    int status = 0;
    const std::string out = runPage(R"(<%
var g = Server.CreateObject("Orvan_Geral.Geral");
var r = g.Login("ana", "ana123", "EST 'A'");
Response.Write("login=" + (r instanceof Array) + "," + r.length + "," + r[1] + "," + (r[10] instanceof Date) + "\n");
var p = Server.CreateObject("Orvan_Geral.Pauta");
var t = p.Criar_Nova_Tarefa(5001, r[3]);
Response.Write("tarefa=" + typeof t + "\n");
var ini = new ByRef("08/12/2026 09:00"), fim = new ByRef("08/12/2026 18:30");
Response.Write("andamento=" + p.Tarefa_Atualiza(t, r[3], ini, fim, "feito") + "," + (ini.value instanceof Date) + "\n");
Response.Write("redirecionar=" + p.Tarefa_Redirecionar(t, "2002, 2003") + "\n");
Response.Write("injecao=" + p.Tarefa_Redirecionar(t, "1) OR (1=1").substring(0, 4) + "\n");
Response.Write("dados=" + p.Atualiza_Dados_Tarefa(t, "Nova 'espec'", 3002, "09/03/2026", "") + "\n");
Response.Write("horas=" + p.Cadastrar_Horas(7, t, r[3], r[4], r[0], "08/12/2026", 2.5, "09:00", "11:30", "obs", 0, t) + "\n");
Response.Write("dica=" + p.Dicas_Incluir(5, "Use a agenda") + "\n");
Response.Write("fim=" + g.Finalizar_Sessao_Uso(r[8]) + "\n");
Response.Write("t=" + t + "\n");
%>)",
                                    &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("login=true,11,Ana Souza,true\n"), std::string::npos) << out;
    EXPECT_NE(out.find("tarefa=number\n"), std::string::npos) << out;
    EXPECT_NE(out.find("andamento=0,true\n"), std::string::npos) << out;
    EXPECT_NE(out.find("redirecionar=0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("injecao=5 - \n"), std::string::npos) << out;
    EXPECT_NE(out.find("dados=undefined\n"), std::string::npos) << "Empty arrives as undefined: " << out;
    EXPECT_NE(out.find("horas=0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("dica=0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("fim=true\n"), std::string::npos) << out;
    const auto at = out.find("t=");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string t = out.substr(at + 2, out.find('\n', at) - at - 2);

    EXPECT_EQ(value("SELECT RSTATUS FROM tarefa WHERE OID = " + t), "1264");
    EXPECT_EQ(value("SELECT ESPECIFICACAO FROM tarefa WHERE OID = " + t), "Nova 'espec'");
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE RPAPEL = 1105 AND RITEM = " + t), "3002");
    EXPECT_EQ(value("SELECT INICIO FROM PRAZO WHERE RTIPO = 1007 AND RTAREFA = " + t), "09/03/2026");
    EXPECT_EQ(count("SELECT * FROM RESPONSABILIDADE WHERE RPAPEL = 1078 AND RITEM = " + t + " AND RRESPONSAVEL IN (2002, 2003)"), 2);
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE RPAPEL = 1078 AND RITEM = " + t +
                    " AND RRESPONSAVEL NOT IN (2002, 2003)"),
              "7")
        << "Ana, no longer listed, handed to the none oid";
    EXPECT_EQ(count("SELECT * FROM PECAAUTORIZADA WHERE RAUTORIZACAO = " + t), 2);
    EXPECT_EQ(count("SELECT * FROM FOLHADEHORARIO WHERE RTAREFA = " + t), 1);
    EXPECT_EQ(count("SELECT * FROM DICADODIA WHERE Texto = 'Use a agenda'"), 1);
    EXPECT_EQ(count("SELECT * FROM sessaoaplicativo WHERE ESTACAO = 'EST ''A''' AND TERMINO IS NOT NULL"), 1);
    EXPECT_EQ(count("SELECT * FROM sessaodeuso WHERE SITUACAO = 2 AND TERMINO IS NOT NULL"), 1);
}

TEST_P(PagesTest, SeveralMatchingRowsStartOneSession) {
    schema::addDemoData(*session);
    exec("INSERT INTO comunicacao (oid, ritem, rendereco, rtipo) VALUES (2199, 1001, 2001, 1121)");
    int status = 0;
    const std::string out = runPage(R"(<%
var g = Server.CreateObject("Orvan_Geral.Geral");
var r = g.Login("ANA", "ana123", "EST");
Response.Write(r[1] + ";" + r[8]);
%>)",
                                    &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(out.rfind("Ana Souza;", 0), 0u) << out;
    EXPECT_EQ(count("SELECT * FROM sessaoaplicativo"), 1);
}

TEST_P(PagesTest, TheDebugTraceKeepsEveryStatementAndItsRepair) {
    const std::string trace = (folder / "trace.sql").string();
    int status = 0;
    const std::string out = runPage(R"(<%
var p = Server.CreateObject("Orvan_Geral.Pauta");
Response.Write(p.Atualiza_Dados_Tarefa(1, "x", 3005, "", ""));
%>)",
                                    &status, "ORVAN_TRACE_SQL=" + trace);
    ASSERT_EQ(status, 0) << out;
    std::ifstream in(trace);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    EXPECT_NE(text.find("SET LANGUAGE PORTUGUESE\n"), std::string::npos) << text;
    EXPECT_NE(text.find("UPDATE RESPONSABILIDADE SET RRESPONSAVEL = 3005WHERE      RPAPEL = 1105 AND      RITEM = 1\t-- ran: "
                        "UPDATE RESPONSABILIDADE SET RRESPONSAVEL = 3005 WHERE"),
              std::string::npos)
        << text;
}

// The same calls from a VBScript page and from a JScript page print the same: login, a task made from a
// template, and a walk of Comum.rs over the new task's rows.
TEST_P(PagesTest, AVBScriptPagePrintsWhatTheJScriptPagePrints) {
    schema::addDemoData(*session);
    const std::string vbscript = R"(<%@ Language=VBScript %><%
Set g = Server.CreateObject("Orvan_Geral.Geral")
r = g.Login("ana", "ana123", "EST")
Response.Write "login=" & IsArray(r) & "," & (UBound(r) + 1) & "," & r(1) & vbLf
Set p = Server.CreateObject("Orvan_Geral.Pauta")
t = p.Criar_Nova_Tarefa(5001, r(3))
Set c = p.Comum
c.Executar "SELECT RSTATUS, RJOB FROM tarefa WHERE OID = " & t, 0, 1, 3, 0
Do While Not c.rs.EOF
    For Each f In c.rs.Fields
        Response.Write f.Name & "=" & f.Value & ";"
    Next
    Response.Write vbLf
    c.rs.MoveNext
Loop
c.Executar "SELECT COUNT(*) AS N FROM PECAAUTORIZADA WHERE RAUTORIZACAO = " & t, 0, 1, 3, 0
Response.Write "pecas=" & c.rs("N") & vbLf
Response.Write "fim=" & g.Finalizar_Sessao_Uso(r(8)) & vbLf
%>)";
    const std::string jscript = R"(<%@ Language=JScript %><%
var g = Server.CreateObject("Orvan_Geral.Geral");
var r = g.Login("ana", "ana123", "EST");
Response.Write("login=" + (r instanceof Array ? "True" : "False") + "," + r.length + "," + r[1] + "\n");
var p = Server.CreateObject("Orvan_Geral.Pauta");
var t = p.Criar_Nova_Tarefa(5001, r[3]);
var c = p.Comum;
c.Executar("SELECT RSTATUS, RJOB FROM tarefa WHERE OID = " + t, 0, 1, 3, 0);
while (!c.rs.EOF) {
    for (var i = 0; i < c.rs.Fields.Count; i++)
        Response.Write(c.rs.Fields(i).Name + "=" + c.rs.Fields(i).Value + ";");
    Response.Write("\n");
    c.rs.MoveNext();
}
c.Executar("SELECT COUNT(*) AS N FROM PECAAUTORIZADA WHERE RAUTORIZACAO = " + t, 0, 1, 3, 0);
Response.Write("pecas=" + c.rs("N") + "\n");
Response.Write("fim=" + (g.Finalizar_Sessao_Uso(r[8]) ? "True" : "False") + "\n");
%>)";
    int vbStatus = 0, jsStatus = 0;
    const std::string fromVBScript = runPage(vbscript, &vbStatus);
    const std::string fromJScript = runPage(jscript, &jsStatus);
    ASSERT_EQ(vbStatus, 0) << fromVBScript;
    ASSERT_EQ(jsStatus, 0) << fromJScript;
    EXPECT_EQ(fromVBScript, fromJScript);
    EXPECT_EQ(fromVBScript.rfind("login=True,11,Ana Souza\n", 0), 0u) << fromVBScript;
    // Column names come back in the engine's own case (PostgreSQL folds them to lower case).
    EXPECT_NE(com::UCase(fromVBScript).find("RSTATUS=1258;RJOB=4001;"), std::string::npos) << fromVBScript;
    EXPECT_NE(fromVBScript.find("pecas=2\n"), std::string::npos) << fromVBScript;
    EXPECT_EQ(count("SELECT * FROM tarefa WHERE RSTATUS = 1258 AND OID >= 100000"), 2);
}

// VBScript passes a variable by reference: the component's write-back lands in it, with no helper.
TEST_P(PagesTest, VBScriptVariablesTakeTheComponentsWriteBack) {
    int status = 0;
    const std::string out = runPage(R"(<%@ Language=VBScript %><%
Set p = Server.CreateObject("Orvan_Geral.Pauta")
s = "5/1/2009 7:03"
u = p.DataHoraUniversal(s)
Response.Write u & "|" & s & "|" & TypeName(s) & vbLf
k = "5/1/2009 7:03"
u = p.DataHoraUniversal((k))
Response.Write k
%>)",
                                    &status, "LC_ALL=pt_BR.UTF-8");
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(out, "2009-01-05 07:03:00|05/01/2009 07:03:00|String\n5/1/2009 7:03") << out;
}

ORVAN_ON_BOTH_ENGINES(PagesTest);

}  // namespace
}  // namespace orvan::testing
