#include "standins/oracle/server/TriggeredWrites.h"

#include <algorithm>
#include <map>

#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/RowidText.h"
#include "standins/oracle/server/PlsqlBlock.h"

namespace orastandin {

void TriggeredWrites::Insert(const std::vector<Token>& t, const ExecuteRequest& request,
                                 const std::vector<std::string>& triggers, ExecuteReply& reply) {
  // INSERT INTO [schema.]table [(columns)] VALUES (expressions)
  std::size_t at = 2;
  if (at + 2 < t.size() && t[at + 1].IsSymbol(".")) at += 2;
  const std::string table = t[at].text;
  std::vector<std::string> columns;
  std::size_t values = at + 1;
  if (values < t.size() && t[values].IsSymbol("(")) {
    for (++values; values < t.size() && !t[values].IsSymbol(")"); ++values)
      if (!t[values].IsSymbol(",")) columns.push_back(t[values].text);
    ++values;
  }
  bool fromQuery = values < t.size() && (t[values].Is("SELECT") || t[values].Is("WITH"));
  if (!fromQuery &&
      (values + 1 >= t.size() || !t[values].Is("VALUES") || !t[values + 1].IsSymbol("(") || !t.back().IsSymbol(")")))
    throw OraError(3001);
  std::vector<std::string> tableColumns;
  {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(session_.Connection(), "SELECT name FROM pragma_table_info(?1)", -1, &raw, nullptr);
    StatementHandle info(raw);
    sqlite3_bind_text(info.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (info && sqlite3_step(info.get()) == SQLITE_ROW)
      tableColumns.push_back(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0)));
  }
  if (tableColumns.empty()) throw OraError(942);
  if (columns.empty()) columns = tableColumns;
  // The rows to insert: the query's, or the one row of the VALUES list.
  std::vector<Token> select;
  if (fromQuery) {
    select.assign(t.begin() + static_cast<long>(values), t.end());
  } else {
    select = {Token{Token::Kind::Word, "SELECT", t[values].pos}};
    select.insert(select.end(), t.begin() + static_cast<long>(values) + 2, t.end() - 1);
  }
  TranslatedSql expressions = session_.Translate(select);
  session_.BeginWrite();
  std::size_t iterations = std::max<std::size_t>(1, request.iterations.size());
  std::int64_t lastRowid = 0;
  for (std::size_t i = 0; i < iterations; ++i) {
    Session::BindLookup lookup = [&request, i](const std::string& name) -> const Value* {
      if (i >= request.iterations.size()) return nullptr;
      for (std::size_t k = 0; k < request.bindNames.size() && k < request.iterations[i].size(); ++k)
        if (request.bindNames[k] == name) return &request.iterations[i][k];
      return nullptr;
    };
    Session::Result given = session_.Run(expressions, lookup);
    if (given.columns.size() != columns.size()) throw OraError(given.columns.size() < columns.size() ? 947 : 913);
    for (const auto& values : given.rows) {
      std::map<std::string, Value> row;
      for (std::size_t c = 0; c < columns.size(); ++c) row[columns[c]] = values[c];
      for (const auto& trigger : triggers) {
        PlsqlBlock block(session_);
        block.RunRowTrigger(trigger, row);
      }
      // The columns given or set by a trigger; the others keep their defaults.
      TranslatedSql insert;
      std::vector<Value> bound;
      std::string names, places;
      for (const auto& column : tableColumns) {
        auto it = row.find(column);
        bool listed = std::find(columns.begin(), columns.end(), column) != columns.end();
        if (it == row.end() || (!listed && it->second.IsNull())) continue;
        names += (names.empty() ? "\"" : ", \"") + column + "\"";
        places += (places.empty() ? "?" : ", ?") + std::to_string(bound.size() + 1);
        insert.binds.push_back(std::to_string(bound.size() + 1));
        bound.push_back(it->second);
      }
      insert.text = "INSERT INTO \"" + table + "\" (" + names + ") VALUES (" + places + ")";
      Session::Result r = session_.Run(insert, [&bound](const std::string& name) -> const Value* {
        std::size_t index = static_cast<std::size_t>(std::stoul(name)) - 1;
        return index < bound.size() ? &bound[index] : nullptr;
      });
      reply.rowsAffected += r.changes;
      lastRowid = r.lastRowid;
    }
  }
  if (lastRowid != 0) reply.rowid = RowidText(RowidOf(lastRowid));
}

