// Business calls made in-process beside a hand-written raw baseline that sends the same data statements
// (as the statement trace shows them) through sqlite3 / libpq with prepared statements on one open
// connection, both measured in one run:
//   BM_CriarNovaTarefa/{sqlite,postgresql}      a Pauta created, Criar_Nova_Tarefa(5001), released
//   BM_CriarNovaTarefaRaw/{sqlite,postgresql}   its statements
//   BM_LoginCycle/{sqlite,postgresql}           a Geral created, Login + Finalizar_Sessao_Uso, released
//   BM_LoginCycleRaw/{sqlite,postgresql}        their statements
// Arg 0 = SQLite (a file in the temporary folder), 1 = PostgreSQL (needs ORVAN_TEST_PG).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "agenda/pauta.h"
#include "com_server/dispatch.h"
#include "com_server/event_log.h"
#include "com_server/host.h"
#include "data_access/providers/provider.h"
#include "schema/schema.h"
#include "session_services/geral.h"

namespace {

using orvan::com::Variant;

const char* pg() { return std::getenv("ORVAN_TEST_PG"); }

struct Database {
    std::string cs;      // the component's connection string
    std::string file;    // SQLite: the file
    std::string schema;  // PostgreSQL: the schema on the search path
};

// The SQLite files made for the runs, removed when the benchmarks end.
std::vector<std::string>& madeFiles() {
    static std::vector<std::string> files;
    return files;
}

Database demoDatabase(bool postgres) {
    static int serial = 0;
    const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(serial++);
    Database db;
    if (postgres) {
        auto admin = orvan::data::openSession(orvan::data::ConnectionString::parse(pg()), 15);
        db.schema = "benchcall_" + tag;
        admin->execute("CREATE SCHEMA " + db.schema, {}, 0);
        db.cs = std::string(pg()) + ";Search Path=" + db.schema;
    } else {
        db.file = (std::filesystem::temp_directory_path() / ("orvan-call-" + tag + ".db")).string();
        db.cs = "Provider=SQLite;Data Source=" + db.file;
        madeFiles().push_back(db.file);
    }
    auto s = orvan::data::openSession(orvan::data::ConnectionString::parse(db.cs), 15);
    orvan::schema::createSchema(*s);
    orvan::schema::addDemoData(*s);
    return db;
}

// The host objects a page would give the component.
struct Host {
    explicit Host(const std::string& cs) {
        app->SetValue("dataconn_ConnectionString", Variant(cs));
        app->SetValue("dataconn_CommandTimeout", Variant(std::int32_t{30}));
        ctx.set("Application", Variant(app));
        ctx.set("Response", Variant(response));
        orvan::com::setEventLog(std::make_shared<orvan::com::MemoryEventLog>());
    }
    orvan::com::ComPtr<orvan::com::MemoryApplication> app = orvan::com::make<orvan::com::MemoryApplication>();
    orvan::com::ComPtr<orvan::com::MemoryResponse> response = orvan::com::make<orvan::com::MemoryResponse>();
    orvan::com::SimpleObjectContext ctx;
};

// ---- the raw baseline: one connection, prepared statements -----------------------------------------

// A value as the raw baseline moves it: NULL, or the text the engine gave.
struct Cell {
    bool null = true;
    std::string text;
};
using Row = std::map<std::string, Cell>;  // by lower-cased column name

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class Raw {
public:
    virtual ~Raw() = default;
    // Runs sql ("?" markers) with params; returns its rows. reuse: kept prepared for the next run (a
    // text that holds a literal which changes each call is prepared, run and let go).
    virtual std::vector<Row> run(const std::string& sql, const std::vector<Cell>& params, bool reuse = true) = 0;
};

class SqliteRaw final : public Raw {
public:
    explicit SqliteRaw(const std::string& file) {
        sqlite3_open(file.c_str(), &db_);
        sqlite3_busy_timeout(db_, 30000);
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    }
    ~SqliteRaw() override {
        for (auto& [text, stmt] : cache_) sqlite3_finalize(stmt);
        sqlite3_close(db_);
    }
    std::vector<Row> run(const std::string& sql, const std::vector<Cell>& params, bool reuse) override {
        sqlite3_stmt* once = nullptr;
        sqlite3_stmt*& stmt = reuse ? cache_[sql] : once;
        if (!stmt && sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        for (std::size_t i = 0; i < params.size(); ++i) {
            const int k = static_cast<int>(i + 1);
            if (params[i].null) sqlite3_bind_null(stmt, k);
            else sqlite3_bind_text(stmt, k, params[i].text.c_str(), -1, SQLITE_TRANSIENT);
        }
        std::vector<Row> rows;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            Row row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                Cell cell;
                if (sqlite3_column_type(stmt, c) != SQLITE_NULL) {
                    cell.null = false;
                    cell.text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                }
                row.emplace(lower(sqlite3_column_name(stmt, c)), std::move(cell));
            }
            rows.push_back(std::move(row));
        }
        sqlite3_reset(stmt);
        if (!reuse) sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
        return rows;
    }

private:
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> cache_;
};

