// Running scripts in tests.
#include "script_support.h"

#include "com_server/conversions.h"

namespace orvan::vbs::test {

const com::TypeInfo& Output::typeInfo() const {
    static const com::TypeInfo info = [] {
        com::TypeInfo t;
        t.className = "Output";
        t.interfaceName = "IOutput";
        t.members = {com::method<&Output::Write>("Write", 1, {"value"}), com::method<&Output::Line>("Line", 2, {"value"})};
        return t;
    }();
    return info;
}

void Output::Write(com::Variant v) { text += v.isNull() ? std::string("Null") : com::CStr(v); }

void Output::Line(com::Variant v) {
    Write(std::move(v));
    text += '\n';
}

std::string run(std::string_view source) {
    auto out = com::make<Output>();
    auto program = compile(source);
    {
        Engine engine;
        engine.addGlobal("Out", com::Variant(out));
        engine.run(*program);
    }
    return out->text;
}

com::Variant value(std::string_view expression) {
    auto program = compile("probe__ = " + std::string(expression) + "\n");
    Engine engine;
    engine.run(*program);
    return engine.global("probe__");
}

std::string described(const com::Variant& v) {
    if (v.isNull()) return "Null";
    if (v.isEmpty()) return "Empty";
    return std::string(com::typeName(v.type())) + " " + com::CStr(v);
}

RunError runError(std::string_view source) {
    try {
        run(source);
    } catch (const ScriptError& e) {
        return RunError{e.number(), e.description(), e.line()};
    }
    return {};
}

}  // namespace orvan::vbs::test
