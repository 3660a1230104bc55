// How an Options argument (a CommandTypeEnum value with ExecuteOptionEnum flags, or -1 for "not
// given") reads. Private to data_access/ado/.
#pragma once

#include <cstdint>

#include "data_access/ado/ado.h"

namespace orvan::data::ado {

inline constexpr std::int32_t adCmdFile = 256, adCmdTableDirect = 512;
// The ExecuteOptionEnum flags that may ride along with a command type.
inline constexpr std::int32_t kExecuteOptionBits = 0x10 | 0x20 | 0x40 | adExecuteNoRecords | 0x400 | 0x800;

struct StatementOptions {
    // adCmdText, adCmdTable or adCmdStoredProc. adCmdUnknown and adCmdUnspecified read as text: every
    // statement the system sends is text unless it says otherwise.
    std::int32_t commandType = adCmdText;
    bool noRecords = false;

    // fallbackType is what "not given" means (the Command's CommandType, or adCmdUnknown).
    // adCmdTableDirect opens the table like adCmdTable where tableDirect is allowed (Recordset.Open);
    // anything else is error 3001.
    static StatementOptions read(std::int32_t options, std::int32_t fallbackType, const char* className,
                                 bool tableDirect = false) {
        StatementOptions out;
        std::int32_t type = fallbackType;
        if (options != adOptionUnspecified) {
            out.noRecords = (options & adExecuteNoRecords) != 0;
            if (const std::int32_t given = options & ~kExecuteOptionBits; given != 0) type = given;
        }
        switch (type) {
            case adCmdUnspecified:
            case adCmdUnknown:
            case adCmdText:
                out.commandType = adCmdText;
                break;
            case adCmdTable:
                out.commandType = adCmdTable;
                break;
            case adCmdStoredProc:
                out.commandType = adCmdStoredProc;
                break;
            case adCmdTableDirect:
                if (!tableDirect) throw aderr::error(aderr::InvalidArgument, className);
                out.commandType = adCmdTable;
                break;
            default:
                throw aderr::error(aderr::InvalidArgument, className);
        }
        return out;
    }
};

}  // namespace orvan::data::ado
