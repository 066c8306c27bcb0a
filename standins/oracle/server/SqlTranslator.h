// Translates one Oracle SQL statement into SQLite's dialect by rewriting its tokens:
// names folded to upper case, '' as NULL, binds numbered, pseudo-columns and Oracle
// functions mapped onto the server's own SQL functions, FOR UPDATE and ROWNUM filters
// turned into lock requests and limits. Used by the server's sessions.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "standins/oracle/server/SqlLexer.h"

namespace orastandin {

struct LockRequest {
  bool wanted = false;
  bool nowait = false;
  int waitSeconds = -1;    // -1: wait as long as the server's lock timeout allows
  std::string table;       // base table whose rows are locked
};

struct TranslatedSql {
  std::string text;                   // SQLite text
  std::vector<std::string> binds;     // bind name of ?1, ?2, ...
  LockRequest lock;                   // SELECT ... FOR UPDATE
  bool hasLockRowidColumn = false;    // the last result column carries the locked row's id
  std::string dmlTable;               // INSERT/UPDATE/DELETE: the table changed
  // "RETURNING expr, ... INTO :bind, ...": the binds, and per expression the column it names
  // (empty for other expressions). The SQLite text returns the expressions then the row id.
  std::vector<std::string> returningBinds;
  std::vector<std::string> returningColumns;
  std::string dmlRowSelect;           // UPDATE/DELETE: SELECT of the ids of the rows changed
  std::vector<std::pair<int, int>> positions;  // (offset in text, offset in source) per token
  // Per outer select item (when the list has no "*"): what its expression yields, for columns
  // without a declared type.
  enum class ItemKind { Unknown, Date, Text };
  std::vector<ItemKind> itemKinds;
  int SourceOffset(int textOffset) const;
};

class SqlTranslator {
 public:
  // isUserName tells schema qualifiers (dropped: all schemas share one name space).
  explicit SqlTranslator(std::function<bool(const std::string&)> isUserName)
      : isUserName_(std::move(isUserName)) {}

  TranslatedSql Translate(const std::string& sql) const;
  TranslatedSql Translate(std::vector<Token> tokens) const;

 private:
  std::function<bool(const std::string&)> isUserName_;
};

// The name Oracle gives an unaliased select item: its text, upper-cased outside quotes, blanks removed.
std::string OracleItemName(const std::string& sourceText);

}  // namespace orastandin
