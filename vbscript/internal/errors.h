// The engine's errors: compile errors by their number with the language's English texts, and the
// run-time errors as the script sees them (the runtime's table, with VBScript's own wording where it
// differs from the runtime's).
#pragma once

#include <cstdint>

#include "com_server/error.h"
#include "vbscript/engine.h"

namespace orvan::vbs::detail {

// The English text of a compile error number (1001..1058); "Syntax error" for one it does not know.
const char* compileErrorText(std::int32_t number) noexcept;
CompileError compileError(std::int32_t number, int line, int column);

// A run-time error by number with the text VBScript gives it.
com::ComError runtimeError(std::int32_t number);
// error as the script sees it: the runtime's text for 91 replaced by VBScript's.
com::ComError asScriptSees(const com::ComError& error);

}  // namespace orvan::vbs::detail
