// One logged-on user of the server: its own SQLite connection, its transaction, its row
// locks, NLS settings and sequence values. Runs the statements a client sends.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "standins/oracle/protocol/Wire.h"
#include "standins/oracle/server/Database.h"
#include "standins/oracle/server/SqlTranslator.h"

namespace orastandin {

// Modes of a log-on, as the client passes them.
enum LogonMode { LogonDefault = 0, LogonSysDba = 2, LogonSysOper = 4 };

class Session {
 public:
  // socket: the connection the session serves, which Database::Disconnect may end (-1: none).
  explicit Session(Database& database, int socket = -1);
  ~Session();  // what was not committed is rolled back
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Logon(const std::string& user, const std::string& password, const std::string& service, int mode,
             bool externalCredentials);
  bool LoggedOn() const { return !user_.empty(); }
  int Id() const { return id_; }
  const std::string& BreakKey() const { return breakKey_; }
  // A break arrived while this call runs: ORA-01013.
  void CheckCancelled() const;
  // Set by a break from another connection.
  std::atomic<bool>& CancelFlag() { return cancelled_; }
  void Logoff();  // rolls back; the connection may log on again
  ExecuteReply Execute(const ExecuteRequest& request);
  void Commit();
  void Rollback();
  // Writes a LOB value back to the row it came from (a value returned with its place).
  void StoreLob(const Value& lob);
  // Writes an object of a client's cache to its object table: stores it under the REF's
  // object id, or deletes it.
  void FlushObject(bool remove, const Value& ref, const Value& object);
  // The contents of a file under a directory alias; ORA-22285 for an unknown alias, and for a
  // missing file unless only its existence is asked (then false).
  bool ReadFile(const std::string& directory, const std::string& name, bool contentsWanted, std::string& contents);

  // Used by the SQL functions and the PL/SQL runner.
  const std::string& User() const { return user_; }
  Database& Db() { return database_; }
  std::string NlsValue(const std::string& parameter) const;
  std::int64_t NextVal(const std::string& sequence);
  std::int64_t CurrVal(const std::string& sequence);

  // A translated statement run with values looked up by bind name.
  using BindLookup = std::function<const Value*(const std::string& name)>;
  struct Result {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;
    std::int64_t changes = 0;
    std::int64_t lastRowid = 0;
  };
  Result Run(const TranslatedSql& sql, const BindLookup& binds, bool describeOnly = false);
  TranslatedSql Translate(const std::string& sql) const { return translator_.Translate(sql); }
  // With the object constructs rewritten first.
  TranslatedSql Translate(std::vector<Token> tokens);
  // DML runs inside the session's write transaction.
  void BeginWrite();
  // The names of object types (with their type codes) and of object tables (with their types),
  // as the object constructs of statements were last read against; renewed by ObjectTables
  // when the catalogue changes (Database::ProgramsVersion).
  struct ObjectCatalog {
    int version = -1;
    std::map<std::string, std::string> types, tables;
  };
  ObjectCatalog& ObjectNames() { return objectNames_; }
  sqlite3* Connection() const { return db_.get(); }

 private:
  ExecuteReply ExecuteOne(const ExecuteRequest& request);
  bool ExecuteSessionCommand(const std::vector<Token>& tokens, ExecuteReply& reply);
  void SetNls(const std::string& parameter, const std::string& value);
  void ReturnInto(const TranslatedSql& sql, const std::vector<Value>& row, std::vector<BindValue>& out);
  // Stored functions become SQL functions of the connection; renewed when the units change.
  void RefreshStoredFunctions();

  struct StoredFunction {
    Session* session;
    std::string name;
  };

  Database& database_;
  int id_;
  SqliteHandle db_;
  SqlTranslator translator_;
  std::string user_;
  std::string breakKey_;
  std::atomic<bool> cancelled_{false};
  bool writing_ = false;
  std::map<std::string, std::string> nls_;
  std::map<std::string, std::int64_t> currval_;
  std::vector<std::pair<std::string, std::size_t>> savepoints_;
  ObjectCatalog objectNames_;  // in order, with their row-lock marks
  std::map<std::string, std::unique_ptr<StoredFunction>> functions_;
  int programsSeen_ = 0;
  std::map<std::string, StatementHandle> statements_;  // prepared texts, reused (after db_: freed first)
};

}  // namespace orastandin
