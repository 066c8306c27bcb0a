#include "tests/native/OracleServerTestSupport.h"

#include <unistd.h>

#include <cstdio>

#include "standins/oracle/protocol/OracleFormats.h"

namespace orastandin::testing {

void ServerTest::SetUp() {
  char name[] = "/tmp/oracle-standin-XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  std::remove(name);
  path_ = name;
  db_ = std::make_unique<Database>(path_, "SETRIX", "Setrix9 Oracle database stand-in Release 9.2.0.1.0 - Production");
  db_->AddAccount("SCOTT", "TIGER", false);
  db_->AddAccount("SYS", "CHANGE_ON_INSTALL", true);
  db_->SetLockWait(std::chrono::milliseconds(200));
  session_ = Logon();
}

void ServerTest::TearDown() {
  session_.reset();
  db_.reset();
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
}

std::unique_ptr<Session> ServerTest::Logon(const std::string& user, const std::string& password, int mode) {
  auto s = std::make_unique<Session>(*db_);
  s->Logon(user, password, "SETRIX", mode, false);
  return s;
}

ExecuteReply ServerTest::Exec(Session& s, const std::string& sql, const std::vector<BindValue>& binds) {
  ExecuteRequest r;
  r.sql = sql;
  std::vector<Value> row;
  for (const auto& b : binds) {
    r.bindNames.push_back(b.name);
    row.push_back(b.value);
  }
  r.iterations.push_back(row);
  return s.Execute(r);
}

std::string TextOf(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null: return "";
    case Value::Kind::Integer: return NumberText(v.integer);
    case Value::Kind::Real: return NumberText(v.real);
    default: return v.bytes;
  }
}

std::string ServerTest::Scalar(Session& s, const std::string& sql, const std::vector<BindValue>& binds) {
  ExecuteReply r = Exec(s, sql, binds);
  if (r.rows.empty() || r.rows[0].empty()) return "<no rows>";
  return TextOf(r.rows[0][0]);
}

int ServerTest::ErrorOf(Session& s, const std::string& sql, std::string* text) {
  try {
    Exec(s, sql);
  } catch (const OraError& e) {
    if (text) *text = e.Text();
    return e.Code();
  }
  return 0;
}

}  // namespace orastandin::testing
