// The client's bounds for waiting on a server that stops answering: SQLNET.RECV_TIMEOUT and
// SQLNET.SEND_TIMEOUT of sqlnet.ora, read from the first folder of the tnsnames.ora search
// that holds the file. Read at each attach, so a changed file counts for the next
// connection. Used by the server connection.
#pragma once
#include <string>

namespace orastandin {

struct NetTimeouts {
  int receiveMs = 0;  // 0: wait as long as it takes
  int sendMs = 0;
};

// The two settings of a sqlnet.ora text. Values are seconds, or a number with the unit
// ms, sec or min; a value that is no such number (or 0) sets no bound.
NetTimeouts ParseNetTimeouts(const std::string& sqlnetText);

// The settings of the sqlnet.ora the client finds (none without one).
NetTimeouts ReadNetTimeouts();

}  // namespace orastandin
