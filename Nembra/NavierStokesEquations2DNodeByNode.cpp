// The MacCormack step node by node, for a solver whose working rows could not be had (the
// row-wise step in step/ takes about 126 doubles per node of a row besides the mesh). The mesh
// was allocated, so the solver must step: this evaluates the same formulas in the same order as
// the row-wise step, reading and writing the records directly, and so computes the same bits.
// The tests hold the two to that.

#include <cmath>

#include "Nembra/NavierStokesEquations2D.h"

namespace Nembra {

using Node = NavierStokesEquations2D::_MeshNode;

namespace {

// What the fluxes read of one state, with the absolute values that they take.
struct FluxState {
    double rho, u, v, p, et, mu, k;
};

FluxState CurrentState(const Node& n) {
    return FluxState{std::fabs(n.Rho), n.U, n.V, std::fabs(n.P), std::fabs(n.Et), n.Mu, n.K};
}

FluxState PredictedState(const Node& n) {
    return FluxState{std::fabs(n.QProspect[0]), n.UProspect,  n.VProspect, std::fabs(n.PProspect),
                     std::fabs(n.EtProspect),   n.MuProspect, n.KProspect};
}

// E and F of one state from its viscous stresses and heat flux.
void FluxVectors(const FluxState& s, double tauXX, double tauXY, double tauYY, double qX, double qY,
                 double* e, double* f) {
    e[0] = s.rho * s.u;
    e[1] = s.rho * s.u * s.u + s.p - tauXX;
    e[2] = s.rho * s.u * s.v - tauXY;
    e[3] = (s.et + s.p - tauXX) * s.u - tauXY * s.v + qX;
    f[0] = s.rho * s.v;
    f[1] = s.rho * s.u * s.v - tauXY;
    f[2] = s.rho * s.v * s.v + s.p - tauYY;
    f[3] = (s.et + s.p - tauYY) * s.v - tauXY * s.u + qY;
}

}  // namespace

// E and F at every node, of the current state or of the predicted one, with the high-order
// gradients of that state.
void NavierStokesEquations2D::FluxesNodeByNode(bool predicted) {
    for (int i = 0; i < IMax; ++i) {
        for (int j = 0; j < JMax; ++j) {
            Node& n = MeshNodes[i][j];
            double dUdX, dUdY, dVdX, dVdY, dTdX, dTdY;
            if (predicted) {
                PartialDerivativesProspect(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, MeshNodes, i, j);
            } else {
                PartialDerivatives(dUdX, dUdY, dVdX, dVdY, dTdX, dTdY, MeshNodes, i, j);
            }
            const FluxState s = predicted ? PredictedState(n) : CurrentState(n);
            double tauXX, tauXY, tauYX, tauYY, qX, qY;
            Stress(tauXX, tauXY, tauYX, tauYY, dUdX, dUdY, dVdX, dVdY, s.mu);
            HeatDischarge(qX, qY, dTdX, dTdY, s.k);
            FluxVectors(s, tauXX, tauXY, tauYY, qX, qY, predicted ? n.FluxEProspect : n.FluxE,
                        predicted ? n.FluxFProspect : n.FluxF);
        }
    }
}

// Phases 1 and 2: the predicted state of the interior by forward differences of the current
// fluxes, decoded into primitives and transport values.
void NavierStokesEquations2D::PredictNodeByNode() {
    FluxesNodeByNode(false);
    for (int i = 1; i < IMax - 1; ++i) {
        for (int j = 1; j < JMax - 1; ++j) {
            Node& n = MeshNodes[i][j];
            const Node& east = MeshNodes[i + 1][j];
            const Node& north = MeshNodes[i][j + 1];
            const double q[4] = {n.Rho, n.RhoU, n.RhoV, n.Et};
            for (int k = 0; k < 4; ++k) {
                n.DUDt[k] = -((east.FluxE[k] - n.FluxE[k]) / DeltaX +
                              (north.FluxF[k] - n.FluxF[k]) / DeltaY);
                n.QProspect[k] = q[k] + n.DUDt[k] * DeltaT;
            }
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
            n.KProspect = Pyroconductivity(n.MuProspect, Cp, Prandtl);
        }
    }
}

// Phases 4 and 5: the new state of the interior, the average of the current state and the
// predicted state advanced by rearward differences of the predicted fluxes.
void NavierStokesEquations2D::CorrectNodeByNode() {
    FluxesNodeByNode(true);
    for (int i = 1; i < IMax - 1; ++i) {
        for (int j = 1; j < JMax - 1; ++j) {
            Node& n = MeshNodes[i][j];
            const Node& west = MeshNodes[i - 1][j];
            const Node& south = MeshNodes[i][j - 1];
            const double q[4] = {n.Rho, n.RhoU, n.RhoV, n.Et};
            double next[4];
            for (int k = 0; k < 4; ++k) {
                next[k] = 0.5 * ((n.QProspect[k] + q[k]) -
                                 DeltaT * ((n.FluxFProspect[k] - south.FluxFProspect[k]) / DeltaY +
                                           (n.FluxEProspect[k] - west.FluxEProspect[k]) / DeltaX));
            }
            n.Rho = std::fabs(next[0]);
            n.RhoU = next[1];
            n.RhoV = next[2];
            n.U = n.RhoU / n.Rho;
            n.V = n.RhoV / n.Rho;
            n.Et = std::fabs(next[3]);
            n.Eint = std::fabs(n.Et / n.Rho - 0.5 * (n.U * n.U + n.V * n.V));
            n.T = std::fabs(n.Eint / Cv);
            n.P = std::fabs(n.Rho * GasConstant * n.T);
            n.Mu = Sutherland(n.T, TRef, MuRef);
            n.K = Pyroconductivity(n.Mu, Cp, Prandtl);
        }
    }
}

}  // namespace Nembra
