// Time step, MacCormack step and stepping driver, compared to the last bit with a plain
// evaluation of the same formulas.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/FlowHelpers.h"

namespace Nembra {
namespace {

using reference::FirstDifference;
using reference::ReferenceMesh;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
const std::string kReport = "error:value'error";

std::string CallCapturingStdout(Solver& solver) {
    ::testing::internal::CaptureStdout();
    solver.UpdateDatas();
    return ::testing::internal::GetCapturedStdout();
}

std::string Repeated(const std::string& text, int times) {
    std::string all;
    for (int k = 0; k < times; ++k) {
        all += text;
    }
    return all;
}

// A solver of the given shape after its initializing call.
Solver Initialized(int imax, int jmax, int maxSteps = 10000) {
    Solver solver(imax, jmax, 1e-5, maxSteps);
    solver.UpdateDatas();
    return solver;
}

// --- Time step ------------------------------------------------------------------------------

TEST(FlowTimeStep, InitialFieldIsLimitedByTheBlock) {
    Solver solver;
    solver.UpdateDatas();
    EXPECT_EQ(solver.GetDeltaT(), 0.0);  // the initializing call computes no step
    const ReferenceMesh initial = Snapshot(solver);
    solver.UpdateDatas();
    EXPECT_EQ(solver.GetDeltaT(), reference::TimeStep(initial, reference::ConstantsOf(solver)));
    EXPECT_NEAR(solver.GetDeltaT(), 8.07e-12, 0.01e-12);
}

TEST(FlowTimeStep, AirAtRestGivesTheAcousticLimit) {
    Solver solver = Initialized(70, 70);
    Access::InitializeMeshNodes2(solver);
    const MeshView view = ViewOf(solver);
    const double dt = Access::CalculateTimeStep(solver, view.rows, view.imax, view.jmax);
    EXPECT_EQ(dt, solver.GetDeltaT());
    EXPECT_EQ(dt, reference::TimeStep(Snapshot(solver), reference::ConstantsOf(solver)));
    EXPECT_NEAR(dt, 4.68e-11, 0.01e-11);
}

TEST(FlowTimeStep, EmptyMeshGivesMinusOne) {
    Solver solver;
    Node** rows = ViewOf(solver).rows;
    EXPECT_EQ(Access::CalculateTimeStep(solver, rows, 0, 70), -1.0);
    EXPECT_EQ(Access::CalculateTimeStep(solver, rows, 70, 0), -1.0);
    EXPECT_EQ(Access::CalculateTimeStep(solver, rows, -3, 5), -1.0);
    EXPECT_EQ(solver.GetDeltaT(), -1.0);
}

TEST(FlowTimeStep, NaNDecidesOnlyAtTheFirstNode) {
    Solver solver = Initialized(13, 11);
    FillRandomField(solver, 3);
    const MeshView view = ViewOf(solver);
    view.rows[4][6].U = kNaN;  // passed over by the minimum
    const double dt = Access::CalculateTimeStep(solver, view.rows, view.imax, view.jmax);
    EXPECT_TRUE(std::isfinite(dt));
    EXPECT_EQ(dt, reference::TimeStep(Snapshot(solver), reference::ConstantsOf(solver)));

    view.rows[0][0].V = kNaN;
    EXPECT_TRUE(std::isnan(Access::CalculateTimeStep(solver, view.rows, view.imax, view.jmax)));
    EXPECT_TRUE(std::isnan(solver.GetDeltaT()));
}

TEST(FlowTimeStep, ViscosityAnywhereLowersEveryNodesStep) {
    Solver solver = Initialized(13, 11);
    Access::InitializeMeshNodes2(solver);
    const MeshView view = ViewOf(solver);
    const double rest = Access::CalculateTimeStep(solver, view.rows, view.imax, view.jmax);
    view.rows[12][10].Mu *= 1e3;  // a corner node takes part as well
    const double viscous = Access::CalculateTimeStep(solver, view.rows, view.imax, view.jmax);
    EXPECT_LT(viscous, rest);
    EXPECT_EQ(viscous, reference::TimeStep(Snapshot(solver), reference::ConstantsOf(solver)));

    view.rows[5][5].Rho = 0.0;  // zero density with viscosity: an infinite diffusivity
    EXPECT_EQ(Access::CalculateTimeStep(solver, view.rows, view.imax, view.jmax), 0.0);
}

TEST(FlowTimeStep, SingleNodeMesh) {
    Solver solver = Initialized(1, 1);
    const FlowMembers m = Access::Members(solver);
    Node& n = ViewOf(solver).rows[0][0];
    Access::SetMeshNodeValue(solver, n, -120, 45, 350, 9e4);
    const double s = 1 / (m.DeltaX * m.DeltaX) + 1 / (m.DeltaY * m.DeltaY);
    const double nu = (n.Mu * std::fabs((m.Gamma * 4) / (m.Prandtl * 3))) / n.Rho;
    const double expected =
        m.Courant / (std::sqrt(std::fabs(n.T * (m.Gamma * m.GasConstant))) * std::sqrt(s) +
                     (std::fabs(n.U) / m.DeltaX + std::fabs(n.V) / m.DeltaY) + 2 * nu * s);
    EXPECT_EQ(Access::CalculateTimeStep(solver, ViewOf(solver).rows, 1, 1), expected);
}

// The coefficients belong to each solver: a second solver with another spacing is not held to
// the first one's stability limit.
TEST(FlowTimeStep, EachSolverUsesItsOwnCoefficients) {
    Solver fine(70, 70, 1e-5, 10);
    Solver coarse(31, 17, 4e-5, 10);
    for (Solver* s : {&fine, &coarse, &fine, &coarse}) {
        if (s->GetStepCount() == 0) {
            s->UpdateDatas();
        }
        const ReferenceMesh before = Snapshot(*s);
        s->UpdateDatas();
        EXPECT_EQ(s->GetDeltaT(), reference::TimeStep(before, reference::ConstantsOf(*s)));
    }
    EXPECT_GT(coarse.GetDeltaT(), 2 * fine.GetDeltaT());
}

// --- The whole step against the plain evaluation --------------------------------------------

// Runs `steps` advancing calls on the solver and on a copy of its mesh, comparing every slot.
void ExpectStepsMatchSnapshot(Solver& solver, int steps) {
    ReferenceMesh expected = Snapshot(solver);
    ExpectStepsMatchReference(solver, expected, steps);
}

TEST(FlowStep, DefaultFieldMatchesToTheLastBit) {
    Solver solver = Initialized(70, 70);
    ExpectStepsMatchSnapshot(solver, 4);
    EXPECT_EQ(solver.GetStepCount(), 5);
}

class FlowStepRandomField : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FlowStepRandomField, MatchesToTheLastBit) {
    const auto [imax, jmax] = GetParam();
    Solver solver = Initialized(imax, jmax);
    FillRandomField(solver, static_cast<std::uint32_t>(imax * 100 + jmax));
    ExpectStepsMatchSnapshot(solver, 3);
}

// Small meshes use the short-direction stencils and have little or no interior.
INSTANTIATE_TEST_SUITE_P(Sizes, FlowStepRandomField,
                         ::testing::Values(std::pair{5, 7}, std::pair{13, 11}, std::pair{31, 17},
                                           std::pair{4, 4}, std::pair{1, 1}, std::pair{1, 4},
                                           std::pair{2, 3}, std::pair{3, 3}, std::pair{4, 2},
                                           std::pair{3, 1}));

TEST(FlowStep, UniformAirAtRestStaysUnchanged) {
    Solver solver = Initialized(12, 10);
    Access::InitializeMeshNodes2(solver);
    const ReferenceMesh before = Snapshot(solver);
    solver.UpdateDatas();
    const MeshView view = ViewOf(solver);
    for (int i = 0; i < view.imax; ++i) {
        for (int j = 0; j < view.jmax; ++j) {
            const Node& n = view.rows[i][j];
            const Node& b = before.at(i, j);
            EXPECT_NEAR(n.Rho, b.Rho, 1e-12 * b.Rho);
            EXPECT_NEAR(n.Et, b.Et, 1e-12 * b.Et);
            EXPECT_NEAR(n.P, b.P, 1e-12 * b.P);
            EXPECT_NEAR(n.U, 0.0, 1e-9);
            EXPECT_NEAR(n.V, 0.0, 1e-9);
            const double flux[8] = {n.FluxE[0], n.FluxE[1], n.FluxE[2], n.FluxE[3],
                                    n.FluxF[0], n.FluxF[1], n.FluxF[2], n.FluxF[3]};
            const double wanted[8] = {0, b.P, 0, 0, 0, 0, b.P, 0};
            for (int k = 0; k < 8; ++k) {
                // The one-sided edge stencils leave rounding noise on a constant field.
                EXPECT_NEAR(flux[k], wanted[k], 1e-12 * b.P) << i << "," << j << " flux " << k;
            }
        }
    }
}

TEST(FlowStep, FourByFourAdvancesOnlyTheInnerFour) {
    Solver solver = Initialized(4, 4);
    FillRandomField(solver, 44);
    Access::SetDeltaT(solver, 1e-12);
    const ReferenceMesh before = Snapshot(solver);
    Access::MacCormack(solver);
    const MeshView view = ViewOf(solver);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            const bool inner = i >= 1 && i <= 2 && j >= 1 && j <= 2;
            const Node& n = view.rows[i][j];
            const Node& b = before.at(i, j);
            EXPECT_EQ(n.Rho == b.Rho && n.Et == b.Et && n.DUDt[0] == b.DUDt[0], !inner)
                << i << "," << j;
            EXPECT_NE(n.FluxE[1], b.FluxE[1]) << i << "," << j;
            EXPECT_NE(n.FluxFProspect[2], b.FluxFProspect[2]) << i << "," << j;
        }
    }
    ReferenceMesh expected = before;
    reference::MacCormack(expected, reference::ConstantsOf(solver), 1e-12);
    EXPECT_EQ(FirstDifference(view.rows, expected), "");
}

