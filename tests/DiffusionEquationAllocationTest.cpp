// Failed allocations, provoked by replacing the array forms of operator new and delete for this
// test program (and the library it loads).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "Nembra/DiffusionEquation.h"

namespace {

bool failNextArrayAllocation = false;
int replacementCalls = 0;

}  // namespace

void* operator new[](std::size_t size) {
    ++replacementCalls;
    if (failNextArrayAllocation) {
        failNextArrayAllocation = false;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

using Nembra::DiffusionEquation;

std::vector<double> ProfileOf(const DiffusionEquation& solver) {
    std::vector<double> profile;
    for (int i = 0; i < solver.GetSamplingPoints(); ++i) {
        profile.push_back(solver.GetSamplingPointsValue(i));
    }
    return profile;
}

// Memory checkers such as valgrind put their own operator new[] in place of this program's.
class DiffusionEquationAllocation : public ::testing::Test {
protected:
    void SetUp() override {
        const int before = replacementCalls;
        const Nembra::DiffusionEquation probe;
        if (replacementCalls == before) {
            GTEST_SKIP() << "operator new[] of this program is not in effect";
        }
    }
};

TEST_F(DiffusionEquationAllocation, FailedConstructionReportsBadAlloc) {
    failNextArrayAllocation = true;
    EXPECT_THROW(DiffusionEquation solver, std::bad_alloc);
    failNextArrayAllocation = true;
    EXPECT_THROW(DiffusionEquation solver(0.1, 1.0, 10, 1.0), std::bad_alloc);
}

TEST_F(DiffusionEquationAllocation, FailedCopyAssignmentLeavesTheTargetAsItWas) {
    DiffusionEquation target(0.2, 0.5, 4, 3.0);
    for (int i = 0; i < 5; ++i) {
        target.SetSamplingPointsValue(i, 1.5 * i);
    }
    const std::vector<double> before = ProfileOf(target);
    const DiffusionEquation source(0.1, 1.0, 20, 1.0);

    failNextArrayAllocation = true;
    EXPECT_THROW(target = source, std::bad_alloc);
    EXPECT_EQ(target.GetSegments(), 4);
    EXPECT_EQ(target.GetSamplingPoints(), 5);
    EXPECT_EQ(target.GetTimeInterval(), 0.2);
    EXPECT_EQ(target.GetCoordinateStepSize(), 0.5);
    EXPECT_EQ(target.GetBeta(), 3.0);
    EXPECT_EQ(ProfileOf(target), before);
    // Still a working solver.
    target.UpdateDatas();
    EXPECT_EQ(target.GetSamplingPointsValue(0), target.GetSamplingPointsValue(1));
}

}  // namespace
