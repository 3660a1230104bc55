// The script engine of a page run: the heap's life, the run of the compiled page, the execution check
// that stops a script (time up, or Response.End), and the report of an error the page did not catch.
#include "page_host/internal/script_engine.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <regex>

#include "com_server/heap_ceiling.h"
#include "com_server/host.h"
#include "page_host/internal/bridge.h"
#include "page_host/internal/text_codec.h"

extern "C" int orvan_host_exec_timeout_check(void* udata) {
    using orvan::host::BudgetStop;
    using orvan::host::detail::StopReason;
    auto* state = static_cast<orvan::host::detail::HeapState*>(udata);
    if (!state || !state->running) return 0;
    if (state->stop != StopReason::None) return 1;
    if (state->ceiling && state->ceiling->reached()) {
        state->stop = StopReason::OutOfMemory;
        return 1;
    }
    switch (state->clock->exhausted()) {
        case BudgetStop::None:
            return 0;
        case BudgetStop::TimeUp:
            state->stop = StopReason::TimedOut;
            return 1;
        case BudgetStop::OutOfMemory:
            state->stop = StopReason::OutOfMemory;
            return 1;
    }
    return 0;
}

namespace orvan::host::detail {
namespace {

// JScript's numbers for the errors of the script itself (0x800A0000 | code).
std::int32_t scriptErrorNumber(int code) {
    return static_cast<std::int32_t>(0x800A0000u | static_cast<unsigned>(code));
}
constexpr int kUncaughtException = 5022;  // a thrown value that is not an Error

// What the script threw, read off the value on the top of the stack.
struct Thrown {
    bool isError = false;
    bool isStop = false;
    std::string name;
    std::string description;
    std::string source;
    std::optional<std::int32_t> number;
    int line = 0;
};

duk_ret_t readThrown(duk_context* ctx, void* udata) {
    auto& out = *static_cast<Thrown*>(udata);
    const duk_idx_t v = duk_normalize_index(ctx, -1);
    out.isError = duk_is_error(ctx, v) != 0;
    if (!duk_is_object(ctx, v)) {
        out.description = readText(ctx, v);
        return 0;
    }
    out.isStop = duk_get_prop_string(ctx, v, kHiddenStop) != 0;
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, v, "name") && duk_is_string(ctx, -1)) out.name = readText(ctx, -1);
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, v, "description") && duk_is_string(ctx, -1)) {
        out.description = readText(ctx, -1);
    } else {
        duk_pop(ctx);
        duk_get_prop_string(ctx, v, "message");
        out.description = duk_is_undefined(ctx, -1) ? readText(ctx, v) : readText(ctx, -1);
    }
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, v, "number") && duk_is_number(ctx, -1)) {
        const double n = duk_get_number(ctx, -1);
        out.number = static_cast<std::int32_t>(static_cast<std::int64_t>(n));
    }
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, v, "source") && duk_is_string(ctx, -1)) out.source = readText(ctx, -1);
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, v, kHiddenLine)) {
        out.line = duk_get_int(ctx, -1);
    } else {
        duk_pop(ctx);
        duk_get_prop_string(ctx, v, "lineNumber");
        out.line = duk_get_int(ctx, -1);
    }
    duk_pop(ctx);
    return 0;
}

// The engine's messages end with the script line ("... (line 12)"), which is not the page's line.
std::string withoutScriptLine(std::string text) {
    static const std::regex suffix(R"( \(line \d+\)$)");
    return std::regex_replace(text, suffix, "");
}

// The heap's allocator: every block carries its size in front of it, so that the run's budget is
// charged and released exactly. While the script runs, an allocation fails once the budget is spent
// (memory or time): native work inside the engine (joining arrays, building strings) allocates as it
// goes, so it stops there even though the engine checks the clock only between instructions. The
// failure surfaces as a RangeError, and the execution check then keeps answering "stop".
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

// Once a run is stopped, the engine still needs small blocks to raise and unwind the stop (error
// objects, call frames): those are granted, within a small overdraft of the memory ceiling; large
// ones (the next piece of a string being built, an array's storage) are refused, so that the native
// call in progress ends at its next allocation.
constexpr std::size_t kUnwindBlock = 64 * 1024;
constexpr std::size_t kUnwindOverdraft = 4 * 1024 * 1024;

