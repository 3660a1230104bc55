// The intrinsic objects of one request: Request (with its four collections), Response (with its
// cookies) and Server. They are made for one page run and used by its thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "com_server/dispatch.h"
#include "com_server/enumeration.h"
#include "com_server/host.h"
#include "page_host/page_run.h"
#include "page_host/run_budget.h"

namespace orvan::host::detail {

// The page's time and memory budget: Server.ScriptTimeout writes its timeout, the engine's allocator
// and execution check read it.
using ScriptClock = RunBudget;

// A read-only collection of the request (QueryString, Form, Cookies, ServerVariables): a value by
// name (case-insensitive; several values of one name joined by ", "), or by 1-based position.
class RequestCollection : public com::Object {
public:
    RequestCollection(std::string name, NameValues items, std::string whole);

    // Item(name) is the value text, Empty when the name is absent; Item() is the whole collection as
    // text (the raw query for QueryString and Form).
    com::Variant get_Item(com::Variant Index);
    std::int32_t get_Count();
    com::Variant get_Key(com::Variant Index);
    // For Each gives the names, in the order they first came.
    com::ComPtr<com::Enumerator> NewEnum();

    // The value under name as Item gives it, or nothing when absent.
    std::optional<std::string> find(std::string_view name) const;

    const com::TypeInfo& typeInfo() const override;

private:
    std::string name_;
    std::vector<std::string> keys_;              // distinct names in first-seen order
    std::map<std::string, std::string> values_;  // folded name -> joined values
    std::string whole_;
};

// The request as the page sees it. Each collection is built the first time the page asks for it: most
// pages read one or two of them, many none.
class RequestObject : public com::IRequest {
public:
    explicit RequestObject(PageRequest request);

    com::ComPtr<RequestCollection> get_QueryString();
    com::ComPtr<RequestCollection> get_Form();
    com::ComPtr<RequestCollection> get_Cookies();
    com::ComPtr<RequestCollection> get_ServerVariables();
    // Request("x"): QueryString, then Form, then Cookies, then ServerVariables; Empty when none has it.
    com::Variant get_Item(std::string name);
    std::int32_t get_TotalBytes();

    const com::TypeInfo& typeInfo() const override;

private:
    PageRequest request_;
    com::ComPtr<RequestCollection> queryString_, form_, cookies_, serverVariables_;
};

class ResponseObject;

// One cookie of the response, as Response.Cookies("name") gives it.
class ResponseCookieObject : public com::Object {
public:
    ResponseCookieObject(com::ComPtr<ResponseObject> response, std::string name);

    std::string get_Value();
    void put_Value(std::string value);
    com::Variant get_Expires();
    void put_Expires(com::DateValue value);
    std::string get_Domain();
    void put_Domain(std::string value);
    std::string get_Path();
    void put_Path(std::string value);
    bool get_Secure();
    void put_Secure(bool value);

    const com::TypeInfo& typeInfo() const override;

private:
    ResponseCookie& cookie();
    com::ComPtr<ResponseObject> response_;
    std::string name_;
};

// Response.Cookies: Response.Cookies("name") = "value" sets a cookie; Response.Cookies("name") is the
// cookie object (Expires, Domain, Path, Secure).
class ResponseCookies : public com::Object {
public:
    explicit ResponseCookies(com::ComPtr<ResponseObject> response) : response_(std::move(response)) {}

    com::ComPtr<ResponseCookieObject> get_Item(std::string name);
    void put_Item(std::string name, std::string value);
    std::int32_t get_Count();

    const com::TypeInfo& typeInfo() const override;

private:
    com::ComPtr<ResponseObject> response_;
};

class ResponseObject : public com::IResponse {
public:
    ResponseObject() = default;

    // Appends the value's text: nothing for Empty and Null, an object's default value, numbers and
    // dates as the regional settings write them. Ignored once the response has ended.
    void Write(const com::Variant& value) override;
    // Marks the response complete and stops the page (throws com::ResponseEnded).
    void End() override;
    // Status "302 Object moved", a Location header, a short body pointing there, and the end.
    void Redirect(std::string url);
    void AddHeader(std::string name, std::string value);
    void Clear();
    void Flush();
    std::string get_ContentType() { return response_.contentType; }
    void put_ContentType(std::string value) { response_.contentType = std::move(value); }
    std::string get_Charset() { return response_.charset; }
    void put_Charset(std::string value) { response_.charset = std::move(value); }
    std::string get_CacheControl() { return response_.cacheControl; }
    void put_CacheControl(std::string value) { response_.cacheControl = std::move(value); }
    std::string get_Status() { return response_.status; }
    void put_Status(std::string value);
    bool get_Buffer() { return buffer_; }
    void put_Buffer(bool value) { buffer_ = value; }
    std::int32_t get_Expires() { return expires_; }
    void put_Expires(std::int32_t minutes);
    com::ComPtr<ResponseCookies> get_Cookies();
    bool get_IsClientConnected() { return true; }

    bool ended() const { return ended_; }
    PageResponse& response() { return response_; }
    ResponseCookie& cookie(const std::string& name);

    const com::TypeInfo& typeInfo() const override;

private:
    PageResponse response_;
    bool ended_ = false;
    bool buffer_ = true;
    std::int32_t expires_ = 0;
};

class ServerObject : public com::IServer {
public:
    // pagePath: the page's path from the site root ("/agenda/lista.asp"), for MapPath of relative paths.
    ServerObject(std::filesystem::path siteRoot, std::string pagePath, ScriptClock& clock);

    com::ComPtr<com::Object> CreateObject(std::string ProgID);
    std::string HTMLEncode(com::Variant text);
    std::string URLEncode(com::Variant text);
    // The file a path of the site names: "/x" from the site root, "x" from the page's folder. Refuses a
    // path that leaves the site root.
    std::string MapPath(std::string path);
    std::int32_t get_ScriptTimeout();
    void put_ScriptTimeout(std::int32_t seconds);

    const com::TypeInfo& typeInfo() const override;

private:
    std::filesystem::path siteRoot_;
    std::string pagePath_;
    ScriptClock& clock_;
};

}  // namespace orvan::host::detail
