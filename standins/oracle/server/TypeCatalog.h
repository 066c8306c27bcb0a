// The catalogue of object and collection types: what CREATE TYPE declares, kept for the
// dictionary views (USER_TYPES, USER_TYPE_ATTRS, USER_COLL_TYPES and their ALL_ forms) from
// which a client describes a type.
#pragma once
#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

#include "standins/oracle/server/SqlLexer.h"

namespace orastandin {

class TypeCatalog {
 public:
  explicit TypeCatalog(sqlite3* db) : db_(db) {}

  // Records the type declared by the tokens from `at` (just after the type's name):
  // AS|IS OBJECT (attribute type, ...), VARRAY|VARYING ARRAY (n) OF type, TABLE OF type.
  // Attribute types are the built-in ones, REF type, or types already recorded.
  // What does not parse: OraError 6550 at the offending token, nothing recorded.
  // A qualifier that isSchema accepts is dropped (all users share one name space).
  using SchemaTest = std::function<bool(const std::string&)>;
  void Record(const std::string& name, const std::vector<Token>& t, std::size_t at, const SchemaTest& isSchema);
  void Forget(const std::string& name);

 private:
  struct Attribute {
    std::string name, modifier, typeName;
    bool named = false;  // a user-defined type
    int length = 0, precision = 0, scale = 0;
    bool hasLength = false, hasPrecision = false;
  };
  Attribute ParseType(const std::string& owner, const std::vector<Token>& t, std::size_t& at,
                      const SchemaTest& isSchema);
  bool Exists(const std::string& name);

  sqlite3* db_;
};

}  // namespace orastandin
