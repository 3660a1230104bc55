// The interpreter's state: the global scope (variables, procedures and classes by name, and each
// program's binding table from its global names to them), the stack of frame slots, the Err object,
// and the class instances a script makes. One Runtime per Engine; instances and GetRef results keep it
// alive so that they stay callable after the page run, from a Session or a component.
#pragma once

#include <deque>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "com_server/dispatch.h"
#include "com_server/regional.h"
#include "vbscript/engine.h"
#include "vbscript/internal/ast.h"

namespace orvan::vbs {

namespace detail {

class ClassInstance;
class ErrObject;

// A frame slot: its own value, and where the name actually lives (the slot itself, or the caller's
// variable for a ByRef parameter).
struct Slot {
    Variant value;
    Variant* ref = nullptr;
};

struct GlobalEntry {
    std::string name;
    Variant value;
    const Procedure* procedure = nullptr;
    const ClassDef* cls = nullptr;
    bool constant = false;
    bool fixedArray = false;
    bool host = false;  // added by the host (Response, Session...): released after the script's own
};

struct Frame {
    Runtime* rt = nullptr;
    const Procedure* proc = nullptr;
    const Program* program = nullptr;
    Slot* slots = nullptr;
    GlobalEntry** globals = nullptr;  // the binding table of the program the code belongs to
    ClassInstance* me = nullptr;
    Frame* parent = nullptr;           // the frame Eval/Execute code runs inside
    bool resumeNext = false;

    Variant& slot(int i) const { return *slots[i].ref; }
};

// The storage of an expression that is a plain variable, for reading in place or passing by
// reference; null for every other expression, and for a global not yet bound to a variable (the
// caller then takes the general way).
inline Variant* directVariable(const Expr& e, const Frame& f) {
    if (e.direct == Direct::Local) return &f.slot(e.directIndex);
    if (e.direct == Direct::Global) {
        GlobalEntry* g = f.globals[e.directIndex];
        if (g && !g->procedure && !g->cls) return &g->value;
    }
    return nullptr;
}

// The value of an expression that is a plain variable or a constant, read in place; null otherwise.
inline const Variant* directOperand(const Expr& e, const Frame& f) {
    return e.direct == Direct::Value ? e.directValue : directVariable(e, f);
}

// An instance of a script's class: its fields, and the member table its class publishes.
class ClassInstance final : public com::Object {
public:
    ClassInstance(std::shared_ptr<Runtime> rt, const ClassDef& cls);
    // Runs Class_Terminate (its errors are dropped: nothing is left to report them to), then releases
    // the fields. Class_Terminate runs on a second object sharing the fields, so that a reference to
    // Me the terminate code stores somewhere stays valid after this one is gone.
    ~ClassInstance() override;
    const com::TypeInfo& typeInfo() const override;

    const ClassDef& cls;
    std::shared_ptr<std::vector<Variant>> state;
    std::vector<Variant>& fields;
    std::shared_ptr<Runtime> rt;

private:
    struct Terminating {};
    ClassInstance(const ClassInstance& dying, Terminating);
    bool terminated_ = false;
};

// The call of one member of an instance by a late-bound caller (com::invoke).
Variant invokeClassMember(com::Object& self, const ClassMember& member, com::MemberKind kind,
                          std::span<Variant> args);

}  // namespace detail

class Runtime : public std::enable_shared_from_this<Runtime> {
public:
    using Variant = com::Variant;

    explicit Runtime(EngineHooks h);
    ~Runtime();

    EngineHooks hooks;
    bool optionExplicitDefault = false;

    // The global scope.
    detail::GlobalEntry* lookup(const std::string& upper);
    detail::GlobalEntry& define(const std::string& upper, std::string_view name);
    // The binding table of program (made on first use, entries resolved by name when known).
    detail::GlobalEntry** bindingsOf(const Program& program) {
        return &program == lastProgram_ ? lastBindings_ : findBindings(program);
    }
    // The global entry a binding stands for; when the name has none yet: creates it when create (an
    // implicit variable), else null.
    detail::GlobalEntry* resolve(const detail::Frame& f, int binding, bool create);
    // Releases the global variables in the order they were made.
    void clearGlobals();

