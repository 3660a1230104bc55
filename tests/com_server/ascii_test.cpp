// Case-insensitive ASCII: only A-Z/a-z fold (never Latin-1 or UTF-8 bytes, whatever the locale); the
// map helpers order, compare and hash consistently.
#include "com_server/ascii.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <unordered_map>

namespace orvan::com::ascii {
namespace {

TEST(AsciiNoCase, OnlyAsciiLettersFold) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"Response", "RESPONSE", true}, {"item", "Item", true},     {"", "", true},
        {"abc", "abd", false},          {"abc", "abcd", false},     {"Ação", "AçãO", true},
        {"ç", "Ç", false},              {"\xC9", "\xE9", false},    {"[", "{", false},
        {"@", "`", false},              {"_x", "_X", true},         {"i", "I", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(equalsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(compareNoCase(c.a, c.b) == 0, c.equal) << c.a << " / " << c.b;
        if (c.equal) {
            EXPECT_EQ(HashNoCase{}(c.a), HashNoCase{}(c.b)) << c.a;
        }
    }
    EXPECT_EQ(lower("Global.ASA \xC9"), "global.asa \xC9");
    EXPECT_EQ(upper("orvan_geral.comum ç"), "ORVAN_GERAL.COMUM ç");
    EXPECT_TRUE(startsWithNoCase("Multipart/Form-Data; boundary=x", "multipart/form-data"));
    EXPECT_FALSE(startsWithNoCase("multi", "multipart"));
}

TEST(AsciiNoCase, OrdersAndFindsKeysWithoutRegardToCase) {
    EXPECT_LT(compareNoCase("apple", "Banana"), 0);
    EXPECT_GT(compareNoCase("b", "A"), 0);
    EXPECT_LT(compareNoCase("ab", "AbC"), 0);

    std::map<std::string, int, LessNoCase> ordered{{"Zeta", 1}, {"alpha", 2}, {"Beta", 3}};
    EXPECT_EQ(ordered.begin()->first, "alpha");
    EXPECT_EQ(ordered.find("BETA")->second, 3);
    EXPECT_FALSE(ordered.emplace("ZETA", 9).second);

    std::unordered_map<std::string, int, HashNoCase, EqualNoCase> hashed{{"Session", 1}};
    EXPECT_EQ(hashed.count("SESSION"), 1u);
    EXPECT_EQ(hashed.count("Sessio"), 0u);
}

}  // namespace
}  // namespace orvan::com::ascii
