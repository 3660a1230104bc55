// The engine-neutral handling of statement texts: the number/keyword repair and the statement trace.
#include <gtest/gtest.h>

#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

TEST(RepairNumberKeywordJoins, SeparatesANumberFromTheWordWrittenAgainstIt) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"UPDATE t SET a = 5WHERE id = 1", "UPDATE t SET a = 5 WHERE id = 1"},
        {"SELECT * FROM t WHERE a=15AND b=2", "SELECT * FROM t WHERE a=15 AND b=2"},
        {"SELECT 123WHERE", "SELECT 123 WHERE"},
        {"WHERE x = 1.5ORDER BY y", "WHERE x = 1.5 ORDER BY y"},
        {"WHERE x = .5AND y", "WHERE x = .5 AND y"},
        {"WHERE x = 2e5AND y", "WHERE x = 2e5 AND y"},
        {"CASE WHEN a THEN 5ELSE 6END", "CASE WHEN a THEN 5 ELSE 6 END"},
        {"WHERE a IN (1,2)AND b = 3OR c = 4", "WHERE a IN (1,2)AND b = 3 OR c = 4"},
        {"WHERE a = 5Ação", "WHERE a = 5 Ação"},
        {"SELECT 'it''s' FROM t WHERE a = 5AND b = 'x 7OR y'",
         "SELECT 'it''s' FROM t WHERE a = 5 AND b = 'x 7OR y'"},
    };
    for (const Case& c : cases) EXPECT_EQ(repairNumberKeywordJoins(c.in), c.out) << c.in;
}

TEST(RepairNumberKeywordJoins, LeavesNumbersNamesLiteralsAndCommentsAlone) {
    const char* unchanged[] = {
        "",
        "SELECT 1e5, 1E+5, 2.5e-3, 0x1F, 10 WHERE a = 5 AND b = 6",
        "SELECT t1x, R2D2, col_2abc, _5abc, a$1b FROM t1 JOIN t2x ON t1.id = t2x.id",
        "SELECT '5WHERE', 'it''s 5AND', \"5OR\" FROM t",
        "SELECT E'\\'5WHERE' FROM t",
        "SELECT [5WHERE], `5AND` FROM t",
        "SELECT 1 -- 5WHERE\nFROM t",
        "SELECT 1 /* 5WHERE\n7AND */ FROM t",
        "CREATE FUNCTION f() AS $$ SELECT 5WHERE $$, $body$ 7AND $body$",
        "SELECT * FROM t WHERE a = ? AND b = :p1 AND c = @p2 AND d = $3",
        "SELECT * FROM t WHERE a = :1st AND b = @2nd",  // parameter names, whatever their first character
        "SELECT '5WHERE",                               // an unclosed literal runs to the end
    };
    for (const char* sql : unchanged) EXPECT_EQ(repairNumberKeywordJoins(sql), sql) << sql;
}

// ---- statement trace ------------------------------------------------------------------------------

struct Seen {
    int calls = 0;
    std::string sent, ran;
};

void remember(void* context, std::string_view sent, std::string_view ran) {
    auto* seen = static_cast<Seen*>(context);
    ++seen->calls;
    seen->sent = sent;
    seen->ran = ran;
}

TEST(StatementTrace, EachObserverSeesEachStatementOnceUntilRemoved) {
    Seen a, b;
    addStatementObserver(&remember, &a);
    addStatementObserver(&remember, &a);  // the same observer twice is one observer
    addStatementObserver(&remember, &b);
    notifyStatement("x = 1WHERE", "x = 1 WHERE");
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 1);
    EXPECT_EQ(a.sent, "x = 1WHERE");
    EXPECT_EQ(a.ran, "x = 1 WHERE");

    removeStatementObserver(&remember, &a);
    notifyStatement("s", "r");
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 2);
    removeStatementObserver(&remember, &b);
    notifyStatement("s", "r");
    EXPECT_EQ(b.calls, 2);
}

}  // namespace
}  // namespace orvan::data::testing
