// The interpreter's state: global scope and bindings, procedure calls and their frames, the stack
// bound (error 28 instead of a crash), class instances, the Err object and GetRef's procedure objects.
#include "vbscript/internal/runtime.h"

#include <pthread.h>

#include <algorithm>

#include "com_server/class_registry.h"
#include "com_server/conversions.h"
#include "vbscript/internal/errors.h"
#include "vbscript/internal/lexer.h"
#include "vbscript/internal/nodes.h"

namespace orvan::vbs {

namespace detail {

[[noreturn]] static void fail(std::int32_t number) { throw runtimeError(number); }

static constexpr const char* kRuntimeSource = "Microsoft VBScript runtime error";
// The largest frame (a procedure's variables and arguments), and the first chunk's size.
static constexpr std::size_t kChunkSlots = 4096;
static constexpr std::size_t kFirstChunkSlots = 64;
static constexpr int kMaxDepth = 3000;
// Stack kept free below the deepest call the engine allows (for the library, com::invoke, and the
// sanitizers' larger frames).
static constexpr std::size_t kStackReserve = 512 * 1024;

// The Err object: the last error trapped under On Error Resume Next, and Raise / Clear.
class ErrObject final : public com::Object {
public:
    const com::TypeInfo& typeInfo() const override;

    Variant Number() const { return Variant(number); }
    void putNumber(Variant v) { number = com::CLng(v); }
    Variant Description() const { return Variant(description); }
    void putDescription(Variant v) { description = com::CStr(v); }
    Variant Source() const { return Variant(source); }
    void putSource(Variant v) { source = com::CStr(v); }
    Variant HelpFile() const { return Variant(helpFile); }
    void putHelpFile(Variant v) { helpFile = com::CStr(v); }
    Variant HelpContext() const { return Variant(helpContext); }
    void putHelpContext(Variant v) { helpContext = com::CLng(v); }
    void Clear() {
        number = 0;
        description.clear();
        source.clear();
        helpFile.clear();
        helpContext = 0;
    }
    // Raises error `number`; the omitted texts are the language's own for its numbers.
    void Raise(Variant n, Variant src, Variant desc, Variant file, Variant context) {
        const std::int32_t num = com::CLng(n);
        if (num == 0) fail(com::err::InvalidCall);
        std::string text;
        if (!desc.isMissing()) text = com::CStr(desc);
        else if (num > 0 && num <= 65535 && std::string_view(com::runtimeErrorText(num)) !=
                                                 com::runtimeErrorText(-1))
            text = runtimeError(num).description();
        else text = "Unknown runtime error";
        helpFile = file.isMissing() ? std::string() : com::CStr(file);
        helpContext = context.isMissing() ? 0 : com::CLng(context);
        throw com::ComError(num, std::move(text), src.isMissing() ? kRuntimeSource : com::CStr(src));
    }

