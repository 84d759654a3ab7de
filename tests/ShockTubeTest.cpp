#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Nembra/ShockTube.h"
#include "support/FlowHelpers.h"

namespace {

using Nembra::ShockTube;
using Nembra::reference::kSlotCount;
using Nembra::reference::Slot;
using Node = ShockTube::_MeshNode;

// The tube's two states as the problem states them, independent of the class's constants.
constexpr double kLeftPressure = 1013250;
constexpr double kLeftTemperature = 360.2;
constexpr double kRightPressure = 101325;
constexpr double kRightTemperature = 288.16;
constexpr double kGasConstant = 287;

// Slots of the record: the current state comes first, then the predicted scalars; the predicted
// conserved vector sits at 32 ... 35.
constexpr int kCurrentSlots = 11;
constexpr int kRhoV = 2;
constexpr int kV = 5;
constexpr int kVProspect = 12;
constexpr int kPredictedSlots[] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 32, 33, 34, 35};
constexpr int kQProspectV = 34;

// A short tube on the default spacing (1e-4 m over 999 spacings): the waves cross a few dozen
// nodes in a few hundred steps, well under a second.
ShockTube ShortTube() {
    return ShockTube(200, 11, 199 * (1e-4 / 999), 100000);
}

void Advance(ShockTube& tube, int calls) {
    for (int n = 0; n < calls; ++n) {
        tube.UpdateDatas();
    }
}

void ExpectState(const Node& n, double p, double T, const char* where) {
    EXPECT_EQ(n.P, p) << where;
    EXPECT_EQ(n.T, T) << where;
    EXPECT_EQ(n.U, 0.0) << where;
    EXPECT_EQ(n.V, 0.0) << where;
    EXPECT_DOUBLE_EQ(n.Rho, p / (T * kGasConstant)) << where;
}

// Exposes the two boundary operations so that each can be tried on a field of its own.
class ExposedTube : public ShockTube {
public:
    using ShockTube::ShockTube;
    void Current() { BoundaryConditions2(Rows()); }
    void Predicted() { BoundaryConditionsProspect2(Rows()); }

private:
    _MeshNode**& Rows() {
        int imax = 0;
        int jmax = 0;
        return GetMeshNodes(imax, jmax);
    }
};

TEST(ShockTube, StatesAreTheClassicTenToOnePressureAndEightToOneDensity) {
    const ShockTube tube;
    EXPECT_EQ(tube.GetLeftPressure(), kLeftPressure);
    EXPECT_EQ(tube.GetLeftTemperature(), kLeftTemperature);
    EXPECT_EQ(tube.GetRightPressure(), kRightPressure);
    EXPECT_EQ(tube.GetRightTemperature(), kRightTemperature);
    EXPECT_NEAR(tube.GetLeftDensity() / tube.GetRightDensity(), 8.0, 1e-12);
    EXPECT_EQ(tube.GetDiaphragmPosition(), tube.GetLengthX() / 2);
}

TEST(ShockTube, DefaultTubeIsAThousandNodesOverATenthOfAMillimetre) {
    ShockTube tube;
    const Nembra::MeshView mesh = Nembra::ViewOf(tube);
    EXPECT_EQ(mesh.imax, 1000);
    EXPECT_EQ(mesh.jmax, 11);
    EXPECT_EQ(tube.GetLengthX(), 1e-4);
}

TEST(ShockTube, FirstCallLaysEachSideOfAThinDiaphragmEverywhereAcross) {
    ShockTube tube = ShortTube();
    tube.UpdateDatas();
    const Nembra::MeshView mesh = Nembra::ViewOf(tube);
    const int middle = mesh.imax / 2;  // the first node right of the diaphragm
    for (int j = 0; j < mesh.jmax; ++j) {
        for (int i = 0; i < mesh.imax; ++i) {
            const Node& n = mesh.rows[i][j];
            if (i < middle - 20) {
                ExpectState(n, kLeftPressure, kLeftTemperature, "left");
            } else if (i >= middle + 20) {
                ExpectState(n, kRightPressure, kRightTemperature, "right");
            }
            if (i > 0) {
                EXPECT_LE(n.P, mesh.rows[i - 1][j].P) << i;
                EXPECT_LE(n.T, mesh.rows[i - 1][j].T) << i;
            }
        }
        // The layer is centred on the diaphragm, midway between two nodes.
        EXPECT_NEAR(mesh.rows[middle - 1][j].P + mesh.rows[middle][j].P,
                    kLeftPressure + kRightPressure, 1e-6);
        EXPECT_GT(mesh.rows[middle - 1][j].P, 0.5 * (kLeftPressure + kRightPressure));
    }
}

