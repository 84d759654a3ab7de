// The flow solver's node-level formulas: the gas model (Sutherland viscosity, Fourier conduction,
// the perfect gas), the completion of a node's state from (u, v, T, p), and the node-by-node
// gradients, stresses and heat flux that hosts and derived cases may call. The step's row kernels
// share the difference stencils and the stress with them (step/Stencils.h).

#include <cmath>

#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/step/Stencils.h"

namespace Nembra {

using Node = NavierStokesEquations2D::_MeshNode;
using step::FirstOrderDerivative;
using step::HighOrderDerivative;
using step::Stencil;

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
    step::StokesStress(tauXX, tauXY, tauYY, dUdX, dUdY, dVdX, dVdY, mu);
    tauYX = tauXY;
}

void NavierStokesEquations2D::HeatDischarge(double& qX, double& qY, double& dTdX, double& dTdY,
                                            double k) {
    qX = -(k * dTdX);
    qY = -(k * dTdY);
}

}  // namespace Nembra
