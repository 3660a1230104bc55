// A database with the agenda schema for one test, on either engine, with a page around it; the
// same behaviour suite runs on both (the test parameter names the engine). PostgreSQL tests use the
// server named by ORVAN_TEST_PG, each in a schema of its own. The engines "odbc-postgresql" and
// "odbc-sqlite" are the same databases, set up through the native provider, with the component
// reaching them through the ODBC provider (psqlODBC, the SQLite ODBC driver).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "com_server/conversions.h"
#include "com_server/environment.h"
#include "data_access/odbc_targets.h"
#include "data_access/providers/provider.h"
#include "page_fixture.h"
#include "schema/schema.h"

namespace orvan::testing {

// Pins the process's clock at one date and time for its lifetime, so that stored times are exact.
class PinnedClock {
public:
    explicit PinnedClock(const com::DateParts& at) : serial_(*com::makeDate(at)) {
        com::setEnvironment(std::make_shared<com::PinnedEnvironment>(serial_));
    }
    ~PinnedClock() { com::setEnvironment(nullptr); }
    PinnedClock(const PinnedClock&) = delete;
    PinnedClock& operator=(const PinnedClock&) = delete;
    double serial() const { return serial_; }

private:
    double serial_;
};

// Every statement text sent to an engine while it lives.
class StatementLog {
public:
    StatementLog() { data::addStatementObserver(&StatementLog::observe, this); }
    ~StatementLog() { data::removeStatementObserver(&StatementLog::observe, this); }
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;

    std::vector<std::string> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<std::string> ran() const {
        std::lock_guard lock(mutex_);
        return ran_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        sent_.clear();
        ran_.clear();
    }
    bool contains(const std::string& statement) const {
        for (const auto& s : sent())
            if (s == statement) return true;
        return false;
    }

private:
    // The data layer's own statements (marked "-- internal") are left out: the log holds what the
    // component sent.
    static void observe(void* self, std::string_view sent, std::string_view ran) {
        if (data::isInternalStatement(sent)) return;
        auto* log = static_cast<StatementLog*>(self);
        std::lock_guard lock(log->mutex_);
        log->sent_.emplace_back(sent);
        log->ran_.emplace_back(ran);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> sent_, ran_;
};

class AgendaTest : public PageFixture, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        PageFixture::SetUp();
        if (onPostgres()) {
            const char* base = std::getenv("ORVAN_TEST_PG");
            ASSERT_TRUE(base && *base) << "ORVAN_TEST_PG is not set: start the test server with "
                                          "eval \"$(bash scripts/pg-test-server.sh start DIR)\" (scripts/test.sh does)";
            schema = "c_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
            {
                auto admin = data::openSession(data::ConnectionString::parse(base), 15);
                admin->execute("DROP SCHEMA IF EXISTS " + schema + " CASCADE", {}, 0);
                admin->execute("CREATE SCHEMA " + schema, {}, 0);
            }
            connection = std::string(base) + ";Search Path=" + schema;
        } else {
            connection = "Provider=SQLite;Data Source=" + (folder / "agenda.db").string();
        }
        session = data::openSession(data::ConnectionString::parse(connection), 15);
        schema::createSchema(*session);
        // The test's own session stays native; the component's connection goes through ODBC.
        if (GetParam() == "odbc-postgresql")
            connection = data::testing::odbcPostgresString(std::getenv("ORVAN_TEST_PG"), schema);
        else if (GetParam() == "odbc-sqlite")
            connection = data::testing::odbcSqliteString((folder / "agenda.db").string());
        application->SetValue("dataconn_ConnectionString", com::Variant(connection));
        application->SetValue("dataconn_CommandTimeout", com::Variant(std::int32_t{30}));
        application->SetValue("dataconn_ConnectionTimeout", com::Variant(std::int32_t{15}));
    }
    void TearDown() override {
        session.reset();
        if (!schema.empty()) {
            try {
                auto admin = data::openSession(data::ConnectionString::parse(std::getenv("ORVAN_TEST_PG")), 15);
                admin->execute("DROP SCHEMA IF EXISTS " + schema + " CASCADE", {}, 0);
            } catch (const com::ComError& e) {
                ADD_FAILURE() << "could not drop the test schema " << schema << ": " << e.description();
            }
        }
        PageFixture::TearDown();
    }

    // Whether the database is the PostgreSQL server (reached natively or through ODBC).
    bool onPostgres() const { return GetParam() == "postgresql" || GetParam() == "odbc-postgresql"; }

    // The test's own session; an exception (a failed test, not a crash) when the set-up found no
    // database and a derived set-up goes on to fill it.
    data::Session& db() {
        if (!session) throw std::logic_error("the test has no database: its set-up failed");
        return *session;
    }

    // Runs a statement on the test's own session (setting up rows, reading them back).
    void exec(const std::string& sql, std::vector<com::Variant> params = {}) { db().execute(sql, params, 30); }
    std::vector<std::vector<com::Variant>> rows(const std::string& sql, std::vector<com::Variant> params = {}) {
        auto rs = db().execute(sql, params, 30);
        std::vector<std::vector<com::Variant>> out;
        std::vector<com::Variant> row;
        while (rs->next(row)) out.push_back(row);
        return out;
    }
    // The single value of a one-row, one-column query, as text (Null as "Null").
    std::string value(const std::string& sql) {
        auto r = rows(sql);
        if (r.size() != 1 || r[0].size() != 1) return "<" + std::to_string(r.size()) + " rows>";
        return r[0][0].isNull() ? "Null" : com::CStr(r[0][0]);
    }
    std::int64_t count(const std::string& sql) { return std::stoll(value("SELECT COUNT(*) FROM (" + sql + ") q")); }
    // Event-log entries written since the test began.
    std::size_t logged() const { return log->entries().size(); }

    std::string connection, schema;
    std::unique_ptr<data::Session> session;
    StatementLog statements;
};

// The engine as a test name ("odbc-sqlite" -> "odbc_sqlite").
inline std::string engineName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

#define ORVAN_ON_BOTH_ENGINES(Suite) \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite, ::testing::Values("sqlite", "postgresql"), ::orvan::testing::engineName)

// Both engines natively and both through their ODBC drivers.
#define ORVAN_ON_ALL_ENGINES(Suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite,                                                             \
                             ::testing::Values("sqlite", "postgresql", "odbc-postgresql", "odbc-sqlite"), \
                             ::orvan::testing::engineName)

}  // namespace orvan::testing
