#include "Nembra/SupersonicFlatPlate.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <utility>

#include "Nembra/MessageBox.h"

namespace Nembra {

namespace {

constexpr double kNoStepYet = std::numeric_limits<double>::infinity();

std::size_t NodeCount(int imax, int jmax) {
    return imax > 0 && jmax > 0 ? static_cast<std::size_t>(imax) * static_cast<std::size_t>(jmax)
                                : 0;
}

// Largest |rho - previous| over the mesh (previous in row order), or NaN as soon as one node's
// change is NaN: a broken field must never pass for a settled one.
double LargestChange(NavierStokesEquations2D::_MeshNode** mesh, int imax, int jmax,
                     const double* previous) {
    double largest = 0;
    std::size_t k = 0;
    for (int i = 0; i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            const double change = std::fabs(mesh[i][j].Rho - previous[k++]);
            if (std::isnan(change)) {
                return change;
            }
            if (change > largest) {
                largest = change;
            }
        }
    }
    return largest;
}

// Storage for `count` densities; null when count is 0 or the storage cannot be had.
std::unique_ptr<double[]> NewDensities(std::size_t count) {
    return std::unique_ptr<double[]>(count > 0 ? new (std::nothrow) double[count] : nullptr);
}

}  // namespace

SupersonicFlatPlate::SupersonicFlatPlate(WallCondition wall)
    : Wall(wall),
      LargestDensityChange(kNoStepYet),
      PreviousDensityCount(0),
      PreviousDensitiesValid(false) {
    HoldDensitiesForOwnMesh();
}

SupersonicFlatPlate::SupersonicFlatPlate(int imax, int jmax, double lengthX, int maxStepCount,
                                         WallCondition wall)
    : NavierStokesEquations2D(imax, jmax, lengthX, maxStepCount),
      Wall(wall),
      LargestDensityChange(kNoStepYet),
      PreviousDensityCount(0),
      PreviousDensitiesValid(false) {
    HoldDensitiesForOwnMesh();
}

SupersonicFlatPlate::SupersonicFlatPlate(const SupersonicFlatPlate& other)
    : NavierStokesEquations2D(other),
      Wall(other.Wall),
      LargestDensityChange(other.LargestDensityChange),
      PreviousDensityCount(0),
      PreviousDensitiesValid(false) {
    HoldDensitiesForOwnMesh();
}

// All or nothing: the density storage for the other plate's mesh is obtained first, and the
// wall and the density change are taken only once the base has taken the other's mesh.
SupersonicFlatPlate& SupersonicFlatPlate::operator=(const SupersonicFlatPlate& other) {
    if (this == &other) {
        return *this;
    }
    int imax = 0;
    int jmax = 0;
    // GetMeshNodes only reads; it is not const because it lends the mesh for writing.
    _MeshNode** const sourceMesh = const_cast<SupersonicFlatPlate&>(other).GetMeshNodes(imax, jmax);
    const std::size_t count = NodeCount(imax, jmax);
    std::unique_ptr<double[]> densities = NewDensities(count);
    if (count > 0 && densities == nullptr) {
        detail::ShowMemoryErrorBox();
        return *this;
    }
    _MeshNode** const meshBefore = GetMeshNodes(imax, jmax);
    NavierStokesEquations2D::operator=(other);
    // The base duplicates the other's mesh before it releases its own, so a successful copy of a
    // mesh always lands in a table other than the one held before; a failed one keeps that table.
    if (sourceMesh != nullptr && GetMeshNodes(imax, jmax) == meshBefore) {
        return *this;
    }
    PreviousDensities = std::move(densities);
    PreviousDensityCount = count;
    PreviousDensitiesValid = false;
    Wall = other.Wall;
    LargestDensityChange = other.LargestDensityChange;
    return *this;
}

// Construction completes whatever happens: storage that cannot be had is announced like a failed
// mesh, and the plate steps on without measuring its density change until storage can be had.
void SupersonicFlatPlate::HoldDensitiesForOwnMesh() {
    int imax = 0;
    int jmax = 0;
    GetMeshNodes(imax, jmax);
    if (!FitDensitiesTo(NodeCount(imax, jmax))) {
        detail::ShowMemoryErrorBox();
    }
}

