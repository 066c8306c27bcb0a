#include "standins/oracle/server/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

#include "standins/oracle/protocol/Wire.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/server/Session.h"

namespace orastandin {

namespace {

class SocketOwner {
 public:
  explicit SocketOwner(int fd) : fd_(fd) {}
  ~SocketOwner() { ::close(fd_); }
  SocketOwner(const SocketOwner&) = delete;
  SocketOwner& operator=(const SocketOwner&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

bool ReadFully(int fd, char* buffer, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::recv(fd, buffer, size, 0);
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteFully(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadFrame(int fd, std::string& payload) {
  unsigned char header[4];
  if (!ReadFully(fd, reinterpret_cast<char*>(header), 4)) return false;
  std::uint32_t length = FrameLength(header);
  if (length > MaxFrameSize) return false;
  payload.resize(length);
  return length == 0 || ReadFully(fd, payload.data(), length);
}

const char* OperationName(Request r) {
  switch (r) {
    case Request::Logon: return "logon";
    case Request::Logoff: return "logoff";
    case Request::Execute: return "execute";
    case Request::Commit: return "commit";
    case Request::Rollback: return "rollback";
    case Request::Version: return "version";
    case Request::Break: return "break";
    case Request::SetHook: return "sethook";
    case Request::LobStore: return "lobstore";
    case Request::FileRead: return "fileread";
    case Request::ObjectFlush: return "objectflush";
  }
  return "";
}

}  // namespace

void ServeConnection(Database& database, int socket) {
  SocketOwner owner(socket);
  Session session(database, socket);
  std::string payload;
  while (ReadFrame(socket, payload)) {
    WireWriter reply;
    try {
      WireReader in(payload);
      auto request = static_cast<Request>(in.U8());
      std::string user = session.User();
      if (request == Request::Logon) user = WireReader(payload.substr(1)).Str();
      std::optional<Hook> hook = database.TestHooks().Next(OperationName(request), user);
      if (hook) {
        if (hook->action == Hook::Action::Drop) return;
        if (hook->action == Hook::Action::Delay) std::this_thread::sleep_for(std::chrono::milliseconds(hook->delayMs));
        if (hook->action == Hook::Action::Fail) throw OraError(hook->code);
        if (hook->action == Hook::Action::Hold && !database.TestHooks().Hold(*hook, session.CancelFlag()))
          throw OraError(1013);
      }
      bool withInfo = hook && hook->action == Hook::Action::Info;
      WireWriter body;
      switch (request) {
        case Request::Logon: {
          std::string user = in.Str(), password = in.Str(), service = in.Str();
          int mode = static_cast<int>(in.I64());
          bool external = in.U8() != 0;
          session.Logon(user, password, service, mode, external);
          body.Str(database.Banner());
          body.I64(session.Id());
          body.Str(session.BreakKey());
          break;
        }
        case Request::Logoff: session.Logoff(); break;
        case Request::Execute: {
          ExecuteReply result = session.Execute(in.Execute());
          if (withInfo) result.warning = {hook->code, OraError::TextOf(hook->code), 0};
          body.Reply(result);
          break;
        }
        case Request::Commit:
          if (!session.LoggedOn()) throw OraError(1012);
          session.Commit();
          break;
        case Request::Rollback:
          if (!session.LoggedOn()) throw OraError(1012);
          session.Rollback();
          break;
        case Request::Version: body.Str(database.Banner()); break;
        case Request::Break: {  // from another connection: stop what that session runs
          int id = static_cast<int>(in.I64());
          std::string key = in.Str();
          database.Interrupt(id, key);
          break;
        }
        case Request::LobStore: session.StoreLob(in.Val()); break;
        case Request::ObjectFlush: {
          const bool remove = in.U8() != 0;
          Value ref = in.Val();
          session.FlushObject(remove, ref, in.Val());
          break;
        }
        case Request::FileRead: {
          std::string directory = in.Str(), name = in.Str(), contents;
          bool wanted = in.U8() != 0;
          body.U8(session.ReadFile(directory, name, wanted, contents) ? 1 : 0);
          body.Str(contents);
          break;
        }
        case Request::SetHook: {
          Hook hook = Hooks::Parse(in.Str());
          if (hook.action == Hook::Action::Disconnect)
            database.Disconnect(hook.user);
          else
            database.TestHooks().Install(std::move(hook));
          break;
        }
        default: throw OraError(3001);
      }
      reply.U8(static_cast<std::uint8_t>(ReplyStatus::Ok));
      payload = reply.Data() + body.Data();
    } catch (const OraError& e) {
      reply.U8(static_cast<std::uint8_t>(ReplyStatus::Error));
      reply.Error({e.Code(), e.Text(), e.Offset()});
      payload = reply.Data();
    } catch (const std::exception& e) {
      reply.U8(static_cast<std::uint8_t>(ReplyStatus::Error));
      reply.Error({600, "ORA-00600: internal error code, arguments: [" + std::string(e.what()) + "]\n", 0});
      payload = reply.Data();
    }
    if (!WriteFully(socket, Frame(payload))) return;
  }
}

Server::Server(Database& database, int port) : database_(database) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 64) != 0) {
    ::close(listener_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

Server::~Server() {
  if (listener_ >= 0) ::close(listener_);
}

void Server::Run() {
  while (!stopping_) {
    int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) {
      if (stopping_) break;
      continue;
    }
    int yes = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    std::thread([this, client] { ServeConnection(database_, client); }).detach();
  }
}

void Server::Stop() {
  stopping_ = true;
  ::shutdown(listener_, SHUT_RDWR);
}

}  // namespace orastandin
