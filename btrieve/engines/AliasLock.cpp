#include "btrieve/engines/AliasLock.h"

#include <windows.h>

#include "btrieve/engines/BtrSession.h"
#include "platform/Streams.h"
#include "platform/TestPoints.h"

namespace btrieve {

using platform::AnsiString;

AnsiString TAliasLock::MutexName(const AnsiString& aliasName) {
    // "Global\" reaches every session of the machine; a name holds no further backslash.
    AnsiString key = platform::AnsiUpperCase(AnsiString(kBtrieveRegistryRoot + 1) + "\\ALIASES\\" + aliasName);
    for (char& c : key)
        if (c == '\\') c = '/';
    return "Global\\" + key;
}

TAliasLock::TAliasLock(const AnsiString& aliasName) : mutex_(CreateMutexA(nullptr, FALSE, MutexName(aliasName).c_str())) {
    if (!mutex_.Valid())
        throw platform::Exception("Cannot lock the alias " + aliasName + ": " + platform::SysErrorMessage(GetLastError()));
    DWORD waited = WaitForSingleObject(mutex_.Get(), 0);
    if (waited == WAIT_TIMEOUT) {
        platform::TestPoint("alias-lock.contended");
        waited = WaitForSingleObject(mutex_.Get(), INFINITE);
    }
    // WAIT_ABANDONED: the holder was killed. The lock is ours all the same; whatever the
    // dead holder left half done is for the next holder to put right.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        throw platform::Exception("Cannot lock the alias " + aliasName + ": " + platform::SysErrorMessage(GetLastError()));
    platform::TestPoint("alias-lock.taken");
}

TAliasLock::~TAliasLock() { ReleaseMutex(mutex_.Get()); }

}  // namespace btrieve
