#include "DiffusionCommand.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "CsvOutput.h"
#include "FlowFields.h"
#include "Interrupt.h"
#include "JsonOutput.h"
#include "Nembra/DiffusionEquation.h"
#include "PngOutput.h"
#include "Progress.h"
#include "RunReport.h"
#include "SnapshotWriter.h"

namespace nembra_cli {

namespace {

using Clock = std::chrono::steady_clock;

// More curves than this make the line plot unreadable; the CSV files keep every snapshot.
constexpr std::size_t kMostPlottedProfiles = 12;

struct DiffusionPlan {
    std::unique_ptr<Nembra::DiffusionEquation> solver;
    bool defaultConstructed = true;
    std::vector<double> initial;
    fs::path directory;
};

// The profile is saved at the start, every `every` steps and at the last step. Counted, not
// listed: a schedule of two billion steps would not fit in memory.
bool IsSnapshotStep(int step, int steps, int every) {
    return step % every == 0 || step == steps;
}

long long PlannedSnapshots(int steps, int every) {
    return (static_cast<long long>(steps) - 1) / every + 2;
}

DiffusionPlan PlanDiffusion(const DiffusionOptions& o) {
    DiffusionPlan plan;
    std::vector<double> fromFile;
    if (o.initialCsv) {
        if (o.initialCsv->empty()) {
            throw UsageError("--initial-csv: needs a file name, got an empty one");
        }
        try {
            fromFile = ReadProfileCsv(*o.initialCsv);
        } catch (const ProfileCsvError& e) {
            throw UsageError(std::string("--initial-csv: ") + e.what());
        }
        const int fileSegments = static_cast<int>(fromFile.size()) - 1;
        if (o.segments && *o.segments != fileSegments) {
            throw UsageError("--segments: must match the " + std::to_string(fromFile.size()) +
                             " values of --initial-csv (" + std::to_string(fileSegments) +
                             " segments), got " + std::to_string(*o.segments));
        }
    }
    const bool customised =
        o.timeInterval || o.spacing || o.segments || o.beta || !fromFile.empty();
    plan.defaultConstructed = !customised;
    if (customised) {
        const int segments =
            !fromFile.empty() ? static_cast<int>(fromFile.size()) - 1 : o.segments.value_or(300);
        plan.solver = MakeDiffusionSolver(o, segments);
    } else {
        plan.solver = std::make_unique<Nembra::DiffusionEquation>();
    }
    const int points = plan.solver->GetSamplingPoints();
    plan.initial = fromFile.empty() ? InitialProfile(o.initial, points) : fromFile;
    plan.directory = o.output;
    try {
        PrepareOutputDirectory(plan.directory, o.overwrite);
    } catch (const OutputError& e) {
        throw UsageError(std::string("--output: ") + e.what());
    }
    return plan;
}

std::vector<double> ReadProfile(const Nembra::DiffusionEquation& solver) {
    std::vector<double> values(static_cast<std::size_t>(solver.GetSamplingPoints()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = solver.GetSamplingPointsValue(static_cast<int>(i));
    }
    return values;
}

// The profiles a run saved, thinned as it goes so that the plot can show a fair choice of them
// however long the run: every profile whose number is a multiple of a stride that doubles
// whenever 2 * kMostPlottedProfiles are kept, and always the latest one.
class PlottedProfiles {
public:
    struct Profile {
        long long number = 0;  // counted from 0 in the order saved
        int step = 0;
        std::vector<double> values;
    };

    void Add(int step, const std::vector<double>& values) {
        latest_ = Profile{saved_++, step, values};
        if (latest_.number % stride_ != 0) {
            return;
        }
        kept_.push_back(latest_);
        if (kept_.size() >= 2 * kMostPlottedProfiles) {
            stride_ *= 2;
            kept_.erase(std::remove_if(kept_.begin(), kept_.end(),
                                       [&](const Profile& p) { return p.number % stride_ != 0; }),
                        kept_.end());
        }
    }

    // At most kMostPlottedProfiles, evenly spread over what was saved, the first and the last
    // included.
    std::vector<const Profile*> Chosen() const {
        std::vector<const Profile*> candidates;
        for (const Profile& p : kept_) {
            candidates.push_back(&p);
        }
        if (saved_ > 0 && (kept_.empty() || kept_.back().number != latest_.number)) {
            candidates.push_back(&latest_);
        }
        if (candidates.size() <= kMostPlottedProfiles) {
            return candidates;
        }
        std::vector<const Profile*> chosen;
        for (std::size_t k = 0; k < kMostPlottedProfiles; ++k) {
            chosen.push_back(candidates[k * (candidates.size() - 1) / (kMostPlottedProfiles - 1)]);
        }
        return chosen;
    }

private:
    long long saved_ = 0;
    long long stride_ = 1;
    std::vector<Profile> kept_;
    Profile latest_;
};

struct DiffusionTally {
    bool interrupted = false;
    int steps = 0;
    long long snapshots = 0;  // profiles saved
    double seconds = 0.0;
    double solverSeconds = 0.0;
};

// What a run produced: its files, the profiles for its plot and its figures.
struct DiffusionRecord {
    OutputLog log;
    PlottedProfiles profiles;
    DiffusionTally tally;
};

void SaveProfile(const DiffusionOptions& o, const DiffusionPlan& plan, int step,
                 DiffusionRecord& record) {
    const Nembra::DiffusionEquation& solver = *plan.solver;
    const std::vector<double> profile = ReadProfile(solver);
    ++record.tally.snapshots;
    if (Contains(o.formats, "csv")) {
        const fs::path path = plan.directory / SnapshotFileName("profile", step, ".csv");
        WriteProfileCsv(path, solver.GetCoordinateStepSize(), profile);
        record.log.Add("profiles (CSV)", path);
    }
    if (Contains(o.formats, "png")) {
        record.profiles.Add(step, profile);
    }
}

// Steps the solver, saving the planned profiles; an interrupted run saves where it stopped.
void Simulate(const DiffusionOptions& o, DiffusionPlan& plan, Progress& progress,
              DiffusionRecord& record) {
    DiffusionTally& tally = record.tally;
    const Clock::time_point start = Clock::now();
    for (int step = 0;; ++step) {
        const bool planned = IsSnapshotStep(step, o.steps, o.snapshotEvery);
        if (planned) {
            SaveProfile(o, plan, step, record);
        }
        if (step == o.steps) {
            break;
        }
        if (InterruptGuard::Requested()) {
            tally.interrupted = true;
            if (!planned) {
                SaveProfile(o, plan, step, record);
            }
            break;
        }
        const Clock::time_point t0 = Clock::now();
        plan.solver->UpdateDatas();
        tally.solverSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        tally.steps = step + 1;
        progress.Update(tally.steps);
    }
    progress.Finish();
    tally.seconds = std::chrono::duration<double>(Clock::now() - start).count();
}

LineSeries ProfileSeries(const std::vector<double>& values, double spacing, double time,
                         double shade) {
    LineSeries series;
    series.label = "t = " + FormatNumber(time);
    series.x.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        series.x[i] = static_cast<double>(i) * spacing;
    }
    series.y = values;
    // Dark to light with time; the lightest end of viridis is too pale on white.
    series.color = SampleColorMap(ColorMapId::Viridis, shade * 0.85);
    return series;
}

// A first profile far taller than the others (a spike) would squash them at the floor: the y
// axis then follows the later profiles, and the plot says where the first one goes.
void FollowLaterProfiles(LinePlot& plot) {
    if (plot.logY || plot.series.size() < 3) {
        return;
    }
    ValueRange later;
    for (std::size_t k = 1; k < plot.series.size(); ++k) {
        const ValueRange r = FiniteRange(plot.series[k].y);
        if (!r.empty) {
            later.min = later.empty ? r.min : std::min(later.min, r.min);
            later.max = later.empty ? r.max : std::max(later.max, r.max);
            later.empty = false;
        }
    }
    const ValueRange first = FiniteRange(plot.series.front().y);
    if (later.empty || first.empty) {
        return;
    }
    const double laterSpan = later.max / 2.0 - later.min / 2.0;
    const double allSpan =
        std::max(first.max, later.max) / 2.0 - std::min(first.min, later.min) / 2.0;
    if (!(laterSpan > 0.0) || laterSpan * 4.0 > allSpan) {
        return;
    }
    plot.yRange = AxisSpan(later.min, later.max, 0.04);
    plot.note = plot.series.front().label + " spans " + FormatNumber(first.min) + " … " +
                FormatNumber(first.max) + ", beyond this axis (--log-y shows all)";
}

void WriteProfilePlot(const DiffusionOptions& o, const DiffusionPlan& plan,
                      DiffusionRecord& record) {
    const Nembra::DiffusionEquation& solver = *plan.solver;
    LinePlot plot;
    const std::vector<const PlottedProfiles::Profile*> chosen = record.profiles.Chosen();
    const int lastStep = chosen.empty() ? 1 : std::max(chosen.back()->step, 1);
    for (const PlottedProfiles::Profile* p : chosen) {
        plot.series.push_back(ProfileSeries(p->values, solver.GetCoordinateStepSize(),
                                            p->step * solver.GetTimeInterval(),
                                            static_cast<double>(p->step) / lastStep));
    }
    plot.title = "diffusion profiles, " + std::to_string(chosen.size()) + " of " +
                 std::to_string(record.tally.snapshots) + " saved (t in model units)";
    plot.xLabel = "x (model units)";
    plot.yLabel = o.logY ? "f (log scale)" : "f";
    plot.logY = o.logY;
    FollowLaterProfiles(plot);
    const fs::path path = plan.directory / "profiles.png";
    WriteLinePlotPng(path, plot);
    record.log.Add("line plot (PNG)", path);
}

nlohmann::json SummaryJson(const DiffusionOptions& o, const DiffusionPlan& plan,
                           const DiffusionRecord& record) {
    const Nembra::DiffusionEquation& solver = *plan.solver;
    const DiffusionTally& tally = record.tally;
    const double dt = solver.GetTimeInterval();
    return {
        {"command", "diffusion"},
        {"parameters",
         {{"constructor", plan.defaultConstructed ? "default" : "four-argument"},
          {"time_interval", dt},
          {"coordinate_step_size", solver.GetCoordinateStepSize()},
          {"segments", solver.GetSegments()},
          {"sampling_points", solver.GetSamplingPoints()},
          {"beta", solver.GetBeta()},
          {"diffusion_number", solver.GetConstValue_A()},
          {"initial", o.initialCsv ? "csv:" + *o.initialCsv : o.initial},
          {"snapshot_every", o.snapshotEvery}}},
        {"steps", tally.steps},
        {"interrupted", tally.interrupted},
        {"model_time", tally.steps * dt},
        {"profile_at_end", RangeJson(FiniteRange(ReadProfile(solver)))},
        {"snapshots", tally.snapshots},
        {"snapshots_planned", PlannedSnapshots(o.steps, o.snapshotEvery)},
        {"wall_time",
         {{"total_s", tally.seconds},
          {"per_step_s", tally.steps > 0 ? tally.solverSeconds / tally.steps : 0.0}}},
    };
}

void Report(const DiffusionPlan& plan, const DiffusionRecord& record, Console& console) {
    const Nembra::DiffusionEquation& solver = *plan.solver;
    const int steps = record.tally.steps;
    RunReport report("nembra diffusion: " + std::to_string(solver.GetSamplingPoints()) +
                     " points, " + std::to_string(steps) + " steps");
    report.AddFiles(record.log);
    report.AddFigure("time steps", std::to_string(steps));
    report.AddFigure("model time", FormatNumber(steps * solver.GetTimeInterval()));
    report.AddFigure("diffusion number", FormatNumber(solver.GetConstValue_A()));
    report.AddFigure("wall time", FormatDuration(record.tally.seconds));
    report.Print(console.out);
}

}  // namespace

std::unique_ptr<Nembra::DiffusionEquation> MakeDiffusionSolver(const DiffusionOptions& o,
                                                               int segments) {
    RequireMemoryFor((static_cast<double>(segments) + 1.0) * sizeof(double), "--segments");
    Nembra::DiffusionEquation defaults;
    try {
        return std::make_unique<Nembra::DiffusionEquation>(
            o.timeInterval.value_or(defaults.GetTimeInterval()),
            o.spacing.value_or(defaults.GetCoordinateStepSize()), segments,
            o.beta.value_or(defaults.GetBeta()));
    } catch (const std::bad_alloc&) {
        throw UsageError("--segments: " + std::to_string(segments) +
                         " segments do not fit in memory");
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--segments: ") + e.what());
    }
}

const std::vector<std::string>& InitialProfileNames() {
    static const std::vector<std::string> names{"spike", "gaussian", "step"};
    return names;
}

std::vector<double> InitialProfile(const std::string& shape, int points) {
    std::vector<double> values(static_cast<std::size_t>(points), 0.0);
    const int middle = points / 2;
    if (shape == "spike") {
        values[static_cast<std::size_t>(middle)] = 1.0;
    } else if (shape == "gaussian") {
        const double width = std::max(points / 30.0, 1.0);
        for (int i = 0; i < points; ++i) {
            const double z = (i - middle) / width;
            values[static_cast<std::size_t>(i)] = std::exp(-0.5 * z * z);
        }
    } else if (shape == "step") {
        for (int i = 0; i < middle; ++i) {
            values[static_cast<std::size_t>(i)] = 1.0;
        }
    } else {
        throw std::invalid_argument("unknown initial profile '" + shape + "'");
    }
    return values;
}

CLI::App* AddDiffusionCommand(CLI::App& app, DiffusionOptions& o) {
    CLI::App* cmd = app.add_subcommand(
        "diffusion", "Run the 1-D diffusion solver; save profiles as CSV and a line plot");
    const std::string fourArgument =
        " (giving any of --dt, --dx, --segments, --beta or --initial-csv selects the solver's "
        "four-argument constructor)";
    cmd->add_option("--dt", o.timeInterval, "Time step [0.1]" + fourArgument)
        ->check(PositiveNumber());
    cmd->add_option("--dx", o.spacing, "Spacing of the sampling points [1.0]")
        ->check(PositiveNumber());
    cmd->add_option("--segments", o.segments, "Grid intervals; points = segments + 1 [300]")
        ->check(WholeNumberAtLeast(1));
    cmd->add_option("--beta", o.beta, "Diffusion coefficient [1.0]")->check(PositiveNumber());
    auto* shape = cmd->add_option("--initial", o.initial, "Initial profile: spike, gaussian, step")
                      ->check(OneOf(InitialProfileNames(), "initial profile"))
                      ->capture_default_str();
    cmd->add_option("--initial-csv", o.initialCsv,
                    "Initial profile from a file of one value per line (sets the segment count)")
        ->excludes(shape);
    cmd->add_option("--steps", o.steps, "Time steps to take")
        ->check(WholeNumberAtLeast(1))
        ->capture_default_str();
    cmd->add_option("--snapshot-every", o.snapshotEvery,
                    "Steps between saved profiles; the initial and final ones are always saved")
        ->check(WholeNumberAtLeast(1))
        ->capture_default_str();
    cmd->add_option("--formats", o.formats, "Outputs, comma-separated: csv, png, json")
        ->delimiter(',')
        ->check(OneOf({"csv", "png", "json"}, "format"))
        ->capture_default_str();
    cmd->add_option("-o,--output", o.output, "Output folder")->capture_default_str();
    cmd->add_flag("--overwrite", o.overwrite,
                  "Remove another run's profiles and summary from the output folder first "
                  "(without it, such a folder is refused)");
    cmd->add_flag("--log-y", o.logY,
                  "Draw the profile plot's f by decades (values <= 0 are left out of it)");
    cmd->add_flag("-q,--quiet", o.quiet, "No progress and no closing table");
    return cmd;
}

int RunDiffusion(const DiffusionOptions& o, Console& console) {
    DiffusionPlan plan = PlanDiffusion(o);
    Nembra::DiffusionEquation& solver = *plan.solver;
    if (solver.GetConstValue_A() > 0.5) {
        console.err << "nembra diffusion: warning: the diffusion number beta*dt/dx^2 = "
                    << FormatNumber(solver.GetConstValue_A())
                    << " exceeds 0.5; the explicit scheme is unstable\n";
    }
    for (std::size_t i = 0; i < plan.initial.size(); ++i) {
        solver.SetSamplingPointsValue(static_cast<int>(i), plan.initial[i]);
    }
    Progress progress(console.err, ChooseProgressStyle(o.quiet, console.errIsTerminal), "diffusion",
                      o.steps);
    DiffusionRecord record;
    const InterruptGuard interruptible;
    try {
        Simulate(o, plan, progress, record);
        if (Contains(o.formats, "png")) {
            WriteProfilePlot(o, plan, record);
        }
        if (Contains(o.formats, "json")) {
            const fs::path path = plan.directory / "summary.json";
            WriteJson(path, SummaryJson(o, plan, record));
            record.log.Add("summary (JSON)", path);
        }
    } catch (const OutputError& e) {
        progress.Finish();
        console.err << "nembra diffusion: error: " << e.what() << "\n";
        return kExitFailure;
    }
    if (!o.quiet) {
        Report(plan, record, console);
    }
    if (record.tally.interrupted) {
        console.err << "nembra diffusion: interrupted after " << record.tally.steps << " steps\n";
        return kExitInterrupted;
    }
    return kExitSuccess;
}

}  // namespace nembra_cli
