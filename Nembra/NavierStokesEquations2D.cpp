#include "Nembra/NavierStokesEquations2D.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

#include "Nembra/MessageBox.h"

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

constexpr char kMemoryErrorText[] = "分配内存出错";

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

// The six gradients (dU/dx, dU/dy, dV/dx, dV/dy, dT/dx, dT/dy) of one state of a node.
struct Gradients {
    double dUdX, dUdY, dVdX, dVdY, dTdX, dTdY;
};

// The primitive and transport values of one state of a node that its fluxes are built from.
struct FluxInputs {
    double rho, u, v, p, et, mu, k;
};

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
      SoundFactor(0.0) {
    ComputeDerivedMembers();
    AllocateMeshNodesSpace(MeshNodes, IMax, JMax);
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
    DeltaX = std::fabs(LengthX / (IMax - 1));
    DeltaY = std::fabs(LengthY / (JMax - 1));
}

NavierStokesEquations2D::NavierStokesEquations2D(const NavierStokesEquations2D& other)
    : MeshNodes(nullptr) {
    CopySettingsFrom(other);
    if (!DuplicateMeshOf(other, MeshNodes)) {
        IMax = 0;
        JMax = 0;
    }
}

NavierStokesEquations2D::NavierStokesEquations2D(NavierStokesEquations2D&& other) noexcept
    : MeshNodes(nullptr) {
    CopySettingsFrom(other);
    TakeMeshOf(other);
}

NavierStokesEquations2D& NavierStokesEquations2D::operator=(const NavierStokesEquations2D& other) {
    if (this == &other) {
        return *this;
    }
    // Duplicate first: if that fails this solver keeps everything it had.
    _MeshNode** copy = nullptr;
    if (!DuplicateMeshOf(other, copy)) {
        return *this;
    }
    ReleaseMeshNodes(MeshNodes, IMax, JMax);
    CopySettingsFrom(other);
    MeshNodes = copy;
    return *this;
}

NavierStokesEquations2D& NavierStokesEquations2D::operator=(
    NavierStokesEquations2D&& other) noexcept {
    if (this != &other) {
        ReleaseMeshNodes(MeshNodes, IMax, JMax);
        CopySettingsFrom(other);
        TakeMeshOf(other);
    }
    return *this;
}

