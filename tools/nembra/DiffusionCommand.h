#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Nembra/DiffusionEquation.h"
#include "OptionRules.h"

namespace nembra_cli {

struct DiffusionOptions {
    std::optional<double> timeInterval;
    std::optional<double> spacing;
    std::optional<int> segments;
    std::optional<double> beta;
    std::string initial = "gaussian";
    std::optional<std::string> initialCsv;  // one value per line; replaces --initial
    int steps = 2000;
    int snapshotEvery = 200;
    std::vector<std::string> formats{"csv", "png", "json"};
    std::string output = "nembra-out/diffusion";
    bool logY = false;       // profile plot by decades
    bool overwrite = false;  // replace another run's files in the output folder
    bool quiet = false;
};

CLI::App* AddDiffusionCommand(CLI::App& app, DiffusionOptions& options);

// Runs a parsed `diffusion` command. Throws UsageError for bad input before any simulation
// work; returns the exit status otherwise.
int RunDiffusion(const DiffusionOptions& options, Console& console);

// The four-argument solver with `segments` segments and the given options, the others at their
// defaults. Throws UsageError when it would not fit in memory.
std::unique_ptr<Nembra::DiffusionEquation> MakeDiffusionSolver(const DiffusionOptions& options,
                                                               int segments);

const std::vector<std::string>& InitialProfileNames();

// The named initial profile on `points` sampling points: a unit spike at the middle point, a
// Gaussian of unit height centred there, or a unit step down at the middle.
std::vector<double> InitialProfile(const std::string& shape, int points);

}  // namespace nembra_cli
