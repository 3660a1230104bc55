// Scripting.Dictionary through late binding, as scripts reach it: every member, key kinds and compare
// modes, insertion order, For Each over keys, and the errors for duplicate and missing keys; and the
// script's d(key) reads and stores, which reach the items without the member table.
#include "com_server/class_registry.h"
#include "com_server/dispatch.h"
#include "com_server/enumeration.h"
#include "tests/vbscript/library_test_support.h"
#include "tests/vbscript/script_support.h"

namespace orvan::vbs::testing {
namespace {

using com::invoke;

class DictionaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerScriptingClasses();
        d = Variant(com::ClassRegistry::instance().create("scripting.dictionary"));
    }
    Variant run(std::string_view name, unsigned flags, std::vector<Variant> args = {}) {
        return invoke(d, name, flags, args);
    }
    void add(Variant k, Variant v) { run("Add", com::kMethod, {std::move(k), std::move(v)}); }
    Variant item(Variant k) { return run("Item", com::kGet, {std::move(k)}); }
    std::int32_t count() { return run("Count", com::kGet).rawInt(); }

    com::RegionalScope regional{com::Regional::enUS()};
    Variant d;
};

TEST_F(DictionaryTest, AddsFindsAndCountsItemsInInsertionOrder) {
    add(S("a"), S("Athens"));
    add(S("b"), S("Belgrade"));
    add(S("c"), S("Cairo"));
    EXPECT_EQ(count(), 3);
    EXPECT_EQ(show(item(S("b"))), "String:Belgrade");
    EXPECT_EQ(show(run("", com::kGet, {S("c")})), "String:Cairo") << "Item is the default member";
    EXPECT_TRUE(run("Exists", com::kMethod, {S("a")}).rawBool());
    EXPECT_FALSE(run("Exists", com::kMethod, {S("z")}).rawBool());
    EXPECT_EQ(show(run("Keys", com::kMethod)), "Array(String:a,String:b,String:c)");
    EXPECT_EQ(show(run("Items", com::kMethod)), "Array(String:Athens,String:Belgrade,String:Cairo)");
}

TEST_F(DictionaryTest, DuplicateAndMissingKeysRaiseTheirErrors) {
    add(S("a"), L(1));
    EXPECT_EQ(errorOf([&] { add(S("a"), L(2)); }), com::err::KeyAlreadyAssociated);
    EXPECT_EQ(errorOf([&] { run("Remove", com::kMethod, {S("zz")}); }), com::err::ElementNotFound);
    EXPECT_EQ(errorOf([&] { run("Key", com::kPut, {S("zz"), S("y")}); }), com::err::ElementNotFound);
    add(S("b"), L(2));
    EXPECT_EQ(errorOf([&] { run("Key", com::kPut, {S("a"), S("b")}); }), com::err::KeyAlreadyAssociated);
    EXPECT_EQ(count(), 2);
}

TEST_F(DictionaryTest, ReadingAMissingKeyAddsItEmpty) {
    EXPECT_TRUE(item(S("x")).isEmpty());
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(run("Exists", com::kMethod, {S("x")}).rawBool());
}

TEST_F(DictionaryTest, ItemAssignmentAddsOrReplaces) {
    run("Item", com::kPut, {S("k"), L(1)});
    run("Item", com::kPut, {S("k"), L(2)});
    run("Item", com::kPut, {S("j"), L(3)});
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(show(item(S("k"))), "Long:2");
    Variant other(com::ClassRegistry::instance().create("Scripting.Dictionary"));
    run("Item", com::kPutRef, {S("obj"), other});
    EXPECT_TRUE(sameValue(item(S("obj")), other));
}

TEST_F(DictionaryTest, KeyRenamesAndKeepsTheItemAndItsPlace) {
    add(S("a"), L(1));
    add(S("b"), L(2));
    run("Key", com::kPut, {S("a"), S("z")});
    EXPECT_EQ(show(run("Keys", com::kMethod)), "Array(String:z,String:b)");
    EXPECT_EQ(show(item(S("z"))), "Long:1");
    EXPECT_FALSE(run("Exists", com::kMethod, {S("a")}).rawBool());
}

TEST_F(DictionaryTest, ARenamedKeyIsFoundByItsNewNameOnlyAndCanBeRenamedAgain) {
    run("CompareMode", com::kPut, {L(1)});
    add(S("Alpha"), L(1));
    add(S("Beta"), L(2));
    add(S("Gamma"), L(3));
    run("Key", com::kPut, {S("BETA"), S("Delta")});
    EXPECT_TRUE(run("Exists", com::kMethod, {S("delta")}).rawBool()) << "the new key compares as text";
    EXPECT_FALSE(run("Exists", com::kMethod, {S("beta")}).rawBool());
    EXPECT_EQ(errorOf([&] { add(S("DELTA"), L(9)); }), com::err::KeyAlreadyAssociated);
    run("Key", com::kPut, {S("delta"), L(7)});
    EXPECT_EQ(show(item(L(7))), "Long:2") << "a text key renamed to a number";
    run("Remove", com::kMethod, {S("alpha")});
    EXPECT_EQ(show(run("Keys", com::kMethod)), "Array(Long:7,String:Gamma)");
    EXPECT_EQ(show(run("Items", com::kMethod)), "Array(Long:2,Long:3)");
}

TEST_F(DictionaryTest, RemoveAndRemoveAll) {
    add(S("a"), L(1));
    add(S("b"), L(2));
    add(S("c"), L(3));
    run("Remove", com::kMethod, {S("b")});
    EXPECT_EQ(show(run("Keys", com::kMethod)), "Array(String:a,String:c)");
    add(S("b"), L(4));
    EXPECT_EQ(show(run("Keys", com::kMethod)), "Array(String:a,String:c,String:b)") << "re-added at the end";
    run("RemoveAll", com::kMethod);
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(show(run("Keys", com::kMethod)), "Array()");
}