void TriggeredWrites::Update(const std::vector<Token>& t, const TranslatedSql& sql, const ExecuteRequest& request,
                                 const std::vector<std::string>& triggers, ExecuteReply& reply) {
  // UPDATE [schema.]table [[AS] alias] SET column = expression, ... [WHERE ...]
  std::size_t at = 1;
  if (at + 2 < t.size() && t[at + 1].IsSymbol(".")) at += 2;
  std::size_t set = at + 1;
  while (set < t.size() && !t[set].Is("SET")) ++set;
  std::vector<Token> source(t.begin() + static_cast<long>(at), t.begin() + static_cast<long>(set));
  std::string ref = source.back().text;
  struct Assignment { std::string column; std::vector<Token> expression; };
  std::vector<Assignment> assignments;
  int depth = 0;
  std::size_t i = set + 1;
  while (i < t.size()) {
    std::size_t start = i;
    while (i < t.size() && !(depth == 0 && (t[i].IsSymbol(",") || t[i].Is("WHERE")))) {
      if (t[i].IsSymbol("(")) ++depth;
      if (t[i].IsSymbol(")")) --depth;
      ++i;
    }
    std::size_t eq = start;
    while (eq < i && !t[eq].IsSymbol("=")) ++eq;
    if (eq == start || eq >= i || t[start].IsSymbol("(")) throw OraError(3001);  // (a, b) = (...) is not offered
    assignments.push_back({t[eq - 1].text, std::vector<Token>(t.begin() + static_cast<long>(eq) + 1, t.begin() + static_cast<long>(i))});
    if (i >= t.size() || t[i].Is("WHERE")) break;
    ++i;
  }
  session_.BeginWrite();
  std::size_t iterations = std::max<std::size_t>(1, request.iterations.size());
  for (std::size_t n = 0; n < iterations; ++n) {
    Session::BindLookup lookup = [&request, n](const std::string& name) -> const Value* {
      if (n >= request.iterations.size()) return nullptr;
      for (std::size_t k = 0; k < request.bindNames.size() && k < request.iterations[n].size(); ++k)
        if (request.bindNames[k] == name) return &request.iterations[n][k];
      return nullptr;
    };
    TranslatedSql select = sql;
    select.text = sql.dmlRowSelect;
    std::vector<std::int64_t> ids;
    for (const auto& row : session_.Run(select, lookup).rows) ids.push_back(row[0].integer);
    session_.Db().Locks().Acquire(session_.Id(), sql.dmlTable, ids, false, -1, true);
    for (std::int64_t id : ids) {
      const std::string where = " WHERE \"" + ref + "\"._ROWID_ = " + std::to_string(id);
      TranslatedSql current;
      current.text = "SELECT * FROM \"" + sql.dmlTable + "\" AS \"" + ref + "\"" + where;
      Session::Result old = session_.Run(current, lookup);
      if (old.rows.empty()) continue;
      std::map<std::string, Value> oldRow, newRow;
      for (std::size_t c = 0; c < old.columns.size(); ++c) oldRow[old.columns[c].name] = old.rows[0][c];
      newRow = oldRow;
      for (const auto& a : assignments) {
        std::vector<Token> query = {Token{Token::Kind::Word, "SELECT", t[0].pos}};
        query.insert(query.end(), a.expression.begin(), a.expression.end());
        query.push_back(Token{Token::Kind::Word, "FROM", t[0].pos});
        query.insert(query.end(), source.begin(), source.end());
        TranslatedSql value = session_.Translate(query);
        value.text += where;
        Session::Result r = session_.Run(value, lookup);
        newRow[a.column] = r.rows.empty() ? Value::Null() : r.rows[0][0];
      }
      for (const auto& trigger : triggers) {
        PlsqlBlock block(session_);
        block.RunRowTrigger(trigger, newRow, oldRow);
      }
      TranslatedSql update;
      std::vector<Value> bound;
      std::string sets;
      for (const auto& [column, value] : newRow) {
        sets += (sets.empty() ? "\"" : ", \"") + column + "\" = ?" + std::to_string(bound.size() + 1);
        update.binds.push_back(std::to_string(bound.size() + 1));
        bound.push_back(value);
      }
      update.text = "UPDATE \"" + sql.dmlTable + "\" SET " + sets + " WHERE _ROWID_ = " + std::to_string(id);
      session_.Run(update, [&bound](const std::string& name) -> const Value* {
        std::size_t index = static_cast<std::size_t>(std::stoul(name)) - 1;
        return index < bound.size() ? &bound[index] : nullptr;
      });
      ++reply.rowsAffected;
    }
    if (!ids.empty()) reply.rowid = RowidText(RowidOf(ids.back()));
  }
}

}  // namespace orastandin
