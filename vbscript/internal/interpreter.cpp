// The interpreter: how each node of the compiled tree evaluates itself against a frame. Values move
// rather than copy where they can; plain variables are read in place (peek) by operators and
// conditions; calls to automation objects go through com::invoke and write by-reference arguments
// back into the variables that were passed.
#include <array>
#include <cmath>
#include <exception>
#include <new>
#include <stdexcept>
#include <typeinfo>

#include "com_server/class_registry.h"
#include "com_server/conversions.h"
#include "com_server/dispatch.h"
#include "com_server/enumeration.h"
#include "vbscript/internal/compiler.h"
#include "vbscript/internal/scripting_objects.h"
#include "vbscript/internal/errors.h"
#include "vbscript/internal/lexer.h"
#include "vbscript/internal/nodes.h"
#include "vbscript/internal/runtime.h"

namespace orvan::vbs::detail {

namespace {

[[noreturn]] void fail(std::int32_t number) { throw runtimeError(number); }

constexpr std::int64_t kMaxArrayItems = std::int64_t{1} << 26;

// The object a member access or call is made on: 424 for a value that is no object, 91 for Nothing.
com::ComPtr<com::Object> objectOf(const Variant& v) {
    if (!v.isObject()) fail(com::err::ObjectRequired);
    if (!v.rawObject()) fail(com::err::ObjectNotSet);
    return v.rawObject();
}

// A value as a Let assignment stores it: an object gives its default member's value.
Variant letValue(Variant v) {
    if (!v.isObject()) return v;
    if (!v.rawObject()) fail(com::err::ObjectNotSet);
    return com::defaultValue(v);
}

// The position of an element in an array's storage, checked against each dimension's size.
std::size_t checkedOffset(const Variant& array, const std::int32_t* subs, std::size_t count) {
    if (!array.isArray()) fail(com::err::TypeMismatch);
    const std::size_t dims = array.arrayDimensions();
    if (count != dims) fail(com::err::SubscriptOutOfRange);
    std::size_t offset = 0, stride = 1;
    for (std::size_t i = 0; i < dims; ++i) {
        const std::int32_t n = array.arraySize(i);
        if (subs[i] < 0 || subs[i] >= n) fail(com::err::SubscriptOutOfRange);
        offset += static_cast<std::size_t>(subs[i]) * stride;
        stride *= static_cast<std::size_t>(n);
    }
    return offset;
}

// The storage position of the element of array at the subscripts args. The subscripts are evaluated
// first; the array is checked afterwards, as it is then (their evaluation may have changed it).
std::size_t elementIndex(Frame& f, const Variant& array, const std::vector<ExprPtr>& args) {
    std::array<std::int32_t, 16> small{};
    std::vector<std::int32_t> large;
    std::int32_t* subs = small.data();
    if (args.size() > small.size()) {
        large.resize(args.size());
        subs = large.data();
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        Variant tmp;
        const Variant& v = args[i]->peek(f, tmp);
        if (v.isMissing()) fail(com::err::SubscriptOutOfRange);
        subs[i] = com::CLng(v);
    }
    return checkedOffset(array, subs, args.size());
}

Variant& elementOf(Frame& f, Variant& array, const std::vector<ExprPtr>& args) {
    const std::size_t i = elementIndex(f, array, args);
    return array.rawArray()[i];
}

// Arguments evaluated for a late-bound call, with room for the value of a property put.
struct ArgValues {
    std::vector<Variant> values;
    ArgValues(Frame& f, const std::vector<ExprPtr>& args, std::size_t extra) {
        values.reserve(args.size() + extra);
        for (const auto& a : args) values.push_back(a->eval(f));
    }
};

// After a late-bound call: the by-reference arguments' new values go back into the variables passed
// (a plain variable; an array element is copied back into its array).
void writeBack(Frame& f, const std::vector<ExprPtr>& args, std::vector<Variant>& values) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Expr& a = *args[i];
        if (Variant* p = a.ref(f)) {
            *p = std::move(values[i]);
        } else if (a.writableByCopy()) {
            auto& n = static_cast<const NameExpr&>(a);
            Variant* array = n.storage(f);
            if (array && array->isArray()) {
                try {
                    elementOf(f, *array, n.args) = std::move(values[i]);
                } catch (const com::ComError&) {
                    // The array changed shape during the call: the element is gone, nothing to write.
                }
            }
        }
    }
}

Variant invokeLate(Frame& f, com::Object& obj, const std::string* name, unsigned flags,
                   const std::vector<ExprPtr>& args, Variant* putValue) {
    ArgValues a(f, args, putValue ? 1 : 0);
    if (putValue) {
        // A put goes wherever the object takes it (its own put, else the default member of what the
        // getter returns); the arguments of a put are never written back.
        com::putMember(obj, name ? std::string_view(*name) : std::string_view(), std::move(a.values),
                       std::move(*putValue), flags == com::kPutRef);
        return Variant();
    }
    Variant result;
    try {
        result = name ? com::invoke(obj, *name, flags, a.values) : com::invoke(obj, com::kDispidValue, flags, a.values);
    } catch (const com::ComError&) {
        writeBack(f, args, a.values);
        throw;
    }
    writeBack(f, args, a.values);
    return result;
}

