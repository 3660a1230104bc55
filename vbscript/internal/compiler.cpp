// The compiler: a recursive-descent parser over the tokens that builds the tree, then one pass that
// resolves every name of every scope once the whole source is known.
#include "vbscript/internal/compiler.h"

#include <unordered_set>

#include "vbscript/internal/errors.h"
#include "vbscript/internal/lexer.h"
#include "vbscript/internal/nodes.h"
#include "vbscript/internal/runtime.h"

namespace orvan::vbs::detail {
namespace {

constexpr int kMaxNesting = 200;  // expressions and blocks nested deeper are refused, not overflowed

using Kind = Procedure::Kind;

struct LocalDecl {
    int slot = -1;
    bool constant = false;
    bool fixedArray = false;
    bool implicit = false;  // made by a use of an undeclared name: every use of it is resolved at run time
    Variant value;
};

struct Scope {
    Procedure* proc = nullptr;
    ClassDef* cls = nullptr;
    bool global = false;  // names declared here are global
    std::unordered_map<std::string, LocalDecl> locals;
    std::vector<NameExpr*> pending;
    std::vector<int> withSlots;
    std::vector<std::string> redims;  // names ReDim'd in a procedure
    int loopsDo = 0;
    int loopsFor = 0;
};

struct GlobalName {
    GlobalDecl::Kind kind;
    const Procedure* proc = nullptr;
    const ClassDef* cls = nullptr;
    Variant value;
    bool fixedArray = false;
};

const std::unordered_set<std::string>& builtinNames() {
    static const std::unordered_set<std::string> names = {"ERR", "EVAL", "EXECUTE", "EXECUTEGLOBAL", "GETREF",
                                                          "CREATEOBJECT"};
    return names;
}

Builtin builtinOf(const std::string& u) {
    if (u == "ERR") return Builtin::Err;
    if (u == "EVAL") return Builtin::Eval;
    if (u == "EXECUTE") return Builtin::Execute;
    if (u == "EXECUTEGLOBAL") return Builtin::ExecuteGlobal;
    if (u == "GETREF") return Builtin::GetRef;
    return Builtin::CreateObject;
}

class Compiler {
public:
    Compiler(std::string_view source, const Enclosing* enclosing)
        : toks_(tokenize(source)), enclosing_(enclosing), prog_(std::make_shared<Program>()) {
        prog_->top = std::make_unique<Procedure>();
        prog_->top->name = "(global code)";
        prog_->top->program = prog_.get();
        auto s = std::make_unique<Scope>();
        s->proc = prog_->top.get();
        s->global = enclosing_ == nullptr || enclosing_->procedure == nullptr ||
                    enclosing_->procedure->kind == Kind::TopLevel;
        if (enclosing_ && enclosing_->cls) s->cls = const_cast<ClassDef*>(enclosing_->cls);
        topScope_ = s.get();
        cur_ = s.get();
        scopes_.push_back(std::move(s));
    }

    std::shared_ptr<Program> script() {
        parseBlock(prog_->top->body);
        if (!at(Tok::End)) strayBlockEnd();
        finish();
        return prog_;
    }

    std::shared_ptr<Program> expression() {
        skipNewlines();
        prog_->expression = parseExpr();
        skipNewlines();
        if (!at(Tok::End)) fail(1025);
        finish();
        return prog_;
    }

private:
    // ----------------------------------------------------------------------------------------
    // Tokens.

    const Token& tok() const { return toks_[pos_]; }
    const Token& peekTok(std::size_t n = 1) const { return toks_[std::min(pos_ + n, toks_.size() - 1)]; }
    bool at(Tok t) const { return tok().type == t; }
    bool atKw(Kw k) const { return tok().type == Tok::Ident && tok().kw == k; }
    bool atColon() const { return at(Tok::Newline) && tok().text == ":"; }
    bool atLineEnd() const { return (at(Tok::Newline) && tok().text != ":") || at(Tok::End); }
    const Token& next() { return toks_[pos_ < toks_.size() - 1 ? pos_++ : pos_]; }
    bool acceptKw(Kw k) {
        if (!atKw(k)) return false;
        ++pos_;
        return true;
    }
    bool accept(Tok t) {
        if (!at(t)) return false;
        ++pos_;
        return true;
    }
    void expect(Tok t, std::int32_t number) {
        if (!accept(t)) fail(number);
    }
    void expectKw(Kw k, std::int32_t number) {
        if (!acceptKw(k)) fail(number);
    }
    [[noreturn]] void fail(std::int32_t number) const { throw compileError(number, tok().line, tok().column); }
    [[noreturn]] void failAt(std::int32_t number, const Token& t) const {
        throw compileError(number, t.line, t.column);
    }

    // Keywords that may still name a variable or a member.
    static bool nameToken(const Token& t) {
        if (t.type != Tok::Ident) return false;
        switch (t.kw) {
            case Kw::None:
            case Kw::Error:
            case Kw::Explicit:
            case Kw::Step:
            case Kw::Default:
            case Kw::Preserve:
            case Kw::Get:
            case Kw::Resume:
                return true;
            default: return false;
        }
    }
    std::string expectName() {
        if (!nameToken(tok())) fail(1010);
        return next().text;
    }
    void skipNewlines() {
        while (at(Tok::Newline)) ++pos_;
    }
    void endOfStatement() {
        if (!at(Tok::Newline) && !at(Tok::End)) fail(1025);
    }

    struct Nest {
        explicit Nest(Compiler& c) : c_(c) {
            if (++c_.depth_ > kMaxNesting) c_.fail(1001);
        }
        ~Nest() { --c_.depth_; }
        Compiler& c_;
    };

    // ----------------------------------------------------------------------------------------
    // Declarations.

    int newSlot() { return cur_->proc->slotCount++; }

    int binding(const std::string& upper) {
        auto it = bindingIndex_.find(upper);
        if (it != bindingIndex_.end()) return it->second;
        const int i = static_cast<int>(prog_->globalNames.size());
        prog_->globalNames.push_back(upper);
        bindingIndex_.emplace(upper, i);
        return i;
    }

    void redefined(const Token& at) const { failAt(1041, at); }

    void declareGlobalName(const std::string& upper, const Token& at, GlobalName g) {
        if (!globals_.emplace(upper, std::move(g)).second) redefined(at);
    }

