#include "standins/oracle/client/ServerConnection.h"

#include <ws2tcpip.h>

#include <cstring>
#include <mutex>

#include "standins/oracle/protocol/OraError.h"

namespace orastandin {

namespace {
void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

[[noreturn]] void ThrowServerError(int code) { throw OraError(code); }
}  // namespace

ServerConnection::ServerConnection(const ServerAddress& address) : address_(address) {
  StartWinsock();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found) != 0 || !found)
    ThrowServerError(12545);
  sockaddr_in target{};
  std::memcpy(&target, found->ai_addr, sizeof target);
  freeaddrinfo(found);

  socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == INVALID_SOCKET) ThrowServerError(12541);
  u_long nonBlocking = 1;
  ioctlsocket(socket_, FIONBIO, &nonBlocking);
  int rc = ::connect(socket_, reinterpret_cast<sockaddr*>(&target), sizeof target);
  if (rc == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
    closesocket(socket_);
    ThrowServerError(12541);
  }
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket_, &writable);
  FD_SET(socket_, &failed);
  timeval wait{address.connectTimeoutMs / 1000, (address.connectTimeoutMs % 1000) * 1000};
  int ready = select(0, nullptr, &writable, &failed, &wait);
  int error = 0;
  int length = sizeof error;
  if (ready > 0) getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  if (ready <= 0 || FD_ISSET(socket_, &failed) || error != 0) {
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
    ThrowServerError(ready == 0 ? 12535 : 12541);
  }
  // The socket stays non-blocking: every send and receive waits through Ready, within its bound.
  BOOL noDelay = TRUE;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
}

void SendBreak(const ServerAddress& address, std::int64_t sessionId, const std::string& key) {
  ServerConnection side(address);
  WireWriter w;
  w.U8(static_cast<std::uint8_t>(Request::Break));
  w.I64(sessionId);
  w.Str(key);
  side.Call(w);
}

ServerConnection::~ServerConnection() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

void ServerConnection::Break(int code) {
  broken_ = true;
  throw OraError(code);
}

bool ServerConnection::Ready(bool forWriting, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket_, &set);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int ready = select(0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, nullptr,
                           timeoutMs > 0 ? &wait : nullptr);
  if (ready == SOCKET_ERROR) Break(3113);
  return ready > 0;
}

void ServerConnection::Send(const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    int n = ::send(socket_, data.data() + done, static_cast<int>(data.size() - done), 0);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
      // The server takes nothing more: it has stopped reading.
      if (!Ready(true, address_.timeouts.sendMs)) Break(12608);
      continue;
    }
    if (n <= 0) Break(3113);
    done += static_cast<std::size_t>(n);
  }
}

std::string ServerConnection::ReceiveFrame(int timeoutMs, int timeoutCode) {
  auto receive = [&](char* buffer, std::size_t size) {
    while (size > 0) {
      // The reply may still come after a timeout: the channel is out of step.
      if (!Ready(false, timeoutMs)) Break(timeoutCode);
      int n = ::recv(socket_, buffer, static_cast<int>(size), 0);
      if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
      if (n <= 0) Break(3113);
      buffer += n;
      size -= static_cast<std::size_t>(n);
    }
  };
  unsigned char header[4];
  receive(reinterpret_cast<char*>(header), 4);
  std::uint32_t length = FrameLength(header);
  if (length == 0 || length > MaxFrameSize) Break(3113);
  std::string payload(length, '\0');
  receive(payload.data(), length);
  return payload;
}

std::string ServerConnection::Call(const WireWriter& request, int timeoutMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (broken_ || socket_ == INVALID_SOCKET) ThrowServerError(3114);
  Send(Frame(request.Data()));
  std::string payload = timeoutMs > 0 ? ReceiveFrame(timeoutMs, 12535)
                                      : ReceiveFrame(address_.timeouts.receiveMs, 12609);
  WireReader reader(payload);
  if (static_cast<ReplyStatus>(reader.U8()) == ReplyStatus::Error) {
    ErrorReply e = reader.Error();
    throw OraError::Verbatim(e.code, e.text, e.offset);
  }
  return payload.substr(1);
}

}  // namespace orastandin
