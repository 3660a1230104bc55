// VBScript.RegExp through late binding: Test, Execute with Matches/Match/SubMatches, Replace with
// $-substitutions, the flags, UTF-16 positions, pattern errors, and a hostile pattern that must fail
// instead of running on.
#include "com_server/class_registry.h"
#include "com_server/dispatch.h"
#include "com_server/enumeration.h"
#include "tests/vbscript/library_test_support.h"

namespace orvan::vbs::testing {
namespace {

using com::invoke;

class RegExpTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerScriptingClasses();
        re = Variant(com::ClassRegistry::instance().create("VBScript.RegExp"));
    }
    void set(std::string_view prop, Variant v) {
        Variant args[] = {std::move(v)};
        invoke(re, prop, com::kPut, args);
    }
    Variant get(const Variant& obj, std::string_view prop, std::vector<Variant> args = {}) {
        return invoke(obj, prop, com::kGet, args);
    }
    Variant method(std::string_view name, std::vector<Variant> args) { return invoke(re, name, com::kMethod, args); }
    std::string replace(const char* pattern, const char* subject, const char* with, bool global = true) {
        set("Pattern", S(pattern));
        set("Global", B(global));
        return method("Replace", {S(subject), S(with)}).rawString();
    }

    com::RegionalScope regional{com::Regional::enUS()};
    Variant re;
};

TEST_F(RegExpTest, PropertiesStartEmptyAndFalse) {
    EXPECT_EQ(show(get(re, "Pattern")), "String:");
    EXPECT_EQ(show(get(re, "IgnoreCase")), "Boolean:False");
    EXPECT_EQ(show(get(re, "Global")), "Boolean:False");
    EXPECT_EQ(show(get(re, "Multiline")), "Boolean:False");
    set("Pattern", S("a+"));
    EXPECT_EQ(show(get(re, "pattern")), "String:a+");
}

TEST_F(RegExpTest, TestHonoursIgnoreCaseAndMultiline) {
    set("Pattern", S("^is"));
    EXPECT_FALSE(method("Test", {S("This\nis")}).rawBool());
    set("Multiline", B(true));
    EXPECT_TRUE(method("Test", {S("This\nis")}).rawBool());
    set("Pattern", S("IS$"));
    EXPECT_FALSE(method("Test", {S("this")}).rawBool());
    set("IgnoreCase", B(true));
    EXPECT_TRUE(method("Test", {S("this")}).rawBool());
    set("Pattern", S("ÇÃO"));
    EXPECT_TRUE(method("Test", {S("ação")}).rawBool());
    set("Multiline", B(false));
    set("Pattern", S("a$"));
    EXPECT_FALSE(method("Test", {S("a\n")}).rawBool()) << "$ is the end of the text only";
}

TEST_F(RegExpTest, ExecuteGivesMatchesWithPositionsAndSubMatches) {
    set("Pattern", S("(\\w+)@(\\w+)\\.com"));
    set("Global", B(true));
    const Variant matches = method("Execute", {S("ação: ana@mail.com, bob@corp.com")});
    EXPECT_EQ(show(get(matches, "Count")), "Long:2");
    EXPECT_EQ(show(get(matches, "", {L(0)})), "Object:ana@mail.com")
        << "Item is the default member, Value the match's";
    const Variant second = get(matches, "Item", {L(1)});
    EXPECT_EQ(show(get(second, "Value")), "String:bob@corp.com");
    EXPECT_EQ(show(get(second, "FirstIndex")), "Long:20");
    EXPECT_EQ(show(get(second, "Length")), "Long:12");
    const Variant subs = get(second, "SubMatches");
    EXPECT_EQ(show(get(subs, "Count")), "Long:2");
    EXPECT_EQ(show(get(subs, "Item", {L(0)})), "String:bob");
    EXPECT_EQ(show(get(subs, "", {L(1)})), "String:corp");
    EXPECT_EQ(errorOf([&] { get(matches, "Item", {L(2)}); }), com::err::InvalidCall);

    std::vector<std::string> values;
    auto e = com::enumerate(matches);
    Variant m;
    while (e->next(m)) values.push_back(get(m, "Value").rawString());
    EXPECT_EQ(values, (std::vector<std::string>{"ana@mail.com", "bob@corp.com"}));
    EXPECT_EQ(show(call("TypeName", {second})), "String:IMatch2");
    EXPECT_EQ(show(call("VarType", {second})), "Integer:8") << "the type of its default property, Value";
    EXPECT_EQ(show(call("VarType", {matches})), "Integer:9") << "Item needs an index: an object";
}

