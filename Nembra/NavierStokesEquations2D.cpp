// The flow solver's step, in the order one call of UpdateDatas runs it: the time step and the
// value check in one read of the nodes, MacCormack's predictor, predicted edge values and
// corrector, then the edge values of the new state. The row kernels of the predictor and the
// corrector, their working rows and the time step's scan live in step/; the node-level formulas
// and the storage of the mesh have sources of their own beside this one.

#include "Nembra/NavierStokesEquations2D.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <type_traits>

#include "Nembra/step/Sweeps.h"
#include "Nembra/step/TimeStepScan.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra {

using Node = NavierStokesEquations2D::_MeshNode;

// Hosts address the record's slots by position: pin the layout down.
static_assert(std::is_standard_layout<Node>::value, "_MeshNode must be standard layout");
static_assert(sizeof(Node) == 44 * sizeof(double), "_MeshNode must be 44 doubles");
static_assert(offsetof(Node, Rho) == 0 * sizeof(double), "slot 0");
static_assert(offsetof(Node, RhoU) == 1 * sizeof(double), "slot 1");
static_assert(offsetof(Node, RhoV) == 2 * sizeof(double), "slot 2");
static_assert(offsetof(Node, Et) == 3 * sizeof(double), "slot 3");
static_assert(offsetof(Node, U) == 4 * sizeof(double), "slot 4");
static_assert(offsetof(Node, V) == 5 * sizeof(double), "slot 5");
static_assert(offsetof(Node, Eint) == 6 * sizeof(double), "slot 6");
static_assert(offsetof(Node, T) == 7 * sizeof(double), "slot 7");
static_assert(offsetof(Node, P) == 8 * sizeof(double), "slot 8");
static_assert(offsetof(Node, Mu) == 9 * sizeof(double), "slot 9");
static_assert(offsetof(Node, K) == 10 * sizeof(double), "slot 10");
static_assert(offsetof(Node, UProspect) == 11 * sizeof(double), "slot 11");
static_assert(offsetof(Node, VProspect) == 12 * sizeof(double), "slot 12");
static_assert(offsetof(Node, EintProspect) == 13 * sizeof(double), "slot 13");
static_assert(offsetof(Node, TProspect) == 14 * sizeof(double), "slot 14");
static_assert(offsetof(Node, RhoProspect) == 15 * sizeof(double), "slot 15");
static_assert(offsetof(Node, PProspect) == 16 * sizeof(double), "slot 16");
static_assert(offsetof(Node, EtProspect) == 17 * sizeof(double), "slot 17");
static_assert(offsetof(Node, MuProspect) == 18 * sizeof(double), "slot 18");
static_assert(offsetof(Node, KProspect) == 19 * sizeof(double), "slot 19");
static_assert(offsetof(Node, FluxE) == 20 * sizeof(double), "slots 20-23");
static_assert(offsetof(Node, FluxF) == 24 * sizeof(double), "slots 24-27");
static_assert(offsetof(Node, DUDt) == 28 * sizeof(double), "slots 28-31");
static_assert(offsetof(Node, QProspect) == 32 * sizeof(double), "slots 32-35");
static_assert(offsetof(Node, FluxEProspect) == 36 * sizeof(double), "slots 36-39");
static_assert(offsetof(Node, FluxFProspect) == 40 * sizeof(double), "slots 40-43");

// ---------------------------------------------------------------------------------------------
// Stepping driver

void NavierStokesEquations2D::UpdateDatas() {
    if (StepCount >= MaxStepCount || MeshNodes == nullptr) {
        return;
    }
    if (StepCount == 0) {
        // The first call lays the initial field and advances nothing.
        InitializeMeshNodes2(MeshNodes);
        SetMeshNodesValues(MeshNodes);
    } else {
        // The time step and the value check share one read of the nodes; the check covers every
        // row but the last and every node but the last of each row.
        const int unusable = ScanTimeStepAndValues(MeshNodes, IMax, JMax, IMax - 1, JMax - 1);
        for (int report = 0; report < unusable; ++report) {
            std::printf("error:value'error");
        }
        MacCormack(MeshNodes, IMax, JMax);
        BoundaryConditions2(MeshNodes);
    }
    ++StepCount;
}

// ---------------------------------------------------------------------------------------------
// Time step and value check

