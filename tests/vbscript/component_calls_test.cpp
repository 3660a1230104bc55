// Calls on automation objects as classic pages make them: default members with arguments
// (Session("k"), rs("NOME")), puts with arguments (Session("k") = v, Response.Cookies("c") = v),
// member chains, Set on object properties, and errors of unknown members.
#include <gtest/gtest.h>

#include <map>

#include "com_server/dispatch.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

// A keyed store with a default member that takes the key, as Session and Application are.
class Store final : public com::Object {
public:
    const com::TypeInfo& typeInfo() const override {
        static const com::TypeInfo info = [] {
            com::TypeInfo t;
            t.className = "Store";
            t.members = {com::propertyGet<&Store::Value>("Value", com::kDispidValue, {"key"}),
                         com::bind<&Store::SetValue>("Value", com::kDispidValue, com::MemberKind::PropertyPut,
                                                     {"key", "value"}),
                         com::propertyGet<&Store::Jar>("Jar", 1),
                         com::propertyGet<&Store::Owner>("Owner", 2),
                         com::propertyPutRef<&Store::SetOwner>("Owner", 2)};
            return t;
        }();
        return info;
    }
    com::Variant Value(std::string key) { return items[key]; }
    void SetValue(std::string key, com::Variant v) { items[key] = std::move(v); }
    com::ComPtr<Store> Jar() {
        if (!jar) jar = com::make<Store>();
        return jar;
    }
    com::Variant Owner() { return owner; }
    void SetOwner(com::Variant v) { owner = std::move(v); }

    std::map<std::string, com::Variant> items;
    com::ComPtr<Store> jar;
    com::Variant owner;
};

struct StoreRun {
    std::string output;
    com::ComPtr<Store> store = com::make<Store>();
};

StoreRun runWithStore(const std::string& source) {
    StoreRun r;
    auto out = com::make<Output>();
    Engine engine;
    engine.addGlobal("Out", com::Variant(out));
    engine.addGlobal("Session", com::Variant(r.store));
    engine.run(*compile(source));
    r.output = out->text;
    return r;
}

TEST(ComponentCalls, ADefaultMemberTakesTheArgumentsBothWays) {
    StoreRun r = runWithStore("Session(\"login\") = \"ana\"\nOut.Write Session(\"login\") & \"|\" & Session.Value(\"login\")");
    EXPECT_EQ(r.output, "ana|ana");
    EXPECT_EQ(r.store->items["login"].rawString(), "ana");
}

TEST(ComponentCalls, APutThroughAGetterGoesToTheDefaultMemberOfWhatItReturns) {
    StoreRun r = runWithStore("Session.Jar(\"c\") = \"cookie\"\nOut.Write Session.Jar(\"c\")");
    EXPECT_EQ(r.output, "cookie");
    ASSERT_TRUE(r.store->jar);
    EXPECT_EQ(r.store->jar->items["c"].rawString(), "cookie");
}

TEST(ComponentCalls, SetOnAPropertyPassesTheObject) {
    StoreRun r = runWithStore("Set Session.Owner = Session.Jar\nOut.Write TypeName(Session.Owner) & \" \" & "
                         "(Session.Owner Is Session.Jar)");
    EXPECT_EQ(r.output, "Store True");
}

TEST(ComponentCalls, AnArrayStoredInAComponentComesBackAsAnArray) {
    StoreRun r = runWithStore("Dim a(2)\na(1) = \"b\"\nSession(\"arr\") = a\nx = Session(\"arr\")\n"
                         "Out.Write IsArray(x) & UBound(x) & x(1)");
    EXPECT_EQ(r.output, "True2b");
}

TEST(ComponentCalls, ComparingWithAComponentValueUsesItsDefaultMember) {
    StoreRun r = runWithStore("Session(\"n\") = \"5\"\nIf Session(\"n\") = 5 Then Out.Write \"equal\"");
    EXPECT_EQ(r.output, "equal");
}

TEST(ComponentCalls, AnUnknownMemberIsError438) {
    StoreRun r = runWithStore("On Error Resume Next\nx = Session.Nope\nOut.Write Err.Number & \" \"\nErr.Clear\n"
                         "Session.Nope = 1\nOut.Write Err.Number");
    EXPECT_EQ(r.output, "438 438");
}

TEST(ComponentCalls, WithBlocksReachComponents) {
    StoreRun r = runWithStore("With Session\n  .Value(\"a\") = 1\n  Out.Write .Value(\"a\") + 1\nEnd With");
    EXPECT_EQ(r.output, "2");
}

}  // namespace
}  // namespace orvan::vbs::test
