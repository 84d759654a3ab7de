#include "Nembra/ShockTube.h"

#include <cmath>

namespace Nembra {

namespace {

// The classic 10 : 1 pressure ratio; the temperatures make the density ratio 8 : 1.
constexpr double kLeftPressure = 1013250;
constexpr double kLeftTemperature = 360.2;
constexpr double kRightPressure = 101325;
constexpr double kRightTemperature = 288.16;

// Thin fronts against long plateaus: about 0.1 micrometre a node, so the shock (a few mean free
// paths thick) spans a few nodes and the star plateaus over 100 nodes by the default end time;
// 11 nodes across, the fewest that the solver's stencils take.
constexpr int kDefaultNodesX = 1000;
constexpr int kDefaultNodesY = 11;
constexpr double kDefaultLength = 1e-4;
constexpr int kDefaultMaxStepCount = 10000;

using Node = NavierStokesEquations2D::_MeshNode;

// An edge node of a symmetry plane takes the state of the node next to it inside, slot for
// slot, with no velocity across the plane. Copying the slots (rather than completing the node
// from u, T and p again) keeps every row of the tube the same to the bit.
void Mirror(Node& edge, const Node& inside) {
    edge.Rho = inside.Rho;
    edge.RhoU = inside.RhoU;
    edge.RhoV = 0;
    edge.Et = inside.Et;
    edge.U = inside.U;
    edge.V = 0;
    edge.Eint = inside.Eint;
    edge.T = inside.T;
    edge.P = inside.P;
    edge.Mu = inside.Mu;
    edge.K = inside.K;
}

void MirrorProspect(Node& edge, const Node& inside) {
    edge.UProspect = inside.UProspect;
    edge.VProspect = 0;
    edge.EintProspect = inside.EintProspect;
    edge.TProspect = inside.TProspect;
    edge.RhoProspect = inside.RhoProspect;
    edge.PProspect = inside.PProspect;
    edge.EtProspect = inside.EtProspect;
    edge.MuProspect = inside.MuProspect;
    edge.KProspect = inside.KProspect;
    edge.QProspect[0] = inside.QProspect[0];
    edge.QProspect[1] = inside.QProspect[1];
    edge.QProspect[2] = 0;
    edge.QProspect[3] = inside.QProspect[3];
}

}  // namespace

ShockTube::ShockTube()
    : ShockTube(kDefaultNodesX, kDefaultNodesY, kDefaultLength, kDefaultMaxStepCount) {}

ShockTube::ShockTube(int imax, int jmax, double lengthX, int maxStepCount)
    : NavierStokesEquations2D(imax, jmax, lengthX, maxStepCount) {}

double ShockTube::GetLeftPressure() const {
    return kLeftPressure;
}
double ShockTube::GetLeftTemperature() const {
    return kLeftTemperature;
}
double ShockTube::GetLeftDensity() const {
    return kLeftPressure / (kLeftTemperature * GetGasConstant());
}
double ShockTube::GetRightPressure() const {
    return kRightPressure;
}
double ShockTube::GetRightTemperature() const {
    return kRightTemperature;
}
double ShockTube::GetRightDensity() const {
    return kRightPressure / (kRightTemperature * GetGasConstant());
}

ExactRiemannSolution ShockTube::GetExactSolution() const {
    return ExactRiemannSolution({GetLeftDensity(), 0, kLeftPressure},
                                {GetRightDensity(), 0, kRightPressure}, GetGamma(),
                                GetDiaphragmPosition());
}

double ShockTube::GetDefaultEndTime() const {
    return GetLengthX() / 3 / GetExactSolution().GetRightHeadSpeed();
}

bool ShockTube::IsOwnMesh(_MeshNode** mesh, int& imax, int& jmax) {
    return mesh != nullptr && mesh == GetMeshNodes(imax, jmax) && imax > 0 && jmax > 0;
}

double ShockTube::LeftShare(int i) const {
    const double x = i * GetDeltaX() - GetDiaphragmPosition();
    return 0.5 * (1 - std::tanh(x / GetDeltaX()));
}

void ShockTube::InitializeMeshNodes2(_MeshNode**& mesh) {
    int imax = 0;
    int jmax = 0;
    if (!IsOwnMesh(mesh, imax, jmax)) {
        return;
    }
    for (int i = 0; i < imax; ++i) {
        const double left = LeftShare(i);
        // Weighted so that a share of exactly 1 or 0 gives that side's values to the bit.
        const double T = kLeftTemperature * left + kRightTemperature * (1 - left);
        const double p = kLeftPressure * left + kRightPressure * (1 - left);
        for (int j = 0; j < jmax; ++j) {
            SetMeshNodeValue(mesh[i][j], 0, 0, T, p);
        }
    }
}

void ShockTube::SetMeshNodesValues(_MeshNode**& /*mesh*/) {}

void ShockTube::BoundaryConditions2(_MeshNode**& mesh) {
    HoldEdges(mesh, &Mirror, &ShockTube::SetMeshNodeValue);
}

void ShockTube::BoundaryConditionsProspect2(_MeshNode**& mesh) {
    HoldEdges(mesh, &MirrorProspect, &ShockTube::SetMeshNodeValueProspect);
}

// One pass for either state: the state's mirror on the lower and upper edges, its completion
// from (u, v, T, p) at the two ends.
void ShockTube::HoldEdges(_MeshNode** mesh, EdgeMirror mirror, NodeCompletion complete) {
    int imax = 0;
    int jmax = 0;
    if (!IsOwnMesh(mesh, imax, jmax)) {
        return;
    }
    if (jmax >= 3) {
        for (int i = 1; i < imax - 1; ++i) {
            mirror(mesh[i][0], mesh[i][1]);
            mirror(mesh[i][jmax - 1], mesh[i][jmax - 2]);
        }
    }
    for (int j = 0; j < jmax; ++j) {
        (this->*complete)(mesh[0][j], 0, 0, kLeftTemperature, kLeftPressure);
        (this->*complete)(mesh[imax - 1][j], 0, 0, kRightTemperature, kRightPressure);
    }
}

}  // namespace Nembra