bool mayAllocate(HeapState& state, std::size_t bytes) {
    if (!state.running) return state.clock->charge(bytes);
    if (state.stop == StopReason::None) {
        const BudgetStop why = state.clock->exhausted();
        if (why == BudgetStop::TimeUp) state.stop = StopReason::TimedOut;
        if (why == BudgetStop::OutOfMemory) state.stop = StopReason::OutOfMemory;
        // The allocation that finds the time up fails: the native call that asked for it ends here.
        if (why != BudgetStop::None) return false;
        if (state.clock->charge(bytes)) return true;
        state.stop = StopReason::OutOfMemory;
        return false;
    }
    if (state.stop == StopReason::Ended) return state.clock->charge(bytes);
    return bytes <= kUnwindBlock && state.clock->chargeUnwinding(bytes, kUnwindOverdraft);
}

void* heapAlloc(void* udata, duk_size_t size) {
    auto& state = *static_cast<HeapState*>(udata);
    if (size == 0) return nullptr;
    if (!mayAllocate(state, size)) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(size + kBlockHeader));
    if (!block) {
        state.clock->release(size);
        return nullptr;
    }
    std::memcpy(block, &size, sizeof size);
    state.liveBytes += size;
    return block + kBlockHeader;
}

void heapFree(void* udata, void* ptr) {
    if (!ptr) return;
    auto& state = *static_cast<HeapState*>(udata);
    auto* block = static_cast<unsigned char*>(ptr) - kBlockHeader;
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    state.clock->release(size);
    state.liveBytes -= size;
    std::free(block);
}

void* heapRealloc(void* udata, void* ptr, duk_size_t size) {
    if (!ptr) return heapAlloc(udata, size);
    if (size == 0) {
        heapFree(udata, ptr);
        return nullptr;
    }
    auto& state = *static_cast<HeapState*>(udata);
    auto* block = static_cast<unsigned char*>(ptr) - kBlockHeader;
    std::size_t old;
    std::memcpy(&old, block, sizeof old);
    if (size > old && !mayAllocate(state, size - old)) return nullptr;
    auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kBlockHeader));
    if (!grown) {
        if (size > old) state.clock->release(size - old);
        return nullptr;
    }
    if (size < old) state.clock->release(old - size);
    state.liveBytes += size;
    state.liveBytes -= old;
    std::memcpy(grown, &size, sizeof size);
    return grown + kBlockHeader;
}

duk_ret_t installInSafeCall(duk_context* ctx, void*) {
    installBridge(ctx);
    return 0;
}

struct GlobalArgs {
    const std::string* name;
    com::Object* object;
};

duk_ret_t addGlobalInSafeCall(duk_context* ctx, void* udata) {
    auto& args = *static_cast<GlobalArgs*>(udata);
    pushHostObject(ctx, *args.name, args.object);
    duk_put_global_string(ctx, args.name->c_str());
    return 0;
}

// The heap this thread keeps between its runs: made by its first JScript run, handed to each run in
// turn, and given up (destroyed) when a run leaves it unfit to serve another.
thread_local std::unique_ptr<HeapState> spareHeap;
std::atomic<std::uint64_t> heapsMade{0};

// How much a heap may grow past its size after the last collection before the end of a run collects
// its garbage again. Most garbage goes as soon as nothing refers to it; what a collection is needed
// for is cycles (a function and its prototype, a proxy and its target), which pages make few of.
constexpr std::size_t kGrowthBeforeCollection = 128 * 1024;

// Compiled pages one heap keeps (the oldest goes first).
constexpr std::size_t kCompiledPagesKept = 64;

std::unique_ptr<HeapState> makeHeap() {
    auto state = std::make_unique<HeapState>();
    state->ctx = duk_create_heap(heapAlloc, heapRealloc, heapFree, state.get(), nullptr);
    if (!state->ctx) throw std::bad_alloc();
    if (duk_safe_call(state->ctx, installInSafeCall, nullptr, 0, 1) != DUK_EXEC_SUCCESS) {
        const std::string why = duk_safe_to_string(state->ctx, -1);
        throw std::runtime_error("the script engine cannot be set up: " + why);
    }
    duk_pop(state->ctx);
    state->collectAbove = state->liveBytes + kGrowthBeforeCollection;
    ++heapsMade;
    return state;
}

// The stash key of a compiled page.
std::string compiledKey(std::uint64_t id) {
    return "page:" + std::to_string(id);
}

duk_ret_t forgetCompiled(duk_context* ctx, void* udata) {
    duk_push_heap_stash(ctx);
    duk_del_prop_string(ctx, -1, static_cast<const std::string*>(udata)->c_str());
    return 0;
}

}  // namespace

