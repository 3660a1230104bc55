// Pauta against real databases: task creation from a template, progress, redirection, task data,
// timesheet entries and tips — statements as sent, rows written, identifier order and failure paths.
#include <gtest/gtest.h>

#include <limits>

#include "agenda/pauta.h"
#include "agenda_database.h"
#include "com_server/dispatch.h"

namespace orvan::testing {
namespace {

using com::Variant;

class PautaTest : public AgendaTest {
protected:
    void SetUp() override {
        AgendaTest::SetUp();
        pauta = com::make<agenda::Pauta>();
        ASSERT_EQ(response->body(), "");
    }

    // Template task 5001 of job 4001 with one row in each dependent table, three authorised pieces and
    // two directed users; plus rows of another task and another job that must never be copied.
    void buildTemplate() {
        exec("INSERT INTO Item (OID, RESCOPO, CID, EXCLUIDO, CRIADOPOR, ATUALIZADOPOR, NOME) "
             "VALUES (5001, 1, 1, 0, 9, 9, 'Modelo d''capa')");
        exec("INSERT INTO tarefa (OID, RJOB, RPRIORIDADE, RSTATUS, RTIPODEMATERIAL, RPECA, ESPECIFICACAO, DESCRICAO) "
             "VALUES (5001, 4001, 3, 1264, 6001, 6101, 'Espec', NULL)");
        exec("INSERT INTO CLASSIFICACAO (OID, RITEM, RCATEGORIA) VALUES (5101, 5001, 7001)");
        exec("INSERT INTO SUBTAREFA (OID, RITEM, RGRUPO, ORDEM) VALUES (5201, 5001, 4001, 4)");
        exec("INSERT INTO SUBTAREFA (OID, RITEM, RGRUPO, ORDEM) VALUES (5202, 5001, 4999, 8)");
        exec("INSERT INTO PRAZO (OID, RTIPO, RTAREFA, RUSUARIO, OBSERVACAO, DURACAO, INICIO, TERMINO) "
             "VALUES (5301, 1007, 5001, 9, 'obs', 5, '2026-03-02 09:00:00', '2026-03-06 18:00:00')");
        exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (5401, 1105, 5001, 3001)");
        exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (5402, 1078, 5001, 2001)");
        exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (5403, 1078, 5001, 2002)");
        for (int i = 0; i < 3; ++i)
            exec("INSERT INTO PECAAUTORIZADA (OID, RAUTORIZACAO, RTIPODEINSERCAO, RMEIO, RPECA, RTIPODEMATERIAL, "
                 "IDENTIFICADOR, DIMENSAO1, DIMENSAO2) VALUES (?, 5001, 1, 2, ?, 6001, ?, 21.5, NULL)",
                 {Variant(std::int32_t{5501 + i}), Variant(std::int32_t{6101 + i}), Variant("P" + std::to_string(i))});
        exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (5999, 1078, 6000, 2003)");
    }
    Variant create(std::int32_t base, std::int32_t user) {
        Variant args[] = {Variant(base), Variant(user)};
        return com::invoke(*pauta, "Criar_Nova_Tarefa", com::kMethod, args);
    }
    std::int64_t rowsIn(const char* table) { return count(std::string("SELECT * FROM ") + table); }
    void dropIdentifierProcedure() {
        if (onPostgres()) exec("DROP FUNCTION atualoid()");
        else exec("DELETE FROM sys_procedures WHERE name = 'atualoid'");
    }