    // A variable of the current scope: global at top level, else a slot.
    void declareVariable(const Token& at, const std::vector<std::int32_t>& bounds, bool isArray) {
        const std::string u = upperName(at.text);
        const bool fixed = isArray && !bounds.empty();
        if (cur_->global && !cur_->cls) {
            if (globals_.count(u)) {
                if (globals_[u].kind != GlobalDecl::Kind::Variable) redefined(at);
                return;  // Dim repeated at top level keeps the one variable
            }
            declareGlobalName(u, at, GlobalName{GlobalDecl::Kind::Variable, nullptr, nullptr, Variant(), fixed});
            GlobalDecl d{GlobalDecl::Kind::Variable, binding(u), bounds, fixed, isArray && bounds.empty(), Variant(),
                         nullptr, nullptr};
            prog_->decls.push_back(std::move(d));
            return;
        }
        if (cur_->locals.count(u) || u == upperName(cur_->proc->name)) redefined(at);
        LocalDecl d;
        d.slot = newSlot();
        d.fixedArray = fixed;
        if (isArray) cur_->proc->arrays.push_back(ArrayInit{d.slot, bounds});
        cur_->proc->localNames[u] = d.slot;
        cur_->locals.emplace(u, std::move(d));
    }

    // `name [(bounds)]` of Dim, Public, Private; bounds are whole-number literals.
    void parseVariable(std::vector<std::int32_t>& bounds, bool& isArray) {
        isArray = false;
        bounds.clear();
        if (!accept(Tok::LParen)) return;
        isArray = true;
        if (accept(Tok::RParen)) return;
        do {
            if (!at(Tok::Number) || !tok().value.isNumeric() || tok().value.type() == com::VarType::Double)
                fail(1026);
            bounds.push_back(com::CLng(next().value));
        } while (accept(Tok::Comma));
        expect(Tok::RParen, 1006);
    }

    void parseDimList() {
        do {
            if (!nameToken(tok())) fail(1010);
            const Token at = next();
            std::vector<std::int32_t> bounds;
            bool isArray = false;
            parseVariable(bounds, isArray);
            declareVariable(at, bounds, isArray);
        } while (accept(Tok::Comma));
    }

    Variant constantValue() {
        bool negative = false;
        while (at(Tok::Minus) || at(Tok::Plus)) negative ^= next().type == Tok::Minus;
        Variant v;
        if (at(Tok::Number) || at(Tok::String) || at(Tok::Date)) {
            const Token& t = next();
            v = t.type == Tok::String ? Variant(t.text) : t.value;
        } else if (acceptKw(Kw::True)) v = Variant(true);
        else if (acceptKw(Kw::False)) v = Variant(false);
        else if (acceptKw(Kw::Empty)) v = Variant();
        else if (acceptKw(Kw::Null)) v = Variant::null();
        else if (acceptKw(Kw::Nothing)) v = Variant(nullptr);
        else if (nameToken(tok())) {
            const std::string u = upperName(tok().text);
            auto l = cur_->locals.find(u);
            auto g = globals_.find(u);
            if (l != cur_->locals.end() && l->second.constant) v = l->second.value;
            else if (g != globals_.end() && g->second.kind == GlobalDecl::Kind::Constant) v = g->second.value;
            else if (const Variant* c = findLibraryConstant(u)) v = *c;
            else fail(1045);
            ++pos_;
        } else fail(1045);
        return negative ? negate(v) : v;
    }

    void parseConstList() {
        do {
            if (!nameToken(tok())) fail(1010);
            const Token at = next();
            expect(Tok::Eq, 1011);
            Variant v = constantValue();
            const std::string u = upperName(at.text);
            if (cur_->global && !cur_->cls) {
                declareGlobalName(u, at, GlobalName{GlobalDecl::Kind::Constant, nullptr, nullptr, v, false});
                prog_->decls.push_back(
                    GlobalDecl{GlobalDecl::Kind::Constant, binding(u), {}, false, false, v, nullptr, nullptr});
            } else {
                if (cur_->locals.count(u)) redefined(at);
                LocalDecl d;
                d.constant = true;
                d.value = std::move(v);
                cur_->locals.emplace(u, std::move(d));
            }
        } while (accept(Tok::Comma));
    }

    // ----------------------------------------------------------------------------------------
    // Procedures and classes.

    void parseParams(Procedure& p, Scope& s) {
        if (!accept(Tok::LParen)) return;
        if (accept(Tok::RParen)) return;
        do {
            Param prm;
            if (acceptKw(Kw::ByVal)) prm.byRef = false;
            else acceptKw(Kw::ByRef);
            if (!nameToken(tok())) fail(1010);
            const Token at = next();
            prm.name = at.text;
            if (accept(Tok::LParen)) expect(Tok::RParen, 1006);
            const std::string u = upperName(prm.name);
            if (s.locals.count(u)) redefined(at);
            LocalDecl d;
            d.slot = p.slotCount++;
            s.locals.emplace(u, d);
            p.localNames[u] = d.slot;
            p.params.push_back(std::move(prm));
        } while (accept(Tok::Comma));
        expect(Tok::RParen, 1006);
    }

    // Sub, Function or Property after its keyword(s); cls: the class it belongs to, or null.
    Procedure* parseProcedure(Kind kind, bool isPublic, ClassDef* cls) {
        auto p = std::make_unique<Procedure>();
        p->kind = kind;
        p->isPublic = isPublic;
        p->program = prog_.get();
        p->owner = cls;
        p->line = tok().line;
        if (!nameToken(tok())) fail(1010);
        p->name = next().text;
        auto s = std::make_unique<Scope>();
        s->proc = p.get();
        s->cls = cls;
        parseParams(*p, *s);
        if (kind == Kind::Function || kind == Kind::PropertyGet) p->resultSlot = p->slotCount++;
        if ((kind == Kind::PropertyLet || kind == Kind::PropertySet) && p->params.empty()) fail(1054);
        endOfStatement();
        Scope* outer = cur_;
        cur_ = s.get();
        scopes_.push_back(std::move(s));
        parseBlock(p->body);
        cur_ = outer;
        expectKw(Kw::End, 1014);
        switch (kind) {
            case Kind::Sub: expectKw(Kw::Sub, 1016); break;
            case Kind::Function: expectKw(Kw::Function, 1015); break;
            default: expectKw(Kw::Property, 1050); break;
        }
        Procedure* raw = p.get();
        if (cls) cls->procedures.push_back(std::move(p));
        else prog_->procedures.push_back(std::move(p));
        return raw;
    }

