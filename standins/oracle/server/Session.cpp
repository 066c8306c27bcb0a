#include "standins/oracle/server/Session.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>

#include "standins/oracle/protocol/RowidText.h"
#include "standins/oracle/protocol/StatementKind.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/OracleFormats.h"
#include "standins/oracle/server/OracleFunctions.h"
#include "standins/oracle/server/OracleTypes.h"
#include "standins/oracle/server/PlsqlBlock.h"

namespace orastandin {

namespace {

// Leaves a cached statement reset, so that it holds no snapshot between calls.
class ResetOnExit {
 public:
  explicit ResetOnExit(sqlite3_stmt* s) : stmt_(s) {}
  ~ResetOnExit() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

const char* const kNlsParameters[][2] = {
    {"NLS_LANGUAGE", "AMERICAN"},       {"NLS_TERRITORY", "AMERICA"},      {"NLS_CURRENCY", "$"},
    {"NLS_NUMERIC_CHARACTERS", ".,"},   {"NLS_CALENDAR", "GREGORIAN"},     {"NLS_DATE_FORMAT", "DD-MON-RR"},
    {"NLS_DATE_LANGUAGE", "AMERICAN"},  {"NLS_SORT", "BINARY"},            {"NLS_COMP", "BINARY"},
};

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The words of a SQLite message after a prefix, up to the end.
std::string After(const std::string& message, const std::string& prefix) {
  std::size_t at = message.find(prefix);
  return at == std::string::npos ? std::string() : message.substr(at + prefix.size());
}

OraError MapSqliteError(sqlite3* db, int rc, const TranslatedSql& sql, const std::string& user) {
  std::string message = sqlite3_errmsg(db);
  int offset = sqlite3_error_offset(db);
  auto located = [&](OraError e) {
    if (offset >= 0) e.SetOffset(sql.SourceOffset(offset));
    return e;
  };
  if (message.rfind("ORA-", 0) == 0) {
    int code = std::atoi(message.c_str() + 4);
    OraError e(code);
    return e.Text() == message ? e : OraError(code);  // our functions send the standard texts
  }
  int primary = rc & 0xFF;
  if (primary == SQLITE_INTERRUPT) return OraError(1013);
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return OraError(4021);
  if (message.find("no such table") != std::string::npos) return located(OraError(942));
  if (message.find("no such column") != std::string::npos)
    return located(OraError(904, "\"" + After(message, "no such column: ") + "\""));
  if (message.find("no such function") != std::string::npos)
    return located(OraError(904, "\"" + After(message, "no such function: ") + "\""));
  if (message.find("already exists") != std::string::npos) return OraError(955);
  if (message.find("UNIQUE constraint failed") != std::string::npos)
    return OraError(1, user + ".SYS_C_" + After(message, "failed: "));
  if (message.find("NOT NULL constraint failed") != std::string::npos) {
    std::string column = After(message, "failed: ");
    std::size_t dot = column.find('.');
    return OraError(1400, "\"" + user + "\".\"" + column.substr(0, dot) + "\".\"" + column.substr(dot + 1) + "\"");
  }
  if (message.find("FOREIGN KEY constraint failed") != std::string::npos) return OraError(2291, user + ".SYS_C_FK");
  if (message.find("values were supplied") != std::string::npos) {
    int columns = 0, values = 0;
    std::sscanf(message.c_str() + message.find(" has ") + 5, "%d columns but %d", &columns, &values);
    return OraError(values > columns ? 913 : 947);
  }
  if (message.find("ambiguous column") != std::string::npos) return located(OraError(918));
  if (message.find("CHECK constraint failed") != std::string::npos)
    return OraError(2290, user + "." + After(message, "failed: "));
  if (message.find("datatype mismatch") != std::string::npos) return OraError(1722);
  if (message.find("misuse of aggregate") != std::string::npos) return located(OraError(934));
  if (message.find("wrong number of arguments") != std::string::npos) return located(OraError(909));
  if (message.find("no such index") != std::string::npos) return OraError(1418);
  if (message.find("ORDER BY term out of range") != std::string::npos) return located(OraError(1785));
  if (message.find("do not have the same number of result columns") != std::string::npos) return OraError(1789);
  if (message.find("no such savepoint") != std::string::npos) return OraError(1086, "'" + After(message, ": ") + "'");
  if (message.find("incomplete input") != std::string::npos) return located(OraError(936));
  if (message.find("syntax error") != std::string::npos)
    return located(OraError(StatementTypeOf(sql.text) == StmtUnknown ? 900 : 933));
  return located(OraError(900));
}

bool IsDdl(const std::string& first) {
  return first == "CREATE" || first == "DROP" || first == "ALTER" || first == "TRUNCATE" || first == "RENAME" ||
         first == "COMMENT" || first == "GRANT" || first == "REVOKE";
}

// A column taken straight from a table is nullable unless declared NOT NULL or part of the key.
bool ColumnAcceptsNull(sqlite3_stmt* stmt, int column) {
  const char* table = sqlite3_column_table_name(stmt, column);
  const char* origin = sqlite3_column_origin_name(stmt, column);
  const char* database = sqlite3_column_database_name(stmt, column);
  if (!table || !origin) return true;
  int notNull = 0, primaryKey = 0;
  if (sqlite3_table_column_metadata(sqlite3_db_handle(stmt), database, table, origin, nullptr, nullptr, &notNull,
                                    &primaryKey, nullptr) != SQLITE_OK)
    return true;
  return !notNull && !primaryKey;
}

ColumnInfo Inferred(const std::string& name, const std::vector<std::vector<Value>>& rows, std::size_t column) {
  ColumnInfo c;
  c.name = name;
  c.oraType = oratype::Varchar2;
  c.size = 1;
  bool typed = false;
  for (const auto& row : rows) {
    const Value& v = row[column];
    if (v.IsNull()) continue;
    if (!typed) {
      typed = true;
      if (v.kind == Value::Kind::Integer || v.kind == Value::Kind::Real) c = {name, oratype::Number, 22, 0, -127, true};
      else if (v.isDate) c = {name, oratype::Date, 7, 0, 0, true};
      else if (v.kind == Value::Kind::Blob) c.oraType = oratype::Raw;
    }
    if (c.oraType == oratype::Varchar2 || c.oraType == oratype::Raw)
      c.size = std::max<int>(c.size, static_cast<int>(v.bytes.size()));
  }
  return c;
}

}  // namespace

Session::Session(Database& database)
    : database_(database),
      id_(database.NewSessionId()),
      db_(database.OpenConnection()),
      translator_([&database](const std::string& name) { return database.IsUserName(name); }) {
  for (const auto& p : kNlsParameters) nls_[p[0]] = p[1];
  RegisterOracleFunctions(db_.get(), this);
  sqlite3_create_function_v2(
      db_.get(), "ORA_NLS", 1, SQLITE_UTF8, this,
      [](sqlite3_context* ctx, int, sqlite3_value** a) {
        auto* self = static_cast<Session*>(sqlite3_user_data(ctx));
        std::string v = self->NlsValue(reinterpret_cast<const char*>(sqlite3_value_text(a[0])));
        sqlite3_result_text(ctx, v.c_str(), -1, SQLITE_TRANSIENT);
      },
      nullptr, nullptr, nullptr);
  std::string view = "CREATE TEMP VIEW NLS_SESSION_PARAMETERS AS SELECT PARAMETER, ORA_NLS(PARAMETER) AS VALUE FROM (";
  for (std::size_t i = 0; i < std::size(kNlsParameters); ++i)
    view += std::string(i ? " UNION ALL " : "") + "SELECT '" + kNlsParameters[i][0] + "' AS PARAMETER";
  ExecOrThrow(db_.get(), view + ")");
  std::random_device random;
  breakKey_ = std::to_string(random()) + std::to_string(random());
  database_.RegisterSession(id_, breakKey_, db_.get(), &cancelled_);
}

Session::~Session() {
  database_.UnregisterSession(id_);
  try {
    Rollback();
  } catch (...) {
  }
  database_.Locks().ReleaseAll(id_);
}

void Session::Logon(const std::string& user, const std::string& password, const std::string& service, int mode,
                    bool externalCredentials) {
  if (Upper(service) != database_.Service()) throw OraError(12514);
  if (externalCredentials) throw OraError(1017);
  if (password.empty()) throw OraError(1005);
  auto account = database_.FindAccount(user);
  if (!account || Upper(account->password) != Upper(password)) throw OraError(1017);
  if ((mode & (LogonSysDba | LogonSysOper)) && !account->privileged) throw OraError(1031);
  user_ = Upper(user);
}

void Session::Logoff() {
  Rollback();
  user_.clear();
  currval_.clear();
}

std::string Session::NlsValue(const std::string& parameter) const {
  auto it = nls_.find(Upper(parameter));
  return it == nls_.end() ? std::string() : it->second;
}

std::int64_t Session::NextVal(const std::string& sequence) {
  std::int64_t v = database_.SequenceStore().Next(sequence);
  currval_[sequence] = v;
  return v;
}

std::int64_t Session::CurrVal(const std::string& sequence) {
  if (!database_.SequenceStore().Exists(sequence)) throw OraError(2289);
  auto it = currval_.find(sequence);
  if (it == currval_.end()) throw OraError(8002, sequence);
  return it->second;
}

void Session::BeginWrite() {
  if (writing_) return;
  int rc = sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw OraError(4021);
  writing_ = true;
}

void Session::Commit() {
  if (writing_) {
    if (sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) throw OraError(4021);
    writing_ = false;
  }
  database_.Locks().ReleaseAll(id_);
}

void Session::Rollback() {
  if (writing_) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    writing_ = false;
  }
  database_.Locks().ReleaseAll(id_);
}

void Session::SetNls(const std::string& parameter, const std::string& value) { nls_[Upper(parameter)] = value; }

void Session::RefreshStoredFunctions() {
  int version = database_.ProgramsVersion();
  if (version == programsSeen_) return;
  programsSeen_ = version;
  for (auto it = statements_.begin(); it != statements_.end();)  // they may name a function
    it = sqlite3_stmt_busy(it->second.get()) ? std::next(it) : statements_.erase(it);
  for (const auto& [name, f] : functions_)
    sqlite3_create_function_v2(db_.get(), name.c_str(), -1, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr, nullptr);
  functions_.clear();
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db_.get(), "SELECT NAME FROM \"SETRIX$SOURCE\" WHERE TYPE = 'FUNCTION' AND STATUS = 'VALID'", -1,
                     &raw, nullptr);
  StatementHandle names(raw);
  while (names && sqlite3_step(names.get()) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(names.get(), 0));
    auto& f = functions_[name];
    f = std::make_unique<StoredFunction>(StoredFunction{this, name});
    sqlite3_create_function_v2(
        db_.get(), name.c_str(), -1, SQLITE_UTF8, f.get(),
        [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
          auto* fn = static_cast<StoredFunction*>(sqlite3_user_data(ctx));
          try {
            std::vector<Value> arguments;
            for (int i = 0; i < argc; ++i) {
              switch (sqlite3_value_type(argv[i])) {
                case SQLITE_INTEGER: arguments.push_back(Value::Int(sqlite3_value_int64(argv[i]))); break;
                case SQLITE_FLOAT: arguments.push_back(Value::Float(sqlite3_value_double(argv[i]))); break;
                case SQLITE_NULL: arguments.push_back(Value::Null()); break;
                default:
                  arguments.push_back(Value::Text(std::string(static_cast<const char*>(sqlite3_value_blob(argv[i])),
                                                              static_cast<std::size_t>(sqlite3_value_bytes(argv[i])))));
              }
            }
            Value v = PlsqlBlock::CallFunction(*fn->session, fn->name, arguments);
            switch (v.kind) {
              case Value::Kind::Null: sqlite3_result_null(ctx); break;
              case Value::Kind::Integer: sqlite3_result_int64(ctx, v.integer); break;
              case Value::Kind::Real: sqlite3_result_double(ctx, v.real); break;
              case Value::Kind::Text:
                sqlite3_result_text(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
                break;
              case Value::Kind::Blob:
                sqlite3_result_blob(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
                break;
            }
          } catch (const OraError& e) {
            sqlite3_result_error(ctx, e.Text().c_str(), -1);
          } catch (const std::exception& e) {
            sqlite3_result_error(ctx, e.what(), -1);
          }
        },
        nullptr, nullptr, nullptr);
  }
}

void Session::CheckCancelled() const {
  if (cancelled_) throw OraError(1013);
}

ExecuteReply Session::Execute(const ExecuteRequest& request) {
  if (!LoggedOn()) throw OraError(1012);
  cancelled_ = false;
  RefreshStoredFunctions();
  ExecuteReply reply = ExecuteOne(request);
  reply.statementType = StatementTypeOf(request.sql);
  reply.dateFormat = NlsValue("NLS_DATE_FORMAT");
  return reply;
}

bool Session::ExecuteSessionCommand(const std::vector<Token>& t, ExecuteReply& reply) {
  const std::string& first = t[0].text;
  auto word = [&](std::size_t i, const char* w) { return i < t.size() && t[i].Is(w); };
  if (first == "COMMIT") {
    Commit();
  } else if (first == "ROLLBACK" && (word(1, "TO") || word(2, "TO"))) {
    std::size_t at = word(1, "TO") ? 2 : 3;
    if (word(at, "SAVEPOINT")) ++at;
    if (at >= t.size()) throw OraError(933);
    if (!writing_) throw OraError(1086, "'" + t[at].text + "'");
    if (sqlite3_exec(db_.get(), ("ROLLBACK TO \"" + t[at].text + "\"").c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      throw OraError(1086, "'" + t[at].text + "'");
  } else if (first == "ROLLBACK") {
    Rollback();
  } else if (first == "SET" && word(1, "TRANSACTION")) {
    // Transactions here are always read-write: nothing to set up.
  } else if (first == "LOCK" && word(1, "TABLE")) {
    // Writes are serialised database-wide: holding the write transaction locks every table.
    bool nowait = t.back().Is("NOWAIT");
    if (nowait) sqlite3_busy_timeout(db_.get(), 0);
    try {
      BeginWrite();
    } catch (const OraError&) {
      if (nowait) sqlite3_busy_timeout(db_.get(), static_cast<int>(database_.LockWait().count()));
      throw OraError(nowait ? 54 : 4021);
    }
    if (nowait) sqlite3_busy_timeout(db_.get(), static_cast<int>(database_.LockWait().count()));
  } else if (first == "SAVEPOINT") {
    if (t.size() < 2) throw OraError(933);
    BeginWrite();
    ExecOrThrow(db_.get(), "SAVEPOINT \"" + t[1].text + "\"");
  } else if (first == "ALTER" && word(1, "SESSION") && word(2, "SET")) {
    for (std::size_t i = 3; i + 2 < t.size() + 0; i += 3) {
      if (!t[i + 1].IsSymbol("=")) throw OraError(922);
      SetNls(t[i].text, t[i + 2].text);
    }
  } else if ((first == "CREATE" || first == "DROP") && word(1, "SEQUENCE") && t.size() > 2) {
    Commit();
    std::size_t at = 2;
    if (at + 2 < t.size() && t[at + 1].IsSymbol(".")) at += 2;  // a schema name
    std::string name = t[at].text;
    if (first == "DROP") {
      database_.SequenceStore().Drop(db_.get(), name);
      currval_.erase(name);
    } else {
      std::int64_t start = 1, increment = 1;
      for (std::size_t i = at + 1; i + 1 < t.size(); ++i) {
        std::size_t v = i + 2;
        bool negative = v < t.size() && t[v].IsSymbol("-");
        if (negative) ++v;
        if (v >= t.size() || t[v].kind != Token::Kind::Number) continue;
        std::int64_t n = std::atoll(t[v].text.c_str()) * (negative ? -1 : 1);
        if (t[i].Is("START") && t[i + 1].Is("WITH")) start = n;
        if (t[i].Is("INCREMENT") && t[i + 1].Is("BY")) increment = n;
      }
      database_.SequenceStore().Create(db_.get(), name, start, increment);
    }
  } else {
    return false;
  }
  reply.rowsAffected = 0;
  return true;
}

bool Session::ProgramUnitCommand(const std::vector<Token>& t, const std::string& source, ExecuteReply& reply) {
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
    if (at + 2 < t.size() && t[at + 1].IsSymbol(".") && database_.IsUserName(t[at].text)) at += 2;
    if (at >= t.size()) throw OraError(905);
    Commit();
    std::string name = t[at].text;
    ExecOrThrow(db_.get(), "DELETE FROM \"SETRIX$SOURCE\" WHERE NAME = '" + name + "' AND TYPE LIKE '" + kind + "%'");
    if (sqlite3_changes(db_.get()) == 0) throw OraError(4043, name);
    ExecOrThrow(db_.get(), "DELETE FROM \"SETRIX$ERRORS\" WHERE NAME = '" + name + "' AND TYPE LIKE '" + kind + "%'");
    database_.ProgramsChanged();
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
  if (at + 2 < t.size() && t[at + 1].IsSymbol(".") && database_.IsUserName(t[at].text)) at += 2;
  if (at >= t.size()) throw OraError(905);
  std::string name = t[at].text;
  Commit();

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
      PlsqlBlock check(*this);
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

  auto exec = [&](const char* sql, std::initializer_list<std::string> texts) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr) != SQLITE_OK) throw OraError(600);
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
  exec("INSERT INTO \"SETRIX$SOURCE\" VALUES (?1, ?2, ?3, ?4)", {name, kind, source, errors.empty() ? "VALID" : "INVALID"});
  int sequence = 0;
  for (const auto& [offset, message] : errors) {
    std::int64_t line = 1 + std::count(source.begin(), source.begin() + std::min<std::size_t>(offset, source.size()), '\n');
    std::size_t lineStart = source.rfind('\n', offset > 0 ? offset - 1 : 0);
    std::int64_t position = offset - (lineStart == std::string::npos || offset == 0 ? -1 : static_cast<long>(lineStart));
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db_.get(), "INSERT INTO \"SETRIX$ERRORS\" VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &raw, nullptr);
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
  database_.ProgramsChanged();
  return true;
}

std::string Session::ProgramSource(const std::string& name, const std::string& kind) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db_.get(), "SELECT TEXT, STATUS FROM \"SETRIX$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2", -1, &raw, nullptr);
  StatementHandle stmt(raw);
  sqlite3_bind_text(stmt.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(stmt.get(), 2, kind.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(stmt.get()) != SQLITE_ROW) return {};
  if (std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1))) != "VALID") throw OraError(6550, "1", "1");
  return reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
}

