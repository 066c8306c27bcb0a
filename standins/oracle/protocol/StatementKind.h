// The kind of a statement, told from its first keyword as the client reports it
// right after prepare (statement type attribute) and as the server executes it.
#pragma once
#include <cctype>
#include <string>

namespace orastandin {

enum StatementType {
  StmtUnknown = 0, StmtSelect = 1, StmtUpdate = 2, StmtDelete = 3, StmtInsert = 4,
  StmtCreate = 5, StmtDrop = 6, StmtAlter = 7, StmtBegin = 8, StmtDeclare = 9
};

// The first word of a statement, upper-cased, skipping blanks, comments and parentheses.
inline std::string FirstKeyword(const std::string& sql) {
  std::size_t i = 0, n = sql.size();
  for (;;) {
    while (i < n && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '(')) ++i;
    if (i + 1 < n && sql[i] == '-' && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (i + 1 < n && sql[i] == '/' && sql[i + 1] == '*') {
      std::size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? n : end + 2;
    } else {
      break;
    }
  }
  std::string word;
  while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
  return word;
}

inline StatementType StatementTypeOf(const std::string& sql) {
  std::string w = FirstKeyword(sql);
  if (w == "SELECT" || w == "WITH") return StmtSelect;
  if (w == "UPDATE") return StmtUpdate;
  if (w == "DELETE") return StmtDelete;
  if (w == "INSERT") return StmtInsert;
  if (w == "CREATE") return StmtCreate;
  if (w == "DROP") return StmtDrop;
  if (w == "ALTER") return StmtAlter;
  if (w == "BEGIN") return StmtBegin;
  if (w == "DECLARE") return StmtDeclare;
  return StmtUnknown;
}

// The SQL function code (the older numbering) reported after execution.
inline int FunctionCodeOf(const std::string& sql) {
  std::string w = FirstKeyword(sql);
  if (w == "SELECT" || w == "WITH") return 4;
  if (w == "INSERT") return 3;
  if (w == "UPDATE") return 5;
  if (w == "DELETE") return 9;
  if (w == "BEGIN" || w == "DECLARE") return 34;
  if (w == "CREATE") return 1;
  if (w == "DROP") return 12;
  if (w == "ALTER") return 15;
  if (w == "COMMIT") return 44;
  if (w == "ROLLBACK") return 45;
  if (w == "SAVEPOINT") return 46;
  if (w == "TRUNCATE") return 85;
  return 0;
}

}  // namespace orastandin
