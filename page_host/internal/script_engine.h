// The script engine of one page run: a Duktape heap, used by the thread that created it (and kept by
// that thread for its next run), holding the page's globals (the intrinsic objects, ByRef,
// ActiveXObject, CollectGarbage) and the bridge through which script reaches automation objects
// (bridge.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com_server/object.h"
#include "page_host/page_compiler.h"
#include "page_host/page_run.h"
#include "page_host/run_budget.h"

namespace orvan::host::detail {

using ScriptClock = RunBudget;
struct HeapState;

class ScriptEngine {
public:
    // Takes the heap this thread kept from its last run, or makes one. clock: the run's time and
    // memory budget, read while the script runs and charged with every allocation the run makes in
    // the heap; it must outlive the engine.
    explicit ScriptEngine(ScriptClock& clock);
    // Ends the run: the globals the run made are deleted, the ones it replaced put back, and what the
    // script held is released. The heap is then kept for the thread's next run, unless the run was
    // stopped (time, memory, a fatal error) or changed what it cannot put back (a built-in object, a
    // global it cannot delete): such a heap is destroyed.
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Makes object a global of the script under name.
    void addGlobal(const std::string& name, const com::ComPtr<com::Object>& object);

    struct Outcome {
        PageOutcome kind = PageOutcome::Completed;
        std::optional<ScriptError> error;
    };
    // Compiles and runs the page's script once. Errors come back located in the page's files.
    Outcome run(const CompiledPage& page);

    // The automation objects the script currently holds a reference to (each counted once).
    std::size_t heldObjects() const;

private:
    std::unique_ptr<HeapState> state_;
};

// How many JScript heaps this process has made (each thread keeps one between its runs).
std::uint64_t scriptHeapsMade();

// The bytes held by the heap this thread keeps between its runs (0 when it keeps none).
std::size_t spareHeapBytes();

// A host object of a script run: a global of the script, and an object of the run's object context.
struct HostObject {
    const char* name;
    com::ComPtr<com::Object> object;
};

// Runs a VBScript page (compiled with its vbscript program) once in an engine of its own with objects
// as its globals, then, when procedure is given and the script defines it, calls that procedure.
// The object context is the caller's.
ScriptEngine::Outcome runVBScript(const CompiledPage& page, ScriptClock& clock, const std::vector<HostObject>& objects,
                                  std::string_view procedure);

// Runs script once in an engine of its own (JScript or VBScript, as the script is written), with
// objects, in their order, as its globals and as the object context, then, when procedure is given,
// calls the script's procedure (or function) of that name if it defines one; then releases the
// Application locks it left held. Gives the run's outcome and error; an exception out of the engine
// fails the run with "WHAT could not be run: REASON", what being "the page" or the handler's name.
PageResult runScript(const CompiledPage& script, ScriptClock& clock, const std::vector<HostObject>& objects,
                     ApplicationObject& application, std::string_view what, std::string_view procedure = {});

}  // namespace orvan::host::detail
