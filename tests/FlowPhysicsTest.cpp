// Whole runs of the flow solver judged by their physics: symmetry, wave propagation, bounded
// and finite fields, quiet console.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "support/FlowHelpers.h"

namespace Nembra {
namespace {

constexpr double kRestRho = 1.2251832;  // air at 288.16 K and 101325 Pa
constexpr double kRestP = 101325;

// Largest density difference between nodes mirrored about the middle line j = jmax/2 (or
// i = imax/2 when acrossX), for a mesh of odd node counts.
double DensityAsymmetry(const MeshView& view, bool acrossX) {
    const int half = (acrossX ? view.imax : view.jmax) / 2;
    const int along = acrossX ? view.jmax : view.imax;
    double worst = 0;
    for (int m = 0; m < along; ++m) {
        for (int k = 1; k <= half; ++k) {
            const double a = acrossX ? view.rows[half + k][m].Rho : view.rows[m][half + k].Rho;
            const double b = acrossX ? view.rows[half - k][m].Rho : view.rows[m][half - k].Rho;
            worst = std::fmax(worst, std::fabs(a - b));
        }
    }
    return worst;
}

bool AllSlotsFinite(const MeshView& view) {
    for (int i = 0; i < view.imax; ++i) {
        for (int j = 0; j < view.jmax; ++j) {
            for (int s = 0; s < reference::kSlotCount; ++s) {
                if (!std::isfinite(reference::Slot(view.rows[i][j], s))) {
                    return false;
                }
            }
        }
    }
    return true;
}

// The block moves along x only, so the flow stays mirror-symmetric across its path; the
// predictor's forward and the corrector's rearward differences leave a small bias at the
// block's corners.
TEST(FlowPhysics, MovingBlockStaysMirrorSymmetricAcrossItsPath) {
    Solver solver(71, 71, 1e-5, 301);
    solver.UpdateDatas();
    const MeshView view = ViewOf(solver);
    const double wakeBefore = view.rows[29][35].Rho;
    for (int step = 1; step <= 300; ++step) {
        solver.UpdateDatas();
        ASSERT_LE(DensityAsymmetry(view, false), 0.02 * kRestRho) << "step " << step;
    }
    EXPECT_GT(std::fabs(view.rows[29][35].Rho - wakeBefore), 0.1);  // the flow did move
}

// A hot, high-pressure block at rest: its pressure wave runs out to all four edges.
class RestingBlockHost : public Solver {
public:
    using Solver::Solver;

protected:
    void SetMeshNodesValues(Node**& mesh) override {
        const int ci = Access::Members(*this).IMax / 2;
        const int cj = Access::Members(*this).JMax / 2;
        for (int i = ci - 5; i <= ci + 5; ++i) {
            for (int j = cj - 5; j <= cj + 5; ++j) {
                SetMeshNodeValue(mesh[i][j], 0, 0, 576.32, 121590);
            }
        }
    }
};

// Largest pressure disturbance on the four lines of nodes next to the edges.
struct EdgeDisturbance {
    double left = 0, right = 0, lower = 0, upper = 0;

    void Record(const MeshView& v) {
        for (int k = 1; k < v.imax - 1; ++k) {
            left = std::fmax(left, std::fabs(v.rows[1][k].P - kRestP));
            right = std::fmax(right, std::fabs(v.rows[v.imax - 2][k].P - kRestP));
            lower = std::fmax(lower, std::fabs(v.rows[k][1].P - kRestP));
            upper = std::fmax(upper, std::fabs(v.rows[k][v.jmax - 2].P - kRestP));
        }
    }
};

void ExpectBoundedField(const MeshView& v, int step) {
    for (int i = 0; i < v.imax; ++i) {
        for (int j = 0; j < v.jmax; ++j) {
            const Node& n = v.rows[i][j];
            ASSERT_TRUE(n.P > 0.85 * kRestP && n.P < 1.25 * kRestP && n.T > 250 && n.T < 600 &&
                        std::fabs(n.U) < 100 && std::fabs(n.V) < 100)
                << "node " << i << "," << j << " at step " << step << ": P " << n.P << " T " << n.T
                << " U " << n.U << " V " << n.V;
        }
    }
}

TEST(FlowPhysics, PressurePulseReachesEveryEdgeAndTheFieldStaysBounded) {
    RestingBlockHost host(71, 71, 1e-5, 10000);
    host.UpdateDatas();
    const MeshView view = ViewOf(host);
    EdgeDisturbance seen;
    for (int step = 1; step <= 500; ++step) {
        host.UpdateDatas();
        seen.Record(view);
        ExpectBoundedField(view, step);
        ASSERT_LE(DensityAsymmetry(view, false), 0.01 * kRestRho) << "step " << step;
        ASSERT_LE(DensityAsymmetry(view, true), 0.01 * kRestRho) << "step " << step;
    }
    EXPECT_GT(seen.left, 500.0);
    EXPECT_GT(seen.right, 500.0);
    EXPECT_GT(seen.lower, 500.0);
    EXPECT_GT(seen.upper, 500.0);
}

// The default run: one initializing call and 9999 steps. The block outruns the speed at which
// air can follow it and leaves a near vacuum behind, which drives the time step down by many
// orders of magnitude; the field must nevertheless stay finite and no value be reported.
TEST(FlowPhysics, FullDefaultRunStaysFiniteAndPrintsNothing) {
    Solver solver;
    ::testing::internal::CaptureStdout();
    for (int call = 0; call < 10000; ++call) {
        solver.UpdateDatas();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(solver.GetStepCount(), 10000);
    EXPECT_TRUE(AllSlotsFinite(ViewOf(solver)));
    EXPECT_GT(solver.GetDeltaT(), 0.0);
}

class FlowSmallMesh : public ::testing::TestWithParam<std::tuple<int, int>> {};

// The sanitizers watch these for any access outside the mesh.
TEST_P(FlowSmallMesh, StepsWithoutErrorOrReport) {
    const auto [imax, jmax] = GetParam();
    Solver solver(imax, jmax, 1e-5, 40);
    ::testing::internal::CaptureStdout();
    for (int call = 0; call < 40; ++call) {
        solver.UpdateDatas();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    if (imax > 0 && jmax > 0) {
        EXPECT_EQ(solver.GetStepCount(), 40);
    }
    EXPECT_TRUE(AllSlotsFinite(ViewOf(solver)));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlowSmallMesh,
                         ::testing::Combine(::testing::Range(0, 5), ::testing::Range(0, 5)),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) + "x" +
                                    std::to_string(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace Nembra
