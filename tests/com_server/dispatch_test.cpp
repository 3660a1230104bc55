// Late binding through member tables: names, kinds, defaults, coercion, by-reference write-back,
// default members and stored properties.
#include <gtest/gtest.h>

#include "com_server/dispatch.h"
#include "com_server/regional.h"

namespace orvan::com {
namespace {

class Probe : public Object {
public:
    static constexpr const char* kInterfaceName = "_Probe";
    ComPtr<Probe> child;
    std::string label = "probe";
    std::int32_t lastLong = 0;
    std::int16_t lastShort = 0;

    // Doubles n and appends "!" to s through the references; returns the sum of the optionals.
    std::int32_t Twice(std::int32_t& n, std::string& s, std::int32_t& extra, std::string& tail) {
        n *= 2;
        s += "!";
        return extra + static_cast<std::int32_t>(tail.size());
    }
    // Writes through its reference, then fails.
    void WriteThenFail(std::int32_t& n) {
        n = 99;
        throw ComError(-2147217900, "falhou depois de escrever");
    }
    void TakeShort(std::int16_t v) { lastShort = v; }
    void TakeLong(std::int32_t v) { lastLong = v; }
    Variant Echo(Variant v) { return v; }
    std::string Value() { return label; }

    static const TypeInfo& members() {
        static const TypeInfo t = [] {
            TypeInfo info{"Probe", kInterfaceName, {}};
            for (auto& m : storedProperty<&Probe::child>("child", 0x40030000)) info.members.push_back(m);
            for (auto& m : storedProperty<&Probe::label>("label", 0x40030001)) info.members.push_back(m);
            info.members.push_back(method<&Probe::Twice>(
                "Twice", 0x60030000, {"n", "s", Param("extra", Variant(std::int32_t{10})), Param("tail", Variant("ab"))}));
            info.members.push_back(method<&Probe::WriteThenFail>("WriteThenFail", 0x60030001, {"n"}));
            info.members.push_back(method<&Probe::TakeShort>("TakeShort", 0x60030002, {"v"}));
            info.members.push_back(method<&Probe::TakeLong>("TakeLong", 0x60030003, {"v"}));
            info.members.push_back(method<&Probe::Echo>("Echo", 0x60030004, {"v"}));
            info.members.push_back(propertyGet<&Probe::Value>("Value", kDispidValue));
            return info;
        }();
        return t;
    }
    const TypeInfo& typeInfo() const override { return members(); }
};

class DispatchTest : public ::testing::Test {
protected:
    ComPtr<Probe> p = make<Probe>();
    RegionalScope regional{Regional::ptBR()};
};

std::int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComError& e) {
        return e.number();
    }
    return 0;
}

TEST_F(DispatchTest, ByReferenceArgumentsAreWrittenBackAndDefaultsFilled) {
    Variant args[] = {Variant(std::int32_t{21}), Variant("oi")};
    Variant r = invoke(*p, "twice", kMethod, args);
    EXPECT_EQ(r.rawInt(), 12) << "defaults 10 and \"ab\" were used";
    EXPECT_EQ(args[0].type(), VarType::Long);
    EXPECT_EQ(args[0].rawInt(), 42);
    EXPECT_EQ(args[1].rawString(), "oi!");

    // An explicitly missing optional argument takes its default too; a given one is used.
    Variant args2[] = {Variant(std::int32_t{1}), Variant("x"), Variant::missing(), Variant("abcd")};
    EXPECT_EQ(invoke(*p, "TWICE", kMethod, args2).rawInt(), 14);
}

TEST_F(DispatchTest, ArgumentsAreCoercedLikeTheRuntime) {
    Variant args[] = {Variant(" 40"), Variant(std::int32_t{5})};
    invoke(*p, "Twice", kMethod, args);
    EXPECT_EQ(args[0].rawInt(), 80) << "text converts like CLng and comes back as the declared type";
    EXPECT_EQ(args[1].rawString(), "5!");

    Variant half[] = {Variant(2.5)};
    invoke(*p, "TakeLong", kMethod, half);
    EXPECT_EQ(p->lastLong, 2) << "round half to even";
}

