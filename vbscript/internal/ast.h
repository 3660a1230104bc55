// The compiled form of a script: a tree of expression and statement nodes whose names are already
// resolved (to a frame slot, a field of Me, a global binding, a procedure, a library function), the
// procedures with their frame layout, and the classes with their member tables. The tree is immutable
// once compiled; the nodes evaluate themselves against a Frame (interpreter.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "com_server/dispatch.h"
#include "com_server/variant.h"
#include "vbscript/engine.h"
#include "vbscript/internal/operators.h"
#include "vbscript/library.h"

namespace orvan::vbs {

namespace detail {

struct Frame;
struct Procedure;
struct ClassDef;

using com::Variant;

// A whole number (Integer or Long) computed without going through Variant; wide: Long.
struct Whole {
    std::int64_t value = 0;
    bool wide = false;
};

// How a statement ends: normally, or leaving its Do, its For, or its procedure.
enum class Flow : std::uint8_t { Normal, ExitDo, ExitFor, ExitProc };

// How an expression that is a plain variable (a name without arguments or parentheses) or a constant
// value reaches its value, set once names are resolved: the interpreter's hot paths read it in place
// without a virtual call (directOperand, runtime.h).
enum class Direct : std::uint8_t {
    None,    // the expression evaluates itself
    Value,   // a literal or a constant: directValue
    Local,   // a slot of the frame: directIndex
    Global,  // a global binding: directIndex (the general way when not yet bound to a variable)
};

struct Expr {
    int line = 0;
    int column = 0;
    Direct direct = Direct::None;
    int directIndex = -1;
    const Variant* directValue = nullptr;
    virtual ~Expr() = default;
    // The value; objects stay objects.
    virtual Variant eval(Frame& f) const = 0;
    // The value without a copy where the expression names stored data (tmp is used otherwise).
    virtual const Variant& peek(Frame& f, Variant& tmp) const {
        tmp = eval(f);
        return tmp;
    }
    // The variable this expression names, for passing by reference; null when it names none.
    virtual Variant* ref(Frame&) const { return nullptr; }
    // Stores value (Set when isSet). Error 501 "Illegal assignment" for what cannot be assigned.
    virtual void assign(Frame& f, Variant&& value, bool isSet) const;
    // An array element (or a default-member call) that a ByRef argument copies in and back out.
    virtual bool writableByCopy() const { return false; }
    // Evaluation cannot run script code (no calls): its value may be peeked before another operand runs.
    virtual bool pure() const { return false; }
    virtual bool isNumberLiteral() const { return false; }
    // The value when it is a whole number that can be had without running script code (variables,
    // literals and arithmetic on them); false otherwise, having changed nothing.
    virtual bool whole(Frame&, Whole&) const { return false; }
};
using ExprPtr = std::unique_ptr<Expr>;

struct Stmt {
    int line = 0;
    virtual ~Stmt() = default;
    virtual Flow exec(Frame& f) const = 0;
};
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Param {
    std::string name;
    bool byRef = true;
};

// A fixed-size array a frame or an instance creates on entry: its slot and upper bounds.
struct ArrayInit {
    int slot;
    std::vector<std::int32_t> bounds;
};

struct Procedure {
    enum class Kind : std::uint8_t { TopLevel, Sub, Function, PropertyGet, PropertyLet, PropertySet };
    std::string name;
    Kind kind = Kind::TopLevel;
    std::vector<Param> params;      // slots 0..params.size()-1
    int resultSlot = -1;            // Function and Property Get: the slot of the result
    int slotCount = 0;
    std::vector<ArrayInit> arrays;
    std::unordered_map<std::string, int> localNames;  // upper-cased name -> slot (for Eval/Execute)
    Block body;
    const Program* program = nullptr;
    const ClassDef* owner = nullptr;
    bool isPublic = true;
    int line = 0;
};

struct FieldDef {
    std::string name;
    bool isPublic = false;
    bool fixedArray = false;
    bool dynamicArray = false;  // declared with empty parentheses: an array without dimensions
    std::vector<std::int32_t> bounds;
};

// One public or private name of a class: a field, a Sub/Function, or a property's accessors.
struct ClassMember {
    std::string name;
    bool isPublic = false;
    int field = -1;
    const Procedure* method = nullptr;
    const Procedure* get = nullptr;
    const Procedure* let = nullptr;
    const Procedure* set = nullptr;
};

struct ClassDef {
    std::string name;
    std::vector<FieldDef> fields;
    std::vector<ClassMember> members;
    std::unordered_map<std::string, int> memberIndex;  // upper-cased name -> members index
    std::vector<std::string> memberUpper;              // each member's upper-cased name
    std::vector<std::size_t> memberHashes;             // and its hash
    int defaultMember = -1;
    const Procedure* initialize = nullptr;
    const Procedure* terminate = nullptr;
    std::vector<std::unique_ptr<Procedure>> procedures;
    com::TypeInfo typeInfo;  // what late-bound callers see: the public members

    const ClassMember* find(const std::string& upper) const {
        auto it = memberIndex.find(upper);
        return it == memberIndex.end() ? nullptr : &members[static_cast<std::size_t>(it->second)];
    }
    // The same look-up with the name's hash known in advance (a class has few members: a scan).
    const ClassMember* find(const std::string& upper, std::size_t hash) const {
        for (std::size_t i = 0; i < memberHashes.size(); ++i)
            if (memberHashes[i] == hash && memberUpper[i] == upper) return &members[i];
        return nullptr;
    }
};

// What running a program defines in the global scope.
struct GlobalDecl {
    enum class Kind : std::uint8_t { Variable, Constant, Procedure, Class } kind;
    int binding;
    std::vector<std::int32_t> bounds;  // a fixed array's upper bounds
    bool fixedArray = false;
    bool dynamicArray = false;
    Variant value;  // a constant's
    const Procedure* procedure = nullptr;
    const ClassDef* cls = nullptr;
};

}  // namespace detail

// The compiled form (engine.h): immutable once compiled.
class Program : public std::enable_shared_from_this<Program> {
public:
    std::vector<std::unique_ptr<detail::Procedure>> procedures;
    std::vector<std::unique_ptr<detail::ClassDef>> classes;
    std::unique_ptr<detail::Procedure> top;
    std::vector<std::string> globalNames;  // upper-cased names of the binding table
    std::vector<detail::GlobalDecl> decls;
    bool optionExplicit = false;
    detail::ExprPtr expression;  // the expression of an Eval
};

}  // namespace orvan::vbs
