// The bridge: automation objects as script proxies, values both ways, by-reference arguments, errors,
// and the page's global helper functions.
//
// Every native function here runs through `guarded`, which turns what the automation side throws into
// script errors: a ComError into an Error with number, description and message; Response.End into the
// stop of the page (a flag the engine's execution check also reads, plus an error that every later
// bridge entry re-throws, so no try/catch in the page can carry on after it). The engine's own errors
// pass through as C++ exceptions of its own type and unwind our frames properly.
#include "page_host/internal/bridge.h"
#include "com_server/ascii.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <string_view>

#include "com_server/calendar.h"
#include "com_server/class_registry.h"
#include "com_server/conversions.h"
#include "com_server/dispatch.h"
#include "com_server/error.h"
#include "page_host/internal/call_assignments.h"
#include "page_host/internal/text_codec.h"

namespace orvan::host::detail {

using com::ComError;
using com::ComPtr;
using com::Variant;

namespace {

constexpr char kKeyPrefix = '\x01';  // keys made by __orvan_key start with it

// Stash entries (the heap's private store).
constexpr const char* kStashHandler = "handler";
constexpr const char* kStashValueOf = "valueOf";
constexpr const char* kStashToString = "toString";
constexpr const char* kStashDate = "Date";
constexpr const char* kStashByRef = "ByRef";
constexpr const char* kStashBaseline = "baseline";

// Takes the heap's baseline once everything a run finds is in place. Gives two things: a function
// that puts back the baseline's globals a run replaced or deleted (false when one cannot be put back),
// and the built-in objects a page reaches from a global (the global's objects and functions, their
// prototypes, the functions on Duktape), whose fingerprints the host keeps (orvan_duk_fingerprint).
// The globals a run adds are deleted by the host itself (orvan_duk_push_new_keys). The functions it
// uses are taken now, so that a page that replaces Object.getOwnPropertyNames cannot change what they
// do; a page's own code never runs in them (values are read through descriptors, never through
// getters).
constexpr const char* kBaseline = R"js(
(function (global) {
    var names = Object.getOwnPropertyNames, describe = Object.getOwnPropertyDescriptor,
        define = Object.defineProperty;
    function is(a, b) {  // SameValue: NaN is NaN, 0 is not -0
        return a === b ? (a !== 0 || 1 / a === 1 / b) : (a !== a && b !== b);
    }
    function flags(d) {
        return (d.writable ? 1 : 0) | (d.enumerable ? 2 : 0) | (d.configurable ? 4 : 0) | ('value' in d ? 8 : 0);
    }
    var globals = [], ns = names(global);
    for (var i = 0; i < ns.length; i++) {
        var d = describe(global, ns[i]);
        globals.push(ns[i], d.value, d.get, d.set, flags(d));
    }
    var builtins = [];
    function watch(v) {
        if (v === null || (typeof v !== 'object' && typeof v !== 'function') || v === global) return;
        for (var i = 0; i < builtins.length; i++) if (builtins[i] === v) return;
        builtins.push(v);
    }
    function watchWithPrototype(v) {
        watch(v);
        var p = typeof v === 'function' && describe(v, 'prototype');
        if (p) watch(p.value);
    }
    for (var i = 0; i < globals.length; i += 5) watchWithPrototype(globals[i + 1]);
    var duk = describe(global, 'Duktape');
    if (duk) {
        var dukNames = names(duk.value);
        for (var i = 0; i < dukNames.length; i++) {
            var p = describe(duk.value, dukNames[i]);
            if (p && 'value' in p) watchWithPrototype(p.value);
        }
    }
    function restore() {
        for (var i = 0; i < globals.length; i += 5) {
            var d = describe(global, globals[i]), f = globals[i + 4];
            if (d && is(d.value, globals[i + 1]) && d.get === globals[i + 2] && d.set === globals[i + 3] &&
                flags(d) === f) continue;
            try {
                define(global, globals[i], (f & 8)
                    ? { value: globals[i + 1], writable: !!(f & 1), enumerable: !!(f & 2), configurable: !!(f & 4) }
                    : { get: globals[i + 2], set: globals[i + 3], enumerable: !!(f & 2), configurable: !!(f & 4) });
            } catch (e) {
                return false;
            }
        }
        return true;
    }
    return [restore, builtins];
})(this)
)js";

// What the page's helper script defines before the page runs: ByRef, VBArray (arrays already arrive
// as script arrays; this keeps pages written for SAFEARRAYs working), and JScript's `description` and
// `number` on errors (the engine's own errors get JScript's numbers, an Error the page makes gets 0).
constexpr const char* kPrelude = R"js(
(function (global) {
    function ByRef(value) {
        if (!(this instanceof ByRef)) return new ByRef(value);
        this.value = value;
    }
    global.ByRef = ByRef;

    function VBArray(a) {
        if (!(this instanceof VBArray)) return new VBArray(a);
        this._a = (a instanceof Array) ? a : [];
    }
    VBArray.prototype.toArray = function () { return this._a.slice(0); };
    VBArray.prototype.lbound = function () { return 0; };
    VBArray.prototype.ubound = function () { return this._a.length - 1; };
    VBArray.prototype.getItem = function (i) { return this._a[i]; };
    VBArray.prototype.dimensions = function () { return 1; };
    global.VBArray = VBArray;

    var numbers = { SyntaxError: 1002, TypeError: 5007, ReferenceError: 5009, RangeError: 5029, URIError: 5022 };
    function own(obj, name, value) {
        Object.defineProperty(obj, name, { value: value, writable: true, configurable: true, enumerable: false });
    }
    Object.defineProperty(Error.prototype, 'description', {
        get: function () { return this.message; },
        set: function (v) { own(this, 'description', v); },
        configurable: true
    });
    Object.defineProperty(Error.prototype, 'number', {
        get: function () { var n = numbers[this.name]; return n ? (0x800A0000 | n) | 0 : 0; },
        set: function (v) { own(this, 'number', v); },
        configurable: true
    });
})(this);
)js";