    Kind procedureKind() {
        if (acceptKw(Kw::Sub)) return Kind::Sub;
        if (acceptKw(Kw::Function)) return Kind::Function;
        expectKw(Kw::Property, 1024);
        if (acceptKw(Kw::Get)) return Kind::PropertyGet;
        if (acceptKw(Kw::Let)) return Kind::PropertyLet;
        if (acceptKw(Kw::Set)) return Kind::PropertySet;
        fail(1049);
    }

    bool atProcedure() const { return atKw(Kw::Sub) || atKw(Kw::Function) || atKw(Kw::Property); }

    void globalProcedure(bool isPublic) {
        const Token at = tok();
        const Kind kind = procedureKind();
        if (kind != Kind::Sub && kind != Kind::Function) failAt(1048, at);
        const Token nameAt = tok();
        Procedure* p = parseProcedure(kind, isPublic, nullptr);
        const std::string u = upperName(p->name);
        declareGlobalName(u, nameAt, GlobalName{GlobalDecl::Kind::Procedure, p, nullptr, Variant(), false});
        prog_->decls.push_back(GlobalDecl{GlobalDecl::Kind::Procedure, binding(u), {}, false, false, Variant(), p,
                                          nullptr});
    }

    ClassMember& memberOf(ClassDef& c, const std::string& name, bool isPublic) {
        const std::string u = upperName(name);
        auto it = c.memberIndex.find(u);
        if (it != c.memberIndex.end()) return c.members[static_cast<std::size_t>(it->second)];
        c.memberIndex.emplace(u, static_cast<int>(c.members.size()));
        c.members.push_back(ClassMember{name, isPublic, -1, nullptr, nullptr, nullptr, nullptr});
        return c.members.back();
    }

    void parseClass() {
        const Token nameAt = tok();
        auto c = std::make_unique<ClassDef>();
        c->name = expectName();
        endOfStatement();
        ClassDef& cls = *c;
        const std::string cu = upperName(cls.name);
        declareGlobalName(cu, nameAt, GlobalName{GlobalDecl::Kind::Class, nullptr, &cls, Variant(), false});
        prog_->decls.push_back(
            GlobalDecl{GlobalDecl::Kind::Class, binding(cu), {}, false, false, Variant(), nullptr, &cls});
        classes_.emplace(cu, &cls);
        Scope classScope;
        classScope.proc = prog_->top.get();
        classScope.cls = &cls;
        Scope* outer = cur_;
        cur_ = &classScope;
        for (;;) {
            skipNewlines();
            if (acceptKw(Kw::End)) {
                expectKw(Kw::Class, 1047);
                break;
            }
            if (at(Tok::End)) fail(1014);
            bool isPublic = true, isDefault = false, declared = false;
            if (acceptKw(Kw::Public)) declared = true;
            else if (acceptKw(Kw::Private)) declared = true, isPublic = false;
            if (acceptKw(Kw::Default)) {
                if (!isPublic) fail(1057);
                isDefault = true;
            }
            if (atProcedure()) {
                const Kind kind = procedureKind();
                if (isDefault && kind != Kind::PropertyGet && kind != Kind::Function && kind != Kind::Sub) fail(1058);
                Procedure* p = parseProcedure(kind, isPublic, &cls);
                ClassMember& m = memberOf(cls, p->name, isPublic);
                m.isPublic = m.isPublic || isPublic;
                const Procedure** accessor = kind == Kind::PropertyGet   ? &m.get
                                             : kind == Kind::PropertyLet ? &m.let
                                             : kind == Kind::PropertySet ? &m.set
                                                                         : &m.method;
                if (*accessor || m.field >= 0 || (m.method && accessor != &m.method)) fail(1041);
                *accessor = p;
                const std::string u = upperName(p->name);
                if (kind == Kind::Sub && (u == "CLASS_INITIALIZE" || u == "CLASS_TERMINATE")) {
                    if (!p->params.empty()) fail(1053);
                    (u == "CLASS_INITIALIZE" ? cls.initialize : cls.terminate) = p;
                }
                if (isDefault) {
                    const int index = cls.memberIndex[u];
                    if (cls.defaultMember >= 0 && cls.defaultMember != index) fail(1052);
                    cls.defaultMember = index;
                }
            } else if (acceptKw(Kw::Dim) || declared) {
                if (isDefault) fail(1056);
                do {
                    if (!nameToken(tok())) fail(1010);
                    const Token at = next();
                    std::vector<std::int32_t> bounds;
                    bool isArray = false;
                    parseVariable(bounds, isArray);
                    ClassMember& m = memberOf(cls, at.text, isPublic);
                    if (m.field >= 0 || m.method || m.get || m.let || m.set) redefined(at);
                    m.field = static_cast<int>(cls.fields.size());
                    cls.fields.push_back(
                        FieldDef{at.text, isPublic, isArray && !bounds.empty(), isArray && bounds.empty(), bounds});
                } while (accept(Tok::Comma));
            } else if (acceptKw(Kw::Const)) {
                parseConstList();
            } else {
                fail(1024);
            }
            endOfStatement();
        }
        cur_ = outer;
        buildTypeInfo(cls);
        prog_->classes.push_back(std::move(c));
    }

    static void buildTypeInfo(ClassDef& c) {
        for (const ClassMember& m : c.members) {
            c.memberUpper.push_back(upperName(m.name));
            c.memberHashes.push_back(std::hash<std::string>{}(c.memberUpper.back()));
        }
        c.typeInfo.className = c.name;
        c.typeInfo.interfaceName = c.name;
        for (std::size_t i = 0; i < c.members.size(); ++i) {
            const ClassMember& m = c.members[i];
            if (!m.isPublic) continue;
            const std::int32_t id =
                static_cast<int>(i) == c.defaultMember ? com::kDispidValue : static_cast<std::int32_t>(i + 1);
            const ClassMember* mp = &m;
            auto add = [&](com::MemberKind kind, const Procedure* p, bool value) {
                com::MemberInfo info;
                info.name = m.name;
                info.dispid = id;
                info.kind = kind;
                info.result = kind == com::MemberKind::PropertyGet || (p && p->resultSlot >= 0) ? com::Decl::Variant
                                                                                                 : com::Decl::Void;
                if (p)
                    for (const Param& prm : p->params)
                        info.params.push_back(com::ParamInfo{prm.name, com::Decl::Variant, "VARIANT", prm.byRef, false,
                                                             Variant::missing()});
                else if (value)
                    info.params.push_back(
                        com::ParamInfo{"value", com::Decl::Variant, "VARIANT", false, false, Variant::missing()});
                info.call = [mp, kind](com::Object& self, std::span<Variant> args) {
                    return invokeClassMember(self, *mp, kind, args);
                };
                c.typeInfo.members.push_back(std::move(info));
            };
            if (m.field >= 0) {
                add(com::MemberKind::PropertyGet, nullptr, false);
                add(com::MemberKind::PropertyPut, nullptr, true);
                add(com::MemberKind::PropertyPutRef, nullptr, true);
            }
            if (m.method) add(com::MemberKind::Method, m.method, false);
            if (m.get) add(com::MemberKind::PropertyGet, m.get, false);
            if (m.let) add(com::MemberKind::PropertyPut, m.let, false);
            if (m.set) add(com::MemberKind::PropertyPutRef, m.set, false);
        }
    }

