// Late-bound dispatch: member tables (the type information) and the one generic invoke.
// A class publishes its members once, binding each dispatch name to its C++ member function; the
// binder reads parameter types and by-reference flags off the function's signature, so the table and
// the code cannot disagree. invoke() looks names up case-insensitively, fills omitted optional
// arguments, coerces arguments to the declared types like the classic runtime, and writes
// by-reference arguments back to the caller (also when the member then raises an error).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "com_server/conversions.h"
#include "com_server/error.h"
#include "com_server/object.h"
#include "com_server/variant.h"

namespace orvan::com {

// What a parameter or result is declared as.
enum class Decl { Void, Variant, Integer, Long, Double, Boolean, String, Date, Object };

enum class MemberKind { Method, PropertyGet, PropertyPut, PropertyPutRef };

// How a caller asks for a member (several may be combined, as DISPATCH_METHOD | DISPATCH_PROPERTYGET).
enum InvokeFlags : unsigned { kMethod = 1, kGet = 2, kPut = 4, kPutRef = 8 };

inline constexpr std::int32_t kDispidValue = 0;  // the default member
inline constexpr std::int32_t kDispidUnknown = -1;

// A date passed as a typed parameter (DATE in a type library).
struct DateValue {
    double serial = 0;
};

struct ParamInfo {
    std::string name;
    Decl type = Decl::Variant;
    std::string typeName;  // for objects: the interface, e.g. "_Connection*"
    bool byRef = false;
    bool optional = false;
    Variant defaultValue = Variant::missing();  // what an omitted optional argument becomes
};

struct MemberInfo {
    std::string name;
    std::int32_t dispid = 0;
    MemberKind kind = MemberKind::Method;
    std::vector<ParamInfo> params;
    Decl result = Decl::Void;
    std::string resultTypeName;
    // Runs the member on self with exactly params.size() arguments (defaults already filled in);
    // coerces them, and writes by-reference ones back into args.
    std::function<Variant(Object& self, std::span<Variant> args)> call;
};

struct TypeInfo {
    std::string className;      // "Comum"
    std::string interfaceName;  // "_Comum"
    std::vector<MemberInfo> members;

