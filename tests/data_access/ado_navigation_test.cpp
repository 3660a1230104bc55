// What list pages do with an open recordset: cursor and lock types, Move and its errors, positions,
// paging, bookmarks, GetRows, GetString, Filter, Sort, Find, Clone, Delete, Requery, Supports,
// NextRecordset, and the Field properties beyond Value.
#include "ado_fixture.h"
#include "com_server/conversions.h"
#include "com_server/regional.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;

template <typename E>
class AdoNavigationTest : public AdoTest<E> {
protected:
    void SetUp() override {
        AdoTest<E>::SetUp();
        if (this->HasFatalFailure()) return;
        t = this->createTable("item", "oid INTEGER PRIMARY KEY, nome VARCHAR(40), valor DOUBLE PRECISION, dia " +
                                           std::string(E::kDateTime));
        this->exec("INSERT INTO " + t +
                   " (oid, nome, valor, dia) VALUES (1, 'Ana', 10.5, '2024-01-05 00:00:00'), "
                   "(2, 'bia', NULL, '2024-02-10 00:00:00'), (3, 'Caio', 30, NULL), "
                   "(4, 'Duda', 40, '1899-12-29 06:00:00'), (5, 'Eva', 5, '2024-03-01 12:00:00')");
        cn = this->connect();
    }
    ComPtr<Recordset> open(std::int32_t cursor, std::int32_t lock = adLockReadOnly,
                           const std::string& order = "oid") {
        return this->openRs(cn, "SELECT oid, nome, valor, dia FROM " + t + " ORDER BY " + order, cursor, lock);
    }
    static std::int32_t oid(const ComPtr<Recordset>& rs) {
        return com::CLng(rs->get_Fields()->get_Item(Variant("oid"))->get_Value());
    }
    // The oids from the current row to the end, leaving the recordset at EOF.
    static std::vector<std::int32_t> rest(const ComPtr<Recordset>& rs) {
        std::vector<std::int32_t> out;
        for (; !rs->get_EOF(); rs->MoveNext()) out.push_back(oid(rs));
        return out;
    }
    std::string t;
    ComPtr<Connection> cn;
};
TYPED_TEST_SUITE(AdoNavigationTest, Engines, EngineNames);

using Oids = std::vector<std::int32_t>;

TYPED_TEST(AdoNavigationTest, ForwardOnlyCursorsMoveOnlyForward) {
    auto rs = this->open(adOpenForwardOnly);
    EXPECT_EQ(rs->get_CursorType(), adOpenForwardOnly);
    EXPECT_EQ(rs->get_RecordCount(), -1);
    EXPECT_EQ(rs->get_PageCount(), -1);
    EXPECT_EQ(rs->get_AbsolutePosition(), adPosUnknown);
    EXPECT_FALSE(rs->Supports(adMovePrevious));
    EXPECT_FALSE(rs->Supports(adBookmark));
    EXPECT_FALSE(rs->Supports(adUpdate));
    EXPECT_TRUE(rs->Supports(adFind));
    rs->MoveNext();
    rs->Move(2, Variant::missing());
    EXPECT_EQ(this->oid(rs), 4);
    for (auto back : {+[](Recordset& r) { r.MovePrevious(); }, +[](Recordset& r) { r.MoveLast(); },
                      +[](Recordset& r) { r.Move(-1, Variant::missing()); }})
        EXPECT_EQ(errorOf([&] { back(*rs); }).number(), 3219);
    const ComError bookmark = errorOf([&] { rs->get_Bookmark(); });
    EXPECT_EQ(bookmark.number(), 3251);
    EXPECT_EQ(bookmark.description(),
              "Current Recordset does not support bookmarks. This may be a limitation of the provider or of the "
              "selected cursortype.");
    EXPECT_EQ(errorOf([&] { rs->put_AbsolutePage(1); }).number(), 3251);
    EXPECT_EQ(errorOf([&] { rs->Clone(adLockUnspecified); }).number(), 3251);
    rs->MoveFirst();  // allowed: the cursor starts over
    EXPECT_EQ(this->oid(rs), 1);
}

