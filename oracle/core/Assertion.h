// Programming-error checks of the Oracle library. A failed check raises
// EAssertionFailed naming the unit that detected it; it never ends the process,
// so the export boundary can still answer its host.
#pragma once

#include <string>

#include "platform/SysUtils.h"

namespace oracle {

class EAssertionFailed : public platform::Exception {
public:
    EAssertionFailed(std::string unit, const std::string& message);
    const std::string& Unit() const noexcept { return unit_; }

private:
    std::string unit_;
};

// Unit names the checks report.
inline constexpr const char* UnitMemData = "MemData";
inline constexpr const char* UnitMemDS = "MemDS";
inline constexpr const char* UnitQdAccess = "QdAccess";
inline constexpr const char* UnitDBAccess = "DBAccess";

[[noreturn]] void AssertionFailed(const char* unit, const std::string& message = "Assertion failed");

inline void Check(bool condition, const char* unit, const char* message = "Assertion failed") {
    if (!condition) AssertionFailed(unit, message);
}

}  // namespace oracle
