// The bridge between the script heap and automation objects, shared by bridge.cpp and
// script_engine.cpp (the only two files that see the engine's API).
//
// An automation object appears in script as a Proxy whose target is a function (for objects with a
// default member, so that `rs("NOME")` works) or a plain object. The target carries the object's
// pointer and a finalizer; the heap state holds the object's reference together with a weak pointer
// to the target, so that the same object always comes back as the same proxy. The target also holds
// the proxy: the pair lives and dies together, the proxy is never freed before the target's finalizer
// has run, and the finalizer releases the object. (The cycle means the pair is reclaimed by the
// collector rather than by reference counting: an object dropped by the script is released at the
// next collection, CollectGarbage(), or the end of the page.)
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "com_server/heap_ceiling.h"
#include "com_server/object.h"
#include "com_server/variant.h"
#include "duktape.h"
#include "page_host/internal/request_objects.h"

// Read from the engine's property tables (duk_fingerprint.c.in): the fingerprint of the own
// properties of the object at idx, or of the object at a heap pointer; and the keys of the object at
// idx that are not among known (ascending addresses), pushed, with their count.
extern "C" duk_uint64_t orvan_duk_fingerprint(duk_context* ctx, duk_idx_t idx);
extern "C" duk_uint64_t orvan_duk_fingerprint_heapptr(duk_context* ctx, void* ptr);
extern "C" duk_idx_t orvan_duk_push_new_keys(duk_context* ctx, duk_idx_t idx, const void* const* known,
                                            duk_size_t count);

namespace orvan::host::detail {

enum class StopReason { None, Ended, TimedOut, OutOfMemory };

// Everything the heap's native functions share; the heap's user data.
struct HeapState {
    HeapState() { idle.memoryLimit = 0; }
    // Destroys the heap, if any: finalizers release what the script still held.
    ~HeapState();
    HeapState(const HeapState&) = delete;
    HeapState& operator=(const HeapState&) = delete;

    duk_context* ctx = nullptr;
    // The budget allocations are charged to: the run's while a run holds the heap, else idle (no
    // ceiling), so that a run is charged with what it makes, not with the heap it was given.
    ScriptClock* clock = &idle;
    ScriptClock idle;
    com::HeapCeiling* ceiling = nullptr;  // the run's ceiling on this thread's operator new, while it runs
    bool usable = true;    // false once the engine gave up (a fatal error): the heap is only fit to go
    bool running = false;  // script is executing (the execution check only acts then)
    StopReason stop = StopReason::None;

    struct Held {
        void* target;                  // the proxy's target (weak: the finalizer removes the entry)
        com::ComPtr<com::Object> ref;  // the script's one reference to the object
    };
    std::unordered_map<com::Object*, Held> objects;

    // Arguments of an assignment to a call, between __orvan_key() and the put that consumes them.
    struct PendingKey {
        std::string name;
        std::vector<com::Variant> args;
    };
    std::unordered_map<std::uint64_t, PendingKey> keys;
    std::uint64_t nextKey = 1;

    int lastThrowLine = 0;  // script line of the last throw of a value that is not an Error
    int stopLine = 0;       // script line where the stop (timeout, end) first unwound the script

    // Bytes the heap holds (blocks of its allocator), and the size past which the end of a run collects
    // its cyclic garbage.
    std::size_t liveBytes = 0;
    std::size_t collectAbove = 0;

    // Compiled pages kept in the heap (by CompiledPage::id), oldest first.
    std::deque<std::uint64_t> compiledPages;

    // Fingerprints of the global object and the built-in objects, as the baseline left them.
    std::vector<std::uint64_t> baseline;
    // The built-in objects of the baseline (heap pointers the baseline keeps alive), and the keys of
    // the global object as the baseline left it (interned strings, by ascending address).
    std::vector<void*> builtins;
    std::vector<const void*> globalKeys;

    // The proxies of the objects a host gives every run as globals (Response, Request, ...), kept from
    // run to run by name (and class) in the heap's stash: each run points one at its own object, and
    // its end points it at none. One a script changed in a way the next run could see is let go.
    struct HostProxy {
        void* target;
        const void* type;               // the object's TypeInfo: another class under the name gets its own
        std::uint64_t cleared;          // the fingerprint of the target and its proxy between runs
    };
    std::unordered_map<std::string, HostProxy> hostProxies;
};

HeapState& heapState(duk_context* ctx);

// Hidden properties (invisible to script).
inline constexpr const char* kHiddenObject = DUK_HIDDEN_SYMBOL("orvanObject");  // on a target: Object*
inline constexpr const char* kHiddenProxy = DUK_HIDDEN_SYMBOL("orvanProxy");    // on a target: its proxy
inline constexpr const char* kHiddenSelf = DUK_HIDDEN_SYMBOL("orvanSelf");      // on a member function
inline constexpr const char* kHiddenName = DUK_HIDDEN_SYMBOL("orvanName");      // on a member function
inline constexpr const char* kHiddenLine = DUK_HIDDEN_SYMBOL("orvanLine");      // on a bridge error
inline constexpr const char* kHiddenStop = DUK_HIDDEN_SYMBOL("orvanStop");      // on the stop error

// Installs the proxy handler, the value converters' helpers and the page's global functions
// (ByRef, ActiveXObject, CollectGarbage, VBArray, __orvan_key) and the error helpers; then takes the
// heap's baseline: the globals and the built-in objects as a run will find them.
void installBridge(duk_context* ctx);

// Fingerprints of the global object and then of each built-in object of the baseline.
void takeFingerprints(duk_context* ctx, std::vector<std::uint64_t>& out);

// Brings the heap back to its baseline after a run: the globals the run made are deleted, the ones it
// replaced are put back. false when that cannot be done or a built-in object (a constructor, a
// prototype, Math, JSON, Duktape) no longer has the properties it had: the heap must then not serve
// another run.
bool resetToBaseline(duk_context* ctx);

// Once a run's globals are gone: deletes the links each object's target holds to its proxy (the
// proxy, the cached member functions), so that the proxies and targets nothing else holds go at once,
// through their reference counts, instead of waiting as cycles for the next collection. The finalizers
// that runs release their objects.
void unlinkProxies(duk_context* ctx);

// Pushes the script value of an object (its one proxy), or null for a null pointer.
void pushObject(duk_context* ctx, com::Object* object);
// Pushes the script value of an object a host gives the run as the global name, on the proxy a run
// before left under that name when there is one.
void pushHostObject(duk_context* ctx, const std::string& name, com::Object* object);
// At the end of a run, after unlinkProxies: points the kept host proxies at no object (the run's
// references are released with the objects map), and lets go of any the run changed.
void clearHostProxies(duk_context* ctx);
void pushVariant(duk_context* ctx, const com::Variant& value);
// The Variant of the script value at idx. ComError 13 for a value no automation object can take.
com::Variant toVariant(duk_context* ctx, duk_idx_t idx);

// The line of the innermost script function on the call stack (0 when there is none).
int currentScriptLine(duk_context* ctx);

// UTF-8 text pushed as a script string, and a script string read as UTF-8.
void pushText(duk_context* ctx, const std::string& text);
std::string readText(duk_context* ctx, duk_idx_t idx);

}  // namespace orvan::host::detail
