// Databases for the provider tests: a SQLite file in a fresh temporary folder, or a schema of its own
// on the PostgreSQL server named by ORVAN_TEST_PG (started by scripts/pg-test-server.sh), so that
// tests may run in parallel against one server.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "com_server/error.h"
#include "com_server/variant.h"
#include "data_access/providers/provider.h"

namespace orvan::com {
// Lets gtest print a Variant as "Long 5", "String \"x\"".
void PrintTo(const Variant& v, std::ostream* os);
}  // namespace orvan::com

namespace orvan::data::testing {

// The PostgreSQL connection string of the test server; empty when ORVAN_TEST_PG is not set.
std::string pgConnectionString();
// Why a PostgreSQL test cannot run without the server, and how to start it.
std::string pgMissingMessage();

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// One engine's database for one test. engine: "sqlite" or "postgresql".
class TestDatabase {
public:
    explicit TestDatabase(std::string engine);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // A new session on this database (on PostgreSQL with the test's schema as its search path).
    std::unique_ptr<Session> open() const;
    const std::string& engine() const { return engine_; }
    bool postgres() const { return engine_ == "postgresql"; }
    const std::string& connectionString() const { return connection_; }

private:
    std::string engine_;
    std::unique_ptr<TempFolder> folder_;
    std::string connection_;
    std::string schema_;
};

// The rows of a statement, read to the end.
std::vector<std::vector<com::Variant>> readAll(ResultSet& rs);
std::vector<std::vector<com::Variant>> query(Session& s, std::string_view sql,
                                             std::vector<com::Variant> params = {}, int timeoutSeconds = 30);
// Runs a statement; returns rowsAffected.
std::int64_t run(Session& s, std::string_view sql, std::vector<com::Variant> params = {},
                 int timeoutSeconds = 30);

// The date serial of a calendar date and time, computed with std::chrono: before 1899-12-30 the
// time of day is subtracted from the (negative) day number.
double serial(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0);

// The ComError that f throws; a test failure when it throws none.
template <typename F>
com::ComError errorOf(F&& f) {
    try {
        f();
    } catch (const com::ComError& e) {
        return e;
    }
    ADD_FAILURE() << "no ComError was thrown";
    return com::ComError(0, "");
}

// Records every statement reported to the trace while it lives, leaving out the data layer's own.
class StatementLog {
public:
    StatementLog();
    ~StatementLog();
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;
    struct Entry {
        std::string sent, ran;
    };
    std::vector<Entry> entries;

private:
    static void record(void* self, std::string_view sent, std::string_view ran);
};

}  // namespace orvan::data::testing
