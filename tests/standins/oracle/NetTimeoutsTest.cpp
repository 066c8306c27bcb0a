// The client's bounds on waiting for a server that stops answering (sqlnet.ora's
// SQLNET.RECV_TIMEOUT and SQLNET.SEND_TIMEOUT): their values, where they are read from, and
// calls to a server of the test's own that answers the log-on and then nothing.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include "standins/oracle/client/TnsNames.h"
#include "standins/oracle/protocol/Wire.h"
#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

TEST(NetTimeouts, SecondsOrANumberWithItsUnit) {
  const struct {
    const char* text;
    int receiveMs, sendMs;
  } cases[] = {
      {"SQLNET.RECV_TIMEOUT = 30\nSQLNET.SEND_TIMEOUT=5\n", 30000, 5000},
      {"sqlnet.recv_timeout=500 ms\r\nsqlnet.send_timeout = 2min\r\n", 500, 120000},
      {"SQLNET.RECV_TIMEOUT = 10sec # a comment\n", 10000, 0},
      {"# SQLNET.RECV_TIMEOUT = 10\nNAMES.DIRECTORY_PATH = (TNSNAMES)\n", 0, 0},
      // Nothing that is not such a number sets a bound.
      {"SQLNET.RECV_TIMEOUT = 0\nSQLNET.SEND_TIMEOUT = soon\n", 0, 0},
      {"SQLNET.RECV_TIMEOUT = -5\nSQLNET.SEND_TIMEOUT = 3 hours\n", 0, 0},
      {"SQLNET.RECV_TIMEOUT_EXTRA = 7\nSQLNET.INBOUND_CONNECT_TIMEOUT = 9\n", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const NetTimeouts t = ParseNetTimeouts(c.text);
    EXPECT_EQ(t.receiveMs, c.receiveMs);
    EXPECT_EQ(t.sendMs, c.sendMs);
  }
}

std::string NewFolder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  const std::string folder = std::string(base) + "setrix-sqlnet-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

// TNS_ADMIN names a folder holding the given sqlnet.ora for the object's lifetime.
class SqlnetOra {
 public:
  explicit SqlnetOra(const std::string& text) : folder_(NewFolder()) {
    char previous[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("TNS_ADMIN", previous, MAX_PATH);
    if (n > 0 && n < MAX_PATH) previous_ = previous;
    std::ofstream(folder_ + "\\sqlnet.ora") << text;
    SetEnvironmentVariableA("TNS_ADMIN", folder_.c_str());
  }
  ~SqlnetOra() {
    SetEnvironmentVariableA("TNS_ADMIN", previous_.empty() ? nullptr : previous_.c_str());
    DeleteFileA((folder_ + "\\sqlnet.ora").c_str());
    RemoveDirectoryA(folder_.c_str());
  }

 private:
  std::string folder_, previous_;
};

TEST(NetTimeouts, EveryResolvedAddressCarriesTheSettingsOfTheFoundFile) {
  {
    SqlnetOra sqlnet("SQLNET.RECV_TIMEOUT = 4\nSQLNET.SEND_TIMEOUT = 250 ms\n");
    const ServerAddress a = ResolveServerName("127.0.0.1:1600/SETRIX");
    EXPECT_EQ(a.timeouts.receiveMs, 4000);
    EXPECT_EQ(a.timeouts.sendMs, 250);
    EXPECT_EQ(ResolveServerName("(DESCRIPTION=(ADDRESS=(HOST=x)(PORT=7))(CONNECT_DATA=(SID=Y)))").timeouts.receiveMs,
              4000);
  }
  SqlnetOra empty("");
  EXPECT_EQ(ResolveServerName("127.0.0.1:1600/SETRIX").timeouts.receiveMs, 0);
}

// A server that answers the log-on and then stops: it either takes what comes and never
// answers, or takes nothing more at all (its receive buffer kept small, so that a large
// request soon fills it).
class SilentServer {
 public:
  enum class After { ReadsButNeverAnswers, ReadsNothing };

  explicit SilentServer(After after) : after_(after) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int small = 4096;
    setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Serve(); });
  }
  ~SilentServer() {
    SetEvent(stop_);
    closesocket(listener_);  // ends an accept that never came
    thread_.join();
    CloseHandle(stop_);
  }
  std::string Name() const { return "127.0.0.1:" + std::to_string(port_) + "/SILENT"; }

 private:
  void Serve() {
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    if (ReadFrame(client)) {
      WireWriter reply;
      reply.U8(static_cast<std::uint8_t>(ReplyStatus::Ok));
      reply.Str("Silent stand-in Release 9.2.0.1.0 - Production");
      reply.I64(1);
      reply.Str("key");
      const std::string frame = Frame(reply.Data());
      send(client, frame.data(), static_cast<int>(frame.size()), 0);
      if (after_ == After::ReadsButNeverAnswers) {
        char buffer[4096];
        while (recv(client, buffer, sizeof buffer, 0) > 0) {
        }
      }
    }
    WaitForSingleObject(stop_, INFINITE);
    closesocket(client);
  }
  static bool ReadFrame(SOCKET s) {
    unsigned char header[4];
    if (!ReadFully(s, reinterpret_cast<char*>(header), 4)) return false;
    std::string payload(FrameLength(header), '\0');
    return ReadFully(s, payload.data(), payload.size());
  }
  static bool ReadFully(SOCKET s, char* data, std::size_t size) {
    while (size > 0) {
      const int n = recv(s, data, static_cast<int>(size), 0);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  After after_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  HANDLE stop_ = nullptr;
  std::thread thread_;
};

// Without the bounds these calls would wait for ever; with them each fails with the
// client's timeout error, and the connection, out of step, refuses what follows.
TEST(NetTimeouts, ACallToAServerThatStoppedFailsWithTheClientsTimeoutError) {
  const struct {
    const char* name;
    SilentServer::After after;
    const char* sqlnet;
    std::size_t statementSize;
    int code;
    const char* text;
  } cases[] = {
      {"receive", SilentServer::After::ReadsButNeverAnswers, "SQLNET.RECV_TIMEOUT = 1\n", 0, 12609,
       "ORA-12609: TNS: Receive timeout occurred\n"},
      // Far more than the two sides' socket buffers hold.
      {"send", SilentServer::After::ReadsNothing, "SQLNET.SEND_TIMEOUT = 1\n", 16u << 20, 12608,
       "ORA-12608: TNS: Send timeout occurred\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SqlnetOra sqlnet(c.sqlnet);
    SilentServer server(c.after);
    OciLibrary oci;
    OciConnection connection(oci, server.Name(), "SCOTT", "TIGER");
    ASSERT_EQ(connection.logonStatus, OCI_SUCCESS);
    EXPECT_EQ(connection.Run("SELECT 1 FROM DUAL -- " + std::string(c.statementSize, 'x'), 0), OCI_ERROR);
    std::string text;
    EXPECT_EQ(oci.LastError(&text), c.code);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(oci.TransCommit(connection.svc, oci.err, 0), OCI_ERROR);
    EXPECT_EQ(oci.LastError(), 3114);
  }
}

}  // namespace
}  // namespace orastandin::testing
