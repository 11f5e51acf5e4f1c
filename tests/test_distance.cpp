#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "geo/distance.h"

namespace {

TEST(Distance, KnownValues) {
    EXPECT_DOUBLE_EQ(get_distance(22.640175, 113.918045, 22.6431, 113.920148), 390.8);
    EXPECT_EQ(get_distance(0, 0, 0, 1), 111319.5);
    EXPECT_EQ(get_distance(0, 0, 1, 0), 111319.5);
    EXPECT_EQ(get_distance(0, 0, 0, 180), 20037508.0);
    EXPECT_EQ(get_distance(90, 0, -90, 0), 20037508.0);
    EXPECT_DOUBLE_EQ(get_distance(0, 0, 0, 0.00001), 1.1);
}

TEST(Distance, ZeroSymmetricAndNaN) {
    EXPECT_EQ(get_distance(39.9, 116.4, 39.9, 116.4), 0.0);
    EXPECT_EQ(get_distance(22.640175, 113.918045, 22.6431, 113.920148),
              get_distance(22.6431, 113.920148, 22.640175, 113.918045));
    EXPECT_TRUE(std::isnan(get_distance(std::nan(""), 0, 0, 0)));
    EXPECT_FALSE(get_distance(std::nan(""), 0, 0, 0) < 800.0);
}

TEST(Distance, ResultIsWholeTenthsOfAMetre) {
    for (double d = 0.0; d < 0.05; d += 0.0013) {
        const double m = get_distance(10.0, 20.0, 10.0 + d, 20.0 + d / 2);
        EXPECT_NEAR(m * 10.0, std::floor(m * 10.0 + 0.5), 1e-6) << m;
    }
}

TEST(Distance, RadUsesTheShortPi) {
    EXPECT_EQ(rad(180.0), 3.1415926);
}

TEST(Distance, RoundIsHalfUp) {
    EXPECT_EQ(e_dog::round(2.5), 3.0);
    EXPECT_EQ(e_dog::round(-2.5), -2.0);
    EXPECT_EQ(e_dog::round(-0.4), 0.0);
    EXPECT_EQ(e_dog::round(0.49), 0.0);
    EXPECT_EQ(e_dog::round(-2.6), -3.0);
}

}  // namespace
