#pragma once

#include "Nembra/Export.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace Nembra {

// The blast wave: air at rest at 288.16 K and 101325 Pa in the solver's closed box, with a disc
// of hot, compressed gas at rest at the centre of the box (1013250 Pa and 576.32 K inside a
// radius of 0.15 times the box's smaller side). The disc bursts: a circular shock runs out, a
// rarefaction runs in and refocuses at the centre; the shock reaches the walls and reflects.
//
// The disc's rim is a layer one node spacing thick: pressure and temperature pass from the
// disc's to the air's values as (1 - tanh((r - radius) / spacing)) / 2, the spacing being the
// smaller of DeltaX and DeltaY. A jump from one node to the next would excite the two-node wave
// that the scheme's central viscous terms cannot damp, and break the symmetry early.
//
// The edges are the base solver's (every edge node held at rest at 288.16 K and 101325 Pa); only
// the initial field differs. The field is laid symmetric about both mid-lines of the box to the
// bit, so any asymmetry that grows is the scheme's own (its predictor differences forwards, its
// corrector backwards).
//
// Drive it like its base: the first UpdateDatas call lays the field, every later call advances
// one time step.
class NEMBRA_API BlastWave : public NavierStokesEquations2D {
public:
    // The default box: 141 x 141 nodes over 1e-5 m (about 8.2e-6 m high), 1500 calls: the
    // shock reaches the upper and lower walls after about 500 steps, the side walls after about
    // 700, and the reflected waves are half way back to the centre at the end. Run on, the
    // walls' held state feeds a two-node ripple into the reflections and the symmetry drifts.
    BlastWave();
    // imax x jmax nodes over lengthX metres, maxStepCount calls of UpdateDatas; the box's
    // height follows from its length as in the base solver, the disc from the box.
    BlastWave(int imax, int jmax, double lengthX, int maxStepCount);

    double GetAmbientPressure() const;     // Pa
    double GetAmbientTemperature() const;  // K
    double GetDiscPressure() const;        // Pa
    double GetDiscTemperature() const;     // K
    // Radius, m, and centre (the middle of the box), m, of the disc.
    double GetDiscRadius() const;
    double GetCentreX() const { return GetLengthX() / 2; }
    double GetCentreY() const { return GetLengthY() / 2; }

protected:
    // The disc over the resting air that the base's closed box lays first.
    void SetMeshNodesValues(_MeshNode**& mesh) override;

private:
    // Share of the disc's state in the initial field at node (i, j): 1 inside, 0 outside.
    double DiscShare(int i, int j, int imax, int jmax) const;
};

}  // namespace Nembra
