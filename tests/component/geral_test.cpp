// Geral against real databases: login and the password digest, usage sessions, parameters and field
// labels — statements as sent, rows written, results and failure paths.
#include <gtest/gtest.h>

#include "agenda_database.h"
#include "com_server/dispatch.h"
#include "session_services/geral.h"
#include "session_services/password.h"

namespace orvan::testing {
namespace {

using com::Variant;

TEST(PasswordDigestTest, DigestShapeAndKnownValues) {
    // "AB", k=17: v1 = (19*65 + 131 + 1 - 7) * 17 = 23120 -> G; v2 = (19*66 + 131 + 0 - 7) * 17 = 23426 -> A;
    // total 46546 -> G.
    EXPECT_EQ(session::Codificar_Texto("AB", 17), "GAG");
    EXPECT_EQ(session::Codificar_Texto("", 17), "A");
    for (const char* text : {"A", "ANAana123", "JOSÉ ç", "x y z 0 9 !"}) {
        const std::string d = session::Codificar_Texto(text, 17);
        EXPECT_EQ(d.size(), com::toAnsi(text).size() + 1) << text;
        for (char c : d) EXPECT_TRUE(c >= 'A' && c <= 'Z') << text;
        EXPECT_EQ(d, session::Codificar_Texto(text, 17));
    }
    EXPECT_EQ(session::storedPassword("ana", "ana123"), session::Codificar_Texto("ANAana123", 17));
    EXPECT_NE(session::storedPassword("ana", "ANA123"), session::storedPassword("ana", "ana123"))
        << "the password itself is not upper-cased";
}

TEST(PasswordDigestTest, HugeTextOverflows) {
    try {
        session::Codificar_Texto(std::string(3000, 'z'), 17);
        FAIL() << "the 32-bit running total must overflow";
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), com::err::Overflow);
    }
}

class GeralTest : public AgendaTest {
protected:
    void SetUp() override {
        AgendaTest::SetUp();
        // Ana (employee 1001, user 2001) in department 3001 "Redação".
        exec("INSERT INTO funcionario (OID, NOME) VALUES (1001, 'Ana Souza')");
        exec("INSERT INTO usuario (OID, NOME, SENHA) VALUES (2001, 'ANA', ?)",
             {Variant(session::storedPassword("ana", "segredo"))});
        exec("INSERT INTO comunicacao (oid, ritem, rendereco, rtipo) VALUES (2101, 1001, 2001, 1121)");
        exec("INSERT INTO agrupamento (OID, RITEM, NITEM, RPAPEL, NPAPEL, RGRUPO, NGRUPO) "
             "VALUES (2201, 1001, 'Ana Souza', 3001, 'Editora', 3001, 'Redação')");
        geral = com::make<session::Geral>();
        ASSERT_EQ(response->body(), "") << "the connections open without a report";
    }
    Variant login(std::string user, std::string password, std::string station = "EST01") {
        Variant args[] = {Variant(user), Variant(password), Variant(station)};
        Variant r = com::invoke(*geral, "Login", com::kMethod, args);
        loginArgs = {args[0], args[1]};
        return r;
    }
    std::int32_t start(std::int32_t user, const std::string& station) {
        std::string s = station;
        return geral->Iniciar_Sessao_Uso(user, s);
    }

    com::ComPtr<session::Geral> geral;
    std::vector<Variant> loginArgs;
};

