// ADO's error texts, and the small name helpers the ADO objects share.
#include <string>

#include "com_server/conversions.h"
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

std::string foldName(std::string_view name) {
    return com::UCase(name);
}

std::string quoteIdentifier(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    out += '"';
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace orvan::data::ado
