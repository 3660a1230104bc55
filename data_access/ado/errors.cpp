// ADO's error texts, and the small name helpers the ADO objects share.
#include <string>

#include "com_server/conversions.h"
#include "data_access/ado/ado.h"
#include "data_access/ado/internal/recordset_state.h"

namespace orvan::data::ado {

namespace aderr {

namespace {

// The runtime texts of the errors the objects raise themselves. ADO's own errors carry the short
// number; the provider-style ones (raised by the cursor engine on its own account) the full HRESULT.
const char* textOf(std::int32_t number) {
    switch (number) {
        case InvalidArgument:
            return "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
                   "one "
                   "another.";
        case NoCurrentRecord:
            return "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                   "requires a current record.";
        case IllegalOperation:
            return "Operation is not allowed in this context.";
        case 3246:
            return "Connection object cannot be explicitly closed while in a transaction.";
        case FeatureNotAvailable:
            return "Current Recordset does not support updating. This may be a limitation of the provider, "
                   "or "
                   "of the selected locktype.";
        case ItemNotFound:
            return "Item cannot be found in the collection corresponding to the requested name or ordinal.";
        case ObjectNotSet:
            return "Object is no longer valid.";
        case DataConversion:
            return "Application uses a value of the wrong type for the current operation.";
        case ObjectClosed:
            return "Operation is not allowed when the object is closed.";
        case ObjectOpen:
            return "Operation is not allowed when the object is open.";
        case ProviderNotFound:
            return "Provider cannot be found. It may not be properly installed.";
        case InvalidParamInfo:
            return "Parameter object is improperly defined. Inconsistent or incomplete information was "
                   "provided.";
        case InvalidConnection:
            return "The connection cannot be used to perform this operation. It is either closed or invalid "
                   "in "
                   "this context.";
        case 3712:
            return "Operation has been canceled by the user.";
        case 3749:
            return "Fields update failed. For further information, examine the Status property of individual "
                   "field objects.";
        case ConcurrencyViolation:
            return "Row cannot be located for updating. Some values may have been changed since it was last "
                   "read.";
        case ErrorsOccurred:
            return "Multiple-step OLE DB operation generated errors. Check each OLE DB status value, if "
                   "available. No work was done.";
        case ErrorsInCommand:
            return "One or more errors occurred during processing of command.";
        case kNoCommand:
            return "Command text was not set for the command object.";
        case kFail:
            return "Unspecified error";
        default:
            return "Application-defined or object-defined error";
    }
}

}  // namespace

com::ComError error(std::int32_t number, const char* className) {
    return com::ComError(number, textOf(number), std::string("ADODB.") + className);
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
