// The listener on 127.0.0.1: one thread and one session per client connection.
#pragma once
#include <atomic>
#include <string>

#include "standins/oracle/server/Database.h"

namespace orastandin {

class Server {
 public:
  // port 0 picks a free port; Port() tells which.
  Server(Database& database, int port);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  int Port() const { return port_; }
  void Run();   // accepts until Stop()
  void Stop();

 private:
  Database& database_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
};

// Serves one connection until the client logs off or the connection drops.
void ServeConnection(Database& database, int socket);

}  // namespace orastandin
