#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "FlowCases.h"
#include "OptionRules.h"
#include "PictureOptions.h"

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
    PictureOptions pictures;  // --range, --log
    bool overwrite = false;   // replace another run's files in the output folder
    std::string output = "nembra-out/flow";
    std::optional<double> pixelsPerNode;
    bool quiet = false;
    std::optional<int> checkpointEvery;  // time steps between checkpoints; none without it
    std::optional<std::string> resume;   // checkpoint to continue from
    const CLI::App* command = nullptr;   // the parsed command, to tell which options were given
    // Every case, holding its own options; the one named by caseName runs.
    FlowCaseList cases = MakeFlowCases();

    const FlowCase& ChosenCase() const { return FindFlowCase(cases, caseName); }
};

// Registers `flow` and its options on the application; the options land in `options`.
CLI::App* AddFlowCommand(CLI::App& app, FlowOptions& options);

// True when the option (by its long name, "--nx") was given on the command line.
bool Given(const FlowOptions& options, const std::string& name);

// The geometry given by --nx, --ny, --length and --max-steps, unset ones taken from the compiled-in
// setting; absent when none was given.
std::optional<FlowGeometry> GeometryFrom(const FlowOptions& options);

// Runs a parsed `flow` command. Throws UsageError for bad input before any simulation work;
// returns the exit status otherwise. A run resumed from a checkpoint takes its options from it.
int RunFlow(FlowOptions& options, Console& console);

}  // namespace nembra_cli
