// Regional settings: preset look-up by name and from the environment, the process setting and the
// per-thread override, and the presets' names as the date reader understands them.
#include "com_server/regional.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "com_server/conversions.h"

namespace orvan::com {
namespace {

TEST(RegionalTest, PresetsAreFoundByEitherSpellingOfTheirName) {
    const std::pair<const char*, const Regional*> rows[] = {
        {"pt-BR", &Regional::ptBR()},
        {"PT_br", &Regional::ptBR()},
        {"en-US", &Regional::enUS()},
        {"en_us", &Regional::enUS()},
        {"fr-FR", nullptr},
        {"pt", nullptr},
        {"", nullptr},
        {"pt-BR.UTF-8", nullptr},
        {"en-USA", nullptr},
    };
    for (const auto& [name, want] : rows) EXPECT_EQ(Regional::byName(name), want) << name;
}

class EnvironmentTest : public ::testing::Test {
  protected:
    static constexpr const char* kVars[] = {"LC_ALL", "LC_TIME", "LANG"};
    void SetUp() override {
        for (const char* v : kVars) {
            const char* value = std::getenv(v);
            saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    void TearDown() override {
        for (std::size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i])
                setenv(kVars[i], saved_[i]->c_str(), 1);
            else
                unsetenv(kVars[i]);
        }
    }

  private:
    std::vector<std::optional<std::string>> saved_;
};

TEST_F(EnvironmentTest, FirstNonEmptyLocaleVariablePicksThePreset) {
    struct Row {
        const char* lcAll;  // null: unset
        const char* lcTime;
        const char* lang;
        const char* want;
    };
    const Row rows[] = {
        {nullptr, nullptr, nullptr, "pt-BR"},
        {"en_US.UTF-8", nullptr, "pt_BR.UTF-8", "en-US"},
        {"", "en_US.UTF-8", "pt_BR.UTF-8", "en-US"},  // empty counts as absent
        {"", "", "en_US", "en-US"},
        {nullptr, "pt_BR.UTF-8", "en_US.UTF-8", "pt-BR"},
        {"C", nullptr, "en_US.UTF-8", "pt-BR"},  // C is set, and means the default
        {"POSIX", nullptr, nullptr, "pt-BR"},
        {nullptr, nullptr, "C.UTF-8", "pt-BR"},
        {"de_DE.UTF-8", nullptr, nullptr, "pt-BR"},
        {nullptr, nullptr, "en-US", "en-US"},
        {nullptr, nullptr, "en_US@euro", "en-US"},
    };
    for (const Row& r : rows) {
        const char* values[] = {r.lcAll, r.lcTime, r.lang};
        for (int i = 0; i < 3; ++i) {
            if (values[i])
                setenv(kVars[i], values[i], 1);
            else
                unsetenv(kVars[i]);
        }
        EXPECT_EQ(Regional::fromEnvironment().name, r.want)
            << (r.lcAll ? r.lcAll : "-") << " " << (r.lcTime ? r.lcTime : "-") << " "
            << (r.lang ? r.lang : "-");
    }
}

class CurrentRegionalTest : public ::testing::Test {
  protected:
    void TearDown() override { setProcessRegional(Regional::ptBR()); }
};

TEST_F(CurrentRegionalTest, ScopesNestOverTheProcessSettingAndStayOnTheirThread) {
    EXPECT_EQ(currentRegional().name, "pt-BR");
    setProcessRegional(Regional::enUS());
    EXPECT_EQ(currentRegional().name, "en-US");
    {
        RegionalScope outer(Regional::ptBR());
        EXPECT_EQ(currentRegional().name, "pt-BR");
        std::string seenElsewhere;
        std::thread([&] { seenElsewhere = currentRegional().name; }).join();
        EXPECT_EQ(seenElsewhere, "en-US");
        {
            RegionalScope inner(Regional::enUS());
            EXPECT_EQ(currentRegional().name, "en-US");
        }
        EXPECT_EQ(currentRegional().name, "pt-BR");
    }
    EXPECT_EQ(currentRegional().name, "en-US");
}

TEST(RegionalTest, PresetsAreFoundByTheirLocaleIdentifier) {
    EXPECT_EQ(Regional::ptBR().lcid, 1046);
    EXPECT_EQ(Regional::enUS().lcid, 1033);
    EXPECT_EQ(Regional::byLcid(1046), &Regional::ptBR());
    EXPECT_EQ(Regional::byLcid(1033), &Regional::enUS());
    for (std::int32_t unknown : {0, -1, 1036, 2070, 3082})
        EXPECT_EQ(Regional::byLcid(unknown), nullptr) << unknown;
}

TEST_F(CurrentRegionalTest, TheThreadOverrideCanBeReplacedAndPutBackByItsHolder) {
    setProcessRegional(Regional::enUS());
    EXPECT_EQ(threadRegional(), nullptr);
    const Regional* saved = threadRegional();
    setThreadRegional(&Regional::ptBR());
    EXPECT_EQ(currentRegional().name, "pt-BR");
    {
        RegionalScope inner(Regional::enUS());  // a scope inside puts back the replaced override
        EXPECT_EQ(threadRegional(), &Regional::enUS());
    }
    EXPECT_EQ(threadRegional(), &Regional::ptBR());
    setThreadRegional(saved);
    EXPECT_EQ(currentRegional().name, "en-US");
}

TEST_F(CurrentRegionalTest, ThreadsConvertUnderTheirOwnScopesWhileTheProcessSettingChanges) {
    std::atomic<int> wrong{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const Regional& mine = t % 2 ? Regional::enUS() : Regional::ptBR();
            const std::string want = t % 2 ? "1/2/1900" : "02/01/1900";
            RegionalScope scope(mine);
            for (int i = 0; i < 2000; ++i)
                if (CStr(Variant::date(3.0)) != want) ++wrong;
        });
    }
    std::thread flipper([&] {
        for (int i = 0; !stop; ++i) setProcessRegional(i % 2 ? Regional::enUS() : Regional::ptBR());
    });
    for (auto& th : threads) th.join();
    stop = true;
    flipper.join();
    EXPECT_EQ(wrong, 0);
}

