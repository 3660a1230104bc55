// The component's calls made directly in-process, the baseline for the same calls made by a page served
// over HTTP (bench/login-bench.sh): a Geral created, Login, Finalizar_Sessao_Uso, the Geral released.
//   BM_LoginCycle/sqlite, BM_LoginCycle/postgresql (the latter needs ORVAN_TEST_PG).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "com_server/dispatch.h"
#include "com_server/event_log.h"
#include "com_server/host.h"
#include "data_access/providers/provider.h"
#include "schema/schema.h"
#include "session_services/geral.h"

namespace {

using orvan::com::Variant;

std::string demoDatabase(bool postgres) {
    static int serial = 0;
    const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(serial++);
    std::string cs;
    if (postgres) {
        auto admin = orvan::data::openSession(orvan::data::ConnectionString::parse(std::getenv("ORVAN_TEST_PG")), 15);
        admin->execute("CREATE SCHEMA benchlogin_" + tag, {}, 0);
        cs = std::string(std::getenv("ORVAN_TEST_PG")) + ";Search Path=benchlogin_" + tag;
    } else {
        cs = "Provider=SQLite;Data Source=" +
             (std::filesystem::temp_directory_path() / ("orvan-login-" + tag + ".db")).string();
    }
    auto s = orvan::data::openSession(orvan::data::ConnectionString::parse(cs), 15);
    orvan::schema::createSchema(*s);
    orvan::schema::addDemoData(*s);
    return cs;
}

void BM_LoginCycle(benchmark::State& state) {
    const bool postgres = state.range(0) == 1;
    if (postgres && !std::getenv("ORVAN_TEST_PG")) return state.SkipWithError("ORVAN_TEST_PG is not set");
    auto app = orvan::com::make<orvan::com::MemoryApplication>();
    auto response = orvan::com::make<orvan::com::MemoryResponse>();
    app->SetValue("dataconn_ConnectionString", Variant(demoDatabase(postgres)));
    app->SetValue("dataconn_CommandTimeout", Variant(std::int32_t{30}));
    orvan::com::SimpleObjectContext ctx;
    ctx.set("Application", Variant(app));
    ctx.set("Response", Variant(response));
    orvan::com::ObjectContextScope scope(ctx);
    orvan::com::setEventLog(std::make_shared<orvan::com::MemoryEventLog>());
    for (auto _ : state) {
        auto g = orvan::com::make<orvan::session::Geral>();
        Variant args[] = {Variant("ana"), Variant("ana123"), Variant("BENCH")};
        Variant record = orvan::com::invoke(*g, "Login", orvan::com::kMethod, args);
        if (!record.isArray()) return state.SkipWithError("login failed");
        Variant end[] = {record.rawArray()[8]};
        orvan::com::invoke(*g, "Finalizar_Sessao_Uso", orvan::com::kMethod, end);
    }
    if (!response->body().empty()) state.SkipWithError("a method reported a failure");
    state.SetLabel(postgres ? "postgresql" : "sqlite");
}
BENCHMARK(BM_LoginCycle)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
