// CURSOR(subquery) items of a query's select list. Each becomes a scalar subquery whose
// aggregate gathers the subquery's rows, correlated to the outer row, into one encoded value;
// the session turns every such value into a cursor of the reply.
#pragma once
#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

#include "standins/oracle/protocol/Wire.h"
#include "standins/oracle/server/SqlLexer.h"

namespace orastandin {

struct CursorItem {
  std::size_t position = 0;               // select-list position of the item
  std::vector<std::string> columnNames;   // the subquery's column names, in order
};

// The column names of a query (given as tokens), as the database names them.
using ColumnLister = std::function<std::vector<std::string>(const std::vector<Token>& query)>;

// Rewrites the CURSOR items of the outermost select list of tokens (a SELECT); source is
// the statement text the tokens came from; "*" items of a subquery are listed by columnsOf.
// Returns the items found, in order.
std::vector<CursorItem> RewriteCursorItems(std::vector<Token>& tokens, const std::string& source,
                                           const ColumnLister& columnsOf);

// The aggregate the rewritten items call.
void RegisterCursorFunctions(sqlite3* db);

// The rows one rewritten item yielded for an outer row.
std::vector<std::vector<Value>> DecodeCursorRows(const Value& cell);

}  // namespace orastandin
