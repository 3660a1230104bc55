// Recordset reading: opening on text, tables and Commands, navigation, counts, MaxRecords, fields by
// name and ordinal (also late-bound, through the default members), and dates.
#include "ado_fixture.h"
#include "com_server/conversions.h"
#include "com_server/regional.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;

template <typename E>
class AdoRecordsetTest : public AdoTest<E> {
protected:
    void SetUp() override {
        AdoTest<E>::SetUp();
        if (this->HasFatalFailure()) return;
        t = this->createTable(
            "pessoa", "oid INTEGER PRIMARY KEY, nome VARCHAR(60), nascimento " + std::string(E::kDateTime));
        this->exec("INSERT INTO " + t +
                   " (oid, nome, nascimento) VALUES (1, 'Ana', '1990-05-17 08:30:15'), (2, 'Bia', NULL), "
                   "(3, 'Caio', '2001-12-31 23:59:59')");
    }
    std::string t;
};
TYPED_TEST_SUITE(AdoRecordsetTest, Engines, EngineNames);

std::string nomeOf(const ComPtr<Recordset>& rs) {
    return com::CStr(rs->get_Fields()->get_Item(Variant("nome"))->get_Value());
}

TYPED_TEST(AdoRecordsetTest, NavigatesAndCountsByCursor) {
    auto cn = this->connect();
    const std::string sql = "SELECT oid, nome FROM " + this->t + " ORDER BY oid";

    auto rs = this->openRs(cn, sql, adOpenStatic, adLockReadOnly);
    EXPECT_EQ(rs->get_State(), adStateOpen);
    EXPECT_FALSE(rs->get_BOF());
    EXPECT_EQ(rs->get_RecordCount(), 3);
    EXPECT_EQ(nomeOf(rs), "Ana");
    rs->MoveNext();
    rs->MoveNext();
    EXPECT_EQ(nomeOf(rs), "Caio");
    rs->MoveNext();
    EXPECT_TRUE(rs->get_EOF());
    const ComError atEof = errorOf([&] { rs->MoveNext(); });
    EXPECT_EQ(atEof.number(), 3021);
    EXPECT_EQ(atEof.source(), "ADODB.Recordset");
    rs->MoveFirst();
    EXPECT_EQ(nomeOf(rs), "Ana");
    rs->MoveLast();
    EXPECT_EQ(nomeOf(rs), "Caio");
    rs->MovePrevious();
    EXPECT_EQ(nomeOf(rs), "Bia");
    EXPECT_EQ(rs->get_EditMode(), adEditNone);
    EXPECT_EQ(errorOf([&] { rs->Open(Variant(sql), Variant(cn), -1, -1, -1); }).number(), 3705);

    // A server-side forward-only cursor does not know its count; a client cursor is static.
    auto forward = this->openRs(cn, sql, adOpenForwardOnly, adLockReadOnly);
    EXPECT_EQ(forward->get_RecordCount(), -1);
    auto client = com::make<Recordset>();
    client->put_CursorLocation(adUseClient);
    client->Open(Variant(sql), Variant(cn), adOpenForwardOnly, adLockReadOnly, -1);
    EXPECT_EQ(client->get_CursorType(), adOpenStatic);
    EXPECT_EQ(client->get_RecordCount(), 3);
    client->Close();
    EXPECT_EQ(client->get_CursorType(), adOpenForwardOnly);
    EXPECT_EQ(errorOf([&] { client->put_CursorLocation(7); }).number(), 3001);
}

TYPED_TEST(AdoRecordsetTest, MaxRecordsStopsReadingWithoutChangingTheStatement) {
    auto cn = this->connect();
    const std::string sql = "SELECT oid FROM " + this->t + " ORDER BY oid";
    StatementLog log;
    auto rs = com::make<Recordset>();
    rs->put_MaxRecords(2);
    rs->Open(Variant(sql), Variant(cn), adOpenStatic, adLockReadOnly, -1);
    EXPECT_EQ(rs->get_RecordCount(), 2);
    EXPECT_EQ(log.all(), std::vector<std::string>{sql});
    EXPECT_EQ(errorOf([&] { rs->put_MaxRecords(5); }).number(), 3705);
}

