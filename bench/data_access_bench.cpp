// Data access costs, each beside a raw baseline run in the same process: the same statements straight
// through sqlite3 / libpq.
//   BM_TableAddRow_*   opening a table and adding one row (AddNew + Update), on an empty table and on one
//                      of 1,000,000 rows; the cost must not grow with the table.
//   BM_ComumCycle_*    creating and releasing a Comum (two connections) with a warm pool, against opening
//                      two fresh PostgreSQL connections.
// PostgreSQL cases need ORVAN_TEST_PG (scripts/pg-test-server.sh start DIR prints it).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "com_server/host.h"
#include "data_access/comum.h"
#include "data_access/providers/provider.h"
#include "schema/schema.h"

namespace {

using orvan::com::Variant;
namespace ado = orvan::data::ado;

std::string folder() {
    static const std::string f = [] {
        auto p = std::filesystem::temp_directory_path() / ("orvan-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p.string();
    }();
    return f;
}

const char* pg() { return std::getenv("ORVAN_TEST_PG"); }

// A database with the schema and `rows` rows in DICADODIA; returns its connection string.
std::string prepared(const std::string& engine, int rows) {
    static int serial = 0;  // every run gets its own database: the benchmark library calls a case several times
    const std::string tag = std::to_string(rows) + "_" + std::to_string(serial++);
    std::string cs;
    if (engine == "sqlite") {
        const std::string file = folder() + "/t" + tag + ".db";
        cs = "Provider=SQLite;Data Source=" + file;
    } else {
        const std::string schema = "bench_" + std::to_string(::getpid()) + "_" + tag;
        auto admin = orvan::data::openSession(orvan::data::ConnectionString::parse(pg()), 15);
        admin->execute("DROP SCHEMA IF EXISTS " + schema + " CASCADE", {}, 0);
        admin->execute("CREATE SCHEMA " + schema, {}, 0);
        cs = std::string(pg()) + ";Search Path=" + schema;
    }
    auto s = orvan::data::openSession(orvan::data::ConnectionString::parse(cs), 15);
    orvan::schema::createSchema(*s);
    if (rows > 0) {
        s->execute(engine == "sqlite"
                       ? "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) +
                             ") INSERT INTO DICADODIA (oid, Texto, ordem) SELECT i, 'dica ' || i, i % 100 FROM n"
                       : "INSERT INTO DICADODIA (oid, Texto, ordem) SELECT i, 'dica ' || i, i % 100 FROM "
                         "generate_series(1, " + std::to_string(rows) + ") i",
                   {}, 0);
    }
    return cs;
}

void addRows(benchmark::State& state, const std::string& engine) {
    if (engine == "postgresql" && !pg()) return state.SkipWithError("ORVAN_TEST_PG is not set");
    const int rows = static_cast<int>(state.range(0));
    const std::string cs = prepared(engine, rows);
    auto conn = orvan::com::make<ado::Connection>();
    conn->Open(cs, "", "", -1);
    std::int32_t oid = 2000000;
    for (auto _ : state) {
        auto rs = orvan::com::make<ado::Recordset>();
        rs->Open(Variant("DICADODIA"), Variant(conn), ado::adOpenDynamic, ado::adLockOptimistic, ado::adCmdTable);
        rs->AddNew();
        orvan::data::setField(*rs, "Texto", Variant("nova dica"));
        orvan::data::setField(*rs, "ordem", Variant(std::int16_t{1}));
        orvan::data::setField(*rs, "oid", Variant(oid++));
        rs->Update();
        rs->Close();
    }
    state.counters["rows"] = rows;
}

void BM_TableAddRow_Sqlite(benchmark::State& state) { addRows(state, "sqlite"); }
void BM_TableAddRow_Postgres(benchmark::State& state) { addRows(state, "postgresql"); }
BENCHMARK(BM_TableAddRow_Sqlite)->Arg(0)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableAddRow_Postgres)->Arg(0)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Raw baseline: the INSERT the recordset sends, prepared once on one connection, through the C API (the
// recordset's column probe is read once per session, so a warm loop sends only the INSERT).
void BM_TableAddRow_SqliteRaw(benchmark::State& state) {
    const std::string cs = prepared("sqlite", static_cast<int>(state.range(0)));
    sqlite3* db = nullptr;
    sqlite3_open(cs.substr(cs.find('=', cs.find("Source")) + 1).c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO DICADODIA (Texto, ordem, oid) VALUES (?, ?, ?)", -1, &ins, nullptr);
    int oid = 2000000;
    for (auto _ : state) {
        sqlite3_bind_text(ins, 1, "nova dica", -1, SQLITE_STATIC);
        sqlite3_bind_int(ins, 2, 1);
        sqlite3_bind_int(ins, 3, oid++);
        if (sqlite3_step(ins) != SQLITE_DONE) return state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_close(db);
}
BENCHMARK(BM_TableAddRow_SqliteRaw)->Arg(0)->Arg(1000000)->Unit(benchmark::kMicrosecond);

std::string conninfo() {
    auto cs = orvan::data::ConnectionString::parse(pg());
    return "host=" + cs.get("host") + " port=" + cs.get("port") + " dbname=" + cs.get("database") +
           " user=" + cs.get("user id");
}

void BM_TableAddRow_PostgresRaw(benchmark::State& state) {
    if (!pg()) return state.SkipWithError("ORVAN_TEST_PG is not set");
    const std::string cs = prepared("postgresql", static_cast<int>(state.range(0)));
    PGconn* c = PQconnectdb(conninfo().c_str());
    const std::string schema = cs.substr(cs.rfind('=') + 1);
    PQclear(PQexec(c, ("SET search_path TO " + schema).c_str()));
    PQclear(PQprepare(c, "ins", "INSERT INTO DICADODIA (Texto, ordem, oid) VALUES ($1, $2, $3)", 0, nullptr));
    int oid = 2000000;
    for (auto _ : state) {
        const std::string id = std::to_string(oid++);
        const char* values[] = {"nova dica", "1", id.c_str()};
        PQclear(PQexecPrepared(c, "ins", 3, values, nullptr, nullptr, 0));
    }
    PQfinish(c);
}
BENCHMARK(BM_TableAddRow_PostgresRaw)->Arg(0)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_ComumCycle_WarmPool(benchmark::State& state) {
    if (!pg()) return state.SkipWithError("ORVAN_TEST_PG is not set");
    auto app = orvan::com::make<orvan::com::MemoryApplication>();
    auto response = orvan::com::make<orvan::com::MemoryResponse>();
    app->SetValue("dataconn_ConnectionString", Variant(pg()));
    app->SetValue("dataconn_CommandTimeout", Variant(std::int32_t{30}));
    orvan::com::SimpleObjectContext ctx;
    ctx.set("Application", Variant(app));
    ctx.set("Response", Variant(response));
    orvan::com::ObjectContextScope scope(ctx);
    { auto warm = orvan::com::make<orvan::data::Comum>(); }
    for (auto _ : state) {
        auto c = orvan::com::make<orvan::data::Comum>();
        benchmark::DoNotOptimize(c.get());
    }
    if (!response->body().empty()) state.SkipWithError("a connection failed to open");
}
BENCHMARK(BM_ComumCycle_WarmPool)->Unit(benchmark::kMicrosecond);

void BM_ComumCycle_TwoFreshConnectionsRaw(benchmark::State& state) {
    if (!pg()) return state.SkipWithError("ORVAN_TEST_PG is not set");
    const std::string info = conninfo();
    for (auto _ : state) {
        PGconn* a = PQconnectdb(info.c_str());
        PGconn* b = PQconnectdb(info.c_str());
        benchmark::DoNotOptimize(a);
        PQfinish(a);
        PQfinish(b);
    }
}
BENCHMARK(BM_ComumCycle_TwoFreshConnectionsRaw)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(folder(), ec);
    if (pg()) {
        // The schemas made for the runs go with the process.
        auto admin = orvan::data::openSession(orvan::data::ConnectionString::parse(pg()), 15);
        auto rs = admin->execute("SELECT nspname FROM pg_namespace WHERE nspname LIKE 'bench_" +
                                     std::to_string(::getpid()) + "_%'", {}, 0);
        std::vector<std::string> names;
        std::vector<Variant> row;
        while (rs->next(row)) names.push_back(row[0].rawString());
        for (const auto& n : names) admin->execute("DROP SCHEMA " + n + " CASCADE", {}, 0);
    }
    return 0;
}