    std::int32_t number = 0;
    std::string description, source, helpFile;
    std::int32_t helpContext = 0;
};

const com::TypeInfo& ErrObject::typeInfo() const {
    static const com::TypeInfo info = [] {
        com::TypeInfo t;
        t.className = "ErrObject";
        t.interfaceName = "IErrObject";
        t.members = {
            com::propertyGet<&ErrObject::Number>("Number", com::kDispidValue),
            com::propertyPut<&ErrObject::putNumber>("Number", com::kDispidValue),
            com::propertyGet<&ErrObject::Description>("Description", 1),
            com::propertyPut<&ErrObject::putDescription>("Description", 1),
            com::propertyGet<&ErrObject::Source>("Source", 2),
            com::propertyPut<&ErrObject::putSource>("Source", 2),
            com::propertyGet<&ErrObject::HelpFile>("HelpFile", 3),
            com::propertyPut<&ErrObject::putHelpFile>("HelpFile", 3),
            com::propertyGet<&ErrObject::HelpContext>("HelpContext", 4),
            com::propertyPut<&ErrObject::putHelpContext>("HelpContext", 4),
            com::method<&ErrObject::Raise>("Raise", 5,
                                           {"number", com::Param::opt("source"), com::Param::opt("description"),
                                            com::Param::opt("helpfile"), com::Param::opt("helpcontext")}),
            com::method<&ErrObject::Clear>("Clear", 6),
        };
        return t;
    }();
    return info;
}

// What GetRef gives: an object whose default method calls the procedure.
class ProcedureObject final : public com::Object {
public:
    ProcedureObject(std::shared_ptr<Runtime> rt, const Procedure& proc) : rt_(std::move(rt)), proc_(proc) {
        info_.className = "Object";
        info_.interfaceName = "IDispatch";
        com::MemberInfo m;
        m.name = proc.name;
        m.dispid = com::kDispidValue;
        m.kind = com::MemberKind::Method;
        m.result = proc.resultSlot >= 0 ? com::Decl::Variant : com::Decl::Void;
        for (const Param& p : proc.params)
            m.params.push_back(com::ParamInfo{p.name, com::Decl::Variant, "VARIANT", p.byRef, false, Variant::missing()});
        m.call = [](com::Object& self, std::span<Variant> args) {
            auto& me = static_cast<ProcedureObject&>(self);
            return me.rt_->call(me.proc_, nullptr, nullptr, nullptr, args);
        };
        info_.members.push_back(std::move(m));
    }
    const com::TypeInfo& typeInfo() const override { return info_; }

private:
    std::shared_ptr<Runtime> rt_;
    const Procedure& proc_;
    com::TypeInfo info_;
};

ClassInstance::ClassInstance(std::shared_ptr<Runtime> r, const ClassDef& c)
    : cls(c), state(std::make_shared<std::vector<Variant>>(c.fields.size())), fields(*state), rt(std::move(r)) {
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
        const FieldDef& fd = c.fields[i];
        if (fd.dynamicArray) fields[i] = Variant::unallocatedArray();
        if (fd.bounds.empty()) continue;
        std::vector<std::int32_t> sizes;
        std::size_t total = 1;
        for (std::int32_t b : fd.bounds) {
            sizes.push_back(b + 1);
            total *= static_cast<std::size_t>(b + 1);
        }
        fields[i] = Variant::array(std::vector<Variant>(total), sizes);
    }
}

ClassInstance::ClassInstance(const ClassInstance& dying, Terminating)
    : cls(dying.cls), state(dying.state), fields(*state), rt(dying.rt), terminated_(true) {}

ClassInstance::~ClassInstance() {
    if (!cls.terminate || !rt || terminated_) return;
    const int line = rt->line;
    try {
        com::ComPtr<ClassInstance> me(new ClassInstance(*this, Terminating{}));
        rt->call(*cls.terminate, me.get(), nullptr, nullptr, {});
    } catch (...) {
        // A destructor cannot report: an error (or a stop) inside Class_Terminate ends only the terminate.
    }
    rt->line = line;
}

const com::TypeInfo& ClassInstance::typeInfo() const { return cls.typeInfo; }

Variant invokeClassMember(com::Object& self, const ClassMember& m, com::MemberKind kind, std::span<Variant> args) {
    auto& inst = static_cast<ClassInstance&>(self);
    com::ComPtr<com::Object> keep(&inst);
    Runtime& rt = *inst.rt;
    switch (kind) {
        case com::MemberKind::Method: return rt.call(*m.method, &inst, nullptr, nullptr, args);
        case com::MemberKind::PropertyGet:
            if (m.field >= 0) return inst.fields[static_cast<std::size_t>(m.field)];
            return rt.call(*m.get, &inst, nullptr, nullptr, args);
        case com::MemberKind::PropertyPut:
            if (m.field >= 0) {
                inst.fields[static_cast<std::size_t>(m.field)] = args.back();
                return Variant();
            }
            return rt.call(*m.let, &inst, nullptr, nullptr, args);
        case com::MemberKind::PropertyPutRef:
            if (m.field >= 0) {
                inst.fields[static_cast<std::size_t>(m.field)] = args.back();
                return Variant();
            }
            return rt.call(*m.set, &inst, nullptr, nullptr, args);
    }
    return Variant();
}

}  // namespace detail

using com::Variant;
using detail::fail;
using detail::Frame;
using detail::GlobalEntry;
using detail::kChunkSlots;
using detail::kFirstChunkSlots;
using detail::kMaxDepth;
using detail::kStackReserve;
using detail::Procedure;
using detail::Slot;

Runtime::Runtime(EngineHooks h) : hooks(std::move(h)), err_(com::make<detail::ErrObject>()) {}

Runtime::~Runtime() = default;

GlobalEntry* Runtime::lookup(const std::string& upper) {
    auto it = byName_.find(upper);
    return it == byName_.end() ? nullptr : it->second;
}

