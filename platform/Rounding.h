// Rounding of doubles to whole numbers in plain arithmetic. The C library's functions are
// slow on this toolchain (nearbyint switches the x87 control word twice, llround takes a
// long path) and sit on every read of a date or of a float as an integer.
#pragma once

#include <cmath>

namespace platform {

namespace rounding {
// From here on every double is a whole number.
inline constexpr double kAllWhole = 4503599627370496.0;  // 2^52
}  // namespace rounding

// To the nearest whole number, halves to the even one (nearbyint in the default mode).
inline double RoundHalfEven(double value) {
    const double magnitude = std::fabs(value);
    if (!(magnitude < rounding::kAllWhole)) return value;
    // The sum keeps no bits below 1, so the addition rounds (to even on a tie); the
    // subtraction is exact.
    return std::copysign((magnitude + rounding::kAllWhole) - rounding::kAllWhole, value);
}

// To the nearest whole number, halves away from zero (round, llround).
inline double RoundHalfAway(double value) {
    const double magnitude = std::fabs(value);
    if (!(magnitude < rounding::kAllWhole)) return value;
    double whole = static_cast<double>(static_cast<long long>(magnitude));
    // Exact: both lie within one whole number of each other.
    if (magnitude - whole >= 0.5) whole += 1;
    return std::copysign(whole, value);
}

}  // namespace platform
