// The error report of Comum.Tratar_Erro: the exact bytes in the page and in the event log, escaping,
// and its own failure path.
#include <gtest/gtest.h>

#include "com_server/conversions.h"
#include "com_server/dispatch.h"
#include "data_access/comum.h"
#include "page_fixture.h"

namespace orvan::testing {
namespace {

using com::Variant;

const std::string kDashes(70, '-');

class ErrorReportTest : public PageFixture {
protected:
    void SetUp() override {
        PageFixture::SetUp();
        useSqlite();
        comum = com::make<data::Comum>();
        before = response->body().size();
        beforeWrites = response->writes();
        beforeLog = log->entries().size();
    }
    // What the report appended to the page.
    std::string written() const { return response->body().substr(before); }
    // The date text shown after "Data: <b>", checked to be now; the expected texts are then exact.
    std::string shownDate(const std::string& page) const {
        auto b = page.find("Data: <b>");
        EXPECT_NE(b, std::string::npos);
        b += 9;
        std::string date = page.substr(b, page.find("</b>", b) - b);
        double shown = com::CDate(Variant(date));
        EXPECT_NEAR(shown, com::now(), 5.0 / 86400) << date;
        return date;
    }

    com::ComPtr<data::Comum> comum;
    std::size_t before = 0, beforeLog = 0;
    int beforeWrites = 0;
};

TEST_F(ErrorReportTest, PageBlockAndLogEntryAreExact) {
    comum->Tratar_Erro("SELECT 1\r\nFROM t", "Orvan_Geral.Teste", -5, "Falhou");
    const std::string page = written();
    const std::string date = shownDate(page);
    const std::string expectedPage =
        "<font face='Trebuchet MS' style='font-size: 10pt;'>"
        "<BR>\r\n" + kDashes + "<BR>\r\n"
        "Data: <b>" + date + "</b><BR>\r\n"
        "Rotina: <b>Orvan_Geral.Teste</b><BR>\r\n"
        "Código do erro: <b>-5</b><BR>\r\n"
        "Descrição do erro: <b>Falhou</b><BR>\r\n"
        "SQL executado: <b>SELECT 1<BR>\r\nFROM t</b><BR>\r\n" + kDashes + "<BR>\r\n<BR>\r\n"
        "</font>";
    EXPECT_EQ(page, expectedPage);
    EXPECT_EQ(response->writes() - beforeWrites, 3) << "font tag, block and closing tag are three writes";

    auto entries = log->entries();
    ASSERT_EQ(entries.size(), beforeLog + 1);
    EXPECT_EQ(entries.back().type, com::EventType::Error);
    EXPECT_EQ(entries.back().source, "Orvan_Geral");
    EXPECT_EQ(entries.back().text, "\r\n" + kDashes + "\r\nData: " + date +
                                       "\r\nRotina: Orvan_Geral.Teste\r\nCódigo do erro: -5\r\n"
                                       "Descrição do erro: Falhou\r\nSQL executado: SELECT 1\r\nFROM t\r\n" +
                                       kDashes + "\r\n\r\n");
    EXPECT_EQ(entries.back().routine, "Orvan_Geral.Teste") << "the journal's ORVAN_ROUTINE";
    EXPECT_EQ(entries.back().errorNumber, -5) << "the journal's ORVAN_ERROR_NUMBER";
}

TEST_F(ErrorReportTest, EmptyStatementIsShownAsNotGiven) {
    comum->Tratar_Erro("", "R", 1, "D");
    EXPECT_NE(written().find("SQL executado: <b>Não informado.</b><BR>\r\n"), std::string::npos);
    EXPECT_NE(log->entries().back().text.find("SQL executado: Não informado.\r\n"), std::string::npos);
}

TEST_F(ErrorReportTest, ValuesAreEscapedInThePageButRawInTheLog) {
    comum->Tratar_Erro("SELECT * FROM t WHERE a < 1 AND b = 'x'", "<script>", 13,
                       "near \"<b>\" & <i>stuff</i>");
    const std::string page = written();
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("<i>"), std::string::npos);
    EXPECT_NE(page.find("Rotina: <b>&lt;script&gt;</b>"), std::string::npos);
    EXPECT_NE(page.find("WHERE a &lt; 1 AND b = &#39;x&#39;</b>"), std::string::npos);
    EXPECT_NE(page.find("near &quot;&lt;b&gt;&quot; &amp; &lt;i&gt;stuff&lt;/i&gt;</b>"), std::string::npos);
    // The log keeps the raw values; only the report's own bold tags are removed (with any in the values).
    const std::string entry = log->entries().back().text;
    EXPECT_NE(entry.find("Rotina: <script>\r\n"), std::string::npos);
    EXPECT_NE(entry.find("WHERE a < 1 AND b = 'x'\r\n"), std::string::npos);
    EXPECT_EQ(entry.find("<b>"), std::string::npos);
    EXPECT_EQ(entry.find("<BR>"), std::string::npos);
}

TEST_F(ErrorReportTest, TwoFailuresGiveTwoCompleteBlocks) {
    comum->Tratar_Erro("", "A", 1, "um");
    comum->Tratar_Erro("", "B", 2, "dois");
    const std::string page = written();
    const auto first = page.find("</font>");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(page.find("<font face='Trebuchet MS'", first), std::string::npos);
    EXPECT_NE(page.find("Rotina: <b>B</b>", first), std::string::npos);
    EXPECT_EQ(log->entries().size(), beforeLog + 2);
}

TEST_F(ErrorReportTest, FailingDateHelperWritesOnlyTheFailureLine) {
    comum->Usar_Response();
    comum->oData = nullptr;
    comum->Tratar_Erro("", "R", 1, "D");
    EXPECT_EQ(written(), "Erro na função <b>Tratar_Erro</b>: Object variable or With block variable not set");
    EXPECT_EQ(log->entries().size(), beforeLog);
}

TEST_F(ErrorReportTest, PublishedMemberTakesSixteenBitsButFailurePathsKeepTheFullNumber) {
    Variant args[] = {Variant(""), Variant("R"), Variant(std::int32_t{-2147217900}), Variant("D")};
    try {
        com::invoke(*comum, "Tratar_Erro", com::kMethod, args);
        FAIL() << "a 32-bit number through the 16-bit parameter must overflow";
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), com::err::Overflow);
    }
    EXPECT_EQ(written(), "");
    comum->reportFailure("", "Orvan_Geral.Comum.Executar", -2147217900, "syntax error");
    EXPECT_NE(written().find("Código do erro: <b>-2147217900</b>"), std::string::npos);
    EXPECT_EQ(log->entries().back().errorNumber, -2147217900);
    EXPECT_EQ(log->entries().back().routine, "Orvan_Geral.Comum.Executar");
}

TEST_F(ErrorReportTest, ReportWithoutAnyPageStillReachesTheLog) {
    // An object whose page went away: there is no context to find a Response in.
    auto lonely = com::make<data::Comum>();
    scope.reset();
    lonely->reportFailure("", "R", 7, "sem página");
    scope = std::make_unique<com::ObjectContextScope>(context);
    EXPECT_NE(log->entries().back().text.find("sem página"), std::string::npos);
}

}  // namespace
}  // namespace orvan::testing