// obj(args) = value for an object that is not the script's own: a dictionary's item directly, anything
// else through the object's member table.
void putDefault(Frame& f, com::Object& obj, const std::vector<ExprPtr>& args, Variant&& value, bool isSet) {
    if (args.size() == 1) {
        Variant key = args[0]->eval(f);
        if (!key.isMissing()) {
            if (writeDictionaryItem(obj, std::move(key), std::move(value))) return;
            std::vector<Variant> values;
            values.push_back(std::move(key));
            com::putMember(obj, {}, std::move(values), std::move(value), isSet);
            return;
        }
    }
    com::putMember(obj, {}, ArgValues(f, args, 0).values, std::move(value), isSet);
}

// The script's own instance behind an object, or null (ClassInstance is final: its type is enough).
ClassInstance* instanceOf(com::Object* o) {
    return typeid(*o) == typeid(ClassInstance) ? static_cast<ClassInstance*>(o) : nullptr;
}

// Reads member m of a script's instance (a field, a method or a Property Get) with args.
Variant readMember(Frame& f, ClassInstance& inst, const ClassMember& m, const std::vector<ExprPtr>& args,
                   bool parens);

// The value of callee(args): an array's element, an object's default member.
[[gnu::noinline]] Variant applyArgs(Frame& f, const Variant& callee, const std::vector<ExprPtr>& args, bool parens) {
    if (callee.isArray()) {
        if (args.empty()) {
            if (parens) fail(com::err::SubscriptOutOfRange);
            return callee;
        }
        const std::size_t i = elementIndex(f, callee, args);
        return callee.rawArray()[i];
    }
    if (callee.isObject()) {
        com::ComPtr<com::Object> obj = objectOf(callee);
        if (ClassInstance* inst = instanceOf(obj.get())) {
            if (inst->cls.defaultMember < 0) fail(com::err::NotSupported);
            return readMember(f, *inst, inst->cls.members[static_cast<std::size_t>(inst->cls.defaultMember)], args,
                              true);
        }
        if (args.size() == 1) {
            Variant tmp, item;
            const Variant& key = args[0]->peek(f, tmp);
            if (!key.isMissing() && readDictionaryItem(*obj, key, item)) return item;
        }
        return invokeLate(f, *obj, nullptr, com::kMethod | com::kGet, args, nullptr);
    }
    if (args.empty()) return callee;
    fail(com::err::TypeMismatch);
}

Variant readMember(Frame& f, ClassInstance& inst, const ClassMember& m, const std::vector<ExprPtr>& args,
                   bool parens) {
    if (m.field >= 0) {
        const Variant& v = inst.fields[static_cast<std::size_t>(m.field)];
        if (args.empty() && !parens) return v;
        return applyArgs(f, v, args, parens);
    }
    const Procedure* p = m.method ? m.method : m.get;
    if (!p) fail(com::err::WrongArgumentCount);
    // The caller holds the instance (a variable's reference, or the call on Me that is running).
    return f.rt->call(*p, &inst, &args, &f);
}

// Stores into member m of a script's instance: a field, or a Property Let / Set with args.
void writeMember(Frame& f, ClassInstance& inst, const ClassMember& m, const std::vector<ExprPtr>& args,
                 Variant value, bool isSet) {
    if (m.field >= 0) {
        Variant& slot = inst.fields[static_cast<std::size_t>(m.field)];
        if (args.empty()) slot = std::move(value);
        else if (slot.isArray()) elementOf(f, slot, args) = std::move(value);
        else fail(com::err::TypeMismatch);
        return;
    }
    const Procedure* p = isSet ? m.set : m.let;
    if (!p && !isSet && !m.let && m.set && value.isObject()) p = m.set;
    if (!p) fail(isSet && m.let ? com::err::ObjectRequired : com::err::IllegalAssignment);
    if (p->params.size() != args.size() + 1) fail(com::err::WrongArgumentCount);
    // The arguments, then the value as the last (ByVal in effect: it is a temporary).
    std::array<Variant, 4> small;
    std::vector<Variant> large;
    std::span<Variant> values;
    if (args.size() < small.size()) {
        values = std::span<Variant>(small.data(), args.size() + 1);
    } else {
        large.resize(args.size() + 1);
        values = large;
    }
    for (std::size_t i = 0; i < args.size(); ++i) values[i] = args[i]->eval(f);
    values[args.size()] = std::move(value);
    f.rt->call(*p, &inst, nullptr, &f, values);
}

// Appends text to a variable that holds a string, in place. The Variant is not const (it is a
// variable's storage); rawString() only offers a const view, so the constness is cast away here.
void appendText(Variant& target, std::string_view text) {
    const_cast<std::string&>(target.rawString()).append(text);
}