// Storage for `count` densities, kept when it already fits; false when it could not be had.
bool SupersonicFlatPlate::FitDensitiesTo(std::size_t count) {
    PreviousDensitiesValid = false;
    if (count == PreviousDensityCount && (count == 0 || PreviousDensities != nullptr)) {
        return true;
    }
    PreviousDensities = NewDensities(count);
    PreviousDensityCount = PreviousDensities != nullptr ? count : 0;
    return count == 0 || PreviousDensities != nullptr;
}

void SupersonicFlatPlate::InitializeMeshNodes2(_MeshNode**& mesh) {
    int imax = 0;
    int jmax = 0;
    if (!IsOwnMesh(mesh, imax, jmax)) {
        return;
    }
    for (int i = 0; i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            SetMeshNodeValue(mesh[i][j], GetUInf(), 0, GetTInf(), GetPInf());
        }
    }
    // The plate's edge values bring the leading-edge node to rest but leave its momenta alone;
    // clear them so that the node's conserved state matches its velocity.
    SetMeshNodeValue(mesh[0][0], 0, 0, GetTInf(), GetPInf());
    BoundaryConditions(mesh);
    if (Wall == WallCondition::Adiabatic) {
        InsulateWall(mesh);
    }
}

// The operations work on the solver's own mesh only, as the driver hands it to them.
bool SupersonicFlatPlate::IsOwnMesh(_MeshNode** mesh, int& imax, int& jmax) {
    return mesh != nullptr && mesh == GetMeshNodes(imax, jmax) && imax > 0 && jmax > 0;
}

void SupersonicFlatPlate::SetMeshNodesValues(_MeshNode**& /*mesh*/) {}

void SupersonicFlatPlate::BoundaryConditions2(_MeshNode**& mesh) {
    BoundaryConditions(mesh);
    if (Wall == WallCondition::Adiabatic) {
        InsulateWall(mesh);
    }
    MeasureDensityChange(mesh);
}

void SupersonicFlatPlate::BoundaryConditionsProspect2(_MeshNode**& mesh) {
    // The predictor has written only the predicted slots: the current densities are still those
    // at the start of the step.
    RememberDensities(mesh);
    BoundaryConditionsProspect(mesh);
    if (Wall == WallCondition::Adiabatic) {
        InsulateWallProspect(mesh);
    }
}

// Zero normal temperature gradient at the wall, to first order: each wall node takes the
// temperature of the node above it and keeps the pressure that the plate's edge values gave it.
// The leading-edge node stays at rest at the free-stream state.
void SupersonicFlatPlate::InsulateWall(_MeshNode** mesh) {
    int imax = 0;
    int jmax = 0;
    if (!IsOwnMesh(mesh, imax, jmax) || jmax < 3) {
        return;
    }
    for (int i = 1; i < imax; ++i) {
        _MeshNode& wall = mesh[i][0];
        SetMeshNodeValue(wall, 0, 0, mesh[i][1].T, wall.P);
    }
}

void SupersonicFlatPlate::InsulateWallProspect(_MeshNode** mesh) {
    int imax = 0;
    int jmax = 0;
    if (!IsOwnMesh(mesh, imax, jmax) || jmax < 3) {
        return;
    }
    for (int i = 1; i < imax; ++i) {
        _MeshNode& wall = mesh[i][0];
        SetMeshNodeValueProspect(wall, 0, 0, mesh[i][1].TProspect, wall.PProspect);
    }
}

// The storage is sized from the mesh found at each step: the base part may have been assigned or
// moved through a reference to the base class since the last one.
void SupersonicFlatPlate::RememberDensities(_MeshNode** mesh) {
    int imax = 0;
    int jmax = 0;
    if (!IsOwnMesh(mesh, imax, jmax)) {
        PreviousDensitiesValid = false;
        return;
    }
    if (!FitDensitiesTo(NodeCount(imax, jmax))) {
        // Without the densities of the step's start its change is unknown, and never settled.
        LargestDensityChange = kNoStepYet;
        return;
    }
    std::size_t k = 0;
    for (int i = 0; i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            PreviousDensities[k++] = mesh[i][j].Rho;
        }
    }
    PreviousDensitiesValid = true;
}

void SupersonicFlatPlate::MeasureDensityChange(_MeshNode** mesh) {
    int imax = 0;
    int jmax = 0;
    if (!PreviousDensitiesValid || !IsOwnMesh(mesh, imax, jmax)) {
        return;
    }
    LargestDensityChange = LargestChange(mesh, imax, jmax, PreviousDensities.get());
    PreviousDensitiesValid = false;
}

}  // namespace Nembra