TEST_P(GeralTest, LoginReturnsTheRecordAndStartsASession) {
    com::DateParts at;
    at.year = 2026, at.month = 3, at.day = 15, at.hour = 14, at.minute = 30, at.second = 45;
    const PinnedClock clock(at);
    Variant r = login("ana", "segredo");
    ASSERT_TRUE(r.isArray()) << com::CStr(r);
    const auto& rec = r.rawArray();
    ASSERT_EQ(rec.size(), 11u);
    EXPECT_EQ(com::CLng(rec[0]), 1001);
    EXPECT_EQ(com::CStr(rec[1]), "Ana Souza");
    EXPECT_TRUE(sameValue(rec[2], Variant("")));
    EXPECT_EQ(com::CLng(rec[3]), 2001);
    EXPECT_EQ(com::CLng(rec[4]), 3001);
    EXPECT_EQ(com::CStr(rec[5]), "Redação");
    EXPECT_TRUE(rec[6].isEmpty());
    EXPECT_TRUE(rec[7].isEmpty());
    EXPECT_EQ(rec[8].type(), com::VarType::Long);
    EXPECT_TRUE(sameValue(rec[9], Variant("")));
    EXPECT_EQ(rec[10].type(), com::VarType::Date);
    EXPECT_EQ(rec[10].rawDate(), clock.serial());

    EXPECT_EQ(com::CStr(loginArgs[0]), "ANA") << "sLogin comes back upper-cased";
    EXPECT_EQ(com::CStr(loginArgs[1]), session::Codificar_Texto("ANAsegredo", 17)) << "Senha comes back digested";

    const std::int32_t app = rec[8].rawInt();
    EXPECT_EQ(value("SELECT RUSUARIO FROM sessaoaplicativo WHERE OID = " + std::to_string(app)), "2001");
    EXPECT_EQ(value("SELECT ESTACAO FROM sessaoaplicativo WHERE OID = " + std::to_string(app)), "EST01");
    EXPECT_EQ(value("SELECT EXECUTAVEL FROM sessaoaplicativo WHERE OID = " + std::to_string(app)), "OrvanWeb");
    EXPECT_EQ(value("SELECT rAplicativo FROM sessaoaplicativo WHERE OID = " + std::to_string(app)), "15339");
    EXPECT_EQ(count("SELECT * FROM sessaodeuso WHERE SITUACAO = 1 AND TERMINO IS NULL"), 1);
    EXPECT_TRUE(statements.contains(
        "select a.ritem rFuncionario, a.nitem Funcionario, a.rpapel rCargo, a.npapel Cargo, a.rpapel rDepartamento, "
        "a.ngrupo Departamento, u.oid  CodigoUsuario, u.nome LoginUsuário, u.Senha SenhaUsuário From agrupamento_v "
        "a, comunicacao c, funcionario_r fu, usuario_v u Where fu.oid = c.ritem and c.rendereco = u.oid and a.ritem "
        "= fu.oid and c.rtipo = 1121 and u.nome = 'ANA' and u.senha = '" +
        session::Codificar_Texto("ANAsegredo", 17) + "'"));
    EXPECT_FALSE(geral->Comum->rs) << "rs is released at the end";
    EXPECT_FALSE(geral->Comum->cmd);
    EXPECT_EQ(logged(), 0u);
}

TEST_P(GeralTest, WrongPasswordOpensNoSessionAndReportsNothing) {
    for (const char* bad : {"Segredo", "", "' OR '1'='1"}) {
        EXPECT_EQ(com::CStr(login("ana", bad)), "Usuário ou senha inválidos!") << bad;
        EXPECT_EQ(com::CStr(loginArgs[1]), session::Codificar_Texto(std::string("ANA") + bad, 17));
    }
    EXPECT_EQ(count("SELECT * FROM sessaoaplicativo"), 0);
    EXPECT_EQ(response->body(), "");
    EXPECT_EQ(logged(), 0u);
}

TEST_P(GeralTest, ApostrophesInTheLoginCannotChangeTheStatement) {
    EXPECT_EQ(com::CStr(login("x' OR 1=1 --", "y")), "Usuário ou senha inválidos!");
    EXPECT_EQ(com::CStr(login("O'Brien", "y")), "Usuário ou senha inválidos!");
    bool found = false;
    for (const auto& s : statements.sent()) found |= s.find("u.nome = 'O''BRIEN' and") != std::string::npos;
    EXPECT_TRUE(found);
    EXPECT_EQ(response->body(), "");
}

TEST_P(GeralTest, FailedSessionStartMakesLoginFailWith1002) {
    exec("DROP TABLE sessaoaplicativo");
    Variant r = login("ana", "segredo");
    const std::string text = com::CStr(r);
    ASSERT_EQ(text.rfind("1002 - ", 0), 0u) << text;
    const std::string inner = text.substr(7);
    EXPECT_EQ(geral->LastError, inner);
    const std::string page = response->body();
    EXPECT_NE(page.find("Rotina: <b>Orvan_Geral.Geral.Iniciar_Sessao_Uso</b>"), std::string::npos);
    EXPECT_NE(page.find("Rotina: <b>Orvan_Geral.Geral.Login</b>"), std::string::npos);
    EXPECT_NE(page.find("Código do erro: <b>1002</b>"), std::string::npos);
    auto entries = log->entries();
    ASSERT_EQ(entries.size(), 3u) << "two reports and the login's own line";
    EXPECT_EQ(entries[1].text.rfind("1002 - " + inner + "Sql: select a.ritem", 0), 0u) << entries[1].text;
}