// The less common ways of NameExpr::eval stay out of line: their locals (argument arrays, texts) would
// otherwise enlarge the frame of every script call, and deep recursion runs out of stack sooner.
[[gnu::noinline]] Variant callLibrary(Frame& f, const LibraryFunction& fn, const std::vector<ExprPtr>& args) {
    const int n = static_cast<int>(args.size());
    if (n < fn.minArgs || n > fn.maxArgs) fail(com::err::WrongArgumentCount);
    std::array<Variant, 6> small;
    std::vector<Variant> large;
    std::span<Variant> values;
    if (args.size() <= small.size()) {
        for (std::size_t i = 0; i < args.size(); ++i) small[i] = args[i]->eval(f);
        values = std::span<Variant>(small.data(), args.size());
    } else {
        for (const auto& a : args) large.push_back(a->eval(f));
        values = large;
    }
    try {
        return fn.fn(values);
    } catch (const std::bad_alloc&) {
        fail(com::err::OutOfMemory);
    } catch (const std::length_error&) {
        fail(com::err::OutOfMemory);
    }
}

std::string textArgument(Frame& f, const std::vector<ExprPtr>& args, std::size_t count) {
    if (args.size() != count) fail(com::err::WrongArgumentCount);
    return com::CStr(letValue(args[0]->eval(f)));
}

Enclosing enclosingOf(const Frame& f) {
    Enclosing e;
    e.procedure = f.proc;
    e.cls = f.me ? &f.me->cls : nullptr;
    return e;
}

// A compile error in code given to Eval or Execute is a run-time error of the caller.
template <typename F>
auto compiling(F&& fn) {
    try {
        return fn();
    } catch (const CompileError& e) {
        throw com::ComError(e.number(), e.description());
    }
}

// An error in code run by Eval or Execute is reported at the line of the statement that ran it.
struct CallerLine {
    Runtime& rt;
    int line = rt.line;
    int pending = std::uncaught_exceptions();
    ~CallerLine() {
        if (std::uncaught_exceptions() > pending) rt.line = line;
    }
};

