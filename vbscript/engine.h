// The VBScript engine's public face: compile a script once to an immutable Program, run it in an
// Engine (one per page run) whose global scope holds the host's objects, and call its procedures.
// Values are the runtime's com::Variant; errors the runtime's com::ComError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "com_server/error.h"
#include "com_server/object.h"
#include "com_server/variant.h"

namespace orvan::vbs {

// A syntax error: the language's compile-error number (1002 "Syntax error", 1025 "Expected end of
// statement", ...), its English description, and the 1-based line and column in the source text.
// what() reads "DESCRIPTION (line L, column C)".
class CompileError : public std::runtime_error {
public:
    CompileError(std::int32_t number, std::string description, int line, int column);
    std::int32_t number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    int line() const noexcept { return line_; }
    int column() const noexcept { return column_; }

private:
    std::int32_t number_;
    std::string description_;
    int line_;
    int column_;
};

// A run-time error the script did not handle: the ComError (number, description, source) plus the
// 1-based line of the source where it happened (0 when it is not known).
class ScriptError : public com::ComError {
public:
    ScriptError(const com::ComError& error, int line) : com::ComError(error), line_(line) {}
    int line() const noexcept { return line_; }

private:
    int line_;
};

// The compiled form of a script: immutable, shareable across threads and runs.
class Program;

// Compiles source (a whole script) without running any of it. Throws CompileError for the first
// syntax error found. The result may be run any number of times, in any number of engines.
std::shared_ptr<const Program> compile(std::string_view source);

struct EngineHooks {
    // CreateObject(progId); when empty, the process's ClassRegistry creates the object.
    std::function<com::ComPtr<com::Object>(std::string_view progId)> createObject;
    // Called at least every few thousand steps (loop back edges, procedure calls); may throw to stop
    // the run, and what it throws passes through the engine untouched (even a ComError: On Error
    // Resume Next never catches it).
    std::function<void()> checkpoint;
};

class Runtime;  // the engine's state, shared with the class instances the script made

// One script run context (one per page run), used by one thread at a time.
class Engine {
public:
    explicit Engine(EngineHooks hooks = {});
    // Releases the script's variables; Class_Terminate runs for instances whose last reference goes.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Makes value a global variable of the script under name (Response, Request, Session, ...),
    // replacing a global of that name.
    void addGlobal(std::string_view name, com::Variant value);

    // Runs a program's top-level code in the global scope; its Subs, Functions and Classes join the
    // global scope (several programs may run in one engine: global.asa, then the page).
    // An error the script does not handle throws ScriptError. com::ResponseEnded passes through
    // untouched (On Error Resume Next never catches it), as does anything hooks.checkpoint throws.
    void run(const Program& program);

    // Whether the global scope has a Sub or Function of that name (case-insensitive).
    bool hasProcedure(std::string_view name) const;
    // Calls a global Sub or Function with args (by reference: what the procedure writes to a ByRef
    // parameter is written back into args). False when the script has no procedure of that name.
    // Errors as run().
    bool callProcedure(std::string_view name, std::span<com::Variant> args = {});

    // The value of a global variable (Empty when there is none); for hosts and tests.
    com::Variant global(std::string_view name) const;

private:
    std::shared_ptr<Runtime> rt_;
};

}  // namespace orvan::vbs
