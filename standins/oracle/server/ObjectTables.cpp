#include "standins/oracle/server/ObjectTables.h"

#include <cstdlib>
#include <map>
#include <optional>

#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/OracleFormats.h"
#include "standins/oracle/server/Database.h"
#include "standins/oracle/server/OracleFunctions.h"
#include "standins/oracle/server/OracleTypes.h"
#include "standins/oracle/server/SchemaCommands.h"
#include "standins/oracle/server/SqliteErrors.h"
#include "standins/oracle/server/Session.h"

namespace orastandin {

namespace {

StatementHandle Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) throw OraError(942);
  return StatementHandle(raw);
}

std::string ColumnText(sqlite3_stmt* s, int column) {
  const unsigned char* p = sqlite3_column_text(s, column);
  return p ? reinterpret_cast<const char*>(p) : std::string();
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// A type of the catalogue: its attributes, or its collection's element (attribute 0).
struct TypeAttribute {
  std::string name, modifier, typeName;
  bool named = false;
  int length = 0, precision = 0, scale = 0;
  bool hasLength = false, hasPrecision = false;
};
struct TypeInfo {
  std::string name;
  bool object = true;
  int bound = 0;  // a VARRAY's
  std::vector<TypeAttribute> attributes;
};

std::optional<TypeInfo> LookupType(sqlite3* db, const std::string& name) {
  StatementHandle type = Prepare(db, "SELECT TYPECODE, UPPER_BOUND FROM \"SETRIX$TYPES\" WHERE TYPE_NAME = ?1");
  sqlite3_bind_text(type.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(type.get()) != SQLITE_ROW) return std::nullopt;
  TypeInfo info;
  info.name = name;
  info.object = ColumnText(type.get(), 0) == "OBJECT";
  info.bound = sqlite3_column_int(type.get(), 1);
  StatementHandle attributes =
      Prepare(db, "SELECT ATTR_NAME, ATTR_TYPE_MOD, ATTR_TYPE_NAME, NAMED, LENGTH, PRECISION, SCALE "
                  "FROM \"SETRIX$TYPE_ATTRS\" WHERE TYPE_NAME = ?1 ORDER BY ATTR_NO");
  sqlite3_bind_text(attributes.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(attributes.get()) == SQLITE_ROW) {
    TypeAttribute a;
    a.name = ColumnText(attributes.get(), 0);
    a.modifier = ColumnText(attributes.get(), 1);
    a.typeName = ColumnText(attributes.get(), 2);
    a.named = sqlite3_column_int(attributes.get(), 3) != 0;
    a.hasLength = sqlite3_column_type(attributes.get(), 4) != SQLITE_NULL;
    a.length = sqlite3_column_int(attributes.get(), 4);
    a.hasPrecision = sqlite3_column_type(attributes.get(), 5) != SQLITE_NULL;
    a.precision = sqlite3_column_int(attributes.get(), 5);
    a.scale = sqlite3_column_int(attributes.get(), 6);
    info.attributes.push_back(std::move(a));
  }
  return info;
}

// The type of an object table; none for other tables.
std::optional<std::string> ObjectTableType(sqlite3* db, const std::string& table) {
  StatementHandle s = Prepare(db, "SELECT TYPE_NAME FROM \"SETRIX$OBJECT_TABLES\" WHERE TABLE_NAME = ?1");
  sqlite3_bind_text(s.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
  return ColumnText(s.get(), 0);
}

// The declared column type that keeps an attribute's values.
std::string DeclaredTypeOf(const TypeAttribute& a) {
  if (a.modifier == "REF") return "REF " + a.typeName;
  if (a.named) return "NAMED " + a.typeName;
  if (a.hasLength) return a.typeName + "(" + std::to_string(a.length) + ")";
  if (a.hasPrecision) return a.typeName + "(" + std::to_string(a.precision) + "," + std::to_string(a.scale) + ")";
  return a.typeName;
}

Value FromSqlite(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return Value::Int(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Value::Float(sqlite3_value_double(v));
    case SQLITE_NULL: return Value::Null();
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      return Value::Raw(p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_value_bytes(v)))
                          : std::string());
    }
    default: {
      std::string text(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<std::size_t>(sqlite3_value_bytes(v)));
      return text.empty() ? Value::Null() : Value::Text(std::move(text));
    }
  }
}

