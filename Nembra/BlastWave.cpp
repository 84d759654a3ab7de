#include "Nembra/BlastWave.h"

#include <cmath>

namespace Nembra {

namespace {

constexpr double kAmbientPressure = 101325;
constexpr double kAmbientTemperature = 288.16;
// A pressure ratio of 10 drives a strong, clean circular shock: Mach 1.76 as it leaves the disc
// (the planar Riemann problem's figure), weakening as it spreads. The doubled temperature keeps
// the disc's density at 5 times the air's.
constexpr double kDiscPressure = 1013250;
constexpr double kDiscTemperature = 576.32;
// Large enough to span some 17 nodes of the default mesh, small enough to leave the shock room
// to become circular before the walls.
constexpr double kDiscRadiusPerSide = 0.15;

constexpr int kDefaultNodes = 141;
constexpr double kDefaultLength = 1e-5;
constexpr int kDefaultMaxStepCount = 1500;

// Offset of node index k from the middle of n nodes spaced by delta, exactly opposite for k and
// n - 1 - k: the disc is then the same on both sides of each mid-line.
double FromMiddle(int k, int n, double delta) {
    return (2.0 * k - (n - 1)) * (0.5 * delta);
}

}  // namespace

BlastWave::BlastWave()
    : BlastWave(kDefaultNodes, kDefaultNodes, kDefaultLength, kDefaultMaxStepCount) {}

BlastWave::BlastWave(int imax, int jmax, double lengthX, int maxStepCount)
    : NavierStokesEquations2D(imax, jmax, lengthX, maxStepCount) {}

double BlastWave::GetAmbientPressure() const {
    return kAmbientPressure;
}
double BlastWave::GetAmbientTemperature() const {
    return kAmbientTemperature;
}
double BlastWave::GetDiscPressure() const {
    return kDiscPressure;
}
double BlastWave::GetDiscTemperature() const {
    return kDiscTemperature;
}

double BlastWave::GetDiscRadius() const {
    const double side = GetLengthX() < GetLengthY() ? GetLengthX() : GetLengthY();
    return kDiscRadiusPerSide * side;
}

double BlastWave::DiscShare(int i, int j, int imax, int jmax) const {
    const double x = FromMiddle(i, imax, GetDeltaX());
    const double y = FromMiddle(j, jmax, GetDeltaY());
    const double spacing = GetDeltaX() < GetDeltaY() ? GetDeltaX() : GetDeltaY();
    return 0.5 * (1 - std::tanh((std::sqrt(x * x + y * y) - GetDiscRadius()) / spacing));
}

void BlastWave::SetMeshNodesValues(_MeshNode**& /*mesh*/) {
    int imax = 0;
    int jmax = 0;
    _MeshNode** nodes = GetMeshNodes(imax, jmax);
    if (nodes == nullptr) {
        return;
    }
    for (int i = 0; i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            const double disc = DiscShare(i, j, imax, jmax);
            // Nodes well outside keep the resting air that the closed box laid, to the bit.
            if (disc == 0) {
                continue;
            }
            SetMeshNodeValue(nodes[i][j], 0, 0,
                             kDiscTemperature * disc + kAmbientTemperature * (1 - disc),
                             kDiscPressure * disc + kAmbientPressure * (1 - disc));
        }
    }
}

}  // namespace Nembra