// ---------------------------------------------------------------------------------------------
// Errors

[[noreturn]] void throwStop(duk_context* ctx) {
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", "the response has ended");
    duk_push_true(ctx);
    duk_put_prop_string(ctx, -2, kHiddenStop);
    duk_throw_raw(ctx);
    __builtin_unreachable();  // the engine's header does not declare its throw as not returning
}

struct Failure {
    std::int32_t number;
    std::string description;
    std::string source;
};

void defineOwn(duk_context* ctx, duk_idx_t obj, const char* name) {
    // [... value] -> [...]: an own data property, whatever accessors the prototype has.
    obj = duk_normalize_index(ctx, obj);
    duk_push_string(ctx, name);
    duk_insert(ctx, -2);
    duk_def_prop(ctx, obj, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
}

[[noreturn]] void throwFailure(duk_context* ctx, const Failure& f) {
    const std::string text = utf8ToCesu8(f.description);
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", text.c_str());
    duk_push_int(ctx, f.number);
    defineOwn(ctx, -2, "number");
    duk_push_lstring(ctx, text.data(), text.size());
    defineOwn(ctx, -2, "description");
    if (!f.source.empty()) {
        pushText(ctx, f.source);
        defineOwn(ctx, -2, "source");
    }
    duk_push_int(ctx, currentScriptLine(ctx));
    duk_put_prop_string(ctx, -2, kHiddenLine);
    duk_throw_raw(ctx);
    __builtin_unreachable();
}

// Runs body (which returns the native function's result count); what the automation side throws
// becomes a script error. While the page is stopping, nothing runs at all.
template <typename Body>
duk_ret_t guarded(duk_context* ctx, Body&& body) {
    HeapState& state = heapState(ctx);
    if (state.stop != StopReason::None) throwStop(ctx);
    std::optional<Failure> failure;
    try {
        return body();
    } catch (const com::ResponseEnded&) {
        state.stop = StopReason::Ended;
    } catch (const std::exception&) {
        const ComError e = com::failureOfCurrentException();
        failure = Failure{e.number(), e.description(), e.source()};
    }
    if (!failure) throwStop(ctx);
    throwFailure(ctx, *failure);
}

ComError notSupported(const com::Object& obj, std::string_view name) {
    ComError base = ComError::basic(com::err::NotSupported);
    return ComError(base.number(),
                    base.description() + ": '" + std::string(name) + "' (" + obj.typeInfo().className + ")",
                    obj.typeInfo().className);
}

// ---------------------------------------------------------------------------------------------
// Member shapes

using com::ascii::equalsNoCase;

struct Shape {
    bool method = false;
    bool plainGetter = false;  // a property get without parameters: read at once
    bool getterWithParams = false;
};

Shape shapeOf(const com::TypeInfo& info, std::string_view name) {
    Shape s;
    for (const auto& m : info.members) {
        if (!equalsNoCase(m.name, name)) continue;
        switch (m.kind) {
            case com::MemberKind::Method:
                s.method = true;
                break;
            case com::MemberKind::PropertyGet:
                (m.params.empty() ? s.plainGetter : s.getterWithParams) = true;
                break;
            case com::MemberKind::PropertyPut:
            case com::MemberKind::PropertyPutRef:
                break;
        }
    }
    return s;
}

bool hasDefaultMember(const com::Object& obj) {
    return obj.typeInfo().find(com::kDispidValue, com::kGet | com::kMethod) != nullptr;
}

// Names the engine or common script idioms probe on any object; an object without such a member
// answers undefined instead of an error.
bool isScriptProbe(std::string_view name) {
    return name == "toJSON" || name == "constructor" || name == "prototype" || name == "then" ||
           name == "inspect" || name == "__proto__";
}

// ---------------------------------------------------------------------------------------------
// Objects of script values

// The automation object behind a script value (a proxy, or anything whose hidden lookup reaches a
// target), or null.
com::Object* objectAt(duk_context* ctx, duk_idx_t idx) {
    if (!duk_is_object(ctx, idx)) return nullptr;
    duk_get_prop_string(ctx, idx, kHiddenObject);
    void* p = duk_get_pointer(ctx, -1);
    duk_pop(ctx);
    return static_cast<com::Object*>(p);
}

com::Object& targetObject(duk_context* ctx, duk_idx_t target) {
    com::Object* obj = objectAt(ctx, target);
    if (!obj) throw ComError::basic(com::err::ObjectRequired);
    return *obj;
}

void pushStash(duk_context* ctx, const char* key) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, key);
    duk_remove(ctx, -2);
}

