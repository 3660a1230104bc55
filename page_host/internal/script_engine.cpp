// The script engine of a page run: the heap's life, the run of the compiled page, the execution check
// that stops a script (time up, or Response.End), and the report of an error the page did not catch.
#include "page_host/internal/script_engine.h"

#include <regex>

#include "com_server/host.h"
#include "page_host/internal/bridge.h"
#include "page_host/internal/text_codec.h"

extern "C" int orvan_host_exec_timeout_check(void* udata) {
    auto* state = static_cast<orvan::host::detail::HeapState*>(udata);
    if (!state || !state->running) return 0;
    if (state->stop != orvan::host::detail::StopReason::None) return 1;
    if (state->clock.expired()) {
        state->stop = orvan::host::detail::StopReason::TimedOut;
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
    pushObject(ctx, args.object);
    duk_put_global_string(ctx, args.name->c_str());
    return 0;
}

}  // namespace

ScriptEngine::ScriptEngine(ScriptClock& clock) : state_(std::make_unique<HeapState>(clock)) {
    state_->ctx = duk_create_heap(nullptr, nullptr, nullptr, state_.get(), nullptr);
    if (!state_->ctx) throw std::bad_alloc();
    if (duk_safe_call(state_->ctx, installInSafeCall, nullptr, 0, 1) != DUK_EXEC_SUCCESS) {
        const std::string why = duk_safe_to_string(state_->ctx, -1);
        duk_destroy_heap(state_->ctx);
        throw std::runtime_error("the script engine cannot be set up: " + why);
    }
    duk_pop(state_->ctx);
}

ScriptEngine::~ScriptEngine() {
    state_->running = false;
    state_->stop = StopReason::None;
    // Destroying the heap runs the finalizers of every proxy target still alive, releasing the objects;
    // whatever a finalizer could not reach is released with the map.
    duk_destroy_heap(state_->ctx);
    state_->ctx = nullptr;
    state_->objects.clear();
    state_->keys.clear();
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

    const std::string source = utf8ToCesu8(page.script);
    pushText(ctx, page.file);
    state.lastThrowLine = 0;
    state.stopLine = 0;
    bool compiled = false;
    duk_int_t rc;
    try {
        rc = duk_pcompile_lstring_filename(ctx, 0, source.data(), source.size());
        compiled = rc == 0;
        if (compiled) {
            state.clock.start = std::chrono::steady_clock::now();
            state.running = true;
            rc = duk_pcall(ctx, 0);
            state.running = false;
        }
    } catch (const std::exception& e) {
        // The engine gave up (a fatal error); its heap is only fit to be destroyed.
        state.running = false;
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
    if (rc == 0) {
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
                            std::to_string(state.clock.timeout.count()) + " seconds)";
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
