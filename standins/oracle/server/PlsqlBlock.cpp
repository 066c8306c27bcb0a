#include "standins/oracle/server/PlsqlBlock.h"

#include <cstdint>

#include "standins/oracle/protocol/ObjectImage.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/server/ProgramUnits.h"

namespace orastandin {

namespace {
const char kLocalPrefix = '#';  // binds standing for local variables

bool IsStop(const Token& t, std::initializer_list<const char*> stops) {
  for (const char* s : stops)
    if (t.Is(s)) return true;
  return false;
}
}  // namespace

std::vector<BindValue> PlsqlBlock::Run(const std::vector<Token>& tokens, const Session::BindLookup& binds) {
  t_ = tokens;
  binds_ = binds;
  std::size_t i = 0;
  if (t_[0].Is("DECLARE")) i = Declarations(1);
  if (i >= t_.size() || !t_[i].Is("BEGIN")) Unsupported(i);
  Block(i, true);
  std::vector<BindValue> out;
  for (const auto& name : assignedOrder_) out.push_back({name, assigned_[name]});
  return out;
}

void PlsqlBlock::Unsupported(std::size_t i) const {
  int pos = i < t_.size() ? t_[i].pos : (t_.empty() ? 0 : t_.back().pos);
  OraError e(6550, "1", std::to_string(pos + 1));
  e.SetOffset(pos);
  throw e;
}

std::size_t PlsqlBlock::Find(std::size_t from, const char* word) const {
  int depth = 0;
  for (std::size_t i = from; i < t_.size(); ++i) {
    if (t_[i].IsSymbol("(")) ++depth;
    else if (t_[i].IsSymbol(")")) --depth;
    else if (depth == 0 && (t_[i].Is(word) || t_[i].IsSymbol(word))) return i;
  }
  Unsupported(t_.size());
}

std::size_t PlsqlBlock::Expect(std::size_t i, const char* word) const {
  if (i >= t_.size() || !(t_[i].Is(word) || t_[i].IsSymbol(word))) Unsupported(i);
  return i + 1;
}

std::size_t PlsqlBlock::Check(const std::vector<Token>& tokens, std::size_t from) {
  t_ = tokens;
  checking_ = true;
  binds_ = [](const std::string&) -> const Value* { return nullptr; };
  std::size_t i = Declarations(from);
  if (i >= t_.size() || !t_[i].Is("BEGIN")) Unsupported(i);
  return Block(i, false);
}

std::size_t PlsqlBlock::Declarations(std::size_t i) {
  while (i < t_.size() && !t_[i].Is("BEGIN")) {
    std::size_t end = Find(i, ";");
    if (t_[i].Is("CURSOR") && i + 2 < end && t_[i + 2].Is("IS")) {
      cursors_[t_[i + 1].text] = {i + 3, end};
      i = end + 1;
      continue;
    }
    if (t_[i].kind != Token::Kind::Word || t_[i].Is("CURSOR") || t_[i].Is("TYPE") || t_[i].Is("PROCEDURE") ||
        t_[i].Is("FUNCTION"))
      Unsupported(i);
    std::string name = t_[i].text;
    bool record = false;
    for (std::size_t k = i; k + 1 < end; ++k)
      if (t_[k].IsSymbol("%")) record = t_[k + 1].Is("ROWTYPE");
    if (record) records_[name];
    else locals_[name] = Value::Null();
    for (std::size_t k = i + 1; k < end && !record; ++k)
      if (t_[k].IsSymbol(":=") || t_[k].Is("DEFAULT")) {
        if (!checking_) locals_[name] = Evaluate(k + 1, end);
        break;
      }
    i = end + 1;
  }
  return i;
}

// FOR v IN [REVERSE] a .. b LOOP, FOR r IN cursor LOOP, FOR r IN (query) LOOP.
std::size_t PlsqlBlock::ForLoop(std::size_t i, bool execute) {
  if (i + 3 >= t_.size() || t_[i + 1].kind != Token::Kind::Word || !t_[i + 2].Is("IN")) Unsupported(i);
  std::string variable = t_[i + 1].text;
  std::size_t loop = Find(i + 3, "LOOP");
  std::size_t body = loop + 1;
  std::size_t end = Statements(body, false, {"END"});
  std::size_t source = i + 3;
  bool reverse = t_[source].Is("REVERSE");
  if (reverse) ++source;
  std::size_t range = source;
  while (range < loop && !t_[range].IsSymbol("..")) ++range;
  auto runBody = [&] {
    Statements(body, true, {"END"});
    if (returned_) return false;
    if (!exiting_) return true;
    exiting_ = false;
    return false;
  };
  if (range < loop) {
    if (execute) {
      auto low = static_cast<long long>(Evaluate(source, range).integer), high = static_cast<long long>(Evaluate(range + 1, loop).integer);
      for (long long v = reverse ? high : low; reverse ? v >= low : v <= high; v += reverse ? -1 : 1) {
        locals_[variable] = Value::Int(v);
        if (!runBody()) break;
      }
    }
  } else {
    std::vector<Token> query;
    if (t_[source].IsSymbol("(") && t_[loop - 1].IsSymbol(")")) {
      query = WithVariables(source + 1, loop - 1);
    } else {
      auto cursor = cursors_.find(t_[source].text);
      if (cursor == cursors_.end()) Unsupported(source);
      query = WithVariables(cursor->second.first, cursor->second.second);
    }
    if (execute) {
      Session::Result rows = session_.Run(session_.Translate(query), [this](const std::string& n) { return Lookup(n); });
      for (const auto& row : rows.rows) {
        auto& record = records_[variable];
        for (std::size_t c = 0; c < rows.columns.size() && c < row.size(); ++c) record[rows.columns[c].name] = row[c];
        if (!runBody()) break;
      }
    }
  }
  std::size_t k = Expect(Expect(end, "END"), "LOOP");
  return Expect(k, ";");
}

std::size_t PlsqlBlock::Block(std::size_t i, bool execute) {
  i = Expect(i, "BEGIN");
  std::size_t bodyStart = i;
  std::size_t handlers = Statements(bodyStart, false, {"END", "EXCEPTION"});
  std::size_t end = handlers;
  if (t_[handlers].Is("EXCEPTION")) end = Statements(handlers + 1, false, {"END"});
  if (execute) {
    try {
      Statements(bodyStart, true, {"END", "EXCEPTION"});
    } catch (const OraError& error) {
      if (!t_[handlers].Is("EXCEPTION")) throw;
      bool handled = false;
      std::size_t k = handlers + 1;
      while (k < end && t_[k].Is("WHEN")) {
        std::size_t then = Find(k, "THEN");
        bool matches = false;
        for (std::size_t n = k + 1; n < then; ++n)
          matches = matches || t_[n].Is("OTHERS") || (t_[n].Is("NO_DATA_FOUND") && error.Code() == 1403) ||
                    (t_[n].Is("TOO_MANY_ROWS") && error.Code() == 1422) ||
                    (t_[n].Is("ZERO_DIVIDE") && error.Code() == 1476);
        bool run = matches && !handled;
        k = Statements(then + 1, run, {"WHEN", "END"});
        handled = handled || matches;
      }
      if (!handled) throw;
    }
  }
  std::size_t k = Expect(end, "END");
  if (k < t_.size() && t_[k].kind == Token::Kind::Word) ++k;  // END label
  if (k < t_.size() && t_[k].IsSymbol(";")) ++k;
  return k;
}

std::size_t PlsqlBlock::Statements(std::size_t i, bool execute, std::initializer_list<const char*> stops) {
  while (i < t_.size() && !IsStop(t_[i], stops)) i = Statement(i, execute && !exiting_ && !returned_);
  if (i >= t_.size()) Unsupported(i);
  return i;
}

std::size_t PlsqlBlock::Statement(std::size_t i, bool execute) {
  const Token& t = t_[i];
  if (execute) session_.CheckCancelled();
  if (t.Is("BEGIN") || t.Is("DECLARE")) {
    if (t.Is("DECLARE")) Unsupported(i);
    return Block(i, execute);
  }
  if (t.Is("IF")) {
    std::size_t then = Find(i + 1, "THEN");
    bool taken = execute && Condition(i + 1, then);
    std::size_t k = Statements(then + 1, taken, {"ELSIF", "ELSE", "END"});
    while (t_[k].Is("ELSIF")) {
      std::size_t next = Find(k + 1, "THEN");
      bool run = execute && !taken && Condition(k + 1, next);
      k = Statements(next + 1, run, {"ELSIF", "ELSE", "END"});
      taken = taken || run;
    }
    if (t_[k].Is("ELSE")) k = Statements(k + 1, execute && !taken, {"END"});
    k = Expect(Expect(k, "END"), "IF");
    return Expect(k, ";");
  }
  if (t.Is("WHILE") || t.Is("LOOP")) {
    std::size_t body = t.Is("LOOP") ? i + 1 : Find(i + 1, "LOOP") + 1;
    std::size_t end = Statements(body, false, {"END"});
    for (int guard = 0; execute; ++guard) {
      if (guard > 1000000) throw OraError(6502);
      if (t.Is("WHILE") && !Condition(i + 1, body - 1)) break;
      Statements(body, true, {"END"});
      if (exiting_ || returned_) {
        exiting_ = false;
        break;
      }
    }
    std::size_t k = Expect(Expect(end, "END"), "LOOP");
    return Expect(k, ";");
  }
  if (t.Is("RETURN")) {
    std::size_t semi = Find(i, ";");
    if (execute) {
      if (semi > i + 1) returnValue_ = Evaluate(i + 1, semi);
      returned_ = true;
    }
    return semi + 1;
  }
  if (t.Is("EXIT")) {
    std::size_t semi = Find(i, ";");
    if (execute && (semi == i + 1 || (t_[i + 1].Is("WHEN") && Condition(i + 2, semi)))) exiting_ = true;
    return semi + 1;
  }
  if (t.Is("FOR")) return ForLoop(i, execute);
  std::size_t semi = Find(i, ";");
  if (execute && !t.Is("NULL")) Simple(i, semi);
  return semi + 1;
}

std::vector<PlsqlBlock::Parameter> PlsqlBlock::OpenUnit(const std::string& source, const char* kind) {
  if (depth_ > 50) throw OraError(6502);
  t_ = Tokenize(source);
  binds_ = [](const std::string&) -> const Value* { return nullptr; };
  // Header: CREATE [OR REPLACE] PROCEDURE|FUNCTION [schema.]name [(parameters)] [RETURN type] IS|AS
  std::size_t i = 0;
  while (i < t_.size() && !t_[i].Is(kind)) ++i;
  i += 2;
  if (i < t_.size() && t_[i].IsSymbol(".")) i += 2;
  std::vector<Parameter> parameters;
  if (i < t_.size() && t_[i].IsSymbol("(")) {
    std::size_t close = i;
    for (int depth = 0; close < t_.size(); ++close) {
      if (t_[close].IsSymbol("(")) ++depth;
      if (t_[close].IsSymbol(")") && --depth == 0) break;
    }
    for (std::size_t k = i + 1; k < close;) {
      Parameter p;
      p.name = t_[k].text;
      std::size_t end = k + 1;
      int depth = 0;
      while (end < close && !(depth == 0 && t_[end].IsSymbol(","))) {
        if (t_[end].IsSymbol("(")) ++depth;
        if (t_[end].IsSymbol(")")) --depth;
        ++end;
      }
      if (k + 1 < end && t_[k + 1].Is("OUT")) {
        p.in = false;
        p.out = true;
      }
      if (k + 2 < end && t_[k + 1].Is("IN") && t_[k + 2].Is("OUT")) p.out = true;
      locals_[p.name] = Value::Null();
      for (std::size_t d = k + 1; d < end; ++d)
        if (t_[d].IsSymbol(":=") || t_[d].Is("DEFAULT")) {
          locals_[p.name] = Evaluate(d + 1, end);
          break;
        }
      parameters.push_back(p);
      k = end + 1;
    }
    i = close + 1;
  }
  while (i < t_.size() && !t_[i].Is("IS") && !t_[i].Is("AS")) ++i;
  body_ = i + 1;
  return parameters;
}

void PlsqlBlock::RunUnit() {
  std::size_t begin = Declarations(body_);
  Block(begin, true);
}

Value PlsqlBlock::CallFunction(Session& session, const std::string& name, const std::vector<Value>& arguments) {
  static thread_local int active = 0;  // functions calling functions through SQL
  struct Nesting {
    Nesting() { ++active; }
    ~Nesting() { --active; }
  } nesting;
  if (active > 50) throw OraError(6502);
  std::string source = ProgramUnits(session).Source(name, "FUNCTION");
  if (source.empty()) throw OraError(904, "\"" + name + "\"");
  PlsqlBlock unit(session);
  std::vector<Parameter> parameters = unit.OpenUnit(source, "FUNCTION");
  if (arguments.size() > parameters.size()) throw OraError(6553);
  for (std::size_t a = 0; a < arguments.size(); ++a) unit.locals_[parameters[a].name] = arguments[a];
  unit.RunUnit();
  if (!unit.returned_) throw OraError(6503);
  return unit.returnValue_;
}

bool PlsqlBlock::CallProcedure(const std::string& name, std::size_t from, std::size_t to) {
  std::string source = ProgramUnits(session_).Source(name, "PROCEDURE");
  if (source.empty()) return false;
  // Arguments: "(expr, name => expr, ...)".
  std::vector<std::pair<std::string, std::pair<std::size_t, std::size_t>>> args;
  if (from < to && t_[from].IsSymbol("(")) {
    int depth = 0;
    std::size_t start = from + 1;
    for (std::size_t i = from + 1; i < to; ++i) {
      if (t_[i].IsSymbol("(")) ++depth;
      if (t_[i].IsSymbol(")") && depth-- == 0) {
        if (i > start) args.push_back({"", {start, i}});
        break;
      }
      if (depth == 0 && t_[i].IsSymbol(",")) {
        args.push_back({"", {start, i}});
        start = i + 1;
      }
    }
    for (auto& arg : args)
      if (arg.second.first + 1 < arg.second.second && t_[arg.second.first + 1].IsSymbol("=>")) {
        arg.first = t_[arg.second.first].text;
        arg.second.first += 2;
      }
  }
  PlsqlBlock unit(session_);
  unit.depth_ = depth_ + 1;
  std::vector<Parameter> parameters = unit.OpenUnit(source, "PROCEDURE");
  std::vector<std::size_t> argumentOf(parameters.size(), SIZE_MAX);
  for (std::size_t a = 0; a < args.size(); ++a) {
    std::size_t target = a;
    if (!args[a].first.empty()) {
      target = SIZE_MAX;
      for (std::size_t p = 0; p < parameters.size(); ++p)
        if (parameters[p].name == args[a].first) target = p;
    }
    if (target >= parameters.size()) throw OraError(6550, "1", "1");
    argumentOf[target] = a;
    if (parameters[target].in) unit.locals_[parameters[target].name] = Evaluate(args[a].second.first, args[a].second.second);
  }
  unit.RunUnit();
  for (std::size_t p = 0; p < parameters.size(); ++p)
    if (parameters[p].out && argumentOf[p] != SIZE_MAX) {
      const auto& range = args[argumentOf[p]].second;
      if (range.second != range.first + 1) throw OraError(6550, "1", "1");
      Assign(t_[range.first], unit.locals_[parameters[p].name]);
    }
  return true;
}

void PlsqlBlock::RunRowTrigger(const std::string& source, std::map<std::string, Value>& newRow,
                               const std::map<std::string, Value>& oldRow) {
  t_ = Tokenize(source);
  binds_ = [](const std::string&) -> const Value* { return nullptr; };
  records_["NEW"] = newRow;
  records_["OLD"] = oldRow;
  // CREATE ... TRIGGER name BEFORE INSERT ON table FOR EACH ROW [WHEN (condition)] [DECLARE ...] BEGIN ...
  std::size_t i = 0;
  while (i + 2 < t_.size() && !(t_[i].Is("FOR") && t_[i + 1].Is("EACH") && t_[i + 2].Is("ROW"))) ++i;
  i += 3;
  if (i < t_.size() && t_[i].Is("WHEN")) {
    std::size_t close = i + 1;
    for (int depth = 0; close < t_.size(); ++close) {
      if (t_[close].IsSymbol("(")) ++depth;
      if (t_[close].IsSymbol(")") && --depth == 0) break;
    }
    if (!Condition(i + 1, close + 1)) return;
    i = close + 1;
  }
  if (i < t_.size() && t_[i].Is("DECLARE")) ++i;
  Block(Declarations(i), true);
  newRow = records_["NEW"];
}

const Value* PlsqlBlock::Lookup(const std::string& name) const {
  if (!name.empty() && name[0] == kLocalPrefix) {
    std::size_t dot = name.find('.');
    if (dot != std::string::npos) {  // a record field; a field never assigned reads as NULL
      static const Value null;
      auto record = records_.find(name.substr(1, dot - 1));
      if (record == records_.end()) return nullptr;
      auto field = record->second.find(name.substr(dot + 1));
      return field == record->second.end() ? &null : &field->second;
    }
    auto it = locals_.find(name.substr(1));
    return it == locals_.end() ? nullptr : &it->second;
  }
  auto it = assigned_.find(name);
  if (it != assigned_.end()) return &it->second;
  return binds_(name);
}

std::vector<Token> PlsqlBlock::WithVariables(std::size_t from, std::size_t to) const {
  std::vector<Token> out;
  for (std::size_t i = from; i < to; ++i) {
    Token tok = t_[i];
    // A table bind: :T(i) is its element, :T.COUNT, :T.FIRST and :T.LAST its bounds.
    if (tok.kind == Token::Kind::Bind && i + 1 < to && t_[i + 1].IsSymbol("(")) {
      out.insert(out.end(), {Token{Token::Kind::Word, "ORA_ELEMENT", tok.pos}, Token{Token::Kind::Symbol, "(", tok.pos},
                             tok, Token{Token::Kind::Symbol, ",", tok.pos}});
      ++i;
      continue;
    }
    if (tok.kind == Token::Kind::Bind && i + 2 < to && t_[i + 1].IsSymbol(".") &&
        (t_[i + 2].Is("COUNT") || t_[i + 2].Is("FIRST") || t_[i + 2].Is("LAST"))) {
      out.insert(out.end(), {Token{Token::Kind::Word, "ORA_TABLE_BOUND", tok.pos},
                             Token{Token::Kind::Symbol, "(", tok.pos}, tok, Token{Token::Kind::Symbol, ",", tok.pos},
                             Token{Token::Kind::String, t_[i + 2].text, tok.pos}, Token{Token::Kind::Symbol, ")", tok.pos}});
      i += 2;
      continue;
    }
    bool member = (i > 0 && t_[i - 1].IsSymbol(".")) || (i + 1 < t_.size() && t_[i + 1].IsSymbol("("));
    if ((tok.kind == Token::Kind::Word || tok.kind == Token::Kind::Bind) && !member && records_.count(tok.text) &&
        i + 2 < to && t_[i + 1].IsSymbol(".") && t_[i + 2].kind == Token::Kind::Word) {
      tok.kind = Token::Kind::Bind;
      tok.text = kLocalPrefix + tok.text + "." + t_[i + 2].text;
      out.push_back(tok);
      i += 2;
      continue;
    }
    if (tok.kind == Token::Kind::Word && !member && locals_.count(tok.text)) {
      tok.kind = Token::Kind::Bind;
      tok.text = kLocalPrefix + tok.text;
    }
    out.push_back(tok);
  }
  return out;
}

Value PlsqlBlock::Evaluate(std::size_t from, std::size_t to) {
  std::vector<Token> tokens = WithVariables(from, to);
  tokens.insert(tokens.begin(), Token{Token::Kind::Word, "SELECT", t_[from].pos});
  Session::Result r = session_.Run(session_.Translate(tokens), [this](const std::string& n) { return Lookup(n); });
  return r.rows.empty() || r.rows[0].empty() ? Value::Null() : r.rows[0][0];
}

bool PlsqlBlock::Condition(std::size_t from, std::size_t to) {
  std::vector<Token> tokens = WithVariables(from, to);
  int pos = t_[from].pos;
  tokens.insert(tokens.begin(), {Token{Token::Kind::Word, "SELECT", pos}, Token{Token::Kind::Word, "CASE", pos},
                                 Token{Token::Kind::Word, "WHEN", pos}});
  for (const char* w : {"THEN", "1", "ELSE", "0", "END"})
    tokens.push_back(Token{std::isdigit(static_cast<unsigned char>(w[0])) ? Token::Kind::Number : Token::Kind::Word, w, pos});
  Session::Result r = session_.Run(session_.Translate(tokens), [this](const std::string& n) { return Lookup(n); });
  return !r.rows.empty() && r.rows[0][0].integer == 1;
}

void PlsqlBlock::Assign(const Token& target, const Value& value) {
  if (target.kind == Token::Kind::Bind) {
    if (!assigned_.count(target.text)) assignedOrder_.push_back(target.text);
    assigned_[target.text] = value;
  } else if (target.kind == Token::Kind::Word && locals_.count(target.text)) {
    locals_[target.text] = value;
  } else {
    OraError e(6550, "1", std::to_string(target.pos + 1));
    e.SetOffset(target.pos);
    throw e;
  }
}

void PlsqlBlock::AssignElement(const Token& table, const Value& index, const Value& value) {
  if (index.IsNull() || (index.kind != Value::Kind::Integer && index.kind != Value::Kind::Real)) throw OraError(6502);
  const auto n = static_cast<std::int64_t>(index.kind == Value::Kind::Integer ? index.integer : index.real);
  if (n < 1 || n > 1 << 20) throw OraError(6502);
  ObjectImage image;
  image.kind = ObjectImage::Kind::Collection;
  const Value* current = Lookup(table.text);
  if (current && !current->IsNull() && !ObjectImage::Decode(current->bytes, image)) throw OraError(6550, "1", "1");
  if (image.items.size() < static_cast<std::size_t>(n)) image.items.resize(static_cast<std::size_t>(n));
  image.items[static_cast<std::size_t>(n - 1)] = value;
  Assign(table, image.AsValue());
}

void PlsqlBlock::AssignField(const Token& record, const std::string& field, const Value& value) {
  auto it = records_.find(record.text);
  if (it == records_.end()) {
    OraError e(6550, "1", std::to_string(record.pos + 1));
    e.SetOffset(record.pos);
    throw e;
  }
  it->second[field] = value;
}

void PlsqlBlock::Simple(std::size_t from, std::size_t to) {
  if (t_[from].kind == Token::Kind::Bind && from + 1 < to && t_[from + 1].IsSymbol("(")) {  // :T(i) := value
    std::size_t close = from + 2;
    for (int depth = 0; close < to && !(depth == 0 && t_[close].IsSymbol(")")); ++close) {
      if (t_[close].IsSymbol("(")) ++depth;
      else if (t_[close].IsSymbol(")")) --depth;
    }
    if (close + 1 >= to || !t_[close + 1].IsSymbol(":=")) Unsupported(from);
    return AssignElement(t_[from], Evaluate(from + 2, close), Evaluate(close + 2, to));
  }
  if (from + 1 < to && t_[from + 1].IsSymbol(":=")) {
    Assign(t_[from], Evaluate(from + 2, to));
    return;
  }
  if (from + 3 < to && t_[from + 1].IsSymbol(".") && t_[from + 3].IsSymbol(":=")) {  // record.field := ...
    AssignField(t_[from], t_[from + 2].text, Evaluate(from + 4, to));
    return;
  }
  const Token& first = t_[from];
  auto lookup = [this](const std::string& n) { return Lookup(n); };
  if (first.Is("OPEN") && from + 3 < to && t_[from + 1].kind == Token::Kind::Bind && t_[from + 2].Is("FOR")) {
    Session::Result rows = session_.Run(session_.Translate(WithVariables(from + 3, to)), lookup);
    opened_.push_back({t_[from + 1].text, std::move(rows.columns), std::move(rows.rows)});
    return;
  }
  if (first.Is("COMMIT")) return session_.Commit();
  if (first.Is("ROLLBACK")) return session_.Rollback();
  if (first.Is("SELECT")) {
    std::size_t into = Find(from, "INTO");
    std::size_t fromWord = Find(into, "FROM");
    std::vector<std::vector<Token>> targets(1);  // each a variable, a bind or record.field
    for (std::size_t k = into + 1; k < fromWord; ++k) {
      if (t_[k].IsSymbol(",")) targets.emplace_back();
      else targets.back().push_back(t_[k]);
    }
    std::vector<Token> query = WithVariables(from, into);
    std::vector<Token> rest = WithVariables(fromWord, to);
    query.insert(query.end(), rest.begin(), rest.end());
    Session::Result r = session_.Run(session_.Translate(query), lookup);
    if (r.rows.empty()) throw OraError(1403);
    if (r.rows.size() > 1) throw OraError(1422);
    for (std::size_t k = 0; k < targets.size() && k < r.rows[0].size(); ++k) {
      const auto& target = targets[k];
      if (target.size() == 3 && target[1].IsSymbol(".")) AssignField(target[0], target[2].text, r.rows[0][k]);
      else if (target.size() == 1) Assign(target[0], r.rows[0][k]);
      else Unsupported(into + 1);
    }
    return;
  }
  if (first.Is("INSERT") || first.Is("UPDATE") || first.Is("DELETE") || first.Is("MERGE")) {
    session_.BeginWrite();
    session_.Run(session_.Translate(WithVariables(from, to)), lookup);
    return;
  }
  if (first.kind == Token::Kind::Word && first.text.rfind("DBMS_OUTPUT", 0) == 0) return;  // no output channel
  if (first.kind == Token::Kind::Word) {
    std::size_t name = from;
    if (from + 2 < to && t_[from + 1].IsSymbol(".") && session_.Db().IsUserName(first.text)) name = from + 2;
    if (CallProcedure(t_[name].text, name + 1, to)) return;
  }
  Unsupported(from);
}

}  // namespace orastandin
