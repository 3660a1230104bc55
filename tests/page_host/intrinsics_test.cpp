// The intrinsic objects as pages use them: Request's collections and search order, Response's
// headers, cookies, status, redirect and clearing, Server's encodings and paths, Application and
// Session values (shared with components through the object context, objects refused, locks released).
#include <future>

#include "page_host/internal/text_codec.h"
#include "page_test_support.h"

namespace orvan::host::test {
namespace {

using Intrinsics = PageTest;

TEST_F(Intrinsics, RequestSearchesQueryStringFormCookiesThenServerVariables) {
    request.method = "POST";
    request.query = {{"x", "q"}, {"m", "1"}, {"m", "2"}};
    request.form = {{"x", "f"}, {"y", "f"}};
    request.cookies = {{"x", "c"}, {"y", "c"}, {"z", "c"}};
    request.serverVariables = {{"SERVER_NAME", "example"}, {"z", "server"}};
    const PageResult r = run("intrinsics/request.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body,
              "x=q;y=f;z=c;server=example;none=undefined;qx=q;qnone=undefined;multi=1, 2;count=2;key1=x;"
              "raw=x=q&m=1&m=2;byIndex=q;fy=f;cz=c;method=POST;script=/intrinsics/request.asp;\n");
}

// The server variables a host gives, then those it gives late (worked out once, only for a page that
// reads them), then those the run derives; a name given earlier is not given again.
TEST_F(Intrinsics, ServerVariablesAreWorkedOutOnlyForAPageThatReadsThem) {
    int worked = 0;
    request.method = "POST";
    request.form = {{"a", "1 2"}};
    request.cookies = {{"c", "v"}};
    request.serverVariables = {{"SERVER_NAME", "given"}, {"CONTENT_LENGTH", "99"}};
    request.moreServerVariables = [&](const PageRequest& r) {
        ++worked;
        return NameValues{{"SERVER_NAME", "late"}, {"HTTP_X", r.method + " x"}};
    };
    const PageResult none = run("intrinsics/encode.asp");
    ASSERT_EQ(none.outcome, PageOutcome::Completed) << describe(none);
    EXPECT_EQ(worked, 0);

    const PageResult r = run("intrinsics/variables.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    const std::string root = pagesDir().lexically_normal().string();
    EXPECT_EQ(r.response.body, "SERVER_NAME=given;CONTENT_LENGTH=99;HTTP_X=POST x;HTTP_COOKIE=c=v;PATH_TRANSLATED=" +
                                   root + "/intrinsics/variables.asp;APPL_PHYSICAL_PATH=" + root +
                                   "/;REQUEST_METHOD=POST;SCRIPT_NAME=/intrinsics/variables.asp;again=POST x;count=16\n");
    EXPECT_EQ(worked, 1);
}

TEST_F(Intrinsics, ServerEncodesAndMapsPathsInsideTheSite) {
    const PageResult encoded = run("intrinsics/encode.asp");
    ASSERT_EQ(encoded.outcome, PageOutcome::Completed) << describe(encoded);
    EXPECT_EQ(encoded.response.body,
              "&lt;a href=&quot;x&quot;&gt;&amp;'&#233;&lt;/a&gt;|a+b%26c%2F%C3%A7%C3%A3o%2D%5F%2E%7E||12\n");

    const PageResult mapped = run("intrinsics/mappath.asp");
    ASSERT_EQ(mapped.outcome, PageOutcome::Completed) << describe(mapped);
    const std::string root = pagesDir().lexically_normal().string();
    EXPECT_EQ(mapped.response.body,
              root + "|" + root + "/intrinsics/x.asp|" + root + "/a/b.asp|" + root + "/bridge|refused\n");
}

TEST(RequestText, UrlEncodedPairsDecodeInOrder) {
    const NameValues expected = {{"a", "1"},       {"b", "x y!"}, {"c", ""},      {"", "v"},
                                 {"nome", "João"}, {"u", "ç"},    {"bad", "%zz%"}};
    EXPECT_EQ(parseUrlEncoded("a=1&b=x+y%21&c&=v&&nome=Jo%E3o&u=%C3%A7&bad=%zz%"), expected);
}

TEST_F(Intrinsics, ApplicationAndSessionHoldValuesButNoObjects) {
    application->SetValue("dataconn_CommandTimeout", com::Variant(std::int32_t{30}));
    const PageResult r = run("intrinsics/state.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body,
              "2;olá;3;Contador;30;2;refused:-2147467259:true;refused:-2147467259;ana;123456789;20;\n");
    EXPECT_TRUE(sameValue(application->Value("CONTADOR"), com::Variant(std::int32_t{2})));
    EXPECT_TRUE(application->Value("obj").isEmpty());
    EXPECT_EQ(session->get_Timeout(), 5);
    EXPECT_TRUE(session->abandoned());
    EXPECT_EQ(session->Value("extra").rawArray().size(), 2u);
}

TEST_F(Intrinsics, ALockThePageForgotIsReleasedWhenItEnds) {
    ASSERT_EQ(run("intrinsics/lock_forgotten.asp").outcome, PageOutcome::Completed);
    auto other =
        std::async(std::launch::async, [&] { application->SetValue("y", com::Variant(std::int32_t{2})); });
    EXPECT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST_F(Intrinsics, ResponseCarriesStatusHeadersCookiesAndWhatSurvivedClear) {
    const PageResult r = run("intrinsics/response.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "kept;abc;404 Not Found\n");
    EXPECT_EQ(r.response.statusCode(), 404);
    EXPECT_EQ(r.response.contentType, "text/plain");
    EXPECT_EQ(r.response.headers, (NameValues{{"X-Test", "1"}}));
    ASSERT_EQ(r.response.cookies.size(), 1u);
    EXPECT_EQ(r.response.cookies[0].name, "sessao");
    EXPECT_EQ(r.response.cookies[0].value, "abc");
    EXPECT_EQ(r.response.cookies[0].path, "/agenda");
}

TEST_F(Intrinsics, RedirectSendsA302WithLocationAndEndsThePage) {
    const PageResult r = run("intrinsics/redirect.asp");
    EXPECT_EQ(r.outcome, PageOutcome::Ended) << describe(r);
    EXPECT_EQ(r.response.statusCode(), 302);
    EXPECT_EQ(r.response.headers, (NameValues{{"Location", "login.asp?volta=1&x=2"}}));
    EXPECT_NE(r.response.body.find("login.asp?volta=1&amp;x=2"), std::string::npos) << r.response.body;
    EXPECT_EQ(r.response.body.find("before"), std::string::npos);
    EXPECT_EQ(r.response.body.find("after"), std::string::npos);
}

}  // namespace
}  // namespace orvan::host::test
