// One connection of the stand-in client to the stand-in server over Winsock, with the
// errors an Oracle client reports for it (no listener, timeout, end of channel).
#pragma once
#include <winsock2.h>

#include <mutex>
#include <string>

#include "standins/oracle/protocol/Wire.h"

namespace orastandin {

// The client's bounds for waiting on a server that stops answering, from sqlnet.ora.
struct NetTimeouts {
  int receiveMs = 0;  // 0: wait as long as it takes
  int sendMs = 0;
};

struct ServerAddress {
  std::string host = "127.0.0.1";
  int port = 1521;
  std::string service;
  int connectTimeoutMs = 10000;
  NetTimeouts timeouts;  // of every call once connected
};

class ServerConnection {
 public:
  // Throws OraError 12541 (nothing listening), 12535 (no answer in time), 12545 (unknown host).
  explicit ServerConnection(const ServerAddress& address);
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Sends a request and returns the reply body after an Ok status; an Error reply throws
  // OraError with the server's code, text and offset. A lost connection: ORA-03113, then ORA-03114.
  // The address's timeouts bound sending (ORA-12608) and waiting for the reply (ORA-12609);
  // a timeoutMs above 0 bounds the wait instead, with ORA-12535 (the log-on's bound). After a
  // timeout the channel is out of step: every later call gives ORA-03114.
  std::string Call(const WireWriter& request, int timeoutMs = 0);
  const ServerAddress& Address() const { return address_; }

 private:
  void Send(const std::string& data);
  std::string ReceiveFrame(int timeoutMs, int timeoutCode);
  // Waits until the socket can be read (or written); false when timeoutMs (above 0) passed.
  bool Ready(bool forWriting, int timeoutMs);
  [[noreturn]] void Break(int code);

  ServerAddress address_;
  std::mutex mutex_;  // one request at a time on the channel
  SOCKET socket_ = INVALID_SOCKET;
  bool broken_ = false;
};


// Asks the server, over a connection of its own, to stop what a session runs (its call then
// fails with ORA-01013). The id and key come with the session's log-on.
void SendBreak(const ServerAddress& address, std::int64_t sessionId, const std::string& key);

}  // namespace orastandin
