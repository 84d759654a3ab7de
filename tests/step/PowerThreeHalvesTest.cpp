// The shortcut for std::pow(x, 1.5) that Sutherland's law uses: whatever it returns must be
// std::pow's own result to the last bit, it must answer for most arguments, and it must hand
// every argument it cannot vouch for back to pow.

#include "Nembra/step/PowerThreeHalves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace Nembra::detail {
namespace {

// The library trusts the shortcut only next to a pow whose worst-case error is known.
class PowerThreeHalvesAgainstPow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kPowErrorKnown) {
            GTEST_SKIP() << "this C library's pow has no known error bound; the library calls it";
        }
    }
};

// Checks one argument; returns whether the shortcut answered.
bool AnswersLikePow(double x) {
    const double shortcut = PowerThreeHalvesOrNaN(x);
    if (std::isnan(shortcut)) {
        return false;
    }
    EXPECT_EQ(BitsOf(shortcut), BitsOf(std::pow(x, 1.5))) << std::hexfloat << x;
    return true;
}

TEST_F(PowerThreeHalvesAgainstPow, EqualsPowOrDeclinesAcrossTheRange) {
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> exponent(-300, 300);
    constexpr int kSamples = 2000000;
    int answered = 0;
    for (int n = 0; n < kSamples; ++n) {
        answered += AnswersLikePow(std::exp2(exponent(random))) ? 1 : 0;
    }
    // Seven arguments in eight lie clear of a rounding boundary.
    EXPECT_GT(answered, kSamples * 85 / 100);
}

TEST_F(PowerThreeHalvesAgainstPow, EqualsPowOnTemperatureRatios) {
    // Temperatures from a few kelvin to millions over the reference temperature, the flow's
    // own arguments, including neighbours of round values.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> kelvin(1, 2e7);
    for (int n = 0; n < 500000; ++n) {
        AnswersLikePow(kelvin(random) / 288.16);
    }
    for (double T = 1; T < 5000; T += 0.25) {
        AnswersLikePow(T / 288.16);
    }
}

TEST(PowerThreeHalves, AnswersExactPowersExactly) {
    // 4^k has the exact power 8^k; the resting flow's ratio is 1.
    for (int k = -100; k <= 100; ++k) {
        const double x = std::ldexp(1.0, 2 * k);
        EXPECT_EQ(PowerThreeHalvesOrNaN(x), std::ldexp(1.0, 3 * k)) << k;
    }
    EXPECT_EQ(PowerThreeHalvesOrNaN(9.0), 27.0);
    EXPECT_EQ(PowerThreeHalvesOrNaN(0.25), 0.125);
}

TEST_F(PowerThreeHalvesAgainstPow, EqualsPowNextToPowersOfTwo) {
    // Results just below a power of two sit where the units in the last place halve.
    for (int k = -60; k <= 60; k += 2) {
        double x = std::ldexp(1.0, k);
        double up = x;
        for (int step = 0; step < 2000; ++step) {
            x = std::nextafter(x, 0.0);
            up = std::nextafter(up, 1e300);
            AnswersLikePow(x);
            AnswersLikePow(up);
        }
    }
}

TEST(PowerThreeHalves, LeavesArgumentsOutsideItsRangeToPow) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    for (double x :
         {0.0, -0.0, -1.0, -4.0, kInfinity, -kInfinity, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::denorm_min(), std::ldexp(1.0, -301), std::ldexp(1.0, 302),
          std::numeric_limits<double>::max()}) {
        EXPECT_TRUE(std::isnan(PowerThreeHalvesOrNaN(x))) << x;
    }
}

}  // namespace
}  // namespace Nembra::detail
