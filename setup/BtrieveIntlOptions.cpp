#include "setup/BtrieveIntlOptions.h"

#include "platform/Registry.h"

namespace setrix {

void EnsureBtrieveIntlOptions() noexcept {
    try {
        platform::TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.EnterKey("\\SOFTWARE\\Quillon\\Btrieve\\Configuration\\Intl", true)) return;
        for (const char* name : {"IgnoreAnsiOEM", "IgnoreOEMAnsi"})
            if (!reg.ValueExists(name)) reg.PutInteger(name, 1);
    } catch (...) {
        // Loading goes on without the defaults.
    }
}

}  // namespace setrix
