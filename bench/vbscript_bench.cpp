// The VBScript engine beside the JScript engine (Duktape) doing the same work: string building in a
// loop, a numeric loop, procedure calls, a class with properties, a dictionary (Scripting.Dictionary
// beside a JScript object used as a map), a page walking 1,000 rows of Comum.Executar's recordset
// (both pages run in-process through the page host); and the compile of a 2,000-line script.
// Each BM_VBScript_<Case> has its BM_JScript_<Case>; both compile once, outside the timed loop.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "com_server/class_registry.h"
#include "com_server/event_log.h"
#include "data_access/comum.h"
#include "data_access/providers/provider.h"
#include "duktape.h"
#include "page_host/page_run.h"
#include "schema/schema.h"
#include "vbscript/engine.h"

// Duktape's build calls the page host's execution check, which the host library keeps to itself (its
// symbol map exports only the project's namespace). The heaps made here carry no run budget, so the
// check the benchmark supplies never stops a script, as the host's does for a heap without state.
extern "C" int orvan_host_exec_timeout_check(void*) { return 0; }

namespace {

struct Work {
    const char* vbscript;
    const char* jscript;  // a function body: `function () { ... }`
};

constexpr Work kStrings{
    "s = \"\"\nFor i = 1 To 10000\n  s = s & \"x\" & i\nNext\nn = Len(s)\n",
    "(function () { var s = ''; for (var i = 1; i <= 10000; i++) { s = s + 'x' + i; } return s.length; })"};

constexpr Work kNumbers{
    "t = 0\nFor i = 1 To 200000\n  t = t + (i * 2) Mod 7\nNext\n",
    "(function () { var t = 0; for (var i = 1; i <= 200000; i++) { t = t + (i * 2) % 7; } return t; })"};

constexpr Work kCalls{
    "Function Add(a, b)\n  Add = a + b\nEnd Function\nt = 0\nFor i = 1 To 100000\n  t = Add(t, i)\nNext\n",
    "(function () { function add(a, b) { return a + b; } var t = 0; for (var i = 1; i <= 100000; i++) { t = add(t, i); } "
    "return t; })"};

constexpr Work kClass{
    "Class Counter\n  Private mValue\n  Public Property Get Value()\n    Value = mValue\n  End Property\n"
    "  Public Property Let Value(v)\n    mValue = v\n  End Property\nEnd Class\n"
    "Set c = New Counter\nc.Value = 0\nFor i = 1 To 100000\n  c.Value = c.Value + 1\nNext\n",
    "(function () { function Counter() { this._v = 0; }\n"
    "Object.defineProperty(Counter.prototype, 'value', { get: function () { return this._v; }, set: function (v) { this._v = v; } });\n"
    "var c = new Counter(); c.value = 0; for (var i = 1; i <= 100000; i++) { c.value = c.value + 1; } return c.value; })"};

constexpr Work kDictionary{
    "Set d = CreateObject(\"Scripting.Dictionary\")\nFor i = 1 To 20000\n  d(\"k\" & i) = i\nNext\n"
    "t = 0\nFor i = 1 To 20000\n  t = t + d(\"k\" & i)\nNext\n",
    "(function () { var d = {}; for (var i = 1; i <= 20000; i++) { d['k' + i] = i; } var t = 0; "
    "for (var i = 1; i <= 20000; i++) { t = t + d['k' + i]; } return t; })"};

void runVBScript(benchmark::State& state, const Work& work) {
    auto program = orvan::vbs::compile(work.vbscript);
    for (auto _ : state) {
        orvan::vbs::Engine engine;
        engine.run(*program);
    }
}

void runJScript(benchmark::State& state, const Work& work) {
    duk_context* ctx = duk_create_heap_default();
    duk_push_string(ctx, work.jscript);
    duk_push_string(ctx, "bench");
    duk_compile(ctx, DUK_COMPILE_EVAL);
    duk_call(ctx, 0);  // the eval gives the function
    for (auto _ : state) {
        duk_dup(ctx, -1);
        duk_call(ctx, 0);
        duk_pop(ctx);
    }
    duk_destroy_heap(ctx);
}

void BM_VBScript_StringBuilding(benchmark::State& s) { runVBScript(s, kStrings); }
void BM_JScript_StringBuilding(benchmark::State& s) { runJScript(s, kStrings); }
void BM_VBScript_NumericLoop(benchmark::State& s) { runVBScript(s, kNumbers); }
void BM_JScript_NumericLoop(benchmark::State& s) { runJScript(s, kNumbers); }
void BM_VBScript_ProcedureCalls(benchmark::State& s) { runVBScript(s, kCalls); }
void BM_JScript_ProcedureCalls(benchmark::State& s) { runJScript(s, kCalls); }
void BM_VBScript_ClassProperties(benchmark::State& s) { runVBScript(s, kClass); }
void BM_JScript_ClassProperties(benchmark::State& s) { runJScript(s, kClass); }
void BM_VBScript_Dictionary(benchmark::State& s) { runVBScript(s, kDictionary); }
void BM_JScript_Dictionary(benchmark::State& s) { runJScript(s, kDictionary); }

BENCHMARK(BM_VBScript_StringBuilding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JScript_StringBuilding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VBScript_NumericLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JScript_NumericLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VBScript_ProcedureCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JScript_ProcedureCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VBScript_ClassProperties)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JScript_ClassProperties)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VBScript_Dictionary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JScript_Dictionary)->Unit(benchmark::kMillisecond);

