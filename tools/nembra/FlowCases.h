#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/SupersonicFlatPlate.h"

namespace nembra_cli {

// Mesh and run length of the solver's four-argument constructor; absent when the user gave none
// of them, so the default constructor (the compiled-in setting) is used.
struct FlowGeometry {
    int nodesX;
    int nodesY;
    double lengthX;
    int maxStepCount;
};

// What the command line decides about the solver it builds; case-specific choices join here.
struct FlowCaseSettings {
    std::optional<FlowGeometry> geometry;
    Nembra::SupersonicFlatPlate::WallCondition wall =
        Nembra::SupersonicFlatPlate::WallCondition::Isothermal;
};

// A flow problem the command can run: a solver class and how it is built.
struct FlowCase {
    std::string name;
    std::string description;
    std::unique_ptr<Nembra::NavierStokesEquations2D> (*create)(const FlowCaseSettings& settings);
};

const std::vector<FlowCase>& FlowCases();
std::vector<std::string> FlowCaseNames();
const FlowCase& FindFlowCase(const std::string& name);

}  // namespace nembra_cli
