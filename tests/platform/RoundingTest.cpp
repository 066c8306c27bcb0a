// Whole-number rounding at the ties, next to them, at the edge where every double is whole,
// and beyond.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/Rounding.h"

using namespace platform;

TEST(Rounding, TiesGoToTheEvenNumberOrAwayFromZero) {
    const double justBelowHalf = std::nextafter(0.5, 0.0);
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        double halfEven;
        double halfAway;
    };
    const Case cases[] = {
        {0.0, 0.0, 0.0},
        {-0.0, -0.0, -0.0},
        {0.5, 0.0, 1.0},
        {1.5, 2.0, 2.0},
        {2.5, 2.0, 3.0},
        {-2.5, -2.0, -3.0},
        {-3.5, -4.0, -4.0},
        {-0.25, -0.0, -0.0},  // the sign stays, as the library keeps it
        {justBelowHalf, 0.0, 0.0},  // a sum with a half would round up to 1
        {-justBelowHalf, -0.0, -0.0},
        {std::nextafter(2.5, 0.0), 2.0, 2.0},
        {std::nextafter(2.5, 3.0), 3.0, 3.0},
        {86399999.5, 86400000.0, 86400000.0},
        {86399998.5, 86399998.0, 86399999.0},
        {4503599627370495.5, 4503599627370496.0, 4503599627370496.0},  // the last tie below 2^52
        {4503599627370494.5, 4503599627370494.0, 4503599627370495.0},
        {9007199254740993.0, 9007199254740993.0, 9007199254740993.0},
        {-1e300, -1e300, -1e300},
        {infinity, infinity, infinity},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hexfloat << c.value);
        const double even = RoundHalfEven(c.value), away = RoundHalfAway(c.value);
        EXPECT_EQ(even, c.halfEven);
        EXPECT_EQ(std::signbit(even), std::signbit(c.halfEven));
        EXPECT_EQ(away, c.halfAway);
        EXPECT_EQ(std::signbit(away), std::signbit(c.halfAway));
    }
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
    EXPECT_TRUE(std::isnan(RoundHalfAway(std::nan(""))));
}
