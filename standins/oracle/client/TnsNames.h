// Resolves a server name as an Oracle client does: an alias of tnsnames.ora (found
// through TNS_ADMIN, the registry, ORACLE_HOME or the client's own home), a
// "host[:port][/service]" text, or a literal connect descriptor; and reads the client's
// timeouts from the sqlnet.ora of the same folders.
#pragma once
#include <string>
#include <vector>

#include "standins/oracle/client/ServerConnection.h"

namespace orastandin {

// The folders searched for tnsnames.ora, in order.
std::vector<std::string> TnsSearchFolders();

// Parses one descriptor "(DESCRIPTION=(ADDRESS=(HOST=..)(PORT=..))(CONNECT_DATA=(SERVICE_NAME=..)))".
bool ParseDescriptor(const std::string& descriptor, ServerAddress& out);

// The descriptor of an alias in the text of a tnsnames.ora, or empty.
std::string FindAlias(const std::string& tnsnamesText, const std::string& alias);

// SQLNET.RECV_TIMEOUT and SQLNET.SEND_TIMEOUT of a sqlnet.ora text. Values are seconds, or
// a number with the unit ms, sec or min; a value that is no such number (or 0) sets no bound.
NetTimeouts ParseNetTimeouts(const std::string& sqlnetText);

// The timeouts of the first sqlnet.ora in the folders searched for tnsnames.ora (none
// without one). Read at each resolution, so a changed file counts for the next connection.
NetTimeouts ReadNetTimeouts();

// Throws OraError 12154 when the name cannot be resolved; an empty name uses LOCAL or
// TWO_TASK, else ORA-12560. The address carries the timeouts of the client's sqlnet.ora.
ServerAddress ResolveServerName(const std::string& name);

}  // namespace orastandin
