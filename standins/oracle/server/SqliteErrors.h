// Oracle's codes and texts for what SQLite reports, located in the caller's statement text.
#pragma once
#include <sqlite3.h>

#include <string>

#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/server/SqlTranslator.h"

namespace orastandin {

OraError MapSqliteError(sqlite3* db, int rc, const TranslatedSql& sql, const std::string& user);

}  // namespace orastandin
