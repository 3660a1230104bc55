// What the ADO tests share: one fixture typed over the two engines (a SQLite file in a fresh temporary
// folder; the PostgreSQL server named by ORVAN_TEST_PG), table names unique to each test, a direct
// provider session for set-up and checks, and a log of the statements sent to any engine.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "com_server/error.h"
#include "data_access/ado/ado.h"
#include "data_access/pool.h"
#include "data_access/providers/provider.h"

namespace orvan::data::adotest {

using com::ComError;
using com::ComPtr;
using com::Variant;

struct SqliteEngine {
    static constexpr bool kPostgres = false;
    static constexpr const char* kDateTime = "DATETIME";
};
struct PostgresEngine {
    static constexpr bool kPostgres = true;
    static constexpr const char* kDateTime = "timestamp";
};

struct EngineNames {
    template <typename T>
    static std::string GetName(int) {
        return T::kPostgres ? "Postgres" : "Sqlite";
    }
};

// Every statement any engine is sent while the log exists, as the caller wrote it.
class StatementLog {
public:
    StatementLog() { addStatementObserver(&StatementLog::record, this); }
    ~StatementLog() { removeStatementObserver(&StatementLog::record, this); }
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;

    std::vector<std::string> all() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    // The statements whose text starts with the keyword (case-insensitive).
    std::vector<std::string> starting(std::string_view keyword) const {
        std::vector<std::string> out;
        for (const auto& s : all()) {
            if (s.size() < keyword.size()) continue;
            bool same = true;
            for (std::size_t i = 0; i < keyword.size() && same; ++i)
                same = std::toupper(static_cast<unsigned char>(s[i])) ==
                       std::toupper(static_cast<unsigned char>(keyword[i]));
            if (same) out.push_back(s);
        }
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        sent_.clear();
    }

private:
    // The data layer's own statements (marked "-- internal") are left out: the log holds what the
    // caller's objects sent.
    static void record(void* context, std::string_view sent, std::string_view) {
        if (isInternalStatement(sent)) return;
        auto* self = static_cast<StatementLog*>(context);
        std::lock_guard lock(self->mutex_);
        self->sent_.emplace_back(sent);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> sent_;
};

// Runs f and returns the ComError it raised; fails the test when it raised none.
inline ComError errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComError& e) {
        return e;
    }
    ADD_FAILURE() << "no error was raised";
    return ComError(0, "");
}

template <typename Engine>
class AdoTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        prefix_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_";
        if constexpr (Engine::kPostgres) {
            const char* pg = std::getenv("ORVAN_TEST_PG");
            if (!pg || !*pg)
                FAIL() << "ORVAN_TEST_PG is not set: start a server with "
                          "eval \"$(scripts/pg-test-server.sh start DIR)\" and run the tests again";
            cs_ = pg;
        } else {
            dir_ = std::filesystem::temp_directory_path() / ("orvan-ado-" + prefix_);
            std::filesystem::remove_all(dir_);
            std::filesystem::create_directories(dir_);
            cs_ = "Provider=SQLite;Data Source=" + (dir_ / "ado.db").string();
        }
        admin_ = openSession(ConnectionString::parse(cs_), 15);
    }

    void TearDown() override {
        if (admin_) {
            for (const auto& t : tables_) {
                try {
                    admin_->execute("DROP TABLE IF EXISTS " + t, {}, 30);
                } catch (const ComError& e) {
                    ADD_FAILURE() << "could not drop " << t << ": " << e.description();
                }
            }
            if constexpr (Engine::kPostgres)
                for (const auto& f : functions_) admin_->execute("DROP FUNCTION IF EXISTS " + f, {}, 30);
            admin_.reset();
        }
        // Pooled sessions would keep the SQLite file open and PostgreSQL backends alive.
        SessionPool::instance().clear();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    static constexpr bool postgres() { return Engine::kPostgres; }
    const std::string& cs() const { return cs_; }
    std::string T(std::string_view name) const { return prefix_ + std::string(name); }

    // Creates table `name` (prefixed) with the column definitions given; dropped at the end.
    std::string createTable(std::string_view name, const std::string& columns) {
        const std::string t = T(name);
        tables_.push_back(t);
        exec("CREATE TABLE " + t + " (" + columns + ")");
        return t;
    }
    // A procedure the Command can call: a PostgreSQL function, or a body in sys_procedures for SQLite.
    // pgSignature: "(a integer, OUT total integer)"; pgBody and sqliteBody: the statements.
    std::string createProcedure(std::string_view name, const std::string& pgSignature,
                                const std::string& pgBody, const std::string& sqliteBody) {
        const std::string p = T(name);
        if constexpr (Engine::kPostgres) {
            functions_.push_back(p + pgSignature);
            exec("CREATE FUNCTION " + p + pgSignature + " AS $$ " + pgBody + " $$ LANGUAGE sql");
        } else {
            exec("CREATE TABLE IF NOT EXISTS sys_procedures (name TEXT PRIMARY KEY, body TEXT)");
            const Variant args[] = {Variant(p), Variant(sqliteBody)};
            exec("INSERT INTO sys_procedures (name, body) VALUES (?, ?)", args);
        }
        return p;
    }

    void exec(const std::string& sql, std::span<const Variant> params = {}) {
        admin_->execute(sql, params, 30);
    }

    // The first column of the first row (Empty when there is no row).
    Variant scalar(const std::string& sql, std::span<const Variant> params = {}) {
        auto rs = admin_->execute(sql, params, 30);
        std::vector<Variant> row;
        if (!rs->next(row)) return Variant();
        return row.at(0);
    }
    std::int32_t count(const std::string& table) {
        return com::CLng(scalar("SELECT COUNT(*) FROM " + table));
    }

    ComPtr<ado::Connection> connect() {
        auto c = com::make<ado::Connection>();
        c->Open(cs_, "", "", ado::adOptionUnspecified);
        return c;
    }

    // A recordset opened on sql (text) or a table (Options adCmdTable).
    ComPtr<ado::Recordset> openRs(const ComPtr<ado::Connection>& c, const std::string& source,
                                  std::int32_t cursorType, std::int32_t lockType,
                                  std::int32_t options = ado::adOptionUnspecified) {
        auto rs = com::make<ado::Recordset>();
        rs->Open(Variant(source), Variant(c), cursorType, lockType, options);
        return rs;
    }

    Session& admin() { return *admin_; }

private:
    std::string prefix_, cs_;
    std::filesystem::path dir_;
    std::unique_ptr<Session> admin_;
    std::vector<std::string> tables_, functions_;
};

using Engines = ::testing::Types<SqliteEngine, PostgresEngine>;

}  // namespace orvan::data::adotest
