// TRightsRegistry: the registry class with the access rights its keys are opened
// with; the sessions read aliases with KEY_READ and write them with full access.
#pragma once

#include "platform/Registry.h"

namespace btrieve {

using platform::AnsiString;

class TRightsRegistry : public platform::TRegistry {
public:
    TRightsRegistry() : platform::TRegistry(KEY_ALL_ACCESS) {}

    REGSAM AccessMask() const { return accessMask_; }
    void SetAccessMask(REGSAM mask) { accessMask_ = mask; }

    // A leading backslash starts from the root, else from the open key. Creating
    // always asks full access; opening uses the access mask. False keeps the old key.
    bool OpenKey(const AnsiString& path, bool canCreate);
    const AnsiString& CurrentPath() const { return currentPath_; }

private:
    REGSAM accessMask_ = KEY_ALL_ACCESS;
    AnsiString currentPath_;
};

}  // namespace btrieve
