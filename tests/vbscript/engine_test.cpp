// The engine as the page host uses it: host objects as globals, several programs sharing one global
// scope (global.asa, then the page), procedures called by name, the checkpoint that can stop a run,
// and one compiled program run many times and on several threads.
#include <gtest/gtest.h>

#include <thread>

#include "com_server/dispatch.h"
#include "script_support.h"

namespace orvan::vbs::test {
namespace {

TEST(Engine, ProgramsRunInOneEngineShareTheGlobalScope) {
    auto out = com::make<Output>();
    Engine engine;
    engine.addGlobal("Out", com::Variant(out));
    engine.run(*compile("Dim counter\ncounter = 1\nSub Note(s)\n  Out.Write s & counter & \";\"\nEnd Sub"));
    engine.run(*compile("counter = counter + 1\nNote \"page \""));
    EXPECT_EQ(out->text, "page 2;");
}

TEST(Engine, CallsAProcedureByNameAndSaysWhenThereIsNone) {
    auto out = com::make<Output>();
    Engine engine;
    engine.addGlobal("Out", com::Variant(out));
    engine.run(*compile("Sub Application_OnStart()\n  Out.Write \"started\"\nEnd Sub"));
    EXPECT_TRUE(engine.hasProcedure("application_onstart"));
    EXPECT_FALSE(engine.hasProcedure("Session_OnStart"));
    EXPECT_TRUE(engine.callProcedure("Application_OnStart"));
    EXPECT_FALSE(engine.callProcedure("Session_OnStart"));
    EXPECT_EQ(out->text, "started");
}

TEST(Engine, AnErrorInACalledProcedureIsAScriptErrorWithItsLine) {
    Engine engine;
    engine.run(*compile("Sub Fail()\n  x = 1\n  Err.Raise 5\nEnd Sub"));
    try {
        engine.callProcedure("Fail");
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.number(), 5);
        EXPECT_EQ(e.line(), 3);
    }
}

struct Stop {};

TEST(Engine, TheCheckpointIsCalledInEndlessLoopsAndWhatItThrowsPassesThrough) {
    int calls = 0;
    EngineHooks hooks;
    hooks.checkpoint = [&] {
        if (++calls == 5) throw Stop{};
    };
    Engine engine(hooks);
    EXPECT_THROW(engine.run(*compile("On Error Resume Next\nDo\n  x = x + 1\nLoop")), Stop);
    EXPECT_EQ(calls, 5);
}

TEST(Engine, AnErrorTheCheckpointThrowsIsNotTrappedByTheScript) {
    EngineHooks hooks;
    hooks.checkpoint = [] { throw com::ComError(-1, "time is up"); };
    Engine engine(hooks);
    try {
        engine.run(*compile("On Error Resume Next\nDo\n  x = x + 1\nLoop"));
        FAIL();
    } catch (const ScriptError&) {
        FAIL() << "became a script error";
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.description(), "time is up");
    }
}

TEST(Engine, TheCheckpointIsCalledInRecursionWithoutLoops) {
    int calls = 0;
    EngineHooks hooks;
    hooks.checkpoint = [&] {
        if (++calls == 3) throw Stop{};
    };
    Engine engine(hooks);
    EXPECT_THROW(engine.run(*compile("Sub A(n)\n  If n > 0 Then A n - 1\nEnd Sub\nFor i = 1 To 100\n  A 1000\nNext")), Stop);
}

TEST(Engine, CreateObjectUsesTheHook) {
    auto made = com::make<Output>();
    std::string asked;
    EngineHooks hooks;
    hooks.createObject = [&](std::string_view progId) -> com::ComPtr<com::Object> {
        asked = std::string(progId);
        return made;
    };
    Engine engine(hooks);
    engine.run(*compile("Set o = CreateObject(\"Test.Output\")\no.Write \"via hook\""));
    EXPECT_EQ(asked, "Test.Output");
    EXPECT_EQ(made->text, "via hook");
}

TEST(Engine, AnUnknownProgIdIsAnError) {
    EXPECT_NE(runError("Set o = CreateObject(\"No.Such.Class\")").number, 0);
}

TEST(Engine, OneProgramRunsInManyEnginesAndThreads) {
    auto program = compile("Function Fib(n)\n  If n < 2 Then\n    Fib = n\n  Else\n    Fib = Fib(n - 1) + Fib(n - 2)\n"
                           "  End If\nEnd Function\nresult = Fib(15)");
    std::vector<std::thread> threads;
    std::vector<std::int32_t> results(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) {
                Engine engine;
                engine.run(*program);
                results[static_cast<std::size_t>(t)] = com::CLng(engine.global("result"));
            }
        });
    for (auto& th : threads) th.join();
    for (std::int32_t r : results) EXPECT_EQ(r, 610);
}

TEST(Engine, RecursionDeepEnoughToExhaustTheStackIsError28OnASmallThreadStack) {
    // A thread with a small stack: the engine measures the room it has rather than trusting a count.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024 + 512 * 1024);
    struct Result {
        std::int32_t number = -1;
    } result;
    pthread_t thread;
    auto body = [](void* p) -> void* {
        static_cast<Result*>(p)->number = runError("Function D(n)\n  D = D(n + 1)\nEnd Function\nx = D(0)").number;
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &result), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(result.number, 28);
}

TEST(Engine, GlobalsTheHostAddsAreReachableByAnyCase) {
    Engine engine;
    engine.addGlobal("Valor", com::Variant(std::int32_t{41}));
    engine.run(*compile("resposta = VALOR + 1"));
    EXPECT_EQ(com::CLng(engine.global("Resposta")), 42);
}

// A procedure compiled before the host added its globals finds them at every use of the name, not only
// at the first one (the second use once read an empty implicit local, "Object required").
TEST(Engine, EveryUseOfAnUndeclaredNameInAProcedureFindsTheHostsGlobal) {
    auto program = compile(
        "Function twice(v)\n"
        "    If v = 0 Then twice = Valor * 0 Else twice = Valor * v\n"
        "    twice = twice + Valor\n"
        "End Function\n"
        "Sub keep()\n"
        "    solto = 5\n"
        "    guardado = solto\n"
        "End Sub\n"
        "resposta = twice(2)\n"
        "keep\n");
    Engine engine;
    engine.addGlobal("Valor", com::Variant(std::int32_t{10}));
    engine.run(*program);
    EXPECT_EQ(com::CLng(engine.global("resposta")), 30);
    EXPECT_TRUE(engine.global("solto").isEmpty()) << "an undeclared name with no global stays local";
    EXPECT_TRUE(engine.global("guardado").isEmpty());
}

}  // namespace
}  // namespace orvan::vbs::test
