#include "FlowCases.h"

#include <stdexcept>

#include "Nembra/SupersonicFlatPlate.h"

namespace nembra_cli {

namespace {

template <typename Solver>
std::unique_ptr<Nembra::NavierStokesEquations2D> Create(
    const std::optional<FlowGeometry>& geometry) {
    if (!geometry) {
        return std::make_unique<Solver>();
    }
    return std::make_unique<Solver>(geometry->nodesX, geometry->nodesY, geometry->lengthX,
                                    geometry->maxStepCount);
}

}  // namespace

const std::vector<FlowCase>& FlowCases() {
    static const std::vector<FlowCase> cases = {
        {"closed-box",
         "air at rest in a closed box with a hot, high-pressure, fast-moving block at its centre",
         &Create<Nembra::NavierStokesEquations2D>},
        {"flat-plate",
         "Mach 4 free stream over a flat plate, the textbook validation case (see --wall and "
         "--until-converged)",
         &Create<Nembra::SupersonicFlatPlate>},
    };
    return cases;
}

std::vector<std::string> FlowCaseNames() {
    std::vector<std::string> names;
    for (const FlowCase& c : FlowCases()) {
        names.push_back(c.name);
    }
    return names;
}

const FlowCase& FindFlowCase(const std::string& name) {
    for (const FlowCase& c : FlowCases()) {
        if (c.name == name) {
            return c;
        }
    }
    throw std::invalid_argument("unknown flow case '" + name + "'");
}

}  // namespace nembra_cli