    com::ComPtr<agenda::Pauta> pauta;
};

TEST_P(PautaTest, CreatesTheTaskAndCopiesEveryDependentRow) {
    buildTemplate();
    com::DateParts at;
    at.year = 2024, at.month = 2, at.day = 29, at.hour = 8, at.minute = 5, at.second = 9;
    const PinnedClock clock(at);
    Variant r = create(5001, 2002);
    ASSERT_EQ(r.type(), com::VarType::Long) << com::CStr(r);
    const std::int32_t task = r.rawInt();
    const std::string t = std::to_string(task);

    EXPECT_EQ(value("SELECT NOME FROM TAREFA_V WHERE OID = " + t), "Modelo d'capa");
    EXPECT_EQ(value("SELECT RESCOPO FROM Item WHERE OID = " + t), "7");
    EXPECT_EQ(value("SELECT CID FROM Item WHERE OID = " + t), "62");
    EXPECT_EQ(value("SELECT EXCLUIDO FROM Item WHERE OID = " + t), "0");
    EXPECT_EQ(value("SELECT CRIADOPOR FROM Item WHERE OID = " + t), "2002");
    EXPECT_EQ(value("SELECT ATUALIZADOPOR FROM Item WHERE OID = " + t), "2002");
    auto created = rows("SELECT CRIADOEM, ATUALIZADOEM FROM Item WHERE OID = " + t);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(com::CDate(created[0][0]), clock.serial());
    EXPECT_EQ(com::CDate(created[0][1]), clock.serial());
    EXPECT_EQ(value("SELECT RSTATUS FROM tarefa WHERE OID = " + t), "1258");
    EXPECT_EQ(value("SELECT RJOB FROM tarefa WHERE OID = " + t), "4001");
    EXPECT_EQ(value("SELECT RPRIORIDADE FROM tarefa WHERE OID = " + t), "3");
    EXPECT_EQ(value("SELECT DESCRICAO FROM tarefa WHERE OID = " + t), "Null") << "empty values are copied";

    // Identifiers in the order the rows are written; the result is the first.
    auto oidOf = [&](const std::string& sql) { return std::stoi(value(sql)); };
    EXPECT_EQ(oidOf("SELECT OID FROM CLASSIFICACAO WHERE RITEM = " + t), task + 1);
    EXPECT_EQ(oidOf("SELECT OID FROM SUBTAREFA WHERE RITEM = " + t), task + 2);
    EXPECT_EQ(oidOf("SELECT OID FROM PRAZO WHERE RTAREFA = " + t), task + 3);
    EXPECT_EQ(oidOf("SELECT OID FROM RESPONSABILIDADE WHERE RPAPEL = 1105 AND RITEM = " + t), task + 4);
    auto pieces = rows("SELECT OID, IDENTIFICADOR, RPECA, DIMENSAO1, DIMENSAO2 FROM PECAAUTORIZADA WHERE RAUTORIZACAO = " +
                       t + " ORDER BY OID");
    ASSERT_EQ(pieces.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(com::CLng(pieces[i][0]), task + 5 + i);
        EXPECT_EQ(com::CStr(pieces[i][1]), "P" + std::to_string(i));
        EXPECT_EQ(com::CLng(pieces[i][2]), 6101 + i);
        EXPECT_DOUBLE_EQ(com::CDbl(pieces[i][3]), 21.5);
        EXPECT_TRUE(pieces[i][4].isNull());
    }
    auto users = rows("SELECT OID, RRESPONSAVEL FROM RESPONSABILIDADE WHERE RPAPEL = 1078 AND RITEM = " + t + " ORDER BY OID");
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(com::CLng(users[0][0]), task + 8);
    EXPECT_EQ(com::CLng(users[0][1]), 2001);
    EXPECT_EQ(com::CLng(users[1][1]), 2002);

    EXPECT_EQ(value("SELECT RGRUPO FROM SUBTAREFA WHERE RITEM = " + t), "4001") << "only the task's own job";
    EXPECT_EQ(value("SELECT ORDEM FROM SUBTAREFA WHERE RITEM = " + t), "4");
    EXPECT_EQ(value("SELECT RUSUARIO FROM PRAZO WHERE RTAREFA = " + t), "2002");
    EXPECT_EQ(value("SELECT OBSERVACAO FROM PRAZO WHERE RTAREFA = " + t), "obs");
    EXPECT_EQ(value("SELECT RTIPO FROM PRAZO WHERE RTAREFA = " + t), "1007");
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE RPAPEL = 1105 AND RITEM = " + t), "3001");
    EXPECT_EQ(rowsIn("RESPONSABILIDADE"), 4 + 1 + 2) << "the other task's rows are not copied";

    for (const char* q : {"SELECT * FROM TAREFA_V WHERE     OID = 5001", "SELECT * FROM CLASSIFICACAO WHERE     RITEM = 5001",
                          "SELECT * FROM SUBTAREFA WHERE     RITEM = 5001  AND     RGRUPO = 4001",
                          "SELECT * FROM PRAZO WHERE     RTIPO = 1007 AND     RTAREFA = 5001",
                          "SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = 1105 AND     RITEM = 5001",
                          "SELECT * FROM PECAAUTORIZADA WHERE     RAUTORIZACAO = 5001",
                          "SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = 1078 AND     RITEM = 5001"})
        EXPECT_TRUE(statements.contains(q)) << q;

    ASSERT_TRUE(pauta->Comum->cmd) << "the command stays in Comum.cmd";
    EXPECT_EQ(pauta->Comum->cmd->get_CommandType(), data::ado::adCmdTable);
    EXPECT_EQ(pauta->Comum->cmd->get_CommandText(), "RESPONSABILIDADE");
    EXPECT_EQ(logged(), 0u);
}

TEST_P(PautaTest, FailuresStopWhereTheTemplateLacksARow) {
    struct Case {
        const char* remove;  // what the template lacks
        const char* lastQuery;
        int itemRows, classificationRows, subtaskRows;
    };
    const Case cases[] = {
        {"DELETE FROM tarefa WHERE OID = 5001", "SELECT * FROM TAREFA_V WHERE     OID = 5001", 1, 1, 2},
        {"UPDATE tarefa SET RJOB = NULL WHERE OID = 5001", "SELECT * FROM TAREFA_V WHERE     OID = 5001", 1, 1, 2},
        {"DELETE FROM CLASSIFICACAO", "SELECT * FROM CLASSIFICACAO WHERE     RITEM = 5001", 2, 0, 2},
        {"DELETE FROM PRAZO", "SELECT * FROM PRAZO WHERE     RTIPO = 1007 AND     RTAREFA = 5001", 2, 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remove);
        exec("DELETE FROM Item");
        exec("DELETE FROM tarefa");
        for (const char* t : {"CLASSIFICACAO", "SUBTAREFA", "PRAZO", "RESPONSABILIDADE", "PECAAUTORIZADA"})
            exec(std::string("DELETE FROM ") + t);
        buildTemplate();
        exec(c.remove);
        const std::size_t before = logged();
        const std::string result = com::CStr(create(5001, 2002));
        ASSERT_NE(result.find(" - "), std::string::npos) << result;
        EXPECT_EQ(rowsIn("Item"), c.itemRows);
        EXPECT_EQ(rowsIn("CLASSIFICACAO"), c.classificationRows);
        EXPECT_EQ(rowsIn("SUBTAREFA"), c.subtaskRows);
        auto entries = log->entries();
        ASSERT_EQ(entries.size(), before + 2) << "the method's own line, then the report";
        EXPECT_EQ(entries[before].text, result + "sql: " + c.lastQuery);
        EXPECT_EQ(entries[before].type, data::kFailureLineType);
        EXPECT_NE(entries[before + 1].text.find("Rotina: Orvan_Geral.Pauta.Criar_Nova_Tarefa"), std::string::npos);
    }
}

TEST_P(PautaTest, NoIdentifierMeansNoRow) {
    buildTemplate();
    dropIdentifierProcedure();
    const std::string result = com::CStr(create(5001, 2002));
    EXPECT_NE(result.find(" - "), std::string::npos);
    EXPECT_EQ(rowsIn("Item"), 1);
    EXPECT_NE(response->body().find("Orvan_Geral.Comum.Gerar_Oid"), std::string::npos);
    EXPECT_NE(response->body().find("Orvan_Geral.Pauta.Criar_Nova_Tarefa"), std::string::npos);
}

class ProgressTest : public PautaTest {
protected:
    void SetUp() override {
        PautaTest::SetUp();
        exec("INSERT INTO tarefa (OID, RSTATUS) VALUES (700, 1258)");
    }
    Variant progress(Variant start, Variant end, Variant note = Variant("nota")) {
        std::int32_t task = 700, user = 2001;
        Variant r = pauta->Tarefa_Atualiza(task, user, start, end, note);
        lastStart = start;
        lastEnd = end;
        return r;
    }
    std::string status() { return value("SELECT RSTATUS FROM tarefa WHERE OID = 700"); }
    Variant lastStart, lastEnd;
};

TEST_P(ProgressTest, StatusAndProgressRecords) {
    EXPECT_EQ(com::CStr(progress(Variant(""), Variant())), "0");
    EXPECT_EQ(status(), "1258") << "a note alone does not read the task";
    EXPECT_FALSE(statements.contains("SELECT * FROM tarefa WHERE oid = 700"));
    EXPECT_EQ(count("SELECT * FROM PRAZO WHERE RTIPO = 1009 AND RTAREFA = 700 AND INICIO IS NULL AND TERMINO IS NULL "
                    "AND DURACAO = 0 AND OBSERVACAO = 'nota' AND RUSUARIO = 2001"),
              1);

    EXPECT_EQ(com::CStr(progress(Variant("25/12/2008 14:30"), Variant::null())), "0");
    EXPECT_EQ(status(), "1261");
    EXPECT_EQ(lastStart.type(), com::VarType::Date) << "the start comes back as the stored date value";
    EXPECT_EQ(com::CStr(lastStart), "25/12/2008 14:30:00");
    EXPECT_EQ(count("SELECT * FROM PRAZO WHERE RTIPO = 2463 AND RTAREFA = 700"), 1) << "the first record demoted";
    EXPECT_EQ(count("SELECT * FROM PRAZO WHERE RTIPO = 1009 AND RTAREFA = 700"), 1);
    auto current = rows("SELECT INICIO, TERMINO, CRIADOEM FROM PRAZO WHERE RTIPO = 1009 AND RTAREFA = 700");
    ASSERT_EQ(current.size(), 1u);
    EXPECT_EQ(com::CStr(current[0][0]), "25/12/2008 14:30:00");
    EXPECT_TRUE(current[0][1].isNull());
    EXPECT_NEAR(com::CDate(current[0][2]), com::now(), 3.0 / 86400);

    EXPECT_EQ(com::CStr(progress(Variant::null(), Variant("26/12/2008 10:00:05"))), "0");
    EXPECT_EQ(status(), "1261") << "an end alone leaves the status";

    EXPECT_EQ(com::CStr(progress(Variant::date(39807.25), Variant("2008-12-27 18:00:00"))), "0");
    EXPECT_EQ(status(), "1264");
    EXPECT_EQ(count("SELECT * FROM PRAZO WHERE RTAREFA = 700"), 4);
    EXPECT_EQ(count("SELECT * FROM PRAZO WHERE RTIPO = 1009 AND RTAREFA = 700"), 1);
    EXPECT_TRUE(statements.contains("SELECT * FROM prazo WHERE rtipo = 1009 AND rtarefa = 700"));
}

TEST_P(ProgressTest, UnreadableStartChangesNothing) {
    const std::string result = com::CStr(progress(Variant("abc"), Variant()));
    EXPECT_EQ(result, "13 - Type mismatch");
    EXPECT_EQ(status(), "1258");
    EXPECT_EQ(count("SELECT * FROM PRAZO"), 0);
    auto entries = log->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "13 - Type mismatchsql: ");
}

TEST_P(ProgressTest, TaskWithoutRowIsNotAFailure) {
    std::int32_t task = 999, user = 1;
    Variant start("01/01/2009"), end, note("n");
    EXPECT_EQ(com::CStr(pauta->Tarefa_Atualiza(task, user, start, end, note)), "0");
    EXPECT_EQ(count("SELECT * FROM PRAZO WHERE RTAREFA = 999 AND RTIPO = 1009"), 1);
    EXPECT_EQ(response->body(), "");
}

TEST_P(PautaTest, RedirectionReplacesTheDirectedUsers) {
    exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (1, 1078, 800, 12)");
    exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (2, 1078, 800, 15)");
    exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (3, 1105, 800, 12)");
    exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (4, 1078, 801, 12)");
    std::int32_t task = 800;
    std::string list = "15,40";
    EXPECT_EQ(com::CStr(pauta->Tarefa_Redirecionar(task, list)), "0");
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE OID = 1"), "7");
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE OID = 2"), "15");
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE OID = 3"), "12") << "other roles untouched";
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE OID = 4"), "12") << "other tasks untouched";
    EXPECT_EQ(count("SELECT * FROM RESPONSABILIDADE WHERE RPAPEL = 1078 AND RITEM = 800 AND RRESPONSAVEL = 40"), 1);
    EXPECT_TRUE(statements.contains(
        "select * from RESPONSABILIDADE WHERE RPAPEL = 1078 AND RITEM =800 AND RRESPONSAVEL not in (15,40)"));
    EXPECT_TRUE(statements.contains("select * from RESPONSABILIDADE WHERE RPAPEL = 1078 AND RITEM =800 AND RRESPONSAVEL =40"));
    EXPECT_FALSE(pauta->Comum->cmd);

    EXPECT_EQ(com::CStr(pauta->Tarefa_Redirecionar(task, list)), "0");
    EXPECT_EQ(count("SELECT * FROM RESPONSABILIDADE WHERE RITEM = 800"), 4) << "the same list again adds nothing";
    list = "41,41";
    EXPECT_EQ(com::CStr(pauta->Tarefa_Redirecionar(task, list)), "0");
    EXPECT_EQ(count("SELECT * FROM RESPONSABILIDADE WHERE RITEM = 800 AND RRESPONSAVEL = 41"), 1);
    list = "41, 42";
    EXPECT_EQ(com::CStr(pauta->Tarefa_Redirecionar(task, list)), "0");
    EXPECT_EQ(count("SELECT * FROM RESPONSABILIDADE WHERE RITEM = 800 AND RRESPONSAVEL = 42"), 1);
    EXPECT_TRUE(statements.contains("select * from RESPONSABILIDADE WHERE RPAPEL = 1078 AND RITEM =800 AND RRESPONSAVEL = 42"));
    EXPECT_EQ(logged(), 0u);
}

TEST_P(PautaTest, RedirectionRefusesAListThatIsNotNumbers) {
    exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (1, 1078, 800, 12)");
    std::int32_t task = 800;
    for (const char* bad : {"", "15,", "12) OR (1=1", "1;DELETE FROM RESPONSABILIDADE", "abc", "99999999999", " , "}) {
        std::string list = bad;
        const std::string result = com::CStr(pauta->Tarefa_Redirecionar(task, list));
        EXPECT_EQ(result.rfind("5 - Lista de usuários inválida", 0), 0u) << bad << ": " << result;
        EXPECT_EQ(list, bad);
    }
    EXPECT_EQ(value("SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE OID = 1"), "12");
    EXPECT_EQ(count("SELECT * FROM RESPONSABILIDADE"), 1);
}

TEST_P(PautaTest, TaskDataUpdateSendsTheStatementsAsWritten) {
    exec("INSERT INTO tarefa (OID, ESPECIFICACAO) VALUES (900, 'velha')");
    exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (1, 1105, 900, 3001)");
    exec("INSERT INTO RESPONSABILIDADE (OID, RPAPEL, RITEM, RRESPONSAVEL) VALUES (2, 1105, 900, 3002)");
    exec("INSERT INTO PRAZO (OID, RTIPO, RTAREFA, INICIO) VALUES (3, 1007, 900, '2026-01-01 00:00:00')");
    Variant r = pauta->Atualiza_Dados_Tarefa(900, "nova d'água", 3005, Variant(""), Variant::null());
    EXPECT_TRUE(r.isEmpty()) << com::CStr(r);
    EXPECT_EQ(value("SELECT ESPECIFICACAO FROM tarefa WHERE OID = 900"), "nova d'água");
    EXPECT_EQ(count("SELECT * FROM RESPONSABILIDADE WHERE RRESPONSAVEL = 3005"), 2);
    EXPECT_EQ(value("SELECT INICIO FROM PRAZO WHERE OID = 3"), "01/01/2026");
    const std::string department = "UPDATE RESPONSABILIDADE SET RRESPONSAVEL = 3005WHERE      RPAPEL = 1105 AND      RITEM = 900";
    EXPECT_TRUE(statements.contains("UPDATE TAREFA SET ESPECIFICACAO = 'nova d''água'WHERE OID = 900"));
    EXPECT_TRUE(statements.contains(department));
    auto sent = statements.sent();
    auto ran = statements.ran();
    bool seen = false;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] != department) continue;
        seen = true;
        EXPECT_NE(ran[i].find("3005 WHERE"), std::string::npos) << ran[i];
    }
    EXPECT_TRUE(seen);
    ASSERT_TRUE(pauta->Comum->cmd) << "the command stays";

    r = pauta->Atualiza_Dados_Tarefa(900, "", 3005, Variant("01/02/2009"), Variant::date(39845.75));
    EXPECT_TRUE(r.isEmpty());
    EXPECT_EQ(value("SELECT INICIO FROM PRAZO WHERE OID = 3"), "01/02/2009");
    EXPECT_EQ(value("SELECT TERMINO FROM PRAZO WHERE OID = 3"), "01/02/2009 18:00:00");
    EXPECT_EQ(value("SELECT ESPECIFICACAO FROM tarefa WHERE OID = 900"), "") << "an empty specification is the empty literal";
}