NavierStokesEquations2D::~NavierStokesEquations2D() {
    ReleaseMeshNodes(MeshNodes, IMax, JMax);
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

// A mesh of its own with the same contents as other's, or none when other holds none. False
// when the storage could not be had (announced by the allocation).
bool NavierStokesEquations2D::DuplicateMeshOf(const NavierStokesEquations2D& other,
                                              _MeshNode**& copy) {
    copy = nullptr;
    if (other.MeshNodes == nullptr) {
        return true;
    }
    AllocateMeshNodesSpace(copy, other.IMax, other.JMax);
    if (copy == nullptr) {
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

void NavierStokesEquations2D::AllocateMeshNodesSpace(_MeshNode**& rows, int rowCount,
                                                     int nodesPerRow) {
    rows = FitsAllocation(rowCount, sizeof(_MeshNode*))
               ? new (std::nothrow) _MeshNode*[static_cast<std::size_t>(rowCount)]
               : nullptr;
    if (rows == nullptr) {
        detail::ShowMessageBox("1", "AllocateMeshNodesSpace 1");
        detail::ShowMessageBox(kMemoryErrorText, kMemoryErrorText);
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
            detail::ShowMessageBox("2", "AllocateMeshNodesSpace 2");
            detail::ShowMessageBox(kMemoryErrorText, kMemoryErrorText);
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
    detail::ShowMessageBox(kMemoryErrorText, kMemoryErrorText);
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

}  // namespace

void NavierStokesEquations2D::BoundaryConditions2(_MeshNode**& /*mesh*/) {
    if (!HoldsNodes()) {
        return;
    }
    const auto complete = [this](Node& n, double u, double v, double T, double p) {
        SetMeshNodeValue(n, u, v, T, p);
    };
    ForEachClosedBoxEdgeNode(MeshNodes, IMax, JMax, [&](Node& node) {
        LayNode(node, 0, 0, kRestTemperature, kRestPressure, complete);
    });
}

void NavierStokesEquations2D::BoundaryConditionsProspect2(_MeshNode**& /*mesh*/) {
    if (!HoldsNodes()) {
        return;
    }
    const auto complete = [this](Node& n, double u, double v, double T, double p) {
        SetMeshNodeValueProspect(n, u, v, T, p);
    };
    ForEachClosedBoxEdgeNode(MeshNodes, IMax, JMax, [&](Node& node) {
        LayNodeProspect(node, 0, 0, kRestTemperature, kRestPressure, complete);
    });
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

}  // namespace

void NavierStokesEquations2D::Extrapolation(_MeshNode**& mesh, int i, int j, bool alongX) {
    if (mesh == nullptr || !HoldsNodes()) {
        return;
    }
    int nearIndex = 0;
    int farIndex = 0;
    if (alongX) {
        if (j >= 0 && j < JMax && ExtrapolationNeighbours(i, IMax, nearIndex, farIndex)) {
            Extrapolation(mesh[i][j], mesh[nearIndex][j], mesh[farIndex][j]);
        }
    } else if (i >= 0 && i < IMax && ExtrapolationNeighbours(j, JMax, nearIndex, farIndex)) {
        Extrapolation(mesh[i][j], mesh[i][nearIndex], mesh[i][farIndex]);
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
    if (mesh == nullptr || !HoldsNodes()) {
        return;
    }
    int nearIndex = 0;
    int farIndex = 0;
    if (alongX) {
        if (j >= 0 && j < JMax && ExtrapolationNeighbours(i, IMax, nearIndex, farIndex)) {
            ExtrapolationProspect(mesh[i][j], mesh[nearIndex][j], mesh[farIndex][j]);
        }
    } else if (i >= 0 && i < IMax && ExtrapolationNeighbours(j, JMax, nearIndex, farIndex)) {
        ExtrapolationProspect(mesh[i][j], mesh[i][nearIndex], mesh[i][farIndex]);
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

// ---------------------------------------------------------------------------------------------
// Time step

double NavierStokesEquations2D::CalculateTimeStep(_MeshNode** rows, int rowCount, int nodesPerRow) {
    if (!TimeStepCoefficientsReady) {
        SpacingCoefficient = 1 / (DeltaX * DeltaX) + 1 / (DeltaY * DeltaY);
        ViscousFactor = std::fabs((Gamma * 4) / (Prandtl * 3));
        SoundFactor = Gamma * GasConstant;
        TimeStepCoefficientsReady = true;
    }
    if (rows == nullptr) {
        rowCount = 0;
    }

    // Viscous diffusion is limited by the most diffusive node of the whole mesh.
    double largestDiffusivity = 0;
    for (int i = 0; i < rowCount; ++i) {
        for (int j = 0; j < nodesPerRow; ++j) {
            const _MeshNode& n = rows[i][j];
            const double diffusivity = (n.Mu * ViscousFactor) / n.Rho;
            if (diffusivity > largestDiffusivity) {
                largestDiffusivity = diffusivity;
            }
        }
    }

    // Courant limit of convection, sound and diffusion at each node; the smallest one wins.
    // A negative value means that no node has been taken yet.
    double smallest = -1;
    for (int i = 0; i < rowCount; ++i) {
        for (int j = 0; j < nodesPerRow; ++j) {
            const _MeshNode& n = rows[i][j];
            const double acoustic =
                std::sqrt(std::fabs(n.T * SoundFactor)) * std::sqrt(std::fabs(SpacingCoefficient));
            const double convective = std::fabs(n.U) / DeltaX + std::fabs(n.V) / DeltaY;
            const double viscous = 2 * largestDiffusivity * SpacingCoefficient;
            const double nodeStep = Courant / (acoustic + convective + viscous);
            if (smallest < 0) {
                smallest = nodeStep;
            }
            if (smallest > nodeStep) {
                smallest = nodeStep;
            }
        }
    }
    DeltaT = smallest;
    return smallest;
}

// ---------------------------------------------------------------------------------------------
// MacCormack step

namespace {

// Flux vectors E (along x) and F (along y) of one state, with the viscous stresses and the
// heat flux of that state's gradients.
void StoreFluxes(double* E, double* F, const FluxInputs& s, const Gradients& g) {
    double tauXX = 0;
    double tauXY = 0;
    double tauYY = 0;
    StokesStress(tauXX, tauXY, tauYY, g.dUdX, g.dUdY, g.dVdX, g.dVdY, s.mu);
    const double qX = -(s.k * g.dTdX);
    const double qY = -(s.k * g.dTdY);
    E[0] = s.rho * s.u;
    E[1] = s.rho * s.u * s.u + s.p - tauXX;
    E[2] = s.rho * s.u * s.v - tauXY;
    E[3] = (s.et + s.p - tauXX) * s.u - tauXY * s.v + qX;
    F[0] = s.rho * s.v;
    F[1] = s.rho * s.u * s.v - tauXY;
    F[2] = s.rho * s.v * s.v + s.p - tauYY;
    F[3] = (s.et + s.p - tauYY) * s.v - tauXY * s.u + qY;
}

}  // namespace

void NavierStokesEquations2D::MacCormack(_MeshNode**& mesh, int /*imax*/, int /*jmax*/) {
    // The sweeps always cover this solver's own mesh, whatever sizes a caller hands in.
    if (mesh != MeshNodes || !HoldsNodes()) {
        return;
    }
    ComputePredictorFluxes();
    Predict();
    BoundaryConditionsProspect2(mesh);
    ComputeCorrectorFluxes();
    Correct();
}

// Phase 1: E and F of the current state at every node.
void NavierStokesEquations2D::ComputePredictorFluxes() {
    for (int i = 0; i < IMax; ++i) {
        for (int j = 0; j < JMax; ++j) {
            _MeshNode& n = MeshNodes[i][j];
            Gradients g{};
            PartialDerivatives(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, MeshNodes, i, j);
            const FluxInputs s{std::fabs(n.Rho), n.U,  n.V, std::fabs(n.P),
                               std::fabs(n.Et),  n.Mu, n.K};
            StoreFluxes(n.FluxE, n.FluxF, s, g);
        }
    }
}

// Phase 2: the predicted state of the interior, from forward differences of the fluxes.
void NavierStokesEquations2D::Predict() {
    for (int i = 1; i < IMax - 1; ++i) {
        for (int j = 1; j < JMax - 1; ++j) {
            _MeshNode& n = MeshNodes[i][j];
            const _MeshNode& east = MeshNodes[i + 1][j];
            const _MeshNode& north = MeshNodes[i][j + 1];
            const double Q[4] = {n.Rho, n.RhoU, n.RhoV, n.Et};
            for (int c = 0; c < 4; ++c) {
                n.DUDt[c] = -((east.FluxE[c] - n.FluxE[c]) / DeltaX +
                              (north.FluxF[c] - n.FluxF[c]) / DeltaY);
                n.QProspect[c] = Q[c] + n.DUDt[c] * DeltaT;
            }
            // Density and total energy cannot be negative; the momenta keep their sign.
            n.QProspect[0] = std::fabs(n.QProspect[0]);
            n.QProspect[3] = std::fabs(n.QProspect[3]);

            n.RhoProspect = n.QProspect[0];
            n.UProspect = n.QProspect[1] / n.RhoProspect;
            n.VProspect = n.QProspect[2] / n.RhoProspect;
            n.EtProspect = n.QProspect[3];
            n.EintProspect =
                std::fabs(n.EtProspect / n.RhoProspect -
                          (n.UProspect * n.UProspect + n.VProspect * n.VProspect) * 0.5);
            n.TProspect = std::fabs(n.EintProspect / Cv);
            n.PProspect = std::fabs(n.RhoProspect * GasConstant * n.TProspect);
            n.MuProspect = Sutherland(n.TProspect, TRef, MuRef);
            n.KProspect = std::fabs(n.MuProspect * Cp / Prandtl);
        }
    }
}

// Phase 4: E and F of the predicted state at every node.
void NavierStokesEquations2D::ComputeCorrectorFluxes() {
    for (int i = 0; i < IMax; ++i) {
        for (int j = 0; j < JMax; ++j) {
            _MeshNode& n = MeshNodes[i][j];
            Gradients g{};
            PartialDerivativesProspect(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, MeshNodes, i,
                                       j);
            const FluxInputs s{
                std::fabs(n.QProspect[0]), n.UProspect,  n.VProspect, std::fabs(n.PProspect),
                std::fabs(n.EtProspect),   n.MuProspect, n.KProspect};
            StoreFluxes(n.FluxEProspect, n.FluxFProspect, s, g);
        }
    }
}

// Phase 5: the new state of the interior, the average of the current state and the predicted
// state advanced by rearward differences of the predicted fluxes.
void NavierStokesEquations2D::Correct() {
    for (int i = 1; i < IMax - 1; ++i) {
        for (int j = 1; j < JMax - 1; ++j) {
            _MeshNode& n = MeshNodes[i][j];
            const _MeshNode& west = MeshNodes[i - 1][j];
            const _MeshNode& south = MeshNodes[i][j - 1];
            const double Q[4] = {n.Rho, n.RhoU, n.RhoV, n.Et};
            double corrected[4];
            for (int c = 0; c < 4; ++c) {
                corrected[c] =
                    0.5 * ((n.QProspect[c] + Q[c]) -
                           DeltaT * ((n.FluxFProspect[c] - south.FluxFProspect[c]) / DeltaY +
                                     (n.FluxEProspect[c] - west.FluxEProspect[c]) / DeltaX));
            }
            n.Rho = std::fabs(corrected[0]);
            n.RhoU = corrected[1];
            n.RhoV = corrected[2];
            n.U = n.RhoU / n.Rho;
            n.V = n.RhoV / n.Rho;
            n.Et = std::fabs(corrected[3]);
            n.Eint = std::fabs(n.Et / n.Rho - 0.5 * (n.U * n.U + n.V * n.V));
            n.T = std::fabs(n.Eint / Cv);
            n.P = std::fabs(n.Rho * GasConstant * n.T);
            n.Mu = Sutherland(n.T, TRef, MuRef);
            n.K = std::fabs(n.Mu * Cp / Prandtl);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Stepping driver

bool NavierStokesEquations2D::ValueAvailability(double& value) {
    return std::isfinite(value);
}

// The last row and the last node of every row are not checked.
void NavierStokesEquations2D::ReportUnusableValues() {
    for (int i = 0; i < IMax - 1; ++i) {
        for (int j = 0; j < JMax - 1; ++j) {
            _MeshNode& n = MeshNodes[i][j];
            const bool usable = ValueAvailability(n.Rho) && ValueAvailability(n.U) &&
                                ValueAvailability(n.V) && ValueAvailability(n.Et) &&
                                ValueAvailability(n.Eint) && ValueAvailability(n.K) &&
                                ValueAvailability(n.Mu) && ValueAvailability(n.P);
            if (!usable) {
                std::printf("error:value'error");
            }
        }
    }
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
        CalculateTimeStep(MeshNodes, IMax, JMax);
        ReportUnusableValues();
        MacCormack(MeshNodes, IMax, JMax);
        BoundaryConditions2(MeshNodes);
    }
    ++StepCount;
}

}  // namespace Nembra