TEST_P(GeralTest, UsageSessionJoinsAnotherApplicationsSessionAtTheStation) {
    exec("INSERT INTO sessaodeuso (OID, INICIO, SITUACAO) VALUES (500, '2026-01-01 08:00:00', 1)");
    exec("INSERT INTO sessaoaplicativo (OID, RSESSAODEUSO, rAplicativo, ESTACAO) VALUES (501, 500, 999, 'EST01')");
    const std::int32_t first = start(2001, "EST01");
    ASSERT_GT(first, 0);
    EXPECT_EQ(value("SELECT RSESSAODEUSO FROM sessaoaplicativo WHERE OID = " + std::to_string(first)), "500");
    EXPECT_EQ(count("SELECT * FROM sessaodeuso"), 1) << "joined, nothing new";
    // A second start there finds 500 already held by this application: a new usage session opens.
    const std::int32_t second = start(2001, "EST01");
    EXPECT_NE(value("SELECT RSESSAODEUSO FROM sessaoaplicativo WHERE OID = " + std::to_string(second)), "500");
    EXPECT_EQ(count("SELECT * FROM sessaodeuso"), 2);
    EXPECT_EQ(geral->LastError, "");
}

TEST_P(GeralTest, SessionsAtOrBelowSevenAreNeverJoinedOrClosed) {
    exec("INSERT INTO sessaodeuso (OID, SITUACAO) VALUES (7, 1)");
    exec("INSERT INTO sessaoaplicativo (OID, RSESSAODEUSO, rAplicativo, ESTACAO) VALUES (601, 7, 999, 'EST02')");
    const std::int32_t app = start(2001, "EST02");
    EXPECT_NE(value("SELECT RSESSAODEUSO FROM sessaoaplicativo WHERE OID = " + std::to_string(app)), "7");
    exec("INSERT INTO sessaoaplicativo (OID, RSESSAODEUSO, rAplicativo, ESTACAO) VALUES (602, 7, 15339, 'EST02')");
    std::int32_t oid = 602;
    std::int16_t motivo = 2;
    EXPECT_TRUE(geral->Finalizar_Sessao_Uso(oid, motivo));
    EXPECT_EQ(value("SELECT SITUACAO FROM sessaodeuso WHERE OID = 7"), "1");
    EXPECT_EQ(count("SELECT * FROM sessaoaplicativo WHERE OID = 602 AND TERMINO IS NOT NULL"), 1);
}

TEST_P(GeralTest, StationWithAnApostropheIsStoredAsGiven) {
    const std::int32_t app = start(2001, "SALA D'ÁGUA");
    ASSERT_GT(app, 0) << geral->LastError;
    EXPECT_EQ(value("SELECT ESTACAO FROM sessaoaplicativo WHERE OID = " + std::to_string(app)), "SALA D'ÁGUA");
}

TEST_P(GeralTest, EndingClosesBothSessionsWithTheReason) {
    com::DateParts at;
    at.year = 2025, at.month = 12, at.day = 31, at.hour = 23, at.minute = 59, at.second = 59;
    const PinnedClock clock(at);
    for (std::int16_t motivo : {std::int16_t{2}, std::int16_t{5}}) {
        const std::int32_t app = start(2001, "EST0" + std::to_string(motivo));
        Variant args[] = {Variant(app), motivo == 2 ? Variant::missing() : Variant(motivo)};
        Variant ok = com::invoke(*geral, "Finalizar_Sessao_Uso", com::kMethod, args);
        EXPECT_TRUE(com::CBool(ok));
        const std::string usage =
            value("SELECT RSESSAODEUSO FROM sessaoaplicativo WHERE OID = " + std::to_string(app));
        EXPECT_EQ(value("SELECT SITUACAO FROM sessaodeuso WHERE OID = " + usage), std::to_string(motivo));
        EXPECT_EQ(count("SELECT * FROM sessaodeuso WHERE TERMINO IS NULL AND OID = " + usage), 0);
        EXPECT_EQ(count("SELECT * FROM sessaoaplicativo WHERE TERMINO IS NULL AND OID = " + std::to_string(app)), 0);
        // Stored times are the environment's clock read back to the second.
        auto t = rows("SELECT TERMINO FROM sessaodeuso WHERE OID = " + usage);
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(com::CDate(t[0][0]), clock.serial());
        EXPECT_EQ(com::formatGeneralDate(com::CDate(t[0][0]), com::Regional::ptBR()), "31/12/2025 23:59:59");
    }
    EXPECT_EQ(geral->LastError, "");
}

