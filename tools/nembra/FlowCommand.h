#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "FlowCases.h"
#include "OptionRules.h"

namespace nembra_cli {

struct FlowOptions {
    std::string caseName = "closed-box";
    std::optional<int> nodesX;
    std::optional<int> nodesY;
    std::optional<double> lengthX;
    std::optional<int> maxSteps;
    std::optional<int> calls;         // default: the solver's step limit
    std::optional<double> untilTime;  // model time that ends the run; default: the case's
    int snapshotEvery = 1000;         // time steps between snapshots
    std::vector<std::string> fields;  // default: the case's
    std::vector<std::string> formats{"png", "vtk", "json"};
    std::string output = "nembra-out/flow";
    std::optional<double> pixelsPerNode;
    bool quiet = false;
    // Every case, holding its own options; the one named by caseName runs.
    FlowCaseList cases = MakeFlowCases();

    const FlowCase& ChosenCase() const { return FindFlowCase(cases, caseName); }
};

// Registers `flow` and its options on the application; the options land in `options`.
CLI::App* AddFlowCommand(CLI::App& app, FlowOptions& options);

// Runs a parsed `flow` command. Throws UsageError for bad input before any simulation work;
// returns the exit status otherwise.
int RunFlow(const FlowOptions& options, Console& console);

}  // namespace nembra_cli
