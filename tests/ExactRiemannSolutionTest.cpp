#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "Nembra/ExactRiemannSolution.h"

namespace {

using Nembra::ExactRiemannSolution;
using State = ExactRiemannSolution::State;

// Published star states of five standard problems (gamma = 1.4), given to five or six
// significant figures: the first is Sod's shock tube in its dimensionless form.
struct Published {
    const char* name;
    State left;
    State right;
    double pressure;
    double velocity;
    double densityLeft;
    double densityRight;
};

const Published kProblems[] = {
    {"Sod", {1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 0.30313, 0.92745, 0.42632, 0.26557},
    {"two rarefactions", {1.0, -2.0, 0.4}, {1.0, 2.0, 0.4}, 0.00189, 0.0, 0.02185, 0.02185},
    {"strong left blast", {1.0, 0.0, 1000.0}, {1.0, 0.0, 0.01}, 460.894, 19.5975, 0.57506, 5.99924},
    {"strong right blast",
     {1.0, 0.0, 0.01},
     {1.0, 0.0, 100.0},
     46.0950,
     -6.19633,
     5.99242,
     0.57511},
    {"colliding shocks",
     {5.99924, 19.5975, 460.894},
     {5.99242, -6.19633, 46.0950},
     1691.64,
     8.68975,
     14.2823,
     31.0426},
};

// Agreement to the published figures: half a unit in their last place, relative, or an absolute
// floor for the values published as zero or with few figures.
void ExpectPublished(double ours, double published, const char* what, const char* problem) {
    const double tolerance = std::max(6e-5 * std::fabs(published), 6e-6);
    EXPECT_NEAR(ours, published, tolerance) << problem << ": " << what;
}

TEST(ExactRiemannSolution, MatchesThePublishedStarStatesOfTheStandardProblems) {
    for (const Published& p : kProblems) {
        const ExactRiemannSolution exact(p.left, p.right, 1.4);
        ExpectPublished(exact.GetStarPressure(), p.pressure, "p*", p.name);
        ExpectPublished(exact.GetStarVelocity(), p.velocity, "u*", p.name);
        ExpectPublished(exact.GetStarDensityLeft(), p.densityLeft, "rho*L", p.name);
        ExpectPublished(exact.GetStarDensityRight(), p.densityRight, "rho*R", p.name);
    }
}

TEST(ExactRiemannSolution, SodHasALeftFanAndARightShock) {
    const ExactRiemannSolution sod({1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 1.4, 0.5);
    EXPECT_FALSE(sod.IsLeftWaveShock());
    EXPECT_TRUE(sod.IsRightWaveShock());
    // Fan head at -aL = -sqrt(1.4); the shock's published speed 1.75216.
    EXPECT_DOUBLE_EQ(sod.GetLeftHeadSpeed(), -std::sqrt(1.4));
    EXPECT_NEAR(sod.GetRightHeadSpeed(), 1.75216, 1e-5);
    EXPECT_EQ(sod.GetRightHeadSpeed(), sod.GetRightTailSpeed());
    // Ahead of every wave the initial states; between the contact and the shock the right star.
    const double t = 0.2;
    EXPECT_EQ(sod.Sample(0.0, t).Density, 1.0);
    EXPECT_EQ(sod.Sample(1.0, t).Density, 0.125);
    const State between =
        sod.Sample(0.5 + 0.5 * t * (sod.GetContactSpeed() + sod.GetRightHeadSpeed()), t);
    EXPECT_EQ(between.Density, sod.GetStarDensityRight());
    EXPECT_EQ(between.Pressure, sod.GetStarPressure());
    EXPECT_EQ(between.Velocity, sod.GetStarVelocity());
}

// Across a shock mass, momentum and energy fluxes in the shock's frame are continuous; the
// solution meets them without having been written from them.
TEST(ExactRiemannSolution, ShocksSatisfyTheRankineHugoniotConditions) {
    const double gamma = 1.4;
    for (const Published& p : kProblems) {
        const ExactRiemannSolution exact(p.left, p.right, gamma);
        auto check = [&](const State& ahead, double rhoBehind, double speed, const char* side) {
            const State behind{rhoBehind, exact.GetStarVelocity(), exact.GetStarPressure()};
            auto fluxes = [&](const State& s) {
                const double w = s.Velocity - speed;
                const double energy = s.Pressure / (gamma - 1) + 0.5 * s.Density * w * w;
                return std::array<double, 3>{s.Density * w, s.Density * w * w + s.Pressure,
                                             w * (energy + s.Pressure)};
            };
            const auto a = fluxes(ahead);
            const auto b = fluxes(behind);
            for (int k = 0; k < 3; ++k) {
                const double scale = std::fabs(a[k]) + std::fabs(b[k]);
                EXPECT_NEAR(a[k], b[k], 1e-12 * scale) << p.name << " " << side << " flux " << k;
            }
        };
        if (exact.IsLeftWaveShock()) {
            check(p.left, exact.GetStarDensityLeft(), exact.GetLeftHeadSpeed(), "left");
        }
        if (exact.IsRightWaveShock()) {
            check(p.right, exact.GetStarDensityRight(), exact.GetRightHeadSpeed(), "right");
        }
    }
}

// Integrated over a stretch that no wave has left, the sampled profile holds the mass,
// momentum and energy put in, plus what the two ends let through: a check of the whole
// profile, fans included, that uses nothing of how it was computed.
TEST(ExactRiemannSolution, ProfileConservesMassMomentumAndEnergy) {
    const double gamma = 1.4;
    for (const Published& p : kProblems) {
        const ExactRiemannSolution exact(p.left, p.right, gamma);
        const double fastest =
            std::max(std::fabs(exact.GetLeftHeadSpeed()), std::fabs(exact.GetRightHeadSpeed()));
        const double t = 1.0 / fastest;  // every wave stays within |x| < 1
        const double a = -2.0;
        const double b = 2.0;
        auto conserved = [&](const State& s) {
            return std::array<double, 3>{
                s.Density, s.Density * s.Velocity,
                s.Pressure / (gamma - 1) + 0.5 * s.Density * s.Velocity * s.Velocity};
        };
        auto flux = [&](const State& s) {
            const auto q = conserved(s);
            return std::array<double, 3>{s.Density * s.Velocity,
                                         s.Density * s.Velocity * s.Velocity + s.Pressure,
                                         s.Velocity * (q[2] + s.Pressure)};
        };
        // Midpoint rule on a fine grid: the discontinuities cost O(h) each.
        const int n = 400000;
        const double h = (b - a) / n;
        std::array<double, 3> total{0, 0, 0};
        for (int k = 0; k < n; ++k) {
            const auto q = conserved(exact.Sample(a + (k + 0.5) * h, t));
            for (int m = 0; m < 3; ++m) {
                total[m] += q[m] * h;
            }
        }
        const auto qL = conserved(p.left);
        const auto qR = conserved(p.right);
        const auto fL = flux(p.left);
        const auto fR = flux(p.right);
        for (int m = 0; m < 3; ++m) {
            const double expected = -a * qL[m] + b * qR[m] + t * (fL[m] - fR[m]);
            const double scale = -a * std::fabs(qL[m]) + b * std::fabs(qR[m]) +
                                 t * (std::fabs(fL[m]) + std::fabs(fR[m]));
            EXPECT_NEAR(total[m], expected, 1e-4 * scale) << p.name << " quantity " << m;
        }
    }
}

// Swapping the sides and the sign of velocity mirrors the solution.
TEST(ExactRiemannSolution, MirroredProblemGivesTheMirroredProfile) {
    const ExactRiemannSolution sod({1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 1.4);
    const ExactRiemannSolution mirrored({0.125, -0.0, 0.1}, {1.0, -0.0, 1.0}, 1.4);
    for (double x = -0.45; x < 0.5; x += 0.01) {
        const State s = sod.Sample(x, 0.2);
        const State m = mirrored.Sample(-x, 0.2);
        EXPECT_NEAR(m.Density, s.Density, 1e-12) << x;
        EXPECT_NEAR(m.Velocity, -s.Velocity, 1e-12) << x;
        EXPECT_NEAR(m.Pressure, s.Pressure, 1e-12) << x;
    }
}

TEST(ExactRiemannSolution, FanKeepsTheLeftInvariantAndEntropy) {
    // In Sod's fan the C+ invariant u + 2a/(gamma-1) keeps its left value, and on each ray
    // dx/dt = u - a: both follow from the sampled state alone.
    const ExactRiemannSolution sod({1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 1.4);
    const double t = 0.25;
    const double aL = std::sqrt(1.4);
    for (double s = sod.GetLeftHeadSpeed() + 0.01; s < sod.GetLeftTailSpeed(); s += 0.05) {
        const State q = sod.Sample(s * t, t);
        const double a = std::sqrt(1.4 * q.Pressure / q.Density);
        EXPECT_NEAR(q.Velocity + 2 * a / 0.4, 2 * aL / 0.4, 1e-12) << s;
        EXPECT_NEAR(q.Velocity - a, s, 1e-12) << s;
        EXPECT_NEAR(q.Pressure / std::pow(q.Density, 1.4), 1.0, 1e-12) << s;
    }
}

TEST(ExactRiemannSolution, BeforeTheDiaphragmBurstsTheInitialStatesHold) {
    const ExactRiemannSolution sod({1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 1.4, 3.0);
    EXPECT_EQ(sod.Sample(2.999, 0.0).Density, 1.0);
    EXPECT_EQ(sod.Sample(3.0, 0.0).Density, 0.125);
    EXPECT_EQ(sod.Sample(-1e9, -1.0).Pressure, 1.0);
}

TEST(ExactRiemannSolution, GammaChangesTheStarState) {
    // A solver that ignored gamma would give Sod's 1.4 figures for a monatomic gas as well.
    const ExactRiemannSolution monatomic({1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 5.0 / 3.0);
    EXPECT_GT(std::fabs(monatomic.GetStarPressure() - 0.30313), 1e-3);
    // Uniform gas: no waves of any strength, whatever gamma.
    const ExactRiemannSolution uniform({2.0, 3.0, 4.0}, {2.0, 3.0, 4.0}, 5.0 / 3.0);
    EXPECT_DOUBLE_EQ(uniform.GetStarPressure(), 4.0);
    EXPECT_DOUBLE_EQ(uniform.GetStarVelocity(), 3.0);
}

TEST(ExactRiemannSolution, RefusesStatesWithoutASolution) {
    const State good{1.0, 0.0, 1.0};
    EXPECT_THROW(ExactRiemannSolution({0.0, 0.0, 1.0}, good, 1.4), std::invalid_argument);
    EXPECT_THROW(ExactRiemannSolution(good, {1.0, 0.0, -1.0}, 1.4), std::invalid_argument);
    EXPECT_THROW(ExactRiemannSolution(good, {1.0, NAN, 1.0}, 1.4), std::invalid_argument);
    EXPECT_THROW(ExactRiemannSolution(good, {INFINITY, 0.0, 1.0}, 1.4), std::invalid_argument);
    EXPECT_THROW(ExactRiemannSolution(good, good, 1.0), std::invalid_argument);
    EXPECT_THROW(ExactRiemannSolution(good, good, NAN), std::invalid_argument);
    EXPECT_THROW(ExactRiemannSolution(good, good, 1.4, INFINITY), std::invalid_argument);
    // Pulled apart faster than 2 (aL + aR) / (gamma - 1) = 10 sqrt(1.4): a vacuum.
    EXPECT_THROW(ExactRiemannSolution({1.0, -6.0, 1.0}, {1.0, 6.0, 1.0}, 1.4),
                 std::invalid_argument);
    EXPECT_NO_THROW(ExactRiemannSolution({1.0, -5.0, 1.0}, {1.0, 5.0, 1.0}, 1.4));
}

}  // namespace
