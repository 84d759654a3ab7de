#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Checkpoint.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "OutputFiles.h"
#include "RunReport.h"
#include "SnapshotWriter.h"

// The flow problems of `nembra flow`. The command knows a case only through the FlowCase hooks
// below; a new case is one class in a file of its own, added to the list in FlowCases.cpp.
namespace nembra_cli {

// Mesh and run length of the solver's four-argument constructor; absent when the user gave none
// of them, so the default constructor (the case's compiled-in setting) is used.
struct FlowGeometry {
    int nodesX;
    int nodesY;
    double lengthX;
    int maxStepCount;
};

// Where a run stands when a case is asked about it: after the last time step taken.
struct FlowProgress {
    int steps = 0;             // time steps taken (the first call, which lays the field, is none)
    double modelTime = 0.0;    // seconds of model time those steps covered
    bool interrupted = false;  // stopped by a signal before its own end
};

// What a case's end-of-run outputs need to know beyond the solver.
struct FlowResultFiles {
    fs::path directory;
    bool pictures = false;  // png is among the chosen formats
};

class FlowCase {
public:
    FlowCase(std::string name, std::string description)
        : name_(std::move(name)), description_(std::move(description)) {}
    virtual ~FlowCase() = default;
    FlowCase(const FlowCase&) = delete;
    FlowCase& operator=(const FlowCase&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Description() const { return description_; }

    // Registers the case's own options on the flow command (through Own, so that giving one for
    // another case is refused); their values live in the case object.
    virtual void AddOptions(CLI::App& /*flow*/) {}

    // The solver, default-constructed without a geometry. May throw UsageError for an option
    // combination that the case cannot run.
    virtual std::unique_ptr<Nembra::NavierStokesEquations2D> Create(
        const std::optional<FlowGeometry>& geometry) const = 0;

    // Fields drawn as heat maps when --fields is not given.
    virtual std::vector<std::string> DefaultFields() const { return {"density"}; }

    // Colour scales of the case's heat maps where neither --range nor --log names the field;
    // by default each field keeps the range of its first varied snapshot.
    virtual std::vector<PictureScale> DefaultScales(
        Nembra::NavierStokesEquations2D& /*solver*/) const {
        return {};
    }

    // Model time, s, at which the run ends when --until-time is not given; none runs on to the
    // step limit.
    virtual std::optional<double> DefaultEndTime(
        Nembra::NavierStokesEquations2D& /*solver*/) const {
        return std::nullopt;
    }

    // Asked after every time step: true ends the run there (a steady state reached, ...).
    virtual bool ReachedStop(Nembra::NavierStokesEquations2D& /*solver*/) const { return false; }

    // Files of the final state beyond the snapshots (line plots, tables); each logged.
    virtual void WriteResults(Nembra::NavierStokesEquations2D& /*solver*/,
                              const FlowProgress& /*run*/, const FlowResultFiles& /*files*/,
                              OutputLog& /*log*/) const {}

    // The case's figures of the final state, for the closing table and the JSON summary.
    virtual void AddFigures(Nembra::NavierStokesEquations2D& /*solver*/,
                            const FlowProgress& /*run*/, RunReport& /*report*/) const {}
    virtual void AddSummary(Nembra::NavierStokesEquations2D& /*solver*/,
                            const FlowProgress& /*run*/, nlohmann::json& /*summary*/) const {}

    // Checkpoints (docs/checkpoints.md): the case's own state beyond the mesh and the solver's
    // members, and the solver that continues a stored run of the case: a ResumedFlow of the
    // case's class (ResumedFlow.h) built from `arguments` and `records`, with `state` restored.
    // Resume throws CheckpointError naming `file` when the state is not the case's or
    // contradicts one of its options given on the command line.
    virtual CaseState SaveState(Nembra::NavierStokesEquations2D& /*solver*/) const { return {}; }
    virtual std::unique_ptr<Nembra::NavierStokesEquations2D> Resume(
        const ResumeArguments& arguments, std::vector<FlowNode> records, const CaseState& state,
        const std::string& file) const = 0;

    // Throws UsageError naming the first option of this case that was given although
    // `chosen` runs.
    void RefuseOptionsFor(const FlowCase& chosen) const;

protected:
    // Marks `option` as this case's; `refusal` says why another case has no use for it.
    CLI::Option* Own(CLI::Option* option, std::string refusal);

private:
    std::string name_;
    std::string description_;
    std::vector<std::pair<const CLI::Option*, std::string>> ownOptions_;
};

using FlowCaseList = std::vector<std::unique_ptr<FlowCase>>;

// The cases, one file each.
std::unique_ptr<FlowCase> MakeClosedBoxCase();
std::unique_ptr<FlowCase> MakeFlatPlateCase();
std::unique_ptr<FlowCase> MakeShockTubeCase();
std::unique_ptr<FlowCase> MakeBlastWaveCase();

// Every case, created afresh for each command line so that option values belong to one parse.
FlowCaseList MakeFlowCases();
std::vector<std::string> FlowCaseNames(const FlowCaseList& cases);
const FlowCase& FindFlowCase(const FlowCaseList& cases, const std::string& name);

// Solvers share the library's two constructors: the compiled-in setting or the given geometry.
template <typename Solver>
std::unique_ptr<Solver> ConstructSolver(const std::optional<FlowGeometry>& geometry) {
    if (!geometry) {
        return std::make_unique<Solver>();
    }
    return std::make_unique<Solver>(geometry->nodesX, geometry->nodesY, geometry->lengthX,
                                    geometry->maxStepCount);
}

}  // namespace nembra_cli