    // ----------------------------------------------------------------------------------------
    // Statements.

    bool atBlockEnd() const {
        if (tok().type != Tok::Ident) return false;
        switch (tok().kw) {
            case Kw::End:
            case Kw::Else:
            case Kw::ElseIf:
            case Kw::Case:
            case Kw::Loop:
            case Kw::Next:
            case Kw::Wend: return true;
            default: return false;
        }
    }

    void strayBlockEnd() {
        switch (tok().kw) {
            case Kw::Next: fail(1055);
            case Kw::Loop: fail(1038);
            default: fail(1024);
        }
    }

    void parseBlock(Block& out) {
        Nest nest(*this);
        for (;;) {
            skipNewlines();
            if (at(Tok::End) || atBlockEnd()) return;
            parseStatement(out);
            endOfStatement();
        }
    }

    template <typename T>
    std::unique_ptr<T> stmt() {
        auto s = std::make_unique<T>();
        s->line = tok().line;
        return s;
    }

    void parseStatement(Block& out) {
        const Token& t = tok();
        if (t.type != Tok::Ident && t.type != Tok::Dot) fail(1024);
        switch (t.kw) {
            case Kw::Option:
                ++pos_;
                expectKw(Kw::Explicit, 1002);
                prog_->optionExplicit = true;
                return;
            case Kw::Dim: ++pos_; parseDimList(); return;
            case Kw::Const: ++pos_; parseConstList(); return;
            case Kw::Public:
            case Kw::Private: {
                const bool isPublic = t.kw == Kw::Public;
                ++pos_;
                if (acceptKw(Kw::Const)) return parseConstList();
                if (atProcedure()) {
                    if (cur_ != topScope_) fail(1024);
                    return globalProcedure(isPublic);
                }
                if (!cur_->global) fail(1024);
                return parseDimList();
            }
            // A procedure or class in code given to Execute joins the global scope, wherever Execute
            // runs; its body sees the globals, never the locals of the procedure that ran Execute.
            case Kw::Sub:
            case Kw::Function:
            case Kw::Property:
                if (cur_ != topScope_) fail(1024);
                return globalProcedure(true);
            case Kw::Class:
                if (cur_ != topScope_) fail(1024);
                ++pos_;
                return parseClass();
            case Kw::ReDim: return parseReDim(out);
            case Kw::Erase: {
                auto s = stmt<EraseStmt>();
                ++pos_;
                s->target = plainName();
                out.push_back(std::move(s));
                return;
            }
            case Kw::If: return parseIf(out);
            case Kw::Select: return parseSelect(out);
            case Kw::For: return parseFor(out);
            case Kw::Do: return parseDo(out);
            case Kw::While: return parseWhile(out);
            case Kw::With: return parseWith(out);
            case Kw::On: return parseOnError(out);
            case Kw::Exit: return parseExit(out);
            case Kw::Set: {
                auto s = stmt<AssignStmt>();
                ++pos_;
                s->isSet = true;
                s->target = parsePostfix(nullptr);
                expect(Tok::Eq, 1011);
                s->value = parseExpr();
                out.push_back(std::move(s));
                return;
            }
            case Kw::Let: ++pos_; break;
            case Kw::Call: {
                auto s = stmt<ExprStmt>();
                ++pos_;
                s->expr = parsePostfix(nullptr);
                out.push_back(std::move(s));
                return;
            }
            default: break;
        }
        if (!nameToken(tok()) && !at(Tok::Dot) && !atKw(Kw::Me)) fail(1024);
        parseAssignOrCall(out);
    }

    std::unique_ptr<NameExpr> plainName() {
        if (!nameToken(tok())) fail(1010);
        auto n = nameExpr(next());
        return n;
    }

    void parseAssignOrCall(Block& out) {
        const int line = tok().line;
        std::size_t lastParen = 0;
        Mark mark;
        ExprPtr target = parsePostfix(&lastParen, &mark);
        if (accept(Tok::Eq)) {
            ExprPtr value = parseExpr();
            out.push_back(assignment(std::move(target), std::move(value), line));
            return;
        }
        auto s = std::make_unique<ExprStmt>();
        s->line = line;
        std::vector<ExprPtr>* args = argsOf(*target);
        bool* parens = parensOf(*target);
        if (at(Tok::Newline) || at(Tok::End) || atKw(Kw::Else)) {
            if (parens && *parens) {
                if (args->size() > 1) fail(1044);
                if (args->size() == 1 && !dynamic_cast<ParenExpr*>((*args)[0].get())) {
                    auto p = std::make_unique<ParenExpr>();
                    p->line = (*args)[0]->line;
                    p->inner = std::move((*args)[0]);
                    (*args)[0] = std::move(p);
                }
            }
            s->expr = std::move(target);
            out.push_back(std::move(s));
            return;
        }
        // More follows: the arguments are written without parentheses, and a parenthesis just after
        // the name opened the first argument, not an argument list.
        if (!args) fail(1025);
        if (parens && *parens) {
            if (lastParen == 0) fail(1025);
            pos_ = lastParen;
            cur_->pending.resize(mark.pending);  // the names and operators read there are read again
            binaries_.resize(mark.binaries);
            news_.resize(mark.news);
            args->clear();
            *parens = false;
        } else if (!args->empty()) {
            fail(1025);
        }
        do {
            if (at(Tok::Comma)) args->push_back(missingArg());
            else args->push_back(parseExpr());
        } while (accept(Tok::Comma));
        if (args->empty()) fail(1023);
        s->expr = std::move(target);
        out.push_back(std::move(s));
    }