void ResultValue(sqlite3_context* ctx, const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null: sqlite3_result_null(ctx); break;
    case Value::Kind::Integer: sqlite3_result_int64(ctx, v.integer); break;
    case Value::Kind::Real: sqlite3_result_double(ctx, v.real); break;
    case Value::Kind::Text: sqlite3_result_text(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT); break;
    case Value::Kind::Blob: sqlite3_result_blob(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT); break;
  }
}

void BindItem(sqlite3_stmt* s, int index, const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null: sqlite3_bind_null(s, index); break;
    case Value::Kind::Integer: sqlite3_bind_int64(s, index, v.integer); break;
    case Value::Kind::Real: sqlite3_bind_double(s, index, v.real); break;
    case Value::Kind::Text:
      if (v.bytes.empty()) sqlite3_bind_null(s, index);
      else sqlite3_bind_text(s, index, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
      break;
    case Value::Kind::Blob: sqlite3_bind_blob(s, index, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT); break;
  }
}

// A value given for an attribute or element, as the attribute's type keeps it.
Value AttributeValue(Value v, const TypeAttribute& a) {
  if (v.IsNull()) return v;
  if (a.named || a.modifier == "REF") {
    ObjectImage image;
    if (v.kind != Value::Kind::Blob || !ObjectImage::Decode(v.bytes, image) || image.typeName != a.typeName ||
        (a.modifier == "REF") != (image.kind == ObjectImage::Kind::Ref))
      throw OraError(932);
    return v;
  }
  const int type = ParseDeclaredType(a.typeName).oraType;
  if (type == oratype::Number) {
    if (v.kind == Value::Kind::Text) {
      char* end = nullptr;
      double d = std::strtod(v.bytes.c_str(), &end);
      if (!end || *end != '\0') throw OraError(1722);
      return d == static_cast<double>(static_cast<std::int64_t>(d)) ? Value::Int(static_cast<std::int64_t>(d)) : Value::Float(d);
    }
    if (v.kind == Value::Kind::Blob) throw OraError(932);
    return v;
  }
  if (type == oratype::Date) {
    if (v.kind != Value::Kind::Text) throw OraError(932);
    return Value::Date(v.bytes);
  }
  if (type == oratype::Raw) return v.kind == Value::Kind::Blob ? v : Value::Raw(v.bytes);
  if (v.kind == Value::Kind::Integer) return Value::Text(NumberText(v.integer));
  if (v.kind == Value::Kind::Real) return Value::Text(NumberText(v.real));
  if (type == oratype::Varchar2 || type == oratype::Char) {
    if (a.hasLength && static_cast<int>(v.bytes.size()) > a.length) throw OraError(1401);
  }
  return v;
}

// The object a row of an object table holds.
ObjectImage RowImage(sqlite3* db, const std::string& table, const std::string& typeName, std::int64_t rowid) {
  StatementHandle row = Prepare(db, "SELECT * FROM " + Quoted(table) + " WHERE rowid = ?1");
  sqlite3_bind_int64(row.get(), 1, rowid);
  if (sqlite3_step(row.get()) != SQLITE_ROW) throw OraError(21700);
  ObjectImage image;
  image.typeName = typeName;
  for (int c = 0; c < sqlite3_column_count(row.get()); ++c) {
    Value v = FromSqlite(sqlite3_column_value(row.get(), c));
    const char* declared = sqlite3_column_decltype(row.get(), c);
    if (v.kind == Value::Kind::Text && declared && ParseDeclaredType(declared).oraType == oratype::Date) v.isDate = true;
    image.items.push_back(std::move(v));
  }
  return image;
}

