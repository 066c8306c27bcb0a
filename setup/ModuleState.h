// Everything setrix.dll keeps between two export calls, in one place. Each export
// creates and frees everything else within its own call.
#pragma once

#include <string>

#include "platform/SysUtils.h"

namespace setrix {

using platform::AnsiString;

struct ModuleState {
    // The text most string exports return; valid until the next export stores into it.
    AnsiString ResultBuffer;
};

ModuleState& State();

// Releases the module-wide state at unload, in reverse order of its creation.
void ReleaseModuleState();

}  // namespace setrix