bool isInstance(duk_context* ctx, duk_idx_t idx, const char* stashKey) {
    idx = duk_normalize_index(ctx, idx);
    pushStash(ctx, stashKey);
    const bool yes = duk_instanceof(ctx, idx, -1) != 0;
    duk_pop(ctx);
    return yes;
}

// ---------------------------------------------------------------------------------------------
// Dates. A Variant date is a local date and time; it crosses by its fields (year, month, day, hours,
// minutes, seconds, milliseconds) read and written through the script's own Date, so that a page sees
// in its Date exactly the date and time the component sees, under the engine's notion of local time.

using com::calendar::daysFromCivil;
constexpr long long kSerialEpoch = com::calendar::kSerialEpochDays;  // day 0 of a date serial

// Pushes a script Date for a serial. The time of day of a negative serial counts forward from its
// day, as the classic runtime has it (-1.25 is 1899-12-29 06:00).
void pushDate(duk_context* ctx, double serial) {
    const double day = std::trunc(serial);
    const long long ms = std::llround(std::fabs(serial - day) * 86400000.0);  // may be a whole day
    const com::calendar::CivilDate c = com::calendar::civilFromDays(static_cast<long long>(day) + kSerialEpoch);
    pushStash(ctx, kStashDate);
    duk_push_number(ctx, static_cast<double>(c.year));
    duk_push_int(ctx, static_cast<int>(c.month) - 1);
    duk_push_int(ctx, static_cast<int>(c.day));
    duk_push_number(ctx, static_cast<double>(ms / 3600000));  // 24 rolls over to the next day
    duk_push_int(ctx, static_cast<int>(ms / 60000 % 60));
    duk_push_int(ctx, static_cast<int>(ms / 1000 % 60));
    duk_push_int(ctx, static_cast<int>(ms % 1000));
    duk_new(ctx, 7);
}

