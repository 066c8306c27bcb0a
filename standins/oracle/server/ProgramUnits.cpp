#include "standins/oracle/server/ProgramUnits.h"

#include <algorithm>

#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/server/PlsqlBlock.h"
#include "standins/oracle/server/TypeCatalog.h"

namespace orastandin {

bool ProgramUnits::Command(const std::vector<Token>& t, const std::string& source, ExecuteReply& reply) {
  auto word = [&](std::size_t i, const char* w) { return i < t.size() && t[i].Is(w); };
  if (word(0, "DROP") && t.size() > 2) {  // DROP PROCEDURE|FUNCTION|PACKAGE [BODY]|TRIGGER|TYPE [BODY] name
    static const char* const units[] = {"PROCEDURE", "FUNCTION", "PACKAGE", "TRIGGER", "TYPE"};
    std::string kind;
    for (const char* k : units)
      if (word(1, k)) kind = k;
    if (kind.empty()) return false;
    std::size_t at = 2;
    if (word(at, "BODY")) {
      kind += " BODY";
      ++at;
    }
    if (at + 2 < t.size() && t[at + 1].IsSymbol(".") && session_.Db().IsUserName(t[at].text)) at += 2;
    if (at >= t.size()) throw OraError(905);
    session_.Commit();
    std::string name = t[at].text;
    ExecOrThrow(session_.Connection(), "DELETE FROM \"SETRIX$SOURCE\" WHERE NAME = '" + name + "' AND TYPE LIKE '" + kind + "%'");
    if (sqlite3_changes(session_.Connection()) == 0) throw OraError(4043, name);
    ExecOrThrow(session_.Connection(), "DELETE FROM \"SETRIX$ERRORS\" WHERE NAME = '" + name + "' AND TYPE LIKE '" + kind + "%'");
    if (kind == "TYPE") TypeCatalog(session_.Connection()).Forget(name);
    session_.Db().ProgramsChanged();
    return true;
  }
  if (!word(0, "CREATE")) return false;
  std::size_t at = word(1, "OR") && word(2, "REPLACE") ? 3 : 1;
  bool replace = at == 3;
  static const char* const kinds[] = {"PROCEDURE", "FUNCTION", "PACKAGE", "TRIGGER", "TYPE"};
  std::string kind;
  for (const char* k : kinds)
    if (word(at, k)) kind = k;
  if (kind.empty()) return false;
  ++at;
  if ((kind == "PACKAGE" || kind == "TYPE") && word(at, "BODY")) {
    kind += " BODY";
    ++at;
  }
  if (at + 2 < t.size() && t[at + 1].IsSymbol(".") && session_.Db().IsUserName(t[at].text)) at += 2;
  if (at >= t.size()) throw OraError(905);
  std::string name = t[at].text;
  session_.Commit();

  // Parse what can be parsed: the body of a procedure, function or trigger.
  std::vector<std::pair<int, std::string>> errors;  // offset, message
  std::size_t body = at + 1;
  if (kind == "PROCEDURE" || kind == "FUNCTION") {
    int depth = 0;
    while (body < t.size() && !(depth == 0 && (t[body].Is("IS") || t[body].Is("AS")))) {
      if (t[body].IsSymbol("(")) ++depth;
      if (t[body].IsSymbol(")")) --depth;
      ++body;
    }
    ++body;
  } else if (kind == "TRIGGER") {
    while (body < t.size() && !t[body].Is("DECLARE") && !t[body].Is("BEGIN")) ++body;
    if (word(body, "DECLARE")) ++body;
  }
  if (kind == "PROCEDURE" || kind == "FUNCTION" || kind == "TRIGGER") {
    try {
      PlsqlBlock check(session_);
      std::size_t end = check.Check(t, body);
      if (end < t.size() && !t[end].IsSymbol("/")) throw OraError(6550, "1", std::to_string(t[end].pos + 1));
    } catch (const OraError& e) {
      int offset = e.Offset();
      std::string symbol = "end-of-file";
      for (const auto& tok : t)
        if (tok.pos == offset) symbol = tok.text;
      errors.emplace_back(offset, "PLS-00103: Encountered the symbol \"" + symbol + "\"");
    }
  }

  // A type's spec fills the type catalogue; one that does not parse is kept invalid, without attributes.
  const bool typeSpec = kind == "TYPE";
  auto isSchema = [&](const std::string& n) { return session_.Db().IsUserName(n); };
  auto recordType = [&] {
    try {
      TypeCatalog(session_.Connection()).Record(name, t, at + 1, isSchema);
    } catch (const OraError& e) {
      TypeCatalog(session_.Connection()).Forget(name);
      int offset = e.Offset();
      std::string symbol = "end-of-file";
      for (const auto& tok : t)
        if (tok.pos == offset) symbol = tok.text;
      errors.emplace_back(offset, "PLS-00103: Encountered the symbol \"" + symbol + "\"");
    }
  };

  auto exec = [&](const char* sql, std::initializer_list<std::string> texts) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(session_.Connection(), sql, -1, &raw, nullptr) != SQLITE_OK) throw OraError(600);
    StatementHandle stmt(raw);
    int i = 1;
    for (const auto& text : texts) sqlite3_bind_text(stmt.get(), i++, text.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(stmt.get());
    return rc == SQLITE_ROW ? sqlite3_column_int(stmt.get(), 0) : 0;
  };
  if (!replace && exec("SELECT COUNT(*) FROM \"SETRIX$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2", {name, kind}) > 0)
    throw OraError(955);
  exec("DELETE FROM \"SETRIX$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2", {name, kind});
  exec("DELETE FROM \"SETRIX$ERRORS\" WHERE NAME = ?1 AND TYPE = ?2", {name, kind});
  if (typeSpec) recordType();
  exec("INSERT INTO \"SETRIX$SOURCE\" VALUES (?1, ?2, ?3, ?4)", {name, kind, source, errors.empty() ? "VALID" : "INVALID"});
  int sequence = 0;
  for (const auto& [offset, message] : errors) {
    std::int64_t line = 1 + std::count(source.begin(), source.begin() + std::min<std::size_t>(offset, source.size()), '\n');
    std::size_t lineStart = source.rfind('\n', offset > 0 ? offset - 1 : 0);
    std::int64_t position = offset - (lineStart == std::string::npos || offset == 0 ? -1 : static_cast<long>(lineStart));
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(session_.Connection(), "INSERT INTO \"SETRIX$ERRORS\" VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &raw, nullptr);
    StatementHandle insert(raw);
    sqlite3_bind_text(insert.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.get(), 2, kind.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert.get(), 3, ++sequence);
    sqlite3_bind_int64(insert.get(), 4, line);
    sqlite3_bind_int64(insert.get(), 5, position);
    sqlite3_bind_text(insert.get(), 6, message.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert.get());
  }
  if (!errors.empty()) reply.warning = {24344, OraError::TextOf(24344), 0};
  session_.Db().ProgramsChanged();
  return true;
}

std::string ProgramUnits::Source(const std::string& name, const std::string& kind) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(session_.Connection(), "SELECT TEXT, STATUS FROM \"SETRIX$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2", -1, &raw, nullptr);
  StatementHandle stmt(raw);
  sqlite3_bind_text(stmt.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(stmt.get(), 2, kind.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(stmt.get()) != SQLITE_ROW) return {};
  if (std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1))) != "VALID") throw OraError(6550, "1", "1");
  return reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
}

