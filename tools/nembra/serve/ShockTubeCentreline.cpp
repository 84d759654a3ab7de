#include "ShockTubeCentreline.h"

#include <cmath>
#include <limits>

#include "Nembra/ShockTube.h"

namespace nembra_cli {

namespace {

using State = Nembra::ExactRiemannSolution::State;

// The quantity from the exact solution's primitive state of a perfect gas at rest across y.
double ExactValue(const State& s, const std::string& quantity, double gamma, double gasConstant) {
    if (quantity == "density" || quantity == "Rho") {
        return s.Density;
    }
    if (quantity == "pressure" || quantity == "P") {
        return s.Pressure;
    }
    if (quantity == "u" || quantity == "U") {
        return s.Velocity;
    }
    if (quantity == "v" || quantity == "V") {
        return 0.0;
    }
    if (quantity == "speed") {
        return std::abs(s.Velocity);
    }
    if (quantity == "temperature" || quantity == "T") {
        return s.Pressure / (s.Density * gasConstant);
    }
    if (quantity == "mach") {
        return std::abs(s.Velocity) / std::sqrt(gamma * s.Pressure / s.Density);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

std::optional<std::vector<double>> ShockTubeCentreline(Nembra::NavierStokesEquations2D& solver,
                                                       const std::vector<double>& values,
                                                       const std::string& quantity,
                                                       double modelTime) {
    const auto* tube = dynamic_cast<const Nembra::ShockTube*>(&solver);
    int nx = 0;
    int ny = 0;
    if (tube == nullptr || solver.GetMeshNodes(nx, ny) == nullptr ||
        values.size() != static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny)) {
        return std::nullopt;
    }
    const Nembra::ExactRiemannSolution exact = tube->GetExactSolution();
    const std::size_t middle = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny / 2);
    std::vector<double> rows(2 * static_cast<std::size_t>(nx));
    for (int i = 0; i < nx; ++i) {
        rows[static_cast<std::size_t>(i)] = values[middle + static_cast<std::size_t>(i)];
        const State s = exact.Sample(i * solver.GetDeltaX(), modelTime);
        rows[static_cast<std::size_t>(nx + i)] =
            ExactValue(s, quantity, solver.GetGamma(), solver.GetGasConstant());
    }
    return rows;
}

}  // namespace nembra_cli
