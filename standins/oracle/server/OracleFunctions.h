// Oracle's SQL functions and the pseudo-column helpers the translator calls, as SQLite
// functions of one session's connection.
#pragma once
#include <sqlite3.h>

#include <exception>

#include "standins/oracle/protocol/OraError.h"

namespace orastandin {

// A SQLite function body that may throw; Guarded turns an Oracle error (or any other
// failure) into the function's SQLite error message, which carries it to the statement.
using FunctionBody = void (*)(sqlite3_context*, int, sqlite3_value**);
template <FunctionBody body>
void Guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    body(ctx, argc, argv);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.Text().c_str(), -1);
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

class Session;

void RegisterOracleFunctions(sqlite3* db, Session* session);

}  // namespace orastandin