// A step far beyond the stability limit drives predicted and new densities and energies
// negative, so the absolute values of the decoding are taken where the formulas put them.
TEST(FlowStep, OverlongStepTakesAbsoluteValuesOfDensityAndEnergy) {
    Solver solver = Initialized(9, 9);
    FillRandomField(solver, 77);
    const double dt = 2e-9;
    Access::SetDeltaT(solver, dt);
    const ReferenceMesh before = Snapshot(solver);
    Access::MacCormack(solver);
    const MeshView view = ViewOf(solver);
    int negativePredictions = 0;
    for (int i = 1; i < 8; ++i) {
        for (int j = 1; j < 8; ++j) {
            negativePredictions += before.at(i, j).Rho + view.rows[i][j].DUDt[0] * dt < 0;
        }
    }
    EXPECT_GT(negativePredictions, 0);
    ReferenceMesh expected = before;
    reference::MacCormack(expected, reference::ConstantsOf(solver), dt);
    EXPECT_EQ(FirstDifference(view.rows, expected), "");
}

// Which fluxes of node (4, 4) change when one neighbouring slot changes.
std::vector<bool> ChangedFluxes(int di, int dj, double Node::*slot) {
    Solver solver = Initialized(9, 9);
    FillRandomField(solver, 8);
    Access::SetDeltaT(solver, 1e-12);
    Solver changed(solver);
    ViewOf(changed).rows[4 + di][4 + dj].*slot *= 1.5;
    Access::MacCormack(solver);
    Access::MacCormack(changed);
    const Node& a = ViewOf(solver).rows[4][4];
    const Node& b = ViewOf(changed).rows[4][4];
    std::vector<bool> differs;
    for (int k = 0; k < 4; ++k) {
        differs.push_back(a.FluxE[k] != b.FluxE[k]);
    }
    for (int k = 0; k < 4; ++k) {
        differs.push_back(a.FluxF[k] != b.FluxF[k]);
    }
    return differs;
}