    static std::vector<ExprPtr>* argsOf(Expr& e) {
        if (auto* n = dynamic_cast<NameExpr*>(&e)) return &n->args;
        if (auto* m = dynamic_cast<MemberExpr*>(&e)) return &m->args;
        return nullptr;
    }
    static bool* parensOf(Expr& e) {
        if (auto* n = dynamic_cast<NameExpr*>(&e)) return &n->hasParens;
        if (auto* m = dynamic_cast<MemberExpr*>(&e)) return &m->hasParens;
        return nullptr;
    }

    StmtPtr assignment(ExprPtr target, ExprPtr value, int line) {
        // x = x & a & b appends in place: the chain of & is walked down its left operands to x.
        auto* name = dynamic_cast<NameExpr*>(target.get());
        if (name && name->args.empty() && !name->hasParens) {
            std::vector<BinaryExpr*> chain;
            Expr* e = value.get();
            while (auto* cat = dynamic_cast<BinaryExpr*>(e)) {
                if (cat->op != BinOp::Concat) break;
                chain.push_back(cat);
                e = cat->a.get();
            }
            auto* left = dynamic_cast<NameExpr*>(e);
            if (!chain.empty() && left && left->args.empty() && !left->hasParens && left->upper == name->upper) {
                auto s = std::make_unique<AppendStmt>();
                s->line = line;
                s->target = std::move(target);
                for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                    s->parts.push_back(std::move((*it)->b));
                    std::erase(binaries_, *it);  // the node goes with `value` below
                }
                eraseName(left);
                return s;
            }
        }
        auto s = std::make_unique<AssignStmt>();
        s->line = line;
        if (name && name->args.empty() && !name->hasParens) s->variable = name;
        s->target = std::move(target);
        s->value = std::move(value);
        return s;
    }

    void eraseName(NameExpr* n) {
        auto& p = cur_->pending;
        for (auto it = p.begin(); it != p.end(); ++it)
            if (*it == n) {
                p.erase(it);
                return;
            }
    }

    void parseReDim(Block& out) {
        auto s = stmt<ReDimStmt>();
        ++pos_;
        s->preserve = acceptKw(Kw::Preserve);
        do {
            ReDimStmt::Item item;
            if (!nameToken(tok())) fail(1010);
            const Token at = tok();
            item.target = nameExpr(next());
            // ReDim of an undeclared name declares it: at top level now; in a procedure once the whole
            // source is read (a global of that name, declared anywhere, is the one resized).
            const std::string u = upperName(at.text);
            if (cur_->global && !cur_->cls && !globals_.count(u)) declareVariable(at, {}, true);
            if (!cur_->global) cur_->redims.push_back(u);
            expect(Tok::LParen, 1005);
            do item.bounds.push_back(parseExpr());
            while (accept(Tok::Comma));
            expect(Tok::RParen, 1006);
            s->items.push_back(std::move(item));
        } while (accept(Tok::Comma));
        out.push_back(std::move(s));
    }

    // Statements of a single-line If branch, up to Else or the line end.
    void parseLineStatements(Block& out) {
        for (;;) {
            if (atLineEnd() || atKw(Kw::Else)) return;
            if (atColon()) {
                ++pos_;
                continue;
            }
            parseStatement(out);
            if (!atColon() && !atLineEnd() && !atKw(Kw::Else)) fail(1025);
        }
    }

    void parseIf(Block& out) {
        auto s = stmt<IfStmt>();
        ++pos_;
        ExprPtr cond = parseExpr();
        expectKw(Kw::Then, 1017);
        if (!atLineEnd() && !atColon()) {
            Block then;
            parseLineStatements(then);
            s->branches.emplace_back(std::move(cond), std::move(then));
            if (acceptKw(Kw::Else)) parseLineStatements(s->otherwise);
            if (atKw(Kw::End) && peekTok().kw == Kw::If) pos_ += 2;
            out.push_back(std::move(s));
            return;
        }
        Block then;
        parseBlock(then);
        s->branches.emplace_back(std::move(cond), std::move(then));
        for (;;) {
            if (acceptKw(Kw::ElseIf)) {
                ExprPtr c = parseExpr();
                expectKw(Kw::Then, 1017);
                Block b;
                parseBlock(b);
                s->branches.emplace_back(std::move(c), std::move(b));
            } else if (acceptKw(Kw::Else)) {
                parseBlock(s->otherwise);
                expectKw(Kw::End, 1014);
                expectKw(Kw::If, 1012);
                break;
            } else {
                expectKw(Kw::End, 1014);
                expectKw(Kw::If, 1012);
                break;
            }
        }
        out.push_back(std::move(s));
    }

    void parseSelect(Block& out) {
        auto s = stmt<SelectStmt>();
        ++pos_;
        expectKw(Kw::Case, 1021);
        s->selector = parseExpr();
        endOfStatement();
        skipNewlines();
        while (acceptKw(Kw::Case)) {
            if (acceptKw(Kw::Else)) {
                s->hasElse = true;
                parseBlock(s->otherwise);
                break;
            }
            SelectStmt::Case c;
            do c.values.push_back(parseExpr());
            while (accept(Tok::Comma));
            parseBlock(c.body);
            s->cases.push_back(std::move(c));
        }
        expectKw(Kw::End, 1014);
        expectKw(Kw::Select, 1022);
        out.push_back(std::move(s));
    }

    void parseFor(Block& out) {
        const int line = tok().line;
        ++pos_;
        if (acceptKw(Kw::Each)) {
            auto s = std::make_unique<ForEachStmt>();
            s->line = line;
            if (!nameToken(tok())) fail(1010);
            s->element = nameExpr(next());
            expectKw(Kw::In, 1046);
            s->collection = parseExpr();
            ++cur_->loopsFor;
            parseBlock(s->body);
            --cur_->loopsFor;
            if (!acceptKw(Kw::Next)) fail(1020);
            out.push_back(std::move(s));
            return;
        }
        auto s = std::make_unique<ForStmt>();
        s->line = line;
        if (!nameToken(tok())) fail(1040);
        s->counter = nameExpr(next());
        expect(Tok::Eq, 1011);
        s->from = parseExpr();
        expectKw(Kw::To, 1013);
        s->to = parseExpr();
        if (acceptKw(Kw::Step)) s->step = parseExpr();
        ++cur_->loopsFor;
        parseBlock(s->body);
        --cur_->loopsFor;
        if (!acceptKw(Kw::Next)) fail(1020);
        if (nameToken(tok())) ++pos_;  // Next i
        out.push_back(std::move(s));
    }

