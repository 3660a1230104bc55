// A small table of the VBScript library: the conversions and inspection functions and the few named
// constants the engine's own tests print values with. The full library replaces this file.
#include <cstdint>
#include <string>
#include <strings.h>

#include "com_server/conversions.h"
#include "com_server/dispatch.h"
#include "com_server/error.h"
#include "vbscript/library.h"

namespace orvan::vbs {
namespace {

using com::Variant;
using com::VarType;

Variant plain(const Variant& v) {
    return v.isObject() && v.rawObject() ? com::defaultValue(v) : v;
}

Variant fnLen(std::span<Variant> a) {
    const Variant v = plain(a[0]);
    if (v.isNull()) return Variant::null();
    const std::string s = com::CStr(v);
    std::int32_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) n += c >= 0xF0 ? 2 : 1;  // characters outside the BMP count twice
    return Variant(n);
}
Variant fnCStr(std::span<Variant> a) { return Variant(com::CStr(a[0])); }
Variant fnCLng(std::span<Variant> a) { return Variant(com::CLng(a[0])); }
Variant fnCInt(std::span<Variant> a) { return Variant(com::CInt(a[0])); }
Variant fnCDbl(std::span<Variant> a) { return Variant(com::CDbl(a[0])); }
Variant fnCBool(std::span<Variant> a) { return Variant(com::CBool(a[0])); }

Variant fnTypeName(std::span<Variant> a) {
    const Variant& v = a[0];
    if (v.isObject()) {
        if (!v.rawObject()) return Variant("Nothing");
        return Variant(v.rawObject()->typeInfo().className);
    }
    return Variant(com::typeName(v.type()));
}

Variant fnVarType(std::span<Variant> a) {
    const Variant& v = a[0];
    if (v.isObject() && v.rawObject() && v.rawObject()->typeInfo().find(com::kDispidValue, com::kGet))
        return Variant(static_cast<std::int16_t>(com::defaultValue(v).type()));
    if (v.isMissing()) return Variant(std::int16_t{10});
    return Variant(static_cast<std::int16_t>(v.type()));
}

Variant fnIsEmpty(std::span<Variant> a) { return Variant(a[0].isEmpty()); }
Variant fnIsNull(std::span<Variant> a) { return Variant(a[0].isNull()); }
Variant fnIsObject(std::span<Variant> a) { return Variant(a[0].isObject()); }
Variant fnIsArray(std::span<Variant> a) { return Variant(a[0].isArray()); }

// The dimension (1-based) LBound and UBound ask about, checked against the array.
std::size_t dimension(std::span<Variant> a) {
    if (!a[0].isArray()) throw com::ComError::basic(com::err::TypeMismatch);
    const std::int32_t d = a.size() > 1 ? com::CLng(a[1]) : 1;
    if (d < 1 || static_cast<std::size_t>(d) > a[0].arraySizes().size())
        throw com::ComError::basic(com::err::SubscriptOutOfRange);
    return static_cast<std::size_t>(d - 1);
}
Variant fnLBound(std::span<Variant> a) {
    dimension(a);
    return Variant(std::int32_t{0});
}
Variant fnUBound(std::span<Variant> a) { return Variant(a[0].arraySizes()[dimension(a)] - 1); }

constexpr LibraryFunction kFunctions[] = {
    {"CBool", 1, 1, fnCBool},     {"CDbl", 1, 1, fnCDbl},       {"CInt", 1, 1, fnCInt},
    {"CLng", 1, 1, fnCLng},       {"CStr", 1, 1, fnCStr},       {"IsArray", 1, 1, fnIsArray},
    {"IsEmpty", 1, 1, fnIsEmpty}, {"IsNull", 1, 1, fnIsNull},   {"IsObject", 1, 1, fnIsObject},
    {"LBound", 1, 2, fnLBound},   {"Len", 1, 1, fnLen},         {"TypeName", 1, 1, fnTypeName},
    {"UBound", 1, 2, fnUBound},   {"VarType", 1, 1, fnVarType},
};

struct NamedConstant {
    const char* name;
    Variant value;
};

}  // namespace

const LibraryFunction* findLibraryFunction(std::string_view name) {
    for (const auto& f : kFunctions)
        if (f.name.size() == name.size() && ::strncasecmp(f.name.data(), name.data(), name.size()) == 0) return &f;
    return nullptr;
}

std::span<const LibraryFunction> libraryFunctions() { return kFunctions; }

const com::Variant* findLibraryConstant(std::string_view name) {
    static const NamedConstant kConstants[] = {
        {"vbCrLf", Variant("\r\n")},
        {"vbTab", Variant("\t")},
        {"vbObjectError", Variant(static_cast<std::int32_t>(0x80040000u))},
    };
    for (const auto& c : kConstants) {
        const std::string_view n = c.name;
        if (n.size() == name.size() && ::strncasecmp(n.data(), name.data(), name.size()) == 0) return &c.value;
    }
    return nullptr;
}

void registerScriptingClasses() {}

}  // namespace orvan::vbs
