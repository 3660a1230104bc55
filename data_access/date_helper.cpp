// The date helper object.
#include "data_access/date_helper.h"

#include "com_server/conversions.h"

namespace orvan::data {

void DateHelper::TextoDataHora(bool& /*flag*/, std::string& texto) {
    texto = com::formatGeneralDate(com::now(), com::currentRegional());
}

const com::TypeInfo& DateHelper::members() {
    static const com::TypeInfo info{
        "Data", kInterfaceName, {com::method<&DateHelper::TextoDataHora>("TextoDataHora", 0x60030000, {"flag", "texto"})}};
    return info;
}

com::ClassDescriptor DateHelper::descriptor() {
    return {"Data", kProgId, "{6E1D4F0A-3B7C-4C59-9E2A-51C0D8A7B301}",
            [] { return com::ComPtr<com::Object>(com::make<DateHelper>()); }, &DateHelper::members};
}

}  // namespace orvan::data