    void parseDo(Block& out) {
        auto s = stmt<DoStmt>();
        ++pos_;
        if (atKw(Kw::While) || atKw(Kw::Until)) {
            s->until = next().kw == Kw::Until;
            s->condition = parseExpr();
        } else if (!at(Tok::Newline)) {
            fail(1028);
        }
        ++cur_->loopsDo;
        parseBlock(s->body);
        --cur_->loopsDo;
        expectKw(Kw::Loop, 1019);
        if (atKw(Kw::While) || atKw(Kw::Until)) {
            if (s->condition) fail(1025);
            s->until = next().kw == Kw::Until;
            s->condition = parseExpr();
            s->testAfter = true;
        }
        out.push_back(std::move(s));
    }

    void parseWhile(Block& out) {
        auto s = stmt<DoStmt>();
        ++pos_;
        s->condition = parseExpr();
        parseBlock(s->body);
        expectKw(Kw::Wend, 1018);
        out.push_back(std::move(s));
    }

    void parseWith(Block& out) {
        auto s = stmt<WithStmt>();
        ++pos_;
        s->object = parseExpr();
        s->slot = newSlot();
        cur_->withSlots.push_back(s->slot);
        parseBlock(s->body);
        cur_->withSlots.pop_back();
        expectKw(Kw::End, 1014);
        expectKw(Kw::With, 1029);
        out.push_back(std::move(s));
    }

    void parseOnError(Block& out) {
        auto s = stmt<OnErrorStmt>();
        ++pos_;
        expectKw(Kw::Error, 1002);
        if (acceptKw(Kw::Resume)) {
            expectKw(Kw::Next, 1002);
            s->resumeNext = true;
        } else {
            expectKw(Kw::GoTo, 1002);
            if (!at(Tok::Number) || com::CLng(tok().value) != 0) fail(1002);
            ++pos_;
        }
        out.push_back(std::move(s));
    }

    void parseExit(Block& out) {
        auto s = stmt<ExitStmt>();
        ++pos_;
        const Kind k = cur_->proc->kind;
        bool valid = false;
        switch (tok().type == Tok::Ident ? tok().kw : Kw::None) {
            case Kw::Do:
                valid = cur_->loopsDo > 0;
                s->flow = Flow::ExitDo;
                break;
            case Kw::For:
                valid = cur_->loopsFor > 0;
                s->flow = Flow::ExitFor;
                break;
            case Kw::Sub: valid = k == Kind::Sub; break;
            case Kw::Function: valid = k == Kind::Function; break;
            case Kw::Property:
                valid = k == Kind::PropertyGet || k == Kind::PropertyLet || k == Kind::PropertySet;
                break;
            default: break;
        }
        if (!valid) fail(1039);
        ++pos_;
        out.push_back(std::move(s));
    }

    // ----------------------------------------------------------------------------------------
    // Expressions.

    template <typename T>
    std::unique_ptr<T> node(const Token& at) {
        auto e = std::make_unique<T>();
        e->line = at.line;
        e->column = at.column;
        return e;
    }

    std::unique_ptr<NameExpr> nameExpr(const Token& t) {
        auto n = node<NameExpr>(t);
        n->name = t.text;
        n->upper = upperName(t.text);
        cur_->pending.push_back(n.get());
        return n;
    }

    ExprPtr missingArg() {
        auto l = std::make_unique<Literal>(Variant::missing());
        l->line = tok().line;
        l->column = tok().column;
        return l;
    }

    std::vector<ExprPtr> parseArgs() {
        std::vector<ExprPtr> args;
        if (accept(Tok::RParen)) return args;
        for (;;) {
            if (at(Tok::Comma) || at(Tok::RParen)) args.push_back(missingArg());
            else args.push_back(parseExpr());
            if (accept(Tok::RParen)) return args;
            expect(Tok::Comma, 1006);
        }
    }

    // How many names, operators and New were recorded at a point of the source.
    struct Mark {
        std::size_t pending = 0, binaries = 0, news = 0;
    };

    // A name, `.name` inside With, or Me, followed by member accesses and argument lists.
    // lastParen: where the last argument list opened (0 when the last postfix was not one), and
    // mark: what had been recorded then (for parseAssignOrCall to read that list again).
    ExprPtr parsePostfix(std::size_t* lastParen, Mark* mark = nullptr) {
        Nest nest(*this);
        ExprPtr e;
        const Token first = tok();
        if (at(Tok::Dot)) {
            ++pos_;
            if (cur_->withSlots.empty()) fail(1002);
            auto w = node<WithExpr>(first);
            w->slot = cur_->withSlots.back();
            auto m = node<MemberExpr>(first);
            m->base = std::move(w);
            if (tok().type != Tok::Ident) fail(1010);
            m->name = next().text;
            m->upper = upperName(m->name);
            m->hash = std::hash<std::string>{}(m->upper);
            e = std::move(m);
        } else if (acceptKw(Kw::Me)) {
            if (!cur_->cls) failAt(1037, first);
            e = node<MeExpr>(first);
        } else if (nameToken(tok())) {
            e = nameExpr(next());
        } else {
            fail(1010);
        }
        if (lastParen) *lastParen = 0;
        for (;;) {
            if (at(Tok::LParen)) {
                const std::size_t open = pos_;
                const Mark here{cur_->pending.size(), binaries_.size(), news_.size()};
                ++pos_;
                std::vector<ExprPtr> args = parseArgs();
                if (lastParen) *lastParen = open;
                if (mark) *mark = here;
                std::vector<ExprPtr>* own = argsOf(*e);
                bool* parens = parensOf(*e);
                if (own && !*parens) {
                    *own = std::move(args);
                    *parens = true;
                } else {
                    auto ix = std::make_unique<IndexExpr>();
                    ix->line = e->line;
                    ix->column = e->column;
                    ix->base = std::move(e);
                    ix->args = std::move(args);
                    e = std::move(ix);
                }
            } else if (at(Tok::Dot) && !tok().spaceBefore) {
                const Token dot = next();
                if (tok().type != Tok::Ident) fail(1010);
                auto m = node<MemberExpr>(dot);
                m->base = std::move(e);
                m->name = next().text;
                m->upper = upperName(m->name);
                m->hash = std::hash<std::string>{}(m->upper);
                e = std::move(m);
                if (lastParen) *lastParen = 0;
            } else {
                return e;
            }
        }
    }

    ExprPtr binaryNode(BinOp op, ExprPtr a, ExprPtr b, const Token& at) {
        auto e = node<BinaryExpr>(at);
        e->op = op;
        e->numericLiteral = isNumber(*a) || isNumber(*b);
        e->a = std::move(a);
        e->b = std::move(b);
        binaries_.push_back(e.get());
        return e;
    }

