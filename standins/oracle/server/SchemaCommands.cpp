#include "standins/oracle/server/SchemaCommands.h"

#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/server/OracleTypes.h"

namespace orastandin {

void SchemaCommands::EnforceColumnTypes(const std::string& table) {
  std::string sets;
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(session_.Connection(), "SELECT name, type FROM pragma_table_info(?1)", -1, &raw, nullptr);
  StatementHandle columns(raw);
  sqlite3_bind_text(columns.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (columns && sqlite3_step(columns.get()) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 0));
    std::string declared = reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 1));
    int type = ParseDeclaredType(declared).oraType;
    const char* function = type == oratype::Named || type == oratype::Ref ? "ORA_OBJECT_COLUMN" : "ORA_COLUMN_VALUE";
    if (type != oratype::Named && type != oratype::Ref && type != oratype::Number && type != oratype::Varchar2 && type != oratype::Char && type != oratype::Date) continue;
    std::string quotedDecl;
    for (char c : declared) quotedDecl += c == '\'' ? std::string("''") : std::string(1, c);
    sets += std::string(sets.empty() ? "" : ", ") + "\"" + name + "\" = " + function + "(NEW.\"" + name + "\", '" +
            quotedDecl + "')";
  }
  for (const char* when : {"INSERT", "UPDATE"}) {
    std::string trigger = "\"SETRIX$" + table + "$" + when + "\"";
    ExecOrThrow(session_.Connection(), "DROP TRIGGER IF EXISTS " + trigger);
    if (!sets.empty())
      ExecOrThrow(session_.Connection(), "CREATE TRIGGER " + trigger + " AFTER " + when + " ON \"" + table + "\" BEGIN UPDATE \"" +
                                 table + "\" SET " + sets + " WHERE rowid = NEW.rowid; END");
  }
}

void SchemaCommands::RunDdl(std::vector<Token> tokens) {
  session_.Run(session_.Translate(std::move(tokens)), [](const std::string&) -> const Value* { return nullptr; });
}

