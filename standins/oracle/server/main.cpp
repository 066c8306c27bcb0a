// oracle-standin-server DATABASE PORT [options]: serves one SQLite database file as an
// Oracle server on 127.0.0.1. PORT 0 picks a free port; the chosen one is printed as
// "PORT <n>" (and written to --port-file).
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "standins/oracle/server/Database.h"
#include "standins/oracle/server/Server.h"

namespace {

orastandin::Server* running = nullptr;

void OnSignal(int) {
  if (running) running->Stop();
}

int Usage() {
  std::cerr << "usage: oracle-standin-server DATABASE PORT [--service NAME] [--user NAME/PASSWORD[/SYSDBA]]...\n"
               "         [--banner TEXT] [--hook OPERATION:NTH:fail:CODE|drop|delay:MS]... [--port-file FILE]\n"
               "         [--lock-wait-ms N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional, users, hooks;
  std::string service = "SETRIX", banner = "Setrix9 Oracle database stand-in Release 9.2.0.1.0 - Production", portFile;
  int lockWaitMs = 5000;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--service") service = value();
    else if (a == "--user") users.push_back(value());
    else if (a == "--banner") banner = value();
    else if (a == "--hook") hooks.push_back(value());
    else if (a == "--port-file") portFile = value();
    else if (a == "--lock-wait-ms") lockWaitMs = std::stoi(value());
    else if (a == "--database") positional.insert(positional.begin(), value());
    else if (a == "--port") positional.push_back(value());
    else if (a.rfind("--", 0) == 0) return Usage();
    else positional.push_back(a);
  }
  if (positional.size() != 2) return Usage();
  if (users.empty()) users = {"SCOTT/TIGER", "SYSTEM/MANAGER", "SYS/CHANGE_ON_INSTALL/SYSDBA"};
  try {
    orastandin::Database database(positional[0], service, banner);
    for (const auto& u : users) {
      std::size_t slash = u.find('/');
      if (slash == std::string::npos) return Usage();
      std::string name = u.substr(0, slash), rest = u.substr(slash + 1);
      bool privileged = false;
      std::size_t second = rest.find('/');
      if (second != std::string::npos) {
        privileged = rest.substr(second + 1) == "SYSDBA";
        rest = rest.substr(0, second);
      }
      database.AddAccount(name, rest, privileged);
    }
    for (const auto& h : hooks) database.TestHooks().Install(orastandin::Hooks::Parse(h));
    database.SetLockWait(std::chrono::milliseconds(lockWaitMs));
    orastandin::Server server(database, std::stoi(positional[1]));
    running = &server;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    if (!portFile.empty()) {
      std::ofstream out(portFile + ".tmp");
      out << server.Port() << "\n";
      out.close();
      std::rename((portFile + ".tmp").c_str(), portFile.c_str());
    }
    std::cout << "PORT " << server.Port() << std::endl;
    server.Run();
    running = nullptr;
    auto db = database.OpenConnection();
    database.SequenceStore().Save(db.get());
    // Connection threads may still be serving: leave without tearing down what they use.
    // Their uncommitted work is lost with the process, as it is when a connection drops.
    std::quick_exit(0);
  } catch (const std::exception& e) {
    std::cerr << "oracle-standin-server: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
