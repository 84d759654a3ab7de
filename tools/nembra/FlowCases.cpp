#include "FlowCases.h"

#include <stdexcept>

namespace nembra_cli {

namespace {

// Solvers share the library's two constructors: the compiled-in setting or the given geometry.
template <typename Solver>
std::unique_ptr<Solver> Construct(const std::optional<FlowGeometry>& geometry) {
    if (!geometry) {
        return std::make_unique<Solver>();
    }
    return std::make_unique<Solver>(geometry->nodesX, geometry->nodesY, geometry->lengthX,
                                    geometry->maxStepCount);
}

std::unique_ptr<Nembra::NavierStokesEquations2D> CreateClosedBox(const FlowCaseSettings& settings) {
    return Construct<Nembra::NavierStokesEquations2D>(settings.geometry);
}

std::unique_ptr<Nembra::NavierStokesEquations2D> CreateFlatPlate(const FlowCaseSettings& settings) {
    std::unique_ptr<Nembra::SupersonicFlatPlate> plate =
        Construct<Nembra::SupersonicFlatPlate>(settings.geometry);
    plate->SetWallCondition(settings.wall);
    return plate;
}

}  // namespace

const std::vector<FlowCase>& FlowCases() {
    static const std::vector<FlowCase> cases = {
        {"closed-box",
         "air at rest in a closed box with a hot, high-pressure, fast-moving block at its centre",
         &CreateClosedBox},
        {"flat-plate",
         "Mach 4 free stream over a flat plate, the textbook validation case (see --wall and "
         "--until-converged)",
         &CreateFlatPlate},
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
