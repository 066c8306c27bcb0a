// Log-on, transactions and row locks across sessions of the stand-in server.
#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/native/OracleServerTestSupport.h"

namespace orastandin::testing {
namespace {

class OracleSessionTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    Exec(*session_, "create table t (id number primary key, name varchar2(20))");
    Exec(*session_, "insert into t values (1, 'one')");
    Exec(*session_, "insert into t values (2, 'two')");
    Exec(*session_, "commit");
  }
  std::string Count(Session& s) { return Scalar(s, "select count(*) from t"); }
};

TEST_F(OracleSessionTest, LogonChecksAccountServiceAndPrivilege) {
  struct Case { const char* user; const char* password; const char* service; int mode; int code; };
  const Case cases[] = {
      {"scott", "tiger", "setrix", LogonDefault, 0},
      {"SCOTT", "wrong", "SETRIX", LogonDefault, 1017},
      {"NOBODY", "x", "SETRIX", LogonDefault, 1017},
      {"SCOTT", "", "SETRIX", LogonDefault, 1005},
      {"SCOTT", "TIGER", "OTHER", LogonDefault, 12514},
      {"SCOTT", "TIGER", "SETRIX", LogonSysDba, 1031},
      {"SYS", "change_on_install", "SETRIX", LogonSysDba, 0},
      // SYS logs on only with its privilege.
      {"SYS", "change_on_install", "SETRIX", LogonDefault, 28009},
      {" sys ", "change_on_install", "SETRIX", LogonDefault, 28009},
      // The name is taken without the blanks around it, not without those inside.
      {" sys ", "change_on_install", "SETRIX", LogonSysDba, 0},
      {"  scott ", "TIGER", "SETRIX", LogonSysDba, 1031},
      {"SC OTT", "TIGER", "SETRIX", LogonDefault, 1017},
      {"   ", "TIGER", "SETRIX", LogonDefault, 1017},
  };
  for (const auto& c : cases) {
    Session s(*db_);
    int code = 0;
    try {
      s.Logon(c.user, c.password, c.service, c.mode, false);
    } catch (const OraError& e) {
      code = e.Code();
      EXPECT_EQ(e.Text().back(), '\n');
    }
    EXPECT_EQ(code, c.code) << c.user << "/" << c.password << "@" << c.service;
    EXPECT_EQ(s.LoggedOn(), c.code == 0);
  }
  Session notLoggedOn(*db_);
  EXPECT_EQ(ErrorOf(notLoggedOn, "select * from dual"), 1012);
}

TEST_F(OracleSessionTest, PrivilegedUsersManageAccounts) {
  EXPECT_EQ(ErrorOf(*session_, "create user orvel identified by secret"), 1031);
  auto sys = Logon("SYS", "CHANGE_ON_INSTALL", LogonSysDba);
  Exec(*sys, "create user orvel identified by secret default tablespace users");
  EXPECT_EQ(ErrorOf(*sys, "create user orvel identified by other"), 1920);
  auto orvel = Logon("orvel", "SECRET");
  EXPECT_TRUE(orvel->LoggedOn());
  EXPECT_EQ(Scalar(*sys, "select count(*) from all_users where username = 'ORVEL'"), "1");
  Exec(*sys, "alter user orvel identified by changed");
  EXPECT_THROW(Logon("ORVEL", "SECRET"), OraError);
  Exec(*sys, "grant sysdba to orvel");
  Session privileged(*db_);
  privileged.Logon("ORVEL", "changed", "SETRIX", LogonSysDba, false);
  Exec(*sys, "drop user orvel cascade");
  EXPECT_EQ(ErrorOf(*sys, "drop user orvel"), 1918);
  EXPECT_THROW(Logon("ORVEL", "changed"), OraError);
}

TEST_F(OracleSessionTest, OtherSessionsSeeOnlyCommittedWork) {
  auto other = Logon();
  Exec(*session_, "insert into t values (3, 'three')");
  EXPECT_EQ(Count(*session_), "3");
  EXPECT_EQ(Count(*other), "2");
  session_->Commit();
  EXPECT_EQ(Count(*other), "3");
}

