#include "oracle/core/CoreUnits.h"

#include "oracle/core/MemData.h"
#include "oracle/core/ObjectType.h"
#include "oracle/core/WaitCursor.h"

namespace oracle {

void AddCoreUnits(platform::TModuleUnits& units) {
    units.Add("MemData", InitializeMemData, FinalizeObjectTypes);
    units.Add("DBAccess", InitializeWaitCursor, FinalizeWaitCursor);
}

}  // namespace oracle
