#pragma once

#include "Nembra/Export.h"

namespace Nembra {

// Explicit forward-time, centred-space solver of the 1-D diffusion (heat) equation
//   df/dt = Beta * d2f/dx2
// on SamplingPoints = Segments + 1 uniformly spaced points with zero-gradient ends.
// The diffusion number A = Beta * dt / dx^2 is kept but not checked: A > 0.5 is unstable.
class NEMBRA_API DiffusionEquation {
public:
    // 300 segments, dt = 0.1, dx = 1.0, Beta = 1.0, a zero profile.
    DiffusionEquation();
    // Throws std::invalid_argument when segments < 1 or segments + 1 does not fit in int.
    DiffusionEquation(double timeInterval, double coordinateStepSize, int segments, double beta);
    DiffusionEquation(const DiffusionEquation& other);
    DiffusionEquation(DiffusionEquation&& other) noexcept;
    DiffusionEquation& operator=(const DiffusionEquation& other);
    DiffusionEquation& operator=(DiffusionEquation&& other) noexcept;
    virtual ~DiffusionEquation();

    int GetTimeStepCount() const;
    double GetTimeInterval() const;
    double GetCoordinateStepSize() const;
    int GetSegments() const;
    int GetSamplingPoints() const;
    double GetBeta() const;
    double GetConstValue_A() const;

    // Store the new value and return it; A is recomputed only by ChangeConstValue_A.
    double SetCoordinateStepSize(double coordinateStepSize);
    double SetBeta(double beta);
    void ChangeConstValue_A();

    // Outside [0, SamplingPoints), or on an object without a profile (moved from), the read
    // gives 0.0 and the write does nothing.
    double GetSamplingPointsValue(int index) const;
    void SetSamplingPointsValue(int index, double value);

    // Advances the profile by one time step.
    void UpdateDatas();

private:
    bool HoldsPoint(int index) const;

    int TimeStepCount;
    double TimeInterval;
    double CoordinateStepSize;
    int Segments;
    int SamplingPoints;
    double* SamplingPointsValues;
    double Beta;
    double ConstValue_A;
};

}  // namespace Nembra
