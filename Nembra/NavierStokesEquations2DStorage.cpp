// The flow solver's construction, copies and moves, and the storage of its mesh and working
// rows: every failed allocation is announced and leaves a solver that holds no mesh.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "Nembra/MessageBox.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra {
namespace {

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

using Node = NavierStokesEquations2D::_MeshNode;

// A row of records starting on a cache line (the step's writers fill whole lines of it), every
// slot 0.0; null when it cannot be had.
Node* AllocateRow(int nodesPerRow) {
    const auto count = static_cast<std::size_t>(nodesPerRow);
    void* storage = ::operator new[](count * sizeof(Node),
                                     std::align_val_t{step::kRecordRowAlignment}, std::nothrow);
    if (storage == nullptr) {
        return nullptr;
    }
    Node* row = static_cast<Node*>(storage);
    std::uninitialized_value_construct_n(row, count);
    return row;
}

void ReleaseRow(Node* row) {
    ::operator delete[](row, std::align_val_t{step::kRecordRowAlignment});
}

}  // namespace

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
    // The working rows are the row-wise step's own arrangement: without them the solver keeps
    // its mesh and steps node by node (MacCormack), so nothing is announced.
    if (MeshNodes != nullptr) {
        AllocateStepScratch(StepScratch, JMax);
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

// A mesh of its own with the same contents as other's, and working rows for it when they can be
// had, or none when other holds none. False when the mesh could not be had (announced).
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
    AllocateStepScratch(scratch, other.JMax);
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
        rows[r] = rowFits ? AllocateRow(nodesPerRow) : nullptr;
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
        ReleaseRow(rows[r]);
        rows[r] = nullptr;
    }
    delete[] rows;
    rows = nullptr;
}

void NavierStokesEquations2D::AllocateStorageError() {
    detail::ShowMemoryErrorBox();
}

bool NavierStokesEquations2D::AllocateStepScratch(double*& scratch, int nodesPerRow) {
    return step::AllocateWorkingRows(scratch, nodesPerRow);
}

}  // namespace Nembra
