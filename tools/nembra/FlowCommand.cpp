#include "FlowCommand.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>

#include "FlowCases.h"
#include "FlowCheckpointing.h"
#include "FlowFields.h"
#include "FlowResume.h"
#include "Interrupt.h"
#include "JsonOutput.h"
#include "LibraryOutput.h"
#include "PngOutput.h"
#include "Progress.h"
#include "RunReport.h"
#include "SnapshotWriter.h"

namespace nembra_cli {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> FieldNames() {
    std::vector<std::string> names;
    for (const FieldInfo& info : AllFlowFields()) {
        names.push_back(info.name);
    }
    return names;
}

std::vector<std::string> ChosenFields(const FlowOptions& o) {
    return o.fields.empty() ? o.ChosenCase().DefaultFields() : o.fields;
}

std::vector<FlowField> PictureFields(const FlowOptions& o) {
    std::vector<FlowField> fields;
    if (!Contains(o.formats, "png")) {
        return fields;
    }
    for (const std::string& name : ChosenFields(o)) {
        const FlowField field = *FindFlowField(name);
        bool listed = false;
        for (FlowField f : fields) {
            listed = listed || f == field;
        }
        if (!listed) {
            fields.push_back(field);
        }
    }
    return fields;
}

// Where a run stands; a resumed run starts from the stored run's figures.
struct FlowTally : RunCounts {
    bool interrupted = false;
    bool reachedEndTime = false;
};

// Everything decided before the first solver call.
struct FlowPlan {
    std::unique_ptr<Nembra::NavierStokesEquations2D> solver;
    int stepOffset = 0;  // the stored run's calls before the resumed solver's first
    std::optional<FlowGeometry> geometry;
    int nx = 0;
    int ny = 0;
    int calls = 0;
    std::optional<double> endTime;  // model time, s, after which no step is taken
    SnapshotFiles files;
    bool summary = true;
    FlowTally start;
    SnapshotSeries series;  // the stored run's .pvd collection and colour scales
};

std::map<FlowField, ColorScale> SeriesScales(const std::vector<FieldScale>& stored) {
    std::map<FlowField, ColorScale> scales;
    for (const FieldScale& s : stored) {
        if (const std::optional<FlowField> field = FindFlowField(s.field)) {
            scales.emplace(*field, s.scale);
        }
    }
    return scales;
}

std::vector<FieldScale> StoredScales(const std::map<FlowField, ColorScale>& scales) {
    std::vector<FieldScale> stored;
    for (const auto& [field, scale] : scales) {
        stored.push_back({DescribeField(field).name, scale});
    }
    return stored;
}

// The stored run's solver, figures and series.
void ResumeFrom(Checkpoint& stored, const FlowOptions& o, FlowPlan& plan) {
    RequireMemoryFor(static_cast<double>(stored.solver.nodesX) * stored.solver.nodesY *
                         sizeof(Nembra::NavierStokesEquations2D::_MeshNode),
                     "--resume");
    if (o.maxSteps) {
        stored.solver.maxStepCount = *o.maxSteps;
    }
    try {
        ResumedSolver resumed =
            ResumeFlow(stored, o.ChosenCase(), "checkpoint '" + *o.resume + "'");
        plan.solver = std::move(resumed.solver);
        plan.stepOffset = resumed.stepOffset;
    } catch (const CheckpointError& e) {
        throw CannotResume(e);
    }
    static_cast<RunCounts&>(plan.start) = stored.run;
    plan.series = SnapshotSeries{stored.run.series, SeriesScales(stored.run.scales)};
}

FlowPlan PlanFlow(const FlowOptions& o, Checkpoint* stored) {
    FlowPlan plan;
    for (const auto& c : o.cases) {
        c->RefuseOptionsFor(o.ChosenCase());
    }
    plan.geometry = GeometryFrom(o);
    if (plan.geometry) {
        RequireMemoryFor(static_cast<double>(plan.geometry->nodesX) * plan.geometry->nodesY *
                             sizeof(Nembra::NavierStokesEquations2D::_MeshNode),
                         "--nx/--ny");
    }
    const LibraryMessages messages;
    if (stored != nullptr) {
        ResumeFrom(*stored, o, plan);
    } else {
        plan.solver = o.ChosenCase().Create(plan.geometry);
    }
    if (plan.solver->GetMeshNodes(plan.nx, plan.ny) == nullptr) {
        throw UsageError("--nx/--ny: the solver could not allocate a mesh of " +
                         std::to_string(plan.geometry ? plan.geometry->nodesX : 0) + " × " +
                         std::to_string(plan.geometry ? plan.geometry->nodesY : 0) +
                         " nodes (the library's message: \"" + messages.Text() + "\")");
    }
    plan.endTime = o.untilTime ? o.untilTime : o.ChosenCase().DefaultEndTime(*plan.solver);
    const int limit = plan.solver->GetMaxStepCount() + plan.stepOffset;
    const int left = plan.solver->GetMaxStepCount() - plan.solver->GetStepCount();
    plan.calls = o.calls.value_or(left);
    if (plan.calls > left) {
        throw UsageError("--calls: must not exceed the " + std::to_string(left) +
                         " calls left before the step limit " + std::to_string(limit) +
                         " (calls beyond it do nothing; raise it with --max-steps), got " +
                         std::to_string(plan.calls));
    }
    plan.files.directory = o.output;
    plan.files.pictures = PictureFields(o);
    plan.files.scales = PictureScales(o.pictures);
    // A field named by --range or --log on a resumed run is drawn as the user chose from here on.
    for (const PictureScale& chosen : plan.files.scales) {
        plan.series.scales.erase(chosen.field);
    }
    // After the user's choices, so that a field named by --range or --log keeps those alone.
    for (const PictureScale& scale : o.ChosenCase().DefaultScales(*plan.solver)) {
        plan.files.scales.push_back(scale);
    }
    plan.files.vtk = Contains(o.formats, "vtk");
    if (!plan.files.pictures.empty()) {
        plan.files.cellWidth = ChooseCellWidth(o.pixelsPerNode, plan.nx);
    }
    plan.summary = Contains(o.formats, "json");
    try {
        // A resumed run continues its own series in its folder: nothing there is another run's.
        PrepareOutputDirectory(plan.files.directory, o.overwrite, o.resume.has_value());
    } catch (const OutputError& e) {
        throw UsageError(std::string("--output: ") + e.what());
    }
    return plan;
}

FlowProgress ProgressOf(const FlowTally& tally) {
    return FlowProgress{tally.steps, tally.modelTime, tally.interrupted};
}

double SecondsPerStep(const FlowTally& tally) {
    return tally.steps > 0 ? tally.solverSeconds / tally.steps : 0.0;
}

double NodeUpdatesPerSecond(const FlowPlan& plan, const FlowTally& tally) {
    const double perStep = SecondsPerStep(tally);
    return perStep > 0.0 ? static_cast<double>(plan.nx) * plan.ny / perStep : 0.0;
}

nlohmann::json SummaryJson(const FlowOptions& o, const FlowPlan& plan, const FlowTally& tally) {
    Nembra::NavierStokesEquations2D& solver = *plan.solver;
    const FlowSnapshot last = CaptureSnapshot(solver, tally.calls, tally.steps, tally.modelTime);
    nlohmann::json ranges = nlohmann::json::object();
    for (const FieldInfo& info : AllFlowFields()) {
        ranges[info.name] = RangeJson(FiniteRange(FieldValues(last, info.field)));
    }
    ranges["viscosity"] = RangeJson(FiniteRange(last.mu));
    return {
        {"command", "flow"},
        {"case", o.caseName},
        {"parameters",
         {{"constructor", plan.geometry ? "four-argument" : "default"},
          {"nodes_x", plan.nx},
          {"nodes_y", plan.ny},
          {"length_x", solver.GetLengthX()},
          {"length_y", solver.GetLengthY()},
          {"delta_x", solver.GetDeltaX()},
          {"delta_y", solver.GetDeltaY()},
          {"max_step_count", solver.GetMaxStepCount() + plan.stepOffset},
          {"calls", plan.calls},
          {"snapshot_every", o.snapshotEvery},
          {"fields", ChosenFields(o)},
          {"formats", o.formats},
          {"reynolds_l", solver.GetReynoldsL()},
          {"courant", solver.GetCourant()},
          {"gamma", solver.GetGamma()},
          {"gas_constant", solver.GetGasConstant()},
          {"prandtl", solver.GetPrandtl()}}},
        {"calls_made", tally.calls},
        {"interrupted", tally.interrupted},
        {"steps", tally.steps},
        {"model_time", tally.modelTime},
        {"until_time", plan.endTime ? nlohmann::json(*plan.endTime) : nlohmann::json()},
        {"reached_until_time",
         plan.endTime ? nlohmann::json(tally.reachedEndTime) : nlohmann::json()},
        {"fields_at_end", ranges},
        {"non_finite_reports", tally.nonFiniteReports},
        {"snapshots", tally.snapshots},
        {"checkpoint",
         {{"every", o.checkpointEvery ? nlohmann::json(*o.checkpointEvery) : nlohmann::json()},
          {"resumed_from", o.resume ? nlohmann::json(*o.resume) : nlohmann::json()}}},
        {"wall_time",
         {{"total_s", tally.totalSeconds},
          {"solver_s", tally.solverSeconds},
          {"per_step_s", SecondsPerStep(tally)},
          {"node_updates_per_s", NodeUpdatesPerSecond(plan, tally)}}},
    };
}

// The run as it stands, for a checkpoint: the solver, the case's state and the command's own
// figures. The snapshots submitted so far are written first, so that the series it records is
// on the disk.
Checkpoint CaptureRun(const FlowOptions& o, const FlowPlan& plan, const FlowTally& tally,
                      SnapshotWriter* writer) {
    Checkpoint c;
    c.caseName = o.caseName;
    RecordSolver(*plan.solver, plan.stepOffset, c.solver);
    c.solver.defaultConstructor = !plan.geometry;
    c.caseState = o.ChosenCase().SaveState(*plan.solver);
    RunRecord& r = c.run;
    static_cast<RunCounts&>(r) = tally;
    r.snapshotEvery = o.snapshotEvery;
    r.checkpointEvery = o.checkpointEvery.value_or(0);
    r.fields = o.fields;
    r.formats = o.formats;
    r.pixelsPerNode = o.pixelsPerNode;
    const SnapshotSeries series = writer != nullptr ? writer->Drain() : plan.series;
    r.series = series.frames;
    r.scales = StoredScales(series.scales);
    return c;
}

// Calls the solver, keeps model time and the value-check count, hands snapshots over and
// writes checkpoints.
FlowTally Simulate(const FlowOptions& o, FlowPlan& plan, SnapshotWriter* writer,
                   Progress& progress) {
    Nembra::NavierStokesEquations2D& solver = *plan.solver;
    FlowTally tally = plan.start;
    auto snapshot = [&] {
        if (writer != nullptr) {
            writer->Submit(CaptureSnapshot(solver, tally.calls, tally.steps, tally.modelTime));
        }
        tally.lastSnapshotStep = tally.steps;
        ++tally.snapshots;
    };
    // With --quiet the solver's value reports stay off the terminal too; they are counted.
    const SilencedStandardOutput silenced(o.quiet);
    const Clock::time_point start = Clock::now();
    const auto elapsed = [&] {
        return plan.start.totalSeconds +
               std::chrono::duration<double>(Clock::now() - start).count();
    };
    int lastCheckpointStep = -1;
    auto checkpoint = [&] {
        if (o.checkpointEvery && lastCheckpointStep != tally.steps) {
            tally.totalSeconds = elapsed();
            WriteCheckpoint(CheckpointPath(plan.files.directory),
                            CaptureRun(o, plan, tally, writer));
            lastCheckpointStep = tally.steps;
        }
    };
    // A resumed run that had already met its stopping rule goes no further, as the stored run
    // would have stopped there.
    const bool stoppedBefore = plan.start.steps > 0 && o.ChosenCase().ReachedStop(solver);
    for (int call = 1; call <= plan.calls && !stoppedBefore; ++call) {
        if (InterruptGuard::Requested()) {
            tally.interrupted = true;
            break;
        }
        const int before = solver.GetStepCount();
        const bool advancing = before >= 1 && before < solver.GetMaxStepCount();
        if (advancing) {
            tally.nonFiniteReports += CountUnusableNodes(solver);
        }
        const Clock::time_point t0 = Clock::now();
        solver.UpdateDatas();
        tally.solverSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        ++tally.calls;
        if (advancing) {
            ++tally.steps;
            tally.modelTime += solver.GetDeltaT();
        }
        const bool initialField = before == 0 && solver.GetStepCount() == 1;
        if (initialField || (advancing && tally.steps % o.snapshotEvery == 0)) {
            snapshot();
        }
        if (advancing && o.checkpointEvery && tally.steps % *o.checkpointEvery == 0) {
            checkpoint();
        }
        progress.Update(call);
        if (advancing && plan.endTime && tally.modelTime >= *plan.endTime) {
            tally.reachedEndTime = true;
            break;
        }
        if (advancing && o.ChosenCase().ReachedStop(solver)) {
            break;
        }
    }
    if (tally.lastSnapshotStep != tally.steps) {
        snapshot();
    }
    // The last state, also of an interrupted run, is the one to continue from.
    if (tally.calls > 0) {
        checkpoint();
    }
    progress.Finish();
    tally.totalSeconds = elapsed();
    return tally;
}

void Report(const FlowOptions& o, const FlowPlan& plan, const FlowTally& tally,
            const OutputLog& log, Console& console) {
    RunReport report("nembra flow: " + o.caseName + ", " + std::to_string(plan.nx) + " × " +
                     std::to_string(plan.ny) + " nodes, " + std::to_string(tally.calls) + " calls");
    report.AddFiles(log);
    report.AddFigure("time steps", std::to_string(tally.steps));
    report.AddFigure("model time", FormatNumber(tally.modelTime) + " s");
    if (plan.endTime) {
        report.AddFigure("until time",
                         FormatNumber(*plan.endTime) + " s: " +
                             (tally.reachedEndTime ? std::string("reached")
                                                   : "not reached (more needs a higher --max-steps "
                                                     "or --calls)"));
    }
    report.AddFigure("wall time", FormatDuration(tally.totalSeconds) + " (solver " +
                                      FormatDuration(tally.solverSeconds) + ")");
    report.AddFigure("wall time per step", FormatNumber(SecondsPerStep(tally) * 1e6) + " µs");
    report.AddFigure("node updates per second",
                     FormatNumber(NodeUpdatesPerSecond(plan, tally) / 1e6) + " million");
    report.AddFigure("\"error:value'error\" reports", std::to_string(tally.nonFiniteReports));
    if (tally.nonFiniteReports > 0) {
        // The solver's reports end without a line break; start the table on a line of its own.
        console.out << "\n";
    }
    o.ChosenCase().AddFigures(*plan.solver, ProgressOf(tally), report);
    report.Print(console.out);
}

}  // namespace

