// The ODBC provider beside the native PostgreSQL provider on the same server: Pauta.Criar_Nova_Tarefa
// copying the demo template task (its Item and tarefa rows, classification, subtasks, deadline,
// responsibilities and authorised pieces), with identifiers from the schema's atualoid.
//   BM_Criar_Nova_Tarefa/native   through libpq
//   BM_Criar_Nova_Tarefa/odbc     through psqlODBC ("PostgreSQL Unicode")
// Both need ORVAN_TEST_PG (scripts/pg-test-server.sh); the ratio odbc/native is the figure to read.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "agenda/pauta.h"
#include "com_server/dispatch.h"
#include "com_server/event_log.h"
#include "com_server/host.h"
#include "data_access/providers/provider.h"
#include "schema/schema.h"
#include "tests/data_access/odbc_targets.h"

namespace {

using orvan::com::Variant;

// A fresh schema with the demo data on the test server; returns its name.
std::string demoSchema() {
    static int serial = 0;
    const std::string schema = "benchodbc_" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
    const std::string base = std::getenv("ORVAN_TEST_PG");
    auto admin = orvan::data::openSession(orvan::data::ConnectionString::parse(base), 15);
    admin->execute("CREATE SCHEMA " + schema, {}, 0);
    auto s = orvan::data::openSession(orvan::data::ConnectionString::parse(base + ";Search Path=" + schema), 15);
    orvan::schema::createSchema(*s);
    orvan::schema::addDemoData(*s);
    return schema;
}

void dropSchema(const std::string& schema) {
    auto admin = orvan::data::openSession(orvan::data::ConnectionString::parse(std::getenv("ORVAN_TEST_PG")), 15);
    admin->execute("DROP SCHEMA " + schema + " CASCADE", {}, 0);
}

void BM_Criar_Nova_Tarefa(benchmark::State& state) {
    if (!std::getenv("ORVAN_TEST_PG")) return state.SkipWithError("ORVAN_TEST_PG is not set");
    const bool odbc = state.range(0) == 1;
    const std::string base = std::getenv("ORVAN_TEST_PG");
    const std::string schema = demoSchema();
    const std::string connection =
        odbc ? orvan::data::testing::odbcPostgresString(base, schema) : base + ";Search Path=" + schema;
    auto app = orvan::com::make<orvan::com::MemoryApplication>();
    auto response = orvan::com::make<orvan::com::MemoryResponse>();
    app->SetValue("dataconn_ConnectionString", Variant(connection));
    app->SetValue("dataconn_CommandTimeout", Variant(std::int32_t{30}));
    orvan::com::SimpleObjectContext ctx;
    ctx.set("Application", Variant(app));
    ctx.set("Response", Variant(response));
    orvan::com::ObjectContextScope scope(ctx);
    orvan::com::setEventLog(std::make_shared<orvan::com::MemoryEventLog>());
    auto pauta = orvan::com::make<orvan::agenda::Pauta>();
    for (auto _ : state) {
        Variant args[] = {Variant(std::int32_t{5001}), Variant(std::int32_t{2001})};
        Variant created = orvan::com::invoke(*pauta, "Criar_Nova_Tarefa", orvan::com::kMethod, args);
        benchmark::DoNotOptimize(created);
    }
    if (!response->body().empty()) state.SkipWithError("Criar_Nova_Tarefa reported a failure");
    state.SetLabel(odbc ? "psqlODBC" : "libpq");
    dropSchema(schema);
}
BENCHMARK(BM_Criar_Nova_Tarefa)->ArgName("odbc")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
