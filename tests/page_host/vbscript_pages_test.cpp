// VBScript pages in the host: the page's language by directive or default, by-reference arguments
// and errors across the dispatch boundary, the intrinsic objects and For Each over their collections,
// Response.End past On Error Resume Next, the time budget, syntax errors before anything runs, includes
// in the page's language, and global.asa written in VBScript.
#include <fstream>

#include "page_host/global_asa.h"
#include "page_test_support.h"

namespace orvan::host::test {
namespace {

using VBScriptPages = PageTest;

TEST_F(VBScriptPages, ArgumentsGoByReferenceUnlessParenthesisedAndErrorsKeepTheComponentsNumber) {
    const PageResult r = run("vbscript/byref.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body,
              "bump=42;fill=filled;paren=41;call=42;failed=1234,failed after writing,Test.Probe,written=99;"
              "date=2026-12-08 09:30:00;echo=Null,Empty;\n");
}

TEST_F(VBScriptPages, IntrinsicObjectsAnswerDefaultMembersPutsAndForEach) {
    request.query = {{"a", "1"}, {"b", "2"}};
    application->SetValue("hits", com::Variant(std::int32_t{4}));
    const PageResult r = run("vbscript/intrinsics.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "ana;a=1;b=2;2;2;5;&lt;a&gt;;\n");
    EXPECT_EQ(com::CStr(session->Value("login")), "ana");
    ASSERT_EQ(r.response.cookies.size(), 1u);
    EXPECT_EQ(r.response.cookies[0].name, "c");
    EXPECT_EQ(r.response.cookies[0].value, "v");
}

TEST_F(VBScriptPages, ResponseEndStopsThePageEvenUnderOnErrorResumeNext) {
    const PageResult r = run("vbscript/end.asp");
    EXPECT_EQ(r.outcome, PageOutcome::Ended) << describe(r);
    EXPECT_EQ(r.response.body, "a");
}

TEST_F(VBScriptPages, AnUnhandledErrorIsReportedAtItsLineAfterWhatThePageWrote) {
    const PageResult r = run("vbscript/error.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Failed) << describe(r);
    ASSERT_TRUE(r.error);
    EXPECT_TRUE(r.error->where.file.ends_with("vbscript/error.asp")) << r.error->where.file;
    EXPECT_EQ(r.error->where.line, 4);
    EXPECT_EQ(r.error->number, static_cast<std::int32_t>(0x800A000Bu));
    EXPECT_EQ(r.error->description, "Division by zero");
    EXPECT_EQ(r.response.body, "<p>before</p>\n");

    const PageResult component = run("vbscript/component_error.asp");
    ASSERT_EQ(component.outcome, PageOutcome::Failed) << describe(component);
    EXPECT_EQ(component.error->where.line, 3);
    EXPECT_EQ(component.error->number, static_cast<std::int32_t>(0x800A0BCDu));
    EXPECT_EQ(component.error->description, "no current row");
    EXPECT_EQ(component.error->source, "Test.Probe");
}

TEST_F(VBScriptPages, ASyntaxErrorFailsThePageBeforeAnyOfItRuns) {
    const PageResult r = run("vbscript/syntax.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Failed) << describe(r);
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->where.line, 4);
    EXPECT_NE(r.error->description.find("Syntax error"), std::string::npos) << r.error->description;
    EXPECT_NE(r.error->description.find("column"), std::string::npos) << r.error->description;
    EXPECT_EQ(r.error->number & 0xFFFF0000, static_cast<std::int32_t>(0x800A0000u));
    EXPECT_EQ(r.response.body, "");
}

TEST_F(VBScriptPages, TheScriptTimeoutStopsAnEndlessLoop) {
    const PageResult r = run("vbscript/timeout.asp");
    ASSERT_EQ(r.outcome, PageOutcome::TimedOut) << describe(r);
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->number, kScriptTimedOut);
}

TEST_F(VBScriptPages, IncludesTakeThePagesLanguageAndLiteralTextSurvivesQuotesAndLineBreaks) {
    const PageResult r = run("vbscript/include.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "\n\n<p>42</p>\nyes\n");

    const PageResult literal = run("vbscript/literal.asp");
    ASSERT_EQ(literal.outcome, PageOutcome::Completed) << describe(literal);
    EXPECT_EQ(literal.response.body, "<p class=\"q\">\"quoted\" 'single' x\ttab\nsecond line</p>!\n");
}

TEST_F(VBScriptPages, ThePageNamesItsLanguageAndOneLanguageRunsAPage) {
    const PageResult js = run("vbscript/jscript_by_directive.asp");
    ASSERT_EQ(js.outcome, PageOutcome::Completed) << describe(js);
    EXPECT_EQ(js.response.body, "\n1+2+3\n");

    const PageResult mixed = run("vbscript/other_language_block.asp");
    ASSERT_EQ(mixed.outcome, PageOutcome::Failed) << describe(mixed);
    EXPECT_EQ(mixed.error->where.line, 2);
    EXPECT_NE(mixed.error->description.find("one language"), std::string::npos) << mixed.error->description;
}

TEST_F(VBScriptPages, GlobalAsaInVBScriptRunsItsEventProcedures) {
    const std::filesystem::path site = std::filesystem::temp_directory_path() /
                                       ("orvan-vbasa-" + std::to_string(::getpid()));
    std::filesystem::create_directories(site);
    std::ofstream(site / "global.asa") << "<script language=\"VBScript\" runat=\"server\">\n"
                                          "Sub Application_OnStart\n"
                                          "    Application(\"started\") = \"yes\"\n"
                                          "End Sub\n"
                                          "Sub Session_OnStart\n"
                                          "    Session(\"n\") = Application(\"started\") & \"!\"\n"
                                          "    Err.Raise 5\n"
                                          "End Sub\n"
                                          "</script>\n";
    const auto asa = loadGlobalAsa(site, ScriptLanguage::JScript);
    ASSERT_TRUE(asa);
    EXPECT_EQ(asa->language, ScriptLanguage::VBScript);

    GlobalEventRun run;
    run.siteRoot = site;
    run.application = application;
    run.session = session;
    const PageResult started = runGlobalEvent(run, *asa, GlobalEvent::ApplicationOnStart);
    EXPECT_EQ(started.outcome, PageOutcome::Completed) << describe(started);
    EXPECT_EQ(com::CStr(application->Value("started")), "yes");

    const PageResult sessionStart = runGlobalEvent(run, *asa, GlobalEvent::SessionOnStart);
    ASSERT_EQ(sessionStart.outcome, PageOutcome::Failed) << describe(sessionStart);
    EXPECT_EQ(sessionStart.error->where.line, 7);
    EXPECT_EQ(com::CStr(session->Value("n")), "yes!");

    const PageResult ended = runGlobalEvent(run, *asa, GlobalEvent::SessionOnEnd);
    EXPECT_EQ(ended.outcome, PageOutcome::Completed) << "no handler: nothing to run";
    std::filesystem::remove_all(site);
}

}  // namespace
}  // namespace orvan::host::test
