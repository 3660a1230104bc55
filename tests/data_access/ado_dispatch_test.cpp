// The ADO objects late-bound, as pages reach them: creation by ProgID, omitted optional arguments and
// their defaults, by-reference write-back, default members and property puts.
#include "ado_fixture.h"
#include "com_server/class_registry.h"
#include "com_server/conversions.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;

using AdoDispatchTest = AdoTest<SqliteEngine>;

Variant call(const Variant& target, const char* name, std::vector<Variant> args,
             unsigned flags = com::kMethod) {
    return com::invoke(target, name, flags, std::span<Variant>(args));
}

TEST_F(AdoDispatchTest, PagesDriveTheObjectsLateBound) {
    const std::string t = createTable("pessoa", "oid INTEGER PRIMARY KEY, nome VARCHAR(60)");
    registerAdoClasses();
    auto& registry = com::ClassRegistry::instance();
    const Variant cn(registry.create("adodb.connection"));
    ASSERT_TRUE(cn.isObject());
    EXPECT_EQ(cn.rawObject()->typeInfo().className, "Connection");

    // Connection.Open with only the string; the other three arguments are omitted.
    call(cn, "Open", {Variant(cs())});
    EXPECT_EQ(com::CLng(com::getProperty(*cn.rawObject(), "State")), adStateOpen);
    EXPECT_EQ(com::CStr(com::defaultValue(cn)), cs()) << "ConnectionString is the default member";

    // Execute writes RecordsAffected back through the by-reference argument; Options defaults to -1.
    std::vector<Variant> exec = {Variant("INSERT INTO " + t + " VALUES (1, 'Ana'), (2, 'Bia')"), Variant()};
    com::invoke(cn, "Execute", com::kMethod, std::span<Variant>(exec));
    EXPECT_TRUE(sameValue(exec[1], Variant(std::int32_t{2})));
    call(cn, "Execute", {Variant("UPDATE " + t + " SET nome = nome")});

    // A Command with a parameter made with CreateParameter's defaults.
    const Variant cmd(registry.create("ADODB.Command"));
    com::putRefProperty(*cmd.rawObject(), "ActiveConnection", cn);
    com::putProperty(*cmd.rawObject(), "CommandText",
                     Variant("SELECT oid, nome FROM " + t + " WHERE oid >= ?"));
    const Variant p = call(cmd, "CreateParameter", {});
    EXPECT_EQ(com::CStr(com::getProperty(*p.rawObject(), "Name")), "");
    EXPECT_EQ(com::CLng(com::getProperty(*p.rawObject(), "Type")), 0);
    EXPECT_EQ(com::CLng(com::getProperty(*p.rawObject(), "Direction")), adParamInput);
    EXPECT_EQ(com::CLng(com::getProperty(*p.rawObject(), "Size")), 0);
    EXPECT_TRUE(com::defaultValue(p).isEmpty());
    com::putProperty(*p.rawObject(), "Value", Variant(std::int32_t{1}));
    call(Variant(com::getProperty(*cmd.rawObject(), "Parameters")), "Append", {p});
    EXPECT_EQ(com::CLng(com::defaultValue(call(cmd, "", {Variant(std::int16_t{0})}, com::kGet))), 1)
        << "cmd(0) is its first parameter";

    // Recordset.Open with the Command and every other argument omitted.
    const Variant rs(registry.create("ADODB.Recordset"));
    com::putProperty(*rs.rawObject(), "LockType", Variant(std::int32_t{adLockOptimistic}));
    call(rs, "Open", {cmd});
    EXPECT_TRUE(sameValue(com::getProperty(*rs.rawObject(), "EOF"), Variant(false)));
    // rs("NOME") is the Field; its default member is the value. rs("NOME").Value = ... writes it.
    const Variant nome = call(rs, "", {Variant("NOME")}, com::kMethod | com::kGet);
    EXPECT_EQ(com::CStr(com::defaultValue(nome)), "Ana");
    com::putProperty(*nome.rawObject(), "Value", Variant("Ana Paula"));
    EXPECT_EQ(com::CLng(com::getProperty(*rs.rawObject(), "EditMode")), adEditInProgress);
    call(rs, "MoveNext", {});
    EXPECT_EQ(com::CStr(scalar("SELECT nome FROM " + t + " WHERE oid = 1")), "Ana Paula");
    EXPECT_EQ(com::CStr(com::defaultValue(call(rs, "Fields", {Variant(std::int32_t{1})}, com::kGet))), "Bia");
    EXPECT_EQ(errorOf([&] { call(rs, "Fields", {Variant("nosuch")}, com::kGet); }).number(), 3265);
    call(rs, "Close", {});

    // ActiveConnection given as a connection string opens a connection of the recordset's own.
    const Variant own(registry.create("ADODB.Recordset"));
    com::putProperty(*own.rawObject(), "ActiveConnection", Variant(cs()));
    call(own, "Open",
         {Variant(t), Variant::missing(), Variant(std::int32_t{adOpenKeyset}),
          Variant(std::int32_t{adLockReadOnly}), Variant(std::int32_t{adCmdTable})});
    EXPECT_EQ(com::CLng(com::getProperty(*own.rawObject(), "RecordCount")), 2);
    const Variant active = com::getProperty(*own.rawObject(), "ActiveConnection");
    ASSERT_TRUE(active.isObject() && active.rawObject());
    EXPECT_NE(active.rawObject().get(), cn.rawObject().get());
}

TEST(AdoTypeInfoTest, MembersCarryAdoNamesDefaultsAndDefaultMembers) {
    struct Expect {
        const com::TypeInfo& type;
        const char* defaultMember;
    };
    const std::vector<Expect> types = {
        {Connection::members(), "ConnectionString"},
        {Command::members(), "Parameters"},
        {Recordset::members(), "Fields"},
    };
    for (const auto& e : types) {
        const com::MemberInfo* m = e.type.find(com::kDispidValue, com::kGet);
        ASSERT_NE(m, nullptr) << e.type.className;
        EXPECT_EQ(m->name, e.defaultMember);
    }
    const com::MemberInfo* open = Recordset::members().find("Open", com::kMethod);
    ASSERT_NE(open, nullptr);
    ASSERT_EQ(open->params.size(), 5u);
    for (const auto& p : open->params) EXPECT_TRUE(p.optional) << p.name;
    EXPECT_TRUE(open->params[0].defaultValue.isMissing());
    EXPECT_TRUE(sameValue(open->params[2].defaultValue, Variant(std::int32_t{-1})));
    const com::MemberInfo* execute = Connection::members().find("Execute", com::kMethod);
    ASSERT_NE(execute, nullptr);
    EXPECT_TRUE(execute->params[1].byRef && execute->params[1].optional);
    EXPECT_TRUE(sameValue(execute->params[2].defaultValue, Variant(std::int32_t{-1})));
}

}  // namespace
}  // namespace orvan::data::adotest
