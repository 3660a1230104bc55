// The generic invoke over member tables, and the type library printout.
#include "com_server/dispatch.h"

#include <cstdio>
#include <sstream>

namespace orvan::com {
namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool answers(MemberKind k, unsigned flags) {
    switch (k) {
        case MemberKind::Method: return (flags & (kMethod | kGet)) != 0;
        case MemberKind::PropertyGet: return (flags & (kGet | kMethod)) != 0;
        case MemberKind::PropertyPut: return (flags & kPut) != 0;
        case MemberKind::PropertyPutRef: return (flags & (kPutRef | kPut)) != 0;
    }
    return false;
}

// Among the members answering the flags, a property put-by-reference is preferred for an object
// value and a plain put for anything else; a method is preferred to a getter for a call.
const MemberInfo* pick(const MemberInfo* a, const MemberInfo* b, unsigned flags) {
    if (!a) return b;
    if (!b) return a;
    auto rank = [flags](const MemberInfo* m) {
        switch (m->kind) {
            case MemberKind::Method: return (flags & kMethod) ? 0 : 1;
            case MemberKind::PropertyGet: return (flags & kGet) ? 0 : 1;
            case MemberKind::PropertyPutRef: return (flags & kPutRef) ? 0 : 1;
            case MemberKind::PropertyPut: return (flags & kPut) ? 0 : 1;
        }
        return 2;
    };
    return rank(b) < rank(a) ? b : a;
}

Variant callMember(Object& obj, const MemberInfo& m, std::span<Variant> args) {
    const std::size_t n = m.params.size();
    if (args.size() > n) {
        // A getter without parameters called with arguments: the arguments go to the default member
        // of what it returns (rs.Fields("NOME")).
        if (n == 0 && m.kind == MemberKind::PropertyGet) {
            Variant inner = m.call(obj, {});
            return invoke(inner, std::string_view{}, kMethod | kGet, args);
        }
        throw ComError::basic(err::WrongArgumentCount);
    }
    std::vector<Variant> full(n);
    for (std::size_t i = 0; i < n; ++i) {
        const bool given = i < args.size() && !args[i].isMissing();
        if (given) {
            full[i] = args[i];
        } else if (m.params[i].optional) {
            full[i] = m.params[i].defaultValue;
        } else {
            throw ComError::basic(err::ArgumentNotOptional);
        }
    }
    auto writeBack = [&] {
        for (std::size_t i = 0; i < args.size(); ++i)
            if (m.params[i].byRef && !args[i].isMissing()) args[i] = std::move(full[i]);
    };
    try {
        Variant r = m.call(obj, full);
        writeBack();
        return r;
    } catch (...) {
        writeBack();
        throw;
    }
}

}  // namespace

const MemberInfo* TypeInfo::find(std::string_view name, unsigned flags) const {
    const MemberInfo* best = nullptr;
    for (const auto& m : members)
        if (answers(m.kind, flags) && equalsNoCase(m.name, name)) best = pick(best, &m, flags);
    return best;
}

const MemberInfo* TypeInfo::find(std::int32_t dispid, unsigned flags) const {
    const MemberInfo* best = nullptr;
    for (const auto& m : members)
        if (answers(m.kind, flags) && m.dispid == dispid) best = pick(best, &m, flags);
    return best;
}

bool TypeInfo::hasName(std::string_view name) const {
    for (const auto& m : members)
        if (equalsNoCase(m.name, name)) return true;
    return false;
}

Variant invoke(Object& obj, std::string_view name, unsigned flags, std::span<Variant> args) {
    if (name.empty()) return invoke(obj, kDispidValue, flags, args);
    const MemberInfo* m = obj.typeInfo().find(name, flags);
    if (!m) throw ComError::basic(err::NotSupported);
    return callMember(obj, *m, args);
}

Variant invoke(Object& obj, std::int32_t dispid, unsigned flags, std::span<Variant> args) {
    const MemberInfo* m = obj.typeInfo().find(dispid, flags);
    if (!m) throw ComError::basic(err::NotSupported);
    return callMember(obj, *m, args);
}

Variant invoke(const Variant& target, std::string_view name, unsigned flags, std::span<Variant> args) {
    if (!target.isObject()) throw ComError::basic(err::ObjectRequired);
    ComPtr<Object> o = target.rawObject();  // keeps the object alive during the call
    if (!o) throw ComError::basic(err::ObjectNotSet);
    return invoke(*o, name, flags, args);
}