class PostgresRaw final : public Raw {
public:
    explicit PostgresRaw(const std::string& schema) {
        auto cs = orvan::data::ConnectionString::parse(pg());
        const std::string info = "host=" + cs.get("host") + " port=" + cs.get("port") + " dbname=" + cs.get("database") +
                                 " user=" + cs.get("user id") + " options='-c search_path=" + schema + "'";
        conn_ = PQconnectdb(info.c_str());
        if (PQstatus(conn_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(conn_));
    }
    ~PostgresRaw() override { PQfinish(conn_); }
    std::vector<Row> run(const std::string& sql, const std::vector<Cell>& params, bool reuse) override {
        std::vector<const char*> values;
        for (const Cell& c : params) values.push_back(c.null ? nullptr : c.text.c_str());
        const int count = static_cast<int>(values.size());
        std::string numbered;
        int n = 0;
        for (char c : sql) numbered += c == '?' ? "$" + std::to_string(++n) : std::string(1, c);
        PGresult* r = nullptr;
        if (!reuse) {
            r = PQexecParams(conn_, numbered.c_str(), count, nullptr, values.data(), nullptr, nullptr, 0);
        } else {
            auto [it, added] = names_.try_emplace(sql, "raw" + std::to_string(names_.size()));
            if (added) {
                PGresult* p = PQprepare(conn_, it->second.c_str(), numbered.c_str(), 0, nullptr);
                const bool ok = PQresultStatus(p) == PGRES_COMMAND_OK;
                PQclear(p);
                if (!ok) throw std::runtime_error(PQerrorMessage(conn_));
            }
            r = PQexecPrepared(conn_, it->second.c_str(), count, values.data(), nullptr, nullptr, 0);
        }
        const auto status = PQresultStatus(r);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            const std::string message = PQresultErrorMessage(r);
            PQclear(r);
            throw std::runtime_error(message);
        }
        std::vector<Row> rows;
        for (int i = 0; i < PQntuples(r); ++i) {
            Row row;
            for (int c = 0; c < PQnfields(r); ++c) {
                Cell cell;
                if (!PQgetisnull(r, i, c)) {
                    cell.null = false;
                    cell.text = PQgetvalue(r, i, c);
                }
                row.emplace(PQfname(r, c), std::move(cell));
            }
            rows.push_back(std::move(row));
        }
        PQclear(r);
        return rows;
    }

private:
    PGconn* conn_ = nullptr;
    std::map<std::string, std::string> names_;
};

std::unique_ptr<Raw> openRaw(const Database& db) {
    if (!db.schema.empty()) return std::make_unique<PostgresRaw>(db.schema);
    return std::make_unique<SqliteRaw>(db.file);
}

Cell text(std::string s) { return Cell{false, std::move(s)}; }
Cell field(const std::vector<Row>& rows, const char* column) {
    if (rows.empty()) return Cell{};
    auto it = rows.front().find(lower(column));
    return it == rows.front().end() ? Cell{} : it->second;
}