TEST(FlowStep, StressesAndHeatFluxSitInTheirFluxComponents) {
    //                                       E0     E1    E2     E3    F0     F1     F2    F3
    EXPECT_EQ(ChangedFluxes(1, 0, &Node::U),
              (std::vector<bool>{false, true, false, true, false, false, true, true}));
    EXPECT_EQ(ChangedFluxes(1, 0, &Node::T),
              (std::vector<bool>{false, false, false, true, false, false, false, false}));
    EXPECT_EQ(ChangedFluxes(0, 1, &Node::T),
              (std::vector<bool>{false, false, false, false, false, false, false, true}));
}

// --- Stepping driver ------------------------------------------------------------------------

TEST(FlowDriver, FirstCallsPrintNothing) {
    Solver solver;
    EXPECT_EQ(CallCapturingStdout(solver), "");
    EXPECT_EQ(solver.GetStepCount(), 1);
    EXPECT_EQ(CallCapturingStdout(solver), "");
    EXPECT_EQ(solver.GetStepCount(), 2);
    EXPECT_GT(solver.GetDeltaT(), 0.0);
}

struct ReportCase {
    double Node::*slot;
    double value;
    bool reported;
};

class FlowValueSweep : public ::testing::TestWithParam<ReportCase> {};

TEST_P(FlowValueSweep, ReportsCheckedSlotsOnly) {
    const ReportCase r = GetParam();
    Solver solver = Initialized(13, 11);
    ViewOf(solver).rows[6][3].*r.slot = r.value;
    const std::string once = r.reported ? kReport : "";
    EXPECT_EQ(CallCapturingStdout(solver), once);
}

