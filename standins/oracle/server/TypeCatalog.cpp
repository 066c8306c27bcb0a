#include "standins/oracle/server/TypeCatalog.h"

#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/Wire.h"
#include "standins/oracle/server/Database.h"
#include "standins/oracle/server/OracleTypes.h"

namespace orastandin {

namespace {

bool IsBuiltIn(const std::string& word) {
  static const char* const names[] = {"VARCHAR2", "VARCHAR", "NVARCHAR2", "CHAR", "NCHAR", "CHARACTER", "NUMBER",
                                      "NUMERIC", "DECIMAL", "INTEGER", "INT", "SMALLINT", "FLOAT", "REAL",
                                      "DOUBLE", "DATE", "TIMESTAMP", "CLOB", "NCLOB", "BLOB", "RAW", "LONG", "BFILE"};
  for (const char* n : names)
    if (word == n) return true;
  return false;
}

[[noreturn]] void Unexpected(const std::vector<Token>& t, std::size_t at) {
  int offset = at < t.size() ? t[at].pos : (t.empty() ? 0 : t.back().pos + static_cast<int>(t.back().text.size()));
  OraError e(6550, "1", std::to_string(offset + 1));
  e.SetOffset(offset);
  throw e;
}

StatementHandle Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) throw OraError(600);
  return StatementHandle(raw);
}

}  // namespace