TEST_P(PautaTest, TaskDataUpdateWithoutPlannedRow) {
    exec("INSERT INTO tarefa (OID, ESPECIFICACAO) VALUES (901, 'a')");
    Variant r = pauta->Atualiza_Dados_Tarefa(901, "b", 1, Variant(), Variant());
    EXPECT_TRUE(r.isEmpty()) << "no dates and no row: nothing to write, no failure";
    r = pauta->Atualiza_Dados_Tarefa(901, "c", 1, Variant("02/02/2009"), Variant());
    const std::string text = com::CStr(r);
    EXPECT_EQ(text.rfind("3021 - ", 0), 0u) << text;
    EXPECT_EQ(value("SELECT ESPECIFICACAO FROM tarefa WHERE OID = 901"), "c") << "earlier changes stay";
    EXPECT_EQ(log->entries()[0].text, text + "sql: SELECT * FROM PRAZO WHERE     RTIPO = 1007 AND     RTAREFA = 901");
}

TEST_P(PautaTest, TimesheetEntries) {
    auto book = [&](std::int32_t oid, Variant inicio, Variant rtarefa = Variant::missing()) {
        Variant args[] = {Variant(oid),       Variant(std::int32_t{5001}), Variant(std::int32_t{1001}),
                          Variant(std::int32_t{3001}), Variant(std::int32_t{1001}), Variant("25/12/2008"),
                          Variant(2.5),       inicio,                      Variant("25/12/2008 17:00"),
                          Variant("obs'x"),   Variant(std::int32_t{0}),    rtarefa};
        return com::CStr(com::invoke(*pauta, "Cadastrar_Horas", com::kMethod, args));
    };
    EXPECT_EQ(book(7, Variant("08:30")), "0");
    auto row = rows("SELECT oid, Data, INICIO, TERMINO, RTAREFA, HORASTRABALHADAS, Observacao, FECHADO FROM FOLHADEHORARIO");
    ASSERT_EQ(row.size(), 1u);
    const std::int32_t oid = com::CLng(row[0][0]);
    EXPECT_EQ(com::CStr(row[0][1]), "25/12/2008");
    EXPECT_EQ(com::CStr(row[0][2]), "08:30:00") << "a time alone lands on the zero date";
    EXPECT_DOUBLE_EQ(com::CDate(row[0][2]), 8.5 / 24);
    EXPECT_EQ(com::CStr(row[0][3]), "25/12/2008 17:00:00");
    EXPECT_EQ(com::CLng(row[0][4]), 7) << "RTAREFA defaults to the none oid";
    EXPECT_DOUBLE_EQ(com::CDbl(row[0][5]), 2.5);
    EXPECT_EQ(com::CStr(row[0][6]), "obs'x");
    EXPECT_FALSE(pauta->Comum->cmd);

    exec("UPDATE FOLHADEHORARIO SET FECHADO = 1");
    EXPECT_EQ(book(oid, Variant("09:00"), Variant(std::int32_t{5001})), "0");
    EXPECT_EQ(value("SELECT FECHADO FROM FOLHADEHORARIO"), "0");
    EXPECT_EQ(value("SELECT RTAREFA FROM FOLHADEHORARIO"), "5001");
    EXPECT_TRUE(statements.contains("select * from FOLHADEHORARIO where oid=" + std::to_string(oid)));

    const std::string missing = book(123456, Variant("09:00"));
    EXPECT_EQ(missing.rfind("3021 - ", 0), 0u) << missing;
    EXPECT_EQ(log->entries()[0].text, missing + "sql: select * from FOLHADEHORARIO where oid=123456");
    const std::string empty = book(7, Variant(""));
    EXPECT_EQ(empty, "13 - Type mismatch");
    EXPECT_EQ(count("SELECT * FROM FOLHADEHORARIO"), 1) << "failed entries are not stored";

    std::int32_t gone = oid, none = 424242;
    EXPECT_EQ(com::CStr(pauta->Excluir_Horas(none)), "0");
    EXPECT_EQ(com::CStr(pauta->Excluir_Horas(gone)), "0");
    EXPECT_EQ(count("SELECT * FROM FOLHADEHORARIO"), 0);
    EXPECT_TRUE(statements.contains("Delete from FOLHADEHORARIO where oid=" + std::to_string(oid)));
}

