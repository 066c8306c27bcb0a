// Object values in tables: columns of object and collection types and REF columns (kept as
// object images), object tables (CREATE TABLE t OF type: one column per attribute, each row
// an object with an object id that REFs name), the SQL that reaches them (type
// constructors, REF(alias), VALUE(alias), DEREF(ref)), and the writes of a client's object
// cache (a new, changed or deleted object of an object table).
#pragma once
#include <sqlite3.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "standins/oracle/protocol/ObjectImage.h"
#include "standins/oracle/server/SqlLexer.h"

namespace orastandin {

class Session;

class ObjectTables {
 public:
  explicit ObjectTables(Session& session) : session_(session) {}

  // ORA_CONSTRUCT(type, values...), ORA_ATTR(value, n), ORA_REF(table, rowid),
  // ORA_VALUE(table, rowid), ORA_DEREF(ref), ORA_OBJECT_COLUMN(value, declared type), and for
  // table binds ORA_ELEMENT(table, i), ORA_TABLE_BOUND(table, bound) on the connection.
  static void RegisterFunctions(sqlite3* db);

  // Rewrites the object constructs of a statement into the functions above; columns of
  // object and collection types become "NAMED type" columns, NESTED TABLE ... STORE AS
  // clauses go (the collection is kept in its column). itemTypes (when given) receives the
  // type (Named or Ref, and the type's name) of each outer select item that is a REF(alias),
  // VALUE(alias) or constructor, by its position.
  using ItemTypes = std::map<std::size_t, std::pair<int, std::string>>;
  std::vector<Token> Rewrite(std::vector<Token> tokens, ItemTypes* itemTypes = nullptr);
  // CREATE TABLE t OF type; false for any other statement.
  bool CreateObjectTable(const std::vector<Token>& tokens);
  // After DROP TABLE: the table's object ids and its entry go.
  void TableDropped(const std::string& table);

  // A client's flush: stores the object the REF names (inserted under the REF's object id
  // when no row has it yet), or deletes it (ORA-21700 when it is gone).
  void Store(const ObjectImage& ref, const ObjectImage& object);
  void Remove(const ObjectImage& ref);

 private:
  Session& session_;
};

}  // namespace orastandin