namespace {

void putMemberAt(Object& obj, std::string_view name, std::vector<Variant> args, Variant value, bool reference,
                 int depth) {
    const TypeInfo& info = obj.typeInfo();
    auto find = [&](unsigned flags) { return name.empty() ? info.find(kDispidValue, flags) : info.find(name, flags); };
    const MemberInfo* put = nullptr;
    unsigned flags = kPut;
    if (reference) {
        put = find(kPutRef);
        if (put && put->kind == MemberKind::PropertyPutRef)
            flags = kPutRef;
        else
            put = nullptr;
    }
    if (!put) put = find(kPut);
    if (put) {
        args.push_back(std::move(value));
        invoke(obj, name, flags, args);
        return;
    }
    const MemberInfo* get = find(kGet);
    // The chain is short (a collection, then its item); the bound stops a getter returning its own object.
    if (!get || depth > 4) {
        const ComError base = ComError::basic(err::NotSupported);
        throw ComError(base.number(),
                       base.description() + ": '" + std::string(name.empty() ? "(default)" : name) + "' (" +
                           info.className + ")",
                       info.className);
    }
    const bool passArgs = !get->params.empty();
    std::vector<Variant> getArgs = passArgs ? args : std::vector<Variant>{};
    Variant inner = invoke(obj, name, kGet, getArgs);
    if (!inner.isObject() || !inner.rawObject()) throw ComError::basic(err::ObjectRequired);
    ComPtr<Object> next = inner.rawObject();
    putMemberAt(*next, {}, passArgs ? std::vector<Variant>{} : std::move(args), std::move(value), reference,
                depth + 1);
}

}  // namespace

void putMember(Object& obj, std::string_view name, std::vector<Variant> args, Variant value, bool reference) {
    putMemberAt(obj, name, std::move(args), std::move(value), reference, 0);
}

Variant getProperty(Object& obj, std::string_view name) { return invoke(obj, name, kGet); }

void putProperty(Object& obj, std::string_view name, Variant value) {
    invoke(obj, name, kPut, std::span<Variant>(&value, 1));
}

void putRefProperty(Object& obj, std::string_view name, Variant value) {
    invoke(obj, name, kPutRef, std::span<Variant>(&value, 1));
}

Variant defaultValue(const Variant& v) {
    Variant cur = v;
    // A default member chain is short (Recordset -> Fields -> Field -> Value); the bound stops a
    // default member that returns its own object from looping forever.
    for (int depth = 0; cur.isObject() && depth < 8; ++depth) {
        if (!cur.rawObject()) throw ComError::basic(err::ObjectNotSet);
        ComPtr<Object> o = cur.rawObject();
        cur = invoke(*o, kDispidValue, kGet);
    }
    if (cur.isObject()) throw ComError::basic(err::NotSupported);
    return cur;
}

std::string declName(Decl d) {
    switch (d) {
        case Decl::Void: return "void";
        case Decl::Variant: return "VARIANT";
        case Decl::Integer: return "short";
        case Decl::Long: return "long";
        case Decl::Double: return "double";
        case Decl::Boolean: return "VARIANT_BOOL";
        case Decl::String: return "BSTR";
        case Decl::Date: return "DATE";
        case Decl::Object: return "IDispatch*";
    }
    return "?";
}

std::string describe(const TypeInfo& t) {
    std::ostringstream out;
    out << "coclass " << t.className << " { [default] dispinterface " << t.interfaceName << "; }\n";
    out << "dispinterface " << t.interfaceName << " {\n";
    for (const auto& m : t.members) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(m.dispid));
        const char* kind = "";
        switch (m.kind) {
            case MemberKind::Method: kind = "method"; break;
            case MemberKind::PropertyGet: kind = "propget"; break;
            case MemberKind::PropertyPut: kind = "propput"; break;
            case MemberKind::PropertyPutRef: kind = "propputref"; break;
        }
        out << "    [id(" << id << "), " << kind << "] "
            << (m.result == Decl::Void ? std::string("void") : m.resultTypeName) << " " << m.name << "(";
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            const auto& p = m.params[i];
            if (i) out << ", ";
            if (p.optional) out << "[optional" << (p.defaultValue.isMissing() ? "" : ", defaultvalue") << "] ";
            out << p.typeName << (p.byRef ? "*" : "") << " " << p.name;
            if (p.optional && !p.defaultValue.isMissing()) {
                out << " = ";
                if (p.defaultValue.isString()) out << '"' << p.defaultValue.rawString() << '"';
                else out << CStr(p.defaultValue);
            }
        }
        out << ");\n";
    }
    out << "};\n";
    return out.str();
}

}  // namespace orvan::com
