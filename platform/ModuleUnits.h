// TModuleUnits: the ordered list of a module's unit start and stop functions. The
// DLL's load code (and a program's start) runs the starts in order; unload runs the
// stops of the units that started, in reverse. Static constructors of static
// libraries are not relied on: the linker may drop them.
#pragma once

#include <functional>
#include <vector>

#include "SysUtils.h"

namespace platform {

class TModuleUnits {
public:
    using TUnitAction = std::function<void()>;

    // Appends a unit; either action may be empty.
    void Add(AnsiString name, TUnitAction start, TUnitAction stop);

    // Starts every unit not started yet, in order. When a start fails, the units
    // started by this call stop again (in reverse) and the failure passes on.
    void Start();
    // Stops the started units, last first. A failing stop does not keep the others
    // from stopping; the first failure passes on afterwards.
    void Stop();
    bool Started() const { return started_ > 0; }

private:
    struct Unit {
        AnsiString name;
        TUnitAction start;
        TUnitAction stop;
    };
    void StopDownTo(size_t count);

    std::vector<Unit> units_;
    size_t started_ = 0;  // units_[0, started_) are running
};

}  // namespace platform
