// Test control of the stand-in server from Windows programs: installs a hook that fails,
// drops or delays the n-th call of an operation ("execute:2:fail:942", "commit:1:drop",
// "logon:1:delay:3000"), or holds it until released ("execute:1:hold@USER", then
// "execute:0:release@USER"; a break ends the held call with ORA-01013), or ends at once the
// connections of a user's sessions ("session:0:disconnect@USER"), which then roll back.
// Used by tests of the client and of the Oracle layer.
#pragma once
#include <string>

namespace orastandin {

// serverName is resolved like a log-on's server name. Throws OraError.
void InstallServerHook(const std::string& serverName, const std::string& spec);

}  // namespace orastandin