TEST_P(PautaTest, TimesheetEntryStartingAtMidnightCanBeEdited) {
    // Midnight alone is 1899-12-30 00:00:00, day 0 itself: the edit must still find the row it read.
    auto book = [&](std::int32_t oid, const char* inicio, const char* termino) {
        Variant args[] = {Variant(oid),       Variant(std::int32_t{5001}), Variant(std::int32_t{1001}),
                          Variant(std::int32_t{3001}), Variant(std::int32_t{1001}), Variant("25/12/2008"),
                          Variant(8.0),       Variant(inicio),             Variant(termino),
                          Variant("turno"),   Variant(std::int32_t{0}),    Variant::missing()};
        return com::CStr(com::invoke(*pauta, "Cadastrar_Horas", com::kMethod, args));
    };
    ASSERT_EQ(book(7, "00:00", "08:00"), "0");
    const std::int32_t oid = com::CLng(rows("SELECT oid FROM FOLHADEHORARIO").at(0).at(0));
    EXPECT_EQ(value("SELECT INICIO FROM FOLHADEHORARIO"), "00:00:00");

    EXPECT_EQ(book(oid, "00:30", "29/12/1899 23:00"), "0");
    EXPECT_EQ(value("SELECT INICIO FROM FOLHADEHORARIO"), "00:30:00");
    EXPECT_EQ(value("SELECT TERMINO FROM FOLHADEHORARIO"), "29/12/1899 23:00:00");
    EXPECT_EQ(book(oid, "00:00", "08:15"), "0") << "a value before day 0 is found again too";
    EXPECT_EQ(value("SELECT INICIO FROM FOLHADEHORARIO"), "00:00:00");
    EXPECT_EQ(value("SELECT TERMINO FROM FOLHADEHORARIO"), "08:15:00");
    EXPECT_EQ(count("SELECT * FROM FOLHADEHORARIO"), 1);
    EXPECT_EQ(logged(), 0u);
}