TEST_F(OracleSessionTest, RollbackDiscardsAndSavepointsUndoPart) {
  Exec(*session_, "delete from t where id = 1");
  session_->Rollback();
  EXPECT_EQ(Count(*session_), "2");
  Exec(*session_, "insert into t values (3, 'three')");
  Exec(*session_, "SAVEPOINT LOCK_Q1");
  Exec(*session_, "insert into t values (4, 'four')");
  Exec(*session_, "ROLLBACK TO SAVEPOINT LOCK_Q1");
  Exec(*session_, "set transaction read write");
  Exec(*session_, "lock table t in exclusive mode nowait");
  session_->Commit();
  EXPECT_EQ(Count(*session_), "3");
}

TEST_F(OracleSessionTest, UncommittedWorkIsLostWhenTheSessionEnds) {
  auto other = Logon();
  Exec(*other, "insert into t values (3, 'three')");
  other.reset();
  EXPECT_EQ(Count(*session_), "2");
}

TEST_F(OracleSessionTest, DdlCommitsTheOpenTransaction) {
  Exec(*session_, "insert into t values (3, 'three')");
  Exec(*session_, "create table u (a number)");
  session_->Rollback();
  EXPECT_EQ(Count(*session_), "3");
}

TEST_F(OracleSessionTest, RowLocksHoldUntilCommit) {
  auto other = Logon();
  Exec(*session_, "select * from t where id = 1 for update nowait");
  std::string text;
  EXPECT_EQ(ErrorOf(*other, "SELECT * FROM t\nWHERE id = 1\nFOR UPDATE NOWAIT", &text), 54);
  EXPECT_EQ(text, "ORA-00054: resource busy and acquire with NOWAIT specified\n");
  EXPECT_EQ(ErrorOf(*other, "select * from t where id = 2 for update nowait"), 0);
  EXPECT_EQ(ErrorOf(*other, "select * from t where id = 1 for update wait 0"), 30006);
  other->Rollback();
  session_->Commit();
  EXPECT_EQ(ErrorOf(*other, "select * from t where id = 1 for update nowait"), 0);
}

// The locks taken after a savepoint go with a rollback to it; those taken before stay.
TEST_F(OracleSessionTest, RollbackToASavepointReleasesTheLocksTakenSince) {
  auto other = Logon();
  Exec(*session_, "select * from t where id = 1 for update");
  Exec(*session_, "savepoint s1");
  Exec(*session_, "select * from t where id = 2 for update nowait");
  Exec(*session_, "update t set name = 'drei' where id = 3");
  Exec(*session_, "savepoint s2");
  Exec(*session_, "select * from t where id = 1 for update");  // held already: not taken again
  Exec(*session_, "rollback to savepoint s1");
  const struct {
    int id;
    int code;
  } rows[] = {{1, 54}, {2, 0}, {3, 0}};
  for (const auto& row : rows)
    EXPECT_EQ(ErrorOf(*other, "select * from t where id = " + std::to_string(row.id) + " for update nowait"), row.code)
        << row.id;
  EXPECT_EQ(ErrorOf(*session_, "rollback to savepoint s2"), 1086);  // gone with the rollback to s1
  EXPECT_EQ(ErrorOf(*session_, "select * from t where id = 2 for update nowait"), 54);  // the other holds it now
  other->Rollback();
  session_->Commit();
  EXPECT_EQ(ErrorOf(*other, "select * from t where id = 1 for update nowait"), 0);
}

TEST_F(OracleSessionTest, LockTableHoldsOtherWritersOff) {
  auto other = Logon();
  Exec(*session_, "lock table t in exclusive mode");
  EXPECT_EQ(ErrorOf(*other, "lock table t in exclusive mode nowait"), 54);
  EXPECT_EQ(ErrorOf(*other, "insert into t values (9, 'nine')"), 4021);
  session_->Commit();
  EXPECT_EQ(ErrorOf(*other, "insert into t values (9, 'nine')"), 0);
}