void Session::EnforceColumnTypes(const std::string& table) {
  std::string sets;
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db_.get(), "SELECT name, type FROM pragma_table_info(?1)", -1, &raw, nullptr);
  StatementHandle columns(raw);
  sqlite3_bind_text(columns.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (columns && sqlite3_step(columns.get()) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 0));
    std::string declared = reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 1));
    int type = ParseDeclaredType(declared).oraType;
    if (type != oratype::Number && type != oratype::Varchar2 && type != oratype::Char && type != oratype::Date) continue;
    std::string quotedDecl;
    for (char c : declared) quotedDecl += c == '\'' ? std::string("''") : std::string(1, c);
    sets += std::string(sets.empty() ? "" : ", ") + "\"" + name + "\" = ORA_COLUMN_VALUE(NEW.\"" + name + "\", '" +
            quotedDecl + "')";
  }
  for (const char* when : {"INSERT", "UPDATE"}) {
    std::string trigger = "\"SETRIX$" + table + "$" + when + "\"";
    ExecOrThrow(db_.get(), "DROP TRIGGER IF EXISTS " + trigger);
    if (!sets.empty())
      ExecOrThrow(db_.get(), "CREATE TRIGGER " + trigger + " AFTER " + when + " ON \"" + table + "\" BEGIN UPDATE \"" +
                                 table + "\" SET " + sets + " WHERE rowid = NEW.rowid; END");
  }
}