INSTANTIATE_TEST_SUITE_P(
    Slots, FlowValueSweep,
    ::testing::Values(ReportCase{&Node::Rho, kNaN, true}, ReportCase{&Node::U, kNaN, true},
                      ReportCase{&Node::V, -kNaN, true}, ReportCase{&Node::Et, kNaN, true},
                      ReportCase{&Node::Eint, kInfinity, true}, ReportCase{&Node::K, kNaN, true},
                      ReportCase{&Node::Mu, -kInfinity, true},
                      ReportCase{&Node::P, kInfinity, true}, ReportCase{&Node::T, kNaN, false},
                      ReportCase{&Node::RhoU, kNaN, false},
                      ReportCase{&Node::RhoV, kInfinity, false},
                      ReportCase{&Node::TProspect, kNaN, false},
                      ReportCase{&Node::RhoProspect, kInfinity, false}));

TEST(FlowValueSweep, OneReportPerNodeAndCall) {
    Solver solver = Initialized(13, 11);
    Node& node = ViewOf(solver).rows[6][3];
    node.P = kInfinity;
    node.Mu = kInfinity;
    node.Rho = kNaN;
    EXPECT_EQ(CallCapturingStdout(solver), kReport);
    // Reported again in every later call for as long as the node holds such a value.
    EXPECT_NE(CallCapturingStdout(solver), "");
}

TEST(FlowValueSweep, SeveralNodesRunTogetherOnOneLine) {
    Solver solver = Initialized(13, 11);
    Node** rows = ViewOf(solver).rows;
    rows[0][0].Rho = kNaN;
    rows[11][9].P = kInfinity;
    rows[5][5].K = kNaN;
    EXPECT_EQ(CallCapturingStdout(solver), Repeated(kReport, 3));
}

TEST(FlowValueSweep, LastRowAndLastColumnAreNotChecked) {
    Solver solver = Initialized(13, 11);
    Node** rows = ViewOf(solver).rows;
    rows[12][4].Rho = kNaN;
    rows[4][10].P = kInfinity;
    rows[12][10].U = kNaN;
    EXPECT_EQ(CallCapturingStdout(solver), "");
}

TEST(FlowValueSweep, SingleRowOrColumnMeshIsNeverChecked) {
    for (const auto& [imax, jmax] : {std::pair{1, 6}, std::pair{6, 1}}) {
        Solver solver = Initialized(imax, jmax);
        ViewOf(solver).rows[0][0].P = kNaN;
        EXPECT_EQ(CallCapturingStdout(solver), "");
        EXPECT_EQ(solver.GetStepCount(), 2);
    }
}