// Where an object id leads: its table and row; none when the object is gone.
struct ObjectPlace {
  std::string table;
  std::int64_t rowid = 0;
};
std::optional<ObjectPlace> FindObject(sqlite3* db, std::int64_t oid) {
  StatementHandle s = Prepare(db, "SELECT TABLE_NAME, ROW_ID FROM \"SETRIX$OIDS\" WHERE OID = ?1");
  sqlite3_bind_int64(s.get(), 1, oid);
  if (sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
  return ObjectPlace{ColumnText(s.get(), 0), sqlite3_column_int64(s.get(), 1)};
}

ObjectImage DecodeOrFail(const Value& v, ObjectImage::Kind kind) {
  ObjectImage image;
  if (v.kind != Value::Kind::Blob || !ObjectImage::Decode(v.bytes, image) || image.kind != kind) throw OraError(932);
  return image;
}


// ORA_CONSTRUCT(type, values...): an object of the type from one value per attribute, or a
// collection of the values.
void ConstructFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const std::string name = FromSqlite(argv[0]).bytes;
  std::optional<TypeInfo> type = LookupType(db, name);
  if (!type || type->attributes.empty()) throw OraError(904, name);
  ObjectImage image;
  image.typeName = name;
  if (type->object) {
    if (static_cast<std::size_t>(argc - 1) != type->attributes.size()) throw OraError(2315);
    for (int i = 1; i < argc; ++i) image.items.push_back(AttributeValue(FromSqlite(argv[i]), type->attributes[i - 1]));
  } else {
    image.kind = ObjectImage::Kind::Collection;
    if (type->bound > 0 && argc - 1 > type->bound) throw OraError(22909);
    for (int i = 1; i < argc; ++i) image.items.push_back(AttributeValue(FromSqlite(argv[i]), type->attributes[0]));
  }
  ResultValue(ctx, image.AsValue());
}

// ORA_ATTR(value, n): the n-th attribute of an object; a value that is no object stands for
// the only attribute.
void AttrFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Value v = FromSqlite(argv[0]);
  const std::int64_t n = sqlite3_value_int64(argv[1]);
  ObjectImage image;
  if (v.kind == Value::Kind::Blob && ObjectImage::Decode(v.bytes, image) && image.kind == ObjectImage::Kind::Object) {
    if (n < 1 || n > static_cast<std::int64_t>(image.items.size())) throw OraError(947);
    return ResultValue(ctx, image.items[static_cast<std::size_t>(n - 1)]);
  }
  if (v.IsNull()) return sqlite3_result_null(ctx);
  if (n != 1) throw OraError(947);
  ResultValue(ctx, v);
}

// ORA_REF(table, rowid): a REF to the row's object.
void RefFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const std::string table = FromSqlite(argv[0]).bytes;
  StatementHandle s = Prepare(db, "SELECT OID FROM \"SETRIX$OIDS\" WHERE TABLE_NAME = ?1 AND ROW_ID = ?2");
  sqlite3_bind_text(s.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(s.get(), 2, sqlite3_value_int64(argv[1]));
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_step(s.get()) != SQLITE_ROW) return sqlite3_result_null(ctx);
  ObjectImage ref;
  ref.kind = ObjectImage::Kind::Ref;
  ref.typeName = ObjectTableType(db, table).value_or(std::string());
  ref.table = table;
  ref.oid = sqlite3_column_int64(s.get(), 0);
  ResultValue(ctx, ref.AsValue());
}

// ORA_VALUE(table, rowid): the row's object.
void ValueFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::string table = FromSqlite(argv[0]).bytes;
  ResultValue(ctx, RowImage(db, table, ObjectTableType(db, table).value_or(std::string()), sqlite3_value_int64(argv[1]))
                       .AsValue());
}

// ORA_DEREF(ref): the object a REF names; null when it is gone.
void DerefFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  Value v = FromSqlite(argv[0]);
  if (v.IsNull()) return sqlite3_result_null(ctx);
  ObjectImage ref = DecodeOrFail(v, ObjectImage::Kind::Ref);
  std::optional<ObjectPlace> place = FindObject(db, ref.oid);
  if (!place) return sqlite3_result_null(ctx);
  ResultValue(ctx, RowImage(db, place->table, ref.typeName, place->rowid).AsValue());
}

// ORA_OBJECT_COLUMN(value, declared type): the value a column of an object, collection or
// REF type takes; ORA-00932 for a value of another type.
void ObjectColumnFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Value v = FromSqlite(argv[0]);
  const DeclaredType declared = ParseDeclaredType(FromSqlite(argv[1]).bytes);
  TypeAttribute column;
  column.typeName = declared.name;
  column.named = declared.oraType == oratype::Named;
  if (declared.oraType == oratype::Ref) column.modifier = "REF";
  ResultValue(ctx, AttributeValue(std::move(v), column));
}

