// Schema statements a session runs that SQLite has no form of, or another form, and the
// rules that keep typed columns to their declared types.
#pragma once
#include <string>
#include <vector>

#include "standins/oracle/server/Session.h"

namespace orastandin {

class SchemaCommands {
 public:
  explicit SchemaCommands(Session& session) : session_(session) {}
  // False when the statement is none of these (it then runs as translated).
  bool Execute(const std::vector<Token>& tokens);
  // Keeps the table's typed columns (NUMBER(p,s), VARCHAR2(n), CHAR(n), DATE) to their types
  // on every insert and update, as Oracle stores them.
  void EnforceColumnTypes(const std::string& table);

 private:
  void RunDdl(std::vector<Token> tokens);
  Session& session_;
};

}  // namespace orastandin
