#include "btrieve/base/RightsRegistry.h"

namespace btrieve {

bool TRightsRegistry::OpenKey(const AnsiString& path, bool canCreate) {
    const bool relative = path.empty() || path[0] != '\\';
    const AnsiString stripped = relative ? path : path.substr(1);
    const bool create = canCreate && !stripped.empty();
    SetAccess(create ? KEY_ALL_ACCESS : accessMask_);
    const bool hadKey = CurrentKey() != nullptr;
    if (!EnterKey(path, create)) return false;
    currentPath_ = relative && hadKey ? currentPath_ + "\\" + stripped : stripped;
    return true;
}

}  // namespace btrieve
