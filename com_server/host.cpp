// Object context per thread, and the in-memory host objects.
#include "com_server/host.h"
#include "com_server/ascii.h"

#include <cctype>

namespace orvan::com {
namespace {

thread_local ObjectContext* t_context = nullptr;

using ascii::upper;

}  // namespace

ObjectContext& GetObjectContext() {
    if (!t_context)
        throw ComError(err::NoObjectContext,
                       "No object context: the object was not created by a page, so there are no host objects",
                       "Orvan_Geral");
    return *t_context;
}

ObjectContextScope::ObjectContextScope(ObjectContext& ctx) : previous_(t_context) { t_context = &ctx; }
ObjectContextScope::~ObjectContextScope() { t_context = previous_; }

void SimpleObjectContext::set(const std::string& name, Variant object) { items_[upper(name)] = std::move(object); }

Variant SimpleObjectContext::item(std::string_view name) {
    auto it = items_.find(upper(name));
    if (it == items_.end())
        throw ComError(3265,
                       "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    return it->second;
}

Variant MemoryApplication::Value(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto it = values_.find(upper(key));
    return it == values_.end() ? Variant() : it->second;
}

void MemoryApplication::SetValue(const std::string& key, const Variant& value) {
    std::lock_guard lock(mutex_);
    values_[upper(key)] = value;
}

const TypeInfo& MemoryApplication::typeInfo() const {
    static const TypeInfo info{"Application",
                               "IApplicationObject",
                               {propertyGet<&MemoryApplication::Value>("Value", kDispidValue, {"key"}),
                                bind<&MemoryApplication::SetValue>("Value", kDispidValue, MemberKind::PropertyPut,
                                                                   {"key", "value"}),
                                method<&MemoryApplication::Lock>("Lock", 1),
                                method<&MemoryApplication::Unlock>("Unlock", 2)}};
    return info;
}

void MemoryResponse::Write(const Variant& value) {
    body_ += CStr(value);
    ++writes_;
}

void MemoryResponse::End() {
    ended_ = true;
    throw ResponseEnded{};
}

const TypeInfo& MemoryResponse::typeInfo() const {
    static const TypeInfo info{"Response",
                               "IResponse",
                               {method<&MemoryResponse::Write>("Write", 1, {"value"}),
                                method<&MemoryResponse::End>("End", 2)}};
    return info;
}

}  // namespace orvan::com

namespace orvan::com {
namespace {

// Reads the context item and converts it to the host interface T; type mismatch when it is not one.
template <typename T>
void obtain(ComPtr<T>& slot, std::string_view item) {
    if (slot) return;
    Variant v = GetObjectContext().item(item);
    if (!v.isObject() || !v.rawObject()) throw ComError::basic(err::ObjectRequired);
    ComPtr<T> p = v.rawObject().as<T>();
    if (!p) throw ComError::basic(err::TypeMismatch);
    slot = std::move(p);
}

}  // namespace

void HostObjects::Usar_Application() { obtain(oApplication, "Application"); }
void HostObjects::Usar_Response() { obtain(oResponse, "Response"); }
void HostObjects::Usar_Session() { obtain(oSession, "Session"); }
void HostObjects::Usar_Server() { obtain(oServer, "Server"); }
void HostObjects::Usar_Request() { obtain(oRequest, "Request"); }

std::vector<MemberInfo> HostedObject::usarMembers(std::int32_t first) {
    return {method<&HostedObject::Usar_Application>("Usar_Application", first),
            method<&HostedObject::Usar_Response>("Usar_Response", first + 1),
            method<&HostedObject::Usar_Session>("Usar_Session", first + 2),
            method<&HostedObject::Usar_Server>("Usar_Server", first + 3),
            method<&HostedObject::Usar_Request>("Usar_Request", first + 4)};
}

}  // namespace orvan::com
