// The row-wise, vectorised flow step against the plain node-by-node evaluation of the same
// formulas, to the last bit: rows whose lengths put the vector blocks and their tails in every
// position, a replaced edge pass that changes interior predicted values, unusable values in
// block lanes and tails, and copies and moves of a solver with its working storage.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <utility>

#include "support/FlowHelpers.h"

namespace Nembra {
namespace {

using reference::FirstDifference;
using reference::FlowConstants;
using reference::ReferenceMesh;

Solver RandomSolver(int imax, int jmax, std::uint32_t seed) {
    Solver solver(imax, jmax, 1e-5, 10000);
    solver.UpdateDatas();
    FillRandomField(solver, seed);
    return solver;
}

// --- Row lengths ------------------------------------------------------------------------------

class FlowOptimisedStepSizes : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FlowOptimisedStepSizes, MatchesThePlainEvaluation) {
    const auto [imax, jmax] = GetParam();
    Solver solver = RandomSolver(imax, jmax, static_cast<std::uint32_t>(imax * 1000 + jmax));
    ReferenceMesh expected = Snapshot(solver);
    ExpectStepsMatchReference(solver, expected, 5);
}

// Rows of 5 to 12 nodes hold every count of whole blocks and leftover nodes, inside and at the
// edges; the longer odd meshes run many blocks and rows through the pipelined phases, 75 x 81
// larger than a core's second-level cache, 240 x 221 large enough for streamed stores.
INSTANTIATE_TEST_SUITE_P(RowLengths, FlowOptimisedStepSizes,
                         ::testing::Values(std::pair{7, 5}, std::pair{6, 6}, std::pair{5, 7},
                                           std::pair{9, 8}, std::pair{5, 9}, std::pair{11, 10},
                                           std::pair{6, 11}, std::pair{5, 12}, std::pair{37, 29},
                                           std::pair{9, 33}, std::pair{67, 45}, std::pair{41, 23},
                                           std::pair{75, 81}, std::pair{240, 221}));

// --- A replaced edge pass ---------------------------------------------------------------------

// Changes predicted values of interior and edge nodes, in vector blocks and in row tails.
template <typename NodeAt>
void DisturbPredictedState(const NodeAt& at, int imax, int jmax) {
    at(1, 1).UProspect += 17.5;
    at(imax / 2, jmax / 2).TProspect *= 1.25;
    at(imax - 2, jmax - 2).QProspect[0] *= 0.75;
    at(2, jmax - 3).PProspect += 900;
    at(imax - 3, 2).MuProspect *= 2;
    at(imax / 2, 5).KProspect *= 0.5;
    at(0, jmax / 2).VProspect = -40;
    at(imax - 1, 3).EtProspect *= 1.1;
}

class DisturbingHost : public Solver {
public:
    DisturbingHost(int imax, int jmax) : Solver(imax, jmax, 1e-5, 10000) {}

protected:
    void BoundaryConditionsProspect2(Node**& mesh) override {
        Solver::BoundaryConditionsProspect2(mesh);
        int imax = 0;
        int jmax = 0;
        GetMeshNodes(imax, jmax);
        DisturbPredictedState([mesh](int i, int j) -> Node& { return mesh[i][j]; }, imax, jmax);
    }
};

TEST(FlowOptimisedStep, CorrectorReadsWhatTheReplacedEdgePassLeft) {
    constexpr int imax = 19;
    constexpr int jmax = 23;
    DisturbingHost host(imax, jmax);
    host.UpdateDatas();
    FillRandomField(host, 77);
    ReferenceMesh expected = Snapshot(host);
    const FlowConstants c = reference::ConstantsOf(host);

    for (int step = 0; step < 3; ++step) {
        const double dt = reference::TimeStep(expected, c);
        reference::CurrentFluxes(expected, c);
        reference::Predictor(expected, c, dt);
        reference::ClosedBoxEdgesProspect(expected, c);
        DisturbPredictedState([&expected](int i, int j) -> Node& { return expected.at(i, j); },
                              imax, jmax);
        reference::PredictedFluxes(expected, c);
        reference::Corrector(expected, c, dt);
        reference::ClosedBoxEdges(expected, c);

        host.UpdateDatas();
        ASSERT_EQ(host.GetDeltaT(), dt) << "step " << step;
        ASSERT_EQ(FirstDifference(ViewOf(host).rows, expected), "") << "step " << step;
    }
}

// --- Time step and value check ------------------------------------------------------------------

// Nodes the driver checks that hold an infinite or NaN value in one of the eight checked slots.
int ExpectedReports(const ReferenceMesh& mesh) {
    int reports = 0;
    for (int i = 0; i < mesh.imax - 1; ++i) {
        for (int j = 0; j < mesh.jmax - 1; ++j) {
            const Node& n = mesh.at(i, j);
            bool usable = true;
            for (const double value : {n.Rho, n.U, n.V, n.Et, n.Eint, n.K, n.Mu, n.P}) {
                usable = usable && std::isfinite(value);
            }
            reports += usable ? 0 : 1;
        }
    }
    return reports;
}

// The slots that the time step or the value check read.
double Node::*const kScannedSlots[] = {&Node::Rho, &Node::U, &Node::V,  &Node::Et, &Node::Eint,
                                       &Node::T,   &Node::P, &Node::Mu, &Node::K,  &Node::RhoU};

struct UnusableCase {
    int imax;
    int jmax;
    int spoiled;  // nodes that receive an unusable value
    bool spoilFirstNode;
};

void PrintTo(const UnusableCase& c, std::ostream* out) {
    *out << c.imax << " x " << c.jmax << ", " << c.spoiled << " spoiled"
         << (c.spoilFirstNode ? ", NaN at the first node" : "");
}

class FlowOptimisedScan : public ::testing::TestWithParam<UnusableCase> {};

TEST_P(FlowOptimisedScan, TimeStepAndReportsMatchThePlainEvaluation) {
    const UnusableCase p = GetParam();
    Solver solver = RandomSolver(p.imax, p.jmax, static_cast<std::uint32_t>(p.imax * p.jmax));
    const MeshView view = ViewOf(solver);
    std::mt19937 random(static_cast<std::uint32_t>(p.spoiled * 31 + p.imax));
    std::uniform_int_distribution<int> row(0, p.imax - 1), column(0, p.jmax - 1),
        slot(0, static_cast<int>(std::size(kScannedSlots)) - 1), kind(0, 2);
    const double unusable[] = {std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    for (int k = 0; k < p.spoiled; ++k) {
        view.rows[row(random)][column(random)].*kScannedSlots[slot(random)] =
            unusable[kind(random)];
    }
    // The last node of a row and the last row are scanned for the time step but never checked.
    view.rows[p.imax / 2][p.jmax - 1].P = std::numeric_limits<double>::infinity();
    view.rows[p.imax - 1][p.jmax / 2].Mu = std::numeric_limits<double>::infinity();
    if (p.spoilFirstNode) {
        view.rows[0][0].T = std::numeric_limits<double>::quiet_NaN();
    }
    const ReferenceMesh before = Snapshot(solver);
    const double expectedStep = reference::TimeStep(before, reference::ConstantsOf(solver));
    const int reports = ExpectedReports(before);

    ::testing::internal::CaptureStdout();
    solver.UpdateDatas();
    const std::string printed = ::testing::internal::GetCapturedStdout();

    if (std::isnan(expectedStep)) {
        EXPECT_TRUE(std::isnan(solver.GetDeltaT()));
    } else {
        EXPECT_EQ(solver.GetDeltaT(), expectedStep);
    }
    std::string expectedText;
    for (int k = 0; k < reports; ++k) {
        expectedText += "error:value'error";
    }
    EXPECT_EQ(printed, expectedText);
}

INSTANTIATE_TEST_SUITE_P(
    BlocksAndTails, FlowOptimisedScan,
    ::testing::Values(UnusableCase{9, 13, 6, false}, UnusableCase{17, 10, 12, false},
                      UnusableCase{9, 12, 4, false}, UnusableCase{13, 8, 7, false},
                      UnusableCase{6, 7, 3, false}, UnusableCase{23, 31, 40, false},
                      UnusableCase{11, 9, 5, true}, UnusableCase{8, 8, 0, true}));

// --- Copies and moves ---------------------------------------------------------------------------

TEST(FlowOptimisedStep, CopiesAndMovesStepWithStorageOfTheirOwn) {
    Solver original = RandomSolver(15, 21, 5);
    ReferenceMesh expected = Snapshot(original);

    Solver copied(original);
    Solver assigned(7, 9, 1e-5, 10);  // a different row length: its working rows must follow
    assigned = original;
    Solver source(original);
    Solver moved(std::move(source));

    ReferenceMesh copiedExpected = expected;
    ReferenceMesh assignedExpected = expected;
    ReferenceMesh movedExpected = expected;
    ExpectStepsMatchReference(original, expected, 3);
    ExpectStepsMatchReference(copied, copiedExpected, 3);
    ExpectStepsMatchReference(assigned, assignedExpected, 3);
    ExpectStepsMatchReference(moved, movedExpected, 3);
}

}  // namespace
}  // namespace Nembra
