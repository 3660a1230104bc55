// The expression and statement nodes of the compiled tree. The parser builds and resolves them; each
// evaluates itself against a Frame (interpreter.cpp).
#pragma once

#include <string>
#include <vector>

#include "vbscript/internal/ast.h"

namespace orvan::vbs::detail {

// What a name was resolved to at compile time.
enum class NameKind : std::uint8_t {
    Unresolved,
    Local,      // a slot of the frame
    Outer,      // a slot of the enclosing frame (code run by Eval or Execute inside a procedure)
    Field,      // a field of Me
    Global,     // a binding of the program's global names
    Dynamic,    // an undeclared name in a procedure: the global of that name if one exists, else a local slot
    Constant,   // a Const or a named constant of the library
    Procedure,  // a Sub or Function of this program
    Member,     // a method or property of the class around the code, called on Me
    Library,    // a function of the library
    Builtin,    // Err, Eval, Execute, ExecuteGlobal, GetRef, CreateObject
};

enum class Builtin : std::uint8_t { Err, Eval, Execute, ExecuteGlobal, GetRef, CreateObject };

struct Literal final : Expr {
    Variant value;
    explicit Literal(Variant v) : value(std::move(v)) {
        direct = Direct::Value;
        directValue = &value;
    }
    Variant eval(Frame&) const override { return value; }
    const Variant& peek(Frame&, Variant&) const override { return value; }
    bool pure() const override { return true; }
    bool isNumberLiteral() const override {
        return value.isNumeric() && value.type() != com::VarType::Boolean && value.type() != com::VarType::Date;
    }
    bool whole(Frame&, Whole& out) const override {
        if (value.type() != com::VarType::Integer && value.type() != com::VarType::Long) return false;
        out = Whole{value.rawInt(), value.type() == com::VarType::Long};
        return true;
    }
};

struct NameExpr final : Expr {
    std::string name;
    std::string upper;
    std::vector<ExprPtr> args;
    bool hasParens = false;
    NameKind kind = NameKind::Unresolved;
    int slot = -1;     // Local, Outer, Field, Dynamic
    int binding = -1;  // Global, Dynamic
    Variant constant;
    const detail::Procedure* procedure = nullptr;
    const ClassMember* member = nullptr;
    const LibraryFunction* library = nullptr;
    Builtin builtin = Builtin::Err;
    bool fixedArray = false;  // declared with its size: ReDim refuses it

    Variant eval(Frame& f) const override;
    const Variant& peek(Frame& f, Variant& tmp) const override;
    Variant* ref(Frame& f) const override;
    void assign(Frame& f, Variant&& value, bool isSet) const override;
    bool writableByCopy() const override { return !args.empty(); }
    bool pure() const override;
    bool whole(Frame& f, Whole& out) const override;

