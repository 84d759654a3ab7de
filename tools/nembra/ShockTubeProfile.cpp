#include "ShockTubeProfile.h"

#include <cmath>
#include <cstdio>

namespace nembra_cli {

Centreline ReadCentreline(Nembra::ShockTube& tube) {
    int imax = 0;
    int jmax = 0;
    Nembra::ShockTube::_MeshNode** rows = tube.GetMeshNodes(imax, jmax);
    Centreline line;
    if (rows == nullptr || jmax <= 0) {
        return line;
    }
    const int j = jmax / 2;
    for (int i = 0; i < imax; ++i) {
        const Nembra::ShockTube::_MeshNode& n = rows[i][j];
        line.x.push_back(i * tube.GetDeltaX());
        line.density.push_back(n.Rho);
        line.u.push_back(n.U);
        line.pressure.push_back(n.P);
        line.temperature.push_back(n.T);
    }
    return line;
}

std::string CentrelineCsv(const Centreline& line) {
    std::string text = "x,density,u,pressure,temperature\n";
    char row[160];
    for (std::size_t k = 0; k < line.x.size(); ++k) {
        std::snprintf(row, sizeof row, "%.17g,%.17g,%.17g,%.17g,%.17g\n", line.x[k],
                      line.density[k], line.u[k], line.pressure[k], line.temperature[k]);
        text += row;
    }
    return text;
}

double PlateauMean(const std::vector<double>& x, const std::vector<double>& values, double from,
                   double to) {
    const double quarter = (to - from) / 4;
    double sum = 0;
    int count = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (x[k] >= from + quarter && x[k] <= to - quarter) {
            sum += values[k];
            ++count;
        }
    }
    return count > 0 ? sum / count : std::nan("");
}

std::optional<double> ShockPosition(const std::vector<double>& x,
                                    const std::vector<double>& density, double level) {
    for (std::size_t k = density.size(); k-- > 1;) {
        const double behind = density[k - 1];
        const double ahead = density[k];
        if (behind >= level && ahead < level) {
            return x[k - 1] + (behind - level) / (behind - ahead) * (x[k] - x[k - 1]);
        }
    }
    return std::nullopt;
}

std::vector<ShockTubeFigure> CompareWithExact(const Centreline& line,
                                              const Nembra::ExactRiemannSolution& exact, double t,
                                              double length) {
    const double x0 = exact.GetDiaphragm();
    const double tail = x0 + exact.GetLeftTailSpeed() * t;
    const double contact = x0 + exact.GetContactSpeed() * t;
    const double shock = x0 + exact.GetRightHeadSpeed() * t;
    auto relative = [](double computed, double wanted) { return (computed - wanted) / wanted; };
    auto plateau = [&](std::string name, std::string key, std::string unit,
                       const std::vector<double>& values, double from, double to, double wanted) {
        const double computed = PlateauMean(line.x, values, from, to);
        return ShockTubeFigure{std::move(name), std::move(key), std::move(unit),
                               computed,        wanted,         relative(computed, wanted)};
    };
    std::vector<ShockTubeFigure> figures = {
        plateau("star pressure", "star_pressure", "Pa", line.pressure, tail, shock,
                exact.GetStarPressure()),
        plateau("star velocity", "star_velocity", "m/s", line.u, tail, shock,
                exact.GetStarVelocity()),
        plateau("star density, left of the contact", "star_density_left", "kg/m³", line.density,
                tail, contact, exact.GetStarDensityLeft()),
        plateau("star density, right of the contact", "star_density_right", "kg/m³", line.density,
                contact, shock, exact.GetStarDensityRight()),
    };
    const double level = 0.5 * (exact.GetRight().Density + exact.GetStarDensityRight());
    const double found = ShockPosition(line.x, line.density, level).value_or(std::nan(""));
    figures.push_back(
        {"shock position", "shock_position", "m", found, shock, (found - shock) / length});
    return figures;
}

}  // namespace nembra_cli
