// What all sessions of one server share: the database file, the accounts, sequences,
// row locks across sessions and the test hooks.
#pragma once
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orastandin {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

struct Account {
  std::string password;
  bool privileged = false;  // may log on AS SYSDBA / SYSOPER
};

// Row locks held by sessions until they commit or roll back.
class RowLocks {
 public:
  // Locks the rows for the session; a row another session holds: ORA-00054 with nowait,
  // else a wait of waitSeconds (or the default) and then ORA-30006 / ORA-00060.
  void Acquire(int session, const std::string& table, const std::vector<std::int64_t>& rows, bool nowait,
               int waitSeconds, bool forDml);
  void ReleaseAll(int session);
  // How many row locks the session has taken (a savepoint's mark); ReleaseSince gives back
  // those taken after the mark (a rollback to the savepoint).
  std::size_t Mark(int session);
  void ReleaseSince(int session, std::size_t mark);
  void SetDefaultWait(std::chrono::milliseconds wait) { defaultWait_ = wait; }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::map<std::pair<std::string, std::int64_t>, int> owners_;
  std::map<int, std::vector<std::pair<std::string, std::int64_t>>> taken_;  // per session, in order
  std::chrono::milliseconds defaultWait_{5000};
};

// Sequences are not transactional: NEXTVAL is served from memory and kept in the file.
class Sequences {
 public:
  void Load(sqlite3* db);
  void Create(sqlite3* db, const std::string& name, std::int64_t start, std::int64_t increment);
  void Drop(sqlite3* db, const std::string& name);
  std::int64_t Next(const std::string& name);
  bool Exists(const std::string& name);
  void Save(sqlite3* db);

 private:
  struct Sequence {
    std::int64_t next;
    std::int64_t increment;
  };
  std::mutex mutex_;
  std::map<std::string, Sequence> sequences_;
};

// "Fail the n-th call of an operation", "drop the connection", "answer late", "hold the call
// until a test releases it" (a break ends a held call with ORA-01013).
struct Hook {
  // Info: success with information (execute); Release: lets one held call of the operation
  // (and user) go on, also one that is held only later.
  // Disconnect: ends at once the connections of the user's sessions (not kept as a hook).
  enum class Action { Fail, Drop, Delay, Info, Hold, Release, Disconnect };
  std::string operation;  // logon, execute, commit, rollback, logoff, version
  int nth = 1;            // 0: every call
  Action action = Action::Fail;
  int code = 0;           // ORA code for Fail
  int delayMs = 0;        // for Delay
  std::string user;       // only calls of this user's sessions count; empty: all
  int seen = 0;
};

class Hooks {
 public:
  void Install(Hook hook);
  // Counts a call of the operation and returns the hook that fires on it, if any.
  std::optional<Hook> Next(const std::string& operation, const std::string& user);
  // Waits until a release for the hook's operation and user comes or a break sets cancelled
  // (also one that came before the call: the break is spent on it); answers whether it was
  // released.
  bool Hold(const Hook& hook, std::atomic<bool>& cancelled);
  // Wakes held calls to look at their cancel flags.
  void WakeHeld();
  // "operation:nth:fail:code", "operation:nth:drop", "operation:nth:delay:ms",
  // "operation:nth:hold", "operation:0:release", "execute:nth:info:code", each optionally
  // "@USER"; "session:0:disconnect@USER".
  static Hook Parse(const std::string& spec);

 private:
  std::mutex mutex_;
  std::condition_variable held_;
  std::vector<Hook> hooks_;
  // Releases not yet taken, by operation and user.
  std::map<std::string, int> releases_;
};

class Database {
 public:
  Database(std::string path, std::string service, std::string banner);

  SqliteHandle OpenConnection();
  // Accounts live in the database file; db is the connection that writes (a session's, or null
  // for the server's own).
  void AddAccount(const std::string& user, const std::string& password, bool privileged, sqlite3* db = nullptr);
  void DropAccount(const std::string& user, sqlite3* db);
  std::optional<Account> FindAccount(const std::string& user);
  bool IsUserName(const std::string& name);

  const std::string& Service() const { return service_; }
  const std::string& Banner() const { return banner_; }
  RowLocks& Locks() { return locks_; }
  // How long a session waits for a row lock or for another session's writes (connections opened later).
  void SetLockWait(std::chrono::milliseconds wait);
  std::chrono::milliseconds LockWait() const { return lockWait_; }
  Sequences& SequenceStore() { return sequences_; }
  Hooks& TestHooks() { return hooks_; }
  int NewSessionId();
  // Sessions that a break from another connection can reach: the id and key a log-on hands out.
  // socket: the session's connection (-1: none).
  void RegisterSession(int id, const std::string& key, sqlite3* connection, std::atomic<bool>* cancelled, int socket);
  void SessionUser(int id, const std::string& user);  // "" after a log-off
  void UnregisterSession(int id);
  // Ends the connections of the user's sessions, as an administrator's kill would; each such
  // session rolls back when its connection ends. A client may die with its connection kept
  // open by the system it ran on, and its locks with it.
  void Disconnect(const std::string& user);
  bool Interrupt(int id, const std::string& key);  // interrupts what the session runs
  // Counts changes of the stored program units (types among them) and of object tables, so
  // that sessions renew their SQL functions and the object names they know.
  void ProgramsChanged() { ++programsVersion_; }
  int ProgramsVersion() const { return programsVersion_; }

 private:
  void CreateCatalog(sqlite3* db);

  std::string path_, service_, banner_;
  std::mutex mutex_;
  std::map<std::string, Account> accounts_;
  int lastSession_ = 0;
  std::chrono::milliseconds lockWait_{5000};
  std::atomic<int> programsVersion_{0};
  std::mutex sessionsMutex_;
  struct Breakable {
    std::string key;
    sqlite3* connection;
    std::atomic<bool>* cancelled;
    int socket;
    std::string user;
  };
  std::map<int, Breakable> sessions_;
  RowLocks locks_;
  Sequences sequences_;
  Hooks hooks_;
};

// Runs SQL that must succeed (the server's own catalog work).
void ExecOrThrow(sqlite3* db, const std::string& sql);

}  // namespace orastandin
