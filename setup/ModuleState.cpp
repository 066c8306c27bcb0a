#include "setup/ModuleState.h"

namespace setrix {

ModuleState& State() {
    static ModuleState state;
    return state;
}

void ReleaseModuleState() { State() = ModuleState{}; }

}  // namespace setrix
