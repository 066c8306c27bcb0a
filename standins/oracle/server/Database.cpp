#include "standins/oracle/server/Database.h"

#include <sys/socket.h>

#include <cctype>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "standins/oracle/protocol/OraError.h"

namespace orastandin {

namespace {
std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The marker keeps the dictionary's own views out of the dictionary.
const char* const kCatalog[] = {
    "CREATE TABLE IF NOT EXISTS DUAL (DUMMY VARCHAR2(1))",
    "INSERT INTO DUAL SELECT 'X' WHERE NOT EXISTS (SELECT 1 FROM DUAL)",
    "CREATE TABLE IF NOT EXISTS \"SETRIX$SEQUENCES\" (NAME TEXT PRIMARY KEY, NEXT_VALUE INTEGER, INCREMENT_BY INTEGER)",
    "CREATE TABLE IF NOT EXISTS \"SETRIX$DIRECTORIES\" (NAME TEXT PRIMARY KEY, PATH TEXT)",
    "CREATE TABLE IF NOT EXISTS \"SETRIX$USERS\" (NAME TEXT PRIMARY KEY, PASSWORD TEXT, PRIVILEGED INTEGER)",
    "CREATE VIEW IF NOT EXISTS ALL_USERS AS /*catalog*/ SELECT NAME AS USERNAME FROM \"SETRIX$USERS\"",
    "CREATE VIEW IF NOT EXISTS ALL_DIRECTORIES AS /*catalog*/ SELECT 'SYS' AS OWNER, NAME AS DIRECTORY_NAME, "
    "PATH AS DIRECTORY_PATH FROM \"SETRIX$DIRECTORIES\"",
    "CREATE VIEW IF NOT EXISTS USER_TABLES AS /*catalog*/ SELECT name AS TABLE_NAME, 'USERS' AS TABLESPACE_NAME "
    "FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' AND name NOT LIKE 'SETRIX$%' AND name <> 'DUAL'",
    "CREATE VIEW IF NOT EXISTS TABS AS /*catalog*/ SELECT * FROM USER_TABLES",
    "CREATE VIEW IF NOT EXISTS ALL_TABLES AS /*catalog*/ SELECT ORA_USER() AS OWNER, TABLE_NAME, TABLESPACE_NAME FROM USER_TABLES",
    "CREATE VIEW IF NOT EXISTS ALL_TAB_COLUMNS AS /*catalog*/ SELECT ORA_USER() AS OWNER, m.name AS TABLE_NAME, "
    "p.name AS COLUMN_NAME, ORA_TYPE_NAME(p.type) AS DATA_TYPE, ORA_TYPE_LENGTH(p.type) AS DATA_LENGTH, "
    "ORA_TYPE_PRECISION(p.type) AS DATA_PRECISION, ORA_TYPE_SCALE(p.type) AS DATA_SCALE, "
    "CASE WHEN p.\"notnull\" OR p.pk THEN 'N' ELSE 'Y' END AS NULLABLE, p.cid + 1 AS COLUMN_ID, "
    "p.dflt_value AS DATA_DEFAULT FROM sqlite_master m JOIN pragma_table_info(m.name) p "
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite%' AND m.name NOT LIKE 'SETRIX$%'",
    "CREATE VIEW IF NOT EXISTS USER_TAB_COLUMNS AS /*catalog*/ SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, DATA_LENGTH, "
    "DATA_PRECISION, DATA_SCALE, NULLABLE, COLUMN_ID, DATA_DEFAULT FROM ALL_TAB_COLUMNS",
    "CREATE VIEW IF NOT EXISTS USER_TAB_COLS AS /*catalog*/ SELECT * FROM USER_TAB_COLUMNS",
    "CREATE VIEW IF NOT EXISTS ALL_OBJECTS AS /*catalog*/ SELECT ORA_USER() AS OWNER, name AS OBJECT_NAME, "
    "UPPER(type) AS OBJECT_TYPE, 'VALID' AS STATUS FROM sqlite_master WHERE type IN ('table', 'view', 'index') "
    "AND name NOT LIKE 'sqlite%' AND name NOT LIKE 'SETRIX$%' AND IFNULL(sql, '') NOT LIKE '%/*catalog*/%' "
    "UNION ALL SELECT ORA_USER(), NAME, 'SEQUENCE', 'VALID' FROM \"SETRIX$SEQUENCES\" "
    "UNION ALL SELECT ORA_USER(), NAME, TYPE, STATUS FROM \"SETRIX$SOURCE\"",
    "CREATE VIEW IF NOT EXISTS USER_OBJECTS AS /*catalog*/ SELECT OBJECT_NAME, OBJECT_TYPE, STATUS FROM ALL_OBJECTS",
    "CREATE VIEW IF NOT EXISTS USER_SEQUENCES AS /*catalog*/ SELECT NAME AS SEQUENCE_NAME, 1 AS MIN_VALUE, "
    "INCREMENT_BY, NEXT_VALUE AS LAST_NUMBER FROM \"SETRIX$SEQUENCES\"",
    "CREATE VIEW IF NOT EXISTS ALL_SEQUENCES AS /*catalog*/ SELECT ORA_USER() AS SEQUENCE_OWNER, * FROM USER_SEQUENCES",
    "CREATE TABLE IF NOT EXISTS \"SETRIX$SOURCE\" (NAME TEXT, TYPE TEXT, TEXT TEXT, STATUS TEXT, PRIMARY KEY (NAME, TYPE))",
    "CREATE TABLE IF NOT EXISTS \"SETRIX$ERRORS\" (NAME TEXT, TYPE TEXT, SEQUENCE INTEGER, LINE INTEGER, "
    "POSITION INTEGER, TEXT VARCHAR2(4000))",
    "CREATE VIEW IF NOT EXISTS USER_ERRORS AS /*catalog*/ SELECT NAME, TYPE, SEQUENCE, LINE, POSITION, TEXT "
    "FROM \"SETRIX$ERRORS\"",
    "CREATE VIEW IF NOT EXISTS ALL_ERRORS AS /*catalog*/ SELECT ORA_USER() AS OWNER, * FROM USER_ERRORS",
    "CREATE VIEW IF NOT EXISTS USER_USERS AS /*catalog*/ SELECT ORA_USER() AS USERNAME",
    // Object and collection types; a collection's element is attribute 0.
    "CREATE TABLE IF NOT EXISTS \"SETRIX$TYPES\" (TYPE_NAME TEXT PRIMARY KEY, TYPECODE TEXT, COLL_TYPE TEXT, "
    "UPPER_BOUND INTEGER)",
    "CREATE TABLE IF NOT EXISTS \"SETRIX$TYPE_ATTRS\" (TYPE_NAME TEXT, ATTR_NO INTEGER, ATTR_NAME TEXT, "
    "ATTR_TYPE_MOD TEXT, ATTR_TYPE_NAME TEXT, NAMED INTEGER, LENGTH INTEGER, PRECISION INTEGER, SCALE INTEGER, "
    "PRIMARY KEY (TYPE_NAME, ATTR_NO))",
    "CREATE VIEW IF NOT EXISTS USER_TYPES AS /*catalog*/ SELECT T.TYPE_NAME, T.TYPECODE, (SELECT COUNT(*) FROM "
    "\"SETRIX$TYPE_ATTRS\" A WHERE A.TYPE_NAME = T.TYPE_NAME AND A.ATTR_NO > 0) AS ATTRIBUTES FROM \"SETRIX$TYPES\" T",
    "CREATE VIEW IF NOT EXISTS ALL_TYPES AS /*catalog*/ SELECT ORA_USER() AS OWNER, * FROM USER_TYPES",
    "CREATE VIEW IF NOT EXISTS USER_TYPE_ATTRS AS /*catalog*/ SELECT TYPE_NAME, ATTR_NAME, ATTR_TYPE_MOD, "
    "CASE WHEN NAMED = 1 THEN ORA_USER() END AS ATTR_TYPE_OWNER, ATTR_TYPE_NAME, LENGTH, PRECISION, SCALE, ATTR_NO "
    "FROM \"SETRIX$TYPE_ATTRS\" WHERE ATTR_NO > 0",
    "CREATE VIEW IF NOT EXISTS ALL_TYPE_ATTRS AS /*catalog*/ SELECT ORA_USER() AS OWNER, * FROM USER_TYPE_ATTRS",
    "CREATE VIEW IF NOT EXISTS USER_COLL_TYPES AS /*catalog*/ SELECT T.TYPE_NAME, T.COLL_TYPE, T.UPPER_BOUND, "
    "A.ATTR_TYPE_MOD AS ELEM_TYPE_MOD, CASE WHEN A.NAMED = 1 THEN ORA_USER() END AS ELEM_TYPE_OWNER, "
    "A.ATTR_TYPE_NAME AS ELEM_TYPE_NAME, A.LENGTH, A.PRECISION, A.SCALE FROM \"SETRIX$TYPES\" T "
    "JOIN \"SETRIX$TYPE_ATTRS\" A ON A.TYPE_NAME = T.TYPE_NAME AND A.ATTR_NO = 0",
    "CREATE VIEW IF NOT EXISTS ALL_COLL_TYPES AS /*catalog*/ SELECT ORA_USER() AS OWNER, * FROM USER_COLL_TYPES",
    // Object tables, and where each object id leads.
    "CREATE TABLE IF NOT EXISTS \"SETRIX$OBJECT_TABLES\" (TABLE_NAME TEXT PRIMARY KEY, TYPE_NAME TEXT)",
    "CREATE TABLE IF NOT EXISTS \"SETRIX$OIDS\" (OID INTEGER PRIMARY KEY, TABLE_NAME TEXT, ROW_ID INTEGER, "
    "UNIQUE (TABLE_NAME, ROW_ID))",
    "CREATE VIEW IF NOT EXISTS USER_OBJECT_TABLES AS /*catalog*/ SELECT TABLE_NAME, TYPE_NAME AS TABLE_TYPE "
    "FROM \"SETRIX$OBJECT_TABLES\"",
    "CREATE VIEW IF NOT EXISTS ALL_OBJECT_TABLES AS /*catalog*/ SELECT ORA_USER() AS OWNER, * FROM USER_OBJECT_TABLES",
    "CREATE VIEW IF NOT EXISTS \"V$VERSION\" AS /*catalog*/ SELECT ORA_BANNER() AS BANNER",
    // One row per component, as a server lists them: the database product (named by the banner) and PL/SQL.
    "CREATE VIEW IF NOT EXISTS PRODUCT_COMPONENT_VERSION AS /*catalog*/ SELECT ORA_PRODUCT() AS PRODUCT, "
    "ORA_VERSION() AS VERSION, 'Production' AS STATUS UNION ALL SELECT 'PL/SQL', ORA_VERSION(), 'Production'",
};
}  // namespace

void ExecOrThrow(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    throw std::runtime_error(text + " in: " + sql);
  }
}

