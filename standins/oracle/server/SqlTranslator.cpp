#include "standins/oracle/server/SqlTranslator.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "standins/oracle/protocol/OraError.h"

namespace orastandin {

namespace {

using Kind = Token::Kind;

// Words that may stand before "(" without being a function name.
bool IsKeywordBeforeParen(const std::string& w) {
  static const std::set<std::string> words = {
      "IN", "AND", "OR", "NOT", "SELECT", "WHERE", "ON", "VALUES", "EXISTS", "THEN", "ELSE", "WHEN",
      "AS", "FROM", "BY", "SET", "INTO", "HAVING", "UNION", "ALL", "ANY", "SOME", "IS", "LIKE",
      "BETWEEN", "RETURN", "USING", "CASE", "DEFAULT", "JOIN", "MINUS", "EXCEPT", "INTERSECT"};
  return words.count(w) != 0;
}

bool IsClauseWord(const Token& t) {
  static const std::set<std::string> words = {"FROM", "WHERE", "GROUP", "ORDER", "HAVING", "UNION",
                                              "MINUS", "INTERSECT", "CONNECT", "START", "FOR"};
  return t.kind == Kind::Word && words.count(t.text) != 0;
}

std::string QuoteIdent(const std::string& s) {
  std::string r = "\"";
  for (char c : s) r += c == '"' ? std::string("\"\"") : std::string(1, c);
  return r + "\"";
}

std::string QuoteString(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

// How a source token reads in an item name.
std::string SourceForm(const Token& t) {
  switch (t.kind) {
    case Kind::Quoted: return t.text;
    case Kind::String: return "'" + t.text + "'";
    case Kind::Bind: return ":" + t.text;
    default: return t.text;
  }
}

struct Out {
  std::string text;
  Kind kind;
  int src;
};

int MatchForward(const std::vector<Out>& o, int i) {  // o[i] is "("
  int depth = 0;
  for (int k = i; k < static_cast<int>(o.size()); ++k) {
    if (o[k].kind == Kind::Symbol && o[k].text == "(") ++depth;
    if (o[k].kind == Kind::Symbol && o[k].text == ")" && --depth == 0) return k;
  }
  return static_cast<int>(o.size()) - 1;
}

int MatchBackward(const std::vector<Out>& o, int i) {  // o[i] is ")"
  int depth = 0;
  for (int k = i; k >= 0; --k) {
    if (o[k].kind == Kind::Symbol && o[k].text == ")") ++depth;
    if (o[k].kind == Kind::Symbol && o[k].text == "(" && --depth == 0) return k;
  }
  return 0;
}

bool IsOperandToken(const Out& t) {
  return t.kind == Kind::Word || t.kind == Kind::Quoted || t.kind == Kind::Number ||
         t.kind == Kind::String || t.kind == Kind::Bind;
}

bool IsSym(const Out& t, const char* s) { return t.kind == Kind::Symbol && t.text == s; }

int OperandStart(const std::vector<Out>& o, int i) {
  if (i < 0) return 0;
  int start = i;
  if (IsSym(o[i], ")")) {
    start = MatchBackward(o, i);
    if (start > 0 && o[start - 1].kind == Kind::Word && !IsKeywordBeforeParen(o[start - 1].text)) --start;
  } else if (!IsOperandToken(o[i])) {
    return i;
  }
  while (start >= 2 && IsSym(o[start - 1], ".") && IsOperandToken(o[start - 2])) start -= 2;
  return start;
}

int OperandEnd(const std::vector<Out>& o, int i) {
  int n = static_cast<int>(o.size());
  if (i >= n) return n - 1;
  if (IsSym(o[i], "(")) return MatchForward(o, i);
  if (!IsOperandToken(o[i])) return i;
  int end = i;
  while (end + 2 < n && IsSym(o[end + 1], ".") && IsOperandToken(o[end + 2])) end += 2;
  if (o[end].kind == Kind::Word && end + 1 < n && IsSym(o[end + 1], "(") && !IsKeywordBeforeParen(o[end].text))
    end = MatchForward(o, end + 1);
  return end;
}

// Rewrites every binary "op" into fn(left, right), left to right.
// Replaces o[left..right] around the operator at k by fn(left operand, right operand).
void WrapOperation(std::vector<Out>& o, int left, int k, int right, const char* fn) {
  std::vector<Out> rewritten(o.begin(), o.begin() + left);
  rewritten.push_back({fn, Kind::Word, o[left].src});
  rewritten.push_back({"(", Kind::Symbol, o[left].src});
  rewritten.insert(rewritten.end(), o.begin() + left, o.begin() + k);
  rewritten.push_back({",", Kind::Symbol, o[k].src});
  rewritten.insert(rewritten.end(), o.begin() + k + 1, o.begin() + right + 1);
  rewritten.push_back({")", Kind::Symbol, o[right].src});
  rewritten.insert(rewritten.end(), o.begin() + right + 1, o.end());
  o = std::move(rewritten);
}

void RewriteBinary(std::vector<Out>& o, const char* op, const char* fn) {
  for (;;) {
    int k = -1;
    for (int i = 1; i + 1 < static_cast<int>(o.size()); ++i)
      if (IsSym(o[i], op)) { k = i; break; }
    if (k < 0) return;
    WrapOperation(o, OperandStart(o, k - 1), k, OperandEnd(o, k + 1), fn);
  }
}

// Binary + and - become fn(left, right); a multiplicative chain on either side stays whole.
void RewriteAdditive(std::vector<Out>& o) {
  static const std::set<std::string> keywords = {
      "SELECT", "WHERE", "AND", "OR", "NOT", "THEN", "ELSE", "WHEN", "RETURN", "IN", "BY", "IS", "LIKE", "BETWEEN",
      "SET", "VALUES", "DEFAULT", "CASE", "ON", "HAVING", "FROM", "AS", "INTO", "UNION", "ALL", "DISTINCT", "EXISTS",
      "ANY", "PRIOR", "WITH", "LIMIT", "OFFSET", "INCREMENT", "START", "CHECK"};
  auto endsOperand = [&](const Out& t) {
    if (t.kind == Kind::Word) return !keywords.count(t.text);
    return t.kind == Kind::Number || t.kind == Kind::String || t.kind == Kind::Bind || t.kind == Kind::Quoted ||
           IsSym(t, ")");
  };
  auto multiplicative = [](const Out& t) { return IsSym(t, "*") || IsSym(t, "%"); };
  for (;;) {
    int k = -1;
    for (int i = 1; i + 1 < static_cast<int>(o.size()); ++i)
      if ((IsSym(o[i], "+") || IsSym(o[i], "-")) && endsOperand(o[i - 1])) { k = i; break; }
    if (k < 0) return;
    auto sign = [&](int i) { return IsSym(o[i], "-") || IsSym(o[i], "+"); };
    int left = OperandStart(o, k - 1);
    for (;;) {
      if (left >= 1 && sign(left - 1) && (left == 1 || !endsOperand(o[left - 2]))) --left;  // unary sign
      else if (left >= 2 && multiplicative(o[left - 1])) left = OperandStart(o, left - 2);
      else break;
    }
    auto operandAfterSigns = [&](int i) {
      while (i < static_cast<int>(o.size()) - 1 && sign(i)) ++i;
      return OperandEnd(o, i);
    };
    int right = operandAfterSigns(k + 1);
    while (right + 2 < static_cast<int>(o.size()) && multiplicative(o[right + 1])) right = operandAfterSigns(right + 2);
    WrapOperation(o, left, k, right, IsSym(o[k], "+") ? "ORA_ADD" : "ORA_SUB");
  }
}

// DEFAULT needs a parenthesised expression in SQLite when it is not a literal.
void WrapDefaults(std::vector<Out>& o) {
  for (int i = 0; i + 1 < static_cast<int>(o.size()); ++i) {
    if (!(o[i].kind == Kind::Word && o[i].text == "DEFAULT") || o[i + 1].kind != Kind::Word) continue;
    if (o[i + 1].text == "NULL") continue;
    int end = OperandEnd(o, i + 1);
    o.insert(o.begin() + end + 1, Out{")", Kind::Symbol, o[end].src});
    o.insert(o.begin() + i + 1, Out{"(", Kind::Symbol, o[i + 1].src});
  }
}

int Depth0Find(const std::vector<Token>& t, int from, const char* word) {
  int depth = 0;
  for (int i = from; i < static_cast<int>(t.size()); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    else if (t[i].IsSymbol(")")) --depth;
    else if (depth == 0 && t[i].Is(word)) return i;
  }
  return -1;
}

// Removes "FOR UPDATE [OF ...] [NOWAIT | WAIT n | SKIP LOCKED]" at the end of a query.
LockRequest TakeForUpdate(std::vector<Token>& t) {
  LockRequest lock;
  int depth = 0;
  for (int i = 0; i + 1 < static_cast<int>(t.size()); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    else if (t[i].IsSymbol(")")) --depth;
    else if (depth == 0 && t[i].Is("FOR") && t[i + 1].Is("UPDATE")) {
      lock.wanted = true;
      for (int k = i + 2; k < static_cast<int>(t.size()); ++k) {
        if (t[k].Is("NOWAIT")) lock.nowait = true;
        if (t[k].Is("WAIT") && k + 1 < static_cast<int>(t.size()) && t[k + 1].kind == Kind::Number)
          lock.waitSeconds = std::stoi(t[k + 1].text);
      }
      t.erase(t.begin() + i, t.end());
      break;
    }
  }
  return lock;
}

// Turns a simple "ROWNUM < n" filter of the outer query (n a number or a bind) into the
// tokens of a LIMIT clause, appended at the end of the statement.
void TakeRownumFilter(std::vector<Token>& t) {
  int where = Depth0Find(t, 0, "WHERE");
  if (where < 0) return;
  int depth = 0;
  for (int i = where + 1; i + 2 < static_cast<int>(t.size()); ++i) {
    if (t[i].IsSymbol("(")) { ++depth; continue; }
    if (t[i].IsSymbol(")")) { --depth; continue; }
    if (depth != 0) continue;
    const Token *a = &t[i], *op = &t[i + 1], *b = &t[i + 2];
    std::string opText = op->text;
    auto isLimit = [](const Token* k) { return k->kind == Kind::Number || k->kind == Kind::Bind; };
    bool reversed = false;
    if (isLimit(a) && b->Is("ROWNUM")) {
      std::swap(a, b);
      reversed = true;
    }
    if (!(a->Is("ROWNUM") && isLimit(b) && op->kind == Kind::Symbol)) continue;
    if (reversed) {
      if (opText == ">") opText = "<";
      else if (opText == ">=") opText = "<=";
      else if (opText != "=") continue;
    }
    std::vector<Token> limit = {Token{Kind::Word, "LIMIT", a->pos}};
    if (opText == "=" && b->kind == Kind::Number) {
      limit.push_back(Token{Kind::Number, std::stol(b->text) == 1 ? "1" : "0", b->pos});
    } else if (opText == "<") {
      for (const char* piece : {"(", "", "-", "1", ")"})
        limit.push_back(*piece ? Token{std::isdigit(static_cast<unsigned char>(*piece)) ? Kind::Number : Kind::Symbol,
                                       piece, b->pos}
                               : *b);
    } else if (opText == "<=") {
      limit.push_back(*b);
    } else {
      continue;
    }
    int from = i, to = i + 2;
    if (from - 1 > where && t[from - 1].Is("AND")) --from;
    else if (to + 1 < static_cast<int>(t.size()) && t[to + 1].Is("AND")) ++to;
    t.erase(t.begin() + from, t.begin() + to + 1);
    if (where + 1 >= static_cast<int>(t.size()) || IsClauseWord(t[where + 1]) || t[where + 1].IsSymbol(")"))
      t.erase(t.begin() + where);
    t.insert(t.end(), limit.begin(), limit.end());
    return;
  }
}

// Physical and constraint-state clauses of CREATE/ALTER TABLE that SQLite has no use for.
void DropStorageClauses(std::vector<Token>& t) {
  static const std::set<std::string> flags = {"ENABLE", "DISABLE", "VALIDATE", "NOVALIDATE", "LOGGING", "NOLOGGING",
                                              "COMPRESS", "NOCOMPRESS", "CACHE", "NOCACHE", "MONITORING",
                                              "NOMONITORING", "PARALLEL", "NOPARALLEL", "RELY", "NORELY"};
  static const std::set<std::string> withValue = {"TABLESPACE", "PCTFREE", "PCTUSED", "INITRANS", "MAXTRANS"};
  for (std::size_t i = 0; i < t.size();) {
    if (t[i].kind != Kind::Word) { ++i; continue; }
    if (flags.count(t[i].text)) {
      t.erase(t.begin() + static_cast<long>(i));
    } else if (withValue.count(t[i].text) && i + 1 < t.size()) {
      t.erase(t.begin() + static_cast<long>(i), t.begin() + static_cast<long>(i) + 2);
    } else if (t[i].Is("STORAGE") && i + 1 < t.size() && t[i + 1].IsSymbol("(")) {
      std::size_t end = i + 1;
      for (int depth = 0; end < t.size(); ++end) {
        if (t[end].IsSymbol("(")) ++depth;
        if (t[end].IsSymbol(")") && --depth == 0) break;
      }
      t.erase(t.begin() + static_cast<long>(i), t.begin() + static_cast<long>(std::min(end + 1, t.size())));
    } else if (t[i].Is("USING") && i + 1 < t.size() && t[i + 1].Is("INDEX")) {
      t.erase(t.begin() + static_cast<long>(i), t.begin() + static_cast<long>(i) + 2);
    } else {
      ++i;
    }
  }
}

// SQLite takes no parentheses around the queries of a UNION/INTERSECT/MINUS.
void UnwrapCompoundMembers(std::vector<Token>& t) {
  auto isSetOperator = [](const Token& k) {
    return k.Is("UNION") || k.Is("INTERSECT") || k.Is("MINUS") || k.Is("EXCEPT");
  };
  auto matching = [&](std::size_t open) {
    int depth = 0;
    for (std::size_t k = open; k < t.size(); ++k) {
      if (t[k].IsSymbol("(")) ++depth;
      if (t[k].IsSymbol(")") && --depth == 0) return k;
    }
    return t.size();
  };
  for (std::size_t i = 0; i + 2 < t.size(); ++i) {
    if (!t[i].IsSymbol("(") || !t[i + 1].Is("SELECT")) continue;
    std::size_t close = matching(i);
    if (close >= t.size()) continue;
    std::size_t before = i;
    bool afterOperator = before > 0 && (isSetOperator(t[before - 1]) || (t[before - 1].Is("ALL") && before > 1 && isSetOperator(t[before - 2])));
    bool beforeOperator = close + 1 < t.size() && isSetOperator(t[close + 1]);
    if (!afterOperator && !beforeOperator) continue;
    t.erase(t.begin() + static_cast<long>(close));
    t.erase(t.begin() + static_cast<long>(i));
    --i;
  }
}

// Oracle's outer-join marks in the outer query ("a.x = b.y(+)") become LEFT JOINs: each table
// marked (+) joins after the others, ON the conditions that mark it.
void RewriteOuterJoins(std::vector<Token>& t) {
  auto isMark = [&](std::size_t i) {
    return i + 2 < t.size() && t[i].IsSymbol("(") && t[i + 1].IsSymbol("+") && t[i + 2].IsSymbol(")");
  };
  bool any = false;
  for (std::size_t i = 0; i < t.size() && !any; ++i) any = isMark(i);
  if (!any) return;
  int select = Depth0Find(t, 0, "SELECT");
  int from = select < 0 ? -1 : Depth0Find(t, select, "FROM");
  int where = from < 0 ? -1 : Depth0Find(t, from, "WHERE");
  if (where < 0) return;
  int whereEnd = static_cast<int>(t.size());
  for (const char* clause : {"GROUP", "ORDER", "HAVING", "UNION", "MINUS", "INTERSECT", "CONNECT", "START", "FOR"}) {
    int at = Depth0Find(t, where, clause);
    if (at >= 0 && at < whereEnd) whereEnd = at;
  }
  // The FROM list: name [alias] items separated by commas, nothing else.
  struct Item { std::vector<Token> tokens; std::string ref; };
  std::vector<Item> items(1);
  for (int i = from + 1; i < where; ++i) {
    if (t[i].IsSymbol(",")) { items.emplace_back(); continue; }
    if (t[i].IsSymbol("(") || t[i].Is("JOIN")) return;
    items.back().tokens.push_back(t[i]);
  }
  for (auto& item : items) {
    if (item.tokens.empty()) return;
    item.ref = item.tokens.back().text;
  }
  // The WHERE conjuncts, each with the table its (+) marks.
  struct Conjunct { std::vector<Token> tokens; std::string outer; };
  std::vector<Conjunct> conjuncts(1);
  int depth = 0;
  for (int i = where + 1; i < whereEnd; ++i) {
    if (isMark(static_cast<std::size_t>(i))) {
      if (i >= 3 && t[i - 2].IsSymbol(".")) conjuncts.back().outer = t[i - 3].text;
      else return;  // an unqualified mark: left as written, and refused
      i += 2;
      continue;
    }
    if (t[i].IsSymbol("(")) ++depth;
    if (t[i].IsSymbol(")")) --depth;
    if (depth == 0 && t[i].Is("OR")) return;  // only plain conjunctions are rewritten
    if (depth == 0 && t[i].Is("AND")) {
      conjuncts.emplace_back();
      continue;
    }
    conjuncts.back().tokens.push_back(t[i]);
  }
  std::vector<Token> rebuilt(t.begin(), t.begin() + from + 1);
  bool first = true;
  for (const auto& item : items) {
    bool outer = false;
    for (const auto& c : conjuncts) outer = outer || c.outer == item.ref;
    if (outer) continue;
    if (!first) rebuilt.push_back(Token{Kind::Symbol, ",", t[from].pos});
    rebuilt.insert(rebuilt.end(), item.tokens.begin(), item.tokens.end());
    first = false;
  }
  for (const auto& item : items) {
    bool started = false;
    for (const auto& c : conjuncts) {
      if (c.outer != item.ref) continue;
      if (!started) {
        rebuilt.push_back(Token{Kind::Word, "LEFT", t[from].pos});
        rebuilt.push_back(Token{Kind::Word, "JOIN", t[from].pos});
        rebuilt.insert(rebuilt.end(), item.tokens.begin(), item.tokens.end());
        rebuilt.push_back(Token{Kind::Word, "ON", t[from].pos});
        started = true;
      } else {
        rebuilt.push_back(Token{Kind::Word, "AND", t[from].pos});
      }
      rebuilt.insert(rebuilt.end(), c.tokens.begin(), c.tokens.end());
    }
  }
  bool whereWritten = false;
  for (const auto& c : conjuncts) {
    if (!c.outer.empty() || c.tokens.empty()) continue;
    rebuilt.push_back(Token{Kind::Word, whereWritten ? "AND" : "WHERE", t[where].pos});
    rebuilt.insert(rebuilt.end(), c.tokens.begin(), c.tokens.end());
    whereWritten = true;
  }
  rebuilt.insert(rebuilt.end(), t.begin() + whereEnd, t.end());
  t = std::move(rebuilt);
}

bool IsPseudoColumn(const std::string& w) {
  return w == "SYSDATE" || w == "USER" || w == "ROWID" || w == "ROWNUM" || w == "NEXTVAL" || w == "CURRVAL" ||
         w == "CURRENT_DATE" || w == "SYSTIMESTAMP";
}

TranslatedSql::ItemKind KindOfItem(const std::vector<Token>& t, int a, int b) {
  static const std::set<std::string> dates = {"SYSDATE", "CURRENT_DATE", "SYSTIMESTAMP", "TO_DATE", "ADD_MONTHS",
                                              "LAST_DAY"};
  static const std::set<std::string> texts = {"TO_CHAR", "SUBSTR", "LPAD", "RPAD", "UPPER", "LOWER", "TRIM", "LTRIM",
                                              "RTRIM", "REPLACE", "CHR", "INITCAP", "USER"};
  int depth = 0;
  for (int k = a; k <= b; ++k) {
    if (t[k].IsSymbol("(")) ++depth;
    else if (t[k].IsSymbol(")")) --depth;
    else if (depth == 0 && t[k].IsSymbol("||")) return TranslatedSql::ItemKind::Text;
  }
  if (t[a].kind == Kind::String) return TranslatedSql::ItemKind::Text;
  if (t[a].kind == Kind::Word && dates.count(t[a].text)) return TranslatedSql::ItemKind::Date;
  if (t[a].kind == Kind::Word && texts.count(t[a].text)) return TranslatedSql::ItemKind::Text;
  return TranslatedSql::ItemKind::Unknown;
}

// Select items of the outer query that need an explicit name: index of the item's last token -> name.
std::map<int, std::string> ItemNames(const std::vector<Token>& t, std::vector<TranslatedSql::ItemKind>* kinds) {
  std::map<int, std::string> names;
  int select = Depth0Find(t, 0, "SELECT");
  if (select < 0) return names;
  int begin = select + 1;
  if (begin < static_cast<int>(t.size()) && (t[begin].Is("DISTINCT") || t[begin].Is("UNIQUE") || t[begin].Is("ALL")))
    ++begin;
  int from = Depth0Find(t, begin, "FROM");
  if (from < 0) from = static_cast<int>(t.size());
  int depth = 0, itemStart = begin;
  for (int i = begin; i <= from; ++i) {
    bool end = i == from;
    if (!end) {
      if (t[i].IsSymbol("(")) ++depth;
      else if (t[i].IsSymbol(")")) --depth;
      end = depth == 0 && t[i].IsSymbol(",");
    }
    if (!end) continue;
    int a = itemStart, b = i - 1;
    itemStart = i + 1;
    if (b < a) continue;
    const Token& last = t[b];
    if (last.IsSymbol("*") && kinds) {
      kinds->clear();
      kinds = nullptr;
    }
    if (kinds) kinds->push_back(KindOfItem(t, a, b));
    bool plainColumn = (b == a && (last.kind == Kind::Word || last.kind == Kind::Quoted) && !IsPseudoColumn(last.text)) ||
                       (b == a + 2 && t[a + 1].IsSymbol(".") && last.kind != Kind::Symbol && !IsPseudoColumn(last.text)) ||
                       last.IsSymbol("*");
    bool aliased = b > a && (last.kind == Kind::Word || last.kind == Kind::Quoted) && !last.Is("END") &&
                   !t[b - 1].IsSymbol(".") &&
                   (t[b - 1].Is("AS") || t[b - 1].kind != Kind::Symbol || t[b - 1].IsSymbol(")"));
    if (plainColumn || aliased) continue;
    std::string name;
    for (int k = a; k <= b; ++k) name += SourceForm(t[k]);
    if (b == a + 2 && t[a + 1].IsSymbol(".") && IsPseudoColumn(last.text)) name = last.text;
    names[b] = name;
  }
  return names;
}

// SQLite wants "UPDATE t AS x" and unqualified SET targets; Oracle writes "UPDATE t x SET x.a = ...".
void QualifyDmlAlias(std::vector<Token>& t, const std::function<bool(const std::string&)>& isUserName) {
  std::size_t at = t[0].Is("DELETE") ? 2 : 1;
  if (at + 2 < t.size() && t[at + 1].IsSymbol(".") && isUserName && isUserName(t[at].text)) at += 2;
  if (at + 1 >= t.size()) return;
  std::string table = t[at].text, alias;
  const Token& next = t[at + 1];
  if (next.kind == Kind::Word && !next.Is("SET") && !next.Is("WHERE") && !next.Is("AS")) {
    alias = next.text;
    t.insert(t.begin() + static_cast<long>(at) + 1, Token{Kind::Word, "AS", next.pos});
  } else if (next.Is("AS") && at + 2 < t.size()) {
    alias = t[at + 2].text;
  }
  if (!t[0].Is("UPDATE")) return;
  int depth = 0;
  for (std::size_t i = at + 1; i + 3 < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    else if (t[i].IsSymbol(")")) --depth;
    else if (depth == 0 && t[i].Is("WHERE")) break;
    else if (depth == 0 && (t[i].Is("SET") || t[i].IsSymbol(",")) && t[i + 2].IsSymbol(".") &&
             (t[i + 1].text == alias || t[i + 1].text == table))
      t.erase(t.begin() + static_cast<long>(i) + 1, t.begin() + static_cast<long>(i) + 3);
  }
}

}  // namespace

std::string OracleItemName(const std::string& sourceText) {
  std::string name;
  bool inQuote = false;
  for (char c : sourceText) {
    if (c == '\'') inQuote = !inQuote;
    if (!inQuote && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) continue;
    name += inQuote ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return name;
}

int TranslatedSql::SourceOffset(int textOffset) const {
  int best = 0;
  for (const auto& [out, src] : positions)
    if (out <= textOffset) best = src;
  return best;
}

TranslatedSql SqlTranslator::Translate(const std::string& sql) const { return Translate(Tokenize(sql)); }

TranslatedSql SqlTranslator::Translate(std::vector<Token> t) const {
  TranslatedSql result;
  std::string first = t.empty() ? std::string() : t[0].text;
  bool query = first == "SELECT" || first == "WITH";
  bool tableDdl = (first == "CREATE" || first == "ALTER") && Depth0Find(t, 0, "TABLE") >= 0;
  if (query || first == "INSERT" || first == "CREATE") UnwrapCompoundMembers(t);
  if (query) RewriteOuterJoins(t);
  if (query) {
    result.lock = TakeForUpdate(t);
    TakeRownumFilter(t);
  }
  if (tableDdl) DropStorageClauses(t);
  if (first == "DROP") {  // options SQLite has no use for
    while (!t.empty() && (t.back().Is("PURGE") || t.back().Is("CONSTRAINTS") || t.back().Is("CASCADE"))) t.pop_back();
  }
  if (first == "DELETE" && t.size() > 1 && !t[1].Is("FROM")) t.insert(t.begin() + 1, Token{Kind::Word, "FROM", t[1].pos});
  if (first == "UPDATE" || first == "DELETE") QualifyDmlAlias(t, isUserName_);
  if (first == "INSERT" || first == "UPDATE" || first == "DELETE") {
    int returning = Depth0Find(t, 0, "RETURNING");
    if (returning < 0) returning = Depth0Find(t, 0, "RETURN");
    int into = returning < 0 ? -1 : Depth0Find(t, returning, "INTO");
    if (into > 0) {
      int depth = 0, itemStart = returning + 1;
      for (int i = returning + 1; i <= into; ++i) {
        if (t[i].IsSymbol("(")) ++depth;
        else if (t[i].IsSymbol(")")) --depth;
        if (i == into || (depth == 0 && t[i].IsSymbol(","))) {
          bool column = i - itemStart == 1 && t[itemStart].kind == Kind::Word;
          result.returningColumns.push_back(column ? t[itemStart].text : std::string());
          itemStart = i + 1;
        }
      }
      for (std::size_t i = static_cast<std::size_t>(into) + 1; i < t.size(); ++i)
        if (t[i].kind == Kind::Bind) result.returningBinds.push_back(t[i].text);
      t[returning].text = "RETURNING";
      t.erase(t.begin() + into, t.end());
      t.push_back(Token{Kind::Symbol, ",", t[into - 1].pos});
      t.push_back(Token{Kind::Word, "_ROWID_", t[into - 1].pos});
    }
  }
  if (first == "TRUNCATE" && t.size() > 2 && t[1].Is("TABLE")) {
    t[0].text = "DELETE";
    t[1].text = "FROM";
  }
  std::map<int, std::string> names;
  if (query) names = ItemNames(t, &result.itemKinds);
  int outerFrom = query ? Depth0Find(t, Depth0Find(t, 0, "SELECT"), "FROM") : -1;

  std::map<std::string, int> bindIndex;
  std::vector<Out> o;
  int n = static_cast<int>(t.size());
  int outerFromOut = -1;
  int schemaSkippedAt = -1;
  for (int i = 0; i < n; ++i) {
    const Token& tok = t[i];
    bool afterDot = i > 0 && t[i - 1].IsSymbol(".") && schemaSkippedAt != i - 1;
    if (i == outerFrom) outerFromOut = static_cast<int>(o.size());
    switch (tok.kind) {
      case Kind::Word: {
        bool dotNext = i + 2 < n && t[i + 1].IsSymbol(".");
        if (dotNext && !afterDot && (t[i + 2].Is("NEXTVAL") || t[i + 2].Is("CURRVAL"))) {
          o.push_back({t[i + 2].Is("NEXTVAL") ? "ORA_NEXTVAL" : "ORA_CURRVAL", Kind::Word, tok.pos});
          o.push_back({"(", Kind::Symbol, tok.pos});
          o.push_back({QuoteString(tok.text), Kind::String, tok.pos});
          o.push_back({")", Kind::Symbol, tok.pos});
          i += 2;
        } else if (dotNext && !afterDot && isUserName_ && isUserName_(tok.text) &&
                   (t[i + 2].kind == Kind::Word || t[i + 2].kind == Kind::Quoted)) {
          schemaSkippedAt = ++i;  // the schema goes, the name stays
        } else if (dotNext && !afterDot && t[i + 2].Is("ROWID")) {
          o.push_back({"ORA_ROWID_TEXT", Kind::Word, tok.pos});
          o.push_back({"(", Kind::Symbol, tok.pos});
          o.push_back({tok.text + ".ROWID", Kind::Word, tok.pos});
          o.push_back({")", Kind::Symbol, tok.pos});
          i += 2;
        } else if (afterDot) {
          o.push_back({tok.text, Kind::Word, tok.pos});
        } else if (tok.text == "SYSDATE" || tok.text == "CURRENT_DATE" || tok.text == "SYSTIMESTAMP") {
          o.push_back({"ORA_SYSDATE()", Kind::Word, tok.pos});
        } else if (tok.text == "ROWNUM") {  // outside a simple filter: the row's number in the result
          o.push_back({"ROW_NUMBER() OVER ()", Kind::Word, tok.pos});
        } else if (tok.text == "USER" && !(i + 1 < n && (t[i + 1].IsSymbol(".") || t[i + 1].IsSymbol("(")))) {
          o.push_back({"ORA_USER()", Kind::Word, tok.pos});
        } else if (tok.text == "ROWID") {
          o.push_back({"ORA_ROWID_TEXT", Kind::Word, tok.pos});
          o.push_back({"(", Kind::Symbol, tok.pos});
          o.push_back({"ROWID", Kind::Word, tok.pos});
          o.push_back({")", Kind::Symbol, tok.pos});
        } else if (tok.text == "MINUS") {
          o.push_back({"EXCEPT", Kind::Word, tok.pos});
        } else if (tableDdl && tok.text == "LONG" && !(i + 1 < n && t[i + 1].Is("RAW"))) {
          o.push_back({"LONG TEXT", Kind::Word, tok.pos});
        } else {
          o.push_back({tok.text, Kind::Word, tok.pos});
        }
        break;
      }
      case Kind::Quoted: o.push_back({QuoteIdent(tok.text), Kind::Quoted, tok.pos}); break;
      case Kind::String:
        if (tok.text.empty()) o.push_back({"NULL", Kind::Word, tok.pos});
        else o.push_back({QuoteString(tok.text), Kind::String, tok.pos});
        break;
      case Kind::Number: o.push_back({tok.text, Kind::Number, tok.pos}); break;
      case Kind::Bind: {
        auto [it, added] = bindIndex.emplace(tok.text, static_cast<int>(result.binds.size()) + 1);
        if (added) result.binds.push_back(tok.text);
        o.push_back({"?" + std::to_string(it->second), Kind::Bind, tok.pos});
        break;
      }
      case Kind::Symbol:
        if (tok.text == "!=" || tok.text == "^=") o.push_back({"<>", Kind::Symbol, tok.pos});
        else o.push_back({tok.text, Kind::Symbol, tok.pos});
        break;
    }
    auto name = names.find(i);
    if (name != names.end()) {
      o.push_back({"AS", Kind::Word, tok.pos});
      o.push_back({QuoteIdent(name->second), Kind::Quoted, tok.pos});
    }
  }

  // The locked table and the id of each locked row.
  if (result.lock.wanted && outerFrom >= 0 && outerFrom + 1 < n) {
    int tableAt = outerFrom + 1;
    if (tableAt + 2 < n && t[tableAt + 1].IsSymbol(".") && isUserName_ && isUserName_(t[tableAt].text)) tableAt += 2;
    result.lock.table = t[tableAt].text;
    std::string ref = result.lock.table;
    if (tableAt + 1 < n && t[tableAt + 1].kind == Kind::Word && !IsClauseWord(t[tableAt + 1]) && !t[tableAt + 1].Is("WHERE"))
      ref = t[tableAt + 1].text;
    if (outerFromOut >= 0) {
      std::vector<Out> extra = {{",", Kind::Symbol, t[outerFrom].pos},
                                {QuoteIdent(ref) + ".ROWID", Kind::Word, t[outerFrom].pos}};
      o.insert(o.begin() + outerFromOut, extra.begin(), extra.end());
      result.hasLockRowidColumn = true;
    }
  }

  RewriteBinary(o, "/", "ORA_DIV");  // binds tighter than + - ||
  if (!tableDdl) RewriteAdditive(o);
  RewriteBinary(o, "||", "ORA_CONCAT");
  if (tableDdl) WrapDefaults(o);

  // The rows an UPDATE or DELETE touches, for row locks and the returned ROWID.
  if (first == "INSERT" && t.size() > 2) result.dmlTable = t.size() > 4 && t[3].IsSymbol(".") ? t[4].text : t[2].text;
  if ((first == "UPDATE" || first == "DELETE") && o.size() > 2) {
    std::size_t tableAt = 1;
    if (first == "DELETE") tableAt = 2;
    if (tableAt < o.size()) {
      result.dmlTable = o[tableAt].text;
      std::string ref = result.dmlTable;
      std::size_t k = tableAt + 1;
      if (k + 1 < o.size() && o[k].kind == Kind::Word && o[k].text == "AS") ref = o[k + 1].text;
      std::string select = "SELECT " + ref + ".ROWID FROM " + result.dmlTable + (ref != result.dmlTable ? " AS " + ref : "");
      int depth = 0;
      for (std::size_t i = tableAt + 1; i < o.size(); ++i) {
        if (IsSym(o[i], "(")) ++depth;
        else if (IsSym(o[i], ")")) --depth;
        else if (depth == 0 && o[i].kind == Kind::Word && o[i].text == "WHERE") {
          for (std::size_t j = i; j < o.size() && !(o[j].kind == Kind::Word && o[j].text == "RETURNING"); ++j)
            select += " " + o[j].text;
          break;
        }
      }
      result.dmlRowSelect = select;
    }
  }

  for (const Out& piece : o) {
    bool glue = !result.text.empty() && (piece.text == "." || result.text.back() == '.' || piece.text == ",");
    if (!result.text.empty() && !glue) result.text += ' ';
    result.positions.emplace_back(static_cast<int>(result.text.size()), piece.src);
    result.text += piece.text;
  }
  return result;
}

}  // namespace orastandin