// ORA_ELEMENT(table, i): the i-th (from 1) element of a table bind; ORA-01403 beyond its end.
void ElementFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Value v = FromSqlite(argv[0]);
  ObjectImage image;
  if (!v.IsNull() && !ObjectImage::Decode(v.bytes, image)) throw OraError(932);
  const std::int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 1 || n > static_cast<std::int64_t>(image.items.size())) throw OraError(1403);
  ResultValue(ctx, image.items[static_cast<std::size_t>(n - 1)]);
}

// ORA_TABLE_BOUND(table, 'COUNT' | 'FIRST' | 'LAST'); FIRST and LAST are null for an empty table.
void TableBoundFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Value v = FromSqlite(argv[0]);
  ObjectImage image;
  if (!v.IsNull() && !ObjectImage::Decode(v.bytes, image)) throw OraError(932);
  const std::string bound = FromSqlite(argv[1]).bytes;
  const auto count = static_cast<std::int64_t>(image.items.size());
  if (bound == "COUNT") return sqlite3_result_int64(ctx, count);
  if (count == 0) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, bound == "FIRST" ? 1 : count);
}

bool IsClauseWord(const Token& t) {
  static const char* const words[] = {"WHERE", "ORDER", "GROUP", "HAVING", "UNION", "MINUS", "INTERSECT", "CONNECT",
                                      "START", "FOR", "SET", "VALUES", "ON", "JOIN", "INNER", "LEFT", "RIGHT", "FULL",
                                      "CROSS", "NATURAL", "USING", "SELECT", "FROM", "WITH"};
  for (const char* w : words)
    if (t.Is(w)) return true;
  return false;
}

Token Word(const std::string& text, int pos) { return Token{Token::Kind::Word, text, pos}; }
Token Symbol(const std::string& text, int pos) { return Token{Token::Kind::Symbol, text, pos}; }
Token String(const std::string& text, int pos) { return Token{Token::Kind::String, text, pos}; }

// The index of the ")" closing the "(" at open; t.size() when there is none.
std::size_t Closing(const std::vector<Token>& t, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    else if (t[i].IsSymbol(")") && --depth == 0) return i;
  }
  return t.size();
}

}  // namespace

void ObjectTables::RegisterFunctions(sqlite3* db) {
  const struct {
    const char* name;
    int args;
    FunctionBody fn;
  } functions[] = {
      {"ORA_CONSTRUCT", -1, Guarded<ConstructFn>}, {"ORA_ATTR", 2, Guarded<AttrFn>}, {"ORA_REF", 2, Guarded<RefFn>},
      {"ORA_VALUE", 2, Guarded<ValueFn>},          {"ORA_DEREF", 1, Guarded<DerefFn>},
      {"ORA_OBJECT_COLUMN", 2, Guarded<ObjectColumnFn>}, {"ORA_ELEMENT", 2, Guarded<ElementFn>},
      {"ORA_TABLE_BOUND", 2, Guarded<TableBoundFn>},
  };
  for (const auto& f : functions)
    sqlite3_create_function_v2(db, f.name, f.args, SQLITE_UTF8, nullptr, f.fn, nullptr, nullptr, nullptr);
}

