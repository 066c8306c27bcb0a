// Module start and stop of the Oracle library's generic layer, run by the DLL's
// load and unload code through the platform's unit list.
#pragma once

#include "platform/ModuleUnits.h"

namespace oracle {

// Adds the layer's units (the record list's generation counter, the object-type list, the wait cursor).
void AddCoreUnits(platform::TModuleUnits& units);

}  // namespace oracle