std::vector<std::string> Session::RowTriggers(const std::string& table, const char* event) {
  std::vector<std::string> triggers;
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db_.get(), "SELECT TEXT FROM \"SETRIX$SOURCE\" WHERE TYPE = 'TRIGGER' AND STATUS = 'VALID' ORDER BY NAME",
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

void Session::InsertWithTriggers(const std::vector<Token>& t, const ExecuteRequest& request,
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
    sqlite3_prepare_v2(db_.get(), "SELECT name FROM pragma_table_info(?1)", -1, &raw, nullptr);
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
  TranslatedSql expressions = translator_.Translate(select);
  BeginWrite();
  std::size_t iterations = std::max<std::size_t>(1, request.iterations.size());
  std::int64_t lastRowid = 0;
  for (std::size_t i = 0; i < iterations; ++i) {
    BindLookup lookup = [&request, i](const std::string& name) -> const Value* {
      if (i >= request.iterations.size()) return nullptr;
      for (std::size_t k = 0; k < request.bindNames.size() && k < request.iterations[i].size(); ++k)
        if (request.bindNames[k] == name) return &request.iterations[i][k];
      return nullptr;
    };
    Result given = Run(expressions, lookup);
    if (given.columns.size() != columns.size()) throw OraError(given.columns.size() < columns.size() ? 947 : 913);
    for (const auto& values : given.rows) {
      std::map<std::string, Value> row;
      for (std::size_t c = 0; c < columns.size(); ++c) row[columns[c]] = values[c];
      for (const auto& trigger : triggers) {
        PlsqlBlock block(*this);
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
      Result r = Run(insert, [&bound](const std::string& name) -> const Value* {
        std::size_t index = static_cast<std::size_t>(std::stoul(name)) - 1;
        return index < bound.size() ? &bound[index] : nullptr;
      });
      reply.rowsAffected += r.changes;
      lastRowid = r.lastRowid;
    }
  }
  if (lastRowid != 0) reply.rowid = RowidText(RowidOf(lastRowid));
}

void Session::UpdateWithTriggers(const std::vector<Token>& t, const TranslatedSql& sql, const ExecuteRequest& request,
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
  BeginWrite();
  std::size_t iterations = std::max<std::size_t>(1, request.iterations.size());
  for (std::size_t n = 0; n < iterations; ++n) {
    BindLookup lookup = [&request, n](const std::string& name) -> const Value* {
      if (n >= request.iterations.size()) return nullptr;
      for (std::size_t k = 0; k < request.bindNames.size() && k < request.iterations[n].size(); ++k)
        if (request.bindNames[k] == name) return &request.iterations[n][k];
      return nullptr;
    };
    TranslatedSql select = sql;
    select.text = sql.dmlRowSelect;
    std::vector<std::int64_t> ids;
    for (const auto& row : Run(select, lookup).rows) ids.push_back(row[0].integer);
    database_.Locks().Acquire(id_, sql.dmlTable, ids, false, -1, true);
    for (std::int64_t id : ids) {
      const std::string where = " WHERE \"" + ref + "\"._ROWID_ = " + std::to_string(id);
      TranslatedSql current;
      current.text = "SELECT * FROM \"" + sql.dmlTable + "\" AS \"" + ref + "\"" + where;
      Result old = Run(current, lookup);
      if (old.rows.empty()) continue;
      std::map<std::string, Value> oldRow, newRow;
      for (std::size_t c = 0; c < old.columns.size(); ++c) oldRow[old.columns[c].name] = old.rows[0][c];
      newRow = oldRow;
      for (const auto& a : assignments) {
        std::vector<Token> query = {Token{Token::Kind::Word, "SELECT", t[0].pos}};
        query.insert(query.end(), a.expression.begin(), a.expression.end());
        query.push_back(Token{Token::Kind::Word, "FROM", t[0].pos});
        query.insert(query.end(), source.begin(), source.end());
        TranslatedSql value = translator_.Translate(query);
        value.text += where;
        Result r = Run(value, lookup);
        newRow[a.column] = r.rows.empty() ? Value::Null() : r.rows[0][0];
      }
      for (const auto& trigger : triggers) {
        PlsqlBlock block(*this);
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
      Run(update, [&bound](const std::string& name) -> const Value* {
        std::size_t index = static_cast<std::size_t>(std::stoul(name)) - 1;
        return index < bound.size() ? &bound[index] : nullptr;
      });
      ++reply.rowsAffected;
    }
    if (!ids.empty()) reply.rowid = RowidText(RowidOf(ids.back()));
  }
}

void Session::RunDdl(std::vector<Token> tokens) {
  Run(translator_.Translate(std::move(tokens)), [](const std::string&) -> const Value* { return nullptr; });
}

// Schema statements SQLite has no form of, or another form: synonyms become views, OR REPLACE
// drops first, ALTER TABLE ADD takes one column at a time, key constraints become unique
// indexes; grants, comments and statistics have nothing to act on here.
bool Session::ExecuteSchemaCommand(const std::vector<Token>& t) {
  auto word = [&](std::size_t i, const char* w) { return i < t.size() && t[i].Is(w); };
  auto tok = [&](Token::Kind kind, const std::string& text) { return Token{kind, text, t[0].pos}; };
  auto slice = [&](std::size_t from, std::size_t to) {
    return std::vector<Token>(t.begin() + static_cast<long>(from), t.begin() + static_cast<long>(std::min(to, t.size())));
  };
  const std::string& first = t[0].text;
  bool userDdl = word(1, "USER") && t.size() > 2 && (first == "CREATE" || first == "ALTER" || first == "DROP");
  bool sysdbaGrant = (first == "GRANT" || first == "REVOKE") && word(1, "SYSDBA") && t.size() > 3;
  if (userDdl || sysdbaGrant) {
    auto self = database_.FindAccount(user_);
    if (user_ != "SYS" && user_ != "SYSTEM" && !(self && self->privileged)) throw OraError(1031);
    Commit();
    std::string name = sysdbaGrant ? t[3].text : t[2].text;
    auto account = database_.FindAccount(name);
    if (sysdbaGrant) {
      if (!account) throw OraError(1917, name);
      database_.AddAccount(name, account->password, first == "GRANT", db_.get());
    } else if (first == "DROP") {
      if (!account) throw OraError(1918, name);
      database_.DropAccount(name, db_.get());
    } else {
      if (first == "CREATE" && account) throw OraError(1920, name);
      if (first == "ALTER" && !account) throw OraError(1918, name);
      std::size_t by = 3;
      while (by + 1 < t.size() && !(t[by].Is("BY") && t[by - 1].Is("IDENTIFIED"))) ++by;
      if (by + 1 >= t.size()) {
        if (first == "CREATE") throw OraError(922);
        return true;  // other user options have no effect here
      }
      database_.AddAccount(name, t[by + 1].text, account && account->privileged, db_.get());
    }
    return true;
  }
  if (first == "GRANT" || first == "REVOKE" || first == "COMMENT" || first == "ANALYZE" || first == "AUDIT") {
    Commit();
    return true;
  }
  std::size_t at = 1;
  bool replace = word(1, "OR") && word(2, "REPLACE");
  if (replace) at = 3;
  if (word(at, "PUBLIC")) ++at;
  if ((first == "CREATE" || first == "DROP") && word(at, "DIRECTORY") && at + 1 < t.size()) {
    Commit();
    std::string name = t[at + 1].text;
    if (first == "DROP") {
      ExecOrThrow(db_.get(), "DELETE FROM \"SETRIX$DIRECTORIES\" WHERE NAME = '" + name + "'");
      return true;
    }
    if (!word(at + 2, "AS") || at + 3 >= t.size() || t[at + 3].kind != Token::Kind::String) throw OraError(905);
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db_.get(), replace ? "INSERT OR REPLACE INTO \"SETRIX$DIRECTORIES\" VALUES (?1, ?2)"
                                          : "INSERT INTO \"SETRIX$DIRECTORIES\" VALUES (?1, ?2)", -1, &raw, nullptr);
    StatementHandle insert(raw);
    sqlite3_bind_text(insert.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.get(), 2, t[at + 3].text.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) throw OraError(955);
    return true;
  }
  if ((first == "CREATE" || first == "DROP") && word(at, "SYNONYM") && at + 1 < t.size()) {
    Commit();
    std::string name = t[at + 1].text;
    if (first == "DROP" || replace) ExecOrThrow(db_.get(), "DROP VIEW IF EXISTS \"" + name + "\"");
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
    Commit();
    ExecOrThrow(db_.get(), "DROP VIEW IF EXISTS \"" + t[at + 1].text + "\"");
    std::vector<Token> view = {t[0]};
    auto rest = slice(at, t.size());
    view.insert(view.end(), rest.begin(), rest.end());
    RunDdl(view);
    return true;
  }
  if (first == "RENAME" && t.size() >= 4 && word(2, "TO")) {
    Commit();
    RunDdl({tok(Token::Kind::Word, "ALTER"), tok(Token::Kind::Word, "TABLE"), t[1], tok(Token::Kind::Word, "RENAME"),
            tok(Token::Kind::Word, "TO"), t[3]});
    return true;
  }
  if (first != "ALTER" || !word(1, "TABLE") || t.size() < 4) return false;
  std::size_t table = 2;
  if (table + 2 < t.size() && t[table + 1].IsSymbol(".") && database_.IsUserName(t[table].text)) table += 2;
  std::vector<Token> prefix = {t[0], t[1], t[table]};
  std::size_t verb = table + 1;
  if (word(verb, "MODIFY")) throw OraError(3001);
  if (!word(verb, "ADD")) return false;
  Commit();
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

ExecuteReply Session::ExecuteOne(const ExecuteRequest& request) {
  std::vector<Token> tokens = Tokenize(request.sql);
  while (!tokens.empty() && (tokens.back().IsSymbol(";") || tokens.back().IsSymbol("/"))) {
    if (tokens[0].Is("BEGIN") || tokens[0].Is("DECLARE")) break;
    tokens.pop_back();
  }
  if (tokens.empty()) throw OraError(900);
  ExecuteReply reply;
  if (ExecuteSessionCommand(tokens, reply)) return reply;
  if (!request.describeOnly && ProgramUnitCommand(tokens, request.sql, reply)) return reply;
  if (!request.describeOnly && ExecuteSchemaCommand(tokens)) return reply;

  auto lookupFor = [&](std::size_t iteration) -> BindLookup {
    return [&request, iteration](const std::string& name) -> const Value* {
      if (iteration >= request.iterations.size()) return nullptr;
      const auto& row = request.iterations[iteration];
      for (std::size_t i = 0; i < request.bindNames.size() && i < row.size(); ++i)
        if (request.bindNames[i] == name) return &row[i];
      return nullptr;
    };
  };

  const std::string first = tokens[0].text;
  bool query = first == "SELECT" || first == "WITH";
  if (request.describeOnly && !query) return reply;  // describing runs nothing
  if (first == "BEGIN" || first == "DECLARE") {
    PlsqlBlock block(*this);
    reply.outBinds = block.Run(tokens, lookupFor(0));
    reply.cursors = std::move(block.Opened());
    reply.rowsAffected = 1;
    return reply;
  }

  TranslatedSql sql = translator_.Translate(tokens);
  if (IsDdl(first)) {
    Commit();
    Run(sql, lookupFor(0));
    if (first == "CREATE") {  // CREATE [GLOBAL TEMPORARY] TABLE [schema.]name
      std::size_t at = 1;
      while (at < tokens.size() && !tokens[at].Is("TABLE") && !tokens[at].IsSymbol("(")) ++at;
      if (at + 1 < tokens.size() && tokens[at].Is("TABLE")) {
        ++at;
        if (at + 2 < tokens.size() && tokens[at + 1].IsSymbol(".")) at += 2;
        EnforceColumnTypes(tokens[at].text);
      }
    }
    return reply;
  }
  if (query) {
    if (sql.lock.wanted && request.describeOnly) sql.lock.wanted = false;
    Result r = Run(sql, lookupFor(0), request.describeOnly);
    if (sql.hasLockRowidColumn) {
      std::vector<std::int64_t> ids;
      for (auto& row : r.rows) {
        ids.push_back(row.back().integer);
        row.pop_back();
      }
      if (sql.lock.wanted) database_.Locks().Acquire(id_, sql.lock.table, ids, sql.lock.nowait, sql.lock.waitSeconds, false);
    }
    reply.columns = std::move(r.columns);
    reply.rows = std::move(r.rows);
    reply.rowsAffected = static_cast<std::int64_t>(reply.rows.size());
    return reply;
  }
  if (first == "INSERT" && sql.returningBinds.empty()) {
    std::vector<std::string> triggers = RowTriggers(sql.dmlTable, "INSERT");
    if (!triggers.empty()) {
      InsertWithTriggers(tokens, request, triggers, reply);
      return reply;
    }
  }
  if (first == "UPDATE" && sql.returningBinds.empty()) {
    std::vector<std::string> triggers = RowTriggers(sql.dmlTable, "UPDATE");
    if (!triggers.empty()) {
      UpdateWithTriggers(tokens, sql, request, triggers, reply);
      return reply;
    }
  }
  bool dml = first == "INSERT" || first == "UPDATE" || first == "DELETE" || first == "MERGE";
  if (dml) BeginWrite();
  std::size_t iterations = std::max<std::size_t>(1, request.iterations.size());
  std::int64_t lastRowid = 0;
  for (std::size_t i = 0; i < iterations; ++i) {
    std::vector<std::int64_t> touched;
    if (!sql.dmlRowSelect.empty()) {
      TranslatedSql select = sql;
      select.text = sql.dmlRowSelect;
      Result rows = Run(select, lookupFor(i));
      for (const auto& row : rows.rows) touched.push_back(row[0].integer);
      database_.Locks().Acquire(id_, sql.dmlTable, touched, false, -1, true);
    }
    Result r = Run(sql, lookupFor(i));
    reply.rowsAffected += r.changes;
    if (!sql.returningBinds.empty() && !r.rows.empty()) ReturnInto(sql, r.rows.back(), reply.outBinds);
    if (first == "INSERT" && r.changes > 0) lastRowid = r.lastRowid;
    if (!touched.empty()) lastRowid = touched.back();
  }
  if (lastRowid != 0) reply.rowid = RowidText(RowidOf(lastRowid));
  return reply;
}

void Session::ReturnInto(const TranslatedSql& sql, const std::vector<Value>& row, std::vector<BindValue>& out) {
  std::int64_t id = row.back().integer;
  for (std::size_t k = 0; k < sql.returningBinds.size() && k + 1 < row.size(); ++k) {
    Value v = row[k];
    const std::string column = k < sql.returningColumns.size() ? sql.returningColumns[k] : std::string();
    if (!column.empty()) {
      std::string declared;
      sqlite3_stmt* raw = nullptr;
      sqlite3_prepare_v2(db_.get(), "SELECT type FROM pragma_table_info(?1) WHERE name = ?2", -1, &raw, nullptr);
      StatementHandle info(raw);
      sqlite3_bind_text(info.get(), 1, sql.dmlTable.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(info.get(), 2, column.c_str(), -1, SQLITE_TRANSIENT);
      if (info && sqlite3_step(info.get()) == SQLITE_ROW) declared = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0));
      int type = ParseDeclaredType(declared).oraType;
      if (type == oratype::Clob || type == oratype::Blob) v.lob = sql.dmlTable + "\t" + column + "\t" + std::to_string(id);
    }
    out.erase(std::remove_if(out.begin(), out.end(), [&](const BindValue& b) { return b.name == sql.returningBinds[k]; }),
              out.end());
    out.push_back({sql.returningBinds[k], v});
  }
}

bool Session::ReadFile(const std::string& directory, const std::string& name, bool contentsWanted,
                       std::string& contents) {
  if (!LoggedOn()) throw OraError(1012);
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db_.get(), "SELECT PATH FROM \"SETRIX$DIRECTORIES\" WHERE NAME = ?1", -1, &raw, nullptr);
  StatementHandle stmt(raw);
  sqlite3_bind_text(stmt.get(), 1, directory.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(stmt.get()) != SQLITE_ROW) throw OraError(22285, contentsWanted ? "FILEOPEN" : "FILEEXISTS");
  std::string path = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
  std::ifstream in(path + "/" + name, std::ios::binary);
  if (!in) {
    if (contentsWanted) throw OraError(22285, "FILEOPEN");
    return false;
  }
  if (contentsWanted) contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

void Session::StoreLob(const Value& lob) {
  if (!LoggedOn()) throw OraError(1012);
  std::size_t a = lob.lob.find('\t'), b = lob.lob.rfind('\t');
  if (a == std::string::npos || a == b) throw OraError(22920);
  std::string table = lob.lob.substr(0, a), column = lob.lob.substr(a + 1, b - a - 1);
  std::int64_t id = std::stoll(lob.lob.substr(b + 1));
  BeginWrite();
  database_.Locks().Acquire(id_, table, {id}, false, -1, true);
  sqlite3_stmt* raw = nullptr;
  std::string sql = "UPDATE \"" + table + "\" SET \"" + column + "\" = ?1 WHERE ROWID = ?2";
  if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) throw OraError(22920);
  StatementHandle stmt(raw);
  if (lob.kind == Value::Kind::Blob)
    sqlite3_bind_blob(stmt.get(), 1, lob.bytes.data(), static_cast<int>(lob.bytes.size()), SQLITE_TRANSIENT);
  else
    sqlite3_bind_text(stmt.get(), 1, lob.bytes.data(), static_cast<int>(lob.bytes.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(stmt.get(), 2, id);
  if (sqlite3_step(stmt.get()) != SQLITE_DONE) throw OraError(4021);
}

Session::Result Session::Run(const TranslatedSql& sql, const BindLookup& binds, bool describeOnly) {
  // Reuse the prepared statement of this text unless it is running already (a nested use).
  StatementHandle temporary;
  sqlite3_stmt* statement = nullptr;
  auto cached = statements_.find(sql.text);
  if (cached != statements_.end() && !sqlite3_stmt_busy(cached->second.get())) {
    statement = cached->second.get();
  } else {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql.text.c_str(), -1, &raw, nullptr);
    temporary.reset(raw);
    if (rc != SQLITE_OK) throw MapSqliteError(db_.get(), rc, sql, user_);
    if (!temporary) return {};
    statement = temporary.get();
    if (cached == statements_.end()) {
      if (statements_.size() >= 128)  // forget the idle ones; a running one stays
        for (auto it = statements_.begin(); it != statements_.end();)
          it = sqlite3_stmt_busy(it->second.get()) ? std::next(it) : statements_.erase(it);
      statements_.emplace(sql.text, std::move(temporary));
    }
  }
  ResetOnExit reset(statement);
  int rc = SQLITE_OK;
  int parameters = sqlite3_bind_parameter_count(statement);
  for (int i = 1; i <= parameters; ++i) {
    if (i > static_cast<int>(sql.binds.size())) break;
    const Value* v = binds(sql.binds[static_cast<std::size_t>(i - 1)]);
    if (!v) throw OraError(1008);
    switch (v->kind) {
      case Value::Kind::Null: sqlite3_bind_null(statement, i); break;
      case Value::Kind::Integer: sqlite3_bind_int64(statement, i, v->integer); break;
      case Value::Kind::Real: sqlite3_bind_double(statement, i, v->real); break;
      case Value::Kind::Text:
        if (v->bytes.empty()) sqlite3_bind_null(statement, i);
        else sqlite3_bind_text(statement, i, v->bytes.data(), static_cast<int>(v->bytes.size()), SQLITE_TRANSIENT);
        break;
      case Value::Kind::Blob:
        sqlite3_bind_blob(statement, i, v->bytes.data(), static_cast<int>(v->bytes.size()), SQLITE_TRANSIENT);
        break;
    }
  }
  Result result;
  int columns = sqlite3_column_count(statement);
  std::vector<DeclaredType> declared;
  std::vector<bool> hasDeclared;
  for (int c = 0; c < columns; ++c) {
    const char* decl = sqlite3_column_decltype(statement, c);
    // The dictionary's own columns are SQLite's TEXT: sized by their values, as computed columns are.
    if (decl && std::string(decl) == "TEXT") decl = nullptr;
    hasDeclared.push_back(decl != nullptr);
    declared.push_back(ParseDeclaredType(decl ? decl : ""));
  }
  // Describing reads the rows too (and drops them): computed columns are typed and sized by
  // their values, so the sizes must hold for the execution that follows. A query that takes
  // sequence numbers is described without taking any.
  bool readRows = !describeOnly || sql.text.find("ORA_NEXTVAL") == std::string::npos;
  while (readRows) {
    rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW) break;
    std::vector<Value> row;
    for (int c = 0; c < columns; ++c) {
      Value v;
      switch (sqlite3_column_type(statement, c)) {
        case SQLITE_INTEGER: v = Value::Int(sqlite3_column_int64(statement, c)); break;
        case SQLITE_FLOAT: v = Value::Float(sqlite3_column_double(statement, c)); break;
        case SQLITE_TEXT: {
          std::string text(reinterpret_cast<const char*>(sqlite3_column_text(statement, c)),
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, c)));
          DateTime d;
          auto kind = static_cast<std::size_t>(c) < sql.itemKinds.size() ? sql.itemKinds[static_cast<std::size_t>(c)]
                                                                        : TranslatedSql::ItemKind::Unknown;
          bool date = hasDeclared[c] ? declared[c].oraType == oratype::Date
                      : kind == TranslatedSql::ItemKind::Unknown ? ParseCanonicalDate(text, d)
                                                                 : kind == TranslatedSql::ItemKind::Date;
          v = date ? Value::Date(std::move(text)) : Value::Text(std::move(text));
          break;
        }
        case SQLITE_BLOB: {
          const void* p = sqlite3_column_blob(statement, c);
          v = Value::Raw(p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(statement, c)))
                           : std::string());
          break;
        }
        default: break;
      }
      row.push_back(std::move(v));
    }
    result.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE && !(describeOnly && rc == SQLITE_OK))
    throw MapSqliteError(db_.get(), rc, sql, user_);
  int visible = columns - (sql.hasLockRowidColumn ? 1 : 0);
  for (int c = 0; c < visible; ++c) {
    std::string name = sqlite3_column_name(statement, c);
    if (hasDeclared[c]) {
      const DeclaredType& t = declared[c];
      result.columns.push_back({name, t.oraType, t.size, t.precision, t.scale, ColumnAcceptsNull(statement, c)});
    } else {
      result.columns.push_back(Inferred(name, result.rows, static_cast<std::size_t>(c)));
    }
  }
  if (describeOnly) result.rows.clear();
  result.changes = sqlite3_changes64(db_.get());
  result.lastRowid = sqlite3_last_insert_rowid(db_.get());
  return result;
}

}  // namespace orastandin