TYPED_TEST(AdoRecordsetTest, EmptyResultsAndStatementsWithoutRows) {
    auto cn = this->connect();
    auto rs =
        this->openRs(cn, "SELECT nome FROM " + this->t + " WHERE oid < 0", adOpenStatic, adLockReadOnly);
    EXPECT_TRUE(rs->get_BOF());
    EXPECT_TRUE(rs->get_EOF());
    EXPECT_EQ(rs->get_RecordCount(), 0);
    auto field = rs->get_Fields()->get_Item(Variant("nome"));
    const ComError e = errorOf([&] { field->get_Value(); });
    EXPECT_EQ(e.number(), 3021);
    EXPECT_EQ(e.source(), "ADODB.Field");
    EXPECT_EQ(errorOf([&] { rs->MoveFirst(); }).number(), 3021);
    EXPECT_EQ(errorOf([&] { rs->get_EditMode(); }).number(), 3021);

    // A statement that returns no rows runs and leaves the recordset closed, without an error.
    auto write = com::make<Recordset>();
    write->Open(Variant("UPDATE " + this->t + " SET nome = 'Ana Maria' WHERE oid = 1"), Variant(cn), -1, -1,
                -1);
    EXPECT_EQ(write->get_State(), adStateClosed);
    EXPECT_EQ(com::CStr(this->scalar("SELECT nome FROM " + this->t + " WHERE oid = 1")), "Ana Maria");
}

TYPED_TEST(AdoRecordsetTest, FieldsByNameOrdinalAndDefaultMembers) {
    auto cn = this->connect();
    auto rs = this->openRs(cn, "SELECT oid, nome AS NOME_COMPLETO FROM " + this->t + " ORDER BY oid",
                           adOpenStatic, adLockReadOnly);
    auto fields = rs->get_Fields();
    EXPECT_EQ(fields->get_Count(), 2);
    EXPECT_EQ(fields->get_Item(Variant("nome_completo")).get(),
              fields->get_Item(Variant(std::int32_t{1})).get());
    EXPECT_EQ(fields->get_Item(Variant(0.1)).get(), fields->get_Item(Variant(std::int16_t{0})).get());
    EXPECT_EQ(errorOf([&] { fields->get_Item(Variant("nosuch")); }).number(), 3265);
    EXPECT_EQ(errorOf([&] { fields->get_Item(Variant(std::int32_t{2})); }).number(), 3265);
    EXPECT_EQ(errorOf([&] { fields->get_Item(Variant::null()); }).number(), 3265);

    // Late-bound rs("NOME_COMPLETO") gives the Field; its default value is the current row's value.
    Variant rsv(rs);
    Variant arg[] = {Variant("Nome_Completo")};
    Variant field = com::invoke(rsv, "", com::kMethod | com::kGet, arg);
    ASSERT_TRUE(field.isObject());
    EXPECT_EQ(com::CStr(com::defaultValue(field)), "Ana");
    // A Field object keeps reading the current row.
    rs->MoveNext();
    EXPECT_EQ(com::CStr(com::defaultValue(field)), "Bia");
    // The name as the engine reports it (PostgreSQL folds an unquoted alias to lower case).
    Variant name = com::getProperty(*field.rawObject(), "Name");
    EXPECT_EQ(com::UCase(com::CStr(name)), "NOME_COMPLETO");

    rs->Close();
    EXPECT_EQ(fields->get_Count(), 0);
    EXPECT_EQ(errorOf([&] { com::getProperty(*field.rawObject(), "Name"); }).number(), 3420);
}

// A name is found whatever its case, accented letters included, and a repeated name finds its first
// column. Each column has one Field, whichever way it is reached, until the recordset is opened again.
TYPED_TEST(AdoRecordsetTest, FieldNamesIgnoreCaseAndEachColumnHasOneField) {
    auto cn = this->connect();
    auto rs = this->openRs(cn, "SELECT nome AS \"Descrição\", oid AS x, nome AS X FROM " + this->t + " ORDER BY oid",
                           adOpenStatic, adLockReadOnly);
    auto fields = rs->get_Fields();
    const auto at = [&](std::int32_t i) -> com::Object* { return fields->get_Item(Variant(i)).get(); };
    for (const char* name : {"Descrição", "DESCRIÇÃO", "descrição", "dEsCrIçÃo"})
        EXPECT_EQ(fields->get_Item(Variant(name)).get(), at(0)) << name;
    EXPECT_EQ(errorOf([&] { fields->get_Item(Variant("Descricao")); }).number(), 3265);
    EXPECT_EQ(errorOf([&] { fields->get_Item(Variant("Descrição ")); }).number(), 3265);
    EXPECT_EQ(fields->get_Item(Variant("X")).get(), at(1));
    EXPECT_TRUE(sameValue(com::defaultValue(Variant(fields->get_Item(Variant("x")))), Variant(std::int32_t{1})));
    // Read and assigned from C++ without a Field object: the same values and the same errors.
    EXPECT_TRUE(sameValue(fields->valueOf(Variant("DESCRIÇÃO")), Variant("Ana")));
    EXPECT_EQ(errorOf([&] { fields->valueOf(Variant("nosuch")); }).number(), 3265);
    EXPECT_EQ(errorOf([&] { fields->assign(Variant("x"), Variant(std::int32_t{9})); }).number(),
              errorOf([&] { fields->get_Item(Variant("x"))->put_Value(Variant(std::int32_t{9})); }).number());

    auto each = fields->NewEnum();
    Variant item;
    for (std::int32_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(each->next(item));
        EXPECT_EQ(item.rawObject().get(), at(i));
    }
    EXPECT_FALSE(each->next(item));

    // Opened again on other columns: other Fields, and the ones held before are detached.
    Variant before(fields->get_Item(Variant(std::int32_t{0})));
    rs->Close();
    rs->Open(Variant("SELECT oid FROM " + this->t), Variant(cn), adOpenStatic, adLockReadOnly, adCmdText);
    EXPECT_EQ(fields->get_Count(), 1);
    EXPECT_NE(at(0), before.rawObject().get());
    EXPECT_EQ(errorOf([&] { com::getProperty(*before.rawObject(), "Name"); }).number(), 3420);
    rs->Close();
    EXPECT_EQ(errorOf([&] { fields->valueOf(Variant(std::int32_t{0})); }).number(), 3265);
}