TEST_P(GeralTest, EndingAClosedSessionFailsWithoutWriting) {
    const std::int32_t app = start(2001, "EST09");
    std::int32_t oid = app;
    std::int16_t motivo = 2;
    ASSERT_TRUE(geral->Finalizar_Sessao_Uso(oid, motivo));
    geral->LastError = "antes";
    const std::size_t before = logged();
    EXPECT_FALSE(geral->Finalizar_Sessao_Uso(oid, motivo));
    EXPECT_EQ(geral->LastError.rfind("3021 - ", 0), 0u) << geral->LastError;
    EXPECT_NE(response->body().find("Orvan_Geral.Geral.Finalizar_Sessao_Uso"), std::string::npos);
    EXPECT_EQ(logged(), before + 1);
    // A usage session that someone else already closed: the application session still closes, no failure.
    const std::int32_t other = start(2001, "EST10");
    exec("UPDATE sessaodeuso SET TERMINO = '2026-01-01 00:00:00', SITUACAO = 9 WHERE OID = (SELECT RSESSAODEUSO "
         "FROM sessaoaplicativo WHERE OID = " + std::to_string(other) + ")");
    oid = other;
    EXPECT_TRUE(geral->Finalizar_Sessao_Uso(oid, motivo));
    EXPECT_EQ(geral->LastError, "");
}

TEST_P(GeralTest, FailedIdentifierWritesNoRowWithMinusOne) {
    if (onPostgres()) exec("DROP FUNCTION atualoid()");
    else exec("DELETE FROM sys_procedures WHERE name = 'atualoid'");
    EXPECT_EQ(start(2001, "EST11"), 0);
    EXPECT_EQ(count("SELECT * FROM sessaodeuso"), 0);
    EXPECT_EQ(count("SELECT * FROM sessaoaplicativo"), 0);
    EXPECT_NE(geral->LastError, "");
    EXPECT_NE(response->body().find("Orvan_Geral.Comum.Gerar_Oid"), std::string::npos);
    const std::string text = com::CStr(login("ana", "segredo"));
    EXPECT_EQ(text.rfind("1002 - ", 0), 0u) << text;
}

TEST_P(GeralTest, ParameterValuesWithItemFallback) {
    exec("INSERT INTO categoria (oid, nomeinterno) VALUES (8001, 'EMAIL')");
    exec("INSERT INTO dadoadicional (oid, rtipo) VALUES (8101, 8001)");
    exec("INSERT INTO aditivo (oid, rdefinicao, ritem, svalor, DTvalor) "
         "VALUES (8201, 8101, 1, '  geral@x  ', '2008-12-25 14:05:09')");
    exec("INSERT INTO aditivo (oid, rdefinicao, ritem, svalor) VALUES (8202, 8101, 50, 'proprio')");
    exec("INSERT INTO categoria (oid, nomeinterno) VALUES (8002, 'VAZIO')");
    exec("INSERT INTO dadoadicional (oid, rtipo) VALUES (8102, 8002)");
    exec("INSERT INTO aditivo (oid, rdefinicao, ritem) VALUES (8203, 8102, 1)");
    struct Case {
        const char* name;
        Variant item;
        Variant tipo;
        const char* expected;
    };
    const Case cases[] = {
        {"email", Variant::missing(), Variant::missing(), "geral@x"},
        {"Email", Variant(std::int32_t{50}), Variant("S"), "proprio"},
        {"EMAIL", Variant(std::int32_t{77}), Variant::missing(), "geral@x"},
        {"EMAIL", Variant(std::int32_t{77}), Variant("D"), "25/12/2008 14:05:09"},
        {"EMAIL", Variant(std::int32_t{77}), Variant("d"), "geral@x"},
        {"NADA", Variant::missing(), Variant::missing(), ""},
        {"VAZIO", Variant::missing(), Variant::missing(), "Null"},
        {"x') OR ('1'='1", Variant::missing(), Variant::missing(), ""},
    };
    for (const auto& c : cases) {
        Variant args[] = {Variant(c.name), c.item, c.tipo};
        Variant r = com::invoke(*geral, "fObterValorParametro", com::kMethod, args);
        EXPECT_EQ(r.isNull() ? std::string("Null") : com::CStr(r), c.expected) << c.name;
        EXPECT_EQ(com::CStr(args[0]), com::UCase(std::string(c.name))) << "written back upper-cased";
    }
    EXPECT_TRUE(statements.contains(
        "SELECT * FROM aditivo WHERE rdefinicao = (SELECT oid FROM dadoadicional WHERE rtipo = (SELECT oid FROM "
        "categoria WHERE nomeinterno = 'EMAIL')) AND ritem = 77"));
    EXPECT_TRUE(statements.contains(
        "SELECT * FROM aditivo WHERE rdefinicao = (SELECT oid FROM dadoadicional WHERE rtipo = (SELECT oid FROM "
        "categoria WHERE nomeinterno = 'EMAIL')) and ritem = 1"));
    EXPECT_EQ(response->body(), "");
}