GlobalEntry& Runtime::define(const std::string& upper, std::string_view name) {
    if (GlobalEntry* e = lookup(upper)) return *e;
    GlobalEntry& e = globals_.emplace_back();
    e.name = std::string(name);
    byName_.emplace(upper, &e);
    return e;
}

GlobalEntry** Runtime::findBindings(const Program& program) {
    for (auto& [p, table] : bindings_)
        if (p == &program) {
            lastProgram_ = p;
            lastBindings_ = table->data();
            return lastBindings_;
        }
    auto table = std::make_unique<std::vector<GlobalEntry*>>(program.globalNames.size(), nullptr);
    for (std::size_t i = 0; i < program.globalNames.size(); ++i) (*table)[i] = lookup(program.globalNames[i]);
    GlobalEntry** data = table->data();
    bindings_.emplace_back(&program, std::move(table));
    lastProgram_ = &program;
    lastBindings_ = data;
    return data;
}

GlobalEntry* Runtime::resolve(const Frame& f, int binding, bool create) {
    const std::string& name = f.program->globalNames[static_cast<std::size_t>(binding)];
    GlobalEntry* e = lookup(name);
    if (!e && create) e = &define(name, name);
    if (e) f.globals[binding] = e;
    return e;
}

void Runtime::clearGlobals() {
    // The script's variables in the order they were made, then the host's objects: a Class_Terminate
    // that runs meanwhile may still use the host's objects and the variables not yet released.
    for (const bool host : {false, true})
        for (GlobalEntry& e : globals_) {
            if (e.host != host) continue;
            Variant old = std::move(e.value);
            e.value = Variant();
        }
    globals_.clear();
    byName_.clear();
    bindings_.clear();
    lastProgram_ = nullptr;
}

Slot* Runtime::pushSlotsInNewChunk(std::size_t n) {
    if (n > kChunkSlots) fail(com::err::OutOfStackSpace);
    // The frame starts the next chunk (the tail of this one stays unused); a chunk too small for it,
    // kept from an earlier run of the engine, is replaced by one twice the size.
    // The first chunk is made even for a frame of no slots (a page's top level without local
    // variables), so that the calls beneath it find room in it.
    if (!chunks_.empty()) ++chunk_;
    const std::size_t wanted =
        std::max(n, chunk_ == 0 ? kFirstChunkSlots : std::min(kChunkSlots, chunks_[chunk_ - 1].size * 2));
    if (chunk_ == chunks_.size()) chunks_.emplace_back();
    if (chunks_[chunk_].size < n || chunks_[chunk_].size == 0)
        chunks_[chunk_] = SlotChunk{std::make_unique<Slot[]>(wanted), wanted};
    chunkBase_ = chunks_[chunk_].slots.get();
    chunkSize_ = chunks_[chunk_].size;
    Slot* base = chunkBase_;
    top_ = n;
    for (std::size_t i = 0; i < n; ++i) base[i].ref = &base[i].value;
    return base;
}

void Runtime::releaseSlot(Variant& v) {
    // Released after the slot is already empty: a Class_Terminate it runs sees it so.
    Variant old = std::move(v);
    v = empty_;
}

void Runtime::enterChunk(std::size_t chunk) {
    chunk_ = chunk;
    chunkBase_ = chunks_[chunk].slots.get();
    chunkSize_ = chunks_[chunk].size;
}

namespace {

// Frees a frame's slots on every way out of a call.
struct SlotScope {
    Runtime& rt;
    int count;
    Runtime::SlotMark mark{};
    Slot* base = rt.pushSlots(count, mark);
    ~SlotScope() { rt.popSlots(base, count, mark); }
};

// The lowest address of this thread's stack, asked once per thread (the main thread's answer comes
// from reading the process's memory map).
const char* stackLow() {
    thread_local const char* low = [] {
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) != 0) return static_cast<const char*>(nullptr);
        void* addr = nullptr;
        std::size_t size = 0;
        pthread_attr_getstack(&attr, &addr, &size);
        pthread_attr_destroy(&attr);
        return static_cast<const char*>(addr);
    }();
    return low;
}

std::size_t stackRoom() {
    const char* low = stackLow();
    if (!low) return 1024 * 1024;
    const char* here = static_cast<const char*>(__builtin_frame_address(0));
    if (here <= low) return 0;
    const std::size_t room = static_cast<std::size_t>(here - low);
    return room > kStackReserve ? room - kStackReserve : 0;
}

}  // namespace

