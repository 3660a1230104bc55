// Updatable recordsets: cheap table opens, AddNew + Update as one INSERT, edits as one UPDATE located
// by key and original values, optimistic conflicts, value conversion on assignment, and what happens to
// changes that are never saved.
#include <cmath>
#include <limits>

#include "ado_fixture.h"
#include "com_server/conversions.h"
#include "com_server/regional.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;

template <typename E>
class AdoUpdateTest : public AdoTest<E> {
protected:
    void SetUp() override {
        AdoTest<E>::SetUp();
        if (this->HasFatalFailure()) return;
        t = this->createTable(
            "tarefa",
            "oid INTEGER PRIMARY KEY, nome VARCHAR(100), apelido VARCHAR(40), prioridade SMALLINT, "
            "horas DOUBLE PRECISION, status INTEGER DEFAULT 7, termino " +
                std::string(E::kDateTime));
        this->exec("INSERT INTO " + t +
                   " (oid, nome, apelido, prioridade, horas, status) VALUES (1, 'Revisar', NULL, 2, 1.5, 1), "
                   "(2, 'Publicar', 'pub', 3, 0.25, 1)");
    }
    ComPtr<Field> field(const ComPtr<Recordset>& rs, const char* name) {
        return rs->get_Fields()->get_Item(Variant(name));
    }
    ComPtr<Recordset> table(const ComPtr<Connection>& cn) {
        return this->openRs(cn, t, adOpenDynamic, adLockOptimistic, adCmdTable);
    }
    ComPtr<Recordset> row(const ComPtr<Connection>& cn, int oid) {
        return this->openRs(cn, "SELECT * FROM " + t + " WHERE oid = " + std::to_string(oid), adOpenDynamic,
                            adLockOptimistic);
    }
    Variant stored(const char* column, int oid) {
        return this->scalar("SELECT " + std::string(column) + " FROM " + t +
                            " WHERE oid = " + std::to_string(oid));
    }
    std::string t;
};
TYPED_TEST_SUITE(AdoUpdateTest, Engines, EngineNames);

TYPED_TEST(AdoUpdateTest, OpeningATableReadsNoRowsAndAddNewIsOneInsertOfTheAssignedColumns) {
    // Enough rows that reading them would show; the open must not.
    this->exec(
        "INSERT INTO " + this->t +
        " (oid, nome) SELECT 100 + a.n * 10 + b.n, 'x' FROM "
        "(SELECT 0 AS n UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4) a, "
        "(SELECT 0 AS n UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4 "
        "UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 UNION ALL SELECT 8 UNION ALL SELECT 9) b");
    auto cn = this->connect();
    StatementLog log;
    auto rs = this->table(cn);
    ASSERT_EQ(log.all().size(), 1u);
    EXPECT_NE(log.all()[0].find("1=0"), std::string::npos) << log.all()[0];
    EXPECT_EQ(rs->get_Fields()->get_Count(), 7);

    rs->AddNew();
    EXPECT_EQ(rs->get_EditMode(), adEditAdd);
    EXPECT_TRUE(this->field(rs, "nome")->get_Value().isEmpty());
    this->field(rs, "nome")->put_Value(Variant("O'Brien\"); DELETE FROM x; --"));
    this->field(rs, "oid")->put_Value(Variant(std::int32_t{987654}));
    rs->Update();

    const auto inserts = log.starting("INSERT");
    ASSERT_EQ(inserts.size(), 1u);
    const std::string& ins = inserts[0];
    EXPECT_NE(ins.find("nome"), std::string::npos);
    EXPECT_NE(ins.find("oid"), std::string::npos);
    for (const char* absent : {"apelido", "prioridade", "horas", "status", "termino", "O'Brien", "987654"})
        EXPECT_EQ(ins.find(absent), std::string::npos) << absent << " in " << ins;
    EXPECT_EQ(log.all().size(), 2u) << "no row was read";

    EXPECT_EQ(com::CStr(this->stored("nome", 987654)), "O'Brien\"); DELETE FROM x; --");
    EXPECT_EQ(com::CLng(this->stored("status", 987654)), 7) << "an unassigned column takes its default";
    EXPECT_EQ(this->count(this->t), 53);

    // The inserted row stays current; the table's rows are read only now, and it shows once.
    EXPECT_EQ(rs->get_EditMode(), adEditNone);
    EXPECT_EQ(com::CLng(this->field(rs, "oid")->get_Value()), 987654);
    EXPECT_FALSE(rs->get_EOF());
    EXPECT_EQ(com::CLng(this->field(rs, "oid")->get_Value()), 987654);
    rs->MoveNext();
    EXPECT_TRUE(rs->get_EOF());
    auto keyset = this->openRs(cn, this->t, adOpenKeyset, adLockOptimistic, adCmdTable);
    keyset->AddNew();
    this->field(keyset, "oid")->put_Value(Variant(std::int32_t{10}));
    keyset->Update();
    EXPECT_EQ(keyset->get_RecordCount(), 54);
}

