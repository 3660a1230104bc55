// Request, Response and Server of one page run.
#include "page_host/internal/request_objects.h"

#include <algorithm>

#include "com_server/class_registry.h"
#include "com_server/conversions.h"
#include "com_server/escaping.h"

namespace orvan::host::detail {

using com::ComError;
using com::htmlEncode;
using com::urlEncode;
using com::ComPtr;
using com::Variant;

namespace {

// A value as text for the page: nothing for Empty and Null, an object's default value.
std::string pageText(const Variant& value) {
    if (value.isEmpty() || value.isNull() || value.isMissing()) return {};
    if (value.isObject()) return pageText(com::defaultValue(value));
    return com::CStr(value);
}

constexpr std::int32_t kFail = com::hr::Fail;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Request

RequestCollection::RequestCollection(std::string name, NameValues items, std::string whole)
    : name_(std::move(name)), whole_(std::move(whole)) {
    for (auto& [key, value] : items) {
        const std::string folded = com::UCase(key);
        auto it = values_.find(folded);
        if (it == values_.end()) {
            keys_.push_back(key);
            values_.emplace(folded, std::move(value));
        } else {
            it->second += ", " + value;
        }
    }
}

std::optional<std::string> RequestCollection::find(std::string_view name) const {
    auto it = values_.find(com::UCase(name));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

Variant RequestCollection::get_Item(Variant Index) {
    if (Index.isMissing()) return Variant(whole_);
    if (Index.isNumeric()) {
        const std::int32_t i = com::CLng(Index);
        if (i < 1 || static_cast<std::size_t>(i) > keys_.size())
            throw ComError::basic(com::err::SubscriptOutOfRange, "Request");
        return Variant(*find(keys_[static_cast<std::size_t>(i - 1)]));
    }
    if (auto v = find(com::CStr(Index))) return Variant(std::move(*v));
    return Variant();
}

std::int32_t RequestCollection::get_Count() {
    return static_cast<std::int32_t>(keys_.size());
}

Variant RequestCollection::get_Key(Variant Index) {
    const std::int32_t i = com::CLng(Index);
    if (i < 1 || static_cast<std::size_t>(i) > keys_.size())
        throw ComError::basic(com::err::SubscriptOutOfRange, "Request");
    return Variant(keys_[static_cast<std::size_t>(i - 1)]);
}

ComPtr<com::Enumerator> RequestCollection::NewEnum() {
    return com::make<com::ListEnumerator>(std::vector<Variant>(keys_.begin(), keys_.end()));
}

const com::TypeInfo& RequestCollection::typeInfo() const {
    static const com::TypeInfo info{"RequestDictionary",
                                    "IRequestDictionary",
                                    {com::propertyGet<&RequestCollection::get_Item>(
                                         "Item", com::kDispidValue, {com::Param::opt("Index")}),
                                     com::propertyGet<&RequestCollection::get_Count>("Count", 1),
                                     com::propertyGet<&RequestCollection::get_Key>("Key", 2, {"Index"}),
                                     com::propertyGet<&RequestCollection::NewEnum>("_NewEnum", com::kDispidNewEnum)}};
    return info;
}

namespace {

std::string joinPairs(const NameValues& items) {
    std::string out;
    for (const auto& [name, value] : items) {
        if (!out.empty()) out += '&';
        out += urlEncode(name) + "=" + urlEncode(value);
    }
    return out;
}

std::string joinCookies(const NameValues& items) {
    std::string out;
    for (const auto& [name, value] : items) {
        if (!out.empty()) out += "; ";
        out += name + "=" + value;
    }
    return out;
}

}  // namespace

RequestObject::RequestObject(PageRequest request) : request_(std::move(request)) {}

ComPtr<RequestCollection> RequestObject::get_QueryString() {
    if (!queryString_) {
        const std::string query = request_.queryString.empty() ? joinPairs(request_.query) : request_.queryString;
        queryString_ = com::make<RequestCollection>(
            "QueryString", request_.query.empty() ? parseUrlEncoded(request_.queryString) : request_.query, query);
    }
    return queryString_;
}

ComPtr<RequestCollection> RequestObject::get_Form() {
    if (!form_) form_ = com::make<RequestCollection>("Form", request_.form, joinPairs(request_.form));
    return form_;
}

ComPtr<RequestCollection> RequestObject::get_Cookies() {
    if (!cookies_)
        cookies_ = com::make<RequestCollection>("Cookies", request_.cookies, joinCookies(request_.cookies));
    return cookies_;
}

ComPtr<RequestCollection> RequestObject::get_ServerVariables() {
    if (!serverVariables_) {
        NameValues variables = request_.serverVariables;
        if (request_.moreServerVariables) {
            for (auto& [name, value] : request_.moreServerVariables(request_)) {
                const auto given = [&](const auto& item) { return item.first == name; };
                if (std::none_of(variables.begin(), variables.end(), given)) variables.emplace_back(name, std::move(value));
            }
        }
        std::string all;
        for (const auto& [name, value] : variables) all += name + ": " + value + "\r\n";
        serverVariables_ = com::make<RequestCollection>("ServerVariables", variables, all);
    }
    return serverVariables_;
}

std::int32_t RequestObject::get_TotalBytes() {
    return static_cast<std::int32_t>(joinPairs(request_.form).size());
}

Variant RequestObject::get_Item(std::string name) {
    for (auto get : {&RequestObject::get_QueryString, &RequestObject::get_Form, &RequestObject::get_Cookies,
                     &RequestObject::get_ServerVariables})
        if (auto v = (this->*get)()->find(name)) return Variant(std::move(*v));
    return Variant();
}

const com::TypeInfo& RequestObject::typeInfo() const {
    static const com::TypeInfo info{
        "Request",
        "IRequest",
        {com::propertyGet<&RequestObject::get_Item>("Item", com::kDispidValue, {"name"}),
         com::propertyGet<&RequestObject::get_QueryString>("QueryString", 1),
         com::propertyGet<&RequestObject::get_Form>("Form", 2),
         com::propertyGet<&RequestObject::get_Cookies>("Cookies", 3),
         com::propertyGet<&RequestObject::get_ServerVariables>("ServerVariables", 4),
         com::propertyGet<&RequestObject::get_TotalBytes>("TotalBytes", 5)}};
    return info;
}

// ---------------------------------------------------------------------------------------------
// Response

void ResponseObject::Write(const Variant& value) {
    if (ended_) return;
    response_.body += pageText(value);
}

void ResponseObject::End() {
    ended_ = true;
    throw com::ResponseEnded{};
}

void ResponseObject::Redirect(std::string url) {
    if (ended_) return;
    response_.status = "302 Object moved";
    response_.headers.emplace_back("Location", url);
    response_.body =
        "<head><title>Object moved</title></head>\r\n<body><h1>Object Moved</h1>This object may be found "
        "<a HREF=\"" +
        htmlEncode(url) + "\">here</a>.</body>\r\n";
    End();
}

void ResponseObject::AddHeader(std::string name, std::string value) {
    if (name.empty() || name.find_first_of(":\r\n") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos)
        throw ComError(kFail, "Response.AddHeader: invalid header name or value", "Response");
    response_.headers.emplace_back(std::move(name), std::move(value));
}

void ResponseObject::Clear() {
    response_.body.clear();
}

// The whole response is sent when the page ends; there is nothing to send earlier.
void ResponseObject::Flush() {}

void ResponseObject::put_Status(std::string value) {
    if (value.size() < 3 ||
        !std::all_of(value.begin(), value.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
        throw ComError(kFail, "Response.Status: the status must start with a three-digit code: " + value,
                       "Response");
    response_.status = std::move(value);
}

void ResponseObject::put_Expires(std::int32_t minutes) {
    expires_ = minutes;
    response_.expiresMinutes = minutes;
}

ComPtr<ResponseCookies> ResponseObject::get_Cookies() {
    return com::make<ResponseCookies>(ComPtr<ResponseObject>(this));
}

ResponseCookie& ResponseObject::cookie(const std::string& name) {
    const std::string folded = com::UCase(name);
    for (ResponseCookie& c : response_.cookies)
        if (com::UCase(c.name) == folded) return c;
    response_.cookies.push_back(ResponseCookie{name, {}, std::nullopt, {}, {}, false});
    return response_.cookies.back();
}

const com::TypeInfo& ResponseObject::typeInfo() const {
    static const com::TypeInfo info{
        "Response",
        "IResponse",
        {com::method<&ResponseObject::Write>("Write", 1, {"value"}),
         com::method<&ResponseObject::End>("End", 2),
         com::method<&ResponseObject::Redirect>("Redirect", 3, {"url"}),
         com::method<&ResponseObject::AddHeader>("AddHeader", 4, {"name", "value"}),
         com::method<&ResponseObject::Clear>("Clear", 5),
         com::method<&ResponseObject::Flush>("Flush", 6),
         com::propertyGet<&ResponseObject::get_ContentType>("ContentType", 7),
         com::propertyPut<&ResponseObject::put_ContentType>("ContentType", 7),
         com::propertyGet<&ResponseObject::get_Charset>("Charset", 8),
         com::propertyPut<&ResponseObject::put_Charset>("Charset", 8),
         com::propertyGet<&ResponseObject::get_Status>("Status", 9),
         com::propertyPut<&ResponseObject::put_Status>("Status", 9),
         com::propertyGet<&ResponseObject::get_Buffer>("Buffer", 10),
         com::propertyPut<&ResponseObject::put_Buffer>("Buffer", 10),
         com::propertyGet<&ResponseObject::get_Cookies>("Cookies", 11),
         com::propertyGet<&ResponseObject::get_CacheControl>("CacheControl", 12),
         com::propertyPut<&ResponseObject::put_CacheControl>("CacheControl", 12),
         com::propertyGet<&ResponseObject::get_Expires>("Expires", 13),
         com::propertyPut<&ResponseObject::put_Expires>("Expires", 13),
         com::propertyGet<&ResponseObject::get_IsClientConnected>("IsClientConnected", 14)}};
    return info;
}

ResponseCookieObject::ResponseCookieObject(ComPtr<ResponseObject> response, std::string name)
    : response_(std::move(response)), name_(std::move(name)) {}

ResponseCookie& ResponseCookieObject::cookie() {
    return response_->cookie(name_);
}
std::string ResponseCookieObject::get_Value() {
    return cookie().value;
}
void ResponseCookieObject::put_Value(std::string value) {
    cookie().value = std::move(value);
}
Variant ResponseCookieObject::get_Expires() {
    const auto& e = cookie().expires;
    return e ? Variant::date(*e) : Variant();
}
void ResponseCookieObject::put_Expires(com::DateValue value) {
    cookie().expires = value.serial;
}
std::string ResponseCookieObject::get_Domain() {
    return cookie().domain;
}
void ResponseCookieObject::put_Domain(std::string value) {
    cookie().domain = std::move(value);
}
std::string ResponseCookieObject::get_Path() {
    return cookie().path;
}
void ResponseCookieObject::put_Path(std::string value) {
    cookie().path = std::move(value);
}
bool ResponseCookieObject::get_Secure() {
    return cookie().secure;
}
void ResponseCookieObject::put_Secure(bool value) {
    cookie().secure = value;
}

const com::TypeInfo& ResponseCookieObject::typeInfo() const {
    static const com::TypeInfo info{
        "Cookie",
        "IWriteCookie",
        {com::propertyGet<&ResponseCookieObject::get_Value>("Value", com::kDispidValue),
         com::propertyPut<&ResponseCookieObject::put_Value>("Value", com::kDispidValue),
         com::propertyGet<&ResponseCookieObject::get_Expires>("Expires", 1),
         com::propertyPut<&ResponseCookieObject::put_Expires>("Expires", 1),
         com::propertyGet<&ResponseCookieObject::get_Domain>("Domain", 2),
         com::propertyPut<&ResponseCookieObject::put_Domain>("Domain", 2),
         com::propertyGet<&ResponseCookieObject::get_Path>("Path", 3),
         com::propertyPut<&ResponseCookieObject::put_Path>("Path", 3),
         com::propertyGet<&ResponseCookieObject::get_Secure>("Secure", 4),
         com::propertyPut<&ResponseCookieObject::put_Secure>("Secure", 4)}};
    return info;
}

ComPtr<ResponseCookieObject> ResponseCookies::get_Item(std::string name) {
    return com::make<ResponseCookieObject>(response_, std::move(name));
}

void ResponseCookies::put_Item(std::string name, std::string value) {
    response_->cookie(name).value = std::move(value);
}

std::int32_t ResponseCookies::get_Count() {
    return static_cast<std::int32_t>(response_->response().cookies.size());
}

const com::TypeInfo& ResponseCookies::typeInfo() const {
    static const com::TypeInfo info{
        "Cookies",
        "IRequestDictionary",
        {com::propertyGet<&ResponseCookies::get_Item>("Item", com::kDispidValue, {"name"}),
         com::bind<&ResponseCookies::put_Item>("Item", com::kDispidValue, com::MemberKind::PropertyPut,
                                               {"name", "value"}),
         com::propertyGet<&ResponseCookies::get_Count>("Count", 1)}};
    return info;
}

// ---------------------------------------------------------------------------------------------
// Server

ServerObject::ServerObject(std::filesystem::path siteRoot, std::string pagePath, ScriptClock& clock)
    : siteRoot_(std::filesystem::absolute(siteRoot).lexically_normal()),
      pagePath_(std::move(pagePath)),
      clock_(clock) {}

ComPtr<com::Object> ServerObject::CreateObject(std::string ProgID) {
    return com::ClassRegistry::instance().create(ProgID);
}

std::string ServerObject::HTMLEncode(Variant text) {
    return htmlEncode(pageText(text));
}

std::string ServerObject::URLEncode(Variant text) {
    return urlEncode(pageText(text));
}

std::string ServerObject::MapPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    std::filesystem::path inside;
    if (!path.empty() && path.front() == '/') {
        inside = std::filesystem::path(path.substr(1));
    } else {
        const std::string folder = pagePath_.substr(0, pagePath_.rfind('/') + 1);
        inside = std::filesystem::path(folder.empty() ? std::string() : folder.substr(1)) / path;
    }
    inside = inside.lexically_normal();
    if (!inside.empty() && *inside.begin() == "..")
        throw ComError(kFail, "Server.MapPath: the path " + path + " leaves the site root", "Server");
    std::filesystem::path out = siteRoot_ / inside;
    std::string text = out.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::int32_t ServerObject::get_ScriptTimeout() {
    return static_cast<std::int32_t>(clock_.timeout.count());
}

void ServerObject::put_ScriptTimeout(std::int32_t seconds) {
    if (seconds < 1) throw ComError::basic(com::err::InvalidCall, "Server");
    clock_.timeout = std::chrono::seconds(seconds);
}

const com::TypeInfo& ServerObject::typeInfo() const {
    static const com::TypeInfo info{"Server",
                                    "IServer",
                                    {com::method<&ServerObject::CreateObject>("CreateObject", 1, {"ProgID"}),
                                     com::method<&ServerObject::HTMLEncode>("HTMLEncode", 2, {"text"}),
                                     com::method<&ServerObject::URLEncode>("URLEncode", 3, {"text"}),
                                     com::method<&ServerObject::MapPath>("MapPath", 4, {"path"}),
                                     com::propertyGet<&ServerObject::get_ScriptTimeout>("ScriptTimeout", 5),
                                     com::propertyPut<&ServerObject::put_ScriptTimeout>("ScriptTimeout", 5)}};
    return info;
}

}  // namespace orvan::host::detail