// Schema statements SQLite has no form of, or another form: synonyms become views, OR REPLACE
// drops first, ALTER TABLE ADD takes one column at a time, key constraints become unique
// indexes; grants, comments and statistics have nothing to act on here.
bool SchemaCommands::Execute(const std::vector<Token>& t) {
  auto word = [&](std::size_t i, const char* w) { return i < t.size() && t[i].Is(w); };
  auto tok = [&](Token::Kind kind, const std::string& text) { return Token{kind, text, t[0].pos}; };
  auto slice = [&](std::size_t from, std::size_t to) {
    return std::vector<Token>(t.begin() + static_cast<long>(from), t.begin() + static_cast<long>(std::min(to, t.size())));
  };
  const std::string& first = t[0].text;
  bool userDdl = word(1, "USER") && t.size() > 2 && (first == "CREATE" || first == "ALTER" || first == "DROP");
  bool sysdbaGrant = (first == "GRANT" || first == "REVOKE") && word(1, "SYSDBA") && t.size() > 3;
  if (userDdl || sysdbaGrant) {
    auto self = session_.Db().FindAccount(session_.User());
    if (session_.User() != "SYS" && session_.User() != "SYSTEM" && !(self && self->privileged)) throw OraError(1031);
    session_.Commit();
    std::string name = sysdbaGrant ? t[3].text : t[2].text;
    auto account = session_.Db().FindAccount(name);
    if (sysdbaGrant) {
      if (!account) throw OraError(1917, name);
      session_.Db().AddAccount(name, account->password, first == "GRANT", session_.Connection());
    } else if (first == "DROP") {
      if (!account) throw OraError(1918, name);
      session_.Db().DropAccount(name, session_.Connection());
    } else {
      if (first == "CREATE" && account) throw OraError(1920, name);
      if (first == "ALTER" && !account) throw OraError(1918, name);
      std::size_t by = 3;
      while (by + 1 < t.size() && !(t[by].Is("BY") && t[by - 1].Is("IDENTIFIED"))) ++by;
      if (by + 1 >= t.size()) {
        if (first == "CREATE") throw OraError(922);
        return true;  // other user options have no effect here
      }
      session_.Db().AddAccount(name, t[by + 1].text, account && account->privileged, session_.Connection());
    }
    return true;
  }
  if (first == "GRANT" || first == "REVOKE" || first == "COMMENT" || first == "ANALYZE" || first == "AUDIT") {
    session_.Commit();
    return true;
  }
  std::size_t at = 1;
  bool replace = word(1, "OR") && word(2, "REPLACE");
  if (replace) at = 3;
  if (word(at, "PUBLIC")) ++at;
  if ((first == "CREATE" || first == "DROP") && word(at, "DIRECTORY") && at + 1 < t.size()) {
    session_.Commit();
    std::string name = t[at + 1].text;
    if (first == "DROP") {
      ExecOrThrow(session_.Connection(), "DELETE FROM \"SETRIX$DIRECTORIES\" WHERE NAME = '" + name + "'");
      return true;
    }
    if (!word(at + 2, "AS") || at + 3 >= t.size() || t[at + 3].kind != Token::Kind::String) throw OraError(905);
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(session_.Connection(), replace ? "INSERT OR REPLACE INTO \"SETRIX$DIRECTORIES\" VALUES (?1, ?2)"
                                          : "INSERT INTO \"SETRIX$DIRECTORIES\" VALUES (?1, ?2)", -1, &raw, nullptr);
    StatementHandle insert(raw);
    sqlite3_bind_text(insert.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.get(), 2, t[at + 3].text.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) throw OraError(955);
    return true;
  }
  if ((first == "CREATE" || first == "DROP") && word(at, "SYNONYM") && at + 1 < t.size()) {
    session_.Commit();
    std::string name = t[at + 1].text;
    if (first == "DROP" || replace) ExecOrThrow(session_.Connection(), "DROP VIEW IF EXISTS \"" + name + "\"");
    if (first == "CREATE") {
      std::size_t target = at + 2;
      if (!word(target, "FOR") || target + 1 >= t.size()) throw OraError(905);
      std::vector<Token> view = {tok(Token::Kind::Word, "CREATE"), tok(Token::Kind::Word, "VIEW"), t[at + 1],
                                 tok(Token::Kind::Word, "AS"), tok(Token::Kind::Word, "SELECT"), tok(Token::Kind::Symbol, "*"),
                                 tok(Token::Kind::Word, "FROM")};
      auto rest = slice(target + 1, t.size());
      view.insert(view.end(), rest.begin(), rest.end());
      RunDdl(view);
    }
    return true;
  }
  if (first == "CREATE" && replace && word(at, "VIEW") && at + 1 < t.size()) {
    session_.Commit();
    ExecOrThrow(session_.Connection(), "DROP VIEW IF EXISTS \"" + t[at + 1].text + "\"");
    std::vector<Token> view = {t[0]};
    auto rest = slice(at, t.size());
    view.insert(view.end(), rest.begin(), rest.end());
    RunDdl(view);
    return true;
  }
  if (first == "RENAME" && t.size() >= 4 && word(2, "TO")) {
    session_.Commit();
    RunDdl({tok(Token::Kind::Word, "ALTER"), tok(Token::Kind::Word, "TABLE"), t[1], tok(Token::Kind::Word, "RENAME"),
            tok(Token::Kind::Word, "TO"), t[3]});
    return true;
  }
  if (first != "ALTER" || !word(1, "TABLE") || t.size() < 4) return false;
  std::size_t table = 2;
  if (table + 2 < t.size() && t[table + 1].IsSymbol(".") && session_.Db().IsUserName(t[table].text)) table += 2;
  std::vector<Token> prefix = {t[0], t[1], t[table]};
  std::size_t verb = table + 1;
  if (word(verb, "MODIFY")) throw OraError(3001);
  if (!word(verb, "ADD")) return false;
  session_.Commit();
  if (word(verb + 1, "CONSTRAINT") || word(verb + 1, "PRIMARY") || word(verb + 1, "UNIQUE") ||
      word(verb + 1, "FOREIGN") || word(verb + 1, "CHECK")) {
    std::size_t kind = word(verb + 1, "CONSTRAINT") ? verb + 3 : verb + 1;
    std::string name = word(verb + 1, "CONSTRAINT") ? t[verb + 2].text : t[table].text + "_KEY";
    if (word(kind, "PRIMARY") || word(kind, "UNIQUE")) {
      std::size_t open = kind + (word(kind, "PRIMARY") ? 2 : 1);
      std::vector<Token> index = {tok(Token::Kind::Word, "CREATE"), tok(Token::Kind::Word, "UNIQUE"),
                                  tok(Token::Kind::Word, "INDEX"), tok(Token::Kind::Quoted, name),
                                  tok(Token::Kind::Word, "ON"), t[table]};
      auto columns = slice(open, t.size());
      index.insert(index.end(), columns.begin(), columns.end());
      RunDdl(index);
    }
    return true;  // foreign keys and checks are not enforced on tables that exist already
  }
  // ADD column or ADD (column, column ...)
  std::size_t from = verb + 1, to = t.size();
  if (t[from].IsSymbol("(")) {
    ++from;
    if (t[to - 1].IsSymbol(")")) --to;
  }
  int depth = 0;
  std::size_t start = from;
  for (std::size_t i = from; i <= to; ++i) {
    bool end = i == to;
    if (!end) {
      if (t[i].IsSymbol("(")) ++depth;
      else if (t[i].IsSymbol(")")) --depth;
      end = depth == 0 && t[i].IsSymbol(",");
    }
    if (!end) continue;
    std::vector<Token> add = prefix;
    add.push_back(tok(Token::Kind::Word, "ADD"));
    add.push_back(tok(Token::Kind::Word, "COLUMN"));
    auto column = slice(start, i);
    add.insert(add.end(), column.begin(), column.end());
    RunDdl(add);
    start = i + 1;
  }
  EnforceColumnTypes(t[table].text);
  return true;
}

}  // namespace orastandin