TYPED_TEST(AdoRecordsetTest, OpensOnCommandsAndOutlivesTheirReferences) {
    auto cn = this->connect();
    auto cmd = com::make<Command>();
    cmd->putref_ActiveConnection(cn);
    cmd->put_CommandType(adCmdText);
    cmd->put_CommandText("SELECT nome FROM " + this->t + " WHERE oid >= ? ORDER BY oid");
    cmd->get_Parameters()->Append(cmd->CreateParameter("min", 3, adParamInput, 0, Variant(std::int32_t{2})));
    auto rs = com::make<Recordset>();
    rs->put_CursorLocation(adUseClient);
    rs->Open(Variant(cmd), Variant::missing(), adOpenForwardOnly, adLockReadOnly, -1);
    EXPECT_EQ(com::CStr(rs->get_Source()), cmd->get_CommandText());
    EXPECT_EQ(errorOf([&] {
                  rs->Close();
                  rs->Open(Variant(cmd), Variant(cn), -1, -1, -1);
              }).number(),
              3001)
        << "a Command source brings its own connection";
    rs->Open(Variant(cmd), Variant::missing(), adOpenStatic, adLockReadOnly, -1);

    // Changing the command afterwards does not touch the open recordset; dropping it and the
    // connection leaves the recordset readable.
    cmd->put_CommandText("SELECT 1");
    cmd = nullptr;
    cn = nullptr;
    EXPECT_EQ(rs->get_RecordCount(), 2);
    EXPECT_EQ(nomeOf(rs), "Bia");
    rs->MoveNext();
    EXPECT_EQ(nomeOf(rs), "Caio");

    // A table opened by name, and a connection given as a string.
    auto table = com::make<Recordset>();
    table->Open(Variant(this->t), Variant(this->cs()), adOpenKeyset, adLockReadOnly, adCmdTable);
    EXPECT_EQ(table->get_RecordCount(), 3);
    EXPECT_EQ(table->get_Fields()->get_Count(), 3);
    EXPECT_TRUE(table->get_ActiveConnection().isObject());
}

TYPED_TEST(AdoRecordsetTest, DateTimeColumnsReadAndWriteDatesToTheSecond) {
    com::RegionalScope ptBR(com::Regional::ptBR());
    auto cn = this->connect();
    auto rs = this->openRs(cn, "SELECT oid, nascimento FROM " + this->t + " ORDER BY oid", adOpenKeyset,
                           adLockOptimistic);
    auto nascimento = rs->get_Fields()->get_Item(Variant("nascimento"));
    const Variant v = nascimento->get_Value();
    ASSERT_EQ(v.type(), com::VarType::Date);
    EXPECT_EQ(com::splitDate(v.rawDate()), (com::DateParts{1990, 5, 17, 8, 30, 15}));
    rs->MoveNext();
    EXPECT_TRUE(nascimento->get_Value().isNull());

    // A text CDate reads, and a date with a fraction of a second: both are stored to the second.
    nascimento->put_Value(Variant("17/05/1990 08:30:16"));
    rs->MoveNext();
    const double withFraction = *com::makeDate({2002, 1, 2, 3, 4, 5}) + 0.4 / 86400.0;
    nascimento->put_Value(Variant::date(withFraction));
    rs->Update();
    EXPECT_EQ(com::splitDate(nascimento->get_Value().rawDate()), (com::DateParts{2002, 1, 2, 3, 4, 5}));

    auto check = this->connect();
    Variant ra;
    auto back = check->Execute("SELECT nascimento FROM " + this->t + " ORDER BY oid", ra, -1);
    back->MoveNext();
    Variant second = back->get_Fields()->get_Item(Variant(std::int16_t{0}))->get_Value();
    ASSERT_EQ(second.type(), com::VarType::Date);
    EXPECT_EQ(second.rawDate(), *com::makeDate({1990, 5, 17, 8, 30, 16}));
    back->MoveNext();
    EXPECT_EQ(back->get_Fields()->get_Item(Variant(std::int16_t{0}))->get_Value().rawDate(),
              *com::makeDate({2002, 1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace orvan::data::adotest
