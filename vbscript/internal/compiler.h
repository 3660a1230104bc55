// The compiler: tokens to the resolved tree of ast.h / nodes.h. Names are resolved once, after the
// whole source is read (VBScript lets a procedure use a Dim written below it and call a Sub written
// further down): to a slot of the procedure's frame, a field or member of the class around the code,
// a global binding, a procedure, a library function or constant.
#pragma once

#include <memory>
#include <string_view>

#include "vbscript/internal/ast.h"

namespace orvan::vbs::detail {

// The procedure and class around code that Eval or Execute compiles at run time: its names are the
// enclosing frame's.
struct Enclosing {
    const Procedure* procedure = nullptr;
    const ClassDef* cls = nullptr;
};

// Compiles a whole script (enclosing null) or code for Execute (enclosing: the procedure it runs in).
// Throws CompileError.
std::shared_ptr<Program> compileScript(std::string_view source, const Enclosing* enclosing);
// Compiles the expression of an Eval; the result's `expression` holds it.
std::shared_ptr<Program> compileExpression(std::string_view source, const Enclosing* enclosing);

}  // namespace orvan::vbs::detail
