// The Oracle client configuration exports: where tnsnames.ora lies, and its aliases.
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/OracleClientConfig.h"

using namespace setrix;

const char* GetTNSNamesPath() {
    // The cached path itself goes to the host; a failed search leaves what it reached.
    try {
        TnsNamesPath();
    } catch (...) {
    }
    return State().TnsNamesPath.c_str();
}

const char* GetOracleAliasList(const char* tnsNamesPath) {
    return Guarded<const char*>("\r\n", [&] {
        // A copy first: the host may pass back the very path GetTNSNamesPath returned.
        State().TnsNamesPath = Arg(tnsNamesPath);
        LoadOracleAliases();
        return ReturnText(platform::Trim(State().OracleAliases.JoinedText()) + "\r\n");
    });
}
