// The frame of the three classes: creation and release, the published references, the host objects
// obtained once, late-bound access to the properties, and the clock and universal date text.
#include <gtest/gtest.h>

#include <regex>

#include "agenda/pauta.h"
#include "com_server/conversions.h"
#include "com_server/dispatch.h"
#include "data_access/comum.h"
#include "page_fixture.h"
#include "session_services/geral.h"

namespace orvan::testing {
namespace {

using com::ComPtr;
using com::Variant;

class FrameTest : public PageFixture {
protected:
    void SetUp() override {
        PageFixture::SetUp();
        useSqlite();
    }
};

TEST_F(FrameTest, NewComumHasEmptySlotsAndOpenConnections) {
    auto c = com::make<data::Comum>();
    for (const char* slot : {"cmd", "cmd2", "cmd3", "rs", "rs2", "rs3"}) {
        Variant v = com::getProperty(*c, slot);
        EXPECT_TRUE(v.isObject() && !v.rawObject()) << slot;
    }
    ASSERT_TRUE(c->conex && c->conex2 && c->oData);
    EXPECT_NE(c->conex, c->conex2);
    EXPECT_EQ(c->conex->get_State(), data::ado::adStateOpen);
    EXPECT_EQ(c->conex2->get_State(), data::ado::adStateOpen);
    EXPECT_EQ(response->body(), "") << "a working opening writes nothing";
}

TEST_F(FrameTest, CreationWithoutAPageFails) {
    scope.reset();
    try {
        com::make<data::Comum>();
        FAIL() << "no object context must fail the creation";
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), com::err::NoObjectContext);
        EXPECT_NE(e.description().find("object context"), std::string::npos);
    }
    EXPECT_THROW(com::make<session::Geral>(), com::ComError);
    EXPECT_THROW(com::make<agenda::Pauta>(), com::ComError);
    scope = std::make_unique<com::ObjectContextScope>(context);
}

TEST_F(FrameTest, UnreadableCommandTimeoutReportsBothOpeningsAndStillCreates) {
    application->SetValue("dataconn_CommandTimeout", Variant("abc"));
    auto c = com::make<data::Comum>();
    const std::string page = response->body();
    EXPECT_NE(page.find("Rotina: <b>Orvan_Geral.Comum.Abrir_Conexao</b>"), std::string::npos);
    EXPECT_NE(page.find("Rotina: <b>Orvan_Geral.Comum.Abrir_Conexao2</b>"), std::string::npos);
    EXPECT_NE(page.find("Código do erro: <b>13</b>"), std::string::npos);
    EXPECT_EQ(log->entries().size(), 2u);
    ASSERT_TRUE(c->conex);
    EXPECT_EQ(c->conex->get_State(), data::ado::adStateClosed);
    Variant r = c->Abrir_Conexao();
    EXPECT_EQ(com::CStr(r), "Erro ao abrir conexão: Type mismatch");
    Variant r2 = c->Abrir_Conexao2();
    EXPECT_EQ(com::CStr(r2), "Erro ao abrir conexão (2): Type mismatch");
}

TEST_F(FrameTest, SuccessfulOpeningReturnsIntegerZeroAndReplacesOnlyItsConnection) {
    auto c = com::make<data::Comum>();
    ComPtr<data::ado::Connection> first = c->conex, second = c->conex2;
    Variant r = com::invoke(*c, "abrir_conexao", com::kMethod);
    EXPECT_EQ(r.type(), com::VarType::Integer);
    EXPECT_EQ(r.rawInt(), 0);
    EXPECT_NE(c->conex, first);
    EXPECT_EQ(c->conex->get_State(), data::ado::adStateOpen);
    EXPECT_EQ(c->conex2, second);
}

TEST_F(FrameTest, UsarResponseObtainsTheObjectOnce) {
    auto c = com::make<data::Comum>();
    c->Usar_Response();
    auto other = com::make<com::MemoryResponse>();
    context.set("Response", Variant(other));
    c->Usar_Response();
    c->Tratar_Erro("", "R", 1, "D");
    EXPECT_NE(response->body().find("Rotina: <b>R</b>"), std::string::npos);
    EXPECT_EQ(other->body(), "");
}

TEST_F(FrameTest, HostItemOfTheWrongKindIsATypeMismatchAndLeavesTheReferenceEmpty) {
    auto c = com::make<data::Comum>();
    context.set("Session", Variant(com::ComPtr<com::Object>(response)));
    try {
        c->Usar_Session();
        FAIL();
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), com::err::TypeMismatch);
    }
    try {
        c->Usar_Request();
        FAIL();
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), 3265) << "no Request item in this context";
    }
}

TEST_F(FrameTest, ReleasingComumWithConex2ClearedCompletes) {
    const long before = com::ComponentObject::alive();
    {
        auto c = com::make<data::Comum>();
        com::putRefProperty(*c, "conex2", Variant(nullptr));
        EXPECT_FALSE(c->conex2);
    }
    EXPECT_EQ(com::ComponentObject::alive(), before);
}