// A site of two pages, one per language, that create a Comum, run one SELECT of 1,000 rows with
// Executar and append every row's NOME to a text; the database is a SQLite file with the reference
// schema and 1,000 employees.
struct RowWalkSite {
    std::filesystem::path root;
    orvan::com::ComPtr<orvan::host::ApplicationObject> application;
    orvan::host::CompiledPage vbscript, jscript;
};

const RowWalkSite& rowWalkSite() {
    static const RowWalkSite site = [] {
        namespace fs = std::filesystem;
        RowWalkSite s;
        s.root = fs::temp_directory_path() / ("orvan-rowwalk-" + std::to_string(::getpid()));
        fs::remove_all(s.root);
        fs::create_directories(s.root);
        const std::string cs = "Provider=SQLite;Data Source=" + (s.root / "agenda.db").string();
        {
            auto db = orvan::data::openSession(orvan::data::ConnectionString::parse(cs), 15);
            orvan::schema::createSchema(*db);
            db->execute(
                "INSERT INTO funcionario (OID, NOME) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                "FROM n WHERE i < 1000) SELECT i, 'Nome ' || i FROM n",
                {}, 0);
        }
        std::ofstream(s.root / "walk_vbs.asp")
            << "<%@ Language=VBScript %><%\n"
               "Dim c, s, r\n"
               "Set c = Server.CreateObject(\"Orvan_Geral.Comum\")\n"
               "r = c.Executar(\"SELECT NOME FROM funcionario ORDER BY OID\", 0, 1, 2, 0)\n"
               "s = \"\"\n"
               "Do While Not c.rs.EOF\n"
               "  s = s & c.rs(\"NOME\")\n"
               "  c.rs.MoveNext\n"
               "Loop\n"
               "Response.Write r & \":\" & Len(s)\n%>";
        std::ofstream(s.root / "walk_js.asp")
            << "<%@ Language=JScript %><%\n"
               "var c = Server.CreateObject(\"Orvan_Geral.Comum\");\n"
               "var r = c.Executar(\"SELECT NOME FROM funcionario ORDER BY OID\", 0, 1, 2, 0);\n"
               "var s = \"\";\n"
               "while (!c.rs.EOF) {\n"
               "  s = s + c.rs(\"NOME\");\n"
               "  c.rs.MoveNext();\n"
               "}\n"
               "Response.Write(r + \":\" + s.length);\n%>";
        orvan::com::ClassRegistry::instance().addBuiltin(orvan::data::Comum::descriptor());
        orvan::com::setEventLog(std::make_shared<orvan::com::MemoryEventLog>());
        s.application = orvan::com::make<orvan::host::ApplicationObject>();
        s.application->SetValue("dataconn_ConnectionString", orvan::com::Variant(cs));
        s.application->SetValue("dataconn_ConnectionTimeout", orvan::com::Variant(std::int32_t{15}));
        s.application->SetValue("dataconn_CommandTimeout", orvan::com::Variant(std::int32_t{30}));
        s.vbscript = orvan::host::compilePage(s.root, s.root / "walk_vbs.asp");
        s.jscript = orvan::host::compilePage(s.root, s.root / "walk_js.asp");
        return s;
    }();
    // The site's folder goes when the program ends; one left behind in the temporary directory is harmless.
    static const struct RemoveAtExit {
        std::filesystem::path root;
        ~RemoveAtExit() {
            std::error_code ec;
            std::filesystem::remove_all(root, ec);
        }
    } removeAtExit{site.root};
    return site;
}

