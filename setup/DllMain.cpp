// Load and unload of setrix.dll.
#include <windows.h>

#include "btrieve/engines/QbSession.h"
#include "oracle/core/CoreUnits.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraSession.h"
#include "platform/Forms.h"
#include "platform/ModuleUnits.h"
#include "setup/BtrieveIntlOptions.h"
#include "setup/ModuleState.h"

namespace {

// The Oracle library's units: the client loader, the generic layer, the session list.
platform::TModuleUnits& OracleUnits() {
    static platform::TModuleUnits units = [] {
        platform::TModuleUnits list;
        oracle::AddOciLoaderUnit(list);
        oracle::AddCoreUnits(list);
        oracle::AddOraSessionUnit(list);
        return list;
    }();
    return units;
}

// The access libraries' module start, in load order, then the library's own defaults.
void StartModule() {
    platform::RegisterFormClasses();
    OracleUnits().Start();
    btrieve::StartBtrieveLibrary(false);
    setrix::EnsureBtrieveIntlOptions();
}

// Reverse order of StartModule. Client libraries and sessions are released only on a
// dynamic unload: at process exit the loader lock is held and other threads are gone, so
// FreeLibrary and network teardown there could hang; the process takes them with it.
void StopModule(bool processExit) {
    setrix::ReleaseModuleState();
    if (!processExit) btrieve::StopBtrieveLibrary();
    if (!processExit) OracleUnits().Stop();
    platform::UnregisterFormClasses();
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            StartModule();
            break;
        case DLL_PROCESS_DETACH:
            StopModule(reserved != nullptr);
            break;
        default:
            break;
    }
    return TRUE;
}
