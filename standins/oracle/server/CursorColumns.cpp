#include "standins/oracle/server/CursorColumns.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/OracleFormats.h"
#include "standins/oracle/server/SqlTranslator.h"

namespace orastandin {

namespace {

using Kind = Token::Kind;

bool IsName(const Token& t) { return t.kind == Kind::Word || t.kind == Kind::Quoted; }

// Index of the ")" that closes the "(" at open.
std::size_t Closing(const std::vector<Token>& t, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    if (t[i].IsSymbol(")") && --depth == 0) return i;
  }
  throw OraError(907);
}

// The items of the select list starting after SELECT [DISTINCT | UNIQUE | ALL] at from:
// [begin, end) per item; listEnd receives the index of the FROM that ends the list.
std::vector<std::pair<std::size_t, std::size_t>> SelectItems(const std::vector<Token>& t, std::size_t from,
                                                              std::size_t limit, std::size_t& listEnd) {
  std::vector<std::pair<std::size_t, std::size_t>> items;
  int depth = 0;
  std::size_t begin = from;
  std::size_t i = from;
  for (; i < limit; ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    else if (t[i].IsSymbol(")")) --depth;
    else if (depth == 0 && (t[i].IsSymbol(",") || t[i].Is("FROM"))) {
      items.emplace_back(begin, i);
      begin = i + 1;
      if (t[i].Is("FROM")) break;
    }
  }
  if (i >= limit) items.emplace_back(begin, limit);
  listEnd = i;
  return items;
}

// An item ends in an alias when its last token is a name preceded by AS or by the end of
// an operand (a name, a literal or a closing parenthesis); "t.col" and "CASE ... END" do not.
bool HasAlias(const std::vector<Token>& t, std::size_t begin, std::size_t end) {
  if (end - begin < 2 || !IsName(t[end - 1]) || t[end - 1].Is("END")) return false;
  const Token& before = t[end - 2];
  return before.Is("AS") || IsName(before) || before.kind == Kind::Number || before.kind == Kind::String ||
         before.IsSymbol(")");
}

// A column reference ("col", "t.col") is named after its column, any other item after its text.
std::string ItemText(const std::vector<Token>& t, std::size_t begin, std::size_t end, const std::string& source) {
  bool reference = (end - begin) % 2 == 1;
  for (std::size_t i = begin; i < end && reference; ++i)
    reference = (i - begin) % 2 == 0 ? IsName(t[i]) : t[i].IsSymbol(".");
  if (reference) return t[end - 1].text;
  const auto from = static_cast<std::size_t>(t[begin].pos);
  const std::size_t to = end < t.size() ? static_cast<std::size_t>(t[end].pos) : source.size();
  return OracleItemName(source.substr(from, to > from ? to - from : 0));
}

Token Word(const char* text, int pos) { return Token{Kind::Word, text, pos}; }
Token Symbol(const char* text, int pos) { return Token{Kind::Symbol, text, pos}; }
Token Quoted(std::string text, int pos) { return Token{Kind::Quoted, std::move(text), pos}; }

// "( SELECT ORA_CURSOR_ROWS(n1, ...) FROM ( subquery with every item named ) )": the
// subquery keeps its own order, grouping and correlation to the outer row.
// The FROM clause of a query whose select list ends at listEnd: up to the first clause that
// follows it at the same depth.
std::vector<Token> FromClause(const std::vector<Token>& t, std::size_t listEnd, std::size_t end) {
  static const char* const following[] = {"WHERE", "GROUP", "HAVING", "ORDER", "CONNECT", "START",
                                          "UNION", "INTERSECT", "MINUS"};
  int depth = 0;
  std::size_t i = listEnd;
  for (; i < end; ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    else if (t[i].IsSymbol(")")) --depth;
    else if (depth == 0 && std::any_of(std::begin(following), std::end(following), [&](const char* w) { return t[i].Is(w); }))
      break;
  }
  return {t.begin() + static_cast<std::ptrdiff_t>(listEnd), t.begin() + static_cast<std::ptrdiff_t>(i)};
}

std::vector<Token> Gather(const std::vector<Token>& t, std::size_t begin, std::size_t end, const std::string& source,
                          const ColumnLister& columnsOf, std::vector<std::string>& names) {
  if (begin >= end || !t[begin].Is("SELECT")) throw OraError(936);
  const int pos = t[begin].pos;
  std::size_t first = begin + 1;
  if (first < end && (t[first].Is("DISTINCT") || t[first].Is("UNIQUE") || t[first].Is("ALL"))) ++first;
  std::size_t listEnd = 0;
  auto items = SelectItems(t, first, end, listEnd);
  std::vector<Token> sub(t.begin() + static_cast<std::ptrdiff_t>(begin), t.begin() + static_cast<std::ptrdiff_t>(first));
  std::vector<Token> gathered = {Symbol("(", pos), Word("SELECT", pos), Word("ORA_CURSOR_ROWS", pos), Symbol("(", pos)};
  for (std::size_t k = 0; k < items.size(); ++k) {
    const auto [b, e] = items[k];
    if (b >= e) throw OraError(936);
    if (t[e - 1].IsSymbol("*")) {
      // Columns are read by name: "*" and "t.*" become the columns they stand for.
      std::vector<Token> probe = {t[begin]};
      probe.insert(probe.end(), t.begin() + static_cast<std::ptrdiff_t>(b), t.begin() + static_cast<std::ptrdiff_t>(e));
      const std::vector<Token> from = FromClause(t, listEnd, end);
      probe.insert(probe.end(), from.begin(), from.end());
      const std::vector<std::string> columns = columnsOf(probe);
      if (columns.empty()) throw OraError(936);
      for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c > 0) sub.push_back(Symbol(",", pos));
        sub.insert(sub.end(), t.begin() + static_cast<std::ptrdiff_t>(b), t.begin() + static_cast<std::ptrdiff_t>(e - 1));
        sub.push_back(Quoted(columns[c], pos));
        names.push_back(columns[c]);
        if (names.size() > 1) gathered.push_back(Symbol(",", pos));
        gathered.push_back(Quoted(columns[c], pos));
      }
      if (k + 1 < items.size()) sub.push_back(Symbol(",", pos));
      continue;
    }
    std::string name;
    std::string sqlName;
    sub.insert(sub.end(), t.begin() + static_cast<std::ptrdiff_t>(b), t.begin() + static_cast<std::ptrdiff_t>(e));
    if (HasAlias(t, b, e)) {
      name = t[e - 1].text;
      sqlName = name;
    } else {
      name = ItemText(t, b, e, source);
      sqlName = "C$" + std::to_string(k + 1);
      sub.push_back(Quoted(sqlName, pos));
    }
    if (k + 1 < items.size()) sub.push_back(Symbol(",", pos));
    names.push_back(name);
    if (names.size() > 1) gathered.push_back(Symbol(",", pos));
    gathered.push_back(Quoted(sqlName, pos));
  }
  sub.insert(sub.end(), t.begin() + static_cast<std::ptrdiff_t>(listEnd), t.begin() + static_cast<std::ptrdiff_t>(end));
  gathered.insert(gathered.end(), {Symbol(")", pos), Word("FROM", pos), Symbol("(", pos)});
  gathered.insert(gathered.end(), sub.begin(), sub.end());
  gathered.insert(gathered.end(), {Symbol(")", pos), Symbol(")", pos)});
  return gathered;
}

