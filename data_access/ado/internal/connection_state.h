// The state behind a Connection, shared with the recordsets open on it. Private to data_access/ado/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data_access/ado/ado.h"
#include "data_access/providers/provider.h"

namespace orvan::data::ado {

struct Connection::Impl {
    std::string connectionString;
    std::int32_t connectionTimeout = 15;
    std::int32_t commandTimeout = 30;
    std::int32_t cursorLocation = adUseServer;
    std::unique_ptr<Session> session;  // taken from the pool at Open, given back at Close or release
    std::string poolKey;               // the text the session was opened with (string plus UserID/Password)
    // Recordsets open on this connection (each holds the connection, so they never outlive it); Close
    // closes them.
    std::vector<Recordset::Impl*> recordsets;
};

}  // namespace orvan::data::ado
