#include "standins/oracle/server/SqliteErrors.h"

#include <cstdio>
#include <cstdlib>

#include "standins/oracle/protocol/StatementKind.h"

namespace orastandin {

namespace {
// The words of a SQLite message after a prefix, up to the end.
std::string After(const std::string& message, const std::string& prefix) {
  std::size_t at = message.find(prefix);
  return at == std::string::npos ? std::string() : message.substr(at + prefix.size());
}

// "name" with its double quotes, as Oracle's messages name objects.
std::string Quoted(const std::string& name) {
  std::string text(1, '"');
  text += name;
  text += '"';
  return text;
}

}  // namespace

OraError MapSqliteError(sqlite3* db, int rc, const TranslatedSql& sql, const std::string& user) {
  std::string message = sqlite3_errmsg(db);
  int offset = sqlite3_error_offset(db);
  auto located = [&](OraError e) {
    if (offset >= 0) e.SetOffset(sql.SourceOffset(offset));
    return e;
  };
  if (message.rfind("ORA-", 0) == 0) {
    int code = std::atoi(message.c_str() + 4);
    OraError e(code);
    return e.Text() == message ? e : OraError(code);  // our functions send the standard texts
  }
  int primary = rc & 0xFF;
  if (primary == SQLITE_INTERRUPT) return OraError(1013);
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return OraError(4021);
  if (message.find("no such table") != std::string::npos) return located(OraError(942));
  if (message.find("no such column") != std::string::npos)
    return located(OraError(904, Quoted(After(message, "no such column: "))));
  if (message.find("no such function") != std::string::npos)
    return located(OraError(904, Quoted(After(message, "no such function: "))));
  if (message.find("already exists") != std::string::npos) return OraError(955);
  if (message.find("UNIQUE constraint failed") != std::string::npos)
    return OraError(1, user + ".SYS_C_" + After(message, "failed: "));
  if (message.find("NOT NULL constraint failed") != std::string::npos) {
    std::string column = After(message, "failed: ");
    std::size_t dot = column.find('.');
    return OraError(1400, Quoted(user) + "." + Quoted(column.substr(0, dot)) + "." + Quoted(column.substr(dot + 1)));
  }
  if (message.find("FOREIGN KEY constraint failed") != std::string::npos) return OraError(2291, user + ".SYS_C_FK");
  if (message.find("values were supplied") != std::string::npos) {
    int columns = 0, values = 0;
    std::sscanf(message.c_str() + message.find(" has ") + 5, "%d columns but %d", &columns, &values);
    return OraError(values > columns ? 913 : 947);
  }
  if (message.find("ambiguous column") != std::string::npos) return located(OraError(918));
  if (message.find("CHECK constraint failed") != std::string::npos)
    return OraError(2290, user + "." + After(message, "failed: "));
  if (message.find("datatype mismatch") != std::string::npos) return OraError(1722);
  if (message.find("misuse of aggregate") != std::string::npos) return located(OraError(934));
  if (message.find("wrong number of arguments") != std::string::npos) return located(OraError(909));
  if (message.find("no such index") != std::string::npos) return OraError(1418);
  if (message.find("ORDER BY term out of range") != std::string::npos) return located(OraError(1785));
  if (message.find("do not have the same number of result columns") != std::string::npos) return OraError(1789);
  if (message.find("no such savepoint") != std::string::npos) return OraError(1086, "'" + After(message, ": ") + "'");
  if (message.find("incomplete input") != std::string::npos) return located(OraError(936));
  if (message.find("syntax error") != std::string::npos)
    return located(OraError(StatementTypeOf(sql.text) == StmtUnknown ? 900 : 933));
  return located(OraError(900));
}

}  // namespace orastandin