void RowLocks::Acquire(int session, const std::string& table, const std::vector<std::int64_t>& rows, bool nowait,
                       int waitSeconds, bool forDml) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto deadline = std::chrono::steady_clock::now() +
                  (waitSeconds >= 0 ? std::chrono::milliseconds(waitSeconds * 1000) : defaultWait_);
  auto heldByOther = [&] {
    for (auto row : rows) {
      auto it = owners_.find({table, row});
      if (it != owners_.end() && it->second != session) return true;
    }
    return false;
  };
  while (heldByOther()) {
    if (nowait) throw OraError(54);
    if (released_.wait_until(lock, deadline) == std::cv_status::timeout && heldByOther())
      throw OraError(forDml ? 60 : 30006);
  }
  for (auto row : rows)
    if (owners_.emplace(std::make_pair(table, row), session).second) taken_[session].emplace_back(table, row);
}

void RowLocks::ReleaseAll(int session) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = owners_.begin(); it != owners_.end();)
    it = it->second == session ? owners_.erase(it) : std::next(it);
  taken_.erase(session);
  released_.notify_all();
}

std::size_t RowLocks::Mark(int session) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = taken_.find(session);
  return it == taken_.end() ? 0 : it->second.size();
}

void RowLocks::ReleaseSince(int session, std::size_t mark) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& taken = taken_[session];
  for (std::size_t i = mark; i < taken.size(); ++i) {
    auto owner = owners_.find(taken[i]);
    if (owner != owners_.end() && owner->second == session) owners_.erase(owner);
  }
  if (mark < taken.size()) taken.resize(mark);
  released_.notify_all();
}