TEST_F(FrameTest, GeralAndPautaOwnAComumThatScriptsCanReadAndReplace) {
    auto g = com::make<session::Geral>();
    auto p = com::make<agenda::Pauta>();
    for (com::Object* owner : {static_cast<com::Object*>(g.get()), static_cast<com::Object*>(p.get())}) {
        Variant a = com::getProperty(*owner, "Comum");
        Variant b = com::getProperty(*owner, "comum");
        ASSERT_TRUE(a.isObject() && a.rawObject());
        EXPECT_EQ(a.rawObject(), b.rawObject());

        // Replacing releases the previous Comum once nothing else holds it.
        const long alive = com::ComponentObject::alive();
        a = Variant();
        b = Variant();
        auto replacement = com::make<data::Comum>();
        com::putRefProperty(*owner, "Comum", Variant(replacement));
        EXPECT_EQ(com::ComponentObject::alive(), alive) << "one Comum created, the replaced one released";
        EXPECT_EQ(com::getProperty(*owner, "Comum").rawObject(), ComPtr<com::Object>(replacement));

        com::putRefProperty(*owner, "Comum", Variant(nullptr));
    }
    EXPECT_EQ(g->LastError, "");
    com::putProperty(*g, "LastError", Variant("x"));
    EXPECT_EQ(com::CStr(com::getProperty(*g, "lasterror")), "x");
}

TEST_F(FrameTest, DataHoraAgoraIsYearFirstWithRegionalTime) {
    auto g = com::make<session::Geral>();
    const std::string text = g->DataHoraAgora();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})"))) << text;
    EXPECT_NEAR(com::CDate(Variant(text)), com::now(), 2.0 / 86400);
    {
        com::RegionalScope us(com::Regional::enUS());
        const std::string t = g->DataHoraAgora();
        EXPECT_TRUE(std::regex_match(t, std::regex(R"(\d{4}-\d{2}-\d{2} \d{1,2}:\d{2}:\d{2} (AM|PM))"))) << t;
        EXPECT_NEAR(com::CDate(Variant(t)), com::now(), 2.0 / 86400);
    }
}

struct UniversalCase {
    const char* input;
    const char* result;
    const char* rewritten;
};

TEST_F(FrameTest, DataHoraUniversalUnderPtBr) {
    auto p = com::make<agenda::Pauta>();
    const UniversalCase cases[] = {
        {"25/12/2008 14:05:09", "2008-12-25 14:05:09", "25/12/2008 14:05:09"},
        {"5/1/2009 7:03", "2009-01-05 07:03:00", "05/01/2009 07:03:00"},
        {"25/12/2008", "2008-12-25 00:00:00", "25/12/2008"},
        {"08:30", "1899-12-30 08:30:00", "08:30:00"},
        {"2008-12-25 14:05:09", "2008-12-25 14:05:09", "25/12/2008 14:05:09"},
        {"31/12/49 23:59:59", "2049-12-31 23:59:59", "31/12/2049 23:59:59"},
        {"1/1/50", "1950-01-01 00:00:00", "01/01/1950"},
    };
    for (const auto& c : cases) {
        Variant args[] = {Variant(c.input)};
        Variant r = com::invoke(*p, "DataHoraUniversal", com::kMethod, args);
        EXPECT_EQ(com::CStr(r), c.result) << c.input;
        EXPECT_EQ(com::CStr(args[0]), c.rewritten) << c.input;
    }
}

TEST_F(FrameTest, DataHoraUniversalUnderEnUs) {
    com::RegionalScope us(com::Regional::enUS());
    auto p = com::make<agenda::Pauta>();
    const UniversalCase cases[] = {
        {"12/25/2008 2:05:09 PM", "2008-12-25 14:05:09", "12/25/2008 2:05:09 PM"},
        {"1/5/2009 7:03", "2009-01-05 07:03:00", "1/5/2009 7:03:00 AM"},
        {"2008-12-25 14:05:09", "2008-12-25 14:05:09", "12/25/2008 2:05:09 PM"},
        {"25/12/2008", "2008-12-25 00:00:00", "12/25/2008"},
    };
    for (const auto& c : cases) {
        std::string s = c.input;
        EXPECT_EQ(p->DataHoraUniversal(s), c.result) << c.input;
        EXPECT_EQ(s, c.rewritten) << c.input;
    }
}

TEST_F(FrameTest, DataHoraUniversalRaisesTypeMismatchAndKeepsTheText) {
    auto p = com::make<agenda::Pauta>();
    for (const char* bad : {"", "abc", "32/13/2008", "25/12/2008 25:00"}) {
        Variant args[] = {Variant(bad)};
        try {
            com::invoke(*p, "DataHoraUniversal", com::kMethod, args);
            FAIL() << bad;
        } catch (const com::ComError& e) {
            EXPECT_EQ(e.number(), com::err::TypeMismatch) << bad;
            EXPECT_EQ(e.description(), "Type mismatch");
        }
        EXPECT_EQ(com::CStr(args[0]), bad);
    }
    EXPECT_EQ(response->body(), "") << "the method traps nothing and reports nothing";
}

}  // namespace
}  // namespace orvan::testing