    static bool isNumber(const Expr& e) {
        if (e.isNumberLiteral()) return true;
        if (auto* n = dynamic_cast<const NegateExpr*>(&e)) return n->a->isNumberLiteral();
        return false;
    }

    ExprPtr parseExpr() {
        Nest nest(*this);
        ExprPtr e = parseEqv();
        while (atKw(Kw::Imp)) {
            const Token t = next();
            e = binaryNode(BinOp::Imp, std::move(e), parseEqv(), t);
        }
        return e;
    }
    ExprPtr parseEqv() {
        ExprPtr e = parseXor();
        while (atKw(Kw::Eqv)) {
            const Token t = next();
            e = binaryNode(BinOp::Eqv, std::move(e), parseXor(), t);
        }
        return e;
    }
    ExprPtr parseXor() {
        ExprPtr e = parseOr();
        while (atKw(Kw::Xor)) {
            const Token t = next();
            e = binaryNode(BinOp::Xor, std::move(e), parseOr(), t);
        }
        return e;
    }
    ExprPtr parseOr() {
        ExprPtr e = parseAnd();
        while (atKw(Kw::Or)) {
            const Token t = next();
            e = binaryNode(BinOp::Or, std::move(e), parseAnd(), t);
        }
        return e;
    }
    ExprPtr parseAnd() {
        ExprPtr e = parseNot();
        while (atKw(Kw::And)) {
            const Token t = next();
            e = binaryNode(BinOp::And, std::move(e), parseNot(), t);
        }
        return e;
    }
    ExprPtr parseNot() {
        if (atKw(Kw::Not)) {
            Nest nest(*this);
            const Token t = next();
            auto n = node<NotExpr>(t);
            n->a = parseNot();
            return n;
        }
        return parseCompare();
    }
    ExprPtr parseCompare() {
        ExprPtr e = parseConcat();
        for (;;) {
            BinOp op;
            switch (tok().type) {
                case Tok::Eq: op = BinOp::Eq; break;
                case Tok::Ne: op = BinOp::Ne; break;
                case Tok::Lt: op = BinOp::Lt; break;
                case Tok::Le: op = BinOp::Le; break;
                case Tok::Gt: op = BinOp::Gt; break;
                case Tok::Ge: op = BinOp::Ge; break;
                default:
                    if (atKw(Kw::Is)) {
                        const Token t = next();
                        auto is = node<IsExpr>(t);
                        is->a = std::move(e);
                        is->b = parseConcat();
                        e = std::move(is);
                        continue;
                    }
                    return e;
            }
            const Token t = next();
            e = binaryNode(op, std::move(e), parseConcat(), t);
        }
    }
    ExprPtr parseConcat() {
        ExprPtr e = parseAdditive();
        while (at(Tok::Amp)) {
            const Token t = next();
            e = binaryNode(BinOp::Concat, std::move(e), parseAdditive(), t);
        }
        return e;
    }
    ExprPtr parseAdditive() {
        ExprPtr e = parseMod();
        while (at(Tok::Plus) || at(Tok::Minus)) {
            const Token t = next();
            e = binaryNode(t.type == Tok::Plus ? BinOp::Add : BinOp::Sub, std::move(e), parseMod(), t);
        }
        return e;
    }
    ExprPtr parseMod() {
        ExprPtr e = parseIntDiv();
        while (atKw(Kw::Mod)) {
            const Token t = next();
            e = binaryNode(BinOp::Mod, std::move(e), parseIntDiv(), t);
        }
        return e;
    }
    ExprPtr parseIntDiv() {
        ExprPtr e = parseMul();
        while (at(Tok::Backslash)) {
            const Token t = next();
            e = binaryNode(BinOp::IntDiv, std::move(e), parseMul(), t);
        }
        return e;
    }
    ExprPtr parseMul() {
        ExprPtr e = parseUnary();
        while (at(Tok::Star) || at(Tok::Slash)) {
            const Token t = next();
            e = binaryNode(t.type == Tok::Star ? BinOp::Mul : BinOp::Div, std::move(e), parseUnary(), t);
        }
        return e;
    }
    ExprPtr parseUnary() {
        if (at(Tok::Minus) || at(Tok::Plus)) {
            Nest nest(*this);
            const Token t = next();
            ExprPtr inner = parseUnary();
            if (t.type == Tok::Plus) return inner;
            auto n = node<NegateExpr>(t);
            n->a = std::move(inner);
            return n;
        }
        return parsePow();
    }
    ExprPtr parsePow() {
        ExprPtr e = parsePrimary();
        while (at(Tok::Caret)) {
            const Token t = next();
            ExprPtr rhs;
            if (at(Tok::Minus) || at(Tok::Plus)) {
                const Token sign = next();
                rhs = parsePrimary();
                if (sign.type == Tok::Minus) {
                    auto n = node<NegateExpr>(sign);
                    n->a = std::move(rhs);
                    rhs = std::move(n);
                }
            } else {
                rhs = parsePrimary();
            }
            e = binaryNode(BinOp::Pow, std::move(e), std::move(rhs), t);
        }
        return e;
    }

    ExprPtr literal(const Token& at, Variant v) {
        auto l = std::make_unique<Literal>(std::move(v));
        l->line = at.line;
        l->column = at.column;
        return l;
    }

    ExprPtr parsePrimary() {
        const Token& t = tok();
        switch (t.type) {
            case Tok::Number:
            case Tok::Date: {
                const Token& n = next();
                return literal(n, n.value);
            }
            case Tok::String: {
                const Token& n = next();
                return literal(n, Variant(n.text));
            }
            case Tok::LParen: {
                Nest nest(*this);
                const Token open = next();
                auto p = node<ParenExpr>(open);
                p->inner = parseExpr();
                expect(Tok::RParen, 1006);
                return p;
            }
            case Tok::Dot: return parsePostfix(nullptr);
            case Tok::Ident: break;
            default: fail(1023);
        }
        switch (t.kw) {
            case Kw::True: return literal(next(), Variant(true));
            case Kw::False: return literal(next(), Variant(false));
            case Kw::Empty: return literal(next(), Variant());
            case Kw::Null: return literal(next(), Variant::null());
            case Kw::Nothing: return literal(next(), Variant(nullptr));
            case Kw::New: {
                const Token n = next();
                auto e = node<NewExpr>(n);
                if (!nameToken(tok())) fail(1010);
                e->name = next().text;
                news_.push_back(e.get());
                return e;
            }
            case Kw::Me: return parsePostfix(nullptr);
            default:
                if (!nameToken(t)) fail(1023);
                return parsePostfix(nullptr);
        }
    }

