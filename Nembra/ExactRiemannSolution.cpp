#include "Nembra/ExactRiemannSolution.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace Nembra {

namespace {

using State = ExactRiemannSolution::State;

bool IsPositiveAndFinite(double value) {
    return std::isfinite(value) && value > 0;
}

void CheckState(const State& state, const char* side) {
    if (!IsPositiveAndFinite(state.Density) || !IsPositiveAndFinite(state.Pressure) ||
        !std::isfinite(state.Velocity)) {
        throw std::invalid_argument(std::string("ExactRiemannSolution: the ") + side +
                                    " state needs a positive, finite density and pressure and "
                                    "a finite velocity");
    }
}

// Velocity change across the wave that joins `ahead` to pressure p behind it (Rankine-Hugoniot
// for a shock, p > pK; the isentropic Riemann invariant for a fan), and its derivative in p.
struct WaveChange {
    double value;
    double slope;
};

WaveChange PressureFunction(double p, const State& ahead, double soundSpeed, double gamma) {
    if (p > ahead.Pressure) {
        const double a = 2 / ((gamma + 1) * ahead.Density);
        const double b = (gamma - 1) / (gamma + 1) * ahead.Pressure;
        const double root = std::sqrt(a / (p + b));
        return {(p - ahead.Pressure) * root, root * (1 - (p - ahead.Pressure) / (2 * (b + p)))};
    }
    const double ratio = p / ahead.Pressure;
    return {2 * soundSpeed / (gamma - 1) * (std::pow(ratio, (gamma - 1) / (2 * gamma)) - 1),
            std::pow(ratio, -(gamma + 1) / (2 * gamma)) / (ahead.Density * soundSpeed)};
}

// Density behind the wave that takes `ahead` to the star pressure.
double StarDensity(double starPressure, const State& ahead, double gamma) {
    const double ratio = starPressure / ahead.Pressure;
    if (starPressure > ahead.Pressure) {
        const double g = (gamma - 1) / (gamma + 1);
        return ahead.Density * (ratio + g) / (g * ratio + 1);
    }
    return ahead.Density * std::pow(ratio, 1 / gamma);
}

// Speed of a shock into `ahead`, relative to its gas: the sound speed times the shock's Mach
// number, which follows from the pressure ratio across it.
double ShockRelativeSpeed(double starPressure, const State& ahead, double soundSpeed,
                          double gamma) {
    return soundSpeed * std::sqrt((gamma + 1) / (2 * gamma) * starPressure / ahead.Pressure +
                                  (gamma - 1) / (2 * gamma));
}

}  // namespace

ExactRiemannSolution::ExactRiemannSolution(const State& left, const State& right, double gamma,
                                           double diaphragm)
    : Left(left),
      Right(right),
      Gamma(gamma),
      Diaphragm(diaphragm),
      StarPressure(0),
      StarVelocity(0),
      StarDensityLeft(0),
      StarDensityRight(0),
      LeftHeadSpeed(0),
      LeftTailSpeed(0),
      RightHeadSpeed(0),
      RightTailSpeed(0) {
    CheckState(left, "left");
    CheckState(right, "right");
    if (!(std::isfinite(gamma) && gamma > 1)) {
        throw std::invalid_argument("ExactRiemannSolution: gamma must be finite and above 1");
    }
    if (!std::isfinite(diaphragm)) {
        throw std::invalid_argument("ExactRiemannSolution: the diaphragm position must be finite");
    }
    const double escape = 2 * (SoundSpeed(left) + SoundSpeed(right)) / (gamma - 1);
    if (!(right.Velocity - left.Velocity < escape)) {
        throw std::invalid_argument(
            "ExactRiemannSolution: the states separate fast enough to leave a vacuum between "
            "them; no star state exists");
    }
    SolveStar();
}

double ExactRiemannSolution::SoundSpeed(const State& state) const {
    return std::sqrt(Gamma * state.Pressure / state.Density);
}

