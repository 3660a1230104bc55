// The SQLSTATE, category and statement of database errors, alike on SQLite and PostgreSQL: callers
// decide on the category, so both engines must report the same kind of failure the same way.
#include <gtest/gtest.h>

#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::ComError;
using com::ErrorCategory;

class ErrorStateTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && pgConnectionString().empty()) GTEST_FAIL() << pgMissingMessage();
        db_ = std::make_unique<TestDatabase>(GetParam());
        s_ = db_->open();
        run(*s_, "CREATE TABLE pessoa (id INTEGER PRIMARY KEY, nome VARCHAR(20) NOT NULL, idade INTEGER "
                 "CHECK (idade >= 0))");
        run(*s_, "INSERT INTO pessoa (id, nome, idade) VALUES (1, 'Ana', 30)");
    }

    // The error sql raises (a failed test when it raises none).
    ComError failureOf(const std::string& sql) {
        try {
            run(*s_, sql);
        } catch (const ComError& e) {
            return e;
        }
        ADD_FAILURE() << "no error from " << sql;
        return ComError(0, "");
    }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<Session> s_;
};

std::string engineName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}
INSTANTIATE_TEST_SUITE_P(Engines, ErrorStateTest, ::testing::Values("sqlite", "postgresql"), engineName);

TEST_P(ErrorStateTest, EachKindOfFailureHasItsSqlStateCategoryAndStatement) {
    struct Case {
        const char* sql;
        const char* sqlState;
        ErrorCategory category;
        std::int32_t number;
    } cases[] = {
        {"INSERT INTO pessoa (id, nome) VALUES (1, 'Bruno')", "23505", ErrorCategory::Constraint,
         com::hr::IntegrityViolation},
        {"INSERT INTO pessoa (id, nome) VALUES (2, NULL)", "23502", ErrorCategory::Constraint,
         com::hr::IntegrityViolation},
        {"INSERT INTO pessoa (id, nome, idade) VALUES (3, 'Carla', -1)", "23514", ErrorCategory::Constraint,
         com::hr::IntegrityViolation},
        {"SELECT * FROM tabela_que_nao_existe", "42P01", ErrorCategory::UndefinedObject, com::hr::NoTable},
        {"SELECT coluna_que_nao_existe FROM pessoa", "42703", ErrorCategory::UndefinedObject,
         com::hr::ErrorsInCommand},
        {"SELEC nome FROM pessoa", "42601", ErrorCategory::Other, com::hr::ErrorsInCommand},
    };
    for (const Case& c : cases) {
        const ComError e = failureOf(c.sql);
        EXPECT_EQ(e.sqlState(), c.sqlState) << c.sql << ": " << e.description();
        EXPECT_EQ(e.category(), c.category) << c.sql;
        EXPECT_EQ(e.number(), c.number) << c.sql;
        EXPECT_EQ(e.statement(), c.sql);
    }
}

TEST(ErrorStateSqlite, AFileThatCannotBeOpenedIsAConnectionFailure) {
    try {
        openSession(ConnectionString::parse("Provider=SQLite;Data Source=/nonexistent-folder/agenda.db"), 5);
        ADD_FAILURE() << "the session opened";
    } catch (const ComError& e) {
        EXPECT_EQ(e.sqlState(), "08001") << e.description();
        EXPECT_EQ(e.category(), ErrorCategory::ConnectionFailed);
    }
}

TEST(ErrorStatePostgres, ALoginTheServerRefusesIsNotAllowed) {
    const std::string base = pgConnectionString();
    if (base.empty()) GTEST_FAIL() << pgMissingMessage();
    auto cs = ConnectionString::parse(base + ";User ID=papel_que_nao_existe");
    try {
        openSession(cs, 5);
        ADD_FAILURE() << "the server accepted the login";
    } catch (const ComError& e) {
        EXPECT_EQ(e.category(), ErrorCategory::NotAllowed) << e.sqlState() << " " << e.description();
        EXPECT_EQ(e.number(), com::hr::AuthFailed);
    }
}

}  // namespace
}  // namespace orvan::data::testing
