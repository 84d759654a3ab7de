#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "OutputFiles.h"
#include "RunReport.h"

// What the flow command adds for the flat-plate case: the wall option, running until the field
// settles, the textbook's line plots and the comparison with the published results.
namespace nembra_cli {

struct FlowOptions;

// --wall and --until-converged.
void AddFlatPlateOptions(CLI::App& flow, FlowOptions& options);

// The solver as a flat plate, or null for any other case.
Nembra::SupersonicFlatPlate* AsFlatPlate(Nembra::NavierStokesEquations2D& solver);

// The wall chosen with --wall (isothermal unless given).
Nembra::SupersonicFlatPlate::WallCondition FlatPlateWall(const FlowOptions& options);

// Throws UsageError when a flat-plate option is given for another case.
void CheckFlatPlateOptions(Nembra::NavierStokesEquations2D& solver, const FlowOptions& options);

// True once --until-converged is given and the last step changed no density by its tolerance.
bool ReachedConvergence(Nembra::NavierStokesEquations2D& solver, const FlowOptions& options);

// One figure of the steady flow, in free-stream units, with the published value where the run
// is the textbook's setting.
struct FlatPlateFigure {
    std::string name;  // as printed
    std::string key;   // in the JSON summary
    double ours = 0.0;
    std::optional<double> published;
};
std::vector<FlatPlateFigure> MeasureFlatPlate(Nembra::SupersonicFlatPlate& plate);

// Wall distributions along the plate and trailing-edge profiles against
// ybar = (y / L) sqrt(Re_L), as PNG line plots; nothing for other cases or without png.
void WriteFlatPlatePlots(Nembra::NavierStokesEquations2D& solver, const FlowOptions& options,
                         const fs::path& directory, OutputLog& log);

// Convergence and the figures, for the closing table and the JSON summary.
void AddFlatPlateFigures(Nembra::NavierStokesEquations2D& solver, const FlowOptions& options,
                         int steps, RunReport& report);
void AddFlatPlateSummary(Nembra::NavierStokesEquations2D& solver, const FlowOptions& options,
                         nlohmann::json& summary);

}  // namespace nembra_cli
