// The library's inspection functions (IsXxx, TypeName, VarType, LBound, UBound), Array, the
// ScriptEngine* identification, and the argument helpers the other library files share.
#include "com_server/dispatch.h"
#include "vbscript/internal/library_impl.h"
#include "vbscript/internal/text.h"

namespace orvan::vbs::lib {
namespace {

using com::VarType;

// The dimension argument of LBound/UBound (1 when absent); error 9 when the array has no such one.
std::size_t dimensionArg(Args a, const Variant& array) {
    const std::int32_t d = given(a, 1) ? longArg(a[1]) : 1;
    if (d < 1 || static_cast<std::size_t>(d) > array.arraySizes().size()) fail(com::err::SubscriptOutOfRange);
    return static_cast<std::size_t>(d - 1);
}

// True for an object whose default member is a property read without arguments (a collection's
// Item(key) is not one: VarType answers vbObject for it).
bool hasDefaultProperty(const Variant& v) {
    if (!v.isObject() || !v.rawObject()) return false;
    const com::MemberInfo* m = v.rawObject()->typeInfo().find(com::kDispidValue, com::kGet);
    if (!m) return false;
    for (const auto& p : m->params)
        if (!p.optional) return false;
    return true;
}

}  // namespace

std::int32_t longArg(const Variant& v) {
    if (v.isNull()) fail(com::err::InvalidUseOfNull);
    return com::CLng(v);
}

int compareArg(Args a, std::size_t i) {
    if (!given(a, i)) return 0;
    const std::int32_t c = longArg(a[i]);
    if (c < 0 || c > 2) fail(com::err::InvalidCall);
    return c == 0 ? 0 : 1;
}

bool tristateArg(Args a, std::size_t i, bool dflt) {
    if (!given(a, i)) return dflt;
    if (!a[i].isString() && !a[i].isNull() && com::CDbl(a[i]) == -2) return dflt;
    return com::CBool(a[i]);
}

std::u16string u16(const Variant& v) { return text::toUtf16(com::CStr(v)); }

Variant str(std::u16string_view s) { return Variant(text::toUtf8(s)); }

const Variant& arrayArg(const Variant& v) {
    if (!v.isArray()) fail(com::err::TypeMismatch);
    return v;
}

Variant IsArray(Args a) { return Variant(a[0].isArray()); }

Variant IsDate(Args a) {
    const Variant& v = a[0];
    if (v.type() == VarType::Date) return Variant(true);
    if (v.isString()) return Variant(com::parseDate(v.rawString(), com::currentRegional()).has_value());
    return Variant(false);
}

Variant IsEmpty(Args a) { return Variant(a[0].isEmpty()); }
Variant IsNull(Args a) { return Variant(a[0].isNull()); }

Variant IsNumeric(Args a) {
    const Variant& v = a[0];
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Integer:
        case VarType::Long:
        case VarType::Single:
        case VarType::Double:
        case VarType::Currency:
        case VarType::Boolean:
        case VarType::Byte:
            return Variant(true);
        case VarType::String:
            return Variant(com::parseNumber(v.rawString(), com::currentRegional()).has_value());
        default:
            return Variant(false);
    }
}

Variant IsObject(Args a) { return Variant(a[0].isObject()); }

Variant TypeName(Args a) {
    const Variant& v = a[0];
    switch (v.type()) {
        case VarType::Empty: return Variant("Empty");
        case VarType::Null: return Variant("Null");
        case VarType::Integer: return Variant("Integer");
        case VarType::Long: return Variant("Long");
        case VarType::Single: return Variant("Single");
        case VarType::Double: return Variant("Double");
        case VarType::Currency: return Variant("Currency");
        case VarType::Date: return Variant("Date");
        case VarType::String: return Variant("String");
        case VarType::Boolean: return Variant("Boolean");
        case VarType::Byte: return Variant("Byte");
        case VarType::Missing: return Variant("Error");
        case VarType::Array: return Variant("Variant()");
        case VarType::Object:
            if (!v.rawObject()) return Variant("Nothing");
            return Variant(v.rawObject()->typeInfo().className);
    }
    return Variant("Unknown");
}

Variant VarType(Args a) {
    const Variant& v = a[0];
    if (v.isArray()) return Variant(std::int16_t{8192 + 12});
    // An object with a default property answers the type of that property's value.
    if (hasDefaultProperty(v)) {
        const Variant inner = com::defaultValue(v);
        return Variant(static_cast<std::int16_t>(inner.isArray() ? 8204 : static_cast<int>(inner.type())));
    }
    return Variant(static_cast<std::int16_t>(static_cast<int>(v.type())));
}

Variant LBound(Args a) {
    const Variant& array = arrayArg(a[0]);
    dimensionArg(a, array);
    return Variant(std::int32_t{0});
}

Variant UBound(Args a) {
    const Variant& array = arrayArg(a[0]);
    return Variant(array.arraySizes()[dimensionArg(a, array)] - 1);
}

Variant Array(Args a) { return Variant::array(std::vector<Variant>(a.begin(), a.end())); }

Variant ScriptEngine(Args) { return Variant("VBScript"); }
Variant ScriptEngineMajorVersion(Args) { return Variant(std::int32_t{5}); }
Variant ScriptEngineMinorVersion(Args) { return Variant(std::int32_t{8}); }
Variant ScriptEngineBuildVersion(Args) { return Variant(std::int32_t{16384}); }

}  // namespace orvan::vbs::lib