[[gnu::noinline]] Variant callBuiltin(Frame& f, Builtin b, const std::vector<ExprPtr>& args, bool parens) {
    CallerLine callerLine{*f.rt};
    switch (b) {
        case Builtin::Err: {
            Variant err(f.rt->err());
            if (args.empty() && !parens) return err;
            return applyArgs(f, err, args, parens);
        }
        case Builtin::Eval: {
            const std::string code = textArgument(f, args, 1);
            const Enclosing e = enclosingOf(f);
            auto prog = compiling([&] { return compileExpression(code, &e); });
            return f.rt->evaluate(*prog, &f);
        }
        case Builtin::Execute: {
            const std::string code = textArgument(f, args, 1);
            const Enclosing e = enclosingOf(f);
            auto prog = compiling([&] { return compileScript(code, &e); });
            f.rt->runProgram(std::move(prog), &f);
            return Variant();
        }
        case Builtin::ExecuteGlobal: {
            const std::string code = textArgument(f, args, 1);
            auto prog = compiling([&] { return compileScript(code, nullptr); });
            f.rt->runProgram(std::move(prog), nullptr);
            return Variant();
        }
        case Builtin::GetRef: {
            const std::string name = textArgument(f, args, 1);
            GlobalEntry* e = f.rt->lookup(upperName(name));
            if (!e || !e->procedure) fail(com::err::InvalidCall);
            return Variant(f.rt->procedureReference(*e->procedure));
        }
        case Builtin::CreateObject: {
            if (args.empty() || args.size() > 2) fail(com::err::WrongArgumentCount);
            return Variant(f.rt->createObject(com::CStr(letValue(args[0]->eval(f)))));
        }
    }
    fail(com::err::InternalError);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Expressions.

namespace {

// The storage of a plain variable name on the hot paths: a frame slot, or a global already bound to
// a variable; everything else takes NameExpr::storage.
inline Variant* variableOf(const NameExpr& n, Frame& f) {
    if (n.kind == NameKind::Local) return &f.slot(n.slot);
    if (n.kind == NameKind::Global) {
        GlobalEntry* e = f.globals[n.binding];
        if (e && !e->procedure && !e->cls) return &e->value;
    }
    return n.storage(f);
}

}  // namespace

void Expr::assign(Frame&, Variant&&, bool) const { fail(com::err::IllegalAssignment); }

Variant* NameExpr::storage(Frame& f) const {
    switch (kind) {
        case NameKind::Local: return &f.slot(slot);
        case NameKind::Outer: return &f.parent->slot(slot);
        case NameKind::Field: return &f.me->fields[static_cast<std::size_t>(slot)];
        case NameKind::Global: {
            GlobalEntry* e = f.globals[binding];
            if (!e) e = f.rt->resolve(f, binding, !f.program->optionExplicit);
            if (!e) fail(com::err::VariableUndefined);
            if (e->procedure || e->cls) return nullptr;
            return &e->value;
        }
        case NameKind::Dynamic: {
            GlobalEntry* e = f.globals[binding];
            if (!e) e = f.rt->resolve(f, binding, false);
            if (e) return e->procedure || e->cls ? nullptr : &e->value;
            if (f.program->optionExplicit) fail(com::err::VariableUndefined);
            return &f.slot(slot);
        }
        default: return nullptr;
    }
}

bool NameExpr::pure() const {
    if (!args.empty() || hasParens) return false;
    switch (kind) {
        case NameKind::Local:
        case NameKind::Outer:
        case NameKind::Field:
        case NameKind::Constant: return true;
        default: return false;
    }
}

Variant* NameExpr::ref(Frame& f) const {
    if (!args.empty() || hasParens) return nullptr;
    switch (kind) {
        case NameKind::Local: return &f.slot(slot);
        case NameKind::Outer:
        case NameKind::Field:
        case NameKind::Global:
        case NameKind::Dynamic: return variableOf(*this, f);
        default: return nullptr;
    }
}

const Variant& NameExpr::peek(Frame& f, Variant& tmp) const {
    if (args.empty() && !hasParens) {
        switch (kind) {
            case NameKind::Constant: return constant;
            case NameKind::Local: return f.slot(slot);
            case NameKind::Outer:
            case NameKind::Field:
            case NameKind::Global:
            case NameKind::Dynamic:
                if (Variant* p = variableOf(*this, f)) return *p;
                break;
            default: break;
        }
    }
    tmp = eval(f);
    return tmp;
}

Variant NameExpr::eval(Frame& f) const {
    switch (kind) {
        case NameKind::Constant:
            if (!args.empty()) fail(com::err::TypeMismatch);
            return constant;
        case NameKind::Local:
            if (args.empty() && !hasParens) return f.slot(slot);
            return applyArgs(f, f.slot(slot), args, hasParens);
        case NameKind::Outer:
        case NameKind::Field:
        case NameKind::Global:
        case NameKind::Dynamic: {
            if (Variant* p = variableOf(*this, f)) {
                if (args.empty() && !hasParens) return *p;
                return applyArgs(f, *p, args, hasParens);
            }
            GlobalEntry* e = f.globals[binding];
            if (e && e->procedure) return f.rt->call(*e->procedure, nullptr, &args, &f);
            fail(com::err::TypeMismatch);
        }
        case NameKind::Procedure: return f.rt->call(*procedure, nullptr, &args, &f);
        case NameKind::Member: return readMember(f, *f.me, *member, args, hasParens);
        case NameKind::Library: return callLibrary(f, *library, args);
        case NameKind::Builtin: return callBuiltin(f, builtin, args, hasParens);
        case NameKind::Unresolved: break;
    }
    fail(com::err::InternalError);
}

void NameExpr::assign(Frame& f, Variant&& value, bool isSet) const {
    if (kind == NameKind::Member) return writeMember(f, *f.me, *member, args, std::move(value), isSet);
    if (kind == NameKind::Builtin && builtin == Builtin::Err && args.empty()) {
        // Err = n sets Err.Number, its default property.
        Variant e(f.rt->err());
        Variant put[] = {std::move(value)};
        com::invoke(*objectOf(e), com::kDispidValue, com::kPut, put);
        return;
    }
    Variant* p = storage(f);
    if (!p) fail(com::err::IllegalAssignment);
    if (kind == NameKind::Global || kind == NameKind::Dynamic) {
        GlobalEntry* e = f.globals[binding];
        if (e && e->constant) fail(com::err::IllegalAssignment);
    }
    if (args.empty() && !hasParens) {
        *p = std::move(value);
        return;
    }
    if (p->isArray()) {
        elementOf(f, *p, args) = std::move(value);
        return;
    }
    if (p->isObject()) {
        com::ComPtr<com::Object> obj = objectOf(*p);
        if (ClassInstance* inst = instanceOf(obj.get())) {
            if (inst->cls.defaultMember < 0) fail(com::err::NotSupported);
            return writeMember(f, *inst, inst->cls.members[static_cast<std::size_t>(inst->cls.defaultMember)], args,
                               std::move(value), isSet);
        }
        putDefault(f, *obj, args, std::move(value), isSet);
        return;
    }
    fail(com::err::TypeMismatch);
}

Variant MemberExpr::eval(Frame& f) const {
    Variant tmp;
    com::ComPtr<com::Object> obj = objectOf(base->peek(f, tmp));
    if (ClassInstance* inst = instanceOf(obj.get())) {
        const ClassMember* m = inst->cls.find(upper, hash);
        if (!m || (!m->isPublic && f.me != inst)) fail(com::err::NotSupported);
        return readMember(f, *inst, *m, args, hasParens);
    }
    return invokeLate(f, *obj, &name, com::kMethod | com::kGet, args, nullptr);
}

void MemberExpr::assign(Frame& f, Variant&& value, bool isSet) const {
    Variant tmp;
    com::ComPtr<com::Object> obj = objectOf(base->peek(f, tmp));
    if (ClassInstance* inst = instanceOf(obj.get())) {
        const ClassMember* m = inst->cls.find(upper, hash);
        if (!m || (!m->isPublic && f.me != inst)) fail(com::err::NotSupported);
        return writeMember(f, *inst, *m, args, std::move(value), isSet);
    }
    com::putMember(*obj, name, ArgValues(f, args, 0).values, std::move(value), isSet);
}

Variant IndexExpr::eval(Frame& f) const {
    const Variant callee = base->eval(f);
    return applyArgs(f, callee, args, true);
}

void IndexExpr::assign(Frame& f, Variant&& value, bool isSet) const {
    const Variant callee = base->eval(f);
    com::ComPtr<com::Object> obj = objectOf(callee);
    if (ClassInstance* inst = instanceOf(obj.get())) {
        if (inst->cls.defaultMember < 0) fail(com::err::NotSupported);
        return writeMember(f, *inst, inst->cls.members[static_cast<std::size_t>(inst->cls.defaultMember)], args,
                           std::move(value), isSet);
    }
    putDefault(f, *obj, args, std::move(value), isSet);
}

namespace {

// A whole result in the narrowest kind its operands allow; false when it leaves Long's range.
bool wholeResult(std::int64_t r, bool wide, Whole& out) {
    if (!wide && r >= -32768 && r <= 32767) {
        out = Whole{r, false};
        return true;
    }
    if (r < INT32_MIN || r > INT32_MAX) return false;
    out = Whole{r, true};
    return true;
}

// + - * of a Double with a Double, Long or Integer: a Double, computed here. False for every other
// case (other subtypes, and a result out of range, which the general way reports as an overflow).
bool floatArithmetic(BinOp op, const Variant& x, const Variant& y, double& out) {
    if (op != BinOp::Add && op != BinOp::Sub && op != BinOp::Mul) return false;
    auto number = [](const Variant& v, double& d) {
        switch (v.type()) {
            case com::VarType::Double: d = v.rawDouble(); return true;
            case com::VarType::Long:
            case com::VarType::Integer: d = v.rawInt(); return true;
            default: return false;
        }
    };
    double a = 0, b = 0;
    if (!number(x, a) || !number(y, b)) return false;
    if (x.type() != com::VarType::Double && y.type() != com::VarType::Double) return false;
    out = op == BinOp::Add ? a + b : op == BinOp::Sub ? a - b : a * b;
    return std::isfinite(out);
}

Variant wholeVariant(const Whole& w) {
    return w.wide ? Variant(static_cast<std::int32_t>(w.value)) : Variant(static_cast<std::int16_t>(w.value));
}

// A value that is an Integer or a Long, as a whole number.
bool wholeOf(const Variant& v, Whole& out) {
    if (v.type() != com::VarType::Integer && v.type() != com::VarType::Long) return false;
    out = Whole{v.rawInt(), v.type() == com::VarType::Long};
    return true;
}

// x op y for + - * \ Mod on whole numbers; false for every other operator, for a result out of Long's
// range and for a division by zero (the general way reports those).
[[gnu::always_inline]] inline bool combineWhole(BinOp op, const Whole& x, const Whole& y, Whole& out) {
    const bool wide = x.wide || y.wide;
    switch (op) {
        case BinOp::Add: return wholeResult(x.value + y.value, wide, out);
        case BinOp::Sub: return wholeResult(x.value - y.value, wide, out);
        case BinOp::Mul: return wholeResult(x.value * y.value, wide, out);
        case BinOp::IntDiv:
        case BinOp::Mod:
            if (y.value == 0) return false;
            return wholeResult(op == BinOp::Mod ? x.value % y.value : x.value / y.value, wide, out);
        default: return false;
    }
}

// x op y for a comparison (Eq, Ne, Lt, Le, Gt, Ge) of two whole numbers.
[[gnu::always_inline]] inline Variant compareWhole(BinOp op, const Whole& x, const Whole& y) {
    switch (op) {
        case BinOp::Eq: return Variant(x.value == y.value);
        case BinOp::Ne: return Variant(x.value != y.value);
        case BinOp::Lt: return Variant(x.value < y.value);
        case BinOp::Le: return Variant(x.value <= y.value);
        case BinOp::Gt: return Variant(x.value > y.value);
        default: return Variant(x.value >= y.value);
    }
}

bool isComparison(BinOp op) {
    return op == BinOp::Eq || op == BinOp::Ne || op == BinOp::Lt || op == BinOp::Le || op == BinOp::Gt ||
           op == BinOp::Ge;
}

// x op y on two values already at hand: whole numbers and Doubles here, everything else the general way.
Variant computeBinary(BinOp op, const Variant& x, const Variant& y, bool numericLiteral) {
    Whole wx, wy;
    if (wholeOf(x, wx) && wholeOf(y, wy)) {
        if (isComparison(op)) return compareWhole(op, wx, wy);
        Whole w;
        if (combineWhole(op, wx, wy, w)) return wholeVariant(w);
    }
    double r = 0;
    if (floatArithmetic(op, x, y, r)) return Variant(r);
    return binary(op, x, y, numericLiteral);
}

}  // namespace

bool NameExpr::whole(Frame& f, Whole& out) const {
    if (!args.empty() || hasParens) return false;
    const Variant* p = nullptr;
    switch (kind) {
        case NameKind::Constant: p = &constant; break;
        case NameKind::Local:
        case NameKind::Outer:
        case NameKind::Field:
        case NameKind::Global:
        case NameKind::Dynamic: p = variableOf(*this, f); break;
        default: return false;
    }
    return p && wholeOf(*p, out);
}

bool NegateExpr::whole(Frame& f, Whole& out) const {
    Whole x;
    return a->whole(f, x) && wholeResult(-x.value, x.wide, out);
}

bool BinaryExpr::whole(Frame& f, Whole& out) const {
    switch (op) {
        case BinOp::Add:
        case BinOp::Sub:
        case BinOp::Mul:
        case BinOp::IntDiv:
        case BinOp::Mod: break;
        default: return false;
    }
    Whole x, y;
    return a->whole(f, x) && b->whole(f, y) && combineWhole(op, x, y, out);
}

Variant BinaryExpr::eval(Frame& f) const {
    // Operands that are plain variables or constants are read in place, without a call. An object
    // takes the general way: its default member may run script code that changes the other variable.
    if (a->direct != Direct::None && b->direct != Direct::None) {
        const Variant* x = directOperand(*a, f);
        const Variant* y = x ? directOperand(*b, f) : nullptr;
        if (y && !x->isObject() && !y->isObject()) return computeBinary(op, *x, *y, numericLiteral);
    }
    // Whole numbers first: no Variant is made for the operands or the intermediate results.
    switch (op) {
        case BinOp::Add:
        case BinOp::Sub:
        case BinOp::Mul:
        case BinOp::IntDiv:
        case BinOp::Mod: {
            Whole w;
            if (whole(f, w)) return wholeVariant(w);
            break;
        }
        case BinOp::Eq:
        case BinOp::Ne:
        case BinOp::Lt:
        case BinOp::Le:
        case BinOp::Gt:
        case BinOp::Ge: {
            Whole x, y;
            if (a->whole(f, x) && b->whole(f, y)) return compareWhole(op, x, y);
            break;
        }
        default: break;
    }
    Variant ta, tb;
    const Variant* x = nullptr;
    if (rightPure) {
        x = &a->peek(f, ta);
    } else {
        ta = a->eval(f);  // both operands are always evaluated, left first
        x = &ta;
    }
    const Variant& y = b->peek(f, tb);
    double r = 0;
    if (floatArithmetic(op, *x, y, r)) return Variant(r);
    return binary(op, *x, y, numericLiteral);
}

Variant IsExpr::eval(Frame& f) const {
    const Variant x = a->eval(f);
    const Variant y = b->eval(f);
    if (!x.isObject() || !y.isObject()) fail(com::err::ObjectRequired);
    return Variant(x.rawObject().get() == y.rawObject().get());
}

Variant NotExpr::eval(Frame& f) const {
    Variant tmp;
    return logicalNot(a->peek(f, tmp));
}

Variant NegateExpr::eval(Frame& f) const {
    Variant tmp;
    return negate(a->peek(f, tmp));
}

Variant NewExpr::eval(Frame& f) const {
    const ClassDef* c = cls;
    if (!c) {
        GlobalEntry* e = f.globals[binding];
        if (!e) e = f.rt->resolve(f, binding, false);
        if (e) c = e->cls;
    }
    if (c) return Variant(f.rt->instantiate(*c));
    // The language's own class comes from the process's registry, whatever the host lets
    // CreateObject make.
    if (upperName(name) == "REGEXP") {
        com::ComPtr<com::Object> re = com::ClassRegistry::instance().create("VBScript.RegExp");
        if (!re) fail(com::err::CantCreateObject);
        return Variant(re);
    }
    fail(com::err::ClassNotDefined);
}

Variant MeExpr::eval(Frame& f) const {
    if (!f.me) fail(com::err::ObjectRequired);
    return Variant(com::ComPtr<com::Object>(f.me));
}

Variant WithExpr::eval(Frame& f) const { return f.slot(slot); }
const Variant& WithExpr::peek(Frame& f, Variant&) const { return f.slot(slot); }

// ---------------------------------------------------------------------------------------------
// Statements.

Flow execBlock(const Block& block, Frame& f) {
    Runtime& rt = *f.rt;
    for (const StmtPtr& s : block) {
        rt.line = s->line;
        if (!f.resumeNext) {
            const Flow r = s->exec(f);
            if (r != Flow::Normal) return r;
            continue;
        }
        try {
            const Flow r = s->exec(f);
            if (r != Flow::Normal) return r;
        } catch (const com::ComError& e) {
            rt.setError(e);
        } catch (const std::bad_alloc&) {
            rt.setError(runtimeError(com::err::OutOfMemory));
        }
    }
    return Flow::Normal;
}

Flow ExprStmt::exec(Frame& f) const {
    expr->eval(f);
    return Flow::Normal;
}

Flow AssignStmt::exec(Frame& f) const {
    Variant v = value->eval(f);
    if (isSet) {
        if (!v.isObject()) fail(com::err::ObjectRequired);
    } else if (v.isObject()) {
        v = letValue(std::move(v));
    }
    if (variable && variable->kind == NameKind::Local) {
        f.slot(variable->slot) = std::move(v);
        return Flow::Normal;
    }
    if (variable && variable->kind == NameKind::Global) {
        GlobalEntry* e = f.globals[variable->binding];
        if (e && !e->procedure && !e->cls && !e->constant) {
            e->value = std::move(v);
            return Flow::Normal;
        }
    }
    target->assign(f, std::move(v), isSet);
    return Flow::Normal;
}

namespace {

bool appendable(const Variant& v) { return !v.isObject() && !v.isArray() && !v.isMissing(); }

void appendValue(Variant& target, const Variant& v) {
    if (v.isString()) appendText(target, v.rawString());
    else if (!v.isNull()) appendText(target, com::CStr(v));
}

}  // namespace

Flow AppendStmt::exec(Frame& f) const {
    auto& name = static_cast<const NameExpr&>(*target);
    if (parts.size() == 1) {
        Variant tmp;
        const Variant& r = parts[0]->peek(f, tmp);
        Variant* p = name.storage(f);
        if (p && p->isString() && appendable(r)) {
            if (&r == p) {
                const Variant copy = r;  // s = s & s
                appendValue(*p, copy);
            } else {
                appendValue(*p, r);
            }
            return Flow::Normal;
        }
        Variant current = name.eval(f);
        name.assign(f, letValue(binary(BinOp::Concat, current, r)), false);
        return Flow::Normal;
    }
    std::vector<Variant> values;
    values.reserve(parts.size());
    bool plain = true;
    for (const ExprPtr& part : parts) {
        values.push_back(part->eval(f));
        plain = plain && appendable(values.back());
    }
    Variant* p = name.storage(f);
    if (p && p->isString() && plain) {
        for (const Variant& v : values) appendValue(*p, v);
        return Flow::Normal;
    }
    Variant acc = name.eval(f);
    for (const Variant& v : values) acc = binary(BinOp::Concat, acc, v);
    name.assign(f, letValue(std::move(acc)), false);
    return Flow::Normal;
}

Flow IfStmt::exec(Frame& f) const {
    for (const auto& [cond, body] : branches) {
        bool taken = false;
        if (!f.resumeNext) {
            Variant tmp;
            taken = truthy(cond->peek(f, tmp));
        } else {
            // Under On Error Resume Next a condition that fails goes on into its own block, as the
            // language resumes with the statement that follows the failing one.
            try {
                Variant tmp;
                taken = truthy(cond->peek(f, tmp));
            } catch (const com::ComError& e) {
                f.rt->setError(e);
                taken = true;
            }
        }
        if (taken) return execBlock(body, f);
    }
    return execBlock(otherwise, f);
}

Flow SelectStmt::exec(Frame& f) const {
    const Variant sel = selector->eval(f);
    for (const Case& c : cases) {
        for (const ExprPtr& v : c.values) {
            Variant tmp;
            if (caseMatches(sel, v->peek(f, tmp), v->isNumberLiteral())) return execBlock(c.body, f);
        }
    }
    return hasElse ? execBlock(otherwise, f) : Flow::Normal;
}

namespace {

// A For bound: a plain number (text read as a number); Null is refused.
Variant loopNumber(Variant v) {
    v = letValue(std::move(v));
    if (v.isNull()) fail(com::err::InvalidUseOfNull);
    if (v.isEmpty()) return Variant(std::int16_t{0});
    if (v.isString()) return Variant(com::CDbl(v));
    if (!v.isNumeric()) fail(com::err::TypeMismatch);
    return v;
}

bool isWhole(const Variant& v) {
    return v.type() == com::VarType::Integer || v.type() == com::VarType::Long || v.type() == com::VarType::Byte;
}

}  // namespace

Flow ForStmt::exec(Frame& f) const {
    const Variant start = loopNumber(from->eval(f));
    const Variant end = loopNumber(to->eval(f));
    const Variant inc = step ? loopNumber(step->eval(f)) : Variant(std::int16_t{1});
    counter->assign(f, Variant(start), false);
    const bool up = !truthy(binary(BinOp::Lt, inc, Variant(std::int16_t{0})));
    Variant* p = counter->ref(f);  // a plain variable: its storage stays put for the whole loop
    if (p && isWhole(start) && isWhole(end) && isWhole(inc)) {
        // Whole numbers: the counter keeps its kind (Integer, promoted to Long past its range).
        const std::int64_t last = end.rawInt(), by = inc.rawInt();
        const bool wide = start.type() == com::VarType::Long || inc.type() == com::VarType::Long;
        while (isWhole(*p)) {
            const std::int64_t i = p->rawInt();
            if (up ? i > last : i < last) return Flow::Normal;
            const Flow r = execBlock(body, f);
            if (r == Flow::ExitFor) return Flow::Normal;
            if (r != Flow::Normal) return r;
            f.rt->step();
            if (!isWhole(*p)) break;  // the body stored something else: go on the general way
            const std::int64_t n = p->rawInt() + by;
            if (!wide && p->type() != com::VarType::Long && n >= -32768 && n <= 32767)
                *p = Variant(static_cast<std::int16_t>(n));
            else if (n >= INT32_MIN && n <= INT32_MAX)
                *p = Variant(static_cast<std::int32_t>(n));
            else
                *p = Variant(static_cast<double>(n));
        }
    }
    for (;;) {
        const Variant c = letValue(counter->eval(f));
        if (truthy(binary(up ? BinOp::Gt : BinOp::Lt, c, end))) return Flow::Normal;
        const Flow r = execBlock(body, f);
        if (r == Flow::ExitFor) return Flow::Normal;
        if (r != Flow::Normal) return r;
        f.rt->step();
        counter->assign(f, binary(BinOp::Add, letValue(counter->eval(f)), inc), false);
    }
}

Flow ForEachStmt::exec(Frame& f) const {
    const Variant c = collection->eval(f);
    if (!c.isArray() && !c.isObject()) fail(com::err::NotACollection);
    com::ComPtr<com::Enumerator> en = com::enumerate(c);
    Variant item;
    while (en->next(item)) {
        const bool isObject = item.isObject();
        element->assign(f, std::move(item), isObject);
        item = Variant();
        const Flow r = execBlock(body, f);
        if (r == Flow::ExitFor) return Flow::Normal;
        if (r != Flow::Normal) return r;
        f.rt->step();
    }
    return Flow::Normal;
}

Flow DoStmt::exec(Frame& f) const {
    for (;;) {
        if (condition && !testAfter) {
            Variant tmp;
            const bool c = truthy(condition->peek(f, tmp));
            if (until ? c : !c) return Flow::Normal;
        }
        const Flow r = execBlock(body, f);
        if (r == Flow::ExitDo) return Flow::Normal;
        if (r != Flow::Normal) return r;
        if (condition && testAfter) {
            Variant tmp;
            const bool c = truthy(condition->peek(f, tmp));
            if (until ? c : !c) return Flow::Normal;
        }
        f.rt->step();
    }
}

Flow WithStmt::exec(Frame& f) const {
    f.slot(slot) = object->eval(f);
    const Flow r = execBlock(body, f);
    f.slot(slot) = Variant();
    return r;
}

Flow OnErrorStmt::exec(Frame& f) const {
    f.resumeNext = resumeNext;
    f.rt->clearError();
    return Flow::Normal;
}

Flow ReDimStmt::exec(Frame& f) const {
    for (const Item& item : items) {
        std::vector<std::int32_t> sizes;
        std::int64_t total = 1;
        for (const ExprPtr& b : item.bounds) {
            const std::int32_t ub = com::CLng(letValue(b->eval(f)));
            if (ub < -1) fail(com::err::SubscriptOutOfRange);
            sizes.push_back(ub + 1);
            total *= ub + 1;
            if (total > kMaxArrayItems) fail(com::err::OutOfMemory);
        }
        if (item.target->fixedArray) fail(com::err::ArrayFixed);
        Variant* p = item.target->storage(f);
        if (!p) fail(com::err::IllegalAssignment);
        // An array without dimensions has nothing to keep: Preserve gives it its first ones.
        if (preserve && p->isArray() && p->arrayDimensions() > 0) {
            const std::size_t dims = p->arrayDimensions();
            if (dims != sizes.size()) fail(com::err::SubscriptOutOfRange);
            for (std::size_t i = 0; i + 1 < dims; ++i)
                if (p->arraySize(i) != sizes[i]) fail(com::err::SubscriptOutOfRange);
            // The last subscript varies slowest, so keeping the elements is a resize of the storage.
            p->rawArray().resize(static_cast<std::size_t>(total));
            p->setArraySizes(sizes);
        } else {
            *p = Variant::array(std::vector<Variant>(static_cast<std::size_t>(total)), sizes);
        }
    }
    return Flow::Normal;
}

Flow EraseStmt::exec(Frame& f) const {
    Variant* p = target->storage(f);
    if (!p || !p->isArray()) fail(com::err::TypeMismatch);
    if (target->fixedArray) {
        for (Variant& v : p->rawArray()) v = Variant();
    } else {
        *p = Variant::unallocatedArray();  // a dynamic array goes back to having no dimensions
    }
    return Flow::Normal;
}

}  // namespace orvan::vbs::detail
