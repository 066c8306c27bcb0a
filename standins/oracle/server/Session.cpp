#include "standins/oracle/server/Session.h"


#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>

#include "standins/oracle/protocol/ObjectImage.h"
#include "standins/oracle/protocol/RowidText.h"
#include "standins/oracle/protocol/StatementKind.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/OracleFormats.h"
#include "standins/oracle/server/CursorColumns.h"
#include "standins/oracle/server/ObjectTables.h"
#include "standins/oracle/server/OracleFunctions.h"
#include "standins/oracle/server/OracleTypes.h"
#include "standins/oracle/server/PlsqlBlock.h"
#include "standins/oracle/server/ProgramUnits.h"
#include "standins/oracle/server/SchemaCommands.h"
#include "standins/oracle/server/SqliteErrors.h"
#include "standins/oracle/server/TriggeredWrites.h"

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
      else if (ObjectImage image; v.kind == Value::Kind::Blob && ObjectImage::Decode(v.bytes, image))
        return {name, image.kind == ObjectImage::Kind::Ref ? oratype::Ref : oratype::Named, 0, 0, 0, true, image.typeName};
      else if (v.kind == Value::Kind::Blob) c.oraType = oratype::Raw;
    }
    if (c.oraType == oratype::Varchar2 || c.oraType == oratype::Raw)
      c.size = std::max<int>(c.size, static_cast<int>(v.bytes.size()));
  }
  return c;
}

// Each cell of a CURSOR item becomes a cursor of the reply, the cell its index there. The
// cursors of one item are described alike, from the rows of all of them.
void OpenCursorItems(const std::vector<CursorItem>& items, ExecuteReply& reply) {
  for (const CursorItem& item : items) {
    if (item.position >= reply.columns.size()) continue;
    ColumnInfo& column = reply.columns[item.position];
    column = {column.name, oratype::Cursor, 0, 0, 0, true, {}};
    std::vector<std::vector<std::vector<Value>>> opened;
    std::vector<std::vector<Value>> all;
    for (auto& row : reply.rows) {
      opened.push_back(DecodeCursorRows(row[item.position]));
      for (const auto& r : opened.back())
        if (r.size() == item.columnNames.size()) all.push_back(r);
    }
    std::vector<ColumnInfo> columns;
    for (std::size_t c = 0; c < item.columnNames.size(); ++c) columns.push_back(Inferred(item.columnNames[c], all, c));
    for (std::size_t r = 0; r < reply.rows.size(); ++r) {
      reply.rows[r][item.position] = Value::Int(static_cast<std::int64_t>(reply.cursors.size()));
      reply.cursors.push_back({std::string(), columns, std::move(opened[r])});
    }
  }
}

}  // namespace

Session::Session(Database& database, int socket)
    : database_(database),
      id_(database.NewSessionId()),
      db_(database.OpenConnection()),
      translator_([&database](const std::string& name) { return database.IsUserName(name); }) {
  for (const auto& p : kNlsParameters) nls_[p[0]] = p[1];
  RegisterOracleFunctions(db_.get(), this);
  ObjectTables::RegisterFunctions(db_.get());
  RegisterCursorFunctions(db_.get());
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
  database_.RegisterSession(id_, breakKey_, db_.get(), &cancelled_, socket);
}

Session::~Session() {
  database_.UnregisterSession(id_);
  try {
    Rollback();
  } catch (...) {
  }
  database_.Locks().ReleaseAll(id_);
}

void Session::Logon(const std::string& givenUser, const std::string& password, const std::string& service, int mode,
                    bool externalCredentials) {
  if (Upper(service) != database_.Service()) throw OraError(12514);
  if (externalCredentials) throw OraError(1017);
  if (password.empty()) throw OraError(1005);
  // The account's name is the user name without the blanks around it.
  const std::size_t first = givenUser.find_first_not_of(' ');
  const std::string user =
      first == std::string::npos ? std::string() : givenUser.substr(first, givenUser.find_last_not_of(' ') - first + 1);
  auto account = database_.FindAccount(user);
  if (!account || Upper(account->password) != Upper(password)) throw OraError(1017);
  if ((mode & (LogonSysDba | LogonSysOper)) && !account->privileged) throw OraError(1031);
  // As on a real server, SYS logs on only with its privilege.
  if (Upper(user) == "SYS" && !(mode & (LogonSysDba | LogonSysOper))) throw OraError(28009);
  user_ = Upper(user);
  database_.SessionUser(id_, user_);
}

void Session::Logoff() {
  Rollback();
  user_.clear();
  database_.SessionUser(id_, user_);
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
  savepoints_.clear();
  database_.Locks().ReleaseAll(id_);
}

void Session::Rollback() {
  if (writing_) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    writing_ = false;
  }
  savepoints_.clear();
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
    // The row locks taken since the savepoint go with the changes; later savepoints are gone.
    for (std::size_t k = savepoints_.size(); k-- > 0;)
      if (savepoints_[k].first == t[at].text) {
        database_.Locks().ReleaseSince(id_, savepoints_[k].second);
        savepoints_.resize(k + 1);
        break;
      }
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
    savepoints_.erase(std::remove_if(savepoints_.begin(), savepoints_.end(),
                                     [&](const auto& s) { return s.first == t[1].text; }),
                      savepoints_.end());
    savepoints_.emplace_back(t[1].text, database_.Locks().Mark(id_));
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

