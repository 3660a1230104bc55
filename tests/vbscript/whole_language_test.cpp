// One script that uses every statement of the language, its operators and every library function
// (scripts/whole_language.vbs), run whole and compared line by line with what VBScript writes for it
// (scripts/whole_language.expected). The script starts under en-US and switches regional settings
// through a host object, as a page host would between requests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "com_server/dispatch.h"
#include "com_server/regional.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

// Host.UseRegional "pt-BR" puts that preset in force on this thread until the next call or the end
// of the host object.
class RegionalHost final : public com::Object {
public:
    const com::TypeInfo& typeInfo() const override {
        static const com::TypeInfo info = [] {
            com::TypeInfo t;
            t.className = "RegionalHost";
            t.interfaceName = "IRegionalHost";
            t.members = {com::method<&RegionalHost::UseRegional>("UseRegional", 1, {"name"})};
            return t;
        }();
        return info;
    }
    void UseRegional(std::string name) {
        const com::Regional* r = com::Regional::byName(name);
        if (!r) throw com::ComError(com::err::InvalidCall, "no regional preset " + name);
        scope_.reset();
        scope_ = std::make_unique<com::RegionalScope>(*r);
    }

private:
    std::unique_ptr<com::RegionalScope> scope_;
};

std::filesystem::path scriptsFolder() {
    return std::filesystem::path(ORVAN_SOURCE_DIR) / "tests" / "vbscript" / "scripts";
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(WholeLanguage, OneScriptUsingEveryStatementAndFunctionWritesWhatVBScriptWrites) {
    const std::string source = readFile(scriptsFolder() / "whole_language.vbs");
    const std::string expectedText = readFile(scriptsFolder() / "whole_language.expected");
    ASSERT_FALSE(source.empty());
    ASSERT_FALSE(expectedText.empty());

    com::RegionalScope enUS(com::Regional::enUS());
    auto out = com::make<Output>();
    {
        auto host = com::make<RegionalHost>();
        Engine engine;
        engine.addGlobal("Out", com::Variant(out));
        engine.addGlobal("Host", com::Variant(host));
        try {
            engine.run(*compile(source));
        } catch (const ScriptError& e) {
            ADD_FAILURE() << "the script stopped at line " << e.line() << ": " << e.number() << " "
                          << e.description() << "\nafter writing:\n"
                          << out->text;
            return;
        }
    }

    const auto got = lines(out->text);
    const auto expected = lines(expectedText);
    std::string section;
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        const std::string g = i < got.size() ? got[i] : "<nothing>";
        const std::string e = i < expected.size() ? expected[i] : "<nothing>";
        if (e.starts_with("== ")) section = e;
        EXPECT_EQ(g, e) << "output line " << i + 1 << " in section " << section;
    }
}

}  // namespace
}  // namespace orvan::vbs::test
