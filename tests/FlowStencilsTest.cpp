// Gradient stencils, stresses and heat flux.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "support/FlowHelpers.h"

namespace Nembra {
namespace {

using reference::FirstDifference;
using reference::ReferenceMesh;

constexpr GradientRoutine kAllRoutines[] = {
    GradientRoutine::High,     GradientRoutine::HighProspect, GradientRoutine::CurrentE,
    GradientRoutine::CurrentF, GradientRoutine::ProspectE,    GradientRoutine::ProspectF};

bool ReadsPredictedState(GradientRoutine r) {
    return r == GradientRoutine::HighProspect || r == GradientRoutine::ProspectE ||
           r == GradientRoutine::ProspectF;
}

std::string NameOf(GradientRoutine r) {
    switch (r) {
        case GradientRoutine::High:
            return "PartialDerivatives";
        case GradientRoutine::HighProspect:
            return "PartialDerivativesProspect";
        case GradientRoutine::CurrentE:
            return "PartialDerivatives_E";
        case GradientRoutine::CurrentF:
            return "PartialDerivatives_F";
        case GradientRoutine::ProspectE:
            return "PartialDerivativesProspect_E";
        case GradientRoutine::ProspectF:
            return "PartialDerivativesProspect_F";
    }
    return "";
}

// Writes f(x, y) into U, V and T of the state a routine reads, and noise into the other state,
// so that reading the wrong family shows.
void LayField(Solver& s, bool predicted, const std::function<double(double, double)>& f) {
    FillRandomField(s, 99);
    const MeshView view = ViewOf(s);
    const double dx = s.GetDeltaX(), dy = s.GetDeltaY();
    for (int i = 0; i < view.imax; ++i) {
        for (int j = 0; j < view.jmax; ++j) {
            Node& n = view.rows[i][j];
            // A single node has no spacing to speak of (its own is infinite).
            const double value = f(view.imax > 1 ? i * dx : 0.0, view.jmax > 1 ? j * dy : 0.0);
            (predicted ? n.UProspect : n.U) = value;
            (predicted ? n.VProspect : n.V) = value;
            (predicted ? n.TProspect : n.T) = value;
        }
    }
}

void ExpectGradients(const Gradients& g, double x, double y, double tolerance) {
    EXPECT_NEAR(g.dUdX, x, tolerance);
    EXPECT_NEAR(g.dVdX, x, tolerance);
    EXPECT_NEAR(g.dTdX, x, tolerance);
    EXPECT_NEAR(g.dUdY, y, tolerance);
    EXPECT_NEAR(g.dVdY, y, tolerance);
    EXPECT_NEAR(g.dTdY, y, tolerance);
}

class FlowStencilSizes : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FlowStencilSizes, LinearFieldGivesItsSlopesEverywhere) {
    const auto [imax, jmax] = GetParam();
    Solver solver(imax, jmax, 1e-5, 10);
    const double slopeX = 2e7, slopeY = -3e6;
    for (GradientRoutine routine : kAllRoutines) {
        LayField(solver, ReadsPredictedState(routine),
                 [&](double x, double y) { return 5.0 + slopeX * x + slopeY * y; });
        for (int i = 0; i < imax; ++i) {
            for (int j = 0; j < jmax; ++j) {
                SCOPED_TRACE(NameOf(routine) + " at " + std::to_string(i) + "," +
                             std::to_string(j));
                const Gradients g =
                    Access::Derivatives(solver, routine, Access::Mesh(solver), i, j);
                ExpectGradients(g, imax > 1 ? slopeX : 0.0, jmax > 1 ? slopeY : 0.0, 1e-6 * 2e7);
            }
        }
    }
}

// Bit for bit against the plain stencils, on a field that differs at every node; the routines
// leave mesh and object as they were.
TEST_P(FlowStencilSizes, RandomFieldMatchesThePlainStencilsExactly) {
    const auto [imax, jmax] = GetParam();
    Solver solver(imax, jmax, 1e-5, 10);
    FillRandomField(solver, 1234);
    const ReferenceMesh before = Snapshot(solver);
    const reference::FlowConstants c = reference::ConstantsOf(solver);
    for (GradientRoutine routine : kAllRoutines) {
        for (int i = 0; i < imax; ++i) {
            for (int j = 0; j < jmax; ++j) {
                SCOPED_TRACE(NameOf(routine) + " at " + std::to_string(i) + "," +
                             std::to_string(j));
                const Gradients g =
                    Access::Derivatives(solver, routine, Access::Mesh(solver), i, j);
                const Gradients r = reference::GradientsAt(before, routine, i, j, c);
                EXPECT_EQ(g.dUdX, r.dUdX);
                EXPECT_EQ(g.dUdY, r.dUdY);
                EXPECT_EQ(g.dVdX, r.dVdX);
                EXPECT_EQ(g.dVdY, r.dVdY);
                EXPECT_EQ(g.dTdX, r.dTdX);
                EXPECT_EQ(g.dTdY, r.dTdY);
            }
        }
    }
    EXPECT_EQ(FirstDifference(ViewOf(solver).rows, before), "");
    EXPECT_EQ(Access::Members(solver).DeltaT, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlowStencilSizes,
                         ::testing::Values(std::pair{9, 7}, std::pair{70, 70}, std::pair{4, 4},
                                           std::pair{3, 5}, std::pair{5, 2}, std::pair{1, 6},
                                           std::pair{2, 3}, std::pair{1, 1}));

// Derivative along x of f(x) = x^p at node i, read from the x outputs of a routine.
double AlongX(Solver& s, GradientRoutine routine, int power, int i) {
    LayField(s, ReadsPredictedState(routine),
             [power](double x, double) { return std::pow(x, power); });
    return Access::Derivatives(s, routine, Access::Mesh(s), i, 2).dUdX;
}

TEST(FlowStencils, QuadraticAlongXInTheHighOrderPair) {
    Solver solver;
    const double h = solver.GetDeltaX();
    const double tolerance = 1e-9 * 138 * h;
    for (GradientRoutine r : {GradientRoutine::High, GradientRoutine::HighProspect}) {
        EXPECT_NEAR(AlongX(solver, r, 2, 0), 0.0, tolerance);
        for (int i : {1, 2, 35, 68}) {
            EXPECT_NEAR(AlongX(solver, r, 2, i), 2 * i * h, tolerance);
        }
        EXPECT_NEAR(AlongX(solver, r, 2, 69), 138 * h, tolerance);
    }
}

TEST(FlowStencils, CubicAlongXInTheHighOrderPair) {
    Solver solver;
    const double h = solver.GetDeltaX();
    const auto exact = [h](int i) { return 3 * (i * h) * (i * h); };
    const double tolerance = 1e-9 * exact(69);
    for (GradientRoutine r : {GradientRoutine::High, GradientRoutine::HighProspect}) {
        EXPECT_NEAR(AlongX(solver, r, 3, 0), exact(0), tolerance);
        EXPECT_NEAR(AlongX(solver, r, 3, 69), exact(69), tolerance);
        for (int i : {1, 20, 68}) {
            EXPECT_NEAR(AlongX(solver, r, 3, i), exact(i) + h * h, tolerance);
        }
    }
}

TEST(FlowStencils, QuadraticInTheFirstOrderSet) {
    Solver solver;
    const double h = solver.GetDeltaX();
    const double tolerance = 1e-9 * 138 * h;
    for (int i : {1, 10, 68}) {
        EXPECT_NEAR(AlongX(solver, GradientRoutine::CurrentE, 2, i), (2 * i - 1) * h, tolerance);
        EXPECT_NEAR(AlongX(solver, GradientRoutine::ProspectE, 2, i), (2 * i + 1) * h, tolerance);
        EXPECT_NEAR(AlongX(solver, GradientRoutine::CurrentF, 2, i), 2 * i * h, tolerance);
        EXPECT_NEAR(AlongX(solver, GradientRoutine::ProspectF, 2, i), 2 * i * h, tolerance);
    }
    // Only one side exists at the ends.
    EXPECT_NEAR(AlongX(solver, GradientRoutine::CurrentE, 2, 0), h, tolerance);
    EXPECT_NEAR(AlongX(solver, GradientRoutine::ProspectE, 2, 69), 137 * h, tolerance);
}

TEST(FlowStencils, QuadraticAlongYInTheFirstOrderSet) {
    Solver solver;
    const double h = solver.GetDeltaY();
    const double tolerance = 1e-9 * 138 * h;
    const auto alongY = [&](GradientRoutine routine, int j) {
        LayField(solver, ReadsPredictedState(routine), [](double, double y) { return y * y; });
        return Access::Derivatives(solver, routine, Access::Mesh(solver), 3, j).dTdY;
    };
    for (int j : {1, 33, 68}) {
        EXPECT_NEAR(alongY(GradientRoutine::CurrentF, j), (2 * j - 1) * h, tolerance);
        EXPECT_NEAR(alongY(GradientRoutine::ProspectF, j), (2 * j + 1) * h, tolerance);
        EXPECT_NEAR(alongY(GradientRoutine::CurrentE, j), 2 * j * h, tolerance);
        EXPECT_NEAR(alongY(GradientRoutine::ProspectE, j), 2 * j * h, tolerance);
    }
}

// Fewer than four nodes: second-order one-sided ends with three nodes, one difference with two,
// nothing with one.
TEST(FlowStencils, ShortDirectionsFallBackToLowerOrders) {
    Solver three(3, 6, 1e-5, 10);
    const double h = three.GetDeltaX();
    const double tolerance = 1e-9 * h;
    EXPECT_NEAR(AlongX(three, GradientRoutine::High, 2, 0), 0.0, tolerance);
    EXPECT_NEAR(AlongX(three, GradientRoutine::High, 2, 1), 2 * h, tolerance);
    EXPECT_NEAR(AlongX(three, GradientRoutine::HighProspect, 2, 2), 4 * h, tolerance);

    Solver two(2, 6, 1e-5, 10);
    const double h2 = two.GetDeltaX();
    for (int i : {0, 1}) {
        EXPECT_NEAR(AlongX(two, GradientRoutine::High, 2, i), h2, 1e-9 * h2);
        EXPECT_NEAR(AlongX(two, GradientRoutine::ProspectF, 2, i), h2, 1e-9 * h2);
    }

    Solver one(1, 6, 1e-5, 10);
    for (GradientRoutine r : kAllRoutines) {
        EXPECT_EQ(AlongX(one, r, 1, 0), 0.0) << NameOf(r);
    }
}

TEST(FlowStencils, StressFollowsStokesHypothesis) {
    double xx = 9, xy = 9, yx = 9, yy = 9;
    Access::Stress(xx, xy, yx, yy, 1, 0, 0, 0, 3);
    EXPECT_EQ(xx, 4.0);
    EXPECT_EQ(yy, -2.0);
    EXPECT_EQ(xy, 0.0);
    EXPECT_EQ(yx, 0.0);

    Access::Stress(xx, xy, yx, yy, 0, 1, 2, 0, 0.5);
    EXPECT_EQ(xy, 1.5);
    EXPECT_EQ(yx, 1.5);
    EXPECT_EQ(xx, 0.0);
    EXPECT_EQ(yy, 0.0);

    // Bit for bit with the written order of operations.
    const double dUdX = 1.3e5, dUdY = -2.7e4, dVdX = 3.1e3, dVdY = -7.7e4, mu = 1.9e-5;
    Access::Stress(xx, xy, yx, yy, dUdX, dUdY, dVdX, dVdY, mu);
    const double l = ((-2 * mu) / 3) * (dUdX + dVdY);
    EXPECT_EQ(xx, dUdX * (2 * mu) + l);
    EXPECT_EQ(yy, l + (2 * mu) * dVdY);
    EXPECT_EQ(xy, mu * (dUdY + dVdX));
    EXPECT_EQ(yx, xy);
}

TEST(FlowStencils, HeatDischargeIsFourierConduction) {
    double qX = 9, qY = 9;
    Access::HeatDischarge(qX, qY, 2, -1, 0.5);
    EXPECT_EQ(qX, -1.0);
    EXPECT_EQ(qY, 0.5);
    Access::HeatDischarge(qX, qY, 1.1e7, -3.3e6, 0.0253);
    EXPECT_EQ(qX, -(0.0253 * 1.1e7));
    EXPECT_EQ(qY, -(0.0253 * -3.3e6));
}

}  // namespace
}  // namespace Nembra