TEST_P(PautaTest, TaskDatesBeforeDayZeroCanBeEditedAgain) {
    exec("INSERT INTO tarefa (OID, ESPECIFICACAO) VALUES (902, 'a')");
    exec("INSERT INTO PRAZO (OID, RTIPO, RTAREFA, INICIO) VALUES (4, 1007, 902, '2026-01-01 00:00:00')");
    Variant r = pauta->Atualiza_Dados_Tarefa(902, "a", 1, Variant("29/12/1899"), Variant("1/1/100"));
    EXPECT_TRUE(r.isEmpty()) << com::CStr(r);
    EXPECT_EQ(value("SELECT INICIO FROM PRAZO WHERE OID = 4"), "29/12/1899");
    EXPECT_EQ(com::splitDate(com::CDate(rows("SELECT TERMINO FROM PRAZO WHERE OID = 4").at(0).at(0))),
              (com::DateParts{100, 1, 1, 0, 0, 0}));

    r = pauta->Atualiza_Dados_Tarefa(902, "a", 1, Variant("02/03/2009"), Variant("29/12/1899 06:00"));
    EXPECT_TRUE(r.isEmpty()) << com::CStr(r);
    EXPECT_EQ(value("SELECT INICIO FROM PRAZO WHERE OID = 4"), "02/03/2009");
    EXPECT_EQ(value("SELECT TERMINO FROM PRAZO WHERE OID = 4"), "29/12/1899 06:00:00");
    r = pauta->Atualiza_Dados_Tarefa(902, "a", 1, Variant("29/12/1899"), Variant("03/03/2009"));
    EXPECT_TRUE(r.isEmpty()) << com::CStr(r);
    EXPECT_EQ(value("SELECT INICIO FROM PRAZO WHERE OID = 4"), "29/12/1899");
    EXPECT_EQ(value("SELECT TERMINO FROM PRAZO WHERE OID = 4"), "03/03/2009");
    EXPECT_EQ(logged(), 0u);
}

