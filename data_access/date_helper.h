// The date helper ("TQComum.Data"): gives the current local date and time as a text that CDate reads
// back to the same second under the regional settings in force.
#pragma once

#include <string>

#include "com_server/class_registry.h"

namespace orvan::data {

class DateHelper : public com::ComponentObject {
public:
    static constexpr const char* kInterfaceName = "_Data";
    static constexpr const char* kProgId = "TQComum.Data";

    // Writes the current date and time, in the general date format, to texto. The flag is accepted
    // for compatibility; every caller passes true.
    void TextoDataHora(bool& flag, std::string& texto);

    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }
    static com::ClassDescriptor descriptor();
};

}  // namespace orvan::data
