#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FlowFields.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {
namespace {

using Solver = Nembra::NavierStokesEquations2D;

class CliUnusableNodeCount : public ::testing::Test {
protected:
    void SetUp() override {
        solver_.UpdateDatas();  // lays the initial field, all finite
        int imax = 0;
        int jmax = 0;
        mesh_ = solver_.GetMeshNodes(imax, jmax);
        ASSERT_EQ(imax, 13);
        ASSERT_EQ(jmax, 12);
    }
    Solver solver_{13, 12, 1e-5, 10};
    Solver::_MeshNode** mesh_ = nullptr;
    const double inf_ = std::numeric_limits<double>::infinity();
    const double nan_ = std::numeric_limits<double>::quiet_NaN();
};

TEST_F(CliUnusableNodeCount, IsZeroForTheInitialField) {
    EXPECT_EQ(CountUnusableNodes(solver_), 0);
}

TEST_F(CliUnusableNodeCount, CountsEachCheckedNodeOnceWhateverCheckedSlotIsBad) {
    mesh_[0][0].P = inf_;
    mesh_[3][4].P = inf_;
    mesh_[3][4].Mu = nan_;  // same node: still one report
    mesh_[5][6].U = -nan_;
    mesh_[11][10].Rho = -inf_;  // last checked row and node
    EXPECT_EQ(CountUnusableNodes(solver_), 4);
}

TEST_F(CliUnusableNodeCount, CoversEveryCheckedSlot) {
    double Solver::_MeshNode::*slots[] = {&Solver::_MeshNode::Rho,  &Solver::_MeshNode::U,
                                          &Solver::_MeshNode::V,    &Solver::_MeshNode::Et,
                                          &Solver::_MeshNode::Eint, &Solver::_MeshNode::K,
                                          &Solver::_MeshNode::Mu,   &Solver::_MeshNode::P};
    for (auto slot : slots) {
        const double kept = mesh_[2][2].*slot;
        mesh_[2][2].*slot = nan_;
        EXPECT_EQ(CountUnusableNodes(solver_), 1);
        mesh_[2][2].*slot = kept;
    }
}

TEST_F(CliUnusableNodeCount, IgnoresUncheckedSlotsAndTheLastRowAndColumn) {
    mesh_[4][4].T = nan_;
    mesh_[4][5].RhoU = inf_;
    mesh_[4][6].RhoV = nan_;
    mesh_[4][7].PProspect = nan_;
    mesh_[4][8].FluxE[2] = inf_;
    mesh_[12][3].P = nan_;    // last row
    mesh_[3][11].Rho = inf_;  // last node of a row
    EXPECT_EQ(CountUnusableNodes(solver_), 0);
}

TEST(CliMachNumber, IsSpeedOverTheSpeedOfSound) {
    // gamma R T = 25, speed 5.
    EXPECT_EQ(MachNumber(3.0, 4.0, 25.0, 1.0, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(MachNumber(0.0, -680.0, 288.16, 1.4, 287.0),
                     680.0 / std::sqrt(1.4 * 287.0 * 288.16));
}

TEST(CliFiniteRange, LeavesOutNonFiniteValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ValueRange range =
        FiniteRange({nan, 3.0, -1.0, std::numeric_limits<double>::infinity(), 2.0});
    EXPECT_FALSE(range.empty);
    EXPECT_EQ(range.min, -1.0);
    EXPECT_EQ(range.max, 3.0);
    EXPECT_TRUE(FiniteRange({nan, nan}).empty);
}

TEST(CliFlowFieldNames, AreUniqueAndFound) {
    for (const FieldInfo& info : AllFlowFields()) {
        ASSERT_TRUE(FindFlowField(info.name).has_value()) << info.name;
        EXPECT_EQ(*FindFlowField(info.name), info.field);
    }
    EXPECT_FALSE(FindFlowField("vorticity").has_value());
}

}  // namespace
}  // namespace nembra_cli