TEST(RegionalNamesTest, EveryMonthNameReadsBackWhateverItsCase) {
    for (const Regional* r : {&Regional::ptBR(), &Regional::enUS()}) {
        for (int m = 0; m < 12; ++m) {
            const auto idx = static_cast<std::size_t>(m);
            const std::string names[] = {r->monthNames[idx], r->monthAbbrevs[idx], UCase(r->monthNames[idx])};
            for (const std::string& name : names) {
                const std::string text = "15 " + name + " 2010";
                const auto got = parseDate(text, *r);
                ASSERT_TRUE(got) << r->name << " " << text;
                EXPECT_EQ(splitDate(*got), (DateParts{2010, m + 1, 15, 0, 0, 0})) << r->name << " " << text;
            }
        }
    }
}

TEST(RegionalNamesTest, DayNamesAreSkippedAndOtherWordsAreNot) {
    for (const Regional* r : {&Regional::ptBR(), &Regional::enUS()}) {
        for (std::size_t d = 0; d < 7; ++d) {
            for (const std::string& name : {r->dayNames[d], r->dayAbbrevs[d], UCase(r->dayNames[d])}) {
                const auto got = parseDate(name + ", 15/1/2010", *r);
                ASSERT_TRUE(got) << r->name << " " << name;
                EXPECT_EQ(splitDate(*got), (DateParts{2010, 1, 15, 0, 0, 0})) << r->name << " " << name;
            }
        }
        EXPECT_FALSE(parseDate("hoje, 15/1/2010", *r)) << r->name;
    }
}

}  // namespace
}  // namespace orvan::com