void Sequences::Load(sqlite3* db) {
  std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT NAME, NEXT_VALUE, INCREMENT_BY FROM \"SETRIX$SEQUENCES\"", -1, &stmt, nullptr) != SQLITE_OK)
    return;
  while (sqlite3_step(stmt) == SQLITE_ROW)
    sequences_[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] = {sqlite3_column_int64(stmt, 1),
                                                                              sqlite3_column_int64(stmt, 2)};
  sqlite3_finalize(stmt);
}

void Sequences::Create(sqlite3* db, const std::string& name, std::int64_t start, std::int64_t increment) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (sequences_.count(name)) throw OraError(955);
  ExecOrThrow(db, "INSERT INTO \"SETRIX$SEQUENCES\" VALUES ('" + name + "', " + std::to_string(start) + ", " +
                      std::to_string(increment) + ")");
  sequences_[name] = {start, increment};
}

void Sequences::Drop(sqlite3* db, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!sequences_.erase(name)) throw OraError(2289);
  ExecOrThrow(db, "DELETE FROM \"SETRIX$SEQUENCES\" WHERE NAME = '" + name + "'");
}

std::int64_t Sequences::Next(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sequences_.find(name);
  if (it == sequences_.end()) throw OraError(2289);
  std::int64_t value = it->second.next;
  it->second.next += it->second.increment;
  return value;
}

