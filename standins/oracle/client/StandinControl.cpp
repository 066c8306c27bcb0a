#include "standins/oracle/client/StandinControl.h"

#include "standins/oracle/client/ServerConnection.h"
#include "standins/oracle/client/TnsNames.h"

namespace orastandin {

void InstallServerHook(const std::string& serverName, const std::string& spec) {
  ServerConnection connection(ResolveServerName(serverName));
  WireWriter w;
  w.U8(static_cast<std::uint8_t>(Request::SetHook));
  w.Str(spec);
  connection.Call(w);
}

}  // namespace orastandin