TEST_F(RegExpTest, WithoutGlobalOnlyTheFirstMatchIsFound) {
    set("Pattern", S("\\d+"));
    const Variant matches = method("Execute", {S("a1 b22 c333")});
    EXPECT_EQ(show(get(matches, "Count")), "Long:1");
    EXPECT_EQ(show(get(get(matches, "Item", {L(0)}), "Value")), "String:1");
}

TEST_F(RegExpTest, PositionsCountUtf16Units) {
    set("Pattern", S("x"));
    set("Global", B(true));
    const Variant matches = method("Execute", {S("😀éx x")});
    EXPECT_EQ(show(get(get(matches, "Item", {L(0)}), "FirstIndex")), "Long:3");
    EXPECT_EQ(show(get(get(matches, "Item", {L(1)}), "FirstIndex")), "Long:5");
}

TEST_F(RegExpTest, AGroupThatDidNotTakePartIsEmpty) {
    set("Pattern", S("(a)|(b)"));
    const Variant subs = get(get(method("Execute", {S("b")}), "Item", {L(0)}), "SubMatches");
    EXPECT_TRUE(get(subs, "Item", {L(0)}).isEmpty());
    EXPECT_EQ(show(get(subs, "Item", {L(1)})), "String:b");
}

TEST_F(RegExpTest, EmptyMatchesAdvanceByOneCharacter) {
    set("Pattern", S("x*"));
    set("Global", B(true));
    EXPECT_EQ(show(get(method("Execute", {S("ab")}), "Count")), "Long:3");
    EXPECT_EQ(replace("x*", "ab", "-"), "-a-b-");
    EXPECT_EQ(replace("x*", "ção", "-"), "-ç-ã-o-");
}

TEST_F(RegExpTest, ReplaceExpandsDollarReferences) {
    const std::vector<std::tuple<const char*, const char*, const char*, bool, const char*>> cases = {
        {"(\\w+) (\\w+)", "John Smith", "$2, $1", true, "Smith, John"},
        {"fox", "The quick fox", "cat", true, "The quick cat"},
        {"o", "foo boo", "0", true, "f00 b00"},
        {"o", "foo boo", "0", false, "f0o boo"},
        {"b", "abc", "[$&]", true, "a[b]c"},
        {"b", "abc", "[$`]", true, "a[a]c"},
        {"b", "abc", "[$']", true, "a[c]c"},
        {"b", "abc", "$$", true, "a$c"},
        {"(b)", "abc", "$2", true, "a$2c"},
        {"(b)", "abc", "$10", true, "ab0c"},
        {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", "$10$1", true, "ja"},
        {"(x)?b", "abc", "[$1]", true, "a[]c"},
        {"z", "abc", "y", true, "abc"},
    };
    for (const auto& [pattern, subject, with, global, expected] : cases)
        EXPECT_EQ(replace(pattern, subject, with, global), expected) << pattern << " -> " << with;
    set("IgnoreCase", B(true));
    EXPECT_EQ(replace("A", "aAa", "x"), "xxx");
}

TEST_F(RegExpTest, APatternThatDoesNotCompileRaisesARegExpError) {
    const std::vector<std::pair<const char*, std::int32_t>> cases = {
        {"(abc", com::err::RegExpExpectedParen},
        {"[abc", com::err::RegExpExpectedBracket},
        {"*a", com::err::RegExpUnexpectedQuantifier},
        {"[z-a]", com::err::RegExpInvalidRange},
    };
    for (const auto& [pattern, number] : cases) {
        set("Pattern", S(pattern));
        try {
            method("Test", {S("abc")});
            ADD_FAILURE() << pattern << " compiled";
        } catch (const com::ComError& e) {
            EXPECT_EQ(e.number(), number) << pattern;
            EXPECT_NE(e.description().find(com::runtimeErrorText(number)), std::string::npos) << e.description();
        }
    }
    set("Pattern", S("ok"));
    EXPECT_TRUE(method("Test", {S("is ok")}).rawBool()) << "a new pattern replaces the bad one";
}

TEST_F(RegExpTest, AHostilePatternFailsInsteadOfRunningOn) {
    set("Pattern", S("^(a+)+$"));
    const std::string subject = std::string(40, 'a') + "!";
    try {
        method("Test", {Variant(subject)});
        ADD_FAILURE() << "the catastrophic pattern returned";
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), com::err::InvalidCall);
        EXPECT_NE(e.description().find("too many steps"), std::string::npos) << e.description();
    }
    EXPECT_TRUE(method("Test", {S("aaaa")}).rawBool()) << "the object still works afterwards";
}

}  // namespace
}  // namespace orvan::vbs::testing