// Drops the binding table of a program that is not kept when the scope ends.
struct Runtime::ForgetBindings {
    Runtime& rt;
    const Program* prog;
    ~ForgetBindings() {
        if (prog) rt.forgetBindings(*prog);
    }
};

// Counts one level of script nesting; refuses the level when the thread's stack would run short.
struct Runtime::Depth {
    Runtime& rt;
    explicit Depth(Runtime& r) : rt(r) {
        if (rt.depth_ == 0) {
            rt.stackBase_ = static_cast<const char*>(__builtin_frame_address(0));
            rt.stackRoom_ = stackRoom();
            rt.hostLocale_ = com::threadRegional();
            if (rt.localeChosen_) com::setThreadRegional(rt.scriptLocale_);
        } else {
            const char* here = static_cast<const char*>(__builtin_frame_address(0));
            if (rt.depth_ >= kMaxDepth || (here < rt.stackBase_ && static_cast<std::size_t>(rt.stackBase_ - here) >
                                                                         rt.stackRoom_))
                fail(com::err::OutOfStackSpace);
        }
        ++rt.depth_;
    }
    ~Depth() {
        if (--rt.depth_ > 0) return;
        const com::Regional* now = com::threadRegional();
        if (now != rt.hostLocale_ || rt.localeChosen_) {
            rt.scriptLocale_ = now;
            rt.localeChosen_ = true;
        }
        com::setThreadRegional(rt.hostLocale_);
    }
};

Variant Runtime::call(const Procedure& p, detail::ClassInstance* me, const std::vector<detail::ExprPtr>* exprs,
                      Frame* caller, std::span<Variant> values) {
    const std::size_t n = exprs ? exprs->size() : values.size();
    if (n != p.params.size()) fail(com::err::WrongArgumentCount);
    Depth depth(*this);
    step();
    SlotScope scope{*this, p.slotCount};
    Slot* s = scope.base;
    // Array elements passed to ByRef parameters are copied in, and back out after the call.
    bool copyBack = false;
    for (std::size_t i = 0; i < n; ++i) {
        const bool byRef = p.params[i].byRef;
        if (exprs) {
            const detail::Expr& a = *(*exprs)[i];
            if (byRef) {
                Variant* r = detail::directVariable(a, *caller);
                if (!r) r = a.ref(*caller);
                if (r) {
                    s[i].ref = r;
                    continue;
                }
                copyBack = copyBack || a.writableByCopy();
            }
            s[i].value = a.eval(*caller);
        } else if (byRef) {
            s[i].ref = &values[i];
        } else {
            s[i].value = values[i];
        }
    }
    for (const detail::ArrayInit& a : p.arrays) {
        std::vector<std::int32_t> sizes;
        std::size_t total = 1;
        for (std::int32_t b : a.bounds) {
            sizes.push_back(b + 1);
            total *= static_cast<std::size_t>(b + 1);
        }
        s[a.slot].value =
            a.bounds.empty() ? Variant::unallocatedArray() : Variant::array(std::vector<Variant>(total), sizes);
    }
    Frame f;
    f.rt = this;
    f.proc = &p;
    f.program = p.program;
    f.slots = s;
    f.globals = bindingsOf(*p.program);
    f.me = me;
    const int callerLine = line;
    detail::execBlock(p.body, f);
    line = callerLine;
    Variant result;
    if (p.resultSlot >= 0) result = std::move(s[p.resultSlot].value);
    if (!copyBack) return result;
    // The parameters that took a copy: ByRef, given an expression that names no variable of its own
    // but an element (an array element, or a default-member call: never a plain variable).
    for (std::size_t i = 0; i < n; ++i) {
        if (!p.params[i].byRef || !(*exprs)[i]->writableByCopy()) continue;
        auto& name = static_cast<const detail::NameExpr&>(*(*exprs)[i]);
        Variant* array = name.storage(*caller);
        if (!array || !array->isArray()) continue;
        // Re-enter through assign: it re-reads the subscripts and checks them against the array now.
        name.assign(*caller, std::move(s[i].value), false);
    }
    return result;
}

void Runtime::forgetBindings(const Program& prog) {
    auto& b = bindings_;
    b.erase(std::remove_if(b.begin(), b.end(), [&](const auto& e) { return e.first == &prog; }), b.end());
    if (lastProgram_ == &prog) lastProgram_ = nullptr;
}