HeapState::~HeapState() {
    if (!ctx) return;
    running = false;
    stop = StopReason::None;
    // Destroying the heap runs the finalizers of every proxy target still alive, releasing the objects;
    // whatever a finalizer could not reach is released with the map.
    duk_destroy_heap(ctx);
    ctx = nullptr;
    objects.clear();
    keys.clear();
}

std::uint64_t scriptHeapsMade() {
    return heapsMade.load();
}

std::size_t spareHeapBytes() {
    return spareHeap ? spareHeap->liveBytes : 0;
}

ScriptEngine::ScriptEngine(ScriptClock& clock) : state_(spareHeap ? std::move(spareHeap) : makeHeap()) {
    state_->clock = &clock;
    state_->stop = StopReason::None;
    state_->usable = true;
}

ScriptEngine::~ScriptEngine() {
    HeapState& state = *state_;
    state.running = false;
    const bool stoppedCleanly = state.stop == StopReason::None || state.stop == StopReason::Ended;
    state.stop = StopReason::None;
    state.keys.clear();
    // From here on what the heap does is not the run's: the run's budget may be spent.
    state.clock = &state.idle;
    if (state.usable && stoppedCleanly && resetToBaseline(state.ctx)) {
        // Nothing the script can reach holds an object of the run any more: the globals are gone
        // and the built-in objects are as the baseline left them. The objects are released now,
        // while the run's object context is still in place. Proxies not freed on unlinking (held by
        // the run's own cyclic garbage) are the collector's, and their finalizers find no entry.
        unlinkProxies(state.ctx);
        clearHostProxies(state.ctx);
        auto held = std::move(state.objects);
        state.objects.clear();
        held.clear();
        // The engine would collect cyclic garbage only once it is many times the heap's size; it is
        // collected here instead once the heap has grown by a little, so that the heap stays near its
        // baseline's size.
        if (state.liveBytes > state.collectAbove) {
            duk_gc(state.ctx, 0);
            state.collectAbove = state.liveBytes + kGrowthBeforeCollection;
        }
        if (!spareHeap) spareHeap = std::move(state_);
        return;
    }
    // else state_ destroys the heap.
}

void ScriptEngine::addGlobal(const std::string& name, const com::ComPtr<com::Object>& object) {
    GlobalArgs args{&name, object.get()};
    if (duk_safe_call(state_->ctx, addGlobalInSafeCall, &args, 0, 1) != DUK_EXEC_SUCCESS) {
        const std::string why = duk_safe_to_string(state_->ctx, -1);
        duk_pop(state_->ctx);
        throw std::runtime_error("cannot make " + name + " a global of the script: " + why);
    }
    duk_pop(state_->ctx);
}

std::size_t ScriptEngine::heldObjects() const {
    return state_->objects.size();
}