bool Sequences::Exists(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return sequences_.count(name) != 0;
}

void Sequences::Save(sqlite3* db) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [name, s] : sequences_)
    sqlite3_exec(db, ("UPDATE \"SETRIX$SEQUENCES\" SET NEXT_VALUE = " + std::to_string(s.next) + " WHERE NAME = '" +
                      name + "'").c_str(), nullptr, nullptr, nullptr);
}

void Hooks::Install(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hook.action == Hook::Action::Release) {
    ++releases_[hook.operation + "@" + hook.user];
    held_.notify_all();
    return;
  }
  hooks_.push_back(std::move(hook));
}

bool Hooks::Hold(const Hook& hook, std::atomic<bool>& cancelled) {
  std::unique_lock<std::mutex> lock(mutex_);
  int& releases = releases_[hook.operation + "@" + hook.user];
  held_.wait(lock, [&] { return releases > 0 || cancelled; });
  if (cancelled) {
    cancelled = false;
    return false;
  }
  --releases;
  return true;
}

void Hooks::WakeHeld() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.notify_all();
}

std::optional<Hook> Hooks::Next(const std::string& operation, const std::string& user) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<Hook> fired;
  for (auto it = hooks_.begin(); it != hooks_.end();) {
    if (it->operation != operation || (!it->user.empty() && it->user != Upper(user))) { ++it; continue; }
    ++it->seen;
    if (it->nth == 0 || it->seen == it->nth) {
      fired = *it;
      if (it->nth != 0) { it = hooks_.erase(it); continue; }
    }
    ++it;
  }
  return fired;
}

Hook Hooks::Parse(const std::string& fullSpec) {
  std::string spec = fullSpec.substr(0, fullSpec.find('@'));
  std::vector<std::string> parts;
  std::stringstream in(spec);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  if (parts.size() < 3) throw std::invalid_argument("hook: operation:nth:fail:code | :drop | :delay:ms | :hold | :release");
  Hook h;
  h.operation = parts[0];
  h.nth = std::stoi(parts[1]);
  if (parts[2] == "fail" && parts.size() > 3) {
    h.action = Hook::Action::Fail;
    h.code = std::stoi(parts[3]);
  } else if (parts[2] == "info" && parts.size() > 3) {
    h.action = Hook::Action::Info;
    h.code = std::stoi(parts[3]);
  } else if (parts[2] == "hold") {
    h.action = Hook::Action::Hold;
  } else if (parts[2] == "release") {
    h.action = Hook::Action::Release;
  } else if (parts[2] == "disconnect") {
    h.action = Hook::Action::Disconnect;
  } else if (parts[2] == "drop") {
    h.action = Hook::Action::Drop;
  } else if (parts[2] == "delay" && parts.size() > 3) {
    h.action = Hook::Action::Delay;
    h.delayMs = std::stoi(parts[3]);
  } else {
    throw std::invalid_argument("hook: unknown action in " + spec);
  }
  if (fullSpec.find('@') != std::string::npos) h.user = Upper(fullSpec.substr(fullSpec.find('@') + 1));
  if (h.action == Hook::Action::Disconnect && h.user.empty())
    throw std::invalid_argument("hook: disconnect needs a user: " + fullSpec);
  return h;
}