double NavierStokesEquations2D::CalculateTimeStep(_MeshNode** rows, int rowCount, int nodesPerRow) {
    ScanTimeStepAndValues(rows, rowCount, nodesPerRow, 0, 0);
    return DeltaT;
}

// Stores the time step of rowCount x nodesPerRow nodes in DeltaT and, in the same read of the
// nodes, counts those among the first checkedRows x checkedNodes that hold unusable values.
int NavierStokesEquations2D::ScanTimeStepAndValues(_MeshNode** rows, int rowCount, int nodesPerRow,
                                                   int checkedRows, int checkedNodes) {
    FillTimeStepCoefficients();
    if (rows == nullptr) {
        rowCount = 0;
    }
    const step::TimeStepTerms terms{ViscousFactor, SoundFactor,
                                    std::sqrt(std::fabs(SpacingCoefficient)), DeltaX, DeltaY};
    step::TimeStepScan scan;
    int unusableNodes = 0;
    for (int i = 0; i < rowCount; ++i) {
        const int checked = i < checkedRows ? checkedNodes : 0;
        const int done =
            step::ScanTimeStepRow(rows[i], nodesPerRow, checked, terms, scan, unusableNodes);
        if (done < checked) {
            unusableNodes += CountUnusableNodes(rows[i] + done, checked - done);
        }
    }

    double step = -1;
    if (scan.visitedAny) {
        const double rate = std::isnan(scan.firstRate) ? scan.firstRate : scan.largestRate;
        const double viscous = 2 * scan.largestDiffusivity * SpacingCoefficient;
        step = Courant / (rate + viscous);
    }
    DeltaT = step;
    return unusableNodes;
}

void NavierStokesEquations2D::FillTimeStepCoefficients() {
    if (!TimeStepCoefficientsReady) {
        SpacingCoefficient = 1 / (DeltaX * DeltaX) + 1 / (DeltaY * DeltaY);
        ViscousFactor = std::fabs((Gamma * 4) / (Prandtl * 3));
        SoundFactor = Gamma * GasConstant;
        TimeStepCoefficientsReady = true;
    }
}

bool NavierStokesEquations2D::ValueAvailability(double& value) {
    return std::isfinite(value);
}

// Number of the row's first `count` nodes holding an unusable value in one of the checked slots.
int NavierStokesEquations2D::CountUnusableNodes(_MeshNode* row, int count) {
    int unusable = 0;
    for (int j = 0; j < count; ++j) {
        _MeshNode& n = row[j];
        // Every slot is tested, each answer taken as a bit: the count is the same, and the loop
        // carries no branch per slot.
        const unsigned usable =
            unsigned{ValueAvailability(n.Rho)} & unsigned{ValueAvailability(n.U)} &
            unsigned{ValueAvailability(n.V)} & unsigned{ValueAvailability(n.Et)} &
            unsigned{ValueAvailability(n.Eint)} & unsigned{ValueAvailability(n.K)} &
            unsigned{ValueAvailability(n.Mu)} & unsigned{ValueAvailability(n.P)};
        unusable += usable != 0 ? 0 : 1;
    }
    return unusable;
}

// ---------------------------------------------------------------------------------------------
// MacCormack step

// The predicted edge values are imposed through the virtual table between the two sweeps; a
// replacement may read and write any node, so the corrector reads the predicted state afresh
// from the records.
void NavierStokesEquations2D::MacCormack(_MeshNode**& mesh, int /*imax*/, int /*jmax*/) {
    // The sweeps always cover this solver's own mesh, whatever sizes a caller hands in.
    if (mesh != MeshNodes || !HoldsNodes()) {
        return;
    }
    // Working rows that could not be had before are sought again; without them the step runs
    // node by node, to the same bits.
    if (StepScratch == nullptr) {
        AllocateStepScratch(StepScratch, JMax);
    }
    const step::StepConstants c{DeltaX, DeltaY, DeltaT, Cv, GasConstant, TRef, MuRef, Cp, Prandtl};
    const step::RecordStores stores = step::RecordStoresFor(IMax, JMax);
    // Phases 1 and 2: the fluxes of the current state, the predicted state of the interior.
    if (StepScratch != nullptr) {
        step::PredictorSweep(MeshNodes, IMax, JMax, StepScratch, c, stores);
    } else {
        PredictNodeByNode();
    }
    // Phase 3: the predicted edge values.
    BoundaryConditionsProspect2(mesh);
    // Phases 4 and 5: the fluxes of the predicted state, the new state of the interior.
    if (StepScratch != nullptr) {
        step::CorrectorSweep(MeshNodes, IMax, JMax, StepScratch, c, stores);
    } else {
        CorrectNodeByNode();
    }
}