// An insert the database refuses leaves the new row as it was: its values still there to correct,
// and the next Update writes them all.
TYPED_TEST(AdoUpdateTest, ARefusedInsertKeepsTheNewRowsValuesForTheNextUpdate) {
    auto cn = this->connect();
    auto rs = this->table(cn);
    rs->AddNew();
    this->field(rs, "oid")->put_Value(Variant(std::int32_t{4242}));
    this->field(rs, "nome")->put_Value(Variant("primeira"));
    rs->Update();

    rs->AddNew();
    this->field(rs, "oid")->put_Value(Variant(std::int32_t{4242}));  // the key of the row above
    this->field(rs, "nome")->put_Value(Variant("Conceição, a segunda de um nome bem comprido"));
    this->field(rs, "horas")->put_Value(Variant(2.5));
    EXPECT_THROW(rs->Update(), com::ComError);
    EXPECT_EQ(rs->get_EditMode(), adEditAdd);
    EXPECT_EQ(com::CStr(this->field(rs, "nome")->get_Value()), "Conceição, a segunda de um nome bem comprido");
    EXPECT_TRUE(sameValue(this->field(rs, "horas")->get_Value(), Variant(2.5)));

    this->field(rs, "oid")->put_Value(Variant(std::int32_t{4243}));
    rs->Update();
    EXPECT_EQ(rs->get_EditMode(), adEditNone);
    EXPECT_EQ(com::CStr(this->stored("nome", 4243)), "Conceição, a segunda de um nome bem comprido");
    EXPECT_EQ(com::CDbl(this->stored("horas", 4243)), 2.5);
    EXPECT_EQ(com::CStr(this->field(rs, "nome")->get_Value()), "Conceição, a segunda de um nome bem comprido");
}