ScriptEngine::Outcome ScriptEngine::run(const CompiledPage& page) {
    duk_context* ctx = state_->ctx;
    HeapState& state = *state_;
    Outcome outcome;

    state.lastThrowLine = 0;
    state.stopLine = 0;
    bool compiled = false;
    duk_int_t rc;
    try {
        // The page's code is compiled as eval code, so that the globals it declares can be deleted
        // after the run; the compiled form is kept in the heap for the next run of the same page.
        const std::string key = compiledKey(page.id);
        duk_push_heap_stash(ctx);
        if (page.id != 0 && duk_get_prop_string(ctx, -1, key.c_str())) {
            duk_remove(ctx, -2);
            rc = 0;
        } else {
            if (page.id != 0) duk_pop(ctx);  // the undefined the look-up found
            const std::string source = utf8ToCesu8(page.script);
            pushText(ctx, page.file);
            rc = duk_pcompile_lstring_filename(ctx, DUK_COMPILE_EVAL, source.data(), source.size());
            if (rc == 0 && page.id != 0) {
                duk_dup(ctx, -1);
                duk_put_prop_string(ctx, -3, key.c_str());
                state.compiledPages.push_back(page.id);
                if (state.compiledPages.size() > kCompiledPagesKept) {
                    std::string oldest = compiledKey(state.compiledPages.front());
                    state.compiledPages.pop_front();
                    duk_safe_call(ctx, forgetCompiled, &oldest, 0, 1);
                    duk_pop(ctx);
                }
            }
            duk_remove(ctx, -2);  // the stash
        }
        compiled = rc == 0;
        if (compiled) {
            state.clock->start = std::chrono::steady_clock::now();
            // The engine's own heap is charged through its allocator; what the page makes through the
            // host's objects (the response it writes, the values it asks for) comes from this thread's
            // operator new, which gets the same ceiling.
            com::HeapCeiling ceiling(state.clock->memoryLimit);
            state.ceiling = &ceiling;
            state.running = true;
            duk_push_global_object(ctx);
            rc = duk_pcall_method(ctx, 0);
            state.running = false;
            state.ceiling = nullptr;
            if (ceiling.reached() && state.stop != StopReason::TimedOut) state.stop = StopReason::OutOfMemory;
        }
    } catch (const std::exception& e) {
        // The engine gave up (a fatal error); its heap is only fit to be destroyed.
        state.running = false;
        state.usable = false;
        outcome.kind = PageOutcome::Failed;
        outcome.error = ScriptError{page.locate(0),
                                    com::hr::Fail,
                                    std::string("the script engine failed: ") + e.what(),
                                    {}};
        return outcome;
    }

    if (state.stop == StopReason::Ended) {
        outcome.kind = PageOutcome::Ended;
        duk_pop(ctx);
        return outcome;
    }
    if (rc == 0 && state.stop != StopReason::OutOfMemory) {
        duk_pop(ctx);
        return outcome;
    }

    Thrown thrown;
    if (duk_safe_call(ctx, readThrown, &thrown, 1, 1) != DUK_EXEC_SUCCESS)
        thrown.description = "(unreadable error)";
    duk_pop(ctx);
    const int line = thrown.line > 0 ? thrown.line : (thrown.isError ? 0 : state.lastThrowLine);

    ScriptError error;
    error.where = page.locate(line);
    if (state.stop == StopReason::TimedOut) {
        outcome.kind = PageOutcome::TimedOut;
        if (state.stopLine > 0) error.where = page.locate(state.stopLine);
        error.number = kScriptTimedOut;
        error.description = "Script timed out: the page ran longer than Server.ScriptTimeout (" +
                            std::to_string(state.clock->timeout.count()) + " seconds)";
    } else if (state.stop == StopReason::OutOfMemory) {
        outcome.kind = PageOutcome::Failed;
        if (state.stopLine > 0) error.where = page.locate(state.stopLine);
        error.number = kScriptOutOfMemory;
        error.description = "Out of memory: the page needed more than its memory budget (" +
                            std::to_string(state.clock->memoryLimit / (1024 * 1024)) + " MiB)";
    } else {
        outcome.kind = PageOutcome::Failed;
        error.description = withoutScriptLine(thrown.description);
        error.source = thrown.source;
        if (!compiled) {
            error.number = kPageNotCompiled;
            error.description = "Syntax error: " + error.description;
        } else if (thrown.number && *thrown.number != 0) {
            error.number = *thrown.number;
            // An engine error (TypeError, ...) reads better with its kind in front.
            if (thrown.isError && !thrown.name.empty() && thrown.name != "Error" && thrown.source.empty())
                error.description = thrown.name + ": " + error.description;
        } else {
            error.number = scriptErrorNumber(kUncaughtException);
        }
    }
    outcome.error = std::move(error);
    return outcome;
}

PageResult runScript(const CompiledPage& script, ScriptClock& clock, const std::vector<HostObject>& objects,
                     ApplicationObject& application, std::string_view what, std::string_view procedure) {
    PageResult result;
    com::SimpleObjectContext context;
    for (const HostObject& o : objects) context.set(o.name, com::Variant(o.object));
    com::ObjectContextScope scope(context);
    try {
        // The engine lives inside the scope: releasing the script's objects runs component code that
        // may still reach the host objects.
        ScriptEngine::Outcome outcome;
        if (script.language == ScriptLanguage::VBScript) {
            outcome = runVBScript(script, clock, objects, procedure);
        } else {
            ScriptEngine engine(clock);
            for (const HostObject& o : objects) engine.addGlobal(o.name, o.object);
            if (procedure.empty()) {
                outcome = engine.run(script);
            } else {
                // The handler is called on a line of its own after the script's code, which defines it;
                // errors inside it are located by the handler's own lines.
                CompiledPage withCall = script;
                withCall.id = 0;
                const std::string name(procedure);
                withCall.script += "\n;if (typeof " + name + " === \"function\") " + name + "();\n";
                withCall.lineOrigins.emplace_back(0, static_cast<int>(withCall.lineOrigins.size()));
                outcome = engine.run(withCall);
            }
        }
        result.outcome = outcome.kind;
        result.error = std::move(outcome.error);
    } catch (const std::exception& e) {
        result.outcome = PageOutcome::Failed;
        result.error = ScriptError{script.locate(0),
                                   com::hr::Fail,
                                   std::string(what) + " could not be run: " + e.what(),
                                   {}};
    }
    application.releaseLocks();
    return result;
}

}  // namespace orvan::host::detail
