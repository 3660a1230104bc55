// The host objects a page offers to the component (Application, Response, Session, Server, Request)
// and the object context through which the component finds them. The page host installs a context per
// request on the thread that runs it; GetObjectContext() returns it.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "com_server/class_registry.h"
#include "com_server/dispatch.h"
#include "com_server/object.h"
#include "com_server/variant.h"

namespace orvan::com {

// Application: values shared by the whole site, by key (case-insensitive).
class IApplicationObject : public Object {
public:
    static constexpr const char* kInterfaceName = "IApplicationObject";
    // The value stored under key; Empty when there is none.
    virtual Variant Value(const std::string& key) = 0;
    virtual void SetValue(const std::string& key, const Variant& value) = 0;
};

// Response: what the page sends back.
class IResponse : public Object {
public:
    static constexpr const char* kInterfaceName = "IResponse";
    // Appends the text form of value (CStr) to the response body.
    virtual void Write(const Variant& value) = 0;
    // Stops the page: throws ResponseEnded after marking the response complete.
    virtual void End() = 0;
};

class ISessionObject : public Object {
public:
    static constexpr const char* kInterfaceName = "ISessionObject";
};
class IServer : public Object {
public:
    static constexpr const char* kInterfaceName = "IServer";
};
class IRequest : public Object {
public:
    static constexpr const char* kInterfaceName = "IRequest";
};

// The object context of the running request: its items by name.
class ObjectContext {
public:
    virtual ~ObjectContext() = default;
    // The item of that name ("Application", "Response", "Session", "Server", "Request"), as an Object
    // Variant; error 3265-like "item not found" when the context has none of that name.
    virtual Variant item(std::string_view name) = 0;
};

// The context installed on this thread. Error NoObjectContext ("no object context: the object was
// not created by a page") where there is none.
ObjectContext& GetObjectContext();

// Installs a context for the lifetime of the scope, on this thread.
class ObjectContextScope {
public:
    explicit ObjectContextScope(ObjectContext& ctx);
    ~ObjectContextScope();
    ObjectContextScope(const ObjectContextScope&) = delete;
    ObjectContextScope& operator=(const ObjectContextScope&) = delete;

private:
    ObjectContext* previous_;
};

// A context holding five objects, as a page run installs it.
class SimpleObjectContext : public ObjectContext {
public:
    void set(const std::string& name, Variant object);
    Variant item(std::string_view name) override;

private:
    std::map<std::string, Variant, std::less<>> items_;
};

// In-memory host objects, for tests and for the command line.
class MemoryApplication : public IApplicationObject {
public:
    Variant Value(const std::string& key) override;
    void SetValue(const std::string& key, const Variant& value) override;
    const TypeInfo& typeInfo() const override;
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
    std::map<std::string, Variant> values_;  // keys upper-cased
};

class MemoryResponse : public IResponse {
public:
    void Write(const Variant& value) override;
    void End() override;
    const TypeInfo& typeInfo() const override;
    const std::string& body() const { return body_; }
    bool ended() const { return ended_; }
    // How many times Write was called (tests check that writes are separate).
    int writes() const { return writes_; }

private:
    std::string body_;
    bool ended_ = false;
    int writes_ = 0;
};

}  // namespace orvan::com

namespace orvan::com {

// The five host-object references of a component object and the Usar_* methods that fill them,
// shared by Comum, Geral and Pauta. A reference once obtained is never refreshed. Failures (no
// context, a missing item, an item of the wrong kind) pass to the caller and leave the reference null.
struct HostObjects {
    ComPtr<IApplicationObject> oApplication;
    ComPtr<IResponse> oResponse;
    ComPtr<ISessionObject> oSession;
    ComPtr<IServer> oServer;
    ComPtr<IRequest> oRequest;

    void Usar_Application();
    void Usar_Response();
    void Usar_Session();
    void Usar_Server();
    void Usar_Request();
};

// A component class that reaches the host objects: the five published Usar_* methods over its own
// references (Comum, Geral and Pauta all derive from it).
class HostedObject : public ComponentObject {
public:
    void Usar_Application() { host_.Usar_Application(); }
    void Usar_Response() { host_.Usar_Response(); }
    void Usar_Session() { host_.Usar_Session(); }
    void Usar_Server() { host_.Usar_Server(); }
    void Usar_Request() { host_.Usar_Request(); }

protected:
    // The five Usar_* members for a member table, with consecutive dispatch ids from first.
    static std::vector<MemberInfo> usarMembers(std::int32_t first);

    HostObjects host_;
};

}  // namespace orvan::com
