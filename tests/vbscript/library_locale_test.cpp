// GetLocale and SetLocale: locale identifiers (1046 pt-BR, 1033 en-US) and names, the previous
// identifier SetLocale gives back, the regional settings the formatting and parsing functions then
// follow, and a choice that lasts for the engine's runs but never leaks into the thread after them.
#include <gtest/gtest.h>

#include "com_server/regional.h"
#include "script_support.h"
#include "tests/vbscript/library_test_support.h"

namespace orvan::vbs::test {
namespace {

using testing::call;
using testing::errorOf;

TEST(Locale, GetLocaleNamesTheSettingsInForce) {
    {
        com::RegionalScope scope(com::Regional::ptBR());
        EXPECT_EQ(run("Out.Write GetLocale()"), "1046");
    }
    {
        com::RegionalScope scope(com::Regional::enUS());
        EXPECT_EQ(run("Out.Write GetLocale()"), "1033");
    }
}

TEST(Locale, SetLocaleTakesAnIdentifierOrANameAndGivesThePreviousIdentifier) {
    com::RegionalScope scope(com::Regional::ptBR());
    struct Case {
        const char* argument;
        const char* expected;  // "previous now"
    };
    const Case kCases[] = {
        {"1033", "1046 1033"},
        {"1046", "1046 1046"},
        {"\"en-us\"", "1046 1033"},
        {"\"EN-US\"", "1046 1033"},
        {"\"pt-br\"", "1046 1046"},
        {"\"pt_BR\"", "1046 1046"},
        {"1033.2", "1046 1033"},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(run(std::string("p = SetLocale(") + c.argument + ")\nOut.Write p & \" \" & GetLocale()"), c.expected)
            << c.argument;
    EXPECT_EQ(run("a = SetLocale(1033)\nb = SetLocale(\"pt-br\")\nc = SetLocale(1033)\nOut.Write a & b & c"),
              "104610331046");
}

TEST(Locale, ZeroGoesBackToTheProcessSettings) {
    const std::int32_t process = com::currentRegional().lcid;  // no thread override here
    const com::Regional& other = process == 1046 ? com::Regional::enUS() : com::Regional::ptBR();
    com::RegionalScope scope(other);
    EXPECT_EQ(run("p = SetLocale(0)\nOut.Write p & \" \" & GetLocale()"),
              std::to_string(other.lcid) + " " + std::to_string(process));
}

TEST(Locale, AnUnknownLocaleIsAnInvalidArgument) {
    com::RegionalScope scope(com::Regional::ptBR());
    EXPECT_EQ(runError("SetLocale 1036").number, 5);
    EXPECT_EQ(runError("SetLocale -1").number, 5);
    EXPECT_EQ(runError("SetLocale \"xx-yy\"").number, 5);
    EXPECT_EQ(runError("SetLocale \"\"").number, 5);
    EXPECT_EQ(runError("SetLocale Null").number, 94);
    EXPECT_EQ(errorOf([] { call("SetLocale", {com::Variant(std::int32_t{4})}); }), 5);
    // A refused locale leaves the one in force.
    EXPECT_EQ(run("On Error Resume Next\nSetLocale 1036\nOut.Write Err.Number & \" \" & GetLocale()"), "5 1046");
}

TEST(Locale, FormattingAndParsingFollowTheLocaleTheScriptSet) {
    com::RegionalScope scope(com::Regional::ptBR());
    EXPECT_EQ(run("Out.Write CStr(1.5) & \"|\"\nSetLocale 1033\nOut.Write CStr(1.5) & \"|\" & CDbl(\"2.25\") * 2 & \"|\" & "
                  "FormatNumber(1234.5, 1) & \"|\" & FormatDateTime(DateSerial(2024, 3, 5), vbShortDate)\n"
                  "SetLocale \"pt-BR\"\nOut.Write \"|\" & FormatNumber(1234.5, 1) & \"|\" & "
                  "FormatDateTime(DateSerial(2024, 3, 5), vbShortDate) & \"|\" & CDbl(\"2,25\") * 2"),
              "1,5|1.5|4.5|1,234.5|3/5/2024|1.234,5|05/03/2024|4,5");
}

TEST(Locale, TheChoiceEndsWithTheRunEvenWhenTheRunFails) {
    com::RegionalScope scope(com::Regional::ptBR());
    EXPECT_EQ(run("SetLocale 1033\nOut.Write GetLocale()"), "1033");
    EXPECT_EQ(com::currentRegional().lcid, 1046);
    EXPECT_EQ(runError("SetLocale 1033\nx = 1 / 0").number, 11);
    EXPECT_EQ(com::currentRegional().lcid, 1046);
}

TEST(Locale, TheChoiceLastsForTheEnginesLaterRunsAndCalls) {
    const std::int32_t process = com::currentRegional().lcid;  // no thread override here
    com::RegionalScope scope(com::Regional::ptBR());
    auto out = com::make<Output>();
    {
        Engine engine;
        engine.addGlobal("Out", com::Variant(out));
        engine.run(*compile("Sub Show()\n  Out.Write \"/\" & GetLocale()\nEnd Sub\nSetLocale 1033"));
        EXPECT_EQ(com::currentRegional().lcid, 1046);
        engine.run(*compile("Out.Write GetLocale() & \" \" & CStr(0.5)"));
        EXPECT_TRUE(engine.callProcedure("Show", {}));
        EXPECT_EQ(com::currentRegional().lcid, 1046);
        engine.run(*compile("SetLocale 0"));
        engine.run(*compile("Show"));
    }
    EXPECT_EQ(out->text, "1033 0.5/1033/" + std::to_string(process));
}

}  // namespace
}  // namespace orvan::vbs::test