std::optional<FlowGeometry> GeometryFrom(const FlowOptions& o) {
    if (!o.nodesX && !o.nodesY && !o.lengthX && !o.maxSteps) {
        return std::nullopt;
    }
    // Unset values keep the case's compiled-in setting, read from its default-constructed solver.
    const std::unique_ptr<Nembra::NavierStokesEquations2D> defaults =
        o.ChosenCase().Create(std::nullopt);
    int nx = 0;
    int ny = 0;
    defaults->GetMeshNodes(nx, ny);
    return FlowGeometry{o.nodesX.value_or(nx), o.nodesY.value_or(ny),
                        o.lengthX.value_or(defaults->GetLengthX()),
                        o.maxSteps.value_or(defaults->GetMaxStepCount())};
}

CLI::App* AddFlowCommand(CLI::App& app, FlowOptions& o) {
    CLI::App* cmd = app.add_subcommand(
        "flow",
        "Run the 2-D compressible viscous flow solver; save heat maps, VTK files and a "
        "summary");
    std::string cases;
    for (const auto& c : o.cases) {
        cases += "\n  " + c->Name() + ": " + c->Description();
    }
    cmd->add_option("--case", o.caseName, "Flow problem:" + cases)
        ->check(OneOf(FlowCaseNames(o.cases), "case"))
        ->capture_default_str();
    const std::string fourArgument =
        " (giving any of --nx, --ny, --length, --max-steps selects the solver's four-argument "
        "constructor)";
    cmd->add_option("--nx", o.nodesX,
                    "Nodes along x [70]" + fourArgument +
                        "; a mesh needing more than half of this machine's memory is refused")
        ->check(WholeNumberAtLeast(11, "the solver's stencils need 11 nodes in each direction"));
    cmd->add_option("--ny", o.nodesY, "Nodes along y [70]")
        ->check(WholeNumberAtLeast(11, "the solver's stencils need 11 nodes in each direction"));
    cmd->add_option("--length", o.lengthX, "Domain length along x in metres [1e-5]")
        ->check(PositiveNumber());
    cmd->add_option("--max-steps", o.maxSteps,
                    "Step limit of the solver: calls that do work, the first of which lays the "
                    "initial field [10000]")
        ->check(WholeNumberAtLeast(1));
    cmd->add_option("--calls", o.calls, "UpdateDatas calls to make [the step limit]")
        ->check(WholeNumberAtLeast(1));
    cmd->add_option("--until-time", o.untilTime,
                    "Stop after the step at which the model time first reaches this many seconds "
                    "[the shock tube: when its shock has crossed a third of the tube; the other "
                    "cases run to the step limit]")
        ->check(PositiveNumber());
    cmd->add_option("--snapshot-every", o.snapshotEvery,
                    "Time steps between snapshots; the initial and final states are always saved")
        ->check(WholeNumberAtLeast(1))
        ->capture_default_str();
    cmd->add_option("--fields", o.fields,
                    "Fields drawn as heat maps, comma-separated: " + JoinNames(FieldNames()) +
                        " [density; the blast: pressure,density]")
        ->delimiter(',')
        ->check(OneOf(FieldNames(), "field"));
    cmd->add_option("--formats", o.formats, "Outputs, comma-separated: png, vtk, json")
        ->delimiter(',')
        ->check(OneOf({"png", "vtk", "json"}, "format"))
        ->capture_default_str();
    cmd->add_option("-o,--output", o.output, "Output folder")->capture_default_str();
    cmd->add_option("--pixels-per-node", o.pixelsPerNode,
                    "Heat map pixels per node along x [about 420 pixels across]")
        ->check(PositiveNumber());
    AddPictureOptions(*cmd, o.pictures);
    cmd->add_flag("--overwrite", o.overwrite,
                  "Remove another run's snapshots, series and summary from the output folder "
                  "first (without it, such a folder is refused)");
    cmd->add_flag("-q,--quiet", o.quiet,
                  "No progress, no closing table and no \"error:value'error\" reports from the "
                  "solver (summary.json counts them)");
    cmd->add_option("--checkpoint-every", o.checkpointEvery,
                    "Time steps between checkpoints (checkpoint.h5 in the output folder); one is "
                    "also written at the end and when the run is interrupted")
        ->check(WholeNumberAtLeast(1));
    cmd->add_option("--resume", o.resume,
                    "Continue the run stored in this checkpoint: its case, mesh and outputs, in "
                    "its folder unless -o is given; --calls counts further calls")
        ->check(CLI::ExistingFile);
    o.command = cmd;
    for (const auto& c : o.cases) {
        c->AddOptions(*cmd);
    }
    return cmd;
}