TYPED_TEST(AdoUpdateTest, AnEditIsOneUpdateByKeyAndOriginalValues) {
    auto cn = this->connect();
    auto rs = this->row(cn, 1);
    StatementLog log;
    this->field(rs, "nome")->put_Value(Variant("Revisar tudo"));
    EXPECT_EQ(rs->get_EditMode(), adEditInProgress);
    EXPECT_EQ(com::CStr(this->field(rs, "nome")->get_OriginalValue()), "Revisar");
    this->field(rs, "apelido")->put_Value(Variant("rev"));  // its original is NULL
    rs->Update();
    const auto updates = log.starting("UPDATE");
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(log.all().size(), updates.size() + log.starting("SELECT").size());
    EXPECT_EQ(updates[0].find("Revisar"), std::string::npos) << "values are bound, not written into the text";
    EXPECT_EQ(com::CStr(this->stored("nome", 1)), "Revisar tudo");
    EXPECT_EQ(com::CStr(this->stored("apelido", 1)), "rev");
    EXPECT_EQ(com::CStr(this->stored("nome", 2)), "Publicar");

    // The row stays current with its new values; Update with nothing pending does nothing.
    EXPECT_EQ(rs->get_EditMode(), adEditNone);
    EXPECT_EQ(com::CStr(this->field(rs, "nome")->get_Value()), "Revisar tudo");
    EXPECT_EQ(com::CStr(this->field(rs, "nome")->get_OriginalValue()), "Revisar tudo");
    log.clear();
    rs->Update();
    EXPECT_TRUE(log.all().empty());

    // Moving off an edited row saves it; a date-time original of any fraction still finds its row.
    this->exec("UPDATE " + this->t + " SET termino = '2024-03-01 10:00:00" +
               (TypeParam::kPostgres ? ".678" : "") + "' WHERE oid = 2");
    auto all = this->openRs(cn, "SELECT * FROM " + this->t + " ORDER BY oid", adOpenKeyset, adLockOptimistic);
    all->MoveNext();
    this->field(all, "termino")->put_Value(Variant::date(*com::makeDate({2024, 3, 2, 11, 0, 0})));
    this->field(all, "horas")->put_Value(Variant(2.75));
    all->MoveNext();
    EXPECT_TRUE(all->get_EOF());
    EXPECT_EQ(com::CDbl(this->stored("horas", 2)), 2.75);
    EXPECT_EQ(com::splitDate(com::CDate(this->stored("termino", 2))), (com::DateParts{2024, 3, 2, 11, 0, 0}));
}

TYPED_TEST(AdoUpdateTest, ARowChangedElsewhereIsNotOverwritten) {
    auto mine = this->connect();
    auto rs = this->row(mine, 2);
    auto other = this->connect();
    Variant ra;
    other->Execute("UPDATE " + this->t + " SET nome = 'Publicado' WHERE oid = 2", ra, -1);

    this->field(rs, "nome")->put_Value(Variant("Publicar hoje"));
    const ComError e = errorOf([&] { rs->Update(); });
    EXPECT_EQ(e.number(), -2147217864);
    EXPECT_EQ(
        e.description(),
        "Row cannot be located for updating. Some values may have been changed since it was last read.");
    EXPECT_EQ(com::CStr(this->stored("nome", 2)), "Publicado");
    EXPECT_EQ(rs->get_EditMode(), adEditInProgress) << "the change stays pending until cancelled";
    EXPECT_EQ(errorOf([&] { rs->Close(); }).number(), 3219);
    rs->CancelUpdate();
    EXPECT_EQ(com::CStr(this->field(rs, "nome")->get_Value()), "Publicar");

    // Only the edited columns' originals count: a column changed elsewhere that this edit leaves alone
    // does not stop it.
    this->field(rs, "apelido")->put_Value(Variant("p"));
    rs->Update();
    EXPECT_EQ(com::CStr(this->stored("apelido", 2)), "p");
    EXPECT_EQ(com::CStr(this->stored("nome", 2)), "Publicado");
}