// The star pressure is the root of f(p) = fL(p) + fR(p) + (uR - uL), which increases with p and
// is concave, negative at p = 0 when no vacuum forms. Newton's method converges from below;
// a bracket keeps every iterate positive and makes the search finish whatever the states.
void ExactRiemannSolution::SolveStar() {
    const double aL = SoundSpeed(Left);
    const double aR = SoundSpeed(Right);
    const double du = Right.Velocity - Left.Velocity;
    auto f = [&](double p) {
        const WaveChange l = PressureFunction(p, Left, aL, Gamma);
        const WaveChange r = PressureFunction(p, Right, aR, Gamma);
        return WaveChange{l.value + r.value + du, l.slope + r.slope};
    };

    double low = 0;
    double high = Left.Pressure > Right.Pressure ? Left.Pressure : Right.Pressure;
    while (f(high).value < 0) {
        low = high;
        high *= 2;
    }
    // The two-rarefaction estimate, exact when both waves are fans, starts Newton close by.
    const double z = (Gamma - 1) / (2 * Gamma);
    const double estimate =
        std::pow((aL + aR - 0.5 * (Gamma - 1) * du) /
                     (aL / std::pow(Left.Pressure, z) + aR / std::pow(Right.Pressure, z)),
                 1 / z);
    double p = estimate > low && estimate < high ? estimate : 0.5 * (low + high);
    for (int iteration = 0; iteration < 200; ++iteration) {
        const WaveChange at = f(p);
        if (at.value == 0) {
            break;
        }
        (at.value < 0 ? low : high) = p;
        double next = p - at.value / at.slope;
        if (!(next > low && next < high)) {
            next = 0.5 * (low + high);
        }
        if (next == p || std::fabs(next - p) <= 1e-15 * p) {
            p = next;
            break;
        }
        p = next;
    }

    StarPressure = p;
    StarVelocity = 0.5 * (Left.Velocity + Right.Velocity) +
                   0.5 * (PressureFunction(p, Right, aR, Gamma).value -
                          PressureFunction(p, Left, aL, Gamma).value);
    StarDensityLeft = StarDensity(p, Left, Gamma);
    StarDensityRight = StarDensity(p, Right, Gamma);
    if (IsLeftWaveShock()) {
        LeftHeadSpeed = LeftTailSpeed = Left.Velocity - ShockRelativeSpeed(p, Left, aL, Gamma);
    } else {
        LeftHeadSpeed = Left.Velocity - aL;
        LeftTailSpeed = StarVelocity - aL * std::pow(p / Left.Pressure, z);
    }
    if (IsRightWaveShock()) {
        RightHeadSpeed = RightTailSpeed = Right.Velocity + ShockRelativeSpeed(p, Right, aR, Gamma);
    } else {
        RightHeadSpeed = Right.Velocity + aR;
        RightTailSpeed = StarVelocity + aR * std::pow(p / Right.Pressure, z);
    }
}

ExactRiemannSolution::State ExactRiemannSolution::Sample(double x, double t) const {
    if (!(t > 0)) {
        return x < Diaphragm ? Left : Right;
    }
    return SampleRay((x - Diaphragm) / t);
}

ExactRiemannSolution::State ExactRiemannSolution::SampleRay(double s) const {
    return s <= StarVelocity ? SampleLeftOfContact(s) : SampleRightOfContact(s);
}

ExactRiemannSolution::State ExactRiemannSolution::SampleLeftOfContact(double s) const {
    const State star{StarDensityLeft, StarVelocity, StarPressure};
    if (s <= LeftHeadSpeed) {
        return Left;
    }
    if (IsLeftWaveShock() || s >= LeftTailSpeed) {
        return star;
    }
    // Inside the fan: the C+ invariant of the left state holds along every ray.
    const double aL = SoundSpeed(Left);
    const double base = 2 / (Gamma + 1) + (Gamma - 1) / ((Gamma + 1) * aL) * (Left.Velocity - s);
    return {Left.Density * std::pow(base, 2 / (Gamma - 1)),
            2 / (Gamma + 1) * (aL + 0.5 * (Gamma - 1) * Left.Velocity + s),
            Left.Pressure * std::pow(base, 2 * Gamma / (Gamma - 1))};
}

ExactRiemannSolution::State ExactRiemannSolution::SampleRightOfContact(double s) const {
    const State star{StarDensityRight, StarVelocity, StarPressure};
    if (s > RightHeadSpeed) {
        return Right;
    }
    if (IsRightWaveShock() || s <= RightTailSpeed) {
        return star;
    }
    // Inside the fan: the C- invariant of the right state holds along every ray.
    const double aR = SoundSpeed(Right);
    const double base = 2 / (Gamma + 1) - (Gamma - 1) / ((Gamma + 1) * aR) * (Right.Velocity - s);
    return {Right.Density * std::pow(base, 2 / (Gamma - 1)),
            2 / (Gamma + 1) * (-aR + 0.5 * (Gamma - 1) * Right.Velocity + s),
            Right.Pressure * std::pow(base, 2 * Gamma / (Gamma - 1))};
}

}  // namespace Nembra