TEST_F(DispatchTest, ErrorsOfLateBinding) {
    struct Case {
        const char* what;
        std::function<void()> call;
        std::int32_t number;
    };
    const Case cases[] = {
        {"unknown name", [&] { invoke(*p, "Nada", kMethod); }, err::NotSupported},
        {"missing required", [&] { invoke(*p, "Twice", kMethod); }, err::ArgumentNotOptional},
        {"too many",
         [&] {
             Variant a[] = {Variant(std::int32_t{1}), Variant(std::int32_t{2})};
             invoke(*p, "TakeLong", kMethod, a);
         },
         err::WrongArgumentCount},
        {"text that is not a number",
         [&] {
             Variant a[] = {Variant("abc")};
             invoke(*p, "TakeLong", kMethod, a);
         },
         err::TypeMismatch},
        {"16-bit overflow",
         [&] {
             Variant a[] = {Variant(std::int32_t{40000})};
             invoke(*p, "TakeShort", kMethod, a);
         },
         err::Overflow},
        {"null into a number",
         [&] {
             Variant a[] = {Variant::null()};
             invoke(*p, "TakeLong", kMethod, a);
         },
         err::InvalidUseOfNull},
        {"a text where an object goes",
         [&] {
             Variant a[] = {Variant("x")};
             invoke(*p, "child", kPutRef, a);
         },
         err::TypeMismatch},
        {"put on a method", [&] { putProperty(*p, "TakeLong", Variant(std::int32_t{1})); }, err::NotSupported},
        {"call on Nothing", [&] { invoke(Variant(nullptr), "x", kMethod); }, err::ObjectNotSet},
        {"call on a number", [&] { invoke(Variant(1.5), "x", kMethod); }, err::ObjectRequired},
    };
    for (const auto& c : cases) EXPECT_EQ(errorOf(c.call), c.number) << c.what;
}

TEST_F(DispatchTest, ByReferenceWriteBackHappensAlsoWhenTheMemberFails) {
    Variant args[] = {Variant(std::int32_t{1})};
    EXPECT_EQ(errorOf([&] { invoke(*p, "WriteThenFail", kMethod, args); }), -2147217900);
    EXPECT_EQ(args[0].rawInt(), 99);
}

TEST_F(DispatchTest, StoredPropertiesReplaceAndRelease) {
    auto first = make<Probe>();
    auto second = make<Probe>();
    putRefProperty(*p, "child", Variant(first));
    EXPECT_EQ(first->refCount(), 2u);
    putRefProperty(*p, "CHILD", Variant(second));
    EXPECT_EQ(first->refCount(), 1u) << "the replaced reference is released";
    EXPECT_EQ(getProperty(*p, "child").rawObject(), ComPtr<Object>(second));
    putRefProperty(*p, "child", Variant::null());
    EXPECT_FALSE(p->child);
    putProperty(*p, "label", Variant(std::int32_t{7}));
    EXPECT_EQ(p->label, "7");
}

TEST_F(DispatchTest, DefaultMemberGivesThePlainValue) {
    p->child = make<Probe>();
    p->child->label = "filho";
    Variant v = defaultValue(getProperty(*p, "child"));
    EXPECT_EQ(v.rawString(), "filho");
    EXPECT_EQ(CStr(Variant(ComPtr<Object>(p))), "probe") << "CStr of an object reads its default member";
    EXPECT_EQ(errorOf([] { defaultValue(Variant(nullptr)); }), err::ObjectNotSet);
}

TEST_F(DispatchTest, EchoKeepsSubtypesAndArrays) {
    const Variant values[] = {Variant(),           Variant::null(), Variant(std::int16_t{-3}), Variant(std::int32_t{7}),
                              Variant(2.25),       Variant(true),   Variant::date(39807.5),    Variant("ção"),
                              Variant::array({Variant(std::int32_t{1}), Variant("dois"), Variant::null()})};
    for (const auto& v : values) {
        Variant a[] = {v};
        EXPECT_TRUE(sameValue(invoke(*p, "Echo", kMethod, a), v)) << typeName(v.type());
    }
}

TEST_F(DispatchTest, PutMemberStoresThroughTheMembersOwnPut) {
    putMember(*p, "LABEL", {}, Variant("novo"), false);
    EXPECT_EQ(p->label, "novo");
    auto other = make<Probe>();
    putMember(*p, "child", {}, Variant(other), true);
    EXPECT_EQ(p->child.get(), other.get());
}

TEST_F(DispatchTest, PutMemberWithoutAPutGoesThroughTheGetterAndNeedsAnObjectThere) {
    // Probe's default member only reads a text: there is no object to put into.
    EXPECT_EQ(errorOf([&] { putMember(*p, "", {Variant("k")}, Variant("v"), false); }), err::ObjectRequired);
    EXPECT_EQ(errorOf([&] { putMember(*p, "Nope", {}, Variant(1), false); }), err::NotSupported);
}

TEST_F(DispatchTest, TypeLibraryPrintoutNamesIdsTypesAndDefaults) {
    const std::string text = describe(Probe::members());
    EXPECT_NE(text.find("[id(0x60030000), method] long Twice(long* n, BSTR* s, [optional, defaultvalue] long* extra = 10, "
                        "[optional, defaultvalue] BSTR* tail = \"ab\");"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[id(0x40030000), propputref] void child(_Probe* value);"), std::string::npos) << text;
    EXPECT_NE(text.find("[id(0x60030002), method] void TakeShort(short v);"), std::string::npos) << text;
}

}  // namespace
}  // namespace orvan::com