std::string newOid(Raw& raw, bool postgres) {
    const auto rows = postgres ? raw.run("SELECT * FROM atualoid()", {})
                               : raw.run("UPDATE oidcounter SET valor = valor + 1 WHERE id = 1 RETURNING valor AS novooid", {});
    return field(rows, "novooid").text;
}

std::string now() {
    return "2026-01-01 12:00:00";
}

// The data statements of one Criar_Nova_Tarefa(5001, user), as the statement trace shows them.
void rawCriarNovaTarefa(Raw& raw, bool postgres, const std::string& user) {
    const auto source = raw.run("SELECT * FROM TAREFA_V WHERE     OID = 5001", {});
    const std::string job = field(source, "RJOB").text;
    const std::string task = newOid(raw, postgres);
    raw.run("INSERT INTO Item (RESCOPO, CID, EXCLUIDO, CRIADOPOR, ATUALIZADOPOR, CRIADOEM, ATUALIZADOEM, NOME, OID) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
            {text("7"), text("62"), text("0"), text(user), text(user), text(now()), text(now()),
             field(source, "NOME"), text(task)});
    raw.run("INSERT INTO tarefa (RJOB, RPRIORIDADE, RSTATUS, RTIPODEMATERIAL, RPECA, ESPECIFICACAO, DESCRICAO, OID) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
            {field(source, "RJOB"), field(source, "RPRIORIDADE"), text("1258"), field(source, "RTIPODEMATERIAL"),
             field(source, "RPECA"), field(source, "ESPECIFICACAO"), field(source, "DESCRICAO"), text(task)});
    const auto classes = raw.run("SELECT * FROM CLASSIFICACAO WHERE     RITEM = 5001", {});
    raw.run("INSERT INTO CLASSIFICACAO (RITEM, RCATEGORIA, OID) VALUES (?, ?, ?)",
            {text(task), field(classes, "RCATEGORIA"), text(newOid(raw, postgres))});
    const auto parts = raw.run("SELECT * FROM SUBTAREFA WHERE     RITEM = 5001  AND     RGRUPO = " + job, {});
    raw.run("INSERT INTO SUBTAREFA (RGRUPO, RITEM, ORDEM, OID) VALUES (?, ?, ?, ?)",
            {text(job), text(task), field(parts, "ORDEM"), text(newOid(raw, postgres))});
    const auto periods = raw.run("SELECT * FROM PRAZO WHERE     RTIPO = 1007 AND     RTAREFA = 5001", {});
    raw.run("INSERT INTO PRAZO (RUSUARIO, RTIPO, RTAREFA, CRIADOEM, OBSERVACAO, DURACAO, TERMINO, INICIO, OID) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
            {text(user), field(periods, "RTIPO"), text(task), text(now()), field(periods, "OBSERVACAO"),
             field(periods, "DURACAO"), field(periods, "TERMINO"), field(periods, "INICIO"), text(newOid(raw, postgres))});
    const auto department = raw.run("SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = 1105 AND     RITEM = 5001", {});
    raw.run("INSERT INTO Responsabilidade (RITEM, RPAPEL, RRESPONSAVEL, OID) VALUES (?, ?, ?, ?)",
            {text(task), text("1105"), field(department, "RRESPONSAVEL"), text(newOid(raw, postgres))});
    const auto pieces = raw.run("SELECT * FROM PECAAUTORIZADA WHERE     RAUTORIZACAO = 5001", {});
    for (const Row& piece : pieces) {
        const std::vector<Row> one{piece};
        raw.run("INSERT INTO PECAAUTORIZADA (RTIPODEINSERCAO, RMEIO, RAUTORIZACAO, RPECA, RTIPODEMATERIAL, IDENTIFICADOR, "
                "DIMENSAO1, DIMENSAO2, OID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                {field(one, "RTIPODEINSERCAO"), field(one, "RMEIO"), text(task), field(one, "RPECA"),
                 field(one, "RTIPODEMATERIAL"), field(one, "IDENTIFICADOR"), field(one, "DIMENSAO1"),
                 field(one, "DIMENSAO2"), text(newOid(raw, postgres))});
    }
    const auto people = raw.run("SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = 1078 AND     RITEM = 5001", {});
    for (const Row& person : people) {
        const std::vector<Row> one{person};
        raw.run("INSERT INTO Responsabilidade (RITEM, RPAPEL, RRESPONSAVEL, OID) VALUES (?, ?, ?, ?)",
                {text(task), text("1078"), field(one, "RRESPONSAVEL"), text(newOid(raw, postgres))});
    }
}