TYPED_TEST(AdoUpdateTest, AnEditFindsItsRowForEveryDateTimeTheRuntimeHolds) {
    // Serials at and before day 0 (1899-12-30 00:00:00) hold the time of day as a fraction that runs
    // away from zero: 1899-12-29 06:00 is -1.25. The row must be found whatever side of day 0 it is on.
    const std::vector<com::DateParts> held = {
        {1899, 12, 30, 0, 0, 0},     // midnight of day 0 (a timesheet entry starting at "00:00")
        {1899, 12, 30, 8, 30, 0},    // a time alone
        {1899, 12, 29, 0, 0, 0},     // the day before day 0
        {1899, 12, 29, 6, 0, 0},     // a time on it
        {1899, 12, 29, 23, 59, 59},  // the last second before day 0
        {100, 1, 1, 0, 0, 0},        // the first instant of the calendar
        {1765, 4, 24, 5, 45, 36},
        {9999, 12, 31, 23, 59, 59},  // the last one
        {2024, 3, 1, 10, 0, 0},
    };
    auto cn = this->connect();
    for (std::size_t i = 0; i < held.size(); ++i) {
        const com::DateParts& d = held[i];
        SCOPED_TRACE(com::formatYearFirstDateTime(d));
        const int oid = 100 + static_cast<int>(i);
        auto add = this->table(cn);
        add->AddNew();
        this->field(add, "oid")->put_Value(Variant(std::int32_t{oid}));
        this->field(add, "termino")->put_Value(Variant::date(*com::makeDate(d)));
        add->Update();
        add->Close();
        ASSERT_EQ(com::splitDate(com::CDate(this->stored("termino", oid))), d);

        // The date column itself is edited (its original value is in the condition), then another
        // column of the same row with the new date as the original.
        auto rs = this->row(cn, oid);
        ASSERT_EQ(com::splitDate(com::CDate(this->field(rs, "termino")->get_Value())), d);
        const com::DateParts moved{1899, 12, 28, 12, 0, 1};
        this->field(rs, "termino")->put_Value(Variant::date(*com::makeDate(moved)));
        rs->Update();
        EXPECT_EQ(com::splitDate(com::CDate(this->stored("termino", oid))), moved);
        this->field(rs, "termino")->put_Value(Variant::date(*com::makeDate(d)));
        this->field(rs, "nome")->put_Value(Variant("editada"));
        rs->Update();
        EXPECT_EQ(com::splitDate(com::CDate(this->stored("termino", oid))), d);
        EXPECT_EQ(com::CStr(this->stored("nome", oid)), "editada");
    }
}

TYPED_TEST(AdoUpdateTest, ADateTimeChangedElsewhereBeforeDayZeroIsNotOverwritten) {
    // The window that absorbs a stored fraction of a second must not reach a value changed by a second.
    struct Case {
        com::DateParts read, changedTo;
    };
    const std::vector<Case> cases = {
        {{1899, 12, 29, 6, 0, 0}, {1899, 12, 29, 6, 0, 2}},
        {{1899, 12, 29, 6, 0, 0}, {1899, 12, 29, 5, 59, 58}},
        {{1899, 12, 30, 0, 0, 0}, {1899, 12, 29, 23, 59, 58}},
        {{1899, 12, 30, 0, 0, 0}, {1899, 12, 30, 0, 0, 2}},
        {{100, 1, 1, 0, 0, 0}, {100, 1, 1, 0, 0, 2}},
    };
    auto cn = this->connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(com::formatYearFirstDateTime(c.read) + " -> " + com::formatYearFirstDateTime(c.changedTo));
        const Variant read[] = {Variant::date(*com::makeDate(c.read))};
        this->exec("UPDATE " + this->t + " SET termino = ? WHERE oid = 1", read);
        auto rs = this->row(cn, 1);
        const Variant changed[] = {Variant::date(*com::makeDate(c.changedTo))};
        this->exec("UPDATE " + this->t + " SET termino = ? WHERE oid = 1", changed);
        this->field(rs, "termino")->put_Value(Variant::date(*com::makeDate({2000, 1, 1, 0, 0, 0})));
        EXPECT_EQ(errorOf([&] { rs->Update(); }).number(), -2147217864);
        rs->CancelUpdate();
        EXPECT_EQ(com::splitDate(com::CDate(this->stored("termino", 1))), c.changedTo);
    }
}