TEST(ShockTube, ExactSolutionIsSodsProblemInAir) {
    const ShockTube tube;
    const Nembra::ExactRiemannSolution exact = tube.GetExactSolution();
    EXPECT_EQ(exact.GetGamma(), tube.GetGamma());
    EXPECT_EQ(exact.GetDiaphragm(), tube.GetDiaphragmPosition());
    // In units of the left state the tube is Sod's problem, whose star state is published.
    const double speed = std::sqrt(kLeftPressure / tube.GetLeftDensity());
    EXPECT_NEAR(exact.GetStarPressure() / kLeftPressure, 0.30313, 5e-6);
    EXPECT_NEAR(exact.GetStarVelocity() / speed, 0.92745, 5e-6);
    EXPECT_NEAR(exact.GetStarDensityLeft() / tube.GetLeftDensity(), 0.42632, 5e-6);
    EXPECT_NEAR(exact.GetStarDensityRight() / tube.GetLeftDensity(), 0.26557, 5e-6);
    // By the default end time the shock has crossed a third of the tube.
    const double t = tube.GetDefaultEndTime();
    EXPECT_NEAR(exact.GetDiaphragm() + exact.GetRightHeadSpeed() * t,
                tube.GetDiaphragmPosition() + tube.GetLengthX() / 3, 1e-12 * tube.GetLengthX());
}

TEST(ShockTube, CurrentEdgesMirrorTheRowInsideAndTheEndsHoldTheirStates) {
    ExposedTube tube(30, 11, 3e-6, 100);
    Nembra::FillRandomField(tube, 7);
    const Nembra::reference::ReferenceMesh before = Nembra::Snapshot(tube);
    tube.Current();
    const Nembra::MeshView mesh = Nembra::ViewOf(tube);
    const int top = mesh.jmax - 1;
    for (int i = 1; i < mesh.imax - 1; ++i) {
        for (int k = 0; k < kCurrentSlots; ++k) {
            const bool normal = k == kV || k == kRhoV;
            EXPECT_EQ(Slot(mesh.rows[i][0], k), normal ? 0.0 : Slot(mesh.rows[i][1], k)) << i;
            EXPECT_EQ(Slot(mesh.rows[i][top], k), normal ? 0.0 : Slot(mesh.rows[i][top - 1], k))
                << i;
        }
    }
    for (int j = 0; j < mesh.jmax; ++j) {
        ExpectState(mesh.rows[0][j], kLeftPressure, kLeftTemperature, "left end");
        ExpectState(mesh.rows[mesh.imax - 1][j], kRightPressure, kRightTemperature, "right end");
    }
    // Nothing else changes: the interior, and every predicted slot anywhere.
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            const bool edge = i == 0 || j == 0 || i == mesh.imax - 1 || j == top;
            for (int k = edge ? kCurrentSlots : 0; k < kSlotCount; ++k) {
                EXPECT_EQ(Slot(mesh.rows[i][j], k), Slot(before.at(i, j), k))
                    << i << " " << j << " slot " << k;
            }
        }
    }
}