    // ----------------------------------------------------------------------------------------
    // Resolution.

    void finish() {
        for (auto& s : scopes_)
            for (const std::string& u : s->redims) {
                const bool known = s->locals.count(u) || (s->cls && s->cls->find(u)) || globals_.count(u) ||
                                   (enclosing_ && enclosing_->procedure &&
                                    enclosing_->procedure->localNames.count(u));
                if (known) continue;
                LocalDecl d;
                d.slot = s->proc->slotCount++;
                s->proc->localNames[u] = d.slot;
                s->locals.emplace(u, d);
            }
        for (auto& s : scopes_)
            for (NameExpr* n : s->pending) {
                resolve(*n, *s);
                markDirect(*n);
            }
        for (NewExpr* e : news_) {
            const std::string u = upperName(e->name);
            auto it = classes_.find(u);
            if (it != classes_.end()) e->cls = it->second;
            else e->binding = binding(u);
        }
        // Purity depends on what the names resolved to; inner operators were made first, so each
        // operand's purity is known when its parent's is computed.
        for (BinaryExpr* e : binaries_) {
            e->leftPure = e->a->pure();
            e->rightPure = e->b->pure();
        }
    }

    void resolve(NameExpr& n, Scope& s) {
        const std::string& u = n.upper;
        Procedure& p = *s.proc;
        const bool call = n.hasParens || !n.args.empty();
        if (p.resultSlot >= 0 && !call && u == upperName(p.name)) {
            n.kind = NameKind::Local;
            n.slot = p.resultSlot;
            return;
        }
        if (auto it = s.locals.find(u); it != s.locals.end()) {
            if (it->second.constant) {
                n.kind = NameKind::Constant;
                n.constant = it->second.value;
            } else if (it->second.implicit) {
                n.kind = NameKind::Dynamic;
                n.binding = binding(u);
                n.slot = it->second.slot;
            } else {
                n.kind = NameKind::Local;
                n.slot = it->second.slot;
                n.fixedArray = it->second.fixedArray;
            }
            return;
        }
        if (s.cls && resolveMember(n, *s.cls)) return;
        if (&s == topScope_ && enclosing_ && enclosing_->procedure) {
            const Procedure& outer = *enclosing_->procedure;
            if (auto it = outer.localNames.find(u); it != outer.localNames.end()) {
                n.kind = NameKind::Outer;
                n.slot = it->second;
                return;
            }
            if (outer.resultSlot >= 0 && !call && u == upperName(outer.name)) {
                n.kind = NameKind::Outer;
                n.slot = outer.resultSlot;
                return;
            }
        }
        if (auto it = globals_.find(u); it != globals_.end()) {
            const GlobalName& g = it->second;
            switch (g.kind) {
                case GlobalDecl::Kind::Constant:
                    n.kind = NameKind::Constant;
                    n.constant = g.value;
                    return;
                case GlobalDecl::Kind::Procedure:
                    n.kind = NameKind::Procedure;
                    n.procedure = g.proc;
                    return;
                default:
                    n.kind = NameKind::Global;
                    n.binding = binding(u);
                    n.fixedArray = g.fixedArray;
                    return;
            }
        }
        if (builtinNames().count(u)) {
            n.kind = NameKind::Builtin;
            n.builtin = builtinOf(u);
            return;
        }
        if (const Variant* c = findLibraryConstant(u)) {
            n.kind = NameKind::Constant;
            n.constant = *c;
            return;
        }
        if (const LibraryFunction* f = findLibraryFunction(u)) {
            n.kind = NameKind::Library;
            n.library = f;
            return;
        }
        n.binding = binding(u);
        if (s.global) {
            n.kind = NameKind::Global;
            return;
        }
        // Undeclared in a procedure: the global of that name when there is one at run time, else an
        // implicit local of its own.
        n.kind = NameKind::Dynamic;
        auto [it, added] = s.locals.emplace(u, LocalDecl{});
        if (added) {
            it->second.implicit = true;
            it->second.slot = p.slotCount++;
            p.localNames[u] = it->second.slot;
        }
        n.slot = it->second.slot;
    }

    // What the interpreter may read in place: a plain variable of the frame or of the global scope,
    // or a constant.
    static void markDirect(NameExpr& n) {
        if (n.hasParens || !n.args.empty()) return;
        switch (n.kind) {
            case NameKind::Local:
                n.direct = Direct::Local;
                n.directIndex = n.slot;
                break;
            case NameKind::Global:
                n.direct = Direct::Global;
                n.directIndex = n.binding;
                break;
            case NameKind::Constant:
                n.direct = Direct::Value;
                n.directValue = &n.constant;
                break;
            default: break;
        }
    }

    static bool resolveMember(NameExpr& n, const ClassDef& c) {
        const ClassMember* m = c.find(n.upper);
        if (!m) return false;
        if (m->field >= 0) {
            n.kind = NameKind::Field;
            n.slot = m->field;
            n.fixedArray = c.fields[static_cast<std::size_t>(m->field)].fixedArray;
        } else {
            n.kind = NameKind::Member;
            n.member = m;
        }
        return true;
    }

    std::vector<Token> toks_;
    std::size_t pos_ = 0;
    const Enclosing* enclosing_;
    std::shared_ptr<Program> prog_;
    std::vector<std::unique_ptr<Scope>> scopes_;
    Scope* topScope_ = nullptr;
    Scope* cur_ = nullptr;
    std::unordered_map<std::string, int> bindingIndex_;
    std::unordered_map<std::string, GlobalName> globals_;
    std::unordered_map<std::string, ClassDef*> classes_;
    std::vector<NewExpr*> news_;
    std::vector<BinaryExpr*> binaries_;
    int depth_ = 0;
};

std::string_view withoutByteOrderMark(std::string_view s) {
    if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    return s;
}

}  // namespace

std::shared_ptr<Program> compileScript(std::string_view source, const Enclosing* enclosing) {
    return Compiler(withoutByteOrderMark(source), enclosing).script();
}

std::shared_ptr<Program> compileExpression(std::string_view source, const Enclosing* enclosing) {
    return Compiler(withoutByteOrderMark(source), enclosing).expression();
}

}  // namespace orvan::vbs::detail