bool Given(const FlowOptions& o, const std::string& name) {
    return o.command != nullptr && o.command->count(name) > 0;
}

int RunFlow(FlowOptions& o, Console& console) {
    std::optional<Checkpoint> stored;
    if (o.resume) {
        stored = AdoptCheckpoint(o);
    }
    FlowPlan plan = PlanFlow(o, stored ? &*stored : nullptr);
    stored.reset();
    const bool anySnapshotFiles = !plan.files.pictures.empty() || plan.files.vtk;
    std::unique_ptr<SnapshotWriter> writer;
    if (anySnapshotFiles) {
        writer = std::make_unique<SnapshotWriter>(plan.files, plan.series);
    }
    Progress progress(console.err, ChooseProgressStyle(o.quiet, console.errIsTerminal), "flow",
                      plan.calls);
    const InterruptGuard interruptible;
    try {
        const FlowTally tally = Simulate(o, plan, writer.get(), progress);
        OutputLog log;
        if (writer) {
            writer->Finish();
            log = writer->Log();
        }
        if (o.checkpointEvery && tally.calls > 0) {
            log.Add("checkpoint (HDF5)", CheckpointPath(plan.files.directory));
        }
        const FlowCase& chosen = o.ChosenCase();
        chosen.WriteResults(*plan.solver, ProgressOf(tally),
                            FlowResultFiles{plan.files.directory, Contains(o.formats, "png")}, log);
        if (plan.summary) {
            const fs::path path = plan.files.directory / "summary.json";
            nlohmann::json summary = SummaryJson(o, plan, tally);
            chosen.AddSummary(*plan.solver, ProgressOf(tally), summary);
            WriteJson(path, summary);
            log.Add("summary (JSON)", path);
        }
        if (!o.quiet) {
            Report(o, plan, tally, log, console);
        }
        if (tally.interrupted) {
            console.err << "nembra flow: interrupted after " << tally.calls << " calls\n";
            return kExitInterrupted;
        }
    } catch (const OutputError& e) {
        progress.Finish();
        console.err << "nembra flow: error: " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace nembra_cli