TEST(ShockTube, PredictedEdgesMirrorTheRowInsideAndTheEndsHoldTheirStates) {
    ExposedTube tube(30, 11, 3e-6, 100);
    Nembra::FillRandomField(tube, 11);
    const Nembra::reference::ReferenceMesh before = Nembra::Snapshot(tube);
    tube.Predicted();
    const Nembra::MeshView mesh = Nembra::ViewOf(tube);
    const int top = mesh.jmax - 1;
    for (int i = 1; i < mesh.imax - 1; ++i) {
        for (int k : kPredictedSlots) {
            const bool normal = k == kVProspect || k == kQProspectV;
            EXPECT_EQ(Slot(mesh.rows[i][0], k), normal ? 0.0 : Slot(mesh.rows[i][1], k)) << i;
            EXPECT_EQ(Slot(mesh.rows[i][top], k), normal ? 0.0 : Slot(mesh.rows[i][top - 1], k))
                << i;
        }
    }
    for (int j = 0; j < mesh.jmax; ++j) {
        EXPECT_EQ(mesh.rows[0][j].PProspect, kLeftPressure);
        EXPECT_EQ(mesh.rows[0][j].TProspect, kLeftTemperature);
        EXPECT_EQ(mesh.rows[mesh.imax - 1][j].PProspect, kRightPressure);
        EXPECT_EQ(mesh.rows[mesh.imax - 1][j].TProspect, kRightTemperature);
        EXPECT_EQ(mesh.rows[mesh.imax - 1][j].UProspect, 0.0);
    }
    // The current state is left alone everywhere.
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            for (int k = 0; k < kCurrentSlots; ++k) {
                EXPECT_EQ(Slot(mesh.rows[i][j], k), Slot(before.at(i, j), k))
                    << i << " " << j << " slot " << k;
            }
        }
    }
}

// The flow must stay one-dimensional: an edge that leaked (a wall, a held state) would make the
// rows near it differ from the middle one at the level of the flow itself, not of rounding.
TEST(ShockTube, EveryRowCarriesTheSameProfileAsTheWavesRun) {
    ShockTube tube = ShortTube();
    Advance(tube, 301);
    const Nembra::MeshView mesh = Nembra::ViewOf(tube);
    const int middle = mesh.jmax / 2;
    double fastest = 0;
    for (int i = 0; i < mesh.imax; ++i) {
        fastest = std::max(fastest, std::fabs(mesh.rows[i][middle].U));
    }
    ASSERT_GT(fastest, 100.0) << "the waves must have started for the test to mean anything";
    for (int i = 0; i < mesh.imax; ++i) {
        const Node& m = mesh.rows[i][middle];
        for (int j = 0; j < mesh.jmax; ++j) {
            const Node& n = mesh.rows[i][j];
            EXPECT_NEAR(n.Rho, m.Rho, 1e-12 * m.Rho) << i << " " << j;
            EXPECT_NEAR(n.P, m.P, 1e-12 * m.P) << i << " " << j;
            EXPECT_NEAR(n.T, m.T, 1e-12 * m.T) << i << " " << j;
            EXPECT_NEAR(n.U, m.U, 1e-12 * fastest) << i << " " << j;
            EXPECT_NEAR(n.V, 0.0, 1e-12 * fastest) << i << " " << j;
        }
    }
    for (int j = 0; j < mesh.jmax; ++j) {
        ExpectState(mesh.rows[0][j], kLeftPressure, kLeftTemperature, "left end");
        ExpectState(mesh.rows[mesh.imax - 1][j], kRightPressure, kRightTemperature, "right end");
    }
}

// The diaphragm's layer keeps the node beside it from running away; a sharp jump on this
// spacing heats that node beyond 9000 K within a hundred steps.
TEST(ShockTube, NoNodeOvershootsTheHottestStateOfTheExactSolution) {
    ShockTube tube = ShortTube();
    Advance(tube, 301);
    const Nembra::MeshView mesh = Nembra::ViewOf(tube);
    const Nembra::ExactRiemannSolution exact = tube.GetExactSolution();
    const double shocked = exact.GetStarPressure() / (exact.GetStarDensityRight() * kGasConstant);
    for (int i = 0; i < mesh.imax; ++i) {
        EXPECT_LT(mesh.rows[i][5].T, 1.1 * shocked) << i;
    }
}

TEST(ShockTube, MeshesTooSmallForTheStencilsAreSteppedWithoutHarm) {
    for (int n : {0, 1, 2, 3}) {
        ShockTube tube(n, n, 1e-6, 4);
        Advance(tube, 4);
        EXPECT_LE(tube.GetStepCount(), 4) << n;
    }
}

}  // namespace
