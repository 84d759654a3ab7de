#include "Nembra/NavierStokesEquations2D.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

#include "Nembra/MessageBox.h"
#include "Nembra/PowerThreeHalves.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__AVX__)
#include <immintrin.h>
#endif

// Marks a loop over a row whose iterations are independent, so that it is vectorised whatever the
// optimisation level's cost model says. Each iteration still evaluates its formula in order.
#if defined(__GNUC__) || defined(__clang__)
#define NEMBRA_ALWAYS_INLINE __attribute__((always_inline)) inline
#define NEMBRA_VECTOR_LOOP _Pragma("omp simd")
#else
#define NEMBRA_ALWAYS_INLINE inline
#define NEMBRA_VECTOR_LOOP
#endif

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

namespace {

// The resting air of the closed box and the hot, fast block laid at its centre.
constexpr double kRestTemperature = 288.16;
constexpr double kRestPressure = 101325;
constexpr double kBlockTemperature = 576.32;
constexpr double kBlockPressure = 121590;
constexpr double kBlockVelocity = 6400;
constexpr int kBlockHalfWidth = 5;

void AnnounceFailedTable() {
    detail::ShowMessageBox("1", "AllocateMeshNodesSpace 1");
    detail::ShowMemoryErrorBox();
}

void AnnounceFailedRow() {
    detail::ShowMessageBox("2", "AllocateMeshNodesSpace 2");
    detail::ShowMemoryErrorBox();
}

// A request for `count` objects of `size` bytes, or 0 when the count is negative or the byte
// count does not fit: both are failed requests rather than undefined behaviour.
bool FitsAllocation(int count, std::size_t size) {
    return count >= 0 && static_cast<std::uint64_t>(count) <= PTRDIFF_MAX / size;
}

// One gradient component along a line of n nodes with spacing h, at index m. From four nodes on:
// central inside, third-order one-sided at both ends. Fewer nodes fall back to the lowest-order
// stencils that stay inside the line.
template <typename Value>
double HighOrderDerivative(const Value& f, int m, int n, double h) {
    if (n >= 4) {
        const int last = n - 1;
        if (m == 0) {
            return (18 * f(1) - 11 * f(0) - 9 * f(2) + 2 * f(3)) / (6 * h);
        }
        if (m == last) {
            return (11 * f(last) - 18 * f(last - 1) + 9 * f(last - 2) - 2 * f(last - 3)) / (6 * h);
        }
        return (f(m + 1) - f(m - 1)) / (2 * h);
    }
    if (n == 3) {
        if (m == 0) {
            return (-3 * f(0) + 4 * f(1) - f(2)) / (2 * h);
        }
        if (m == 2) {
            return (3 * f(2) - 4 * f(1) + f(0)) / (2 * h);
        }
        return (f(2) - f(0)) / (2 * h);
    }
    if (n == 2) {
        return (f(1) - f(0)) / h;
    }
    return 0.0;
}

// First-order stencils: one-sided along the flux direction, central across it.
enum class Stencil { Rearward, Forward, Central };

template <typename Value>
double FirstOrderDerivative(const Value& f, int m, int n, double h, Stencil inside) {
    if (n < 2) {
        return 0.0;
    }
    if (m == 0) {
        return (f(1) - f(0)) / h;
    }
    if (m == n - 1) {
        return (f(m) - f(m - 1)) / h;
    }
    switch (inside) {
        case Stencil::Rearward:
            return (f(m) - f(m - 1)) / h;
        case Stencil::Forward:
            return (f(m + 1) - f(m)) / h;
        case Stencil::Central:
            break;
    }
    return (f(m + 1) - f(m - 1)) / (2 * h);
}

// Newtonian stresses under Stokes' hypothesis: the second viscosity coefficient is -2 mu / 3.
void StokesStress(double& tauXX, double& tauXY, double& tauYY, double dUdX, double dUdY,
                  double dVdX, double dVdY, double mu) {
    const double L = ((-2 * mu) / 3) * (dUdX + dVdY);
    tauXX = dUdX * (2 * mu) + L;
    tauYY = L + (2 * mu) * dVdY;
    tauXY = mu * (dUdY + dVdX);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction, copying and the mesh

NavierStokesEquations2D::NavierStokesEquations2D() : NavierStokesEquations2D(70, 70, 1e-5, 10000) {}

NavierStokesEquations2D::NavierStokesEquations2D(int imax, int jmax, double lengthX,
                                                 int maxStepCount)
    : MeshNodes(nullptr),
      IMax(imax),
      JMax(jmax),
      DeltaX(0.0),
      DeltaY(0.0),
      DeltaT(0.0),
      StepCount(0),
      MaxStepCount(maxStepCount),
      LengthX(lengthX),
      LengthY(0.0),
      BoundaryLayerThickness(0.0),
      HeightFactor(5),
      MachInf(4),
      TInf(288.16),
      SoundSpeedInf(340.28),
      UInf(1361.12),
      VInf(0),
      PInf(101325),
      RhoInf(1.225183163824975),
      MuInf(0.0),
      EintInf(0.0),
      KInf(0.0),
      Prandtl(0.71),
      GasConstant(287),
      WallTemperatureRatio(1.0),
      Gamma(1.4),
      MuRef(1.789e-5),
      TRef(288.16),
      Cv(0.0),
      Cp(0.0),
      ReynoldsL(0.0),
      Courant(0.6),
      TimeStepCoefficientsReady(false),
      SpacingCoefficient(0.0),
      ViscousFactor(0.0),
      SoundFactor(0.0),
      StepScratch(nullptr) {
    ComputeDerivedMembers();
    AllocateMeshNodesSpace(MeshNodes, IMax, JMax);
    if (MeshNodes != nullptr && !AllocateStepScratch(StepScratch, JMax)) {
        AllocateStorageError();
        ReleaseMeshNodes(MeshNodes, IMax, JMax);
    }
    if (MeshNodes == nullptr) {
        IMax = 0;
        JMax = 0;
    }
}

// Gas constants, free-stream state, Reynolds number and the mesh geometry that follow from it.
void NavierStokesEquations2D::ComputeDerivedMembers() {
    MuInf = Sutherland(TInf, TRef, MuRef);
    Cv = std::fabs(GasConstant / (Gamma - 1));
    Cp = std::fabs(Gamma * Cv);
    ReynoldsL = std::fabs(RhoInf * UInf * LengthX / MuInf);
    EintInf = std::fabs(Cv * TInf);
    KInf = std::fabs(MuInf * Cp / Prandtl);
    BoundaryLayerThickness = std::fabs(5 * LengthX / std::sqrt(std::fabs(ReynoldsL)));
    LengthY = std::fabs(HeightFactor * BoundaryLayerThickness);
    // In double: a count near INT_MIN must not overflow before the allocation refuses it.
    DeltaX = std::fabs(LengthX / (static_cast<double>(IMax) - 1));
    DeltaY = std::fabs(LengthY / (static_cast<double>(JMax) - 1));
}

NavierStokesEquations2D::NavierStokesEquations2D(const NavierStokesEquations2D& other)
    : MeshNodes(nullptr), StepScratch(nullptr) {
    CopySettingsFrom(other);
    if (!DuplicateMeshOf(other, MeshNodes, StepScratch)) {
        IMax = 0;
        JMax = 0;
    }
}

NavierStokesEquations2D::NavierStokesEquations2D(NavierStokesEquations2D&& other) noexcept
    : MeshNodes(nullptr), StepScratch(nullptr) {
    CopySettingsFrom(other);
    TakeMeshOf(other);
}

NavierStokesEquations2D& NavierStokesEquations2D::operator=(const NavierStokesEquations2D& other) {
    if (this == &other) {
        return *this;
    }
    // Duplicate first: if that fails this solver keeps everything it had.
    _MeshNode** copy = nullptr;
    double* scratch = nullptr;
    if (!DuplicateMeshOf(other, copy, scratch)) {
        return *this;
    }
    ReleaseStorage();
    CopySettingsFrom(other);
    MeshNodes = copy;
    StepScratch = scratch;
    return *this;
}

NavierStokesEquations2D& NavierStokesEquations2D::operator=(
    NavierStokesEquations2D&& other) noexcept {
    if (this != &other) {
        ReleaseStorage();
        CopySettingsFrom(other);
        TakeMeshOf(other);
    }
    return *this;
}

NavierStokesEquations2D::~NavierStokesEquations2D() {
    ReleaseStorage();
}

void NavierStokesEquations2D::ReleaseStorage() {
    ReleaseMeshNodes(MeshNodes, IMax, JMax);
    delete[] StepScratch;
    StepScratch = nullptr;
}

// Every member but the mesh itself.
void NavierStokesEquations2D::CopySettingsFrom(const NavierStokesEquations2D& other) {
    IMax = other.IMax;
    JMax = other.JMax;
    DeltaX = other.DeltaX;
    DeltaY = other.DeltaY;
    DeltaT = other.DeltaT;
    StepCount = other.StepCount;
    MaxStepCount = other.MaxStepCount;
    LengthX = other.LengthX;
    LengthY = other.LengthY;
    BoundaryLayerThickness = other.BoundaryLayerThickness;
    HeightFactor = other.HeightFactor;
    MachInf = other.MachInf;
    TInf = other.TInf;
    SoundSpeedInf = other.SoundSpeedInf;
    UInf = other.UInf;
    VInf = other.VInf;
    PInf = other.PInf;
    RhoInf = other.RhoInf;
    MuInf = other.MuInf;
    EintInf = other.EintInf;
    KInf = other.KInf;
    Prandtl = other.Prandtl;
    GasConstant = other.GasConstant;
    WallTemperatureRatio = other.WallTemperatureRatio;
    Gamma = other.Gamma;
    MuRef = other.MuRef;
    TRef = other.TRef;
    Cv = other.Cv;
    Cp = other.Cp;
    ReynoldsL = other.ReynoldsL;
    Courant = other.Courant;
    TimeStepCoefficientsReady = other.TimeStepCoefficientsReady;
    SpacingCoefficient = other.SpacingCoefficient;
    ViscousFactor = other.ViscousFactor;
    SoundFactor = other.SoundFactor;
}

// A mesh of its own with the same contents as other's, and working rows for it, or none when
// other holds none. False when the storage could not be had (announced).
bool NavierStokesEquations2D::DuplicateMeshOf(const NavierStokesEquations2D& other,
                                              _MeshNode**& copy, double*& scratch) {
    copy = nullptr;
    scratch = nullptr;
    if (other.MeshNodes == nullptr) {
        return true;
    }
    AllocateMeshNodesSpace(copy, other.IMax, other.JMax);
    if (copy == nullptr) {
        return false;
    }
    if (!AllocateStepScratch(scratch, other.JMax)) {
        AllocateStorageError();
        ReleaseMeshNodes(copy, other.IMax, other.JMax);
        return false;
    }
    for (int i = 0; i < other.IMax; ++i) {
        if (other.JMax > 0) {
            std::memcpy(copy[i], other.MeshNodes[i], sizeof(_MeshNode) * other.JMax);
        }
    }
    return true;
}

// Moves the mesh over; other is left holding none.
void NavierStokesEquations2D::TakeMeshOf(NavierStokesEquations2D& other) {
    MeshNodes = other.MeshNodes;
    other.MeshNodes = nullptr;
    StepScratch = other.StepScratch;
    other.StepScratch = nullptr;
    other.IMax = 0;
    other.JMax = 0;
}

NavierStokesEquations2D::_MeshNode**& NavierStokesEquations2D::GetMeshNodes(int& imax, int& jmax) {
    imax = IMax;
    jmax = JMax;
    return MeshNodes;
}

bool NavierStokesEquations2D::HoldsNodes() const {
    return MeshNodes != nullptr && IMax > 0 && JMax > 0;
}

// A negative count is a failed request, announced like a failed table or row; a mesh without
// nodes (a zero count) is empty at once and holds no table, however many empty rows it names.
void NavierStokesEquations2D::AllocateMeshNodesSpace(_MeshNode**& rows, int rowCount,
                                                     int nodesPerRow) {
    rows = nullptr;
    if (rowCount < 0) {
        AnnounceFailedTable();
        return;
    }
    if (nodesPerRow < 0) {
        AnnounceFailedRow();
        return;
    }
    if (rowCount == 0 || nodesPerRow == 0) {
        return;
    }
    rows = FitsAllocation(rowCount, sizeof(_MeshNode*))
               ? new (std::nothrow) _MeshNode*[static_cast<std::size_t>(rowCount)]
               : nullptr;
    if (rows == nullptr) {
        AnnounceFailedTable();
        return;
    }
    const bool rowFits = FitsAllocation(nodesPerRow, sizeof(_MeshNode));
    for (int r = 0; r < rowCount; ++r) {
        // Value-initialised: every slot of a fresh mesh reads 0.0.
        rows[r] = rowFits ? new (std::nothrow) _MeshNode[static_cast<std::size_t>(nodesPerRow)]()
                          : nullptr;
        if (rows[r] == nullptr) {
            // Release what was obtained, the table included, so that nothing refers to it.
            ReleaseMeshNodes(rows, r, nodesPerRow);
            AnnounceFailedRow();
            return;
        }
    }
}

void NavierStokesEquations2D::ReleaseMeshNodes(_MeshNode**& rows, int rowCount,
                                               int /*nodesPerRow*/) {
    if (rows == nullptr) {
        return;
    }
    for (int r = 0; r < rowCount; ++r) {
        delete[] rows[r];
        rows[r] = nullptr;
    }
    delete[] rows;
    rows = nullptr;
}

void NavierStokesEquations2D::AllocateStorageError() {
    detail::ShowMemoryErrorBox();
}

// ---------------------------------------------------------------------------------------------
// Gas model and node state

double NavierStokesEquations2D::Sutherland(double T, double tRef, double muRef) {
    return std::fabs(std::pow(std::fabs(T) / tRef, 1.5) * muRef * (tRef + 110) /
                     (std::fabs(T) + 110));
}

double NavierStokesEquations2D::Pyroconductivity(double mu, double cp, double prandtl) {
    return std::fabs(mu * cp / prandtl);
}

double NavierStokesEquations2D::ReynoldsNumber(double rho, double u, double length, double mu) {
    return std::fabs(rho * u * length / mu);
}

double NavierStokesEquations2D::StateEquationP(double rho, double gasConstant, double T) {
    return std::fabs(rho * gasConstant * T);
}

double NavierStokesEquations2D::StateEquationDensity(double p, double gasConstant, double T) {
    return std::fabs(p / (gasConstant * T));
}

double NavierStokesEquations2D::InternalEnergy(double cv, double T) {
    return std::fabs(cv * T);
}

void NavierStokesEquations2D::SetMeshNodeValue(_MeshNode& node, double u, double v, double T,
                                               double p) {
    node.U = u;
    node.V = v;
    node.T = std::fabs(T);
    node.P = std::fabs(p);
    node.Rho = std::fabs(node.P / (node.T * GasConstant));
    node.RhoU = node.Rho * u;
    node.RhoV = node.Rho * v;
    node.Eint = std::fabs(node.T * Cv);
    node.Et = std::fabs(node.Rho * (node.Eint + (u * u + v * v) * 0.5));
    node.Mu = Sutherland(node.T, TRef, MuRef);
    node.K = std::fabs(node.Mu * Cp / Prandtl);
}

void NavierStokesEquations2D::SetMeshNodeValueProspect(_MeshNode& node, double u, double v,
                                                       double T, double p) {
    node.UProspect = u;
    node.VProspect = v;
    node.TProspect = std::fabs(T);
    node.PProspect = std::fabs(p);
    node.RhoProspect = std::fabs(node.PProspect / (node.TProspect * GasConstant));
    node.QProspect[0] = node.RhoProspect;
    node.QProspect[1] = node.RhoProspect * u;
    node.QProspect[2] = node.RhoProspect * v;
    node.EintProspect = std::fabs(node.TProspect * Cv);
    node.EtProspect = std::fabs(node.RhoProspect * (node.EintProspect + (u * u + v * v) * 0.5));
    node.QProspect[3] = node.EtProspect;
    node.MuProspect = Sutherland(node.TProspect, TRef, MuRef);
    node.KProspect = std::fabs(node.MuProspect * Cp / Prandtl);
}

// ---------------------------------------------------------------------------------------------
// Initial conditions

namespace {

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

// ---------------------------------------------------------------------------------------------
// Gradients, stresses and heat flux

namespace {

// Values of one slot along x (fixed j) or along y (fixed i).
struct AlongX {
    Node** mesh;
    int j;
    double Node::*slot;
    double operator()(int k) const { return mesh[k][j].*slot; }
};

struct AlongY {
    const Node* row;
    double Node::*slot;
    double operator()(int k) const { return row[k].*slot; }
};

struct StateSlots {
    double Node::*u;
    double Node::*v;
    double Node::*T;
};

constexpr StateSlots kCurrentSlots{&Node::U, &Node::V, &Node::T};
constexpr StateSlots kPredictedSlots{&Node::UProspect, &Node::VProspect, &Node::TProspect};

template <typename Derivative>
void SixGradients(double& dUdX, double& dUdY, double& dVdX, double& dVdY, double& dTdX,
                  double& dTdY, Node** mesh, int i, int j, StateSlots slots,
                  const Derivative& alongX, const Derivative& alongY) {
    dUdY = alongY(AlongY{mesh[i], slots.u}, j);
    dVdY = alongY(AlongY{mesh[i], slots.v}, j);
    dTdY = alongY(AlongY{mesh[i], slots.T}, j);
    dUdX = alongX(AlongX{mesh, j, slots.u}, i);
    dVdX = alongX(AlongX{mesh, j, slots.v}, i);
    dTdX = alongX(AlongX{mesh, j, slots.T}, i);
}

}  // namespace

namespace {

struct HighOrder {
    int n;
    double h;
    template <typename Value>
    double operator()(const Value& f, int m) const {
        return HighOrderDerivative(f, m, n, h);
    }
};

struct FirstOrder {
    int n;
    double h;
    Stencil inside;
    template <typename Value>
    double operator()(const Value& f, int m) const {
        return FirstOrderDerivative(f, m, n, h, inside);
    }
};

}  // namespace

void NavierStokesEquations2D::PartialDerivatives(double& dUdX, double& dUdY, double& dVdX,
                                                 double& dVdY, double& dTdX, double& dTdY,
                                                 _MeshNode** mesh, int i, int j) const {
    SixGradients(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, mesh, i, j, kCurrentSlots,
                 HighOrder{IMax, DeltaX}, HighOrder{JMax, DeltaY});
}

void NavierStokesEquations2D::PartialDerivativesProspect(double& dUdX, double& dUdY, double& dVdX,
                                                         double& dVdY, double& dTdX, double& dTdY,
                                                         _MeshNode** mesh, int i, int j) const {
    SixGradients(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, mesh, i, j, kPredictedSlots,
                 HighOrder{IMax, DeltaX}, HighOrder{JMax, DeltaY});
}

void NavierStokesEquations2D::PartialDerivatives_E(double& dUdX, double& dUdY, double& dVdX,
                                                   double& dVdY, double& dTdX, double& dTdY,
                                                   _MeshNode** mesh, int i, int j) const {
    SixGradients(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, mesh, i, j, kCurrentSlots,
                 FirstOrder{IMax, DeltaX, Stencil::Rearward},
                 FirstOrder{JMax, DeltaY, Stencil::Central});
}

void NavierStokesEquations2D::PartialDerivatives_F(double& dUdX, double& dUdY, double& dVdX,
                                                   double& dVdY, double& dTdX, double& dTdY,
                                                   _MeshNode** mesh, int i, int j) const {
    SixGradients(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, mesh, i, j, kCurrentSlots,
                 FirstOrder{IMax, DeltaX, Stencil::Central},
                 FirstOrder{JMax, DeltaY, Stencil::Rearward});
}

void NavierStokesEquations2D::PartialDerivativesProspect_E(double& dUdX, double& dUdY, double& dVdX,
                                                           double& dVdY, double& dTdX, double& dTdY,
                                                           _MeshNode** mesh, int i, int j) const {
    SixGradients(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, mesh, i, j, kPredictedSlots,
                 FirstOrder{IMax, DeltaX, Stencil::Forward},
                 FirstOrder{JMax, DeltaY, Stencil::Central});
}

void NavierStokesEquations2D::PartialDerivativesProspect_F(double& dUdX, double& dUdY, double& dVdX,
                                                           double& dVdY, double& dTdX, double& dTdY,
                                                           _MeshNode** mesh, int i, int j) const {
    SixGradients(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, mesh, i, j, kPredictedSlots,
                 FirstOrder{IMax, DeltaX, Stencil::Central},
                 FirstOrder{JMax, DeltaY, Stencil::Forward});
}

void NavierStokesEquations2D::Stress(double& tauXX, double& tauXY, double& tauYX, double& tauYY,
                                     double& dUdX, double& dUdY, double& dVdX, double& dVdY,
                                     double mu) {
    StokesStress(tauXX, tauXY, tauYY, dUdX, dUdY, dVdX, dVdY, mu);
    tauYX = tauXY;
}

void NavierStokesEquations2D::HeatDischarge(double& qX, double& qY, double& dTdX, double& dTdY,
                                            double k) {
    qX = -(k * dTdX);
    qY = -(k * dTdY);
}

namespace {

// Records are read and written four consecutive nodes at a time where the compiler offers vector
// types and the target has 256-bit registers: four slots of four nodes are moved as a 4 x 4 block
// and transposed, so that a working row receives four nodes' values in one vector store. Values
// are only moved, never computed here, so the results are the same bits as with the node-by-node
// copies that handle the rest (and everything on other targets).
constexpr int kBlockNodes = 4;
#if (defined(__GNUC__) || defined(__clang__)) && defined(__AVX__)
#define NEMBRA_NODE_BLOCKS 1
using Double4 = double __attribute__((vector_size(4 * sizeof(double))));
using Bits4 = std::int64_t __attribute__((vector_size(4 * sizeof(double))));
// The block helpers must melt into the loops that use them, their vectors kept in registers.
#define NEMBRA_BLOCK_HELPER __attribute__((always_inline)) inline

// Four slots, from `firstSlot` (a byte offset into the record) on, of four consecutive nodes:
// one vector per slot.
struct SlotBlock {
    Double4 slot[4];
};

NEMBRA_BLOCK_HELPER SlotBlock Transpose(const Double4 (&rows)[4]) {
    const Double4 t0 = __builtin_shufflevector(rows[0], rows[1], 0, 4, 2, 6);
    const Double4 t1 = __builtin_shufflevector(rows[0], rows[1], 1, 5, 3, 7);
    const Double4 t2 = __builtin_shufflevector(rows[2], rows[3], 0, 4, 2, 6);
    const Double4 t3 = __builtin_shufflevector(rows[2], rows[3], 1, 5, 3, 7);
    return {
        {__builtin_shufflevector(t0, t2, 0, 1, 4, 5), __builtin_shufflevector(t1, t3, 0, 1, 4, 5),
         __builtin_shufflevector(t0, t2, 2, 3, 6, 7), __builtin_shufflevector(t1, t3, 2, 3, 6, 7)}};
}

// Four slots of one record. The four records of a block are named one by one rather than in a
// loop, which the compiler would run through a buffer on the stack instead of registers.
NEMBRA_BLOCK_HELPER Double4 LoadSlots(const Node& node, std::size_t firstSlot) {
    Double4 slots;
    std::memcpy(&slots, reinterpret_cast<const unsigned char*>(&node) + firstSlot, sizeof slots);
    return slots;
}

NEMBRA_BLOCK_HELPER void StoreSlots(Node& node, std::size_t firstSlot, Double4 slots) {
    std::memcpy(reinterpret_cast<unsigned char*>(&node) + firstSlot, &slots, sizeof slots);
}

NEMBRA_BLOCK_HELPER SlotBlock LoadBlock(const Node* nodes, std::size_t firstSlot) {
    const Double4 rows[4] = {LoadSlots(nodes[0], firstSlot), LoadSlots(nodes[1], firstSlot),
                             LoadSlots(nodes[2], firstSlot), LoadSlots(nodes[3], firstSlot)};
    return Transpose(rows);
}

NEMBRA_BLOCK_HELPER void StoreBlock(Node* nodes, std::size_t firstSlot, const SlotBlock& block) {
    const SlotBlock rows = Transpose(block.slot);
    StoreSlots(nodes[0], firstSlot, rows.slot[0]);
    StoreSlots(nodes[1], firstSlot, rows.slot[1]);
    StoreSlots(nodes[2], firstSlot, rows.slot[2]);
    StoreSlots(nodes[3], firstSlot, rows.slot[3]);
}

NEMBRA_BLOCK_HELPER Double4 LoadRow(const double* row, int j) {
    Double4 values;
    std::memcpy(&values, row + j, sizeof(Double4));
    return values;
}

NEMBRA_BLOCK_HELPER void StoreRow(double* row, int j, Double4 values) {
    std::memcpy(row + j, &values, sizeof(Double4));
}

// A block's four slots into four working rows, named one by one for the same reason as the
// records of LoadBlock.
NEMBRA_BLOCK_HELPER void StoreRows(double* const (&rows)[4], int j, const SlotBlock& block) {
    StoreRow(rows[0], j, block.slot[0]);
    StoreRow(rows[1], j, block.slot[1]);
    StoreRow(rows[2], j, block.slot[2]);
    StoreRow(rows[3], j, block.slot[3]);
}

// fabs of each element: the sign bit cleared.
NEMBRA_BLOCK_HELPER Double4 Abs(Double4 values) {
    Bits4 bits;
    std::memcpy(&bits, &values, sizeof bits);
    bits &= INT64_MAX;
    std::memcpy(&values, &bits, sizeof values);
    return values;
}

#endif

}  // namespace

// ---------------------------------------------------------------------------------------------
// Time step

namespace {

// What the time step needs of the mesh, gathered in one read of every node: the largest viscous
// diffusivity, and the largest sum of the acoustic and convective terms.
//
// A node's step, Courant/(rate + viscous term), only shrinks as its rate grows (correctly rounded
// addition and division are monotonic and Courant is positive), so the smallest node step is the
// step of the largest rate: one division gives exactly the minimum of all the per-node divisions.
// A NaN rate is passed over like a NaN node step, except at the first node, whose step is taken
// whatever it is.
struct TimeStepScan {
    double largestDiffusivity = 0;
    double largestRate = -1;  // negative while no node with a number as its rate has been seen
    double firstRate = 0;
    bool visitedAny = false;
};

struct TimeStepTerms {
    double viscousFactor;
    double soundFactor;
    double sqrtSpacing;  // square root of the spacing coefficient
    double deltaX;
    double deltaY;
};

double Diffusivity(const Node& n, const TimeStepTerms& terms) {
    return (n.Mu * terms.viscousFactor) / n.Rho;
}

double Rate(const Node& n, const TimeStepTerms& terms) {
    const double acoustic = std::sqrt(std::fabs(n.T * terms.soundFactor)) * terms.sqrtSpacing;
    const double convective = std::fabs(n.U) / terms.deltaX + std::fabs(n.V) / terms.deltaY;
    return acoustic + convective;
}

#ifdef NEMBRA_NODE_BLOCKS
// The processor's square root of each element: correctly rounded like std::sqrt, four at a time
// and without std::sqrt's per-element test for arguments that would set errno.
NEMBRA_BLOCK_HELPER Double4 Sqrt(Double4 values) {
    return _mm256_sqrt_pd(values);
}

// All lanes set where the value is finite: the vector form of ValueAvailability.
NEMBRA_BLOCK_HELPER Bits4 Usable(Double4 values) {
    return Abs(values) <= DBL_MAX;
}

NEMBRA_BLOCK_HELPER double LargestLane(Double4 lanes, double largest) {
    for (int k = 0; k < 4; ++k) {
        largest = lanes[k] > largest ? lanes[k] : largest;
    }
    return largest;
}

// The scan over four nodes at a time, as far as whole blocks go, and the value check of the
// first `checked` nodes among them. Returns the number of nodes scanned.
int ScanTimeStepBlocks(const Node* row, int count, int checked, const TimeStepTerms& terms,
                       TimeStepScan& scan, int& unusable) {
    Double4 largestDiffusivity = Double4{} + scan.largestDiffusivity;
    Double4 largestRate = Double4{} + scan.largestRate;
    Bits4 unusableLanes{};
    int j = 0;
    for (; j + kBlockNodes <= count; j += kBlockNodes) {
        const SlotBlock conserved = LoadBlock(row + j, offsetof(Node, Rho));  // Rho RhoU RhoV Et
        const SlotBlock primitives = LoadBlock(row + j, offsetof(Node, U));   // U V Eint T
        const SlotBlock transport = LoadBlock(row + j, offsetof(Node, P));    // P Mu K -
        const Double4 rho = conserved.slot[0];
        const Double4 u = primitives.slot[0];
        const Double4 v = primitives.slot[1];
        const Double4 T = primitives.slot[3];
        const Double4 mu = transport.slot[1];
        const Double4 diffusivity = (mu * terms.viscousFactor) / rho;
        largestDiffusivity = diffusivity > largestDiffusivity ? diffusivity : largestDiffusivity;
        const Double4 acoustic = Sqrt(Abs(T * terms.soundFactor)) * terms.sqrtSpacing;
        const Double4 rate = acoustic + (Abs(u) / terms.deltaX + Abs(v) / terms.deltaY);
        largestRate = rate > largestRate ? rate : largestRate;
        if (j < checked) {
            const Bits4 usable = Usable(rho) & Usable(u) & Usable(v) & Usable(conserved.slot[3]) &
                                 Usable(primitives.slot[2]) & Usable(transport.slot[2]) &
                                 Usable(mu) & Usable(transport.slot[0]);
            const Bits4 lane = Bits4{0, 1, 2, 3} + j;
            // A true comparison is -1 in every bit: subtracting it counts the node.
            unusableLanes -= (usable == 0) & (lane < checked);
        }
    }
    scan.largestDiffusivity = LargestLane(largestDiffusivity, scan.largestDiffusivity);
    scan.largestRate = LargestLane(largestRate, scan.largestRate);
    for (int k = 0; k < 4; ++k) {
        unusable += static_cast<int>(unusableLanes[k]);
    }
    return j;
}
#endif

// Folds one row into the scan and counts the unusable nodes among its first `checked` nodes as
// far as the vector blocks reach. Returns how many of those nodes have been checked.
int ScanTimeStepRow(const Node* row, int count, int checked, const TimeStepTerms& terms,
                    TimeStepScan& scan, [[maybe_unused]] int& unusable) {
    if (count <= 0) {
        return 0;
    }
    if (!scan.visitedAny) {
        scan.firstRate = Rate(row[0], terms);
        scan.visitedAny = true;
    }
    int blocks = 0;
#ifdef NEMBRA_NODE_BLOCKS
    blocks = ScanTimeStepBlocks(row, count, checked, terms, scan, unusable);
#endif
    double largestDiffusivity = scan.largestDiffusivity;
    double largestRate = scan.largestRate;
    for (int j = blocks; j < count; ++j) {
        const double diffusivity = Diffusivity(row[j], terms);
        largestDiffusivity = diffusivity > largestDiffusivity ? diffusivity : largestDiffusivity;
        const double rate = Rate(row[j], terms);
        largestRate = rate > largestRate ? rate : largestRate;
    }
    scan.largestDiffusivity = largestDiffusivity;
    scan.largestRate = largestRate;
    return std::min(blocks, checked);
}

}  // namespace

// Number of the row's first `count` nodes holding an unusable value in one of the checked slots.
int NavierStokesEquations2D::CountUnusableNodes(_MeshNode* row, int count) {
    int unusable = 0;
    for (int j = 0; j < count; ++j) {
        _MeshNode& n = row[j];
        // Every slot is tested: the count is the same, and the loop carries no branch per slot.
        const bool usable = ValueAvailability(n.Rho) & ValueAvailability(n.U) &
                            ValueAvailability(n.V) & ValueAvailability(n.Et) &
                            ValueAvailability(n.Eint) & ValueAvailability(n.K) &
                            ValueAvailability(n.Mu) & ValueAvailability(n.P);
        unusable += usable ? 0 : 1;
    }
    return unusable;
}

void NavierStokesEquations2D::FillTimeStepCoefficients() {
    if (!TimeStepCoefficientsReady) {
        SpacingCoefficient = 1 / (DeltaX * DeltaX) + 1 / (DeltaY * DeltaY);
        ViscousFactor = std::fabs((Gamma * 4) / (Prandtl * 3));
        SoundFactor = Gamma * GasConstant;
        TimeStepCoefficientsReady = true;
    }
}

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
    const TimeStepTerms terms{ViscousFactor, SoundFactor, std::sqrt(std::fabs(SpacingCoefficient)),
                              DeltaX, DeltaY};
    TimeStepScan scan;
    int unusableNodes = 0;
    for (int i = 0; i < rowCount; ++i) {
        const int checked = i < checkedRows ? checkedNodes : 0;
        const int done = ScanTimeStepRow(rows[i], nodesPerRow, checked, terms, scan, unusableNodes);
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

// ---------------------------------------------------------------------------------------------
// MacCormack step
//
// The step runs row by row. It gathers what it reads of a row of records into working rows (one
// plain array per quantity) in one pass, evaluates each formula across the row in a loop that
// the compiler can vectorise, in the order of operations of the per-node formula, and writes the
// results of a row back into its records while the next row is decoded. The flux phase of a row
// and the update phase of the row before it run together while both rows are still in cache.

namespace {

// The one-sided stencils of the first and the last row reach three rows inward, and the update
// of a row reads the fluxes of the row after it: the last four rows gathered are kept.
constexpr int kRingRows = 4;
// Working rows are a whole number of cache lines long.
constexpr int kRowAlignment = 8;

// What the step reads of one row of records.
struct GatheredRow {
    // The state whose fluxes are built: u, v and T for the gradients, and the flux inputs with
    // the absolute values that the fluxes take.
    double* u;
    double* v;
    double* t;
    double* rho;
    double* p;
    double* et;
    double* mu;
    double* k;
    double* q[4];   // current conserved vector
    double* qp[4];  // predicted conserved vector, read by the corrector
};
constexpr int kArraysPerGatheredRow = 16;

// What the update of one interior row leaves for writing back into its records.
struct RowResults {
    double* dudt[4];     // predictor time derivative
    double* updated[4];  // conserved vector being decoded: predicted or corrected
    // Primitives and transport values decoded from `updated`.
    double* u;
    double* v;
    double* eint;
    double* t;
    double* p;
    double* mu;
    double* k;
};
constexpr int kArraysPerRowResults = 15;

// A row's results are written back while the next row is updated, from the fluxes of that row
// and of the row after it: the fluxes of three consecutive rows are kept, and the results of two.
constexpr int kFluxRows = 3;
constexpr int kResultRows = 2;

// The working rows of a step, each `stride` doubles long.
struct StepRows {
    GatheredRow ring[kRingRows];  // row i sits at i % kRingRows
    double* dUdX;
    double* dUdY;
    double* dVdX;
    double* dVdY;
    double* dTdX;
    double* dTdY;
    double* e[kFluxRows][4];  // row i's E at i % kFluxRows
    double* f[kFluxRows][4];
    RowResults results[kResultRows];  // row i's at i % kResultRows
    double* ratio;  // temperature over the reference temperature, of the row being decoded
    double* power;  // that ratio to the power 1.5
};
constexpr int kStepArrayCount =
    kRingRows * kArraysPerGatheredRow + 6 + kFluxRows * 8 + kResultRows * kArraysPerRowResults + 2;

std::size_t StepRowStride(int nodesPerRow) {
    const auto n = static_cast<std::size_t>(nodesPerRow);
    return (n + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

StepRows MapStepRows(double* scratch, int nodesPerRow) {
    const std::size_t stride = StepRowStride(nodesPerRow);
    double* next = scratch;
    const auto take = [&next, stride] {
        double* row = next;
        next += stride;
        return row;
    };
    StepRows w{};
    for (GatheredRow& g : w.ring) {
        for (double** row : {&g.u, &g.v, &g.t, &g.rho, &g.p, &g.et, &g.mu, &g.k}) {
            *row = take();
        }
        for (int c = 0; c < 4; ++c) {
            g.q[c] = take();
            g.qp[c] = take();
        }
    }
    for (double** row :
         {&w.dUdX, &w.dUdY, &w.dVdX, &w.dVdY, &w.dTdX, &w.dTdY, &w.ratio, &w.power}) {
        *row = take();
    }
    for (int r = 0; r < kFluxRows; ++r) {
        for (int c = 0; c < 4; ++c) {
            w.e[r][c] = take();
            w.f[r][c] = take();
        }
    }
    for (RowResults& r : w.results) {
        for (int c = 0; c < 4; ++c) {
            r.dudt[c] = take();
            r.updated[c] = take();
        }
        for (double** row : {&r.u, &r.v, &r.eint, &r.t, &r.p, &r.mu, &r.k}) {
            *row = take();
        }
    }
    return w;
}

// The solver members that the row kernels read.
struct StepConstants {
    double deltaX;
    double deltaY;
    double deltaT;
    double cv;
    double gasConstant;
    double tRef;
    double muRef;
    double cp;
    double prandtl;
};

struct ArrayValues {
    const double* f;
    double operator()(int k) const { return f[k]; }
};

struct RingColumn {
    const double* const* ring;
    int j;
    double operator()(int k) const { return ring[k % kRingRows][j]; }
};

// d/dy along a row of `count` values: central inside, HighOrderDerivative's stencils at the ends.
void DerivativeAlongRow(const double* f, int count, double h, double* out) {
    const double twoH = 2 * h;
    NEMBRA_VECTOR_LOOP
    for (int j = 1; j < count - 1; ++j) {
        out[j] = (f[j + 1] - f[j - 1]) / twoH;
    }
    out[0] = HighOrderDerivative(ArrayValues{f}, 0, count, h);
    out[count - 1] = HighOrderDerivative(ArrayValues{f}, count - 1, count, h);
}

// d/dx of one gathered quantity at row i of rowCount rows.
void DerivativeAcrossRows(const StepRows& w, double* GatheredRow::*quantity, int i, int rowCount,
                          int count, double h, double* out) {
    const double* ring[kRingRows];
    for (int r = 0; r < kRingRows; ++r) {
        ring[r] = w.ring[r].*quantity;
    }
    if (i > 0 && i < rowCount - 1) {
        const double* next = ring[(i + 1) % kRingRows];
        const double* previous = ring[(i - 1) % kRingRows];
        const double twoH = 2 * h;
        NEMBRA_VECTOR_LOOP
        for (int j = 0; j < count; ++j) {
            out[j] = (next[j] - previous[j]) / twoH;
        }
        return;
    }
    for (int j = 0; j < count; ++j) {
        out[j] = HighOrderDerivative(RingColumn{ring, j}, i, rowCount, h);
    }
}

// Four working rows held in locals: the stores into the records cannot then be taken to change
// where the rows are, and the compiler keeps the addresses in registers.
struct FourRows {
    const double* r0;
    const double* r1;
    const double* r2;
    const double* r3;
    explicit FourRows(double* const* rows) : r0(rows[0]), r1(rows[1]), r2(rows[2]), r3(rows[3]) {}
    void CopyTo(double* out, int j) const {
        out[0] = r0[j];
        out[1] = r1[j];
        out[2] = r2[j];
        out[3] = r3[j];
    }
};

#ifdef NEMBRA_NODE_BLOCKS
NEMBRA_BLOCK_HELPER SlotBlock RowsAt(const FourRows& rows, int j) {
    return {{LoadRow(rows.r0, j), LoadRow(rows.r1, j), LoadRow(rows.r2, j), LoadRow(rows.r3, j)}};
}
#endif

void GatherCurrentNode(const Node& n, const GatheredRow& r, int j) {
    r.u[j] = n.U;
    r.v[j] = n.V;
    r.t[j] = n.T;
    r.rho[j] = std::fabs(n.Rho);
    r.p[j] = std::fabs(n.P);
    r.et[j] = std::fabs(n.Et);
    r.mu[j] = n.Mu;
    r.k[j] = n.K;
    r.q[0][j] = n.Rho;
    r.q[1][j] = n.RhoU;
    r.q[2][j] = n.RhoV;
    r.q[3][j] = n.Et;
}

// Asks for the cache lines that hold bytes [firstByte, endByte) of these records, about to be
// written: the records were last read a few rows before, their lines have left the first-level
// cache, and a store that waits for its line holds up the stores behind it. Inlined: a function
// of prefetches alone looks free of effects to the compiler, which drops its calls.
NEMBRA_ALWAYS_INLINE void PrefetchForWriting(const Node* nodes, int count, std::size_t firstByte,
                                             std::size_t endByte) {
#if defined(__GNUC__) || defined(__clang__)
    constexpr std::size_t kLine = 64;
    for (int k = 0; k < count; ++k) {
        const char* record = reinterpret_cast<const char*>(nodes + k);
        for (std::size_t offset = firstByte; offset < endByte; offset += kLine) {
            __builtin_prefetch(record + offset, 1, 3);
        }
        __builtin_prefetch(record + endByte - 1, 1, 3);
    }
#else
    static_cast<void>(nodes);
    static_cast<void>(count);
    static_cast<void>(firstByte);
    static_cast<void>(endByte);
#endif
}

// How far ahead of its stores a row writer asks for the records' lines.
constexpr int kWriteLookahead = kBlockNodes;

// The current state of a row, for the predictor.
void GatherCurrentRow(const Node* row, int count, const GatheredRow& g) {
    const GatheredRow r = g;
    int j = 0;
#ifdef NEMBRA_NODE_BLOCKS
    for (; j + kBlockNodes <= count; j += kBlockNodes) {
        const SlotBlock conserved = LoadBlock(row + j, offsetof(Node, Rho));  // Rho RhoU RhoV Et
        const SlotBlock primitives = LoadBlock(row + j, offsetof(Node, U));   // U V Eint T
        const SlotBlock transport = LoadBlock(row + j, offsetof(Node, P));    // P Mu K -
        StoreRows(r.q, j, conserved);
        StoreRow(r.rho, j, Abs(conserved.slot[0]));
        StoreRow(r.et, j, Abs(conserved.slot[3]));
        StoreRow(r.u, j, primitives.slot[0]);
        StoreRow(r.v, j, primitives.slot[1]);
        StoreRow(r.t, j, primitives.slot[3]);
        StoreRow(r.p, j, Abs(transport.slot[0]));
        StoreRow(r.mu, j, transport.slot[1]);
        StoreRow(r.k, j, transport.slot[2]);
    }
#endif
    for (; j < count; ++j) {
        GatherCurrentNode(row[j], r, j);
    }
}

void GatherPredictedNode(const Node& n, const GatheredRow& r, int j) {
    r.u[j] = n.UProspect;
    r.v[j] = n.VProspect;
    r.t[j] = n.TProspect;
    r.rho[j] = std::fabs(n.QProspect[0]);
    r.p[j] = std::fabs(n.PProspect);
    r.et[j] = std::fabs(n.EtProspect);
    r.mu[j] = n.MuProspect;
    r.k[j] = n.KProspect;
    r.q[0][j] = n.Rho;
    r.q[1][j] = n.RhoU;
    r.q[2][j] = n.RhoV;
    r.q[3][j] = n.Et;
    for (int c = 0; c < 4; ++c) {
        r.qp[c][j] = n.QProspect[c];
    }
}

// The predicted state of a row, for the corrector, with the current and the predicted conserved
// vectors that the corrector averages. The fluxes take the predicted density from QProspect[0].
void GatherPredictedRow(const Node* row, int count, const GatheredRow& g) {
    const GatheredRow r = g;
    int j = 0;
#ifdef NEMBRA_NODE_BLOCKS
    for (; j + kBlockNodes <= count; j += kBlockNodes) {
        // Rho RhoU RhoV Et; UProspect VProspect EintProspect TProspect;
        // PProspect EtProspect MuProspect KProspect; QProspect[0..3]
        const SlotBlock conserved = LoadBlock(row + j, offsetof(Node, Rho));
        const SlotBlock primitives = LoadBlock(row + j, offsetof(Node, UProspect));
        const SlotBlock transport = LoadBlock(row + j, offsetof(Node, PProspect));
        const SlotBlock predicted = LoadBlock(row + j, offsetof(Node, QProspect));
        StoreRows(r.q, j, conserved);
        StoreRows(r.qp, j, predicted);
        StoreRow(r.u, j, primitives.slot[0]);
        StoreRow(r.v, j, primitives.slot[1]);
        StoreRow(r.t, j, primitives.slot[3]);
        StoreRow(r.rho, j, Abs(predicted.slot[0]));
        StoreRow(r.p, j, Abs(transport.slot[0]));
        StoreRow(r.et, j, Abs(transport.slot[1]));
        StoreRow(r.mu, j, transport.slot[2]);
        StoreRow(r.k, j, transport.slot[3]);
    }
#endif
    for (; j < count; ++j) {
        GatherPredictedNode(row[j], r, j);
    }
}

using GatherRow = void (*)(const Node*, int, const GatheredRow&);

// Makes sure that the ring holds every row that the gradients and the update of row i read.
void GatherRowsFor(Node** mesh, int i, int rowCount, int count, const StepRows& w, GatherRow gather,
                   int& lastGathered) {
    const int needed = std::min(i == 0 ? kRingRows - 1 : i + 1, rowCount - 1);
    while (lastGathered < needed) {
        ++lastGathered;
        gather(mesh[lastGathered], count, w.ring[lastGathered % kRingRows]);
    }
}

// E and F of row i, with the viscous stresses and the heat flux of the row's gradients, into
// the row's flux working rows.
void ComputeRowFluxes(const StepRows& w, int i, int rowCount, int count, const StepConstants& c) {
    const GatheredRow& g = w.ring[i % kRingRows];
    DerivativeAlongRow(g.u, count, c.deltaY, w.dUdY);
    DerivativeAlongRow(g.v, count, c.deltaY, w.dVdY);
    DerivativeAlongRow(g.t, count, c.deltaY, w.dTdY);
    DerivativeAcrossRows(w, &GatheredRow::u, i, rowCount, count, c.deltaX, w.dUdX);
    DerivativeAcrossRows(w, &GatheredRow::v, i, rowCount, count, c.deltaX, w.dVdX);
    DerivativeAcrossRows(w, &GatheredRow::t, i, rowCount, count, c.deltaX, w.dTdX);

    const double* const dUdX = w.dUdX;
    const double* const dUdY = w.dUdY;
    const double* const dVdX = w.dVdX;
    const double* const dVdY = w.dVdY;
    const double* const dTdX = w.dTdX;
    const double* const dTdY = w.dTdY;
    const GatheredRow s = g;
    double* const e0 = w.e[i % kFluxRows][0];
    double* const e1 = w.e[i % kFluxRows][1];
    double* const e2 = w.e[i % kFluxRows][2];
    double* const e3 = w.e[i % kFluxRows][3];
    double* const f0 = w.f[i % kFluxRows][0];
    double* const f1 = w.f[i % kFluxRows][1];
    double* const f2 = w.f[i % kFluxRows][2];
    double* const f3 = w.f[i % kFluxRows][3];
    NEMBRA_VECTOR_LOOP
    for (int j = 0; j < count; ++j) {
        double tauXX = 0;
        double tauXY = 0;
        double tauYY = 0;
        StokesStress(tauXX, tauXY, tauYY, dUdX[j], dUdY[j], dVdX[j], dVdY[j], s.mu[j]);
        const double qX = -(s.k[j] * dTdX[j]);
        const double qY = -(s.k[j] * dTdY[j]);
        const double rho = s.rho[j];
        const double u = s.u[j];
        const double v = s.v[j];
        const double p = s.p[j];
        const double et = s.et[j];
        // The shear term of E[2] and F[1] is one and the same number.
        const double shear = rho * u * v - tauXY;
        e0[j] = rho * u;
        e1[j] = rho * u * u + p - tauXX;
        e2[j] = shear;
        e3[j] = (et + p - tauXX) * u - tauXY * v + qX;
        f0[j] = rho * v;
        f1[j] = shear;
        f2[j] = rho * v * v + p - tauYY;
        f3[j] = (et + p - tauYY) * v - tauXY * u + qY;
    }
}

// Density and total energy cannot be negative; the momenta keep their sign.
void MakeDensityAndEnergyPositive(const RowResults& r, int begin, int end) {
    double* const rho = r.updated[0];
    double* const et = r.updated[3];
    NEMBRA_VECTOR_LOOP
    for (int j = begin; j < end; ++j) {
        rho[j] = std::fabs(rho[j]);
        et[j] = std::fabs(et[j]);
    }
}

// out[j] = std::pow(x[j], 1.5) for j = begin .. end-1: the shortcut in a vector loop, then
// the libm calls that remain in one tight loop of their own.
void PowersThreeHalves(const double* x, double* out, int begin, int end) {
    if (detail::kPowerThreeHalvesShortcut) {
        NEMBRA_VECTOR_LOOP
        for (int j = begin; j < end; ++j) {
            out[j] = detail::PowerThreeHalvesOrNaN(x[j]);
        }
    }
    // The nodes left to pow are listed without a branch per node: about one in eight, at random,
    // would defeat branch prediction.
    constexpr int kChunk = 64;
    int pending[kChunk];
    for (int first = begin; first < end; first += kChunk) {
        const int last = std::min(first + kChunk, end);
        int count = 0;
        for (int j = first; j < last; ++j) {
            pending[count] = j;
            count += !detail::kPowerThreeHalvesShortcut || std::isnan(out[j]) ? 1 : 0;
        }
        for (int k = 0; k < count; ++k) {
            out[pending[k]] = std::pow(x[pending[k]], 1.5);
        }
    }
}

double Magnitude(double value) {
    return std::fabs(value);
}

#ifdef NEMBRA_NODE_BLOCKS
NEMBRA_BLOCK_HELPER Double4 Magnitude(Double4 values) {
    return Abs(values);
}
#endif

// The primitives of one node's conserved vector, or of four nodes' at once.
template <class Value>
struct Primitives {
    Value u;
    Value v;
    Value eint;
    Value t;
    Value p;
    Value ratio;  // temperature over the reference temperature
};

// The first node after the whole blocks of four that fit in begin .. end-1.
int EndOfBlocks(int begin, int end) {
    return end <= begin ? begin : begin + (end - begin) / kBlockNodes * kBlockNodes;
}

// Primitives and transport values of the conserved vectors in r.updated (density and total
// energy already made positive), nodes begin .. end-1, as the step's decoding specifies them.
// `betweenBlocks(j)` runs after each block of four nodes from j on: the caller writes back the
// previous row's block j there, so that those stores overlap this row's divisions.
template <class BetweenBlocks>
void DecodeConservedRow(const StepRows& w, const RowResults& r, int begin, int end,
                        const StepConstants& c, BetweenBlocks betweenBlocks) {
    const FourRows q(r.updated);
    double* const uOut = r.u;
    double* const vOut = r.v;
    double* const eintOut = r.eint;
    double* const tOut = r.t;
    double* const pOut = r.p;
    double* const ratioOut = w.ratio;
    const auto decode = [&c](auto rho, auto rhoU, auto rhoV, auto et) {
        const auto u = rhoU / rho;
        const auto v = rhoV / rho;
        const auto eint = Magnitude(et / rho - (u * u + v * v) * 0.5);
        const auto T = Magnitude(eint / c.cv);
        const auto p = Magnitude(rho * c.gasConstant * T);
        // T is already positive: Sutherland's |T| is T itself.
        const auto ratio = T / c.tRef;
        return Primitives<decltype(rho)>{u, v, eint, T, p, ratio};
    };
    const auto decodeNode = [&](int j) {
        const Primitives<double> d = decode(q.r0[j], q.r1[j], q.r2[j], q.r3[j]);
        uOut[j] = d.u;
        vOut[j] = d.v;
        eintOut[j] = d.eint;
        tOut[j] = d.t;
        pOut[j] = d.p;
        ratioOut[j] = d.ratio;
    };
    const int blocksEnd = EndOfBlocks(begin, end);
    for (int j = begin; j < blocksEnd; j += kBlockNodes) {
#ifdef NEMBRA_NODE_BLOCKS
        const Primitives<Double4> d =
            decode(LoadRow(q.r0, j), LoadRow(q.r1, j), LoadRow(q.r2, j), LoadRow(q.r3, j));
        StoreRow(uOut, j, d.u);
        StoreRow(vOut, j, d.v);
        StoreRow(eintOut, j, d.eint);
        StoreRow(tOut, j, d.t);
        StoreRow(pOut, j, d.p);
        StoreRow(ratioOut, j, d.ratio);
#else
        for (int k = j; k < j + kBlockNodes; ++k) {
            decodeNode(k);
        }
#endif
        betweenBlocks(j);
    }
    for (int j = blocksEnd; j < end; ++j) {
        decodeNode(j);
    }
    PowersThreeHalves(ratioOut, w.power, begin, end);
    const double* const powerOut = w.power;
    double* const muOut = r.mu;
    double* const kOut = r.k;
    const double sutherlandNumerator = c.tRef + 110;
    NEMBRA_VECTOR_LOOP
    for (int j = begin; j < end; ++j) {
        const double mu = std::fabs(powerOut[j] * c.muRef * sutherlandNumerator / (tOut[j] + 110));
        muOut[j] = mu;
        kOut[j] = std::fabs(mu * c.cp / c.prandtl);
    }
}

// Phase 2 at the interior nodes of row i: forward differences of the fluxes of rows i and i+1.
template <class BetweenBlocks>
void PredictRow(const StepRows& w, int i, int count, const StepConstants& c,
                BetweenBlocks betweenBlocks) {
    const int end = count - 1;
    const GatheredRow& g = w.ring[i % kRingRows];
    const RowResults& r = w.results[i % kResultRows];
    for (int n = 0; n < 4; ++n) {
        const double* en = w.e[i % kFluxRows][n];
        const double* enNext = w.e[(i + 1) % kFluxRows][n];
        const double* fn = w.f[i % kFluxRows][n];
        const double* qn = g.q[n];
        double* dudt = r.dudt[n];
        double* qp = r.updated[n];
        NEMBRA_VECTOR_LOOP
        for (int j = 1; j < end; ++j) {
            dudt[j] = -((enNext[j] - en[j]) / c.deltaX + (fn[j + 1] - fn[j]) / c.deltaY);
            qp[j] = qn[j] + dudt[j] * c.deltaT;
        }
    }
    MakeDensityAndEnergyPositive(r, 1, end);
    DecodeConservedRow(w, r, 1, end, c, betweenBlocks);
}

// Phase 5 at the interior nodes of row i: the average of the current state and the predicted
// state advanced by rearward differences of the predicted fluxes of rows i-1 and i.
template <class BetweenBlocks>
void CorrectRow(const StepRows& w, int i, int count, const StepConstants& c,
                BetweenBlocks betweenBlocks) {
    const int end = count - 1;
    const GatheredRow& g = w.ring[i % kRingRows];
    const RowResults& r = w.results[i % kResultRows];
    for (int n = 0; n < 4; ++n) {
        const double* en = w.e[i % kFluxRows][n];
        const double* enPrevious = w.e[(i + kFluxRows - 1) % kFluxRows][n];
        const double* fn = w.f[i % kFluxRows][n];
        const double* qn = g.q[n];
        const double* qpn = g.qp[n];
        double* corrected = r.updated[n];
        NEMBRA_VECTOR_LOOP
        for (int j = 1; j < end; ++j) {
            corrected[j] =
                0.5 * ((qpn[j] + qn[j]) - c.deltaT * ((fn[j] - fn[j - 1]) / c.deltaY +
                                                      (en[j] - enPrevious[j]) / c.deltaX));
        }
    }
    MakeDensityAndEnergyPositive(r, 1, end);
    DecodeConservedRow(w, r, 1, end, c, betweenBlocks);
}

// Nothing to do between the blocks of a row's decoding.
struct NoBlockWork {
    void operator()(int /*j*/) const {}
};

// The walk over a row that both phases' writers share. `Writer` supplies WriteFluxes(j), for
// every node, and WriteBlock(j) and WriteNode(j), for the interior nodes of an interior row.
template <class Writer>
class RowWriter {
public:
    // An edge row: the fluxes only.
    void WriteEdgeRow() const {
        for (int j = 0; j < count_; ++j) {
            self().WriteFluxes(j);
        }
    }

    void WriteInteriorRow() const {
        const int blocksEnd = EndOfBlocks(1, count_ - 1);
        for (int j = 1; j < blocksEnd; j += kBlockNodes) {
            self().WriteBlock(j);
        }
        WriteRest(blocksEnd);
    }

    // What the blocks leave of an interior row: the edge nodes' fluxes and the interior nodes
    // from `from` on.
    void WriteRest(int from) const {
        self().WriteFluxes(0);
        self().WriteFluxes(count_ - 1);
        for (int j = from; j < count_ - 1; ++j) {
            self().WriteNode(j);
        }
    }

protected:
    RowWriter(Node* row, int count, const StepRows& w, int i)
        : row_(row),
          count_(count),
          e_(w.e[i % kFluxRows]),
          f_(w.f[i % kFluxRows]),
          d_(w.results[i % kResultRows]) {}

    Node* row_;
    int count_;
    FourRows e_;
    FourRows f_;
    RowResults d_;

private:
    const Writer& self() const { return static_cast<const Writer&>(*this); }
};

// Writes a row's predictor results back into its records: the fluxes at every node and, on an
// interior row, the time derivative and the predicted state of the interior nodes.
class PredictorRowWriter : public RowWriter<PredictorRowWriter> {
public:
    PredictorRowWriter(Node* row, int count, const StepRows& w, int i)
        : RowWriter(row, count, w, i), dudt_(d_.dudt), qp_(d_.updated) {}

    // Interior nodes j .. j+3 of an interior row.
    NEMBRA_ALWAYS_INLINE void WriteBlock(int j) const {
#ifdef NEMBRA_NODE_BLOCKS
        Node* nodes = row_ + j;
        if (j + kWriteLookahead + kBlockNodes <= count_) {
            PrefetchForWriting(nodes + kWriteLookahead, kBlockNodes, offsetof(Node, UProspect),
                               offsetof(Node, FluxEProspect));
        }
        StoreBlock(nodes, offsetof(Node, FluxE), RowsAt(e_, j));
        StoreBlock(nodes, offsetof(Node, FluxF), RowsAt(f_, j));
        StoreBlock(nodes, offsetof(Node, DUDt), RowsAt(dudt_, j));
        StoreBlock(nodes, offsetof(Node, QProspect), RowsAt(qp_, j));
        StoreBlock(nodes, offsetof(Node, UProspect),
                   {{ LoadRow(d_.u, j),
                      LoadRow(d_.v, j),
                      LoadRow(d_.eint, j),
                      LoadRow(d_.t, j) }});
        StoreBlock(nodes, offsetof(Node, RhoProspect),
                   {{ LoadRow(qp_.r0, j),
                      LoadRow(d_.p, j),
                      LoadRow(qp_.r3, j),
                      LoadRow(d_.mu, j) }});
        for (int k = 0; k < kBlockNodes; ++k) {
            nodes[k].KProspect = d_.k[j + k];
        }
#else
        for (int k = j; k < j + kBlockNodes; ++k) {
            WriteNode(k);
        }
#endif
    }

    void WriteFluxes(int j) const {
        e_.CopyTo(row_[j].FluxE, j);
        f_.CopyTo(row_[j].FluxF, j);
    }

    void WriteNode(int j) const {
        Node& n = row_[j];
        WriteFluxes(j);
        dudt_.CopyTo(n.DUDt, j);
        qp_.CopyTo(n.QProspect, j);
        n.RhoProspect = qp_.r0[j];
        n.UProspect = d_.u[j];
        n.VProspect = d_.v[j];
        n.EtProspect = qp_.r3[j];
        n.EintProspect = d_.eint[j];
        n.TProspect = d_.t[j];
        n.PProspect = d_.p[j];
        n.MuProspect = d_.mu[j];
        n.KProspect = d_.k[j];
    }

private:
    FourRows dudt_;
    FourRows qp_;
};

// Writes a row's corrector results back into its records: the predicted fluxes at every node
// and, on an interior row, the new state of the interior nodes.
class CorrectorRowWriter : public RowWriter<CorrectorRowWriter> {
public:
    CorrectorRowWriter(Node* row, int count, const StepRows& w, int i)
        : RowWriter(row, count, w, i), q_(d_.updated) {}

    // Interior nodes j .. j+3 of an interior row.
    NEMBRA_ALWAYS_INLINE void WriteBlock(int j) const {
#ifdef NEMBRA_NODE_BLOCKS
        Node* nodes = row_ + j;
        if (j + kWriteLookahead + kBlockNodes <= count_) {
            PrefetchForWriting(nodes + kWriteLookahead, kBlockNodes, offsetof(Node, Rho),
                               offsetof(Node, UProspect));
            PrefetchForWriting(nodes + kWriteLookahead, kBlockNodes, offsetof(Node, FluxEProspect),
                               sizeof(Node));
        }
        StoreBlock(nodes, offsetof(Node, FluxEProspect), RowsAt(e_, j));
        StoreBlock(nodes, offsetof(Node, FluxFProspect), RowsAt(f_, j));
        StoreBlock(nodes, offsetof(Node, Rho), RowsAt(q_, j));
        StoreBlock(nodes, offsetof(Node, U),
                   {{ LoadRow(d_.u, j),
                      LoadRow(d_.v, j),
                      LoadRow(d_.eint, j),
                      LoadRow(d_.t, j) }});
        for (int k = 0; k < kBlockNodes; ++k) {
            nodes[k].P = d_.p[j + k];
            nodes[k].Mu = d_.mu[j + k];
            nodes[k].K = d_.k[j + k];
        }
#else
        for (int k = j; k < j + kBlockNodes; ++k) {
            WriteNode(k);
        }
#endif
    }

    void WriteFluxes(int j) const {
        e_.CopyTo(row_[j].FluxEProspect, j);
        f_.CopyTo(row_[j].FluxFProspect, j);
    }

    void WriteNode(int j) const {
        Node& n = row_[j];
        WriteFluxes(j);
        n.Rho = q_.r0[j];
        n.RhoU = q_.r1[j];
        n.RhoV = q_.r2[j];
        n.U = d_.u[j];
        n.V = d_.v[j];
        n.Et = q_.r3[j];
        n.Eint = d_.eint[j];
        n.T = d_.t[j];
        n.P = d_.p[j];
        n.Mu = d_.mu[j];
        n.K = d_.k[j];
    }

private:
    FourRows q_;
};

// Updates interior row i with `update` (PredictRow or CorrectRow) and, if row i-1 is interior
// too, writes row i-1 back with `Writer` block by block in between.
template <class Writer, class Update>
void UpdateRowWritingPrevious(Node** mesh, const StepRows& w, int i, int count,
                              const Update& update) {
    if (i - 1 < 1) {
        update(NoBlockWork{});
        return;
    }
    const Writer previous(mesh[i - 1], count, w, i - 1);
    update([previous](int j) { previous.WriteBlock(j); });
    previous.WriteRest(EndOfBlocks(1, count - 1));
}

}  // namespace

bool NavierStokesEquations2D::AllocateStepScratch(double*& scratch, int nodesPerRow) {
    scratch = nullptr;
    if (nodesPerRow <= 0) {
        return true;
    }
    const std::size_t stride = StepRowStride(nodesPerRow);
    if (stride > PTRDIFF_MAX / sizeof(double) / kStepArrayCount) {
        return false;
    }
    scratch = new (std::nothrow) double[stride * kStepArrayCount];
    return scratch != nullptr;
}

void NavierStokesEquations2D::MacCormack(_MeshNode**& mesh, int /*imax*/, int /*jmax*/) {
    // The sweeps always cover this solver's own mesh, whatever sizes a caller hands in.
    if (mesh != MeshNodes || !HoldsNodes()) {
        return;
    }
    const StepRows w = MapStepRows(StepScratch, JMax);
    const StepConstants c{DeltaX, DeltaY, DeltaT, Cv, GasConstant, TRef, MuRef, Cp, Prandtl};

    // Phases 1 and 2: the fluxes of the current state at every node, and the predicted state of
    // the interior one row behind the fluxes it differences. Each interior row is written back
    // while the next one is decoded.
    int lastGathered = -1;
    for (int i = 0; i < IMax; ++i) {
        GatherRowsFor(MeshNodes, i, IMax, JMax, w, GatherCurrentRow, lastGathered);
        ComputeRowFluxes(w, i, IMax, JMax, c);
        const int updated = i - 1;  // the row whose update the fluxes of row i complete
        if (updated == 0) {
            PredictorRowWriter(MeshNodes[0], JMax, w, 0).WriteEdgeRow();
        } else if (updated >= 1) {
            UpdateRowWritingPrevious<PredictorRowWriter>(
                MeshNodes, w, updated, JMax,
                [&](auto betweenBlocks) { PredictRow(w, updated, JMax, c, betweenBlocks); });
        }
    }
    if (IMax - 2 >= 1) {
        PredictorRowWriter(MeshNodes[IMax - 2], JMax, w, IMax - 2).WriteInteriorRow();
    }
    PredictorRowWriter(MeshNodes[IMax - 1], JMax, w, IMax - 1).WriteEdgeRow();

    // Phase 3: the predicted edge values. A replacement may read and write any node, so the
    // corrector reads the predicted state afresh from the records.
    BoundaryConditionsProspect2(mesh);

    // Phases 4 and 5: the fluxes of the predicted state at every node, and the new state of the
    // interior as soon as the fluxes of its row are known, written back like the predictor's.
    lastGathered = -1;
    for (int i = 0; i < IMax; ++i) {
        GatherRowsFor(MeshNodes, i, IMax, JMax, w, GatherPredictedRow, lastGathered);
        ComputeRowFluxes(w, i, IMax, JMax, c);
        if (i >= 1 && i < IMax - 1) {
            UpdateRowWritingPrevious<CorrectorRowWriter>(
                MeshNodes, w, i, JMax,
                [&](auto betweenBlocks) { CorrectRow(w, i, JMax, c, betweenBlocks); });
            continue;
        }
        if (i == IMax - 1 && i - 1 >= 1) {
            CorrectorRowWriter(MeshNodes[i - 1], JMax, w, i - 1).WriteInteriorRow();
        }
        CorrectorRowWriter(MeshNodes[i], JMax, w, i).WriteEdgeRow();
    }
}

// ---------------------------------------------------------------------------------------------
// Stepping driver

bool NavierStokesEquations2D::ValueAvailability(double& value) {
    return std::isfinite(value);
}

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

}  // namespace Nembra
