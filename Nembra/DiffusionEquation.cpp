#include "Nembra/DiffusionEquation.h"

#include <algorithm>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace Nembra {
namespace {

// Below one segment the end copies of a step would read outside the profile, and the point
// count Segments + 1 must itself be an int. The message is built with a string stream: the
// integer formatting of std::to_string would add a template's static table to the library's
// exported symbols.
int CheckedSegments(int segments) {
    const int largest = std::numeric_limits<int>::max() - 1;
    if (segments >= 1 && segments <= largest) {
        return segments;
    }
    std::ostringstream message;
    message << "DiffusionEquation: segments = " << segments << ": ";
    if (segments < 1) {
        message << "the number of segments must be at least 1";
    } else {
        message << "the number of sampling points, segments + 1, must fit in int (segments at "
                   "most "
                << largest << ")";
    }
    throw std::invalid_argument(message.str());
}

double DiffusionNumber(double beta, double timeInterval, double coordinateStepSize) {
    return beta * timeInterval / (coordinateStepSize * coordinateStepSize);
}

// A moved-from object holds no profile; its copies hold none either.
double* CopyOfProfile(const double* values, int count) {
    if (values == nullptr) {
        return nullptr;
    }
    double* copy = new double[count];
    std::copy(values, values + count, copy);
    return copy;
}

}  // namespace

DiffusionEquation::DiffusionEquation() : DiffusionEquation(0.1, 1.0, 300, 1.0) {}

DiffusionEquation::DiffusionEquation(double timeInterval, double coordinateStepSize, int segments,
                                     double beta)
    : TimeStepCount(0),
      TimeInterval(timeInterval),
      CoordinateStepSize(coordinateStepSize),
      Segments(CheckedSegments(segments)),
      SamplingPoints(Segments + 1),
      SamplingPointsValues(new double[SamplingPoints]()),
      Beta(beta),
      ConstValue_A(DiffusionNumber(beta, timeInterval, coordinateStepSize)) {}

DiffusionEquation::DiffusionEquation(const DiffusionEquation& other)
    : TimeStepCount(other.TimeStepCount),
      TimeInterval(other.TimeInterval),
      CoordinateStepSize(other.CoordinateStepSize),
      Segments(other.Segments),
      SamplingPoints(other.SamplingPoints),
      SamplingPointsValues(CopyOfProfile(other.SamplingPointsValues, other.SamplingPoints)),
      Beta(other.Beta),
      ConstValue_A(other.ConstValue_A) {}

DiffusionEquation::DiffusionEquation(DiffusionEquation&& other) noexcept
    : TimeStepCount(other.TimeStepCount),
      TimeInterval(other.TimeInterval),
      CoordinateStepSize(other.CoordinateStepSize),
      Segments(other.Segments),
      SamplingPoints(other.SamplingPoints),
      SamplingPointsValues(std::exchange(other.SamplingPointsValues, nullptr)),
      Beta(other.Beta),
      ConstValue_A(other.ConstValue_A) {}

// The copy is made before anything of this object changes, so a failed allocation leaves it
// as it was, and assigning an object to itself copies from an intact source.
DiffusionEquation& DiffusionEquation::operator=(const DiffusionEquation& other) {
    DiffusionEquation copy(other);
    return *this = std::move(copy);
}

DiffusionEquation& DiffusionEquation::operator=(DiffusionEquation&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    delete[] SamplingPointsValues;
    TimeStepCount = other.TimeStepCount;
    TimeInterval = other.TimeInterval;
    CoordinateStepSize = other.CoordinateStepSize;
    Segments = other.Segments;
    SamplingPoints = other.SamplingPoints;
    SamplingPointsValues = std::exchange(other.SamplingPointsValues, nullptr);
    Beta = other.Beta;
    ConstValue_A = other.ConstValue_A;
    return *this;
}

DiffusionEquation::~DiffusionEquation() {
    delete[] SamplingPointsValues;
    SamplingPointsValues = nullptr;
}

int DiffusionEquation::GetTimeStepCount() const {
    return TimeStepCount;
}
double DiffusionEquation::GetTimeInterval() const {
    return TimeInterval;
}
double DiffusionEquation::GetCoordinateStepSize() const {
    return CoordinateStepSize;
}
int DiffusionEquation::GetSegments() const {
    return Segments;
}
int DiffusionEquation::GetSamplingPoints() const {
    return SamplingPoints;
}
double DiffusionEquation::GetBeta() const {
    return Beta;
}
double DiffusionEquation::GetConstValue_A() const {
    return ConstValue_A;
}

double DiffusionEquation::SetCoordinateStepSize(double coordinateStepSize) {
    CoordinateStepSize = coordinateStepSize;
    return CoordinateStepSize;
}

double DiffusionEquation::SetBeta(double beta) {
    Beta = beta;
    return Beta;
}

void DiffusionEquation::ChangeConstValue_A() {
    ConstValue_A = DiffusionNumber(Beta, TimeInterval, CoordinateStepSize);
}

bool DiffusionEquation::HoldsPoint(int index) const {
    return SamplingPointsValues != nullptr && index >= 0 && index < SamplingPoints;
}

double DiffusionEquation::GetSamplingPointsValue(int index) const {
    return HoldsPoint(index) ? SamplingPointsValues[index] : 0.0;
}

void DiffusionEquation::SetSamplingPointsValue(int index, double value) {
    if (HoldsPoint(index)) {
        SamplingPointsValues[index] = value;
    }
}

// Forward time, centred space, in place: the old value of the left neighbour is carried along
// so that every new value is computed from old values only.
void DiffusionEquation::UpdateDatas() {
    if (SamplingPointsValues == nullptr) {
        return;
    }
    double* const f = SamplingPointsValues;
    const int last = SamplingPoints - 1;
    const double a = ConstValue_A;
    double left = f[0];
    for (int i = 1; i < last; ++i) {
        const double centre = f[i];
        f[i] = centre + (left + (f[i + 1] - 2.0 * centre)) * a;
        left = centre;
    }
    // Zero-gradient ends, taken from the freshly updated neighbours.
    f[0] = f[1];
    f[last] = f[last - 1];
}

}  // namespace Nembra
