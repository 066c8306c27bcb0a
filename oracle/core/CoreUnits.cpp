#include "oracle/core/CoreUnits.h"

#include "oracle/core/MemData.h"
#include "oracle/core/ObjectType.h"

namespace oracle {

void AddCoreUnits(platform::TModuleUnits& units) {
    units.Add("MemData", InitializeMemData, FinalizeObjectTypes);
}

}  // namespace oracle