TYPED_TEST(AdoUpdateTest, WithoutAKeyEveryColumnLocatesTheRowAndDuplicatesAreReported) {
    const std::string loose = this->createTable("solta", "nome VARCHAR(20), n INTEGER");
    this->exec("INSERT INTO " + loose + " VALUES ('a', 1), ('a', 1), ('b', 2)");
    auto cn = this->connect();
    auto rs =
        this->openRs(cn, "SELECT nome, n FROM " + loose + " ORDER BY nome", adOpenKeyset, adLockOptimistic);
    rs->MoveLast();
    this->field(rs, "n")->put_Value(Variant(std::int32_t{3}));
    rs->Update();
    EXPECT_EQ(com::CLng(this->scalar("SELECT n FROM " + loose + " WHERE nome = 'b'")), 3);

    rs->MoveFirst();
    this->field(rs, "n")->put_Value(Variant(std::int32_t{5}));
    const ComError e = errorOf([&] { rs->Update(); });
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x80004005u));
    EXPECT_EQ(e.description(),
              "Key column information is insufficient or incorrect. Too many rows were affected by update.");
}

TYPED_TEST(AdoUpdateTest, AssignmentConvertsToTheColumnType) {
    com::RegionalScope ptBR(com::Regional::ptBR());
    struct Case {
        const char* column;
        Variant value;
        Variant expected;  // Empty: the assignment fails with -2147217887
    };
    const std::vector<Case> cases = {
        {"status", Variant(" 40"), Variant(std::int32_t{40})},
        {"status", Variant("abc"), Variant()},
        {"status", Variant(2.5), Variant(std::int32_t{2})},
        {"status", Variant(true), Variant(std::int32_t{-1})},
        {"prioridade", Variant("70000"), Variant()},
        {"prioridade", Variant(std::int32_t{12}), Variant(std::int16_t{12})},
        {"horas", Variant("12,5"), Variant(12.5)},
        {"horas", Variant("doze"), Variant()},
        {"nome", Variant(std::int32_t{42}), Variant("42")},
        {"apelido", Variant::null(), Variant::null()},
        {"apelido", Variant(), Variant::null()},
        {"termino", Variant("31/12/2024 23:59:58"),
         Variant::date(*com::makeDate({2024, 12, 31, 23, 59, 58}))},
        {"termino", Variant("não é data"), Variant()},
    };
    auto cn = this->connect();
    auto rs = this->row(cn, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " <- " +
                     (c.value.isString() ? c.value.rawString() : "non-text"));
        auto f = this->field(rs, c.column);
        if (c.expected.isEmpty()) {
            const ComError e = errorOf([&] { f->put_Value(c.value); });
            EXPECT_EQ(e.number(), -2147217887);
            continue;
        }
        f->put_Value(c.value);
        EXPECT_TRUE(sameValue(f->get_Value(), c.expected)) << com::typeName(f->get_Value().type());
        rs->Update();
        const Variant back = this->stored(c.column, 1);
        if (c.expected.isNull())
            EXPECT_TRUE(back.isNull());
        else if (c.expected.type() == com::VarType::Date)
            EXPECT_EQ(com::CDate(back), c.expected.rawDate());
        else
            EXPECT_EQ(com::CStr(back), com::CStr(c.expected));
    }
}

TYPED_TEST(AdoUpdateTest, NonFiniteNumbersAreRefusedBeforeAnyStatement) {
    // NaN and the infinities are values the classic runtime can never hold (a JScript page may pass
    // one): every column refuses them with 6, Overflow, and nothing reaches the engine.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Variant> values = {Variant(nan), Variant(inf), Variant(-inf), Variant::single(-HUGE_VALF),
                                         Variant::date(nan)};
    auto cn = this->connect();
    StatementLog log;
    auto edit = this->row(cn, 1);
    auto add = this->table(cn);
    add->AddNew();
    this->field(add, "oid")->put_Value(Variant(std::int32_t{30}));
    log.clear();
    for (const char* column : {"horas", "status", "prioridade", "termino", "nome"}) {
        for (const auto& v : values) {
            SCOPED_TRACE(std::string(column) + " <- " + com::typeName(v.type()));
            for (const auto& rs : {edit, add}) {
                const ComError e = errorOf([&] { this->field(rs, column)->put_Value(v); });
                EXPECT_EQ(e.number(), 6);
                EXPECT_EQ(e.description(), "Overflow");
                EXPECT_EQ(e.source(), "ADODB.Field");
            }
        }
    }
    // A text beyond a Double's range is an ordinary conversion failure of the column.
    EXPECT_EQ(errorOf([&] { this->field(edit, "horas")->put_Value(Variant("1e999")); }).number(), -2147217887);
    EXPECT_EQ(edit->get_EditMode(), adEditNone) << "a refused value leaves no change pending";
    EXPECT_TRUE(this->field(add, "horas")->get_Value().isEmpty());
    edit->Update();
    add->CancelUpdate();
    EXPECT_TRUE(log.all().empty()) << log.all().front();
    EXPECT_EQ(this->count(this->t), 2);
    EXPECT_EQ(com::CDbl(this->stored("horas", 1)), 1.5);
}