// ---------------------------------------------------------------------------------------------
// Initial and boundary conditions
//
// Each condition has a current and a predicted form; the two stay apart because they write
// different slots through different completions.

namespace {

// The resting air of the closed box and the hot, fast block laid at its centre.
constexpr double kRestTemperature = 288.16;
constexpr double kRestPressure = 101325;
constexpr double kBlockTemperature = 576.32;
constexpr double kBlockPressure = 121590;
constexpr double kBlockVelocity = 6400;
constexpr int kBlockHalfWidth = 5;

// Lays (u, v, T, p) on a node the way the initial and closed-box edge values do: the primitive
// slots first, then the completion from the node's own slots.
template <typename Complete>
void LayNode(Node& node, double u, double v, double T, double p, const Complete& complete) {
    node.T = T;
    node.P = p;
    node.U = u;
    node.V = v;
    complete(node, node.U, node.V, node.T, node.P);
}

template <typename Complete>
void LayNodeProspect(Node& node, double u, double v, double T, double p, const Complete& complete) {
    node.TProspect = T;
    node.PProspect = p;
    node.UProspect = u;
    node.VProspect = v;
    complete(node, node.UProspect, node.VProspect, node.TProspect, node.PProspect);
}

}  // namespace

void NavierStokesEquations2D::InitializeMeshNodes(_MeshNode**& mesh) {
    if (!HoldsNodes()) {
        return;
    }
    const auto complete = [this](Node& n, double u, double v, double T, double p) {
        SetMeshNodeValue(n, u, v, T, p);
    };
    for (int i = 1; i < IMax - 1; ++i) {
        for (int j = 1; j < JMax - 1; ++j) {
            LayNode(MeshNodes[i][j], 0, 0, kRestTemperature, kRestPressure, complete);
        }
    }
    BoundaryConditions(mesh);
}

void NavierStokesEquations2D::InitializeMeshNodes2(_MeshNode**& /*mesh*/) {
    if (!HoldsNodes()) {
        return;
    }
    const auto complete = [this](Node& n, double u, double v, double T, double p) {
        SetMeshNodeValue(n, u, v, T, p);
    };
    for (int i = 0; i < IMax; ++i) {
        for (int j = 0; j < JMax; ++j) {
            LayNode(MeshNodes[i][j], 0, 0, kRestTemperature, kRestPressure, complete);
        }
    }
}

