#pragma once

#include "Nembra/Export.h"

namespace Nembra {

// The exact solution of the Riemann problem of the 1-D Euler equations for a perfect gas: two
// uniform states at rest or moving, separated at t = 0 by a diaphragm at x = Diaphragm. For
// t > 0 a left wave (a shock or a rarefaction fan), a contact discontinuity and a right wave
// separate four uniform regions: left, left star, right star, right. Both star regions share
// the star pressure and velocity, found by Newton iteration on the pressure function to
// rounding.
//
// It holds no reference to a solver: a host builds it from the states of a shock tube (see
// ShockTube::GetExactSolution) or from any other two states, and samples the profile at (x, t).
//
// Units are the caller's, consistently (SI for the solver's shock tube); only ratios matter.
class NEMBRA_API ExactRiemannSolution {
public:
    // Primitive state of the gas at one point.
    struct State {
        double Density;
        double Velocity;  // along x
        double Pressure;
    };

    // Solves the problem. Throws std::invalid_argument when a density or pressure is not
    // positive and finite, a velocity is not finite, gamma is not above 1, or the two states
    // would pull a vacuum between them (pressure positivity: the velocity difference
    // uR - uL at least 2 (aL + aR) / (gamma - 1)), for which no star state exists.
    ExactRiemannSolution(const State& left, const State& right, double gamma,
                         double diaphragm = 0.0);

    const State& GetLeft() const { return Left; }
    const State& GetRight() const { return Right; }
    double GetGamma() const { return Gamma; }
    double GetDiaphragm() const { return Diaphragm; }

    // The star region between the two waves.
    double GetStarPressure() const { return StarPressure; }
    double GetStarVelocity() const { return StarVelocity; }
    double GetStarDensityLeft() const { return StarDensityLeft; }    // left of the contact
    double GetStarDensityRight() const { return StarDensityRight; }  // right of the contact

    // A wave is a shock when the star pressure exceeds the pressure ahead of it, a rarefaction
    // fan otherwise.
    bool IsLeftWaveShock() const { return StarPressure > Left.Pressure; }
    bool IsRightWaveShock() const { return StarPressure > Right.Pressure; }
    // Speed of the left shock, or of the head and tail of the left fan (equal for a shock).
    double GetLeftHeadSpeed() const { return LeftHeadSpeed; }
    double GetLeftTailSpeed() const { return LeftTailSpeed; }
    // Speed of the right shock, or of the head and tail of the right fan (equal for a shock).
    double GetRightHeadSpeed() const { return RightHeadSpeed; }
    double GetRightTailSpeed() const { return RightTailSpeed; }
    // The contact moves with the star velocity.
    double GetContactSpeed() const { return StarVelocity; }

    // The gas at position x and time t. For t <= 0 the initial states (the diaphragm point
    // belongs to the right); at a discontinuity the state behind the wave is returned. Every
    // (x, t) with finite values gives a finite state.
    State Sample(double x, double t) const;

private:
    // The state on the ray dx/dt = s from the diaphragm.
    State SampleRay(double s) const;
    State SampleLeftOfContact(double s) const;
    State SampleRightOfContact(double s) const;
    void SolveStar();
    double SoundSpeed(const State& state) const;

    State Left;
    State Right;
    double Gamma;
    double Diaphragm;
    double StarPressure;
    double StarVelocity;
    double StarDensityLeft;
    double StarDensityRight;
    double LeftHeadSpeed;
    double LeftTailSpeed;
    double RightHeadSpeed;
    double RightTailSpeed;
};

}  // namespace Nembra
