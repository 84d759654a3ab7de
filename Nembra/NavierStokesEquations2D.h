#pragma once

#include "Nembra/Export.h"

namespace Nembra {

// Explicit solver of the 2-D compressible, viscous, heat-conducting Navier-Stokes equations of a
// perfect gas (air) on a uniform IMax x JMax mesh, advanced by MacCormack's predictor-corrector
// scheme with Sutherland viscosity, constant Prandtl number and a Courant-limited time step.
//
// The host calls UpdateDatas once per time step (the first call lays the initial field) and
// reads the live mesh through GetMeshNodes between calls. A host class may derive from the
// solver and replace the virtual initial and boundary conditions.
class NEMBRA_API NavierStokesEquations2D {
public:
    // One mesh node: 44 doubles in a fixed slot order that hosts address by position.
    struct _MeshNode {
        // Current state.
        double Rho;   // density, kg/m^3
        double RhoU;  // x-momentum per unit volume
        double RhoV;  // y-momentum per unit volume
        double Et;    // total energy per unit volume
        double U;     // x-velocity, m/s
        double V;     // y-velocity, m/s
        double Eint;  // specific internal energy Cv*T, J/kg
        double T;     // temperature, K
        double P;     // pressure, Pa
        double Mu;    // dynamic viscosity (Sutherland), Pa s
        double K;     // thermal conductivity Mu*Cp/Pr
        // Predicted state of the current MacCormack step.
        double UProspect;
        double VProspect;
        double EintProspect;
        double TProspect;
        double RhoProspect;
        double PProspect;
        double EtProspect;
        double MuProspect;
        double KProspect;
        // Fluxes and time derivative of the step.
        double FluxE[4];          // x-flux E of the current state
        double FluxF[4];          // y-flux F of the current state
        double DUDt[4];           // predictor time derivative of (Rho, RhoU, RhoV, Et)
        double QProspect[4];      // predicted conserved vector
        double FluxEProspect[4];  // x-flux of the predicted state
        double FluxFProspect[4];  // y-flux of the predicted state
    };

    // The compiled-in setting: air at 288.16 K and 101325 Pa, a 70 x 70 mesh over a 1e-5 m long
    // domain five boundary-layer thicknesses high, 10000 calls of UpdateDatas.
    NavierStokesEquations2D();
    // imax x jmax nodes over lengthX metres, maxStepCount calls; the Reynolds number, boundary
    // layer thickness, domain height and spacings follow from them. A count of 0 gives an empty
    // mesh (no table, 0 x 0), a negative count a failed allocation (announced, and the solver
    // holds no mesh).
    NavierStokesEquations2D(int imax, int jmax, double lengthX, int maxStepCount);
    // Copies hold a mesh of their own; a moved-from solver holds no mesh.
    NavierStokesEquations2D(const NavierStokesEquations2D& other);
    NavierStokesEquations2D(NavierStokesEquations2D&& other) noexcept;
    NavierStokesEquations2D& operator=(const NavierStokesEquations2D& other);
    NavierStokesEquations2D& operator=(NavierStokesEquations2D&& other) noexcept;

protected:
    // Initial conditions. The solver calls these only through the virtual table.
    virtual void InitializeMeshNodes(_MeshNode**& mesh);   // flat plate: interior at rest + edges
    virtual void InitializeMeshNodes2(_MeshNode**& mesh);  // closed box: every node at rest
    virtual void SetMeshNodesValues(_MeshNode**& mesh);    // closed box: the hot, fast block
    // Boundary conditions of the current and of the predicted state.
    virtual void BoundaryConditions(_MeshNode**& mesh);           // flat plate
    virtual void BoundaryConditions2(_MeshNode**& mesh);          // closed box
    virtual void BoundaryConditionsProspect(_MeshNode**& mesh);   // flat plate
    virtual void BoundaryConditionsProspect2(_MeshNode**& mesh);  // closed box

public:
    // Declared after the seven operations above so that they keep the first slots of the table.
    virtual ~NavierStokesEquations2D();

    // One call: the first lays the initial field, each later one advances one time step, until
    // MaxStepCount calls have done work. Writes "error:value'error" to standard output for every
    // checked node holding an infinite or NaN value, and carries on.
    void UpdateDatas();

    // The live mesh (null and 0 x 0 when the solver holds none); valid while the solver lives.
    _MeshNode**& GetMeshNodes(int& imax, int& jmax);

    int GetStepCount() const { return StepCount; }
    int GetMaxStepCount() const { return MaxStepCount; }
    double GetDeltaT() const { return DeltaT; }
    double GetDeltaX() const { return DeltaX; }
    double GetDeltaY() const { return DeltaY; }
    double GetLengthX() const { return LengthX; }
    double GetLengthY() const { return LengthY; }
    double GetUInf() const { return UInf; }
    double GetVInf() const { return VInf; }
    double GetTInf() const { return TInf; }
    double GetPInf() const { return PInf; }
    double GetRhoInf() const { return RhoInf; }
    double GetMachInf() const { return MachInf; }
    double GetReynoldsL() const { return ReynoldsL; }
    double GetGamma() const { return Gamma; }
    double GetGasConstant() const { return GasConstant; }
    double GetCv() const { return Cv; }
    double GetCp() const { return Cp; }
    double GetPrandtl() const { return Prandtl; }
    double GetWallTemperatureRatio() const { return WallTemperatureRatio; }
    double GetCourant() const { return Courant; }

protected:
    // Node-state completion: (u, v, T, p) to the full current or predicted state of one node.
    void SetMeshNodeValue(_MeshNode& node, double u, double v, double T, double p);
    void SetMeshNodeValueProspect(_MeshNode& node, double u, double v, double T, double p);

