// The server's request loop over a socket pair: replies, errors and the test hooks.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "standins/oracle/server/Server.h"
#include "tests/native/OracleServerTestSupport.h"

namespace orastandin::testing {
namespace {

class OracleProtocolTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    client_ = fds[0];
    server_ = std::thread([this, fd = fds[1]] { ServeConnection(*db_, fd); });
  }
  void TearDown() override {
    if (client_ >= 0) close(client_);
    server_.join();
    ServerTest::TearDown();
  }

  // Sends one request; returns the reply payload after its status, or nothing if the connection dropped.
  // fd: another connection to the server (default: the test's own).
  bool Call(const WireWriter& request, ReplyStatus& status, std::string& body, int fd = -1) {
    if (fd < 0) fd = client_;
    std::string frame = Frame(request.Data());
    if (write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return false;
    unsigned char header[4];
    if (recv(fd, header, 4, MSG_WAITALL) != 4) return false;
    std::string payload(FrameLength(header), '\0');
    if (!payload.empty() && recv(fd, payload.data(), payload.size(), MSG_WAITALL) != static_cast<ssize_t>(payload.size()))
      return false;
    status = static_cast<ReplyStatus>(payload[0]);
    body = payload.substr(1);
    return true;
  }
  ReplyStatus Logon() {
    WireWriter w;
    w.U8(static_cast<std::uint8_t>(Request::Logon));
    w.Str("SCOTT"); w.Str("TIGER"); w.Str("SETRIX"); w.I64(0); w.U8(0);
    ReplyStatus status; std::string body;
    EXPECT_TRUE(Call(w, status, body));
    return status;
  }
  bool Execute(const std::string& sql, ReplyStatus& status, std::string& body) {
    WireWriter w;
    w.U8(static_cast<std::uint8_t>(Request::Execute));
    ExecuteRequest r;
    r.sql = sql;
    w.Execute(r);
    return Call(w, status, body);
  }
  void Hook(const std::string& spec, int fd = -1) {
    WireWriter w;
    w.U8(static_cast<std::uint8_t>(Request::SetHook));
    w.Str(spec);
    ReplyStatus status; std::string body;
    ASSERT_TRUE(Call(w, status, body, fd));
    ASSERT_EQ(status, ReplyStatus::Ok);
  }

  int client_ = -1;
  std::thread server_;
};

TEST_F(OracleProtocolTest, ExecuteRepliesCarryRowsAndErrors) {
  ASSERT_EQ(Logon(), ReplyStatus::Ok);
  ReplyStatus status; std::string body;
  ASSERT_TRUE(Execute("select dummy from dual", status, body));
  ASSERT_EQ(status, ReplyStatus::Ok);
  ExecuteReply reply = WireReader(body).Reply();
  ASSERT_EQ(reply.rows.size(), 1u);
  EXPECT_EQ(reply.rows[0][0].bytes, "X");
  EXPECT_EQ(reply.dateFormat, "DD-MON-RR");
  ASSERT_TRUE(Execute("select * from nowhere", status, body));
  ASSERT_EQ(status, ReplyStatus::Error);
  EXPECT_EQ(WireReader(body).Error().code, 942);
}

TEST_F(OracleProtocolTest, HookFailsTheNthCallOnly) {
  Hook("execute:2:fail:3113");
  ASSERT_EQ(Logon(), ReplyStatus::Ok);
  ReplyStatus status; std::string body;
  ASSERT_TRUE(Execute("select 1 from dual", status, body));
  EXPECT_EQ(status, ReplyStatus::Ok);
  ASSERT_TRUE(Execute("select 1 from dual", status, body));
  ASSERT_EQ(status, ReplyStatus::Error);
  ErrorReply e = WireReader(body).Error();
  EXPECT_EQ(e.code, 3113);
  EXPECT_EQ(e.text, "ORA-03113: end-of-file on communication channel\n");
  ASSERT_TRUE(Execute("select 1 from dual", status, body));
  EXPECT_EQ(status, ReplyStatus::Ok);
}

TEST_F(OracleProtocolTest, HookDropsTheConnectionAndItsWork) {
  ASSERT_EQ(Logon(), ReplyStatus::Ok);
  ReplyStatus status; std::string body;
  ASSERT_TRUE(Execute("create table t (a number)", status, body));
  ASSERT_TRUE(Execute("insert into t values (1)", status, body));
  Hook("commit:1:drop");
  WireWriter commit;
  commit.U8(static_cast<std::uint8_t>(Request::Commit));
  EXPECT_FALSE(Call(commit, status, body));
  close(client_);
  client_ = -1;
  server_.join();
  server_ = std::thread([] {});
  EXPECT_EQ(Scalar(*session_, "select count(*) from t"), "0");
}

// A client that died may leave its connection open (the system it ran on keeps the socket):
// ending its sessions from another connection rolls back their work all the same.
TEST_F(OracleProtocolTest, DisconnectEndsTheUsersSessionsWhileTheirClientsHoldOn) {
  ASSERT_EQ(Logon(), ReplyStatus::Ok);
  ReplyStatus status; std::string body;
  ASSERT_TRUE(Execute("create table t (a number)", status, body));
  ASSERT_TRUE(Execute("insert into t values (1)", status, body));
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  std::thread other([this, fd = fds[1]] { ServeConnection(*db_, fd); });
  Hook("session:0:disconnect@scott", fds[0]);
  server_.join();  // the session's connection ended, its client end still open
  server_ = std::thread([] {});
  EXPECT_EQ(Scalar(*session_, "select count(*) from t"), "0");
  // The connection that asked goes on.
  Hook("execute:1:fail:942@nobody", fds[0]);
  close(fds[0]);
  other.join();
}

TEST(OracleHookSpec, ParsesActions) {
  Hook h = Hooks::Parse("logon:1:fail:1017");
  EXPECT_EQ(h.action, Hook::Action::Fail);
  EXPECT_EQ(h.code, 1017);
  EXPECT_EQ(Hooks::Parse("execute:0:delay:250").delayMs, 250);
  EXPECT_EQ(Hooks::Parse("commit:3:drop").nth, 3);
  EXPECT_EQ(Hooks::Parse("execute:1:info:24344").action, Hook::Action::Info);
  EXPECT_THROW(Hooks::Parse("commit:3:explode"), std::invalid_argument);
  // Without a user it would end every connection not logged on, the asking one too.
  EXPECT_THROW(Hooks::Parse("session:0:disconnect"), std::invalid_argument);
  EXPECT_EQ(Hooks::Parse("execute:1:fail:942@scott").user, "SCOTT");
}

TEST(OracleHookSpec, UserScopedHooksCountOnlyThatUsersCalls) {
  Hooks hooks;
  hooks.Install(Hooks::Parse("execute:2:fail:942@SCOTT"));
  EXPECT_FALSE(hooks.Next("execute", "OTHER"));
  EXPECT_FALSE(hooks.Next("execute", "SCOTT"));
  EXPECT_FALSE(hooks.Next("execute", "OTHER"));
  auto fired = hooks.Next("execute", "scott");
  ASSERT_TRUE(fired);
  EXPECT_EQ(fired->code, 942);
  EXPECT_FALSE(hooks.Next("execute", "SCOTT"));
}

TEST(OracleHookSpec, HeldCallsGoOnWhenReleasedOrBroken) {
  Hooks hooks;
  hooks.Install(Hooks::Parse("execute:1:hold@SCOTT"));
  auto held = hooks.Next("execute", "SCOTT");
  ASSERT_TRUE(held);
  EXPECT_EQ(held->action, Hook::Action::Hold);
  // A release sent before the call is held is kept for it; one release lets one call go.
  hooks.Install(Hooks::Parse("execute:0:release@SCOTT"));
  std::atomic<bool> cancelled{false};
  EXPECT_TRUE(hooks.Hold(*held, cancelled));
  bool released = true;
  std::thread call([&] { released = hooks.Hold(*held, cancelled); });
  cancelled = true;  // what a break does, before or while the call is held
  hooks.WakeHeld();
  call.join();
  EXPECT_FALSE(released);
  EXPECT_FALSE(cancelled);  // the break is spent on the call it ended
  std::thread released_call([&] { released = hooks.Hold(*held, cancelled); });
  hooks.Install(Hooks::Parse("execute:0:release@SCOTT"));
  released_call.join();
  EXPECT_TRUE(released);
}

}  // namespace
}  // namespace orastandin::testing