// The aggregate's state: the encoded rows gathered so far.
struct Gathered {
  WireWriter rows;
};

Value ValueOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return Value::Int(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Value::Float(sqlite3_value_double(v));
    case SQLITE_TEXT: {
      std::string text(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                       static_cast<std::size_t>(sqlite3_value_bytes(v)));
      DateTime d;
      return ParseCanonicalDate(text, d) ? Value::Date(std::move(text)) : Value::Text(std::move(text));
    }
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      return Value::Raw(p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_value_bytes(v)))
                          : std::string());
    }
    default: return Value::Null();
  }
}

void GatherStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto** state = static_cast<Gathered**>(sqlite3_aggregate_context(ctx, sizeof(Gathered*)));
  if (!state) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  if (!*state) *state = new Gathered;
  (*state)->rows.I64(argc);
  for (int i = 0; i < argc; ++i) (*state)->rows.Val(ValueOf(argv[i]));
}

void GatherFinal(sqlite3_context* ctx) {
  auto** state = static_cast<Gathered**>(sqlite3_aggregate_context(ctx, 0));
  std::unique_ptr<Gathered> owned(state ? *state : nullptr);
  const std::string empty;
  const std::string& data = owned ? owned->rows.Data() : empty;
  sqlite3_result_blob(ctx, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::vector<CursorItem> RewriteCursorItems(std::vector<Token>& tokens, const std::string& source,
                                           const ColumnLister& columnsOf) {
  std::vector<CursorItem> found;
  if (tokens.empty() || !tokens[0].Is("SELECT")) return found;
  std::size_t first = 1;
  if (first < tokens.size() && (tokens[first].Is("DISTINCT") || tokens[first].Is("UNIQUE") || tokens[first].Is("ALL")))
    ++first;
  std::size_t listEnd = 0;
  auto items = SelectItems(tokens, first, tokens.size(), listEnd);
  // From the last item back, so that earlier indexes stay valid.
  for (std::size_t k = items.size(); k-- > 0;) {
    const auto [b, e] = items[k];
    if (e - b < 3 || !tokens[b].Is("CURSOR") || !tokens[b + 1].IsSymbol("(")) continue;
    const std::size_t close = Closing(tokens, b + 1);
    if (close + 1 != e && !HasAlias(tokens, b, e)) continue;
    CursorItem item;
    item.position = k;
    std::string name = close + 1 == e ? ItemText(tokens, b, e, source) : tokens[e - 1].text;
    std::vector<Token> replacement = Gather(tokens, b + 2, close, source, columnsOf, item.columnNames);
    replacement.push_back(Quoted(name, tokens[b].pos));
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(b), tokens.begin() + static_cast<std::ptrdiff_t>(e));
    tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(b), replacement.begin(), replacement.end());
    found.insert(found.begin(), std::move(item));
  }
  return found;
}

void RegisterCursorFunctions(sqlite3* db) {
  sqlite3_create_function_v2(db, "ORA_CURSOR_ROWS", -1, SQLITE_UTF8, nullptr, nullptr, GatherStep, GatherFinal,
                             nullptr);
}

std::vector<std::vector<Value>> DecodeCursorRows(const Value& cell) {
  std::vector<std::vector<Value>> rows;
  if (cell.kind != Value::Kind::Blob) return rows;
  WireReader reader(cell.bytes);
  while (!reader.AtEnd()) {
    const std::int64_t count = reader.I64();
    std::vector<Value> row;
    for (std::int64_t i = 0; i < count; ++i) row.push_back(reader.Val());
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace orastandin
