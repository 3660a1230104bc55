// The engine's public face over the compiler and the runtime.
#include "vbscript/engine.h"

#include <mutex>
#include <utility>

#include "vbscript/internal/compiler.h"
#include "vbscript/internal/errors.h"
#include "vbscript/internal/lexer.h"
#include "vbscript/internal/runtime.h"
#include "vbscript/library.h"

namespace orvan::vbs {

std::shared_ptr<const Program> compile(std::string_view source) {
    try {
        return detail::compileScript(source, nullptr);
    } catch (const std::bad_alloc&) {
        throw detail::compileError(1001, 0, 0);
    }
}

Engine::Engine(EngineHooks hooks) : rt_(std::make_shared<Runtime>(std::move(hooks))) {
    static std::once_flag registered;
    std::call_once(registered, registerScriptingClasses);
}

Engine::~Engine() { rt_->clearGlobals(); }

void Engine::addGlobal(std::string_view name, com::Variant value) {
    detail::GlobalEntry& e = rt_->define(detail::upperName(name), name);
    e.value = std::move(value);
    e.host = true;
}

namespace {

// Runs fn, turning an error the script left unhandled into a ScriptError at the line it happened.
template <typename F>
void scripted(Runtime& rt, F&& fn) {
    try {
        fn();
    } catch (const ScriptError&) {
        throw;
    } catch (const com::ComError& e) {
        com::ComError seen = detail::asScriptSees(e);
        if (seen.source().empty())
            seen = com::ComError(seen.number(), seen.description(), "Microsoft VBScript runtime error");
        throw ScriptError(seen, rt.line);
    } catch (const std::bad_alloc&) {
        throw ScriptError(detail::runtimeError(com::err::OutOfMemory), rt.line);
    } catch (const Runtime::StopRun&) {
        std::exception_ptr stop = std::exchange(rt.stopping, nullptr);
        std::rethrow_exception(stop);
    }
}

}  // namespace

void Engine::run(const Program& program) {
    std::shared_ptr<const Program> keep = program.shared_from_this();
    scripted(*rt_, [&] { rt_->runProgram(std::move(keep), nullptr); });
}

bool Engine::hasProcedure(std::string_view name) const {
    const detail::GlobalEntry* e = rt_->lookup(detail::upperName(name));
    return e && e->procedure;
}

bool Engine::callProcedure(std::string_view name, std::span<com::Variant> args) {
    const detail::GlobalEntry* e = rt_->lookup(detail::upperName(name));
    if (!e || !e->procedure) return false;
    const detail::Procedure& p = *e->procedure;
    scripted(*rt_, [&] { rt_->call(p, nullptr, nullptr, nullptr, args); });
    return true;
}

com::Variant Engine::global(std::string_view name) const {
    const detail::GlobalEntry* e = rt_->lookup(detail::upperName(name));
    return e ? e->value : com::Variant();
}

}  // namespace orvan::vbs
