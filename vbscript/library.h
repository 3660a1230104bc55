// The VBScript function library (strings, formatting, conversions, math, dates, inspection) as a
// table the compiler resolves names against. Each function is plain: it gets its arguments evaluated
// and by value, and does not reach the engine. The functions that need the engine itself (Eval,
// Execute, ExecuteGlobal, GetRef, CreateObject) are the engine's own.
#pragma once

#include <span>
#include <string_view>

#include "com_server/variant.h"

namespace orvan::vbs {

// args holds exactly the arguments the caller wrote (minArgs..maxArgs of them); an argument left
// out between others (`InStr(, "a")` is not VBScript, but `Mid(s, 2)` omits the third) is simply
// absent from the end. Errors are com::ComError with the runtime's numbers.
using LibraryFn = com::Variant (*)(std::span<com::Variant> args);

struct LibraryFunction {
    std::string_view name;  // as the language reference writes it: "InStrRev"
    int minArgs;
    int maxArgs;
    LibraryFn fn;
};

// The function of that name (case-insensitive), or null.
const LibraryFunction* findLibraryFunction(std::string_view name);

// Every function of the library.
std::span<const LibraryFunction> libraryFunctions();

// The value of one of the language's named constants (vbCrLf, vbTextCompare, vbSunday, vbObjectError,
// vbString, ...), case-insensitive, or null when the name is not one of them.
const com::Variant* findLibraryConstant(std::string_view name);

// Makes the library's classes creatable by ProgID through the process's class registry:
// "Scripting.Dictionary" and "VBScript.RegExp". Idempotent; safe from several threads.
void registerScriptingClasses();

}  // namespace orvan::vbs