// The serial of the script Date at idx (NaN for an invalid date).
double dateSerial(duk_context* ctx, duk_idx_t idx) {
    idx = duk_normalize_index(ctx, idx);
    auto field = [&](const char* getter) {
        duk_push_string(ctx, getter);
        duk_call_prop(ctx, idx, 0);
        const double v = duk_get_number(ctx, -1);
        duk_pop(ctx);
        return v;
    };
    const double y = field("getFullYear");
    if (std::isnan(y)) return y;
    const double mo = field("getMonth"), d = field("getDate"), h = field("getHours"),
                 mi = field("getMinutes"), s = field("getSeconds"), ms = field("getMilliseconds");
    const long long days =
        daysFromCivil(static_cast<long long>(y), static_cast<unsigned>(mo) + 1, static_cast<unsigned>(d)) -
        kSerialEpoch;
    const double time = (h * 3600000.0 + mi * 60000.0 + s * 1000.0 + ms) / 86400000.0;
    return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

// ---------------------------------------------------------------------------------------------
// Calls

// The arguments of one call, converted, with the ByRef objects to write back into.
struct CallArgs {
    std::vector<Variant> values;
    // Argument index and ByRef object (the call's arguments keep the object alive).
    std::vector<std::pair<std::size_t, void*>> byRef;
};

void addArgument(duk_context* ctx, duk_idx_t idx, CallArgs& args) {
    idx = duk_normalize_index(ctx, idx);
    if (duk_is_object(ctx, idx) && !objectAt(ctx, idx) && isInstance(ctx, idx, kStashByRef)) {
        duk_get_prop_string(ctx, idx, "value");
        args.byRef.emplace_back(args.values.size(), duk_get_heapptr(ctx, idx));
        args.values.push_back(toVariant(ctx, -1));
        duk_pop(ctx);
        return;
    }
    args.values.push_back(toVariant(ctx, idx));
}

CallArgs argsFromStack(duk_context* ctx, duk_idx_t count) {
    CallArgs args;
    for (duk_idx_t i = 0; i < count; ++i) addArgument(ctx, i, args);
    return args;
}

CallArgs argsFromArray(duk_context* ctx, duk_idx_t array) {
    CallArgs args;
    const duk_size_t n = duk_is_object(ctx, array) ? duk_get_length(ctx, array) : 0;
    for (duk_size_t i = 0; i < n; ++i) {
        duk_get_prop_index(ctx, array, static_cast<duk_uarridx_t>(i));
        addArgument(ctx, -1, args);
        duk_pop(ctx);
    }
    return args;
}

// Invokes and writes the by-reference arguments back into their ByRef objects, also when the member
// raised an error (the component wrote them before failing).
Variant callMember(duk_context* ctx, com::Object& obj, std::string_view name, unsigned flags,
                   CallArgs& args) {
    ComPtr<com::Object> keep(&obj);
    Variant result;
    std::exception_ptr failure;
    try {
        result = com::invoke(obj, name, flags, args.values);
    } catch (...) {
        failure = std::current_exception();
    }
    for (const auto& [index, holder] : args.byRef) {
        duk_push_heapptr(ctx, holder);
        pushVariant(ctx, args.values[index]);
        duk_put_prop_string(ctx, -2, "value");
        duk_pop(ctx);
    }
    if (failure) std::rethrow_exception(failure);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Assignment keys: __orvan_key(name, [args]) parks the arguments and names them by a key.

std::string makeKey(std::uint64_t id) {
    return std::string(1, kKeyPrefix) + std::to_string(id);
}

std::optional<std::uint64_t> keyId(std::string_view key) {
    if (key.size() < 2 || key.front() != kKeyPrefix) return std::nullopt;
    std::uint64_t id = 0;
    for (char c : key.substr(1)) {
        if (c < '0' || c > '9') return std::nullopt;
        id = id * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return id;
}

duk_ret_t keyFunction(duk_context* ctx) {
    return guarded(ctx, [&] {
        HeapState& state = heapState(ctx);
        HeapState::PendingKey pending;
        pending.name = readText(ctx, 0);
        pending.args = argsFromArray(ctx, 1).values;
        const std::uint64_t id = state.nextKey++;
        state.keys.emplace(id, std::move(pending));
        pushText(ctx, makeKey(id));
        return 1;
    });
}

// ---------------------------------------------------------------------------------------------
// The proxy handler

duk_ret_t memberFunction(duk_context* ctx);

// The function that calls member name of the object behind target (cached on the target).
void pushMemberFunction(duk_context* ctx, duk_idx_t target, const std::string& name) {
    target = duk_normalize_index(ctx, target);
    std::string cacheKey = DUK_HIDDEN_SYMBOL("m:");
    cacheKey += com::ascii::lower(name);
    if (duk_get_prop_string(ctx, target, cacheKey.c_str())) return;
    duk_pop(ctx);
    duk_push_c_function(ctx, memberFunction, DUK_VARARGS);
    duk_get_prop_string(ctx, target, kHiddenProxy);
    duk_put_prop_string(ctx, -2, kHiddenSelf);
    pushText(ctx, name);
    duk_put_prop_string(ctx, -2, kHiddenName);
    duk_dup(ctx, -1);
    duk_put_prop_string(ctx, target, cacheKey.c_str());
}

duk_ret_t memberFunction(duk_context* ctx) {
    return guarded(ctx, [&] {
        const duk_idx_t argc = duk_get_top(ctx);
        duk_push_current_function(ctx);
        duk_get_prop_string(ctx, -1, kHiddenSelf);
        com::Object& obj = targetObject(ctx, -1);
        duk_get_prop_string(ctx, -2, kHiddenName);
        const std::string name = readText(ctx, -1);
        duk_pop_3(ctx);
        CallArgs args = argsFromStack(ctx, argc);
        pushVariant(ctx, callMember(ctx, obj, name, com::kMethod | com::kGet, args));
        return 1;
    });
}

// get(target, key, receiver)
duk_ret_t trapGet(duk_context* ctx) {
    return guarded(ctx, [&]() -> duk_ret_t {
        if (duk_is_symbol(ctx, 1) || !duk_is_string(ctx, 1)) return 0;
        const std::string key = readText(ctx, 1);
        com::Object& obj = targetObject(ctx, 0);
        if (auto id = keyId(key)) {
            HeapState& state = heapState(ctx);
            auto it = state.keys.find(*id);
            if (it == state.keys.end()) throw ComError::basic(com::err::InvalidCall);
            CallArgs args;
            args.values = it->second.args;
            pushVariant(ctx, callMember(ctx, obj, it->second.name, com::kGet | com::kMethod, args));
            return 1;
        }
        if (key == "valueOf" || key == "toString") {
            pushStash(ctx, key == "valueOf" ? kStashValueOf : kStashToString);
            return 1;
        }
        const Shape shape = shapeOf(obj.typeInfo(), key);
        if (shape.plainGetter) {
            ComPtr<com::Object> keep(&obj);
            pushVariant(ctx, com::invoke(obj, key, com::kGet));
            return 1;
        }
        if (shape.method || shape.getterWithParams) {
            pushMemberFunction(ctx, 0, key);
            return 1;
        }
        if (isScriptProbe(key)) return 0;
        throw notSupported(obj, key);
    });
}

// set(target, key, value, receiver)
duk_ret_t trapSet(duk_context* ctx) {
    return guarded(ctx, [&] {
        if (duk_is_symbol(ctx, 1) || !duk_is_string(ctx, 1)) {
            duk_push_true(ctx);
            return 1;
        }
        const std::string key = readText(ctx, 1);
        com::Object& obj = targetObject(ctx, 0);
        ComPtr<com::Object> keep(&obj);
        Variant value = toVariant(ctx, 2);
        const bool reference = duk_is_null(ctx, 2) || (value.isObject() && value.rawObject());
        if (auto id = keyId(key)) {
            HeapState& state = heapState(ctx);
            auto it = state.keys.find(*id);
            if (it == state.keys.end()) throw ComError::basic(com::err::InvalidCall);
            HeapState::PendingKey pending = std::move(it->second);
            state.keys.erase(it);
            com::putMember(obj, pending.name, std::move(pending.args), std::move(value), reference);
        } else {
            com::putMember(obj, key, {}, std::move(value), reference);
        }
        duk_push_true(ctx);
        return 1;
    });
}

// apply(target, thisArg, args): calling the object itself calls its default member.
duk_ret_t trapApply(duk_context* ctx) {
    return guarded(ctx, [&] {
        com::Object& obj = targetObject(ctx, 0);
        CallArgs args = argsFromArray(ctx, 2);
        pushVariant(ctx, callMember(ctx, obj, std::string_view{}, com::kMethod | com::kGet, args));
        return 1;
    });
}

// The function behind a callable target; only reached by `new obj(...)`, which objects do not support.
duk_ret_t targetCall(duk_context* ctx) {
    return guarded(ctx, [&]() -> duk_ret_t { throw ComError::basic(com::err::NotSupported); });
}

// Finalizer of a target: the script can no longer reach the object; drop its reference. Runs inside
// the engine's collector and must not throw.
duk_ret_t targetFinalizer(duk_context* ctx) {
    HeapState& state = heapState(ctx);
    duk_get_prop_string(ctx, 0, kHiddenObject);
    auto* obj = static_cast<com::Object*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    auto it = obj ? state.objects.find(obj) : state.objects.end();
    if (it != state.objects.end() && it->second.target == duk_get_heapptr(ctx, 0)) {
        ComPtr<com::Object> last = std::move(it->second.ref);
        state.objects.erase(it);
        last.reset();  // the component's destructor runs here; destructors do not throw
    }
    return 0;
}

// The plain value of an object for the script: valueOf gives the default member's value (a date as
// its time value, so that comparisons work), toString its text.
void pushPlainValue(duk_context* ctx, bool asText) {
    duk_push_this(ctx);
    com::Object* obj = objectAt(ctx, -1);
    if (!obj || !hasDefaultMember(*obj)) {
        pushText(ctx, "[object " + (obj ? obj->typeInfo().className : std::string("Object")) + "]");
        return;
    }
    const Variant value = com::defaultValue(Variant(ComPtr<com::Object>(obj)));
    if (value.type() == com::VarType::Date) {
        if (asText) {
            pushText(ctx, com::CStr(value));
        } else {
            pushDate(ctx, value.rawDate());
            duk_to_number(ctx, -1);
        }
        return;
    }
    pushVariant(ctx, value);
    if (asText) duk_to_string(ctx, -1);
}

duk_ret_t proxyValueOf(duk_context* ctx) {
    return guarded(ctx, [&] {
        pushPlainValue(ctx, false);
        return 1;
    });
}

duk_ret_t proxyToString(duk_context* ctx) {
    return guarded(ctx, [&] {
        pushPlainValue(ctx, true);
        return 1;
    });
}

// ---------------------------------------------------------------------------------------------
// Global functions

// new ActiveXObject(progId): as Server.CreateObject.
duk_ret_t activeXObject(duk_context* ctx) {
    return guarded(ctx, [&] {
        const std::string progId = readText(ctx, 0);
        ComPtr<com::Object> obj = com::ClassRegistry::instance().create(progId);
        pushObject(ctx, obj.get());
        return 1;
    });
}

duk_ret_t collectGarbage(duk_context* ctx) {
    return guarded(ctx, [&] {
        // Twice: the first pass runs finalizers, the second frees what they left.
        duk_gc(ctx, 0);
        duk_gc(ctx, 0);
        return 0;
    });
}

// Duktape.errThrow: notes where a value that is not an Error was thrown (an Error knows its line),
// and where the first throw after a stop happened (later ones come from the catch blocks it unwinds).
// Runs inside the engine's throw and must not throw itself.
duk_ret_t errThrowHook(duk_context* ctx) {
    HeapState& state = heapState(ctx);
    const bool noteStop = state.stop != StopReason::None && state.stopLine == 0;
    if (noteStop || !duk_is_error(ctx, 0)) {
        try {
            const int line = currentScriptLine(ctx);
            if (noteStop)
                state.stopLine = line;
            else
                state.lastThrowLine = line;
        } catch (const std::exception&) {
            // Only the line of the report is lost; the thrown value goes on unchanged.
        }
    }
    duk_set_top(ctx, 1);
    return 1;
}

void putFunction(duk_context* ctx, duk_idx_t obj, const char* name, duk_c_function fn, duk_idx_t nargs) {
    obj = duk_normalize_index(ctx, obj);
    duk_push_c_function(ctx, fn, nargs);
    duk_put_prop_string(ctx, obj, name);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

HeapState& heapState(duk_context* ctx) {
    duk_memory_functions funcs;
    duk_get_memory_functions(ctx, &funcs);
    return *static_cast<HeapState*>(funcs.udata);
}

void pushText(duk_context* ctx, const std::string& text) {
    const std::string internal = utf8ToCesu8(text);
    duk_push_lstring(ctx, internal.data(), internal.size());
}

std::string readText(duk_context* ctx, duk_idx_t idx) {
    duk_size_t len = 0;
    const char* s = duk_get_lstring(ctx, idx, &len);
    if (!s) {
        idx = duk_normalize_index(ctx, idx);
        duk_dup(ctx, idx);
        s = duk_to_lstring(ctx, -1, &len);
        std::string out = cesu8ToUtf8(std::string_view(s, len));
        duk_pop(ctx);
        return out;
    }
    return cesu8ToUtf8(std::string_view(s, len));
}

int currentScriptLine(duk_context* ctx) {
    for (duk_int_t level = -1; level >= -64; --level) {
        duk_inspect_callstack_entry(ctx, level);
        if (duk_is_undefined(ctx, -1)) {
            duk_pop(ctx);
            return 0;
        }
        duk_get_prop_string(ctx, -1, "lineNumber");
        const int line = duk_get_int(ctx, -1);
        duk_pop_2(ctx);
        if (line > 0) return line;
    }
    return 0;
}

void pushObject(duk_context* ctx, com::Object* obj) {
    if (!obj) {
        duk_push_null(ctx);
        return;
    }
    HeapState& state = heapState(ctx);
    if (auto it = state.objects.find(obj); it != state.objects.end()) {
        duk_push_heapptr(ctx, it->second.target);
        duk_get_prop_string(ctx, -1, kHiddenProxy);
        duk_remove(ctx, -2);
        return;
    }
    ComPtr<com::Object> ref(obj);
    if (hasDefaultMember(*obj)) {
        duk_push_c_function(ctx, targetCall, DUK_VARARGS);
    } else {
        duk_push_object(ctx);
    }
    const duk_idx_t target = duk_get_top_index(ctx);
    duk_push_pointer(ctx, obj);
    duk_put_prop_string(ctx, target, kHiddenObject);
    duk_push_c_function(ctx, targetFinalizer, 2);
    duk_set_finalizer(ctx, target);
    duk_dup(ctx, target);
    pushStash(ctx, kStashHandler);
    duk_push_proxy(ctx, 0);
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, target, kHiddenProxy);
    // Registered only now that nothing can fail any more: a target whose setup failed half-way finds
    // no entry in its finalizer and leaves the map alone.
    state.objects.emplace(obj, HeapState::Held{duk_get_heapptr(ctx, target), std::move(ref)});
    duk_remove(ctx, target);
}

namespace {

bool isHostTarget(const HeapState& state, void* target) {
    return std::any_of(state.hostProxies.begin(), state.hostProxies.end(),
                       [&](const auto& entry) { return entry.second.target == target; });
}

std::string hostStashKey(const std::string& name) {
    return DUK_HIDDEN_SYMBOL("host:") + name;
}

// The fingerprints of a host object's target and of its proxy together: a script changes the one or
// the other (Object.defineProperty and Object.freeze act on the proxy itself).
std::uint64_t hostFingerprint(duk_context* ctx, void* target) {
    duk_push_heapptr(ctx, target);
    duk_get_prop_string(ctx, -1, kHiddenProxy);
    const std::uint64_t print = orvan_duk_fingerprint(ctx, -2) * 31 + orvan_duk_fingerprint(ctx, -1);
    duk_pop_2(ctx);
    return print;
}

}  // namespace

void pushHostObject(duk_context* ctx, const std::string& name, com::Object* obj) {
    HeapState& state = heapState(ctx);
    auto kept = state.hostProxies.find(name);
    if (obj && kept != state.hostProxies.end() && kept->second.type == &obj->typeInfo() &&
        !state.objects.contains(obj)) {
        duk_push_heapptr(ctx, kept->second.target);
        duk_push_pointer(ctx, obj);
        duk_put_prop_string(ctx, -2, kHiddenObject);
        duk_get_prop_string(ctx, -1, kHiddenProxy);
        duk_remove(ctx, -2);
        state.objects.emplace(obj, HeapState::Held{kept->second.target, ComPtr<com::Object>(obj)});
        return;
    }
    pushObject(ctx, obj);
    if (!obj || kept != state.hostProxies.end()) return;
    // The first of its name: kept in the stash, so that it outlives the run, with the fingerprint it
    // must have between runs (pointing at no object), taken before any script could touch it.
    void* target = state.objects.at(obj).target;
    duk_push_heap_stash(ctx);
    duk_push_heapptr(ctx, target);
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, -2, kHiddenObject);
    const std::uint64_t cleared = hostFingerprint(ctx, target);
    duk_push_pointer(ctx, obj);
    duk_put_prop_string(ctx, -2, kHiddenObject);
    duk_put_prop_string(ctx, -2, hostStashKey(name).c_str());
    duk_pop(ctx);
    state.hostProxies.emplace(name, HeapState::HostProxy{target, &obj->typeInfo(), cleared});
}

void pushVariant(duk_context* ctx, const Variant& v) {
    switch (v.type()) {
        case com::VarType::Empty:
        case com::VarType::Missing:
            duk_push_undefined(ctx);
            return;
        case com::VarType::Null:
            duk_push_null(ctx);
            return;
        case com::VarType::Integer:
        case com::VarType::Long:
        case com::VarType::Byte:
            duk_push_int(ctx, v.rawInt());
            return;
        case com::VarType::Double:
        case com::VarType::Single:
            duk_push_number(ctx, v.rawDouble());
            return;
        case com::VarType::Currency:
            duk_push_number(ctx, com::currencyValue(v));
            return;
        case com::VarType::Boolean:
            duk_push_boolean(ctx, v.rawBool());
            return;
        case com::VarType::String:
            pushText(ctx, v.rawString());
            return;
        case com::VarType::Date:
            pushDate(ctx, v.rawDate());
            return;
        case com::VarType::Object:
            pushObject(ctx, v.rawObject().get());
            return;
        case com::VarType::Array: {
            const duk_idx_t array = duk_push_array(ctx);
            duk_uarridx_t i = 0;
            for (const Variant& item : v.rawArray()) {
                pushVariant(ctx, item);
                duk_put_prop_index(ctx, array, i++);
            }
            return;
        }
    }
    duk_push_undefined(ctx);
}

namespace {

Variant toVariantAt(duk_context* ctx, duk_idx_t idx, int depth) {
    idx = duk_normalize_index(ctx, idx);
    switch (duk_get_type(ctx, idx)) {
        case DUK_TYPE_NONE:
        case DUK_TYPE_UNDEFINED:
            return Variant();
        case DUK_TYPE_NULL:
            return Variant::null();
        case DUK_TYPE_BOOLEAN:
            return Variant(duk_get_boolean(ctx, idx) != 0);
        case DUK_TYPE_NUMBER: {
            const double d = duk_get_number(ctx, idx);
            if (std::trunc(d) == d && d >= std::numeric_limits<std::int32_t>::min() &&
                d <= std::numeric_limits<std::int32_t>::max())
                return Variant(static_cast<std::int32_t>(d));
            return Variant(d);
        }
        case DUK_TYPE_STRING:
            if (duk_is_symbol(ctx, idx)) break;
            return Variant(readText(ctx, idx));
        case DUK_TYPE_OBJECT: {
            if (com::Object* obj = objectAt(ctx, idx)) return Variant(ComPtr<com::Object>(obj));
            if (depth > 32)
                throw ComError(com::err::TypeMismatch, "Type mismatch: an array nests too deeply");
            if (duk_is_array(ctx, idx)) {
                std::vector<Variant> items;
                const duk_size_t n = duk_get_length(ctx, idx);
                items.reserve(n);
                for (duk_size_t i = 0; i < n; ++i) {
                    duk_get_prop_index(ctx, idx, static_cast<duk_uarridx_t>(i));
                    items.push_back(toVariantAt(ctx, -1, depth + 1));
                    duk_pop(ctx);
                }
                return Variant::array(std::move(items));
            }
            if (isInstance(ctx, idx, kStashDate)) {
                const double serial = dateSerial(ctx, idx);
                return std::isnan(serial) ? Variant::null() : Variant::date(serial);
            }
            if (isInstance(ctx, idx, kStashByRef)) {
                duk_get_prop_string(ctx, idx, "value");
                Variant inner = toVariantAt(ctx, -1, depth + 1);
                duk_pop(ctx);
                return inner;
            }
            break;
        }
        default:
            break;
    }
    throw ComError(com::err::TypeMismatch,
                   "Type mismatch: a script object or function cannot be passed to an automation object");
}

}  // namespace

Variant toVariant(duk_context* ctx, duk_idx_t idx) {
    return toVariantAt(ctx, idx, 0);
}

void installBridge(duk_context* ctx) {
    duk_push_heap_stash(ctx);
    const duk_idx_t stash = duk_get_top_index(ctx);

    duk_push_object(ctx);
    putFunction(ctx, -1, "get", trapGet, 3);
    putFunction(ctx, -1, "set", trapSet, 4);
    putFunction(ctx, -1, "apply", trapApply, 3);
    duk_put_prop_string(ctx, stash, kStashHandler);
    putFunction(ctx, stash, kStashValueOf, proxyValueOf, 0);
    putFunction(ctx, stash, kStashToString, proxyToString, 0);

    duk_eval_string_noresult(ctx, kPrelude);
    duk_get_global_string(ctx, "Date");
    duk_put_prop_string(ctx, stash, kStashDate);
    duk_get_global_string(ctx, "ByRef");
    duk_put_prop_string(ctx, stash, kStashByRef);

    duk_push_global_object(ctx);
    putFunction(ctx, -1, "ActiveXObject", activeXObject, 1);
    putFunction(ctx, -1, "CollectGarbage", collectGarbage, 0);
    putFunction(ctx, -1, kKeyFunction, keyFunction, 2);
    duk_get_prop_string(ctx, -1, "Duktape");
    if (duk_is_object(ctx, -1)) putFunction(ctx, -1, "errThrow", errThrowHook, 1);
    duk_pop_2(ctx);

    duk_eval_string(ctx, kBaseline);
    HeapState& state = heapState(ctx);
    // The built-in objects, by address: the baseline's array keeps them alive as long as the heap.
    state.builtins.clear();
    duk_get_prop_index(ctx, -1, 1);
    const duk_size_t count = duk_get_length(ctx, -1);
    for (duk_size_t i = 0; i < count; ++i) {
        duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(i));
        state.builtins.push_back(duk_get_heapptr(ctx, -1));
        duk_pop(ctx);
    }
    duk_pop(ctx);
    duk_put_prop_string(ctx, stash, kStashBaseline);
    duk_pop(ctx);  // stash
    // The global object's keys: interned strings, which the baseline's list of globals keeps alive.
    duk_push_global_object(ctx);
    const duk_idx_t keys = orvan_duk_push_new_keys(ctx, -1, nullptr, 0);
    state.globalKeys.clear();
    for (duk_idx_t i = 0; i < keys; ++i) state.globalKeys.push_back(duk_get_heapptr(ctx, -1 - i));
    std::sort(state.globalKeys.begin(), state.globalKeys.end(),
              [](const void* a, const void* b) { return std::less<const void*>()(a, b); });
    duk_pop_n(ctx, keys + 1);
    takeFingerprints(ctx, state.baseline);
}

namespace {

duk_ret_t restoreGlobals(duk_context* ctx, void*) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashBaseline);
    duk_get_prop_index(ctx, -1, 0);
    duk_call(ctx, 0);
    return 1;
}