bool TypeCatalog::Exists(const std::string& name) {
  StatementHandle s = Prepare(db_, "SELECT 1 FROM \"SETRIX$TYPES\" WHERE TYPE_NAME = ?1");
  sqlite3_bind_text(s.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

TypeCatalog::Attribute TypeCatalog::ParseType(const std::string& owner, const std::vector<Token>& t, std::size_t& at,
                                              const SchemaTest& isSchema) {
  Attribute a;
  if (at < t.size() && t[at].Is("REF")) {
    a.modifier = "REF";
    ++at;
  }
  if (at >= t.size() || (t[at].kind != Token::Kind::Word && t[at].kind != Token::Kind::Quoted)) Unexpected(t, at);
  if (a.modifier.empty() && t[at].kind == Token::Kind::Word && IsBuiltIn(t[at].text)) {
    // The declared text up to the end of the type: words, then an optional (n[, m]).
    std::string declared;
    while (at < t.size() && t[at].kind == Token::Kind::Word && !t[at].Is("NOT")) declared += t[at++].text + " ";
    if (at < t.size() && t[at].IsSymbol("(")) {
      declared += "(";
      for (++at; at < t.size() && !t[at].IsSymbol(")"); ++at) declared += t[at].text;
      if (at >= t.size()) Unexpected(t, at);
      declared += ")";
      ++at;
      while (at < t.size() && t[at].kind == Token::Kind::Word && (t[at].Is("CHAR") || t[at].Is("BYTE"))) ++at;
    }
    DeclaredType d = ParseDeclaredType(declared);
    a.typeName = d.name;
    if (d.oraType == oratype::Varchar2 || d.oraType == oratype::Char || d.oraType == oratype::Raw) {
      a.length = d.size;
      a.hasLength = true;
    }
    if (d.oraType == oratype::Number && d.precision > 0) {
      a.precision = d.precision;
      a.scale = d.scale;
      a.hasPrecision = true;
    }
    return a;
  }
  std::string name = t[at++].text;
  if (at + 1 < t.size() && t[at].IsSymbol(".") && isSchema(name)) {
    name = t[at + 1].text;
    at += 2;
  }
  // Only a REF may name the type being declared (an object that points at its own kind).
  if (!Exists(name) && !(a.modifier == "REF" && name == owner)) Unexpected(t, at - 1);
  a.typeName = name;
  a.named = true;
  return a;
}

void TypeCatalog::Record(const std::string& name, const std::vector<Token>& t, std::size_t at,
                         const SchemaTest& isSchema) {
  auto word = [&](const char* w) { return at < t.size() && t[at].Is(w); };
  auto symbol = [&](const char* s) { return at < t.size() && t[at].IsSymbol(s); };
  auto expectSymbol = [&](const char* s) {
    if (!symbol(s)) Unexpected(t, at);
    ++at;
  };
  while (at < t.size() && !word("AS") && !word("IS")) ++at;  // AUTHID and the like
  if (at >= t.size()) Unexpected(t, at);
  ++at;
  std::string typeCode, collection;
  int upperBound = 0;
  std::vector<Attribute> attributes;
  if (word("OBJECT")) {
    typeCode = "OBJECT";
    ++at;
    expectSymbol("(");
    for (;;) {
      static const char* const methods[] = {"MEMBER", "STATIC", "MAP", "ORDER", "CONSTRUCTOR", "FINAL",
                                            "INSTANTIABLE", "OVERRIDING", "NOT"};
      bool method = false;
      for (const char* m : methods) method = method || word(m);
      if (method) {  // methods are kept in the source only
        int depth = 0;
        while (at < t.size() && !(depth == 0 && (symbol(",") || symbol(")")))) {
          if (symbol("(")) ++depth;
          if (symbol(")")) --depth;
          ++at;
        }
      } else {
        if (at >= t.size() || (t[at].kind != Token::Kind::Word && t[at].kind != Token::Kind::Quoted)) Unexpected(t, at);
        std::string attributeName = t[at++].text;
        Attribute a = ParseType(name, t, at, isSchema);
        a.name = attributeName;
        for (const Attribute& seen : attributes)
          if (seen.name == a.name) Unexpected(t, at - 1);
        attributes.push_back(a);
      }
      if (symbol(",")) {
        ++at;
        continue;
      }
      expectSymbol(")");
      break;
    }
    if (attributes.empty()) Unexpected(t, at);
  } else if (word("VARRAY") || word("VARYING") || word("TABLE")) {
    typeCode = "COLLECTION";
    if (word("TABLE")) {
      collection = "TABLE";
      ++at;
    } else {
      collection = "VARYING ARRAY";
      if (word("VARYING")) {
        ++at;
        if (!word("ARRAY")) Unexpected(t, at);
      }
      ++at;
      expectSymbol("(");
      if (at >= t.size() || t[at].kind != Token::Kind::Number || std::stoll(t[at].text) <= 0) Unexpected(t, at);
      upperBound = std::stoi(t[at++].text);
      expectSymbol(")");
    }
    if (!word("OF")) Unexpected(t, at);
    ++at;
    attributes.push_back(ParseType(name, t, at, isSchema));
  } else {
    Unexpected(t, at);
  }

  Forget(name);
  StatementHandle type = Prepare(db_, "INSERT INTO \"SETRIX$TYPES\" VALUES (?1, ?2, ?3, ?4)");
  sqlite3_bind_text(type.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(type.get(), 2, typeCode.c_str(), -1, SQLITE_TRANSIENT);
  if (!collection.empty()) sqlite3_bind_text(type.get(), 3, collection.c_str(), -1, SQLITE_TRANSIENT);
  if (upperBound > 0) sqlite3_bind_int(type.get(), 4, upperBound);
  sqlite3_step(type.get());
  // A collection's element is row 0, an object's attributes rows 1..n.
  int number = typeCode == "OBJECT" ? 1 : 0;
  for (const Attribute& a : attributes) {
    StatementHandle row = Prepare(db_, "INSERT INTO \"SETRIX$TYPE_ATTRS\" VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    sqlite3_bind_text(row.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(row.get(), 2, number++);
    if (!a.name.empty()) sqlite3_bind_text(row.get(), 3, a.name.c_str(), -1, SQLITE_TRANSIENT);
    if (!a.modifier.empty()) sqlite3_bind_text(row.get(), 4, a.modifier.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(row.get(), 5, a.typeName.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(row.get(), 6, a.named ? 1 : 0);
    if (a.hasLength) sqlite3_bind_int(row.get(), 7, a.length);
    if (a.hasPrecision) {
      sqlite3_bind_int(row.get(), 8, a.precision);
      sqlite3_bind_int(row.get(), 9, a.scale);
    }
    sqlite3_step(row.get());
  }
}

void TypeCatalog::Forget(const std::string& name) {
  for (const char* sql : {"DELETE FROM \"SETRIX$TYPES\" WHERE TYPE_NAME = ?1",
                          "DELETE FROM \"SETRIX$TYPE_ATTRS\" WHERE TYPE_NAME = ?1"}) {
    StatementHandle s = Prepare(db_, sql);
    sqlite3_bind_text(s.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(s.get());
  }
}

}  // namespace orastandin
