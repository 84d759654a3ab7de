// Steps a default DiffusionEquation (301 points, dt = 0.1, dx = 1, beta = 1) from a single spike
// in the middle and prints the peak and the width of the profile every few steps.
//
// While the profile stays clear of the ends, the discrete scheme conserves the sum of the values
// and raises the variance by exactly 2 A per step, so the width (standard deviation, in grid
// units) must follow sqrt(2 A n). The program checks that and exits non-zero when it does not.
#include <Nembra/DiffusionEquation.h>

#include <cmath>
#include <cstdio>

namespace {

struct ProfileShape {
    double sum = 0.0;
    double peak = 0.0;
    double width = 0.0;  // standard deviation about the centre of mass, in grid units
};

// Moments are taken about `origin`, a point near the centre, to keep rounding small.
ProfileShape ShapeOf(const Nembra::DiffusionEquation& rod, int origin) {
    ProfileShape shape;
    double first = 0.0;
    double second = 0.0;
    for (int i = 0; i < rod.GetSamplingPoints(); ++i) {
        const double value = rod.GetSamplingPointsValue(i);
        shape.sum += value;
        shape.peak = std::fmax(shape.peak, value);
        const double x = i - origin;
        first += x * value;
        second += x * x * value;
    }
    const double mean = first / shape.sum;
    shape.width = std::sqrt(second / shape.sum - mean * mean);
    return shape;
}

}  // namespace

int main() {
    Nembra::DiffusionEquation rod;
    const int middle = rod.GetSegments() / 2;
    rod.SetSamplingPointsValue(middle, 1.0);

    // The spike's support widens by one point per step, so it stays clear of the ends for
    // fewer than `middle` steps.
    const int steps = 140;
    const int every = 10;
    const double a = rod.GetConstValue_A();
    std::printf("%d points, diffusion number A = %g, spike of 1 at point %d\n",
                rod.GetSamplingPoints(), a, middle);
    std::printf("%6s %12s %12s %14s %12s\n", "step", "peak", "width", "sqrt(2 A n)", "sum");

    bool consistent = true;
    for (int step = 0; step <= steps; ++step) {
        if (step % every == 0) {
            const ProfileShape shape = ShapeOf(rod, middle);
            const double exactWidth = std::sqrt(2.0 * a * step);
            std::printf("%6d %12.6f %12.6f %14.6f %12.9f\n", step, shape.peak, shape.width,
                        exactWidth, shape.sum);
            consistent = consistent && std::fabs(shape.width - exactWidth) < 1e-9 &&
                         std::fabs(shape.sum - 1.0) < 1e-12;
        }
        rod.UpdateDatas();
    }
    if (!consistent) {
        std::printf("the width did not follow sqrt(2 A n) or the sum was not kept\n");
        return 1;
    }
    return 0;
}
