// The reference schema: created once per database (a second attempt is refused and changes nothing),
// the script split into statements correctly, and the demo users able to log in with their passwords.
#include <gtest/gtest.h>

#include "agenda_database.h"
#include "session_services/password.h"

namespace orvan::testing {
namespace {

TEST(SchemaScriptTest, StatementsSplitOutsideTextsBodiesAndComments) {
    const auto parts = schema::splitStatements(
        "CREATE TABLE a (x TEXT DEFAULT 'a;b'); -- a comment; with a semicolon\n"
        "CREATE FUNCTION f() AS $$ SELECT 1; SELECT 2 $$ LANGUAGE sql;\n"
        "INSERT INTO a VALUES ('it''s; fine')");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], "CREATE TABLE a (x TEXT DEFAULT 'a;b')");
    EXPECT_EQ(parts[1], "CREATE FUNCTION f() AS $$ SELECT 1; SELECT 2 $$ LANGUAGE sql");
    EXPECT_EQ(parts[2], "INSERT INTO a VALUES ('it''s; fine')");
}

// The Transact-SQL and Oracle procedures keep their own ';' and end at a line holding only "/".
TEST(SchemaScriptTest, ProceduresRunToTheirSlashLine) {
    const auto parts = schema::splitStatements(
        "CREATE SEQUENCE s START WITH 10;\n"
        "CREATE PROCEDURE p (n OUT INTEGER) AS\nBEGIN\n    SELECT s.NEXTVAL INTO n FROM DUAL;\nEND;\n/\n"
        "create or replace procedure q AS BEGIN NULL; END;\n  /  \n"
        "SELECT 4 / 2 FROM DUAL;\n"
        "CREATE TABLE t (x INTEGER)");
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(parts[0], "CREATE SEQUENCE s START WITH 10");
    EXPECT_EQ(parts[1], "CREATE PROCEDURE p (n OUT INTEGER) AS\nBEGIN\n    SELECT s.NEXTVAL INTO n FROM DUAL;\nEND;");
    EXPECT_EQ(parts[2], "create or replace procedure q AS BEGIN NULL; END;");
    EXPECT_EQ(parts[3], "SELECT 4 / 2 FROM DUAL");
    EXPECT_EQ(parts[4], "CREATE TABLE t (x INTEGER)");
}

class SchemaTest : public AgendaTest {};

TEST_P(SchemaTest, SecondCreationIsRefusedAndDemoUsersHaveTheirPasswords) {
    EXPECT_TRUE(schema::hasSchema(*session));
    exec("INSERT INTO DICADODIA (oid, Texto, ordem) VALUES (1, 'fica', 1)");
    try {
        schema::createSchema(*session);
        FAIL() << "a database that has the schema must be refused";
    } catch (const com::ComError& e) {
        EXPECT_NE(e.description().find("already has the agenda schema"), std::string::npos) << e.description();
    }
    EXPECT_EQ(value("SELECT Texto FROM DICADODIA WHERE oid = 1"), "fica") << "nothing was changed";

    const auto added = schema::addDemoData(*session);
    EXPECT_FALSE(added.empty());
    EXPECT_EQ(value("SELECT SENHA FROM usuario_v WHERE NOME = 'ANA'"), session::storedPassword("ana", "ana123"));
    EXPECT_EQ(count("SELECT * FROM TAREFA_V WHERE NOME LIKE 'Modelo:%'"), 2);
    EXPECT_EQ(value("SELECT COUNT(*) FROM usuario_v u JOIN comunicacao c ON c.rendereco = u.OID AND c.rtipo = 1121 "
                    "JOIN agrupamento_v a ON a.RITEM = c.ritem"),
              "3")
        << "every demo user can be found by the login query's joins";
}

ORVAN_ON_BOTH_ENGINES(SchemaTest);

}  // namespace
}  // namespace orvan::testing