    // Calls proc with its arguments taken from the caller's expressions (ByRef where they name a
    // variable) or from values (ByRef into them). me: the instance for a class's procedure.
    Variant call(const detail::Procedure& proc, detail::ClassInstance* me, const std::vector<detail::ExprPtr>* exprs,
                 detail::Frame* caller, std::span<Variant> values = {});
    // Runs a program's top-level code: as a page (enclosing null) or inside the frame of Execute.
    void runProgram(std::shared_ptr<const Program> program, detail::Frame* enclosing);
    // Evaluates an Eval's expression inside the frame of the caller.
    Variant evaluate(const Program& program, detail::Frame* enclosing);
    com::ComPtr<detail::ClassInstance> instantiate(const detail::ClassDef& cls);
    com::ComPtr<com::Object> createObject(std::string_view progId);
    com::ComPtr<com::Object> procedureReference(const detail::Procedure& proc);

    // Err.
    com::ComPtr<com::Object> err() const;
    void setError(const com::ComError& e);
    void clearError();

    // The checkpoint every few thousand steps. What it throws is carried through the script as a
    // StopRun (which no On Error catches) and thrown again, as it was, out of the Engine.
    void step() {
        if ((++steps_ & 0x3FF) == 0 && hooks.checkpoint) checkpoint();
    }
    struct StopRun {};
    std::exception_ptr stopping;

    int line = 0;  // the line of the statement being run, for ScriptError

    // Frame slots, taken and given back in stack order; mark is where the stack stood before.
    struct SlotMark {
        std::size_t chunk = 0;
        std::size_t top = 0;
    };
    detail::Slot* pushSlots(int count, SlotMark& mark) {
        const auto n = static_cast<std::size_t>(count);
        mark = SlotMark{chunk_, top_};
        if (top_ + n > chunkSize_) return pushSlotsInNewChunk(n);
        // The common case: the frame fits in the current chunk.
        detail::Slot* base = chunkBase_ + top_;
        top_ += n;
        for (std::size_t i = 0; i < n; ++i) base[i].ref = &base[i].value;
        return base;
    }
    void popSlots(detail::Slot* base, int count, const SlotMark& mark) {
        for (int i = count - 1; i >= 0; --i) {
            Variant& v = base[i].value;
            if (v.isEmpty()) continue;  // a ByRef parameter's own value, a variable never set
            if (v.isObject() || v.isArray()) releaseSlot(v);
            else v = empty_;  // assigned, not made each time: no temporary to destroy
        }
        if (mark.chunk != chunk_) enterChunk(mark.chunk);
        top_ = mark.top;
    }

private:
    void releaseSlot(Variant& v);
    void enterChunk(std::size_t chunk);
    const Variant empty_;
    detail::Slot* pushSlotsInNewChunk(std::size_t n);
    detail::GlobalEntry** findBindings(const Program& program);

public:

private:
    void checkpoint();
    struct Depth;
    struct ForgetBindings;
    void forgetBindings(const Program& program);
    std::deque<detail::GlobalEntry> globals_;
    std::unordered_map<std::string, detail::GlobalEntry*> byName_;
    std::vector<std::shared_ptr<const Program>> programs_;
    std::vector<std::pair<const Program*, std::unique_ptr<std::vector<detail::GlobalEntry*>>>> bindings_;
    const Program* lastProgram_ = nullptr;  // the binding table found last (calls mostly stay in one program)
    detail::GlobalEntry** lastBindings_ = nullptr;
    // Frames' slots, in chunks that double in size (a page's top level needs only the first, small
    // one; deep recursion takes more). A frame never spans two chunks.
    struct SlotChunk {
        std::unique_ptr<detail::Slot[]> slots;
        std::size_t size = 0;
    };
    std::vector<SlotChunk> chunks_;
    std::size_t chunk_ = 0;
    std::size_t top_ = 0;
    detail::Slot* chunkBase_ = nullptr;  // the current chunk's slots and size (0 before the first)
    std::size_t chunkSize_ = 0;
    int depth_ = 0;
    const char* stackBase_ = nullptr;
    std::size_t stackRoom_ = 0;
    unsigned steps_ = 0;
    com::ComPtr<detail::ErrObject> err_;
    // The regional settings: SetLocale changes the thread's for the script's run; the outermost
    // entry into the script puts back those it found, and the next entry installs the script's
    // choice again (scriptLocale_, when chosen).
    const com::Regional* hostLocale_ = nullptr;
    const com::Regional* scriptLocale_ = nullptr;
    bool localeChosen_ = false;
};

}  // namespace orvan::vbs