TYPED_TEST(AdoUpdateTest, ChangesThatAreNotAllowedOrNeverSavedWriteNothing) {
    auto cn = this->connect();
    auto readOnly = this->openRs(cn, "SELECT * FROM " + this->t, adOpenStatic, adLockReadOnly);
    const ComError ro = errorOf([&] { this->field(readOnly, "nome")->put_Value(Variant("x")); });
    EXPECT_EQ(ro.number(), 3251);
    EXPECT_EQ(
        ro.description(),
        "Current Recordset does not support updating. This may be a limitation of the provider, or of the "
        "selected locktype.");
    EXPECT_EQ(errorOf([&] { readOnly->AddNew(); }).number(), 3251);

    auto empty =
        this->openRs(cn, "SELECT * FROM " + this->t + " WHERE oid < 0", adOpenDynamic, adLockOptimistic);
    EXPECT_EQ(errorOf([&] { this->field(empty, "nome")->put_Value(Variant("x")); }).number(), 3021);

    StatementLog log;
    {
        // A row appended and filled but never saved goes with its recordset.
        auto rs = this->table(cn);
        rs->AddNew();
        this->field(rs, "oid")->put_Value(Variant(std::int32_t{50}));
        this->field(rs, "nome")->put_Value(Variant("perdida"));
    }
    {
        auto rs = this->row(cn, 1);
        this->field(rs, "nome")->put_Value(Variant("perdida"));
    }
    auto rs = this->table(cn);
    rs->AddNew();
    this->field(rs, "oid")->put_Value(Variant(std::int32_t{51}));
    rs->CancelUpdate();
    EXPECT_EQ(rs->get_EditMode(), adEditNone);
    rs->Close();
    EXPECT_TRUE(log.starting("INSERT").empty());
    EXPECT_TRUE(log.starting("UPDATE").empty());
    EXPECT_EQ(this->count(this->t), 2);
    EXPECT_EQ(com::CStr(this->stored("nome", 1)), "Revisar");
}

TYPED_TEST(AdoUpdateTest, AddNewWhilePendingSavesTheFirstRow) {
    auto cn = this->connect();
    auto rs = this->table(cn);
    StatementLog log;
    rs->AddNew();
    this->field(rs, "oid")->put_Value(Variant(std::int32_t{20}));
    rs->AddNew();
    this->field(rs, "oid")->put_Value(Variant(std::int32_t{21}));
    this->field(rs, "nome")->put_Value(Variant::null());
    rs->Update();
    EXPECT_EQ(log.starting("INSERT").size(), 2u);
    EXPECT_EQ(this->count(this->t), 4);
    EXPECT_TRUE(this->stored("nome", 21).isNull());
    // A failing INSERT (duplicate key) reports the provider's error and keeps the row pending.
    rs->AddNew();
    this->field(rs, "oid")->put_Value(Variant(std::int32_t{1}));
    const ComError e = errorOf([&] { rs->Update(); });
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x80040E2Fu));
    EXPECT_EQ(rs->get_EditMode(), adEditAdd);
}

}  // namespace
}  // namespace orvan::data::adotest