    // The member of that name (case-insensitive) whose kind answers one of the flags, or null.
    const MemberInfo* find(std::string_view name, unsigned flags) const;
    const MemberInfo* find(std::int32_t dispid, unsigned flags) const;
    bool hasName(std::string_view name) const;
};

// ---------------------------------------------------------------------------------------------
// The generic invoke.

// Calls the member `name` of obj. Errors: 438 for an unknown name, 449 for a missing required
// argument, 450 for too many arguments, 13 for an argument that does not convert.
Variant invoke(Object& obj, std::string_view name, unsigned flags, std::span<Variant> args = {});
Variant invoke(Object& obj, std::int32_t dispid, unsigned flags, std::span<Variant> args = {});
Variant invoke(const Variant& target, std::string_view name, unsigned flags, std::span<Variant> args = {});

// An assignment with arguments, as scripts write it: `obj.Name(args) = value` (or `obj(args) = value`,
// name empty; Set when reference). When the object has no put of that name, the put goes to the default
// member of what the getter of that name returns: with the arguments when the getter takes none
// (Response.Cookies("c") = v puts Cookies' default member), else without them (rs("NOME") = v puts the
// Value of the Field the getter returned). Error 438 naming the member when neither exists.
void putMember(Object& obj, std::string_view name, std::vector<Variant> args, Variant value, bool reference);

// Convenience for C++ callers: get and set a property, call a method with by-value arguments.
Variant getProperty(Object& obj, std::string_view name);
void putProperty(Object& obj, std::string_view name, Variant value);
void putRefProperty(Object& obj, std::string_view name, Variant value);
template <typename... A>
Variant call(Object& obj, std::string_view name, A&&... a) {
    Variant args[] = {Variant(std::forward<A>(a))..., Variant()};
    return invoke(obj, name, kMethod, std::span<Variant>(args, sizeof...(A)));
}

// The plain value of a value: an object is replaced by its default member's value, repeatedly
// (a Recordset gives its Fields, Fields its Item, a Field its Value). Error 438 when an object has
// no default member.
Variant defaultValue(const Variant& v);

// The type library printout of one interface.
std::string describe(const TypeInfo& t);
std::string declName(Decl d);

// ---------------------------------------------------------------------------------------------
// Binding C++ members into a table.

namespace detail {

template <typename T>
struct ObjectOf : std::false_type {};
template <typename T>
struct ObjectOf<ComPtr<T>> : std::true_type {
    using type = T;
};

template <typename T>
constexpr Decl declOf() {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_void_v<U>) return Decl::Void;
    else if constexpr (std::is_same_v<U, Variant>) return Decl::Variant;
    else if constexpr (std::is_same_v<U, std::int16_t>) return Decl::Integer;
    else if constexpr (std::is_same_v<U, std::int32_t>) return Decl::Long;
    else if constexpr (std::is_same_v<U, double>) return Decl::Double;
    else if constexpr (std::is_same_v<U, bool>) return Decl::Boolean;
    else if constexpr (std::is_same_v<U, std::string>) return Decl::String;
    else if constexpr (std::is_same_v<U, DateValue>) return Decl::Date;
    else {
        static_assert(ObjectOf<U>::value, "unsupported dispatch type");
        return Decl::Object;
    }
}

template <typename T>
std::string typeNameOf() {
    using U = std::remove_cvref_t<T>;
    if constexpr (ObjectOf<U>::value) {
        using O = typename ObjectOf<U>::type;
        if constexpr (requires { O::kInterfaceName; }) return std::string(O::kInterfaceName) + "*";
        else return "IDispatch*";
    } else {
        return declName(declOf<T>());
    }
}

// Converts an argument to the declared C++ type.
template <typename T>
std::remove_cvref_t<T> from(const Variant& v) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, Variant>) return v;
    else if constexpr (std::is_same_v<U, std::int16_t>) return CInt(v);
    else if constexpr (std::is_same_v<U, std::int32_t>) return CLng(v);
    else if constexpr (std::is_same_v<U, double>) return CDbl(v);
    else if constexpr (std::is_same_v<U, bool>) return CBool(v);
    else if constexpr (std::is_same_v<U, std::string>) return CStr(v);
    else if constexpr (std::is_same_v<U, DateValue>) return DateValue{CDate(v)};
    else {
        using O = typename ObjectOf<U>::type;
        if (v.isNull() || v.isEmpty() || v.isMissing()) return U();
        if (!v.isObject()) throw ComError::basic(err::TypeMismatch);
        if (!v.rawObject()) return U();
        U p = v.rawObject().template as<O>();
        if (!p) throw ComError::basic(err::TypeMismatch);
        return p;
    }
}

template <typename T>
Variant to(T&& value) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, DateValue>) return Variant::date(value.serial);
    else return Variant(std::forward<T>(value));
}

template <typename T>
constexpr bool isByRef() {
    return std::is_lvalue_reference_v<T> && !std::is_const_v<std::remove_reference_t<T>>;
}

template <typename F>
struct Signature;
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...)> {
    using Class = C;
    using Result = R;
    using Args = std::tuple<A...>;
    static constexpr std::size_t arity = sizeof...(A);
};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...) const> : Signature<R (C::*)(A...)> {};

template <auto Fn, std::size_t... I>
Variant invokeTyped(Object& self, std::span<Variant> args, std::index_sequence<I...>) {
    using Sig = Signature<decltype(Fn)>;
    using C = typename Sig::Class;
    using R = typename Sig::Result;
    std::tuple<std::remove_cvref_t<std::tuple_element_t<I, typename Sig::Args>>...> local{
        from<std::tuple_element_t<I, typename Sig::Args>>(args[I])...};
    auto writeBack = [&] {
        ((isByRef<std::tuple_element_t<I, typename Sig::Args>>() ? (void)(args[I] = to(std::get<I>(local)))
                                                                   : (void)0),
         ...);
    };
    C& obj = static_cast<C&>(self);
    try {
        if constexpr (std::is_void_v<R>) {
            (obj.*Fn)(std::get<I>(local)...);
            writeBack();
            return Variant();
        } else {
            Variant r = to((obj.*Fn)(std::get<I>(local)...));
            writeBack();
            return r;
        }
    } catch (...) {
        writeBack();  // the callee wrote through its references before failing, as in COM
        throw;
    }
}

}  // namespace detail

