#include "ModuleUnits.h"

#include <exception>

namespace platform {

void TModuleUnits::Add(AnsiString name, TUnitAction start, TUnitAction stop) {
    units_.push_back({std::move(name), std::move(start), std::move(stop)});
}

void TModuleUnits::Start() {
    const size_t before = started_;
    try {
        while (started_ < units_.size()) {
            const Unit& unit = units_[started_];
            if (unit.start) unit.start();
            ++started_;
        }
    } catch (...) {
        try {
            StopDownTo(before);
        } catch (...) {
            // The start failure is the one to report.
        }
        throw;
    }
}

void TModuleUnits::Stop() { StopDownTo(0); }

void TModuleUnits::StopDownTo(size_t count) {
    std::exception_ptr first;
    while (started_ > count) {
        const Unit& unit = units_[--started_];
        try {
            if (unit.stop) unit.stop();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

}  // namespace platform