    // The variable's storage, or null when the name is not a variable (a procedure, a constant...).
    Variant* storage(Frame& f) const;
};

struct MemberExpr final : Expr {
    ExprPtr base;
    std::string name;
    std::string upper;
    std::size_t hash = 0;  // of upper, for the look-up in a script class's members
    std::vector<ExprPtr> args;
    bool hasParens = false;
    Variant eval(Frame& f) const override;
    void assign(Frame& f, Variant&& value, bool isSet) const override;
};

// A call or index applied to the result of another expression: f(1)(2), a.b(1)(2).
struct IndexExpr final : Expr {
    ExprPtr base;
    std::vector<ExprPtr> args;
    Variant eval(Frame& f) const override;
    void assign(Frame& f, Variant&& value, bool isSet) const override;
};

// (expr): the value, never the variable (an argument in its own parentheses goes by value).
struct ParenExpr final : Expr {
    ExprPtr inner;
    Variant eval(Frame& f) const override { return inner->eval(f); }
    const Variant& peek(Frame& f, Variant& tmp) const override { return inner->peek(f, tmp); }
    bool pure() const override { return inner->pure(); }
    bool whole(Frame& f, Whole& out) const override { return inner->whole(f, out); }
};

struct BinaryExpr final : Expr {
    BinOp op;
    ExprPtr a, b;
    bool numericLiteral = false;
    bool leftPure = false;   // set once names are resolved
    bool rightPure = false;
    Variant eval(Frame& f) const override;
    bool pure() const override { return leftPure && rightPure; }
    bool whole(Frame& f, Whole& out) const override;
};

struct IsExpr final : Expr {
    ExprPtr a, b;
    Variant eval(Frame& f) const override;
};

struct NotExpr final : Expr {
    ExprPtr a;
    Variant eval(Frame& f) const override;
    bool pure() const override { return a->pure(); }
};

struct NegateExpr final : Expr {
    ExprPtr a;
    Variant eval(Frame& f) const override;
    bool pure() const override { return a->pure(); }
    bool whole(Frame& f, Whole& out) const override;
};

struct NewExpr final : Expr {
    std::string name;
    const ClassDef* cls = nullptr;  // a class of this program; else looked up by binding at run time
    int binding = -1;
    Variant eval(Frame& f) const override;
};

struct MeExpr final : Expr {
    Variant eval(Frame& f) const override;
};

// The object of the innermost With block.
struct WithExpr final : Expr {
    int slot = -1;
    Variant eval(Frame& f) const override;
    const Variant& peek(Frame& f, Variant& tmp) const override;
};

// ---------------------------------------------------------------------------------------------

struct ExprStmt final : Stmt {
    ExprPtr expr;
    Flow exec(Frame& f) const override;
};

struct AssignStmt final : Stmt {
    ExprPtr target;
    ExprPtr value;
    bool isSet = false;
    const NameExpr* variable = nullptr;  // the target when it is a plain name (no arguments)
    Flow exec(Frame& f) const override;
};

// x = x & y on a plain variable: appends in place instead of copying the text each time.
// x = x & a & b ... likewise, with the parts a, b, ... in order.
struct AppendStmt final : Stmt {
    ExprPtr target;              // a NameExpr without arguments
    std::vector<ExprPtr> parts;  // what is appended, left to right
    Flow exec(Frame& f) const override;
};

struct IfStmt final : Stmt {
    std::vector<std::pair<ExprPtr, Block>> branches;
    Block otherwise;
    Flow exec(Frame& f) const override;
};

struct SelectStmt final : Stmt {
    struct Case {
        std::vector<ExprPtr> values;
        Block body;
    };
    ExprPtr selector;
    std::vector<Case> cases;
    bool hasElse = false;
    Block otherwise;
    Flow exec(Frame& f) const override;
};

struct ForStmt final : Stmt {
    ExprPtr counter;
    ExprPtr from, to, step;
    Block body;
    Flow exec(Frame& f) const override;
};

struct ForEachStmt final : Stmt {
    ExprPtr element;
    ExprPtr collection;
    Block body;
    Flow exec(Frame& f) const override;
};

struct DoStmt final : Stmt {
    ExprPtr condition;  // null: loops until an Exit
    bool until = false;
    bool testAfter = false;
    Block body;
    Flow exec(Frame& f) const override;
};

struct ExitStmt final : Stmt {
    Flow flow = Flow::ExitProc;
    Flow exec(Frame&) const override { return flow; }
};

struct WithStmt final : Stmt {
    int slot = -1;
    ExprPtr object;
    Block body;
    Flow exec(Frame& f) const override;
};

struct OnErrorStmt final : Stmt {
    bool resumeNext = false;
    Flow exec(Frame& f) const override;
};

struct ReDimStmt final : Stmt {
    struct Item {
        std::unique_ptr<NameExpr> target;
        std::vector<ExprPtr> bounds;
    };
    bool preserve = false;
    std::vector<Item> items;
    Flow exec(Frame& f) const override;
};

struct EraseStmt final : Stmt {
    std::unique_ptr<NameExpr> target;
    Flow exec(Frame& f) const override;
};

// Runs a block with the frame's error mode: statements that fail under On Error Resume Next set Err
// and execution goes on with the next one.
Flow execBlock(const Block& block, Frame& f);

}  // namespace orvan::vbs::detail