// How a parameter is published: its name and, for an optional one, its default.
struct Param {
    std::string name;
    bool optional = false;
    Variant defaultValue = Variant::missing();
    Param(const char* n) : name(n) {}
    Param(const char* n, Variant def) : name(n), optional(true), defaultValue(std::move(def)) {}
    static Param opt(const char* n) {
        Param p(n);
        p.optional = true;
        return p;
    }
};

// A member bound to a C++ member function. Parameters: the function's own (T& = by reference).
template <auto Fn>
MemberInfo bind(std::string name, std::int32_t dispid, MemberKind kind, std::vector<Param> params = {}) {
    using Sig = detail::Signature<decltype(Fn)>;
    MemberInfo m;
    m.name = std::move(name);
    m.dispid = dispid;
    m.kind = kind;
    m.result = detail::declOf<typename Sig::Result>();
    if constexpr (!std::is_void_v<typename Sig::Result>) m.resultTypeName = detail::typeNameOf<typename Sig::Result>();
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (m.params.push_back(ParamInfo{
             I < params.size() ? params[I].name : "arg" + std::to_string(I),
             detail::declOf<std::tuple_element_t<I, typename Sig::Args>>(),
             detail::typeNameOf<std::tuple_element_t<I, typename Sig::Args>>(),
             detail::isByRef<std::tuple_element_t<I, typename Sig::Args>>(),
             I < params.size() && params[I].optional,
             I < params.size() ? params[I].defaultValue : Variant::missing()}),
         ...);
    }(std::make_index_sequence<Sig::arity>());
    m.call = [](Object& self, std::span<Variant> args) {
        return detail::invokeTyped<Fn>(self, args, std::make_index_sequence<Sig::arity>());
    };
    return m;
}

template <auto Fn>
MemberInfo method(std::string name, std::int32_t dispid, std::vector<Param> params = {}) {
    return bind<Fn>(std::move(name), dispid, MemberKind::Method, std::move(params));
}
template <auto Fn>
MemberInfo propertyGet(std::string name, std::int32_t dispid, std::vector<Param> params = {}) {
    return bind<Fn>(std::move(name), dispid, MemberKind::PropertyGet, std::move(params));
}
template <auto Fn>
MemberInfo propertyPut(std::string name, std::int32_t dispid, std::vector<Param> params = {"value"}) {
    return bind<Fn>(std::move(name), dispid, MemberKind::PropertyPut, std::move(params));
}
template <auto Fn>
MemberInfo propertyPutRef(std::string name, std::int32_t dispid, std::vector<Param> params = {"value"}) {
    return bind<Fn>(std::move(name), dispid, MemberKind::PropertyPutRef, std::move(params));
}

namespace detail {
template <typename M>
struct MemberPtr;
template <typename C, typename T>
struct MemberPtr<T C::*> {
    using Class = C;
    using Type = T;
};
}  // namespace detail

// A plain stored member published as a property: get returns what is stored; the setter (let for a
// value, set by reference for an object) replaces it and releases what it held, with no further effect.
template <auto Member>
std::vector<MemberInfo> storedProperty(const std::string& name, std::int32_t dispid) {
    using C = typename detail::MemberPtr<decltype(Member)>::Class;
    using T = typename detail::MemberPtr<decltype(Member)>::Type;
    MemberInfo get;
    get.name = name;
    get.dispid = dispid;
    get.kind = MemberKind::PropertyGet;
    get.result = detail::declOf<T>();
    get.resultTypeName = detail::typeNameOf<T>();
    get.call = [](Object& self, std::span<Variant>) { return detail::to(T(static_cast<C&>(self).*Member)); };
    MemberInfo set;
    set.name = name;
    set.dispid = dispid;
    set.kind = detail::ObjectOf<T>::value ? MemberKind::PropertyPutRef : MemberKind::PropertyPut;
    set.params.push_back(ParamInfo{"value", detail::declOf<T>(), detail::typeNameOf<T>(), false, false,
                                   Variant::missing()});
    set.call = [](Object& self, std::span<Variant> args) {
        T value = detail::from<T>(args[0]);
        std::swap(static_cast<C&>(self).*Member, value);  // the old value is released here, after the store
        return Variant();
    };
    return {std::move(get), std::move(set)};
}

}  // namespace orvan::com
