#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Nembra/DiffusionEquation.h"

namespace {

using Nembra::DiffusionEquation;

// Moves hand over the profile and must be usable from containers without copying.
static_assert(std::is_nothrow_move_constructible<DiffusionEquation>::value, "");
static_assert(std::is_nothrow_move_assignable<DiffusionEquation>::value, "");

std::vector<double> ProfileOf(const DiffusionEquation& solver) {
    std::vector<double> profile(static_cast<size_t>(solver.GetSamplingPoints()));
    for (int i = 0; i < solver.GetSamplingPoints(); ++i) {
        profile[static_cast<size_t>(i)] = solver.GetSamplingPointsValue(i);
    }
    return profile;
}

void SetProfile(DiffusionEquation& solver, const std::vector<double>& profile) {
    for (size_t i = 0; i < profile.size(); ++i) {
        solver.SetSamplingPointsValue(static_cast<int>(i), profile[i]);
    }
}

void Step(DiffusionEquation& solver, int steps) {
    for (int n = 0; n < steps; ++n) {
        solver.UpdateDatas();
    }
}

// The scheme written with a separate array for the new values, so that in-place bookkeeping
// mistakes of the solver cannot cancel out.
std::vector<double> ReferenceStep(const std::vector<double>& f, double a) {
    std::vector<double> next(f);
    const size_t last = f.size() - 1;
    for (size_t i = 1; i < last; ++i) {
        next[i] = f[i] + (f[i - 1] + (f[i + 1] - 2.0 * f[i])) * a;
    }
    next[0] = next[1];
    next[last] = next[last - 1];
    return next;
}

// ---------------------------------------------------------------------------------------------
// Construction

TEST(DiffusionEquationConstruction, DefaultObjectHasTheCompiledInSetting) {
    const DiffusionEquation solver;
    EXPECT_EQ(solver.GetTimeStepCount(), 0);
    EXPECT_EQ(solver.GetTimeInterval(), 0.1);
    EXPECT_EQ(solver.GetCoordinateStepSize(), 1.0);
    EXPECT_EQ(solver.GetSegments(), 300);
    EXPECT_EQ(solver.GetSamplingPoints(), 301);
    EXPECT_EQ(solver.GetBeta(), 1.0);
    EXPECT_EQ(solver.GetConstValue_A(), 0.1);
    for (int i = 0; i < 301; ++i) {
        EXPECT_EQ(solver.GetSamplingPointsValue(i), 0.0) << "point " << i;
    }
}

TEST(DiffusionEquationConstruction, ArgumentsAreStoredAndDiffusionNumberDerived) {
    const DiffusionEquation solver(0.05, 0.5, 40, 2.0);
    EXPECT_EQ(solver.GetTimeStepCount(), 0);
    EXPECT_EQ(solver.GetTimeInterval(), 0.05);
    EXPECT_EQ(solver.GetCoordinateStepSize(), 0.5);
    EXPECT_EQ(solver.GetSegments(), 40);
    EXPECT_EQ(solver.GetSamplingPoints(), 41);
    EXPECT_EQ(solver.GetBeta(), 2.0);
    EXPECT_DOUBLE_EQ(solver.GetConstValue_A(), 0.4);
    for (int i = 0; i < 41; ++i) {
        EXPECT_EQ(solver.GetSamplingPointsValue(i), 0.0) << "point " << i;
    }
}

TEST(DiffusionEquationConstruction, SingleSegmentIsAccepted) {
    const DiffusionEquation solver(0.1, 1.0, 1, 1.0);
    EXPECT_EQ(solver.GetSegments(), 1);
    EXPECT_EQ(solver.GetSamplingPoints(), 2);
}

// The message of the refusal of `segments`, or a failure when the count is accepted.
std::string RefusalMessage(int segments) {
    try {
        DiffusionEquation solver(0.1, 1.0, segments, 1.0);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    ADD_FAILURE() << "segments = " << segments << " was accepted";
    return std::string();
}

TEST(DiffusionEquationConstruction, SegmentCountsBelowOneAreRefusedNamingValueAndRule) {
    const int refused[] = {0, -1, -300, std::numeric_limits<int>::min()};
    for (const int segments : refused) {
        const std::string message = RefusalMessage(segments);
        EXPECT_NE(message.find("segments = " + std::to_string(segments)), std::string::npos)
            << message;
        EXPECT_NE(message.find("at least 1"), std::string::npos) << message;
    }
}

TEST(DiffusionEquationConstruction, PointCountBeyondIntIsRefusedNamingValueAndRule) {
    const int segments = std::numeric_limits<int>::max();
    const std::string message = RefusalMessage(segments);
    EXPECT_NE(message.find("segments = " + std::to_string(segments)), std::string::npos) << message;
    EXPECT_NE(message.find("must fit in int"), std::string::npos) << message;
}

// ---------------------------------------------------------------------------------------------
// Point access

TEST(DiffusionEquationPointAccess, ValuesAreStoredPerPoint) {
    DiffusionEquation solver(0.1, 1.0, 10, 1.0);
    for (int i = 0; i < 11; ++i) {
        solver.SetSamplingPointsValue(i, 0.5 * i - 1.0);
    }
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(solver.GetSamplingPointsValue(i), 0.5 * i - 1.0) << "point " << i;
    }
}

TEST(DiffusionEquationPointAccess, IndicesOutsideTheGridReadZeroAndWriteNothing) {
    DiffusionEquation solver(0.1, 1.0, 10, 1.0);
    const std::vector<double> profile = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    SetProfile(solver, profile);
    const int outside[] = {
        -1, 11, 12, -1000, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
    for (const int index : outside) {
        EXPECT_EQ(solver.GetSamplingPointsValue(index), 0.0) << "index " << index;
        solver.SetSamplingPointsValue(index, -99.0);
    }
    EXPECT_EQ(ProfileOf(solver), profile);
}

// ---------------------------------------------------------------------------------------------
// One step of the scheme

TEST(DiffusionEquationStep, SpikeSpreadsToItsNeighbours) {
    DiffusionEquation solver;
    const int k = 150;
    solver.SetSamplingPointsValue(k, 1.0);
    solver.UpdateDatas();
    EXPECT_DOUBLE_EQ(solver.GetSamplingPointsValue(k), 0.8);
    EXPECT_DOUBLE_EQ(solver.GetSamplingPointsValue(k - 1), 0.1);
    EXPECT_DOUBLE_EQ(solver.GetSamplingPointsValue(k + 1), 0.1);
    for (int i = 0; i < solver.GetSamplingPoints(); ++i) {
        if (i < k - 1 || i > k + 1) {
            EXPECT_EQ(solver.GetSamplingPointsValue(i), 0.0) << "point " << i;
        }
    }
}

TEST(DiffusionEquationStep, LinearInteriorIsUnchangedAndEndsCopyTheirNeighbours) {
    DiffusionEquation solver(0.1, 1.0, 12, 1.0);
    std::vector<double> profile(13);
    for (size_t i = 0; i < profile.size(); ++i) {
        profile[i] = 2.0 + 0.5 * static_cast<double>(i);
    }
    // Ends off the line, so that the end copies are visible.
    profile.front() = -7.0;
    profile.back() = 40.0;
    SetProfile(solver, profile);
    solver.UpdateDatas();
    const std::vector<double> after = ProfileOf(solver);
    // Points 1 and 11 see an end value off the line; points 2..10 see only the line.
    for (size_t i = 2; i <= 10; ++i) {
        EXPECT_EQ(after[i], profile[i]) << "point " << i;
    }
    EXPECT_EQ(after.front(), after[1]);
    EXPECT_EQ(after.back(), after[11]);
}

TEST(DiffusionEquationStep, MatchesTheTwoArrayFormBitForBit) {
    DiffusionEquation solver(0.07, 0.3, 57, 0.45);
    std::mt19937 generator(20240611);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::vector<double> expected(58);
    for (double& v : expected) {
        v = value(generator);
    }
    SetProfile(solver, expected);
    for (int n = 0; n < 25; ++n) {
        solver.UpdateDatas();
        expected = ReferenceStep(expected, solver.GetConstValue_A());
        ASSERT_EQ(ProfileOf(solver), expected) << "after step " << n + 1;
    }
}

TEST(DiffusionEquationStep, SingleSegmentCopiesTheRightValueToBothEnds) {
    DiffusionEquation solver(0.1, 1.0, 1, 1.0);
    solver.SetSamplingPointsValue(0, 3.0);
    solver.SetSamplingPointsValue(1, 7.0);
    solver.UpdateDatas();
    EXPECT_EQ(solver.GetSamplingPointsValue(0), 7.0);
    EXPECT_EQ(solver.GetSamplingPointsValue(1), 7.0);
}

TEST(DiffusionEquationStep, TwoSegmentsUpdateTheMiddleThenCopyItOutwards) {
    DiffusionEquation solver(0.1, 1.0, 2, 1.0);
    SetProfile(solver, {1.0, 2.0, 5.0});
    solver.UpdateDatas();
    const double middle = 2.0 + (1.0 + (5.0 - 2.0 * 2.0)) * 0.1;
    EXPECT_EQ(ProfileOf(solver), std::vector<double>({middle, middle, middle}));
}

TEST(DiffusionEquationStep, TimeStepCountStaysZero) {
    DiffusionEquation solver;
    solver.SetSamplingPointsValue(150, 1.0);
    Step(solver, 250);
    EXPECT_EQ(solver.GetTimeStepCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Changing the grid spacing and the diffusion coefficient

TEST(DiffusionEquationParameters, SettersReturnTheStoredValueAndLeaveAUntouched) {
    DiffusionEquation solver;
    EXPECT_EQ(solver.SetBeta(2.0), 2.0);
    EXPECT_EQ(solver.GetBeta(), 2.0);
    EXPECT_EQ(solver.SetCoordinateStepSize(0.5), 0.5);
    EXPECT_EQ(solver.GetCoordinateStepSize(), 0.5);
    EXPECT_EQ(solver.GetConstValue_A(), 0.1);
}

TEST(DiffusionEquationParameters, NewBetaActsOnlyAfterChangeConstValueA) {
    DiffusionEquation solver;
    solver.SetBeta(2.0);
    solver.SetSamplingPointsValue(150, 1.0);
    solver.UpdateDatas();
    EXPECT_DOUBLE_EQ(solver.GetSamplingPointsValue(150), 0.8);
    EXPECT_DOUBLE_EQ(solver.GetSamplingPointsValue(151), 0.1);

    solver.ChangeConstValue_A();
    EXPECT_DOUBLE_EQ(solver.GetConstValue_A(), 2.0 * 0.1 / (1.0 * 1.0));
    DiffusionEquation spike = solver;
    SetProfile(spike, std::vector<double>(301, 0.0));
    spike.SetSamplingPointsValue(150, 1.0);
    spike.UpdateDatas();
    EXPECT_DOUBLE_EQ(spike.GetSamplingPointsValue(150), 0.6);
    EXPECT_DOUBLE_EQ(spike.GetSamplingPointsValue(149), 0.2);
    EXPECT_DOUBLE_EQ(spike.GetSamplingPointsValue(151), 0.2);
}

TEST(DiffusionEquationParameters, NewSpacingActsOnlyAfterChangeConstValueA) {
    DiffusionEquation solver;
    solver.SetCoordinateStepSize(2.0);
    EXPECT_EQ(solver.GetConstValue_A(), 0.1);
    solver.ChangeConstValue_A();
    EXPECT_DOUBLE_EQ(solver.GetConstValue_A(), 0.025);
    solver.SetSamplingPointsValue(10, 1.0);
    solver.UpdateDatas();
    EXPECT_DOUBLE_EQ(solver.GetSamplingPointsValue(10), 0.95);
    EXPECT_DOUBLE_EQ(solver.GetSamplingPointsValue(11), 0.025);
}

// ---------------------------------------------------------------------------------------------
// Copies and moves

TEST(DiffusionEquationCopyMove, CopyConstructionMakesAnIndependentObject) {
    DiffusionEquation original(0.2, 1.0, 20, 1.5);
    original.SetBeta(3.0);  // A deliberately stale: copies take it as it is
    original.SetSamplingPointsValue(10, 4.0);
    DiffusionEquation copy(original);
    EXPECT_EQ(copy.GetSegments(), 20);
    EXPECT_EQ(copy.GetSamplingPoints(), 21);
    EXPECT_EQ(copy.GetTimeInterval(), 0.2);
    EXPECT_EQ(copy.GetBeta(), 3.0);
    EXPECT_EQ(copy.GetConstValue_A(), original.GetConstValue_A());
    EXPECT_EQ(ProfileOf(copy), ProfileOf(original));

    copy.SetSamplingPointsValue(10, -1.0);
    copy.UpdateDatas();
    EXPECT_EQ(original.GetSamplingPointsValue(10), 4.0);
    original.SetSamplingPointsValue(3, 9.0);
    EXPECT_EQ(copy.GetSamplingPointsValue(3), 0.0);
}

TEST(DiffusionEquationCopyMove, CopyAssignmentTakesSizeAndValuesOfTheSource) {
    DiffusionEquation target(0.1, 1.0, 5, 1.0);
    DiffusionEquation source(0.3, 0.5, 12, 0.25);
    source.SetSamplingPointsValue(12, 2.5);
    DiffusionEquation& result = (target = source);
    EXPECT_EQ(&result, &target);
    EXPECT_EQ(target.GetSegments(), 12);
    EXPECT_EQ(target.GetSamplingPoints(), 13);
    EXPECT_EQ(target.GetCoordinateStepSize(), 0.5);
    EXPECT_EQ(target.GetConstValue_A(), source.GetConstValue_A());
    EXPECT_EQ(target.GetSamplingPointsValue(12), 2.5);

    target.SetSamplingPointsValue(12, 0.0);
    EXPECT_EQ(source.GetSamplingPointsValue(12), 2.5);
}

TEST(DiffusionEquationCopyMove, SelfAssignmentKeepsTheProfile) {
    DiffusionEquation solver(0.1, 1.0, 8, 1.0);
    SetProfile(solver, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const std::vector<double> before = ProfileOf(solver);
    DiffusionEquation& alias = solver;
    solver = alias;
    EXPECT_EQ(ProfileOf(solver), before);
    solver = std::move(alias);
    EXPECT_EQ(ProfileOf(solver), before);
    EXPECT_EQ(solver.GetSamplingPoints(), 9);
}

void ExpectNoProfile(DiffusionEquation& movedFrom) {
    movedFrom.SetSamplingPointsValue(0, 5.0);
    movedFrom.UpdateDatas();
    for (int i = 0; i < movedFrom.GetSamplingPoints(); ++i) {
        EXPECT_EQ(movedFrom.GetSamplingPointsValue(i), 0.0) << "point " << i;
    }
}

TEST(DiffusionEquationCopyMove, MoveConstructionTakesTheProfileAndLeavesNone) {
    DiffusionEquation source(0.1, 1.0, 6, 1.0);
    SetProfile(source, {0, 1, 2, 3, 2, 1, 0});
    const std::vector<double> profile = ProfileOf(source);
    DiffusionEquation target(std::move(source));
    EXPECT_EQ(ProfileOf(target), profile);
    ExpectNoProfile(source);  // NOLINT(bugprone-use-after-move): its state is defined
    EXPECT_EQ(ProfileOf(target), profile);
}

TEST(DiffusionEquationCopyMove, MoveAssignmentTakesTheProfileAndLeavesNone) {
    DiffusionEquation source(0.1, 1.0, 6, 1.0);
    SetProfile(source, {0, 1, 2, 3, 2, 1, 0});
    const std::vector<double> profile = ProfileOf(source);
    DiffusionEquation target(0.1, 1.0, 30, 1.0);
    target = std::move(source);
    EXPECT_EQ(target.GetSamplingPoints(), 7);
    EXPECT_EQ(ProfileOf(target), profile);
    ExpectNoProfile(source);  // NOLINT(bugprone-use-after-move): its state is defined

    // A copy of an object without a profile has none either, and can take one back.
    DiffusionEquation copy(source);
    ExpectNoProfile(copy);
    copy = target;
    EXPECT_EQ(ProfileOf(copy), profile);
}

// ---------------------------------------------------------------------------------------------
// Exact properties of the discrete equation

struct Moments {
    double sum = 0.0;
    double secondAbout150 = 0.0;
    double secondAbout37 = 0.0;
};

Moments MomentsOf(const std::vector<double>& f) {
    Moments m;
    for (size_t i = 0; i < f.size(); ++i) {
        const double x = static_cast<double>(i);
        m.sum += f[i];
        m.secondAbout150 += (x - 150.0) * (x - 150.0) * f[i];
        m.secondAbout37 += (x - 37.0) * (x - 37.0) * f[i];
    }
    return m;
}

// A truncated Gaussian pulse of variance 16 on points 120..180. The support widens by one point
// per step, so for fewer than 119 steps the points next to the ends stay exactly zero.
std::vector<double> PulseProfile() {
    std::vector<double> profile(301, 0.0);
    for (int i = 120; i <= 180; ++i) {
        const double x = i - 150.0;
        profile[static_cast<size_t>(i)] = std::exp(-x * x / 32.0);
    }
    return profile;
}

TEST(DiffusionEquationProperties, PulseKeepsItsSumAndSecondMomentsGrowBy2ASum) {
    DiffusionEquation solver;
    SetProfile(solver, PulseProfile());
    const double a = solver.GetConstValue_A();
    Moments previous = MomentsOf(ProfileOf(solver));
    const double sum = previous.sum;
    for (int n = 1; n <= 110; ++n) {
        solver.UpdateDatas();
        const std::vector<double> profile = ProfileOf(solver);
        ASSERT_EQ(profile[1], 0.0) << "pulse reached the left end at step " << n;
        ASSERT_EQ(profile[299], 0.0) << "pulse reached the right end at step " << n;
        const Moments now = MomentsOf(profile);
        // Rounding in sums of a few hundred terms of size <= 1e4 stays far below 1e-9.
        EXPECT_NEAR(now.sum, sum, 1e-12 * sum) << "step " << n;
        EXPECT_NEAR(now.secondAbout150 - previous.secondAbout150, 2.0 * a * sum, 1e-9)
            << "step " << n;
        EXPECT_NEAR(now.secondAbout37 - previous.secondAbout37, 2.0 * a * sum, 1e-8)
            << "step " << n;
        previous = now;
    }
}

TEST(DiffusionEquationProperties, PulseVarianceGrowsBy2APerStep) {
    DiffusionEquation solver(0.2, 1.0, 300, 1.0);
    SetProfile(solver, PulseProfile());
    const Moments initial = MomentsOf(ProfileOf(solver));
    const double initialVariance = initial.secondAbout150 / initial.sum;
    const int steps = 100;
    Step(solver, steps);
    const Moments final = MomentsOf(ProfileOf(solver));
    const double variance = final.secondAbout150 / final.sum;
    EXPECT_NEAR(variance - initialVariance, 2.0 * solver.GetConstValue_A() * steps, 1e-10);
}

TEST(DiffusionEquationProperties, StableDiffusionNumberObeysTheMaximumPrinciple) {
    DiffusionEquation solver(0.5, 1.0, 100, 1.0);  // A = 0.5, the stability limit
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    for (int i = 0; i <= 100; ++i) {
        solver.SetSamplingPointsValue(i, value(generator));
    }
    for (int n = 0; n < 500; ++n) {
        solver.UpdateDatas();
        for (int i = 0; i <= 100; ++i) {
            const double v = solver.GetSamplingPointsValue(i);
            ASSERT_GE(v, -1e-12) << "step " << n + 1 << " point " << i;
            ASSERT_LE(v, 1.0 + 1e-12) << "step " << n + 1 << " point " << i;
        }
    }
}

double LargestMagnitude(const DiffusionEquation& solver) {
    double largest = 0.0;
    for (int i = 0; i < solver.GetSamplingPoints(); ++i) {
        largest = std::fmax(largest, std::fabs(solver.GetSamplingPointsValue(i)));
    }
    return largest;
}

TEST(DiffusionEquationProperties, DiffusionNumberAboveOneHalfGrowsWithoutBound) {
    DiffusionEquation solver(0.6, 1.0, 300, 1.0);  // A = 0.6
    solver.SetSamplingPointsValue(150, 1.0);
    double previousPeak = 1.0;
    for (int block = 0; block < 4; ++block) {
        Step(solver, 100);
        const double peak = LargestMagnitude(solver);
        EXPECT_GT(peak, 1e3 * previousPeak) << "after " << 100 * (block + 1) << " steps";
        previousPeak = peak;
    }
}

}  // namespace