// The texts of the statements that hold nothing that changes between calls, as the component sent them
// in one Login + Finalizar_Sessao_Uso (the login query carries the encoded password).
struct LoginTexts {
    std::string login, lookup;
};

// The data statements of one Login("ana", "ana123", "BENCH") + Finalizar_Sessao_Uso, as the statement
// trace shows them (the session statements, which both engines refuse, left out).
void rawLoginCycle(Raw& raw, bool postgres, const LoginTexts& texts) {
    const auto user = raw.run(texts.login, {});
    if (user.empty()) throw std::runtime_error("login found no user");
    const auto open = raw.run(texts.lookup, {});
    std::string usage = field(open, "OIDSESSAODEUSO").text;
    if (open.empty()) {
        usage = newOid(raw, postgres);
        raw.run("INSERT INTO sessaodeuso (TERMINO, INICIO, SITUACAO, OID) VALUES (?, ?, ?, ?)",
                {Cell{}, text(now()), text("1"), text(usage)});
    }
    const std::string app = newOid(raw, postgres);
    raw.run("INSERT INTO sessaoaplicativo (RSESSAODEUSO, rAplicativo, RUSUARIO, ESTACAO, EXECUTAVEL, INICIO, TERMINO, OID) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
            {text(usage), text("15339"), field(user, "CodigoUsuario"), text("BENCH"), text("OrvanWeb"), text(now()), Cell{},
             text(app)});
    const auto application = raw.run("SELECT * FROM sessaoaplicativo WHERE TERMINO IS NULL AND OID = " + app, {}, false);
    raw.run("UPDATE sessaoaplicativo SET TERMINO = ? WHERE OID = ? AND TERMINO IS NULL", {text(now()), text(app)});
    const std::string owner = field(application, "RSESSAODEUSO").text;
    const auto usageRow = raw.run("SELECT * FROM sessaodeuso WHERE oid = " + owner + " AND TERMINO IS NULL", {}, false);
    raw.run("UPDATE sessaodeuso SET TERMINO = ?, SITUACAO = ? WHERE OID = ? AND TERMINO IS NULL AND SITUACAO = ?",
            {text(now()), text("1"), text(owner), field(usageRow, "SITUACAO")});
}

// The login query and the look-up of an open session as the component sends them, taken from the
// statement trace of one call.
LoginTexts loginTexts(const std::string& cs) {
    struct Log {
        static void record(void* self, std::string_view sent, std::string_view ran) {
            auto* t = static_cast<LoginTexts*>(self);
            if (sent.starts_with("select a.ritem")) t->login = std::string(ran);
            if (sent.starts_with("SELECT SU.OID")) t->lookup = std::string(ran);
        }
    };
    LoginTexts texts;
    Host host(cs);
    orvan::com::ObjectContextScope scope(host.ctx);
    orvan::data::addStatementObserver(&Log::record, &texts);
    {
        auto g = orvan::com::make<orvan::session::Geral>();
        Variant args[] = {Variant("ana"), Variant("ana123"), Variant("BENCH")};
        Variant record = orvan::com::invoke(*g, "Login", orvan::com::kMethod, args);
        if (record.isArray()) {
            Variant end[] = {record.rawArray()[8]};
            orvan::com::invoke(*g, "Finalizar_Sessao_Uso", orvan::com::kMethod, end);
        }
    }
    orvan::data::removeStatementObserver(&Log::record, &texts);
    return texts;
}

