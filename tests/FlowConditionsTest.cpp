// Gas model, node-state completion, initial fields, boundary values and extrapolation.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/FlowHelpers.h"

namespace Nembra {
namespace {

using reference::FirstDifference;
using reference::FlowConstants;
using reference::ReferenceMesh;
using reference::Slot;

bool SameSlots(const Node& a, const Node& b, int first, int last) {
    for (int s = first; s <= last; ++s) {
        const double x = Slot(a, s);
        const double y = Slot(b, s);
        if (std::memcmp(&x, &y, sizeof x) != 0) {
            return false;
        }
    }
    return true;
}

// --- Gas model and completion ---------------------------------------------------------------

TEST(FlowGasModel, RelationsAreAbsoluteValuesOfTheirFormulas) {
    for (double t : {288.16, 576.32, 1e-3, 3000.0, -300.0}) {
        EXPECT_EQ(Access::Sutherland(t, 288.16, 1.789e-5),
                  reference::Sutherland(t, 288.16, 1.789e-5))
            << t;
    }
    EXPECT_EQ(Access::Sutherland(288.16, 288.16, 1.789e-5), 1.789e-5);
    EXPECT_EQ(Access::Pyroconductivity(-2.0, 1004.5, 0.71), std::fabs(-2.0 * 1004.5 / 0.71));
    EXPECT_EQ(Access::ReynoldsNumber(1.2, -1361.12, 1e-5, 1.789e-5),
              std::fabs(1.2 * -1361.12 * 1e-5 / 1.789e-5));
    EXPECT_EQ(Access::StateEquationP(-1.2, 287, 288.16), std::fabs(-1.2 * 287 * 288.16));
    EXPECT_EQ(Access::StateEquationDensity(101325, 287, -288.16),
              std::fabs(101325 / (287 * -288.16)));
    EXPECT_EQ(Access::InternalEnergy(717.5, -10.0), 7175.0);
}

TEST(FlowCompletion, RestingAirGivesTheQuotedState) {
    Solver solver;
    Node node{};
    Access::SetMeshNodeValue(solver, node, 0, 0, 288.16, 101325);
    EXPECT_EQ(node.Rho, 1.225183163824975);
    EXPECT_EQ(node.RhoU, 0.0);
    EXPECT_EQ(node.RhoV, 0.0);
    EXPECT_EQ(node.Eint, 206754.80000000005);
    EXPECT_EQ(node.Et, node.Rho * node.Eint);
    EXPECT_NEAR(node.Et, 253312.5, 0.1);
    EXPECT_EQ(node.Mu, 1.789e-5);
    EXPECT_EQ(node.K, Access::Members(solver).KInf);
}

class FlowCompletionCases : public ::testing::TestWithParam<std::vector<double>> {};

// Each family writes exactly its own slots, by the completion formulas.
TEST_P(FlowCompletionCases, MatchesTheFormulasAndKeepsToItsSlots) {
    const double u = GetParam()[0], v = GetParam()[1], t = GetParam()[2], p = GetParam()[3];
    Solver solver;
    const FlowConstants c = reference::ConstantsOf(solver);
    Node noise;
    for (int s = 0; s < reference::kSlotCount; ++s) {
        reinterpret_cast<double*>(&noise)[s] = 17.0 * s - 100.0;
    }

    Node actual = noise;
    Node expected = noise;
    Access::SetMeshNodeValue(solver, actual, u, v, t, p);
    reference::Complete(expected, u, v, t, p, c);
    EXPECT_TRUE(SameSlots(actual, expected, 0, reference::kSlotCount - 1));
    EXPECT_EQ(actual.T, std::fabs(t));
    EXPECT_EQ(actual.P, std::fabs(p));
    EXPECT_TRUE(SameSlots(actual, noise, 11, 43));

    actual = noise;
    expected = noise;
    Access::SetMeshNodeValueProspect(solver, actual, u, v, t, p);
    reference::CompleteProspect(expected, u, v, t, p, c);
    EXPECT_TRUE(SameSlots(actual, expected, 0, reference::kSlotCount - 1));
    EXPECT_TRUE(SameSlots(actual, noise, 0, 10));
    EXPECT_TRUE(SameSlots(actual, noise, 20, 31));
    EXPECT_TRUE(SameSlots(actual, noise, 36, 43));
    EXPECT_EQ(actual.QProspect[0], actual.RhoProspect);
    EXPECT_EQ(actual.QProspect[3], actual.EtProspect);
}

INSTANTIATE_TEST_SUITE_P(States, FlowCompletionCases,
                         ::testing::Values(std::vector<double>{0, 0, 288.16, 101325},
                                           std::vector<double>{6400, 0, 576.32, 121590},
                                           std::vector<double>{-12.5, 33.25, -300, -1e5},
                                           std::vector<double>{1361.12, -7.0, 200.0, 5e4}));

// --- Initial fields -------------------------------------------------------------------------

TEST(FlowInitialField, FirstCallLaysRestAndTheHotBlock) {
    Solver solver;
    solver.UpdateDatas();
    ReferenceMesh expected{70, 70, std::vector<Node>(70 * 70, Node{})};
    reference::InitialField(expected, reference::ConstantsOf(solver));
    EXPECT_EQ(FirstDifference(ViewOf(solver).rows, expected), "");

    const Node& rest = ViewOf(solver).rows[29][35];
    EXPECT_NEAR(rest.Rho, 1.2251832, 1e-7);
    EXPECT_NEAR(rest.K, 0.0253106, 1e-7);
    const Node& block = ViewOf(solver).rows[30][40];
    EXPECT_EQ(block.T, 576.32);
    EXPECT_EQ(block.P, 121590.0);
    EXPECT_EQ(block.U, 6400.0);
    EXPECT_EQ(block.V, 0.0);
    EXPECT_NEAR(block.Rho, 0.7351099, 1e-7);
    EXPECT_NEAR(block.RhoU, 4704.70, 0.01);
    EXPECT_NEAR(block.Eint, 413509.6, 0.1);
    EXPECT_NEAR(block.Et, 1.53590e7, 1e2);
    EXPECT_NEAR(block.Mu, 2.93553e-5, 1e-10);
    EXPECT_NEAR(block.K, 0.0415315, 1e-7);
}

struct BlockCase {
    int imax, iLow, iHigh, jmax, jLow, jHigh;
};

class FlowBlockPlacement : public ::testing::TestWithParam<BlockCase> {};

TEST_P(FlowBlockPlacement, CoversExactlyTheClippedElevenByEleven) {
    const BlockCase b = GetParam();
    Solver solver(b.imax, b.jmax, 1e-5, 10);
    solver.UpdateDatas();
    const MeshView view = ViewOf(solver);
    for (int i = 0; i < b.imax; ++i) {
        for (int j = 0; j < b.jmax; ++j) {
            const bool inBlock = i >= b.iLow && i <= b.iHigh && j >= b.jLow && j <= b.jHigh;
            EXPECT_EQ(view.rows[i][j].U, inBlock ? 6400.0 : 0.0) << i << "," << j;
            EXPECT_EQ(view.rows[i][j].T, inBlock ? 576.32 : 288.16) << i << "," << j;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlowBlockPlacement,
                         ::testing::Values(BlockCase{70, 30, 40, 71, 30, 40},
                                           BlockCase{11, 0, 10, 12, 1, 11},
                                           BlockCase{12, 1, 11, 11, 0, 10},
                                           BlockCase{5, 0, 4, 16, 3, 13},
                                           BlockCase{1, 0, 0, 3, 0, 2}));

TEST(FlowInitialField, ClosedBoxOperationsLeaveIntermediatesAlone) {
    Solver solver(15, 13, 1e-5, 10);
    FillRandomField(solver, 7);
    const ReferenceMesh before = Snapshot(solver);
    Access::InitializeMeshNodes2(solver);
    Access::SetMeshNodesValues(solver);
    const MeshView view = ViewOf(solver);
    for (int i = 0; i < view.imax; ++i) {
        for (int j = 0; j < view.jmax; ++j) {
            EXPECT_TRUE(SameSlots(view.rows[i][j], before.at(i, j), 11, 43)) << i << "," << j;
        }
    }
}

// --- Closed box -----------------------------------------------------------------------------

class FlowClosedBox : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FlowClosedBox, SetsEveryEdgeNodeAtRestAndNothingElse) {
    const auto [imax, jmax] = GetParam();
    Solver solver(imax, jmax, 1e-5, 10);
    FillRandomField(solver, 11);
    ReferenceMesh expected = Snapshot(solver);
    Access::BoundaryConditions2(solver);
    reference::ClosedBoxEdges(expected, reference::ConstantsOf(solver));
    EXPECT_EQ(FirstDifference(ViewOf(solver).rows, expected), "");
    EXPECT_NEAR(ViewOf(solver).rows[imax - 1][0].Rho, 1.2251832, 1e-7);
}

TEST_P(FlowClosedBox, PredictedTwinSetsPredictedEdgeSlotsOnly) {
    const auto [imax, jmax] = GetParam();
    Solver solver(imax, jmax, 1e-5, 10);
    FillRandomField(solver, 12);
    ReferenceMesh expected = Snapshot(solver);
    Access::BoundaryConditionsProspect2(solver);
    reference::ClosedBoxEdgesProspect(expected, reference::ConstantsOf(solver));
    EXPECT_EQ(FirstDifference(ViewOf(solver).rows, expected), "");
    const Node& corner = ViewOf(solver).rows[imax - 1][jmax - 1];
    EXPECT_EQ(corner.QProspect[1], 0.0);
    EXPECT_EQ(corner.QProspect[2], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlowClosedBox,
                         ::testing::Values(std::pair{70, 70}, std::pair{1, 1}, std::pair{1, 5},
                                           std::pair{5, 1}, std::pair{2, 2}, std::pair{3, 4}));

TEST(FlowClosedBox, DefaultMeshHas276EdgeNodes) {
    Solver solver;
    FillRandomField(solver, 13);
    const ReferenceMesh before = Snapshot(solver);
    Access::BoundaryConditions2(solver);
    const MeshView view = ViewOf(solver);
    int changed = 0;
    for (int i = 0; i < 70; ++i) {
        for (int j = 0; j < 70; ++j) {
            changed += SameSlots(view.rows[i][j], before.at(i, j), 0, 10) ? 0 : 1;
        }
    }
    EXPECT_EQ(changed, 276);
}

// --- Extrapolation --------------------------------------------------------------------------

void Extrapolate(Node& node, const Node& nearNode, const Node& farNode, const FlowConstants& c) {
    reference::Complete(node, 2 * nearNode.U - farNode.U, 2 * nearNode.V - farNode.V,
                        std::fabs(2 * nearNode.T - farNode.T),
                        std::fabs(2 * nearNode.P - farNode.P), c);
}

void ExtrapolateProspect(Node& node, const Node& nearNode, const Node& farNode,
                         const FlowConstants& c) {
    reference::CompleteProspect(node, 2 * nearNode.UProspect - farNode.UProspect,
                                2 * nearNode.VProspect - farNode.VProspect,
                                std::fabs(2 * nearNode.TProspect - farNode.TProspect),
                                std::fabs(2 * nearNode.PProspect - farNode.PProspect), c);
}

TEST(FlowExtrapolation, NodeLevelTakesAbsoluteTemperatureAndSignedVelocity) {
    Solver solver;
    Node nearNode{}, farNode{}, node{};
    Access::SetMeshNodeValue(solver, nearNode, 1, 0, 100, 1e5);
    Access::SetMeshNodeValue(solver, farNode, 5, 0, 300, 1e5);
    Access::Extrapolation(solver, node, nearNode, farNode);
    EXPECT_EQ(node.T, 100.0);
    EXPECT_EQ(node.U, -3.0);
    Node expected{};
    Extrapolate(expected, nearNode, farNode, reference::ConstantsOf(solver));
    EXPECT_TRUE(SameSlots(node, expected, 0, reference::kSlotCount - 1));
}

struct NeighbourCase {
    int index, nearIndex, farIndex;
};

class FlowExtrapolationNeighbours : public ::testing::TestWithParam<NeighbourCase> {};

TEST_P(FlowExtrapolationNeighbours, ChoiceDependsOnTheIndexOnly) {
    const NeighbourCase k = GetParam();
    Solver solver(7, 8, 1e-5, 10);
    const FlowConstants c = reference::ConstantsOf(solver);
    for (bool alongX : {true, false}) {
        for (bool prospect : {false, true}) {
            FillRandomField(solver, 21);
            ReferenceMesh expected = Snapshot(solver);
            const int i = alongX ? k.index : 3;
            const int j = alongX ? 4 : k.index;
            const auto neighbour = [&](int m) -> const Node& {
                return alongX ? expected.at(m, j) : expected.at(i, m);
            };
            Node**& mesh = Access::Mesh(solver);
            if (prospect) {
                Access::ExtrapolationProspect(solver, mesh, i, j, alongX);
                ExtrapolateProspect(expected.at(i, j), neighbour(k.nearIndex),
                                    neighbour(k.farIndex), c);
            } else {
                Access::Extrapolation(solver, mesh, i, j, alongX);
                Extrapolate(expected.at(i, j), neighbour(k.nearIndex), neighbour(k.farIndex), c);
            }
            EXPECT_EQ(FirstDifference(mesh, expected), "")
                << "alongX " << alongX << " prospect " << prospect;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Indices, FlowExtrapolationNeighbours,
                         ::testing::Values(NeighbourCase{0, 1, 2}, NeighbourCase{1, 2, 3},
                                           NeighbourCase{2, 1, 0}, NeighbourCase{5, 4, 3},
                                           NeighbourCase{6, 5, 4}));

TEST(FlowExtrapolation, RowLevelDoesNothingWithoutBothNeighbours) {
    Node** none = nullptr;
    Solver solver(3, 3, 1e-5, 10);
    Access::Extrapolation(solver, none, 0, 0, true);
    Access::ExtrapolationProspect(solver, none, 1, 1, false);
    EXPECT_EQ(none, nullptr);

    FillRandomField(solver, 5);
    const ReferenceMesh before = Snapshot(solver);
    Node**& mesh = Access::Mesh(solver);
    Access::Extrapolation(solver, mesh, 1, 0, true);           // would need row 3
    Access::ExtrapolationProspect(solver, mesh, 0, 1, false);  // would need node 3
    EXPECT_EQ(FirstDifference(mesh, before), "");
}

// --- Flat plate -----------------------------------------------------------------------------

// The flat-plate edge values as a plain computation, with passes that would reach outside a
// small mesh skipped.
void FlatPlateEdges(ReferenceMesh& m, const FlowMembers& members, bool prospect) {
    const FlowConstants c = reference::ConstantsOf(members);
    const auto complete = [&](Node& n, double u, double v, double t, double p) {
        prospect ? reference::CompleteProspect(n, u, v, t, p, c)
                 : reference::Complete(n, u, v, t, p, c);
    };
    const double rhoU = m.at(0, 0).RhoU, rhoV = m.at(0, 0).RhoV;
    complete(m.at(0, 0), 0, 0, members.TInf, members.PInf);
    if (!prospect) {  // the leading-edge pass leaves the current momenta as they were
        m.at(0, 0).RhoU = rhoU;
        m.at(0, 0).RhoV = rhoV;
    }
    for (int j = 1; j < m.jmax; ++j) {
        complete(m.at(0, j), members.UInf, members.VInf, members.TInf, members.PInf);
    }
    for (int i = 1; i < m.imax; ++i) {
        complete(m.at(i, m.jmax - 1), members.UInf, members.VInf, members.TInf, members.PInf);
    }
    const int last = m.imax - 1;
    if (m.imax >= 3) {
        for (int j = 1; j < m.jmax - 1; ++j) {
            prospect ? ExtrapolateProspect(m.at(last, j), m.at(last - 1, j), m.at(last - 2, j), c)
                     : Extrapolate(m.at(last, j), m.at(last - 1, j), m.at(last - 2, j), c);
        }
    }
    if (m.jmax >= 3) {
        for (int i = 1; i < m.imax; ++i) {
            const double p = prospect ? 2 * m.at(i, 1).PProspect - m.at(i, 2).PProspect
                                      : 2 * m.at(i, 1).P - m.at(i, 2).P;
            complete(m.at(i, 0), 0, 0, members.WallTemperatureRatio * members.TInf, p);
        }
    }
}

class FlowFlatPlate : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FlowFlatPlate, EdgesFollowThePassesInOrder) {
    const auto [imax, jmax] = GetParam();
    Solver solver(imax, jmax, 1e-5, 10);
    for (bool prospect : {false, true}) {
        FillRandomField(solver, 31);
        ReferenceMesh expected = Snapshot(solver);
        prospect ? Access::BoundaryConditionsProspect(solver) : Access::BoundaryConditions(solver);
        FlatPlateEdges(expected, Access::Members(solver), prospect);
        EXPECT_EQ(FirstDifference(ViewOf(solver).rows, expected), "") << "prospect " << prospect;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlowFlatPlate,
                         ::testing::Values(std::pair{70, 70}, std::pair{3, 3}, std::pair{4, 5},
                                           std::pair{5, 3}, std::pair{3, 6}, std::pair{2, 4},
                                           std::pair{4, 2}, std::pair{1, 1}, std::pair{1, 4}));

TEST(FlowFlatPlate, DefaultValuesOnTheEdges) {
    Solver solver;
    FillRandomField(solver, 3);
    Access::BoundaryConditions(solver);
    const MeshView view = ViewOf(solver);
    for (const Node* n : {&view.rows[0][1], &view.rows[0][69], &view.rows[69][69]}) {
        EXPECT_EQ(n->U, 1361.12);
        EXPECT_EQ(n->V, 0.0);
        EXPECT_EQ(n->T, 288.16);
        EXPECT_EQ(n->P, 101325.0);
    }
    for (const Node* n : {&view.rows[0][0], &view.rows[1][0], &view.rows[69][0]}) {
        EXPECT_EQ(n->U, 0.0);
        EXPECT_EQ(n->V, 0.0);
        EXPECT_EQ(n->T, 288.16);
    }
    EXPECT_EQ(view.rows[0][0].P, 101325.0);
}

TEST(FlowFlatPlate, WallPressureIsExtrapolatedFromAbove) {
    Solver solver(5, 5, 1e-5, 10);
    FillRandomField(solver, 4);
    Node**& mesh = Access::Mesh(solver);
    Access::SetMeshNodeValue(solver, mesh[2][1], 0, 0, 300, 100000);
    Access::SetMeshNodeValue(solver, mesh[2][2], 0, 0, 300, 110000);
    Access::SetMeshNodeValue(solver, mesh[3][1], 0, 0, 300, 100000);
    Access::SetMeshNodeValue(solver, mesh[3][2], 0, 0, 300, 250000);
    Access::BoundaryConditions(solver);
    EXPECT_EQ(mesh[2][0].P, 90000.0);
    EXPECT_EQ(mesh[3][0].P, 50000.0);
}

TEST(FlowFlatPlate, InitializationRestsTheInteriorThenCallsTheReplacedEdges) {
    struct Host : Solver {
        using Solver::Solver;
        int edgeCalls = 0;
        void BoundaryConditions(Node**& mesh) override {
            ++edgeCalls;
            Solver::BoundaryConditions(mesh);
        }
    };
    Host host(70, 70, 1e-5, 10);
    FillRandomField(host, 41);
    ReferenceMesh expected = Snapshot(host);
    Access::InitializeMeshNodes(host);
    EXPECT_EQ(host.edgeCalls, 1);
    for (int i = 1; i < 69; ++i) {
        for (int j = 1; j < 69; ++j) {
            reference::CompleteAtRest(expected.at(i, j), reference::ConstantsOf(host));
        }
    }
    FlatPlateEdges(expected, Access::Members(host), false);
    EXPECT_EQ(FirstDifference(ViewOf(host).rows, expected), "");
}

}  // namespace
}  // namespace Nembra