// Deletes the globals that are not the baseline's; a global that cannot be deleted throws.
duk_ret_t deleteNewGlobals(duk_context* ctx, void* udata) {
    const auto& known = *static_cast<const std::vector<const void*>*>(udata);
    duk_push_global_object(ctx);
    const duk_idx_t global = duk_get_top_index(ctx);
    const duk_idx_t added = orvan_duk_push_new_keys(ctx, global, known.data(), known.size());
    for (duk_idx_t i = 1; i <= added; ++i) {
        duk_dup(ctx, global + i);
        duk_del_prop(ctx, global);  // strict: a property that cannot be deleted throws
    }
    return 0;
}

bool safely(duk_context* ctx, duk_safe_call_function what, void* udata) {
    const duk_int_t rc = duk_safe_call(ctx, what, udata, 0, 1);
    const bool done = rc == DUK_EXEC_SUCCESS && (duk_is_undefined(ctx, -1) || duk_get_boolean(ctx, -1));
    duk_pop(ctx);
    return done;
}

std::uint64_t globalFingerprint(duk_context* ctx) {
    duk_push_global_object(ctx);
    const std::uint64_t print = orvan_duk_fingerprint(ctx, -1);
    duk_pop(ctx);
    return print;
}

}  // namespace

void takeFingerprints(duk_context* ctx, std::vector<std::uint64_t>& out) {
    const HeapState& state = heapState(ctx);
    out.clear();
    out.push_back(globalFingerprint(ctx));
    for (void* builtin : state.builtins) out.push_back(orvan_duk_fingerprint_heapptr(ctx, builtin));
}

