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
    std::int32_t transactionLevel = 0;  // BeginTrans nesting: 1 for the outer transaction
    ComPtr<Errors> errors = com::make<Errors>();
};

// Runs f; a provider error it raises is recorded in the Errors collection of conn (when there is
// one), then passes on to the caller unchanged.
template <typename F>
decltype(auto) recordingErrors(Connection* conn, F&& f) {
    try {
        return f();
    } catch (const com::ComError& e) {
        if (conn) conn->get_Errors()->record(e);
        throw;
    }
}

}  // namespace orvan::data::ado
