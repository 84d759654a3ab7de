#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {

// For the shock tube: the shown quantity along the tube's middle row, followed by the exact
// inviscid solution of the same quantity at the same model time (NaN for a quantity the exact
// solution does not give, such as a flux). Absent for every other case.
std::optional<std::vector<double>> ShockTubeCentreline(Nembra::NavierStokesEquations2D& solver,
                                                       const std::vector<double>& values,
                                                       const std::string& quantity,
                                                       double modelTime);

}  // namespace nembra_cli