TEST_F(DictionaryTest, KeysKeepTheirKind) {
    add(L(1), S("number"));
    add(S("1"), S("text"));
    EXPECT_EQ(count(), 2) << "1 and \"1\" are different keys";
    EXPECT_EQ(show(item(I(1))), "String:number") << "numbers compare by value whatever their subtype";
    EXPECT_EQ(show(item(D(1.0))), "String:number");
    EXPECT_EQ(show(item(S("1"))), "String:text");
    EXPECT_FALSE(run("Exists", com::kMethod, {S("A")}).rawBool());
    add(S("a"), L(0));
    EXPECT_FALSE(run("Exists", com::kMethod, {S("A")}).rawBool()) << "binary comparison by default";
    // Objects are keys by identity.
    Variant o1(com::ClassRegistry::instance().create("Scripting.Dictionary"));
    Variant o2(com::ClassRegistry::instance().create("Scripting.Dictionary"));
    add(o1, S("first"));
    add(o2, S("second"));
    EXPECT_EQ(show(item(o1)), "String:first");
    EXPECT_EQ(show(item(o2)), "String:second");
    EXPECT_EQ(show(item(Variant())), "Empty");
}

TEST_F(DictionaryTest, TextCompareModeIgnoresCaseAndChangesOnlyWhileEmpty) {
    EXPECT_EQ(show(run("CompareMode", com::kGet)), "Long:0");
    run("CompareMode", com::kPut, {L(1)});
    add(S("Ação"), L(1));
    EXPECT_TRUE(run("Exists", com::kMethod, {S("AÇÃO")}).rawBool());
    EXPECT_EQ(errorOf([&] { add(S("ação"), L(2)); }), com::err::KeyAlreadyAssociated);
    EXPECT_EQ(show(run("Keys", com::kMethod)), "Array(String:Ação)") << "the key as first written";
    EXPECT_EQ(errorOf([&] { run("CompareMode", com::kPut, {L(0)}); }), com::err::InvalidCall);
    run("RemoveAll", com::kMethod);
    run("CompareMode", com::kPut, {L(0)});
    EXPECT_EQ(show(run("CompareMode", com::kGet)), "Long:0");
}

TEST_F(DictionaryTest, ForEachWalksTheKeys) {
    add(S("x"), L(10));
    add(L(2), L(20));
    auto e = com::enumerate(d);
    std::vector<std::string> seen;
    Variant v;
    while (e->next(v)) seen.push_back(show(v));
    EXPECT_EQ(seen, (std::vector<std::string>{"String:x", "Long:2"}));
}

TEST_F(DictionaryTest, ManyKeysStayFindable) {
    for (std::int32_t i = 0; i < 20000; ++i) add(L(i), L(i * 2));
    for (std::int32_t i = 0; i < 20000; i += 997) EXPECT_EQ(item(L(i)).rawInt(), i * 2);
    for (std::int32_t i = 0; i < 20000; i += 2) run("Remove", com::kMethod, {L(i)});
    EXPECT_EQ(count(), 10000);
    EXPECT_FALSE(run("Exists", com::kMethod, {L(4)}).rawBool());
    EXPECT_TRUE(run("Exists", com::kMethod, {L(5)}).rawBool());
    // Texts, renamed in bulk, keep their order and their items.
    run("RemoveAll", com::kMethod);
    for (std::int32_t i = 0; i < 5000; ++i) add(Variant("k" + std::to_string(i)), L(i));
    for (std::int32_t i = 0; i < 5000; i += 3)
        run("Key", com::kPut, {Variant("k" + std::to_string(i)), Variant("r" + std::to_string(i))});
    EXPECT_EQ(count(), 5000);
    EXPECT_EQ(show(item(S("r2997"))), "Long:2997");
    EXPECT_EQ(show(item(S("k2998"))), "Long:2998");
    EXPECT_FALSE(run("Exists", com::kMethod, {S("k2997")}).rawBool());
    const Variant keys = run("Keys", com::kMethod);
    EXPECT_EQ(show(keys.rawArray()[3]), "String:r3");
    EXPECT_EQ(show(keys.rawArray()[4]), "String:k4");
}

// d(key) and d(key) = v in a script: the same item as d.Item(key), keys keeping their kind, a read
// adding a missing key, Set storing an object, an array key refused; other objects' default members
// with one argument still go through their member table.
TEST(DictionaryInScript, DefaultMemberReadsAndStoresAsItem) {
    EXPECT_EQ(vbs::test::run("Set d = CreateObject(\"Scripting.Dictionary\")\n"
                             "d(1) = \"one\" : d(\"1\") = \"text\" : d(1.0) = \"ONE\"\n"
                             "Out.Write d.Count & d.Item(1) & d(\"1\") & \";\"\n"
                             "x = d(\"new\") : Out.Write d.Count & IsEmpty(x) & d.Exists(\"new\") & \";\"\n"
                             "Set d(\"self\") = d : Out.Write (d(\"self\") Is d) & \";\"\n"
                             "Set d(\"self\") = Nothing\n"
                             "Set m = New RegExp : m.Pattern = \"(a)(b)\"\n"
                             "Set mm = m.Execute(\"xab\") : Out.Write mm(0).Value & mm(0).SubMatches(1) & \";\"\n"
                             "On Error Resume Next\n"
                             "d(Array(1)) = 1 : Out.Write Err.Number & \" \" : Err.Clear\n"
                             "x = d(Array(1)) : Out.Write Err.Number"),
              "2ONEtext;3TrueTrue;True;abb;13 13");
}

}  // namespace
}  // namespace orvan::vbs::testing