TYPED_TEST(AdoNavigationTest, CursorAndLockTypesAreKeptOrRefused) {
    for (std::int32_t cursor : {adOpenForwardOnly, adOpenKeyset, adOpenDynamic, adOpenStatic}) {
        for (std::int32_t lock : {adLockReadOnly, adLockPessimistic, adLockOptimistic, adLockBatchOptimistic}) {
            auto rs = this->open(cursor, lock);
            EXPECT_EQ(rs->get_CursorType(), cursor);
            EXPECT_EQ(rs->get_LockType(), lock);
            EXPECT_EQ(rs->Supports(adAddNew | adDelete | adUpdate), lock != adLockReadOnly);
            EXPECT_EQ(rs->Supports(adMovePrevious | adBookmark), cursor != adOpenForwardOnly);
            EXPECT_FALSE(rs->Supports(adSeek | adIndex));
        }
    }
    EXPECT_EQ(errorOf([&] { this->open(4); }).number(), 3001);
    EXPECT_EQ(errorOf([&] { this->open(adOpenStatic, 5); }).number(), 3001);
    auto closed = com::make<Recordset>();
    EXPECT_EQ(errorOf([&] { closed->Supports(adFind); }).number(), 3704);
}

TYPED_TEST(AdoNavigationTest, MoveAndAbsolutePositionOnAStaticCursor) {
    auto rs = this->open(adOpenStatic);
    EXPECT_EQ(rs->get_AbsolutePosition(), 1);
    rs->Move(3, Variant::missing());
    EXPECT_EQ(this->oid(rs), 4);
    EXPECT_EQ(rs->get_AbsolutePosition(), 4);
    rs->Move(-2, Variant::missing());
    EXPECT_EQ(this->oid(rs), 2);
    rs->Move(0, Variant::missing());
    EXPECT_EQ(this->oid(rs), 2);
    rs->Move(1, Variant(std::int32_t{adBookmarkLast}));  // past the last row: EOF
    EXPECT_TRUE(rs->get_EOF());
    EXPECT_EQ(rs->get_AbsolutePosition(), adPosEOF);
    EXPECT_EQ(errorOf([&] { rs->Move(1, Variant::missing()); }).number(), 3021);
    rs->Move(-10, Variant::missing());  // far before the first row: BOF
    EXPECT_TRUE(rs->get_BOF());
    EXPECT_EQ(rs->get_AbsolutePosition(), adPosBOF);
    EXPECT_EQ(errorOf([&] { rs->MovePrevious(); }).number(), 3021);
    EXPECT_EQ(errorOf([&] { rs->Move(-1, Variant::missing()); }).number(), 3021);
    rs->Move(2, Variant(std::int32_t{adBookmarkFirst}));
    EXPECT_EQ(this->oid(rs), 3);

    rs->put_AbsolutePosition(5);
    EXPECT_EQ(this->oid(rs), 5);
    const Variant mark = rs->get_Bookmark();
    rs->MoveFirst();
    rs->put_Bookmark(mark);
    EXPECT_EQ(this->oid(rs), 5);
    rs->Move(-1, mark);
    EXPECT_EQ(this->oid(rs), 4);
    for (std::int32_t bad : {0, 6, -1})
        EXPECT_EQ(errorOf([&] { rs->put_AbsolutePosition(bad); }).number(), 3001) << bad;
    EXPECT_EQ(errorOf([&] { rs->put_Bookmark(Variant("x")); }).number(), 3001);
    EXPECT_EQ(errorOf([&] { rs->put_Bookmark(Variant(12345.0)); }).number(), 3001);
}