    // Linear extrapolation of a node from its two nearest neighbours along one direction:
    // indices 0 and 1 look upwards, every other index downwards. Does nothing when the row table
    // is null or a neighbour lies outside the mesh.
    void Extrapolation(_MeshNode**& mesh, int i, int j, bool alongX);
    void Extrapolation(_MeshNode& node, _MeshNode& nearNode, _MeshNode& farNode);
    void ExtrapolationProspect(_MeshNode**& mesh, int i, int j, bool alongX);
    void ExtrapolationProspect(_MeshNode& node, _MeshNode& nearNode, _MeshNode& farNode);

private:
    friend struct NavierStokesEquations2DTestAccess;

    // Gas model; each returns the absolute value of its formula.
    static double Sutherland(double T, double tRef, double muRef);
    static double Pyroconductivity(double mu, double cp, double prandtl);
    static double ReynoldsNumber(double rho, double u, double length, double mu);
    static double StateEquationP(double rho, double gasConstant, double T);
    static double StateEquationDensity(double p, double gasConstant, double T);
    static double InternalEnergy(double cv, double T);

    // Mesh storage.
    void AllocateMeshNodesSpace(_MeshNode**& rows, int rowCount, int nodesPerRow);
    void ReleaseMeshNodes(_MeshNode**& rows, int rowCount, int nodesPerRow);
    void AllocateStorageError();

    // Gradients of u, v and T at node (i, j): high order (central inside, third-order one-sided
    // at the ends) and first order (one-sided along the flux direction of the suffix).
    void PartialDerivatives(double& dUdX, double& dUdY, double& dVdX, double& dVdY, double& dTdX,
                            double& dTdY, _MeshNode** mesh, int i, int j) const;
    void PartialDerivativesProspect(double& dUdX, double& dUdY, double& dVdX, double& dVdY,
                                    double& dTdX, double& dTdY, _MeshNode** mesh, int i,
                                    int j) const;
    void PartialDerivatives_E(double& dUdX, double& dUdY, double& dVdX, double& dVdY, double& dTdX,
                              double& dTdY, _MeshNode** mesh, int i, int j) const;
    void PartialDerivatives_F(double& dUdX, double& dUdY, double& dVdX, double& dVdY, double& dTdX,
                              double& dTdY, _MeshNode** mesh, int i, int j) const;
    void PartialDerivativesProspect_E(double& dUdX, double& dUdY, double& dVdX, double& dVdY,
                                      double& dTdX, double& dTdY, _MeshNode** mesh, int i,
                                      int j) const;
    void PartialDerivativesProspect_F(double& dUdX, double& dUdY, double& dVdX, double& dVdY,
                                      double& dTdX, double& dTdY, _MeshNode** mesh, int i,
                                      int j) const;
    // Newtonian stresses with Stokes' hypothesis, and Fourier heat flux.
    static void Stress(double& tauXX, double& tauXY, double& tauYX, double& tauYY, double& dUdX,
                       double& dUdY, double& dVdX, double& dVdY, double mu);
    static void HeatDischarge(double& qX, double& qY, double& dTdX, double& dTdY, double k);

    // Stable time step of the current field, stored in DeltaT and returned.
    double CalculateTimeStep(_MeshNode** rows, int rowCount, int nodesPerRow);
    // One predictor-corrector step over the solver's own mesh.
    void MacCormack(_MeshNode**& mesh, int imax, int jmax);
    // False for infinities and NaNs.
    static bool ValueAvailability(double& value);

    // The time step (into DeltaT) and, in the same read of the nodes, the number of nodes among
    // the first checkedRows x checkedNodes that hold an infinite or NaN value.
    int ScanTimeStepAndValues(_MeshNode** rows, int rowCount, int nodesPerRow, int checkedRows,
                              int checkedNodes);
    void FillTimeStepCoefficients();
    static int CountUnusableNodes(_MeshNode* row, int count);

    bool HoldsNodes() const;
    // The step's working rows for nodesPerRow nodes a row; false when they could not be had.
    static bool AllocateStepScratch(double*& scratch, int nodesPerRow);
    // The MacCormack step node by node, for a solver without working rows: the same formulas in
    // the same order as the row-wise step, to the last bit.
    void FluxesNodeByNode(bool predicted);
    void PredictNodeByNode();
    void CorrectNodeByNode();
    void ComputeDerivedMembers();
    void CopySettingsFrom(const NavierStokesEquations2D& other);
    bool DuplicateMeshOf(const NavierStokesEquations2D& other, _MeshNode**& copy, double*& scratch);
    void TakeMeshOf(NavierStokesEquations2D& other);
    void ReleaseStorage();

    _MeshNode** MeshNodes;
    int IMax;
    int JMax;
    double DeltaX;
    double DeltaY;
    double DeltaT;
    int StepCount;
    int MaxStepCount;
    double LengthX;
    double LengthY;
    double BoundaryLayerThickness;
    double HeightFactor;
    double MachInf;
    double TInf;
    double SoundSpeedInf;
    double UInf;
    double VInf;
    double PInf;
    double RhoInf;
    double MuInf;
    double EintInf;
    double KInf;
    double Prandtl;
    double GasConstant;
    double WallTemperatureRatio;
    double Gamma;
    double MuRef;
    double TRef;
    double Cv;
    double Cp;
    double ReynoldsL;
    double Courant;

    // Coefficients of the time-step limit, computed on this solver's first time step.
    bool TimeStepCoefficientsReady;
    double SpacingCoefficient;  // 1/dx^2 + 1/dy^2
    double ViscousFactor;       // |4 gamma / (3 Pr)|
    double SoundFactor;         // gamma R

    // Working rows of the row-wise MacCormack step, sized by JMax; null when they could not be
    // had (the step then runs node by node and seeks them again before each step).
    double* StepScratch;
};

}  // namespace Nembra
