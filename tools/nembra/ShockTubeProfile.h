#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Nembra/ExactRiemannSolution.h"
#include "Nembra/ShockTube.h"

// The shock tube's computed profile along its middle row and the figures that compare it with
// the exact solution: the star plateaus and the shock's position.
namespace nembra_cli {

struct Centreline {
    std::vector<double> x;  // m
    std::vector<double> density;
    std::vector<double> u;
    std::vector<double> pressure;
    std::vector<double> temperature;
};

// The nodes of row j = JMax / 2, in SI units.
Centreline ReadCentreline(Nembra::ShockTube& tube);

// Header x,density,u,pressure,temperature and one line per node, 17 significant digits.
std::string CentrelineCsv(const Centreline& line);

// Mean of the values at the positions inside the middle half of [from, to]; NaN when no
// position lies there.
double PlateauMean(const std::vector<double>& x, const std::vector<double>& values, double from,
                   double to);

// Where the density first falls through `level`, coming from the right end, by linear
// interpolation between the two nodes around it; none when it never does.
std::optional<double> ShockPosition(const std::vector<double>& x,
                                    const std::vector<double>& density, double level);

// One computed figure beside the exact one.
struct ShockTubeFigure {
    std::string name;  // as printed
    std::string key;   // in the JSON summary
    std::string unit;
    double computed = 0.0;
    double exact = 0.0;
    double difference = 0.0;  // relative to the exact value, or to the tube's length for the shock
};

// The star pressure and velocity (over the middle half of fan tail to shock), the two star
// densities (fan tail to contact, contact to shock) and the shock's position (where the density
// crosses midway between the right state and the shocked state), at model time t.
std::vector<ShockTubeFigure> CompareWithExact(const Centreline& line,
                                              const Nembra::ExactRiemannSolution& exact, double t,
                                              double length);

}  // namespace nembra_cli
