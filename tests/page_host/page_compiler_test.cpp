// The page compiler: literal HTML and blocks in order, includes (file, virtual, case and backslashes,
// refusals), the page's own file and line in every report, and the rewriting of assignments to calls.
#include "page_host/internal/call_assignments.h"
#include "page_test_support.h"

namespace orvan::host::test {
namespace {

using Compiler = PageTest;

TEST_F(Compiler, LiteralsBlocksAndExpressionsComeOutInPageOrder) {
    const PageResult r = run("compiler/mixed.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body,
              "\n<html>\n\n<p>42</p>\n<i>0</i><i>1</i>\n<!-- an ordinary comment -->\n\"quoted\" \\ "
              "back\n</html>\n");
}

TEST_F(Compiler, IncludesByFileAndVirtualPathWhateverTheCaseAndSlashes) {
    const PageResult r = run("compiler/includes.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    std::string body = r.response.body;
    std::erase(body, '\n');
    EXPECT_EQ(body, "header|footer|casing");

    siteRoot = pagesDir() / "compiler" / "site";
    const PageResult inside = run("inside.asp");
    ASSERT_EQ(inside.outcome, PageOutcome::Completed) << describe(inside);
    EXPECT_EQ(inside.response.body, "site include\n\n");
}

TEST_F(Compiler, ServerScriptBlocksAreCodeAndOtherScriptsAreHtml) {
    const PageResult r = run("compiler/script_block.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Failed) << describe(r);
    EXPECT_EQ(r.response.body, "\n<p>42</p>\n<SCRIPT type=\"text/javascript\">client(1 < 2)</SCRIPT>\n");
    EXPECT_EQ(r.error->where.line, 7);
    EXPECT_NE(r.error->description.find("missing"), std::string::npos) << r.error->description;
}

// Every report names the file and line the failing code was written on, through includes too.
TEST_F(Compiler, ErrorsNameThePageOrIncludeFileAndLine) {
    struct Case {
        const char* page;
        const char* file;  // the end of the reported file
        int line;
        const char* text;  // part of the description
    } cases[] = {
        {"compiler/include_error.asp", "compiler/inc/fails.inc", 4, "inside the include"},
        {"compiler/after_include.asp", "compiler/after_include.asp", 4, "ReferenceError"},
        {"compiler/syntax_error.asp", "compiler/syntax_error.asp", 3, "Syntax error"},
        {"compiler/unclosed.asp", "compiler/unclosed.asp", 3, "not closed"},
        {"compiler/perlscript.asp", "compiler/perlscript.asp", 1, "PerlScript"},
        {"compiler/missing_include.asp", "compiler/missing_include.asp", 2, "include file not found"},
        {"compiler/cycle.asp", "compiler/inc/cycle_b.inc", 2, "include cycle"},
    };
    for (const Case& c : cases) {
        const PageResult r = run(c.page);
        ASSERT_EQ(r.outcome, PageOutcome::Failed) << c.page << ": " << describe(r);
        ASSERT_TRUE(r.error);
        EXPECT_TRUE(r.error->where.file.ends_with(c.file)) << c.page << ": " << r.error->where.file;
        EXPECT_EQ(r.error->where.line, c.line) << c.page;
        EXPECT_NE(r.error->description.find(c.text), std::string::npos)
            << c.page << ": " << r.error->description;
    }
}

TEST_F(Compiler, IncludesLeavingTheSiteRootAreRefused) {
    siteRoot = pagesDir() / "compiler" / "site";
    for (const auto& [page, line] : {std::pair{"outside.asp", 2}, std::pair{"outside_virtual.asp", 3}}) {
        const PageResult r = run(page);
        ASSERT_EQ(r.outcome, PageOutcome::Failed) << page << ": " << describe(r);
        EXPECT_NE(r.error->description.find("outside the site root"), std::string::npos)
            << r.error->description;
        EXPECT_EQ(r.error->where.line, line) << page;
        EXPECT_EQ(r.response.body.find("secret"), std::string::npos);
    }
}

TEST_F(Compiler, APageOutsideTheSiteRootIsNotRun) {
    siteRoot = pagesDir() / "compiler" / "site";
    const PageResult r = run("../mixed.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Failed) << describe(r);
    EXPECT_NE(r.error->description.find("outside the site root"), std::string::npos) << r.error->description;
}

TEST(CallAssignments, OnlyAssignmentsToCallsAreRewritten) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {R"(Session("k") = v;)", R"(Session[__orvan_key("",["k"])] = v;)"},
        {R"(Response.Cookies("c") = "x";)", R"(Response[__orvan_key("Cookies",["c"])] = "x";)"},
        {"obj.Item() = 1;", R"(obj[__orvan_key("Item",[])] = 1;)"},
        {"a.b(1)(2) += 3;", R"(a.b(1)[__orvan_key("",[2])] += 3;)"},
        {R"(bag("n")++;)", R"(bag[__orvan_key("",["n"])]++;)"},
        {"f(g(1)) = h(2) = 3;", R"(f[__orvan_key("",[g(1)])] = h[__orvan_key("",[2])] = 3;)"},
        {"x = a / f(1) / 2; g(1) = 2;", R"(x = a / f(1) / 2; g[__orvan_key("",[1])] = 2;)"},
        {"A(1) =\n  2;", "A[__orvan_key(\"\",[1])] =\n  2;"},
        // Left alone: comparisons, keywords, grouping, strings, regular expressions, comments, prefix ++.
        {"x = f(a) == b;", nullptr},
        {"if (a) b = 1; while (c) d += 1;", nullptr},
        {"(a) = 1; return (x) = 5;", nullptr},
        {R"(s = "f(x) = 1"; t = 'g(y) = 2';)", nullptr},
        {R"(r = /\(x\) = 1/; q = /[)]=/g;)", nullptr},
        {"// f(x) = 1\n/* g(y) = 2 */", nullptr},
        {"f()\n++x;", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(detail::rewriteCallAssignments(c.in), c.out ? c.out : c.in) << c.in;
    }
}

}  // namespace
}  // namespace orvan::host::test