namespace {

// Deletes the member functions cached on the target at idx (each of which holds its proxy) and, with
// proxyToo, its link to the proxy.
void deleteLinks(duk_context* ctx, duk_idx_t target, bool proxyToo) {
    const duk_idx_t keys = orvan_duk_push_new_keys(ctx, target, nullptr, 0);
    static const std::string_view memberPrefix = DUK_HIDDEN_SYMBOL("m:");
    for (duk_idx_t i = 1; i <= keys; ++i) {
        duk_size_t length = 0;
        const char* key = duk_get_lstring(ctx, target + i, &length);
        const std::string_view name(key ? key : "", key ? length : 0);
        if ((proxyToo && name == kHiddenProxy) || name.substr(0, memberPrefix.size()) == memberPrefix) {
            duk_dup(ctx, target + i);
            duk_del_prop(ctx, target);
        }
    }
}

// Deletes the target's own links to its proxy: the proxy itself and the member functions cached on it
// (each of which holds the proxy). The object pointer and the finalizer stay.
duk_ret_t unlinkTargetInSafeCall(duk_context* ctx, void* udata) {
    duk_push_heapptr(ctx, udata);
    deleteLinks(ctx, duk_get_top_index(ctx), true);
    return 0;
}

}  // namespace

void unlinkProxies(duk_context* ctx) {
    HeapState& state = heapState(ctx);
    std::vector<com::Object*> held;
    held.reserve(state.objects.size());
    for (const auto& [obj, entry] : state.objects) held.push_back(obj);
    for (com::Object* obj : held) {
        // A target whose proxy went with another's is finalized, and its entry gone with it.
        auto it = state.objects.find(obj);
        if (it == state.objects.end() || isHostTarget(state, it->second.target)) continue;
        duk_safe_call(ctx, unlinkTargetInSafeCall, it->second.target, 0, 1);
        duk_pop(ctx);
    }
}