TEST_F(OracleSessionTest, UpdatedRowsAreLockedAgainstOtherSessions) {
  auto other = Logon();
  Exec(*session_, "update t set name = 'uno' where id = 1");
  EXPECT_EQ(ErrorOf(*other, "select * from t where id = 1 for update nowait"), 54);
  EXPECT_EQ(ErrorOf(*other, "select * from t where id = 2 for update nowait"), 0);
  session_->Rollback();
  EXPECT_EQ(ErrorOf(*other, "select * from t where id = 1 for update nowait"), 0);
}

TEST_F(OracleSessionTest, ConcurrentSessionsCommitEveryRow) {
  db_->SetLockWait(std::chrono::milliseconds(5000));
  Exec(*session_, "create sequence ids");
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int w = 0; w < 6; ++w)
    writers.emplace_back([&] {
      try {
        auto s = Logon();
        for (int i = 0; i < 40; ++i) {
          Exec(*s, "insert into t values (ids.nextval + 100, 'w')");
          s->Commit();
        }
      } catch (const std::exception&) {
        ++failures;
      }
    });
  for (auto& w : writers) w.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Count(*session_), "242");
  EXPECT_EQ(Scalar(*session_, "select count(distinct id) from t"), "242");
}

// A function of the session's SQL engine that a statement calls as it starts running, so
// that a test knows the statement runs before it breaks it.
class StartSignal {
 public:
  explicit StartSignal(sqlite3* connection) {
    sqlite3_create_function(connection, "RUN_STARTED", 0, SQLITE_UTF8, this, &Started, nullptr, nullptr);
  }
  void Await() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return started_; });
    started_ = false;
  }

 private:
  static void Started(sqlite3_context* context, int, sqlite3_value**) {
    auto* self = static_cast<StartSignal*>(sqlite3_user_data(context));
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->started_ = true;
    }
    self->changed_.notify_all();
    sqlite3_result_int(context, 1);
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
};

TEST_F(OracleSessionTest, ABreakStopsTheRunningCall) {
  struct Case { const char* sql; };
  const Case cases[] = {
      {"with recursive c(x) as (select run_started() from dual union all select x + 1 from c) select count(*) from c"},
      {"declare n number := run_started(); begin loop n := n + 1; end loop; end;"},
  };
  StartSignal signal(session_->Connection());
  for (const auto& c : cases) {
    std::atomic<int> code{0};
    std::thread running([&] { code = ErrorOf(*session_, c.sql); });
    signal.Await();
    EXPECT_TRUE(db_->Interrupt(session_->Id(), session_->BreakKey()));
    running.join();
    EXPECT_EQ(code.load(), 1013) << c.sql;
  }
  EXPECT_FALSE(db_->Interrupt(session_->Id(), "wrong key"));
  EXPECT_EQ(Count(*session_), "2");  // the next call runs normally
}

TEST_F(OracleSessionTest, StatementTypeAndRowCounts) {
  EXPECT_EQ(Exec(*session_, "update t set name = 'x'").rowsAffected, 2);
  EXPECT_EQ(Exec(*session_, "update t set name = 'x'").statementType, 2);
  EXPECT_EQ(Exec(*session_, "delete from t where id = 2").rowsAffected, 1);
  EXPECT_EQ(Exec(*session_, "select * from t").statementType, 1);
  EXPECT_EQ(Exec(*session_, "truncate table t").statementType, 0);
  EXPECT_EQ(Count(*session_), "0");
}

TEST_F(OracleSessionTest, DescribeOnlyReturnsColumnsWithoutRows) {
  ExecuteRequest r;
  r.sql = "select id, name from t";
  r.describeOnly = true;
  ExecuteReply reply = session_->Execute(r);
  EXPECT_EQ(reply.columns.size(), 2u);
  EXPECT_TRUE(reply.rows.empty());
  r.sql = "select name || '!' from t order by id";  // computed: sized by its longest value
  EXPECT_EQ(session_->Execute(r).columns[0].size, 4);
  r.sql = "delete from t";
  session_->Execute(r);
  EXPECT_EQ(Count(*session_), "2");
}

}  // namespace
}  // namespace orastandin::testing