// ---- the benchmarks -------------------------------------------------------------------------------

// The database the component's calls run on: a fresh demo one, or on SQLite with ORVAN_BENCH_SQLITE set
// the database at that connection string as it stands (a server's, so that calls made in-process and
// pages served over HTTP meet the same data).
Database callDatabase(bool postgres) {
    const char* given = std::getenv("ORVAN_BENCH_SQLITE");
    if (postgres || !given || !*given) return demoDatabase(postgres);
    Database db;
    db.cs = given;
    return db;
}

// Runs call (one business call on the page's host objects) under the benchmark's clock.
template <typename Call>
void component(benchmark::State& state, Call call) {
    const bool postgres = state.range(0) == 1;
    if (postgres && !pg()) return state.SkipWithError("ORVAN_TEST_PG is not set");
    const Database db = callDatabase(postgres);
    Host host(db.cs);
    orvan::com::ObjectContextScope scope(host.ctx);
    for (auto _ : state)
        if (!call()) return state.SkipWithError("the call failed");
    if (!host.response->body().empty()) state.SkipWithError("a method reported a failure");
    state.SetLabel(postgres ? "postgresql" : "sqlite");
}

// Runs body(raw, postgres) under the benchmark's clock on a raw connection to a fresh demo database;
// prepare(db) runs first, off the clock.
template <typename Prepare, typename Body>
void raw(benchmark::State& state, Prepare prepare, Body body) {
    const bool postgres = state.range(0) == 1;
    if (postgres && !pg()) return state.SkipWithError("ORVAN_TEST_PG is not set");
    const Database db = demoDatabase(postgres);
    try {
        const auto prepared = prepare(db);
        auto connection = openRaw(db);
        for (auto _ : state) body(*connection, postgres, prepared);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
    state.SetLabel(postgres ? "postgresql" : "sqlite");
}

void BM_CriarNovaTarefa(benchmark::State& state) {
    component(state, [] {
        auto p = orvan::com::make<orvan::agenda::Pauta>();
        Variant args[] = {Variant(std::int32_t{5001}), Variant(std::int32_t{3001})};
        return orvan::com::invoke(*p, "Criar_Nova_Tarefa", orvan::com::kMethod, args).isNumeric();
    });
}
BENCHMARK(BM_CriarNovaTarefa)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_CriarNovaTarefaRaw(benchmark::State& state) {
    raw(state, [](const Database&) { return 0; },
        [](Raw& r, bool postgres, int) { rawCriarNovaTarefa(r, postgres, "3001"); });
}
BENCHMARK(BM_CriarNovaTarefaRaw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_LoginCycle(benchmark::State& state) {
    component(state, [] {
        auto g = orvan::com::make<orvan::session::Geral>();
        Variant args[] = {Variant("ana"), Variant("ana123"), Variant("BENCH")};
        Variant record = orvan::com::invoke(*g, "Login", orvan::com::kMethod, args);
        if (!record.isArray()) return false;
        Variant end[] = {record.rawArray()[8]};
        orvan::com::invoke(*g, "Finalizar_Sessao_Uso", orvan::com::kMethod, end);
        return true;
    });
}
BENCHMARK(BM_LoginCycle)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_LoginCycleRaw(benchmark::State& state) {
    raw(state,
        [](const Database& db) {
            LoginTexts texts = loginTexts(db.cs);
            if (texts.login.empty() || texts.lookup.empty()) throw std::runtime_error("the trace showed no login");
            return texts;
        },
        [](Raw& r, bool postgres, const LoginTexts& texts) { rawLoginCycle(r, postgres, texts); });
}
BENCHMARK(BM_LoginCycleRaw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

// With --prepare ENGINE, makes a demo database and prints where it is (for the Python port).
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--prepare") {
        const Database db = demoDatabase(std::string(argv[2]) == "postgresql");
        std::printf("%s\n", db.schema.empty() ? db.file.c_str() : db.schema.c_str());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& f : madeFiles())
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(f + suffix);
    return 0;
}