TEST(FlowValueAvailability, FiniteValuesOnly) {
    double signalling = std::numeric_limits<double>::signaling_NaN();
    double negativeNaN = -kNaN;
    for (double usable : {0.0, -0.0, 1e308, -1e308, DBL_MAX, DBL_TRUE_MIN, -1.0}) {
        EXPECT_TRUE(Access::ValueAvailability(usable)) << usable;
    }
    for (double unusable :
         {kInfinity, -kInfinity, kNaN, signalling, negativeNaN, std::pow(-1.0, 1.5)}) {
        EXPECT_FALSE(Access::ValueAvailability(unusable)) << unusable;
    }
}

TEST(FlowDriver, StandsStillAtTheStepLimit) {
    Solver solver = Initialized(9, 9, 3);
    solver.UpdateDatas();
    solver.UpdateDatas();
    EXPECT_EQ(solver.GetStepCount(), 3);
    ViewOf(solver).rows[4][4].P = kNaN;
    const ReferenceMesh before = Snapshot(solver);
    const double dt = solver.GetDeltaT();
    EXPECT_EQ(CallCapturingStdout(solver), "");
    EXPECT_EQ(solver.GetStepCount(), 3);
    EXPECT_EQ(solver.GetDeltaT(), dt);
    EXPECT_EQ(FirstDifference(ViewOf(solver).rows, before), "");
}

TEST(FlowDriver, LimitsOfOneOrLessDoNoStep) {
    Solver one = Initialized(9, 9, 1);
    const ReferenceMesh initial = Snapshot(one);
    one.UpdateDatas();
    EXPECT_EQ(one.GetStepCount(), 1);
    EXPECT_EQ(FirstDifference(ViewOf(one).rows, initial), "");

    for (int limit : {0, -4}) {
        Solver none(9, 9, 1e-5, limit);
        none.UpdateDatas();
        EXPECT_EQ(none.GetStepCount(), 0);
        EXPECT_EQ(ViewOf(none).rows[4][4].T, 0.0);
    }
}

// A host that lays its own field and edges; the driver must call the replacements, in order.
class RecordingHost : public Solver {
public:
    using Solver::Solver;
    std::vector<std::string> calls;

protected:
    void InitializeMeshNodes(Node**& mesh) override { Record("InitializeMeshNodes", mesh); }
    void InitializeMeshNodes2(Node**& mesh) override {
        Record("InitializeMeshNodes2", mesh);
        for (int i = 0; i < 7; ++i) {
            for (int j = 0; j < 6; ++j) {
                SetMeshNodeValue(mesh[i][j], 20, -10, 300, 1e5);
            }
        }
    }
    void SetMeshNodesValues(Node**& mesh) override { Record("SetMeshNodesValues", mesh); }
    void BoundaryConditions(Node**& mesh) override { Record("BoundaryConditions", mesh); }
    void BoundaryConditions2(Node**& mesh) override {
        Record("BoundaryConditions2", mesh);
        Solver::BoundaryConditions2(mesh);
        SetMeshNodeValue(mesh[0][0], 1, 2, 310, 1.1e5);
    }
    void BoundaryConditionsProspect(Node**& mesh) override {
        Record("BoundaryConditionsProspect", mesh);
    }
    void BoundaryConditionsProspect2(Node**& mesh) override {
        Record("BoundaryConditionsProspect2", mesh);
        Solver::BoundaryConditionsProspect2(mesh);
    }

private:
    void Record(const char* name, Node**& mesh) {
        calls.push_back(&mesh == &Access::Mesh(*this) ? name : "foreign mesh");
    }
};

TEST(FlowDriver, DerivedHostsReplacementsAreTheOnesCalled) {
    RecordingHost host(7, 6, 1e-5, 100);
    host.UpdateDatas();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"InitializeMeshNodes2", "SetMeshNodesValues"}));
    EXPECT_EQ(ViewOf(host).rows[3][3].U, 20.0);

    host.calls.clear();
    host.UpdateDatas();
    host.UpdateDatas();
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"BoundaryConditionsProspect2", "BoundaryConditions2",
                                        "BoundaryConditionsProspect2", "BoundaryConditions2"}));
    EXPECT_EQ(ViewOf(host).rows[0][0].T, 310.0);
}

}  // namespace
}  // namespace Nembra
