// The test databases and helpers shared by the provider tests.
#include "data_access/test_database.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace orvan::com {

void PrintTo(const Variant& v, std::ostream* os) {
    *os << typeName(v.type());
    switch (v.type()) {
        case VarType::Integer:
        case VarType::Long:
            *os << ' ' << v.rawInt();
            break;
        case VarType::Boolean:
            *os << (v.rawBool() ? " True" : " False");
            break;
        case VarType::Double:
        case VarType::Date:
            *os << ' ' << std::to_string(v.rawDouble());
            break;
        case VarType::String:
            *os << " \"" << v.rawString() << '"';
            break;
        default:
            break;
    }
}

}  // namespace orvan::com

namespace orvan::data::testing {

std::string pgConnectionString() {
    const char* v = std::getenv("ORVAN_TEST_PG");
    return v ? v : "";
}

std::string pgMissingMessage() {
    return "ORVAN_TEST_PG is not set, so the PostgreSQL cases cannot run. Start the private test server "
           "with: eval \"$(scripts/pg-test-server.sh start /tmp/orvan-pg)\"";
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvan-data-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;  // a folder left behind in /tmp harms no later test
    std::filesystem::remove_all(path_, ignored);
}

TestDatabase::TestDatabase(std::string engine) : engine_(std::move(engine)) {
    if (engine_ == "sqlite") {
        folder_ = std::make_unique<TempFolder>();
        connection_ = "Provider=SQLite;Data Source=" + (folder_->path() / "test.db").string();
        return;
    }
    connection_ = pgConnectionString();
    if (connection_.empty()) throw std::runtime_error(pgMissingMessage());
    static std::atomic<int> counter{0};
    schema_ = "t_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    auto s = openSession(ConnectionString::parse(connection_), 10);
    run(*s, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    run(*s, "CREATE SCHEMA " + schema_);
}

TestDatabase::~TestDatabase() {
    if (schema_.empty()) return;
    try {
        auto s = openSession(ConnectionString::parse(connection_), 10);
        run(*s, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    } catch (const com::ComError& e) {
        ADD_FAILURE() << "could not drop the test schema " << schema_ << ": " << e.description();
    }
}

std::unique_ptr<Session> TestDatabase::open() const {
    auto s = openSession(ConnectionString::parse(connection_), 10);
    if (!schema_.empty()) run(*s, "SET search_path TO " + schema_);
    return s;
}

std::vector<std::vector<com::Variant>> readAll(ResultSet& rs) {
    std::vector<std::vector<com::Variant>> rows;
    std::vector<com::Variant> row;
    while (rs.next(row)) rows.push_back(row);
    return rows;
}

std::vector<std::vector<com::Variant>> query(Session& s, std::string_view sql,
                                             std::vector<com::Variant> params, int timeoutSeconds) {
    auto rs = s.execute(sql, params, timeoutSeconds);
    return readAll(*rs);
}

std::int64_t run(Session& s, std::string_view sql, std::vector<com::Variant> params, int timeoutSeconds) {
    return s.execute(sql, params, timeoutSeconds)->rowsAffected();
}

double serial(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    const auto days =
        (sys_days(std::chrono::year(year) / month / day) - sys_days(1899y / December / 30)).count();
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    return days >= 0 ? days + time : days - time;
}

StatementLog::StatementLog() {
    addStatementObserver(&StatementLog::record, this);
}
StatementLog::~StatementLog() {
    removeStatementObserver(&StatementLog::record, this);
}

void StatementLog::record(void* self, std::string_view sent, std::string_view ran) {
    if (isInternalStatement(sent)) return;  // the data layer's own statements are not the caller's
    static_cast<StatementLog*>(self)->entries.push_back({std::string(sent), std::string(ran)});
}

}  // namespace orvan::data::testing
