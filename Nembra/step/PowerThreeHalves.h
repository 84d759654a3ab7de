#pragma once

// x^1.5 exactly as std::pow(x, 1.5) returns it, in a few vectorisable operations for all but about
// one argument in eight. Sutherland's law needs it twice per node and step, and the library call
// costs as much as the rest of the node's arithmetic.
//
// Internal to the library; not installed.

#include <cmath>
#include <cstdint>
#include <cstring>

namespace Nembra::detail {

// The shortcut needs a C library whose pow has a known worst-case error (the GNU C library's pow,
// from version 2.28 on, is within 0.54 units in the last place) and a fused multiply-add in
// hardware (without one, std::fma is a slow software routine).
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
constexpr bool kPowErrorKnown = true;
#else
constexpr bool kPowErrorKnown = false;
#endif
#if defined(__FMA__) || defined(__aarch64__)
constexpr bool kPowerThreeHalvesShortcut = kPowErrorKnown;
#else
constexpr bool kPowerThreeHalvesShortcut = false;
#endif

inline std::uint64_t BitsOf(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

inline double DoubleWithBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// Bits of the magnitude 2^e.
constexpr std::uint64_t PowerOfTwoBits(int e) {
    return static_cast<std::uint64_t>(1023 + e) << 52;
}

constexpr std::uint64_t kExponentField = 0x7ff0000000000000ULL;

// A positive normal number's unit in the last place: 2^-52 times its power of two.
inline double UnitInTheLastPlace(std::uint64_t positiveBits) {
    return DoubleWithBits((positiveBits & kExponentField) - (std::uint64_t{52} << 52));
}

// std::pow(x, 1.5), or NaN when this shortcut cannot vouch for the result.
//
// x^1.5 = x s + x (sqrt(x) - s), s the correctly rounded square root. The residual e = x - s^2 is
// exact, and x (sqrt(x) - s) = e s / 2 to a relative 2^-50. With x s split exactly into a double
// and its rounding error, the sum is rounded to the candidate r and its exact remainder `tail`
// (Fast2Sum), so that x^1.5 = r + tail to within 2^-47 units in the last place of r.
//
// pow is not correctly rounded in every case, but its error is at most 0.54 units in the last
// place: when x^1.5 lies within 7/16 of a unit of r, every other double is more than 9/16 of a
// unit away, so pow returns r. Just below a power of two the units are half as large, and so is
// the allowance. Exact powers (x = 1, 4, 1/4 ...) always pass. Arguments outside [2^-300, 2^300]
// (zero, negatives, infinities and NaNs among them) are left to pow.
inline double PowerThreeHalvesOrNaN(double x) {
    const double s = std::sqrt(x);
    const double residual = std::fma(-s, s, x);
    const double high = x * s;
    const double low = std::fma(x, s, -high);
    const double correction = low + (residual * s) * 0.5;
    const double r = high + correction;
    const double tail = correction - (r - high);

    // One unsigned comparison for both bounds: bits below the range wrap around to above it, and
    // negative arguments compare above it anyway.
    const std::uint64_t argumentBits = BitsOf(x);
    const bool inRange =
        argumentBits - PowerOfTwoBits(-300) <= PowerOfTwoBits(300) - PowerOfTwoBits(-300);
    const std::uint64_t resultBits = BitsOf(r);  // r is positive and normal where inRange holds
    const bool powerOfTwo = (resultBits & ~kExponentField) == 0;
    const double unit = UnitInTheLastPlace(resultBits);
    const double allowance = unit * ((powerOfTwo & (tail < 0)) ? 0.21875 : 0.4375);
    return (inRange & (std::fabs(tail) < allowance)) ? r : NAN;
}

}  // namespace Nembra::detail
