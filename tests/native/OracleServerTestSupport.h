// A fresh database file per test and sessions logged on to it.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "standins/oracle/server/Database.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/server/Session.h"

namespace orastandin::testing {

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<Session> Logon(const std::string& user = "SCOTT", const std::string& password = "TIGER",
                                 int mode = LogonDefault);
  ExecuteReply Exec(Session& s, const std::string& sql, const std::vector<BindValue>& binds = {});
  // The first cell of a query as text ("" for NULL); dates in their stored form.
  std::string Scalar(Session& s, const std::string& sql, const std::vector<BindValue>& binds = {});
  // The ORA code a statement fails with (0 if it succeeds).
  int ErrorOf(Session& s, const std::string& sql, std::string* text = nullptr);

  std::string path_;
  std::unique_ptr<Database> db_;
  std::unique_ptr<Session> session_;
};

std::string TextOf(const Value& v);

}  // namespace orastandin::testing