Database::Database(std::string path, std::string service, std::string banner)
    : path_(std::move(path)), service_(Upper(std::move(service))), banner_(std::move(banner)) {
  SqliteHandle db = OpenConnection();
  ExecOrThrow(db.get(), "PRAGMA journal_mode=WAL");
  for (const char* sql : kCatalog) ExecOrThrow(db.get(), sql);
  sequences_.Load(db.get());
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db.get(), "SELECT NAME, PASSWORD, PRIVILEGED FROM \"SETRIX$USERS\"", -1, &raw, nullptr);
  while (raw && sqlite3_step(raw) == SQLITE_ROW)
    accounts_[reinterpret_cast<const char*>(sqlite3_column_text(raw, 0))] = {
        reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)), sqlite3_column_int(raw, 2) != 0};
  sqlite3_finalize(raw);
}

SqliteHandle Database::OpenConnection() {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  SqliteHandle db(raw);
  if (rc != SQLITE_OK) throw std::runtime_error("cannot open " + path_);
  sqlite3_busy_timeout(db.get(), static_cast<int>(lockWait_.count()));
  ExecOrThrow(db.get(), "PRAGMA case_sensitive_like = ON");  // LIKE compares as Oracle's does
  sqlite3_extended_result_codes(db.get(), 1);
  return db;
}

void Database::AddAccount(const std::string& user, const std::string& password, bool privileged, sqlite3* db) {
  SqliteHandle own;
  if (!db) {
    own = OpenConnection();
    db = own.get();
  }
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO \"SETRIX$USERS\" VALUES (?1, ?2, ?3)", -1, &raw, nullptr);
  sqlite3_bind_text(raw, 1, Upper(user).c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 2, password.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(raw, 3, privileged ? 1 : 0);
  int rc = sqlite3_step(raw);
  sqlite3_finalize(raw);
  if (rc != SQLITE_DONE) throw OraError(4021);
  std::lock_guard<std::mutex> lock(mutex_);
  accounts_[Upper(user)] = {password, privileged};
}

void Database::DropAccount(const std::string& user, sqlite3* db) {
  ExecOrThrow(db, "DELETE FROM \"SETRIX$USERS\" WHERE NAME = '" + Upper(user) + "'");
  std::lock_guard<std::mutex> lock(mutex_);
  accounts_.erase(Upper(user));
}

std::optional<Account> Database::FindAccount(const std::string& user) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = accounts_.find(Upper(user));
  if (it == accounts_.end()) return std::nullopt;
  return it->second;
}

bool Database::IsUserName(const std::string& name) {
  std::string n = Upper(name);
  if (n == "SYS" || n == "SYSTEM" || n == "PUBLIC") return true;
  std::lock_guard<std::mutex> lock(mutex_);
  return accounts_.count(n) != 0;
}

void Database::SetLockWait(std::chrono::milliseconds wait) {
  lockWait_ = wait;
  locks_.SetDefaultWait(wait);
}

void Database::RegisterSession(int id, const std::string& key, sqlite3* connection, std::atomic<bool>* cancelled,
                               int socket) {
  std::lock_guard<std::mutex> lock(sessionsMutex_);
  sessions_[id] = {key, connection, cancelled, socket, std::string()};
}

void Database::SessionUser(int id, const std::string& user) {
  std::lock_guard<std::mutex> lock(sessionsMutex_);
  auto it = sessions_.find(id);
  if (it != sessions_.end()) it->second.user = Upper(user);
}

void Database::UnregisterSession(int id) {
  std::lock_guard<std::mutex> lock(sessionsMutex_);
  sessions_.erase(id);
}

bool Database::Interrupt(int id, const std::string& key) {
  std::lock_guard<std::mutex> lock(sessionsMutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end() || it->second.key != key) return false;
  *it->second.cancelled = true;
  sqlite3_interrupt(it->second.connection);
  hooks_.WakeHeld();
  return true;
}

void Database::Disconnect(const std::string& user) {
  {
    // The connection's socket stays open while its session is registered: the session
    // unregisters before its connection closes.
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    for (auto& [id, session] : sessions_) {
      if (session.user != Upper(user)) continue;
      *session.cancelled = true;
      sqlite3_interrupt(session.connection);
      if (session.socket >= 0) ::shutdown(session.socket, SHUT_RDWR);
    }
  }
  hooks_.WakeHeld();
}

int Database::NewSessionId() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ++lastSession_;
}

}  // namespace orastandin