// The frame of a program's top-level code: its own slots, the engine's globals, and the Me and caller
// of the code that runs it (Execute inside a method sees that method's Me).
static Frame topFrame(Runtime* rt, const Program& prog, Slot* slots, GlobalEntry** globals, Frame* enclosing) {
    Frame f;
    f.rt = rt;
    f.proc = prog.top.get();
    f.program = &prog;
    f.slots = slots;
    f.globals = globals;
    f.me = enclosing ? enclosing->me : nullptr;
    f.parent = enclosing;
    return f;
}

void Runtime::runProgram(std::shared_ptr<const Program> program, Frame* enclosing) {
    const Program& prog = *program;
    const bool keep = !enclosing || !prog.procedures.empty() || !prog.classes.empty() || !prog.decls.empty();
    if (keep) programs_.push_back(program);  // its procedures and classes stay reachable from the global scope
    // The binding table of code run once goes with it (its address may be a later program's).
    ForgetBindings forget{*this, keep ? nullptr : &prog};
    GlobalEntry** g = bindingsOf(prog);
    for (const detail::GlobalDecl& d : prog.decls) {
        const std::string& upper = prog.globalNames[static_cast<std::size_t>(d.binding)];
        GlobalEntry& e = define(upper, upper);
        switch (d.kind) {
            case detail::GlobalDecl::Kind::Variable:
                if (d.fixedArray) {
                    std::vector<std::int32_t> sizes;
                    std::size_t total = 1;
                    for (std::int32_t b : d.bounds) {
                        sizes.push_back(b + 1);
                        total *= static_cast<std::size_t>(b + 1);
                    }
                    e.value = Variant::array(std::vector<Variant>(total), sizes);
                    e.fixedArray = true;
                } else if (d.dynamicArray) {
                    e.value = Variant::unallocatedArray();
                }
                break;
            case detail::GlobalDecl::Kind::Constant:
                e.value = d.value;
                e.constant = true;
                break;
            case detail::GlobalDecl::Kind::Procedure: e.procedure = d.procedure; break;
            case detail::GlobalDecl::Kind::Class: e.cls = d.cls; break;
        }
        g[d.binding] = &e;
    }
    Depth depth(*this);
    SlotScope scope{*this, prog.top->slotCount};
    Frame f = topFrame(this, prog, scope.base, g, enclosing);
    const int callerLine = line;
    detail::execBlock(prog.top->body, f);
    line = callerLine;
}

Variant Runtime::evaluate(const Program& prog, Frame* enclosing) {
    Depth depth(*this);
    GlobalEntry** g = bindingsOf(prog);
    // The binding table of a one-off expression goes with it.
    ForgetBindings forget{*this, &prog};
    SlotScope scope{*this, prog.top->slotCount};
    Frame f = topFrame(this, prog, scope.base, g, enclosing);
    return prog.expression->eval(f);
}

com::ComPtr<detail::ClassInstance> Runtime::instantiate(const detail::ClassDef& cls) {
    auto inst = com::make<detail::ClassInstance>(shared_from_this(), cls);
    if (cls.initialize) call(*cls.initialize, inst.get(), nullptr, nullptr, {});
    return inst;
}

com::ComPtr<com::Object> Runtime::createObject(std::string_view progId) {
    com::ComPtr<com::Object> o =
        hooks.createObject ? hooks.createObject(progId) : com::ClassRegistry::instance().create(progId);
    if (!o) fail(com::err::CantCreateObject);
    return o;
}

com::ComPtr<com::Object> Runtime::procedureReference(const Procedure& proc) {
    return com::make<detail::ProcedureObject>(shared_from_this(), proc);
}

void Runtime::setError(const com::ComError& e) {
    const com::ComError seen = detail::asScriptSees(e);
    err_->number = seen.number();
    err_->description = seen.description();
    err_->source = seen.source().empty() ? detail::kRuntimeSource : seen.source();
}

void Runtime::clearError() { err_->Clear(); }

void Runtime::checkpoint() {
    try {
        hooks.checkpoint();
    } catch (...) {
        stopping = std::current_exception();
        throw StopRun{};
    }
}

com::ComPtr<com::Object> Runtime::err() const { return err_; }

}  // namespace orvan::vbs