TEST_P(GeralTest, ParameterFailurePassesToTheCaller) {
    exec("DROP TABLE aditivo");
    Variant args[] = {Variant("email")};
    EXPECT_THROW(com::invoke(*geral, "fObterValorParametro", com::kMethod, args), com::ComError);
    EXPECT_EQ(com::CStr(args[0]), "EMAIL");
    EXPECT_EQ(response->body(), "") << "no report";
}

TEST_P(GeralTest, FieldLabelsStayReadableAfterTheCall) {
    exec("INSERT INTO rotulo (oid, raplicativo, controle, valor) VALUES (1, 15339, 'sLogin', 'Usuário')");
    exec("INSERT INTO rotulo (oid, raplicativo, controle, valor) VALUES (2, 15339, 'Senha', 'Senha')");
    exec("INSERT INTO rotulo (oid, raplicativo, controle, valor) VALUES (3, 99, 'x', 'y')");
    std::int32_t app = 15339;
    auto rs = geral->fObterRotuloCpo(app);
    ASSERT_TRUE(rs);
    EXPECT_FALSE(geral->Comum->cmd);
    geral->Comum = nullptr;  // even the connection's owner going away must not matter
    std::vector<std::string> labels;
    for (; !rs->get_EOF(); rs->MoveNext())
        labels.push_back(com::CStr(data::fieldValue(*rs, "controle")) + "=" + com::CStr(data::fieldValue(*rs, "valor")));
    std::sort(labels.begin(), labels.end());
    EXPECT_EQ(labels, (std::vector<std::string>{"Senha=Senha", "sLogin=Usuário"}));
    EXPECT_EQ(rs->get_Fields()->get_Count(), 2);

    geral = com::make<session::Geral>();
    std::int32_t none = 1;
    auto empty = geral->fObterRotuloCpo(none);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->get_EOF());
}

TEST_P(GeralTest, FailedFieldLabelsEndTheResponse) {
    exec("DROP TABLE rotulo");
    std::int32_t app = 15339;
    EXPECT_THROW(geral->fObterRotuloCpo(app), com::ResponseEnded);
    EXPECT_TRUE(response->ended());
    EXPECT_NE(response->body().find("Rotina: <b>Orvan_Geral.Geral.fObterRotuloCpo</b>"), std::string::npos);
    EXPECT_TRUE(geral->Comum->cmd) << "the command stays on the failure path";
}

TEST_P(GeralTest, MethodsWithoutComumFailToTheCaller) {
    geral->Comum = nullptr;
    std::string s = "x";
    std::int32_t u = 1;
    try {
        geral->Iniciar_Sessao_Uso(u, s);
        FAIL();
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), com::err::ObjectNotSet);
    }
    EXPECT_FALSE(geral->DataHoraAgora().empty()) << "the clock needs no Comum";
}

ORVAN_ON_ALL_ENGINES(GeralTest);

}  // namespace
}  // namespace orvan::testing
