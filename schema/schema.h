// The reference database of the agenda application: creating its tables, views and identifier
// procedure on an engine, and filling it with demo data.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data_access/providers/provider.h"

namespace orvan::schema {

// Whether the database already holds the schema (its table "categoria"). false only when the table
// does not exist; any other failure of the probe (not allowed, connection lost) throws its ComError.
bool hasSchema(data::Session& session);

// Creates every table, view, index and the identifier procedure, in the dialect of the engine behind
// the session (SQLite, PostgreSQL, the Transact-SQL server, Oracle; another engine is a ComError).
// Refuses (ComError) a database that already has the schema. Returns one line per object created, for the command to print.
std::vector<std::string> createSchema(data::Session& session);

// Adds the demo data: departments, employees with their users and passwords, template tasks with their
// dependent rows, parameters, field labels and tips. Returns what it added.
std::vector<std::string> addDemoData(data::Session& session);

// Splits a script into statements at the ";" that end them, outside quoted texts and $$ bodies. A
// stored procedure (CREATE [OR REPLACE] PROCEDURE) keeps its own ";" and ends at a line holding only
// "/", as the Transact-SQL and Oracle scripts write theirs.
std::vector<std::string> splitStatements(std::string_view script);

}  // namespace orvan::schema
