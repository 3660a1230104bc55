// The PostgreSQL engine behind the provider interface, through libpq
// ("Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=..."). libpq-fe.h stays
// inside this folder.
#pragma once

#include <memory>

#include "data_access/providers/provider.h"

namespace orvan::data {

// Connects with Host (or Server), Port, Database (or Initial Catalog), User ID (or UID, User) and
// Password (or PWD); a key left out takes libpq's default. connectTimeoutSeconds 0 = no limit.
// Failure: ComError -2147217843 when the server refuses the login, else E_FAIL (-2147467259), with
// libpq's message.
std::unique_ptr<Session> openPostgresSession(const ConnectionString& cs, int connectTimeoutSeconds);

}  // namespace orvan::data
