#pragma once

// Reaches the flow solver's private members and operations for the tests. The solver names this
// type as its friend; everything here only forwards.

#include "Nembra/NavierStokesEquations2D.h"

namespace Nembra {

using Solver = NavierStokesEquations2D;
using Node = NavierStokesEquations2D::_MeshNode;

// The six first derivatives that every gradient routine produces, in parameter order.
struct Gradients {
    double dUdX = 0, dUdY = 0, dVdX = 0, dVdY = 0, dTdX = 0, dTdY = 0;
};

enum class GradientRoutine { High, HighProspect, CurrentE, CurrentF, ProspectE, ProspectF };

// Every data member of the solver but the mesh, in declaration order.
struct FlowMembers {
    int IMax, JMax;
    double DeltaX, DeltaY, DeltaT;
    int StepCount, MaxStepCount;
    double LengthX, LengthY, BoundaryLayerThickness, HeightFactor, MachInf, TInf, SoundSpeedInf,
        UInf, VInf, PInf, RhoInf, MuInf, EintInf, KInf, Prandtl, GasConstant, WallTemperatureRatio,
        Gamma, MuRef, TRef, Cv, Cp, ReynoldsL, Courant;
};

struct NavierStokesEquations2DTestAccess {
    static FlowMembers Members(const Solver& s) {
        return FlowMembers{s.IMax,         s.JMax,
                           s.DeltaX,       s.DeltaY,
                           s.DeltaT,       s.StepCount,
                           s.MaxStepCount, s.LengthX,
                           s.LengthY,      s.BoundaryLayerThickness,
                           s.HeightFactor, s.MachInf,
                           s.TInf,         s.SoundSpeedInf,
                           s.UInf,         s.VInf,
                           s.PInf,         s.RhoInf,
                           s.MuInf,        s.EintInf,
                           s.KInf,         s.Prandtl,
                           s.GasConstant,  s.WallTemperatureRatio,
                           s.Gamma,        s.MuRef,
                           s.TRef,         s.Cv,
                           s.Cp,           s.ReynoldsL,
                           s.Courant};
    }
    static Node**& Mesh(Solver& s) { return s.MeshNodes; }
    static void SetDeltaT(Solver& s, double dt) { s.DeltaT = dt; }

    static double Sutherland(double t, double tRef, double muRef) {
        return Solver::Sutherland(t, tRef, muRef);
    }
    static double Pyroconductivity(double mu, double cp, double pr) {
        return Solver::Pyroconductivity(mu, cp, pr);
    }
    static double ReynoldsNumber(double rho, double u, double l, double mu) {
        return Solver::ReynoldsNumber(rho, u, l, mu);
    }
    static double StateEquationP(double rho, double r, double t) {
        return Solver::StateEquationP(rho, r, t);
    }
    static double StateEquationDensity(double p, double r, double t) {
        return Solver::StateEquationDensity(p, r, t);
    }
    static double InternalEnergy(double cv, double t) { return Solver::InternalEnergy(cv, t); }

    static void AllocateMeshNodesSpace(Solver& s, Node**& rows, int rowCount, int perRow) {
        s.AllocateMeshNodesSpace(rows, rowCount, perRow);
    }
    static void ReleaseMeshNodes(Solver& s, Node**& rows, int rowCount, int perRow) {
        s.ReleaseMeshNodes(rows, rowCount, perRow);
    }
    static void AllocateStorageError(Solver& s) { s.AllocateStorageError(); }

    static void SetMeshNodeValue(Solver& s, Node& n, double u, double v, double t, double p) {
        s.SetMeshNodeValue(n, u, v, t, p);
    }
    static void SetMeshNodeValueProspect(Solver& s, Node& n, double u, double v, double t,
                                         double p) {
        s.SetMeshNodeValueProspect(n, u, v, t, p);
    }
    static void Extrapolation(Solver& s, Node**& mesh, int i, int j, bool alongX) {
        s.Extrapolation(mesh, i, j, alongX);
    }
    static void Extrapolation(Solver& s, Node& n, Node& nearNode, Node& farNode) {
        s.Extrapolation(n, nearNode, farNode);
    }
    static void ExtrapolationProspect(Solver& s, Node**& mesh, int i, int j, bool alongX) {
        s.ExtrapolationProspect(mesh, i, j, alongX);
    }
    static void ExtrapolationProspect(Solver& s, Node& n, Node& nearNode, Node& farNode) {
        s.ExtrapolationProspect(n, nearNode, farNode);
    }

    // The virtual operations, called through the virtual table as the solver calls them.
    static void InitializeMeshNodes(Solver& s) { s.InitializeMeshNodes(s.MeshNodes); }
    static void InitializeMeshNodes2(Solver& s) { s.InitializeMeshNodes2(s.MeshNodes); }
    static void SetMeshNodesValues(Solver& s) { s.SetMeshNodesValues(s.MeshNodes); }
    static void BoundaryConditions(Solver& s) { s.BoundaryConditions(s.MeshNodes); }
    static void BoundaryConditions2(Solver& s) { s.BoundaryConditions2(s.MeshNodes); }
    static void BoundaryConditionsProspect(Solver& s) { s.BoundaryConditionsProspect(s.MeshNodes); }
    static void BoundaryConditionsProspect2(Solver& s) {
        s.BoundaryConditionsProspect2(s.MeshNodes);
    }

    static Gradients Derivatives(const Solver& s, GradientRoutine routine, Node** mesh, int i,
                                 int j) {
        Gradients g;
        switch (routine) {
            case GradientRoutine::High:
                s.PartialDerivatives(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, mesh, i, j);
                break;
            case GradientRoutine::HighProspect:
                s.PartialDerivativesProspect(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, mesh,
                                             i, j);
                break;
            case GradientRoutine::CurrentE:
                s.PartialDerivatives_E(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, mesh, i, j);
                break;
            case GradientRoutine::CurrentF:
                s.PartialDerivatives_F(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, mesh, i, j);
                break;
            case GradientRoutine::ProspectE:
                s.PartialDerivativesProspect_E(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, mesh,
                                               i, j);
                break;
            case GradientRoutine::ProspectF:
                s.PartialDerivativesProspect_F(g.dUdX, g.dUdY, g.dVdX, g.dVdY, g.dTdX, g.dTdY, mesh,
                                               i, j);
                break;
        }
        return g;
    }
    static void Stress(double& tauXX, double& tauXY, double& tauYX, double& tauYY, double dUdX,
                       double dUdY, double dVdX, double dVdY, double mu) {
        Solver::Stress(tauXX, tauXY, tauYX, tauYY, dUdX, dUdY, dVdX, dVdY, mu);
    }
    static void HeatDischarge(double& qX, double& qY, double dTdX, double dTdY, double k) {
        Solver::HeatDischarge(qX, qY, dTdX, dTdY, k);
    }

    static double CalculateTimeStep(Solver& s, Node** rows, int rowCount, int perRow) {
        return s.CalculateTimeStep(rows, rowCount, perRow);
    }
    static void MacCormack(Solver& s) { s.MacCormack(s.MeshNodes, s.IMax, s.JMax); }
    static void MacCormack(Solver& s, int imax, int jmax) { s.MacCormack(s.MeshNodes, imax, jmax); }
    static bool ValueAvailability(double value) { return Solver::ValueAvailability(value); }
};

using Access = NavierStokesEquations2DTestAccess;

}  // namespace Nembra