std::vector<Token> ObjectTables::Rewrite(std::vector<Token> t, ItemTypes* itemTypes) {
  sqlite3* db = session_.Connection();
  Session::ObjectCatalog& known = session_.ObjectNames();
  if (known.version != session_.Db().ProgramsVersion()) {
    auto names = [&](const char* sql) {
      std::map<std::string, std::string> found;
      StatementHandle s = Prepare(db, sql);
      while (sqlite3_step(s.get()) == SQLITE_ROW) found[ColumnText(s.get(), 0)] = ColumnText(s.get(), 1);
      return found;
    };
    known.version = session_.Db().ProgramsVersion();
    known.types = names("SELECT TYPE_NAME, TYPECODE FROM \"SETRIX$TYPES\"");
    known.tables = names("SELECT TABLE_NAME, TYPE_NAME FROM \"SETRIX$OBJECT_TABLES\"");
  }
  const std::map<std::string, std::string>& types = known.types;
  if (types.empty()) return t;  // nothing here can be an object
  const std::map<std::string, std::string>& tables = known.tables;
  auto typeNamed = [&](const std::string& word) { return types.count(word) != 0; };
  const bool createTable = t.size() > 2 && t[0].Is("CREATE") &&
                           (t[1].Is("TABLE") || (t.size() > 4 && t[1].Is("GLOBAL") && t[3].Is("TABLE")));

  // Object tables named in the statement, by their name and their alias.
  std::map<std::string, std::string> objectTables;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != Token::Kind::Word && t[i].kind != Token::Kind::Quoted) continue;
    if (i > 0 && t[i - 1].IsSymbol(".")) continue;
    if (!tables.count(t[i].text)) continue;
    objectTables[t[i].text] = t[i].text;
    if (i + 1 < t.size() && (t[i + 1].kind == Token::Kind::Word || t[i + 1].kind == Token::Kind::Quoted) &&
        !IsClauseWord(t[i + 1]))
      objectTables[t[i + 1].text] = t[i].text;
  }

  // An item of the outer select list that is a REF, an object or a constructor has its type
  // even when no row shows it.
  const bool query = !t.empty() && t[0].Is("SELECT");
  std::size_t item = 0;
  int depth = 0;
  bool inList = query;
  auto noteItem = [&](int oraType, const std::string& typeName) {
    if (itemTypes && inList && depth == 0) (*itemTypes)[item] = {oraType, typeName};
  };
  std::vector<Token> o;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    if (tok.IsSymbol("(")) ++depth;
    else if (tok.IsSymbol(")")) --depth;
    else if (depth == 0 && tok.IsSymbol(",")) ++item;
    else if (depth == 0 && tok.Is("FROM")) inList = false;
    const bool call = i + 1 < t.size() && t[i + 1].IsSymbol("(") && !(i > 0 && t[i - 1].IsSymbol("."));
    if (call && tok.kind == Token::Kind::Word && (tok.Is("REF") || tok.Is("VALUE")) && i + 3 < t.size() &&
        t[i + 3].IsSymbol(")") && !createTable) {
      auto table = objectTables.find(t[i + 2].text);
      if (table == objectTables.end()) throw OraError(904, t[i + 2].text);
      noteItem(tok.Is("REF") ? oratype::Ref : oratype::Named, tables.at(table->second));
      o.insert(o.end(), {Word(tok.Is("REF") ? "ORA_REF" : "ORA_VALUE", tok.pos), Symbol("(", tok.pos),
                         String(table->second, tok.pos), Symbol(",", tok.pos), Word(t[i + 2].text + ".ROWID", tok.pos),
                         Symbol(")", tok.pos)});
      i += 3;
    } else if (call && tok.Is("DEREF")) {
      o.push_back(Word("ORA_DEREF", tok.pos));
    } else if (call && tok.kind == Token::Kind::Word && !createTable && typeNamed(tok.text)) {
      noteItem(oratype::Named, tok.text);
      o.insert(o.end(), {Word("ORA_CONSTRUCT", tok.pos), Symbol("(", tok.pos), String(tok.text, tok.pos)});
      if (!t[i + 2].IsSymbol(")")) o.push_back(Symbol(",", tok.pos));
      ++i;
    } else if (createTable && tok.kind == Token::Kind::Word && i > 0 && !t[i - 1].Is("REF") && !call &&
               (t[i - 1].kind == Token::Kind::Word || t[i - 1].kind == Token::Kind::Quoted) && typeNamed(tok.text)) {
      o.insert(o.end(), {Word("NAMED", tok.pos), tok});  // a column of an object or collection type
    } else if (createTable && tok.Is("SCOPE") && i + 2 < t.size() && t[i + 1].Is("IS")) {
      i += 2;  // a REF column's scope: any object table of the type will do
    } else if (createTable && tok.Is("NESTED") && i + 1 < t.size() && t[i + 1].Is("TABLE")) {
      // NESTED TABLE column STORE AS name [RETURN AS LOCATOR|VALUE]
      std::size_t at = i + 2;
      while (at < t.size() && !t[at].Is("STORE")) ++at;
      at += 3;
      if (at < t.size() && t[at].Is("RETURN")) at += 3;
      i = at - 1;
    } else {
      o.push_back(tok);
    }
  }

  // INSERT INTO object_table VALUES (object): one value per attribute, taken from the object.
  if (o.size() > 4 && o[0].Is("INSERT") && o[1].Is("INTO")) {
    std::size_t at = 2;
    if (at + 2 < o.size() && o[at + 1].IsSymbol(".") && session_.Db().IsUserName(o[at].text)) at += 2;
    auto table = tables.find(o[at].text);
    std::optional<std::string> type;
    if (table != tables.end()) type = table->second;
    std::size_t values = at + 1;
    if (values < o.size() && !o[values].Is("VALUES") && !o[values].IsSymbol("(")) ++values;  // an alias
    if (type && values + 1 < o.size() && o[values].Is("VALUES") && o[values + 1].IsSymbol("(")) {
      const std::size_t close = Closing(o, values + 1);
      bool single = close < o.size();
      int depth = 0;
      for (std::size_t i = values + 2; single && i < close; ++i) {
        if (o[i].IsSymbol("(")) ++depth;
        else if (o[i].IsSymbol(")")) --depth;
        else if (depth == 0 && o[i].IsSymbol(",")) single = false;
      }
      std::optional<TypeInfo> info = LookupType(db, *type);
      if (single && info && !info->attributes.empty()) {
        std::vector<Token> value(o.begin() + static_cast<long>(values + 2), o.begin() + static_cast<long>(close));
        std::vector<Token> expanded;
        const int pos = o[values].pos;
        for (std::size_t n = 1; n <= info->attributes.size(); ++n) {
          if (n > 1) expanded.push_back(Symbol(",", pos));
          expanded.insert(expanded.end(), {Word("ORA_ATTR", pos), Symbol("(", pos)});
          expanded.insert(expanded.end(), value.begin(), value.end());
          expanded.insert(expanded.end(), {Symbol(",", pos), Token{Token::Kind::Number, std::to_string(n), pos},
                                           Symbol(")", pos)});
        }
        o.erase(o.begin() + static_cast<long>(values + 2), o.begin() + static_cast<long>(close));
        o.insert(o.begin() + static_cast<long>(values + 2), expanded.begin(), expanded.end());
      }
    }
  }
  return o;
}