TYPED_TEST(AdoNavigationTest, PagingTwoRowsAPageOverFiveRows) {
    auto rs = this->open(adOpenStatic);
    EXPECT_EQ(rs->get_PageSize(), 10);
    EXPECT_EQ(rs->get_PageCount(), 1);
    rs->put_PageSize(2);
    EXPECT_EQ(rs->get_PageCount(), 3);
    const std::vector<Oids> pages = {{1, 2}, {3, 4}, {5}};
    for (std::int32_t page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        rs->put_AbsolutePage(page);
        EXPECT_EQ(rs->get_AbsolutePage(), page);
        Oids seen;
        for (int i = 0; i < rs->get_PageSize() && !rs->get_EOF(); ++i) {
            seen.push_back(this->oid(rs));
            rs->MoveNext();
        }
        EXPECT_EQ(seen, pages[static_cast<std::size_t>(page - 1)]);
    }
    EXPECT_EQ(rs->get_AbsolutePage(), adPosEOF);
    for (std::int32_t bad : {0, 4}) EXPECT_EQ(errorOf([&] { rs->put_AbsolutePage(bad); }).number(), 3001);
    EXPECT_EQ(errorOf([&] { rs->put_PageSize(0); }).number(), 3001);
    rs->put_PageSize(5);
    EXPECT_EQ(rs->get_PageCount(), 1);
    rs->put_PageSize(4);
    EXPECT_EQ(rs->get_PageCount(), 2);

    auto none = this->openRs(this->cn, "SELECT oid FROM " + this->t + " WHERE oid < 0", adOpenStatic, adLockReadOnly);
    none->put_PageSize(2);
    EXPECT_EQ(none->get_PageCount(), 0);
    EXPECT_EQ(errorOf([&] { none->put_AbsolutePage(1); }).number(), 3001);
}