ExecuteReply Session::ExecuteOne(const ExecuteRequest& request) {
  std::vector<Token> tokens = Tokenize(request.sql);
  while (!tokens.empty() && (tokens.back().IsSymbol(";") || tokens.back().IsSymbol("/"))) {
    if (tokens[0].Is("BEGIN") || tokens[0].Is("DECLARE")) break;
    tokens.pop_back();
  }
  if (tokens.empty()) throw OraError(900);
  ExecuteReply reply;
  if (ExecuteSessionCommand(tokens, reply)) return reply;
  if (!request.describeOnly && ProgramUnits(*this).Command(tokens, request.sql, reply)) return reply;
  if (!request.describeOnly && SchemaCommands(*this).Execute(tokens)) return reply;

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

  if (!request.describeOnly && ObjectTables(*this).CreateObjectTable(tokens)) return reply;
  std::vector<CursorItem> cursorItems;
  if (query)
    cursorItems = RewriteCursorItems(tokens, request.sql, [this](const std::vector<Token>& select) {
      const TranslatedSql probe = Translate(select);
      sqlite3_stmt* raw = nullptr;
      const int rc = sqlite3_prepare_v2(db_.get(), probe.text.c_str(), -1, &raw, nullptr);
      StatementHandle statement(raw);
      if (rc != SQLITE_OK) throw MapSqliteError(db_.get(), rc, probe, user_);
      std::vector<std::string> names;
      for (int c = 0; statement && c < sqlite3_column_count(statement.get()); ++c)
        names.emplace_back(sqlite3_column_name(statement.get(), c));
      return names;
    });
  ObjectTables::ItemTypes objectItems;
  tokens = ObjectTables(*this).Rewrite(std::move(tokens), &objectItems);
  TranslatedSql sql = translator_.Translate(tokens);
  if (IsDdl(first)) {
    Commit();
    Run(sql, lookupFor(0));
    if (first == "DROP" && tokens.size() > 2 && tokens[1].Is("TABLE"))
      ObjectTables(*this).TableDropped(tokens[tokens.size() > 4 && tokens[3].IsSymbol(".") ? 4 : 2].text);
    if (first == "CREATE") {  // CREATE [GLOBAL TEMPORARY] TABLE [schema.]name
      std::size_t at = 1;
      while (at < tokens.size() && !tokens[at].Is("TABLE") && !tokens[at].IsSymbol("(")) ++at;
      if (at + 1 < tokens.size() && tokens[at].Is("TABLE")) {
        ++at;
        if (at + 2 < tokens.size() && tokens[at + 1].IsSymbol(".")) at += 2;
        SchemaCommands(*this).EnforceColumnTypes(tokens[at].text);
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
    for (const auto& [position, type] : objectItems)  // typed though no row showed it
      if (position < reply.columns.size() && reply.columns[position].typeName.empty()) {
        ColumnInfo& c = reply.columns[position];
        c.oraType = type.first;
        c.typeName = type.second;
        c.size = 0;
        c.precision = c.scale = 0;
      }
    OpenCursorItems(cursorItems, reply);
    reply.rowsAffected = static_cast<std::int64_t>(reply.rows.size());
    return reply;
  }
  if (first == "INSERT" && sql.returningBinds.empty()) {
    std::vector<std::string> triggers = ProgramUnits(*this).RowTriggers(sql.dmlTable, "INSERT");
    if (!triggers.empty()) {
      TriggeredWrites(*this).Insert(tokens, request, triggers, reply);
      return reply;
    }
  }
  if (first == "UPDATE" && sql.returningBinds.empty()) {
    std::vector<std::string> triggers = ProgramUnits(*this).RowTriggers(sql.dmlTable, "UPDATE");
    if (!triggers.empty()) {
      TriggeredWrites(*this).Update(tokens, sql, request, triggers, reply);
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

TranslatedSql Session::Translate(std::vector<Token> tokens) {
  return translator_.Translate(ObjectTables(*this).Rewrite(std::move(tokens)));
}

void Session::FlushObject(bool remove, const Value& ref, const Value& object) {
  if (!LoggedOn()) throw OraError(1012);
  ObjectImage refImage, objectImage;
  if (!ObjectImage::Decode(ref.bytes, refImage) || refImage.kind != ObjectImage::Kind::Ref) throw OraError(932);
  if (remove) return ObjectTables(*this).Remove(refImage);
  if (!ObjectImage::Decode(object.bytes, objectImage) || objectImage.kind != ObjectImage::Kind::Object) throw OraError(932);
  ObjectTables(*this).Store(refImage, objectImage);
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
      result.columns.push_back({name, t.oraType, t.size, t.precision, t.scale, ColumnAcceptsNull(statement, c),
                                t.oraType == oratype::Named || t.oraType == oratype::Ref ? t.name : std::string()});
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