std::vector<std::string> ProgramUnits::RowTriggers(const std::string& table, const char* event) {
  std::vector<std::string> triggers;
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(session_.Connection(), "SELECT TEXT FROM \"SETRIX$SOURCE\" WHERE TYPE = 'TRIGGER' AND STATUS = 'VALID' ORDER BY NAME",
                     -1, &raw, nullptr);
  StatementHandle sources(raw);
  while (sources && sqlite3_step(sources.get()) == SQLITE_ROW) {
    std::string source = reinterpret_cast<const char*>(sqlite3_column_text(sources.get(), 0));
    std::vector<Token> t = Tokenize(source);
    bool before = false, fires = false, eachRow = false;
    std::string on;
    for (std::size_t i = 0; i < t.size() && !t[i].Is("BEGIN") && !t[i].Is("DECLARE"); ++i) {
      before = before || t[i].Is("BEFORE");
      fires = fires || t[i].Is(event);
      eachRow = eachRow || (t[i].Is("EACH") && i + 1 < t.size() && t[i + 1].Is("ROW"));
      if (t[i].Is("ON") && i + 1 < t.size())
        on = i + 3 < t.size() && t[i + 2].IsSymbol(".") ? t[i + 3].text : t[i + 1].text;
    }
    if (before && fires && eachRow && on == table) triggers.push_back(source);
  }
  return triggers;
}

}  // namespace orastandin
