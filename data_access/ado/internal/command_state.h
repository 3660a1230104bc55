// The state behind a Command, shared with Recordset.Open (which runs a Command given as its Source).
// Private to data_access/ado/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data_access/ado/ado.h"

namespace orvan::data::ado {

struct Command::Impl {
    ComPtr<Connection> connection;
    std::string text;
    std::int32_t type = adCmdUnknown;
    // Unset: the command runs with its connection's CommandTimeout.
    std::optional<std::int32_t> timeout;
    ComPtr<Parameters> parameters = com::make<Parameters>();
    bool prepared = false;

    // The timeout a run on conn uses.
    int timeoutOn(Connection& conn) const { return timeout.value_or(conn.get_CommandTimeout()); }
    // The parameters' values in order, as the positional "?" values of a statement.
    std::vector<Variant> positionalValues() const;
    // Calls the procedure named by text with every parameter; writes the output, input-output and
    // return values back into the Parameter objects.
    void callProcedure(Connection& conn, int timeoutSeconds);
};

}  // namespace orvan::data::ado
