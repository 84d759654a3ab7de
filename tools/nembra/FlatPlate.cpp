#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ColorMaps.h"
#include "FlowCases.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "OptionRules.h"
#include "PngOutput.h"
#include "ResumedFlow.h"

// The textbook validation case: the --wall and --until-converged options, running until the field
// settles, the textbook's line plots and the comparison with the published results.
namespace nembra_cli {

namespace {

using Nembra::SupersonicFlatPlate;
using Wall = SupersonicFlatPlate::WallCondition;
using Node = Nembra::NavierStokesEquations2D::_MeshNode;

const char* WallName(Wall wall) {
    return wall == Wall::Adiabatic ? "adiabatic" : "isothermal";
}

struct Mesh {
    Node** nodes = nullptr;
    int nx = 0;
    int ny = 0;
};

Mesh MeshOf(SupersonicFlatPlate& plate) {
    Mesh mesh;
    mesh.nodes = plate.GetMeshNodes(mesh.nx, mesh.ny);
    return mesh;
}

// The published results belong to the compiled-in mesh and plate length.
bool IsTextbookSetting(SupersonicFlatPlate& plate) {
    const Mesh mesh = MeshOf(plate);
    Nembra::NavierStokesEquations2D defaults;
    int nx = 0;
    int ny = 0;
    defaults.GetMeshNodes(nx, ny);
    return mesh.nx == nx && mesh.ny == ny && plate.GetLengthX() == defaults.GetLengthX();
}

// A line of nodes in free-stream units: along the wall against x/L, or up the trailing edge
// against ybar = (y/L) sqrt(Re_L).
struct Line {
    std::vector<double> position;
    std::vector<double> p;  // p / p_inf
    std::vector<double> T;  // T / T_inf
    std::vector<double> u;  // u / u_inf
};

void Append(Line& line, SupersonicFlatPlate& plate, const Node& n, double position) {
    line.position.push_back(position);
    line.p.push_back(n.P / plate.GetPInf());
    line.T.push_back(n.T / plate.GetTInf());
    line.u.push_back(n.U / plate.GetUInf());
}

Line AlongWall(SupersonicFlatPlate& plate) {
    const Mesh mesh = MeshOf(plate);
    Line line;
    for (int i = 0; i < mesh.nx; ++i) {
        Append(line, plate, mesh.nodes[i][0], i * plate.GetDeltaX() / plate.GetLengthX());
    }
    return line;
}

Line UpTrailingEdge(SupersonicFlatPlate& plate) {
    const Mesh mesh = MeshOf(plate);
    const double yBarPerNode =
        plate.GetDeltaY() / plate.GetLengthX() * std::sqrt(plate.GetReynoldsL());
    Line line;
    for (int j = 0; j < mesh.ny; ++j) {
        Append(line, plate, mesh.nodes[mesh.nx - 1][j], j * yBarPerNode);
    }
    return line;
}

// Linear interpolation in increasing x; NaN outside the range.
double Interpolate(const std::vector<double>& x, const std::vector<double>& f, double at) {
    const auto upper = std::upper_bound(x.begin(), x.end(), at);
    if (upper == x.begin() || upper == x.end()) {
        return std::nan("");
    }
    const std::size_t k = static_cast<std::size_t>(upper - x.begin());
    const double weight = (at - x[k - 1]) / (x[k] - x[k - 1]);
    return f[k - 1] + weight * (f[k] - f[k - 1]);
}

// Index of the largest value (the first of equal ones).
std::size_t PeakIndex(const std::vector<double>& f) {
    return static_cast<std::size_t>(std::max_element(f.begin(), f.end()) - f.begin());
}

// Mass flow per unit span through column i (trapezoidal rule in y).
double MassFlow(SupersonicFlatPlate& plate, int i) {
    const Mesh mesh = MeshOf(plate);
    double flow = 0.0;
    for (int j = 0; j < mesh.ny; ++j) {
        const Node& n = mesh.nodes[i][j];
        flow += (j == 0 || j == mesh.ny - 1 ? 0.5 : 1.0) * n.Rho * n.U;
    }
    return flow * plate.GetDeltaY();
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void WritePlot(const fs::path& path, LinePlot plot, OutputLog& log) {
    WriteLinePlotPng(path, plot);
    log.Add("flat-plate line plots (PNG)", path);
}

LineSeries Series(std::string label, std::vector<double> x, std::vector<double> y, double shade) {
    return LineSeries{std::move(label), std::move(x), std::move(y),
                      SampleColorMap(ColorMapId::Viridis, shade)};
}

constexpr const char* kYBarLabel = "ȳ = (y / L) √Re_L";

// Published points, (x, y) in the plot's axes; none outside the textbook's setting.
struct PublishedPoints {
    std::vector<double> x;
    std::vector<double> y;
};

// The computed curve, and the published values beside it as markers when there are any.
std::vector<LineSeries> Curves(const std::vector<double>& x, const std::vector<double>& y,
                               double shade, const PublishedPoints& published) {
    std::vector<LineSeries> curves{Series("computed", x, y, shade)};
    if (!published.x.empty()) {
        curves.push_back(
            {"published", published.x, published.y, {0.85, 0.15, 0.1}, SeriesStyle::Markers});
    }
    return curves;
}

// One figure of the steady flow, in free-stream units, with the published value where the run
// is the textbook's setting.
struct FlatPlateFigure {
    std::string name;  // as printed
    std::string key;   // in the JSON summary
    double ours = 0.0;
    std::optional<double> published;
};

std::vector<FlatPlateFigure> MeasureFlatPlate(SupersonicFlatPlate& plate) {
    const bool textbook = IsTextbookSetting(plate);
    const bool adiabatic = plate.GetWallCondition() == Wall::Adiabatic;
    // Published values of one wall condition only.
    auto isothermalValue = [&](double v) {
        return textbook && !adiabatic ? std::optional<double>(v) : std::nullopt;
    };
    auto adiabaticValue = [&](double v) {
        return textbook && adiabatic ? std::optional<double>(v) : std::nullopt;
    };

    const Line wall = AlongWall(plate);
    const Line edge = UpTrailingEdge(plate);
    const std::size_t temperaturePeak = PeakIndex(edge.T);
    const std::size_t pressurePeak = PeakIndex(edge.p);
    const double wallPressure = wall.p.back();
    return {
        {"trailing-edge wall p/p∞", "trailing_edge_wall_pressure", wallPressure,
         textbook ? std::optional<double>(adiabatic ? 1.78 : 1.36) : std::nullopt},
        {"trailing-edge wall T/T∞", "trailing_edge_wall_temperature", wall.T.back(),
         adiabaticValue(3.25)},
        {"trailing edge: peak T/T∞", "temperature_peak", edge.T[temperaturePeak],
         isothermalValue(1.60)},
        {"trailing edge: ȳ of the T peak", "temperature_peak_ybar", edge.position[temperaturePeak],
         isothermalValue(1.8)},
        {"trailing edge: u/u∞ at ȳ = 1.8", "u_at_ybar_1.8", Interpolate(edge.position, edge.u, 1.8),
         isothermalValue(0.47)},
        {"trailing edge: u/u∞ at ȳ = 3.6", "u_at_ybar_3.6", Interpolate(edge.position, edge.u, 3.6),
         isothermalValue(0.80)},
        {"trailing edge: u/u∞ at ȳ = 5.4", "u_at_ybar_5.4", Interpolate(edge.position, edge.u, 5.4),
         isothermalValue(0.95)},
        {"trailing edge: shock's peak p/p∞", "shock_pressure_peak", edge.p[pressurePeak],
         isothermalValue(1.76)},
        {"trailing edge: ȳ of the shock's peak", "shock_pressure_peak_ybar",
         edge.position[pressurePeak], isothermalValue(11.0)},
        {"mass flow out / in", "mass_flow_out_over_in",
         MassFlow(plate, MeshOf(plate).nx - 1) / MassFlow(plate, 0),
         textbook ? std::optional<double>(1.0) : std::nullopt},
    };
}

// Wall distributions along the plate and trailing-edge profiles against
// ybar = (y / L) sqrt(Re_L).
void WritePlots(SupersonicFlatPlate* plate, const fs::path& directory, OutputLog& log) {
    const std::string wall = WallName(plate->GetWallCondition());
    const bool textbook = IsTextbookSetting(*plate);
    const bool adiabatic = plate->GetWallCondition() == Wall::Adiabatic;
    auto published = [&](bool forThisWall, PublishedPoints points) {
        return textbook && forThisWall ? points : PublishedPoints{};
    };
    const Line along = AlongWall(*plate);
    WritePlot(directory / "wall-pressure.png",
              {"Wall pressure along the plate (" + wall + " wall)", "x / L", "p / p∞",
               Curves(along.position, along.p, 0.25,
                      published(true, {{1.0}, {adiabatic ? 1.78 : 1.36}}))},
              log);
    if (adiabatic) {
        WritePlot(directory / "wall-temperature.png",
                  {"Wall temperature along the plate (adiabatic wall)", "x / L", "T / T∞",
                   Curves(along.position, along.T, 0.25, published(true, {{1.0}, {3.25}}))},
                  log);
    }
    // Profiles stand upright, as in the textbook: the quantity across, ȳ up.
    const Line edge = UpTrailingEdge(*plate);
    const struct {
        const char* file;
        const char* quantity;
        const char* axis;
        const std::vector<double>& values;
        double shade;
        PublishedPoints points;  // isothermal wall
    } profiles[] = {
        {"trailing-edge-pressure.png", "pressure", "p / p∞", edge.p, 0.25, {{1.76}, {11.0}}},
        {"trailing-edge-temperature.png", "temperature", "T / T∞", edge.T, 0.5, {{1.60}, {1.8}}},
        {"trailing-edge-velocity.png",
         "velocity",
         "u / u∞",
         edge.u,
         0.7,
         {{0.47, 0.80, 0.95}, {1.8, 3.6, 5.4}}},
    };
    for (const auto& profile : profiles) {
        WritePlot(
            directory / profile.file,
            {std::string("Trailing-edge ") + profile.quantity + " profile (" + wall + " wall)",
             profile.axis, kYBarLabel,
             Curves(profile.values, edge.position, profile.shade,
                    published(!adiabatic, profile.points))},
            log);
    }
}

SupersonicFlatPlate& AsFlatPlate(Nembra::NavierStokesEquations2D& solver) {
    return dynamic_cast<SupersonicFlatPlate&>(solver);
}

class FlatPlateCase : public FlowCase {
public:
    FlatPlateCase()
        : FlowCase("flat-plate",
                   "Mach 4 free stream over a flat plate, the textbook validation case (see "
                   "--wall and --until-converged)") {}

    void AddOptions(CLI::App& flow) override {
        wallOption_ = Own(
            flow.add_option("--wall", wall_, "Flat plate's wall: isothermal (at T∞) or adiabatic")
                ->check(OneOf({"isothermal", "adiabatic"}, "wall")),
            "only the flat-plate case has a wall");
        Own(flow.add_option("--until-converged", untilConverged_,
                            "Stop once no density changes by this much in one step, kg/m³ (flat "
                            "plate; the textbook uses 1e-8)")
                ->check(PositiveNumber()),
            "only the flat-plate case settles to a steady state");
    }

    std::unique_ptr<Nembra::NavierStokesEquations2D> Create(
        const std::optional<FlowGeometry>& geometry) const override {
        std::unique_ptr<SupersonicFlatPlate> plate = ConstructSolver<SupersonicFlatPlate>(geometry);
        plate->SetWallCondition(wall_ == "adiabatic" ? Wall::Adiabatic : Wall::Isothermal);
        return plate;
    }

    // The wall, and the density change of the last step, which the convergence test and the
    // figures read until the next step measures its own.
    CaseState SaveState(Nembra::NavierStokesEquations2D& solver) const override {
        SupersonicFlatPlate& plate = AsFlatPlate(solver);
        CaseState state;
        state.words[kWallKey] = WallName(plate.GetWallCondition());
        state.numbers[kDensityChangeKey] = plate.GetLargestDensityChange();
        return state;
    }

    std::unique_ptr<Nembra::NavierStokesEquations2D> Resume(
        const ResumeArguments& a, std::vector<FlowNode> records, const CaseState& state,
        const std::string& file) const override {
        const auto wall = state.words.find(kWallKey);
        const auto change = state.numbers.find(kDensityChangeKey);
        if (wall == state.words.end() || change == state.numbers.end() ||
            (wall->second != WallName(Wall::Isothermal) &&
             wall->second != WallName(Wall::Adiabatic))) {
            throw CheckpointError(file + " lacks the flat plate's wall or density change");
        }
        if (wallOption_ != nullptr && wallOption_->count() > 0 && wall_ != wall->second) {
            throw CheckpointError(file + " holds a run with the " + wall->second +
                                  " wall; --wall " + wall_ + " was given");
        }
        auto plate = std::make_unique<ResumedFlow<SupersonicFlatPlate>>(
            std::move(records), a.nodesX, a.nodesY, a.lengthX, a.maxStepCount,
            wall->second == WallName(Wall::Adiabatic) ? Wall::Adiabatic : Wall::Isothermal);
        plate->SetLargestDensityChange(change->second);
        return plate;
    }

    // True once --until-converged is given and the last step changed no density by it.
    bool ReachedStop(Nembra::NavierStokesEquations2D& solver) const override {
        return untilConverged_ && AsFlatPlate(solver).GetLargestDensityChange() < *untilConverged_;
    }

    void WriteResults(Nembra::NavierStokesEquations2D& solver, const FlowProgress& /*run*/,
                      const FlowResultFiles& files, OutputLog& log) const override {
        if (files.pictures) {
            WritePlots(&AsFlatPlate(solver), files.directory, log);
        }
    }

    // Convergence and the figures.
    void AddFigures(Nembra::NavierStokesEquations2D& solver, const FlowProgress& run,
                    RunReport& report) const override {
        SupersonicFlatPlate& plate = AsFlatPlate(solver);
        report.AddFigure("wall", WallName(plate.GetWallCondition()));
        const double change = plate.GetLargestDensityChange();
        const std::string measured = "largest density change " + FormatNumber(change) + " kg/m³";
        if (untilConverged_) {
            report.AddFigure(
                "converged",
                ReachedStop(solver)
                    ? "after " + std::to_string(run.steps) + " steps (" + measured + ")"
                    : "no: " + measured + " after " + std::to_string(run.steps) +
                          (run.interrupted
                               ? " steps (stopped by a signal)"
                               : " steps (more needs a higher --max-steps or --calls)"));
        } else {
            report.AddFigure("last step", measured);
        }
        for (const FlatPlateFigure& figure : MeasureFlatPlate(plate)) {
            std::string value = Fixed(figure.ours, 3);
            if (figure.published) {
                const double deviation = (figure.ours - *figure.published) / *figure.published;
                value += "  (published " + FormatNumber(*figure.published) + ", " +
                         (deviation >= 0 ? "+" : "") + Fixed(100.0 * deviation, 1) + " %)";
            }
            report.AddFigure(figure.name, value);
        }
    }

    void AddSummary(Nembra::NavierStokesEquations2D& solver, const FlowProgress& /*run*/,
                    nlohmann::json& summary) const override {
        SupersonicFlatPlate& plate = AsFlatPlate(solver);
        nlohmann::json figures = nlohmann::json::object();
        for (const FlatPlateFigure& figure : MeasureFlatPlate(plate)) {
            figures[figure.key] = {
                {"ours", figure.ours},
                {"published",
                 figure.published ? nlohmann::json(*figure.published) : nlohmann::json()}};
        }
        summary["flat_plate"] = {
            {"wall", WallName(plate.GetWallCondition())},
            {"until_converged",
             untilConverged_ ? nlohmann::json(*untilConverged_) : nlohmann::json()},
            {"converged", untilConverged_ ? nlohmann::json(ReachedStop(solver)) : nlohmann::json()},
            {"largest_density_change", plate.GetLargestDensityChange()},
            {"figures", figures},
        };
    }

private:
    static constexpr const char* kWallKey = "wall";
    static constexpr const char* kDensityChangeKey = "largest_density_change";

    std::string wall_ = "isothermal";
    const CLI::Option* wallOption_ = nullptr;
    std::optional<double> untilConverged_;
};

}  // namespace

std::unique_ptr<FlowCase> MakeFlatPlateCase() {
    return std::make_unique<FlatPlateCase>();
}

}  // namespace nembra_cli