TYPED_TEST(AdoNavigationTest, GetRowsReturnsFieldsByRowsAndMovesPastThem) {
    auto rs = this->open(adOpenStatic);
    Variant all = rs->GetRows(adGetRowsRest, Variant::missing(), Variant::missing());
    ASSERT_TRUE(all.isArray());
    EXPECT_EQ(all.arraySizes(), (std::vector<std::int32_t>{4, 5}));
    const auto& items = all.rawArray();
    // First subscript (fastest) the field, second the row: item (f, r) is items[r * 4 + f].
    EXPECT_EQ(com::CLng(items[0]), 1);
    EXPECT_EQ(com::CStr(items[1]), "Ana");
    EXPECT_EQ(com::CDbl(items[2]), 10.5);
    EXPECT_EQ(com::CLng(items[1 * 4 + 0]), 2);
    EXPECT_TRUE(items[1 * 4 + 2].isNull());
    EXPECT_EQ(com::CStr(items[4 * 4 + 1]), "Eva");
    EXPECT_TRUE(rs->get_EOF());
    EXPECT_EQ(errorOf([&] { rs->GetRows(adGetRowsRest, Variant::missing(), Variant::missing()); }).number(), 3021);

    // Two rows from the first, one field by name; then the rest from there, fields by a list.
    Variant two = rs->GetRows(2, Variant(std::int32_t{adBookmarkFirst}), Variant("NOME"));
    EXPECT_EQ(two.arraySizes(), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(com::CStr(two.rawArray()[0]), "Ana");
    EXPECT_EQ(com::CStr(two.rawArray()[1]), "bia");
    EXPECT_EQ(this->oid(rs), 3);
    const std::vector<Variant> list = {Variant("valor"), Variant(std::int32_t{0})};
    Variant more = rs->GetRows(10, Variant::missing(), Variant::array(list));
    EXPECT_EQ(more.arraySizes(), (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(com::CDbl(more.rawArray()[0]), 30.0);
    EXPECT_EQ(com::CLng(more.rawArray()[1]), 3);
    EXPECT_EQ(com::CLng(more.rawArray()[5]), 5);
    rs->MoveFirst();
    EXPECT_EQ(errorOf([&] { rs->GetRows(1, Variant::missing(), Variant("nosuch")); }).number(), 3265);
    EXPECT_EQ(errorOf([&] { rs->GetRows(-2, Variant::missing(), Variant::missing()); }).number(), 3001);

    // A forward-only recordset reads from where it stands.
    auto forward = this->open(adOpenForwardOnly);
    forward->MoveNext();
    Variant tail = forward->GetRows(adGetRowsRest, Variant::missing(), Variant(std::int32_t{0}));
    EXPECT_EQ(tail.arraySizes(), (std::vector<std::int32_t>{1, 4}));
}

TYPED_TEST(AdoNavigationTest, GetStringJoinsColumnsAndRowsWithNullText) {
    com::RegionalScope enUS(com::Regional::enUS());  // numbers are written as CStr writes them
    auto rs = this->openRs(this->cn, "SELECT oid, valor FROM " + this->t + " WHERE oid <= 3 ORDER BY oid",
                           adOpenStatic, adLockReadOnly);
    EXPECT_EQ(rs->GetString(adClipString, 2, ";", "|", "(nulo)"), "1;10.5|2;(nulo)|");
    EXPECT_EQ(this->oid(rs), 3);
    EXPECT_EQ(rs->GetString(adClipString, -1, "\t", "\r", ""), "3\t30\r");
    EXPECT_TRUE(rs->get_EOF());
    EXPECT_EQ(errorOf([&] { rs->GetString(adClipString, -1, ",", ";", ""); }).number(), 3021);
    rs->MoveFirst();
    EXPECT_EQ(errorOf([&] { rs->GetString(1, -1, ",", ";", ""); }).number(), 3001);
    // Late-bound with every argument left out: tab between columns, carriage return after each row.
    Variant text = com::invoke(*rs, "GetString", com::kMethod);
    EXPECT_EQ(com::CStr(text), "1\t10.5\r2\t\r3\t30\r");
}

TYPED_TEST(AdoNavigationTest, FilterCriteriaBookmarksAndNone) {
    auto rs = this->open(adOpenStatic, adLockOptimistic);
    struct Case {
        const char* criteria;
        Oids expected;
    };
    const std::vector<Case> cases = {
        {"oid > 2", {3, 4, 5}},
        {"nome = 'BIA'", {2}},  // text compares without regard to case
        {"nome LIKE 'd*'", {4}},
        {"nome LIKE '%a'", {1, 2, 4, 5}},
        {"valor >= 10 AND valor < 40", {1, 3}},
        {"oid = 1 OR oid = 5 AND valor = 5", {1, 5}},
        {"(oid = 1 OR oid = 5) AND valor = 5", {5}},
        {"valor = NULL", {2}},
        {"dia <> NULL AND dia < #1/1/1900#", {4}},
        {"dia >= #2/10/2024#", {2, 5}},
        {"[nome] <> 'Caio'", {1, 2, 4, 5}},
        {"nome = 'O''Brien'", {}},
        {"valor > $20", {3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.criteria);
        rs->put_Filter(Variant(c.criteria));
        EXPECT_EQ(rs->get_RecordCount(), static_cast<std::int32_t>(c.expected.size()));
        EXPECT_EQ(this->rest(rs), c.expected);
        EXPECT_EQ(com::CStr(rs->get_Filter()), c.criteria);
    }
    rs->put_Filter(Variant(std::int32_t{adFilterNone}));
    EXPECT_EQ(rs->get_RecordCount(), 5);
    EXPECT_EQ(this->rest(rs), (Oids{1, 2, 3, 4, 5}));

    rs->put_Filter(Variant("oid >= 4"));
    struct Bad {
        Variant filter;
        std::int32_t number;
    };
    const std::vector<Bad> bad = {{Variant("nosuch = 1"), 3265}, {Variant("oid = "), 3001},
                                  {Variant("oid == 1"), 3001},  {Variant("nome LIKE 3"), 3001},
                                  {Variant(), 3001},            {Variant(std::int32_t{9}), 3001},
                                  {Variant("oid = 1 AND"), 3001}};
    for (const auto& b : bad) EXPECT_EQ(errorOf([&] { rs->put_Filter(b.filter); }).number(), b.number);
    EXPECT_EQ(this->rest(rs), (Oids{4, 5})) << "a refused filter leaves the one before";

    // An array of bookmarks keeps those rows; "" shows every row again.
    rs->put_Filter(Variant(""));
    rs->Move(1, Variant::missing());
    const Variant second = rs->get_Bookmark();
    rs->MoveLast();
    const std::vector<Variant> marks = {rs->get_Bookmark(), second};
    rs->put_Filter(Variant::array(marks));
    EXPECT_EQ(this->rest(rs), (Oids{2, 5}));
    rs->put_Filter(Variant(""));
    EXPECT_EQ(rs->get_RecordCount(), 5);

    // Editing a filtered row writes to the table.
    rs->put_Filter(Variant("nome = 'Caio'"));
    rs->get_Fields()->get_Item(Variant("valor"))->put_Value(Variant(31.0));
    rs->Update();
    EXPECT_EQ(com::CDbl(this->scalar("SELECT valor FROM " + this->t + " WHERE oid = 3")), 31.0);
}

TYPED_TEST(AdoNavigationTest, SortOrdersTheRowsHeldAndFindSearchesThem) {
    auto rs = this->open(adOpenStatic);
    rs->put_Sort("nome DESC");
    EXPECT_EQ(this->rest(rs), (Oids{5, 4, 3, 2, 1}));
    rs->put_Sort("valor, oid DESC");
    EXPECT_EQ(this->rest(rs), (Oids{2, 5, 1, 3, 4})) << "Null sorts first";
    rs->put_Sort("");
    EXPECT_EQ(this->rest(rs), (Oids{1, 2, 3, 4, 5}));
    EXPECT_EQ(errorOf([&] { rs->put_Sort("nosuch"); }).number(), 3265);
    EXPECT_EQ(errorOf([&] { this->open(adOpenForwardOnly)->put_Sort("nome"); }).number(), 3251);

    rs->MoveFirst();
    rs->Find("valor > 20", 0, adSearchForward, Variant::missing());
    EXPECT_EQ(this->oid(rs), 3);
    rs->Find("valor > 20", 0, adSearchForward, Variant::missing());
    EXPECT_EQ(this->oid(rs), 3) << "the search starts at the current row";
    rs->Find("valor > 20", 1, adSearchForward, Variant::missing());
    EXPECT_EQ(this->oid(rs), 4);
    rs->Find("nome LIKE 'a*'", 0, adSearchBackward, Variant::missing());
    EXPECT_EQ(this->oid(rs), 1);
    rs->Find("nome = 'Zé'", 0, adSearchForward, Variant(std::int32_t{adBookmarkFirst}));
    EXPECT_TRUE(rs->get_EOF());
    rs->MoveLast();
    rs->Find("oid = 99", 0, adSearchBackward, Variant::missing());
    EXPECT_TRUE(rs->get_BOF());
    EXPECT_EQ(errorOf([&] { rs->Find("oid = 1", 0, adSearchForward, Variant::missing()); }).number(), 3021);
    rs->MoveFirst();
    EXPECT_EQ(errorOf([&] { rs->Find("oid = 1 AND nome = 'Ana'", 0, 1, Variant::missing()); }).number(), 3001);
    EXPECT_EQ(errorOf([&] { rs->Find("oid = 1", 0, 2, Variant::missing()); }).number(), 3001);
}

TYPED_TEST(AdoNavigationTest, DeleteRemovesTheRowAndRequeryReadsAgain) {
    auto rs = this->open(adOpenKeyset, adLockOptimistic);
    rs->Move(1, Variant::missing());
    StatementLog log;
    rs->Delete(adAffectCurrent);
    ASSERT_EQ(log.starting("DELETE").size(), 1u);
    EXPECT_EQ(log.starting("DELETE")[0].find("bia"), std::string::npos) << "values are bound";
    EXPECT_EQ(this->count(this->t), 4);
    EXPECT_EQ(rs->get_RecordCount(), 4);
    const ComError gone = errorOf([&] { rs->get_Fields()->get_Item(Variant("nome"))->get_Value(); });
    EXPECT_EQ(gone.number(), static_cast<std::int32_t>(0x80040E23u));
    rs->MoveNext();
    EXPECT_EQ(this->oid(rs), 3) << "the next row after the deleted one";
    EXPECT_EQ(errorOf([&] { rs->Delete(3); }).number(), 3001);

    // A row deleted elsewhere cannot be deleted again; a read-only recordset deletes nothing.
    Variant ra;
    auto other = this->connect();
    other->Execute("DELETE FROM " + this->t + " WHERE oid = 3", ra, -1);
    EXPECT_EQ(errorOf([&] { rs->Delete(adAffectCurrent); }).number(), -2147217864);
    auto readOnly = this->open(adOpenStatic);
    EXPECT_EQ(errorOf([&] { readOnly->Delete(adAffectCurrent); }).number(), 3251);

    // Requery reads the rows as they are now, keeping the recordset's sort.
    other->Execute("UPDATE " + this->t + " SET nome = 'Ana Clara' WHERE oid = 1", ra, -1);
    rs->put_Sort("oid DESC");
    rs->Requery(-1);
    EXPECT_EQ(this->rest(rs), (Oids{5, 4, 1}));
    rs->MoveLast();
    EXPECT_EQ(com::CStr(rs->get_Fields()->get_Item(Variant("nome"))->get_Value()), "Ana Clara");
    rs->get_Fields()->get_Item(Variant("nome"))->put_Value(Variant("x"));
    EXPECT_EQ(errorOf([&] { rs->Requery(-1); }).number(), 3219) << "a pending change must be settled first";
}

TYPED_TEST(AdoNavigationTest, ClonesShareBookmarksButNotPositions) {
    auto rs = this->open(adOpenStatic);
    rs->MoveLast();
    auto copy = rs->Clone(adLockUnspecified);
    EXPECT_EQ(this->oid(copy), 1) << "a clone starts on the first row";
    EXPECT_EQ(copy->get_RecordCount(), 5);
    copy->put_Bookmark(rs->get_Bookmark());
    EXPECT_EQ(this->oid(copy), 5);
    copy->MoveFirst();
    EXPECT_EQ(this->oid(rs), 5);
    EXPECT_EQ(copy->get_LockType(), adLockReadOnly);
    EXPECT_EQ(errorOf([&] { rs->Clone(adLockOptimistic); }).number(), 3001);
    rs->Close();
    EXPECT_EQ(this->rest(copy), (Oids{1, 2, 3, 4, 5})) << "a clone outlives the original";
}

TYPED_TEST(AdoNavigationTest, NextRecordsetOfOneStatementIsNothing) {
    auto rs = this->open(adOpenStatic);
    Variant ra;
    auto next = rs->NextRecordset(ra);
    EXPECT_FALSE(next);
    EXPECT_EQ(rs->get_State(), adStateClosed);
    EXPECT_EQ(errorOf([&] { rs->NextRecordset(ra); }).number(), 3704);
    Variant rsv(this->open(adOpenStatic));
    Variant result = com::invoke(rsv, "NextRecordset", com::kMethod);
    EXPECT_TRUE(result.isObject() && !result.rawObject());
}

TYPED_TEST(AdoNavigationTest, FieldPropertiesDescribeColumnsAndValues) {
    auto rs = this->open(adOpenKeyset, adLockOptimistic);
    auto f = [&](const char* name) { return rs->get_Fields()->get_Item(Variant(name)); };
    EXPECT_EQ(f("oid")->get_Type(), 3);
    EXPECT_EQ(f("oid")->get_DefinedSize(), 4);
    EXPECT_EQ(f("oid")->get_Precision(), 10);
    EXPECT_EQ(f("oid")->get_NumericScale(), 255);
    EXPECT_EQ(f("valor")->get_Type(), 5);
    EXPECT_EQ(f("valor")->get_Precision(), 15);
    EXPECT_EQ(f("nome")->get_Type(), 202);
    EXPECT_EQ(f("dia")->get_Type(), 135);
    EXPECT_EQ(f("nome")->get_ActualSize(), 3);
    EXPECT_EQ(f("oid")->get_ActualSize(), 4);
    rs->MoveNext();
    EXPECT_EQ(f("valor")->get_ActualSize(), 0) << "Null";

    // OriginalValue is the value read; UnderlyingValue what the database holds now.
    f("nome")->put_Value(Variant("Bianca"));
    EXPECT_EQ(com::CStr(f("nome")->get_OriginalValue()), "bia");
    EXPECT_EQ(com::CStr(f("nome")->get_Value()), "Bianca");
    EXPECT_EQ(f("nome")->get_ActualSize(), 6);
    rs->CancelUpdate();
    Variant ra;
    this->connect()->Execute("UPDATE " + this->t + " SET nome = 'Bia Souza' WHERE oid = 2", ra, -1);
    EXPECT_EQ(com::CStr(f("nome")->get_UnderlyingValue()), "Bia Souza");
    EXPECT_EQ(com::CStr(f("nome")->get_Value()), "bia");
    this->connect()->Execute("DELETE FROM " + this->t + " WHERE oid = 2", ra, -1);
    EXPECT_EQ(errorOf([&] { f("nome")->get_UnderlyingValue(); }).number(), static_cast<std::int32_t>(0x80040E23u));
}

}  // namespace
}  // namespace orvan::data::adotest
