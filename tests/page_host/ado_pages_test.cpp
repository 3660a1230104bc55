// Classic pages using ADO directly, on both engines: a static recordset paged two rows at a time over
// five rows, read again with GetRows, and two inserts in a transaction rolled back; the site's
// adovbs.inc / adojavas.inc constants, the same names and values in both languages.
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "com_server/conversions.h"
#include "data_access/ado/ado.h"
#include "data_access/pool.h"
#include "data_access/providers/provider.h"
#include "page_test_support.h"

namespace orvan::host::test {
namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class AdoPages : public PageTest, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        PageTest::SetUp();
        data::ado::registerAdoClasses();
        static std::atomic<int> counter{0};
        const std::string id = std::to_string(::getpid()) + "_" + std::to_string(counter++);
        dir_ = std::filesystem::temp_directory_path() / ("orvan-ado-pages-" + id);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "inc");
        const auto source = std::filesystem::path(ORVAN_SOURCE_DIR);
        for (const char* inc : {"adovbs.inc", "adojavas.inc"})
            std::filesystem::copy_file(source / "site" / "inc" / inc, dir_ / "inc" / inc);
        for (const char* page : {"paging.asp", "paging_jscript.asp"})
            std::filesystem::copy_file(pagesDir() / "ado" / page, dir_ / page);
        siteRoot = dir_;

        if (GetParam() == "postgresql") {
            const char* pg = std::getenv("ORVAN_TEST_PG");
            ASSERT_TRUE(pg && *pg) << "ORVAN_TEST_PG is not set: start the test server with "
                                      "eval \"$(bash scripts/pg-test-server.sh start DIR)\"";
            cs_ = pg;
        } else {
            cs_ = "Provider=SQLite;Data Source=" + (dir_ / "pages.db").string();
        }
        table_ = "paginas_" + id;
        admin_ = data::openSession(data::ConnectionString::parse(cs_), 15);
        admin_->execute("CREATE TABLE " + table_ + " (oid INTEGER PRIMARY KEY, nome VARCHAR(40))", {}, 30);
        admin_->execute("INSERT INTO " + table_ +
                            " (oid, nome) VALUES (1, 'Ana'), (2, 'Bia'), (3, 'Caio'), (4, 'Duda'), (5, 'Eva')",
                        {}, 30);
        application->SetValue("conexao", com::Variant(cs_));
        application->SetValue("tabela", com::Variant(table_));
    }
    void TearDown() override {
        if (admin_) {
            admin_->execute("DROP TABLE IF EXISTS " + table_, {}, 30);
            admin_.reset();
        }
        data::SessionPool::instance().clear();
        std::filesystem::remove_all(dir_);
    }
    std::int32_t rows() {
        auto rs = admin_->execute("SELECT COUNT(*) FROM " + table_, {}, 30);
        std::vector<com::Variant> row;
        rs->next(row);
        return com::CLng(row.at(0));
    }

    std::filesystem::path dir_;
    std::string cs_, table_;
    std::unique_ptr<data::Session> admin_;
};

TEST_P(AdoPages, AVBScriptPagePagesReadsWithGetRowsAndRollsBackItsInserts) {
    const PageResult r = run("paging.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    // The blank lines are the page's own: after the directive, the include's last line, the include.
    EXPECT_EQ(r.response.body,
              "\n\n\ncount=5;pages=3;"
              "p1:Ana,Bia,;p2:Caio,Duda,;p3:Eva,;"
              "fields=2;rows=5;1=Ana,2=Bia,3=Caio,4=Duda,5=Eva,;eof=True;"
              "level=1;affected=1;inside=7;after=5;\n");
    EXPECT_EQ(rows(), 5) << "the rolled-back inserts left nothing";
}

TEST_P(AdoPages, AJScriptPageUsesTheSameConstantsAndTransactions) {
    const PageResult r = run("paging_jscript.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    EXPECT_EQ(r.response.body, "\n\n\nlast=3:Eva;level=1;after=5;\n");
    EXPECT_EQ(rows(), 5);
}

std::string engineName(const ::testing::TestParamInfo<std::string>& param) {
    return param.param;
}
INSTANTIATE_TEST_SUITE_P(Engines, AdoPages, ::testing::Values("sqlite", "postgresql"), engineName);

// The constants the pages see: every name in both includes, with the value ADO gives it.
TEST(AdoIncludes, BothLanguagesDefineTheSameConstantsWithAdosValues) {
    const auto inc = std::filesystem::path(ORVAN_SOURCE_DIR) / "site" / "inc";
    auto read = [](const std::string& text, const std::regex& line) {
        std::map<std::string, std::int64_t> out;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it) {
            const std::string v = (*it)[2];
            const bool hex = v.size() > 2 && (v[1] == 'H' || v[1] == 'x' || v[1] == 'X');
            out[(*it)[1]] = hex ? std::stoll(v.substr(2), nullptr, 16) : std::stoll(v);
        }
        return out;
    };
    const auto vbs = read(readFile(inc / "adovbs.inc"), std::regex(R"(Const (\w+) = (-?&?[0-9A-Fa-fHx]+))"));
    const auto js = read(readFile(inc / "adojavas.inc"), std::regex(R"(var (\w+) = (-?[0-9A-Fa-fx]+);)"));
    EXPECT_EQ(vbs, js);
    using namespace data::ado;
    const std::map<std::string, std::int64_t> known = {
        {"adOpenForwardOnly", adOpenForwardOnly}, {"adOpenStatic", adOpenStatic},
        {"adLockReadOnly", adLockReadOnly},       {"adLockBatchOptimistic", adLockBatchOptimistic},
        {"adUseClient", adUseClient},             {"adCmdText", adCmdText},
        {"adCmdTable", adCmdTable},               {"adCmdStoredProc", adCmdStoredProc},
        {"adExecuteNoRecords", adExecuteNoRecords}, {"adParamReturnValue", adParamReturnValue},
        {"adEditAdd", adEditAdd},                 {"adPosEOF", adPosEOF},
        {"adBookmarkLast", adBookmarkLast},       {"adGetRowsRest", adGetRowsRest},
        {"adClipString", adClipString},           {"adSearchBackward", adSearchBackward},
        {"adFilterNone", adFilterNone},           {"adMovePrevious", adMovePrevious},
        {"adAddNew", adAddNew},                   {"adUpdate", adUpdate},
        {"adFind", adFind},                       {"adTypeText", adTypeText},
        {"adCRLF", adCRLF},                       {"adReadLine", adReadLine},
        {"adVarWChar", 202},                      {"adDBTimeStamp", 135},
        {"adErrNoCurrentRecord", 3021},           {"adErrObjectClosed", 3704},
    };
    for (const auto& [name, value] : known) {
        ASSERT_TRUE(vbs.contains(name)) << name;
        EXPECT_EQ(vbs.at(name), value) << name;
    }
    EXPECT_GE(vbs.size(), 140u);
}

}  // namespace
}  // namespace orvan::host::test
