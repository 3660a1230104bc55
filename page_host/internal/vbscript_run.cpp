// A VBScript page run: one engine of the VBScript module per run, the host objects as its globals, the
// run's time budget checked by the engine as it goes, and the report of an error the page did not
// handle, located in the page's files.
#include <chrono>
#include <optional>
#include <string>

#include "com_server/class_registry.h"
#include "com_server/heap_ceiling.h"
#include "page_host/internal/request_objects.h"
#include "page_host/internal/script_engine.h"
#include "vbscript/engine.h"

namespace orvan::host::detail {
namespace {

// Thrown by the engine's checkpoint when the page has used up its time or its memory; nothing in the
// script can catch them.
struct TimeIsUp {};
struct MemoryIsUp {};

// The number a report shows: the language's and the components' numbers of the 16-bit kind are shown
// as the script host's HRESULT (13 is 800A000D), as for a JScript page; HRESULTs stay as they are.
std::int32_t reportedNumber(std::int32_t number) {
    if (number > 0 && number <= 0xFFFF)
        return static_cast<std::int32_t>(0x800A0000u | static_cast<std::uint32_t>(number));
    return number;
}

}  // namespace

ScriptEngine::Outcome runVBScript(const CompiledPage& page, ScriptClock& clock, const std::vector<HostObject>& objects,
                                  std::string_view procedure) {
    ScriptEngine::Outcome outcome;
    // The engine's values, and everything the page makes through the host's objects, come from this
    // thread's operator new: the run's memory ceiling is on that. An allocation past it fails (an
    // "Out of memory" error the script sees), and the next checkpoint ends the run.
    std::optional<com::HeapCeiling> ceiling;
    vbs::EngineHooks hooks;
    hooks.checkpoint = [&clock, &ceiling] {
        if (ceiling && ceiling->reached()) throw MemoryIsUp{};
        if (clock.expired()) throw TimeIsUp{};
    };
    hooks.createObject = [](std::string_view progId) { return com::ClassRegistry::instance().create(progId); };
    try {
        vbs::Engine engine(std::move(hooks));
        for (const HostObject& o : objects) engine.addGlobal(o.name, com::Variant(o.object));
        const auto outOfMemory = [&] {
            outcome.kind = PageOutcome::Failed;
            outcome.error = ScriptError{page.locate(0), kScriptOutOfMemory,
                                        "Out of memory: the page needed more than its memory budget (" +
                                            std::to_string(clock.memoryLimit / (1024 * 1024)) + " MiB)",
                                        {}};
        };
        try {
            clock.start = std::chrono::steady_clock::now();
            ceiling.emplace(clock.memoryLimit);
            engine.run(*page.vbscript);
            if (!procedure.empty()) engine.callProcedure(procedure);
            // The script went on after the failed allocation (On Error Resume Next) to its end: what
            // it made is not what it meant to make.
            if (ceiling->reached()) outOfMemory();
        } catch (const com::ResponseEnded&) {
            outcome.kind = PageOutcome::Ended;
            if (ceiling->reached()) outOfMemory();
        } catch (const MemoryIsUp&) {
            outOfMemory();
        } catch (const TimeIsUp&) {
            outcome.kind = PageOutcome::TimedOut;
            outcome.error = ScriptError{page.locate(0), kScriptTimedOut,
                                        "Script timed out: the page ran longer than Server.ScriptTimeout (" +
                                            std::to_string(clock.timeout.count()) + " seconds)",
                                        {}};
        } catch (const vbs::ScriptError& e) {
            outcome.kind = PageOutcome::Failed;
            outcome.error = ScriptError{page.locate(e.line()), reportedNumber(e.number()), e.description(), e.source()};
            if (ceiling->reached()) outOfMemory();
        }
        ceiling.reset();
    } catch (const com::ResponseEnded&) {
        // Response.End inside a Class_Terminate while the engine is released: the page had ended.
        outcome.kind = PageOutcome::Ended;
    }
    return outcome;
}

}  // namespace orvan::host::detail
