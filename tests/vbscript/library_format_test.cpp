// FormatNumber, FormatCurrency, FormatPercent and FormatDateTime under both regional presets:
// separators, grouping, leading digit, parentheses, the currency pictures and the date formats.
#include "tests/vbscript/library_test_support.h"

namespace orvan::vbs::testing {
namespace {

struct Case {
    const char* fn;
    std::vector<Variant> args;
    const char* ptBR;
    const char* enUS;
};

const Variant kTrue = L(-1), kFalse = L(0), kDefault = L(-2), kMissing = Variant::missing();

TEST(FormatFunctions, WriteNumbersUnderEachRegionalSetting) {
    const std::vector<Case> cases = {
        {"FormatNumber", {D(1234.5)}, "1.234,50", "1,234.50"},
        {"FormatNumber", {D(1234567.891), L(2)}, "1.234.567,89", "1,234,567.89"},
        {"FormatNumber", {D(2.5), L(0)}, "3", "3"},
        {"FormatNumber", {D(0.125), L(2)}, "0,13", "0.13"},
        {"FormatNumber", {D(999.996), L(2)}, "1.000,00", "1,000.00"},
        {"FormatNumber", {D(-1234.5), L(2), kTrue, kTrue}, "(1.234,50)", "(1,234.50)"},
        {"FormatNumber", {D(-1234.5)}, "-1.234,50", "-1,234.50"},
        {"FormatNumber", {D(0.5), L(2), kFalse}, ",50", ".50"},
        {"FormatNumber", {D(0.5), kMissing, kDefault}, "0,50", "0.50"},
        {"FormatNumber", {D(1234.5), L(2), kTrue, kFalse, kFalse}, "1234,50", "1234.50"},
        {"FormatNumber", {D(-0.5), L(1)}, "-0,5", "-0.5"},
        {"FormatNumber", {L(1000000), L(0)}, "1.000.000", "1,000,000"},
        {"FormatNumber", {Variant()}, "0,00", "0.00"},
        {"FormatCurrency", {D(1234.5)}, "R$ 1.234,50", "$1,234.50"},
        {"FormatCurrency", {D(-1234.5)}, "-R$ 1.234,50", "($1,234.50)"},
        {"FormatCurrency", {D(-1234.5), L(2), kTrue, kTrue}, "(R$ 1.234,50)", "($1,234.50)"},
        {"FormatCurrency", {D(-1234.5), L(2), kTrue, kFalse}, "-R$ 1.234,50", "-$1,234.50"},
        {"FormatCurrency", {D(1234.567), L(0)}, "R$ 1.235", "$1,235"},
        {"FormatPercent", {D(0.125)}, "12,50%", "12.50%"},
        {"FormatPercent", {D(0.125), L(1)}, "12,5%", "12.5%"},
        {"FormatPercent", {D(-0.5), L(0), kTrue, kTrue}, "(50%)", "(50%)"},
        {"FormatPercent", {L(12), L(0)}, "1.200%", "1,200%"},
        {"FormatDateTime", {Dt(2009, 1, 5, 7, 3, 0)}, "05/01/2009 07:03:00", "1/5/2009 7:03:00 AM"},
        {"FormatDateTime", {Dt(2009, 1, 5, 7, 3, 0), L(1)}, "segunda-feira, 5 de janeiro de 2009", "Monday, January 5, 2009"},
        {"FormatDateTime", {Dt(2009, 1, 5, 7, 3, 0), L(2)}, "05/01/2009", "1/5/2009"},
        {"FormatDateTime", {Dt(2009, 1, 5, 19, 3, 0), L(3)}, "19:03:00", "7:03:00 PM"},
        {"FormatDateTime", {Dt(2009, 1, 5, 19, 3, 0), L(4)}, "19:03", "19:03"},
        {"FormatDateTime", {Dt(2009, 1, 5)}, "05/01/2009", "1/5/2009"},
    };
    for (const auto& c : cases) {
        for (const com::Regional* r : {&com::Regional::ptBR(), &com::Regional::enUS()}) {
            com::RegionalScope scope(*r);
            const Variant got = call(c.fn, c.args);
            ASSERT_TRUE(got.isString()) << c.fn;
            EXPECT_EQ(got.rawString(), r == &com::Regional::ptBR() ? c.ptBR : c.enUS)
                << c.fn << " case " << (&c - cases.data()) << " under " << r->name;
        }
    }
}

TEST(FormatFunctions, ReadTextArgumentsUnderTheRegionalSetting) {
    {
        com::RegionalScope scope(com::Regional::ptBR());
        EXPECT_EQ(call("FormatNumber", {S("1234,5")}).rawString(), "1.234,50");
        EXPECT_EQ(call("FormatDateTime", {S("5/1/2009"), L(1)}).rawString(), "segunda-feira, 5 de janeiro de 2009");
    }
    com::RegionalScope scope(com::Regional::enUS());
    EXPECT_EQ(call("FormatNumber", {S("1234.5")}).rawString(), "1,234.50");
    EXPECT_EQ(call("FormatDateTime", {S("1/5/2009"), L(1)}).rawString(), "Monday, January 5, 2009");
}

TEST(FormatFunctions, RejectBadArguments) {
    com::RegionalScope scope(com::Regional::ptBR());
    EXPECT_EQ(errorOf([] { call("FormatDateTime", {Dt(2009, 1, 5), L(5)}); }), com::err::InvalidCall);
    EXPECT_EQ(errorOf([] { call("FormatDateTime", {S("não é data")}); }), com::err::TypeMismatch);
    EXPECT_EQ(errorOf([] { call("FormatNumber", {S("abc")}); }), com::err::TypeMismatch);
    EXPECT_EQ(errorOf([] { call("FormatNumber", {D(1), L(-3)}); }), com::err::InvalidCall);
    EXPECT_EQ(errorOf([] { call("FormatNumber", {Null()}); }), com::err::InvalidUseOfNull);
}

}  // namespace
}  // namespace orvan::vbs::testing
