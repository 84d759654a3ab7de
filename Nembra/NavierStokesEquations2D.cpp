// Placeholder: the flow solver is being written; this keeps the library linkable meanwhile.
#include "Nembra/NavierStokesEquations2D.h"

namespace Nembra {

NavierStokesEquations2D::NavierStokesEquations2D() : NavierStokesEquations2D(70, 70, 1e-5, 10000) {}
NavierStokesEquations2D::NavierStokesEquations2D(int imax, int jmax, double lengthX, int maxStepCount)
    : MeshNodes(nullptr), IMax(imax), JMax(jmax), DeltaX(0), DeltaY(0), DeltaT(0), StepCount(0),
      MaxStepCount(maxStepCount), LengthX(lengthX), LengthY(0), BoundaryLayerThickness(0),
      HeightFactor(5), MachInf(4), TInf(288.16), SoundSpeedInf(340.28), UInf(1361.12), VInf(0),
      PInf(101325), RhoInf(1.225183163824975), MuInf(1.789e-5), EintInf(0), KInf(0),
      Prandtl(0.71), GasConstant(287), WallTemperatureRatio(1), Gamma(1.4), MuRef(1.789e-5),
      TRef(288.16), Cv(717.5), Cp(1004.5), ReynoldsL(0), Courant(0.6),
      TimeStepCoefficientsReady(false), SpacingCoefficient(0), ViscousFactor(0), SoundFactor(0) {}
NavierStokesEquations2D::NavierStokesEquations2D(const NavierStokesEquations2D& other) = default;
NavierStokesEquations2D::NavierStokesEquations2D(NavierStokesEquations2D&& other) noexcept = default;
NavierStokesEquations2D& NavierStokesEquations2D::operator=(const NavierStokesEquations2D&) = default;
NavierStokesEquations2D& NavierStokesEquations2D::operator=(NavierStokesEquations2D&&) noexcept = default;
NavierStokesEquations2D::~NavierStokesEquations2D() = default;
void NavierStokesEquations2D::InitializeMeshNodes(_MeshNode**&) {}
void NavierStokesEquations2D::InitializeMeshNodes2(_MeshNode**&) {}
void NavierStokesEquations2D::SetMeshNodesValues(_MeshNode**&) {}
void NavierStokesEquations2D::BoundaryConditions(_MeshNode**&) {}
void NavierStokesEquations2D::BoundaryConditions2(_MeshNode**&) {}
void NavierStokesEquations2D::BoundaryConditionsProspect(_MeshNode**&) {}
void NavierStokesEquations2D::BoundaryConditionsProspect2(_MeshNode**&) {}
void NavierStokesEquations2D::UpdateDatas() { ++StepCount; }
NavierStokesEquations2D::_MeshNode**& NavierStokesEquations2D::GetMeshNodes(int& imax, int& jmax) {
    imax = 0;
    jmax = 0;
    return MeshNodes;
}

}  // namespace Nembra
