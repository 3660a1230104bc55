// ADO's error texts, the Connection's Errors collection and its Error objects, and the small name
// helpers the ADO objects share.
#include <algorithm>
#include <string>

#include "com_server/conversions.h"
#include "com_server/enumeration.h"
#include "data_access/ado/ado.h"
#include "data_access/ado/internal/recordset_state.h"

namespace orvan::data::ado {

namespace aderr {

com::ComError error(std::int32_t number, const char* className) {
    return com::ComError(number, com::errorText(number), std::string("ADODB.") + className);
}

}  // namespace aderr

com::ComError adoError(std::int32_t number, const char* className, std::string text) {
    return com::ComError(number, std::move(text), std::string("ADODB.") + className);
}

// ---- Error / Errors -------------------------------------------------------------------------------------

Error::Error(const com::ComError& e)
    : number_(e.number()), description_(e.description()), source_(e.source()), sqlState_(e.sqlState()) {}
Error::~Error() = default;

std::int32_t Error::get_Number() {
    return number_;
}
std::string Error::get_Description() {
    return description_;
}
std::string Error::get_Source() {
    return source_;
}
std::string Error::get_SQLState() {
    return sqlState_;
}
std::int32_t Error::get_NativeError() {
    return 0;  // the engines' own codes are carried as the SQLSTATE
}

const com::TypeInfo& Error::typeInfo() const {
    using com::propertyGet;
    static const com::TypeInfo info{"Error",
                                    kInterfaceName,
                                    {propertyGet<&Error::get_Number>("Number", com::kDispidValue),
                                     propertyGet<&Error::get_Description>("Description", 1),
                                     propertyGet<&Error::get_Source>("Source", 2),
                                     propertyGet<&Error::get_SQLState>("SQLState", 3),
                                     propertyGet<&Error::get_NativeError>("NativeError", 4)}};
    return info;
}

Errors::Errors() = default;
Errors::~Errors() = default;

std::int32_t Errors::get_Count() {
    return static_cast<std::int32_t>(items_.size());
}

ComPtr<Error> Errors::get_Item(Variant Index) {
    if (Index.isNumeric() && Index.type() != com::VarType::Boolean) {
        const double n = com::roundHalfEven(com::CDbl(Index));
        if (n >= 0 && n < static_cast<double>(items_.size())) return items_[static_cast<std::size_t>(n)];
    }
    throw aderr::error(aderr::ItemNotFound, "Errors");
}

void Errors::Clear() {
    items_.clear();
}

void Errors::Refresh() {}

ComPtr<com::Enumerator> Errors::NewEnum() {
    std::vector<Variant> items;
    for (const auto& e : items_) items.emplace_back(e);
    return com::make<com::ListEnumerator>(std::move(items));
}

void Errors::record(const com::ComError& e) {
    // ADO's short numbers and the runtime's are positive; providers report full (negative) HRESULTs.
    if (e.number() >= 0) return;
    items_.clear();
    items_.push_back(com::make<Error>(e));
}

const com::TypeInfo& Errors::typeInfo() const {
    using com::method;
    using com::propertyGet;
    static const com::TypeInfo info{"Errors",
                                    kInterfaceName,
                                    {propertyGet<&Errors::get_Item>("Item", com::kDispidValue, {"Index"}),
                                     propertyGet<&Errors::get_Count>("Count", 1),
                                     method<&Errors::Clear>("Clear", 2), method<&Errors::Refresh>("Refresh", 3),
                                     propertyGet<&Errors::NewEnum>("_NewEnum", com::kDispidNewEnum)}};
    return info;
}

// ---- names ------------------------------------------------------------------------------------------------

std::string foldName(std::string_view name) {
    return com::UCase(name);
}

bool sameName(std::string_view a, std::string_view b) {
    // Upper-casing maps one character to one character, and ASCII letters to ASCII letters only: while
    // both names are ASCII they are compared byte by byte; a character of either that is not ASCII
    // (some, such as the dotless i, fold to ASCII) has both names folded in full.
    const auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x | y) & 0x80) return foldName(a) == foldName(b);
        if (upper(x) != upper(y)) return false;
    }
    // Equal so far: a longer name has characters more.
    return a.size() == b.size();
}

void appendQuotedIdentifier(std::string& out, std::string_view name) {
    out += '"';
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string quoteIdentifier(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    appendQuotedIdentifier(out, name);
    return out;
}

}  // namespace orvan::data::ado