TEST_P(PautaTest, TimesheetHoursThatAreNotANumberAreRefused) {
    // NaN or an infinity (what a JScript page computes from bad input) is refused; nothing is stored.
    auto book = [&](std::int32_t oid, double hours) {
        Variant args[] = {Variant(oid),       Variant(std::int32_t{5001}), Variant(std::int32_t{1001}),
                          Variant(std::int32_t{3001}), Variant(std::int32_t{1001}), Variant("25/12/2008"),
                          Variant(hours),     Variant("08:00"),            Variant("17:00"),
                          Variant("x"),       Variant(std::int32_t{0}),    Variant::missing()};
        return com::CStr(com::invoke(*pauta, "Cadastrar_Horas", com::kMethod, args));
    };
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(book(7, bad), "6 - Overflow");
        EXPECT_EQ(count("SELECT * FROM FOLHADEHORARIO"), 0);
    }
    ASSERT_EQ(book(7, 4.0), "0");
    const std::int32_t oid = com::CLng(rows("SELECT oid FROM FOLHADEHORARIO").at(0).at(0));
    EXPECT_EQ(book(oid, std::numeric_limits<double>::quiet_NaN()), "6 - Overflow");
    EXPECT_DOUBLE_EQ(com::CDbl(rows("SELECT HORASTRABALHADAS FROM FOLHADEHORARIO").at(0).at(0)), 4.0)
        << "an edit with a non-finite value leaves the row as it was";
}

