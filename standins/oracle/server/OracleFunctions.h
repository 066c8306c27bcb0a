// Oracle's SQL functions and the pseudo-column helpers the translator calls, as SQLite
// functions of one session's connection.
#pragma once
#include <sqlite3.h>

namespace orastandin {

class Session;

void RegisterOracleFunctions(sqlite3* db, Session* session);

}  // namespace orastandin