bool ObjectTables::CreateObjectTable(const std::vector<Token>& t) {
  if (t.size() < 5 || !t[0].Is("CREATE") || !t[1].Is("TABLE")) return false;
  std::size_t at = 2;
  if (at + 2 < t.size() && t[at + 1].IsSymbol(".") && session_.Db().IsUserName(t[at].text)) at += 2;
  if (at + 2 >= t.size() || !t[at + 1].Is("OF")) return false;
  const std::string table = t[at].text;
  std::size_t typeAt = at + 2;
  if (typeAt + 2 < t.size() && t[typeAt + 1].IsSymbol(".") && session_.Db().IsUserName(t[typeAt].text)) typeAt += 2;
  const std::string typeName = t[typeAt].text;
  sqlite3* db = session_.Connection();
  std::optional<TypeInfo> type = LookupType(db, typeName);
  if (!type) throw OraError(902);
  if (!type->object) throw OraError(22913);
  session_.Commit();
  std::string columns;
  for (const TypeAttribute& a : type->attributes)
    columns += (columns.empty() ? "" : ", ") + Quoted(a.name) + " " + DeclaredTypeOf(a);
  sqlite3_stmt* raw = nullptr;
  const std::string create = "CREATE TABLE " + Quoted(table) + " (" + columns + ")";
  if (sqlite3_prepare_v2(db, create.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    throw OraError(955);
  }
  StatementHandle run(raw);
  if (sqlite3_step(run.get()) != SQLITE_DONE) throw OraError(955);
  const std::string literal = "'" + table + "'";
  // Each row gets an object id that no other object has had: REFs to a deleted row stay dangling.
  ExecOrThrow(db, "CREATE TRIGGER " + Quoted("SETRIX$" + table + "$OID_INSERT") + " AFTER INSERT ON " + Quoted(table) +
                      " BEGIN INSERT INTO \"SETRIX$OIDS\" VALUES ((random() & 9223372036854775807) | 1, " + literal +
                      ", NEW.rowid); END");
  ExecOrThrow(db, "CREATE TRIGGER " + Quoted("SETRIX$" + table + "$OID_DELETE") + " AFTER DELETE ON " + Quoted(table) +
                      " BEGIN DELETE FROM \"SETRIX$OIDS\" WHERE TABLE_NAME = " + literal +
                      " AND ROW_ID = OLD.rowid; END");
  StatementHandle entry = Prepare(db, "INSERT OR REPLACE INTO \"SETRIX$OBJECT_TABLES\" VALUES (?1, ?2)");
  sqlite3_bind_text(entry.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(entry.get(), 2, typeName.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_step(entry.get());
  session_.Db().ProgramsChanged();
  SchemaCommands(session_).EnforceColumnTypes(table);
  return true;
}

void ObjectTables::TableDropped(const std::string& table) {
  sqlite3* db = session_.Connection();
  for (const char* sql : {"DELETE FROM \"SETRIX$OIDS\" WHERE TABLE_NAME = ?1",
                          "DELETE FROM \"SETRIX$OBJECT_TABLES\" WHERE TABLE_NAME = ?1"}) {
    StatementHandle s = Prepare(db, sql);
    sqlite3_bind_text(s.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(s.get());
  }
  if (sqlite3_changes(db) > 0) session_.Db().ProgramsChanged();  // it was an object table
}

void ObjectTables::Store(const ObjectImage& ref, const ObjectImage& object) {
  sqlite3* db = session_.Connection();
  std::optional<std::string> typeName = ObjectTableType(db, ref.table);
  if (!typeName) throw OraError(942);
  std::optional<TypeInfo> type = LookupType(db, *typeName);
  if (!type || object.typeName != *typeName || object.items.size() != type->attributes.size()) throw OraError(932);
  std::vector<Value> values;
  for (std::size_t i = 0; i < object.items.size(); ++i) values.push_back(AttributeValue(object.items[i], type->attributes[i]));
  session_.BeginWrite();
  std::optional<ObjectPlace> place = FindObject(db, ref.oid);
  if (place && place->table != ref.table) throw OraError(932);
  if (place) {
    session_.Db().Locks().Acquire(session_.Id(), ref.table, {place->rowid}, false, -1, true);
    std::string sets;
    for (const TypeAttribute& a : type->attributes) sets += (sets.empty() ? "" : ", ") + Quoted(a.name) + " = ?";
    StatementHandle update = Prepare(db, "UPDATE " + Quoted(ref.table) + " SET " + sets + " WHERE rowid = ?");
    for (std::size_t i = 0; i < values.size(); ++i) BindItem(update.get(), static_cast<int>(i + 1), values[i]);
    sqlite3_bind_int64(update.get(), static_cast<int>(values.size() + 1), place->rowid);
    const int rc = sqlite3_step(update.get());
    if (rc != SQLITE_DONE) throw MapSqliteError(db, rc, {}, session_.User());
    return;
  }
  std::string names, marks;
  for (const TypeAttribute& a : type->attributes) {
    names += (names.empty() ? "" : ", ") + Quoted(a.name);
    marks += marks.empty() ? "?" : ", ?";
  }
  StatementHandle insert = Prepare(db, "INSERT INTO " + Quoted(ref.table) + " (" + names + ") VALUES (" + marks + ")");
  for (std::size_t i = 0; i < values.size(); ++i) BindItem(insert.get(), static_cast<int>(i + 1), values[i]);
  const int rc = sqlite3_step(insert.get());
  if (rc != SQLITE_DONE) throw MapSqliteError(db, rc, {}, session_.User());
  // The row takes the object id the client gave the new object.
  StatementHandle oid = Prepare(db, "UPDATE \"SETRIX$OIDS\" SET OID = ?1 WHERE TABLE_NAME = ?2 AND ROW_ID = ?3");
  sqlite3_bind_int64(oid.get(), 1, ref.oid);
  sqlite3_bind_text(oid.get(), 2, ref.table.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(oid.get(), 3, sqlite3_last_insert_rowid(db));
  if (sqlite3_step(oid.get()) != SQLITE_DONE) throw OraError(1, "SYS_NC_OID$");
}

void ObjectTables::Remove(const ObjectImage& ref) {
  sqlite3* db = session_.Connection();
  session_.BeginWrite();
  std::optional<ObjectPlace> place = FindObject(db, ref.oid);
  if (!place) throw OraError(21700);
  session_.Db().Locks().Acquire(session_.Id(), place->table, {place->rowid}, false, -1, true);
  StatementHandle remove = Prepare(db, "DELETE FROM " + Quoted(place->table) + " WHERE rowid = ?1");
  sqlite3_bind_int64(remove.get(), 1, place->rowid);
  if (sqlite3_step(remove.get()) != SQLITE_DONE) throw OraError(4021);
}

}  // namespace orastandin