namespace {

// Points a kept host target at no object and drops the member functions the run cached on it.
duk_ret_t clearHostTargetInSafeCall(duk_context* ctx, void* udata) {
    duk_push_heapptr(ctx, udata);
    const duk_idx_t target = duk_get_top_index(ctx);
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, target, kHiddenObject);
    deleteLinks(ctx, target, false);
    return 0;
}

}  // namespace

void clearHostProxies(duk_context* ctx) {
    HeapState& state = heapState(ctx);
    for (auto it = state.hostProxies.begin(); it != state.hostProxies.end();) {
        HeapState::HostProxy& kept = it->second;
        const bool cleared = duk_safe_call(ctx, clearHostTargetInSafeCall, kept.target, 0, 1) == DUK_EXEC_SUCCESS;
        duk_pop(ctx);
        // Between runs the target holds its object pointer (null), its proxy and its finalizer, and the
        // proxy nothing, as when they were made: anything else (a property defined, a freeze, another
        // prototype) came from a script, and the next run must not see it.
        if (cleared && hostFingerprint(ctx, kept.target) == kept.cleared) {
            ++it;
            continue;
        }
        duk_push_heap_stash(ctx);
        duk_del_prop_string(ctx, -1, hostStashKey(it->first).c_str());
        duk_pop(ctx);
        it = state.hostProxies.erase(it);
    }
}

bool resetToBaseline(duk_context* ctx) {
    HeapState& state = heapState(ctx);
    const std::uint64_t asLeft = state.baseline.front();
    // The global object's fingerprint tells whether the run touched the globals at all.
    if (globalFingerprint(ctx) != asLeft) {
        if (!safely(ctx, deleteNewGlobals, &state.globalKeys)) return false;
        // A global of the baseline was replaced or deleted too: put back, it must match again.
        if (globalFingerprint(ctx) != asLeft &&
            (!safely(ctx, restoreGlobals, nullptr) || globalFingerprint(ctx) != asLeft))
            return false;
    }
    for (std::size_t i = 0; i < state.builtins.size(); ++i)
        if (orvan_duk_fingerprint_heapptr(ctx, state.builtins[i]) != state.baseline[i + 1]) return false;
    return true;
}

}  // namespace orvan::host::detail
