// Running scripts in tests: an engine with an `Out` object whose Write appends to a text the test
// reads back, and a value probe that gives the Variant an expression evaluates to.
#pragma once

#include <string>
#include <string_view>

#include "com_server/dispatch.h"
#include "com_server/variant.h"
#include "vbscript/engine.h"

namespace orvan::vbs::test {

// Out.Write v appends CStr(v) (Null as "Null"); Out.Line v appends it and a line end "\n".
class Output final : public com::Object {
public:
    const com::TypeInfo& typeInfo() const override;
    void Write(com::Variant v);
    void Line(com::Variant v);
    std::string text;
};

// Runs source in a fresh engine (with Out) and gives what it wrote. Errors propagate.
std::string run(std::string_view source);

// The value `expression` evaluates to (the script assigns it to a global and the test reads it).
com::Variant value(std::string_view expression);

// "Subtype value": the subtype's name and the value as CStr writes it ("Null", "Empty" for those).
std::string described(const com::Variant& v);

// The error a run raises: its number and description, or number 0 when the run succeeds.
struct RunError {
    std::int32_t number = 0;
    std::string description;
    int line = 0;
};
RunError runError(std::string_view source);

}  // namespace orvan::vbs::test
