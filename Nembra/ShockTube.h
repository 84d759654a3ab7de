#pragma once

#include "Nembra/ExactRiemannSolution.h"
#include "Nembra/Export.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace Nembra {

// The shock tube: air at rest in a tube along x, at 1013250 Pa and 360.2 K left of a diaphragm
// at x = LengthX / 2 and at 101325 Pa and 288.16 K right of it (the classic 10 : 1 pressure and
// 8 : 1 density ratios). Removing the diaphragm at t = 0 sends a shock and a contact to the
// right and a rarefaction fan to the left; GetExactSolution gives the inviscid answer to
// compare with.
//
// The diaphragm is a layer one node spacing thick: pressure and temperature pass from the left
// to the right values as (1 - tanh((x - LengthX / 2) / DeltaX)) / 2, which leaves every node
// more than about 20 spacings away at its side's state to the bit. A jump from one node to the
// next would excite the two-node wave that the scheme's central viscous terms cannot damp: the
// node next to it then heats without bound within a hundred steps.
//
// The flow stays one-dimensional: the lower and upper edges are symmetry planes (no normal
// velocity, zero normal gradient: each edge node takes the state of its neighbour inside), so
// every row j holds the same profile to the bit; the two ends hold their initial states, which
// is exact until a wave reaches them.
//
// At this scale the gas is a continuum with physical viscosity and heat conduction: the shock is
// a few tenths of a micrometre thick, the contact spreads by conduction as the square root of
// time. The default tube, 1e-4 m with 1000 x 11 nodes, keeps every front thin compared with the
// plateaus between them until the shock has crossed a third of the tube (GetDefaultEndTime,
// about 1500 time steps); run it that long. Further on, waves reach the ends, whose held
// states then no longer match the flow.
//
// Drive it like its base: the first UpdateDatas call lays the two states, every later call
// advances one time step; the model time is the sum of GetDeltaT over the steps taken.
class NEMBRA_API ShockTube : public NavierStokesEquations2D {
public:
    // The default tube: 1000 x 11 nodes over 1e-4 m, 10000 calls.
    ShockTube();
    // imax x jmax nodes over a tube lengthX metres long, maxStepCount calls of UpdateDatas; the
    // tube's height follows from its length as in the base solver.
    ShockTube(int imax, int jmax, double lengthX, int maxStepCount);

    // The two initial states (pressure in Pa, temperature in K, density in kg/m^3 by the gas
    // law with the solver's gas constant).
    double GetLeftPressure() const;
    double GetLeftTemperature() const;
    double GetLeftDensity() const;
    double GetRightPressure() const;
    double GetRightTemperature() const;
    double GetRightDensity() const;
    // x of the diaphragm, m: the middle of the tube, the centre of its layer.
    double GetDiaphragmPosition() const { return GetLengthX() / 2; }

    // The exact inviscid solution of this tube's Riemann problem in SI units, with the solver's
    // gamma and the diaphragm at GetDiaphragmPosition: sample it at (x, model time). Throws
    // std::invalid_argument when the tube's length is not finite (the diaphragm has no place).
    ExactRiemannSolution GetExactSolution() const;
    // Model time, s, at which the exact shock has travelled a third of the tube's length. Throws
    // as GetExactSolution does.
    double GetDefaultEndTime() const;

protected:
    // Every node at rest in the state of its side of the diaphragm.
    void InitializeMeshNodes2(_MeshNode**& mesh) override;
    // The closed box's central block has no place in this case.
    void SetMeshNodesValues(_MeshNode**& mesh) override;
    // Symmetry planes along the lower and upper edges, the initial states at the two ends; of
    // the new state and of the predicted state.
    void BoundaryConditions2(_MeshNode**& mesh) override;
    void BoundaryConditionsProspect2(_MeshNode**& mesh) override;

private:
    using EdgeMirror = void (*)(_MeshNode& edge, const _MeshNode& inside);
    using NodeCompletion = void (NavierStokesEquations2D::*)(_MeshNode&, double, double, double,
                                                             double);
    void HoldEdges(_MeshNode** mesh, EdgeMirror mirror, NodeCompletion complete);
    bool IsOwnMesh(_MeshNode** mesh, int& imax, int& jmax);
    // Share of the left state in the initial field at column i: 1 far left, 0 far right.
    double LeftShare(int i) const;
};

}  // namespace Nembra