// "0:7893": Executar's success and the length of the 1,000 names ("Nome 1" ... "Nome 1000").
void runRowWalk(benchmark::State& state, bool vbscript) {
    const RowWalkSite& site = rowWalkSite();
    orvan::host::PageRun run;
    run.siteRoot = site.root;
    run.request.path = vbscript ? "/walk_vbs.asp" : "/walk_js.asp";
    run.application = site.application;
    const orvan::host::CompiledPage& page = vbscript ? site.vbscript : site.jscript;
    for (auto _ : state) {
        const orvan::host::PageResult result = orvan::host::runPage(run, page);
        if (result.outcome != orvan::host::PageOutcome::Completed || result.response.body != "0:7893")
            return state.SkipWithError(("the page failed: " + result.response.body +
                                        (result.error ? " " + result.error->description : std::string()))
                                           .c_str());
    }
}

void BM_VBScript_ComumRowWalk(benchmark::State& s) { runRowWalk(s, true); }
void BM_JScript_ComumRowWalk(benchmark::State& s) { runRowWalk(s, false); }
BENCHMARK(BM_VBScript_ComumRowWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JScript_ComumRowWalk)->Unit(benchmark::kMillisecond);

// A page-like script of 2,000 lines: declarations, procedures, loops, conditions, calls.
std::string longScript() {
    std::string s = "Option Explicit\nDim total, names(10), i\n";
    int n = 0;
    while (std::count(s.begin(), s.end(), '\n') < 2000) {
        const std::string k = std::to_string(n++);
        s += "Function Calc" + k + "(a, ByVal b)\n"
             "  Dim x, y\n"
             "  x = a * 2 + b \\ 3 - (a Mod 5)\n"
             "  If x > 10 And Not IsEmpty(b) Then\n"
             "    y = \"big \" & x & \" of \" & CStr(b)\n"
             "  ElseIf x < 0 Then\n"
             "    y = \"negative\"\n"
             "  Else\n"
             "    y = Len(\"small\")\n"
             "  End If\n"
             "  For i = 1 To 3\n"
             "    total = total + i\n"
             "  Next\n"
             "  Select Case a\n"
             "    Case 1, 2: y = y & \"!\"\n"
             "    Case Else: y = y & \"?\"\n"
             "  End Select\n"
             "  Calc" + k + " = y\n"
             "End Function\n"
             "names(" + std::to_string(n % 10) + ") = Calc" + k + "(" + k + ", \"v" + k + "\")\n";
    }
    return s;
}

void BM_VBScript_Compile2000Lines(benchmark::State& state) {
    const std::string source = longScript();
    for (auto _ : state) benchmark::DoNotOptimize(orvan::vbs::compile(source));
    state.counters["lines"] = static_cast<double>(std::count(source.begin(), source.end(), '\n'));
}
BENCHMARK(BM_VBScript_Compile2000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