TEST_P(PautaTest, TipsOfTheDay) {
    std::int16_t ordem = 1;
    std::string texto = "Dica 'um'";
    EXPECT_EQ(com::CStr(pauta->Dicas_Incluir(ordem, texto)), "0");
    texto = "";
    EXPECT_EQ(com::CStr(pauta->Dicas_Incluir(ordem, texto)), "0");
    EXPECT_EQ(count("SELECT * FROM DICADODIA WHERE ordem = 1"), 2);
    EXPECT_EQ(count("SELECT DISTINCT oid FROM DICADODIA"), 2);
    EXPECT_EQ(count("SELECT * FROM DICADODIA WHERE Texto = 'Dica ''um'''"), 1);
    exec("DROP TABLE DICADODIA");
    const std::string failed = com::CStr(pauta->Dicas_Incluir(ordem, texto));
    EXPECT_NE(failed.find(" - "), std::string::npos);
    EXPECT_TRUE(pauta->Comum->cmd) << "the command stays on failure";
    EXPECT_EQ(log->entries()[0].text, failed + "sql: DICADODIA");
}

TEST_P(PautaTest, ReplacedComumIsUsedAndReleased) {
    auto other = com::make<data::Comum>();
    const long alive = com::ComponentObject::alive();
    com::putRefProperty(*pauta, "Comum", Variant(other));
    EXPECT_EQ(com::ComponentObject::alive(), alive - 2) << "the replaced Comum is released, with its date helper";
    std::int16_t ordem = 3;
    std::string texto = "via outro";
    EXPECT_EQ(com::CStr(pauta->Dicas_Incluir(ordem, texto)), "0");
    pauta->Comum = nullptr;
    EXPECT_THROW(pauta->Dicas_Incluir(ordem, texto), com::ComError) << "no Comum: the error goes to the caller";
}

ORVAN_ON_ALL_ENGINES(PautaTest);
ORVAN_ON_ALL_ENGINES(ProgressTest);

}  // namespace
}  // namespace orvan::testing