// The 11 x 11 block around the middle node (the upper middle node for an even count), clipped to
// the mesh when the mesh is smaller than the block.
void NavierStokesEquations2D::SetMeshNodesValues(_MeshNode**& /*mesh*/) {
    if (!HoldsNodes()) {
        return;
    }
    const auto complete = [this](Node& n, double u, double v, double T, double p) {
        SetMeshNodeValue(n, u, v, T, p);
    };
    const int ci = IMax / 2;
    const int cj = JMax / 2;
    for (int i = std::max(ci - kBlockHalfWidth, 0); i <= std::min(ci + kBlockHalfWidth, IMax - 1);
         ++i) {
        for (int j = std::max(cj - kBlockHalfWidth, 0);
             j <= std::min(cj + kBlockHalfWidth, JMax - 1); ++j) {
            LayNode(MeshNodes[i][j], kBlockVelocity, 0, kBlockTemperature, kBlockPressure,
                    complete);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Boundary conditions

namespace {

// Visits the edge nodes in the closed box's four passes: left column (both left corners), lower
// row (lower-right corner), right column without corners, upper row (upper-right corner).
template <typename Visit>
void ForEachClosedBoxEdgeNode(Node** mesh, int imax, int jmax, const Visit& visit) {
    for (int j = 0; j < jmax; ++j) {
        visit(mesh[0][j]);
    }
    for (int i = 1; i < imax; ++i) {
        visit(mesh[i][0]);
    }
    for (int j = 1; j < jmax - 1; ++j) {
        visit(mesh[imax - 1][j]);
    }
    for (int i = 1; i < imax; ++i) {
        visit(mesh[i][jmax - 1]);
    }
}

// The slots that the node-state completion writes, current and predicted.
void CopyCurrentState(const Node& from, Node& to) {
    to.Rho = from.Rho;
    to.RhoU = from.RhoU;
    to.RhoV = from.RhoV;
    to.Et = from.Et;
    to.U = from.U;
    to.V = from.V;
    to.Eint = from.Eint;
    to.T = from.T;
    to.P = from.P;
    to.Mu = from.Mu;
    to.K = from.K;
}

void CopyPredictedState(const Node& from, Node& to) {
    to.UProspect = from.UProspect;
    to.VProspect = from.VProspect;
    to.EintProspect = from.EintProspect;
    to.TProspect = from.TProspect;
    to.RhoProspect = from.RhoProspect;
    to.PProspect = from.PProspect;
    to.EtProspect = from.EtProspect;
    to.MuProspect = from.MuProspect;
    to.KProspect = from.KProspect;
    for (int c = 0; c < 4; ++c) {
        to.QProspect[c] = from.QProspect[c];
    }
}

}  // namespace

// Every edge node of the closed box receives the same state: it is completed once and copied.
void NavierStokesEquations2D::BoundaryConditions2(_MeshNode**& /*mesh*/) {
    if (!HoldsNodes()) {
        return;
    }
    const auto complete = [this](Node& n, double u, double v, double T, double p) {
        SetMeshNodeValue(n, u, v, T, p);
    };
    Node edge{};
    LayNode(edge, 0, 0, kRestTemperature, kRestPressure, complete);
    ForEachClosedBoxEdgeNode(MeshNodes, IMax, JMax,
                             [&edge](Node& node) { CopyCurrentState(edge, node); });
}

void NavierStokesEquations2D::BoundaryConditionsProspect2(_MeshNode**& /*mesh*/) {
    if (!HoldsNodes()) {
        return;
    }
    const auto complete = [this](Node& n, double u, double v, double T, double p) {
        SetMeshNodeValueProspect(n, u, v, T, p);
    };
    Node edge{};
    LayNodeProspect(edge, 0, 0, kRestTemperature, kRestPressure, complete);
    ForEachClosedBoxEdgeNode(MeshNodes, IMax, JMax,
                             [&edge](Node& node) { CopyPredictedState(edge, node); });
}

// Flat plate: the leading-edge node at rest, free stream on the inflow and upper edges, values
// extrapolated from the interior on the outflow edge, and a no-slip isothermal wall below whose
// pressure is extrapolated from the two nodes above it.
void NavierStokesEquations2D::BoundaryConditions(_MeshNode**& mesh) {
    if (mesh == nullptr || !HoldsNodes()) {
        return;
    }
    // The leading-edge node: the state of SetMeshNodeValue(node, 0, 0, TInf, PInf), momenta
    // left as they were.
    _MeshNode& leadingEdge = mesh[0][0];
    leadingEdge.U = 0;
    leadingEdge.V = 0;
    leadingEdge.T = std::fabs(TInf);
    leadingEdge.P = std::fabs(PInf);
    leadingEdge.Eint = std::fabs(leadingEdge.T * Cv);
    leadingEdge.Rho = std::fabs(leadingEdge.P / (leadingEdge.T * GasConstant));
    leadingEdge.Mu = Sutherland(leadingEdge.T, TRef, MuRef);
    leadingEdge.K = std::fabs(leadingEdge.Mu * Cp / Prandtl);
    leadingEdge.Et = std::fabs(leadingEdge.Eint * leadingEdge.Rho);

    for (int j = 1; j < JMax; ++j) {
        SetMeshNodeValue(mesh[0][j], UInf, VInf, TInf, PInf);
    }
    for (int i = 1; i < IMax; ++i) {
        SetMeshNodeValue(mesh[i][JMax - 1], UInf, VInf, TInf, PInf);
    }
    for (int j = 1; j < JMax - 1; ++j) {
        Extrapolation(mesh, IMax - 1, j, true);
    }
    if (JMax >= 3) {
        for (int i = 1; i < IMax; ++i) {
            SetMeshNodeValue(mesh[i][0], 0, 0, WallTemperatureRatio * TInf,
                             2 * mesh[i][1].P - mesh[i][2].P);
        }
    }
}

void NavierStokesEquations2D::BoundaryConditionsProspect(_MeshNode**& mesh) {
    if (mesh == nullptr || !HoldsNodes()) {
        return;
    }
    SetMeshNodeValueProspect(mesh[0][0], 0, 0, TInf, PInf);
    for (int j = 1; j < JMax; ++j) {
        SetMeshNodeValueProspect(mesh[0][j], UInf, VInf, TInf, PInf);
    }
    for (int i = 1; i < IMax; ++i) {
        SetMeshNodeValueProspect(mesh[i][JMax - 1], UInf, VInf, TInf, PInf);
    }
    for (int j = 1; j < JMax - 1; ++j) {
        ExtrapolationProspect(mesh, IMax - 1, j, true);
    }
    if (JMax >= 3) {
        for (int i = 1; i < IMax; ++i) {
            SetMeshNodeValueProspect(mesh[i][0], 0, 0, WallTemperatureRatio * TInf,
                                     2 * mesh[i][1].PProspect - mesh[i][2].PProspect);
        }
    }
}

namespace {

// The two neighbours of index `index` used by the linear extrapolation: indices 0 and 1 take the
// next two higher indices, every other index the next two lower ones. False when the node or a
// neighbour lies outside a line of `count` nodes.
bool ExtrapolationNeighbours(int index, int count, int& nearIndex, int& farIndex) {
    const int step = index < 2 ? 1 : -1;
    nearIndex = index + step;
    farIndex = index + 2 * step;
    const auto inside = [count](int k) { return k >= 0 && k < count; };
    return inside(index) && inside(nearIndex) && inside(farIndex);
}

// Node (i, j) of an imax x jmax mesh and its two extrapolation neighbours along x or along y;
// false when any of them lies outside the mesh.
bool ExtrapolationStencil(Node** mesh, int imax, int jmax, int i, int j, bool alongX, Node*& node,
                          Node*& nearNode, Node*& farNode) {
    int nearIndex = 0;
    int farIndex = 0;
    if (alongX) {
        if (j < 0 || j >= jmax || !ExtrapolationNeighbours(i, imax, nearIndex, farIndex)) {
            return false;
        }
        nearNode = &mesh[nearIndex][j];
        farNode = &mesh[farIndex][j];
    } else {
        if (i < 0 || i >= imax || !ExtrapolationNeighbours(j, jmax, nearIndex, farIndex)) {
            return false;
        }
        nearNode = &mesh[i][nearIndex];
        farNode = &mesh[i][farIndex];
    }
    node = &mesh[i][j];
    return true;
}

}  // namespace

void NavierStokesEquations2D::Extrapolation(_MeshNode**& mesh, int i, int j, bool alongX) {
    _MeshNode* node = nullptr;
    _MeshNode* nearNode = nullptr;
    _MeshNode* farNode = nullptr;
    if (mesh != nullptr && HoldsNodes() &&
        ExtrapolationStencil(mesh, IMax, JMax, i, j, alongX, node, nearNode, farNode)) {
        Extrapolation(*node, *nearNode, *farNode);
    }
}

void NavierStokesEquations2D::Extrapolation(_MeshNode& node, _MeshNode& nearNode,
                                            _MeshNode& farNode) {
    node.U = 2 * nearNode.U - farNode.U;
    node.V = 2 * nearNode.V - farNode.V;
    node.T = std::fabs(2 * nearNode.T - farNode.T);
    node.P = std::fabs(2 * nearNode.P - farNode.P);
    SetMeshNodeValue(node, node.U, node.V, node.T, node.P);
}

void NavierStokesEquations2D::ExtrapolationProspect(_MeshNode**& mesh, int i, int j, bool alongX) {
    _MeshNode* node = nullptr;
    _MeshNode* nearNode = nullptr;
    _MeshNode* farNode = nullptr;
    if (mesh != nullptr && HoldsNodes() &&
        ExtrapolationStencil(mesh, IMax, JMax, i, j, alongX, node, nearNode, farNode)) {
        ExtrapolationProspect(*node, *nearNode, *farNode);
    }
}

void NavierStokesEquations2D::ExtrapolationProspect(_MeshNode& node, _MeshNode& nearNode,
                                                    _MeshNode& farNode) {
    node.UProspect = 2 * nearNode.UProspect - farNode.UProspect;
    node.VProspect = 2 * nearNode.VProspect - farNode.VProspect;
    node.TProspect = std::fabs(2 * nearNode.TProspect - farNode.TProspect);
    node.PProspect = std::fabs(2 * nearNode.PProspect - farNode.PProspect);
    SetMeshNodeValueProspect(node, node.UProspect, node.VProspect, node.TProspect, node.PProspect);
}

}  // namespace Nembra
