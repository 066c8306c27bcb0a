#include "oracle/core/Assertion.h"

namespace oracle {

EAssertionFailed::EAssertionFailed(std::string unit, const std::string& message)
    : platform::Exception(message + " (" + unit + ")"), unit_(std::move(unit)) {}

void AssertionFailed(const char* unit, const std::string& message) {
    throw EAssertionFailed(unit, message);
}

}  // namespace oracle
